#include "SafeEnd.h"

#include <gtest/gtest.h>

using namespace vlboot;

TEST(SafeEnd, EndsAtOnceOutsideTheSerialNumberStepAndAfterItInside)
{
    int ended = 0;
    EndWhenSafe([&] { ++ended; });
    EXPECT_EQ(ended, 1);
    {
        const SerialNumberStep step;
        EXPECT_TRUE(SerialNumberStep::Running());
        EndWhenSafe([&] { ++ended; });
        EXPECT_EQ(ended, 1); // not in the middle of the step
    }
    EXPECT_EQ(ended, 2);
    EXPECT_FALSE(SerialNumberStep::Running());
    { const SerialNumberStep quiet; }
    EXPECT_EQ(ended, 2); // nothing was asked: nothing happens afterwards
}
