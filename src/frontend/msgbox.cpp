// The message box: a modal frame window with a centred text and an "Ok" button. Only one
// window can be modal at a time, so a box asked for while another window is modal waits in
// a short queue and appears once that window has gone.
#include "frontend/msgbox.h"

#include <cstring>
#include <string>

#include "kernel/log.h"
#include "kernel/util/str.h"
#include "platform/platform.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"
#include "world/worldm.h"

enum {
    MSGBOX_SETTEXT = 49,      // p1: the text
    MSGBOX_TEXT_MAX = 255,
    MSGBOX_WIDTH = 260,
    MSGBOX_HEIGHT = 50,
    MSGBOX_LINES = 2,         // lines of text above the button at that height
    MSGBOX_WAITING = 8,
};

struct MsgBoxData {
    char text[MSGBOX_TEXT_MAX + 1];
    WinId ok;
};

struct WaitingBox {
    char title[WIN_TITLE_MAX + 1];
    char text[MSGBOX_TEXT_MAX + 1];
};

static struct {
    WaitingBox waiting[MSGBOX_WAITING];
    int waitingCount;
} boxes;

// ============================================================================================
// Error texts
// ============================================================================================

// The table lives with the world manager, which returns the codes.
const char* MsgBoxErrorText(int code) { return WorldMErrorText(code); }

// ============================================================================================
// The box window
// ============================================================================================

static void CloseBox(WinId box)
{
    // Modality ends with the box at once, so that a waiting box can follow in this frame.
    if (WinModal() == box) WinSetModal(0);
    WinClose(box);
}

static int MsgBoxProc(WinId window, WinId sender, int message, WinParam* p1, WinParam*)
{
    MsgBoxData* d = (MsgBoxData*)WinGetData();
    switch (message) {
    case WM_CREATE: {
        memset(d, 0, sizeof *d);
        WinMakeModal(window);
        int x, y, w, h;
        WinGetRect(window, &x, &y, &w, &h);
        d->ok = ButtonCreate((w - 40) / 2, 31, 40, BUTTON_PUSH, "Ok");
        WinSetFocus(window);
        return 1;   // the frame window sets itself up too
    }
    case MSGBOX_SETTEXT: {
        const char* text = (const char*)*p1;
        // A text too long for the box shows as none rather than cut in the middle.
        if (!text || strlen(text) > MSGBOX_TEXT_MAX) text = "";
        StrLCopy(d->text, text, sizeof d->text);
        return 0;
    }
    case WM_DRAWCLIENT: {
        int x0, y0, x1, y1;
        WinGetExtent(0, &x0, &y0, &x1, &y1);
        DrawFillRect(x0, y0, x1, y1, DrawBackground());
        TextSetColour(DrawTextColour());
        TextSetFormat(TEXT_MODE_CENTRE, -1, x0, x1);
        TextPrint(x0, y0 + 4, "%s", d->text);
        return 0;
    }
    case WM_PRESSED:
        if (*p1 && sender == d->ok) CloseBox(window);
        return 0;
    case WM_FOCUS: return 0;   // the box takes the keys
    case WM_KEY:
        if (*p1 == CH_ENTER || *p1 == CH_ESCAPE) CloseBox(window);
        return 0;
    case WM_TICK:
        // A script answers the program's own boxes as it answers native ones.
        if (PlatTakeScriptedAnswer()) CloseBox(window);
        return 1;
    case WM_DESTROY:
        if (WinModal() == window) WinSetModal(0);
        return 1;
    default: return 1;
    }
}

void MsgBoxRegisterClass(void)
{
    // A box still waiting from an editor that has ended belongs to no one now.
    boxes.waitingCount = 0;
    WinCreateClass(CLASS_MESSAGEBOX, CLASS_FRAME, sizeof(MsgBoxData), MsgBoxProc);
}

// The lines the centred text takes between the client's edges, broken as the text output
// breaks them: where the next character would pass the right edge, at a space, else after the
// line's last space (a word without one breaks where it is).
static int LinesOf(const char* text, int width)
{
    std::string line;
    int lines = 1;
    for (const char* p = text; *p; p++) {
        if (*p == '\n') continue;
        if (*p == '\r') {
            lines++;
            line.clear();
            continue;
        }
        if (!line.empty() && TextWidth((line + *p).c_str()) > width) {
            lines++;
            if (*p == ' ') {
                line.clear();
                continue;
            }
            size_t space = line.rfind(' ');
            line = space == std::string::npos ? std::string() : line.substr(space + 1);
            // A word moved on that is itself too long breaks where it is.
            if (!line.empty() && TextWidth((line + *p).c_str()) > width) {
                lines++;
                line.clear();
            }
        }
        line += *p;
    }
    return lines;
}

static WinId CreateBox(const char* title, const char* text)
{
    int width, height;
    VideoExtent(&width, &height);
    int x = width == 800 ? 270 : width == 640 ? 190 : 30;
    WinId box = WinCreate(x, 60, MSGBOX_WIDTH, MSGBOX_HEIGHT, WIN_DESKTOP, FRAME_BORDER | FRAME_TITLE | FRAME_DRAG,
                          CLASS_MESSAGEBOX);
    if (!box) return 0;
    WinParam p1 = (WinParam)text, p2 = 0;
    WinSendMessage(box, MSGBOX_SETTEXT, &p1, &p2);
    p1 = (WinParam)title;
    WinSendMessage(box, WM_SETTITLE, &p1, &p2);
    // Two lines fit above the button; a longer text (a reason after the usual words) makes the
    // box taller, so that no line runs under the button.
    int x0, y0, x1, y1;
    WinGetExtent(box, &x0, &y0, &x1, &y1);
    TextSetFormat(TEXT_MODE_CENTRE, -1, x0, x1);
    const MsgBoxData* d = (const MsgBoxData*)WinDataOf(box, CLASS_MESSAGEBOX);
    int extra = (LinesOf(d->text, x1 - x0) - MSGBOX_LINES) * TextLineHeight();
    if (extra > 0) {
        WinSetRect(box, x, 60, MSGBOX_WIDTH, MSGBOX_HEIGHT + extra);
        int bx, by;
        WinGetPos(d->ok, &bx, &by);
        WinSetPos(d->ok, bx, by + extra);
    }
    return box;
}

WinId MsgBoxShow(const char* title, const char* text)
{
    if (!title) title = "";
    if (!text) text = "";
    if (!WinIsInstalled()) {
        // Before the window manager runs (or after it is gone) only the native box can speak.
        PlatMessageBox(title, text, MB_OK);
        return 0;
    }
    LogPrintf(LOG_ERROR, "MSGBOX \"%s\" \"%s\"", title, text);
    if (WinModal() || boxes.waitingCount > 0) {
        if (boxes.waitingCount == MSGBOX_WAITING) {
            LogPrintf(LOG_WARN, "MSGBOX: too many boxes waiting; \"%s\" is not shown", text);
            return 0;
        }
        WaitingBox& w = boxes.waiting[boxes.waitingCount++];
        StrLCopy(w.title, title, sizeof w.title);
        StrLCopy(w.text, strlen(text) > MSGBOX_TEXT_MAX ? "" : text, sizeof w.text);
        return 0;
    }
    return CreateBox(title, text);
}

WinId MsgBoxError(const char* title, int code) { return MsgBoxShow(title, MsgBoxErrorText(code)); }

void MsgBoxShowWaiting(void)
{
    if (!WinIsInstalled()) {
        boxes.waitingCount = 0;
        return;
    }
    if (boxes.waitingCount == 0 || WinModal()) return;
    WaitingBox w = boxes.waiting[0];
    memmove(&boxes.waiting[0], &boxes.waiting[1], sizeof(WaitingBox) * (size_t)(boxes.waitingCount - 1));
    boxes.waitingCount--;
    CreateBox(w.title, w.text);
}

int MsgBoxWaitingCount(void) { return boxes.waitingCount; }

const char* MsgBoxText(WinId box)
{
    const MsgBoxData* d = (const MsgBoxData*)WinDataOf(box, CLASS_MESSAGEBOX);
    return d ? d->text : nullptr;
}
