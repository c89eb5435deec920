// The runtime save: runtime worlds of small hand-made worlds read back packet by packet, the
// WXP archive entry by entry, and every refusal leaving the edit world and the old files as
// they were.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "shapes/shape.h"
#include "world/runtime.h"
#include "world/worldm_fixture.h"

namespace {

struct Packet {
    uint16_t type;
    const uint8_t* at;
};

class RuntimeTest : public WorldTest {
protected:
    void SetUp() override
    {
        WorldTest::SetUp();
        WorldMRuntimeInstall();
        WriteBytes("CUBE.SHP", BuildShape(CubeShape(1000)));
        WriteBytes("BIG.SHP", BuildShape(CubeShape(3000)));
        WriteBytes("MOVER.SHP", BuildShape(CubeShape(500, 0x44)));
    }

    static uint8_t* Shape(int id) { return WorldMShapeFindData((uint16_t)id); }
    static int Add(const char* file, int32_t x, int32_t y, int32_t z, const char* name = "")
    {
        uint32_t n = 0;
        EXPECT_EQ(0, WorldMParseName(name, &n));
        int id = WorldMAddShape(file, x, y, z, n);
        EXPECT_GT(id, 0) << file;
        return id;
    }
    static void Grid(uint32_t x, uint32_t y, uint32_t z)
    {
        WorldMSetCellsX(x);
        WorldMSetCellsY(y);
        WorldMSetCellsZ(z);
    }

    static std::vector<Packet> Walk(const Bytes& image)
    {
        std::vector<Packet> out;
        EXPECT_EQ(0, WorldMCheckImage(image.data(), (uint32_t)image.size(), nullptr, 0));
        uint8_t* w = const_cast<uint8_t*>(image.data());
        for (uint8_t* p = WorldMFirstPacket(w); p; p = WorldMNextPacket(w, p)) out.push_back({GetU16(p, 0), p});
        return out;
    }
    static std::string Types(const std::vector<Packet>& packets)
    {
        std::string s;
        for (const Packet& p : packets)
            s += p.type == WP_CELL ? 'C' : p.type == WP_SHAPE ? 's' : p.type == WP_CORNER ? '+' : p.type == WP_NODE ? 'n'
                 : p.type == WP_TERRAIN ? 'T' : '?';
        return s;
    }
    static std::vector<int32_t> Ints(const uint8_t* at, int n)
    {
        std::vector<int32_t> v;
        for (int i = 0; i < n; i++) v.push_back(GetI32(at, 4 * (size_t)i));
        return v;
    }
};

// Progress callbacks: every value heard; one that stops at a given call.
std::vector<uint32_t> heard;
int stopAt = -1;
int Listen(uint32_t v)
{
    heard.push_back(v);
    return stopAt >= 0 && (int)heard.size() == stopAt;
}

// ---- Runtime worlds

TEST_F(RuntimeTest, EmptyWorldGivesTheHeaderAndAOneByteArchiveNamedFromTheLastComponent)
{
    ASSERT_EQ(0, mkdir("my.dir", 0755));
    heard.clear();
    stopAt = -1;
    ASSERT_EQ(0, WorldMSave("my.dir/TOWN.WLE", "my.dir/TOWN.WLD", nullptr, Listen)) << WorldMRuntimeMessage();
    Bytes rt = ReadBytes("my.dir/TOWN.WLD");
    ASSERT_EQ(168u, rt.size());
    EXPECT_EQ(168u, GetU32(rt.data(), WLE_USED));
    EXPECT_EQ(0u, GetU32(rt.data(), WLE_CORNER_COUNT));
    EXPECT_STREQ("TOWN.wxp", (const char*)rt.data() + WLE_WXP_NAME);
    EXPECT_EQ(Bytes{0}, ReadBytes("my.dir/TOWN.wxp"));
    EXPECT_FALSE(PathExists("my.wxp")) << "a dot in a folder's name is no extension";
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ((uint32_t)PROGRESS_DONE, heard.back());

    // With a report file: the summary of the runtime image, only after a success.
    Add("CUBE.SHP", 5000, 5000, 5000, "REPT");
    ASSERT_EQ(0, WorldMSave("R.WLE", "R.WLD", "report.txt", nullptr)) << WorldMRuntimeMessage();
    Bytes rt2 = ReadBytes("R.WLD");
    std::string summary(WorldMSummaryText(rt2.data(), nullptr, 0), '\0');
    WorldMSummaryText(rt2.data(), summary.data(), summary.size() + 1);
    EXPECT_EQ(summary, ReadText("report.txt"));
    EXPECT_NE(std::string::npos, summary.find("'REPT'"));
    // The world file is written with the runtime files, its old file kept as its backup, and
    // the summary report follows.
    EXPECT_EQ(Used(), ReadBytes("R.WLE"));
    EXPECT_FALSE(PathExists("R.~LE")) << "there was no old world file to keep";
    Bytes first = Used();
    WorldMSetCellsX(3);
    ASSERT_EQ(0, remove("temp.txt"));
    ASSERT_EQ(0, WorldMSave("R.WLE", "R.WLD", nullptr, nullptr)) << WorldMRuntimeMessage();
    EXPECT_EQ(Used(), ReadBytes("R.WLE"));
    EXPECT_EQ(first, ReadBytes("R.~LE"));
    EXPECT_TRUE(PathExists("temp.txt"));
    WorldMSetCellsX(4);
    ASSERT_EQ(0, remove("CUBE.SHP"));
    ASSERT_EQ(0, remove("temp.txt"));
    EXPECT_EQ(WORLD_ERR_RUNTIME_SHAPE_MISSING, WorldMSave("R.WLE", "R.WLD", "report2.txt", nullptr));
    EXPECT_FALSE(PathExists("report2.txt"));
    EXPECT_EQ(first, ReadBytes("R.~LE")) << "a refused save touches neither the world nor its backup";
    EXPECT_NE(Used(), ReadBytes("R.WLE"));
    EXPECT_FALSE(PathExists("temp.txt"));

    char out[300];
    EXPECT_EQ(0, WorldMWxpFileName("C:\\W\\TOWN.WLD", out, sizeof out));
    EXPECT_STREQ("C:\\W\\TOWN.wxp", out);
    std::string tooLong(120, 'A');
    EXPECT_EQ(RT_ERR_NAME, WorldMWxpFileName(("w/" + tooLong + ".WLD").c_str(), out, sizeof out))
        << "the base name and .wxp must fit the 124-byte header field";
    EXPECT_EQ(0, WorldMWxpFileName(("w/" + tooLong.substr(0, 119) + ".WLD").c_str(), out, sizeof out));
    EXPECT_EQ(RT_ERR_NAME, WorldMWxpFileName("w/.WLD", out, sizeof out));
}

TEST_F(RuntimeTest, CellsComeHighestIndexFirstWithCornersNumberedByFirstUse)
{
    Grid(2, 1, 2);
    int a = Add("CUBE.SHP", EDGE / 2, EDGE / 2, EDGE / 2);                 // cell (0, 0, 0)
    int b = Add("CUBE.SHP", EDGE + EDGE / 2, EDGE / 2, EDGE / 2);          // cell (1, 0, 0)
    int c = Add("BIG.SHP", EDGE / 2, EDGE / 2, EDGE + EDGE / 2);           // cell (0, 0, 1)
    Shape(b)[WS_FLAGS] |= WSF_RUNTIME_2;
    Bytes before = Used();
    Bytes undo(WorldMUndoImage(), WorldMUndoImage() + WorldMCapacity());
    ASSERT_EQ(0, WorldMSaveRuntime("T.WLD", nullptr, nullptr)) << WorldMRuntimeMessage();
    EXPECT_EQ(before, Used()) << "the edit world comes back as it was";
    EXPECT_TRUE(undo == Bytes(WorldMUndoImage(), WorldMUndoImage() + WorldMCapacity())) << "the undo copy is the user's";

    Bytes rt = ReadBytes("T.WLD"), wxp = ReadBytes("T.wxp");
    std::vector<Packet> p = Walk(rt);
    ASSERT_EQ("CsCsCs" + std::string(16, '+'), Types(p));
    EXPECT_EQ(rt.size(), GetU32(rt.data(), WLE_USED));
    EXPECT_EQ(16u, GetU32(rt.data(), WLE_CORNER_COUNT));

    const int order[3][3] = {{1, 0, 0}, {0, 0, 1}, {0, 0, 0}};
    const int ids[3] = {b, c, a};
    for (int k = 0; k < 3; k++) {
        const uint8_t* cell = p[2 * k].at;
        EXPECT_EQ((std::vector<int32_t>{order[k][0], order[k][1], order[k][2]}), Ints(cell + WC_INDEX_X, 3));
        EXPECT_EQ((std::vector<int32_t>{order[k][0] * EDGE, 0, order[k][2] * EDGE}), Ints(cell + WC_MIN, 3));
        EXPECT_EQ((std::vector<int32_t>{order[k][0] * EDGE + EDGE - 1, EDGE - 1, order[k][2] * EDGE + EDGE - 1}),
                  Ints(cell + WC_MAX, 3));
        EXPECT_EQ(0u, GetU32(cell, WC_DYNAMIC_COUNT));
        EXPECT_EQ(1u, GetU32(cell, WC_STATIC_COUNT));
        EXPECT_EQ(Bytes(40, 0), Bytes(cell + WC_ZERO, cell + WC_ZERO + 40));

        const uint8_t* copy = p[2 * k + 1].at;
        EXPECT_EQ(ids[k], GetU16(copy, WS_ID));
        EXPECT_EQ(WSF_WHP_WRITTEN, GetU16(copy, WS_FLAGS)) << "0x1000 set, 0x0002 cleared";
        uint32_t entry = GetU32(copy, WS_FILE);
        ASSERT_LT(entry + WXP_ENTRY_HEAD, wxp.size());
        EXPECT_EQ(0, wxp[entry]) << "static entries have no name";
        uint32_t size = GetU32(wxp.data(), entry + WXP_ENTRY_SIZE);
        EXPECT_EQ(0u, size % 4);
        ASSERT_LE(entry + WXP_ENTRY_HEAD + size, wxp.size());
        const uint8_t* blob = wxp.data() + entry + WXP_ENTRY_HEAD;
        EXPECT_TRUE(ShapeCheck(blob, ShapeUsedSize(blob), nullptr, 0));
        EXPECT_LE(ShapeUsedSize(blob), size);
        int32_t h = ids[k] == c ? 3000 : 1000;
        int32_t x = GetI32(copy, WS_X), y = GetI32(copy, WS_Y), z = GetI32(copy, WS_Z);
        EXPECT_EQ((std::vector<int32_t>{x - h, y - h, z - h, x + h, y + h, z + h}), Ints(copy + WS_BOX, 6));
    }
    // Three static entries, one after the other in filing order.
    EXPECT_EQ(0u, GetU32(p[1].at, WS_FILE));

    // Corners of (1,0,0) are 0..7; (0,0,1) reuses (1,0,1) and (1,1,1); (0,0,0) reuses four.
    std::vector<std::vector<int32_t>> corners;
    for (int k = 0; k < 3; k++) corners.push_back(Ints(p[2 * k].at + WC_CORNERS, 8));
    EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7}), corners[0]);
    EXPECT_EQ((std::vector<int32_t>{8, 9, 10, 1, 11, 12, 13, 5}), corners[1]);
    EXPECT_EQ((std::vector<int32_t>{14, 8, 1, 0, 15, 11, 5, 4}), corners[2]);
    const uint16_t expect[16][3] = {{1, 0, 0}, {1, 0, 1}, {2, 0, 1}, {2, 0, 0}, {1, 1, 0}, {1, 1, 1},
                                    {2, 1, 1}, {2, 1, 0}, {0, 0, 1}, {0, 0, 2}, {1, 0, 2}, {0, 1, 1},
                                    {0, 1, 2}, {1, 1, 2}, {0, 0, 0}, {0, 1, 0}};
    for (int i = 0; i < 16; i++) {
        const uint8_t* q = p[6 + i].at;
        EXPECT_EQ((std::vector<int>{i, expect[i][0], expect[i][1], expect[i][2]}),
                  (std::vector<int>{GetU16(q, WCO_INDEX), GetU16(q, WCO_X), GetU16(q, WCO_Y), GetU16(q, WCO_Z)}));
    }
}

TEST_F(RuntimeTest, DynamicShapesShareOneEntryAndAreFiledInEveryCellTheyTouch)
{
    Grid(2, 1, 1);
    int s1 = Add("CUBE.SHP", 5000, 5000, 5000);
    int s2 = Add("CUBE.SHP", 9000, 5000, 5000);
    int d1 = Add("CUBE.SHP", 20000, 5000, 5000, "CARA");
    // Its box reaches exactly the far side of cell 0: it touches cell 1 too.
    int d2 = Add("CUBE.SHP", EDGE - 1000, 5000, 5000, "CARB");
    ASSERT_EQ(0, WorldMSaveRuntime("T.WLD", nullptr, nullptr)) << WorldMRuntimeMessage();
    Bytes rt = ReadBytes("T.WLD"), wxp = ReadBytes("T.wxp");
    std::vector<Packet> p = Walk(rt);
    ASSERT_EQ("CsCssss++++++++++++", Types(p));
    EXPECT_EQ(1, GetI32(p[0].at, WC_INDEX_X));
    EXPECT_EQ(1u, GetU32(p[0].at, WC_DYNAMIC_COUNT));
    EXPECT_EQ(0u, GetU32(p[0].at, WC_STATIC_COUNT));
    EXPECT_EQ(d2, GetU16(p[1].at, WS_ID));
    EXPECT_EQ(2u, GetU32(p[2].at, WC_DYNAMIC_COUNT));
    EXPECT_EQ(2u, GetU32(p[2].at, WC_STATIC_COUNT));
    EXPECT_EQ((std::vector<int>{s1, s2, d1, d2}),
              (std::vector<int>{GetU16(p[3].at, WS_ID), GetU16(p[4].at, WS_ID), GetU16(p[5].at, WS_ID),
                                GetU16(p[6].at, WS_ID)}))
        << "static shapes first, then dynamic ones, each in packet order";

    uint32_t shared = GetU32(p[1].at, WS_FILE);
    EXPECT_EQ(shared, GetU32(p[5].at, WS_FILE));
    EXPECT_EQ(shared, GetU32(p[6].at, WS_FILE));
    EXPECT_STREQ("CUBE.WHP", (const char*)wxp.data() + shared);
    EXPECT_EQ((std::vector<int32_t>{19000, 4000, 4000, 21000, 6000, 6000}), Ints(p[5].at + WS_BOX, 6))
        << "dynamic copies carry their computed box";
    EXPECT_NE(GetU32(p[3].at, WS_FILE), GetU32(p[4].at, WS_FILE)) << "static shapes never share";
    // Entries: dynamic (filed first, in cell 1), then the two static ones; nothing else.
    uint32_t at = 0;
    int entries = 0;
    while (at < wxp.size()) {
        at += WXP_ENTRY_HEAD + GetU32(wxp.data(), at + WXP_ENTRY_SIZE);
        entries++;
    }
    EXPECT_EQ(wxp.size(), at);
    EXPECT_EQ(3, entries);
}

TEST_F(RuntimeTest, NodesComeFirstWithDistancesThenTheTerrainAndCellsHoldOnlyShapes)
{
    AppendNode(1, 1000, 1000, 1000, 0, 2);
    AppendNode(2, 4000, 1000, 5000, 1, 3);
    AppendNode(3, 4000, 300, 5000, 2, 0);
    int32_t t = WorldMAppendPacket(WP_TERRAIN, 64);
    ASSERT_GT(t, 0);
    PutU32(WorldMImage() + t, WT_LENGTH, 64);
    for (int i = 8; i < 64; i++) WorldMImage()[t + i] = (uint8_t)i;
    Bytes terrain(WorldMImage() + t, WorldMImage() + t + 64);
    int s = Add("CUBE.SHP", 5000, 5000, 5000);

    ASSERT_EQ(0, WorldMSaveRuntime("T.WLD", nullptr, nullptr)) << WorldMRuntimeMessage();
    Bytes rt = ReadBytes("T.WLD");
    std::vector<Packet> p = Walk(rt);
    ASSERT_EQ("nnnTCs++++++++", Types(p)) << "the nodes' cells are not stored";
    EXPECT_EQ(terrain, Bytes(p[3].at, p[3].at + 64));
    EXPECT_EQ(s, GetU16(p[5].at, WS_ID));

    // Each node: distance and unit direction (2.14) to its previous node, then to its next.
    auto links = [](const uint8_t* n) {
        return std::vector<int32_t>{GetI32(n, WN_DIST_PREV), GetI16(n, WN_DIR_PREV), GetI16(n, WN_DIR_PREV + 2),
                                    GetI16(n, WN_DIR_PREV + 4), GetI32(n, WN_DIST_NEXT), GetI16(n, WN_DIR_NEXT),
                                    GetI16(n, WN_DIR_NEXT + 2), GetI16(n, WN_DIR_NEXT + 4)};
    };
    EXPECT_EQ((std::vector<int32_t>{0, 0, 0, 0, 5000, 9830, 0, 13107}), links(p[0].at)) << "(3000, 0, 4000) ahead";
    EXPECT_EQ((std::vector<int32_t>{5000, -9830, 0, -13107, 700, 0, -16384, 0}), links(p[1].at)) << "along Y alone";
    EXPECT_EQ((std::vector<int32_t>{700, 0, 16384, 0, 0, 0, 0, 0}), links(p[2].at));
}

TEST_F(RuntimeTest, AShapeFileWithTheDynamicMarkIsNamedInTheRuntimeWorldOnly)
{
    Add("CUBE.SHP", 5000, 5000, 5000, "AAAA");
    int m = Add("MOVER.SHP", 9000, 5000, 5000);
    ResId handle = GetU16(Shape(m), WS_HANDLE);
    ASSERT_TRUE(ShapeMIsPrepared(handle));
    int vertices = ShapeMVertexCount(handle);
    Bytes before = Used();
    ASSERT_EQ(0, WorldMSaveRuntime("T.WLD", nullptr, nullptr)) << WorldMRuntimeMessage();
    EXPECT_EQ(before, Used());

    Bytes rt = ReadBytes("T.WLD"), wxp = ReadBytes("T.wxp");
    std::vector<Packet> p = Walk(rt);
    ASSERT_EQ("Css++++++++", Types(p));
    EXPECT_EQ(2u, GetU32(p[0].at, WC_DYNAMIC_COUNT));
    EXPECT_EQ(0x41414142u, GetU32(p[2].at, WS_NAME)) << "AAAB: the first free name";
    EXPECT_STREQ("MOVER.WHP", (const char*)wxp.data() + GetU32(p[2].at, WS_FILE));
    // The prepared shape was given back, never overwritten: it loads prepared again.
    EXPECT_TRUE(ShapeMIsPrepared(handle));
    EXPECT_EQ(vertices, ShapeMVertexCount(handle));
}

TEST_F(RuntimeTest, StaticShapesAreTurnedIntoTheirEntries)
{
    int s = Add("CUBE.SHP", 5000, 5000, 5000);
    PutI16(Shape(s), WS_YAW, 0x2000);   // an eighth of a turn
    ASSERT_EQ(0, WorldMSaveRuntime("T.WLD", nullptr, nullptr)) << WorldMRuntimeMessage();
    Bytes rt = ReadBytes("T.WLD"), wxp = ReadBytes("T.wxp");
    std::vector<Packet> p = Walk(rt);
    ASSERT_EQ("Cs++++++++", Types(p));
    const uint8_t* blob = wxp.data() + GetU32(p[1].at, WS_FILE) + WXP_ENTRY_HEAD;
    int32_t pos[3];
    ShapeVertexPos(blob, 0, pos);   // (-1000, -1000, -1000) turned by 45 degrees about Y
    EXPECT_NEAR(-1414, pos[0], 3);
    EXPECT_EQ(-1000, pos[1]);
    EXPECT_NEAR(0, pos[2], 3);
    std::vector<int32_t> box = Ints(p[1].at + WS_BOX, 6);
    EXPECT_NEAR(5000 - 1414, box[0], 3);
    EXPECT_NEAR(5000 + 1414, box[3], 3);
    EXPECT_NEAR(5000 + 1414, box[5], 3);
    EXPECT_EQ(5000 + 1000, box[4]);
}

TEST_F(RuntimeTest, StaticShapesAcrossCellsAreCutIntoOnePiecePerCell)
{
    // A cube whose bottom face is mapped from U 0 at X -1000 to U 16384 at X +1000.
    TShape s = CubeShape(1000);
    s.polys[2].mapping = {0, 0, 16384, 0, 16384, 16384, 0, 16384};
    WriteBytes("SPLIT.SHP", BuildShape(s));
    Grid(2, 1, 1);
    int id = Add("SPLIT.SHP", EDGE - 500, 5000, 5000);
    Bytes before = Used();
    ASSERT_EQ(0, WorldMSaveRuntime("T.WLD", nullptr, nullptr)) << WorldMRuntimeMessage();
    EXPECT_EQ(before, Used());
    ResId handle = GetU16(Shape(id), WS_HANDLE);
    EXPECT_TRUE(ShapeMIsPrepared(handle)) << "the shape the view draws is whole and prepared";
    EXPECT_EQ(8, ShapeMVertexCount(handle));
    EXPECT_EQ(6, ShapeMRecordCount(handle));

    Bytes rt = ReadBytes("T.WLD"), wxp = ReadBytes("T.wxp");
    std::vector<Packet> p = Walk(rt);
    ASSERT_EQ("CsCs++++++++++++", Types(p));
    EXPECT_EQ(1, GetI32(p[0].at, WC_INDEX_X));
    EXPECT_EQ(0, GetI32(p[2].at, WC_INDEX_X));
    for (int k : {0, 2}) EXPECT_EQ(1u, GetU32(p[k].at, WC_STATIC_COUNT));
    EXPECT_EQ(id, GetU16(p[1].at, WS_ID));
    EXPECT_EQ(id, GetU16(p[3].at, WS_ID));
    EXPECT_EQ((std::vector<int32_t>{EDGE, 4000, 4000, EDGE + 500, 6000, 6000}), Ints(p[1].at + WS_BOX, 6));
    EXPECT_EQ((std::vector<int32_t>{EDGE - 1500, 4000, 4000, EDGE, 6000, 6000}), Ints(p[3].at + WS_BOX, 6));
    ASSERT_NE(GetU32(p[1].at, WS_FILE), GetU32(p[3].at, WS_FILE));

    // Each piece: the cap inside it and the four sides cut at the boundary, which keep their
    // mapping: U at the cut is 16384 x 1500 / 2000.
    for (int k : {1, 3}) {
        uint8_t* blob = wxp.data() + GetU32(p[k].at, WS_FILE) + WXP_ENTRY_HEAD;
        ASSERT_TRUE(ShapeCheck(blob, ShapeUsedSize(blob), nullptr, 0));
        EXPECT_EQ(8, ShapeVertexCount(blob));
        // Its corners in the worldshape's own coordinates: the cut at X 500 (the cell edge),
        // the cube's own faces elsewhere.
        std::vector<std::vector<int32_t>> corners, expectCorners;
        for (int i = 0; i < ShapeVertexCount(blob); i++) {
            int32_t v[3];
            ShapeVertexPos(blob, i, v);
            corners.push_back({v[0], v[1], v[2]});
        }
        for (int32_t x : k == 1 ? std::vector<int32_t>{500, 1000} : std::vector<int32_t>{-1000, 500})
            for (int32_t y : {-1000, 1000})
                for (int32_t z : {-1000, 1000}) expectCorners.push_back({x, y, z});
        std::sort(corners.begin(), corners.end());
        EXPECT_EQ(expectCorners, corners) << "piece " << k;
        ASSERT_EQ(5, ShapePolygonCount(blob));
        std::vector<int16_t> us;
        uint8_t* poly = ShapeFirstPolygon(blob);
        int mapped = 0;
        for (int i = 0; i < 5; i++, poly = ShapeNextPolygon(poly)) {
            // The per-point normals of the finished shape stay with every cut polygon.
            EXPECT_NE(nullptr, ShapePolyNormals(poly)) << "piece " << k << ", polygon " << i;
            if (uint8_t* m = ShapePolyMapping(poly)) {
                mapped++;
                for (int j = 0; j < ShapePolyPoints(poly); j++) us.push_back(GetI16(m, 4 * j));
            }
        }
        EXPECT_EQ(1, mapped) << "only the bottom face had a mapping";
        std::sort(us.begin(), us.end());
        us.erase(std::unique(us.begin(), us.end()), us.end());
        std::vector<int16_t> expect = k == 1 ? std::vector<int16_t>{12288, 16384} : std::vector<int16_t>{0, 12288};
        EXPECT_EQ(expect, us);
    }
}

TEST_F(RuntimeTest, EntriesAreCleanedUpUnlessTheWorldshapeAsksNot)
{
    // A cube with a stray vertex that no polygon uses, and a named one that stays.
    TShape s;
    s.verts = {{-100, -100, 0}, {100, -100, 0}, {0, 100, 0}, {500, 500, 500}, {7, 7, 7}};
    s.verts[4].name = 0x54495030;   // TIP0
    s.polys = {TPoly({0, 1, 2})};
    WriteBytes("STRAY.SHP", BuildShape(s));
    WriteBytes("STRAYB.SHP", BuildShape(s));
    Add("STRAY.SHP", 5000, 5000, 5000);
    Add("STRAY.SHP", 6000, 5000, 5000, "CLEN");
    int raw = Add("STRAYB.SHP", 7000, 5000, 5000, "RAWS");
    Shape(raw)[WS_FLAGS] |= WSF_NO_CLEANUP;
    ASSERT_EQ(0, WorldMSaveRuntime("T.WLD", nullptr, nullptr)) << WorldMRuntimeMessage();
    Bytes rt = ReadBytes("T.WLD"), wxp = ReadBytes("T.wxp");
    std::vector<Packet> p = Walk(rt);
    ASSERT_EQ("Csss++++++++", Types(p));
    auto vertices = [&](const Packet& copy) {
        return ShapeVertexCount(wxp.data() + GetU32(copy.at, WS_FILE) + WXP_ENTRY_HEAD);
    };
    EXPECT_EQ(4, vertices(p[1])) << "static: the stray vertex goes, the named one stays";
    EXPECT_EQ(4, vertices(p[2]));
    EXPECT_EQ(5, vertices(p[3])) << "flag 0x0004: not cleaned up";
    const uint8_t* blob = wxp.data() + GetU32(p[1].at, WS_FILE) + WXP_ENTRY_HEAD;
    EXPECT_EQ(0x54495030u, ShapePointName(blob, 3));
    EXPECT_NE(nullptr, ShapePolyNormals(ShapeFirstPolygon(const_cast<uint8_t*>(blob)))) << "finished: per-point normals";
}

// ---- Refusals

class RuntimeRefusalTest : public RuntimeTest {
protected:
    Bytes oldRt{'o', 'l', 'd', 'r'}, oldWxp{'o', 'l', 'd', 'w'}, oldWle{'o', 'l', 'd', 'e'};
    void SetUp() override
    {
        RuntimeTest::SetUp();
        WriteBytes("T.WLD", oldRt);
        WriteBytes("T.wxp", oldWxp);
        WriteBytes("T.WLE", oldWle);
        heard.clear();
        stopAt = -1;
    }
    // The image with every worldshape's selected flag cleared.
    static Bytes Unselected(Bytes image)
    {
        for (const Packet& p : Walk(image))
            if (p.type == WP_SHAPE) {
                uint8_t* ws = const_cast<uint8_t*>(p.at);
                PutU16(ws, WS_FLAGS, GetU16(ws, WS_FLAGS) & ~WSF_SELECTED);
            }
        return image;
    }
    // Saves as Save Runtime does, expecting a refusal: the edit world as it was byte for byte
    // (but for the selection, which holds exactly `selected` when given), the old files
    // untouched (the world file too, with no backup made and no summary report written), the
    // progress closed.
    void Refused(int code, std::vector<int> selected = {})
    {
        Bytes before = Used();
        EXPECT_EQ(code, WorldMSave("T.WLE", "T.WLD", nullptr, Listen)) << WorldMRuntimeMessage();
        if (selected.empty()) {
            EXPECT_EQ(before, Used());
        } else {
            EXPECT_EQ(Unselected(before), Unselected(Used()));
            EXPECT_EQ((int)selected.size(), WorldMCountSelectedShapes());
            for (int id : selected) EXPECT_TRUE(GetU16(Shape(id), WS_FLAGS) & WSF_SELECTED) << id;
        }
        EXPECT_EQ(oldRt, ReadBytes("T.WLD"));
        EXPECT_EQ(oldWxp, ReadBytes("T.wxp"));
        EXPECT_EQ(oldWle, ReadBytes("T.WLE"));
        EXPECT_FALSE(PathExists("T.~LE"));
        EXPECT_FALSE(PathExists("temp.txt"));
        ASSERT_FALSE(heard.empty());
        EXPECT_EQ((uint32_t)PROGRESS_DONE, heard.back()) << "the closing call";
        EXPECT_STRNE("", WorldMRuntimeMessage());
        heard.clear();
    }
};

TEST_F(RuntimeRefusalTest, MissingShapesAreRefusedWithShapeMissing)
{
    int a = Add("CUBE.SHP", 5000, 5000, 5000);
    Add("BIG.SHP", 9000, 5000, 5000);
    PutU16(Shape(a), WS_HANDLE, 0);
    Refused(WORLD_ERR_RUNTIME_SHAPE_MISSING);
    EXPECT_NE(nullptr, strstr(WorldMRuntimeMessage(), "CUBE.SHP")) << WorldMRuntimeMessage();

    // A file that went away after the load.
    WorldMNew();
    Add("BIG.SHP", 9000, 5000, 5000);
    ASSERT_EQ(0, remove("BIG.SHP"));
    Refused(WORLD_ERR_RUNTIME_SHAPE_MISSING);
    EXPECT_NE(nullptr, strstr(WorldMRuntimeMessage(), "BIG.SHP")) << WorldMRuntimeMessage();
}

TEST_F(RuntimeRefusalTest, ShapesOutOfPlaceAreRefusedAndLeftSelected)
{
    Grid(1, 1, 1);
    int inside = Add("CUBE.SHP", 5000, 5000, 5000);
    WorldMSelectShape((uint16_t)inside);
    int beyond = Add("CUBE.SHP", EDGE + 5000, 5000, 5000);
    int below = Add("CUBE.SHP", 5000, -5000, 5000);
    Refused(RT_ERR_OUTSIDE_GRID, {beyond, below});
    EXPECT_NE(nullptr, strstr(WorldMRuntimeMessage(), "and 1 more")) << WorldMRuntimeMessage();

    // A static shape across the grid's far side: its piece beyond would have no cell.
    WorldMNew();
    Grid(2, 1, 1);
    Add("CUBE.SHP", 5000, 5000, 5000);
    int across = Add("CUBE.SHP", 2 * EDGE - 500, 5000, 5000);
    Refused(RT_ERR_OUTSIDE_GRID, {across});
    EXPECT_NE(nullptr, strstr(WorldMRuntimeMessage(), "CUBE.SHP")) << WorldMRuntimeMessage();

    // A dynamic shape poking one unit into the next cell: -14, and the only one selected.
    WorldMNew();
    Grid(2, 1, 1);
    int fine = Add("CUBE.SHP", EDGE - 1000, 5000, 5000, "OKAY");
    WorldMSelectShape((uint16_t)fine);
    int poking = Add("CUBE.SHP", EDGE - 999, 5000, 5000, "POKE");
    Refused(WORLD_ERR_BAD_DYNAMIC, {poking});
}

TEST_F(RuntimeRefusalTest, AnAbortAtAnyPointLeavesEverythingAsItWas)
{
    Grid(2, 1, 2);
    Add("CUBE.SHP", 5000, 5000, 5000);
    Add("CUBE.SHP", EDGE + 5000, 5000, 5000, "DYNA");
    Add("BIG.SHP", 5000, 5000, EDGE + 5000);
    // Calls: the start, three shapes, three cells, three corner passes.
    for (int call = 1; call <= 10; call++) {
        stopAt = call;
        Refused(WORLD_ERR_ABORTED);
    }
    stopAt = -1;
    ASSERT_EQ(0, WorldMSaveRuntime("T.WLD", nullptr, Listen)) << WorldMRuntimeMessage();
    EXPECT_EQ(11u, heard.size());
    for (size_t i = 1; i < heard.size(); i++) EXPECT_LE(heard[i - 1], heard[i]);
    EXPECT_EQ(16384u, heard[heard.size() - 2]) << "the last pass reaches the end before the closing call";
}

TEST_F(RuntimeRefusalTest, AnArchiveThatWouldReachItsRoomIsRefused)
{
    // About 96 KB a copy once finished: 32 static copies pass 3,000,000 bytes.
    TShape s;
    for (int i = 0; i < 4002; i++) s.verts.push_back({(int16_t)(i % 60 * 100), (int16_t)(i / 60 * 100), (int16_t)(i % 7)});
    for (int i = 0; i + 2 < 4002; i += 3) s.polys.push_back(TPoly({(uint16_t)i, (uint16_t)(i + 1), (uint16_t)(i + 2)}));
    WriteBytes("HEAVY.SHP", BuildShape(s));
    for (int i = 0; i < 32; i++) Add("HEAVY.SHP", 10000 + 1000 * i, 10000, 10000 + 10000 * (i % 3));
    Refused(WORLD_ERR_SAVE_WHP);
    EXPECT_NE(nullptr, strstr(WorldMRuntimeMessage(), "HEAVY.SHP")) << WorldMRuntimeMessage();
}

TEST_F(RuntimeRefusalTest, ARuntimeWorldBeyondTheCapacityIsOutOfSpace)
{
    // Each huge cube is cut into 56 pieces (the cells its surface passes through), a copy in
    // each: 120 of them pass the 524,288 bytes of the image.
    WriteBytes("HUGE.SHP", BuildShape(CubeShape(30000)));
    WorldMSetCellExponent(0);
    for (int i = 0; i < 120; i++) Add("HUGE.SHP", 65536 + 10 * i, 32768, 65536);
    Refused(WORLD_ERR_OUT_OF_SPACE);

    WorldMNew();
    WorldMSetCellExponent(0);
    for (int i = 0; i < 10; i++) Add("HUGE.SHP", 65536 + 10 * i, 32768, 65536);
    ASSERT_EQ(0, WorldMSaveRuntime("T.WLD", nullptr, nullptr)) << WorldMRuntimeMessage();
    std::vector<Packet> p = Walk(ReadBytes("T.WLD"));
    EXPECT_EQ(56, std::count_if(p.begin(), p.end(), [](const Packet& q) { return q.type == WP_CELL; }));
    EXPECT_EQ(560, std::count_if(p.begin(), p.end(), [](const Packet& q) { return q.type == WP_SHAPE; }));
}

TEST_F(RuntimeRefusalTest, UnusableNamesAndGridsWriteNothing)
{
    Add("CUBE.SHP", 5000, 5000, 5000);
    heard.clear();
    // A world file whose name ends in D would be its own runtime file.
    WriteBytes("W.WLD", oldRt);
    EXPECT_EQ(WORLD_ERR_SAVE, WorldMSave("W.WLD", WorldMRuntimeNameFor("W.WLD"), nullptr, Listen));
    EXPECT_EQ(oldRt, ReadBytes("W.WLD"));
    EXPECT_FALSE(PathExists("W.wxp"));

    WorldMSetCellExponent(RT_MAX_EXPONENT);
    Grid(2, 1, 1);
    Refused(RT_ERR_GRID);
    Grid(1, 1, 1);
    EXPECT_EQ(0, WorldMSaveRuntime("T.WLD", nullptr, nullptr)) << "one cell of 2^31 units fits";
}

TEST_F(RuntimeRefusalTest, ARuntimeFileThatCannotBeWrittenPutsTheOldArchiveBack)
{
    Add("CUBE.SHP", 5000, 5000, 5000);
    ASSERT_EQ(0, mkdir("R.WLD", 0755));
    WriteBytes("R.wxp", oldWxp);
    Bytes before = Used();
    EXPECT_EQ(WORLD_ERR_SAVE, WorldMSaveRuntime("R.WLD", nullptr, nullptr));
    EXPECT_EQ(std::string("R.WLD cannot be written (Is a directory); the old files were kept"), WorldMRuntimeMessage());
    EXPECT_EQ(oldWxp, ReadBytes("R.wxp"));
    EXPECT_EQ(before, Used());
    // Saved with the world, the world's own file is named when it is the one refused.
    ASSERT_EQ(0, mkdir("Q.WLE", 0755));
    EXPECT_EQ(WORLD_ERR_SAVE, WorldMSave("Q.WLE", "Q.WLD", nullptr, nullptr));
    EXPECT_EQ(std::string("Q.WLE cannot be written (Is a directory); the old files were kept"), WorldMRuntimeMessage());
    EXPECT_FALSE(PathExists("Q.WLD"));

    ASSERT_EQ(0, mkdir("S.WLD", 0755));
    EXPECT_EQ(WORLD_ERR_SAVE, WorldMSaveRuntime("S.WLD", nullptr, nullptr));
    EXPECT_FALSE(PathExists("S.wxp")) << "no archive was there before";
}

}  // namespace

// ---- tolbex-cli world runtime

namespace {

TEST_F(RuntimeTest, CliSavesRuntimeAsTheMainLoopDoes)
{
    Grid(2, 1, 1);
    Add("CUBE.SHP", 5000, 5000, 5000);
    Add("CUBE.SHP", EDGE + 5000, 5000, 5000, "DYNA");
    // The editor's Save Runtime first: the command's files are the same bytes.
    ASSERT_EQ(0, WorldMSave("TOWN.WLE", "TOWN.WLD", nullptr, nullptr));
    Bytes wle = ReadBytes("TOWN.WLE"), editorRuntime = ReadBytes("TOWN.WLD"), editorArchive = ReadBytes("TOWN.wxp");
    for (const Packet& c : Walk(editorRuntime))
        if (c.type == WP_SHAPE) {
            EXPECT_EQ(0, GetU16(c.at, WS_HANDLE)) << "no handle of this run";
        }
    ASSERT_EQ(0, mkdir("shapes", 0755));
    for (const char* f : {"CUBE.SHP", "BIG.SHP", "MOVER.SHP"}) ASSERT_EQ(0, rename(f, (std::string("shapes/") + f).c_str()));

    RunResult r = RunProgram(TOLBEX_CLI_BIN, {"world", "runtime", "TOWN.WLE", "--shapes", "shapes"}, dir.path());
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ("TOWN.WLD: 2 cells, 2 worldshape copies, 12 corners\nTOWN.wxp: ", r.output.substr(0, 61)) << r.output;
    EXPECT_EQ(wle, ReadBytes("TOWN.WLE")) << "the WLE is written again as loaded";
    EXPECT_EQ(wle, ReadBytes("TOWN.~LE")) << "the old file is kept as its backup";
    std::vector<Packet> p = Walk(ReadBytes("TOWN.WLD"));
    EXPECT_EQ("CsCs++++++++++++", Types(p));
    EXPECT_FALSE(PathExists("shapes/TOWN.wxp"));
    EXPECT_TRUE(PathExists("TOWN.wxp"));
    EXPECT_TRUE(PathExists("temp.txt")) << "the summary stays where the command ran";
    EXPECT_EQ(editorRuntime, ReadBytes("TOWN.WLD"));
    EXPECT_EQ(editorArchive, ReadBytes("TOWN.wxp"));

    // Failures: the table's text, one line, a non-zero exit, the old files as they were.
    Bytes rt = ReadBytes("TOWN.WLD"), wxp = ReadBytes("TOWN.wxp");
    r = RunProgram(TOLBEX_CLI_BIN, {"world", "runtime", "TOWN.WLE"}, dir.path());
    EXPECT_EQ(1, r.exitCode);
    EXPECT_NE(std::string::npos, r.output.find("tolbex-cli: TOWN.WLD: Shape Missing (CUBE.SHP (ID 1)")) << r.output;
    EXPECT_EQ(rt, ReadBytes("TOWN.WLD"));
    EXPECT_EQ(wxp, ReadBytes("TOWN.wxp"));

    WriteBytes("OTHER.WLD", wle);
    r = RunProgram(TOLBEX_CLI_BIN, {"world", "runtime", "OTHER.WLD", "--shapes", "shapes"}, dir.path());
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ("tolbex-cli: OTHER.WLD: the runtime file would be the world file itself (the name ends in D)\n", r.output);
    EXPECT_EQ(wle, ReadBytes("OTHER.WLD"));
    EXPECT_FALSE(PathExists("OTHER.wxp"));
}

// A version-16 world whose shape files are missing: the save is refused and every file stays as
// it was, the world file in its old version included; with its shapes it is saved, the old
// file kept as its backup.
TEST_F(RuntimeTest, CliRefusalWritesNoFileAtAll)
{
    WleImage old(16);
    old.Shape({.x = 5000, .y = 5000, .z = 5000, .file = "ROCK"}, true);
    const Bytes wle = old.Done();
    ASSERT_EQ(0, mkdir("shapes", 0755));
    ASSERT_EQ(0, rename("ROCK.SHP", "shapes/ROCK.SHP"));
    WriteBytes("OLD.WLE", wle);
    RunResult r = RunProgram(TOLBEX_CLI_BIN, {"world", "runtime", "OLD.WLE"}, dir.path());
    EXPECT_EQ(1, r.exitCode);
    EXPECT_NE(std::string::npos, r.output.find("tolbex-cli: OLD.WLD: Shape Missing (ROCK.SHP (ID 1)")) << r.output;
    EXPECT_EQ(wle, ReadBytes("OLD.WLE"));
    for (const char* none : {"OLD.~LE", "OLD.WLD", "OLD.wxp", "temp.txt"}) EXPECT_FALSE(PathExists(none)) << none;

    r = RunProgram(TOLBEX_CLI_BIN, {"world", "runtime", "OLD.WLE", "--shapes", "shapes"}, dir.path());
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ(wle, ReadBytes("OLD.~LE"));
    EXPECT_EQ(19u, GetU32(ReadBytes("OLD.WLE").data(), WLE_VERSION));
    for (const char* made : {"OLD.WLD", "OLD.wxp", "temp.txt"}) EXPECT_TRUE(PathExists(made)) << made;
}

}  // namespace
