// Start-up settings, the command line and the run-state machine, with a front end that only
// records what the kernel asks of it.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

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
    AppShutdown();
    PlatShutdown();

    WriteText("tolbex.ini", "palsupport=2\nPolyLightMode=1\nscale=100\n; comment\n");
    Start();
    EXPECT_EQ(AppConfig()->palSupport, 1) << "any non-zero palsupport is 1";
    EXPECT_EQ(AppConfig()->polyLightMode, 1);
    EXPECT_EQ(AppConfig()->scale, 100u);
}

TEST_F(RunStates, MalformedSettingsAreFatal)
{
    const std::pair<const char*, const char*> cases[] = {
        {"polylightmode=2\n", "ERROR: PolyLightMode in INI file must be 0 or 1!"},
        {"scale = 100\n", "ERROR: Unable to read scale from INI file."},
        {"secondres=missing.res\n", "ERROR: Can't open secondary resource file."},
        {"thirdres=missing.res\n", "ERROR: Can't open secondary resource file."},
    };
    for (const auto& c : cases) {
        WriteText("tolbex.ini", c.first);
        EXPECT_EXIT(Start(), testing::ExitedWithCode(1), c.second) << c.first;
    }
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

TEST(CommandLine, DebugSwitch)
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
}

TEST(CommandLine, RendererSwitch)
{
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
