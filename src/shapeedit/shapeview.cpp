#include "shapeedit/shapeview.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/bytes.h"
#include "base/maths.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "frontend/view.h"
#include "kernel/app.h"
#include "materials/matm.h"
#include "render/draw3d.h"
#include "shapeedit/shapetools.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "toolkit/draw.h"
#include "toolkit/slots.h"
#include "toolkit/text.h"

enum {
    MARK_VERTEX = 1,               // half sizes of the vertex marks: 3 x 3 pixels, easy to see
    MARK_SELECTED = 2,             // 5 x 5: larger than the others
    MARK_POINT = 3,                // the points picked for a new polygon
    MARK_UNDER = MESH_PICK_DISTANCE,   // the vertex under the pointer, framed by the box it is picked in
    NO_POINTER = VIEW_NO_POINTER,
    FACING_AWAY_COLOUR = 255,      // a polygon just made that turns its back to the camera
};

// The shape manager's display colours, as the view uses them.
enum { SHOW_NORMALS = 0, SHOW_VERTICES = 1, SHOW_SELECTED = 2, SHOW_PICKED = 3, SHOW_MARKED = 4 };

// The slot that shows the edited shape (the shape manager's current shape).
static SlotId EditedSlot(void)
{
    for (SlotId s = SlotsNext(SLOTS_NONE, 0); s != SLOTS_NONE; s = SlotsNext(s, 0))
        if (s != SLOTS_CAMERA && SlotsShape(s) == SLOTS_SHAPE_CURRENT) return s;
    return SLOTS_NONE;
}

uint8_t* ShapeViewBlock(void) { return ShapeMIsInstalled() ? ShapeMEdit()->data : nullptr; }
static uint8_t* EditBlock(void) { return ShapeViewBlock(); }

static int32_t EditRadius(void)
{
    uint8_t* b = EditBlock();
    return b ? GetI32(b, SH_RADIUS) : 0;
}

// ============================================================================================
// The edited shape as drawn: picks, rectangle selection, overlays
// ============================================================================================


// Each vertex of the edit buffer as this frame saw it: camera space, its pixel (when it lies
// in front of the near plane and within the projection's range) and whether that pixel is in
// the view. Sized for the largest shape the format holds, so no frame allocates.
static MeshScreenVertex screen[SHAPE_MAX_COUNT];
static float camera[SHAPE_MAX_COUNT][3];
static uint8_t projected[SHAPE_MAX_COUNT];

static struct {
    int count;
    int16_t rel[9];      // the shape's orientation relative to the camera
    int32_t pos[3];      // its origin in camera space
    int perspective;
    WinId view;          // the view whose drawing this is
    int pointerX, pointerY, pointerInside;   // where that drawing picked
    int stale;           // a tool changed the shape since
} seen;

// The polygon just made when it turned its back to the camera of the view it was made in:
// outlined until it is flipped or the shape gains or loses a polygon.
static struct {
    int polygon;         // -1 none
    int count;           // the shape's polygons just after it was made
} facingAway = {-1, 0};

static void ToCamera(const double p[3], float out[3])
{
    for (int k = 0; k < 3; k++)
        out[k] = (float)((seen.rel[3 * k] * p[0] + seen.rel[3 * k + 1] * p[1] + seen.rel[3 * k + 2] * p[2]) / 16384.0 +
                         seen.pos[k]);
}

static int Project(const uint8_t* b, int width, int height)
{
    seen.count = 0;
    SlotId slot = EditedSlot();
    if (slot == SLOTS_NONE) return 0;
    SlotsCameraPos(slot, seen.pos);
    memcpy(seen.rel, SlotsRelativeOrientation(slot), sizeof seen.rel);
    seen.perspective = Draw3DIsPerspective();
    int n = ShapeVertexCount(b);
    if (n > SHAPE_MAX_COUNT) n = SHAPE_MAX_COUNT;
    float far = Draw3DFar();
    for (int i = 0; i < n; i++) {
        int32_t p[3];
        ShapeVertexPos(b, i, p);
        const double pd[3] = {(double)p[0], (double)p[1], (double)p[2]};
        ToCamera(pd, camera[i]);
        int sx = 0, sy = 0;
        int ok = Draw3DCameraToScreen(camera[i], &sx, &sy) == 0 && camera[i][2] <= far;
        projected[i] = (uint8_t)ok;
        float z = camera[i][2];
        screen[i].x = sx;
        screen[i].y = sy;
        screen[i].depth = z >= 2147483647.0f ? INT32_MAX : z <= -2147483647.0f ? -INT32_MAX : (int32_t)z;
        screen[i].onScreen = ok && sx >= 0 && sy >= 0 && sx < width && sy < height;
    }
    seen.count = n;
    return n;
}

// The polygon's points are all vertices this frame saw in front of the camera.
static int PolygonSeen(const uint8_t* poly)
{
    int count = ShapePolyPoints(poly);
    if (count < 3) return 0;
    for (int k = 0; k < count; k++) {
        int v = ShapePolyIndex(poly, k);
        if (v >= seen.count || !projected[v]) return 0;
    }
    return 1;
}

// Whether the polygon's face turns towards the eye (a polygon without a normal does).
static int Facing(const uint8_t* poly)
{
    const double n[3] = {(double)GetI16(poly, 4), (double)GetI16(poly, 6), (double)GetI16(poly, 8)};
    if (n[0] == 0 && n[1] == 0 && n[2] == 0) return 1;
    double c[3];
    for (int k = 0; k < 3; k++) c[k] = seen.rel[3 * k] * n[0] + seen.rel[3 * k + 1] * n[1] + seen.rel[3 * k + 2] * n[2];
    if (!seen.perspective) return c[2] < 0;
    const float* p = camera[ShapePolyIndex(poly, 0)];
    return c[0] * p[0] + c[1] * p[1] + c[2] * p[2] < 0;
}

// The nearest drawn polygon whose fan covers the pixel; -1 when none.
static int PickPolygon(uint8_t* b, int px, int py, int hidden)
{
    int best = -1;
    double bestDepth = 0;
    int polygons = ShapePolygonCount(b);
    uint8_t* poly = ShapeFirstPolygon(b);
    for (int i = 0; poly && i < polygons; i++, poly = ShapeNextPolygon(poly)) {
        if (!PolygonSeen(poly) || (hidden && !Facing(poly))) continue;
        int count = ShapePolyPoints(poly);
        const MeshScreenVertex& a = screen[ShapePolyIndex(poly, 0)];
        float za = camera[ShapePolyIndex(poly, 0)][2];
        for (int k = 1; k + 1 < count; k++) {
            int ib = ShapePolyIndex(poly, k), ic = ShapePolyIndex(poly, k + 1);
            const MeshScreenVertex &pb = screen[ib], &pc = screen[ic];
            if ((px < a.x && px < pb.x && px < pc.x) || (px > a.x && px > pb.x && px > pc.x) ||
                (py < a.y && py < pb.y && py < pc.y) || (py > a.y && py > pb.y && py > pc.y))
                continue;
            double area = (double)(pb.x - a.x) * (pc.y - a.y) - (double)(pb.y - a.y) * (pc.x - a.x);
            if (area == 0) continue;
            double l1 = ((double)(px - a.x) * (pc.y - a.y) - (double)(py - a.y) * (pc.x - a.x)) / area;
            double l2 = ((double)(pb.x - a.x) * (py - a.y) - (double)(pb.y - a.y) * (px - a.x)) / area;
            double l0 = 1.0 - l1 - l2;
            if (l0 < 0 || l1 < 0 || l2 < 0) continue;
            float zb = camera[ib][2], zc = camera[ic][2];
            // Depth is linear on screen in 1/z under perspective, in z under a parallel view.
            double depth = seen.perspective ? 1.0 / (l0 / za + l1 / zb + l2 / zc) : l0 * za + l1 * zb + l2 * zc;
            if (best < 0 || depth < bestDepth) {
                best = i;
                bestDepth = depth;
            }
        }
    }
    return best;
}

// A rectangle selection that a panel asked for: rect in the client's coordinates.
static void SelectInRect(uint8_t* b, uint32_t flags, const int32_t rect[4])
{
    int on = !(flags & EDIT_RECT_DESELECT);
    int clear = on && !(flags & EDIT_RECT_KEEP);
    int32_t x0 = rect[0] < rect[2] ? rect[0] : rect[2], x1 = rect[0] < rect[2] ? rect[2] : rect[0];
    int32_t y0 = rect[1] < rect[3] ? rect[1] : rect[3], y1 = rect[1] < rect[3] ? rect[3] : rect[1];
    if (flags & EDIT_RECT_VERTICES) {
        if (clear)
            for (int i = 0; i < ShapeVertexCount(b); i++) MeshSelectVertex(i, 0);
        MeshPick(screen, seen.count, NO_POINTER, NO_POINTER, on ? MESH_RECT_SELECT : MESH_RECT_DESELECT, rect);
    }
    if (flags & EDIT_RECT_POLYGONS) {
        int polygons = ShapePolygonCount(b);
        uint8_t* poly = ShapeFirstPolygon(b);
        for (int i = 0; poly && i < polygons; i++, poly = ShapeNextPolygon(poly)) {
            int count = ShapePolyPoints(poly), inside = count > 0;
            for (int k = 0; k < count && inside; k++) {
                int v = ShapePolyIndex(poly, k);
                inside = v < seen.count && screen[v].onScreen && screen[v].x >= x0 && screen[v].x <= x1 &&
                         screen[v].y >= y0 && screen[v].y <= y1;
            }
            if (inside) MeshSelectPolygon(i, on);
            else if (clear) MeshSelectPolygon(i, 0);
        }
    }
}

static void Outline(const uint8_t* poly, int colour)
{
    int count = ShapePolyPoints(poly);
    for (int k = 0; k < count; k++) {
        int a = ShapePolyIndex(poly, k), c = ShapePolyIndex(poly, (k + 1) % count);
        if (a >= seen.count || c >= seen.count || !projected[a] || !projected[c]) continue;
        DrawLine(screen[a].x, screen[a].y, screen[c].x, screen[c].y, colour);
    }
}

// A face normal from the middle of the polygon, as long as the polygon is wide.
static void DrawNormal(const uint8_t* b, const uint8_t* poly, int colour)
{
    int count = ShapePolyPoints(poly);
    double mid[3] = {0, 0, 0};
    for (int k = 0; k < count; k++) {
        int32_t p[3];
        ShapeVertexPos(b, ShapePolyIndex(poly, k), p);
        for (int a = 0; a < 3; a++) mid[a] += p[a] / (double)count;
    }
    double size = 0;
    for (int k = 0; k < count; k++) {
        int32_t p[3];
        ShapeVertexPos(b, ShapePolyIndex(poly, k), p);
        double d = std::sqrt((p[0] - mid[0]) * (p[0] - mid[0]) + (p[1] - mid[1]) * (p[1] - mid[1]) +
                             (p[2] - mid[2]) * (p[2] - mid[2]));
        if (d > size) size = d;
    }
    double tip[3];
    for (int a = 0; a < 3; a++) tip[a] = mid[a] + GetI16(poly, 4 + 2 * a) / 16384.0 * size;
    float c0[3], c1[3];
    ToCamera(mid, c0);
    ToCamera(tip, c1);
    int x0, y0, x1, y1;
    if (Draw3DCameraToScreen(c0, &x0, &y0) || Draw3DCameraToScreen(c1, &x1, &y1)) return;
    DrawLine(x0, y0, x1, y1, colour);
}

static void MarkVertex(int v, int half, int colour, int filled)
{
    if (v < 0 || v >= seen.count || !screen[v].onScreen) return;
    int x = screen[v].x, y = screen[v].y;
    DrawFillRect(x - half, y - half, x + half, y + half, filled ? colour : (colour | (int)DRAW_OUTLINE));
}

// The polygon made facing away, while it is still that polygon; -1 none.
static int FacingAwayPolygon(const uint8_t* b)
{
    if (facingAway.polygon < 0 || ShapePolygonCount(b) != facingAway.count) facingAway.polygon = -1;
    return facingAway.polygon;
}

// Picks what lies under the pointer, applies a waiting rectangle selection, and marks the
// selection, the picks and what the tool asks for over the drawn shape.
static void Overlay(ViewFrame* f)
{
    WinId self = f->view;
    int width = f->width, px = f->px, py = f->py, inside = f->inside;
    EditPick* pick = &f->pick;
    uint8_t* b = EditBlock();
    if (!b || !Project(b, width, f->height)) return;
    if (!inside) px = py = NO_POINTER;
    int hidden = (f->flags & VIEWF_HIDDEN) != 0;

    uint32_t rectFlags;
    int32_t rect[4];
    if (EditActiveView() == self && EditTakeRectSelect(&rectFlags, rect)) {
        // The panel hands back the screen rectangle the view gave it.
        ViewToRegion(self, rect);
        SelectInRect(b, rectFlags, rect);
    }
    pick->vertex = MeshPick(screen, seen.count, px, py, 0, nullptr);
    pick->polygon = inside ? PickPolygon(b, px, py, hidden) : -1;
    seen.view = self;
    seen.pointerX = px;
    seen.pointerY = py;
    seen.pointerInside = inside;
    seen.stale = 0;

    int pickMode = EditPickMode();
    int material = MatMCurrent();
    int materials = (EditOverlayFlags() & EDIT_OVERLAY_MATERIALS) != 0;
    int first = (pickMode & EDIT_PICK_FIRST) ? EditFirstPolygon() : -1;
    int polygons = ShapePolygonCount(b);
    uint8_t* poly = ShapeFirstPolygon(b);
    for (int i = 0; poly && i < polygons; i++, poly = ShapeNextPolygon(poly)) {
        if (!PolygonSeen(poly)) continue;
        uint16_t flags = GetU16(poly, 0);
        // Only the polygon just made: the back faces of a closed shape's selection are no news.
        if (FacingAwayPolygon(b) == i && !Facing(poly)) Outline(poly, FACING_AWAY_COLOUR);
        if (hidden && !Facing(poly)) continue;
        if (f->flags & VIEWF_NORMALS) DrawNormal(b, poly, ShapeMDisplay(SHOW_NORMALS));
        if (materials && (GetU16(poly, 2) & 0x7FFF) == material && !(GetU16(poly, 2) & MAT_UNRESOLVED))
            Outline(poly, ShapeMDisplay(SHOW_MARKED));
        if ((f->flags & VIEWF_MARKED) && (flags & PF_MARKED)) Outline(poly, ShapeMDisplay(SHOW_MARKED));
        if (flags & PF_SELECTED) Outline(poly, ShapeMDisplay(SHOW_SELECTED));
        if (i == first) Outline(poly, ShapeMDisplay(SHOW_PICKED));
    }
    if ((pickMode & EDIT_PICK_POLYGONS) && pick->polygon >= 0)
        Outline(ShapePolygon(b, pick->polygon), ShapeMDisplay(SHOW_PICKED));

    TextSetFormat(TEXT_MODE_PLAIN, -1, 0, width - 1);
    for (int i = 0; i < seen.count; i++) {
        if (!screen[i].onScreen) continue;
        if (pickMode & EDIT_PICK_VERTICES) MarkVertex(i, MARK_VERTEX, ShapeMDisplay(SHOW_VERTICES), 1);
        if (ShapeVertexFlags(b, i) & VF_SELECTED) MarkVertex(i, MARK_SELECTED, ShapeMDisplay(SHOW_SELECTED), 1);
        uint32_t name = (pickMode & EDIT_PICK_NAMES) ? ShapePointName(b, i) : 0;
        if (name) {
            char text[5];
            TextSetColour(ShapeMDisplay(SHOW_VERTICES));
            TextPrint(screen[i].x + 4, screen[i].y - 4, "%s", Name4ToText(name, text));
        }
    }
    if (pickMode & EDIT_PICK_POINTS) {
        for (int k = 0; k < EditPointCount(); k++) {
            int a = EditPoint(k), c = EditPoint(k + 1);
            MarkVertex(a, MARK_POINT, ShapeMDisplay(SHOW_PICKED), 0);
            if (c >= 0 && a < seen.count && c < seen.count && projected[a] && projected[c])
                DrawLine(screen[a].x, screen[a].y, screen[c].x, screen[c].y, ShapeMDisplay(SHOW_PICKED));
        }
    }
    int under = -1;
    if (pickMode & EDIT_PICK_UNDER) under = pick->vertex;
    if ((pickMode & EDIT_PICK_CORNER) && pick->polygon >= 0 && pick->vertex >= 0) {
        const uint8_t* p = ShapePolygon(b, pick->polygon);
        for (int k = 0; k < ShapePolyPoints(p); k++)
            if (ShapePolyIndex(p, k) == pick->vertex) under = pick->vertex;
    }
    MarkVertex(under, MARK_UNDER, ShapeMDisplay(SHOW_PICKED), 0);
}

static void Draw(ViewFrame*) { SlotsDrawPass(); }

// Under the button's note: the polygon and the vertex under the pointer.
static int Status(const ViewFrame* f, char out[][VIEW_STATUS_CHARS])
{
    uint8_t* b = EditBlock();
    int n = 0;
    if (b && f->pick.polygon >= 0) {
        if (const uint8_t* p = ShapePolygon(b, f->pick.polygon))
            snprintf(out[n++], VIEW_STATUS_CHARS, "#%d, %d vertices", (int)f->pick.polygon, ShapePolyPoints(p));
    }
    int v = f->pick.vertex;
    if (b && v >= 0 && v < ShapeVertexCount(b)) {
        int32_t p[3];
        ShapeVertexPos(b, v, p);
        if (f->flags & VIEWF_DECIMAL)
            snprintf(out[n++], VIEW_STATUS_CHARS, "#%d @ %d,%d,%d", v, (int)p[0], (int)p[1], (int)p[2]);
        else
            snprintf(out[n++], VIEW_STATUS_CHARS, "#%d @ %08X,%08X,%08X", v, (unsigned)p[0], (unsigned)p[1],
                     (unsigned)p[2]);
    }
    return n;
}

// within one frame (a script, a desktop tool, a quick hand), that drawing picked elsewhere:
// pick again at the press from the same projection, so the click acts on what is under it.
void ShapeViewRepick(WinId self, int rx, int ry)
{
    if (seen.view != self || seen.stale) return;
    if (seen.pointerInside && seen.pointerX == rx && seen.pointerY == ry) return;
    uint8_t* b = EditBlock();
    if (!b || seen.count != ShapeVertexCount(b)) return;
    EditPick pick = *EditPickBefore();
    pick.vertex = MeshPick(screen, seen.count, rx, ry, 0, nullptr);
    pick.polygon = PickPolygon(b, rx, ry, (ViewToolFlags() & VIEWF_HIDDEN) != 0);
    EditPickReplaceBefore(&pick);
}

void ShapeViewChanged(void) { seen.stale = 1; }

int ShapeViewMarkIfFacingAway(int polygon)
{
    uint8_t* b = EditBlock();
    const uint8_t* poly = b ? ShapePolygon(b, polygon) : nullptr;
    facingAway.polygon = -1;
    if (!poly || !PolygonSeen(poly) || Facing(poly)) return 0;
    facingAway.polygon = polygon;
    facingAway.count = ShapePolygonCount(b);
    return 1;
}

static void FlipFacingAway(void)
{
    uint8_t* b = EditBlock();
    if (!b || FacingAwayPolygon(b) < 0) return;
    MeshInvert(facingAway.polygon);
    facingAway.polygon = -1;
    seen.stale = 1;
}

// What a frame shows: the selected vertices and the points of selected polygons, else every
// vertex.
static int ContentBox(int32_t lo[3], int32_t hi[3])
{
    uint8_t* b = EditBlock();
    int n = b ? ShapeVertexCount(b) : 0;
    if (n <= 0) return 0;
    if (n > SHAPE_MAX_COUNT) n = SHAPE_MAX_COUNT;
    static uint8_t chosen[SHAPE_MAX_COUNT];
    int any = 0;
    for (int i = 0; i < n; i++) any |= chosen[i] = (ShapeVertexFlags(b, i) & VF_SELECTED) != 0;
    uint8_t* poly = ShapeFirstPolygon(b);
    for (int i = 0; poly && i < ShapePolygonCount(b); i++, poly = ShapeNextPolygon(poly)) {
        if (!(GetU16(poly, 0) & PF_SELECTED)) continue;
        for (int k = 0; k < ShapePolyPoints(poly); k++) {
            int v = ShapePolyIndex(poly, k);
            if (v < n) any = chosen[v] = 1;
        }
    }
    int first = 1;
    for (int i = 0; i < n; i++) {
        if (any && !chosen[i]) continue;
        int32_t p[3];
        ShapeVertexPos(b, i, p);
        for (int a = 0; a < 3; a++) {
            if (first || p[a] < lo[a]) lo[a] = p[a];
            if (first || p[a] > hi[a]) hi[a] = p[a];
        }
        first = 0;
    }
    return 1;
}

static double Reach(void) { return EditRadius(); }
static int32_t DistanceLimit(void) { return ViewDistanceLimit(EDITOR_SHAPE, EditRadius()); }

static uint32_t RectPanel(int tool) { return tool == EDIT_TOOL_MESH_RECT ? (uint32_t)CLASS_MESH_PANEL : 0u; }

static const ViewHooks kShapeViewHooks = {
    .name = "Shape Editor",
    .newFlags = VIEW_FLAGS_SHAPE,
    .setupFlags = VIEWF_SETUP_ANY,
    .farAtLimit = 0,
    .reach = Reach,
    .distanceLimit = DistanceLimit,
    .draw = Draw,
    .overlay = Overlay,
    .status = Status,
    .rectPanel = RectPanel,
    .leftPress = ShapeToolsLeftPress,
    .rightPress = ShapeToolsRightPress,
    .drag = ShapeToolsDrag,
    .moveEnded = ShapeToolsMoveEnded,
    .contentBox = ContentBox,
    .flipKey = FlipFacingAway,
};

void ShapeViewInstall(void) { ViewSetHooks(EDITOR_SHAPE, &kShapeViewHooks); }
