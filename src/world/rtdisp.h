// The runtime world display: a runtime world file (layout in wle.h) and its WXP archive
// (runtime.h) installed as display tables: the cells with their corners and worldshape copies,
// the net nodes, the shapes of the archive, the terrain. One runtime world at a time; a new one
// replaces the old.
//
// Both files come from disk, so every count, index and archive offset is checked against its
// block before use: a damaged file installs nothing and the log (and RtDispError) says
// why. Memory exhaustion and programming errors are fatal.
#pragma once
#include <cstdint>

#include "base/res.h"

enum {
    WORLD_VIEW_SQUARED = 0x31830000,   // the square of the view distance at cell exponent 0
    WORLD_CELL_CORNERS = 8,
};

struct RtDispInfo {
    uint32_t cellExponent;
    uint32_t cellsX, cellsY, cellsZ;
    uint32_t distance;       // isqrt(WORLD_VIEW_SQUARED) << cell exponent
    uint32_t cellCount;      // stored (non-empty) cells
    uint32_t cornerCount;
    uint32_t nodeCount;
    uint32_t copyCount;      // worldshape copies, over all cells
    uint32_t drawRoom;       // entries of the drawing list
};

// A stored cell, in the order of the file.
struct RtDispCell {
    int32_t index[3];        // cell index X, Y, Z
    int32_t min[3], max[3];
    uint32_t corners[WORLD_CELL_CORNERS];   // entries of the corner table
    uint32_t dynamicCount, staticCount;
    uint32_t firstCopy, copyCount;          // the cell's worldshape copies
};

// A worldshape copy filed under a cell.
struct RtDispCopy {
    uint16_t id, flags;
    uint32_t name;
    int32_t pos[3];
    int16_t yaw, pitch;
    int32_t box[6];
    int shape;               // entry of the display shape table
};

struct RtDispNode {
    uint16_t id, prev, next;
    uint32_t name;
    int32_t pos[3];
    int32_t distPrev, distNext;
    int16_t dirPrev[3], dirNext[3];
};

// Installs the runtime world of a resource, replacing the one installed; the WXP archive is
// the resource named by its header. Both resources are closed and freed afterwards, whatever
// the outcome. 0 installed; 1 refused (damaged), nothing installed. Fatal: id 0, the archive
// missing, no memory.
int WorldSetID(ResId id);
// Why the last WorldSetID refused ("" after a success).
const char* RtDispError(void);
// Frees everything of the runtime world display (its terrain included). Safe when none.
void RtDispRemove(void);
// 1 while a runtime world is installed.
int RtDispInstalled(void);
// 1 and the figures while installed, else 0.
int RtDispGetInfo(RtDispInfo* info);

// A cell of the cell array; fatal past the array.
const RtDispCell* WorldGetCellArrayNoCheck(uint32_t index);
// The cell array entry of cell (x, y, z) through the cell list; -1 when it is not stored.
int WorldFindCell(int32_t x, int32_t y, int32_t z);
// 1 and a corner's position in cell-index units; 0 past the table.
int WorldGetCorner(uint32_t index, uint16_t out[3]);
// A worldshape copy, or null past the table.
const RtDispCopy* WorldGetCopy(uint32_t index);
// The node with that ID, or null.
const RtDispNode* WorldGetNode(uint16_t id);

// The copies a frame seen from a world point draws: those of the cells within the display
// distance, in the order of the cell list, each once (indices for WorldGetCopy, in the
// drawing list). 0 when nothing is installed.
uint32_t RtDispVisibleCopies(const int32_t eye[3], const uint32_t** list);

// Draws the installed runtime world in the open frame, seen from a world point: the terrain,
// then the worldshape copies of the cells within the display distance, in the order of the
// cell list. The number of copies drawn (in view); 0 when nothing is installed.
int RtDispDraw(const int32_t eye[3]);

// The drawing list (room for every worldshape copy) and the sky sprite.
void WorldDrawShapes_Install(void);

// ---- the display shape table: shape resources the display owns and frees
// Grows the table by count empty entries; the index of the first.
int WorldAddShapes(int count);
void WorldSetShape(int index, ResId id);
ResId WorldGetShape(int index);    // 0 past the table
int WorldShapeCount(void);
// Frees every entry's shape and empties the table; an entry still empty is fatal.
void WorldFreeShapes(void);
