// The worldshapes in the World Editor's 3D view: drawn (inside an open Draw3D frame, camera
// set) with the display filter and the rectangle selection, the boxes and label of the selected
// and pointed ones in screen lines, and picking by the projected boxes.
#pragma once
#include <cstdint>

// Draws every shown worldshape whose bounds are in view; the number drawn. With a rectangle
// (x0, y0, x1, y1 in screen pixels) and request bit 0 (select) or bit 1 (deselect), a drawn
// worldshape whose projected box lies inside it is selected or deselected; the caller clears
// its request after the frame.
int WorldMDrawShapes(int rectRequest, const int32_t rect[4]);
// The box of every selected shown worldshape, in screen lines of a colour (after the 3D frame).
void WorldMDrawSelectionBoxes(int colour);
// The box of one worldshape (the one under the pointer) with its two-line label: the name, or
// "(TERRAIN)" for an unnamed one, then the shape file name.
void WorldMDrawPointedShape(uint16_t id, int colour);
// The shown worldshape whose projected box holds the screen point and lies nearest the eye;
// 0 when none.
uint16_t WorldMPick(int x, int y);
