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
#include "shapeedit/sekit.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "world/net.h"
#include "world/worldm.h"
#include "worldedit/namedlg.h"

enum {
    CMD_DELETE, CMD_LINK, CMD_UNLINK, CMD_MOVE, CMD_NAME, CMD_INTERP, CMD_SMOOTH_Y, CMD_MONORAIL, CMD_TUBE,
    CMD_WALK, CMD_CAMERA, CMD_HIDE, CMD_PYLONS, CMD_COUNT,

    RULE_ANY = 32765,        // 32765 and 32766: any selection
    RULE_SOME = 32766,
    RULE_SEVERAL = 32767,    // two or more
    GRID_MAX = 9,
    GRID_WIDTH = 50,
    NO_COUNT = -1,

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
    PICK_MODE = 1024,  // the second value the view is handed with the world tools

    // "Up:": how high above the ground nodes added in a Top or Bottom view stand. Shown in
    // every mode, so that it can be changed while adding.
    UP_LABEL_X = 8,
    UP_FIELD_X = 28,
    UP_FIELD_WIDTH = 40,
    UP_CHARS = 5,      // 0 to NET_NODE_CLEARANCE_MAX
};

static const char* const kErrorTitle = "Error";

struct ContextEntry {
    int rule;
    const char* label;
};

// Indexed by CMD_*, in the order the grid shows them.
static const ContextEntry kEntries[CMD_COUNT] = {
    {RULE_SOME, "Delete"}, {2, "Link"},     {1, "Unlink"},   {RULE_SOME, "Move"}, {1, "Name"},
    {2, "Interp"},         {2, "Smooth Y"}, {1, "Monorail"}, {2, "Tube"},         {2, "Walk"},
    {1, "Camera"},         {1, "Hide"},     {1, "Pylons"},
};

static const int kGridX[3] = {156, 208, 260};
static const int kGridY[3] = {4, 19, 34};

static struct {
    WinId window;
    WinId unhide, clear, all, add, mult, exit, up;
    char upText[UP_CHARS + 1];   // kept from one opening to the next
    int multOn;   // kept from one opening to the next
    int mode, wantMode;
    int shownCount;   // the selection the grid was built for
    WinId grid[GRID_MAX];
    int gridCommand[GRID_MAX];
    int gridCount;
} np;

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

static int RuleAccepts(int rule, int count)
{
    if (count < 1) return 0;
    if (rule == RULE_ANY || rule == RULE_SOME) return 1;
    if (rule == RULE_SEVERAL) return count >= 2;
    return count == rule;
}

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
    case CMD_MOVE: np.wantMode = MODE_MOVE; break;
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

static void DestroyChild(WinId* w)
{
    if (*w && WinIsWindow(*w)) WinDestroy(*w);
    *w = 0;
}

static void ClearGrid(void)
{
    for (int i = 0; i < np.gridCount; i++) DestroyChild(&np.grid[i]);
    np.gridCount = 0;
    np.shownCount = NO_COUNT;
}

// Entries past the ninth would be left out; the table never qualifies that many.
static void BuildGrid(int selected)
{
    ClearGrid();
    for (int c = 0; c < CMD_COUNT && np.gridCount < GRID_MAX; c++) {
        if (!RuleAccepts(kEntries[c].rule, selected)) continue;
        int i = np.gridCount++;
        np.gridCommand[i] = c;
        np.grid[i] = SeButton(kGridX[i / 3], kGridY[i % 3], GRID_WIDTH, BUTTON_PUSH, kEntries[c].label);
    }
    np.shownCount = selected;
}

// The ids go with the panel; they may name other windows afterwards.
static void ForgetControls(void)
{
    for (WinId* w : {&np.unhide, &np.clear, &np.all, &np.add, &np.mult, &np.exit, &np.up}) *w = 0;
    for (WinId& w : np.grid) w = 0;
    np.gridCount = 0;
}

// Either the selection controls, or "Exit" while the view moves or adds nodes.
static void BuildControls(void)
{
    ClearGrid();
    for (WinId* w : {&np.unhide, &np.clear, &np.all, &np.add, &np.mult, &np.exit}) DestroyChild(w);
    np.mode = np.wantMode;
    if (np.mode != MODE_NONE) {
        np.exit = SeButton(EXIT_X, ROW_1, SE_BUTTON_WIDTH, BUTTON_PUSH, "Exit");
        return;
    }
    np.unhide = SeButton(UNHIDE_X, ROW_1, UNHIDE_WIDTH, BUTTON_PUSH, "Unhide");
    np.clear = SeButton(CLEAR_X, ROW_1, SMALL_BUTTON, BUTTON_PUSH, "C");
    np.all = SeButton(ALL_X, ROW_1, SMALL_BUTTON, BUTTON_PUSH, "A");
    np.add = SeButton(ADD_X, ROW_2, ADD_WIDTH, BUTTON_PUSH, "Add");
    np.mult = SeButton(MULT_X, ROW_3, MULT_WIDTH, BUTTON_TOGGLE, "Mult");
    SeSetState(np.mult, np.multOn);
    BuildGrid(WorldMCountSelectedNodes());
}

static void SetTool(void)
{
    int tool = np.mode == MODE_MOVE ? EDIT_TOOL_NODES_MOVE
             : np.mode == MODE_ADD  ? EDIT_TOOL_NODE_ADD
             : np.multOn            ? EDIT_TOOL_NODES_RECT
                                    : EDIT_TOOL_NODES_PICK;
    EditSetTool(tool, PICK_MODE);
}

// Without "Mult" a pick replaces the selection.
static void Pick(uint16_t id, int on)
{
    if (!on) {
        WorldMDeselectNode(id);
        return;
    }
    if (!np.multOn) WorldMDeselectAllNodes();
    WorldMSelectNode(id);
}

static void Rectangle(WinParam p1, WinParam p2)
{
    const int32_t rect[4] = {WinLo(p1), WinHi(p1), WinLo(p2), WinHi(p2)};
    EditRequestRectSelect((uint32_t)VIEW_RECT_NODES | EDIT_RECT_KEEP, rect);
}

static void Pressed(WinId sender, int on)
{
    if (sender == np.mult) {
        np.multOn = on;
        return;
    }
    if (!on) return;
    if (sender == np.unhide) WorldMUnhideNodes();
    else if (sender == np.clear) WorldMDeselectAllNodes();
    else if (sender == np.all) WorldMSelectAllNodes();
    else if (sender == np.add) {
        WorldMDeselectAllNodes();
        np.wantMode = MODE_ADD;
    } else if (sender == np.exit) np.wantMode = MODE_NONE;
    else
        for (int i = 0; i < np.gridCount; i++)
            if (sender == np.grid[i]) Run(np.gridCommand[i]);
}

// The field's height goes to the view's add tool at every tick; -1 while it holds none.
static void TakeClearance(void)
{
    int32_t v = 0;
    int ok = SeReadInt(np.upText, &v) && v >= 0 && v <= NET_NODE_CLEARANCE_MAX;
    EditSetNodeClearance(ok ? v : -1);
}

static void Draw(void)
{
    SeClearClient();
    SePrint(UP_LABEL_X, ROW_3, DrawTextColour(), "Up:");
    if (np.mode != MODE_NONE) {
        SePrint(MODE_X, MODE_Y, DrawTextColour(), "%s", np.mode == MODE_MOVE ? "Moving" : "Adding");
        return;
    }
    SePrint(COUNTS_X, COUNTS_Y, DrawTextColour(), "%d/%d", WorldMCountSelectedNodes(), WorldMCountNodes());
}

static int PanelProc(WinId self, WinId sender, int message, WinParam* p1, WinParam* p2)
{
    if (message == WM_CREATE) {
        np.window = self;
        np.mode = np.wantMode = MODE_NONE;
        ForgetControls();
        np.up = SeField(UP_FIELD_X, ROW_3, UP_FIELD_WIDTH, np.upText, UP_CHARS);
        BuildControls();
        SetTool();
        TakeClearance();
        return 1;
    }
    if (self != np.window) return 1;
    switch (message) {
    case WM_DESTROY:
        if (WinId dialog = NameDlgWindow(CLASS_NODE_NAME)) WinClose(dialog);
        np.window = 0;
        np.mode = np.wantMode = MODE_NONE;
        ForgetControls();
        return 1;
    case WM_TICK: {
        if (np.wantMode != np.mode) BuildControls();
        int selected = WorldMCountSelectedNodes();
        if (np.mode == MODE_NONE && selected != np.shownCount) BuildGrid(selected);
        SetTool();
        TakeClearance();
        return 1;
    }
    case WM_DRAWCLIENT: Draw(); return 0;
    case WM_PRESSED: Pressed(sender, *p1 != 0); return 0;
    case NODES_RECT: Rectangle(*p1, *p2); return 0;
    case NODES_PICK: Pick((uint16_t)*p1, *p2 != 0); return 0;
    default: return 1;
    }
}

void NodesPanelRegister(void)
{
    np = {};
    np.shownCount = NO_COUNT;
    SeWriteInt(np.upText, sizeof np.upText, NET_NODE_CLEARANCE);
    WinCreateClass(CLASS_NODES_PANEL, CLASS_FRAME, 0, PanelProc);
    NameDlgRegister(CLASS_NODE_NAME);
}
