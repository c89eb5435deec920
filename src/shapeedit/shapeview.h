// The Shape Editor's views: the edit buffer projected as the view's camera sees it, the
// picks under the pointer (vertex and nearest polygon), the rectangle selection a panel asked
// for, and the overlays (selection, normals, marks, the points of a new polygon). Registers
// the Shape Editor's view hooks; its tools (shapetools.h) act on what this projection saw.
#pragma once
#include <cstdint>

#include "toolkit/win.h"

// Installs the Shape Editor's view hooks.
void ShapeViewInstall(void);

// The edit buffer, or null without a shape manager.
uint8_t* ShapeViewBlock(void);
// The tools act on the picks of the last drawing. When the pointer jumped and was pressed
// within one frame (a script, a desktop tool, a quick hand), that drawing picked elsewhere:
// this picks again at the press from the same projection, so the click acts on what is under it.
void ShapeViewRepick(WinId view, int rx, int ry);
// A tool changed the shape: the last projection no longer names what is under the pointer.
void ShapeViewChanged(void);
// The polygon just made: when the last projection sees its back, it stays outlined (until it
// is flipped or the shape gains or loses a polygon) and 1 is returned.
int ShapeViewMarkIfFacingAway(int polygon);
