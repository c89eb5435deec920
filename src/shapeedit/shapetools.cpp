#include "shapeedit/shapetools.h"

#include <cstring>

#include "base/bytes.h"
#include "base/log.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "frontend/view.h"
#include "kernel/app.h"
#include "materials/matm.h"
#include "shapeedit/pointname.h"
#include "shapeedit/shapeview.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"

enum {
    DIALOG_STYLE = FRAME_BORDER | FRAME_TITLE | FRAME_DRAG,
    MAPPING_X = 60,
    MAPPING_Y = 30,
    MAPPING_W = 540,
    MAPPING_H = 225,
    MAPPING_SMALL_X = 10,
    MAPPING_SMALL_W = 210,
    MAPPING_SMALL_H = 97,
};

static uint8_t* EditBlock(void) { return ShapeViewBlock(); }

static int VertexOfPolygon(uint8_t* b, int polygon, int vertex)
{
    const uint8_t* p = ShapePolygon(b, polygon);
    if (!p || vertex < 0) return -1;
    for (int k = 0; k < ShapePolyPoints(p); k++)
        if (ShapePolyIndex(p, k) == vertex) return k;
    return -1;
}

// Polygons "Add": points gather until the first is picked again (three or more) or a fourth
// arrives; the polygon gets the current material.
static void AddPolygonPoint(int vertex)
{
    uint8_t* b = EditBlock();
    if (vertex < 0) {
        EditClearPointList();
        return;
    }
    int n = EditPointCount();
    if (!(n >= 3 && vertex == EditPoint(0))) {
        for (int k = 0; k < n; k++)
            if (EditPoint(k) == vertex) return;   // a point once only
        EditAppendPoint(vertex);
        n++;
        if (n < EDIT_POINT_LIST_MAX) return;
    }
    uint16_t indices[EDIT_POINT_LIST_MAX];
    int valid = 1;
    for (int k = 0; k < n; k++) {
        indices[k] = (uint16_t)EditPoint(k);
        valid = valid && EditPoint(k) < ShapeVertexCount(b);
    }
    EditClearPointList();
    if (!valid) return;
    ShapeMSaveUndo();
    if (ShapeAppendPolygonWithNormal(ShapeMEdit(), n, indices, (uint16_t)MatMCurrent()) < 0) {
        LogPrintf(LOG_WARN, "VIEW: no room for the new polygon");
        return;
    }
    // Seen from its back it is easily taken for a missing polygon: say so, and how to flip it.
    int made = ShapePolygonCount(EditBlock()) - 1;
    if (ShapeViewMarkIfFacingAway(made)) EditNote("Polygon %d faces away from the camera: press I to flip it.", made);
}

// Merge and Interp work on two selected vertices: a click selects or deselects one, and the
// click that leaves exactly two selected applies the tool and clears their selection.
static void PairTool(int tool, int vertex)
{
    uint8_t* b = EditBlock();
    if (vertex < 0 || vertex >= ShapeVertexCount(b)) return;
    MeshSelectVertex(vertex, !(ShapeVertexFlags(b, vertex) & VF_SELECTED));
    if (MeshSelectedVertexCount() != 2) return;
    if (tool == EDIT_TOOL_VERTEX_MERGE) MeshMerge();
    else MeshInterpolate(MESH_SELECTED, MESH_SELECTED);
    // Clearing bit by bit keeps the undo copy the operation made.
    b = EditBlock();
    for (int i = 0; i < ShapeVertexCount(b); i++) MeshSelectVertex(i, 0);
}

// Whether a vertex is a point of some polygon.
static int VertexUsed(uint8_t* b, int vertex)
{
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; p && i < ShapePolygonCount(b); i++, p = ShapeNextPolygon(p))
        for (int k = 0; k < ShapePolyPoints(p); k++)
            if (ShapePolyIndex(p, k) == vertex) return 1;
    return 0;
}

// The plane tools work on the one polygon the Mesh panel selected: without it, say so.
static int NeedsOnePolygon(const char* tool)
{
    int n = MeshSelectedPolygonCount();
    if (n == 1) return 0;
    EditNote("%s needs one polygon selected (Mesh panel); %d are selected.", tool, n);
    return 1;
}

// Vertices "PlaneXZ": the vertex drops along y onto the plane of the one selected polygon,
// keeping its x and z (nothing when no single polygon is selected or its plane is upright).
static void PlaneXZ(int vertex)
{
    uint8_t* b = EditBlock();
    if (vertex < 0 || vertex >= ShapeVertexCount(b) || MeshSelectedPolygonCount() != 1) return;
    const uint8_t* poly = nullptr;
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; p && i < ShapePolygonCount(b); i++, p = ShapeNextPolygon(p))
        if (GetU16(p, 0) & PF_SELECTED) poly = p;
    if (!poly || ShapePolyPoints(poly) < 3) return;
    int64_t n[3] = {GetI16(poly, 4), GetI16(poly, 6), GetI16(poly, 8)};
    if (n[1] == 0) return;
    int32_t q[3], v[3];
    ShapeVertexPos(b, ShapePolyIndex(poly, 0), q);
    ShapeVertexPos(b, vertex, v);
    int64_t y = q[1] - (n[0] * ((int64_t)v[0] - q[0]) + n[2] * ((int64_t)v[2] - q[2])) / n[1];
    MeshSetPosition(vertex, v[0], ViewClampWorld(y), v[2]);
}

// The window opens with the polygon's point at the clicked corner selected: the last point
// that uses the picked vertex; none (-1) after a click on no corner.
static void OpenMapping(int polygon, int vertex)
{
    uint8_t* b = EditBlock();
    const uint8_t* p = polygon >= 0 ? ShapePolygon(b, polygon) : nullptr;
    if (!p) return;
    int point = -1;
    for (int k = 0; vertex >= 0 && k < ShapePolyPoints(p); k++)
        if (ShapePolyIndex(p, k) == vertex) point = k;
    EditSetMappingTarget(polygon, point);
    if (WinId old = WinFindClass(CLASS_MAPPING)) WinClose(old);
    if (AppConfig()->resolution == RESOLUTION_320)
        WinCreate(MAPPING_SMALL_X, MAPPING_Y, MAPPING_SMALL_W, MAPPING_SMALL_H, WIN_DESKTOP, DIALOG_STYLE, CLASS_MAPPING);
    else
        WinCreate(MAPPING_X, MAPPING_Y, MAPPING_W, MAPPING_H, WIN_DESKTOP, DIALOG_STYLE, CLASS_MAPPING);
}

static void AddVertex(int rx, int ry)
{
    int32_t w[3];
    if (!ViewToolPoint(rx, ry, w, nullptr)) {
        ViewToolRefuse("Add Vertex", "Not on perspective view you don't!");
        return;
    }
    ShapeMSaveUndo();
    if (ShapeAppendVertex(ShapeMEdit(), w[0], w[1], w[2]) < 0) LogPrintf(LOG_WARN, "VIEW: no room for the new vertex");
    ShapeDerive(EditBlock());
}

static void GetMaterial(uint8_t* b, int polygon)
{
    WinId panel = WinFindClass(CLASS_MATERIALS_PANEL);
    if (polygon < 0 || !panel) return;
    uint16_t m = GetU16(ShapePolygon(b, polygon), 2);
    // An unresolved material draws as the Dummy; that is what the user picked.
    MatMSetCurrent((m & MAT_UNRESOLVED) ? 0 : m);
    ViewTellPanel(CLASS_MATERIALS_PANEL, PANEL_MSG_MATERIAL, MatMCurrent(), 0);
}

static void StartMeshMove(int tool, int rx, int ry)
{
    int32_t w[3];
    if (!ViewToolPoint(rx, ry, w, nullptr)) {
        ViewToolRefuse("Move", "Not on perspective view.");
        return;
    }
    ShapeMSaveUndo();
    ViewToolStartMove(tool, w);
}

// The tools that act on the picked polygon; 0 when the tool is none of them.
static int PolygonTool(uint8_t* b, int tool, int32_t polygon, int32_t vertex)
{
    switch (tool) {
    case EDIT_TOOL_POLY_DELETE:
        if (polygon >= 0) MeshDeletePolygon(polygon);
        return 1;
    case EDIT_TOOL_POLY_FLATTEN:
        if (polygon < 0) return 1;
        if (ShapePolyPoints(ShapePolygon(b, polygon)) != 4)
            EditNote("Flatten works on quads; polygon %d has %d points.", (int)polygon, ShapePolyPoints(ShapePolygon(b, polygon)));
        else MeshFlatten(polygon, VertexOfPolygon(b, polygon, vertex) >= 0 ? vertex : MESH_SELECTED);
        return 1;
    case EDIT_TOOL_POLY_COMBINE:
        if (polygon < 0) return 1;
        if (EditFirstPolygon() < 0) {
            EditSetFirstPolygon(polygon);
        } else if (EditFirstPolygon() != polygon) {
            if (MeshCombine(EditFirstPolygon(), polygon) != 0)
                EditNote("Combine joins two triangles sharing an edge, flat together, in one material.");
            EditSetFirstPolygon(-1);
        }
        return 1;
    case EDIT_TOOL_POLY_MAPPING: OpenMapping(polygon, vertex); return 1;
    case EDIT_TOOL_POLY_HIDE:
        if (polygon >= 0) MeshToggleHidden(polygon);
        return 1;
    case EDIT_TOOL_POLY_DOUBLE:
        if (polygon >= 0) MeshDouble(polygon);
        return 1;
    case EDIT_TOOL_MATERIAL_SET:
        if (polygon >= 0) MeshSetMaterial(polygon, MatMCurrent());
        return 1;
    case EDIT_TOOL_MATERIAL_GET: GetMaterial(b, polygon); return 1;
    case EDIT_TOOL_POLY_INVERT:
        if (polygon >= 0) MeshInvert(polygon);
        return 1;
    case EDIT_TOOL_MESH_POLYGON: ViewTellPanel(CLASS_MESH_PANEL, PANEL_MSG_POLYGON, polygon, 1); return 1;
    default: return 0;
    }
}

// The tools that act on the picked vertex; 0 when the tool is none of them.
static int VertexTool(WinId self, uint8_t* b, int tool, int32_t vertex)
{
    switch (tool) {
    case EDIT_TOOL_POLY_ADD: AddPolygonPoint(vertex); return 1;
    case EDIT_TOOL_VERTEX_DELETE:
        // A vertex with a name, or one a polygon uses, stays: the status line says why.
        if (vertex < 0) return 1;
        if (ShapePointName(b, vertex)) EditNote("Delete: vertex %d has a point name and stays.", (int)vertex);
        else if (VertexUsed(b, vertex)) EditNote("Delete: vertex %d stays while a polygon uses it.", (int)vertex);
        else MeshDeleteVertex(vertex);
        return 1;
    case EDIT_TOOL_VERTEX_MOVE:
        // One undo copy for the whole drag.
        if (vertex >= 0) {
            ShapeMSaveUndo();
            ViewToolSetDragItem(vertex);
        }
        return 1;
    case EDIT_TOOL_VERTEX_CAMERA:
        if (vertex >= 0) {
            int32_t p[3];
            ShapeVertexPos(b, vertex, p);
            ViewToolSetCentre(p);
        }
        return 1;
    case EDIT_TOOL_VERTEX_MERGE:
    case EDIT_TOOL_VERTEX_INTERP: PairTool(tool, vertex); return 1;
    case EDIT_TOOL_VERTEX_CENTRE_Y:
        if (vertex >= 0) MeshCentreYOn(vertex);
        return 1;
    case EDIT_TOOL_VERTEX_PLANE:
        if (vertex >= 0 && !NeedsOnePolygon("Plane")) MeshPlane(vertex, MESH_SELECTED);
        return 1;
    case EDIT_TOOL_VERTEX_CENTRE:
        if (vertex >= 0) MeshCentreOn(vertex);
        return 1;
    case EDIT_TOOL_MESH_VERTEX: ViewTellPanel(CLASS_MESH_PANEL, PANEL_MSG_VERTEX, vertex, 1); return 1;
    case EDIT_TOOL_VERTEX_PLANE_XZ:
        if (vertex >= 0 && !NeedsOnePolygon("PlaneXZ")) PlaneXZ(vertex);
        return 1;
    case EDIT_TOOL_VERTEX_NAME:
        if (vertex >= 0) PointNameOpen(self, vertex);
        return 1;
    default: return 0;
    }
}

void ShapeToolsLeftPress(WinId self, int tool, int rx, int ry)
{
    uint8_t* b = EditBlock();
    if (!b) return;
    ShapeViewRepick(self, rx, ry);
    int32_t vertex = EditPickBefore()->vertex, polygon = EditPickBefore()->polygon;
    if (vertex >= ShapeVertexCount(b)) vertex = -1;
    if (polygon >= ShapePolygonCount(b)) polygon = -1;
    if (tool == EDIT_TOOL_VERTEX_ADD) AddVertex(rx, ry);
    else if (tool == EDIT_TOOL_MESH_MOVE) StartMeshMove(tool, rx, ry);
    else if (!PolygonTool(b, tool, polygon, vertex) && !VertexTool(self, b, tool, vertex))
        return;   // 15, 21, 22, 23 and the World Editor's tools
    EditPickForget();
    ShapeViewChanged();
}

void ShapeToolsRightPress(WinId self, int tool, int rx, int ry)
{
    uint8_t* b = EditBlock();
    if (!b) return;
    ShapeViewRepick(self, rx, ry);
    int32_t vertex = EditPickBefore()->vertex, polygon = EditPickBefore()->polygon;
    // The mesh selection's right button is tool 24's or tool 25's: it drops the vertex under
    // the pointer when the panel picks vertices and one is there, else the polygon.
    if (tool == EDIT_TOOL_MESH_RECT)
        tool = (EditPickMode() & EDIT_PICK_VERTICES) && vertex >= 0 ? EDIT_TOOL_MESH_VERTEX : EDIT_TOOL_MESH_POLYGON;
    if (tool == EDIT_TOOL_MESH_VERTEX) ViewTellPanel(CLASS_MESH_PANEL, PANEL_MSG_VERTEX, vertex, 0);
    if (tool == EDIT_TOOL_MESH_POLYGON) ViewTellPanel(CLASS_MESH_PANEL, PANEL_MSG_POLYGON, polygon, 0);
}

// Runs a move step without an undo copy of its own: the press saved one for the whole drag.
static void WithoutUndo(void (*step)(void* arg), void* arg)
{
    int undo = ShapeMUndoOn();
    ShapeMSetUndo(0);
    step(arg);
    ShapeMSetUndo(undo);
}

struct VertexMove {
    int vertex;
    int32_t to[3];
};

static void SetVertexStep(void* arg)
{
    VertexMove* m = (VertexMove*)arg;
    MeshSetPosition(m->vertex, m->to[0], m->to[1], m->to[2]);
}

struct MeshMoveStep {
    int32_t delta[3];
};

static void MoveSelectionStep(void* arg)
{
    MeshMoveStep* m = (MeshMoveStep*)arg;
    for (int a = 0; a < 3; a++)
        if (m->delta[a]) MeshMove(MESH_SELECTED, a, m->delta[a]);
}

static void MoveVertex(int rx, int ry, int pressX, int pressY)
{
    int32_t w[3];
    int free = VIEW_AXIS_X;
    if (!ViewToolInside(rx, ry) || !ViewToolPoint(rx, ry, w, &free)) {
        ViewToolSetDragItem(-1);
        ViewToolRefuse("Move Vertex", "Not on perspective view.");
        return;
    }
    // A click without a move leaves the vertex where it is.
    if (rx == pressX && ry == pressY) return;
    uint8_t* b = EditBlock();
    if (ViewToolDragItem() >= ShapeVertexCount(b)) return;
    VertexMove m;
    m.vertex = ViewToolDragItem();
    ShapeVertexPos(b, m.vertex, m.to);
    int32_t before[3] = {m.to[0], m.to[1], m.to[2]};
    for (int a = 0; a < 3; a++)
        if (a != free) m.to[a] = w[a];
    if (memcmp(before, m.to, sizeof before) != 0) WithoutUndo(SetVertexStep, &m);
}

void ShapeToolsDrag(int tool, int rx, int ry, int pressX, int pressY)
{
    if (tool == EDIT_TOOL_VERTEX_MOVE && ViewToolDragItem() >= 0) {
        MoveVertex(rx, ry, pressX, pressY);
        return;
    }
    if (tool == EDIT_TOOL_MESH_MOVE && ViewToolMoving()) {
        int32_t w[3];
        int free = VIEW_AXIS_X;
        if (!ViewToolInside(rx, ry) || !ViewToolPoint(rx, ry, w, &free)) {
            ViewToolLeftView("Mesh Move", "selection");
            return;
        }
        MeshMoveStep m;
        if (ViewToolMoveDelta(w, free, m.delta)) WithoutUndo(MoveSelectionStep, &m);
    }
}

void ShapeToolsMoveEnded(int tool, int moved)
{
    if (moved && tool == EDIT_TOOL_MESH_MOVE) MeshMoveDone();
}
