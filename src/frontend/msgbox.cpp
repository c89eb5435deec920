// The message box: a modal frame window with a centred text and an "Ok" button. Only one
// window can be modal at a time, so a box asked for while another window is modal waits in
// a short queue and appears once that window has gone.
#include "frontend/msgbox.h"

#include <cstring>

#include "base/log.h"
#include "base/str.h"
#include "platform/platform.h"
#include "toolkit/controls.h"
#include "toolkit/panelkit.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"

enum {
    MSGBOX_SETTEXT = 49,      // p1: the text
    MSGBOX_SETQUESTION = 50,  // p1: the MsgBoxAnswerFn; Yes, No and Cancel take the place of "Ok"
    MSGBOX_BUTTON_W = 40,
    MSGBOX_BUTTON_GAP = 10,
    MSGBOX_TEXT_MAX = 255,
    MSGBOX_WIDTH = 260,       // the narrowest box; a longer text widens it
    MSGBOX_HEIGHT = 50,       // a box of one line; each more line adds the font's line height
    MSGBOX_Y = 60,
    MSGBOX_MARGIN = 8,        // between the text and the box's sides
    MSGBOX_OK_BELOW = 19,     // from the "Ok" button's top to the box's bottom
    MSGBOX_WAITING = 8,
};

struct MsgBoxData {
    char text[MSGBOX_TEXT_MAX + 1];
    WinId ok;
    WinId yes, no, cancel;        // a question's buttons
    MsgBoxAnswerFn answered;      // a question's receiver of the answer
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

static MsgBoxErrorTextFn errorTexts;

void MsgBoxSetErrorTexts(MsgBoxErrorTextFn texts) { errorTexts = texts; }

const char* MsgBoxErrorText(int code)
{
    const char* text = errorTexts ? errorTexts(code) : nullptr;
    return text ? text : "Unknown Error Code!";
}

// ============================================================================================
// The box window
// ============================================================================================

static void CloseBox(WinId box)
{
    // Modality ends with the box at once, so that a waiting box can follow in this frame.
    if (WinModal() == box) WinSetModal(0);
    WinClose(box);
}

// The box goes before the answer is told, so that what the answer opens may be modal.
static void Answer(WinId window, MsgBoxData* d, int answer)
{
    MsgBoxAnswerFn answered = d->answered;
    d->answered = nullptr;
    CloseBox(window);
    if (answered) answered(answer);
}

static int MsgBoxProc(WinId window, WinId sender, int message, WinParam* p1, WinParam*)
{
    MsgBoxData* d = (MsgBoxData*)WinGetData();
    switch (message) {
    case WM_CREATE: {
        memset(d, 0, sizeof *d);
        d->ok = KitModalButton(window, MSGBOX_OK_BELOW, "Ok");
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
        // Wrapped between the margins as MsgBoxSize measured it: nothing is cut.
        TextSetFormat(TEXT_MODE_CENTRE, -1, x0 + MSGBOX_MARGIN, x1 - MSGBOX_MARGIN);
        TextPrint(x0 + MSGBOX_MARGIN, y0 + 4, "%s", d->text);
        return 0;
    }
    case MSGBOX_SETQUESTION: {
        d->answered = (MsgBoxAnswerFn)*p1;
        int x, y, w, h;
        WinGetRect(window, &x, &y, &w, &h);
        WinClose(d->ok);
        d->ok = 0;
        int left = (w - 3 * MSGBOX_BUTTON_W - 2 * MSGBOX_BUTTON_GAP) / 2, top = h - MSGBOX_OK_BELOW;
        d->yes = KitButton(left, top, MSGBOX_BUTTON_W, BUTTON_PUSH, "Yes");
        d->no = KitButton(left + MSGBOX_BUTTON_W + MSGBOX_BUTTON_GAP, top, MSGBOX_BUTTON_W, BUTTON_PUSH, "No");
        d->cancel = KitButton(left + 2 * (MSGBOX_BUTTON_W + MSGBOX_BUTTON_GAP), top, MSGBOX_BUTTON_W, BUTTON_PUSH,
                                 "Cancel");
        WinSetFocus(window);
        return 0;
    }
    case WM_PRESSED:
        if (!*p1) return 0;
        if (sender == d->ok) CloseBox(window);
        if (sender == d->yes) Answer(window, d, ID_YES);
        if (sender == d->no) Answer(window, d, ID_NO);
        if (sender == d->cancel) Answer(window, d, ID_CANCEL);
        return 0;
    case WM_FOCUS: return 0;   // the box takes the keys
    case WM_KEY:
        // A question's Enter is Yes and its Escape Cancel, as on a native box.
        if (d->answered && *p1 == CH_ENTER) Answer(window, d, ID_YES);
        else if (d->answered && *p1 == CH_ESCAPE) Answer(window, d, ID_CANCEL);
        else if (*p1 == CH_ENTER || *p1 == CH_ESCAPE) CloseBox(window);
        return 0;
    case WM_TICK:
        // A script answers the program's own boxes as it answers native ones.
        if (int answer = PlatTakeScriptedAnswer()) {
            if (!d->answered) CloseBox(window);
            else Answer(window, d, answer == ID_YES || answer == ID_NO ? answer : ID_CANCEL);
        }
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

void MsgBoxSize(const char* title, const char* text, int screenWidth, int* width, int* height)
{
    if (strlen(text) > MSGBOX_TEXT_MAX) text = "";
    // The client area is the box less its border; the text keeps a margin inside it.
    const int sides = 2 + 1 + 2 * MSGBOX_MARGIN;
    int widest = screenWidth * 9 / 10;
    int need = TextWidth(text) + sides;
    int titled = TextWidth(title) + 2 * MSGBOX_MARGIN;
    int w = need > titled ? need : titled;
    if (w < MSGBOX_WIDTH) w = MSGBOX_WIDTH;
    if (w > widest) w = widest;
    if (w > screenWidth) w = screenWidth;
    int lines = TextLineCount(text, w - sides);
    TextSetFormat(TEXT_MODE_CENTRE, -1, 0, w);   // the font's own line height
    *width = w;
    *height = MSGBOX_HEIGHT + (lines - 1) * TextLineHeight();
}

static WinId CreateBox(const char* title, const char* text)
{
    int width, height;
    VideoExtent(&width, &height);
    // As wide as the text needs, up to most of the screen, and as high as its lines; centred
    // across, at its usual height while it fits.
    int w, h;
    MsgBoxSize(title, text, width, &w, &h);
    int x = (width - w) / 2, y = height - h < MSGBOX_Y ? height - h : MSGBOX_Y;
    WinId box = WinCreate(x < 0 ? 0 : x, y < 0 ? 0 : y, w, h, WIN_DESKTOP, FRAME_BORDER | FRAME_TITLE | FRAME_DRAG,
                          CLASS_MESSAGEBOX);
    if (!box) return 0;
    WinParam p1 = (WinParam)text, p2 = 0;
    WinSendMessage(box, MSGBOX_SETTEXT, &p1, &p2);
    p1 = (WinParam)title;
    WinSendMessage(box, WM_SETTITLE, &p1, &p2);
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

WinId MsgBoxAsk(const char* title, const char* text, MsgBoxAnswerFn answered)
{
    if (!title) title = "";
    if (!text) text = "";
    LogPrintf(LOG_ERROR, "MSGBOX \"%s\" \"%s\"", title, text);
    // A question cannot wait behind another modal window: its asker waits for the answer.
    WinId box = WinIsInstalled() && !WinModal() ? CreateBox(title, text) : 0;
    if (!box) {
        LogPrintf(LOG_WARN, "MSGBOX: \"%s\" cannot be asked now; taken as Cancel", text);
        if (answered) answered(ID_CANCEL);
        return 0;
    }
    WinParam p1 = (WinParam)answered, p2 = 0;
    WinSendMessage(box, MSGBOX_SETQUESTION, &p1, &p2);
    return box;
}
