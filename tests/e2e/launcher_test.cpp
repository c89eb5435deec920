// The launcher as a user meets it: where it stands, what it offers, and where it leads.
#include <cstring>

#include "e2e/e2e.h"

// Screen positions of the launcher's buttons: the window stands at (50, 50).
static const int k640[2] = {50 + 80 + 30, 50 + 60 + 5};
static const int k800[2] = {50 + 150 + 30, 50 + 60 + 5};
static const int kShape[2] = {50 + 70 + 45, 50 + 20 + 5};
static const int kWorld[2] = {50 + 70 + 45, 50 + 35 + 5};

static std::string Click(const int* p) { return "click " + std::to_string(p[0]) + " " + std::to_string(p[1]) + "\n"; }

TEST_F(Headless, LauncherStandsAtFiftyFifty)
{
    ASSERT_TRUE(Runs("wait 3\nscreenshot launcher.bmp\nkey q\n"));
    Shot s = ReadShot(dir.file("launcher.bmp"));
    ASSERT_EQ(s.width, 320);
    ASSERT_EQ(s.height, 200);
    // Outside the window the black desktop; its corners drawn.
    EXPECT_TRUE(s.black(49, 49));
    EXPECT_TRUE(s.black(270, 145));
    EXPECT_FALSE(s.black(50, 50));
    EXPECT_FALSE(s.black(269, 144));
    // The title bar carries text: more than one colour across its middle row.
    int changes = 0;
    for (int x = 51; x < 268; x++)
        if (memcmp(s.at(x, 55), s.at(x + 1, 55), 3) != 0) changes++;
    EXPECT_GT(changes, 10) << "a title is written in the bar";
    // Each button is a bar of its own, differing from the window's background around it.
    for (const int* b : {k640, k800, kShape, kWorld})
        EXPECT_NE(memcmp(s.at(b[0], b[1]), s.at(b[0], b[1] + 8), 3), 0) << b[0] << "," << b[1];
    // No "Software Render" without /debug: its row is plain background.
    EXPECT_EQ(memcmp(s.at(50 + 20 + 80, 50 + 73 + 5), s.at(50 + 20 + 80, 50 + 90), 3), 0);
}

TEST_F(Headless, ChoosingResolutionAndEditorByQuickClicks)
{
    // A click before the launcher is up and a press and release in one frame (a tap) both count.
    std::string tap = "move " + std::to_string(kWorld[0]) + " " + std::to_string(kWorld[1]) +
                      "\npress left\nrelease left\n";
    ASSERT_TRUE(Runs(Click(k640) + tap + "wait 5\nscreenshot editor.bmp\n"));
    Shot s = ReadShot(dir.file("editor.bmp"));
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 400);
    EXPECT_FALSE(Logged("Using Software Renderer")) << "no warning unless asked for";
    EXPECT_TRUE(Logged("WVideoSetMode setting 640x400, 32 bits, windowed, for the 3D back end"));
}

TEST_F(Headless, EditorAsksBeforeClosing)
{
    EXPECT_TRUE(Runs("wait 2\n" + Click(kShape) + "wait 3\nanswer yes\nanswer no\nclose\nclose\nwait 3\nscreenshot gone.bmp\n"));
    EXPECT_FALSE(PathExists(dir.file("gone.bmp"))) << "Yes ends the run";
    size_t box = log.find("MSGBOX");
    ASSERT_NE(box, std::string::npos);
    EXPECT_EQ(log.find("MSGBOX", box + 1), std::string::npos) << "two presses of the close button ask once";
}

TEST_F(Headless, DebugOffersTheSoftwareRenderer)
{
    const int soft[2] = {50 + 20 + 80, 50 + 73 + 5};
    ASSERT_TRUE(Runs("wait 2\nscreenshot debug.bmp\n" + Click(soft) + Click(kShape) + "wait 3\n", {"/debug"}));
    Shot s = ReadShot(dir.file("debug.bmp"));
    EXPECT_NE(memcmp(s.at(soft[0], soft[1] - 5), s.at(soft[0], 50 + 90), 3), 0) << "the toggle is there";
    // The software renderer is chosen: the editor's mode is not one of the 3D back end's.
    EXPECT_TRUE(Logged("WVideoSetMode setting 800x600, 32 bits, windowed\n"));
    EXPECT_FALSE(Logged("for the 3D back end"));
    EXPECT_TRUE(Logged("MSGBOX \"Warning!\" \"Using Software Renderer\""));
    EXPECT_TRUE(Logged("RENDER: the views are drawn by Software Z-Buffer"));
}

TEST_F(Headless, TheRendererIsOpenGLUnlessItCannotBeHadOrSoftwareIsAskedFor)
{
    const std::string start = Click(kShape) + "wait 3\n";
    const char* const gl = "RENDER: the views are drawn by OpenGL";
    const char* const soft = "RENDER: the views are drawn by Software Z-Buffer";
    const char* const box = "MSGBOX \"Warning!\"";
    // By default GL on a hardware device, else the Z-buffer; with TOLBEX_GL=off only the parts without GL.
    const char* refused = getenv("TOLBEX_GL");
    const bool glRefused = refused && !strcmp(refused, "off");
    const std::vector<std::string> glAllowed = {"TOLBEX_GL="};
    if (!glRefused) {
        ASSERT_TRUE(Runs(start, {}, glAllowed));
        bool noHardware = log.find("no hardware device") != std::string::npos;
        EXPECT_TRUE(Logged(noHardware ? soft : gl));
        EXPECT_TRUE(Logged("for the 3D back end"));
        EXPECT_FALSE(Logged(box));
        // Asked for by name, GL runs on whatever device there is.
        ASSERT_TRUE(Runs(start, {"--renderer", "gl"}, glAllowed));
        EXPECT_TRUE(Logged(gl));
    }
    // No GL to be had: the software Z-buffer, said in the log, without a box to click away.
    ASSERT_TRUE(Runs(start, {}, {"TOLBEX_GL=off"}));
    EXPECT_TRUE(Logged("RENDER: no OpenGL renderer ("));
    EXPECT_TRUE(Logged(soft));
    EXPECT_FALSE(Logged(box));
    // Asked for by name and not to be had: the program stops and says so.
    EXPECT_TRUE(Ends(1, start, {"--renderer", "gl"}, {"TOLBEX_GL=off"}));
    EXPECT_TRUE(Logged("MSGBOX \"Fatal Error\" \"D3Activate has failed\""));
    // Software asked for on the command line: no GL is opened and no warning is shown.
    if (glRefused) GTEST_SKIP() << "OpenGL is refused (TOLBEX_GL=off): the parts with it are left out";
    ASSERT_TRUE(Runs(start, {"--renderer", "software"}, glAllowed));
    EXPECT_TRUE(Logged(soft));
    EXPECT_FALSE(Logged("GL: context"));
    EXPECT_FALSE(Logged(box));
    EXPECT_FALSE(Logged("for the 3D back end"));
}
