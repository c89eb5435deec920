// The view windows: camera, drawing, picking, the tools, and the two small windows that belong
// to them (View Setup and Point Name).
#include "frontend/view.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "frontend/dump.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "frontend/msgbox.h"
#include "kernel/app.h"
#include "kernel/kernel.h"
#include "kernel/log.h"
#include "kernel/timing.h"
#include "kernel/util/bytes.h"
#include "kernel/util/maths.h"
#include "kernel/util/str.h"
#include "materials/matm.h"
#include "panels/scenepanel.h"
#include "platform/platform.h"
#include "render/draw3d.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/panelkit.h"
#include "toolkit/slots.h"
#include "toolkit/text.h"
#include "world/net.h"
#include "world/terrain.h"
#include "world/terraindraw.h"
#include "world/worldm.h"

enum {
    DIALOG_STYLE = FRAME_BORDER | FRAME_TITLE | FRAME_DRAG,
    TITLE_BUTTON_W = 15,
    TITLE_BUTTON_H = 11,
    SETUP_W = 190,
    SETUP_H = 97,
    SCENE_X = 80,
    SCENE_Y = 30,
    SCENE_W = SCENE_PANEL_WIDTH,
    SCENE_H = SCENE_PANEL_HEIGHT,
    MAPPING_X = 60,
    MAPPING_Y = 30,
    MAPPING_W = 540,
    MAPPING_H = 225,
    MAPPING_SMALL_X = 10,
    MAPPING_SMALL_W = 210,
    MAPPING_SMALL_H = 97,

    VIEW_MIN_DISTANCE = 500,
    VIEW_WORLD_DISTANCE = 1073741824,
    VIEW_DEFAULT_DISTANCE = 32768,
    VIEW_DISTANCE_FAST = 131072,   // from here on the distance steps at a fixed rate
    VIEW_LIMIT_RADII = 10,

    OVERLAY_COLOUR = 255,          // scale bar and selection rectangle
    STATUS_LINE = 10,              // pixels from one status line to the next
    AXES_LENGTH = 20,
    AXIS_X_COLOUR = 250,
    AXIS_Y_COLOUR = 249,
    AXIS_Z_COLOUR = 248,
    MARK_VERTEX = 1,               // half sizes of the vertex marks: 3 x 3 pixels, easy to see
    MARK_SELECTED = 2,             // 5 x 5: larger than the others
    MARK_POINT = 3,                // the points picked for a new polygon
    MARK_UNDER = MESH_PICK_DISTANCE,   // the vertex under the pointer, framed by the box it is picked in
    NO_POINTER = -1000000,         // a pointer position that picks nothing

    // The World Editor's drawing.
    WORLD_SELECTED_COLOUR = 255,   // boxes of the selected worldshapes
    WORLD_POINTED_COLOUR = 254,    // the box and label of the worldshape under the pointer
    NODE_COLOUR = 250,
    NODE_HIGHLIGHT_COLOUR = 255,   // the node under the pointer
    NODE_MARK = 2,                 // half size of a node's marker
    FACING_AWAY_COLOUR = 255,      // a polygon just made that turns its back to the camera
    GROUND_GRID_LINES = 32,        // at most this many ground lines each way
};
// The ground grid's colour (2.14): a cool grey that neither the background nor white hides.
static const int32_t kGroundColour[3] = {5000, 6000, 8000};

static const float VIEW_ZOOM_MIN = 1.0f;
static const float VIEW_ZOOM_MAX = 1073741824.0f;
static const float VIEW_ZOOM_STEP_MIN = 0.0001f;
static const float VIEW_DEFAULT_ZOOM = 160.0f;

// The shape manager's display colours, as the view uses them.
enum { SHOW_NORMALS = 0, SHOW_VERTICES = 1, SHOW_SELECTED = 2, SHOW_PICKED = 3, SHOW_MARKED = 4 };

const int16_t kViewDefaultOrientation[9] = {12662, 0, 10397, -1473, 16218, 1792, -10292, -2320, 12534};

// Camera rows (right, up, forward) of the parallel views, laid out as point-to-world reads the
// screen: each view's right and up axes are the world axes that dx and -dy move along.
static const int16_t kParallelRows[VIEW_TYPES][9] = {
    {0},
    {0, 0, -16384, 0, 16384, 0, 16384, 0, 0},     // left: looking along +x
    {0, 0, 16384, 0, 16384, 0, -16384, 0, 0},     // right: along -x
    {16384, 0, 0, 0, 0, 16384, 0, -16384, 0},     // top: down -y
    {16384, 0, 0, 0, 0, -16384, 0, 16384, 0},     // bottom: up +y
    {-16384, 0, 0, 0, 16384, 0, 0, 0, -16384},    // front: along -z
    {16384, 0, 0, 0, 16384, 0, 0, 0, 16384},      // rear: along +z
};

struct ViewData {
    WinId setupButton, sceneButton;
    int16_t orientation[9];
    int32_t type;
    uint32_t flags;
    float zoom;
    int32_t distance;
    int32_t centre[3];
    int32_t movingVertex;     // tool 4; -1 none
    int32_t rect[4];          // region-relative press x, y and current or release x, y
    int32_t pickVertex, pickPolygon, pickNode;   // under the pointer at the last draw
    int32_t pickShape;        // the worldshape under the pointer at the last draw; 0 none
    int32_t liveRect;         // a rectangle is being dragged: the next draw outlines it
    int32_t rectTool;         // a finished rectangle waits for the next draw (the tool that made it)
    int32_t dragRefused;      // a box refused this drag: the rest of it is ignored
    int32_t pressed;          // the left button went down inside the region (drags count)
    int32_t moving;           // the tool (26, 28 or 31) moving the selection; 0 none
    int32_t moveStart[3];     // the world point the move started at
    int32_t moveDone[3];      // how far the selection has been moved so far
    int32_t moveSaved;        // the world move's undo copy is taken
    float drawX, drawY;       // the drawing centre of the last draw, in the client area
    WinId setupPanel;
    int32_t cameraDrag;       // CAMERA_DRAG_*: the button that moves the camera, 0 none
    int32_t dragX, dragY;     // where the camera drag's pointer was last (region)
    uint32_t framesSeen;      // the frame requests this view has answered
    int32_t pointerValid;     // a parallel view's pointer was inside at the last draw:
    int32_t pointerWorld[3];  // the world point under it
};

enum { CAMERA_DRAG_NONE = 0, CAMERA_DRAG_MIDDLE = 1, CAMERA_DRAG_ALT_LEFT = 2 };

static ViewData* Data(void) { return (ViewData*)WinGetData(); }

// ============================================================================================
// Camera arithmetic
// ============================================================================================

static int32_t ClampWorld(int64_t v) { return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : (int32_t)v; }

float ViewZoomKey(float zoom, int direction, uint32_t elapsed, int fine)
{
    float step = (float)elapsed * (1.0f / 16384.0f) * zoom * 2.0f;
    if (fine) step *= 1.0f / 16.0f;
    if (step < VIEW_ZOOM_STEP_MIN) step = VIEW_ZOOM_STEP_MIN;
    if (direction < 0) {
        zoom -= step;
        if (zoom < VIEW_ZOOM_MIN) zoom = VIEW_ZOOM_MIN;
    } else if (direction > 0) {
        zoom += step;
        if (zoom > VIEW_ZOOM_MAX) zoom = VIEW_ZOOM_MAX;
    }
    return zoom;
}

int32_t ViewPanStep(float zoom, uint32_t elapsed, int fine)
{
    double step = (double)elapsed * (1.0 / 16384.0) * zoom * 512.0;
    if (fine) step *= 1.0 / 16.0;
    if (step < 1.0) step = 1.0;
    return step >= (double)INT32_MAX ? INT32_MAX : (int32_t)step;
}

void ViewPan(int type, int32_t h, int32_t v, int32_t centre[3])
{
    int64_t c[3] = {centre[0], centre[1], centre[2]};
    switch (type) {
    case VIEW_LEFT: c[2] -= h; c[1] += v; break;
    case VIEW_RIGHT: c[2] += h; c[1] += v; break;
    case VIEW_TOP: c[0] += h; c[2] += v; break;
    case VIEW_BOTTOM: c[0] += h; c[2] -= v; break;
    case VIEW_FRONT: c[0] -= h; c[1] += v; break;
    case VIEW_REAR: c[0] += h; c[1] += v; break;
    default: return;
    }
    for (int a = 0; a < 3; a++) centre[a] = ClampWorld(c[a]);
}

int32_t ViewDistanceLimit(int editorMode, int32_t radius)
{
    if (editorMode == EDITOR_WORLD) return VIEW_WORLD_DISTANCE;
    int64_t limit = (int64_t)VIEW_LIMIT_RADII * (radius > 0 ? radius : 0);
    if (limit < VIEW_MIN_DISTANCE) limit = VIEW_MIN_DISTANCE;
    return ClampWorld(limit);
}

int32_t ViewDistanceKey(int32_t distance, int direction, uint32_t elapsed, int fine, int32_t limit)
{
    int64_t d = distance < VIEW_DISTANCE_FAST ? ((int64_t)distance * elapsed) >> 13
                                                : ((int64_t)elapsed * VIEW_DISTANCE_FAST) >> 13;
    if (fine) d /= 4;
    // Held keys always move: a quarter step at a short distance would otherwise be nothing.
    if (d < 1 && elapsed > 0) d = 1;
    int64_t r = distance;
    if (direction < 0) {
        r -= d;
        if (r < VIEW_MIN_DISTANCE) r = VIEW_MIN_DISTANCE;
    } else if (direction > 0) {
        r += d;
    }
    if (r > limit) r = limit;
    return ClampWorld(r);
}

int32_t ViewTurnStep(uint32_t elapsed, int fine)
{
    return (int32_t)(((int64_t)elapsed * (fine ? 1024 : 16384)) >> 14);
}

static void Normalise(double v[3])
{
    double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len <= 0) return;
    for (int i = 0; i < 3; i++) v[i] /= len;
}

static void Cross(const double a[3], const double b[3], double out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

void ViewTurn(int16_t m[9], int axis, int32_t angle)
{
    double c = FixCos(angle) / 16384.0, s = FixSin(angle) / 16384.0;
    double r[3], u[3], f[3];
    for (int i = 0; i < 3; i++) {
        r[i] = m[i] / 16384.0;
        u[i] = m[3 + i] / 16384.0;
        f[i] = m[6 + i] / 16384.0;
    }
    if (axis == VIEW_TURN_HEADING) {
        // Every camera axis turns about the world's y axis: the camera circles the centre.
        double* rows[3] = {r, u, f};
        for (double* v : rows) {
            double x = c * v[0] + s * v[2], z = -s * v[0] + c * v[2];
            v[0] = x;
            v[2] = z;
        }
    } else {
        // Up and forward turn about the camera's own right axis: it looks up or down.
        double nu[3], nf[3];
        for (int i = 0; i < 3; i++) {
            nu[i] = c * u[i] + s * f[i];
            nf[i] = c * f[i] - s * u[i];
        }
        memcpy(u, nu, sizeof u);
        memcpy(f, nf, sizeof f);
    }
    // Rows that drift from 2.14 rounding are made square again: forward leads, right = up x
    // forward, up = forward x right.
    Normalise(f);
    Cross(u, f, r);
    Normalise(r);
    Cross(f, r, u);
    Normalise(u);
    for (int i = 0; i < 3; i++) {
        m[i] = (int16_t)(r[i] * 16384.0);
        m[3 + i] = (int16_t)(u[i] * 16384.0);
        m[6 + i] = (int16_t)(f[i] * 16384.0);
    }
}

void ViewCameraRows(int type, const int16_t orientation[9], int16_t out[9])
{
    if (type > VIEW_PERSPECTIVE && type < VIEW_TYPES)
        memcpy(out, kParallelRows[type], sizeof kParallelRows[type]);
    else
        memcpy(out, orientation, 9 * sizeof(int16_t));
}

int ViewPointToWorld(int type, float zoom, const int32_t centre[3], int px, int py, int cx, int cy, int32_t out[3],
                     int* freeAxis)
{
    if (type <= VIEW_PERSPECTIVE || type >= VIEW_TYPES) return 0;
    // The zoom as it is, not cut to a whole number: after any keypad zoom it has a fraction,
    // and a whole-number zoom would put the point off the pointer (by a third at zoom 1.5).
    int64_t dx = (int64_t)((double)(px - cx) * zoom), dy = (int64_t)((double)(py - cy) * zoom);
    int64_t x = 0, y = 0, z = 0;
    int free = MESH_X;
    switch (type) {
    case VIEW_LEFT: y = centre[1] - dy; z = centre[2] - dx; free = MESH_X; break;
    case VIEW_RIGHT: y = centre[1] - dy; z = centre[2] + dx; free = MESH_X; break;
    case VIEW_TOP: x = centre[0] + dx; z = centre[2] - dy; free = MESH_Y; break;
    case VIEW_BOTTOM: x = centre[0] + dx; z = centre[2] + dy; free = MESH_Y; break;
    case VIEW_FRONT: x = centre[0] - dx; y = centre[1] - dy; free = MESH_Z; break;
    case VIEW_REAR: x = centre[0] + dx; y = centre[1] - dy; free = MESH_Z; break;
    }
    out[0] = ClampWorld(x);
    out[1] = ClampWorld(y);
    out[2] = ClampWorld(z);
    if (freeAxis) *freeAxis = free;
    return 1;
}

int ViewScaleBarLength(int width, int height)
{
    int smaller = width < height ? width : height;
    return (int)(((int64_t)smaller * 0x3800) >> 14);
}

void ViewScaleLabel(double worldLength, uint32_t scale, char* out, size_t size)
{
    // A scale of 0 (the default) means one world unit to the metre.
    double perMetre = scale ? (double)scale : 1.0;
    double metres = worldLength / perMetre;
    if (metres < 5.0)
        snprintf(out, size, "%lldcm", (long long)(worldLength * 100.0 / perMetre));
    else
        snprintf(out, size, "%lldm", (long long)metres);
}

// ============================================================================================
// Camera arithmetic of the mouse
// ============================================================================================

// Seven eighths a notch nearer, eight sevenths a notch farther.
static double WheelFactor(int notches)
{
    return std::pow(7.0 / 8.0, (double)notches);
}

int32_t ViewWheelDistance(int32_t distance, int notches, int32_t limit)
{
    double d = (double)distance * WheelFactor(notches);
    // A view already farther than the limit (the shape shrank) is not pulled in by turning out.
    double farthest = limit > distance ? limit : distance;
    if (d > farthest) d = farthest;
    // A limit below the nearest distance (an empty shape) still leaves the nearest.
    if (d < (double)VIEW_MIN_DISTANCE) d = VIEW_MIN_DISTANCE;
    return d >= (double)INT32_MAX ? INT32_MAX : (int32_t)d;
}

float ViewWheelZoom(float zoom, int notches)
{
    double z = (double)zoom * WheelFactor(notches);
    if (z < (double)VIEW_ZOOM_MIN) z = VIEW_ZOOM_MIN;
    if (z > (double)VIEW_ZOOM_MAX) z = VIEW_ZOOM_MAX;
    return (float)z;
}

// Point-to-world is linear in the centre: moving the centre by the difference of two points
// that one pixel gives before and after a change puts the first point back under it.
static void KeepUnder(int32_t centre[3], const int32_t before[3], const int32_t after[3])
{
    for (int a = 0; a < 3; a++) centre[a] = ClampWorld((int64_t)centre[a] + before[a] - after[a]);
}

void ViewWheelAbout(int type, float* zoom, int32_t centre[3], int notches, int px, int py, int cx, int cy)
{
    int32_t before[3], after[3];
    if (!ViewPointToWorld(type, *zoom, centre, px, py, cx, cy, before, nullptr)) return;
    *zoom = ViewWheelZoom(*zoom, notches);
    ViewPointToWorld(type, *zoom, centre, px, py, cx, cy, after, nullptr);
    KeepUnder(centre, before, after);
}

void ViewDragPan(int type, float zoom, int32_t centre[3], int x0, int y0, int x1, int y1)
{
    // The point under the pointer where the drag was goes to where the pointer is.
    int32_t was[3], now[3];
    if (!ViewPointToWorld(type, zoom, centre, x0, y0, 0, 0, was, nullptr)) return;
    ViewPointToWorld(type, zoom, centre, x1, y1, 0, 0, now, nullptr);
    KeepUnder(centre, was, now);
}

void ViewOrbit(int16_t orientation[9], int dx, int dy)
{
    // Dragging right carries the near side of the object to the right: the camera circles the
    // other way. Dragging down tips the top of the object towards the user.
    if (dx) ViewTurn(orientation, VIEW_TURN_HEADING, -(int32_t)dx * VIEW_ORBIT_PER_PIXEL);
    if (dy) ViewTurn(orientation, VIEW_TURN_PITCH, (int32_t)dy * VIEW_ORBIT_PER_PIXEL);
}

void ViewPerspectivePan(const int16_t m[9], int32_t distance, float focal, int dx, int dy, int32_t centre[3])
{
    double perPixel = (double)distance / (focal > 0 ? focal : 1.0f);
    for (int a = 0; a < 3; a++) {
        double move = (-dx * (double)m[a] + dy * (double)m[3 + a]) / 16384.0 * perPixel;
        centre[a] = ClampWorld((int64_t)((double)centre[a] + move));
    }
}

// The world axes a parallel view shows across and up the screen.
static void ShownAxes(int type, int* across, int* up)
{
    switch (type) {
    case VIEW_LEFT:
    case VIEW_RIGHT: *across = MESH_Z; *up = MESH_Y; break;
    case VIEW_TOP:
    case VIEW_BOTTOM: *across = MESH_X; *up = MESH_Z; break;
    default: *across = MESH_X; *up = MESH_Y; break;
    }
}

void ViewFrameBox(int type, const int32_t lo[3], const int32_t hi[3], int width, int height, float focal, int32_t limit,
                  float* zoom, int32_t* distance, int32_t centre[3])
{
    double size[3];
    for (int a = 0; a < 3; a++) {
        centre[a] = ClampWorld(((int64_t)lo[a] + hi[a]) / 2);
        size[a] = (double)hi[a] - lo[a];
    }
    if (width < 1 || height < 1) return;
    if (type > VIEW_PERSPECTIVE && type < VIEW_TYPES) {
        int across, up;
        ShownAxes(type, &across, &up);
        if (size[across] <= 0 && size[up] <= 0) return;
        double z = size[across] / (width * VIEW_FRAME_FILL), zu = size[up] / (height * VIEW_FRAME_FILL);
        if (zu > z) z = zu;
        if (z < (double)VIEW_ZOOM_MIN) z = VIEW_ZOOM_MIN;
        if (z > (double)VIEW_ZOOM_MAX) z = VIEW_ZOOM_MAX;
        *zoom = (float)z;
        return;
    }
    double radius = std::sqrt(size[0] * size[0] + size[1] * size[1] + size[2] * size[2]) / 2.0;
    if (radius <= 0) return;
    // The sphere fits the cone whose half angle reaches the margin of the smaller side.
    double half = (width < height ? width : height) / 2.0 * VIEW_FRAME_FILL;
    double angle = std::atan(half / (focal > 0 ? focal : 1.0f));
    double d = radius / std::sin(angle);
    if (d > (double)limit) d = limit;
    if (d < (double)VIEW_MIN_DISTANCE) d = VIEW_MIN_DISTANCE;
    *distance = d >= (double)INT32_MAX ? INT32_MAX : (int32_t)d;
}

// ============================================================================================
// Small helpers
// ============================================================================================

static int ShapeEditor(void) { return AppConfig()->editorMode == EDITOR_SHAPE; }

// The client area of the current window (the view's region), in its own coordinates.
static void ClientRect(int* x0, int* y0, int* x1, int* y1)
{
    WinParam p1 = 0, p2 = 0;
    if (WinSendMessage(WIN_SELF, WM_REGION, &p1, &p2) != 0 || WinNoRect(p1)) {
        *x0 = *y0 = 0;
        *x1 = *y1 = -1;
        return;
    }
    *x0 = WinLo(p1);
    *y0 = WinHi(p1);
    *x1 = WinLo(p2);
    *y1 = WinHi(p2);
}

static void SetTitle(WinId window, const char* title)
{
    WinParam p1 = (WinParam)title, p2 = 0;
    WinSendMessage(window, WM_SETTITLE, &p1, &p2);
}

// A refusal box; the rest of the drag that caused it is ignored, so that one drag gives one box.
static void Refuse(const char* title, const char* text)
{
    MsgBoxShow(title, text);
    Data()->dragRefused = 1;
}

// A move dragged out of the view stops: what was moved stays moved, as one undo step.
static void LeftView(const char* title, const char* what)
{
    const int32_t* done = Data()->moveDone;
    char text[160];
    if (done[0] || done[1] || done[2])
        snprintf(text, sizeof text,
                 "The pointer left the view, so the move stopped there. Undo puts the %s back; drag again inside the "
                 "view.",
                 what);
    else
        snprintf(text, sizeof text, "The pointer left the view before anything moved. Drag inside the view.");
    Refuse(title, text);
}

// Point-to-world at a region position of the current view; 0 in the perspective view.
static int PointToWorld(int rx, int ry, int32_t out[3], int* freeAxis)
{
    ViewData* d = Data();
    return ViewPointToWorld(d->type, d->zoom, d->centre, rx, ry, (int)d->drawX, (int)d->drawY, out, freeAxis);
}

static int InsideRegion(int rx, int ry)
{
    int x0, y0, x1, y1;
    ClientRect(&x0, &y0, &x1, &y1);
    return rx >= 0 && ry >= 0 && rx <= x1 - x0 && ry <= y1 - y0;
}

// The slot that shows the edited shape (the shape manager's current shape).
static SlotId EditedSlot(void)
{
    for (SlotId s = SlotsNext(SLOTS_NONE, 0); s != SLOTS_NONE; s = SlotsNext(s, 0))
        if (s != SLOTS_CAMERA && SlotsShape(s) == SLOTS_SHAPE_CURRENT) return s;
    return SLOTS_NONE;
}

static uint8_t* EditBlock(void) { return ShapeMIsInstalled() ? ShapeMEdit()->data : nullptr; }

static int32_t EditRadius(void)
{
    uint8_t* b = EditBlock();
    return b ? GetI32(b, SH_RADIUS) : 0;
}

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
// The camera of a frame
// ============================================================================================

// Places the eye, the lens and the depth range for the view, in Draw3D and in the camera
// slot. The perspective eye stands `distance` behind the centre along the camera's forward
// row; a parallel eye stands far enough back that the whole shape lies beyond the near plane.
static void SetUpCamera(ViewData* d, int width, int height)
{
    int16_t m[9];
    ViewCameraRows(d->type, d->orientation, m);
    double radius = ShapeEditor() ? EditRadius() : WorldRadius();
    double centreLength = std::sqrt((double)d->centre[0] * d->centre[0] + (double)d->centre[1] * d->centre[1] +
                                    (double)d->centre[2] * d->centre[2]);
    double back;
    if (d->type == VIEW_PERSPECTIVE) {
        back = d->distance;
        Draw3DLensPerspective(0, 0, width, height);
    } else {
        back = centreLength + radius + 2.0 * (double)D3_NEAREST_Z;
        Draw3DLensOrthographic(width, height, d->zoom);
    }
    const double depthLimit = (double)D3_DEPTH_LIMIT;
    if (back > depthLimit) back = depthLimit;
    int32_t eye[3];
    for (int a = 0; a < 3; a++) eye[a] = ClampWorld((int64_t)(d->centre[a] - back * m[6 + a] / 16384.0));
    Draw3DSetCamera(eye, m);
    SlotsSetPosition(SLOTS_CAMERA, eye[0], eye[1], eye[2]);
    SlotsSetOrientation(SLOTS_CAMERA, m);
    double far = back + centreLength + radius;
    if (!ShapeEditor()) far = depthLimit;
    if (far < (double)D3_VIEW_DISTANCE) far = (double)D3_VIEW_DISTANCE;
    Draw3DSetDistance((int32_t)(far > depthLimit ? depthLimit : far));
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
static void ShapePass(WinId self, ViewData* d, int width, int height, int inside, int px, int py)
{
    d->pickVertex = d->pickPolygon = -1;
    uint8_t* b = EditBlock();
    if (!b || !Project(b, width, height)) return;
    if (!inside) px = py = NO_POINTER;
    int hidden = (d->flags & VIEWF_HIDDEN) != 0;

    uint32_t rectFlags;
    int32_t rect[4];
    if (EditActiveView() == self && EditTakeRectSelect(&rectFlags, rect)) {
        // The panel hands back the screen rectangle the view gave it.
        int ox = 0, oy = 0, x0, y0, x1, y1;
        WinGetAbsPos(self, &ox, &oy);
        ClientRect(&x0, &y0, &x1, &y1);
        for (int i = 0; i < 4; i += 2) {
            rect[i] -= ox + x0;
            rect[i + 1] -= oy + y0;
        }
        SelectInRect(b, rectFlags, rect);
    }
    d->pickVertex = MeshPick(screen, seen.count, px, py, 0, nullptr);
    d->pickPolygon = inside ? PickPolygon(b, px, py, hidden) : -1;
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
        if (d->flags & VIEWF_NORMALS) DrawNormal(b, poly, ShapeMDisplay(SHOW_NORMALS));
        if (materials && (GetU16(poly, 2) & 0x7FFF) == material && !(GetU16(poly, 2) & MAT_UNRESOLVED))
            Outline(poly, ShapeMDisplay(SHOW_MARKED));
        if ((d->flags & VIEWF_MARKED) && (flags & PF_MARKED)) Outline(poly, ShapeMDisplay(SHOW_MARKED));
        if (flags & PF_SELECTED) Outline(poly, ShapeMDisplay(SHOW_SELECTED));
        if (i == first) Outline(poly, ShapeMDisplay(SHOW_PICKED));
    }
    if ((pickMode & EDIT_PICK_POLYGONS) && d->pickPolygon >= 0)
        Outline(ShapePolygon(b, d->pickPolygon), ShapeMDisplay(SHOW_PICKED));

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
    if (pickMode & EDIT_PICK_UNDER) under = d->pickVertex;
    if ((pickMode & EDIT_PICK_CORNER) && d->pickPolygon >= 0 && d->pickVertex >= 0) {
        const uint8_t* p = ShapePolygon(b, d->pickPolygon);
        for (int k = 0; k < ShapePolyPoints(p); k++)
            if (ShapePolyIndex(p, k) == d->pickVertex) under = d->pickVertex;
    }
    MarkVertex(under, MARK_UNDER, ShapeMDisplay(SHOW_PICKED), 0);
}

// ============================================================================================
// The world as drawn: terrain, worldshapes, nodes, picks and rectangle selection
// ============================================================================================

// Where the last World Editor drawing picked, so that a press elsewhere picks again.
static struct {
    WinId view;
    int pointerX, pointerY, pointerInside;
} worldSeen;

int ViewWorldShapeFilter(uint32_t displayFlags)
{
    return ((displayFlags & VIEWF_TERRAIN) ? 1 : 0) | ((displayFlags & VIEWF_DYNAMIC) ? 2 : 0);
}

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

static void TakeWorldRect(WinId self, WorldRect* r)
{
    r->shapes = r->nodes = 0;
    uint32_t flags;
    if (EditActiveView() != self || !EditTakeRectSelect(&flags, r->rect)) return;
    int ox = 0, oy = 0, x0, y0, x1, y1;
    WinGetAbsPos(self, &ox, &oy);
    ClientRect(&x0, &y0, &x1, &y1);
    for (int i = 0; i < 4; i += 2) {
        r->rect[i] -= ox + x0;
        r->rect[i + 1] -= oy + y0;
    }
    int off = (flags & EDIT_RECT_DESELECT) != 0;
    if (flags & VIEW_RECT_WORLD_SHAPES) r->shapes = off ? 2 : 1;
    if (flags & VIEW_RECT_NODES) r->nodes = off ? NET_RECT_DESELECT : NET_RECT_SELECT;
}

// After the frame: the selected worldshapes' boxes, the one under the pointer
// with its label, and the nodes; the picks go to the view's data.
static void WorldOverlay(WinId self, ViewData* d, WorldRect* r, int width, int inside, int px, int py)
{
    WorldMDrawSelectionBoxes(WORLD_SELECTED_COLOUR);
    d->pickShape = inside ? WorldMPick(px, py) : 0;
    if (d->pickShape) {
        TextSetFormat(TEXT_MODE_PLAIN, -1, 0, width - 1);
        WorldMDrawPointedShape((uint16_t)d->pickShape, WORLD_POINTED_COLOUR);
    }
    NetView view{nullptr, TimerMs(), inside ? px : NO_POINTER, inside ? py : NO_POINTER, r->nodes,
                 {r->rect[0], r->rect[1], r->rect[2], r->rect[3]}};
    if (!r->nodes) memset(view.rect, 0, sizeof view.rect);
    d->pickNode = WorldMNodeDisplay(NODE_COLOUR, NODE_HIGHLIGHT_COLOUR, &view);
    DrawNodeItems(width);
    worldSeen.view = self;
    worldSeen.pointerX = px;
    worldSeen.pointerY = py;
    worldSeen.pointerInside = inside;
}

// ============================================================================================
// Overlays in two dimensions
// ============================================================================================

static void ScaleBar(const ViewData* d, int width, int height)
{
    int l = ViewScaleBarLength(width, height);
    DrawLine(8, 5, l + 7, 5, OVERLAY_COLOUR);
    DrawLine(8, 5, 8, l + 4, OVERLAY_COLOUR);
    DrawLine(l + 7, 5, l + 7, 7, OVERLAY_COLOUR);
    DrawLine(8, l + 4, 10, l + 4, OVERLAY_COLOUR);
    char label[32];
    ViewScaleLabel((double)l * d->zoom, AppConfig()->scale, label, sizeof label);
    TextSetColour(OVERLAY_COLOUR);
    TextSetFormat(TEXT_MODE_PLAIN, -1, 0, width - 1);
    TextPrint(l + 11, 5, "%s", label);
}

// The world axes as the camera sees them, from a point in the lower right corner.
static void OrientationAxes(const ViewData* d, int width, int height)
{
    int16_t m[9];
    ViewCameraRows(d->type, d->orientation, m);
    int ox = width - AXES_LENGTH - 12, oy = height - STATUS_LINE - AXES_LENGTH - 8;
    static const int colours[3] = {AXIS_X_COLOUR, AXIS_Y_COLOUR, AXIS_Z_COLOUR};
    static const char* const names[3] = {"X", "Y", "Z"};
    TextSetFormat(TEXT_MODE_PLAIN, -1, 0, width - 1);
    for (int a = 0; a < 3; a++) {
        int x = ox + m[a] * AXES_LENGTH / 16384, y = oy - m[3 + a] * AXES_LENGTH / 16384;
        DrawLine(ox, oy, x, y, colours[a]);
        TextSetColour(colours[a]);
        TextPrint(x + (x >= ox ? 2 : -8), y - 4, "%s", names[a]);
    }
}

// The status lines of the last drawing, bottom up, for the dump of what the screen holds.
enum { STATUS_LINES = 5, STATUS_CHARS = EDIT_NOTE_MAX + 1 };
static struct {
    WinId view;
    int count;
    char text[STATUS_LINES][STATUS_CHARS];
} status;

static void StatusLine(int x, int y, const char* text)
{
    TextPrint(x, y, "%s", text);
    if (status.count < STATUS_LINES) StrLCopy(status.text[status.count++], text, STATUS_CHARS);
}

static void StatusLines(WinId self, const ViewData* d, int width, int height)
{
    status.view = self;
    status.count = 0;
    TextSetColour(DrawTextColour());
    TextSetFormat(TEXT_MODE_PLAIN, -1, 0, width - 1);
    int y = height - STATUS_LINE;
    char line[STATUS_CHARS];
    snprintf(line, sizeof line, "%d fps", (int)TimingFPS());
    StatusLine(width - TextWidth(line) - 4, y, line);
    // A button's note (what it did not do) stands lowest, where the eye finds it.
    const char* note = EditCurrentNote();
    if (*note) {
        StatusLine(4, y, note);
        y -= STATUS_LINE;
    }
    uint8_t* b = EditBlock();
    if (b && d->pickPolygon >= 0) {
        if (const uint8_t* p = ShapePolygon(b, d->pickPolygon)) {
            snprintf(line, sizeof line, "#%d, %d vertices", (int)d->pickPolygon, ShapePolyPoints(p));
            StatusLine(4, y, line);
            y -= STATUS_LINE;
        }
    }
    if (b && d->pickVertex >= 0 && d->pickVertex < ShapeVertexCount(b)) {
        int32_t p[3];
        ShapeVertexPos(b, d->pickVertex, p);
        if (d->flags & VIEWF_DECIMAL)
            snprintf(line, sizeof line, "#%d @ %d,%d,%d", (int)d->pickVertex, (int)p[0], (int)p[1], (int)p[2]);
        else
            snprintf(line, sizeof line, "#%d @ %08X,%08X,%08X", (int)d->pickVertex, (unsigned)p[0], (unsigned)p[1],
                     (unsigned)p[2]);
        StatusLine(4, y, line);
        y -= STATUS_LINE;
    }
    // The palette's colours matter where the palette can be edited.
    if (AppConfig()->palSupport || AppConfig()->softwareRender) {
        int start, end;
        EditColourRange(&start, &end);
        if (start == end) snprintf(line, sizeof line, "Current Colour: %d", start);
        else snprintf(line, sizeof line, "Current Range: %d-%d", start, end);
        StatusLine(4, y, line);
    }
    // A parallel view says in plain numbers where the pointer is, above the frame rate.
    if (d->pointerValid) {
        int across, up;
        ShownAxes(d->type, &across, &up);
        snprintf(line, sizeof line, "Pointer %c %d, %c %d", "xyz"[across], (int)d->pointerWorld[across], "xyz"[up],
                 (int)d->pointerWorld[up]);
        StatusLine(width - TextWidth(line) - 4, height - 2 * STATUS_LINE, line);
    }
}

static int StatusTexts(WinId window, const char** out, int max)
{
    if (window != status.view) return 0;
    int n = 0;
    for (; n < status.count && n < max; n++) out[n] = status.text[n];
    return n;
}

// ============================================================================================
// Drawing the view
// ============================================================================================

static void HandOverRectangle(WinId self)
{
    ViewData* d = Data();
    if (!d->rectTool) return;
    int tool = d->rectTool;
    d->rectTool = 0;
    uint32_t panelClass = tool == EDIT_TOOL_MESH_RECT     ? CLASS_MESH_PANEL
                          : tool == EDIT_TOOL_SHAPES_RECT ? CLASS_EDIT_SHAPES_PANEL
                          : tool == EDIT_TOOL_NODES_RECT  ? CLASS_NODES_PANEL
                                                          : 0;
    if (!panelClass) FatalError("What's going on here? MeshX1 set up but nowhere to send it!");
    // The panel asked for the rectangle by choosing the tool; when it has been closed since,
    // the rectangle has nowhere to go and is dropped.
    WinId panel = WinFindClass(panelClass);
    if (!panel) {
        LogPrintf(LOG_INFO, "VIEW: no panel 0x%X for the selection rectangle", (unsigned)panelClass);
        return;
    }
    int ox = 0, oy = 0, x0, y0, x1, y1;
    WinGetAbsPos(self, &ox, &oy);
    ClientRect(&x0, &y0, &x1, &y1);
    d = Data();
    WinParam p1 = WinPack(d->rect[0] + ox + x0, d->rect[1] + oy + y0);
    WinParam p2 = WinPack(d->rect[2] + ox + x0, d->rect[3] + oy + y0);
    WinSendMessage(panel, PANEL_MSG_RECT, &p1, &p2);
}


uint32_t ViewRenderFlags(uint32_t viewFlags)
{
    uint32_t r = 0;
    if (viewFlags & VIEWF_WIREFRAME) r |= RENDER_WIREFRAME;
    if (!(viewFlags & VIEWF_NO_BILINEAR)) r |= RENDER_FILTER;
    if (viewFlags & VIEWF_TEX_LIGHT) r |= RENDER_TEXTURE_LIGHT;
    if (viewFlags & VIEWF_NO_MIPMAPS) r |= RENDER_NO_MIPMAPS;
    return r;
}

static void DrawView(WinId self)
{
    int x0, y0, x1, y1;
    ClientRect(&x0, &y0, &x1, &y1);
    int width = x1 - x0 + 1, height = y1 - y0 + 1;
    if (width < 1 || height < 1) return;
    ViewData* d = Data();
    SetUpCamera(d, width, height);
    Draw3DSetDisplayFlags(d->flags);
    Draw3DSetRenderFlags(ViewRenderFlags(d->flags));
    Draw3DStartDraw(0, 0, width, height);
    Draw3DViewCentre(&d->drawX, &d->drawY);
    Draw3DFillView(DrawBackground());
    HandOverRectangle(self);
    WorldRect worldRect = {0, 0, {0, 0, 0, 0}};
    if (ShapeEditor()) {
        SlotsDrawPass();
    } else {
        WorldMSetShapeFilter(ViewWorldShapeFilter(Data()->flags));
        TakeWorldRect(self, &worldRect);
        GroundGrid();
        // The ground first: the worldshapes stand on it and the depth test hides what it covers.
        if (Data()->flags & VIEWF_TERRAIN) TerrainDraw();
        WorldMDrawShapes(worldRect.shapes, worldRect.shapes ? worldRect.rect : nullptr);
    }
    Draw3DDisplay();

    int px = 0, py = 0;
    int inside = WinGetPointerInRegion(&px, &py) == 0;
    d = Data();
    d->pointerValid = inside && PointToWorld(px, py, d->pointerWorld, nullptr);
    if (ShapeEditor()) {
        ShapePass(self, d, width, height, inside, px, py);
    } else {
        d->pickVertex = d->pickPolygon = -1;
        WorldOverlay(self, d, &worldRect, width, inside, px, py);
    }
    d = Data();
    if (d->liveRect) {
        int rx0 = d->rect[0] < d->rect[2] ? d->rect[0] : d->rect[2], rx1 = d->rect[0] < d->rect[2] ? d->rect[2] : d->rect[0];
        int ry0 = d->rect[1] < d->rect[3] ? d->rect[1] : d->rect[3], ry1 = d->rect[1] < d->rect[3] ? d->rect[3] : d->rect[1];
        DrawFillRect(rx0, ry0, rx1, ry1, (int)OVERLAY_COLOUR | (int)DRAW_OUTLINE);
        d->liveRect = 0;
    }
    if (d->type != VIEW_PERSPECTIVE) ScaleBar(d, width, height);
    if (d->flags & VIEWF_ORIENTATION) OrientationAxes(d, width, height);
    StatusLines(self, d, width, height);
    if (inside) {
        EditPick* pick = EditPickNow();
        pick->vertex = d->pickVertex;
        pick->polygon = d->pickPolygon;
        pick->worldShape = (uint32_t)(d->pickShape > 0 ? d->pickShape : 0);
        pick->node = (uint32_t)(d->pickNode > 0 ? d->pickNode : 0);
    }
}

// ============================================================================================
// Tools
// ============================================================================================

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
    b = EditBlock();
    int made = ShapePolygonCount(b) - 1;
    const uint8_t* poly = ShapePolygon(b, made);
    facingAway.polygon = -1;
    if (poly && PolygonSeen(poly) && !Facing(poly)) {
        facingAway.polygon = made;
        facingAway.count = ShapePolygonCount(b);
        EditNote("Polygon %d faces away from the camera: press I to flip it.", made);
    }
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
    MeshSetPosition(vertex, v[0], ClampWorld(y), v[2]);
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

static void OpenPointName(WinId self, int vertex);

// A pick handed to a panel found by its class; nothing without the pick or the panel.
static void TellPanel(uint32_t panelClass, int message, int32_t index, int on)
{
    WinId panel = WinFindClass(panelClass);
    if (!panel || index < 0) return;
    WinParam p1 = index, p2 = on;
    WinSendMessage(panel, message, &p1, &p2);
}

// The tools act on the picks of the last drawing. When the pointer jumped and was pressed
// within one frame (a script, a desktop tool, a quick hand), that drawing picked elsewhere:
// pick again at the press from the same projection, so the click acts on what is under it.
static void PickAtPress(WinId self, int rx, int ry)
{
    if (seen.view != self || seen.stale) return;
    if (seen.pointerInside && seen.pointerX == rx && seen.pointerY == ry) return;
    uint8_t* b = EditBlock();
    if (!b || seen.count != ShapeVertexCount(b)) return;
    EditPick pick = *EditPickBefore();
    pick.vertex = MeshPick(screen, seen.count, rx, ry, 0, nullptr);
    pick.polygon = PickPolygon(b, rx, ry, (Data()->flags & VIEWF_HIDDEN) != 0);
    EditPickReplaceBefore(&pick);
}

// The world picks of the last drawing, taken again at the press when the pointer was
// elsewhere then (as PickAtPress does for the shape). Draw3D still holds the camera of the last
// view drawn, so only that view picks again.
static void WorldPickAtPress(WinId self, int rx, int ry)
{
    if (worldSeen.view != self) return;
    if (worldSeen.pointerInside && worldSeen.pointerX == rx && worldSeen.pointerY == ry) return;
    EditPick pick = *EditPickBefore();
    pick.worldShape = WorldMPick(rx, ry);
    NetView view{nullptr, TimerMs(), rx, ry, 0, {0, 0, 0, 0}};
    pick.node = (uint32_t)WorldMNodeDisplay(NODE_COLOUR, NODE_HIGHLIGHT_COLOUR, &view);
    EditPickReplaceBefore(&pick);
}

// A move of the selected worldshapes or nodes starts. Its one undo copy is taken at its first
// step, so that a click that moves nothing keeps the undo of the edit before it.
static void StartWorldMove(int tool, int rx, int ry)
{
    int32_t w[3];
    if (!PointToWorld(rx, ry, w, nullptr)) {
        Refuse("Move", "Not on perspective view.");
        return;
    }
    ViewData* d = Data();
    d->moving = tool;
    d->moveSaved = 0;
    memcpy(d->moveStart, w, sizeof w);
    memset(d->moveDone, 0, sizeof d->moveDone);
}

// Tool 30: the pointer's world position goes to the Add Shapes panel on the view's two axes.
static void ShapePosition(int rx, int ry)
{
    int32_t w[3];
    int free = MESH_X;
    if (!PointToWorld(rx, ry, w, &free)) {
        Refuse("Shape Position", "Use a parallel view, fool!");
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

static void WorldPress(WinId self, int tool, int rx, int ry)
{
    if (!WorldMIsInstalled()) return;
    WorldPickAtPress(self, rx, ry);
    uint32_t shape = EditPickBefore()->worldShape, node = EditPickBefore()->node;
    switch (tool) {
    case EDIT_TOOL_SHAPES_MOVE:
    case EDIT_TOOL_NODES_MOVE: StartWorldMove(tool, rx, ry); break;
    case EDIT_TOOL_SHAPES_PICK:
        if (shape) TellPanel(CLASS_EDIT_SHAPES_PANEL, PANEL_MSG_WORLD_SHAPE, (int32_t)shape, 1);
        break;
    case EDIT_TOOL_SHAPE_POSITION: ShapePosition(rx, ry); break;
    case EDIT_TOOL_NODES_PICK:
        if (node) TellPanel(CLASS_NODES_PANEL, PANEL_MSG_NODE, (int32_t)node, 1);
        break;
    case EDIT_TOOL_NODE_ADD: {
        int32_t w[3];
        int free = MESH_X;
        if (!PointToWorld(rx, ry, w, &free)) {
            Refuse("Add Node", "Not on perspective view you don't!");
            break;
        }
        // A view without height puts the node above the ground, where a monorail can stand.
        if (free == MESH_Y) {
            if (EditNodeClearance() < 0) {
                Refuse("Add Node", "The Nodes panel's Up field holds no height. Type how high above the ground new "
                                   "nodes stand (0 to 99999), then click again.");
                break;
            }
            w[1] = NetNodeHeightOver(w[0], w[2], EditNodeClearance());
        }
        if (WorldMAddNetNode(w[0], w[1], w[2]) < 0) MsgBoxError("Add Node", WM_ERR_OUT_OF_SPACE);
        break;
    }
    default: break;   // 27 and 32 act on the release rectangle
    }
}

static void LeftPress(WinId self, int rx, int ry)
{
    ViewData* d = Data();
    d->dragRefused = 0;
    d->movingVertex = -1;
    d->moving = 0;
    d->pressed = 1;
    int tool = EditToolMode();
    if (!ShapeEditor()) {
        WorldPress(self, tool, rx, ry);
        return;
    }
    uint8_t* b = EditBlock();
    if (!b) return;
    PickAtPress(self, rx, ry);
    int32_t vertex = EditPickBefore()->vertex, polygon = EditPickBefore()->polygon;
    if (vertex >= ShapeVertexCount(b)) vertex = -1;
    if (polygon >= ShapePolygonCount(b)) polygon = -1;
    switch (tool) {
    case EDIT_TOOL_POLY_DELETE:
        if (polygon >= 0) MeshDeletePolygon(polygon);
        break;
    case EDIT_TOOL_POLY_ADD: AddPolygonPoint(vertex); break;
    case EDIT_TOOL_VERTEX_DELETE:
        // A vertex with a name, or one a polygon uses, stays: the status line says why.
        if (vertex < 0) break;
        if (ShapePointName(b, vertex)) EditNote("Delete: vertex %d has a point name and stays.", (int)vertex);
        else if (VertexUsed(b, vertex)) EditNote("Delete: vertex %d stays while a polygon uses it.", (int)vertex);
        else MeshDeleteVertex(vertex);
        break;
    case EDIT_TOOL_VERTEX_MOVE:
        // One undo copy for the whole drag.
        if (vertex >= 0) {
            ShapeMSaveUndo();
            Data()->movingVertex = vertex;
        }
        break;
    case EDIT_TOOL_VERTEX_ADD: {
        int32_t w[3];
        if (!PointToWorld(rx, ry, w, nullptr)) {
            Refuse("Add Vertex", "Not on perspective view you don't!");
            break;
        }
        ShapeMSaveUndo();
        if (ShapeAppendVertex(ShapeMEdit(), w[0], w[1], w[2]) < 0) LogPrintf(LOG_WARN, "VIEW: no room for the new vertex");
        ShapeDerive(EditBlock());
        break;
    }
    case EDIT_TOOL_POLY_FLATTEN:
        if (polygon < 0) break;
        if (ShapePolyPoints(ShapePolygon(b, polygon)) != 4)
            EditNote("Flatten works on quads; polygon %d has %d points.", (int)polygon, ShapePolyPoints(ShapePolygon(b, polygon)));
        else MeshFlatten(polygon, VertexOfPolygon(b, polygon, vertex) >= 0 ? vertex : MESH_SELECTED);
        break;
    case EDIT_TOOL_POLY_COMBINE:
        if (polygon < 0) break;
        if (EditFirstPolygon() < 0) {
            EditSetFirstPolygon(polygon);
        } else if (EditFirstPolygon() != polygon) {
            if (MeshCombine(EditFirstPolygon(), polygon) != 0)
                EditNote("Combine joins two triangles sharing an edge, flat together, in one material.");
            EditSetFirstPolygon(-1);
        }
        break;
    case EDIT_TOOL_VERTEX_CAMERA:
        if (vertex >= 0) ShapeVertexPos(b, vertex, Data()->centre);
        break;
    case EDIT_TOOL_VERTEX_MERGE:
    case EDIT_TOOL_VERTEX_INTERP: PairTool(tool, vertex); break;
    case EDIT_TOOL_POLY_MAPPING: OpenMapping(polygon, vertex); break;
    case EDIT_TOOL_POLY_HIDE:
        if (polygon >= 0) MeshToggleHidden(polygon);
        break;
    case EDIT_TOOL_VERTEX_CENTRE_Y:
        if (vertex >= 0) MeshCentreYOn(vertex);
        break;
    case EDIT_TOOL_VERTEX_PLANE:
        if (vertex >= 0 && !NeedsOnePolygon("Plane")) MeshPlane(vertex, MESH_SELECTED);
        break;
    case EDIT_TOOL_POLY_DOUBLE:
        if (polygon >= 0) MeshDouble(polygon);
        break;
    case EDIT_TOOL_MATERIAL_SET:
        if (polygon >= 0) MeshSetMaterial(polygon, MatMCurrent());
        break;
    case EDIT_TOOL_MATERIAL_GET: {
        WinId panel = WinFindClass(CLASS_MATERIALS_PANEL);
        if (polygon < 0 || !panel) break;
        uint16_t m = GetU16(ShapePolygon(b, polygon), 2);
        // An unresolved material draws as the Dummy; that is what the user picked.
        MatMSetCurrent((m & MAT_UNRESOLVED) ? 0 : m);
        TellPanel(CLASS_MATERIALS_PANEL, PANEL_MSG_MATERIAL, MatMCurrent(), 0);
        break;
    }
    case EDIT_TOOL_POLY_INVERT:
        if (polygon >= 0) MeshInvert(polygon);
        break;
    case EDIT_TOOL_VERTEX_CENTRE:
        if (vertex >= 0) MeshCentreOn(vertex);
        break;
    case EDIT_TOOL_MESH_VERTEX: TellPanel(CLASS_MESH_PANEL, PANEL_MSG_VERTEX, vertex, 1); break;
    case EDIT_TOOL_MESH_POLYGON: TellPanel(CLASS_MESH_PANEL, PANEL_MSG_POLYGON, polygon, 1); break;
    case EDIT_TOOL_MESH_MOVE: {
        int32_t w[3];
        if (!PointToWorld(rx, ry, w, nullptr)) {
            Refuse("Move", "Not on perspective view.");
            break;
        }
        ShapeMSaveUndo();
        d = Data();
        d->moving = tool;
        memcpy(d->moveStart, w, sizeof w);
        memset(d->moveDone, 0, sizeof d->moveDone);
        break;
    }
    case EDIT_TOOL_VERTEX_PLANE_XZ:
        if (vertex >= 0 && !NeedsOnePolygon("PlaneXZ")) PlaneXZ(vertex);
        break;
    case EDIT_TOOL_VERTEX_NAME:
        if (vertex >= 0) OpenPointName(self, vertex);
        break;
    default: return;   // 15, 21, 22, 23 and the World Editor's tools
    }
    EditPickForget();
    seen.stale = 1;
}

static void RightPress(WinId self, int rx, int ry)
{
    int tool = EditToolMode();
    if (!ShapeEditor()) {
        if (tool == EDIT_TOOL_SHAPES_PICK && EditPickBefore()->worldShape)
            TellPanel(CLASS_EDIT_SHAPES_PANEL, PANEL_MSG_WORLD_SHAPE, (int32_t)EditPickBefore()->worldShape, 0);
        if (tool == EDIT_TOOL_NODES_PICK && EditPickBefore()->node)
            TellPanel(CLASS_NODES_PANEL, PANEL_MSG_NODE, (int32_t)EditPickBefore()->node, 0);
        return;
    }
    uint8_t* b = EditBlock();
    if (!b) return;
    PickAtPress(self, rx, ry);
    int32_t vertex = EditPickBefore()->vertex, polygon = EditPickBefore()->polygon;
    // The mesh selection's right button is tool 24's or tool 25's: it drops the vertex under
    // the pointer when the panel picks vertices and one is there, else the polygon.
    if (tool == EDIT_TOOL_MESH_RECT)
        tool = (EditPickMode() & EDIT_PICK_VERTICES) && vertex >= 0 ? EDIT_TOOL_MESH_VERTEX : EDIT_TOOL_MESH_POLYGON;
    if (tool == EDIT_TOOL_MESH_VERTEX) TellPanel(CLASS_MESH_PANEL, PANEL_MSG_VERTEX, vertex, 0);
    if (tool == EDIT_TOOL_MESH_POLYGON) TellPanel(CLASS_MESH_PANEL, PANEL_MSG_POLYGON, polygon, 0);
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

// One step of a world move, without an undo copy of its own: the drag has one.
static void WorldMoveStep(ViewData* d, int tool, const int32_t delta[3])
{
    if (!d->moveSaved) {
        WorldMUndoSnapshot();
        d->moveSaved = 1;
    }
    int undo = WorldMUndoOn();
    WorldMSetUndo(0);
    static void (*const shapes[3])(int32_t) = {WorldMMoveSelectedX, WorldMMoveSelectedY, WorldMMoveSelectedZ};
    static void (*const nodes[3])(int32_t) = {WorldMMoveSelectedNodesX, WorldMMoveSelectedNodesY,
                                              WorldMMoveSelectedNodesZ};
    for (int a = 0; a < 3; a++)
        if (delta[a]) (tool == EDIT_TOOL_NODES_MOVE ? nodes : shapes)[a](delta[a]);
    WorldMSetUndo(undo);
}

// Moved by what the pointer travelled since the press, less what was moved already, so that
// the selection does not creep by the rounding of each step.
static int MoveDelta(ViewData* d, const int32_t w[3], int free, int32_t delta[3])
{
    for (int a = 0; a < 3; a++) {
        delta[a] = a == free ? 0 : ClampWorld((int64_t)w[a] - d->moveStart[a] - d->moveDone[a]);
        d->moveDone[a] += delta[a];
    }
    return delta[0] || delta[1] || delta[2];
}

static void Drag(int rx, int ry, int pressX, int pressY)
{
    ViewData* d = Data();
    if (!d->pressed || d->dragRefused) return;
    int tool = EditToolMode();
    if (!ShapeEditor()) {
        if (tool == EDIT_TOOL_SHAPES_RECT || tool == EDIT_TOOL_NODES_RECT) {
            d->liveRect = 1;
            d->rect[0] = pressX;
            d->rect[1] = pressY;
            d->rect[2] = rx;
            d->rect[3] = ry;
            return;
        }
        if ((tool != EDIT_TOOL_SHAPES_MOVE && tool != EDIT_TOOL_NODES_MOVE) || d->moving != tool) return;
        int32_t w[3], delta[3];
        int free = MESH_X;
        if (!InsideRegion(rx, ry) || !PointToWorld(rx, ry, w, &free)) {
            if (tool == EDIT_TOOL_NODES_MOVE) LeftView("Node Move", "nodes");
            else LeftView("World Move", "shapes");
            return;
        }
        if (MoveDelta(d, w, free, delta)) WorldMoveStep(d, tool, delta);
        return;
    }
    if (tool == EDIT_TOOL_MESH_RECT) {
        d->liveRect = 1;
        d->rect[0] = pressX;
        d->rect[1] = pressY;
        d->rect[2] = rx;
        d->rect[3] = ry;
        return;
    }
    if (tool == EDIT_TOOL_VERTEX_MOVE && d->movingVertex >= 0) {
        int32_t w[3];
        int free = MESH_X;
        if (!InsideRegion(rx, ry) || !PointToWorld(rx, ry, w, &free)) {
            Data()->movingVertex = -1;
            Refuse("Move Vertex", "Not on perspective view.");
            return;
        }
        // A click without a move leaves the vertex where it is.
        if (rx == pressX && ry == pressY) return;
        uint8_t* b = EditBlock();
        if (d->movingVertex >= ShapeVertexCount(b)) return;
        VertexMove m;
        m.vertex = d->movingVertex;
        ShapeVertexPos(b, m.vertex, m.to);
        int32_t before[3] = {m.to[0], m.to[1], m.to[2]};
        for (int a = 0; a < 3; a++)
            if (a != free) m.to[a] = w[a];
        if (memcmp(before, m.to, sizeof before) != 0) WithoutUndo(SetVertexStep, &m);
        return;
    }
    if (tool == EDIT_TOOL_MESH_MOVE && d->moving) {
        int32_t w[3];
        int free = MESH_X;
        if (!InsideRegion(rx, ry) || !PointToWorld(rx, ry, w, &free)) {
            LeftView("Mesh Move", "selection");
            return;
        }
        MeshMoveStep m;
        if (MoveDelta(d, w, free, m.delta)) WithoutUndo(MoveSelectionStep, &m);
    }
}

static void Release(int rx, int ry, int pressX, int pressY)
{
    ViewData* d = Data();
    if (d->moving) {
        int moved = d->moveDone[0] || d->moveDone[1] || d->moveDone[2];
        int tool = d->moving;
        d->moving = 0;
        if (moved && tool == EDIT_TOOL_MESH_MOVE) MeshMoveDone();
    }
    d = Data();
    int tool = EditToolMode();
    int rectTool = ShapeEditor() ? tool == EDIT_TOOL_MESH_RECT
                                 : tool == EDIT_TOOL_SHAPES_RECT || tool == EDIT_TOOL_NODES_RECT;
    if (rectTool && d->pressed && !d->dragRefused) {
        d->rect[0] = pressX;
        d->rect[1] = pressY;
        d->rect[2] = rx;
        d->rect[3] = ry;
        d->rectTool = tool;
    }
    d->movingVertex = -1;
    d->dragRefused = 0;
    d->liveRect = 0;
    d->pressed = 0;
}

// ============================================================================================
// Tick: title, active view, centre request, keypad
// ============================================================================================

static void Keypad(ViewData* d, uint32_t elapsed)
{
    if (d->type != VIEW_PERSPECTIVE) {
        int fine = KeyHeld(KEY_LCONTROL);
        if (KeyHeld(KEY_SUBTRACT)) d->zoom = ViewZoomKey(d->zoom, -1, elapsed, fine);
        if (KeyHeld(KEY_ADD)) d->zoom = ViewZoomKey(d->zoom, 1, elapsed, fine);
        if (KeyPressed(KEY_NUMPAD5)) d->centre[0] = d->centre[1] = d->centre[2] = 0;
        int32_t step = ViewPanStep(d->zoom, elapsed, fine), h = 0, v = 0;
        if (KeyHeld(KEY_NUMPAD8)) v -= step;
        if (KeyHeld(KEY_NUMPAD2)) v += step;
        if (KeyHeld(KEY_NUMPAD4)) h += step;
        if (KeyHeld(KEY_NUMPAD6)) h -= step;
        if (h || v) ViewPan(d->type, h, v, d->centre);
        return;
    }
    int fine = KeyHeld(KEY_LCONTROL);
    int minus = KeyHeld(KEY_SUBTRACT), plus = KeyHeld(KEY_ADD);
    if (minus || plus) {
        int32_t limit = ViewDistanceLimit(AppConfig()->editorMode, EditRadius());
        if (minus) d->distance = ViewDistanceKey(d->distance, -1, elapsed, fine, limit);
        if (plus) d->distance = ViewDistanceKey(d->distance, 1, elapsed, fine, limit);
    }
    int32_t t = ViewTurnStep(elapsed, KeyHeld(KEY_LSHIFT));
    if (KeyHeld(KEY_NUMPAD0)) ViewTurn(d->orientation, VIEW_TURN_HEADING, t);
    if (KeyHeld(KEY_DECIMAL)) ViewTurn(d->orientation, VIEW_TURN_HEADING, -t);
    if (KeyHeld(KEY_NUMPAD9)) ViewTurn(d->orientation, VIEW_TURN_PITCH, -t / 2);
    if (KeyHeld(KEY_NUMPAD3)) ViewTurn(d->orientation, VIEW_TURN_PITCH, t / 2);
    if (KeyPressed(KEY_NUMPAD5)) memcpy(d->orientation, kViewDefaultOrientation, sizeof d->orientation);
}

// What a frame shows: the selection (selected vertices and the points of selected polygons;
// selected worldshapes and nodes), else everything; in an empty world the ground of its cells.
static int ContentBox(int32_t lo[3], int32_t hi[3])
{
    if (!ShapeEditor()) {
        if (WorldMContentBox(1, lo, hi) || WorldMContentBox(0, lo, hi)) return 1;
        if (!WorldMIsInstalled() || !WorldMCellsX() || !WorldMCellsZ()) return 0;
        int64_t edge = WorldMCellEdge();
        lo[0] = lo[1] = lo[2] = hi[1] = 0;
        hi[0] = ClampWorld(edge * WorldMCellsX());
        hi[2] = ClampWorld(edge * WorldMCellsZ());
        return 1;
    }
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

// Frames the content in this view: its own projection fitted, and the other kind's setting
// (the zoom in the perspective view, the distance in a parallel one) fitted too, so that a
// change of projection finds the content as well.
static void Frame(ViewData* d)
{
    int32_t lo[3], hi[3];
    if (!ContentBox(lo, hi)) return;
    int x0, y0, x1, y1;
    ClientRect(&x0, &y0, &x1, &y1);
    int width = x1 - x0 + 1, height = y1 - y0 + 1;
    int32_t limit = ViewDistanceLimit(AppConfig()->editorMode, EditRadius());
    float focal = Draw3DFocal();
    ViewFrameBox(VIEW_PERSPECTIVE, lo, hi, width, height, focal, limit, &d->zoom, &d->distance, d->centre);
    // The parallel fit of a view that shows the box's two largest sides.
    int type = d->type;
    if (type == VIEW_PERSPECTIVE) {
        int64_t sx = (int64_t)hi[0] - lo[0], sy = (int64_t)hi[1] - lo[1], sz = (int64_t)hi[2] - lo[2];
        type = sy <= sx && sy <= sz ? VIEW_TOP : sx <= sz ? VIEW_LEFT : VIEW_FRONT;
    }
    ViewFrameBox(type, lo, hi, width, height, focal, limit, &d->zoom, &d->distance, d->centre);
}

// The views' own keys: Home and F frame, I flips the polygon just made facing away.
enum { VIEW_KEY_FRAME = 0, VIEW_KEY_FLIP = 1, VIEW_KEYS = 2 };
static const int kViewKeys[VIEW_KEYS][2] = {{KEY_HOME, KEY_F}, {KEY_I, KEY_I}};

// Which of the views' keys went down this turn (a bit each), while no edit field has the keys,
// no box waits and neither Ctrl nor Alt is held.
static int ViewKeys(void)
{
    static int wasHeld[VIEW_KEYS];
    int edges = 0;
    for (int k = 0; k < VIEW_KEYS; k++) {
        int held = KeyHeld(kViewKeys[k][0]) || KeyHeld(kViewKeys[k][1]);
        if (held && !wasHeld[k]) edges |= 1 << k;
        wasHeld[k] = held;
    }
    WinId focus = WinFocus();
    if (WinModal() || (focus && WinGetClass(focus) == CLASS_EDIT)) return 0;
    if (KeyHeld(KEY_LCONTROL) || KeyHeld(KEY_RCONTROL) || KeyHeld(KEY_LMENU) || KeyHeld(KEY_RMENU)) return 0;
    // A tap within one frame shows only as a press; a press a panel read first, only as the
    // key going down.
    for (int k = 0; k < VIEW_KEYS; k++) {
        int pressed = KeyPressed(kViewKeys[k][0]);
        if (kViewKeys[k][1] != kViewKeys[k][0]) pressed |= KeyPressed(kViewKeys[k][1]);
        if (pressed) edges |= 1 << k;
    }
    return edges;
}

static void FlipFacingAway(void)
{
    uint8_t* b = EditBlock();
    if (!b || FacingAwayPolygon(b) < 0) return;
    MeshInvert(facingAway.polygon);
    facingAway.polygon = -1;
    seen.stale = 1;
}

static void Tick(WinId self, uint32_t elapsed)
{
    const char* title = EditViewTitle();
    if (!title[0]) title = ShapeEditor() ? "Shape Editor" : "World Editor";
    if (StrCmp(WinGetTitle(self), title) != 0) SetTitle(self, title);
    ViewData* d = Data();
    if (d->framesSeen != EditFrameRequests()) {
        d->framesSeen = EditFrameRequests();
        Frame(d);
    }
    if (WinGetPointerInRegion(nullptr, nullptr) == 0) EditSetActiveView(self);
    if (EditActiveView() != self) return;
    d = Data();
    EditTakeCentreRequest(d->centre);
    int keys = ViewKeys();
    if (keys & (1 << VIEW_KEY_FRAME)) Frame(Data());
    if ((keys & (1 << VIEW_KEY_FLIP)) && ShapeEditor()) FlipFacingAway();
    d = Data();
    Keypad(d, elapsed);
}

// ============================================================================================
// The mouse's camera: wheel, middle button, Alt with the left button
// ============================================================================================

static void Wheel(ViewData* d, int notches, int rx, int ry)
{
    if (d->type == VIEW_PERSPECTIVE)
        d->distance = ViewWheelDistance(d->distance, notches, ViewDistanceLimit(AppConfig()->editorMode, EditRadius()));
    else
        ViewWheelAbout(d->type, &d->zoom, d->centre, notches, rx, ry, (int)d->drawX, (int)d->drawY);
}

static void StartCameraDrag(ViewData* d, int button, int rx, int ry)
{
    d->cameraDrag = button;
    d->dragX = rx;
    d->dragY = ry;
}

// One step of a camera drag to the region point (rx, ry): the perspective view orbits, or pans
// with Shift; a parallel view pans.
static void CameraDragTo(ViewData* d, int rx, int ry)
{
    int dx = rx - d->dragX, dy = ry - d->dragY;
    if (!dx && !dy) return;
    int shift = KeyHeld(KEY_LSHIFT) || KeyHeld(KEY_RSHIFT);
    if (d->type != VIEW_PERSPECTIVE) ViewDragPan(d->type, d->zoom, d->centre, d->dragX, d->dragY, rx, ry);
    else if (shift) ViewPerspectivePan(d->orientation, d->distance, Draw3DFocal(), dx, dy, d->centre);
    else ViewOrbit(d->orientation, dx, dy);
    d->dragX = rx;
    d->dragY = ry;
}

// A window-relative point of a drag message in region coordinates.
static void RegionPoint(WinParam p, int* rx, int* ry)
{
    int x0, y0, x1, y1;
    ClientRect(&x0, &y0, &x1, &y1);
    *rx = WinLo(p) - x0;
    *ry = WinHi(p) - y0;
}

// ============================================================================================
// The view window
// ============================================================================================

static void OpenSetup(WinId self)
{
    ViewData* d = Data();
    if (d->setupPanel && WinIsWindow(d->setupPanel) && WinGetClass(d->setupPanel) == CLASS_VIEW_SETUP) return;
    int ax = 0, ay = 0, x, y, w, h;
    WinGetAbsPos(self, &ax, &ay);
    WinGetRect(self, &x, &y, &w, &h);
    int px = ax + (w - SETUP_W) / 2, py = ay + (h - SETUP_H) / 2;
    WinId panel = WinCreate(px < 0 ? 0 : px, py < 0 ? 0 : py, SETUP_W, SETUP_H, WIN_DESKTOP, DIALOG_STYLE,
                            CLASS_VIEW_SETUP);
    if (!panel) return;
    d = Data();
    d->setupPanel = panel;
    WinParam p1 = d->type, p2 = (WinParam)d->flags;
    WinSendMessage(panel, SETUP_MSG_SHOW, &p1, &p2);
    p1 = self;
    WinSendMessage(panel, SETUP_MSG_OWNER, &p1, &p2);
    SetTitle(panel, "View Setup");
}

static void OpenScene(void)
{
    if (WinFindClass(CLASS_SCENE_PANEL)) return;
    WinId panel = WinCreate(SCENE_X, SCENE_Y, SCENE_W, SCENE_H, WIN_DESKTOP, DIALOG_STYLE, CLASS_SCENE_PANEL);
    if (panel) SetTitle(panel, "Scene Setup");
}

static void Create(WinId self)
{
    ViewData* d = Data();
    memset(d, 0, sizeof *d);
    memcpy(d->orientation, kViewDefaultOrientation, sizeof d->orientation);
    d->type = VIEW_PERSPECTIVE;
    d->zoom = VIEW_DEFAULT_ZOOM;
    d->distance = VIEW_DEFAULT_DISTANCE;
    d->flags = ShapeEditor() ? VIEW_FLAGS_SHAPE : VIEW_FLAGS_WORLD;
    d->movingVertex = -1;
    d->pickVertex = d->pickPolygon = d->pickNode = -1;
    int x0, y0, x1, y1;
    ClientRect(&x0, &y0, &x1, &y1);
    d->drawX = (x1 - x0 + 1) / 2.0f;
    d->drawY = (y1 - y0 + 1) / 2.0f;
    int x, y, w, h;
    WinGetRect(self, &x, &y, &w, &h);
    WinId setup = KitButtonSized(w - TITLE_BUTTON_W, 0, TITLE_BUTTON_W, TITLE_BUTTON_H, BUTTON_PUSH, "V");
    WinId scene = KitButtonSized(w - 2 * TITLE_BUTTON_W, 0, TITLE_BUTTON_W, TITLE_BUTTON_H, BUTTON_PUSH, "S");
    d = Data();
    d->setupButton = setup;
    d->sceneButton = scene;
    // Until the pointer visits a view, the keypad belongs to the first one.
    if (!EditActiveView()) EditSetActiveView(self);
    d->framesSeen = EditFrameRequests();
}

static int ViewProc(WinId self, WinId sender, int message, WinParam* p1, WinParam* p2)
{
    switch (message) {
    case WM_CREATE: Create(self); return 1;   // the frame sets itself up too
    case WM_DESTROY:
        if (EditActiveView() == self) EditSetActiveView(0);
        return 1;
    case WM_DRAWCLIENT: DrawView(self); return 0;
    case WM_LPRESS_REGION:
        // Alt with the left button is the touchpad's middle button: the camera's, never a tool's.
        if (KeyHeld(KEY_LMENU) || KeyHeld(KEY_RMENU)) {
            if (!Data()->cameraDrag) StartCameraDrag(Data(), CAMERA_DRAG_ALT_LEFT, (int)*p1, (int)*p2);
            return 0;
        }
        LeftPress(self, (int)*p1, (int)*p2);
        return 0;
    case WM_MPRESS_REGION:
        if (Data()->cameraDrag) return 1;
        StartCameraDrag(Data(), CAMERA_DRAG_MIDDLE, (int)*p1, (int)*p2);
        return 0;
    case WM_MDRAG:
    case WM_MRELEASE: {
        ViewData* d = Data();
        if (d->cameraDrag != CAMERA_DRAG_MIDDLE) return 0;
        int rx, ry;
        RegionPoint(*p1, &rx, &ry);
        CameraDragTo(d, rx, ry);
        if (message == WM_MRELEASE) d->cameraDrag = CAMERA_DRAG_NONE;
        return 0;
    }
    case WM_WHEEL: Wheel(Data(), (int)*p1, WinLo(*p2), WinHi(*p2)); return 0;
    case WM_RPRESS_REGION: RightPress(self, (int)*p1, (int)*p2); return 0;
    case WM_TICK: Tick(self, (uint32_t)*p2); return 0;
    case WM_DRAG: {
        int x0, y0, x1, y1;
        ClientRect(&x0, &y0, &x1, &y1);
        if (Data()->cameraDrag == CAMERA_DRAG_ALT_LEFT) CameraDragTo(Data(), WinLo(*p1) - x0, WinHi(*p1) - y0);
        else Drag(WinLo(*p1) - x0, WinHi(*p1) - y0, WinLo(*p2) - x0, WinHi(*p2) - y0);
        return 0;
    }
    case WM_LRELEASE: {
        int x0, y0, x1, y1;
        ClientRect(&x0, &y0, &x1, &y1);
        if (Data()->cameraDrag == CAMERA_DRAG_ALT_LEFT) {
            CameraDragTo(Data(), WinLo(*p1) - x0, WinHi(*p1) - y0);
            Data()->cameraDrag = CAMERA_DRAG_NONE;
        } else {
            Release(WinLo(*p1) - x0, WinHi(*p1) - y0, WinLo(*p2) - x0, WinHi(*p2) - y0);
        }
        return 1;
    }
    case WM_PRESSED: {
        if (!*p1) return 0;
        ViewData* d = Data();
        if (sender == d->setupButton) OpenSetup(self);
        else if (sender == d->sceneButton) OpenScene();
        return 0;
    }
    case VIEW_MSG_SET: {
        ViewData* d = Data();
        if (*p1 >= VIEW_PERSPECTIVE && *p1 < VIEW_TYPES) d->type = (int32_t)*p1;
        d->flags = (uint32_t)*p2;
        return 0;
    }
    default: return 1;
    }
}

// ============================================================================================
// View Setup (0x1011)
// ============================================================================================

struct SetupOption {
    uint32_t flag;
    const char* label;
    int worldOnly;
};

static const SetupOption kOptions[] = {
    {VIEWF_WIREFRAME, "Wireframe", 0},   {VIEWF_ORIENTATION, "Orientation", 0}, {VIEWF_DECIMAL, "Decimal", 0},
    {VIEWF_HIDDEN, "Hidden", 0},         {VIEWF_NORMALS, "Normals", 0},         {VIEWF_NO_BILINEAR, "No BILINEAR", 0},
    {VIEWF_DYNAMIC, "Dynamic", 1},       {VIEWF_TERRAIN, "Terrain", 1},         {VIEWF_MARKED, "Marked", 0},
    {VIEWF_TEX_LIGHT, "Tex. Light", 0},  {VIEWF_NO_MIPMAPS, "No MIPMAPS", 0},
};
static const char* const kProjections[VIEW_TYPES] = {"Perspective", "Left", "Right", "Top", "Bottom", "Front", "Rear"};

enum {
    SETUP_ITEMS_BYTES = 1000,   // each of the two lists' items
    SETUP_MARGIN = 5,
    SETUP_LIST_Y = 14,
    SETUP_TYPES_W = 80,
    SETUP_OPTIONS_W = 96,
    SETUP_OPTIONS_H = 6 * LIST_LINE_HEIGHT + 2,
    SETUP_OK_X = 140,
    SETUP_OK_Y = 76,
};

struct SetupData {
    WinId owner, types, options, ok;
    ResId typeItems, optionItems;
    int32_t type;
    uint32_t flags;
};

// List item ids are 16-bit signed: the option 0x8000 reads back as a negative id, so the
// list's mask carries it sign-extended. These two keep the flags and the mask apart.
static uint32_t MaskOfFlags(uint32_t flags) { return (flags & 0x8000) ? flags | 0xFFFF0000u : flags; }
static uint32_t FlagsOfMask(uint32_t mask) { return mask & 0xFFFF; }

static uint32_t OfferedFlags(void)
{
    uint32_t offered = 0;
    for (const SetupOption& o : kOptions)
        if (!o.worldOnly || !ShapeEditor()) offered |= o.flag;
    return offered;
}

static void SetupCreate(void)
{
    SetupData* s = (SetupData*)WinGetData();
    memset(s, 0, sizeof *s);
    ResId typeItems = ResCreate(SETUP_ITEMS_BYTES), optionItems = ResCreate(SETUP_ITEMS_BYTES);
    if (!typeItems || !optionItems) FatalError("Out of memory.");
    size_t end = 0;
    ListClear(typeItems);
    for (int i = 0; i < VIEW_TYPES; i++) end = ListAppend(typeItems, end, i + 1, kProjections[i]);
    end = 0;
    ListClear(optionItems);
    for (const SetupOption& o : kOptions)
        if (!o.worldOnly || !ShapeEditor()) end = ListAppend(optionItems, end, (int)o.flag, o.label);
    WinId types = WinCreate(SETUP_MARGIN, SETUP_LIST_Y, SETUP_TYPES_W, (int)VIEW_TYPES * (int)LIST_LINE_HEIGHT + 2, WIN_CURRENT,
                            FRAME_BORDER, CLASS_LIST);
    WinId options = WinCreate(SETUP_MARGIN * 2 + SETUP_TYPES_W, SETUP_LIST_Y, SETUP_OPTIONS_W, SETUP_OPTIONS_H,
                              WIN_CURRENT, (uint32_t)FRAME_BORDER | (uint32_t)LIST_MULTIPLE, CLASS_LIST);
    WinId ok = KitButton(SETUP_OK_X, SETUP_OK_Y, 40, BUTTON_PUSH, "Ok");
    WinParam p1 = typeItems, p2 = 0;
    WinSendMessage(types, WM_LISTSET, &p1, &p2);
    p1 = optionItems;
    WinSendMessage(options, WM_LISTSET, &p1, &p2);
    s = (SetupData*)WinGetData();
    s->types = types;
    s->options = options;
    s->ok = ok;
    s->typeItems = typeItems;
    s->optionItems = optionItems;
    WinSetFocus(WinCurrent());
}

static void SetupShow(int32_t type, uint32_t flags)
{
    SetupData* s = (SetupData*)WinGetData();
    s->type = type;
    s->flags = flags;
    WinParam p1 = type + 1, p2 = 0;
    WinSendMessage(s->types, WM_LISTSETCHOICE, &p1, &p2);
    s = (SetupData*)WinGetData();
    p1 = (WinParam)MaskOfFlags(flags & OfferedFlags());
    WinSendMessage(s->options, WM_LISTSETCHOICE, &p1, &p2);
}

static int SetupProc(WinId self, WinId sender, int message, WinParam* p1, WinParam* p2)
{
    SetupData* s = (SetupData*)WinGetData();
    switch (message) {
    case WM_CREATE: SetupCreate(); return 1;
    case WM_DESTROY:
        if (s->typeItems) ResFree(s->typeItems);
        if (s->optionItems) ResFree(s->optionItems);
        s->typeItems = s->optionItems = 0;
        return 1;
    case SETUP_MSG_SHOW: SetupShow((int32_t)*p1, (uint32_t)*p2); return 0;
    case SETUP_MSG_OWNER: s->owner = sender ? sender : (WinId)*p1; return 0;
    case WM_LISTCHOICE: {
        if (sender == s->types && *p1 >= 1 && *p1 <= VIEW_TYPES) s->type = (int32_t)*p1 - 1;
        // Flags the list does not offer stay as the view had them.
        if (sender == s->options) s->flags = (s->flags & ~OfferedFlags()) | (FlagsOfMask((uint32_t)*p1) & OfferedFlags());
        WinId owner = s->owner;
        if (owner && WinIsWindow(owner) && WinGetClass(owner) == CLASS_VIEW) {
            WinParam type = s->type, flags = (WinParam)s->flags;
            WinSendMessage(owner, VIEW_MSG_SET, &type, &flags);
        }
        return 0;
    }
    case WM_PRESSED:
        if (*p1 && sender == s->ok) WinClose(self);
        return 0;
    // Only "Ok": Escape and Enter both close it.
    case WM_FOCUS: return 0;
    case WM_KEY:
        if (*p1 == CH_ESCAPE || *p1 == CH_ENTER) WinClose(self);
        return 0;
    default: return 1;
    }
}

// ============================================================================================
// Point Name (0x1022)
// ============================================================================================

enum {
    NAME_W = 150,
    NAME_H = 50,
    NAME_MSG_VERTEX = 40,   // p1: the vertex whose name the dialog edits
    NAME_FIELD_X = 50,
    NAME_FIELD_Y = 15,
    NAME_LABEL_X = 10,
    NAME_BUTTONS_Y = 32,
    NAME_CHARS = 4,
};

struct NameData {
    int32_t vertex;
    WinId field, ok, cancel;
};

// The field edits this buffer; the dialog is modal, so one is open at a time.
static char nameText[NAME_CHARS + 1];

static void NameClose(WinId self)
{
    if (WinModal() == self) WinSetModal(0);
    WinClose(self);
}

static void NameStore(WinId self)
{
    NameData* n = (NameData*)WinGetData();
    uint8_t* b = EditBlock();
    if (b && n->vertex >= 0 && n->vertex < ShapeVertexCount(b)) MeshSetPointName(n->vertex, Name4FromText(nameText));
    NameClose(self);
}

static int NameProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    NameData* n = (NameData*)WinGetData();
    switch (message) {
    case WM_CREATE: {
        memset(n, 0, sizeof *n);
        n->vertex = -1;
        nameText[0] = 0;
        WinId field = WinCreate(NAME_FIELD_X, NAME_FIELD_Y, 40, 11, WIN_CURRENT, EDIT_ASCII, CLASS_EDIT);
        WinId ok = KitButton(20, NAME_BUTTONS_Y, 40, BUTTON_PUSH, "Ok");
        WinId cancel = KitButton(90, NAME_BUTTONS_Y, 40, BUTTON_PUSH, "Cancel");
        WinParam a = (WinParam)nameText, b = NAME_CHARS;
        WinSendMessage(field, WM_EDITSETBUFFER, &a, &b);
        n = (NameData*)WinGetData();
        n->field = field;
        n->ok = ok;
        n->cancel = cancel;
        if (!WinModal()) WinMakeModal(self);
        WinSetFocus(field);
        return 1;
    }
    case NAME_MSG_VERTEX: {
        n->vertex = (int32_t)*p1;
        char text[NAME_CHARS + 1];
        uint8_t* b = EditBlock();
        Name4ToText(b && n->vertex >= 0 ? ShapePointName(b, n->vertex) : 0, text);
        WinParam a = (WinParam)text, z = 0;
        WinSendMessage(n->field, WM_EDITSETTEXT, &a, &z);
        n = (NameData*)WinGetData();
        WinSendMessage(n->field, WM_EDITSELECTALL, &a, &z);
        return 0;
    }
    case WM_DRAWCLIENT: {
        int x0, y0, x1, y1;
        WinGetExtent(0, &x0, &y0, &x1, &y1);
        DrawFillRect(x0, y0, x1, y1, DrawBackground());
        int cx0, cy0, cx1, cy1;
        ClientRect(&cx0, &cy0, &cx1, &cy1);
        TextSetColour(DrawTextColour());
        TextSetFormat(TEXT_MODE_PLAIN, -1, 0, x1);
        TextPrint(NAME_LABEL_X - cx0, NAME_FIELD_Y + 1 - cy0, "Name:");
        return 0;
    }
    case WM_TICK:
        if (WinIsModal(self) && WinFocus() != n->field) WinSetFocus(n->field);
        return 1;
    case WM_PRESSED:
        if (!*p1) return 0;
        if (sender == n->ok) NameStore(self);
        else if (sender == n->cancel) NameClose(self);
        return 0;
    case WM_EDITENTER: NameStore(self); return 0;
    case WM_EDITESCAPE: NameClose(self); return 0;
    case WM_EDITCHANGED: return 0;
    case WM_DESTROY:
        if (WinModal() == self) WinSetModal(0);
        return 1;
    default: return 1;
    }
}

static void OpenPointName(WinId self, int vertex)
{
    if (WinFindClass(CLASS_POINT_NAME)) return;
    int ax = 0, ay = 0, x, y, w, h;
    WinGetAbsPos(self, &ax, &ay);
    WinGetRect(self, &x, &y, &w, &h);
    WinId dialog = WinCreate(ax + (w - NAME_W) / 2, ay + (h - NAME_H) / 2, NAME_W, NAME_H, WIN_DESKTOP, DIALOG_STYLE,
                             CLASS_POINT_NAME);
    if (!dialog) return;
    SetTitle(dialog, "Point Name");
    WinParam p1 = vertex, p2 = 0;
    WinSendMessage(dialog, NAME_MSG_VERTEX, &p1, &p2);
}

// ============================================================================================
// Registration and description
// ============================================================================================

void ViewRegisterClasses(void)
{
    WinCreateClass(CLASS_VIEW, CLASS_FRAME, sizeof(ViewData), ViewProc);
    WinCreateClass(CLASS_VIEW_SETUP, CLASS_FRAME, sizeof(SetupData), SetupProc);
    WinCreateClass(CLASS_POINT_NAME, CLASS_FRAME, sizeof(NameData), NameProc);
    status = {};
    DumpRegisterTexts(CLASS_VIEW, StatusTexts);
}

int ViewPlace(WinId window, const ViewInfo* in)
{
    ViewData* d = (ViewData*)WinDataOf(window, CLASS_VIEW);
    if (!d || WinGetClass(window) != CLASS_VIEW || in->type < 0 || in->type >= VIEW_TYPES) return 0;
    d->type = in->type;
    d->flags = in->displayFlags;
    d->zoom = in->zoom < VIEW_ZOOM_MIN ? VIEW_ZOOM_MIN : in->zoom > VIEW_ZOOM_MAX ? VIEW_ZOOM_MAX : in->zoom;
    d->distance = in->distance;
    memcpy(d->centre, in->centre, sizeof d->centre);
    memcpy(d->orientation, in->orientation, sizeof d->orientation);
    return 1;
}

int ViewDescribe(WinId window, ViewInfo* out)
{
    const ViewData* d = (const ViewData*)WinDataOf(window, CLASS_VIEW);
    if (!d || WinGetClass(window) != CLASS_VIEW) return 0;
    out->type = d->type;
    out->displayFlags = d->flags;
    out->zoom = d->zoom;
    out->distance = d->distance;
    memcpy(out->centre, d->centre, sizeof out->centre);
    memcpy(out->orientation, d->orientation, sizeof out->orientation);
    out->pointerValid = d->pointerValid;
    memcpy(out->pointer, d->pointerWorld, sizeof out->pointer);
    return 1;
}
