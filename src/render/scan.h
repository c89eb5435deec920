// Scan conversion for the software rasteriser: filled polygons cut into spans (span routines
// in spans.h), outlines and lines. Everything is drawn into the current drawing target inside
// its clip rectangle; depth-tested polygons only while the target is the Z-buffer frame's.
//
// Screen positions are pixel coordinates: pixel (x, y) covers x..x+1, y..y+1, and a pixel is
// inside a polygon when its centre is. Depth (as 1/z), colours, levels and texture coordinates
// are interpolated linearly over the screen: textures are not corrected for perspective.
// Mapping coordinates wrap: u and v repeat every 1.0, and every texel index is reduced into
// the sprite, whatever its size.
#pragma once
#include <cstdint>

#include "render/draw3d.h"
#include "render/spans.h"
#include "render/texcache.h"

enum { SCAN_MAX_VERTICES = 64 };   // longer rings are not drawn

// What a polygon routine asks of the scan converter: the span colour mode (SPAN_*, spans.h),
// the depth test and depth writes, leaving out transparent texels, and blending by the
// vertices' blend levels (1.0 = invisible).
struct ScanRoute {
    int mode;
    bool z, key, blend;
};
// A filled polygon. A vertex's light is its colour plus its specular colour. Rings of more
// than SCAN_MAX_VERTICES vertices, broken rings and polygons of no area are not drawn.
void ScanPolygon(D3Polygon* p, const ScanRoute& route, const TexCacheEntry* tex);
// Each edge of the ring in its first vertex's lit colour, over everything (no depth).
void ScanOutline(D3Polygon* p);
// A line in a palette entry's colour, clipped to the clip rectangle; a zero-length line is
// one pixel.
void ScanLine(int x0, int y0, int x1, int y1, int paletteIndex);

// Threads that draw depth-tested polygons (held inside 1..WORKPOOL_MAX_THREADS; the worker
// pool must have as many for them to run side by side). With one, each polygon is drawn as it
// comes; with more, polygons are queued and drawn in bands of rows, one thread a band, each
// band taking every polygon in the order it came: the picture is the same to the byte. Returns
// the count in force (1 when the queue cannot be allocated).
int ScanSetThreads(int threads);
int ScanThreads(void);
// Draws what is queued and waits for it; the video layer runs it before anyone touches pixels.
void ScanFinish(void);
// Back to one thread, the queue freed.
void ScanRelease(void);
// The guessed pixels of work that wake one more thread (for tests that want bands on any
// frame; 0 restores the default), and how many bands the last finish used.
void ScanSetMinBandWork(int64_t work);
int ScanLastBands(void);
