// The software rasteriser alone: one frame of a fixed scene of 16,000 triangles (200 spheres
// of 80 triangles, both hemispheres, 20 to 100 pixels across: their discs add up to about
// 1.5 times the view) fed
// straight to the Z-buffer driver's polygon routines at 799 x 550, as smooth (type 2),
// textured (type 8, a 64 x 64 8-bit sprite) and blended (type 16) polygons, in 16 and 32 bits.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "base/res.h"
#include "base/workpool.h"
#include "platform/platform.h"
#include "render/pixpack.h"
#include "render/softdriver.h"
#include "render/zbuffer.h"

namespace {

const int VIEW_W = 799, VIEW_H = 550;
const int SPHERES = 200;
const float FOCAL = 420.0f;

struct Vec {
    float x, y, z;
};

static Vec Normalise(Vec v)
{
    float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / l, v.y / l, v.z / l};
}

// An icosahedron split once: 80 triangles on the unit sphere.
static std::vector<Vec> Sphere80(void)
{
    const float t = (1.0f + std::sqrt(5.0f)) / 2;
    Vec p[12] = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0}, {0, -1, t}, {0, 1, t},
                 {0, -1, -t}, {0, 1, -t}, {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
    const int f[20][3] = {{0, 11, 5}, {0, 5, 1}, {0, 1, 7}, {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
                          {11, 10, 2}, {10, 7, 6}, {7, 1, 8}, {3, 9, 4}, {3, 4, 2}, {3, 2, 6}, {3, 6, 8},
                          {3, 8, 9}, {4, 9, 5}, {2, 4, 11}, {6, 2, 10}, {8, 6, 7}, {9, 8, 1}};
    std::vector<Vec> out;
    for (auto& face : f) {
        Vec a = Normalise(p[face[0]]), b = Normalise(p[face[1]]), c = Normalise(p[face[2]]);
        Vec ab = Normalise({a.x + b.x, a.y + b.y, a.z + b.z}), bc = Normalise({b.x + c.x, b.y + c.y, b.z + c.z}),
            ca = Normalise({c.x + a.x, c.y + a.y, c.z + a.z});
        for (Vec v : {a, ab, ca, ab, b, bc, ca, bc, c, ab, bc, ca}) out.push_back(v);
    }
    return out;
}

struct Scene {
    std::vector<D3Vertex> vertices;
    std::vector<D3Polygon> polygons;
    ResId texture = 0;
};

static uint32_t rng = 12345;
static float Random(float lo, float hi)
{
    rng = (uint32_t)((16807ull * rng) % 2147483647u);
    return lo + (hi - lo) * (float)(rng & 0xFFFF) / 65535.0f;
}

static int32_t Fix(float f) { return (int32_t)(f * 16384) << 16; }

static void Build(Scene& s, int type)
{
    rng = 12345;
    std::vector<Vec> unit = Sphere80();
    size_t tris = unit.size() / 3;
    s.vertices.assign((size_t)SPHERES * unit.size(), D3Vertex{});
    s.polygons.assign((size_t)SPHERES * tris, D3Polygon{});
    const Vec light = Normalise({-0.4f, -0.6f, -0.7f});
    for (int k = 0; k < SPHERES; k++) {
        float z = Random(900, 6000), radius = Random(10, 50) * z / FOCAL;
        float x = Random(-0.5f, 0.5f) * VIEW_W * z / FOCAL, y = Random(-0.5f, 0.5f) * VIEW_H * z / FOCAL;
        float mr = Random(0.3f, 1), mg = Random(0.3f, 1), mb = Random(0.3f, 1);
        for (size_t i = 0; i < unit.size(); i++) {
            Vec n = unit[i];
            D3Vertex& v = s.vertices[k * unit.size() + i];
            v.x = x + n.x * radius;
            v.y = y + n.y * radius;
            v.z = z + n.z * radius;
            v.w = 1 / v.z;
            v.sx = VIEW_W / 2.0f + FOCAL * v.x * v.w;
            v.sy = VIEW_H / 2.0f + FOCAL * v.y * v.w;
            float d = -(n.x * light.x + n.y * light.y + n.z * light.z);
            float lit = 0.25f + 0.75f * (d > 0 ? d : 0);
            bool textured = type == D3T_TEXTURED;
            v.r = Fix(lit * (textured ? 1 : mr) * 0.999f);
            v.g = Fix(lit * (textured ? 1 : mg) * 0.999f);
            v.b = Fix(lit * (textured ? 1 : mb) * 0.999f);
            v.u = std::atan2(n.z, n.x) / 6.2831853f + 0.5f;
            v.v = std::acos(n.y) / 3.14159265f;
            v.level = type == D3T_BLENDED ? Fix(0.3f) : 0;
        }
        for (size_t t = 0; t < tris; t++) {
            D3Vertex* v = &s.vertices[k * unit.size() + 3 * t];
            for (int j = 0; j < 3; j++) {
                v[j].next = &v[(j + 1) % 3];
                v[j].prev = &v[(j + 2) % 3];
            }
            D3Polygon& p = s.polygons[k * tris + t];
            p.ring = v;
            p.type = type;
            p.texture = type == D3T_TEXTURED ? s.texture : 0;
        }
    }
}

static ResId MakeTexture(void)
{
    ResId id = SpriteCreate8(64, 64, -1, nullptr, 0);
    uint8_t* px = SpritePixels(id);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) px[y * 64 + x] = (uint8_t)(((x >> 3) ^ (y >> 3)) & 1 ? 16 + x : 80 + y);
    SpriteRelease(id);
    return id;
}

static void BM_RasterFrame(benchmark::State& state)
{
    int type = (int)state.range(0), bpp = (int)state.range(1), threads = (int)state.range(2);
    ResRemove();
    ResInstall(100);
    SpriteInstall();
    VideoRemove();
    VideoInstall();
    VideoForceModeChange();
    if (VideoSetMode(VIEW_W, VIEW_H, bpp == 16 ? VIDEO_16BIT : VIDEO_32BIT, VIDEO_WINDOWED_SOFTWARE) != 0) {
        state.SkipWithError("mode refused");
        return;
    }
    for (int i = 0; i < 256; i++) VideoSetColour(i, (uint8_t)(i * 7), (uint8_t)(255 - i), (uint8_t)(i * 3));
    if (ZBufferInstall(ZBUFFER_DEFAULT_BYTES) != 0) {
        state.SkipWithError("no depth buffer");
        return;
    }
    ZBufferDepthRange((float)D3_NEAREST_Z, 1e6f);
    Scene scene;
    scene.texture = MakeTexture();
    Build(scene, type);
    ZBufferSetThreads(threads);
    state.counters["threads"] = WorkPoolThreads();

    for (auto _ : state) {
        ZBufferFrameStart();
        for (D3Polygon& p : scene.polygons) SoftDriverPolygon(&p);
        ZBufferFrameFlush();
        benchmark::ClobberMemory();
    }
    const ZBufferStats* stats = ZBufferGetStats();
    state.counters["triangles"] = (double)scene.polygons.size();
    state.counters["drawn"] = stats->polygons;
    state.counters["spans"] = stats->spans;
    ZBufferRemove();
    PixPackRemove();
    VideoRemove();
    ResRemove();
}

}   // namespace

BENCHMARK(BM_RasterFrame)
    ->ArgNames({"type", "bpp", "threads"})
    ->Args({D3T_SHADED, 16, 1})
    ->Args({D3T_SHADED, 16, 2})
    ->Args({D3T_SHADED, 32, 1})
    ->Args({D3T_SHADED, 32, 2})
    ->Args({D3T_TEXTURED, 16, 1})
    ->Args({D3T_TEXTURED, 16, 2})
    ->Args({D3T_TEXTURED, 32, 1})
    ->Args({D3T_TEXTURED, 32, 2})
    ->Args({D3T_BLENDED, 16, 1})
    ->Args({D3T_BLENDED, 16, 2})
    ->Args({D3T_BLENDED, 32, 1})
    ->Args({D3T_BLENDED, 32, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
