// The terrain in the 3D frame: what each tile hands to Draw3D (recorded), and pictures from the
// software Z-buffer checked against facts worked out by hand: where a flat ground meets its far
// edge on screen, and a worldshape hidden behind a raised tile.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <tuple>

#include "palette/bmp.h"
#include "render/d3test.h"
#include "render/softdriver.h"
#include "render/zbuffer.h"
#include "scene/terraindraw.h"
#include "world/worldm_fixture.h"
#include "worldedit/worldm_editview.h"

namespace {

struct GroundSpec {
    uint32_t exponent = 0, shift = 0, tilesAcross = 1, tilesDeep = 1;
    int32_t lowest = 0, highest = 16384;   // a sample h stands for lowest + h x 64 x range / 16384
    int32_t water = INT32_MIN;
    uint32_t textureSize = 16;
    std::vector<std::string> names{};
    Bytes samples{};                       // row by row, the rest 0
    Bytes tiles{};                         // two a tile, the rest 0
};

uint32_t Across(const GroundSpec& g) { return (g.tilesAcross << g.shift) + 1; }
uint32_t Deep(const GroundSpec& g) { return (g.tilesDeep << g.shift) + 1; }

// A world image with the terrain and nothing else.
Bytes GroundWorld(const GroundSpec& g)
{
    WleImage w;
    PutU32(w.b.data(), WLE_CELL_EXPONENT, g.exponent);
    PutU32(w.b.data(), WLE_CELL_EDGE, 16384u << g.exponent);
    return w.Append(TerrainPacket({.shift = g.shift, .across = Across(g), .deep = Deep(g), .tilesAcross = g.tilesAcross,
                                   .tilesDeep = g.tilesDeep, .lowest = g.lowest, .highest = g.highest, .water = g.water,
                                   .textureSize = g.textureSize, .names = g.names, .samples = g.samples,
                                   .tiles = g.tiles, .tileFill = 0}))
        .Done();
}

const int16_t kAhead[9] = {16384, 0, 0, 0, 16384, 0, 0, 0, 16384};   // looking along +Z

}   // namespace

// ---- What the tiles hand to Draw3D

class TerrainDrawRecorded : public WorldTest {
protected:
    void SetUp() override
    {
        WorldTest::SetUp();
        SpriteInstall();
        Draw3DCheckFrames(0);
        InstallRecorder(2000, 0xC0);
        // Draw3D made a render table of its own: the materials go into it again.
        MatMReload();
        gRec = Recorder();
    }
    void TearDown() override
    {
        Draw3DRemove();
        WorldTest::TearDown();
    }
    static void Camera(int32_t x, int32_t y, int32_t z)
    {
        const int32_t eye[3] = {x, y, z};
        Draw3DSetCamera(eye, kAhead);
    }
    static void Frame(int full = 0)
    {
        Draw3DStartDraw(0, 0, 640, 400);
        gRec = Recorder();
        TerrainDraw(full);
        Draw3DDisplay();
    }
};

TEST_F(TerrainDrawRecorded, ATileIsTwoTrianglesAQuadInItsMaterialWithTheInsetCoordinates)
{
    // One tile of 2 x 2 quads, texture size 4 (inset 1/4): coordinates 0.25, 0.5, 0.75.
    GroundSpec g{.shift = 1, .textureSize = 4, .names = {"a.spr", "b.spr"}, .tiles = {1, 0}};
    ASSERT_EQ(0, LoadBytes(GroundWorld(g)));
    Camera(8192, 3000, -20000);
    Frame();
    ASSERT_EQ(8u, gRec.polygons.size());
    EXPECT_EQ((TerrainDrawStats{1, 0, 8}).triangles, TerrainDrawGetStats()->triangles);
    std::set<float> us, vs;
    for (const RecPolygon& p : gRec.polygons) {
        EXPECT_EQ(TerrainMaterial(1), p.material) << "the tile's bytes name b.spr's material";
        ASSERT_EQ(3u, p.v.size());
        for (const RecVertex& v : p.v) {
            us.insert(v.u);
            vs.insert(v.v);
            EXPECT_FLOAT_EQ(-3000, v.y) << "flat at 0, the eye 3000 above";
            // Camera X and Z tell where the sample lies: its coordinates follow it.
            EXPECT_FLOAT_EQ(0.25f + 0.5f * (v.x + 8192) / 16384, v.u);
            EXPECT_FLOAT_EQ(0.25f + 0.5f * (v.z - 20000) / 16384, v.v);
        }
    }
    EXPECT_EQ((std::set<float>{0.25f, 0.5f, 0.75f}), us);
    EXPECT_EQ((std::set<float>{0.25f, 0.5f, 0.75f}), vs);
}

TEST_F(TerrainDrawRecorded, HeightsLieOnTheSamplesAndTheDiagonalRunsAsTheGroundQueryTakesIt)
{
    // One quad: corners 0 (near left), 64 x 1 (near right), 64 x 2 (far left), 64 x 3 (far right).
    GroundSpec g{.shift = 0, .samples = {0, 1, 2, 3}};
    ASSERT_EQ(0, LoadBytes(GroundWorld(g)));
    Camera(0, 1000, -20000);
    Frame();
    ASSERT_EQ(2u, gRec.polygons.size());
    // Each triangle by its corners (world X, Z in tiles, height): the first holds the near
    // right corner, the second the far left one, and both the diagonal's ends.
    std::vector<std::set<std::tuple<int, int, int>>> got;
    for (const RecPolygon& p : gRec.polygons) {
        std::set<std::tuple<int, int, int>> corners;
        for (const RecVertex& v : p.v)
            corners.insert({(int)std::lround(v.x / 16384), (int)std::lround((v.z - 20000) / 16384),
                            (int)std::lround(v.y + 1000)});
        got.push_back(corners);
    }
    using C = std::set<std::tuple<int, int, int>>;
    EXPECT_EQ((std::vector<C>{C{{0, 0, 0}, {1, 0, 64}, {1, 1, 192}}, C{{0, 0, 0}, {1, 1, 192}, {0, 1, 128}}}), got);
    int32_t h = 0;
    ASSERT_EQ(1, TerrainGroundHeight(12288, 4096, &h));
    EXPECT_EQ(64 * 3 / 4 + 128 / 4, h) << "on the first triangle: x >= z";
}

TEST_F(TerrainDrawRecorded, TilesOutOfViewAreLeftAndSmallTilesTakeFewerSamples)
{
    // 8 x 8 tiles of 16 x 16 quads, seen from above their first row, looking along +Z: the
    // tiles behind the eye and off to the sides are not drawn.
    GroundSpec g{.shift = 4, .tilesAcross = 8, .tilesDeep = 8};
    ASSERT_EQ(0, LoadBytes(GroundWorld(g)));
    Camera(8192, 4000, -1000);
    Frame(1);
    const TerrainDrawStats low = *TerrainDrawGetStats();
    EXPECT_LT(low.tiles, 64);
    EXPECT_GT(low.tiles, 8);
    EXPECT_EQ(low.triangles, low.tiles * 512) << "full: every quad of every tile";

    // Straight down from 131,072 above the middle: every tile spans 16,384 x 320 / 131,072 =
    // 40 pixels each way, which 4 quads of 10 pixels cover (2 would be 20 each, past
    // TERRAIN_LOD_PIXELS).
    const int16_t down[9] = {16384, 0, 0, 0, 0, 16384, 0, -16384, 0};
    const int32_t eye[3] = {65536, 131072, 65536};
    Draw3DSetCamera(eye, down);
    Frame(1);
    EXPECT_EQ((std::vector<int>{64, 64 * 512}),
              (std::vector<int>{TerrainDrawGetStats()->tiles, TerrainDrawGetStats()->triangles}));
    Frame();
    EXPECT_EQ((std::vector<int>{64, 64 * 32}),
              (std::vector<int>{TerrainDrawGetStats()->tiles, TerrainDrawGetStats()->triangles}));
    EXPECT_EQ((size_t)64 * 32, gRec.polygons.size());
    // The thinned mesh still runs over the tile's corners and every fourth sample between.
    std::set<float> us;
    for (const RecPolygon& p : gRec.polygons)
        for (const RecVertex& v : p.v) us.insert(v.u);
    EXPECT_EQ(5u, us.size());
    // From 174,763 a tile spans 30 pixels: still 4 quads (2 would be 15 pixels each).
    const int32_t higher[3] = {65536, 174763, 65536};
    Draw3DSetCamera(higher, down);
    Frame();
    EXPECT_EQ(64 * 32, TerrainDrawGetStats()->triangles);
}

TEST_F(TerrainDrawRecorded, ATileSeenAtASlantTakesTheMeanOfItsWidthAndHeightOnScreen)
{
    // One flat tile of 16 x 16 quads (16,384 units), the eye 20,608 above it over its middle,
    // 65,536 before its near edge, looking along +Z (focal length 320, centre 320, 200). Its
    // near edge spans 320 +- 8,192 x 320 / 65,536 = 280 to 360 (80 pixels) at row 200 +
    // 20,608 x 320 / 65,536 = 300.6; its far edge, 81,920 away, lies at row 280.5: 20 rows.
    // The mean, 50 pixels, takes 8 quads of about 6 (4 would be 12.5, past
    // TERRAIN_LOD_PIXELS); the width alone would take 8 too, the height alone 2.
    GroundSpec g{.shift = 4};
    ASSERT_EQ(0, LoadBytes(GroundWorld(g)));
    Camera(8192, 20608, -65536);
    Frame();
    EXPECT_EQ((std::vector<int>{1, 8 * 8 * 2}),
              (std::vector<int>{TerrainDrawGetStats()->tiles, TerrainDrawGetStats()->triangles}));
    // 4,096 lower its near edge lies at row 280.6 and its far edge at 264.5: 16 rows. The mean
    // of 80 and 16 is 48, which 4 quads of 12 pixels cover exactly.
    Camera(8192, 16512, -65536);
    Frame();
    EXPECT_EQ(4 * 4 * 2, TerrainDrawGetStats()->triangles);
}

TEST_F(TerrainDrawRecorded, AnEvenSlopeIsLitAlikeEverywhere)
{
    // Heights rise along Z only, evenly: every vertex has the same normal, so the same light.
    GroundSpec g{.shift = 1, .names = {"a.spr"}, .samples = {0, 0, 0, 5, 5, 5, 10, 10, 10}};
    ASSERT_EQ(0, LoadBytes(GroundWorld(g)));
    Camera(8192, 3000, -20000);
    Frame();
    ASSERT_EQ(8u, gRec.polygons.size());
    std::set<int32_t> greens;
    for (const RecPolygon& p : gRec.polygons)
        for (const RecVertex& v : p.v) greens.insert(v.g);
    EXPECT_EQ(1u, greens.size());
}

// A terrain material with a draw hook gets each triangle on its own, with the face normal of
// its plane: heights rise 320 along X and 640 along Z for every 8,192 units, so every face's
// normal is (-0.0390625, 1, -0.078125) made unit, (-638, 16322, -1275) in 2.14.
static std::vector<std::array<int16_t, 3>> hookedNormals;
static int RecordNormal(void* triangle)
{
    const D3Triangle* t = (const D3Triangle*)triangle;
    hookedNormals.push_back({t->normal[0], t->normal[1], t->normal[2]});
    return 1;
}

TEST_F(TerrainDrawRecorded, ADrawHookSeesEachTriangleWithItsFaceNormal)
{
    GroundSpec g{.shift = 1, .names = {"a.spr"}, .samples = {0, 5, 10, 10, 15, 20, 20, 25, 30}};
    ASSERT_EQ(0, LoadBytes(GroundWorld(g)));
    IntMatSetDrawHook(TerrainMaterial(0), RecordNormal);
    hookedNormals.clear();
    Camera(8192, 3000, -20000);
    Frame();
    IntMatSetDrawHook(TerrainMaterial(0), nullptr);
    ASSERT_EQ(8u, hookedNormals.size()) << "two triangles a quad, two by two quads";
    for (const auto& n : hookedNormals) EXPECT_EQ((std::array<int16_t, 3>{-638, 16322, -1275}), n);
    EXPECT_TRUE(gRec.polygons.empty()) << "the hook drew nothing";
}

TEST_F(TerrainDrawRecorded, WaterCoversTheTilesBelowItsLevelWithTheWaterMaterials)
{
    // Three tiles, no texture names (the table holds the water materials alone): the first
    // dips to 0 under water at 650 (the deepest: the last water material), the second to 640
    // (10 deep: the first), the third stays at 1,280.
    GroundSpec g{.shift = 0, .tilesAcross = 3, .water = 650, .samples = {0, 10, 20, 20, 10, 10, 20, 20}};
    ASSERT_EQ(0, LoadBytes(GroundWorld(g)));
    Camera(24576, 3000, -30000);
    Frame();
    EXPECT_EQ((std::vector<int>{3, 2, 10}), (std::vector<int>{TerrainDrawGetStats()->tiles, TerrainDrawGetStats()->waterTiles,
                                                               TerrainDrawGetStats()->triangles}));
    ASSERT_EQ(10u, gRec.polygons.size());
    for (int i = 6; i < 10; i++) {
        const RecPolygon& p = gRec.polygons[i];
        EXPECT_EQ(TerrainMaterial(i < 8 ? 13 : 0), p.material) << i;
        for (const RecVertex& v : p.v) {
            EXPECT_FLOAT_EQ(650 - 3000, v.y) << "at the water level";
            EXPECT_LE(v.x, i < 8 ? -8192 + 0.5f : 8192 + 0.5f) << "over its own tile";
            EXPECT_GE(v.x, i < 8 ? -24576 - 0.5f : -8192 - 0.5f);
        }
    }
    EXPECT_EQ(TerrainMaterial(0), gRec.polygons[0].material);
}

TEST_F(TerrainDrawRecorded, NothingWithoutATerrainOrAFrame)
{
    Camera(0, 1000, -20000);
    Frame();
    EXPECT_EQ(0u, gRec.polygons.size());
    ASSERT_EQ(0, LoadBytes(GroundWorld(GroundSpec{})));
    TerrainDraw();
    EXPECT_EQ(0, TerrainDrawGetStats()->tiles) << "no open frame";
    Frame();
    EXPECT_EQ(1, TerrainDrawGetStats()->tiles);
}

// ---- Pictures from the software Z-buffer

class TerrainPicture : public WorldTest {
protected:
    enum { W = 640, H = 400, BACKGROUND = 3 };
    void SetUp() override
    {
        WorldTest::SetUp();
        SpriteInstall();
        Draw3DCheckFrames(0);
        Draw3DRemove();
        ASSERT_EQ(0, Draw3DInstall(D3_POLYGONS));
        MatMReload();
        VideoInstall();
        ASSERT_EQ(0, VideoSetMode(W, H, VIDEO_32BIT, VIDEO_WINDOWED_SOFTWARE));
        VideoLoadInterfacePalette();
        ASSERT_EQ(0, ZBufferInstall(4 * W * H));
        Draw3DRegisterDriver(DRIVER_SOFTWARE, SoftDriverZBuffer());
        Draw3DSelectDriver(DRIVER_SOFTWARE);
        Draw3DSetup(W, H, D3_NEAREST_Z, D3_VIEW_DISTANCE, D3SORT_NONE);
        Draw3DDefaults();
        Draw3DLensPerspective(0, 0, W, H);
    }
    void TearDown() override
    {
        Draw3DRemove();
        ZBufferRemove();
        VideoRemove();
        WorldTest::TearDown();
    }
    // Lights the terrain materials and the Dummy (what unresolved shape materials use) in
    // colours of their own, so that each shows on screen.
    static void Colour()
    {
        for (int i = 0; i < TerrainMaterialCount(); i++) IntMatSetRGB(TerrainMaterial(i), 60 << 6, 160 << 6, 60 << 6);
        IntMatSetRGB(0, 200 << 6, 40 << 6, 40 << 6);
        IntMatSetAmbient(0, 16384);
        IntMatSetDiffuse(0, 16384);
    }
    static std::vector<uint32_t> Shot(int withShapes)
    {
        EXPECT_TRUE(VideoBeginUpdate(1));
        VideoClear(BACKGROUND);
        Draw3DStartDraw(0, 0, W, H);
        TerrainDraw();
        if (withShapes) WorldMDrawShapes(0, nullptr);
        Draw3DDisplay();
        std::vector<uint32_t> out;
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                uint8_t r, g, b;
                VideoReadPixel(x, y, &r, &g, &b);
                out.push_back((uint32_t)r << 16 | g << 8 | b);
            }
        VideoEndUpdate();
        return out;
    }
};

TEST_F(TerrainPicture, AFlatGroundCoversExactlyTheRowsUnderItsFarEdge)
{
    // 16 x 4 tiles of 65,536 units, flat at 5,000. The eye stands 10,240 above it, 6,144 in
    // from the near edge and over the middle, looking along +Z; the lens has a focal length of
    // 320 pixels (half the width) and its centre at row 200. The far edge lies 256,000 ahead:
    // it shows at 200 + 10,240 x 320 / 256,000 = 212.8, so rows 213 to 399 are ground, in every
    // column up to the last (the side edges lie 524,288 to either side, outside the view's
    // 256,000 there), and rows 0 to 212 are not. The bottom row's centre, 199.5 rows below the
    // centre, sees the ground 10,240 x 320 / 199.5 = 16,425 ahead: on the terrain.
    GroundSpec g{.exponent = 2, .shift = 1, .tilesAcross = 16, .tilesDeep = 4, .lowest = 5000, .highest = 90000,
             .names = {"a.spr"}};
    ASSERT_EQ(0, LoadBytes(GroundWorld(g)));
    Colour();
    const int32_t eye[3] = {524288, 15240, 6144};
    Draw3DSetCamera(eye, kAhead);
    std::vector<uint32_t> shot = Shot(0);
    uint32_t background = shot[0];
    int wrong = 0, firstWrong = -1;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            bool ground = shot[(size_t)y * W + x] != background;
            if (ground != (y >= 213)) {
                if (firstWrong < 0) firstWrong = y * W + x;
                wrong++;
            }
        }
    EXPECT_EQ(0, wrong) << "first at column " << firstWrong % W << ", row " << firstWrong / W;
}

TEST_F(TerrainPicture, ARaisedTileHidesTheWorldshapeBehindIt)
{
    // 8 x 8 tiles of one quad (16,384 units), flat at 0. A cube of 1,000 half-size stands at
    // 3,000 over the middle of row 5; the eye is 2,000 above the ground over the middle of
    // column 4, looking along +Z from its near edge. Raising the four samples of tile (4, 2) to
    // 16,320 puts a block in between, from screen row 60 down to the ground.
    WriteBytes(dir.file("CUBE.SHP"), BuildShape(CubeShape(1000)));
    GroundSpec g{.tilesAcross = 8, .tilesDeep = 8, .names = {"a.spr"}};
    const int32_t eye[3] = {4 * 16384 + 8192, 2000, 0};
    std::vector<uint32_t> without[2], with[2];
    for (int raised = 0; raised < 2; raised++) {
        if (raised)
            for (int at : {2 * 9 + 4, 2 * 9 + 5, 3 * 9 + 4, 3 * 9 + 5}) {
                g.samples.resize(81, 0);
                g.samples[at] = 255;
            }
        ASSERT_EQ(0, LoadBytes(GroundWorld(g)));
        ASSERT_GT(WorldMAddShape("cube.shp", eye[0], 3000, 5 * 16384 + 8192, 0), 0);
        Colour();
        Draw3DSetCamera(eye, kAhead);
        without[raised] = Shot(0);
        with[raised] = Shot(1);
    }
    // Flat: the cube shows, around the middle column a few rows above the centre.
    EXPECT_NE(without[0][196 * W + 320], with[0][196 * W + 320]) << "the cube is seen over flat ground";
    int shown = 0;
    for (size_t i = 0; i < without[0].size(); i++) shown += without[0][i] != with[0][i];
    EXPECT_GT(shown, 20);
    // Raised: the block in front covers every pixel of it.
    EXPECT_NE(without[0][196 * W + 320], without[1][196 * W + 320]) << "the block stands where the cube was seen";
    EXPECT_EQ(without[1], with[1]) << "nothing of the cube shows through the raised tile";
}

// Rolling ground seen in perspective at a slant and from above, crossing every edge of the
// view, with 400 cubes over it about a fifth of a pixel across (and some on the view's edges): the
// short cuts (points shared across a tile, boxes and triangles that cover no pixel row left
// out) give the very same picture as the plain path, for less work.
TEST_F(TerrainPicture, TheShortCutsChangeNoPixel)
{
    // The cube's file states its box; the second cube's file states a box of a single point,
    // which its points pass: drawn all the same.
    TShape cube = CubeShape(100), wrong = CubeShape(100);
    for (int a = 0; a < 3; a++) cube.lo[a] = -100, cube.hi[a] = 100, wrong.lo[a] = wrong.hi[a] = 0;
    cube.radius = wrong.radius = 174;
    WriteBytes(dir.file("CUBE.SHP"), BuildShape(cube));
    WriteBytes(dir.file("WRONG.SHP"), BuildShape(wrong));
    GroundSpec g{.exponent = 2, .shift = 2, .tilesAcross = 8, .tilesDeep = 8, .lowest = 0, .highest = 90000,
             .names = {"a.spr"}};
    for (uint32_t j = 0; j < Deep(g); j++)
        for (uint32_t i = 0; i < Across(g); i++)
            g.samples.push_back((uint8_t)(128 + 100 * std::sin(i / 3.0) * std::cos(j / 4.0)));
    ASSERT_EQ(0, LoadBytes(GroundWorld(g)));
    uint32_t seed = 12345;
    auto next = [&](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (int32_t)((seed >> 8) % n);
    };
    for (int k = 0; k < 400; k++)
        ASSERT_GT(WorldMAddShape(k % 8 ? "cube.shp" : "wrong.shp", next(524288), 95000 + next(5000), next(524288), 0), 0);
    // On the edges of the view from above: x = 262,144 -+ 320 x 700, z = 262,144 -+ 200 x 700.
    for (int32_t x : {38144, 38100, 38200, 486144, 486100})
        ASSERT_GT(WorldMAddShape("cube.shp", x, 96000, 200000, 0), 0);
    for (int32_t z : {122144, 122100, 122200, 402144, 402200})
        ASSERT_GT(WorldMAddShape("cube.shp", 300000, 96000, z, 0), 0);
    Colour();
    const int32_t slantEye[3] = {100000, 120000, 60000}, topEye[3] = {262144, 500000, 262144};
    const int16_t slant[9] = {11585, 0, -11585, 3962, 15396, 3962, 10887, -5604, 10887};
    const int16_t down[9] = {16384, 0, 0, 0, 0, 16384, 0, -16384, 0};
    for (int top = 0; top < 2; top++) {
        Draw3DSetCamera(top ? topEye : slantEye, top ? down : slant);
        if (top)
            Draw3DLensOrthographic(W, H, 700);
        else
            Draw3DLensPerspective(0, 0, W, H);
        std::vector<uint32_t> shot[2];
        int polygons[2];
        for (int fast = 0; fast < 2; fast++) {
            Draw3DSetFastPaths(fast);
            shot[fast] = Shot(1);
            polygons[fast] = Draw3DStats()->polygons;
        }
        Draw3DSetFastPaths(1);
        int differ = 0;
        for (size_t i = 0; i < shot[0].size(); i++) differ += shot[0][i] != shot[1][i];
        EXPECT_EQ(0, differ) << (top ? "from above" : "at a slant");
        EXPECT_LT(polygons[1], polygons[0]) << (top ? "from above" : "at a slant") << ": the short cuts leave polygons out";
        EXPECT_GT(std::set<uint32_t>(shot[1].begin(), shot[1].end()).size(), 20u) << "lit hills, not a blank view";
        std::vector<uint32_t> bare = Shot(0);
        int cubes = 0;
        for (size_t i = 0; i < bare.size(); i++) cubes += bare[i] != shot[1][i];
        EXPECT_GT(cubes, 8) << (top ? "from above" : "at a slant") << ": cubes show";
    }
}

// ---- tolbex-cli world render

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    uint32_t at(int x, int y) const
    {
        const uint8_t* p = &rgb[((size_t)y * width + x) * 3];
        return (uint32_t)p[0] << 16 | p[1] << 8 | p[2];
    }
};

Picture ReadPicture(const std::string& path)
{
    Picture s;
    Bytes b = ReadBytes(path);
    if (b.empty() || !BmpCheckLength(b.data(), b.size(), &s.width, &s.height)) return Picture{};
    s.rgb.resize((size_t)s.width * s.height * 3);
    BmpDecode(b.data(), b.size(), s.rgb.data(), s.rgb.size());
    return s;
}

RunResult Cli(const TempDir& dir, const std::vector<std::string>& args)
{
    return RunProgram(TOLBEX_CLI_BIN, args, dir.path());
}

// A green 32-bit texture file.
void WriteGreen(const std::string& path)
{
    ResId made = SpriteCreate32(8, 8);
    uint8_t* px = (uint8_t*)ResOpen(made) + SPR32_HEADER_SIZE;
    for (int i = 0; i < 64; i++) px[4 * i] = 40, px[4 * i + 1] = 200, px[4 * i + 2] = 40, px[4 * i + 3] = 255;
    ResClose(made);
    WriteBytes(path, Bytes((uint8_t*)ResPeek(made), (uint8_t*)ResPeek(made) + ResSize(made)));
    ResFreeAlways(made);
}

}   // namespace

class WorldRenderCli : public WorldTest {
protected:
    // Three tiles of 1,048,576 across, one deep, flat at 5,000 and textured green; a black
    // (Dummy) cube of 40,000 standing on it 500,000 in, over the middle tile.
    void SetUp() override
    {
        WorldTest::SetUp();
        SpriteInstall();
        WriteGreen(dir.file("grass.spr"));
        WriteBytes(dir.file("CUBE.SHP"), BuildShape(CubeShape(20000)));
        GroundSpec g{.exponent = 6, .shift = 1, .tilesAcross = 3, .lowest = 5000, .highest = 90000, .names = {"grass.spr"}};
        WleImage w;
        Bytes ground = GroundWorld(g);
        w.Shape({.x = 1572864, .y = 25000, .z = 500000, .file = "CUBE"});
        w.Append(Bytes(ground.begin() + WLE_HEADER_SIZE, ground.end()));
        WriteBytes(dir.file("T.WLE"), w.Done());
    }
    // The eye 20,480 over the ground, 6,144 in from its near edge over the middle, looking
    // along +Z through a 320 x 200 picture (focal length 160, centre row 100).
    static std::vector<std::string> Args(const std::string& in, const std::string& out)
    {
        return {"world", "render", in, out, "--camera", "1572864,25480,6144", "--size", "320x200"};
    }
};

TEST_F(WorldRenderCli, AWorldIsDrawnAsItsRuntimeDisplayShowsIt)
{
    RunResult r = Cli(dir, Args("T.WLE", "t.bmp"));
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ("t.bmp: 320x200, software renderer, 1 worldshape copy, 3 terrain tiles, 0 water tiles\n", r.output);
    Picture p = ReadPicture(dir.file("t.bmp"));
    ASSERT_EQ(320, p.width);
    uint32_t background = p.at(0, 0);
    // The far edge lies 1,042,432 ahead: at row 100 + 20,480 x 160 / 1,042,432 = 103.14. Rows
    // 103 to 199 are ground, rows 0 to 102 are not, in every column away from the cube.
    int wrong = 0;
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++)
            if ((x < 140 || x > 180) && (p.at(x, y) != background) != (y >= 103)) wrong++;
    EXPECT_EQ(0, wrong);
    uint32_t ground = p.at(20, 150);
    EXPECT_GT((ground >> 8) & 255, 2 * std::max(ground >> 16, ground & 255)) << std::hex << ground << ": the green texture";
    // The cube rises above the far edge and stands in front of the ground below it.
    EXPECT_EQ(0u, p.at(160, 97));
    EXPECT_EQ(0u, p.at(160, 104));
    EXPECT_NE(0u, p.at(160, 120));

    // Nothing of the scratch runtime save is left here (its summary report included).
    EXPECT_FALSE(std::filesystem::exists(dir.file("temp.txt")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("T.WLD")));

    // The same world saved as runtime first: the same picture, through the runtime file.
    ASSERT_EQ(0, Cli(dir, {"world", "runtime", "T.WLE"}).exitCode);
    r = Cli(dir, Args("T.WLD", "d.bmp"));
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ(ReadBytes(dir.file("t.bmp")), ReadBytes(dir.file("d.bmp")));
}

TEST_F(WorldRenderCli, TheGLRendererAgreesWithTheSoftwareOne)
{
    const char* noGL = getenv("TOLBEX_NO_GL");
    if (noGL && !strcmp(noGL, "1")) GTEST_SKIP() << "TOLBEX_NO_GL=1";
    const char* gl = getenv("TOLBEX_GL");
    if (gl && !strcmp(gl, "off")) GTEST_SKIP() << "OpenGL is refused (TOLBEX_GL=off)";
    ASSERT_EQ(0, Cli(dir, Args("T.WLE", "s.bmp")).exitCode);
    std::vector<std::string> args = Args("T.WLE", "g.bmp");
    args.push_back("--renderer");
    args.push_back("gl");
    RunResult r = Cli(dir, args);
    if (r.exitCode && r.output.find("gl renderer cannot start") != std::string::npos) GTEST_SKIP() << r.output;
    ASSERT_EQ(0, r.exitCode) << r.output;
    Picture s = ReadPicture(dir.file("s.bmp")), g = ReadPicture(dir.file("g.bmp"));
    ASSERT_EQ(s.rgb.size(), g.rgb.size());
    // The same coverage but for edge pixels, nearly the same colours.
    int apart = 0;
    for (int y = 0; y < s.height; y++)
        for (int x = 0; x < s.width; x++) {
            uint32_t a = s.at(x, y), b = g.at(x, y);
            for (int k = 0; k < 24; k += 8)
                if (std::abs((int)((a >> k) & 255) - (int)((b >> k) & 255)) > 12) {
                    apart++;
                    break;
                }
        }
    EXPECT_LT(apart, s.width * 2) << "no more than two rows' worth of edge pixels";
}

TEST_F(WorldRenderCli, BadCamerasAndMissingArchivesAreRefusedInOneLine)
{
    for (const char* camera : {"1,2", "1,2,3,4", "a,2,3", "1,2,3,4,5,6", "1,2,99999999999", "1,2,3,70000,0"}) {
        RunResult r = Cli(dir, {"world", "render", "T.WLE", "x.bmp", "--camera", camera});
        EXPECT_EQ(2, r.exitCode) << camera;
        EXPECT_NE(std::string::npos, r.output.find("--camera must be X,Y,Z or X,Y,Z,PITCH,YAW")) << r.output;
    }
    ASSERT_EQ(0, Cli(dir, {"world", "runtime", "T.WLE"}).exitCode);
    std::filesystem::remove(dir.file("T.wxp"));
    RunResult r = Cli(dir, Args("T.WLD", "x.bmp"));
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ("tolbex-cli: T.WLD: the runtime world is refused (WXP file T.wxp is missing)\n", r.output);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.bmp")));
}

// ---- tolbex-cli world runtime --collision-report

class CollisionReportCli : public WorldTest {
protected:
    // 2 x 1 tiles of 2 x 2 quads at cell exponent 0 (a tile 16,384 wide, samples 8,192 apart),
    // heights 1,000 + 64 h.
    static GroundSpec Ground()
    {
        return GroundSpec{.tilesAcross = 2, .lowest = 1000, .highest = 17384,
                          .samples = {0, 1, 2, 3, 4, 10, 11, 12, 13, 14, 20, 21, 22, 23, 250}};
    }
};

TEST_F(CollisionReportCli, EachTilesShapeIsListedWithItsPointsAndTheirReach)
{
    GroundSpec g = Ground();
    g.shift = 1;
    WriteBytes(dir.file("T.WLE"), GroundWorld(g));
    RunResult r = Cli(dir, {"world", "runtime", "T.WLE", "--collision-report"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    // Tile (0, 0): samples 0-2 of rows 0-2, heights 1,000 to 1,000 + 64 x 22; tile (1, 0):
    // samples 2-4, its last 1,000 + 64 x 250.
    EXPECT_EQ("T.WLD: 0 cells, 0 worldshape copies, 0 corners\n"
              "T.wxp: 1 byte\n"
              "collision: 2 shapes (2 x 1 tiles), 18 points\n"
              "  tile (0, 0): 9 points, X 0..16384, Y 1000..2408, Z 0..16384\n"
              "  tile (1, 0): 9 points, X 16384..32768, Y 1128..17000, Z 0..16384\n",
              r.output);

    r = Cli(dir, {"world", "runtime", "T.WLE", "--collision-report", "--json"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    nlohmann::json j = nlohmann::json::parse(r.output);
    EXPECT_EQ("T.WLD", j["runtime"]);
    EXPECT_EQ(1, j["wxpBytes"]);
    EXPECT_EQ(18, j["collision"]["points"]);
    ASSERT_EQ(2u, j["collision"]["tiles"].size());
    const nlohmann::json& t = j["collision"]["tiles"][1];
    EXPECT_EQ((std::vector<int>{1, 0, 9}), (std::vector<int>{t["column"], t["row"], t["points"]}));
    EXPECT_EQ((std::vector<int>{16384, 1128, 0}), t["min"].get<std::vector<int>>());
    EXPECT_EQ((std::vector<int>{32768, 17000, 16384}), t["max"].get<std::vector<int>>());

    // Without the flag there is no report; a world without terrain reports no shapes.
    r = Cli(dir, {"world", "runtime", "T.WLE"});
    EXPECT_EQ(std::string::npos, r.output.find("collision")) << r.output;
    WriteBytes(dir.file("BARE.WLE"), WleImage().Done());
    r = Cli(dir, {"world", "runtime", "BARE.WLE", "--collision-report"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("\ncollision: 0 shapes (0 x 0 tiles), 0 points\n")) << r.output;
}

TEST_F(CollisionReportCli, ATerrainTheGameCannotCollideWithIsRefusedInOneLineAndNothingIsWritten)
{
    // One tile of 257 x 257 samples: 66,049 points, more than a shape numbers.
    GroundSpec big = Ground();
    big.tilesAcross = 1;
    big.shift = 8;
    // Two tiles at cell exponent 16, each 2^30 wide: the second ends past 32-bit coordinates.
    GroundSpec wide = Ground();
    wide.exponent = 16;
    const struct {
        GroundSpec g;
        const char* line;
    } cases[] = {
        {big, "tolbex-cli: T.WLD: too many points in collision shape (tile (0, 0) has 66049 points, a shape holds "
              "65535)\n"},
        {wide, "tolbex-cli: T.WLD: failed to create collision shape (tile (1, 0) reaches 2147483648, past the "
               "world's coordinates)\n"},
    };
    for (const auto& c : cases) {
        Bytes wle = GroundWorld(c.g);
        // One cell: a grid of 2^30-wide cells must stay within 32-bit coordinates.
        for (int at : {WLE_CELLS_X, WLE_CELLS_Y, WLE_CELLS_Z}) PutU32(wle.data(), at, 1);
        WriteBytes(dir.file("T.WLE"), wle);
        for (bool report : {false, true}) {
            std::vector<std::string> args = {"world", "runtime", "T.WLE"};
            if (report) args.push_back("--collision-report");
            RunResult r = Cli(dir, args);
            EXPECT_EQ(1, r.exitCode);
            EXPECT_EQ(c.line, r.output);
            EXPECT_EQ(wle, ReadBytes(dir.file("T.WLE")));
            for (const char* none : {"T.WLD", "T.wxp", "T.~LE"}) EXPECT_FALSE(std::filesystem::exists(dir.file(none))) << none;
        }
        // Rendering the world makes its runtime form first: the same refusal.
        RunResult r = Cli(dir, {"world", "render", "T.WLE", "x.bmp", "--camera", "0,1000,0"});
        EXPECT_EQ(1, r.exitCode);
        std::string text = std::string(c.line).substr(std::string(c.line).find(": ", 12) + 2);
        EXPECT_EQ("tolbex-cli: T.WLE: " + text, r.output);
        EXPECT_FALSE(std::filesystem::exists(dir.file("x.bmp")));
    }
}
