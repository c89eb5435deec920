// Networks: node editing and walks on hand-built images, the node display, the monorail
// builder's geometry and failures, net shape files and their removal, undo after removal.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "shapes/shape.h"
#include "world/net.h"
#include "world/worldm_fixture.h"

typedef std::array<int32_t, 3> P3;

const int32_t kY = 65536;   // over the ground (no terrain: height 0)
const int32_t kZ = 131072;  // inside the cell grid, with room for the pylons on either side

class NetTest : public WorldTest {
protected:
    int track = 0, support = 0, light = 0;

    void SetUp() override
    {
        WorldTest::SetUp();
        track = Material("Rail_Track");
        support = Material("Rail_Support");
        light = Material("Rail_Light");
    }
    static int Material(const char* name)
    {
        uint8_t record[MAT_RECORD_SIZE] = {};
        memcpy(record, name, strlen(name));
        return IntMatFindOrAdd(record);
    }

    // Nodes: added unselected; a chain is given from its start, each node's previous being
    // the one after it.
    static uint16_t Node(int32_t x, int32_t y = 0, int32_t z = 0)
    {
        int id = WorldMAddNetNode(x, y, z);
        EXPECT_GT(id, 0);
        WorldMDeselectNode((uint16_t)id);
        return (uint16_t)id;
    }
    static void Chain(std::vector<uint16_t> ids)
    {
        for (size_t i = 0; i + 1 < ids.size(); i++) {
            PutU16(NetNode(ids[i]), WN_PREV, ids[i + 1]);
            PutU16(NetNode(ids[i + 1]), WN_NEXT, ids[i]);
        }
    }
    // A chain over the ground from its start at the given (x, z + kZ), the start alone selected.
    static std::vector<uint16_t> Rail(std::vector<std::pair<int32_t, int32_t>> xz)
    {
        std::vector<uint16_t> ids;
        for (auto [x, z] : xz) ids.push_back(Node(x, kY, z + kZ));
        Chain(ids);
        SelectOnly({ids[0]});
        return ids;
    }
    static uint16_t Prev(uint16_t id) { return GetU16(NetNode(id), WN_PREV); }
    static uint16_t Next(uint16_t id) { return GetU16(NetNode(id), WN_NEXT); }
    static bool IsSelected(uint16_t id) { return GetU16(NetNode(id), WN_SELECTED) != 0; }
    static void SelectOnly(std::vector<uint16_t> ids)
    {
        WorldMDeselectAllNodes();
        for (uint16_t id : ids) WorldMSelectNode(id);
    }
    static std::vector<uint16_t> NodeOrder()
    {
        std::vector<uint16_t> out;
        for (uint8_t* n = NetFirstNode(); n; n = NetNextNode(n)) out.push_back(GetU16(n, WN_ID));
        return out;
    }
    static std::string FileOf(const uint8_t* shape) { return WorldMShapeFileName(shape + WS_FILE); }
    static P3 At(const uint8_t* shape) { return {GetI32(shape, WS_X), GetI32(shape, WS_Y), GetI32(shape, WS_Z)}; }
    static std::vector<std::string> NetFiles()
    {
        std::vector<std::string> out;
        for (int i = 0; i < 10; i++) {
            char name[NET_FILE_NAME_SIZE];
            snprintf(name, sizeof name, "W~R%05d.SHP", i);
            if (PathExists(name)) out.push_back(name);
        }
        return out;
    }

    int Build(ProgressFn progress = nullptr)
    {
        return WorldMBuildMonorail(track, support, light, MONO_TRACK_WIDTH, MONO_PYLON_DEPTH, MONO_MIN_LINK,
                                   MONO_PYLON_SPACING, progress);
    }
};

// A shape file's vertices (world units) and polygons.
struct ShapeFile {
    Bytes b;
    explicit ShapeFile(const std::string& name) : b(ReadBytes(name)) {}
    int Vertices() { return b.empty() ? -1 : ShapeVertexCount(b.data()); }
    int Polygons() { return b.empty() ? -1 : ShapePolygonCount(b.data()); }
    P3 V(int i)
    {
        P3 p;
        ShapeVertexPos(b.data(), i, p.data());
        return p;
    }
    std::vector<int> Points(int polygon)
    {
        std::vector<int> out;
        uint8_t* p = ShapePolygon(b.data(), polygon);
        for (int k = 0; p && k < ShapePolyPoints(p); k++) out.push_back(ShapePolyIndex(p, k));
        return out;
    }
    int MaterialOf(int polygon) { return GetU16(ShapePolygon(b.data(), polygon), POLY_MATERIAL); }
};

// ---- Nodes

TEST_F(NetTest, AddedNodesTakeTheSmallestFreeIdAndComeSelectedAndUnlinked)
{
    EXPECT_EQ(1, WorldMAddNetNode(10, 20, 30));
    EXPECT_EQ(2, WorldMAddNetNode(0, 0, 0));
    uint8_t* n = NetNode(1);
    ASSERT_NE(nullptr, n);
    EXPECT_EQ(WN_SELECTED_VALUE, GetU16(n, WN_SELECTED));
    EXPECT_EQ((P3{10, 20, 30}), (P3{GetI32(n, WN_X), GetI32(n, WN_Y), GetI32(n, WN_Z)}));
    EXPECT_EQ(0, Prev(1) | Next(1) | GetU16(n, WN_HIDDEN));
    EXPECT_EQ(0u, GetU32(n, WN_NAME));
    EXPECT_EQ(2, WorldMCountNodes());
    EXPECT_EQ(2, WorldMCountSelectedNodes());

    // The ID freed by a deletion is the next one given.
    SelectOnly({1});
    WorldMDeleteSelectedNodes();
    EXPECT_EQ(1, WorldMAddNetNode(5, 5, 5));
}

TEST_F(NetTest, SelectingTheFirstNodeMovesItToTheFrontOfThePacketOrder)
{
    uint16_t a = Node(0), b = Node(1), c = Node(2);
    WorldMSelectNode(c);
    EXPECT_EQ((std::vector<uint16_t>{c, b, a}), NodeOrder()) << "traded places with the first node";
    EXPECT_EQ(2, GetI32(WorldMFirstSelectedNode(), WN_X));
    WorldMSelectNode(b);
    EXPECT_EQ((std::vector<uint16_t>{c, b, a}), NodeOrder()) << "a second selection moves nothing";
    EXPECT_EQ(2, WorldMSelectedNodeX());
    WorldMMoveSelectedNodesY(-7);
    WorldMMoveSelectedNodesZ(9);
    EXPECT_EQ(-7, WorldMSelectedNodeY());
    EXPECT_EQ(9, GetI32(NetNode(b), WN_Z));
    EXPECT_EQ(0, GetI32(NetNode(a), WN_Z));
}

TEST_F(NetTest, LinkingTwoSinglesPutsTheSecondBehindTheFirst)
{
    uint16_t a = Node(0), b = Node(100);
    SelectOnly({a, b});
    EXPECT_EQ(1, WorldMLinkNodes());
    EXPECT_EQ(b, Prev(a));
    EXPECT_EQ(a, Next(b));
    EXPECT_FALSE(IsSelected(a));
    EXPECT_TRUE(IsSelected(b));
}

TEST_F(NetTest, LinkingAChainStartBehindASingleNodeOrTheOtherWayRound)
{
    uint16_t a = Node(0), x = Node(1), b = Node(2);
    Chain({x, a});   // a starts a chain: its next is x
    SelectOnly({a, b});
    EXPECT_EQ(1, WorldMLinkNodes());
    EXPECT_EQ(b, Prev(a));
    EXPECT_EQ(a, Next(b));
    EXPECT_EQ(x, Next(a)) << "a's chain hangs behind b";

    uint16_t c = Node(3), d = Node(4), y = Node(5);
    Chain({y, d});   // d (second in packet order) starts a chain; c is single
    SelectOnly({c, d});
    EXPECT_EQ(1, WorldMLinkNodes());
    EXPECT_EQ(c, Prev(d));
    EXPECT_EQ(d, Next(c));
    EXPECT_FALSE(IsSelected(d));
}

TEST_F(NetTest, LinksThatWouldReplaceALinkAreRefused)
{
    // a starts a chain and b already has a next: b's next would be taken over.
    uint16_t a = Node(0), b = Node(1), x = Node(2), y = Node(3);
    Chain({x, a});
    Chain({y, b});
    SelectOnly({a, b});
    Bytes before = Used();
    EXPECT_EQ(0, WorldMLinkNodes());
    EXPECT_EQ(before, Used());

    // Neither starts a chain and a is not single.
    uint16_t c = Node(4), d = Node(5), e = Node(6);
    Chain({c, d, e});   // d has both links
    SelectOnly({d, e});
    before = Used();
    EXPECT_EQ(0, WorldMLinkNodes());
    EXPECT_EQ(before, Used());

    // Not exactly two selected.
    SelectOnly({a});
    EXPECT_EQ(0, WorldMLinkNodes());

    // Refusals (a link, a name) leave the undo of the edit before them.
    WorldMSetUndo(1);
    int32_t at[3], back[3];
    NetNodePos(NetNode(a), at);
    SelectOnly({a, b});
    WorldMMoveSelectedNodesX(500);
    EXPECT_EQ(0, WorldMLinkNodes());
    EXPECT_EQ(WORLD_ERR_ILLEGAL_NAME, WorldMSetNetName(0x41426344));
    WorldMUndo();
    NetNodePos(NetNode(a), back);
    EXPECT_EQ(at[0], back[0]) << "one undo still takes back the move";
}

TEST_F(NetTest, UnlinkingSplicesAndDeletingUnlinksFirst)
{
    uint16_t a = Node(0), b = Node(1), c = Node(2);
    Chain({a, b, c});
    SelectOnly({b});
    WorldMUnlinkNode();
    EXPECT_EQ(c, Prev(a));
    EXPECT_EQ(a, Next(c));
    EXPECT_EQ(0, Prev(b) | Next(b));
    SelectOnly({b});
    Bytes before = Used();
    WorldMUnlinkNode();
    EXPECT_EQ(before, Used()) << "a lone node has nothing to unlink";

    // Ends of a chain.
    SelectOnly({a});
    WorldMUnlinkNode();
    EXPECT_EQ(0, Next(c));

    uint16_t d = Node(3), e = Node(4), f = Node(5);
    Chain({d, e, f});
    SelectOnly({e, d});
    WorldMDeleteSelectedNodes();
    EXPECT_EQ(nullptr, NetNode(d));
    EXPECT_EQ(nullptr, NetNode(e));
    EXPECT_EQ(0, Next(f)) << "no link to a deleted node is left";
    EXPECT_EQ(4, WorldMCountNodes());
}

TEST_F(NetTest, InsertGoesBetweenNeighboursOrStaysUnlinked)
{
    uint16_t a = Node(-5, 10, 1000), b = Node(6, 20, -1000);
    Chain({a, b});
    SelectOnly({a, b});
    int n = WorldMInsertNode();
    ASSERT_GT(n, 0);
    uint8_t* p = NetNode((uint16_t)n);
    EXPECT_EQ((P3{0, 15, 0}), (P3{GetI32(p, WN_X), GetI32(p, WN_Y), GetI32(p, WN_Z)}));
    EXPECT_EQ((std::vector<int>{n, b, n, a}), (std::vector<int>{Prev(a), Prev((uint16_t)n), Next(b), Next((uint16_t)n)}));
    EXPECT_TRUE(IsSelected((uint16_t)n));

    // Far apart: the midpoint is the true one, not a wrapped sum.
    uint16_t c = Node(2000000000), d = Node(2100000000);
    SelectOnly({c, d});
    n = WorldMInsertNode();
    ASSERT_GT(n, 0);
    EXPECT_EQ(2050000000, GetI32(NetNode((uint16_t)n), WN_X));
    EXPECT_EQ(0, Prev((uint16_t)n) | Next((uint16_t)n)) << "not neighbours";
}

TEST_F(NetTest, NetNamesAreUniqueAndNeedASelectedNode)
{
    uint16_t a = Node(0), b = Node(1);
    EXPECT_EQ(WORLD_ERR_NO_NODES_SELECTED, WorldMSetNetName(0x41424344));
    EXPECT_EQ(WORLD_ERR_NO_NODES_SELECTED, WorldMGetNetName());
    SelectOnly({a});
    EXPECT_EQ(0, WorldMSetNetName(0x41424344));
    EXPECT_EQ(0x41424344, WorldMGetNetName());
    SelectOnly({b});
    EXPECT_EQ(WORLD_ERR_NET_NAME_IN_USE, WorldMSetNetName(0x41424344));
    EXPECT_EQ(WORLD_ERR_ILLEGAL_NAME, WorldMSetNetName(0x41426344));
    EXPECT_EQ(0, WorldMGetNetName());
}

TEST_F(NetTest, HidingANetWalksBothWaysAndStopsOnALoop)
{
    uint16_t a = Node(0), b = Node(1), c = Node(2), d = Node(3), lone = Node(4);
    Chain({a, b, c, d, a});   // closed
    SelectOnly({c, lone});
    WorldMHideNet();
    for (uint16_t id : {a, b, c, d}) {
        EXPECT_EQ(1, GetU16(NetNode(id), WN_HIDDEN)) << id;
        EXPECT_FALSE(IsSelected(id));
    }
    EXPECT_EQ(0, GetU16(NetNode(lone), WN_HIDDEN));

    // Links of a damaged file can loop without coming back to the start.
    WorldMUnhideNodes();
    uint16_t e = Node(5), f = Node(6), g = Node(7);
    PutU16(NetNode(e), WN_PREV, f);
    PutU16(NetNode(f), WN_PREV, g);
    PutU16(NetNode(g), WN_PREV, f);
    SelectOnly({e});
    WorldMHideNet();
    EXPECT_EQ(1, GetU16(NetNode(g), WN_HIDDEN));
    EXPECT_EQ(0, GetU16(NetNode(a), WN_HIDDEN));
}

// ---- Node display

// Screen = world X and Z; nodes with negative X are off screen; depth is Y.
static int FlatProject(const int32_t world[3], int32_t view[3], int32_t* sx, int32_t* sy)
{
    view[0] = world[0];
    view[1] = world[2];
    view[2] = world[1];
    *sx = world[0];
    *sy = world[2];
    return world[0] >= 0;
}

static std::vector<NetDrawItem> ItemsOf(int kind)
{
    std::vector<NetDrawItem> out;
    for (int i = 0; i < NetDrawCount(); i++)
        if (NetDrawItems()[i].kind == kind) out.push_back(NetDrawItems()[i]);
    return out;
}

TEST_F(NetTest, NodeDisplayDrawsAMovingQuarterAndBlinksSelectedNodes)
{
    uint16_t a = Node(0, 0, 0), b = Node(400, 0, 0), off = Node(-10, 0, 0);
    Chain({a, b});
    Chain({off, a});
    SelectOnly({a});
    PutU32(NetNode(b), WN_NAME, 0x4E455430);
    NetView view{FlatProject, 0, 1000, 1000, 0, {0, 0, 0, 0}};

    const int32_t starts[4] = {0, 100, 200, 300};
    for (int phase = 0; phase < 4; phase++) {
        view.ms = 1000 + 250 * phase + 10;
        EXPECT_EQ(0, WorldMNodeDisplay(7, 9, &view));
        std::vector<NetDrawItem> lines = ItemsOf(NET_DRAW_LINE);
        ASSERT_EQ(1u, lines.size()) << "only a has a visible previous node";
        EXPECT_EQ(starts[phase], lines[0].x0);
        EXPECT_EQ(starts[phase] + 100, lines[0].x1);
        for (const NetDrawItem& m : ItemsOf(NET_DRAW_MARKER))
            EXPECT_EQ(m.node == a && phase >= 2 ? 0 : 7, m.colour) << "node " << m.node << " phase " << phase;
    }
    EXPECT_EQ(2u, ItemsOf(NET_DRAW_MARKER).size()) << "the off-screen node has none";
    ASSERT_EQ(1u, ItemsOf(NET_DRAW_NAME).size());
    EXPECT_EQ(0x4E455430u, ItemsOf(NET_DRAW_NAME)[0].name);
    EXPECT_EQ(0u, GetU32(WorldMNodeDisplayEntry(off), ND_VISIBLE));
    EXPECT_EQ(400, GetI32(WorldMNodeDisplayEntry(b), ND_SCREEN_X));

    // Hidden nodes are neither drawn nor joined to.
    PutU16(NetNode(b), WN_HIDDEN, 1);
    WorldMNodeDisplay(7, 9, &view);
    EXPECT_TRUE(ItemsOf(NET_DRAW_LINE).empty());
    EXPECT_EQ(1u, ItemsOf(NET_DRAW_MARKER).size());
}

TEST_F(NetTest, NodeDisplayPicksTheNearestWithinRangeAndSelectsByRectangle)
{
    uint16_t far = Node(100, 50, 100), near = Node(103, 10, 96), away = Node(106, 0, 100);
    NetView view{FlatProject, 0, 100, 100, 0, {0, 0, 0, 0}};
    EXPECT_EQ(near, WorldMNodeDisplay(7, 9, &view)) << "away is 6 pixels off; near is nearest the eye";
    std::vector<NetDrawItem> markers = ItemsOf(NET_DRAW_MARKER);
    EXPECT_EQ(near, markers.back().node);
    EXPECT_EQ(9, markers.back().colour);
    view.pointerX = 200;
    EXPECT_EQ(0, WorldMNodeDisplay(7, 9, &view));

    view.rectRequest = NET_RECT_SELECT;
    view.rect[0] = 106;
    view.rect[1] = 100;
    view.rect[2] = 100;
    view.rect[3] = 90;   // either order, edges included
    WorldMNodeDisplay(7, 9, &view);
    EXPECT_TRUE(IsSelected(far) && IsSelected(away) && IsSelected(near));
    EXPECT_EQ(0, view.rectRequest) << "cleared after the frame";
    view.rectRequest = NET_RECT_DESELECT;
    view.rect[0] = 104;
    view.rect[2] = 110;
    WorldMNodeDisplay(7, 9, &view);
    EXPECT_EQ((std::vector<bool>{true, true, false}),
              (std::vector<bool>{IsSelected(far), IsSelected(near), IsSelected(away)}));
}

// ---- Monorail

TEST_F(NetTest, StraightNetBuildsTwoWedgesAndOnePylon)
{
    Rail({{0, 0}, {64000, 0}, {128000, 0}});
    ASSERT_EQ(0, Build());

    std::vector<uint8_t*> shapes = Shapes();
    ASSERT_EQ(3u, shapes.size()) << "track, the first link's pylon, track";
    EXPECT_EQ((std::vector<std::string>{"W~R00000.SHP", "W~R00001.SHP", "W~R00002.SHP"}),
              (std::vector<std::string>{FileOf(shapes[0]), FileOf(shapes[1]), FileOf(shapes[2])}));
    for (uint8_t* s : shapes) {
        EXPECT_EQ(WSF_NET_SHAPE, GetU16(s, WS_FLAGS));
        EXPECT_EQ(1, GetU16(s, WS_NET));
        EXPECT_NE(0, GetU16(s, WS_HANDLE));
        EXPECT_EQ(0u, GetU32(s, WS_NAME));
    }
    EXPECT_EQ((P3{32000, kY, kZ}), At(shapes[0]));
    EXPECT_EQ((P3{96000, kY, kZ}), At(shapes[2]));
    // Beside the track on the -S side (S = +Z here), halfway down, snapped to 64.
    EXPECT_EQ((P3{32000, 33280, kZ - 21440}), At(shapes[1]));

    // Wedge a, b, c at each end (d is in no polygon and goes): half-size 1143 snapped down to
    // the 64 grid; the start on the first node, the end on the plane through the second.
    for (int t : {0, 2}) {
        ShapeFile f(FileOf(shapes[t]));
        ASSERT_EQ(6, f.Vertices());
        ASSERT_EQ(3, f.Polygons());
        const P3 expect[6] = {{-32000, 1088, -1152}, {-32000, -1152, -1152}, {-32000, -1152, 1088},
                              {32000, 1088, -1152},  {32000, -1152, -1152},  {32000, -1152, 1088}};
        for (int i = 0; i < 6; i++) EXPECT_EQ(expect[i], f.V(i)) << "track " << t << " vertex " << i;
        EXPECT_EQ((std::vector<int>{0, 3, 4, 1}), f.Points(0));
        EXPECT_EQ((std::vector<int>{0, 2, 5, 3}), f.Points(1));
        EXPECT_EQ((std::vector<int>{1, 4, 5, 2}), f.Points(2));
        for (int p = 0; p < 3; p++) EXPECT_EQ(track, f.MaterialOf(p));
    }

    ShapeFile pylon(FileOf(shapes[1]));
    ASSERT_EQ(18, pylon.Vertices());
    ASSERT_EQ(12, pylon.Polygons());
    // hh = 32768: arm top at hh - 285, the foot (K + A + Hd) at -hh; K = 20293, A = 6832 along
    // +Z, Hd = 3416 along +X; each point snapped in world position.
    EXPECT_EQ((P3{0, 32448, 0}), pylon.V(0));
    EXPECT_EQ((P3{3392, -32768, 27072}), pylon.V(17));
    EXPECT_EQ((P3{-3456, 0, -6848}), pylon.V(9));
    int lights = 0;
    for (int p = 0; p < 12; p++) lights += pylon.MaterialOf(p) == light;
    EXPECT_EQ(1, lights);
    EXPECT_EQ(light, pylon.MaterialOf(8)) << "the column top";
    EXPECT_EQ(support, pylon.MaterialOf(4));
    EXPECT_EQ((std::vector<int>{9, 13, 15, 14}), pylon.Points(4)) << "a triangle pair as one quadrilateral";
}

TEST_F(NetTest, PylonsFollowTheSpacingAlongTheTrack)
{
    // Links of 400000: a pylon after the first link, then whenever 976000 more has passed.
    Rail({{0, 0}, {400000, 0}, {800000, 0}, {1200000, 0}, {1600000, 0}, {2000000, 0}});
    ASSERT_EQ(0, Build());
    std::vector<std::string> kinds;
    for (uint8_t* s : Shapes()) kinds.push_back(ShapeFile(FileOf(s)).Vertices() == 18 ? "P" : "T");
    EXPECT_EQ((std::vector<std::string>{"T", "P", "T", "T", "P", "T", "T", "P"}), kinds);
}

TEST_F(NetTest, ABendEndsOnTheBisectingPlaneAndTheNextSegmentStartsThere)
{
    Rail({{0, 0}, {64000, 0}, {64000, 64000}});
    ASSERT_EQ(0, Build());
    std::vector<uint8_t*> shapes = Shapes();
    ASSERT_EQ(3u, shapes.size());
    ShapeFile first(FileOf(shapes[0])), second(FileOf(shapes[2]));
    P3 m1 = At(shapes[0]), m2 = At(shapes[2]);
    for (int k = 0; k < 3; k++) {
        P3 end = first.V(3 + k), start = second.V(k);
        P3 e1{end[0] + m1[0], end[1] + m1[1], end[2] + m1[2]};
        P3 s2{start[0] + m2[0], start[1] + m2[1], start[2] + m2[2]};
        EXPECT_EQ(e1, s2) << "corner " << k << " is shared";
        // On the plane x + z = 64000 through the bend, within the 64 grid.
        EXPECT_LE(std::abs(e1[0] + e1[2] - kZ - 64000), 128) << k;
    }
    // Corner a (outside of the bend, z = -1143) lies at x = 64000 + 1143.
    EXPECT_EQ(65088 - m1[0], first.V(3)[0]);

    // Half a right angle: the plane through the bend halves the turn, its normal (1 + 1/sqrt 2,
    // 0, 1/sqrt 2), so that 1.7071 dx + 0.7071 dz = 0 from the bend within the 64 grid.
    WorldMNew();
    Rail({{0, 0}, {64000, 0}, {64000 + 45255, 45255}});
    ASSERT_EQ(0, Build());
    ASSERT_EQ(3u, Shapes().size());
    ShapeFile turned(FileOf(Shapes()[0]));
    P3 m = At(Shapes()[0]);
    for (int k = 3; k < 6; k++) {
        double dx = turned.V(k)[0] + m[0] - 64000, dz = turned.V(k)[2] + m[2] - kZ;
        EXPECT_LE(std::abs(1.7071 * dx + 0.7071 * dz), 200.0) << k;
        EXPECT_GT(std::abs(dx) + std::abs(dz), 1000.0) << k << ": the corners stand off the centre line";
    }
}

TEST_F(NetTest, SlightTurnsAndChainsThatDoubleBackGetSquareEnds)
{
    // A turn of under 4.4 degrees: square to the link.
    Rail({{0, 0}, {64000, 0}, {128000, 2000}});
    ASSERT_EQ(0, Build());
    ShapeFile slight(FileOf(Shapes()[0]));
    for (int k = 3; k < 6; k++) EXPECT_EQ(32000, slight.V(k)[0]);

    // Back the way it came: no bisecting direction; no division by zero either.
    WorldMNew();
    Rail({{0, 0}, {64000, 0}, {0, 0}});
    ASSERT_EQ(0, Build());
    ShapeFile back(FileOf(Shapes()[0]));
    for (int k = 3; k < 6; k++) EXPECT_EQ(32000, back.V(k)[0]);
}

TEST_F(NetTest, AClosedChainBuildsOneSegmentPerLink)
{
    std::vector<uint16_t> n = Rail({{100000, 0}, {164000, 0}, {164000, 64000}});
    Chain({n[2], n[0]});
    SelectOnly({n[1]});
    ASSERT_EQ(0, Build());
    EXPECT_EQ(4u, Shapes().size()) << "three tracks and one pylon";
}

static int abortAt;
static std::vector<uint32_t> reports;
static int Progress(uint32_t value)
{
    reports.push_back(value);
    return (int)reports.size() == abortAt ? 1 : 0;
}

TEST_F(NetTest, FailedBuildsLeaveNoShapesAndNoFiles)
{
    WorldMNew();
    EXPECT_EQ(WORLD_ERR_TOO_MANY_NET_SHAPES, Build()) << "an empty image";

    uint16_t a = Node(0, kY, kZ), b = Node(64000, kY, kZ), c = Node(128000, kY, kZ);
    Chain({a, b, c});
    EXPECT_EQ(WORLD_ERR_NODES_REQUIRED, Build()) << "nothing selected";
    SelectOnly({c});
    EXPECT_EQ(WORLD_ERR_NODES_REQUIRED, Build()) << "a start without a previous node";

    // The second link fails: the first, which is sound, is not written either (the walk that
    // writes, and reports progress, never starts). The message names the link's node.
    struct Case {
        const char* what;
        P3 move;          // c's new position
        uint16_t prev;    // b's previous node
        int result;
        std::string message;
    } cases[] = {
        {"one unit short", {64000 + MONO_MIN_LINK - 1, kY, kZ}, c, WORLD_ERR_NODE_TOO_SHORT,
         "Node 2 at (64000, 65536, 131072): the link to node 3 is 20007 long, shorter than 20008. Move the nodes "
         "further apart and build again."},
        {"below the ground", {128000, -3 * kY, kZ}, c, WORLD_ERR_NODE_TOO_LOW,
         "Node 2 at (64000, 65536, 131072): the track to node 3 runs below the ground (at Y -65536, the ground at 0). "
         "Raise the nodes and build again."},
        {"forward node missing", {128000, kY, kZ}, 999, WORLD_ERR_PARENT_MISSING, ""},
    };
    for (const Case& k : cases) {
        PutI32(NetNode(c), WN_X, k.move[0]);
        PutI32(NetNode(c), WN_Y, k.move[1]);
        PutU16(NetNode(b), WN_PREV, k.prev);
        SelectOnly({a});
        Bytes before = Used();
        reports.clear();
        abortAt = 0;
        EXPECT_EQ(k.result, Build(Progress)) << k.what;
        EXPECT_EQ(before, Used()) << k.what;
        EXPECT_TRUE(NetFiles().empty()) << k.what;
        EXPECT_EQ((std::vector<uint32_t>{PROGRESS_DONE}), reports) << k.what << ": nothing but the closing call";
        EXPECT_EQ(k.message, NetBuildMessage()) << k.what;
    }

    // The exact minimum builds.
    PutU16(NetNode(b), WN_PREV, c);
    PutI32(NetNode(c), WN_X, 64000 + MONO_MIN_LINK);
    PutI32(NetNode(c), WN_Y, kY);
    SelectOnly({a});
    EXPECT_EQ(0, Build());
    EXPECT_STREQ("", NetBuildMessage());
}

TEST_F(NetTest, ANetThatWouldLeaveTheCellGridIsRefusedBeforeAnyFileIsWritten)
{
    // The grid of a new world: 8 x 4 x 8 cells of 1048576, from the origin. On a straight run
    // along +X from nodes on the 64 grid, the track reaches 1152 below the nodes' height and 1088
    // above it (its half-size 1143, snapped down); the pylon, 21440 to -Z, has its column's
    // back 28288 to -Z and its foot 5632 to +Z of the nodes; the track ends on the second node.
    const int64_t top = 4 * (int64_t)EDGE, side = 8 * (int64_t)EDGE;
    struct Case {
        const char* what;
        int32_t x0, y, z;   // the first node; the second 64000 along +X
        int result;
        std::string message;
    } cases[] = {
        {"on the ground", 0, 0, kZ, NET_ERR_OUTSIDE_GRID,
         "Node 1 at (0, 0, 131072): the monorail's track would reach below the cell grid (to Y -1152). Raise the nodes "
         "and build again."},
        {"the lowest corner one snap below", 0, 1151, kZ, NET_ERR_OUTSIDE_GRID, ""},
        {"the lowest corner on the grid", 0, 1152, kZ, 0, ""},
        {"the top corner on the grid's top", 0, (int32_t)top - 1088, kZ, 0, ""},
        {"the top corner past it", 0, (int32_t)top - 1088 + 64, kZ, NET_ERR_OUTSIDE_GRID,
         "Node 1 at (0, 4193280, 131072): the monorail's track would reach above the cell grid (to Y 4194368, the "
         "grid ends at 4194304). Lower the nodes and build again."},
        {"the pylon past -Z", 0, kY, 28288 - 64, NET_ERR_OUTSIDE_GRID,
         "Node 1 at (0, 65536, 28224): the monorail's pylon would reach outside the cell grid (to Z -64, the grid "
         "runs from 0 to 8388608). Move the nodes into the grid and build again."},
        {"the pylon on the grid's edge", 0, kY, 28288, 0, ""},
        {"the pylon's foot on the far edge", 0, kY, (int32_t)side - 5632, 0, ""},
        {"the pylon's foot past it", 0, kY, (int32_t)side - 5632 + 64, NET_ERR_OUTSIDE_GRID,
         "Node 1 at (0, 65536, 8383040): the monorail's pylon would reach outside the cell grid (to Z 8388672, the "
         "grid runs from 0 to 8388608). Move the nodes into the grid and build again."},
        {"the end past +X", (int32_t)side - 64000 + 64, kY, kZ, NET_ERR_OUTSIDE_GRID, ""},
        {"the end on +X", (int32_t)side - 64000, kY, kZ, 0, ""},
        {"the start past -X", -64, kY, kZ, NET_ERR_OUTSIDE_GRID, ""},
    };
    for (const Case& k : cases) {
        WorldMNew();
        uint16_t a = Node(k.x0, k.y, k.z), b = Node(k.x0 + 64000, k.y, k.z);
        Chain({a, b});
        SelectOnly({a});
        Bytes before = Used();
        reports.clear();
        abortAt = 0;
        EXPECT_EQ(k.result, Build(Progress)) << k.what;
        if (k.result) {
            EXPECT_EQ(before, Used()) << k.what;
            EXPECT_EQ((std::vector<uint32_t>{PROGRESS_DONE}), reports) << k.what;
            if (!k.message.empty()) {
                EXPECT_EQ(k.message, NetBuildMessage()) << k.what;
            }
            EXPECT_NE(std::string(NetBuildMessage()).find("Node 1 at"), std::string::npos) << k.what;
        } else {
            EXPECT_EQ(2u, Shapes().size()) << k.what;
            // Every shape the build placed lies inside the grid.
            for (uint8_t* p : Shapes()) {
                ShapeFile f(FileOf(p));
                for (int i = 0; i < f.Vertices(); i++)
                    for (int axis = 0; axis < 3; axis++) {
                        int64_t v = (int64_t)f.V(i)[axis] + At(p)[axis];
                        EXPECT_GE(v, 0) << k.what;
                        EXPECT_LE(v, axis == 1 ? top : side) << k.what;
                    }
            }
            ASSERT_EQ(2, WorldMRemoveNet(1));
        }
        EXPECT_TRUE(NetFiles().empty()) << k.what;
    }

    // Flat ground at the nodes' default clearance builds; so does a terrain's.
    WorldMNew();
    uint16_t a = Node(0, NetNodeHeightOver(0, kZ, NET_NODE_CLEARANCE), kZ), b = Node(64000, NET_NODE_CLEARANCE, kZ);
    Chain({a, b});
    SelectOnly({a});
    EXPECT_EQ(0, Build()) << NetBuildMessage();
}

TEST_F(NetTest, NodesOverTheGroundStandAtItsHeightPlusTheClearance)
{
    EXPECT_EQ(4096, NetNodeHeightOver(10, 10, NET_NODE_CLEARANCE)) << "no terrain: the ground is at 0";
    EXPECT_EQ(0, NetNodeHeightOver(10, 10, 0));
    // A flat terrain at 10 x 64 over one cell; outside it the ground is 0 again.
    Bytes w = WleImage().Append(FlatTerrain(10)).Done();
    ASSERT_EQ(0, LoadBytes(w));
    EXPECT_EQ(640 + 300, NetNodeHeightOver(1000, 2000, 300));
    EXPECT_EQ(300, NetNodeHeightOver(-1000, 2000, 300));
    EXPECT_EQ(INT32_MAX, NetNodeHeightOver(1000, 2000, INT32_MAX)) << "kept in the 32-bit range";
    EXPECT_EQ(INT32_MIN + 640, NetNodeHeightOver(1000, 2000, INT32_MIN));

    // The monorail measures its height against the terrain: nodes at the clearance over it
    // build, nodes under its surface do not.
    for (int32_t y : {NetNodeHeightOver(200000, 300000, 2000), 600}) {
        uint16_t a = Node(200000, y, 300000), b = Node(264000, y, 300000);
        Chain({a, b});
        SelectOnly({a});
        EXPECT_EQ(y == 600 ? WORLD_ERR_NODE_TOO_LOW : 0, Build()) << y << ": " << NetBuildMessage();
    }
}

TEST_F(NetTest, AbortRemovesTheShapesAlreadyBuilt)
{
    Rail({{0, 0}, {64000, 0}, {128000, 0}});
    Bytes before = Used();
    reports.clear();
    abortAt = 2;   // after the first link
    EXPECT_EQ(WORLD_ERR_ABORTED, Build(Progress));
    EXPECT_EQ((std::vector<uint32_t>{0, 5461, PROGRESS_DONE}), reports);
    EXPECT_EQ(before, Used());
    EXPECT_TRUE(NetFiles().empty());
}

TEST_F(NetTest, AnUnwritableShapeFileFailsTheBuild)
{
    Rail({{0, 0}, {64000, 0}});
    Bytes before = Used();
    // A working folder that has gone: no file can be made in it.
    ASSERT_EQ(0, mkdir("gone", 0755));
    ASSERT_EQ(0, chdir("gone"));
    ASSERT_EQ(0, rmdir("../gone"));
    int r = Build();
    ASSERT_EQ(0, chdir(dir.path().c_str()));
    EXPECT_EQ(WORLD_ERR_SAVE_SHP, r);
    EXPECT_EQ(before, Used());
}

// The shapes are written as one batch: a file that cannot be written in the middle of it
// leaves no file of the net (nor a temporary one) and the world as it was.
TEST_F(NetTest, AFileThatFailsInTheMiddleOfTheBatchLeavesNoFileAndTheWorldUnchanged)
{
    const auto listing = [] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(".")) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    Rail({{0, 0}, {64000, 0}, {128000, 0}, {192000, 0}});
    const Bytes before = Used();
    const std::vector<std::string> files = listing();
    setenv("TOLBEX_FILE_FAULT", "full:3", 1);
    int r = Build();
    unsetenv("TOLBEX_FILE_FAULT");
    EXPECT_EQ(WORLD_ERR_SAVE_SHP, r);
    EXPECT_EQ(before, Used());
    EXPECT_EQ(files, listing());
    // Without the fault the same net builds, every file its shapes name on the disk.
    ASSERT_EQ(0, Build());
    std::vector<uint8_t*> shapes = Shapes();
    ASSERT_GE(shapes.size(), 4u);
    for (uint8_t* shape : shapes) EXPECT_TRUE(PathExists(FileOf(shape))) << FileOf(shape);
}

TEST_F(NetTest, OutOfSpaceFailsTheBuildAndRestoresTheImage)
{
    WorldMUninstall();
    WorldMInstall(WORLDM_MIN_CAPACITY);
    Rail({{0, 0}, {64000, 0}});
    // Room for the track but not for its pylon.
    while (WorldMUsed() + WP_RESERVED_1002_SIZE + 2 * WP_SHAPE_SIZE <= WorldMLimit())
        ASSERT_GE(WorldMAppendPacket(WP_RESERVED_1002, WP_RESERVED_1002_SIZE), 0);
    while (WorldMUsed() + 2 * WP_SHAPE_SIZE <= WorldMLimit()) ASSERT_GE(WorldMAppendPacket(WP_CORNER, WP_CORNER_SIZE), 0);
    ASSERT_GE(WorldMLimit() - WorldMUsed(), (uint32_t)WP_SHAPE_SIZE);
    Bytes before = Used();
    EXPECT_EQ(WORLD_ERR_OUT_OF_SPACE, Build());
    EXPECT_EQ(before, Used());
    EXPECT_TRUE(NetFiles().empty());
}

// ---- Net shape files, removal, undo

TEST_F(NetTest, NetShapeFilesTakeTheFirstFreeNameAndNetsTheFirstFreeNumber)
{
    char name[NET_FILE_NAME_SIZE];
    WriteText("W~R00000.SHP", "taken");
    WriteText("w~r00001.shp", "taken too, whatever its case");
    EXPECT_EQ(2, NetShapeFileName('R', 0, name));
    EXPECT_STREQ("W~R00002.SHP", name);
    EXPECT_EQ(5, NetShapeFileName('R', 5, name));

    for (const char* name : {"W~R12345.SHP", "W~R09990.SHP"}) EXPECT_TRUE(NetIsShapeFileName(name)) << name;
    for (const char* name : {"W~R1234.SHP", "W~R1234A.SHP", "W~X12345.SHP", "TRACK.SHP"})
        EXPECT_FALSE(NetIsShapeFileName(name)) << name;
    EXPECT_FALSE(NetIsShapeFileName(nullptr));

    Rail({{0, 0}, {64000, 0}});
    ASSERT_EQ(0, Build());
    ASSERT_EQ(0, Build());
    std::vector<uint8_t*> shapes = Shapes();
    ASSERT_EQ(4u, shapes.size());
    EXPECT_EQ("W~R00002.SHP", FileOf(shapes[0]));
    EXPECT_EQ(1, GetU16(shapes[0], WS_NET));
    EXPECT_EQ(2, GetU16(shapes[2], WS_NET));
    EXPECT_EQ(3, NetNumber());
}

TEST_F(NetTest, DeletingNetShapesRemovesOnlyThatNetAndOnlyNetFiles)
{
    Rail({{0, 0}, {64000, 0}});
    ASSERT_EQ(0, Build());   // net 1: W~R00000, W~R00001
    ASSERT_EQ(0, Build());   // net 2: W~R00002, W~R00003
    // A net shape of net 2 whose file is the user's own.
    ASSERT_TRUE(WriteBytes("TRACK.SHP", ReadBytes("W~R00000.SHP")));
    int own = WorldMAddShape("TRACK.SHP", 0, 0, 0, 0);
    ASSERT_GT(own, 0);
    uint8_t* p = WorldMShapeFindData((uint16_t)own);
    PutU16(p, WS_FLAGS, WSF_NET_SHAPE);
    PutU16(p, WS_NET, 2);

    // Not a net shape selected: nothing but the closing call.
    int plain = WorldMAddShape("TRACK.SHP", 0, 0, 0, 0);
    WorldMSelectShape((uint16_t)plain);
    Bytes before = Used();
    reports.clear();
    abortAt = 0;
    EXPECT_EQ(0, WorldMDeleteNetShapes(Progress));
    EXPECT_EQ(before, Used());
    EXPECT_EQ((std::vector<uint32_t>{PROGRESS_DONE}), reports);

    WorldMDeselectShape((uint16_t)plain);
    WorldMSelectShape(GetU16(Shapes()[2], WS_ID));
    reports.clear();
    EXPECT_EQ(0, WorldMDeleteNetShapes(Progress));
    EXPECT_EQ((std::vector<uint32_t>{0, 4096, 8192, PROGRESS_DONE}), reports);
    std::vector<uint8_t*> left = Shapes();
    ASSERT_EQ(3u, left.size());
    EXPECT_EQ(1, GetU16(left[0], WS_NET));
    EXPECT_EQ(1, GetU16(left[1], WS_NET));
    EXPECT_EQ("TRACK.SHP", FileOf(left[2])) << "the plain worldshape";
    EXPECT_EQ((std::vector<std::string>{"W~R00000.SHP", "W~R00001.SHP"}), NetFiles());
    EXPECT_TRUE(PathExists("TRACK.SHP")) << "only files named as net shape files are deleted";

    EXPECT_EQ(2, WorldMRemoveNet(1));
    EXPECT_TRUE(NetFiles().empty());
}

TEST_F(NetTest, UndoAfterRemovingANetGivesItsShapesHandleZero)
{
    Rail({{0, 0}, {64000, 0}});
    ASSERT_EQ(0, Build());
    WorldMUndoSnapshot();   // the next edit's snapshot holds the net
    WorldMSelectShape(GetU16(Shapes()[0], WS_ID));
    WorldMDeleteNetShapes(nullptr);
    ASSERT_TRUE(Shapes().empty());
    ASSERT_TRUE(NetFiles().empty());

    WorldMUndo();
    std::vector<uint8_t*> back = Shapes();
    ASSERT_EQ(2u, back.size());
    for (uint8_t* s : back) EXPECT_EQ(0, GetU16(s, WS_HANDLE)) << FileOf(s);

    // Undo after a failed build gives back the world from before it, every shape resolved.
    WorldMNew();
    Rail({{0, 0}, {64000, 0}});
    ASSERT_EQ(0, Build());
    uint16_t d = Rail({{200000, 0}, {210000, 0}})[1];
    Bytes built = Used();
    ASSERT_EQ(WORLD_ERR_NODE_TOO_SHORT, Build());
    PutI32(NetNode(d), WN_X, 5);   // a change the build's snapshot does not hold
    WorldMUndo();
    EXPECT_EQ(built, Used());
    for (uint8_t* s : Shapes()) EXPECT_NE(0, GetU16(s, WS_HANDLE)) << FileOf(s);

    // A net rebuilt into the same file names loads the new files, not what was there before.
    WorldMNew();
    Rail({{100000, 0}, {164000, 64000}});
    ASSERT_EQ(0, Build());
    ResId h = GetU16(Shapes()[0], WS_HANDLE);
    ASSERT_NE(0, h);
    EXPECT_GT(ShapeMMaxZ(h) - ShapeMMinZ(h), 40000) << "the diagonal track's own shape";
}

TEST_F(NetTest, RequestsNeedTheirMaterials)
{
    int m[3];
    EXPECT_EQ(nullptr, NetMonorailMaterials(m));
    EXPECT_EQ((std::vector<int>{track, support, light}), std::vector<int>(m, m + 3));
    EXPECT_STREQ("Missing walkway material.", NetTubeRequest());
    EXPECT_STREQ("Missing tunnel material.", NetWalkRequest());
    Material("WalkBottom");
    Material("WalkSide");
    Material("WalkTop");
    EXPECT_EQ(nullptr, NetTubeRequest());
    EXPECT_STREQ("Missing tunnel material.", NetWalkRequest());
    Material("TunFloor");
    Material("TunWall");
    EXPECT_STREQ("Missing tunnel material.", NetWalkRequest());
    Material("TunRoof");
    EXPECT_EQ(nullptr, NetWalkRequest());

    IntMatDestroy();
    IntMatCreate(16);
    EXPECT_STREQ("Missing monorail material.", NetMonorailMaterials(m));
}

// ---- tolbex-cli world monorail

TEST_F(NetTest, CliBuildsTheMonorailAndSavesTheWorld)
{
    uint16_t a = Rail({{0, 0}, {64000, 0}, {128000, 0}})[0];
    ASSERT_EQ(0, WorldMSave("in.wle", nullptr, nullptr, nullptr));
    // The rail materials in a MAT file of their own.
    for (const char* name : {"Rail_Track", "Rail_Support", "Rail_Light"}) {
        MatMAdd(MatMCount());
        MatMSetName(MatMCount() - 1, name);
    }
    ASSERT_EQ(0, MatMSave("rail.mat"));
    ASSERT_EQ(0, mkdir("shapes", 0755));

    RunResult r = RunProgram(TOLBEX_CLI_BIN, {"world", "monorail", "in.wle", "out.wle", "--node", std::to_string(a),
                                              "--materials", "rail.mat", "--shapes", "shapes"},
                             dir.path());
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ("out.wle: monorail net 1 from node 1: 3 net shapes (W~R00000.SHP to W~R00002.SHP)\n", r.output);
    EXPECT_TRUE(PathExists("shapes/W~R00002.SHP"));
    ASSERT_EQ(0, chdir("shapes"));
    int loaded = WorldMLoad("../out.wle");
    ASSERT_EQ(0, chdir(dir.path().c_str()));
    ASSERT_EQ(0, loaded);
    std::vector<uint8_t*> shapes = Shapes();
    ASSERT_EQ(3u, shapes.size());
    for (uint8_t* s : shapes) EXPECT_NE(0, GetU16(s, WS_HANDLE)) << FileOf(s);
    EXPECT_EQ((P3{32000, kY, kZ}), At(shapes[0]));

    // Failures: one line on stderr, nothing written.
    r = RunProgram(TOLBEX_CLI_BIN, {"world", "monorail", "in.wle", "no.wle", "--node", "2"}, dir.path());
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ("tolbex-cli: Missing monorail material. (Rail_Track, Rail_Support and Rail_Light are needed; see "
              "--materials)\n",
              r.output);
    r = RunProgram(TOLBEX_CLI_BIN, {"world", "monorail", "in.wle", "no.wle", "--node", "3", "--materials", "rail.mat"},
                   dir.path());
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ("tolbex-cli: in.wle: cannot build the monorail from node 3: Net Nodes Required.\n", r.output);
    r = RunProgram(TOLBEX_CLI_BIN, {"world", "monorail", "in.wle", "no.wle", "--node", "9", "--materials", "rail.mat"},
                   dir.path());
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ("tolbex-cli: in.wle: no net node 9\n", r.output);
    EXPECT_FALSE(PathExists("no.wle"));
    EXPECT_TRUE(NetFiles().empty()) << "the working folder holds no net shape file";
}
