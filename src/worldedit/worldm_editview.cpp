// Worldshapes in the 3D view: drawing them with the display filters, the rectangle selection,
// the boxes of selected worldshapes and of the one under the pointer, and picking.
#include <cmath>
#include <cstring>

#include "base/bytes.h"
#include "base/maths.h"
#include "render/draw3d.h"
#include "scene/shapedraw.h"
#include "shapes/shapem.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"
#include "world/worldm.h"
#include "world/worldm_internal.h"

void WorldMShapeOrientation(const uint8_t* worldshape, int16_t out[9])
{
    // Pitch about X first, then yaw about Y, each as the shape code turns points
    // (u' = u cos + w sin, w' = w cos - u sin); out maps shape points into the world.
    int32_t cy = FixCos(GetI16(worldshape, WS_YAW)), sy = FixSin(GetI16(worldshape, WS_YAW));
    int32_t cp = FixCos(GetI16(worldshape, WS_PITCH)), sp = FixSin(GetI16(worldshape, WS_PITCH));
    const int32_t yaw[9] = {cy, 0, sy, 0, FIX_ONE, 0, -sy, 0, cy};
    const int32_t pitch[9] = {FIX_ONE, 0, 0, 0, cp, sp, 0, -sp, cp};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            int64_t sum = 0;
            for (int k = 0; k < 3; k++) sum += (int64_t)yaw[3 * i + k] * pitch[3 * k + j];
            int64_t v = sum >> FIX_SHIFT;
            out[3 * i + j] = (int16_t)(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
        }
}

int WorldMShapeShown(const uint8_t* worldshape)
{
    if (GetU16(worldshape, WP_TYPE) != WP_SHAPE) return 0;
    if (GetU16(worldshape, WS_FLAGS) & WSF_HIDDEN) return 0;
    if (!GetU16(worldshape, WS_HANDLE)) return 0;
    int bit = GetU32(worldshape, WS_NAME) ? 2 : 1;
    return (worldm.filter & bit) != 0;
}

// The eight corners of the shape's box, turned and placed, in world space.
static int WorldCorners(const uint8_t* p, int32_t out[8][3])
{
    ResId handle = GetU16(p, WS_HANDLE);
    if (!ShapeMPrepared(handle)) return 0;
    int32_t lo[3] = {ShapeMMinX(handle), ShapeMMinY(handle), ShapeMMinZ(handle)};
    int32_t hi[3] = {ShapeMMaxX(handle), ShapeMMaxY(handle), ShapeMMaxZ(handle)};
    int16_t m[9];
    WorldMShapeOrientation(p, m);
    for (int c = 0; c < 8; c++) {
        double local[3] = {(double)(c & 1 ? hi[0] : lo[0]), (double)(c & 2 ? hi[1] : lo[1]),
                           (double)(c & 4 ? hi[2] : lo[2])};
        int32_t world[3];
        for (int i = 0; i < 3; i++) {
            double v = GetI32(p, WS_X + 4 * i);
            for (int k = 0; k < 3; k++) v += m[3 * i + k] * local[k] / (double)FIX_ONE;
            world[i] = v > 2147483647.0 ? INT32_MAX : v < -2147483648.0 ? INT32_MIN : (int32_t)v;
        }
        memcpy(out[c], world, sizeof world);
    }
    return 1;
}

// The same corners in camera space.
static int CameraCorners(const uint8_t* p, float out[8][3])
{
    int32_t world[8][3];
    if (!WorldCorners(p, world)) return 0;
    for (int c = 0; c < 8; c++) {
        int32_t cam[3];
        Draw3DWorldToCamera(world[c], cam);
        for (int i = 0; i < 3; i++) out[c][i] = (float)cam[i];
    }
    return 1;
}

static void Widen(const int32_t p[3], int* any, int32_t lo[3], int32_t hi[3])
{
    for (int i = 0; i < 3; i++) {
        if (!*any || p[i] < lo[i]) lo[i] = p[i];
        if (!*any || p[i] > hi[i]) hi[i] = p[i];
    }
    *any = 1;
}

int WorldMContentBox(int selectedOnly, int32_t lo[3], int32_t hi[3])
{
    if (!worldm.installed) return 0;
    int any = 0;
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    {
        if (selectedOnly && !(GetU16(p, WS_FLAGS) & WSF_SELECTED)) continue;
        int32_t corners[8][3];
        if (WorldCorners(p, corners)) {
            for (int c = 0; c < 8; c++) Widen(corners[c], &any, lo, hi);
        } else {
            const int32_t at[3] = {GetI32(p, WS_X), GetI32(p, WS_Y), GetI32(p, WS_Z)};
            Widen(at, &any, lo, hi);
        }
    }
    WORLD_FOR_EACH_NODE(worldm.image, p)
    {
        if (selectedOnly && GetU16(p, WN_SELECTED) != WN_SELECTED_VALUE) continue;
        const int32_t at[3] = {GetI32(p, WN_X), GetI32(p, WN_Y), GetI32(p, WN_Z)};
        Widen(at, &any, lo, hi);
    }
    return any;
}

// The screen rectangle of the projected box: 1, or 0 when a corner lies nearer than the near
// plane (or off any screen).
static int ScreenBox(const uint8_t* p, int out[4], float* depth)
{
    float corners[8][3];
    if (!CameraCorners(p, corners)) return 0;
    float nearest = 0;
    for (int c = 0; c < 8; c++) {
        int x, y;
        if (Draw3DCameraToScreen(corners[c], &x, &y)) return 0;
        if (c == 0 || x < out[0]) out[0] = x;
        if (c == 0 || y < out[1]) out[1] = y;
        if (c == 0 || x > out[2]) out[2] = x;
        if (c == 0 || y > out[3]) out[3] = y;
        if (c == 0 || corners[c][2] < nearest) nearest = corners[c][2];
    }
    if (depth) *depth = nearest;
    return 1;
}

int WorldMDrawShapes(int rectRequest, const int32_t rect[4])
{
    if (!worldm.installed || !Draw3DFrameOpen()) return 0;
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (rect) {
        x0 = rect[0] < rect[2] ? rect[0] : rect[2];
        x1 = rect[0] < rect[2] ? rect[2] : rect[0];
        y0 = rect[1] < rect[3] ? rect[1] : rect[3];
        y1 = rect[1] < rect[3] ? rect[3] : rect[1];
    }
    int drawn = 0;
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    {
        if (!WorldMShapeShown(p)) continue;
        int16_t world[9], relative[9];
        WorldMShapeOrientation(p, world);
        Draw3DRelativeOrientation(world, relative);
        int32_t position[3] = {GetI32(p, WS_X), GetI32(p, WS_Y), GetI32(p, WS_Z)}, camPos[3];
        Draw3DWorldToCamera(position, camPos);
        if (!ShapeDrawPrepared(GetU16(p, WS_HANDLE), camPos, relative, Draw3DDisplayFlags())) continue;
        drawn++;
        if (rect && (rectRequest & 3)) {
            int box[4];
            if (ScreenBox(p, box, nullptr) && box[0] >= x0 && box[2] <= x1 && box[1] >= y0 && box[3] <= y1) {
                uint16_t f = GetU16(p, WS_FLAGS);
                PutU16(p, WS_FLAGS, (uint16_t)(rectRequest & 1 ? f | WSF_SELECTED : f & ~WSF_SELECTED));
            }
        }
    }
    return drawn;
}

// The twelve edges of a worldshape's box in screen lines.
static void BoxLines(const uint8_t* p, int colour)
{
    float corners[8][3];
    if (!CameraCorners(p, corners)) return;
    int sx[8], sy[8], ok[8];
    for (int c = 0; c < 8; c++) ok[c] = !Draw3DCameraToScreen(corners[c], &sx[c], &sy[c]);
    for (int a = 0; a < 8; a++)
        for (int bit = 1; bit < 8; bit <<= 1) {
            int b = a | bit;
            if (b == a || !ok[a] || !ok[b]) continue;
            DrawLine(sx[a], sy[a], sx[b], sy[b], colour);
        }
}

void WorldMDrawSelectionBoxes(int colour)
{
    if (!worldm.installed) return;
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    if ((GetU16(p, WS_FLAGS) & WSF_SELECTED) && WorldMShapeShown(p)) BoxLines(p, colour);
}

void WorldMDrawPointedShape(uint16_t id, int colour)
{
    uint8_t* p = WorldMShapeFindData(id);
    if (!p || !WorldMShapeShown(p)) return;
    BoxLines(p, colour);
    int box[4];
    if (!ScreenBox(p, box, nullptr)) return;
    const char* name = WorldMShapeName(p);
    char first[8];
    strcpy(first, name ? name : "");
    const char* file = WorldMShapeFileName(p + WS_FILE);
    TextSetColour(colour);
    TextPrint(box[2] + 4, box[1], "%s", name ? first : "(TERRAIN)");
    TextPrint(box[2] + 4, box[1] + TextLineHeight(), "%s", file ? file : "");
}

uint16_t WorldMPick(int x, int y)
{
    if (!worldm.installed) return 0;
    uint16_t best = 0;
    float bestDepth = 0;
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    {
        if (!WorldMShapeShown(p)) continue;
        int box[4];
        float depth;
        if (!ScreenBox(p, box, &depth)) continue;
        if (x < box[0] || x > box[2] || y < box[1] || y > box[3]) continue;
        if (!best || depth < bestDepth) {
            best = GetU16(p, WS_ID);
            bestDepth = depth;
        }
    }
    return best;
}
