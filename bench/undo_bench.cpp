// The undo history at capacity: 64 steps recorded on the largest shape the edit buffer holds,
// on a shape of 2,000 polygons, and on a world filled to the two-thirds rule of its capacity;
// then Undo and Redo through them. The counters give the bytes a step keeps.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>

#include "base/bytes.h"
#include "base/history.h"
#include "base/res.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "world/wle.h"
#include "world/worldm.h"

namespace {

enum { STEPS = 64, SMALL_POLYGONS = 2000 };

void SetUpManagers()
{
    static bool done;
    if (done) return;
    done = true;
    char folder[] = "/tmp/tolbex_undo_bench_XXXXXX";
    if (!mkdtemp(folder) || chdir(folder)) abort();
    ResInstall(2000);
    IntMatCreate(512);
    MatMInstall();
    ShapeMResourceInstall();
    ShapeMInstall();
    WorldMInstall(WORLDM_CAPACITY);
    ShapeMSetUndo(1);
    WorldMSetUndo(1);
    HistorySetBounds(ShapeMHistory(), STEPS, (size_t)HISTORY_MEGABYTES_DEFAULT << 20);
    HistorySetBounds(WorldMHistory(), STEPS, (size_t)HISTORY_MEGABYTES_DEFAULT << 20);
}

// The edit buffer as a grid of polygons of `points` corners along its rows (quads for 2), with
// as many polygons as asked for or as the buffer holds.
void FillShape(int across, int polygons, int points)
{
    ShapeMSetUndo(0);
    ShapeMNew();
    ShapeMSetUndo(1);
    ShapeBlock* s = ShapeMEdit();
    for (int i = 0; i < across * across; i++) ShapeAppendVertex(s, (i % across) * 100, 0, (i / across) * 100);
    const int spans = across - points / 2;
    for (int n = 0; n < polygons; n++) {
        int x = n % spans, z = n / spans % (across - 1);
        uint16_t q[16];
        for (int k = 0; k < points / 2; k++) {
            q[k] = (uint16_t)(z * across + x + k);
            q[points - 1 - k] = (uint16_t)((z + 1) * across + x + k);
        }
        if (ShapeAppendPolygonWithNormal(s, points, q, 0) < 0) break;
    }
    ShapeDerive(s->data);
}

// One edit as the mesh operations make it: the undo step first, then a vertex moved.
void ShapeEdit(int i)
{
    ShapeMSaveUndo();
    uint8_t* v = ShapeVertex(ShapeMEdit()->data, i % ShapeVertexCount(ShapeMEdit()->data));
    PutI32(v, 0, GetI32(v, 0) + 1);
}

void RecordShapeSteps(benchmark::State& state, int across, int polygons, int points)
{
    SetUpManagers();
    FillShape(across, polygons, points);
    History* h = ShapeMHistory();
    for (auto _ : state) {
        HistoryClear(h);
        for (int i = 0; i < STEPS; i++) ShapeEdit(i);
    }
    state.counters["polygons"] = ShapePolygonCount(ShapeMEdit()->data);
    state.counters["shape_bytes"] = ShapeUsedSize(ShapeMEdit()->data);
    state.counters["steps_kept"] = HistoryUndoCount(h);
    state.counters["bytes_per_step"] = (double)HistoryBytes(h) / HistoryUndoCount(h);
    state.counters["time_per_step"] =
        benchmark::Counter((double)STEPS * state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The largest: 181 x 181 vertices and octagons until the counts or the buffer end it.
enum { LARGEST_ACROSS = 181, LARGEST_POINTS = 8, SMALL_ACROSS = 46 };
void BM_UndoRecordLargestShape(benchmark::State& state)
{
    RecordShapeSteps(state, LARGEST_ACROSS, SHAPE_MAX_COUNT, LARGEST_POINTS);
}
void BM_UndoRecordShape2000(benchmark::State& state) { RecordShapeSteps(state, SMALL_ACROSS, SMALL_POLYGONS, 4); }

// Undo and Redo through the 64 steps, one pair an iteration.
void BM_UndoRedoLargestShape(benchmark::State& state)
{
    SetUpManagers();
    FillShape(LARGEST_ACROSS, SHAPE_MAX_COUNT, LARGEST_POINTS);
    HistoryClear(ShapeMHistory());
    for (int i = 0; i < STEPS; i++) ShapeEdit(i);
    for (auto _ : state) {
        ShapeMUndo();
        ShapeMRedo();
    }
    state.counters["time_per_step"] =
        benchmark::Counter(2.0 * state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The world at the two-thirds rule: node packets up to the limit.
void FillWorld()
{
    WorldMSetUndo(0);
    WorldMNew();
    while (WorldMUsed() + WP_NODE_SIZE <= WorldMLimit()) {
        int32_t at = WorldMAppendPacket(WP_NODE, WP_NODE_SIZE);
        if (at < 0) break;
        PutU16(WorldMImage(), (uint32_t)at + WN_ID, (uint16_t)(at / WP_NODE_SIZE));
    }
    WorldMSetUndo(1);
}

void BM_UndoRecordFullWorld(benchmark::State& state)
{
    SetUpManagers();
    FillWorld();
    History* h = WorldMHistory();
    for (auto _ : state) {
        HistoryClear(h);
        for (int i = 0; i < STEPS; i++) WorldMSetCellsX((uint32_t)(i + 1));
    }
    state.counters["world_bytes"] = WorldMUsed();
    state.counters["steps_kept"] = HistoryUndoCount(h);
    state.counters["bytes_per_step"] = (double)HistoryBytes(h) / HistoryUndoCount(h);
    state.counters["time_per_step"] =
        benchmark::Counter((double)STEPS * state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_UndoRedoFullWorld(benchmark::State& state)
{
    SetUpManagers();
    FillWorld();
    HistoryClear(WorldMHistory());
    for (int i = 0; i < STEPS; i++) WorldMSetCellsX((uint32_t)(i + 1));
    for (auto _ : state) {
        WorldMUndo();
        WorldMRedo();
    }
    state.counters["time_per_step"] =
        benchmark::Counter(2.0 * state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_UndoRecordLargestShape)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoRecordShape2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoRedoLargestShape)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoRecordFullWorld)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoRedoFullWorld)->Unit(benchmark::kMillisecond);
