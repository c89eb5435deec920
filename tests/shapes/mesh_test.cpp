// Mesh editing operations on the edit buffer: the arithmetic they pin down (scale, turns,
// smoothing, mirroring, the sphere), what they do to the mesh, undo and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "shapes/mesh.h"
#include "shapes/shape_fixture.h"

namespace {

class Mesh : public EditTest {
protected:
    // A unit square in the XZ plane at height y, as two triangles facing +Y.
    static void SquareOfTriangles(int32_t y = 0)
    {
        V(0, y, 0), V(0, y, 100), V(100, y, 100), V(100, y, 0);
        P({0, 1, 2}), P({0, 2, 3});
    }
    // Fills the buffer up to `spare` bytes below its capacity with bytes no section uses.
    static void LeaveRoom(uint32_t spare)
    {
        ShapeInsert(S(), ShapeUsedSize(B()), S()->capacity - ShapeUsedSize(B()) - spare);
    }
    static Vec Box(int at)
    {
        return Vec{GetI32(B(), at), GetI32(B(), at + 4), GetI32(B(), at + 8)};
    }
};

// ---- Sphere80 and Cuboid

TEST_F(Mesh, SphereTablesCloseAnOutwardSurfaceOfUnitVertices)
{
    for (const int16_t* v : kMeshSphereVertices)
        EXPECT_NEAR(16384, sqrt((double)v[0] * v[0] + (double)v[1] * v[1] + (double)v[2] * v[2]), 3);
    // Every edge is used once in each direction; every triangle faces away from the centre.
    std::vector<int> edges(MESH_SPHERE_VERTICES * MESH_SPHERE_VERTICES, 0);
    for (int t = 0; t < MESH_SPHERE_TRIANGLES; t++) {
        const uint16_t* tri = kMeshSphereTriangles[t];
        int64_t p[3][3];
        for (int k = 0; k < 3; k++) {
            ASSERT_LT(tri[k], MESH_SPHERE_VERTICES);
            edges[tri[k] * MESH_SPHERE_VERTICES + tri[(k + 1) % 3]]++;
            for (int a = 0; a < 3; a++) p[k][a] = kMeshSphereVertices[tri[k]][a];
        }
        int64_t u[3], v[3];
        for (int a = 0; a < 3; a++) u[a] = p[1][a] - p[0][a], v[a] = p[2][a] - p[0][a];
        int64_t n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        EXPECT_GT(n[0] * p[0][0] + n[1] * p[0][1] + n[2] * p[0][2], 0) << "triangle " << t;
        for (int k = 0; k < 3; k++) {   // U runs past 1.0 only where a triangle crosses the seam
            EXPECT_GE(kMeshSphereMapping[t][2 * k], 0);
            EXPECT_TRUE(kMeshSphereMapping[t][2 * k + 1] >= 0 && kMeshSphereMapping[t][2 * k + 1] <= 16384);
        }
    }
    for (int e = 0; e < MESH_SPHERE_VERTICES * MESH_SPHERE_VERTICES; e++)
        EXPECT_EQ(edges[e], edges[e % MESH_SPHERE_VERTICES * MESH_SPHERE_VERTICES + e / MESH_SPHERE_VERTICES]) << e;
}

TEST_F(Mesh, CreateSphereScalesTheTableAndMapsEveryTriangle)
{
    MatMAdd(1);
    MatMSetCurrent(1);
    V(1, 2, 3);
    ASSERT_EQ(0, MeshCreateSphere(6000, 9000, 12000, 0));   // no coordinate passes 12288
    ASSERT_EQ(Counts(), (std::vector<int>{42, 80}));
    EXPECT_EQ((Vec{0, 9000, 0}), Pos(0));
    EXPECT_EQ((Vec{-3155, 4024, -8683}), Pos(1)) << "(-8613, 7327, -11855) x size >> 14, rounded down";
    EXPECT_EQ((std::vector<int>{0, 13, 12}), Points(0));
    EXPECT_EQ((std::vector<int16_t>{8192, 0, 3278, 2885, 0, 2885}), Mapping(0));
    for (int i = 0; i < 80; i++) EXPECT_EQ(1, Material(i) & MAT_ID_MASK) << "the current material";
    EXPECT_NE(nullptr, ShapePolyNormals(ShapePolygon(B(), 79))) << "prepared for writing";

    ShapeMUndo();
    EXPECT_EQ(1, ShapeVertexCount(B())) << "Undo gives back the shape from before, whole";
    EXPECT_EQ(1, MeshCreateSphere(0, 10, 10, 0));
    EXPECT_EQ(1, ShapeVertexCount(B()));
}

TEST_F(Mesh, RandomSphereDrawsThreeValuesAVertexFromTheFirstStream)
{
    RandSeed(0, 1);
    RandSeed(1, 1);
    ASSERT_EQ(0, MeshCreateSphere(8192, 8192, 8192, 1));
    // The first stream's draws of 0..4096 from seed 1 are 1050, 943, 2766, 194, 2936, 3501.
    EXPECT_EQ((Vec{-525, 7720, -1383}), Pos(0));
    EXPECT_EQ((Vec{-4404, 2195, -7678}), Pos(1));
    EXPECT_EQ(16807u, RandNext(1)) << "the second stream was not drawn from";
}

TEST_F(Mesh, CuboidIsAnOutwardBoxOfTheThreeSizes)
{
    ASSERT_EQ(0, MeshCreateCuboid(100, 41, 60));
    ASSERT_EQ(Counts(), (std::vector<int>{8, 6}));
    EXPECT_EQ((Vec{-50, -20, -30}), Box(SH_MIN));
    EXPECT_EQ((Vec{50, 21, 30}), Box(SH_MAX));
    for (int i = 0; i < 6; i++) {
        std::vector<int16_t> n = Normal(i);
        Vec c{0, 0, 0};
        for (int v : Points(i))
            for (int a = 0; a < 3; a++) c[a] += Pos(v)[a];
        EXPECT_EQ(16384, std::abs(n[0]) + std::abs(n[1]) + std::abs(n[2])) << "face " << i;
        EXPECT_GT(n[0] * c[0] + n[1] * c[1] + n[2] * c[2], 0) << "face " << i;
    }
}

// ---- Whole shape: scale, mirror, centre, smoothing

TEST_F(Mesh, ScaleUsesTheFactor655PerPercentAndIgnoresOutOfRange)
{
    V(4096, -3000, 7);
    Bytes before = Used();
    for (int p : {100, 1, 0, -5, 1000, 5000}) MeshScale(MESH_ALL_AXES, p);
    EXPECT_EQ(before, Used());

    MeshScale(MESH_ALL_AXES, 200);   // x 32750 / 16384, not 2
    EXPECT_EQ((Vec{8187, -5997, 13}), Pos(0));
    MeshScale(MESH_X, 50);
    EXPECT_EQ((Vec{4091, -5997, 13}), Pos(0));
    MeshScale(MESH_Z, 2);            // the smallest percentage used: 1310 / 4
    EXPECT_EQ((Vec{4091, -5997, 0}), Pos(0));
    ShapeMUndo();
    EXPECT_EQ((Vec{4091, -5997, 13}), Pos(0));
}

TEST_F(Mesh, MirroringTwiceRestoresEveryCoordinateButMinus32768)
{
    V(10, 20, 30), V(-40, 50, 60), V(70, -80, 90);
    PutI16(ShapeVertex(B(), 2), 0, -32768);
    P({0, 1, 2});
    Map(0, {1, 2, 3, 4, 5, 6});
    MeshSmoothAll(S());
    std::vector<int16_t> n = PointNormal(0, 0);
    ASSERT_NE(0, n[0]);
    MeshMirror(MESH_X);
    EXPECT_EQ((std::vector<int>{2, 1, 0}), Points(0));
    EXPECT_EQ((std::vector<int16_t>{5, 6, 3, 4, 1, 2}), Mapping(0));
    for (int k = 0; k < 3; k++) EXPECT_EQ((std::vector<int16_t>{(int16_t)-n[0], n[1], n[2]}), PointNormal(0, k));
    EXPECT_EQ(-10, Pos(0)[0]);
    EXPECT_EQ(40, GetI32(B(), SH_MAX)) << "the box follows";
    MeshMirror(MESH_X);
    EXPECT_EQ((std::vector<int>{0, 1, 2}), Points(0));
    EXPECT_EQ(-32768, GetI16(ShapeVertex(B(), 2), 0));
    EXPECT_EQ((Vec{10, 20, 30}), Pos(0));
    EXPECT_EQ((Vec{-40, 50, 60}), Pos(1));
}

TEST_F(Mesh, CentreMovesTheBoxCentreToTheOrigin)
{
    V(100, -10, 7), V(300, 30, 8);
    MeshCentre();
    EXPECT_EQ((Vec{-100, -20, 0}), Pos(0));
    EXPECT_EQ((Vec{100, 20, 1}), Pos(1));
    EXPECT_EQ(-100, GetI32(B(), SH_MIN));
}

TEST_F(Mesh, SmoothingJoinsShallowEdgesAndKeepsRightAnglesSharp)
{
    // A flat square (0, 1, 2, 3) in XZ; a second square hinged on edge 2-3, tilted 45 degrees;
    // a wall on edge 0-1 standing at 90 degrees.
    V(0, 0, 0), V(0, 0, 100), V(100, 0, 100), V(100, 0, 0);   // 0-3
    V(200, 100, 100), V(200, 100, 0);                          // 4, 5: the tilted square
    V(0, 100, 0), V(0, 100, 100);                              // 6, 7: the wall
    P({0, 1, 2, 3}), P({3, 2, 4, 5}), P({0, 6, 7, 1});
    ASSERT_EQ(0, MeshSmoothAll(S()));
    const std::vector<int16_t> flat{0, 16384, 0}, tilt{-11585, 11585, 0}, joined{-6269, 15136, 0};
    EXPECT_EQ(tilt, Normal(1));
    EXPECT_EQ(joined, PointNormal(0, 2)) << "on the 45-degree hinge: the unit sum of both";
    EXPECT_EQ(joined, PointNormal(1, 0));
    EXPECT_EQ(flat, PointNormal(0, 0)) << "on the right angle each face keeps its own";
    EXPECT_EQ(Normal(2), PointNormal(2, 0));
    EXPECT_EQ(tilt, PointNormal(1, 2));

    // The maximum angle, stored as d x 32768 / 180 and read back, and a new smoothing at once.
    auto angle = [] { return std::vector<int>{GetI16(B(), SH_MAXANGLE), MeshMaxAngle()}; };
    MeshSetMaxAngle(90);
    EXPECT_EQ(angle(), (std::vector<int>{16384, 90}));
    MeshSetMaxAngle(30);
    EXPECT_EQ(angle(), (std::vector<int>{5461, 30})) << "read back rounded, not truncated to 29";
    EXPECT_EQ(flat, PointNormal(0, 2)) << "45 degrees is now too far";
    // 180 would wrap to -32768 in the signed field; past 180 is refused.
    MeshSetMaxAngle(180);
    EXPECT_EQ(angle(), (std::vector<int>{32767, 180}));
    MeshSetMaxAngle(181);
    MeshSetMaxAngle(-1);
    EXPECT_EQ(32767, GetI16(B(), SH_MAXANGLE));
}

TEST_F(Mesh, SmoothingStopsAtSixtyFourCornersAndDropsTheFarSideOfOpposites)
{
    // Vertex 0's corners in walk order: 63 facing +Y, then two tilted 45 degrees each way.
    V(0, 0, 0), V(0, 0, 100), V(100, 0, 0), V(0, 100, 100), V(100, 100, 0);
    for (int i = 0; i < 63; i++) P({0, 1, 2});
    P({0, 3, 4}), P({0, 3, 4});   // face normal (-9459, 9459, -9459)
    ASSERT_EQ(0, MeshSmoothAll(S()));
    EXPECT_EQ((std::vector<int16_t>{-148, 16382, -148}), PointNormal(0, 0)) << "63 up and one tilted";
    EXPECT_EQ(PointNormal(0, 0), PointNormal(64, 0)) << "the same 64 for the 65th corner itself";

    // A sheet seen from both sides, smoothing over every angle: each side keeps its own.
    ShapeMakeEmpty(B());
    SquareOfTriangles();
    P({0, 2, 1});
    PutI16(B(), SH_MAXANGLE, (int16_t)32767);
    ASSERT_EQ(0, MeshSmoothAll(S()));
    EXPECT_EQ(Normal(0), PointNormal(0, 0));
    EXPECT_EQ(Normal(2), PointNormal(2, 0));
    EXPECT_EQ(-Normal(0)[1], Normal(2)[1]);

    // Folded back to 174 degrees (dot -16302, inside the opposite limit -16320) with smoothing
    // up to cos -16297: past -16256 every neighbour qualifies, so the fold still joins.
    ShapeMakeEmpty(B());
    V(0, 0, 0), V(0, 0, 100), V(100, 0, 0), V(100, 10, 0);
    P({0, 1, 2}), P({0, 3, 1});   // (0, 16384, 0) and (1630, -16302, 0)
    PutI16(B(), SH_MAXANGLE, 31700);
    ASSERT_EQ(0, MeshSmoothAll(S()));
    EXPECT_EQ((std::vector<int16_t>{16363, 823, 0}), PointNormal(0, 0));
}

// ---- Mesh Transform

TEST_F(Mesh, PitchOfNinetyDegreesUsesAngle16380AndZeroOr360IsIgnored)
{
    V(0, 0, 10000), V(0, 0, -10000);
    MeshSelectAllVertices(1);
    Bytes before = Used();
    MeshPitch(0), MeshPitch(360), MeshRoll(-90), MeshYaw(400);
    EXPECT_EQ(before, Used());
    MeshPitch(90);   // sin 16380 = 16383, cos 16380 = 0
    EXPECT_EQ((Vec{0, 9999, 0}), Pos(0));
    EXPECT_EQ((Vec{0, -10000, 0}), Pos(1));
}

TEST_F(Mesh, TransformCutsTheSelectionLooseAndUndoesAsOneStep)
{
    // Two squares sharing the edge 2-3; the first selected. Vertex 6 is an unselected twin of 3.
    V(0, 0, 0), V(100, 0, 0), V(100, 0, 100), V(0, 0, 100), V(100, 0, 200), V(0, 0, 200), V(0, 0, 100);
    P({0, 3, 2, 1}), P({3, 5, 4, 2});
    MeshSelectPolygon(0, 1);
    std::vector<Vec> second;
    for (int v : Points(1)) second.push_back(Pos(v));
    Bytes before = Used();

    MeshTransform(150, 30, 0, 45, 0);
    EXPECT_EQ(8, ShapeVertexCount(B()));   // one new vertex for 2; 3's twin was there
    EXPECT_EQ((std::vector<int>{6, 5, 4, 7}), Points(1));
    for (int k = 0; k < 4; k++) EXPECT_EQ(second[k], Pos(Points(1)[k]));
    EXPECT_NE((Vec{0, 0, 0}), Pos(0));
    for (int v : {0, 1, 2, 3}) EXPECT_TRUE(ShapeVertexFlags(B(), v) & VF_SELECTED);

    ShapeMUndo();
    EXPECT_EQ(before, Used());
}

TEST_F(Mesh, RescaleIsAboutTheSelectionCentreAndReflectAboutTheOrigin)
{
    V(100, 0, 0), V(300, 0, 0), V(300, 100, 0);
    P({0, 1, 2});
    Map(0, {1, 2, 3, 4, 5, 6});
    MeshSmoothAll(S());   // each point's normal +Z
    MeshSelectAllPolygons(1);
    int32_t centre[3];
    EXPECT_EQ(0, MeshSelectionCentre(centre));   // no vertex selected yet
    MeshRescaleSelection(200);   // about (200, 50, 0): -100 x 32750 >> 14 = -200
    EXPECT_EQ(1, MeshSelectionCentre(centre));
    EXPECT_EQ((Vec{0, -50, 0}), Pos(0));
    EXPECT_EQ((Vec{399, -50, 0}), Pos(1)) << "100 x 32750 >> 14 = 199";

    MeshReflect(MESH_X);
    EXPECT_EQ((Vec{-399, -50, 0}), Pos(1));
    EXPECT_EQ((std::vector<int>{2, 1, 0}), Points(0));
    EXPECT_EQ((std::vector<int16_t>{5, 6, 3, 4, 1, 2}), Mapping(0));
    MeshReflect(MESH_Z);
    EXPECT_EQ((std::vector<int>{0, 1, 2}), Points(0));
    for (int k = 0; k < 3; k++) EXPECT_EQ((std::vector<int16_t>{0, 0, -16384}), PointNormal(0, k)) << k;
}

// ---- Polygons

TEST_F(Mesh, DeleteRefusesVerticesInUseOrNamed)
{
    V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(5, 5, 5), V(6, 6, 6), V(7, 7, 7);
    P({0, 4, 2});
    MeshSetPointName(3, Name4FromText("ab1z"));
    EXPECT_EQ(Name4FromText("AB1Z"), MeshPointName(3));
    MeshDeleteVertex(4);   // in use
    MeshDeleteVertex(3);   // named
    MeshDeleteVertex(9);   // none such
    EXPECT_EQ(6, ShapeVertexCount(B()));
    MeshDeleteVertex(1);
    EXPECT_EQ(5, ShapeVertexCount(B()));
    EXPECT_EQ((std::vector<int>{0, 3, 1}), Points(0));

    // "Del": the selected polygon, then the selected vertices it freed, as one undo step.
    MeshSelectAllVertices(1);
    MeshSelectAllPolygons(1);
    Bytes before = Used();
    MeshDeleteSelection();
    EXPECT_EQ(0, ShapePolygonCount(B()));
    EXPECT_EQ(0u, GetU32(B(), SH_POLYGONS));
    EXPECT_EQ(1, ShapeVertexCount(B()));   // the named one
    ShapeMUndo();
    EXPECT_EQ(before, Used());
}

TEST_F(Mesh, DoublingSelectedPolygonsMakesOneReversedCopyEach)
{
    SquareOfTriangles();
    V(50, 0, 300);
    P({0, 1, 4}), P({1, 2, 4}), P({2, 3, 4});
    MeshSmoothAll(S());
    for (int i : {0, 2, 4}) MeshSelectPolygon(i, 1);
    MeshDouble(MESH_SELECTED);
    ASSERT_EQ(8, ShapePolygonCount(B()));
    const std::vector<std::vector<int>> expect = {{0, 1, 2}, {2, 1, 0}, {0, 2, 3}, {0, 1, 4},
                                                  {4, 1, 0}, {1, 2, 4}, {2, 3, 4}, {4, 3, 2}};
    for (int i = 0; i < 8; i++) EXPECT_EQ(expect[i], Points(i)) << i;
    EXPECT_EQ(nullptr, ShapePolyNormals(ShapePolygon(B(), 1)));
    EXPECT_NE(nullptr, ShapePolyNormals(ShapePolygon(B(), 0)));
    EXPECT_EQ(-Normal(0)[1], Normal(1)[1]);
}

TEST_F(Mesh, PolygonSwitchesMaterialInvertAndRemovePoint)
{
    V(0, 0, 0), V(0, 0, 100), V(100, 0, 100), V(100, 0, 0);
    P({0, 1, 2, 3});
    Map(0, {1, 2, 3, 4, 5, 6, 7, 8});
    MeshSetMaterial(0, 7);
    MeshToggleHidden(0), MeshToggleMarked(0), MeshToggleMarked(0), MeshToggleHidden(5);
    EXPECT_EQ(7, Material(0));
    EXPECT_EQ(PF_HIDDEN, Flags(0) & (PF_HIDDEN | PF_MARKED));

    std::vector<int16_t> n = Normal(0);
    MeshInvert(0);
    EXPECT_EQ((std::vector<int>{3, 2, 1, 0}), Points(0));
    EXPECT_EQ((std::vector<int16_t>{7, 8, 5, 6, 3, 4, 1, 2}), Mapping(0));
    EXPECT_EQ(-n[1], Normal(0)[1]);

    MeshRemovePoint(0, 2);
    EXPECT_EQ((std::vector<int>{3, 1, 0}), Points(0));
    EXPECT_EQ((std::vector<int16_t>{7, 8, 3, 4, 1, 2}), Mapping(0));
    MeshRemovePoint(0, 1);
    EXPECT_EQ(0, ShapePolygonCount(B()));   // two points are no polygon
}

TEST_F(Mesh, SetMappingMakesTheBlockBehindThePointNormalsAndRemovesIt)
{
    SquareOfTriangles();
    ASSERT_EQ(0, MeshSmoothAll(S()));
    Bytes before = Used();
    std::vector<int16_t> normals = PointNormal(0, 2);
    int16_t out[6] = {9};
    EXPECT_EQ(0, MeshGetMapping(0, out));

    const int16_t uv[6] = {1, -2, 3, 4, 16384, -16384};
    ASSERT_EQ(0, MeshSetMapping(0, uv));
    ASSERT_EQ(1, MeshGetMapping(0, out));
    EXPECT_EQ(Mapping(0), std::vector<int16_t>(out, out + 6));
    EXPECT_EQ((std::vector<int16_t>{1, -2, 3, 4, 16384, -16384}), Mapping(0));
    EXPECT_EQ(normals, PointNormal(0, 2)) << "the per-point block stays in front";
    EXPECT_EQ((std::vector<int>{0, 2, 3}), Points(1)) << "the next polygon moved up intact";
    const int16_t again[6] = {7, 7, 7, 7, 7, 7};
    ASSERT_EQ(0, MeshSetMapping(0, again));
    ASSERT_EQ(0, MeshSetMapping(0, nullptr));
    EXPECT_EQ(before, Used()) << "removing gives back the very bytes";
    ShapeMUndo();
    EXPECT_EQ((std::vector<int16_t>{7, 7, 7, 7, 7, 7}), Mapping(0)) << "each set is an undo step";

    // No room for a new block, or no such polygon: refused, nothing changes.
    LeaveRoom(11);
    before = Used();
    EXPECT_EQ(1, MeshSetMapping(1, uv));
    EXPECT_EQ(1, MeshSetMapping(2, uv));
    EXPECT_EQ(before, Used());
}

TEST_F(Mesh, CombineBuildsTheQuadInPointOrderWithMapping)
{
    SquareOfTriangles();   // (0, 1, 2) and (0, 2, 3) share 2-0
    Map(0, {0, 0, 0, 16384, 16384, 16384});
    Map(1, {0, 0, 16384, 16384, 16384, 0});
    EXPECT_EQ(1, MeshCombine(0, 0));
    EXPECT_EQ(1, MeshCombine(0, 7));
    MeshSetMaterial(1, 2);
    EXPECT_EQ(1, MeshCombine(0, 1));   // different materials
    MeshSetMaterial(1, 0x8005);        // unresolved counts as material 0
    PutI16(ShapePolyMapping(ShapePolygon(B(), 1)), 0, 1);
    EXPECT_EQ(1, MeshCombine(0, 1));   // mapping differs on the shared edge
    PutI16(ShapePolyMapping(ShapePolygon(B(), 1)), 0, 0);

    // The second's far corner raised 3 in 100: normals 2.4 degrees apart still combine.
    ShapeWriteCoord(B(), 3, MESH_Y, 3);
    ShapeAllFaceNormals(S());
    ASSERT_EQ(0, MeshCombine(0, 1));
    ASSERT_EQ(1, ShapePolygonCount(B()));
    EXPECT_EQ((std::vector<int>{1, 2, 3, 0}), Points(0));
    EXPECT_EQ((std::vector<int16_t>{0, 16384, 16384, 16384, 16384, 0, 0, 0}), Mapping(0));
    ShapeMUndo();

    // Raised 5 in 100 (3.2 degrees) they do not; nor do triangles sharing a vertex only.
    ShapeWriteCoord(B(), 3, MESH_Y, 5);
    ShapeAllFaceNormals(S());
    EXPECT_EQ(1, MeshCombine(0, 1));
    V(0, 0, -100);
    P({0, 3, 4});
    EXPECT_EQ(1, MeshCombine(0, 2));
}

TEST_F(Mesh, FlattenAndPlaneProjectOntoThePolygonsPlane)
{
    V(0, 0, 0), V(0, 0, 100), V(100, 0, 100), V(100, 50, 0), V(30, 40, 70);
    P({0, 1, 2, 3});
    EXPECT_TRUE(Flags(0) & PF_NOTPLANAR);
    MeshFlatten(0, MESH_SELECTED);   // the fourth point
    EXPECT_EQ((Vec{100, 0, 0}), Pos(3));
    EXPECT_FALSE(Flags(0) & PF_NOTPLANAR);

    MeshSelectVertex(4, 1);
    MeshSelectPolygon(0, 1);
    MeshPlane(MESH_SELECTED, MESH_SELECTED);
    EXPECT_EQ((Vec{30, 0, 70}), Pos(4));

    // PlaneXZ: the selected vertices take the picked vertex's height, through the write-back
    // rule (a height past 12288 raises the shift), as one undo step.
    MeshSelectVertex(1, 1);
    MeshSetPosition(2, 100, 20000, 100);
    Bytes before = Used();
    MeshPlaneXZ(2);
    EXPECT_EQ((Vec{0, 20000, 100}), Pos(1));
    EXPECT_EQ((Vec{30, 20000, 70}), Pos(4));
    EXPECT_EQ((Vec{100, 0, 0}), Pos(3)) << "unselected vertices stay";
    EXPECT_EQ(1, ShapeShift(B()));
    ShapeMUndo();
    EXPECT_EQ(before, Used());
    MeshPlaneXZ(5);   // no such vertex
    EXPECT_EQ(before, Used());
}

// ---- Vertices

TEST_F(Mesh, MergeAndInterpolateNeedExactlyTwoSelected)
{
    V(0, 0, 0), V(10, 0, 0), V(0, 10, 0), V(-11, 1, -1);
    P({0, 1, 2}), P({3, 2, 0});
    for (int v : {1, 2, 3}) MeshSelectVertex(v, 1);
    Bytes before = Used();
    MeshMerge();
    EXPECT_EQ(-1, MeshInterpolate(MESH_SELECTED, MESH_SELECTED));
    EXPECT_EQ(before, Used());

    MeshSelectVertex(2, 0);
    EXPECT_EQ(4, MeshInterpolate(MESH_SELECTED, MESH_SELECTED));
    EXPECT_EQ((Vec{0, 0, 0}), Pos(4)) << "-1 / 2, 1 / 2 and -1 / 2 truncate toward zero";
    EXPECT_EQ(5, MeshInterpolate(4, 2));
    EXPECT_EQ((Vec{0, 5, 0}), Pos(5));
    MeshMerge();   // 1 takes 3's place; 3 goes
    EXPECT_EQ(5, ShapeVertexCount(B()));
    EXPECT_EQ((Vec{-11, 1, -1}), Pos(1));
    EXPECT_EQ((std::vector<int>{1, 2, 0}), Points(1));
    EXPECT_EQ((Vec{0, 5, 0}), Pos(4)) << "the vertices after the deleted one move down";
}

TEST_F(Mesh, CentreOnAVertexMoveAndSetPositionWriteBack)
{
    V(100, 200, 300), V(-5, 7, 9), V(0, 10, 0);
    P({1, 0, 2});
    MeshCentreYOn(0);
    EXPECT_EQ((Vec{-5, -193, 9}), Pos(1));
    MeshCentreOn(MESH_SELECTED);   // none selected: nothing
    MeshSelectVertex(1, 1);
    MeshCentreOn(MESH_SELECTED);
    EXPECT_EQ((Vec{105, 193, 291}), Pos(0));
    EXPECT_EQ((Vec{0, 0, 0}), Pos(1));
    MeshSetXZero(0);
    EXPECT_EQ((Vec{0, 193, 291}), Pos(0));
    MeshSetPosition(1, 50000, 0, 0);
    EXPECT_EQ(50000, Pos(1)[0]);
    EXPECT_EQ(50000, GetI32(B(), SH_MAX)) << "derived values at once";

    // A single move turns the face over at once.
    ShapeMakeEmpty(B());
    V(0, 0, 0), V(10, 0, 0), V(0, 10, 0);
    P({0, 1, 2});
    MeshMove(2, MESH_Y, -20);
    EXPECT_EQ((Vec{0, -10, 0}), Pos(2));
    EXPECT_EQ(-16384, Normal(0)[2]);

    // A difference past the 16-bit stored range raises the shift instead of wrapping.
    PutI16(ShapeVertex(B(), 0), 0, 30000);
    PutI16(ShapeVertex(B(), 1), 0, -30000);
    MeshCentreOn(1);
    EXPECT_EQ(60000, Pos(0)[0]);
    EXPECT_EQ(0, Pos(1)[0]);
}

// ---- Picking and refusals

TEST_F(Mesh, PickingTakesTheNearestDepthWithinSixPixelsAndSelectsRectangles)
{
    for (int i = 0; i < 5; i++) V(i, 0, 0);
    MeshScreenVertex at[5] = {
        {100, 100, 50, 1}, {106, 94, 20, 1}, {107, 100, 1, 1}, {100, 100, 5, 0}, {140, 130, 9, 1}};
    EXPECT_EQ(1, MeshPick(at, 5, 100, 100, 0, nullptr));
    EXPECT_EQ(-1, MeshPick(at, 5, 0, 0, 0, nullptr));

    const int32_t rect[4] = {140, 130, 100, 94};   // corners in any order, edges included
    MeshPick(at, 5, 0, 0, MESH_RECT_SELECT, rect);
    std::vector<int> selected;
    for (int i = 0; i < 5; i++) selected.push_back(ShapeVertexFlags(B(), i) & VF_SELECTED ? 1 : 0);
    EXPECT_EQ((std::vector<int>{1, 1, 1, 0, 1}), selected);
    MeshPick(at, 5, 0, 0, MESH_RECT_DESELECT, rect);
    EXPECT_EQ(0, MeshSelectedVertexCount());
}

TEST_F(Mesh, EditsThatWouldPassTheBufferAreRefused)
{
    SquareOfTriangles();
    V(50, 0, 300);
    P({1, 2, 4});
    MeshSelectPolygon(0, 1);
    LeaveRoom(11);
    Bytes before = Used();
    MeshDouble(0);                 // 18 bytes
    MeshPitch(90);                 // cutting loose needs three new vertices
    EXPECT_EQ(1, MeshSmoothAll(S()));
    EXPECT_EQ(1, MeshCutLoose());
    EXPECT_EQ(-1, MeshInterpolate(0, 1));
    EXPECT_EQ(before, Used());
}

}   // namespace
