#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "platform/platform.h"
#include "support/testutil.h"

TEST(Files, NamesAreFoundWhateverTheirCase)
{
    TempDir dir(true);
    std::filesystem::create_directories("Textures/Trees");
    WriteText("Textures/Trees/TREE.SHP", "12345");
    WriteText("tolbex.INI", "x");

    char found[256];
    ASSERT_EQ(FileFind("textures/trees/tree.shp", found, sizeof found), 1);
    EXPECT_STREQ(found, "Textures/Trees/TREE.SHP");
    ASSERT_EQ(FileFind("TEXTURES\\trees\\Tree.Shp", found, sizeof found), 1);
    EXPECT_STREQ(found, "Textures/Trees/TREE.SHP");
    ASSERT_EQ(FileFind((dir.path() + "/textures/trees/tree.shp").c_str(), found, sizeof found), 1);
    EXPECT_EQ(std::string(found), dir.path() + "/Textures/Trees/TREE.SHP");
    EXPECT_EQ(FileFind("textures/trees/bush.shp", found, sizeof found), 0);
    EXPECT_EQ(FileFind("", found, sizeof found), 0);
    EXPECT_EQ(FileFind("textures/trees/tree.shp", found, 8), 0) << "a name that does not fit is not found";

    EXPECT_EQ(FileExists("TOLBEX.ini"), 1);
    EXPECT_EQ(FileSize("textures/trees/tree.shp"), 5);
    EXPECT_EQ(FileSize("textures"), -1) << "a folder has no size";
    char buf[3];
    ASSERT_EQ(FileReadAt("textures/trees/tree.shp", 1, buf, 3), 0);
    EXPECT_EQ(std::string(buf, 3), "234");
    EXPECT_NE(FileReadAt("textures/trees/tree.shp", 3, buf, 3), 0) << "past the end";

    // Writing replaces the file of any letter case rather than making a second one.
    ASSERT_EQ(FileWrite("TOLBEX.ini", "new", 3), 0);
    EXPECT_EQ(ReadText("tolbex.INI"), "new");
    EXPECT_FALSE(PathExists("TOLBEX.ini"));

    ASSERT_EQ(FileMove("textures/trees/tree.shp", "textures/trees/TREE.~HP"), 0);
    EXPECT_TRUE(PathExists("Textures/Trees/TREE.~HP"));
    EXPECT_EQ(FileDelete("textures/trees/tree.~hp"), 0);
    EXPECT_EQ(FileExists("Textures/Trees/TREE.~HP"), 0);
    EXPECT_NE(FileDelete("textures/trees/tree.~hp"), 0);
    EXPECT_NE(FileWrite("no/such/folder/x.bin", "1", 1), 0);
    EXPECT_NE(std::string(FileProgramPath()), "");
}

static void WriteUnderLimit(void)
{
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {100, 100};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::vector<char> data(4000, 'x');
    int result = FileWrite("big.bin", data.data(), data.size());
    _exit(result == 1 && !FileExists("big.bin") ? 0 : 1);
}

TEST(Files, AFailedWriteLeavesNoPartialFile)
{
    TempDir dir(true);
    // The child may write at most 100 bytes; writing 4000 fails part way through.
    EXPECT_EXIT(WriteUnderLimit(), testing::ExitedWithCode(0), "");
}
