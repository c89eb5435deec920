#include "shapeedit/mapping.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/bytes.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "frontend/msgbox.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "platform/platform.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "shapes/shapem_edit.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/panelkit.h"
#include "toolkit/text.h"

static const char kTitle[] = "Mapping Coordinates";

enum {
    BUTTON_COLUMN = 88,      // the button column starts this far left of the window's right edge
    BUTTON_RIGHT_SHIFT = 20, // ">" stands this far right of "<"
    WIDE = 80,
    NARROW = 20,
    Y_OK = 180, Y_ABORT = 160, Y_CREATE = 50, Y_COPY_ALL = 62, Y_PASTE_ALL = 74, Y_TURN = 35,
    Y_NEXT = 100, Y_PREV = 112, Y_COPY_ONE = 124, Y_PASTE_ONE = 136,

    MARKER = 1,              // point markers reach this far each way
    CROSS = 6,               // the selected point's cross reaches this far each way
    STATUS_GAP = 5,          // the status line stands this far below the area
    AREA_MARGIN = 4,         // points and crosses are drawn no further out than this

    COLOUR_OUTLINE = 254,
    COLOUR_DRAGGED = 255,
    COLOUR_MARKER = 249,
    COLOUR_SELECTED = 250,
    COLOUR_CLIPBOARD = 248,
};

// "Create" takes a polygon's first pairs from here.
static const int16_t kDefaultPairs[MAPPING_DEFAULT_PAIRS][2] = {
    {0, 0},       {16384, 0},   {16384, 16384}, {0, 16384},   {0, 12288},   {0, 10240},
    {0, 9216},    {0, 8192},    {0, 4096},      {0, 2048},    {0, 1024},    {1024, 1024},
    {2048, 2048}, {4096, 4096}, {6144, 6144},   {8192, 8192},
};

// ============================================================================================
// Arithmetic
// ============================================================================================

MappingArea MappingAreaOf(int clientWidth, int clientHeight)
{
    return MappingArea{MAPPING_INSET_LEFT, MAPPING_INSET_TOP, clientWidth - 1 - MAPPING_INSET_RIGHT,
                       clientHeight - 1 - MAPPING_INSET_BOTTOM};
}

void MappingToScreen(const MappingArea* a, int u, int v, int* x, int* y)
{
    *x = (int)(((int64_t)(a->x1 - a->x0) * u) >> 14) + a->x0;
    *y = (int)(((int64_t)(a->y1 - a->y0) * v) >> 14) + a->y0;
}

// One axis: pinned into [lo, hi], then scaled; a window too small for an area gives 0 rather
// than dividing by nothing.
static int16_t FromScreen(int p, int lo, int hi)
{
    if (hi <= lo) return 0;
    if (p < lo) p = lo;
    if (p > hi) p = hi;
    return (int16_t)(((int64_t)(p - lo) << 14) / (hi - lo));
}

void MappingFromScreen(const MappingArea* a, int px, int py, int16_t* u, int16_t* v)
{
    *u = FromScreen(px, a->x0, a->x1);
    *v = FromScreen(py, a->y0, a->y1);
}

void MappingTurn(int16_t* uv, int n, int direction)
{
    if (n < 2) return;
    int16_t u, v;
    if (direction == MAPPING_TURN_FORWARD) {
        u = uv[2 * (n - 1)];
        v = uv[2 * (n - 1) + 1];
        memmove(uv + 2, uv, sizeof(int16_t) * 2 * (size_t)(n - 1));
        uv[0] = u;
        uv[1] = v;
    } else {
        u = uv[0];
        v = uv[1];
        memmove(uv, uv + 2, sizeof(int16_t) * 2 * (size_t)(n - 1));
        uv[2 * (n - 1)] = u;
        uv[2 * (n - 1) + 1] = v;
    }
}

void MappingDefaultPairs(int16_t* uv, int n)
{
    for (int k = 0; k < n; k++) {
        uv[2 * k] = k < MAPPING_DEFAULT_PAIRS ? kDefaultPairs[k][0] : 0;
        uv[2 * k + 1] = k < MAPPING_DEFAULT_PAIRS ? kDefaultPairs[k][1] : 0;
    }
}

void MappingDecimal(int c, char* out, size_t size)
{
    // The sign goes in front once: printed per part, -8192 would read "0.-500".
    int t = (int)(((int64_t)c * 1000) / MAPPING_ONE);
    snprintf(out, size, "%s%d.%03d", t < 0 ? "-" : "", abs(t) / 1000, abs(t) % 1000);
}

void MappingHex(int c, char* out, size_t size) { snprintf(out, size, "%04X", (unsigned)(uint16_t)c); }

// ============================================================================================
// State of the opening (one window at a time)
// ============================================================================================

static struct {
    WinId window;                   // the open mapping window; 0 none
    int polygon, n;
    std::vector<uint16_t> indices;  // the polygon's vertex indices at opening
    std::vector<int16_t> opening;   // its pairs at opening, for "ABORT"
    int hadCoords;
    int wrote;                      // the undo copy of this opening is taken
    std::vector<int16_t> uv;        // the pairs as the shape holds them now
    int16_t point[2];               // the point clipboard
    int pointSet;
    int16_t clip[2 * MAPPING_CLIP_PAIRS];   // the polygon clipboard
    int clipPairs;                  // pairs in it; 0 = not set
    int lastX, lastY;               // where the last window was; x -1 = none yet
} mapping;

struct MappingData {
    WinId ok, abort, create, left, right, copyAll, pasteAll;
    WinId next, prev, copyOne, pasteOne;   // 0 while not shown
    int32_t dragged;                // vertex index; -1 none
    int32_t selected;               // point index; -1 none
    int32_t showsRemove;            // the create button reads "Remove"
};

// The polygon is still the one the window opened on: Undo, Load or Del may have replaced it
// while the window stayed open, and writing then would change another polygon.
static bool TargetIntact(void)
{
    uint8_t* p = ShapePolygon(ShapeMEdit()->data, mapping.polygon);
    if (!p || ShapePolyPoints(p) != mapping.n) return false;
    for (int k = 0; k < mapping.n; k++)
        if (ShapePolyIndex(p, k) != mapping.indices[(size_t)k]) return false;
    return true;
}

// The window's own opening is still current and its polygon intact; otherwise it closes
// without writing.
static bool Alive(WinId window)
{
    if (mapping.window == window && TargetIntact()) return true;
    WinClose(window);
    if (mapping.window == window) mapping.window = 0;
    return false;
}

// The pairs as the shape holds them, into mapping.uv; 0 when the polygon has none.
static int Fetch(void) { return MeshGetMapping(mapping.polygon, mapping.uv.data()); }

// Writes the pairs (null removes the block). The first write of an opening saves the undo
// copy, so that Undo after "Ok" gives back the shape from before the window.
static void Write(const int16_t* uv)
{
    int was = ShapeMUndoOn();
    if (mapping.wrote) ShapeMSetUndo(0);
    int refused = MeshSetMapping(mapping.polygon, uv);
    ShapeMSetUndo(was);
    if (refused) {
        MsgBoxShow(kTitle, "No room in the shape for the mapping coordinates.");
        return;
    }
    mapping.wrote = 1;
}

// ============================================================================================
// The window
// ============================================================================================

static bool IsHex(WinId window) { return WinGetClass(window) == CLASS_MAPPING_HEX; }

static void ClientSize(WinId window, int* width, int* height)
{
    WinParam p1 = 0, p2 = 0;
    WinSendMessage(window, WM_REGION, &p1, &p2);
    *width = WinNoRect(p1) ? 0 : WinLo(p2) - WinLo(p1) + 1;
    *height = WinNoRect(p1) ? 0 : WinHi(p2) - WinHi(p1) + 1;
}

static MappingArea AreaOf(WinId window)
{
    int w, h;
    ClientSize(window, &w, &h);
    return MappingAreaOf(w, h);
}

static void Drop(WinId* button)
{
    if (*button) WinClose(*button);
    *button = 0;
}

// Where a pair is drawn: in the area, one outside 0 to 1 on its edge (its value stays as it
// is), so that no point lies under the buttons or past the window and each can be picked.
static void OnArea(const MappingArea* a, int u, int v, int* x, int* y)
{
    MappingToScreen(a, u, v, x, y);
    *x = *x < a->x0 ? a->x0 : *x > a->x1 ? a->x1 : *x;
    *y = *y < a->y0 ? a->y0 : *y > a->y1 ? a->y1 : *y;
}

// The first point within 5 pixels of (x, y) on both axes; -1 when none.
static int Hit(const MappingArea* a, int x, int y)
{
    for (int k = 0; k < mapping.n; k++) {
        int sx, sy;
        OnArea(a, mapping.uv[2 * (size_t)k], mapping.uv[2 * (size_t)k + 1], &sx, &sy);
        if (abs(sx - x) < MAPPING_PICK && abs(sy - y) < MAPPING_PICK) return k;
    }
    return -1;
}

static int FirstPointOf(int vertex)
{
    for (int k = 0; k < mapping.n; k++)
        if (mapping.indices[(size_t)k] == vertex) return k;
    return -1;
}

static void Format(bool hex, int c, char* out, size_t size)
{
    if (hex) MappingHex(c, out, size);
    else MappingDecimal(c, out, size);
}

// The status line, with the pairs as the shape holds them.
static void Status(const MappingData* d, bool hex, int hasCoords, char* out, size_t size)
{
    char u[12], v[12], ru[12], rv[12];
    int dragged = d->dragged >= 0 ? FirstPointOf(d->dragged) : -1;
    if (!hasCoords) {
        snprintf(out, size, "No Coordinates");
    } else if (d->selected < 0 && dragged < 0) {
        snprintf(out, size, "No Reference Point");
    } else if (dragged >= 0) {
        Format(hex, mapping.uv[2 * (size_t)dragged], u, sizeof u);
        Format(hex, mapping.uv[2 * (size_t)dragged + 1], v, sizeof v);
        if (d->selected >= 0) {
            Format(hex, mapping.uv[2 * (size_t)d->selected], ru, sizeof ru);
            Format(hex, mapping.uv[2 * (size_t)d->selected + 1], rv, sizeof rv);
            snprintf(out, size, "Dragging U:%s, V:%s      Reference U:%s, V:%s ", u, v, ru, rv);
        } else {
            snprintf(out, size, " U:%s, V:%s", u, v);
        }
    } else {
        Format(hex, mapping.uv[2 * (size_t)d->selected], u, sizeof u);
        Format(hex, mapping.uv[2 * (size_t)d->selected + 1], v, sizeof v);
        snprintf(out, size, "Selected: U:%s, V:%s ", u, v);
    }
}

static void Cross(int x, int y, int colour)
{
    DrawLine(x - CROSS, y - CROSS, x + CROSS, y + CROSS, colour);
    DrawLine(x - CROSS, y + CROSS, x + CROSS, y - CROSS, colour);
}

// The texture of the polygon's own material (the twin: the current material's); 0 for none.
static ResId Texture(WinId window)
{
    if (IsHex(window)) return IntMatSprite(MatMCurrent());
    // Called on an intact target only. An unbound material draws as the Dummy, as in the view.
    uint16_t material = GetU16(ShapePolygon(ShapeMEdit()->data, mapping.polygon), POLY_MATERIAL);
    return IntMatSprite((material & MAT_UNRESOLVED) ? 0 : material);
}

static void Draw(WinId window, const MappingData* d)
{
    int w, h;
    ClientSize(window, &w, &h);
    MappingArea a = MappingAreaOf(w, h);
    DrawFillRect(0, 0, w - 1, h - 1, DrawBackground());
    // A window left behind by a changed shape reads nothing of it until its tick closes it.
    bool intact = mapping.window == window && TargetIntact();
    ResId texture = intact ? Texture(window) : 0;
    if (texture && a.x1 > a.x0 && a.y1 > a.y0) SpriteDrawScaled(texture, a.x0, a.y0, a.x1, a.y1);
    else DrawFillRect(a.x0, a.y0, a.x1, a.y1, DrawShadow());
    int has = intact && Fetch();
    if (has) {
        // The points and their crosses stay by the area: clear of the buttons and the status line.
        int clip[4];
        VideoGetClip(&clip[0], &clip[1], &clip[2], &clip[3]);
        VideoSetClip(a.x0 - AREA_MARGIN, a.y0 - AREA_MARGIN, a.x1 + AREA_MARGIN, a.y1 + AREA_MARGIN);
        for (int k = 0; k < mapping.n; k++) {
            int next = (k + 1) % mapping.n;
            int x0, y0, x1, y1;
            OnArea(&a, mapping.uv[2 * (size_t)k], mapping.uv[2 * (size_t)k + 1], &x0, &y0);
            OnArea(&a, mapping.uv[2 * (size_t)next], mapping.uv[2 * (size_t)next + 1], &x1, &y1);
            bool lit = d->dragged >= 0 && (mapping.indices[(size_t)k] == d->dragged || mapping.indices[(size_t)next] == d->dragged);
            DrawLine(x0, y0, x1, y1, lit ? COLOUR_DRAGGED : COLOUR_OUTLINE);
        }
        for (int k = 0; k < mapping.n; k++) {
            int x, y;
            OnArea(&a, mapping.uv[2 * (size_t)k], mapping.uv[2 * (size_t)k + 1], &x, &y);
            DrawFillRect(x - MARKER, y - MARKER, x + MARKER, y + MARKER, COLOUR_MARKER);
        }
        if (d->selected >= 0) {
            int x, y;
            OnArea(&a, mapping.uv[2 * (size_t)d->selected], mapping.uv[2 * (size_t)d->selected + 1], &x, &y);
            Cross(x, y, COLOUR_SELECTED);
        }
        if (mapping.pointSet) {
            int x, y;
            OnArea(&a, mapping.point[0], mapping.point[1], &x, &y);
            Cross(x, y, COLOUR_CLIPBOARD);
        }
        VideoSetClip(clip[0], clip[1], clip[2], clip[3]);
    }
    char text[MAPPING_TEXT_MAX];
    Status(d, IsHex(window), has, text, sizeof text);
    TextSetColour(DrawTextColour());
    TextSetFormat(TEXT_MODE_CENTRE, -1, 0, w - 1);
    TextPrint(0, a.y1 + STATUS_GAP, "%s", text);
}

// Takes the target polygon's points and pairs: 0 when there is no such polygon.
static int Take(int polygon)
{
    uint8_t* p = ShapePolygon(ShapeMEdit()->data, polygon);
    if (!p) return 0;
    mapping.polygon = polygon;
    mapping.n = ShapePolyPoints(p);
    mapping.indices.resize((size_t)mapping.n);
    for (int k = 0; k < mapping.n; k++) mapping.indices[(size_t)k] = (uint16_t)ShapePolyIndex(p, k);
    mapping.uv.assign(2 * (size_t)mapping.n, 0);
    mapping.opening.assign(2 * (size_t)mapping.n, 0);
    mapping.hadCoords = MeshGetMapping(polygon, mapping.opening.data());
    mapping.wrote = 0;
    return 1;
}

// A window that is open goes first (its changes are already written) and the new one takes
// its place; without a target polygon the new one closes at once.
static void Create(WinId window, MappingData* d)
{
    memset(d, 0, sizeof *d);
    d->dragged = -1;
    d->selected = -1;
    if (mapping.window && WinIsWindow(mapping.window)) {
        WinGetPos(mapping.window, &mapping.lastX, &mapping.lastY);
        WinClose(mapping.window);
    }
    mapping.window = 0;
    if (!Take(EditMappingPolygon())) {
        WinClose(window);
        return;
    }
    mapping.window = window;
    WinSetFocus(window);
    d->selected = EditMappingPoint() >= 0 && EditMappingPoint() < mapping.n ? EditMappingPoint() : -1;
    KitSetTitle(window, kTitle);
    if (mapping.lastX >= 0) WinSetPos(window, mapping.lastX, mapping.lastY);
    int x, y, width, height;
    WinGetRect(window, &x, &y, &width, &height);
    int bx = width - BUTTON_COLUMN;
    d->ok = KitButton(bx, Y_OK, WIDE, BUTTON_PUSH, "Ok");
    d->abort = KitButton(bx, Y_ABORT, WIDE, BUTTON_PUSH, "ABORT");
    d->create = KitButton(bx, Y_CREATE, WIDE, BUTTON_PUSH, "Create");
    d->left = KitButton(bx, Y_TURN, NARROW, BUTTON_PUSH, "<");
    d->right = KitButton(bx + BUTTON_RIGHT_SHIFT, Y_TURN, NARROW, BUTTON_PUSH, ">");
    d->copyAll = KitButton(bx, Y_COPY_ALL, WIDE, BUTTON_PUSH, "COPY ALL");
    d->pasteAll = KitButton(bx, Y_PASTE_ALL, WIDE, BUTTON_PUSH, "PASTE ALL");
}

// Shows "NEXT", "PREV" and "COPY 1" while a point is selected and "PASTE 1" while the point
// clipboard holds a pair too; the create button reads "Remove" over coordinates.
static void Tick(WinId window, MappingData* d)
{
    int x, y, width, height;
    WinGetRect(window, &x, &y, &width, &height);
    int bx = width - BUTTON_COLUMN;
    if (d->selected >= 0) {
        if (!d->next) d->next = KitButton(bx, Y_NEXT, WIDE, BUTTON_PUSH, "NEXT");
        if (!d->prev) d->prev = KitButton(bx, Y_PREV, WIDE, BUTTON_PUSH, "PREV");
        if (!d->copyOne) d->copyOne = KitButton(bx, Y_COPY_ONE, WIDE, BUTTON_PUSH, "COPY 1");
        if (mapping.pointSet && !d->pasteOne) d->pasteOne = KitButton(bx, Y_PASTE_ONE, WIDE, BUTTON_PUSH, "PASTE 1");
        if (!mapping.pointSet) Drop(&d->pasteOne);
    } else {
        Drop(&d->next);
        Drop(&d->prev);
        Drop(&d->copyOne);
        Drop(&d->pasteOne);
    }
    int remove = Fetch();
    if (remove != d->showsRemove) {
        d->showsRemove = remove;
        KitSetLabel(d->create, remove ? "Remove" : "Create");
    }
}

static void Abort(WinId window)
{
    int has = Fetch();
    bool same = has == mapping.hadCoords &&
                (!has || memcmp(mapping.uv.data(), mapping.opening.data(), sizeof(int16_t) * 2 * (size_t)mapping.n) == 0);
    if (!same) Write(mapping.hadCoords ? mapping.opening.data() : nullptr);
    WinClose(window);
    mapping.window = 0;
}

static void Press(WinId window, MappingData* d, WinId button)
{
    if (!Alive(window)) return;
    int has = Fetch();
    int n = mapping.n, k = d->selected;
    int16_t* uv = mapping.uv.data();
    if (button == d->ok) {
        WinClose(window);
        mapping.window = 0;
    } else if (button == d->abort) {
        Abort(window);
    } else if (button == d->create) {
        if (has) {
            Write(nullptr);
        } else {
            MappingDefaultPairs(uv, n);
            Write(uv);
        }
    } else if (button == d->copyAll) {
        if (n > MAPPING_CLIP_PAIRS) {
            MsgBoxShow(kTitle, "COPY ALL holds 128 points at most.");
        } else if (has) {
            memcpy(mapping.clip, uv, sizeof(int16_t) * 2 * (size_t)n);
            mapping.clipPairs = n;
        }
    } else if (button == d->pasteAll) {
        if (!mapping.clipPairs) return;
        if (n > MAPPING_CLIP_PAIRS) {
            MsgBoxShow(kTitle, "PASTE ALL holds 128 points at most.");
            return;
        }
        // Points past the copied ones keep their pairs, or get (0, 0) in a new block.
        if (!has) memset(uv, 0, sizeof(int16_t) * 2 * (size_t)n);
        int count = n < mapping.clipPairs ? n : mapping.clipPairs;
        memcpy(uv, mapping.clip, sizeof(int16_t) * 2 * (size_t)count);
        Write(uv);
    } else if (button == d->left || button == d->right) {
        if (!has) return;
        MappingTurn(uv, n, button == d->left ? MAPPING_TURN_FORWARD : MAPPING_TURN_BACK);
        Write(uv);
    } else if (k < 0) {
        return;   // the point buttons stay until the next tick closes them
    } else if (button == d->next) {
        d->selected = k == n - 1 ? 0 : k + 1;
    } else if (button == d->prev) {
        d->selected = k == 0 ? n - 1 : k - 1;
    } else if (button == d->copyOne) {
        mapping.pointSet = has;
        if (has) {
            mapping.point[0] = uv[2 * k];
            mapping.point[1] = uv[2 * k + 1];
        }
    } else if (button == d->pasteOne) {
        if (!mapping.pointSet || !has) return;
        uv[2 * k] = mapping.point[0];
        uv[2 * k + 1] = mapping.point[1];
        Write(uv);
    }
}

// Every point that uses the dragged vertex takes the pair under the pointer.
static void Drag(WinId window, MappingData* d)
{
    int x, y;
    if (WinGetPointerInRegion(&x, &y) || !Alive(window) || !Fetch()) return;
    MappingArea a = AreaOf(window);
    int16_t u, v;
    MappingFromScreen(&a, x, y, &u, &v);
    bool changed = false;
    for (int k = 0; k < mapping.n; k++) {
        if (mapping.indices[(size_t)k] != d->dragged) continue;
        changed |= mapping.uv[2 * (size_t)k] != u || mapping.uv[2 * (size_t)k + 1] != v;
        mapping.uv[2 * (size_t)k] = u;
        mapping.uv[2 * (size_t)k + 1] = v;
    }
    // A press that does not move writes nothing, and so takes no undo step.
    if (changed) Write(mapping.uv.data());
}

static int MappingProc(WinId window, WinId sender, int message, WinParam* p1, WinParam* p2)
{
    MappingData* d = (MappingData*)WinGetData();
    switch (message) {
    case WM_CREATE: Create(window, d); return 0;
    case WM_DESTROY:
        // Only a window that opened on a polygon (and so has its buttons) sets the place.
        if (d->ok) WinGetPos(window, &mapping.lastX, &mapping.lastY);
        if (mapping.window == window) mapping.window = 0;
        return 1;
    case WM_DRAWCLIENT: Draw(window, d); return 0;
    case WM_FOCUS: return 0;   // the window takes Enter and Escape
    case WM_KEY:
        if (WinModal()) return 0;   // a box is up: its answer is not this window's
        if (*p1 == CH_ENTER) Press(window, d, d->ok);
        else if (*p1 == CH_ESCAPE) Press(window, d, d->abort);
        return 0;
    case WM_LPRESS_REGION: {
        d->dragged = -1;
        if (!Alive(window) || !Fetch()) return 0;
        MappingArea a = AreaOf(window);
        int k = Hit(&a, (int)*p1, (int)*p2);
        if (k >= 0) d->dragged = mapping.indices[(size_t)k];
        return 0;
    }
    case WM_RPRESS_REGION: {
        if (!Alive(window)) return 0;
        MappingArea a = AreaOf(window);
        int k = Fetch() ? Hit(&a, (int)*p1, (int)*p2) : -1;
        d->selected = k >= 0 ? k : 0;
        return 0;
    }
    case WM_DRAG:
        if (d->dragged < 0) return 1;   // the frame moves the window by its title bar
        Drag(window, d);
        return 0;
    case WM_LRELEASE: d->dragged = -1; return 0;
    case WM_TICK:
        if (Alive(window)) Tick(window, d);
        return 0;
    case WM_PRESSED:
        if (*p1) Press(window, d, sender);
        // A pressed button refuses the focus; the window takes it back for Enter and Escape,
        // unless a box it opened holds it.
        if (mapping.window == window && !WinModal()) WinSetFocus(window);
        return 0;
    default: return 1;
    }
}

// ============================================================================================
// Opening
// ============================================================================================

void MappingRegisterClasses(void)
{
    WinCreateClass(CLASS_MAPPING, CLASS_FRAME, sizeof(MappingData), MappingProc);
    WinCreateClass(CLASS_MAPPING_HEX, CLASS_FRAME, sizeof(MappingData), MappingProc);
    // Clipboards and the remembered position last for one editor run.
    mapping.window = 0;
    mapping.pointSet = mapping.clipPairs = 0;
    mapping.lastX = mapping.lastY = -1;
}

static WinId Open(int polygon, int point, uint32_t cls)
{
    EditSetMappingTarget(polygon, point);
    int sw, sh;
    VideoExtent(&sw, &sh);
    bool small = cls == CLASS_MAPPING && sw < 640;
    WinId window = WinCreate(small ? MAPPING_SMALL_X : MAPPING_X, MAPPING_Y,
                             small ? MAPPING_SMALL_WIDTH : MAPPING_WIDTH, small ? MAPPING_SMALL_HEIGHT : MAPPING_HEIGHT,
                             WIN_DESKTOP, MAPPING_STYLE, cls);
    return window && mapping.window == window ? window : 0;
}

WinId MappingOpen(int polygon, int point) { return Open(polygon, point, CLASS_MAPPING); }
WinId MappingOpenTex(int polygon, int point) { return Open(polygon, point, CLASS_MAPPING_HEX); }

int MappingDescribe(WinId window, MappingInfo* out)
{
    uint32_t cls = WinGetClass(window);
    const MappingData* d = (const MappingData*)WinDataOf(window, cls);
    if (!d || (cls != CLASS_MAPPING && cls != CLASS_MAPPING_HEX)) return 0;
    out->polygon = mapping.polygon;
    out->points = mapping.n;
    out->selected = d->selected;
    out->dragged = d->dragged;
    out->hex = cls == CLASS_MAPPING_HEX;
    out->area = AreaOf(window);
    WinParam p1 = 0, p2 = 0;
    WinSendMessage(window, WM_REGION, &p1, &p2);
    int x = 0, y = 0;
    WinGetAbsPos(window, &x, &y);
    out->clientX = x + WinLo(p1);
    out->clientY = y + WinHi(p1);
    int has = mapping.window == window && TargetIntact() && Fetch();
    Status(d, out->hex, has, out->status, sizeof out->status);
    return 1;
}
