// The monorail builder on a net of 1,000 nodes: a chain that runs straight for a while, then
// bends, so that segments get both square and bisected ends, with a pylon every 976000 units.
// Each build writes its track and pylon shape files (in a scratch folder) and places them; the
// net is removed again, untimed, before the next build.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "kernel/res/res.h"
#include "kernel/util/bytes.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "world/net.h"
#include "world/wle.h"
#include "world/worldm.h"

namespace {

const int NODES = 1000;

static int Material(const char* name)
{
    uint8_t rec[MAT_RECORD_SIZE] = {};
    memcpy(rec + MR_NAME, name, strlen(name));
    return IntMatFindOrAdd(rec);
}

static void BM_BuildMonorail(benchmark::State& state)
{
    char folder[] = "/tmp/tolbex-net-bench-XXXXXX";
    if (!mkdtemp(folder) || chdir(folder)) {
        state.SkipWithError("no scratch folder");
        return;
    }
    ResInstall(5000);
    IntMatCreate(512);
    MatMInstall();
    ShapeMResourceInstall();
    if (!ShapeMIsInstalled()) ShapeMInstall();
    WorldMInstall(WORLDM_CAPACITY);
    // Another benchmark may have left its world installed: start from an empty one.
    WorldMNew();
    int track = Material("Rail_Track"), support = Material("Rail_Support"), light = Material("Rail_Light");

    // Each node's previous is the one added after it; every eighth link turns by 30 degrees.
    int32_t x = 0, z = 0, dx = 48000, dz = 0;
    int previous = 0;
    for (int i = 0; i < NODES; i++) {
        int id = WorldMAddNetNode(x, 200000, z);
        if (id <= 0) {
            state.SkipWithError("no room for the nodes");
            return;
        }
        if (previous) {
            PutU16(NetNode((uint16_t)previous), WN_PREV, (uint16_t)id);
            PutU16(NetNode((uint16_t)id), WN_NEXT, (uint16_t)previous);
        }
        previous = id;
        if (i % 8 == 7) {
            int32_t ndx = (dx * 14189 - dz * 8192) / 16384, ndz = (dx * 8192 + dz * 14189) / 16384;
            dx = ndx;
            dz = ndz;
        }
        x += dx;
        z += dz;
    }
    WorldMDeselectAllNodes();
    WorldMSelectNode(1);

    int shapes = 0;
    for (auto _ : state) {
        int r = WorldMBuildMonorail(track, support, light, MONO_TRACK_WIDTH, MONO_PYLON_DEPTH, MONO_MIN_LINK,
                                    MONO_PYLON_SPACING, nullptr);
        state.PauseTiming();
        if (r) {
            state.SkipWithError(WorldMErrorText(r));
            state.ResumeTiming();
            break;
        }
        shapes = WorldMRemoveNet(1);
        state.ResumeTiming();
    }
    state.counters["links"] = NODES - 1;
    state.counters["shapes"] = shapes;

    WorldMUninstall();
    ShapeMRemove();
    IntMatDestroy();
    ResRemove();
    if (chdir("/") == 0) rmdir(folder);
}

}  // namespace

BENCHMARK(BM_BuildMonorail)->Unit(benchmark::kMillisecond);
