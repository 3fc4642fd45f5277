#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

namespace vlboot {

// Conversions between bytes and the two-digit hexadecimal texts of the
// traffic window, the log and the firmware file.

// The two upper-case hexadecimal digits of a byte, high digit first ("05", "1A", "FF").
QString myDecToHexString(std::uint8_t myInputVal);

// "0".."9" for 0..9, "A".."F" for 10..15, one blank for anything above 15.
QChar myDecToChar(std::uint8_t myInputChar);

// The value of one hexadecimal digit, either case; 0 for any other
// character. A table rather than comparisons: the checking pass reads every
// character of files of a hundred megabytes and more.
inline std::uint8_t HexDigitValue(char c)
{
    static constexpr std::array<std::uint8_t, 256> Values = [] {
        std::array<std::uint8_t, 256> t{};
        for (int d = 0; d < 10; ++d)
            t['0' + d] = static_cast<std::uint8_t>(d);
        for (int d = 0; d < 6; ++d)
            t['a' + d] = t['A' + d] = static_cast<std::uint8_t>(10 + d);
        return t;
    }();
    return Values[static_cast<unsigned char>(c)];
}

// The value of a two-digit hexadecimal text; 0 unless it has exactly two
// characters. A character that is not a hexadecimal digit counts as 0.
inline std::uint8_t ConvertHexStringToByte(QByteArrayView myInputStr)
{
    if (myInputStr.size() != 2)
        return 0;
    return static_cast<std::uint8_t>(HexDigitValue(myInputStr[0]) * 16 + HexDigitValue(myInputStr[1]));
}

// Each byte as two hexadecimal digits and one blank ("02 AA 00 "); "" for no bytes.
QString HexStringToReadable(const QByteArray& InputString);

} // namespace vlboot
