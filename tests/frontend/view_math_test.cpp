// The view's camera arithmetic and scale bar, worked out by hand (20 ms is one headless frame).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "frontend/view.h"
#include "kernel/app.h"
#include "render/draw3d.h"
#include "shapes/mesh.h"

namespace {

std::string Label(double worldLength, uint32_t scale)
{
    char text[64];
    ViewScaleLabel(worldLength, scale, text, sizeof text);
    return text;
}

}  // namespace

TEST(ViewMath, ZoomStepsScaleWithTheZoomAndStayInsideTheirLimits)
{
    // 20 / 16384 x 160 x 2 = 0.390625; a sixteenth of it with Left Ctrl.
    EXPECT_FLOAT_EQ(ViewZoomKey(160.0f, 1, 20, 0), 160.390625f);
    EXPECT_FLOAT_EQ(ViewZoomKey(160.0f, -1, 20, 0), 159.609375f);
    EXPECT_FLOAT_EQ(ViewZoomKey(160.0f, 1, 20, 1), 160.0244140625f);
    // No time passed: the smallest step, 0.0001, still moves.
    EXPECT_FLOAT_EQ(ViewZoomKey(2.0f, 1, 0, 0), 2.0001f);
    // Zooming in stops at 1.0, out at 2^30.
    EXPECT_EQ(ViewZoomKey(1.0f, -1, 20, 0), 1.0f);
    EXPECT_EQ(ViewZoomKey(1.0001f, -1, 166, 0), 1.0f);
    EXPECT_EQ(ViewZoomKey(1073741824.0f, 1, 166, 0), 1073741824.0f);
    EXPECT_EQ(ViewZoomKey(1073000000.0f, 1, 166, 0), 1073741824.0f);
    EXPECT_EQ(ViewZoomKey(160.0f, 0, 20, 0), 160.0f) << "no key, no change";
}

TEST(ViewMath, PanStepsAreWholeUnitsOfAtLeastOne)
{
    EXPECT_EQ(ViewPanStep(160.0f, 20, 0), 100);   // 20 / 16384 x 160 x 512
    EXPECT_EQ(ViewPanStep(160.0f, 20, 1), 6);     // 6.25 truncated
    EXPECT_EQ(ViewPanStep(161.0f, 20, 0), 100);   // 100.625 truncated
    EXPECT_EQ(ViewPanStep(1.0f, 1, 0), 1);        // 0.03 raised to 1
    EXPECT_EQ(ViewPanStep(1.0f, 1, 1), 1);
    EXPECT_EQ(ViewPanStep(1073741824.0f, 166, 0), INT32_MAX) << "a huge step saturates";
}

TEST(ViewMath, PanMovesTheCentreAlongTheAxesEachViewShows)
{
    // h = 10 (keypad 4), v = 20 (keypad 2), from (1000, 2000, 3000).
    struct Case {
        int type;
        int32_t x, y, z;
    } cases[] = {
        {VIEW_LEFT, 1000, 2020, 2990},  {VIEW_RIGHT, 1000, 2020, 3010}, {VIEW_TOP, 1010, 2000, 3020},
        {VIEW_BOTTOM, 1010, 2000, 2980}, {VIEW_FRONT, 990, 2020, 3000},  {VIEW_REAR, 1010, 2020, 3000},
        {VIEW_PERSPECTIVE, 1000, 2000, 3000},
    };
    for (const Case& c : cases) {
        int32_t centre[3] = {1000, 2000, 3000};
        ViewPan(c.type, 10, 20, centre);
        EXPECT_EQ(std::vector<int32_t>(centre, centre + 3), (std::vector<int32_t>{c.x, c.y, c.z})) << "type " << c.type;
    }
    int32_t edge[3] = {INT32_MAX - 5, 0, 0};
    ViewPan(VIEW_TOP, 10, 0, edge);
    EXPECT_EQ(edge[0], INT32_MAX) << "the centre saturates instead of wrapping";
}

TEST(ViewMath, PerspectiveDistanceStepsAndLimits)
{
    const int32_t far = 100000;
    // Below 131072 the step is distance x e / 8192: 32768 x 20 / 8192 = 80.
    EXPECT_EQ(ViewDistanceKey(32768, -1, 20, 0, far), 32688);
    EXPECT_EQ(ViewDistanceKey(32768, 1, 20, 0, far), 32848);
    EXPECT_EQ(ViewDistanceKey(32768, -1, 20, 1, far), 32748) << "a quarter with Left Ctrl";
    // From 131072 on, a fixed 131072 x e / 8192 = 320; just below, 319.
    EXPECT_EQ(ViewDistanceKey(131072, -1, 20, 0, INT32_MAX), 130752);
    EXPECT_EQ(ViewDistanceKey(131071, -1, 20, 0, INT32_MAX), 130752);
    EXPECT_EQ(ViewDistanceKey(200000, 1, 20, 0, INT32_MAX), 200320);
    // Never nearer than 500, never farther than the limit.
    EXPECT_EQ(ViewDistanceKey(505, -1, 166, 0, far), 500);
    EXPECT_EQ(ViewDistanceKey(500, -1, 20, 0, far), 500);
    EXPECT_EQ(ViewDistanceKey(99990, 1, 20, 0, far), far);
    EXPECT_EQ(ViewDistanceKey(32768, 1, 20, 0, 10000), 10000) << "beyond the limit: cut to it";
    // At a short distance a quarter step would be nothing: held keys still move.
    EXPECT_EQ(ViewDistanceKey(1000, 1, 20, 1, far), 1001);
    EXPECT_EQ(ViewDistanceKey(1000, 1, 0, 0, far), 1000) << "no time, no move";
    EXPECT_EQ(ViewDistanceKey(INT32_MAX - 10, 1, 166, 0, INT32_MAX), INT32_MAX);

    EXPECT_EQ(ViewDistanceLimit(EDITOR_SHAPE, 1000), 10000);
    EXPECT_EQ(ViewDistanceLimit(EDITOR_SHAPE, 49), 500) << "a small shape can still be seen";
    EXPECT_EQ(ViewDistanceLimit(EDITOR_SHAPE, 51), 510);
    EXPECT_EQ(ViewDistanceLimit(EDITOR_SHAPE, 0), 500);
    EXPECT_EQ(ViewDistanceLimit(EDITOR_SHAPE, 300000000), INT32_MAX) << "ten radii past 32 bits";
    EXPECT_EQ(ViewDistanceLimit(EDITOR_WORLD, 1000), 1073741824);
}

TEST(ViewMath, TurnsKeepTheCameraRowsSquare)
{
    EXPECT_EQ(ViewTurnStep(20, 0), 20);
    EXPECT_EQ(ViewTurnStep(20, 1), 1);       // 20 x 1024 / 16384 = 1.25
    EXPECT_EQ(ViewTurnStep(166, 1), 10);

    // A quarter turn of heading takes right (1, 0, 0) to (0, 0, -1) and forward to (1, 0, 0).
    int16_t m[9] = {16384, 0, 0, 0, 16384, 0, 0, 0, 16384};
    ViewTurn(m, VIEW_TURN_HEADING, 0x4000);
    EXPECT_NEAR(m[0], 0, 2);
    EXPECT_NEAR(m[2], -16384, 2);
    EXPECT_NEAR(m[4], 16384, 2) << "up stays up";
    EXPECT_NEAR(m[6], 16384, 2);
    EXPECT_NEAR(m[8], 0, 2);
    // A quarter turn of pitch takes up to forward and forward to -up.
    int16_t p[9] = {16384, 0, 0, 0, 16384, 0, 0, 0, 16384};
    ViewTurn(p, VIEW_TURN_PITCH, 0x4000);
    EXPECT_NEAR(p[0], 16384, 2) << "right stays";
    EXPECT_NEAR(p[5], 16384, 2);
    EXPECT_NEAR(p[7], -16384, 2);

    // Many small turns of both kinds: the rows stay unit length and at right angles.
    int16_t o[9];
    memcpy(o, kViewDefaultOrientation, sizeof o);
    for (int i = 0; i < 2000; i++) ViewTurn(o, i % 3 ? VIEW_TURN_HEADING : VIEW_TURN_PITCH, i % 2 ? 37 : -11);
    for (int r = 0; r < 3; r++) {
        double len = std::sqrt((double)o[3 * r] * o[3 * r] + (double)o[3 * r + 1] * o[3 * r + 1] +
                               (double)o[3 * r + 2] * o[3 * r + 2]);
        EXPECT_NEAR(len, 16384, 4) << "row " << r;
        for (int s = r + 1; s < 3; s++) {
            double dot = ((double)o[3 * r] * o[3 * s] + (double)o[3 * r + 1] * o[3 * s + 1] +
                          (double)o[3 * r + 2] * o[3 * s + 2]) / 16384.0;
            EXPECT_NEAR(dot, 0, 4) << "rows " << r << " and " << s;
        }
    }
}

TEST(ViewMath, PointToWorldForEveryParallelView)
{
    const int32_t centre[3] = {1000, 2000, 3000};
    // The pointer 10 right of and 5 below the drawing centre at zoom 160: dx 1600, dy 800.
    struct Case {
        int type;
        int32_t x, y, z;
        int free;
    } cases[] = {
        {VIEW_LEFT, 0, 1200, 1400, MESH_X},   {VIEW_RIGHT, 0, 1200, 4600, MESH_X},
        {VIEW_TOP, 2600, 0, 2200, MESH_Y},    {VIEW_BOTTOM, 2600, 0, 3800, MESH_Y},
        {VIEW_FRONT, -600, 1200, 0, MESH_Z},  {VIEW_REAR, 2600, 1200, 0, MESH_Z},
    };
    for (const Case& c : cases) {
        int32_t out[3] = {7, 7, 7};
        int free = -1;
        ASSERT_EQ(ViewPointToWorld(c.type, 160.0f, centre, 410, 305, 400, 300, out, &free), 1);
        EXPECT_EQ((std::vector<int32_t>{out[0], out[1], out[2], free}), (std::vector<int32_t>{c.x, c.y, c.z, c.free}))
            << "type " << c.type;
    }
    int32_t out[3] = {7, 7, 7};
    EXPECT_EQ(ViewPointToWorld(VIEW_PERSPECTIVE, 160.0f, centre, 410, 305, 400, 300, out, nullptr), 0);
    EXPECT_EQ(out[0], 7) << "the perspective view gives nothing";
    // The zoom keeps its fraction: 10 pixels at 1.5 are 15 units, -3 are -4.5, truncated to -4.
    const int32_t zero[3] = {0, 0, 0};
    ASSERT_EQ(ViewPointToWorld(VIEW_REAR, 1.5f, zero, 410, 297, 400, 300, out, nullptr), 1);
    EXPECT_EQ((std::vector<int32_t>{out[0], out[1]}), (std::vector<int32_t>{15, 4}));
    ASSERT_EQ(ViewPointToWorld(VIEW_REAR, 1.5f, zero, 397, 303, 400, 300, out, nullptr), 1);
    EXPECT_EQ((std::vector<int32_t>{out[0], out[1]}), (std::vector<int32_t>{-4, -4}));
    // Far from the centre at the largest zoom: saturated, not wrapped.
    ASSERT_EQ(ViewPointToWorld(VIEW_REAR, 1073741824.0f, zero, 800, 0, 400, 300, out, nullptr), 1);
    EXPECT_EQ((std::vector<int32_t>{out[0], out[1]}), (std::vector<int32_t>{INT32_MAX, INT32_MAX}));
}

TEST(ViewMath, TheScaleBarReadsCentimetresBelowFiveMetres)
{
    EXPECT_EQ(ViewScaleBarLength(797, 538), 470);   // 538 x 0.875 = 470.75
    EXPECT_EQ(ViewScaleBarLength(400, 637), 350);
    EXPECT_EQ(Label(4999.99, 1000), "499cm");
    EXPECT_EQ(Label(5000.0, 1000), "5m");
    EXPECT_EQ(Label(1234.56, 1000), "123cm");
    EXPECT_EQ(Label(75200.0, 1000), "75m");
    // A scale of 0 counts as one unit to the metre.
    EXPECT_EQ(Label(4.5, 0), "450cm");
    EXPECT_EQ(Label(5.0, 0), "5m");
    EXPECT_EQ(Label(4.5, 1), "450cm");
    EXPECT_EQ(Label(75200.0, 0), "75200m");
    // The products do not wrap at 32 bits.
    EXPECT_EQ(Label(470.0 * 1073741824.0, 0), "504658657280m");
    EXPECT_EQ(Label(4.9e9, 1000000000), "490cm");
}

TEST(ViewMath, DisplaySwitchesBecomeTheDriversRenderFlags)
{
    // A new Shape Editor view filters texels; "No BILINEAR" takes the nearest ones.
    EXPECT_EQ(ViewRenderFlags(VIEW_FLAGS_SHAPE), (uint32_t)RENDER_FILTER);
    EXPECT_EQ(ViewRenderFlags(VIEW_FLAGS_SHAPE | VIEWF_NO_BILINEAR), 0u);
    EXPECT_EQ(ViewRenderFlags(VIEWF_NO_BILINEAR | VIEWF_WIREFRAME | VIEWF_TEX_LIGHT | VIEWF_NO_MIPMAPS),
              (uint32_t)(RENDER_WIREFRAME | RENDER_TEXTURE_LIGHT | RENDER_NO_MIPMAPS));
}
