// Drawing shapes through the recording driver: prepared shapes (view tests, records, materials,
// textures, back faces) and the edit buffer.
#include "render/d3test.h"
#include "scene/shapedraw.h"
#include "shapes/mesh.h"
#include "shapes/shape_build.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"

class ShapeDraw : public Draw3D {
protected:
    int dummy = 0, stone = 0, brick = 0;
    void SetUp() override
    {
        Draw3D::SetUp();
        ShapeMResourceInstall();
        ShapeMInstall();
        dummy = AddMaterial("DUMMY", 0, 0, 0, 0, 0);
        stone = AddMaterial("STONE", 100, 100, 100, 16384, 16384);
        brick = AddMaterial("BRICK", 200, 50, 50, 16384, 16384);
        IntMatSetSprite(brick, SpriteCreate8(8, 8, -1, nullptr, 0));
    }
    void TearDown() override
    {
        ShapeMRemove();
        Draw3D::TearDown();
    }
    ResId Load(const char* name, const TShape& s)
    {
        WriteBytes(name, BuildShape(s));
        ResId id = ResFindOrAdd(name);
        EXPECT_EQ(0, ResLoad(id)) << ShapeMLastError();
        EXPECT_TRUE(ShapeMIsPrepared(id));
        return id;
    }
    // A 200 x 200 square in the plane z = 0 facing -z (towards an eye in front of it): its
    // winding gives that normal too, as the editor would compute it.
    static TShape Square(uint16_t material)
    {
        TShape s;
        s.verts = {{-100, -100, 0}, {100, -100, 0}, {100, 100, 0}, {-100, 100, 0}};
        s.polys = {TPoly({0, 3, 2, 1}, 0, material, 0, 0, -16384)};
        s.names = {{"STONE", 1}, {"BRICK", 2}, {"MISSING", 3}};
        s.radius = 142;
        s.lo[0] = s.lo[1] = -100, s.lo[2] = 0;
        s.hi[0] = s.hi[1] = 100, s.hi[2] = 0;
        return s;
    }
    static int Draw(ResId id, int32_t x, int32_t y, int32_t z, uint32_t flags = D3V_HIDDEN)
    {
        const int32_t at[3] = {x, y, z};
        return ShapeDrawPrepared(id, at, kIdentity, flags);
    }
};

TEST_F(ShapeDraw, ShapesOutOfViewDrawNothing)
{
    ResId id = Load("square.shp", Square(1));
    Start();
    EXPECT_EQ(0, Draw(id, 0, 0, -5000)) << "behind the eye";
    EXPECT_EQ(0, Draw(id, 100000, 0, 1000)) << "far to the right";
    EXPECT_EQ(0, Draw(id, 0, 0, 2000000)) << "past the far limit";
    // A sphere that reaches into view, around a box that does not.
    TShape wide = Square(1);
    wide.radius = 5000;
    ResId w = Load("wide.shp", wide);
    EXPECT_EQ(0, Draw(w, 1500, 0, 1000));
    EXPECT_TRUE(gRec.polygons.empty());
    EXPECT_EQ(1, Draw(id, 0, 0, 2000));
    EXPECT_EQ(2u, gRec.polygons.size());
    Draw3DDisplay();
}

TEST_F(ShapeDraw, AQuadRecordDrawsAsItsTwoTriangles)
{
    ResId id = Load("square.shp", Square(1));
    Start();
    ASSERT_EQ(1, Draw(id, 0, 0, 2000));
    ASSERT_EQ(2u, gRec.polygons.size());
    // (P0, P1, P2) then (P3, P0, P2), camera space.
    const float expect[2][3][2] = {{{-100, -100}, {-100, 100}, {100, 100}}, {{100, -100}, {-100, -100}, {100, 100}}};
    for (int t = 0; t < 2; t++) {
        const RecPolygon& p = gRec.polygons[t];
        ASSERT_EQ(3u, p.v.size());
        EXPECT_EQ(D3T_SHADED, p.type);
        EXPECT_EQ(stone, p.material);
        for (int k = 0; k < 3; k++) {
            EXPECT_EQ(expect[t][k][0], p.v[k].x) << t << k;
            EXPECT_EQ(expect[t][k][1], p.v[k].y) << t << k;
            EXPECT_EQ(2000.0f, p.v[k].z);
        }
    }
    Draw3DDisplay();
}

TEST_F(ShapeDraw, MaterialsTexturesAndBackFaces)
{
    // Unresolved: drawn with material 0.
    ResId missing = Load("missing.shp", Square(3));
    Start();
    Draw(missing, 0, 0, 2000);
    ASSERT_EQ(2u, gRec.polygons.size());
    EXPECT_EQ(dummy, gRec.polygons[0].material);

    // Textured when the material has a texture and the record carries mapping.
    TShape mapped = Square(2);
    mapped.polys[0].mapping = {0, 0, 16384, 0, 16384, 16384, 0, 16384};
    ResId tex = Load("mapped.shp", mapped);
    gRec = Recorder();
    Draw(tex, 0, 0, 2000);
    ASSERT_EQ(2u, gRec.polygons.size());
    EXPECT_EQ(D3T_TEXTURED, gRec.polygons[0].type);
    EXPECT_EQ(IntMatSprite(brick), gRec.polygons[0].texture);
    EXPECT_EQ(1.0f, gRec.polygons[0].v[1].u);
    EXPECT_EQ(1.0f, gRec.polygons[1].v[0].v) << "P3's mapping in the second triangle";
    ResId flat = Load("flat.shp", Square(2));
    gRec = Recorder();
    Draw(flat, 0, 0, 2000);
    EXPECT_EQ(D3T_SHADED, gRec.polygons[0].type) << "no mapping, no texture";

    // Seen from behind: culled while hidden surfaces are removed.
    gRec = Recorder();
    const int32_t at[3] = {0, 0, 2000};
    const int16_t turned[9] = {-16384, 0, 0, 0, 16384, 0, 0, 0, -16384};
    EXPECT_EQ(1, ShapeDrawPrepared(flat, at, turned, D3V_HIDDEN));
    EXPECT_TRUE(gRec.polygons.empty());
    ShapeDrawPrepared(flat, at, turned, 0);
    EXPECT_EQ(2u, gRec.polygons.size());
    // A record without a normal cannot be told to face away: it is drawn.
    TShape unknown = Square(1);
    unknown.polys[0].normal[2] = 0;
    gRec = Recorder();
    ShapeDrawPrepared(Load("unknown.shp", unknown), at, turned, D3V_HIDDEN);
    EXPECT_EQ(2u, gRec.polygons.size());
    Draw3DDisplay();
}

TEST_F(ShapeDraw, ASphereFromTheEditorShowsItsNearHalf)
{
    ASSERT_EQ(0, MeshCreateSphere(1000, 1000, 1000, 0));
    const int32_t at[3] = {0, 0, 4000};
    Start();
    ASSERT_EQ(1, ShapeDrawEdit(at, kIdentity, 0));
    ASSERT_EQ((size_t)MESH_SPHERE_TRIANGLES, gRec.polygons.size());
    gRec = Recorder();
    ShapeDrawEdit(at, kIdentity, D3V_HIDDEN);
    // Outward normals: what is left faces the eye, about half of the sphere.
    EXPECT_GT(gRec.polygons.size(), MESH_SPHERE_TRIANGLES / 3u);
    EXPECT_LT(gRec.polygons.size(), MESH_SPHERE_TRIANGLES * 2 / 3u);
    for (const RecPolygon& p : gRec.polygons) {
        float z = (p.v[0].z + p.v[1].z + p.v[2].z) / 3;
        EXPECT_LT(z, 4000 + 200) << "a far face was drawn";
    }
    Draw3DDisplay();
}
