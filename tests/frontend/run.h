// The launcher and editors in the test's process, headless, one main-loop turn at a time.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "frontend/frontend.h"
#include "shapeedit/shapeedit.h"
#include "worldedit/worldedit.h"
#include "kernel/app.h"
#include "kernel/kernel.h"
#include "platform/platform.h"
#include "support/testutil.h"

class Run : public ::testing::Test {
protected:
    TempDir dir{true};
    // The script may queue answers for the boxes; it then idles.
    void Start(const std::string& script = "")
    {
        WriteText("idle.txt", script + "wait 1000000\n");
        // Recovery files of the test's own: one of the user's would ask first.
        setenv("XDG_STATE_HOME", dir.file("state").c_str(), 1);
        // No GL (as a machine without it): opening it would take most of a run's time.
        setenv("TOLBEX_GL", "off", 1);
        PlatOptions options{};
        options.headless = 1;
        options.script = "idle.txt";
        ASSERT_EQ(PlatSelect(&options), 0);
        ASSERT_EQ(KernelInstall("VOSTRANE", nullptr, "Tolbex"), 1);
        FrontEndRegister();
        ShapeEditInstall();
        WorldEditInstall();
        AppStartupSettings();
    }
    void TurnUntil(int state)
    {
        for (int i = 0; i < 20 && AppRunState() != state; i++) ASSERT_EQ(AppLoopTurn(), 0);
        ASSERT_EQ(AppRunState(), state);
    }
    void TearDown() override
    {
        if (KernelIsInstalled()) AppShutdown();
        PlatShutdown();
        unsetenv("TOLBEX_GL");
        AppResetSettings();
        AppSetRunState(RUN_START_LAUNCHER);
        KernelSetQuit(0);
        KernelSetConfirmClose(0);
        InputReset();
    }
    // Starts an editor straight from the launcher's choice (800 x 600 unless chosen).
    void StartEditor(int mode = EDITOR_SHAPE, const std::string& script = "")
    {
        Start(script);
        TurnUntil(RUN_LAUNCHER);
        AppSetEditorMode(mode);
        TurnUntil(RUN_EDITOR);
        Turns(2);
    }
    static void Turns(int n)
    {
        for (int i = 0; i < n; i++) ASSERT_EQ(AppLoopTurn(), 0);
    }
    static void AltG()
    {
        InputQueueKey(KEY_LMENU, 1);
        InputQueueKey(KEY_G, 1);
        ASSERT_EQ(AppLoopTurn(), 0);
        InputQueueKey(KEY_G, 0);
        InputQueueKey(KEY_LMENU, 0);
        ASSERT_EQ(AppLoopTurn(), 0);
    }
};

// The pointer moved as the native window reports it; a click: there, down for a turn, then up.
static inline void MoveTo(int x, int y)
{
    InputMessageHook(nullptr, NM_MOUSEMOVE, 0, (int32_t)(((uint32_t)y << 16) | (uint32_t)x));
}
static inline void ClickAt(int x, int y)
{
    MoveTo(x, y);
    InputMessageHook(nullptr, NM_LBUTTONDOWN, 0, 0);
    ASSERT_EQ(AppLoopTurn(), 0);
    InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0);
    ASSERT_EQ(AppLoopTurn(), 0);
}

