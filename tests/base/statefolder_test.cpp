#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/platform.h"
#include "support/testutil.h"

static bool IsPrivateFolder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 077) == 0;
}

TEST(StateFolder, XdgFirstThenHomeMadeWhenMissing)
{
    KeepEnv xdg("XDG_STATE_HOME"), home("HOME");
    TempDir dir;
    char out[1024];

    // Made with its parents.
    setenv("XDG_STATE_HOME", dir.file("deep/state/").c_str(), 1);
    ASSERT_EQ(FileStateFolder(out, sizeof out), 0);
    EXPECT_EQ(std::string(out), dir.file("deep/state/tolbex"));
    EXPECT_TRUE(IsPrivateFolder(out));
    ASSERT_EQ(FileStateFolder(out, sizeof out), 0) << "there already";

    // Empty or relative: not a folder to trust, HOME's is taken.
    setenv("HOME", dir.file("home").c_str(), 1);
    for (const char* unusable : {"", "relative/state"}) {
        setenv("XDG_STATE_HOME", unusable, 1);
        ASSERT_EQ(FileStateFolder(out, sizeof out), 0) << unusable;
        EXPECT_EQ(std::string(out), dir.file("home/.local/state/tolbex"));
    }
    unsetenv("XDG_STATE_HOME");
    ASSERT_EQ(FileStateFolder(out, sizeof out), 0);
    EXPECT_TRUE(IsPrivateFolder(out));

    // Neither: recovery is off, and the answer says so.
    unsetenv("HOME");
    EXPECT_EQ(FileStateFolder(out, sizeof out), 1);
    EXPECT_STREQ(out, "");
    // A file where a folder must be.
    WriteText(dir.file("plain"), "x");
    setenv("XDG_STATE_HOME", dir.file("plain").c_str(), 1);
    EXPECT_EQ(FileStateFolder(out, sizeof out), 1);
    setenv("XDG_STATE_HOME", dir.file("deep").c_str(), 1);
    EXPECT_EQ(FileStateFolder(out, 8), 1) << "a path that does not fit";
}
