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
