// Named resources: loose files, lookups, loading and freeing, types and the multiple forms.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/res.h"
#include "base/restest.h"
#include "platform/platform.h"

TEST(ResNames, LookupAddsInNameOrderAndStoresLowerCase)
{
    TempDir dir(true);
    ResScope scope;
    WriteText("b.dat", "bb");
    WriteText("A.DAT", "a");
    WriteText("c.Dat", "ccc");
    WriteText("_x.dat", "x");
    ResCreate(1);   // unnamed entries stay at the front and do not disturb the order

    ResSetLastError(0);
    EXPECT_EQ(0, ResFindName("b.dat")) << "finding does not add";
    ResId c = ResFindOrAdd("C.DAT"), a = ResFindOrAdd("a.dat"), u = ResFindOrAdd("_x.dat"), b = ResFindOrAdd("b.dat");
    ASSERT_TRUE(a && b && c && u);
    EXPECT_STREQ("c.dat", ResName(c));
    EXPECT_EQ(c, ResFindName("c.DAT"));
    EXPECT_EQ(c, ResFindOrAdd("C.dat")) << "one entry per name, whatever the case";
    EXPECT_EQ(3u, ResSize(c)) << "the source's size is known before loading";
    EXPECT_EQ(-1, ResIsLoaded(c)) << "not loaded by the lookup";

    // The used ring's order shows through ResForEachType, which walks it.
    static std::vector<std::string> seen;
    seen.clear();
    for (ResId id : {a, b, c, u}) ASSERT_EQ(0, ResLoad(id));
    ResForEachType("DAT", [](ResId id) { seen.push_back(ResName(id)); });
    EXPECT_EQ((std::vector<std::string>{"a.dat", "b.dat", "c.dat", "_x.dat"}), seen)
        << "compared without case: '_' sorts after the letters folded to capitals";
    EXPECT_EQ(0, ResFindName("bb.dat")) << "the early stop still finds nothing missing";

    int used = ResUsedCount();
    EXPECT_EQ(0, ResFindOrAdd("missing.dat"));
    EXPECT_EQ(RES_ERR_NOT_FOUND, ResLastError());
    EXPECT_EQ(used, ResUsedCount());

    // Names longer than an index name holds are refused, not cut to another name.
    std::string longName = std::string(60, 'n') + ".dat";
    WriteText(longName, "long");
    ResSetLastError(0);
    EXPECT_EQ(0, ResFindOrAdd(longName.c_str()));
    EXPECT_EQ(RES_ERR_NOT_FOUND, ResLastError());
    EXPECT_EQ(0, ResOpenName(longName.c_str()));
    std::string fits = std::string(59, 'n') + ".dat";
    WriteText(fits, "fits");
    EXPECT_NE(0, ResOpenName(fits.c_str()));

    // A loose file in a folder is found whatever the case of each part on disk.
    std::filesystem::create_directory("Sub");
    WriteText("Sub/Tree.SHP", "in a folder");
    EXPECT_EQ("in a folder", ResText(ResOpenName("sub/tree.shp")));
}

TEST(ResNames, OpenTwiceFreeOnceAndReloadUnderTheSameId)
{
    TempDir dir(true);
    ResScope scope;
    // The disk name's case does not matter: TREE.SHP is the resource tree.shp.
    WriteText("TREE.SHP", "first");
    ResId id = ResOpenName("tree.shp");
    ASSERT_NE(0, id);
    EXPECT_EQ(0, ResOpenCount(id)) << "opening by name loads without holding it open";
    EXPECT_EQ("first", ResText(id));

    ResOpen(id);
    ResOpen(id);
    std::vector<int> loaded;
    for (int i = 0; i < 3; i++) {
        ResFree(id);
        loaded.push_back(ResIsLoaded(id));
        ResClose(id);
    }
    EXPECT_EQ(loaded, (std::vector<int>{0, 0, -1})) << "open twice: the data stays until the last close";
    EXPECT_STREQ("tree.shp", ResName(id)) << "the named entry, its id and its known size stay";
    EXPECT_EQ(5u, ResSize(id));

    WriteText("TREE.SHP", "second!");
    char* p = (char*)ResOpen(id);
    EXPECT_EQ(std::string("second!"), std::string(p, 7)) << "reloaded from its source";
    EXPECT_EQ(7u, ResSize(id));
    ResClose(id);
    EXPECT_EQ(id, ResFindOrAdd("TREE.shp"));

    ResFreeAlways(id);
    EXPECT_EQ(-1, ResIsLoaded(id));
    EXPECT_EQ(0u, ResSize(id)) << "ResFreeAlways forgets the known size";
    EXPECT_STREQ("tree.shp", ResName(id));

    // Gone from disk: every form reports it and the program goes on.
    remove("TREE.SHP");
    ResSetLastError(0);
    EXPECT_NE(0, ResLoad(id));
    EXPECT_EQ(RES_ERR_NOT_FOUND, ResLastError());
    EXPECT_EQ(-1, ResIsLoaded(id));
    ResSetLastError(0);
    EXPECT_EQ(nullptr, ResOpen(id));
    EXPECT_EQ(RES_ERR_NOT_FOUND, ResLastError());
    EXPECT_EQ(nullptr, ResPeek(id));
    EXPECT_EQ(0, ResOpenCount(id)) << "a failed open leaves nothing open";
    EXPECT_EQ(0, ResCopy(id));
    // Back on disk, the same id loads again.
    WriteText("TREE.SHP", "tree");
    EXPECT_NE(nullptr, ResPeek(id));

    // LoadFileToRes makes an internal copy of a whole file, of at most the size given.
    WriteText("whole.bin", "0123456789");
    ResId w = LoadFileToRes("WHOLE.BIN", 10, "a test file");
    ASSERT_NE(0, w);
    EXPECT_STREQ("", ResName(w));
    EXPECT_EQ("0123456789", ResText(w));
    EXPECT_EQ(0, LoadFileToRes("nothing.bin", 10, "a test file"));
    EXPECT_EQ(RES_ERR_NOT_FOUND, ResLastError());
    EXPECT_EQ(0, LoadFileToRes("whole.bin", 9, "a test file"));
    EXPECT_EQ(RES_ERR_TOO_LARGE, ResLastError());
    EXPECT_STREQ("10 bytes, larger than a test file can be (at most 9 bytes)", FileRefusal());
}

static int loaderA(ResId id)
{
    // Converts in place, as the sprite loader does.
    char* p = (char*)ResPeek(id);
    for (size_t i = 0; i < ResSize(id); i++) p[i] = (char)(p[i] - 32);
    return 0;
}
static int loaderB(ResId) { return 0; }
static int refuse(ResId) { return 1; }
static int freed;
static void countFree(ResId) { freed++; }
static void ownFree(ResId) { freed += 100; }

TEST(ResNames, TypeRegistryLoadAndFreeHooks)
{
    TempDir dir(true);
    ResScope scope;
    WriteText("logo.spr", "abc");
    WriteText("bad.shp", "xyz");
    WriteText("plain.txt", "abc");
    WriteText("big.spr", "abcd");
    ResRegisterType("SPR", loaderA, countFree, 3);
    ResRegisterType("spr", loaderB, nullptr, 100);
    ResRegisterType("SHP", refuse, countFree, 100);

    ResId logo = ResOpenName("LOGO.SPR");
    ASSERT_NE(0, logo);
    EXPECT_EQ("ABC", ResText(logo)) << "the first registration of SPR is kept";
    ResId plain = ResOpenName("plain.txt");
    EXPECT_EQ("abc", ResText(plain)) << "no hook for other extensions";
    // A file larger than its type can be is refused from its size, and stays unloaded.
    ResSetLastError(0);
    EXPECT_EQ(0, ResOpenName("big.spr"));
    EXPECT_EQ(RES_ERR_TOO_LARGE, ResLastError());
    EXPECT_EQ(nullptr, ResOpen(ResFindName("big.spr"))) << "refused without ending the program";
    EXPECT_EQ(RES_ERR_TOO_LARGE, ResLastError());
    // A file of any kind is no resource past the 32-bit sizes of resource files.
    WriteText("huge.txt", "");
    std::filesystem::resize_file("huge.txt", (uint64_t)RES_MAX_SIZE + 1);
    ResSetLastError(0);
    EXPECT_EQ(0, ResOpenName("huge.txt"));
    EXPECT_EQ(RES_ERR_TOO_LARGE, ResLastError());

    freed = 0;
    ResFree(logo);
    EXPECT_EQ(1, freed);
    ResFree(plain);
    EXPECT_EQ(1, freed);
    ResOpenName("logo.spr");
    ResSetFreeCallback(logo, ownFree);
    ResFree(logo);
    EXPECT_EQ(101, freed) << "the entry's own free function replaces the type's";

    // A refusing loader fails the load: read error, block freed, entry kept, not loaded.
    ResSetLastError(0);
    EXPECT_EQ(0, ResOpenName("bad.shp"));
    EXPECT_EQ(RES_ERR_READ, ResLastError());
    ResId bad = ResFindName("bad.shp");
    ASSERT_NE(0, bad);
    EXPECT_EQ(-1, ResIsLoaded(bad));
    EXPECT_EQ(101, freed) << "refused data is not handed to the free hook";
    EXPECT_EQ(nullptr, ResOpen(bad));
    EXPECT_EQ(RES_ERR_READ, ResLastError());

    // The extension is that of the last path part: a dot in a folder name is not one.
    ResRegisterType("png", refuse, nullptr, 100);
    ASSERT_TRUE(std::filesystem::create_directory("my.png"));
    WriteText("my.png/inside", "data");
    EXPECT_NE(0, ResOpenName("my.png/inside"));

    // Only the first 32 types are kept.
    for (int i = 0; i < 40; i++) {
        char ext[4] = {'x', (char)('a' + i / 26), (char)('a' + i % 26), 0};
        ResRegisterType(ext, refuse, nullptr, 100);
    }
    // spr, shp and png came first: "xbc" is the 32nd type, "xbd" the 33rd.
    WriteText("kept.xbc", "n");
    WriteText("late.xbd", "n");
    EXPECT_EQ(0, ResOpenName("kept.xbc"));
    EXPECT_NE(0, ResOpenName("late.xbd"));
}

TEST(ResNames, MultiplePatterns)
{
    TempDir dir(true);
    ResScope scope;
    for (const char* n : {"W07.DAT", "w08.dat", "w09.dat", "n00012.x"}) WriteText(n, n);

    ResId ids[3] = {0, 0, 0};
    EXPECT_EQ(nullptr, ResFindMultiple("W**.DAT", ids, 3, 7));
    EXPECT_EQ((std::vector<std::string>{ResName(ids[0]), ResName(ids[1]), ResName(ids[2])}),
              (std::vector<std::string>{"w07.dat", "w08.dat", "w09.dat"}));
    EXPECT_EQ(-1, ResIsLoaded(ids[0])) << "finding does not load";

    ResId five[1] = {0};
    EXPECT_EQ(nullptr, ResOpenMultiple("n*****.x", five, 1, 12));
    EXPECT_STREQ("n00012.x", ResName(five[0])) << "five stars, zero-filled";
    EXPECT_EQ(0, ResIsLoaded(five[0])) << "the opening form loads";

    remove("w08.dat");
    ResRemove();
    ResInstall(100);
    ResId again[3] = {0, 0, 0xBEEF};
    const char* failed = ResFindMultiple("W**.DAT", again, 3, 7);
    ASSERT_NE(nullptr, failed);
    EXPECT_STREQ("W08.DAT", failed);
    EXPECT_NE(0, again[0]);
    EXPECT_EQ(0, again[1]);
    EXPECT_EQ(0xBEEF, again[2]) << "places after the failure are left alone";
    EXPECT_STREQ("W08.DAT", ResOpenMultiple("W**.DAT", again, 3, 7));
    EXPECT_EQ(0, ResIsLoaded(again[0]));

    // Longer names than 13 characters are kept whole.
    WriteText("texture_01_long.spr", "t");
    ResId tex[1];
    EXPECT_EQ(nullptr, ResFindMultiple("texture_**_long.spr", tex, 1, 1));
    EXPECT_STREQ("texture_01_long.spr", ResName(tex[0]));
}
