// Prepared shapes: every "SHP" resource, once loaded, is checked, converted to the current
// version and rebuilt in place as a prepared shape (flat vertex arrays and one draw record
// per triangle or quad), and its materials are bound by name; a change of the material table
// binds every loaded shape again. A damaged file fails the load instead of ending the program.
#include "shapes/shapem.h"

#include <cstring>
#include <unordered_map>
#include <vector>

#include "base/bytes.h"
#include "base/maths.h"
#include "materials/intmat.h"
#include "shapes/refusal.h"

static const char kLogTag[] = "SHAPEM";   // prefix of the shape manager's refusals in the log

// Off only while ShapeMLoadUnprepared reads a file as it is.
static int prepareOnLoad = 1;

const char* ShapeMLastError(void) { return ShapeRefusal(); }

// ============================================================================================
// Header and arrays
// ============================================================================================

// The resources this module prepared, with the header each holds: data that merely begins
// with the magic (a file can) is never taken for a prepared shape and its "arrays" freed.
static std::unordered_map<ResId, ShapePrep*> preparedHeaders;

int ShapeMIsPrepared(ResId id) { return ShapeMPrepared(id) != nullptr; }

ShapePrep* ShapeMPrepared(ResId id)
{
    if (!id || !ResIsInstalled() || ResLoad(id)) return nullptr;
    auto it = preparedHeaders.find(id);
    if (it == preparedHeaders.end() || ResSize(id) < sizeof(ShapePrep) || ResPeek(id) != it->second) return nullptr;
    return it->second->magic == PREPARED_MAGIC ? it->second : nullptr;
}

// The release routine of a prepared shape: frees the arrays. Raw data is left alone, so a
// stale callback on a resource reloaded unprepared does no harm.
static void ReleasePrepared(ResId id)
{
    auto it = preparedHeaders.find(id);
    if (it == preparedHeaders.end()) return;
    ShapePrep* p = it->second;
    preparedHeaders.erase(it);
    if (!ResIsInstalled() || ResIsLoaded(id) != 0 || ResPeek(id) != p || p->magic != PREPARED_MAGIC) return;
    void* arrays[] = {p->recordOffsets, p->records, p->named, p->names, p->vertices, p->fvertices, p->nameIds};
    for (void* a : arrays)
        if (a) ResFreeMem(a);
    memset(p, 0, sizeof *p);
}

// Makes room for `need` elements; the room doubles so that appending stays cheap.
static bool Reserve(void** array, int32_t* room, int64_t need, size_t elem)
{
    if (need <= *room) return true;
    if (need > (1 << 24)) return false;
    int64_t r = *room ? *room : 16;
    while (r < need) r *= 2;
    void* n = ResReallocMem(*array, (size_t)r * elem);
    if (!n) return false;
    *array = n;
    *room = (int32_t)r;
    return true;
}

static int AppendVertex(ShapePrep* p, int32_t x, int32_t y, int32_t z)
{
    int32_t room = p->vertexRoom;
    if (!Reserve((void**)&p->vertices, &room, p->vertexCount + 1, 12)) return -1;
    room = p->vertexRoom;
    if (!Reserve((void**)&p->fvertices, &room, p->vertexCount + 1, 12)) return -1;
    p->vertexRoom = room;
    int i = p->vertexCount++;
    p->vertices[3 * i] = x;
    p->vertices[3 * i + 1] = y;
    p->vertices[3 * i + 2] = z;
    p->fvertices[3 * i] = (float)x;
    p->fvertices[3 * i + 1] = (float)y;
    p->fvertices[3 * i + 2] = (float)z;
    return i;
}

static bool AppendNamed(ShapePrep* p, uint32_t name, int vertex)
{
    if (!Reserve((void**)&p->named, &p->namedRoom, p->namedCount + 1, 8)) return false;
    p->named[2 * p->namedCount] = name;
    p->named[2 * p->namedCount + 1] = (uint32_t)vertex;
    p->namedCount++;
    return true;
}

// A new zeroed record of `length` bytes at the end of the record block, or null.
static uint8_t* NewRecord(ShapePrep* p, uint32_t length)
{
    if (!Reserve((void**)&p->recordOffsets, &p->recordRoom, p->recordCount + 1, 4)) return nullptr;
    int32_t room = (int32_t)p->recordBytesRoom;
    if (!Reserve((void**)&p->records, &room, (int64_t)p->recordBytes + length, 1)) return nullptr;
    p->recordBytesRoom = (uint32_t)room;
    uint8_t* rec = p->records + p->recordBytes;
    memset(rec, 0, length);
    PutU32(rec, PR_LENGTH, length);
    p->recordOffsets[p->recordCount++] = p->recordBytes;
    p->recordBytes += length;
    return rec;
}

// One triangle part of a record: the polygon points pts[0..2] at `base` (0, or PR_SECOND).
static void FillPart(uint8_t* rec, int base, const int pts[3], const int32_t* indices, const int16_t* normals,
                     const int16_t* mapping, int material)
{
    const float unit = 1.0f / 16384.0f;
    for (int k = 0; k < 3; k++) {
        int q = pts[k];
        PutU32(rec, base + PR_INDEX + 4 * k, (uint32_t)indices[q]);
        if (mapping) {
            PutF32(rec, base + PR_UV + 8 * k, mapping[2 * q] * unit);
            PutF32(rec, base + PR_UV + 8 * k + 4, mapping[2 * q + 1] * unit);
        }
        if (normals)
            for (int a = 0; a < 3; a++) PutF32(rec, base + PR_POINT_NORMALS + 12 * k + 4 * a, normals[3 * q + a] * unit);
    }
    PutU32(rec, base + PR_TABLE_ID, (uint32_t)material & MAT_ID_MASK);
    PutU32(rec, base + PR_MATERIAL, (uint32_t)material);
    PutU32(rec, base + PR_CARRIES, (mapping ? PR_HAS_MAPPING : 0) | (normals ? PR_HAS_NORMALS : 0));
}

static uint8_t* RecordAt(ShapePrep* p, int index) { return p->records + p->recordOffsets[index]; }

// ============================================================================================
// Queries and updates
// ============================================================================================

int ShapeMVertexCount(ResId id)
{
    ShapePrep* p = ShapeMPrepared(id);
    return p ? p->vertexCount : 0;
}

int ShapeMRecordCount(ResId id)
{
    ShapePrep* p = ShapeMPrepared(id);
    return p ? p->recordCount : 0;
}

int32_t ShapeMRadius(ResId id)
{
    ShapePrep* p = ShapeMPrepared(id);
    return p ? p->radius : 0;
}

static int32_t BoxField(ResId id, int i)
{
    ShapePrep* p = ShapeMPrepared(id);
    if (p) return p->box[i];
    return i < 3 ? SHAPE_BOX_EMPTY_MIN : SHAPE_BOX_EMPTY_MAX;
}

int32_t ShapeMMinX(ResId id) { return BoxField(id, 0); }
int32_t ShapeMMinY(ResId id) { return BoxField(id, 1); }
int32_t ShapeMMinZ(ResId id) { return BoxField(id, 2); }
int32_t ShapeMMaxX(ResId id) { return BoxField(id, 3); }
int32_t ShapeMMaxY(ResId id) { return BoxField(id, 4); }
int32_t ShapeMMaxZ(ResId id) { return BoxField(id, 5); }

int32_t* ShapeMVertex(ResId id, int index)
{
    ShapePrep* p = ShapeMPrepared(id);
    if (!p || index < 0 || index >= p->vertexCount) return nullptr;
    return p->vertices + 3 * index;
}

float* ShapeMVertexF(ResId id, int index)
{
    ShapePrep* p = ShapeMPrepared(id);
    if (!p || index < 0 || index >= p->vertexCount) return nullptr;
    return p->fvertices + 3 * index;
}

int ShapeMSetVertex(ResId id, int index, int32_t x, int32_t y, int32_t z)
{
    ShapePrep* p = ShapeMPrepared(id);
    if (!p || index < 0 || index >= p->vertexCount) return 0;
    int32_t v[3] = {x, y, z};
    for (int a = 0; a < 3; a++) {
        p->vertices[3 * index + a] = v[a];
        p->fvertices[3 * index + a] = (float)v[a];
    }
    return 1;
}

int ShapeMAddVertex(ResId id, int32_t x, int32_t y, int32_t z, int reuse)
{
    ShapePrep* p = ShapeMPrepared(id);
    if (!p) return -1;
    if (reuse)
        for (int i = 0; i < p->vertexCount; i++)
            if (p->vertices[3 * i] == x && p->vertices[3 * i + 1] == y && p->vertices[3 * i + 2] == z) return i;
    int i = AppendVertex(p, x, y, z);
    if (i < 0) return -1;
    int32_t v[3] = {x, y, z};
    for (int a = 0; a < 3; a++) {
        if (v[a] < p->box[a]) p->box[a] = v[a];
        if (v[a] > p->box[3 + a]) p->box[3 + a] = v[a];
    }
    uint32_t length = IntSqrt((uint64_t)((int64_t)x * x) + (uint64_t)((int64_t)y * y) + (uint64_t)((int64_t)z * z));
    if (length > 0x7FFFFFFFu) length = 0x7FFFFFFFu;
    if ((int32_t)length > p->radius) p->radius = (int32_t)length;
    return i;
}

int ShapeMAddNamedVertex(ResId id, uint32_t name, int32_t x, int32_t y, int32_t z)
{
    int i = ShapeMAddVertex(id, x, y, z, 0);
    if (i < 0) return -1;
    if (!AppendNamed(ShapeMPrepared(id), name, i)) return -1;
    return i;
}

int ShapeMNamedVertex(ResId id, uint32_t name)
{
    ShapePrep* p = ShapeMPrepared(id);
    if (!p) return -1;
    for (int i = 0; i < p->namedCount; i++)
        if (p->named[2 * i] == name) return (int)p->named[2 * i + 1];
    return -1;
}

uint8_t* ShapeMRecord(ResId id, int index)
{
    ShapePrep* p = ShapeMPrepared(id);
    if (!p || index < 0 || index >= p->recordCount) return nullptr;
    return RecordAt(p, index);
}

static int AddPolygon(ShapePrep* p, int material, int n, const int32_t* indices, const int16_t* normals,
                      const int16_t* mapping, uint16_t flags, const int16_t* faceNormal)
{
    if (n < 3 || !indices) return -1;
    for (int k = 0; k < n; k++)
        if (indices[k] < 0 || indices[k] >= p->vertexCount) return -1;
    int parts = n == 4 ? 1 : n - 2;
    for (int t = 0; t < parts; t++) {
        uint8_t* rec = NewRecord(p, n == 4 ? PR_QUAD_SIZE : PR_TRIANGLE_SIZE);
        if (!rec) return -1;
        PutU32(rec, PR_FLAGS, flags);
        if (faceNormal)
            for (int a = 0; a < 3; a++) PutI16(rec, PR_NORMAL + 2 * a, faceNormal[a]);
        if (n == 4) {
            const int first[3] = {0, 1, 2}, second[3] = {3, 0, 2};
            FillPart(rec, 0, first, indices, normals, mapping, material);
            FillPart(rec, PR_SECOND, second, indices, normals, mapping, material);
        } else {
            const int pts[3] = {0, t + 1, t + 2};
            FillPart(rec, 0, pts, indices, normals, mapping, material);
        }
    }
    return p->recordCount - 1;
}

int ShapeMAddPolygon(ResId id, int material, int n, const int32_t* indices, const int16_t* normals,
                     const int16_t* mapping, uint16_t flags, const int16_t* faceNormal)
{
    ShapePrep* p = ShapeMPrepared(id);
    if (!p) return -1;
    return AddPolygon(p, material, n, indices, normals, mapping, flags, faceNormal);
}

// The face normal of the first three points: unit(P2 - P1) x unit(P0 - P1), as a unit vector.
static void TriangleNormal(ShapePrep* p, const int32_t* indices, int16_t out[3])
{
    const int32_t* v0 = p->vertices + 3 * indices[0];
    const int32_t* v1 = p->vertices + 3 * indices[1];
    const int32_t* v2 = p->vertices + 3 * indices[2];
    int16_t a[3], b[3];
    UnitVector(v2[0] - v1[0], v2[1] - v1[1], v2[2] - v1[2], a);
    UnitVector(v0[0] - v1[0], v0[1] - v1[1], v0[2] - v1[2], b);
    int32_t cx = a[1] * b[2] - a[2] * b[1];
    int32_t cy = a[2] * b[0] - a[0] * b[2];
    int32_t cz = a[0] * b[1] - a[1] * b[0];
    UnitVector(cx, cy, cz, out);
}

static int AddFaceted(ResId id, int material, int n, const int32_t* indices, const int16_t* mapping)
{
    ShapePrep* p = ShapeMPrepared(id);
    if (!p) return -1;
    int first = p->recordCount;
    int last = AddPolygon(p, material, n, indices, nullptr, mapping, 0, nullptr);
    if (last < 0) return -1;
    int16_t normal[3];
    TriangleNormal(p, indices, normal);
    for (int a = 0; a < 3; a++) PutI16(RecordAt(p, first), PR_NORMAL + 2 * a, normal[a]);
    return last;
}

int ShapeMAddTriangle(ResId id, int material, const int32_t indices[3], const int16_t* mapping)
{
    return AddFaceted(id, material, 3, indices, mapping);
}

int ShapeMAddQuad(ResId id, int material, const int32_t indices[4], const int16_t* mapping)
{
    return AddFaceted(id, material, 4, indices, mapping);
}

int ShapeMSetQuadMapping(ResId id, int record, const int16_t uv[8])
{
    uint8_t* rec = ShapeMRecord(id, record);
    if (!rec || !uv || GetU32(rec, PR_LENGTH) != PR_QUAD_SIZE || !(GetU32(rec, PR_CARRIES) & PR_HAS_MAPPING)) return 1;
    const float unit = 1.0f / 16384.0f;
    const int first[3] = {0, 1, 2}, second[3] = {3, 0, 2};
    for (int k = 0; k < 3; k++)
        for (int c = 0; c < 2; c++) {
            PutF32(rec, PR_UV + 8 * k + 4 * c, uv[2 * first[k] + c] * unit);
            PutF32(rec, PR_SECOND + PR_UV + 8 * k + 4 * c, uv[2 * second[k] + c] * unit);
        }
    return 0;
}

void ShapeMBaseFootprint(ResId id, int32_t out[4])
{
    out[0] = out[1] = SHAPE_BOX_EMPTY_MIN;
    out[2] = out[3] = SHAPE_BOX_EMPTY_MAX;
    ShapePrep* p = ShapeMPrepared(id);
    if (!p || p->vertexCount == 0) return;
    int32_t low = p->vertices[1];
    for (int i = 1; i < p->vertexCount; i++)
        if (p->vertices[3 * i + 1] < low) low = p->vertices[3 * i + 1];
    for (int i = 0; i < p->vertexCount; i++) {
        const int32_t* v = p->vertices + 3 * i;
        int64_t dy = (int64_t)v[1] - low;
        if (dy < -255 || dy > 255) continue;
        if (v[0] < out[0]) out[0] = v[0];
        if (v[2] < out[1]) out[1] = v[2];
        if (v[0] > out[2]) out[2] = v[0];
        if (v[2] > out[3]) out[3] = v[2];
    }
}

// ============================================================================================
// Binding materials
// ============================================================================================

void ShapeMBindMaterials(ResId id)
{
    ShapePrep* p = ShapeMPrepared(id);
    if (!p) return;
    std::vector<int> found((size_t)p->nameCount);
    std::unordered_map<uint32_t, int> entryOfId;
    for (int e = 0; e < p->nameCount; e++) {
        found[e] = ShapeNameEntryMaterial(p->names + (size_t)e * SHAPE_NAME_ENTRY_SIZE, SHAPE_PREPARED_NAME_CHARS);
        entryOfId.emplace(p->nameIds[e] & MAT_ID_MASK, e);   // the first entry of an id wins
    }
    for (int r = 0; r < p->recordCount; r++) {
        uint8_t* rec = RecordAt(p, r);
        auto it = entryOfId.find(GetU32(rec, PR_TABLE_ID) & MAT_ID_MASK);
        int index = it != entryOfId.end() ? found[it->second] : IM_NONE;
        uint32_t material = index != IM_NONE ? (uint32_t)index : (GetU32(rec, PR_MATERIAL) | MAT_UNRESOLVED);
        PutU32(rec, PR_MATERIAL, material);
        if (GetU32(rec, PR_LENGTH) == PR_QUAD_SIZE) PutU32(rec, PR_QUAD_MATERIAL, material);
    }
    for (int e = 0; e < p->nameCount; e++)
        if (found[e] != IM_NONE) PutU16(p->names + (size_t)e * SHAPE_NAME_ENTRY_SIZE, NAME_ID, (uint16_t)found[e]);
}

static void RebindOne(ResId id)
{
    if (ShapeMIsPrepared(id)) ShapeMBindMaterials(id);
}

static void MaterialsChanged(void) { ResForEachType("shp", RebindOne); }

// ============================================================================================
// The load hook
// ============================================================================================

// Rebuilds a resource holding a checked version 16 block as a prepared shape. 0, or 1 with
// everything it allocated freed.
static int Prepare(ResId id)
{
    const uint8_t* d = (const uint8_t*)ResPeek(id);
    uint32_t used = ShapeUsedSize(d);
    uint8_t* b = (uint8_t*)ResAllocMem(used);
    if (!b) return ShapeRefuse(kLogTag, "out of memory to load shape");
    memcpy(b, d, used);

    if (ResResize(id, sizeof(ShapePrep))) {
        ResFreeMem(b);
        return ShapeRefuse(kLogTag, "out of memory to load shape");
    }
    ShapePrep* p = (ShapePrep*)ResPeek(id);
    memset(p, 0, sizeof *p);
    p->magic = PREPARED_MAGIC;
    preparedHeaders[id] = p;
    p->radius = GetI32(b, SH_RADIUS);
    for (int a = 0; a < 3; a++) {
        p->box[a] = GetI32(b, SH_MIN + 4 * a);
        p->box[3 + a] = GetI32(b, SH_MAX + 4 * a);
    }
    ResSetFreeCallback(id, ReleasePrepared);

    bool ok = true;
    int vertices = ShapeVertexCount(b);
    for (int i = 0; ok && i < vertices; i++) {
        int32_t pos[3];
        ShapeVertexPos(b, i, pos);
        ok = AppendVertex(p, pos[0], pos[1], pos[2]) >= 0;
    }
    for (int i = 0; ok && i < vertices; i++)
        if (ShapePointName(b, i)) ok = AppendNamed(p, ShapePointName(b, i), i);

    std::vector<int32_t> indices;
    std::vector<int16_t> normals, mapping;
    uint8_t* poly = ShapeFirstPolygon(b);
    for (int i = 0, count = ShapePolygonCount(b); ok && i < count; i++, poly = ShapeNextPolygon(poly)) {
        int n = ShapePolyPoints(poly);
        indices.resize((size_t)n);
        for (int k = 0; k < n; k++) indices[k] = ShapePolyIndex(poly, k);
        const uint8_t* nb = ShapePolyNormals(poly);
        const uint8_t* mb = ShapePolyMapping(poly);
        normals.resize(nb ? (size_t)n * 3 : 0);
        mapping.resize(mb ? (size_t)n * 2 : 0);
        for (size_t k = 0; k < normals.size(); k++) normals[k] = GetI16(nb, 2 * k);
        for (size_t k = 0; k < mapping.size(); k++) mapping[k] = GetI16(mb, 2 * k);
        int16_t face[3] = {GetI16(poly, POLY_NORMAL), GetI16(poly, POLY_NORMAL + 2), GetI16(poly, POLY_NORMAL + 4)};
        // A polygon of fewer than 3 points adds nothing; that is not a failure.
        if (n >= 3)
            ok = AddPolygon(p, GetU16(poly, POLY_MATERIAL) & MAT_ID_MASK, n, indices.data(), nb ? normals.data() : nullptr,
                            mb ? mapping.data() : nullptr, GetU16(poly, POLY_FLAGS), face) >= 0;
    }

    int count = ShapeNameCount(b);
    if (ok && count > 0) {
        const uint8_t* names = ShapeNames(b);
        p->names = (uint8_t*)ResAllocMem((size_t)count * SHAPE_NAME_ENTRY_SIZE);
        p->nameIds = (uint16_t*)ResAllocMem((size_t)count * 2);
        ok = p->names && p->nameIds;
        if (ok) {
            memcpy(p->names, names, (size_t)count * SHAPE_NAME_ENTRY_SIZE);
            for (int e = 0; e < count; e++) p->nameIds[e] = GetU16(names, (size_t)e * SHAPE_NAME_ENTRY_SIZE + NAME_ID);
            p->nameCount = count;
        }
    }
    ResFreeMem(b);
    if (!ok) {
        ReleasePrepared(id);
        ResSetFreeCallback(id, nullptr);
        return ShapeRefuse(kLogTag, "out of memory to load shape");
    }
    return 0;
}

// Load hook of "SHP" resources: convert, prepare, bind. Refusing fails the load; a damaged
// file never gets further than the check.
static int LoadHook(ResId id)
{
    if (!prepareOnLoad) {
        ResSetFreeCallback(id, nullptr);
        return 0;
    }
    return ShapeMPrepareBlock(id);
}

int ShapeMPrepareBlock(ResId id)
{
    // ShapeLoad checks the file before it converts; the result is checked again before
    // Prepare reads it.
    const char* name = ResName(id) ? ResName(id) : "shape";
    if (ShapeLoad(id)) return ShapeRefuse(kLogTag, "%s: not a shape file (%s)", name, ShapeLastError());
    char why[160];
    if (!ShapeCheck((const uint8_t*)ResPeek(id), ResSize(id), why, sizeof why))
        return ShapeRefuse(kLogTag, "%s: not a shape file once converted (%s)", name, why);
    if (Prepare(id)) return 1;
    ShapeMBindMaterials(id);
    return 0;
}

void ShapeMResourceInstall(void)
{
    // Each registration ignores a repeat, so a second install changes nothing.
    ResRegisterType("shp", LoadHook, ReleasePrepared, SHAPE_MAX_FILE_SIZE);
    IntMatAddChangeHandler(MaterialsChanged);
}


int ShapeMLoadUnprepared(ResId id)
{
    int was = prepareOnLoad;
    prepareOnLoad = 0;
    int failed = ResLoad(id);
    prepareOnLoad = was;
    return failed;
}
