// Entry, start-up, the run-state machine and the main loop. Managers are installed here in
// a fixed order; each registers its own removal, so the shutdown needs no list of its own.
#include "kernel/app.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "kernel/kernel.h"
#include "kernel/log.h"
#include "kernel/res/res.h"
#include "kernel/timing.h"
#include "kernel/util/ini.h"
#include "kernel/util/maths.h"
#include "kernel/util/str.h"
#include "kernel/version.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "palette/bmp.h"
#include "palette/palm.h"
#include "platform/platform.h"
#include "render/draw3d.h"
#include "render/zbuffer.h"
#include "shapes/shapem.h"
#include "shapes/shapem_draw.h"
#include "shapes/shapem_edit.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/slots.h"
#include "toolkit/text.h"
#include "toolkit/win.h"

AppSettings gApp;

static struct {
    int runState;
    int requests[REQUEST_COUNT];
    uint32_t progress;
    ResId font;
    int lockFd;
    SlotId objectSlot;
} app = {RUN_START_LAUNCHER, {}, 0, 0, -1, 0};

// ============================================================================================
// Command line and the single-instance guard
// ============================================================================================

void AppParseCommandLine(const char* commandLine)
{
    // Word 0 is the program; a "/debug" in any letter case switches debugging on.
    for (int n = 1;; n++) {
        const char* word = StrCmdWord(n, commandLine);
        if (!*word) break;
        if (word[0] == '/' && StrICmp(word + 1, "debug") == 0) gApp.debug = 1;
        if (StrICmp(word, "--debug") == 0) gApp.debug = 1;
    }
}

// 0: this is the only copy (or no lock can be made at all); 1: another copy holds the lock.
// The lock file's name is left in `path` for the message.
static int TakeInstanceLock(std::string& path)
{
    const char* dir = getenv("TOLBEX_LOCK_DIR");
    if (!dir || !*dir) dir = getenv("XDG_RUNTIME_DIR");
    if (!dir || !*dir) dir = "/tmp";
    path = std::string(dir) + "/Vostrane-Tolbex.lock";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Refusing to start would keep the user from their work over a folder's permissions.
        LogPrintf(LOG_WARN, "LOCK: cannot make %s (%s); running without the single-copy guard", path.c_str(),
                  strerror(errno));
        return 0;
    }
    for (int waited = 0; waited <= 10; waited++) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            app.lockFd = fd;
            return 0;
        }
        usleep(1000);
    }
    close(fd);
    return 1;
}

static void ReleaseInstanceLock(void)
{
    if (app.lockFd < 0) return;
    flock(app.lockFd, LOCK_UN);
    close(app.lockFd);
    app.lockFd = -1;
}

static void Usage(FILE* f)
{
    fputs("usage: tolbex [/debug] [--headless] [--script FILE] [--log FILE] [--max-frames N]\n"
          "       tolbex --help | --version\n"
          "  /debug, --debug   offer the software renderer in the launcher\n"
          "  --headless        run without a display (also TOLBEX_HEADLESS=1)\n"
          "  --script FILE     headless input: one command a line (see README)\n"
          "  --log FILE        developer log to FILE instead of stderr (also TOLBEX_LOG)\n"
          "  --max-frames N    end a headless run after N main-loop turns (exit code 3)\n"
          "exit codes: 0 done, 1 fatal error or no display, 2 usage or bad script line,\n"
          "  3 --max-frames reached, 4 a script command failed, 5 another copy holds the lock\n"
          "  (scripted runs only; otherwise a second copy ends with 0)\n",
          f);
}

int AppMain(int argc, char** argv)
{
    PlatOptions options{};
    const char* logFile = getenv("TOLBEX_LOG");
    const char* env = getenv("TOLBEX_HEADLESS");
    if (env && *env && strcmp(env, "0") != 0) options.headless = 1;
    std::string commandLine = "\"";
    commandLine += argc > 0 ? argv[0] : "tolbex";
    commandLine += "\"";
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                fprintf(stderr, "tolbex: %s needs %s\n", a.c_str(), what);
                exit(2);
            }
            return argv[++i];
        };
        if (a == "--headless") options.headless = 1;
        else if (a == "--script") options.script = value("a file name");
        else if (a == "--log") logFile = value("a file name");
        else if (a == "--max-frames") {
            const char* v = value("a number");
            int32_t n = 0;
            if (StrToDec(v, &n) != 0 || n <= 0) {
                fprintf(stderr, "tolbex: --max-frames needs a positive number\n");
                return 2;
            }
            options.maxFrames = n;
        } else if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (a == "--version") {
            printf("tolbex %s\n", TOLBEX_VERSION);
            return 0;
        } else if (a.size() > 2 && a[0] == '-' && a[1] == '-' && a != "--debug") {
            fprintf(stderr, "tolbex: unknown option %s\n", a.c_str());
            Usage(stderr);
            return 2;
        }
        commandLine += " \"";
        commandLine += a;
        commandLine += "\"";
    }
    if (options.script && !options.headless) {
        fprintf(stderr, "tolbex: --script needs --headless\n");
        return 2;
    }
    if (logFile && *logFile && LogOpen(logFile) != 0) fprintf(stderr, "tolbex: cannot write the log %s\n", logFile);

    int status = PlatSelect(&options);
    if (status != 0) return status;

    std::string lockPath;
    if (TakeInstanceLock(lockPath) != 0) {
        // The first copy is the one the user sees; a scripted run must not pass as if it ran.
        fprintf(stderr, "Tolbex is already running (lock %s).\n", lockPath.c_str());
        PlatShutdown();
        return options.script ? EXIT_ALREADY_RUNNING : 0;
    }
    if (!KernelInstall("VOSTRANE", nullptr, "Tolbex")) {
        ReleaseInstanceLock();
        PlatShutdown();
        return 1;
    }
    AppParseCommandLine(commandLine.c_str());
    AppStartupSettings();
    while (!AppLoopTurn()) {
    }
    AppShutdown();
    ReleaseInstanceLock();
    PlatShutdown();
    LogClose();
    return KernelExitCode();
}

// ============================================================================================
// Start-up
// ============================================================================================

static void ReadSettingsFile(void)
{
    if (INIOpen("tolbex.ini", 50) != 0) return;   // no file: every default stands
    const char* v;
    int32_t n;
    if ((v = INIGet("secondres"))) StrLCopy(gApp.secondRes, v, sizeof gApp.secondRes);
    if ((v = INIGet("thirdres"))) StrLCopy(gApp.thirdRes, v, sizeof gApp.thirdRes);
    if ((v = INIGet("palsupport"))) {
        if (StrToDec(v, &n) != 0) FatalError("use palsupport=0 or palsupport=1");
        gApp.palSupport = n != 0;
    }
    if ((v = INIGet("polylightmode"))) {
        if (StrToDec(v, &n) != 0 || (n != 0 && n != 1)) FatalError("ERROR: PolyLightMode in INI file must be 0 or 1!");
        gApp.polyLightMode = n;
    }
    if ((v = INIGet("scale"))) {
        if (StrToDec(v, &n) != 0) FatalError("ERROR: Unable to read scale from INI file.");
        gApp.scale = (uint32_t)n;
    }
    INIClose(nullptr);
}

void AppStartupSettings(void)
{
    ResInstall(5000);
    gApp.resolution = RESOLUTION_800;
    gApp.palSupport = 0;
    ReadSettingsFile();
    if (gApp.secondRes[0] && ResAddFile(gApp.secondRes) != 0) FatalError("ERROR: Can't open secondary resource file.");
    if (gApp.thirdRes[0] && ResAddFile(gApp.thirdRes) != 0) FatalError("ERROR: Can't open secondary resource file.");

    SpriteInstall();
    VideoInstall(0);
    InputInstall(nullptr, 0);
    TimerInstall();
    TimingInstall();
    MathsSetup();
    TextInstall();
    FontInstall();
    PalMInstall(PAL_USER_COLOURS);

    app.font = FontCreateBuiltIn();
    TextSetFont(app.font);
    DrawSetInterfaceColours(252, 251, 253, 255, 250);
    InputReleaseDevices();
    app.runState = RUN_START_LAUNCHER;
}

// ============================================================================================
// The loop
// ============================================================================================

int AppRunState(void) { return app.runState; }
void AppSetRunState(int state) { app.runState = state; }

static void RedrawFrame(void)
{
    if (VideoBeginUpdate(1)) {
        WinDrawAll();
        VideoEndUpdate();
    }
}

// Textures are loaded for the first editor frame, and again whenever the materials changed.
static void ReloadTextures(void)
{
    if (Draw3DTexturesLoaded() && !gApp.materialsReloadPending && !MatMTexturesDirty()) return;
    gApp.materialsReloadPending = 0;
    MatMClearTexturesDirty();
    if (Draw3DTexturesLoaded()) Draw3DUnloadTextures();
    // Only a hardware renderer copies textures into texture memory, with a progress window.
    Draw3DLoadTextures(Draw3DCurrentDriver() == DRIVER_DIRECT3D ? ProgressTextures : nullptr);
}

void AppFrameDisplay(void)
{
    switch (app.runState) {
    case RUN_LAUNCHER: RedrawFrame(); break;
    case RUN_EDITOR:
        ReloadTextures();
        if (VideoBeginUpdate(1)) {
            WinDrawAll();
            // This frame's pointer and hover results become the previous frame's for the view
            // windows here.
            VideoEndUpdate();
        }
        break;
    default: break;
    }
}

// The palette and material files the settings name, read again when an editor starts.
static void ReadEditorFiles(void)
{
    if (INIOpen("tolbex.ini", 50) != 0) return;
    const char* v;
    if ((v = INIGet("palette"))) {
        if (PalMLoad(v) != 0)
            LogPrintf(LOG_WARN, "PALETTE: %s could not be loaded", v);
        else if (gApp.palSupport)
            PalMApply();
    }
    if ((v = INIGet("materials"))) {
        gApp.materialsReloadPending = 1;
        if (MatMLoad(v) != 0) LogPrintf(LOG_WARN, "MATERIALS: %s could not be loaded", v);
    }
    INIClose(nullptr);
}

static int ObjectEvent(SlotId, int, SlotsParam*, SlotsParam*) { return 0; }

// The views are drawn by the software Z-buffer. There is no hardware back end on this
// platform: a hardware choice is drawn by the same software driver, without the warning that
// the user asked for it.
static void SelectRenderer(void)
{
    if (ZBufferInstall(ZBUFFER_DEFAULT_BYTES) != 0)
        FatalError("ZBufferInstall failed - out of memory for requested buffer.");
    Draw3DRegisterDriver(DRIVER_PLACEHOLDER, ZBufferPlaceholderDriver());
    Draw3DRegisterDriver(DRIVER_SOFTWARE, ZBufferDriver());
    Draw3DSelectDriver(DRIVER_SOFTWARE);
    if (gApp.softwareRender)
        PlatMessageBox("Warning!", "Using Software Renderer", MB_OK | MB_ICONEXCLAMATION);
    else
        LogPrintf(LOG_INFO, "RENDER: no hardware renderer on this platform; the software Z-buffer draws the views");
}

static void SetEditorVideoMode(void)
{
    static const int sizes[3][2] = {{320, 200}, {640, 400}, {800, 600}};
    if (gApp.resolution < 0 || gApp.resolution > 2) FatalError("Invalid display mode.");
    int w = sizes[gApp.resolution][0], h = sizes[gApp.resolution][1];
    int type = gApp.softwareRender ? VIDEO_WINDOWED_DEBUG : VIDEO_WINDOWED_D3D;
    if (VideoSetMode(w, h, VIDEO_32BIT, type, 0, 0) == 0) return;
    if (VideoSetMode(w, h, VIDEO_24BIT, type, 0, 0) == 0) return;
    if (VideoSetMode(w, h, VIDEO_16BIT, type, 0, 0) == 0) return;
    FatalError("Unable to set video mode.");
}

static void EditorStart(void)
{
    KernelSetConfirmClose(1);
    VideoRemove();
    VideoInstall(0);
    SetEditorVideoMode();
    VideoLoadInterfacePalette();
    WinInstall();
    if (Draw3DInstall(4000, 8000, 2000) != 0) FatalError("Not enough memory for Draw3DInstall.");
    Draw3DSetup(VideoModeWidth(), VideoModeHeight(), 0x101, 976000, D3SORT_NONE);
    MatMInstall();
    if (!gApp.palSupport) MatMSetTrueColour();
    ReadEditorFiles();

    for (int i = 0; i < 2; i++) {
        if (VideoBeginUpdate(1)) VideoEndUpdate();
    }
    SlotsInstall(4);
    ShapeMResourceInstall();
    ShapeMInstall();
    ShapeMSetUndo(1);
    {
        static const int display[5] = {0, 254, 249, 248, 250};
        ShapeMSetDisplay(display);
    }
    // The world manager (World Editor) joins here.

    for (int i = 0; i < 2; i++) {
        if (!VideoBeginUpdate(1)) FatalError("Failed to set required screen mode");
        VideoClear(0);
        VideoEndUpdate();
    }
    SelectRenderer();

    // The slot that carries the edited object: at the origin, answering every event with 0,
    // drawing the shape manager's current shape.
    static const int16_t identity[9] = {16384, 0, 0, 0, 16384, 0, 0, 0, 16384};
    app.objectSlot = SlotsCreate(0, 0, 0, identity);
    SlotsSetEventFn(app.objectSlot, ObjectEvent);
    SlotsSetDrawFn(app.objectSlot, ShapeMDrawSlot);
    SlotsSetShape(app.objectSlot, -1);
    Draw3DDefaults();

    WinRegisterBaseClasses();
    ButtonRegisterClass();
    // The message box class joins here.
    EditRegisterClass();
    SliderRegisterClass();
    ListRegisterClass();
    // The progress window, the menu bars and the editor panels' classes join here.

    if (gApp.editorMode != EDITOR_SHAPE && gApp.editorMode != EDITOR_WORLD) FatalError("Invalid startup mode.");
    // The view window and the menu bar of the chosen editor are created here.
    TimingReset();
}

static void RunRequests(void)
{
    for (int r = 0; r < REQUEST_COUNT; r++) {
        if (!app.requests[r]) continue;
        app.requests[r] = 0;
        if (r == REQUEST_RESERVED) continue;
        RedrawFrame();
        // Sorting, deleting net shapes, building the monorail and saving the runtime world
        // run here under their progress windows as the shape and world managers land.
    }
}

static void EditorFrame(void)
{
    TimingUpdate();
    if (KeyHeld(KEY_LMENU) && KeyPressed(KEY_G)) AppGrabScreen(nullptr, 0);
    RunRequests();
    WinProcessInput();
    SlotsFrame(TimingElapsed(), TimingFrameTime());
    // This frame's pointer and hover results are cleared here.
}

int AppRunStateStep(void)
{
    switch (app.runState) {
    case RUN_START_LAUNCHER:
        if (VideoSetMode(320, 200, VIDEO_16BIT, VIDEO_WINDOWED_DEBUG, 0, 0) != 0)
            FatalError("Sorry - Tolbex only works on a 16 bit colour desktop");
        WinInstall();
        VideoLoadInterfacePalette();
        WinRegisterBaseClasses();
        ButtonRegisterClass();
        LauncherRegisterClass();
        WinCreate(50, 50, 220, 95, WIN_DESKTOP, FRAME_BORDER | FRAME_TITLE | FRAME_DRAG, CLASS_LAUNCHER);
        TimingReset();
        app.runState = RUN_LAUNCHER;
        return 0;
    case RUN_LAUNCHER:
        if (gApp.editorMode != EDITOR_NONE) app.runState = RUN_CLOSE_LAUNCHER;
        TimingUpdate();
        if (KeyPressed(KEY_Q)) return 1;
        WinProcessInput();
        return 0;
    case RUN_CLOSE_LAUNCHER:
        WinRemove();
        app.runState = RUN_START_EDITOR;
        return 0;
    case RUN_START_EDITOR:
        EditorStart();
        app.runState = RUN_EDITOR;
        return 0;
    case RUN_EDITOR:
        EditorFrame();
        return 0;
    default: return 0;
    }
}

void AppEndOfFrame(void) { VideoRunDeferred(); }

int AppLoopTurn(void)
{
    KernelDrainMessages();
    AppFrameDisplay();
    if (KernelQuit()) return 1;
    if (AppRunStateStep()) {
        KernelSetQuit(1);
        return 1;
    }
    if (KernelQuit()) return 1;
    AppEndOfFrame();
    return 0;
}

void AppShutdown(void)
{
    AppEndOfFrame();
    if (app.font) {
        ResFreeAlways(app.font);
        app.font = 0;
    }
    KernelRemove();
}

// ============================================================================================
// Deferred requests and progress
// ============================================================================================

void AppRequest(int request)
{
    if (request >= 0 && request < REQUEST_COUNT) app.requests[request] = 1;
}

int AppRequestPending(int request) { return request >= 0 && request < REQUEST_COUNT && app.requests[request]; }

uint32_t AppProgress(void) { return app.progress; }
void AppSetProgress(uint32_t value) { app.progress = value; }

void AppMiniFrame(int redraw)
{
    TimingUpdate();
    WinProcessInput();
    // Slots exist only once an editor has started.
    if (SlotsIsInstalled()) SlotsFrame(TimingElapsed(), TimingFrameTime());
    if (VideoBeginUpdate(1)) {
        // Only the modal tree (the progress window) needs drawing while the work runs.
        if (redraw) WinDrawModal();
        VideoEndUpdate();
    }
}

int ProgressTextures(uint32_t value)
{
    app.progress = value >= 0x3FFF ? (uint32_t)PROGRESS_DONE : value;
    AppMiniFrame(1);
    return 0;
}

static int ProgressStep(uint32_t value)
{
    if (app.progress == PROGRESS_CANCEL) return 1;
    app.progress = value;
    AppMiniFrame(1);
    return 0;
}

int ProgressSort(uint32_t value) { return ProgressStep(value); }
int ProgressWorld(uint32_t value) { return ProgressStep(value); }
int ProgressSpare(uint32_t value) { return ProgressStep(value); }

// ============================================================================================
// Screen grab
// ============================================================================================

int AppGrabNextName(char* name)
{
    for (int i = StrLen(name) - 1; i >= 0; i--) {
        if (name[i] < '0' || name[i] > '9') continue;
        if (name[i] != '9') {
            name[i]++;
            return 0;
        }
        name[i] = '0';
    }
    return 1;
}

int AppGrabScreen(char* nameOut, int nameSize)
{
    int w, h;
    VideoExtent(&w, &h);
    if (w <= 0 || h <= 0) return 1;
    char name[16];
    StrCopy(name, "grab0000.bmp");
    while (FileExists(name)) {
        if (AppGrabNextName(name)) {
            // Every name is taken: grabbing now would overwrite grab0000.bmp.
            LogPrintf(LOG_WARN, "GRAB: grab0000.bmp to grab9999.bmp all exist; the screen was not grabbed");
            return 1;
        }
    }
    uint8_t* rgb = (uint8_t*)ResAllocMem((size_t)w * h * 3);
    if (!rgb) {
        LogPrintf(LOG_WARN, "GRAB: no memory for a %dx%d picture", w, h);
        return 1;
    }
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint8_t* p = rgb + ((size_t)y * w + x) * 3;
            VideoReadPixel(x, y, &p[0], &p[1], &p[2]);
        }
    int result = BmpWrite(name, rgb, w, h);
    ResFreeMem(rgb);
    if (result != 0) {
        LogPrintf(LOG_WARN, "GRAB: %s could not be written", name);
        return 1;
    }
    LogPrintf(LOG_INFO, "GRAB: wrote %s", name);
    if (nameOut && nameSize > 0) StrLCopy(nameOut, name, (size_t)nameSize);
    return 0;
}
