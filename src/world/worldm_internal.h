// The world manager's own state and helpers, shared by its source files only.
#pragma once
#include <cstdint>

#include "base/history.h"
#include "base/res.h"
#include "world/worldm.h"

struct WorldMState {
    int installed;
    uint32_t capacity;
    ResId imageId, undoId;
    uint8_t* image;
    uint8_t* undo;         // where a step of the history is unpacked; the runtime save parks the world here
    History* history;
    uint16_t nextId;       // the next worldshape ID
    int idWrapped;         // the counter has passed 65535: IDs in use are skipped
    int undoOn;
    int changed;
    uint32_t progress;     // fraction of 0x40000000
    uint8_t* nodeDisplay;
    uint32_t nodeDisplayEntries;
    int filter;
    WorldMRuntimeSaveFn runtimeSave;
    const char* reportName;
};

extern WorldMState worldm;

// The exponent with its edge and diagonal, in any image.
void WorldMSetExponentOf(uint8_t* image, uint32_t e);
// The next worldshape ID from the counter, skipping IDs in use once it has wrapped. inUse, when
// given, is a 65536-bit map of the IDs to skip (the load's own); otherwise the image is scanned
// (only after a wrap). 0 when every ID is taken.
uint16_t WorldMTakeShapeID(const uint64_t* inUse);
// Walks over the worldshapes (type 0x1008) of an image.
#define WORLD_FOR_EACH_SHAPE(image, p)                                                        \
    for (uint8_t* p = WorldMFirstPacket(image); p; p = WorldMNextPacket(image, p))        \
        if (GetU16(p, WP_TYPE) == WP_SHAPE)
#define WORLD_FOR_EACH_NODE(image, p)                                                         \
    for (uint8_t* p = WorldMFirstPacket(image); p; p = WorldMNextPacket(image, p))        \
        if (GetU16(p, WP_TYPE) == WP_NODE)
