// The software rasteriser: the "Software Z-Buffer" driver and its two small relatives, the
// colour tables they shade through (Vid16), and the 2D line they draw outlines with.
//
// Polygons arrive from Draw3D one at a time (sort mode does not matter: hidden surfaces are
// resolved per pixel) and are drawn at once into the current drawing target, which must stay
// the same from frame start until the next frame start. Depth is 2^39 / z, larger = nearer,
// kept as one 32-bit value per pixel of the frame's clip rectangle in the buffer that
// ZBufferInstall allocates; rows that do not fit the budget are not drawn.
//
// Pixels come from table lookups: 8-bit colour components through per-channel tables packed
// for the pixel format (5-6-5, 5-5-5 or X8-R8-G8-B8), lit texels through per-channel shade
// ramps of 128 levels (level 64 = intensity 1.0, 127 = just under 2.0). A vertex's light is
// its colour plus its specular colour. Depth (as 1/z), colours, levels and texture
// coordinates are interpolated linearly over the screen: textures are not corrected for
// perspective. Blend levels mix with what is in the framebuffer (1.0 = invisible).
//
// The driver leaves Draw3D's sort mode alone: with depth per pixel the editor's sort mode 4
// (no queue) gives the same picture without the cost of sorting.
//
// Textures are read straight from "SPR" resources that are already loaded (8-bit: colours
// from the current palette, the transparent index honoured; 32-bit: the key colour at bytes
// 12-14 honoured). Mapping coordinates wrap: u and v repeat every 1.0, and every texel index
// is reduced into the sprite, whatever its size.
#pragma once
#include <cstdint>

#include "render/draw3d.h"

enum {
    ZBUFFER_MIN_Z = 257,              // nearest camera depth the depth rule accepts
    ZBUFFER_MAX_Z = 0x7FFFFFFF,       // farthest
    ZBUFFER_DEFAULT_BYTES = 3000000,  // the editor's budget (an 800 x 600 view needs 1,920,000)
    ZBUFFER_MAX_TEXTURE = 1024,       // driver slot 21
    ZBUFFER_SHADE_LEVELS = 128,
    ZBUFFER_MAX_VERTICES = 64,        // longer rings are not drawn
};

// Software polygon types beyond the ones the pipeline produces (draw3d.h). The Z-buffer
// driver's table: 0, 1, 13 flat fill; 5 unlit texture; 6 lit texture; 7 unlit texture with
// transparent texels; 9 and 10 outlines; 19-23 screen space, drawn over everything without
// depth: 19 flat, 20 smooth, 21 smooth blended, 22 outline, 23 unlit texture with transparent
// texels (the 2D layer's sprites).
enum {
    ZB_FLAT = 0,
    ZB_FLAT1 = 1,
    ZB_UNLIT_TEXTURE = 5,
    ZB_LIT_TEXTURE6 = 6,
    ZB_UNLIT_KEYED = 7,
    ZB_OUTLINE9 = 9,
    ZB_FLAT13 = 13,
    ZB_SCREEN_FLAT = 19,
    ZB_SCREEN_SMOOTH = 20,
    ZB_SCREEN_BLENDED = 21,
    ZB_SCREEN_OUTLINE = 22,
    ZB_SCREEN_TEXTURE = 23,
};

// ============================================================================================
// Install
// ============================================================================================

// Allocates the depth buffer from a byte budget (the editor passes ZBUFFER_DEFAULT_BYTES) and
// installs the colour tables. 0 on success; 1 when the budget is negative or cannot be
// allocated (the previous buffer, if any, is then kept). A second call replaces the buffer.
int ZBufferInstall(int64_t bytes);
void ZBufferRemove(void);
int ZBufferIsInstalled(void);

// The colour tables: fatal "Vid16Install - out of memory" when they cannot be allocated. The
// pixel format follows the display (16 bits: 5-6-5; 32 bits: X8-R8-G8-B8). Harmless twice.
void Vid16Install(void);
void Vid16Remove(void);
// Sets the pixel format from the three channel masks. The drivers keep it while its pixel
// size matches the drawing target's and fall back to the display's own format otherwise.
void Vid16SetPixelFormat(uint32_t redMask, uint32_t greenMask, uint32_t blueMask);
// Rebuilds one palette entry's colours from the video palette. Frames and screen-space
// polygons also pick up palette changes by themselves.
void Vid16SetPaletteEntry(int index);
// 8-bit components packed in the current pixel format.
uint32_t Vid16Pack(int red, int green, int blue);

// ============================================================================================
// Drivers (records for Draw3D's driver table)
// ============================================================================================

const D3Driver* ZBufferDriver(void);             // "Software Z-Buffer", flags 0x99
const D3Driver* ZBufferNonZDriver(void);         // "Software Renderer Non ZBuffered", types 19-23
const D3Driver* ZBufferPlaceholderDriver(void);  // "Software Renderer", outlines only

// The Z-buffer driver's slots, callable directly.
void ZBufferDepthParams(float nearZ, float farZ);   // slot 10: checked at frame start
// Slot 2: fatal "ZBuffer - ZMin MUST be  >= ZBufferMinZ" when the near limit is below 257 and
// "ZBuffer - ZMax MUST be  <= ZBufferMaxZ" when the far limit is above 0x7FFFFFFF. Takes the
// current target and its clip rectangle as the frame's, and clears the depth of that area.
void ZBufferFrameStart(void);
void ZBufferFrameFlush(void);                          // slot 5
void ZBufferSetBackground(int32_t red, int32_t green, int32_t blue);   // slot 20, 2.14
// Draws a polygon through the Z-buffer driver's routine for its type.
void ZBufferPolygon(D3Polygon* polygon);

// The depth rule: 2^39 / z with z clamped to ZBUFFER_MIN_Z..ZBUFFER_MAX_Z (larger = nearer).
uint32_t ZBufferDepthOf(float z);

struct ZBufferStats {
    uint32_t polygons;   // polygons that reached a span routine, and outlines drawn
    uint32_t spans;      // spans handed to span routines
    uint32_t rowsLost;   // rows of the frame that did not fit the budget (not drawn)
};
// Counts since the last frame start.
const ZBufferStats* ZBufferGetStats(void);

// ============================================================================================
// 2D
// ============================================================================================

// A line in a palette entry's colour on the current target, clipped to its clip rectangle;
// a zero-length line is one pixel.
void ZBufferLine(int x0, int y0, int x1, int y1, int paletteIndex);
