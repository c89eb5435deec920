// The launcher: the small window in which the user picks a resolution and an editor.
#include "frontend/launcher.h"

#include "kernel/app.h"
#include "kernel/kernel.h"
#include "kernel/timing.h"
#include "platform/platform.h"
#include "toolkit/controls.h"
#include "toolkit/panelkit.h"
#include "toolkit/win.h"

struct LauncherData {
    WinId res640, res800, resWindow, shape, world, software;
};


static int ButtonState(WinId b)
{
    WinParam p1 = 0, p2 = 0;
    WinSendMessage(b, WM_GETSTATE, &p1, &p2);
    return p1 != 0;
}

static int LauncherProc(WinId, WinId sender, int message, WinParam* p1, WinParam*)
{
    LauncherData* d = (LauncherData*)WinGetData();
    switch (message) {
    case WM_CREATE: {
        WinParam title = (WinParam) "Vostrane Max", z = 0;
        WinSendMessage(WIN_SELF, WM_SETTITLE, &title, &z);
        LauncherData made{};
        made.res640 = KitButton(80, 60, 60, BUTTON_RADIO | BUTTON_GROUP, "640x400");
        made.res800 = KitButton(150, 60, 60, BUTTON_RADIO | BUTTON_GROUP, "800x600");
        // The third screen goes left of the two fixed ones, which keep their places.
        made.resWindow = KitButton(10, 60, 60, BUTTON_RADIO | BUTTON_GROUP, "Window");
        WinParam group = 1;
        WinSendMessage(made.res640, WM_SETGROUP, &group, &z);
        WinSendMessage(made.res800, WM_SETGROUP, &group, &z);
        WinSendMessage(made.resWindow, WM_SETGROUP, &group, &z);
        WinParam on = 1;
        int res = AppConfig()->resolution;
        WinId chosen = res == RESOLUTION_640 ? made.res640 : res == RESOLUTION_WINDOW ? made.resWindow : made.res800;
        WinSendMessage(chosen, WM_SETSTATE, &on, &z);
        made.shape = KitButton(70, 20, 90, BUTTON_PUSH, "Shape Editor");
        made.world = KitButton(70, 35, 90, BUTTON_PUSH, "World Editor");
        if (AppConfig()->debug) made.software = KitButton(20, 73, 160, BUTTON_TOGGLE, "Software Render");
        *(LauncherData*)WinGetData() = made;
        return 1;   // the frame window sets itself up too
    }
    case WM_PRESSED:
        if (*p1 && sender == d->shape) AppSetEditorMode(EDITOR_SHAPE);
        if (*p1 && sender == d->world) AppSetEditorMode(EDITOR_WORLD);
        return 0;
    case WM_DESTROY: {
        LauncherData made = *d;
        AppSetSoftwareRender(AppConfig()->debug && made.software ? ButtonState(made.software) : 0);
        if (ButtonState(made.res640))
            AppSetResolution(RESOLUTION_640);
        else if (ButtonState(made.res800))
            AppSetResolution(RESOLUTION_800);
        else if (ButtonState(made.resWindow))
            AppSetResolution(RESOLUTION_WINDOW);
        else
            FatalError("Lost a button somewhere??");
        return 1;
    }
    default: return 1;
    }
}

void LauncherRegisterClass(void) { WinCreateClass(CLASS_LAUNCHER, CLASS_FRAME, sizeof(LauncherData), LauncherProc); }

void LauncherStart(void)
{
    if (VideoSetMode(320, 200, VIDEO_16BIT, VIDEO_WINDOWED_SOFTWARE) != 0)
        FatalError("Sorry - Tolbex only works on a 16 bit colour desktop");
    WinInstall();
    VideoLoadInterfacePalette();
    WinRegisterBaseClasses();
    ButtonRegisterClass();
    LauncherRegisterClass();
    WinCreate(50, 50, 220, 95, WIN_DESKTOP, FRAME_BORDER | FRAME_TITLE | FRAME_DRAG, CLASS_LAUNCHER);
    TimingReset();
}

int LauncherFrame(void)
{
    // The step still runs in the turn the choice is made.
    int chosen = AppConfig()->editorMode != EDITOR_NONE;
    TimingUpdate();
    if (KeyPressed(KEY_Q)) return STEP_QUIT;
    WinProcessInput();
    return chosen ? STEP_NEXT : STEP_STAY;
}

void LauncherDisplay(void)
{
    if (VideoBeginUpdate(1)) {
        WinDrawAll();
        VideoEndUpdate();
    }
}

void LauncherStop(void) { WinRemove(); }
