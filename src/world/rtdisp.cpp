// The runtime world display. A runtime world is read in two passes: the first checks the
// whole file and its archive and builds the tables in local storage, the second loads the
// archive's shapes; only when both have passed do the tables replace the module's, so a
// refused file installs nothing.
#include "world/rtdisp.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <unordered_map>
#include <vector>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/log.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "world/runtime.h"
#include "world/terrain.h"
#include "world/wle.h"
#include "world/worldm.h"

static const char kSkySprite[] = "cloud3.spr";

struct Corner {
    uint16_t x, y, z;
};

// Everything a runtime world installs, built whole before it is taken over.
struct Tables {
    RtDispInfo info = {};
    std::vector<RtDispCell> cells;
    std::vector<uint32_t> cellList;    // cell array entries in the order of their cell index
    std::vector<Corner> corners;
    std::vector<RtDispCopy> copies;
    std::vector<RtDispNode> nodes;
    std::vector<int32_t> nodeById;     // entry of `nodes` per node ID; -1 for none
    std::vector<uint32_t> entries;     // WXP offset of each shape, in order of first use
};

static struct {
    int installed;
    Tables t;
    uint32_t* drawList;
    ResId sky;
    ResId* shapes;
    int shapeCount;
} rtDisp;

static char error[256];

const char* RtDispError(void) { return error; }

static int Refuse(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
static int Refuse(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(error, sizeof error, fmt, ap);
    va_end(ap);
    LogPrintf(LOG_WARN, "WORLDDISP: WorldSetID refused: %s", error);
    return 1;
}

// Room for n entries; running out of memory is fatal with the given message.
template <typename T>
static void Reserve(std::vector<T>& v, size_t n, const char* fatal)
{
    try {
        v.reserve(n);
    } catch (const std::bad_alloc&) {
        FatalError("%s", fatal);
    }
}

// ============================================================================================
// The display shape table
// ============================================================================================

int WorldAddShapes(int count)
{
    int64_t total = (int64_t)rtDisp.shapeCount + count;
    size_t bytes = (size_t)rtDisp.shapeCount * sizeof(ResId);
    ResId* grown = nullptr;
    if (count >= 0 && total <= INT32_MAX / (int64_t)sizeof(ResId))
        grown = (ResId*)ResReallocMem(rtDisp.shapes, (size_t)(total ? total : 1) * sizeof(ResId));
    if (!grown) FatalError("WorldAddShapes cannot resize for %lld shapes from %zu bytes", (long long)total, bytes);
    memset(grown + rtDisp.shapeCount, 0, (size_t)count * sizeof(ResId));
    rtDisp.shapes = grown;
    int first = rtDisp.shapeCount;
    rtDisp.shapeCount = (int)total;
    return first;
}

void WorldSetShape(int index, ResId id)
{
    if (index < 0 || index >= rtDisp.shapeCount) FatalError("WorldSetShape - index %d past %d shapes", index, rtDisp.shapeCount);
    rtDisp.shapes[index] = id;
}

ResId WorldGetShape(int index) { return index >= 0 && index < rtDisp.shapeCount ? rtDisp.shapes[index] : 0; }
int WorldShapeCount(void) { return rtDisp.shapeCount; }

void WorldFreeShapes(void)
{
    for (int i = 0; i < rtDisp.shapeCount; i++) {
        if (!rtDisp.shapes[i]) FatalError("WorldFreeShapes - shape ID was zero");
        if (ResIsInstalled()) ResFreeAlways(rtDisp.shapes[i]);
    }
    if (rtDisp.shapes && ResIsInstalled()) ResFreeMem(rtDisp.shapes);
    rtDisp.shapes = nullptr;
    rtDisp.shapeCount = 0;
}

// ============================================================================================
// Removal and queries
// ============================================================================================

void RtDispRemove(void)
{
    WorldFreeShapes();
    if (ResIsInstalled()) {
        if (rtDisp.drawList) ResFreeMem(rtDisp.drawList);
        if (rtDisp.sky) ResFree(rtDisp.sky);
    }
    rtDisp.drawList = nullptr;
    rtDisp.sky = 0;
    rtDisp.t = Tables{};
    if (rtDisp.installed) TerrainRemove();
    rtDisp.installed = 0;
}

int RtDispInstalled(void) { return rtDisp.installed; }

int RtDispGetInfo(RtDispInfo* info)
{
    if (!rtDisp.installed) return 0;
    if (info) *info = rtDisp.t.info;
    return 1;
}

const RtDispCell* WorldGetCellArrayNoCheck(uint32_t index)
{
    if (index >= rtDisp.t.cells.size()) FatalError("WorldGetCellArrayNoCheck - index too large!");
    return &rtDisp.t.cells[index];
}

static bool CellBefore(const RtDispCell& a, const int32_t b[3])
{
    return std::lexicographical_compare(a.index, a.index + 3, b, b + 3);
}

int WorldFindCell(int32_t x, int32_t y, int32_t z)
{
    const int32_t key[3] = {x, y, z};
    const std::vector<uint32_t>& list = rtDisp.t.cellList;
    auto it = std::lower_bound(list.begin(), list.end(), key,
                               [](uint32_t i, const int32_t* k) { return CellBefore(rtDisp.t.cells[i], k); });
    if (it == list.end() || !std::equal(key, key + 3, rtDisp.t.cells[*it].index)) return -1;
    return (int)*it;
}

int WorldGetCorner(uint32_t index, uint16_t out[3])
{
    if (index >= rtDisp.t.corners.size()) return 0;
    const Corner& c = rtDisp.t.corners[index];
    out[0] = c.x, out[1] = c.y, out[2] = c.z;
    return 1;
}

const RtDispCopy* WorldGetCopy(uint32_t index)
{
    return index < rtDisp.t.copies.size() ? &rtDisp.t.copies[index] : nullptr;
}

const RtDispNode* WorldGetNode(uint16_t id)
{
    if (id >= rtDisp.t.nodeById.size() || rtDisp.t.nodeById[id] < 0) return nullptr;
    return &rtDisp.t.nodes[(size_t)rtDisp.t.nodeById[id]];
}

void WorldDrawShapes_Install(void)
{
    if (rtDisp.drawList) ResFreeMem(rtDisp.drawList);
    // One entry per copy: a frame never draws more than every copy once.
    size_t room = std::max<size_t>(rtDisp.t.copies.size(), 1);
    rtDisp.drawList = (uint32_t*)ResAllocMem(room * sizeof(uint32_t));
    if (!rtDisp.drawList) FatalError("WorldDrawShapes_Install - out of memory");
    rtDisp.t.info.drawRoom = (uint32_t)room;
    // The sky is decoration: a display without it still shows the world.
    if (!rtDisp.sky) {
        ResId sky = ResFindOrAdd(kSkySprite);
        if (sky && !ResLoad(sky))
            rtDisp.sky = sky;
        else
            LogPrintf(LOG_INFO, "WORLDDISP: no sky sprite %s, the sky stays clear", kSkySprite);
    }
}

// ============================================================================================
// What a frame draws
// ============================================================================================

uint32_t RtDispVisibleCopies(const int32_t eye[3], const uint32_t** list)
{
    *list = nullptr;
    if (!rtDisp.installed) return 0;
    // A dynamic copy filed under several cells is listed once.
    static std::vector<uint8_t> listed;
    listed.assign(65536, 0);
    double reach = (double)rtDisp.t.info.distance;
    uint32_t count = 0;
    for (uint32_t entry : rtDisp.t.cellList) {
        const RtDispCell& cell = rtDisp.t.cells[entry];
        double d2 = 0;
        for (int a = 0; a < 3; a++) {
            double v = eye[a] < cell.min[a] ? (double)cell.min[a] - eye[a] : eye[a] > cell.max[a] ? (double)eye[a] - cell.max[a] : 0;
            d2 += v * v;
        }
        if (d2 > reach * reach) continue;
        for (uint32_t k = cell.firstCopy; k < cell.firstCopy + cell.copyCount && count < rtDisp.t.info.drawRoom; k++) {
            const RtDispCopy& c = rtDisp.t.copies[k];
            if (listed[c.id] || !WorldGetShape(c.shape)) continue;
            listed[c.id] = 1;
            rtDisp.drawList[count++] = k;
        }
    }
    *list = rtDisp.drawList;
    return count;
}

// ============================================================================================
// Reading a runtime world
// ============================================================================================

// The header's WXP name: a plain file name in the folder of the resources, "" for none. Only a
// base name is looked up, so a damaged header cannot make us read some other file.
static int WxpName(const uint8_t* image, char out[WLE_WXP_NAME_MAX])
{
    const char* name = (const char*)image + WLE_WXP_NAME;
    size_t n = strnlen(name, WLE_WXP_NAME_MAX);
    if (n == WLE_WXP_NAME_MAX) return Refuse("the WXP name in the header has no end");
    // The field has room for names the resource manager cannot look up: such a name would
    // read as a missing archive, which is fatal.
    if (n >= RES_NAME_MAX) return Refuse("the WXP name is %zu characters long, longer than %d", n, RES_NAME_MAX - 1);
    for (size_t i = 0; i < n; i++) {
        uint8_t c = (uint8_t)name[i];
        if (c < 0x20 || c >= 0x7F || c == '/' || c == '\\' || c == ':')
            return Refuse("the WXP name holds a character 0x%02X", c);
    }
    memcpy(out, name, n + 1);
    return 0;
}

// The offsets of the archive's entries: the run must fill the archive exactly. A one-byte
// archive is the empty one.
static int WxpEntries(const uint8_t* wxp, uint32_t size, std::unordered_map<uint32_t, int>* entries)
{
    if (size == 1) return 0;
    uint32_t at = 0;
    while (at < size) {
        if (size - at < WXP_ENTRY_HEAD) return Refuse("WXP archive ends inside the head of an entry at %u", at);
        uint32_t data = GetU32(wxp, at + WXP_ENTRY_SIZE);
        if (data > size - at - WXP_ENTRY_HEAD)
            return Refuse("WXP entry at %u of %u bytes runs past the %u-byte archive", at, data, size);
        (*entries)[at] = -1;
        at += WXP_ENTRY_HEAD + data;
    }
    return 0;
}

static int Parse(uint8_t* image, uint32_t size, const uint8_t* wxp, uint32_t wxpSize, Tables* t)
{
    char why[160];
    if (WorldMCheckImage(image, size, why, sizeof why)) return Refuse("runtime world damaged: %s", why);
    RtDispInfo& in = t->info;
    in.cellExponent = GetU32(image, WLE_CELL_EXPONENT);
    in.cellsX = GetU32(image, WLE_CELLS_X);
    in.cellsY = GetU32(image, WLE_CELLS_Y);
    in.cellsZ = GetU32(image, WLE_CELLS_Z);
    if (in.cellExponent > RT_MAX_EXPONENT) return Refuse("cell exponent %u out of range", in.cellExponent);
    const uint32_t along[3] = {in.cellsX, in.cellsY, in.cellsZ};
    for (uint32_t n : along)
        if (n > RT_MAX_CELLS_AXIS) return Refuse("%u cells along an axis", n);
    in.distance = (uint32_t)std::sqrt((double)WORLD_VIEW_SQUARED) << in.cellExponent;

    // The check above let only the known types through, 0x1002 to 0x1009.
    size_t count[WP_TERRAIN - WP_RESERVED_1002 + 1] = {};
    for (uint8_t* p = WorldMFirstPacket(image); p; p = WorldMNextPacket(image, p))
        count[GetU16(p, WP_TYPE) - WP_RESERVED_1002]++;
    static const char kTables[] = "Out of Memory to install internal World Display Data";
    Reserve(t->cells, count[WP_CELL - WP_RESERVED_1002], kTables);
    Reserve(t->corners, count[WP_CORNER - WP_RESERVED_1002], kTables);
    Reserve(t->copies, count[WP_SHAPE - WP_RESERVED_1002], kTables);
    Reserve(t->nodes, count[WP_NODE - WP_RESERVED_1002], "InstallNodes - out of memory");

    for (uint8_t* p = WorldMFirstPacket(image); p; p = WorldMNextPacket(image, p)) {
        uint32_t at = (uint32_t)(p - image);
        switch (GetU16(p, WP_TYPE)) {
        case WP_NODE: {
            RtDispNode n = {};
            n.id = GetU16(p, WN_ID);
            n.prev = GetU16(p, WN_PREV);
            n.next = GetU16(p, WN_NEXT);
            n.name = GetU32(p, WN_NAME);
            n.distPrev = GetI32(p, WN_DIST_PREV);
            n.distNext = GetI32(p, WN_DIST_NEXT);
            for (int a = 0; a < 3; a++) {
                n.pos[a] = GetI32(p, WN_X + 4 * a);
                n.dirPrev[a] = GetI16(p, WN_DIR_PREV + 2 * a);
                n.dirNext[a] = GetI16(p, WN_DIR_NEXT + 2 * a);
            }
            if (!n.id) return Refuse("node at %u without an ID", at);
            t->nodes.push_back(n);
            break;
        }
        case WP_CELL: {
            RtDispCell c = {};
            for (int a = 0; a < 3; a++) {
                c.index[a] = GetI32(p, WC_INDEX_X + 4 * a);
                c.min[a] = GetI32(p, WC_MIN + 4 * a);
                c.max[a] = GetI32(p, WC_MAX + 4 * a);
                if (c.index[a] < 0 || (uint32_t)c.index[a] >= along[a])
                    return Refuse("cell at %u has index %d outside the %u cells of its axis", at, c.index[a], along[a]);
            }
            for (int k = 0; k < WORLD_CELL_CORNERS; k++) c.corners[k] = GetU32(p, WC_CORNERS + 4 * k);
            c.dynamicCount = GetU32(p, WC_DYNAMIC_COUNT);
            c.staticCount = GetU32(p, WC_STATIC_COUNT);
            c.firstCopy = (uint32_t)t->copies.size();
            t->cells.push_back(c);
            break;
        }
        case WP_SHAPE: {
            if (t->cells.empty()) return Refuse("worldshape copy at %u before any cell", at);
            uint16_t flags = GetU16(p, WS_FLAGS);
            if (!(flags & WSF_WHP_WRITTEN)) return Refuse("worldshape copy at %u without its WXP entry", at);
            RtDispCopy s = {};
            s.id = GetU16(p, WS_ID);
            s.flags = flags;
            s.name = GetU32(p, WS_NAME);
            for (int a = 0; a < 3; a++) s.pos[a] = GetI32(p, WS_X + 4 * a);
            for (int a = 0; a < 6; a++) s.box[a] = GetI32(p, WS_BOX + 4 * a);
            s.yaw = GetI16(p, WS_YAW);
            s.pitch = GetI16(p, WS_PITCH);
            // The entry offset for now; it becomes the shape table entry below.
            s.shape = (int)GetU32(p, WS_FILE);
            t->copies.push_back(s);
            t->cells.back().copyCount++;
            break;
        }
        case WP_CORNER:
            if (GetU16(p, WCO_INDEX) != t->corners.size())
                return Refuse("corner at %u numbered %u, expected %zu", at, GetU16(p, WCO_INDEX), t->corners.size());
            t->corners.push_back({GetU16(p, WCO_X), GetU16(p, WCO_Y), GetU16(p, WCO_Z)});
            break;
        default: break;   // the terrain is read by its own module; nothing else is displayed
        }
    }
    in.cellCount = (uint32_t)t->cells.size();
    in.cornerCount = (uint32_t)t->corners.size();
    in.nodeCount = (uint32_t)t->nodes.size();
    in.copyCount = (uint32_t)t->copies.size();
    if (GetU32(image, WLE_CORNER_COUNT) != in.cornerCount)
        return Refuse("header counts %u corners, the file holds %u", GetU32(image, WLE_CORNER_COUNT), in.cornerCount);

    for (const RtDispCell& c : t->cells) {
        for (uint32_t k : c.corners)
            if (k >= in.cornerCount) return Refuse("cell corner %u past the %u corners", k, in.cornerCount);
        // A drawing loop runs over the counted copies: they must all be there.
        if ((uint64_t)c.dynamicCount + c.staticCount > c.copyCount)
            return Refuse("cell (%d, %d, %d) counts %u + %u copies but holds %u", c.index[0], c.index[1], c.index[2],
                          c.dynamicCount, c.staticCount, c.copyCount);
    }

    // As long as the largest ID needs: most worlds number their few nodes from 1.
    size_t idLimit = 0;
    for (const RtDispNode& n : t->nodes) idLimit = std::max<size_t>(idLimit, (size_t)n.id + 1);
    Reserve(t->nodeById, idLimit, "InstallNodes - out of memory");
    t->nodeById.assign(idLimit, -1);
    for (size_t i = 0; i < t->nodes.size(); i++) {
        if (t->nodeById[t->nodes[i].id] >= 0) return Refuse("node ID %u given twice", t->nodes[i].id);
        t->nodeById[t->nodes[i].id] = (int32_t)i;
    }

    Reserve(t->cellList, t->cells.size(), "Failed to allocate Cellist");
    for (uint32_t i = 0; i < t->cells.size(); i++) t->cellList.push_back(i);
    std::sort(t->cellList.begin(), t->cellList.end(), [t](uint32_t a, uint32_t b) {
        return std::lexicographical_compare(t->cells[a].index, t->cells[a].index + 3, t->cells[b].index,
                                            t->cells[b].index + 3);
    });
    for (size_t i = 1; i < t->cellList.size(); i++) {
        const int32_t* a = t->cells[t->cellList[i - 1]].index;
        if (std::equal(a, a + 3, t->cells[t->cellList[i]].index))
            return Refuse("cell (%d, %d, %d) stored twice", a[0], a[1], a[2]);
    }

    // Copies point at entries; copies of one dynamic shape share its entry and its shape.
    if (!t->copies.empty() && !wxp) return Refuse("worldshape copies but no WXP archive");
    std::unordered_map<uint32_t, int> entries;
    if (wxp && WxpEntries(wxp, wxpSize, &entries)) return 1;
    for (RtDispCopy& s : t->copies) {
        uint32_t at = (uint32_t)s.shape;
        auto it = entries.find(at);
        if (it == entries.end()) return Refuse("worldshape copy %u points at %u, no WXP entry starts there", s.id, at);
        if (it->second < 0) {
            it->second = (int)t->entries.size();
            t->entries.push_back(at);
        }
        s.shape = it->second;
    }
    return 0;
}

// The archive's shapes prepared for drawing, in t->entries order; on a
// refusal nothing stays loaded.
static int LoadShapes(const uint8_t* wxp, const Tables& t, std::vector<ResId>* ids)
{
    for (uint32_t at : t.entries) {
        uint32_t size = GetU32(wxp, at + WXP_ENTRY_SIZE);
        ResId id = size ? ResCreate(size) : 0;
        if (size && !id) FatalError("Out of memory to load a WXP shape");
        if (id) memcpy(ResPeek(id), wxp + at + WXP_ENTRY_HEAD, size);
        if (!id || ShapeMPrepareBlock(id)) {
            if (id) ResFreeAlways(id);
            for (ResId done : *ids) ResFreeAlways(done);
            ids->clear();
            return Refuse("WXP entry at %u is not a shape (%s)", at, size ? ShapeMLastError() : "empty");
        }
        ids->push_back(id);
    }
    return 0;
}

// Finds and loads the archive the header names.
static ResId OpenWxp(const char* name)
{
    // The archive is the user's file: missing or unreadable, the world is refused, not the program.
    // Nor is more read than the runtime save can write (registering it again changes nothing).
    ResRegisterType("wxp", nullptr, nullptr, WXP_CAPACITY);
    ResId id = ResFindOrAdd(name);
    if (!id) {
        Refuse("WXP file %s is missing", name);
        return 0;
    }
    if (ResLoad(id)) {
        if (ResLastError() == RES_ERR_MEMORY) FatalError("WorldSetID - out of memory to load WXP file");
        if (ResLastError() == RES_ERR_TOO_LARGE)
            Refuse("WXP file %s is larger than an archive can be (at most %d bytes)", name, (int)WXP_CAPACITY);
        else
            Refuse(ResLastError() == RES_ERR_NOT_FOUND ? "WXP file %s is missing" : "WXP file %s cannot be read", name);
        return 0;
    }
    ResOpen(id);
    return id;
}

int WorldSetID(ResId id)
{
    if (!id) FatalError("WorldSetID - null resource id!");
    RtDispRemove();
    error[0] = 0;
    if (ResLoad(id)) return Refuse("the runtime world resource cannot be read");
    uint8_t* image = (uint8_t*)ResOpen(id);
    size_t size = ResSize(id);

    Tables t;
    std::vector<ResId> ids;
    ResId wxpId = 0;
    char name[WLE_WXP_NAME_MAX] = "";
    int failed = size < WLE_HEADER_SIZE || size > UINT32_MAX ? Refuse("runtime world of %zu bytes", size)
                                                              : WxpName(image, name);
    if (!failed && name[0] && !(wxpId = OpenWxp(name))) failed = 1;
    const uint8_t* wxp = wxpId ? (const uint8_t*)ResPeek(wxpId) : nullptr;
    uint32_t wxpSize = wxpId ? (uint32_t)std::min<size_t>(ResSize(wxpId), UINT32_MAX) : 0;
    if (!failed) failed = Parse(image, (uint32_t)size, wxp, wxpSize, &t);
    if (!failed) failed = LoadShapes(wxp, t, &ids);
    if (!failed) {
        rtDisp.t = std::move(t);
        int first = WorldAddShapes((int)ids.size());
        for (size_t i = 0; i < ids.size(); i++) WorldSetShape(first + (int)i, ids[i]);
        uint32_t used = GetU32(image, WLE_USED);
        TerrainMakeMaterials(image, used);
        TerrainInstall(image, used, 0);
        rtDisp.installed = 1;
        RegisterExit(RtDispRemove);
        WorldDrawShapes_Install();
    }
    ResClose(id);
    ResFree(id);
    if (wxpId) {
        ResClose(wxpId);
        ResFree(wxpId);
    }
    return failed;
}
