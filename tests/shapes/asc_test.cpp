// 3DS ASCII listings: import into the edit buffer (a real listing, objects with their own
// vertex bases, scaling, the tables' limits, long lines) and export.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "shapes/asc.h"
#include "shapes/shape_fixture.h"

static const std::string kTesti = std::string(TOLBEX_FIXTURES) + "/real/TESTI.ASC";

class AscTest : public EditTest {
protected:
    int Import(const std::string& text)
    {
        WriteText("in.asc", text);
        return Import3DSASCII("in.asc");
    }
};

// ---- Import

TEST_F(AscTest, RealListingImportsThreeObjects)
{
    V(1, 2, 3);
    Bytes previous = Used();
    ASSERT_EQ(0, Import3DSASCII(kTesti.c_str())) << ASCIILastError();
    ASSERT_EQ(Counts(), (std::vector<int>{13, 9}));
    EXPECT_EQ(0, ShapeShift(B()));
    // The largest coordinate is 287.551331: everything is scaled by 287 / 287.551331 and
    // truncated, so that the largest becomes 287 itself; the listing's (X, Y, Z) is the
    // shape's (x, -z, y).
    EXPECT_EQ((Vec{-228, -177, 271}), Pos(0));
    EXPECT_EQ((Vec{-253, -118, 119}), Pos(8));
    EXPECT_EQ((Vec{-155, 169, 287}), Pos(10));
    EXPECT_EQ((std::vector<int>{0, 1, 2}), Points(0));
    EXPECT_EQ((std::vector<int>{3, 4, 0}), Points(6));
    EXPECT_EQ((std::vector<int>{8, 7, 9}), Points(7)) << "the second object counts from its own first vertex";
    EXPECT_EQ((std::vector<int>{11, 10, 12}), Points(8));
    for (int p = 0; p < 9; p++) EXPECT_EQ(0, Material(p)) << "material 0";
    // Object03 lies in the plane z = 287: its face normal is +-Z.
    EXPECT_EQ((std::vector<int>{Normal(8)[0], Normal(8)[1], std::abs(Normal(8)[2])}), (std::vector<int>{0, 0, 16384}));
    ShapeMUndo();
    EXPECT_EQ(previous, Used()) << "Undo brings back the shape the import replaced";
}

TEST_F(AscTest, ObjectsUseTheirOwnVertexBases)
{
    ASSERT_EQ(0, Import("Named object: \"a\"\nVertex list:\nVertex 0:  X: 0 Y: 0  Z: 0\n"
                        "Vertex 1:  X: 10 Y: 0  Z: 0 U: 0.5 V: 0.25\nVertex 2:  X: 0 Y: -10  Z: 0\n"
                        "Face list:\nFace 0:  A:0 B:1 C:2\n"
                        "Named object: \"b\"\nVertex list:\nVertex 0:  X: 0 Y: 0  Z: 5\n"
                        "Vertex 1:  X: 10 Y: 0  Z: 5\nVertex 2:  X: 0 Y: -10  Z: 5\n"
                        "Face list:\nFace 0:  A:0 B:2 C:1\n"));
    EXPECT_EQ((std::vector<int>{3, 5, 4}), Points(1));
    EXPECT_EQ((Vec{0, 0, 10}), Pos(2));
    EXPECT_EQ((Vec{0, 5, 0}), Pos(3));
}

TEST_F(AscTest, ScalingToWholeUnits)
{
    // 0.5 is the largest: m = 0, and every coordinate becomes 0.
    ASSERT_EQ(0, Import("Vertex list:\nVertex 0: X: 0.5 Y: 0.25 Z: -0.5\nVertex 1: X: 0.1 Y: 0 Z: 0\n"
                        "Vertex 2: X: 0 Y: 0.3 Z: 0\nFace 0: A:0 B:1 C:2\n"));
    for (int i = 0; i < 3; i++) EXPECT_EQ((Vec{0, 0, 0}), Pos(i));

    // 1000.9 is the largest: everything is scaled by 1000 / 1000.9 before truncation.
    ASSERT_EQ(0, Import("Vertex list:\nVertex 0: X: 1000.9 Y: 0 Z: 0\nVertex 1: X: 600 Y: -300.5 Z: 0\n"
                        "Vertex 2: X: 0 Y: 0 Z: 100.5\nFace 0: A:0 B:1 C:2\n"));
    EXPECT_EQ((Vec{599, 0, 300}), Pos(1));
    EXPECT_EQ(100, Pos(2)[1]);
    EXPECT_TRUE(Pos(0)[0] >= 999 && Pos(0)[0] <= 1000) << Pos(0)[0];

    // Large coordinates raise the shift.
    ASSERT_EQ(0, Import("Vertex list:\nVertex 0: X: 50000 Y: 0 Z: 0\nVertex 1: X: 1 Y: 0 Z: 0\n"
                        "Vertex 2: X: 0 Y: 0 Z: 1\nFace 0: A:0 B:1 C:2\n"));
    EXPECT_EQ((std::vector<int>{ShapeShift(B()), Pos(0)[0]}), (std::vector<int>{3, 50000}));
}

TEST_F(AscTest, LongLinesAreReadInPieces)
{
    // 155 characters make a piece of their own; what follows on the line is read as a line.
    std::string filler(155, 'x');
    ASSERT_EQ(0, Import("Vertex list:\r\nVertex 0: X: 1 Y: 0 Z: 0" + std::string(200, ' ') +
                        "\r\nVertex 1: X: 0 Y: 1 Z: 0\r\nVertex 2: X: 0 Y: 0 Z: 1\r\n" + filler +
                        "Face 0: A:0 B:1 C:2\r\n"));
    EXPECT_EQ(Counts(), (std::vector<int>{3, 1}));
    EXPECT_EQ(1, Import("Vertex list:\nVertex 0: X: 1 Y: 0 Z: 0\nVertex 1: X: 0 Y: 1 Z: 0\nVertex 2: X: 0 Y: 0 Z: 1\n" +
                        std::string(154, 'x') + "Face 0: A:0 B:1 C:2\n"))
        << "a face line cut in two is not a face";
}

TEST_F(AscTest, RefusedListingsLeaveTheBufferUnchanged)
{
    ASSERT_EQ(0, Import3DSASCII(kTesti.c_str()));
    Bytes before = Used();

    // The tables' limits: 5500 vertices are read, the 5501st is refused.
    std::string allVertices = "Vertex list:\n";
    for (int i = 0; i < ASC_MAX_VERTICES; i++) allVertices += "Vertex 0: X: 1 Y: 2 Z: " + std::to_string(i) + "\n";
    allVertices += "Face 0: A:0 B:1 C:5499\n";
    ASSERT_EQ(0, Import(allVertices)) << ASCIILastError();
    EXPECT_EQ(ASC_MAX_VERTICES, ShapeVertexCount(B()));
    ASSERT_EQ(0, Import3DSASCII(kTesti.c_str()));
    std::string tooManyVertices = allVertices + "Vertex 0: X: 1 Y: 2 Z: 3\n";
    const std::string three =
        "Vertex list:\nVertex 0: X: 1 Y: 0 Z: 0\nVertex 1: X: 0 Y: 1 Z: 0\nVertex 2: X: 0 Y: 0 Z: 1\n";
    std::string tooManyFaces = three;
    for (int i = 0; i < ASC_MAX_FACES + 1; i++) tooManyFaces += "Face 0: A:0 B:1 C:2\n";
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
        EXPECT_EQ(before, Used());
    }
    EXPECT_EQ(1, Import3DSASCII("missing.asc"));
    EXPECT_EQ(before, Used());
    // A listing has no size of its own; one past the bound is refused before it is read.
    WriteText("huge.asc", "");
    std::filesystem::resize_file("huge.asc", ASC_MAX_FILE_SIZE + 1);
    EXPECT_EQ(1, Import3DSASCII("huge.asc"));
    EXPECT_STREQ("huge.asc: 33554433 bytes, larger than a 3D Studio ASCII listing can be (at most 33554432 bytes)",
                 ASCIILastError());
    EXPECT_EQ(before, Used());
}

// ---- Export

TEST_F(AscTest, ExportWritesTheFirstThreePointsOfAQuad)
{
    V(1, 2, 3), V(100, 0, -50), V(100, 100, 0), V(0, 100, 0);
    P({0, 1, 2, 3});
    ShapeMSaveUndo();
    Bytes before = Used();

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
    EXPECT_EQ(before, Used());

    // What it writes imports again (as triangles, scaled to whole units: unchanged here).
    ASSERT_EQ(0, Import3DSASCII("out.asc"));
    EXPECT_EQ((Vec{100, 0, -50}), Pos(1));
    EXPECT_EQ(1, Export3DSASCII("no/such/folder/out.asc"));
}
