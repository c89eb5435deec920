#include <gtest/gtest.h>

#include "kernel/timing.h"
#include "platform/platform.h"

TEST(Timing, WarmUpClampAndTotals)
{
    TimingReset();
    TimingUpdate();
    PlatHeadlessAdvanceClock(70);
    TimingUpdate();
    EXPECT_EQ(TimingElapsed(), 0u) << "the first two frames after a reset count nothing";
    EXPECT_EQ(TimingFPS(), 0u);
    EXPECT_EQ(TimingFrameTime(), 0u);

    PlatHeadlessAdvanceClock(40);
    TimingUpdate();
    EXPECT_EQ(TimingElapsed(), 40u);
    EXPECT_EQ(TimingFPS(), 25u);
    EXPECT_EQ(TimingFrameTime(), 40u * 16384 / 1000);
    EXPECT_EQ(TimingTotal(), 0u);

    PlatHeadlessAdvanceClock(500);
    TimingUpdate();
    EXPECT_EQ(TimingElapsed(), 166u) << "a stall is clamped";
    EXPECT_EQ(TimingFrameTime(), 166u * 16384 / 1000);
    EXPECT_EQ(TimingFPS(), 2u) << "frames per second come from the real time";
    EXPECT_EQ(TimingTotal(), 40u);

    TimingUpdate();
    EXPECT_EQ(TimingElapsed(), 0u);
    EXPECT_EQ(TimingFPS(), 2u) << "no time passed: the rate stands";
    EXPECT_EQ(TimingTotal(), 206u);
    EXPECT_EQ(TimingFrameCount(), 5u);

    TimingReset();
    EXPECT_EQ(TimingFrameCount(), 0u);
    EXPECT_EQ(TimingTotal(), 0u);
    PlatHeadlessAdvanceClock(30);
    TimingUpdate();
    EXPECT_EQ(TimingElapsed(), 0u);
}
