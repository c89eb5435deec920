// Worldshapes in the 3D view through a recording renderer: filter, hiding, rectangle, picking.
#include "render/d3test.h"
#include "world/worldm_fixture.h"
#include "worldedit/worldm_editview.h"

class WorldDisplayTest : public WorldTest {
protected:
    void SetUp() override
    {
        WorldTest::SetUp();
        SpriteInstall();
        Draw3DCheckFrames(0);
        InstallRecorder(2000, 0xC0);
        // Ahead: an unnamed rock near, a named one further, a hidden one, one aside, one shapeless.
        ASSERT_EQ(1, WorldMAddShape("rock.shp", 0, 0, 2000, 0));
        ASSERT_EQ(2, WorldMAddShape("rock.shp", 0, 0, 4000, Name4("DYN1")));
        ASSERT_EQ(3, WorldMAddShape("rock.shp", 0, 0, 3000, 0));
        ASSERT_EQ(4, WorldMAddShape("rock.shp", 900000, 0, 3000, 0));
        ASSERT_EQ(5, WorldMAddShape("rock.shp", 0, 0, 2500, 0));
        PutU16(WorldMShapeFindData(5), WS_HANDLE, 0);
        WorldMSelectShape(3);
        WorldMHideSelected();
        WorldMDeselectShape(3);
    }
    void TearDown() override
    {
        Draw3DRemove();
        WorldTest::TearDown();
    }
    static int Frame(int request = 0, const int32_t* rect = nullptr)
    {
        Draw3DStartDraw(0, 0, 640, 400);
        int n = WorldMDrawShapes(request, rect);
        Draw3DDisplay();
        return n;
    }
};

TEST_F(WorldDisplayTest, TheFilterHiddenAndShapelessWorldshapesDecideWhatIsDrawn)
{
    EXPECT_EQ(2, Frame()) << "the near rock and DYN1; hidden, off-view and shapeless ones are not drawn";
    WorldMSetShapeFilter(1);
    EXPECT_EQ(1, Frame()) << "unnamed only";
    WorldMSetShapeFilter(2);
    EXPECT_EQ(1, Frame()) << "named only";
    WorldMSetShapeFilter(0);
    EXPECT_EQ(0, Frame());
    WorldMSetShapeFilter(3);
}

TEST_F(WorldDisplayTest, PickingTakesTheNearestBoxUnderThePointer)
{
    Draw3DStartDraw(0, 0, 640, 400);
    EXPECT_EQ(1, WorldMPick(320, 200)) << "the near rock covers DYN1";
    EXPECT_EQ(0, WorldMPick(5, 5));
    WorldMSetShapeFilter(2);
    EXPECT_EQ(2, WorldMPick(320, 200));
    WorldMSetShapeFilter(3);
    Draw3DDisplay();
}

TEST_F(WorldDisplayTest, ARectangleSelectsAndDeselectsTheShapesInsideIt)
{
    const int32_t all[4] = {0, 0, 639, 399};
    Frame(1, all);
    EXPECT_EQ(2, WorldMCountSelectedShapes());
    EXPECT_EQ(1, WorldMFirstSelectedShape());
    const int32_t corner[4] = {0, 0, 20, 20};
    Frame(2, corner);
    EXPECT_EQ(2, WorldMCountSelectedShapes()) << "nothing lies in the corner";
    Frame(2, all);
    EXPECT_EQ(0, WorldMCountSelectedShapes());
}

TEST_F(WorldDisplayTest, TheOrientationTurnsByYawThenPitch)
{
    uint8_t* p = WorldMShapeFindData(1);
    int16_t m[9];
    WorldMShapeOrientation(p, m);
    EXPECT_EQ((std::vector<int16_t>{16384, 0, 0, 0, 16384, 0, 0, 0, 16384}), std::vector<int16_t>(m, m + 9));
    PutI16(p, WS_YAW, 0x4000);
    WorldMShapeOrientation(p, m);
    // A shape's +X turns as the shape code turns it: x' = x cos + z sin, z' = z cos - x sin.
    EXPECT_EQ(0, m[0]);
    EXPECT_EQ(-16384, m[6]);
}
