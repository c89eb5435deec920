#include "platform/screen.h"

#include <cstdint>
#include <cstdlib>

static int uiScale = SCREEN_SCALE_MIN;

int ScreenWholeScale(int windowW, int windowH, int pictureW, int pictureH)
{
    if (pictureW <= 0 || pictureH <= 0 || windowW < pictureW || windowH < pictureH) return 0;
    int sx = windowW / pictureW, sy = windowH / pictureH;
    return sx < sy ? sx : sy;
}

ScreenRect ScreenLetterbox(int windowW, int windowH, int pictureW, int pictureH)
{
    ScreenRect r{0, 0, pictureW, pictureH};
    if (pictureW <= 0 || pictureH <= 0 || windowW <= 0 || windowH <= 0) return r;
    int k = ScreenWholeScale(windowW, windowH, pictureW, pictureH);
    if (k > 0) {
        r.width = pictureW * k;
        r.height = pictureH * k;
    } else if ((int64_t)windowW * pictureH <= (int64_t)windowH * pictureW) {
        // Too small for 1:1: the side that runs out first sets the size.
        r.width = windowW;
        r.height = (int)((int64_t)pictureH * windowW / pictureW);
    } else {
        r.height = windowH;
        r.width = (int)((int64_t)pictureW * windowH / pictureH);
    }
    if (r.width < 1) r.width = 1;
    if (r.height < 1) r.height = 1;
    r.x = (windowW - r.width) / 2;
    r.y = (windowH - r.height) / 2;
    return r;
}

// Rounds toward minus infinity, so that the pixels left of the picture all land on its first
// column before the clamp.
static int FloorDiv(int64_t a, int64_t b) { return (int)(a >= 0 ? a / b : -((-a + b - 1) / b)); }

static int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

void ScreenWindowToPicture(const ScreenRect& rect, int pictureW, int pictureH, int wx, int wy, int* px, int* py)
{
    if (rect.width <= 0 || rect.height <= 0 || pictureW <= 0 || pictureH <= 0) {
        *px = *py = 0;
        return;
    }
    *px = Clamp(FloorDiv((int64_t)(wx - rect.x) * pictureW, rect.width), 0, pictureW - 1);
    *py = Clamp(FloorDiv((int64_t)(wy - rect.y) * pictureH, rect.height), 0, pictureH - 1);
}

void ScreenLogicalSize(int windowW, int windowH, int scale, int* width, int* height)
{
    if (scale < SCREEN_SCALE_MIN) scale = SCREEN_SCALE_MIN;
    *width = Clamp(windowW / scale, SCREEN_MIN_WIDTH, SCREEN_MAX_SIDE);
    *height = Clamp(windowH / scale, SCREEN_MIN_HEIGHT, SCREEN_MAX_SIDE);
}

int ScreenParseFactor(const char* text, int* scale)
{
    if (!text) return 1;
    while (*text == ' ') text++;
    if (!*text) return 1;
    char* end = nullptr;
    double v = strtod(text, &end);
    while (end && *end == ' ') end++;
    if (!end || *end || !(v > 0) || v > 1000) return 1;
    // Halves go up: 1.5 is 2, 2.5 is 3.
    int whole = (int)(v + 0.5);
    *scale = whole < SCREEN_SCALE_MIN ? SCREEN_SCALE_MIN : whole;
    return 0;
}

int ScreenAutoScale(const char* gdkScale, const char* qtScaleFactor, float dpi)
{
    int scale = 0;
    if (ScreenParseFactor(gdkScale, &scale) != 0 && ScreenParseFactor(qtScaleFactor, &scale) != 0)
        scale = dpi > 0 ? (int)(dpi / (float)SCREEN_DPI_UNIT) : (int)SCREEN_SCALE_MIN;
    return Clamp(scale, SCREEN_SCALE_MIN, SCREEN_SCALE_MAX);
}

// A whole number of at most 5 digits, the rest of the text after it in *end.
static int ReadWhole(const char* s, int* value, const char** end)
{
    int n = 0, digits = 0;
    while (*s >= '0' && *s <= '9') {
        if (++digits > 5) return 1;
        n = n * 10 + (*s++ - '0');
    }
    if (!digits) return 1;
    *value = n;
    *end = s;
    return 0;
}

int ScreenParseScale(const char* text, int* scale)
{
    int n = 0;
    const char* end = nullptr;
    if (!text || ReadWhole(text, &n, &end) != 0 || *end || n < SCREEN_SCALE_MIN || n > SCREEN_SCALE_MAX) return 1;
    *scale = n;
    return 0;
}

int ScreenParseSize(const char* text, int* width, int* height)
{
    int w = 0, h = 0;
    const char* end = nullptr;
    if (!text || ReadWhole(text, &w, &end) != 0 || (*end != 'x' && *end != 'X')) return 1;
    if (ReadWhole(end + 1, &h, &end) != 0 || *end) return 1;
    *width = w;
    *height = h;
    return 0;
}

void ScreenSetUiScale(int scale) { uiScale = Clamp(scale, SCREEN_SCALE_MIN, SCREEN_SCALE_MAX); }
int ScreenUiScale(void) { return uiScale; }
