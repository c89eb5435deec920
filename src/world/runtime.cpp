// The runtime save. Everything is worked out on private copies: the edit world is copied at
// entry and read from that copy, the runtime image is built in a buffer of its own (limited to
// what a world image of the same capacity can hold), shapes are read raw from their files into
// scratch blocks, and the files are written only once everything has been built. Shapes are
// filed by the cells their boxes touch (buckets keyed by cell), corners and WXP entries are
// found through hash maps, so a full world saves in time proportional to its size.
#include "world/runtime.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/files.h"
#include "base/log.h"
#include "base/maths.h"
#include "base/res.h"
#include "base/str.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "world/terrain.h"
#include "world/wle.h"
#include "world/worldm.h"

enum {
    PROGRESS_SCALE = 0x40000000,         // progress is kept as a fraction of this, reported >> 16
    PROGRESS_SHAPES_END = PROGRESS_SCALE / 4,
    PROGRESS_CELLS_END = PROGRESS_SCALE / 4 * 3,
    SHAPE_WORK_CAPACITY = SHAPEM_BUFFER_SIZE,   // a scratch block as large as the edit buffer
    NAME_CHAR_COUNT = 36,                // 'A'..'Z' then '0'..'9' in each place of a name
};

static WorldMMessage message;

const char* WorldMRuntimeMessage(void) { return message.text; }


const char* WorldMRuntimeErrorText(int code)
{
    switch (code) {
    case RT_ERR_OUTSIDE_GRID: return "Shape(s) outside the cell grid.";
    case RT_ERR_CROSSES_CELL: return "Static shape cannot be cut along the cell grid.";
    case RT_ERR_GRID: return "Cell grid too large.";
    case RT_ERR_NAME: return "Unusable runtime file name.";
    case RT_ERR_DAMAGED: return "World data damaged.";
    case RT_ERR_COLLISION_CREATE: return TerrainCollisionText(TERRAIN_COLLISION_CREATE);
    case RT_ERR_COLLISION_POINTS: return TerrainCollisionText(TERRAIN_COLLISION_POINTS);
    case WORLD_ERR_WXP_WRITE: return "Failed to save WXP file.";
    default: return WorldMErrorText(code);
    }
}

// ============================================================================================
// Names
// ============================================================================================

static bool IsSeparator(char c) { return c == '/' || c == '\\'; }

int WorldMWxpFileName(const char* runtimeName, char* out, size_t outSize)
{
    if (!runtimeName || !out) return RT_ERR_NAME;
    size_t n = strlen(runtimeName);
    size_t base = n;
    while (base > 0 && !IsSeparator(runtimeName[base - 1])) base--;
    // A dot in a folder's name is no extension: only the last component is cut.
    size_t end = base;
    while (end < n && runtimeName[end] != '.') end++;
    static const char kExt[] = ".wxp";
    size_t baseLen = end - base + sizeof kExt - 1;
    if (end == base || baseLen + 1 > WLE_WXP_NAME_MAX || end + sizeof kExt > outSize) return RT_ERR_NAME;
    memcpy(out, runtimeName, end);
    memcpy(out + end, kExt, sizeof kExt);
    return 0;
}

static const char* BaseName(const char* path)
{
    const char* b = path;
    for (const char* p = path; *p; p++)
        if (IsSeparator(*p)) b = p + 1;
    return b;
}

// The next four-character name in the order of WorldMNewShapeName (each place A..Z then 0..9,
// the last place lowest); 0 after 9999.
static uint32_t NextName(uint32_t name)
{
    for (int place = 0; place < 4; place++) {
        int shift = 8 * place;
        char c = (char)((name >> shift) & 0xFF);
        char next = c == 'Z' ? '0' : c == '9' ? 'A' : (char)(c + 1);
        name = (name & ~(0xFFu << shift)) | ((uint32_t)(uint8_t)next << shift);
        if (c != '9') return name;
    }
    return 0;
}

// ============================================================================================
// Shapes: raw blocks, the work block, turning
// ============================================================================================

// A shape as the save uses it, read once per resource.
struct ShapeWork {
    bool ok = false;
    uint32_t extra = 0;                // the raw header's offset 0x3C (the dynamic mark)
    std::vector<uint8_t> cleaned;      // loaded, cleaned up and finished
    std::vector<uint8_t> uncleaned;    // loaded and finished only (worldshapes with WSF_NO_CLEANUP)
    int32_t box[6] = {0, 0, 0, 0, 0, 0};   // of the cleaned block; a point at the origin when it has no vertex
};

// The raw block of a shape resource as its file holds it. A prepared shape is given back and
// read again unprepared, then given back again so that its next user gets it prepared; the
// prepared data itself is never changed. 0, or 1.
static int ReadRaw(ResId id, std::vector<uint8_t>& out)
{
    if (!id || !ResIsInstalled()) return 1;
    bool loaded = ResIsLoaded(id) == 0;
    if (loaded && !ShapeMIsPrepared(id)) {
        const uint8_t* d = (const uint8_t*)ResPeek(id);
        out.assign(d, d + ResSize(id));
        return 0;
    }
    if (!ResName(id)[0] || (loaded && ResOpenCount(id) > 0)) return 1;
    if (loaded) ResFreeAlways(id);
    if (ShapeMLoadUnprepared(id)) return 1;
    const uint8_t* d = (const uint8_t*)ResPeek(id);
    out.assign(d, d + ResSize(id));
    ResFreeAlways(id);
    return 0;
}

static uint8_t* VertexSection(uint8_t* b) { return GetU32(b, SH_VERTICES) ? b + GetU32(b, SH_VERTICES) : nullptr; }

// Clean-up: vertices that no polygon uses and that carry no point name go, the indices above
// them move down. The shape's origin stays where it is.
static void CleanUp(ShapeBlock* s)
{
    uint8_t* b = s->data;
    int count = ShapeVertexCount(b);
    if (!count) return;
    std::vector<uint8_t> used((size_t)count, 0);
    uint8_t* poly = ShapeFirstPolygon(b);
    for (int i = 0, n = ShapePolygonCount(b); i < n; i++, poly = ShapeNextPolygon(poly))
        for (int k = 0; k < ShapePolyPoints(poly); k++) used[(size_t)ShapePolyIndex(poly, k)] = 1;
    std::vector<int> remap((size_t)count);
    int kept = 0;
    uint8_t* records = VertexSection(b) + 2;
    for (int i = 0; i < count; i++) {
        if (!used[(size_t)i] && !ShapePointName(b, i)) continue;
        if (kept != i) memmove(records + (size_t)kept * SHAPE_VERTEX_SIZE, records + (size_t)i * SHAPE_VERTEX_SIZE, SHAPE_VERTEX_SIZE);
        remap[(size_t)i] = kept++;
    }
    if (kept == count) return;
    poly = ShapeFirstPolygon(b);
    for (int i = 0, n = ShapePolygonCount(b); i < n; i++, poly = ShapeNextPolygon(poly)) {
        uint8_t* idx = ShapePolyIndices(poly);
        for (int k = 0; k < ShapePolyPoints(poly); k++) PutU16(idx, 2 * (size_t)k, (uint16_t)remap[GetU16(idx, 2 * (size_t)k)]);
    }
    uint32_t section = GetU32(b, SH_VERTICES);
    if (kept == 0) {
        ShapeRemove(s, section, 2 + (uint32_t)count * SHAPE_VERTEX_SIZE);
        PutU32(b, SH_VERTICES, 0);
    } else {
        ShapeRemove(s, section + 2 + (uint32_t)kept * SHAPE_VERTEX_SIZE, (uint32_t)(count - kept) * SHAPE_VERTEX_SIZE);
        PutU16(b, section, (uint16_t)kept);
    }
}

// Loads a raw block into the work block as the editor takes a shape in (converted, materials
// bound by name, name table, face normals, derived values), optionally cleans it up, then
// finishes it as a save does (name table, derived values, face normals, per-point normals).
// 0, or 1 with the reason in `why`.
static int MakeBlock(const std::vector<uint8_t>& raw, bool clean, ShapeBlock* s, std::vector<uint8_t>& out, char* why,
                     size_t whySize)
{
    if (raw.size() > s->capacity) {
        snprintf(why, whySize, "larger than the shape work buffer");
        return 1;
    }
    if (!ShapeCheck(raw.data(), raw.size(), why, whySize)) return 1;
    memcpy(s->data, raw.data(), raw.size());
    if (ShapeConvertInPlace(s)) {
        snprintf(why, whySize, "%s", ShapeLastError());
        return 1;
    }
    ShapeBindMaterials(s->data, SHAPE_NAME_CHARS);
    bool fits = !ShapeRebuildNameTable(s);
    ShapeAllFaceNormals(s);
    ShapeDerive(s->data);
    if (clean) {
        CleanUp(s);
        ShapeAllFaceNormals(s);
        ShapeDerive(s->data);
    }
    fits = fits && !ShapeRebuildNameTable(s);
    ShapeDerive(s->data);
    ShapeAllFaceNormals(s);
    fits = fits && !MeshSmoothAll(s);
    if (!fits) {
        snprintf(why, whySize, "no room in the shape work buffer");
        return 1;
    }
    out.assign(s->data, s->data + ShapeUsedSize(s->data));
    return 0;
}

static int32_t Clamp32(int64_t v) { return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : (int32_t)v; }
static int16_t Clamp16(int64_t v) { return v > INT16_MAX ? INT16_MAX : v < INT16_MIN ? INT16_MIN : (int16_t)v; }

// Turns a point by pitch (about X), then yaw (about Y), with the shape code's fixed-point rule.
static void Turn(int64_t v[3], int16_t yaw, int16_t pitch)
{
    if (pitch) {
        int64_t c = FixCos(pitch), s = FixSin(pitch);
        int64_t y = ((v[1] * c) >> 14) + ((v[2] * s) >> 14);
        int64_t z = ((v[2] * c) >> 14) - ((v[1] * s) >> 14);
        v[1] = y, v[2] = z;
    }
    if (yaw) {
        int64_t c = FixCos(yaw), s = FixSin(yaw);
        int64_t x = ((v[0] * c) >> 14) + ((v[2] * s) >> 14);
        int64_t z = ((v[2] * c) >> 14) - ((v[0] * s) >> 14);
        v[0] = x, v[2] = z;
    }
}

// The box of a shape box turned by yaw and pitch: the extremes of its eight turned corners.
static void TurnBox(const int32_t box[6], int16_t yaw, int16_t pitch, int64_t out[6])
{
    for (int a = 0; a < 3; a++) out[a] = INT64_MAX, out[3 + a] = INT64_MIN;
    for (int corner = 0; corner < 8; corner++) {
        int64_t v[3];
        for (int a = 0; a < 3; a++) v[a] = box[(corner >> a & 1) ? 3 + a : a];
        Turn(v, yaw, pitch);
        for (int a = 0; a < 3; a++) out[a] = std::min(out[a], v[a]), out[3 + a] = std::max(out[3 + a], v[a]);
    }
}

static void BlockBox(const uint8_t* b, int32_t box[6])
{
    for (int a = 0; a < 6; a++) box[a] = GetI32(b, SH_MIN + 4 * (size_t)a);
    // A shape without vertices is a point at its origin.
    if (box[0] > box[3]) memset(box, 0, 6 * sizeof box[0]);
}

// Turns the geometry of a finished block (in the work block) by yaw and pitch: the vertices
// (written back by the coordinate rule, twice so that every one is stored at the final shift),
// the per-point normals with them, then face normals and derived values.
static void TurnBlock(ShapeBlock* s, int16_t yaw, int16_t pitch)
{
    uint8_t* b = s->data;
    int count = ShapeVertexCount(b);
    std::vector<int32_t> turned((size_t)count * 3);
    for (int i = 0; i < count; i++) {
        int32_t p[3];
        ShapeVertexPos(b, i, p);
        int64_t v[3] = {p[0], p[1], p[2]};
        Turn(v, yaw, pitch);
        for (int a = 0; a < 3; a++) turned[(size_t)i * 3 + a] = Clamp32(v[a]);
    }
    for (int pass = 0; pass < 2; pass++)
        for (int i = 0; i < count; i++)
            for (int a = 0; a < 3; a++) ShapeWriteCoord(b, i, a, turned[(size_t)i * 3 + a]);
    uint8_t* poly = ShapeFirstPolygon(b);
    for (int i = 0, n = ShapePolygonCount(b); i < n; i++, poly = ShapeNextPolygon(poly)) {
        uint8_t* normals = ShapePolyNormals(poly);
        for (int k = 0; normals && k < ShapePolyPoints(poly); k++) {
            int64_t v[3];
            for (int a = 0; a < 3; a++) v[a] = GetI16(normals, 6 * (size_t)k + 2 * a);
            Turn(v, yaw, pitch);
            for (int a = 0; a < 3; a++) PutI16(normals, 6 * (size_t)k + 2 * a, Clamp16(v[a]));
        }
    }
    ShapeAllFaceNormals(s);
    ShapeDerive(b);
}

// ============================================================================================
// Cutting a static shape along the cell grid
// ============================================================================================

// A point of a polygon being clipped: position in the shape's own units, mapping, normal.
struct ClipPoint {
    double p[3];
    double uv[2];
    double n[3];
};

// Clips a polygon against lo <= p[axis] (side 0) or p[axis] <= hi (side 1), Sutherland-Hodgman.
// An edge's crossing is worked out from its endpoints in a fixed order, so two polygons that
// share the edge get the same new point.
static void ClipAgainst(std::vector<ClipPoint>& poly, int axis, double bound, int side)
{
    std::vector<ClipPoint> out;
    size_t n = poly.size();
    auto inside = [&](const ClipPoint& q) { return side ? q.p[axis] <= bound : q.p[axis] >= bound; };
    for (size_t i = 0; i < n; i++) {
        const ClipPoint& a = poly[i];
        const ClipPoint& b = poly[(i + 1) % n];
        bool ia = inside(a), ib = inside(b);
        if (ia) out.push_back(a);
        if (ia != ib) {
            bool swap = std::lexicographical_compare(b.p, b.p + 3, a.p, a.p + 3);
            const ClipPoint& f = swap ? b : a;
            const ClipPoint& g = swap ? a : b;
            double t = (bound - f.p[axis]) / (g.p[axis] - f.p[axis]);
            ClipPoint c;
            for (int k = 0; k < 3; k++) c.p[k] = f.p[k] + (g.p[k] - f.p[k]) * t;
            for (int k = 0; k < 2; k++) c.uv[k] = f.uv[k] + (g.uv[k] - f.uv[k]) * t;
            for (int k = 0; k < 3; k++) c.n[k] = f.n[k] + (g.n[k] - f.n[k]) * t;
            c.p[axis] = bound;
            out.push_back(c);
        }
    }
    poly.swap(out);
}

// The part of a finished block that lies in the box lo..hi (shape units, inclusive), built as a
// block of its own in `piece`: polygons clipped with their mapping and per-point normals
// carried across, vertices shared where clipped polygons meet, the material name table kept.
// 0 with the piece (no polygon when nothing of the shape lies there), or 1 when it does not fit.
static int CutPiece(const uint8_t* b, const int64_t lo[3], const int64_t hi[3], ShapeBlock* piece)
{
    uint8_t* src = const_cast<uint8_t*>(b);
    struct Poly {
        uint16_t flags, material;
        bool normals, mapping;
        std::vector<uint16_t> idx;
        std::vector<int16_t> n, uv;
    };
    std::vector<Poly> polys;
    std::vector<int32_t> verts;
    std::unordered_map<std::string, uint16_t> byPos;
    uint8_t* poly = ShapeFirstPolygon(src);
    for (int i = 0, count = ShapePolygonCount(src); i < count; i++, poly = ShapeNextPolygon(poly)) {
        int np = ShapePolyPoints(poly);
        const uint8_t* nb = ShapePolyNormals(poly);
        const uint8_t* mb = ShapePolyMapping(poly);
        std::vector<ClipPoint> pts((size_t)np);
        for (int k = 0; k < np; k++) {
            int32_t v[3];
            ShapeVertexPos(src, ShapePolyIndex(poly, k), v);
            for (int a = 0; a < 3; a++) pts[(size_t)k].p[a] = v[a];
            for (int a = 0; a < 2; a++) pts[(size_t)k].uv[a] = mb ? GetI16(mb, 4 * (size_t)k + 2 * a) : 0;
            for (int a = 0; a < 3; a++) pts[(size_t)k].n[a] = nb ? GetI16(nb, 6 * (size_t)k + 2 * a) : 0;
        }
        for (int a = 0; a < 3 && pts.size() >= 3; a++) {
            ClipAgainst(pts, a, (double)lo[a], 0);
            if (pts.size() >= 3) ClipAgainst(pts, a, (double)hi[a], 1);
        }
        if (pts.size() < 3) continue;
        Poly q{GetU16(poly, POLY_FLAGS), GetU16(poly, POLY_MATERIAL), nb != nullptr, mb != nullptr, {}, {}, {}};
        for (const ClipPoint& c : pts) {
            int32_t v[3];
            for (int a = 0; a < 3; a++) v[a] = Clamp32((int64_t)std::trunc(c.p[a]));
            std::string key((const char*)v, sizeof v);
            auto it = byPos.find(key);
            if (it == byPos.end()) {
                if (verts.size() / 3 >= SHAPE_MAX_COUNT) return 1;
                it = byPos.emplace(key, (uint16_t)(verts.size() / 3)).first;
                verts.insert(verts.end(), v, v + 3);
            }
            // A point that clipping merged into the one before it adds nothing.
            if (!q.idx.empty() && q.idx.back() == it->second) continue;
            q.idx.push_back(it->second);
            int16_t unit[3];
            UnitVector((int32_t)c.n[0], (int32_t)c.n[1], (int32_t)c.n[2], unit);
            q.n.insert(q.n.end(), unit, unit + 3);
            q.uv.push_back(Clamp16((int64_t)std::lround(c.uv[0])));
            q.uv.push_back(Clamp16((int64_t)std::lround(c.uv[1])));
        }
        if (q.idx.size() > 1 && q.idx.front() == q.idx.back()) {
            q.idx.pop_back(), q.n.resize(q.n.size() - 3), q.uv.resize(q.uv.size() - 2);
        }
        if (q.idx.size() >= 3 && (int)polys.size() < SHAPE_MAX_COUNT) polys.push_back(std::move(q));
    }

    uint8_t* p = piece->data;
    ShapeMakeEmpty(p);
    for (size_t f : {(size_t)SH_FLAGS, (size_t)SH_NOSORT, (size_t)SH_MAXANGLE}) PutU16(p, f, GetU16(b, f));
    for (size_t i = 0; i < verts.size(); i += 3)
        if (ShapeAppendVertex(piece, verts[i], verts[i + 1], verts[i + 2]) < 0) return 1;
    for (const Poly& q : polys) {
        int n = (int)q.idx.size();
        int index = ShapeAppendPolygon(piece, n, q.idx.data(), q.material);
        if (index < 0) return 1;
        uint32_t at = (uint32_t)(ShapePolygon(p, index) - p);
        PutU16(p, at + POLY_FLAGS, q.flags);
        uint32_t tail = at + POLY_HEAD + 2 * (uint32_t)n;
        uint16_t word = (uint16_t)n;
        if (q.normals) {
            if (ShapeInsert(piece, tail, 6 * (uint32_t)n)) return 1;
            for (size_t k = 0; k < q.n.size(); k++) PutI16(p, tail + 2 * k, q.n[k]);
            tail += 6 * (uint32_t)n;
            word |= PC_NORMALS;
        }
        if (q.mapping) {
            if (ShapeInsert(piece, tail, 4 * (uint32_t)n)) return 1;
            for (size_t k = 0; k < q.uv.size(); k++) PutI16(p, tail + 2 * k, q.uv[k]);
            word |= PC_MAPPING;
        }
        PutU16(p, at + POLY_COUNT_WORD, word);
    }
    // The name table as it was: polygons keep the material values it explains.
    if (int names = ShapeNameCount(b)) {
        uint32_t size = 2 + (uint32_t)names * SHAPE_NAME_ENTRY_SIZE;
        uint32_t at = ShapeUsedSize(p);
        if (ShapeInsert(piece, at, size)) return 1;
        memcpy(p + at, b + GetU32(b, SH_NAMES), size);
        PutU32(p, SH_NAMES, at);
    }
    ShapeAllFaceNormals(piece);
    ShapeDerive(p);
    return 0;
}

// ============================================================================================
// The save's state
// ============================================================================================

// One worldshape of the edit world.
struct Placed {
    uint32_t at;           // offset in the working copy
    uint16_t id;
    bool named;
    ShapeWork* shape;
    int64_t box[6];        // turned box plus position
    uint32_t cell[3];      // static: the (first) cell its box lies in; dynamic: the cell of its position
    uint32_t last[3];      // static: the last cell its box overlaps (beyond `cell` when it is cut)
    bool cut;              // static, across cell boundaries: filed as one piece per cell
};

struct Cell {
    std::vector<uint32_t> statics, dynamics;   // indices into the placed list, in packet order
};

struct Save {
    ProgressFn progress;
    std::vector<uint8_t> work;                 // the edit world, private; names and boxes go here
    const std::vector<uint8_t>* world;         // the edit world as it is saved, untouched
    std::vector<uint8_t> out;                  // the runtime image
    uint32_t outLimit;
    std::vector<uint8_t> wxp;
    std::unordered_map<std::string, uint32_t> dynamicEntries;   // entry name -> offset in the WXP data
    std::unordered_map<ResId, ShapeWork> shapes;
    std::vector<Placed> placed;
    std::vector<uint32_t> nodes;               // offsets of the node packets in the working copy
    uint32_t terrain = 0;                      // offset of the first terrain packet, 0 = none
    uint32_t cells[3];
    int exponent;
    int64_t edge;
    std::vector<uint16_t> select;              // worldshapes to leave selected after a refusal
    std::vector<uint8_t> scratchBytes, pieceBytes;
    ShapeBlock scratch, piece;
};

// Reports progress at fraction k/n of the span from `from` to `to`; 1 when asked to stop.
static int Report(Save& sv, uint32_t from, uint32_t to, uint64_t k, uint64_t n)
{
    if (!sv.progress) return 0;
    uint64_t at = from + (n ? (uint64_t)(to - from) * k / n : to - from);
    return sv.progress((uint32_t)(at >> 16)) != 0;
}

// A worldshape's shape file for a message: its name comes from the file and is shown printable.
static const char* FileOf(const uint8_t* ws)
{
    static char shown[64];
    const char* f = WorldMShapeFileName(ws + WS_FILE);
    return f ? StrPrintable(f, strlen(f), 1, shown, sizeof shown) : "(no file name)";
}

// "ROCK.SHP (ID 12)", and how many more there are.
static void NameShapes(Save& sv, const std::vector<uint16_t>& ids, const char* what)
{
    const uint8_t* ws = nullptr;
    for (const Placed& p : sv.placed)
        if (p.id == ids.front()) ws = sv.work.data() + p.at;
    char more[64] = "";
    if (ids.size() > 1) snprintf(more, sizeof more, " (and %zu more)", ids.size() - 1);
    message.Set("%s (ID %u)%s %s", ws ? FileOf(ws) : "?", ids.front(), more, what);
}

// ---- reading the edit world -----------------------------------------------------------------

static int Gather(Save& sv)
{
    uint8_t* w = sv.work.data();
    char why[160];
    if (WorldMCheckImage(w, (uint32_t)sv.work.size(), why, sizeof why)) {
        message.Set("the world image is damaged: %s", why);
        return RT_ERR_DAMAGED;
    }
    for (uint8_t* p = WorldMFirstPacket(w); p; p = WorldMNextPacket(w, p)) {
        uint32_t at = (uint32_t)(p - w);
        uint16_t type = GetU16(p, WP_TYPE);
        if (type == WP_SHAPE) {
            Placed pl{};
            pl.at = at;
            pl.id = GetU16(p, WS_ID);
            sv.placed.push_back(pl);
        } else if (type == WP_NODE) {
            sv.nodes.push_back(at);
        } else if (type == WP_TERRAIN && !sv.terrain) {
            sv.terrain = at;
        }
    }
    // A worldshape without its shape blocks the save before anything else is done.
    std::vector<uint16_t> missing;
    for (const Placed& pl : sv.placed)
        if (!GetU16(w + pl.at, WS_HANDLE)) missing.push_back(pl.id);
    if (!missing.empty()) {
        NameShapes(sv, missing, "has no shape loaded");
        return WORLD_ERR_RUNTIME_SHAPE_MISSING;
    }
    return 0;
}

// The grid must fit 32-bit positions and 16-bit corner coordinates.
static int CheckGrid(Save& sv)
{
    const uint8_t* w = sv.work.data();
    uint32_t e = GetU32(w, WLE_CELL_EXPONENT);
    sv.cells[0] = GetU32(w, WLE_CELLS_X);
    sv.cells[1] = GetU32(w, WLE_CELLS_Y);
    sv.cells[2] = GetU32(w, WLE_CELLS_Z);
    if (e > RT_MAX_EXPONENT) {
        message.Set("a cell exponent of %u makes cells larger than the world's coordinates allow", e);
        return RT_ERR_GRID;
    }
    sv.exponent = (int)e;
    sv.edge = (int64_t)WLE_CELL_UNIT << e;
    for (int a = 0; a < 3; a++)
        if (sv.cells[a] > RT_MAX_CELLS_AXIS || (int64_t)sv.cells[a] * sv.edge > ((int64_t)1 << 31)) {
            message.Set("%u cells of %lld units along %c pass the world's coordinates", sv.cells[a], (long long)sv.edge,
                        "XYZ"[a]);
            return RT_ERR_GRID;
        }
    return 0;
}

// Reads every shape once, boxes every worldshape. Progress: the first quarter.
static int PrepareShapes(Save& sv)
{
    uint8_t* w = sv.work.data();
    std::vector<uint8_t> raw;
    char why[200];
    for (size_t i = 0; i < sv.placed.size(); i++) {
        Placed& pl = sv.placed[i];
        const uint8_t* ws = w + pl.at;
        ResId handle = GetU16(ws, WS_HANDLE);
        auto found = sv.shapes.find(handle);
        if (found == sv.shapes.end()) {
            ShapeWork& sw = sv.shapes[handle];
            if (ReadRaw(handle, raw)) {
                message.Set("%s (ID %u): the shape file cannot be read", FileOf(ws), pl.id);
                return WORLD_ERR_RUNTIME_SHAPE_MISSING;
            }
            if (MakeBlock(raw, true, &sv.scratch, sw.cleaned, why, sizeof why) ||
                MakeBlock(raw, false, &sv.scratch, sw.uncleaned, why, sizeof why)) {
                message.Set("%s (ID %u): %s", FileOf(ws), pl.id, why);
                return WORLD_ERR_RUNTIME_SHAPE_MISSING;
            }
            // Blocks older than version 15 have section data where the mark would be.
            sw.extra = GetU16(raw.data(), SH_VERSION) >= 15 ? GetU32(raw.data(), SH_EXTRA) : 0;
            BlockBox(sw.cleaned.data(), sw.box);
            sw.ok = true;
            found = sv.shapes.find(handle);
        }
        pl.shape = &found->second;
        int64_t turned[6];
        TurnBox(pl.shape->box, GetI16(ws, WS_YAW), GetI16(ws, WS_PITCH), turned);
        for (int a = 0; a < 3; a++) {
            int64_t pos = GetI32(ws, WS_X + 4 * (size_t)a);
            pl.box[a] = turned[a] + pos;
            pl.box[3 + a] = turned[3 + a] + pos;
        }
        // The copies carry it (static ones get the box of their turned geometry later).
        for (int a = 0; a < 6; a++) PutI32(w + pl.at, WS_BOX + 4 * (size_t)a, Clamp32(pl.box[a]));
        if (Report(sv, 0, PROGRESS_SHAPES_END, i + 1, sv.placed.size())) return WORLD_ERR_ABORTED;
    }
    return 0;
}

// Unnamed worldshapes whose shape file carries the dynamic mark are dynamic: each gets the next
// free name. The names go into the private copy only (the edit world keeps its own).
static void NameDynamicShapes(Save& sv)
{
    uint8_t* w = sv.work.data();
    std::unordered_set<uint32_t> taken;
    for (const Placed& pl : sv.placed)
        if (GetU32(w + pl.at, WS_NAME)) taken.insert(GetU32(w + pl.at, WS_NAME));
    uint32_t candidate = 0x41414141;   // AAAA
    for (Placed& pl : sv.placed) {
        pl.named = GetU32(w + pl.at, WS_NAME) != 0;
        if (pl.named || !pl.shape->extra) continue;
        while (candidate && taken.count(candidate)) candidate = NextName(candidate);
        // 36^4 names cannot run out in an image that holds at most a few thousand worldshapes.
        if (!candidate) FatalError("Check dynamic shapes - could not name a shape");
        PutU32(w + pl.at, WS_NAME, candidate);
        taken.insert(candidate);
        pl.named = true;
    }
}

static int64_t FloorDiv(int64_t a, int64_t edge) { return a >= 0 ? a / edge : -((-a + edge - 1) / edge); }

// Places every worldshape in the grid. A named one must lie in the cell of its position; every
// one must lie in the grid. A static one that crosses cell boundaries is cut into one piece
// per cell it overlaps. Refusals select the shapes concerned.
static int PlaceShapes(Save& sv)
{
    const uint8_t* w = sv.work.data();
    std::vector<uint16_t> badDynamic, outside;
    for (Placed& pl : sv.placed) {
        const uint8_t* ws = w + pl.at;
        bool inGrid = true, bad = false;
        pl.cut = false;
        for (int a = 0; a < 3; a++) {
            int64_t cell, last;
            if (pl.named) {
                int64_t base = FloorDiv(GetI32(ws, WS_X + 4 * (size_t)a), sv.edge);
                if (base * sv.edge > pl.box[a] || pl.box[3 + a] > base * sv.edge + sv.edge) bad = true;
                cell = last = base;
            } else {
                // The cells whose inside the box overlaps (a box that ends on a boundary stays
                // out of the cell beyond it).
                cell = FloorDiv(pl.box[a], sv.edge);
                last = std::max(cell, FloorDiv(pl.box[3 + a] + sv.edge - 1, sv.edge) - 1);
                if (last > cell) pl.cut = true;
            }
            if (cell < 0 || last >= (int64_t)sv.cells[a]) inGrid = false;
            pl.cell[a] = (uint32_t)std::max<int64_t>(0, std::min<int64_t>(cell, UINT32_MAX));
            pl.last[a] = (uint32_t)std::max<int64_t>(0, std::min<int64_t>(last, UINT32_MAX));
        }
        if (bad) badDynamic.push_back(pl.id);
        else if (!inGrid) outside.push_back(pl.id);
    }
    if (!badDynamic.empty()) {
        sv.select = badDynamic;
        NameShapes(sv, badDynamic, "does not lie in the cell of its position");
        return WORLD_ERR_BAD_DYNAMIC;
    }
    if (!outside.empty()) {
        sv.select = outside;
        NameShapes(sv, outside, "lies outside the cell grid");
        return RT_ERR_OUTSIDE_GRID;
    }
    return 0;
}

// ---- building the runtime image ---------------------------------------------------------------

// Appends n bytes (copied from src, or zeroed) to the runtime image: their offset, or -1 when
// the image would pass the capacity of a world image.
static int64_t Append(Save& sv, const void* src, uint32_t n)
{
    if ((uint64_t)sv.out.size() + n > sv.outLimit) return -1;
    size_t at = sv.out.size();
    sv.out.resize(at + n);
    if (src) memcpy(sv.out.data() + at, src, n);
    return (int64_t)at;
}

// Length and unit direction of a vector by the world's normalising rule: zero gives zero, a
// vector along Y its absolute Y and (0, +-16384, 0), otherwise the truncated Euclidean length
// and each component x 16384 / length, truncated.
static int32_t Normalise(const int64_t v[3], int16_t dir[3])
{
    dir[0] = dir[1] = dir[2] = 0;
    if (!v[0] && !v[1] && !v[2]) return 0;
    if (!v[0] && !v[2]) {
        dir[1] = v[1] > 0 ? FIX_ONE : -FIX_ONE;
        return Clamp32(v[1] > 0 ? v[1] : -v[1]);
    }
    double sq = (double)v[0] * v[0] + (double)v[1] * v[1] + (double)v[2] * v[2];
    int64_t len = (int64_t)std::sqrt(sq);
    if (len < 1) len = 1;
    for (int a = 0; a < 3; a++) dir[a] = Clamp16(v[a] * FIX_ONE / len);
    return Clamp32(len);
}

static int CopyNodes(Save& sv)
{
    const uint8_t* w = sv.work.data();
    std::unordered_map<uint16_t, uint32_t> byId;
    for (uint32_t at : sv.nodes) byId.emplace(GetU16(w + at, WN_ID), at);
    for (uint32_t at : sv.nodes) {
        int64_t o = Append(sv, w + at, WP_NODE_SIZE);
        if (o < 0) return WORLD_ERR_OUT_OF_SPACE;
        uint8_t* copy = sv.out.data() + o;
        static const struct {
            int link, dist, dir;
        } kLinks[] = {{WN_PREV, WN_DIST_PREV, WN_DIR_PREV}, {WN_NEXT, WN_DIST_NEXT, WN_DIR_NEXT}};
        for (const auto& l : kLinks) {
            uint16_t other = GetU16(copy, l.link);
            auto it = other ? byId.find(other) : byId.end();
            if (it == byId.end()) continue;
            int64_t v[3];
            for (int a = 0; a < 3; a++) v[a] = (int64_t)GetI32(w + it->second, WN_X + 4 * a) - GetI32(copy, WN_X + 4 * a);
            int16_t dir[3];
            PutI32(copy, l.dist, Normalise(v, dir));
            for (int a = 0; a < 3; a++) PutI16(copy, l.dir + 2 * a, dir[a]);
        }
    }
    if (sv.terrain && Append(sv, w + sv.terrain, GetU32(w + sv.terrain, WT_LENGTH)) < 0) return WORLD_ERR_OUT_OF_SPACE;
    return 0;
}

// Appends a WXP entry: its offset, or -1 when it would reach the archive's room.
static int64_t AppendEntry(Save& sv, const char* name, const uint8_t* block, uint32_t size)
{
    uint32_t rounded = (size + 3) & ~3u;
    if ((uint64_t)sv.wxp.size() + WXP_ENTRY_HEAD + rounded >= WXP_CAPACITY) return -1;
    size_t at = sv.wxp.size();
    sv.wxp.resize(at + WXP_ENTRY_HEAD + rounded, 0);
    uint8_t* e = sv.wxp.data() + at;
    strncpy((char*)e + WXP_ENTRY_NAME, name, WXP_ENTRY_NAME_CHARS - 1);
    PutU32(e, WXP_ENTRY_SIZE, rounded);
    memcpy(e + WXP_ENTRY_HEAD, block, size);
    return (int64_t)at;
}

// A copy of a worldshape filed under a cell, pointing at its WXP entry. *filed is false when
// nothing of a cut shape lies in the cell (no copy then).
static int FileShape(Save& sv, const Placed& pl, const uint32_t cell[3], bool* filed)
{
    const uint8_t* ws = sv.work.data() + pl.at;
    *filed = true;
    int64_t entry;
    int64_t o;
    if (pl.named) {
        if ((o = Append(sv, ws, WP_SHAPE_SIZE)) < 0) return WORLD_ERR_OUT_OF_SPACE;
        // Dynamic: one entry per shape file, shared by every worldshape that uses it.
        char name[WXP_ENTRY_NAME_CHARS] = "";
        const char* file = FileOf(ws);
        const char* dot = strchr(file, '.');
        snprintf(name, sizeof name, "%.*s.WHP", dot ? (int)(dot - file) : 8, file);
        auto it = sv.dynamicEntries.find(name);
        if (it != sv.dynamicEntries.end()) {
            entry = it->second;
        } else {
            const std::vector<uint8_t>& b = GetU16(ws, WS_FLAGS) & WSF_NO_CLEANUP ? pl.shape->uncleaned : pl.shape->cleaned;
            entry = AppendEntry(sv, name, b.data(), (uint32_t)b.size());
            if (entry >= 0) sv.dynamicEntries.emplace(name, (uint32_t)entry);
        }
    } else {
        // Static: the geometry turned as the worldshape is (and cut to the cell), one entry
        // per copy.
        const std::vector<uint8_t>& b = pl.shape->cleaned;
        int16_t yaw = GetI16(ws, WS_YAW), pitch = GetI16(ws, WS_PITCH);
        const uint8_t* data = b.data();
        if (yaw || pitch) {
            memcpy(sv.scratch.data, b.data(), b.size());
            TurnBlock(&sv.scratch, yaw, pitch);
            data = sv.scratch.data;
        }
        int64_t lo[3], hi[3];
        for (int a = 0; a < 3; a++) {
            int64_t pos = GetI32(ws, WS_X + 4 * (size_t)a);
            lo[a] = (int64_t)cell[a] * sv.edge - pos;
            hi[a] = lo[a] + sv.edge;
        }
        if (pl.cut) {
            if (sv.pieceBytes.empty()) {
                sv.pieceBytes.assign(SHAPE_WORK_CAPACITY, 0);
                sv.piece = ShapeBlock{sv.pieceBytes.data(), SHAPE_WORK_CAPACITY};
            }
            if (CutPiece(data, lo, hi, &sv.piece)) {
                sv.select.assign(1, pl.id);
                message.Set("%s (ID %u): a piece cut along the cell grid does not fit the shape work buffer", FileOf(ws), pl.id);
                return RT_ERR_CROSSES_CELL;
            }
            data = sv.piece.data;
            if (!ShapePolygonCount(data)) {
                *filed = false;
                return 0;
            }
        }
        if ((o = Append(sv, ws, WP_SHAPE_SIZE)) < 0) return WORLD_ERR_OUT_OF_SPACE;
        entry = AppendEntry(sv, "", data, ShapeUsedSize(data));
        // The box of the geometry as stored; a cut piece's stays in its cell even where the
        // coordinate shift rounds a point on the cut a little beyond it.
        int32_t box[6];
        BlockBox(data, box);
        uint8_t* copy = sv.out.data() + o;
        for (int a = 0; a < 6; a++) {
            int64_t v = pl.cut ? std::clamp<int64_t>(box[a], lo[a % 3], hi[a % 3]) : box[a];
            PutI32(copy, WS_BOX + 4 * (size_t)a, Clamp32(v + GetI32(ws, WS_X + 4 * (size_t)(a % 3))));
        }
    }
    if (entry < 0) {
        message.Set("%s (ID %u): the WXP archive is full (%d bytes)", FileOf(ws), pl.id, WXP_CAPACITY);
        return WORLD_ERR_SAVE_WHP;
    }
    uint8_t* copy = sv.out.data() + o;
    PutU16(copy, WS_FLAGS, (uint16_t)((GetU16(copy, WS_FLAGS) | WSF_WHP_WRITTEN) & ~WSF_RUNTIME_2));
    PutU32(copy, WS_FILE, (uint32_t)entry);
    // The shape handle means something only inside the run that loaded the shape: the same
    // world saved by the editor and by tolbex-cli gives the same bytes.
    PutU16(copy, WS_HANDLE, 0);
    return 0;
}

static uint64_t CellKey(uint32_t x, uint32_t y, uint32_t z) { return (uint64_t)x << 32 | (uint64_t)y << 16 | z; }

// Files every worldshape by the cells it touches, then writes the non-empty cells from the
// highest index down (X slowest, Z fastest). Progress: up to three quarters.
static int BuildCells(Save& sv, std::vector<uint32_t>& cellOffsets)
{
    std::unordered_map<uint64_t, Cell> cells;
    for (uint32_t i = 0; i < sv.placed.size(); i++) {
        const Placed& pl = sv.placed[i];
        if (!pl.named) {
            for (uint32_t x = pl.cell[0]; x <= pl.last[0]; x++)
                for (uint32_t y = pl.cell[1]; y <= pl.last[1]; y++)
                    for (uint32_t z = pl.cell[2]; z <= pl.last[2]; z++) cells[CellKey(x, y, z)].statics.push_back(i);
            continue;
        }
        // A dynamic shape whose box reaches the far side of its cell touches the next cell too.
        uint32_t hi[3];
        for (int a = 0; a < 3; a++) {
            int64_t far = FloorDiv(pl.box[3 + a], sv.edge);
            hi[a] = (uint32_t)std::min<int64_t>(far, (int64_t)sv.cells[a] - 1);
        }
        for (uint32_t x = pl.cell[0]; x <= hi[0]; x++)
            for (uint32_t y = pl.cell[1]; y <= hi[1]; y++)
                for (uint32_t z = pl.cell[2]; z <= hi[2]; z++) cells[CellKey(x, y, z)].dynamics.push_back(i);
    }
    std::vector<uint64_t> keys;
    keys.reserve(cells.size());
    for (const auto& c : cells) keys.push_back(c.first);
    std::sort(keys.begin(), keys.end(), [](uint64_t a, uint64_t b) { return a > b; });

    for (size_t k = 0; k < keys.size(); k++) {
        const Cell& c = cells[keys[k]];
        uint32_t index[3] = {(uint32_t)(keys[k] >> 32), (uint32_t)(keys[k] >> 16 & 0xFFFF), (uint32_t)(keys[k] & 0xFFFF)};
        int64_t o = Append(sv, nullptr, WP_CELL_SIZE);
        if (o < 0) return WORLD_ERR_OUT_OF_SPACE;
        uint8_t* cell = sv.out.data() + o;
        PutU16(cell, WC_TYPE, WP_CELL);
        for (int a = 0; a < 3; a++) {
            int64_t min = (int64_t)index[a] * sv.edge;
            PutI32(cell, WC_INDEX_X + 4 * (size_t)a, (int32_t)index[a]);
            PutI32(cell, WC_MIN + 4 * (size_t)a, (int32_t)min);
            PutI32(cell, WC_MAX + 4 * (size_t)a, (int32_t)(min + sv.edge - 1));
        }
        uint32_t counts[2] = {0, 0};
        bool filed;
        for (uint32_t i : c.statics) {
            if (int r = FileShape(sv, sv.placed[i], index, &filed)) return r;
            counts[0] += filed;
        }
        for (uint32_t i : c.dynamics) {
            if (int r = FileShape(sv, sv.placed[i], index, &filed)) return r;
            counts[1] += filed;
        }
        if (counts[0] + counts[1]) {
            cell = sv.out.data() + o;
            PutU32(cell, WC_STATIC_COUNT, counts[0]);
            PutU32(cell, WC_DYNAMIC_COUNT, counts[1]);
            cellOffsets.push_back((uint32_t)o);
        } else {
            // Only pieces of nothing: an empty cell is not stored.
            sv.out.resize((size_t)o);
        }
        if (Report(sv, PROGRESS_SHAPES_END, PROGRESS_CELLS_END, k + 1, keys.size())) return WORLD_ERR_ABORTED;
    }
    return 0;
}

// Corners: each distinct corner of a stored cell gets an index in order of first use (cells
// in packet order, each cell's corners in the packet's order); then one packet per corner.
static int BuildCorners(Save& sv, const std::vector<uint32_t>& cellOffsets)
{
    static const uint8_t kCorner[8][3] = {{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0},
                                          {0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}};
    std::unordered_map<uint64_t, uint32_t> index;
    std::vector<uint64_t> corners;
    for (size_t k = 0; k < cellOffsets.size(); k++) {
        uint8_t* cell = sv.out.data() + cellOffsets[k];
        for (int c = 0; c < 8; c++) {
            uint32_t p[3];
            for (int a = 0; a < 3; a++) p[a] = GetU32(cell, WC_INDEX_X + 4 * (size_t)a) + kCorner[c][a];
            uint64_t key = CellKey(p[0], p[1], p[2]);
            auto it = index.emplace(key, (uint32_t)corners.size());
            if (it.second) corners.push_back(key);
            PutU32(cell, WC_CORNERS + 4 * (size_t)c, it.first->second);
        }
        if (Report(sv, PROGRESS_CELLS_END, PROGRESS_SCALE, k + 1, cellOffsets.size())) return WORLD_ERR_ABORTED;
    }
    if (corners.size() > RT_MAX_CORNERS) {
        message.Set("%zu cell corners are more than a runtime world can number", corners.size());
        return WORLD_ERR_OUT_OF_SPACE;
    }
    PutU32(sv.out.data(), WLE_CORNER_COUNT, (uint32_t)corners.size());
    for (size_t i = 0; i < corners.size(); i++) {
        int64_t o = Append(sv, nullptr, WP_CORNER_SIZE);
        if (o < 0) return WORLD_ERR_OUT_OF_SPACE;
        uint8_t* c = sv.out.data() + o;
        PutU16(c, WCO_TYPE, WP_CORNER);
        PutU16(c, WCO_INDEX, (uint16_t)i);
        PutU16(c, WCO_X, (uint16_t)(corners[i] >> 32));
        PutU16(c, WCO_Y, (uint16_t)(corners[i] >> 16 & 0xFFFF));
        PutU16(c, WCO_Z, (uint16_t)(corners[i] & 0xFFFF));
    }
    return 0;
}

static int Build(Save& sv, const char* wxpName)
{
    // A runtime world is never edited, so it may fill the whole capacity: the two-thirds rule
    // keeps room for edits only. A full edit world then still saves.
    sv.outLimit = std::max<uint32_t>(WorldMCapacity(), WLE_HEADER_SIZE);
    sv.out.reserve(std::min<size_t>(sv.outLimit, sv.work.size() * 2));
    sv.wxp.reserve(std::min<size_t>(WXP_CAPACITY, 1 << 20));
    Append(sv, sv.work.data(), WLE_HEADER_SIZE);
    uint8_t* h = sv.out.data();
    memset(h + WLE_WXP_NAME, 0, WLE_WXP_NAME_MAX);
    PutU32(h, WLE_CORNER_COUNT, 0);
    // WorldMWxpFileName made sure that the base name fits the field with its NUL.
    const char* base = BaseName(wxpName);
    memcpy(h + WLE_WXP_NAME, base, std::min<size_t>(strlen(base), WLE_WXP_NAME_MAX - 1));

    int r = CopyNodes(sv);
    std::vector<uint32_t> cellOffsets;
    if (!r) r = BuildCells(sv, cellOffsets);
    if (!r) r = BuildCorners(sv, cellOffsets);
    if (r == WORLD_ERR_OUT_OF_SPACE && !message.text[0])
        message.Set("the runtime world would pass the %u bytes a world image can use", sv.outLimit);
    PutU32(sv.out.data(), WLE_USED, (uint32_t)sv.out.size());
    return r;
}

// The game builds the terrain's collision data when it installs the runtime world, and stops
// on a terrain it cannot build it for: such a world is refused here, before anything is written.
static int CheckCollision(Save& sv)
{
    int r = TerrainBuildCollision(sv.out.data(), (uint32_t)sv.out.size());
    TerrainFreeCollision();
    if (!r) return 0;
    message.Set("%s", TerrainCollisionError());
    return r == TERRAIN_COLLISION_POINTS ? RT_ERR_COLLISION_POINTS : RT_ERR_COLLISION_CREATE;
}

// ---- writing -----------------------------------------------------------------------------------

// Writes the WXP archive and the runtime world together, and with a world name the edit world
// too (its old file kept as its backup, as a save keeps it): a failed save leaves every file as
// it was.
static int WriteFiles(Save& sv, const char* wleName, const char* runtimeName, const char* wxpName)
{
    // An empty archive is still one byte long.
    static const uint8_t kEmpty = 0;
    const void* data = sv.wxp.empty() ? &kEmpty : sv.wxp.data();
    // The world first, as a save writes it before anything else: a disk that refuses it says
    // so with the world's own error.
    FileWriteItem items[3] = {
        {wleName, sv.world->data(), sv.world->size(), 1},
        {wxpName, data, sv.wxp.empty() ? 1 : sv.wxp.size(), 0},
        {runtimeName, sv.out.data(), sv.out.size(), 0},
    };
    const FileWriteItem* first = wleName ? items : items + 1;
    int failed = FileWriteGroup(first, wleName ? 3 : 2);
    if (failed) {
        message.Set("%s cannot be written (%s); the old files were kept", first[failed - 1].name, strerror(errno));
        return first + failed - 1 == items + 1 ? WORLD_ERR_WXP_WRITE : WORLD_ERR_SAVE;
    }
    return 0;
}

static void WriteReport(Save& sv, const char* reportName)
{
    std::vector<char> text(WorldMSummaryText(sv.out.data(), nullptr, 0) + 1);
    size_t n = WorldMSummaryText(sv.out.data(), text.data(), text.size());
    if (FileWrite(reportName, text.data(), std::min(n, text.size() - 1)))
        LogPrintf(LOG_WARN, "RUNTIME: the report %s cannot be written", reportName);
}

static int Run(Save& sv, const char* wleName, const char* runtimeName, const char* reportName)
{
    char wxpName[4096];
    if (!runtimeName || WorldMWxpFileName(runtimeName, wxpName, sizeof wxpName)) {
        message.Set("%s: no WXP name can be made from it (the file name must fit %d characters)",
                    runtimeName ? runtimeName : "(none)", WLE_WXP_NAME_MAX - 1);
        return RT_ERR_NAME;
    }
    if (!strcasecmp(wxpName, runtimeName) || (wleName && !strcasecmp(wxpName, wleName))) {
        message.Set("%s: the WXP archive would be the %s file itself", wxpName,
                    !strcasecmp(wxpName, runtimeName) ? "runtime world" : "world");
        return RT_ERR_NAME;
    }
    int r = Gather(sv);
    if (!r) r = CheckGrid(sv);
    if (r) return r;
    sv.scratchBytes.assign(SHAPE_WORK_CAPACITY, 0);
    sv.scratch = ShapeBlock{sv.scratchBytes.data(), SHAPE_WORK_CAPACITY};
    if ((r = PrepareShapes(sv))) return r;
    NameDynamicShapes(sv);
    if ((r = PlaceShapes(sv))) return r;
    if ((r = Build(sv, wxpName))) return r;
    if ((r = CheckCollision(sv))) return r;
    if ((r = WriteFiles(sv, wleName, runtimeName, wxpName))) return r;
    if (reportName && *reportName) WriteReport(sv, reportName);
    return 0;
}

// The save, with a world name: the edit world written with the runtime files, all or none.
static int SaveRuntime(const char* wleName, const char* runtimeName, const char* reportName, ProgressFn progress)
{
    message.text[0] = 0;
    uint8_t* image = WorldMImage();
    if (!image) {
        message.Set("no world is loaded");
        if (progress) progress(PROGRESS_DONE);
        return RT_ERR_DAMAGED;
    }
    // The private snapshot: the edit world comes back from it whatever the save does, and
    // nothing the progress callback lets happen meanwhile can reach the runtime form.
    uint32_t used = WorldMUsed();
    std::vector<uint8_t> snapshot(image, image + used);
    int result;
    std::vector<uint16_t> select;
    {
        Save sv{};
        sv.progress = progress;
        sv.work = snapshot;
        sv.world = &snapshot;
        if (progress && progress(0)) result = WORLD_ERR_ABORTED;
        else result = Run(sv, wleName, runtimeName, reportName);
        select.swap(sv.select);
    }
    if (result == WORLD_ERR_ABORTED && !message.text[0]) message.Set("aborted by the user");
    memcpy(image, snapshot.data(), used);
    if (!select.empty()) {
        WorldMDeselectAllShapes();
        for (uint16_t id : select) WorldMSelectShape(id);
    }
    if (progress) progress(PROGRESS_DONE);
    return result;
}

int WorldMSaveRuntime(const char* runtimeName, const char* reportName, ProgressFn progress)
{
    return SaveRuntime(nullptr, runtimeName, reportName, progress);
}

static int SaveHook(const char* wleName, const char* runtimeName, ProgressFn progress)
{
    return SaveRuntime(wleName, runtimeName, WorldMRuntimeReportName(), progress);
}

void WorldMRuntimeInstall(void) { WorldMSetRuntimeSave(SaveHook); }
