// The millisecond clock comes from the back end: real time in a window, a turn-driven
// clock headless, so that runs from scripts repeat exactly.
#include "base/fatal.h"
#include "platform/backend.h"

static int timerInstalled;

void TimerInstall(void)
{
    if (timerInstalled) return;
    timerInstalled = 1;
    RegisterExit(TimerRemove);
}

void TimerRemove(void) { timerInstalled = 0; }

uint32_t TimerMs(void) { return PlatDriverCurrent()->Ticks(); }

int TimerBlink(void) { return (TimerMs() >> 9) & 1; }
