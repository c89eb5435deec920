// Script files of the headless back end: one command a line, expanded at load into the
// primitive steps that the back end replays at its message drains.
#pragma once
#include <string>
#include <vector>

enum ScriptOp {
    SCRIPT_WAIT,        // a: main-loop turns
    SCRIPT_MOVE,        // a, b: pointer position
    SCRIPT_PRESS,       // a: SCRIPT_BUTTON_*
    SCRIPT_RELEASE,
    SCRIPT_KEYDOWN,     // a: scan code
    SCRIPT_KEYUP,
    SCRIPT_ANSWER,      // a: ID_OK, ID_YES, ID_NO or ID_CANCEL
    SCRIPT_CLOSE,
    SCRIPT_SCREENSHOT,  // text: file name
    SCRIPT_DUMP,        // text: file name
    SCRIPT_SHOT,        // a, b: the rectangle's corner; width, height, scale; text: file name
    SCRIPT_ADVANCE,     // a: milliseconds the clock moves on at once
    SCRIPT_FATAL,       // text: the fatal error's text (tests only: SCRIPT_FATAL_SWITCH)
    SCRIPT_TEXT,        // text: one character (UTF-8) typed as text, as an input method sends it
    SCRIPT_WHEEL,       // a: wheel notches, + away from the user (zooms in)
    SCRIPT_DROP,        // text: a file name dropped on the window
    SCRIPT_WAITFOR,     // text: a file the editor must have open; a: seconds of real time at most
    SCRIPT_RESIZE,      // a, b: the window's new size in screen pixels, as the desktop resizes it
};
enum { SCRIPT_BUTTON_LEFT = 0, SCRIPT_BUTTON_RIGHT = 1, SCRIPT_BUTTON_MIDDLE = 2, SCRIPT_BUTTONS = 3 };
enum { SCRIPT_WHEEL_MAX = 1000 };   // notches one `wheel` step turns at most, either way

// The environment variable that must be "1" for a script to use `fatal`: a test's way to
// take the program down as a fault of its own would, which no user script has any use for.
#define SCRIPT_FATAL_SWITCH "TOLBEX_TEST_FATAL"
enum { SCRIPT_ADVANCE_MAX_MS = 86400000 };
enum { SCRIPT_WAITFOR_DEFAULT_S = 10, SCRIPT_WAITFOR_MAX_S = 3600 };   // one step moves the clock on a day at most

struct ScriptStep {
    int op;
    int a, b;
    std::string text;
    int line;
    int width = 0, height = 0, scale = 1;
};

// Parses a script. Returns 0, or 1 with a message naming the line in `error`.
int ScriptParse(const std::string& source, const std::string& fileName, std::vector<ScriptStep>& out,
                std::string& error);
// The scan code of a key name (`key`, `keydown`, `keyup`: "home", "end" too) ("a", "enter", "kp5", "f12"...), or 0 when there is none.
int ScriptKeyCode(const std::string& name);
