// The cost of the frame cycle that every editor frame pays before any window draws:
// begin the update, clear, present through the headless back end, end.
#include <benchmark/benchmark.h>

#include "kernel/kernel.h"
#include "platform/platform.h"

static void BM_FrameCycle(benchmark::State& state)
{
    int width = (int)state.range(0), height = (int)state.range(1);
    int code = state.range(2) == 16 ? VIDEO_16BIT : VIDEO_32BIT;
    VideoInstall();
    VideoForceModeChange();
    if (VideoSetMode(width, height, code, VIDEO_WINDOWED_SOFTWARE) != 0) {
        state.SkipWithError("mode refused");
        return;
    }
    for (auto _ : state) {
        VideoBeginUpdate(1);
        VideoClear(0);
        VideoEndUpdate();
    }
    VideoRemove();
}
BENCHMARK(BM_FrameCycle)->Args({800, 600, 32})->Args({800, 600, 16})->Args({640, 400, 32})->Unit(benchmark::kMicrosecond);
