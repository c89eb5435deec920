// The palette manager: PAL files, the colour accessors and clipboard, applying to the display
// colour table, spread and import; and tolbex-cli pal.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/bytes.h"
#include "base/res.h"
#include "palette/iff.h"
#include "palette/palm.h"
#include "platform/platform.h"
#include "support/testutil.h"

// A PAL image: first index, count, then `slots` triples (entry k = (k, 2k mod 64, 63 - k mod 64)).
static Bytes PalImage(int first, int count, int slots)
{
    Bytes b;
    AppendU16(b, (uint16_t)first);
    AppendU16(b, (uint16_t)count);
    for (int k = 0; k < slots; k++) {
        AppendU8(b, (uint8_t)(k % 64));
        AppendU8(b, (uint8_t)(2 * k % 64));
        AppendU8(b, (uint8_t)(63 - k % 64));
    }
    return b;
}

static Bytes Block(void) { return Bytes(PalMBlock(), PalMBlock() + PAL_BLOCK_SIZE); }
static int Count(void) { return GetI16(PalMBlock(), 2); }

static std::vector<int> Colour(int index)
{
    int r, g, b;
    PalMGetColour(index, &r, &g, &b);
    return {r, g, b};
}

// The display's colour of an index, in the 6-bit units of the palette (the display keeps
// each component shifted left by 2).
static std::vector<int> Shown(int index)
{
    uint32_t c = VideoColourTable()[index];
    return {(int)(c >> 18 & 63), (int)(c >> 10 & 63), (int)(c >> 2 & 63)};
}

// The display as the tests leave it before the palette is applied.
static const std::vector<int> UNTOUCHED = {1, 2, 3};
static void ResetDisplay(void)
{
    for (int i = 0; i < 256; i++) VideoSetColour(i, 4, 8, 12);
}

struct PalM : ::testing::Test {
    TempDir dir;
    void SetUp() override
    {
        ResRemove();
        ResInstall(500);
        PalMInstall(PAL_USER_COLOURS);
        ResetDisplay();
    }
    void TearDown() override
    {
        PalMRemove();
        ResRemove();
    }
};

// ---- PAL files

TEST_F(PalM, LoadTakesOnlyTheCountedEntries)
{
    for (int i = 0; i < PAL_USER_COLOURS; i++) PalMSetColour(i, 40, 41, 42);
    ResetDisplay();
    // first index 7 in the file, 16 entries, and slots beyond them that must not be read
    ASSERT_TRUE(WriteBytes(dir.file("sixteen.pal"), PalImage(7, 16, 248)));
    ASSERT_EQ(0, PalMLoad(dir.file("sixteen.pal").c_str()));
    EXPECT_EQ(0, GetI16(PalMBlock(), 0));
    EXPECT_EQ(16, Count());
    for (int k = 0; k < 16; k++) EXPECT_EQ(Colour(k), (std::vector<int>{k, 2 * k, 63 - k}));
    for (int k = 16; k < PAL_USER_COLOURS; k++) EXPECT_EQ(Colour(k), (std::vector<int>{40, 41, 42}));
    // applied: the 16 entries from colour 0, the rest of the display untouched
    EXPECT_EQ(Shown(0), (std::vector<int>{0, 0, 63}));
    EXPECT_EQ(Shown(15), (std::vector<int>{15, 30, 48}));
    EXPECT_EQ(Shown(16), UNTOUCHED);

    // Installing again starts empty.
    PalMCopyRange(0, 4);
    PalMInstall(PAL_USER_COLOURS);
    EXPECT_EQ(Bytes(PAL_BLOCK_SIZE, 0), Block());
    EXPECT_EQ(0, PalMClipboardCount());
}

// Every cut of a full file and damaged counts: refused with the block as it was, or taken
// within the file.
TEST_F(PalM, DamagedImagesAreRefused)
{
    PalMSetColour(0, 5, 6, 7);
    Bytes before = Block();
    Bytes full = PalImage(0, 248, 248);
    for (size_t n = 0; n < full.size(); n++) ASSERT_EQ(1, PalMLoadImage(full.data(), n)) << n;
    Bytes sixteen = PalImage(0, 16, 16);
    for (size_t n = 0; n <= sixteen.size(); n++) EXPECT_EQ(n < 52 ? 1 : 0, PalMLoadImage(sixteen.data(), n)) << n;
    PalMSetColour(0, 5, 6, 7);
    before = Block();
    for (int count : {-32768, -1, 249, 300, 32767}) {
        Bytes bad = PalImage(0, 248, 249);
        PutI16(bad.data(), 2, (int16_t)count);
        ASSERT_TRUE(WriteBytes(dir.file("bad.pal"), bad));
        EXPECT_EQ(1, PalMLoad(dir.file("bad.pal").c_str())) << count;
        EXPECT_EQ(before, Block());
    }
    EXPECT_EQ(1, PalMLoad(dir.file("missing.pal").c_str()));
    EXPECT_EQ(before, Block());
    // A palette file is at most 748 bytes: a larger one is refused before it is read.
    Bytes over = PalImage(0, 248, 248);
    ASSERT_EQ(748u, over.size());
    over.push_back(0);
    ASSERT_TRUE(WriteBytes(dir.file("over.pal"), over));
    EXPECT_EQ(1, PalMLoad(dir.file("over.pal").c_str()));
    EXPECT_STREQ("749 bytes, larger than a palette file can be (at most 748 bytes)", FileRefusal());
    EXPECT_EQ(before, Block());
}

TEST_F(PalM, SaveThenLoadGivesTheSameColours)
{
    for (int i = 0; i < PAL_USER_COLOURS; i++) PalMSetColour(i, i % 64, (i * 7) % 64, 63 - i % 64);
    Bytes saved = Block();
    std::string path = dir.file("round.pal");
    ASSERT_EQ(0, PalMSave(path.c_str()));
    EXPECT_EQ(saved, ReadBytes(path));   // the 748-byte block as it stands

    PalMInstall(PAL_USER_COLOURS);
    ASSERT_EQ(0, PalMLoad(path.c_str()));
    EXPECT_EQ(saved, Block());
    EXPECT_EQ(1, PalMSave(dir.file("no/such/dir/x.pal").c_str()));
}

// ---- Colours, clipboard, the display's table

TEST_F(PalM, ColourAccessorsUseTheFileLayoutAndRaiseTheCount)
{
    // Entry 0 of an empty palette: the count becomes 1, so the entry is applied and saved.
    PalMSetColour(0, 1, 2, 3);
    EXPECT_EQ(1, Count());
    EXPECT_EQ(Shown(0), (std::vector<int>{1, 2, 3}));
    PalMSetColour(5, 10, 20, 30);
    const uint8_t* b = PalMBlock();
    EXPECT_EQ((std::vector<int>{b[4 + 15], b[4 + 16], b[4 + 17]}), (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(6, Count());
    EXPECT_EQ(Shown(5), (std::vector<int>{10, 20, 30}));
    PalMSetColour(2, 9, 9, 9);
    EXPECT_EQ(6, Count()) << "an entry inside the count leaves it";

    PalMSetColour(5, -1, 63, -1);   // -1 keeps a component
    EXPECT_EQ(Colour(5), (std::vector<int>{10, 63, 30}));
    PalMSetColour(5, 99, -7, 0);    // components stay within 6 bits
    EXPECT_EQ(Colour(5), (std::vector<int>{63, 0, 0}));

    // Indexes outside the block's 248 entries: set ignored, get gives 0.
    Bytes before = Block();
    PalMSetColour(248, 1, 1, 1);
    PalMSetColour(-1, 1, 1, 1);
    EXPECT_EQ(before, Block());
    EXPECT_EQ(Colour(250), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(Colour(-3), (std::vector<int>{0, 0, 0}));
}

TEST_F(PalM, CopyAndPaste)
{
    for (int i = 0; i < 8; i++) PalMSetColour(i, i + 1, i + 2, i + 3);
    PalMCopyRange(4, 4);
    EXPECT_EQ(1, PalMClipboardCount());
    PalMCopyRange(5, 3);
    EXPECT_EQ(3, PalMClipboardStart());
    EXPECT_EQ(3, PalMClipboardCount());

    ResetDisplay();
    PalMPaste(20);
    EXPECT_EQ(Colour(20), (std::vector<int>{4, 5, 6}));
    EXPECT_EQ(Colour(22), (std::vector<int>{6, 7, 8}));
    EXPECT_EQ(Colour(23), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(Shown(20), UNTOUCHED) << "not shown until applied";
    PalMApply();
    EXPECT_EQ(Shown(22), (std::vector<int>{6, 7, 8}));

    // A 10-colour range pasted at 250 would pass 255: nothing changes.
    PalMCopyRange(0, 9);
    Bytes before = Block();
    for (int at : {247, 250, -1, 0x7FFFFFFF}) PalMPaste(at);
    EXPECT_EQ(before, Block());
    // At 246 it ends exactly at 255, but only 246 and 247 lie in the block.
    PalMPaste(246);
    EXPECT_EQ(Colour(246), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(Colour(247), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(248, Count());

    // The display's whole table in 6-bit units, the interface colours past the block with it.
    VideoSetColour(200, 0xFF, 0x80, 0x07);
    uint8_t out[256 * 3];
    PalMGetPalette(out);
    EXPECT_EQ((std::vector<int>{out[66], out[67], out[68], out[600], out[601], out[602]}),
              (std::vector<int>{6, 7, 8, 63, 32, 1}));
}

TEST(PalMHardware, WindowedDesktopKeepsTheSystemColours)
{
    // (mode, first, count) -> count sent and the first colour sent
    struct Case {
        int mode, first, count, sent, from;
    } cases[] = {
        {VIDEO_WINDOWED, 0, 248, 236, 10},     {VIDEO_FULLSCREEN, 0, 248, 248, 0},
        {VIDEO_WINDOWED, 240, 16, 6, 240},     {VIDEO_WINDOWED, 0, 10, 0, -1},
        {VIDEO_WINDOWED, 246, 10, 0, -1},      {VIDEO_FULLSCREEN, 250, 10, 6, 250},
        {VIDEO_FULLSCREEN, 0, 0, 0, -1},       {VIDEO_FULLSCREEN, 200, 0x7FFFFFFF, 56, 200},
    };
    for (const Case& c : cases) {
        int first = -1;
        EXPECT_EQ(c.sent, PalMHardwareRange(c.mode, c.first, c.count, &first)) << c.first << " " << c.count;
        if (c.sent) {
            EXPECT_EQ(c.from, first) << c.first << " " << c.count;
        }
    }
}

// ---- Spread and import

TEST_F(PalM, SpreadInterpolatesRoundedBetweenTheEnds)
{
    // 63 apart over four steps: 15.75, 31.5 and 47.25 round to 16, 32 and 47.
    PalMSetColour(10, 0, 63, 10);
    PalMSetColour(14, 63, 0, 11);
    PalMSetColour(12, 9, 9, 9);
    PalMSpread(14, 10);
    EXPECT_EQ(Colour(10), (std::vector<int>{0, 63, 10}));
    EXPECT_EQ(Colour(11), (std::vector<int>{16, 47, 10}));
    EXPECT_EQ(Colour(12), (std::vector<int>{32, 32, 11}));
    EXPECT_EQ(Colour(13), (std::vector<int>{47, 16, 11}));
    EXPECT_EQ(Colour(14), (std::vector<int>{63, 0, 11}));
    EXPECT_EQ(Shown(12), (std::vector<int>{32, 32, 11}));

    // One entry between the ends is filled; none between, or an end outside, changes nothing.
    PalMSetColour(22, 10, 20, 31);
    PalMSpread(20, 22);
    EXPECT_EQ(Colour(21), (std::vector<int>{5, 10, 16}));
    Bytes before = Block();
    PalMSpread(20, 21);
    PalMSpread(240, 250);
    EXPECT_EQ(before, Block());
}

TEST_F(PalM, ImportTakesTheColourMap)
{
    // A 1x1 PBM with a CMAP of 4 colours, big-endian sizes.
    Bytes lbm = {'F', 'O', 'R', 'M', 0, 0, 0, 62, 'P', 'B', 'M', ' ', 'B', 'M', 'H', 'D', 0, 0, 0, 20,
                 0, 1, 0, 1, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 1, 1, 0, 1, 0, 1,
                 'C', 'M', 'A', 'P', 0, 0, 0, 12, 0, 4, 8, 252, 128, 64, 255, 255, 255, 17, 34, 51,
                 'B', 'O', 'D', 'Y', 0, 0, 0, 1, 2, 0};
    ASSERT_TRUE(WriteBytes(dir.file("pic.lbm"), lbm));
    PalMSetColour(8, 7, 7, 7);
    ASSERT_EQ(0, PalMImport(dir.file("pic.lbm").c_str(), 5, 3));
    EXPECT_EQ(Colour(5), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(Colour(6), (std::vector<int>{63, 32, 16}));
    EXPECT_EQ(Colour(7), (std::vector<int>{63, 63, 63}));
    EXPECT_EQ(Colour(8), (std::vector<int>{7, 7, 7})) << "the range held three";
    EXPECT_EQ(Shown(6), (std::vector<int>{63, 32, 16}));
    // Clipped to the block.
    ASSERT_EQ(0, PalMImport(dir.file("pic.lbm").c_str(), 246, 4));
    EXPECT_EQ(Colour(247), (std::vector<int>{63, 32, 16}));

    Bytes before = Block();
    lbm[8] = 'X';   // no longer a picture
    ASSERT_TRUE(WriteBytes(dir.file("bad.lbm"), lbm));
    EXPECT_EQ(1, PalMImport(dir.file("bad.lbm").c_str(), 0, 4));
    EXPECT_EQ(1, PalMImport(dir.file("missing.lbm").c_str(), 0, 4));
    EXPECT_EQ(0, PalMImport(dir.file("pic.lbm").c_str(), 0x7FFFFFFE, 4));   // nothing lies in the block
    EXPECT_EQ(before, Block());
    // A picture larger than any the reader takes is refused from its size.
    ASSERT_TRUE(WriteText(dir.file("huge.lbm"), ""));
    std::filesystem::resize_file(dir.file("huge.lbm"), IFF_MAX_FILE_SIZE + 1);
    EXPECT_EQ(1, PalMImport(dir.file("huge.lbm").c_str(), 0, 4));
    EXPECT_STREQ("16777217 bytes, larger than an LBM picture can be (at most 16777216 bytes)", FileRefusal());
    EXPECT_EQ(before, Block());
}

// ---- tolbex-cli pal

TEST_F(PalM, CliInfoAndImport)
{
    auto cli = [&](const std::vector<std::string>& args) { return RunProgram(TOLBEX_CLI_BIN, args, dir.path()); };
    PalMSetColour(0, 1, 2, 3);
    PalMSetColour(1, 63, 0, 32);
    ASSERT_EQ(0, PalMSave(dir.file("two.pal").c_str()));
    RunResult r = cli({"pal", "info", "two.pal"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("count 2")) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("1: 63  0 32")) << r.output;
    r = cli({"pal", "info", "two.pal", "--json"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("\"colours\":[[1,2,3],[63,0,32]]")) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("\"count\":2")) << r.output;

    r = cli({"pal", "import-lbm", std::string(TOLBEX_FIXTURES) + "/real/PIC18.LBM", "pic.pal"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ("pic.pal: 34 colours\n", r.output) << "every colour kept: no warning";
    Bytes pal = ReadBytes(dir.file("pic.pal"));
    ASSERT_EQ((size_t)PAL_FILE_SIZE, pal.size());
    EXPECT_EQ(0, GetI16(pal.data(), 0));
    EXPECT_EQ(34, GetI16(pal.data(), 2));

    // 256 colours: the interface's 8 cannot be kept, and the user is told.
    std::string fc = std::string(TOLBEX_FIXTURES) + "/real/FC.LBM";
    r = cli({"pal", "import-lbm", fc, "fc.pal"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ("tolbex-cli: warning: " + fc +
                  " has 256 colours; only the first 248 are kept, colours 248 to 255 are dropped\n" +
                  "fc.pal: 248 colours\n",
              r.output);
    EXPECT_EQ(248, GetI16(ReadBytes(dir.file("fc.pal")).data(), 2));

    WriteBytes(dir.file("bad.pal"), PalImage(0, 100, 20));
    r = cli({"pal", "info", "bad.pal"});
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("bad.pal")) << r.output;
    r = cli({"pal", "import-lbm", "bad.pal", "out.pal"});
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_FALSE(PathExists(dir.file("out.pal")));
}
