// Frame timing: elapsed time per frame, clamped so that a stall never looks like a leap.
#pragma once
#include <cstdint>

enum { TIMING_MAX_ELAPSED = 166, TIMING_WARMUP = 2 };

void TimingInstall(void);
void TimingRemove(void);
// Restarts the warm-up: the next two updates report nothing elapsed.
void TimingReset(void);
void TimingUpdate(void);
uint32_t TimingFrameCount(void);
uint32_t TimingElapsed(void);     // milliseconds, at most 166
uint32_t TimingTotal(void);       // milliseconds summed over earlier frames
uint32_t TimingFrameTime(void);   // seconds with 14 fraction bits
uint32_t TimingFPS(void);
