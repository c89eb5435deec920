// Draw3D: the fixed-point 3D pipeline. A view brackets each frame with Draw3DStartDraw and
// Draw3DDisplay; between them it sets the camera, lights and fog, hands over objects (points)
// and triangles that name materials, and Draw3D transforms, classifies, clips, lights, fogs,
// sorts and passes each polygon to the active renderer driver's routine for its type.
#pragma once
#include <cstddef>
#include <cstdint>

#include "kernel/app.h"
#include "kernel/res/res.h"

// ============================================================================================
// What the pipeline hands to drivers
// ============================================================================================

// Outcode bits of points and vertices.
enum {
    OUT_LEFT = 0x1,
    OUT_RIGHT = 0x2,
    OUT_TOP = 0x4,
    OUT_BOTTOM = 0x8,
    OUT_NEAR = 0x10,
    OUT_FAR = 0x20,
    OUT_USER = 0x40,
    OUT_CLASSIFIED = 0x80,
    OUT_PROJECTED = 0x100,
    OUT_CLIP_MASK = 0x7F,
};

// Polygon flags.
enum {
    D3P_TEXTURED = 0x1,
    D3P_SHADED = 0x2,
    D3P_BLENDED = 0x4,       // translucent or fogged
    D3P_LIST_A = 0x10,
    D3P_LIST_B = 0x20,
    D3P_RENDER400 = 0x80,
    D3P_REVERSE = 0x100,     // reverse the ring before drawing
    D3P_FOGDIST = 0x200,
    D3P_STATESORT = 0x400,
};

// Polygon types the pipeline produces (the driver's table has 27 entries, types 0-26).
enum {
    D3T_SHADED = 2,
    D3T_TEXTURE2 = 3,
    D3T_TEXTURED = 8,
    D3T_LINES = 10,
    D3T_BLENDED = 16,
    D3T_TRANSPARENT = 17,
    D3T_BLENDTEXTURE = 18,
    D3T_COUNT = 27,
};

// A vertex of a polygon: one node of the polygon's circular ring. Colours, specular colours and
// the blend level are 16.16 (a 2.14 value shifted left by 16); in intensity lighting only the
// green word carries the intensity. u and v are texture coordinates with 1.0 = the texture's
// size (mapping values times 2^-14).
struct D3Vertex {
    int32_t level;
    int32_t r, g, b;
    int32_t sr, sg, sb;
    float x, y, z;           // camera space
    float w;                 // 1 / z
    float sx, sy;            // screen
    uint32_t outcode;
    float userDist;
    float u, v;
    int32_t work[6];         // the rasteriser's own
    D3Vertex* next;
    D3Vertex* prev;
};

// A polygon handed to a driver routine.
struct D3Polygon {
    D3Polygon* child;        // sort tree child, or the chain of coplanar polygons
    D3Vertex* ring;          // any vertex of the ring; next links go one way round
    D3Polygon* right;
    D3Polygon* left;
    int32_t shade;           // the global shading switch when queued
    int32_t type;
    ResId texture;           // 0 = none
    uint16_t fogTex;
    uint32_t flags;          // D3P_*
    int32_t key;             // sort key
    int32_t chained;         // drawn over the polygon it is chained to, at equal depth
    int32_t material;        // the IntMat index the polygon came from
};

typedef void (*D3PolyFn)(D3Polygon* polygon);

// The renderer driver record: a table of routines, registered by index; one is active.
struct D3Driver {
    const char* name;                                      // slot 0
    uint32_t flags;                                        // slot 1
    void (*BeginFrame)(void);                              // 2
    void (*Reserved3)(void);                               // 3
    void (*Flush)(void);                                   // 4
    void (*EndFrame)(void);                                // 5
    void (*Activate)(D3PolyFn* table, int index);          // 6
    void (*Deactivate)(void);                              // 7
    void (*FillView)(int32_t r, int32_t g, int32_t b);     // 8, 2.14 components
    D3PolyFn* polygons;                                    // 9, D3T_COUNT entries
    void (*DepthParams)(float nearZ, float farZ);          // 10
    int (*LoadTexture)(ResId id, uint32_t flags);          // 11
    void (*FreeTexture)(ResId id);                         // 12
    void (*BeginTextures)(void);                           // 13
    void (*EndTextures)(ProgressFn progress);              // 14
    void (*AfterUnload)(void);                             // 15
    int (*HasTransparent)(ResId id);                       // 16
    void* driver17;                                        // 17-19: driver-specific
    void* driver18;
    void* driver19;
    void (*SetBackground)(int32_t r, int32_t g, int32_t b);  // 20, 2.14 components
    int32_t maxTexture;                                    // 21
};

// Driver flags.
enum {
    D3D_QUEUE_FIRST = 0x4,     // draw the queued lists before end frame; translucent in its own list
    D3D_SPECULAR = 0xC0,       // keep the specular colour words
    D3D_BLACK = 0x100,         // the background colour is forced to black
};

// Render flags.
enum {
    RENDER_WIREFRAME = 0x1,
    RENDER_NO_TEXTURES = 0x8,
    RENDER_SHADOW10 = 0x10,
    RENDER_SHADOW20 = 0x20,
    RENDER_VIEW40 = 0x40,
    RENDER_TEXTURES_WANTED = 0x800,
};

enum {
    DRIVER_PLACEHOLDER = 0,
    DRIVER_SOFTWARE = 1,
    DRIVER_DIRECT3D = 2,
};
