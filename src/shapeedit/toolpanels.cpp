// The tool panels only set the tool the view applies (frontend/editstate.h); the buttons
// are mutually exclusive, so the one lit is the tool in use.
#include "shapeedit/toolpanels.h"

#include "base/bytes.h"
#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "shapes/shape.h"
#include "shapes/shapem_edit.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/panelkit.h"

enum {
    TOOL_GROUP = 1,
    TOOL_MAX_BUTTONS = 11,
    TOTAL_RIGHT = 312,  // "Total: N" ends here, clear of the buttons whatever N
    TOTAL_Y = 4,
    POINTS_X = 180,   // the point count of the polygon under the pointer
    POINTS_Y = 19,
    SORT_BUTTON_WIDTH = 80,
    NOSORT_ON = 1,
};

struct ToolButton {
    const char* label;
    int x, y;
    int tool, pick;
};

// What the view marks for the tools: every vertex, the vertex under the pointer, and with it
// the polygons' points picked so far or the polygon's corner under the pointer.
constexpr int PICK_VERTEX_UNDER = EDIT_PICK_VERTICES | EDIT_PICK_UNDER;
constexpr int PICK_NEW_POLYGON = PICK_VERTEX_UNDER | EDIT_PICK_POINTS;
constexpr int PICK_POLYGON_CORNER = EDIT_PICK_POLYGONS | EDIT_PICK_CORNER;

static const ToolButton kPolygonTools[] = {
    {"Add", 10, 4, EDIT_TOOL_POLY_ADD, PICK_NEW_POLYGON},
    {"Delete", 10, 19, EDIT_TOOL_POLY_DELETE, EDIT_PICK_POLYGONS},
    {"Combine", 10, 34, EDIT_TOOL_POLY_COMBINE, EDIT_PICK_POLYGONS | EDIT_PICK_FIRST},
    {"Mapping", 66, 19, EDIT_TOOL_POLY_MAPPING, PICK_POLYGON_CORNER},
    {"Flatten", 66, 34, EDIT_TOOL_POLY_FLATTEN, PICK_POLYGON_CORNER},
    {"Hide", 122, 4, EDIT_TOOL_POLY_HIDE, PICK_POLYGON_CORNER},
    {"Double", 122, 34, EDIT_TOOL_POLY_DOUBLE, EDIT_PICK_POLYGONS},
    {"Invert", 178, 4, EDIT_TOOL_POLY_INVERT, EDIT_PICK_POLYGONS},
};
static const ToolButton kVertexTools[] = {
    {"Add", 10, 4, EDIT_TOOL_VERTEX_ADD, EDIT_PICK_VERTICES},
    {"Delete", 10, 19, EDIT_TOOL_VERTEX_DELETE, PICK_VERTEX_UNDER},
    {"Move", 10, 34, EDIT_TOOL_VERTEX_MOVE, PICK_VERTEX_UNDER},
    {"Merge", 66, 4, EDIT_TOOL_VERTEX_MERGE, PICK_VERTEX_UNDER | EDIT_PICK_SELECTED},
    {"Interp", 66, 19, EDIT_TOOL_VERTEX_INTERP, PICK_VERTEX_UNDER | EDIT_PICK_SELECTED},
    {"Centre Y", 66, 34, EDIT_TOOL_VERTEX_CENTRE_Y, PICK_VERTEX_UNDER},
    {"Plane", 122, 4, EDIT_TOOL_VERTEX_PLANE, PICK_VERTEX_UNDER},
    {"Camera", 122, 19, EDIT_TOOL_VERTEX_CAMERA, PICK_VERTEX_UNDER},
    {"Centre", 122, 34, EDIT_TOOL_VERTEX_CENTRE, PICK_VERTEX_UNDER},
    {"PlaneXZ", 178, 34, EDIT_TOOL_VERTEX_PLANE_XZ, PICK_VERTEX_UNDER},
    {"Name", 234, 34, EDIT_TOOL_VERTEX_NAME, PICK_VERTEX_UNDER | EDIT_PICK_NAMES},
};

static struct {
    WinId window;
    const ToolButton* tools;
    int count;
    WinId buttons[TOOL_MAX_BUTTONS];
} toolPanel;

static struct {
    WinId window, makeSort, noSort;
} sorting;

// ============================================================================================
// Polygons and Vertices
// ============================================================================================

static int ToolPanelProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    int polygons = WinGetClass(self) == CLASS_POLYGONS_PANEL;
    switch (message) {
    case WM_CREATE:
        toolPanel.window = self;
        toolPanel.tools = polygons ? kPolygonTools : kVertexTools;
        toolPanel.count = polygons ? (int)(sizeof kPolygonTools / sizeof kPolygonTools[0])
                            : (int)(sizeof kVertexTools / sizeof kVertexTools[0]);
        for (int i = 0; i < toolPanel.count; i++) {
            toolPanel.buttons[i] = KitRadio(toolPanel.tools[i].x, toolPanel.tools[i].y, KIT_BUTTON_WIDTH, TOOL_GROUP, toolPanel.tools[i].label);
        }
        return 1;
    case WM_DESTROY:
        if (self == toolPanel.window) toolPanel.window = 0;
        return 1;
    case WM_PRESSED:
        if (!*p1 || self != toolPanel.window) return 0;
        if (int i = KitIndexOf(toolPanel.buttons, toolPanel.count, sender); i >= 0)
            EditSetTool(toolPanel.tools[i].tool, toolPanel.tools[i].pick);
        return 0;
    case WM_DRAWCLIENT: {
        KitClearClient();
        uint8_t* b = ShapeMEdit()->data;
        KitPrintRight(TOTAL_RIGHT, TOTAL_Y, DrawTextColour(), "Total: %d",
                     polygons ? ShapePolygonCount(b) : ShapeVertexCount(b));
        const uint8_t* under = polygons ? ShapePolygon(b, EditPickBefore()->polygon) : nullptr;
        if (under) KitPrint(POINTS_X, POINTS_Y, DrawTextColour(), "%d vertices  SMOOTH", ShapePolyPoints(under));
        return 0;
    }
    default: return 1;
    }
}

// ============================================================================================
// Sorting
// ============================================================================================

static int NoSortFlag(void) { return GetU16(ShapeMEdit()->data, SH_NOSORT) != 0; }

// The box follows the shape (a load or an undo may change the flag while it is shown); a
// press writes the flag, one undo step. Setting the box from here reports back with the
// shape's own value, which writes nothing.
static int SortingProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    switch (message) {
    case WM_CREATE:
        sorting.window = self;
        sorting.makeSort = KitButton(10, 16, SORT_BUTTON_WIDTH, BUTTON_PUSH, "Make Sort");
        sorting.noSort = KitButton(160, 16, SORT_BUTTON_WIDTH, BUTTON_TOGGLE, "No Sort");
        KitSetState(sorting.noSort, NoSortFlag());
        return 1;
    case WM_DESTROY:
        if (self == sorting.window) sorting = {};
        return 1;
    case WM_TICK:
        if (self == sorting.window && KitState(sorting.noSort) != NoSortFlag()) KitSetState(sorting.noSort, NoSortFlag());
        return 1;
    case WM_PRESSED:
        if (self != sorting.window) return 0;
        if (sender == sorting.makeSort && *p1) EditorRequest(REQUEST_SORT);
        if (sender == sorting.noSort && (*p1 != 0) != NoSortFlag()) {
            ShapeMSaveUndo();
            PutU16(ShapeMEdit()->data, SH_NOSORT, *p1 ? NOSORT_ON : 0);
        }
        return 0;
    default: return 1;
    }
}

void ToolPanelsRegister(void)
{
    toolPanel = {};
    sorting = {};
    WinCreateClass(CLASS_POLYGONS_PANEL, CLASS_FRAME, 0, ToolPanelProc);
    WinCreateClass(CLASS_VERTICES_PANEL, CLASS_FRAME, 0, ToolPanelProc);
    WinCreateClass(CLASS_SORTING_PANEL, CLASS_FRAME, 0, SortingProc);
}
