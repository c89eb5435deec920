#include <gtest/gtest.h>

#include "base/maths.h"

TEST(FixedPoint, DivisionTruncatesAndSaturates)
{
    // a, b, a / b in 14 fraction bits. 16384 / 3 = 5461.33 is truncated toward zero; a zero
    // divisor, like a quotient past the range, is held at the range's end of the sign.
    const int32_t cases[][3] = {
        {1000, 2000, 8192}, {-1000, 2000, -8192}, {1, 3, 5461}, {1, -3, -5461}, {100000, 1, 16384 * 100000},
        {1, 0, INT32_MAX}, {-1, 0, INT32_MIN}, {0, 0, 0}, {1 << 20, 1, INT32_MAX}, {1 << 20, -1, INT32_MIN},
        {INT32_MIN, 1, INT32_MIN},
    };
    for (const auto& c : cases) EXPECT_EQ(FixDiv(c[0], c[1]), c[2]) << c[0] << " / " << c[1];
}
