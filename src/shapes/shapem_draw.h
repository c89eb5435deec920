// Drawing shapes through Draw3D, inside a frame: prepared shapes (shapem.h) from their draw
// records, and the edit buffer (shapem_edit.h) straight from its block.
#pragma once
#include <cstdint>

#include "kernel/res/res.h"

// Draws a prepared shape at a camera-space origin with a camera-relative orientation, unless
// its sphere or box is out of view (then 0). D3V_HIDDEN in the display flags culls back faces.
// Unresolved materials draw with material 0; a record is textured when its material has a
// texture and it carries mapping coordinates. A quad draws as its two triangles.
int ShapeMDraw(ResId id, const int32_t camPos[3], const int16_t orientation[9], uint32_t displayFlags);
// The records alone, over the points Draw3D holds (the shape's, transformed already).
void ShapeMDrawRecords(ResId id, uint32_t displayFlags);
// A shape block as it stands (the edit buffer's form): polygons fan out from their first point.
int ShapeMDrawBlock(const uint8_t* block, const int32_t camPos[3], const int16_t orientation[9], uint32_t displayFlags);
int ShapeMDrawEdit(const int32_t camPos[3], const int16_t orientation[9], uint32_t displayFlags);
// The edited-object slot's draw function: the edit buffer when the slot's shape is -1, else
// the slot's prepared shape, at the slot's place seen from the camera slot.
void ShapeMDrawSlot(uint16_t slot);
