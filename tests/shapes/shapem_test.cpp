// Shape manager: prepared shapes from "SHP" resources, binding and re-binding materials, and
// the edit buffer's take in, merge, Optimise, undo and save with backup.
#include <gtest/gtest.h>

#include <cstring>

#include "shapes/shape_fixture.h"

class ShapeMTest : public EditTest {
protected:
    // A named "SHP" resource loaded through the type's hook.
    ResId Load(const char* name, const Bytes& image)
    {
        WriteBytes(name, image);
        ResId id = ResFindOrAdd(name);
        EXPECT_NE(0, id);
        EXPECT_EQ(0, ResLoad(id)) << ShapeMLastError();
        return id;
    }
    static uint32_t RecordMaterial(ResId id, int record) { return GetU32(ShapeMRecord(id, record), PR_MATERIAL); }
};

// ---- Prepared shapes

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
    TPoly quad({1, 2, 3, 5}, 0, 5);
    quad.mapping = {100, 200, 300, 400, 500, 600, 8192, -16384};
    s.polys = {pentagon, quad};
    s.names = {{"WOOD", 1}, {"STONE", 5}};
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
    const int triangles[3][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}};
    for (int r = 0; r < 3; r++) {
        const uint8_t* rec = ShapeMRecord(id, r);
        EXPECT_EQ((uint32_t)(188 * r), ShapeMPrepared(id)->recordOffsets[r]);
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
    EXPECT_FLOAT_EQ(0.5f, GetF32(q, PR_SECOND + PR_UV));        // P3's U
    EXPECT_FLOAT_EQ(-1.0f, GetF32(q, PR_SECOND + PR_UV + 4));   // P3's V
    EXPECT_FLOAT_EQ(500.0f / 16384, GetF32(q, PR_UV + 8 * 2));   // P2's U in the first part

    EXPECT_EQ(stone, GetU16(ShapeMPrepared(id)->names + 18, NAME_ID)) << "a found name takes its index as id";
}

TEST_F(ShapeMTest, DamagedFilesFailTheLoadWithoutEndingTheProgram)
{
    Bytes good = BuildShape(Triangle()), lying = good, newer = good;
    PutU16(lying.data(), GetU32(good.data(), SH_POLYGONS) + 2 + POLY_HEAD + 4, 3);   // vertex 3 of 3
    PutU16(newer.data(), SH_VERSION, 17);
    const Bytes cases[] = {Bytes(good.begin(), good.begin() + good.size() / 2), lying, newer, Bytes{}};
    for (int n = 0; n < 4; n++) {
        std::string name = "bad" + std::to_string(n) + ".shp";
        WriteBytes(name, cases[n]);
        ResId id = ResFindOrAdd(name.c_str());
        EXPECT_NE(0, ResLoad(id)) << name;
        EXPECT_FALSE(ShapeMIsPrepared(id)) << name;
        EXPECT_NE(0u, strlen(ShapeMLastError()));
    }
}

TEST_F(ShapeMTest, MaterialChangeRebindsByTheNameTheShapeStartedWith)
{
    for (const char* name : {"A1", "A2", "STONE", "ABCDEFGHIJKLMNOP"}) AddMaterial(name);
    TShape s = Triangle();
    s.polys = {TPoly({0, 1, 2}, 0, 3), TPoly({0, 2, 1}, 0, 5), TPoly({0, 1, 2}, 0, 7)};
    s.names = {{"GLASS", 3}, {"STONE", 5}, {"ABCDEFGHIJKLMNOP", 7}};
    ResId id = Load("glass.shp", BuildShape(s));
    EXPECT_EQ(3u | MAT_UNRESOLVED, RecordMaterial(id, 0));
    EXPECT_EQ(3u, RecordMaterial(id, 1));
    EXPECT_EQ(7u | MAT_UNRESOLVED, RecordMaterial(id, 2)) << "looked up by its first 15 characters";

    // GLASS's file id (3) is now STONE's index: a re-bind must still tell them apart. The long
    // name binds once a material of its first 15 characters comes.
    int glass = AddMaterial("Glass");
    int fifteen = AddMaterial("ABCDEFGHIJKLMNO");
    EXPECT_EQ((uint32_t)glass, RecordMaterial(id, 0));
    EXPECT_EQ(3u, RecordMaterial(id, 1));
    EXPECT_EQ((uint32_t)fifteen, RecordMaterial(id, 2));
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
    EXPECT_EQ((std::vector<int32_t>{-3, 0, -12, 100, 4, 100}),
              (std::vector<int32_t>{ShapeMMinX(id), ShapeMMinY(id), ShapeMMinZ(id), ShapeMMaxX(id), ShapeMMaxY(id),
                                    ShapeMMaxZ(id)}));
    EXPECT_EQ(100, ShapeMRadius(id));
    EXPECT_EQ(1, ShapeMSetVertex(id, b + 1, 7, 8, 9));
    EXPECT_EQ(8.0f, ShapeMVertexF(id, b + 1)[1]);
    EXPECT_EQ(0, ShapeMSetVertex(id, 99, 7, 8, 9));

    // (P1 - P0) x (P2 - P0) = (100, 0, 0) x (0, 0, 100) points down -Y.
    const int32_t tri[3] = {a, b, c};
    int t = ShapeMAddTriangle(id, 4, tri, nullptr);
    ASSERT_EQ(0, t);
    EXPECT_EQ((std::vector<int>{GetI16(ShapeMRecord(id, t), PR_NORMAL), GetI16(ShapeMRecord(id, t), PR_NORMAL + 2)}),
              (std::vector<int>{0, -16384}));
    const int32_t bad[3] = {a, b, 50};
    EXPECT_EQ(-1, ShapeMAddTriangle(id, 4, bad, nullptr));
    EXPECT_EQ(1, ShapeMRecordCount(id));

    const int32_t quad[4] = {a, b, b + 1, c};
    int plain = ShapeMAddQuad(id, 4, quad, nullptr);
    const int16_t uv[8] = {0, 0, 16384, 0, 16384, 16384, 0, 16384};
    int mapped = ShapeMAddQuad(id, 4, quad, uv);
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
    s.verts = {{-50, 155, 0}, {5, -100, 7}, {1000, 156, -1000}, {2, -99, 3}};
    s.polys = {TPoly({0, 1, 2})};
    int32_t box[4];
    ShapeMBaseFootprint(Load("foot.shp", BuildShape(s)), box);
    EXPECT_EQ((std::vector<int32_t>{-50, 0, 5, 7}), std::vector<int32_t>(box, box + 4));
    ShapeMBaseFootprint(Load("none.shp", BuildShape(TShape{})), box);
    EXPECT_EQ((std::vector<int32_t>{SHAPE_BOX_EMPTY_MIN, SHAPE_BOX_EMPTY_MAX}), (std::vector<int32_t>{box[0], box[3]}));
}

// ---- Edit buffer

TEST_F(ShapeMTest, UndoAndRedoWalkTheHistoryOfLoadAndNew)
{
    Bytes empty = Used();
    WriteBytes("tri.shp", BuildShape(Triangle()));
    ASSERT_EQ(0, ShapeMLoadFile("tri.shp"));
    Bytes loaded = Used();
    ShapeMNew();
    EXPECT_EQ(0, ShapeVertexCount(B()));
    EXPECT_EQ(2, HistoryUndoCount(ShapeMHistory()));
    ShapeMUndo();
    EXPECT_EQ(loaded, Used()) << "Undo after New gives back the shape";
    ShapeMUndo();
    EXPECT_EQ(empty, Used()) << "a second Undo goes back before the load";
    ShapeMUndo();
    EXPECT_EQ(empty, Used()) << "nothing before that";
    EXPECT_EQ(2, HistoryRedoCount(ShapeMHistory()));
    ShapeMRedo();
    EXPECT_EQ(loaded, Used());
    // The buffer past a shorter state holds nothing of the longer one.
    ShapeMRedo();
    EXPECT_EQ(0, ShapeVertexCount(B()));
    uint32_t used = ShapeUsedSize(B());
    for (uint32_t i = used; i < (uint32_t)loaded.size(); i++) ASSERT_EQ(0, B()[i]) << "byte " << i;

    // With the flag off an edit records nothing, and Undo and Redo do nothing.
    ShapeMUndo();
    ShapeMSetUndo(0);
    ShapeMNew();
    ShapeMUndo();
    EXPECT_EQ(0, ShapeVertexCount(B()));
    ShapeMSetUndo(1);
    EXPECT_EQ(1, HistoryUndoCount(ShapeMHistory())) << "New with the flag off kept no step";
    ShapeMUndo();
    EXPECT_EQ(empty, Used());
}

TEST_F(ShapeMTest, EveryStepOfTheHistoryKeepsItsMaterialsByName)
{
    auto index = [](const char* name) {
        for (int i = 0; i < MatMCount(); i++)
            if (strcmp(MatMGetName(i), name) == 0) return i;
        return -1;
    };
    auto material = [this] { return (int)GetU16(ShapeFirstPolygon(B()), POLY_MATERIAL); };
    for (const char* name : {"Red", "Green"}) {
        MatMAdd(MatMCount());
        MatMSetName(MatMCount() - 1, name);
    }
    WriteBytes("tri.shp", BuildShape(Triangle()));
    ASSERT_EQ(0, ShapeMLoadFile("tri.shp"));
    MeshSetMaterial(0, index("Green"));
    MeshSetMaterial(0, index("Red"));
    ShapeMUndo();   // Green now, Red to redo
    ASSERT_EQ(index("Green"), material());
    // A material put in front moves both: every kept state must follow them by name.
    int red = index("Red");
    MatMAdd(1);
    ASSERT_EQ(red + 1, index("Red"));
    EXPECT_EQ(index("Green"), material());
    ShapeMRedo();
    EXPECT_EQ(index("Red"), material()) << "the redo step was bound again";
    ShapeMUndo();
    ShapeMUndo();
    EXPECT_NE(index("Red"), material());
    EXPECT_NE(index("Green"), material());
}

TEST_F(ShapeMTest, TakingInAPreparedShapeGivesTheRawBlock)
{
    TShape s = Triangle();
    s.verts[1].name = 0x4E414D45;
    s.verts[2].flags = VF_SELECTED;
    s.polys[0].flags = PF_SELECTED | PF_HIDDEN;
    ResId id = Load("tree.shp", BuildShape(s));
    ASSERT_TRUE(ShapeMIsPrepared(id));

    ASSERT_EQ(0, ShapeMTakeIn(id)) << ShapeMLastError();
    EXPECT_EQ(SHAPE_VERSION, ShapeVersion(B()));
    EXPECT_EQ(3, ShapeVertexCount(B()));
    EXPECT_EQ(0x4E414D45u, ShapePointName(B(), 1));
    EXPECT_EQ(PF_HIDDEN, Flags(0)) << "selections cleared, other flags kept";
    EXPECT_EQ(0u, ShapeVertexFlags(B(), 2));
    EXPECT_TRUE(ShapeMIsPrepared(id)) << "the world that uses it gets it prepared again";
    EXPECT_EQ(3, ShapeMVertexCount(id));

    ResOpen(id);
    EXPECT_EQ(1, ShapeMTakeIn(id)) << "a shape in use cannot be freed and read again";
    ResClose(id);
}

TEST_F(ShapeMTest, RefusedFilesAndMergesLeaveTheBufferUnchanged)
{
    WriteBytes("tri.shp", BuildShape(Triangle()));
    ASSERT_EQ(0, ShapeMLoadFile("tri.shp"));
    Bytes before = Used();

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
    EXPECT_EQ(before, Used());

    // A file that begins as a prepared shape does in memory is still only bytes.
    Bytes fake(300, 0xFF);
    PutU32(fake.data(), 0, PREPARED_MAGIC);
    WriteBytes("fake.shp", fake);
    ResId id = ResFindOrAdd("fake.shp");
    EXPECT_EQ(1, ShapeMTakeIn(id));
    EXPECT_FALSE(ShapeMIsPrepared(id));
    EXPECT_EQ(0, ShapeMVertexCount(id));
    EXPECT_EQ(before, Used());

    Bytes huge = BuildShape(Triangle());
    huge.resize(SHAPEM_BUFFER_SIZE + 1);
    PutU32(huge.data(), SH_SIZE, (uint32_t)huge.size());
    WriteBytes("huge.shp", huge);
    EXPECT_EQ(1, ShapeMLoadFile("huge.shp"));
    EXPECT_STREQ("huge.shp: 2000001 bytes, larger than a shape file can be (at most 2000000 bytes)", ShapeMLastError());
    EXPECT_EQ(1, ShapeMMergeFile("huge.shp"));
    EXPECT_EQ(before, Used());
    EXPECT_NE(0, ResLoad(ResFindOrAdd("huge.shp"))) << "nor is it taken as a resource";
    EXPECT_EQ(RES_ERR_TOO_LARGE, ResLastError());

    // Eight polygons of 16383 points with both per-point blocks nearly fill the buffer; a
    // merge that would pass it is refused.
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
    before = Used();
    ASSERT_GT(before.size(), 1900000u);
    TShape other = Triangle();
    other.polys = {big.polys[0]};
    for (uint16_t& i : other.polys[0].idx) i %= 3;
    WriteBytes("other.shp", BuildShape(other));
    EXPECT_EQ(1, ShapeMMergeFile("other.shp"));
    EXPECT_EQ(before, Used());
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
    ASSERT_EQ((std::vector<int>{ShapeVertexCount(B()), ShapePolygonCount(B()), ShapeShift(B())}), (std::vector<int>{6, 2, 2}));
    EXPECT_EQ((Vec{4, 4, -4}), Pos(0));
    EXPECT_EQ((Vec{36000, 0, 0}), Pos(3));
    EXPECT_EQ((std::vector<int>{0, 1, 2}), Points(0)) << "the merged polygon comes first";
    EXPECT_EQ((std::vector<int>{3, 4, 5}), Points(1));
    for (int i = 0; i < 6; i++) EXPECT_EQ(i < 3, (ShapeVertexFlags(B(), i) & VF_SELECTED) != 0) << i;
    EXPECT_EQ((std::vector<int>{Flags(0) & PF_SELECTED, Flags(1) & PF_SELECTED}), (std::vector<int>{PF_SELECTED, 0}));

    // The other way round the shape in the buffer loses its low bits.
    ASSERT_EQ(0, ShapeMLoadFile("fine.shp"));
    ASSERT_EQ(0, ShapeMMergeFile("coarse.shp"));
    EXPECT_EQ(2, ShapeShift(B()));
    EXPECT_EQ((Vec{4, 4, -4}), Pos(3));

    ShapeMUndo();
    EXPECT_EQ(3, ShapeVertexCount(B())) << "one undo copy, from before the merge";
    ShapeMNew();
    V(1, 2, 3);
    EXPECT_EQ(2, ShapeMMergeFile("fine.shp")) << "nothing to merge into: no polygon";
    EXPECT_EQ(1, ShapeVertexCount(B()));
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

    ASSERT_EQ(5, ShapeVertexCount(B()));
    EXPECT_EQ(0x44555045u, ShapePointName(B(), 3)) << "a named duplicate stays";
    EXPECT_EQ(0x53504F54u, ShapePointName(B(), 4)) << "a named unused vertex stays";
    EXPECT_EQ((Vec{7, 7, 7}), Pos(4));
    ASSERT_EQ(3, ShapePolygonCount(B()));
    EXPECT_EQ((std::vector<int>{0, 1, 2}), Points(1)) << "uses of duplicates go to the first";
    EXPECT_EQ((std::vector<int>{1, 2, 0}), Points(2)) << "the earlier of a repeated pair goes";
    EXPECT_EQ((std::vector<int16_t>{10, 11, 30, 31, 40, 41}), Mapping(2));
}

TEST_F(ShapeMTest, MoreThanAHundredMaterialsComeBackUnresolved)
{
    TShape s = Triangle();
    s.polys.clear();
    for (int m = 1; m <= 101; m++) {
        char name[8];
        snprintf(name, sizeof name, "M%03d", m);
        AddMaterial(name);
        s.names.push_back({name, (uint16_t)m});
        s.polys.push_back(TPoly({0, 1, 2}, 0, (uint16_t)m));
    }
    WriteBytes("many.shp", BuildShape(s));
    ASSERT_EQ(0, ShapeMLoadFile("many.shp"));
    EXPECT_EQ(101, Material(100)) << "all bound on the way in";
    ASSERT_EQ(0, ShapeMSave("many.shp"));
    EXPECT_EQ(100, ShapeNameCount(B()));
    ASSERT_EQ(0, ShapeMLoadFile("many.shp"));
    EXPECT_EQ(100, Material(99));
    EXPECT_EQ(101 | MAT_UNRESOLVED, Material(100)) << "the hundred-and-first lost its name";
}

TEST_F(ShapeMTest, SavingOverAFileKeepsTheOldOneAsBackup)
{
    WriteBytes("tri.shp", BuildShape(Triangle(100)));
    ASSERT_EQ(0, ShapeMLoadFile("tri.shp"));
    ASSERT_EQ(0, ShapeMSave("BOX.SHP"));
    EXPECT_FALSE(PathExists("BOX.~HP")) << "nothing to keep the first time";
    Bytes first = ReadBytes("BOX.SHP");
    EXPECT_EQ(Used(), first);
    // A save carries smoothed per-point normals: the lone triangle's points take its face normal.
    for (int k = 0; k < 3; k++) EXPECT_EQ((std::vector<int16_t>{0, 0, 16384}), PointNormal(0, k)) << k;

    WriteBytes("tri2.shp", BuildShape(Triangle(200)));
    ASSERT_EQ(0, ShapeMLoadFile("tri2.shp"));
    ASSERT_EQ(0, ShapeMSave("BOX.SHP"));
    EXPECT_EQ(first, ReadBytes("BOX.~HP"));
    Bytes second = ReadBytes("BOX.SHP");
    EXPECT_EQ(Used(), second);

    ShapeMNew();
    ASSERT_EQ(0, ShapeMSave("BOX.SHP"));
    EXPECT_EQ(second, ReadBytes("BOX.~HP")) << "the older backup is replaced";
    EXPECT_EQ(68u, ReadBytes("BOX.SHP").size());
    EXPECT_EQ(1, ShapeMSave("no/such/folder/BOX.SHP"));
}

TEST_F(ShapeMTest, MergedPolygonsKeepTheMaterialsTheirFileNames)
{
    AddMaterial("Other");
    int stone = AddMaterial("STONE");
    int wood = AddMaterial("WOOD");
    TShape base = Triangle();
    base.polys = {TPoly({0, 1, 2}, 0, 4), TPoly({2, 1, 0}, 0, 6)};
    base.names = {{"WOOD", 4}, {"MOSS", 6}};
    TShape other = Triangle();
    // Ids 4 and 6 mean other names here than in the edited shape; 9 has no name at all.
    other.polys = {TPoly({0, 1, 2}, 0, 6), TPoly({0, 2, 1}, 0, 4), TPoly({1, 0, 2}, 0, 9), TPoly({1, 2, 0}, 0, 5)};
    other.names = {{"STONE", 6}, {"MOSS", 4}, {"SLATE", 5}};
    WriteBytes("base.shp", BuildShape(base));
    WriteBytes("other.shp", BuildShape(other));

    ASSERT_EQ(0, ShapeMLoadFile("base.shp")) << ShapeMLastError();
    ASSERT_EQ(0, ShapeMMergeFile("other.shp")) << ShapeMLastError();
    ASSERT_EQ(6, ShapePolygonCount(B()));
    EXPECT_EQ(stone, Material(0)) << "the merged file's id 6 means STONE";
    EXPECT_EQ(Material(5), Material(1)) << "MOSS, unresolved, shares the edited shape's entry";
    EXPECT_NE(0, Material(1) & MAT_UNRESOLVED);
    EXPECT_EQ(0, Material(2)) << "an id without a name takes the Dummy";
    EXPECT_NE(0, Material(3) & MAT_UNRESOLVED);
    EXPECT_NE(Material(1), Material(3)) << "SLATE is a name of its own";
    EXPECT_EQ(wood, Material(4)) << "the edited shape's own polygons keep theirs";

    // Saved and loaded with MOSS and SLATE present, the names bring their materials back.
    ASSERT_EQ(0, ShapeMSave("merged.shp"));
    int moss = AddMaterial("MOSS");
    int slate = AddMaterial("SLATE");
    ASSERT_EQ(0, ShapeMLoadFile("merged.shp")) << ShapeMLastError();
    EXPECT_EQ((std::vector<int>{stone, moss, 0, slate, wood, moss}),
              (std::vector<int>{Material(0), Material(1), Material(2), Material(3), Material(4), Material(5)}));
}
