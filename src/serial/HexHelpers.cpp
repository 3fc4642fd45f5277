#include "HexHelpers.h"

namespace vlboot {
namespace {

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
