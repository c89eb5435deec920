// The shape block: checking a block that came from a file, header and section accessors,
// inserting and removing bytes with relocation, the conversions of versions 12 to 15,
// derived values, face normals, coordinate write-back, the building operations, and material
// binding by name through the render-material table.
#include "shapes/shape.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/log.h"
#include "base/maths.h"
#include "base/str.h"
#include "materials/intmat.h"

enum {
    OLD_HEADER_SIZE = 60,        // versions 12 to 14: no extra-section fields at 0x3C
    OLD_VERTEX_FLAGS = 6,        // versions 13 and 14: the fourth word of an 8-byte vertex
};

// The head of a polygon record in versions 12 and 13, which kept the count word first.
enum {
    OLD_POLY_COUNT_WORD = 0,
    OLD_POLY_NORMAL = 2,         // i16 x 3
    OLD_POLY_MATERIAL = 8,
    OLD_POLY_FLAGS = 10,         // a byte; the byte after it is dropped on conversion
};

static char shapeError[192];

// ============================================================================================
// Layout helpers (any version)
// ============================================================================================

static uint32_t HeaderSizeOf(int version) { return version >= 15 ? (uint32_t)SHAPE_HEADER_SIZE : (uint32_t)OLD_HEADER_SIZE; }
static uint32_t VertexSizeOf(int version) { return version == 12 ? 6 : version <= 14 ? 8 : SHAPE_VERTEX_SIZE; }
// Versions 12 and 13 kept the point count word first in a polygon record.
static uint32_t CountWordAt(int version)
{
    return version <= 13 ? (uint32_t)OLD_POLY_COUNT_WORD : (uint32_t)POLY_COUNT_WORD;
}

static uint32_t RecordLength(uint16_t countWord)
{
    uint32_t n = countWord & PC_COUNT;
    uint32_t len = POLY_HEAD + 2 * n;
    if (countWord & PC_NORMALS) len += 6 * n;
    if (countWord & PC_MAPPING) len += 4 * n;
    return len;
}

static int SectionCount(const uint8_t* b, uint32_t field)
{
    uint32_t off = GetU32(b, field);
    if (!off) return 0;
    int n = GetI16(b, off);
    return n > 0 ? n : 0;
}

// ============================================================================================
// Checking a block that came from a file
// ============================================================================================

static int Why(char* why, size_t whySize, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
static int Why(char* why, size_t whySize, const char* fmt, ...)
{
    if (why && whySize) {
        va_list ap;
        va_start(ap, fmt);
        vsnprintf(why, whySize, fmt, ap);
        va_end(ap);
    }
    return 0;
}

int ShapeCheck(const uint8_t* b, size_t size, char* why, size_t whySize)
{
    if (!b || size < 2) return Why(why, whySize, "Damaged shape: too short to hold a shape");
    int version = GetU16(b, SH_VERSION);
    if (version > SHAPE_VERSION)
        return Why(why, whySize, "ShapeLoad - this shape is of a newer format than the code!");
    if (version < SHAPE_OLDEST_VERSION) return Why(why, whySize, "ShapeLoad - Wrong ShapeVersion");
    uint32_t header = HeaderSizeOf(version);
    if (size < header) return Why(why, whySize, "Damaged shape: shorter than its header");
    uint32_t used = GetU32(b, SH_SIZE);
    if (used < header || used > size)
        return Why(why, whySize, "Damaged shape: its size (%u bytes) does not fit the file (%zu bytes)", used, size);
    if (GetU16(b, SH_SHIFT) > SHAPE_MAX_SHIFT)
        return Why(why, whySize, "Damaged shape: coordinate shift %u out of range", GetU16(b, SH_SHIFT));

    struct Span {
        uint64_t start, end;
        const char* what;
    } spans[3];
    int spanCount = 0;

    int vertices = 0;
    uint32_t off = GetU32(b, SH_VERTICES);
    if (off) {
        if (off < header || !InBlock(off, 2, used))
            return Why(why, whySize, "Damaged shape: the vertex section lies outside the shape");
        vertices = GetI16(b, off);
        if (vertices < 0) return Why(why, whySize, "Damaged shape: negative vertex count");
        uint64_t len = 2 + (uint64_t)vertices * VertexSizeOf(version);
        if (!InBlock(off, len, used))
            return Why(why, whySize, "Damaged shape: its %d vertices run past the end of the shape", vertices);
        spans[spanCount++] = {off, off + len, "vertex"};
    }

    off = GetU32(b, SH_POLYGONS);
    if (off) {
        if (off < header || !InBlock(off, 2, used))
            return Why(why, whySize, "Damaged shape: the polygon section lies outside the shape");
        int polygons = GetI16(b, off);
        if (polygons < 0) return Why(why, whySize, "Damaged shape: negative polygon count");
        uint64_t pos = (uint64_t)off + 2;
        uint32_t at = CountWordAt(version);
        for (int i = 0; i < polygons; i++) {
            if (!InBlock(pos, POLY_HEAD, used))
                return Why(why, whySize, "Damaged shape: polygon %d runs past the end of the shape", i);
            uint16_t word = GetU16(b, pos + at);
            uint32_t len = RecordLength(word);
            if (!InBlock(pos, len, used))
                return Why(why, whySize, "Damaged shape: polygon %d runs past the end of the shape", i);
            for (uint32_t k = 0; k < (word & PC_COUNT); k++) {
                int index = GetU16(b, pos + POLY_HEAD + 2 * k);
                if (index >= vertices)
                    return Why(why, whySize, "Damaged shape: polygon %d uses vertex %d but the shape has %d", i,
                               index, vertices);
            }
            pos += len;
        }
        spans[spanCount++] = {off, pos, "polygon"};
    }

    off = GetU32(b, SH_NAMES);
    if (off) {
        if (off < header || !InBlock(off, 2, used))
            return Why(why, whySize, "Damaged shape: the material name table lies outside the shape");
        int names = GetI16(b, off);
        if (names < 0) return Why(why, whySize, "Damaged shape: negative material name count");
        uint64_t len = 2 + (uint64_t)names * SHAPE_NAME_ENTRY_SIZE;
        if (!InBlock(off, len, used))
            return Why(why, whySize, "Damaged shape: its %d material names run past the end of the shape", names);
        spans[spanCount++] = {off, off + len, "material name"};
    }

    // Nothing reads the extra section, but edits relocate its offset: it must point into the block.
    if (version >= 15) {
        off = GetU32(b, SH_EXTRA);
        if (off && (off < header || off > used))
            return Why(why, whySize, "Damaged shape: the extra section lies outside the shape");
    }

    for (int i = 0; i < spanCount; i++)
        for (int j = i + 1; j < spanCount; j++)
            if (spans[i].start < spans[j].end && spans[j].start < spans[i].end)
                return Why(why, whySize, "Damaged shape: the %s and %s sections overlap", spans[i].what,
                           spans[j].what);
    return 1;
}

// ============================================================================================
// Reading (version 16)
// ============================================================================================

int ShapeVersion(const uint8_t* b) { return GetU16(b, SH_VERSION); }
int ShapeShift(const uint8_t* b) { return GetU16(b, SH_SHIFT); }
uint32_t ShapeUsedSize(const uint8_t* b) { return GetU32(b, SH_SIZE); }
int ShapeVertexCount(const uint8_t* b) { return SectionCount(b, SH_VERTICES); }
int ShapePolygonCount(const uint8_t* b) { return SectionCount(b, SH_POLYGONS); }

uint8_t* ShapeVertex(uint8_t* b, int index)
{
    if (index < 0 || index >= ShapeVertexCount(b)) return nullptr;
    return b + GetU32(b, SH_VERTICES) + 2 + SHAPE_VERTEX_SIZE * (uint32_t)index;
}

static const uint8_t* VertexRecord(const uint8_t* b, int index) { return ShapeVertex((uint8_t*)b, index); }

void ShapeVertexPos(const uint8_t* b, int index, int32_t out[3])
{
    const uint8_t* v = VertexRecord(b, index);
    int s = ShapeShift(b);
    if (s > 31) s = 31;
    for (int a = 0; a < 3; a++)
        // Formed in 64 bits: a damaged or extreme shift wraps instead of overflowing.
        out[a] = v ? (int32_t)((int64_t)GetI16(v, 2 * a) * ((int64_t)1 << s)) : 0;
}

uint32_t ShapeVertexFlags(const uint8_t* b, int index)
{
    const uint8_t* v = VertexRecord(b, index);
    return v ? GetU16(v, VERT_FLAGS) : 0;
}

uint32_t ShapePointName(const uint8_t* b, int index)
{
    const uint8_t* v = VertexRecord(b, index);
    return v ? GetU32(v, VERT_NAME) : 0;
}

uint8_t* ShapeFirstPolygon(uint8_t* b)
{
    if (!ShapePolygonCount(b)) return nullptr;
    return b + GetU32(b, SH_POLYGONS) + 2;
}

uint8_t* ShapeNextPolygon(uint8_t* polygon) { return polygon + ShapePolygonLength(polygon); }

uint8_t* ShapePolygon(uint8_t* b, int index)
{
    if (index < 0 || index >= ShapePolygonCount(b)) return nullptr;
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < index; i++) p = ShapeNextPolygon(p);
    return p;
}

int ShapePolygonIndex(uint8_t* b, const uint8_t* polygon)
{
    int count = ShapePolygonCount(b);
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < count; i++, p = ShapeNextPolygon(p))
        if (p == polygon) return i;
    return -1;
}

uint32_t ShapePolygonLength(const uint8_t* polygon) { return RecordLength(GetU16(polygon, POLY_COUNT_WORD)); }

uint32_t ShapePolygonSectionLength(const uint8_t* b)
{
    if (!GetU32(b, SH_POLYGONS)) return 0;
    uint32_t len = 2;
    int count = ShapePolygonCount(b);
    const uint8_t* p = b + GetU32(b, SH_POLYGONS) + 2;
    for (int i = 0; i < count; i++) {
        uint32_t l = ShapePolygonLength(p);
        len += l;
        p += l;
    }
    return len;
}

int ShapePolyPoints(const uint8_t* polygon) { return GetU16(polygon, POLY_COUNT_WORD) & PC_COUNT; }
int ShapePolyIndex(const uint8_t* polygon, int point) { return GetU16(polygon, POLY_HEAD + 2 * point); }
uint8_t* ShapePolyIndices(uint8_t* polygon) { return polygon + POLY_HEAD; }

uint8_t* ShapePolyNormals(uint8_t* polygon)
{
    uint16_t word = GetU16(polygon, POLY_COUNT_WORD);
    if (!(word & PC_NORMALS)) return nullptr;
    return polygon + POLY_HEAD + 2 * (word & PC_COUNT);
}

uint8_t* ShapePolyMapping(uint8_t* polygon)
{
    uint16_t word = GetU16(polygon, POLY_COUNT_WORD);
    if (!(word & PC_MAPPING)) return nullptr;
    uint32_t n = word & PC_COUNT;
    return polygon + POLY_HEAD + 2 * n + ((word & PC_NORMALS) ? 6 * n : 0);
}

int ShapeNameCount(const uint8_t* b) { return SectionCount(b, SH_NAMES); }

uint8_t* ShapeNames(uint8_t* b)
{
    if (!ShapeNameCount(b)) return nullptr;
    return b + GetU32(b, SH_NAMES) + 2;
}

// ============================================================================================
// Editing bytes
// ============================================================================================

void ShapeRelocate(uint8_t* b, uint32_t pos, int32_t d)
{
    // Before version 15 the header ends at 0x3C, where section data lies, not an offset.
    static const uint32_t fields[4] = {SH_EXTRA, SH_VERTICES, SH_POLYGONS, SH_NAMES};
    for (int i = GetU16(b, SH_VERSION) >= 15 ? 0 : 1; i < 4; i++) {
        uint32_t off = GetU32(b, fields[i]);
        if (off && off >= pos) PutU32(b, fields[i], off + (uint32_t)d);
    }
}

int ShapeInsert(ShapeBlock* s, uint32_t pos, uint32_t n)
{
    uint8_t* b = s->data;
    uint32_t used = ShapeUsedSize(b);
    if (pos > used) FatalError("ShapeInsert - position %u outside the shape (%u bytes)", pos, used);
    if ((uint64_t)used + n > s->capacity) return 1;
    memmove(b + pos + n, b + pos, used - pos);
    // The gap is cleared so that what a caller does not fill in is never stale data.
    memset(b + pos, 0, n);
    PutU32(b, SH_SIZE, used + n);
    ShapeRelocate(b, pos, (int32_t)n);
    return 0;
}

void ShapeRemove(ShapeBlock* s, uint32_t pos, uint32_t n)
{
    uint8_t* b = s->data;
    uint32_t used = ShapeUsedSize(b);
    if (!InBlock(pos, n, used) || pos < OLD_HEADER_SIZE)
        FatalError("ShapeRemove - %u bytes at %u outside the shape (%u bytes)", n, pos, used);
    memmove(b + pos, b + pos + n, used - pos - n);
    PutU32(b, SH_SIZE, used - n);
    ShapeRelocate(b, pos, -(int32_t)n);
}

void ShapeDropPointNormals(ShapeBlock* s, uint32_t pos)
{
    uint8_t* p = s->data + pos;
    uint16_t word = GetU16(p, POLY_COUNT_WORD);
    if (!(word & PC_NORMALS)) return;
    uint32_t n = word & PC_COUNT;
    PutU16(p, POLY_COUNT_WORD, (uint16_t)(word & ~PC_NORMALS));
    ShapeRemove(s, pos + POLY_HEAD + 2 * n, 6 * n);
}

void ShapeRemovePolyPoint(ShapeBlock* s, uint32_t pos, int k)
{
    uint8_t* b = s->data;
    ShapeDropPointNormals(s, pos);
    if (uint8_t* mapping = ShapePolyMapping(b + pos)) ShapeRemove(s, (uint32_t)(mapping - b) + 4 * k, 4);
    ShapeRemove(s, pos + POLY_HEAD + 2 * k, 2);
    uint16_t word = GetU16(b, pos + POLY_COUNT_WORD);
    PutU16(b, pos + POLY_COUNT_WORD, (uint16_t)((word & ~PC_COUNT) | ((word & PC_COUNT) - 1)));
}

void ShapeMakeEmpty(uint8_t* b)
{
    memset(b, 0, SHAPE_HEADER_SIZE);
    PutU16(b, SH_VERSION, SHAPE_VERSION);
    PutU32(b, SH_SIZE, SHAPE_HEADER_SIZE);
    for (int a = 0; a < 3; a++) {
        PutI32(b, SH_MIN + 4 * a, SHAPE_BOX_EMPTY_MIN);
        PutI32(b, SH_MAX + 4 * a, SHAPE_BOX_EMPTY_MAX);
    }
}

// ============================================================================================
// Versions
// ============================================================================================

// Each step works on a checked block of the version before it, in a block with room for its
// growth (the callers make sure of that; a refused insertion leaves the records alone).

static void Step12To13(ShapeBlock* s)
{
    uint8_t* b = s->data;
    PutU16(b, SH_VERSION, 13);
    uint32_t off = GetU32(b, SH_VERTICES);
    int n = SectionCount(b, SH_VERTICES);
    if (n <= 0) return;
    if (ShapeInsert(s, off + 2 + 6 * n, 2 * n)) return;
    // From the last record down, so that no record is overwritten before it is read.
    for (int i = n - 1; i >= 0; i--) {
        int16_t c[3];
        for (int a = 0; a < 3; a++) c[a] = GetI16(b, off + 2 + 6 * i + 2 * a);
        for (int a = 0; a < 3; a++) PutI16(b, off + 2 + 8 * i + 2 * a, c[a]);
        PutU16(b, off + 2 + 8 * i + OLD_VERTEX_FLAGS, 0);
    }
}

static void Step13To14(uint8_t* b)
{
    PutU16(b, SH_VERSION, 14);
    PutU16(b, SH_FLAGS, 0);
    int count = SectionCount(b, SH_POLYGONS);
    uint8_t* p = b + GetU32(b, SH_POLYGONS) + 2;
    for (int i = 0; i < count; i++) {
        uint8_t old[POLY_HEAD];
        memcpy(old, p, POLY_HEAD);
        PutU16(p, POLY_FLAGS, old[OLD_POLY_FLAGS]);
        PutU16(p, POLY_MATERIAL, GetU16(old, OLD_POLY_MATERIAL));
        for (int a = 0; a < 3; a++) PutU16(p, POLY_NORMAL + 2 * a, GetU16(old, OLD_POLY_NORMAL + 2 * a));
        PutU16(p, POLY_COUNT_WORD, GetU16(old, OLD_POLY_COUNT_WORD));
        p += RecordLength(GetU16(old, OLD_POLY_COUNT_WORD));
    }
}

static void Step14To15(ShapeBlock* s)
{
    uint8_t* b = s->data;
    PutU16(b, SH_VERSION, 15);
    if (ShapeInsert(s, SH_EXTRA, 8)) return;
    PutU32(b, SH_EXTRA, 0);
    PutU32(b, SH_RESERVED_TAIL, 0);
    uint32_t off = GetU32(b, SH_VERTICES);
    int n = SectionCount(b, SH_VERTICES);
    if (n <= 0) return;
    if (ShapeInsert(s, off + 2 + 8 * n, 4 * n)) return;
    for (int i = n - 1; i >= 0; i--) {
        int16_t c[3];
        for (int a = 0; a < 3; a++) c[a] = GetI16(b, off + 2 + 8 * i + 2 * a);
        uint32_t at = off + 2 + SHAPE_VERTEX_SIZE * i;
        for (int a = 0; a < 3; a++) PutI16(b, at + 2 * a, c[a]);
        PutU16(b, at + VERT_FLAGS, 0);
        PutU32(b, at + VERT_NAME, 0);
    }
}

static void Step15To16(uint8_t* b)
{
    PutU16(b, SH_VERSION, 16);
    // Version 15 held min X, max X, min Y, max Y, min Z, max Z.
    int32_t box[6];
    for (int i = 0; i < 6; i++) box[i] = GetI32(b, SH_MIN + 4 * i);
    for (int a = 0; a < 3; a++) {
        PutI32(b, SH_MIN + 4 * a, box[2 * a]);
        PutI32(b, SH_MAX + 4 * a, box[2 * a + 1]);
    }
}

static uint32_t GrowthToCurrent(const uint8_t* b)
{
    int version = GetU16(b, SH_VERSION);
    uint32_t n = (uint32_t)SectionCount(b, SH_VERTICES);
    uint32_t grow = 0;
    if (version <= 12) grow += 2 * n;
    if (version <= 14) grow += 4 * n + 8;
    return grow;
}

static void SetError(const char* text) { StrLCopy(shapeError, text, sizeof shapeError); }

const char* ShapeLastError(void) { return shapeError; }

// Closes the resource, resizes it by `by` bytes and opens it again.
static uint8_t* GrowResource(ResId id, size_t by)
{
    size_t size = ResSize(id);
    ResClose(id);
    if (ResResize(id, size + by)) FatalError("Unable to resize shape during conversion to current format");
    return (uint8_t*)ResOpen(id);
}

int ShapeLoad(ResId id)
{
    uint8_t* b = (uint8_t*)ResOpen(id);
    char why[sizeof shapeError];
    if (!ShapeCheck(b, ResSize(id), why, sizeof why)) {
        SetError(why);
        LogPrintf(LOG_WARN, "SHAPE: %s refused: %s", ResName(id)[0] ? ResName(id) : "shape", why);
        ResClose(id);
        return 1;
    }
    shapeError[0] = 0;
    PutU16(b, SH_FLAGS, GetU16(b, SH_FLAGS) & ~SHF_CONVERTED);
    int version = GetU16(b, SH_VERSION);
    if (version == 12) {
        int n = SectionCount(b, SH_VERTICES);
        if (n > 0) b = GrowResource(id, 2 * (size_t)n);
        ShapeBlock s{b, (uint32_t)ResSize(id)};
        Step12To13(&s);
    }
    if (version <= 13) Step13To14(b);
    if (version <= 14) {
        b = GrowResource(id, 4 * (size_t)SectionCount(b, SH_VERTICES) + 8);
        ShapeBlock s{b, (uint32_t)ResSize(id)};
        Step14To15(&s);
    }
    if (version <= 15) Step15To16(b);
    ResClose(id);
    return 0;
}

int ShapeConvertInPlace(ShapeBlock* s)
{
    uint8_t* b = s->data;
    if (s->capacity < SHAPE_HEADER_SIZE) {
        SetError("Shape buffer too small");
        return 1;
    }
    int version = GetU16(b, SH_VERSION);
    if (version < SHAPE_OLDEST_VERSION) {
        ShapeMakeEmpty(b);
        shapeError[0] = 0;
        return 0;
    }
    char why[sizeof shapeError];
    if (!ShapeCheck(b, s->capacity, why, sizeof why)) {
        SetError(why);
        return 1;
    }
    if ((uint64_t)ShapeUsedSize(b) + GrowthToCurrent(b) > s->capacity) {
        SetError("Shape too large to convert to the current format");
        return 1;
    }
    shapeError[0] = 0;
    if (version == 12) Step12To13(s);
    if (version <= 13) Step13To14(b);
    if (version <= 14) Step14To15(s);
    if (version <= 15) Step15To16(b);
    PutU16(b, SH_FLAGS, GetU16(b, SH_FLAGS) & ~SHF_EDITOR);
    return 0;
}

// ============================================================================================
// Derived values
// ============================================================================================

void ShapeComputeBox(uint8_t* b)
{
    int32_t lo[3], hi[3];
    for (int a = 0; a < 3; a++) {
        lo[a] = SHAPE_BOX_EMPTY_MIN;
        hi[a] = SHAPE_BOX_EMPTY_MAX;
    }
    int count = ShapeVertexCount(b);
    for (int i = 0; i < count; i++) {
        int32_t p[3];
        ShapeVertexPos(b, i, p);
        for (int a = 0; a < 3; a++) {
            if (p[a] < lo[a]) lo[a] = p[a];
            if (p[a] > hi[a]) hi[a] = p[a];
        }
    }
    for (int a = 0; a < 3; a++) {
        PutI32(b, SH_MIN + 4 * a, lo[a]);
        PutI32(b, SH_MAX + 4 * a, hi[a]);
    }
    // Without vertices the empty box's corners mean nothing: the radius of "New" is 0.
    // In double: squares of single-precision corners lose their last bits (the corner
    // (4097, 0, 0) would measure 4096.9995), and a radius short of a corner can cull a shape
    // whose edge is still in view.
    double radius = 0.0;
    if (count > 0)
        for (int c = 0; c < 8; c++) {
            double x = (c & 1) ? hi[0] : lo[0];
            double y = (c & 2) ? hi[1] : lo[1];
            double z = (c & 4) ? hi[2] : lo[2];
            double len = sqrt(x * x + y * y + z * z);
            if (len > radius) radius = len;
        }
    // A corner near the 32-bit limit is longer than any radius field can hold.
    PutI32(b, SH_RADIUS, radius >= 2147483647.0 ? INT32_MAX : (int32_t)radius);
}

void ShapeNormaliseShift(uint8_t* b)
{
    int s = ShapeShift(b);
    if (s <= 0) return;
    int64_t m = INT64_MIN;
    for (int a = 0; a < 3; a++) {
        int64_t hi = GetI32(b, SH_MAX + 4 * a);
        int64_t lo = -(int64_t)GetI32(b, SH_MIN + 4 * a);
        if (hi > m) m = hi;
        if (lo > m) m = lo;
    }
    int64_t limit = s >= 40 ? INT64_MAX / 4 : ((int64_t)8192 << s) - 1;
    if (m > limit) return;
    // Doubling m until it passes the limit, at most s times; m <= 0 (no extent) never does.
    int k = s;
    if (m > 0) {
        k = 1;
        for (int64_t v = m * 2; v <= limit && k < s; v *= 2) k++;
    }
    PutU16(b, SH_SHIFT, (uint16_t)(s - k));
    int count = ShapeVertexCount(b);
    for (int i = 0; i < count; i++) {
        uint8_t* v = ShapeVertex(b, i);
        for (int a = 0; a < 3; a++) PutU16(v, 2 * a, k >= 16 ? 0 : (uint16_t)(GetU16(v, 2 * a) << k));
    }
}

void ShapeDerive(uint8_t* b)
{
    ShapeComputeBox(b);
    ShapeNormaliseShift(b);
}

// ============================================================================================
// Face normals
// ============================================================================================

void ShapeNormalOfPoints(const int64_t p0[3], const int64_t p1[3], const int64_t p2[3], int16_t out[3])
{
    float u[3], v[3];
    for (int a = 0; a < 3; a++) {
        u[a] = (float)(p1[a] - p0[a]);
        v[a] = (float)(p2[a] - p0[a]);
    }
    float c[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    float len = sqrtf(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
    out[0] = out[1] = out[2] = 0;
    if (std::isfinite(len)) {
        if (len != 0.0f)
            for (int a = 0; a < 3; a++) out[a] = (int16_t)(int32_t)(c[a] / len * 16384.0f);
        return;
    }
    // Edges near the 32-bit limit overflow single precision: take the same vector wider.
    double d[3] = {(double)u[1] * v[2] - (double)u[2] * v[1], (double)u[2] * v[0] - (double)u[0] * v[2],
                   (double)u[0] * v[1] - (double)u[1] * v[0]};
    double dl = sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (dl != 0.0)
        for (int a = 0; a < 3; a++) out[a] = (int16_t)(int32_t)(d[a] / dl * 16384.0);
}

static void WorldPos(const uint8_t* b, int index, int64_t out[3])
{
    int32_t p[3];
    ShapeVertexPos(b, index, p);
    for (int a = 0; a < 3; a++) out[a] = p[a];
}

void ShapeFaceNormal(uint8_t* b, uint8_t* polygon)
{
    PutU16(polygon, POLY_FLAGS, GetU16(polygon, POLY_FLAGS) & ~PF_NOTPLANAR);
    int n = ShapePolyPoints(polygon);
    int16_t normal[3] = {0, 0, 0};
    if (n >= 3) {
        int64_t p0[3], p1[3], p2[3];
        WorldPos(b, ShapePolyIndex(polygon, 0), p0);
        WorldPos(b, ShapePolyIndex(polygon, 1), p1);
        WorldPos(b, ShapePolyIndex(polygon, 2), p2);
        ShapeNormalOfPoints(p0, p1, p2, normal);
        for (int k = 3; k < n; k++) {
            int64_t pk[3];
            WorldPos(b, ShapePolyIndex(polygon, k), pk);
            int64_t d = 0;
            for (int a = 0; a < 3; a++) d += ((pk[a] - p0[a]) * normal[a]) >> FIX_SHIFT;
            if (d < -32 || d > 32) {
                PutU16(polygon, POLY_FLAGS, GetU16(polygon, POLY_FLAGS) | PF_NOTPLANAR);
                break;
            }
        }
    }
    for (int a = 0; a < 3; a++) PutI16(polygon, POLY_NORMAL + 2 * a, normal[a]);
}

void ShapeAllFaceNormals(ShapeBlock* s)
{
    uint8_t* b = s->data;
    uint32_t off = GetU32(b, SH_POLYGONS);
    if (!off) return;
    int count = SectionCount(b, SH_POLYGONS);
    uint32_t pos = off + 2;
    for (int i = 0; i < count;) {
        uint8_t* p = b + pos;
        uint32_t len = ShapePolygonLength(p);
        if (ShapePolyPoints(p) < 3) {
            ShapeRemove(s, pos, len);
            count--;
            continue;
        }
        ShapeFaceNormal(b, p);
        pos += len;
        i++;
    }
    PutU16(b, off, (uint16_t)count);
    // The count word stays behind, unreferenced, like a section emptied by deletion.
    if (!count) PutU32(b, SH_POLYGONS, 0);
}

// ============================================================================================
// Writing coordinates back
// ============================================================================================

void ShapeWriteCoord(uint8_t* b, int vertex, int axis, int32_t value)
{
    uint8_t* v = ShapeVertex(b, vertex);
    if (!v || axis < 0 || axis > 2) return;
    int s = ShapeShift(b);
    int64_t limit = (int64_t)SHAPE_COORD_LIMIT << (s > 31 ? 31 : s);
    int64_t mag = value < 0 ? -(int64_t)value : value;
    if (mag > limit) {
        int k = 1;
        while ((mag >> k) > limit) k++;
        s += k;
        PutU16(b, SH_SHIFT, (uint16_t)s);
        int count = ShapeVertexCount(b);
        for (int i = 0; i < count; i++) {
            uint8_t* w = ShapeVertex(b, i);
            for (int a = 0; a < 3; a++) PutI16(w, 2 * a, (int16_t)(GetI16(w, 2 * a) >> k));
        }
    }
    PutI16(v, 2 * axis, (int16_t)((int64_t)value >> (s > 63 ? 63 : s)));
}

// ============================================================================================
// Building
// ============================================================================================

int ShapeAppendVertex(ShapeBlock* s, int32_t x, int32_t y, int32_t z)
{
    uint8_t* b = s->data;
    uint32_t off = GetU32(b, SH_VERTICES);
    int count = ShapeVertexCount(b);
    if (count >= SHAPE_MAX_COUNT) return -1;
    if (!off) {
        uint32_t at = ShapeUsedSize(b);
        if (ShapeInsert(s, at, 2 + SHAPE_VERTEX_SIZE)) return -1;
        PutU32(b, SH_VERTICES, at);
        off = at;
    } else if (ShapeInsert(s, off + 2 + SHAPE_VERTEX_SIZE * count, SHAPE_VERTEX_SIZE)) {
        return -1;
    }
    PutU16(b, off, (uint16_t)(count + 1));
    ShapeWriteCoord(b, count, 0, x);
    ShapeWriteCoord(b, count, 1, y);
    ShapeWriteCoord(b, count, 2, z);
    return count;
}

int ShapeAppendPolygon(ShapeBlock* s, int n, const uint16_t* indices, uint16_t material)
{
    uint8_t* b = s->data;
    if (n < 0 || n > SHAPE_MAX_POINTS || (n > 0 && !indices)) return -1;
    // A polygon naming a missing vertex would break every reader of the block.
    int vertices = ShapeVertexCount(b);
    for (int k = 0; k < n; k++)
        if (indices[k] >= vertices) return -1;
    int count = ShapePolygonCount(b);
    if (count >= SHAPE_MAX_COUNT) return -1;
    uint32_t len = POLY_HEAD + 2 * (uint32_t)n;
    uint32_t off = GetU32(b, SH_POLYGONS);
    uint32_t at;
    if (!off) {
        uint32_t start = ShapeUsedSize(b);
        if (ShapeInsert(s, start, 2 + len)) return -1;
        PutU32(b, SH_POLYGONS, start);
        off = start;
        at = start + 2;
    } else {
        at = off + ShapePolygonSectionLength(b);
        if (ShapeInsert(s, at, len)) return -1;
    }
    PutU16(b, off, (uint16_t)(count + 1));
    PutU16(b, at + POLY_MATERIAL, material);
    PutU16(b, at + POLY_COUNT_WORD, (uint16_t)n);
    for (int k = 0; k < n; k++) PutU16(b, at + POLY_HEAD + 2 * k, indices[k]);
    return count;
}

int ShapeAppendPolygonWithNormal(ShapeBlock* s, int n, const uint16_t* indices, uint16_t material)
{
    int index = ShapeAppendPolygon(s, n, indices, material);
    if (index >= 0) ShapeFaceNormal(s->data, ShapePolygon(s->data, index));
    return index;
}

// ============================================================================================
// Materials
// ============================================================================================

// The name table entry for a polygon's material value: ids match on their low 15 bits, but
// an entry with exactly the value wins. After binding, found entries hold table indices while
// unresolved ones keep bit 15 and their old id, so index 1 and unresolved 0x8001 can share
// the low bits; binding again must not take one for the other.
static const uint8_t* NameEntry(uint8_t* b, uint16_t value)
{
    int count = ShapeNameCount(b);
    const uint8_t* first = ShapeNames(b);
    const uint8_t* e = first;
    for (int i = 0; i < count; i++, e += SHAPE_NAME_ENTRY_SIZE)
        if (GetU16(e, NAME_ID) == value) return e;
    e = first;
    for (int i = 0; i < count; i++, e += SHAPE_NAME_ENTRY_SIZE)
        if (((GetU16(e, NAME_ID) ^ value) & MAT_ID_MASK) == 0) return e;
    return nullptr;
}

int ShapeNameEntryMaterial(const uint8_t* entry, int nameChars)
{
    if (nameChars < 1) nameChars = 1;
    if (nameChars > SHAPE_NAME_CHARS) nameChars = SHAPE_NAME_CHARS;
    char name[SHAPE_NAME_CHARS + 1];
    memcpy(name, entry + NAME_TEXT, (size_t)nameChars);
    name[nameChars] = 0;
    return IntMatFind(name);
}

void ShapeBindMaterials(uint8_t* b, int nameChars)
{
    int count = ShapePolygonCount(b);
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < count; i++, p = ShapeNextPolygon(p)) {
        uint16_t value = GetU16(p, POLY_MATERIAL);
        const uint8_t* e = NameEntry(b, value);
        int found = e ? ShapeNameEntryMaterial(e, nameChars) : IM_NONE;
        PutU16(p, POLY_MATERIAL, found != IM_NONE ? (uint16_t)found : (uint16_t)(value | MAT_UNRESOLVED));
    }
    // Only now: the polygons above looked entries up by the ids the block was saved with.
    int names = ShapeNameCount(b);
    uint8_t* e = ShapeNames(b);
    for (int i = 0; i < names; i++, e += SHAPE_NAME_ENTRY_SIZE) {
        int found = ShapeNameEntryMaterial(e, nameChars);
        if (found != IM_NONE) PutU16(e, NAME_ID, (uint16_t)found);
    }
}

int ShapeRebindMaterials(ShapeBlock* s, const uint8_t* previous, int previousCount)
{
    uint8_t* b = s->data;
    int count = ShapePolygonCount(b);
    if (!count) return 0;
    // The names in use, each once, and which one each polygon has (-1: keeps its value).
    std::vector<const uint8_t*> names;
    std::vector<int> nameOf((size_t)count, -1);
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < count; i++, p = ShapeNextPolygon(p)) {
        uint16_t value = GetU16(p, POLY_MATERIAL);
        const uint8_t* name = nullptr;
        if (value & MAT_UNRESOLVED) {
            const uint8_t* e = NameEntry(b, value);
            if (e) name = e + NAME_TEXT;
        } else if (value < previousCount) {
            name = previous + (size_t)value * IM_NAME_CHARS;
        }
        if (!name) continue;
        size_t k = 0;
        while (k < names.size() && memcmp(names[k], name, SHAPE_NAME_CHARS) != 0) k++;
        if (k == names.size()) names.push_back(name);
        nameOf[(size_t)i] = (int)k;
    }

    // The names are copied out: the old table goes before the new one is written.
    std::vector<uint8_t> text(names.size() * SHAPE_NAME_CHARS);
    std::vector<uint16_t> value(names.size());
    for (size_t k = 0; k < names.size(); k++) {
        memcpy(&text[k * SHAPE_NAME_CHARS], names[k], SHAPE_NAME_CHARS);
        int found = ShapeNameEntryMaterial(&text[k * SHAPE_NAME_CHARS], SHAPE_NAME_CHARS);
        // Unresolved ids carry the unresolved bit, so no bound index can take them for its own.
        value[k] = found != IM_NONE ? (uint16_t)found : (uint16_t)(MAT_UNRESOLVED | k);
    }

    uint32_t off = GetU32(b, SH_NAMES);
    uint32_t oldSize = off ? 2 + SHAPE_NAME_ENTRY_SIZE * (uint32_t)ShapeNameCount(b) : 0;
    uint32_t newSize = 2 + SHAPE_NAME_ENTRY_SIZE * (uint32_t)names.size();
    if ((uint64_t)ShapeUsedSize(b) - oldSize + newSize > s->capacity) return 1;
    p = ShapeFirstPolygon(b);
    for (int i = 0; i < count; i++, p = ShapeNextPolygon(p))
        if (nameOf[(size_t)i] >= 0) PutU16(p, POLY_MATERIAL, value[(size_t)nameOf[(size_t)i]]);
    if (off) {
        ShapeRemove(s, off, oldSize);
        PutU32(b, SH_NAMES, 0);
    }
    uint32_t at = ShapeUsedSize(b);
    ShapeInsert(s, at, newSize);
    PutU32(b, SH_NAMES, at);
    PutU16(b, at, (uint16_t)names.size());
    for (size_t k = 0; k < names.size(); k++) {
        uint8_t* e = b + at + 2 + SHAPE_NAME_ENTRY_SIZE * k;
        memcpy(e + NAME_TEXT, &text[k * SHAPE_NAME_CHARS], SHAPE_NAME_CHARS);
        PutU16(e, NAME_ID, value[k]);
    }
    return 0;
}

int ShapeRebuildNameTable(ShapeBlock* s)
{
    uint8_t* b = s->data;
    int count = ShapePolygonCount(b);
    if (!count) return 0;
    uint16_t values[SHAPE_MAX_TABLE_NAMES];
    uint8_t names[SHAPE_MAX_TABLE_NAMES][SHAPE_NAME_CHARS];
    int collected = 0;
    uint8_t* p = ShapeFirstPolygon(b);
    for (int i = 0; i < count && collected < SHAPE_MAX_TABLE_NAMES; i++, p = ShapeNextPolygon(p)) {
        uint16_t value = GetU16(p, POLY_MATERIAL);
        int seen = 0;
        for (int k = 0; k < collected && !seen; k++) seen = values[k] == value;
        if (seen) continue;
        const uint8_t* name = nullptr;
        if (value & MAT_UNRESOLVED) {
            name = NameEntry(b, value);
            if (!name && IntMatCount() > 0) name = IntMatPtr(0) + IM_NAME;   // the Dummy
        } else if (value < IntMatCount()) {
            name = IntMatPtr(value) + IM_NAME;
        }
        if (!name) continue;
        values[collected] = value;
        memcpy(names[collected], name, SHAPE_NAME_CHARS);
        collected++;
    }

    uint32_t off = GetU32(b, SH_NAMES);
    uint32_t oldSize = off ? 2 + SHAPE_NAME_ENTRY_SIZE * (uint32_t)ShapeNameCount(b) : 0;
    uint32_t newSize = 2 + SHAPE_NAME_ENTRY_SIZE * (uint32_t)collected;
    if ((uint64_t)ShapeUsedSize(b) - oldSize + newSize > s->capacity) return 1;
    if (off) {
        ShapeRemove(s, off, oldSize);
        PutU32(b, SH_NAMES, 0);
    }
    uint32_t at = ShapeUsedSize(b);
    ShapeInsert(s, at, newSize);
    PutU32(b, SH_NAMES, at);
    PutU16(b, at, (uint16_t)collected);
    for (int k = 0; k < collected; k++) {
        uint8_t* e = b + at + 2 + SHAPE_NAME_ENTRY_SIZE * k;
        memcpy(e, names[k], SHAPE_NAME_CHARS);
        PutU16(e, NAME_ID, values[k]);
    }
    return 0;
}
