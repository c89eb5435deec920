// The World Editor's view in process: worldshapes and nodes picked, selected, dragged and undone.
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "base/log.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "frontend/panels.h"
#include "toolkit/draw.h"
#include "world/net.h"
#include "world/worldm.h"
#include "world/worldm_fixture.h"

using nlohmann::json;

namespace {

const int ZOOM = 160;   // a new view's world units per pixel

void Frames(int n)
{
    for (int i = 0; i < n; i++) ASSERT_EQ(AppLoopTurn(), 0);
}

// A left-button drag from one screen point through others, a frame at each.
void Drag(int x, int y, const std::vector<std::pair<int, int>>& through)
{
    MoveTo(x, y);
    Frames(2);
    InputMessageHook(nullptr, NM_LBUTTONDOWN, 0, 0);
    Frames(1);
    for (auto [px, py] : through) {
        MoveTo(px, py);
        Frames(1);
    }
    InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0);
    Frames(1);
}

std::vector<int32_t> ShapeAt(uint16_t id)
{
    const uint8_t* p = WorldMShapeFindData(id);
    return {GetI32(p, WS_X), GetI32(p, WS_Y), GetI32(p, WS_Z)};
}

std::vector<int32_t> NodeAt(uint16_t id)
{
    int32_t p[3];
    NetNodePos(NetNode(id), p);
    return {p[0], p[1], p[2]};
}

// Three boxes 10 pixels wide and an unselected node, seen from the top (right +x, up +z); the
// opening panel closed, so only the tests choose the tool.
struct World {
    uint16_t middle, right, upLeft, node;
};

World MakeWorld()
{
    World w{};
    if (WinId panel = WinFindClass(CLASS_EDIT_SHAPES_PANEL)) WinClose(panel);
    EXPECT_TRUE(WriteBytes("BOX.SHP", BoxShape(-800, -800, -800, 800, 800, 800)));
    w.middle = (uint16_t)WorldMAddShape("BOX.SHP", 0, 0, 0, 0);
    w.right = (uint16_t)WorldMAddShape("BOX.SHP", 100 * ZOOM, 0, 0, 0);
    w.upLeft = (uint16_t)WorldMAddShape("BOX.SHP", -100 * ZOOM, 0, 100 * ZOOM, Name4("DYN1"));
    w.node = (uint16_t)WorldMAddNetNode(50 * ZOOM, 0, -50 * ZOOM);
    EXPECT_EQ(std::vector<int>({w.middle, w.right, w.upLeft}), std::vector<int>({1, 2, 3}));
    EXPECT_GT(w.node, 0);
    WorldMDeselectAllNodes();
    SetView(VIEW_TOP, VIEW_FLAGS_WORLD);
    Frames(1);
    return w;
}

}  // namespace

TEST_F(Run, WorldThePointerPicksTheWorldshapeOrNodeUnderItAndTheDumpReportsTheWorld)
{
    StartEditor(EDITOR_WORLD);
    [[maybe_unused]] auto [middle, right, upLeft, node] = MakeWorld();
    MoveTo(CX + 101, CY - 2);
    Turns(2);
    EXPECT_EQ(EditPickBefore()->worldShape, right);
    EXPECT_EQ(EditPickBefore()->node, 0u);
    MoveTo(CX + 50, CY + 52);
    Turns(2);
    EXPECT_EQ(EditPickBefore()->node, node);
    EXPECT_EQ(EditPickBefore()->worldShape, 0u);
    // The node's marker is drawn where it was picked, over the background around it.
    EXPECT_FALSE(PixelIs(CX + 50, CY + 50, VideoColourTable()[DrawBackground()]));
    EXPECT_TRUE(PixelIs(CX + 50, CY + 30, VideoColourTable()[DrawBackground()]));
    // "Dynamic" off hides the named worldshape from the view and its picks.
    MoveTo(CX - 100, CY - 100);
    Turns(2);
    EXPECT_EQ(EditPickBefore()->worldShape, upLeft);
    SetView(VIEW_TOP, VIEW_FLAGS_WORLD & ~VIEWF_DYNAMIC);
    Turns(2);
    EXPECT_EQ(EditPickBefore()->worldShape, 0u);

    // The dump reports the world.
    WorldMSelectShape(right);
    json d = DumpJson();
    ASSERT_TRUE(d.contains("world"));
    EXPECT_EQ(d["world"]["shapes"], 3);
    EXPECT_EQ(d["world"]["selectedShapes"], 1);
    EXPECT_EQ(d["world"]["nodes"], 1);
    EXPECT_EQ(d["world"]["selectedNodes"], 0);
    EXPECT_EQ(d["world"]["file"], "");
}

TEST_F(Run, WorldARectangleSelectsTheWorldshapesAndNodesInsideIt)
{
    StartEditor(EDITOR_WORLD);
    [[maybe_unused]] auto [middle, right, upLeft, node] = MakeWorld();
    // The panels hand the view's rectangle back as a request (corners in either order).
    RectSelect(VIEW_RECT_WORLD_SHAPES, CX + 120, CY + 20, CX - 20, CY - 20);
    EXPECT_EQ(WorldMCountSelectedShapes(), 2);
    EXPECT_EQ(WorldMFirstSelectedShape(), middle);
    EXPECT_EQ(WorldMCountSelectedNodes(), 0) << "a worldshape rectangle leaves the nodes";
    RectSelect(VIEW_RECT_NODES, CX + 45, CY + 45, CX + 55, CY + 55);
    EXPECT_EQ(WorldMCountSelectedNodes(), 1);
    EXPECT_EQ(WorldMCountSelectedShapes(), 2);
    RectSelect((uint32_t)VIEW_RECT_WORLD_SHAPES | (uint32_t)EDIT_RECT_DESELECT, CX - 20, CY - 20, CX + 20, CY + 20);
    EXPECT_EQ(WorldMCountSelectedShapes(), 1);
    EXPECT_EQ(WorldMFirstSelectedShape(), right);

    // A rectangle dragged with the selection tool while its panel is closed goes nowhere.
    EditSetTool(EDIT_TOOL_SHAPES_RECT, 0);
    WorldMDeselectAllShapes();
    Drag(CX - 150, CY - 150, {{CX + 150, CY + 150}});
    Turns(1);
    EXPECT_EQ(WorldMCountSelectedShapes(), 0);
}

TEST_F(Run, WorldASelectedWorldshapeIsOutlinedByItsBoxsEdges)
{
    StartEditor(EDITOR_WORLD);
    [[maybe_unused]] auto [middle, right, upLeft, node] = MakeWorld();
    MoveTo(CX - 300, CY + 200);   // nothing pointed at
    WorldMSelectShape(middle);
    Frames(2);
    // Colour 255 around each box: the selected one's edges, none for the other.
    auto outlined = [](int cx, int cy) {
        int n = 0;
        for (int y = cy - 8; y <= cy + 8; y++)
            for (int x = cx - 8; x <= cx + 8; x++) n += PixelIs(x, y, VideoColourTable()[255]);
        return n;
    };
    EXPECT_GE(outlined(CX, CY), 32) << "four edges of about ten pixels";
    EXPECT_EQ(outlined(CX + 100, CY), 0);
}

TEST_F(Run, WorldAMoveDragFollowsThePointerAndOneUndoTakesItBack)
{
    StartEditor(EDITOR_WORLD);
    [[maybe_unused]] auto [middle, right, upLeft, node] = MakeWorld();
    // Left view: screen right is -z, up is +y; 9 and 6 pixels at the zoom.
    SetView(VIEW_LEFT, VIEW_FLAGS_WORLD);
    WorldMSelectShape(middle);
    WorldMSelectNode(node);
    const std::vector<int32_t> shapeWas = ShapeAt(middle), nodeWas = NodeAt(node), rightWas = ShapeAt(right);
    for (int tool : {EDIT_TOOL_SHAPES_MOVE, EDIT_TOOL_NODES_MOVE}) {
        EditSetTool(tool, 0);
        Drag(300, 300, {{303, 298}, {306, 296}, {309, 294}});
        std::vector<int32_t> was = tool == EDIT_TOOL_SHAPES_MOVE ? shapeWas : nodeWas;
        std::vector<int32_t> now = tool == EDIT_TOOL_SHAPES_MOVE ? ShapeAt(middle) : NodeAt(node);
        EXPECT_EQ(now, (std::vector<int32_t>{was[0], was[1] + 6 * ZOOM, was[2] - 9 * ZOOM})) << tool;
        WorldMUndo();
        now = tool == EDIT_TOOL_SHAPES_MOVE ? ShapeAt(middle) : NodeAt(node);
        EXPECT_EQ(now, was) << "one Undo for the whole drag, tool " << tool;
    }
    EXPECT_EQ(ShapeAt(right), rightWas) << "unselected worldshapes stay";
    // A click with the move tool moves nothing, and the last edit's Undo stays.
    WorldMMoveSelectedX(5);
    Drag(300, 300, {});
    WorldMUndo();
    EXPECT_EQ(ShapeAt(middle), shapeWas);
    // Two drags, one Undo: each drag takes its own copy, so only the second goes back.
    for (int tool : {EDIT_TOOL_SHAPES_MOVE, EDIT_TOOL_NODES_MOVE}) {
        auto at = [&] { return tool == EDIT_TOOL_SHAPES_MOVE ? ShapeAt(middle) : NodeAt(node); };
        EditSetTool(tool, 0);
        Drag(300, 300, {{303, 298}});
        const std::vector<int32_t> afterFirst = at();
        Drag(300, 300, {{306, 296}});
        EXPECT_NE(at(), afterFirst) << tool;
        WorldMUndo();
        EXPECT_EQ(at(), afterFirst) << "the second drag alone goes back, tool " << tool;
    }
}

TEST_F(Run, WorldAddNodeLandsUnderThePointerInAParallelView)
{
    StartEditor(EDITOR_WORLD);
    [[maybe_unused]] auto [middle, right, upLeft, node] = MakeWorld();
    EditSetTool(EDIT_TOOL_NODE_ADD, 0);
    ClickAt(CX + 10, CY + 5);
    ASSERT_EQ(WorldMCountNodes(), 2);
    // Top view: x + 10 pixels, z - 5; the unseen y is the ground's (0 without terrain) plus the clearance.
    ASSERT_NE(WorldMFirstSelectedNode(), nullptr) << "a new node comes selected";
    EXPECT_EQ(NodeAt(GetU16(WorldMFirstSelectedNode(), WN_ID)),
              (std::vector<int32_t>{10 * ZOOM, NET_NODE_CLEARANCE, -5 * ZOOM}));
    // Over a terrain: its height there; the clearance as the Nodes panel sets it.
    WleImage terrain;
    ASSERT_TRUE(WriteBytes("HILL.WLE", terrain.Append(FlatTerrain(10)).Done()));
    ASSERT_EQ(WorldMLoad("HILL.WLE"), 0);
    EditSetNodeClearance(300);
    ClickAt(CX + 20, CY - 30);
    ASSERT_NE(WorldMFirstSelectedNode(), nullptr);
    EXPECT_EQ(NodeAt(GetU16(WorldMFirstSelectedNode(), WN_ID)), (std::vector<int32_t>{20 * ZOOM, 640 + 300, 30 * ZOOM}));
    // The Bottom view shows no height either; the side views put the node where the pointer is.
    WorldMDeselectAllNodes();
    SetView(VIEW_BOTTOM, VIEW_FLAGS_WORLD);
    ClickAt(CX + 20, CY + 30);
    EXPECT_EQ(NodeAt(GetU16(WorldMFirstSelectedNode(), WN_ID)), (std::vector<int32_t>{20 * ZOOM, 640 + 300, 30 * ZOOM}));
    WorldMDeselectAllNodes();
    SetView(VIEW_FRONT, VIEW_FLAGS_WORLD);
    ClickAt(CX + 20, CY - 30);
    EXPECT_EQ(NodeAt(GetU16(WorldMFirstSelectedNode(), WN_ID)), (std::vector<int32_t>{-20 * ZOOM, 30 * ZOOM, 0}));
    // A field that holds no height: the click is refused with a box that says what to type.
    EXPECT_EQ(WorldMCountNodes(), 3);
    SetView(VIEW_TOP, VIEW_FLAGS_WORLD);
    EditSetNodeClearance(-1);
    LogOpen("log.txt");
    ClickAt(CX + 40, CY);
    DismissBox();
    LogOpen(nullptr);
    EXPECT_EQ(WorldMCountNodes(), 3);
    EXPECT_NE(ReadText("log.txt").find("MSGBOX \"Add Node\" \"The Nodes panel's Up field holds no height."),
              std::string::npos);
}

TEST_F(Run, WorldThePerspectiveViewRefusesTheParallelToolsOnceADragAndChangesNothing)
{
    StartEditor(EDITOR_WORLD);
    [[maybe_unused]] auto [middle, right, upLeft, node] = MakeWorld();
    SetView(VIEW_PERSPECTIVE, VIEW_FLAGS_WORLD);
    WorldMSelectAllShapes();
    WorldMSelectAllNodes();
    const std::vector<int32_t> shapeWas = ShapeAt(middle), nodeWas = NodeAt(node);
    LogOpen("log.txt");
    for (int tool : {EDIT_TOOL_NODE_ADD, EDIT_TOOL_SHAPE_POSITION, EDIT_TOOL_SHAPES_MOVE, EDIT_TOOL_NODES_MOVE}) {
        EditSetTool(tool, 0);
        Drag(300, 300, {{310, 300}, {320, 300}, {330, 300}});
        DismissBox();
    }
    // In a parallel view a move dragged out of the view stops, once.
    SetView(VIEW_FRONT, VIEW_FLAGS_WORLD);
    EditSetTool(EDIT_TOOL_SHAPES_MOVE, 0);
    Drag(300, 300, {{300, 560}, {300, 561}, {300, 562}});
    DismissBox();
    EXPECT_EQ(ShapeAt(middle), shapeWas) << "the pointer left the view at once";
    // Nodes moved a step, then out: the step stays until Undo, as the box says.
    EditSetTool(EDIT_TOOL_NODES_MOVE, 0);
    Drag(300, 300, {{310, 300}, {300, 560}, {300, 561}});
    DismissBox();
    EXPECT_EQ(NodeAt(node), (std::vector<int32_t>{nodeWas[0] - 10 * ZOOM, nodeWas[1], nodeWas[2]}));
    WorldMUndo();
    EXPECT_EQ(NodeAt(node), nodeWas);
    LogOpen(nullptr);
    EXPECT_EQ(LoggedBoxes("log.txt"),
              (std::vector<std::string>{
                  "MSGBOX \"Add Node\" \"Not on perspective view you don't!\"",
                  "MSGBOX \"Shape Position\" \"Use a parallel view, fool!\"", "MSGBOX \"Move\" \"Not on perspective view.\"",
                  "MSGBOX \"Move\" \"Not on perspective view.\"",
                  "MSGBOX \"World Move\" \"The pointer left the view before anything moved. Drag inside the view.\"",
                  "MSGBOX \"Node Move\" \"The pointer left the view, so the move stopped there. Undo puts the nodes "
                  "back; drag again inside the view.\""}));
    EXPECT_EQ(WorldMCountNodes(), 1);
    EXPECT_EQ(NodeAt(node), nodeWas);
}
