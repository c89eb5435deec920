// Mesh editing operations on the edit buffer: whole-shape edits, smoothing, sphere and cuboid
// creation, the Mesh Transform steps, polygon and vertex edits, selection and picking.
#include "shapes/mesh.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "base/bytes.h"
#include "base/maths.h"
#include "materials/matm.h"
#include "shapes/shapem_edit.h"

// ============================================================================================
// Shared helpers
// ============================================================================================

static ShapeBlock* Edit(void) { return ShapeMEdit(); }

// A compound operation saves the undo copy once and keeps its inner steps from saving again.
static int BeginSteps(void)
{
    ShapeMSaveUndo();
    int was = ShapeMUndoOn();
    ShapeMSetUndo(0);
    return was;
}

static void EndSteps(int was) { ShapeMSetUndo(was); }

static bool FitsWorld(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

static bool HasRoom(const ShapeBlock* s, uint64_t bytes) { return ShapeUsedSize(s->data) + bytes <= s->capacity; }

static bool VertexSelected(const uint8_t* b, int v) { return ShapeVertexFlags(b, v) & VF_SELECTED; }
static bool PolygonSelected(const uint8_t* p) { return GetU16(p, POLY_FLAGS) & PF_SELECTED; }

static void VertexPos64(const uint8_t* b, int v, int64_t out[3])
{
    int32_t p[3];
    ShapeVertexPos(b, v, p);
    for (int a = 0; a < 3; a++) out[a] = p[a];
}

// Face normals (removing polygons of fewer than 3 points), then derived values and shift.
static void Finish(ShapeBlock* s)
{
    ShapeAllFaceNormals(s);
    ShapeDerive(s->data);
}

// The vertices an index names: that one, or with MESH_SELECTED every selected one.
static std::vector<int> VerticesOf(const uint8_t* b, int vertex)
{
    std::vector<int> list;
    int count = ShapeVertexCount(b);
    if (vertex == MESH_SELECTED) {
        for (int i = 0; i < count; i++)
            if (VertexSelected(b, i)) list.push_back(i);
    } else if (vertex >= 0 && vertex < count) {
        list.push_back(vertex);
    }
    return list;
}

// The one vertex an index names: that one, or the single selected vertex; -1 otherwise.
static int OneVertex(const uint8_t* b, int vertex)
{
    if (vertex != MESH_SELECTED) return vertex >= 0 && vertex < ShapeVertexCount(b) ? vertex : -1;
    std::vector<int> list = VerticesOf(b, MESH_SELECTED);
    return list.size() == 1 ? list[0] : -1;
}

// Byte offsets of every polygon record, in order.
static std::vector<uint32_t> PolygonOffsets(uint8_t* b)
{
    std::vector<uint32_t> list;
    int count = ShapePolygonCount(b);
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < count; i++, p = ShapeNextPolygon(p)) list.push_back((uint32_t)(p - b));
    return list;
}

// The polygons an index names, as indices in order.
static std::vector<int> PolygonsOf(uint8_t* b, int polygon)
{
    std::vector<int> list;
    int count = ShapePolygonCount(b);
    if (polygon == MESH_SELECTED) {
        uint8_t* p = ShapeFirstPolygon(b);
        for (int i = 0; i < count; i++, p = ShapeNextPolygon(p))
            if (PolygonSelected(p)) list.push_back(i);
    } else if (polygon >= 0 && polygon < count) {
        list.push_back(polygon);
    }
    return list;
}

// Writes a world value back through the write-back rule (a value outside 32 bits is never
// passed: callers check first).
static void WriteCoord(uint8_t* b, int v, int axis, int64_t value) { ShapeWriteCoord(b, v, axis, (int32_t)value); }

static void SwapBytes(uint8_t* a, uint8_t* b, int n)
{
    for (int i = 0; i < n; i++) std::swap(a[i], b[i]);
}

// Reverses a polygon's points in place: indices and mapping pairs, and the per-point normals
// when asked (they are not negated).
static void ReversePoints(uint8_t* p, bool normalsToo)
{
    int n = ShapePolyPoints(p);
    uint8_t* idx = ShapePolyIndices(p);
    uint8_t* normals = normalsToo ? ShapePolyNormals(p) : nullptr;
    uint8_t* mapping = ShapePolyMapping(p);
    for (int i = 0, j = n - 1; i < j; i++, j--) {
        SwapBytes(idx + 2 * i, idx + 2 * j, 2);
        if (normals) SwapBytes(normals + 6 * i, normals + 6 * j, 6);
        if (mapping) SwapBytes(mapping + 4 * i, mapping + 4 * j, 4);
    }
}

static void RemovePolygonAt(ShapeBlock* s, uint32_t pos)
{
    uint8_t* b = s->data;
    uint32_t section = GetU32(b, SH_POLYGONS);
    int count = ShapePolygonCount(b);
    ShapeRemove(s, pos, ShapePolygonLength(b + pos));
    PutU16(b, section, (uint16_t)(count - 1));
    if (count - 1 == 0) PutU32(b, SH_POLYGONS, 0);
}

static bool VertexInUse(uint8_t* b, int v)
{
    int count = ShapePolygonCount(b);
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < count; i++, p = ShapeNextPolygon(p))
        for (int k = 0; k < ShapePolyPoints(p); k++)
            if (ShapePolyIndex(p, k) == v) return true;
    return false;
}

// Removes vertex v's record and lowers every polygon index above it.
static void RemoveVertexRecord(ShapeBlock* s, int v)
{
    uint8_t* b = s->data;
    uint32_t section = GetU32(b, SH_VERTICES);
    int count = ShapeVertexCount(b);
    ShapeRemove(s, section + 2 + SHAPE_VERTEX_SIZE * (uint32_t)v, SHAPE_VERTEX_SIZE);
    PutU16(b, section, (uint16_t)(count - 1));
    if (count - 1 == 0) PutU32(b, SH_VERTICES, 0);
    int polygons = ShapePolygonCount(b);
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < polygons; i++, p = ShapeNextPolygon(p)) {
        uint8_t* idx = ShapePolyIndices(p);
        for (int k = 0; k < ShapePolyPoints(p); k++) {
            int index = GetU16(idx, 2 * k);
            if (index > v) PutU16(idx, 2 * k, (uint16_t)(index - 1));
        }
    }
}

// P projected onto the plane through Q with unit normal N (1.0 = 16384):
// d = sum of ((P - Q) x N) >> 14, then P - ((d x N) >> 14) per axis.
static void ProjectOntoPlane(const int64_t p[3], const int64_t q[3], const int16_t n[3], int64_t out[3])
{
    int64_t d = 0;
    for (int a = 0; a < 3; a++) d += ((p[a] - q[a]) * n[a]) >> FIX_SHIFT;
    for (int a = 0; a < 3; a++) out[a] = p[a] - ((d * n[a]) >> FIX_SHIFT);
}

// Subtracts a world offset from one axis of a vertex: stored directly while the result fits
// the 16-bit stored range at the current shift, through the write-back rule when it does not.
static void OffsetCoord(uint8_t* b, int v, int axis, int64_t world)
{
    int64_t stored = world >> ShapeShift(b);
    if (stored >= INT16_MIN && stored <= INT16_MAX)
        PutI16(ShapeVertex(b, v), 2 * axis, (int16_t)stored);
    else
        WriteCoord(b, v, axis, world);
}

// ============================================================================================
// Whole shape
// ============================================================================================

void MeshMirror(int axis)
{
    ShapeBlock* s = Edit();
    uint8_t* b = s->data;
    if (axis < 0 || axis > 2) return;
    ShapeMSaveUndo();
    int vertices = ShapeVertexCount(b);
    for (int i = 0; i < vertices; i++) {
        uint8_t* v = ShapeVertex(b, i);
        PutI16(v, 2 * axis, (int16_t)-GetI16(v, 2 * axis));   // -(-32768) stays -32768
    }
    int polygons = ShapePolygonCount(b);
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < polygons; i++, p = ShapeNextPolygon(p)) {
        if (uint8_t* normals = ShapePolyNormals(p))
            for (int k = 0; k < ShapePolyPoints(p); k++)
                PutI16(normals, 6 * k + 2 * axis, (int16_t)-GetI16(normals, 6 * k + 2 * axis));
        ReversePoints(p, true);
    }
    ShapeDerive(b);
    ShapeAllFaceNormals(s);
}

void MeshCentre(void)
{
    ShapeBlock* s = Edit();
    uint8_t* b = s->data;
    int vertices = ShapeVertexCount(b);
    if (!vertices) return;
    ShapeMSaveUndo();
    ShapeDerive(b);
    int shift = ShapeShift(b);
    int64_t centre[3];
    for (int a = 0; a < 3; a++) {
        // The box centre in stored units, as an arithmetic shift of the sum.
        int64_t c = ((int64_t)GetI32(b, SH_MIN + 4 * a) + GetI32(b, SH_MAX + 4 * a)) >> (shift + 1);
        centre[a] = c * ((int64_t)1 << shift);
    }
    // Every vertex lies in the box, so every result lies within half its extent.
    for (int i = 0; i < vertices; i++)
        for (int a = 0; a < 3; a++) {
            int64_t p[3];
            VertexPos64(b, i, p);
            OffsetCoord(b, i, a, p[a] - centre[a]);
        }
    ShapeDerive(b);
    ShapeAllFaceNormals(s);
}

static bool ScaleIgnored(int percent) { return percent == 100 || percent <= 1 || percent >= 1000; }

// (v x (f >> 2)) >> 14 with f = 655 x p.
static int64_t Scaled(int64_t v, int percent) { return (v * ((MESH_SCALE_UNIT * (int64_t)percent) >> 2)) >> FIX_SHIFT; }

void MeshScale(int axis, int percent)
{
    ShapeBlock* s = Edit();
    uint8_t* b = s->data;
    if (ScaleIgnored(percent) || axis < MESH_ALL_AXES || axis > 2) return;
    int vertices = ShapeVertexCount(b);
    int first = axis == MESH_ALL_AXES ? 0 : axis, last = axis == MESH_ALL_AXES ? 2 : axis;
    std::vector<int64_t> to((size_t)vertices * 3);
    for (int i = 0; i < vertices; i++) {
        int64_t p[3];
        VertexPos64(b, i, p);
        for (int a = first; a <= last; a++) {
            to[3 * i + a] = Scaled(p[a], percent);
            if (!FitsWorld(to[3 * i + a])) return;
        }
    }
    ShapeMSaveUndo();
    for (int i = 0; i < vertices; i++)
        for (int a = first; a <= last; a++) WriteCoord(b, i, a, to[3 * i + a]);
    Finish(s);
}

void MeshSetMaxAngle(int degrees)
{
    ShapeBlock* s = Edit();
    if (degrees < 0 || degrees > MESH_MAX_ANGLE_DEGREES) return;
    ShapeMSaveUndo();
    // 180 degrees would be 32768, which the signed field holds as -32768; the nearest value it
    // can hold keeps the meaning.
    int32_t stored = (int32_t)((int64_t)degrees * 32768 / 180);
    PutI16(s->data, SH_MAXANGLE, (int16_t)(stored > INT16_MAX ? INT16_MAX : stored));
    MeshSmoothAll(s);
}

// Rounded, so that every whole degree set reads back as itself (truncating would turn 30 into
// 29 and 180 into 179).
int MeshMaxAngle(void)
{
    int32_t v = GetI16(Edit()->data, SH_MAXANGLE) * 180;
    return (v + (v < 0 ? -16384 : 16384)) / 32768;
}

// ============================================================================================
// Smoothing
// ============================================================================================

static bool SameVector(const int16_t* a, const int16_t* b) { return a[0] == b[0] && a[1] == b[1] && a[2] == b[2]; }
static int64_t Dot(const int16_t* a, const int16_t* b)
{
    return (int64_t)a[0] * b[0] + (int64_t)a[1] * b[1] + (int64_t)a[2] * b[2];
}

int MeshSmoothAll(ShapeBlock* s)
{
    uint8_t* b = s->data;
    int polygons = ShapePolygonCount(b);
    if (!polygons) return 0;

    uint64_t need = 0;
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < polygons; i++, p = ShapeNextPolygon(p))
        if (!ShapePolyNormals(p)) need += 6 * (uint64_t)ShapePolyPoints(p);
    if (!HasRoom(s, need)) return 1;
    uint32_t pos = GetU32(b, SH_POLYGONS) + 2;
    for (int i = 0; i < polygons; i++) {
        uint16_t word = GetU16(b, pos + POLY_COUNT_WORD);
        uint32_t n = word & PC_COUNT;
        if (!(word & PC_NORMALS)) {
            ShapeInsert(s, pos + POLY_HEAD + 2 * n, 6 * n);
            PutU16(b, pos + POLY_COUNT_WORD, (uint16_t)(word | PC_NORMALS));
        }
        pos += ShapePolygonLength(b + pos);
    }

    int angle = GetI16(b, SH_MAXANGLE);
    int32_t t = FixCos(angle ? angle : MESH_DEFAULT_ANGLE);
    if (t < -16256) t = -20480;   // every neighbour qualifies

    // The corners of each vertex in walk order (polygon by polygon, point by point), so that the
    // first 64 candidates are the first 64 corners the walk meets.
    int vertices = ShapeVertexCount(b);
    std::vector<int16_t> face((size_t)polygons * 3);
    std::vector<int> start((size_t)vertices + 1, 0), corner;
    p = ShapeFirstPolygon(b);
    for (int i = 0; i < polygons; i++, p = ShapeNextPolygon(p)) {
        for (int a = 0; a < 3; a++) face[3 * i + a] = GetI16(p, POLY_NORMAL + 2 * a);
        for (int k = 0; k < ShapePolyPoints(p); k++)
            if (ShapePolyIndex(p, k) < vertices) start[ShapePolyIndex(p, k) + 1]++;
    }
    for (int v = 0; v < vertices; v++) start[v + 1] += start[v];
    corner.resize((size_t)start[vertices]);
    std::vector<int> fill(start.begin(), start.end() - 1);
    p = ShapeFirstPolygon(b);
    for (int i = 0; i < polygons; i++, p = ShapeNextPolygon(p))
        for (int k = 0; k < ShapePolyPoints(p); k++)
            if (ShapePolyIndex(p, k) < vertices) corner[(size_t)fill[ShapePolyIndex(p, k)]++] = i;

    p = ShapeFirstPolygon(b);
    for (int i = 0; i < polygons; i++, p = ShapeNextPolygon(p)) {
        const int16_t* n = &face[3 * i];
        uint8_t* normals = ShapePolyNormals(p);
        for (int k = 0; k < ShapePolyPoints(p); k++) {
            int v = ShapePolyIndex(p, k);
            const int16_t* m[MESH_SMOOTH_CANDIDATES];
            int32_t d[MESH_SMOOTH_CANDIDATES];
            bool dropped[MESH_SMOOTH_CANDIDATES] = {};
            int count = 0;
            for (int c = v < vertices ? start[v] : 0; v < vertices && c < start[v + 1]; c++) {
                const int16_t* other = &face[3 * corner[(size_t)c]];
                int32_t dot = SameVector(other, n) ? FIX_ONE : (int32_t)(Dot(other, n) >> FIX_SHIFT);
                if (dot < t || dot > 20480) continue;
                if (count == MESH_SMOOTH_CANDIDATES) break;
                m[count] = other;
                d[count++] = dot;
            }
            // Of two opposite faces (a thin sheet seen from both sides) only the one nearer the
            // polygon's own side counts; a dropped candidate drops nothing more.
            for (int x = 0; x < count; x++)
                for (int y = x + 1; y < count && !dropped[x]; y++) {
                    if (dropped[y] || SameVector(m[x], m[y])) continue;
                    if ((Dot(m[x], m[y]) >> FIX_SHIFT) < -16320) dropped[d[y] < d[x] ? y : x] = true;
                }
            int32_t sum[3] = {0, 0, 0};
            for (int c = 0; c < count; c++)
                if (!dropped[c])
                    for (int a = 0; a < 3; a++) sum[a] += m[c][a];
            int16_t unit[3];
            UnitVector(sum[0], sum[1], sum[2], unit);
            for (int a = 0; a < 3; a++) PutI16(normals, 6 * k + 2 * a, unit[a]);
        }
    }
    return 0;
}

// ============================================================================================
// Creating objects
// ============================================================================================

// Gives the polygon at pos (without mapping) a mapping block of n U, V pairs. The caller made
// sure of the room.
static void AddMapping(ShapeBlock* s, uint32_t pos, const int16_t* uv)
{
    uint8_t* b = s->data;
    uint32_t len = ShapePolygonLength(b + pos);
    uint16_t word = GetU16(b, pos + POLY_COUNT_WORD);
    uint32_t n = word & PC_COUNT;
    ShapeInsert(s, pos + len, 4 * n);
    PutU16(b, pos + POLY_COUNT_WORD, (uint16_t)(word | PC_MAPPING));
    for (uint32_t k = 0; k < 2 * n; k++) PutI16(b, pos + len + 2 * k, uv[k]);
}

// Room for a new shape of these counts, prepared for writing: vertices, polygons with
// per-point normals and mapping, and a name table of one material.
static bool FitsNewShape(const ShapeBlock* s, int vertices, int polygons, int points)
{
    uint64_t need = SHAPE_HEADER_SIZE + 2 + (uint64_t)vertices * SHAPE_VERTEX_SIZE + 2 +
                    (uint64_t)polygons * (POLY_HEAD + 12 * (uint64_t)points) + 2 + SHAPE_NAME_ENTRY_SIZE;
    return need <= s->capacity;
}

// A size times a unit coordinate as large as `unit` stays in 32 bits.
static bool SizeFits(int32_t size, int32_t unit) { return size >= 1 && FitsWorld(((int64_t)size * unit) >> FIX_SHIFT); }

int MeshCreateSphere(int32_t sizeX, int32_t sizeY, int32_t sizeZ, int random)
{
    ShapeBlock* s = Edit();
    int32_t reach = FIX_ONE + (random ? MESH_SPHERE_JITTER : 0);
    if (!SizeFits(sizeX, reach) || !SizeFits(sizeY, reach) || !SizeFits(sizeZ, reach)) return 1;
    if (!FitsNewShape(s, MESH_SPHERE_VERTICES, MESH_SPHERE_TRIANGLES, 3)) return 1;
    ShapeMNew();
    int was = ShapeMUndoOn();
    ShapeMSetUndo(0);
    const int32_t size[3] = {sizeX, sizeY, sizeZ};
    for (int i = 0; i < MESH_SPHERE_VERTICES; i++) {
        int64_t p[3];
        for (int a = 0; a < 3; a++) {
            int32_t unit = kMeshSphereVertices[i][a];
            if (random) unit -= Rand(0, MESH_SPHERE_JITTER);
            p[a] = ((int64_t)size[a] * unit) >> FIX_SHIFT;
        }
        ShapeAppendVertex(s, (int32_t)p[0], (int32_t)p[1], (int32_t)p[2]);
    }
    uint16_t material = (uint16_t)MatMCurrent();
    for (int t = 0; t < MESH_SPHERE_TRIANGLES; t++) {
        int index = ShapeAppendPolygon(s, 3, kMeshSphereTriangles[t], material);
        AddMapping(s, (uint32_t)(ShapePolygon(s->data, index) - s->data), kMeshSphereMapping[t]);
    }
    ShapeMPrepareForWriting(nullptr, nullptr);
    ShapeMSetUndo(was);
    return 0;
}

int MeshCreateCuboid(int32_t sizeX, int32_t sizeY, int32_t sizeZ)
{
    ShapeBlock* s = Edit();
    if (sizeX < 1 || sizeY < 1 || sizeZ < 1) return 1;
    if (!FitsNewShape(s, 8, 6, 4)) return 1;
    ShapeMNew();
    int was = ShapeMUndoOn();
    ShapeMSetUndo(0);
    // Corner i has the high value of X, Y, Z for its bits 0, 1, 2. An odd size puts the extra
    // unit on the high side.
    const int32_t size[3] = {sizeX, sizeY, sizeZ};
    int32_t lo[3], hi[3];
    for (int a = 0; a < 3; a++) {
        lo[a] = -(size[a] / 2);
        hi[a] = size[a] - size[a] / 2;
    }
    for (int i = 0; i < 8; i++)
        ShapeAppendVertex(s, (i & 1) ? hi[0] : lo[0], (i & 2) ? hi[1] : lo[1], (i & 4) ? hi[2] : lo[2]);
    // +X, -X, +Y, -Y, +Z, -Z, each turning so that (P1 - P0) x (P2 - P0) points outward.
    static const uint16_t faces[6][4] = {{1, 3, 7, 5}, {0, 4, 6, 2}, {2, 6, 7, 3},
                                         {0, 1, 5, 4}, {4, 5, 7, 6}, {0, 2, 3, 1}};
    uint16_t material = (uint16_t)MatMCurrent();
    for (int f = 0; f < 6; f++) ShapeAppendPolygon(s, 4, faces[f], material);
    ShapeMPrepareForWriting(nullptr, nullptr);
    ShapeMSetUndo(was);
    return 0;
}

// ============================================================================================
// Selected mesh: cutting loose, centre, Mesh Transform
// ============================================================================================

// The vertices that a selection step moves: the selected ones and those of selected polygons.
static std::vector<char> LooseVertices(uint8_t* b)
{
    int vertices = ShapeVertexCount(b);
    std::vector<char> mark((size_t)vertices, 0);
    for (int i = 0; i < vertices; i++) mark[i] = VertexSelected(b, i);
    int polygons = ShapePolygonCount(b);
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < polygons; i++, p = ShapeNextPolygon(p))
        if (PolygonSelected(p))
            for (int k = 0; k < ShapePolyPoints(p); k++)
                if (ShapePolyIndex(p, k) < vertices) mark[ShapePolyIndex(p, k)] = 1;
    return mark;
}

static uint64_t PositionKey(const uint8_t* b, int v)
{
    const uint8_t* r = ShapeVertex((uint8_t*)b, v);
    return (uint64_t)GetU16(r, VERT_COORDS) | ((uint64_t)GetU16(r, VERT_COORDS + 2) << 16) |
           ((uint64_t)GetU16(r, VERT_COORDS + 4) << 32);
}

// What cutting loose will do: for each redirected point (in walk order) the vertex it gets,
// where indices from the vertex count up are vertices still to be appended, copies of the
// vertex listed in `copies`.
struct LoosePlan {
    std::vector<int> targets;
    std::vector<int> copies;
};

static LoosePlan PlanCutLoose(uint8_t* b, const std::vector<char>& loose)
{
    LoosePlan plan;
    int vertices = ShapeVertexCount(b);
    // Positions compare in stored units: one shift for the whole block.
    std::unordered_map<uint64_t, int> twin;
    for (int i = 0; i < vertices; i++)
        if (!loose[i]) twin.emplace(PositionKey(b, i), i);
    int polygons = ShapePolygonCount(b);
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < polygons; i++, p = ShapeNextPolygon(p)) {
        if (PolygonSelected(p)) continue;
        for (int k = 0; k < ShapePolyPoints(p); k++) {
            int v = ShapePolyIndex(p, k);
            if (v >= vertices || !loose[v]) continue;
            auto [at, added] = twin.emplace(PositionKey(b, v), vertices + (int)plan.copies.size());
            if (added) plan.copies.push_back(v);
            plan.targets.push_back(at->second);
        }
    }
    return plan;
}

static bool CutLooseFits(const ShapeBlock* s, const LoosePlan& plan)
{
    size_t copies = plan.copies.size();
    return ShapeVertexCount(s->data) + copies <= SHAPE_MAX_COUNT && HasRoom(s, copies * SHAPE_VERTEX_SIZE);
}

static void ApplyCutLoose(ShapeBlock* s, const std::vector<char>& loose, const LoosePlan& plan)
{
    uint8_t* b = s->data;
    int vertices = ShapeVertexCount(b);
    for (int i = 0; i < vertices; i++)
        if (loose[i]) {
            uint8_t* v = ShapeVertex(b, i);
            PutU16(v, VERT_FLAGS, (uint16_t)(GetU16(v, VERT_FLAGS) | VF_SELECTED));
        }
    // The copies take the stored coordinates as they are: the same position, and no change of
    // the shift for anyone.
    for (int source : plan.copies) {
        int index = ShapeAppendVertex(s, 0, 0, 0);
        memcpy(ShapeVertex(b, index), ShapeVertex(b, source), 6);
    }
    size_t next = 0;
    int polygons = ShapePolygonCount(b);
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < polygons; i++, p = ShapeNextPolygon(p)) {
        if (PolygonSelected(p)) continue;
        uint8_t* idx = ShapePolyIndices(p);
        for (int k = 0; k < ShapePolyPoints(p); k++) {
            int v = GetU16(idx, 2 * k);
            if (v < vertices && loose[v]) PutU16(idx, 2 * k, (uint16_t)plan.targets[next++]);
        }
    }
}

int MeshCutLoose(void)
{
    ShapeBlock* s = Edit();
    std::vector<char> loose = LooseVertices(s->data);
    LoosePlan plan = PlanCutLoose(s->data, loose);
    if (!CutLooseFits(s, plan)) return 1;
    ShapeMSaveUndo();
    ApplyCutLoose(s, loose, plan);
    return 0;
}

static bool CentreOf(const uint8_t* b, const std::vector<char>& mark, int64_t out[3])
{
    int64_t lo[3] = {INT64_MAX, INT64_MAX, INT64_MAX}, hi[3] = {INT64_MIN, INT64_MIN, INT64_MIN};
    bool any = false;
    for (size_t i = 0; i < mark.size(); i++) {
        if (!mark[i]) continue;
        int64_t p[3];
        VertexPos64(b, (int)i, p);
        for (int a = 0; a < 3; a++) {
            lo[a] = std::min(lo[a], p[a]);
            hi[a] = std::max(hi[a], p[a]);
        }
        any = true;
    }
    if (any)
        for (int a = 0; a < 3; a++) out[a] = (lo[a] + hi[a]) / 2;   // truncating toward zero
    return any;
}

int MeshSelectionCentre(int32_t out[3])
{
    uint8_t* b = Edit()->data;
    std::vector<char> mark((size_t)ShapeVertexCount(b));
    for (size_t i = 0; i < mark.size(); i++) mark[i] = VertexSelected(b, (int)i);
    int64_t c[3];
    if (!CentreOf(b, mark, c)) return 0;
    for (int a = 0; a < 3; a++) out[a] = (int32_t)c[a];
    return 1;
}

enum StepKind { STEP_RESCALE, STEP_PITCH, STEP_ROLL, STEP_YAW, STEP_REFLECT };

// Where a selected vertex goes: p and the centre in world units.
static void StepMove(StepKind kind, int param, const int64_t p[3], const int64_t centre[3], int64_t out[3])
{
    int64_t r[3] = {p[0] - centre[0], p[1] - centre[1], p[2] - centre[2]};
    int32_t angle = MESH_DEGREE * param, c = FixCos(angle), sn = FixSin(angle);
    auto turn = [&](int u, int w) {   // u' = u cos + w sin, w' = w cos - u sin
        int64_t nu = ((r[u] * c) >> FIX_SHIFT) + ((r[w] * sn) >> FIX_SHIFT);
        int64_t nw = ((r[w] * c) >> FIX_SHIFT) - ((r[u] * sn) >> FIX_SHIFT);
        r[u] = nu;
        r[w] = nw;
    };
    switch (kind) {
    case STEP_RESCALE:
        for (int a = 0; a < 3; a++) r[a] = Scaled(r[a], param);
        break;
    case STEP_PITCH: turn(MESH_Y, MESH_Z); break;
    case STEP_ROLL: turn(MESH_X, MESH_Y); break;
    case STEP_YAW: turn(MESH_X, MESH_Z); break;
    case STEP_REFLECT:
        // About the origin, not the centre.
        for (int a = 0; a < 3; a++) out[a] = a == param ? -p[a] : p[a];
        return;
    }
    for (int a = 0; a < 3; a++) out[a] = centre[a] + r[a];
}

// One Mesh Transform step: cut loose, move every selected vertex, finish. Refused (nothing
// changes) when a result would pass 32 bits or the cut would not fit.
static void SelectionStep(StepKind kind, int param)
{
    ShapeBlock* s = Edit();
    uint8_t* b = s->data;
    std::vector<char> loose = LooseVertices(b);
    int64_t centre[3];
    if (!CentreOf(b, loose, centre)) return;
    std::vector<int64_t> to(loose.size() * 3);
    for (size_t i = 0; i < loose.size(); i++) {
        if (!loose[i]) continue;
        int64_t p[3];
        VertexPos64(b, (int)i, p);
        StepMove(kind, param, p, centre, &to[3 * i]);
        for (int a = 0; a < 3; a++)
            if (!FitsWorld(to[3 * i + a])) return;
    }
    LoosePlan plan = PlanCutLoose(b, loose);
    if (!CutLooseFits(s, plan)) return;

    int was = BeginSteps();
    ApplyCutLoose(s, loose, plan);
    for (size_t i = 0; i < loose.size(); i++) {
        if (!loose[i]) continue;
        for (int a = 0; a < 3; a++) {
            int64_t p[3];
            VertexPos64(b, (int)i, p);
            // An axis that does not move is not written: writing it could only lose bits.
            if (to[3 * i + a] != p[a]) WriteCoord(b, (int)i, a, to[3 * i + a]);
        }
    }
    if (kind == STEP_REFLECT) {
        int polygons = ShapePolygonCount(b);
        uint8_t* p = ShapeFirstPolygon(b);
        for (int i = 0; i < polygons; i++, p = ShapeNextPolygon(p)) {
            if (!PolygonSelected(p)) continue;
            // The per-point normals go with their points and reflect with them, so that the
            // shading stays right until the next smoothing.
            if (uint8_t* normals = ShapePolyNormals(p))
                for (int k = 0; k < ShapePolyPoints(p); k++)
                    PutI16(normals, 6 * k + 2 * param, (int16_t)-GetI16(normals, 6 * k + 2 * param));
            ReversePoints(p, true);
        }
    }
    EndSteps(was);
    Finish(s);
}

void MeshRescaleSelection(int percent)
{
    if (!ScaleIgnored(percent)) SelectionStep(STEP_RESCALE, percent);
}

static bool AngleUsed(int degrees) { return degrees > 0 && degrees < 360; }

void MeshPitch(int degrees)
{
    if (AngleUsed(degrees)) SelectionStep(STEP_PITCH, degrees);
}

void MeshRoll(int degrees)
{
    if (AngleUsed(degrees)) SelectionStep(STEP_ROLL, degrees);
}

void MeshYaw(int degrees)
{
    if (AngleUsed(degrees)) SelectionStep(STEP_YAW, degrees);
}

void MeshReflect(int axis)
{
    if (axis >= 0 && axis <= 2) SelectionStep(STEP_REFLECT, axis);
}

void MeshTransform(int rescale, int pitch, int roll, int yaw, int reflectAxes)
{
    int was = BeginSteps();
    MeshRescaleSelection(rescale);
    MeshPitch(pitch);
    MeshRoll(roll);
    MeshYaw(yaw);
    for (int a = 0; a < 3; a++)
        if (reflectAxes & (1 << a)) MeshReflect(a);
    EndSteps(was);
}

// ============================================================================================
// Polygons
// ============================================================================================

void MeshDeletePolygon(int polygon)
{
    ShapeBlock* s = Edit();
    std::vector<int> list = PolygonsOf(s->data, polygon);
    if (list.empty()) return;
    ShapeMSaveUndo();
    std::vector<uint32_t> offsets = PolygonOffsets(s->data);
    // From the last, so that the earlier records stay where they are.
    for (size_t i = list.size(); i-- > 0;) RemovePolygonAt(s, offsets[(size_t)list[i]]);
}

void MeshDeleteVertex(int vertex)
{
    ShapeBlock* s = Edit();
    uint8_t* b = s->data;
    bool saved = false;
    auto tryDelete = [&](int v) {
        if (ShapePointName(b, v) || VertexInUse(b, v)) return false;
        if (!saved) ShapeMSaveUndo();
        saved = true;
        RemoveVertexRecord(s, v);
        return true;
    };
    if (vertex != MESH_SELECTED) {
        if (vertex >= 0 && vertex < ShapeVertexCount(b)) tryDelete(vertex);
        return;
    }
    // Each selected vertex is tried once, in order: after a deletion the next one has moved
    // into the same index.
    for (int i = 0; i < ShapeVertexCount(b);)
        if (!VertexSelected(b, i) || !tryDelete(i)) i++;
}

void MeshDeleteSelection(void)
{
    int was = BeginSteps();
    MeshDeletePolygon(MESH_SELECTED);
    MeshDeleteVertex(MESH_SELECTED);
    EndSteps(was);
}

// Applies fn to the record of every polygon an index names, after saving the undo copy.
template <typename Fn> static void ForPolygons(int polygon, Fn fn)
{
    uint8_t* b = Edit()->data;
    std::vector<int> list = PolygonsOf(b, polygon);
    if (list.empty()) return;
    ShapeMSaveUndo();
    std::vector<uint32_t> offsets = PolygonOffsets(b);
    for (int i : list) fn(b + offsets[(size_t)i]);
}

void MeshSetMaterial(int polygon, int material)
{
    if (material < 0 || material > 0xFFFF) return;
    ForPolygons(polygon, [&](uint8_t* p) { PutU16(p, POLY_MATERIAL, (uint16_t)material); });
}

void MeshToggleHidden(int polygon)
{
    ForPolygons(polygon, [](uint8_t* p) { PutU16(p, POLY_FLAGS, (uint16_t)(GetU16(p, POLY_FLAGS) ^ PF_HIDDEN)); });
}

void MeshToggleMarked(int polygon)
{
    ForPolygons(polygon, [](uint8_t* p) { PutU16(p, POLY_FLAGS, (uint16_t)(GetU16(p, POLY_FLAGS) ^ PF_MARKED)); });
}

void MeshInvert(int polygon)
{
    uint8_t* b = Edit()->data;
    // The stored face normal must turn with the points, or the polygon would face the old way.
    ForPolygons(polygon, [&](uint8_t* p) {
        ReversePoints(p, true);
        ShapeFaceNormal(b, p);
    });
}

void MeshDouble(int polygon)
{
    ShapeBlock* s = Edit();
    uint8_t* b = s->data;
    std::vector<int> list = PolygonsOf(b, polygon);
    if (list.empty()) return;
    std::vector<uint32_t> offsets = PolygonOffsets(b);
    uint64_t need = 0;
    for (int i : list) {
        const uint8_t* p = b + offsets[(size_t)i];
        need += ShapePolygonLength(p) - (ShapePolyNormals((uint8_t*)p) ? 6 * (uint64_t)ShapePolyPoints(p) : 0);
    }
    int count = ShapePolygonCount(b);
    if (count + list.size() > SHAPE_MAX_COUNT || !HasRoom(s, need)) return;
    ShapeMSaveUndo();
    // From the last, so that the offsets of the earlier ones stay right; the copies are never
    // in the list, so none is doubled again.
    for (size_t j = list.size(); j-- > 0;) {
        uint32_t pos = offsets[(size_t)list[j]];
        uint32_t len = ShapePolygonLength(b + pos);
        ShapeInsert(s, pos + len, len);
        memcpy(b + pos + len, b + pos, len);
        ShapeDropPointNormals(s, pos + len);
        ReversePoints(b + pos + len, false);
    }
    PutU16(b, GetU32(b, SH_POLYGONS), (uint16_t)(count + list.size()));
    ShapeAllFaceNormals(s);
}

static bool SameNormal(const uint8_t* p, const uint8_t* q)
{
    return memcmp(p + POLY_NORMAL, q + POLY_NORMAL, 6) == 0;
}

static int MaterialForCompare(const uint8_t* p)
{
    uint16_t m = GetU16(p, POLY_MATERIAL);
    return (m & MAT_UNRESOLVED) ? 0 : m;
}

int MeshCombine(int first, int second)
{
    ShapeBlock* s = Edit();
    uint8_t* b = s->data;
    uint8_t* p = ShapePolygon(b, first);
    uint8_t* q = ShapePolygon(b, second);
    if (!p || !q || first == second) return 1;
    if (ShapePolyPoints(p) != 3 || ShapePolyPoints(q) != 3) return 1;
    if (MaterialForCompare(p) != MaterialForCompare(q)) return 1;
    if (!SameNormal(p, q)) {
        int64_t dot = 0;
        for (int a = 0; a < 3; a++) dot += (int64_t)GetI16(p, POLY_NORMAL + 2 * a) * GetI16(q, POLY_NORMAL + 2 * a);
        if ((dot >> FIX_SHIFT) < MESH_COMBINE_DOT) return 1;
    }
    const uint8_t* mp = ShapePolyMapping(p);
    const uint8_t* mq = ShapePolyMapping(q);
    bool mapped = mp && mq;
    // Edges of the first in point order; for each, the second's edges from the last to the
    // first; a match runs the other way.
    int e = -1, f = -1;
    for (int i = 0; i < 3 && e < 0; i++)
        for (int j = 2; j >= 0; j--) {
            int a = ShapePolyIndex(p, i), c = ShapePolyIndex(p, (i + 1) % 3);
            if (ShapePolyIndex(q, j) != c || ShapePolyIndex(q, (j + 1) % 3) != a) continue;
            if (mapped && (GetU32(mp, 4 * i) != GetU32(mq, 4 * ((j + 1) % 3)) ||
                           GetU32(mp, 4 * ((i + 1) % 3)) != GetU32(mq, 4 * j)))
                continue;
            e = i;
            f = j;
            break;
        }
    if (e < 0) return 1;

    // The quad: the first's point off the edge, the edge's first point, the second's far point,
    // the edge's second point.
    int from[4][2] = {{0, (e + 2) % 3}, {0, e}, {1, (f + 2) % 3}, {0, (e + 1) % 3}};
    uint16_t indices[4];
    int16_t uv[8];
    for (int k = 0; k < 4; k++) {
        const uint8_t* src = from[k][0] ? q : p;
        indices[k] = (uint16_t)ShapePolyIndex(src, from[k][1]);
        if (mapped) {
            const uint8_t* m = from[k][0] ? mq : mp;
            uv[2 * k] = GetI16(m, 4 * from[k][1]);
            uv[2 * k + 1] = GetI16(m, 4 * from[k][1] + 2);
        }
    }
    uint16_t material = GetU16(p, POLY_MATERIAL);

    ShapeMSaveUndo();
    uint32_t pos1 = (uint32_t)(p - b), pos2 = (uint32_t)(q - b);
    // The higher first, so that the lower stays where it is. Two triangles free more room than
    // the quad takes.
    RemovePolygonAt(s, std::max(pos1, pos2));
    RemovePolygonAt(s, std::min(pos1, pos2));
    int index = ShapeAppendPolygon(s, 4, indices, material);
    if (index >= 0 && mapped) AddMapping(s, (uint32_t)(ShapePolygon(b, index) - b), uv);
    ShapeAllFaceNormals(s);
    return 0;
}

void MeshFlatten(int polygon, int vertex)
{
    ShapeBlock* s = Edit();
    uint8_t* b = s->data;
    uint8_t* p = ShapePolygon(b, polygon);
    if (!p || ShapePolyPoints(p) != 4) return;
    int k = 3;
    if (vertex != MESH_SELECTED)
        for (k = 0; k < 4 && ShapePolyIndex(p, k) != vertex; k++) {
        }
    if (k == 4) return;
    int64_t q[3][3], point[3], to[3];
    for (int i = 0, j = 0; i < 4; i++)
        if (i != k) VertexPos64(b, ShapePolyIndex(p, i), q[j++]);
    int16_t n[3];
    ShapeNormalOfPoints(q[0], q[1], q[2], n);
    int v = ShapePolyIndex(p, k);
    VertexPos64(b, v, point);
    ProjectOntoPlane(point, q[0], n, to);
    for (int a = 0; a < 3; a++)
        if (!FitsWorld(to[a])) return;
    ShapeMSaveUndo();
    for (int a = 0; a < 3; a++) PutI16(p, POLY_NORMAL + 2 * a, n[a]);
    for (int a = 0; a < 3; a++) WriteCoord(b, v, a, to[a]);
    Finish(s);
}

void MeshRemovePoint(int polygon, int vertex)
{
    ShapeBlock* s = Edit();
    uint8_t* b = s->data;
    uint8_t* p = ShapePolygon(b, polygon);
    if (!p) return;
    int n = ShapePolyPoints(p), k = 0;
    while (k < n && ShapePolyIndex(p, k) != vertex) k++;
    if (k == n) return;
    ShapeMSaveUndo();
    ShapeRemovePolyPoint(s, (uint32_t)(p - b), k);
    // A polygon of fewer than three points goes now rather than at the next save.
    ShapeAllFaceNormals(s);
}

int MeshGetMapping(int polygon, int16_t* out)
{
    uint8_t* p = ShapePolygon(Edit()->data, polygon);
    const uint8_t* m = p ? ShapePolyMapping(p) : nullptr;
    if (!m) return 0;
    for (int k = 0; k < 2 * ShapePolyPoints(p); k++) out[k] = GetI16(m, 2 * (size_t)k);
    return 1;
}

int MeshSetMapping(int polygon, const int16_t* uv)
{
    ShapeBlock* s = Edit();
    uint8_t* b = s->data;
    uint8_t* p = ShapePolygon(b, polygon);
    if (!p) return 1;
    uint32_t pos = (uint32_t)(p - b);
    int n = ShapePolyPoints(p);
    uint8_t* m = ShapePolyMapping(p);
    if (!uv) {
        if (!m) return 0;
        ShapeMSaveUndo();
        ShapeRemove(s, (uint32_t)(m - b), 4 * (uint32_t)n);
        PutU16(b, pos + POLY_COUNT_WORD, (uint16_t)(GetU16(b, pos + POLY_COUNT_WORD) & ~PC_MAPPING));
        return 0;
    }
    if (!m && !HasRoom(s, 4 * (uint64_t)n)) return 1;
    ShapeMSaveUndo();
    if (!m) {
        AddMapping(s, pos, uv);
        return 0;
    }
    for (int k = 0; k < 2 * n; k++) PutI16(m, 2 * (size_t)k, uv[k]);
    return 0;
}

void MeshPlane(int vertex, int polygon)
{
    ShapeBlock* s = Edit();
    uint8_t* b = s->data;
    if (polygon == MESH_SELECTED) {
        std::vector<int> selected = PolygonsOf(b, MESH_SELECTED);
        if (selected.size() != 1) return;
        polygon = selected[0];
    }
    uint8_t* p = ShapePolygon(b, polygon);
    if (!p || ShapePolyPoints(p) < 3) return;
    int16_t n[3] = {GetI16(p, POLY_NORMAL), GetI16(p, POLY_NORMAL + 2), GetI16(p, POLY_NORMAL + 4)};
    if (!n[0] && !n[1] && !n[2]) return;
    int64_t q[3];
    VertexPos64(b, ShapePolyIndex(p, 0), q);
    std::vector<int> list = VerticesOf(b, vertex);
    if (list.empty()) return;
    // The plane is taken once, before any of its own points may move.
    std::vector<int64_t> to(list.size() * 3);
    for (size_t i = 0; i < list.size(); i++) {
        int64_t point[3];
        VertexPos64(b, list[i], point);
        ProjectOntoPlane(point, q, n, &to[3 * i]);
        for (int a = 0; a < 3; a++)
            if (!FitsWorld(to[3 * i + a])) return;
    }
    ShapeMSaveUndo();
    for (size_t i = 0; i < list.size(); i++)
        for (int a = 0; a < 3; a++) WriteCoord(b, list[i], a, to[3 * i + a]);
    Finish(s);
}

// ============================================================================================
// Vertices
// ============================================================================================

void MeshMerge(void)
{
    ShapeBlock* s = Edit();
    uint8_t* b = s->data;
    std::vector<int> selected = VerticesOf(b, MESH_SELECTED);
    if (selected.size() != 2) return;
    int a = selected[0], c = selected[1];
    ShapeMSaveUndo();
    memcpy(ShapeVertex(b, a), ShapeVertex(b, c), 8);   // position and flags word
    int polygons = ShapePolygonCount(b);
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < polygons; i++, p = ShapeNextPolygon(p)) {
        uint8_t* idx = ShapePolyIndices(p);
        for (int k = 0; k < ShapePolyPoints(p); k++)
            if (GetU16(idx, 2 * k) == c) PutU16(idx, 2 * k, (uint16_t)a);
    }
    if (!ShapePointName(b, c)) RemoveVertexRecord(s, c);
    Finish(s);
}

int MeshInterpolate(int a, int b2)
{
    ShapeBlock* s = Edit();
    uint8_t* b = s->data;
    if (a == MESH_SELECTED || b2 == MESH_SELECTED) {
        std::vector<int> selected = VerticesOf(b, MESH_SELECTED);
        if (selected.size() != 2) return -1;
        a = selected[0];
        b2 = selected[1];
    }
    int count = ShapeVertexCount(b);
    if (a < 0 || a >= count || b2 < 0 || b2 >= count) return -1;
    if (count >= SHAPE_MAX_COUNT || !HasRoom(s, SHAPE_VERTEX_SIZE)) return -1;
    int64_t pa[3], pb[3];
    VertexPos64(b, a, pa);
    VertexPos64(b, b2, pb);
    ShapeMSaveUndo();
    return ShapeAppendVertex(s, (int32_t)((pa[0] + pb[0]) / 2), (int32_t)((pa[1] + pb[1]) / 2),
                             (int32_t)((pa[2] + pb[2]) / 2));
}

void MeshMove(int vertex, int axis, int32_t delta)
{
    ShapeBlock* s = Edit();
    uint8_t* b = s->data;
    if (axis < 0 || axis > 2) return;
    std::vector<int> list = VerticesOf(b, vertex);
    if (list.empty()) return;
    std::vector<int64_t> to(list.size());
    for (size_t i = 0; i < list.size(); i++) {
        int64_t p[3];
        VertexPos64(b, list[i], p);
        to[i] = p[axis] + delta;
        if (!FitsWorld(to[i])) return;
    }
    ShapeMSaveUndo();
    for (size_t i = 0; i < list.size(); i++) WriteCoord(b, list[i], axis, to[i]);
    if (vertex != MESH_SELECTED) Finish(s);
}

void MeshMoveDone(void) { Finish(Edit()); }

static void CentreOn(int vertex, int firstAxis, int lastAxis)
{
    uint8_t* b = Edit()->data;
    int v = OneVertex(b, vertex);
    if (v < 0) return;
    int64_t pivot[3];
    VertexPos64(b, v, pivot);
    int vertices = ShapeVertexCount(b);
    for (int i = 0; i < vertices; i++) {
        int64_t p[3];
        VertexPos64(b, i, p);
        for (int a = firstAxis; a <= lastAxis; a++)
            if (!FitsWorld(p[a] - pivot[a])) return;
    }
    ShapeMSaveUndo();
    for (int i = 0; i < vertices; i++)
        for (int a = firstAxis; a <= lastAxis; a++) {
            int64_t p[3];
            VertexPos64(b, i, p);
            OffsetCoord(b, i, a, p[a] - pivot[a]);
        }
}

void MeshCentreOn(int vertex) { CentreOn(vertex, MESH_X, MESH_Z); }
void MeshCentreYOn(int vertex) { CentreOn(vertex, MESH_Y, MESH_Y); }

void MeshSetXZero(int vertex)
{
    ShapeBlock* s = Edit();
    std::vector<int> list = VerticesOf(s->data, vertex);
    if (list.empty()) return;
    ShapeMSaveUndo();
    for (int v : list) WriteCoord(s->data, v, MESH_X, 0);
    Finish(s);
}

void MeshPlaneXZ(int vertex)
{
    ShapeBlock* s = Edit();
    uint8_t* b = s->data;
    if (vertex < 0 || vertex >= ShapeVertexCount(b)) return;
    std::vector<int> list = VerticesOf(b, MESH_SELECTED);
    if (list.empty()) return;
    int32_t level[3];
    ShapeVertexPos(b, vertex, level);
    ShapeMSaveUndo();
    for (int v : list) WriteCoord(b, v, MESH_Y, level[MESH_Y]);
    Finish(s);
}

void MeshSetPosition(int vertex, int32_t x, int32_t y, int32_t z)
{
    ShapeBlock* s = Edit();
    uint8_t* b = s->data;
    if (vertex < 0 || vertex >= ShapeVertexCount(b)) return;
    ShapeMSaveUndo();
    WriteCoord(b, vertex, MESH_X, x);
    WriteCoord(b, vertex, MESH_Y, y);
    WriteCoord(b, vertex, MESH_Z, z);
    Finish(s);
}

void MeshSetPointName(int vertex, uint32_t name)
{
    uint8_t* b = Edit()->data;
    uint8_t* v = ShapeVertex(b, vertex);
    if (!v) return;
    uint32_t upper = 0;
    for (int i = 0; i < 4; i++) {
        uint32_t c = (name >> (8 * i)) & 0xFF;
        if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
        upper |= c << (8 * i);
    }
    ShapeMSaveUndo();
    PutU32(v, VERT_NAME, upper);
}

uint32_t MeshPointName(int vertex) { return ShapePointName(Edit()->data, vertex); }

// ============================================================================================
// Selection and picking
// ============================================================================================

static void SetVertexBit(uint8_t* b, int v, bool on)
{
    uint8_t* r = ShapeVertex(b, v);
    uint16_t flags = GetU16(r, VERT_FLAGS);
    PutU16(r, VERT_FLAGS, (uint16_t)(on ? flags | VF_SELECTED : flags & ~VF_SELECTED));
}

static void SetPolygonBit(uint8_t* p, bool on)
{
    uint16_t flags = GetU16(p, POLY_FLAGS);
    PutU16(p, POLY_FLAGS, (uint16_t)(on ? flags | PF_SELECTED : flags & ~PF_SELECTED));
}

void MeshSelectAllPolygons(int on)
{
    uint8_t* b = Edit()->data;
    ShapeMSaveUndo();
    int count = ShapePolygonCount(b);
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < count; i++, p = ShapeNextPolygon(p)) SetPolygonBit(p, on);
}

void MeshSelectAllVertices(int on)
{
    uint8_t* b = Edit()->data;
    ShapeMSaveUndo();
    for (int i = 0; i < ShapeVertexCount(b); i++) SetVertexBit(b, i, on);
}

void MeshInvertPolygonSelection(void)
{
    uint8_t* b = Edit()->data;
    ShapeMSaveUndo();
    int count = ShapePolygonCount(b);
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < count; i++, p = ShapeNextPolygon(p)) SetPolygonBit(p, !PolygonSelected(p));
}

void MeshSelectPolygon(int polygon, int on)
{
    if (uint8_t* p = ShapePolygon(Edit()->data, polygon)) SetPolygonBit(p, on);
}

void MeshSelectVertex(int vertex, int on)
{
    uint8_t* b = Edit()->data;
    if (ShapeVertex(b, vertex)) SetVertexBit(b, vertex, on);
}

int MeshSelectedPolygonCount(void) { return (int)PolygonsOf(Edit()->data, MESH_SELECTED).size(); }
int MeshSelectedVertexCount(void) { return (int)VerticesOf(Edit()->data, MESH_SELECTED).size(); }

int MeshFirstSelectedPolygon(void)
{
    std::vector<int> list = PolygonsOf(Edit()->data, MESH_SELECTED);
    return list.empty() ? -1 : list.front();
}

int MeshPick(const MeshScreenVertex* vertices, int count, int32_t pointerX, int32_t pointerY, uint32_t modeFlags,
             const int32_t rect[4])
{
    uint8_t* b = Edit()->data;
    if (!vertices) return -1;
    count = std::min(count, ShapeVertexCount(b));
    bool selecting = (modeFlags & (MESH_RECT_SELECT | MESH_RECT_DESELECT)) && rect;
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (selecting) {
        x0 = std::min(rect[0], rect[2]);
        x1 = std::max(rect[0], rect[2]);
        y0 = std::min(rect[1], rect[3]);
        y1 = std::max(rect[1], rect[3]);
    }
    int picked = -1;
    for (int i = 0; i < count; i++) {
        const MeshScreenVertex& v = vertices[i];
        if (!v.onScreen) continue;
        int64_t dx = (int64_t)v.x - pointerX, dy = (int64_t)v.y - pointerY;
        if (dx > -(MESH_PICK_DISTANCE + 1) && dx < MESH_PICK_DISTANCE + 1 && dy > -(MESH_PICK_DISTANCE + 1) &&
            dy < MESH_PICK_DISTANCE + 1 && (picked < 0 || v.depth < vertices[picked].depth))
            picked = i;
        if (selecting && v.x >= x0 && v.x <= x1 && v.y >= y0 && v.y <= y1)
            SetVertexBit(b, i, modeFlags & MESH_RECT_SELECT);
    }
    return picked;
}
