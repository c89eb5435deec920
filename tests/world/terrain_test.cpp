// The terrain: heights, the ground query and the materials from hand-built terrain packets in
// small world images, and damaged packets that must install nothing. Every image is a vector
// of exactly its used size, so a read past it is caught by the sanitizers.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "base/bytes.h"
#include "base/res.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "palette/palm.h"
#include "support/testutil.h"
#include "world/terrain.h"
#include "world/worldm_fixture.h"

// Terrains are written as aggregates naming only the fields a case sets.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

typedef std::vector<float> Floats;
typedef std::vector<int32_t> Ints;

using Terrain = TTerrain;

// A packet of a fixed-size type: its type and zeros.
static Bytes BlankPacket(uint16_t type, size_t size)
{
    Bytes p(size, 0);
    PutU16(p.data(), 0, type);
    return p;
}

static Bytes World(const std::vector<Bytes>& packets, uint32_t exponent = 0)
{
    Bytes w(168, 0);
    PutU32(w.data(), 4, exponent);
    for (const Bytes& p : packets) w.insert(w.end(), p.begin(), p.end());
    PutU32(w.data(), 0, (uint32_t)w.size());
    return w;
}

static void Install(const Terrain& t, uint32_t exponent = 0, int32_t waterOffset = 0)
{
    Bytes w = World({TerrainPacket(t)}, exponent);
    TerrainInstall(w.data(), (uint32_t)w.size(), waterOffset);
}

static int Make(const Bytes& w) { return TerrainMakeMaterials(w.data(), (uint32_t)w.size()); }

static float Height(uint32_t column, uint32_t row)
{
    float h = -1.5f;
    EXPECT_EQ(1, TerrainSampleHeight(column, row, &h)) << column << "," << row;
    return h;
}

static int32_t Ground(int32_t x, int32_t z)
{
    int32_t h = 0x55555555;
    EXPECT_EQ(1, TerrainGroundHeight(x, z, &h)) << "at " << x << "," << z;
    return h;
}

static std::string EntryName(int index)
{
    std::string s((const char*)IntMatPtr(index), IM_NAME_CHARS);
    return s.substr(0, s.find_last_not_of(' ') + 1);
}

class TerrainTest : public ::testing::Test {
protected:
    TempDir dir{true};
    void SetUp() override
    {
        ResRemove();
        ResInstall(2000);
        PalMInstall(PAL_USER_COLOURS);
        ASSERT_EQ(0, IntMatCreate(512));
        MatMInstall();
        TerrainRemove();
    }
    void TearDown() override
    {
        TerrainRemove();
        IntMatDestroy();
        ResRemove();
    }
};

TEST_F(TerrainTest, HeightsFromTheSamples)
{
    // All 0: flat at the lowest height, over two tiles of 4 x 4 quads.
    Terrain t{.shift = 2, .across = 9, .deep = 5, .tilesAcross = 2, .lowest = -5000, .highest = 90000};
    Install(t);
    TerrainInfo info;
    ASSERT_EQ(1, TerrainGetInfo(&info));
    EXPECT_EQ((std::vector<uint32_t>{9, 5, 2, 1}),
              (std::vector<uint32_t>{info.across, info.deep, info.tilesAcross, info.tilesDeep}));
    for (uint32_t i = 0; i < 45; i++) EXPECT_EQ(-5000.0f, Height(i % 9, i / 9));
    float low = 0, high = 0;
    ASSERT_EQ(1, TerrainTileRange(1, 0, &low, &high));
    EXPECT_EQ((Floats{-5000, -5000}), (Floats{low, high}));

    // 255 lies just under the highest height unless the ceiling cuts it.
    t = Terrain{.lowest = 1000, .highest = 1000 + 3 * 16384, .samples = {0, 1, 128, 255, 255, 255}};
    Install(t);
    EXPECT_EQ((Floats{1000, 1192, 25576, 49960}), (Floats{Height(0, 0), Height(1, 0), Height(2, 0), Height(0, 1)}));
    t.ceiling = 30000;
    Install(t);
    EXPECT_EQ((Floats{1000, 1192, 25576, 30000}), (Floats{Height(0, 0), Height(1, 0), Height(2, 0), Height(0, 1)}));

    // A range as wide as 32 bits allow: the products need 64.
    t = Terrain{.lowest = -2000000000, .highest = 2000000000, .samples = {0, 0, 128, 255}};
    Install(t);
    EXPECT_EQ((Floats{-2e9f, 0, 1984375000.0f}), (Floats{Height(0, 0), Height(2, 0), Height(0, 1)}));
    TerrainTileRange(0, 0, &low, &high);
    EXPECT_EQ((Floats{-2e9f, 1984375000.0f}), (Floats{low, high}));
}

TEST_F(TerrainTest, WaterTilesAndTextureCoordinates)
{
    // Water: the level with its offset, and how far the lowest sample lies under it.
    Terrain t{.water = 1000, .samples = {5, 10, 20, 30, 40, 50, 60, 70, 80}};   // 320, 640, ...
    TerrainInfo info;
    for (auto [offset, level, depth] : {std::tuple{-360, 640, 320}, {-700, 300, 0}}) {
        Install(t, 0, offset);
        ASSERT_EQ(1, TerrainGetInfo(&info));
        EXPECT_EQ((Ints{level, depth}), (Ints{info.waterLevel, info.greatestDepth})) << offset;
    }
    t.water = INT32_MAX - 10;
    Install(t, 0, 100);
    TerrainGetInfo(&info);
    EXPECT_EQ((Ints{INT32_MAX, INT32_MAX - 320}), (Ints{info.waterLevel, info.greatestDepth})) << "no wrap";

    // Two tiles side by side share their edge column 2.
    t = Terrain{.across = 5, .tilesAcross = 2,
                .samples = {10, 20, 20, 20, 20, 20, 20, 50, 20, 20, 20, 20, 20, 20, 200}};
    Install(t);
    float r[4];
    ASSERT_EQ(1, TerrainTileRange(0, 0, &r[0], &r[1]));
    ASSERT_EQ(1, TerrainTileRange(1, 0, &r[2], &r[3]));
    EXPECT_EQ((Floats{640, 3200, 1280, 12800}), Floats(r, r + 4));
    EXPECT_EQ(0, TerrainTileRange(2, 0, r, r) + TerrainTileRange(0, 1, r, r));
    t.tileBlock = false;
    Install(t);
    EXPECT_EQ(12800.0f, Height(4, 2)) << "heights stand without a tile block";
    EXPECT_EQ(0, TerrainTileRange(0, 0, r, r));

    // Texture coordinates across a tile of 4, inset by 1/16; a texture size of 0 has no inset.
    for (auto [size, expect] : {std::pair{16u, Floats{0, 0.0625f, 0.25f, 0.28125f, 0.5f, 0.5f, 0.75f, 0.71875f}},
                                {0u, Floats{0, 0, 0.25f, 0.25f, 0.5f, 0.5f, 0.75f, 0.75f}}}) {
        Install(Terrain{.shift = 2, .across = 5, .deep = 5, .textureSize = size});
        Floats got(8);
        for (uint32_t i = 0; i < 4; i++) ASSERT_EQ(1, TerrainTexCoord(i, &got[2 * i], &got[2 * i + 1]));
        EXPECT_EQ(expect, got) << size;
        EXPECT_EQ(0, TerrainTexCoord(4, r, r));
    }
}

TEST_F(TerrainTest, GroundHeightOnTheSurface)
{
    // A plane: sample (c, r) at 64 x (10c + 3r), samples 4096 apart; the surface is exact at
    // and between samples.
    Terrain t{.shift = 2, .across = 5, .deep = 5};
    for (int i = 0; i < 25; i++) t.samples.push_back((uint8_t)(10 * (i % 5) + 3 * (i / 5)));
    Install(t);
    EXPECT_EQ((Ints{0, 64 * 13, 64 * 52, 64 * 43, 1392, 1008}),
              (Ints{Ground(0, 0), Ground(4096, 4096), Ground(16384, 16384), Ground(16384, 4096), Ground(6144, 9216),
                    Ground(6144, 1024)}));
    Install(t, 1);   // a cell twice as wide spreads the samples twice as far
    EXPECT_EQ((Ints{64 * 33, 64 * 13}), (Ints{Ground(3 * 8192, 8192), Ground(8192, 8192)}));

    // One raised sample amid 3 x 3, 8192 apart: each quad is two triangles split along the
    // diagonal from its first corner.
    t = Terrain{.samples = {0, 0, 0, 0, 100, 0, 0, 0, 0}};
    Install(t);
    EXPECT_EQ((Ints{3200, 1600, 1600, 4800}),
              (Ints{Ground(4096, 4096), Ground(6144, 2048), Ground(2048, 6144), Ground(6144, 6144)}))
        << "the quad whose diagonal climbs to the raised sample";
    EXPECT_EQ((Ints{0, 3200, 0}), (Ints{Ground(12288, 4096), Ground(10240, 6144), Ground(14336, 2048)}))
        << "the quad whose diagonal joins two low samples";

    // Heights truncate toward zero, also below zero.
    Install(Terrain{.lowest = -1000, .highest = -1000 + 16384, .samples = {0, 1}});
    EXPECT_EQ((Ints{-999, -968}), (Ints{Ground(2, 0), Ground(4096, 0)}));
}

TEST_F(TerrainTest, GroundQueryMissesOutsideTheTerrain)
{
    Install(Terrain{.shift = 2, .across = 5, .deep = 3, .tileBlock = false, .lowest = 700});   // 16384 x 8192
    EXPECT_EQ(700, Ground(16384, 8192)) << "the far corner is on the terrain";
    for (auto [x, z] : std::vector<std::pair<int32_t, int32_t>>{
             {-1, 0}, {0, -1}, {16385, 0}, {0, 8193}, {INT32_MIN, 0}, {INT32_MAX, INT32_MAX}, {16384, INT32_MIN}}) {
        int32_t h = 123;
        EXPECT_EQ(0, TerrainGroundHeight(x, z, &h)) << x << "," << z;
        EXPECT_EQ(123, h) << "a miss leaves the height alone";
    }
    TerrainRemove();
    EXPECT_EQ(0, TerrainGroundHeight(0, 0, nullptr) + TerrainGetInfo(nullptr) + TerrainDisplayInstalled());
}

TEST_F(TerrainTest, ThreeTextureNamesMakeSeventeenMaterials)
{
    for (const char* f : {"grass.spr", "rock.spr", "C00.spr", "C13.spr"}) WriteBytes(f, Bytes(16, 1));
    // A list material of a terrain name is taken, not doubled, and left as it is.
    MatMAdd(1);
    MatMSetName(1, "~HM-matW00003");
    Bytes world = World({BlankPacket(0x1008, 88), TerrainPacket(Terrain{.names = {"grass.spr", "rock.spr", "sand.spr"}})});
    for (int round = 0; round < 2; round++) {   // again, as every reload of the materials does
        ASSERT_EQ(17, Make(world));
        EXPECT_EQ(2 + 16, IntMatCount());
        std::vector<std::string> names;
        for (int i = 0; i < 17; i++) names.push_back(EntryName(TerrainMaterial(i)));
        std::vector<std::string> expect = {"~HM-MATA00000", "~HM-MATA00001", "~HM-MATA00002"};
        for (int i = 0; i < 14; i++)
            expect.push_back("~HM-MATW000" + std::string(i < 10 ? "0" : "") + std::to_string(i));
        EXPECT_EQ(expect, names);
    }
    EXPECT_EQ((Ints{1, 0, -1, -1}),
              (Ints{TerrainMaterial(6), IntMatLoadFlags(1), TerrainMaterial(17), TerrainMaterial(-1)}));
    EXPECT_STREQ("grass.spr", ResName(IntMatSprite(TerrainMaterial(0))));
    EXPECT_STREQ("rock.spr", ResName(IntMatSprite(TerrainMaterial(1))));
    EXPECT_EQ(0, IntMatSprite(TerrainMaterial(2))) << "no such file: untextured";
    EXPECT_STREQ("c00.spr", ResName(IntMatSprite(TerrainMaterial(3))));
    EXPECT_STREQ("c13.spr", ResName(IntMatSprite(TerrainMaterial(16))));
    for (int i : {0, 2, 3, 16}) EXPECT_EQ(TERRAIN_MATERIAL_FLAGS, IntMatLoadFlags(TerrainMaterial(i))) << i;
}

TEST_F(TerrainTest, ATilesTwoBytesNameItsMaterialAndItsDepthTheWater)
{
    // Four tiles in a row of one quad each; the tile bytes read as little-endian numbers
    // 2, 4 (past the three names: the second water material), 256 and 17 (past the table of 17).
    Terrain t{.shift = 0, .across = 5, .deep = 2, .tilesAcross = 4, .tilesDeep = 1, .water = 200,
              .names = {"grass.spr", "rock.spr", "sand.spr"}, .samples = {0, 2, 3, 5, 9, 4, 4, 4, 5, 9},
              .tiles = {2, 0, 4, 0, 0, 1, 17, 0}};
    Bytes w = World({TerrainPacket(t)});
    ASSERT_EQ(17, Make(w));
    TerrainInstall(w.data(), (uint32_t)w.size(), 0);
    auto name = [](int entry) { return entry < 0 ? std::string("none") : EntryName(TerrainMaterial(entry)); };
    EXPECT_EQ((std::vector<std::string>{"~HM-MATA00002", "~HM-MATW00001", "~HM-MATA00000", "~HM-MATA00000"}),
              (std::vector<std::string>{name(TerrainTileMaterial(0, 0)), name(TerrainTileMaterial(1, 0)),
                                        name(TerrainTileMaterial(2, 0)), name(TerrainTileMaterial(3, 0))}));
    uint8_t b[2] = {9, 9};
    EXPECT_EQ(1, TerrainTileBytes(3, 0, b));
    EXPECT_EQ((Ints{17, 0}), (Ints{b[0], b[1]}));
    EXPECT_EQ(0, TerrainTileBytes(4, 0, b));
    EXPECT_EQ(-1, TerrainTileMaterial(0, 1));
    // Water at 200: the tiles' lowest samples stand at 0 (200 deep: the greatest), 128 (72
    // deep: 72 x 14 / 201 = 5), 192 (8 deep: the first) and 320 (dry).
    EXPECT_EQ((std::vector<std::string>{"~HM-MATW00013", "~HM-MATW00005", "~HM-MATW00000", "none"}),
              (std::vector<std::string>{name(TerrainWaterMaterial(0, 0)), name(TerrainWaterMaterial(1, 0)),
                                        name(TerrainWaterMaterial(2, 0)), name(TerrainWaterMaterial(3, 0))}));
    // A tile whose lowest sample lies exactly at the water level is dry.
    t.water = 320;
    Bytes level = World({TerrainPacket(t)});
    TerrainInstall(level.data(), (uint32_t)level.size(), 0);
    EXPECT_EQ(-1, TerrainWaterMaterial(3, 0));
    // Without materials made there is nothing to name.
    Make(World({}));
    EXPECT_EQ(-1, TerrainTileMaterial(0, 0));
    EXPECT_EQ(-1, TerrainWaterMaterial(0, 0));
}

TEST_F(TerrainTest, AnotherTerrainGivesItsOwnTexturesToTheNamesAnEarlierOneMade)
{
    for (const char* f : {"grass.spr", "rock.spr", "sand.spr", "mud.spr", "C00.spr"}) WriteBytes(f, Bytes(16, 1));
    // The user's material of a terrain name stays the user's, whatever the terrain says.
    MatMAdd(1);
    MatMSetName(1, "~HM-mata00001");
    MatMSetTexture(1, "mud.spr");
    ASSERT_EQ(16, Make(World({TerrainPacket(Terrain{.names = {"grass.spr", "rock.spr"}})})));
    int first = TerrainMaterial(0), count = IntMatCount();
    EXPECT_EQ(1, TerrainMaterial(1));
    // A second world names other textures, or none, under the same material names.
    ASSERT_EQ(17, Make(World({TerrainPacket(Terrain{.names = {"sand.spr", "grass.spr", "nothing.spr"}})})));
    EXPECT_EQ(first, TerrainMaterial(0)) << "the same entry, taken over";
    EXPECT_EQ(count + 1, IntMatCount()) << "only the third name is new";
    EXPECT_STREQ("sand.spr", ResName(IntMatSprite(TerrainMaterial(0))));
    EXPECT_STREQ("mud.spr", ResName(IntMatSprite(TerrainMaterial(1)))) << "the list's material";
    EXPECT_EQ(0, IntMatLoadFlags(1));
    EXPECT_EQ(0, IntMatSprite(TerrainMaterial(2))) << "no such file: untextured";
    EXPECT_STREQ("c00.spr", ResName(IntMatSprite(TerrainMaterial(3))));
    for (int i : {0, 2, 3}) {
        EXPECT_EQ(TERRAIN_MATERIAL_FLAGS, IntMatLoadFlags(TerrainMaterial(i))) << i;
        EXPECT_EQ((Ints{16384, 16384}), (Ints{IntMatAmbient(TerrainMaterial(i)), IntMatDiffuse(TerrainMaterial(i))}))
            << i << ": lit, so that the texture is seen";
    }
    ASSERT_EQ(15, Make(World({TerrainPacket(Terrain{.names = {""}})})));
    EXPECT_EQ(0, IntMatSprite(TerrainMaterial(0))) << "an empty name takes the texture away";
}

TEST_F(TerrainTest, TwoImagesGiveTheSameTerrainOnlyWithTheSamePacketAndExponent)
{
    Bytes a = World({BlankPacket(0x1008, 88), TerrainPacket(Terrain{.names = {"a.spr"}})});
    Bytes moved = World({TerrainPacket(Terrain{.names = {"a.spr"}}), BlankPacket(0x1007, 56)});
    Bytes other = World({TerrainPacket(Terrain{.names = {"b.spr"}})});
    Bytes higher = World({TerrainPacket(Terrain{.lowest = 1, .names = {"a.spr"}})});
    Bytes none = World({BlankPacket(0x1008, 88)}), empty = World({});
    Bytes coarser = World({TerrainPacket(Terrain{.names = {"a.spr"}})}, 1);
    auto same = [](const Bytes& x, const Bytes& y) {
        return TerrainSame(x.data(), (uint32_t)x.size(), y.data(), (uint32_t)y.size());
    };
    EXPECT_TRUE(same(a, moved)) << "the packet's place does not matter";
    EXPECT_TRUE(same(none, empty));
    EXPECT_FALSE(same(a, other));
    EXPECT_FALSE(same(a, higher));
    EXPECT_FALSE(same(a, none));
    EXPECT_FALSE(same(empty, a));
    EXPECT_FALSE(same(a, coarser)) << "the exponent spaces the samples";
    EXPECT_TRUE(same(World({BlankPacket(0x1008, 88)}, 3), empty)) << "no terrain under any exponent";
    // A packet whose length runs past the image counts as none.
    Bytes cut = a;
    PutU32(cut.data(), 168 + 88 + TP_LENGTH, (uint32_t)cut.size());
    EXPECT_TRUE(same(cut, empty));
}

TEST_F(TerrainTest, MaterialNamesAndCountsAreChecked)
{
    // Every refused name names a file that is there; the material is still made, untextured.
    std::filesystem::create_directory("a");
    for (const char* f : {"ok.spr", "a/b.spr", "a:b.spr", "ok\x01.spr"}) ASSERT_TRUE(WriteBytes(f, Bytes(16, 1)));
    Terrain t{.names = {"ok.spr", "ok.sprXXXXXXX" /* no end in 13 bytes */, "a/b.spr", "a:b.spr", "ok\x01.spr", ""}};
    ASSERT_EQ(20, Make(World({TerrainPacket(t)})));
    EXPECT_STREQ("ok.spr", ResName(IntMatSprite(TerrainMaterial(0))));
    for (int i = 1; i < 6; i++)
        EXPECT_EQ((Ints{0, TERRAIN_MATERIAL_FLAGS}),
                  (Ints{IntMatSprite(TerrainMaterial(i)), IntMatLoadFlags(TerrainMaterial(i))})) << i;

    // 250 names: the table of 256 keeps room for the 14 water materials.
    t.names.assign(250, "");
    ASSERT_EQ(TERRAIN_MAX_MATERIALS, Make(World({TerrainPacket(t)})));
    EXPECT_EQ((std::vector<std::string>{"~HM-MATA00241", "~HM-MATW00000", "~HM-MATW00013"}),
              (std::vector<std::string>{EntryName(TerrainMaterial(241)), EntryName(TerrainMaterial(242)),
                                        EntryName(TerrainMaterial(255))}));
    EXPECT_EQ(IM_NONE, IntMatFind("~HM-mata00242"));

    // A full render table ends the making without harm.
    IntMatCreate(6);
    MatMInstall();
    EXPECT_EQ(5, Make(World({TerrainPacket(t)})));
    EXPECT_EQ(6, IntMatCount());
}

TEST_F(TerrainTest, AWorldWithoutATerrainPacketHasNone)
{
    // Found behind packets of every other kind.
    Bytes with = World({BlankPacket(0x1002, 68), BlankPacket(0x1003, 120), BlankPacket(0x1004, 10), BlankPacket(0x1005, 54),
                        BlankPacket(0x1006, 64), BlankPacket(0x1007, 56), BlankPacket(0x1008, 88),
                        TerrainPacket(Terrain{.lowest = 55, .names = {"a.spr"}})});
    TerrainInstall(with.data(), (uint32_t)with.size(), 0);
    EXPECT_EQ(55, Ground(100, 100));
    EXPECT_EQ(15, Make(with));
    int count = IntMatCount();
    for (const Bytes& w : {World({BlankPacket(0x1008, 88), BlankPacket(0x1007, 56)}), World({})}) {
        TerrainInstall(w.data(), (uint32_t)w.size(), 0);
        EXPECT_EQ(0, TerrainGetInfo(nullptr)) << "the previous terrain is gone";
        EXPECT_EQ(0, TerrainGroundHeight(100, 100, nullptr));
        EXPECT_EQ(0, Make(w) + TerrainMaterialCount());
        EXPECT_EQ(count, IntMatCount());
    }
    TerrainInstall(nullptr, 1000, 0);
    EXPECT_EQ(0, TerrainMakeMaterials(nullptr, 1000) + TerrainGetInfo(nullptr));
}

TEST_F(TerrainTest, DamagedPacketsInstallNothing)
{
    const size_t at = 168 + 88;   // the terrain packet's place, behind one worldshape
    auto set = [&](Bytes& w, size_t off, uint32_t v) { PutU32(w.data(), at + off, v); };
    const std::pair<const char*, std::function<void(Bytes&)>> cases[] = {
        {"length past the image", [&](Bytes& w) { set(w, TP_LENGTH, (uint32_t)(w.size() - at + 1)); }},
        {"length inside the header", [&](Bytes& w) { set(w, TP_LENGTH, 100); }},
        {"length 0", [&](Bytes& w) { set(w, TP_LENGTH, 0); }},
        {"image ends in the packet's head", [&](Bytes& w) { w.resize(at + 6); }},
        {"image ends in its samples", [&](Bytes& w) { w.resize(at + TP_SAMPLES_AT + 4); }},
        {"257 texture names", [&](Bytes& w) { set(w, TP_NAME_COUNT, 257); }},
        {"no height samples", [&](Bytes& w) { set(w, TP_SAMPLES, 0); }},
        {"samples past the packet", [&](Bytes& w) { set(w, TP_SAMPLES, TP_SAMPLES_AT + 8); }},
        {"sample offset wrapping round", [&](Bytes& w) { set(w, TP_SAMPLES, 0xFFFFFFF8u); }},
        {"sample count wrapping 32 bits", [&](Bytes& w) { set(w, TP_ACROSS, 0x10000), set(w, TP_DEEP, 0x10000); }},
        {"one sample across", [&](Bytes& w) { set(w, TP_ACROSS, 1); }},
        {"no samples deep", [&](Bytes& w) { set(w, TP_DEEP, 0); }},
        {"shift out of range", [&](Bytes& w) { set(w, TP_SHIFT, 40); }},
        {"tile block past the packet", [&](Bytes& w) { set(w, TP_TILES, GetU32(w.data(), at + TP_LENGTH) - 1); }},
        {"tile count wrapping 32 bits",
         [&](Bytes& w) { set(w, TP_TILES_ACROSS, 0x80000000u), set(w, TP_TILES_DEEP, 2); }},
        {"more tiles than samples", [&](Bytes& w) { set(w, TP_TILES_ACROSS, 2); }},
        {"tiles wider than the samples", [&](Bytes& w) { set(w, TP_SHIFT, 2); }},
        // The tile reads 3 x 3 samples: a row or a column short, exactly.
        {"one sample column short", [&](Bytes& w) { set(w, TP_ACROSS, 2); }},
        {"one sample row short", [&](Bytes& w) { set(w, TP_DEEP, 2); }},
        {"the last sample one byte past the packet",
         [&](Bytes& w) { set(w, TP_SAMPLES, GetU32(w.data(), at + TP_LENGTH) - 9 + 1); }},
        {"unknown packet before it", [&](Bytes& w) { PutU16(w.data(), 168, 0x1010); }},
        {"packet before it past the image", [&](Bytes& w) { w.resize(168 + 80); }},
    };
    for (auto& [what, damage] : cases) {
        Bytes w = World({BlankPacket(0x1008, 88), TerrainPacket(Terrain{.names = {"a.spr"}})});
        TerrainInstall(w.data(), (uint32_t)w.size(), 0);
        ASSERT_EQ(1, TerrainGetInfo(nullptr)) << "the sound packet installs";
        ASSERT_EQ(0, TerrainBuildCollision(w.data(), (uint32_t)w.size()));
        ASSERT_EQ(1u, TerrainCollisionCount());
        damage(w);
        PutU32(w.data(), 0, (uint32_t)w.size());
        TerrainInstall(w.data(), (uint32_t)w.size(), 0);
        EXPECT_EQ(0, TerrainGetInfo(nullptr) + TerrainGroundHeight(0, 0, nullptr)) << what;
        EXPECT_EQ(0, Make(w) + TerrainMaterialCount()) << what;
        EXPECT_EQ(0u, TerrainBuildCollision(w.data(), (uint32_t)w.size()) + TerrainCollisionCount()) << what;
    }
}

// ---- Collision data

static int Collide(const Terrain& t, uint32_t exponent = 0)
{
    Bytes w = World({TerrainPacket(t)}, exponent);
    return TerrainBuildCollision(w.data(), (uint32_t)w.size());
}

static Ints CollisionPoints(uint32_t i)
{
    TerrainCollisionShape s{};
    EXPECT_EQ(1, TerrainGetCollision(i, &s)) << i;
    return Ints(s.points, s.points + 3 * (size_t)s.count);
}

TEST_F(TerrainTest, ACollisionShapeHoldsItsTilesSamplesInWorldUnits)
{
    // 2 x 1 tiles of 2 x 2 quads at cell exponent 1: a tile is 32,768 wide, a sample 16,384
    // from the next. Heights 1,000 + 64 h, cut to the ceiling at 13,800 (the last sample's 250
    // would stand for 17,000).
    Terrain t{.across = 5, .tilesAcross = 2, .lowest = 1000, .highest = 17384, .ceiling = 13800,
              .samples = {0, 1, 2, 3, 4, 10, 11, 12, 13, 14, 20, 21, 22, 23, 250}};
    ASSERT_EQ(0, Collide(t, 1));
    EXPECT_STREQ("", TerrainCollisionError());
    ASSERT_EQ(2u, TerrainCollisionCount());
    TerrainCollisionShape s{};
    ASSERT_EQ(1, TerrainGetCollision(1, &s));
    EXPECT_EQ((std::vector<uint32_t>{1, 0, 9}), (std::vector<uint32_t>{s.column, s.row, s.count}));
    EXPECT_EQ(0, TerrainGetCollision(2, &s));
    // Row by row from the tile's first sample: X across, the height, Z deep.
    EXPECT_EQ((Ints{0, 1000, 0,         16384, 1064, 0,         32768, 1128, 0,
                    0, 1640, 16384,     16384, 1704, 16384,     32768, 1768, 16384,
                    0, 2280, 32768,     16384, 2344, 32768,     32768, 2408, 32768}),
              CollisionPoints(0));
    EXPECT_EQ((Ints{32768, 1128, 0,     49152, 1192, 0,         65536, 1256, 0,
                    32768, 1768, 16384, 49152, 1832, 16384,     65536, 1896, 16384,
                    32768, 2408, 32768, 49152, 2472, 32768,     65536, 13800, 32768}),
              CollisionPoints(1));

    // Tiles come row by row: the second row's first tile follows the first row's last.
    Terrain deep{.across = 3, .deep = 5, .tilesDeep = 2, .samples = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7}};
    ASSERT_EQ(0, Collide(deep));
    ASSERT_EQ(2u, TerrainCollisionCount());
    ASSERT_EQ(1, TerrainGetCollision(1, &s));
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 9}), (std::vector<uint32_t>{s.column, s.row, s.count}));
    EXPECT_EQ((Ints{16384, 448, 32768}), Ints(s.points + 24, s.points + 27)) << "the last sample, 64 x 7 high";

    // Without a tile block, or without a terrain, there are no shapes, and that is no refusal.
    ASSERT_EQ(0, Collide(Terrain{.tileBlock = false}));
    EXPECT_EQ(0u, TerrainCollisionCount());
    Bytes none = World({BlankPacket(0x1008, 88)});
    EXPECT_EQ(0, TerrainBuildCollision(none.data(), (uint32_t)none.size()));
    EXPECT_EQ(0u, TerrainCollisionCount());
}

TEST_F(TerrainTest, TilesTheGameCannotBuildShapesForAreRefusedWithItsTexts)
{
    // 2^7 + 1 = 129 samples along a tile's edge make 16,641 points; 2^8 + 1 = 257 make 66,049,
    // more than a shape can number.
    ASSERT_EQ(0, Collide(Terrain{.shift = 7, .across = 129, .deep = 129}));
    ASSERT_EQ(1u, TerrainCollisionCount());
    EXPECT_EQ(16641u, CollisionPoints(0).size() / 3);
    EXPECT_EQ(TERRAIN_COLLISION_POINTS, Collide(Terrain{.shift = 8, .across = 257, .deep = 257}));
    EXPECT_STREQ("too many points in collision shape", TerrainCollisionText(TERRAIN_COLLISION_POINTS));
    EXPECT_STREQ("tile (0, 0) has 66049 points, a shape holds 65535", TerrainCollisionError());
    EXPECT_EQ(0u, TerrainCollisionCount()) << "nothing is kept of a refused build";

    // At cell exponent 16 a tile is 2^30 wide: the second one across, or deep, ends at 2^31,
    // past the world's 32-bit coordinates.
    ASSERT_EQ(0, Collide(Terrain{.shift = 0, .across = 2, .deep = 2}, 16));
    EXPECT_EQ((Ints{0, 0, 0, 1 << 30, 0, 0, 0, 0, 1 << 30, 1 << 30, 0, 1 << 30}), CollisionPoints(0));
    EXPECT_EQ(TERRAIN_COLLISION_CREATE, Collide(Terrain{.shift = 0, .across = 3, .deep = 2, .tilesAcross = 2}, 16));
    EXPECT_STREQ("failed to create collision shape", TerrainCollisionText(TERRAIN_COLLISION_CREATE));
    EXPECT_STREQ("tile (1, 0) reaches 2147483648, past the world's coordinates", TerrainCollisionError());
    EXPECT_EQ(0u, TerrainCollisionCount());
    EXPECT_EQ(TERRAIN_COLLISION_CREATE, Collide(Terrain{.shift = 0, .across = 2, .deep = 3, .tilesDeep = 2}, 16));
    EXPECT_STREQ("tile (0, 1) reaches 2147483648, past the world's coordinates", TerrainCollisionError());

    // A sound build after a refusal clears its text.
    ASSERT_EQ(0, Collide(Terrain{}));
    EXPECT_STREQ("", TerrainCollisionError());
    EXPECT_EQ(1u, TerrainCollisionCount());
    EXPECT_STREQ("", TerrainCollisionText(0));
}
