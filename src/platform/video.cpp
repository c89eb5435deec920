// Video modes, the framebuffer update cycle and drawing targets. The framebuffer is plain
// memory owned here; the back end only sets its window up for a mode and presents frames.
#include <cstdlib>
#include <cstring>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/log.h"
#include "platform/backend.h"

static struct {
    int installed;
    // the mode record of the last successful set
    int set;
    int width, height, colourCode, type;
    int force;
    // the framebuffer
    uint8_t* frame;
    int pitch, bpp;
    // the drawing target and its clip rectangle
    VideoSurface target;
    int clip[4];
    int savedClip[4];
    int partActive;
    int bufferActive;          // a virtual screen or a sprite is the target
    ResId virtScreen;
    // the update cycle
    VideoHookFn hooks[VIDEO_HOOK_LISTS][VIDEO_MAX_HOOKS];
    int hookCount[VIDEO_HOOK_LISTS];
    VideoLockFn lockOverride;
    VideoUnlockFn unlockOverride;
    VideoHookFn deferred;
    int deferredReady;
    VideoHookFn barrier;       // finishes queued drawing
    int locked;
    ResId pointerSprite;
    // colours
    uint32_t colours[256];     // 0x00RRGGBB
    uint32_t pixelValues[256]; // the same colours as framebuffer pixels
} vid;

// Queued drawing is finished before pixels are touched through this layer.
static inline void Barrier(void)
{
    if (vid.barrier) vid.barrier();
}


const uint8_t kInterfacePalette[4 + 8 * 3] = {
    248, 0, 8, 0,
    0, 0, 63,     // 248 blue
    0, 63, 0,     // 249 green
    48, 0, 0,     // 250 dark red
    16, 16, 16,   // 251 dark grey
    32, 32, 32,   // 252 grey
    48, 48, 48,   // 253 light grey
    63, 63, 0,    // 254 yellow
    63, 63, 63,   // 255 white
};

// ---- colours --------------------------------------------------------------------------------

static uint32_t PackFor(int bpp, uint8_t r, uint8_t g, uint8_t b)
{
    if (bpp == 16) return (uint32_t)(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
    return ((uint32_t)r << 16) | ((uint32_t)g << 8) | b;
}

uint32_t VideoPackRGB(uint8_t r, uint8_t g, uint8_t b) { return PackFor(vid.bpp, r, g, b); }

void VideoUnpackPixel(const uint8_t* pixel, int bpp, uint8_t* r, uint8_t* g, uint8_t* b)
{
    if (bpp == 16) {
        uint16_t p = GetU16(pixel);
        *r = (uint8_t)((p >> 11) << 3);
        *g = (uint8_t)(((p >> 5) & 63) << 2);
        *b = (uint8_t)((p & 31) << 3);
    } else if (bpp == 32) {
        uint32_t p = GetU32(pixel);
        *r = (uint8_t)(p >> 16);
        *g = (uint8_t)(p >> 8);
        *b = (uint8_t)p;
    } else {
        *r = *g = *b = 0;
    }
}

static void RebuildPixelTable(void)
{
    for (int i = 0; i < 256; i++) {
        uint32_t c = vid.colours[i];
        vid.pixelValues[i] = VideoPackRGB((uint8_t)(c >> 16), (uint8_t)(c >> 8), (uint8_t)c);
    }
}

void VideoSetColour(int index, uint8_t r, uint8_t g, uint8_t b)
{
    Barrier();
    if (index < 0 || index > 255) return;
    vid.colours[index] = ((uint32_t)r << 16) | ((uint32_t)g << 8) | b;
    vid.pixelValues[index] = VideoPackRGB(r, g, b);
}

void VideoLoadPalette(const uint8_t* block, size_t size)
{
    Barrier();
    if (!block || size < 4) return;
    int first = GetI16(block, 0);
    int count = GetI16(block, 2);
    for (int k = 0; k < count; k++) {
        int index = first + k;
        if (!InBlock(4 + 3 * (uint64_t)k, 3, size)) break;
        if (index < 0 || index > 255) continue;
        const uint8_t* e = block + 4 + 3 * k;
        VideoSetColour(index, (uint8_t)(e[0] << 2), (uint8_t)(e[1] << 2), (uint8_t)(e[2] << 2));
    }
}

void VideoLoadInterfacePalette(void) { VideoLoadPalette(kInterfacePalette, sizeof kInterfacePalette); }

const uint32_t* VideoColourTable(void) { return vid.colours; }
const uint32_t* VideoPixelTable(void) { return vid.pixelValues; }

// ---- targets and clipping -------------------------------------------------------------------

static void TargetScreen(void)
{
    vid.target.pixels = vid.frame;
    vid.target.pitch = vid.pitch;
    vid.target.width = vid.width;
    vid.target.height = vid.height;
    vid.target.bpp = vid.bpp;
    vid.target.originX = 0;
    vid.target.originY = 0;
}

void VideoSetClip(int x0, int y0, int x1, int y1)
{
    // The clip rectangle never leaves the buffer behind the target.
    const VideoSurface& t = vid.target;
    if (x0 < -t.originX) x0 = -t.originX;
    if (y0 < -t.originY) y0 = -t.originY;
    if (x1 > t.width - 1 - t.originX) x1 = t.width - 1 - t.originX;
    if (y1 > t.height - 1 - t.originY) y1 = t.height - 1 - t.originY;
    vid.clip[0] = x0;
    vid.clip[1] = y0;
    vid.clip[2] = x1;
    vid.clip[3] = y1;
}

void VideoGetClip(int* x0, int* y0, int* x1, int* y1)
{
    if (x0) *x0 = vid.clip[0];
    if (y0) *y0 = vid.clip[1];
    if (x1) *x1 = vid.clip[2];
    if (y1) *y1 = vid.clip[3];
}

void VideoExtent(int* width, int* height)
{
    if (width) *width = vid.width;
    if (height) *height = vid.height;
}

int VideoBitsPerPixel(void) { return vid.bpp; }
void VideoSetDrawBarrier(VideoHookFn fn) { vid.barrier = fn; }
const VideoSurface* VideoTargetQueued(void) { return &vid.target; }

const VideoSurface* VideoTarget(void)
{
    Barrier();
    return &vid.target;
}

void VideoReadPixel(int x, int y, uint8_t* r, uint8_t* g, uint8_t* b)
{
    Barrier();
    if (!vid.frame || x < 0 || y < 0 || x >= vid.width || y >= vid.height) {
        *r = *g = *b = 0;
        return;
    }
    VideoUnpackPixel(vid.frame + (size_t)y * vid.pitch + (size_t)x * (vid.bpp / 8), vid.bpp, r, g, b);
}

void VideoClear(int colour)
{
    Barrier();
    const VideoSurface& t = vid.target;
    if (!t.pixels || vid.clip[0] > vid.clip[2] || vid.clip[1] > vid.clip[3]) return;
    uint32_t c = vid.colours[colour & 255];
    uint32_t value = t.bpp == 8 ? (uint32_t)(colour & 255) : PackFor(t.bpp, (uint8_t)(c >> 16), (uint8_t)(c >> 8), (uint8_t)c);
    int bytes = t.bpp / 8;
    size_t n = (size_t)(vid.clip[2] - vid.clip[0] + 1);
    uint8_t* first = nullptr;
    for (int y = vid.clip[1]; y <= vid.clip[3]; y++) {
        uint8_t* row = t.pixels + (size_t)(t.originY + y) * t.pitch + (size_t)(t.originX + vid.clip[0]) * bytes;
        if (first) {
            // Every row is the same: copy the first.
            memcpy(row, first, n * bytes);
            continue;
        }
        for (size_t x = 0; x < n; x++) {
            if (bytes == 1) row[x] = (uint8_t)value;
            else if (bytes == 2) PutU16(row, x * 2, (uint16_t)value);
            else PutU32(row, x * 4, value);
        }
        first = row;
    }
}

int VideoVirtPart(int x, int y, int width, int height)
{
    Barrier();
    if (vid.partActive) FatalError("VideoVirtPart: Already active!");
    vid.partActive = 1;
    memcpy(vid.savedClip, vid.clip, sizeof vid.clip);
    TargetScreen();
    vid.target.originX = x;
    vid.target.originY = y;
    VideoSetClip(0, 0, width - 1, height - 1);
    return vid.clip[0] <= vid.clip[2] && vid.clip[1] <= vid.clip[3];
}

void VideoVirtPartEnd(void)
{
    Barrier();
    if (!vid.partActive) return;
    vid.partActive = 0;
    TargetScreen();
    memcpy(vid.clip, vid.savedClip, sizeof vid.clip);
}

int VideoVirtPartOrigin(int* x, int* y)
{
    if (!vid.partActive) return 0;
    if (x) *x = vid.target.originX;
    if (y) *y = vid.target.originY;
    return 1;
}

void VideoBeginBuffer(uint8_t* pixels, int pitch, int width, int height, int bpp)
{
    Barrier();
    if (vid.partActive || vid.bufferActive) FatalError("VideoVirtScreen: Already active!");
    vid.bufferActive = 1;
    memcpy(vid.savedClip, vid.clip, sizeof vid.clip);
    vid.target.pixels = pixels;
    vid.target.pitch = pitch;
    vid.target.width = width;
    vid.target.height = height;
    vid.target.bpp = bpp;
    vid.target.originX = 0;
    vid.target.originY = 0;
    VideoSetClip(0, 0, width - 1, height - 1);
}

void VideoEndBuffer(void)
{
    Barrier();
    if (!vid.bufferActive) return;
    vid.bufferActive = 0;
    TargetScreen();
    memcpy(vid.clip, vid.savedClip, sizeof vid.clip);
}

void VideoVirtScreen(ResId id, int width, int height)
{
    if (vid.partActive || vid.bufferActive) FatalError("VideoVirtScreen: Already active!");
    int bytes = vid.bpp ? vid.bpp / 8 : 4;
    uint8_t* data = (uint8_t*)ResOpen(id);
    if (width <= 0 || height <= 0 || ResSize(id) < (size_t)width * height * bytes) {
        ResClose(id);
        FatalError("VideoVirtScreen: buffer too small");
    }
    VideoBeginBuffer(data, width * bytes, width, height, bytes * 8);
    vid.virtScreen = id;
}

void VideoVirtScreenEnd(void)
{
    if (!vid.virtScreen) return;
    VideoEndBuffer();
    ResClose(vid.virtScreen);
    vid.virtScreen = 0;
}

// ---- modes ----------------------------------------------------------------------------------

static void FreeFrame(void)
{
    free(vid.frame);
    vid.frame = nullptr;
    vid.width = vid.height = vid.pitch = vid.bpp = 0;
    TargetScreen();
}

static void RunDeferredNow(void)
{
    VideoHookFn fn = vid.deferred;
    vid.deferred = nullptr;
    vid.deferredReady = 0;
    if (fn) {
        fn();
        if (vid.locked) VideoEndUpdate();
    }
}

void VideoInstall(void)
{
    if (vid.installed) return;
    vid.installed = 1;
    vid.set = 0;
    RegisterExit(VideoRemove);
}

void VideoRemove(void)
{
    Barrier();
    if (!vid.installed) return;
    if (vid.set) PlatDriverCurrent()->ReleaseMode();
    FreeFrame();
    vid.set = 0;
    vid.installed = 0;
    vid.locked = 0;
    vid.partActive = 0;
    vid.bufferActive = 0;
    vid.virtScreen = 0;
    vid.deferred = nullptr;
    vid.deferredReady = 0;
    memset(vid.hookCount, 0, sizeof vid.hookCount);
    vid.lockOverride = nullptr;
    vid.unlockOverride = nullptr;
    vid.pointerSprite = 0;
}

int VideoIsInstalled(void) { return vid.installed; }

void VideoForceModeChange(void) { vid.force = 1; }

int VideoSetMode(int width, int height, int colourCode, int type)
{
    Barrier();
    if (width == 0) {
        if (vid.set) PlatDriverCurrent()->ReleaseMode();
        FreeFrame();
        vid.set = 0;
        return 0;
    }
    if (type < VIDEO_FULLSCREEN_BUFFERED || type > VIDEO_WINDOWED_SOFTWARE_AND_HARDWARE) FatalError("VideoSetMode - invalid mode");
    PlatShowWindowOnce();
    if (!vid.partActive && !vid.bufferActive) {
        vid.clip[0] = vid.clip[1] = 0;
        vid.clip[2] = width - 1;
        vid.clip[3] = height - 1;
    }
    if (vid.set && !vid.force && width == vid.width && height == vid.height && colourCode == vid.colourCode &&
        type == vid.type)
        return 0;
    vid.force = 0;
    RunDeferredNow();

    static const int depths[4] = {8, 16, 24, 32};
    if (colourCode < 0 || colourCode > 3 || height <= 0 || width < 0) return 1;
    int bpp = depths[colourCode];
    int windowed = type == VIDEO_WINDOWED || type == VIDEO_WINDOWED_SOFTWARE || type == VIDEO_WINDOWED_HARDWARE ||
                   type == VIDEO_WINDOWED_SOFTWARE_AND_HARDWARE;
    // The mode types of the 3D back end ask for a screen it can draw on.
    LogPrintf(LOG_INFO, "WVideoSetMode setting %dx%d, %d bits, %s%s", width, height, bpp,
              windowed ? "windowed" : "full screen", type >= VIDEO_WINDOWED_HARDWARE ? ", for the 3D back end" : "");
    if (PlatDriverCurrent()->SetMode(width, height, bpp) != 0) {
        LogPrintf(LOG_WARN, "WVideoSetMode: %dx%d at %d bits refused", width, height, bpp);
        return 1;
    }
    uint8_t* frame = (uint8_t*)calloc((size_t)width * height, (size_t)bpp / 8);
    if (!frame) {
        PlatDriverCurrent()->ReleaseMode();
        return 1;
    }
    FreeFrame();
    vid.frame = frame;
    vid.width = width;
    vid.height = height;
    vid.bpp = bpp;
    vid.pitch = width * (bpp / 8);
    vid.colourCode = colourCode;
    vid.type = type;
    vid.set = 1;
    TargetScreen();
    vid.clip[0] = vid.clip[1] = 0;
    vid.clip[2] = width - 1;
    vid.clip[3] = height - 1;
    RebuildPixelTable();
    LogPrintf(LOG_INFO, "WVideoSetMode exit OK");
    for (int i = 0; i < 2; i++) {
        if (VideoBeginUpdate(1)) {
            VideoClear(0);
            VideoEndUpdate();
        }
    }
    return 0;
}

int VideoModeWidth(void) { return vid.set ? vid.width : 0; }
int VideoModeHeight(void) { return vid.set ? vid.height : 0; }
int VideoModeType(void) { return vid.set ? vid.type : 0; }

// ---- the update cycle -----------------------------------------------------------------------

static void RunHooks(int list)
{
    for (int i = 0; i < vid.hookCount[list]; i++) vid.hooks[list][i]();
}

int VideoAddHook(int list, VideoHookFn fn)
{
    if (list < 0 || list >= VIDEO_HOOK_LISTS) return 1;
    for (int i = 0; i < vid.hookCount[list]; i++)
        if (vid.hooks[list][i] == fn) return 0;
    if (vid.hookCount[list] >= VIDEO_MAX_HOOKS) return 1;
    vid.hooks[list][vid.hookCount[list]++] = fn;
    return 0;
}

void VideoSetLockOverride(VideoLockFn fn) { vid.lockOverride = fn; }
void VideoSetUnlockOverride(VideoUnlockFn fn) { vid.unlockOverride = fn; }

int VideoBeginUpdate(int forced)
{
    if (vid.deferred && vid.deferredReady) RunDeferredNow();
    if (!vid.set) return 0;
    if (!forced && !PlatDriverCurrent()->Visible()) return 0;
    RunHooks(VIDEO_HOOK_BEFORE_LOCK);
    int ok = vid.lockOverride ? vid.lockOverride() : vid.frame != nullptr;
    if (!ok) return 0;
    vid.locked = 1;
    if (!vid.partActive && !vid.bufferActive) TargetScreen();
    RunHooks(VIDEO_HOOK_AFTER_LOCK);
    return 1;
}

void VideoEndUpdate(void)
{
    Barrier();
    if (vid.deferred) {
        vid.deferredReady = 1;
        return;
    }
    if (!vid.locked) return;
    RunHooks(VIDEO_HOOK_BEFORE_UNLOCK);
    if (vid.pointerSprite && !vid.partActive && !vid.bufferActive) {
        int x, y;
        PointerPos(&x, &y);
        SpriteDraw(vid.pointerSprite, x, y);
    }
    if (vid.unlockOverride)
        vid.unlockOverride();
    else {
        PlatGLRelease();
        PlatDriverCurrent()->Present(vid.frame, vid.pitch, vid.width, vid.height, vid.bpp);
    }
    vid.locked = 0;
    RunHooks(VIDEO_HOOK_AFTER_UNLOCK);
}

int VideoInUpdate(void) { return vid.locked; }

void VideoSetDeferred(VideoHookFn fn)
{
    vid.deferred = fn;
    vid.deferredReady = 0;
}

int VideoDeferredPending(void) { return vid.deferred != nullptr; }
int VideoDeferredReady(void) { return vid.deferredReady; }

int VideoRunDeferred(void)
{
    if (!vid.deferred || !vid.deferredReady) return 0;
    RunDeferredNow();
    return 1;
}

void VideoSetPointerSprite(ResId id) { vid.pointerSprite = id; }
