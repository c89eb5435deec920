// The software rasteriser's colour tables: 8-bit colour components packed for the
// pixel format (5-6-5, 5-5-5 or X8-R8-G8-B8), per-channel shade ramps of PIXPACK_SHADE_LEVELS
// levels (PIXPACK_LEVEL_ONE = intensity 1.0, the top level just under 2.0; a shaded pixel is the
// OR of its three channels' ramp entries), and every palette entry shaded under white light.
#pragma once
#include <cstdint>

enum {
    PIXPACK_SHADE_LEVELS = 128,
    PIXPACK_LEVEL_ONE = 64,
};

// Allocates and fills the tables: fatal "Vid16Install - out of memory" when they cannot be
// had. The pixel format follows the display (16 bits: 5-6-5; 32 bits: X8-R8-G8-B8). Harmless
// twice.
void PixPackInstall(void);
void PixPackRemove(void);
// Sets the pixel format from the three channel masks. The rasteriser keeps it while its pixel
// size matches the drawing target's and falls back to the display's own format otherwise.
void PixPackSetPixelFormat(uint32_t redMask, uint32_t greenMask, uint32_t blueMask);
// Rebuilds one palette entry's colours from the video palette. The rasteriser also picks up
// palette changes by itself.
void PixPackSetPaletteEntry(int index);
// 8-bit components packed in the current pixel format.
uint32_t PixPackComponents(int red, int green, int blue);
// 0x00RRGGBB packed in the current pixel format.
uint32_t PixPackRGB(uint32_t rgb);

// The format and the tables as the rasteriser reads them.
struct PixPackTables {
    int bytes;                 // 2 or 4 per pixel
    uint32_t mask[3];          // red, green, blue channel masks
    uint32_t spread;           // 16-bit pixels: channels spread for blending (0 = cannot)
    uint32_t lane[3];          // otherwise blending lanes: channels that can be multiplied together
    const uint32_t* palette;   // 256 entries: the video palette as last seen, 0x00RRGGBB
    const uint32_t* display;   // 256 entries: the same colours packed
    const uint32_t* chan[3];   // 256 entries each: 8-bit component -> channel bits
    const uint32_t* ramp[3];   // shade level x 256 8-bit components -> channel bits
    const uint32_t* shade;     // shade level x 256 palette entries -> pixel, under white light
};
// The tables fitted to a drawing target of bpp bits (installed first if need be), with the
// video palette's present colours; null for a pixel size the rasteriser cannot draw.
const PixPackTables* PixPackForTarget(int bpp);
// The tables as they stand; valid once installed.
const PixPackTables* PixPackCurrent(void);
