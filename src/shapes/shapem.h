// Shape manager: shapes in their two working forms. Prepared shapes are what "SHP" resources
// become when they load (flat vertex arrays and one draw record per triangle or quad, for the
// renderer and the world display); the edit buffer is the one shape block the Shape Editor
// edits in place, with a one-level undo copy.
#pragma once
#include <cstddef>
#include <cstdint>

#include "kernel/res/res.h"
#include "shapes/shape.h"

enum {
    SHAPEM_BUFFER_SIZE = 2000000,
    SHPI_MAGIC = 0x73687069,      // 'shpi'
    DRAW_TRIANGLE_SIZE = 188,
    DRAW_QUAD_SIZE = 360,
};

// ============================================================================================
// Install
// ============================================================================================

// Registers the "SHP" type with its load hook, the material change handler that re-binds
// every loaded shape, and the removal.
void ShapeMResourceInstall(void);
// Allocates the edit buffer and the undo copy (2,000,000 bytes each, whatever the size
// asked), makes the buffer an empty shape and saves an undo copy. A font id of 0 is fatal
// "ShapeMInstall - MUST have a font ID".
void ShapeMInstall(uint32_t bufferSize, ResId font);
void ShapeMRemove(void);
int ShapeMIsInstalled(void);

// ============================================================================================
// The edit buffer
// ============================================================================================

// The block the editor edits; its capacity is the buffer's size.
ShapeBlock* ShapeMEdit(void);
ResId ShapeMEditResource(void);
// Whether edits save an undo copy (the editor start turns it on).
void ShapeMSetUndo(int on);
int ShapeMUndoOn(void);
// Copies the used part of the edit buffer into the undo copy when the undo flag is on.
void ShapeMSaveUndo(void);
// Copies the undo copy back over the edit buffer when the undo flag is on.
void ShapeMUndo(void);
// Saves an undo copy, then empties the edit buffer.
void ShapeMNew(void);
