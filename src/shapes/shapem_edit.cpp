// The Shape Editor's edit buffer: one shape block in a fixed buffer, edited in place, with a
// history of undo and redo steps. Every block that comes from a file is checked (ShapeCheck) before
// anything reads it; loads and merges are worked out in a scratch block and copied in only
// when they succeed, so a refusal leaves the buffer as it was.
#include "shapes/shapem_edit.h"

#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/files.h"
#include "base/history.h"
#include "base/log.h"
#include "materials/intmat.h"
#include "shapes/mesh.h"
#include "shapes/refusal.h"
#include "shapes/shapem.h"

static const char kLogTag[] = "SHAPEM";   // prefix of the shape manager's refusals in the log

static struct {
    int installed;
    ResId edit;
    History* history;
    uint8_t* scratch;   // kept between uses: a fresh 2 MB block each load cost more than the load
    ShapeBlock block;
    int undoOn;
    int display[SHAPEM_DISPLAY_COUNT];
} shapeEdit;

// The names of the render materials the edit buffer and its history were bound to, taken
// when the table is about to be rebuilt; the rebuilt table binds them again by these names.
static struct {
    std::vector<uint8_t> names;   // IM_NAME_CHARS bytes an entry
    int pending;
} bound;

// ============================================================================================
// Install
// ============================================================================================

static void TableReleasing(void)
{
    int n = IntMatCount();
    bound.names.resize((size_t)n * IM_NAME_CHARS);
    for (int i = 0; i < n; i++) memcpy(&bound.names[(size_t)i * IM_NAME_CHARS], IntMatPtr(i) + IM_NAME, IM_NAME_CHARS);
    bound.pending = 1;
}

// Indices into the table moved (a material added, deleted, loaded or merged): every polygon
// keeps the material it had, by name, in the edit buffer and in every step of its history.
static void RebindStep(std::vector<uint8_t>& state, void* context)
{
    std::vector<uint8_t>& room = *(std::vector<uint8_t>*)context;
    if (state.size() < SHAPE_HEADER_SIZE || state.size() > room.size()) return;
    memcpy(room.data(), state.data(), state.size());
    ShapeBlock block{room.data(), (uint32_t)room.size()};
    if (ShapeRebindMaterials(&block, bound.names.data(), (int)(bound.names.size() / IM_NAME_CHARS))) {
        LogPrintf(LOG_WARN, "SHAPEM: no room to bind an undo step's materials again");
        return;
    }
    uint32_t used = ShapeUsedSize(room.data());
    if (used <= room.size()) state.assign(room.begin(), room.begin() + used);
}

static void TableChanged(void)
{
    if (!bound.pending || !shapeEdit.installed) return;
    bound.pending = 0;
    int n = (int)(bound.names.size() / IM_NAME_CHARS);
    if (ShapeRebindMaterials(&shapeEdit.block, bound.names.data(), n))
        LogPrintf(LOG_WARN, "SHAPEM: no room to bind the edited shape's materials again");
    if (HistoryUndoCount(shapeEdit.history) + HistoryRedoCount(shapeEdit.history) == 0) return;
    std::vector<uint8_t> room(SHAPEM_BUFFER_SIZE);
    HistoryRewrite(shapeEdit.history, RebindStep, &room);
}

void ShapeMInstall(void)
{
    // Registered with every table (a new table starts without handlers); a repeat is ignored.
    IntMatAddReleaseHandler(TableReleasing);
    IntMatAddChangeHandler(TableChanged);
    if (shapeEdit.installed) return;
    bound.pending = 0;
    memset(shapeEdit.display, 0, sizeof shapeEdit.display);
    shapeEdit.edit = ResCreate(SHAPEM_BUFFER_SIZE);
    shapeEdit.history = HistoryCreate();
    shapeEdit.scratch = (uint8_t*)ResAllocMem(SHAPEM_BUFFER_SIZE);
    if (!shapeEdit.edit || !shapeEdit.scratch) FatalError("ShapeMInstall - out of memory for the edit buffer");
    shapeEdit.block.data = (uint8_t*)ResOpen(shapeEdit.edit);
    shapeEdit.block.capacity = SHAPEM_BUFFER_SIZE;
    ShapeMakeEmpty(shapeEdit.block.data);
    shapeEdit.installed = 1;
    RegisterExit(ShapeMRemove);
}

void ShapeMRemove(void)
{
    if (!shapeEdit.installed) return;
    if (ResIsInstalled()) {
        ResClose(shapeEdit.edit);
        ResFree(shapeEdit.edit);
        ResFreeMem(shapeEdit.scratch);
    }
    HistoryDestroy(shapeEdit.history);
    shapeEdit = {};
}

int ShapeMIsInstalled(void) { return shapeEdit.installed; }

void ShapeMSetDisplay(const int values[SHAPEM_DISPLAY_COUNT])
{
    for (int i = 0; i < SHAPEM_DISPLAY_COUNT; i++) shapeEdit.display[i] = values[i];
}

int ShapeMDisplay(int which) { return which >= 0 && which < SHAPEM_DISPLAY_COUNT ? shapeEdit.display[which] : 0; }

// ============================================================================================
// Undo and New
// ============================================================================================

ShapeBlock* ShapeMEdit(void) { return shapeEdit.installed ? &shapeEdit.block : nullptr; }
ResId ShapeMEditResource(void) { return shapeEdit.edit; }
void ShapeMSetUndo(int on) { shapeEdit.undoOn = on != 0; }
int ShapeMUndoOn(void) { return shapeEdit.undoOn; }

static uint32_t UsedNow(void)
{
    uint32_t used = ShapeUsedSize(shapeEdit.block.data);
    return used > (uint32_t)SHAPEM_BUFFER_SIZE ? (uint32_t)SHAPEM_BUFFER_SIZE : used;
}

void ShapeMSaveUndo(void)
{
    if (!shapeEdit.installed || !shapeEdit.undoOn) return;
    HistoryRecord(shapeEdit.history, shapeEdit.block.data, UsedNow());
}

// A shorter state leaves no bytes of the longer one behind it: the buffer past the used part
// stays as zero as a load leaves it.
static void TakeStep(size_t (*step)(History*, const uint8_t*, size_t, uint8_t*, size_t))
{
    if (!shapeEdit.installed || !shapeEdit.undoOn) return;
    uint32_t was = UsedNow();
    size_t now = step(shapeEdit.history, shapeEdit.block.data, was, shapeEdit.block.data, SHAPEM_BUFFER_SIZE);
    if (now && now < was) memset(shapeEdit.block.data + now, 0, was - now);
}

void ShapeMUndo(void) { TakeStep(HistoryUndo); }
void ShapeMRedo(void) { TakeStep(HistoryRedo); }
History* ShapeMHistory(void) { return shapeEdit.installed ? shapeEdit.history : nullptr; }

void ShapeMNew(void)
{
    if (!shapeEdit.installed) return;
    ShapeMSaveUndo();
    ShapeMakeEmpty(shapeEdit.block.data);
}

ShapeBlock ShapeMScratch(void)
{
    if (!shapeEdit.installed) return ShapeBlock{nullptr, 0};
    memset(shapeEdit.scratch, 0, SHAPEM_BUFFER_SIZE);
    return ShapeBlock{shapeEdit.scratch, SHAPEM_BUFFER_SIZE};
}

void ShapeMCommitScratch(const ShapeBlock* s)
{
    ShapeMSaveUndo();
    memcpy(shapeEdit.block.data, s->data, ShapeUsedSize(s->data));
}

static void ClearSelection(uint8_t* b)
{
    for (int i = 0; i < ShapeVertexCount(b); i++) {
        uint8_t* v = ShapeVertex(b, i);
        PutU16(v, VERT_FLAGS, GetU16(v, VERT_FLAGS) & ~VF_SELECTED);
    }
    uint8_t* poly = ShapeFirstPolygon(b);
    for (int i = 0, count = ShapePolygonCount(b); i < count; i++, poly = ShapeNextPolygon(poly))
        PutU16(poly, POLY_FLAGS, GetU16(poly, POLY_FLAGS) & ~PF_SELECTED);
}

// ============================================================================================
// Taking a shape in, merging
// ============================================================================================

// The raw block of a shape resource. A named shape is read from its file without preparing
// it (a prepared one is freed first; it must not be in use), then freed again, so that its
// next user gets it prepared rather than raw. 0, or 1 when refused.
static int RawBlock(ResId id, std::vector<uint8_t>& out)
{
    if (!id || !ResIsInstalled()) return ShapeRefuse(kLogTag, "the shape cannot be read");
    bool loaded = ResIsLoaded(id) == 0;
    if (loaded && !ShapeMIsPrepared(id)) {
        size_t size = ResSize(id);
        if (size > SHAPEM_BUFFER_SIZE) return ShapeRefuse(kLogTag, "the shape is larger than the edit buffer");
        const uint8_t* d = (const uint8_t*)ResPeek(id);
        out.assign(d, d + size);
        return 0;
    }
    // A copy: the index that holds the name may move while resources come and go.
    char name[RES_NAME_MAX];
    snprintf(name, sizeof name, "%s", ResName(id));
    if (!name[0]) return ShapeRefuse(kLogTag, loaded ? "the shape has no file to be read again from" : "the shape cannot be read");
    if (loaded) {
        if (ResOpenCount(id) > 0) return ShapeRefuse(kLogTag, "%s is in use and cannot be read again", name);
        ResFree(id);
    }
    if (ShapeMLoadUnprepared(id)) return ShapeRefuse(kLogTag, "%s: cannot read the file", name);
    size_t size = ResSize(id);
    if (size <= SHAPEM_BUFFER_SIZE) out.assign((const uint8_t*)ResPeek(id), (const uint8_t*)ResPeek(id) + size);
    ResFree(id);
    if (size > SHAPEM_BUFFER_SIZE) return ShapeRefuse(kLogTag, "%s is larger than the edit buffer", name);
    return 0;
}

int ShapeMTakeIn(ResId id)
{
    if (!shapeEdit.installed) return ShapeRefuse(kLogTag, "the shape manager is not installed");
    std::vector<uint8_t> raw;
    if (RawBlock(id, raw)) return 1;
    char why[160];
    if (!ShapeCheck(raw.data(), raw.size(), why, sizeof why)) return ShapeRefuse(kLogTag, "not a shape file: %s", why);

    ShapeBlock s = ShapeMScratch();
    memcpy(s.data, raw.data(), raw.size());
    if (ShapeConvertInPlace(&s)) return ShapeRefuse(kLogTag, "not a shape file: %s", ShapeLastError());
    ShapeBindMaterials(s.data, SHAPE_NAME_CHARS);
    if (ShapeRebuildNameTable(&s)) return ShapeRefuse(kLogTag, "no room for the material name table");
    ShapeAllFaceNormals(&s);
    ShapeDerive(s.data);
    ClearSelection(s.data);
    ShapeMCommitScratch(&s);
    return 0;
}

// Reads a whole shape file into a new resource; 0 after a refusal. A file larger than the
// edit buffer is refused before anything is read.
static ResId ReadFile(const char* fileName)
{
    if (!fileName) {
        ShapeRefuse(kLogTag, "no file name");
        return 0;
    }
    ResId id = LoadFileToRes(fileName, SHAPEM_BUFFER_SIZE, "a shape file");
    if (!id) ShapeRefuse(kLogTag, "%s: %s", fileName, *FileRefusal() ? FileRefusal() : "cannot read the file");
    return id;
}

int ShapeMLoadFile(const char* fileName)
{
    ResId id = ReadFile(fileName);
    if (!id) return 1;
    int r = ShapeMTakeIn(id);
    ResFree(id);
    return r;
}

// Shifts every stored coordinate of a vertex record array right (arithmetically).
static void ShiftStored(uint8_t* records, int count, int shift)
{
    if (shift > 15) shift = 15;
    for (int i = 0; i < count; i++)
        for (int a = 0; a < 3; a++) {
            uint8_t* c = records + (size_t)i * SHAPE_VERTEX_SIZE + 2 * a;
            PutI16(c, 0, (int16_t)(GetI16(c, 0) >> shift));
        }
}

// The merged file's polygons carry its own material ids, which mean names through its own
// table. Each is given the material of that name, or, where no loaded material has it, an
// entry of the edited shape's table under an id no entry there uses, so the polygon is drawn
// with the Dummy and saved under its name. A polygon whose id has no name takes the Dummy.
struct MergedNames {
    std::vector<uint16_t> values;               // one a merged polygon
    std::vector<uint8_t> newEntries;            // SHAPE_NAME_ENTRY_SIZE bytes each
};

static const uint8_t* FileNameEntry(uint8_t* m, uint16_t id)
{
    int count = ShapeNameCount(m);
    uint8_t* first = ShapeNames(m);
    for (int pass = 0; pass < 2 && first; pass++) {
        const uint8_t* e = first;
        for (int i = 0; i < count; i++, e += SHAPE_NAME_ENTRY_SIZE)
            if (pass == 0 ? GetU16(e, NAME_ID) == id : ((GetU16(e, NAME_ID) ^ id) & MAT_ID_MASK) == 0) return e;
    }
    return nullptr;
}

static MergedNames BindMergedNames(uint8_t* m, uint8_t* e)
{
    MergedNames out;
    std::vector<bool> taken(MAT_ID_MASK + 1, false);
    const uint8_t* entry = ShapeNames(e);
    for (int i = 0, n = ShapeNameCount(e); entry && i < n; i++, entry += SHAPE_NAME_ENTRY_SIZE)
        taken[GetU16(entry, NAME_ID) & MAT_ID_MASK] = true;
    uint8_t* poly = ShapeFirstPolygon(e);
    for (int i = 0, n = ShapePolygonCount(e); i < n; i++, poly = ShapeNextPolygon(poly))
        if (GetU16(poly, POLY_MATERIAL) & MAT_UNRESOLVED) taken[GetU16(poly, POLY_MATERIAL) & MAT_ID_MASK] = true;
    uint32_t nextFree = 0;

    poly = ShapeFirstPolygon(m);
    for (int i = 0, n = ShapePolygonCount(m); i < n; i++, poly = ShapeNextPolygon(poly)) {
        const uint8_t* named = FileNameEntry(m, GetU16(poly, POLY_MATERIAL));
        int found = named ? ShapeNameEntryMaterial(named, SHAPE_NAME_CHARS) : 0;
        if (found != IM_NONE) {
            out.values.push_back((uint16_t)found);
            continue;
        }
        size_t k = 0;
        for (; k < out.newEntries.size(); k += SHAPE_NAME_ENTRY_SIZE)
            if (memcmp(&out.newEntries[k] + NAME_TEXT, named + NAME_TEXT, SHAPE_NAME_CHARS) == 0) break;
        if (k == out.newEntries.size()) {
            // A name the edited shape already keeps unresolved shares its entry.
            const uint8_t* kept = ShapeNames(e);
            int keptCount = ShapeNameCount(e), j = 0;
            for (; kept && j < keptCount; j++, kept += SHAPE_NAME_ENTRY_SIZE)
                if ((GetU16(kept, NAME_ID) & MAT_UNRESOLVED) && memcmp(kept + NAME_TEXT, named + NAME_TEXT, SHAPE_NAME_CHARS) == 0)
                    break;
            if (kept && j < keptCount) {
                out.values.push_back(GetU16(kept, NAME_ID));
                continue;
            }
            while (nextFree <= MAT_ID_MASK && taken[nextFree]) nextFree++;
            taken[nextFree & MAT_ID_MASK] = true;
            out.newEntries.resize(k + SHAPE_NAME_ENTRY_SIZE);
            memcpy(&out.newEntries[k] + NAME_TEXT, named + NAME_TEXT, SHAPE_NAME_CHARS);
            PutU16(&out.newEntries[k], NAME_ID, (uint16_t)(MAT_UNRESOLVED | (nextFree & MAT_ID_MASK)));
        }
        out.values.push_back(GetU16(&out.newEntries[k], NAME_ID));
    }
    return out;
}

// Appends entries to the block's name table (made when it has none).
static void AppendNameEntries(ShapeBlock* s, const std::vector<uint8_t>& entries)
{
    if (entries.empty()) return;
    uint8_t* b = s->data;
    uint32_t table = GetU32(b, SH_NAMES);
    if (!table) {
        table = ShapeUsedSize(b);
        ShapeInsert(s, table, 2);
        PutU32(b, SH_NAMES, table);
    }
    int count = ShapeNameCount(b);
    ShapeInsert(s, table + 2 + SHAPE_NAME_ENTRY_SIZE * (uint32_t)count, (uint32_t)entries.size());
    memcpy(b + table + 2 + SHAPE_NAME_ENTRY_SIZE * count, entries.data(), entries.size());
    PutU16(b, table, (uint16_t)(count + entries.size() / SHAPE_NAME_ENTRY_SIZE));
}

int ShapeMMerge(ResId id)
{
    if (!shapeEdit.installed) return ShapeRefuse(kLogTag, "the shape manager is not installed");
    std::vector<uint8_t> m;
    if (RawBlock(id, m)) return 1;
    char why[160];
    if (!ShapeCheck(m.data(), m.size(), why, sizeof why)) return ShapeRefuse(kLogTag, "not a shape file: %s", why);
    if (ShapeVersion(m.data()) != SHAPE_VERSION)
        return ShapeRefuse(kLogTag, "only shapes of the current format (version %d) can be merged; this one is version %d",
                      SHAPE_VERSION, ShapeVersion(m.data()));

    uint8_t* e = shapeEdit.block.data;
    int n = ShapeVertexCount(m.data());
    int mp = ShapePolygonCount(m.data());
    if (ShapeVertexCount(e) == 0 || ShapePolygonCount(e) == 0 || n == 0) return 2;
    if (ShapeVertexCount(e) + n > SHAPE_MAX_COUNT || ShapePolygonCount(e) + mp > SHAPE_MAX_COUNT)
        return ShapeRefuse(kLogTag, "the merged shape would have more than %d vertices or polygons", SHAPE_MAX_COUNT);
    uint32_t polyBytes = mp ? ShapePolygonSectionLength(m.data()) - 2 : 0;
    MergedNames names = BindMergedNames(m.data(), e);
    uint32_t tableBytes = (uint32_t)names.newEntries.size() + (GetU32(e, SH_NAMES) ? 0 : 2);
    if ((uint64_t)ShapeUsedSize(e) + (uint64_t)n * SHAPE_VERTEX_SIZE + polyBytes + tableBytes > shapeEdit.block.capacity)
        return ShapeRefuse(kLogTag, "the merged shape would not fit the edit buffer");

    ShapeMSaveUndo();
    int undoWas = shapeEdit.undoOn;
    shapeEdit.undoOn = 0;

    // Both shapes go to the coarser shift; the finer one loses its low bits.
    std::vector<uint8_t> verts(m.data() + GetU32(m.data(), SH_VERTICES) + 2,
                               m.data() + GetU32(m.data(), SH_VERTICES) + 2 + (size_t)n * SHAPE_VERTEX_SIZE);
    int se = ShapeShift(e), smv = ShapeShift(m.data());
    if (se > smv) ShiftStored(verts.data(), n, se - smv);
    if (smv > se) {
        ShiftStored(ShapeVertex(e, 0), ShapeVertexCount(e), smv - se);
        PutU16(e, SH_SHIFT, (uint16_t)smv);
    }

    uint8_t* poly = ShapeFirstPolygon(e);
    for (int i = 0, count = ShapePolygonCount(e); i < count; i++, poly = ShapeNextPolygon(poly)) {
        uint8_t* idx = ShapePolyIndices(poly);
        for (int k = 0; k < ShapePolyPoints(poly); k++) PutU16(idx, 2 * k, (uint16_t)(GetU16(idx, 2 * k) + n));
    }
    ClearSelection(e);
    uint32_t at = GetU32(e, SH_VERTICES) + 2;
    ShapeInsert(&shapeEdit.block, at, (uint32_t)n * SHAPE_VERTEX_SIZE);
    memcpy(e + at, verts.data(), verts.size());
    PutU16(e, GetU32(e, SH_VERTICES), (uint16_t)(GetU16(e, GetU32(e, SH_VERTICES)) + n));
    for (int i = 0; i < n; i++) {
        uint8_t* v = ShapeVertex(e, i);
        PutU16(v, VERT_FLAGS, GetU16(v, VERT_FLAGS) | VF_SELECTED);
    }

    if (mp) {
        at = GetU32(e, SH_POLYGONS) + 2;
        ShapeInsert(&shapeEdit.block, at, polyBytes);
        memcpy(e + at, m.data() + GetU32(m.data(), SH_POLYGONS) + 2, polyBytes);
        PutU16(e, GetU32(e, SH_POLYGONS), (uint16_t)(GetU16(e, GetU32(e, SH_POLYGONS)) + mp));
        poly = ShapeFirstPolygon(e);
        for (int i = 0; i < mp; i++, poly = ShapeNextPolygon(poly)) {
            PutU16(poly, POLY_FLAGS, GetU16(poly, POLY_FLAGS) | PF_SELECTED);
            PutU16(poly, POLY_MATERIAL, names.values[(size_t)i]);
        }
        AppendNameEntries(&shapeEdit.block, names.newEntries);
        // Drops the entries no polygon uses any more; it fits, having no more names than now.
        ShapeRebuildNameTable(&shapeEdit.block);
        e = shapeEdit.block.data;
    }

    shapeEdit.undoOn = undoWas;
    ShapeAllFaceNormals(&shapeEdit.block);
    ShapeDerive(e);
    return 0;
}

int ShapeMMergeFile(const char* fileName)
{
    ResId id = ReadFile(fileName);
    if (!id) return 1;
    int r = ShapeMMerge(id);
    ResFree(id);
    return r;
}

// ============================================================================================
// Optimise
// ============================================================================================

// Removes the first repeated vertex index of a polygon (the earlier of the pair).
static void RemoveRepeat(ShapeBlock* s, uint8_t* poly)
{
    int n = ShapePolyPoints(poly);
    int at = -1;
    for (int i = 0; i < n && at < 0; i++)
        for (int j = i + 1; j < n; j++)
            if (ShapePolyIndex(poly, i) == ShapePolyIndex(poly, j)) {
                at = i;
                break;
            }
    if (at >= 0) ShapeRemovePolyPoint(s, (uint32_t)(poly - s->data), at);
}

// Deletes the vertices whose map entry is -1 and renumbers every polygon through the map
// (new index of each kept vertex). No polygon may use a deleted vertex.
static void CompactVertices(ShapeBlock* s, const std::vector<int>& map)
{
    uint8_t* b = s->data;
    int n = ShapeVertexCount(b);
    int kept = 0;
    for (int i = 0; i < n; i++)
        if (map[i] >= 0) {
            if (kept != i) memmove(ShapeVertex(b, kept), ShapeVertex(b, i), SHAPE_VERTEX_SIZE);
            kept++;
        }
    if (kept == n) return;
    uint8_t* poly = ShapeFirstPolygon(b);
    for (int i = 0, count = ShapePolygonCount(b); i < count; i++, poly = ShapeNextPolygon(poly)) {
        uint8_t* idx = ShapePolyIndices(poly);
        for (int k = 0; k < ShapePolyPoints(poly); k++) PutU16(idx, 2 * k, (uint16_t)map[GetU16(idx, 2 * k)]);
    }
    uint32_t section = GetU32(b, SH_VERTICES);
    ShapeRemove(s, section + 2 + (uint32_t)kept * SHAPE_VERTEX_SIZE, (uint32_t)(n - kept) * SHAPE_VERTEX_SIZE);
    PutU16(b, section, (uint16_t)kept);
    // The count word stays, unreferenced, when the last vertex goes.
    if (kept == 0) PutU32(b, SH_VERTICES, 0);
}

void ShapeMOptimise(int removeRepeats)
{
    if (!shapeEdit.installed) return;
    ShapeBlock* s = &shapeEdit.block;
    uint8_t* b = s->data;
    ShapeMSaveUndo();

    int polygons = ShapePolygonCount(b);
    uint8_t* poly = ShapeFirstPolygon(b);
    for (int i = 0; removeRepeats && i < polygons; i++, poly = ShapeNextPolygon(poly))
        if (ShapePolyPoints(poly) >= 2) RemoveRepeat(s, poly);

    // Unused vertices without a point name go.
    int n = ShapeVertexCount(b);
    std::vector<int> used((size_t)n, 0), map((size_t)n);
    poly = ShapeFirstPolygon(b);
    for (int i = 0; i < polygons; i++, poly = ShapeNextPolygon(poly))
        for (int k = 0; k < ShapePolyPoints(poly); k++) used[ShapePolyIndex(poly, k)] = 1;
    for (int i = 0, next = 0; i < n; i++) map[i] = used[i] || ShapePointName(b, i) ? next++ : -1;
    CompactVertices(s, map);

    // Weld: each use of a vertex goes to the first vertex at its position; the others go
    // unless named.
    n = ShapeVertexCount(b);
    std::unordered_map<uint64_t, int> firstAt;
    std::vector<int> target((size_t)n);
    for (int i = 0; i < n; i++) {
        const uint8_t* v = ShapeVertex(b, i);
        uint64_t key = (uint64_t)GetU16(v, VERT_COORDS) | ((uint64_t)GetU16(v, VERT_COORDS + 2) << 16) |
                       ((uint64_t)GetU16(v, VERT_COORDS + 4) << 32);
        target[i] = firstAt.emplace(key, i).first->second;
    }
    poly = ShapeFirstPolygon(b);
    for (int i = 0; i < polygons; i++, poly = ShapeNextPolygon(poly)) {
        uint8_t* idx = ShapePolyIndices(poly);
        for (int k = 0; k < ShapePolyPoints(poly); k++) PutU16(idx, 2 * k, (uint16_t)target[GetU16(idx, 2 * k)]);
    }
    map.assign((size_t)n, -1);
    for (int i = 0, next = 0; i < n; i++)
        if (target[i] == i || ShapePointName(b, i)) map[i] = next++;
    CompactVertices(s, map);

    ShapeAllFaceNormals(s);
    ShapeDerive(b);
}

// ============================================================================================
// Writing
// ============================================================================================

static int PrepareBlock(ShapeBlock* block)
{
    if (ShapeRebuildNameTable(block)) return ShapeRefuse(kLogTag, "no room for the material name table");
    ShapeDerive(block->data);
    ShapeAllFaceNormals(block);
    // Every save carries freshly smoothed per-point normals.
    if (MeshSmoothAll(block)) return ShapeRefuse(kLogTag, "no room for the per-point normals");
    return 0;
}

int ShapeMPrepareForWriting(ResId* id, uint32_t* size)
{
    if (!shapeEdit.installed) return ShapeRefuse(kLogTag, "the shape manager is not installed");
    if (PrepareBlock(&shapeEdit.block)) return 1;
    if (id) *id = shapeEdit.edit;
    if (size) *size = ShapeUsedSize(shapeEdit.block.data);
    return 0;
}

int ShapeMPrepareCopy(uint8_t* dest, uint32_t capacity, uint32_t* size)
{
    if (!shapeEdit.installed) return ShapeRefuse(kLogTag, "the shape manager is not installed");
    uint32_t used = ShapeUsedSize(shapeEdit.block.data);
    if (used > capacity) return ShapeRefuse(kLogTag, "the copy has no room for the shape");
    memcpy(dest, shapeEdit.block.data, used);
    ShapeBlock copy{dest, capacity};
    if (PrepareBlock(&copy)) return 1;
    if (size) *size = ShapeUsedSize(dest);
    return 0;
}

int ShapeMFileIsForeign(const char* fileName)
{
    int64_t size = fileName ? FileSize(fileName) : -1;
    if (size <= 0) return 0;
    if (size > SHAPEM_BUFFER_SIZE) return 1;
    std::vector<uint8_t> data((size_t)size);
    // What cannot be read cannot be told from a shape: the write will meet the same fault.
    if (FileReadAt(fileName, 0, data.data(), data.size()) != 0) return 0;
    char why[160];
    return ShapeCheck(data.data(), data.size(), why, sizeof why) ? 0 : 1;
}

int ShapeMSave(const char* fileName)
{
    if (ShapeMFileIsForeign(fileName)) return ShapeRefuse(kLogTag, "%s is not a shape file; it is not written over", fileName);
    uint32_t size = 0;
    if (ShapeMPrepareForWriting(nullptr, &size)) return 1;
    if (FileSaveWithBackup(fileName, shapeEdit.block.data, size)) return ShapeRefuse(kLogTag, "%s: cannot write the file", fileName);
    return 0;
}
