// The monorail builder on a net of 1,000 nodes: a chain that runs straight for a while, then
// bends, so that segments get both square and bisected ends, with a pylon every 976000 units.
// Each build writes its track and pylon shape files (in a scratch folder) and places them; the
// net is removed again, untimed, before the next build. The same net with its last node outside
// the cell grid is refused after every piece was made and checked: what that check costs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/res.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "platform/platform.h"
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

// The net of NODES nodes, node 1 selected; with `leaves`, its last node stands outside the cell
// grid, so that the build makes and checks every piece and then refuses, writing nothing.
static bool MakeNet(benchmark::State& state, bool leaves, const char* folder)
{
    if (!mkdtemp((char*)folder) || chdir(folder)) {
        state.SkipWithError("no scratch folder");
        return false;
    }
    ResInstall(5000);
    IntMatCreate(512);
    MatMInstall();
    ShapeMResourceInstall();
    if (!ShapeMIsInstalled()) ShapeMInstall();
    WorldMInstall(WORLDM_CAPACITY);
    // Another benchmark may have left its world installed: start from an empty one.
    WorldMNew();

    // Each node's previous is the one added after it; every eighth link turns by 30 degrees, so
    // that the net circles (some 1.5 million across) inside the new world's cell grid, as a
    // net must for the build to take it.
    int32_t x = 3000000, z = 1000000, dx = 48000, dz = 0;
    int previous = 0;
    for (int i = 0; i < NODES; i++) {
        int id = WorldMAddNetNode(x, 200000, leaves && i == NODES - 1 ? -1000000 : z);
        if (id <= 0) {
            state.SkipWithError("no room for the nodes");
            return false;
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
    return true;
}

static void Done(const char* folder)
{
    WorldMUninstall();
    ShapeMRemove();
    IntMatDestroy();
    ResRemove();
    if (chdir("/") == 0) rmdir(folder);
}

static void BM_BuildMonorail(benchmark::State& state)
{
    char folder[] = "/tmp/tolbex-net-bench-XXXXXX";
    if (!MakeNet(state, false, folder)) return;
    int track = Material("Rail_Track"), support = Material("Rail_Support"), light = Material("Rail_Light");
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
    Done(folder);
}

// What the check before the writing costs: every piece of the same net made and checked, the
// last link refused.
static void BM_RefuseMonorail(benchmark::State& state)
{
    char folder[] = "/tmp/tolbex-net-bench-XXXXXX";
    if (!MakeNet(state, true, folder)) return;
    int track = Material("Rail_Track"), support = Material("Rail_Support"), light = Material("Rail_Light");
    for (auto _ : state) {
        int r = WorldMBuildMonorail(track, support, light, MONO_TRACK_WIDTH, MONO_PYLON_DEPTH, MONO_MIN_LINK,
                                    MONO_PYLON_SPACING, nullptr);
        if (r != NET_ERR_OUTSIDE_GRID) {
            state.SkipWithError("the net was not refused");
            break;
        }
    }
    state.counters["links"] = NODES - 1;
    Done(folder);
}

// Deleting the built net's shapes and files (the build before it untimed).
static void BM_DeleteMonorail(benchmark::State& state)
{
    char folder[] = "/tmp/tolbex-net-bench-XXXXXX";
    if (!MakeNet(state, false, folder)) return;
    int track = Material("Rail_Track"), support = Material("Rail_Support"), light = Material("Rail_Light");
    for (auto _ : state) {
        state.PauseTiming();
        int r = WorldMBuildMonorail(track, support, light, MONO_TRACK_WIDTH, MONO_PYLON_DEPTH, MONO_MIN_LINK,
                                    MONO_PYLON_SPACING, nullptr);
        state.ResumeTiming();
        if (r) {
            state.SkipWithError(WorldMErrorText(r));
            break;
        }
        WorldMRemoveNet(1);
    }
    Done(folder);
}

// The writing alone, side by side: 1,049 net-shape-sized files (1.2 KB) written one by one,
// each flushed (as builds did), against one batch with one flush.
static void BM_WriteNetFiles(benchmark::State& state)
{
    const bool batch = state.range(0) != 0;
    const int FILES = 1049;
    char folder[] = "/tmp/tolbex-net-bench-XXXXXX";
    if (!mkdtemp(folder)) {
        state.SkipWithError("no scratch folder");
        return;
    }
    std::vector<std::string> names;
    for (int i = 0; i < FILES; i++) names.push_back(std::string(folder) + "/W~R" + std::to_string(10000 + i) + ".SHP");
    std::vector<uint8_t> data(1200, 0x5A);
    std::vector<FileWriteItem> items;
    for (const std::string& n : names) items.push_back({n.c_str(), data.data(), data.size(), 0});
    std::vector<const char*> list;
    for (const std::string& n : names) list.push_back(n.c_str());
    for (auto _ : state) {
        if (batch) {
            if (FileWriteGroup(items.data(), FILES)) state.SkipWithError("write failed");
        } else {
            for (const FileWriteItem& it : items)
                if (FileWrite(it.name, it.data, it.size)) state.SkipWithError("write failed");
        }
        state.PauseTiming();
        FileDeleteGroup(list.data(), FILES);
        state.ResumeTiming();
    }
    rmdir(folder);
}

}  // namespace

BENCHMARK(BM_DeleteMonorail)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteNetFiles)->ArgName("batch")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildMonorail)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RefuseMonorail)->Unit(benchmark::kMillisecond);
