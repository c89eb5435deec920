// The launcher: the small window in which the user picks a resolution and an editor.
#include "kernel/app.h"
#include "kernel/kernel.h"
#include "toolkit/controls.h"
#include "toolkit/win.h"

struct LauncherData {
    WinId res640, res800, shape, world, software;
};

static WinId Button(int x, int y, int w, uint32_t style, const char* label)
{
    WinId b = WinCreate(x, y, w, 11, WIN_CURRENT, style, CLASS_BUTTON);
    WinParam p1 = (WinParam)label, p2 = 0;
    WinSendMessage(b, WM_SETLABEL, &p1, &p2);
    return b;
}

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
        made.res640 = Button(80, 60, 60, BUTTON_RADIO | BUTTON_GROUP, "640x400");
        made.res800 = Button(150, 60, 60, BUTTON_RADIO | BUTTON_GROUP, "800x600");
        WinParam group = 1;
        WinSendMessage(made.res640, WM_SETGROUP, &group, &z);
        WinSendMessage(made.res800, WM_SETGROUP, &group, &z);
        WinParam on = 1;
        if (gApp.resolution == RESOLUTION_UNSET || gApp.resolution == RESOLUTION_640)
            WinSendMessage(made.res640, WM_SETSTATE, &on, &z);
        else if (gApp.resolution == RESOLUTION_800)
            WinSendMessage(made.res800, WM_SETSTATE, &on, &z);
        made.shape = Button(70, 20, 90, BUTTON_PUSH, "Shape Editor");
        made.world = Button(70, 35, 90, BUTTON_PUSH, "World Editor");
        if (gApp.debug) made.software = Button(20, 73, 160, BUTTON_TOGGLE, "Software Render");
        *(LauncherData*)WinGetData() = made;
        return 1;   // the frame window sets itself up too
    }
    case WM_PRESSED:
        if (*p1 && sender == d->shape) gApp.editorMode = EDITOR_SHAPE;
        if (*p1 && sender == d->world) gApp.editorMode = EDITOR_WORLD;
        return 0;
    case WM_DESTROY: {
        LauncherData made = *d;
        gApp.softwareRender = gApp.debug && made.software ? ButtonState(made.software) : 0;
        if (ButtonState(made.res640))
            gApp.resolution = RESOLUTION_640;
        else if (ButtonState(made.res800))
            gApp.resolution = RESOLUTION_800;
        else
            FatalError("Lost a button somewhere??");
        return 1;
    }
    default: return 1;
    }
}

void LauncherRegisterClass(void) { WinCreateClass(CLASS_LAUNCHER, CLASS_FRAME, sizeof(LauncherData), LauncherProc); }
