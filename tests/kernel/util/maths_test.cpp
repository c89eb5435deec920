#include <gtest/gtest.h>

#include <cmath>

#include "kernel/util/maths.h"

TEST(Maths, SineTableHoldsTruncatedQuarterWave)
{
    const int32_t* t = SineTable();
    EXPECT_EQ(0, t[0]);
    EXPECT_EQ(1 << 30, t[1024]);
    EXPECT_EQ(0x2D413CCC, t[512]);   // sin 45 degrees * 2^30 = 759250124.99..., truncated
    // Every entry is the truncation of the exact value, and the table rises throughout.
    for (int i = 1; i < SINE_TABLE_SIZE; i++) {
        EXPECT_LT(t[i - 1], t[i]) << i;
        double exact = sin(i * M_PI / 2048.0) * 1073741824.0;
        EXPECT_LE(t[i], exact + 1e-3) << i;
        EXPECT_GT(t[i] + 1.0, exact - 1e-3) << i;
    }
}

TEST(Maths, FixedSineAndCosineFoldEveryQuarter)
{
    EXPECT_EQ(0, FixSin(0));
    EXPECT_EQ(16384, FixSin(0x4000));
    EXPECT_EQ(0, FixSin(0x8000));
    EXPECT_EQ(-16384, FixSin(0xC000));
    EXPECT_EQ(16384, FixCos(0));
    EXPECT_EQ(-16384, FixCos(0x8000));
    EXPECT_EQ(0, FixCos(0x4000));
    EXPECT_EQ(11585, FixSin(0x2000));    // 0x2D413CCC >> 16
    EXPECT_EQ(11585, FixSin(0x6000));
    EXPECT_EQ(-11585, FixSin(-0x2000));
    EXPECT_EQ(FixSin(0x1234), FixSin(0x1234 + 0x10000)) << "angles wrap at a full turn";
    // 30 degrees: 0x1555 >> 4 = 341, sin(341 * 90/1024 deg) * 2^30 >> 16
    EXPECT_EQ(SineTable()[341] >> 16, FixSin(0x1555));
    // The table is indexed by angle >> 4: angles within one step share an entry.
    EXPECT_EQ(FixSin(0x1230), FixSin(0x123F));
    // Odd symmetry and the cosine shift hold everywhere.
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
    EXPECT_EQ(16807u, RandNext(0));
    EXPECT_EQ(282475249u, RandNext(0));
    EXPECT_EQ(1622650073u, RandNext(0));
    EXPECT_EQ(16807u, RandNext(1)) << "the streams are independent";
    // Park and Miller's check value: the 10000th draw from seed 1.
    RandSeed(0, 1);
    uint32_t x = 0;
    for (int i = 0; i < 10000; i++) x = RandNext(0);
    EXPECT_EQ(1043618065u, x);

    RandSeed(0, 1);
    // random(n) = ((x & 0xFFFF) * (n + 1)) >> 16 of the new state.
    EXPECT_EQ((int32_t)(((16807u & 0xFFFF) * 4097u) >> 16), Rand(0, 4096));
    for (int i = 0; i < 2000; i++) {
        int32_t r = Rand(0, 9);
        EXPECT_GE(r, 0);
        EXPECT_LE(r, 9);
    }
    EXPECT_EQ(0, Rand(1, 0));

    RandSeed(0, 0);
    EXPECT_NE(0u, RandNext(0)) << "a zero seed must not stick at 0";
    RandSeed(0, 1);
    RandSeed(1, 1);
}

TEST(Maths, FourCharacterNames)
{
    EXPECT_EQ(0x4E455431u, Name4FromText("NET1"));
    EXPECT_EQ(0x41420000u, Name4FromText("AB"));
    EXPECT_EQ(0x57585958u, Name4FromText("WXYXZ")) << "only four characters";
    EXPECT_EQ(0u, Name4FromText(""));
    EXPECT_EQ(0u, Name4FromText(nullptr));
    char out[5];
    EXPECT_STREQ("NET1", Name4ToText(0x4E455431u, out));
    EXPECT_STREQ("AB", Name4ToText(Name4FromText("AB"), out));
    EXPECT_STREQ("", Name4ToText(0, out));
    EXPECT_STREQ("Z9", Name4ToText(Name4FromText("Z9"), out));
}

TEST(Maths, IntegerSquareRootTruncates)
{
    EXPECT_EQ(0u, IntSqrt(0));
    EXPECT_EQ(1u, IntSqrt(3));
    EXPECT_EQ(2u, IntSqrt(4));
    EXPECT_EQ(99u, IntSqrt(9999));
    EXPECT_EQ(65535u, IntSqrt(0xFFFFFFFFull));
    EXPECT_EQ(0xFFFFFFFFu, IntSqrt(0xFFFFFFFFFFFFFFFFull));
    uint64_t k = 4000000000ull;
    EXPECT_EQ(k - 1, IntSqrt(k * k - 1)) << "a root just below an integer must not round up";
    EXPECT_EQ(k, IntSqrt(k * k));
}

TEST(Maths, UnitVectors)
{
    int16_t v[3];
    UnitVector(0, 0, 0, v);
    EXPECT_EQ(0, v[0]);
    EXPECT_EQ(0, v[1]);
    EXPECT_EQ(0, v[2]);
    UnitVector(0, -7, 0, v);
    EXPECT_EQ(-16384, v[1]);
    EXPECT_EQ(0, v[0]);
    UnitVector(0, 123456, 0, v);
    EXPECT_EQ(16384, v[1]);
    UnitVector(3, 0, 4, v);
    EXPECT_EQ(9830, v[0]);    // 3/5 * 16384 = 9830.4, truncated
    EXPECT_EQ(0, v[1]);
    EXPECT_EQ(13107, v[2]);   // 13107.2
    UnitVector(-3, 0, -4, v);
    EXPECT_EQ(-9830, v[0]) << "truncation goes toward zero";
    EXPECT_EQ(-13107, v[2]);
    UnitVector(1, 1, 1, v);
    EXPECT_EQ(9459, v[0]);    // 16384 / sqrt(3) = 9459.37
    UnitVector(2000000000, -2000000000, 1, v);
    EXPECT_EQ(11585, v[0]);
    EXPECT_EQ(-11585, v[1]);
    // Every vector along an axis is exactly one unit long, whatever its length (scaling by
    // 16384 / length first gave 16383 for one length in eight, 3 and 49152 among them).
    for (int32_t n = 1; n < 200000; n += (n < 1000 ? 1 : 7)) {
        UnitVector(n, 0, 0, v);
        ASSERT_EQ(16384, v[0]) << n;
        UnitVector(0, 0, -n, v);
        ASSERT_EQ(-16384, v[2]) << n;
    }
}

