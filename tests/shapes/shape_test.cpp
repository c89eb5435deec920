// The shape block: layout, byte insertion and removal, version conversions, derived values,
// normals, coordinate write-back, building, and refusal of damaged blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "kernel/res/res.h"
#include "kernel/util/bytes.h"
#include "kernel/util/maths.h"
#include "shapes/shape.h"
#include "shapes/shape_build.h"

class Shape : public ::testing::Test {
protected:
    void SetUp() override { ResInstall(200); }
    void TearDown() override { ResRemove(); }

    // A block in a buffer of `capacity` bytes (at least the block).
    std::vector<uint8_t> buf;
    ShapeBlock blk{};
    uint8_t* Take(const Bytes& image, size_t capacity = 0)
    {
        buf.assign(std::max(capacity, image.size()), 0xCD);
        memcpy(buf.data(), image.data(), image.size());
        blk = ShapeBlock{buf.data(), (uint32_t)buf.size()};
        return buf.data();
    }
    Bytes Used() const { return Bytes(buf.begin(), buf.begin() + GetU32(buf.data(), SH_SIZE)); }

    // ShapeLoad on a resource holding the image; the converted bytes up to the used size.
    static Bytes LoadConverted(const Bytes& image, int* result = nullptr)
    {
        ResId id = ResCreate(image.size());
        memcpy(ResOpen(id), image.data(), image.size());
        ResClose(id);
        int r = ShapeLoad(id);
        if (result) *result = r;
        const uint8_t* b = (const uint8_t*)ResPeek(id);
        Bytes out = r ? Bytes(b, b + image.size()) : Bytes(b, b + GetU32(b, SH_SIZE));
        ResFreeAlways(id);
        return out;
    }
};

static TShape Triangle()
{
    TShape s;
    s.verts = {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}};
    s.polys = {TPoly{{0, 1, 2}}};
    return s;
}

// ============================================================================================
// Layout, insertion and removal
// ============================================================================================

TEST_F(Shape, EmptyShapeIsSixtyEightBytesAndDerivingKeepsIt)
{
    uint8_t b[SHAPE_HEADER_SIZE];
    memset(b, 0xAA, sizeof b);
    ShapeMakeEmpty(b);
    TShape empty;
    EXPECT_EQ(BuildShape(empty), Bytes(b, b + sizeof b));
    ShapeDerive(b);
    EXPECT_EQ(BuildShape(empty), Bytes(b, b + sizeof b)) << "radius stays 0 and the box stays empty";
    EXPECT_EQ(0, ShapeVertexCount(b));
    EXPECT_EQ(nullptr, ShapeFirstPolygon(b));
    EXPECT_EQ(0u, ShapePolygonSectionLength(b));
}

TEST_F(Shape, PolygonRecordWithBothBlocks)
{
    TShape s = Triangle();
    TPoly full{{2, 1, 0}};
    full.normals = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    full.mapping = {10, 11, 12, 13, 14, 15};
    TPoly mapped{{0, 1, 2}};
    mapped.mapping = {20, 21, 22, 23, 24, 25};
    s.polys = {full, mapped, TPoly{{1, 2, 0}}};
    uint8_t* b = Take(BuildShape(s));
    uint8_t* p = ShapeFirstPolygon(b);
    EXPECT_EQ(48u, ShapePolygonLength(p));
    EXPECT_EQ(p + 18, ShapePolyNormals(p));
    EXPECT_EQ(7, GetI16(ShapePolyNormals(p), 12));
    EXPECT_EQ(p + 36, ShapePolyMapping(p));
    EXPECT_EQ(15, GetI16(ShapePolyMapping(p), 10));
    uint8_t* q = ShapeNextPolygon(p);
    EXPECT_EQ(q, ShapePolygon(b, 1));
    EXPECT_EQ(nullptr, ShapePolyNormals(q));
    EXPECT_EQ(q + 18, ShapePolyMapping(q)) << "mapping follows the indices when there are no normals";
    EXPECT_EQ(2, ShapePolygonIndex(b, ShapePolygon(b, 2)));
    EXPECT_EQ(nullptr, ShapePolygon(b, 3));
    EXPECT_EQ(2u + 48 + 30 + 18, ShapePolygonSectionLength(b));
}

TEST_F(Shape, InsertRelocatesOffsetsAtOrAfterThePosition)
{
    TShape s = Triangle();
    s.names = {{"STONE", 0}};
    Bytes image = BuildShape(s);
    uint8_t* b = Take(image, image.size() + 100);
    uint32_t v = GetU32(b, SH_VERTICES), p = GetU32(b, SH_POLYGONS), n = GetU32(b, SH_NAMES);
    PutU32(b, SH_EXTRA, n);   // the extra section moves like the others

    ASSERT_EQ(0, ShapeInsert(&blk, p, 6));
    EXPECT_EQ(v, GetU32(b, SH_VERTICES));
    EXPECT_EQ(p + 6, GetU32(b, SH_POLYGONS)) << "a section that begins at the position moves";
    EXPECT_EQ(n + 6, GetU32(b, SH_NAMES));
    EXPECT_EQ(n + 6, GetU32(b, SH_EXTRA));
    EXPECT_EQ(image.size() + 6, ShapeUsedSize(b));
    EXPECT_EQ(Bytes(6, 0), Bytes(b + p, b + p + 6));
    EXPECT_TRUE(std::equal(image.begin() + p, image.end(), b + p + 6));

    uint32_t end = ShapeUsedSize(b);
    ASSERT_EQ(0, ShapeInsert(&blk, end, 10));
    EXPECT_EQ(p + 6, GetU32(b, SH_POLYGONS)) << "inserting at the end moves nothing";
    EXPECT_EQ(n + 6, GetU32(b, SH_NAMES));

    // Past the capacity: refused, nothing changes.
    Bytes before = Used();
    uint32_t room = blk.capacity - ShapeUsedSize(b);
    EXPECT_EQ(1, ShapeInsert(&blk, v, room + 1));
    EXPECT_EQ(before, Used());
    EXPECT_EQ(0, ShapeInsert(&blk, v, room));
    EXPECT_EQ(blk.capacity, ShapeUsedSize(b));
}

TEST_F(Shape, RemoveByWordsAndByBytes)
{
    TShape s = Triangle();
    s.names = {{"STONE", 0}};
    Bytes image = BuildShape(s);
    uint32_t v = GetU32(image.data(), SH_VERTICES), p = GetU32(image.data(), SH_POLYGONS),
             n = GetU32(image.data(), SH_NAMES);
    for (uint32_t len : {12u, 7u}) {   // even position, range and rest; then an odd range
        SCOPED_TRACE(len);
        uint8_t* b = Take(image);
        uint32_t at = v + 2;
        ShapeRemove(&blk, at, len);
        Bytes expect(image.begin(), image.begin() + at);
        expect.insert(expect.end(), image.begin() + at + len, image.end());
        PutU32(expect.data(), SH_SIZE, (uint32_t)expect.size());
        PutU32(expect.data(), SH_POLYGONS, p - len);
        PutU32(expect.data(), SH_NAMES, n - len);
        EXPECT_EQ(expect, Used());
        EXPECT_EQ(v, GetU32(b, SH_VERTICES)) << "a section before the position stays";
    }
}

// ============================================================================================
// Versions
// ============================================================================================

// A block of the given version with everything the conversions move: vertices, polygons with
// and without per-point blocks, a name table, header words that are carried through.
static TShape Sample(int version)
{
    TShape s;
    s.version = version;
    s.shift = 2;
    s.flags = 0x0F;
    s.word06 = 0x1234;
    s.word0C = 0xCAFEBABE;
    s.radius = 777;
    for (int a = 0; a < 3; a++) {
        s.lo[a] = -100 - a;
        s.hi[a] = 200 + a;
    }
    s.noSort = 1;
    s.maxAngle = 0x2000;
    s.verts = {{5, -6, 7, 0xAB, 0x41424344}, {-1, 2, -3, 0, 0}, {30, 40, 50, 0x8000, 0}};
    TPoly a{{0, 1, 2}, 0x91, 0x8003, 1, 2, 3};
    a.normals = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    a.mapping = {10, 11, 12, 13, 14, 15};
    a.byte11 = 0x5A;
    TPoly b{{2, 1, 0, 1}, 0x04, 7, -4, -5, -6};
    b.byte11 = 0xEE;
    s.polys = {a, b};
    s.names = {{"GRANITE", 0x8003}, {"WOOD", 7}};
    if (version >= 15) s.word40 = 0x11223344;   // carried through; older blocks gain a zero
    return s;
}

// What ShapeLoad must make of Sample(version).
static TShape SampleConverted(int version)
{
    TShape s = Sample(version);
    s.version = 16;
    if (version <= 14)
        for (TVert& v : s.verts) v.flags = 0, v.name = 0;
    if (version <= 13) {
        s.flags = 0;
        for (TPoly& p : s.polys) p.flags &= 0xFF;
    }
    s.flags &= ~SHF_CONVERTED;
    return s;
}

TEST_F(Shape, LoadConvertsEachVersionToSixteen)
{
    for (int version = 12; version <= 16; version++) {
        SCOPED_TRACE(version);
        int r = -1;
        Bytes out = LoadConverted(BuildShape(Sample(version)), &r);
        ASSERT_EQ(0, r) << ShapeLastError();
        EXPECT_EQ(BuildShape(SampleConverted(version)), out);
    }
}

TEST_F(Shape, ConversionStepsByTheByte)
{
    // Version 12: 60-byte header, 6-byte vertices, the count word first in a polygon record.
    Bytes v12(60, 0);
    PutU16(v12.data(), 0x00, 12);
    PutU16(v12.data(), 0x04, 0x0202);
    PutI32(v12.data(), 0x20, -1), PutI32(v12.data(), 0x24, 1);     // min X, max X
    PutI32(v12.data(), 0x28, -2), PutI32(v12.data(), 0x2C, 2);     // min Y, max Y
    PutI32(v12.data(), 0x30, -3), PutI32(v12.data(), 0x34, 3);     // min Z, max Z
    PutU32(v12.data(), 0x10, 60);
    for (int v : {2, 1, 2, 3, -1, -2, -3}) AppendU16(v12, (uint16_t)v);   // 2 vertices
    PutU32(v12.data(), 0x14, (uint32_t)v12.size());
    // One polygon of 2 points: count word, normal, material, flags byte, a dropped byte, indices.
    for (int v : {1, 0x0002, 0xFFFF, 0x4000, 0x0001, 0x8001, 0xA581, 0, 1}) AppendU16(v12, (uint16_t)v);
    PutU32(v12.data(), 0x08, (uint32_t)v12.size());

    Bytes expect(68, 0);
    uint8_t* e = expect.data();
    PutU16(e, 0x00, 16);
    PutU32(e, 0x10, 68);
    for (int a = 0; a < 3; a++) PutI32(e, 0x20 + 4 * a, -1 - a), PutI32(e, 0x2C + 4 * a, 1 + a);
    for (int v : {2, 1, 2, 3, 0, 0, 0, -1, -2, -3, 0, 0, 0}) AppendU16(expect, (uint16_t)v);
    PutU32(e = expect.data(), 0x14, (uint32_t)expect.size());
    for (int v : {1, 0x81, 0x8001, 0xFFFF, 0x4000, 0x0001, 0x0002, 0, 1}) AppendU16(expect, (uint16_t)v);
    PutU32(expect.data(), 0x08, (uint32_t)expect.size());
    EXPECT_EQ(expect, LoadConverted(v12));

    // The editor's conversion: the same layout, flags bit 0 cleared instead of bit 1.
    Take(v12, 200);
    ASSERT_EQ(0, ShapeConvertInPlace(&blk));
    EXPECT_EQ(expect, Used());

    // Without vertices: only the header grows.
    Bytes bare(60, 0);
    PutU16(bare.data(), 0x00, 12);
    PutU32(bare.data(), 0x08, 60);
    TShape empty;
    empty.lo[0] = empty.lo[1] = empty.lo[2] = 0;
    empty.hi[0] = empty.hi[1] = empty.hi[2] = 0;
    EXPECT_EQ(BuildShape(empty), LoadConverted(bare));
}

TEST_F(Shape, EditorConversion)
{
    // Below 12: an empty shape, no refusal.
    Bytes old(80, 0x11);
    PutU16(old.data(), 0, 11);
    Take(old, 200);
    ASSERT_EQ(0, ShapeConvertInPlace(&blk));
    EXPECT_EQ(BuildShape(TShape{}), Used());

    // Sections out of their usual order still convert by their offsets.
    for (int version = 12; version <= 16; version++) {
        SCOPED_TRACE(version);
        TShape s = Sample(version);
        s.order = "npv";
        Take(BuildShape(s), 400);
        ASSERT_EQ(0, ShapeConvertInPlace(&blk)) << ShapeLastError();
        TShape expect = SampleConverted(version);
        expect.order = "npv";
        expect.flags = (expect.flags | (s.flags & SHF_CONVERTED)) & ~SHF_EDITOR;
        if (version <= 13) expect.flags = 0;
        EXPECT_EQ(BuildShape(expect), Used());
    }

    // No room to grow, and newer than the code: refused, nothing changes.
    Bytes image = BuildShape(Sample(12));
    Take(image, image.size() + 2 * 3 + 4 * 3 + 7);
    EXPECT_EQ(1, ShapeConvertInPlace(&blk));
    EXPECT_EQ(image, Used());
    TShape newer = Triangle();
    newer.version = 17;
    Take(BuildShape(newer), 400);
    EXPECT_EQ(1, ShapeConvertInPlace(&blk));
    EXPECT_STREQ("ShapeLoad - this shape is of a newer format than the code!", ShapeLastError());
}

// ============================================================================================
// Damaged blocks
// ============================================================================================

// ShapeCheck on an exact-size copy (so that a read past the end is a sanitizer report), and
// ShapeLoad on a resource of that size: both refuse.
static void ExpectRefused(const Bytes& image, const char* what)
{
    SCOPED_TRACE(what);
    std::unique_ptr<uint8_t[]> exact(new uint8_t[image.size() ? image.size() : 1]);
    if (!image.empty()) memcpy(exact.get(), image.data(), image.size());
    char why[160] = "";
    EXPECT_EQ(0, ShapeCheck(exact.get(), image.size(), why, sizeof why));
    EXPECT_NE('\0', why[0]);
    ResId id = ResCreate(image.size());
    if (!image.empty()) memcpy(ResOpen(id), image.data(), image.size()), ResClose(id);
    EXPECT_EQ(1, ShapeLoad(id));
    EXPECT_STREQ(why, ShapeLastError());
    if (!image.empty()) {
        EXPECT_EQ(0, memcmp(ResPeek(id), image.data(), image.size())) << "a refused block is left as it was";
    }
    ResFreeAlways(id);
}

TEST_F(Shape, EveryTruncationIsRefused)
{
    for (int version = 12; version <= 16; version++) {
        Bytes image = BuildShape(Sample(version));
        for (size_t len = 0; len < image.size(); len++) {
            Bytes cut(image.begin(), image.begin() + len);
            ExpectRefused(cut, ("version " + std::to_string(version) + ", " + std::to_string(len) + " bytes").c_str());
            // The same, with the used size agreeing with the file.
            if (len >= 12) {
                PutU32(cut.data(), SH_SIZE, (uint32_t)len);
                ExpectRefused(cut, ("used size " + std::to_string(len)).c_str());
            }
        }
    }
}

TEST_F(Shape, LyingCountsAndOffsetsAreRefused)
{
    for (int version : {12, 14, 16}) {
        SCOPED_TRACE(version);
        const Bytes good = BuildShape(Sample(version));
        const uint8_t* g = good.data();
        uint32_t used = (uint32_t)good.size(), v = GetU32(g, SH_VERTICES), p = GetU32(g, SH_POLYGONS),
                 n = GetU32(g, SH_NAMES);
        auto patched = [&](uint32_t at, uint32_t value, int width) {
            Bytes b = good;
            width == 2 ? PutU16(b.data(), at, (uint16_t)value) : PutU32(b.data(), at, value);
            return b;
        };
        ExpectRefused(patched(SH_SIZE, used + 1, 4), "used size past the file");
        ExpectRefused(patched(SH_SIZE, 20, 4), "used size inside the header");
        ExpectRefused(patched(SH_VERTICES, used, 4), "vertex offset at the end");
        ExpectRefused(patched(SH_VERTICES, 0xFFFFFFFF, 4), "vertex offset far outside");
        ExpectRefused(patched(SH_VERTICES, 8, 4), "vertex offset in the header");
        ExpectRefused(patched(v, 0x7FFF, 2), "vertex count too large");
        ExpectRefused(patched(v, 0x8000, 2), "negative vertex count");
        ExpectRefused(patched(SH_POLYGONS, used - 1, 4), "polygon offset on the last byte");
        ExpectRefused(patched(p, 3, 2), "polygon count too large");
        ExpectRefused(patched(p, 0xFFFF, 2), "negative polygon count");
        ExpectRefused(patched(SH_POLYGONS, v, 4), "polygons over the vertices");
        ExpectRefused(patched(SH_NAMES, p, 4), "names over the polygons");
        ExpectRefused(patched(n, 3, 2), "name count too large");
        ExpectRefused(patched(SH_SHIFT, SHAPE_MAX_SHIFT + 1, 2), "shift out of range");
        // The first polygon's point count and its last index.
        uint32_t word = p + 2 + (version <= 13 ? 0 : 10);
        ExpectRefused(patched(word, 0x3FFF, 2), "point count past the end");
        ExpectRefused(patched(p + 2 + 12 + 4, 3, 2), "a point index equal to the vertex count");
        ExpectRefused(patched(p + 2 + 12 + 4, 0xFFFF, 2), "a point index far past the vertex count");
        if (version >= 15) ExpectRefused(patched(SH_EXTRA, used + 1, 4), "extra section outside");
    }
    Bytes v11 = BuildShape(Triangle()), v17 = v11;
    PutU16(v11.data(), 0, 11);
    PutU16(v17.data(), 0, 17);
    ExpectRefused(v11, "version 11");
    EXPECT_STREQ("ShapeLoad - Wrong ShapeVersion", ShapeLastError());
    ExpectRefused(v17, "version 17");
    EXPECT_STREQ("ShapeLoad - this shape is of a newer format than the code!", ShapeLastError());
}

TEST_F(Shape, MutatedBlocksAreRefusedOrSafeToEdit)
{
    // Whatever a damaged file holds, a block that passes the check can be walked, converted
    // and edited without reading or writing outside it.
    RandSeed(1, 12345);
    int accepted = 0;
    for (int version = 12; version <= 16; version++) {
        const Bytes good = BuildShape(Sample(version));
        for (int round = 0; round < 600; round++) {
            Bytes b = good;
            int changes = 1 + Rand(1, 3);
            for (int c = 0; c < changes; c++) b[(size_t)Rand(1, (int32_t)b.size() - 1)] = (uint8_t)Rand(1, 255);
            ResId id = ResCreate(b.size());
            memcpy(ResOpen(id), b.data(), b.size());
            ResClose(id);
            if (ShapeLoad(id) == 0) {
                accepted++;
                uint8_t* data = (uint8_t*)ResOpen(id);
                char why[160];
                ASSERT_EQ(1, ShapeCheck(data, ResSize(id), why, sizeof why)) << "converted block damaged: " << why;
                std::vector<uint8_t> room(ResSize(id) + 64);
                memcpy(room.data(), data, ResSize(id));
                ResClose(id);
                ShapeBlock s{room.data(), (uint32_t)room.size()};
                ShapeAllFaceNormals(&s);
                ShapeDerive(room.data());
                uint16_t idx[1] = {0};
                ShapeAppendVertex(&s, 50000, -3, 9);
                ShapeAppendPolygon(&s, 1, idx, 0);
                ASSERT_EQ(1, ShapeCheck(room.data(), room.size(), why, sizeof why)) << why;
            }
            ResFreeAlways(id);
        }
    }
    EXPECT_GT(accepted, 100) << "mutations of data bytes keep most blocks well formed";
}

// ============================================================================================
// Derived values
// ============================================================================================

TEST_F(Shape, BoxAndRadius)
{
    TShape s;
    s.shift = 1;
    s.verts = {{1, -2, 3}, {-5, 4, 0}};
    uint8_t* b = Take(BuildShape(s));
    ShapeComputeBox(b);
    int32_t expect[6] = {-10, -4, 0, 2, 8, 6};
    for (int i = 0; i < 6; i++) EXPECT_EQ(expect[i], GetI32(b, SH_MIN + 4 * i)) << i;
    // Farthest corner (-10, 8, 6): sqrt(200) = 14.14
    EXPECT_EQ(14, GetI32(b, SH_RADIUS));

    // 4097 squared is not a float: measured in single precision the corner (4097, 0, 0) came
    // out one unit short.
    s.shift = 0;
    s.verts = {{4097, 0, 0}};
    b = Take(BuildShape(s));
    ShapeComputeBox(b);
    EXPECT_EQ(4097, GetI32(b, SH_RADIUS));
}

TEST_F(Shape, ShiftNormalisation)
{
    struct Case {
        int shift;
        int16_t x, y;
        int shiftAfter;
        int16_t xAfter, yAfter;
    } cases[] = {
        {3, 125, -100, 0, 1000, -800},   // m = 1000: k = 7, capped at s
        {3, 5000, -20, 2, 10000, -40},   // m = 40,000: one doubling passes 65535
        {2, 8192, 1, 2, 8192, 1},        // m = 32768 > L = 32767: unchanged
        {2, -4096, 3, 1, -8192, 6},      // m from the minimum side
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shift * 100000 + c.x);
        TShape s;
        s.shift = (uint16_t)c.shift;
        s.verts = {{c.x, c.y, 0}};
        uint8_t* b = Take(BuildShape(s));
        ShapeDerive(b);
        EXPECT_EQ(c.shiftAfter, ShapeShift(b));
        EXPECT_EQ(c.xAfter, GetI16(ShapeVertex(b, 0), 0));
        EXPECT_EQ(c.yAfter, GetI16(ShapeVertex(b, 0), 2));
        EXPECT_EQ(c.x * (1 << c.shift), GetI32(b, SH_MIN)) << "the box is taken before and stays";
        Bytes once = Used();
        ShapeDerive(b);
        EXPECT_EQ(once, Used()) << "a second pass changes nothing";
    }
}

TEST_F(Shape, WriteBackRaisesTheShift)
{
    TShape s;
    s.verts = {{100, -200, 7}, {1, 2, 3}};
    uint8_t* b = Take(BuildShape(s));
    ShapeWriteCoord(b, 1, 0, 12288);
    EXPECT_EQ(0, ShapeShift(b)) << "12288 fits";
    EXPECT_EQ(12288, GetI16(ShapeVertex(b, 1), 0));
    ShapeWriteCoord(b, 1, 0, 50000);
    EXPECT_EQ(3, ShapeShift(b));
    int16_t expect[2][3] = {{12, -25, 0}, {6250, 0, 0}};
    for (int i = 0; i < 2; i++)
        for (int a = 0; a < 3; a++) EXPECT_EQ(expect[i][a], GetI16(ShapeVertex(b, i), 2 * a)) << i << a;
    ShapeWriteCoord(b, 0, 2, -50001);
    EXPECT_EQ(3, ShapeShift(b)) << "-50001 >> 3 is within 12288 << 3";
    EXPECT_EQ(-6251, GetI16(ShapeVertex(b, 0), 4));
    ShapeWriteCoord(b, 0, 1, INT32_MIN);
    int32_t p[3];
    ShapeVertexPos(b, 0, p);
    EXPECT_EQ(INT32_MIN, p[1]);
    EXPECT_LE(ShapeShift(b), SHAPE_MAX_SHIFT);
}

// ============================================================================================
// Face normals
// ============================================================================================

TEST_F(Shape, FaceNormals)
{
    TShape s;
    s.verts = {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {1, 0, 0}, {0, 1, 1}, {200, 0, 0}, {100, 100, 0}};
    s.polys = {TPoly{{0, 1, 2}}, TPoly{{0, 3, 4}}, TPoly{{0, 1, 5}, PF_NOTPLANAR, 0, 9, 9, 9}};
    uint8_t* b = Take(BuildShape(s));
    ShapeAllFaceNormals(&blk);
    auto normal = [&](int i) {
        uint8_t* p = ShapePolygon(b, i);
        return std::vector<int>{GetI16(p, 4), GetI16(p, 6), GetI16(p, 8)};
    };
    EXPECT_EQ((std::vector<int>{0, 0, 16384}), normal(0));
    EXPECT_EQ((std::vector<int>{0, -11585, 11585}), normal(1)) << "truncated toward zero";
    EXPECT_EQ((std::vector<int>{0, 0, 0}), normal(2)) << "collinear points";
    EXPECT_EQ(0, GetU16(ShapePolygon(b, 2), 0) & PF_NOTPLANAR);

    // The fourth point of a quad off the plane by d: within 32 is planar.
    for (int d : {32, 33, -32, -33}) {
        SCOPED_TRACE(d);
        TShape q;
        q.verts = {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, (int16_t)d}};
        q.polys = {TPoly{{0, 1, 2, 3}, PF_NOTPLANAR | PF_SELECTED}};
        b = Take(BuildShape(q));
        ShapeFaceNormal(b, ShapeFirstPolygon(b));
        EXPECT_EQ((d == 33 || d == -33 ? PF_NOTPLANAR : 0) | PF_SELECTED, GetU16(ShapeFirstPolygon(b), 0));
    }
}

TEST_F(Shape, PolygonsOfFewerThanThreePointsAreRemoved)
{
    TShape s = Triangle();
    s.polys = {TPoly{{0, 1}}, TPoly{{0, 1, 2}, 0, 5}, TPoly{{2}}, TPoly{{}}, TPoly{{2, 1, 0}, 0, 6}};
    s.names = {{"A", 5}};
    uint8_t* b = Take(BuildShape(s));
    ShapeAllFaceNormals(&blk);
    TShape expect = s;
    expect.polys = {s.polys[1], s.polys[4]};
    expect.polys[0].normal[2] = 16384;
    expect.polys[1].normal[2] = -16384;
    EXPECT_EQ(BuildShape(expect), Used());

    s.polys = {TPoly{{0, 1}}, TPoly{{2}}};
    b = Take(BuildShape(s));
    uint32_t at = GetU32(b, SH_POLYGONS);
    ShapeAllFaceNormals(&blk);
    EXPECT_EQ(0u, GetU32(b, SH_POLYGONS));
    EXPECT_EQ(0, GetU16(b, at)) << "the emptied section's count word stays behind";
    EXPECT_EQ(at + 2, GetU32(b, SH_NAMES));
    EXPECT_EQ(0, ShapePolygonCount(b));
}

// ============================================================================================
// Building
// ============================================================================================

TEST_F(Shape, AppendVerticesAndPolygons)
{
    uint8_t* b = Take(Bytes(SHAPE_HEADER_SIZE, 0), 400);
    ShapeMakeEmpty(b);
    EXPECT_EQ(0, ShapeAppendVertex(&blk, 10, 20, 30));
    EXPECT_EQ(68u, GetU32(b, SH_VERTICES)) << "the first vertex starts a section at the end";
    EXPECT_EQ(1, ShapeAppendVertex(&blk, 0, 100, 0));
    uint16_t tri[3] = {0, 1, 0};
    EXPECT_EQ(0, ShapeAppendPolygon(&blk, 3, tri, 0x8002));
    EXPECT_EQ(68u + 2 + 24, GetU32(b, SH_POLYGONS));
    // A vertex added now goes after the last vertex; the polygons move up.
    EXPECT_EQ(2, ShapeAppendVertex(&blk, -7, 50000, 1));
    uint16_t quad[4] = {0, 1, 2, 1};
    EXPECT_EQ(1, ShapeAppendPolygonWithNormal(&blk, 4, quad, 3));

    TShape expect;
    expect.shift = 3;
    expect.verts = {{1, 2, 3}, {0, 12, 0}, {-1, 6250, 0}};
    expect.polys = {TPoly{{0, 1, 0}, 0, 0x8002}, TPoly{{0, 1, 2, 1}, 0, 3}};
    // World (8,16,24) (0,96,0) (-8,50000,0): the unit cross product is (15545.7, 2.49, -5173.6).
    uint8_t* p1 = ShapePolygon(b, 1);
    EXPECT_NEAR(15545, GetI16(p1, 4), 1);
    EXPECT_NEAR(2, GetI16(p1, 6), 1);
    EXPECT_NEAR(-5173, GetI16(p1, 8), 1);
    for (int a = 0; a < 3; a++) expect.polys[1].normal[a] = GetI16(p1, 4 + 2 * a);
    EXPECT_EQ(BuildShape(expect), Used());

    // Refusals change nothing: a missing vertex, too many points, no room.
    Bytes before = Used();
    uint16_t bad[3] = {0, 1, 3};
    EXPECT_EQ(-1, ShapeAppendPolygon(&blk, 3, bad, 0));
    EXPECT_EQ(-1, ShapeAppendPolygon(&blk, SHAPE_MAX_POINTS + 1, quad, 0));
    blk.capacity = ShapeUsedSize(b) + 11;
    EXPECT_EQ(-1, ShapeAppendVertex(&blk, 1, 1, 1));
    EXPECT_EQ(-1, ShapeAppendPolygon(&blk, 3, tri, 0));
    EXPECT_EQ(before, Used());
}
