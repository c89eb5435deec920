// tolbex-cli tpage pack, end to end: sprite files packed, their placements printed as text
// and JSON; a file that is no sprite refused with one error line.
#include <gtest/gtest.h>

#include <string>

#include "support/testutil.h"

namespace {

// An 8-bit "TRPS" sprite file: the 48-byte header (size, transparent index, the pixels at 48,
// no palette or row table), then the pixel rows.
Bytes SpriteFile(int w, int h, int transparent = -1)
{
    Bytes b;
    AppendText(b, "TRPS", 4);
    for (uint32_t v : {(uint32_t)w, (uint32_t)h, 0u, 0u, (uint32_t)transparent, 0u, 0u, 48u, 0u, 0u, 0u}) AppendU32(b, v);
    b.resize(b.size() + (size_t)w * h);
    return b;
}

}   // namespace

TEST(CliTPage, PacksSpriteFilesAndRefusesOthers)
{
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir.file("big.spr"), SpriteFile(100, 100)));
    ASSERT_TRUE(WriteBytes(dir.file("small.spr"), SpriteFile(32, 32)));
    ASSERT_TRUE(WriteBytes(dir.file("keyed.spr"), SpriteFile(32, 32, 0)));
    ASSERT_TRUE(WriteText(dir.file("note.spr"), "not a sprite at all"));
    {
        SCOPED_TRACE("text");
        // big at (0,0) leaves its right strip (100,0 156x100) at the free list's head.
        RunResult r = RunProgram(TOLBEX_CLI_BIN, {"tpage", "pack", "big.spr", "small.spr", "keyed.spr"}, dir.path());
        ASSERT_EQ(r.exitCode, 0) << r.output;
        EXPECT_EQ(r.output, "big.spr: page 0 at (0, 0) size 100x100\n"
                            "small.spr: page 0 at (100, 0) size 32x32\n"
                            "keyed.spr: page 1 at (0, 0) size 32x32\n"
                            "3 sprites placed on 2 pages of 256x256\n");
    }
    {
        SCOPED_TRACE("one page only, JSON");
        RunResult r = RunProgram(TOLBEX_CLI_BIN, {"tpage", "pack", "--max-pages", "1", "--json", "small.spr", "keyed.spr"},
                                 dir.path());
        ASSERT_EQ(r.exitCode, 0) << r.output;
        EXPECT_NE(r.output.find("\"name\": \"keyed.spr\",\n    \"placed\": false"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("\"name\": \"small.spr\",\n    \"page\": 0"), std::string::npos) << r.output;
    }
    {
        SCOPED_TRACE("no sprite");
        RunResult r = RunProgram(TOLBEX_CLI_BIN, {"tpage", "pack", "small.spr", "note.spr"}, dir.path());
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.output, "tolbex-cli: note.spr: not a sprite file, or a damaged one\n");
    }
    {
        SCOPED_TRACE("bad page size");
        RunResult r = RunProgram(TOLBEX_CLI_BIN, {"tpage", "pack", "--page-size", "100", "small.spr"}, dir.path());
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.output.find("--page-size 100"), std::string::npos) << r.output;
    }
}
