// LBM (IFF ILBM and PBM) as the palette import and the picture reader take it: the header
// chunks, the colour map and the pixels, decompressed into a rectangle.
#include <vector>

#include "fuzz.h"
#include "palette/iff.h"

enum { LBM_MAX_PIXELS = 1 << 22 };   // a larger picture is read through a corner of it

static void One(const uint8_t* data, size_t size)
{
    IffInfo info;
    if (!IffGetInfo(data, size, &info)) return;
    uint8_t palette[256 * 3];
    int colours;
    IffGetPalette(data, size, palette, &colours);
    int w = info.width, h = info.height;
    if (w <= 0 || h <= 0) return;
    if ((long long)w * h > LBM_MAX_PIXELS) w = h = 64;
    std::vector<uint8_t> pixels((size_t)w * h);
    IffRead(data, size, 0, 0, w, h, pixels.data(), palette, &colours);
    // A rectangle inside, away from the corner.
    if (info.width > 2 && info.height > 2)
        IffRead(data, size, 1, 1, w > 2 ? w - 2 : 1, h > 2 ? h - 2 : 1, pixels.data(), palette, &colours);
}

FUZZ_HARNESS(lbm, FuzzNothing, FuzzNothing, One)
