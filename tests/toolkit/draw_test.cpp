#include <gtest/gtest.h>

#include <vector>

#include "support/screen.h"

class Draw : public ScreenTest {
protected:
    // Every screen pixel that is not 0, as (x, y, value).
    struct Lit {
        int x, y;
        uint32_t v;
        bool operator==(const Lit& o) const { return x == o.x && y == o.y && v == o.v; }
    };
    static std::vector<Lit> LitPixels()
    {
        std::vector<Lit> out;
        for (int y = 0; y < 200; y++)
            for (int x = 0; x < 320; x++)
                if (Px(x, y)) out.push_back({x, y, Px(x, y)});
        return out;
    }
    static void Clear()
    {
        VideoSetClip(0, 0, 319, 199);
        VideoClear(0);
    }
};

// ---- Rectangles

TEST_F(Draw, FilledRectanglesAreClippedAndOutsideOnesDrawNothing)
{
    VideoSetClip(10, 10, 50, 40);
    DrawFillRect(0, 0, 20, 20, GREEN);
    for (int y = 0; y < 60; y++)
        for (int x = 0; x < 60; x++) {
            bool inside = x >= 10 && x <= 20 && y >= 10 && y <= 20;
            ASSERT_EQ(Px(x, y), inside ? Pal(GREEN) : 0u) << x << "," << y;
        }

    Clear();
    VideoSetClip(10, 10, 50, 40);
    DrawFillRect(51, 10, 80, 40, GREEN);        // just right of the clip rectangle
    DrawFillRect(-30, -30, 9, 100, GREEN);      // just left
    DrawFillRect(10, 41, 50, 41, GREEN);        // just below
    DrawFillRect(30, 30, 20, 35, GREEN);        // inverted corners: empty
    EXPECT_TRUE(LitPixels().empty());

    // Coordinates far outside the screen are clipped, not walked or written.
    DrawFillRect(-2000000000, 25, 2000000000, 25, YELLOW);
    EXPECT_EQ(LitPixels().size(), 41u);
    EXPECT_EQ(Pxs({{10, 25}, {50, 25}}), Pals({YELLOW, YELLOW}));
}

TEST_F(Draw, OutlineDrawsOnlyTheEdgesInsideTheClip)
{
    DrawFillRect(20, 20, 30, 28, GREEN | DRAW_OUTLINE);
    int lit = 0;
    for (int y = 15; y < 35; y++)
        for (int x = 15; x < 35; x++) {
            bool edge = (x >= 20 && x <= 30 && (y == 20 || y == 28)) || (y >= 20 && y <= 28 && (x == 20 || x == 30));
            ASSERT_EQ(Px(x, y), edge ? Pal(GREEN) : 0u) << x << "," << y;
            lit += edge;
        }
    EXPECT_EQ(lit, 2 * 11 + 2 * 7);

    // Partly outside: the left edge and the parts of the others beyond x = 25 are gone.
    Clear();
    VideoSetClip(25, 0, 319, 199);
    DrawFillRect(20, 20, 30, 28, GREEN | DRAW_OUTLINE);
    EXPECT_EQ(LitPixels().size(), (size_t)(2 * 6 + 7));
    EXPECT_EQ(Pxs({{25, 20}, {30, 24}, {26, 24}}), Pals({GREEN, GREEN, -1}));
}

TEST_F(Draw, TargetsOfEveryDepthAndPartitions)
{
    // A partition moves the origin: target (0, 0) is screen (100, 50).
    ASSERT_TRUE(VideoVirtPart(100, 50, 20, 10));
    DrawFillRect(-5, -5, 2, 30, GREEN);   // clipped to the partition
    VideoVirtPartEnd();
    EXPECT_EQ((std::vector<uint32_t>{Px(100, 50), Px(102, 59), Px(103, 50), Px(100, 60), Px(99, 50)}),
              (std::vector<uint32_t>{Pal(GREEN), Pal(GREEN), 0, 0, 0}));

    // An 8-bit target (a sprite) takes the palette index itself.
    ResId s = SpriteCreate8(4, 3, -1, nullptr, 0);
    SpriteBeginDraw(s);
    DrawFillRect(1, 0, 2, 2, 77);
    DrawLine(0, 0, 3, 0, 78);
    SpriteEndDraw();
    const uint8_t* p = SpritePixels(s);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 12), (std::vector<uint8_t>{78, 78, 78, 78, 0, 77, 77, 0, 0, 77, 77, 0}));
    SpriteRelease(s);

    // 32-bit framebuffer.
    ASSERT_EQ(VideoSetMode(320, 200, VIDEO_32BIT, VIDEO_WINDOWED_HARDWARE), 0);
    DrawFillRect(5, 5, 6, 6, RED);
    DrawLine(0, 10, 3, 10, BLUE);
    EXPECT_EQ((std::vector<uint32_t>{Px(6, 6), Px(3, 10), Px(7, 6)}), (std::vector<uint32_t>{0x00C00000, 0x0000FC, 0}));
}

// ---- Lines

TEST_F(Draw, LinesAreContinuousAndInclusiveInEveryDirection)
{
    struct L { int x0, y0, x1, y1; } lines[] = {
        {10, 10, 60, 30}, {60, 30, 10, 10}, {10, 10, 30, 70}, {30, 70, 10, 10},
        {100, 5, 100, 40}, {5, 100, 80, 100}, {50, 50, 50, 50}, {200, 20, 150, 90},
    };
    for (const L& l : lines) {
        Clear();
        DrawLine(l.x0, l.y0, l.x1, l.y1, GREEN);
        std::vector<Lit> lit = LitPixels();
        int dx = abs(l.x1 - l.x0), dy = abs(l.y1 - l.y0);
        // One pixel per step of the longer axis, both ends included, each a neighbour of the
        // one before.
        ASSERT_EQ(lit.size(), (size_t)(dx > dy ? dx : dy) + 1) << l.x0 << "," << l.y0;
        EXPECT_EQ(Pxs({{l.x0, l.y0}, {l.x1, l.y1}}), Pals({GREEN, GREEN}));
        for (const Lit& a : lit) {
            bool neighbour = lit.size() == 1;
            for (const Lit& b : lit)
                if ((a.x != b.x || a.y != b.y) && abs(a.x - b.x) <= 1 && abs(a.y - b.y) <= 1) neighbour = true;
            EXPECT_TRUE(neighbour) << a.x << "," << a.y;
        }
    }
}

TEST_F(Draw, ClippedLinesKeepTheUnclippedPixelsInsideTheClip)
{
    struct L { int x0, y0, x1, y1; } lines[] = {
        {0, 0, 319, 199}, {319, 0, 0, 199}, {5, 190, 300, 3}, {40, 0, 47, 199},
        {-500, 120, 900, 20}, {-3000, -1000, 3000, 1000}, {160, -100000, 161, 100000},
    };
    for (const L& l : lines) {
        // The pixels of the line drawn with the whole screen as clip ...
        Clear();
        DrawLine(l.x0, l.y0, l.x1, l.y1, YELLOW);
        std::vector<Lit> whole = LitPixels();
        ASSERT_FALSE(whole.empty());
        // ... must be exactly those drawn with a small clip rectangle, where they fall in it.
        Clear();
        VideoSetClip(60, 40, 200, 150);
        DrawLine(l.x0, l.y0, l.x1, l.y1, YELLOW);
        std::vector<Lit> expect;
        for (const Lit& p : whole)
            if (p.x >= 60 && p.x <= 200 && p.y >= 40 && p.y <= 150) expect.push_back(p);
        EXPECT_EQ(LitPixels(), expect) << l.x0 << "," << l.y0 << " " << l.x1 << "," << l.y1;
    }

    // Ends a world apart cost no more than the clip rectangle, and stay exact.
    Clear();
    DrawLine(-2000000000, 100, 2000000000, 100, GREEN);
    DrawLine(30, -2000000000, 30, 2000000000, GREEN);
    EXPECT_EQ(LitPixels().size(), 320u + 200u - 1u);
    Clear();
    DrawLine(-2000000000, -2000000000, 2000000000, 2000000000, GREEN);
    std::vector<Lit> diagonal = LitPixels();
    EXPECT_EQ(diagonal.size(), 200u);
    for (const Lit& p : diagonal) EXPECT_EQ(p.x, p.y);
}

// ---- Boxes and title bars

TEST_F(Draw, RaisedAndSunkenBoxesUseTheInterfaceColours)
{
    // Unusual indices, so that only the interface colours can have put them there.
    DrawSetInterfaceColours(1, GREEN, YELLOW, 3, 4);

    auto check = [&](int x0, int y0, int x1, int y1, uint32_t topLeft, uint32_t bottomRight) {
        for (int x = x0 + 1; x < x1; x++) {
            EXPECT_EQ(Px(x, y0), topLeft) << x;
            EXPECT_EQ(Px(x, y1), bottomRight) << x;
        }
        for (int y = y0 + 1; y < y1; y++) {
            EXPECT_EQ(Px(x0, y), topLeft) << y;
            EXPECT_EQ(Px(x1, y), bottomRight) << y;
        }
        for (int y = y0 + 1; y < y1; y++)
            for (int x = x0 + 1; x < x1; x++) ASSERT_EQ(Px(x, y), 0u) << "the inside is left alone";
        EXPECT_EQ(Px(x0, y0), topLeft);
        EXPECT_EQ(Px(x1, y1), bottomRight);
    };
    DrawRaisedBox(10, 10, 40, 20);
    check(10, 10, 40, 20, Pal(YELLOW), Pal(GREEN));
    DrawSunkenBox(50, 10, 80, 20);
    check(50, 10, 80, 20, Pal(GREEN), Pal(YELLOW));
    EXPECT_EQ(LitPixels().size(), 2u * (2 * 31 + 2 * 9));
}

// The ink of a colour inside a rectangle: count and horizontal extent.
struct Ink {
    int count = 0, x0 = 1 << 30, x1 = -1;
};

TEST_F(Draw, TitleBarsCentreTheirTitleAndHaveThreeLooks)
{
    ResId font = FontCreateBuiltIn();
    TextSetFont(font);
    auto ink = [&](uint32_t colour, int x0, int y0, int x1, int y1) {
        Ink k;
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++)
                if (Px(x, y) == colour) {
                    k.count++;
                    if (x < k.x0) k.x0 = x;
                    if (x > k.x1) k.x1 = x;
                }
        return k;
    };

    DrawTitleBar(20, 119, 30, "Tolbex", 0);
    // The bar covers rows 30 to 40 and nothing else.
    for (int x = 0; x < 320; x++) {
        EXPECT_EQ(Px(x, 29), 0u);
        EXPECT_EQ(Px(x, 41), 0u);
    }
    EXPECT_EQ(Pxs({{20, 30}, {119, 40}, {22, 32}}), Pals({253, 251, 252})) << "raised, the background inside";
    // The title is in the text colour, centred between 20 and 119.
    Ink t = ink(Pal(255), 21, 31, 118, 39);
    EXPECT_GT(t.count, 20);
    int centre2 = t.x0 + t.x1;   // twice the centre of the ink
    EXPECT_LE(abs(centre2 - (20 + 119)), 2) << t.x0 << ".." << t.x1;

    // Modal: the accent colour inside; the "on" look: a third, sunken one.
    DrawTitleBar(20, 119, 50, "Tolbex", 1);
    EXPECT_EQ(Px(22, 52), Pal(250));
    EXPECT_EQ(ink(Pal(255), 21, 51, 118, 59).count, t.count);
    DrawTitleBarHighlighted(20, 119, 70, "Tolbex");
    uint32_t inside = Px(22, 72);
    EXPECT_NE(inside, Pal(252));
    EXPECT_NE(inside, Pal(250));
    EXPECT_EQ(Pxs({{20, 70}, {119, 80}}), Pals({251, 253})) << "sunken";
    EXPECT_EQ(ink(Pal(255), 21, 71, 118, 79).count, t.count);

    // A title too long for its bar shows its start and stays inside the bar; the caller's
    // clip comes back.
    Clear();
    VideoSetClip(0, 0, 300, 199);
    DrawTitleBar(10, 40, 100, "A title much too long for the bar", 0);
    Ink longer = ink(Pal(255), 0, 90, 319, 120);
    EXPECT_GT(longer.count, 0);
    EXPECT_EQ(longer.x0, 11);
    EXPECT_LT(longer.x1, 40);
    EXPECT_EQ(Px(40, 102), Pal(251)) << "the border stays";
    int cx1;
    VideoGetClip(nullptr, nullptr, &cx1, nullptr);
    EXPECT_EQ(cx1, 300);
    // A title exactly as wide as a 50-pixel button's inside shows its last letter too.
    Clear();
    DrawTitleBar(100, 149, 140, "Centre", 0);
    Ink six = ink(Pal(255), 100, 140, 149, 150);
    DrawTitleBar(100, 149, 160, "Centre Y", 0);
    Ink eight = ink(Pal(255), 100, 160, 149, 170);
    EXPECT_GT(eight.count, six.count) << "the Y is drawn";
    EXPECT_GE(eight.x1, 145);
    EXPECT_LT(eight.x1, 149);
    for (int y = 161; y <= 170; y++) EXPECT_EQ(Px(149, y), Pal(251)) << "the right border stays, row " << y;
}

// ---- The table

static int pixelCalls, fillCalls;
static void CountPixel(int, int, int) { pixelCalls++; }
static void CountFill(int, int, int, int, int) { fillCalls++; }

TEST_F(Draw, PrimitivesGoThroughTheReplaceableTable)
{
    ResId font = FontCreateBuiltIn();
    TextSetFont(font);
    pixelCalls = fillCalls = 0;
    DrawTable()->Pixel = CountPixel;
    DrawTable()->FillRect = CountFill;
    TextPrint(10, 10, "A");
    DrawRaisedBox(0, 0, 10, 10);
    EXPECT_GT(pixelCalls, 5) << "glyphs are drawn through the pixel function";
    EXPECT_EQ(fillCalls, 4);
    EXPECT_TRUE(LitPixels().empty());

    DrawUseSoftware();
    DrawRaisedBox(0, 0, 10, 10);
    EXPECT_FALSE(LitPixels().empty());
    EXPECT_EQ(fillCalls, 4);
}
