// The monorail builder on a net of 1,000 nodes: a chain that runs straight for a while, then
// bends, so that segments get both square and bisected ends, with a pylon every 976000 units.
// Each build writes its track and pylon shape files and places them, as a user's first build
// of a net does: into a folder of its own where nothing was just deleted. Files deleted a
// moment before cost a file system without a journal (ext4 checks every inode freed in the last
// half minute before it reuses one) far more than the build itself; the rebuild benchmark
// shows that case on its own. The same net with its last node outside the cell grid is
// refused after every piece was made and checked: what that check costs. Every scratch folder
// goes when the program ends, so that no benchmark here follows another one's deletions.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/files.h"
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

// One scratch folder for the whole run, removed at its end, and a fresh folder in it on demand.
// It is made beside the program (in its build folder), as a user's world folder is one of
// theirs: /tmp is where every compiler on a machine makes and deletes its temporary files, and
// on a file system without a journal each new file there gets its inode only after a look at
// every one deleted in the last half minute (on a machine shared by several builds, that alone
// took a second a net). TOLBEX_BENCH_SCRATCH names another folder for it (another disk).
class Scratch {
public:
    ~Scratch()
    {
        if (root.empty()) return;
        std::error_code ignored;
        if (chdir("/") == 0) std::filesystem::remove_all(root, ignored);
    }
    // A new empty folder, made the working folder; false when none can be made.
    bool Enter()
    {
        if (root.empty()) {
            const char* where = getenv("TOLBEX_BENCH_SCRATCH");
            std::string folder = where && *where ? where : std::filesystem::path(FileProgramPath()).parent_path().string();
            if (folder.empty()) return false;
            std::string name = folder + "/tolbex-net-bench-XXXXXX";
            if (!mkdtemp(name.data())) return false;
            root = name;
        }
        std::string folder = root + "/" + std::to_string(++made);
        return mkdir(folder.c_str(), 0700) == 0 && chdir(folder.c_str()) == 0;
    }

private:
    std::string root;
    int made = 0;
};

static Scratch scratch;

static int Material(const char* name)
{
    uint8_t rec[MAT_RECORD_SIZE] = {};
    memcpy(rec + MR_NAME, name, strlen(name));
    return IntMatFindOrAdd(rec);
}

// The net of NODES nodes, node 1 selected; with `leaves`, its last node stands outside the cell
// grid, so that the build makes and checks every piece and then refuses, writing nothing.
static bool MakeNet(benchmark::State& state, bool leaves)
{
    if (!scratch.Enter()) {
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

static void Done(void)
{
    WorldMUninstall();
    ShapeMRemove();
    IntMatDestroy();
    ResRemove();
}

static int Build(int track, int support, int light)
{
    return WorldMBuildMonorail(track, support, light, MONO_TRACK_WIDTH, MONO_PYLON_DEPTH, MONO_MIN_LINK,
                               MONO_PYLON_SPACING, nullptr);
}

// A user's build of the net: into a folder of its own each round. Undo takes the net's shapes
// out of the world again and leaves their files, so that nothing is deleted between rounds.
static void BM_BuildMonorail(benchmark::State& state)
{
    if (!MakeNet(state, false)) return;
    int track = Material("Rail_Track"), support = Material("Rail_Support"), light = Material("Rail_Light");
    int shapes = 0;
    for (auto _ : state) {
        int r = Build(track, support, light);
        state.PauseTiming();
        if (r) {
            state.SkipWithError(WorldMErrorText(r));
            state.ResumeTiming();
            break;
        }
        shapes = 0;
        for (uint8_t* p = WorldMFirstPacket(WorldMImage()); p; p = WorldMNextPacket(WorldMImage(), p))
            shapes += GetU16(p, WP_TYPE) == WP_SHAPE;
        WorldMUndo();
        if (!scratch.Enter()) state.SkipWithError("no scratch folder");
        state.ResumeTiming();
    }
    state.counters["links"] = NODES - 1;
    state.counters["shapes"] = shapes;
    Done();
}

// What the check before the writing costs: every piece of the same net made and checked, the
// last link refused.
static void BM_RefuseMonorail(benchmark::State& state)
{
    if (!MakeNet(state, true)) return;
    int track = Material("Rail_Track"), support = Material("Rail_Support"), light = Material("Rail_Light");
    for (auto _ : state) {
        if (Build(track, support, light) != NET_ERR_OUTSIDE_GRID) {
            state.SkipWithError("the net was not refused");
            break;
        }
    }
    state.counters["links"] = NODES - 1;
    Done();
}

// Deleting the built net's shapes and files (the build before it untimed).
static void BM_DeleteMonorail(benchmark::State& state)
{
    if (!MakeNet(state, false)) return;
    int track = Material("Rail_Track"), support = Material("Rail_Support"), light = Material("Rail_Light");
    for (auto _ : state) {
        state.PauseTiming();
        int r = Build(track, support, light);
        state.ResumeTiming();
        if (r) {
            state.SkipWithError(WorldMErrorText(r));
            break;
        }
        WorldMRemoveNet(1);
    }
    Done();
}

// The net deleted and at once built again in the same folder (the deletion untimed): on a file
// system without a journal, every new file's inode is found past those freed a moment before.
static void BM_RebuildMonorail(benchmark::State& state)
{
    if (!MakeNet(state, false)) return;
    int track = Material("Rail_Track"), support = Material("Rail_Support"), light = Material("Rail_Light");
    for (auto _ : state) {
        int r = Build(track, support, light);
        state.PauseTiming();
        if (r) {
            state.SkipWithError(WorldMErrorText(r));
            state.ResumeTiming();
            break;
        }
        WorldMRemoveNet(1);
        state.ResumeTiming();
    }
    Done();
}

// The writing alone, side by side: 1,049 net-shape-sized files (1.2 KB) written one by one,
// each flushed (as builds did), against one batch with one flush; each round into a new folder.
static void BM_WriteNetFiles(benchmark::State& state)
{
    const bool batch = state.range(0) != 0;
    const int FILES = 1049;
    std::vector<std::string> names;
    for (int i = 0; i < FILES; i++) names.push_back("W~R" + std::to_string(10000 + i) + ".SHP");
    std::vector<uint8_t> data(1200, 0x5A);
    std::vector<FileWriteItem> items;
    for (const std::string& n : names) items.push_back({n.c_str(), data.data(), data.size(), 0});
    for (auto _ : state) {
        state.PauseTiming();
        if (!scratch.Enter()) {
            state.SkipWithError("no scratch folder");
            break;
        }
        state.ResumeTiming();
        if (batch) {
            if (FileWriteGroup(items.data(), FILES)) state.SkipWithError("write failed");
        } else {
            for (const FileWriteItem& it : items)
                if (FileWrite(it.name, it.data, it.size)) state.SkipWithError("write failed");
        }
    }
}

}  // namespace

// The builds first: the benchmarks that delete come last.
BENCHMARK(BM_BuildMonorail)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RefuseMonorail)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteNetFiles)->ArgName("batch")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DeleteMonorail)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
BENCHMARK(BM_RebuildMonorail)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
