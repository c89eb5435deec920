// The built editor, run headless from scripts as a user's automation would run it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "kernel/util/bytes.h"
#include "palette/bmp.h"
#include "e2e/e2e.h"
#include "support/testutil.h"

TEST_F(Headless, StartsAndQuitsWithQ)
{
    RunResult r = Run("wait 3\nkey q\n");
    EXPECT_EQ(r.exitCode, 0) << r.output << log;
    EXPECT_NE(log.find("WVideoSetMode setting 320x200, 16 bits, windowed"), std::string::npos) << log;
    EXPECT_NE(log.find("WVideoSetMode exit OK"), std::string::npos);
    EXPECT_EQ(log.find("MSGBOX"), std::string::npos) << "nothing was asked";
}

TEST_F(Headless, ScreenshotOfTheLauncherScreen)
{
    RunResult r = Run("wait 2\nscreenshot shot.bmp\nkey q\n");
    ASSERT_EQ(r.exitCode, 0) << r.output << log;
    Bytes b = ReadBytes(dir.file("shot.bmp"));
    int w = 0, h = 0;
    ASSERT_EQ(BmpCheckLength(b.data(), b.size(), &w, &h), 1);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
}

TEST_F(Headless, CloseInTheLauncherQuitsAtOnce)
{
    RunResult r = Run("wait 2\nclose\nwait 50\nscreenshot late.bmp\n");
    EXPECT_EQ(r.exitCode, 0) << r.output << log;
    EXPECT_EQ(log.find("MSGBOX"), std::string::npos);
    EXPECT_FALSE(PathExists(dir.file("late.bmp"))) << "the run ended at the close";
}

TEST_F(Headless, MalformedSettingIsFatal)
{
    WriteText(dir.file("tolbex.ini"), "palsupport=x\n");
    RunResult r = Run("wait 3\nkey q\n");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(log.find("use palsupport=0 or palsupport=1"), std::string::npos) << log;
    EXPECT_NE(log.find("MSGBOX \"Fatal Error\" \"use palsupport=0 or palsupport=1\""), std::string::npos) << log;
}

TEST_F(Headless, BadScriptLineStopsTheRun)
{
    RunResult r = Run("wait 1\nfly away\n");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE((r.output + log).find("run.txt:2"), std::string::npos) << r.output << log;
    EXPECT_EQ(log.find("WVideoSetMode"), std::string::npos) << "nothing started";
}

TEST_F(Headless, FrameLimitEndsAHangingRun)
{
    RunResult r = Run("wait 100000\n", {"--max-frames", "30"});
    EXPECT_EQ(r.exitCode, 3) << r.output << log;
    EXPECT_NE(log.find("--max-frames 30 reached"), std::string::npos) << log;
}

TEST_F(Headless, SecondCopySaysSoAndAScriptedOneFails)
{
    // Hold the lock as a first copy would.
    std::string lockPath = dir.file("Vostrane-Tolbex.lock");
    int fd = open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    RunResult r = Run("wait 2\nscreenshot second.bmp\n");
    EXPECT_EQ(r.exitCode, 5) << "a scripted run never passes without having run";
    EXPECT_NE(r.output.find("Tolbex is already running (lock " + lockPath + ")."), std::string::npos) << r.output;
    EXPECT_FALSE(PathExists(dir.file("second.bmp"))) << "no window for the second copy";
    r = RunProgram(TOLBEX_BIN, {"--headless"}, dir.path(), {"TOLBEX_LOCK_DIR=" + dir.path()});
    EXPECT_EQ(r.exitCode, 0) << "a second copy started by hand just leaves";
    EXPECT_NE(r.output.find("Tolbex is already running"), std::string::npos) << r.output;
    close(fd);
    r = Run("wait 2\nscreenshot first.bmp\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(PathExists(dir.file("first.bmp"))) << "the lock is free again";
}

TEST_F(Headless, AFailedScriptCommandFailsTheRun)
{
    RunResult r = Run("wait 2\nscreenshot missing/shot.bmp\nwait 3\nscreenshot after.bmp\n");
    EXPECT_EQ(r.exitCode, 4) << r.output << log;
    EXPECT_NE(log.find("script line 2 failed: screenshot missing/shot.bmp could not be written"), std::string::npos)
        << log;
    EXPECT_FALSE(PathExists(dir.file("after.bmp"))) << "the run ends at the failure";
    r = Run("screenshot early.bmp\n");
    EXPECT_EQ(r.exitCode, 4) << "nothing has been shown yet: no picture to take";
}

TEST_F(Headless, NoDisplayIsSaidInOneLine)
{
    RunResult r = RunProgram(TOLBEX_BIN, {}, dir.path(), {"TOLBEX_HEADLESS=0", "DISPLAY=", "WAYLAND_DISPLAY=",
                                                          "TOLBEX_LOCK_DIR=" + dir.path()});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.output.find("no display"), std::string::npos) << r.output;
}

TEST_F(Headless, UsageErrors)
{
    RunResult r = RunProgram(TOLBEX_BIN, {"--headles"}, dir.path(), {"TOLBEX_LOCK_DIR=" + dir.path()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("unknown option --headles"), std::string::npos) << r.output;
    r = RunProgram(TOLBEX_BIN, {"--headless", "--script", "missing.txt"}, dir.path(),
                   {"TOLBEX_LOCK_DIR=" + dir.path()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("missing.txt"), std::string::npos) << r.output;
    r = RunProgram(TOLBEX_BIN, {"--renderer", "vulkan"}, dir.path(), {"TOLBEX_LOCK_DIR=" + dir.path()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("--renderer takes gl or software, not vulkan"), std::string::npos) << r.output;
    r = RunProgram(TOLBEX_BIN, {"--renderer"}, dir.path(), {"TOLBEX_LOCK_DIR=" + dir.path()});
    EXPECT_EQ(r.exitCode, 2);
}
