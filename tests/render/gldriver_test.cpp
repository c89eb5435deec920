// The OpenGL driver against the software Z-buffer: the same polygons drawn through both into
// the same framebuffer must give the same picture (exact outside the view and where nothing
// was drawn, the same coverage but for one-pixel edges, nearly the same colours); the
// render-state cache; activation that fails with its reason. Runs on whatever GL the machine
// has (Mesa's llvmpipe without a display); TOLBEX_NO_GL=1 or TOLBEX_GL=off skips.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/log.h"
#include "base/res.h"
#include "platform/platform.h"
#include "render/d3test.h"
#include "render/gldriver.h"
#include "render/pixpack.h"
#include "render/softdriver.h"
#include "render/zbuffer.h"

namespace {

// Why the tests cannot use OpenGL here ("" when they can): refused on purpose.
std::string NoGL()
{
    const char* no = getenv("TOLBEX_NO_GL");
    if (no && strcmp(no, "1") == 0) return "TOLBEX_NO_GL=1";
    const char* gl = getenv("TOLBEX_GL");
    if (gl && strcmp(gl, "off") == 0) return "OpenGL is refused (TOLBEX_GL=off)";
    return "";
}

// The view: a partition of the screen (its own origin), inside a frame of "toolkit" pixels.
const int W = 96, H = 72, VX = 7, VY = 5, VW = 80, VH = 60;

class GLDriver : public ::testing::Test, public PolyStore {
protected:
    int bpp = 16;
    uint32_t colours[256];

    void SetUp() override
    {
        memcpy(colours, VideoColourTable(), sizeof colours);
        if (!NoGL().empty()) GTEST_SKIP() << NoGL();
        ResRemove();
        ResInstall(200);
        SpriteInstall();
        Mode(16);
        ASSERT_EQ(ZBufferInstall(ZBUFFER_DEFAULT_BYTES), 0);
        ASSERT_EQ(D3Activate(0, 1), 1) << GlDrvActivateError();
    }
    void TearDown() override
    {
        // The palette outlives the video mode: the next suite gets it as it was.
        for (int i = 0; i < 256; i++)
            VideoSetColour(i, (uint8_t)(colours[i] >> 16), (uint8_t)(colours[i] >> 8), (uint8_t)colours[i]);
        GlDrvDeactivate();
        ZBufferRemove();
        PixPackRemove();
        VideoRemove();
        ResRemove();
    }
    void Mode(int bits)
    {
        bpp = bits;
        VideoRemove();
        VideoInstall();
        ASSERT_EQ(VideoSetMode(W, H, bits == 16 ? VIDEO_16BIT : VIDEO_32BIT, VIDEO_WINDOWED_HARDWARE), 0);
        VideoLoadInterfacePalette();
    }
    D3Polygon* Rect(int type, float x0, float y0, float x1, float y1, float z, float r, float g, float b,
                    float level = 0)
    {
        return Poly(type, {{x0, y0, z, r, g, b, 0, 0, level},
                           {x1, y0, z, r, g, b, 1, 0, level},
                           {x1, y1, z, r, g, b, 1, 1, level},
                           {x0, y1, z, r, g, b, 0, 1, level}});
    }

    // Noise over the whole screen: the toolkit's pixels, and the view's before the frame.
    void Noise()
    {
        const VideoSurface* s = VideoTarget();
        uint32_t seed = 12345;
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                seed = seed * 1103515245u + 12345u;
                uint8_t* p = s->pixels + (size_t)y * s->pitch + (size_t)x * (bpp / 8);
                if (bpp == 16)
                    PutU16(p, 0, (uint16_t)(seed >> 16));
                else
                    PutU32(p, 0, (seed >> 8) & 0xFFFFFF);
            }
    }
    std::vector<uint32_t> Screen() const
    {
        const VideoSurface* s = VideoTarget();
        std::vector<uint32_t> out;
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                const uint8_t* p = s->pixels + (size_t)y * s->pitch + (size_t)x * (bpp / 8);
                out.push_back(bpp == 16 ? GetU16(p, 0) : GetU32(p, 0));
            }
        return out;
    }
    void Unpack(uint32_t pix, int rgb[3]) const
    {
        uint8_t b[4];
        if (bpp == 16)
            PutU16(b, 0, (uint16_t)pix);
        else
            PutU32(b, 0, pix);
        uint8_t r, g, bl;
        VideoUnpackPixel(b, bpp, &r, &g, &bl);
        rgb[0] = r, rgb[1] = g, rgb[2] = bl;
    }

    // One frame of a scene through a driver into the view; fill (a palette colour, or -1)
    // paints the view after the frame started, as a view's background fill does.
    std::vector<uint32_t> Render(const D3Driver* d, const std::function<void()>& scene, int fill)
    {
        VideoSetClip(0, 0, W - 1, H - 1);
        Noise();
        EXPECT_EQ(VideoVirtPart(VX, VY, VW, VH), 1);
        current = d;
        if (pipeline) {
            // Through Draw3D as a view draws: the frame, its background fill, the scene.
            Draw3DSelectDriver(d == SoftDriverZBuffer() ? DRIVER_SOFTWARE : DRIVER_HARDWARE);
            Draw3DStartDraw(0, 0, VW, VH);
            if (fill >= 0) Draw3DFillView(fill);
            scene();
            Draw3DDisplay();
        } else {
            d->depthRange(257.0f, 1e9f);
            d->startFrame();
            if (fill >= 0) VideoClear(fill);
            scene();
            d->endFrame();
        }
        VideoVirtPartEnd();
        return Screen();
    }
    bool pipeline = false;
    const D3Driver* current = nullptr;
    void Draw(D3Polygon* p) { current->polygons[p->type](p); }

    // The comparison every scene goes through (see the file's head); minCovered guards
    // against a scene that draws nothing in both.
    ::testing::AssertionResult Same(const std::function<void()>& scene, int minCovered, int fill = -1)
    {
        std::vector<uint32_t> noise;
        VideoSetClip(0, 0, W - 1, H - 1);
        Noise();
        noise = Screen();
        std::vector<uint32_t> soft = Render(SoftDriverZBuffer(), scene, fill);
        std::vector<uint32_t> hard = Render(GlDrvHardwareDriver(), scene, fill);
        std::vector<uint32_t> before = noise;
        if (fill >= 0) {
            VideoSetClip(0, 0, W - 1, H - 1);
            Noise();
            VideoVirtPart(VX, VY, VW, VH);
            VideoClear(fill);
            VideoVirtPartEnd();
            before = Screen();
        }
        auto covered = [&](const std::vector<uint32_t>& img, int x, int y) {
            return x >= 0 && y >= 0 && x < W && y < H && img[y * W + x] != before[y * W + x];
        };
        int both = 0, close = 0, coverMiss = 0;
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                size_t i = (size_t)y * W + x;
                bool inView = x >= VX && x < VX + VW && y >= VY && y < VY + VH;
                if (!inView) {
                    if (hard[i] != noise[i])
                        return ::testing::AssertionFailure() << "toolkit pixel " << x << "," << y << " changed";
                    continue;
                }
                bool cs = covered(soft, x, y), ch = covered(hard, x, y);
                if (!cs && !ch) continue;
                if (cs != ch) {
                    // Only where the software picture's coverage changes within one pixel.
                    bool edge = false;
                    for (int dy = -1; dy <= 1; dy++)
                        for (int dx = -1; dx <= 1; dx++)
                            if (covered(soft, x + dx, y + dy) != cs) edge = true;
                    if (!edge)
                        return ::testing::AssertionFailure()
                               << "pixel " << x << "," << y << (cs ? " drawn only by the software" : " drawn only by GL");
                    coverMiss++;
                    continue;
                }
                both++;
                int a[3], b[3];
                Unpack(soft[i], a);
                Unpack(hard[i], b);
                if (std::abs(a[0] - b[0]) <= 8 && std::abs(a[1] - b[1]) <= 8 && std::abs(a[2] - b[2]) <= 8) close++;
            }
        if (both < minCovered)
            return ::testing::AssertionFailure() << "only " << both << " pixels drawn by both (" << coverMiss
                                                 << " edge pixels by one)";
        if (close * 100 < both * 98)
            return ::testing::AssertionFailure() << close << " of " << both << " pixels within 8/255";
        return ::testing::AssertionSuccess() << both << " pixels, " << close << " close, " << coverMiss << " edges";
    }
};

// ---- Scenes through both drivers

TEST_F(GLDriver, UntexturedScenesMatchTheSoftwarePicture)
{
    for (int bits : {16, 32}) {
        SCOPED_TRACE(bits);
        Mode(bits);
        // Flat and smooth fills; a flat colour is the first vertex's.
        EXPECT_TRUE(Same([&] { Draw(Rect(D3T_FLAT, 3.2f, 4.7f, 50.5f, 40.1f, 1000, 0.9f, 0.3f, 0.6f)); }, 1500));
        EXPECT_TRUE(Same(
            [&] {
                Draw(Poly(D3T_SHADED, {{2, 3, 900, 1.8f, 0, 0.1f}, {75, 10, 900, 0, 1.2f, 0.3f}, {30, 55, 900, 0.2f, 0.1f, 1.0f}}));
            },
            1200));
        // A ring of six vertices, as clipping leaves them: colours linear over the screen.
        EXPECT_TRUE(Same(
            [&] {
                auto at = [](float x, float y) {
                    return Vert{x, y, 800, 0.1f + x / 90, 1.0f - y / 70, 0.2f + (x + y) / 180};
                };
                Draw(Poly(D3T_SHADED, {at(10, 2), at(50, 1), at(78, 25), at(70, 58), at(20, 50), at(2, 30)}));
            },
            2500));
        // Overlapping depths: two quads through each other; order must not matter.
        EXPECT_TRUE(Same(
            [&] {
                Draw(Poly(D3T_SHADED, {{0, 0, 500, 1, 0, 0}, {70, 0, 5000, 1, 0, 0}, {70, 50, 5000, 1, 0, 0}, {0, 50, 500, 1, 0, 0}}));
                Draw(Poly(D3T_SHADED, {{5, 5, 5000, 0, 1, 0}, {79, 5, 500, 0, 0, 1}, {79, 59, 500, 0, 0, 1}, {5, 59, 5000, 0, 1, 0}}));
                Draw(Rect(D3T_FLAT, 20, 20, 40, 40, 100000, 1, 1, 0));   // behind both: hidden
            },
            2500));
        // A chained polygon on the one it lies on shows on top of it: its depths are the base's
        // own where it stands (1/z is linear across the screen), so only the chain decides.
        EXPECT_TRUE(Same(
            [&] {
                Draw(Poly(D3T_SHADED, {{0, 0, 700, 1, 0, 0}, {80, 0, 3000, 1, 0, 0}, {80, 60, 3000, 1, 0, 0}, {0, 60, 700, 1, 0, 0}}));
                auto z = [](float t) { return 1.0f / (1.0f / 700 + t * (1.0f / 3000 - 1.0f / 700)); };
                D3Polygon* decal = Poly(D3T_FLAT, {{20, 0, z(0.25f), 0, 0, 1}, {60, 0, z(0.75f), 0, 0, 1},
                                                   {60, 60, z(0.75f), 0, 0, 1}, {20, 60, z(0.25f), 0, 0, 1}},
                                        0, 1);
                Draw(decal);
            },
            4000));
        // Blended over what the view was filled with after the frame started, and over a
        // polygon; fog comes as per-vertex levels across a polygon.
        EXPECT_TRUE(Same(
            [&] {
                Draw(Rect(D3T_FLAT, 10, 10, 40, 40, 1000, 0, 0, 1));
                Draw(Rect(D3T_BLENDED, 0, 0, 60, 50, 900, 1, 1, 0, 0.5f));
            },
            2500, 250));
        EXPECT_TRUE(Same(
            [&] {
                Draw(Rect(D3T_SHADED, 0, 0, 80, 60, 2000, 0.2f, 0.6f, 0.2f));
                Draw(Poly(D3T_BLENDED, {{5, 5, 1000, 1, 1, 1, 0, 0, 0.0f}, {75, 5, 1000, 1, 1, 1, 0, 0, 0.9f},
                                        {75, 55, 1000, 1, 1, 1, 0, 0, 1.0f}, {5, 55, 1000, 1, 1, 1, 0, 0, 0.3f}}));
            },
            3500));
        // Lines and outlines, clipped by the view; screen-space types over everything.
        EXPECT_TRUE(Same(
            [&] {
                Draw(Poly(D3T_LINES, {{2, 2, 1000, 1, 0, 0}, {70, 9, 1000, 0, 1, 0}, {40, 58, 1000, 0, 0, 1}}));
                Draw(Poly(D3T_OUTLINE, {{-20, 30, 1000}, {100, 31, 1000}, {50, 70, 1000}}));
            },
            150));
        EXPECT_TRUE(Same(
            [&] {
                Draw(Rect(D3T_FLAT, 0, 0, 80, 60, 300, 0.5f, 0.5f, 0.5f));
                Draw(Rect(D3T_SCREEN_FLAT, 5, 5, 30, 30, 90000, 1, 0, 0));
                Draw(Rect(D3T_SCREEN_SMOOTH, 35, 5, 70, 30, 90000, 0, 1, 0));
                Draw(Rect(D3T_SCREEN_BLENDED, 10, 20, 60, 55, 90000, 0, 0, 1, 0.25f));
                Draw(Poly(D3T_SCREEN_OUTLINE, {{3, 40, 5}, {77, 41, 5}, {40, 58, 5}}));
            },
            4000));
    }
}

TEST_F(GLDriver, TexturedScenesMatchTheSoftwarePicture)
{
    for (int bits : {16, 32}) {
        SCOPED_TRACE(bits);
        Mode(bits);
        for (int i = 0; i < 248; i++) VideoSetColour(i, (uint8_t)(i * 7), (uint8_t)(255 - i), (uint8_t)(i * 3));
        // An 8-bit checker with transparent index 255 (the last one) in its corner squares
        // (and the same without a transparent index), and a 32-bit gradient with a key
        // colour; they share the pages with a sprite of loud texels that must never bleed in.
        ResId keyed = SpriteCreate8(16, 16, 255, nullptr, 0);
        uint8_t* px = SpritePixels(keyed);
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < 16; x++)
                px[y * 16 + x] = (x < 4 && y < 4) || (x >= 12 && y >= 12) ? 255 : (uint8_t)(((x >> 2) ^ (y >> 2)) & 1 ? 40 + x : 150 + y);
        SpriteRelease(keyed);
        ResId colour = SpriteCreate32(8, 8);
        uint8_t* d = (uint8_t*)ResOpen(colour);
        d[12] = 0x12, d[13] = 0x34, d[14] = 0x56;
        for (int i = 0; i < 64; i++) PutU32(d, SPR32_HEADER_SIZE + 4 * i, i == 9 || i == 50 ? 0x123456u : (uint32_t)(i * 4) << 16 | (uint32_t)(255 - i * 3) << 8 | 0x80);
        ResClose(colour);
        ResId opaque = SpriteCreate8(16, 16, -1, nullptr, 0);
        memcpy(SpritePixels(opaque), SpritePixels(keyed), 256);
        SpriteRelease(opaque);
        SpriteRelease(keyed);
        ResId loud = SpriteCreate8(8, 8, -1, nullptr, 0);
        memset(SpritePixels(loud), 247, 64);
        SpriteRelease(loud);
        const D3Driver* gl = GlDrvHardwareDriver();
        gl->startTextures();
        for (ResId id : {keyed, opaque, colour, loud}) EXPECT_EQ(gl->loadTexture(id, 0), 0);
        gl->endTextures(nullptr);

        auto quad = [&](int type, ResId tex, float u0, float v0, float u1, float v1, float light, float level = 0) {
            D3Polygon* p = Poly(type, {{4, 3, 900, light, light * 0.8f, light * 0.6f, u0, v0, level},
                                       {76, 6, 900, light * 0.5f, light, light, u1, v0, level},
                                       {70, 57, 900, light, light * 0.3f, light, u1, v1, level},
                                       {6, 52, 900, light * 0.9f, light, light * 0.4f, u0, v1, level}});
            p->texture = tex;
            return p;
        };
        EXPECT_TRUE(Same([&] { Draw(quad(D3T_TEXTURED, opaque, 0, 0, 1, 1, 1.0f)); }, 3000)) << "lit 8-bit";
        EXPECT_TRUE(Same(
            [&] {
                Draw(Rect(D3T_FLAT, 0, 0, 80, 60, 2000, 0.2f, 0.4f, 0.9f));
                Draw(quad(D3T_TRANSPARENT, keyed, -1.5f, -0.5f, 2.5f, 1.5f, 1.2f));
            },
            4000))
            << "transparent texels, tiled beyond 0..1";
        EXPECT_TRUE(Same([&] { Draw(quad(D3T_TEXTURED, colour, 0, 0, 1, 1, 0.7f)); }, 3000)) << "lit 32-bit";
        EXPECT_TRUE(Same(
            [&] {
                Draw(Rect(D3T_FLAT, 0, 0, 80, 60, 2000, 0.9f, 0.1f, 0.1f));
                Draw(quad(D3T_TRANSPARENT, colour, 0, 0, 2, 2, 1.0f));
            },
            4000))
            << "32-bit key colour";
        EXPECT_TRUE(Same(
            [&] {
                Draw(Rect(D3T_SHADED, 0, 0, 80, 60, 2000, 0.3f, 0.8f, 0.3f));
                Draw(quad(D3T_BLENDTEXTURE, keyed, 0, 0, 1, 1, 1.0f, 0.4f));
            },
            4000))
            << "blended texture";
        EXPECT_TRUE(Same(
            [&] {
                Draw(quad(D3T_UNLIT_TEXTURE, colour, 0, 0, 3, 1, 1.0f));
                Draw(Poly(D3T_SCREEN_TEXTURE, {{10, 10, 5, 1, 1, 1, 0, 0}, {40, 10, 5, 1, 1, 1, 1, 0},
                                               {40, 40, 5, 1, 1, 1, 1, 1}, {10, 40, 5, 1, 1, 1, 0, 1}},
                          0, keyed));
            },
            3000))
            << "unlit and screen-space sprites";
        gl->afterUnload();
    }
}

// With RENDER_FILTER a polygon's texels are filtered (steps between them appear), without it
// they are the nearest; either way only its own sprite's texels show, though a sprite of
// other colours lies beside it in the page.
TEST_F(GLDriver, FilteringStaysInsideTheSprite)
{
    Mode(32);
    VideoSetColour(1, 0, 0, 0);
    VideoSetColour(2, 255, 255, 255);
    VideoSetColour(3, 255, 0, 0);
    ResId checker = SpriteCreate8(2, 2, -1, nullptr, 0);
    const uint8_t texels[4] = {1, 2, 2, 1};
    memcpy(SpritePixels(checker), texels, 4);
    SpriteRelease(checker);
    ResId red = SpriteCreate8(2, 2, -1, nullptr, 0);
    memset(SpritePixels(red), 3, 4);
    SpriteRelease(red);
    const D3Driver* gl = GlDrvHardwareDriver();
    gl->startTextures();
    EXPECT_EQ(gl->loadTexture(checker, 0), 0);
    EXPECT_EQ(gl->loadTexture(red, 0), 0);
    gl->endTextures(nullptr);
    for (bool filter : {false, true}) {
        SCOPED_TRACE(filter);
        std::vector<uint32_t> img = Render(
            gl,
            [&] {
                D3Polygon* p = Poly(D3T_UNLIT_TEXTURE, {{0, 0, 900, 1, 1, 1, 0, 0}, {60, 0, 900, 1, 1, 1, 2, 0},
                                                        {60, 60, 900, 1, 1, 1, 2, 2}, {0, 60, 900, 1, 1, 1, 0, 2}});
                p->texture = checker;
                if (filter) p->flags |= D3P_FILTER;
                Draw(p);
            },
            -1);
        int between = 0, reddish = 0;
        for (int y = VY; y < VY + 60; y++)
            for (int x = VX; x < VX + 60; x++) {
                uint32_t c = img[(size_t)y * W + x] & 0xFFFFFF;
                int r = c >> 16, g = (c >> 8) & 255, b = c & 255;
                if (r != g || g != b) reddish++;
                if (c != 0 && c != 0xFFFFFF) between++;
            }
        EXPECT_EQ(reddish, 0) << "a neighbour's texels bled in";
        if (filter)
            EXPECT_GT(between, 1000);
        else
            EXPECT_EQ(between, 0);
    }
}

// Triangles through the pipeline (lighting, clipping at the near plane, translucency, fog,
// wireframe) drawn by either driver as a view draws them.
TEST_F(GLDriver, PipelineFramesMatchTheSoftwarePicture)
{
    ASSERT_EQ(0, Draw3DInstall(D3_POLYGONS));
    Draw3DRegisterDriver(DRIVER_SOFTWARE, SoftDriverZBuffer());
    Draw3DRegisterDriver(DRIVER_HARDWARE, GlDrvHardwareDriver());
    IdentityView(VW, VH);
    const int32_t eye[3] = {0, 0, 0};
    int grey = AddMaterial("GREY", 200, 180, 160, 8000, 16384, 8192);
    int red = AddMaterial("RED", 230, 40, 40, 16384, 0);
    pipeline = true;
    // A floor from behind the eye into the distance (clipped at the near plane), a smooth
    // triangle over it and a red one in front.
    auto scene = [&] {
        const float pts[] = {-3000, -400, -500, 3000, -400, -500, 3000, -400, 20000, -3000, -400, 20000,
                             -900, -300, 2500, 900, -200, 1500, 0, 700, 4000,
                             -300, -100, 900, 400, 0, 1200, 0, 300, 1000};
        Draw3DObjectF(eye, nullptr, 16384, 100000, 10, pts);
        D3Triangle f1 = Tri(0, 2, 1, grey), f2 = Tri(0, 3, 2, grey);
        f1.normal[1] = f2.normal[1] = 16384;
        f1.normal[2] = f2.normal[2] = 0;
        Draw3DTriangle(&f1);
        Draw3DTriangle(&f2);
        D3Triangle s = Tri(4, 6, 5, grey, D3TR_SMOOTH);
        const float normals[3][3] = {{-0.6f, 0, -0.8f}, {0, 0.6f, -0.8f}, {0.6f, 0, -0.8f}};
        memcpy(s.vnormal, normals, sizeof normals);
        Draw3DTriangle(&s);
        D3Triangle r = Tri(7, 9, 8, red);
        Draw3DTriangle(&r);
    };
    EXPECT_TRUE(Same(scene, 2000, 250));
    Draw3DSetTranslucent(1);
    EXPECT_TRUE(Same(scene, 2000, 250)) << "translucent";
    Draw3DSetTranslucent(0);
    const int16_t along[3] = {0, 0, 16384};
    Draw3DSetFog(eye, along, 0, 16384, 8000);
    EXPECT_TRUE(Same(scene, 2000, 250)) << "fogged";
    Draw3DFogOff();
    Draw3DSetRenderFlags(RENDER_WIREFRAME);
    EXPECT_TRUE(Same(scene, 100, 250)) << "wireframe";
    Draw3DSetRenderFlags(0);
    Draw3DRemove();
}

// ---- Render-state cache, activation

TEST_F(GLDriver, RepeatedStatesDoNotReachGL)
{
    uint32_t calls = GlDrvStats()->stateCalls;
    GlDrvSetRenderState(GLDRV_RS_BLEND, 1);
    GlDrvSetRenderState(GLDRV_RS_BLEND, 1);
    EXPECT_EQ(GlDrvStats()->stateCalls, calls + 1);
    GlDrvSetRenderState(GLDRV_RS_BLEND, 0);
    GlDrvSetRenderState(GLDRV_RS_DEPTH_FUNC, GLDRV_DEPTH_GEQUAL);
    EXPECT_EQ(GlDrvStats()->stateCalls, calls + 3);
    GlDrvInvalidateStates();
    GlDrvSetRenderState(GLDRV_RS_BLEND, 0);
    EXPECT_EQ(GlDrvStats()->stateCalls, calls + 4) << "a forgotten state goes to GL again";

    // A second frame of the same polygons changes nothing it has set before.
    auto scene = [&] {
        Draw(Rect(D3T_FLAT, 0, 0, 20, 20, 1000, 1, 0, 0));
        Draw(Rect(D3T_BLENDED, 10, 10, 30, 30, 900, 0, 1, 0, 0.5f));
        Draw(Poly(D3T_LINES, {{0, 0, 5}, {30, 30, 5}, {0, 30, 5}}));
    };
    Render(GlDrvHardwareDriver(), scene, -1);
    uint32_t afterFirst = GlDrvStats()->stateCalls, draws = GlDrvStats()->draws;
    Render(GlDrvHardwareDriver(), scene, -1);
    EXPECT_EQ(GlDrvStats()->draws, draws + 3) << "one batch per run of equal state";
    EXPECT_LE(GlDrvStats()->stateCalls - afterFirst, 4u) << "only the changes between the polygons' states";
    EXPECT_EQ(GlDrvStats()->errors, 0u);
}

std::vector<std::string> gLogLines;

// A failed GL call is reported with GL's text, and only while consistency checks are on.
TEST_F(GLDriver, GLErrorsAreReportedOnlyWhileChecking)
{
    typedef void (*BindTextureFn)(unsigned target, unsigned texture);
    auto bind = (BindTextureFn)PlatGLProc("glBindTexture");
    ASSERT_NE(bind, nullptr);
    LogSetHook([](int, const char* line) { gLogLines.push_back(line); });
    auto frame = [&] {
        bind(0xDEAD, 0);   // an enum GL does not know
        Render(GlDrvHardwareDriver(), [&] { Draw(Rect(D3T_FLAT, 0, 0, 20, 20, 1000, 1, 0, 0)); }, -1);
    };
    auto reported = [] {
        for (const std::string& l : gLogLines)
            if (l.find("D3 Reporting error 1280 : An unacceptable value is specified for an enumerated argument.") !=
                std::string::npos)
                return true;
        return false;
    };
    Draw3DCheckFrames(0);
    frame();
    EXPECT_FALSE(reported());
    EXPECT_EQ(GlDrvStats()->errors, 0u);
    Draw3DCheckFrames(1);
    frame();
    Draw3DCheckFrames(0);
    LogSetHook(nullptr);
    EXPECT_TRUE(reported());
    EXPECT_GE(GlDrvStats()->errors, 1u);
    gLogLines.clear();
}

TEST_F(GLDriver, ActivationFailsWithItsReason)
{
    GlDrvDeactivate();
    setenv("TOLBEX_GL", "off", 1);
    EXPECT_EQ(D3Activate(0, 1), 0);
    unsetenv("TOLBEX_GL");
    EXPECT_FALSE(GlDrvIsActive());
    EXPECT_NE(std::string(GlDrvActivateError()).find("TOLBEX_GL=off"), std::string::npos) << GlDrvActivateError();
    // A frame through the inactive driver leaves the screen alone.
    std::vector<uint32_t> before = Screen();
    const D3Driver* d = GlDrvHardwareDriver();
    d->startFrame();
    current = d;
    Draw(Rect(D3T_FLAT, 0, 0, 40, 40, 1000, 1, 1, 1));
    d->endFrame();
    EXPECT_EQ(Screen(), before);
    EXPECT_EQ(D3Activate(0, 1), 1) << "once GL is allowed again";
    // A request for hardware takes a GPU and refuses a GL that rasterises on the processor.
    bool software = strstr(PlatGLRenderer(), "llvmpipe") || strstr(PlatGLRenderer(), "softpipe");
    GlDrvDeactivate();
    EXPECT_EQ(D3Activate(1, 1), software ? 0 : 1) << PlatGLRenderer();
    if (software) {
        EXPECT_NE(std::string(GlDrvActivateError()).find("no hardware device"), std::string::npos) << GlDrvActivateError();
        EXPECT_EQ(D3Activate(0, 1), 1) << "any device will do";
    }
}

}   // namespace
