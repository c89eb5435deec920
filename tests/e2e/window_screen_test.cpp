// The screen options and settings of the built editor, run headless.
#include <gtest/gtest.h>

#include "e2e/e2e.h"
#include "support/testutil.h"

// A bad value on the command line is a usage error: one line, exit code 2, nothing started.
TEST_F(Headless, BadScreenOptionsAreUsageErrors)
{
    struct {
        std::vector<std::string> args;
        const char* line;
    } cases[] = {
        {{"--screen", "10x10"},
         "tolbex: --screen takes 640x400, 800x600, window or WxH (at least 800x600, at most 8192x8192), not 10x10\n"},
        {{"--uiscale", "9"}, "tolbex: --uiscale takes a whole number from 1 to 4, not 9\n"},
        {{"--screen"}, "tolbex: --screen needs 640x400, 800x600, window or WxH\n"},
    };
    for (const auto& c : cases) {
        RunResult r = Run("wait 1\n", c.args);
        EXPECT_EQ(r.exitCode, 2) << r.output;
        EXPECT_EQ(r.output, c.line);
        EXPECT_FALSE(Logged("WVideoSetMode")) << "nothing started";
    }
}

// A fixed screen is laid out and dumped; a script for 800 x 600 clicks the launcher where it always did.
TEST_F(Headless, AFixedScreenIsLaidOutAndDumped)
{
    ASSERT_TRUE(Runs("wait 3\nclick 165 75\nwait 4\ndump editor.json\n", {"--screen", "1280x720", "--uiscale", "2"}));
    nlohmann::json d = Dump("editor.json");
    EXPECT_EQ(d["screen"]["width"], 1280);
    EXPECT_EQ(d["screen"]["height"], 720);
    EXPECT_EQ(d["screen"]["scale"], 2);
    bool view = false;
    for (const auto& w : d["windows"])
        if (w["class"] == ClassText(CLASS_VIEW)) {
            view = true;
            EXPECT_EQ(w["width"], 1279);
            EXPECT_EQ(w["height"], 670);
        }
    EXPECT_TRUE(view) << d.dump();
}

// The "Window" screen follows a resize; a bad ini value is told in a box and its default kept.
TEST_F(Headless, TheWindowScreenFollowsAResize)
{
    WriteText(dir.file("tolbex.ini"), "screen=window\nuiscale=5\n");
    ASSERT_TRUE(Runs("wait 3\nclick 165 75\nwait 4\nresize 2048 1536\nwait 2\ndump big.json\nresize 1000 700\nwait 2\n"
                     "dump small.json\n",
                     {}, {"GDK_SCALE=2"}));
    EXPECT_TRUE(Logged("MSGBOX \"Error\" \"tolbex.ini: uiscale is a whole number from 1 to 4, not \"5\""));
    nlohmann::json big = Dump("big.json"), small = Dump("small.json");
    EXPECT_EQ(big["screen"]["scale"], 2) << "the refused value left the scale to GDK_SCALE";
    EXPECT_EQ(big["screen"]["width"], 1024);
    EXPECT_EQ(big["screen"]["height"], 768);
    EXPECT_EQ(small["screen"]["width"], 800) << "at least 800 x 600";
    EXPECT_EQ(small["screen"]["height"], 600);
}
