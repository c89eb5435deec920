// The palette manager: PAL files, the colour accessors and clipboard, applying to the display
// colour table, spread and import; and tolbex-cli pal.
#include <gtest/gtest.h>

#include <string>

#include "kernel/res/res.h"
#include "kernel/util/bytes.h"
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

static void ExpectColour(int index, int r, int g, int b)
{
    int gr, gg, gb;
    PalMGetColour(index, &gr, &gg, &gb);
    EXPECT_EQ(r, gr) << "entry " << index;
    EXPECT_EQ(g, gg) << "entry " << index;
    EXPECT_EQ(b, gb) << "entry " << index;
}

static void ExpectDisplay(int index, int r6, int g6, int b6)
{
    uint32_t want = ((uint32_t)(r6 << 2) << 16) | ((uint32_t)(g6 << 2) << 8) | (uint32_t)(b6 << 2);
    EXPECT_EQ(want, VideoColourTable()[index]) << "colour " << index;
}

struct PalM : ::testing::Test {
    void SetUp() override
    {
        ResRemove();
        ResInstall(500);
        PalMInstall(PAL_USER_COLOURS);
        for (int i = 0; i < 256; i++) VideoSetColour(i, 1, 2, 3);
    }
    void TearDown() override
    {
        PalMRemove();
        ResRemove();
    }
};

// ============================================================================================
// PAL files
// ============================================================================================

TEST_F(PalM, InstallStartsEmpty)
{
    PalMSetColour(3, 10, 20, 30);
    PalMCopyRange(0, 4);
    PalMInstall(PAL_USER_COLOURS);
    EXPECT_EQ(1, PalMIsInstalled());
    EXPECT_EQ(Bytes(PAL_BLOCK_SIZE, 0), Block());
    EXPECT_EQ(0, PalMClipboardCount());
}

TEST_F(PalM, LoadTakesOnlyTheCountedEntries)
{
    for (int i = 0; i < PAL_USER_COLOURS; i++) PalMSetColour(i, 40, 41, 42);
    for (int i = 0; i < 256; i++) VideoSetColour(i, 1, 2, 3);
    TempDir dir;
    // first index 7 in the file, 16 entries, and slots beyond them that must not be read
    ASSERT_TRUE(WriteBytes(dir.file("sixteen.pal"), PalImage(7, 16, 248)));
    ASSERT_EQ(0, PalMLoad(dir.file("sixteen.pal").c_str()));
    EXPECT_EQ(0, GetI16(PalMBlock(), 0));
    EXPECT_EQ(16, GetI16(PalMBlock(), 2));
    for (int k = 0; k < 16; k++) ExpectColour(k, k, 2 * k, 63 - k);
    for (int k = 16; k < PAL_USER_COLOURS; k++) ExpectColour(k, 40, 41, 42);
    // applied: the 16 entries from colour 0, the rest of the display untouched
    ExpectDisplay(0, 0, 0, 63);
    ExpectDisplay(15, 15, 30, 48);
    EXPECT_EQ(0x010203u, VideoColourTable()[16]);
}

TEST_F(PalM, LoadRefusesCountsTheFileCannotHold)
{
    PalMSetColour(0, 5, 6, 7);
    Bytes before = Block();
    TempDir dir;
    struct Case {
        const char* what;
        Bytes file;
    };
    Bytes shortFile = PalImage(0, 20, 10);
    std::vector<Case> cases = {
        {"negative count", PalImage(0, 0xFFFF, 248)},
        {"count 249", PalImage(0, 249, 249)},
        {"20 entries announced, 10 present", shortFile},
        {"header cut", Bytes{0, 0, 1}},
        {"empty", Bytes{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteBytes(dir.file("bad.pal"), c.file));
        EXPECT_EQ(1, PalMLoad(dir.file("bad.pal").c_str()));
        EXPECT_EQ(before, Block());
    }
    EXPECT_EQ(1, PalMLoad(dir.file("missing.pal").c_str()));
    EXPECT_EQ(before, Block());
}

// Every cut of a full file and some damaged counts: refused, or taken within the file.
TEST_F(PalM, TruncatedAndDamagedImages)
{
    Bytes full = PalImage(0, 248, 248);
    for (size_t n = 0; n < full.size(); n++) {
        Bytes cut(full.begin(), full.begin() + (long)n);
        ASSERT_EQ(1, PalMLoadImage(cut.data(), cut.size())) << n;
    }
    Bytes sixteen = PalImage(0, 16, 16);
    for (size_t n = 0; n <= sixteen.size(); n++) {
        Bytes cut(sixteen.begin(), sixteen.begin() + (long)n);
        EXPECT_EQ(n < 52 ? 1 : 0, PalMLoadImage(cut.data(), cut.size())) << n;
    }
    for (int count : {-32768, -1, 249, 300, 32767}) {
        Bytes bad = PalImage(0, 248, 248);
        PutI16(bad.data(), 2, (int16_t)count);
        EXPECT_EQ(1, PalMLoadImage(bad.data(), bad.size())) << count;
    }
}

TEST_F(PalM, SaveThenLoadGivesTheSameColours)
{
    for (int i = 0; i < PAL_USER_COLOURS; i++) PalMSetColour(i, i % 64, (i * 7) % 64, 63 - i % 64);
    Bytes saved = Block();
    TempDir dir;
    std::string path = dir.file("round.pal");
    ASSERT_EQ(0, PalMSave(path.c_str()));
    EXPECT_EQ(saved, ReadBytes(path));   // the 748-byte block as it stands

    PalMInstall(PAL_USER_COLOURS);
    ASSERT_EQ(0, PalMLoad(path.c_str()));
    EXPECT_EQ(saved, Block());

    EXPECT_EQ(1, PalMSave(dir.file("no/such/dir/x.pal").c_str()));
}

// ============================================================================================
// Colours, clipboard, apply
// ============================================================================================

TEST_F(PalM, ColourAccessorsUseTheFileLayout)
{
    PalMSetColour(5, 10, 20, 30);
    const uint8_t* b = PalMBlock();
    EXPECT_EQ(10, b[4 + 15]);
    EXPECT_EQ(20, b[4 + 16]);
    EXPECT_EQ(30, b[4 + 17]);
    EXPECT_EQ(6, GetI16(b, 2));   // the edited entry is now part of the palette
    ExpectDisplay(5, 10, 20, 30);

    PalMSetColour(5, -1, 63, -1);   // -1 keeps a component
    ExpectColour(5, 10, 63, 30);
    PalMSetColour(5, 99, -7, 0);    // components stay within 6 bits
    ExpectColour(5, 63, 0, 0);

    // Indexes outside the block's 248 entries: set ignored, get gives 0.
    Bytes before = Block();
    PalMSetColour(248, 1, 1, 1);
    PalMSetColour(-1, 1, 1, 1);
    EXPECT_EQ(before, Block());
    ExpectColour(250, 0, 0, 0);
    ExpectColour(-3, 0, 0, 0);
}

TEST_F(PalM, CopyAndPaste)
{
    for (int i = 0; i < 8; i++) PalMSetColour(i, i + 1, i + 2, i + 3);
    PalMCopyRange(5, 3);
    EXPECT_EQ(3, PalMClipboardStart());
    EXPECT_EQ(3, PalMClipboardCount());

    for (int i = 0; i < 256; i++) VideoSetColour(i, 1, 2, 3);
    PalMPaste(20);
    ExpectColour(20, 4, 5, 6);
    ExpectColour(22, 6, 7, 8);
    ExpectColour(23, 0, 0, 0);
    EXPECT_EQ(0x010203u, VideoColourTable()[20]);   // not shown until applied
    PalMApply();
    ExpectDisplay(22, 6, 7, 8);

    // A 10-colour range pasted at 250 would pass 255: nothing changes.
    PalMCopyRange(0, 9);
    Bytes before = Block();
    PalMPaste(250);
    PalMPaste(-1);
    PalMPaste(0x7FFFFFFF);
    EXPECT_EQ(before, Block());
    // At 245 it fits below 256 but only 245..247 lie in the block.
    PalMPaste(245);
    ExpectColour(245, 1, 2, 3);
    ExpectColour(247, 3, 4, 5);
    EXPECT_EQ(248, GetI16(PalMBlock(), 2));
}

TEST_F(PalM, ApplyAndGetPalette)
{
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir.file("p.pal"), PalImage(0, 3, 3)));
    ASSERT_EQ(0, PalMLoad(dir.file("p.pal").c_str()));
    for (int i = 0; i < 256; i++) VideoSetColour(i, 1, 2, 3);
    PalMApply();
    ExpectDisplay(0, 0, 0, 63);
    ExpectDisplay(2, 2, 4, 61);
    EXPECT_EQ(0x010203u, VideoColourTable()[3]);

    VideoSetColour(200, 0xFF, 0x80, 0x07);
    uint8_t out[256 * 3];
    PalMGetPalette(out);
    EXPECT_EQ(2, out[6]);
    EXPECT_EQ(4, out[7]);
    EXPECT_EQ(61, out[8]);
    EXPECT_EQ(63, out[600]);
    EXPECT_EQ(32, out[601]);
    EXPECT_EQ(1, out[602]);
}

TEST(PalMHardware, WindowedDesktopKeepsTheSystemColours)
{
    int first = -1;
    EXPECT_EQ(236, PalMHardwareRange(VIDEO_WINDOWED, 0, 248, &first));
    EXPECT_EQ(10, first);
    EXPECT_EQ(248, PalMHardwareRange(VIDEO_FULLSCREEN, 0, 248, &first));
    EXPECT_EQ(0, first);
    EXPECT_EQ(6, PalMHardwareRange(VIDEO_WINDOWED, 240, 16, &first));
    EXPECT_EQ(240, first);
    EXPECT_EQ(0, PalMHardwareRange(VIDEO_WINDOWED, 0, 10, &first));
    EXPECT_EQ(0, PalMHardwareRange(VIDEO_WINDOWED, 246, 10, &first));
    EXPECT_EQ(6, PalMHardwareRange(VIDEO_FULLSCREEN, 250, 10, &first));
    EXPECT_EQ(250, first);
    EXPECT_EQ(0, PalMHardwareRange(VIDEO_FULLSCREEN, 0, 0, &first));
    EXPECT_EQ(56, PalMHardwareRange(VIDEO_FULLSCREEN, 200, 0x7FFFFFFF, &first));
}

// ============================================================================================
// Spread and import
// ============================================================================================

TEST_F(PalM, SpreadInterpolatesBetweenTheEnds)
{
    PalMSetColour(10, 0, 63, 10);
    PalMSetColour(14, 40, 3, 10);
    PalMSetColour(12, 9, 9, 9);
    PalMSpread(14, 10);
    ExpectColour(10, 0, 63, 10);
    ExpectColour(11, 10, 48, 10);
    ExpectColour(12, 20, 33, 10);
    ExpectColour(13, 30, 18, 10);
    ExpectColour(14, 40, 3, 10);
    ExpectDisplay(12, 20, 33, 10);

    Bytes before = Block();
    PalMSpread(20, 21);     // nothing lies between
    PalMSpread(240, 250);   // an end outside the block
    EXPECT_EQ(before, Block());
}

TEST_F(PalM, ImportTakesTheColourMap)
{
    // A 1x1 PBM with a CMAP of 4 colours, big-endian sizes.
    Bytes lbm = {'F', 'O', 'R', 'M', 0, 0, 0, 62, 'P', 'B', 'M', ' ', 'B', 'M', 'H', 'D', 0, 0, 0, 20,
                 0, 1, 0, 1, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 1, 1, 0, 1, 0, 1,
                 'C', 'M', 'A', 'P', 0, 0, 0, 12, 0, 4, 8, 252, 128, 64, 255, 255, 255, 17, 34, 51,
                 'B', 'O', 'D', 'Y', 0, 0, 0, 1, 2, 0};
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir.file("pic.lbm"), lbm));
    PalMSetColour(8, 7, 7, 7);
    ASSERT_EQ(0, PalMImport(dir.file("pic.lbm").c_str(), 5, 3));
    ExpectColour(5, 0, 1, 2);
    ExpectColour(6, 63, 32, 16);
    ExpectColour(7, 63, 63, 63);
    ExpectColour(8, 7, 7, 7);   // the range held three
    ExpectDisplay(6, 63, 32, 16);
    // Clipped to the block.
    ASSERT_EQ(0, PalMImport(dir.file("pic.lbm").c_str(), 246, 4));
    ExpectColour(247, 63, 32, 16);

    Bytes before = Block();
    lbm[8] = 'X';   // no longer a picture
    ASSERT_TRUE(WriteBytes(dir.file("bad.lbm"), lbm));
    EXPECT_EQ(1, PalMImport(dir.file("bad.lbm").c_str(), 0, 4));
    EXPECT_EQ(1, PalMImport(dir.file("missing.lbm").c_str(), 0, 4));
    EXPECT_EQ(0, PalMImport(dir.file("pic.lbm").c_str(), 0x7FFFFFFE, 4));   // nothing lies in the block
    EXPECT_EQ(before, Block());

    // The real picture's 34 colours; its CMAP begins 16 0 0, 246 246 246.
    PalMInstall(PAL_USER_COLOURS);
    ASSERT_EQ(0, PalMImport((std::string(TOLBEX_FIXTURES) + "/real/PIC18.LBM").c_str(), 0, 248));
    EXPECT_EQ(34, GetI16(PalMBlock(), 2));
    ExpectColour(0, 4, 0, 0);
    ExpectColour(1, 61, 61, 61);
}

// ============================================================================================
// tolbex-cli pal
// ============================================================================================

static RunResult Cli(const TempDir& dir, const std::vector<std::string>& args)
{
    return RunProgram(TOLBEX_CLI_BIN, args, dir.path());
}

TEST_F(PalM, CliInfoAndImport)
{
    TempDir dir;
    PalMSetColour(0, 1, 2, 3);
    PalMSetColour(1, 63, 0, 32);
    ASSERT_EQ(0, PalMSave(dir.file("two.pal").c_str()));
    RunResult r = Cli(dir, {"pal", "info", "two.pal"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("count 2")) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("1: 63  0 32")) << r.output;

    r = Cli(dir, {"pal", "info", "two.pal", "--json"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("\"colours\":[[1,2,3],[63,0,32]]")) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("\"count\":2")) << r.output;

    std::string pic = std::string(TOLBEX_FIXTURES) + "/real/PIC18.LBM";
    r = Cli(dir, {"pal", "import-lbm", pic, "pic.pal"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ("pic.pal: 34 colours\n", r.output) << "every colour kept: no warning";
    Bytes pal = ReadBytes(dir.file("pic.pal"));
    ASSERT_EQ((size_t)PAL_FILE_SIZE, pal.size());
    EXPECT_EQ(0, GetI16(pal.data(), 0));
    EXPECT_EQ(34, GetI16(pal.data(), 2));
    r = Cli(dir, {"pal", "info", "pic.pal"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("count 34")) << r.output;

    // 256 colours: the interface's 8 cannot be kept, and the user is told.
    std::string fc = std::string(TOLBEX_FIXTURES) + "/real/FC.LBM";
    r = Cli(dir, {"pal", "import-lbm", fc, "fc.pal"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ("tolbex-cli: warning: " + fc +
                  " has 256 colours; only the first 248 are kept, colours 248 to 255 are dropped\n" +
                  "fc.pal: 248 colours\n",
              r.output);
    EXPECT_EQ(248, GetI16(ReadBytes(dir.file("fc.pal")).data(), 2));

    Bytes bad = PalImage(0, 100, 20);
    WriteBytes(dir.file("bad.pal"), bad);
    r = Cli(dir, {"pal", "info", "bad.pal"});
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("bad.pal")) << r.output;
    r = Cli(dir, {"pal", "import-lbm", "bad.pal", "out.pal"});
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_FALSE(PathExists(dir.file("out.pal")));
}
