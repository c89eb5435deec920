// Kernel: the one native window and its messages, and the program's end. The exit list and
// fatal errors it ends through live below the platform (fatal.h); the native-message hooks
// live in the platform, whose input registers one.
#pragma once
#include <cstdint>

#include "base/fatal.h"
#include "base/progress.h"

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
