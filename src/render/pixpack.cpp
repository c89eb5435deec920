// The colour tables of the software rasteriser: 8-bit colour components packed for the pixel
// format, per-channel shade ramps, and every palette entry shaded under white light. All of
// them live in one block made at install; a palette entry's rows are rebuilt when its colour
// changes.
#include "render/pixpack.h"

#include "render/scan.h"

#include <cstdlib>
#include <utility>

#include "base/fatal.h"
#include "platform/video.h"

enum {
    CHAN_ENTRIES = 256,
    RAMP_ENTRIES = PIXPACK_SHADE_LEVELS * 256,   // [level][8-bit component or palette entry]
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
    PixPackTables t;             // the format, and the tables above as the rasteriser reads them
} pixPack;

static uint32_t ChannelBits(int c, uint32_t value) { return ((value >> pixPack.drop[c]) << pixPack.place[c]) & pixPack.t.mask[c]; }

uint32_t PixPackRGB(uint32_t rgb)
{
    return pixPack.chan[0][(rgb >> 16) & 255] | pixPack.chan[1][(rgb >> 8) & 255] | pixPack.chan[2][rgb & 255];
}

static void BuildShade(int index)
{
    uint32_t rgb = pixPack.palette[index];
    for (uint32_t level = 0; level < PIXPACK_SHADE_LEVELS; level++)
        pixPack.shade[level * 256 + index] = pixPack.ramp[0][level * 256 + (rgb >> 16)] |
                                         pixPack.ramp[1][level * 256 + ((rgb >> 8) & 255)] |
                                         pixPack.ramp[2][level * 256 + (rgb & 255)];
}

static void SetEntry(int index, uint32_t rgb)
{
    pixPack.palette[index] = rgb;
    pixPack.display[index] = PixPackRGB(rgb);
    BuildShade(index);
}

static void BuildTables(void)
{
    for (int c = 0; c < 3; c++) {
        for (uint32_t value = 0; value < 256; value++) pixPack.chan[c][value] = ChannelBits(c, value);
        for (uint32_t level = 0; level < PIXPACK_SHADE_LEVELS; level++)
            for (uint32_t value = 0; value < 256; value++) {
                uint32_t shaded = value * level / PIXPACK_LEVEL_ONE;
                pixPack.ramp[c][level * 256 + value] = pixPack.chan[c][shaded > 255 ? 255 : shaded];
            }
    }
    for (int i = 0; i < 256; i++) SetEntry(i, pixPack.palette[i]);
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
            if (pixPack.t.mask[order[j]] < pixPack.t.mask[order[i]]) std::swap(order[i], order[j]);
    uint32_t lo = pixPack.t.mask[order[0]], mid = pixPack.t.mask[order[1]], hi = pixPack.t.mask[order[2]];
    // 5-6-5 and 5-5-5: the middle channel moves to the upper half, the others stay.
    pixPack.t.spread = 0;
    if (pixPack.t.bytes == 2 && LaneFits(lo, hi) && mid <= 0x7FF && LaneFits(hi, mid << 16))
        pixPack.t.spread = (mid << 16) | lo | hi;
    if (LaneFits(lo, hi)) {
        pixPack.t.lane[0] = lo | hi;
        pixPack.t.lane[1] = mid;
        pixPack.t.lane[2] = 0;
    } else {
        for (int c = 0; c < 3; c++) pixPack.t.lane[c] = pixPack.t.mask[order[c]];
        if (!pixPack.t.lane[0]) std::swap(pixPack.t.lane[0], pixPack.t.lane[2]);
    }
}

static void SetFormat(uint32_t r, uint32_t g, uint32_t b)
{
    uint32_t masks[3] = {r & FORMAT_BITS, g & FORMAT_BITS, b & FORMAT_BITS};
    for (int c = 0; c < 3; c++) {
        pixPack.t.mask[c] = masks[c];
        pixPack.shift[c] = masks[c] ? __builtin_ctz(masks[c]) : 0;
        pixPack.width[c] = __builtin_popcount(masks[c]);
        int w = pixPack.width[c];
        pixPack.drop[c] = w >= 8 ? 0 : 8 - w;
        pixPack.place[c] = pixPack.shift[c] + (w > 8 ? w - 8 : 0);
    }
    pixPack.t.bytes = (r | g | b) > 0xFFFF ? 4 : 2;
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

void PixPackRemove(void)
{
    ScanFinish();
    if (!pixPack.installed) return;
    free(pixPack.block);
    pixPack.block = nullptr;
    pixPack.installed = 0;
}

void PixPackInstall(void)
{
    if (pixPack.installed) return;
    size_t entries = 3 * (size_t)CHAN_ENTRIES + 4 * (size_t)RAMP_ENTRIES;
    pixPack.block = (uint32_t*)malloc(entries * sizeof(uint32_t));
    if (!pixPack.block) FatalError("Vid16Install - out of memory");
    for (int c = 0; c < 3; c++) {
        pixPack.chan[c] = pixPack.block + c * CHAN_ENTRIES;
        pixPack.ramp[c] = pixPack.block + 3 * CHAN_ENTRIES + c * RAMP_ENTRIES;
    }
    pixPack.shade = pixPack.block + 3 * CHAN_ENTRIES + 3 * RAMP_ENTRIES;
    for (int c = 0; c < 3; c++) {
        pixPack.t.chan[c] = pixPack.chan[c];
        pixPack.t.ramp[c] = pixPack.ramp[c];
    }
    pixPack.t.shade = pixPack.shade;
    pixPack.t.palette = pixPack.palette;
    pixPack.t.display = pixPack.display;
    const uint32_t* colours = VideoColourTable();
    for (int i = 0; i < 256; i++) pixPack.palette[i] = colours[i] & 0xFFFFFF;
    pixPack.installed = 1;
    SetDefaultFormat(VideoBitsPerPixel());
    RegisterExit(PixPackRemove);
}

void PixPackSetPixelFormat(uint32_t redMask, uint32_t greenMask, uint32_t blueMask)
{
    ScanFinish();   // queued polygons were set up with the tables as they stand
    PixPackInstall();
    SetFormat(redMask, greenMask, blueMask);
}

void PixPackSetPaletteEntry(int index)
{
    ScanFinish();
    if (index < 0 || index > 255) return;
    PixPackInstall();
    SetEntry(index, VideoColourTable()[index] & 0xFFFFFF);
}

uint32_t PixPackComponents(int red, int green, int blue)
{
    PixPackInstall();
    return pixPack.chan[0][red & 255] | pixPack.chan[1][green & 255] | pixPack.chan[2][blue & 255];
}

static void SyncPalette(void)
{
    const uint32_t* colours = VideoColourTable();
    for (int i = 0; i < 256; i++) {
        uint32_t c = colours[i] & 0xFFFFFF;
        if (c != pixPack.palette[i]) SetEntry(i, c);
    }
}

const PixPackTables* PixPackForTarget(int bpp)
{
    if (bpp != 16 && bpp != 32) return nullptr;
    PixPackInstall();
    if (pixPack.t.bytes * 8 != bpp) SetDefaultFormat(bpp);
    SyncPalette();
    return &pixPack.t;
}

const PixPackTables* PixPackCurrent(void) { return &pixPack.t; }
