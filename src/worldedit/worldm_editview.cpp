// Worldshapes in the 3D view: drawing them with the display filters, the rectangle selection,
// the boxes of selected worldshapes and of the one under the pointer, and picking.
#include <cmath>
#include <cstring>

#include "base/bytes.h"
#include "render/draw3d.h"
#include "scene/shapedraw.h"
#include "shapes/shapem.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"
#include "world/worldm.h"
#include "worldedit/worldm_editview.h"

// Walks over the worldshapes of the edited world.
#define FOR_EACH_WORLDSHAPE(p)                                                                \
    for (uint8_t* p = WorldMFirstPacket(WorldMImage()); p; p = WorldMNextPacket(WorldMImage(), p)) \
        if (GetU16(p, WP_TYPE) == WP_SHAPE)

// The same corners in camera space.
static int CameraCorners(const uint8_t* p, float out[8][3])
{
    int32_t world[8][3];
    if (!WorldMShapeCorners(p, world)) return 0;
    for (int c = 0; c < 8; c++) {
        int32_t cam[3];
        Draw3DWorldToCamera(world[c], cam);
        for (int i = 0; i < 3; i++) out[c][i] = (float)cam[i];
    }
    return 1;
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
    if (!WorldMIsInstalled() || !Draw3DFrameOpen()) return 0;
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (rect) {
        x0 = rect[0] < rect[2] ? rect[0] : rect[2];
        x1 = rect[0] < rect[2] ? rect[2] : rect[0];
        y0 = rect[1] < rect[3] ? rect[1] : rect[3];
        y1 = rect[1] < rect[3] ? rect[3] : rect[1];
    }
    int drawn = 0;
    FOR_EACH_WORLDSHAPE(p)
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
    if (!WorldMIsInstalled()) return;
    FOR_EACH_WORLDSHAPE(p)
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
    if (!WorldMIsInstalled()) return 0;
    uint16_t best = 0;
    float bestDepth = 0;
    FOR_EACH_WORLDSHAPE(p)
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
