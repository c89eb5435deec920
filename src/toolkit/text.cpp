// Text output: printf-formatted text collected into a line buffer and written at the pen in
// one of four format modes, wrapping at spaces against the right margin. Glyphs are drawn
// through the drawing table's pixel function, only when their whole cell lies inside the
// clip rectangle.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "base/str.h"
#include "kernel/kernel.h"
#include "platform/platform.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"

enum {
    TEXT_FORMAT_MAX = 4096,   // bytes of one print after formatting; the rest is cut
    TEXT_DEFAULT_COLOUR = 255,
    TEXT_DEFAULT_RIGHT = 639,
    TEXT_DEFAULT_LINE = 9,
};

static struct {
    int installed;
    ResId fontId;
    int font;            // registry number, 0 = none
    int colour;          // palette index, or -1 for the glyphs' own values
    int shadow, shadowOffset;
    int mode, lineHeight, left, right;
    int penX, penY;
    char line[TEXT_LINE_MAX];
    int lineLen, lineWidth;
    int measuring;       // lines are counted, nothing is drawn
    int newLines;
} text;

// ============================================================================================
// State
// ============================================================================================

void TextInstall(void)
{
    if (text.installed) return;
    memset(&text, 0, sizeof text);
    text.installed = 1;
    text.colour = TEXT_DEFAULT_COLOUR;
    text.lineHeight = TEXT_DEFAULT_LINE;
    text.right = TEXT_DEFAULT_RIGHT;
    FontInstall();
    RegisterExit(TextRemove);
}

void TextRemove(void)
{
    if (!text.installed) return;
    memset(&text, 0, sizeof text);
}

void TextSetFont(ResId font)
{
    // A font file that is missing or damaged leaves the current font in use, so text still shows.
    int registered = FontRegister(font);
    if (!registered && text.font) {
        LogPrintf(LOG_WARN, "TEXT: %s is no usable font; the current font stays", ResName(font)[0] ? ResName(font) : "resource");
        return;
    }
    text.fontId = font;
    text.font = registered;
    if (text.font) text.lineHeight = FontCellHeight(text.font) + 1;
}

ResId TextGetFont(void) { return text.font ? text.fontId : 0; }

void TextSetColour(int colour)
{
    text.colour = colour < 0 ? -1 : colour & 255;
    text.shadow = 0;
}

void TextSetShadow(int on, int offset)
{
    text.shadow = on != 0;
    text.shadowOffset = offset;
}

void TextSetFormat(int mode, int lineHeight, int left, int right)
{
    text.mode = mode;
    if (lineHeight == -1) lineHeight = text.font ? FontCellHeight(text.font) + 1 : TEXT_DEFAULT_LINE;
    text.lineHeight = lineHeight;
    text.left = left;
    text.right = right;
}

int TextLineHeight(void) { return text.lineHeight; }

void TextGetPen(int* x, int* y)
{
    if (x) *x = text.penX;
    if (y) *y = text.penY;
}

// The font's own codes of the signs beyond ASCII that a font may carry.
static const struct { uint32_t codePoint; uint8_t code; } kSigns[] = {
    {0x2191, 24}, {0x2193, 25}, {0x2192, 26}, {0x2190, 27}, {0x221F, 28}, {0x2194, 29},
    {0x25B2, 30}, {0x25BC, 31}, {0x2302, 127}, {0x00A2, 155}, {0x00A3, 156},
};

int TextCharCode(const char* s, int* length)
{
    uint32_t cp = 0;
    int n = StrUtf8Decode(s, &cp);
    if (n == 1) {
        *length = 1;
        return (int)cp;
    }
    if (n == 0) {
        // Not UTF-8: a byte of the font's own code, as older texts and files hold them.
        *length = *s ? 1 : 0;
        uint8_t c = (uint8_t)*s;
        return FontHasGlyph(text.font, c) ? c : '?';
    }
    *length = n;
    for (const auto& sign : kSigns)
        if (sign.codePoint == cp) return FontHasGlyph(text.font, sign.code) ? sign.code : '?';
    return '?';
}

// The text as the font's codes, one byte a character, into out (size bytes with the end).
static int ToCodes(const char* s, int n, char* out, int size)
{
    int m = 0;
    for (int i = 0; i < n && m + 1 < size;) {
        int length;
        int c = TextCharCode(s + i, &length);
        if (length <= 0) break;
        out[m++] = (char)c;
        i += length;
    }
    out[m] = 0;
    return m;
}

int TextWidth(const char* s)
{
    int64_t w = 0;
    for (int length; s && *s; s += length) w += FontAdvance(text.font, TextCharCode(s, &length));
    return w > INT32_MAX ? INT32_MAX : (int)w;
}

// ============================================================================================
// Glyphs
// ============================================================================================

static bool CellInside(int64_t x, int64_t y, int w, int h, const int clip[4])
{
    return x >= clip[0] && y >= clip[1] && x + w - 1 <= clip[2] && y + h - 1 <= clip[3];
}

static void PlotGlyph(const uint8_t* g, int w, int h, int x, int y, int colour)
{
    void (*pixel)(int, int, int) = DrawTable()->Pixel;
    for (int row = 0; row < h; row++, g += w)
        for (int col = 0; col < w; col++)
            if (g[col]) pixel(x + col, y + row, colour < 0 ? g[col] : colour);
}

// Draws a character with its cell's top-left corner at (x, y). Returns how far the pen moves:
// the advance, or 0 when the character is outside the font or its cell is not wholly inside
// the clip rectangle.
static int DrawGlyph(const FontView* v, int c, int64_t x, int64_t y, int colour, int shadow, const int clip[4])
{
    int advance;
    const uint8_t* g = FontGlyph(v, c, &advance);
    if (!g || !CellInside(x, y, v->cellWidth, v->cellHeight, clip)) return 0;
    if (shadow) {
        int64_t sx = x + text.shadowOffset, sy = y + text.shadowOffset;
        if (CellInside(sx, sy, v->cellWidth, v->cellHeight, clip))
            PlotGlyph(g, v->cellWidth, v->cellHeight, (int)sx, (int)sy, DrawShadow());
    }
    PlotGlyph(g, v->cellWidth, v->cellHeight, (int)x, (int)y, colour);
    return advance;
}

// ============================================================================================
// What was written
// ============================================================================================

static int Clamp(int64_t v) { return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : (int)v; }

static struct {
    TextWritten items[TEXT_WRITTEN_MAX];
    int count;
} written;

static TextWindowFn windowSource;

void TextResetWritten(void) { written.count = 0; }
void TextSetWindowSource(TextWindowFn current) { windowSource = current; }
int TextWrittenCount(void) { return written.count; }
const TextWritten* TextWrittenAt(int index) { return index >= 0 && index < written.count ? &written.items[index] : nullptr; }

// A line of n characters at (x, y) of the drawing target, width pixels wide.
static void NoteWritten(const char* s, int n, int64_t x, int y, int width, const int clip[4])
{
    if (n <= 0 || written.count >= TEXT_WRITTEN_MAX) return;
    TextWritten& w = written.items[written.count++];
    const VideoSurface* t = VideoTarget();
    int height = FontCellHeight(text.font);
    w.window = windowSource ? windowSource() : 0;
    StrLCopy(w.text, s, (size_t)n + 1 < sizeof w.text ? (size_t)n + 1 : sizeof w.text);
    w.x = Clamp(x + t->originX);
    w.y = y + t->originY;
    w.width = width;
    w.height = height;
    w.cut = x < clip[0] || y < clip[1] || x + width - 1 > clip[2] || (int64_t)y + height - 1 > clip[3];
}

static void ReadClip(int clip[4]) { VideoGetClip(&clip[0], &clip[1], &clip[2], &clip[3]); }

void TextDrawString(int x, int y, const char* s, int colour)
{
    FontView v;
    if (!s || !FontOpen(text.font, &v)) return;
    int clip[4];
    ReadClip(clip);
    int64_t pen = x;
    const char* start = s;
    for (int length; *s; s += length) pen += DrawGlyph(&v, TextCharCode(s, &length), pen, y, colour, 0, clip);
    FontClose(&v);
    NoteWritten(start, (int)(s - start), x, y, TextWidth(start), clip);
}

// ============================================================================================
// Writing lines
// ============================================================================================


static int RunWidth(const char* s, int n)
{
    int w = 0;
    for (int i = 0; i < n; i++) w += FontAdvance(text.font, (uint8_t)s[i]);
    return w;
}

// Writes n characters as one line placed by the format mode; `wrapped` marks a line ended by
// wrapping, which mode 1 stretches to the right margin. The pen ends behind the last glyph.
static void WriteLine(const char* s, int n, int wrapped)
{
    if (text.mode < TEXT_MODE_PLAIN || text.mode > TEXT_MODE_RIGHT)
        FatalError("TextFlushBuffer: Unrecognised format mode.");
    int width = RunWidth(s, n);
    int64_t x;
    switch (text.mode) {
    case TEXT_MODE_CENTRE: x = ((int64_t)text.left + text.right) / 2 - width / 2; break;
    case TEXT_MODE_RIGHT: x = (int64_t)text.right - width; break;
    default: x = text.penX; break;
    }
    FontView v;
    if (n <= 0 || text.measuring || !FontOpen(text.font, &v)) {
        text.penX = Clamp(x + (n > 0 ? width : 0));
        return;
    }
    int clip[4];
    ReadClip(clip);
    int spaces = 0;
    for (int i = 0; i < n; i++) spaces += s[i] == ' ';
    int64_t free = (int64_t)text.right - (x + width);

    if (text.mode == TEXT_MODE_JUSTIFY && wrapped && spaces && free > 0) {
        NoteWritten(s, n, x, text.penY, (int)(text.right - x), clip);
        // The free width is shared among the spaces in 1/256-pixel steps; the k-th space
        // carries the pen to exactly k/spaces of it, so the last word ends at the margin.
        int64_t pen256 = x * 256, given = 0;
        int k = 0;
        for (int i = 0; i < n; i++) {
            uint8_t c = (uint8_t)s[i];
            pen256 += 256 * (int64_t)DrawGlyph(&v, c, pen256 >> 8, text.penY, text.colour, text.shadow, clip);
            if (c == ' ') {
                int64_t share = free * 256 * ++k / spaces;
                pen256 += share - given;
                given = share;
            }
        }
        x = pen256 >> 8;
    } else {
        NoteWritten(s, n, x, text.penY, width, clip);
        for (int i = 0; i < n; i++) x += DrawGlyph(&v, (uint8_t)s[i], x, text.penY, text.colour, text.shadow, clip);
    }
    FontClose(&v);
    text.penX = Clamp(x);
}

// ============================================================================================
// The line buffer
// ============================================================================================

static void NewLine(void)
{
    text.newLines++;
    text.penX = text.left;
    text.penY = Clamp((int64_t)text.penY + text.lineHeight);
}

static void Flush(void)
{
    WriteLine(text.line, text.lineLen, 0);
    text.lineLen = 0;
    text.lineWidth = 0;
}

// Ends the line in the buffer because the next character would pass the right margin. A
// space to be added is itself the break; otherwise the buffer breaks at its last space and
// the word after it moves on, and a word with no space to break at is broken where it is.
static void Wrap(int incomingSpace)
{
    int n = text.lineLen, rest = n;
    if (!incomingSpace) {
        while (rest > 0 && text.line[rest - 1] != ' ') rest--;
        if (rest == 0) rest = n;   // no space: break the word here
    }
    // The line ends before its trailing spaces, so that a stretched line ends in ink.
    int end = rest;
    while (end > 0 && text.line[end - 1] == ' ') end--;
    WriteLine(text.line, end, 1);
    NewLine();
    memmove(text.line, text.line + rest, (size_t)(n - rest));
    text.lineLen = n - rest;
    text.lineWidth = RunWidth(text.line, text.lineLen);
}

void TextPrint(int x, int y, const char* fmt, ...)
{
    char buf[TEXT_FORMAT_MAX];
    va_list ap;
    va_start(ap, fmt);
    int n = fmt ? vsnprintf(buf, sizeof buf, fmt, ap) : 0;
    va_end(ap);
    if (n < 0) n = 0;
    if (n >= (int)sizeof buf) n = (int)sizeof buf - 1;
    // One byte a character from here on: what wraps and what is drawn is the font's codes.
    char codes[TEXT_FORMAT_MAX];
    n = ToCodes(buf, n, codes, sizeof codes);
    memcpy(buf, codes, (size_t)n);

    text.penX = x;
    text.penY = y;
    text.lineLen = 0;
    text.lineWidth = 0;
    for (int i = 0; i < n; i++) {
        uint8_t c = (uint8_t)buf[i];
        if (c == '\r') {
            Flush();
            NewLine();
            continue;
        }
        if (c == '\n') continue;
        int advance = FontAdvance(text.font, c);
        if (text.mode != TEXT_MODE_PLAIN && text.lineLen > 0 &&
            (int64_t)text.penX + text.lineWidth + advance > text.right) {
            Wrap(c == ' ');
            if (c == ' ') continue;
            // What moved on may itself be too long for a line: it has no space left to
            // break at, so it breaks where it is.
            if (text.lineLen > 0 && (int64_t)text.penX + text.lineWidth + advance > text.right) Wrap(0);
        }
        // A full buffer is written and the line goes on behind it.
        if (text.lineLen == TEXT_LINE_MAX) Flush();
        text.line[text.lineLen++] = (char)c;
        text.lineWidth += advance;
    }
    Flush();
}

int TextLineCount(const char* s, int width)
{
    int mode = text.mode, left = text.left, right = text.right, penX = text.penX, penY = text.penY;
    text.mode = TEXT_MODE_CENTRE;
    text.left = 0;
    text.right = width;
    text.measuring = 1;
    text.newLines = 0;
    TextPrint(0, 0, "%s", s ? s : "");
    int lines = text.newLines + 1;
    text.measuring = 0;
    text.mode = mode;
    text.left = left;
    text.right = right;
    text.penX = penX;
    text.penY = penY;
    return lines;
}
