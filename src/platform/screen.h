// The picture in the window: how the program's logical screen is shown in a native window of
// any size (whole-number scales, centred, so that every logical pixel is an exact square of
// screen pixels), where a pointer position in the window lands on the logical screen, which
// logical screen a window of the "Window" screen holds, and the UI scale (1 to 4) with its
// automatic choice from the desktop; and the window itself as the editor sees it (its size,
// the density of its display, waiting for its events while idle).
#pragma once

enum {
    SCREEN_MIN_WIDTH = 800,    // the smallest logical screen of the "Window" screen
    SCREEN_MIN_HEIGHT = 600,
    SCREEN_MAX_SIDE = 8192,    // the largest logical screen side any back end takes
    SCREEN_SCALE_MIN = 1,
    SCREEN_SCALE_MAX = 4,
    SCREEN_DPI_UNIT = 96,      // the density of a scale-1 display
};

// Where the picture goes in the window: the rectangle in window pixels.
struct ScreenRect {
    int x, y, width, height;
};

// The largest whole number k >= 1 with k x the picture inside the window; 0 when not even
// the picture at 1:1 fits.
int ScreenWholeScale(int windowW, int windowH, int pictureW, int pictureH);
// The picture at its largest whole scale, centred. A window smaller than the picture shows
// it shrunk to fit with its shape kept (the only case where a scale is not whole).
ScreenRect ScreenLetterbox(int windowW, int windowH, int pictureW, int pictureH);
// A window position (pixels, may lie outside the picture) to a picture position: exact for
// whole scales (window pixel x shows picture pixel (x - rect.x) / scale), clamped into the
// picture.
void ScreenWindowToPicture(const ScreenRect& rect, int pictureW, int pictureH, int wx, int wy, int* px, int* py);
// The "Window" screen's logical size for a window of windowW x windowH pixels at a scale:
// the window divided by the scale, rounded down, at least 800 x 600 and at most the largest side.
void ScreenLogicalSize(int windowW, int windowH, int scale, int* width, int* height);

// The automatic UI scale: GDK_SCALE, else QT_SCALE_FACTOR (a number, fractions rounded to
// the nearest whole, halves up), else the display's density / 96 rounded down; at least 1,
// at most SCREEN_SCALE_MAX. A variable that is unset, empty or no number is passed over;
// dpi <= 0 means unknown.
int ScreenAutoScale(const char* gdkScale, const char* qtScaleFactor, float dpi);
// A scale factor as the desktop writes it ("2", "1.5"): 0 and the whole scale (at least 1),
// or 1 when the text is no positive number.
int ScreenParseFactor(const char* text, int* scale);
// "N" with N a whole number from 1 to 4: 0, else 1.
int ScreenParseScale(const char* text, int* scale);
// "WxH" with both sides whole numbers: 0, else 1 (no range check).
int ScreenParseSize(const char* text, int* width, int* height);

// The UI scale in force (1 until set); a value outside 1..4 is brought into it.
void ScreenSetUiScale(int scale);
int ScreenUiScale(void);

// ---- the window (the platform's back end answers) -------------------------------------------

// The window's drawable size in screen pixels; the mode's size before the window has one.
void PlatWindowPixels(int* width, int* height);
// Asks for a window of width x height screen pixels (held inside the desktop); 0 and 0 fill
// the desktop's usable area. The change shows in PlatWindowPixels when the desktop made it.
void PlatSetWindowPixels(int width, int height);
// The headless window resized to width x height screen pixels, as the script's `resize` does.
void PlatHeadlessResize(int width, int height);
// The display's density in dots per inch; 0 when unknown.
float PlatDisplayDpi(void);
// Sleeps until a native event waits or ms milliseconds have passed (the idle loop); returns
// at once in a headless run.
void PlatWaitEvent(int ms);
// Whether anything reached the window since the last call (input, a resize, an expose, a
// dropped file): the program then draws a frame. Taken once.
int PlatTakeActivity(void);
// Whether a key other than a modifier or a pointer button is held (a view's camera may move).
int KeyAnyHeld(void);
