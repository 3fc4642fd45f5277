#include "FirmwareLine.h"

#include "HexHelpers.h"

#include <algorithm>

namespace vlboot {

std::uint8_t FirmwareLine::ByteAt(int position) const
{
    const qsizetype start = position - 1;
    if (start < 0 || start >= text_.size())
        return 0;
    return ConvertHexStringToByte(text_.sliced(start, std::min<qsizetype>(2, text_.size() - start)));
}

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

QByteArrayView WithoutLineEnd(const QByteArray& raw)
{
    QByteArrayView v(raw);
    if (v.endsWith('\n'))
        v.chop(1);
    if (v.endsWith('\r'))
        v.chop(1);
    return v;
}

} // namespace vlboot
