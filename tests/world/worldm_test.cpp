// The world manager: the image, the walk, inserting and removing bytes, adding worldshapes,
// names and IDs, the selection operations and undo.
#include <cstring>

#include "world/worldm_fixture.h"

// ---- The image

TEST_F(WorldTest, AnEmptyWorldIsTheHeaderAloneWithTheDefaults)
{
    // The fixture's default header: exponent 6 (edge 1048576), 8 x 4 x 8 cells, the diagonal
    // sqrt(3 x 1048576^2) truncated, version 19, nothing else.
    EXPECT_EQ(WleImage().Done(), Used());
    EXPECT_EQ(nullptr, WorldMFirstPacket(Img()));
    EXPECT_EQ((std::vector<uint32_t>{8, 4, 8}), (std::vector<uint32_t>{WorldMCellsX(), WorldMCellsY(), WorldMCellsZ()}));
    EXPECT_EQ(4 * 1048576 + 195200, WorldMViewHeight());
    EXPECT_EQ(1, WorldMNextShapeID());
    EXPECT_EQ(349525u, WorldMLimit());
}

TEST_F(WorldTest, TheExponentTakesItsLowByteClampedTo32)
{
    WorldMSetCellExponent(0x103);
    EXPECT_EQ(3u, WorldMCellExponent());
    EXPECT_EQ(16384u << 3, WorldMCellEdge());
    WorldMSetCellExponent(40);
    EXPECT_EQ(32u, WorldMCellExponent());
    WorldMSetCellExponent(0);
    EXPECT_EQ(16384u, WorldMCellEdge());
    EXPECT_EQ(28377u, GetU32(Img(), WLE_CELL_DIAGONAL));
    WorldMSetCellsY(9);
    EXPECT_EQ(9u, WorldMCellsY());
    WorldMUndo();
    EXPECT_EQ(4u, WorldMCellsY()) << "setting a field takes an undo snapshot first";
}

TEST_F(WorldTest, InsertingOpensAZeroedGapAndRemovingClosesIt)
{
    ASSERT_GT(WorldMAppendPacket(WP_CORNER, WP_CORNER_SIZE), 0);
    ASSERT_GT(WorldMAppendPacket(WP_NODE, WP_NODE_SIZE), 0);
    Img()[168 + 5] = 0x77;
    ASSERT_EQ(0, WorldMInsertBytes(168 + 4, 6));
    EXPECT_EQ(168u + 10 + 56 + 6, WorldMUsed());
    for (int k = 0; k < 6; k++) EXPECT_EQ(0, Img()[168 + 4 + k]);
    EXPECT_EQ(0x77, Img()[168 + 11]) << "the bytes behind the gap moved up";
    WorldMRemoveBytes(168 + 4, 6);
    EXPECT_EQ(168u + 10 + 56, WorldMUsed());
    EXPECT_EQ(0x77, Img()[168 + 5]);
    auto w = Walk();
    ASSERT_EQ(2u, w.size());
    EXPECT_EQ((std::pair<uint32_t, uint16_t>(168, WP_CORNER)), w[0]);
    EXPECT_EQ((std::pair<uint32_t, uint16_t>(178, WP_NODE)), w[1]);
    EXPECT_EQ(234u, WorldMEndOfData());
}

TEST_F(WorldTest, AnInsertPastTwoThirdsIsRefusedAndChangesNothing)
{
    uint32_t limit = WorldMLimit();
    ASSERT_EQ(0, WorldMInsertBytes(168, limit - 168 - 10));
    Bytes before(Img(), Img() + WorldMCapacity());
    EXPECT_EQ(-1, WorldMInsertBytes(168, 11));
    EXPECT_EQ(before, Bytes(Img(), Img() + WorldMCapacity()));
    EXPECT_EQ(0, WorldMInsertBytes(WorldMEndOfData(), 10)) << "exactly two thirds fits";
    EXPECT_EQ(limit, WorldMUsed());
    EXPECT_EQ(-4, WorldMAppendPacket(WP_CORNER, WP_CORNER_SIZE));
}

TEST_F(WorldTest, TheWalkGoesPacketByPacketAndStopsAtTheUsedSize)
{
    Bytes image = WleImage().Raw(WP_RESERVED_1002, 68).Raw(WP_CELL, 120).Raw(WP_CORNER, 10).Raw(WP_RESERVED_1005, 54)
                      .Raw(WP_SHORT_SHAPE, 64).Raw(WP_NODE, 56).Raw(WP_SHAPE, 88).Terrain(100).Raw(WP_NODE, 56)
                      .Done();
    EXPECT_EQ(0, WorldMCheckImage(image.data(), (uint32_t)image.size(), nullptr, 0));
    std::vector<std::pair<uint32_t, uint16_t>> expect = {
        {168, 0x1002}, {236, 0x1003}, {356, 0x1004}, {366, 0x1005}, {420, 0x1006},
        {484, 0x1007}, {540, 0x1008}, {628, 0x1009}, {728, 0x1007}};
    EXPECT_EQ(expect, Walk(image.data()));
    EXPECT_EQ(0u, WorldMPacketSize((const uint8_t*)"\x01\x10"));
}

// ---- Names and file names

TEST_F(WorldTest, FileNamesAreUpperCaseWithTheShpExtension)
{
    auto fn = [](const char* field8) {
        uint8_t f[8] = {};
        memcpy(f, field8, strnlen(field8, 8));
        const char* r = WorldMShapeFileName(f);
        return std::string(r ? r : "(none)");
    };
    EXPECT_EQ("ROCK.SHP", fn("rock.shp"));
    EXPECT_EQ("TREE.SHP", fn("tree"));
    EXPECT_EQ("ABCDEFGH.SHP", fn("abcdefgh")) << "eight characters without a NUL";
    EXPECT_EQ("A.SHP", fn("a"));
    EXPECT_EQ("(none)", fn(""));
    EXPECT_EQ("(none)", fn(".shp"));
}

TEST_F(WorldTest, NewNamesCountFromAAAAWithLettersThenDigits)
{
    EXPECT_EQ(Name4("AAAA"), WorldMNewShapeName());
    ASSERT_GT(WorldMAddShape("rock.shp", 0, 0, 0, Name4("AAAA")), 0);
    EXPECT_EQ(Name4("AAAB"), WorldMNewShapeName());
    for (char c = 'B'; c <= 'Z'; c++) {
        char n[5] = {'A', 'A', 'A', c, 0};
        ASSERT_GT(WorldMAddShape("rock.shp", 0, 0, 0, Name4(n)), 0);
    }
    EXPECT_EQ(Name4("AAA0"), WorldMNewShapeName()) << "after AAAZ";
    for (char c = '0'; c <= '9'; c++) {
        char n[5] = {'A', 'A', 'A', c, 0};
        ASSERT_GT(WorldMAddShape("rock.shp", 0, 0, 0, Name4(n)), 0);
    }
    EXPECT_EQ(Name4("AABA"), WorldMNewShapeName()) << "after AAA9";
}

TEST_F(WorldTest, NamesAreFourLettersOrDigits)
{
    EXPECT_EQ(0, WorldMNameIsValid(Name4("AZ09")));
    EXPECT_EQ(-1, WorldMNameIsValid(Name4("AZ0a")));
    EXPECT_EQ(-1, WorldMNameIsValid(Name4("AB C")));
    EXPECT_EQ(-1, WorldMNameIsValid(0));
    uint32_t n = 1;
    EXPECT_EQ(0, WorldMParseName("", &n));
    EXPECT_EQ(0u, n) << "an empty text is no name";
    EXPECT_EQ(0, WorldMParseName("ab12", &n));
    EXPECT_EQ(Name4("AB12"), n);
    EXPECT_EQ(-1, WorldMParseName("ab1", &n));
    EXPECT_EQ(-1, WorldMParseName("ab123", &n));
    EXPECT_EQ(-1, WorldMParseName("ab-1", &n));
}

// ---- Adding worldshapes

TEST_F(WorldTest, AnAddedWorldshapeHasEveryFieldSet)
{
    ASSERT_EQ(1, WorldMAddShape("rock.shp", 100, -200, 300, Name4("DOOR")));
    ASSERT_EQ(168u + 88, WorldMUsed());
    uint8_t* p = Shapes()[0];
    uint16_t handle = GetU16(p, WS_HANDLE);
    EXPECT_TRUE(ShapeMIsPrepared(handle));
    Bytes want = WleImage().Shape({.id = 1, .name = Name4("DOOR"), .x = 100, .y = -200, .z = 300, .file = "ROCK.SHP",
                                   .handle = handle, .field60 = 0xFFFF}).Done();
    EXPECT_EQ(Bytes(want.begin() + WLE_HEADER_SIZE, want.end()), Bytes(p, p + WP_SHAPE_SIZE));
    EXPECT_STREQ("DOOR", WorldMShapeName(p));
    EXPECT_EQ(2, WorldMAddShape("TREE", 0, 0, 0, 0));
    EXPECT_EQ((std::vector<uint8_t*>{p, nullptr, nullptr}),
              (std::vector<uint8_t*>{WorldMShapeFindData(1), WorldMShapeFindData(0), WorldMShapeFindData(3)}));
    EXPECT_EQ(1, WorldMFindShapeByName(Name4("DOOR")));
    EXPECT_EQ(0, WorldMFindShapeByName(Name4("NONE")));
    EXPECT_EQ(nullptr, WorldMShapeName(WorldMShapeFindData(2)));
    EXPECT_EQ(2, WorldMCountShapes());
}

TEST_F(WorldTest, AddingFailsWithTheCodesOfTheTable)
{
    ASSERT_EQ(1, WorldMAddShape("rock.shp", 0, 0, 0, Name4("ROCK")));
    Bytes before = Used();
    EXPECT_EQ(-1, WorldMAddShape("rock.shp", 0, 0, 0, Name4("RoCK")));
    EXPECT_EQ(-3, WorldMAddShape("rock.shp", 0, 0, 0, Name4("ROCK")));
    EXPECT_EQ(-5, WorldMAddShape("nothere.shp", 0, 0, 0, 0));
    EXPECT_EQ(-5, WorldMAddShape("", 0, 0, 0, 0));
    EXPECT_EQ(before, Used());
    ASSERT_EQ(0, WorldMInsertBytes(WorldMEndOfData(), WorldMLimit() - WorldMUsed() - 87));
    before = Used();
    EXPECT_EQ(-4, WorldMAddShape("rock.shp", 0, 0, 0, 0));
    EXPECT_EQ(before, Used()) << "a refused add changes nothing";
    EXPECT_EQ(2, WorldMNextShapeID()) << "and takes no ID";
}

TEST_F(WorldTest, AllocIDsGiveTheSmallestFreeOne)
{
    WorldMAddShape("rock.shp", 0, 0, 0, 0);
    WorldMAddShape("rock.shp", 0, 0, 0, 0);
    WorldMAddShape("rock.shp", 0, 0, 0, 0);
    PutU16(Shapes()[1], WS_ID, 9);
    EXPECT_EQ(2, AllocWorldShapeID());
}

TEST_F(WorldTest, AWrappedIDCounterSkipsIDsInUse)
{
    // Loads renumber from the running counter: run it up to 65534 with worlds of many shapes.
    while (WorldMNextShapeID() != 65534) {
        int n = 65534 - WorldMNextShapeID();
        if (n > 3000) n = 3000;
        WleImage w;
        for (int k = 0; k < n; k++) w.Shape({.file = "ROCK"});
        ASSERT_EQ(0, LoadBytes(w.Done(), "many.wle"));
    }
    ASSERT_EQ(0, LoadBytes(WleImage().Shape({.file = "ROCK"}).Done(), "one.wle"));
    EXPECT_EQ(65534, GetU16(Shapes()[0], WS_ID));
    ASSERT_EQ(65535, WorldMAddShape("rock.shp", 0, 0, 0, 0));
    EXPECT_EQ(1, WorldMNextShapeID()) << "the counter wraps past 0";
    PutU16(Shapes()[0], WS_ID, 1);   // 1 and 65535 are in use
    EXPECT_EQ(2, WorldMAddShape("rock.shp", 0, 0, 0, 0)) << "0 and 1 are skipped";
    EXPECT_EQ(3, WorldMAddShape("rock.shp", 0, 0, 0, 0));
}

// ---- Selection and editing

class WorldEditTest : public WorldTest {
protected:
    void SetUp() override
    {
        WorldTest::SetUp();
        ASSERT_EQ(1, WorldMAddShape("rock.shp", 100, 10, -100, 0));
        ASSERT_EQ(2, WorldMAddShape("rock.shp", 300, 30, 500, Name4("DYN1")));
        ASSERT_EQ(3, WorldMAddShape("tree.shp", -50, 0, 0, 0));
    }
};

TEST_F(WorldEditTest, SelectionCountsAndTheFirstSelected)
{
    EXPECT_EQ(0, WorldMCountSelectedShapes());
    EXPECT_EQ(0, WorldMFirstSelectedShape());
    int32_t c[3] = {7, 7, 7};
    EXPECT_EQ(0, WorldMSelectionCentre(c));
    EXPECT_EQ(7, c[0]) << "nothing is written without a selection";
    WorldMSelectShape(3);
    WorldMSelectShape(2);
    EXPECT_EQ(2, WorldMCountSelectedShapes());
    EXPECT_EQ(2, WorldMFirstSelectedShape()) << "packet order";
    ASSERT_EQ(1, WorldMSelectionCentre(c));
    EXPECT_EQ(125, c[0]);
    EXPECT_EQ(15, c[1]);
    EXPECT_EQ(250, c[2]);
    WorldMDeselectShape(2);
    EXPECT_EQ(3, WorldMFirstSelectedShape());
    WorldMSelectAllShapes();
    EXPECT_EQ(3, WorldMCountSelectedShapes());
    WorldMDeselectAllShapes();
    EXPECT_EQ(0, WorldMCountSelectedShapes());
}

TEST_F(WorldEditTest, HideMoveAndTurnActOnTheSelectionWithUndo)
{
    WorldMSelectShape(1);
    WorldMSelectShape(2);
    WorldMMoveSelectedX(5);
    WorldMMoveSelectedY(-6);
    WorldMMoveSelectedZ(7);
    EXPECT_EQ(105, GetI32(WorldMShapeFindData(1), WS_X));
    EXPECT_EQ(24, GetI32(WorldMShapeFindData(2), WS_Y));
    EXPECT_EQ(507, GetI32(WorldMShapeFindData(2), WS_Z));
    EXPECT_EQ(0, GetI32(WorldMShapeFindData(3), WS_Z)) << "an unselected shape stays";
    WorldMUndo();
    EXPECT_EQ(500, GetI32(WorldMShapeFindData(2), WS_Z)) << "the last move is undone";
    EXPECT_EQ(105, GetI32(WorldMShapeFindData(1), WS_X)) << "one level only";
    WorldMTurnSelectedYaw(0x1000);
    WorldMTurnSelectedPitch(-0x800);
    EXPECT_EQ(0, GetI16(WorldMShapeFindData(1), WS_YAW)) << "unnamed shapes keep yaw and pitch";
    EXPECT_EQ(0, GetI16(WorldMShapeFindData(1), WS_PITCH));
    EXPECT_EQ(0x1000, GetI16(WorldMShapeFindData(2), WS_YAW));
    EXPECT_EQ(-0x800, GetI16(WorldMShapeFindData(2), WS_PITCH));
    WorldMHideUnselected();
    EXPECT_TRUE(GetU16(WorldMShapeFindData(3), WS_FLAGS) & WSF_HIDDEN);
    EXPECT_FALSE(GetU16(WorldMShapeFindData(1), WS_FLAGS) & WSF_HIDDEN);
    WorldMHideSelected();
    EXPECT_TRUE(GetU16(WorldMShapeFindData(1), WS_FLAGS) & WSF_HIDDEN);
    WorldMUndo();
    EXPECT_FALSE(GetU16(WorldMShapeFindData(1), WS_FLAGS) & WSF_HIDDEN);
    WorldMUnhideAll();
    EXPECT_FALSE(GetU16(WorldMShapeFindData(3), WS_FLAGS) & WSF_HIDDEN);
}

TEST_F(WorldEditTest, NamingTheFirstSelectedIsValidatedAndAnEmptyNameClears)
{
    EXPECT_EQ(-1, WorldMSetSelectedName(Name4("ABCD"))) << "nothing selected";
    WorldMSelectShape(3);
    WorldMSelectShape(2);
    EXPECT_EQ(Name4("DYN1"), WorldMGetSelectedName());
    EXPECT_EQ(-1, WorldMSetSelectedName(Name4("ab!d")));
    EXPECT_EQ(Name4("DYN1"), WorldMGetSelectedName()) << "a refused name changes nothing";
    WorldMDeselectShape(3);
    WorldMSelectShape(1);
    EXPECT_EQ(-3, WorldMSetSelectedName(Name4("DYN1"))) << "another worldshape carries it";
    EXPECT_EQ(0, WorldMSetSelectedName(Name4("ROCK")));
    EXPECT_EQ(Name4("ROCK"), GetU32(WorldMShapeFindData(1), WS_NAME));
    EXPECT_EQ(0, WorldMSetSelectedName(Name4("ROCK"))) << "its own name again";
    EXPECT_EQ(0, WorldMSetSelectedName(0));
    EXPECT_EQ(0u, GetU32(WorldMShapeFindData(1), WS_NAME));
    WorldMUndo();
    EXPECT_EQ(Name4("ROCK"), GetU32(WorldMShapeFindData(1), WS_NAME));
}

TEST_F(WorldEditTest, DeletingRemovesEverySelectedWorldshapeAndKeepsTheRest)
{
    int32_t at = WorldMAppendPacket(WP_NODE, WP_NODE_SIZE);
    PutU16(Img() + at, WN_ID, 4);
    WorldMSelectShape(1);
    WorldMSelectShape(3);
    Bytes before = Used();
    WorldMDeleteSelected();
    EXPECT_EQ(before.size() - 2 * 88, WorldMUsed());
    EXPECT_EQ(nullptr, WorldMShapeFindData(1));
    EXPECT_EQ(nullptr, WorldMShapeFindData(3));
    ASSERT_NE(nullptr, WorldMShapeFindData(2));
    EXPECT_EQ(300, GetI32(WorldMShapeFindData(2), WS_X));
    EXPECT_NE(nullptr, WorldMNodeFindData(4));
    WorldMUndo();
    EXPECT_EQ(before, Used());
}

TEST_F(WorldEditTest, TheCensusCountsWorldshapesOfTheFirstSelectedShape)
{
    EXPECT_EQ(0, WorldMShapeCensus());
    WorldMSelectShape(2);
    EXPECT_EQ(2, WorldMShapeCensus());
    WorldMDeselectShape(2);
    WorldMSelectShape(3);
    EXPECT_EQ(1, WorldMShapeCensus());
    PutU16(WorldMShapeFindData(3), WS_HANDLE, 0);
    EXPECT_EQ(0, WorldMShapeCensus());
}

TEST_F(WorldEditTest, WithoutTerrainADropPutsTheLowestPointAtZero)
{
    WorldMSelectShape(2);
    WorldMDropSelectedToGround();
    EXPECT_EQ(20, GetI32(WorldMShapeFindData(2), WS_Y)) << "0 - the shape's lowest Y (-20)";
    WorldMUndo();
    EXPECT_EQ(30, GetI32(WorldMShapeFindData(2), WS_Y));
}

TEST_F(WorldEditTest, AddOnGroundDropsTheNewShapeNotTheSelectedOne)
{
    WorldMSelectShape(2);
    int id = WorldMAddShapeOnGround("rock.shp", 1000, 2000, Name4("NEW1"));
    ASSERT_EQ(4, id);
    EXPECT_EQ(20, GetI32(WorldMShapeFindData(4), WS_Y));
    EXPECT_EQ(1000, GetI32(WorldMShapeFindData(4), WS_X));
    EXPECT_EQ(2000, GetI32(WorldMShapeFindData(4), WS_Z));
    EXPECT_EQ(30, GetI32(WorldMShapeFindData(2), WS_Y)) << "the selected shape stays";
    EXPECT_EQ(-3, WorldMAddShapeOnGround("rock.shp", 0, 0, Name4("NEW1")));
    EXPECT_EQ(-5, WorldMAddShapeOnGround("gone.shp", 0, 0, 0));
    // A world with no room for one more: that refusal takes no undo copy either.
    int filled = 0;
    while (WorldMAddShape("rock.shp", 0, 0, 0, 0) > 0) filled++;
    ASSERT_GT(filled, 0);
    EXPECT_EQ(WORLD_ERR_OUT_OF_SPACE, WorldMAddShapeOnGround("rock.shp", 0, 0, 0));
    WorldMUndo();
    EXPECT_EQ(nullptr, WorldMShapeFindData(4)) << "one undo takes the add back";
    EXPECT_EQ(nullptr, WorldMShapeFindData(5)) << "and what came after it";
}

TEST_F(WorldEditTest, NewEmptiesTheWorldAndRestartsTheIDs)
{
    Bytes before = Used();
    WorldMNew();
    EXPECT_EQ(168u, WorldMUsed());
    EXPECT_EQ(1, WorldMNextShapeID());
    WorldMUndo();
    EXPECT_EQ(before, Used());
}

TEST_F(WorldTest, UndoIsOnlyTakenWhileItIsOn)
{
    WorldMSetChanged(0);
    WorldMAddShape("rock.shp", 0, 0, 0, 0);
    WorldMSelectAllShapes();
    WorldMMoveSelectedX(1);
    EXPECT_EQ(-1, WorldMChanged());
    WorldMSetUndo(0);
    WorldMSetChanged(0);
    WorldMMoveSelectedX(1);
    EXPECT_EQ(0, WorldMChanged());
    WorldMUndo();
    EXPECT_EQ(2, GetI32(WorldMShapeFindData(1), WS_X)) << "undo does nothing while off";
    WorldMSetUndo(1);
    WorldMUndo();
    EXPECT_EQ(0, GetI32(WorldMShapeFindData(1), WS_X));
}

TEST_F(WorldTest, TheNodeDisplayTableGrowsByAThousandEntries)
{
    EXPECT_EQ(10000u, WorldMNodeDisplayCapacity());
    uint8_t* e = WorldMNodeDisplayEntry(5);
    PutU32(e, ND_SCREEN_X, 1234);
    EXPECT_NE(nullptr, WorldMNodeDisplayEntry(10000));
    EXPECT_EQ(11000u, WorldMNodeDisplayCapacity());
    EXPECT_EQ(1234u, GetU32(WorldMNodeDisplayEntry(5), ND_SCREEN_X)) << "contents are kept";
    WorldMNodeDisplayEntry(12500);
    EXPECT_EQ(13000u, WorldMNodeDisplayCapacity());
}
