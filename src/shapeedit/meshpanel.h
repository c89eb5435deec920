// The Mesh panel (class 0x1014): the counts of selected and total polygons and vertices, the
// switches that say what the view selects, clear and select-all, the context command grid,
// and the Mesh Transform dialog (0x101b) that its "Trf" command opens. The view hands it its
// picks as messages; the panel chooses the view's mesh selection tool while it is open and
// the mesh move tool while the selection moves.
#pragma once
#include <cstdint>

#include "shapes/mesh.h"
#include "toolkit/win.h"

enum {
    CLASS_MESH_TRANSFORM = 0x101b,

    // From the view: 40 a finished rectangle (p1 x0, y0; p2 x1, y1, on the screen), which the
    // panel hands back to the view to select in (a small one is a click on what lies under the
    // pointer); 41 a vertex and 42 a polygon (p1 the index, p2 1 to select, 0 to drop: the
    // right button).
    MESHP_RECT = 40,
    MESHP_VERTEX = 41,
    MESHP_POLYGON = 42,

    // The view's tools the panel chooses.
    MESHP_TOOL_SELECT = 23,
    MESHP_TOOL_MOVE = 26,
    MESHP_PICK_BOTH = 3,     // vertices and polygons, while both switches are on

    // Command rules: a count the command needs of selected polygons and of selected vertices.
    MESHP_RULE_ANY = 32765,
    MESHP_RULE_SOME = 32766,       // at least one
    MESHP_RULE_SEVERAL = 32767,    // at least two
    MESHP_GRID_MAX = 12,
};

void MeshPanelRegister(void);

// The labels of the commands the grid shows for these counts of selected polygons and
// vertices, in table order, at most MESHP_GRID_MAX; their number.
int MeshPanelGrid(int polygons, int vertices, const char* labels[MESHP_GRID_MAX]);
// Whether a command with this label is shown but without effect (drawn disabled).
int MeshPanelCommandDisabled(const char* label);

