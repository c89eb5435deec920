#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "support/testutil.h"

// Restores the two variables the state folder is taken from.
struct StateEnv {
    std::string xdg, home;
    bool hadXdg, hadHome;
    StateEnv()
    {
        const char* x = getenv("XDG_STATE_HOME");
        const char* h = getenv("HOME");
        hadXdg = x != nullptr;
        hadHome = h != nullptr;
        xdg = x ? x : "";
        home = h ? h : "";
    }
    ~StateEnv()
    {
        if (hadXdg) setenv("XDG_STATE_HOME", xdg.c_str(), 1);
        else unsetenv("XDG_STATE_HOME");
        if (hadHome) setenv("HOME", home.c_str(), 1);
        else unsetenv("HOME");
    }
};

static bool IsPrivateFolder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 077) == 0;
}

TEST(StateFolder, XdgFirstThenHomeMadeWhenMissing)
{
    StateEnv keep;
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
