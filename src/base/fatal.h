// The exit list and fatal errors: everything that installs registers its removal here, so that
// a normal end and a fatal error both take the program down in the reverse order of
// installation. Below every other layer: the native box of a fatal error is shown through a
// hook that the layer owning the window sets.
#pragma once

typedef void (*ExitFn)(void);

enum { EXIT_LIST_MAX = 100 };

// Adds a removal (once: a second registration of the same function changes nothing). Fatal
// when the list is full.
void RegisterExit(ExitFn fn);
// Runs the exit list newest first and empties it.
void ExitListRun(void);

// Removes every manager, logs the text, shows the "Fatal Error" box and ends with code 1.
[[noreturn]] void FatalError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// A function of the layers above that FatalError calls, once, before it removes the managers,
// while what they hold is still there (the editors keep the user's unsaved work that way).
// The front end sets it once the editors exist and clears it (null) when they go. A fatal
// error inside the hook skips it and ends the program as usual. Memory may be what ran out:
// the hook must not need to allocate much.
typedef void (*FatalHookFn)(const char* text);
void FatalSetHook(FatalHookFn hook);
// The last words after the removals and the log line: the platform shows the "Fatal Error"
// box and lets go of the display. Null: the log line is all.
typedef void (*FatalEndFn)(const char* text);
void FatalSetEnd(FatalEndFn fn);
