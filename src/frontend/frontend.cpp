#include "frontend/frontend.h"

#include "frontend/dump.h"
#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/launcher.h"
#include "kernel/app.h"
#include "kernel/kernel.h"
#include "palette/bmp.h"
#include "palette/palm.h"
#include "palette/png.h"
#include "platform/platform.h"
#include "platform/screen.h"
#include "toolkit/win.h"
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

// ============================================================================================
// No work while idle: a frame is drawn only when something on the screen may have changed
// ============================================================================================


static struct {
    uint32_t signature;
    int extra;
    int drew;
} idle;

static uint32_t Mix(uint32_t h, uint32_t v) { return (h ^ v) * 16777619u; }

// What may change on the screen with nobody touching it: the caret's blink in a field with
// the focus, a note that comes and goes (the autosave's among them), a window that opens by
// itself, the file in the editor, a request waiting, the screen's size and scale.
static uint32_t Signature(void)
{
    uint32_t h = 2166136261u;
    h = Mix(h, (uint32_t)AppRunState());
    h = Mix(h, (uint32_t)VideoModeWidth());
    h = Mix(h, (uint32_t)VideoModeHeight());
    h = Mix(h, (uint32_t)ScreenUiScale());
    if (!WinIsInstalled()) return h;
    WinId focus = WinFocus();
    h = Mix(h, focus);
    h = Mix(h, WinModal());
    h = Mix(h, WinGetChild(WinDesktop(), 0));
    if (focus && WinIsWindow(focus) && WinGetClass(focus) == CLASS_EDIT) h = Mix(h, (uint32_t)TimerBlink());
    if (AppRunState() != RUN_EDITOR) return h;
    h = Mix(h, EditCurrentNote()[0] != 0);
    for (const char* p = EditorFileName(); *p; p++) h = Mix(h, (uint8_t)*p);
    for (int r = 0; r < REQUEST_COUNT; r++) h = Mix(h, (uint32_t)EditorRequestPending(r));
    return h;
}

int FrontEndDrawDecision(int activity, int keyHeld, uint32_t signature)
{
    int changed = activity || keyHeld || signature != idle.signature;
    idle.signature = signature;
    if (changed) idle.extra = FRAMES_AFTER_CHANGE;
    else if (idle.extra > 0) idle.extra--;
    else return idle.drew = 0;
    return idle.drew = 1;
}

int FrontEndFrameWanted(void)
{
    // A scripted turn always draws: scripts and dumps read what the frame shows.
    if (PlatIsHeadless()) return idle.drew = 1;
    // Both are taken every turn: the activity flag once, the held keys polled.
    int activity = PlatTakeActivity();
    int held = KeyAnyHeld();
    return FrontEndDrawDecision(activity, held, Signature());
}

static void DisplayLauncher(void)
{
    if (FrontEndFrameWanted()) LauncherDisplay();
}

static void DisplayEditor(void)
{
    if (FrontEndFrameWanted()) EditorDisplay();
}

static int IdleMs(void) { return PlatIsHeadless() || idle.drew ? 0 : IDLE_WAKE_MS; }

static const AppFrontEnd kFrontEnd = {
    FrontEndStartup,
    {
        {LauncherStart, LauncherFrame, DisplayLauncher, LauncherStop},
        {EditorStart, EditorFrame, DisplayEditor, EditorStop},
    },
    EditorTakeFile,
    IdleMs,
};

void FrontEndRegister(void) { AppRegisterFrontEnd(&kFrontEnd); }
