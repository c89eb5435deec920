// Resource files: keys, the directory format (plain and scrambled), lookups, limits and
// damaged files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/bytes.h"
#include "base/res.h"
#include "base/restest.h"
#include "platform/platform.h"

static std::string Key(const char* name)
{
    char key[13];
    ResMakeKey(name, key);
    return key;
}

TEST(ResFile, KeysAreUpperCaseEightDotThree)
{
    // The extension runs from the first dot; a folder is not part of the key.
    std::vector<std::string> keys;
    for (const char* name : {"tree.shp", "LongerName.shape", "noext", "a.b.c", "some/dir.d/x.y", "c:\\data\\x.y", ""})
        keys.push_back(Key(name));
    EXPECT_EQ(keys, (std::vector<std::string>{"TREE    .SHP", "LONGERNA.SHA", "NOEXT   .   ", "A       .B.C",
                                              "X       .Y  ", "X       .Y  ", "        .   "}));
}

TEST(ResFile, HandMadeFilesPlainAndScrambledReadAlike)
{
    TempDir dir(true);
    ResScope scope;
    std::vector<HandEntry> entries = {
        {1, "TREE    .SHP", 0, 4},   // not a data entry: lookups skip it
        {2, "TREE    .SHP", 4, 6},
        {2, "ABCDEFGH.DAT", 10, 3},
        {2, "EMPTY   .BIN", 13, 0},
        {2, "TREE    .SHP", 10, 3},  // a second entry of the key: the first one wins
    };
    WriteBytes("plain.res", HandResFile("junkshapesxyz", entries, false));
    WriteBytes("SCRAMBLED.RES", HandResFile("junkshapesxyz", entries, true));
    Bytes raw = ReadBytes("SCRAMBLED.RES");
    ASSERT_EQ(0x80000005u, GetU32(raw.data(), 13));
    EXPECT_NE(0, memcmp(raw.data() + 13 + 4 + 28 + 4, "TREE", 4)) << "names are stored scrambled";

    for (const char* file : {"plain.res", "scrambled.res"}) {
        SCOPED_TRACE(file);
        ResRemove();
        ResInstall(100);
        ASSERT_EQ(0, ResAddFile(file));
        ASSERT_EQ(1, ResFileCount());
        ASSERT_EQ(5, ResFileEntryCount(0));
        ResDirEntry e;
        ASSERT_EQ(0, ResFileGetEntry(0, 2, &e));
        EXPECT_STREQ("ABCDEFGH.DAT", e.name);
        EXPECT_EQ((std::vector<uint32_t>{e.kind, e.offset, e.size}), (std::vector<uint32_t>{2, 10, 3}));
        EXPECT_EQ(1, ResFileGetEntry(0, 5, &e));
        EXPECT_EQ(1, ResFileGetEntry(1, 0, &e));

        ResId tree = ResOpenName("tree.shp"), longName = ResOpenName("abcdefghij.dat"), empty = ResOpenName("empty.bin");
        ASSERT_TRUE(tree && longName && empty);
        EXPECT_EQ("shapes", ResText(tree)) << "the kind 1 entry before it is skipped, the later one not reached";
        EXPECT_EQ("xyz", ResText(longName)) << "matched by the first 8 characters";
        EXPECT_STREQ("abcdefghij.dat", ResName(longName));
        EXPECT_EQ(0u, ResSize(empty));
        EXPECT_EQ(0, ResFindOrAdd("other.dat"));

        // Freed and reopened, the data comes from the file again (also through the cache).
        ResFree(tree);
        EXPECT_EQ("shapes", ResText(tree));
        ResCloseFile(0);
        EXPECT_EQ(0, ResFileCount());
    }
}

TEST(ResFile, WrittenFilesRoundTripAndRefuseDuplicateKeys)
{
    TempDir dir(true);
    ResScope scope;
    const char* a = "alpha data";
    const char* b = "beta";
    ResPackItem items[] = {{"models/Alpha.shp", a, 10}, {"beta.pal", b, 4}, {"zero.bin", nullptr, 0}};
    ASSERT_EQ(0, ResWriteFile("plain.res", items, 3, 0));
    ASSERT_EQ(0, ResWriteFile("scram.res", items, 3, 1));

    // Layout: data from 0, directory, its offset last.
    Bytes p = ReadBytes("plain.res");
    Bytes s = ReadBytes("scram.res");
    ASSERT_EQ(14u + 4 + 3 * 28 + 4, p.size());
    ASSERT_EQ(p.size(), s.size());
    EXPECT_EQ(0, memcmp(p.data(), "alpha databeta", 14));
    // Directory offset, count (scrambled: bit 31), alpha's kind, offset and size, beta's offset.
    EXPECT_EQ((std::vector<uint32_t>{GetU32(p.data(), p.size() - 4), GetU32(p.data(), 14), GetU32(s.data(), 14),
                                     GetU32(p.data(), 18), GetU32(p.data(), 38), GetU32(p.data(), 42),
                                     GetU32(p.data(), 18 + 28 + 20)}),
              (std::vector<uint32_t>{14, 3, 0x80000003, 2, 0, 10, 10}));
    EXPECT_EQ(0, memcmp(p.data() + 22, "ALPHA   .SHP\0\0\0\0", 16));
    const char key[] = "KARBUNDELMOSTIVE";
    for (int i = 0; i < 16; i++) EXPECT_EQ(p[22 + i] ^ (uint8_t)key[i], s[22 + i]) << i;

    for (const char* file : {"plain.res", "scram.res"}) {
        SCOPED_TRACE(file);
        ResRemove();
        ResInstall(100);
        ASSERT_EQ(0, ResAddFile(file));
        EXPECT_EQ("alpha data", ResText(ResOpenName("alpha.shp")));
        EXPECT_EQ("beta", ResText(ResOpenName("BETA.PAL")));
        EXPECT_EQ(0u, ResSize(ResOpenName("zero.bin")));
    }

    ResPackItem dup[] = {{"one/same.dat", a, 1}, {"two/SAME.DAT", b, 1}};
    EXPECT_EQ(1, ResWriteFile("dup.res", dup, 2, 0));
    EXPECT_FALSE(PathExists("dup.res"));
    ResPackItem trunc[] = {{"abcdefgh1.dat", a, 1}, {"abcdefgh2.dat", b, 1}};
    EXPECT_EQ(1, ResWriteFile("dup.res", trunc, 2, 0)) << "the keys are the same after cutting to 8";
    EXPECT_EQ(2, ResWriteFile("no/such/folder/x.res", items, 3, 0));
}

TEST(ResFile, LooseFileComesFirstUnlessTurnedOff)
{
    TempDir dir(true);
    ResScope scope;
    ResPackItem items[] = {{"tree.shp", "packed", 6}, {"only.dat", "inside", 6}};
    ASSERT_EQ(0, ResWriteFile("game.res", items, 2, 0));
    WriteText("Tree.Shp", "loose!!");
    ASSERT_EQ(0, ResAddFile("GAME.RES"));
    EXPECT_EQ(7u, ResSize(ResFindOrAdd("tree.shp")));
    EXPECT_EQ("loose!!", ResText(ResOpenName("tree.shp")));
    EXPECT_EQ("inside", ResText(ResOpenName("only.dat")));

    ResRemove();
    ResInstall(100);
    ResSetExternalFirst(0);
    ASSERT_EQ(0, ResAddFile("game.res"));
    EXPECT_EQ("packed", ResText(ResOpenName("tree.shp")));
    WriteText("loose.only", "x");
    EXPECT_EQ(0, ResOpenName("loose.only")) << "loose files are not searched at all";

    // Two files holding one name: the first added wins.
    ResPackItem second[] = {{"tree.shp", "later", 5}};
    ASSERT_EQ(0, ResWriteFile("second.res", second, 1, 1));
    ResRemove();
    ResInstall(100);
    ResSetExternalFirst(0);
    ASSERT_EQ(0, ResAddFile("second.res"));
    ASSERT_EQ(0, ResAddFile("game.res"));
    EXPECT_EQ("later", ResText(ResOpenName("tree.shp")));
    EXPECT_EQ("inside", ResText(ResOpenName("only.dat")));
}

TEST(ResFile, OpenFileLimits)
{
    TempDir dir(true);
    ResScope scope;
    ResPackItem items[] = {{"a.dat", "a", 1}};
    ASSERT_EQ(0, ResWriteFile("x.res", items, 1, 0));
    EXPECT_EQ((std::vector<int>{ResAddFile("x.res"), ResAddFile("x.res"), ResAddFile("x.res"), ResAddFile("x.res")}),
              (std::vector<int>{0, 0, 0, -1}))
        << "three open at a time";
    ResCloseFile(1);
    EXPECT_EQ(2, ResFileCount());
    EXPECT_EQ(0, ResAddFile("x.res")) << "a closed slot is taken again";
    EXPECT_EQ("a", ResText(ResOpenName("a.dat")));
    EXPECT_EXIT(ResCloseFile(3), testing::ExitedWithCode(1), FatalRe("FileCloseRes: Error."));
    EXPECT_EQ(-1, ResAddFile("missing.res"));
    // The test program's path does not end in EXE, so it has no resource file of its own.
    EXPECT_EQ(-1, ResAddFile(nullptr));
    while (ResFileCount()) ResCloseFile(0);
    // Its offsets are 32-bit: a larger file is no resource file, refused from its size.
    WriteText("huge.res", "");
    std::filesystem::resize_file("huge.res", 1ull << 32);
    EXPECT_EQ(-1, ResAddFile("huge.res"));
    EXPECT_STREQ("4294967296 bytes, larger than a resource file can be (at most 4294967295 bytes)", FileRefusal());
    int used = ResUsedCount();
    EXPECT_EQ(0, ResAddFile("x.res"));
    EXPECT_EQ(used + 1, ResUsedCount()) << "the directory is an internal resource";
    ResCloseFile(0);
    EXPECT_EQ(used, ResUsedCount()) << "freed again on close";
}

TEST(ResFile, DamagedFilesAreRefusedWithoutReadingOutside)
{
    TempDir dir(true);
    ResScope scope;
    std::vector<HandEntry> good = {{2, "A       .DAT", 0, 4}};
    Bytes image = HandResFile("abcd", good, false);

    // Cut at every length: never opened, never read past the end (the sanitizers watch).
    for (size_t len = 0; len < image.size(); len++) {
        WriteBytes("cut.res", Bytes(image.begin(), image.begin() + len));
        EXPECT_EQ(-1, ResAddFile("cut.res")) << len;
    }
    // Cut short with an offset word put back: the directory no longer fits before it.
    Bytes cut(image.begin(), image.end() - 10);
    AppendU32(cut, 4);
    WriteBytes("cut.res", cut);
    EXPECT_EQ(-1, ResAddFile("cut.res"));

    // A directory offset past the end, or pointing into the trailing word.
    Bytes far = image;
    PutU32(far.data(), far.size() - 4, 0xFFFFFFF0u);
    WriteBytes("far.res", far);
    EXPECT_EQ(-1, ResAddFile("far.res"));
    PutU32(far.data(), far.size() - 4, (uint32_t)far.size() - 4);
    WriteBytes("far.res", far);
    EXPECT_EQ(-1, ResAddFile("far.res"));

    // Counts that claim more entries than the file holds, plain and with the scramble bit.
    for (uint32_t count : {2u, 0x7FFFFFFFu, 0x80000002u, 0x0924924Au}) {
        Bytes big = image;
        PutU32(big.data(), 4, count);
        WriteBytes("count.res", big);
        EXPECT_EQ(-1, ResAddFile("count.res")) << count;
    }
    EXPECT_EQ(0, ResFileCount());

    // A directory whose entry points outside the file opens, but that entry cannot be read.
    std::vector<HandEntry> bad = {{2, "A       .DAT", 0, 4},
                                  {2, "OUT     .DAT", 2, 100},
                                  {2, "WRAP    .DAT", 0xFFFFFFFFu, 2}};
    WriteBytes("bad.res", HandResFile("abcd", bad, false));
    ASSERT_EQ(0, ResAddFile("bad.res"));
    EXPECT_EQ("abcd", ResText(ResOpenName("a.dat")));
    ResId out = ResFindOrAdd("out.dat");
    ASSERT_NE(0, out);
    ResSetLastError(0);
    EXPECT_NE(0, ResLoad(out));
    EXPECT_EQ(RES_ERR_READ, ResLastError());
    EXPECT_EQ(-1, ResIsLoaded(out));
    EXPECT_EQ(0, ResOpenName("wrap.dat"));
    EXPECT_EQ(RES_ERR_READ, ResLastError());
    EXPECT_EQ(nullptr, ResOpen(out)) << "a damaged resource file is no reason to stop";
    EXPECT_EQ(RES_ERR_READ, ResLastError());
    EXPECT_EQ(0, ResOpenCount(out));
}
