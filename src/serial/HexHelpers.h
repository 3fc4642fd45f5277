#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace vlboot {

// Conversions between bytes and the two-digit hexadecimal texts of the
// traffic window, the log and the firmware file.

// The two upper-case hexadecimal digits of a byte, high digit first ("05", "1A", "FF").
QString myDecToHexString(std::uint8_t myInputVal);

// "0".."9" for 0..9, "A".."F" for 10..15, one blank for anything above 15.
QChar myDecToChar(std::uint8_t myInputChar);

// The value of a two-digit hexadecimal text; 0 unless it has exactly two
// characters. A character that is not a hexadecimal digit counts as 0.
std::uint8_t ConvertHexStringToByte(QStringView myInputStr);
std::uint8_t ConvertHexStringToByte(QByteArrayView myInputStr);

// Each byte as two hexadecimal digits and one blank ("02 AA 00 "); "" for no bytes.
QString HexStringToReadable(const QByteArray& InputString);

} // namespace vlboot
