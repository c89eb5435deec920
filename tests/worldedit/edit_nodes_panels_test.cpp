// Edit Shapes and Nodes: context buttons follow the selection, buttons reach the world, names checked.
#include <functional>

#include "base/log.h"
#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/filesel.h"
#include "frontend/menubar.h"
#include "frontend/msgbox.h"
#include "frontend/view.h"
#include "materials/matm.h"
#include "shapeedit/panels.h"
#include "world/net.h"
#include "world/wle.h"
#include "world/worldm.h"
#include "world/worldm_fixture.h"
#include "worldedit/editshapes.h"
#include "worldedit/nodespanel.h"

namespace {

typedef std::vector<std::string> Labels;

// The pixels of the views' lowest status line, left of the frame rate.
std::vector<uint32_t> StatusLinePixels()
{
    std::vector<uint32_t> out;
    for (int y = CLIENT_Y + 528; y < CLIENT_Y + 536; y++)
        for (int x = CLIENT_X + 4; x < CLIENT_X + 600; x++) out.push_back(PixelAt(x, y));
    return out;
}

void AddMaterials(std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        MatMAdd(MatMCount());
        MatMSetName(MatMCount() - 1, name);
    }
}
void AddRailMaterials() { AddMaterials({"Rail_Track", "Rail_Support", "Rail_Light"}); }

// Three worldshapes: ROCK (named "ROCK"), TREE (unnamed) and a second ROCK (named "STON").
class EditAndNodesPanels : public Panels {
protected:
    uint16_t rock = 0, tree = 0, stone = 0;
    void SetUp() override
    {
        StartEditor(EDITOR_WORLD);
        ASSERT_TRUE(WriteBytes("ROCK.SHP", BoxShape(-10, -20, -30, 10, 20, 30)));
        ASSERT_TRUE(WriteBytes("TREE.SHP", BoxShape(-5, 0, -5, 5, 100, 5)));
        rock = (uint16_t)WorldMAddShape("ROCK.SHP", 100, 0, 100, Name4("ROCK"));
        tree = (uint16_t)WorldMAddShape("TREE.SHP", 200, 0, 200, 0);
        stone = (uint16_t)WorldMAddShape("ROCK.SHP", 300, 0, 300, Name4("STON"));
        ASSERT_GT(rock, 0);
        ASSERT_GT(tree, 0);
        ASSERT_GT(stone, 0);
        Turns(1);
    }
    static WinId Panel(uint32_t cls) { return WinFindClass(cls); }
    void OpenNodes()
    {
        ClickWindow(ButtonOf(WinFindClass(CLASS_WORLD_MENU), "Nodes"));
        ASSERT_NE(Panel(CLASS_NODES_PANEL), 0);
        Turns(1);
    }
    // The context buttons: the panel's buttons in the grid's columns.
    static Labels Grid(WinId panel)
    {
        Labels out;
        json d = Dump();
        for (const json& w : d["windows"])
            if (w["parent"] == panel && w["class"] == ClassText(CLASS_BUTTON) && w["x"].get<int>() >= 156) out.push_back(w["label"]);
        return out;
    }
    static uint16_t Flags(uint16_t id) { return GetU16(WorldMShapeFindData(id), WS_FLAGS); }
    static uint32_t NameOf(uint16_t id) { return GetU32(WorldMShapeFindData(id), WS_NAME); }
    static void SelectOnly(std::initializer_list<uint16_t> ids)
    {
        WorldMDeselectAllShapes();
        for (uint16_t id : ids) WorldMSelectShape(id);
        Turns(1);
    }
    static void SelectNodes(std::initializer_list<uint16_t> ids)
    {
        WorldMDeselectAllNodes();
        for (uint16_t id : ids) WorldMSelectNode(id);
        Turns(1);
    }
    // A button held down for one turn: the press is heard, the main loop has not yet run its request.
    static void Hold(const std::string& label, WinId parent, const std::function<void()>& check)
    {
        WinId b = ButtonOf(parent, label.c_str());
        ASSERT_NE(b, 0) << label;
        int x = 0, y = 0;
        WinGetAbsPos(b, &x, &y);
        InputMessageHook(nullptr, NM_MOUSEMOVE, 0, (int32_t)(((uint32_t)(y + 5) << 16) | (uint32_t)(x + 5)));
        InputMessageHook(nullptr, NM_LBUTTONDOWN, 0, 0);
        ASSERT_EQ(AppLoopTurn(), 0);
        check();
        InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0);
        ASSERT_EQ(AppLoopTurn(), 0);
    }
    // Types into the dialog's name field and answers with Enter.
    static void Answer(WinId dialog, const char* text)
    {
        std::vector<WinId> fields = Fields(dialog);
        ASSERT_EQ(fields.size(), 1u);
        Fill(fields[0], text);
        Key(KEY_RETURN);
    }
};

}  // namespace

TEST_F(EditAndNodesPanels, EditShapesShowsTheContextButtonsOfTheSelectionAndPicksAsMultSays)
{
    WinId panel = Panel(CLASS_EDIT_SHAPES_PANEL);
    ASSERT_NE(panel, 0) << "Edit Shapes opens first";
    EXPECT_EQ(Grid(panel), Labels{}) << "nothing selected, nothing shown";
    EXPECT_EQ(EditToolMode(), EDIT_TOOL_SHAPES_PICK);

    // Without Mult a pick replaces the selection.
    Send(panel, PANEL_MSG_WORLD_SHAPE, tree, 1);
    Send(panel, PANEL_MSG_WORLD_SHAPE, rock, 1);
    EXPECT_EQ(WorldMCountSelectedShapes(), 1);
    EXPECT_EQ(WorldMFirstSelectedShape(), rock);
    Turns(1);
    EXPECT_EQ(Grid(panel), (Labels{"Delete", "Move", "Camera", "Name", "Rotate", "DelNet", "Hide", "HideO", "HillY"}));
    json d = Dump();
    const json* name = Find(d, ClassText(CLASS_BUTTON), "Name");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ((*name)["x"], 208) << "the grid fills column by column";
    EXPECT_EQ((*name)["y"], 554);
    EXPECT_EQ((*name)["width"], 50);

    Click("Mult", panel);
    Turns(1);
    EXPECT_EQ(EditToolMode(), EDIT_TOOL_SHAPES_RECT);
    // A rectangle goes on to the view's next draw as it came, to be added to the selection.
    Send(panel, PANEL_MSG_RECT, WinPack(300, 40), WinPack(120, 200));
    uint32_t flags = 0;
    int32_t rect[4];
    ASSERT_TRUE(EditTakeRectSelect(&flags, rect));
    EXPECT_EQ(flags, (uint32_t)VIEW_RECT_WORLD_SHAPES | EDIT_RECT_KEEP);
    EXPECT_EQ(std::vector<int32_t>(rect, rect + 4), (std::vector<int32_t>{300, 40, 120, 200}));
    Send(panel, PANEL_MSG_WORLD_SHAPE, stone, 1);
    EXPECT_EQ(WorldMCountSelectedShapes(), 2) << "with Mult a pick adds";
    Turns(1);
    EXPECT_EQ(Grid(panel), (Labels{"Delete", "Move", "Camera", "Rotate", "Hide", "HideO", "HillY", "Stitch"}));

    // "Move" hands the view its move tool and leaves only "Exit" until the move ends.
    Click("Move", panel);
    Turns(1);
    EXPECT_EQ(EditToolMode(), EDIT_TOOL_SHAPES_MOVE);
    EXPECT_EQ(Buttons(panel), Labels{"Exit"});
    Click("Exit", panel);
    Turns(1);
    EXPECT_EQ(EditToolMode(), EDIT_TOOL_SHAPES_RECT) << "Mult is still on";
    EXPECT_EQ(Grid(panel).size(), 8u);

    // Away to Nodes and back: controls take over the old ids, neither panel touches the other's.
    OpenNodes();
    EXPECT_EQ(Buttons(Panel(CLASS_NODES_PANEL)), (Labels{"Unhide", "C", "A", "Add", "Mult"}));
    ClickWindow(ButtonOf(WinFindClass(CLASS_WORLD_MENU), "Edit Shapes"));
    Turns(1);
    panel = Panel(CLASS_EDIT_SHAPES_PANEL);
    EXPECT_EQ(Buttons(panel).size(), 5u + 8u);
    EXPECT_EQ(ControlState(ButtonOf(panel, "Mult")), 1);
    EXPECT_EQ(EditToolMode(), EDIT_TOOL_SHAPES_RECT);

    Click("C", panel);
    Turns(1);
    EXPECT_EQ(Grid(panel), Labels{});
    Click("A", panel);
    EXPECT_EQ(WorldMCountSelectedShapes(), 3);
}

TEST_F(EditAndNodesPanels, HideDeleteAndNameAreUndoneByTheUndoButton)
{
    WinId panel = Panel(CLASS_EDIT_SHAPES_PANEL);
    WinId undo = ButtonOf(WinFindClass(CLASS_WORLD_MENU), "Undo");
    SelectOnly({tree});
    Click("Hide", panel);
    EXPECT_TRUE(Flags(tree) & WSF_HIDDEN);
    ClickWindow(undo);
    EXPECT_FALSE(Flags(tree) & WSF_HIDDEN);
    Click("HideO", panel);
    EXPECT_TRUE(Flags(rock) & WSF_HIDDEN);
    EXPECT_FALSE(Flags(tree) & WSF_HIDDEN);
    Click("Unhide", panel);
    EXPECT_FALSE(Flags(rock) & WSF_HIDDEN);

    Click("Delete", panel);
    EXPECT_EQ(WorldMCountShapes(), 2);
    EXPECT_EQ(WorldMShapeFindData(tree), nullptr);
    ClickWindow(undo);
    EXPECT_EQ(WorldMCountShapes(), 3);

    // Building Name: prefilled; bad and taken names refused; lower case taken as upper; empty clears.
    SelectOnly({rock});
    Click("Name", panel);
    WinId dialog = Panel(CLASS_BUILDING_NAME);
    ASSERT_NE(dialog, 0);
    EXPECT_STREQ(WinGetTitle(dialog), "Building Name");
    json d = Dump();
    const json* w = Find(d, ClassText(CLASS_BUILDING_NAME));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ((*w)["x"], 40);
    EXPECT_EQ((*w)["y"], 30);
    EXPECT_EQ((*w)["width"], 170);
    EXPECT_EQ((*w)["height"], 70);
    const json* field = Find(d, ClassText(CLASS_EDIT));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ((*field)["text"], "ROCK");
    Answer(dialog, "A-1");
    EXPECT_EQ(Panel(CLASS_BUILDING_NAME), dialog) << "not four letters or digits";
    Answer(dialog, "STON");
    EXPECT_EQ(Panel(CLASS_BUILDING_NAME), dialog) << "another worldshape carries it";
    EXPECT_EQ(NameOf(rock), Name4("ROCK"));
    Answer(dialog, "bolt");
    EXPECT_EQ(Panel(CLASS_BUILDING_NAME), 0u);
    EXPECT_EQ(NameOf(rock), Name4("BOLT"));
    ClickWindow(undo);
    EXPECT_EQ(NameOf(rock), Name4("ROCK"));
    Click("Name", panel);
    Answer(Panel(CLASS_BUILDING_NAME), "");
    EXPECT_EQ(NameOf(rock), 0u);
}

TEST_F(EditAndNodesPanels, RotateTurnsOnlyTheNamedSelectedShapes)
{
    SelectOnly({rock, tree});
    Click("Rotate", Panel(CLASS_EDIT_SHAPES_PANEL));
    WinId dialog = Panel(CLASS_ROTATE_SHAPES);
    ASSERT_NE(dialog, 0);
    EXPECT_STREQ(WinGetTitle(dialog), "Rotate Shape(s)");
    EXPECT_EQ(ControlState(ButtonOf(dialog, "Yaw")), 1) << "Yaw is on at opening";
    Click(">>", dialog);
    Click("<", dialog);
    EXPECT_EQ(GetI16(WorldMShapeFindData(rock), WS_YAW), 1024 - 256);
    EXPECT_EQ(GetI16(WorldMShapeFindData(tree), WS_YAW), 0) << "an unnamed worldshape keeps its yaw";
    EXPECT_EQ(GetI16(WorldMShapeFindData(stone), WS_YAW), 0) << "not selected";
    Click("Pitch", dialog);
    Click("<<", dialog);
    EXPECT_EQ(GetI16(WorldMShapeFindData(rock), WS_PITCH), -1024);
    EXPECT_EQ(GetI16(WorldMShapeFindData(rock), WS_YAW), 1024 - 256);
    Click(">", dialog);
    EXPECT_EQ(GetI16(WorldMShapeFindData(rock), WS_PITCH), -1024 + 256);
    Click("Ok", dialog);
    EXPECT_EQ(Panel(CLASS_ROTATE_SHAPES), 0u);
}

TEST_F(EditAndNodesPanels, NodesLinkUnlinkAndNameAndNamesThatClashAreRefused)
{
    OpenNodes();
    WinId panel = Panel(CLASS_NODES_PANEL);
    EXPECT_EQ(EditToolMode(), EDIT_TOOL_NODES_PICK);
    EXPECT_EQ(EditPickMode(), EDIT_PICK_WORLD);
    uint16_t n[4];
    for (int i = 0; i < 4; i++) n[i] = (uint16_t)WorldMAddNetNode(1000 * i, 0, 0);
    WorldMDeselectAllNodes();
    Turns(1);
    EXPECT_EQ(Grid(panel), Labels{});

    Send(panel, PANEL_MSG_NODE, n[1], 1);
    Send(panel, PANEL_MSG_NODE, n[0], 1);
    EXPECT_EQ(WorldMCountSelectedNodes(), 1) << "without Mult a pick replaces the selection";
    Turns(1);
    EXPECT_EQ(Grid(panel), (Labels{"Delete", "Unlink", "Move", "Name", "Monorail", "Camera", "Hide", "Pylons"}));
    Click("Mult", panel);
    Turns(1);
    EXPECT_EQ(EditToolMode(), EDIT_TOOL_NODES_RECT);
    Send(panel, PANEL_MSG_NODE, n[1], 1);
    Turns(1);
    EXPECT_EQ(Grid(panel), (Labels{"Delete", "Link", "Move", "Interp", "Smooth Y", "Tube", "Walk"}));

    // "Add" drops the selection and hands the view its add tool until "Exit".
    Click("Add", panel);
    Turns(1);
    EXPECT_EQ(WorldMCountSelectedNodes(), 0);
    EXPECT_EQ(EditToolMode(), EDIT_TOOL_NODE_ADD);
    EXPECT_EQ(Buttons(panel), Labels{"Exit"});
    Click("Exit", panel);
    Turns(1);
    EXPECT_EQ(EditToolMode(), EDIT_TOOL_NODES_RECT);

    // The buttons reach the world; what the links refuse is the net tests' business.
    SelectNodes({n[0], n[1]});
    Click("Link", panel);
    EXPECT_EQ(GetU16(NetNode(n[0]), WN_PREV), n[1]);
    SelectNodes({n[0]});
    Click("Unlink", panel);
    EXPECT_EQ(GetU16(NetNode(n[0]), WN_PREV), 0);
    EXPECT_EQ(GetU16(NetNode(n[1]), WN_NEXT), 0);

    // Node Name: bad names and another net's refused; the net's own accepted; empty clears.
    Click("Name", panel);
    WinId dialog = Panel(CLASS_NODE_NAME);
    ASSERT_NE(dialog, 0);
    EXPECT_STREQ(WinGetTitle(dialog), "Node Name");
    Answer(dialog, "N#1");
    EXPECT_EQ(Panel(CLASS_NODE_NAME), dialog);
    Answer(dialog, "net1");
    EXPECT_EQ(Panel(CLASS_NODE_NAME), 0u);
    EXPECT_EQ(WorldMGetNetName(), (int64_t)Name4("NET1"));
    SelectNodes({n[2]});
    Click("Name", panel);
    Answer(Panel(CLASS_NODE_NAME), "NET1");
    EXPECT_NE(Panel(CLASS_NODE_NAME), 0u) << "another net carries it";
    Key(KEY_ESCAPE);
    EXPECT_EQ(Panel(CLASS_NODE_NAME), 0u);
    EXPECT_EQ(WorldMGetNetName(), 0);
    SelectNodes({n[0]});
    Click("Name", panel);
    EXPECT_EQ(FieldText(Fields(Panel(CLASS_NODE_NAME)).at(0)), "NET1");
    Key(KEY_RETURN);
    EXPECT_EQ(Panel(CLASS_NODE_NAME), 0u) << "its own name is no clash";
    Click("Name", panel);
    Answer(Panel(CLASS_NODE_NAME), "");
    EXPECT_EQ(WorldMGetNetName(), 0);
}

TEST_F(EditAndNodesPanels, MonorailNeedsItsMaterialsBeforeItIsRequested)
{
    OpenNodes();
    WinId panel = Panel(CLASS_NODES_PANEL);
    SelectNodes({(uint16_t)WorldMAddNetNode(0, 0, 0)});
    Hold("Monorail", panel, [] {
        ASSERT_NE(WinModal(), 0);
        EXPECT_STREQ(WinGetTitle(WinModal()), "Error");
        EXPECT_STREQ(MsgBoxText(WinModal()), "Missing monorail material.");
        EXPECT_FALSE(EditorRequestPending(REQUEST_BUILD_MONORAIL));
    });
    Key(KEY_RETURN);
    ASSERT_EQ(WinModal(), 0);

    Hold("Pylons", panel, [] { EXPECT_TRUE(EditorRequestPending(REQUEST_RESERVED)); });
    EXPECT_FALSE(EditorRequestPending(REQUEST_RESERVED)) << "cleared without action";
    EXPECT_EQ(WinModal(), 0);

    AddRailMaterials();
    Turns(1);
    Hold("Monorail", panel, [] {
        EXPECT_TRUE(EditorRequestPending(REQUEST_BUILD_MONORAIL));
        EXPECT_EQ(WinModal(), 0);
    });
}

TEST_F(EditAndNodesPanels, NodesAddedInATopViewCarryAMonorailThatTheRuntimeSaveTakes)
{
    WorldMNew();
    AddRailMaterials();
    OpenNodes();
    WinId panel = Panel(CLASS_NODES_PANEL);
    std::vector<WinId> fields = Fields(panel);
    ASSERT_EQ(fields.size(), 1u) << "the Up field";
    EXPECT_EQ(FieldText(fields[0]), "4096");
    SetView(VIEW_TOP, VIEW_FLAGS_WORLD);
    // Two nodes 290 pixels apart (46400 units at the view's zoom of 160), well inside the grid.
    auto addPair = [&] {
        Click("Add", panel);
        Turns(1);
        ClickAt(CX + 10, CY - 250);
        ClickAt(CX + 300, CY - 250);
        Click("Exit", panel);
        Turns(1);
        std::vector<uint16_t> ids;
        for (uint8_t* n = NetFirstNode(); n; n = NetNextNode(n))
            if (!GetU16(n, WN_PREV) && !GetU16(n, WN_NEXT)) ids.push_back(GetU16(n, WN_ID));
        return ids;
    };
    std::vector<uint16_t> pair = addPair();
    ASSERT_EQ(pair.size(), 2u);
    for (uint16_t id : pair) EXPECT_EQ(GetI32(NetNode(id), WN_Y), 4096) << "the ground, 0, and the clearance";
    SelectNodes({pair[0], pair[1]});
    Click("Link", panel);
    SelectNodes({pair[0]});
    Click("Monorail", panel);
    Turns(2);
    EXPECT_EQ(WinModal(), 0u) << MsgBoxText(WinModal());
    EXPECT_EQ(WorldMCountShapes(), 2) << "a track and its pylon";

    // The world panel's Save Runtime takes it whole.
    ClickWindow(ButtonOf(WinFindClass(CLASS_WORLD_MENU), "World"));
    Click("Save Runtime", WinFindClass(CLASS_WORLD_PANEL));
    ASSERT_NE(FileSelWindow(), 0u);
    for (WinId c : ChildrenOf(FileSelWindow(), CLASS_EDIT)) Fill(c, "RAIL.WLE");
    Key(KEY_RETURN);
    Turns(2);
    EXPECT_EQ(WinModal(), 0u) << MsgBoxText(WinModal());
    EXPECT_TRUE(PathExists("RAIL.WLD"));
    EXPECT_TRUE(PathExists("RAIL.wxp"));

    // Nodes on the ground itself: the build says which node and what to do, and writes nothing.
    OpenNodes();
    panel = Panel(CLASS_NODES_PANEL);
    Fill(Fields(panel)[0], "0");
    Turns(1);
    std::vector<uint16_t> low = addPair();
    ASSERT_EQ(low.size(), 2u);
    EXPECT_EQ(GetI32(NetNode(low[0]), WN_Y), 0);
    SelectNodes({low[0], low[1]});
    Click("Link", panel);
    SelectNodes({low[0]});
    Bytes before(WorldMImage(), WorldMImage() + WorldMUsed());
    Click("Monorail", panel);
    Turns(2);
    ASSERT_NE(WinModal(), 0u);
    EXPECT_STREQ(WinGetTitle(WinModal()), "Error During Save") << "the world panel's failure title";
    char expect[200];
    snprintf(expect, sizeof expect,
             "Node %u at (%d, 0, %d): the monorail's track would reach below the cell grid (to Y -1152). Raise the "
             "nodes and build again.",
             low[0], GetI32(NetNode(low[0]), WN_X), GetI32(NetNode(low[0]), WN_Z));
    EXPECT_STREQ(MsgBoxText(WinModal()), expect);
    Key(KEY_RETURN);
    EXPECT_EQ(Bytes(WorldMImage(), WorldMImage() + WorldMUsed()), before) << "the world as it was";
    EXPECT_FALSE(PathExists("W~R00002.SHP"));

    // A field that holds no height refuses the click that would add a node.
    Fill(Fields(panel)[0], "-5");
    Click("Add", panel);
    Turns(1);
    ClickAt(CX + 100, CY - 100);
    ASSERT_NE(WinModal(), 0u);
    EXPECT_STREQ(WinGetTitle(WinModal()), "Add Node");
    Key(KEY_RETURN);
    EXPECT_EQ(WorldMCountNodes(), 4);
    Fill(Fields(panel)[0], "99999");
    Turns(1);
    ClickAt(CX + 100, CY - 100);
    EXPECT_EQ(WorldMCountNodes(), 5);
    EXPECT_EQ(WorldMSelectedNodeY(), 99999);
    Fill(Fields(panel)[0], "100000");
    EXPECT_EQ(FieldText(Fields(panel)[0]), "99999") << "five digits at most";
}

TEST_F(EditAndNodesPanels, ButtonsThatDoNothingForTheSelectionSaySoOnTheStatusLine)
{
    AddRailMaterials();
    AddMaterials({"WalkBottom", "WalkSide", "WalkTop", "TunFloor", "TunWall", "TunRoof"});
    Turns(1);
    std::vector<uint32_t> quiet = StatusLinePixels();
    EXPECT_EQ(std::string(EditCurrentNote()), "");

    WinId shapesPanel = Panel(CLASS_EDIT_SHAPES_PANEL);
    SelectOnly({rock, tree});
    Click("Stitch", shapesPanel);
    EXPECT_EQ(std::string(EditCurrentNote()),
              "Stitch: nothing to stitch between the two shapes (shapes are not stitched yet)");
    Turns(1);
    EXPECT_NE(StatusLinePixels(), quiet) << "drawn on the status line";
    EXPECT_EQ(DumpJson()["note"], EditCurrentNote());

    SelectOnly({rock});
    Hold("DelNet", shapesPanel, [] { EXPECT_FALSE(EditorRequestPending(REQUEST_DELETE_NET_SHAPES)); });
    EXPECT_EQ(std::string(EditCurrentNote()), "DelNet: nothing deleted (the selected shape is no part of a net)");
    PutU16(WorldMShapeFindData(rock), WS_FLAGS, WSF_SELECTED | WSF_NET_SHAPE);
    Hold("DelNet", shapesPanel, [] { EXPECT_TRUE(EditorRequestPending(REQUEST_DELETE_NET_SHAPES)); });

    SelectOnly({tree});
    Click("Rotate", shapesPanel);
    Click(">>", Panel(CLASS_ROTATE_SHAPES));
    EXPECT_EQ(std::string(EditCurrentNote()), "Rotate: nothing turned (only named shapes turn, and none is selected)");
    SelectOnly({tree, stone});
    Click("<", Panel(CLASS_ROTATE_SHAPES));
    EXPECT_EQ(GetI16(WorldMShapeFindData(stone), WS_YAW), -256) << "a named shape among them turns";
    Click("Ok", Panel(CLASS_ROTATE_SHAPES));

    OpenNodes();
    WinId panel = Panel(CLASS_NODES_PANEL);
    uint16_t n[4];
    for (int i = 0; i < 4; i++) n[i] = (uint16_t)WorldMAddNetNode(30000 * i, 4096, 100000);
    struct Case {
        std::vector<uint16_t> select;
        const char* button;
        const char* note;
    } cases[] = {
        {{n[0], n[1]}, "Smooth Y", "Smooth Y: nothing changed (not built yet)"},
        {{n[0], n[1]}, "Tube", "Tube: nothing built (walkways are not built yet)"},
        {{n[0], n[1]}, "Walk", "Walk: nothing built (tunnels are not built yet)"},
        {{n[0]}, "Pylons", "Pylons: nothing changed (the monorail places its own pylons)"},
        {{n[0]}, "Unlink", "Unlink: the node has no links"},
        {{n[2], n[3]}, "Link", ""},
        {{n[0], n[3]}, "Link", ""},
        {{n[1], n[2]}, "Link", "Link: nothing linked (a link joins a node without a previous link to one without a "
                                "next link)"},
    };
    for (const Case& k : cases) {
        EditNote("%s", "");
        WorldMDeselectAllNodes();
        for (uint16_t id : k.select) WorldMSelectNode(id);
        Turns(1);
        Bytes before(WorldMImage(), WorldMImage() + WorldMUsed());
        Click(k.button, panel);
        EXPECT_EQ(std::string(EditCurrentNote()), k.note) << k.button;
        if (*k.note) {
            EXPECT_EQ(Bytes(WorldMImage(), WorldMImage() + WorldMUsed()), before) << k.button;
        }
    }
    EXPECT_EQ(GetU16(NetNode(n[2]), WN_PREV), n[3]);
    EXPECT_EQ(GetU16(NetNode(n[3]), WN_PREV), n[0]);

    // The note goes after six seconds to the millisecond, however long the editor has run.
    Click("Smooth Y", panel);
    Turns(EDIT_NOTE_MS / 20 + 1);
    EXPECT_EQ(std::string(EditCurrentNote()), "");
    EXPECT_EQ(StatusLinePixels(), quiet);
    LogOpen("log.txt");
    EditNote("Stitch: %d", 2);
    uint32_t from = TimerMs();
    while (TimerMs() - from < EDIT_NOTE_MS - 20) Turns(1);
    EXPECT_EQ(TimerMs() - from, (uint32_t)EDIT_NOTE_MS - 20);
    EXPECT_EQ(std::string(EditCurrentNote()), "Stitch: 2");
    Turns(1);
    EXPECT_EQ(std::string(EditCurrentNote()), "");
    LogOpen(nullptr);
    EXPECT_NE(ReadText("log.txt").find("STATUS \"Stitch: 2\""), std::string::npos) << "the log has it too";
}

// "Camera" of either panel centres the view on the selection, each coordinate in its place.
TEST_F(EditAndNodesPanels, CameraCentresTheViewOnTheSelection)
{
    auto centre = [] {
        Turns(1);
        ViewInfo v{};
        EXPECT_EQ(ViewDescribe(EditorView(), &v), 1);
        return std::vector<int32_t>(v.centre, v.centre + 3);
    };
    // ROCK's box is centred on its place.
    uint16_t far = (uint16_t)WorldMAddShape("ROCK.SHP", 1000, 2000, 3000, 0);
    SelectOnly({far});
    Click("Camera", Panel(CLASS_EDIT_SHAPES_PANEL));
    EXPECT_EQ(centre(), (std::vector<int32_t>{1000, 2000, 3000}));

    OpenNodes();
    uint16_t node = (uint16_t)WorldMAddNetNode(-4000, 5000, 6000);
    SelectNodes({node});
    int32_t at[3];
    NetNodePos(NetNode(node), at);
    ASSERT_EQ(std::vector<int32_t>(at, at + 3), (std::vector<int32_t>{-4000, 5000, 6000}));
    Click("Camera", Panel(CLASS_NODES_PANEL));
    EXPECT_EQ(centre(), (std::vector<int32_t>{-4000, 5000, 6000}));
}

// The other Nodes buttons, each on two linked nodes and a third apart: each makes its own change.
TEST_F(EditAndNodesPanels, EachNodesButtonDoesItsOwnEdit)
{
    OpenNodes();
    WinId panel = Panel(CLASS_NODES_PANEL);
    uint16_t n[3];
    auto hidden = [&](int i) { return GetU16(NetNode(n[i]), WN_HIDDEN) != 0; };
    struct Case {
        const char* button;
        std::vector<int> select;   // of n[]
        std::function<void()> check;
    };
    const Case cases[] = {
        {"Delete", {1}, [&] {
             EXPECT_EQ(WorldMCountNodes(), 2);
             EXPECT_EQ(NetNode(n[1]), nullptr);
         }},
        {"Interp", {0, 1}, [&] {
             ASSERT_EQ(WorldMCountNodes(), 4);
             uint16_t between = GetU16(NetNode(n[0]), WN_PREV);
             ASSERT_NE(between, n[1]);
             int32_t at[3];
             NetNodePos(NetNode(between), at);
             EXPECT_EQ(std::vector<int32_t>(at, at + 3), (std::vector<int32_t>{32000, 0, 0})) << "halfway";
         }},
        {"Hide", {0}, [&] { EXPECT_EQ((std::vector<bool>{hidden(0), hidden(1), hidden(2)}), (std::vector<bool>{true, true, false})); }},
        {"Unhide", {}, [&] { EXPECT_EQ((std::vector<bool>{hidden(0), hidden(1), hidden(2)}), (std::vector<bool>{false, false, false})); }},
        {"A", {}, [] { EXPECT_EQ(WorldMCountSelectedNodes(), 3); }},
        {"C", {0, 2}, [] { EXPECT_EQ(WorldMCountSelectedNodes(), 0); }},
        {"Move", {2}, [&] {
             EXPECT_EQ(EditToolMode(), EDIT_TOOL_NODES_MOVE);
             EXPECT_EQ(Buttons(panel), Labels{"Exit"});
             Click("Exit", panel);
             Turns(1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        WorldMSelectAllNodes();
        WorldMDeleteSelectedNodes();
        for (int i = 0; i < 3; i++) n[i] = (uint16_t)WorldMAddNetNode(64000 * i, 0, 0);
        SelectNodes({n[0], n[1]});
        ASSERT_EQ(WorldMLinkNodes(), 1);
        for (int i = 0; i < 3; i++) PutU16(NetNode(n[i]), WN_HIDDEN, std::string(c.button) == "Unhide");
        WorldMDeselectAllNodes();
        for (int i : c.select) WorldMSelectNode(n[i]);
        Turns(1);
        Click(c.button, panel);
        Turns(1);
        c.check();
    }
}
