// One editor frame at 800 x 600, the whole window tree drawn: the Shape Editor started through
// its run states on the headless back end, its edit buffer holding the 200-sphere scene of the
// 3D view benchmark (200 Random Sphere80 shapes, 16,000 triangles: a third each in a flat, a
// smooth and a textured material) placed in front of the view's default camera, the pointer
// over the view so that the frame picks too, the menu bar and the open panel drawn as well.
#include <benchmark/benchmark.h>

#include "bench_materials.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frontend/frontend.h"
#include "shapeedit/shapeedit.h"
#include "worldedit/worldedit.h"
#include "frontend/view.h"
#include "kernel/app.h"
#include "kernel/kernel.h"
#include "kernel/res/res.h"
#include "kernel/util/bytes.h"
#include "kernel/util/maths.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "platform/platform.h"
#include "render/draw3d.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"

namespace {

const int VIEW_W = 797, VIEW_H = 538, SPHERES = 200, VIEW_DISTANCE = 32768;


// A sphere made as Create Object makes it, given its material and moved to a world point.
std::vector<uint8_t> PlacedSphere(int32_t radius, int material, const int32_t at[3])
{
    MeshCreateSphere(radius, radius, radius, 1);
    MeshSelectAllPolygons(1);
    MeshSetMaterial(MESH_SELECTED, material);
    MeshSelectAllVertices(1);
    for (int a = 0; a < 3; a++) MeshMove(MESH_SELECTED, a, at[a]);
    MeshMoveDone();
    MeshSelectAllPolygons(0);
    MeshSelectAllVertices(0);
    const uint8_t* b = ShapeMEdit()->data;
    return std::vector<uint8_t>(b, b + ShapeUsedSize(b));
}

// The spheres where the 3D view benchmark puts them in camera space, turned into the world by
// the view's default camera: 2,000 to 12,000 units in front of its eye, 10 to 50 pixels wide.
int BuildScene(void)
{
    // The texture's palette colours, as the 3D view benchmark sets them.
    for (int i = 0; i < 248; i++) VideoSetColour(i, (uint8_t)(i * 7), (uint8_t)(255 - i), (uint8_t)(i * 3));
    int flat = BenchMaterial("FLAT", 200, 120, 60), smooth = BenchMaterial("SMOOTH", 90, 160, 220);
    int textured = BenchMaterial("TEXTURED", 255, 255, 255);
    ResId texture = SpriteCreate8(64, 64, -1, nullptr, 0);
    uint8_t* px = SpritePixels(texture);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) px[y * 64 + x] = (uint8_t)(((x >> 3) ^ (y >> 3)) & 1 ? 16 + x : 80 + y);
    SpriteRelease(texture);
    IntMatSetSprite(textured, texture);

    const int16_t* m = kViewDefaultOrientation;
    RandSeed(0, 1);
    RandSeed(1, 1);
    std::vector<std::vector<uint8_t>> spheres;
    for (int k = 0; k < SPHERES; k++) {
        int32_t z = 2000 + Rand(1, 10000), r = (10 + Rand(1, 40)) * z / (VIEW_W / 2);
        int32_t x = (Rand(1, VIEW_W) - VIEW_W / 2) * z / (VIEW_W / 2);
        int32_t y = (Rand(1, VIEW_H) - VIEW_H / 2) * z / (VIEW_W / 2);
        int32_t at[3];
        for (int a = 0; a < 3; a++)
            at[a] = (int32_t)(((int64_t)x * m[a] + (int64_t)y * m[3 + a] + (int64_t)(z - VIEW_DISTANCE) * m[6 + a]) >> 14);
        int kind = k % 3;
        spheres.push_back(PlacedSphere(r, kind == 0 ? flat : kind == 1 ? smooth : textured, at));
    }
    // The first sphere is the buffer; the others are merged into it.
    memcpy(ShapeMEdit()->data, spheres[0].data(), spheres[0].size());
    for (int k = 1; k < SPHERES; k++) {
        ResId id = ResCreate(spheres[k].size());
        memcpy(ResOpen(id), spheres[k].data(), spheres[k].size());
        ResClose(id);
        int result = ShapeMMerge(id);
        ResFree(id);
        if (result != 0) return 1;
    }
    MeshSelectAllPolygons(0);
    MeshSelectAllVertices(0);
    return 0;
}

void BM_EditorFrame(benchmark::State& state)
{
    char dir[] = "/tmp/tolbex-bench-XXXXXX";
    char previous[4096];
    if (!mkdtemp(dir) || !getcwd(previous, sizeof previous) || chdir(dir) != 0) {
        state.SkipWithError("no scratch folder");
        return;
    }
    FILE* f = fopen("idle.txt", "w");
    fputs("wait 1000000\n", f);
    fclose(f);
    PlatOptions options{};
    options.headless = 1;
    options.script = "idle.txt";
    bool ok = PlatSelect(&options) == 0 && KernelInstall("VOSTRANE", nullptr, "Tolbex") == 1;
    if (ok) {
        FrontEndRegister();
        ShapeEditInstall();
        WorldEditInstall();
        AppStartupSettings();
        for (int i = 0; i < 20 && AppRunState() != RUN_LAUNCHER; i++) AppLoopTurn();
        AppSetEditorMode(EDITOR_SHAPE);
        for (int i = 0; i < 20 && AppRunState() != RUN_EDITOR; i++) AppLoopTurn();
        ok = AppRunState() == RUN_EDITOR && BuildScene() == 0;
    }
    if (ok) {
        InputMessageHook(nullptr, NM_MOUSEMOVE, 0, (300 << 16) | 400);
        for (int i = 0; i < 3; i++) AppLoopTurn();
        for (auto _ : state) AppFrameDisplay();
        state.counters["triangles"] = ShapePolygonCount(ShapeMEdit()->data);
    } else {
        state.SkipWithError("the editor did not start");
    }
    if (KernelIsInstalled()) AppShutdown();
    PlatShutdown();
    AppResetSettings();
    AppSetRunState(RUN_START_LAUNCHER);
    KernelSetQuit(0);
    KernelSetConfirmClose(0);
    InputReset();
    remove("idle.txt");
    if (chdir(previous) != 0) state.SkipWithError("cannot go back");
    rmdir(dir);
}

}  // namespace

BENCHMARK(BM_EditorFrame)->Unit(benchmark::kMillisecond);
