// Entry, start-up settings, the run-state machine and the main loop. Managers are installed
// in a fixed order; each registers its own removal, so the shutdown needs no list of its own.
// What happens in the launcher and the editors comes from the front end's hooks.
#include "kernel/app.h"
#include "kernel/workpool.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kernel/kernel.h"
#include "kernel/log.h"
#include "kernel/res/res.h"
#include "kernel/timing.h"
#include "kernel/util/ini.h"
#include "kernel/util/str.h"
#include "kernel/version.h"
#include "platform/platform.h"

static struct {
    AppSettings settings;
    const AppFrontEnd* frontEnd;
    int runState;
    int stageStarted[STAGE_COUNT];
    int lockFd;
} app = {{}, nullptr, RUN_START_LAUNCHER, {}, -1};

const AppSettings* AppConfig(void) { return &app.settings; }
void AppSetEditorMode(int mode) { app.settings.editorMode = mode; }
void AppSetResolution(int resolution) { app.settings.resolution = resolution; }
void AppSetSoftwareRender(int on) { app.settings.softwareRender = on != 0; }

void AppResetSettings(void)
{
    app.settings = AppSettings{};
    app.settings.resolution = RESOLUTION_DEFAULT;
}

void AppRegisterFrontEnd(const AppFrontEnd* frontEnd) { app.frontEnd = frontEnd; }

// ============================================================================================
// Command line and the single-instance guard
// ============================================================================================

void AppParseCommandLine(const char* commandLine)
{
    // Word 0 is the program; a "/debug" in any letter case switches debugging on.
    for (int n = 1;; n++) {
        const char* word = StrCmdWord(n, commandLine);
        if (!*word) break;
        if (word[0] == '/' && StrICmp(word + 1, "debug") == 0) app.settings.debug = 1;
        if (StrICmp(word, "--debug") == 0) app.settings.debug = 1;
        if (StrICmp(word, "--renderer") == 0) {
            const char* name = StrCmdWord(n + 1, commandLine);
            if (StrICmp(name, "gl") == 0) app.settings.renderer = RENDERER_HARDWARE;
            else if (StrICmp(name, "software") == 0) app.settings.renderer = RENDERER_SOFTWARE;
        }
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
    fputs("usage: tolbex [/debug] [--renderer gl|software] [--headless] [--script FILE] [--log FILE]\n"
          "              [--max-frames N]\n"
          "       tolbex --help | --version\n"
          "  /debug, --debug   offer the software renderer in the launcher\n"
          "  --renderer NAME   gl: the OpenGL renderer or an error; software: the software\n"
          "                    Z-buffer (default: OpenGL when it can be had, else software)\n"
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
        else if (a == "--renderer") {
            std::string name = value("gl or software");
            if (name != "gl" && name != "software") {
                fprintf(stderr, "tolbex: --renderer takes gl or software, not %s\n", name.c_str());
                return 2;
            }
            // Handed on with the command line, which the settings are read from.
            commandLine += " \"--renderer\" \"" + name + "\"";
            continue;
        }
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

// The settings file is the user's: a value that cannot be read is told about and its default
// kept, and the program goes on.
static void SettingRefused(const char* text)
{
    LogPrintf(LOG_ERROR, "SETTINGS: %s", text);
    PlatMessageBox("Error", text, MB_OK | MB_ICONEXCLAMATION);
}

// "R,G,B", each a whole number from 0 to 255 (spaces around them allowed).
static int ReadColour(const char* text, int rgb[3])
{
    const char* s = text;
    for (int i = 0; i < 3; i++) {
        while (*s == ' ') s++;
        if (*s < '0' || *s > '9') return 0;
        long n = 0;
        while (*s >= '0' && *s <= '9' && n <= 255) n = n * 10 + (*s++ - '0');
        if (n > 255) return 0;
        rgb[i] = (int)n;
        while (*s == ' ') s++;
        if (i < 2 && *s++ != ',') return 0;
    }
    return *s == 0;
}

static void ReadSettingsFile(void)
{
    if (INIOpen("tolbex.ini", 50) != 0) return;   // no file: every default stands
    AppSettings& set = app.settings;
    const char* v;
    int32_t n;
    char text[200];
    if ((v = INIGet("secondres"))) StrLCopy(set.secondRes, v, sizeof set.secondRes);
    if ((v = INIGet("thirdres"))) StrLCopy(set.thirdRes, v, sizeof set.thirdRes);
    if ((v = INIGet("palsupport"))) {
        if (StrToDec(v, &n) != 0) {
            snprintf(text, sizeof text, "tolbex.ini: use palsupport=0 or palsupport=1, not \"%.40s\"; palette support stays %s.",
                     v, set.palSupport ? "on" : "off");
            SettingRefused(text);
        } else {
            set.palSupport = n != 0;
        }
    }
    if ((v = INIGet("polylightmode"))) {
        if (StrToDec(v, &n) != 0 || (n != 0 && n != 1)) {
            snprintf(text, sizeof text, "tolbex.ini: PolyLightMode must be 0 or 1, not \"%.40s\"; %d is used.", v,
                     set.polyLightMode);
            SettingRefused(text);
        } else {
            set.polyLightMode = n;
        }
    }
    if ((v = INIGet("scale"))) {
        if (StrToDec(v, &n) != 0) {
            snprintf(text, sizeof text, "tolbex.ini: unable to read scale from \"%.40s\"; %u is used.", v, set.scale);
            SettingRefused(text);
        } else {
            set.scale = (uint32_t)n;
        }
    }
    if ((v = INIGet("dummycolour"))) {
        int rgb[3];
        if (!ReadColour(v, rgb)) {
            snprintf(text, sizeof text, "tolbex.ini: dummycolour is R,G,B with 0 to 255 each, not \"%.40s\"; %d,%d,%d is used.",
                     v, set.dummyColour[0], set.dummyColour[1], set.dummyColour[2]);
            SettingRefused(text);
        } else {
            memcpy(set.dummyColour, rgb, sizeof rgb);
        }
    }
    if ((v = INIGet("threads"))) {
        if (StrToDec(v, &n) != 0 || n < 0 || n > WORKPOOL_MAX_THREADS) {
            snprintf(text, sizeof text,
                     "tolbex.ini: threads must be 0 (one a core) to %d, not \"%.40s\"; one a core is used.",
                     (int)WORKPOOL_MAX_THREADS, v);
            SettingRefused(text);
            set.threads = 0;
        } else {
            set.threads = n;
        }
    }
    INIClose(nullptr);
}

// A resource file named by the settings that cannot be opened is left out: what it would have
// supplied is then looked for as loose files.
static void AddSettingsResourceFile(const char* key, const char* fileName)
{
    if (!fileName[0] || ResAddFile(fileName) == 0) return;
    char text[200];
    snprintf(text, sizeof text, "Can't open secondary resource file %.80s (tolbex.ini %s); going on without it.",
             fileName, key);
    SettingRefused(text);
}

void AppStartupSettings(void)
{
    ResInstall(5000);
    app.settings.resolution = RESOLUTION_DEFAULT;
    app.settings.palSupport = 0;
    ReadSettingsFile();
    AddSettingsResourceFile("secondres", app.settings.secondRes);
    AddSettingsResourceFile("thirdres", app.settings.thirdRes);

    SpriteInstall();
    VideoInstall();
    InputInstall();
    TimerInstall();
    TimingInstall();
    if (app.frontEnd && app.frontEnd->startup) app.frontEnd->startup();
    InputReleaseDevices();
    app.runState = RUN_START_LAUNCHER;
    for (int& started : app.stageStarted) started = 0;
}

// ============================================================================================
// The loop
// ============================================================================================

int AppRunState(void) { return app.runState; }
void AppSetRunState(int state) { app.runState = state; }

static const AppStageHooks* Stage(int stage)
{
    return app.frontEnd ? &app.frontEnd->stages[stage] : nullptr;
}

static void StageStart(int stage)
{
    const AppStageHooks* h = Stage(stage);
    app.stageStarted[stage] = 1;
    if (h && h->start) h->start();
}

static void StageStop(int stage)
{
    const AppStageHooks* h = Stage(stage);
    if (!app.stageStarted[stage]) return;
    app.stageStarted[stage] = 0;
    if (h && h->stop) h->stop();
}

static int StageFrame(int stage)
{
    const AppStageHooks* h = Stage(stage);
    return h && h->frame ? h->frame() : STEP_STAY;
}

void AppFrameDisplay(void)
{
    int stage = app.runState == RUN_LAUNCHER ? STAGE_LAUNCHER : app.runState == RUN_EDITOR ? STAGE_EDITOR : -1;
    if (stage < 0) return;
    const AppStageHooks* h = Stage(stage);
    if (h && h->display) h->display();
}

int AppRunStateStep(void)
{
    switch (app.runState) {
    case RUN_START_LAUNCHER:
        StageStart(STAGE_LAUNCHER);
        app.runState = RUN_LAUNCHER;
        return 0;
    case RUN_LAUNCHER: {
        int step = StageFrame(STAGE_LAUNCHER);
        if (step == STEP_QUIT) return 1;
        if (step == STEP_NEXT) app.runState = RUN_CLOSE_LAUNCHER;
        return 0;
    }
    case RUN_CLOSE_LAUNCHER:
        StageStop(STAGE_LAUNCHER);
        app.runState = RUN_START_EDITOR;
        return 0;
    case RUN_START_EDITOR:
        StageStart(STAGE_EDITOR);
        app.runState = RUN_EDITOR;
        return 0;
    case RUN_EDITOR: return StageFrame(STAGE_EDITOR) == STEP_QUIT;
    default: return 0;
    }
}

void AppEndOfFrame(void) { VideoRunDeferred(); }

int AppLoopTurn(void)
{
    KernelDrainMessages();
    // A close the user confirmed in this drain ends the turn here: no frame is drawn for a
    // window that is about to go.
    if (KernelQuit()) return 1;
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
    // The window goes first, at once: what is left to do (the editor's recovery files, an
    // autosave still being written, the managers' removal) happens without the user waiting
    // in front of a window that no longer answers, and is all done before the process ends.
    KernelHideWindow();
    AppEndOfFrame();
    StageStop(STAGE_EDITOR);
    StageStop(STAGE_LAUNCHER);
    KernelRemove();
}
