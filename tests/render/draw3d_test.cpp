// The Draw3D pipeline through a recording driver: clipping, classification into polygon
// types, lighting, fog, sorting, frames, pools and texture loading.
#include <cmath>

#include "render/d3test.h"
#include "render/softdriver.h"
#include "render/zbuffer.h"

// Levels and colours leave the pipeline shifted left by 16.
static int32_t Word(int32_t v) { return v << 16; }
static std::vector<int32_t> Words(std::vector<int32_t> c)
{
    for (int32_t& v : c) v = Word(v);
    return c;
}
static std::vector<int32_t> Rgb(const RecVertex& v) { return {v.r, v.g, v.b}; }

// A triangle facing the eye at depth 1000.
static const std::vector<float> kFacing = {-100, -100, 1000, 100, -100, 1000, 0, 100, 1000};

// ---- Clipping

TEST_F(Draw3D, NearPlaneKeepsWhatIsOnItAndDropsWhatIsBehindIt)
{
    int mat = AddMaterial("GREY", 128, 128, 128, 16384, 16384);
    Start();
    Points({0, 100, 100, 100, -100, 150, -100, -100, 200});
    D3Triangle t = Tri(0, 1, 2, mat);
    EXPECT_EQ(0, Draw3DTriangle(&t));
    EXPECT_EQ(Draw3DNodeCapacity(), Draw3DFreeNodes()) << "its nodes are back";
    // A vertex exactly on the near plane is in front of it: nothing to clip.
    Points({-100, -100, 1000, 100, -100, 1000, 0, 0, 257});
    EXPECT_EQ(1, Draw3DTriangle(&t));
    EXPECT_EQ(0, Draw3DStats()->clipped);
    EXPECT_EQ(257.0f, gRec.polygons.at(0).v[2].z);
    Draw3DDisplay();
    EXPECT_EQ(1u, gRec.polygons.size());
}

// A and B in front, C behind the eye: edges B-C and C-A cross the near plane. The new
// vertices lie on it; C-A is cut half way, so every attribute there is half A's and C's.
TEST_F(Draw3D, CrossingTheNearPlaneInterpolatesEveryAttribute)
{
    int lamp = AddMaterial("LAMP", 128, 128, 128, 0, 0, 0, 8192);   // untextured S.I.: 8192
    Start();
    const int32_t origin[3] = {0, 0, 0};
    const int16_t along[3] = {0, 0, 16384};
    Draw3DSetFog(origin, along, 0, 16384, 2514);   // 8192 at A, 0 behind the eye
    Points({0, 100, 1257, 200, 0, 977.3f, 100, 0, -743});
    D3Triangle t = Tri(0, 1, 2, lamp, D3TR_LEVEL_COLOUR);
    t.level[0] = t.level[1] = 16384;
    t.u[1] = 1, t.u[2] = 0.5f, t.v[2] = 1;
    ASSERT_EQ(1, Draw3DTriangle(&t));
    const RecPolygon& p = gRec.polygons.at(0);
    ASSERT_EQ(4u, p.v.size());   // A, B, then the crossings on B-C and on C-A
    EXPECT_EQ(Words({8192, 8192}), (std::vector<int32_t>{p.v[0].r, p.v[0].level}));
    for (int k = 2; k < 4; k++) {
        EXPECT_EQ(257.0f, p.v[k].z) << k;
        EXPECT_FLOAT_EQ(1 / 257.0f, p.v[k].w) << k;
        EXPECT_TRUE(p.v[k].sx >= 0 && p.v[k].sx <= 639 && p.v[k].sy >= 0 && p.v[k].sy <= 399) << k;
    }
    const RecVertex& c = p.v[3];
    EXPECT_EQ((std::vector<float>{50, 50, 0.25f, 0.5f}), (std::vector<float>{c.x, c.y, c.u, c.v}));
    EXPECT_EQ(Words({4096, 4096}), (std::vector<int32_t>{c.r, c.level}));
    EXPECT_EQ(Draw3DNodeCapacity(), Draw3DFreeNodes());
    Draw3DDisplay();
}

TEST_F(Draw3D, SidePlanesAndTheUserPlaneClip)
{
    int mat = AddMaterial("GREY", 128, 128, 128, 16384, 16384);
    Start();
    // Far past the right edge: cut at the right edge of the screen's last column.
    Points({0, 0, 1000, 5000, 0, 1000, 0, 300, 1000});
    D3Triangle t = Tri(0, 1, 2, mat);
    ASSERT_EQ(1, Draw3DTriangle(&t));
    ASSERT_EQ(4u, gRec.polygons[0].v.size());
    float most = 0;
    for (const RecVertex& v : gRec.polygons[0].v) most = std::max(most, v.sx);
    EXPECT_NEAR(640.0f, most, 0.01f);

    // The user plane through x = 0 keeps +x. C is behind the eye and left of the plane, as A
    // is: the near plane's crossing on C-A lies left of it too and must go.
    const int32_t at[3] = {0, 0, 0};
    Draw3DSetUserPlane(at, 0, 0x4000, 0);
    for (const std::vector<float>& xyz : {kFacing, std::vector<float>{-200, 0, 1257, 400, 0, 1257, -200, 200, -743}}) {
        gRec = Recorder();
        Points(xyz);
        EXPECT_EQ(OUT_USER, Draw3DPointOutcode(0) & OUT_CLIP_MASK);
        ASSERT_EQ(1, Draw3DTriangle(&t));
        EXPECT_EQ(4u, gRec.polygons[0].v.size());
        for (const RecVertex& v : gRec.polygons[0].v) EXPECT_GE(v.x, -0.01f);
    }
    Draw3DDisplay();

    // Orthographic: the bounds are planes of x and y.
    Draw3DLensOrthographic(640, 400, 1.0f);   // x within +-320
    Start();
    gRec = Recorder();
    Points({0, 0, 1000, 500, 0, 1000, 0, 100, 1000});
    ASSERT_EQ(1, Draw3DTriangle(&t));
    most = 0;
    for (const RecVertex& v : gRec.polygons[0].v) most = std::max(most, v.x);
    EXPECT_NEAR(320.0f, most, 0.01f);
    Draw3DDisplay();
    EXPECT_EQ(Draw3DNodeCapacity(), Draw3DFreeNodes());
}

// ---- Classification

TEST_F(Draw3D, PolygonTypesFollowMaterialTextureAndSwitches)
{
    ResId opaque = SpriteCreate8(8, 8, -1, nullptr, 0), keyed = SpriteCreate8(8, 8, 0, nullptr, 0);
    int plain = AddMaterial("PLAIN", 128, 128, 128, 16384, 16384);
    int glass = AddMaterial("GLASS", 128, 128, 128, 16384, 16384, 0, 0, 8000);
    int brick = AddMaterial("BRICK", 128, 128, 128, 16384, 16384);
    int fence = AddMaterial("FENCE", 128, 128, 128, 16384, 16384);
    int twice = AddMaterial("TWICE", 128, 128, 128, 16384, 16384);
    IntMatSetSprite(brick, opaque);
    IntMatSetSprite(fence, keyed);
    IntMatSetSprite(twice, keyed);
    IntMatSetPlacement(twice, 0, opaque, 0);
    Start();
    Points(kFacing);
    const uint32_t T = D3P_TEXTURED, S = D3P_SHADED, B = D3P_BLENDED;
    struct Case {
        int material;
        uint32_t flags;
        int type;
        uint32_t polygonFlags;
    } cases[] = {
        {plain, D3TR_TEXTURED, D3T_SHADED, S},   // textured, but the material has no texture
        {glass, D3TR_TEXTURED, D3T_BLENDED, S | B},
        {brick, 0, D3T_SHADED, S},               // a texture the triangle does not ask for
        {brick, D3TR_TEXTURED, D3T_TEXTURED, T | S},
        {fence, D3TR_TEXTURED, D3T_TRANSPARENT, T | S | B},
        {twice, D3TR_TEXTURED, D3T_SECOND_TEXTURE, T | S},
        {plain, D3TR_LEVEL_BLEND, D3T_BLENDED, S | B},
        {brick, D3TR_TEXTURED | D3TR_LEVEL_BLEND, D3T_BLENDTEXTURE, T | S | B},
    };
    for (const Case& c : cases) {
        gRec = Recorder();
        D3Triangle t = Tri(0, 1, 2, c.material, c.flags);
        t.level[0] = t.level[1] = t.level[2] = 4096;
        ASSERT_EQ(1, Draw3DTriangle(&t));
        EXPECT_EQ(c.type, gRec.polygons.at(0).type) << c.material << " " << c.flags;
        EXPECT_EQ(c.polygonFlags, gRec.polygons[0].flags) << c.material << " " << c.flags;
        EXPECT_EQ((c.polygonFlags & T) ? IntMatSprite(c.material) : 0, gRec.polygons[0].texture);
    }
    auto typeOf = [&](int material, uint32_t flags) {
        gRec = Recorder();
        D3Triangle t = Tri(0, 1, 2, material, flags);
        Draw3DTriangle(&t);
        return gRec.polygons.at(0).type;
    };
    EXPECT_EQ(D3T_SHADED, typeOf(plain, D3TR_LEVEL_BLEND)) << "blend levels all zero are no blend";
    Draw3DSetRenderFlags(RENDER_NO_TEXTURES);
    EXPECT_EQ(D3T_SHADED, typeOf(brick, D3TR_TEXTURED));
    Draw3DSetRenderFlags(RENDER_FILTER);
    typeOf(brick, D3TR_TEXTURED);
    EXPECT_EQ(T | S | D3P_FILTER, gRec.polygons[0].flags);
    Draw3DSetRenderFlags(0);
    Draw3DSetTranslucent(1);
    EXPECT_EQ(D3T_BLENDTEXTURE, typeOf(brick, D3TR_TEXTURED));
    EXPECT_EQ(Word(4096), gRec.polygons[0].v[0].level);
    Draw3DSetTranslucent(0);
    Draw3DSetRenderFlags(RENDER_WIREFRAME);
    for (const Case& c : cases) EXPECT_EQ(D3T_LINES, typeOf(c.material, c.flags)) << c.material;
    Draw3DDisplay();

    // The override flag keeps the overridden one off, set now or before.
    Draw3DSetRenderFlags(RENDER_OVERRIDE | RENDER_OVERRIDDEN);
    EXPECT_EQ((uint32_t)RENDER_OVERRIDE, Draw3DRenderFlags());
    Draw3DSetRenderFlags(RENDER_OVERRIDDEN);
    EXPECT_EQ(0u, Draw3DRenderFlags());
    Draw3DSetRenderFlags(RENDER_OVERRIDDEN);
    EXPECT_EQ((uint32_t)RENDER_OVERRIDDEN, Draw3DRenderFlags());
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
    Points(kFacing);
    D3Triangle t = Tri(0, 1, 2, mat);
    hookCalls = 0;
    EXPECT_EQ(11, Draw3DTriangle(&t));
    EXPECT_EQ(1, hookCalls);
    EXPECT_EQ(1u, gRec.polygons.size());
    Draw3DDisplay();
}

// A triangle's after routine runs once it is drawn, unless the driver asks for none.
TEST_F(Draw3D, AfterRoutinesRunOnlyForDrawnTrianglesAndWillingDrivers)
{
    hookCalls = 0;
    for (uint32_t flags : {0u, (uint32_t)DRV_NO_AFTER}) {
        Install(2000, flags);
        int plain = AddMaterial("PLAIN", 128, 128, 128, 16384, 16384);
        Start();
        Points({-100, -100, 1000, 100, -100, 1000, 0, 100, 1000, 0, 0, -500});
        D3Triangle shown = Tri(0, 1, 2, plain), behind = Tri(3, 3, 3, plain);
        shown.after = behind.after = [](D3Triangle*) { hookCalls++; };
        Draw3DTriangle(&shown);
        Draw3DTriangle(&behind);
        Draw3DDisplay();
    }
    EXPECT_EQ(1, hookCalls);
}

TEST_F(Draw3D, PointPolygonsAreBlendedTexturesWithOneColourAndLevel)
{
    ResId tex = SpriteCreate8(8, 8, -1, nullptr, 0);
    Start();
    Points({-100, -100, 1000, 100, -100, 1000, 100, 100, 1000, -100, 100, 1000, 0, 150, 1000});
    const int32_t idx[5] = {0, 1, 2, 3, 4};
    const float uv[10] = {0, 0, 1, 0, 1, 1, 0, 1, 0.5f, 1.5f};
    ASSERT_EQ(1, Draw3DPointPolygon(5, idx, uv, tex, 0, 100, 200, 300, 15360));
    const RecPolygon& p = gRec.polygons.at(0);
    EXPECT_EQ(D3T_BLENDTEXTURE, p.type);
    EXPECT_EQ((uint32_t)D3P_TEXTURED, p.flags);
    EXPECT_EQ(tex, p.texture);
    ASSERT_EQ(5u, p.v.size());
    const float x[5] = {-100, 100, 100, -100, 0};
    for (size_t i = 0; i < 5; i++) {
        EXPECT_EQ(Word(200), p.v[i].g);
        EXPECT_EQ(Word(15360), p.v[i].level);
        EXPECT_EQ(uv[2 * i], p.v[i].u);
        EXPECT_EQ(uv[2 * i + 1], p.v[i].v);
        EXPECT_EQ(x[i], p.v[i].x) << "in the order given";
    }
    gRec = Recorder();
    EXPECT_EQ(1, Draw3DPointPolygon(3, idx, uv, tex, 1, 0, 0, 0, 0));
    EXPECT_EQ((uint32_t)(D3P_TEXTURED | D3P_BLENDED), gRec.polygons[0].flags) << "a texture by reference";
    EXPECT_EQ(0, Draw3DPointPolygon(3, idx, uv, tex, 0, 0, 0, 0, 15361)) << "too faint to draw";
    Draw3DDisplay();
}

TEST_F(Draw3D, PointLinesAreWireframeEdgesInOneColourClippedAsPolygonsAre)
{
    Start();
    // Two points ahead, one behind the eye, one more behind.
    Points({-100, -100, 1000, 100, 50, 2000, 30, 0, -500, 0, 0, -900});
    ASSERT_EQ(1, Draw3DPointLine(0, 1, 100, 200, 20000));
    const RecPolygon& p = gRec.polygons.at(0);
    EXPECT_EQ(D3T_LINES, p.type);
    ASSERT_EQ(2u, p.v.size());
    EXPECT_EQ((std::vector<float>{-100, 100, 1000, 2000}), (std::vector<float>{p.v[0].x, p.v[1].x, p.v[0].z, p.v[1].z}));
    EXPECT_EQ((std::vector<int32_t>{Word(100), Word(200), Word(16383)}), (std::vector<int32_t>{p.v[1].r, p.v[1].g, p.v[1].b}))
        << "the colour held within 2.14";
    // Crossing the near plane: what lies behind it is cut off.
    gRec = Recorder();
    ASSERT_EQ(1, Draw3DPointLine(0, 2, 100, 100, 100));
    for (const RecVertex& v : gRec.polygons.at(0).v) EXPECT_GE(v.z, (float)D3_NEAREST_Z - 1);
    EXPECT_EQ(0, Draw3DPointLine(2, 3, 100, 100, 100)) << "wholly behind the eye: nothing";
    EXPECT_EXIT(Draw3DPointLine(0, 4, 0, 0, 0), testing::ExitedWithCode(1), "Draw3DPointLine - point 4 out of range");
    Draw3DDisplay();
}

// ---- Lighting

class Lighting : public Draw3D {
protected:
    // The first vertex of a triangle facing the eye, levels 0.5.
    RecVertex Lit(int material, uint32_t flags = 0)
    {
        gRec = Recorder();
        Points(kFacing);
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

// Colour lighting: untextured, each channel ends times the material's colour (128 = a half).
TEST_F(Lighting, AmbientDistantUnlitAndSelfIllumination)
{
    int half = AddMaterial("HALF", 128, 128, 128, 16384, 8192);
    Start();
    Draw3DSetAmbient(8192, 4096, 2048);
    Light(16384, 0, 0, 16384, 16384, 16384);   // grazing the face: the ambient alone
    EXPECT_EQ(Words({4096, 2048, 1024}), Rgb(Lit(half)));
    Light(0, 0, 16384, 16384, 8192, 0);   // head on: the diffuse 0.5 of the light's colour joins
    EXPECT_EQ(Words({(8192 + 8192) / 2, (4096 + 4096) / 2, 2048 / 2}), Rgb(Lit(half)));
    Light(0, 0, -16384, 16384, 8192, 0);   // from behind the face
    EXPECT_EQ(Word(8192 / 2), Lit(half).r);

    // Unlit (no S.I., ambient or diffuse): the whole ambient and distant light at any angle.
    int unlit = AddMaterial("UNLIT", 128, 128, 128, 0, 0);
    Light(0, 0, -16384, 4096, 4096, 4096);
    EXPECT_EQ(Word((8192 + 4096) / 2), Lit(unlit).r);

    // Self-illuminated and untextured: the material's colour at twice the S.I., no lights.
    int lamp = AddMaterial("LAMP", 128, 64, 0, 16384, 16384, 0, 4096);
    EXPECT_EQ(Words({4096, 2048, 0}), Rgb(Lit(lamp)));
    // Textured: S.I. in place of the ambient term, the lights added, no material colour.
    IntMatSetSprite(lamp, SpriteCreate8(8, 8, -1, nullptr, 0));
    Light(0, 0, 16384, 16384, 16384, 16384);
    EXPECT_EQ(Word(16383), Lit(lamp, D3TR_TEXTURED).r) << "4096 + 16384, held";
    Light(0, 0, 16384, 2048, 2048, 2048);
    EXPECT_EQ(Word(4096 + 2048), Lit(lamp, D3TR_TEXTURED).r);
    EXPECT_EQ(Word(6144 / 2), Lit(lamp, D3TR_TEXTURED | D3TR_LEVEL_COLOUR).r) << "times the level";
    Draw3DSetColourScale(1, 8192, 16384, 0);
    EXPECT_EQ(Words({6144 / 2, 6144, 0}), Rgb(Lit(lamp, D3TR_TEXTURED)));
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
    EXPECT_EQ(Words({0, 8192, 0}), Rgb(Lit(grey))) << "the ambient's largest component, whatever the material's colour";
    Light(0, 0, 16384, 4096, 12288, 0);   // head on
    EXPECT_EQ(Word(16384), Lit(grey).g) << "8192 + 12288, held at 1.0";
    const int32_t eye[3] = {-100, -100, 0};
    ASSERT_EQ(0, Draw3DAddLight(D3L_GLOW, eye, 2000, nullptr, 0, 8192, 8192, 8192));
    EXPECT_EQ(Word(16384 + 8192), Lit(grey).g);
    Draw3DDisplay();
}

// A light at the eye, 1000 in front of the face's first vertex and straight along its normal.
TEST_F(Lighting, LocalLightsFallOffAndReachOnlyWithinTheirRadius)
{
    int half = AddMaterial("HALF", 128, 128, 128, 0, 16384);
    const int32_t eye[3] = {-100, -100, 0};
    const int16_t ahead[3] = {0, 0, 16384}, back[3] = {0, 0, -16384};
    auto lit = [&](int type, int32_t radius, const int16_t* direction, int32_t cutoff) {
        Start();
        Draw3DSetAmbient(0, 0, 0);
        Light(16384, 0, 0, 0, 0, 0);
        EXPECT_EQ(0, Draw3DAddLight(type, eye, radius, direction, cutoff, 16384, 8192, 0));
        RecVertex v = Lit(half);
        Draw3DDisplay();
        return v;
    };
    EXPECT_EQ(Words({16384 / 2, 8192 / 2, 0}), Rgb(lit(D3L_POINT, 2000, nullptr, 0)))
        << "(1 + 0.9) x 0.5263158, held at 1.0; half the radius away";
    EXPECT_EQ(Word(12288 / 2), lit(D3L_POINT, 1600, nullptr, 0).r) << "0.375 of the radius left: x 0.75";
    EXPECT_EQ(0, lit(D3L_POINT, 900, nullptr, 0).r) << "out of reach";
    // Spot lights: full inside the cone, less within 0.25 of its cut-off, nothing outside.
    EXPECT_EQ(Word(16384 / 2), lit(D3L_SPOT, 2000, ahead, 8192).r);
    EXPECT_EQ(Word(8192 / 2), lit(D3L_SPOT, 2000, ahead, 14336).r) << "4 x (1 - 0.875)";
    EXPECT_EQ(0, lit(D3L_SPOT, 2000, back, 8192).r);
    // Glow lights add to the specular colour instead.
    RecVertex v = lit(D3L_GLOW, 2000, nullptr, 0);
    EXPECT_EQ(Words({0, 16383, 8192}), (std::vector<int32_t>{v.r, v.sr, v.sg}));
}

TEST_F(Lighting, TheSixtyFifthLightAndLightsOutOfViewAreRefused)
{
    Start();
    const int32_t behind[3] = {0, 0, -10000}, ahead[3] = {0, 0, 5000};
    EXPECT_EQ(1, Draw3DAddLocalLight(behind, 1000, 16384, 16384, 16384));
    for (int i = 0; i < D3_MAX_LIGHTS; i++) ASSERT_EQ(0, Draw3DAddLocalLight(ahead, 1000, 1, 1, 1)) << i;
    EXPECT_EQ(1, Draw3DAddLocalLight(ahead, 1000, 1, 1, 1));
    EXPECT_EQ(D3_MAX_LIGHTS, Draw3DLightCount());
    Draw3DDisplay();
    Start();
    EXPECT_EQ(0, Draw3DLightCount()) << "a new frame starts without local lights";
    Draw3DDisplay();
}

// Seen head on in an orthographic view, the reflection's cosine is the light's z. A cosine of
// 0.25 is the smallest whose seventh power survives 2.14 arithmetic (0.25^7 = 1 / 16384).
TEST_F(Lighting, SpecularShowsFromAQuarterAndOnlyForDriversThatKeepIt)
{
    EXPECT_EQ(0.25f, Draw3DSpecularThreshold());
    for (uint32_t flags : {(uint32_t)DRV_SPECULAR, 0u}) {
        Install(2000, flags);
        int shiny = AddMaterial("SHINY", 255, 255, 255, 0, 1, 16384);   // lit, barely diffuse
        Draw3DLensOrthographic(640, 400, 1.0f);
        Start();
        Draw3DSetAmbient(0, 0, 0);
        auto specular = [&](int32_t z) {
            Light((int16_t)std::sqrt(16384.0 * 16384 - (double)z * z), 0, (int16_t)z, 16384, 16384, 16384);
            return Lit(shiny).sr;
        };
        EXPECT_EQ(0, specular(4095));
        EXPECT_EQ(flags ? Word(1) : 0, specular(4096));
        EXPECT_EQ(flags ? Word(16383) : 0, specular(16384));
        Draw3DDisplay();
    }
}

// Lights add up in more than 32 bits: four lights of 4.0 each (0x40000000 in 2.14) give full
// light, in colour and in intensity lighting, not a wrapped-round dark.
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
        EXPECT_EQ(mode == D3LIGHT_INTENSITY ? Word(16384) : Word(16383), mode == D3LIGHT_INTENSITY ? v.g : v.r);
        Draw3DDisplay();
    }
}

// ---- Fog

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
    EXPECT_EQ(Words({15000, 1000, 1000 + 7000}), (std::vector<int32_t>{p.v[0].level, p.v[1].level, p.v[2].level}));
    EXPECT_EQ(D3T_SHADED, p.type) << "fog changes flat shading's type only when smooth";
    auto drawn = [&](const std::vector<float>& xyz) {
        gRec = Recorder();
        Points(xyz);
        Draw3DTriangle(&t);
        return gRec.polygons.at(0);
    };
    t.flags = D3TR_SMOOTH;
    t.vnormal[0][2] = t.vnormal[1][2] = t.vnormal[2][2] = -1;
    EXPECT_EQ(D3T_BLENDED, drawn({0, 100, 3000, -100, -100, 500, 100, -100, 2000}).type);
    EXPECT_EQ((uint32_t)(D3P_SHADED | D3P_BLENDED), gRec.polygons[0].flags);
    RecPolygon unfogged = drawn({0, 100, 600, -100, -100, 500, 100, -100, 700});
    EXPECT_EQ(D3T_SHADED, unfogged.type) << "wholly behind the origin: not fogged";
    EXPECT_EQ(Word(1000), unfogged.v[0].level);
    Draw3DAllowFog(0);
    EXPECT_EQ(0, drawn({0, 100, 3000, -100, -100, 500, 100, -100, 2000}).v[0].level) << "fog not allowed";
    Draw3DDisplay();
}

// ---- Sorting, frames, pools

TEST_F(Draw3D, SortModesDrawInKeyOrder)
{
    int plain = AddMaterial("PLAIN", 128, 128, 128, 16384, 16384);
    int glass = AddMaterial("GLASS", 128, 128, 128, 16384, 16384, 0, 0, 8000);
    int brick = AddMaterial("BRICK", 128, 128, 128, 16384, 16384);
    IntMatSetSprite(brick, SpriteCreate8(8, 8, -1, nullptr, 0));
    // Glass starts far away but lies mostly near; brick is level at 3000; plain lies at 1500.
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
    // State: shaded, textured, blended.
    EXPECT_EQ((std::vector<int>{2, 1, 0}), draw(D3SORT_STATE).second);
    auto now = draw(D3SORT_NONE);
    EXPECT_EQ(3u, now.first) << "drawn as they come";
    EXPECT_EQ((std::vector<int>{2, 1, 0}), now.second);
    EXPECT_EQ(Draw3DNodeCapacity(), Draw3DFreeNodes());
    // A driver that takes translucent polygons last.
    Install(2000, DRV_QUEUE_FIRST);
    glass = AddMaterial("GLASS", 128, 128, 128, 16384, 16384, 0, 0, 8000);
    IntMatSetSprite(brick = AddMaterial("BRICK", 128, 128, 128, 16384, 16384), SpriteCreate8(8, 8, -1, nullptr, 0));
    plain = AddMaterial("PLAIN", 128, 128, 128, 16384, 16384);
    EXPECT_EQ((std::vector<int>{1, 2, 0}), draw(D3SORT_FIRST_DEPTH).second);

    // Equal keys keep their arrival order.
    Draw3DSetSortMode(D3SORT_FIRST_DEPTH);
    Start();
    Points({0, 0, 2000, 100, 0, 2000, 0, 100, 2000});
    D3Triangle a = Tri(0, 1, 2, brick), b = Tri(0, 1, 2, plain);
    Draw3DTriangle(&a);
    Draw3DTriangle(&b);
    Draw3DDisplay();
    ASSERT_EQ(2u, gRec.polygons.size());
    EXPECT_EQ(brick, gRec.polygons[0].material);
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
    for (const RecVertex& v : gRec.polygons[0].v) EXPECT_EQ(257.0f, v.z);
}

// Without a fill of the driver's own, the viewport's part of the clip rectangle takes the
// palette colour; the clip rectangle is left as it was.
TEST_F(Draw3D, FillViewFillsTheViewportInsideTheClip)
{
    VideoInstall();
    ASSERT_EQ(VideoSetMode(64, 48, VIDEO_16BIT, VIDEO_WINDOWED_SOFTWARE), 0);
    VideoLoadInterfacePalette();
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

TEST_F(Draw3D, StartAndDisplayMismatchIsFatalOnlyUnderDebug)
{
    Draw3DStartDraw(0, 0, 64, 64);
    Draw3DStartDraw(0, 0, 64, 64);
    Draw3DDisplay();
    Draw3DDisplay();
    EXPECT_FALSE(Draw3DFrameOpen());
    Draw3DCheckFrames(1);
    EXPECT_EXIT((Draw3DStartDraw(0, 0, 64, 64), Draw3DStartDraw(0, 0, 64, 64)), testing::ExitedWithCode(1),
                "Draw3DStartDraw/Draw3DDisplay mis-match");
    EXPECT_EXIT((Draw3DStartDraw(0, 0, 64, 64), Draw3DDisplay(), Draw3DDisplay()), testing::ExitedWithCode(1),
                "Draw3DStartDraw/Draw3DDisplay mis-match");
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
    Points(kFacing);
    EXPECT_EQ(1, Draw3DTriangle(&t));
    EXPECT_EQ(0, Draw3DTriangle(&t));
    Draw3DDisplay();
    EXPECT_EQ(2u, gRec.polygons.size());
    EXPECT_EQ(Draw3DNodeCapacity(), Draw3DFreeNodes());
}

// ---- Textures

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
    // Every fourth of the nine materials (a ninth of 8192 each, truncated), then complete twice.
    EXPECT_EQ((std::vector<uint32_t>{0, 0, 3640, 7281, 8192, 8192}), progress);
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
        Points(kFacing);
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

// ---- Short cuts: a mesh's shared points, boxes that cover no pixel row

static bool SameVertex(const RecVertex& a, const RecVertex& b)
{
    return !memcmp(&a, &b, sizeof a);
}

static bool SamePolygons(const std::vector<RecPolygon>& a, const std::vector<RecPolygon>& b, std::string* why)
{
    if (a.size() != b.size()) return *why = std::to_string(a.size()) + " against " + std::to_string(b.size()) + " polygons", false;
    for (size_t i = 0; i < a.size(); i++) {
        const RecPolygon &p = a[i], &q = b[i];
        bool same = p.type == q.type && p.flags == q.flags && p.texture == q.texture && p.shade == q.shade &&
                    p.material == q.material && p.v.size() == q.v.size();
        for (size_t k = 0; same && k < p.v.size(); k++) same = SameVertex(p.v[k], q.v[k]);
        if (!same) return *why = "polygon " + std::to_string(i) + " differs", false;
    }
    return true;
}

// A 5 x 5 grid of points in camera space, tilted, reaching behind the near plane at one corner
// and past the left and top planes at others, each point with a normal of its own; 32
// triangles over it, in two objects of which the second moves every point.
TEST_F(Draw3D, AMeshGivesTheSamePolygonsAsItsTrianglesOneByOne)
{
    ResId texture = SpriteCreate8(8, 8, -1, nullptr, 0);
    int shiny = AddMaterial("SHINY", 200, 120, 60, 12000, 16384, 9000);
    int glass = AddMaterial("GLASS", 90, 160, 220, 16384, 16384, 0, 0, 8000);
    int brick = AddMaterial("BRICK", 255, 255, 255, 8000, 16384);
    IntMatSetSprite(brick, texture);
    std::vector<float> xyz[2], normals, uv;
    for (int j = 0; j < 5; j++)
        for (int i = 0; i < 5; i++) {
            xyz[0].insert(xyz[0].end(), {-700.0f + 400 * i, -500.0f + 300 * j, 100.0f + 350 * i + 200 * j});
            xyz[1].insert(xyz[1].end(), {-300.0f + 170 * i + 11 * j, -200.0f + 130 * j, 900.0f + 90 * i - 40 * j});
            float n[3] = {0.1f * (i - 2), 0.15f * (j - 2), -1};
            float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            normals.insert(normals.end(), {n[0] / len, n[1] / len, n[2] / len});
            uv.insert(uv.end(), {0.25f * i, 0.2f * j + 0.05f * i});
        }
    std::vector<int32_t> corners;
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 4; i++) {
            int a = j * 5 + i, b = a + 1, d = a + 5, c = d + 1;
            corners.insert(corners.end(), {a, b, c, a, c, d});
        }
    const int32_t lamp[3] = {0, 0, 700};
    const int32_t fogFrom[3] = {0, 0, 600};
    const int16_t along[3] = {0, 0, 16384};
    struct Case {
        const char* name;
        int material;
        uint32_t flags;
        void (*set)(void);
    } cases[] = {
        {"lit, specular", shiny, D3TR_SMOOTH, [] {}},
        {"textured", brick, D3TR_SMOOTH | D3TR_TEXTURED, [] {}},
        {"alpha", glass, D3TR_SMOOTH, [] {}},
        {"translucent", brick, D3TR_SMOOTH | D3TR_TEXTURED, [] { Draw3DSetTranslucent(1); }},
        {"wireframe", shiny, D3TR_SMOOTH, [] { Draw3DSetRenderFlags(RENDER_WIREFRAME); }},
        {"sorted", shiny, D3TR_SMOOTH, [] { Draw3DSetSortMode(D3SORT_AVERAGE_DEPTH); }},
        {"intensity", shiny, D3TR_SMOOTH, [] { Draw3DSetLightingMode(D3LIGHT_INTENSITY); }},
    };
    for (const Case& c : cases)
        for (int fogged = 0; fogged < 2; fogged++) {
            std::vector<RecPolygon> drawn[2];
            int queued[2] = {0, 0}, made[2] = {0, 0}, clipped[2] = {0, 0};
            for (int fast = 0; fast < 2; fast++) {
                Draw3DSetFastPaths(fast);
                Draw3DDefaults();
                Draw3DFogOff();
                Draw3DSetSortMode(D3SORT_NONE);
                Draw3DSetLightingMode(D3LIGHT_BY_DISPLAY);
                c.set();
                Start();
                if (fogged) Draw3DSetFog(fogFrom, along, 2000, 12000, 1500);
                Draw3DAddLocalLight(lamp, 900, 16384, 8000, 4000);
                for (const std::vector<float>& object : xyz) {
                    Points(object);
                    queued[fast] += Draw3DMesh(c.material, c.flags, 32, corners.data(), uv.data(), normals.data());
                }
                Draw3DDisplay();
                drawn[fast] = gRec.polygons;
                made[fast] = Draw3DStats()->triangles;
                clipped[fast] = Draw3DStats()->clipped;
            }
            std::string why;
            EXPECT_TRUE(SamePolygons(drawn[0], drawn[1], &why)) << c.name << (fogged ? ", fogged: " : ": ") << why;
            EXPECT_EQ(queued[0], queued[1]) << c.name;
            EXPECT_EQ(64, made[1]) << c.name << ": every triangle counts";
            EXPECT_GT(clipped[1], 0) << c.name << ": the grid crosses the planes";
            EXPECT_GT(drawn[1].size(), 32u) << c.name;
            if (fogged && &c == &cases[0]) {
                bool anyBlended = false;
                for (const RecPolygon& p : drawn[1]) anyBlended |= p.type == D3T_BLENDED;
                EXPECT_TRUE(anyBlended) << "fog reaches some of the smooth triangles";
            }
        }
    Draw3DSetFastPaths(1);
    Draw3DSetTranslucent(0);
    Draw3DSetRenderFlags(0);
    // A material with a draw hook sees each triangle.
    int hooked = AddMaterial("HOOKED", 128, 128, 128, 16384, 16384);
    IntMatSetDrawHook(hooked, Hook);
    hookCalls = 0;
    Start();
    Points(xyz[1]);
    Draw3DMesh(hooked, D3TR_SMOOTH, 32, corners.data(), uv.data(), normals.data());
    Draw3DDisplay();
    EXPECT_EQ(32, hookCalls);
}

// Orthographic at 4 units a pixel (row 200 - y / 4): three slivers between row centres and two
// triangles that reach one. Only a driver that fills by pixel centres, drawing filled
// polygons, lets the mesh leave the slivers out.
TEST_F(Draw3D, AMeshLeavesOutOnlyTrianglesThatCoverNoRowCentre)
{
    int grey = AddMaterial("GREY", 128, 128, 128, 16384, 16384);
    // Rows 10.75 to 11.25; 10.5 (a centre on the top edge) to 11.25; 10.75 to 11.5 (a centre
    // on the bottom edge, not covered); 9.75 to 11.25 (row 10) and a large one.
    const float rows[5][2] = {{10.75f, 11.25f}, {10.5f, 11.25f}, {10.75f, 11.5f}, {9.75f, 11.25f}, {50, 300}};
    std::vector<float> xyz, normals, uv(2 * 15, 0);
    std::vector<int32_t> corners;
    for (int k = 0; k < 5; k++) {
        const float top = 4 * (200 - rows[k][0]), bottom = 4 * (200 - rows[k][1]);
        xyz.insert(xyz.end(), {-1200.0f + 400 * k, top, 1000, -1000.0f + 400 * k, bottom, 1000, -1100.0f + 400 * k, bottom, 1000});
        for (int c = 0; c < 3; c++) normals.insert(normals.end(), {0, 0, -1});
        corners.insert(corners.end(), {3 * k, 3 * k + 1, 3 * k + 2});
    }
    auto drawn = [&](uint32_t driverFlags, uint32_t renderFlags, int fast) {
        Install(2000, driverFlags);
        grey = AddMaterial("GREY", 128, 128, 128, 16384, 16384);
        Draw3DSetFastPaths(fast);
        Draw3DSetRenderFlags(renderFlags);
        Start();
        Draw3DLensOrthographic(640, 400, 4.0f);
        Points(xyz);
        Draw3DMesh(grey, D3TR_SMOOTH, 5, corners.data(), uv.data(), normals.data());
        Draw3DDisplay();
        std::vector<float> tops;
        for (const RecPolygon& p : gRec.polygons) tops.push_back(p.v[0].sy);
        return tops;
    };
    EXPECT_EQ((std::vector<float>{10.5f, 9.75f, 50}), drawn(0xC0 | DRV_PIXEL_CENTRES, 0, 1));
    const std::vector<float> every = {10.75f, 10.5f, 10.75f, 9.75f, 50};
    EXPECT_EQ(every, drawn(0xC0, 0, 1)) << "a driver that may cover more";
    EXPECT_EQ(every, drawn(0xC0 | DRV_PIXEL_CENTRES, RENDER_WIREFRAME, 1)) << "lines";
    EXPECT_EQ(every, drawn(0xC0 | DRV_PIXEL_CENTRES, 0, 0)) << "short cuts off";
    Draw3DSetFastPaths(1);
    Draw3DSetRenderFlags(0);
    // Every point index is checked, the first past the object's included.
    Install(2000, 0xC0);
    grey = AddMaterial("GREY", 128, 128, 128, 16384, 16384);
    Start();
    Points(xyz);
    const int32_t past[3] = {0, 1, 15};
    EXPECT_EXIT(Draw3DMesh(grey, D3TR_SMOOTH, 1, past, uv.data(), normals.data()), testing::ExitedWithCode(1),
                "Draw3DMesh - point 15 out of range");
    Draw3DDisplay();
}

// Orthographic at 4 units a pixel over the 640 x 400 view: a box from y0 to y1 (units) shows
// from row 200 - y1 / 4 to 200 - y0 / 4, and a polygon covers the rows whose centres (k + 1/2)
// lie inside it, a centre on its bottom edge not included.
TEST_F(Draw3D, ABoxDrawsNothingOnlyWhenNoRowCentreLiesWithinItsHeight)
{
    Install(2000, 0xC0 | DRV_PIXEL_CENTRES);
    const int32_t origin[3] = {0, 0, 0};
    auto nothing = [&](int32_t y0, int32_t y1) {
        Start();
        Draw3DLensOrthographic(640, 400, 4.0f);
        const int32_t box[6] = {-20, y0, 1000, 20, y1, 1010};
        int r = Draw3DBoxDrawsNothing(origin, nullptr, box);
        Draw3DDisplay();
        return r;
    };
    EXPECT_EQ(1, nothing(755, 757)) << "rows 10.75 to 11.25: no centre";
    EXPECT_EQ(0, nothing(753, 757)) << "down to 11.75: row 11";
    EXPECT_EQ(0, nothing(755, 759)) << "up to 10.25: row 10";
    EXPECT_EQ(0, nothing(756, 758)) << "its top edge on row 10's centre covers it";
    EXPECT_EQ(0, nothing(100, 900)) << "many rows";
    // Nothing is promised without the driver's word, for wireframe, or with the short cuts off.
    Draw3DSetRenderFlags(RENDER_WIREFRAME);
    EXPECT_EQ(0, nothing(755, 757)) << "wireframe draws lines";
    Draw3DSetRenderFlags(0);
    Draw3DSetFastPaths(0);
    EXPECT_EQ(0, nothing(755, 757)) << "short cuts off";
    Draw3DSetFastPaths(1);
    Install(2000, 0xC0);
    EXPECT_EQ(0, nothing(755, 757)) << "a driver that may cover more";
    // In perspective, a box reaching behind the near plane can be anywhere on screen.
    Install(2000, 0xC0 | DRV_PIXEL_CENTRES);
    Start();
    const int32_t thin[6] = {-5, 0, 1000, 5, 1, 1010}, across[6] = {-5, 0, 100, 5, 1, 1010};
    EXPECT_EQ(1, Draw3DBoxDrawsNothing(origin, nullptr, thin)) << "a thousandth of a row at the centre";
    EXPECT_EQ(0, Draw3DBoxDrawsNothing(origin, nullptr, across));
    Draw3DDisplay();
}

// ---- The viewport's edges, in pictures from the software Z-buffer

// A view at (VX, VY) inside a larger screen whose clip is the whole screen: whatever Draw3D
// lets through past the view's edges would show around it.
class ViewEdges : public ::testing::Test {
protected:
    enum { W = 96, H = 64, VX = 7, VY = 5, VW = 60, VH = 40, BACKGROUND = 3 };
    TempDir dir{true};
    int mat = 0;
    void SetUp() override
    {
        ResRemove();
        ResInstall(2000);
        SpriteInstall();
        Draw3DCheckFrames(0);
        Draw3DRemove();
        ASSERT_EQ(0, Draw3DInstall(200));
        VideoInstall();
        ASSERT_EQ(0, VideoSetMode(W, H, VIDEO_32BIT, VIDEO_WINDOWED_SOFTWARE));
        VideoLoadInterfacePalette();
        ASSERT_EQ(0, ZBufferInstall(4 * W * H));
        Draw3DRegisterDriver(DRIVER_SOFTWARE, SoftDriverZBuffer());
        Draw3DSelectDriver(DRIVER_SOFTWARE);
        IdentityView(VW, VH);
        mat = AddMaterial("WHITE", 255, 255, 255, 16384, 0);
    }
    void TearDown() override
    {
        Draw3DRemove();
        ZBufferRemove();
        VideoRemove();
        ResRemove();
    }
    // A square far wider than the view at depth 1000, in front of the eye: which pixels it
    // covers (1) and which keep the background (0).
    std::vector<int> Cover()
    {
        EXPECT_TRUE(VideoBeginUpdate(1));
        VideoSetClip(0, 0, W - 1, H - 1);
        VideoClear(BACKGROUND);
        uint8_t r0, g0, b0;
        VideoReadPixel(0, 0, &r0, &g0, &b0);
        Draw3DStartDraw(VX, VY, VW, VH);
        const int32_t origin[3] = {0, 0, 0};
        const float xyz[] = {-50000, -50000, 1000, 50000, -50000, 1000, 50000, 50000, 1000, -50000, 50000, 1000};
        Draw3DObjectF(origin, nullptr, 16384, 100000, 4, xyz);
        D3Triangle a = Tri(0, 2, 1, mat), b = Tri(0, 3, 2, mat);
        Draw3DTriangle(&a);
        Draw3DTriangle(&b);
        Draw3DDisplay();
        std::vector<int> out;
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                uint8_t r, g, bl;
                VideoReadPixel(x, y, &r, &g, &bl);
                out.push_back(r != r0 || g != g0 || bl != b0);
            }
        VideoEndUpdate();
        return out;
    }
    static std::vector<int> Viewport()
    {
        std::vector<int> v;
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) v.push_back(x >= VX && x < VX + VW && y >= VY && y < VY + VH);
        return v;
    }
};

TEST_F(ViewEdges, APolygonOverTheWholeViewFillsItToItsLastRowAndColumnAndNoFurther)
{
    Draw3DLensPerspective(VX, VY, VW, VH);
    EXPECT_EQ(Viewport(), Cover()) << "perspective";
    Draw3DLensOrthographic(VW, VH, 1.0f);
    EXPECT_EQ(Viewport(), Cover()) << "orthographic";
}
