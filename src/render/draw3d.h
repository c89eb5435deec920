// Draw3D: the fixed-point 3D pipeline. A view brackets each frame with Draw3DStartDraw and
// Draw3DDisplay; between them it sets the camera, lights and fog, hands over objects (points)
// and triangles that name materials, and Draw3D transforms, classifies, clips, lights, fogs,
// sorts and passes each polygon to the active renderer driver's routine for its type.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/progress.h"
#include "base/res.h"

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
    D3P_MARKER_A = 0x10,     // either marker sends the polygon to the marker list
    D3P_MARKER_B = 0x20,
    D3P_FILTER = 0x80,       // render flag RENDER_FILTER was on when the polygon was made
    D3P_REVERSE = 0x100,     // reverse the ring before drawing
    D3P_STATESORT = 0x400,   // made while the sort mode was D3SORT_STATE
};

// Polygon types: the index into a driver's table of polygon routines. The pipeline produces
// D3T_SHADED, D3T_SECOND_TEXTURE, D3T_TEXTURED, D3T_LINES, D3T_BLENDED, D3T_TRANSPARENT and
// D3T_BLENDTEXTURE; other callers hand the rest to drivers themselves. A type without a name
// has a routine in every table that draws nothing.
enum {
    D3T_DEFAULT = 0,          // a cleared record's type: a flat fill
    D3T_FLAT = 1,             // one colour
    D3T_SHADED = 2,           // lit colours, smooth across the polygon
    D3T_SECOND_TEXTURE = 3,   // a lit texture whose material has a second texture
    D3T_UNLIT_TEXTURE = 5,    // texels as they are
    D3T_LIT_TEXTURE = 6,
    D3T_UNLIT_KEYED = 7,      // texels as they are, transparent texels left out
    D3T_TEXTURED = 8,         // a lit texture
    D3T_OUTLINE = 9,          // the ring's edges, as D3T_LINES
    D3T_LINES = 10,           // the ring's edges: wireframe
    D3T_FLAT_ALT = 13,        // one colour, as D3T_FLAT
    D3T_BLENDED = 16,         // lit colours mixed with what is behind by the blend level
    D3T_TRANSPARENT = 17,     // a lit texture with transparent texels
    D3T_BLENDTEXTURE = 18,    // a lit texture mixed by the blend level, transparent texels left out
    // Screen space: drawn over everything, without depth.
    D3T_SCREEN_FLAT = 19,
    D3T_SCREEN_SMOOTH = 20,
    D3T_SCREEN_BLENDED = 21,
    D3T_SCREEN_OUTLINE = 22,
    D3T_SCREEN_TEXTURE = 23,  // texels as they are, transparent texels left out (2D sprites)
    // Every driver's table has a routine for each of types 0..27 (the hardware driver draws
    // type 27 with a routine of its own); anything outside is dropped before a driver sees it.
    D3T_COUNT = 28,
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
    int32_t count;           // vertices in the ring
};

typedef void (*D3PolyFn)(D3Polygon* polygon);

// A renderer driver: its name, flags and routines. Any routine may be missing (null); the
// pipeline then does without it, as each member says.
struct D3Driver {
    const char* name = nullptr;
    uint32_t flags = 0;                                          // DRV_*
    void (*startFrame)(void) = nullptr;                          // at the end of Draw3DStartDraw
    void (*flush)(void) = nullptr;                               // first thing in Draw3DDisplay
    void (*endFrame)(void) = nullptr;                            // last thing in Draw3DDisplay
    void (*activate)(const D3PolyFn* polygons, int index) = nullptr;   // on being selected
    void (*deactivate)(void) = nullptr;                          // on another being selected
    // Fills the view with a colour (2.14 components); without it Draw3D fills the view itself.
    void (*fillView)(int32_t r, int32_t g, int32_t b) = nullptr;
    const D3PolyFn* polygons = nullptr;                          // D3T_COUNT routines, by type
    void (*depthRange)(float nearZ, float farZ) = nullptr;       // the frame's limits
    // Texture loading: loadTexture and freeTexture one sprite (load flags as the material has
    // them), startTextures and endTextures around loading them all, afterUnload when every
    // one is freed. Without loadTexture the sprites are loaded as resources.
    int (*loadTexture)(ResId id, uint32_t flags) = nullptr;
    void (*freeTexture)(ResId id) = nullptr;
    void (*startTextures)(void) = nullptr;
    void (*endTextures)(ProgressFn progress) = nullptr;
    void (*afterUnload)(void) = nullptr;
    // Whether a texture has transparent texels; without it the sprite's transparent index
    // decides.
    int (*hasTransparentTexels)(ResId id) = nullptr;
    void (*setBackground)(int32_t r, int32_t g, int32_t b) = nullptr;   // 2.14 components
    int32_t maxTextureEdge = 0;                                  // largest texture page edge, texels
};

// Driver flags.
enum {
    DRV_NO_AFTER = 0x2,        // triangles' after routines are not run
    DRV_QUEUE_FIRST = 0x4,     // draw the queued lists before end frame; translucent in its own list
    DRV_SPECULAR = 0x80,       // keep the specular colour words
    DRV_SPECULAR_MASK = 0xC0,  // either bit keeps them
    DRV_BLACK = 0x100,         // the background colour is forced to black
    DRV_PIXEL_CENTRES = 0x200, // a filled polygon covers exactly the pixels whose centres lie inside it
    // What the software drivers carry besides: nothing in the pipeline reads these bits.
    DRV_SOFTWARE_MARKS = 0x19,
};

// Render flags.
enum {
    RENDER_WIREFRAME = 0x1,    // every triangle becomes a D3T_LINES polygon
    RENDER_NO_TEXTURES = 0x8,  // textured triangles are drawn untextured
    RENDER_OVERRIDE = 0x10,    // while on (set now or before), RENDER_OVERRIDDEN cannot be set
    RENDER_OVERRIDDEN = 0x20,
    RENDER_FILTER = 0x400,     // marked in every polygon's flags (D3P_FILTER) for the driver:
                               // a hardware driver filters texels (bilinear) instead of taking the nearest
    RENDER_NO_TEXELS = 0x800,  // rasterisers draw textured polygons in their lit colours
    // Passed to drivers from the views' switches. The OpenGL driver's pages are never
    // mipmapped and its textures are always lit, as the software rasteriser draws them.
    RENDER_TEXTURE_LIGHT = 0x1000,
    RENDER_NO_MIPMAPS = 0x2000,
};

// The driver table's places.
enum {
    DRIVER_PLACEHOLDER = 0,
    DRIVER_SOFTWARE = 1,
    DRIVER_HARDWARE = 2,
};

// ============================================================================================
// Install, drivers, start-up settings
// ============================================================================================

enum {
    D3_MAX_DRIVERS = 4,
    D3_MAX_LIGHTS = 64,
    D3_MAX_TEXT_SPRITES = 4000,
    D3_MATERIALS = 512,          // capacity of the render-material table
    D3_NODES_PER_POLYGON = 4,
    D3_POLYGONS = 2000,          // the editor's polygon records
    D3_NEAR_MIN = 128,           // the near distance is never set below this
    // The nearest depth drawn: the editor's near distance, the nearest depth the Z-buffer
    // accepts, and the depth of polygons drawn with the overlay switch.
    D3_NEAREST_Z = 257,
    D3_VIEW_DISTANCE = 976000,   // the editor's view distance
    D3_DEPTH_LIMIT = 0x40000000, // the far distance never passes this
    D3_SCREEN_LIMIT = 30000,     // single points project within +-this
};

// Creates the pools (vertex nodes = 4 x polygons, polygon records, 64 local lights, 4000 text
// sprites), the render-material table of 512 (which registers the "MAT" converter), the default
// lights, registers the removal and makes driver 0 current. 0, or 1 when memory cannot be had
// (the caller reports "Not enough memory for Draw3DInstall."). A second call while installed
// does nothing and gives 0.
int Draw3DInstall(int polygons);
// Unloads textures when loaded, frees the pools and the render-material table.
void Draw3DRemove(void);
int Draw3DIsInstalled(void);

// Copies the record into the table (indexes 0 to D3_MAX_DRIVERS - 1; any other is fatal).
void Draw3DRegisterDriver(int index, const D3Driver* driver);
// Deactivates the current driver, makes this one current and activates it.
void Draw3DSelectDriver(int index);
int Draw3DCurrentDriver(void);
const D3Driver* Draw3DDriver(void);

// The editor's start-up settings, called once after Draw3DInstall: the perspective lens from
// the screen size (focal length half the screen width, square pixels), the near distance
// (raised to at least D3_NEAR_MIN), the view distance (the far limit of every frame is this
// + 128, at most D3_DEPTH_LIMIT) and the sort mode.
// The editor passes (screen width, screen height, D3_NEAREST_Z, D3_VIEW_DISTANCE, D3SORT_NONE).
void Draw3DSetup(int screenWidth, int screenHeight, int32_t nearZ, int32_t distance, int sortMode);
// With checks on (the editor's debug mode), a frame started twice or displayed without a
// start is fatal ("Draw3DStartDraw/Draw3DDisplay mis-match").
void Draw3DCheckFrames(int on);
// Whether those checks are on (drivers also report failed device calls only then).
int Draw3DChecking(void);
// The editor's defaults: the default ambient and distant light, translucency off, render
// flags 0.
void Draw3DDefaults(void);
// Lighting is intensity lighting (one level per vertex, for an 8-bit display's palette) or
// colour lighting (red, green and blue). Each frame start chooses by the display unless a mode
// is set here; D3LIGHT_BY_DISPLAY at install.
enum { D3LIGHT_BY_DISPLAY = 0, D3LIGHT_INTENSITY = 1, D3LIGHT_COLOUR = 2 };
void Draw3DSetLightingMode(int mode);

// ============================================================================================
// Frames
// ============================================================================================

// Opens a frame over a viewport (screen pixels): chooses intensity or colour lighting (by
// the display, intensity when it is 8-bit, unless a lighting mode is set), takes the far
// limit from the view distance, hands the depth range to the driver, starts the driver's
// frame and empties the polygon records, the node pool, the local lights, the sort trees and
// the user plane.
// A second start without a display is fatal "Draw3DStartDraw/Draw3DDisplay mis-match" under
// /debug, accepted otherwise.
void Draw3DStartDraw(int x, int y, int width, int height);
// Draws what was queued and closes the frame; a display without a start is fatal under
// /debug. Logs the vertex nodes that were not given back.
void Draw3DDisplay(void);
int Draw3DFrameOpen(void);
uint32_t Draw3DFrameCount(void);
// Fills the viewport with a palette colour (the low 8 bits of colour): through the driver's
// fill when it has one, else straight into the current drawing target, inside its clip
// rectangle.
void Draw3DFillView(int colour);
// The driver's background colour, 2.14 components; black when the driver asks.
void Draw3DSetBackground(int32_t r, int32_t g, int32_t b);

// ============================================================================================
// Camera and views
// ============================================================================================

// Camera space: x right, y up, z away from the eye. The orientation's row i is camera axis i
// in world space (as the slots keep it), so a world point P lands at M (P - position).
// Moves the distant light, the fog and the user plane into the new camera space.
void Draw3DSetCamera(const int32_t position[3], const int16_t orientation[9]);
void Draw3DWorldToCamera(const int32_t world[3], int32_t out[3]);
// Camera orientation times an object's world orientation: what Draw3DBeginObject takes.
void Draw3DRelativeOrientation(const int16_t world[9], int16_t out[9]);

// Perspective: planes = left (x, z), right (x, z), top (y, z), bottom (y, z) normals in 2.14;
// a point is outside a plane when normal . point < 0. Screen = (x / z) scale + centre.
void Draw3DSetPerspective(const int16_t planes[8], float centreX, float centreY, float scaleX, float scaleY);
// The perspective of a viewport with the start-up lens (y up on screen).
void Draw3DLensPerspective(int x, int y, int width, int height);
// That lens's focal length in pixels (what a thing one unit wide spans at distance 1).
float Draw3DFocal(void);
// Orthographic: camera-space bounds and pixels per unit; the screen centre is the viewport's.
void Draw3DSetOrthographic(float left, float right, float bottom, float top, float scale);
// The orthographic view of a width x height viewport at zoom world units per pixel.
void Draw3DLensOrthographic(int width, int height, float zoom);
int Draw3DIsPerspective(void);
// The screen point the camera's axis goes through.
void Draw3DViewCentre(float* x, float* y);

void Draw3DSetNear(float nearZ);   // raised to at least D3_NEAR_MIN
void Draw3DSetFar(float farZ);     // for the open frame; the next start takes the view distance
void Draw3DSetDistance(int32_t distance);
float Draw3DNear(void);
float Draw3DFar(void);

// The seventh clip plane, through a world point; its normal is +z turned about x, then y, then
// z by the three angles. Points on the normal's side are kept. Cleared at every frame start.
void Draw3DSetUserPlane(const int32_t point[3], int16_t ax, int16_t ay, int16_t az);
void Draw3DClearUserPlane(void);

// ============================================================================================
// Lights and fog
// ============================================================================================

enum { D3L_POINT = 0, D3L_SPOT = 1, D3L_GLOW = 2 };

// 2.14 colours; each also keeps its largest component for intensity lighting.
void Draw3DSetAmbient(int32_t r, int32_t g, int32_t b);
// Direction in world space, the way the light travels (2.14 unit vector).
void Draw3DSetDistantLight(const int16_t direction[3], int32_t r, int32_t g, int32_t b);
// A point light (world position, radius in world units). 0 added; 1 refused, when its sphere
// of twice the radius is out of view or D3_MAX_LIGHTS lights exist this frame.
int Draw3DAddLocalLight(const int32_t position[3], int32_t radius, int32_t r, int32_t g, int32_t b);
// Any type: spot lights also take a world direction (2.14) and a cut-off cosine (2.14);
// glow lights (D3L_GLOW) add to the specular colour instead of the diffuse.
int Draw3DAddLight(int type, const int32_t position[3], int32_t radius, const int16_t direction[3], int32_t cutoff,
                   int32_t r, int32_t g, int32_t b);
int Draw3DLightCount(void);
// The cosine below which no specular light shows: fixed at install as the smallest value
// whose seventh power survives 2.14 arithmetic.
float Draw3DSpecularThreshold(void);

// Fog from a world origin along a world direction (2.14): levels (2.14) go from near at the
// origin to far at distance units along it, into each vertex's blend level.
void Draw3DSetFog(const int32_t origin[3], const int16_t direction[3], int32_t nearValue, int32_t farValue,
                  int32_t distance);
void Draw3DFogOff(void);
void Draw3DAllowFog(int on);

// ============================================================================================
// Switches
// ============================================================================================

enum {
    D3SORT_RESERVED = 0,
    D3SORT_FIRST_DEPTH = 1,   // by the depth of the first vertex, far to near
    D3SORT_AVERAGE_DEPTH = 2, // by the average vertex depth, far to near
    D3SORT_STATE = 3,         // by (polygon flags << 16) | texture, for hardware drivers
    D3SORT_NONE = 4,          // each polygon goes to the driver at once
};
void Draw3DSetSortMode(int mode);   // values outside 0-4 are ignored
int Draw3DSortMode(void);

// RENDER_OVERRIDDEN is dropped when RENDER_OVERRIDE is set in the new or the old value.
void Draw3DSetRenderFlags(uint32_t flags);
uint32_t Draw3DRenderFlags(void);
// Whether rasterisers should draw texels (RENDER_NO_TEXELS clear).
int Draw3DTexturesWanted(void);
// Every triangle translucent at level 4096.
void Draw3DSetTranslucent(int on);
// Polygons queued while on are drawn at the nearest depth (over everything else).
void Draw3DSetOverlay(int on);
// Multiplies lit colours by three 2.14 factors (colour lighting and point-list polygons).
void Draw3DSetColourScale(int on, int32_t r, int32_t g, int32_t b);

// The view's display flags for the frame (the "Hidden" bit 0x20 removes back faces of
// shapes); set by the view windows, read by the shape drawing.
enum { D3V_WIREFRAME = 0x1, D3V_HIDDEN = 0x20 };
void Draw3DSetDisplayFlags(uint32_t flags);
uint32_t Draw3DDisplayFlags(void);

// ============================================================================================
// Objects and polygons
// ============================================================================================

// Starts an object of n points: camPos is its origin in camera space, orientation its
// camera-relative rotation (2.14; camera point = M p + camPos), scale 2.14 (16384 = 1.0),
// radius its extent for the local-light test. The point pool grows when n is the most ever
// ("AllocPoints - out of mem" is fatal when it cannot).
void Draw3DBeginObject(const int32_t camPos[3], const int16_t orientation[9], int32_t scale, int32_t radius, int n);
// Transforms and classifies point i of the object (object-space coordinates).
void Draw3DSetPoint(int i, float x, float y, float z);
// Begin, then every point from an array of X, Y, Z.
void Draw3DObject(const int32_t camPos[3], const int16_t orientation[9], int32_t scale, int32_t radius, int n,
                  const int32_t* points);
void Draw3DObjectF(const int32_t camPos[3], const int16_t orientation[9], int32_t scale, int32_t radius, int n,
                   const float* points);
int Draw3DPointCount(void);
// Outcode of a point of the current object (OUT_*; 0 for an index out of range).
uint32_t Draw3DPointOutcode(int i);
// Camera-space position of a point; 0, or 1 for an index out of range.
int Draw3DPointCamera(int i, float out[3]);
// Screen position of a point (projected when needed); 0, or 1 when it lies nearer than the
// near plane or the index is out of range.
int Draw3DPointScreen(int i, float* sx, float* sy);
// A camera-space point to whole screen pixels: 1 when nearer than the near plane or further
// than D3_SCREEN_LIMIT from the origin on screen, else 0.
int Draw3DCameraToScreen(const float p[3], int* sx, int* sy);
// A world point through the current camera and lens: its camera-space position in view, and
// 1 with its screen pixel, or 0 when it cannot be shown (as Draw3DCameraToScreen refuses).
int Draw3DProjectPoint(const int32_t world[3], int32_t view[3], int32_t* sx, int32_t* sy);
// 1 when a face with this object-space normal (2.14) turns towards the eye at point i, or
// has no normal at all.
int Draw3DFacing(const int16_t normal[3], int point);
// 1 when a sphere (camera-space centre, radius) can be in view.
int Draw3DSphereVisible(const float centre[3], float radius);
// 1 when a box (minimum X, Y, Z, maximum X, Y, Z in object space) under the object transform
// (camera-space origin and camera-relative orientation) can be in view.
int Draw3DBoxVisible(const int32_t camPos[3], const int16_t orientation[9], const int32_t box[6]);
// 1 when the triangles of anything inside such a box would cover no pixel: the box lies in
// front of the eye and no pixel row's centre falls within its height on screen, the driver
// fills only pixels whose centres a polygon covers (DRV_PIXEL_CENTRES) and nothing is drawn as
// wireframe. 0 whenever that cannot be sure, and always with the fast paths off.
int Draw3DBoxDrawsNothing(const int32_t camPos[3], const int16_t orientation[9], const int32_t box[6]);
// The short cuts that give the same picture for less work (Draw3DMesh's shared points, boxes
// that draw nothing): on from install; off, every triangle takes the plain path, so a test can
// compare the two pictures.
void Draw3DSetFastPaths(int on);

// Triangle flags.
enum {
    D3TR_TEXTURED = 0x1,
    D3TR_SMOOTH = 0x2,       // each vertex lit with its own normal
    D3TR_LEVEL_COLOUR = 0x10, // colour lighting: each vertex's colour times its level
    D3TR_LEVEL_BLEND = 0x20,  // the levels are per-vertex blend levels
    D3TR_UV_REF = 0x400,      // u, v given by reference
};

// A triangle of the current object.
struct D3Triangle {
    int32_t point[3];        // point indices of the current object
    int32_t level[3];        // 2.14
    int32_t material;        // IntMat index
    uint32_t flags;          // D3TR_*
    float u[3], v[3];        // texture coordinates, 1.0 = the texture's size
    const float* uvRef[3];   // with D3TR_UV_REF: a U, V pair per vertex
    int16_t normal[3];       // face normal in object space, 2.14
    float vnormal[3][3];     // D3TR_SMOOTH: per-vertex normals in object space
    void (*after)(D3Triangle* t);   // run after a successful standard draw (unless DRV_NO_AFTER)
    void* user;              // for the caller, its material hooks and its after routine
};

// Classifies, lights, fogs, clips and queues (or draws) a triangle; a material with a draw
// hook replaces all of it (the hook may call here for the standard path). 1 when a polygon
// went on, 0 when nothing did (out of view, clipped away, or out of records or nodes).
int Draw3DTriangle(D3Triangle* t);
// count triangles of the current object in one material (three point indices each), every
// point with its U, V pair in uv and, with D3TR_SMOOTH, its object-space normal in vnormals
// (X, Y, Z): the polygons of a Draw3DTriangle per triangle with those values and no levels,
// but each point is transformed, lit and fogged once however many triangles share it. A
// material with a draw hook gets its triangles one by one, without a face normal. The number
// of polygons that went on.
int Draw3DMesh(int material, uint32_t flags, int count, const int32_t* triangles, const float* uv,
               const float* vnormals);
// A polygon over n points of the current object (the world display's form): a blended
// texture (type 18), one colour (2.14, scaled by the colour scale) and one level (2.14) for
// every vertex, u, v per vertex (pairs). byReference marks a texture handed by reference.
// Nothing is drawn when the level is above 15360. 1 when a polygon went on.
int Draw3DPointPolygon(int n, const int32_t* points, const float* uv, ResId texture, int byReference, int32_t r,
                       int32_t g, int32_t b, int32_t level);
// A line between two points of the current object in one colour (2.14 components), clipped
// as polygons are and drawn as wireframe edges are: without a depth of its own, so that what
// is drawn after it in the frame covers it. 1 when it went on.
int Draw3DPointLine(int a, int b, int32_t r, int32_t g, int32_t blue);

// ============================================================================================
// Textures and text sprites
// ============================================================================================

// Loads the text sprites and every material's textures through the driver, reporting progress
// (0 to 8192) when a routine is given, then runs the material change handlers. Loading again
// first unloads. Whether each texture has transparent texels is decided here, once, and kept
// until the textures are next loaded or unloaded.
void Draw3DLoadTextures(ProgressFn progress);
// Frees what the driver loaded and the sprites' data (named sprites only: they can be read
// again; sprites made in memory are kept), then tells the driver.
void Draw3DUnloadTextures(void);
int Draw3DTexturesLoaded(void);
// Sprites that must be in texture memory besides material textures. 0 added (or removed);
// 1 when already there (not there), or the list is full.
int Draw3DAddTextSprite(ResId id, uint32_t flags);
int Draw3DRemoveTextSprite(ResId id);
int Draw3DTextSpriteCount(void);

// ============================================================================================
// Statistics and pools
// ============================================================================================

struct GlDrvStats {
    int triangles;   // asked for this frame
    int polygons;    // handed to the driver
    int clipped;     // that needed clipping
    int dropped;     // lost for want of records or nodes
};
const GlDrvStats* Draw3DStats(void);
int Draw3DNodeCapacity(void);
int Draw3DFreeNodes(void);
