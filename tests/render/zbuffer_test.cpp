// The software rasteriser through the software drivers' polygon routines: colour tables and
// pixel formats, coverage, hidden surfaces, textures, translucency, clipping and damage.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <thread>
#include <vector>

#include "base/bytes.h"
#include "base/res.h"
#include "base/workpool.h"
#include "platform/platform.h"
#include "render/d3test.h"
#include "render/pixpack.h"
#include "render/scan.h"
#include "render/softdriver.h"
#include "render/zbuffer.h"

class ZBuffer : public ::testing::Test, public PolyStore {
protected:
    int W = 64, H = 48;

    void SetUp() override
    {
        ResRemove();
        ResInstall(200);
        SpriteInstall();
        Mode(16);
        ASSERT_EQ(ZBufferInstall(ZBUFFER_DEFAULT_BYTES), 0);
        ZBufferDepthRange(257.0f, 1e9f);
        // Any work splits into bands, so small scenes do too.
        ScanSetMinBandWork(1);
    }
    void TearDown() override
    {
        ScanSetMinBandWork(0);
        ZBufferRemove();
        PixPackRemove();
        VideoRemove();
        ResRemove();
    }
    void Mode(int bpp)
    {
        VideoRemove();
        VideoInstall();
        ASSERT_EQ(VideoSetMode(W, H, bpp == 16 ? VIDEO_16BIT : VIDEO_32BIT, VIDEO_WINDOWED_SOFTWARE), 0);
        VideoLoadInterfacePalette();
    }
    // An axis-aligned rectangle at one depth, texture mapped once across it.
    D3Polygon* Rect(int type, float x0, float y0, float x1, float y1, float z, float r, float g, float b,
                    ResId texture = 0)
    {
        return Poly(type,
                    {{x0, y0, z, r, g, b, 0, 0}, {x1, y0, z, r, g, b, 1, 0}, {x1, y1, z, r, g, b, 1, 1},
                     {x0, y1, z, r, g, b, 0, 1}},
                    texture);
    }
    static D3Polygon* Levels(D3Polygon* p, float level)
    {
        for (int i = 0; i < p->count; i++) p->ring[i].level = Fix(level);
        return p;
    }
    uint32_t Px(int x, int y) const
    {
        const VideoSurface* t = VideoTarget();
        const uint8_t* p = t->pixels + (size_t)y * t->pitch + (size_t)x * (t->bpp / 8);
        return t->bpp == 16 ? GetU16(p) : GetU32(p);
    }
    std::vector<int> Rgb(int x, int y) const
    {
        uint8_t r, g, b;
        VideoReadPixel(x, y, &r, &g, &b);
        return {r, g, b};
    }
    std::vector<uint32_t> Screen() const
    {
        std::vector<uint32_t> out;
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) out.push_back(Px(x, y));
        return out;
    }
    // Whether exactly the pixels of the rectangle (inclusive corners) differ from `before`.
    ::testing::AssertionResult OnlyChanged(const std::vector<uint32_t>& before, int x0, int y0, int x1, int y1) const
    {
        std::vector<uint32_t> now = Screen();
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++)
                if ((now[y * W + x] != before[y * W + x]) != (x >= x0 && x <= x1 && y >= y0 && y <= y1))
                    return ::testing::AssertionFailure() << "pixel " << x << "," << y;
        return ::testing::AssertionSuccess();
    }
    // Whether every pixel outside the rectangle (inclusive corners) is still 0.
    ::testing::AssertionResult BlankOutside(int x0, int y0, int x1, int y1) const
    {
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++)
                if (Px(x, y) && (x < x0 || x > x1 || y < y0 || y > y1))
                    return ::testing::AssertionFailure() << "pixel " << x << "," << y;
        return ::testing::AssertionSuccess();
    }
    void Clear(int colour = 0)
    {
        VideoSetClip(0, 0, W - 1, H - 1);
        VideoClear(colour);
    }
    // The whole framebuffer, as bytes.
    std::vector<uint8_t> Frame() const
    {
        const VideoSurface* t = VideoTarget();
        return std::vector<uint8_t>(t->pixels, t->pixels + (size_t)t->pitch * t->height);
    }
    void SetFrame(const std::vector<uint8_t>& bytes)
    {
        const VideoSurface* t = VideoTarget();
        std::copy(bytes.begin(), bytes.end(), t->pixels);
    }
    // A frame of these polygons. Every scene is drawn on one thread and again in bands on two
    // and three, from the same pixels: the pictures and counts must agree to the byte.
    void Draw(std::initializer_list<D3Polygon*> list)
    {
        if (WorkPoolThreads() < 3) WorkPoolStart(3);
        const std::vector<uint8_t> before = Frame();
        std::vector<uint8_t> one;
        ZBufferStats oneStats{};
        for (int threads : {1, 2, 3}) {
            SetFrame(before);
            ScanSetThreads(threads);
            ZBufferFrameStart();
            for (D3Polygon* p : list) SoftDriverPolygon(p);
            ZBufferFrameFlush();
            const ZBufferStats stats = *ZBufferGetStats();
            if (threads == 1) {
                one = Frame();
                oneStats = stats;
                continue;
            }
            EXPECT_TRUE(Frame() == one) << "the picture on " << threads << " threads differs from one thread's";
            EXPECT_EQ(stats.polygons, oneStats.polygons) << threads << " threads";
            EXPECT_EQ(stats.spans, oneStats.spans) << threads << " threads";
        }
        ScanSetThreads(1);
    }
    // An 8-bit sprite of w x h whose texel (x, y) is pattern(x, y).
    template <typename F>
    static ResId Sprite8(int w, int h, int transparent, F pattern)
    {
        ResId id = SpriteCreate8(w, h, transparent, nullptr, 0);
        uint8_t* px = SpritePixels(id);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) px[y * w + x] = (uint8_t)pattern(x, y);
        SpriteRelease(id);
        return id;
    }
    // A 32-bit sprite of 0x00RRGGBB texels, row by row, with its key colour.
    static ResId Sprite32(int w, int h, uint32_t key, std::vector<uint32_t> texels)
    {
        ResId id = SpriteCreate32(w, h);
        uint8_t* d = (uint8_t*)ResOpen(id);
        d[12] = (uint8_t)(key >> 16), d[13] = (uint8_t)(key >> 8), d[14] = (uint8_t)key;
        for (size_t i = 0; i < texels.size(); i++) PutU32(d, SPR32_HEADER_SIZE + 4 * i, texels[i]);
        ResClose(id);
        return id;
    }
};

// ---- Colour tables and pixel formats

TEST_F(ZBuffer, PixelFormatsPackFromTheirMasks)
{
    EXPECT_EQ(PixPackComponents(0, 255, 0), 0x07E0u);
    EXPECT_EQ(PixPackComponents(255, 0, 0), 0xF800u);
    D3Polygon* green = Rect(D3T_FLAT, 0, 0, 4, 4, 1000, 0, 1.0f - 1.0f / 16384, 0);
    Draw({green});
    EXPECT_EQ(Px(1, 1), 0x07E0u);

    PixPackSetPixelFormat(0x7C00, 0x03E0, 0x001F);
    EXPECT_EQ(PixPackComponents(0, 255, 0), 0x03E0u);
    EXPECT_EQ(PixPackComponents(255, 255, 255), 0x7FFFu);
    Clear();
    Draw({green});
    EXPECT_EQ(Px(1, 1), 0x03E0u) << "a 5-5-5 format set by masks is kept on a 16-bit target";

    // Other layouts go through the tables: smooth colour and blending as well.
    Clear();
    Draw({Rect(D3T_SHADED, 0, 0, 16, 16, 1000, 0.5f, 0.25f, 0.75f)});
    EXPECT_EQ(Px(8, 8), (16u << 10) | (8u << 5) | 24u);
    SoftDriverPolygon(Levels(Rect(D3T_BLENDED, 0, 0, 16, 16, 900, 1, 1, 1), 0.5f));
    EXPECT_EQ(Px(8, 8), (23u << 10) | (19u << 5) | 27u) << "half way to white, truncated";

    // On a 32-bit display the tables follow the X8-R8-G8-B8 framebuffer, or masks set for it.
    Mode(32);
    Draw({green});
    EXPECT_EQ(Px(1, 1), 0x00FF00u);
    PixPackSetPixelFormat(0x0000FF, 0x00FF00, 0xFF0000);
    Draw({Rect(D3T_SHADED, 0, 0, 16, 16, 900, 0.5f, 0.25f, 0.75f)});
    EXPECT_EQ(Px(8, 8), 0xC04080u);
    SoftDriverPolygon(Levels(Rect(D3T_BLENDED, 0, 0, 16, 16, 800, 0, 1, 0), 0.5f));
    EXPECT_EQ(Px(8, 8), 0x609F40u) << "blended in the tables' lanes";
}

TEST_F(ZBuffer, PaletteChangesReachTexturesWithoutBeingAnnounced)
{
    Mode(32);
    ResId tex = Sprite8(2, 2, -1, [](int, int) { return 7; });
    VideoSetColour(7, 10, 20, 30);
    Draw({Rect(D3T_UNLIT_TEXTURE, 0, 0, 8, 8, 1000, 1, 1, 1, tex)});
    EXPECT_EQ(Px(3, 3), 0x0A141Eu);
    VideoSetColour(7, 200, 100, 50);
    Draw({Rect(D3T_UNLIT_TEXTURE, 0, 0, 8, 8, 999, 1, 1, 1, tex)});
    EXPECT_EQ(Px(3, 3), 0xC86432u);
}

// Known vertex colours and intensities through the shade ramps: level 64 (1.0) gives a texel
// unchanged, half the level half the component; the specular colour adds to the light.
TEST_F(ZBuffer, ShadingFollowsVertexIntensities)
{
    Mode(32);
    ResId tex8 = Sprite8(4, 4, -1, [](int, int) { return 9; });
    ResId tex32 = Sprite32(1, 1, 0, {0xC86428});
    VideoSetColour(9, 200, 100, 40);
    struct Case {
        float light, specular;
        int r, g, b;
    } cases[] = {
        {1.0f, 0, 200, 100, 40},   {0.5f, 0, 100, 50, 20}, {0.25f, 0, 50, 25, 10},
        {1.0f, 0.5f, 255, 150, 60},   // 1.5: red saturates
        {0, 0, 0, 0, 0},
    };
    for (int type : {(int)D3T_TEXTURED, (int)D3T_LIT_TEXTURE, (int)D3T_SECOND_TEXTURE})
        for (ResId tex : {tex8, tex32})
            for (const Case& c : cases) {
                D3Polygon* p = Rect(type, 0, 0, 16, 16, 1000, c.light, c.light, c.light, tex);
                for (int i = 0; i < 4; i++) p->ring[i].sr = p->ring[i].sg = p->ring[i].sb = Fix(c.specular);
                Draw({p});
                EXPECT_EQ(Rgb(8, 8), (std::vector<int>{c.r, c.g, c.b})) << type << " " << tex << " " << c.light;
            }
    // Texels as they are whatever the light; coloured light shades each channel by its own level.
    Draw({Rect(D3T_UNLIT_TEXTURE, 0, 0, 16, 16, 1000, 0.5f, 0.5f, 0.5f, tex8)});
    EXPECT_EQ(Rgb(8, 8), (std::vector<int>{200, 100, 40}));
    Draw({Rect(D3T_TEXTURED, 0, 0, 16, 16, 1000, 1.0f, 0.5f, 0.25f, tex8)});
    EXPECT_EQ(Rgb(8, 8), (std::vector<int>{200, 50, 10}));

    // Untextured colours are the lit colours themselves; across a span they follow the vertices.
    Draw({Rect(D3T_SHADED, 0, 0, 16, 16, 1000, 0.5f, 0.25f, 0.75f)});
    EXPECT_EQ(Rgb(8, 8), (std::vector<int>{128, 64, 192}));
    Draw({Poly(D3T_SHADED, {{0, 0, 1000, 0, 0, 0}, {64, 0, 1000, 1, 1, 1}, {64, 8, 1000, 1, 1, 1},
                            {0, 8, 1000, 0, 0, 0}})});
    for (int x = 0; x < 64; x++) EXPECT_NEAR(Rgb(x, 4)[0], (x + 0.5) * 256 / 64, 1.5) << x;
}

// Flat types fill in the first vertex's lit colour: its colour plus its specular colour.
TEST_F(ZBuffer, FlatTypesTakeTheFirstVertexsLitColour)
{
    for (int bpp : {16, 32}) {
        Mode(bpp);
        for (int type : {D3T_DEFAULT, D3T_FLAT, D3T_FLAT_ALT, D3T_SCREEN_FLAT}) {
            Vert first = {2, 2, 1000, 0.5f, 0.25f, 0.125f, 0, 0, 0, 0.25f, 0.25f, 0.5f};   // lit (0.75, 0.5, 0.625)
            Draw({Poly(type, {first, {30, 2, 1000, 0, 0, 0}, {2, 30, 1000, 0, 1, 0}})});
            EXPECT_EQ(Px(6, 6), bpp == 16 ? 0xC414u : 0xC080A0u) << type;
        }
    }
}

// ---- Coverage

// A pixel is drawn when its centre lies inside the polygon: on its top or left edge counts as
// inside, on its bottom or right edge as outside.
TEST_F(ZBuffer, PixelsAreDrawnWhereTheirCentresAreInside)
{
    std::vector<uint32_t> before = Screen();
    // Only row 4's centres (4.5) lie within 4.2 to 5.4: one span, 10.5 to 20.5.
    Draw({Rect(D3T_SHADED, 10.4f, 4.2f, 20.6f, 5.4f, 1000, 1, 1, 1)});
    EXPECT_EQ(ZBufferGetStats()->spans, 1u);
    EXPECT_EQ(ZBufferGetStats()->polygons, 1u);
    EXPECT_TRUE(OnlyChanged(before, 10, 4, 20, 4));
    Clear();
    Draw({Rect(D3T_SHADED, 3.5f, 2.5f, 9.5f, 7.5f, 1000, 1, 1, 1)});
    EXPECT_TRUE(OnlyChanged(before, 3, 2, 8, 6));
    Clear();
    Draw({Poly(D3T_SHADED, {{10, 9, 1000}, {30, 9, 1000}, {20, 9, 1000}})});
    EXPECT_EQ(ZBufferGetStats()->spans, 0u) << "no height, nothing";
    EXPECT_EQ(Screen(), before);
}

// Triangles that share edges cover every pixel of their union exactly once, in either winding.
TEST_F(ZBuffer, SharedEdgesLeaveNoGapsAndNoOverlap)
{
    Mode(32);
    // A fan of thin triangles round a centre, alternately wound, blended at half so that a
    // pixel drawn twice would come out different from one drawn once.
    const float cx = 31.3f, cy = 23.7f;
    const int spokes = 23;
    for (int i = 0; i < spokes; i++) {
        double a0 = 2 * M_PI * i / spokes, a1 = 2 * M_PI * (i + 1) / spokes;
        Vert c{cx, cy, 1000}, p0{(float)(cx + 20 * cos(a0)), (float)(cy + 20 * sin(a0)), 1000},
            p1{(float)(cx + 20 * cos(a1)), (float)(cy + 20 * sin(a1)), 1000};
        SoftDriverPolygon(Levels(i % 2 ? Poly(D3T_SCREEN_BLENDED, {c, p0, p1}) : Poly(D3T_SCREEN_BLENDED, {c, p1, p0}), 0.5f));
    }
    int once = 0;
    for (uint32_t p : Screen()) {
        ASSERT_TRUE(p == 0 || p == 0x7F7F7F) << std::hex << p;
        once += p != 0;
    }
    EXPECT_NEAR(once, 0.5 * spokes * 400 * sin(2 * M_PI / spokes), 40);
}

// Polygons reaching a few pixels past each side of a frame whose clip rectangle lies inside a
// partition of the screen: every kind of span fills the clip rectangle and writes nothing
// around it.
TEST_F(ZBuffer, SpansStayInsideTheClipRectangle)
{
    ResId tex8 = Sprite8(4, 4, -1, [](int x, int y) { return 250 + (x + y) % 4; });
    ResId tex32 = Sprite32(2, 2, 0, {0x102030, 0x405060, 0x708090, 0xA0B0C0});
    for (int bpp : {16, 32}) {
        Mode(bpp);
        const std::vector<uint32_t> blank = Screen();
        struct Kind {
            int type;
            ResId tex;
        } kinds[] = {{D3T_FLAT, 0},       {D3T_SHADED, 0},          {D3T_BLENDED, 0},   {D3T_TEXTURED, tex8},
                     {D3T_TEXTURED, tex32}, {D3T_UNLIT_TEXTURE, tex8}, {D3T_SCREEN_SMOOTH, 0}, {D3T_SCREEN_TEXTURE, tex32}};
        for (const Kind& k : kinds) {
            SCOPED_TRACE(testing::Message() << bpp << " bits, type " << k.type);
            // Across and past the sides, then down and past the top and bottom.
            for (int across = 0; across < 2; across++) {
                Clear();
                ASSERT_EQ(VideoVirtPart(16, 12, 32, 24), 1);
                VideoSetClip(2, 3, 29, 20);
                ZBufferFrameStart();
                if (across)
                    SoftDriverPolygon(Rect(k.type, -4, 5, 36, 18, 1000, 1, 1, 1, k.tex));
                else
                    SoftDriverPolygon(Rect(k.type, 4, -5, 27, 26, 1000, 1, 1, 1, k.tex));
                VideoVirtPartEnd();
                if (across)
                    EXPECT_TRUE(OnlyChanged(blank, 18, 17, 45, 29));
                else
                    EXPECT_TRUE(OnlyChanged(blank, 20, 15, 42, 32));
            }
        }
    }
}

// ---- Hidden surfaces

TEST_F(ZBuffer, NearerPolygonsWinWhateverTheOrder)
{
    Mode(32);
    // Two rectangles overlapping in the middle, and two planes that cross each other.
    D3Polygon* nearRed = Rect(D3T_SHADED, 4, 4, 40, 30, 1000, 1, 0, 0);
    D3Polygon* farBlue = Rect(D3T_SHADED, 20, 10, 60, 44, 3000, 0, 0, 1);
    D3Polygon* tiltA = Poly(D3T_SHADED, {{0, 32, 500, 0, 1, 0}, {64, 32, 5000, 0, 1, 0}, {64, 48, 5000, 0, 1, 0},
                                         {0, 48, 500, 0, 1, 0}});
    D3Polygon* tiltB = Poly(D3T_SHADED, {{0, 32, 5000, 1, 1, 0}, {64, 32, 500, 1, 1, 0}, {64, 48, 500, 1, 1, 0},
                                         {0, 48, 5000, 1, 1, 0}});
    Draw({nearRed, farBlue, tiltA, tiltB});
    std::vector<uint32_t> forward = Screen();
    Clear();
    Draw({tiltB, farBlue, tiltA, nearRed});
    EXPECT_EQ(Screen(), forward);
    EXPECT_EQ(Px(30, 20), 0xFF0000u) << "the overlap shows the nearer rectangle";
    EXPECT_EQ(Px(50, 20), 0x0000FFu);
    EXPECT_EQ(Px(10, 40), 0x00FF00u) << "left of the crossing the first plane is nearer";
    EXPECT_EQ(Px(54, 40), 0xFFFF00u);
    // A new frame starts with nothing in front of anything.
    Draw({farBlue});
    EXPECT_EQ(Px(30, 20), 0x0000FFu);
    // A frame without polygons leaves the screen as it was.
    Draw({});
    EXPECT_EQ(ZBufferGetStats()->spans, 0u);
    EXPECT_EQ(Px(30, 20), 0x0000FFu);
}

// A floor cut by the near plane changes depth by about 2^27 a row in this small view; the
// depth test must still see where a wall in front of the camera hides it.
TEST_F(ZBuffer, SteepDepthNearTheCameraIsExact)
{
    Mode(32);
    // The floor runs from the near plane (row 0) to far away (row 16); the wall, drawn later,
    // stands where the floor's depth at row centre 12.26 meets it.
    std::vector<Vert> quad = {{0, 0, 257, 1, 0, 0}, {64, 0, 257, 1, 0, 0}, {64, 16, 1e6f, 1, 0, 0}, {0, 16, 1e6f, 1, 0, 0}};
    std::vector<Vert> triangle = {quad[0], quad[1], quad[3]};
    for (const std::vector<Vert>* floor : {&quad, &triangle}) {
        Clear();
        Draw({Poly(D3T_SHADED, *floor), Rect(D3T_SHADED, 0, 0, 64, 16, 1100, 0, 0, 1)});
        for (int y = 0; y < 15; y++)
            EXPECT_EQ(Px(2, y), y < 12 ? 0xFF0000u : 0x0000FFu) << floor->size() << " vertices, row " << y;
    }
}

// At equal depth the polygon drawn later shows, for every kind of span, in either pixel size.
TEST_F(ZBuffer, AtEqualDepthTheLaterPolygonWins)
{
    ResId tex = Sprite8(2, 2, -1, [](int, int) { return 249; });
    for (int bpp : {16, 32}) {
        Mode(bpp);
        for (int type : {D3T_FLAT, D3T_SHADED, D3T_TEXTURED, D3T_UNLIT_TEXTURE}) {
            std::vector<Vert> slope = {{0, 0, 800, 1, 0, 0}, {60, 0, 2000, 1, 0, 0}, {30, 40, 1500, 1, 0, 0}};
            D3Polygon* first = Poly(D3T_SHADED, slope);
            for (Vert& v : slope) v.r = 0, v.b = 1;
            D3Polygon* second = Poly(type, slope, tex);
            Draw({first, second});
            EXPECT_EQ(Rgb(30, 10)[0], 0) << bpp << " bits, type " << type;
        }
    }
}

TEST_F(ZBuffer, ChainedCoplanarPolygonsShowOnTop)
{
    Mode(32);
    // A sloping surface and a decal on it with different vertices, so that their depths are
    // interpolated from different corners.
    auto at = [](float x, float y, float r, float g, float b) {
        return Vert{x, y, 1.0f / (1.0f / 800 + x * 0.00001f + y * 0.000013f), r, g, b};
    };
    D3Polygon* surface =
        Poly(D3T_SHADED, {at(0, 0, 0, 0, 1), at(64, 0, 0, 0, 1), at(64, 48, 0, 0, 1), at(0, 48, 0, 0, 1)});
    D3Polygon* decal =
        Poly(D3T_SHADED, {at(10.3f, 7.1f, 1, 1, 0), at(50.7f, 12.9f, 1, 1, 0), at(33.1f, 41.6f, 1, 1, 0)}, 0, 1);
    Draw({surface, decal});
    int decalPixels = 0;
    for (uint32_t p : Screen()) {
        ASSERT_TRUE(p == 0x0000FF || p == 0xFFFF00);
        decalPixels += p == 0xFFFF00;
    }
    EXPECT_NEAR(decalPixels, 0.5 * fabs((50.7 - 10.3) * (41.6 - 7.1) - (33.1 - 10.3) * (12.9 - 7.1)), 25);
    // Something in front still covers the decal.
    Draw({surface, Rect(D3T_SHADED, 0, 0, 64, 48, 300, 1, 0, 0), decal});
    EXPECT_EQ(Px(30, 20), 0xFF0000u);
}

// ---- Textures

TEST_F(ZBuffer, TransparentTexelsLeaveWhatIsBehind)
{
    Mode(32);
    VideoSetColour(5, 255, 0, 0);
    VideoSetColour(6, 0, 255, 0);
    // Index 5 is the transparent index: a checkerboard of see-through and green.
    ResId tex8 = Sprite8(2, 2, 5, [](int x, int y) { return (x + y) % 2 ? 6 : 5; });
    // 32-bit: the key colour (bytes 12-14) is see-through whatever the alpha byte says.
    ResId tex32 = Sprite32(2, 2, 0x112233, {0xFF112233, 0x00FFFFFF, 0x00FFFFFF, 0x00112233});
    for (ResId tex : {tex8, tex32}) {
        for (int type : {(int)D3T_TRANSPARENT, (int)D3T_BLENDTEXTURE, (int)D3T_UNLIT_KEYED, (int)D3T_SCREEN_TEXTURE}) {
            SCOPED_TRACE(testing::Message() << "texture " << tex << " type " << type);
            Clear(248);   // blue background
            Draw({Rect(D3T_SHADED, 0, 0, 64, 48, 2000, 1, 0, 1), Rect(type, 0, 0, 32, 32, 1000, 1, 1, 1, tex)});
            EXPECT_EQ(Px(8, 8), 0xFF00FFu) << "see-through texel";
            EXPECT_EQ(Px(24, 24), 0xFF00FFu);
            EXPECT_EQ(Px(24, 8) >> 8 & 255, 255u) << "solid texel";
        }
        // See-through texels write no depth either: a polygon behind, drawn later, shows there.
        Draw({Rect(D3T_TRANSPARENT, 0, 0, 32, 32, 1000, 1, 1, 1, tex), Rect(D3T_SHADED, 0, 0, 64, 48, 2000, 1, 0, 1)});
        EXPECT_EQ(Px(8, 8), 0xFF00FFu);
        EXPECT_EQ(Px(24, 8) >> 8 & 255, 255u);
    }
    // The same texture as an opaque type draws every texel.
    Draw({Rect(D3T_UNLIT_TEXTURE, 0, 0, 32, 32, 1000, 1, 1, 1, tex8)});
    EXPECT_EQ(Px(8, 8), 0xFF0000u);
    // While the pipeline wants no texels, a lit texture with transparent texels shows its lit colour.
    Draw3DSetRenderFlags(RENDER_NO_TEXELS);
    Draw({Rect(D3T_TRANSPARENT, 0, 0, 32, 32, 900, 0.5f, 0.5f, 0.5f, tex8)});
    Draw3DSetRenderFlags(0);
    EXPECT_EQ(Px(8, 8), 0x808080u);
}

TEST_F(ZBuffer, TexturedTypesWithoutTextureDrawNothingOrFallBack)
{
    Mode(32);
    ResId notSprite = ResCreate(64);
    memset(ResOpen(notSprite), 0, 64);
    ResClose(notSprite);
    for (ResId tex : {(ResId)0, notSprite}) {
        Clear();
        std::vector<uint32_t> before = Screen();
        Draw({Rect(D3T_TRANSPARENT, 0, 0, 30, 30, 1000, 1, 1, 1, tex), Rect(D3T_BLENDTEXTURE, 0, 0, 30, 30, 1000, 1, 1, 1, tex),
              Rect(D3T_SCREEN_TEXTURE, 0, 0, 30, 30, 1000, 1, 1, 1, tex)});
        EXPECT_EQ(Screen(), before) << "texture " << tex;
        // Lit textures fall back to their lit colours, unlit ones to the first vertex's.
        Draw({Rect(D3T_TEXTURED, 0, 0, 30, 30, 1000, 0.5f, 0.5f, 0.5f, tex)});
        EXPECT_EQ(Px(10, 10), 0x808080u);
        Draw({Poly(D3T_UNLIT_TEXTURE, {{0, 0, 1000, 0.25f, 0.25f, 0.25f}, {30, 0, 1000}, {0, 30, 1000}}, tex)});
        EXPECT_EQ(Px(10, 10), 0x404040u);
    }
}

// Mapping coordinates far outside 0..1 on a sprite of odd size: the texture repeats, every
// pixel is one of its texels, and nothing is read outside it.
TEST_F(ZBuffer, TexturesWrapAndStayInsideTheSprite)
{
    Mode(32);
    for (int i = 0; i < 15; i++) VideoSetColour(100 + i, (uint8_t)(i * 16), 255, (uint8_t)(255 - i * 16));
    ResId tex = Sprite8(3, 5, -1, [](int x, int y) { return 100 + y * 3 + x; });
    // Twice across and down over a 60 x 40 rectangle: left and right halves repeat.
    Draw({Poly(D3T_TEXTURED,
               {{0, 0, 1000, 1, 1, 1, -3, 5}, {60, 0, 1000, 1, 1, 1, -1, 5}, {60, 40, 1000, 1, 1, 1, -1, 7},
                {0, 40, 1000, 1, 1, 1, -3, 7}},
               tex)});
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 30; x++) {
            ASSERT_EQ(Px(x, y), Px(x + 30, y)) << x << "," << y;
            ASSERT_EQ(Px(x, y), Px(x, y + 20)) << x << "," << y;
            ASSERT_EQ(Px(x, y) >> 8 & 255, 255u);
        }
    EXPECT_EQ(Px(1, 1), 0x00FFFFu) << "texel (0, 0)";
    EXPECT_EQ(Px(29, 19), ((14u * 16) << 16) | 0xFF00u | (255 - 14 * 16)) << "texel (2, 4)";
    // Huge and non-finite coordinates draw without reading outside the sprite.
    Draw({Poly(D3T_TEXTURED, {{0, 0, 1000, 1, 1, 1, -1e30f, 1e30f}, {60, 0, 1000, 1, 1, 1, NAN, 0},
                              {30, 40, 1000, 1, 1, 1, 1e9f, -7e8f}},
               tex)});
}

// ---- Translucency, outlines, screen space, drivers

TEST_F(ZBuffer, BlendLevelsMixWithWhatIsThere)
{
    Mode(32);
    Draw({Rect(D3T_SHADED, 0, 0, 64, 48, 2000, 0, 0, 1)});
    SoftDriverPolygon(Levels(Rect(D3T_BLENDED, 0, 0, 20, 20, 1000, 1, 0, 0), 0.5f));
    SoftDriverPolygon(Levels(Rect(D3T_BLENDED, 30, 0, 50, 20, 1000, 1, 0, 0), 1.0f));
    EXPECT_EQ(Px(10, 10), 0x7F007Fu);
    EXPECT_EQ(Px(40, 10), 0x0000FFu) << "a fully transparent polygon leaves the pixel";
    // ...and its depth: a polygon behind it still shows.
    SoftDriverPolygon(Rect(D3T_SHADED, 30, 0, 50, 20, 1500, 0, 1, 0));
    EXPECT_EQ(Px(40, 10), 0x00FF00u);
}

TEST_F(ZBuffer, LinesAndOutlinesStayInsideTheClip)
{
    std::vector<uint32_t> blank = Screen();
    VideoSetClip(10, 10, 30, 30);
    ScanLine(20, 20, 20, 20, 255);
    EXPECT_EQ(Px(20, 20), VideoPixelTable()[255]);
    ScanLine(-1000, 25, 1000, 25, 249);
    ScanLine(0, 0, 63, 47, 249);
    EXPECT_TRUE(BlankOutside(10, 10, 30, 30));
    for (int x = 10; x <= 30; x++) EXPECT_EQ(Px(x, 25), VideoPixelTable()[249]) << x;

    // A wireframe triangle is its three edges, each in the lit colour of the vertex it leaves.
    Clear();
    Draw({Poly(D3T_LINES, {{5, 5, 1000, 0, 1, 0}, {40, 5, 1000, 1, 0, 0}, {5, 40, 1000, 0, 0, 1}})});
    EXPECT_EQ(Px(20, 5), 0x07E0u);
    EXPECT_EQ(Px(22, 23), 0xF800u);
    EXPECT_EQ(Px(5, 20), 0x001Fu);
    EXPECT_EQ(Px(12, 12), 0u);
}

// Screen-space types ignore depth; z-buffered ones go behind nothing they should not.
TEST_F(ZBuffer, ScreenSpaceTypesDrawOverEverything)
{
    Mode(32);
    Draw({Rect(D3T_SHADED, 0, 0, 40, 40, 300, 1, 0, 0), Rect(D3T_SCREEN_SMOOTH, 10, 10, 20, 20, 90000, 0, 1, 0)});
    EXPECT_EQ(Px(15, 15), 0x00FF00u);
    EXPECT_EQ(Px(25, 25), 0xFF0000u);
}

// The Z-buffer driver draws every named type (the textured ones need a texture), the
// non-Z-buffered one the screen-space types, the placeholder outlines; types without a name
// draw nothing anywhere.
TEST_F(ZBuffer, DriversDrawTheirTypes)
{
    const D3Driver *z = SoftDriverZBuffer(), *nz = SoftDriverNonZ(), *ph = SoftDriverPlaceholder();
    EXPECT_STREQ(z->name, "Software Z-Buffer");
    EXPECT_STREQ(nz->name, "Software Renderer Non ZBuffered");
    EXPECT_STREQ(ph->name, "Software Renderer");
    EXPECT_EQ(z->maxTextureEdge, 1024);
    EXPECT_TRUE(z->flags & DRV_SPECULAR) << "lit texels take the specular colour";
    const int flat[] = {D3T_DEFAULT, D3T_FLAT, D3T_SHADED, D3T_SECOND_TEXTURE, D3T_UNLIT_TEXTURE, D3T_LIT_TEXTURE,
                        D3T_UNLIT_KEYED, D3T_TEXTURED, D3T_FLAT_ALT, D3T_BLENDED, D3T_SCREEN_FLAT, D3T_SCREEN_SMOOTH,
                        D3T_SCREEN_BLENDED};
    const int outlines[] = {D3T_OUTLINE, D3T_LINES, D3T_SCREEN_OUTLINE};
    auto draws = [&](const D3Driver* d, int type) {
        Clear();
        if (d->startFrame) d->startFrame();
        d->polygons[type](Rect(type, 2, 2, 30, 30, 1000, 1, 1, 1));
        if (d->endFrame) d->endFrame();
        return Px(15, 15) != 0 ? 2 : Px(2, 15) != 0 ? 1 : 0;   // filled, outline, nothing
    };
    for (int type = 0; type < D3T_COUNT; type++) {
        int filled = std::count(std::begin(flat), std::end(flat), type), outline = std::count(std::begin(outlines), std::end(outlines), type);
        bool screen = type >= D3T_SCREEN_FLAT && type <= D3T_SCREEN_TEXTURE;
        EXPECT_EQ(draws(z, type), filled ? 2 : outline) << "z-buffer type " << type;
        EXPECT_EQ(draws(nz, type), screen ? (filled ? 2 : outline) : 0) << "non z-buffered type " << type;
        EXPECT_EQ(draws(ph, type), outline && !screen ? 1 : 0) << "placeholder type " << type;
    }
}

// ---- Limits and damage

TEST_F(ZBuffer, DepthLimitsAreFatal)
{
    ZBufferDepthRange(257.0f, 2147483520.0f);   // the largest float below 2^31
    ZBufferFrameStart();
    EXPECT_EXIT((ZBufferDepthRange(256.9f, 1000.0f), ZBufferFrameStart()), testing::ExitedWithCode(1),
                "ZBuffer - ZMin MUST be  >= ZBufferMinZ");
    EXPECT_EXIT((ZBufferDepthRange(300.0f, 2147483648.0f), ZBufferFrameStart()), testing::ExitedWithCode(1),
                "ZBuffer - ZMax MUST be  <= ZBufferMaxZ");
    EXPECT_EQ(ZBufferDepthOf(257), 2139127680u);   // 2^39 / 257
    EXPECT_EQ(ZBufferDepthOf(100), ZBufferDepthOf(257)) << "nearer than the limit counts as the limit";
    EXPECT_EQ(ZBufferDepthOf(1e12f), 256u);
}

TEST_F(ZBuffer, BudgetOverflowLosesRowsButNothingElse)
{
    ASSERT_EQ(ZBufferInstall(64 * 20 * 4), 0);
    Draw({Rect(D3T_SHADED, -10, -10, 80, 60, 1000, 1, 1, 1)});
    EXPECT_EQ(ZBufferGetStats()->rowsLost, 28u);
    for (int y = 0; y < H; y++) EXPECT_EQ(Px(32, y) != 0, y < 20) << y;
    // Budgets that cannot be had are refused and the buffer in use stays.
    EXPECT_EQ(ZBufferInstall(-4), 1);
    EXPECT_EQ(ZBufferInstall(1ll << 40), 1);
    Clear();
    Draw({Rect(D3T_SHADED, -10, -10, 80, 60, 1000, 1, 1, 1)});
    EXPECT_NE(Px(32, 19), 0u);
    EXPECT_EQ(Px(32, 20), 0u);
}

TEST_F(ZBuffer, DamagedPolygonsAndMovedTargetsAreNotDrawn)
{
    std::vector<uint32_t> before = Screen();
    D3Polygon* broken = Rect(D3T_SHADED, 0, 0, 30, 30, 1000, 1, 1, 1);
    broken->ring->next->next = nullptr;
    D3Polygon* nan = Poly(D3T_SHADED, {{0, 0, 1000}, {NAN, 30, 1000}, {30, 30, 1000}});
    D3Polygon* none = Rect(D3T_SHADED, 0, 0, 30, 30, 1000, 1, 1, 1);
    none->ring = nullptr;
    D3Polygon* badType = Rect(D3T_SHADED, 0, 0, 30, 30, 1000, 1, 1, 1);
    badType->type = 99;
    Draw({broken, nan, none, badType});
    EXPECT_EQ(Screen(), before);

    // Huge coordinates and depths are clipped to the view.
    VideoSetClip(8, 8, 40, 40);
    Draw({Poly(D3T_SHADED, {{-1e20f, -1e20f, 1e-3f}, {1e20f, -5, 3e38f}, {20, 1e20f, NAN}})});
    EXPECT_TRUE(BlankOutside(8, 8, 40, 40));

    // A frame belongs to the target it started on: after switching to a partition the
    // depth-tested polygons wait for the next frame start.
    Clear();
    ZBufferFrameStart();
    ASSERT_EQ(VideoVirtPart(32, 24, 32, 24), 1);
    SoftDriverPolygon(Rect(D3T_SHADED, 0, 0, 10, 10, 1000, 1, 1, 1));
    EXPECT_EQ(Screen(), before);
    ZBufferFrameStart();
    SoftDriverPolygon(Rect(D3T_SHADED, 0, 0, 10, 10, 1000, 1, 1, 1));
    VideoVirtPartEnd();
    EXPECT_TRUE(OnlyChanged(before, 32, 24, 41, 33)) << "drawn at the partition's origin";
}

// ---- 16 and 32 bits

TEST_F(ZBuffer, SixteenAndThirtyTwoBitPicturesAgree)
{
    auto scene = [&]() {
        VideoSetColour(20, 250, 130, 10);
        VideoSetColour(21, 30, 90, 200);
        ResId tex = Sprite8(4, 4, 21, [](int x, int y) { return (x ^ y) & 1 ? 20 : 21; });
        ResId tex32 = Sprite32(2, 2, 0x1E5AC8, {0x1E5AC8, 0xFA820A, 0x40C040, 0x1E5AC8});
        Clear(252);
        ZBufferFrameStart();
        SoftDriverPolygon(
            Poly(D3T_SHADED, {{3, 2, 900, 1, 0.2f, 0}, {60, 9, 1900, 0, 0.9f, 0.3f}, {20, 45, 700, 0.4f, 0.4f, 1}}));
        SoftDriverPolygon(Poly(D3T_TEXTURED, {{40, 0, 800, 0.3f, 0.6f, 0.9f, 0, 0}, {63, 30, 800, 1.2f, 1, 0.8f, 2, 0},
                                              {10, 47, 1200, 0.7f, 0.7f, 0.7f, 2, 3}},
                               tex));
        SoftDriverPolygon(Levels(Poly(D3T_BLENDED, {{0, 20, 600, 0, 1, 1}, {50, 20, 600, 0, 1, 1}, {30, 47, 600, 1, 1, 0}}), 0.3f));
        SoftDriverPolygon(Poly(D3T_TRANSPARENT, {{5, 5, 500, 1, 1, 1, 0, 0}, {25, 5, 500, 1, 1, 1, 1, 0},
                                                 {25, 25, 500, 1, 1, 1, 1, 1}, {5, 25, 500, 1, 1, 1, 0, 1}},
                               tex));
        SoftDriverPolygon(Poly(D3T_UNLIT_KEYED, {{40, 30, 400, 1, 1, 1, 0, 0}, {60, 30, 400, 1, 1, 1, 2, 0},
                                                 {50, 46, 400, 1, 1, 1, 1, 2}},
                               tex32));
        SoftDriverPolygon(Poly(D3T_TRANSPARENT, {{30, 2, 450, 0.8f, 0.6f, 1, 0, 0}, {46, 2, 450, 0.8f, 0.6f, 1, 2, 0},
                                                 {30, 18, 450, 0.5f, 1, 0.7f, 0, 2}},
                               tex32));
        ZBufferFrameFlush();
        return Screen();
    };
    std::vector<uint32_t> sixteen = scene();
    Mode(32);
    std::vector<uint32_t> thirtyTwo = scene();
    // Blends read back what is there, which 5-6-5 holds with less precision: one step apart
    // at most, and nowhere else any difference.
    for (size_t i = 0; i < sixteen.size(); i++) {
        uint32_t p = thirtyTwo[i], q = sixteen[i];
        int dr = abs((int)(p >> 19 & 31) - (int)(q >> 11)), dg = abs((int)(p >> 10 & 63) - (int)(q >> 5 & 63)),
            db = abs((int)(p >> 3 & 31) - (int)(q & 31));
        ASSERT_LE(std::max(dr, std::max(dg, db)), 1) << "pixel " << i % W << "," << i / W;
    }
}

// ---- Bands on several threads

// A crowded scene of every type the Z-buffer driver draws, with textures of both sizes,
// chained and blended polygons, rings of three to six points reaching past the clip, screen
// polygons and outlines between the queued ones (each finishes the queue first), drawn on
// 1, 2, 3, 5 and 7 threads: every picture must be the one-thread picture to the byte.
TEST_F(ZBuffer, BandsOnAnyThreadCountDrawTheOneThreadPicture)
{
    W = 67, H = 53;   // odd sizes put band edges on odd rows
    ResId tex8 = Sprite8(8, 4, 3, [](int x, int y) { return (x * 7 + y * 3) % 11 == 0 ? 3 : 240 + (x + y) % 16; });
    ResId tex32 = Sprite32(2, 2, 0x405060, {0x102030, 0x405060, 0x708090, 0xA0B0C0});
    const int types[] = {D3T_DEFAULT,     D3T_FLAT,          D3T_SHADED,          D3T_SECOND_TEXTURE, D3T_UNLIT_TEXTURE,
                         D3T_LIT_TEXTURE, D3T_UNLIT_KEYED,   D3T_TEXTURED,        D3T_OUTLINE,        D3T_LINES,
                         D3T_FLAT_ALT,    D3T_BLENDED,       D3T_TRANSPARENT,     D3T_BLENDTEXTURE,   D3T_SCREEN_FLAT,
                         D3T_SCREEN_SMOOTH, D3T_SCREEN_BLENDED, D3T_SCREEN_OUTLINE, D3T_SCREEN_TEXTURE};
    uint32_t seed = 12345;
    auto rnd = [&](float lo, float hi) {
        seed = seed * 1664525u + 1013904223u;
        return lo + (hi - lo) * (float)(seed >> 8) / 16777216.0f;
    };
    std::vector<D3Polygon*> scene;
    for (int i = 0; i < 400; i++) {
        int type = types[i % (sizeof types / sizeof types[0])];
        if (i % 40 > 3 && type >= D3T_SCREEN_FLAT) type = D3T_SHADED;   // a few screen ones only
        int n = 3 + (int)rnd(0, 3.99f);
        float cx = rnd(-8, (float)W + 8), cy = rnd(-8, (float)H + 8), radius = rnd(2, 30), z = rnd(300, 5000);
        std::vector<Vert> ring;
        for (int k = 0; k < n; k++) {
            float a = 6.2831853f * k / n + rnd(0, 0.5f);
            Vert v{cx + radius * std::cos(a), cy + radius * std::sin(a), z + rnd(-200, 200)};
            v.r = rnd(0, 1.9f), v.g = rnd(0, 1.9f), v.b = rnd(0, 1.9f);
            v.sr = rnd(0, 0.3f);
            v.u = rnd(-2, 2), v.v = rnd(-2, 2);
            v.level = rnd(0, 1);
            ring.push_back(v);
        }
        scene.push_back(Poly(type, ring, i % 2 ? tex8 : tex32, i % 9 == 0));
    }
    for (int bpp : {16, 32}) {
        Mode(bpp);
        for (int clipTop : {0, 3}) {
            SCOPED_TRACE(testing::Message() << bpp << " bits, clip from row " << clipTop);
            std::vector<uint8_t> one;
            for (int threads : {1, 2, 3, 5, 7}) {
                WorkPoolStart(threads);
                ASSERT_EQ(ScanSetThreads(threads), threads);
                Clear(252);
                VideoSetClip(1, clipTop, W - 2, H - 1 - clipTop);   // 53 or 47 rows
                ZBufferFrameStart();
                for (D3Polygon* p : scene) SoftDriverPolygon(p);
                ZBufferFrameFlush();
                if (threads == 1) {
                    one = Frame();
                    continue;
                }
                EXPECT_EQ(ScanLastBands(), threads) << "every thread had a band of the last batch";
                EXPECT_TRUE(Frame() == one) << threads << " threads";
            }
        }
    }
    ScanSetThreads(1);
}

// The workers draw their bands while the polygons still come, and the rows are shared out
// again after every frame by how long each thread took: frame after frame, with textures at
// both depths and polygons overlapping at equal depth, every picture is the one-thread one.
TEST_F(ZBuffer, FrameAfterFrameOnTwoThreadsTheSharedRowsDrawTheOneThreadPicture)
{
    W = 200, H = 150;
    ScanSetMinBandWork(0);   // the editor's own threshold: the frame must earn its threads
    ResId tex8 = Sprite8(8, 4, 3, [](int x, int y) { return (x * 5 + y) % 7 == 0 ? 3 : 200 + (x + y) % 16; });
    uint32_t seed = 777;
    auto rnd = [&](float lo, float hi) {
        seed = seed * 1664525u + 1013904223u;
        return lo + (hi - lo) * (float)(seed >> 8) / 16777216.0f;
    };
    std::vector<D3Polygon*> scene;
    for (int i = 0; i < 3000; i++) {
        float cx = rnd(0, (float)W), cy = rnd(0, (float)H), r = rnd(3, 25);
        float z = i % 3 ? 1000 : rnd(500, 4000);   // a third at one depth: the later must win
        std::vector<Vert> ring;
        for (int k = 0; k < 3; k++) {
            float a = 2.0944f * k + rnd(0, 1);
            Vert v{cx + r * std::cos(a), cy + r * std::sin(a), z};
            v.r = rnd(0, 1.5f), v.g = rnd(0, 1.5f), v.b = rnd(0, 1.5f);
            v.u = rnd(-1, 1), v.v = rnd(-1, 1);
            ring.push_back(v);
        }
        scene.push_back(Poly(i % 2 ? D3T_TEXTURED : D3T_SHADED, ring, tex8));
    }
    for (int bpp : {16, 32}) {
        SCOPED_TRACE(testing::Message() << bpp << " bits");
        Mode(bpp);
        WorkPoolStart(2);
        std::vector<uint8_t> one;
        for (int frame = 0; frame < 12; frame++) {
            ScanSetThreads(frame == 0 ? 1 : 2);
            Clear(9);
            ZBufferFrameStart();
            for (D3Polygon* p : scene) SoftDriverPolygon(p);
            ZBufferFrameFlush();
            if (frame == 0) {
                one = Frame();
                continue;
            }
            ASSERT_EQ(ScanLastBands(), 2) << "frame " << frame;
            ASSERT_TRUE(Frame() == one) << "frame " << frame;
        }
    }
    ScanSetThreads(1);
}

// A worker that has drawn everything published waits; when the caller pauses long enough
// (a frame's pipeline busy elsewhere) it sleeps, and the next polygons and the frame's end
// must wake it: a worker left asleep would hang the frame.
TEST_F(ZBuffer, WorkersThatSleepBetweenPolygonsAreWokenByTheNextOnes)
{
    W = 160, H = 120;
    Mode(32);
    WorkPoolStart(2);
    std::vector<uint8_t> one;
    for (int threads : {1, 2}) {
        ScanSetThreads(threads);
        Clear(5);
        ZBufferFrameStart();
        for (int i = 0; i < 40; i++) {
            SoftDriverPolygon(Rect(D3T_SHADED, (float)(i * 3), (float)i, (float)(i * 3 + 60), (float)(i + 70),
                                   (float)(1000 + 37 * (i % 5)), (float)(i % 3) / 2, 0.5f, (float)(i % 7) / 6));
            if (i % 16 == 15) std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        ZBufferFrameFlush();
        if (threads == 1) {
            one = Frame();
            continue;
        }
        EXPECT_EQ(ScanLastBands(), 2);
        EXPECT_TRUE(Frame() == one);
    }
    ScanSetThreads(1);
}

// The queue keeps the order of everything drawn into the frame: what the video layer draws
// or reads between queued polygons sees them drawn, and what is queued after it goes over it.
TEST_F(ZBuffer, WhatTheVideoLayerDrawsBetweenQueuedPolygonsKeepsItsPlace)
{
    Mode(32);
    WorkPoolStart(2);
    for (int threads : {1, 2}) {
        SCOPED_TRACE(testing::Message() << threads << " threads");
        ScanSetThreads(threads);
        Clear();
        ZBufferFrameStart();
        SoftDriverPolygon(Rect(D3T_FLAT, 0, 0, 40, 40, 1000, 1.0f - 1.0f / 16384, 0, 0));
        EXPECT_EQ(Rgb(5, 5), (std::vector<int>{255, 0, 0})) << "a pixel read sees the polygon";
        VideoSetClip(0, 0, 9, 9);
        VideoClear(255);
        VideoSetClip(0, 0, W - 1, H - 1);
        SoftDriverPolygon(Rect(D3T_FLAT, 5, 5, 20, 20, 500, 0, 0, 1.0f - 1.0f / 16384));
        ZBufferFrameFlush();
        EXPECT_EQ(Rgb(2, 2), (std::vector<int>{252, 252, 252})) << "the clear is over the first polygon";
        EXPECT_EQ(Rgb(7, 7), (std::vector<int>{0, 0, 255})) << "the later polygon is over the clear";
        EXPECT_EQ(Rgb(30, 30), (std::vector<int>{255, 0, 0}));
    }
    ScanSetThreads(1);
}

// A frame with little to draw keeps to the caller's thread; a full one uses every thread.
TEST_F(ZBuffer, OnlyWorkEnoughForThemWakesTheThreads)
{
    W = 320, H = 240;
    Mode(32);
    ScanSetMinBandWork(0);
    WorkPoolStart(4);
    ScanSetThreads(4);
    ZBufferFrameStart();
    SoftDriverPolygon(Rect(D3T_FLAT, 0, 0, 20, 20, 1000, 1, 0, 0));
    ZBufferFrameFlush();
    EXPECT_EQ(ScanLastBands(), 1);
    ZBufferFrameStart();
    SoftDriverPolygon(Rect(D3T_FLAT, 0, 0, 319, 239, 1000, 1, 0, 0));
    ZBufferFrameFlush();
    EXPECT_EQ(ScanLastBands(), 3) << "76,800 pixels: three shares of 24,000";
    // The bands are placed as a batch's first polygons come, from the work of the batch before
    // (here the full view's, three shares); the next frame knows its own work was more.
    D3Polygon* small = Rect(D3T_FLAT, 100, 100, 130, 120, 1000, 1, 0, 0);
    ZBufferStats counts[3];
    int bands[3];
    for (int round : {0, 1, 2}) {
        ScanSetThreads(round == 0 ? 1 : 4);
        ZBufferFrameStart();
        for (int i = 0; i < 20000; i++) SoftDriverPolygon(small);
        ZBufferFrameFlush();
        counts[round] = *ZBufferGetStats();
        bands[round] = ScanLastBands();
    }
    EXPECT_EQ(bands[1], 4) << "a full queue finished on the way; the rest took the first batch's work";
    EXPECT_EQ(bands[2], 4);
    for (int round : {0, 1, 2}) {
        EXPECT_EQ(counts[round].polygons, 20000u) << round;
        EXPECT_EQ(counts[round].spans, counts[0].spans) << "each polygon's rows counted once over its bands";
    }
    ScanSetThreads(1);
}

// Counts are of this frame's bands only: a finish with fewer bands than the one before does
// not count what the earlier bands drew.
TEST_F(ZBuffer, CountsAreOfTheLastFinishsOwnBands)
{
    W = 90, H = 90;
    Mode(32);
    WorkPoolStart(3);
    ScanSetThreads(3);
    std::vector<D3Polygon*> big, none;
    for (int i = 0; i < 30; i++) {
        big.push_back(Rect(D3T_FLAT, 0, 0, 89, 89, 1000, 1, 0, 0));
        // Tall, but between two columns of pixel centres: rows to walk and no span on any.
        none.push_back(Rect(D3T_FLAT, 10.6f + i, 0.6f, 11.4f + i, 88.4f, 1000, 0, 1, 0));
    }
    ZBufferFrameStart();
    for (D3Polygon* p : big) SoftDriverPolygon(p);
    ZBufferFrameFlush();
    ASSERT_EQ(ScanLastBands(), 3);
    EXPECT_EQ(ZBufferGetStats()->polygons, 30u);
    ScanSetThreads(2);
    ZBufferFrameStart();
    for (D3Polygon* p : none) SoftDriverPolygon(p);
    ZBufferFrameFlush();
    ASSERT_EQ(ScanLastBands(), 2);
    EXPECT_EQ(ZBufferGetStats()->polygons, 0u);
    EXPECT_EQ(ZBufferGetStats()->spans, 0u);
    ScanSetThreads(1);
}
