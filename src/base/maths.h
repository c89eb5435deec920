// Shared numeric helpers: 2.14 fixed point, the quarter-wave sine table, the two random
// streams, four-character names and integer unit vectors.
#pragma once
#include <cstdint>

enum { FIX_ONE = 16384, FIX_SHIFT = 14, SINE_TABLE_SIZE = 1025 };

static inline int32_t FixMul(int32_t a, int32_t b) { return (int32_t)(((int64_t)a * b) >> FIX_SHIFT); }
// a / b in 2.14. A quotient outside the 32-bit range, and a division by zero (taken as an
// infinitely large quotient of a's sign; 0 / 0 gives 0), saturate to INT32_MIN or INT32_MAX.
static inline int32_t FixDiv(int32_t a, int32_t b)
{
    if (b == 0) return a > 0 ? INT32_MAX : a < 0 ? INT32_MIN : 0;
    int64_t q = ((int64_t)a << FIX_SHIFT) / b;
    return q > INT32_MAX ? INT32_MAX : q < INT32_MIN ? INT32_MIN : (int32_t)q;
}

// sin(i * 90/1024 degrees) * 2^30 for i = 0..1024.
const int32_t* SineTable(void);
// Angles: 65536 to a full turn. Results: 1.0 = 16384.
int32_t FixSin(int32_t angle);
int32_t FixCos(int32_t angle);

// Two Park-Miller streams (0 and 1), both seeded with 1.
void RandSeed(int stream, uint32_t seed);
uint32_t RandNext(int stream);
// A value from 0 to n.
int32_t Rand(int stream, int32_t n);

// Four characters, the first in the most significant byte; 0 = no name.
uint32_t Name4FromText(const char* text);
// Writes up to four characters and a terminator; returns out.
char* Name4ToText(uint32_t name, char out[5]);

// Integer square root taken in floating point and truncated.
uint32_t IntSqrt(uint64_t v);
// 2.14 unit vector of an integer vector: zero gives zero, a pure Y vector gives +-16384,
// otherwise each component times 16384, divided by the length (in double), truncated.
void UnitVector(int32_t x, int32_t y, int32_t z, int16_t out[3]);
