// PAL as the Palette panel loads it: the image checked against its size and taken into the
// working palette, then applied to the colour tables.
#include "base/res.h"
#include "fuzz.h"
#include "palette/palm.h"

static void Setup(void)
{
    ResInstall(100);
    PalMInstall(PAL_USER_COLOURS);
}

static void Teardown(void)
{
    PalMRemove();
    ResRemove();
}

static void One(const uint8_t* data, size_t size)
{
    if (PalMLoadImage(data, size) == 0) {
        uint8_t palette[256 * 3];
        PalMGetPalette(palette);
    }
}

FUZZ_HARNESS(pal, Setup, Teardown, One)
