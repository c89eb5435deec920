#include "kernel/kernel.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "kernel/log.h"
#include "kernel/util/str.h"
#include "platform/platform.h"

static struct {
    int installed;
    int shown;
    char product[80];
    void* instance;
    int32_t desktop[4];
    ExitFn exits[KERNEL_MAX_EXITS];
    int exitCount;
    MessageHookFn hooks[KERNEL_MAX_HOOKS];
    int hookCount;
    int appActive;
    int confirmClose;
    CloseHandlerFn closeHandler;
    int quit;
    int exitCode;
    int inFatal;
    FatalHookFn fatalHook;
} kernel;

int KernelInstall(const char* product, void* instance, const char* title)
{
    if (kernel.installed) FatalError("Kernel already installed.");
    StrLCopy(kernel.product, product ? product : "", sizeof kernel.product);
    kernel.instance = instance;
    if (!PlatCreateWindow(title)) return 0;
    kernel.installed = 1;
    // The window starts active; focus changes arrive later as activation messages.
    kernel.appActive = 1;
    kernel.quit = 0;
    kernel.exitCode = 0;
    PlatDesktopRect(kernel.desktop);
    return 1;
}

void KernelRemove(void)
{
    // Newest first; each removal may itself be listed only once.
    while (kernel.exitCount > 0) {
        ExitFn fn = kernel.exits[--kernel.exitCount];
        fn();
    }
    kernel.installed = 0;
}

int KernelIsInstalled(void) { return kernel.installed; }

void KernelShowWindow(void)
{
    if (!kernel.shown) {
        PlatShowWindow();
        kernel.shown = 1;
    }
    PlatDesktopRect(kernel.desktop);
}

int KernelWindowShown(void) { return kernel.shown; }

void KernelHideWindow(void)
{
    if (!kernel.installed) return;
    PlatDestroyWindow();
    kernel.shown = 0;
}

void KernelDesktopRect(int32_t rect[4])
{
    for (int i = 0; i < 4; i++) rect[i] = kernel.desktop[i];
}

const char* KernelProductName(void) { return kernel.product; }

void RegisterExit(ExitFn fn)
{
    for (int i = 0; i < kernel.exitCount; i++)
        if (kernel.exits[i] == fn) return;
    if (kernel.exitCount >= KERNEL_MAX_EXITS) FatalError("RegisterExit: RemoveList is full!");
    kernel.exits[kernel.exitCount++] = fn;
}

void RegisterMessageHook(MessageHookFn fn)
{
    for (int i = 0; i < kernel.hookCount; i++)
        if (kernel.hooks[i] == fn) return;
    if (kernel.hookCount >= KERNEL_MAX_HOOKS) FatalError("RegisterExit: Message hook list is full!");
    kernel.hooks[kernel.hookCount++] = fn;
}

void FatalError(const char* fmt, ...)
{
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);

    // Taken off before it runs: a fatal error inside it must not call it again.
    if (FatalHookFn hook = kernel.fatalHook) {
        kernel.fatalHook = nullptr;
        if (!kernel.inFatal) hook(text);
    }
    // A removal that fails in turn must not run the exit list a second time.
    if (!kernel.inFatal) {
        kernel.inFatal = 1;
        KernelRemove();
    }
    LogPrintf(LOG_ERROR, "FATAL: %s", text);
    PlatMessageBox("Fatal Error", text, MB_OK | MB_ICONSTOP);
    PlatShutdown();
    LogClose();
    _Exit(1);
}

void KernelSetFatalHook(FatalHookFn hook) { kernel.fatalHook = hook; }

void KernelSetConfirmClose(int on) { kernel.confirmClose = on != 0; }
void KernelSetCloseHandler(CloseHandlerFn handler) { kernel.closeHandler = handler; }
int KernelConfirmClose(void) { return kernel.confirmClose; }
int KernelAppActive(void) { return kernel.appActive; }
void KernelSetAppActive(int on) { kernel.appActive = on != 0; }
int KernelQuit(void) { return kernel.quit; }
void KernelSetQuit(int on) { kernel.quit = on != 0; }
int KernelExitCode(void) { return kernel.exitCode; }

int KernelWindowProc(void* window, uint32_t msg, uint32_t wParam, int32_t lParam)
{
    switch (msg) {
    case NM_DESTROY:
        PlatPostMessage(NM_QUIT, 0, 0);
        return 0;
    case NM_CLOSE:
        // Once the user has said yes, a close that was already on its way asks nothing.
        if (kernel.quit) return 0;
        if (kernel.closeHandler) {
            kernel.closeHandler();
        } else if (kernel.confirmClose) {
            int answer = PlatMessageBox("Warning", "Are you sure you meant to press that button?",
                                        MB_YESNOCANCEL | MB_ICONQUESTION);
            // A box that cannot be shown must not keep the window from closing: where the
            // kernel asks, no unsaved work is at stake (the editors ask through their handler).
            if (answer == ID_YES || answer == ID_FAILED) kernel.quit = 1;
        } else {
            kernel.quit = 1;
        }
        return 0;
    case NM_ACTIVATE:
        kernel.appActive = (wParam & 0xFFFF) != 0;
        break;
    default:
        break;
    }
    for (int i = kernel.hookCount - 1; i >= 0; i--)
        if (kernel.hooks[i](window, msg, wParam, lParam)) return 0;
    return 0;
}

void KernelDrainMessages(void)
{
    NativeMsg m;
    while (PlatPeekMessage(&m)) {
        if (m.msg == NM_QUIT) {
            kernel.quit = 1;
            kernel.exitCode = (int)m.wParam;
            continue;
        }
        KernelWindowProc(nullptr, m.msg, m.wParam, m.lParam);
    }
}

const char* KernelProgramPath(void) { return FileProgramPath(); }
