// The software Z-buffer's depth buffer and frame. Depth is 2^39 / z, larger = nearer, kept as
// one 32-bit value per pixel of the frame's clip rectangle in the buffer that ZBufferInstall
// allocates from a byte budget; rows that do not fit the budget are not drawn. A frame belongs
// to the drawing target it started on, which must stay the same until the next frame start.
// The polygon routines that draw into it are the software drivers' (softdriver.h).
#pragma once
#include <cstdint>

#include "render/draw3d.h"

enum {
    ZBUFFER_MAX_Z = 0x7FFFFFFF,       // farthest camera depth the depth rule accepts
    ZBUFFER_DEFAULT_BYTES = 3000000,  // the editor's budget (an 800 x 600 view needs 1,920,000)
};

// Allocates the depth buffer from a byte budget (the editor passes ZBUFFER_DEFAULT_BYTES) and
// installs the colour tables. 0 on success; 1 when the budget is negative or cannot be
// allocated (the previous buffer, if any, is then kept). A second call replaces the buffer.
int ZBufferInstall(int64_t bytes);
// Also stops the drawing threads.
void ZBufferRemove(void);
// Threads that rasterise (0: one a core): starts the worker pool with that many and hands
// them to the scan converter; 1 draws every polygon as it comes. Returns the count in force.
int ZBufferSetThreads(int threads);
int ZBufferIsInstalled(void);

// The frame's near and far limits, checked at the next frame start.
void ZBufferDepthRange(float nearZ, float farZ);
// Fatal "ZBuffer - ZMin MUST be  >= ZBufferMinZ" when the near limit is below D3_NEAREST_Z and
// "ZBuffer - ZMax MUST be  <= ZBufferMaxZ" when the far limit is above ZBUFFER_MAX_Z. Takes
// the current target and its clip rectangle as the frame's, and clears the depth of that area.
void ZBufferFrameStart(void);
// Draws the polygons still queued for the bands (scan.h).
void ZBufferFrameFlush(void);
void ZBufferSetBackground(int32_t red, int32_t green, int32_t blue);   // 2.14, kept

// The depth rule: 2^39 / z with z held inside D3_NEAREST_Z..ZBUFFER_MAX_Z (a NaN counts as
// the nearest). Kept in floating point until it is stepped across a polygon: truncating z
// first would move coplanar polygons' depths apart by up to a unit of z.
static inline double ZBufferDepth(double z)
{
    const double lo = D3_NEAREST_Z, hi = ZBUFFER_MAX_Z;
    if (!(z >= lo)) z = lo;
    if (z > hi) z = hi;
    return 549755813888.0 / z;
}
uint32_t ZBufferDepthOf(float z);

struct ZBufferStats {
    uint32_t polygons;   // polygons that reached a span routine, and outlines drawn
    uint32_t spans;      // spans handed to span routines
    uint32_t rowsLost;   // rows of the frame that did not fit the budget (not drawn)
};
// Counts since the last frame start.
const ZBufferStats* ZBufferGetStats(void);
void ZBufferCount(uint32_t polygons, uint32_t spans);

// Where spans go: the target's buffer, its pixel size, and the rectangle (target coordinates,
// inclusive) that may be written.
struct ZBufferTarget {
    uint8_t* pixels;
    int pitch, bytes, originX, originY;
    int x0, y0, x1, y1;
};
// The current drawing target with the colour tables fitted to it: 0 when the rasteriser
// cannot draw into it (no pixels, not 16 or 32 bits, an empty clip rectangle).
int ZBufferVideoTarget(ZBufferTarget* t);
// The frame's target and its depth rows (row y0 first, depthWidth entries a row), when the
// current drawing target is still the one the frame started on; 0 otherwise.
int ZBufferFrameTarget(ZBufferTarget* t, int32_t** depth, int* depthWidth);
