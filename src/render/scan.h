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
