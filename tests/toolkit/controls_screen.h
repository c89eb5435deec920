// A screen with the window manager and the standard controls, drawn in the built-in font: the
// ground the control and panel kit tests build their windows on.
#pragma once
#include "support/screen.h"
#include "toolkit/controls.h"
#include "toolkit/text.h"
#include "toolkit/win.h"

class ControlsScreenTest : public ScreenTest {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        TextSetFont(FontCreateBuiltIn());
        WinInstall();
        WinRegisterBaseClasses();
        ControlsRegisterClasses();
    }
    void TearDown() override
    {
        WinRemove();
        ScreenTest::TearDown();
    }
};
