// tolbex-cli res, run as a user runs it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/bytes.h"
#include "base/res.h"
#include "base/restest.h"
#include "support/testutil.h"

static RunResult Cli(const TempDir& dir, const std::vector<std::string>& args)
{
    std::vector<std::string> all = {"res"};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(TOLBEX_CLI_BIN, all, dir.path());
}

// Ended by itself, with no sanitizer report: bad input is refused, never crashed on.
static void ExpectCleanEnd(const RunResult& r)
{
    EXPECT_NE(-1, r.exitCode) << r.output;
    EXPECT_EQ(std::string::npos, r.output.find("Sanitizer")) << r.output;
    EXPECT_EQ(std::string::npos, r.output.find("runtime error")) << r.output;
}

TEST(CliRes, PackListExtractRoundTrip)
{
    TempDir dir;
    WriteText(dir.file("Tree.shp"), "tree bytes");
    WriteText(dir.file("LongerName.pal"), std::string(1000, 'p'));
    WriteBytes(dir.file("blob.bin"), Bytes{0, 1, 2, 0xFF, 0});
    for (bool scramble : {false, true}) {
        SCOPED_TRACE(scramble ? "scrambled" : "plain");
        std::vector<std::string> pack = {"pack", "out.res"};
        if (scramble) pack.push_back("--scramble");
        for (const char* f : {"Tree.shp", "LongerName.pal", "blob.bin"}) pack.push_back(dir.file(f));
        RunResult r = Cli(dir, pack);
        ASSERT_EQ(0, r.exitCode) << r.output;
        // The one name that loses characters is named, with what it became; the folder is no loss.
        EXPECT_EQ("tolbex-cli: warning: " + dir.file("LongerName.pal") +
                      " is stored as LONGERNA.PAL (names are cut to 8.3)\n" + "out.res: 3 entries" +
                      (scramble ? ", names scrambled" : "") + "\n",
                  r.output);
        Bytes image = ReadBytes(dir.file("out.res"));
        ASSERT_GE(image.size(), 8u);
        uint32_t count = GetU32(image.data(), GetU32(image.data(), image.size() - 4));
        EXPECT_EQ(scramble ? 0x80000003u : 3u, count);

        r = Cli(dir, {"list", "out.res"});
        ASSERT_EQ(0, r.exitCode) << r.output;
        for (const char* line : {"TREE    .SHP          0         10", "LONGERNA.PAL         10       1000",
                                 "BLOB    .BIN       1010          5", "3 entries"})
            EXPECT_NE(std::string::npos, r.output.find(line)) << r.output;

        // A loose file of the same name must not be what is extracted.
        WriteText(dir.file("longername.pal"), "loose, not packed");
        r = Cli(dir, {"extract", "out.res", "longername.pal", "pal.out"});
        ASSERT_EQ(0, r.exitCode) << r.output;
        EXPECT_EQ(std::string(1000, 'p'), ReadText(dir.file("pal.out")));
        r = Cli(dir, {"extract", "out.res", "BLOB.BIN", "blob.out"});
        ASSERT_EQ(0, r.exitCode) << r.output;
        EXPECT_EQ((Bytes{0, 1, 2, 0xFF, 0}), ReadBytes(dir.file("blob.out")));
        remove(dir.file("longername.pal").c_str());
    }
}

TEST(CliRes, BadInputIsRefusedWithExitOne)
{
    TempDir dir(true);
    WriteText("a.dat", "aaaa");
    WriteText("b.dat", "bbbb");
    ASSERT_EQ(0, Cli(dir, {"pack", "good.res", "a.dat", "b.dat"}).exitCode);
    Bytes good = ReadBytes("good.res");
    ASSERT_EQ(8u + 4 + 2 * RES_DIR_ENTRY_SIZE + 4, good.size());

    // Cut files (every length is fed to the reader in ResFile's damaged-file test): the exit
    // and line at three telling cuts, no offset word, the offset word short of a byte, the
    // directory cut inside its last entry.
    for (size_t len : {(size_t)2, good.size() - 1, good.size() - 4 - RES_DIR_ENTRY_SIZE / 2}) {
        WriteBytes("cut.res", Bytes(good.begin(), good.begin() + len));
        RunResult r = Cli(dir, {"list", "cut.res"});
        ExpectCleanEnd(r);
        EXPECT_EQ(1, r.exitCode) << len << r.output;
        EXPECT_EQ(0u, r.output.rfind("tolbex-cli: cut.res: not a resource file", 0)) << r.output;
    }

    // A directory entry pointing past the end of the file: listed, but not extracted.
    Bytes bad = HandResFile("abcd", {{2, "A       .DAT", 0, 4}, {2, "B       .DAT", 3, 4000}}, true);
    WriteBytes("bad.res", bad);
    RunResult r = Cli(dir, {"list", "bad.res"});
    EXPECT_EQ(0, r.exitCode) << r.output;
    r = Cli(dir, {"extract", "bad.res", "b.dat", "b.out"});
    ExpectCleanEnd(r);
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("cannot be read")) << r.output;
    EXPECT_FALSE(PathExists("b.out"));

    r = Cli(dir, {"extract", "good.res", "c.dat", "c.out"});
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("no entry c.dat")) << r.output;

    r = Cli(dir, {"pack", "x.res", "a.dat", "missing.dat"});
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_EQ("tolbex-cli: cannot open missing.dat: No such file or directory\n", r.output);
    EXPECT_FALSE(PathExists("x.res"));
    // Two names that make one key: both are named, nothing is written.
    std::filesystem::create_directory("sub");
    WriteText("sub/A.DAT", "y");
    r = Cli(dir, {"pack", "x.res", "a.dat", "b.dat", "sub/A.DAT"});
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_EQ("tolbex-cli: a.dat and sub/A.DAT both have the 8.3 key A.DAT; nothing written\n", r.output);
    EXPECT_FALSE(PathExists("x.res"));

    r = Cli(dir, {"extract", "good.res"});
    EXPECT_EQ(2, r.exitCode) << "usage errors: " << r.output;
}
