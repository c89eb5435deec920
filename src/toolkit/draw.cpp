// Drawing primitives: a table of replaceable functions with software versions that write
// palette colours into the current target of the video layer, clipped to its clip
// rectangle; boxes and title bars are built on the table.
#include "toolkit/draw.h"

#include "base/bytes.h"
#include "platform/platform.h"
#include "toolkit/text.h"

static void SoftFillRect(int x0, int y0, int x1, int y1, int colour);
static void SoftLine(int x0, int y0, int x1, int y1, int colour);
static void SoftPixel(int x, int y, int colour);

static DrawFuncs drawFuncs = {SoftFillRect, SoftLine, SoftPixel};

// The start-up values, so that drawing before the editor sets them still looks right.
static struct {
    int background = 252, shadow = 251, highlight = 253, text = 255, accent = 250;
} colours;

DrawFuncs* DrawTable(void) { return &drawFuncs; }

void DrawUseSoftware(void)
{
    drawFuncs.FillRect = SoftFillRect;
    drawFuncs.Line = SoftLine;
    drawFuncs.Pixel = SoftPixel;
}

// ============================================================================================
// Software functions
// ============================================================================================

// A palette colour as a pixel of the target: 8-bit targets (sprites) take the index itself.
static inline uint32_t PixelValue(const VideoSurface* t, int colour)
{
    return t->bpp == 8 ? (uint32_t)(colour & 255) : VideoPixelTable()[colour & 255];
}

static inline bool DepthSupported(const VideoSurface* t)
{
    return t->pixels && (t->bpp == 8 || t->bpp == 16 || t->bpp == 32);
}

static inline uint8_t* PixelAddress(const VideoSurface* t, int x, int y)
{
    return t->pixels + (size_t)(t->originY + y) * t->pitch + (size_t)(t->originX + x) * (t->bpp / 8);
}

static inline void Store(uint8_t* p, int bpp, uint32_t value)
{
    if (bpp == 8) *p = (uint8_t)value;
    else if (bpp == 16) PutU16(p, 0, (uint16_t)value);
    else PutU32(p, 0, value);
}

static void SoftPixel(int x, int y, int colour)
{
    const VideoSurface* t = VideoTarget();
    if (!DepthSupported(t)) return;
    Store(PixelAddress(t, x, y), t->bpp, PixelValue(t, colour));
}

static void SoftFillRect(int x0, int y0, int x1, int y1, int colour)
{
    int cx0, cy0, cx1, cy1;
    VideoGetClip(&cx0, &cy0, &cx1, &cy1);
    // Inverted corners make an empty rectangle, as does an empty clip rectangle.
    if (x0 > x1 || y0 > y1 || x1 < cx0 || x0 > cx1 || y1 < cy0 || y0 > cy1) return;
    if (colour & DRAW_OUTLINE) {
        // The edges go through the table so that a replaced line routine draws them too.
        DrawLine(x0, y0, x1, y0, colour);
        DrawLine(x0, y1, x1, y1, colour);
        DrawLine(x0, y0, x0, y1, colour);
        DrawLine(x1, y0, x1, y1, colour);
        return;
    }
    const VideoSurface* t = VideoTarget();
    if (!DepthSupported(t)) return;
    if (x0 < cx0) x0 = cx0;
    if (x1 > cx1) x1 = cx1;
    if (y0 < cy0) y0 = cy0;
    if (y1 > cy1) y1 = cy1;
    uint32_t value = PixelValue(t, colour);
    int bytes = t->bpp / 8;
    for (int y = y0; y <= y1; y++) {
        uint8_t* p = PixelAddress(t, x0, y);
        for (int x = x0; x <= x1; x++, p += bytes) Store(p, t->bpp, value);
    }
}

// Bresenham's line as a closed form: step i along the major axis moves the minor axis by
// round(i * minor / major). Only the steps whose major coordinate lies inside the clip
// rectangle are visited, so the pixels are those of the unclipped line and a line with
// far-away ends costs no more than one across the clip rectangle.
static void SoftLine(int x0, int y0, int x1, int y1, int colour)
{
    int cx0, cy0, cx1, cy1;
    VideoGetClip(&cx0, &cy0, &cx1, &cy1);
    if (cx0 > cx1 || cy0 > cy1) return;
    if ((x0 < cx0 && x1 < cx0) || (x0 > cx1 && x1 > cx1) || (y0 < cy0 && y1 < cy0) || (y0 > cy1 && y1 > cy1))
        return;
    const VideoSurface* t = VideoTarget();
    if (!DepthSupported(t)) return;
    uint32_t value = PixelValue(t, colour);

    int64_t dx = (int64_t)x1 - x0, dy = (int64_t)y1 - y0;
    bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    // Work in (major, minor) coordinates.
    int64_t a0 = xMajor ? x0 : y0, b0 = xMajor ? y0 : x0;
    int64_t da = xMajor ? dx : dy, db = xMajor ? dy : dx;
    int64_t lo = xMajor ? cx0 : cy0, hi = xMajor ? cx1 : cy1;
    int64_t sa = da < 0 ? -1 : 1, sb = db < 0 ? -1 : 1;
    int64_t major = da < 0 ? -da : da, minor = db < 0 ? -db : db;

    // Steps i = 0..major with a0 + sa * i inside [lo, hi].
    int64_t first, last;
    if (sa > 0) {
        first = lo - a0;
        last = hi - a0;
    } else {
        first = a0 - hi;
        last = a0 - lo;
    }
    if (first < 0) first = 0;
    if (last > major) last = major;
    if (first > last) return;
    // step(i) = (2 i minor + major) / (2 major): the first one in full width, the rest by
    // carrying the remainder.
    int64_t twoMajor = 2 * (major ? major : 1);
    __int128 n = (__int128)2 * first * minor + major;
    int64_t step = (int64_t)(n / twoMajor), rem = (int64_t)(n % twoMajor);
    for (int64_t i = first; i <= last; i++) {
        int64_t a = a0 + sa * i, b = b0 + sb * step;
        int64_t x = xMajor ? a : b, y = xMajor ? b : a;
        if (x >= cx0 && x <= cx1 && y >= cy0 && y <= cy1) Store(PixelAddress(t, (int)x, (int)y), t->bpp, value);
        rem += 2 * minor;
        if (rem >= twoMajor) {
            rem -= twoMajor;
            step++;
        }
    }
}

// ============================================================================================
// Primitives
// ============================================================================================

void DrawFillRect(int x0, int y0, int x1, int y1, int colour) { drawFuncs.FillRect(x0, y0, x1, y1, colour); }
void DrawLine(int x0, int y0, int x1, int y1, int colour) { drawFuncs.Line(x0, y0, x1, y1, colour); }

// Top and left edges in one colour, bottom and right in the other (which owns the corners
// where they meet).
static void Box(int x0, int y0, int x1, int y1, int topLeft, int bottomRight)
{
    DrawFillRect(x0, y0, x1, y0, topLeft);
    DrawFillRect(x0, y0, x0, y1, topLeft);
    DrawFillRect(x0, y1, x1, y1, bottomRight);
    DrawFillRect(x1, y0, x1, y1, bottomRight);
}

void DrawRaisedBox(int x0, int y0, int x1, int y1) { Box(x0, y0, x1, y1, colours.highlight, colours.shadow); }
void DrawSunkenBox(int x0, int y0, int x1, int y1) { Box(x0, y0, x1, y1, colours.shadow, colours.highlight); }

enum { TITLE_HEIGHT = 11, TITLE_TEXT_Y = 2 };

// The bar from y to y + 10, the title centred on it and kept inside it.
static void TitleBar(int x0, int x1, int y, const char* title, int fill, int raised)
{
    int y1 = y + TITLE_HEIGHT - 1;
    DrawFillRect(x0, y, x1, y1, fill);
    if (raised) DrawRaisedBox(x0, y, x1, y1);
    else DrawSunkenBox(x0, y, x1, y1);
    if (!title || !title[0]) return;

    // A title too long to centre starts at the left: a glyph that crosses the clip edge is
    // left out without moving the pen, so one centred past the left end would hide it all.
    // It starts right inside the border and may reach the right border with its last cell:
    // a glyph's cell ends in a blank column (its advance is narrower), so a title as wide as
    // the bar's inside ("Centre Y" on a 50-pixel button) shows whole and the border stays.
    int64_t tx = ((int64_t)x0 + x1 + 1) / 2 - TextWidth(title) / 2;
    int right = x1 - 1;
    if (tx < x0 + 2) {
        tx = x0 + 1;
        right = x1;
    }
    int cx0, cy0, cx1, cy1;
    VideoGetClip(&cx0, &cy0, &cx1, &cy1);
    int bx0 = x0 + 1 > cx0 ? x0 + 1 : cx0, bx1 = right < cx1 ? right : cx1;
    int by0 = y + 1 > cy0 ? y + 1 : cy0, by1 = y1 - 1 < cy1 ? y1 - 1 : cy1;
    if (bx0 > bx1 || by0 > by1) return;
    VideoSetClip(bx0, by0, bx1, by1);
    TextDrawString((int)tx, y + TITLE_TEXT_Y, title, colours.text);
    VideoSetClip(cx0, cy0, cx1, cy1);
}

void DrawTitleBar(int x0, int x1, int y, const char* title, int modal)
{
    // The modal window's bar stands out in the accent colour.
    TitleBar(x0, x1, y, title, modal ? colours.accent : colours.background, 1);
}

void DrawTitleBarHighlighted(int x0, int x1, int y, const char* title)
{
    // Pressed in: dark and sunken.
    TitleBar(x0, x1, y, title, colours.shadow, 0);
}

// ============================================================================================
// Interface colours
// ============================================================================================

void DrawSetInterfaceColours(int background, int shadow, int highlight, int text, int accent)
{
    colours.background = background & 255;
    colours.shadow = shadow & 255;
    colours.highlight = highlight & 255;
    colours.text = text & 255;
    colours.accent = accent & 255;
}

int DrawBackground(void) { return colours.background; }
int DrawShadow(void) { return colours.shadow; }
int DrawHighlight(void) { return colours.highlight; }
int DrawTextColour(void) { return colours.text; }
int DrawAccent(void) { return colours.accent; }
