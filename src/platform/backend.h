// The table a platform back end fills. Only the platform's own files include this header;
// everything else goes through platform.h.
#pragma once
#include <cstdint>

#include "platform/platform.h"

struct PlatDriver {
    const char* name;
    int (*Init)(const PlatOptions* options);           // 0 on success
    void (*Shutdown)(void);
    int (*CreateWindow)(const char* title);            // 1 on success
    void (*DestroyWindow)(void);
    void (*ShowWindow)(void);
    void (*DesktopRect)(int32_t rect[4]);
    // Collects native events: window and pointer events through PlatPostMessage, keys
    // through InputQueueKey. Called once per message drain.
    void (*Pump)(void);
    int (*SetMode)(int width, int height, int bpp);    // 0 on success
    void (*ReleaseMode)(void);
    int (*Visible)(void);                              // 0 while minimised
    void (*Present)(const uint8_t* pixels, int pitch, int width, int height, int bpp);
    uint32_t (*Ticks)(void);
    int (*MessageBox)(const char* title, const char* text, int flags);
    // Lets go of any GL context the back end keeps current for presenting, so that the
    // program's own can be made current; the back end takes its own back when it presents.
    void (*ReleaseGL)(void);
    // Brings the window to the front (a file handed in from another start); null: nothing to do.
    void (*RaiseWindow)(void);
    void (*WindowPixels)(int* width, int* height);
    void (*SetWindowPixels)(int width, int height);   // 0, 0: the desktop's usable area
    float (*DisplayDpi)(void);                         // 0: unknown
    void (*WaitEvent)(int ms);
};

extern const PlatDriver platHeadlessDriver;
extern const PlatDriver platSdlDriver;

const PlatDriver* PlatDriverCurrent(void);
// The SDL back end's key mapping: an SDL scancode to a scan code, 0 for keys without one.
int SdlScanToKey(int sdlScancode);
// The SDL back end's translation of one event into native messages and queued keys; its
// pump calls it for every event (tests feed it events without a display).
union SDL_Event;
void SdlTranslateEvent(const SDL_Event* event);

// Something reached the window (any event of the desktop's).
void PlatMarkActivity(void);

// Makes a buffer the drawing target (sprites drawn into). Fatal when another target is active.
void VideoBeginBuffer(uint8_t* pixels, int pitch, int width, int height, int bpp);
void VideoEndBuffer(void);
// The answer a box takes when nobody gives one: OK, or Yes.
int PlatDefaultAnswer(int flags);
