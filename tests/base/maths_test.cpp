#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "base/maths.h"

TEST(Maths, SineTableAndFixedSineFoldEveryQuarter)
{
    // sin 45 degrees * 2^30 = 759250124.99...: truncated, not rounded; the table rises.
    const int32_t* t = SineTable();
    EXPECT_EQ((std::vector<int32_t>{t[0], t[512], t[1024]}), (std::vector<int32_t>{0, 0x2D413CCC, 1 << 30}));
    for (int i = 1; i < SINE_TABLE_SIZE; i++) ASSERT_LT(t[i - 1], t[i]) << i;

    EXPECT_EQ((std::vector<int32_t>{FixSin(0), FixSin(0x4000), FixSin(0x8000), FixSin(0xC000)}),
              (std::vector<int32_t>{0, 16384, 0, -16384}));
    EXPECT_EQ((std::vector<int32_t>{FixCos(0), FixCos(0x4000), FixCos(0x8000)}), (std::vector<int32_t>{16384, 0, -16384}));
    // 45 degrees in every quarter; 30 degrees is entry 0x1555 >> 4 = 341, a little short of it.
    EXPECT_EQ((std::vector<int32_t>{FixSin(0x2000), FixSin(0x6000), FixSin(-0x2000), FixSin(0x1555)}),
              (std::vector<int32_t>{11585, 11585, -11585, 8184}));
    EXPECT_EQ(FixSin(0x1234), FixSin(0x1234 + 0x10000)) << "angles wrap at a full turn";
    EXPECT_EQ(FixSin(0x1230), FixSin(0x123F)) << "angles within one table step share an entry";
    for (int a = 0; a < 0x10000; a += 0x123) {
        EXPECT_EQ(FixSin(a), -FixSin(a + 0x8000)) << a;
        EXPECT_EQ(FixCos(a), FixSin(a + 0x4000)) << a;
        // One table step is 16 angle units: at most 16384 * 2pi * 16 / 65536 = 25.1 apart.
        EXPECT_NEAR(sin(a * M_PI / 32768.0) * 16384.0, FixSin(a), 25.2) << a;
    }
}

TEST(Maths, ParkMillerStreamsAndRandomRange)
{
    RandSeed(0, 1);
    RandSeed(1, 1);
    EXPECT_EQ((std::vector<uint32_t>{RandNext(0), RandNext(0), RandNext(0)}),
              (std::vector<uint32_t>{16807, 282475249, 1622650073}));
    EXPECT_EQ(16807u, RandNext(1)) << "the streams are independent";
    // Park and Miller's check value: the 10000th draw from seed 1.
    RandSeed(0, 1);
    uint32_t x = 0;
    for (int i = 0; i < 10000; i++) x = RandNext(0);
    EXPECT_EQ(1043618065u, x);

    // random(n) takes the low 16 bits of the new state: (16807 * 4097) >> 16 = 1050.
    RandSeed(0, 1);
    EXPECT_EQ(1050, Rand(0, 4096));
    for (int i = 0; i < 2000; i++) {
        int32_t r = Rand(0, 9);
        ASSERT_TRUE(r >= 0 && r <= 9) << r;
    }
    EXPECT_EQ(0, Rand(1, 0));

    // Seeds are taken modulo 2^31 - 1: a multiple of the modulus, like 0, would stick the
    // stream at 0.
    for (uint32_t seed : {0u, 2147483647u, 4294967294u}) {
        RandSeed(0, seed);
        EXPECT_NE(0u, RandNext(0)) << seed;
        EXPECT_NE(0u, RandNext(0)) << seed;
    }
    RandSeed(0, 1);
    RandSeed(1, 1);
}

TEST(Maths, FourCharacterNames)
{
    EXPECT_EQ((std::vector<uint32_t>{Name4FromText("NET1"), Name4FromText("AB"), Name4FromText("WXYXZ"),
                                     Name4FromText(""), Name4FromText(nullptr)}),
              (std::vector<uint32_t>{0x4E455431, 0x41420000, 0x57585958, 0, 0}));
    char out[5];
    EXPECT_STREQ("NET1", Name4ToText(0x4E455431u, out));
    EXPECT_STREQ("AB", Name4ToText(Name4FromText("AB"), out));
    EXPECT_STREQ("", Name4ToText(0, out));
    EXPECT_STREQ("Z9", Name4ToText(Name4FromText("Z9"), out));
}

TEST(Maths, IntegerSquareRootTruncates)
{
    EXPECT_EQ((std::vector<uint32_t>{IntSqrt(0), IntSqrt(3), IntSqrt(4), IntSqrt(9999), IntSqrt(0xFFFFFFFFull),
                                     IntSqrt(0xFFFFFFFFFFFFFFFFull)}),
              (std::vector<uint32_t>{0, 1, 2, 99, 65535, 0xFFFFFFFF}));
    uint64_t k = 4000000000ull;
    EXPECT_EQ(k - 1, IntSqrt(k * k - 1)) << "a root just below an integer must not round up";
    EXPECT_EQ(k, IntSqrt(k * k));
}

static std::vector<int> Unit(int32_t x, int32_t y, int32_t z)
{
    int16_t v[3];
    UnitVector(x, y, z, v);
    return {v[0], v[1], v[2]};
}

TEST(Maths, UnitVectors)
{
    EXPECT_EQ(Unit(0, 0, 0), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(Unit(0, -7, 0), (std::vector<int>{0, -16384, 0}));
    EXPECT_EQ(Unit(0, 123456, 0), (std::vector<int>{0, 16384, 0}));
    EXPECT_EQ(Unit(3, 0, 4), (std::vector<int>{9830, 0, 13107})) << "9830.4 and 13107.2, truncated";
    EXPECT_EQ(Unit(-3, 0, -4), (std::vector<int>{-9830, 0, -13107})) << "truncation goes toward zero";
    EXPECT_EQ(Unit(1, 1, 1), (std::vector<int>{9459, 9459, 9459})) << "16384 / sqrt(3) = 9459.37";
    EXPECT_EQ(Unit(2000000000, -2000000000, 1), (std::vector<int>{11585, -11585, 0}));
    // Every vector along an axis is exactly one unit long, whatever its length (scaling by
    // 16384 / length first gave 16383 for one length in eight, 3 and 49152 among them).
    for (int32_t n = 1; n < 200000; n += (n < 1000 ? 1 : 7)) {
        ASSERT_EQ(Unit(n, 0, 0)[0], 16384) << n;
        ASSERT_EQ(Unit(0, 0, -n)[2], -16384) << n;
    }
}

