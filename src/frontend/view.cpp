#include "frontend/view.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/bytes.h"
#include "base/log.h"
#include "base/maths.h"
#include "base/str.h"
#include "frontend/dump.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "frontend/msgbox.h"
#include "frontend/viewsetup.h"
#include "kernel/app.h"
#include "kernel/kernel.h"
#include "kernel/timing.h"
#include "materials/matm.h"
#include "panels/scenepanel.h"
#include "platform/platform.h"
#include "render/draw3d.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/panelkit.h"
#include "toolkit/slots.h"
#include "toolkit/text.h"

enum {
    DIALOG_STYLE = FRAME_BORDER | FRAME_TITLE | FRAME_DRAG,
    TITLE_BUTTON_W = 15,
    TITLE_BUTTON_H = 11,
    SCENE_X = 80,
    SCENE_Y = 30,
    SCENE_W = SCENE_PANEL_WIDTH,
    SCENE_H = SCENE_PANEL_HEIGHT,

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
};

static const float VIEW_ZOOM_MIN = 1.0f;
static const float VIEW_ZOOM_MAX = 1073741824.0f;
static const float VIEW_ZOOM_STEP_MIN = 0.0001f;
static const float VIEW_DEFAULT_ZOOM = 160.0f;

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
    int32_t dragItem;         // what the press took to drag (tool 4's vertex); -1 none
    int32_t rect[4];          // region-relative press x, y and current or release x, y
    EditPick pick;            // under the pointer at the last draw
    int32_t liveRect;         // a rectangle is being dragged: the next draw outlines it
    int32_t rectTool;         // a finished rectangle waits for the next draw (the tool that made it)
    int32_t dragRefused;      // a box refused this drag: the rest of it is ignored
    int32_t pressed;          // the left button went down inside the region (drags count)
    int32_t moving;           // the tool moving the selection; 0 none
    int32_t moveStart[3];     // the world point the move started at
    int32_t moveDone[3];      // how far the selection has been moved so far
    int32_t moveSaved;        // the move's first step was taken (and its undo copy)
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

// The editors' tables, and the one that stands in before an editor set its own.
static const ViewHooks kNoHooks = {"Editor", 0, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
static const ViewHooks* viewHooks[EDITOR_WORLD + 1];

void ViewSetHooks(int editorMode, const ViewHooks* hooks)
{
    if (editorMode == EDITOR_SHAPE || editorMode == EDITOR_WORLD) viewHooks[editorMode] = hooks;
}

const ViewHooks* ViewCurrentHooks(void)
{
    int mode = AppConfig()->editorMode;
    const ViewHooks* h = mode == EDITOR_SHAPE || mode == EDITOR_WORLD ? viewHooks[mode] : nullptr;
    return h ? h : &kNoHooks;
}

int32_t ViewClampWorld(int64_t v) { return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : (int32_t)v; }
static int32_t ClampWorld(int64_t v) { return ViewClampWorld(v); }

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
    int free = VIEW_AXIS_X;
    switch (type) {
    case VIEW_LEFT: y = centre[1] - dy; z = centre[2] - dx; free = VIEW_AXIS_X; break;
    case VIEW_RIGHT: y = centre[1] - dy; z = centre[2] + dx; free = VIEW_AXIS_X; break;
    case VIEW_TOP: x = centre[0] + dx; z = centre[2] - dy; free = VIEW_AXIS_Y; break;
    case VIEW_BOTTOM: x = centre[0] + dx; z = centre[2] + dy; free = VIEW_AXIS_Y; break;
    case VIEW_FRONT: x = centre[0] - dx; y = centre[1] - dy; free = VIEW_AXIS_Z; break;
    case VIEW_REAR: x = centre[0] + dx; y = centre[1] - dy; free = VIEW_AXIS_Z; break;
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
    case VIEW_RIGHT: *across = VIEW_AXIS_Z; *up = VIEW_AXIS_Y; break;
    case VIEW_TOP:
    case VIEW_BOTTOM: *across = VIEW_AXIS_X; *up = VIEW_AXIS_Z; break;
    default: *across = VIEW_AXIS_X; *up = VIEW_AXIS_Y; break;
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

void ViewToolRefuse(const char* title, const char* text)
{
    MsgBoxShow(title, text);
    Data()->dragRefused = 1;
}

void ViewToolLeftView(const char* title, const char* what)
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
    ViewToolRefuse(title, text);
}

int ViewToolPoint(int rx, int ry, int32_t out[3], int* freeAxis)
{
    ViewData* d = Data();
    return ViewPointToWorld(d->type, d->zoom, d->centre, rx, ry, (int)d->drawX, (int)d->drawY, out, freeAxis);
}

int ViewToolInside(int rx, int ry)
{
    int x0, y0, x1, y1;
    ClientRect(&x0, &y0, &x1, &y1);
    return rx >= 0 && ry >= 0 && rx <= x1 - x0 && ry <= y1 - y0;
}

void ViewToolStartMove(int tool, const int32_t start[3])
{
    ViewData* d = Data();
    d->moving = tool;
    d->moveSaved = 0;
    memcpy(d->moveStart, start, sizeof d->moveStart);
    memset(d->moveDone, 0, sizeof d->moveDone);
}

int ViewToolMoving(void) { return Data()->moving; }

int ViewToolFirstStep(void)
{
    ViewData* d = Data();
    if (d->moveSaved) return 0;
    d->moveSaved = 1;
    return 1;
}

int ViewToolMoveDelta(const int32_t w[3], int free, int32_t delta[3])
{
    ViewData* d = Data();
    for (int a = 0; a < 3; a++) {
        delta[a] = a == free ? 0 : ClampWorld((int64_t)w[a] - d->moveStart[a] - d->moveDone[a]);
        d->moveDone[a] += delta[a];
    }
    return delta[0] || delta[1] || delta[2];
}

void ViewToolSetDragItem(int32_t item) { Data()->dragItem = item; }
int32_t ViewToolDragItem(void) { return Data()->dragItem; }

uint32_t ViewToolFlags(void) { return Data()->flags; }

void ViewToolSetCentre(const int32_t centre[3]) { memcpy(Data()->centre, centre, sizeof Data()->centre); }

void ViewToRegion(WinId view, int32_t rect[4])
{
    int ox = 0, oy = 0, x0, y0, x1, y1;
    WinGetAbsPos(view, &ox, &oy);
    ClientRect(&x0, &y0, &x1, &y1);
    for (int i = 0; i < 4; i += 2) {
        rect[i] -= ox + x0;
        rect[i + 1] -= oy + y0;
    }
}

void ViewTellPanel(uint32_t panelClass, int message, int32_t index, int on)
{
    WinId panel = WinFindClass(panelClass);
    if (!panel || index < 0) return;
    WinParam p1 = index, p2 = on;
    WinSendMessage(panel, message, &p1, &p2);
}

static int32_t DistanceLimit(void)
{
    const ViewHooks* h = ViewCurrentHooks();
    return h->distanceLimit ? h->distanceLimit() : ViewDistanceLimit(AppConfig()->editorMode, 0);
}

// ============================================================================================
// The camera of a frame
// ============================================================================================

// Places the eye, the lens and the depth range for the view, in Draw3D and in the camera
// slot. The perspective eye stands `distance` behind the centre along the camera's forward
// row; a parallel eye stands far enough back that the whole content lies beyond the near plane.
static void SetUpCamera(ViewData* d, int width, int height)
{
    const ViewHooks* h = ViewCurrentHooks();
    int16_t m[9];
    ViewCameraRows(d->type, d->orientation, m);
    double radius = h->reach ? h->reach() : 0;
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
    if (h->farAtLimit) far = depthLimit;
    if (far < (double)D3_VIEW_DISTANCE) far = (double)D3_VIEW_DISTANCE;
    Draw3DSetDistance((int32_t)(far > depthLimit ? depthLimit : far));
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
enum { STATUS_LINES = 5, STATUS_CHARS = VIEW_STATUS_CHARS };
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

static void StatusLines(WinId self, const ViewData* d, const ViewFrame* frame)
{
    int width = frame->width, height = frame->height;
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
    // The editor's own lines: what lies under the pointer.
    char lines[VIEW_EDITOR_STATUS_LINES][VIEW_STATUS_CHARS];
    const ViewHooks* h = ViewCurrentHooks();
    int n = h->status ? h->status(frame, lines) : 0;
    for (int i = 0; i < n && i < VIEW_EDITOR_STATUS_LINES; i++) {
        StatusLine(4, y, lines[i]);
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
    const ViewHooks* h = ViewCurrentHooks();
    uint32_t panelClass = h->rectPanel ? h->rectPanel(tool) : 0;
    if (!panelClass) FatalError("What's going on here? MeshX1 set up but nowhere to send it!");
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

int ViewWorldShapeFilter(uint32_t displayFlags)
{
    return ((displayFlags & VIEWF_TERRAIN) ? 1 : 0) | ((displayFlags & VIEWF_DYNAMIC) ? 2 : 0);
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

static void LiveRectangle(ViewData* d)
{
    int rx0 = d->rect[0] < d->rect[2] ? d->rect[0] : d->rect[2], rx1 = d->rect[0] < d->rect[2] ? d->rect[2] : d->rect[0];
    int ry0 = d->rect[1] < d->rect[3] ? d->rect[1] : d->rect[3], ry1 = d->rect[1] < d->rect[3] ? d->rect[3] : d->rect[1];
    DrawFillRect(rx0, ry0, rx1, ry1, (int)OVERLAY_COLOUR | (int)DRAW_OUTLINE);
    d->liveRect = 0;
}

static void DrawView(WinId self)
{
    int x0, y0, x1, y1;
    ClientRect(&x0, &y0, &x1, &y1);
    int width = x1 - x0 + 1, height = y1 - y0 + 1;
    if (width < 1 || height < 1) return;
    const ViewHooks* h = ViewCurrentHooks();
    ViewData* d = Data();
    SetUpCamera(d, width, height);
    Draw3DSetDisplayFlags(d->flags);
    Draw3DSetRenderFlags(ViewRenderFlags(d->flags));
    Draw3DStartDraw(0, 0, width, height);
    Draw3DViewCentre(&d->drawX, &d->drawY);
    Draw3DFillView(DrawBackground());
    HandOverRectangle(self);
    ViewFrame frame = {self, width, height, 0, 0, 0, Data()->flags, {-1, -1, 0, 0}};
    if (h->draw) h->draw(&frame);
    Draw3DDisplay();

    frame.inside = WinGetPointerInRegion(&frame.px, &frame.py) == 0;
    d = Data();
    d->pointerValid = frame.inside && ViewToolPoint(frame.px, frame.py, d->pointerWorld, nullptr);
    if (h->overlay) h->overlay(&frame);
    d = Data();
    d->pick = frame.pick;
    if (d->liveRect) LiveRectangle(d);
    if (d->type != VIEW_PERSPECTIVE) ScaleBar(d, width, height);
    if (d->flags & VIEWF_ORIENTATION) OrientationAxes(d, width, height);
    StatusLines(self, d, &frame);
    if (frame.inside) *EditPickNow() = frame.pick;
}

// ============================================================================================
// Tools: the press, the drag and the release, handed to the editor's hooks
// ============================================================================================

static void LeftPress(WinId self, int rx, int ry)
{
    ViewData* d = Data();
    d->dragRefused = 0;
    d->dragItem = -1;
    d->moving = 0;
    d->pressed = 1;
    const ViewHooks* h = ViewCurrentHooks();
    if (h->leftPress) h->leftPress(self, EditToolMode(), rx, ry);
}

static void RightPress(WinId self, int rx, int ry)
{
    const ViewHooks* h = ViewCurrentHooks();
    if (h->rightPress) h->rightPress(self, EditToolMode(), rx, ry);
}

static void Drag(int rx, int ry, int pressX, int pressY)
{
    ViewData* d = Data();
    if (!d->pressed || d->dragRefused) return;
    int tool = EditToolMode();
    const ViewHooks* h = ViewCurrentHooks();
    if (h->rectPanel && h->rectPanel(tool)) {
        d->liveRect = 1;
        d->rect[0] = pressX;
        d->rect[1] = pressY;
        d->rect[2] = rx;
        d->rect[3] = ry;
        return;
    }
    if (h->drag) h->drag(tool, rx, ry, pressX, pressY);
}

static void Release(int rx, int ry, int pressX, int pressY)
{
    ViewData* d = Data();
    const ViewHooks* h = ViewCurrentHooks();
    if (d->moving) {
        int moved = d->moveDone[0] || d->moveDone[1] || d->moveDone[2];
        int tool = d->moving;
        d->moving = 0;
        if (h->moveEnded) h->moveEnded(tool, moved);
    }
    d = Data();
    int tool = EditToolMode();
    if (h->rectPanel && h->rectPanel(tool) && d->pressed && !d->dragRefused) {
        d->rect[0] = pressX;
        d->rect[1] = pressY;
        d->rect[2] = rx;
        d->rect[3] = ry;
        d->rectTool = tool;
    }
    d->dragItem = -1;
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
        int32_t limit = DistanceLimit();
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

// Frames the content in this view: its own projection fitted, and the other kind's setting
// (the zoom in the perspective view, the distance in a parallel one) fitted too, so that a
// change of projection finds the content as well.
static void Frame(ViewData* d)
{
    int32_t lo[3], hi[3];
    const ViewHooks* h = ViewCurrentHooks();
    if (!h->contentBox || !h->contentBox(lo, hi)) return;
    int x0, y0, x1, y1;
    ClientRect(&x0, &y0, &x1, &y1);
    int width = x1 - x0 + 1, height = y1 - y0 + 1;
    int32_t limit = DistanceLimit();
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

static void Tick(WinId self, uint32_t elapsed)
{
    const ViewHooks* h = ViewCurrentHooks();
    const char* title = EditViewTitle();
    if (!title[0]) title = h->name;
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
    if ((keys & (1 << VIEW_KEY_FLIP)) && h->flipKey) h->flipKey();
    d = Data();
    Keypad(d, elapsed);
}

// ============================================================================================
// The mouse's camera: wheel, middle button, Alt with the left button
// ============================================================================================

static void Wheel(ViewData* d, int notches, int rx, int ry)
{
    if (d->type == VIEW_PERSPECTIVE)
        d->distance = ViewWheelDistance(d->distance, notches, DistanceLimit());
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
    int px = ax + (w - VIEW_SETUP_W) / 2, py = ay + (h - VIEW_SETUP_H) / 2;
    WinId panel = WinCreate(px < 0 ? 0 : px, py < 0 ? 0 : py, VIEW_SETUP_W, VIEW_SETUP_H, WIN_DESKTOP, DIALOG_STYLE,
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
    d->flags = ViewCurrentHooks()->newFlags;
    d->dragItem = -1;
    d->pick = {-1, -1, 0, 0};
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

// The view took a new size (the screen did): its title buttons stay at its right end. The
// picture keeps its middle, which each draw takes from the new area.
static void Resized(WinId self)
{
    ViewData* d = Data();
    int x, y, w, h;
    WinGetRect(self, &x, &y, &w, &h);
    if (d->setupButton) WinSetPos(d->setupButton, w - TITLE_BUTTON_W, 0);
    if (d->sceneButton) WinSetPos(d->sceneButton, w - 2 * TITLE_BUTTON_W, 0);
}

static int ViewProc(WinId self, WinId sender, int message, WinParam* p1, WinParam* p2)
{
    switch (message) {
    case WM_CREATE: Create(self); return 1;   // the frame sets itself up too
    case WM_RESIZED: Resized(self); return 1;
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
// Registration and description
// ============================================================================================

void ViewRegisterClasses(void)
{
    WinCreateClass(CLASS_VIEW, CLASS_FRAME, sizeof(ViewData), ViewProc);
    ViewSetupRegisterClass();
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
