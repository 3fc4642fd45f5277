#include "FirmwareLine.h"

namespace vlboot {

bool CheckLineChecksum(QByteArrayView line)
{
    const FirmwareLine l(line);
    const int recordBytes = l.Count() + 4; // count, two address bytes, type, data
    unsigned sum = 0;
    for (int k = 1; k <= recordBytes; ++k)
        sum += l.ByteAt(2 * k);
    const std::uint8_t expected = static_cast<std::uint8_t>((256 - (sum & 0xFF)) % 256);
    return l.ByteAt(2 * recordBytes + 2) == expected;
}

} // namespace vlboot
