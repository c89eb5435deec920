// The view windows (class 0x1001): the edited document seen in 3D through a perspective
// camera that orbits the centre or one of six parallel views, where the tool that the panels
// chose is applied with the mouse. This is the core every editor shares: camera, lens, the
// overlays (scale bar, axes, status lines, the rectangle being dragged), the rectangle and
// move drags, the mouse's camera and the dump of the view. What a view draws and what its
// tools do is the running editor's, through the table of hooks it registers (ViewHooks).
//
// The camera arithmetic of the keypad, point-to-world and the scale bar's label are plain
// functions below, so that they can be checked without a window.
#pragma once
#include <cstddef>
#include <cstdint>

#include "frontend/editstate.h"
#include "toolkit/contract.h"
#include "toolkit/win.h"

enum {
    VIEW_PERSPECTIVE = 0, VIEW_LEFT = 1, VIEW_RIGHT = 2, VIEW_TOP = 3, VIEW_BOTTOM = 4, VIEW_FRONT = 5,
    VIEW_REAR = 6, VIEW_TYPES = 7,
};

// The world axes, as point-to-world names the one a parallel view looks along.
enum { VIEW_AXIS_X = 0, VIEW_AXIS_Y = 1, VIEW_AXIS_Z = 2 };

// Display flags of a view, as View Setup offers them.
enum {
    VIEWF_WIREFRAME = 0x0001,
    VIEWF_ORIENTATION = 0x0004,   // the world axes in a corner
    VIEWF_DECIMAL = 0x0008,       // the status line gives the vertex position in decimal
    VIEWF_HIDDEN = 0x0020,        // back faces removed
    VIEWF_NORMALS = 0x0080,       // face normals drawn from the polygons' middles
    VIEWF_NO_BILINEAR = 0x0100,   // for a hardware renderer
    VIEWF_DYNAMIC = 0x0400,       // World Editor
    VIEWF_TERRAIN = 0x0800,       // World Editor
    VIEWF_MARKED = 0x2000,        // marked polygons outlined
    VIEWF_TEX_LIGHT = 0x4000,     // for a hardware renderer
    VIEWF_NO_MIPMAPS = 0x8000,    // for a hardware renderer
    // What View Setup offers in every editor; the World Editor adds Dynamic and Terrain.
    VIEWF_SETUP_ANY = VIEWF_WIREFRAME | VIEWF_ORIENTATION | VIEWF_DECIMAL | VIEWF_HIDDEN | VIEWF_NORMALS |
                      VIEWF_NO_BILINEAR | VIEWF_MARKED | VIEWF_TEX_LIGHT | VIEWF_NO_MIPMAPS,
    VIEW_FLAGS_SHAPE = 0x0020,    // a new view's flags in the Shape Editor
    VIEW_FLAGS_WORLD = 0x0C20,    // in the World Editor
};

// Class messages.
enum {
    VIEW_MSG_SET = 42,            // to a view: p1 view type, p2 display flags
    SETUP_MSG_SHOW = 40,          // to View Setup: p1 view type, p2 display flags
    SETUP_MSG_OWNER = 43,         // to View Setup: the sender becomes its owner
    // The messages to the panels are in toolkit/contract.h.
};

// The World Editor's panels answer a rectangle (PANEL_MSG_RECT) by asking the active view to
// select what it draws inside it, through EditRequestRectSelect with one of these (and
// EDIT_RECT_DESELECT to deselect instead); the rectangle goes back as the view handed it.
enum {
    VIEW_RECT_WORLD_SHAPES = 0x10,   // worldshapes whose projected box lies inside it
    VIEW_RECT_NODES = 0x20,          // nodes whose screen point lies inside it
};

// The world display filter of a view's flags: "Terrain" shows unnamed worldshapes (bit 0),
// "Dynamic" named ones (bit 1).
int ViewWorldShapeFilter(uint32_t displayFlags);
// The render flags (RENDER_*) a view's display flags ask of the driver: wireframe, filtered
// texels unless "No BILINEAR", "Tex. Light" and "No MIPMAPS" passed on.
uint32_t ViewRenderFlags(uint32_t displayFlags);

// Registers the view window and the View Setup panel.
void ViewRegisterClasses(void);

// ============================================================================================
// The editors' hooks
// ============================================================================================

enum {
    VIEW_NO_POINTER = -1000000,              // a pointer position that picks nothing
    VIEW_STATUS_CHARS = EDIT_NOTE_MAX + 1,   // a status line's room, with its terminator
    VIEW_EDITOR_STATUS_LINES = 2,            // the lines an editor adds above the note
};

// One drawing of a view, as the hooks see it: the drawing area's size, the pointer in it
// (region coordinates) and the display flags. The hooks leave what lies under the pointer in
// pick (vertex and polygon -1, worldshape and node 0 when none).
struct ViewFrame {
    WinId view;
    int width, height;
    int inside, px, py;
    uint32_t flags;   // VIEWF_*
    EditPick pick;
};

// What an editor's views draw and what its tools do. Every hook may be null (nothing to do).
// The tool hooks run inside the view's own messages: the ViewTool* calls below act on that
// view.
struct ViewHooks {
    const char* name;        // the views' title while the editor's panel gives none
    uint32_t newFlags;       // a new view's display flags (VIEWF_*)
    uint32_t setupFlags;     // the display flags View Setup offers
    int farAtLimit;          // the far plane stands at the depth limit, not just past the content
    double (*reach)(void);   // how far the content reaches from the origin (the eye stands back)
    int32_t (*distanceLimit)(void);   // the perspective camera's farthest distance
    // The 3D frame between the lens and Draw3DDisplay; the overlay after it, which picks.
    void (*draw)(ViewFrame* frame);
    void (*overlay)(ViewFrame* frame);
    // The editor's status lines above the button's note (VIEW_EDITOR_STATUS_LINES at most),
    // bottom up; the count.
    int (*status)(const ViewFrame* frame, char out[][VIEW_STATUS_CHARS]);
    // The panel class a tool's selection rectangle goes to; 0: the tool drags no rectangle.
    uint32_t (*rectPanel)(int tool);
    void (*leftPress)(WinId view, int tool, int rx, int ry);
    void (*rightPress)(WinId view, int tool, int rx, int ry);
    // The pointer dragged with the left button from the press (pressX, pressY) to (rx, ry).
    void (*drag)(int tool, int rx, int ry, int pressX, int pressY);
    // A move the press started (ViewToolStartMove) ended; moved: anything moved.
    void (*moveEnded)(int tool, int moved);
    // What a frame shows (Home, F, EditRequestFrame): 1 and the box, 0 nothing.
    int (*contentBox)(int32_t lo[3], int32_t hi[3]);
    // The I key: the polygon just made that faces away is flipped.
    void (*flipKey)(void);
};
// The editor's table (EDITOR_SHAPE or EDITOR_WORLD), installed before the editor runs.
void ViewSetHooks(int editorMode, const ViewHooks* hooks);
// The running editor's table; a table of no hooks when none was set.
const ViewHooks* ViewCurrentHooks(void);

// For the hooks, on the view whose message runs (the current window):
// point-to-world at a region point (0 in the perspective view);
int ViewToolPoint(int rx, int ry, int32_t out[3], int* freeAxis);
// whether a region point lies inside the view's drawing area;
int ViewToolInside(int rx, int ry);
// a refusal box, after which the rest of the drag is ignored (one drag, one box);
void ViewToolRefuse(const char* title, const char* text);
// a move dragged out of the view stops, with a box saying whether the `what` moved;
void ViewToolLeftView(const char* title, const char* what);
// a move of the selection starts at the world point `start` (its tool stays until release);
void ViewToolStartMove(int tool, const int32_t start[3]);
// the tool moving the selection (0 none);
int ViewToolMoving(void);
// 1 at the move's first step only: where a move takes its one undo copy;
int ViewToolFirstStep(void);
// how far to move now: what the pointer travelled since the press, less what was moved
// already, so the selection does not creep by each step's rounding; 1 when anything moves;
int ViewToolMoveDelta(const int32_t world[3], int freeAxis, int32_t delta[3]);
// what the press took to drag (a vertex), until the release; -1 none;
void ViewToolSetDragItem(int32_t item);
int32_t ViewToolDragItem(void);
// the display flags and the camera centre;
uint32_t ViewToolFlags(void);
void ViewToolSetCentre(const int32_t centre[3]);
// a rectangle a panel handed back in screen coordinates, made region-relative for `view`.
void ViewToRegion(WinId view, int32_t rect[4]);
// A pick handed to a panel found by its class: p1 index, p2 on; nothing without the pick
// (index < 0) or the panel.
void ViewTellPanel(uint32_t panelClass, int message, int32_t index, int on);
// A world coordinate cut to 32 bits.
int32_t ViewClampWorld(int64_t v);

// What a view shows, for dumps and tests.
struct ViewInfo {
    int32_t type;              // VIEW_*
    uint32_t displayFlags;
    float zoom;                // world units per pixel of the parallel views
    int32_t distance;          // of the perspective camera from the centre
    int32_t centre[3];
    int16_t orientation[9];    // the perspective camera's rows, 2.14
    int pointerValid;          // a parallel view's pointer was inside it at the last drawing:
    int32_t pointer[3];        // the world point under it (0 on the axis the view looks along)
};
// 1 and the view's state; 0 when the window is no view.
int ViewDescribe(WinId window, ViewInfo* out);
// Puts a view where the state says (the zoom kept within its keys' range), for benchmarks and
// tools that frame a scene: 1, or 0 when the window is no view or the type is none.
int ViewPlace(WinId window, const ViewInfo* in);

// ============================================================================================
// Camera arithmetic (e = elapsed milliseconds of the frame; fine = Left Ctrl or Left Shift)
// ============================================================================================

// The perspective camera's rows at creation and after keypad 5.
extern const int16_t kViewDefaultOrientation[9];

// Parallel views: the zoom after keypad minus (direction -1) or plus (+1) was held for e ms.
// The step is e / 16384 x zoom x 2 (a sixteenth with Left Ctrl), at least 0.0001; the zoom
// stays within 1.0 and 1073741824.0.
float ViewZoomKey(float zoom, int direction, uint32_t elapsed, int fine);
// The pan step in world units: e / 16384 x zoom x 512 (a sixteenth with Left Ctrl), at least
// 1, truncated.
int32_t ViewPanStep(float zoom, uint32_t elapsed, int fine);
// Moves a parallel view's centre by h (keypad 4 gives +step, 6 -step) and v (8 -step, 2
// +step) along the two axes that the view shows.
void ViewPan(int type, int32_t h, int32_t v, int32_t centre[3]);

// The perspective camera's farthest distance: 1073741824 in the World Editor; in the Shape
// Editor ten times the shape's radius, but never below the nearest distance (500), so that a
// small shape can still be looked at.
int32_t ViewDistanceLimit(int editorMode, int32_t radius);
// The distance after keypad minus (-1) or plus (+1) was held for e ms: a step of distance x e
// / 8192 below 131072, else 131072 x e / 8192, a quarter with Left Ctrl, at least 1 while
// time passes; minus stops at 500; the result is cut to the limit.
int32_t ViewDistanceKey(int32_t distance, int direction, uint32_t elapsed, int fine, int32_t limit);
// The turn step of keypad 0, decimal point, 9 and 3: e angle units (65536 a turn), a
// sixteenth with Left Shift.
int32_t ViewTurnStep(uint32_t elapsed, int fine);
enum { VIEW_TURN_HEADING = 0, VIEW_TURN_PITCH = 1 };
// Turns the camera rows about the world's vertical axis (heading: keypad 0 and decimal point)
// or about the camera's own horizontal axis (pitch: keypad 9 and 3) and re-orthonormalises.
void ViewTurn(int16_t orientation[9], int axis, int32_t angle);
// The camera rows (right, up, forward in world space, 2.14) of a view type: the orientation
// for the perspective view, fixed axes for the parallel ones.
void ViewCameraRows(int type, const int16_t orientation[9], int16_t out[9]);

// Point-to-world of a parallel view: the pointer (px, py) and the drawing centre (cx, cy) in
// the view's drawing coordinates; dx = (px - cx) x zoom and dy = (py - cy) x zoom, truncated.
// The coordinate along the view direction is 0 and its axis (VIEW_AXIS_*) goes to *freeAxis.
// 1 done; 0 in the perspective view (out untouched).
int ViewPointToWorld(int type, float zoom, const int32_t centre[3], int px, int py, int cx, int cy, int32_t out[3],
                     int* freeAxis);

// ============================================================================================
// Camera arithmetic of the mouse
// ============================================================================================

// The perspective distance after the wheel turned `notches` (+ away from the user, nearer):
// each notch takes an eighth off or puts it back (x 7/8, x 8/7), within 500 and the limit (or
// the distance itself when that is farther).
int32_t ViewWheelDistance(int32_t distance, int notches, int32_t limit);
// A parallel view's zoom after `notches` the same way (x 7/8 a notch nearer), within 1.0 and
// 1073741824.0.
float ViewWheelZoom(float zoom, int notches);
// The wheel in a parallel view: the zoom changes by `notches` and the centre moves so that
// the world point under the pointer (px, py; drawing centre cx, cy) stays under it.
void ViewWheelAbout(int type, float* zoom, int32_t centre[3], int notches, int px, int py, int cx, int cy);
// A parallel view dragged from (x0, y0) to (x1, y1): the centre moves so that the world point
// under the pointer follows it.
void ViewDragPan(int type, float zoom, int32_t centre[3], int x0, int y0, int x1, int y1);
// The perspective view dragged by (dx, dy) pixels: it turns about the centre, right and left
// about the world's vertical axis, up and down about the camera's own horizontal axis.
enum { VIEW_ORBIT_PER_PIXEL = 96 };   // angle units (65536 a turn) a pixel of drag turns
void ViewOrbit(int16_t orientation[9], int dx, int dy);
// The perspective view dragged by (dx, dy) with Shift: the centre slides across the screen so
// that what lies at the centre's depth follows the pointer (distance / focal world units a pixel).
void ViewPerspectivePan(const int16_t orientation[9], int32_t distance, float focal, int dx, int dy, int32_t centre[3]);

// Framing: the box lo..hi (world) shown in a view of width x height pixels, with a margin
// (the box fills VIEW_FRAME_FILL of the smaller side). The centre goes to the box's middle; a
// parallel view's zoom fits the box's two axes that it shows; the perspective distance puts the
// box's enclosing sphere inside the view (focal: the lens's focal length), within 500 and
// `limit`. A box without extent only moves the centre.
static const double VIEW_FRAME_FILL = 0.8;
void ViewFrameBox(int type, const int32_t lo[3], const int32_t hi[3], int width, int height, float focal, int32_t limit,
                  float* zoom, int32_t* distance, int32_t centre[3]);

// The scale bar's length in pixels for a drawing area: 0.875 of its smaller side.
int ViewScaleBarLength(int width, int height);
// Its label for a world length W and the INI "scale" (world units per metre; 0 counts as
// 1): "%lldcm" with W x 100 / scale below 5 metres, else "%lldm" with the whole metres.
void ViewScaleLabel(double worldLength, uint32_t scale, char* out, size_t size);
