// Assets from other tools: a 100,000-triangle OBJ read (in its child process) and simplified
// to the shape limit, and a 1024 x 1024 picture made into a dithered 8-bit sprite.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "palette/image.h"
#include "shapes/model.h"

namespace {

// A wavy grid of 224 x 224 squares: 100,352 triangles.
std::string WriteGridObj()
{
    char dir[] = "/tmp/tolbex-bench-XXXXXX";
    if (!mkdtemp(dir)) return "";
    std::string path = std::string(dir) + "/grid.obj";
    FILE* f = fopen(path.c_str(), "w");
    const int n = 224;
    for (int y = 0; y <= n; y++)
        for (int x = 0; x <= n; x++) fprintf(f, "v %d %d %d\n", x, y, (x * 7 + y * 3) % 11);
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            int a = y * (n + 1) + x + 1, b = a + 1, c = a + n + 2, d = a + n + 1;
            fprintf(f, "f %d %d %d\nf %d %d %d\n", a, b, c, a, c, d);
        }
    fclose(f);
    return path;
}

void BM_ImportObj100kTriangles(benchmark::State& state)
{
    std::string path = WriteGridObj();
    ModelShapeOptions o;
    o.maxPolygons = 32767;
    for (auto _ : state) {
        ModelData model;
        ModelShape shape;
        std::string why;
        if (ModelRead(path.c_str(), &model, why) || ModelToShape(model, o, &shape, why)) {
            state.SkipWithError(why.c_str());
            break;
        }
        benchmark::DoNotOptimize(shape.block.data());
    }
    unlink(path.c_str());
    rmdir(path.substr(0, path.size() - 9).c_str());
}
// Wall time: the reading is the child's, which the process's own processor time leaves out.
BENCHMARK(BM_ImportObj100kTriangles)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Picture1024ToDithered8Bit(benchmark::State& state)
{
    ImgPicture p;
    p.width = p.height = 1024;
    p.rgba.resize(4ull * 1024 * 1024);
    for (size_t i = 0; i < 1024 * 1024; i++) {
        p.rgba[4 * i] = (uint8_t)(i % 1024 / 4);
        p.rgba[4 * i + 1] = (uint8_t)(i / 1024 / 4);
        p.rgba[4 * i + 2] = (uint8_t)((i * 13) % 256);
        p.rgba[4 * i + 3] = 255;
    }
    // A working palette of 248 colours spread over the cube.
    uint8_t palette[256 * 3] = {};
    for (int i = 0; i < 248; i++) {
        palette[3 * i] = (uint8_t)(i % 7 * 10);
        palette[3 * i + 1] = (uint8_t)(i / 7 % 6 * 12);
        palette[3 * i + 2] = (uint8_t)(i / 42 * 10);
    }
    ImgSpriteOptions o;
    o.palette = palette;
    o.paletteCount = 248;
    o.dither = true;
    for (auto _ : state) {
        std::vector<uint8_t> sprite;
        std::string why;
        ImgToSprite(p, o, sprite, nullptr, why);
        benchmark::DoNotOptimize(sprite.data());
    }
}
BENCHMARK(BM_Picture1024ToDithered8Bit)->Unit(benchmark::kMillisecond);

}   // namespace
