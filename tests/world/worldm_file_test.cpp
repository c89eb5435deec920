// WLE files: loading with version conversion and renumbering, refusals that change nothing,
// node link repair, the summary report and saving.
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "world/worldm_fixture.h"

namespace {

// A world of every kind of packet the editor carries, as a file of the version given.
Bytes MixedWorld(uint32_t version)
{
    WleImage w(version);
    w.Shape({.flags = 0xE001, .id = 40, .pitch = 0x123, .yaw = 0x456, .name = Name4("DYN1"), .x = 1, .y = 2,
             .z = 3, .file = "ROCK", .handle = 77, .net = 5, .field60 = 9, .text1 = "hello"});
    w.Shape({.id = 41, .pitch = -5, .x = -1, .y = -2, .z = -3, .file = "tree.shp"}, true);
    w.Node({.selected = 0xFFFF, .id = 1, .prev = 2, .hidden = 1, .x = 10});
    w.Node({.id = 2, .next = 1, .name = Name4("NET1")});
    w.Shape({.id = 42, .pitch = 7, .file = "gone"}, true);
    return w.Done();
}

}  // namespace

// ---- Versions

TEST_F(WorldTest, Version19LoadsAsItIsApartFromTheLoadFields)
{
    Bytes file = MixedWorld(19);
    ASSERT_EQ(0, LoadBytes(file)) << WorldMLoadError();
    EXPECT_EQ(file.size(), WorldMUsed()) << "short worldshapes of a version 19 file are not widened";
    auto w = Walk();
    ASSERT_EQ(5u, w.size());
    EXPECT_EQ(WP_SHORT_SHAPE, w[1].second);
    uint8_t* p = Img() + w[0].first;
    // Flags: selected, hidden and 0x2000 cleared; renumbered; the pitch kept from version 17 on.
    EXPECT_EQ((std::vector<int>{0x0001, 1, 0x123, 0x456, 0xFFFF, 5}),
              (std::vector<int>{GetU16(p, WS_FLAGS), GetU16(p, WS_ID), GetI16(p, WS_PITCH), GetI16(p, WS_YAW),
                                GetU16(p, WS_FIELD60), GetU16(p, WS_NET)}));
    EXPECT_EQ(0, memcmp(p + WS_TEXT1, "hello", 6));
    EXPECT_NE(0, GetU16(p, WS_HANDLE));
    EXPECT_EQ(0, GetU16(Img() + w[2].first, WN_SELECTED) | GetU16(Img() + w[2].first, WN_HIDDEN));
    EXPECT_EQ(19u, GetU32(Img(), WLE_VERSION));
}

TEST_F(WorldTest, Versions15To18AreWidenedAndRetypedAnd15And16LoseThePitch)
{
    for (uint32_t version = 15; version <= 18; version++) {
        SCOPED_TRACE(version);
        Bytes file = MixedWorld(version);
        ASSERT_EQ(0, LoadBytes(file)) << WorldMLoadError();
        EXPECT_EQ(file.size() + 2 * 24, WorldMUsed()) << "24 bytes more per short worldshape";
        EXPECT_EQ(19u, GetU32(Img(), WLE_VERSION));
        auto w = Walk();
        ASSERT_EQ(5u, w.size());
        std::vector<uint16_t> types;
        for (auto& e : w) types.push_back(e.second);
        EXPECT_EQ((std::vector<uint16_t>{0x1008, 0x1008, 0x1007, 0x1007, 0x1008}), types);
        uint8_t* wide = Img() + w[1].first;
        EXPECT_EQ(-1, GetI32(wide, WS_X));
        EXPECT_STREQ("TREE.SHP", WorldMShapeFileName(wide + WS_FILE));
        for (int k = 64; k < 88; k++) EXPECT_EQ(0, wide[k]) << k;
        EXPECT_EQ(-5, GetI16(wide, WS_PITCH)) << "0x1006 packets were not 0x1008 at the pitch step";
        EXPECT_EQ(version <= 16 ? 0 : 0x123, GetI16(Img() + w[0].first, WS_PITCH));
        EXPECT_EQ(0, GetU16(Img() + w[4].first, WS_HANDLE)) << "GONE.SHP does not exist";
        // The bytes of the original file, shifted where the widening happened.
        // (the selected word at 2 and the hidden word at 22 are cleared by the load).
        EXPECT_EQ(0, memcmp(Img() + w[2].first + 4, file.data() + 168 + 88 + 64 + 4, 18));
        EXPECT_EQ(0, memcmp(Img() + w[2].first + 24, file.data() + 168 + 88 + 64 + 24, 32));
    }
}

TEST_F(WorldTest, AVersionAbove19IsTakenAs19)
{
    ASSERT_EQ(0, LoadBytes(MixedWorld(25)));
    EXPECT_EQ(19u, GetU32(Img(), WLE_VERSION));
    EXPECT_EQ(WP_SHORT_SHAPE, Walk()[1].second);
}

TEST_F(WorldTest, AVersionBelow15IsRefusedWithItsMessageAndChangesNothing)
{
    ASSERT_EQ(1, WorldMAddShape("rock.shp", 5, 6, 7, 0));
    Bytes before = Used();
    Bytes undo(WorldMUndoImage(), WorldMUndoImage() + WorldMCapacity());
    EXPECT_EQ(-6, LoadBytes(MixedWorld(14)));
    EXPECT_NE(nullptr, strstr(WorldMLoadError(), "version is prior to 15 - too old!")) << WorldMLoadError();
    EXPECT_EQ(before, Used());
    EXPECT_EQ(undo, Bytes(WorldMUndoImage(), WorldMUndoImage() + WorldMCapacity()));
    EXPECT_EQ(2, WorldMNextShapeID());
}

TEST_F(WorldTest, LoadsRenumberFromWhereTheCounterStands)
{
    Bytes file = WleImage().Shape({.id = 7, .file = "ROCK"}).Shape({.id = 7, .file = "TREE"}).Done();
    ASSERT_EQ(0, LoadBytes(file));
    EXPECT_EQ(1, GetU16(Shapes()[0], WS_ID));
    EXPECT_EQ(2, GetU16(Shapes()[1], WS_ID));
    ASSERT_EQ(0, LoadBytes(file));
    EXPECT_EQ(3, GetU16(Shapes()[0], WS_ID));
    EXPECT_EQ(4, GetU16(Shapes()[1], WS_ID));
    EXPECT_EQ(5, WorldMAddShape("rock.shp", 0, 0, 0, 0));
}

TEST_F(WorldTest, MissingOrDamagedShapeFilesLoadWithHandleZero)
{
    WriteBytes(dir.file("BROKEN.SHP"), Bytes{1, 2, 3, 4, 5});
    Bytes newer = BoxShape(0, 0, 0, 1, 1, 1);
    PutU16(newer.data(), 0, 99);
    WriteBytes(dir.file("NEWER.SHP"), newer);
    Bytes file = WleImage().Shape({.file = "BROKEN"}).Shape({.file = "NEWER"}).Shape({.file = "MISSING"})
                     .Shape({.file = ""}).Shape({.file = "ROCK"}).Done();
    ASSERT_EQ(0, LoadBytes(file)) << WorldMLoadError();
    auto s = Shapes();
    ASSERT_EQ(5u, s.size());
    for (int k = 0; k < 4; k++) EXPECT_EQ(0, GetU16(s[k], WS_HANDLE)) << k;
    EXPECT_NE(0, GetU16(s[4], WS_HANDLE));
}

TEST_F(WorldTest, ALoadInstallsTheTerrainAndARefusalOrNewDecidesWhatStays)
{
    ASSERT_EQ(0, LoadBytes(WleImage().Shape({.file = "ROCK"}).Append(FlatTerrain(100)).Done()));
    int32_t h = 0;
    ASSERT_EQ(1, TerrainGroundHeight(1000, 1000, &h));
    EXPECT_EQ(6400, h);
    EXPECT_EQ(-6, LoadBytes(MixedWorld(14), "old.wle"));
    h = 0;
    ASSERT_EQ(1, TerrainGroundHeight(1000, 1000, &h)) << "a refused load keeps the terrain";
    EXPECT_EQ(6400, h);
    int id = WorldMAddShapeOnGround("rock.shp", 1000, 1000, 0);
    ASSERT_GT(id, 0);
    EXPECT_EQ(6420, GetI32(WorldMShapeFindData((uint16_t)id), WS_Y)) << "ground 6400 - lowest Y (-20)";
    // Turned a quarter: the box corners still lie over the terrain.
    WorldMSelectShape((uint16_t)id);
    PutI16(WorldMShapeFindData((uint16_t)id), WS_YAW, 0x4000);
    WorldMDropSelectedToGround();
    EXPECT_EQ(6420, GetI32(WorldMShapeFindData((uint16_t)id), WS_Y));
    // Off the terrain the ground is 0.
    id = WorldMAddShapeOnGround("rock.shp", -5000, -5000, 0);
    EXPECT_EQ(20, GetI32(WorldMShapeFindData((uint16_t)id), WS_Y));
    ASSERT_EQ(0, LoadBytes(WleImage().Done(), "plain.wle"));
    EXPECT_EQ(0, TerrainGroundHeight(1000, 1000, &h)) << "a world without terrain has none";
    ASSERT_EQ(0, LoadBytes(WleImage().Append(FlatTerrain(100)).Done()));
    WorldMNew();
    EXPECT_EQ(0, TerrainGroundHeight(1000, 1000, &h)) << "New removes the terrain";
}

TEST_F(WorldTest, UndoBringsBackTheTerrainOfTheImageItRestores)
{
    int32_t h = 0;
    ASSERT_EQ(0, LoadBytes(WleImage().Append(FlatTerrain(100)).Done()));
    WorldMNew();
    ASSERT_EQ(0, TerrainGroundHeight(1000, 1000, &h));
    WorldMUndo();
    ASSERT_EQ(1, TerrainGroundHeight(1000, 1000, &h)) << "undoing New";
    EXPECT_EQ(6400, h);

    // An edit that leaves the terrain: Undo keeps it installed, its materials untouched.
    int id = WorldMAddShapeOnGround("rock.shp", 1000, 1000, 0);
    ASSERT_GT(id, 0);
    MatMClearTexturesDirty();
    WorldMUndo();
    EXPECT_EQ(0, WorldMCountShapes());
    ASSERT_EQ(1, TerrainGroundHeight(1000, 1000, &h));
    EXPECT_EQ(6400, h);
    EXPECT_EQ(0, MatMTexturesDirty()) << "the same terrain: nothing to reload";

    // A snapshot without terrain over one with it, and back: each undo follows the image.
    WorldMUndoSnapshot();
    WorldMNew();
    ASSERT_EQ(0, LoadBytes(WleImage().Append(FlatTerrain(50)).Done(), "other.wle"));
    ASSERT_EQ(1, TerrainGroundHeight(1000, 1000, &h));
    EXPECT_EQ(3200, h);
    WorldMNew();   // its snapshot holds the world at 3200
    MatMClearTexturesDirty();
    WorldMUndo();
    ASSERT_EQ(1, TerrainGroundHeight(1000, 1000, &h));
    EXPECT_EQ(3200, h);
    EXPECT_EQ(1, MatMTexturesDirty()) << "another terrain: its textures are loaded again";
    // The restored terrain's materials take its textures again, whatever another made of them.
    Bytes named = FlatTerrain(50);
    PutU32(named.data(), TP_NAME_COUNT, 1);
    memcpy(named.data() + TP_NAMES, "other.spr", 9);
    ASSERT_TRUE(WriteBytes("other.spr", Bytes(16, 1)));
    Bytes other = WleImage().Append(named).Done();
    TerrainMakeMaterials(other.data(), (uint32_t)other.size());
    ASSERT_STREQ("other.spr", ResName(IntMatSprite(TerrainMaterial(0))));
    WorldMNew();
    WorldMUndo();
    EXPECT_EQ(0, IntMatSprite(TerrainMaterial(0))) << "the world at 3200 names no texture";
    // The exponent spaces the samples: a change of it lays the terrain out again at once, and
    // so does undoing it.
    WorldMSetCellExponent(7);
    ASSERT_EQ(1, TerrainGroundHeight(1500000, 1500000, &h)) << "one cell of 2097152 now";
    EXPECT_EQ(3200, h);
    TerrainInfo info;
    ASSERT_EQ(1, TerrainGetInfo(&info));
    EXPECT_EQ(7u, info.cellExponent);
    WorldMSetCellExponent(5);
    EXPECT_EQ(0, TerrainGroundHeight(600000, 600000, &h)) << "one cell of 524288, at once";
    ASSERT_EQ(1, TerrainGroundHeight(500000, 500000, &h));
    WorldMUndo();
    ASSERT_EQ(1, TerrainGroundHeight(1500000, 1500000, &h)) << "undone: 2097152 again";
    WorldMUndo();
    EXPECT_EQ(0, TerrainGroundHeight(1500000, 1500000, &h)) << "one cell of 1048576 again";
}

TEST_F(WorldTest, ASaveMayWriteOverNothingButAWorld)
{
    ASSERT_GT(WorldMAddShape("ROCK.SHP", 1, 2, 3, 0), 0);
    ASSERT_EQ(0, WorldMSave("town.wle", nullptr, nullptr, nullptr));
    Bytes world = ReadBytes("town.wle");
    std::filesystem::create_directory("folder.wle");
    Bytes old = WleImage(14).Raw(0x1002, 68).Done();
    Bytes damaged = world;
    PutU16(damaged.data(), WLE_HEADER_SIZE, 0x2000);
    Bytes future = world;
    PutU32(future.data(), WLE_VERSION, 20);
    Bytes shortUsed = world;
    PutU32(shortUsed.data(), WLE_USED, 100);
    Bytes longUsed = world;
    PutU32(longUsed.data(), WLE_USED, (uint32_t)world.size() + 1);
    Bytes versionZero = world;
    PutU32(versionZero.data(), WLE_VERSION, 0);
    // Versions before 15 are known only by their header; from 15 the packets must walk.
    Bytes damaged15 = damaged, oldShortUsed = old, oldLongUsed = old;
    PutU32(damaged15.data(), WLE_VERSION, 15);
    PutU32(oldShortUsed.data(), WLE_USED, WLE_HEADER_SIZE - 1);
    PutU32(oldLongUsed.data(), WLE_USED, (uint32_t)old.size() + 1);
    const std::pair<Bytes, int> files[] = {
        {world, 1},       {old, 1},          {Bytes(), 1},        {Bytes(WLE_HEADER_SIZE - 1, 0), 0},
        {Bytes(5, 1), 0}, {damaged, 0},      {damaged15, 0},      {future, 0},
        {shortUsed, 0},   {longUsed, 0},     {versionZero, 0},    {oldShortUsed, 0},
        {oldLongUsed, 0}, {Bytes(600000, 0), 0},
    };
    int i = 0;
    for (const auto& [bytes, may] : files) {
        std::string name = "f" + std::to_string(i++) + ".wle";
        ASSERT_TRUE(WriteBytes(name, bytes));
        EXPECT_EQ(may, WorldMMaySaveOver(name.c_str())) << name;
    }
    ASSERT_TRUE(WriteText("notes.wle", "Shopping: bread, milk.\n"));
    EXPECT_EQ(0, WorldMMaySaveOver("notes.wle"));
    EXPECT_EQ(0, WorldMMaySaveOver("NOTES.WLE")) << "found whatever its case";
    EXPECT_EQ(1, WorldMMaySaveOver("missing.wle"));
    EXPECT_EQ(1, WorldMMaySaveOver("folder.wle")) << "the write itself refuses a folder";
    EXPECT_EQ(1, WorldMMaySaveOver(""));
}

// ---- Node links

TEST_F(WorldTest, NodeLinksToMissingNodesAreCutAndOneSidedLinksMadeTwoWay)
{
    WleImage w;
    w.Node({.id = 1, .prev = 2, .next = 99});   // 99 is missing
    w.Node({.id = 2});                          // does not name 1 back
    w.Node({.id = 3, .next = 4});
    w.Node({.id = 4, .prev = 5});                // names 5, not 3
    w.Node({.id = 5, .next = 4});
    w.Node({.id = 6, .prev = 6});                // itself
    w.Node({.id = 1, .prev = 5});                // a repeated ID
    ASSERT_EQ(0, LoadBytes(w.Done()));
    auto n = Nodes();
    ASSERT_EQ(7u, n.size());
    auto links = [&](int k) { return std::make_tuple(GetU16(n[k], WN_ID), GetU16(n[k], WN_PREV), GetU16(n[k], WN_NEXT)); };
    EXPECT_EQ(std::make_tuple(1, 2, 0), links(0));
    EXPECT_EQ(std::make_tuple(2, 0, 1), links(1)) << "made two-way";
    EXPECT_EQ(std::make_tuple(3, 0, 0), links(2)) << "4 is linked to 5";
    EXPECT_EQ(std::make_tuple(4, 5, 0), links(3));
    EXPECT_EQ(std::make_tuple(5, 0, 4), links(4));
    EXPECT_EQ(std::make_tuple(6, 0, 0), links(5));
    EXPECT_EQ(std::make_tuple(7, 0, 0), links(6)) << "a repeated ID is renumbered and unlinked";

    // The next load knows none of these nodes: its link to 5 is cut, its 0 takes ID 1.
    WleImage again;
    again.Node({.id = 2, .prev = 5});
    again.Node({.id = 0});
    ASSERT_EQ(0, LoadBytes(again.Done()));
    n = Nodes();
    ASSERT_EQ(2u, n.size());
    EXPECT_EQ(std::make_tuple(2, 0, 0), links(0));
    EXPECT_EQ(std::make_tuple(1, 0, 0), links(1));
}

// ---- Damaged files

class WorldDamageTest : public WorldTest {
protected:
    Bytes before, undo;
    uint16_t nextId = 0;
    void Remember()
    {
        before = Used();
        undo.assign(WorldMUndoImage(), WorldMUndoImage() + WorldMCapacity());
        nextId = WorldMNextShapeID();
    }
    void ExpectRefused(const Bytes& file, const char* what)
    {
        SCOPED_TRACE(what);
        EXPECT_EQ(-6, LoadBytes(file, "bad.wle"));
        EXPECT_EQ(before, Used());
        EXPECT_EQ(undo, Bytes(WorldMUndoImage(), WorldMUndoImage() + WorldMCapacity()));
        EXPECT_EQ(nextId, WorldMNextShapeID());
    }
    void SetUp() override
    {
        WorldTest::SetUp();
        ASSERT_EQ(1, WorldMAddShape("rock.shp", 5, 6, 7, Name4("KEEP")));
        WorldMSelectAllShapes();
        Remember();
    }
};

TEST_F(WorldDamageTest, EveryTruncationIsRefused)
{
    Bytes file = MixedWorld(18);
    for (size_t n = 0; n < file.size(); n++) ExpectRefused(Bytes(file.begin(), file.begin() + n), "truncated");
    EXPECT_EQ(-6, WorldMLoad("no such file.wle"));
    EXPECT_EQ(before, Used());
}

TEST_F(WorldDamageTest, UnknownTypesAndSizesPastTheEndAreRefused)
{
    Bytes file = MixedWorld(19);
    Bytes bad = file;
    PutU16(bad.data(), 168 + 88, 0x1010);
    ExpectRefused(bad, "unknown type");
    bad = file;
    PutU16(bad.data(), 168, 0x0000);
    ExpectRefused(bad, "type 0");
    bad = file;
    PutU32(bad.data(), WLE_USED, (uint32_t)file.size() + 1);
    ExpectRefused(bad, "used size past the end of the file");
    bad = file;
    PutU32(bad.data(), WLE_USED, 100);
    ExpectRefused(bad, "used size inside the header");
    bad = file;
    PutU32(bad.data(), WLE_USED, (uint32_t)file.size() - 1);
    ExpectRefused(bad, "a packet passes the used size");
    Bytes t = WleImage().Terrain(200).Done();
    PutU32(t.data(), 168 + WP_TERRAIN_LENGTH, 201);
    ExpectRefused(t, "terrain length past the end");
    t = WleImage().Terrain(200).Done();
    PutU32(t.data(), 168 + WP_TERRAIN_LENGTH, 0);
    ExpectRefused(t, "terrain length 0");
    EXPECT_EQ(0, LoadBytes(WleImage().Terrain(200).Done())) << "a whole terrain packet is carried";
}

TEST_F(WorldDamageTest, FilesLargerThanTheCapacityOrWideningPastTwoThirdsAreRefused)
{
    Bytes big = WleImage().Done();
    big.resize(WorldMCapacity() + 1, 0);
    ExpectRefused(big, "larger than the capacity");
    EXPECT_NE(nullptr, strstr(WorldMLoadError(), "524289 bytes, larger than a world file can be (at most 524288 bytes)"))
        << WorldMLoadError();
    // Nothing that is no regular file is read, and a FIFO is not waited on.
    ASSERT_EQ(0, mkfifo(dir.file("pipe.wle").c_str(), 0644));
    EXPECT_EQ(-6, WorldMLoad("pipe.wle"));
    EXPECT_NE(nullptr, strstr(WorldMLoadError(), "not a regular file (a FIFO)")) << WorldMLoadError();
    EXPECT_EQ(before, Used());
    big.pop_back();
    EXPECT_EQ(0, LoadBytes(big)) << "a file of the capacity itself is read";
    ASSERT_GT(WorldMAddShape("rock.shp", 5, 6, 7, Name4("KEEP")), 0);
    WorldMSelectAllShapes();
    Remember();
    // Version 18: the short worldshapes fit as they are, but not once widened.
    WleImage w(18);
    uint32_t limit = WorldMLimit();
    int shorts = (int)((limit - 168) / 64);
    for (int k = 0; k < shorts; k++) w.Shape({.file = "ROCK"}, true);
    Bytes file = w.Done();
    ASSERT_LE(file.size(), limit);
    ExpectRefused(file, "widened past two thirds");
    // The same count that still fits once widened loads.
    int fit = (int)((limit - 168) / 88);
    WleImage ok(18);
    for (int k = 0; k < fit; k++) ok.Shape({.file = "ROCK"}, true);
    EXPECT_EQ(0, LoadBytes(ok.Done()));
    EXPECT_EQ(168u + 88u * fit, WorldMUsed());
    // As many nodes as fit, chained end to end, load with their links.
    WleImage nodes;
    int nodeCount = (int)((limit - 168) / 56);
    for (int k = 1; k <= nodeCount; k++)
        nodes.Node({.id = (uint16_t)k, .prev = (uint16_t)(k - 1), .next = (uint16_t)(k < nodeCount ? k + 1 : 0)});
    ASSERT_EQ(0, LoadBytes(nodes.Done()));
    EXPECT_EQ(nodeCount, WorldMCountNodePackets());
    EXPECT_EQ(nodeCount - 1, GetU16(Nodes().back(), WN_PREV)) << "links kept";
}

TEST_F(WorldDamageTest, RandomCorruptionsNeverEndTheProgramAndRefusalsChangeNothing)
{
    Bytes file = MixedWorld(18);
    std::mt19937 rng(1234);
    int refused = 0, loaded = 0;
    for (int round = 0; round < 400; round++) {
        Bytes bad = file;
        int flips = 1 + (int)(rng() % 4);
        for (int k = 0; k < flips; k++) bad[rng() % bad.size()] = (uint8_t)rng();
        if (rng() % 3 == 0) bad.resize(rng() % bad.size());
        int r = LoadBytes(bad, "bad.wle");
        ASSERT_TRUE(r == 0 || r == -6) << r;
        if (r == -6) {
            refused++;
            EXPECT_EQ(before, Used());
            EXPECT_EQ(nextId, WorldMNextShapeID());
        } else {
            loaded++;
            // A loaded world walks cleanly to its used size.
            EXPECT_EQ(0, WorldMCheckImage(Img(), WorldMUsed(), nullptr, 0));
            WorldMNew();
            ASSERT_EQ(1, WorldMAddShape("rock.shp", 5, 6, 7, Name4("KEEP")));
            WorldMSelectAllShapes();
            Remember();
        }
    }
    EXPECT_GT(refused, 100);
    EXPECT_GT(loaded, 10);
}

// ---- The summary report

TEST_F(WorldTest, TheSummaryReportHasItsExactBytes)
{
    ASSERT_GT(WorldMAddShape("rock.shp", 1, -2, 0x12345678, Name4("AB12")), 0);
    ASSERT_GT(WorldMAddShape("tree.shp", 0, 0, 0, 0), 0);
    ASSERT_GT(WorldMAddShape("rock.shp", 0, 0, 0, 0), 0);
    memset(Shapes()[2] + WS_FILE, 0, 8);
    ASSERT_EQ(0, WorldMWriteSummary("report.txt"));
    EXPECT_EQ("Summary of World File\r\n\r\n"
              "WorldShapes\r\n\r\n"
              "Name:- 'AB12'    Pos:- 00000001h FFFFFFFEh 12345678h ROCK.SHP \r\n"
              "Name:- (No Name) Pos:- 00000000h 00000000h 00000000h TREE.SHP \r\n"
              "Name:- (No Name) Pos:- 00000000h 00000000h 00000000h (No Filename) \r\n",
              ReadText(dir.file("report.txt")));
    WorldMNew();
    ASSERT_EQ(0, WorldMWriteSummary("empty.txt"));
    EXPECT_EQ("Summary of World File\r\n\r\nWorldShapes\r\n\r\n", ReadText(dir.file("empty.txt")));
    EXPECT_EQ(1, WorldMWriteSummary((dir.path() + "/no/such/folder/r.txt").c_str()));
}

// ---- Saving

static std::vector<uint32_t> progressCalls;
static int RecordProgress(uint32_t v)
{
    progressCalls.push_back(v);
    return 0;
}

TEST_F(WorldTest, SaveWritesTheUsedBytesAndTheSummaryToTempTxt)
{
    ASSERT_EQ(0, LoadBytes(MixedWorld(16)));
    progressCalls.clear();
    ASSERT_EQ(0, WorldMSave("out.wle", nullptr, nullptr, RecordProgress));
    EXPECT_EQ(Used(), ReadBytes(dir.file("out.wle")));
    EXPECT_TRUE(PathExists(dir.file("temp.txt")));
    EXPECT_EQ((std::vector<uint32_t>{0x4000}), progressCalls) << "the closing call";
    // Saved and loaded again: the same world, renumbered.
    Bytes saved = Used();
    ASSERT_EQ(0, WorldMLoad("out.wle"));
    EXPECT_EQ(saved.size(), WorldMUsed());
}

// What the old file and the folder look like after a failed save is the safe writers' own
// test; here the save's answer and its progress.
TEST_F(WorldTest, AFailedSaveReportsTheSaveErrorAndClosesTheProgress)
{
    WriteText(dir.file("old.wle"), "the user's earlier world");
    progressCalls.clear();
    setenv("TOLBEX_FILE_FAULT", "full", 1);
    int r = WorldMSave("old.wle", nullptr, nullptr, RecordProgress);
    unsetenv("TOLBEX_FILE_FAULT");
    EXPECT_EQ(-7, r);
    EXPECT_EQ((std::vector<uint32_t>{0x4000}), progressCalls);
    EXPECT_EQ("the user's earlier world", ReadText(dir.file("old.wle")));
}

static std::string worldSeen, runtimeSeen, reportSeen;
static int FakeRuntimeSave(const char* wleName, const char* runtimeName, ProgressFn progress)
{
    worldSeen = wleName;
    runtimeSeen = runtimeName;
    reportSeen = WorldMRuntimeReportName() ? WorldMRuntimeReportName() : "(none)";
    if (progress) progress(0x4000);
    return -16;
}

TEST_F(WorldTest, ARuntimeSaveGoesThroughTheHookAndNeverOverwritesTheWorldFile)
{
    EXPECT_STREQ("TOWN.WLD", WorldMRuntimeNameFor("TOWN.WLE"));
    EXPECT_EQ(-7, WorldMSave("town.wle", "town.wld", nullptr, nullptr)) << "no runtime save installed";
    // The world goes to the disk with its runtime files or not at all, and so does the report.
    EXPECT_FALSE(PathExists(dir.file("town.wle")));
    WorldMSetRuntimeSave(FakeRuntimeSave);
    progressCalls.clear();
    EXPECT_EQ(-16, WorldMSave("town.wle", "town.wld", "rep.txt", RecordProgress));
    EXPECT_FALSE(PathExists(dir.file("town.wle")));
    EXPECT_FALSE(PathExists(dir.file("temp.txt"))) << "a refused save writes no summary report";
    EXPECT_EQ("town.wle", worldSeen);
    EXPECT_EQ("town.wld", runtimeSeen);
    EXPECT_EQ("rep.txt", reportSeen);
    EXPECT_EQ((std::vector<uint32_t>{0x4000}), progressCalls);
    EXPECT_EQ(nullptr, WorldMRuntimeReportName());
    // A WLE whose name ends in D: its runtime name would be the file itself.
    WriteText(dir.file("odd.wld"), "keep");
    runtimeSeen.clear();
    EXPECT_EQ(-7, WorldMSave("odd.wld", WorldMRuntimeNameFor("odd.wld"), nullptr, RecordProgress));
    EXPECT_EQ(-7, WorldMSave("odd.wld", "odd.wld", nullptr, nullptr));
    EXPECT_EQ("", runtimeSeen);
    EXPECT_EQ("keep", ReadText(dir.file("odd.wld")));
    EXPECT_EQ(0, WorldMSave("odd.wld", nullptr, nullptr, nullptr)) << "a plain save of such a name is fine";
}

