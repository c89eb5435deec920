// The Mesh panel and the Mesh Transform dialog. The grid is rebuilt at the panel's tick, never
// inside a press: a command's own button may be among those that go, and the old and new
// buttons must not stand side by side (a window holds 25 children).
#include "shapeedit/mapping.h"
#include "shapeedit/meshpanel.h"

#include <cstring>
#include <vector>

#include "base/bytes.h"
#include "base/log.h"
#include "frontend/editstate.h"
#include "frontend/filesel.h"
#include "frontend/menubar.h"
#include "frontend/msgbox.h"
#include "materials/matm.h"
#include "platform/platform.h"
#include "shapeedit/objpanel.h"
#include "toolkit/panelkit.h"
#include "shapes/shape.h"
#include "shapes/shapem_edit.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"

enum {
    CMD_TEX, CMD_DEL, CMD_SET, CMD_DBL, CMD_HID, CMD_INV, CMD_PLN, CMD_INT, CMD_X0, CMD_CTR,
    CMD_CTY, CMD_MRG, CMD_MVE, CMD_MAP, CMD_EXP, CMD_CPY, CMD_TRF, CMD_HLE, CMD_MRK, CMD_REM,
    CMD_COUNT,

    GRID_WIDTH = 28,
    SWITCH_WIDTH = 54,     // wide enough for "Polygons"
    SMALL_BUTTON = 11,     // "C" and "A", between the switches and the counts
    CLEAR_X = 65,
    ALL_X = 77,
    COUNTS_RIGHT = 154,    // the counts end here, left of the grid: "32767/32767" fits
    CLICK_SIZE = 3,        // a rectangle this small is a click on what lies under the pointer

    TRF_X = 40,
    TRF_Y = 30,
    TRF_WIDTH = 170,
    TRF_HEIGHT = 150,
    TRF_FIELDS = 4,
    TRF_FIELD_X = 58,      // clear of its label "Rescale:"
    TRF_FIELD_WIDTH = 40,
    TRF_DEGREES_MAX = 359,
    TRF_SCALE_UNCHANGED = 100,
};

// Indexed by CMD_*, in the order the grid shows them: a rule for the selected polygons, one
// for the selected vertices. "Map" and "Hle" are shown without effect.
static const KitCommand kCommands[CMD_COUNT] = {
    {"Tex", KIT_RULE_SOME, 4},           {"Del", KIT_RULE_ANY, KIT_RULE_ANY},
    {"Set", KIT_RULE_ANY, 0},            {"Dbl", KIT_RULE_SOME, 0},
    {"Hid", KIT_RULE_SOME, 0},           {"Inv", KIT_RULE_SOME, 0},
    {"Pln", 1, KIT_RULE_SOME},           {"Int", 0, 2},
    {"X0", 0, KIT_RULE_ANY},             {"Ctr", 0, 1},
    {"CtY", 0, 1},                       {"Mrg", 0, KIT_RULE_SEVERAL},
    {"Mve", KIT_RULE_ANY, KIT_RULE_SOME}, {"Map", 1, 0, 1},
    {"Exp", KIT_RULE_ANY, KIT_RULE_ANY}, {"Cpy", KIT_RULE_ANY, KIT_RULE_ANY},
    {"Trf", KIT_RULE_ANY, KIT_RULE_ANY}, {"Hle", 2, 0, 1},
    {"Mrk", KIT_RULE_SOME, 0},           {"Rem", 1, 1},
};

static const int kGridX[4] = {156, 194, 232, 270};
static const int kGridY[3] = {4, 19, 34};
static const KitGridLayout kGridLayout = {kGridX, kGridY, 3, MESHP_GRID_MAX, GRID_WIDTH};

static struct {
    WinId window;
    WinId polygonsBox, verticesBox, multBox, clearPolygons, allPolygons, clearVertices, allVertices, exit;
    // The switches keep their state from one opening to the next.
    int selectPolygons, selectVertices, mult;
    int moving, wantMoving;
    KitGrid grid;   // its counts: polygons, vertices
} meshPanel;

static struct {
    WinId window, ok, cancel;
    WinId fields[TRF_FIELDS];
    WinId reflect[3];
    char text[TRF_FIELDS][KIT_NUMBER_CHARS + 1];
} transformDlg;

// ============================================================================================
// Rules and selection
// ============================================================================================

int MeshPanelGrid(int polygons, int vertices, const char* labels[MESHP_GRID_MAX])
{
    int commands[MESHP_GRID_MAX];
    int n = KitGridChoose(kCommands, CMD_COUNT, polygons, vertices, commands, MESHP_GRID_MAX);
    if (n > MESHP_GRID_MAX) n = MESHP_GRID_MAX;
    for (int i = 0; i < n; i++) labels[i] = kCommands[commands[i]].label;
    return n;
}

int MeshPanelCommandDisabled(const char* label)
{
    for (const KitCommand& c : kCommands)
        if (strcmp(c.label, label) == 0) return c.disabled;
    return 0;
}

// Counted by walking the block, without the lists the mesh operations build: the panel
// counts every frame.
static void CountSelected(int* polygons, int* vertices)
{
    uint8_t* b = ShapeMEdit()->data;
    *polygons = *vertices = 0;
    int n = ShapePolygonCount(b);
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < n; i++, p = ShapeNextPolygon(p)) *polygons += (GetU16(p, POLY_FLAGS) & PF_SELECTED) != 0;
    n = ShapeVertexCount(b);
    for (int i = 0; i < n; i++) *vertices += (ShapeVertexFlags(b, i) & VF_SELECTED) != 0;
}

// The first selected polygon and vertex (-1 when none).
static int FirstSelectedPolygon(void)
{
    uint8_t* b = ShapeMEdit()->data;
    int n = ShapePolygonCount(b);
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < n; i++, p = ShapeNextPolygon(p))
        if (GetU16(p, POLY_FLAGS) & PF_SELECTED) return i;
    return -1;
}

static int FirstSelectedVertex(void)
{
    uint8_t* b = ShapeMEdit()->data;
    for (int i = 0; i < ShapeVertexCount(b); i++)
        if (ShapeVertexFlags(b, i) & VF_SELECTED) return i;
    return -1;
}

// A new pick replaces the selection of the kinds the panel selects.
static void ClearPickedKinds(void)
{
    if (meshPanel.selectPolygons) MeshSelectAllPolygons(0);
    if (meshPanel.selectVertices) MeshSelectAllVertices(0);
}

static void SelectVertex(int vertex, int on) { MeshSelectVertex(vertex, on); }
static void SelectPolygon(int polygon, int on) { MeshSelectPolygon(polygon, on); }
static const KitSelection kVertexSelection = {ClearPickedKinds, SelectVertex};
static const KitSelection kPolygonSelection = {ClearPickedKinds, SelectPolygon};

static void PickVertex(int vertex, int on)
{
    if (meshPanel.selectVertices) KitPick(kVertexSelection, meshPanel.mult, vertex, on);
}

static void PickPolygon(int polygon, int on)
{
    if (meshPanel.selectPolygons) KitPick(kPolygonSelection, meshPanel.mult, polygon, on);
}

static void Rectangle(WinParam p1, WinParam p2)
{
    int32_t rect[4];
    KitRect(p1, p2, rect);
    if (KitRectIsClick(rect, CLICK_SIZE)) {
        const EditPick* pick = EditPickBefore();
        if (meshPanel.selectVertices && pick->vertex >= 0) PickVertex(pick->vertex, 1);
        else if (meshPanel.selectPolygons && pick->polygon >= 0) PickPolygon(pick->polygon, 1);
        else if (!meshPanel.mult) ClearPickedKinds();
        return;
    }
    // The view that drew the rectangle selects what it drew inside it, in its own coordinates.
    uint32_t flags = 0;
    if (meshPanel.selectVertices) flags |= EDIT_RECT_VERTICES;
    if (meshPanel.selectPolygons) flags |= EDIT_RECT_POLYGONS;
    if (meshPanel.mult) flags |= EDIT_RECT_KEEP;
    if (flags & (EDIT_RECT_VERTICES | EDIT_RECT_POLYGONS)) EditRequestRectSelect(flags, rect);
}

// The view marks (and its right button drops) the kinds the switches select.
static int PickMode(void)
{
    return (meshPanel.selectVertices ? EDIT_PICK_VERTICES : 0) | (meshPanel.selectPolygons ? EDIT_PICK_POLYGONS : 0);
}

// ============================================================================================
// Export and copy of the selection
// ============================================================================================

// The selection as a shape of its own, prepared for writing: unselected polygons go,
// unselected vertices lose their names and go when no polygon uses them. The edit buffer is
// worked on with undo off and then put back byte for byte, so neither it nor its undo copy
// changes. 0, or 1 when there was no room to prepare it.
static int ExportSelection(std::vector<uint8_t>& out)
{
    ShapeBlock* s = ShapeMEdit();
    uint8_t* b = s->data;
    std::vector<uint8_t> saved(b, b + ShapeUsedSize(b));
    int was = ShapeMUndoOn();
    ShapeMSetUndo(0);
    MeshInvertPolygonSelection();
    MeshDeletePolygon(MESH_SELECTED);
    for (int v = 0; v < ShapeVertexCount(b); v++) {
        int selected = (ShapeVertexFlags(b, v) & VF_SELECTED) != 0;
        if (!selected) MeshSetPointName(v, 0);
        MeshSelectVertex(v, !selected);
    }
    MeshDeleteVertex(MESH_SELECTED);
    MeshSelectAllVertices(0);
    uint32_t size = 0;
    int refused = ShapeMPrepareForWriting(nullptr, &size);
    if (!refused) out.assign(b, b + size);
    memcpy(b, saved.data(), saved.size());
    ShapeMSetUndo(was);
    return refused;
}

static void ExportTo(const char* path)
{
    if (ObjPanelRefuseForeign(path)) return;
    std::vector<uint8_t> bytes;
    if (ExportSelection(bytes) || FileSaveWithBackup(path, bytes.data(), bytes.size()))
        MsgBoxShow("File Error", "Error saving exported mesh.");
}

// The exported selection merged back: a selected duplicate of it, one undo step.
static void CopySelection(void)
{
    std::vector<uint8_t> bytes;
    if (ExportSelection(bytes)) return;
    ResId id = ResCreate(bytes.size());
    if (!id) {
        LogPrintf(LOG_WARN, "MESH: no memory to copy the selection");
        return;
    }
    memcpy(ResPeek(id), bytes.data(), bytes.size());
    ShapeMMerge(id);
    ResFree(id);
}

// ============================================================================================
// Mesh Transform
// ============================================================================================

// Read in the order the steps run: Rescale, Pitch, Roll, Yaw. A field that is no number ends
// the reading; a value out of range is passed over.
static void TransformOk(void)
{
    static const int order[TRF_FIELDS] = {3, 0, 1, 2};   // fields: Pitch, Roll, Yaw, Rescale
    int32_t value[TRF_FIELDS] = {TRF_SCALE_UNCHANGED, 0, 0, 0};
    for (int i = 0; i < TRF_FIELDS; i++) {
        int32_t v;
        if (!KitReadInt(transformDlg.text[order[i]], &v)) break;
        if (i == 0) value[0] = v;
        else if (v >= 1 && v <= TRF_DEGREES_MAX) value[i] = v;
    }
    int reflect = 0;
    for (int a = 0; a < 3; a++) reflect |= KitState(transformDlg.reflect[a]) << a;
    MeshTransform(value[0], value[1], value[2], value[3], reflect);
}

static int TransformProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    static const char* const labels[TRF_FIELDS] = {"Pitch:", "Roll:", "Yaw:", "Rescale:"};
    static const char* const reflects[3] = {"Reflect X", "Reflect Y", "Reflect Z"};
    if (message == WM_CREATE) {
        transformDlg.window = self;
        for (int i = 0; i < TRF_FIELDS; i++)
            transformDlg.fields[i] = KitField(TRF_FIELD_X, 23 + 15 * i, TRF_FIELD_WIDTH, transformDlg.text[i], KIT_NUMBER_CHARS);
        for (int a = 0; a < 3; a++) transformDlg.reflect[a] = KitButton(100, 23 + 15 * a, 60, BUTTON_TOGGLE, reflects[a]);
        transformDlg.ok = KitButton(20, 130, KIT_BUTTON_WIDTH, BUTTON_PUSH, "Ok");
        transformDlg.cancel = KitButton(100, 130, KIT_BUTTON_WIDTH, BUTTON_PUSH, "Cancel");
        return 1;
    }
    if (self != transformDlg.window) return 1;
    int answer = KitDialogAnswer(message, p1);
    if (message == WM_PRESSED && *p1 && (sender == transformDlg.ok || sender == transformDlg.cancel))
        answer = sender == transformDlg.ok ? KIT_OK : KIT_CANCEL;
    if (answer) {
        if (answer == KIT_OK) TransformOk();
        WinClose(self);
        return 0;
    }
    switch (message) {
    case WM_DESTROY: transformDlg = {}; return 1;
    case WM_DRAWCLIENT:
        KitClearClient();
        for (int i = 0; i < TRF_FIELDS; i++) KitPrint(6, 24 + 15 * i, DrawTextColour(), "%s", labels[i]);
        return 0;
    case WM_PRESSED:
        // A switch took the focus: the keys go back to the fields, so that Enter still answers.
        if (transformDlg.fields[0]) WinSetFocus(transformDlg.fields[0]);
        return 0;
    case WM_FOCUS:
    case WM_EDITCHANGED: return 0;
    default: return 1;
    }
}

static void OpenTransform(void)
{
    if (transformDlg.window && WinIsWindow(transformDlg.window)) {
        WinSetFocus(transformDlg.fields[0]);
        return;
    }
    transformDlg = {};
    for (int i = 0; i < TRF_FIELDS; i++) KitWriteInt(transformDlg.text[i], sizeof transformDlg.text[i], i == 3 ? TRF_SCALE_UNCHANGED : 0);
    if (KitDialog(CLASS_MESH_TRANSFORM, TRF_X, TRF_Y, TRF_WIDTH, TRF_HEIGHT, "Mesh Transform")) {
        WinSetFocus(transformDlg.fields[0]);
        WinParam p1 = 0, p2 = 0;
        WinSendMessage(transformDlg.fields[0], WM_EDITSELECTALL, &p1, &p2);
    }
}

// ============================================================================================
// The panel
// ============================================================================================

// Why a command that edits the shape left it as it was: the status line says so rather than
// nothing happening without a word. Null for commands that always act.
static const char* Unchanged(int command)
{
    switch (command) {
    case CMD_DEL: return "Del: the selected vertices are used by polygons not selected, or named.";
    case CMD_SET: return "Set: the selected polygons have the current material already.";
    case CMD_PLN: return "Pln: the selected vertices lie on the polygon's plane already.";
    case CMD_X0: return "X0: the selected vertices have X 0 already.";
    case CMD_CTR: return "Ctr: the shape is centred on the selected vertex already.";
    case CMD_CTY: return "CtY: the selected vertex is at Y 0 already.";
    case CMD_REM: return "Rem: the selected vertex is no point of the selected polygon.";
    default: return nullptr;
    }
}

static void RunCommand(WinId self, int command);

static void Run(WinId self, int command)
{
    int polygons, vertices;
    CountSelected(&polygons, &vertices);
    if (command == CMD_MRG && vertices != 2) {
        EditNote("Mrg merges two selected vertices; %d are selected. Nothing merged.", vertices);
        return;
    }
    const char* why = Unchanged(command);
    if (!why) {
        RunCommand(self, command);
        return;
    }
    const uint8_t* b = ShapeMEdit()->data;
    std::vector<uint8_t> before(b, b + ShapeUsedSize(b));
    RunCommand(self, command);
    b = ShapeMEdit()->data;
    if (ShapeUsedSize(b) == before.size() && memcmp(b, before.data(), before.size()) == 0) EditNote("%s", why);
}

static void RunCommand(WinId self, int command)
{
    switch (command) {
    case CMD_TEX:
        // The hexadecimal twin on the selected polygon; a window already open gives way.
        MappingOpenTex(MeshFirstSelectedPolygon(), -1);
        break;
    case CMD_DEL: MeshDeleteSelection(); break;
    case CMD_SET: MeshSetMaterial(MESH_SELECTED, MatMCurrent()); break;
    case CMD_DBL: MeshDouble(MESH_SELECTED); break;
    case CMD_HID: MeshToggleHidden(MESH_SELECTED); break;
    case CMD_INV: MeshInvert(MESH_SELECTED); break;
    case CMD_PLN: MeshPlane(MESH_SELECTED, MESH_SELECTED); break;
    case CMD_INT: MeshInterpolate(MESH_SELECTED, MESH_SELECTED); break;
    case CMD_X0: MeshSetXZero(MESH_SELECTED); break;
    case CMD_CTR: MeshCentreOn(MESH_SELECTED); break;
    case CMD_CTY: MeshCentreYOn(MESH_SELECTED); break;
    case CMD_MRG: MeshMerge(); break;
    case CMD_MVE:
        meshPanel.wantMoving = 1;
        EditSetTool(EDIT_TOOL_MESH_MOVE, 0);
        break;
    case CMD_EXP: FileSelSave(ObjPanelFolder(), "*.SHP", "", self); break;
    case CMD_CPY: CopySelection(); break;
    case CMD_TRF: OpenTransform(); break;
    case CMD_MRK: MeshToggleMarked(MESH_SELECTED); break;
    case CMD_REM: MeshRemovePoint(FirstSelectedPolygon(), FirstSelectedVertex()); break;
    default: break;   // "Map" and "Hle" have no effect
    }
}

static void BuildGrid(int polygons, int vertices)
{
    KitGridBuild(&meshPanel.grid, kCommands, CMD_COUNT, kGridLayout, polygons, vertices);
}

static WinId* const kControls[] = {&meshPanel.polygonsBox,   &meshPanel.verticesBox,   &meshPanel.multBox,
                                   &meshPanel.clearPolygons, &meshPanel.allPolygons,   &meshPanel.clearVertices,
                                   &meshPanel.allVertices,   &meshPanel.exit};
enum { CONTROL_COUNT = sizeof kControls / sizeof kControls[0] };

// The controls go with their panel; their ids may be handed to other windows afterwards, so
// a new panel must not destroy what the old ids now name.
static void ForgetControls(void)
{
    KitForget(kControls, CONTROL_COUNT);
    KitGridForget(&meshPanel.grid);
}

// Either the selection controls, or "Exit" while the view moves the selection.
static void BuildControls(void)
{
    KitGridClear(&meshPanel.grid);
    for (WinId* w : kControls) KitDestroy(w);
    meshPanel.moving = meshPanel.wantMoving;
    if (meshPanel.moving) {
        meshPanel.exit = KitButton(10, 4, KIT_BUTTON_WIDTH, BUTTON_PUSH, "Exit");
        return;
    }
    meshPanel.polygonsBox = KitSwitch(10, 4, SWITCH_WIDTH, "Polygons", meshPanel.selectPolygons);
    meshPanel.verticesBox = KitSwitch(10, 19, SWITCH_WIDTH, "Vertices", meshPanel.selectVertices);
    meshPanel.multBox = KitSwitch(10, 34, SWITCH_WIDTH, "Mult", meshPanel.mult);
    meshPanel.clearPolygons = KitButton(CLEAR_X, 4, SMALL_BUTTON, BUTTON_PUSH, "C");
    meshPanel.allPolygons = KitButton(ALL_X, 4, SMALL_BUTTON, BUTTON_PUSH, "A");
    meshPanel.clearVertices = KitButton(CLEAR_X, 19, SMALL_BUTTON, BUTTON_PUSH, "C");
    meshPanel.allVertices = KitButton(ALL_X, 19, SMALL_BUTTON, BUTTON_PUSH, "A");
    EditSetTool(EDIT_TOOL_MESH_RECT, PickMode());
}

static void Pressed(WinId self, WinId sender, int on)
{
    // The switches report both ways; the push buttons only their press counts.
    if (sender == meshPanel.polygonsBox) meshPanel.selectPolygons = on;
    else if (sender == meshPanel.verticesBox) meshPanel.selectVertices = on;
    else if (sender == meshPanel.multBox) meshPanel.mult = on;
    if ((sender == meshPanel.polygonsBox || sender == meshPanel.verticesBox) && EditToolMode() == EDIT_TOOL_MESH_RECT)
        EditSetTool(EDIT_TOOL_MESH_RECT, PickMode());
    if (!on) return;
    if (sender == meshPanel.clearPolygons) MeshSelectAllPolygons(0);
    else if (sender == meshPanel.allPolygons) MeshSelectAllPolygons(1);
    else if (sender == meshPanel.clearVertices) MeshSelectAllVertices(0);
    else if (sender == meshPanel.allVertices) MeshSelectAllVertices(1);
    else if (sender == meshPanel.exit) {
        MeshMoveDone();
        meshPanel.wantMoving = 0;
    } else if (int command = KitGridCommand(&meshPanel.grid, sender); command >= 0) {
        Run(self, command);
    }
}

static void Draw(void)
{
    KitClearClient();
    if (meshPanel.moving) {
        KitPrint(66, 6, DrawTextColour(), "Moving");
        return;
    }
    uint8_t* b = ShapeMEdit()->data;
    KitPrintRight(COUNTS_RIGHT, 4, DrawTextColour(), "%d/%d", meshPanel.grid.shown[0], ShapePolygonCount(b));
    KitPrintRight(COUNTS_RIGHT, 19, DrawTextColour(), "%d/%d", meshPanel.grid.shown[1], ShapeVertexCount(b));
    KitGridDrawDisabled(&meshPanel.grid, kCommands, kGridLayout, DrawShadow());
}

static int MeshPanelProc(WinId self, WinId sender, int message, WinParam* p1, WinParam* p2)
{
    if (message == WM_CREATE) {
        meshPanel.window = self;
        meshPanel.moving = meshPanel.wantMoving = 0;
        ForgetControls();
        BuildControls();
        int polygons, vertices;
        CountSelected(&polygons, &vertices);
        BuildGrid(polygons, vertices);
        return 1;
    }
    if (self != meshPanel.window) return 1;
    switch (message) {
    case WM_DESTROY:
        if (meshPanel.moving) MeshMoveDone();
        if (transformDlg.window && WinIsWindow(transformDlg.window)) WinClose(transformDlg.window);
        meshPanel.window = 0;
        ForgetControls();
        return 1;
    case WM_TICK: {
        if (meshPanel.wantMoving != meshPanel.moving) BuildControls();
        if (meshPanel.moving) return 1;
        int polygons, vertices;
        CountSelected(&polygons, &vertices);
        if (KitGridStale(&meshPanel.grid, polygons, vertices)) BuildGrid(polygons, vertices);
        return 1;
    }
    case WM_DRAWCLIENT: Draw(); return 0;
    case WM_PRESSED: Pressed(self, sender, *p1 != 0); return 0;
    case PANEL_MSG_RECT: Rectangle(*p1, *p2); return 0;
    case PANEL_MSG_VERTEX: PickVertex((int)*p1, *p2 != 0); return 0;
    case PANEL_MSG_POLYGON: PickPolygon((int)*p1, *p2 != 0); return 0;
    case FILESEL_CHOSEN:
        if (*p1) ExportTo((const char*)*p1);
        return 0;
    default: return 1;
    }
}

void MeshPanelRegister(void)
{
    meshPanel = {};
    meshPanel.selectPolygons = meshPanel.selectVertices = 1;
    transformDlg = {};
    WinCreateClass(CLASS_MESH_PANEL, CLASS_FRAME, 0, MeshPanelProc);
    WinCreateClass(CLASS_MESH_TRANSFORM, CLASS_FRAME, 0, TransformProc);
}
