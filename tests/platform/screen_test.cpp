#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/script.h"
#include "platform/screen.h"

TEST(Screen, WholeScaleIsTheLargestThatFitsBothSides)
{
    struct {
        int ww, wh, pw, ph, scale;
    } cases[] = {
        {3840, 2160, 800, 600, 3},    // the height runs out first
        {2400, 1800, 800, 600, 3},    // exactly three times
        {2399, 1800, 800, 600, 2},    // a pixel short of it
        {2400, 1799, 800, 600, 2},
        {4000, 1200, 800, 600, 2},    // the width would take 5
        {800, 600, 800, 600, 1},
        {799, 600, 800, 600, 0},      // not even 1:1
        {1920, 1080, 640, 400, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScreenWholeScale(c.ww, c.wh, c.pw, c.ph), c.scale) << c.ww << "x" << c.wh;
}

// x, y, width, height
static std::vector<int> Letterbox(int ww, int wh, int pw, int ph)
{
    ScreenRect r = ScreenLetterbox(ww, wh, pw, ph);
    return {r.x, r.y, r.width, r.height};
}

TEST(Screen, LetterboxCentresTheWholeScalePicture)
{
    EXPECT_EQ(Letterbox(3840, 2160, 800, 600), (std::vector<int>{720, 180, 2400, 1800}));
    EXPECT_EQ(Letterbox(1920, 1200, 960, 600), (std::vector<int>{0, 0, 1920, 1200})) << "exactly twice: no border";
    // Odd space left over goes half to each side, the odd pixel right and below.
    EXPECT_EQ(Letterbox(1605, 1203, 800, 600), (std::vector<int>{2, 1, 1600, 1200}));
    // Too small a window shrinks the picture with its shape kept, by the side that runs out.
    EXPECT_EQ(Letterbox(400, 600, 800, 600), (std::vector<int>{0, 150, 400, 300}));
    EXPECT_EQ(Letterbox(800, 300, 800, 600), (std::vector<int>{200, 0, 400, 300}));
}

// Every window pixel of a row and a column, up to the window's last, lands on the logical
// pixel whose square it lies in.
TEST(Screen, PointerMappingIsExactAtScalesTwoAndThree)
{
    for (int scale : {2, 3}) {
        const int pw = 1000, ph = 700;
        const int ww = pw * scale + 7, wh = ph * scale + 5;   // a border of a few pixels
        ScreenRect r = ScreenLetterbox(ww, wh, pw, ph);
        ASSERT_EQ(r.width, pw * scale);
        ASSERT_EQ(r.x, 3);
        ASSERT_EQ(r.y, 2);
        for (int wx = 0; wx < ww; wx++) {
            int px, py;
            ScreenWindowToPicture(r, pw, ph, wx, r.y, &px, &py);
            int expect = wx < r.x ? 0 : wx >= r.x + r.width ? pw - 1 : (wx - r.x) / scale;
            ASSERT_EQ(px, expect) << "scale " << scale << " window x " << wx;
            ASSERT_EQ(py, 0);
        }
        for (int wy = 0; wy < wh; wy++) {
            int px, py;
            ScreenWindowToPicture(r, pw, ph, r.x + r.width - 1, wy, &px, &py);
            int expect = wy < r.y ? 0 : wy >= r.y + r.height ? ph - 1 : (wy - r.y) / scale;
            ASSERT_EQ(py, expect) << "scale " << scale << " window y " << wy;
            ASSERT_EQ(px, pw - 1) << "the picture's last column";
        }
        // The last pixel of the picture's last square, the first square's edge, and outside.
        auto at = [&](int wx, int wy) {
            int px, py;
            ScreenWindowToPicture(r, pw, ph, wx, wy, &px, &py);
            return std::vector<int>{px, py};
        };
        EXPECT_EQ(at(r.x + r.width - 1, r.y + r.height - 1), (std::vector<int>{pw - 1, ph - 1}));
        EXPECT_EQ(at(r.x + scale - 1, r.y + scale), (std::vector<int>{0, 1}));
        EXPECT_EQ(at(-40, -40), (std::vector<int>{0, 0}));
    }
}

TEST(Screen, LogicalSizeIsTheWindowByTheScaleAtLeast800By600)
{
    const int cases[][5] = {
        {3840, 2160, 2, 1920, 1080}, {3841, 2161, 2, 1920, 1080},   // rounded down
        {3840, 2160, 3, 1280, 720},  {1000, 1000, 2, 800, 600},     // 500 x 500 is too small on both sides
        {1200, 500, 1, 1200, 600},   {20000, 20000, 1, SCREEN_MAX_SIDE, SCREEN_MAX_SIDE},
    };
    for (const auto& c : cases) {
        int w, h;
        ScreenLogicalSize(c[0], c[1], c[2], &w, &h);
        EXPECT_EQ((std::vector<int>{w, h}), (std::vector<int>{c[3], c[4]})) << c[0] << "x" << c[1] << " / " << c[2];
    }
}

TEST(Screen, AutomaticScaleComesFromEachSourceInTurn)
{
    struct {
        const char* gdk;
        const char* qt;
        float dpi;
        int scale;
    } cases[] = {
        {"2", nullptr, 96, 2},       // GDK_SCALE
        {"2", "3", 400, 2},          // GDK_SCALE first
        {nullptr, "3", 96, 3},       // QT_SCALE_FACTOR
        {"", "1.5", 96, 2},          // an empty variable is passed over; halves go up
        {nullptr, "2.5", 0, 3},
        {nullptr, "1.49", 0, 1},
        {nullptr, "0.4", 300, 1},    // at least 1
        {"abc", "x2", 192, 2},       // no numbers: the density, 192 / 96
        {nullptr, nullptr, 191, 1},  // rounded down
        {nullptr, nullptr, 288, 3},
        {nullptr, nullptr, 0, 1},    // unknown
        {nullptr, nullptr, 1000, 4}, // at most 4
        {"9", nullptr, 0, 4},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScreenAutoScale(c.gdk, c.qt, c.dpi), c.scale)
            << (c.gdk ? c.gdk : "-") << " " << (c.qt ? c.qt : "-") << " " << c.dpi;
}

TEST(Screen, ScaleAndSizeTextsAreReadStrictly)
{
    int n = 0;
    for (const char* good : {"1", "4"}) EXPECT_EQ(ScreenParseScale(good, &n), 0) << good;
    EXPECT_EQ(n, 4);
    for (const char* bad : {"0", "5", "9", "", "2x", " 2", "-1", "1.5"}) {
        n = 7;
        EXPECT_EQ(ScreenParseScale(bad, &n), 1) << bad;
        EXPECT_EQ(n, 7) << "a refused value leaves the scale alone";
    }
    int w = 0, h = 0;
    EXPECT_EQ(ScreenParseSize("1024x768", &w, &h), 0);
    EXPECT_EQ((std::vector<int>{w, h}), (std::vector<int>{1024, 768}));
    EXPECT_EQ(ScreenParseSize("10X10", &w, &h), 0);
    EXPECT_EQ(w, 10);
    for (const char* bad : {"1024", "x768", "1024x", "1024x768x", "1024*768", "999999x600"})
        EXPECT_EQ(ScreenParseSize(bad, &w, &h), 1) << bad;
}

TEST(Screen, UiScaleStaysFromOneToFour)
{
    for (auto [set, got] : {std::pair{3, 3}, {0, 1}, {12, 4}, {1, 1}}) {
        ScreenSetUiScale(set);
        EXPECT_EQ(ScreenUiScale(), got) << set;
    }
}

// The script's `resize`: the window's new size, as the desktop gives it.
TEST(Screen, ScriptResizeTakesAWidthAndAHeight)
{
    std::vector<ScriptStep> steps;
    std::string error;
    ASSERT_EQ(ScriptParse("resize 1280 720\n", "s.txt", steps, error), 0) << error;
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ((std::vector<int>{steps[0].op, steps[0].a, steps[0].b}), (std::vector<int>{SCRIPT_RESIZE, 1280, 720}));
    for (const char* bad : {"resize 1280\n", "resize 0 720\n", "resize 1280 0\n", "resize 40000 720\n", "resize a b\n",
                            "resize 1 2 3\n"}) {
        steps.clear();
        EXPECT_EQ(ScriptParse(bad, "s.txt", steps, error), 1) << bad;
        EXPECT_NE(error.find("s.txt:1"), std::string::npos) << error;
    }
}
