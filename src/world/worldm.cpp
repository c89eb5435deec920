// The world manager: the image and its undo copy, the packet walk, inserting and removing
// bytes, the header, undo and progress. Loading and saving are in worldm_file.cpp, worldshape
// and name operations in worldm_shapes.cpp, node basics in worldm_nodes.cpp.
#include "world/worldm.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/log.h"
#include "base/res.h"
#include "materials/matm.h"
#include "shapes/shapem_edit.h"
#include "world/terrain.h"
#include "world/worldm_internal.h"

WorldMState worldm;

// ============================================================================================
// Life cycle
// ============================================================================================

void WorldMInstall(uint32_t capacity)
{
    if (capacity < WORLDM_MIN_CAPACITY) FatalError("No Way! WorldMInstall needs 200000 bytes minimum");
    // A second install runs the checks and resets the settings; the blocks stay.
    if (!worldm.installed) worldm.capacity = capacity;
    worldm.progress = 0;
    worldm.filter = 3;
    if (!ShapeMIsInstalled()) FatalError("WorldMInstall - ShapeM MUST be Installed at this point");
    if (TerrainDisplayInstalled())
        FatalError("WorldMInstall - WorldInstallControl or WorldInstallDraD shuld not have been called at this point");
    if (worldm.installed) return;
    worldm.imageId = ResCreate(capacity);
    if (!worldm.imageId) FatalError("WorldMInstall - out of memory");
    worldm.image = (uint8_t*)ResOpen(worldm.imageId);
    worldm.undoId = ResCreate(capacity);
    if (!worldm.undoId) FatalError("WorldMInstall - out of memory");
    worldm.undo = (uint8_t*)ResOpen(worldm.undoId);
    if (!worldm.image || !worldm.undo) FatalError("WorldMInstall - out of memory");
    memset(worldm.image, 0, capacity);
    worldm.undoOn = 0;
    worldm.history = HistoryCreate();
    WorldMNew();
    memcpy(worldm.undo, worldm.image, capacity);
    worldm.nodeDisplay = (uint8_t*)ResAllocMem((size_t)ND_INITIAL_ENTRIES * ND_ENTRY_SIZE);
    if (!worldm.nodeDisplay) FatalError("NodeDisplay - out of memory");
    memset(worldm.nodeDisplay, 0, (size_t)ND_INITIAL_ENTRIES * ND_ENTRY_SIZE);
    worldm.nodeDisplayEntries = ND_INITIAL_ENTRIES;
    worldm.installed = 1;
    worldm.undoOn = 1;
    worldm.changed = 0;
    RegisterExit(WorldMUninstall);
}

void WorldMUninstall(void)
{
    if (!worldm.installed) return;
    if (worldm.nodeDisplay) ResFreeMem(worldm.nodeDisplay);
    if (ResIsInstalled()) {
        ResClose(worldm.imageId);
        ResFree(worldm.imageId);
        ResClose(worldm.undoId);
        ResFree(worldm.undoId);
    }
    WorldMRuntimeSaveFn keep = worldm.runtimeSave;
    HistoryDestroy(worldm.history);
    worldm = WorldMState{};
    worldm.runtimeSave = keep;   // installed once by its module, for every later install
}

int WorldMIsInstalled(void) { return worldm.installed; }
uint32_t WorldMCapacity(void) { return worldm.installed ? worldm.capacity : 0; }
uint8_t* WorldMImage(void) { return worldm.installed ? worldm.image : nullptr; }
uint8_t* WorldMUndoImage(void) { return worldm.installed ? worldm.undo : nullptr; }
uint32_t WorldMUsed(void) { return worldm.installed ? GetU32(worldm.image, WLE_USED) : 0; }
uint32_t WorldMLimit(void) { return (uint32_t)((uint64_t)worldm.capacity * 2 / 3); }

void WorldMNew(void)
{
    if (!worldm.image) return;
    WorldMUndoSnapshot();
    memset(worldm.image, 0, WLE_HEADER_SIZE);
    PutU32(worldm.image, WLE_USED, WLE_HEADER_SIZE);
    PutU32(worldm.image, WLE_VERSION, WLE_VERSION_CURRENT);
    PutU32(worldm.image, WLE_CELLS_X, WLE_NEW_CELLS_X);
    PutU32(worldm.image, WLE_CELLS_Y, WLE_NEW_CELLS_Y);
    PutU32(worldm.image, WLE_CELLS_Z, WLE_NEW_CELLS_Z);
    PutU32(worldm.image, WLE_FIELD36, 0);
    WorldMSetExponentOf(worldm.image, WLE_NEW_EXPONENT);
    worldm.nextId = 1;
    worldm.idWrapped = 0;
    TerrainRemove();
}

// ============================================================================================
// Header
// ============================================================================================

void WorldMSetExponentOf(uint8_t* image, uint32_t e)
{
    e &= 0xFF;
    if (e > WLE_MAX_EXPONENT) e = WLE_MAX_EXPONENT;
    uint32_t edge = (uint32_t)((uint64_t)WLE_CELL_UNIT << e);
    double diagonal = std::sqrt(3.0 * (double)edge * (double)edge);
    PutU32(image, WLE_CELL_EXPONENT, e);
    PutU32(image, WLE_CELL_EDGE, edge);
    PutU32(image, WLE_CELL_DIAGONAL, diagonal >= 4294967295.0 ? 0xFFFFFFFFu : (uint32_t)diagonal);
}

static void SetHeader(int field, uint32_t value)
{
    if (!worldm.installed) return;
    WorldMUndoSnapshot();
    PutU32(worldm.image, field, value);
}

void WorldMSetCellsX(uint32_t n) { SetHeader(WLE_CELLS_X, n); }
void WorldMSetCellsY(uint32_t n) { SetHeader(WLE_CELLS_Y, n); }
void WorldMSetCellsZ(uint32_t n) { SetHeader(WLE_CELLS_Z, n); }
void WorldMSetCellExponent(uint32_t e)
{
    if (!worldm.installed) return;
    WorldMUndoSnapshot();
    uint32_t was = GetU32(worldm.image, WLE_CELL_EXPONENT);
    WorldMSetExponentOf(worldm.image, e);
    // A tile is one cell wide: the installed terrain is laid out again at the new edge, as a
    // load or an undo would lay it out, so that the ground query and the view follow at once.
    if (GetU32(worldm.image, WLE_CELL_EXPONENT) != was) {
        uint32_t used = GetU32(worldm.image, WLE_USED);
        TerrainInstall(worldm.image, used < worldm.capacity ? used : worldm.capacity, 0);
    }
}
uint32_t WorldMCellsX(void) { return worldm.installed ? GetU32(worldm.image, WLE_CELLS_X) : 0; }
uint32_t WorldMCellsY(void) { return worldm.installed ? GetU32(worldm.image, WLE_CELLS_Y) : 0; }
uint32_t WorldMCellsZ(void) { return worldm.installed ? GetU32(worldm.image, WLE_CELLS_Z) : 0; }
uint32_t WorldMCellExponent(void) { return worldm.installed ? GetU32(worldm.image, WLE_CELL_EXPONENT) : 0; }
uint32_t WorldMCellEdge(void) { return worldm.installed ? GetU32(worldm.image, WLE_CELL_EDGE) : 0; }
int64_t WorldMViewHeight(void)
{
    return (int64_t)WorldMCellsY() * (int64_t)WorldMCellEdge() + WLE_VIEW_HEIGHT_EXTRA;
}

// ============================================================================================
// The packet walk
// ============================================================================================

uint32_t WorldMPacketSize(const uint8_t* packet)
{
    switch (GetU16(packet, WP_TYPE)) {
    case WP_RESERVED_1002: return WP_RESERVED_1002_SIZE;
    case WP_CELL: return WP_CELL_SIZE;
    case WP_CORNER: return WP_CORNER_SIZE;
    case WP_RESERVED_1005: return WP_RESERVED_1005_SIZE;
    case WP_SHORT_SHAPE: return WP_SHORT_SHAPE_SIZE;
    case WP_NODE: return WP_NODE_SIZE;
    case WP_SHAPE: return WP_SHAPE_SIZE;
    case WP_TERRAIN: return GetU32(packet, WP_TERRAIN_LENGTH);
    default: return 0;
    }
}

uint8_t* WorldMFirstPacket(uint8_t* image)
{
    if (!image || GetU32(image, WLE_USED) <= WLE_HEADER_SIZE) return nullptr;
    return image + WLE_HEADER_SIZE;
}

uint8_t* WorldMNextPacket(uint8_t* image, uint8_t* packet)
{
    if (!image || !packet) return nullptr;
    uint32_t size = WorldMPacketSize(packet);
    if (size == 0) return nullptr;
    uint64_t next = (uint64_t)(packet - image) + size;
    if (next >= GetU32(image, WLE_USED)) return nullptr;
    return image + next;
}

int WorldMCheckImage(const uint8_t* image, uint32_t size, char* why, size_t whySize)
{
    char dummy[8];
    if (!why) {
        why = dummy;
        whySize = sizeof dummy;
    }
    why[0] = 0;
    if (size < WLE_HEADER_SIZE) {
        snprintf(why, whySize, "%u bytes, shorter than the %d-byte header", size, WLE_HEADER_SIZE);
        return 1;
    }
    uint32_t used = GetU32(image, WLE_USED);
    if (used < WLE_HEADER_SIZE || used > size) {
        snprintf(why, whySize, "used size %u outside %d..%u", used, WLE_HEADER_SIZE, size);
        return 1;
    }
    uint32_t at = WLE_HEADER_SIZE;
    while (at < used) {
        if (used - at < 2) {
            snprintf(why, whySize, "packet at offset %u: its type passes the used size %u", at, used);
            return 1;
        }
        uint16_t type = GetU16(image, at);
        if (type == WP_TERRAIN && used - at < WP_TERRAIN_MIN_SIZE) {
            snprintf(why, whySize, "terrain packet at offset %u: its length passes the used size %u", at, used);
            return 1;
        }
        uint32_t n = WorldMPacketSize(image + at);
        if (n == 0) {
            snprintf(why, whySize, "packet of unknown type 0x%04X at offset %u", type, at);
            return 1;
        }
        if (type == WP_TERRAIN && n < WP_TERRAIN_MIN_SIZE) {
            snprintf(why, whySize, "terrain packet at offset %u: length %u below %d", at, n, WP_TERRAIN_MIN_SIZE);
            return 1;
        }
        if (n > used - at) {
            snprintf(why, whySize, "packet of type 0x%04X at offset %u: its %u bytes pass the used size %u", type,
                     at, n, used);
            return 1;
        }
        at += n;
    }
    return 0;
}

// ============================================================================================
// Bytes
// ============================================================================================

int WorldMInsertBytes(uint32_t pos, uint32_t n)
{
    if (!worldm.installed) return -1;
    uint32_t used = GetU32(worldm.image, WLE_USED);
    if (pos > used) FatalError("WorldMInsertBytes - position %u is past the used size %u", pos, used);
    if ((uint64_t)used + n > WorldMLimit()) return -1;
    memmove(worldm.image + pos + n, worldm.image + pos, used - pos);
    memset(worldm.image + pos, 0, n);
    PutU32(worldm.image, WLE_USED, used + n);
    return 0;
}

void WorldMRemoveBytes(uint32_t pos, uint32_t n)
{
    if (!worldm.installed) return;
    uint32_t used = GetU32(worldm.image, WLE_USED);
    if (pos < WLE_HEADER_SIZE || pos > used || n > used - pos)
        FatalError("WorldMRemoveBytes - %u bytes at %u do not lie in the used size %u", n, pos, used);
    memmove(worldm.image + pos, worldm.image + pos + n, used - pos - n);
    PutU32(worldm.image, WLE_USED, used - n);
}

uint32_t WorldMEndOfData(void) { return WorldMUsed(); }

int32_t WorldMAppendPacket(uint16_t type, uint32_t size)
{
    uint32_t at = WorldMEndOfData();
    if (WorldMInsertBytes(at, size)) return WORLD_ERR_OUT_OF_SPACE;
    PutU16(worldm.image, at + WP_TYPE, type);
    return (int32_t)at;
}

// ============================================================================================
// Undo
// ============================================================================================

void WorldMUndoSnapshot(void)
{
    if (!worldm.installed || !worldm.undoOn) return;
    uint32_t used = GetU32(worldm.image, WLE_USED);
    HistoryRecord(worldm.history, worldm.image, used < worldm.capacity ? used : worldm.capacity);
    worldm.changed = -1;
}

static void TakeStep(size_t (*step)(History*, const uint8_t*, size_t, uint8_t*, size_t))
{
    if (!worldm.installed || !worldm.undoOn) return;
    uint32_t was = GetU32(worldm.image, WLE_USED);
    if (was > worldm.capacity) was = worldm.capacity;
    if (!step(worldm.history, worldm.image, was, worldm.undo, worldm.capacity)) return;
    uint32_t used = GetU32(worldm.undo, WLE_USED);
    if (used > worldm.capacity) used = worldm.capacity;
    // The terrain answers the ground query and gives the terrain materials: when the step holds
    // another terrain (an undone New or Load) it is installed with the image.
    int sameTerrain = TerrainSame(worldm.image, was, worldm.undo, used);
    memcpy(worldm.image, worldm.undo, used);
    if (used < was) memset(worldm.image + used, 0, was - used);
    // The handles in the step name resources as they were then: a net shape whose file has
    // been deleted since must come back with handle 0, not a resource that no longer loads.
    WorldMResolveShapes();
    if (!sameTerrain) {
        TerrainMakeMaterials(worldm.image, used);
        TerrainInstall(worldm.image, used, 0);
        MatMSetTexturesDirty();
    }
    worldm.changed = -1;
}

void WorldMUndo(void) { TakeStep(HistoryUndo); }
void WorldMRedo(void) { TakeStep(HistoryRedo); }
History* WorldMHistory(void) { return worldm.installed ? worldm.history : nullptr; }

void WorldMSetUndo(int on) { worldm.undoOn = on ? 1 : 0; }
int WorldMUndoOn(void) { return worldm.undoOn; }
int WorldMChanged(void) { return worldm.changed; }
void WorldMSetChanged(int mark) { worldm.changed = mark; }

// ============================================================================================
// Progress
// ============================================================================================

void WorldMProgressReset(void) { worldm.progress = 0; }
void WorldMProgressAdd(uint32_t fraction)
{
    uint64_t p = (uint64_t)worldm.progress + fraction;
    worldm.progress = p > 0x40000000u ? 0x40000000u : (uint32_t)p;
}
uint32_t WorldMProgressValue(void) { return worldm.progress >> 16; }
int WorldMProgressReport(ProgressFn progress)
{
    if (!progress) return 0;
    return progress(WorldMProgressValue()) > 0;
}
void WorldMProgressClose(ProgressFn progress)
{
    if (progress) progress(PROGRESS_DONE);
}

// ============================================================================================
// Display settings
// ============================================================================================

void WorldMSetShapeFilter(int filter) { worldm.filter = filter; }
int WorldMShapeFilter(void) { return worldm.filter; }
