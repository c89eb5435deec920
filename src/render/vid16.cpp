// The colour tables of the software rasteriser: 8-bit colour components packed for the pixel
// format, per-channel shade ramps, and every palette entry shaded under white light. All of
// them live in one block made at install; a palette entry's rows are rebuilt when its colour
// changes.
#include "render/vid16.h"

#include "render/scan.h"

#include <cstdlib>
#include <utility>

#include "kernel/fatal.h"
#include "platform/video.h"

enum {
    CHAN_ENTRIES = 256,
    RAMP_ENTRIES = VID16_SHADE_LEVELS * 256,   // [level][8-bit component or palette entry]
};
// Blends need five bits of headroom above a pixel's channels in 32-bit arithmetic.
static const uint32_t FORMAT_BITS = 0x07FFFFFF;

static struct {
    int installed;
    int shift[3], width[3];
    uint32_t palette[256];     // the video palette as last seen, 0x00RRGGBB
    uint32_t display[256];     // the same colours packed
    int drop[3], place[3];     // 8-bit component c to channel bits: (c >> drop) << place
    uint32_t* block;
    uint32_t* chan[3];         // 8-bit component -> channel bits
    uint32_t* ramp[3];         // shade level x 8-bit component -> channel bits
    uint32_t* shade;           // shade level x palette entry -> pixel, under white light
    Vid16Tables t;             // the format, and the tables above as the rasteriser reads them
} v16;

static uint32_t ChannelBits(int c, uint32_t value) { return ((value >> v16.drop[c]) << v16.place[c]) & v16.t.mask[c]; }

uint32_t Vid16PackRGB(uint32_t rgb)
{
    return v16.chan[0][(rgb >> 16) & 255] | v16.chan[1][(rgb >> 8) & 255] | v16.chan[2][rgb & 255];
}

static void BuildShade(int index)
{
    uint32_t rgb = v16.palette[index];
    for (uint32_t level = 0; level < VID16_SHADE_LEVELS; level++)
        v16.shade[level * 256 + index] = v16.ramp[0][level * 256 + (rgb >> 16)] |
                                         v16.ramp[1][level * 256 + ((rgb >> 8) & 255)] |
                                         v16.ramp[2][level * 256 + (rgb & 255)];
}

static void SetEntry(int index, uint32_t rgb)
{
    v16.palette[index] = rgb;
    v16.display[index] = Vid16PackRGB(rgb);
    BuildShade(index);
}

static void BuildTables(void)
{
    for (int c = 0; c < 3; c++) {
        for (uint32_t value = 0; value < 256; value++) v16.chan[c][value] = ChannelBits(c, value);
        for (uint32_t level = 0; level < VID16_SHADE_LEVELS; level++)
            for (uint32_t value = 0; value < 256; value++) {
                uint32_t shaded = value * level / VID16_LEVEL_ONE;
                v16.ramp[c][level * 256 + value] = v16.chan[c][shaded > 255 ? 255 : shaded];
            }
    }
    for (int i = 0; i < 256; i++) SetEntry(i, v16.palette[i]);
}

// A blend multiplies channels by up to 32: each needs five clear bits above it before the
// next channel of its lane starts.
static int LaneFits(uint32_t low, uint32_t high)
{
    return low && high && ((low << 5) & high) == 0 && (low << 5) < (high & -high);
}

static void SetBlendLanes(void)
{
    int order[3] = {0, 1, 2};   // channels by position, lowest first
    for (int i = 0; i < 3; i++)
        for (int j = i + 1; j < 3; j++)
            if (v16.t.mask[order[j]] < v16.t.mask[order[i]]) std::swap(order[i], order[j]);
    uint32_t lo = v16.t.mask[order[0]], mid = v16.t.mask[order[1]], hi = v16.t.mask[order[2]];
    // 5-6-5 and 5-5-5: the middle channel moves to the upper half, the others stay.
    v16.t.spread = 0;
    if (v16.t.bytes == 2 && LaneFits(lo, hi) && mid <= 0x7FF && LaneFits(hi, mid << 16))
        v16.t.spread = (mid << 16) | lo | hi;
    if (LaneFits(lo, hi)) {
        v16.t.lane[0] = lo | hi;
        v16.t.lane[1] = mid;
        v16.t.lane[2] = 0;
    } else {
        for (int c = 0; c < 3; c++) v16.t.lane[c] = v16.t.mask[order[c]];
        if (!v16.t.lane[0]) std::swap(v16.t.lane[0], v16.t.lane[2]);
    }
}

static void SetFormat(uint32_t r, uint32_t g, uint32_t b)
{
    uint32_t masks[3] = {r & FORMAT_BITS, g & FORMAT_BITS, b & FORMAT_BITS};
    for (int c = 0; c < 3; c++) {
        v16.t.mask[c] = masks[c];
        v16.shift[c] = masks[c] ? __builtin_ctz(masks[c]) : 0;
        v16.width[c] = __builtin_popcount(masks[c]);
        int w = v16.width[c];
        v16.drop[c] = w >= 8 ? 0 : 8 - w;
        v16.place[c] = v16.shift[c] + (w > 8 ? w - 8 : 0);
    }
    v16.t.bytes = (r | g | b) > 0xFFFF ? 4 : 2;
    SetBlendLanes();
    BuildTables();
}

static void SetDefaultFormat(int bpp)
{
    if (bpp == 32)
        SetFormat(0xFF0000, 0x00FF00, 0x0000FF);
    else
        SetFormat(0xF800, 0x07E0, 0x001F);
}

void Vid16Remove(void)
{
    ScanFinish();
    if (!v16.installed) return;
    free(v16.block);
    v16.block = nullptr;
    v16.installed = 0;
}

void Vid16Install(void)
{
    if (v16.installed) return;
    size_t entries = 3 * (size_t)CHAN_ENTRIES + 4 * (size_t)RAMP_ENTRIES;
    v16.block = (uint32_t*)malloc(entries * sizeof(uint32_t));
    if (!v16.block) FatalError("Vid16Install - out of memory");
    for (int c = 0; c < 3; c++) {
        v16.chan[c] = v16.block + c * CHAN_ENTRIES;
        v16.ramp[c] = v16.block + 3 * CHAN_ENTRIES + c * RAMP_ENTRIES;
    }
    v16.shade = v16.block + 3 * CHAN_ENTRIES + 3 * RAMP_ENTRIES;
    for (int c = 0; c < 3; c++) {
        v16.t.chan[c] = v16.chan[c];
        v16.t.ramp[c] = v16.ramp[c];
    }
    v16.t.shade = v16.shade;
    v16.t.palette = v16.palette;
    v16.t.display = v16.display;
    const uint32_t* colours = VideoColourTable();
    for (int i = 0; i < 256; i++) v16.palette[i] = colours[i] & 0xFFFFFF;
    v16.installed = 1;
    SetDefaultFormat(VideoBitsPerPixel());
    RegisterExit(Vid16Remove);
}

void Vid16SetPixelFormat(uint32_t redMask, uint32_t greenMask, uint32_t blueMask)
{
    ScanFinish();   // queued polygons were set up with the tables as they stand
    Vid16Install();
    SetFormat(redMask, greenMask, blueMask);
}

void Vid16SetPaletteEntry(int index)
{
    ScanFinish();
    if (index < 0 || index > 255) return;
    Vid16Install();
    SetEntry(index, VideoColourTable()[index] & 0xFFFFFF);
}

uint32_t Vid16Pack(int red, int green, int blue)
{
    Vid16Install();
    return v16.chan[0][red & 255] | v16.chan[1][green & 255] | v16.chan[2][blue & 255];
}

static void SyncPalette(void)
{
    const uint32_t* colours = VideoColourTable();
    for (int i = 0; i < 256; i++) {
        uint32_t c = colours[i] & 0xFFFFFF;
        if (c != v16.palette[i]) SetEntry(i, c);
    }
}

const Vid16Tables* Vid16ForTarget(int bpp)
{
    if (bpp != 16 && bpp != 32) return nullptr;
    Vid16Install();
    if (v16.t.bytes * 8 != bpp) SetDefaultFormat(bpp);
    SyncPalette();
    return &v16.t;
}

const Vid16Tables* Vid16Current(void) { return &v16.t; }
