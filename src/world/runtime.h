// The runtime save: turns the edited world into the form the game loads. The world is cut into
// a grid of cells, every placed shape is filed under the cells it lies in, the geometry of every
// placed shape goes into one WXP archive, and the runtime world file (a world image of net
// nodes, terrain, cells with worldshape copies, and cell corners; layout in wle.h) is written
// beside it. A static shape that crosses cell boundaries is cut along the grid into one piece
// per cell.
//
// The edit world never changes: the save works on a private copy of the image taken at entry
// and copies it back whatever happens; a refusal that concerns shapes leaves exactly those
// shapes selected. Shapes are read raw from their files into scratch blocks, so the prepared
// shapes the views draw are never overwritten. Nothing is written until everything has been
// built and checked; then the files are written together (temporary files, then renames taken
// back on a failure): a save that fails leaves the old files as they were. Run from WorldMSave,
// the save writes the world file in the same group, keeping its old file as its backup.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/progress.h"

// The WXP archive: a run of entries without gaps, each a head and a shape block (SHP form).
enum {
    WXP_CAPACITY = 3000000,     // the archive's room: an entry that would reach it fails
    WXP_ENTRY_NAME = 0,         // char[16]: a dynamic shape's base name + ".WHP"; empty for a static one
    WXP_ENTRY_NAME_CHARS = 16,
    WXP_ENTRY_SIZE = 16,        // u32: size of the block that follows, rounded up to 4
    WXP_ENTRY_HEAD = 20,
};

// Limits of the runtime form.
enum {
    RT_MAX_EXPONENT = 17,       // 16384 << 17 = 2^31: the grid must stay inside 32-bit positions
    RT_MAX_CELLS_AXIS = 65535,  // corner coordinates are u16 and run to the cell count inclusive
    RT_MAX_CORNERS = 65536,     // corner indices are u16 in the corner packets
};

// Refusals of this save beyond the shared result codes (worldm.h). The error box has no text of
// its own for them; WorldMRuntimeErrorText and WorldMRuntimeMessage give one.
enum {
    RT_ERR_OUTSIDE_GRID = -27,  // a worldshape lies (partly) outside the cell grid: left selected
    RT_ERR_CROSSES_CELL = -28,  // a static worldshape across cell boundaries cannot be cut: left selected
    RT_ERR_GRID = -29,          // the cell grid is too large for the runtime form
    RT_ERR_NAME = -30,          // the runtime name cannot give a WXP name (empty, or too long)
    RT_ERR_DAMAGED = -31,       // the world image does not walk cleanly
    // The game could not build the terrain's collision data from the runtime world.
    RT_ERR_COLLISION_CREATE = -32,   // a tile's collision shape cannot be made
    RT_ERR_COLLISION_POINTS = -33,   // a tile has more points than a collision shape holds
};

// Installs the save as the world manager's runtime save hook (WorldMSave calls it with the
// world's own name, which is then written with the runtime files).
void WorldMRuntimeInstall(void);

// Saves the runtime world under runtimeName and the WXP archive beside it; with a report
// file name, writes the summary report of the runtime image there after a success. The
// callback (may be null) hears progress 0..16384 and, whatever the outcome, one closing call
// with 16384; a non-zero answer stops the save with -11. 0, or a negative result code.
int WorldMSaveRuntime(const char* runtimeName, const char* reportName, ProgressFn progress);

// The WXP file's name for a runtime name: its folder, its last path component up to the first
// '.', then ".wxp" (C:\W\TOWN.WLD gives C:\W\TOWN.wxp). 0, or RT_ERR_NAME when there is no
// base name, the base name does not fit the header's field, or out is too small.
int WorldMWxpFileName(const char* runtimeName, char* out, size_t outSize);

// One line about the last failure of the save, naming the shape concerned; "" after a success.
const char* WorldMRuntimeMessage(void);
// The text for a result of the save: the shared table's, or this module's for its own codes.
const char* WorldMRuntimeErrorText(int code);
