// One editor frame at 800 x 600, the whole window tree drawn: the Shape Editor started through
// its run states on the headless back end, its edit buffer holding the 200-sphere scene of the
// 3D view benchmark (200 Random Sphere80 shapes, 16,000 triangles: a third each in a flat, a
// smooth and a textured material) placed in front of the view's default camera, the pointer
// over the view so that the frame picks too, the menu bar and the open panel drawn as well.
#include <benchmark/benchmark.h>

#include "bench_materials.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/log.h"
#include "base/maths.h"
#include "base/res.h"
#include "base/workpool.h"
#include "frontend/editor.h"
#include "frontend/frontend.h"
#include "frontend/recovery.h"
#include "frontend/view.h"
#include "kernel/app.h"
#include "kernel/kernel.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "platform/platform.h"
#include "render/draw3d.h"
#include "render/zbuffer.h"
#include "scene/terraindraw.h"
#include "shapeedit/shapeedit.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "world/net.h"
#include "world/terrain.h"
#include "world/wle.h"
#include "world/worldm.h"
#include "worldedit/worldedit.h"

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

    // screen: a --screen value ("1920x1080"), or null for the launcher's 800 x 600; renderer:
    // a --renderer value, or null for the default choice.
    explicit BenchEditor(int mode, const char* screen = nullptr, const char* renderer = nullptr)
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
        if (screen) {
            char why[200];
            char* argv[] = {(char*)"tolbex", (char*)"--screen", (char*)screen, (char*)"--uiscale", (char*)"1"};
            if (AppParseScreenOptions(5, argv, why, sizeof why) != 0) return;
        }
        if (renderer) AppParseCommandLine((std::string("tolbex --renderer ") + renderer).c_str());
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

void Frames(benchmark::State& state, int threads)
{
    // The rasteriser's threads as the benchmark asks (the editor starts with one a core).
    ZBufferSetThreads(threads);
    state.counters["threads"] = WorkPoolThreads();
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
    Frames(state, (int)state.range(0));
    state.counters["triangles"] = ShapePolygonCount(ShapeMEdit()->data);
}

// The same scene in the Shape Editor's view at a 1920 x 1080 logical screen (the "Window"
// screen of a 1920 x 1080 desktop at scale 1, or of 3840 x 2160 at scale 2): the view is
// 1919 x 1030. Software Z-buffer (arg 0; its threads as the settings give them) or OpenGL
// (arg 1, skipped when no GL context can be had).
void BM_EditorFrameLarge(benchmark::State& state)
{
    const bool gl = state.range(0) != 0;
    if (gl) {
        char why[200];
        if (PlatGLOpen(why, sizeof why) != 0) {
            state.SkipWithError(why);
            return;
        }
        PlatGLClose();
    }
    BenchEditor editor(EDITOR_SHAPE, "1920x1080", gl ? "gl" : "software");
    if (!editor.ok || BuildScene() != 0) {
        state.SkipWithError("the editor did not start");
        return;
    }
    if (VideoModeWidth() != 1920 || VideoModeHeight() != 1080) {
        state.SkipWithError("the screen is not 1920 x 1080");
        return;
    }
    InputMessageHook(nullptr, NM_MOUSEMOVE, 0, (540 << 16) | 960);
    for (int i = 0; i < 3; i++) AppLoopTurn();
    for (auto _ : state) AppFrameDisplay();
    state.counters["threads"] = gl ? 0 : WorkPoolThreads();
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
    Frames(state, (int)state.range(0));
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

// The largest shape the format holds, textured: a 127 x 127 grid of points (16,129 of the
// 16,383 a shape may have) in 31,752 mapped triangles, a gentle hill, in front of the view.
int BuildLargestShape(void)
{
    for (int i = 0; i < 248; i++) VideoSetColour(i, (uint8_t)(i * 7), (uint8_t)(255 - i), (uint8_t)(i * 3));
    int textured = BenchMaterial("TEXTURED", 255, 255, 255);
    ResId texture = SpriteCreate8(64, 64, -1, nullptr, 0);
    uint8_t* px = SpritePixels(texture);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) px[y * 64 + x] = (uint8_t)(((x >> 3) ^ (y >> 3)) & 1 ? 16 + x : 80 + y);
    SpriteRelease(texture);
    IntMatSetSprite(textured, texture);
    const int N = 127, STEP = 160;
    ShapeMNew();
    for (int z = 0; z < N; z++)
        for (int x = 0; x < N; x++) {
            int32_t h = (int32_t)(1200 * std::sin(x * 0.1) * std::cos(z * 0.08));
            if (ShapeAppendVertex(ShapeMEdit(), (x - N / 2) * STEP, h, (z - N / 2) * STEP) < 0) return 1;
        }
    int polygon = 0;
    for (int z = 0; z + 1 < N; z++)
        for (int x = 0; x + 1 < N; x++) {
            const uint16_t a = (uint16_t)(z * N + x), b = (uint16_t)(a + 1), c = (uint16_t)(a + N), d = (uint16_t)(c + 1);
            const uint16_t tris[2][3] = {{a, c, d}, {a, d, b}};
            for (const auto& t : tris) {
                if (ShapeAppendPolygonWithNormal(ShapeMEdit(), 3, t, (uint16_t)textured) < 0) return 1;
                int16_t uv[6];
                for (int k = 0; k < 3; k++) {
                    uv[2 * k] = (int16_t)((t[k] % N) * 16384 / 8);
                    uv[2 * k + 1] = (int16_t)((t[k] / N) * 16384 / 8 % 32768);
                }
                if (MeshSetMapping(polygon++, uv)) return 1;
            }
        }
    MeshSelectAllPolygons(0);
    MeshSelectAllVertices(0);
    return 0;
}

void BM_LargestShapeFrame(benchmark::State& state)
{
    BenchEditor editor(EDITOR_SHAPE);
    if (!editor.ok || BuildLargestShape() != 0) {
        state.SkipWithError("the editor did not start or the shape did not fit");
        return;
    }
    Frames(state, (int)state.range(0));
    state.counters["triangles"] = ShapePolygonCount(ShapeMEdit()->data);
    state.counters["bytes"] = ShapeUsedSize(ShapeMEdit()->data);
}

// The World Editor's Top view over a world at the editor's capacity: boxes of 6 quads added
// over the view's area until the image is full (3,969 worldshapes), and 300 nodes.
void BM_FullWorldFrame(benchmark::State& state)
{
    BenchEditor editor(EDITOR_WORLD);
    if (!editor.ok) {
        state.SkipWithError("the editor did not start");
        return;
    }
    std::vector<uint8_t> bytes(65536);
    ShapeBlock s{bytes.data(), (uint32_t)bytes.size()};
    ShapeMakeEmpty(s.data);
    for (int i = 0; i < 8; i++) ShapeAppendVertex(&s, i & 1 ? 900 : -900, i & 2 ? 700 : -700, i & 4 ? 600 : -600);
    const uint16_t quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {1, 3, 7, 5}, {0, 4, 6, 2}};
    for (const auto& q : quads) ShapeAppendPolygonWithNormal(&s, 4, q, 0);
    ShapeDerive(s.data);
    FILE* f = fopen("BOX.SHP", "wb");
    if (!f || fwrite(s.data, 1, ShapeUsedSize(s.data), f) != ShapeUsedSize(s.data)) {
        if (f) fclose(f);
        state.SkipWithError("no shape file");
        return;
    }
    fclose(f);
    WinParam type = VIEW_TOP, flags = VIEW_FLAGS_WORLD;
    WinSendMessage(EditorView(), VIEW_MSG_SET, &type, &flags);
    RandSeed(1, 7);
    for (int k = 0; k < 300; k++) WorldMAddNetNode(Rand(1, 120000) - 60000, 0, Rand(1, 80000) - 40000);
    while (WorldMAddShape("BOX.SHP", Rand(1, 120000) - 60000, 1500, Rand(1, 80000) - 40000, 0) > 0) {}
    Frames(state, (int)state.range(0));
    state.counters["worldshapes"] = WorldMCountShapes();
    state.counters["nodes"] = WorldMCountNodes();
    state.counters["bytes"] = WorldMUsed();
    remove("BOX.SHP");
}

// ---- The World Editor over a world at the format's limit ------------------------------------

enum {
    WORLD_FILE_LIMIT = 524288,   // the largest world file the editor loads
    TERRAIN_SHIFT = 5,           // 32 samples a tile edge
    TERRAIN_TILES_ACROSS = 23,   // with 22 deep the samples fill the file
    TERRAIN_HEAD = 3484,
    BENCH_NODES = 1000,
};

const char* const kTerrainTextures[] = {"grass.spr", "rock.spr", "sand.spr", "snow.spr"};

void WriteSprite(const std::string& name, int seed)
{
    ResId made = SpriteCreate8(64, 64, -1, nullptr, 0);
    uint8_t* px = SpritePixels(made);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) px[y * 64 + x] = (uint8_t)(16 + ((x * 3 + y * 5 + seed * 40) & 127));
    SpriteRelease(made);
    FILE* f = fopen(name.c_str(), "wb");
    if (f) {
        fwrite(ResPeek(made), 1, ResSize(made), f);
        fclose(f);
    }
    ResFreeAlways(made);
}

size_t Pad4(size_t n) { return (n + 3) & ~(size_t)3; }

// A world file of at most 524,288 bytes: the given nodes (one net in a chain), one worldshape in
// every cell of the ground layer when asked, and the largest terrain (23 tiles across, as many
// deep as the bytes left hold) of rolling hills under water in the hollows.
std::vector<uint8_t> FullWorld(int nodes, bool shapes, uint32_t* tilesDeep)
{
    const uint32_t exponent = 6, edge = 16384u << exponent, across = (TERRAIN_TILES_ACROSS << TERRAIN_SHIFT) + 1;
    uint32_t fixed = WLE_HEADER_SIZE + nodes * WP_NODE_SIZE;
    uint32_t deepTiles = 64;
    auto terrainSize = [&](uint32_t d) {
        return TERRAIN_HEAD + Pad4((size_t)across * ((d << TERRAIN_SHIFT) + 1)) + Pad4((size_t)TERRAIN_TILES_ACROSS * d * 2);
    };
    auto shapeBytes = [&](uint32_t d) { return shapes ? (size_t)TERRAIN_TILES_ACROSS * d * WP_SHAPE_SIZE : 0; };
    while (deepTiles > 1 && fixed + shapeBytes(deepTiles) + terrainSize(deepTiles) > WORLD_FILE_LIMIT) deepTiles--;
    *tilesDeep = deepTiles;
    const uint32_t deep = (deepTiles << TERRAIN_SHIFT) + 1;

    std::vector<uint8_t> w(WLE_HEADER_SIZE, 0);
    PutU32(w.data(), WLE_CELL_EXPONENT, exponent);
    PutU32(w.data(), WLE_CELL_EDGE, edge);
    PutU32(w.data(), WLE_VERSION, 19);
    PutU32(w.data(), WLE_CELLS_X, TERRAIN_TILES_ACROSS);
    PutU32(w.data(), WLE_CELLS_Y, 1);
    PutU32(w.data(), WLE_CELLS_Z, deepTiles);
    PutU32(w.data(), WLE_CELL_DIAGONAL, (uint32_t)std::sqrt(3.0 * edge * edge));
    auto height = [&](uint32_t c, uint32_t r) {
        return (int)(128 + 70 * std::sin(c / 37.0) * std::cos(r / 29.0) + 50 * std::sin((c + 2 * r) / 90.0));
    };
    for (int k = 0; k < nodes; k++) {
        size_t at = w.size();
        w.resize(at + WP_NODE_SIZE, 0);
        uint8_t* p = w.data() + at;
        PutU16(p, WN_TYPE, WP_NODE);
        PutI32(p, WN_X, (int32_t)(k * (uint64_t)edge * TERRAIN_TILES_ACROSS / nodes));
        PutI32(p, WN_Y, 40000);
        PutI32(p, WN_Z, (int32_t)(edge * deepTiles / 2 + (k % 7) * 20000));
        PutU16(p, WN_ID, (uint16_t)(k + 1));
        PutU16(p, WN_PREV, (uint16_t)k);
        PutU16(p, WN_NEXT, (uint16_t)(k + 1 < nodes ? k + 2 : 0));
    }
    if (shapes)
        for (uint32_t z = 0; z < deepTiles; z++)
            for (uint32_t x = 0; x < TERRAIN_TILES_ACROSS; x++) {
                size_t at = w.size();
                w.resize(at + WP_SHAPE_SIZE, 0);
                uint8_t* p = w.data() + at;
                PutU16(p, WS_TYPE, WP_SHAPE);
                PutI32(p, WS_X, (int32_t)(x * edge + edge / 2));
                PutI32(p, WS_Y, 30000);
                PutI32(p, WS_Z, (int32_t)(z * edge + edge / 2));
                memcpy(p + WS_FILE, "ROCK", 4);
                PutU16(p, WS_FIELD60, 0xFFFF);
            }
    size_t at = w.size();
    w.resize(at + TERRAIN_HEAD, 0);
    uint8_t* t = w.data() + at;
    PutU16(t, 0, TERRAIN_PACKET_TYPE);
    const std::pair<int, uint32_t> fields[] = {
        {TP_SAMPLES, TERRAIN_HEAD}, {TP_SHIFT, TERRAIN_SHIFT}, {TP_ACROSS, across}, {TP_DEEP, deep},
        {TP_LOWEST, 0}, {TP_HIGHEST, 400000}, {TP_TILES_ACROSS, TERRAIN_TILES_ACROSS}, {TP_TILES_DEEP, deepTiles},
        {TP_NAME_COUNT, 4}, {TP_TEXTURE_SIZE, 64}, {TP_CEILING, 0x7FFFFFFF}, {TP_WATER, 160000}};
    for (auto [off, v] : fields) PutU32(t, off, v);
    for (int i = 0; i < 4; i++) memcpy(t + TP_NAMES + 13 * i, kTerrainTextures[i], strlen(kTerrainTextures[i]));
    for (uint32_t r = 0; r < deep; r++)
        for (uint32_t c = 0; c < across; c++) w.push_back((uint8_t)std::clamp(height(c, r), 0, 255));
    w.resize(at + Pad4(w.size() - at), 0);
    PutU32(w.data() + at, TP_TILES, (uint32_t)(w.size() - at));
    for (uint32_t k = 0; k < TERRAIN_TILES_ACROSS * deepTiles; k++) {
        w.push_back((uint8_t)(k * 7 % 4));
        w.push_back(0);
    }
    w.resize(at + Pad4(w.size() - at), 0);
    PutU32(w.data() + at, TP_LENGTH, (uint32_t)(w.size() - at));
    PutU32(w.data(), WLE_USED, (uint32_t)w.size());
    return w;
}

// The World Editor's frame over a full-capacity world: range(0) 0 the Top view framing the whole
// terrain, 1 the perspective view across it from above one corner; range(1) 0 the largest
// terrain alone (it fills the file), 1 with 1,000 nodes and a worldshape in every cell.
void BM_WorldEditorFullWorld(benchmark::State& state)
{
    BenchEditor editor(EDITOR_WORLD);
    if (!editor.ok) {
        state.SkipWithError("the editor did not start");
        return;
    }
    bool mixed = state.range(1) != 0;
    MeshCreateSphere(1500, 1500, 1500, 1);
    for (int i = 0; i < 4; i++) WriteSprite(kTerrainTextures[i], i);
    for (int i = 0; i < TERRAIN_WATER_MATERIALS; i++) WriteSprite("C" + std::to_string(100 + i).substr(1) + ".spr", 9);
    uint32_t tilesDeep = 0;
    std::vector<uint8_t> world = FullWorld(mixed ? BENCH_NODES : 0, mixed, &tilesDeep);
    FILE* f = fopen("FULL.WLE", "wb");
    bool written = f && fwrite(world.data(), 1, world.size(), f) == world.size();
    if (f) fclose(f);
    if (ShapeMSave("ROCK.SHP") != 0 || !written || WorldMLoad("FULL.WLE") != 0) {
        state.SkipWithError("the world did not load");
        return;
    }
    Draw3DLoadTextures(nullptr);
    double wide = (double)TERRAIN_TILES_ACROSS * (16384 << 6), deepUnits = (double)tilesDeep * (16384 << 6);
    ViewInfo v{};
    v.displayFlags = VIEW_FLAGS_WORLD;
    v.centre[0] = (int32_t)(wide / 2);
    v.centre[2] = (int32_t)(deepUnits / 2);
    if (state.range(0) == 0) {
        v.type = VIEW_TOP;
        v.zoom = (float)(std::max(wide / VIEW_W, deepUnits / VIEW_H) * 1.05);
    } else {
        // Heading 45 degrees, 20 degrees down, from 8,000,000 units before the middle: the eye
        // stands over the terrain a quarter of the way in from a corner, the far corner in view.
        v.type = VIEW_PERSPECTIVE;
        v.distance = 8000000;
        v.centre[1] = 100000;
        const int16_t across[9] = {11585, 0, -11585, 3962, 15396, 3962, 10887, -5604, 10887};
        memcpy(v.orientation, across, sizeof across);
    }
    if (!ViewPlace(EditorView(), &v)) {
        state.SkipWithError("no view");
        return;
    }
    // On one core, whatever an earlier benchmark left the worker pool at.
    Frames(state, 1);
    const TerrainDrawStats* t = TerrainDrawGetStats();
    state.counters["bytes"] = (double)world.size();
    state.counters["tiles"] = t->tiles;
    state.counters["triangles"] = t->triangles;
    state.counters["polygons"] = Draw3DStats()->polygons;   // those that reached the rasteriser
    state.counters["worldshapes"] = WorldMCountShapes();
    state.counters["nodes"] = WorldMCountNodes();
    for (int i = 0; i < 4; i++) remove(kTerrainTextures[i]);
    for (int i = 0; i < TERRAIN_WATER_MATERIALS; i++) remove(("C" + std::to_string(100 + i).substr(1) + ".spr").c_str());
    remove("FULL.WLE");
}

}  // namespace

// threads: the software rasteriser's, side by side in one run.
BENCHMARK(BM_EditorFrame)->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WorldEditorFullWorld)->ArgNames({"perspective", "mixed"})->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AutosaveFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditorFrameLarge)->ArgName("gl")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WorldEditorFrame)->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LargestShapeFrame)->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FullWorldFrame)->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
