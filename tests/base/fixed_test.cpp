#include <gtest/gtest.h>

#include "base/maths.h"

TEST(FixedPoint, DivisionTruncatesAndSaturates)
{
    EXPECT_EQ(8192, FixDiv(1000, 2000));
    EXPECT_EQ(-8192, FixDiv(-1000, 2000));
    EXPECT_EQ(5461, FixDiv(1, 3)) << "16384 / 3 = 5461.33, truncated";
    EXPECT_EQ(-5461, FixDiv(1, -3)) << "toward zero";
    EXPECT_EQ(16384 * 100000, FixDiv(100000, 1)) << "inside the 32-bit range";
    // A zero divisor is an infinitely large quotient: held at the range's end of a's sign.
    EXPECT_EQ(INT32_MAX, FixDiv(1, 0));
    EXPECT_EQ(INT32_MIN, FixDiv(-1, 0));
    EXPECT_EQ(0, FixDiv(0, 0));
    // So is a quotient past the range.
    EXPECT_EQ(INT32_MAX, FixDiv(1 << 20, 1));
    EXPECT_EQ(INT32_MIN, FixDiv(1 << 20, -1));
    EXPECT_EQ(INT32_MIN, FixDiv(INT32_MIN, 1));
}
