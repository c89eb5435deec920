// The Draw3D pipeline through a recording driver: near-plane clipping, classification into
// polygon types, lighting, fog, sorting, the pools and the frame checks.
#include <cmath>

#include "render/d3test.h"

// Levels and colours leave the pipeline shifted left by 16.
static int32_t Word(int32_t v) { return v << 16; }

// ============================================================================================
// Clipping
// ============================================================================================

TEST_F(Draw3D, TriangleBehindTheNearPlaneGivesNothingAndReturnsItsNodes)
{
    int mat = AddMaterial("GREY", 128, 128, 128, 16384, 16384);
    Start();
    Points({0, 100, 100, 100, -100, 150, -100, -100, 200});
    D3Triangle t = Tri(0, 1, 2, mat);
    EXPECT_EQ(0, Draw3DTriangle(&t));
    EXPECT_EQ(Draw3DNodeCapacity(), Draw3DFreeNodes());
    Draw3DDisplay();
    EXPECT_TRUE(gRec.polygons.empty());
    EXPECT_EQ(Draw3DNodeCapacity(), Draw3DFreeNodes());
}

TEST_F(Draw3D, CrossingTheNearPlaneAddsVerticesOnItWithInterpolatedAttributes)
{
    // Self-illuminated, so each vertex's colour is the material's times its level.
    int mat = AddMaterial("LAMP", 128, 128, 128, 0, 0, 0, 8192);
    Start();
    const int32_t origin[3] = {0, 0, 0};
    const int16_t along[3] = {0, 0, 16384};
    Draw3DSetFog(origin, along, 0, 16384, 2000);
    // A and B in front, C behind the eye.
    const float zA = 1000, zB = 977.3f, zC = -311.1f;
    Points({0, 100, zA, 200, -100, zB, 0, 0, zC});
    D3Triangle t = Tri(0, 1, 2, mat, D3TR_LEVEL_COLOUR);
    t.level[0] = 16384;
    t.level[1] = 16384;
    t.level[2] = 0;
    t.u[0] = 0, t.u[1] = 1, t.u[2] = 0.5f;
    t.v[0] = 0, t.v[1] = 0, t.v[2] = 1;
    ASSERT_EQ(1, Draw3DTriangle(&t));
    ASSERT_EQ(1u, gRec.polygons.size());
    const RecPolygon& p = gRec.polygons[0];
    ASSERT_EQ(4u, p.v.size());
    // In ring order: A, B, the crossing on B-C, the crossing on C-A.
    float tBC = (zB - 257.0f) / (zB - zC);
    const RecVertex& a = p.v[0];
    const RecVertex& bc = p.v[2];
    const RecVertex& ca = p.v[3];
    EXPECT_EQ(0.0f, a.u);
    EXPECT_EQ(257.0f, bc.z);
    EXPECT_EQ(257.0f, ca.z);
    EXPECT_NEAR(200 * (1 - tBC), bc.x, 0.01);
    EXPECT_NEAR(1 + (0.5f - 1) * tBC, bc.u, 1e-5);
    EXPECT_NEAR(tBC, bc.v, 1e-5);
    int32_t full = Word(8192);   // 128 x 2 x 8192 >> 8
    EXPECT_EQ(full, a.r);
    EXPECT_NEAR(full * (1 - tBC), (double)bc.r, 65536.0 * 2);
    // Fog: about half way at A and B, the near value 0 behind the origin.
    int32_t fogA = Word(FixMul(FixDiv(1000, 2000), 16384)), fogB = Word(FixMul(FixDiv(977, 2000), 16384));
    EXPECT_EQ(fogA, a.level);
    EXPECT_NEAR(fogB * (1 - tBC), (double)bc.level, 65536.0 * 2);
    float tCA = (zC - 257.0f) / (zC - zA);
    EXPECT_NEAR(0.5f * (1 - tCA), ca.u, 1e-5);
    EXPECT_NEAR(fogA * tCA, (double)ca.level, 65536.0 * 2);
    for (const RecVertex& v : p.v) {
        EXPECT_GE(v.sx, 0);
        EXPECT_LE(v.sx, 639);
        EXPECT_NEAR(1.0f / v.z, v.w, 1e-9);
    }
    EXPECT_EQ(Draw3DNodeCapacity(), Draw3DFreeNodes());
    Draw3DDisplay();
}

TEST_F(Draw3D, SidePlanesAndTheUserPlaneClip)
{
    int mat = AddMaterial("GREY", 128, 128, 128, 16384, 16384);
    Start();
    // A triangle reaching far past the right edge gets cut at the screen's last column.
    Points({0, 0, 1000, 5000, 0, 1000, 0, 300, 1000});
    D3Triangle t = Tri(0, 1, 2, mat);
    ASSERT_EQ(1, Draw3DTriangle(&t));
    ASSERT_EQ(4u, gRec.polygons[0].v.size());
    float most = 0;
    for (const RecVertex& v : gRec.polygons[0].v) most = std::max(most, v.sx);
    EXPECT_NEAR(639.0f, most, 1.0f);

    // The user plane through x = 0 keeping +x takes the left half of a centred triangle.
    gRec = Recorder();
    const int32_t at[3] = {0, 0, 0};
    Draw3DSetUserPlane(at, 0, 0x4000, 0);
    Points({-100, -100, 1000, 100, -100, 1000, 0, 100, 1000});
    EXPECT_EQ(OUT_USER, Draw3DPointOutcode(0) & OUT_CLIP_MASK);
    t = Tri(0, 1, 2, mat);
    ASSERT_EQ(1, Draw3DTriangle(&t));
    for (const RecVertex& v : gRec.polygons[0].v) EXPECT_GE(v.x, -0.01f);
    EXPECT_EQ(4u, gRec.polygons[0].v.size());
    Draw3DDisplay();
    EXPECT_EQ(Draw3DNodeCapacity(), Draw3DFreeNodes());
}

// ============================================================================================
// Classification
// ============================================================================================

TEST_F(Draw3D, PolygonTypesFollowMaterialTextureAndSwitches)
{
    ResId opaque = SpriteCreate8(8, 8, -1, nullptr, 0);
    ResId keyed = SpriteCreate8(8, 8, 0, nullptr, 0);
    int plain = AddMaterial("PLAIN", 128, 128, 128, 16384, 16384);
    int glass = AddMaterial("GLASS", 128, 128, 128, 16384, 16384, 0, 0, 8000);
    int brick = AddMaterial("BRICK", 128, 128, 128, 16384, 16384);
    int fence = AddMaterial("FENCE", 128, 128, 128, 16384, 16384);
    IntMatSetSprite(brick, opaque);
    IntMatSetSprite(fence, keyed);
    Start();
    Points({-100, -100, 1000, 100, -100, 1000, 0, 100, 1000});
    struct Case {
        int material;
        uint32_t flags;
        int type;
        uint32_t polygonFlags;
    } cases[] = {
        {plain, D3TR_TEXTURED, D3T_SHADED, 0x2},        // textured, but the material has no texture
        {glass, D3TR_TEXTURED, D3T_BLENDED, 0x6},       // the same, translucent
        {brick, 0, D3T_SHADED, 0x2},                    // a texture the triangle does not ask for
        {brick, D3TR_TEXTURED, D3T_TEXTURED, 0x3},
        {fence, D3TR_TEXTURED, D3T_TRANSPARENT, 0x7},   // transparent texels
        {plain, D3TR_LEVEL_BLEND, D3T_BLENDED, 0x6},
        {brick, D3TR_TEXTURED | D3TR_LEVEL_BLEND, D3T_BLENDTEXTURE, 0x7},
    };
    for (const Case& c : cases) {
        gRec = Recorder();
        D3Triangle t = Tri(0, 1, 2, c.material, c.flags);
        t.level[0] = t.level[1] = t.level[2] = 4096;
        ASSERT_EQ(1, Draw3DTriangle(&t));
        ASSERT_EQ(1u, gRec.polygons.size());
        EXPECT_EQ(c.type, gRec.polygons[0].type) << c.material << " " << c.flags;
        EXPECT_EQ(c.polygonFlags, gRec.polygons[0].flags) << c.material << " " << c.flags;
        EXPECT_EQ((c.polygonFlags & D3P_TEXTURED) ? IntMatSprite(c.material) : 0, gRec.polygons[0].texture);
    }

    // Blend levels all zero are no blend at all.
    gRec = Recorder();
    D3Triangle t = Tri(0, 1, 2, plain, D3TR_LEVEL_BLEND);
    Draw3DTriangle(&t);
    EXPECT_EQ(D3T_SHADED, gRec.polygons[0].type);

    // Ignoring textures, and the translucency switch.
    Draw3DSetRenderFlags(RENDER_NO_TEXTURES);
    gRec = Recorder();
    t = Tri(0, 1, 2, brick, D3TR_TEXTURED);
    Draw3DTriangle(&t);
    EXPECT_EQ(D3T_SHADED, gRec.polygons[0].type);
    Draw3DSetRenderFlags(0);
    Draw3DSetTranslucent(1);
    gRec = Recorder();
    Draw3DTriangle(&t);
    EXPECT_EQ(D3T_BLENDTEXTURE, gRec.polygons[0].type);
    EXPECT_EQ(Word(4096), gRec.polygons[0].v[0].level);
    Draw3DSetTranslucent(0);

    // Wireframe makes every triangle a line polygon, whatever its material.
    Draw3DSetRenderFlags(RENDER_WIREFRAME);
    for (const Case& c : cases) {
        gRec = Recorder();
        D3Triangle w = Tri(0, 1, 2, c.material, c.flags);
        w.level[0] = 4096;
        Draw3DTriangle(&w);
        ASSERT_EQ(1u, gRec.polygons.size());
        EXPECT_EQ(D3T_LINES, gRec.polygons[0].type);
    }
    Draw3DDisplay();
}

static int hookCalls;
static int Hook(void* triangle)
{
    hookCalls++;
    // The hook may take the standard path for the same triangle.
    return Draw3DTriangle((D3Triangle*)triangle) + 10;
}

TEST_F(Draw3D, MaterialDrawHookReplacesTheStandardPath)
{
    int mat = AddMaterial("HOOKED", 128, 128, 128, 16384, 16384);
    IntMatSetDrawHook(mat, Hook);
    Start();
    Points({-100, -100, 1000, 100, -100, 1000, 0, 100, 1000});
    D3Triangle t = Tri(0, 1, 2, mat);
    hookCalls = 0;
    EXPECT_EQ(11, Draw3DTriangle(&t));
    EXPECT_EQ(1, hookCalls);
    EXPECT_EQ(1u, gRec.polygons.size());
    Draw3DDisplay();
}

TEST_F(Draw3D, PointPolygonsAreBlendedTexturesWithOneColourAndLevel)
{
    ResId tex = SpriteCreate8(8, 8, -1, nullptr, 0);
    Start();
    Points({-100, -100, 1000, 100, -100, 1000, 100, 100, 1000, -100, 100, 1000, 0, 150, 1000});
    const int32_t idx[5] = {0, 1, 2, 3, 4};
    const float uv[10] = {0, 0, 1, 0, 1, 1, 0, 1, 0.5f, 1.5f};
    ASSERT_EQ(1, Draw3DPointPolygon(5, idx, uv, tex, 0, 100, 200, 300, 15360));
    ASSERT_EQ(1u, gRec.polygons.size());
    const RecPolygon& p = gRec.polygons[0];
    EXPECT_EQ(D3T_BLENDTEXTURE, p.type);
    EXPECT_EQ(0x1u, p.flags);
    EXPECT_EQ(tex, p.texture);
    ASSERT_EQ(5u, p.v.size());
    for (size_t i = 0; i < 5; i++) {
        EXPECT_EQ(Word(200), p.v[i].g);
        EXPECT_EQ(Word(15360), p.v[i].level);
        EXPECT_EQ(uv[2 * i], p.v[i].u);
        EXPECT_EQ(uv[2 * i + 1], p.v[i].v);
    }
    gRec = Recorder();
    EXPECT_EQ(1, Draw3DPointPolygon(3, idx, uv, tex, 1, 0, 0, 0, 0));
    EXPECT_EQ(0x5u, gRec.polygons[0].flags) << "a texture by reference";
    EXPECT_EQ(0, Draw3DPointPolygon(3, idx, uv, tex, 0, 0, 0, 0, 15361)) << "too faint to draw";
    Draw3DDisplay();
}

// ============================================================================================
// Lighting
// ============================================================================================

class Lighting : public Draw3D {
protected:
    // The colour words of the first vertex of a flat triangle facing the eye.
    RecVertex Lit(int material, uint32_t flags = 0)
    {
        gRec = Recorder();
        Points({-100, -100, 1000, 100, -100, 1000, 0, 100, 1000});
        D3Triangle t = Tri(0, 1, 2, material, flags);
        t.level[0] = t.level[1] = t.level[2] = 8192;
        EXPECT_EQ(1, Draw3DTriangle(&t));
        return gRec.polygons.empty() ? RecVertex{} : gRec.polygons[0].v[0];
    }
    static void Light(int16_t x, int16_t y, int16_t z, int32_t r, int32_t g, int32_t b)
    {
        const int16_t d[3] = {x, y, z};
        Draw3DSetDistantLight(d, r, g, b);
    }
};

TEST_F(Lighting, AmbientDistantUnlitAndSelfIllumination)
{
    int white = AddMaterial("WHITE", 256 - 1, 128, 64, 16384, 8192);
    Start();
    // Ambient alone: the light grazes the face.
    Draw3DSetAmbient(8192, 4096, 2048);
    Light(16384, 0, 0, 16384, 16384, 16384);
    RecVertex v = Lit(white);
    EXPECT_EQ(Word((8192 * 255) >> 8), v.r);
    EXPECT_EQ(Word((4096 * 128) >> 8), v.g);
    EXPECT_EQ(Word((2048 * 64) >> 8), v.b);

    // Head on: the material's diffuse times the light's colour joins the ambient.
    Light(0, 0, 16384, 16384, 8192, 0);
    v = Lit(white);
    EXPECT_EQ(Word(((8192 + 8192) * 255) >> 8), v.r);
    EXPECT_EQ(Word(((4096 + 4096) * 128) >> 8), v.g);
    EXPECT_EQ(Word((2048 * 64) >> 8), v.b);
    // From behind the face: no diffuse.
    Light(0, 0, -16384, 16384, 8192, 0);
    EXPECT_EQ(Word((8192 * 255) >> 8), Lit(white).r);

    // Unlit (no S.I., ambient or diffuse): full ambient plus distant, whatever the angle.
    int unlit = AddMaterial("UNLIT", 128, 128, 128, 0, 0);
    Light(0, 0, -16384, 4096, 4096, 4096);
    EXPECT_EQ(Word(((8192 + 4096) * 128) >> 8), Lit(unlit).r);

    // Self-illuminated and untextured: the material colour at twice the S.I., no lights.
    int lamp = AddMaterial("LAMP", 100, 50, 0, 16384, 16384, 0, 4096);
    v = Lit(lamp);
    EXPECT_EQ(Word((100 * 2 * 4096) >> 8), v.r);
    EXPECT_EQ(Word((50 * 2 * 4096) >> 8), v.g);
    EXPECT_EQ(0, v.b);

    // Self-illuminated and textured: S.I. replaces the ambient term, lights still count,
    // and the texture supplies the colour.
    IntMatSetSprite(lamp, SpriteCreate8(8, 8, -1, nullptr, 0));
    Light(0, 0, 16384, 16384, 16384, 16384);
    v = Lit(lamp, D3TR_TEXTURED);
    EXPECT_EQ(Word(16383), v.r) << "4096 + 16384, clamped";
    Light(0, 0, 16384, 2048, 2048, 2048);
    EXPECT_EQ(Word(4096 + 2048), Lit(lamp, D3TR_TEXTURED).r);

    // Levels multiply the colour when asked.
    EXPECT_EQ(Word(FixMul(4096 + 2048, 8192)), Lit(lamp, D3TR_TEXTURED | D3TR_LEVEL_COLOUR).r);

    // The colour scale.
    Draw3DSetColourScale(1, 8192, 16384, 0);
    v = Lit(lamp, D3TR_TEXTURED);
    EXPECT_EQ(Word(FixMul(4096 + 2048, 8192)), v.r);
    EXPECT_EQ(Word(4096 + 2048), v.g);
    EXPECT_EQ(0, v.b);
    Draw3DDisplay();
}

// Intensity lighting (an 8-bit display's): one level per vertex, in the green word, from the
// lights' largest components. Ambient and diffuse light stop at 1.0; glow adds past that.
TEST_F(Lighting, IntensityLightingHoldsBaseAndDiffuseAtOne)
{
    int grey = AddMaterial("GREY", 10, 200, 30, 16384, 16384);
    Draw3DSetLightingMode(D3LIGHT_INTENSITY);
    Start();
    Draw3DSetAmbient(4096, 8192, 2048);
    Light(16384, 0, 0, 16384, 16384, 16384);   // grazing: no diffuse
    RecVertex v = Lit(grey);
    EXPECT_EQ(Word(8192), v.g) << "the ambient's largest component, whatever the material's colour";
    EXPECT_EQ(0, v.r);
    EXPECT_EQ(0, v.b);
    Light(0, 0, 16384, 4096, 12288, 0);   // head on
    EXPECT_EQ(Word(16384), Lit(grey).g) << "8192 + 12288, held at 1.0";
    const int32_t eye[3] = {-100, -100, 0};
    ASSERT_EQ(0, Draw3DAddLight(D3L_GLOW, eye, 2000, nullptr, 0, 8192, 8192, 8192));
    EXPECT_EQ(Word(16384 + 8192), Lit(grey).g);
    Draw3DDisplay();
}

TEST_F(Lighting, LocalLightsReachOnlyWithinTheirRadius)
{
    int grey = AddMaterial("GREY", 255, 255, 255, 0, 16384);
    Start();
    Draw3DSetAmbient(0, 0, 0);
    Light(16384, 0, 0, 0, 0, 0);
    EXPECT_EQ(0, Lit(grey).r);
    // A light straight in front of the face, at the eye: N.L = 1, and half its radius
    // away, where the fall-off begins.
    const int32_t eye[3] = {-100, -100, 0};
    ASSERT_EQ(0, Draw3DAddLocalLight(eye, 2000, 16384, 8192, 0));
    RecVertex v = Lit(grey);
    EXPECT_EQ(Word((16384 * 255) >> 8), v.r) << "(1 + 0.9) x 0.5263158 is held at 1.0";
    EXPECT_EQ(Word((8192 * 255) >> 8), v.g);
    // Further away the factor falls with twice the remaining fraction of the radius.
    Start();
    Draw3DSetAmbient(0, 0, 0);
    Light(16384, 0, 0, 0, 0, 0);
    ASSERT_EQ(0, Draw3DAddLocalLight(eye, 1250, 16384, 16384, 16384));
    float a = 1 - 1000.0f / 1250;
    v = Lit(grey);
    EXPECT_NEAR((double)Word((FixMul((int32_t)(2 * a * 16384), 16384) * 255) >> 8), (double)v.r, 3 * 65536.0);
    // Out of reach.
    Start();
    Draw3DSetAmbient(0, 0, 0);
    Light(16384, 0, 0, 0, 0, 0);
    ASSERT_EQ(0, Draw3DAddLocalLight(eye, 900, 16384, 16384, 16384));
    EXPECT_EQ(0, Lit(grey).r);
    Draw3DDisplay();
}

TEST_F(Lighting, TheSixtyFifthLightAndLightsOutOfViewAreRefused)
{
    Start();
    const int32_t behind[3] = {0, 0, -10000};
    EXPECT_EQ(1, Draw3DAddLocalLight(behind, 1000, 16384, 16384, 16384));
    const int32_t ahead[3] = {0, 0, 5000};
    for (int i = 0; i < D3_MAX_LIGHTS; i++) ASSERT_EQ(0, Draw3DAddLocalLight(ahead, 1000, 1, 1, 1)) << i;
    EXPECT_EQ(1, Draw3DAddLocalLight(ahead, 1000, 1, 1, 1));
    EXPECT_EQ(D3_MAX_LIGHTS, Draw3DLightCount());
    Draw3DDisplay();
    Start();
    EXPECT_EQ(0, Draw3DLightCount()) << "a new frame starts without local lights";
    Draw3DDisplay();
}

TEST_F(Lighting, SpecularShowsFromTheThresholdAndOnlyForDriversThatKeepIt)
{
    int shiny = AddMaterial("SHINY", 255, 255, 255, 0, 0, 16384);
    IntMatSetDiffuse(shiny, 1);   // lit, but barely diffuse
    int32_t t = (int32_t)(Draw3DSpecularThreshold() * 16384);
    ASSERT_GT(t, 0);
    ASSERT_LT(t, 16384);
    // The smallest cosine whose seventh power survives six 2.14 products.
    int32_t x = t, y = t - 1;
    for (int i = 0; i < 6; i++) x = FixMul(x, t), y = FixMul(y, t - 1);
    EXPECT_NE(0, x);
    EXPECT_EQ(0, y);

    // Seen head on from an orthographic view, the reflection's cosine is the light's z.
    Draw3DLensOrthographic(640, 400, 1.0f);
    Start();
    Draw3DSetAmbient(0, 0, 0);
    auto specular = [&](int32_t z) {
        Light((int16_t)std::sqrt(16384.0 * 16384 - (double)z * z), 0, (int16_t)z, 16384, 16384, 16384);
        return Lit(shiny).sr;
    };
    EXPECT_EQ(0, specular(t - 1));
    EXPECT_GT(specular(t), 0);
    EXPECT_EQ(Word(16383), specular(16384)) << "head on: full specular";
    Draw3DDisplay();

    Install(2000, 0);   // a driver without specular words
    Draw3DLensOrthographic(640, 400, 1.0f);
    shiny = AddMaterial("SHINY", 255, 255, 255, 0, 1, 16384);
    Start();
    EXPECT_EQ(0, specular(16384));
    Draw3DDisplay();
}

// Lights add up in more than 32 bits: four lights of 4.0 each (0x40000000 in 2.14) give full
// light, in colour and in intensity lighting (the 8-bit display's), not a wrapped-round dark.
TEST_F(Lighting, ManyBrightLightsSaturate)
{
    int white = AddMaterial("WHITE", 255, 255, 255, 0, 16384);
    const int32_t eye[3] = {-100, -100, 0};
    for (int mode : {D3LIGHT_COLOUR, D3LIGHT_INTENSITY}) {
        Draw3DSetLightingMode(mode);
        Start();
        Draw3DSetAmbient(0, 0, 0);
        Light(16384, 0, 0, 0, 0, 0);
        for (int i = 0; i < 4; i++) ASSERT_EQ(0, Draw3DAddLocalLight(eye, 4000, 0x40000000, 0x40000000, 0x40000000));
        RecVertex v = Lit(white);
        if (mode == D3LIGHT_INTENSITY)
            EXPECT_EQ(Word(16384), v.g) << "intensity";
        else
            EXPECT_EQ(Word(16383), v.r) << "colour";
        Draw3DDisplay();
    }
}

// ============================================================================================
// Fog
// ============================================================================================

TEST_F(Draw3D, FogRunsFromTheNearValueAtTheOriginToTheFarValueAtTheDistance)
{
    int grey = AddMaterial("GREY", 128, 128, 128, 16384, 16384);
    Start();
    const int32_t origin[3] = {0, 0, 1000};
    const int16_t along[3] = {0, 0, 16384};
    Draw3DSetFog(origin, along, 1000, 15000, 2000);
    // At the distance exactly, behind the origin, and half way.
    Points({0, 100, 3000, -100, -100, 500, 100, -100, 2000});
    D3Triangle t = Tri(0, 1, 2, grey);
    ASSERT_EQ(1, Draw3DTriangle(&t));
    const RecPolygon& p = gRec.polygons[0];
    EXPECT_EQ(Word(15000), p.v[0].level);
    EXPECT_EQ(Word(1000), p.v[1].level);
    EXPECT_EQ(Word(1000 + FixMul(FixDiv(1000, 2000), 14000)), p.v[2].level);
    EXPECT_EQ(D3T_SHADED, p.type) << "fog changes flat shading's type only when smooth";

    gRec = Recorder();
    t.flags = D3TR_SMOOTH;
    t.vnormal[0][2] = t.vnormal[1][2] = t.vnormal[2][2] = -1;
    Draw3DTriangle(&t);
    EXPECT_EQ(D3T_BLENDED, gRec.polygons[0].type);
    EXPECT_EQ(0x6u, gRec.polygons[0].flags);

    // Wholly behind the origin: not fogged, the smooth triangle stays shaded.
    gRec = Recorder();
    Points({0, 100, 600, -100, -100, 500, 100, -100, 700});
    Draw3DTriangle(&t);
    EXPECT_EQ(D3T_SHADED, gRec.polygons[0].type);
    EXPECT_EQ(Word(1000), gRec.polygons[0].v[0].level);

    // Fog that is not allowed does nothing.
    gRec = Recorder();
    Draw3DAllowFog(0);
    Points({0, 100, 3000, -100, -100, 500, 100, -100, 2000});
    Draw3DTriangle(&t);
    EXPECT_EQ(0, gRec.polygons[0].v[0].level);
    Draw3DDisplay();
}

// ============================================================================================
// Sorting, frames, pools
// ============================================================================================

TEST_F(Draw3D, SortModesDrawInKeyOrder)
{
    int plain = AddMaterial("PLAIN", 128, 128, 128, 16384, 16384);
    int glass = AddMaterial("GLASS", 128, 128, 128, 16384, 16384, 0, 0, 8000);
    int brick = AddMaterial("BRICK", 128, 128, 128, 16384, 16384);
    IntMatSetSprite(brick, SpriteCreate8(8, 8, -1, nullptr, 0));
    // Triangle 0 starts far away but lies mostly near; triangle 1 is level at 3000;
    // triangle 2 lies near at 1500.
    auto draw = [&](int mode) {
        Draw3DSetSortMode(mode);
        Start();
        Points({0, 0, 5000, 100, 0, 1000, 0, 100, 1000,      //
                0, 0, 3000, 100, 0, 3000, 0, 100, 3000,      //
                0, 0, 1500, 100, 0, 1500, 0, 100, 1500});
        D3Triangle t[3] = {Tri(0, 1, 2, glass), Tri(3, 4, 5, brick, D3TR_TEXTURED), Tri(6, 7, 8, plain)};
        for (int i = 2; i >= 0; i--) EXPECT_EQ(1, Draw3DTriangle(&t[i]));
        size_t before = gRec.polygons.size();
        Draw3DDisplay();
        std::vector<int> order;
        for (const RecPolygon& p : gRec.polygons) order.push_back(p.material == glass ? 0 : p.material == brick ? 1 : 2);
        return std::make_pair(before, order);
    };
    auto first = draw(D3SORT_FIRST_DEPTH);
    EXPECT_EQ(0u, first.first) << "queued until the display";
    EXPECT_EQ((std::vector<int>{0, 1, 2}), first.second);
    EXPECT_EQ((std::vector<int>{1, 0, 2}), draw(D3SORT_AVERAGE_DEPTH).second);
    // State: shaded (0x402), textured (0x403), blended (0x406).
    EXPECT_EQ((std::vector<int>{2, 1, 0}), draw(D3SORT_STATE).second);
    auto now = draw(D3SORT_NONE);
    EXPECT_EQ(3u, now.first) << "drawn as they come";
    EXPECT_EQ((std::vector<int>{2, 1, 0}), now.second);
    EXPECT_EQ(Draw3DNodeCapacity(), Draw3DFreeNodes());

    // Equal keys keep their arrival order.
    Draw3DSetSortMode(D3SORT_FIRST_DEPTH);
    Start();
    Points({0, 0, 2000, 100, 0, 2000, 0, 100, 2000});
    D3Triangle a = Tri(0, 1, 2, glass), b = Tri(0, 1, 2, plain);
    Draw3DTriangle(&a);
    Draw3DTriangle(&b);
    Draw3DDisplay();
    ASSERT_EQ(2u, gRec.polygons.size());
    EXPECT_EQ(glass, gRec.polygons[0].material);
    EXPECT_EQ(plain, gRec.polygons[1].material);
}

TEST_F(Draw3D, FrameCallsTheDriverInOrderAndOverlaysDrawNearest)
{
    int plain = AddMaterial("PLAIN", 128, 128, 128, 16384, 16384);
    Draw3DSetSortMode(D3SORT_FIRST_DEPTH);
    Draw3DStartDraw(0, 0, 640, 400);
    EXPECT_EQ(std::vector<std::string>{"begin"}, gRec.calls);
    gRec = Recorder();
    Points({0, 0, 2000, 100, 0, 2000, 0, 100, 2000});
    D3Triangle t = Tri(0, 1, 2, plain);
    Draw3DSetOverlay(1);
    Draw3DTriangle(&t);
    Draw3DSetOverlay(0);
    Draw3DDisplay();
    EXPECT_EQ((std::vector<std::string>{"flush", "polygon", "end"}), gRec.calls);
    for (const RecVertex& v : gRec.polygons[0].v) EXPECT_EQ((float)D3_NEAREST_Z, v.z);
}

// Without a fill of the driver's own, the viewport's part of the clip rectangle takes the
// palette colour; the clip rectangle is left as it was.
TEST_F(Draw3D, FillViewFillsTheViewportInsideTheClip)
{
    VideoInstall(0);
    ASSERT_EQ(VideoSetMode(64, 48, VIDEO_16BIT, VIDEO_WINDOWED_DEBUG, 0, 0), 0);
    VideoLoadInterfacePalette();
    VideoClear(0);
    VideoSetClip(10, 5, 63, 40);
    Draw3DStartDraw(4, 8, 30, 50);
    Draw3DFillView(249);
    Draw3DDisplay();
    int x0, y0, x1, y1;
    VideoGetClip(&x0, &y0, &x1, &y1);
    EXPECT_EQ(std::vector<int>({10, 5, 63, 40}), std::vector<int>({x0, y0, x1, y1}));
    const VideoSurface* t = VideoTarget();
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++) {
            bool inside = x >= 10 && x <= 33 && y >= 8 && y <= 40;
            uint16_t pixel = GetU16(t->pixels + (size_t)y * t->pitch + 2 * (size_t)x);
            ASSERT_EQ(inside ? VideoPixelTable()[249] : VideoPixelTable()[0], pixel) << x << "," << y;
        }
    VideoRemove();
}

static void StartTwice()
{
    Draw3DStartDraw(0, 0, 64, 64);
    Draw3DStartDraw(0, 0, 64, 64);
}

static void DisplayAlone()
{
    Draw3DStartDraw(0, 0, 64, 64);
    Draw3DDisplay();
    Draw3DDisplay();
}

TEST_F(Draw3D, StartAndDisplayMismatchIsFatalOnlyUnderDebug)
{
    StartTwice();
    Draw3DDisplay();
    Draw3DDisplay();
    EXPECT_FALSE(Draw3DFrameOpen());
    Draw3DCheckFrames(1);
    EXPECT_EXIT(StartTwice(), testing::ExitedWithCode(1), "Draw3DStartDraw/Draw3DDisplay mis-match");
    EXPECT_EXIT(DisplayAlone(), testing::ExitedWithCode(1), "Draw3DStartDraw/Draw3DDisplay mis-match");
}

TEST_F(Draw3D, OutOfNodesDropsThePolygonSilently)
{
    Install(2, 0);   // two polygon records, eight vertex nodes
    int plain = AddMaterial("PLAIN", 128, 128, 128, 16384, 16384);
    Draw3DSetSortMode(D3SORT_FIRST_DEPTH);
    Start();
    // Each triangle pokes past the right edge: clipping turns it into four vertices.
    Points({0, 0, 1000, 5000, 0, 1000, 0, 300, 1000});
    D3Triangle t = Tri(0, 1, 2, plain);
    EXPECT_EQ(1, Draw3DTriangle(&t));
    EXPECT_EQ(4, Draw3DNodeCapacity() - Draw3DFreeNodes());
    EXPECT_EQ(0, Draw3DTriangle(&t)) << "three nodes to start, two more wanted by the clip";
    EXPECT_EQ(1, Draw3DStats()->dropped);
    EXPECT_EQ(4, Draw3DNodeCapacity() - Draw3DFreeNodes());
    // Out of records likewise.
    Points({0, 0, 1000, 100, 0, 1000, 0, 100, 1000});
    EXPECT_EQ(1, Draw3DTriangle(&t));
    EXPECT_EQ(0, Draw3DTriangle(&t));
    Draw3DDisplay();
    EXPECT_EQ(2u, gRec.polygons.size());
    EXPECT_EQ(Draw3DNodeCapacity(), Draw3DFreeNodes());
}

// ============================================================================================
// Textures
// ============================================================================================

static std::vector<std::pair<ResId, uint32_t>> loads;
static std::vector<ResId> frees;
static std::vector<uint32_t> progress;
static int changes;

TEST_F(Draw3D, TexturesLoadThroughTheDriverWithProgressAndUnload)
{
    loads.clear(), frees.clear(), progress.clear(), changes = 0;
    D3Driver d = RecordingDriver(0);
    d.loadTexture = [](ResId id, uint32_t flags) {
        loads.push_back({id, flags});
        return 0;
    };
    d.freeTexture = [](ResId id) { frees.push_back(id); };
    d.startTextures = [] { gRec.calls.push_back("begin textures"); };
    d.endTextures = [](ProgressFn) { gRec.calls.push_back("end textures"); };
    d.afterUnload = [] { gRec.calls.push_back("after unload"); };
    Draw3DRegisterDriver(2, &d);
    Draw3DSelectDriver(2);

    ResId made = SpriteCreate8(8, 8, -1, nullptr, 0);
    WriteBytes("wall.spr", Bytes((uint8_t*)ResPeek(made), (uint8_t*)ResPeek(made) + ResSize(made)));
    ResId wall = ResFindOrAdd("wall.spr");
    ResId glyph = SpriteCreate8(4, 4, 0, nullptr, 0), second = SpriteCreate8(4, 4, -1, nullptr, 0);
    for (int i = 0; i < 9; i++) AddMaterial(("M" + std::to_string(i)).c_str(), 0, 0, 0, 16384, 0);
    IntMatSetSprite(1, wall);
    IntMatSetSprite(2, made);
    IntMatSetLoadFlags(2, 0x1);
    IntMatSetPlacement(2, 0, second, 0);
    EXPECT_EQ(0, Draw3DAddTextSprite(glyph, 0x10));
    EXPECT_EQ(1, Draw3DAddTextSprite(glyph, 0x20)) << "already listed";
    IntMatAddChangeHandler([] { changes++; });

    gRec = Recorder();
    Draw3DLoadTextures([](uint32_t v) {
        progress.push_back(v);
        return 0;
    });
    EXPECT_EQ((std::vector<std::string>{"begin textures", "end textures"}), gRec.calls);
    std::vector<std::pair<ResId, uint32_t>> want = {{glyph, 0x10}, {wall, 0}, {made, 0x1}, {second, 0x1 | 0x252}};
    EXPECT_EQ(want, loads);
    // Every fourth of the nine materials, then complete twice.
    uint32_t step = 0x20000000u / 9;
    EXPECT_EQ((std::vector<uint32_t>{0, 0, (4 * step) >> 16, (8 * step) >> 16, 8192, 8192}), progress);
    EXPECT_EQ(1, changes);
    EXPECT_TRUE(Draw3DTexturesLoaded());

    // Unloading frees what is loaded: sprites read from files go, those made in memory stay.
    ASSERT_EQ(0, ResLoad(wall));
    gRec = Recorder();
    Draw3DUnloadTextures();
    EXPECT_FALSE(Draw3DTexturesLoaded());
    EXPECT_EQ((std::vector<ResId>{wall, made, second, glyph}), frees);
    EXPECT_NE(0, ResIsLoaded(wall));
    EXPECT_EQ(0, ResIsLoaded(made));
    EXPECT_EQ((std::vector<std::string>{"after unload"}), gRec.calls);

    // A driver that loads nothing itself: the sprites are loaded for it.
    Draw3DSelectDriver(1);
    Draw3DLoadTextures(nullptr);
    EXPECT_EQ(0, ResIsLoaded(wall));
    EXPECT_EQ(2, changes);
}

// Whether a texture has transparent texels is decided when textures are loaded: a texture
// file gone missing is looked for then, not again for every triangle of every frame.
TEST_F(Draw3D, TextureTransparencyIsDecidedOncePerTextureLoad)
{
    ResId made = SpriteCreate8(4, 4, 0, nullptr, 0);
    const Bytes keyed((uint8_t*)ResPeek(made), (uint8_t*)ResPeek(made) + ResSize(made));
    WriteBytes("fence.spr", keyed);
    int fence = AddMaterial("FENCE", 128, 128, 128, 16384, 16384);
    IntMatSetSprite(fence, ResFindOrAdd("fence.spr"));
    ASSERT_EQ(0, remove("fence.spr"));
    Draw3DLoadTextures(nullptr);
    auto typeDrawn = [&] {
        Start();
        Points({-100, -100, 1000, 100, -100, 1000, 0, 100, 1000});
        ResSetLastError(0);
        int type = -1;
        for (int i = 0; i < 3; i++) {
            gRec = Recorder();
            D3Triangle t = Tri(0, 1, 2, fence, D3TR_TEXTURED);
            Draw3DTriangle(&t);
            type = gRec.polygons.at(0).type;
        }
        EXPECT_EQ(0, ResLastError()) << "no file was looked for while drawing";
        Draw3DDisplay();
        return type;
    };
    EXPECT_EQ(D3T_TEXTURED, typeDrawn()) << "missing: no transparent texels";
    // The file comes back; the next texture load finds its transparent index.
    WriteBytes("fence.spr", keyed);
    EXPECT_EQ(D3T_TEXTURED, typeDrawn()) << "kept until textures are loaded again";
    Draw3DLoadTextures(nullptr);
    EXPECT_EQ(D3T_TRANSPARENT, typeDrawn());
}
