// The runtime world's picture: the terrain, then the copies a frame draws, through the 3D
// pipeline. Kept apart from the display's tables so that what reads runtime worlds needs no
// renderer.
#include <cstdint>

#include "base/bytes.h"
#include "render/draw3d.h"
#include "scene/shapedraw.h"
#include "scene/terraindraw.h"
#include "world/rtdisp.h"
#include "world/wle.h"
#include "world/worldm.h"

// A copy's orientation: a static copy's geometry was turned when it was archived, so it stands
// as it is; a dynamic one turns by its yaw and pitch, as the edit world's worldshape did.
static void CopyOrientation(const RtDispCopy& c, int16_t out[9])
{
    uint8_t packet[WP_SHAPE_SIZE] = {};
    if (c.name) {
        PutI16(packet, WS_YAW, c.yaw);
        PutI16(packet, WS_PITCH, c.pitch);
    }
    WorldMShapeOrientation(packet, out);
}

int RtDispDraw(const int32_t eye[3])
{
    const uint32_t* list = nullptr;
    uint32_t count = RtDispVisibleCopies(eye, &list);
    if (!RtDispInstalled() || !Draw3DFrameOpen()) return 0;
    TerrainDraw();
    int drawn = 0;
    for (uint32_t i = 0; i < count; i++) {
        const RtDispCopy* c = WorldGetCopy(list[i]);
        if (!c) continue;
        int16_t world[9], relative[9];
        CopyOrientation(*c, world);
        Draw3DRelativeOrientation(world, relative);
        int32_t camPos[3];
        Draw3DWorldToCamera(c->pos, camPos);
        drawn += ShapeDrawPrepared(WorldGetShape(c->shape), camPos, relative, Draw3DDisplayFlags());
    }
    return drawn;
}
