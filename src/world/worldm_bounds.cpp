// Where the worldshapes stand: their orientation, their boxes in the world, what the display
// filter shows, and the box around the content that a view frames.
#include <cstring>

#include "base/bytes.h"
#include "base/maths.h"
#include "shapes/shapem.h"
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

int WorldMShapeCorners(const uint8_t* p, int32_t out[8][3])
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
        if (WorldMShapeCorners(p, corners)) {
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
