// 3DS ASCII listings: import into the edit buffer (a real listing, objects with their own
// vertex bases, scaling, the tables' limits, long lines) and export.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/res/res.h"
#include "kernel/util/bytes.h"
#include "materials/intmat.h"
#include "shapes/asc.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "support/testutil.h"

static const std::string kTesti = std::string(TOLBEX_FIXTURES) + "/real/TESTI.ASC";

static std::array<int32_t, 3> Pos(int i)
{
    std::array<int32_t, 3> p;
    ShapeVertexPos(ShapeMEdit()->data, i, p.data());
    return p;
}

static std::vector<int> Face(int polygon)
{
    uint8_t* p = ShapePolygon(ShapeMEdit()->data, polygon);
    std::vector<int> out;
    for (int k = 0; p && k < ShapePolyPoints(p); k++) out.push_back(ShapePolyIndex(p, k));
    return out;
}

static Bytes EditBytes(void)
{
    const uint8_t* b = ShapeMEdit()->data;
    return Bytes(b, b + ShapeUsedSize(b));
}

class AscTest : public testing::Test {
protected:
    TempDir dir{true};

    void SetUp() override
    {
        ResRemove();
        ResInstall(100);
        IntMatCreate(512);
        ShapeMInstall();
        ShapeMSetUndo(1);
    }
    void TearDown() override
    {
        ShapeMRemove();
        IntMatDestroy();
        ResRemove();
    }

    int Import(const std::string& text)
    {
        WriteText("in.asc", text);
        return Import3DSASCII("in.asc");
    }
};

// ============================================================================================
// Import
// ============================================================================================

TEST_F(AscTest, RealListingImportsThreeObjects)
{
    ASSERT_EQ(0, Import3DSASCII(kTesti.c_str())) << ASCIILastError();
    uint8_t* e = ShapeMEdit()->data;
    ASSERT_EQ(13, ShapeVertexCount(e));
    ASSERT_EQ(9, ShapePolygonCount(e));
    EXPECT_EQ(0, ShapeShift(e));
    // The largest coordinate is 287.551331: everything is scaled by 287 / 287.551331 and
    // truncated; the listing's (X, Y, Z) is the shape's (x, -z, y).
    EXPECT_EQ((std::array<int32_t, 3>{-228, -177, 271}), Pos(0));
    EXPECT_EQ((std::array<int32_t, 3>{198, 195, 271}), Pos(2));
    EXPECT_EQ((std::array<int32_t, 3>{-228, 195, 0}), Pos(6));
    EXPECT_EQ((std::array<int32_t, 3>{-253, -118, 119}), Pos(8));
    EXPECT_EQ((std::array<int32_t, 3>{-155, 169, 287}), Pos(10));
    EXPECT_EQ((std::vector<int>{0, 1, 2}), Face(0));
    EXPECT_EQ((std::vector<int>{3, 4, 0}), Face(6));
    EXPECT_EQ((std::vector<int>{8, 7, 9}), Face(7)) << "the second object counts from its own first vertex";
    EXPECT_EQ((std::vector<int>{11, 10, 12}), Face(8));
    for (int p = 0; p < 9; p++) EXPECT_EQ(0, GetU16(ShapePolygon(e, p), 2)) << "material 0";
    // Object03 lies in the plane z = 287: its face normal is +-Z.
    uint8_t* last = ShapePolygon(e, 8);
    EXPECT_EQ(0, GetI16(last, 4));
    EXPECT_EQ(0, GetI16(last, 6));
    EXPECT_EQ(16384, std::abs(GetI16(last, 8)));
}

TEST_F(AscTest, ObjectsUseTheirOwnVertexBases)
{
    ASSERT_EQ(0, Import("Named object: \"a\"\n"
                        "Vertex list:\n"
                        "Vertex 0:  X: 0 Y: 0  Z: 0\n"
                        "Vertex 1:  X: 10 Y: 0  Z: 0 U: 0.5 V: 0.25\n"
                        "Vertex 2:  X: 0 Y: -10  Z: 0\n"
                        "Face list:\n"
                        "Face 0:  A:0 B:1 C:2\n"
                        "Named object: \"b\"\n"
                        "Vertex list:\n"
                        "Vertex 0:  X: 0 Y: 0  Z: 5\n"
                        "Vertex 1:  X: 10 Y: 0  Z: 5\n"
                        "Vertex 2:  X: 0 Y: -10  Z: 5\n"
                        "Face list:\n"
                        "Face 0:  A:0 B:2 C:1\n"));
    EXPECT_EQ((std::vector<int>{3, 5, 4}), Face(1));
    EXPECT_EQ((std::array<int32_t, 3>{0, 0, 10}), Pos(2));
    EXPECT_EQ((std::array<int32_t, 3>{0, 5, 0}), Pos(3));
}

TEST_F(AscTest, ScalingToWholeUnits)
{
    // 0.5 is the largest: m = 0, and every coordinate becomes 0.
    ASSERT_EQ(0, Import("Vertex list:\nVertex 0: X: 0.5 Y: 0.25 Z: -0.5\nVertex 1: X: 0.1 Y: 0 Z: 0\n"
                        "Vertex 2: X: 0 Y: 0.3 Z: 0\nFace 0: A:0 B:1 C:2\n"));
    for (int i = 0; i < 3; i++) EXPECT_EQ((std::array<int32_t, 3>{0, 0, 0}), Pos(i));

    // 1000.9 is the largest: everything is scaled by 1000 / 1000.9 before truncation.
    ASSERT_EQ(0, Import("Vertex list:\nVertex 0: X: 1000.9 Y: 0 Z: 0\nVertex 1: X: 600 Y: -300.5 Z: 0\n"
                        "Vertex 2: X: 0 Y: 0 Z: 100.5\nFace 0: A:0 B:1 C:2\n"));
    EXPECT_EQ((std::array<int32_t, 3>{599, 0, 300}), Pos(1));
    EXPECT_EQ(100, Pos(2)[1]);
    EXPECT_GE(Pos(0)[0], 999);
    EXPECT_LE(Pos(0)[0], 1000);

    // Large coordinates raise the shift.
    ASSERT_EQ(0, Import("Vertex list:\nVertex 0: X: 50000 Y: 0 Z: 0\nVertex 1: X: 1 Y: 0 Z: 0\n"
                        "Vertex 2: X: 0 Y: 0 Z: 1\nFace 0: A:0 B:1 C:2\n"));
    EXPECT_GT(ShapeShift(ShapeMEdit()->data), 0);
    EXPECT_EQ(50000, Pos(0)[0]);
}

TEST_F(AscTest, LongLinesAreReadInPieces)
{
    // 155 characters make a piece of their own; what follows on the line is read as a line.
    std::string filler(155, 'x');
    ASSERT_EQ(0, Import("Vertex list:\r\nVertex 0: X: 1 Y: 0 Z: 0" + std::string(200, ' ') +
                        "\r\nVertex 1: X: 0 Y: 1 Z: 0\r\nVertex 2: X: 0 Y: 0 Z: 1\r\n" + filler +
                        "Face 0: A:0 B:1 C:2\r\n"));
    EXPECT_EQ(3, ShapeVertexCount(ShapeMEdit()->data));
    EXPECT_EQ(1, ShapePolygonCount(ShapeMEdit()->data));
    EXPECT_EQ(1, Import("Vertex list:\nVertex 0: X: 1 Y: 0 Z: 0\nVertex 1: X: 0 Y: 1 Z: 0\nVertex 2: X: 0 Y: 0 Z: 1\n" +
                        std::string(154, 'x') + "Face 0: A:0 B:1 C:2\n"))
        << "a face line cut in two is not a face";
}

TEST_F(AscTest, RefusedListingsLeaveTheBufferUnchanged)
{
    ASSERT_EQ(0, Import3DSASCII(kTesti.c_str()));
    Bytes before = EditBytes();

    std::string tooManyVertices = "Vertex list:\n";
    for (int i = 0; i < ASC_MAX_VERTICES + 1; i++) tooManyVertices += "Vertex 0: X: 1 Y: 2 Z: 3\n";
    tooManyVertices += "Face 0: A:0 B:1 C:2\n";
    std::string tooManyFaces = "Vertex list:\nVertex 0: X: 1 Y: 0 Z: 0\nVertex 1: X: 0 Y: 1 Z: 0\nVertex 2: X: 0 Y: 0 Z: 1\n";
    for (int i = 0; i < ASC_MAX_FACES + 1; i++) tooManyFaces += "Face 0: A:0 B:1 C:2\n";
    const std::string three = "Vertex list:\nVertex 0: X: 1 Y: 0 Z: 0\nVertex 1: X: 0 Y: 1 Z: 0\nVertex 2: X: 0 Y: 0 Z: 1\n";
    const std::pair<const char*, std::string> cases[] = {
        {"vertices", tooManyVertices},
        {"faces", tooManyFaces},
        {"a face past the vertices", three + "Face 0: A:0 B:1 C:3\n"},
        {"a face of the next object's vertices", three + "Vertex list:\nFace 0: A:0 B:1 C:2\n"},
        {"a negative index", three + "Face 0: A:-1 B:1 C:2\n"},
        {"no face", three},
        {"no vertex", "Face 0: A:0 B:1 C:2\n"},
        {"a vertex without Z", "Vertex list:\nVertex 0: X: 1 Y: 0\n"},
        {"not a number", three + "Vertex 3: X: nan Y: 0 Z: 0\nFace 0: A:0 B:1 C:2\n"},
        {"too large", "Vertex list:\nVertex 0: X: 1e12 Y: 0 Z: 0\nVertex 1: X: 0 Y: 1 Z: 0\n"
                      "Vertex 2: X: 0 Y: 0 Z: 1\nFace 0: A:0 B:1 C:2\n"},
    };
    for (const auto& [what, text] : cases) {
        SCOPED_TRACE(what);
        EXPECT_EQ(1, Import(text));
        EXPECT_NE(0u, strlen(ASCIILastError()));
        EXPECT_EQ(before, EditBytes());
    }
    EXPECT_EQ(1, Import3DSASCII("missing.asc"));
    EXPECT_EQ(before, EditBytes());
}

// ============================================================================================
// Export
// ============================================================================================

TEST_F(AscTest, ExportWritesTheFirstThreePointsOfAQuad)
{
    ShapeBlock* s = ShapeMEdit();
    ShapeMakeEmpty(s->data);
    ShapeAppendVertex(s, 1, 2, 3);
    ShapeAppendVertex(s, 100, 0, -50);
    ShapeAppendVertex(s, 100, 100, 0);
    ShapeAppendVertex(s, 0, 100, 0);
    const uint16_t quad[4] = {0, 1, 2, 3};
    ShapeAppendPolygon(s, 4, quad, 0);
    ShapeMSaveUndo();
    Bytes before = EditBytes();

    ASSERT_EQ(0, Export3DSASCII("out.asc"));
    EXPECT_EQ("Named object: \"\"\r\n"
              "Tri-mesh, Vertices: 4  Faces 1\r\n"
              "Vertex list:\r\n"
              "Vertex 0:  X: 1 Y: -3  Z: 2\r\n"
              "Vertex 1:  X: 100 Y: 50  Z: 0\r\n"
              "Vertex 2:  X: 100 Y: 0  Z: 100\r\n"
              "Vertex 3:  X: 0 Y: 0  Z: 100\r\n"
              "Face list:\r\n"
              "Face 0:  A:0 B:1 C:2\r\n",
              ReadText("out.asc"));
    EXPECT_EQ(before, EditBytes());

    // What it writes imports again (as triangles, scaled to whole units: unchanged here).
    ASSERT_EQ(0, Import3DSASCII("out.asc"));
    EXPECT_EQ((std::array<int32_t, 3>{100, 0, -50}), Pos(1));
    EXPECT_EQ(1, Export3DSASCII("no/such/folder/out.asc"));
}

// ============================================================================================
// tolbex-cli shape import-asc, export-asc
// ============================================================================================

static RunResult Cli(const TempDir& dir, const std::vector<std::string>& args)
{
    std::vector<std::string> all = {"shape"};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(TOLBEX_CLI_BIN, all, dir.path());
}

TEST(AscCli, ImportThenExport)
{
    TempDir dir;
    RunResult r = Cli(dir, {"import-asc", kTesti, "testi.shp"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    Bytes shp = ReadBytes(dir.file("testi.shp"));
    ASSERT_EQ(1, ShapeCheck(shp.data(), shp.size(), nullptr, 0));
    EXPECT_EQ(13, ShapeVertexCount(shp.data()));
    EXPECT_EQ(9, ShapePolygonCount(shp.data()));

    r = Cli(dir, {"export-asc", "testi.shp", "testi.asc"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    std::string text = ReadText(dir.file("testi.asc"));
    EXPECT_NE(std::string::npos, text.find("Tri-mesh, Vertices: 13  Faces 9\r\n"));
    EXPECT_NE(std::string::npos, text.find("Vertex 0:  X: -228 Y: -271  Z: -177\r\n"));
    EXPECT_NE(std::string::npos, text.find("Face 7:  A:8 B:7 C:9\r\n"));

    WriteText(dir.file("bad.asc"), "Vertex list:\nVertex 0: X: 1 Y: 0 Z: 0\nFace 0: A:0 B:1 C:2\n");
    r = Cli(dir, {"import-asc", "bad.asc", "bad.shp"});
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("face 0 refers to vertex 1")) << r.output;
    EXPECT_FALSE(PathExists(dir.file("bad.shp")));
    WriteText(dir.file("bad2.shp"), "not a shape");
    r = Cli(dir, {"export-asc", "bad2.shp", "bad.asc2"});
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_FALSE(PathExists(dir.file("bad.asc2")));
}
