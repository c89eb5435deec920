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
#include "frontend/editor.h"
#include "frontend/recovery.h"
#include "kernel/log.h"
#include "world/net.h"
#include "world/worldm.h"

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

// The editor of the mode started headless in a scratch folder, as the program starts it; 0
// when it did not start.
struct BenchEditor {
    char dir[32] = "/tmp/tolbex-bench-XXXXXX";
    char previous[4096] = "";
    bool ok = false;

    explicit BenchEditor(int mode)
    {
        if (!mkdtemp(dir) || !getcwd(previous, sizeof previous) || chdir(dir) != 0) return;
        FILE* f = fopen("idle.txt", "w");
        if (!f) return;
        fputs("wait 1000000\n", f);
        fclose(f);
        // The editor's recovery files stay in the scratch folder, away from the user's.
        std::string state = std::string(dir) + "/state";
        setenv("XDG_STATE_HOME", state.c_str(), 1);
        PlatOptions options{};
        options.headless = 1;
        options.script = "idle.txt";
        if (PlatSelect(&options) != 0 || KernelInstall("VOSTRANE", nullptr, "Tolbex") != 1) return;
        FrontEndRegister();
        ShapeEditInstall();
        WorldEditInstall();
        AppStartupSettings();
        for (int i = 0; i < 20 && AppRunState() != RUN_LAUNCHER; i++) AppLoopTurn();
        AppSetEditorMode(mode);
        for (int i = 0; i < 20 && AppRunState() != RUN_EDITOR; i++) AppLoopTurn();
        ok = AppRunState() == RUN_EDITOR;
    }
    ~BenchEditor()
    {
        if (KernelIsInstalled()) AppShutdown();
        PlatShutdown();
        AppResetSettings();
        AppSetRunState(RUN_START_LAUNCHER);
        KernelSetQuit(0);
        KernelSetConfirmClose(0);
        InputReset();
        remove("idle.txt");
        remove("ROCK.SHP");
        rmdir("state/tolbex");
        rmdir("state");
        if (previous[0] && chdir(previous) == 0) rmdir(dir);
    }
};

void Frames(benchmark::State& state)
{
    InputMessageHook(nullptr, NM_MOUSEMOVE, 0, (300 << 16) | 400);
    for (int i = 0; i < 3; i++) AppLoopTurn();
    for (auto _ : state) AppFrameDisplay();
}

void BM_EditorFrame(benchmark::State& state)
{
    BenchEditor editor(EDITOR_SHAPE);
    if (!editor.ok || BuildScene() != 0) {
        state.SkipWithError("the editor did not start");
        return;
    }
    Frames(state);
    state.counters["triangles"] = ShapePolygonCount(ShapeMEdit()->data);
}

// The World Editor's Top view over 200 Sphere80 worldshapes and 300 nodes, all selected: every
// shape drawn with its selection box, every node with its marker.
void BM_WorldEditorFrame(benchmark::State& state)
{
    BenchEditor editor(EDITOR_WORLD);
    if (!editor.ok) {
        state.SkipWithError("the editor did not start");
        return;
    }
    MeshCreateSphere(1500, 1500, 1500, 1);
    if (ShapeMSave("ROCK.SHP") != 0) {
        state.SkipWithError("no shape file");
        return;
    }
    WinParam type = VIEW_TOP, flags = VIEW_FLAGS_WORLD;
    WinSendMessage(EditorView(), VIEW_MSG_SET, &type, &flags);
    RandSeed(1, 7);
    // The Top view at its first zoom shows about 128,000 x 88,000 units around the origin.
    for (int k = 0; k < 200; k++)
        if (WorldMAddShape("ROCK.SHP", Rand(1, 120000) - 60000, 1500, Rand(1, 80000) - 40000, 0) <= 0) {
            state.SkipWithError("no room for the shapes");
            return;
        }
    for (int k = 0; k < 300; k++) WorldMAddNetNode(Rand(1, 120000) - 60000, 0, Rand(1, 80000) - 40000);
    WorldMSelectAllShapes();
    WorldMSelectAllNodes();
    Frames(state);
    state.counters["worldshapes"] = WorldMCountShapes();
    state.counters["nodes"] = WorldMCountNodes();
}

// The autosave's share of the frame in which it falls due: the 200-sphere edit buffer hashed,
// copied and prepared as Save prepares it, and handed to the worker; the worker's write is
// awaited outside the timing. A change before each, so that there is something to keep.
void BM_AutosaveFrame(benchmark::State& state)
{
    BenchEditor editor(EDITOR_SHAPE);
    if (!editor.ok || BuildScene() != 0 || RecoveryAutosaveMinutes() == 0) {
        state.SkipWithError("the editor did not start");
        return;
    }
    LogSetLevel(LOG_WARN);
    for (auto _ : state) {
        state.PauseTiming();
        MeshMirror(MESH_X);
        PlatHeadlessAdvanceClock(RecoveryAutosaveMinutes() * 60000);
        state.ResumeTiming();
        RecoveryFrame();
        state.PauseTiming();
        RecoveryWriteNow();   // waits for the worker; the work is kept by then
        state.ResumeTiming();
    }
    LogSetLevel(LOG_INFO);
    state.counters["bytes"] = ShapeUsedSize(ShapeMEdit()->data);
}

}  // namespace

BENCHMARK(BM_EditorFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AutosaveFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorldEditorFrame)->Unit(benchmark::kMillisecond);
