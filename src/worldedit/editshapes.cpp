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
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/panelkit.h"
#include "world/worldm.h"
#include "worldedit/namedlg.h"

enum {
    CMD_DELETE, CMD_MOVE, CMD_CAMERA, CMD_NAME, CMD_ROTATE, CMD_DELNET, CMD_HIDE, CMD_HIDE_OTHERS, CMD_HILL_Y,
    CMD_STITCH, CMD_COUNT,

    GRID_MAX = 9,
    GRID_WIDTH = 50,

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

// Indexed by CMD_*, in the order the grid shows them; the rule is for the selected worldshapes.
static const KitCommand kEntries[CMD_COUNT] = {
    {"Delete", KIT_RULE_ANY}, {"Move", KIT_RULE_ANY}, {"Camera", KIT_RULE_ANY}, {"Name", 1},
    {"Rotate", KIT_RULE_ANY}, {"DelNet", 1},          {"Hide", KIT_RULE_ANY},   {"HideO", KIT_RULE_ANY},
    {"HillY", KIT_RULE_ANY},  {"Stitch", 2},
};

static const int kGridX[3] = {156, 208, 260};
static const int kGridY[3] = {4, 19, 34};
static const KitGridLayout kGridLayout = {kGridX, kGridY, 3, GRID_MAX, GRID_WIDTH};

static struct {
    WinId window;
    WinId shapes, unhide, exit;
    KitSelectionButtons select;
    int multOn;   // kept from one opening to the next
    int moving, wantMoving;
    KitGrid grid;   // its count: the selected worldshapes
} editShapes;

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
    if (KitState(rotateDlg.pitch)) WorldMTurnSelectedPitch(d);
    else WorldMTurnSelectedYaw(d);
}

static int RotateProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    if (message == WM_CREATE) {
        rotateDlg.window = self;
        rotateDlg.bigLeft = KitButton(TURN_LEFT_X, BIG_ROW, TURN_WIDTH, BUTTON_PUSH, "<<");
        rotateDlg.bigRight = KitButton(TURN_RIGHT_X, BIG_ROW, TURN_WIDTH, BUTTON_PUSH, ">>");
        rotateDlg.left = KitButton(TURN_LEFT_X, SMALL_ROW, TURN_WIDTH, BUTTON_PUSH, "<");
        rotateDlg.right = KitButton(TURN_RIGHT_X, SMALL_ROW, TURN_WIDTH, BUTTON_PUSH, ">");
        rotateDlg.yaw = KitRadio(AXIS_X, BIG_ROW, KIT_BUTTON_WIDTH, AXIS_GROUP, "Yaw");
        rotateDlg.pitch = KitRadio(AXIS_X, SMALL_ROW, KIT_BUTTON_WIDTH, AXIS_GROUP, "Pitch");
        KitSetState(rotateDlg.yaw, 1);
        rotateDlg.ok = KitButton(OK_X, ANSWER_Y, KIT_BUTTON_WIDTH, BUTTON_PUSH, "Ok");
        // The keys come here, so that Escape (or Enter) closes it at once.
        WinSetFocus(self);
        return 1;
    }
    if (self != rotateDlg.window) return 1;
    if (KitDialogAnswer(message, p1)) {
        WinClose(self);   // every turn is already done: Ok and Cancel both close
        return 0;
    }
    switch (message) {
    case WM_DESTROY: rotateDlg = {}; return 1;
    case WM_DRAWCLIENT: KitClearClient(); return 0;
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
    KitDialog(CLASS_ROTATE_SHAPES, DLG_X, DLG_Y, DLG_WIDTH, DLG_HEIGHT, "Rotate Shape(s)");
}

static void CloseDialog(WinId w)
{
    if (w && WinIsWindow(w)) WinClose(w);
}

// ============================================================================================
// The panel
// ============================================================================================

static void Run(int command)
{
    switch (command) {
    case CMD_DELETE: WorldMDeleteSelected(); break;
    case CMD_MOVE: editShapes.wantMoving = 1; break;
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

static void BuildGrid(int selected)
{
    // The table never qualifies more than nine entries; a change to it that does is caught here.
    if (KitGridBuild(&editShapes.grid, kEntries, CMD_COUNT, kGridLayout, selected) > GRID_MAX)
        FatalError("Too many buttons - see Torvil. Sorry!");
}

static WinId* const kControls[] = {&editShapes.shapes,      &editShapes.select.clear, &editShapes.select.all,
                                   &editShapes.select.mult, &editShapes.unhide,       &editShapes.exit};
enum { CONTROL_COUNT = sizeof kControls / sizeof kControls[0] };

// The ids go with the panel; they may name other windows afterwards.
static void ForgetControls(void)
{
    KitForget(kControls, CONTROL_COUNT);
    KitGridForget(&editShapes.grid);
}

// Either the selection controls, or "Exit" while the view moves the selection.
static void BuildControls(void)
{
    KitGridClear(&editShapes.grid);
    for (WinId* w : kControls) KitDestroy(w);
    editShapes.moving = editShapes.wantMoving;
    if (editShapes.moving) {
        editShapes.exit = KitButton(EXIT_X, ROW_1, KIT_BUTTON_WIDTH, BUTTON_PUSH, "Exit");
        return;
    }
    editShapes.shapes = KitButton(SHAPES_X, ROW_1, KIT_BUTTON_WIDTH, BUTTON_PUSH, "Shapes");
    editShapes.select.clear = KitButton(CLEAR_X, ROW_1, SMALL_BUTTON, BUTTON_PUSH, "C");
    editShapes.select.all = KitButton(ALL_X, ROW_1, SMALL_BUTTON, BUTTON_PUSH, "A");
    editShapes.unhide = KitButton(UNHIDE_X, ROW_2, KIT_BUTTON_WIDTH, BUTTON_PUSH, "Unhide");
    editShapes.select.mult = KitSwitch(MULT_X, ROW_3, MULT_WIDTH, "Mult", editShapes.multOn);
    BuildGrid(WorldMCountSelectedShapes());
}

// Without "Mult" the view picks one worldshape at a time; with it, a rectangle adds.
static void SetTool(void)
{
    int tool = editShapes.moving ? EDIT_TOOL_SHAPES_MOVE : editShapes.multOn ? EDIT_TOOL_SHAPES_RECT : EDIT_TOOL_SHAPES_PICK;
    EditSetTool(tool, EDIT_PICK_WORLD);
}

static void SelectShape(int id, int on)
{
    if (on) WorldMSelectShape((uint16_t)id);
    else WorldMDeselectShape((uint16_t)id);
}
static const KitSelection kShapeSelection = {WorldMDeselectAllShapes, SelectShape, WorldMSelectAllShapes};

static void Pressed(WinId sender, int on)
{
    if (KitSelectionPressed(kShapeSelection, editShapes.select, sender, on, &editShapes.multOn) || !on) return;
    if (sender == editShapes.unhide) WorldMUnhideAll();
    else if (sender == editShapes.exit) editShapes.wantMoving = 0;
    else if (int command = KitGridCommand(&editShapes.grid, sender); command >= 0) Run(command);
}

static void Draw(void)
{
    KitClearClient();
    if (editShapes.moving) {
        KitPrint(MOVING_X, MOVING_Y, DrawTextColour(), "Moving");
        return;
    }
    KitPrint(COUNTS_X, COUNTS_Y, DrawTextColour(), "%d/%d", WorldMCountSelectedShapes(), WorldMCountShapes());
}

static int PanelProc(WinId self, WinId sender, int message, WinParam* p1, WinParam* p2)
{
    if (message == WM_CREATE) {
        editShapes.window = self;
        editShapes.moving = editShapes.wantMoving = 0;
        ForgetControls();
        BuildControls();
        SetTool();
        return 1;
    }
    if (self != editShapes.window) return 1;
    switch (message) {
    case WM_DESTROY:
        CloseDialog(NameDlgWindow(CLASS_BUILDING_NAME));
        CloseDialog(rotateDlg.window);
        editShapes.window = 0;
        editShapes.moving = editShapes.wantMoving = 0;
        ForgetControls();
        return 1;
    case WM_TICK: {
        if (editShapes.wantMoving != editShapes.moving) BuildControls();
        int selected = WorldMCountSelectedShapes();
        if (!editShapes.moving && KitGridStale(&editShapes.grid, selected)) BuildGrid(selected);
        SetTool();
        return 1;
    }
    case WM_DRAWCLIENT: Draw(); return 0;
    case WM_PRESSED: Pressed(sender, *p1 != 0); return 0;
    case PANEL_MSG_RECT: EditRequestRectSelectFrom((uint32_t)VIEW_RECT_WORLD_SHAPES | EDIT_RECT_KEEP, *p1, *p2); return 0;
    case PANEL_MSG_WORLD_SHAPE: KitPick(kShapeSelection, editShapes.multOn, (uint16_t)*p1, *p2 != 0); return 0;
    default: return 1;
    }
}

void EditShapesRegister(void)
{
    editShapes = {};
    KitGridForget(&editShapes.grid);
    rotateDlg = {};
    WinCreateClass(CLASS_EDIT_SHAPES_PANEL, CLASS_FRAME, 0, PanelProc);
    NameDlgRegister(CLASS_BUILDING_NAME);
    WinCreateClass(CLASS_ROTATE_SHAPES, CLASS_FRAME, 0, RotateProc);
}
