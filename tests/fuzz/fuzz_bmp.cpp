// BMP as the world's artwork is read: the header checked against the file's length, then
// the rows decoded.
#include <vector>

#include "fuzz.h"
#include "palette/bmp.h"

enum { BMP_MAX_PIXELS = 1 << 22 };

static void One(const uint8_t* data, size_t size)
{
    int w, h;
    if (!BmpCheckLength(data, size, &w, &h)) return;
    if (w <= 0 || h <= 0 || (long long)w * h > BMP_MAX_PIXELS) return;
    std::vector<uint8_t> rgb((size_t)w * h * 3);
    BmpDecode(data, size, rgb.data(), rgb.size());
    // A destination too small for the picture must be refused, not overrun.
    BmpDecode(data, size, rgb.data(), rgb.size() - 1);
}

FUZZ_HARNESS(bmp, FuzzNothing, FuzzNothing, One)
