#include "frontend/progress.h"

#include "kernel/timing.h"
#include "platform/platform.h"
#include "toolkit/slots.h"
#include "toolkit/win.h"

static uint32_t progressValue;

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
