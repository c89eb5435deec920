// The material list: install, files, adding, deleting, the current material and field edits.
#include "materials/mattest.h"

static int handlerRuns;
static void CountRuns(void) { handlerRuns++; }

TEST_F(Materials, InstallHoldsTheDummyOnly)
{
    ASSERT_EQ(1, MatMCount());
    Bytes image(MAT_HEADER_SIZE + MAT_RECORD_SIZE, 0);
    image[MH_COUNT] = 1;
    image[MH_VERSION] = 4;
    memcpy(&image[8], "Dummy", 5);
    image[8 + MR_PALETTE] = 250;
    EXPECT_EQ(image, ListImage());
    EXPECT_EQ(0, IntMatFind("dummy"));

    MatMSetTrueColour();
    ASSERT_EQ(0, MatMSave("list.mat"));
    image[MH_FLAGS] = 1;
    EXPECT_EQ(image, ReadBytes("list.mat"));
    EXPECT_EQ(1, MatMSave("no/such/folder/list.mat"));
}

TEST_F(Materials, MergeSkipsKnownNamesAndCountsEveryRecordAgainstTheLimit)
{
    WriteBytes("a.mat", MatFile({{"Dummy", 1, 1, 1}, {"Red", 16383}, {"Blue"}}));
    ASSERT_EQ(0, MatMLoad("a.mat"));
    ASSERT_EQ(3, MatMCount());
    EXPECT_EQ(250, MatMGetPalette(0)) << "the list keeps its own Dummy";
    EXPECT_EQ(1, MatMTexturesDirty());

    // Names differing only in case are one material.
    WriteBytes("b.mat", MatFile({{"RED", 5}, {"green"}, {"Blue"}}));
    ASSERT_EQ(0, MatMMerge("b.mat"));
    ASSERT_EQ(4, MatMCount());
    EXPECT_EQ(16383, GetI32(MatMRecord(1), MR_RED));
    EXPECT_STREQ("green", MatMGetName(3));
    EXPECT_EQ(3, IntMatFind("GREEN"));

    // Names that all exist add nothing, yet the list is reloaded: an edit made behind the
    // setters' back reaches the render table.
    IntMatAddChangeHandler(CountRuns);
    handlerRuns = 0;
    PutI32(MatMRecord(2), MR_AMBIENT, 777);
    ASSERT_EQ(0, MatMMerge("b.mat"));
    EXPECT_EQ(4, MatMCount());
    EXPECT_EQ(1, handlerRuns);
    EXPECT_EQ(777, IntMatAmbient(2));

    // 4 + 997 passes 1000 even though one of the 997 would be skipped: nothing is added.
    std::vector<Mat> many = NumberedMats("M", 996);
    many.push_back({"Red"});
    WriteBytes("many.mat", MatFile(many));
    const Bytes before = ListImage();
    EXPECT_EQ(1, MatMMerge("many.mat"));
    EXPECT_EQ(before, ListImage());
    many.pop_back();
    WriteBytes("many.mat", MatFile(many));
    ASSERT_EQ(0, MatMMerge("many.mat"));
    EXPECT_EQ(1000, MatMCount());
    MatMAdd(1);
    EXPECT_EQ(1000, MatMCount()) << "a full list takes no more";

    // A full list that was saved loads back: the file's Dummy takes no new place.
    ASSERT_EQ(0, MatMSave("full.mat"));
    MatMInstall();
    ASSERT_EQ(0, MatMLoad("full.mat"));
    EXPECT_EQ(ReadBytes("full.mat"), ListImage());
    ASSERT_EQ(0, MatMLoad("b.mat"));   // loading replaces
    EXPECT_EQ(4, MatMCount());
    EXPECT_STREQ("RED", MatMGetName(1));
}

TEST_F(Materials, AddNamesInsertsBehindTheDummy)
{
    WriteBytes("a.mat", MatFile({{"A"}, {"B"}}));
    ASSERT_EQ(0, MatMLoad("a.mat"));
    MatMClearTexturesDirty();
    MatMAdd(0);
    ASSERT_EQ(4, MatMCount());
    EXPECT_STREQ("New Mat 00", MatMGetName(1));
    EXPECT_STREQ("A", MatMGetName(2));
    EXPECT_EQ(1, MatMTexturesDirty());
    EXPECT_EQ(Bytes(MatMRecord(1), MatMRecord(1) + MAT_RECORD_SIZE),
              MatRecordBytes({"New Mat 00", 0, 0, 0, 0, 16384, 16384}));
    EXPECT_EQ(16384, IntMatDiffuse(1));

    MatMAdd(3);
    EXPECT_STREQ("New Mat 01", MatMGetName(3));
    EXPECT_STREQ("B", MatMGetName(4));

    // The counter is kept: with 00 gone, the next name still follows 01.
    MatMSetCurrent(1);
    MatMDelete();
    MatMAdd(1);
    EXPECT_STREQ("New Mat 02", MatMGetName(1));
    // Past 99 the tens character runs on beyond '9'.
    for (int i = 3; i <= 100; i++) MatMAdd(1);
    EXPECT_STREQ("New Mat :0", MatMGetName(1));
    EXPECT_STREQ("New Mat 99", MatMGetName(2));
}

TEST_F(Materials, DeleteAndTheCurrentMaterial)
{
    WriteBytes("a.mat", MatFile({{"A"}, {"B"}, {"C"}}));
    ASSERT_EQ(0, MatMLoad("a.mat"));
    std::vector<int> current;
    MatMPrevious();
    current.push_back(MatMCurrent());
    MatMNext();
    current.push_back(MatMCurrent());
    MatMSetCurrent(99);
    current.push_back(MatMCurrent());
    MatMSetCurrent(-5);
    current.push_back(MatMCurrent());
    EXPECT_EQ(current, (std::vector<int>{3, 0, 3, 0})) << "wrapping back and on, clamped when set";

    MatMClearTexturesDirty();
    MatMDelete();   // the Dummy stays
    EXPECT_EQ(4, MatMCount());
    EXPECT_EQ(0, MatMTexturesDirty());

    MatMSetCurrent(3);
    MatMDelete();
    ASSERT_EQ(3, MatMCount());
    EXPECT_EQ(2, MatMCurrent());
    EXPECT_EQ(IM_NONE, IntMatFind("C"));
    EXPECT_EQ(1, MatMTexturesDirty());

    MatMSetCurrent(1);
    MatMDelete();   // at 1 the current index stays
    EXPECT_EQ(1, MatMCurrent());
    EXPECT_EQ(1, IntMatFind("b"));
}

TEST_F(Materials, FieldSettersMirrorIntoTheRenderTable)
{
    WriteBytes("a.mat", MatFile({{"A"}}));
    MatMSetTrueColour();
    ASSERT_EQ(0, MatMLoad("a.mat"));
    EXPECT_EQ(1, IntMatUnlit(1));

    MatMSetRed(1, 16384);
    MatMSetGreen(1, 8191);
    MatMSetBlue(1, -3);
    MatMSetSI(1, 0x12345);
    MatMSetAmbient(1, 16384);
    MatMSetDiffuse(1, 3);
    MatMSetSpecular(1, 4);
    MatMSetAlpha(1, 5000);
    const int32_t stored[] = {16383, 8191, 0, 0x2345, 16384, 3, 4, 5000};
    for (int i = 0; i < 8; i++) EXPECT_EQ(stored[i], GetI32(MatMRecord(1), MR_RED + 4 * i)) << i;
    EXPECT_EQ((std::vector<int32_t>{IntMatRed(1), IntMatGreen(1), IntMatBlue(1), IntMatSI(1), IntMatAmbient(1),
                                    IntMatDiffuse(1), IntMatSpecular(1), IntMatAlpha(1)}),
              (std::vector<int32_t>{255, 127, 0, 0x12345, 16384, 3, 4, 5000}));
    EXPECT_EQ(0, IntMatUnlit(1)) << "the unlit flag follows the coefficients";

    MatMSetPalette(1, 0x1C8);
    EXPECT_EQ(0xC8, IntMatPalette(1));
    EXPECT_EQ(0x3FC8, GetI32(MatMRecord(1), MR_RED)) << "the palette index is the red word's low byte";

    // An index outside the list writes nothing, not even the Dummy's render entry.
    const Bytes before = ListImage();
    MatMSetAmbient(2, 99);
    MatMSetRed(-1, 99);
    EXPECT_EQ(before, ListImage());
    EXPECT_EQ(0, IntMatAmbient(0));

    // In palette mode the render colour follows the palette index.
    MatMInstall();
    PalMSetColour(40, 63, 32, 1);
    ASSERT_EQ(0, MatMLoad("a.mat"));
    MatMSetPalette(1, 40);
    EXPECT_EQ((std::vector<int32_t>{IntMatRed(1), IntMatGreen(1), IntMatBlue(1)}), (std::vector<int32_t>{252, 128, 4}));
}

TEST_F(Materials, NamesAndTexturesStayInsideTheirFields)
{
    WriteBytes("a.mat", MatFile({{"A", 11}}));
    ASSERT_EQ(0, MatMLoad("a.mat"));
    MatMClearTexturesDirty();
    IntMatAddChangeHandler(CountRuns);
    handlerRuns = 0;

    EXPECT_EQ(0, MatMSetName(1, "a"));   // another case only: copied, no reload
    EXPECT_STREQ("a", MatMGetName(1));
    EXPECT_EQ(0, handlerRuns + MatMTexturesDirty());

    EXPECT_EQ(1, MatMSetName(1, "A name far longer than sixteen"));
    EXPECT_STREQ("A name far long", MatMGetName(1));
    EXPECT_EQ(11, GetI32(MatMRecord(1), MR_RED));
    EXPECT_EQ(1, handlerRuns);
    EXPECT_EQ(1, MatMTexturesDirty());
    EXPECT_EQ(1, IntMatFind("A NAME FAR LONG"));
    EXPECT_EQ(0, MatMSetName(1, "A name far longer than sixteen")) << "the cut text is compared";

    MatMRecord(1)[MR_TEXTURE + MAT_TEXTURE_SIZE] = 0x5A;
    EXPECT_EQ(1, MatMSetTexture(1, "averyverylongname.spr"));
    EXPECT_STREQ("averyverylon", MatMGetTexture(1));
    EXPECT_EQ(0x5A, MatMRecord(1)[MR_TEXTURE + MAT_TEXTURE_SIZE]);

    // Fields filled to the last byte by a file are read within their bounds.
    WriteBytes("b.mat", MatFile({{"0123456789abcdefXYZ", 0, 0, 0, 0, 0, 0, 0, 0, "ABCDEFGHIJKLMNOP"}}));
    ASSERT_EQ(0, MatMMerge("b.mat"));
    EXPECT_STREQ("0123456789abcdef", MatMGetName(2));
    EXPECT_STREQ("ABCDEFGHIJKL", MatMGetTexture(2));
    EXPECT_EQ(2, IntMatFind("0123456789ABCDEFGHIJ"));
    EXPECT_EQ(IM_NONE, IntMatFind("0123456789ABCDEX")) << "all 16 characters count";
}
