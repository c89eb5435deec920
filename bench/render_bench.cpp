// One frame of the Shape Editor's renderer: 200 Random Sphere80 shapes made as Create Object
// makes them (a third each with a flat, a smooth and a textured material), drawn through
// Draw3D at 799 x 550 as the view draws them (view cleared first, back faces removed, sort
// mode 4), in 16 and 32 bits, through the "Software Z-Buffer" driver and through the OpenGL
// driver. GL frames end with glFinish inside the clock; the readback (GL to the framebuffer,
// packed) is also given on its own. llvmpipe takes its thread count when the process first
// makes a context: `make bench` runs the GL cases a second time in a process of its own with
// LP_NUM_THREADS=0 (the counter lp_threads says which run a line comes from).
#include <benchmark/benchmark.h>

#include <algorithm>

#include "bench_materials.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/bytes.h"
#include "base/maths.h"
#include "base/res.h"
#include "base/workpool.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "platform/platform.h"
#include "render/draw3d.h"
#include "render/gldriver.h"
#include "render/pixpack.h"
#include "render/softdriver.h"
#include "render/zbuffer.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"

namespace {

const int VIEW_W = 799, VIEW_H = 550, SPHERES = 200;

// A sphere as the shape manager hands it to Draw3D: its points and its triangles.
struct Sphere {
    int32_t at[3];
    int32_t radius;
    std::vector<float> points;
    std::vector<D3Triangle> triangles;
};


// The edit buffer's sphere as triangles: flat ones without the per-point normals.
static Sphere Take(int material, bool smooth, bool textured)
{
    Sphere s;
    uint8_t* b = ShapeMEdit()->data;
    s.radius = GetI32(b, SH_RADIUS);
    for (int i = 0; i < ShapeVertexCount(b); i++) {
        int32_t p[3];
        ShapeVertexPos(b, i, p);
        s.points.insert(s.points.end(), {(float)p[0], (float)p[1], (float)p[2]});
    }
    uint8_t* poly = ShapeFirstPolygon(b);
    for (int i = 0; poly && i < ShapePolygonCount(b); i++, poly = ShapeNextPolygon(poly)) {
        D3Triangle t{};
        t.material = material;
        for (int a = 0; a < 3; a++) t.normal[a] = GetI16(poly, 4 + 2 * a);
        const uint8_t* normals = ShapePolyNormals(poly);
        const uint8_t* mapping = ShapePolyMapping(poly);
        if (smooth && normals) t.flags |= D3TR_SMOOTH;
        if (textured && mapping) t.flags |= D3TR_TEXTURED;
        for (int c = 0; c < 3; c++) {
            t.point[c] = ShapePolyIndex(poly, c);
            if (mapping) {
                t.u[c] = GetI16(mapping, 4 * c) / 16384.0f;
                t.v[c] = GetI16(mapping, 4 * c + 2) / 16384.0f;
            }
            if (normals)
                for (int a = 0; a < 3; a++) t.vnormal[c][a] = GetI16(normals, 6 * c + 2 * a) / 16384.0f;
        }
        s.triangles.push_back(t);
    }
    return s;
}

// The pipeline alone: a driver whose polygon routines draw nothing.
static void NoPolygon(D3Polygon*) {}
static D3PolyFn noPolygons[D3T_COUNT];
static D3Driver PipelineOnlyDriver(void)
{
    for (D3PolyFn& f : noPolygons) f = NoPolygon;
    D3Driver d{};
    d.name = "Pipeline only";
    d.polygons = noPolygons;
    d.maxTextureEdge = 1024;
    return d;
}

enum { DRAW_SOFTWARE = 0, DRAW_GL = 1, DRAW_PIPELINE = 2 };

static void BM_RenderFrame(benchmark::State& state)
{
    int bpp = (int)state.range(0), drawer = (int)state.range(1), threads = (int)state.range(2);
    int useGL = drawer == DRAW_GL;
    ResRemove();
    ResInstall(2000);
    SpriteInstall();
    VideoRemove();
    VideoInstall();
    VideoForceModeChange();
    if (VideoSetMode(VIEW_W, VIEW_H, bpp == 16 ? VIDEO_16BIT : VIDEO_32BIT, VIDEO_WINDOWED_SOFTWARE) != 0) {
        state.SkipWithError("mode refused");
        return;
    }
    VideoLoadInterfacePalette();
    for (int i = 0; i < 248; i++) VideoSetColour(i, (uint8_t)(i * 7), (uint8_t)(255 - i), (uint8_t)(i * 3));
    Draw3DRemove();
    if (Draw3DInstall(D3_POLYGONS) != 0 || ZBufferInstall(ZBUFFER_DEFAULT_BYTES) != 0) {
        state.SkipWithError("no memory");
        return;
    }
    Draw3DRegisterDriver(DRIVER_SOFTWARE, SoftDriverZBuffer());
    Draw3DSelectDriver(DRIVER_SOFTWARE);
    static D3Driver pipelineOnly = PipelineOnlyDriver();
    if (drawer == DRAW_PIPELINE) {
        Draw3DRegisterDriver(DRIVER_SOFTWARE, &pipelineOnly);
        Draw3DSelectDriver(DRIVER_SOFTWARE);
    }
    if (useGL) {
        if (!D3Activate(0, 1)) {
            state.SkipWithError(GlDrvActivateError());
            return;
        }
        Draw3DRegisterDriver(DRIVER_HARDWARE, GlDrvHardwareDriver());
        Draw3DSelectDriver(DRIVER_HARDWARE);
    }
    Draw3DSetup(VIEW_W, VIEW_H, D3_NEAREST_Z, D3_VIEW_DISTANCE, D3SORT_NONE);
    Draw3DDefaults();
    Draw3DSetDisplayFlags(D3V_HIDDEN);
    const int32_t eye[3] = {0, 0, 0};
    const int16_t identity[9] = {16384, 0, 0, 0, 16384, 0, 0, 0, 16384};
    Draw3DSetCamera(eye, identity);
    Draw3DLensPerspective(0, 0, VIEW_W, VIEW_H);

    int flat = BenchMaterial("FLAT", 200, 120, 60), smooth = BenchMaterial("SMOOTH", 90, 160, 220);
    int textured = BenchMaterial("TEXTURED", 255, 255, 255);
    ResId texture = SpriteCreate8(64, 64, -1, nullptr, 0);
    uint8_t* px = SpritePixels(texture);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) px[y * 64 + x] = (uint8_t)(((x >> 3) ^ (y >> 3)) & 1 ? 16 + x : 80 + y);
    SpriteRelease(texture);
    IntMatSetSprite(textured, texture);

    // The GL driver holds the texture in its pages; the software one reads the sprite.
    Draw3DLoadTextures(nullptr);

    ShapeMResourceInstall();
    if (!ShapeMIsInstalled()) ShapeMInstall();
    RandSeed(0, 1);
    RandSeed(1, 1);
    std::vector<Sphere> spheres;
    for (int k = 0; k < SPHERES; k++) {
        // 10 to 50 pixels in radius, anywhere in the view, 2,000 to 12,000 units away.
        int32_t z = 2000 + Rand(1, 10000), r = (10 + Rand(1, 40)) * z / (VIEW_W / 2);
        int32_t x = (Rand(1, VIEW_W) - VIEW_W / 2) * z / (VIEW_W / 2);
        int32_t y = (Rand(1, VIEW_H) - VIEW_H / 2) * z / (VIEW_W / 2);
        if (MeshCreateSphere(r, r, r, 1) != 0) {
            state.SkipWithError("no sphere");
            return;
        }
        int kind = k % 3;
        Sphere s = Take(kind == 0 ? flat : kind == 1 ? smooth : textured, kind != 0, kind == 2);
        s.at[0] = x, s.at[1] = y, s.at[2] = z;
        spheres.push_back(s);
    }

    uint64_t submitted = 0, readbackNs = 0, uploadNs = 0, finishNs = 0;
    auto frame = [&] {
        VideoBeginUpdate(1);
        VideoClear(252);
        Draw3DStartDraw(0, 0, VIEW_W, VIEW_H);
        for (const Sphere& s : spheres) {
            Draw3DBeginObject(s.at, identity, 16384, s.radius, (int)s.points.size() / 3);
            for (size_t i = 0; i < s.points.size() / 3; i++)
                Draw3DSetPoint((int)i, s.points[3 * i], s.points[3 * i + 1], s.points[3 * i + 2]);
            for (const D3Triangle& t : s.triangles) {
                if (!Draw3DFacing(t.normal, t.point[0])) continue;
                D3Triangle copy = t;
                submitted += Draw3DTriangle(&copy);
            }
        }
        Draw3DDisplay();
        VideoEndUpdate();
    };
    // The picture on several threads must be the one-thread picture to the byte.
    if (drawer == DRAW_SOFTWARE && threads > 1) {
        ZBufferSetThreads(1);
        frame();
        const VideoSurface* t = VideoTarget();
        std::vector<uint8_t> one(t->pixels, t->pixels + (size_t)t->pitch * t->height);
        ZBufferSetThreads(threads);
        frame();
        t = VideoTarget();
        if (!std::equal(one.begin(), one.end(), t->pixels)) {
            state.SkipWithError("the picture on several threads differs from one thread's");
            return;
        }
    }
    ZBufferSetThreads(threads);
    state.counters["threads"] = WorkPoolThreads();
    // Warm-up: GL compiles its shader variants and grows its buffers on the first frames.
    for (int warm = 0; warm < 3; warm++) frame();
    submitted = 0;
    uint32_t draws = useGL ? GlDrvStats()->draws : 0;
    for (auto _ : state) {
        frame();
        if (useGL) {
            GlDrvFinish();
            readbackNs += GlDrvStats()->readbackNs;
            uploadNs += GlDrvStats()->uploadNs;
            finishNs += GlDrvStats()->finishNs;
        }
    }
    if (useGL) {
        const char* threads = getenv("LP_NUM_THREADS");
        state.counters["lp_threads"] = threads ? atoi(threads) : -1;
        const auto avg = benchmark::Counter::kAvgIterations;
        state.counters["readback_ms"] = benchmark::Counter((double)readbackNs / 1e6, avg);
        state.counters["upload_ms"] = benchmark::Counter((double)uploadNs / 1e6, avg);
        state.counters["gl_wait_ms"] = benchmark::Counter((double)finishNs / 1e6, avg);
        state.counters["gl_draws"] = benchmark::Counter((double)(GlDrvStats()->draws - draws), avg);
        Draw3DUnloadTextures();
        GlDrvDeactivate();
        Draw3DSelectDriver(DRIVER_SOFTWARE);
    }
    state.counters["triangles"] = (double)(SPHERES * (int)MESH_SPHERE_TRIANGLES);
    state.counters["drawn"] = benchmark::Counter((double)submitted, benchmark::Counter::kAvgIterations);
    state.counters["spans"] = ZBufferGetStats()->spans;
    ShapeMRemove();
    ZBufferRemove();
    PixPackRemove();
    Draw3DRegisterDriver(DRIVER_SOFTWARE, SoftDriverZBuffer());
    Draw3DRemove();
    VideoRemove();
    ResRemove();
}

}   // namespace

// gl: 0 the software Z-buffer, 1 OpenGL, 2 the pipeline alone (transform, light, clip) with
// nothing drawn, which splits the software time between the pipeline and the rasteriser.
BENCHMARK(BM_RenderFrame)
    ->ArgNames({"bpp", "gl", "threads"})
    ->Args({16, 0, 1})
    ->Args({16, 0, 2})
    ->Args({32, 0, 1})
    ->Args({32, 0, 2})
    ->Args({32, 2, 1})
    ->Args({16, 1, 1})
    ->Args({32, 1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
