#include "RunSummary.h"

#include <gtest/gtest.h>

using namespace vlboot::cli;

TEST(RunSummary, MedianOfOddEvenAndUnsortedRoundTrips)
{
    EXPECT_FALSE(MedianMilliseconds({}));
    EXPECT_DOUBLE_EQ(*MedianMilliseconds({0.002}), 2.0);
    EXPECT_DOUBLE_EQ(*MedianMilliseconds({0.009, 0.001, 0.004}), 4.0);
    EXPECT_DOUBLE_EQ(*MedianMilliseconds({0.004, 0.001, 0.010, 0.002}), 3.0);
    // One slow exchange (an erase) does not move it.
    EXPECT_DOUBLE_EQ(*MedianMilliseconds({0.001, 0.001, 2.5, 0.001, 0.001}), 1.0);
}

TEST(RunSummary, LineNamesExchangesTimeAndMedian)
{
    EXPECT_EQ(SummaryLine(532, 0.844, 1.2345), "vlboot-cli: 532 exchanges in 0.84 s, median round trip 1.23 ms per exchange");
    EXPECT_EQ(SummaryLine(1, 12.0, 16.04), "vlboot-cli: 1 exchange in 12.00 s, median round trip 16.0 ms per exchange");
    EXPECT_EQ(SummaryLine(0, 24.01, std::nullopt), "vlboot-cli: no complete exchange in 24.01 s");
}
