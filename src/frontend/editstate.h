// Editor-wide state shared by the panels, the view windows and the editor frame: the tool
// the panels chose, the overlay flags, the active view, a pending request to move the view's
// centre, and the pick results of this frame and the previous one. Panels never call the
// views; they set these values and the views read them.
#pragma once
#include <cstdint>

#include "toolkit/contract.h"
#include "toolkit/win.h"

struct EditPick {
    int32_t vertex;      // under the pointer; -1 none
    int32_t polygon;     // -1 none
    uint32_t worldShape; // 0 none
    uint32_t node;       // 0 none
};

void EditStateReset(void);

int EditToolMode(void);
int EditPickMode(void);
void EditSetTool(int toolMode, int pickMode);
uint32_t EditOverlayFlags(void);
void EditSetOverlayFlags(uint32_t flags);
enum { EDIT_OVERLAY_MATERIALS = 0x2 };   // the view outlines the polygons of the current material

WinId EditActiveView(void);
void EditSetActiveView(WinId view);

// A panel asks the active view to look at a point; the view takes the request at its tick.
void EditRequestCentre(int32_t x, int32_t y, int32_t z);
int EditTakeCentreRequest(int32_t out[3]);   // 1 when one was pending (it is cleared)

// After Load, New and Create, and a world loaded, every view frames what there is to see: the
// request counts up, and each view frames when the count differs from the one it last saw.
void EditRequestFrame(void);
uint32_t EditFrameRequests(void);

// This frame's picks are stored by the view the pointer is in; the tools read the previous
// frame's. The editor display moves this frame's to the previous ones and clears them.
EditPick* EditPickNow(void);
const EditPick* EditPickBefore(void);
void EditPickNewFrame(void);
// After a tool changed the shape the previous frame's picks name what may have moved or gone:
// a second click before the next frame picks nothing.
void EditPickForget(void);
// A press where the last drawing did not see the pointer: the view picks again at the press
// and the tools read that instead.
void EditPickReplaceBefore(const EditPick* pick);

// The text the editor's main panel gives the views' titles (the edited file's name). Empty
// (after a reset) until a panel sets it: the views then show the editor's name.
enum { EDIT_TITLE_MAX = 65 };
void EditSetViewTitle(const char* text);
const char* EditViewTitle(void);

// The palette panel's colour range (start = end: one colour), for the views' status lines.
void EditSetColourRange(int start, int end);
void EditColourRange(int* start, int* end);

// Polygons "Add" picks up to four points; the panel clears the list when it chooses the tool.
enum { EDIT_POINT_LIST_MAX = 4 };
void EditClearPointList(void);
// 1 when appended, 0 when the list is full.
int EditAppendPoint(int32_t vertex);
int EditPointCount(void);
int32_t EditPoint(int index);   // -1 outside the list

// Polygons "Combine": the first polygon picked (-1 none); the panel resets it.
void EditSetFirstPolygon(int32_t polygon);
int32_t EditFirstPolygon(void);

// Polygons "Mapping": the polygon the mapping window works on and its selected point.
void EditSetMappingTarget(int32_t polygon, int32_t point);
void EditMappingTarget(int32_t* polygon, int32_t* point);

// A rectangle selection that a panel asks of the active view's next draw. The rectangle is in
// screen coordinates, as the view handed it to the panel (corners in either order).
enum {
    EDIT_RECT_VERTICES = 0x1,    // vertices drawn inside it
    EDIT_RECT_POLYGONS = 0x2,    // polygons whose points are all drawn inside it
    EDIT_RECT_KEEP = 0x4,        // the rest of the selection stays ("Mult"); else it is cleared first
    EDIT_RECT_DESELECT = 0x8,    // what lies inside is deselected instead
};
void EditRequestRectSelect(uint32_t flags, const int32_t rect[4]);
// The same, with the rectangle as the view's message carried it (p1 x0, y0; p2 x1, y1).
void EditRequestRectSelectFrom(uint32_t flags, WinParam p1, WinParam p2);
int EditTakeRectSelect(uint32_t* flags, int32_t rect[4]);   // 1 when one was pending (cleared)
// The mapping window reads its target when it opens.
int32_t EditMappingPolygon(void);
int32_t EditMappingPoint(void);

// The height above the ground of nodes added in a view without height (Top, Bottom): the Nodes
// panel sets it from its field, -1 while the field holds no usable height.
void EditSetNodeClearance(int32_t clearance);
int32_t EditNodeClearance(void);
// What a reset sets it to: the World Editor's default, handed in at its install.
void EditSetDefaultNodeClearance(int32_t clearance);

// A note on the views' status line: what a button did not do for the current selection. Shown
// for a few seconds, and logged as STATUS "<text>".
enum {
    EDIT_NOTE_MAX = 120,
    EDIT_NOTE_MS = 6000,
};
void EditNote(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The note while it is shown, else "".
const char* EditCurrentNote(void);
