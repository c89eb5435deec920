#include "kernel/timing.h"

#include "kernel/kernel.h"
#include "platform/platform.h"

static struct {
    int warmup;
    uint32_t frames;
    uint32_t last;
    uint32_t elapsed;
    uint32_t total;
    uint32_t frameTime;
    uint32_t fps;
} timing;

void TimingInstall(void)
{
    TimingReset();
    RegisterExit(TimingRemove);
}

void TimingRemove(void) { TimingReset(); }

void TimingReset(void)
{
    timing.warmup = TIMING_WARMUP;
    timing.frames = 0;
    timing.elapsed = 0;
    timing.total = 0;
}

void TimingUpdate(void)
{
    uint32_t now = TimerMs();
    timing.frames++;
    if (timing.warmup) {
        // The frames right after a reset carry set-up time that is no frame's own.
        timing.warmup--;
        timing.elapsed = timing.frameTime = timing.fps = 0;
        timing.last = now;
        return;
    }
    timing.total += timing.elapsed;
    uint32_t raw = now - timing.last;
    uint32_t clamped = raw > (uint32_t)TIMING_MAX_ELAPSED ? (uint32_t)TIMING_MAX_ELAPSED : raw;
    timing.elapsed = clamped;
    timing.frameTime = clamped * 16384 / 1000;
    if (clamped) timing.fps = 1000 / clamped;
    if (raw) timing.fps = 1000 / raw;
    timing.last = now;
}

uint32_t TimingFrameCount(void) { return timing.frames; }
uint32_t TimingElapsed(void) { return timing.elapsed; }
uint32_t TimingTotal(void) { return timing.total; }
uint32_t TimingFrameTime(void) { return timing.frameTime; }
uint32_t TimingFPS(void) { return timing.fps; }
