// The hardware renderer driver: Draw3D's polygons drawn by OpenGL (a 3.3 core context from the
// platform, without a surface) into an offscreen colour + depth framebuffer the size of the
// drawing target's buffer. The frame's first polygon takes the view region of the drawing
// target into it (so that blended polygons mix with what the 2D layer drew there); the frame's
// end writes back only the pixels a polygon covered, packed by the same colour rules as the
// software rasteriser, so the toolkit's windows around and over the view stay as they were.
//
// Depth follows the software rule (2^39 / z, larger is nearer) over its 32-bit range: window
// depth = 256 / z, clamped per pixel; at equal depth the later polygon shows, as in the
// software Z-buffer; a chained polygon sits a little nearer; screen-space types draw without
// depth. Colours, levels and texture coordinates are linear over the screen, as the software
// rasteriser has them, from one plane per polygon as its spans take them. Texture pages are
// the layers of one array texture; a sprite's texels are read inside its block only, wrapping
// there, with nearest texels unless the polygon asks for filtering (RENDER_FILTER).
#pragma once
#include <cstdint>

#include "render/draw3d.h"

// Opens the GL context and makes the driver ready: 1, or 0 with the reason logged and kept
// for GlDrvActivateError (no GL, no 3.3 core context, shaders that do not build, a framebuffer
// that cannot be made, an 8-bit display, no hardware device when one was asked for).
// hardware = 1 refuses a GL that rasterises on the processor (Mesa's llvmpipe, softpipe);
// 0 takes the device whatever its kind. textures = 0 turns texture loading off.
// Registers GlDrvDeactivate with RegisterExit once.
int D3Activate(int hardware, int textures);
// Releases the pages, the GL objects and the context. Harmless when not active.
void GlDrvDeactivate(void);
int GlDrvIsActive(void);
const char* GlDrvActivateError(void);
// The record to register as DRIVER_HARDWARE ("OpenGL").
const D3Driver* GlDrvHardwareDriver(void);

// The render-state cache: each GL state the driver sets keeps its last value and whether that
// is known; setting a known, equal value does not reach GL.
enum {
    GLDRV_RS_DEPTH_TEST,    // 0 off, 1 on
    GLDRV_RS_DEPTH_FUNC,    // D3DEPTH_*
    GLDRV_RS_DEPTH_WRITE,   // 0 off, 1 on
    GLDRV_RS_BLEND,         // 0 off, 1 on (source by its alpha over what is there)
    GLDRV_RS_PROGRAM,       // the fragment rule: plain colours, nearest texels, filtered texels
    GLDRV_RS_SCISSOR,       // 0 off, 1 on
    GLDRV_RS_COUNT,
};
enum { GLDRV_DEPTH_GREATER = 0, GLDRV_DEPTH_GEQUAL = 1 };
void GlDrvSetRenderState(int state, uint32_t value);
// Forgets every cached value (the next set of each reaches GL).
void GlDrvInvalidateStates(void);

// Counts since activation.
struct GlDrvCounters {
    uint32_t stateCalls;     // render-state changes that reached GL
    uint32_t draws;          // draw calls (batches)
    uint32_t triangles, lines;
    uint32_t uploads;        // view regions taken into the offscreen framebuffer
    uint32_t readbacks;      // view regions written back
    uint32_t errors;         // GL errors seen (reported while checks are on)
    // Times of the last frame: waiting for GL to finish drawing, reading back and packing,
    // taking the view in.
    uint64_t finishNs, readbackNs, uploadNs;
};
const GlDrvCounters* GlDrvStats(void);
// Waits for GL to finish what it was given (benchmarks stop their clocks after it).
void GlDrvFinish(void);
