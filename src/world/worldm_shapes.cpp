// Worldshapes: names and IDs, adding, finding, selection and the editing operations on the
// selection (hide, move, turn, name, delete, drop to the ground), the census.
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/log.h"
#include "base/maths.h"
#include "shapes/shapem.h"
#include "world/terrain.h"
#include "world/worldm.h"
#include "world/worldm_internal.h"

// ============================================================================================
// Names
// ============================================================================================

static int NameDigit(uint8_t c)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= '0' && c <= '9') return 26 + (c - '0');
    return -1;
}

static uint8_t DigitChar(int d) { return (uint8_t)(d < 26 ? 'A' + d : '0' + (d - 26)); }

int WorldMNameIsValid(uint32_t name)
{
    for (int k = 0; k < 4; k++)
        if (NameDigit((uint8_t)(name >> (8 * k))) < 0) return -1;
    return 0;
}

int WorldMParseName(const char* text, uint32_t* name)
{
    if (name) *name = 0;
    if (!text || !*text) return 0;
    uint32_t n = 0;
    int k = 0;
    for (; text[k]; k++) {
        if (k == 4) return -1;
        uint8_t c = (uint8_t)text[k];
        if (c >= 'a' && c <= 'z') c = (uint8_t)(c - 'a' + 'A');
        if (NameDigit(c) < 0) return -1;
        n = (n << 8) | c;
    }
    if (k != 4) return -1;
    if (name) *name = n;
    return 0;
}

enum { NAME_SPACE = 36 * 36 * 36 * 36 };

// The name's place in the counter order (AAAA = 0), or -1 for a name that is not valid.
static int NameIndex(uint32_t name)
{
    int index = 0;
    for (int k = 3; k >= 0; k--) {
        int d = NameDigit((uint8_t)(name >> (8 * k)));
        if (d < 0) return -1;
        index = index * 36 + d;
    }
    return index;
}

uint32_t WorldMNewShapeName(void)
{
    if (!worldm.installed) return 0;
    // One pass marks the names in use; the first unmarked place in counter order is the name.
    std::vector<uint64_t> used(NAME_SPACE / 64 + 1, 0);
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    {
        int i = NameIndex(GetU32(p, WS_NAME));
        if (i >= 0) used[(size_t)i >> 6] |= 1ull << (i & 63);
    }
    for (int i = 0; i < NAME_SPACE; i++) {
        if (used[(size_t)i >> 6] & (1ull << (i & 63))) continue;
        uint32_t name = 0;
        int v = i;
        uint8_t chars[4];
        for (int k = 3; k >= 0; k--) {
            chars[k] = DigitChar(v % 36);
            v /= 36;
        }
        for (int k = 0; k < 4; k++) name = (name << 8) | chars[k];
        return name;
    }
    return 0;
}

const char* WorldMShapeName(const uint8_t* worldshape)
{
    static char text[5];
    if (!worldshape) return nullptr;
    uint32_t name = GetU32(worldshape, WS_NAME);
    if (!name) return nullptr;
    for (int k = 0; k < 4; k++) text[k] = (char)(name >> (8 * (3 - k)));
    text[4] = 0;
    return text;
}

const char* WorldMShapeFileName(const uint8_t* field)
{
    static char buffer[16];
    if (!field) return nullptr;
    memset(buffer, 0, sizeof buffer);
    // Characters are copied until a '.' or a NUL has been copied, or nine have been: the ninth
    // of a full field is the byte behind it, which the extension then overwrites.
    int copied = 0;
    while (copied < 9) {
        char c = copied < WS_FILE_CHARS ? (char)field[copied] : 0;
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
        buffer[copied++] = c;
        if (c == '.' || c == 0) break;
    }
    int k = copied - 1;
    if (k < 1) return nullptr;
    memcpy(buffer + k, ".SHP", 5);
    return buffer;
}

// ============================================================================================
// IDs
// ============================================================================================

static bool Has(const uint64_t* map, uint32_t i) { return (map[i >> 6] >> (i & 63)) & 1; }

uint16_t WorldMTakeShapeID(const uint64_t* inUse)
{
    if (!worldm.idWrapped) {
        uint16_t id = worldm.nextId ? worldm.nextId : 1;
        worldm.nextId = (uint16_t)(id + 1);
        if (worldm.nextId == 0) {
            worldm.nextId = 1;
            worldm.idWrapped = 1;
            LogPrintf(LOG_INFO, "WORLD: the worldshape ID counter wrapped; IDs in use are skipped from now on");
        }
        return id;
    }
    std::vector<uint64_t> scanned;
    if (!inUse) {
        scanned.assign(65536 / 64, 0);
        WORLD_FOR_EACH_SHAPE(worldm.image, p)
        {
            uint16_t id = GetU16(p, WS_ID);
            scanned[id >> 6] |= 1ull << (id & 63);
        }
        inUse = scanned.data();
    }
    uint16_t id = worldm.nextId ? worldm.nextId : 1;
    for (int tries = 0; tries < 65535; tries++) {
        uint16_t candidate = id;
        id = (uint16_t)(id + 1);
        if (id == 0) id = 1;
        if (!Has(inUse, candidate)) {
            worldm.nextId = id;
            return candidate;
        }
    }
    return 0;
}

uint16_t WorldMNextShapeID(void) { return worldm.nextId; }

static uint16_t SmallestFree(uint16_t type, int idOffset, const char* fatal)
{
    if (!WorldMFirstPacket(worldm.image)) FatalError("%s", fatal);
    std::vector<uint64_t> used(65536 / 64, 0);
    for (uint8_t* p = WorldMFirstPacket(worldm.image); p; p = WorldMNextPacket(worldm.image, p))
        if (GetU16(p, WP_TYPE) == type) {
            uint16_t id = GetU16(p, idOffset);
            used[id >> 6] |= 1ull << (id & 63);
        }
    for (uint32_t id = 1; id < 65536; id++)
        if (!Has(used.data(), id)) return (uint16_t)id;
    return 0;
}

uint16_t AllocWorldShapeID(void)
{
    return SmallestFree(WP_SHAPE, WS_ID, "AllocWorldShapeID - cannot find any worldshape packets!");
}

uint16_t AllocWorldNetNodeID(void)
{
    return SmallestFree(WP_NODE, WN_ID, "AllocWorldNetNodeID - cannot find any WorldNetNode packets!");
}

// ============================================================================================
// Finding and adding
// ============================================================================================

uint8_t* WorldMShapeFindData(uint16_t id)
{
    if (!worldm.installed || id == 0) return nullptr;
    uint32_t end = WorldMEndOfData();
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    {
        if (GetU16(p, WS_ID) != id) continue;
        if ((uint32_t)(p - worldm.image) >= end) FatalError("WorldMShapeFindData - data is out of range!");
        return p;
    }
    return nullptr;
}

int WorldMFindShapeByName(uint32_t name)
{
    if (!worldm.installed || !name) return 0;
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    if (GetU32(p, WS_NAME) == name) return GetU16(p, WS_ID);
    return 0;
}

uint16_t WorldMShapeHandle(const char* fileName)
{
    if (!fileName || !*fileName || !ResIsInstalled()) return 0;
    ResId id = ResFindOrAdd(fileName);
    if (!id) return 0;
    if (ResLoad(id)) {
        LogPrintf(LOG_WARN, "WORLD: shape %s cannot be loaded: %s", fileName, ShapeMLastError());
        return 0;
    }
    return id;
}

void WorldMResolveShapes(void)
{
    if (!worldm.installed) return;
    std::unordered_map<std::string, uint16_t> known;
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    {
        PutU16(p, WS_FLAGS, (uint16_t)(GetU16(p, WS_FLAGS) & ~WSF_LOAD_CLEARED));
        const char* name = WorldMShapeFileName(p + WS_FILE);
        uint16_t handle = 0;
        if (name) {
            auto it = known.find(name);
            if (it != known.end()) {
                handle = it->second;
            } else {
                handle = WorldMShapeHandle(name);
                known.emplace(name, handle);
            }
        }
        PutU16(p, WS_HANDLE, handle);
    }
}

// The 8-byte field of a file name given by the caller: its base name (any folder dropped), the
// first eight characters, NUL-padded.
static void FieldOf(const char* fileName, uint8_t field[WS_FILE_CHARS])
{
    memset(field, 0, WS_FILE_CHARS);
    const char* base = fileName;
    for (const char* c = fileName; *c; c++)
        if (*c == '/' || *c == '\\' || *c == ':') base = c + 1;
    for (int k = 0; k < WS_FILE_CHARS && base[k]; k++) field[k] = (uint8_t)base[k];
}

int WorldMAddShape(const char* fileName, int32_t x, int32_t y, int32_t z, uint32_t name)
{
    if (!worldm.installed) return WORLD_ERR_OUT_OF_SPACE;
    if (name) {
        if (WorldMNameIsValid(name)) return WORLD_ERR_ILLEGAL_NAME;
        if (WorldMFindShapeByName(name)) return WORLD_ERR_DUPLICATE_NAME;
    }
    if (!fileName) return WORLD_ERR_SHAPE_MISSING;
    uint8_t field[WS_FILE_CHARS];
    FieldOf(fileName, field);
    const char* built = WorldMShapeFileName(field);
    if (!built) return WORLD_ERR_SHAPE_MISSING;
    char builtName[16] = {};
    strncpy(builtName, built, sizeof builtName - 1);
    uint16_t handle = WorldMShapeHandle(builtName);
    if (!handle) return WORLD_ERR_SHAPE_MISSING;
    uint32_t at = WorldMEndOfData();
    if (WorldMInsertBytes(at, WP_SHAPE_SIZE)) return WORLD_ERR_OUT_OF_SPACE;
    uint16_t id = WorldMTakeShapeID(nullptr);
    if (!id) {
        WorldMRemoveBytes(at, WP_SHAPE_SIZE);
        return WORLD_ERR_OUT_OF_SPACE;
    }
    uint8_t* p = worldm.image + at;
    PutU16(p, WS_TYPE, WP_SHAPE);
    PutU16(p, WS_FLAGS, 0);
    PutU16(p, WS_ID, id);
    PutI16(p, WS_PITCH, 0);
    PutU32(p, WS_NAME, name);
    PutI32(p, WS_X, x);
    PutI32(p, WS_Y, y);
    PutI32(p, WS_Z, z);
    memcpy(p + WS_FILE, builtName, WS_FILE_CHARS);   // the first eight bytes of the built name
    PutU16(p, WS_HANDLE, handle);
    PutU16(p, WS_FIELD60, WS_FIELD60_VALUE);
    PutI16(p, WS_YAW, 0);
    return id;
}

// ============================================================================================
// Selection
// ============================================================================================

int WorldMCountShapes(void)
{
    if (!worldm.installed) return 0;
    int n = 0;
    WORLD_FOR_EACH_SHAPE(worldm.image, p) n++;
    return n;
}

int WorldMCountSelectedShapes(void)
{
    if (!worldm.installed) return 0;
    int n = 0;
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    if (GetU16(p, WS_FLAGS) & WSF_SELECTED) n++;
    return n;
}

static uint8_t* FirstSelected(void)
{
    if (!worldm.installed) return nullptr;
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    if (GetU16(p, WS_FLAGS) & WSF_SELECTED) return p;
    return nullptr;
}

int WorldMFirstSelectedShape(void)
{
    uint8_t* p = FirstSelected();
    return p ? GetU16(p, WS_ID) : 0;
}

static void SetFlag(uint8_t* p, uint16_t flag, bool on)
{
    uint16_t f = GetU16(p, WS_FLAGS);
    PutU16(p, WS_FLAGS, (uint16_t)(on ? f | flag : f & ~flag));
}

void WorldMSelectShape(uint16_t id)
{
    if (uint8_t* p = WorldMShapeFindData(id)) SetFlag(p, WSF_SELECTED, true);
}

void WorldMDeselectShape(uint16_t id)
{
    if (uint8_t* p = WorldMShapeFindData(id)) SetFlag(p, WSF_SELECTED, false);
}

void WorldMSelectAllShapes(void)
{
    if (!worldm.installed) return;
    WORLD_FOR_EACH_SHAPE(worldm.image, p) SetFlag(p, WSF_SELECTED, true);
}

void WorldMDeselectAllShapes(void)
{
    if (!worldm.installed) return;
    WORLD_FOR_EACH_SHAPE(worldm.image, p) SetFlag(p, WSF_SELECTED, false);
}

static void Hide(bool selected)
{
    if (!worldm.installed) return;
    WorldMUndoSnapshot();
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    if (((GetU16(p, WS_FLAGS) & WSF_SELECTED) != 0) == selected) SetFlag(p, WSF_HIDDEN, true);
}

void WorldMHideSelected(void) { Hide(true); }
void WorldMHideUnselected(void) { Hide(false); }

void WorldMUnhideAll(void)
{
    if (!worldm.installed) return;
    WorldMUndoSnapshot();
    WORLD_FOR_EACH_SHAPE(worldm.image, p) SetFlag(p, WSF_HIDDEN, false);
}

static void Move(int field, int32_t d)
{
    if (!worldm.installed) return;
    WorldMUndoSnapshot();
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    if (GetU16(p, WS_FLAGS) & WSF_SELECTED) PutI32(p, field, (int32_t)((uint32_t)GetI32(p, field) + (uint32_t)d));
}

void WorldMMoveSelectedX(int32_t d) { Move(WS_X, d); }
void WorldMMoveSelectedY(int32_t d) { Move(WS_Y, d); }
void WorldMMoveSelectedZ(int32_t d) { Move(WS_Z, d); }

static void Turn(int field, int16_t d)
{
    if (!worldm.installed) return;
    WorldMUndoSnapshot();
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    if ((GetU16(p, WS_FLAGS) & WSF_SELECTED) && GetU32(p, WS_NAME))
        PutU16(p, field, (uint16_t)(GetU16(p, field) + (uint16_t)d));
}

void WorldMTurnSelectedYaw(int16_t d) { Turn(WS_YAW, d); }
void WorldMTurnSelectedPitch(int16_t d) { Turn(WS_PITCH, d); }

int WorldMSetSelectedName(uint32_t name)
{
    if (!worldm.installed) return WORLD_ERR_ILLEGAL_NAME;
    uint8_t* first = FirstSelected();
    if (!first) return WORLD_ERR_ILLEGAL_NAME;
    if (name) {
        if (WorldMNameIsValid(name)) return WORLD_ERR_ILLEGAL_NAME;
        int owner = WorldMFindShapeByName(name);
        if (owner && owner != GetU16(first, WS_ID)) return WORLD_ERR_DUPLICATE_NAME;
    }
    uint16_t id = GetU16(first, WS_ID);
    WorldMUndoSnapshot();
    uint8_t* p = WorldMShapeFindData(id);
    if (p) PutU32(p, WS_NAME, name);
    return 0;
}

uint32_t WorldMGetSelectedName(void)
{
    if (!worldm.installed) return 0;
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    if ((GetU16(p, WS_FLAGS) & WSF_SELECTED) && GetU32(p, WS_NAME)) return GetU32(p, WS_NAME);
    return 0;
}

void WorldMDeleteSelected(void)
{
    if (!worldm.installed) return;
    WorldMUndoSnapshot();
    // One pass: every kept packet moves down over the removed ones.
    uint8_t* image = worldm.image;
    uint32_t used = GetU32(image, WLE_USED);
    uint32_t read = WLE_HEADER_SIZE, write = WLE_HEADER_SIZE;
    while (read < used) {
        uint32_t n = WorldMPacketSize(image + read);
        if (n == 0 || n > used - read) FatalError("WorldMDeleteSelected - the world image is damaged");
        bool drop = GetU16(image, read) == WP_SHAPE && (GetU16(image, read + WS_FLAGS) & WSF_SELECTED);
        if (!drop) {
            if (write != read) memmove(image + write, image + read, n);
            write += n;
        }
        read += n;
    }
    PutU32(image, WLE_USED, write);
}

int WorldMSelectionCentre(int32_t out[3])
{
    if (!worldm.installed) return 0;
    int64_t lo[3], hi[3];
    bool any = false;
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    {
        if (!(GetU16(p, WS_FLAGS) & WSF_SELECTED)) continue;
        for (int a = 0; a < 3; a++) {
            int64_t v = GetI32(p, WS_X + 4 * a);
            if (!any || v < lo[a]) lo[a] = v;
            if (!any || v > hi[a]) hi[a] = v;
        }
        any = true;
    }
    if (!any) return 0;
    for (int a = 0; a < 3; a++) out[a] = (int32_t)((lo[a] + hi[a]) >> 1);
    return 1;
}

// ============================================================================================
// Ground
// ============================================================================================

static void Drop(uint8_t* p)
{
    ResId handle = GetU16(p, WS_HANDLE);
    if (!handle || !ShapeMPrepared(handle)) return;
    int32_t xs[2] = {ShapeMMinX(handle), ShapeMMaxX(handle)};
    int32_t zs[2] = {ShapeMMinZ(handle), ShapeMMaxZ(handle)};
    int32_t yaw = GetI16(p, WS_YAW);
    int64_t c = FixCos(yaw), s = FixSin(yaw);
    int64_t lowest = 0;
    bool first = true;
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++) {
            // Turned by the yaw as the shape code turns: x' = x cos + z sin, z' = z cos - x sin.
            int64_t x = ((xs[i] * c) >> 14) + ((zs[j] * s) >> 14);
            int64_t z = ((zs[j] * c) >> 14) - ((xs[i] * s) >> 14);
            int32_t wx = (int32_t)(x + GetI32(p, WS_X)), wz = (int32_t)(z + GetI32(p, WS_Z));
            int32_t h = 0;
            if (!TerrainGroundHeight(wx, wz, &h)) h = 0;
            if (first || h < lowest) lowest = h;
            first = false;
        }
    PutI32(p, WS_Y, (int32_t)(lowest - ShapeMMinY(handle)));
}

void WorldMDropShapeToGround(uint16_t id)
{
    if (uint8_t* p = WorldMShapeFindData(id)) Drop(p);
}

void WorldMDropSelectedToGround(void)
{
    if (!worldm.installed) return;
    WorldMUndoSnapshot();
    if (uint8_t* p = FirstSelected()) Drop(p);
}

int WorldMAddShapeOnGround(const char* fileName, int32_t x, int32_t z, uint32_t name)
{
    if (!worldm.installed) return WORLD_ERR_OUT_OF_SPACE;
    uint8_t field[WS_FILE_CHARS];
    FieldOf(fileName ? fileName : "", field);
    const char* built = WorldMShapeFileName(field);
    ResId handle = built ? WorldMShapeHandle(built) : 0;
    int32_t lowest = handle && ShapeMPrepared(handle) ? ShapeMMinY(handle) : 0;
    // The undo snapshot only when the add will go through, so that Undo takes back the last
    // shape added rather than a refusal.
    bool fits = (uint64_t)WorldMUsed() + WP_SHAPE_SIZE <= WorldMLimit();
    bool nameOk = !name || (!WorldMNameIsValid(name) && !WorldMFindShapeByName(name));
    if (handle && fits && nameOk) WorldMUndoSnapshot();
    int id = WorldMAddShape(fileName, x, (int32_t)(0 - (int64_t)lowest), z, name);
    if (id > 0) WorldMDropShapeToGround((uint16_t)id);
    return id;
}

int WorldMShapeCensus(void)
{
    uint8_t* first = FirstSelected();
    if (!first) return 0;
    uint16_t handle = GetU16(first, WS_HANDLE);
    if (!handle) return 0;
    int n = 0;
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    if (GetU16(p, WS_HANDLE) == handle) n++;
    return n;
}
