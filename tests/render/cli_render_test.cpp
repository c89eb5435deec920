// tolbex-cli shape render, end to end: a red cube and a sphere drawn to PNG and BMP files that
// are read back.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <array>
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
    std::array<int, 3> At(int x, int y) const
    {
        const uint8_t* p = &rgb[3 * ((size_t)y * width + x)];
        return {p[0], p[1], p[2]};
    }
    bool Background(int x, int y) const { return At(x, y) == std::array<int, 3>{128, 128, 128}; }
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
    for (int i = 0; i < 8; i++)
        s.verts.push_back({(int16_t)(i & 1 ? 1000 : -1000), (int16_t)(i & 2 ? 1000 : -1000), (int16_t)(i & 4 ? 1000 : -1000)});
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
    RunResult Render(std::vector<std::string> args, const char* shape = "cube.shp")
    {
        std::vector<std::string> all = {"shape", "render", shape};
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
    EXPECT_GT(p.At(100, 60)[0], 40);
    EXPECT_EQ(p.At(100, 60)[1] + p.At(100, 60)[2], 0);
    // The square face fills most of the height, with a margin of background round it.
    EXPECT_FALSE(p.Background(100, 12));
    EXPECT_FALSE(p.Background(100, 107));
    for (auto [x, y] : std::vector<std::pair<int, int>>{{100, 2}, {100, 117}, {5, 60}, {194, 60}})
        EXPECT_TRUE(p.Background(x, y)) << x << "," << y;
    // Seen from the top, the upper face takes the default light from above as well.
    ASSERT_EQ(Render({"top.png", "--view", "top", "--size", "200x120", "--materials", "red.mat"}).exitCode, 0);
    EXPECT_GT(ReadPng(dir.file("top.png")).At(100, 60)[0], p.At(100, 60)[0] + 40);
}

TEST_F(CliRender, DepthsAgreeAndWireframeLeavesFacesOpen)
{
    ASSERT_EQ(Render({"p32.png", "--size", "160x100", "--materials", "red.mat"}).exitCode, 0);
    RunResult r = Render({"p16.png", "--size", "160x100", "--depth", "16", "--materials", "red.mat"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    Picture a = ReadPng(dir.file("p32.png")), b = ReadPng(dir.file("p16.png"));
    ASSERT_EQ(a.rgb.size(), b.rgb.size());
    for (size_t i = 0; i < a.rgb.size(); i++) {
        int step = i % 3 == 1 ? 4 : 8;   // 5-6-5 keeps the top 6 or 5 bits
        ASSERT_EQ(a.rgb[i] / step, b.rgb[i] / step) << "byte " << i;
    }
    int shapePixels = 0;
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
    ASSERT_EQ(std::make_pair(w, h), std::make_pair(64, 40));
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
    RunResult r = Render({"no/such/folder/x.png"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output.rfind("tolbex-cli: cannot write no/such/folder/x.png", 0), 0u) << r.output;
}

// The sphere framed in the middle; its Dummy material black as the editor draws it, or by
// default lit grey, brighter on the upper half that faces the default light.
TEST_F(CliRender, SphereIsCentredAndItsDummyMaterialLitGreyOrLeftBlack)
{
    RunResult made = RunProgram(TOLBEX_CLI_BIN, {"shape", "sphere", "10000", "10000", "10000", "s.shp"}, dir.path());
    ASSERT_EQ(made.exitCode, 0) << made.output;
    ASSERT_EQ(Render({"black.png", "--size", "200x160", "--dummy-colour", "0,0,0"}, "s.shp").exitCode, 0);
    ASSERT_EQ(Render({"grey.png", "--size", "200x160"}, "s.shp").exitCode, 0);
    Picture black = ReadPng(dir.file("black.png")), grey = ReadPng(dir.file("grey.png"));
    ASSERT_EQ(black.width, 200);
    ASSERT_EQ(grey.width, 200);
    int x0 = 200, x1 = -1, y0 = 160, y1 = -1;
    for (int y = 0; y < 160; y++)
        for (int x = 0; x < 200; x++) {
            if (black.Background(x, y)) continue;
            ASSERT_EQ(black.At(x, y), (std::array<int, 3>{0, 0, 0})) << x << "," << y;
            x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    ASSERT_GE(x1, x0);
    EXPECT_NEAR((x0 + x1) / 2.0, 99.5, 3);
    EXPECT_NEAR((y0 + y1) / 2.0, 79.5, 3);
    EXPECT_GT(y1 - y0, 60) << "framed to fill a good part of the view";
    long sum[2] = {0, 0}, count[2] = {0, 0};
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            if (black.Background(x, y)) continue;
            std::array<int, 3> c = grey.At(x, y);
            ASSERT_GT(c[0], 0) << x << "," << y;
            ASSERT_TRUE(c[0] == c[1] && c[1] == c[2]) << x << "," << y;
            sum[y >= (y0 + y1) / 2] += c[0];
            count[y >= (y0 + y1) / 2]++;
        }
    ASSERT_GT(count[0] * count[1], 0);
    EXPECT_GT(sum[0] / count[0], sum[1] / count[1] + 10);
}

// The whole pipeline on several threads: a textured, lit sphere and the cube at both depths, on
// odd sizes, give the one-thread picture to the byte and the same counts.
TEST_F(CliRender, PicturesOnSeveralThreadsAreTheOneThreadPicture)
{
    RunResult made = RunProgram(TOLBEX_CLI_BIN, {"shape", "sphere", "3000", "3000", "3000", "s.shp"}, dir.path());
    ASSERT_EQ(made.exitCode, 0) << made.output;
    for (const char* shape : {"s.shp", "cube.shp"})
        for (const char* depth : {"16", "32"}) {
            SCOPED_TRACE(testing::Message() << shape << ", " << depth << " bits");
            std::vector<uint8_t> one;
            std::string counts;
            for (const char* threads : {"1", "2", "3"}) {
                std::string out = std::string("t") + threads + ".png";
                RunResult r = Render({out, "--size", "641x481", "--depth", depth, "--threads", threads,
                                      "--materials", "red.mat"}, shape);
                ASSERT_EQ(r.exitCode, 0) << r.output;
                Picture p = ReadPng(dir.file(out));
                ASSERT_EQ(p.width, 641);
                std::string line = r.output.substr(r.output.find(','));
                if (one.empty()) {
                    one = p.rgb;
                    counts = line;
                    continue;
                }
                EXPECT_TRUE(p.rgb == one) << threads << " threads";
                EXPECT_EQ(line, counts);
            }
        }
    RunResult bad = Render({"x.png", "--threads", "65"});
    EXPECT_NE(bad.exitCode, 0);
}
