#include "HexHelpers.h"

#include <gtest/gtest.h>

namespace vlboot {
namespace {

TEST(HexHelpers, ByteToTwoUpperCaseDigits)
{
    EXPECT_EQ(myDecToHexString(0), "00");
    EXPECT_EQ(myDecToHexString(9), "09");
    EXPECT_EQ(myDecToHexString(10), "0A");
    EXPECT_EQ(myDecToHexString(0x1A), "1A");
    EXPECT_EQ(myDecToHexString(255), "FF");
}

TEST(HexHelpers, DigitCharacterIsBlankAbove15)
{
    EXPECT_EQ(myDecToChar(0), QChar(u'0'));
    EXPECT_EQ(myDecToChar(9), QChar(u'9'));
    EXPECT_EQ(myDecToChar(10), QChar(u'A'));
    EXPECT_EQ(myDecToChar(15), QChar(u'F'));
    EXPECT_EQ(myDecToChar(16), QChar(u' '));
    EXPECT_EQ(myDecToChar(255), QChar(u' '));
}

TEST(HexHelpers, TwoDigitTextToByte)
{
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"1a", 26}, {"1A", 26}, {"00", 0}, {"ff", 255}, {"FF", 255}, {"fF", 255},
        {"G1", 1},  {"1G", 16}, {"5", 0},  {"123", 0},  {"", 0},     {"  ", 0},
        {"-1", 1},  {"0x", 0},  {"\xC4" "F", 15},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConvertHexStringToByte(QString::fromLatin1(c.text)), c.value) << c.text;
        EXPECT_EQ(ConvertHexStringToByte(QByteArrayView(c.text)), c.value) << c.text;
    }
}

TEST(HexHelpers, EveryByteSurvivesTheRoundTrip)
{
    for (int v = 0; v < 256; ++v) {
        const auto b = static_cast<std::uint8_t>(v);
        const QString text = myDecToHexString(b);
        ASSERT_EQ(text.size(), 2);
        EXPECT_EQ(ConvertHexStringToByte(text), b);
        EXPECT_EQ(ConvertHexStringToByte(text.toLower()), b);
    }
}

TEST(HexHelpers, ReadableTextHasThreeCharactersPerByte)
{
    EXPECT_EQ(HexStringToReadable(QByteArray("\x02\xAA\x00", 3)), "02 AA 00 ");
    EXPECT_EQ(HexStringToReadable(QByteArray()), "");

    QByteArray all;
    for (int v = 0; v < 256; ++v)
        all.append(static_cast<char>(v));
    const QString readable = HexStringToReadable(all);
    EXPECT_EQ(readable.size(), 3 * 256);
    EXPECT_TRUE(readable.startsWith("00 01 02 "));
    EXPECT_TRUE(readable.endsWith("FE FF "));
}

} // namespace
} // namespace vlboot
