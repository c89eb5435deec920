// Entry, start-up settings, the run-state machine and the main loop. Managers are installed
// in a fixed order; each registers its own removal, so the shutdown needs no list of its own.
// What happens in the launcher and the editors comes from the front end's hooks.
#include "base/workpool.h"
#include "kernel/app.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/ini.h"
#include "base/log.h"
#include "base/res.h"
#include "base/str.h"
#include "kernel/kernel.h"
#include "kernel/timing.h"
#include "kernel/version.h"
#include "platform/platform.h"
#include "platform/screen.h"

static struct {
    AppSettings settings;
    const AppFrontEnd* frontEnd;
    int runState;
    int stageStarted[STAGE_COUNT];
    int lockFd;
    int skipLauncher;        // a file named at start-up chose the editor
    // --screen and --uiscale: they hold over the settings file. -1 = not given.
    int cliResolution, cliWidth, cliHeight, cliScale;
} app = {{}, nullptr, RUN_START_LAUNCHER, {}, -1, 0, -1, 0, 0, -1};

const AppSettings* AppConfig(void) { return &app.settings; }
void AppSetEditorMode(int mode) { app.settings.editorMode = mode; }
void AppSetResolution(int resolution) { app.settings.resolution = resolution; }
void AppSetSoftwareRender(int on) { app.settings.softwareRender = on != 0; }

void AppResetSettings(void)
{
    app.settings = AppSettings{};
    app.settings.resolution = RESOLUTION_DEFAULT;
    app.cliResolution = app.cliScale = -1;
    app.cliWidth = app.cliHeight = 0;
}

int AppParseScreen(const char* text, int allowSize, int* resolution, int* width, int* height)
{
    *width = *height = 0;
    if (!text) return 1;
    if (StrICmp(text, "640x400") == 0) *resolution = RESOLUTION_640;
    else if (StrICmp(text, "800x600") == 0) *resolution = RESOLUTION_800;
    else if (StrICmp(text, "window") == 0) *resolution = RESOLUTION_WINDOW;
    else if (allowSize && ScreenParseSize(text, width, height) == 0 && *width >= SCREEN_MIN_WIDTH &&
             *height >= SCREEN_MIN_HEIGHT && *width <= SCREEN_MAX_SIDE && *height <= SCREEN_MAX_SIDE)
        *resolution = RESOLUTION_WINDOW;
    else {
        *width = *height = 0;
        return 1;
    }
    return 0;
}

int AppParseScreenOptions(int argc, char** argv, char* why, size_t whySize)
{
    for (int i = 1; i < argc; i++) {
        int isScreen = !strcmp(argv[i], "--screen"), isScale = !strcmp(argv[i], "--uiscale");
        if (!isScreen && !isScale) continue;
        if (i + 1 >= argc) {
            snprintf(why, whySize, "%s needs %s", argv[i], isScreen ? "640x400, 800x600, window or WxH" : "1 to 4");
            return 1;
        }
        const char* v = argv[++i];
        if (isScreen) {
            int r, w, h;
            if (AppParseScreen(v, 1, &r, &w, &h) != 0) {
                snprintf(why, whySize,
                         "--screen takes 640x400, 800x600, window or WxH (at least %dx%d, at most %dx%d), not %.40s",
                         (int)SCREEN_MIN_WIDTH, (int)SCREEN_MIN_HEIGHT, (int)SCREEN_MAX_SIDE, (int)SCREEN_MAX_SIDE, v);
                return 1;
            }
            app.cliResolution = r;
            app.cliWidth = w;
            app.cliHeight = h;
        } else {
            int n;
            if (ScreenParseScale(v, &n) != 0) {
                snprintf(why, whySize, "--uiscale takes a whole number from %d to %d, not %.40s", (int)SCREEN_SCALE_MIN,
                         (int)SCREEN_SCALE_MAX, v);
                return 1;
            }
            app.cliScale = n;
        }
    }
    return 0;
}

// The command line holds over the settings file; an automatic scale comes from the desktop.
static void ChooseScreen(void)
{
    AppSettings& set = app.settings;
    if (app.cliResolution >= 0) {
        set.resolution = app.cliResolution;
        set.screenWidth = app.cliWidth;
        set.screenHeight = app.cliHeight;
    }
    if (app.cliScale > 0) set.uiScale = app.cliScale;
    int scale = set.uiScale;
    if (scale <= 0) {
        scale = ScreenAutoScale(getenv("GDK_SCALE"), getenv("QT_SCALE_FACTOR"), PlatDisplayDpi());
        LogPrintf(LOG_INFO, "SCREEN: UI scale %d, chosen from the desktop", scale);
    }
    ScreenSetUiScale(scale);
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

static std::string lockPath, handoffPath;

const char* AppLockPath(void) { return lockPath.c_str(); }
const char* AppHandoffPath(void) { return handoffPath.c_str(); }

static void ChooseLockPaths(void)
{
    const char* dir = getenv("TOLBEX_LOCK_DIR");
    if (!dir || !*dir) dir = getenv("XDG_RUNTIME_DIR");
    if (!dir || !*dir) dir = "/tmp";
    lockPath = std::string(dir) + "/Vostrane-Tolbex.lock";
    handoffPath = std::string(dir) + "/Vostrane-Tolbex.sock";
}

// 0: this is the only copy (or no lock can be made at all); 1: another copy holds the lock.
static int TakeInstanceLock(void)
{
    ChooseLockPaths();
    const std::string& path = lockPath;
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
            HandoffListen(handoffPath.c_str());
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
    HandoffClose();
    flock(app.lockFd, LOCK_UN);
    close(app.lockFd);
    app.lockFd = -1;
}

// The command line's options: --help and the manual page are both written from this table.
struct ProgramOption {
    const char* name;
    const char* value;   // "" for a switch
    const char* help;
};
static const ProgramOption kOptions[] = {
    {"/debug, --debug", "", "offer the software renderer in the launcher"},
    {"--renderer", "NAME",
     "gl: the OpenGL renderer or an error; software: the software Z-buffer (default: OpenGL when it can be "
     "had, else software)"},
    {"--headless", "", "run without a display (also TOLBEX_HEADLESS=1)"},
    {"--script", "FILE", "headless input: one command a line (see the README)"},
    {"--log", "FILE", "developer log to FILE instead of stderr (also TOLBEX_LOG)"},
    {"--max-frames", "N", "end a headless run after N main-loop turns (exit code 3)"},
    {"--screen", "SIZE",
     "640x400, 800x600 or window: the screen the launcher preselects; WxH (at least 800x600): a fixed logical "
     "screen of that size in the Window screen (default: tolbex.ini's screen, else 800x600)"},
    {"--uiscale", "N", "draw each logical pixel as N x N screen pixels, 1 to 4 (default: tolbex.ini's uiscale, "
                       "else from GDK_SCALE, QT_SCALE_FACTOR or the display's density)"},
    {"--man-page", "", "print this program's manual page (roff) and exit"},
    {"--help", "", "print this help and exit"},
    {"--version", "", "print the version and exit"},
};
static const char kSynopsis[] = "[/debug] [--renderer gl|software] [--headless] [--script FILE] [--log FILE] "
                                "[--max-frames N] [--screen SIZE] [--uiscale N] [FILE]";
static const char kFileHelp[] =
    "a shape (SHP) or world (WLE) file to open in its editor, without the launcher; when Tolbex runs "
    "already, the running copy opens it and comes to the front, and this start ends";
static const struct {
    int code;
    const char* meaning;
} kExitCodes[] = {
    {0, "done; also a second start whose file the running copy took"},
    {1, "a fatal error, no display, or a file the running copy could not take"},
    {2, "a usage error or a bad script line"},
    {3, "--max-frames reached"},
    {4, "a script command failed"},
    {5, "another copy holds the lock (scripted runs without a file only; otherwise a second start ends with 0)"},
};

// Text wrapped at `width` columns, each line after the first indented by `indent`.
static void PrintWrapped(FILE* f, const char* text, int indent, int column, int width)
{
    while (*text) {
        int room = width - column, n = 0, cut = 0;
        for (; text[n] && n <= room; n++)
            if (text[n] == ' ') cut = n;
        if (!text[n]) cut = n;
        if (!cut) cut = n;
        fprintf(f, "%.*s\n", cut, text);
        text += cut;
        while (*text == ' ') text++;
        if (*text) fprintf(f, "%*s", indent, "");
        column = indent;
    }
}

static void Usage(FILE* f)
{
    fprintf(f, "usage: tolbex %s\n       tolbex --help | --version | --man-page\n", kSynopsis);
    enum { HELP_COLUMN = 20, LINE_WIDTH = 96 };
    for (const ProgramOption& o : kOptions) {
        char head[64];
        snprintf(head, sizeof head, "  %s%s%s", o.name, o.value[0] ? " " : "", o.value);
        fprintf(f, "%-*s", HELP_COLUMN, head);
        if ((int)strlen(head) >= HELP_COLUMN) fprintf(f, "\n%*s", HELP_COLUMN, "");
        PrintWrapped(f, o.help, HELP_COLUMN, HELP_COLUMN, LINE_WIDTH);
    }
    fprintf(f, "%-*s", HELP_COLUMN, "  FILE");
    PrintWrapped(f, kFileHelp, HELP_COLUMN, HELP_COLUMN, LINE_WIDTH);
    fputs("exit codes:\n", f);
    for (const auto& e : kExitCodes) {
        fprintf(f, "  %d  ", e.code);
        PrintWrapped(f, e.meaning, 5, 5, LINE_WIDTH);
    }
}

// Roff escapes: a backslash and the dash of an option, and a line's leading dot or quote.
static std::string Roff(const char* text)
{
    std::string out;
    for (const char* p = text; *p; p++) {
        if (*p == '\\') out += "\\e";
        else if (*p == '-') out += "\\-";
        else if ((*p == '.' || *p == '\'') && (out.empty() || out.back() == '\n')) out += "\\&", out += *p;
        else out += *p;
    }
    return out;
}

static void ManPage(FILE* f)
{
    fprintf(f, ".TH TOLBEX 1 \"\" \"tolbex %s\" \"User Commands\"\n", TOLBEX_VERSION);
    fputs(".SH NAME\ntolbex \\- the Vostrane engine's shape and world editor\n", f);
    fprintf(f, ".SH SYNOPSIS\n.B tolbex\n%s\n", Roff(kSynopsis).c_str());
    fputs(".SH DESCRIPTION\nTolbex edits the game's 3D objects (shape files, SHP) and its worlds (WLE) in one "
          "window that it draws itself. Started without a file it shows the launcher, in which the screen size "
          "and the editor are chosen.\n.PP\n"
          "Started in a folder that holds a\n.I tolbex.ini\nit reads that file and keeps its working files "
          "(the world summary temp.txt, screen grabs) in that folder. Started anywhere else (from the menu) it "
          "reads\n.I $XDG_CONFIG_HOME/tolbex/tolbex.ini\nand writes its working files beside the document or "
          "into\n.IR $XDG_STATE_HOME/tolbex .\n",
          f);
    fputs(".SH OPTIONS\n", f);
    for (const ProgramOption& o : kOptions) {
        fprintf(f, ".TP\n.B %s", Roff(o.name).c_str());
        if (o.value[0]) fprintf(f, " \" \"\n.I %s", o.value);
        fprintf(f, "\n%s\n", Roff(o.help).c_str());
    }
    fprintf(f, ".TP\n.I FILE\n%s\n", Roff(kFileHelp).c_str());
    fputs(".SH EXIT STATUS\n", f);
    for (const auto& e : kExitCodes) fprintf(f, ".TP\n.B %d\n%s\n", e.code, Roff(e.meaning).c_str());
    fputs(".SH FILES\n.TP\n.I $XDG_RUNTIME_DIR/Vostrane\\-Tolbex.lock\nthe single-copy lock; the socket "
          "beside it,\n.IR Vostrane\\-Tolbex.sock ,\ntakes files opened while Tolbex runs\n"
          ".TP\n.I $XDG_STATE_HOME/tolbex\nrecovery copies of unsaved work, and working files\n"
          ".SH SEE ALSO\n.BR tolbex-cli (1)\n",
          f);
}

// A second start: the running copy is the one the user sees. Its file, or the wish to see
// it, is handed to it; what the running copy answers is this start's result.
static int HandToRunningCopy(const std::string& file, int scripted)
{
    std::string request = "RAISE";
    if (!file.empty()) {
        // The running copy works in a folder of its own: it is given the full path.
        char* full = realpath(file.c_str(), nullptr);
        char folder[4096];
        if (full) request = std::string("OPEN ") + full;
        else if (file[0] != '/' && FileCurrentFolder(folder, sizeof folder) != 0)
            request = std::string("OPEN ") + folder + "/" + file;
        else request = "OPEN " + file;
        free(full);
    }
    char reply[HANDOFF_REPLY_MAX];
    if (HandoffSend(handoffPath.c_str(), request.c_str(), reply, sizeof reply) != 0) {
        if (file.empty()) {
            fprintf(stderr, "Tolbex is already running (lock %s).\n", lockPath.c_str());
            return scripted ? EXIT_ALREADY_RUNNING : 0;
        }
        fprintf(stderr, "tolbex: Tolbex is already running (lock %s) and %s: %s was not opened\n",
                lockPath.c_str(), reply, file.c_str());
        return 1;
    }
    if (!strcmp(reply, "OK")) {
        if (file.empty()) fprintf(stderr, "Tolbex is already running (lock %s).\n", lockPath.c_str());
        // A scripted run without a file must not pass as if it ran.
        return file.empty() && scripted ? EXIT_ALREADY_RUNNING : 0;
    }
    fprintf(stderr, "tolbex: the running Tolbex did not open %s: %s\n", file.c_str(),
            strncmp(reply, "NO ", 3) ? reply : reply + 3);
    return 1;
}

// A file named on the command line opens once the editor of its kind has started; one that
// cannot be opened is told about, and the launcher comes as if none had been named.
static void OpenStartFile(const std::string& file)
{
    char why[HANDOFF_REPLY_MAX - 4] = "";
    if (!app.frontEnd || !app.frontEnd->openFile) return;
    // By its full path, as a handed-in file: the editor then knows the document's folder.
    char* full = realpath(file.c_str(), nullptr);
    std::string path = full ? full : file;
    free(full);
    if (app.frontEnd->openFile(path.c_str(), why, sizeof why) == 0) {
        app.skipLauncher = 1;
        return;
    }
    fprintf(stderr, "tolbex: %s\n", why);
}

int AppMain(int argc, char** argv)
{
    PlatOptions options{};
    const char* logFile = getenv("TOLBEX_LOG");
    const char* env = getenv("TOLBEX_HEADLESS");
    if (env && *env && strcmp(env, "0") != 0) options.headless = 1;
    std::string commandLine = "\"", fileToOpen;
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
        else if (a == "--screen" || a == "--uiscale") {
            value(a == "--screen" ? "640x400, 800x600, window or WxH" : "a number from 1 to 4");
            continue;   // checked and taken by AppParseScreenOptions
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
        } else if (a == "--man-page") {
            ManPage(stdout);
            return 0;
        } else if (a.size() > 2 && a[0] == '-' && a[1] == '-' && a != "--debug") {
            fprintf(stderr, "tolbex: unknown option %s\n", a.c_str());
            Usage(stderr);
            return 2;
        } else if (!a.empty() && a[0] != '-' && StrICmp(a.c_str(), "/debug") != 0) {
            if (!fileToOpen.empty()) {
                fprintf(stderr, "tolbex: one file at a time (%s, then %s)\n", fileToOpen.c_str(), a.c_str());
                return 2;
            }
            // Kept out of the settings' command line: a name may hold any word.
            fileToOpen = a;
            continue;
        }
        commandLine += " \"";
        commandLine += a;
        commandLine += "\"";
    }
    if (options.script && !options.headless) {
        fprintf(stderr, "tolbex: --script needs --headless\n");
        return 2;
    }
    {
        char why[200];
        if (AppParseScreenOptions(argc, argv, why, sizeof why) != 0) {
            fprintf(stderr, "tolbex: %s\n", why);
            return 2;
        }
    }
    if (logFile && *logFile) {
        int opened = LogOpen(logFile);
        if (opened == LOG_OPEN_NOT_TEXT)
            fprintf(stderr, "tolbex: %s holds binary data, not a log; the log goes to stderr\n", logFile);
        else if (opened != 0)
            fprintf(stderr, "tolbex: cannot write the log %s\n", logFile);
    }

    int status = PlatSelect(&options);
    if (status != 0) return status;

    if (TakeInstanceLock() != 0) {
        PlatShutdown();
        return HandToRunningCopy(fileToOpen, options.script != nullptr);
    }
    if (!KernelInstall("VOSTRANE", nullptr, "Tolbex")) {
        ReleaseInstanceLock();
        PlatShutdown();
        return 1;
    }
    AppParseCommandLine(commandLine.c_str());
    AppChooseFolders();
    AppStartupSettings();
    if (!fileToOpen.empty()) OpenStartFile(fileToOpen);
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
    if (INIOpen(AppSettingsFile(), 50) != 0) return;   // no file: every default stands
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
    if ((v = INIGet("screen"))) {
        int r, w, h;
        if (AppParseScreen(v, 0, &r, &w, &h) != 0) {
            snprintf(text, sizeof text, "tolbex.ini: screen is 640x400, 800x600 or window, not \"%.40s\"; %s is offered.",
                     v, set.resolution == RESOLUTION_640 ? "640x400" : "800x600");
            SettingRefused(text);
        } else {
            set.resolution = r;
        }
    }
    if ((v = INIGet("uiscale"))) {
        int n;
        if (ScreenParseScale(v, &n) != 0) {
            snprintf(text, sizeof text,
                     "tolbex.ini: uiscale is a whole number from %d to %d, not \"%.40s\"; the scale is chosen from the "
                     "desktop.",
                     (int)SCREEN_SCALE_MIN, (int)SCREEN_SCALE_MAX, v);
            SettingRefused(text);
        } else {
            set.uiScale = n;
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
    app.settings.uiScale = 0;
    app.settings.screenWidth = app.settings.screenHeight = 0;
    ReadSettingsFile();
    ChooseScreen();
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
        if (app.skipLauncher) {
            app.skipLauncher = 0;
            app.runState = RUN_START_EDITOR;
            return 0;
        }
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

void AppTakeHandedFiles(void)
{
    char request[HANDOFF_REQUEST_MAX];
    while (HandoffTake(request, sizeof request)) {
        char why[HANDOFF_REPLY_MAX - 4] = "";
        int refused = 0;
        if (!strncmp(request, "OPEN ", 5) && request[5]) {
            LogPrintf(LOG_INFO, "HANDOFF: asked to open %s", request + 5);
            if (!app.frontEnd || !app.frontEnd->openFile) {
                snprintf(why, sizeof why, "this program opens no files");
                refused = 1;
            } else {
                refused = app.frontEnd->openFile(request + 5, why, sizeof why);
            }
        } else if (strcmp(request, "RAISE") != 0) {
            snprintf(why, sizeof why, "unknown request");
            refused = 1;
        }
        // Whatever the answer, the user looks at this copy now: it comes to the front.
        PlatRaiseWindow();
        std::string reply = refused ? std::string("NO ") + why : "OK";
        HandoffReply(reply.c_str());
    }
}

int AppLoopTurn(void)
{
    KernelDrainMessages();
    AppTakeHandedFiles();
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
    // Nothing moves on the screen: sleep until the desktop has something for us.
    if (app.frontEnd && app.frontEnd->idleMs) PlatWaitEvent(app.frontEnd->idleMs());
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
