// The Edit Shapes panel and its Building Name and Rotate Shape(s) dialogs. As in the Mesh
// panel, the context buttons are rebuilt at the panel's tick, never inside a press: the
// pressed button may be among those that go.
#include "worldedit/editshapes.h"

#include <initializer_list>

#include "base/bytes.h"
#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "frontend/view.h"
#include "kernel/kernel.h"
#include "shapeedit/sekit.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "world/worldm.h"
#include "worldedit/namedlg.h"

enum {
    CMD_DELETE, CMD_MOVE, CMD_CAMERA, CMD_NAME, CMD_ROTATE, CMD_DELNET, CMD_HIDE, CMD_HIDE_OTHERS, CMD_HILL_Y,
    CMD_STITCH, CMD_COUNT,

    RULE_ANY = 32765,        // 32765 and 32766: any selection
    RULE_SOME = 32766,
    RULE_SEVERAL = 32767,    // two or more
    GRID_MAX = 9,
    GRID_WIDTH = 50,
    NO_COUNT = -1,

    SMALL_BUTTON = 20,
    MULT_WIDTH = 30,
    ROW_1 = 4,
    ROW_2 = 19,
    ROW_3 = 34,
    SHAPES_X = 10,
    CLEAR_X = 63,
    ALL_X = 85,
    MULT_X = 70,
    UNHIDE_X = 10,
    EXIT_X = 10,
    COUNTS_X = 110,
    COUNTS_Y = 4,
    MOVING_X = 1,      // the first column inside the border: text crossing an edge is not drawn
    MOVING_Y = 22,
    PICK_MODE = 1024,  // the second value the view is handed with the world tools

    // The dialogs.
    DLG_X = 40,
    DLG_Y = 30,
    DLG_WIDTH = 170,
    DLG_HEIGHT = 70,
    OK_X = 30,
    CANCEL_X = 90,
    ANSWER_Y = 50,
    TURN_WIDTH = 40,
    TURN_LEFT_X = 10,
    TURN_RIGHT_X = 60,
    AXIS_X = 110,
    BIG_ROW = 19,
    SMALL_ROW = 30,
    BIG_TURN = 1024,     // 65536ths of a turn
    SMALL_TURN = 256,
    AXIS_GROUP = 1,
};

struct ContextEntry {
    int rule;
    const char* label;
};

// Indexed by CMD_*, in the order the grid shows them.
static const ContextEntry kEntries[CMD_COUNT] = {
    {RULE_ANY, "Delete"}, {RULE_ANY, "Move"}, {RULE_ANY, "Camera"}, {1, "Name"},      {RULE_ANY, "Rotate"},
    {1, "DelNet"},        {RULE_ANY, "Hide"}, {RULE_ANY, "HideO"},  {RULE_ANY, "HillY"}, {2, "Stitch"},
};

static const int kGridX[3] = {156, 208, 260};
static const int kGridY[3] = {4, 19, 34};

static struct {
    WinId window;
    WinId shapes, clear, all, mult, unhide, exit;
    int multOn;   // kept from one opening to the next
    int moving, wantMoving;
    int shownCount;   // the selection the grid was built for
    WinId grid[GRID_MAX];
    int gridCommand[GRID_MAX];
    int gridCount;
} es;

static struct {
    WinId window, bigLeft, bigRight, left, right, yaw, pitch, ok;
} rotateDlg;

// ============================================================================================
// Building Name
// ============================================================================================

// Ok names the first selected worldshape; a name that is not four letters or digits, or that
// another worldshape carries, is refused.
static int AcceptName(const char* text)
{
    uint32_t name = 0;
    if (WorldMParseName(text, &name)) return WORLD_ERR_ILLEGAL_NAME;
    return WorldMSetSelectedName(name);
}

// The field holds the name of the worldshape that Ok names.
static void OpenName(void)
{
    const uint8_t* first = WorldMShapeFindData((uint16_t)WorldMFirstSelectedShape());
    NameDlgOpen(CLASS_BUILDING_NAME, "Building Name", first ? GetU32(first, WS_NAME) : 0, AcceptName);
}

// ============================================================================================
// Rotate Shape(s)
// ============================================================================================

// Only named worldshapes turn: a selection without one is told so rather than left guessing.
static int AnyNamedSelected(void)
{
    uint8_t* image = WorldMImage();
    for (uint8_t* p = image ? WorldMFirstPacket(image) : nullptr; p; p = WorldMNextPacket(image, p))
        if (GetU16(p, WS_TYPE) == WP_SHAPE && (GetU16(p, WS_FLAGS) & WSF_SELECTED) && GetU32(p, WS_NAME)) return 1;
    return 0;
}

static void Turn(int16_t d)
{
    if (!AnyNamedSelected()) {
        EditNote("Rotate: nothing turned (only named shapes turn, and none is selected)");
        return;
    }
    if (SeState(rotateDlg.pitch)) WorldMTurnSelectedPitch(d);
    else WorldMTurnSelectedYaw(d);
}

static WinId AxisButton(int y, const char* label)
{
    WinId b = SeButton(AXIS_X, y, SE_BUTTON_WIDTH, BUTTON_RADIO | BUTTON_GROUP, label);
    WinParam group = AXIS_GROUP, zero = 0;
    WinSendMessage(b, WM_SETGROUP, &group, &zero);
    return b;
}

static int RotateProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    if (message == WM_CREATE) {
        rotateDlg.window = self;
        rotateDlg.bigLeft = SeButton(TURN_LEFT_X, BIG_ROW, TURN_WIDTH, BUTTON_PUSH, "<<");
        rotateDlg.bigRight = SeButton(TURN_RIGHT_X, BIG_ROW, TURN_WIDTH, BUTTON_PUSH, ">>");
        rotateDlg.left = SeButton(TURN_LEFT_X, SMALL_ROW, TURN_WIDTH, BUTTON_PUSH, "<");
        rotateDlg.right = SeButton(TURN_RIGHT_X, SMALL_ROW, TURN_WIDTH, BUTTON_PUSH, ">");
        rotateDlg.yaw = AxisButton(BIG_ROW, "Yaw");
        rotateDlg.pitch = AxisButton(SMALL_ROW, "Pitch");
        SeSetState(rotateDlg.yaw, 1);
        rotateDlg.ok = SeButton(OK_X, ANSWER_Y, SE_BUTTON_WIDTH, BUTTON_PUSH, "Ok");
        // The keys come here, so that Escape (or Enter) closes it at once.
        WinSetFocus(self);
        return 1;
    }
    if (self != rotateDlg.window) return 1;
    if (SeDialogAnswer(message, p1)) {
        WinClose(self);   // every turn is already done: Ok and Cancel both close
        return 0;
    }
    switch (message) {
    case WM_DESTROY: rotateDlg = {}; return 1;
    case WM_DRAWCLIENT: SeClearClient(); return 0;
    case WM_PRESSED:
        if (!*p1) return 0;
        if (sender == rotateDlg.bigLeft) Turn(-BIG_TURN);
        else if (sender == rotateDlg.bigRight) Turn(BIG_TURN);
        else if (sender == rotateDlg.left) Turn(-SMALL_TURN);
        else if (sender == rotateDlg.right) Turn(SMALL_TURN);
        else if (sender == rotateDlg.ok) WinClose(self);
        return 0;
    case WM_FOCUS: return 0;
    default: return 1;
    }
}

static void OpenRotate(void)
{
    if (rotateDlg.window && WinIsWindow(rotateDlg.window)) return;
    rotateDlg = {};
    SeDialog(CLASS_ROTATE_SHAPES, DLG_X, DLG_Y, DLG_WIDTH, DLG_HEIGHT, "Rotate Shape(s)");
}

static void CloseDialog(WinId w)
{
    if (w && WinIsWindow(w)) WinClose(w);
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

static void Run(int command)
{
    switch (command) {
    case CMD_DELETE: WorldMDeleteSelected(); break;
    case CMD_MOVE: es.wantMoving = 1; break;
    case CMD_CAMERA: {
        int32_t c[3];
        if (WorldMSelectionCentre(c)) EditRequestCentre(c[0], c[1], c[2]);
        break;
    }
    case CMD_NAME: OpenName(); break;
    case CMD_ROTATE: OpenRotate(); break;
    case CMD_DELNET: {
        const uint8_t* first = WorldMShapeFindData((uint16_t)WorldMFirstSelectedShape());
        if (first && (GetU16(first, WS_FLAGS) & WSF_NET_SHAPE)) EditorRequest(REQUEST_DELETE_NET_SHAPES);
        else EditNote("DelNet: nothing deleted (the selected shape is no part of a net)");
        break;
    }
    case CMD_HIDE: WorldMHideSelected(); break;
    case CMD_HIDE_OTHERS: WorldMHideUnselected(); break;
    case CMD_HILL_Y: WorldMDropSelectedToGround(); break;
    case CMD_STITCH: EditNote("Stitch: nothing to stitch between the two shapes (shapes are not stitched yet)"); break;
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
    for (int i = 0; i < es.gridCount; i++) DestroyChild(&es.grid[i]);
    es.gridCount = 0;
    es.shownCount = NO_COUNT;
}

static void BuildGrid(int selected)
{
    ClearGrid();
    for (int c = 0; c < CMD_COUNT; c++) {
        if (!RuleAccepts(kEntries[c].rule, selected)) continue;
        // The table never qualifies more than nine entries; a change to it that does is caught here.
        if (es.gridCount == GRID_MAX) FatalError("Too many buttons - see Torvil. Sorry!");
        int i = es.gridCount++;
        es.gridCommand[i] = c;
        es.grid[i] = SeButton(kGridX[i / 3], kGridY[i % 3], GRID_WIDTH, BUTTON_PUSH, kEntries[c].label);
    }
    es.shownCount = selected;
}

// The ids go with the panel; they may name other windows afterwards.
static void ForgetControls(void)
{
    for (WinId* w : {&es.shapes, &es.clear, &es.all, &es.mult, &es.unhide, &es.exit}) *w = 0;
    for (WinId& w : es.grid) w = 0;
    es.gridCount = 0;
}

// Either the selection controls, or "Exit" while the view moves the selection.
static void BuildControls(void)
{
    ClearGrid();
    for (WinId* w : {&es.shapes, &es.clear, &es.all, &es.mult, &es.unhide, &es.exit}) DestroyChild(w);
    es.moving = es.wantMoving;
    if (es.moving) {
        es.exit = SeButton(EXIT_X, ROW_1, SE_BUTTON_WIDTH, BUTTON_PUSH, "Exit");
        return;
    }
    es.shapes = SeButton(SHAPES_X, ROW_1, SE_BUTTON_WIDTH, BUTTON_PUSH, "Shapes");
    es.clear = SeButton(CLEAR_X, ROW_1, SMALL_BUTTON, BUTTON_PUSH, "C");
    es.all = SeButton(ALL_X, ROW_1, SMALL_BUTTON, BUTTON_PUSH, "A");
    es.unhide = SeButton(UNHIDE_X, ROW_2, SE_BUTTON_WIDTH, BUTTON_PUSH, "Unhide");
    es.mult = SeButton(MULT_X, ROW_3, MULT_WIDTH, BUTTON_TOGGLE, "Mult");
    SeSetState(es.mult, es.multOn);
    BuildGrid(WorldMCountSelectedShapes());
}

// Without "Mult" the view picks one worldshape at a time; with it, a rectangle adds.
static void SetTool(void)
{
    int tool = es.moving ? EDIT_TOOL_SHAPES_MOVE : es.multOn ? EDIT_TOOL_SHAPES_RECT : EDIT_TOOL_SHAPES_PICK;
    EditSetTool(tool, PICK_MODE);
}

static void Pick(uint16_t id, int on)
{
    if (!on) {
        WorldMDeselectShape(id);
        return;
    }
    if (!es.multOn) WorldMDeselectAllShapes();
    WorldMSelectShape(id);
}

static void Rectangle(WinParam p1, WinParam p2)
{
    const int32_t rect[4] = {WinLo(p1), WinHi(p1), WinLo(p2), WinHi(p2)};
    EditRequestRectSelect((uint32_t)VIEW_RECT_WORLD_SHAPES | EDIT_RECT_KEEP, rect);
}

static void Pressed(WinId sender, int on)
{
    if (sender == es.mult) {
        es.multOn = on;
        return;
    }
    if (!on) return;
    if (sender == es.clear) WorldMDeselectAllShapes();
    else if (sender == es.all) WorldMSelectAllShapes();
    else if (sender == es.unhide) WorldMUnhideAll();
    else if (sender == es.exit) es.wantMoving = 0;
    else
        for (int i = 0; i < es.gridCount; i++)
            if (sender == es.grid[i]) Run(es.gridCommand[i]);
}

static void Draw(void)
{
    SeClearClient();
    if (es.moving) {
        SePrint(MOVING_X, MOVING_Y, DrawTextColour(), "Moving");
        return;
    }
    SePrint(COUNTS_X, COUNTS_Y, DrawTextColour(), "%d/%d", WorldMCountSelectedShapes(), WorldMCountShapes());
}

static int PanelProc(WinId self, WinId sender, int message, WinParam* p1, WinParam* p2)
{
    if (message == WM_CREATE) {
        es.window = self;
        es.moving = es.wantMoving = 0;
        ForgetControls();
        BuildControls();
        SetTool();
        return 1;
    }
    if (self != es.window) return 1;
    switch (message) {
    case WM_DESTROY:
        CloseDialog(NameDlgWindow(CLASS_BUILDING_NAME));
        CloseDialog(rotateDlg.window);
        es.window = 0;
        es.moving = es.wantMoving = 0;
        ForgetControls();
        return 1;
    case WM_TICK: {
        if (es.wantMoving != es.moving) BuildControls();
        int selected = WorldMCountSelectedShapes();
        if (!es.moving && selected != es.shownCount) BuildGrid(selected);
        SetTool();
        return 1;
    }
    case WM_DRAWCLIENT: Draw(); return 0;
    case WM_PRESSED: Pressed(sender, *p1 != 0); return 0;
    case EDITSHAPES_RECT: Rectangle(*p1, *p2); return 0;
    case EDITSHAPES_PICK: Pick((uint16_t)*p1, *p2 != 0); return 0;
    default: return 1;
    }
}

void EditShapesRegister(void)
{
    es = {};
    es.shownCount = NO_COUNT;
    rotateDlg = {};
    WinCreateClass(CLASS_EDIT_SHAPES_PANEL, CLASS_FRAME, 0, PanelProc);
    NameDlgRegister(CLASS_BUILDING_NAME);
    WinCreateClass(CLASS_ROTATE_SHAPES, CLASS_FRAME, 0, RotateProc);
}
