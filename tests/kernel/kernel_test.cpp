#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "base/log.h"
#include "kernel/kernel.h"
#include "kernel/timing.h"
#include "platform/platform.h"
#include "support/testutil.h"

static std::vector<int> exitCalls;
static void ExitA(void) { exitCalls.push_back(1); }
static void ExitB(void) { exitCalls.push_back(2); }

TEST(Kernel, ExitListRunsNewestFirstAndOnce)
{
    KernelRemove();
    exitCalls.clear();
    RegisterExit(ExitA);
    RegisterExit(ExitB);
    RegisterExit(ExitA);   // already listed
    KernelRemove();
    EXPECT_EQ(exitCalls, (std::vector<int>{2, 1}));
    KernelRemove();
    EXPECT_EQ(exitCalls.size(), 2u) << "the list is emptied";
}

template <int N> static void NumberedExit(void) {}
template <int N> static int NumberedHook(void*, uint32_t, uint32_t, int32_t) { return 0; }
template <int... N> static void RegisterExits(std::integer_sequence<int, N...>) { (RegisterExit(NumberedExit<N>), ...); }
template <int... N> static void RegisterHooks(std::integer_sequence<int, N...>)
{
    (RegisterMessageHook(NumberedHook<N>), ...);
}

TEST(Kernel, FullListsAndSecondInstallAreFatal)
{
    EXPECT_EXIT(RegisterExits(std::make_integer_sequence<int, 101>{}), testing::ExitedWithCode(1),
                "RegisterExit: RemoveList is full!");
    EXPECT_EXIT(RegisterHooks(std::make_integer_sequence<int, 11>{}), testing::ExitedWithCode(1),
                "RegisterExit: Message hook list is full!");
    EXPECT_EXIT(
        {
            KernelInstall("VOSTRANE", nullptr, "Tolbex");
            KernelInstall("VOSTRANE", nullptr, "Tolbex");
        },
        testing::ExitedWithCode(1), "Kernel already installed.");
}

static void SayRemoved(void) { fprintf(stderr, "removed\n"); }

TEST(Kernel, FatalErrorRemovesManagersThenReports)
{
    EXPECT_EXIT(
        {
            RegisterExit(SayRemoved);
            FatalError("boom %d", 7);
        },
        testing::ExitedWithCode(1), "removed.*FATAL: boom 7.*MSGBOX \"Fatal Error\" \"boom 7\"");
}

// The hook sees the managers installed, runs once; a fatal error inside it goes on to the usual end.
static void HookSaysText(const char* text) { fprintf(stderr, "hook(%s) ", text); }
static void HookFailsAgain(const char* text)
{
    fprintf(stderr, "hook(%s) ", text);
    FatalError("inner");
}

TEST(Kernel, FatalHookRunsOnceBeforeTheRemovals)
{
    EXPECT_EXIT(
        {
            RegisterExit(SayRemoved);
            FatalSetHook(HookSaysText);
            FatalError("boom");
        },
        testing::ExitedWithCode(1), "hook\\(boom\\) removed.*FATAL: boom");
    // Only the first text reaches the hook; the inner error ends the program.
    EXPECT_EXIT(
        {
            RegisterExit(SayRemoved);
            FatalSetHook(HookFailsAgain);
            FatalError("outer");
        },
        testing::ExitedWithCode(1), "^hook\\(outer\\) removed\n.*FATAL: inner\n[^h]*$");
    // Cleared, it is not called.
    EXPECT_EXIT(
        {
            FatalSetHook(HookSaysText);
            FatalSetHook(nullptr);
            FatalError("plain");
        },
        testing::ExitedWithCode(1), "^[^h]*FATAL: plain");
}

static std::vector<uint32_t> seen;
static int OlderHook(void*, uint32_t msg, uint32_t, int32_t)
{
    seen.push_back(msg + 1000);
    return 0;
}
static int NewerHook(void*, uint32_t msg, uint32_t, int32_t)
{
    seen.push_back(msg);
    return msg == NM_LBUTTONDOWN;   // takes button presses for itself
}

static void WindowProcedureChild(void)
{
    RegisterMessageHook(OlderHook);
    RegisterMessageHook(NewerHook);
    KernelWindowProc(nullptr, NM_MOUSEMOVE, 0, 0);
    KernelWindowProc(nullptr, NM_LBUTTONDOWN, 0, 0);
    std::vector<uint32_t> expected = {NM_MOUSEMOVE, 1000 + NM_MOUSEMOVE, NM_LBUTTONDOWN};
    bool order = seen == expected;
    KernelWindowProc(nullptr, NM_ACTIVATE, 0, 0);
    bool inactive = !KernelAppActive() && seen.size() == 5;   // activation reaches the hooks too
    KernelWindowProc(nullptr, NM_ACTIVATE, 2, 0);
    bool active = KernelAppActive();
    KernelSetConfirmClose(0);
    KernelSetQuit(0);
    KernelWindowProc(nullptr, NM_CLOSE, 0, 0);
    bool quit = KernelQuit();
    fprintf(stderr, "order=%d inactive=%d active=%d quit=%d\n", order, inactive, active, quit);
    _exit(order && inactive && active && quit ? 0 : 1);
}

TEST(Kernel, WindowProcedureAndHooks)
{
    // In a child process: the hook list cannot be emptied again.
    EXPECT_EXIT(WindowProcedureChild(), testing::ExitedWithCode(0), "order=1 inactive=1 active=1 quit=1");
}

TEST(Kernel, ConfirmedCloseFollowsTheAnswer)
{
    TempDir dir(true);
    WriteText("answers.txt", "answer no\nanswer cancel\nanswer yes\nwait 1000\n");
    PlatOptions options{};
    options.headless = 1;
    options.script = "answers.txt";
    ASSERT_EQ(PlatSelect(&options), 0);
    KernelDrainMessages();   // the first drain reads the answers
    KernelSetConfirmClose(1);
    KernelSetQuit(0);
    KernelWindowProc(nullptr, NM_CLOSE, 0, 0);
    EXPECT_EQ(KernelQuit(), 0) << "No keeps the program";
    KernelWindowProc(nullptr, NM_CLOSE, 0, 0);
    EXPECT_EQ(KernelQuit(), 0) << "Cancel keeps the program";
    KernelWindowProc(nullptr, NM_CLOSE, 0, 0);
    EXPECT_EQ(KernelQuit(), 1);
    // A close that was already on its way when the user said Yes asks nothing more.
    LogOpen("log.txt");
    KernelWindowProc(nullptr, NM_CLOSE, 0, 0);
    LogOpen(nullptr);
    EXPECT_EQ(ReadText("log.txt").find("MSGBOX"), std::string::npos);
    EXPECT_EQ(KernelQuit(), 1);
    KernelSetQuit(0);
    KernelSetConfirmClose(0);
    PlatShutdown();
}

// The log shows control bytes as \xNN, keeps line breaks, tabs and UTF-8 as they are.
TEST(Kernel, TheLogShowsControlBytesEscaped)
{
    TempDir dir(true);
    ASSERT_EQ(LogOpen("log.txt"), 0);
    LogPrintf(LOG_ERROR, "shape %s is missing\tcaf\xc3\xa9\nnext \x7f", "\x1b[2J.SHP");
    LogPrintf(LOG_DEBUG, "below the level: not written");
    LogOpen(nullptr);
    EXPECT_EQ(ReadText("log.txt"), "shape \\x1B[2J.SHP is missing\tcaf\xc3\xa9\nnext \\x7F\n");
}

TEST(Kernel, QuitMessageEndsTheDrainWithItsCode)
{
    KernelSetQuit(0);
    PlatPostMessage(NM_QUIT, 5, 0);
    KernelDrainMessages();
    EXPECT_EQ(KernelQuit(), 1);
    EXPECT_EQ(KernelExitCode(), 5);
    KernelSetQuit(0);
    PlatPostMessage(NM_DESTROY, 0, 0);
    KernelDrainMessages();
    EXPECT_EQ(KernelQuit(), 1) << "a destroyed window posts the quit message";
    EXPECT_EQ(KernelExitCode(), 0);
    KernelSetQuit(0);
}

// Elapsed ms, frames per second, frame time (seconds, 14 fraction bits), total after `ms` more.
static std::vector<uint32_t> After(uint32_t ms)
{
    PlatHeadlessAdvanceClock(ms);
    TimingUpdate();
    return {TimingElapsed(), TimingFPS(), TimingFrameTime(), TimingTotal()};
}

TEST(Timing, WarmUpClampAndTotals)
{
    TimingReset();
    TimingUpdate();
    EXPECT_EQ(After(70), (std::vector<uint32_t>{0, 0, 0, 0})) << "the first two frames after a reset count nothing";
    EXPECT_EQ(After(40), (std::vector<uint32_t>{40, 25, 655, 0}));
    // A stall is clamped to 166 ms; its frames per second come from the real time.
    EXPECT_EQ(After(500), (std::vector<uint32_t>{166, 2, 2719, 40}));
    EXPECT_EQ(After(0), (std::vector<uint32_t>{0, 2, 0, 206})) << "no time passed: the rate stands";
    EXPECT_EQ(TimingFrameCount(), 5u);

    TimingReset();
    EXPECT_EQ(TimingFrameCount(), 0u);
    EXPECT_EQ(TimingTotal(), 0u);
    EXPECT_EQ(After(30)[0], 0u);
}
