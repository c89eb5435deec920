// Draw3D: camera and projections, object points, triangle classification, Sutherland-Hodgman
// clipping, lighting, fog, the sort trees and the driver calls, texture loading.
#include "render/draw3d.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "base/fatal.h"
#include "base/log.h"
#include "base/maths.h"
#include "base/progress.h"
#include "materials/intmat.h"
#include "platform/sprite.h"
#include "platform/video.h"

// A point of the current object, transformed once and projected when a polygon first uses it.
struct D3Point {
    float x, y, z;
    float sx, sy, w;
    uint32_t out;
    float user;
};

struct D3Light {
    int type;
    float pos[3];       // camera space
    float radius;
    float dir[3];       // spot lights: the way the light shines, camera space
    float cutoff;
    int32_t rgb[3];
    int32_t max;
};

struct D3TextSprite {
    ResId id;
    uint32_t flags;
};

enum {
    OUT_DROP = 0x80000000u,   // a vertex the current clip plane removes
    FOG_LEVEL_MAX = 32767,    // levels are shifted left by 16 into the vertex words
};

static const float ONE = 16384.0f;   // 1.0 in 2.14, for float arithmetic
static const int16_t identity[9] = {FIX_ONE, 0, 0, 0, FIX_ONE, 0, 0, 0, FIX_ONE};

static struct {
    int installed;
    D3Driver drivers[D3_MAX_DRIVERS];
    int driver;

    // Pools, all made at install.
    D3Vertex* nodes;
    int nodeCount;
    D3Vertex* freeNodes;     // singly linked through next
    int freeCount;
    D3Polygon* polys;
    int polyCount;
    int polyUsed;
    D3Polygon** stack;       // in-order walk of a sort tree
    D3Vertex** ringScratch;  // the nodes of a polygon being made, in ring order
    D3Point* points;
    int pointRoom;
    int pointCount;
    D3Light* lights;
    int lightCount;
    D3TextSprite* sprites;
    int spriteCount;

    // Frame.
    int frameOpen;
    int checkFrames;           // unmatched frame starts and displays are fatal
    int colour;              // colour lighting in this frame
    int lightingMode;        // D3LIGHT_*
    int vx, vy, vw, vh;
    float clipX0, clipX1, clipY0, clipY1;
    uint32_t frameCount;
    GlDrvStats stats;

    // Camera and projection.
    int32_t camPos[3];
    int16_t camRot[9];
    float cam[9];
    int perspective;
    float planes[8];         // lx, lz, rx, rz, ty, tz, by, bz
    float cx, cy, scaleX, scaleY;
    float left, right, bottom, top, orthoScale;
    float focal;
    float nearZ, farZ;
    int32_t distance;

    // User clip plane.
    int userOn;
    int32_t userPoint[3];
    float userWorld[3];
    float userN[3];
    float userD;

    // Lighting.
    int32_t ambient[3], amax;
    int16_t distantWorld[3];
    float distantDir[3];
    int32_t distant[3], dmax;
    float threshold;

    // Fog.
    int fogOn, fogAllowed;
    int32_t fogOriginWorld[3];
    int16_t fogDirWorld[3];
    float fogOrigin[3], fogDir[3];
    int32_t fogNear, fogFar, fogDistance;

    // Switches.
    int sortMode;
    uint32_t renderFlags;
    uint32_t displayFlags;
    int translucent;
    int overlay;
    int scaleOn;
    int32_t colourScale[3];

    // Current object.
    float obj[9];            // orientation times scale
    float objRot[9];         // orientation alone, for normals
    float objPos[3];
    float objRadius;
    int touching[D3_MAX_LIGHTS];
    int touchCount;

    // Queues.
    D3Polygon* opaque;
    D3Polygon* translucentTree;
    D3Polygon *lines, *linesTail;
    D3Polygon *markers, *markersTail;

    int inHook;
    int fastPaths;           // Draw3DMesh and Draw3DBoxDrawsNothing take their short cuts
    int texturesLoaded;
    // One bit per texture id each: whether its transparency is decided, and the answer.
    uint8_t transparencyKnown[65536 / 8];
    uint8_t transparent[65536 / 8];
} draw3d;

static D3Driver* Drv(void) { return &draw3d.drivers[draw3d.driver]; }

static int32_t Clamp32(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

// Float to integer, truncating, held inside the 32-bit range.
static int32_t Trunc32(double v)
{
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return (int32_t)v;
}

static float Dot(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

static void MulMat(const float m[9], const float v[3], float out[3])
{
    for (int i = 0; i < 3; i++) out[i] = m[3 * i] * v[0] + m[3 * i + 1] * v[1] + m[3 * i + 2] * v[2];
}

// ============================================================================================
// Install and drivers
// ============================================================================================

static void FreePools(void)
{
    if (draw3d.nodes) ResFreeMem(draw3d.nodes);
    if (draw3d.polys) ResFreeMem(draw3d.polys);
    if (draw3d.stack) ResFreeMem(draw3d.stack);
    if (draw3d.ringScratch) ResFreeMem(draw3d.ringScratch);
    if (draw3d.points) ResFreeMem(draw3d.points);
    if (draw3d.lights) ResFreeMem(draw3d.lights);
    if (draw3d.sprites) ResFreeMem(draw3d.sprites);
    draw3d.nodes = nullptr;
    draw3d.polys = nullptr;
    draw3d.stack = nullptr;
    draw3d.ringScratch = nullptr;
    draw3d.points = nullptr;
    draw3d.lights = nullptr;
    draw3d.sprites = nullptr;
    draw3d.pointRoom = draw3d.pointCount = 0;
}

static void ResetNodes(void)
{
    draw3d.freeNodes = nullptr;
    for (int i = draw3d.nodeCount - 1; i >= 0; i--) {
        draw3d.nodes[i].next = draw3d.freeNodes;
        draw3d.freeNodes = &draw3d.nodes[i];
    }
    draw3d.freeCount = draw3d.nodeCount;
}

static void DefaultLights(void)
{
    Draw3DSetAmbient(4096, 4096, 4096);
    // From above, left and in front of the viewer's usual place.
    const int16_t dir[3] = {6688, -13377, 6688};
    Draw3DSetDistantLight(dir, 12288, 12288, 12288);
}

// The smallest cosine whose seventh power, taken as six successive 2.14 products, is not 0.
static float SpecularThreshold(void)
{
    for (int32_t v = 0; v < FIX_ONE; v++) {
        int32_t x = v;
        for (int i = 0; i < 6; i++) x = FixMul(x, v);
        if (x) return (float)v / ONE;
    }
    return 1.0f;
}

static void UnloadIfLoaded(void)
{
    if (draw3d.texturesLoaded) Draw3DUnloadTextures();
}

int Draw3DInstall(int polygons)
{
    if (draw3d.installed) return 0;
    draw3d = decltype(draw3d){};
    draw3d.fastPaths = 1;
    if (polygons < 1) polygons = 1;
    draw3d.polyCount = polygons;
    draw3d.nodeCount = D3_NODES_PER_POLYGON * polygons;
    draw3d.nodes = (D3Vertex*)ResAllocMem(sizeof(D3Vertex) * (size_t)(draw3d.nodeCount + 1));
    draw3d.polys = (D3Polygon*)ResAllocMem(sizeof(D3Polygon) * (size_t)polygons);
    draw3d.stack = (D3Polygon**)ResAllocMem(sizeof(D3Polygon*) * (size_t)polygons);
    draw3d.ringScratch = (D3Vertex**)ResAllocMem(sizeof(D3Vertex*) * (size_t)draw3d.nodeCount);
    draw3d.lights = (D3Light*)ResAllocMem(sizeof(D3Light) * D3_MAX_LIGHTS);
    draw3d.sprites = (D3TextSprite*)ResAllocMem(sizeof(D3TextSprite) * D3_MAX_TEXT_SPRITES);
    if (!draw3d.nodes || !draw3d.polys || !draw3d.stack || !draw3d.ringScratch || !draw3d.lights || !draw3d.sprites || IntMatCreate(D3_MATERIALS) != 0) {
        FreePools();
        return 1;
    }
    memset(draw3d.nodes, 0, sizeof(D3Vertex) * (size_t)(draw3d.nodeCount + 1));
    ResetNodes();
    IntMatSetUnloadFn(UnloadIfLoaded);
    RegisterExit(Draw3DRemove);

    memcpy(draw3d.camRot, identity, sizeof identity);
    for (int i = 0; i < 9; i++) draw3d.cam[i] = draw3d.camRot[i] / ONE;
    draw3d.focal = 400.0f;
    draw3d.nearZ = (float)D3_NEAREST_Z;
    draw3d.distance = D3_VIEW_DISTANCE;
    draw3d.farZ = (float)(draw3d.distance + 128);
    draw3d.sortMode = D3SORT_NONE;
    draw3d.fogAllowed = 1;
    draw3d.displayFlags = D3V_HIDDEN;
    draw3d.threshold = SpecularThreshold();
    Draw3DLensPerspective(0, 0, 640, 400);
    DefaultLights();
    draw3d.driver = 0;
    draw3d.installed = 1;
    return 0;
}

void Draw3DRemove(void)
{
    if (!draw3d.installed) return;
    UnloadIfLoaded();
    IntMatSetUnloadFn(nullptr);
    IntMatDestroy();
    FreePools();
    draw3d.installed = 0;
    draw3d.frameOpen = 0;
}

int Draw3DIsInstalled(void) { return draw3d.installed; }

void Draw3DRegisterDriver(int index, const D3Driver* driver)
{
    if (index < 0 || index >= D3_MAX_DRIVERS || !driver) FatalError("Draw3DRegisterDriver - invalid driver %d", index);
    draw3d.drivers[index] = *driver;
}

void Draw3DSelectDriver(int index)
{
    if (index < 0 || index >= D3_MAX_DRIVERS) FatalError("Draw3DSelectDriver - invalid driver %d", index);
    if (Drv()->deactivate) Drv()->deactivate();
    draw3d.driver = index;
    if (Drv()->activate) Drv()->activate(Drv()->polygons, index);
}

int Draw3DCurrentDriver(void) { return draw3d.driver; }
const D3Driver* Draw3DDriver(void) { return Drv(); }

void Draw3DSetup(int screenWidth, int screenHeight, int32_t nearZ, int32_t distance, int sortMode)
{
    // The editor's windows show square pixels: one focal length serves both axes.
    if (screenWidth > 0 && screenHeight > 0) draw3d.focal = screenWidth / 2.0f;
    Draw3DSetNear((float)nearZ);
    Draw3DSetDistance(distance);
    Draw3DSetSortMode(sortMode);
}

void Draw3DCheckFrames(int on) { draw3d.checkFrames = on != 0; }
int Draw3DChecking(void) { return draw3d.checkFrames; }

void Draw3DSetLightingMode(int mode)
{
    if (mode >= D3LIGHT_BY_DISPLAY && mode <= D3LIGHT_COLOUR) draw3d.lightingMode = mode;
}

void Draw3DDefaults(void)
{
    DefaultLights();
    draw3d.translucent = 0;
    draw3d.renderFlags = 0;
}

// ============================================================================================
// Frames
// ============================================================================================

void Draw3DStartDraw(int x, int y, int width, int height)
{
    if (!draw3d.installed) FatalError("Draw3DStartDraw - Draw3D is not installed");
    if (draw3d.frameOpen && draw3d.checkFrames) FatalError("Draw3DStartDraw/Draw3DDisplay mis-match");
    draw3d.frameOpen = 1;
    draw3d.colour = draw3d.lightingMode == D3LIGHT_BY_DISPLAY ? VideoBitsPerPixel() != 8 : draw3d.lightingMode == D3LIGHT_COLOUR;
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    draw3d.vx = x;
    draw3d.vy = y;
    draw3d.vw = width;
    draw3d.vh = height;
    // Screen positions are pixel edges (a pixel's centre lies at +0.5): the view runs from its
    // first pixel's left edge to its last pixel's right edge, so the last row and column are
    // covered by what reaches the side planes.
    draw3d.clipX0 = (float)x;
    draw3d.clipX1 = (float)(x + width);
    draw3d.clipY0 = (float)y;
    draw3d.clipY1 = (float)(y + height);
    if (!draw3d.perspective) {
        draw3d.cx = x + width / 2.0f;
        draw3d.cy = y + height / 2.0f;
    }
    int64_t limit = (int64_t)draw3d.distance + 128;
    draw3d.farZ = (float)(limit > (int64_t)D3_DEPTH_LIMIT ? (int64_t)D3_DEPTH_LIMIT : limit);
    draw3d.frameCount++;
    if (Drv()->depthRange) Drv()->depthRange(draw3d.nearZ, draw3d.farZ);
    if (Drv()->startFrame) Drv()->startFrame();

    draw3d.polyUsed = 0;
    ResetNodes();
    draw3d.lightCount = 0;
    draw3d.touchCount = 0;
    draw3d.opaque = draw3d.translucentTree = nullptr;
    draw3d.lines = draw3d.linesTail = draw3d.markers = draw3d.markersTail = nullptr;
    draw3d.userOn = 0;
    memset(&draw3d.stats, 0, sizeof draw3d.stats);
}

static void DrawTree(D3Polygon* root);
static void DrawList(D3Polygon* head);

void Draw3DDisplay(void)
{
    if (!draw3d.frameOpen && draw3d.checkFrames) FatalError("Draw3DStartDraw/Draw3DDisplay mis-match");
    draw3d.frameOpen = 0;
    if (!draw3d.installed) return;
    if (Drv()->flush) Drv()->flush();
    DrawList(draw3d.lines);
    DrawList(draw3d.markers);
    // Queued polygons go to the driver before its frame ends: a driver that resolves depth
    // at the end of the frame would otherwise lose them.
    DrawTree(draw3d.opaque);
    DrawTree(draw3d.translucentTree);
    draw3d.opaque = draw3d.translucentTree = nullptr;
    draw3d.lines = draw3d.linesTail = draw3d.markers = draw3d.markersTail = nullptr;
    if (Drv()->endFrame) Drv()->endFrame();
    if (draw3d.freeCount < draw3d.nodeCount)
        LogPrintf(LOG_ERROR, "Error - %d Polygon Points have NOT been released", draw3d.nodeCount - draw3d.freeCount);
}

int Draw3DFrameOpen(void) { return draw3d.frameOpen; }
uint32_t Draw3DFrameCount(void) { return draw3d.frameCount; }

void Draw3DFillView(int colour)
{
    if (Drv()->fillView) {
        uint32_t c = VideoColourTable()[colour & 255];
        Drv()->fillView((int32_t)((c >> 16) & 255) * FIX_ONE / 255, (int32_t)((c >> 8) & 255) * FIX_ONE / 255,
                        (int32_t)(c & 255) * FIX_ONE / 255);
        return;
    }
    // The viewport's part of the clip rectangle, cleared by the video layer with the clip
    // narrowed to it for the while.
    int cx0, cy0, cx1, cy1;
    VideoGetClip(&cx0, &cy0, &cx1, &cy1);
    int x0 = draw3d.vx > cx0 ? draw3d.vx : cx0, y0 = draw3d.vy > cy0 ? draw3d.vy : cy0;
    int x1 = draw3d.vx + draw3d.vw - 1 < cx1 ? draw3d.vx + draw3d.vw - 1 : cx1, y1 = draw3d.vy + draw3d.vh - 1 < cy1 ? draw3d.vy + draw3d.vh - 1 : cy1;
    if (x0 > x1 || y0 > y1) return;
    VideoSetClip(x0, y0, x1, y1);
    VideoClear(colour & 255);
    VideoSetClip(cx0, cy0, cx1, cy1);
}

void Draw3DSetBackground(int32_t r, int32_t g, int32_t b)
{
    if (!Drv()->setBackground) return;
    if (Drv()->flags & DRV_BLACK) r = g = b = 0;
    Drv()->setBackground(r, g, b);
}

// ============================================================================================
// Camera and views
// ============================================================================================

static void WorldToCameraF(const int32_t world[3], float out[3])
{
    double d[3];
    for (int i = 0; i < 3; i++) d[i] = (double)world[i] - (double)draw3d.camPos[i];
    for (int i = 0; i < 3; i++)
        out[i] = (float)(draw3d.cam[3 * i] * d[0] + draw3d.cam[3 * i + 1] * d[1] + draw3d.cam[3 * i + 2] * d[2]);
}

static void DirectionToCamera(const int16_t dir[3], float out[3])
{
    float w[3] = {dir[0] / ONE, dir[1] / ONE, dir[2] / ONE};
    MulMat(draw3d.cam, w, out);
}

static void UpdateUserPlane(void)
{
    float p[3];
    WorldToCameraF(draw3d.userPoint, p);
    MulMat(draw3d.cam, draw3d.userWorld, draw3d.userN);
    draw3d.userD = -Dot(draw3d.userN, p);
}

void Draw3DSetCamera(const int32_t position[3], const int16_t orientation[9])
{
    memcpy(draw3d.camPos, position, sizeof draw3d.camPos);
    memcpy(draw3d.camRot, orientation, sizeof draw3d.camRot);
    for (int i = 0; i < 9; i++) draw3d.cam[i] = orientation[i] / ONE;
    DirectionToCamera(draw3d.distantWorld, draw3d.distantDir);
    WorldToCameraF(draw3d.fogOriginWorld, draw3d.fogOrigin);
    DirectionToCamera(draw3d.fogDirWorld, draw3d.fogDir);
    UpdateUserPlane();
}

void Draw3DWorldToCamera(const int32_t world[3], int32_t out[3])
{
    double d[3];
    for (int i = 0; i < 3; i++) d[i] = (double)world[i] - (double)draw3d.camPos[i];
    for (int i = 0; i < 3; i++)
        out[i] = Trunc32((double)draw3d.cam[3 * i] * d[0] + (double)draw3d.cam[3 * i + 1] * d[1] + (double)draw3d.cam[3 * i + 2] * d[2]);
}

void Draw3DRelativeOrientation(const int16_t world[9], int16_t out[9])
{
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            int64_t sum = 0;
            for (int k = 0; k < 3; k++) sum += (int64_t)draw3d.camRot[3 * i + k] * world[3 * k + j];
            out[3 * i + j] = (int16_t)Clamp32((int32_t)(sum >> FIX_SHIFT), INT16_MIN, INT16_MAX);
        }
}

void Draw3DSetPerspective(const int16_t planes[8], float centreX, float centreY, float scaleX, float scaleY)
{
    draw3d.perspective = 1;
    for (int i = 0; i < 8; i++) draw3d.planes[i] = planes[i] / ONE;
    draw3d.cx = centreX;
    draw3d.cy = centreY;
    draw3d.scaleX = scaleX;
    draw3d.scaleY = scaleY;
}

void Draw3DLensPerspective(int x, int y, int width, int height)
{
    float f = draw3d.focal, hw = width / 2.0f, hh = height / 2.0f;
    // Each side plane passes through the eye and one edge of the viewport.
    float pairs[4][2] = {{f, hw}, {-f, hw}, {-f, hh}, {f, hh}};
    int16_t planes[8];
    for (int i = 0; i < 4; i++) {
        float len = std::sqrt(pairs[i][0] * pairs[i][0] + pairs[i][1] * pairs[i][1]);
        if (len <= 0) len = 1;
        planes[2 * i] = (int16_t)(pairs[i][0] / len * ONE);
        planes[2 * i + 1] = (int16_t)(pairs[i][1] / len * ONE);
    }
    Draw3DSetPerspective(planes, x + hw, y + hh, f, -f);
}

float Draw3DFocal(void) { return draw3d.focal; }

void Draw3DSetOrthographic(float left, float right, float bottom, float top, float scale)
{
    draw3d.perspective = 0;
    draw3d.left = left;
    draw3d.right = right;
    draw3d.bottom = bottom;
    draw3d.top = top;
    draw3d.orthoScale = scale;
    draw3d.cx = draw3d.vx + draw3d.vw / 2.0f;
    draw3d.cy = draw3d.vy + draw3d.vh / 2.0f;
}

void Draw3DLensOrthographic(int width, int height, float zoom)
{
    if (zoom <= 0) zoom = 1;
    float hw = width / 2.0f * zoom, hh = height / 2.0f * zoom;
    Draw3DSetOrthographic(-hw, hw, -hh, hh, 1.0f / zoom);
}

int Draw3DIsPerspective(void) { return draw3d.perspective; }

void Draw3DViewCentre(float* x, float* y)
{
    if (x) *x = draw3d.cx;
    if (y) *y = draw3d.cy;
}

void Draw3DSetNear(float nearZ) { draw3d.nearZ = nearZ < (float)D3_NEAR_MIN ? (float)D3_NEAR_MIN : nearZ; }
void Draw3DSetFar(float farZ) { draw3d.farZ = farZ; }
void Draw3DSetDistance(int32_t distance) { draw3d.distance = distance < 0 ? 0 : distance; }
float Draw3DNear(void) { return draw3d.nearZ; }
float Draw3DFar(void) { return draw3d.farZ; }

void Draw3DSetUserPlane(const int32_t point[3], int16_t ax, int16_t ay, int16_t az)
{
    float sx = FixSin(ax) / ONE, cx = FixCos(ax) / ONE;
    float sy = FixSin(ay) / ONE, cy = FixCos(ay) / ONE;
    float sz = FixSin(az) / ONE, cz = FixCos(az) / ONE;
    // +z about x: (0, -sin, cos); then about y; then about z.
    float x = cx * sy, y = -sx, z = cx * cy;
    draw3d.userWorld[0] = x * cz - y * sz;
    draw3d.userWorld[1] = x * sz + y * cz;
    draw3d.userWorld[2] = z;
    memcpy(draw3d.userPoint, point, sizeof draw3d.userPoint);
    UpdateUserPlane();
    draw3d.userOn = 1;
}

void Draw3DClearUserPlane(void) { draw3d.userOn = 0; }

// ============================================================================================
// Lights and fog settings
// ============================================================================================

static int32_t Max3(int32_t r, int32_t g, int32_t b) { return r > g ? (r > b ? r : b) : (g > b ? g : b); }

void Draw3DSetAmbient(int32_t r, int32_t g, int32_t b)
{
    draw3d.ambient[0] = r;
    draw3d.ambient[1] = g;
    draw3d.ambient[2] = b;
    draw3d.amax = Max3(r, g, b);
}

void Draw3DSetDistantLight(const int16_t direction[3], int32_t r, int32_t g, int32_t b)
{
    memcpy(draw3d.distantWorld, direction, sizeof draw3d.distantWorld);
    DirectionToCamera(direction, draw3d.distantDir);
    draw3d.distant[0] = r;
    draw3d.distant[1] = g;
    draw3d.distant[2] = b;
    draw3d.dmax = Max3(r, g, b);
}

int Draw3DAddLight(int type, const int32_t position[3], int32_t radius, const int16_t direction[3], int32_t cutoff,
                   int32_t r, int32_t g, int32_t b)
{
    if (!draw3d.installed || draw3d.lightCount >= D3_MAX_LIGHTS || radius <= 0) return 1;
    if (type < D3L_POINT || type > D3L_GLOW) return 1;
    float pos[3];
    WorldToCameraF(position, pos);
    if (!Draw3DSphereVisible(pos, 2.0f * (float)radius)) return 1;
    D3Light* l = &draw3d.lights[draw3d.lightCount++];
    memset(l, 0, sizeof *l);
    l->type = type;
    memcpy(l->pos, pos, sizeof pos);
    l->radius = (float)radius;
    if (direction) DirectionToCamera(direction, l->dir);
    l->cutoff = cutoff / ONE;
    l->rgb[0] = r;
    l->rgb[1] = g;
    l->rgb[2] = b;
    l->max = Max3(r, g, b);
    return 0;
}

int Draw3DAddLocalLight(const int32_t position[3], int32_t radius, int32_t r, int32_t g, int32_t b)
{
    return Draw3DAddLight(D3L_POINT, position, radius, nullptr, 0, r, g, b);
}

int Draw3DLightCount(void) { return draw3d.lightCount; }
float Draw3DSpecularThreshold(void) { return draw3d.threshold; }

void Draw3DSetFog(const int32_t origin[3], const int16_t direction[3], int32_t nearValue, int32_t farValue,
                  int32_t distance)
{
    memcpy(draw3d.fogOriginWorld, origin, sizeof draw3d.fogOriginWorld);
    memcpy(draw3d.fogDirWorld, direction, sizeof draw3d.fogDirWorld);
    WorldToCameraF(origin, draw3d.fogOrigin);
    DirectionToCamera(direction, draw3d.fogDir);
    // Levels go into the vertex words shifted left by 16: keep them where that cannot overflow.
    draw3d.fogNear = Clamp32(nearValue, 0, FOG_LEVEL_MAX);
    draw3d.fogFar = Clamp32(farValue, 0, FOG_LEVEL_MAX);
    draw3d.fogDistance = distance;
    draw3d.fogOn = 1;
}

void Draw3DFogOff(void) { draw3d.fogOn = 0; }
void Draw3DAllowFog(int on) { draw3d.fogAllowed = on != 0; }

// ============================================================================================
// Switches
// ============================================================================================

void Draw3DSetSortMode(int mode)
{
    if (mode >= D3SORT_RESERVED && mode <= D3SORT_NONE) draw3d.sortMode = mode;
}

int Draw3DSortMode(void) { return draw3d.sortMode; }

void Draw3DSetRenderFlags(uint32_t flags)
{
    if ((flags | draw3d.renderFlags) & RENDER_OVERRIDE) flags &= ~(uint32_t)RENDER_OVERRIDDEN;
    draw3d.renderFlags = flags;
}

uint32_t Draw3DRenderFlags(void) { return draw3d.renderFlags; }
int Draw3DTexturesWanted(void) { return (draw3d.renderFlags & RENDER_NO_TEXELS) == 0; }
void Draw3DSetTranslucent(int on) { draw3d.translucent = on != 0; }
void Draw3DSetOverlay(int on) { draw3d.overlay = on != 0; }

void Draw3DSetColourScale(int on, int32_t r, int32_t g, int32_t b)
{
    draw3d.scaleOn = on != 0;
    draw3d.colourScale[0] = r;
    draw3d.colourScale[1] = g;
    draw3d.colourScale[2] = b;
}

void Draw3DSetDisplayFlags(uint32_t flags) { draw3d.displayFlags = flags; }
uint32_t Draw3DDisplayFlags(void) { return draw3d.displayFlags; }

// ============================================================================================
// Points: classification and projection
// ============================================================================================

static uint32_t Classify(float x, float y, float z, float user)
{
    uint32_t o = OUT_CLASSIFIED;
    if (z < draw3d.nearZ)
        o |= OUT_NEAR;
    else if (z > draw3d.farZ)
        o |= OUT_FAR;
    const float* p = draw3d.planes;
    if (draw3d.perspective) {
        if (p[0] * x + p[1] * z < 0)
            o |= OUT_LEFT;
        else if (p[2] * x + p[3] * z < 0)
            o |= OUT_RIGHT;
        if (p[4] * y + p[5] * z < 0)
            o |= OUT_TOP;
        else if (p[6] * y + p[7] * z < 0)
            o |= OUT_BOTTOM;
    } else {
        if (x < draw3d.left)
            o |= OUT_LEFT;
        else if (x > draw3d.right)
            o |= OUT_RIGHT;
        if (y < draw3d.bottom)
            o |= OUT_TOP;
        else if (y > draw3d.top)
            o |= OUT_BOTTOM;
    }
    if (draw3d.userOn && user < 0) o |= OUT_USER;
    return o;
}

// Screen position without the viewport clamp.
static void ProjectRaw(float x, float y, float z, float* sx, float* sy, float* w)
{
    float inv = z != 0 ? 1.0f / z : 0.0f;
    if (draw3d.perspective) {
        *sx = x * inv * draw3d.scaleX + draw3d.cx;
        *sy = y * inv * draw3d.scaleY + draw3d.cy;
    } else {
        *sx = draw3d.orthoScale * x + draw3d.cx;
        *sy = draw3d.cy - draw3d.orthoScale * y;
    }
    *w = inv;
}

static float ClampF(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

static void ProjectVertex(D3Vertex* v)
{
    ProjectRaw(v->x, v->y, v->z, &v->sx, &v->sy, &v->w);
    v->sx = ClampF(v->sx, draw3d.clipX0, draw3d.clipX1);
    v->sy = ClampF(v->sy, draw3d.clipY0, draw3d.clipY1);
    v->outcode |= OUT_PROJECTED;
}

static void ProjectPoint(D3Point* p)
{
    if ((p->out & OUT_PROJECTED) || (p->out & OUT_NEAR)) return;
    ProjectRaw(p->x, p->y, p->z, &p->sx, &p->sy, &p->w);
    p->sx = ClampF(p->sx, draw3d.clipX0, draw3d.clipX1);
    p->sy = ClampF(p->sy, draw3d.clipY0, draw3d.clipY1);
    p->out |= OUT_PROJECTED;
}

int Draw3DCameraToScreen(const float p[3], int* sx, int* sy)
{
    if (p[2] < draw3d.nearZ) return 1;
    float x, y, w;
    ProjectRaw(p[0], p[1], p[2], &x, &y, &w);
    const float limit = (float)D3_SCREEN_LIMIT;
    if (!(x >= -limit && x <= limit && y >= -limit && y <= limit)) return 1;
    *sx = (int)x;
    *sy = (int)y;
    return 0;
}

int Draw3DProjectPoint(const int32_t world[3], int32_t view[3], int32_t* sx, int32_t* sy)
{
    Draw3DWorldToCamera(world, view);
    const float p[3] = {(float)view[0], (float)view[1], (float)view[2]};
    int x, y;
    if (Draw3DCameraToScreen(p, &x, &y)) return 0;
    *sx = x;
    *sy = y;
    return 1;
}

int Draw3DSphereVisible(const float c[3], float r)
{
    if (c[2] + r < draw3d.nearZ || c[2] - r > draw3d.farZ) return 0;
    if (draw3d.perspective) {
        const float* p = draw3d.planes;
        for (int i = 0; i < 4; i++) {
            float a = p[2 * i], b = p[2 * i + 1];
            float len = std::sqrt(a * a + b * b);
            if (len <= 0) continue;
            float s = i < 2 ? c[0] : c[1];
            if ((a * s + b * c[2]) / len < -r) return 0;
        }
    } else if (c[0] + r < draw3d.left || c[0] - r > draw3d.right || c[1] + r < draw3d.bottom || c[1] - r > draw3d.top) {
        return 0;
    }
    if (draw3d.userOn && Dot(draw3d.userN, c) + draw3d.userD < -r) return 0;
    return 1;
}

static void MakeObjectMatrix(const int16_t m[9], int32_t scale, float rot[9], float obj[9])
{
    const int16_t* src = m ? m : identity;
    float s = scale / ONE;
    for (int i = 0; i < 9; i++) {
        rot[i] = src[i] / ONE;
        obj[i] = rot[i] * s;
    }
}

int Draw3DBoxVisible(const int32_t camPos[3], const int16_t orientation[9], const int32_t box[6])
{
    float rot[9], obj[9];
    MakeObjectMatrix(orientation, FIX_ONE, rot, obj);
    uint32_t all = OUT_CLIP_MASK;
    for (int c = 0; c < 8; c++) {
        float p[3] = {(float)box[(c & 1) ? 3 : 0], (float)box[(c & 2) ? 4 : 1], (float)box[(c & 4) ? 5 : 2]};
        float q[3];
        MulMat(obj, p, q);
        for (int i = 0; i < 3; i++) q[i] += (float)camPos[i];
        all &= Classify(q[0], q[1], q[2], draw3d.userOn ? Dot(draw3d.userN, q) + draw3d.userD : 0);
    }
    return (all & OUT_CLIP_MASK) == 0;
}

int Draw3DBoxDrawsNothing(const int32_t camPos[3], const int16_t orientation[9], const int32_t box[6])
{
    if (!draw3d.fastPaths || !(Drv()->flags & DRV_PIXEL_CENTRES) || (draw3d.renderFlags & RENDER_WIREFRAME)) return 0;
    float rot[9], obj[9];
    MakeObjectMatrix(orientation, FIX_ONE, rot, obj);
    float lo = 0, hi = 0;
    for (int c = 0; c < 8; c++) {
        float p[3] = {(float)box[(c & 1) ? 3 : 0], (float)box[(c & 2) ? 4 : 1], (float)box[(c & 4) ? 5 : 2]};
        float q[3];
        MulMat(obj, p, q);
        for (int i = 0; i < 3; i++) q[i] += (float)camPos[i];
        // Behind the near plane the picture of the box is no longer the hull of its corners'.
        if (!(q[2] >= draw3d.nearZ)) return 0;
        float sx, sy, w;
        ProjectRaw(q[0], q[1], q[2], &sx, &sy, &w);
        if (c == 0 || sy < lo) lo = sy;
        if (c == 0 || sy > hi) hi = sy;
    }
    if (!std::isfinite(lo) || !std::isfinite(hi)) return 0;
    // A filled polygon covers the rows whose centres lie inside it (row = ceil(y - 1/2)): none
    // when the box's rows from top to bottom are none. Clipping and the screen's clamp only
    // move vertices inward; the margin takes up the rounding of the points' own transforms
    // (a few parts in ten million of the screen coordinate, and some).
    const double margin = 1.0 / 256 + 1e-6 * (std::fabs(lo) + std::fabs(hi));
    return std::ceil(lo - 0.5 - margin) >= std::ceil(hi - 0.5 + margin);
}

void Draw3DSetFastPaths(int on) { draw3d.fastPaths = on != 0; }

// ============================================================================================
// Objects
// ============================================================================================

static void AllocPoints(int n)
{
    if (n <= draw3d.pointRoom) return;
    D3Point* p = (D3Point*)ResReallocMem(draw3d.points, sizeof(D3Point) * (size_t)n);
    if (!p) FatalError("AllocPoints - out of mem");
    draw3d.points = p;
    draw3d.pointRoom = n;
}

void Draw3DBeginObject(const int32_t camPos[3], const int16_t orientation[9], int32_t scale, int32_t radius, int n)
{
    if (!draw3d.installed) FatalError("Draw3DBeginObject - Draw3D is not installed");
    if (n < 0) n = 0;
    AllocPoints(n);
    draw3d.pointCount = n;
    MakeObjectMatrix(orientation, scale, draw3d.objRot, draw3d.obj);
    for (int i = 0; i < 3; i++) draw3d.objPos[i] = (float)camPos[i];
    draw3d.objRadius = (float)radius * (scale / ONE);
    if (draw3d.objRadius < 0) draw3d.objRadius = -draw3d.objRadius;

    // The local lights that can reach this object, decided once for all its vertices.
    draw3d.touchCount = 0;
    for (int i = 0; i < draw3d.lightCount; i++) {
        const D3Light* l = &draw3d.lights[i];
        float reach = l->radius + draw3d.objRadius, d2 = 0;
        bool near = true;
        for (int a = 0; a < 3; a++) {
            float d = l->pos[a] - draw3d.objPos[a];
            if (std::fabs(d) >= reach) near = false;
            d2 += d * d;
        }
        if (near && std::sqrt(d2) < reach) draw3d.touching[draw3d.touchCount++] = i;
    }
}

void Draw3DSetPoint(int i, float x, float y, float z)
{
    if (i < 0 || i >= draw3d.pointCount) FatalError("Draw3DSetPoint - point %d out of range", i);
    D3Point* p = &draw3d.points[i];
    float v[3] = {x, y, z}, c[3];
    MulMat(draw3d.obj, v, c);
    p->x = c[0] + draw3d.objPos[0];
    p->y = c[1] + draw3d.objPos[1];
    p->z = c[2] + draw3d.objPos[2];
    p->sx = p->sy = p->w = 0;
    p->user = 0;
    if (draw3d.userOn) p->user = draw3d.userN[0] * p->x + draw3d.userN[1] * p->y + draw3d.userN[2] * p->z + draw3d.userD;
    p->out = Classify(p->x, p->y, p->z, p->user);
}

void Draw3DObject(const int32_t camPos[3], const int16_t orientation[9], int32_t scale, int32_t radius, int n,
                  const int32_t* points)
{
    Draw3DBeginObject(camPos, orientation, scale, radius, n);
    for (int i = 0; i < n; i++)
        Draw3DSetPoint(i, (float)points[3 * i], (float)points[3 * i + 1], (float)points[3 * i + 2]);
}

void Draw3DObjectF(const int32_t camPos[3], const int16_t orientation[9], int32_t scale, int32_t radius, int n,
                   const float* points)
{
    Draw3DBeginObject(camPos, orientation, scale, radius, n);
    for (int i = 0; i < n; i++) Draw3DSetPoint(i, points[3 * i], points[3 * i + 1], points[3 * i + 2]);
}

int Draw3DPointCount(void) { return draw3d.pointCount; }

uint32_t Draw3DPointOutcode(int i) { return i >= 0 && i < draw3d.pointCount ? draw3d.points[i].out : 0; }

int Draw3DPointCamera(int i, float out[3])
{
    if (i < 0 || i >= draw3d.pointCount) return 1;
    out[0] = draw3d.points[i].x;
    out[1] = draw3d.points[i].y;
    out[2] = draw3d.points[i].z;
    return 0;
}

int Draw3DPointScreen(int i, float* sx, float* sy)
{
    if (i < 0 || i >= draw3d.pointCount) return 1;
    D3Point* p = &draw3d.points[i];
    ProjectPoint(p);
    if (!(p->out & OUT_PROJECTED)) return 1;
    *sx = p->sx;
    *sy = p->sy;
    return 0;
}

int Draw3DFacing(const int16_t normal[3], int point)
{
    if (point < 0 || point >= draw3d.pointCount) return 0;
    // No normal (the first points of the polygon in a line): no way to tell, so it is drawn.
    if (!normal[0] && !normal[1] && !normal[2]) return 1;
    float n[3] = {normal[0] / ONE, normal[1] / ONE, normal[2] / ONE}, c[3];
    MulMat(draw3d.objRot, n, c);
    if (!draw3d.perspective) return c[2] < 0;
    const D3Point* p = &draw3d.points[point];
    return c[0] * p->x + c[1] * p->y + c[2] * p->z < 0;
}

// ============================================================================================
// Vertex nodes and polygon records
// ============================================================================================

static D3Vertex* TakeNode(void)
{
    D3Vertex* v = draw3d.freeNodes;
    if (!v) return nullptr;
    draw3d.freeNodes = v->next;
    draw3d.freeCount--;
    // Field by field rather than memset: the compiler makes a memset of this size a string
    // instruction whose start-up costs more than these stores, three times a triangle.
    v->level = v->r = v->g = v->b = v->sr = v->sg = v->sb = 0;
    v->x = v->y = v->z = v->w = v->sx = v->sy = 0;
    v->outcode = 0;
    v->userDist = v->u = v->v = 0;
    for (int32_t& w : v->work) w = 0;
    v->next = v->prev = nullptr;
    return v;
}

static void GiveNode(D3Vertex* v)
{
    v->next = draw3d.freeNodes;
    draw3d.freeNodes = v;
    draw3d.freeCount++;
}

static void FreeRing(D3Polygon* p)
{
    D3Vertex* v = p->ring;
    for (int i = 0; v && i < p->count; i++) {
        D3Vertex* next = v->next;
        GiveNode(v);
        v = next;
    }
    p->ring = nullptr;
    p->count = 0;
}

static D3Polygon* TakePolygon(void)
{
    if (draw3d.polyUsed >= draw3d.polyCount) return nullptr;
    D3Polygon* p = &draw3d.polys[draw3d.polyUsed++];
    memset(p, 0, sizeof *p);
    return p;
}

// Only the most recent record can go back.
static void GivePolygon(D3Polygon* p)
{
    if (draw3d.polyUsed > 0 && p == &draw3d.polys[draw3d.polyUsed - 1]) draw3d.polyUsed--;
}

static void Drop(D3Polygon* p)
{
    FreeRing(p);
    GivePolygon(p);
}

// Links n nodes into the polygon's ring in the order given.
static void LinkRing(D3Polygon* p, D3Vertex** v, int n)
{
    for (int i = 0; i < n; i++) {
        v[i]->next = v[(i + 1) % n];
        v[i]->prev = v[(i + n - 1) % n];
    }
    p->ring = v[0];
    p->count = n;
}

// ============================================================================================
// Clipping
// ============================================================================================

static float PlaneDistance(uint32_t bit, const D3Vertex* v)
{
    const float* p = draw3d.planes;
    switch (bit) {
    case OUT_NEAR: return v->z - draw3d.nearZ;
    case OUT_FAR: return draw3d.farZ - v->z;
    case OUT_LEFT: return draw3d.perspective ? p[0] * v->x + p[1] * v->z : v->x - draw3d.left;
    case OUT_RIGHT: return draw3d.perspective ? p[2] * v->x + p[3] * v->z : draw3d.right - v->x;
    case OUT_TOP: return draw3d.perspective ? p[4] * v->y + p[5] * v->z : v->y - draw3d.bottom;
    case OUT_BOTTOM: return draw3d.perspective ? p[6] * v->y + p[7] * v->z : draw3d.top - v->y;
    default: return v->userDist;
    }
}

static int32_t Lerp32(int32_t a, int32_t b, float t) { return a + Trunc32((double)(b - (double)a) * t); }
static float LerpF(float a, float b, float t) { return a + (b - a) * t; }

// The vertex where edge a-b crosses a plane, every attribute interpolated.
static D3Vertex* Crossing(const D3Vertex* a, const D3Vertex* b, float da, float db, uint32_t bit)
{
    D3Vertex* c = TakeNode();
    if (!c) return nullptr;
    float t = db - da != 0 ? -da / (db - da) : 1.0f;
    c->level = Lerp32(a->level, b->level, t);
    c->r = Lerp32(a->r, b->r, t);
    c->g = Lerp32(a->g, b->g, t);
    c->b = Lerp32(a->b, b->b, t);
    c->sr = Lerp32(a->sr, b->sr, t);
    c->sg = Lerp32(a->sg, b->sg, t);
    c->sb = Lerp32(a->sb, b->sb, t);
    c->x = LerpF(a->x, b->x, t);
    c->y = LerpF(a->y, b->y, t);
    c->z = bit == OUT_NEAR ? draw3d.nearZ : LerpF(a->z, b->z, t);
    c->u = LerpF(a->u, b->u, t);
    c->v = LerpF(a->v, b->v, t);
    c->userDist = LerpF(a->userDist, b->userDist, t);
    c->outcode = Classify(c->x, c->y, c->z, c->userDist);
    if (!(c->outcode & OUT_NEAR)) ProjectVertex(c);
    return c;
}

// One Sutherland-Hodgman pass. 0 when the polygon is gone (nothing left, or out of nodes).
static int ClipPlane(D3Polygon* p, uint32_t bit)
{
    D3Vertex* a = p->ring;
    int n = p->count;
    float d0 = PlaneDistance(bit, a), da = d0;
    for (int i = 0; i < n; i++) {
        D3Vertex* b = a->next;   // an original vertex: insertions go after a
        float db = i == n - 1 ? d0 : PlaneDistance(bit, b);
        if (da < 0) a->outcode |= OUT_DROP;
        if ((da < 0) != (db < 0)) {
            D3Vertex* c = Crossing(a, b, da, db, bit);
            // The ring still holds every node, the crossings linked in so far included.
            if (!c) {
                draw3d.stats.dropped++;
                return 0;
            }
            c->prev = a;
            c->next = b;
            a->next = c;
            b->prev = c;
            p->count++;
        }
        a = b;
        da = db;
    }
    // Unlink what lies outside.
    D3Vertex* v = p->ring;
    int total = p->count, kept = 0;
    D3Vertex* head = nullptr;
    for (int i = 0; i < total; i++) {
        D3Vertex* next = v->next;
        if (v->outcode & OUT_DROP) {
            v->prev->next = v->next;
            v->next->prev = v->prev;
            GiveNode(v);
        } else {
            kept++;
            if (!head) head = v;
        }
        v = next;
    }
    p->ring = head;
    p->count = kept;
    if (kept < 3) {
        FreeRing(p);
        return 0;
    }
    return 1;
}

static uint32_t RingOr(const D3Polygon* p)
{
    uint32_t o = 0;
    const D3Vertex* v = p->ring;
    for (int i = 0; i < p->count; i++, v = v->next) o |= v->outcode;
    return o;
}

// Clips on every plane a vertex lies outside of, near first so that every vertex made after
// it lies in front of the eye. 0 when nothing is left (the nodes are back in the pool).
static int ClipPolygon(D3Polygon* p)
{
    static const uint32_t order[7] = {OUT_NEAR, OUT_FAR, OUT_LEFT, OUT_RIGHT, OUT_TOP, OUT_BOTTOM, OUT_USER};
    draw3d.stats.clipped++;
    for (uint32_t bit : order) {
        if (!(RingOr(p) & bit)) continue;
        if (!ClipPlane(p, bit)) {
            if (p->ring) {
                // Out of nodes half way: the marks are stale, the whole ring goes.
                FreeRing(p);
            }
            return 0;
        }
    }
    D3Vertex* v = p->ring;
    for (int i = 0; i < p->count; i++, v = v->next) {
        if (!(v->outcode & OUT_PROJECTED)) ProjectVertex(v);
        v->z = ClampF(v->z, draw3d.nearZ, draw3d.farZ);
        v->w = v->z != 0 ? 1.0f / v->z : 0.0f;
    }
    return 1;
}

// ============================================================================================
// Lighting and fog
// ============================================================================================

// Specular from a light in direction l (unit, towards the light) seen along v (towards the
// eye): R = 2 (N.L) N - L, s = R.V; s^7 times the material's coefficient, 2.14.
static int32_t Specular(const float n[3], const float l[3], const float v[3], int32_t coefficient)
{
    if (!coefficient) return 0;
    float nl = Dot(n, l), r[3];
    for (int i = 0; i < 3; i++) r[i] = 2 * nl * n[i] - l[i];
    float s = Dot(r, v);
    if (s < draw3d.threshold) return 0;
    float s7 = s * s * s * s * s * s * s;
    return FixMul(Trunc32(s7 * ONE), coefficient);
}

// How much of a local light reaches a vertex (0 to 1), and its specular term for spot lights.
static float LocalFactor(const D3Light* l, const float p[3], const float n[3], const float view[3], int32_t specular,
                         int32_t* shine)
{
    *shine = 0;
    float L[3];
    for (int i = 0; i < 3; i++) {
        L[i] = l->pos[i] - p[i];
        if (std::fabs(L[i]) >= l->radius) return 0;
    }
    float len = std::sqrt(Dot(L, L));
    if (len >= l->radius) return 0;
    float lh[3] = {0, 0, 0};
    if (len > 0)
        for (int i = 0; i < 3; i++) lh[i] = L[i] / len;
    float nl = len > 0 ? Dot(n, lh) : 1.0f;
    float f;
    if (l->type == D3L_SPOT) {
        float cosine = -Dot(lh, l->dir);
        if (cosine < l->cutoff || nl <= 0) return 0;
        f = nl;
        if (cosine <= l->cutoff + 0.25f) f *= 4 * (cosine - l->cutoff);
    } else {
        if (nl < -0.9f) return 0;
        f = (nl + 0.9f) * 0.5263158f;
        if (f > 1.0f) f = 1.0f;
    }
    float a = 1.0f - len / l->radius;
    if (a < 0.5f) f *= 2 * a;
    if (l->type == D3L_SPOT) *shine = Specular(n, lh, view, specular);
    return f;
}

static int32_t Saturate32(int64_t v) { return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : (int32_t)v; }
static int64_t Clamp64(int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo : v > hi ? hi : v; }

// Sums of light are taken in 64 bits: a few bright lights pass the 32-bit range long before
// the clamps at the end bring them back.
// What lighting reads of a material, read once a triangle rather than once a vertex.
struct MaterialLight {
    int32_t si, unlit, ambient, diffuse, specular;
    int32_t col[3];
};

static MaterialLight MaterialLightOf(int mat)
{
    return {IntMatSI(mat), IntMatUnlit(mat), IntMatAmbient(mat), IntMatDiffuse(mat), IntMatSpecular(mat),
            {IntMatRed(mat), IntMatGreen(mat), IntMatBlue(mat)}};
}

static void LightVertex(D3Vertex* v, const float n[3], const MaterialLight& m, int textured, uint32_t tflags,
                        int32_t level)
{
    int32_t si = m.si, unlit = m.unlit, mamb = m.ambient, mdif = m.diffuse, mspec = m.specular;
    // The direction to the eye serves the specular terms alone: a material without specular
    // needs none, and the square root it costs is a good part of a vertex's lighting.
    float p[3] = {v->x, v->y, v->z}, view[3] = {0, 0, -1};
    if (draw3d.perspective && mspec) {
        float len = std::sqrt(Dot(p, p));
        if (len > 0)
            for (int i = 0; i < 3; i++) view[i] = -p[i] / len;
    }

    // The distant light travels along distantDir: a face turned against it is lit.
    int32_t d = Trunc32(Dot(n, draw3d.distantDir) * ONE);
    int32_t diffuse = d >= 0 ? 0 : Saturate32(-(int64_t)FixMul(d, mdif));
    float toLight[3] = {-draw3d.distantDir[0], -draw3d.distantDir[1], -draw3d.distantDir[2]};
    int32_t dspec = Specular(n, toLight, view, mspec);

    int64_t ldiff[3] = {0, 0, 0}, lspec[3] = {0, 0, 0}, ldiffMax = 0, glowMax = 0, lspecMax = 0;
    for (int i = 0; i < draw3d.touchCount; i++) {
        const D3Light* l = &draw3d.lights[draw3d.touching[i]];
        int32_t shine;
        float f = LocalFactor(l, p, n, view, mspec, &shine);
        int32_t fi = Trunc32(f * ONE);
        for (int c = 0; c < 3; c++) {
            if (l->type == D3L_GLOW)
                lspec[c] += FixMul(fi, l->rgb[c]);
            else
                ldiff[c] += FixMul(fi, l->rgb[c]);
            lspec[c] += FixMul(shine, l->rgb[c]);
        }
        if (l->type == D3L_GLOW)
            glowMax += FixMul(fi, l->max);
        else
            ldiffMax += FixMul(fi, l->max);
        lspecMax += FixMul(shine, l->max);
    }

    if (!draw3d.colour) {
        int64_t base = si ? si : unlit ? (int64_t)draw3d.amax + draw3d.dmax : FixMul(draw3d.amax, mamb);
        int64_t in = base + FixMul(draw3d.dmax, diffuse) + ldiffMax;
        if (in > FIX_ONE) in = FIX_ONE;
        in += glowMax;
        if (in >= 32768)
            in = 32767;
        else
            in = Clamp64(in + lspecMax + FixMul(dspec, draw3d.dmax), 0, 32767);
        v->r = v->b = 0;
        v->g = (int32_t)in << 16;
        v->sr = v->sg = v->sb = 0;
        return;
    }

    const int32_t* col = m.col;
    int64_t c[3], s[3] = {0, 0, 0};
    for (int k = 0; k < 3; k++) {
        if (si && !textured) {
            // Self-illuminated and untextured: the material's own colour, no lights.
            c[k] = ((int64_t)col[k] * 2 * si) >> 8;
            continue;
        }
        int64_t base = si ? si : unlit ? (int64_t)draw3d.ambient[k] + draw3d.distant[k] : FixMul(draw3d.ambient[k], mamb);
        c[k] = base + FixMul(diffuse, draw3d.distant[k]) + ldiff[k];
        if (!textured) c[k] = (c[k] * col[k]) >> 8;
        s[k] = lspec[k] + FixMul(dspec, draw3d.distant[k]);
    }
    int keepSpecular = (Drv()->flags & DRV_SPECULAR_MASK) != 0;
    int32_t* out[3] = {&v->r, &v->g, &v->b};
    int32_t* sout[3] = {&v->sr, &v->sg, &v->sb};
    for (int k = 0; k < 3; k++) {
        int32_t ch = (int32_t)Clamp64(c[k], 0, 16383);
        if (draw3d.scaleOn) ch = FixMul(ch, draw3d.colourScale[k]);
        if (tflags & D3TR_LEVEL_COLOUR) ch = FixMul(ch, level);
        *out[k] = Clamp32(ch, 0, 32767) << 16;
        *sout[k] = keepSpecular ? (int32_t)Clamp64(s[k], 0, 16383) << 16 : 0;
    }
}

// The fog level along the fog direction; 1 when the vertex lies at or past the origin.
static int FogVertex(D3Vertex* v)
{
    float p[3] = {v->x - draw3d.fogOrigin[0], v->y - draw3d.fogOrigin[1], v->z - draw3d.fogOrigin[2]};
    int32_t d = Trunc32(Dot(p, draw3d.fogDir));
    int32_t value;
    if (d >= draw3d.fogDistance)
        value = draw3d.fogFar;
    else if (d >= 0)
        value = draw3d.fogNear + FixMul(FixDiv(d, draw3d.fogDistance), draw3d.fogFar - draw3d.fogNear);
    else
        value = draw3d.fogNear;
    v->level = Clamp32(value, 0, FOG_LEVEL_MAX) << 16;
    return d >= 0;
}

// ============================================================================================
// Queues and drawing
// ============================================================================================

static void DrawPolygon(D3Polygon* p)
{
    if (p->flags & D3P_REVERSE) {
        D3Vertex* v = p->ring;
        for (int i = 0; i < p->count; i++) {
            D3Vertex* next = v->next;
            v->next = v->prev;
            v->prev = next;
            v = next;
        }
    }
    if (p->shade) {
        D3Vertex* v = p->ring;
        for (int i = 0; i < p->count; i++, v = v->next) {
            v->z = (float)D3_NEAREST_Z;
            v->w = 1.0f / (float)D3_NEAREST_Z;
        }
    }
    D3Driver* d = Drv();
    if (d->polygons && p->type >= 0 && p->type < D3T_COUNT && d->polygons[p->type]) d->polygons[p->type](p);
    draw3d.stats.polygons++;
    FreeRing(p);
}

static void DrawList(D3Polygon* head)
{
    while (head) {
        D3Polygon* next = head->right;
        DrawPolygon(head);
        head = next;
    }
}

static void DrawTree(D3Polygon* root)
{
    int sp = 0;
    D3Polygon* n = root;
    while (n || sp) {
        while (n) {
            draw3d.stack[sp++] = n;
            n = n->left;
        }
        n = draw3d.stack[--sp];
        D3Polygon* right = n->right;
        for (D3Polygon* c = n; c;) {
            D3Polygon* next = c->child;
            DrawPolygon(c);
            c = next;
        }
        n = right;
    }
}

// Whether a goes to the driver before b: far before near by depth, low before high by state.
static bool Before(const D3Polygon* a, const D3Polygon* b)
{
    if (draw3d.sortMode == D3SORT_STATE) return (uint32_t)a->key < (uint32_t)b->key;
    return a->key > b->key;
}

static void TreeInsert(D3Polygon** root, D3Polygon* p)
{
    D3Polygon** at = root;
    while (*at) {
        D3Polygon* n = *at;
        if (n->key == p->key) {
            // Equal keys chain behind the node, in arrival order.
            while (n->child) n = n->child;
            n->child = p;
            p->chained = 1;
            return;
        }
        at = Before(p, n) ? &n->left : &n->right;
    }
    *at = p;
}

static void Append(D3Polygon** head, D3Polygon** tail, D3Polygon* p)
{
    if (*tail)
        (*tail)->right = p;
    else
        *head = p;
    *tail = p;
}

static void Queue(D3Polygon* p)
{
    p->shade = draw3d.overlay;
    if (draw3d.sortMode == D3SORT_NONE || draw3d.sortMode == D3SORT_RESERVED) {
        DrawPolygon(p);
        GivePolygon(p);
        return;
    }
    if (p->type == D3T_LINES || p->type == D3T_OUTLINE) {
        Append(&draw3d.lines, &draw3d.linesTail, p);
        return;
    }
    if (p->flags & (D3P_MARKER_A | D3P_MARKER_B)) {
        Append(&draw3d.markers, &draw3d.markersTail, p);
        return;
    }
    if (draw3d.sortMode == D3SORT_STATE) {
        p->key = (int32_t)((p->flags << 16) | p->texture);
    } else if (draw3d.sortMode == D3SORT_FIRST_DEPTH) {
        p->key = Trunc32(p->ring->z);
    } else {
        double sum = 0;
        const D3Vertex* v = p->ring;
        for (int i = 0; i < p->count; i++, v = v->next) sum += v->z;
        p->key = Trunc32(sum / p->count);
    }
    if ((p->flags & D3P_BLENDED) && (Drv()->flags & DRV_QUEUE_FIRST))
        TreeInsert(&draw3d.translucentTree, p);
    else
        TreeInsert(&draw3d.opaque, p);
}

// ============================================================================================
// Triangles
// ============================================================================================

// Whether a texture has transparent texels: the driver's answer when it has a query, else the
// sprite's transparent index (loading the sprite if need be). Decided once and kept until the
// textures are next loaded or unloaded: asking every triangle would look for a missing
// texture file every time.
static int TextureHasTransparency(ResId id)
{
    uint8_t bit = (uint8_t)(1u << (id & 7));
    size_t at = id >> 3;
    if (!(draw3d.transparencyKnown[at] & bit)) {
        int transparent;
        if (Drv()->hasTransparentTexels)
            transparent = Drv()->hasTransparentTexels(id) != 0;
        else
            transparent = ResLoad(id) == 0 && SpriteTransparent(id) >= 0;
        draw3d.transparencyKnown[at] |= bit;
        draw3d.transparent[at] = (uint8_t)(transparent ? draw3d.transparent[at] | bit : draw3d.transparent[at] & ~bit);
    }
    return (draw3d.transparent[at] & bit) != 0;
}

static void ForgetTransparency(void) { memset(draw3d.transparencyKnown, 0, sizeof draw3d.transparencyKnown); }

// A node for point i of the current object: its camera and screen position (projected now if
// need be), outcode and user-plane distance. The caller sets everything else.
static void VertexFromPoint(D3Vertex* n, int i)
{
    D3Point* pt = &draw3d.points[i];
    ProjectPoint(pt);
    n->x = pt->x;
    n->y = pt->y;
    n->z = pt->z;
    n->w = pt->w;
    n->sx = pt->sx;
    n->sy = pt->sy;
    n->outcode = pt->out;
    n->userDist = pt->user;
}

// A polygon with its ring made: dropped when every vertex lies outside one plane, clipped when
// some vertex lies outside any, and queued with whatever is left. 1 when it was queued.
static int ClipAndQueue(D3Polygon* p)
{
    uint32_t all = OUT_CLIP_MASK, any = 0;
    const D3Vertex* v = p->ring;
    for (int i = 0; i < p->count; i++, v = v->next) {
        all &= v->outcode;
        any |= v->outcode;
    }
    if (all & OUT_CLIP_MASK) {
        Drop(p);
        return 0;
    }
    if ((any & OUT_CLIP_MASK) && !ClipPolygon(p)) {
        GivePolygon(p);
        return 0;
    }
    Queue(p);
    return 1;
}

// What a triangle of a material becomes: its polygon type and flags, its texture, and how its
// vertices are lit. tflags are the triangle's flags with the level-blend bit already decided.
struct TriangleKind {
    int type;
    uint32_t flags;
    ResId texture;
    int textured, smooth;
    int fogSensitive;   // fog changes the type of these
};

static TriangleKind KindOf(int mat, uint32_t tflags)
{
    const uint32_t LIT = D3P_SHADED, LIT_TEXTURE = D3P_TEXTURED | D3P_SHADED;
    const uint32_t LIT_BLENDED = D3P_SHADED | D3P_BLENDED, LIT_TEXTURE_BLENDED = LIT_TEXTURE | D3P_BLENDED;
    TriangleKind k{};
    ResId texture = IntMatSprite(mat);
    k.textured = (tflags & D3TR_TEXTURED) && texture && !(draw3d.renderFlags & RENDER_NO_TEXTURES);
    k.smooth = (tflags & D3TR_SMOOTH) != 0;
    if (draw3d.renderFlags & RENDER_WIREFRAME) {
        k.type = D3T_LINES;
        k.textured = 0;
    } else if (k.textured) {
        k.texture = texture;
        if (tflags & D3TR_LEVEL_BLEND) {
            k.type = D3T_BLENDTEXTURE;
            k.flags |= LIT_TEXTURE_BLENDED;
        } else if (IntMatSprite2(mat)) {
            k.type = D3T_SECOND_TEXTURE;
            k.flags |= LIT_TEXTURE;
            k.fogSensitive = 1;
        } else {
            k.type = D3T_TEXTURED;
            if (TextureHasTransparency(texture)) {
                k.type = D3T_TRANSPARENT;
                k.flags |= LIT_TEXTURE_BLENDED;
            } else {
                k.flags |= LIT_TEXTURE;
            }
            k.fogSensitive = k.smooth;
        }
    } else {
        if ((tflags & D3TR_LEVEL_BLEND) || IntMatAlpha(mat)) {
            k.type = D3T_BLENDED;
            k.flags |= LIT_BLENDED;
        } else {
            k.type = D3T_SHADED;
            k.flags |= LIT;
        }
        k.fogSensitive = k.smooth;
    }
    if (draw3d.renderFlags & RENDER_FILTER) k.flags |= D3P_FILTER;
    if (draw3d.sortMode == D3SORT_STATE) k.flags |= D3P_STATESORT;
    return k;
}

// A node of point i: its place, texture coordinates, lit colours (vn: the camera-space normal)
// and blend or fog level. 1 when fog reaches it.
static int MakeVertex(D3Vertex* n, int i, float u, float v, const float vn[3], const MaterialLight& light,
                      const TriangleKind& k, uint32_t tflags, int32_t level)
{
    VertexFromPoint(n, i);
    n->u = u;
    n->v = v;
    LightVertex(n, vn, light, k.textured, tflags, level);
    n->level = (tflags & D3TR_LEVEL_BLEND) ? level << 16 : 0;
    return draw3d.fogOn && draw3d.fogAllowed && FogVertex(n);
}

// The type a fogged polygon of a fog-sensitive kind takes instead.
static void Fogged(const TriangleKind& k, int32_t* type, uint32_t* flags)
{
    const uint32_t KIND = D3P_TEXTURED | D3P_SHADED | D3P_BLENDED;
    if (k.textured) {
        *type = D3T_TRANSPARENT;
        *flags = (*flags & ~KIND) | D3P_TEXTURED | D3P_SHADED | D3P_BLENDED;
    } else {
        *type = D3T_BLENDED;
        *flags = (*flags & ~KIND) | D3P_SHADED | D3P_BLENDED;
    }
}

static int StandardTriangle(D3Triangle* t)
{
    draw3d.stats.triangles++;
    for (int i = 0; i < 3; i++)
        if (t->point[i] < 0 || t->point[i] >= draw3d.pointCount)
            FatalError("Draw3DTriangle - point %d out of range", (int)t->point[i]);
    D3Polygon* p = TakePolygon();
    if (!p) {
        draw3d.stats.dropped++;
        return 0;
    }
    uint32_t tflags = t->flags;
    int32_t level[3];
    for (int i = 0; i < 3; i++) level[i] = Clamp32(t->level[i], 0, 32767);
    if (draw3d.translucent) {
        level[0] = level[1] = level[2] = 4096;
        tflags |= D3TR_LEVEL_BLEND;
    }
    if (!level[0] && !level[1] && !level[2]) tflags &= ~(uint32_t)D3TR_LEVEL_BLEND;

    int mat = t->material;
    const TriangleKind k = KindOf(mat, tflags);
    p->texture = k.texture;

    D3Vertex* v[3];
    for (int i = 0; i < 3; i++) {
        v[i] = TakeNode();
        if (!v[i]) {
            for (int j = 0; j < i; j++) GiveNode(v[j]);
            GivePolygon(p);
            draw3d.stats.dropped++;
            return 0;
        }
    }

    float faceN[3] = {t->normal[0] / ONE, t->normal[1] / ONE, t->normal[2] / ONE};
    float faceC[3];
    MulMat(draw3d.objRot, faceN, faceC);
    int fogged = 0;
    const MaterialLight light = MaterialLightOf(mat);
    for (int i = 0; i < 3; i++) {
        float u = t->u[i], w = t->v[i];
        if (tflags & D3TR_UV_REF) {
            u = t->uvRef[i] ? t->uvRef[i][0] : 0;
            w = t->uvRef[i] ? t->uvRef[i][1] : 0;
        }
        float vn[3];
        if (k.smooth)
            MulMat(draw3d.objRot, t->vnormal[i], vn);
        else
            memcpy(vn, faceC, sizeof vn);
        fogged |= MakeVertex(v[i], t->point[i], u, w, vn, light, k, tflags, level[i]);
    }
    p->type = k.type;
    p->flags = k.flags;
    if (fogged && k.fogSensitive) Fogged(k, &p->type, &p->flags);
    p->material = mat;
    LinkRing(p, v, 3);
    return ClipAndQueue(p);
}

// Whether a triangle over these points, inside every plane so that its vertices are their
// projections as they stand, covers no pixel row's centre: a driver that fills by pixel centres
// takes the rows from ceil(top - 1/2) to before ceil(bottom - 1/2), and draws none of them.
static bool CoversNoRow(D3Point* a, D3Point* b, D3Point* c)
{
    ProjectPoint(a);
    ProjectPoint(b);
    ProjectPoint(c);
    double lo = a->sy, hi = a->sy;
    for (double y : {(double)b->sy, (double)c->sy}) {
        if (y < lo) lo = y;
        if (y > hi) hi = y;
    }
    return std::ceil(lo - 0.5) >= std::ceil(hi - 0.5);
}

int Draw3DMesh(int material, uint32_t flags, int count, const int32_t* triangles, const float* uv,
               const float* vnormals)
{
    for (int i = 0; i < 3 * count; i++)
        if (triangles[i] < 0 || triangles[i] >= draw3d.pointCount)
            FatalError("Draw3DMesh - point %d out of range", (int)triangles[i]);
    flags &= ~(uint32_t)(D3TR_UV_REF | D3TR_LEVEL_BLEND);
    int queued = 0;
    // A material's draw hook sees every triangle, as Draw3DTriangle hands them over.
    if (!draw3d.fastPaths || !(flags & D3TR_SMOOTH) || !vnormals || (!draw3d.inHook && IntMatDrawHook(material))) {
        for (int j = 0; j < count; j++) {
            D3Triangle t{};
            t.material = material;
            t.flags = flags;
            for (int k = 0; k < 3; k++) {
                int i = triangles[3 * j + k];
                t.point[k] = i;
                t.u[k] = uv[2 * (size_t)i];
                t.v[k] = uv[2 * (size_t)i + 1];
                for (int a = 0; a < 3; a++) t.vnormal[k][a] = vnormals ? vnormals[3 * (size_t)i + a] : 0;
            }
            queued += Draw3DTriangle(&t);
        }
        return queued;
    }
    // Every point is made into a node once, on the first triangle that can be seen to use it;
    // each triangle's nodes are copies, just as Draw3DTriangle would have made them one by one.
    static std::vector<D3Vertex> made;
    static std::vector<uint8_t> state;   // 0 not made, 1 made, 2 made and fogged
    made.resize((size_t)draw3d.pointCount);
    state.assign((size_t)draw3d.pointCount, 0);
    uint32_t tflags = flags;
    int32_t level = 0;
    if (draw3d.translucent) {
        level = 4096;
        tflags |= D3TR_LEVEL_BLEND;
    }
    const TriangleKind k = KindOf(material, tflags);
    const MaterialLight light = MaterialLightOf(material);
    const bool centres = (Drv()->flags & DRV_PIXEL_CENTRES) && k.type != D3T_LINES;
    for (int j = 0; j < count; j++) {
        const int32_t* tri = triangles + 3 * j;
        draw3d.stats.triangles++;
        if (draw3d.polyUsed >= draw3d.polyCount || draw3d.freeCount < 3) {
            draw3d.stats.dropped++;
            continue;
        }
        // Wholly outside one plane: Draw3DTriangle would make it and drop it.
        D3Point *a = &draw3d.points[tri[0]], *b = &draw3d.points[tri[1]], *c = &draw3d.points[tri[2]];
        if (a->out & b->out & c->out & OUT_CLIP_MASK) continue;
        if (centres && !((a->out | b->out | c->out) & OUT_CLIP_MASK) && CoversNoRow(a, b, c)) continue;
        D3Polygon* p = TakePolygon();
        D3Vertex* v[3] = {TakeNode(), TakeNode(), TakeNode()};
        int fogged = 0;
        for (int c = 0; c < 3; c++) {
            size_t i = (size_t)tri[c];
            if (!state[i]) {
                D3Vertex n{};
                float vn[3];
                MulMat(draw3d.objRot, vnormals + 3 * i, vn);
                state[i] = (uint8_t)(1 + MakeVertex(&n, (int)i, uv[2 * i], uv[2 * i + 1], vn, light, k, tflags, level));
                made[i] = n;
            }
            *v[c] = made[i];   // linked into the ring below
            fogged |= state[i] == 2;
        }
        p->texture = k.texture;
        p->type = k.type;
        p->flags = k.flags;
        if (fogged && k.fogSensitive) Fogged(k, &p->type, &p->flags);
        p->material = material;
        LinkRing(p, v, 3);
        queued += ClipAndQueue(p);
    }
    return queued;
}

int Draw3DTriangle(D3Triangle* t)
{
    IntMatDrawFn hook = draw3d.inHook ? nullptr : IntMatDrawHook(t->material);
    if (hook) {
        // The hook may come back here for the standard path.
        draw3d.inHook = 1;
        int r = hook(t);
        draw3d.inHook = 0;
        return r;
    }
    int r = StandardTriangle(t);
    if (r && t->after && !(Drv()->flags & DRV_NO_AFTER)) t->after(t);
    return r;
}

int Draw3DPointPolygon(int n, const int32_t* points, const float* uv, ResId texture, int byReference, int32_t r,
                       int32_t g, int32_t b, int32_t level)
{
    if (n < 3 || level > 15360) return 0;
    for (int i = 0; i < n; i++)
        if (points[i] < 0 || points[i] >= draw3d.pointCount) FatalError("Draw3DPointPolygon - point %d out of range", (int)points[i]);
    if (n > draw3d.freeCount) {
        draw3d.stats.dropped++;
        return 0;
    }
    D3Polygon* p = TakePolygon();
    if (!p) {
        draw3d.stats.dropped++;
        return 0;
    }
    draw3d.stats.triangles++;
    int32_t rgb[3] = {r, g, b};
    for (int k = 0; k < 3; k++) {
        rgb[k] = Clamp32(rgb[k], 0, 16383);
        if (draw3d.scaleOn) rgb[k] = Clamp32(FixMul(rgb[k], draw3d.colourScale[k]), 0, 32767);
    }
    int transparent = texture && TextureHasTransparency(texture);
    p->type = D3T_BLENDTEXTURE;
    p->flags = (transparent || byReference) ? D3P_TEXTURED | D3P_BLENDED : D3P_TEXTURED;
    p->texture = texture;
    p->material = IM_NONE;
    D3Vertex** ring = draw3d.ringScratch;
    for (int i = 0; i < n; i++) {
        D3Vertex* v = ring[i] = TakeNode();
        VertexFromPoint(v, points[i]);
        v->u = uv ? uv[2 * i] : 0;
        v->v = uv ? uv[2 * i + 1] : 0;
        v->r = rgb[0] << 16;
        v->g = rgb[1] << 16;
        v->b = rgb[2] << 16;
        v->level = Clamp32(level, 0, 32767) << 16;
    }
    LinkRing(p, ring, n);
    return ClipAndQueue(p);
}

int Draw3DPointLine(int a, int b, int32_t r, int32_t g, int32_t blue)
{
    const int points[2] = {a, b};
    for (int i : points)
        if (i < 0 || i >= draw3d.pointCount) FatalError("Draw3DPointLine - point %d out of range", i);
    if (draw3d.freeCount < 2) {
        draw3d.stats.dropped++;
        return 0;
    }
    D3Polygon* p = TakePolygon();
    if (!p) {
        draw3d.stats.dropped++;
        return 0;
    }
    const int32_t rgb[3] = {Clamp32(r, 0, 16383), Clamp32(g, 0, 16383), Clamp32(blue, 0, 16383)};
    p->type = D3T_LINES;
    p->material = IM_NONE;
    D3Vertex** ring = draw3d.ringScratch;
    for (int i = 0; i < 2; i++) {
        D3Vertex* v = ring[i] = TakeNode();
        VertexFromPoint(v, points[i]);
        v->r = rgb[0] << 16;
        v->g = rgb[1] << 16;
        v->b = rgb[2] << 16;
    }
    LinkRing(p, ring, 2);
    return ClipAndQueue(p);
}

// ============================================================================================
// Textures and text sprites
// ============================================================================================

static void LoadLoop(ProgressFn progress)
{
    D3Driver* d = Drv();
    if (progress) progress(0);
    // Texture pages belong to a driver that loads textures itself (around its startTextures
    // and endTextures); the software drivers read sprites where they lie.
    for (int i = 0; i < draw3d.spriteCount; i++) {
        ResId id = draw3d.sprites[i].id;
        const char* name = ResName(id);
        if (name[0])
            LogPrintf(LOG_INFO, "LoadTextSprites %s", name);
        else
            LogPrintf(LOG_INFO, "Load Text Sprites unnamed id=%d", (int)id);
        if (d->loadTexture)
            d->loadTexture(id, draw3d.sprites[i].flags);
        else
            ResLoad(id);
        TextureHasTransparency(id);
    }
    int count = IntMatCount();
    uint32_t step = count > 0 ? 0x20000000u / (uint32_t)count : 0;
    for (int i = 0; i < count; i++) {
        if (progress && (i & 3) == 0) progress(((uint32_t)i * step) >> 16);
        ResId ids[3] = {IntMatSprite(i), IntMatSprite2(i), IntMatSprite3(i)};
        uint32_t flags = (uint32_t)IntMatLoadFlags(i);
        for (int k = 0; k < 3; k++) {
            if (!ids[k]) continue;
            // A texture that cannot be had is reported with the rest of this load's.
            if (k == 0 && ResLoad(ids[k]) != 0) IntMatNoteTextureFailure(ids[k], nullptr);
            // The software drivers read textures from loaded sprites: load them here, between
            // frames, rather than from the disk in the middle of one.
            if (d->loadTexture)
                d->loadTexture(ids[k], k == 0 ? flags : flags | IM_EXTRA_LOAD_FLAGS);
            else
                ResLoad(ids[k]);
            TextureHasTransparency(ids[k]);
        }
    }
    if (progress) {
        progress(8192);
        progress(8192);
    }
}

void Draw3DLoadTextures(ProgressFn progress)
{
    if (!draw3d.installed) return;
    if (draw3d.texturesLoaded) {
        LogPrintf(LOG_WARN, "Draw3DLoadTextures called when textures are already loaded");
        Draw3DUnloadTextures();
    } else {
        LogPrintf(LOG_INFO, "Draw3DLoadTextures");
    }
    D3Driver* d = Drv();
    ForgetTransparency();
    if (d->loadTexture) {
        if (d->startTextures) d->startTextures();
        LoadLoop(progress);
        if (d->endTextures) d->endTextures(progress);
    } else {
        LoadLoop(progress);
    }
    draw3d.texturesLoaded = 1;
    IntMatRunChangeHandlers();
}

// Sprites read from files are dropped and read again on their next use; one made in memory
// has nowhere to come back from and stays.
static void UnloadSprite(ResId id)
{
    if (!id || ResIsLoaded(id) != 0) return;
    if (Drv()->freeTexture) Drv()->freeTexture(id);
    if (ResName(id)[0]) ResFreeAlways(id);
}

void Draw3DUnloadTextures(void)
{
    if (!draw3d.installed) return;
    draw3d.texturesLoaded = 0;
    ForgetTransparency();
    int count = IntMatCount();
    for (int i = 0; i < count; i++) {
        UnloadSprite(IntMatSprite(i));
        UnloadSprite(IntMatSprite2(i));
        UnloadSprite(IntMatSprite3(i));
    }
    for (int i = 0; i < draw3d.spriteCount; i++) UnloadSprite(draw3d.sprites[i].id);
    if (Drv()->afterUnload) Drv()->afterUnload();
}

int Draw3DTexturesLoaded(void) { return draw3d.texturesLoaded; }

int Draw3DAddTextSprite(ResId id, uint32_t flags)
{
    if (!draw3d.installed || !id || draw3d.spriteCount >= D3_MAX_TEXT_SPRITES) return 1;
    for (int i = 0; i < draw3d.spriteCount; i++)
        if (draw3d.sprites[i].id == id) return 1;
    draw3d.sprites[draw3d.spriteCount].id = id;
    draw3d.sprites[draw3d.spriteCount].flags = flags;
    draw3d.spriteCount++;
    return 0;
}

int Draw3DRemoveTextSprite(ResId id)
{
    for (int i = 0; i < draw3d.spriteCount; i++)
        if (draw3d.sprites[i].id == id) {
            memmove(&draw3d.sprites[i], &draw3d.sprites[i + 1], sizeof(D3TextSprite) * (size_t)(draw3d.spriteCount - i - 1));
            draw3d.spriteCount--;
            return 0;
        }
    return 1;
}

int Draw3DTextSpriteCount(void) { return draw3d.spriteCount; }

// ============================================================================================
// Statistics and pools
// ============================================================================================

const GlDrvStats* Draw3DStats(void) { return &draw3d.stats; }
int Draw3DNodeCapacity(void) { return draw3d.nodeCount; }
int Draw3DFreeNodes(void) { return draw3d.freeCount; }
