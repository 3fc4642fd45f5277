#pragma once

#include "HexHelpers.h"

#include <QByteArrayView>
#include <cstdint>

namespace vlboot {

// One line of an Intel HEX firmware file, read by character positions as
// they stand: positions 2-3 byte count N, 4-5 and 6-7 the offset in the
// flash block (high, low), 8-9 record type, then N data bytes and the
// checksum. Nothing else of the line's shape is checked; two characters
// that are not hexadecimal digits read as their digit values, 0 for others.
class FirmwareLine {
public:
    explicit FirmwareLine(QByteArrayView text) : text_(text) {}

    static constexpr std::uint8_t Data = 0x00;
    static constexpr std::uint8_t EndOfFile = 0x01;
    static constexpr std::uint8_t ExtendedSegmentAddress = 0x02; // a run skips it; a standard reader does not
    static constexpr std::uint8_t ExtendedLinearAddress = 0x04;

    // A line of 5 characters or fewer is skipped entirely.
    bool IsShort() const { return text_.size() <= 5; }

    std::uint8_t Count() const { return ByteAt(2); }
    std::uint8_t AddressHigh() const { return ByteAt(4); }
    std::uint8_t AddressLow() const { return ByteAt(6); }
    int Offset() const { return AddressHigh() * 256 + AddressLow(); }
    std::uint8_t Type() const { return ByteAt(8); }
    // Data byte i (0-based): positions 10+2i and 11+2i.
    std::uint8_t DataByte(int i) const { return ByteAt(10 + 2 * i); }

    // The byte of the two characters at 1-based `position`; 0 when the line
    // has fewer than two characters there.
    std::uint8_t ByteAt(int position) const
    {
        const qsizetype start = qsizetype(position) - 1;
        if (start < 0 || start + 2 > text_.size())
            return 0;
        return ConvertHexStringToByte(text_.sliced(start, 2));
    }

private:
    QByteArrayView text_;
};

// True when the line's checksum byte is the two's complement of the sum of
// its count, address, type and data bytes.
bool CheckLineChecksum(QByteArrayView line);

} // namespace vlboot
