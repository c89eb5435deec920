// The program's spine: entry, start-up settings, the run-state machine and main loop, the
// deferred operations panels ask for, the progress callbacks and the screen grab.
#pragma once
#include <cstdint>

enum { EDITOR_NONE = 0, EDITOR_SHAPE = 1, EDITOR_WORLD = 2 };
enum { RESOLUTION_UNSET = -1, RESOLUTION_320 = 0, RESOLUTION_640 = 1, RESOLUTION_800 = 2 };
enum {
    RUN_START_LAUNCHER = 0,
    RUN_LAUNCHER = 1,
    RUN_CLOSE_LAUNCHER = 2,
    RUN_START_EDITOR = 3,
    RUN_EDITOR = 4,
};

// Start-up settings: written during start-up and by the launcher, read across the program.
struct AppSettings {
    int editorMode;            // EDITOR_*
    int resolution;            // RESOLUTION_*
    int softwareRender;
    int debug;                 // the /debug switch
    int palSupport;            // 0 or 1
    int polyLightMode;         // 0 or 1, validated only
    uint32_t scale;
    char secondRes[80];
    char thirdRes[80];
    int materialsReloadPending;
};
extern AppSettings gApp;

// Deferred operations: panels set a flag; the next editor frame clears it and runs the work.
enum {
    REQUEST_REDRAW = 0,
    REQUEST_SORT = 1,
    REQUEST_DELETE_NET_SHAPES = 2,
    REQUEST_BUILD_MONORAIL = 3,
    REQUEST_RESERVED = 4,
    REQUEST_SAVE_RUNTIME = 5,
    REQUEST_COUNT = 6,
};
void AppRequest(int request);
int AppRequestPending(int request);

int ProgressTextures(uint32_t value);
int ProgressSort(uint32_t value);
int ProgressWorld(uint32_t value);
int ProgressSpare(uint32_t value);
uint32_t AppProgress(void);
void AppSetProgress(uint32_t value);
// Timing, input, slot events and a redraw, so that the interface lives during long work.
void AppMiniFrame(int redraw);

// The entry: parses the command line, guards the single instance, runs the loop.
int AppMain(int argc, char** argv);

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

// The launcher's window class (0x1015).
void LauncherRegisterClass(void);

// Alt+G: writes the screen as the first free grabNNNN.bmp. 0 on success; 1 when every name
// is taken or the file cannot be written. The name used is copied to nameOut when given.
int AppGrabScreen(char* nameOut, int nameSize);
// Counts the decimal digits of a grab name up by one (rightmost first, carrying left).
// Returns 1 when the carry ran past the first digit (the digits have wrapped to zeros).
int AppGrabNextName(char* name);
