#include "NumberText.h"

#include <gtest/gtest.h>

using namespace vlboot;

TEST(NumberValue, ReadsTheLeadingNumberAndStopsAtTheFirstOtherCharacter)
{
    EXPECT_EQ(NumberValue(u"12abc"), 12);
    EXPECT_EQ(NumberValue(u" 7"), 7);
    EXPECT_EQ(NumberValue(u"\t 7 8"), 7);
    EXPECT_EQ(NumberValue(u"-3"), -3);
    EXPECT_EQ(NumberValue(u"+4x"), 4);
    EXPECT_DOUBLE_EQ(NumberValue(u"1.5"), 1.5);
    EXPECT_DOUBLE_EQ(NumberValue(u"-1.5x"), -1.5);
    EXPECT_DOUBLE_EQ(NumberValue(u".25"), 0.25);
    EXPECT_EQ(NumberValue(u"3."), 3);
    EXPECT_EQ(NumberValue(u"1.2.3"), 1.2);
    EXPECT_EQ(NumberValue(u"115000"), 115000);
}

TEST(NumberValue, TextWithoutALeadingNumberIsZero)
{
    for (const char16_t* t : {u"", u"abc", u"?", u"-", u"+", u".", u"x12", u"-.x"})
        EXPECT_EQ(NumberValue(t), 0) << QString::fromUtf16(t).toStdString();
}

TEST(IsNumeric, WholeTextMustBeOneNumber)
{
    EXPECT_TRUE(IsNumeric(u"1000"));
    EXPECT_TRUE(IsNumeric(u" 73 "));
    EXPECT_TRUE(IsNumeric(u"-2.5"));
    EXPECT_FALSE(IsNumeric(u""));
    EXPECT_FALSE(IsNumeric(u"  "));
    EXPECT_FALSE(IsNumeric(u"?"));
    EXPECT_FALSE(IsNumeric(u"12abc"));
    EXPECT_FALSE(IsNumeric(u"1 2"));
    EXPECT_FALSE(IsNumeric(u"-"));
}

TEST(IsNumeric, OnlyBlanksMayStandAroundTheNumber)
{
    // A numeric text is always worth the number it shows; NumberValue skips
    // spaces and tabs only, so nothing else may stand around the number.
    EXPECT_TRUE(IsNumeric(u"\t5 "));
    EXPECT_EQ(NumberValue(u"\t5 "), 5);
    for (const char16_t* t : {u"\n5", u"\r5", u"\v5", u"\u00A05", u"5\r\n", u"5\u2028"})
        EXPECT_FALSE(IsNumeric(t)) << QString::fromUtf16(t).toStdString();
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.51), 3);
    EXPECT_EQ(RoundHalfEven(7.0), 7);
}

TEST(ToInt32HalfEven, RefusesValuesBeyond32Bits)
{
    EXPECT_EQ(ToInt32HalfEven(2147483647.0), 2147483647);
    EXPECT_EQ(ToInt32HalfEven(-2147483648.0), -2147483647 - 1);
    EXPECT_FALSE(ToInt32HalfEven(2147483648.0));
    EXPECT_FALSE(ToInt32HalfEven(1e300));
    EXPECT_EQ(ToInt32HalfEven(1000.5), 1000);
}

TEST(NumberText, WholeNumbersHaveNoDecimalPart)
{
    EXPECT_EQ(NumberText(12), "12");
    EXPECT_EQ(NumberText(-3), "-3");
    EXPECT_EQ(NumberText(1001), "1001");
    EXPECT_EQ(NumberText(1.5), "1.5");
}

TEST(NumberText, NeverWritesAnExponentAndReadsBackAsTheSameNumber)
{
    // An exponent would read back as another number: "1e-05" is worth 1.
    EXPECT_EQ(NumberText(0.00001), "0.00001");
    EXPECT_EQ(NumberText(1e15 + 1), "1000000000000001");
    EXPECT_EQ(NumberText(-1e20), "-100000000000000000000");
    for (const double v : {0.1 + 0.2, -1.25e-7, 123456789.123, 4503599627370497.0, 1e300}) {
        const QString t = NumberText(v);
        EXPECT_TRUE(IsNumeric(t)) << t.toStdString();
        EXPECT_EQ(NumberValue(t), v) << t.toStdString();
    }
}
