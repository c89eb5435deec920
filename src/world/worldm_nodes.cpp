// Net nodes: the basics the world manager shares with the node operations of net.cpp (finding,
// counting, the node display table) and the repair of node links on load.
#include <cstring>
#include <vector>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/log.h"
#include "base/res.h"
#include "world/worldm.h"
#include "world/worldm_internal.h"

int WorldMCountNodePackets(void)
{
    if (!worldm.installed) return 0;
    int n = 0;
    WORLD_FOR_EACH_NODE(worldm.image, p) n++;
    return n;
}

uint8_t* WorldMNodeFindData(uint16_t id)
{
    if (!worldm.installed || !id) return nullptr;
    WORLD_FOR_EACH_NODE(worldm.image, p)
    if (GetU16(p, WN_ID) == id) return p;
    return nullptr;
}

int WorldMRepairNodeLinks(uint8_t* image)
{
    if (!image) return 0;
    // Every node by its ID; a node whose ID is 0 or repeats an earlier one's gets a free ID and
    // loses its links (the links that name the ID belong to the first).
    // One table, kept (loads run on the main thread): a fresh 256 KB each load cost more than
    // the repair.
    static uint32_t at[65536];
    memset(at, 0, sizeof at);
    std::vector<uint8_t*> renumber;
    int changed = 0;
    WORLD_FOR_EACH_NODE(image, p)
    {
        uint16_t id = GetU16(p, WN_ID);
        if (id && !at[id])
            at[id] = (uint32_t)(p - image);
        else
            renumber.push_back(p);
    }
    uint32_t candidate = 1;
    for (uint8_t* p : renumber) {
        while (candidate < 65536 && at[candidate]) candidate++;
        if (candidate >= 65536) break;   // cannot happen: 65535 nodes do not fit an image
        LogPrintf(LOG_WARN, "WORLD: node ID %u repeated or 0; renumbered %u", GetU16(p, WN_ID), candidate);
        PutU16(p, WN_ID, (uint16_t)candidate);
        PutU16(p, WN_PREV, 0);
        PutU16(p, WN_NEXT, 0);
        at[candidate] = (uint32_t)(p - image);
        changed++;
    }
    auto node = [&](uint16_t id) -> uint8_t* { return id && at[id] ? image + at[id] : nullptr; };
    // Links to missing nodes, and links of a node to itself, are cut.
    WORLD_FOR_EACH_NODE(image, p)
    {
        uint16_t id = GetU16(p, WN_ID);
        for (int field : {WN_PREV, WN_NEXT}) {
            uint16_t other = GetU16(p, field);
            if (other && (other == id || !node(other))) {
                PutU16(p, field, 0);
                changed++;
            }
        }
    }
    // One-sided links: A's previous is B but B's next is not A. When B has no next, it gets A;
    // when it names another node, A's link is cut. The same for next links.
    WORLD_FOR_EACH_NODE(image, p)
    {
        uint16_t id = GetU16(p, WN_ID);
        uint8_t* b = node(GetU16(p, WN_PREV));
        if (!b || GetU16(b, WN_NEXT) == id) continue;
        if (GetU16(b, WN_NEXT) == 0)
            PutU16(b, WN_NEXT, id);
        else
            PutU16(p, WN_PREV, 0);
        changed++;
    }
    WORLD_FOR_EACH_NODE(image, p)
    {
        uint16_t id = GetU16(p, WN_ID);
        uint8_t* x = node(GetU16(p, WN_NEXT));
        if (!x || GetU16(x, WN_PREV) == id) continue;
        if (GetU16(x, WN_PREV) == 0)
            PutU16(x, WN_PREV, id);
        else
            PutU16(p, WN_NEXT, 0);
        changed++;
    }
    if (changed) LogPrintf(LOG_WARN, "WORLD: %d node links repaired", changed);
    return changed;
}

uint8_t* WorldMNodeDisplayEntry(uint16_t id)
{
    if (!worldm.installed || !worldm.nodeDisplay) return nullptr;
    if (id >= worldm.nodeDisplayEntries) {
        uint32_t entries = worldm.nodeDisplayEntries;
        while (id >= entries) entries += ND_GROW_BY;
        uint8_t* grown = (uint8_t*)ResReallocMem(worldm.nodeDisplay, (size_t)entries * ND_ENTRY_SIZE);
        if (!grown) FatalError("NodeDisplay - out of memory");
        memset(grown + (size_t)worldm.nodeDisplayEntries * ND_ENTRY_SIZE, 0,
               (size_t)(entries - worldm.nodeDisplayEntries) * ND_ENTRY_SIZE);
        worldm.nodeDisplay = grown;
        worldm.nodeDisplayEntries = entries;
    }
    return worldm.nodeDisplay + (size_t)id * ND_ENTRY_SIZE;
}

uint32_t WorldMNodeDisplayCapacity(void) { return worldm.installed ? worldm.nodeDisplayEntries : 0; }
