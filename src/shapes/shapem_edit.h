// The Shape Editor's edit buffer: the one shape block the editor edits in place (the mesh
// operations of mesh.h change it), held in a fixed buffer with a history of undo and redo steps. Loading,
// merging, New, Optimise, Undo and saving with a backup act on it. Refusals give their reason
// through ShapeMLastError (shapem.h).
#pragma once
#include <cstdint>

#include "base/history.h"
#include "base/res.h"
#include "shapes/shape.h"

enum {
    SHAPEM_BUFFER_SIZE = SHAPE_MAX_FILE_SIZE,   // the edit buffer; an edit never grows it
    SHAPEM_DISPLAY_COUNT = 5,       // colour indices the 3D view draws the edited shape with
};

// Allocates the edit buffer (SHAPEM_BUFFER_SIZE bytes) and an empty history, and makes the
// buffer an empty shape. A second install changes nothing.
void ShapeMInstall(void);
void ShapeMRemove(void);
int ShapeMIsInstalled(void);
// The five colour indices the 3D view draws the edited shape with.
void ShapeMSetDisplay(const int values[SHAPEM_DISPLAY_COUNT]);
int ShapeMDisplay(int which);

// The block the editor edits; its capacity is the buffer's size.
ShapeBlock* ShapeMEdit(void);
ResId ShapeMEditResource(void);
// Whether edits record undo steps (the editor start turns it on).
void ShapeMSetUndo(int on);
int ShapeMUndoOn(void);
// Records the used part of the edit buffer as an undo step when the undo flag is on: the
// state before an edit (the redo steps are dropped).
void ShapeMSaveUndo(void);
// One step back or forward in the history when the undo flag is on (nothing without a step).
void ShapeMUndo(void);
void ShapeMRedo(void);
// The edit buffer's history: step counts, bounds and the state number (null when not installed).
History* ShapeMHistory(void);
// Records an undo step, then empties the edit buffer.
void ShapeMNew(void);
// A zeroed block as large as the edit buffer, for a replacement worked out before it may still
// be refused; one block, valid until the next call (empty when not installed). Commit records
// an undo step, then copies the block's used part over the edit buffer.
ShapeBlock ShapeMScratch(void);
void ShapeMCommitScratch(const ShapeBlock* s);

// Takes a shape resource into the edit buffer: the raw block (read again unprepared when the
// resource holds a prepared shape), converted, bound, normals and derived values recomputed,
// selections cleared. 0, or 1 when refused (damaged, or too large), the buffer unchanged.
int ShapeMTakeIn(ResId id);
// Reads a file into a resource, takes it in, frees the resource. 0 or 1.
int ShapeMLoadFile(const char* fileName);
// Merges a version 16 shape into the front of the edit buffer, the merged part selected.
// 0 merged; 1 refused, the buffer unchanged; 2 nothing to merge (the buffer has no vertex or
// no polygon, or the other shape no vertex).
int ShapeMMerge(ResId id);
int ShapeMMergeFile(const char* fileName);
// Removes a repeated point of each polygon when asked, deletes unused unnamed vertices, welds
// vertices at equal positions (named ones stay), then normals and derived values.
void ShapeMOptimise(int removeRepeats);
// Material name table, derived values and shift, face normals and per-point normals: the
// block is then what a file holds. Gives the edit buffer's resource and used size; 0, or 1
// when there is no room for the name table.
int ShapeMPrepareForWriting(ResId* id, uint32_t* size);
// The same preparation on a copy: the used edit buffer is copied into dest (capacity bytes)
// and prepared there, the buffer itself untouched, so that a copy of the work can be written
// as Save would write it without changing what the user edits. The copy's size in *size; 0,
// or 1 when refused (no room).
int ShapeMPrepareCopy(uint8_t* dest, uint32_t capacity, uint32_t* size);
// 1 when a file is there that a shape must not be written over: one that holds something
// other than a shape (a 3DS listing, say). Nothing there, an empty file, or a shape: 0.
int ShapeMFileIsForeign(const char* fileName);
// Prepares for writing and saves with a backup of the previous file. 0, or 1 (also when the
// file there is foreign, which is left as it was).
int ShapeMSave(const char* fileName);
