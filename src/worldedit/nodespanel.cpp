// The Nodes panel and its Node Name dialog. As in the Mesh panel, the context buttons are
// rebuilt at the panel's tick, never inside a press: the pressed button may be among those
// that go.
#include "worldedit/nodespanel.h"

#include <initializer_list>

#include "base/bytes.h"
#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "frontend/msgbox.h"
#include "frontend/view.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/panelkit.h"
#include "world/net.h"
#include "world/worldm.h"
#include "worldedit/namedlg.h"

enum {
    CMD_DELETE, CMD_LINK, CMD_UNLINK, CMD_MOVE, CMD_NAME, CMD_INTERP, CMD_SMOOTH_Y, CMD_MONORAIL, CMD_TUBE,
    CMD_WALK, CMD_CAMERA, CMD_HIDE, CMD_PYLONS, CMD_COUNT,

    GRID_MAX = 9,
    GRID_WIDTH = 50,

    MODE_NONE = 0,
    MODE_MOVE = 1,
    MODE_ADD = 2,

    UNHIDE_X = 8,
    UNHIDE_WIDTH = 45,
    CLEAR_X = 63,
    ALL_X = 84,
    SMALL_BUTTON = 20,
    ADD_X = 84,
    ADD_WIDTH = 40,
    MULT_X = 70,
    MULT_WIDTH = 30,
    EXIT_X = 10,
    ROW_1 = 4,
    ROW_2 = 19,
    ROW_3 = 34,
    COUNTS_X = 110,
    COUNTS_Y = 4,
    MODE_X = 1,        // the first column inside the border: text crossing an edge is not drawn
    MODE_Y = 22,

    // "Up:": how high above the ground nodes added in a Top or Bottom view stand. Shown in
    // every mode, so that it can be changed while adding.
    UP_LABEL_X = 8,
    UP_FIELD_X = 28,
    UP_FIELD_WIDTH = 40,
    UP_CHARS = 5,      // 0 to NET_NODE_CLEARANCE_MAX
};

static const char* const kErrorTitle = "Error";

// Indexed by CMD_*, in the order the grid shows them; the rule is for the selected nodes.
static const KitCommand kEntries[CMD_COUNT] = {
    {"Delete", KIT_RULE_SOME}, {"Link", 2},     {"Unlink", 1},   {"Move", KIT_RULE_SOME}, {"Name", 1},
    {"Interp", 2},             {"Smooth Y", 2}, {"Monorail", 1}, {"Tube", 2},             {"Walk", 2},
    {"Camera", 1},             {"Hide", 1},     {"Pylons", 1},
};

static const int kGridX[3] = {156, 208, 260};
static const int kGridY[3] = {4, 19, 34};
// Entries past the ninth would be left out; the table never qualifies that many.
static const KitGridLayout kGridLayout = {kGridX, kGridY, 3, GRID_MAX, GRID_WIDTH};

static struct {
    WinId window;
    WinId unhide, add, exit, up;
    KitSelectionButtons select;
    char upText[UP_CHARS + 1];   // kept from one opening to the next
    int multOn;   // kept from one opening to the next
    int mode, wantMode;
    KitGrid grid;   // its count: the selected nodes
} nodesPanel;

// ============================================================================================
// Node Name
// ============================================================================================

// A bad name, or one another net carries, is refused; the net's own name given again is no
// clash with itself.
static int AcceptName(const char* text)
{
    uint32_t name = 0;
    if (WorldMParseName(text, &name)) return WORLD_ERR_ILLEGAL_NAME;
    return WorldMGetNetName() == (int64_t)name ? 0 : WorldMSetNetName(name);
}

static void OpenName(void)
{
    int64_t name = WorldMGetNetName();
    NameDlgOpen(CLASS_NODE_NAME, "Node Name", name > 0 ? (uint32_t)name : 0, AcceptName);
}

// ============================================================================================
// The panel
// ============================================================================================

static void Refused(const char* why)
{
    if (why) MsgBoxShow(kErrorTitle, why);
}

static int HasLinks(const uint8_t* node) { return node && (GetU16(node, WN_PREV) || GetU16(node, WN_NEXT)); }

static void Run(int command)
{
    switch (command) {
    case CMD_DELETE: WorldMDeleteSelectedNodes(); break;
    case CMD_LINK:
        if (!WorldMLinkNodes())
            EditNote("Link: nothing linked (a link joins a node without a previous link to one without a next link)");
        break;
    case CMD_UNLINK:
        if (!HasLinks(WorldMFirstSelectedNode())) {
            EditNote("Unlink: the node has no links");
            break;
        }
        WorldMUnlinkNode();
        break;
    case CMD_MOVE: nodesPanel.wantMode = MODE_MOVE; break;
    case CMD_NAME: OpenName(); break;
    case CMD_INTERP:
        if (WorldMInsertNode() < 0) EditNote("Interp: no room for another node");
        break;
    case CMD_MONORAIL: {
        // The main loop finds the materials again when it builds.
        int materials[3];
        const char* why = NetMonorailMaterials(materials);
        if (why) Refused(why);
        else EditorRequest(REQUEST_BUILD_MONORAIL);
        break;
    }
    case CMD_TUBE: {
        const char* why = NetTubeRequest();
        if (why) Refused(why);
        else EditNote("Tube: nothing built (walkways are not built yet)");
        break;
    }
    case CMD_WALK: {
        const char* why = NetWalkRequest();
        if (why) Refused(why);
        else EditNote("Walk: nothing built (tunnels are not built yet)");
        break;
    }
    case CMD_CAMERA:
        if (WorldMFirstSelectedNode())
            EditRequestCentre(WorldMSelectedNodeX(), WorldMSelectedNodeY(), WorldMSelectedNodeZ());
        break;
    case CMD_HIDE: WorldMHideNet(); break;
    case CMD_PYLONS:
        EditorRequest(REQUEST_RESERVED);
        EditNote("Pylons: nothing changed (the monorail places its own pylons)");
        break;
    case CMD_SMOOTH_Y: EditNote("Smooth Y: nothing changed (not built yet)"); break;
    default: break;
    }
}

static void BuildGrid(int selected) { KitGridBuild(&nodesPanel.grid, kEntries, CMD_COUNT, kGridLayout, selected); }

// The controls the mode swaps; the "Up:" field stays in every mode.
static WinId* const kControls[] = {&nodesPanel.unhide, &nodesPanel.select.clear, &nodesPanel.select.all,
                                   &nodesPanel.add,    &nodesPanel.select.mult,  &nodesPanel.exit};
enum { CONTROL_COUNT = sizeof kControls / sizeof kControls[0] };

// The ids go with the panel; they may name other windows afterwards.
static void ForgetControls(void)
{
    KitForget(kControls, CONTROL_COUNT);
    nodesPanel.up = 0;
    KitGridForget(&nodesPanel.grid);
}

// Either the selection controls, or "Exit" while the view moves or adds nodes.
static void BuildControls(void)
{
    KitGridClear(&nodesPanel.grid);
    for (WinId* w : kControls) KitDestroy(w);
    nodesPanel.mode = nodesPanel.wantMode;
    if (nodesPanel.mode != MODE_NONE) {
        nodesPanel.exit = KitButton(EXIT_X, ROW_1, KIT_BUTTON_WIDTH, BUTTON_PUSH, "Exit");
        return;
    }
    nodesPanel.unhide = KitButton(UNHIDE_X, ROW_1, UNHIDE_WIDTH, BUTTON_PUSH, "Unhide");
    nodesPanel.select.clear = KitButton(CLEAR_X, ROW_1, SMALL_BUTTON, BUTTON_PUSH, "C");
    nodesPanel.select.all = KitButton(ALL_X, ROW_1, SMALL_BUTTON, BUTTON_PUSH, "A");
    nodesPanel.add = KitButton(ADD_X, ROW_2, ADD_WIDTH, BUTTON_PUSH, "Add");
    nodesPanel.select.mult = KitSwitch(MULT_X, ROW_3, MULT_WIDTH, "Mult", nodesPanel.multOn);
    BuildGrid(WorldMCountSelectedNodes());
}

static void SetTool(void)
{
    int tool = nodesPanel.mode == MODE_MOVE ? EDIT_TOOL_NODES_MOVE
             : nodesPanel.mode == MODE_ADD  ? EDIT_TOOL_NODE_ADD
             : nodesPanel.multOn            ? EDIT_TOOL_NODES_RECT
                                    : EDIT_TOOL_NODES_PICK;
    EditSetTool(tool, EDIT_PICK_WORLD);
}

static void SelectNode(int id, int on)
{
    if (on) WorldMSelectNode((uint16_t)id);
    else WorldMDeselectNode((uint16_t)id);
}
static const KitSelection kNodeSelection = {WorldMDeselectAllNodes, SelectNode, WorldMSelectAllNodes};

static void Pressed(WinId sender, int on)
{
    if (KitSelectionPressed(kNodeSelection, nodesPanel.select, sender, on, &nodesPanel.multOn) || !on) return;
    if (sender == nodesPanel.unhide) WorldMUnhideNodes();
    else if (sender == nodesPanel.add) {
        WorldMDeselectAllNodes();
        nodesPanel.wantMode = MODE_ADD;
    } else if (sender == nodesPanel.exit) nodesPanel.wantMode = MODE_NONE;
    else if (int command = KitGridCommand(&nodesPanel.grid, sender); command >= 0) Run(command);
}

// The field's height goes to the view's add tool at every tick; -1 while it holds none.
static void TakeClearance(void)
{
    int32_t v = 0;
    int ok = KitReadInt(nodesPanel.upText, &v) && v >= 0 && v <= NET_NODE_CLEARANCE_MAX;
    EditSetNodeClearance(ok ? v : -1);
}

static void Draw(void)
{
    KitClearClient();
    KitPrint(UP_LABEL_X, ROW_3, DrawTextColour(), "Up:");
    if (nodesPanel.mode != MODE_NONE) {
        KitPrint(MODE_X, MODE_Y, DrawTextColour(), "%s", nodesPanel.mode == MODE_MOVE ? "Moving" : "Adding");
        return;
    }
    KitPrint(COUNTS_X, COUNTS_Y, DrawTextColour(), "%d/%d", WorldMCountSelectedNodes(), WorldMCountNodes());
}

static int PanelProc(WinId self, WinId sender, int message, WinParam* p1, WinParam* p2)
{
    if (message == WM_CREATE) {
        nodesPanel.window = self;
        nodesPanel.mode = nodesPanel.wantMode = MODE_NONE;
        ForgetControls();
        nodesPanel.up = KitField(UP_FIELD_X, ROW_3, UP_FIELD_WIDTH, nodesPanel.upText, UP_CHARS);
        BuildControls();
        SetTool();
        TakeClearance();
        return 1;
    }
    if (self != nodesPanel.window) return 1;
    switch (message) {
    case WM_DESTROY:
        if (WinId dialog = NameDlgWindow(CLASS_NODE_NAME)) WinClose(dialog);
        nodesPanel.window = 0;
        nodesPanel.mode = nodesPanel.wantMode = MODE_NONE;
        ForgetControls();
        return 1;
    case WM_TICK: {
        if (nodesPanel.wantMode != nodesPanel.mode) BuildControls();
        int selected = WorldMCountSelectedNodes();
        if (nodesPanel.mode == MODE_NONE && KitGridStale(&nodesPanel.grid, selected)) BuildGrid(selected);
        SetTool();
        TakeClearance();
        return 1;
    }
    case WM_DRAWCLIENT: Draw(); return 0;
    case WM_PRESSED: Pressed(sender, *p1 != 0); return 0;
    case PANEL_MSG_RECT: EditRequestRectSelectFrom((uint32_t)VIEW_RECT_NODES | EDIT_RECT_KEEP, *p1, *p2); return 0;
    case PANEL_MSG_NODE: KitPick(kNodeSelection, nodesPanel.multOn, (uint16_t)*p1, *p2 != 0); return 0;
    default: return 1;
    }
}

void NodesPanelRegister(void)
{
    nodesPanel = {};
    KitGridForget(&nodesPanel.grid);
    KitWriteInt(nodesPanel.upText, sizeof nodesPanel.upText, NET_NODE_CLEARANCE);
    WinCreateClass(CLASS_NODES_PANEL, CLASS_FRAME, 0, PanelProc);
    NameDlgRegister(CLASS_NODE_NAME);
}
