// The Shape Editor's view tools (EDIT_TOOL_* of the polygon, vertex, material and mesh
// panels): what a press, a drag and a release in a view do to the edit buffer, on the picks
// the last projection saw (shapeview.h). Called through the Shape Editor's view hooks.
#pragma once

#include "toolkit/win.h"

void ShapeToolsLeftPress(WinId view, int tool, int rx, int ry);
void ShapeToolsRightPress(WinId view, int tool, int rx, int ry);
void ShapeToolsDrag(int tool, int rx, int ry, int pressX, int pressY);
void ShapeToolsMoveEnded(int tool, int moved);
