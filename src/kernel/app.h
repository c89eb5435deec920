// The program's spine: entry, start-up settings, the run-state machine and the main loop.
// What each run state does is the front end's business: it registers a table of hooks, and
// the kernel calls them in order without knowing what an editor is.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/folders.h"

enum { EDITOR_NONE = 0, EDITOR_SHAPE = 1, EDITOR_WORLD = 2 };
enum {
    RESOLUTION_320 = 0,
    RESOLUTION_640 = 1,
    RESOLUTION_800 = 2,
    // The "Window" screen: the logical screen is the window's size divided by the UI scale,
    // at least 800 x 600, and follows the window while the editor runs.
    RESOLUTION_WINDOW = 3,
    RESOLUTION_DEFAULT = RESOLUTION_800,   // what the launcher offers unless the settings say
};
// Which renderer draws the 3D views. By default the hardware one, and the software Z-buffer
// when no hardware renderer can be had; asked for by name, a renderer that cannot start is
// an error (hardware) or comes with no warning box (software: the user chose it).
enum {
    RENDERER_DEFAULT = 0,
    RENDERER_HARDWARE = 1,     // --renderer gl
    RENDERER_SOFTWARE = 2,     // --renderer software
};
enum {
    RUN_START_LAUNCHER = 0,
    RUN_LAUNCHER = 1,
    RUN_CLOSE_LAUNCHER = 2,
    RUN_START_EDITOR = 3,
    RUN_EDITOR = 4,
};

// Start-up settings: read at start-up and chosen in the launcher, read across the program.
struct AppSettings {
    int editorMode;            // EDITOR_*
    int resolution;            // RESOLUTION_*
    int softwareRender;        // the launcher's "Software Render" toggle
    int renderer;              // RENDERER_*, from the command line
    int debug;                 // the /debug switch
    int palSupport;            // 0 or 1
    int polyLightMode;         // 0 or 1, validated only
    uint32_t scale;
    // "dummycolour": the colour (0 to 255 each) the views light polygons without a material of
    // their own in; 0, 0, 0 draws them flat black.
    int dummyColour[3] = {160, 160, 160};
    // The software renderer's threads; 0 = one a core, the default.
    int threads = 0;
    char secondRes[80];
    char thirdRes[80];
    // --screen WxH: a logical screen of that size (the "Window" screen, fixed); 0 = none.
    int screenWidth;
    int screenHeight;
    // "uiscale" or --uiscale: each logical pixel is uiScale x uiScale screen pixels; 0 =
    // automatic from the desktop.
    int uiScale;
};
const AppSettings* AppConfig(void);
// The launcher's choices.
void AppSetEditorMode(int mode);
void AppSetResolution(int resolution);
void AppSetSoftwareRender(int on);
// Back to the defaults of a fresh start (and debug off).
void AppResetSettings(void);

// The front end: what start-up installs above the platform, and the two stages the run
// states go through. A stage's frame answers one of STEP_*.
enum { STAGE_LAUNCHER = 0, STAGE_EDITOR = 1, STAGE_COUNT = 2 };
enum { STEP_STAY = 0, STEP_QUIT = 1, STEP_NEXT = 2 };
struct AppStageHooks {
    void (*start)(void);
    int (*frame)(void);       // one run-state step: STEP_*
    void (*display)(void);    // the frame's drawing, before the step
    void (*stop)(void);
};
struct AppFrontEnd {
    void (*startup)(void);    // after the platform's managers, before the first turn
    AppStageHooks stages[STAGE_COUNT];
    // A file to open: named on the command line (before the first turn) or handed in by a
    // second start. 0 when it is taken (it opens in the editor of its kind), 1 with the
    // reason in `why` when it cannot be (the front end has told the user too).
    int (*openFile)(const char* path, char* why, size_t whySize);
    // After a turn: how many milliseconds the loop may sleep waiting for input because
    // nothing on the screen moves (0: go on at once). Null: never sleep.
    int (*idleMs)(void);
};
// The table must live as long as the program; null hooks do nothing.
void AppRegisterFrontEnd(const AppFrontEnd* frontEnd);

// The entry: parses the command line, guards the single instance, runs the loop.
int AppMain(int argc, char** argv);

// Where the program keeps its files: kernel/folders.h.
// The single-copy lock's path and the socket beside it, through which files are handed in.
const char* AppLockPath(void);
const char* AppHandoffPath(void);
// Takes the requests a second start handed in and answers each (every main-loop turn).
void AppTakeHandedFiles(void);

// --screen and --uiscale from the command line (they hold over tolbex.ini): 0, or 1 with a
// one-line reason in why (a usage error). Without them the settings file decides.
int AppParseScreenOptions(int argc, char** argv, char* why, size_t whySize);
// "640x400", "800x600", "window" and, with allowSize, "WxH" from 800x600 up: 0 with the
// RESOLUTION_* (and the fixed size, else 0 x 0), or 1.
int AppParseScreen(const char* text, int allowSize, int* resolution, int* width, int* height);

// The pieces of the loop, public so that tests can drive the run states one turn at a time.
void AppParseCommandLine(const char* commandLine);
void AppStartupSettings(void);
int AppLoopTurn(void);             // one turn; 1 when the loop must be left
void AppFrameDisplay(void);
int AppRunStateStep(void);         // non-zero: leave the program
void AppEndOfFrame(void);
void AppShutdown(void);
int AppRunState(void);
void AppSetRunState(int state);
