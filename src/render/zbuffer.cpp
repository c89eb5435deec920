// The software Z-buffer's depth buffer and frame: one 32-bit depth (2^39 / z, larger = nearer)
// per pixel of the frame's clip rectangle, from a byte budget given at install. The frame
// keeps the drawing target it started on; rows of it that do not fit the budget are not drawn.
#include "render/zbuffer.h"

#include <cstdlib>
#include <cstring>

#include "base/fatal.h"
#include "base/log.h"
#include "base/workpool.h"
#include "platform/video.h"
#include "render/pixpack.h"
#include "render/scan.h"

static const int64_t MAX_BUDGET = 1ll << 30;

// Each warning is logged once.
enum {
    WARNED_NOT_INSTALLED = 0x1,
    WARNED_TARGET_DEPTH = 0x2,
    WARNED_ROWS_LOST = 0x4,
};

static struct {
    int installed;
    int32_t* depth;
    int64_t capacity;        // depth entries
    float nearZ, farZ;
    int32_t background[3];
    int open;                // a frame has started and its target is known
    ZBufferTarget frame;     // rows y0..y1 all have depth
    int depthWidth;
    int warned;              // WARNED_*
    ZBufferStats stats;
} zb = {0, nullptr, 0, (float)D3_NEAREST_Z, (float)D3_DEPTH_LIMIT, {0, 0, 0}, 0, {}, 0, 0, {}};

void ZBufferRemove(void)
{
    ScanRelease();
    WorkPoolStop();
    if (!zb.installed) return;
    free(zb.depth);
    zb.depth = nullptr;
    zb.capacity = 0;
    zb.installed = 0;
    zb.open = 0;
}

int ZBufferInstall(int64_t bytes)
{
    if (bytes < 0 || bytes > MAX_BUDGET) return 1;
    int64_t entries = bytes / 4;
    int32_t* depth = (int32_t*)malloc((size_t)(entries ? entries : 1) * sizeof(int32_t));
    if (!depth) return 1;
    free(zb.depth);
    zb.depth = depth;
    zb.capacity = entries;
    zb.open = 0;
    zb.installed = 1;
    PixPackInstall();
    RegisterExit(ZBufferRemove);
    return 0;
}

int ZBufferIsInstalled(void) { return zb.installed; }

uint32_t ZBufferDepthOf(float z) { return (uint32_t)ZBufferDepth(z); }

void ZBufferDepthRange(float nearZ, float farZ)
{
    zb.nearZ = nearZ;
    zb.farZ = farZ;
}

void ZBufferSetBackground(int32_t red, int32_t green, int32_t blue)
{
    zb.background[0] = red;
    zb.background[1] = green;
    zb.background[2] = blue;
}

int ZBufferVideoTarget(ZBufferTarget* t)
{
    const VideoSurface* s = VideoTarget();
    if (!s || !s->pixels || !PixPackForTarget(s->bpp)) return 0;
    int x0, y0, x1, y1;
    VideoGetClip(&x0, &y0, &x1, &y1);
    if (x1 < x0 || y1 < y0) return 0;
    t->pixels = s->pixels;
    t->pitch = s->pitch;
    t->bytes = s->bpp / 8;
    t->originX = s->originX;
    t->originY = s->originY;
    t->x0 = x0;
    t->y0 = y0;
    t->x1 = x1;
    t->y1 = y1;
    return 1;
}

void ZBufferFrameStart(void)
{
    ScanFinish();   // the last frame's queue belongs to its counts and depth
    if (!((double)zb.nearZ >= (double)D3_NEAREST_Z)) FatalError("ZBuffer - ZMin MUST be  >= ZBufferMinZ");
    if (!((double)zb.farZ < 2147483648.0)) FatalError("ZBuffer - ZMax MUST be  <= ZBufferMaxZ");
    memset(&zb.stats, 0, sizeof zb.stats);
    zb.open = 0;
    if (!zb.installed) {
        if (!(zb.warned & WARNED_NOT_INSTALLED))
            LogPrintf(LOG_WARN, "ZBUFFER: frame started before ZBufferInstall; nothing is drawn");
        zb.warned |= WARNED_NOT_INSTALLED;
        return;
    }
    ZBufferTarget t;
    if (!ZBufferVideoTarget(&t)) {
        if (!(zb.warned & WARNED_TARGET_DEPTH))
            LogPrintf(LOG_WARN, "ZBUFFER: the drawing target is not 16 or 32 bits; nothing is drawn");
        zb.warned |= WARNED_TARGET_DEPTH;
        return;
    }
    int width = t.x1 - t.x0 + 1, height = t.y1 - t.y0 + 1;
    int64_t rows = zb.capacity / width;
    if (rows < height) {
        zb.stats.rowsLost = (uint32_t)(height - rows);
        if (!(zb.warned & WARNED_ROWS_LOST))
            LogPrintf(LOG_WARN, "ZBUFFER: a %dx%d view needs %lld bytes of depth; only its first %lld rows are drawn",
                      width, height, (long long)width * height * 4, (long long)rows);
        zb.warned |= WARNED_ROWS_LOST;
        if (rows == 0) return;
        t.y1 = t.y0 + (int)rows - 1;
    }
    zb.frame = t;
    zb.depthWidth = width;
    memset(zb.depth, 0, (size_t)width * (size_t)(t.y1 - t.y0 + 1) * sizeof(int32_t));
    zb.open = 1;
}

// The flush draws what waits in the bands' queue; the depth stays valid until the next frame
// start for polygons queued behind the end of the frame.
void ZBufferFrameFlush(void) { ScanFinish(); }

int ZBufferSetThreads(int threads)
{
    if (threads <= 0) threads = WorkPoolCores();
    if (WorkPoolThreads() != threads) WorkPoolStart(threads);
    return ScanSetThreads(WorkPoolThreads());
}

int ZBufferFrameTarget(ZBufferTarget* t, int32_t** depth, int* depthWidth)
{
    if (!zb.open) return 0;
    const VideoSurface* s = VideoTargetQueued();
    const ZBufferTarget& f = zb.frame;
    if (!s || s->pixels != f.pixels || s->pitch != f.pitch || s->bpp != f.bytes * 8 || s->originX != f.originX ||
        s->originY != f.originY || PixPackCurrent()->bytes != f.bytes)
        return 0;
    *t = f;
    *depth = zb.depth;
    *depthWidth = zb.depthWidth;
    return 1;
}

void ZBufferCount(uint32_t polygons, uint32_t spans)
{
    zb.stats.polygons += polygons;
    zb.stats.spans += spans;
}

const ZBufferStats* ZBufferGetStats(void) { return &zb.stats; }
