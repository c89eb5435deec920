// A full World Editor world: 256 cells (16 x 1 x 16) filled with worldshapes until the image
// reaches the two-thirds rule of the editor's capacity (about 3,970 worldshapes), one in eight
// of them a named (dynamic) shape and one in sixteen a static shape across a cell boundary. Loading its WLE, saving it, and the runtime save of it.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/res.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "platform/platform.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "world/runtime.h"
#include "world/worldm.h"

namespace {

const int CELLS_X = 16, CELLS_Z = 16, EXPONENT = 6;
const char* const kStatic[] = {"ROCK.SHP", "TREE.SHP", "HUT.SHP", "POST.SHP"};
const char* const kDynamic[] = {"CART.SHP", "LAMP.SHP"};

// A box of half-sizes hx, hy, hz: 8 vertices and 6 quads.
void WriteBox(const char* name, int32_t hx, int32_t hy, int32_t hz)
{
    std::vector<uint8_t> bytes(65536);
    ShapeBlock s{bytes.data(), (uint32_t)bytes.size()};
    ShapeMakeEmpty(s.data);
    for (int i = 0; i < 8; i++) ShapeAppendVertex(&s, i & 1 ? hx : -hx, i & 2 ? hy : -hy, i & 4 ? hz : -hz);
    const uint16_t quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {1, 3, 7, 5}, {0, 4, 6, 2}};
    for (const auto& q : quads) ShapeAppendPolygonWithNormal(&s, 4, q, 0);
    ShapeDerive(s.data);
    FILE* f = fopen(name, "wb");
    fwrite(s.data, 1, ShapeUsedSize(s.data), f);
    fclose(f);
}

// Installs the managers once, in a scratch folder, and builds the world there as FULL.WLE.
void SetUpWorld()
{
    static bool done;
    if (done) return;
    done = true;
    char folder[] = "/tmp/tolbex_world_bench_XXXXXX";
    if (!mkdtemp(folder) || chdir(folder)) abort();
    ResInstall(2000);
    IntMatCreate(512);
    MatMInstall();
    ShapeMResourceInstall();
    ShapeMInstall();
    WorldMInstall(WORLDM_CAPACITY);
    WorldMRuntimeInstall();
    WorldMSetUndo(0);
    for (int i = 0; i < 4; i++) WriteBox(kStatic[i], 2000 + 500 * i, 3000, 1500 + 700 * i);
    WriteBox(kDynamic[0], 1200, 800, 2500);
    WriteBox(kDynamic[1], 300, 4000, 300);

    WorldMNew();
    WorldMSetCellExponent(EXPONENT);
    WorldMSetCellsX(CELLS_X);
    WorldMSetCellsY(1);
    WorldMSetCellsZ(CELLS_Z);
    const int32_t edge = 16384 << EXPONENT;
    uint32_t seed = 12345, name = 0x41414141;
    for (int n = 0;; n++) {
        seed = seed * 1103515245 + 12345;
        int cell = (int)(seed >> 8) % (CELLS_X * CELLS_Z);
        // Well inside the cell; but one static shape in sixteen straddles the cell's far X side
        // and is cut in two.
        int32_t x = (cell % CELLS_X) * edge + 10000 + (int32_t)(seed >> 4) % (edge - 20000);
        if (n % 16 == 1 && cell % CELLS_X < CELLS_X - 1) x = (cell % CELLS_X + 1) * edge - 500;
        int32_t z = (cell / CELLS_X) * edge + 10000 + (int32_t)(seed >> 12) % (edge - 20000);
        bool dynamic = n % 8 == 0;
        int id = dynamic ? WorldMAddShape(kDynamic[n / 8 % 2], x, 5000, z, name) : WorldMAddShape(kStatic[n % 4], x, 5000, z, 0);
        if (id == WORLD_ERR_OUT_OF_SPACE) break;
        if (id <= 0) abort();
        if (dynamic) {
            // The next name: the last character fastest, A..Z only.
            name++;
            for (int shift = 0; shift < 24; shift += 8)
                if (((name >> shift) & 0xFF) > 'Z') name += (uint32_t)('A' - 'Z' - 1) << shift, name += 1u << (shift + 8);
        }
    }
    if (WorldMSave("FULL.WLE", nullptr, nullptr, nullptr)) abort();
}

void BM_WorldLoad(benchmark::State& state)
{
    SetUpWorld();
    for (auto _ : state)
        if (WorldMLoad("FULL.WLE")) state.SkipWithError("load failed");
    state.counters["worldshapes"] = WorldMCountShapes();
    state.counters["bytes"] = WorldMUsed();
}
BENCHMARK(BM_WorldLoad)->Unit(benchmark::kMillisecond);

void BM_WorldSave(benchmark::State& state)
{
    SetUpWorld();
    for (auto _ : state)
        if (WorldMSave("FULL.WLE", nullptr, nullptr, nullptr)) state.SkipWithError("save failed");
}
BENCHMARK(BM_WorldSave)->Unit(benchmark::kMillisecond);

void BM_WorldRuntimeSave(benchmark::State& state)
{
    SetUpWorld();
    for (auto _ : state)
        if (int r = WorldMSave("FULL.WLE", "FULL.WLD", nullptr, nullptr))
            state.SkipWithError((std::string("runtime save failed: ") + WorldMRuntimeMessage() + " " + std::to_string(r)).c_str());
    state.counters["runtime_bytes"] = (double)FileSize("FULL.WLD");
    state.counters["wxp_bytes"] = (double)FileSize("FULL.wxp");
}
BENCHMARK(BM_WorldRuntimeSave)->Unit(benchmark::kMillisecond);

}  // namespace
