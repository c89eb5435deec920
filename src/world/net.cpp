// Net nodes: adding, selecting, moving, linking, naming and hiding the nodes of the world
// image, and the node display. The builders are in net_build.cpp.
#include "world/net.h"

#include <cstring>
#include <vector>

#include "base/bytes.h"
#include "world/terrain.h"
#include "world/wle.h"
#include "world/worldm.h"

// ============================================================================================
// Finding nodes
// ============================================================================================

uint8_t* NetFirstNode(void)
{
    uint8_t* image = WorldMImage();
    if (!image) return nullptr;
    for (uint8_t* p = WorldMFirstPacket(image); p; p = WorldMNextPacket(image, p))
        if (GetU16(p, WP_TYPE) == WP_NODE) return p;
    return nullptr;
}

uint8_t* NetNextNode(uint8_t* node)
{
    uint8_t* image = WorldMImage();
    for (uint8_t* p = WorldMNextPacket(image, node); p; p = WorldMNextPacket(image, p))
        if (GetU16(p, WP_TYPE) == WP_NODE) return p;
    return nullptr;
}

uint8_t* NetNode(uint16_t id) { return id ? WorldMNodeFindData(id) : nullptr; }

void NetNodePos(const uint8_t* node, int32_t out[3])
{
    out[0] = GetI32(node, WN_X);
    out[1] = GetI32(node, WN_Y);
    out[2] = GetI32(node, WN_Z);
}

static bool Selected(const uint8_t* node) { return GetU16(node, WN_SELECTED) != 0; }

int NetVisit(NetSeen* seen, uint16_t id)
{
    uint8_t m = (uint8_t)(1u << (id & 7));
    if (seen->bits[id >> 3] & m) return 0;
    seen->bits[id >> 3] |= m;
    return 1;
}

// ============================================================================================
// Adding, selecting, moving
// ============================================================================================

// Appends the packet without an undo snapshot (compound operations take theirs first).
static int AddNode(int32_t x, int32_t y, int32_t z)
{
    int32_t at = WorldMAppendPacket(WP_NODE, WP_NODE_SIZE);
    if (at < 0) return WORLD_ERR_OUT_OF_SPACE;
    uint8_t* p = WorldMImage() + at;
    PutU16(p, WN_SELECTED, WN_SELECTED_VALUE);
    PutI32(p, WN_X, x);
    PutI32(p, WN_Y, y);
    PutI32(p, WN_Z, z);
    // The packet is in place (with ID 0) before the search, which never gives 0.
    uint16_t id = AllocWorldNetNodeID();
    PutU16(p, WN_ID, id);
    return id;
}

int WorldMAddNetNode(int32_t x, int32_t y, int32_t z)
{
    WorldMUndoSnapshot();
    return AddNode(x, y, z);
}

int32_t NetNodeHeightOver(int32_t x, int32_t z, int32_t clearance)
{
    int32_t ground = 0;
    if (!TerrainGroundHeight(x, z, &ground)) ground = 0;
    int64_t y = (int64_t)ground + clearance;
    return y > INT32_MAX ? INT32_MAX : y < INT32_MIN ? INT32_MIN : (int32_t)y;
}

void WorldMSelectNode(uint16_t id)
{
    WorldMUndoSnapshot();
    uint8_t* node = NetNode(id);
    if (!node) return;
    if (WorldMCountSelectedNodes() == 0) {
        uint8_t* first = NetFirstNode();
        if (first != node) {
            uint8_t tmp[WP_NODE_SIZE];
            memcpy(tmp, first, WP_NODE_SIZE);
            memcpy(first, node, WP_NODE_SIZE);
            memcpy(node, tmp, WP_NODE_SIZE);
            node = first;
        }
    }
    PutU16(node, WN_SELECTED, WN_SELECTED_VALUE);
}

void WorldMDeselectNode(uint16_t id)
{
    WorldMUndoSnapshot();
    if (uint8_t* node = NetNode(id)) PutU16(node, WN_SELECTED, 0);
}

static void SelectAll(uint16_t value)
{
    WorldMUndoSnapshot();
    for (uint8_t* n = NetFirstNode(); n; n = NetNextNode(n)) PutU16(n, WN_SELECTED, value);
}

void WorldMSelectAllNodes(void) { SelectAll(WN_SELECTED_VALUE); }
void WorldMDeselectAllNodes(void) { SelectAll(0); }

int WorldMCountSelectedNodes(void)
{
    int count = 0;
    for (uint8_t* n = NetFirstNode(); n; n = NetNextNode(n)) count += Selected(n);
    return count;
}

int WorldMCountNodes(void)
{
    int count = 0;
    for (uint8_t* n = NetFirstNode(); n; n = NetNextNode(n)) count++;
    return count;
}

uint8_t* WorldMFirstSelectedNode(void)
{
    for (uint8_t* n = NetFirstNode(); n; n = NetNextNode(n))
        if (Selected(n)) return n;
    return nullptr;
}

// The first and second selected nodes when exactly two are selected.
static bool SelectedPair(uint8_t** a, uint8_t** b)
{
    if (WorldMCountSelectedNodes() != 2) return false;
    *a = WorldMFirstSelectedNode();
    *b = NetNextNode(*a);
    while (!Selected(*b)) *b = NetNextNode(*b);
    return true;
}

static void MoveSelected(int field, int32_t d)
{
    WorldMUndoSnapshot();
    for (uint8_t* n = NetFirstNode(); n; n = NetNextNode(n))
        if (Selected(n)) PutI32(n, field, (int32_t)((uint32_t)GetI32(n, field) + (uint32_t)d));
}

void WorldMMoveSelectedNodesX(int32_t d) { MoveSelected(WN_X, d); }
void WorldMMoveSelectedNodesY(int32_t d) { MoveSelected(WN_Y, d); }
void WorldMMoveSelectedNodesZ(int32_t d) { MoveSelected(WN_Z, d); }

// ============================================================================================
// Links
// ============================================================================================

// Splices the node out of its chain. Only links that name this node are rewritten, so a
// damaged chain does not spread.
static void Unlink(uint8_t* node)
{
    uint16_t id = GetU16(node, WN_ID);
    uint16_t prev = GetU16(node, WN_PREV), next = GetU16(node, WN_NEXT);
    uint8_t* p = NetNode(prev);
    uint8_t* x = NetNode(next);
    if (p == node) p = nullptr;
    if (x == node) x = nullptr;
    if (p && GetU16(p, WN_NEXT) == id) PutU16(p, WN_NEXT, x ? next : 0);
    if (x && GetU16(x, WN_PREV) == id) PutU16(x, WN_PREV, p ? prev : 0);
    PutU16(node, WN_PREV, 0);
    PutU16(node, WN_NEXT, 0);
}

void WorldMUnlinkNode(void)
{
    WorldMUndoSnapshot();
    if (uint8_t* n = WorldMFirstSelectedNode()) Unlink(n);
}

void WorldMDeleteSelectedNodes(void)
{
    WorldMUndoSnapshot();
    while (uint8_t* n = WorldMFirstSelectedNode()) {
        Unlink(n);
        WorldMRemoveBytes((uint32_t)(n - WorldMImage()), WP_NODE_SIZE);
    }
}

// Makes `behind` the previous node of `front`.
static void Join(uint8_t* front, uint8_t* behind)
{
    PutU16(front, WN_PREV, GetU16(behind, WN_ID));
    PutU16(behind, WN_NEXT, GetU16(front, WN_ID));
}

// Refusals come before the undo snapshot: a refused edit must not cost the user the undo of
// the edit before it.
int WorldMLinkNodes(void)
{
    uint8_t *a, *b;
    if (!SelectedPair(&a, &b)) return 0;
    bool aPrev = GetU16(a, WN_PREV) != 0, aNext = GetU16(a, WN_NEXT) != 0;
    bool bPrev = GetU16(b, WN_PREV) != 0, bNext = GetU16(b, WN_NEXT) != 0;
    uint8_t *from, *to;
    if (!aPrev && !aNext && !bPrev && !bNext) {
        from = a;
        to = b;
    } else if (!aPrev && aNext) {
        // A chain's start goes behind the other node only when that node's next is free:
        // taking it over would leave the old neighbour pointing at a node that no longer
        // points back.
        if (bNext) return 0;
        from = a;
        to = b;
    } else if (!bPrev && bNext) {
        if (aNext) return 0;
        from = b;
        to = a;
    } else {
        return 0;
    }
    WorldMUndoSnapshot();
    Join(from, to);
    PutU16(from, WN_SELECTED, 0);
    return 1;
}

int WorldMInsertNode(void)
{
    uint8_t *a, *b;
    if (!SelectedPair(&a, &b)) return 0;
    uint16_t aId = GetU16(a, WN_ID), bId = GetU16(b, WN_ID);
    int32_t pa[3], pb[3], mid[3];
    NetNodePos(a, pa);
    NetNodePos(b, pb);
    // Summed in 64 bits: far-apart nodes still get the point between them.
    for (int i = 0; i < 3; i++) mid[i] = (int32_t)(((int64_t)pa[i] + pb[i]) >> 1);
    if ((uint64_t)WorldMEndOfData() + WP_NODE_SIZE > WorldMLimit()) return WORLD_ERR_OUT_OF_SPACE;
    WorldMUndoSnapshot();
    int id = AddNode(mid[0], mid[1], mid[2]);
    if (id < 0) return id;
    a = NetNode(aId);
    b = NetNode(bId);
    uint8_t* n = NetNode((uint16_t)id);
    if (GetU16(a, WN_PREV) == bId && GetU16(b, WN_NEXT) == aId) {
        Join(a, n);
        Join(n, b);
    } else if (GetU16(a, WN_NEXT) == bId && GetU16(b, WN_PREV) == aId) {
        Join(b, n);
        Join(n, a);
    }
    return id;
}

// ============================================================================================
// Names, hiding, queries
// ============================================================================================

int WorldMSetNetName(uint32_t name)
{
    if (name && WorldMNameIsValid(name)) return WORLD_ERR_ILLEGAL_NAME;
    uint8_t* sel = WorldMFirstSelectedNode();
    if (!sel) return WORLD_ERR_NO_NODES_SELECTED;
    for (uint8_t* n = NetFirstNode(); name && n; n = NetNextNode(n))
        if (GetU32(n, WN_NAME) == name) return WORLD_ERR_NET_NAME_IN_USE;
    WorldMUndoSnapshot();
    PutU32(sel, WN_NAME, name);
    return 0;
}

int64_t WorldMGetNetName(void)
{
    uint8_t* sel = WorldMFirstSelectedNode();
    return sel ? (int64_t)GetU32(sel, WN_NAME) : (int64_t)WORLD_ERR_NO_NODES_SELECTED;
}

void WorldMHideNet(void)
{
    WorldMUndoSnapshot();
    uint8_t* start = WorldMFirstSelectedNode();
    if (!start) return;
    static NetSeen seen;
    memset(&seen, 0, sizeof seen);
    NetVisit(&seen, GetU16(start, WN_ID));
    PutU16(start, WN_HIDDEN, 1);
    PutU16(start, WN_SELECTED, 0);
    const int links[2] = {WN_PREV, WN_NEXT};
    for (int link : links)
        for (uint8_t* n = NetNode(GetU16(start, link)); n && NetVisit(&seen, GetU16(n, WN_ID)); n = NetNode(GetU16(n, link))) {
            PutU16(n, WN_HIDDEN, 1);
            PutU16(n, WN_SELECTED, 0);
        }
}

void WorldMUnhideNodes(void)
{
    WorldMUndoSnapshot();
    for (uint8_t* n = NetFirstNode(); n; n = NetNextNode(n)) PutU16(n, WN_HIDDEN, 0);
}

int32_t WorldMSelectedNodeX(void)
{
    uint8_t* n = WorldMFirstSelectedNode();
    return n ? GetI32(n, WN_X) : 0;
}

int32_t WorldMSelectedNodeY(void)
{
    uint8_t* n = WorldMFirstSelectedNode();
    return n ? GetI32(n, WN_Y) : 0;
}

int32_t WorldMSelectedNodeZ(void)
{
    uint8_t* n = WorldMFirstSelectedNode();
    return n ? GetI32(n, WN_Z) : 0;
}

// ============================================================================================
// Node display
// ============================================================================================

static std::vector<NetDrawItem> drawItems;
static std::vector<uint32_t> shownInFrame;   // per node ID: the frame it was projected in
static uint32_t frame;

static void Item(int kind, int colour, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t node, uint32_t name)
{
    drawItems.push_back(NetDrawItem{kind, colour, x0, y0, x1, y1, node, name});
}

static bool Shown(uint16_t id, uint8_t** entry)
{
    if (!id || shownInFrame[id] != frame) return false;
    *entry = WorldMNodeDisplayEntry(id);
    return *entry && GetU32(*entry, ND_VISIBLE);
}

int WorldMNodeDisplay(int nodeColour, int highlightColour, NetView* view)
{
    drawItems.clear();
    // The projection comes from the view: the world knows no renderer.
    if (!WorldMImage() || !view || !view->project) return 0;
    NetProjectFn project = view->project;
    if (shownInFrame.empty()) shownInFrame.assign(65536, 0);
    // Frame 0 is what every entry starts with; it never counts as projected.
    if (++frame == 0) {
        shownInFrame.assign(65536, 0);
        frame = 1;
    }

    for (uint8_t* n = NetFirstNode(); n; n = NetNextNode(n)) {
        uint16_t id = GetU16(n, WN_ID);
        uint8_t* e = id ? WorldMNodeDisplayEntry(id) : nullptr;
        if (!e) continue;
        int32_t world[3], v[3] = {0, 0, 0}, sx = 0, sy = 0;
        NetNodePos(n, world);
        int visible = GetU16(n, WN_HIDDEN) == 0 && project(world, v, &sx, &sy);
        PutU32(e, ND_VISIBLE, (uint32_t)visible);
        PutI32(e, ND_SCREEN_X, sx);
        PutI32(e, ND_SCREEN_Y, sy);
        PutI32(e, ND_VIEW_X, v[0]);
        PutI32(e, ND_VIEW_Y, v[1]);
        PutI32(e, ND_VIEW_Z, v[2]);
        shownInFrame[id] = frame;
    }

    int phase = (int)((view->ms / NET_PHASE_MS) % NET_PHASES);
    int32_t x0 = view->rect[0] < view->rect[2] ? view->rect[0] : view->rect[2];
    int32_t x1 = view->rect[0] < view->rect[2] ? view->rect[2] : view->rect[0];
    int32_t y0 = view->rect[1] < view->rect[3] ? view->rect[1] : view->rect[3];
    int32_t y1 = view->rect[1] < view->rect[3] ? view->rect[3] : view->rect[1];
    uint16_t picked = 0;
    int32_t pickedDepth = 0, pickedX = 0, pickedY = 0;

    for (uint8_t* n = NetFirstNode(); n; n = NetNextNode(n)) {
        uint16_t id = GetU16(n, WN_ID);
        uint8_t* e;
        if (!Shown(id, &e)) continue;
        int32_t sx = GetI32(e, ND_SCREEN_X), sy = GetI32(e, ND_SCREEN_Y);
        // The piece of the link towards the previous node, a quarter long, stepping away from
        // the node: the direction of the chain. Both ends must be on screen.
        uint8_t* pe;
        if (Shown(GetU16(n, WN_PREV), &pe)) {
            int64_t dx = (int64_t)GetI32(pe, ND_SCREEN_X) - sx, dy = (int64_t)GetI32(pe, ND_SCREEN_Y) - sy;
            Item(NET_DRAW_LINE, nodeColour, (int32_t)(sx + dx * phase / NET_PHASES), (int32_t)(sy + dy * phase / NET_PHASES),
                 (int32_t)(sx + dx * (phase + 1) / NET_PHASES), (int32_t)(sy + dy * (phase + 1) / NET_PHASES), id, 0);
        }
        if (uint32_t name = GetU32(n, WN_NAME)) Item(NET_DRAW_NAME, nodeColour, sx, sy, sx, sy, id, name);
        int colour = Selected(n) && phase >= NET_PHASES / 2 ? 0 : nodeColour;
        Item(NET_DRAW_MARKER, colour, sx, sy, sx, sy, id, 0);

        if ((view->rectRequest == NET_RECT_SELECT || view->rectRequest == NET_RECT_DESELECT) && sx >= x0 && sx <= x1 &&
            sy >= y0 && sy <= y1)
            PutU16(n, WN_SELECTED, view->rectRequest == NET_RECT_SELECT ? WN_SELECTED_VALUE : 0);

        int64_t px = (int64_t)sx - view->pointerX, py = (int64_t)sy - view->pointerY;
        int32_t depth = GetI32(e, ND_VIEW_Z);
        if (px > -(NET_PICK_RANGE + 1) && px < NET_PICK_RANGE + 1 && py > -(NET_PICK_RANGE + 1) &&
            py < NET_PICK_RANGE + 1 && (!picked || depth < pickedDepth)) {
            picked = id;
            pickedDepth = depth;
            pickedX = sx;
            pickedY = sy;
        }
    }
    if (picked) Item(NET_DRAW_MARKER, highlightColour, pickedX, pickedY, pickedX, pickedY, picked, 0);
    view->rectRequest = 0;
    return picked;
}

int NetDrawCount(void) { return (int)drawItems.size(); }
const NetDrawItem* NetDrawItems(void) { return drawItems.data(); }
