// The mouse's camera arithmetic, worked out by hand; sizes differ on every axis so a swap shows.
#include <gtest/gtest.h>

#include <cstdint>

#include "frontend/view.h"

namespace {

std::vector<int32_t> V3(const int32_t* p) { return {p[0], p[1], p[2]}; }

struct Centre {
    int32_t c[3];
};

Centre WheelAbout(int type, float* zoom, int notches, int px, int py)
{
    Centre out{{1000, 2000, 3000}};
    ViewWheelAbout(type, zoom, out.c, notches, px, py, 400, 300);
    return out;
}

}  // namespace

TEST(ViewMouse, TheWheelTakesAnEighthOffTheDistanceANotchWithinTheLimits)
{
    EXPECT_EQ(ViewWheelDistance(8000, 1, 100000), 7000);
    EXPECT_EQ(ViewWheelDistance(8000, 2, 100000), 6125);
    EXPECT_EQ(ViewWheelDistance(8000, -1, 100000), 9142) << "eight sevenths, truncated";
    EXPECT_EQ(ViewWheelDistance(9000, -1, 10000), 10000) << "out stops at the limit";
    EXPECT_EQ(ViewWheelDistance(520, 1, 100000), 500) << "in stops at the nearest distance";
    EXPECT_EQ(ViewWheelDistance(500, 3, 400), 500) << "a limit below the nearest still leaves the nearest";
    // A view farther than the limit is neither pulled in by turning out nor pushed farther.
    EXPECT_EQ(ViewWheelDistance(40000, -1, 10000), 40000);
    EXPECT_EQ(ViewWheelDistance(40000, 1, 10000), 35000);
}

TEST(ViewMouse, TheWheelScalesAParallelZoomWithinItsLimits)
{
    EXPECT_FLOAT_EQ(ViewWheelZoom(160.0f, 1), 140.0f);
    EXPECT_FLOAT_EQ(ViewWheelZoom(160.0f, -1), 182.857142857f);
    EXPECT_FLOAT_EQ(ViewWheelZoom(1.1f, 1), 1.0f);
    EXPECT_FLOAT_EQ(ViewWheelZoom(1073741824.0f, -1), 1073741824.0f);
    EXPECT_FLOAT_EQ(ViewWheelZoom(160.0f, 0), 160.0f);
}

TEST(ViewMouse, TheWheelKeepsTheWorldPointUnderThePointer)
{
    // Pointer (500, 200), drawing centre (400, 300), zoom 16 to 14 (one notch in).
    float zoom = 16.0f;
    Centre top = WheelAbout(VIEW_TOP, &zoom, 1, 500, 200);
    EXPECT_FLOAT_EQ(zoom, 14.0f);
    // Top: x = cx + 100 zoom, z = cz + 100 zoom: (2600, 4600) before, so (1200, 3200) after.
    EXPECT_EQ(V3(top.c), (std::vector<int32_t>{1200, 2000, 3200})) << "the axis the view looks along stays";
    zoom = 16.0f;
    Centre left = WheelAbout(VIEW_LEFT, &zoom, 1, 500, 200);
    // Left: y = cy + 100 zoom (3600), z = cz - 100 zoom (1400).
    EXPECT_EQ(V3(left.c), (std::vector<int32_t>{1000, 2200, 2800}));
    zoom = 16.0f;
    Centre rear = WheelAbout(VIEW_REAR, &zoom, -1, 500, 200);
    // Rear: x = cx + 100 zoom, y = cy + 100 zoom; zoom 16 x 8/7 = 18.2857: 1600 - 1828 = -228.
    EXPECT_EQ(V3(rear.c), (std::vector<int32_t>{772, 1772, 3000}));
    // Every view: the pointer's world point is where it was, to the unit.
    for (int type = VIEW_LEFT; type < VIEW_TYPES; type++) {
        int32_t centre[3] = {-7000, 123, 45678}, before[3], after[3];
        float z = 37.5f;
        ASSERT_TRUE(ViewPointToWorld(type, z, centre, 123, 456, 400, 300, before, nullptr));
        ViewWheelAbout(type, &z, centre, 3, 123, 456, 400, 300);
        ViewPointToWorld(type, z, centre, 123, 456, 400, 300, after, nullptr);
        for (int a = 0; a < 3; a++) EXPECT_NEAR(after[a], before[a], 1) << "view " << type << " axis " << a;
    }
    // The perspective view has no such point: nothing moves.
    zoom = 16.0f;
    Centre none = WheelAbout(VIEW_PERSPECTIVE, &zoom, 1, 500, 200);
    EXPECT_FLOAT_EQ(zoom, 16.0f);
    EXPECT_EQ(none.c[0], 1000);
}

TEST(ViewMouse, ADragPansAParallelViewWithThePointer)
{
    // Front, zoom 10: the point under (100, 100), (-1000, -1000), goes to (130, 90).
    int32_t centre[3] = {0, 0, 0};
    ViewDragPan(VIEW_FRONT, 10.0f, centre, 100, 100, 130, 90);
    EXPECT_EQ(V3(centre), (std::vector<int32_t>{300, -100, 0}));
    // Top: x = cx + 10 px, z = cz - 10 py: a drag right moves the centre to -x, down to +z.
    int32_t top[3] = {5, 6, 7};
    ViewDragPan(VIEW_TOP, 10.0f, top, 0, 0, 20, 30);
    EXPECT_EQ(V3(top), (std::vector<int32_t>{5 - 200, 6, 7 + 300}));
}

TEST(ViewMouse, ADragOrbitsAcrossAboutTheUprightAndUpDownAboutTheCameraAcross)
{
    // 96 units a pixel: 10 pixels are 960 units, sin = 0.0919 (1506 in 2.14).
    int16_t across[9] = {16384, 0, 0, 0, 16384, 0, 0, 0, 16384};
    ViewOrbit(across, 10, 0);
    EXPECT_NEAR(across[3], 0, 2);
    EXPECT_NEAR(across[4], 16384, 2) << "up stays up";
    EXPECT_NEAR(across[6], -1506, 3) << "forward swings about y";
    EXPECT_NEAR(across[7], 0, 2);
    int16_t updown[9] = {16384, 0, 0, 0, 16384, 0, 0, 0, 16384};
    ViewOrbit(updown, 0, 10);
    EXPECT_NEAR(updown[0], 16384, 2) << "across stays across";
    EXPECT_NEAR(updown[1], 0, 2);
    EXPECT_NEAR(updown[6], 0, 2);
    EXPECT_NEAR(updown[7], -1506, 3) << "forward tips about x";
    int16_t still[9] = {16384, 0, 0, 0, 16384, 0, 0, 0, 16384};
    ViewOrbit(still, 0, 0);
    EXPECT_EQ(still[6], 0);
    EXPECT_EQ(still[8], 16384);
}

TEST(ViewMouse, AShiftDragSlidesThePerspectiveCentreAcrossTheScreen)
{
    // Distance 4000 at a focal length of 400: ten world units a pixel.
    const int16_t straight[9] = {16384, 0, 0, 0, 16384, 0, 0, 0, 16384};
    int32_t centre[3] = {100, 200, 300};
    ViewPerspectivePan(straight, 4000, 400.0f, 5, -3, centre);
    EXPECT_EQ(centre[0], 50) << "right: the centre goes left";
    EXPECT_EQ(centre[1], 170) << "up: the centre goes down";
    EXPECT_EQ(centre[2], 300);
    // Rows that look along +x (right is -z): across the screen is along z.
    const int16_t side[9] = {0, 0, -16384, 0, 16384, 0, 16384, 0, 0};
    int32_t c2[3] = {100, 200, 300};
    ViewPerspectivePan(side, 4000, 400.0f, 5, 0, c2);
    EXPECT_EQ(V3(c2), (std::vector<int32_t>{100, 200, 350}));
    // A short lens: 4000 / 0.5 = 8000 units a pixel.
    int32_t c3[3] = {0, 0, 0};
    ViewPerspectivePan(straight, 4000, 0.5f, 0, 1, c3);
    EXPECT_EQ(c3[1], 8000);
}

TEST(ViewMouse, FramingFitsTheAxesEachViewShowsWithAMargin)
{
    // 2000 across x, 1600 up y, 200 deep z; an 800 x 400 view fills 640 x 320 of it.
    const int32_t lo[3] = {1000, -1700, 7000}, hi[3] = {3000, -100, 7200};
    struct Case {
        int type;
        float zoom;
    } cases[] = {
        {VIEW_TOP, 3.125f},      // x 2000 / 640 over z 200 / 320
        {VIEW_BOTTOM, 3.125f},
        {VIEW_LEFT, 5.0f},       // y 1600 / 320 over z 200 / 640
        {VIEW_RIGHT, 5.0f},
        {VIEW_FRONT, 5.0f},      // y 1600 / 320 over x 2000 / 640
        {VIEW_REAR, 5.0f},
    };
    for (const Case& c : cases) {
        float zoom = 160.0f;
        int32_t distance = 32768, centre[3] = {0, 0, 0};
        ViewFrameBox(c.type, lo, hi, 800, 400, 400.0f, 1000000, &zoom, &distance, centre);
        EXPECT_FLOAT_EQ(zoom, c.zoom) << "view " << c.type;
        EXPECT_EQ(distance, 32768) << "a parallel frame leaves the distance";
        EXPECT_EQ(V3(centre), (std::vector<int32_t>{2000, -900, 7100}));
    }
    // Perspective: the box's sphere (radius 1284.5) in the cone to 160 of the 200 pixels of
    // the smaller half-side: 1284.5 / sin(atan(160 / 400)) = 3458.
    float zoom = 160.0f;
    int32_t distance = 32768, centre[3] = {0, 0, 0};
    ViewFrameBox(VIEW_PERSPECTIVE, lo, hi, 800, 400, 400.0f, 1000000, &zoom, &distance, centre);
    EXPECT_EQ(distance, 3458);
    EXPECT_FLOAT_EQ(zoom, 160.0f) << "a perspective frame leaves the zoom";
    EXPECT_EQ(centre[2], 7100);
    // The same box in a taller view: the width decides (160 of 400 / 2 again).
    ViewFrameBox(VIEW_PERSPECTIVE, lo, hi, 400, 800, 400.0f, 1000000, &zoom, &distance, centre);
    EXPECT_EQ(distance, 3458);
    ViewFrameBox(VIEW_PERSPECTIVE, lo, hi, 800, 400, 400.0f, 2000, &zoom, &distance, centre);
    EXPECT_EQ(distance, 2000) << "within the limit";
}

TEST(ViewMouse, FramingKeepsItsLimitsAndLetsAPointOnlyMoveTheCentre)
{
    const int32_t lo[3] = {10, 20, 30}, hi[3] = {12, 21, 33};
    float zoom = 160.0f;
    int32_t distance = 32768, centre[3] = {0, 0, 0};
    ViewFrameBox(VIEW_FRONT, lo, hi, 800, 400, 400.0f, 1000000, &zoom, &distance, centre);
    EXPECT_FLOAT_EQ(zoom, 1.0f) << "the nearest zoom";
    ViewFrameBox(VIEW_PERSPECTIVE, lo, hi, 800, 400, 400.0f, 1000000, &zoom, &distance, centre);
    EXPECT_EQ(distance, 500) << "the nearest distance";
    const int32_t point[3] = {-5, 6, -7};
    zoom = 99.0f;
    distance = 7777;
    ViewFrameBox(VIEW_TOP, point, point, 800, 400, 400.0f, 1000000, &zoom, &distance, centre);
    ViewFrameBox(VIEW_PERSPECTIVE, point, point, 800, 400, 400.0f, 1000000, &zoom, &distance, centre);
    EXPECT_FLOAT_EQ(zoom, 99.0f);
    EXPECT_EQ(distance, 7777);
    EXPECT_EQ(V3(centre), (std::vector<int32_t>{-5, 6, -7}));
    // A view of one pixel is still framed; a view of none only moves the centre.
    const int32_t wide0[3] = {0, 0, 0}, wide1[3] = {2000, 0, 200};
    ViewFrameBox(VIEW_TOP, wide0, wide1, 1, 1, 400.0f, 1000000, &zoom, &distance, centre);
    EXPECT_FLOAT_EQ(zoom, 2500.0f) << "2000 across one pixel's 0.8";
    ViewFrameBox(VIEW_TOP, lo, hi, 0, 400, 400.0f, 1000000, &zoom, &distance, centre);
    ViewFrameBox(VIEW_PERSPECTIVE, lo, hi, 800, 0, 400.0f, 1000000, &zoom, &distance, centre);
    EXPECT_FLOAT_EQ(zoom, 2500.0f);
    EXPECT_EQ(distance, 7777);
    EXPECT_EQ(centre[0], 11);
    zoom = 99.0f;
    // One unit of extent (up the Top view: z) is extent: the nearest zoom.
    const int32_t unit0[3] = {0, 0, 0}, unit1[3] = {0, 0, 1};
    ViewFrameBox(VIEW_TOP, unit0, unit1, 800, 400, 400.0f, 1000000, &zoom, &distance, centre);
    EXPECT_FLOAT_EQ(zoom, 1.0f);
    zoom = 99.0f;
    // The farthest zoom holds a box of the whole coordinate range in one pixel.
    const int32_t all0[3] = {INT32_MIN, INT32_MIN, INT32_MIN}, all1[3] = {INT32_MAX, INT32_MAX, INT32_MAX};
    ViewFrameBox(VIEW_REAR, all0, all1, 1, 1, 400.0f, 1000000, &zoom, &distance, centre);
    EXPECT_FLOAT_EQ(zoom, 1073741824.0f);
    // A type beyond the six parallel views frames as the perspective view does.
    zoom = 99.0f;
    distance = 7777;
    ViewFrameBox(VIEW_TYPES, lo, hi, 800, 400, 400.0f, 1000000, &zoom, &distance, centre);
    EXPECT_FLOAT_EQ(zoom, 99.0f);
    EXPECT_EQ(distance, 500);
    zoom = 99.0f;
    // A box only along the axis a view looks along has no extent there either.
    const int32_t deep0[3] = {0, 0, -500}, deep1[3] = {0, 0, 500};
    ViewFrameBox(VIEW_FRONT, deep0, deep1, 800, 400, 400.0f, 1000000, &zoom, &distance, centre);
    EXPECT_FLOAT_EQ(zoom, 99.0f);
}
