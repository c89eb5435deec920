// Where the program reads its settings and writes its working files: a working folder with a
// tolbex.ini is a project folder and keeps everything as it was; without one (a start from
// the menu) the settings come from the user's settings folder and working files go beside
// the document or into the state folder, never into the home folder itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "kernel/app.h"
#include "platform/platform.h"
#include "support/testutil.h"

namespace {

std::string WorkPath(const char* document, const char* leaf = "temp.txt")
{
    char out[4096];
    AppWorkFilePath(document, leaf, out, sizeof out);
    return out;
}

class Folders : public ::testing::Test {
protected:
    KeepEnv config{"XDG_CONFIG_HOME"}, state{"XDG_STATE_HOME"}, home{"HOME"};
    TempDir dir{true};
    std::string here;
    void SetUp() override
    {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        here = cwd;
        setenv("HOME", dir.file("home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
        setenv("XDG_STATE_HOME", dir.file("state").c_str(), 1);
    }
    void TearDown() override
    {
        // Back to a project folder's rules for the tests that come after.
        WriteText("tolbex.ini", "");
        AppChooseFolders();
    }
};

TEST_F(Folders, WithoutSettingsHereTheUsersFoldersAreUsed)
{
    AppChooseFolders();
    EXPECT_EQ(AppInProjectFolder(), 0);
    EXPECT_EQ(std::string(AppSettingsFile()), dir.file("config") + "/tolbex/tolbex.ini");
    // Beside a document that names its folder.
    EXPECT_EQ(WorkPath("/maps/town/TOWN.WLE"), "/maps/town/temp.txt");
    EXPECT_EQ(WorkPath("sub/TOWN.WLE", "grab0000.bmp"), "sub/grab0000.bmp");
    EXPECT_EQ(WorkPath("/TOWN.WLE"), "/temp.txt");
    // A name alone is in the working folder, the document's folder too.
    EXPECT_EQ(WorkPath("TOWN.WLE"), here + "/temp.txt");
    // No document, or one in the home folder itself: the state folder.
    EXPECT_EQ(WorkPath(""), dir.file("state") + "/tolbex/temp.txt");
    EXPECT_EQ(WorkPath(nullptr), dir.file("state") + "/tolbex/temp.txt");
    EXPECT_EQ(WorkPath((dir.file("home") + "/TOWN.WLE").c_str()), dir.file("state") + "/tolbex/temp.txt");
    setenv("HOME", (dir.file("home") + "/").c_str(), 1);
    EXPECT_EQ(WorkPath((dir.file("home") + "/TOWN.WLE").c_str()), dir.file("state") + "/tolbex/temp.txt")
        << "a home folder given with its slash is the same folder";
    // A folder below the home folder is the user's own choice.
    EXPECT_EQ(WorkPath((dir.file("home") + "/maps/TOWN.WLE").c_str()), dir.file("home") + "/maps/temp.txt");
}

TEST_F(Folders, TheWorkingFolderIsNeverUsedWhenItIsTheHomeFolder)
{
    setenv("HOME", dir.path().c_str(), 1);
    AppChooseFolders();
    EXPECT_EQ(WorkPath("TOWN.WLE"), dir.file("state") + "/tolbex/temp.txt");
}

TEST_F(Folders, SettingsFolderFallsBackToHome)
{
    unsetenv("XDG_CONFIG_HOME");
    AppChooseFolders();
    EXPECT_EQ(std::string(AppSettingsFile()), dir.file("home") + "/.config/tolbex/tolbex.ini");
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    AppChooseFolders();
    EXPECT_EQ(std::string(AppSettingsFile()), dir.file("home") + "/.config/tolbex/tolbex.ini")
        << "a relative XDG_CONFIG_HOME does not count";
}

TEST_F(Folders, AProjectFolderKeepsEverythingInIt)
{
    WriteText("tolbex.ini", "palsupport=0\n");
    AppChooseFolders();
    EXPECT_EQ(AppInProjectFolder(), 1);
    EXPECT_EQ(std::string(AppSettingsFile()), "tolbex.ini");
    EXPECT_EQ(WorkPath("/maps/town/TOWN.WLE"), "temp.txt");
    EXPECT_EQ(WorkPath(""), "temp.txt");
    EXPECT_EQ(WorkPath("TOWN.WLE", "grab0001.bmp"), "grab0001.bmp");
}

}  // namespace
