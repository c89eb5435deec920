// Kernel: the one native window, the exit list, the native-message hooks and fatal errors.
// Everything that installs registers its removal here so that a normal end and a fatal
// error both take the program down in the reverse order of installation.
#pragma once
#include <cstdint>

typedef void (*ExitFn)(void);
// Long work reports progress from 0 to PROGRESS_DONE through such a function; a non-zero
// answer asks the work to stop. PROGRESS_CANCEL in the progress variable is the stop mark.
enum { PROGRESS_DONE = 0x4000, PROGRESS_CANCEL = 0xFFFF };
typedef int (*ProgressFn)(uint32_t value);
// A native-message filter: returns non-zero when it has consumed the message.
typedef int (*MessageHookFn)(void* window, uint32_t msg, uint32_t wParam, int32_t lParam);

enum {
    KERNEL_MAX_EXITS = 100,
    KERNEL_MAX_HOOKS = 10,
};

// Installs the kernel and creates the native window (through the platform back end that
// PlatSelect chose). Returns 1, or 0 when the window cannot be created.
int KernelInstall(const char* product, void* instance, const char* title);
// Runs the exit list newest first and empties it. Safe when not installed.
void KernelRemove(void);
int KernelIsInstalled(void);
// Shows the native window (once) and re-reads the desktop rectangle; called before mode changes.
void KernelShowWindow(void);
int KernelWindowShown(void);
// Takes the native window off the screen for good (the confirmed close): the shutdown that
// follows runs without it.
void KernelHideWindow(void);
void KernelDesktopRect(int32_t rect[4]);
const char* KernelProductName(void);

void RegisterExit(ExitFn fn);
void RegisterMessageHook(MessageHookFn fn);

// Removes every manager, logs the text, shows the "Fatal Error" box and ends with code 1.
[[noreturn]] void FatalError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// A function of the layers above that FatalError calls, once, before it removes the managers,
// while what they hold is still there (the editors keep the user's unsaved work that way).
// The front end sets it once the editors exist and clears it (null) when they go. A fatal
// error inside the hook skips it and ends the program as usual. Memory may be what ran out:
// the hook must not need to allocate much.
typedef void (*FatalHookFn)(const char* text);
void KernelSetFatalHook(FatalHookFn hook);

void KernelSetConfirmClose(int on);
// The editors' own answer to a close of the window (unsaved work to ask about): called in
// place of the close question; it sets KernelSetQuit itself when the close goes on. Null
// gives the question back to the kernel.
typedef void (*CloseHandlerFn)(void);
void KernelSetCloseHandler(CloseHandlerFn handler);
int KernelConfirmClose(void);
int KernelAppActive(void);
void KernelSetAppActive(int on);
int KernelQuit(void);
void KernelSetQuit(int on);
// The parameter of the last quit message: the program's exit code after a normal end.
int KernelExitCode(void);

// The kernel's native window procedure; the drain below feeds it.
int KernelWindowProc(void* window, uint32_t msg, uint32_t wParam, int32_t lParam);
// Removes and dispatches every pending native message without waiting.
void KernelDrainMessages(void);

// Full path of the running program file; "" when it cannot be read.
const char* KernelProgramPath(void);
