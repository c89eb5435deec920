// tolbex-cli shape render, end to end: a red cube and a sphere drawn to PNG and BMP files that
// are read back.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "materials/mattest.h"
#include "palette/bmp.h"
#include "shapes/shape_build.h"
#include "support/testutil.h"

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    void At(int x, int y, int* r, int* g, int* b) const
    {
        const uint8_t* p = &rgb[3 * ((size_t)y * width + x)];
        *r = p[0], *g = p[1], *b = p[2];
    }
    bool Background(int x, int y) const
    {
        int r, g, b;
        At(x, y, &r, &g, &b);
        return r == 128 && g == 128 && b == 128;
    }
};

Picture ReadPng(const std::string& path)
{
    Picture p;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
    image.format = PNG_FORMAT_RGB;
    p.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr)) return Picture();
    p.width = (int)image.width;
    p.height = (int)image.height;
    return p;
}

// A cube of edge 2000 round the origin, its faces wound and facing outwards, in material "RED".
TShape Cube()
{
    TShape s;
    for (int i = 0; i < 8; i++) {
        int16_t x = i & 1 ? 1000 : -1000, y = i & 2 ? 1000 : -1000, z = i & 4 ? 1000 : -1000;
        s.verts.push_back({x, y, z});
    }
    s.polys = {TPoly({0, 2, 3, 1}, 0, 1, 0, 0, -16384), TPoly({4, 5, 7, 6}, 0, 1, 0, 0, 16384),
               TPoly({0, 1, 5, 4}, 0, 1, 0, -16384, 0), TPoly({2, 6, 7, 3}, 0, 1, 0, 16384, 0),
               TPoly({0, 4, 6, 2}, 0, 1, -16384, 0, 0), TPoly({1, 3, 7, 5}, 0, 1, 16384, 0, 0)};
    s.names = {{"RED", 1}};
    s.radius = 1733;
    for (int a = 0; a < 3; a++) s.lo[a] = -1000, s.hi[a] = 1000;
    return s;
}

class CliRender : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override
    {
        ASSERT_TRUE(WriteBytes(dir.file("cube.shp"), BuildShape(Cube())));
        ASSERT_TRUE(WriteBytes(dir.file("red.mat"), MatFile({{"DUMMY"}, {"RED", 16320, 0, 0, 0, 16384, 16384}})));
    }
    RunResult Render(std::vector<std::string> args)
    {
        std::vector<std::string> all = {"shape", "render", "cube.shp"};
        all.insert(all.end(), args.begin(), args.end());
        return RunProgram(TOLBEX_CLI_BIN, all, dir.path());
    }
};

}   // namespace

TEST_F(CliRender, FrontViewShowsTheLitFaceFramedOnTheBackground)
{
    RunResult r = Render({"front.png", "--view", "front", "--size", "200x120", "--materials", "red.mat"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    // The result line alone: the developer log stays out of the way.
    EXPECT_EQ(0u, r.output.rfind("front.png: 200x120, 32 bits, front view, ", 0)) << r.output;
    EXPECT_EQ(1, std::count(r.output.begin(), r.output.end(), '\n')) << r.output;
    Picture p = ReadPng(dir.file("front.png"));
    ASSERT_EQ(p.width, 200);
    ASSERT_EQ(p.height, 120);
    int red, green, blue;
    p.At(100, 60, &red, &green, &blue);
    EXPECT_GT(red, 40);
    EXPECT_EQ(green, 0);
    EXPECT_EQ(blue, 0);
    // The square face fills most of the height, with a margin of background round it.
    EXPECT_FALSE(p.Background(100, 12));
    EXPECT_FALSE(p.Background(100, 107));
    EXPECT_TRUE(p.Background(100, 2));
    EXPECT_TRUE(p.Background(100, 117));
    EXPECT_TRUE(p.Background(5, 60));
    EXPECT_TRUE(p.Background(194, 60));
}

TEST_F(CliRender, DepthsAgreeAndWireframeLeavesFacesOpen)
{
    ASSERT_EQ(Render({"p32.png", "--size", "160x100", "--materials", "red.mat"}).exitCode, 0);
    RunResult r = Render({"p16.png", "--size", "160x100", "--depth", "16", "--materials", "red.mat"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    Picture a = ReadPng(dir.file("p32.png")), b = ReadPng(dir.file("p16.png"));
    ASSERT_EQ(a.rgb.size(), b.rgb.size());
    int shapePixels = 0;
    for (size_t i = 0; i < a.rgb.size(); i++) {
        int step = i % 3 == 1 ? 4 : 8;   // 5-6-5 keeps the top 6 or 5 bits
        ASSERT_EQ(a.rgb[i] / step, b.rgb[i] / step) << "byte " << i;
    }
    for (int y = 0; y < a.height; y++)
        for (int x = 0; x < a.width; x++) shapePixels += !a.Background(x, y);
    EXPECT_GT(shapePixels, 160 * 100 / 6) << "the cube in perspective covers a good part of the view";

    ASSERT_EQ(Render({"wire.png", "--size", "160x100", "--view", "front", "--wireframe"}).exitCode, 0);
    Picture w = ReadPng(dir.file("wire.png"));
    // The face is two triangles: its edges and one diagonal.
    EXPECT_TRUE(w.Background(80, 40)) << "the face's inside is not filled";
    int lines = 0;
    for (int x = 0; x < w.width; x++) lines += !w.Background(x, 40);
    EXPECT_GE(lines, 3) << "its left and right edges and the diagonal cross the row";
    EXPECT_LE(lines, 9);
}

TEST_F(CliRender, PictureFormatFollowsTheExtension)
{
    ASSERT_EQ(Render({"a.png", "--view", "front", "--size", "64x40", "--materials", "red.mat"}).exitCode, 0);
    RunResult r = Render({"b.BmP", "--view", "front", "--size", "64x40", "--materials", "red.mat"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    Bytes bmp = ReadBytes(dir.file("b.BmP"));
    int w = 0, h = 0;
    ASSERT_EQ(BmpCheckLength(bmp.data(), bmp.size(), &w, &h), 1) << "a BMP, not a PNG under another name";
    ASSERT_EQ(w, 64);
    ASSERT_EQ(h, 40);
    std::vector<uint8_t> rgb((size_t)w * h * 3);
    ASSERT_EQ(BmpDecode(bmp.data(), bmp.size(), rgb.data(), rgb.size()), 1);
    EXPECT_EQ(ReadPng(dir.file("a.png")).rgb, rgb) << "the same picture in either format";

    for (const char* out : {"c.jpg", "png", "d.png.txt"}) {
        r = Render({out});
        EXPECT_EQ(r.exitCode, 2) << out;
        EXPECT_EQ(r.output,
                  std::string("tolbex-cli: ") + out + ": the picture's format comes from its extension, .png or .bmp\n");
        EXPECT_FALSE(PathExists(dir.file(out))) << out;
    }
}

TEST_F(CliRender, BadArgumentsAndFilesAreRefused)
{
    for (const char* size : {"12x10", "640x400x", "+640x400", "640x 400", "x400", "99999999x16"})
        EXPECT_EQ(Render({"x.png", "--size", size}).exitCode, 2) << size;
    for (const char* colour : {"1,2", "256,0,0", "-1,0,0"})
        EXPECT_EQ(Render({"x.png", "--dummy-colour", colour}).exitCode, 2) << colour;
    EXPECT_NE(Render({"x.png", "--view", "sideways"}).exitCode, 0);
    EXPECT_NE(Render({"x.png", "--depth", "24"}).exitCode, 0);
    RunResult r = RunProgram(TOLBEX_CLI_BIN, {"shape", "render", "missing.shp", "x.png"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, "tolbex-cli: cannot open missing.shp: No such file or directory\n");
    EXPECT_FALSE(PathExists(dir.file("x.png")));
    r = Render({"no/such/folder/x.png"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output.rfind("tolbex-cli: cannot write no/such/folder/x.png", 0), 0u) << r.output;
}

TEST_F(CliRender, FacesTurnedToTheLightAreBrighter)
{
    // The default light comes from above: seen from the top, the cube's upper face takes the
    // distant light; seen from the front, its front face has the ambient light alone.
    ASSERT_EQ(Render({"top.png", "--view", "top", "--size", "120x80", "--materials", "red.mat"}).exitCode, 0);
    ASSERT_EQ(Render({"front.png", "--view", "front", "--size", "120x80", "--materials", "red.mat"}).exitCode, 0);
    int topRed, frontRed, g, b;
    ReadPng(dir.file("top.png")).At(60, 40, &topRed, &g, &b);
    ReadPng(dir.file("front.png")).At(60, 40, &frontRed, &g, &b);
    EXPECT_GT(frontRed, 0) << "the ambient light still shows the colour";
    EXPECT_GT(topRed, frontRed + 40);
}

TEST_F(CliRender, SphereIsCentredAndItsDummyMaterialLitGreyOrLeftBlack)
{
    RunResult made = RunProgram(TOLBEX_CLI_BIN, {"shape", "sphere", "10000", "10000", "10000", "s.shp"}, dir.path());
    ASSERT_EQ(made.exitCode, 0) << made.output;
    std::vector<Picture> shots;
    for (const char* depth : {"16", "32"}) {
        std::string out = std::string("s") + depth + ".png";
        RunResult r = RunProgram(
            TOLBEX_CLI_BIN,
            {"shape", "render", "s.shp", out, "--size", "200x160", "--depth", depth, "--dummy-colour", "0,0,0"},
            dir.path());
        ASSERT_EQ(r.exitCode, 0) << r.output;
        shots.push_back(ReadPng(dir.file(out)));
        ASSERT_EQ(shots.back().width, 200);
    }
    // Black, as the editor draws the Dummy material: a black disc on the background.
    int x0 = 200, x1 = -1, y0 = 160, y1 = -1;
    for (int y = 0; y < 160; y++)
        for (int x = 0; x < 200; x++) {
            bool inside = !shots[0].Background(x, y);
            ASSERT_EQ(inside, !shots[1].Background(x, y)) << x << "," << y;
            if (!inside) continue;
            int r, g, b;
            shots[0].At(x, y, &r, &g, &b);
            EXPECT_EQ(r + g + b, 0);
            x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    ASSERT_GE(x1, x0);
    EXPECT_NEAR((x0 + x1) / 2.0, 99.5, 3);
    EXPECT_NEAR((y0 + y1) / 2.0, 79.5, 3);
    EXPECT_GT(y1 - y0, 60) << "framed to fill a good part of the view";

    // By default the same disc is grey, lit: brighter on the upper half, which faces the light.
    RunResult r = RunProgram(TOLBEX_CLI_BIN, {"shape", "render", "s.shp", "grey.png", "--size", "200x160"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.output;
    Picture grey = ReadPng(dir.file("grey.png"));
    ASSERT_EQ(grey.width, 200);
    long upper = 0, lower = 0, upperCount = 0, lowerCount = 0;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            if (shots[1].Background(x, y)) continue;
            int red, green, blue;
            grey.At(x, y, &red, &green, &blue);
            ASSERT_GT(red, 0) << x << "," << y;
            ASSERT_TRUE(red == green && green == blue) << x << "," << y << ": " << red << " " << green << " " << blue;
            (y < (y0 + y1) / 2 ? upper : lower) += red;
            (y < (y0 + y1) / 2 ? upperCount : lowerCount)++;
        }
    ASSERT_GT(upperCount, 0);
    ASSERT_GT(lowerCount, 0);
    EXPECT_GT(upper / upperCount, lower / lowerCount + 10);
}
