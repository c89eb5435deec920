// The runtime world display: runtime worlds written by the runtime save, installed and read
// back; every kind of damage refused with nothing installed; the fatal cases.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "world/rtdisp.h"
#include "world/runtime.h"
#include "world/worldm_fixture.h"

namespace {

class WorldDisp : public WorldTest {
protected:
    int rock = 0, carA = 0, carB = 0;

    void SetUp() override
    {
        WorldTest::SetUp();
        WorldMRuntimeInstall();
        WriteBytes("CAR.SHP", BuildShape(CubeShape(500)));
    }
    void TearDown() override
    {
        RtDispRemove();
        WorldTest::TearDown();
    }

    // Two cells along X: a static rock and a dynamic car in cell 0, the same car shape again
    // in cell 1; a chain of three nodes; a terrain. Saved as T.WLD and T.wxp.
    void SaveTwoCells()
    {
        WorldMSetCellsX(2);
        WorldMSetCellsY(1);
        WorldMSetCellsZ(1);
        rock = WorldMAddShape("ROCK.SHP", 5000, 5000, 5000, 0);
        carA = WorldMAddShape("CAR.SHP", 20000, 5000, 5000, Name4("CARA"));
        carB = WorldMAddShape("CAR.SHP", EDGE + 9000, 5000, 5000, Name4("CARB"));
        ASSERT_GT(rock, 0);
        ASSERT_GT(carB, 0);
        AppendNode(1, 1000, 0, 1000, 0, 2);
        AppendNode(2, 4000, 0, 5000, 1, 3);
        AppendNode(3, 4000, 0, 5000 + 700, 2, 0);
        Bytes terrain = FlatTerrain(10);
        int32_t at = WorldMAppendPacket(WP_TERRAIN, (uint32_t)terrain.size());
        ASSERT_GT(at, 0);
        memcpy(WorldMImage() + at, terrain.data(), terrain.size());
        ASSERT_EQ(0, WorldMSaveRuntime("T.WLD", nullptr, nullptr)) << WorldMRuntimeMessage();
    }
    static ResId Resource(const Bytes& b)
    {
        ResId id = ResCreate(b.size());
        if (id && !b.empty()) memcpy(ResPeek(id), b.data(), b.size());
        return id;
    }
    static int Install(const char* file) { return WorldSetID(Resource(ReadBytes(file))); }
    static uint8_t* Packet(Bytes& rt, uint16_t type, int nth = 0)
    {
        for (uint8_t* p = WorldMFirstPacket(rt.data()); p; p = WorldMNextPacket(rt.data(), p))
            if (GetU16(p, WP_TYPE) == type && nth-- == 0) return p;
        return nullptr;
    }
};

TEST_F(WorldDisp, InstallsCellsCopiesNodesShapesAndTerrainAndASecondWorldReplacesTheFirst)
{
    SaveTwoCells();
    int before = ResUsedCount();
    ASSERT_EQ(0, Install("T.WLD")) << RtDispError();
    EXPECT_EQ(1, RtDispInstalled());
    EXPECT_EQ(1, TerrainDisplayInstalled()) << "the world manager must not install beside it";
    RtDispInfo in;
    ASSERT_EQ(1, RtDispGetInfo(&in));
    EXPECT_EQ((std::vector<uint32_t>{6, 2, 1, 1, 28821u << 6, 2, 12, 3, 3, 3}),
              (std::vector<uint32_t>{in.cellExponent, in.cellsX, in.cellsY, in.cellsZ, in.distance, in.cellCount,
                                     in.cornerCount, in.nodeCount, in.copyCount, in.drawRoom}));

    // Cells in file order (highest index first); the cell list finds them by index.
    EXPECT_EQ((std::vector<int>{0, 1, -1}),
              (std::vector<int>{WorldFindCell(1, 0, 0), WorldFindCell(0, 0, 0), WorldFindCell(0, 1, 0)}));
    const RtDispCell* c1 = WorldGetCellArrayNoCheck(0);
    const RtDispCell* c0 = WorldGetCellArrayNoCheck(1);
    EXPECT_EQ(EDGE, c1->min[0]);
    EXPECT_EQ((std::vector<uint32_t>{1, 1, 1}),
              (std::vector<uint32_t>{c1->dynamicCount, c0->dynamicCount, c0->staticCount}));
    ASSERT_EQ(2u, c0->copyCount);
    uint16_t corner[3];
    ASSERT_EQ(1, WorldGetCorner(c1->corners[6], corner));
    EXPECT_EQ((std::vector<uint16_t>{2, 1, 1}), (std::vector<uint16_t>{corner[0], corner[1], corner[2]}));
    ASSERT_EQ(1, WorldGetCorner(c0->corners[0], corner));
    EXPECT_EQ((std::vector<uint16_t>{0, 0, 0}), (std::vector<uint16_t>{corner[0], corner[1], corner[2]}));
    EXPECT_EQ(0, WorldGetCorner(12, corner));

    // Copies: the two cars share one shape; the rock has its own.
    const RtDispCopy* b = WorldGetCopy(c1->firstCopy);
    const RtDispCopy* r = WorldGetCopy(c0->firstCopy);
    const RtDispCopy* a = WorldGetCopy(c0->firstCopy + 1);
    ASSERT_TRUE(a && b && r);
    EXPECT_EQ((std::vector<int>{carB, rock, carA}), (std::vector<int>{b->id, r->id, a->id}));
    EXPECT_EQ(Name4("CARA"), a->name);
    EXPECT_EQ(EDGE + 9000, b->pos[0]);
    EXPECT_EQ(a->shape, b->shape);
    EXPECT_NE(a->shape, r->shape);
    ASSERT_EQ(2, WorldShapeCount());
    // Prepared for drawing, as a shape loaded by name is.
    ASSERT_TRUE(ShapeMIsPrepared(WorldGetShape(a->shape)));
    EXPECT_EQ(8, ShapeMVertexCount(WorldGetShape(a->shape)));
    EXPECT_EQ(4, ShapeMVertexCount(WorldGetShape(r->shape)));
    EXPECT_EQ(nullptr, WorldGetCopy(3));

    const RtDispNode* n2 = WorldGetNode(2);
    ASSERT_TRUE(n2);
    EXPECT_EQ((std::vector<int>{1, 3, 5000, 700}), (std::vector<int>{n2->prev, n2->next, n2->distPrev, n2->distNext}));
    EXPECT_EQ(16384, n2->dirNext[2]);
    // The largest ID is found, and IDs past it are none.
    ASSERT_TRUE(WorldGetNode(3));
    EXPECT_EQ(2, WorldGetNode(3)->prev);
    for (int id : {4, 65535, 0}) EXPECT_EQ(nullptr, WorldGetNode((uint16_t)id)) << id;

    TerrainInfo t;
    ASSERT_EQ(1, TerrainGetInfo(&t));
    EXPECT_EQ(3u, t.across);
    EXPECT_EQ(TERRAIN_WATER_MATERIALS, TerrainMaterialCount());

    // A second world: one cell with the rock, no nodes, no terrain.
    WorldMNew();
    ASSERT_GT(WorldMAddShape("ROCK.SHP", 5000, 5000, 5000, 0), 0);
    ASSERT_EQ(0, WorldMSaveRuntime("U.WLD", nullptr, nullptr)) << WorldMRuntimeMessage();
    ASSERT_EQ(0, Install("U.WLD")) << RtDispError();
    ASSERT_EQ(1, RtDispGetInfo(&in));
    EXPECT_EQ((std::vector<int>{1, 0, -1, 1, 0}),
              (std::vector<int>{(int)in.cellCount, (int)in.nodeCount, WorldFindCell(1, 0, 0), WorldShapeCount(),
                                TerrainGetInfo(nullptr)}));
    EXPECT_EQ(nullptr, WorldGetNode(2));

    RtDispRemove();
    EXPECT_EQ(0, RtDispInstalled() + RtDispGetInfo(nullptr) + WorldShapeCount());
    EXPECT_EQ(before + 2, ResUsedCount()) << "every resource freed; only the archives' names stay known";
}

TEST_F(WorldDisp, DamagedRuntimeWorldsAndArchivesInstallNothing)
{
    SaveTwoCells();
    const Bytes rt0 = ReadBytes("T.WLD"), wxp0 = ReadBytes("T.wxp");
    auto used = [](Bytes& rt) { PutU32(rt.data(), WLE_USED, (uint32_t)rt.size()); };
    struct Case {
        const char* why;
        std::function<void(Bytes&, Bytes&)> damage;
    };
    const Case cases[] = {
        {"damaged", [](Bytes& rt, Bytes&) { rt.resize(rt.size() - 5); }},
        {"damaged", [&](Bytes& rt, Bytes&) { rt.resize(rt.size() - 5), used(rt); }},
        {"header counts", [&](Bytes& rt, Bytes&) { rt.resize(rt.size() - WP_CORNER_SIZE), used(rt); }},
        {"of 100 bytes", [](Bytes& rt, Bytes&) { rt.resize(100); }},
        {"exponent", [](Bytes& rt, Bytes&) { PutU32(rt.data(), WLE_CELL_EXPONENT, 40); }},
        {"outside the 2 cells", [&](Bytes& rt, Bytes&) { PutI32(Packet(rt, WP_CELL), WC_INDEX_X, 2); }},
        {"outside the 1 cells", [&](Bytes& rt, Bytes&) { PutI32(Packet(rt, WP_CELL), WC_INDEX_Z, -1); }},
        {"stored twice", [&](Bytes& rt, Bytes&) { PutI32(Packet(rt, WP_CELL, 1), WC_INDEX_X, 1); }},
        {"past the 12 corners", [&](Bytes& rt, Bytes&) { PutU32(Packet(rt, WP_CELL), WC_CORNERS + 28, 12); }},
        {"numbered", [&](Bytes& rt, Bytes&) { PutU16(Packet(rt, WP_CORNER, 3), WCO_INDEX, 2); }},
        {"counts 1 + 5", [&](Bytes& rt, Bytes&) { PutU32(Packet(rt, WP_CELL), WC_STATIC_COUNT, 5); }},
        {"given twice", [&](Bytes& rt, Bytes&) { PutU16(Packet(rt, WP_NODE, 2), WN_ID, 1); }},
        {"without an ID", [&](Bytes& rt, Bytes&) { PutU16(Packet(rt, WP_NODE, 1), WN_ID, 0); }},
        {"without its WXP", [&](Bytes& rt, Bytes&) { PutU16(Packet(rt, WP_SHAPE), WS_FLAGS, 0); }},
        {"no WXP entry", [&](Bytes& rt, Bytes& wxp) { PutU32(Packet(rt, WP_SHAPE), WS_FILE, (uint32_t)wxp.size()); }},
        {"no WXP entry", [&](Bytes& rt, Bytes&) { PutU32(Packet(rt, WP_SHAPE), WS_FILE, WXP_ENTRY_HEAD); }},
        {"no WXP entry", [&](Bytes& rt, Bytes&) { PutU32(Packet(rt, WP_SHAPE), WS_FILE, 0xFFFFFFF0u); }},
        {"no WXP archive", [](Bytes& rt, Bytes&) { rt[WLE_WXP_NAME] = 0; }},
        {"character 0x2F", [](Bytes& rt, Bytes&) { memcpy(rt.data() + WLE_WXP_NAME, "../T.wxp", 9); }},
        {"has no end", [](Bytes& rt, Bytes&) { memset(rt.data() + WLE_WXP_NAME, 'A', WLE_WXP_NAME_MAX); }},
        {"64 characters long, longer than 63", [](Bytes& rt, Bytes&) {
             memset(rt.data() + WLE_WXP_NAME, 'A', RES_NAME_MAX);
             rt[(size_t)WLE_WXP_NAME + RES_NAME_MAX] = 0;
         }},
        {"runs past", [](Bytes&, Bytes& wxp) { wxp.resize(wxp.size() - 3); }},
        {"runs past", [](Bytes&, Bytes& wxp) { PutU32(wxp.data(), WXP_ENTRY_SIZE, 0xFFFFFFF0u); }},
        {"ends inside", [](Bytes&, Bytes& wxp) { wxp.resize(wxp.size() + 7); }},
        {"not a shape", [](Bytes&, Bytes& wxp) { PutU16(wxp.data(), WXP_ENTRY_HEAD, 99); }},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(0, Install("T.WLD"));
        Bytes rt = rt0, wxp = wxp0;
        c.damage(rt, wxp);
        WriteBytes("T.wxp", wxp);
        EXPECT_EQ(1, WorldSetID(Resource(rt))) << c.why;
        EXPECT_NE(std::string::npos, std::string(RtDispError()).find(c.why)) << RtDispError();
        EXPECT_EQ(0, RtDispInstalled() + WorldShapeCount() + TerrainGetInfo(nullptr)) << c.why;
        WriteBytes("T.wxp", wxp0);
    }

    // Every cut of the file, its used size following, and stray bytes anywhere: refused or
    // installed, never a read outside the blocks (the sanitizer build watches).
    for (size_t n = 1; n < rt0.size(); n++) {
        Bytes rt(rt0.begin(), rt0.begin() + (long)n);
        if (n >= 4) used(rt);
        EXPECT_EQ(1, WorldSetID(Resource(rt))) << n;
    }
    uint32_t x = 1;
    for (int i = 0; i < 300; i++) {
        Bytes rt = rt0, wxp = wxp0;
        for (int k = 0; k < 4; k++) {
            x = x * 1103515245u + 12345u;
            // The archive's name is left alone: a missing archive is fatal.
            Bytes& b = (x >> 8) & 1 ? rt : wxp;
            size_t at = (x >> 9) % b.size();
            if (&b == &rt && at >= WLE_WXP_NAME && at < WLE_HEADER_SIZE) continue;
            b[at] ^= (uint8_t)(1u << (x >> 28) % 8);
        }
        WriteBytes("T.wxp", wxp);
        int r = WorldSetID(Resource(rt));
        EXPECT_EQ(r == 0, RtDispInstalled() == 1) << i;
    }
}

void SetZero(void) { WorldSetID(0); }
void PastTheArray(void) { WorldGetCellArrayNoCheck(2); }
void FreeAnEmptyEntry(void)
{
    WorldAddShapes(1);
    WorldFreeShapes();
}

TEST_F(WorldDisp, FatalCases)
{
    SaveTwoCells();
    EXPECT_EXIT(SetZero(), testing::ExitedWithCode(1), "WorldSetID - null resource id!");
    EXPECT_EXIT(FreeAnEmptyEntry(), testing::ExitedWithCode(1), "WorldFreeShapes - shape ID was zero");
    ASSERT_EQ(0, Install("T.WLD"));
    EXPECT_NE(nullptr, WorldGetCellArrayNoCheck(1));
    EXPECT_EXIT(PastTheArray(), testing::ExitedWithCode(1), "WorldGetCellArrayNoCheck - index too large!");
}

TEST_F(WorldDisp, AMissingOrUnreadableArchiveRefusesTheWorldOnly)
{
    SaveTwoCells();
    const Bytes archive = ReadBytes("T.wxp");
    ASSERT_EQ(0, remove("T.wxp"));
    EXPECT_EQ(1, Install("T.WLD"));
    EXPECT_NE(std::string(RtDispError()).find("T.wxp is missing"), std::string::npos) << RtDispError();
    ASSERT_TRUE(std::filesystem::create_directory("T.wxp"));
    EXPECT_EQ(1, Install("T.WLD"));
    EXPECT_NE(std::string(RtDispError()).find("T.wxp"), std::string::npos) << RtDispError();
    ASSERT_TRUE(std::filesystem::remove("T.wxp"));
    // An archive larger than the runtime save can write is refused from its size.
    ASSERT_TRUE(WriteText("T.wxp", ""));
    std::filesystem::resize_file("T.wxp", WXP_CAPACITY + 1);
    EXPECT_EQ(1, Install("T.WLD"));
    EXPECT_NE(std::string(RtDispError()).find("T.wxp is larger than an archive can be (at most 3000000 bytes)"),
              std::string::npos)
        << RtDispError();
    // The archive back in place: the same world installs.
    ASSERT_TRUE(std::filesystem::remove("T.wxp"));
    ASSERT_TRUE(WriteBytes("T.wxp", archive));
    EXPECT_EQ(0, Install("T.WLD"));
}

}  // namespace
