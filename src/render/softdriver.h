// The software drivers: records for Draw3D's driver table whose polygon routines draw through
// the software rasteriser (scan.h) into the current drawing target.
//
// "Software Z-Buffer" draws every type the pipeline produces and most that other callers
// use, hidden surfaces resolved per pixel by the depth buffer (zbuffer.h); sort mode does not
// matter to it, and the editor's sort mode 4 (no queue) gives the same picture without the
// cost of sorting. "Software Renderer Non ZBuffered" draws the screen-space types only.
// "Software Renderer" is a stand-in that draws outlines only.
//
// Textured types read loaded sprites (texcache.h): 8-bit texels take their colours from the
// current palette, and leave out the transparent index where the type does; 32-bit texels
// leave out the key colour likewise. Blend levels mix with what is in the framebuffer (1.0 =
// invisible).
#pragma once

#include "render/draw3d.h"

enum { SOFT_MAX_TEXTURE_EDGE = 1024 };   // the largest texture page edge the drivers report

const D3Driver* SoftDriverZBuffer(void);
const D3Driver* SoftDriverNonZ(void);
const D3Driver* SoftDriverPlaceholder(void);
// Draws a polygon through the "Software Z-Buffer" routine for its type (any type outside
// 0..D3T_COUNT-1 is not drawn).
void SoftDriverPolygon(D3Polygon* polygon);
