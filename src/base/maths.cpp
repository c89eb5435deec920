// Shared numeric helpers: the quarter-wave sine table, the two random streams, four-character
// names, integer square roots and unit vectors.
#include "base/maths.h"

#include <cmath>

static int sineReady;
static int32_t sineTable[SINE_TABLE_SIZE];
static uint32_t randState[2] = {1, 1};

static void BuildSineTable(void)
{
    // The upper half uses the cosine of the complement, which keeps entry 1024 exactly 2^30.
    const double step = 3.14159265358979323846 / 2048.0;
    for (int i = 0; i < SINE_TABLE_SIZE; i++) {
        double s = i <= 512 ? sin(i * step) : cos((1024 - i) * step);
        sineTable[i] = (int32_t)(s * 1073741824.0);
    }
    sineReady = 1;
}

const int32_t* SineTable(void)
{
    if (!sineReady) BuildSineTable();
    return sineTable;
}

int32_t FixSin(int32_t angle)
{
    const int32_t* t = SineTable();
    uint32_t a = (uint32_t)angle & 0xFFFF;
    uint32_t within = a & 0x3FFF;
    switch (a >> 14) {
    case 0: return t[within >> 4] >> 16;
    case 1: return t[(0x4000 - within) >> 4] >> 16;
    case 2: return -(t[within >> 4] >> 16);
    default: return -(t[(0x4000 - within) >> 4] >> 16);
    }
}

int32_t FixCos(int32_t angle) { return FixSin(angle + 0x4000); }

void RandSeed(int stream, uint32_t seed)
{
    // A state of 0 (or a multiple of the modulus) would stay 0 for ever.
    seed %= 2147483647u;
    randState[stream & 1] = seed ? seed : 1;
}

uint32_t RandNext(int stream)
{
    uint32_t& x = randState[stream & 1];
    x = (uint32_t)(((uint64_t)x * 16807u) % 2147483647u);
    return x;
}

int32_t Rand(int stream, int32_t n)
{
    uint32_t x = RandNext(stream);
    return (int32_t)(((int64_t)(x & 0xFFFF) * ((int64_t)n + 1)) >> 16);
}

uint32_t Name4FromText(const char* text)
{
    uint32_t v = 0;
    int i = 0;
    if (text)
        for (; i < 4 && text[i]; i++) v |= (uint32_t)(uint8_t)text[i] << (24 - 8 * i);
    return v;
}

char* Name4ToText(uint32_t name, char out[5])
{
    int n = 0;
    for (int i = 0; i < 4; i++) {
        char c = (char)(name >> (24 - 8 * i));
        if (!c) break;
        out[n++] = c;
    }
    out[n] = 0;
    return out;
}

uint32_t IntSqrt(uint64_t v)
{
    double root = sqrt((double)v);
    uint64_t r = root >= 18446744073709551616.0 ? ~0ull : (uint64_t)root;
    // Near 2^64 the floating root can land one off either way; settle on the true floor.
    if (r > 0xFFFFFFFFull) r = 0xFFFFFFFFull;
    while (r * r > v) r--;
    while (r < 0xFFFFFFFFull && (r + 1) * (r + 1) <= v) r++;
    return (uint32_t)r;
}

void UnitVector(int32_t x, int32_t y, int32_t z, int16_t out[3])
{
    if (x == 0 && y == 0 && z == 0) {
        out[0] = out[1] = out[2] = 0;
        return;
    }
    if (x == 0 && z == 0) {
        out[0] = out[2] = 0;
        out[1] = (int16_t)(y > 0 ? FIX_ONE : -FIX_ONE);
        return;
    }
    // In double, as a 53-bit unit computes it. Each component is multiplied before it is
    // divided: x * 16384 is exact, so a vector along an axis comes out as exactly 16384
    // (scaling by 16384 / length first loses the last unit for one length in eight).
    double len = sqrt((double)x * x + (double)y * y + (double)z * z);
    out[0] = (int16_t)(int32_t)(x * 16384.0 / len);
    out[1] = (int16_t)(int32_t)(y * 16384.0 / len);
    out[2] = (int16_t)(int32_t)(z * 16384.0 / len);
}
