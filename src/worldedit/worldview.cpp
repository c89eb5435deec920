#include "worldedit/worldview.h"

#include <cmath>
#include <cstring>

#include "base/maths.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "frontend/msgbox.h"
#include "frontend/view.h"
#include "kernel/app.h"
#include "kernel/timing.h"
#include "platform/platform.h"
#include "render/draw3d.h"
#include "scene/terraindraw.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"
#include "world/net.h"
#include "world/terrain.h"
#include "world/worldm.h"
#include "worldedit/worldm_editview.h"

enum {
    NO_POINTER = VIEW_NO_POINTER,
    WORLD_SELECTED_COLOUR = 255,   // boxes of the selected worldshapes
    WORLD_POINTED_COLOUR = 254,    // the box and label of the worldshape under the pointer
    NODE_COLOUR = 250,
    NODE_HIGHLIGHT_COLOUR = 255,   // the node under the pointer
    NODE_MARK = 2,                 // half size of a node's marker
    GROUND_GRID_LINES = 32,        // at most this many ground lines each way
};
// The ground grid's colour (2.14): a cool grey that neither the background nor white hides.
static const int32_t kGroundColour[3] = {5000, 6000, 8000};

// How far the world reaches from the origin: the diagonal of its cells, or the height the
// view asks for when that is more. A parallel eye stands this far back to see all of it.
static double WorldRadius(void)
{
    if (!WorldMIsInstalled()) return 0;
    double edge = WorldMCellEdge();
    double x = WorldMCellsX() * edge, y = WorldMCellsY() * edge, z = WorldMCellsZ() * edge;
    double r = std::sqrt(x * x + y * y + z * z), h = (double)WorldMViewHeight();
    return r > h ? r : h;
}

// ============================================================================================
// The world as drawn: terrain, worldshapes, nodes, picks and rectangle selection
// ============================================================================================

// ============================================================================================

// Where the last World Editor drawing picked, so that a press elsewhere picks again.
static struct {
    WinId view;
    int pointerX, pointerY, pointerInside;
} worldSeen;

// The ground (height 0) over the world's cells, as lines of the 3D frame drawn before the
// worldshapes: what stands on it covers it, and it never covers them. Where the world has a
// terrain, the terrain shows the ground instead.
static void GroundGrid(void)
{
    TerrainInfo t;
    if (!WorldMIsInstalled() || (TerrainGetInfo(&t) && t.across >= 2 && t.deep >= 2)) return;
    uint32_t cellsX = WorldMCellsX(), cellsZ = WorldMCellsZ();
    if (!cellsX || !cellsZ) return;
    double edge = (double)WorldMCellEdge();
    uint32_t stepX = (cellsX + GROUND_GRID_LINES - 1) / GROUND_GRID_LINES;
    uint32_t stepZ = (cellsZ + GROUND_GRID_LINES - 1) / GROUND_GRID_LINES;
    int across = (int)((cellsX + stepX - 1) / stepX) + 1, deep = (int)((cellsZ + stepZ - 1) / stepZ) + 1;
    double width = cellsX * edge, depth = cellsZ * edge;
    static float points[2 * 2 * (GROUND_GRID_LINES + 1) * 3 * 2];
    int n = 0;
    auto point = [&](double x, double z) {
        points[3 * n] = (float)x;
        points[3 * n + 1] = 0.0f;
        points[3 * n + 2] = (float)z;
        n++;
    };
    for (int i = 0; i < across; i++) {
        double x = i * (double)stepX * edge;
        if (x > width) x = width;
        point(x, 0);
        point(x, depth);
    }
    for (int i = 0; i < deep; i++) {
        double z = i * (double)stepZ * edge;
        if (z > depth) z = depth;
        point(0, z);
        point(width, z);
    }
    static const int16_t identity[9] = {16384, 0, 0, 0, 16384, 0, 0, 0, 16384};
    int16_t relative[9];
    Draw3DRelativeOrientation(identity, relative);
    const int32_t origin[3] = {0, 0, 0};
    int32_t camPos[3];
    Draw3DWorldToCamera(origin, camPos);
    double radius = std::sqrt(width * width + depth * depth);
    Draw3DObjectF(camPos, relative, 16384, radius >= (double)INT32_MAX ? INT32_MAX : (int32_t)radius, n, points);
    for (int i = 0; i + 1 < n; i += 2) Draw3DPointLine(i, i + 1, kGroundColour[0], kGroundColour[1], kGroundColour[2]);
}

static void DrawNodeItems(int width)
{
    TextSetFormat(TEXT_MODE_PLAIN, -1, 0, width - 1);
    const NetDrawItem* items = NetDrawItems();
    for (int i = 0; i < NetDrawCount(); i++) {
        const NetDrawItem& it = items[i];
        switch (it.kind) {
        case NET_DRAW_LINE: DrawLine(it.x0, it.y0, it.x1, it.y1, it.colour); break;
        case NET_DRAW_MARKER:
            DrawFillRect(it.x0 - NODE_MARK, it.y0 - NODE_MARK, it.x0 + NODE_MARK, it.y0 + NODE_MARK, it.colour);
            break;
        case NET_DRAW_NAME: {
            char text[5];
            TextSetColour(it.colour);
            TextPrint(it.x0 + 2 * NODE_MARK + 2, it.y0 - 4, "%s", Name4ToText(it.name, text));
            break;
        }
        default: break;
        }
    }
}

// A rectangle selection the World Editor's panels asked of this view: for the worldshapes
// (bit 0 select, bit 1 deselect) and the nodes (NET_RECT_SELECT or NET_RECT_DESELECT), in
// the client's coordinates.
struct WorldRect {
    int shapes, nodes;
    int32_t rect[4];
};

// The rectangle of this frame, taken by the drawing and used again by the overlay.
static WorldRect frameRect;

static void TakeWorldRect(WinId self, WorldRect* r)
{
    r->shapes = r->nodes = 0;
    uint32_t flags;
    if (EditActiveView() != self || !EditTakeRectSelect(&flags, r->rect)) return;
    ViewToRegion(self, r->rect);
    int off = (flags & EDIT_RECT_DESELECT) != 0;
    if (flags & VIEW_RECT_WORLD_SHAPES) r->shapes = off ? 2 : 1;
    if (flags & VIEW_RECT_NODES) r->nodes = off ? NET_RECT_DESELECT : NET_RECT_SELECT;
}

static void Draw(ViewFrame* f)
{
    frameRect = {0, 0, {0, 0, 0, 0}};
    WorldMSetShapeFilter(ViewWorldShapeFilter(f->flags));
    TakeWorldRect(f->view, &frameRect);
    GroundGrid();
    // The ground first: the worldshapes stand on it and the depth test hides what it covers.
    if (f->flags & VIEWF_TERRAIN) TerrainDraw();
    WorldMDrawShapes(frameRect.shapes, frameRect.shapes ? frameRect.rect : nullptr);
}

// After the frame: the selected worldshapes' boxes, the one under the pointer with its label,
// and the nodes; the picks go to the frame.
static void Overlay(ViewFrame* f)
{
    int width = f->width, inside = f->inside, px = f->px, py = f->py;
    WorldRect* r = &frameRect;
    WorldMDrawSelectionBoxes(WORLD_SELECTED_COLOUR);
    uint16_t shape = inside ? WorldMPick(px, py) : 0;
    if (shape) {
        TextSetFormat(TEXT_MODE_PLAIN, -1, 0, width - 1);
        WorldMDrawPointedShape(shape, WORLD_POINTED_COLOUR);
    }
    NetView view{Draw3DProjectPoint, TimerMs(), inside ? px : NO_POINTER, inside ? py : NO_POINTER, r->nodes,
                 {r->rect[0], r->rect[1], r->rect[2], r->rect[3]}};
    if (!r->nodes) memset(view.rect, 0, sizeof view.rect);
    int node = WorldMNodeDisplay(NODE_COLOUR, NODE_HIGHLIGHT_COLOUR, &view);
    DrawNodeItems(width);
    f->pick.worldShape = shape;
    f->pick.node = (uint32_t)(node > 0 ? node : 0);
    worldSeen.view = f->view;
    worldSeen.pointerX = px;
    worldSeen.pointerY = py;
    worldSeen.pointerInside = inside;
}

// ============================================================================================
// Tools
// ============================================================================================

// The world picks of the last drawing, taken again at the press when the pointer was
// elsewhere then (as PickAtPress does for the shape). Draw3D still holds the camera of the last
// view drawn, so only that view picks again.
static void WorldPickAtPress(WinId self, int rx, int ry)
{
    if (worldSeen.view != self) return;
    if (worldSeen.pointerInside && worldSeen.pointerX == rx && worldSeen.pointerY == ry) return;
    EditPick pick = *EditPickBefore();
    pick.worldShape = WorldMPick(rx, ry);
    NetView view{Draw3DProjectPoint, TimerMs(), rx, ry, 0, {0, 0, 0, 0}};
    pick.node = (uint32_t)WorldMNodeDisplay(NODE_COLOUR, NODE_HIGHLIGHT_COLOUR, &view);
    EditPickReplaceBefore(&pick);
}

// A move of the selected worldshapes or nodes starts. Its one undo copy is taken at its first
// step, so that a click that moves nothing keeps the undo of the edit before it.
static void StartWorldMove(int tool, int rx, int ry)
{
    int32_t w[3];
    if (!ViewToolPoint(rx, ry, w, nullptr)) {
        ViewToolRefuse("Move", "Not on perspective view.");
        return;
    }
    ViewToolStartMove(tool, w);
}

// Tool 30: the pointer's world position goes to the Add Shapes panel on the view's two axes.
static void ShapePosition(int rx, int ry)
{
    int32_t w[3];
    int free = VIEW_AXIS_X;
    if (!ViewToolPoint(rx, ry, w, &free)) {
        ViewToolRefuse("Shape Position", "Use a parallel view, fool!");
        return;
    }
    WinId panel = WinFindClass(CLASS_ADD_SHAPES_PANEL);
    static const int messages[3] = {PANEL_MSG_POSITION_X, PANEL_MSG_POSITION_Y, PANEL_MSG_POSITION_Z};
    for (int a = 0; a < 3 && panel; a++) {
        if (a == free) continue;
        WinParam p1 = w[a], p2 = 0;
        WinSendMessage(panel, messages[a], &p1, &p2);
    }
}

static void LeftPress(WinId self, int tool, int rx, int ry)
{
    if (!WorldMIsInstalled()) return;
    WorldPickAtPress(self, rx, ry);
    uint32_t shape = EditPickBefore()->worldShape, node = EditPickBefore()->node;
    switch (tool) {
    case EDIT_TOOL_SHAPES_MOVE:
    case EDIT_TOOL_NODES_MOVE: StartWorldMove(tool, rx, ry); break;
    case EDIT_TOOL_SHAPES_PICK:
        if (shape) ViewTellPanel(CLASS_EDIT_SHAPES_PANEL, PANEL_MSG_WORLD_SHAPE, (int32_t)shape, 1);
        break;
    case EDIT_TOOL_SHAPE_POSITION: ShapePosition(rx, ry); break;
    case EDIT_TOOL_NODES_PICK:
        if (node) ViewTellPanel(CLASS_NODES_PANEL, PANEL_MSG_NODE, (int32_t)node, 1);
        break;
    case EDIT_TOOL_NODE_ADD: {
        int32_t w[3];
        int free = VIEW_AXIS_X;
        if (!ViewToolPoint(rx, ry, w, &free)) {
            ViewToolRefuse("Add Node", "Not on perspective view you don't!");
            break;
        }
        // A view without height puts the node above the ground, where a monorail can stand.
        if (free == VIEW_AXIS_Y) {
            if (EditNodeClearance() < 0) {
                ViewToolRefuse("Add Node", "The Nodes panel's Up field holds no height. Type how high above the ground new "
                                   "nodes stand (0 to 99999), then click again.");
                break;
            }
            w[1] = NetNodeHeightOver(w[0], w[2], EditNodeClearance());
        }
        if (WorldMAddNetNode(w[0], w[1], w[2]) < 0) MsgBoxError("Add Node", WORLD_ERR_OUT_OF_SPACE);
        break;
    }
    default: break;   // 27 and 32 act on the release rectangle
    }
}

static void RightPress(WinId, int tool, int, int)
{
    if (tool == EDIT_TOOL_SHAPES_PICK && EditPickBefore()->worldShape)
        ViewTellPanel(CLASS_EDIT_SHAPES_PANEL, PANEL_MSG_WORLD_SHAPE, (int32_t)EditPickBefore()->worldShape, 0);
    if (tool == EDIT_TOOL_NODES_PICK && EditPickBefore()->node)
        ViewTellPanel(CLASS_NODES_PANEL, PANEL_MSG_NODE, (int32_t)EditPickBefore()->node, 0);
}

// One step of a world move, without an undo copy of its own: the drag has one, taken at its
// first step.
static void MoveStep(int tool, const int32_t delta[3])
{
    if (ViewToolFirstStep()) WorldMUndoSnapshot();
    int undo = WorldMUndoOn();
    WorldMSetUndo(0);
    static void (*const shapes[3])(int32_t) = {WorldMMoveSelectedX, WorldMMoveSelectedY, WorldMMoveSelectedZ};
    static void (*const nodes[3])(int32_t) = {WorldMMoveSelectedNodesX, WorldMMoveSelectedNodesY,
                                              WorldMMoveSelectedNodesZ};
    for (int a = 0; a < 3; a++)
        if (delta[a]) (tool == EDIT_TOOL_NODES_MOVE ? nodes : shapes)[a](delta[a]);
    WorldMSetUndo(undo);
}

static void Drag(int tool, int rx, int ry, int, int)
{
    if ((tool != EDIT_TOOL_SHAPES_MOVE && tool != EDIT_TOOL_NODES_MOVE) || ViewToolMoving() != tool) return;
    int32_t w[3], delta[3];
    int free = VIEW_AXIS_X;
    if (!ViewToolInside(rx, ry) || !ViewToolPoint(rx, ry, w, &free)) {
        if (tool == EDIT_TOOL_NODES_MOVE) ViewToolLeftView("Node Move", "nodes");
        else ViewToolLeftView("World Move", "shapes");
        return;
    }
    if (ViewToolMoveDelta(w, free, delta)) MoveStep(tool, delta);
}

static uint32_t RectPanel(int tool)
{
    return tool == EDIT_TOOL_SHAPES_RECT ? (uint32_t)CLASS_EDIT_SHAPES_PANEL : tool == EDIT_TOOL_NODES_RECT ? (uint32_t)CLASS_NODES_PANEL : 0u;
}

// What a frame shows: the selected worldshapes and nodes, else everything; in an empty world
// the ground of its cells.
static int ContentBox(int32_t lo[3], int32_t hi[3])
{
    if (WorldMContentBox(1, lo, hi) || WorldMContentBox(0, lo, hi)) return 1;
    if (!WorldMIsInstalled() || !WorldMCellsX() || !WorldMCellsZ()) return 0;
    int64_t edge = WorldMCellEdge();
    lo[0] = lo[1] = lo[2] = hi[1] = 0;
    hi[0] = ViewClampWorld(edge * WorldMCellsX());
    hi[2] = ViewClampWorld(edge * WorldMCellsZ());
    return 1;
}

static int32_t DistanceLimit(void) { return ViewDistanceLimit(EDITOR_WORLD, 0); }

static const ViewHooks kWorldViewHooks = {
    .name = "World Editor",
    .newFlags = VIEW_FLAGS_WORLD,
    .setupFlags = VIEWF_SETUP_ANY | VIEWF_DYNAMIC | VIEWF_TERRAIN,
    .farAtLimit = 1,
    .reach = WorldRadius,
    .distanceLimit = DistanceLimit,
    .draw = Draw,
    .overlay = Overlay,
    .status = nullptr,
    .rectPanel = RectPanel,
    .leftPress = LeftPress,
    .rightPress = RightPress,
    .drag = Drag,
    .moveEnded = nullptr,
    .contentBox = ContentBox,
    .flipKey = nullptr,
};

void WorldViewInstall(void) { ViewSetHooks(EDITOR_WORLD, &kWorldViewHooks); }
