// The built editor, run headless from scripts as a user's automation would run it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <png.h>
#include <sys/file.h>
#include <unistd.h>

#include "base/bytes.h"
#include "e2e/e2e.h"
#include "palette/bmp.h"
#include "support/testutil.h"

TEST_F(Headless, StartsAndQuitsWithQ)
{
    EXPECT_TRUE(Runs("wait 3\nkey q\nwait 50\nscreenshot late.bmp\n"));
    EXPECT_FALSE(PathExists(dir.file("late.bmp"))) << "the run ended at Q, not at the script's end";
    EXPECT_TRUE(Logged("WVideoSetMode setting 320x200, 16 bits, windowed"));
    EXPECT_TRUE(Logged("WVideoSetMode exit OK"));
    EXPECT_FALSE(Logged("MSGBOX")) << "nothing was asked";
}

TEST_F(Headless, CloseInTheLauncherQuitsAtOnce)
{
    EXPECT_TRUE(Runs("wait 2\nclose\nwait 50\nscreenshot late.bmp\n"));
    EXPECT_FALSE(Logged("MSGBOX"));
    EXPECT_FALSE(PathExists(dir.file("late.bmp"))) << "the run ended at the close";
}

TEST_F(Headless, AMalformedSettingIsToldAndTheProgramGoesOn)
{
    WriteText(dir.file("tolbex.ini"), "palsupport=x\nsecondres=gone.res\n");
    // The launcher still runs and starts the Shape Editor; the end of the script closes it.
    EXPECT_TRUE(Runs("wait 3\nclick 165 75\nwait 4\ndump editor.json\n"));
    EXPECT_TRUE(Logged("MSGBOX \"Error\" \"tolbex.ini: use palsupport=0 or palsupport=1, not \"x\"; palette support "
                       "stays off.\""));
    EXPECT_TRUE(Logged("MSGBOX \"Error\" \"Can't open secondary resource file gone.res"));
    EXPECT_FALSE(Logged("Fatal Error"));
    EXPECT_NE(ReadText(dir.file("editor.json")).find("\"shape\""), std::string::npos) << "the editor started";
}

TEST_F(Headless, BadScriptLineStopsTheRun)
{
    RunResult r = Run("wait 1\nfly away\n");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE((r.output + log).find("run.txt:2"), std::string::npos) << r.output << log;
    EXPECT_FALSE(Logged("WVideoSetMode")) << "nothing started";
}

TEST_F(Headless, FrameLimitEndsAHangingRun)
{
    EXPECT_TRUE(Ends(3, "wait 100000\n", {"--max-frames", "30"}));
    EXPECT_TRUE(Logged("--max-frames 30 reached"));
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
    EXPECT_TRUE(Runs("wait 2\nscreenshot first.bmp\n"));
    EXPECT_TRUE(PathExists(dir.file("first.bmp"))) << "the lock is free again";
}

TEST_F(Headless, AFailedScriptCommandFailsTheRun)
{
    EXPECT_TRUE(Ends(4, "wait 2\nscreenshot missing/shot.bmp\nwait 3\nscreenshot after.bmp\n"));
    EXPECT_TRUE(Logged("script line 2 failed: screenshot missing/shot.bmp could not be written"));
    EXPECT_FALSE(PathExists(dir.file("after.bmp"))) << "the run ends at the failure";
    EXPECT_TRUE(Ends(4, "screenshot early.bmp\n")) << "nothing has been shown yet: no picture to take";
}

// RGB rows of a PNG file; empty when it cannot be read.
static Shot ReadPngShot(const std::string& path)
{
    Shot s;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return s;
    image.format = PNG_FORMAT_RGB;
    s.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, s.rgb.data(), 0, nullptr)) return Shot{};
    s.width = (int)image.width;
    s.height = (int)image.height;
    return s;
}

TEST_F(Headless, ShotCutsTheScreenToAPng)
{
    // Cuts across the launcher's corner (50, 50), one doubled, one to the screen's far corner.
    ASSERT_TRUE(Runs("wait 3\nscreenshot full.bmp\nshot a.png 40 45 30 20\nshot b.png 40 45 30 20 2\n"
                     "shot edge.png 300 190 20 10\nkey q\n"));
    Shot full = ReadShot(dir.file("full.bmp")), a = ReadPngShot(dir.file("a.png")),
         b = ReadPngShot(dir.file("b.png")), edge = ReadPngShot(dir.file("edge.png"));
    ASSERT_EQ(full.width, 320);
    ASSERT_EQ((std::vector<int>{a.width, a.height, b.width, b.height, edge.width, edge.height}),
              (std::vector<int>{30, 20, 60, 40, 20, 10}));
    int same = 0, doubled = 0;
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 30; x++) {
            same += memcmp(a.at(x, y), full.at(40 + x, 45 + y), 3) == 0;
            for (int k = 0; k < 4; k++) doubled += memcmp(b.at(2 * x + k % 2, 2 * y + k / 2), a.at(x, y), 3) == 0;
        }
    EXPECT_EQ(same, 30 * 20);
    EXPECT_EQ(doubled, 4 * 30 * 20) << "each pixel becomes a 2 x 2 block";
    EXPECT_FALSE(a.black(29, 19)) << "the cut reaches into the window";
    EXPECT_EQ(memcmp(edge.at(19, 9), full.at(319, 199), 3), 0);

    // The same frame gives the same bytes: nothing of the time goes into the file.
    Bytes first = ReadBytes(dir.file("b.png"));
    ASSERT_TRUE(Runs("wait 3\nshot b.png 40 45 30 20 2\nkey q\n"));
    EXPECT_EQ(ReadBytes(dir.file("b.png")), first);

    // A rectangle past the screen's edge fails the run at its line and writes nothing.
    EXPECT_TRUE(Ends(4, "wait 3\nshot over.png 300 190 21 10\nwait 3\nshot after.png 0 0 10 10\n"));
    EXPECT_TRUE(Logged("script line 2 failed: shot over.png: the rectangle 300,190 21x10 is not inside the 320x200 screen"));
    EXPECT_FALSE(PathExists(dir.file("over.png")));
    EXPECT_FALSE(PathExists(dir.file("after.png"))) << "the run ends at the failure";
    EXPECT_EQ(Run("wait 3\nshot n.png -1 0 10 10\n").exitCode, 4);
    EXPECT_EQ(Run("shot early.png 0 0 10 10\n").exitCode, 4) << "nothing has been shown yet";
    EXPECT_EQ(Run("wait 3\nshot missing/s.png 0 0 10 10\n").exitCode, 4);
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
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"--headles"}, "unknown option --headles"},
        {{"--headless", "--script", "missing.txt"}, "missing.txt"},
        {{"--renderer", "vulkan"}, "--renderer takes gl or software, not vulkan"},
        {{"--renderer"}, ""},
    };
    for (const auto& [args, said] : cases) {
        RunResult r = RunProgram(TOLBEX_BIN, args, dir.path(), {"TOLBEX_LOCK_DIR=" + dir.path()});
        EXPECT_EQ(r.exitCode, 2) << args[0];
        EXPECT_NE(r.output.find(said), std::string::npos) << r.output;
    }
}
