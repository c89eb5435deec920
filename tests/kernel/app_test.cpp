// Settings, the command line and the run states, with a front end that records what it is asked.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/log.h"
#include "base/res.h"
#include "kernel/app.h"
#include "kernel/kernel.h"
#include "platform/platform.h"
#include "support/testutil.h"

namespace {

std::vector<std::string> calls;
int launcherFrames;
int editorFrames;

void Startup() { calls.push_back("startup"); }
void LauncherStart() { calls.push_back("launcher start"); }
int LauncherFrame()
{
    calls.push_back("launcher frame");
    return ++launcherFrames == 2 ? STEP_NEXT : STEP_STAY;
}
void LauncherDisplay() { calls.push_back("launcher display"); }
void LauncherStop() { calls.push_back("launcher stop"); }
void EditorStart() { calls.push_back("editor start"); }
int EditorFrame()
{
    calls.push_back("editor frame");
    return ++editorFrames == 2 ? STEP_QUIT : STEP_STAY;
}
void EditorDisplay() { calls.push_back("editor display"); }
void EditorStop() { calls.push_back("editor stop"); }

const AppFrontEnd kRecorder = {
    Startup,
    {
        {LauncherStart, LauncherFrame, LauncherDisplay, LauncherStop},
        {EditorStart, EditorFrame, EditorDisplay, EditorStop},
    },
    nullptr,
    nullptr,   // never sleeps
};

class RunStates : public ::testing::Test {
protected:
    TempDir dir{true};
    void Start()
    {
        WriteText("idle.txt", "wait 1000000\n");
        PlatOptions options{};
        options.headless = 1;
        options.script = "idle.txt";
        ASSERT_EQ(PlatSelect(&options), 0);
        ASSERT_EQ(KernelInstall("VOSTRANE", nullptr, "Tolbex"), 1);
        calls.clear();
        launcherFrames = editorFrames = 0;
        AppRegisterFrontEnd(&kRecorder);
        AppStartupSettings();
    }
    void TearDown() override
    {
        if (KernelIsInstalled()) AppShutdown();
        PlatShutdown();
        AppRegisterFrontEnd(nullptr);
        AppResetSettings();
        AppSetRunState(RUN_START_LAUNCHER);
        KernelSetQuit(0);
    }
};

TEST_F(RunStates, SettingsFromTheFileOrTheDefaults)
{
    Start();
    EXPECT_EQ(AppConfig()->resolution, RESOLUTION_800);
    EXPECT_EQ(AppConfig()->palSupport, 0);
    EXPECT_EQ(AppConfig()->scale, 0u);
    EXPECT_EQ(std::vector<int>(AppConfig()->dummyColour, AppConfig()->dummyColour + 3), (std::vector<int>{160, 160, 160}));
    EXPECT_EQ(AppConfig()->threads, 0) << "one thread a core unless the settings say otherwise";
    AppShutdown();
    PlatShutdown();

    WriteText("tolbex.ini", "palsupport=2\nPolyLightMode=1\nscale=100\nthreads=3\n; comment\ndummycolour=12,234, 56\n");
    Start();
    EXPECT_EQ(AppConfig()->palSupport, 1) << "any non-zero palsupport is 1";
    EXPECT_EQ(AppConfig()->polyLightMode, 1);
    EXPECT_EQ(AppConfig()->scale, 100u);
    EXPECT_EQ(AppConfig()->threads, 3);
    EXPECT_EQ(std::vector<int>(AppConfig()->dummyColour, AppConfig()->dummyColour + 3), (std::vector<int>{12, 234, 56}));
    AppShutdown();
    PlatShutdown();
    WriteText("tolbex.ini", "dummycolour=0,0,255\n");
    Start();
    EXPECT_EQ(std::vector<int>(AppConfig()->dummyColour, AppConfig()->dummyColour + 3), (std::vector<int>{0, 0, 255}));
}

std::vector<std::string> boxes;
void KeepBoxes(int, const char* line)
{
    if (!strncmp(line, "MSGBOX ", 7)) boxes.push_back(line + 7);
}

TEST_F(RunStates, MalformedSettingsAreToldAndTheDefaultsKept)
{
    // The settings file is the user's: each bad line gets a box, and the program goes on.
    const std::pair<const char*, const char*> cases[] = {
        {"palsupport=yes\n", "\"Error\" \"tolbex.ini: use palsupport=0 or palsupport=1, not \"yes\"; palette support stays off.\""},
        {"polylightmode=2\n", "\"Error\" \"tolbex.ini: PolyLightMode must be 0 or 1, not \"2\"; 0 is used.\""},
        {"scale = 100\n", "\"Error\" \"tolbex.ini: unable to read scale from \" 100\"; 0 is used.\""},
        {"dummycolour=1,2\n",
         "\"Error\" \"tolbex.ini: dummycolour is R,G,B with 0 to 255 each, not \"1,2\"; 160,160,160 is used.\""},
        {"dummycolour=256,0,0\n",
         "\"Error\" \"tolbex.ini: dummycolour is R,G,B with 0 to 255 each, not \"256,0,0\"; 160,160,160 is used.\""},
        {"dummycolour=1,2,3,4\n",
         "\"Error\" \"tolbex.ini: dummycolour is R,G,B with 0 to 255 each, not \"1,2,3,4\"; 160,160,160 is used.\""},
        {"dummycolour=1,,3\n",
         "\"Error\" \"tolbex.ini: dummycolour is R,G,B with 0 to 255 each, not \"1,,3\"; 160,160,160 is used.\""},
        {"threads=65\n", "\"Error\" \"tolbex.ini: threads must be 0 (one a core) to 64, not \"65\"; one a core is used.\""},
        {"threads=-1\n", "\"Error\" \"tolbex.ini: threads must be 0 (one a core) to 64, not \"-1\"; one a core is used.\""},
        {"secondres=missing.res\n",
         "\"Error\" \"Can't open secondary resource file missing.res (tolbex.ini secondres); going on without it.\""},
        {"thirdres=gone.res\n",
         "\"Error\" \"Can't open secondary resource file gone.res (tolbex.ini thirdres); going on without it.\""},
    };
    LogSetHook(KeepBoxes);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        boxes.clear();
        WriteText("tolbex.ini", c.first);
        Start();
        EXPECT_EQ(boxes, std::vector<std::string>{c.second});
        EXPECT_EQ(AppConfig()->palSupport, 0);
        EXPECT_EQ(AppConfig()->polyLightMode, 0);
        EXPECT_EQ(AppConfig()->scale, 0u);
        EXPECT_EQ(AppConfig()->dummyColour[0], 160);
        EXPECT_EQ(AppConfig()->threads, 0);
        EXPECT_EQ(ResFileCount(), 0);
        for (int turn = 0; turn < 3; turn++) EXPECT_EQ(AppLoopTurn(), 0);
        TearDown();
    }
    LogSetHook(nullptr);
}

TEST_F(RunStates, RunStatesCallTheFrontEndInOrder)
{
    Start();
    // Each turn: the display of the stage that runs, then one step.
    for (int turn = 0; turn < 6; turn++) ASSERT_EQ(AppLoopTurn(), 0) << turn;
    EXPECT_EQ(AppLoopTurn(), 1) << "the editor's second frame asks to leave";
    const std::vector<std::string> expected = {
        "startup",
        "launcher start",                         // turn 1: nothing is displayed before the start
        "launcher display", "launcher frame",     // turn 2
        "launcher display", "launcher frame",     // turn 3: the frame answers next
        "launcher stop",                          // turn 4: closing displays nothing
        "editor start",                           // turn 5
        "editor display", "editor frame",         // turn 6
        "editor display", "editor frame",         // turn 7: the frame answers quit
    };
    EXPECT_EQ(calls, expected);
    AppShutdown();
    EXPECT_EQ(calls.back(), "editor stop") << "the running stage is stopped at the end";
    PlatShutdown();

    // Leaving from the launcher stops the launcher, and no editor that never started.
    Start();
    AppLoopTurn();
    AppShutdown();
    EXPECT_EQ(calls, (std::vector<std::string>{"startup", "launcher start", "launcher stop"}));
}

TEST(CommandLine, DebugAndRendererSwitches)
{
    AppResetSettings();
    AppParseCommandLine("\"C:\\Program Files\\tolbex.exe\" /Debug");
    EXPECT_EQ(AppConfig()->debug, 1);
    AppResetSettings();
    AppParseCommandLine("tolbex \"/debug now\" /debugger");
    EXPECT_EQ(AppConfig()->debug, 0);
    AppParseCommandLine("tolbex --debug");
    EXPECT_EQ(AppConfig()->debug, 1);

    AppResetSettings();
    AppParseCommandLine("tolbex");
    EXPECT_EQ(AppConfig()->renderer, RENDERER_DEFAULT);
    AppParseCommandLine("tolbex \"--renderer\" \"software\" /debug");
    EXPECT_EQ(AppConfig()->renderer, RENDERER_SOFTWARE);
    EXPECT_EQ(AppConfig()->debug, 1) << "the word after the name is read as usual";
    AppParseCommandLine("tolbex --renderer GL");
    EXPECT_EQ(AppConfig()->renderer, RENDERER_HARDWARE);
    AppResetSettings();
    AppParseCommandLine("tolbex --renderer");
    EXPECT_EQ(AppConfig()->renderer, RENDERER_DEFAULT) << "no name, no choice";
    AppResetSettings();
}

}  // namespace
