#include <gtest/gtest.h>

#include <vector>

#include "kernel/timing.h"
#include "platform/platform.h"

// Elapsed milliseconds, frames per second, frame time (seconds, 14 fraction bits) and total
// after an update `ms` milliseconds on.
static std::vector<uint32_t> After(uint32_t ms)
{
    PlatHeadlessAdvanceClock(ms);
    TimingUpdate();
    return {TimingElapsed(), TimingFPS(), TimingFrameTime(), TimingTotal()};
}

TEST(Timing, WarmUpClampAndTotals)
{
    TimingReset();
    TimingUpdate();
    EXPECT_EQ(After(70), (std::vector<uint32_t>{0, 0, 0, 0})) << "the first two frames after a reset count nothing";
    EXPECT_EQ(After(40), (std::vector<uint32_t>{40, 25, 655, 0}));
    // A stall is clamped to 166 ms; its frames per second come from the real time.
    EXPECT_EQ(After(500), (std::vector<uint32_t>{166, 2, 2719, 40}));
    EXPECT_EQ(After(0), (std::vector<uint32_t>{0, 2, 0, 206})) << "no time passed: the rate stands";
    EXPECT_EQ(TimingFrameCount(), 5u);

    TimingReset();
    EXPECT_EQ(TimingFrameCount(), 0u);
    EXPECT_EQ(TimingTotal(), 0u);
    EXPECT_EQ(After(30)[0], 0u);
}
