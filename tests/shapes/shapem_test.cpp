// Shape manager: prepared shapes from "SHP" resources, binding and re-binding materials, and
// the edit buffer's take in, merge, Optimise, undo and save with backup.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/res/res.h"
#include "kernel/util/bytes.h"
#include "materials/intmat.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "shapes/shape_build.h"
#include "support/testutil.h"

// ============================================================================================
// Hand-made shape files
// ============================================================================================

// One triangle over three vertices.
static TShape Triangle(int16_t size = 100)
{
    TShape s;
    s.verts = {{0, 0, 0}, {size, 0, 0}, {0, size, 0}};
    s.polys = {TPoly({0, 1, 2})};
    return s;
}

static int AddMaterial(const char* name)
{
    uint8_t record[100] = {};
    strncpy((char*)record, name, 15);
    return IntMatFindOrAdd(record);
}

static Bytes EditBytes(void)
{
    const uint8_t* b = ShapeMEdit()->data;
    return Bytes(b, b + ShapeUsedSize(b));
}

static std::array<int32_t, 3> EditPos(int i)
{
    std::array<int32_t, 3> p;
    ShapeVertexPos(ShapeMEdit()->data, i, p.data());
    return p;
}

static std::vector<int> EditIndices(int polygon)
{
    uint8_t* p = ShapePolygon(ShapeMEdit()->data, polygon);
    std::vector<int> out;
    for (int k = 0; p && k < ShapePolyPoints(p); k++) out.push_back(ShapePolyIndex(p, k));
    return out;
}

class ShapeMTest : public testing::Test {
protected:
    TempDir dir{true};

    void SetUp() override
    {
        ResRemove();
        ResInstall(300);
        IntMatCreate(512);
        ShapeMResourceInstall();
        ShapeMInstall();
        ShapeMSetUndo(1);
    }
    void TearDown() override
    {
        ShapeMRemove();
        IntMatDestroy();
        ResRemove();
    }

    // A named "SHP" resource loaded through the type's hook.
    ResId Load(const char* name, const Bytes& image)
    {
        WriteBytes(name, image);
        ResId id = ResFindOrAdd(name);
        EXPECT_NE(0, id);
        EXPECT_EQ(0, ResLoad(id)) << ShapeMLastError();
        return id;
    }
};

// ============================================================================================
// Prepared shapes
// ============================================================================================

TEST_F(ShapeMTest, PentagonGivesThreeTrianglesAndQuadOneRecord)
{
    AddMaterial("Other");
    int stone = AddMaterial("stone");
    TShape s;
    s.shift = 1;
    s.verts = {{10, -20, 30}, {40, 0, 0}, {40, 40, 0}, {0, 40, 0}, {-10, 20, 0}, {50, 50, 50}};
    s.verts[2].name = 0x41424344;
    s.radius = 777;
    TPoly pentagon({0, 1, 2, 3, 4}, 0x14, 1, 1, 2, 3);
    for (int k = 0; k < 15; k++) pentagon.normals.push_back((int16_t)(1000 * k));
    TPoly quad({1, 2, 3, 5}, 0, 2);
    quad.mapping = {100, 200, 300, 400, 500, 600, 8192, -16384};
    s.polys = {pentagon, quad};
    s.names = {{"WOOD", 1}, {"STONE", 2}};
    ResId id = Load("penta.shp", BuildShape(s));

    ASSERT_TRUE(ShapeMIsPrepared(id));
    EXPECT_EQ(6, ShapeMVertexCount(id));
    EXPECT_EQ(777, ShapeMRadius(id)) << "the file's radius is kept";
    EXPECT_EQ((std::vector<int32_t>{20, -40, 60}), std::vector<int32_t>(ShapeMVertex(id, 0), ShapeMVertex(id, 0) + 3));
    EXPECT_EQ(-40.0f, ShapeMVertexF(id, 0)[1]);
    EXPECT_EQ(nullptr, ShapeMVertex(id, 6));
    EXPECT_EQ(2, ShapeMNamedVertex(id, 0x41424344));
    EXPECT_EQ(-1, ShapeMNamedVertex(id, 0x41424345));

    ASSERT_EQ(4, ShapeMRecordCount(id));
    ShapePrep* p = ShapeMPrepared(id);
    const int triangles[3][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}};
    for (int r = 0; r < 3; r++) {
        const uint8_t* rec = ShapeMRecord(id, r);
        EXPECT_EQ((uint32_t)(188 * r), p->recordOffsets[r]);
        EXPECT_EQ(188u, GetU32(rec, PR_LENGTH));
        EXPECT_EQ(0x14u, GetU32(rec, PR_FLAGS));
        EXPECT_EQ(3, GetI16(rec, PR_NORMAL + 4));
        for (int k = 0; k < 3; k++) EXPECT_EQ((uint32_t)triangles[r][k], GetU32(rec, PR_INDEX + 4 * k));
        EXPECT_EQ((uint32_t)PR_HAS_NORMALS, GetU32(rec, PR_CARRIES));
        EXPECT_EQ(1u | MAT_UNRESOLVED, GetU32(rec, PR_MATERIAL)) << "WOOD is not a material";
    }
    // Second triangle, its last point P3: the normal (9000, 10000, 11000) / 16384.
    EXPECT_FLOAT_EQ(10000.0f / 16384, GetF32(ShapeMRecord(id, 1), PR_POINT_NORMALS + 12 * 2 + 4));

    const uint8_t* q = ShapeMRecord(id, 3);
    EXPECT_EQ(360u, GetU32(q, PR_LENGTH));
    EXPECT_EQ((uint32_t)stone, GetU32(q, PR_MATERIAL));
    EXPECT_EQ((uint32_t)stone, GetU32(q, 212));
    EXPECT_EQ((uint32_t)PR_HAS_MAPPING, GetU32(q, PR_CARRIES));
    const uint32_t second[3] = {5, 1, 3};
    for (int k = 0; k < 3; k++) EXPECT_EQ(second[k], GetU32(q, 188 + 4 * k));
    EXPECT_FLOAT_EQ(0.5f, GetF32(q, PR_SECOND + PR_UV));       // P3's U
    EXPECT_FLOAT_EQ(-1.0f, GetF32(q, PR_SECOND + PR_UV + 4));  // P3's V
    EXPECT_FLOAT_EQ(500.0f / 16384, GetF32(q, PR_UV + 8 * 2));  // P2's U in the first part

    EXPECT_EQ(2, p->nameCount);
    EXPECT_EQ(stone, GetU16(p->names, 18 + 16)) << "a found name takes its material's index as id";
}

TEST_F(ShapeMTest, DamagedFilesAreRefusedWithoutEndingTheProgram)
{
    Bytes good = BuildShape(Triangle());
    std::vector<std::pair<const char*, Bytes>> cases;
    cases.push_back({"cut in half", Bytes(good.begin(), good.begin() + good.size() / 2)});
    Bytes b = good;
    PutU16(b.data(), GetU32(b.data(), SH_POLYGONS), 5000);
    cases.push_back({"lying polygon count", b});
    b = good;
    PutU32(b.data(), SH_VERTICES, 0x7FFFFFF0);
    cases.push_back({"vertex offset outside", b});
    b = good;
    PutU16(b.data(), GetU32(b.data(), SH_POLYGONS) + 2 + 12 + 4, 3);
    cases.push_back({"index past the vertices", b});
    b = good;
    PutU16(b.data(), SH_VERSION, 17);
    cases.push_back({"newer version", b});
    cases.push_back({"empty file", Bytes{}});
    int n = 0;
    for (auto& [what, image] : cases) {
        SCOPED_TRACE(what);
        std::string name = "bad" + std::to_string(n++) + ".shp";
        WriteBytes(name, image);
        ResId id = ResFindOrAdd(name.c_str());
        EXPECT_NE(0, ResLoad(id));
        EXPECT_FALSE(ShapeMIsPrepared(id));
        EXPECT_NE(0u, strlen(ShapeMLastError()));
    }
}

TEST_F(ShapeMTest, MaterialChangeRebindsByTheNameTheShapeStartedWith)
{
    for (const char* name : {"A0", "A1", "A2", "STONE"}) AddMaterial(name);
    TShape s = Triangle();
    s.polys.push_back(TPoly({0, 2, 1}, 0, 5));
    s.polys[0].material = 3;
    s.names = {{"GLASS", 3}, {"STONE", 5}};
    ResId id = Load("glass.shp", BuildShape(s));
    EXPECT_EQ(3u | MAT_UNRESOLVED, GetU32(ShapeMRecord(id, 0), PR_MATERIAL));
    EXPECT_EQ(3u, GetU32(ShapeMRecord(id, 1), PR_MATERIAL));

    // GLASS's file id (3) is now STONE's index: a re-bind must still tell them apart.
    int glass = AddMaterial("Glass");
    EXPECT_EQ((uint32_t)glass, GetU32(ShapeMRecord(id, 0), PR_MATERIAL));
    EXPECT_EQ(3u, GetU32(ShapeMRecord(id, 1), PR_MATERIAL));
    AddMaterial("More");
    EXPECT_EQ((uint32_t)glass, GetU32(ShapeMRecord(id, 0), PR_MATERIAL));
    EXPECT_EQ(3u, GetU32(ShapeMRecord(id, 1), PR_MATERIAL));
}

TEST_F(ShapeMTest, AddingToAPreparedShape)
{
    ResId id = Load("empty.shp", BuildShape(TShape{}));
    ASSERT_TRUE(ShapeMIsPrepared(id));
    EXPECT_EQ(SHAPE_BOX_EMPTY_MIN, ShapeMMinX(id));

    int a = ShapeMAddVertex(id, 0, 0, 0, 1);
    int b = ShapeMAddVertex(id, 100, 0, 0, 1);
    EXPECT_EQ(b, ShapeMAddVertex(id, 100, 0, 0, 1)) << "reuse finds the same position";
    EXPECT_EQ(b + 1, ShapeMAddVertex(id, 100, 0, 0, 0)) << "without reuse a new vertex";
    int c = ShapeMAddNamedVertex(id, 0x54455354, 0, 0, 100);
    EXPECT_EQ(c, ShapeMNamedVertex(id, 0x54455354));
    ShapeMAddVertex(id, -3, 4, -12, 0);
    EXPECT_EQ(-3, ShapeMMinX(id));
    EXPECT_EQ(100, ShapeMMaxX(id));
    EXPECT_EQ(-12, ShapeMMinZ(id));
    EXPECT_EQ(100, ShapeMRadius(id));
    EXPECT_EQ(1, ShapeMSetVertex(id, b + 1, 7, 8, 9));
    EXPECT_EQ(8.0f, ShapeMVertexF(id, b + 1)[1]);
    EXPECT_EQ(0, ShapeMSetVertex(id, 99, 7, 8, 9));

    // (P1 - P0) x (P2 - P0) = (100, 0, 0) x (0, 0, 100) points down -Y.
    const int32_t tri[3] = {a, b, c};
    int t = ShapeMAddTriangle(id, 4, tri, nullptr);
    ASSERT_EQ(0, t);
    EXPECT_EQ(0, GetI16(ShapeMRecord(id, t), PR_NORMAL));
    EXPECT_EQ(-16384, GetI16(ShapeMRecord(id, t), PR_NORMAL + 2));

    const int32_t bad[3] = {a, b, 50};
    EXPECT_EQ(-1, ShapeMAddTriangle(id, 4, bad, nullptr));
    EXPECT_EQ(1, ShapeMRecordCount(id));

    const int32_t quad[4] = {a, b, b + 1, c};
    int plain = ShapeMAddQuad(id, 4, quad, nullptr);
    const int16_t uv[8] = {0, 0, 16384, 0, 16384, 16384, 0, 16384};
    int mapped = ShapeMAddQuad(id, 4, quad, uv);
    EXPECT_EQ(360u, GetU32(ShapeMRecord(id, mapped), PR_LENGTH));
    const int16_t uv2[8] = {8192, 8192, 1, 2, 3, 4, -8192, 4096};
    EXPECT_EQ(1, ShapeMSetQuadMapping(id, t, uv2)) << "a triangle";
    EXPECT_EQ(1, ShapeMSetQuadMapping(id, plain, uv2)) << "a quad without mapping";
    EXPECT_EQ(0, ShapeMSetQuadMapping(id, mapped, uv2));
    const uint8_t* q = ShapeMRecord(id, mapped);
    EXPECT_FLOAT_EQ(0.5f, GetF32(q, PR_UV));
    EXPECT_FLOAT_EQ(-0.5f, GetF32(q, PR_SECOND + PR_UV));      // P3 leads the second part
    EXPECT_FLOAT_EQ(0.5f, GetF32(q, PR_SECOND + PR_UV + 8));   // then P0
}

TEST_F(ShapeMTest, BaseFootprintTakesTheVerticesNearTheLowestY)
{
    TShape s;
    s.verts = {{5, -100, 7}, {-50, 155, 0}, {1000, 156, -1000}, {2, -100, 3}};
    s.polys = {TPoly({0, 1, 2})};
    int32_t box[4];
    ShapeMBaseFootprint(Load("foot.shp", BuildShape(s)), box);
    EXPECT_EQ((std::vector<int32_t>{-50, 0, 5, 7}), std::vector<int32_t>(box, box + 4));
    ShapeMBaseFootprint(Load("none.shp", BuildShape(TShape{})), box);
    EXPECT_EQ(SHAPE_BOX_EMPTY_MIN, box[0]);
    EXPECT_EQ(SHAPE_BOX_EMPTY_MAX, box[3]);
}

// ============================================================================================
// Edit buffer
// ============================================================================================

TEST_F(ShapeMTest, UndoAfterUndoRestoresTheSameState)
{
    WriteBytes("tri.shp", BuildShape(Triangle()));
    ASSERT_EQ(0, ShapeMLoadFile("tri.shp"));
    Bytes loaded = EditBytes();
    ShapeMNew();
    EXPECT_EQ(0, ShapeVertexCount(ShapeMEdit()->data));
    ShapeMUndo();
    EXPECT_EQ(loaded, EditBytes());
    ShapeMUndo();
    EXPECT_EQ(loaded, EditBytes());

    ShapeMSetUndo(0);
    ShapeMNew();
    ShapeMSetUndo(1);
    ShapeMUndo();
    EXPECT_EQ(loaded, EditBytes()) << "with the flag off New kept the older copy";
}

TEST_F(ShapeMTest, TakingInAPreparedShapeGivesTheRawBlock)
{
    TShape s = Triangle();
    s.verts[1].name = 0x4E414D45;
    s.polys[0].flags = PF_SELECTED;
    ResId id = Load("tree.shp", BuildShape(s));
    ASSERT_TRUE(ShapeMIsPrepared(id));

    ASSERT_EQ(0, ShapeMTakeIn(id)) << ShapeMLastError();
    const uint8_t* e = ShapeMEdit()->data;
    EXPECT_EQ(SHAPE_VERSION, ShapeVersion(e));
    EXPECT_EQ(3, ShapeVertexCount(e));
    EXPECT_EQ(0x4E414D45u, ShapePointName(e, 1));
    EXPECT_EQ(0, GetU16(ShapePolygon(ShapeMEdit()->data, 0), 0) & PF_SELECTED) << "selection cleared";
    EXPECT_TRUE(ShapeMIsPrepared(id)) << "the world that uses it gets it prepared again";
    EXPECT_EQ(3, ShapeMVertexCount(id));

    ResOpen(id);
    EXPECT_EQ(1, ShapeMTakeIn(id)) << "a shape in use cannot be freed and read again";
    ResClose(id);
}

TEST_F(ShapeMTest, RefusedFilesLeaveTheBufferUnchanged)
{
    WriteBytes("tri.shp", BuildShape(Triangle()));
    ASSERT_EQ(0, ShapeMLoadFile("tri.shp"));
    Bytes before = EditBytes();

    Bytes bad = BuildShape(Triangle());
    PutU16(bad.data(), GetU32(bad.data(), SH_POLYGONS), 40);
    WriteBytes("bad.shp", bad);
    EXPECT_EQ(1, ShapeMLoadFile("bad.shp"));
    EXPECT_NE(0u, strlen(ShapeMLastError()));
    EXPECT_EQ(1, ShapeMMergeFile("bad.shp"));
    TShape old = Triangle();
    old.version = 15;
    WriteBytes("old.shp", BuildShape(old));
    EXPECT_EQ(1, ShapeMMergeFile("old.shp")) << "merged shapes are not converted";
    EXPECT_EQ(1, ShapeMLoadFile("missing.shp"));
    EXPECT_EQ(before, EditBytes());

    // A file that begins as a prepared shape does in memory is still only bytes.
    Bytes fake(300, 0xFF);
    PutU32(fake.data(), 0, PREPARED_MAGIC);
    WriteBytes("fake.shp", fake);
    ResId id = ResFindOrAdd("fake.shp");
    EXPECT_EQ(1, ShapeMTakeIn(id));
    EXPECT_FALSE(ShapeMIsPrepared(id));
    EXPECT_EQ(0, ShapeMVertexCount(id));
    EXPECT_EQ(before, EditBytes());

    Bytes huge = BuildShape(Triangle());
    huge.resize(SHAPEM_BUFFER_SIZE + 1);
    PutU32(huge.data(), SH_SIZE, (uint32_t)huge.size());
    WriteBytes("huge.shp", huge);
    EXPECT_EQ(1, ShapeMLoadFile("huge.shp"));
    EXPECT_EQ(before, EditBytes());
}

TEST_F(ShapeMTest, MergeThatWouldPassTheBufferIsRefused)
{
    // Eight polygons of 16383 points with both per-point blocks nearly fill the buffer.
    TShape big;
    for (int i = 0; i < 30000; i++) big.verts.push_back({(int16_t)(i % 100), (int16_t)(i / 100), 0});
    for (int p = 0; p < 8; p++) {
        TPoly poly;
        for (int k = 0; k < SHAPE_MAX_POINTS; k++) poly.idx.push_back((uint16_t)((k * 7 + p) % 30000));
        poly.normals.assign(3 * SHAPE_MAX_POINTS, 0);
        poly.mapping.assign(2 * SHAPE_MAX_POINTS, 0);
        big.polys.push_back(poly);
    }
    WriteBytes("big.shp", BuildShape(big));
    ASSERT_EQ(0, ShapeMLoadFile("big.shp")) << ShapeMLastError();
    Bytes before = EditBytes();
    ASSERT_GT(before.size(), 1900000u);

    TShape other = Triangle();
    other.polys = big.polys;
    for (TPoly& p : other.polys)
        for (uint16_t& i : p.idx) i %= 3;
    other.polys.resize(1);
    WriteBytes("other.shp", BuildShape(other));
    EXPECT_EQ(1, ShapeMMergeFile("other.shp"));
    EXPECT_EQ(before, EditBytes());
}

TEST_F(ShapeMTest, MergeAcrossShiftsLosesTheFinerLowBits)
{
    TShape coarse;
    coarse.shift = 2;
    coarse.verts = {{9000, 0, 0}, {0, 9000, 0}, {0, 0, 9000}};
    coarse.polys = {TPoly({0, 1, 2})};
    TShape fine;
    fine.verts = {{5, 7, -3}, {100, 0, 0}, {0, 100, 0}};
    fine.polys = {TPoly({0, 1, 2})};
    WriteBytes("coarse.shp", BuildShape(coarse));
    WriteBytes("fine.shp", BuildShape(fine));

    ASSERT_EQ(0, ShapeMLoadFile("coarse.shp"));
    ASSERT_EQ(0, ShapeMMergeFile("fine.shp")) << ShapeMLastError();
    uint8_t* e = ShapeMEdit()->data;
    ASSERT_EQ(6, ShapeVertexCount(e));
    ASSERT_EQ(2, ShapePolygonCount(e));
    EXPECT_EQ(2, ShapeShift(e));
    EXPECT_EQ((std::array<int32_t, 3>{4, 4, -4}), EditPos(0));
    EXPECT_EQ((std::array<int32_t, 3>{36000, 0, 0}), EditPos(3));
    EXPECT_EQ((std::vector<int>{0, 1, 2}), EditIndices(0)) << "the merged polygon comes first";
    EXPECT_EQ((std::vector<int>{3, 4, 5}), EditIndices(1));
    for (int i = 0; i < 6; i++) EXPECT_EQ(i < 3, (ShapeVertexFlags(e, i) & VF_SELECTED) != 0) << i;
    EXPECT_NE(0, GetU16(ShapePolygon(e, 0), 0) & PF_SELECTED);
    EXPECT_EQ(0, GetU16(ShapePolygon(e, 1), 0) & PF_SELECTED);

    // The other way round the shape in the buffer loses its low bits.
    ASSERT_EQ(0, ShapeMLoadFile("fine.shp"));
    ASSERT_EQ(0, ShapeMMergeFile("coarse.shp"));
    EXPECT_EQ(2, ShapeShift(ShapeMEdit()->data));
    EXPECT_EQ((std::array<int32_t, 3>{4, 4, -4}), EditPos(3));

    ShapeMUndo();
    EXPECT_EQ(3, ShapeVertexCount(ShapeMEdit()->data)) << "one undo copy, from before the merge";

    ShapeMNew();
    EXPECT_EQ(2, ShapeMMergeFile("fine.shp")) << "nothing to merge into";
    EXPECT_EQ(0, ShapeVertexCount(ShapeMEdit()->data));
}

TEST_F(ShapeMTest, OptimiseKeepsNamedVertices)
{
    TShape s;
    s.verts = {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {100, 0, 0}, {5, 5, 5}, {7, 7, 7}, {0, 100, 0}};
    s.verts[3].name = 0x44555045;   // duplicates vertex 1
    s.verts[5].name = 0x53504F54;   // unused
    TPoly repeat({1, 0, 2, 0});
    repeat.mapping = {10, 11, 20, 21, 30, 31, 40, 41};
    s.polys = {TPoly({0, 1, 2}), TPoly({0, 3, 6}), repeat};
    WriteBytes("opt.shp", BuildShape(s));
    ASSERT_EQ(0, ShapeMLoadFile("opt.shp"));
    ShapeMOptimise(1);

    uint8_t* e = ShapeMEdit()->data;
    ASSERT_EQ(5, ShapeVertexCount(e));
    EXPECT_EQ(0x44555045u, ShapePointName(e, 3)) << "a named duplicate stays";
    EXPECT_EQ(0x53504F54u, ShapePointName(e, 4)) << "a named unused vertex stays";
    EXPECT_EQ((std::array<int32_t, 3>{7, 7, 7}), EditPos(4));
    ASSERT_EQ(3, ShapePolygonCount(e));
    EXPECT_EQ((std::vector<int>{0, 1, 2}), EditIndices(1)) << "uses of duplicates go to the first";
    EXPECT_EQ((std::vector<int>{1, 2, 0}), EditIndices(2)) << "the earlier of a repeated pair goes";
    const uint8_t* map = ShapePolyMapping(ShapePolygon(e, 2));
    ASSERT_NE(nullptr, map);
    EXPECT_EQ((std::vector<int>{10, 11, 30, 31, 40, 41}),
              (std::vector<int>{GetI16(map, 0), GetI16(map, 2), GetI16(map, 4), GetI16(map, 6), GetI16(map, 8),
                                GetI16(map, 10)}));
}

TEST_F(ShapeMTest, MoreThanAHundredMaterialsComeBackUnresolved)
{
    TShape s = Triangle();
    s.polys.clear();
    for (int m = 0; m < 105; m++) {
        char name[8];
        snprintf(name, sizeof name, "M%03d", m);
        AddMaterial(name);
        s.names.push_back({name, (uint16_t)m});
        s.polys.push_back(TPoly({0, 1, 2}, 0, (uint16_t)m));
    }
    WriteBytes("many.shp", BuildShape(s));
    ASSERT_EQ(0, ShapeMLoadFile("many.shp"));
    EXPECT_EQ(104, GetU16(ShapePolygon(ShapeMEdit()->data, 104), 2)) << "all bound on the way in";
    ASSERT_EQ(0, ShapeMSave("many.shp"));
    ASSERT_EQ(0, ShapeMLoadFile("many.shp"));
    uint8_t* e = ShapeMEdit()->data;
    for (int p = 0; p < 105; p++) {
        uint16_t material = GetU16(ShapePolygon(e, p), 2);
        if (p < 100)
            EXPECT_EQ(p, material) << p;
        else
            EXPECT_NE(0, material & MAT_UNRESOLVED) << p;
    }
}

TEST_F(ShapeMTest, SavingOverAFileKeepsTheOldOneAsBackup)
{
    WriteBytes("tri.shp", BuildShape(Triangle(100)));
    ASSERT_EQ(0, ShapeMLoadFile("tri.shp"));
    ASSERT_EQ(0, ShapeMSave("BOX.SHP"));
    EXPECT_FALSE(PathExists("BOX.~HP")) << "nothing to keep the first time";
    Bytes first = ReadBytes("BOX.SHP");
    EXPECT_EQ(EditBytes(), first);
    // A save carries smoothed per-point normals: the lone triangle's points take its face normal.
    uint8_t* poly = ShapeFirstPolygon(ShapeMEdit()->data);
    ASSERT_NE(poly, nullptr);
    ASSERT_NE(ShapePolyNormals(poly), nullptr);
    for (int k = 0; k < 3; k++)
        for (int a = 0; a < 3; a++) EXPECT_EQ(GetI16(ShapePolyNormals(poly), 6 * k + 2 * a), GetI16(poly, 4 + 2 * a));

    WriteBytes("tri2.shp", BuildShape(Triangle(200)));
    ASSERT_EQ(0, ShapeMLoadFile("tri2.shp"));
    ASSERT_EQ(0, ShapeMSave("BOX.SHP"));
    EXPECT_EQ(first, ReadBytes("BOX.~HP"));
    Bytes second = ReadBytes("BOX.SHP");
    EXPECT_EQ(EditBytes(), second);

    ShapeMNew();
    ASSERT_EQ(0, ShapeMSave("BOX.SHP"));
    EXPECT_EQ(second, ReadBytes("BOX.~HP")) << "the older backup is replaced";
    EXPECT_EQ(68u, ReadBytes("BOX.SHP").size());

    EXPECT_EQ(1, ShapeMSave("no/such/folder/BOX.SHP"));
}

// ============================================================================================
// tolbex-cli shape normalise, optimise, merge
// ============================================================================================

static RunResult Cli(const TempDir& dir, const std::vector<std::string>& args)
{
    std::vector<std::string> all = {"shape"};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(TOLBEX_CLI_BIN, all, dir.path());
}

static void ExpectCleanEnd(const RunResult& r)
{
    EXPECT_NE(-1, r.exitCode) << r.output;
    EXPECT_EQ(std::string::npos, r.output.find("Sanitizer")) << r.output;
    EXPECT_EQ(std::string::npos, r.output.find("runtime error")) << r.output;
}

TEST(ShapeMCli, NormaliseOptimiseMerge)
{
    TempDir dir;
    TShape s = Triangle();
    s.verts.push_back({100, 0, 0});   // a duplicate of vertex 1
    s.verts.push_back({9, 9, 9});     // unused
    s.polys.push_back(TPoly({0, 3, 2}));
    s.polys[0].flags = PF_SELECTED;
    s.polys[0].normal[2] = -5;   // a stale normal
    WriteBytes(dir.file("in.shp"), BuildShape(s));

    RunResult r = Cli(dir, {"normalise", "in.shp", "norm.shp"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    Bytes norm = ReadBytes(dir.file("norm.shp"));
    ASSERT_EQ(1, ShapeCheck(norm.data(), norm.size(), nullptr, 0));
    EXPECT_EQ(5, ShapeVertexCount(norm.data()));
    uint8_t* p = ShapeFirstPolygon(norm.data());
    EXPECT_EQ(0, GetU16(p, 0) & PF_SELECTED);
    EXPECT_EQ(16384, GetI16(p, 8)) << "face normal recomputed: +Z";

    r = Cli(dir, {"optimise", "in.shp", "opt.shp"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    Bytes opt = ReadBytes(dir.file("opt.shp"));
    EXPECT_EQ(3, ShapeVertexCount(opt.data()));
    EXPECT_EQ(2, ShapePolygonCount(opt.data()));

    r = Cli(dir, {"merge", "norm.shp", "opt.shp", "merged.shp"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    Bytes merged = ReadBytes(dir.file("merged.shp"));
    EXPECT_EQ(8, ShapeVertexCount(merged.data()));
    EXPECT_EQ(4, ShapePolygonCount(merged.data()));

    Bytes bad = norm;
    bad.resize(bad.size() - 3);
    WriteBytes(dir.file("bad.shp"), bad);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"normalise", "bad.shp", "x.shp"},
                                                  {"optimise", "bad.shp", "x.shp"},
                                                  {"merge", "norm.shp", "bad.shp", "x.shp"},
                                                  {"merge", "bad.shp", "norm.shp", "x.shp"}}) {
        r = Cli(dir, args);
        ExpectCleanEnd(r);
        EXPECT_EQ(1, r.exitCode) << args[0] << ": " << r.output;
        EXPECT_NE(std::string::npos, r.output.find("bad.shp")) << r.output;
        EXPECT_FALSE(PathExists(dir.file("x.shp")));
    }
}
