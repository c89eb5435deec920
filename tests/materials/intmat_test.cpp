// The render table: conversion from the list, the index rules, lookups, handlers, textures.
#include <utility>

#include "materials/mattest.h"

static int runs[IM_MAX_HANDLERS + 1];
template <int N> static void Handler(void) { runs[N]++; }
static int DrawHook(void*) { return 7; }

TEST_F(Materials, ColoursComeFromThePaletteOrTheRecord)
{
    PalMSetColour(7, 10, 20, 63);
    WriteBytes("a.mat", MatFile({{"Lit", 7, 4095, 64, 100, 200, 300, 400, 500, "none.spr"},
                                 {"Flat", 0, 0, 0, 0, 0, 0, 9},
                                 {"Glow", 0, 0, 0, 5}}));
    ASSERT_EQ(0, MatMLoad("a.mat"));
    const uint8_t* e = IntMatPtr(1);
    ASSERT_NE(nullptr, e);
    EXPECT_EQ(0, memcmp(e, "LIT             ", 16));
    // Hook, reserved, ambient, diffuse, specular, S.I., unlit, alpha, reserved, palette, RGB.
    const int32_t words[] = {0, 0, 200, 300, 400, 100, 0, 500, 0, 7, 40, 80, 252};
    for (int i = 0; i < 13; i++) EXPECT_EQ(words[i], GetI32(e, IM_DRAW_HOOK + 4 * i)) << i;
    EXPECT_EQ(0u, GetU32(e, IM_SPRITE)) << "a missing texture draws untextured, no copy";
    EXPECT_EQ(1, IntMatUnlit(2)) << "no S.I., ambient or diffuse; specular does not count";
    EXPECT_EQ(0, IntMatUnlit(3)) << "S.I. alone lights it";

    // The same record in a true-colour list takes its own RGB.
    MatMInstall();
    MatMSetTrueColour();
    ASSERT_EQ(0, MatMLoad("a.mat"));
    EXPECT_EQ((std::vector<int32_t>{IntMatRed(1), IntMatGreen(1), IntMatBlue(1)}), (std::vector<int32_t>{0, 63, 1}));
}

TEST_F(Materials, TheDummyEntryIsAllZero)
{
    WriteSprite("Brick.SPR");
    uint8_t* dummy = MatMRecord(0);
    PutI32(dummy, MR_RED, 16383);
    PutI32(dummy, MR_AMBIENT, 16384);
    memcpy(dummy + MR_TEXTURE, "brick.spr", 9);
    MatMReload();
    int used = ResUsedCount();
    MatMReload();
    const uint8_t* e = IntMatPtr(0);
    EXPECT_EQ(0, memcmp(e, "DUMMY           ", 16));
    EXPECT_EQ(Bytes(IM_CLEARED_BYTES, 0), Bytes(e + 16, e + 16 + IM_CLEARED_BYTES));
    EXPECT_EQ(used, ResUsedCount()) << "the Dummy's texture copy is not left behind";
}

TEST_F(Materials, TheDummyIsLitInTheColourGivenAndKeepsItThroughRebuilds)
{
    MatMReload();
    IntMatSetDummyColour(160, 80, 300);   // 300 is held at 255
    EXPECT_EQ((std::vector<int32_t>{IntMatRed(0), IntMatGreen(0), IntMatBlue(0), IntMatAmbient(0), IntMatDiffuse(0)}),
              (std::vector<int32_t>{160, 80, 255, 16384, 16384}));
    MatMAdd(MatMCount());   // the list changes: the table is built again
    EXPECT_EQ((std::vector<int32_t>{IntMatRed(0), IntMatGreen(0), IntMatBlue(0), IntMatAmbient(0)}),
              (std::vector<int32_t>{160, 80, 255, 16384}));
    EXPECT_EQ(IntMatRed(1), 0) << "only the Dummy";
    IntMatSetDummyColour(0, 0, 0);
    const uint8_t* e = IntMatPtr(0);
    EXPECT_EQ(Bytes(IM_CLEARED_BYTES, 0), Bytes(e + 16, e + 16 + IM_CLEARED_BYTES)) << "black: all zero again";
    MatMReload();
    EXPECT_EQ(Bytes(IM_CLEARED_BYTES, 0), Bytes(e + 16, e + 16 + IM_CLEARED_BYTES));
}

TEST_F(Materials, IndexRules)
{
    WriteBytes("a.mat", MatFile({{"One", 0, 0, 0, 1, 2}, {"Two", 0, 0, 0, 6, 7}}));
    ASSERT_EQ(0, MatMLoad("a.mat"));
    IntMatSetAmbient(0, 1111);   // entry 0 made recognisable

    // The no-material index names a static record: setters write there, the S.I., alpha and
    // palette getters read 0 from it.
    IntMatSetAmbient(IM_NONE, 42);
    IntMatSetSI(IM_NONE, 43);
    IntMatSetAlpha(IM_NONE, 44);
    IntMatSetPalette(IM_NONE, 45);
    EXPECT_EQ((std::vector<int32_t>{IntMatAmbient(IM_NONE), IntMatSI(IM_NONE), IntMatAlpha(IM_NONE), IntMatPalette(IM_NONE)}),
              (std::vector<int32_t>{42, 0, 0, 0}));
    EXPECT_EQ(1111, IntMatAmbient(0));

    // Any other index outside the table names entry 0.
    for (int i : {3, 511, 32766, 32768, -1}) {
        IntMatSetDiffuse(i, i);
        EXPECT_EQ((std::vector<int32_t>{IntMatAmbient(i), IntMatDiffuse(0)}), (std::vector<int32_t>{1111, i})) << i;
    }
    EXPECT_EQ(7, IntMatAmbient(2));

    // The pointer: entries below the count, entry 0 at the count, none above.
    uint8_t* base = IntMatPtr(0);
    EXPECT_EQ((std::vector<uint8_t*>{IntMatPtr(2), IntMatPtr(3), IntMatPtr(4), IntMatPtr(IM_NONE)}),
              (std::vector<uint8_t*>{base + 2 * IM_SIZE, base, nullptr, nullptr}));

    // A draw hook is a flag word in the record and a routine beside it; a reload clears it.
    IntMatSetDrawHook(1, DrawHook);
    EXPECT_EQ(1u, GetU32(IntMatPtr(1), IM_DRAW_HOOK));
    ASSERT_EQ(DrawHook, IntMatDrawHook(1));
    EXPECT_EQ(nullptr, IntMatDrawHook(2));
    MatMReload();
    EXPECT_EQ(nullptr, IntMatDrawHook(1));
}

TEST_F(Materials, FindAndFindOrAddRunTheHandlers)
{
    IntMatAddChangeHandler(Handler<0>);
    IntMatAddChangeHandler(Handler<0>);   // once only
    WriteBytes("a.mat", MatFile({{"stone"}}));
    ASSERT_EQ(0, MatMLoad("a.mat"));
    EXPECT_EQ(1, runs[0]);
    EXPECT_EQ((std::vector<int>{IntMatFind("STONE"), IntMatFind("Ston"), IntMatFind("stone x")}),
              (std::vector<int>{1, IM_NONE, IM_NONE}));

    // Added without the palette and without a texture copy; the list does not change.
    WriteSprite("grass.spr");
    Bytes rec = MatRecordBytes({"Grass", 1000, 2000, 4000, 0, 0, 0, 0, 0, "GRASS.SPR"});
    EXPECT_EQ(2, IntMatFindOrAdd(rec.data()));
    EXPECT_EQ(2, runs[0]);
    EXPECT_EQ((std::vector<int32_t>{IntMatRed(2), IntMatBlue(2), IntMatHandle(2)}), (std::vector<int32_t>{15, 62, 0}));
    EXPECT_NE(0, IntMatSprite(2));
    EXPECT_EQ(2, MatMCount());
    EXPECT_EQ(2, IntMatFindOrAdd(rec.data()));
    EXPECT_EQ(1, IntMatFindOrAdd(MatRecordBytes({"STONE", 99}).data()));
    EXPECT_EQ(2, runs[0]) << "finding runs no handler";

    // A full table adds nothing; an empty one finds nothing; 16 handlers at most.
    ASSERT_EQ(0, IntMatCreate(2));
    MatMReload();
    EXPECT_EQ(IM_NONE, IntMatFindOrAdd(rec.data()));
    IntMatReleaseAll();
    EXPECT_EQ(IM_NONE, IntMatFind("Dummy"));
    [&]<int... N>(std::integer_sequence<int, N...>) { (IntMatAddChangeHandler(Handler<N>), ...); }
    (std::make_integer_sequence<int, IM_MAX_HANDLERS + 1>());
    IntMatRunChangeHandlers();
    EXPECT_EQ(3, runs[0]);
    EXPECT_EQ(1, runs[IM_MAX_HANDLERS - 1]);
    EXPECT_EQ(0, runs[IM_MAX_HANDLERS]);
}

// A list longer than the table keeps its first materials there; edits of the others stay in
// the list rather than reaching the Dummy's entry.
TEST_F(Materials, ListLongerThanTheTable)
{
    ASSERT_EQ(0, IntMatCreate(4));
    WriteBytes("a.mat", MatFile(NumberedMats("M", 6)));
    ASSERT_EQ(0, MatMLoad("a.mat"));
    EXPECT_EQ(4, IntMatCount());
    EXPECT_EQ(3, IntMatFind("M0002"));
    MatMSetAmbient(5, 300);
    EXPECT_EQ(300, GetI32(MatMRecord(5), MR_AMBIENT));
    EXPECT_EQ(0, IntMatAmbient(0));
}

TEST_F(Materials, TexturesThatCannotBeHadAreReportedOnceEachWithTheirReasons)
{
    // Ten materials whose textures cannot be had: two damaged, eight missing.
    WriteBytes("broken.spr", Bytes{'T', 'R', 'P', 'S', 1, 2, 3});
    WriteBytes("picture.spr", Bytes{'B', 'M', 0, 0, 0, 0});
    std::vector<Mat> mats = {{"Dummy"}, {"Bad", 0, 0, 0, 0, 0, 0, 0, 0, "broken.spr"},
                             {"Photo", 0, 0, 0, 0, 0, 0, 0, 0, "picture.spr"}};
    for (int i = 0; i < 8; i++) mats.push_back({"M" + std::to_string(i), 0, 0, 0, 0, 0, 0, 0, 0, "NO" + std::to_string(i) + ".SPR"});
    WriteBytes("ten.mat", MatFile(mats));
    ASSERT_EQ(0, MatMLoad("ten.mat"));
    char report[1024];
    ASSERT_EQ(1, IntMatTakeTextureReport(report, sizeof report));
    EXPECT_STREQ(report,
                 "10 textures cannot be loaded: broken.spr (it is no SPR sprite, or a damaged one), picture.spr (it is a BMP "
                 "picture, not an SPR sprite), NO0.SPR (there is no such file), NO1.SPR (there is no such file), NO2.SPR "
                 "(there is no such file), NO3.SPR (there is no such file), NO4.SPR (there is no such file), NO5.SPR (there "
                 "is no such file) and 2 more.");
    EXPECT_EQ(0, IntMatTakeTextureReport(report, sizeof report)) << "taken";
    EXPECT_STREQ(report, "");

    // Told once: a rebuild of the table tries them again and says nothing; a load tells again.
    MatMReload();
    EXPECT_EQ(0, IntMatTakeTextureReport(report, sizeof report));
    ASSERT_EQ(0, MatMMerge("ten.mat"));
    EXPECT_EQ(1, IntMatTakeTextureReport(report, sizeof report));

    // A texture the render table loads itself (no list record behind it) is named with the
    // table's entry that uses it; one tried twice is told once.
    uint8_t record[MAT_RECORD_SIZE] = {};
    memcpy(record + MR_NAME, "~HM-1", 5);
    memcpy(record + MR_TEXTURE, "broken.spr", 10);
    IntMatForgetReportedTextures();
    int index = IntMatFindOrAdd(record);
    ASSERT_NE(IM_NONE, index);
    EXPECT_EQ(0, IntMatTakeTextureReport(report, sizeof report)) << "nothing loaded yet";
    ResId sprite = IntMatSprite(index);
    ASSERT_NE(0, ResLoad(sprite));
    IntMatNoteTextureFailure(sprite, nullptr);
    ASSERT_NE(0, ResLoad(sprite));
    IntMatNoteTextureFailure(sprite, nullptr);
    ASSERT_EQ(1, IntMatTakeTextureReport(report, sizeof report));
    EXPECT_STREQ(report, "Texture broken.spr (material BAD) cannot be loaded: it is no SPR sprite, or a damaged one.")
        << "the first entry that uses it";
    // A texture name with nothing behind it, noted without a sprite, is not told.
    IntMatNoteTextureFailure(0, "X");
    EXPECT_EQ(0, IntMatTakeTextureReport(report, sizeof report));
}

TEST_F(Materials, TexturesResolveToSpriteFiles)
{
    WriteSprite("Brick.SPR");
    WriteBytes("broken.spr", Bytes{'T', 'R', 'P', 'S', 1, 2, 3});
    WriteBytes("a.mat", MatFile({{"Wall", 0, 0, 0, 0, 0, 0, 0, 0, "BRICK.spr"}, {"Gone", 0, 0, 0, 0, 0, 0, 0, 0, "gone.spr"},
                                 {"Bad", 0, 0, 0, 0, 0, 0, 0, 0, "broken.spr"}}));
    ASSERT_EQ(0, MatMLoad("a.mat"));
    ResId wall = IntMatSprite(1);
    EXPECT_STREQ("brick.spr", ResName(wall));
    SpriteInfo info;
    ASSERT_EQ(1, SpriteFormat(IntMatHandle(1), &info)) << "a loaded copy";
    EXPECT_NE(wall, IntMatHandle(1));
    EXPECT_EQ(0, IntMatSprite(2) + IntMatHandle(2));
    EXPECT_NE(0, IntMatSprite(3)) << "the file is there";
    EXPECT_EQ(0, IntMatHandle(3)) << "but its loader refuses it";

    // Reloads free the copies they replace; clearing takes the texture off at once.
    int used = ResUsedCount();
    for (int i = 0; i < 3; i++) MatMReload();
    EXPECT_EQ(used, ResUsedCount());
    MatMClearTexturesDirty();
    MatMClearTexture(1);
    EXPECT_STREQ("", MatMGetTexture(1));
    EXPECT_EQ(0, IntMatSprite(1) + IntMatHandle(1));
    EXPECT_EQ(1, MatMTexturesDirty());
    EXPECT_EQ(used - 1, ResUsedCount());
    EXPECT_EQ(1, MatMSetTexture(2, "brick.SPR"));
    EXPECT_EQ(wall, IntMatSprite(2));
}
