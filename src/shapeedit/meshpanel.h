// The Mesh panel (class 0x1014): the counts of selected and total polygons and vertices, the
// switches that say what the view selects, clear and select-all, the context command grid,
// and the Mesh Transform dialog (0x101b) that its "Trf" command opens. The view hands it its
// picks as messages; the panel chooses the view's mesh selection tool while it is open and
// the mesh move tool while the selection moves. Its messages from the view: PANEL_MSG_RECT (a
// small rectangle is a click on what lies under the pointer), PANEL_MSG_VERTEX and
// PANEL_MSG_POLYGON (toolkit/contract.h).
#pragma once
#include <cstdint>

#include "shapes/mesh.h"
#include "toolkit/win.h"

enum {
    MESHP_GRID_MAX = 12,
};

void MeshPanelRegister(void);

// The labels of the commands the grid shows for these counts of selected polygons and
// vertices, in table order, at most MESHP_GRID_MAX; their number.
int MeshPanelGrid(int polygons, int vertices, const char* labels[MESHP_GRID_MAX]);
// Whether a command with this label is shown but without effect (drawn disabled).
int MeshPanelCommandDisabled(const char* label);

