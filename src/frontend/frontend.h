// The front end as the kernel sees it: what start-up installs above the platform (text,
// fonts, the palette state, the built-in font and the interface colours), and the hooks of
// the launcher and editor stages.
#pragma once
#include <cstdint>

#include "base/res.h"

// Hands the front end's hooks to the kernel; the program entry calls it before AppMain.
void FrontEndRegister(void);
// The start-up hook itself (tests that drive the run states call it through the kernel).
void FrontEndStartup(void);
// The built-in font made at start-up.
ResId FrontEndFont(void);
// Whether this turn draws a frame: something reached the window, a key that moves a camera
// is held, or something that changes by itself (the caret, a note, a window opening) did.
// Always in a headless run. Otherwise the loop sleeps until the desktop has an event.
int FrontEndFrameWanted(void);
enum {
    FRAMES_AFTER_CHANGE = 2,   // a change draws, and so do this many turns after it (the picks it made)
    IDLE_WAKE_MS = 100,        // the longest sleep: timers that show something are looked at this often
};
// The decision alone, for a turn with or without input, a key held, and the signature of what
// changes by itself: 1 draws. Keeps its state between turns.
int FrontEndDrawDecision(int activity, int keyHeld, uint32_t signature);
