// Drawing shapes through Draw3D, inside a frame: prepared shapes (the shape manager's drawing
// form) and shape blocks as they stand (the edit buffer's form).
#pragma once
#include <cstdint>

#include "base/res.h"

// Draws a prepared shape at a camera-space origin with a camera-relative orientation, unless
// its sphere or box is out of view (then 0). D3V_HIDDEN in the display flags culls back
// faces. Unresolved materials draw with material 0; a record is textured when its material
// has a texture and it carries mapping coordinates. A quad draws as its two triangles.
int ShapeDrawPrepared(ResId id, const int32_t camPos[3], const int16_t orientation[9], uint32_t displayFlags);
// The records alone, over the points Draw3D holds (the shape's, transformed already).
void ShapeDrawRecords(ResId id, uint32_t displayFlags);
// A shape block as it stands: polygons fan out from their first point. 0 when it has no
// vertices.
int ShapeDrawBlock(const uint8_t* block, const int32_t camPos[3], const int16_t orientation[9], uint32_t displayFlags);
// The shape manager's edit buffer; 0 without one.
int ShapeDrawEdit(const int32_t camPos[3], const int16_t orientation[9], uint32_t displayFlags);
