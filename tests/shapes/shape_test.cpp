// The shape block: insertion and removal, version conversions, refusal of damaged blocks,
// derived values, normals, coordinate write-back, building, and materials bound by name.
#include <gtest/gtest.h>

#include <memory>

#include "shapes/shape_fixture.h"

class Shape : public ::testing::Test {
protected:
    void SetUp() override { ResInstall(200), IntMatCreate(512); }
    void TearDown() override { IntMatDestroy(), ResRemove(); }

    BlockBuffer buf;
    ShapeBlock& blk = buf.block;
    uint8_t* Take(const Bytes& image, size_t capacity = 0) { return buf.Take(image, capacity); }
    Bytes Used() const { return buf.Used(); }

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

// ---- Layout, insertion and removal

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

TEST_F(Shape, InsertAndRemoveRelocateOffsetsAtOrAfterThePosition)
{
    TShape s = Triangle();
    s.names = {{"STONE", 0}};
    s.extra = 68 + 2 + 3 * 12 + 2 + 18;   // the name table: moves like the other sections
    Bytes image = BuildShape(s);
    uint8_t* b = Take(image, image.size() + 100);
    uint32_t v = GetU32(b, SH_VERTICES), p = GetU32(b, SH_POLYGONS), n = GetU32(b, SH_NAMES);
    ASSERT_EQ(n, GetU32(b, SH_EXTRA));

    ASSERT_EQ(0, ShapeInsert(&blk, p, 6));
    // The vertex, polygon and name sections and the extra offset.
    auto offsets = [&] {
        return std::vector<uint32_t>{GetU32(b, SH_VERTICES), GetU32(b, SH_POLYGONS), GetU32(b, SH_NAMES), GetU32(b, SH_EXTRA)};
    };
    EXPECT_EQ(offsets(), (std::vector<uint32_t>{v, p + 6, n + 6, n + 6})) << "a section that begins at the position moves";
    EXPECT_EQ(image.size() + 6, ShapeUsedSize(b));
    EXPECT_EQ(Bytes(6, 0), Bytes(b + p, b + p + 6));
    EXPECT_TRUE(std::equal(image.begin() + p, image.end(), b + p + 6));
    ASSERT_EQ(0, ShapeInsert(&blk, ShapeUsedSize(b), 10));
    EXPECT_EQ(n + 6, GetU32(b, SH_NAMES)) << "inserting at the end moves nothing";

    // Removing by words (even position, range and rest) gives the block back.
    ShapeRemove(&blk, ShapeUsedSize(b) - 10, 10);
    ShapeRemove(&blk, p, 6);
    EXPECT_EQ(image, Used());
    // By bytes: an odd range inside the vertices moves every later section down.
    ShapeRemove(&blk, v + 2, 7);
    EXPECT_EQ(offsets(), (std::vector<uint32_t>{v, p - 7, n - 7, n - 7}));
    EXPECT_TRUE(std::equal(image.begin() + v + 9, image.end(), b + v + 2));

    // Past the capacity: refused, nothing changes.
    Bytes before = Used();
    uint32_t room = blk.capacity - ShapeUsedSize(b);
    EXPECT_EQ(1, ShapeInsert(&blk, v, room + 1));
    EXPECT_EQ(before, Used());
    EXPECT_EQ(0, ShapeInsert(&blk, v, room));
    EXPECT_EQ(blk.capacity, ShapeUsedSize(b));
}

// ---- Versions

// A block of the given version with everything the conversions move: vertices, polygons with
// and without per-point blocks, a name table, header words that are carried through.
static TShape Sample(int version)
{
    TShape s;
    s.version = version;
    s.shift = 2;
    s.flags = 0x0F;
    s.reservedWord = 0x1234;
    s.reservedLong = 0xCAFEBABE;
    s.radius = 777;
    for (int a = 0; a < 3; a++) s.lo[a] = -100 - a, s.hi[a] = 200 + a;
    s.noSort = 1;
    s.maxAngle = 0x2000;
    s.verts = {{5, -6, 7, 0xAB, 0x41424344}, {-1, 2, -3, 0, 0}, {30, 40, 50, 0x8000, 0}};
    TPoly a{{0, 1, 2}, 0x91, 0x8003, 1, 2, 3};
    a.normals = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    a.mapping = {10, 11, 12, 13, 14, 15};
    a.droppedByte = 0x5A;
    TPoly b{{2, 1, 0, 1}, 0x04, 7, -4, -5, -6};
    b.droppedByte = 0xEE;
    s.polys = {a, b};
    s.names = {{"GRANITE", 0x8003}, {"WOOD", 7}};
    if (version >= 15) s.reservedTail = 0x11223344;   // carried through; older blocks gain a zero
    return s;
}

// What ShapeLoad must make of Sample(version).
static TShape SampleConverted(int version)
{
    TShape s = Sample(version);
    s.version = 16;
    for (TVert& v : s.verts)
        if (version <= 14) v.flags = 0, v.name = 0;
    for (TPoly& p : s.polys)
        if (version <= 13) p.flags &= 0xFF;
    s.flags = version <= 13 ? 0 : s.flags & ~SHF_CONVERTED;
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
    // Version 12 without vertices: only the header grows (and the box is reordered).
    TShape bare;
    bare.version = 12;
    bare.lo[0] = -1, bare.hi[0] = 1;
    Bytes out = LoadConverted(BuildShape(bare));
    bare.version = 16;
    EXPECT_EQ(BuildShape(bare), out);
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

// ---- Damaged blocks

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
        uint32_t word = p + 2 + (version <= 13 ? 0 : POLY_COUNT_WORD);
        ExpectRefused(patched(word, 0x3FFF, 2), "point count past the end");
        ExpectRefused(patched(p + 2 + POLY_HEAD + 4, 3, 2), "a point index equal to the vertex count");
        ExpectRefused(patched(p + 2 + POLY_HEAD + 4, 0xFFFF, 2), "a point index far past the vertex count");
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
            int r = 1;
            Bytes out = LoadConverted(b, &r);
            if (r) continue;
            accepted++;
            char why[160];
            ASSERT_EQ(1, ShapeCheck(out.data(), out.size(), why, sizeof why)) << "converted block damaged: " << why;
            uint8_t* data = Take(out, out.size() + 64);
            ShapeAllFaceNormals(&blk);
            ShapeDerive(data);
            const uint16_t idx[1] = {0};
            ShapeAppendVertex(&blk, 50000, -3, 9);
            ShapeAppendPolygon(&blk, 1, idx, 0);
            ASSERT_EQ(1, ShapeCheck(data, blk.capacity, why, sizeof why)) << why;
        }
    }
    EXPECT_GT(accepted, 100) << "mutations of data bytes keep most blocks well formed";
}

// ---- Derived values

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

    // A larger maximum X: the farthest corner is (14, 8, 6), sqrt(296) = 17.2.
    s.verts.push_back({7, 0, 0});
    b = Take(BuildShape(s));
    ShapeComputeBox(b);
    EXPECT_EQ(17, GetI32(b, SH_RADIUS));

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
    struct {
        int shift, x, y, shiftAfter, xAfter, yAfter;
    } cases[] = {
        {3, 125, -100, 0, 1000, -800},   // m = 1000: k = 7, capped at s
        {3, 5000, -20, 2, 10000, -40},   // m = 40,000: one doubling passes 65535
        {2, 8192, 1, 2, 8192, 1},        // m = 32768 > L = 32767: unchanged
        {2, -4096, 3, 1, -8192, 6},      // m from the minimum side
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shift * 100000 + c.x);
        TShape s;
        s.shift = (uint16_t)c.shift;
        s.verts = {{(int16_t)c.x, (int16_t)c.y, 0}};
        uint8_t* b = Take(BuildShape(s));
        ShapeDerive(b);
        EXPECT_EQ((std::vector<int>{c.shiftAfter, c.xAfter, c.yAfter}),
                  (std::vector<int>{ShapeShift(b), GetI16(ShapeVertex(b, 0), 0), GetI16(ShapeVertex(b, 0), 2)}));
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
    // The shift and the stored X after each write.
    auto stored = [&] { return std::vector<int>{ShapeShift(b), GetI16(ShapeVertex(b, 1), 0)}; };
    ShapeWriteCoord(b, 1, 0, 12288);
    EXPECT_EQ(stored(), (std::vector<int>{0, 12288})) << "12288 fits";
    ShapeWriteCoord(b, 1, 0, 24576);
    EXPECT_EQ(stored(), (std::vector<int>{1, 12288})) << "24576 >> 1 is 12288 again, which fits";
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

// ---- Face normals

TEST_F(Shape, FaceNormals)
{
    TShape s;
    s.verts = {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {1, 0, 0}, {0, 1, 1}, {200, 0, 0}, {100, 100, 0}};
    s.polys = {TPoly{{0, 1, 2}}, TPoly{{0, 3, 4}}, TPoly{{0, 1, 5}, PF_NOTPLANAR, 0, 9, 9, 9}};
    uint8_t* b = Take(BuildShape(s));
    ShapeAllFaceNormals(&blk);
    auto normal = [&](int i) {
        uint8_t* p = ShapePolygon(b, i) + POLY_NORMAL;
        return std::vector<int>{GetI16(p, 0), GetI16(p, 2), GetI16(p, 4)};
    };
    EXPECT_EQ((std::vector<int>{0, 0, 16384}), normal(0));
    EXPECT_EQ((std::vector<int>{0, -11585, 11585}), normal(1)) << "truncated toward zero";
    EXPECT_EQ((std::vector<int>{0, 0, 0}), normal(2)) << "collinear points";
    EXPECT_EQ(0, GetU16(ShapePolygon(b, 2), POLY_FLAGS) & PF_NOTPLANAR);

    // The fourth point of a quad off the plane by d: within 32 is planar.
    for (int d : {32, 33, -32, -33}) {
        SCOPED_TRACE(d);
        TShape q;
        q.verts = {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, (int16_t)d}};
        q.polys = {TPoly{{0, 1, 2, 3}, PF_NOTPLANAR | PF_SELECTED}};
        b = Take(BuildShape(q));
        ShapeFaceNormal(b, ShapeFirstPolygon(b));
        EXPECT_EQ((d == 33 || d == -33 ? PF_NOTPLANAR : 0) | PF_SELECTED, GetU16(ShapeFirstPolygon(b), POLY_FLAGS));
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

// ---- Building

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

    // World (8,16,24) (0,96,0) (-8,50000,0): the unit cross product is (15545.7, 2.49, -5173.6).
    TShape expect;
    expect.shift = 3;
    expect.verts = {{1, 2, 3}, {0, 12, 0}, {-1, 6250, 0}};
    expect.polys = {TPoly{{0, 1, 0}, 0, 0x8002}, TPoly{{0, 1, 2, 1}, 0, 3, 15545, 2, -5173}};
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

// ---- Materials

static TShape WithMaterials(std::vector<uint16_t> materials)
{
    TShape s = Triangle();
    s.polys.clear();
    for (uint16_t m : materials) s.polys.push_back(TPoly{{0, 1, 2}, 0, m});
    return s;
}

static std::vector<int> Materials(uint8_t* b)
{
    std::vector<int> out;
    for (int i = 0; i < ShapePolygonCount(b); i++) out.push_back(GetU16(ShapePolygon(b, i), POLY_MATERIAL));
    return out;
}

TEST_F(Shape, BindingByName)
{
    for (const char* name : {"Dummy", "STONE", "WOOD", "ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNO"}) AddMaterial(name);
    TShape s = WithMaterials({0x8005, 0x8001, 3, 9, 0x0005, 0x8006, 0x8007});
    s.names = {{"wood", 0x8005}, {"GLASS", 0x8001}, {"STONE", 3}, {"Wood", 0x8006}, {"ABCDEFGHIJKLMNOP", 0x8007}};
    uint8_t* b = Take(BuildShape(s), 4000);
    ShapeBindMaterials(b, SHAPE_NAME_CHARS);
    // Found names give the table index (a lower-case name and its mixed-case twin alike; an
    // id matches on its low 15 bits; all 16 characters count); a missing name or id keeps the
    // value with bit 15 set.
    EXPECT_EQ((std::vector<int>{2, 0x8001, 1, 0x8009, 2, 2, 3}), Materials(b));
    uint8_t* e = ShapeNames(b);
    EXPECT_EQ((std::vector<int>{GetU16(e, NAME_ID), GetU16(e + SHAPE_NAME_ENTRY_SIZE, NAME_ID),
                                GetU16(e + 2 * SHAPE_NAME_ENTRY_SIZE, NAME_ID)}),
              (std::vector<int>{2, 0x8001, 1}))
        << "an entry whose name is missing keeps its id";

    // Binding again (after a change of the material table) still finds every name, though
    // STONE's index 1 and GLASS's unresolved 0x8001 share their low 15 bits.
    ShapeBindMaterials(b, SHAPE_NAME_CHARS);
    EXPECT_EQ((std::vector<int>{2, 0x8001, 1, 0x8009, 2, 2, 3}), Materials(b));
}

TEST_F(Shape, BoundAgainByTheNamesOfThePreviousTable)
{
    // The table the block was bound to: DUMMY, RED, BLUE, GREEN. Now: DUMMY, BLUE, NEW, RED
    // (GREEN gone).
    auto names = [](std::vector<std::string> list) {
        std::vector<uint8_t> out;
        for (std::string n : list) {
            n.resize(IM_NAME_CHARS, ' ');
            out.insert(out.end(), n.begin(), n.end());
        }
        return out;
    };
    const std::vector<uint8_t> before = names({"DUMMY", "RED", "BLUE", "GREEN"});
    for (const char* name : {"Dummy", "BLUE", "NEW", "RED"}) AddMaterial(name);
    // Polygons in RED, BLUE, GREEN, the Dummy, an unresolved GLASS, and 9 (past the old
    // table: it keeps its value).
    TShape s = WithMaterials({1, 2, 3, 0, 0x8004, 9, 3});
    s.names = {{"GLASS", 0x8004}};
    uint8_t* b = Take(BuildShape(s), 4000);
    ASSERT_EQ(0, ShapeRebindMaterials(&blk, before.data(), 4));
    // Each name once, in polygon order; found ones take their new index, missing ones an
    // unresolved id of their own.
    EXPECT_EQ((std::vector<int>{3, 1, 0x8002, 0, 0x8004, 9, 0x8002}), Materials(b));
    TShape expect = s;
    expect.polys.clear();
    for (int m : {3, 1, 0x8002, 0, 0x8004, 9, 0x8002}) expect.polys.push_back(TPoly(s.polys[expect.polys.size()].idx, 0, (uint16_t)m));
    expect.names = {{"RED", 3}, {"BLUE", 1}, {"GREEN", 0x8002}, {"DUMMY", 0}, {"GLASS", 0x8004}};
    EXPECT_EQ(BuildShape(expect), Used());

    // GREEN coming back binds them again; binding with the same table changes nothing more.
    AddMaterial("GREEN");
    const std::vector<uint8_t> now = names({"DUMMY", "BLUE", "NEW", "RED"});
    ASSERT_EQ(0, ShapeRebindMaterials(&blk, now.data(), 4));
    EXPECT_EQ((std::vector<int>{3, 1, 4, 0, 0x8004, 9, 4}), Materials(b));
    Bytes bound = Used();
    const std::vector<uint8_t> all = names({"DUMMY", "BLUE", "NEW", "RED", "GREEN"});
    ASSERT_EQ(0, ShapeRebindMaterials(&blk, all.data(), 5));
    EXPECT_EQ(bound, Used());

    // No room for a table that grows (from one name to two): refused, nothing changes.
    TShape small = WithMaterials({1, 2});
    small.names = {{"OLD", 7}};
    b = Take(BuildShape(small));
    blk.capacity = ShapeUsedSize(b) + SHAPE_NAME_ENTRY_SIZE - 1;
    Bytes unbound = Used();
    EXPECT_EQ(1, ShapeRebindMaterials(&blk, before.data(), 4));
    EXPECT_EQ(unbound, Used());
    blk.capacity = ShapeUsedSize(b) + SHAPE_NAME_ENTRY_SIZE;
    EXPECT_EQ(0, ShapeRebindMaterials(&blk, before.data(), 4)) << "the old table's room counts: two names fit exactly";
    EXPECT_EQ((std::vector<int>{3, 1}), Materials(b));
}

TEST_F(Shape, NameTableRebuiltLast)
{
    for (const char* name : {"Dummy", "STONE", "WOOD"}) AddMaterial(name);
    TShape s = WithMaterials({2, 0x8001, 2, 0x8009, 3, 1});
    s.names = {{"GLASS", 0x8001}, {"OLD", 7}};
    s.order = "vnp";   // the old table sits between the sections
    uint8_t* b = Take(BuildShape(s), 4000);
    ASSERT_EQ(0, ShapeRebuildNameTable(&blk));
    // Distinct values in polygon order; an unresolved id without an entry takes the Dummy's
    // name; index 3, one past the table, has no name and is left out.
    TShape expect = s;
    expect.order = "vpn";
    expect.names = {{"WOOD", 2}, {"GLASS", 0x8001}, {"DUMMY", 0x8009}, {"STONE", 1}};
    EXPECT_EQ(BuildShape(expect), Used());

    // No room for the new table: refused, nothing changes.
    blk.capacity = ShapeUsedSize(b);
    PutU16(ShapePolygon(b, 4), POLY_MATERIAL, 0);   // one more name than the table holds
    Bytes before = Used();
    EXPECT_EQ(1, ShapeRebuildNameTable(&blk));
    EXPECT_EQ(before, Used());

    // Without polygons the table is left as it is.
    TShape bare = WithMaterials({});
    bare.names = {{"STONE", 3}};
    Take(BuildShape(bare), 4000);
    ASSERT_EQ(0, ShapeRebuildNameTable(&blk));
    EXPECT_EQ(BuildShape(bare), Used());
}
