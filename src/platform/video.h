// Video: modes, framebuffer updates, drawing targets, colours. Part of the platform (platform.h
// includes it); the models that keep the display's palette include this part alone.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/res.h"

enum {
    VIDEO_8BIT = 0,
    VIDEO_16BIT = 1,
    VIDEO_24BIT = 2,
    VIDEO_32BIT = 3,
};
// Mode types. The program uses a window for its software drawing (the launcher, and the
// editors with the software renderer) and a window prepared for a hardware renderer.
enum {
    VIDEO_FULLSCREEN_BUFFERED = 0x200,              // full screen, drawn through a memory buffer
    VIDEO_WINDOWED = 0x201,                         // a window sharing the system palette
    VIDEO_FULLSCREEN = 0x202,
    VIDEO_WINDOWED_SOFTWARE = 0x203,                // a window for software drawing
    VIDEO_WINDOWED_HARDWARE = 0x204,                // a window for the hardware renderer
    VIDEO_FULLSCREEN_HARDWARE = 0x205,
    VIDEO_WINDOWED_SOFTWARE_AND_HARDWARE = 0x206,
};
enum {
    VIDEO_HOOK_BEFORE_LOCK = 0,
    VIDEO_HOOK_AFTER_LOCK = 1,
    VIDEO_HOOK_BEFORE_UNLOCK = 2,
    VIDEO_HOOK_AFTER_UNLOCK = 3,
    VIDEO_HOOK_LISTS = 4,
    VIDEO_MAX_HOOKS = 32,
};

typedef void (*VideoHookFn)(void);
typedef int (*VideoLockFn)(void);     // non-zero when the framebuffer is ready to draw into
typedef void (*VideoUnlockFn)(void);

// The current drawing target: the framebuffer, a partition of it, or a virtual screen.
// `pixels` is the first byte of the whole buffer (width x height pixels); target point (x, y)
// is buffer pixel (originX + x, originY + y). The clip rectangle always lies inside the buffer.
struct VideoSurface {
    uint8_t* pixels;
    int pitch;     // bytes from one row to the next
    int width;
    int height;
    int bpp;       // 8, 16 or 32
    int originX;
    int originY;
};

void VideoInstall(void);
void VideoRemove(void);
int VideoIsInstalled(void);
// A width of 0 releases the mode. Returns 0 on success, non-zero when the mode cannot be set.
int VideoSetMode(int width, int height, int colourCode, int type);
// The next VideoSetMode goes to the back end even when it asks for the current mode.
void VideoForceModeChange(void);
int VideoModeWidth(void);
int VideoModeHeight(void);
int VideoModeType(void);

int VideoBeginUpdate(int forced);
void VideoEndUpdate(void);
int VideoInUpdate(void);
int VideoAddHook(int list, VideoHookFn fn);
void VideoSetLockOverride(VideoLockFn fn);
void VideoSetUnlockOverride(VideoUnlockFn fn);
// A function to run once the frame's update has ended (the end-of-frame step calls it).
void VideoSetDeferred(VideoHookFn fn);
int VideoDeferredPending(void);
int VideoDeferredReady(void);
// Runs a ready deferred function, clears it and ends the held update. 1 when one ran.
int VideoRunDeferred(void);

// Clip rectangle of the current target, inclusive corners.
void VideoGetClip(int* x0, int* y0, int* x1, int* y1);
void VideoSetClip(int x0, int y0, int x1, int y1);
void VideoExtent(int* width, int* height);
int VideoBitsPerPixel(void);
const VideoSurface* VideoTarget(void);
// A renderer that queues drawing (the software Z-buffer on several threads) names the function
// that finishes it: whatever reads or writes pixels through the video layer (the target, a
// pixel read, a clear, a change of target, mode or colours, the present) runs it first, so
// the picture is always what was drawn in the order it was drawn. Null: none.
void VideoSetDrawBarrier(VideoHookFn fn);
// The target without running the barrier: only for the renderer that queues into it.
const VideoSurface* VideoTargetQueued(void);
// Reads a framebuffer pixel as 8-bit red, green, blue (black outside the screen).
void VideoReadPixel(int x, int y, uint8_t* r, uint8_t* g, uint8_t* b);
// Fills the clip rectangle of the current target with a palette colour.
void VideoClear(int colour);

// Palette block: first index (i16), count (i16), count x (r, g, b) in 6-bit units.
void VideoLoadPalette(const uint8_t* block, size_t size);
void VideoSetColour(int index, uint8_t r, uint8_t g, uint8_t b);   // 8-bit components
// 256 entries of 0x00RRGGBB (the blue, green, red, 0 bytes of the display colour table).
const uint32_t* VideoColourTable(void);
// 256 entries: each palette colour as a pixel of the current framebuffer format.
const uint32_t* VideoPixelTable(void);
uint32_t VideoPackRGB(uint8_t r, uint8_t g, uint8_t b);

int VideoVirtPart(int x, int y, int width, int height);
void VideoVirtPartEnd(void);
int VideoVirtPartOrigin(int* x, int* y);
// A resource holding width x height pixels of the screen's depth becomes the target.
void VideoVirtScreen(ResId id, int width, int height);
void VideoVirtScreenEnd(void);

void VideoSetPointerSprite(ResId id);

// The interface palette (entries 248 to 255) as a palette block.
extern const uint8_t kInterfacePalette[4 + 8 * 3];
void VideoLoadInterfacePalette(void);

// A pixel of a 16-bit (5-6-5) or 32-bit (X8-R8-G8-B8) surface as 8-bit components, each
// field shifted to the top of its byte.
void VideoUnpackPixel(const uint8_t* pixel, int bpp, uint8_t* r, uint8_t* g, uint8_t* b);
