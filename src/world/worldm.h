// The world manager: the one world the World Editor edits, held as a world image
// (the WLE file byte for byte, layout in wle.h) with a history of undo and redo steps. Packets are addressed by their byte offset in the image; offsets change with
// every insertion or removal, so callers find packets again by ID.
//
// Results: 0 (or a positive ID) on success, a negative WORLD_ERR_ code on failure; the error box
// gives its text (WorldMErrorText). A user's file never ends the program: a damaged WLE is
// refused with WORLD_ERR_LOAD and leaves everything as it was.
#pragma once
#include <cstdint>

#include "base/history.h"
#include "base/progress.h"
#include "world/wle.h"

// ---- result codes (the error box's table) ------------------------------------------------------
enum {
    WORLD_OK = 0,
    WORLD_ERR_ILLEGAL_NAME = -1,      // "Illegal name." (also: an insertion found no room)
    WORLD_ERR_INCORRECT_ID = -2,      // "Incorrect ID."
    WORLD_ERR_DUPLICATE_NAME = -3,    // "Duplicate name."
    WORLD_ERR_OUT_OF_SPACE = -4,      // "Out of space."
    WORLD_ERR_SHAPE_MISSING = -5,     // "Shape definition missing."
    WORLD_ERR_LOAD = -6,              // "Failed to load WLE file."
    WORLD_ERR_SAVE = -7,              // "Failed to save WLE file."
    WORLD_ERR_SAVE_SHP = -9,          // "Failed to save SHP file."
    WORLD_ERR_SAVE_WHP = -10,         // "Failed to save WHP file."
    WORLD_ERR_ABORTED = -11,          // "Aborted by user."
    WORLD_ERR_MEMORY = -12,           // "Out of memory."
    WORLD_ERR_NO_SELECTION = -13,     // "No shapes selected."
    WORLD_ERR_BAD_DYNAMIC = -14,      // "Bad Dynamic Shape Position(s)."
    WORLD_ERR_NO_BASE_SHAPE = -15,    // "No Base Shape"
    WORLD_ERR_RUNTIME_SHAPE_MISSING = -16,   // "Shape Missing"
    WORLD_ERR_NODES_REQUIRED = -17,   // "Net Nodes Required."
    WORLD_ERR_NO_NODES_SELECTED = -19,   // "No Net Nodes Selected."
    WORLD_ERR_NET_NAME_IN_USE = -20,  // "Net Name In Use"
    WORLD_ERR_NODE_TOO_SHORT = -21,   // "Net Node Too Short"
    WORLD_ERR_NODE_TOO_LOW = -22,     // "Net Node Too Low"
    WORLD_ERR_TOO_MANY_NET_SHAPES = -23,   // "Too Many Net Shapes"
    WORLD_ERR_PARENT_MISSING = -24,   // "Net Build - Parent Missing"
    WORLD_ERR_SHAPES_MISSING = -25,   // "Shapes Missing"
    WORLD_ERR_WXP_WRITE = -26,        // runtime save: the WXP file cannot be written (no text)
};

enum {
    WORLDM_MIN_CAPACITY = 200000,
    WORLDM_CAPACITY = 524288,      // what the editor start installs
};

// The text the error box shows for a result code ("Unknown Error Code!" for codes without one,
// -8 and -18 among them).
const char* WorldMErrorText(int code);
// Where the error table says what failed, a world operation keeps one line on its last failure
// that says which shape, node or file. Set formats it and logs it.
struct WorldMMessage {
    char text[512];
    void Set(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
};

// ---- life cycle ---------------------------------------------------------------------------------
// Fatal below WORLDM_MIN_CAPACITY, without the shape manager, or with the runtime display
// (terrain) installed; a second install changes nothing.
void WorldMInstall(uint32_t capacity);
void WorldMUninstall(void);
int WorldMIsInstalled(void);
uint32_t WorldMCapacity(void);
// Undo snapshot, then an empty world with the defaults; the terrain is
// removed; the next worldshape ID becomes 1.
void WorldMNew(void);

// ---- the image -----------------------------------------------------------------------------------
uint8_t* WorldMImage(void);       // null when not installed
// A block of the world's capacity where undo steps are unpacked (the runtime save parks the
// edit world there).
uint8_t* WorldMUndoImage(void);
uint32_t WorldMUsed(void);        // the image's used size
// The room the two-thirds rule leaves: capacity x 2 / 3.
uint32_t WorldMLimit(void);

// ---- header ---------------------------------------------------------------------------------------
// Undo snapshot, then the field. The exponent takes its low byte, clamped to 32, and sets the
// edge and the diagonal.
void WorldMSetCellsX(uint32_t n);
void WorldMSetCellsY(uint32_t n);
void WorldMSetCellsZ(uint32_t n);
void WorldMSetCellExponent(uint32_t e);
uint32_t WorldMCellsX(void);
uint32_t WorldMCellsY(void);
uint32_t WorldMCellsZ(void);
uint32_t WorldMCellExponent(void);
uint32_t WorldMCellEdge(void);
// cells-along-Y x cell edge + 195200: the height the 3D view asks for.
int64_t WorldMViewHeight(void);

// ---- the packet walk (any image: the edit image or the undo copy) -----------------------------------
// The size of the packet at p from its type (terrain: its length field); 0 for an unknown type.
uint32_t WorldMPacketSize(const uint8_t* packet);
// The first packet, or null for an empty world.
uint8_t* WorldMFirstPacket(uint8_t* image);
// The packet behind this one, or null at the used size (or on a packet of unknown type).
uint8_t* WorldMNextPacket(uint8_t* image, uint8_t* packet);
// Checks that an image of `size` bytes walks cleanly: used size between 168 and size, every
// packet of a known type and inside the used size. 0, or 1 with the reason in why.
int WorldMCheckImage(const uint8_t* image, uint32_t size, char* why, size_t whySize);

// ---- bytes ------------------------------------------------------------------------------------------
// Opens a zero-filled gap of n bytes at pos; -1 (WORLD_ERR_ILLEGAL_NAME by number; callers report
// -4) and no change when used + n would pass capacity x 2 / 3.
int WorldMInsertBytes(uint32_t pos, uint32_t n);
// Closes the gap of n bytes at pos.
void WorldMRemoveBytes(uint32_t pos, uint32_t n);
// The offset of the first byte behind the used size: where new packets are built.
uint32_t WorldMEndOfData(void);
// Appends a packet of `size` bytes (zeroed, its type written) at the end of data: its offset,
// or -4 when there is no room.
int32_t WorldMAppendPacket(uint16_t type, uint32_t size);

// ---- undo -------------------------------------------------------------------------------------------
// When undo is on: record the image's used bytes as an undo step (the redo steps are dropped)
// and set the changed mark.
void WorldMUndoSnapshot(void);
// When undo is on and there is a step: one step back or forward. The shape handles are
// resolved again (a shape file deleted since gives handle 0) and a terrain that differs is
// installed (or removed) with the image.
void WorldMUndo(void);
void WorldMRedo(void);
// The world's history: step counts, bounds and the state number (null when not installed).
History* WorldMHistory(void);
void WorldMSetUndo(int on);
int WorldMUndoOn(void);
// The world-changed mark: -1 after every undo snapshot; whoever watches it resets it.
int WorldMChanged(void);
void WorldMSetChanged(int mark);

// ---- progress of long operations --------------------------------------------------------------------
// The accumulator is a fraction of 0x40000000; reported as value >> 16 (16384 = done).
void WorldMProgressReset(void);
void WorldMProgressAdd(uint32_t fraction);
uint32_t WorldMProgressValue(void);
// Calls the callback (when given) with the accumulator's value: non-zero when it asks to stop.
int WorldMProgressReport(ProgressFn progress);
// The closing call (16384), when a callback is given.
void WorldMProgressClose(ProgressFn progress);

// ---- files ------------------------------------------------------------------------------------------
// Loads a WLE file (one undo step): 0, or -6 with everything (image, history, terrain, ID
// counter) as it was.
// Converts versions 15 to 19, renumbers the worldshapes, resolves their shapes (a missing or
// damaged shape file gives handle 0), repairs node links, installs the terrain.
int WorldMLoad(const char* fileName);
// Loads a WLE image already in memory (the same as WorldMLoad after the read).
int WorldMLoadImage(const uint8_t* data, size_t size);
// Why the last load was refused ("" after a success).
const char* WorldMLoadError(void);
// Writes the summary report to "temp.txt" (WorldMSummaryFileName), then the WLE (safely: the
// old file stays whole when the write fails) with -7 on failure. With a runtime name: -7 when
// the WLE name ends in 'D' or 'd' (nothing is written), else the runtime save hook's result
// (-7 without a hook): the hook writes the WLE (keeping its old file as its backup) together
// with the runtime files, or nothing at all, and the summary report follows its success only.
// reportName goes to the runtime save (WorldMRuntimeReportName). The callback gets its closing
// call in every case.
int WorldMSave(const char* wleName, const char* runtimeName, const char* reportName, ProgressFn progress);
// 1 when a world save may write the file: there is no file of that name, or an empty one, or
// a world (a WLE or runtime world of a version up to the current one); 0 for a file of any
// other kind, which a save must leave as it is.
int WorldMMaySaveOver(const char* fileName);
// The runtime save, installed by its module (runtime.h): writes the edit world under wleName
// and the runtime world under runtimeName, together or not at all.
typedef int (*WorldMRuntimeSaveFn)(const char* wleName, const char* runtimeName, ProgressFn progress);
void WorldMSetRuntimeSave(WorldMRuntimeSaveFn save);
// The report file name given to the WorldMSave that runs the runtime save (null when none).
const char* WorldMRuntimeReportName(void);
// The WLE name with its last character replaced by 'D' (a static buffer); null for "".
const char* WorldMRuntimeNameFor(const char* wleName);
// Where WorldMSave writes its summary ("temp.txt" by default, in the working folder).
void WorldMSetSummaryFileName(const char* fileName);
const char* WorldMSummaryFileName(void);
// Writes the summary report of the image: 0, or 1 when the file cannot be written.
int WorldMWriteSummary(const char* fileName);
// The summary report of an image, as bytes (for tools and tests).
size_t WorldMSummaryText(uint8_t* image, char* out, size_t outSize);

// ---- names and IDs ----------------------------------------------------------------------------------
// 0 when all four characters are '0'-'9' or 'A'-'Z', else -1.
int WorldMNameIsValid(uint32_t name);
// Text to name: "" gives 0 with result 0; four valid characters (lower case is turned to upper)
// give the name; anything else -1.
int WorldMParseName(const char* text, uint32_t* name);
// The first free name from AAAA (A..Z then 0..9 in each place); 0 when none is left.
uint32_t WorldMNewShapeName(void);
// The name of a worldshape as four characters and a NUL (a static buffer), or null when none.
const char* WorldMShapeName(const uint8_t* worldshape);
// The shape file name of an 8-character field: upper case, up to a '.', NUL or 8 characters,
// followed by ".SHP" (a static buffer); null when there is none.
const char* WorldMShapeFileName(const uint8_t* field);
// Smallest IDs from 1 that no packet of the kind uses (fatal when the image holds no packet).
uint16_t AllocWorldShapeID(void);
uint16_t AllocWorldNetNodeID(void);
// The next worldshape ID to be given (after New: 1).
uint16_t WorldMNextShapeID(void);

// ---- worldshapes -------------------------------------------------------------------------------------
// Appends a worldshape: its ID, or -1 illegal name, -3 duplicate name, -5 no such shape,
// -4 no room.
int WorldMAddShape(const char* fileName, int32_t x, int32_t y, int32_t z, uint32_t name);
// Adds at (X, -lowest Y of the shape, Z), then drops the new shape to the ground.
int WorldMAddShapeOnGround(const char* fileName, int32_t x, int32_t z, uint32_t name);
// The worldshape with that ID (a pointer into the image, valid until the next insertion or
// removal), or null. ID 0 finds nothing.
uint8_t* WorldMShapeFindData(uint16_t id);
// The ID of the worldshape that carries the name, or 0.
int WorldMFindShapeByName(uint32_t name);
// The shape resource of a file name ("TREE.SHP"): the one known under the name, else newly
// registered and loaded; 0 when it cannot be loaded.
uint16_t WorldMShapeHandle(const char* fileName);
// Resolves the shape handle of every worldshape again (as the load does).
void WorldMResolveShapes(void);
int WorldMCountShapes(void);
int WorldMCountSelectedShapes(void);
int WorldMFirstSelectedShape(void);      // shape ID or 0
void WorldMSelectShape(uint16_t id);
void WorldMDeselectShape(uint16_t id);
void WorldMSelectAllShapes(void);
void WorldMDeselectAllShapes(void);
void WorldMHideSelected(void);
void WorldMHideUnselected(void);
void WorldMUnhideAll(void);
void WorldMMoveSelectedX(int32_t d);
void WorldMMoveSelectedY(int32_t d);
void WorldMMoveSelectedZ(int32_t d);
// Named worldshapes only; unnamed ones keep yaw and pitch.
void WorldMTurnSelectedYaw(int16_t d);
void WorldMTurnSelectedPitch(int16_t d);
// Names the first selected worldshape: 0 (name 0 clears the name), -1 when none is selected or
// the name is not valid, -3 when another worldshape carries it.
int WorldMSetSelectedName(uint32_t name);
// The name of the first selected worldshape that has one, or 0.
uint32_t WorldMGetSelectedName(void);
void WorldMDeleteSelected(void);
// The centre of the box of the selected positions: 1 and out written, or 0 when none selected.
int WorldMSelectionCentre(int32_t out[3]);
void WorldMDropSelectedToGround(void);
// Drops the worldshape with that ID (as WorldMDropSelectedToGround does the first selected).
void WorldMDropShapeToGround(uint16_t id);
// Worldshapes that use the shape of the first selected one (0 when none or its handle is 0).
int WorldMShapeCensus(void);

// ---- net nodes (the node operations are in net.h; these are the shared basics) ------------------------
int WorldMCountNodePackets(void);
// The node with that ID, or null.
uint8_t* WorldMNodeFindData(uint16_t id);
// Cuts links to missing nodes and makes one-sided links two-way (the load does it); the
// number of links changed.
int WorldMRepairNodeLinks(uint8_t* image);
// The node display table: the entry for a node ID, grown by ND_GROW_BY entries as
// needed; null when not installed.
uint8_t* WorldMNodeDisplayEntry(uint16_t id);
uint32_t WorldMNodeDisplayCapacity(void);

// ---- display settings for the 3D view ----------------------------------------------------------
// Bit 0: unnamed worldshapes are drawn; bit 1: named ones (3 after install).
void WorldMSetShapeFilter(int filter);
int WorldMShapeFilter(void);

// The box (world coordinates) around the worldshapes' turned shape boxes and the nodes, the
// selected ones only when asked: 1 and lo, hi written, or 0 when there is nothing of the kind.
// A view frames it.
int WorldMContentBox(int selectedOnly, int32_t lo[3], int32_t hi[3]);

// ---- where the worldshapes stand ---------------------------------------------------------------
// The world orientation of a worldshape (pitch about X, then yaw about Y; 1.0 = 16384): it maps
// the shape's points into the world, as Draw3DRelativeOrientation takes it.
void WorldMShapeOrientation(const uint8_t* worldshape, int16_t out[9]);
// 1 when a worldshape is drawn: not hidden, with a shape, passed by the display filter.
int WorldMShapeShown(const uint8_t* worldshape);
// The eight corners of a worldshape's turned and placed shape box, in world coordinates: 1, or
// 0 when its shape is not prepared.
int WorldMShapeCorners(const uint8_t* worldshape, int32_t out[8][3]);
