#include "shapeedit/sekit.h"

#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"

enum { SE_PRINT_MAX = 128 };

WinId SeButton(int x, int y, int width, uint32_t style, const char* label)
{
    WinId b = WinCreate(x, y, width, SE_ROW_HEIGHT, WIN_CURRENT, style, CLASS_BUTTON);
    WinParam p1 = (WinParam)label, p2 = 0;
    WinSendMessage(b, WM_SETLABEL, &p1, &p2);
    return b;
}

WinId SeField(int x, int y, int width, char* buffer, int limit)
{
    WinId f = WinCreate(x, y, width, SE_ROW_HEIGHT, WIN_CURRENT, EDIT_ASCII, CLASS_EDIT);
    WinParam p1 = (WinParam)buffer, p2 = limit;
    WinSendMessage(f, WM_EDITSETBUFFER, &p1, &p2);
    return f;
}

WinId SeDialog(uint32_t classId, int x, int y, int width, int height, const char* title)
{
    WinId d = WinCreate(x, y, width, height, WIN_DESKTOP, SE_DIALOG_STYLE, classId);
    if (!d) return 0;
    WinParam p1 = (WinParam)title, p2 = 0;
    WinSendMessage(d, WM_SETTITLE, &p1, &p2);
    return d;
}

void SeSetState(WinId button, int on)
{
    WinParam p1 = on ? 1 : 0, p2 = 0;
    WinSendMessage(button, WM_SETSTATE, &p1, &p2);
}

int SeState(WinId button)
{
    WinParam p1 = 0, p2 = 0;
    WinSendMessage(button, WM_GETSTATE, &p1, &p2);
    return p1 != 0;
}

int SeReadInt(const char* text, int32_t* out)
{
    if (!text) return 0;
    while (*text == ' ' || *text == '\t') text++;
    int negative = *text == '-';
    if (*text == '-' || *text == '+') text++;
    if (*text < '0' || *text > '9') return 0;
    int64_t v = 0;
    for (; *text >= '0' && *text <= '9'; text++)
        if (v <= INT32_MAX) v = v * 10 + (*text - '0');
    if (negative) v = -v;
    *out = (int32_t)(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
    return 1;
}

void SeWriteInt(char* buffer, size_t size, int32_t value) { snprintf(buffer, size, "%d", (int)value); }

void SeClearClient(void)
{
    int x0, y0, x1, y1;
    WinGetExtent(0, &x0, &y0, &x1, &y1);
    DrawFillRect(x0, y0, x1, y1, DrawBackground());
}

static void Print(int x, int y, int colour, const char* text);

void SePrint(int x, int y, int colour, const char* fmt, ...)
{
    char text[SE_PRINT_MAX];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    Print(x, y, colour, text);
}

void SePrintRight(int x, int y, int colour, const char* fmt, ...)
{
    char text[SE_PRINT_MAX];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    Print(x + 1 - TextWidth(text), y, colour, text);
}

static void Print(int x, int y, int colour, const char* text)
{
    // The client area's corner in the window: past the border, and the title bar if any.
    WinParam p1 = 0, p2 = 0;
    int cx = 0, cy = 0;
    if (WinSendMessage(WIN_SELF, WM_REGION, &p1, &p2) == 0 && !WinNoRect(p1)) {
        cx = WinLo(p1);
        cy = WinHi(p1);
    }
    int x0, y0, x1, y1;
    WinGetExtent(0, &x0, &y0, &x1, &y1);
    TextSetColour(colour);
    TextSetFormat(TEXT_MODE_PLAIN, -1, 0, x1);
    TextPrint(x - cx, y - cy, "%s", text);
}

int SeDialogAnswer(int message, const WinParam* p1)
{
    if (message == WM_EDITENTER) return SE_OK;
    if (message == WM_EDITESCAPE) return SE_CANCEL;
    if (message == WM_KEY && p1) return *p1 == CH_ENTER ? SE_OK : *p1 == CH_ESCAPE ? SE_CANCEL : SE_NONE;
    return SE_NONE;
}
