#include "HexHelpers.h"

namespace vlboot {
namespace {

std::uint8_t HexDigitValue(char16_t ch)
{
    if (ch >= u'0' && ch <= u'9')
        return static_cast<std::uint8_t>(ch - u'0');
    if (ch >= u'a' && ch <= u'f')
        return static_cast<std::uint8_t>(ch - u'a' + 10);
    if (ch >= u'A' && ch <= u'F')
        return static_cast<std::uint8_t>(ch - u'A' + 10);
    return 0;
}

constexpr char Digits[] = "0123456789ABCDEF";

} // namespace

QChar myDecToChar(std::uint8_t myInputChar)
{
    return myInputChar < 16 ? QChar(Digits[myInputChar]) : QChar(u' ');
}

QString myDecToHexString(std::uint8_t myInputVal)
{
    const std::uint8_t low = myInputVal % 16;
    const std::uint8_t high = static_cast<std::uint8_t>((myInputVal - low) / 16);
    const QChar digits[2] = {myDecToChar(high), myDecToChar(low)};
    return QString(digits, 2);
}

std::uint8_t ConvertHexStringToByte(QStringView myInputStr)
{
    if (myInputStr.size() != 2)
        return 0;
    return static_cast<std::uint8_t>(HexDigitValue(myInputStr[0].unicode()) * 16
                                     + HexDigitValue(myInputStr[1].unicode()));
}

std::uint8_t ConvertHexStringToByte(QByteArrayView myInputStr)
{
    if (myInputStr.size() != 2)
        return 0;
    return static_cast<std::uint8_t>(HexDigitValue(static_cast<unsigned char>(myInputStr[0])) * 16
                                     + HexDigitValue(static_cast<unsigned char>(myInputStr[1])));
}

QString HexStringToReadable(const QByteArray& InputString)
{
    QString out;
    out.reserve(InputString.size() * 3);
    for (const char c : InputString) {
        const auto b = static_cast<std::uint8_t>(c);
        out += QChar(Digits[b >> 4]);
        out += QChar(Digits[b & 0x0F]);
        out += u' ';
    }
    return out;
}

} // namespace vlboot
