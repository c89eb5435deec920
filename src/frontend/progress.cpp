#include "frontend/progress.h"

#include <cstring>

#include "kernel/timing.h"
#include "platform/platform.h"
#include "toolkit/controls.h"
#include "toolkit/panelkit.h"
#include "toolkit/draw.h"
#include "toolkit/slots.h"
#include "toolkit/text.h"
#include "toolkit/win.h"

enum { PROGRESS_SETVARIABLE = 50, PROGRESS_WIDTH = 260, PROGRESS_HEIGHT = 50, CANCEL_Y = 33 };

static uint32_t progressValue;

uint32_t* ProgressVariable(void) { return &progressValue; }

// ============================================================================================
// The progress window
// ============================================================================================

struct ProgressData {
    uint32_t* variable;
    WinId cancel;
};

static uint32_t Shown(const ProgressData* d)
{
    if (!d->variable) return 0;
    return *d->variable > PROGRESS_DONE ? (uint32_t)PROGRESS_DONE : *d->variable;
}

static int ProgressProc(WinId window, WinId sender, int message, WinParam* p1, WinParam*)
{
    ProgressData* d = (ProgressData*)WinGetData();
    switch (message) {
    case WM_CREATE: {
        memset(d, 0, sizeof *d);
        d->cancel = KitModalButton(window, PROGRESS_HEIGHT - CANCEL_Y, "Cancel");
        return 1;
    }
    case PROGRESS_SETVARIABLE: d->variable = (uint32_t*)*p1; return 0;
    case WM_DRAWCLIENT: {
        int x0, y0, x1, y1;
        WinGetExtent(0, &x0, &y0, &x1, &y1);
        DrawFillRect(x0, y0, x1, y1, DrawBackground());
        int x, y, w, h;
        WinGetRect(window, &x, &y, &w, &h);
        uint32_t v = Shown(d);
        DrawSunkenBox(10, 6, w - 10, 16);
        int end = 10 + (int)(((int64_t)(w - 20) * v) >> 14);
        if (end > 10) DrawFillRect(10, 6, end, 16, DrawAccent());
        TextSetColour(DrawTextColour());
        TextSetFormat(TEXT_MODE_CENTRE, -1, x0, x1);
        TextPrint(x0, 7, "%d%%", (int)((v * 100) >> 14));
        return 0;
    }
    case WM_PRESSED:
        // Cancel marks the variable; the work stops at its next report and the window goes.
        if (*p1 && sender == d->cancel && d->variable) *d->variable = PROGRESS_CANCEL;
        return 0;
    case WM_FOCUS: return 0;
    case WM_KEY:
        // Escape is "Cancel".
        if (*p1 == CH_ESCAPE && d->variable) *d->variable = PROGRESS_CANCEL;
        return 0;
    case WM_TICK:
        if (d->variable && (*d->variable == PROGRESS_DONE || *d->variable == PROGRESS_CANCEL)) {
            if (WinModal() == window) WinSetModal(0);
            WinClose(window);
        }
        return 1;
    case WM_DESTROY:
        if (WinModal() == window) WinSetModal(0);
        return 1;
    default: return 1;
    }
}

void ProgressRegisterClass(void) { WinCreateClass(CLASS_PROGRESS, CLASS_FRAME, sizeof(ProgressData), ProgressProc); }

WinId ProgressOpen(const char* title, uint32_t* variable)
{
    int width, height;
    VideoExtent(&width, &height);
    WinId window = WinCreate((width - (PROGRESS_WIDTH - 1)) / 2, (height - (PROGRESS_HEIGHT - 1)) / 2, PROGRESS_WIDTH,
                             PROGRESS_HEIGHT, WIN_DESKTOP, FRAME_BORDER | FRAME_TITLE | FRAME_DRAG, CLASS_PROGRESS);
    if (!window) return 0;
    WinParam p1 = (WinParam)title, p2 = 0;
    WinSendMessage(window, WM_SETTITLE, &p1, &p2);
    p1 = (WinParam)variable;
    WinSendMessage(window, PROGRESS_SETVARIABLE, &p1, &p2);
    return window;
}

// ============================================================================================
// Callbacks and the mini frame
// ============================================================================================

uint32_t ProgressValue(void) { return progressValue; }
void ProgressSetValue(uint32_t value) { progressValue = value; }

void ProgressMiniFrame(int redraw)
{
    TimingUpdate();
    WinProcessInput();
    // Slots exist only once an editor has started.
    if (SlotsIsInstalled()) SlotsFrame(TimingElapsed(), TimingFrameTime());
    if (VideoBeginUpdate(1)) {
        // Only the modal tree (the progress window) needs drawing while the work runs.
        if (redraw) WinDrawModal();
        VideoEndUpdate();
    }
}

int ProgressTextures(uint32_t value)
{
    progressValue = value >= 0x3FFF ? (uint32_t)PROGRESS_DONE : value;
    ProgressMiniFrame(1);
    return 0;
}

static int ProgressStep(uint32_t value)
{
    if (progressValue == PROGRESS_CANCEL) return 1;
    progressValue = value;
    ProgressMiniFrame(1);
    return 0;
}

int ProgressSort(uint32_t value) { return ProgressStep(value); }
int ProgressWorld(uint32_t value) { return ProgressStep(value); }
int ProgressSpare(uint32_t value) { return ProgressStep(value); }
