#include "frontend/frontend.h"

#include "frontend/dump.h"
#include "frontend/editor.h"
#include "frontend/launcher.h"
#include "kernel/app.h"
#include "kernel/kernel.h"
#include "palette/bmp.h"
#include "palette/palm.h"
#include "palette/png.h"
#include "platform/platform.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"

static ResId builtInFont;

static void FreeBuiltInFont(void)
{
    if (builtInFont) ResFreeAlways(builtInFont);
    builtInFont = 0;
}

void FrontEndStartup(void)
{
    PlatHeadlessSetImageWriter(BmpWrite);
    PlatHeadlessSetPngWriter(PngWrite);
    PlatHeadlessSetDumpWriter(DumpWrite);
    PlatHeadlessSetOpenQuery(EditorHasOpen);
    TextInstall();
    FontInstall();
    PalMInstall(PAL_USER_COLOURS);
    builtInFont = FontCreateBuiltIn();
    RegisterExit(FreeBuiltInFont);
    TextSetFont(builtInFont);
    DrawSetInterfaceColours(252, 251, 253, 255, 250);
}

ResId FrontEndFont(void) { return builtInFont; }

static const AppFrontEnd kFrontEnd = {
    FrontEndStartup,
    {
        {LauncherStart, LauncherFrame, LauncherDisplay, LauncherStop},
        {EditorStart, EditorFrame, EditorDisplay, EditorStop},
    },
    EditorTakeFile,
};

void FrontEndRegister(void) { AppRegisterFrontEnd(&kFrontEnd); }
