// Editor-wide state shared by the panels, the view windows and the editor frame: the tool
// the panels chose, the overlay flags, the active view, a pending request to move the view's
// centre, and the pick results of this frame and the previous one. Panels never call the
// views; they set these values and the views read them.
#pragma once
#include <cstdint>

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

WinId EditActiveView(void);
void EditSetActiveView(WinId view);

// A panel asks the active view to look at a point; the view takes the request at its tick.
void EditRequestCentre(int32_t x, int32_t y, int32_t z);
int EditTakeCentreRequest(int32_t out[3]);   // 1 when one was pending (it is cleared)

// This frame's picks are stored by the view the pointer is in; the tools read the previous
// frame's. The editor display moves this frame's to the previous ones and clears them.
EditPick* EditPickNow(void);
const EditPick* EditPickBefore(void);
void EditPickNewFrame(void);

// The polygon and point that the next mapping window opens on: the view's Mapping tool sets
// them before it creates the window. Point -1 = none selected.
void EditSetMappingTarget(int polygon, int point);
int EditMappingPolygon(void);
int EditMappingPoint(void);
