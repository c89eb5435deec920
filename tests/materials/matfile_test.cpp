// MAT files: conversion of versions 2 and 3, and refusal of damaged files.
#include "materials/mattest.h"

#include <filesystem>

TEST_F(Materials, Version2ConvertsToVersion4)
{
    WriteBytes("old.mat", Mat2File({
        {"RED            ", 17, 100, 200, 300, 400, 0, "BRICK.SPR   "},   // only position 14 is cut
        {"AB CDEFGHIJKLMN", 5, 0, 1000, 0, 0, 0x80, "WALLTEXT.SPR"},     // the highest space is cut
        {"ABCDEFGHIJKLMNO", 9, 0, 7000, 0, 0, 0xFF, "X"},                // nothing to cut
    }));
    ASSERT_EQ(0, MatMLoad("old.mat"));
    ASSERT_EQ(4, MatMCount());

    const uint8_t* r = MatMRecord(1);
    EXPECT_EQ("RED" + std::string(11, ' '), RecordName(r));
    // No transparency: the red word holds the palette index alone, alpha stays 0.
    const int32_t fields[] = {17, 0, 0, 100, 200, 300, 400, 0};
    for (int i = 0; i < 8; i++) EXPECT_EQ(fields[i], GetI32(r, MR_RED + 4 * i)) << i;
    EXPECT_STREQ("BRICK.SPR  ", MatMGetTexture(1));
    for (int i = 0x30; i < MAT_RECORD_SIZE; i++)
        EXPECT_TRUE(r[i] == 0 || (i >= MR_TEXTURE && i <= MR_TEXTURE + 10)) << i;

    // Transparency (sign-extended, so 0x80 and 0xFF count): alpha = ambient, no colour.
    EXPECT_EQ((std::vector<std::string>{RecordName(MatMRecord(2)), MatMGetTexture(2), RecordName(MatMRecord(3))}),
              (std::vector<std::string>{"AB", "WALLTEXT.SPR", "ABCDEFGHIJKLMNO"}));
    EXPECT_EQ((std::vector<int32_t>{GetI32(MatMRecord(2), MR_ALPHA), GetI32(MatMRecord(2), MR_RED),
                                    GetI32(MatMRecord(3), MR_ALPHA)}),
              (std::vector<int32_t>{1000, 0, 7000}));
}

TEST_F(Materials, Version3TransparencyBecomesAlpha)
{
    Bytes image = MatFile({{"Glass", 1000, 2000, 3000, 0, 9000, 16384, 0, 1}, {"Stone", 1000, 2000, 3000, 0, 9000}},
                          MAT_FLAG_TRUE_COLOUR, 3);
    ResId id = ResCreate(image.size());
    memcpy(ResPeek(id), image.data(), image.size());
    ASSERT_EQ(0, MatMUpgradeBlock(id));
    const uint8_t* b = (const uint8_t*)ResPeek(id);
    EXPECT_EQ(4, GetI16(b, MH_VERSION));
    EXPECT_EQ(1u, GetU32(b, MH_FLAGS));
    const int32_t glass[] = {0, 0, 0, 0, 9000, 16384, 0, 9000};
    for (int i = 0; i < 8; i++) EXPECT_EQ(glass[i], GetI32(b + MAT_HEADER_SIZE, MR_RED + 4 * i)) << i;
    EXPECT_EQ(0, memcmp(b + 108, image.data() + 108, MAT_RECORD_SIZE)) << "no transparency, no change";
}

// Every truncation of a valid file, and headers that lie: refused by load, merge and the
// "MAT" resource type, with the list left as it was.
TEST_F(Materials, DamagedFilesAreRefused)
{
    WriteBytes("keep.mat", MatFile({{"Keep", 0, 0, 0, 0, 500}}));
    ASSERT_EQ(0, MatMLoad("keep.mat"));
    const Bytes before = ListImage();
    MatMClearTexturesDirty();

    std::vector<Mat> mats = {{"One", 1, 2, 3}, {"Two"}, {"Three", 0, 0, 0, 0, 0, 0, 0, 0, "t.spr"}};
    std::vector<Bytes> bad;
    for (const Bytes& whole : {MatFile(mats), MatFile(mats, 0, 3), Mat2File({{"One"}, {"Two"}, {"Three"}})})
        for (size_t n = 0; n < whole.size(); n++) bad.push_back(Bytes(whole.begin(), whole.begin() + n));
    for (int count : {4, 2, -1, 0x7FFF}) {
        bad.push_back(MatFile(mats));
        PutI16(bad.back().data(), MH_COUNT, (int16_t)count);
    }
    bad.push_back(Mat2File({{"One"}}));
    PutI16(bad.back().data(), MH_COUNT, 2);
    for (int version : {0, 1, 5, -4}) {
        bad.push_back(MatFile(mats));
        PutI16(bad.back().data(), MH_VERSION, (int16_t)version);
    }

    for (size_t i = 0; i < bad.size(); i++) {
        SCOPED_TRACE("damaged image " + std::to_string(i) + ", " + std::to_string(bad[i].size()) + " bytes");
        ASSERT_TRUE(WriteBytes("bad.mat", bad[i]));
        EXPECT_EQ(1, MatMMerge("bad.mat"));
        EXPECT_EQ(1, MatMLoad("bad.mat"));
        EXPECT_EQ(before, ListImage());
        EXPECT_NE(0, ResLoad(ResFindOrAdd("bad.mat")));
    }
    EXPECT_EQ(1, MatMLoad("missing.mat"));
    EXPECT_EQ(before, ListImage());
    EXPECT_EQ(0, MatMTexturesDirty());
    // Larger than the header and 32767 records: refused before it is read, as a file and as a
    // resource.
    WriteText("huge.mat", "");
    std::filesystem::resize_file("huge.mat", MAT_MAX_FILE_SIZE + 1);
    EXPECT_EQ(1, MatMLoad("huge.mat"));
    EXPECT_STREQ("3276709 bytes, larger than a material file can be (at most 3276708 bytes)", FileRefusal());
    EXPECT_EQ(1, MatMMerge("huge.mat"));
    EXPECT_EQ(before, ListImage());
    EXPECT_NE(0, ResLoad(ResFindOrAdd("huge.mat")));
    EXPECT_EQ(RES_ERR_TOO_LARGE, ResLastError());

    // A good file loads through the type, converted.
    WriteBytes("good.mat", Mat2File({{"One"}}));
    ResId good = ResFindOrAdd("good.mat");
    ASSERT_EQ(0, ResLoad(good));
    EXPECT_EQ(4, GetI16(ResPeek(good), MH_VERSION));
    EXPECT_EQ(MAT_HEADER_SIZE + MAT_RECORD_SIZE, (int)ResSize(good));
}

TEST_F(Materials, DamagedMaterialDataChangesNoRenderMaterial)
{
    int before = IntMatCount();
    Bytes version3 = MatFile({{"Dummy"}, {"Stone"}}, 0, 3);
    EXPECT_EQ(1, MatSetData(version3.data(), version3.size()));
    Bytes shortOfCount = MatFile({{"Dummy"}, {"Stone"}});
    EXPECT_EQ(1, MatSetData(shortOfCount.data(), shortOfCount.size() - 1));
    EXPECT_EQ(before, IntMatCount());
    // The whole block still goes in.
    EXPECT_EQ(0, MatSetData(shortOfCount.data(), shortOfCount.size()));
    EXPECT_EQ(before + 2, IntMatCount());
}
