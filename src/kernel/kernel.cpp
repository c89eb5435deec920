#include "kernel/kernel.h"

#include "base/str.h"
#include "platform/platform.h"

static struct {
    int installed;
    char product[80];
    void* instance;
    int confirmClose;
    CloseHandlerFn closeHandler;
    int quit;
    int exitCode;
} kernel;

int KernelInstall(const char* product, void* instance, const char* title)
{
    if (kernel.installed) FatalError("Kernel already installed.");
    StrLCopy(kernel.product, product ? product : "", sizeof kernel.product);
    kernel.instance = instance;
    if (!PlatCreateWindow(title)) return 0;
    kernel.installed = 1;
    // The window starts active; focus changes arrive later as activation messages.
    PlatSetAppActive(1);
    kernel.quit = 0;
    kernel.exitCode = 0;
    PlatReadDesktop();
    return 1;
}

void KernelRemove(void)
{
    ExitListRun();
    kernel.installed = 0;
}

int KernelIsInstalled(void) { return kernel.installed; }

void KernelShowWindow(void) { PlatShowWindowOnce(); }
int KernelWindowShown(void) { return PlatWindowShown(); }

void KernelHideWindow(void)
{
    if (!kernel.installed) return;
    PlatDestroyWindow();
}

void KernelDesktopRect(int32_t rect[4]) { PlatDesktopRectRead(rect); }

const char* KernelProductName(void) { return kernel.product; }

void KernelSetConfirmClose(int on) { kernel.confirmClose = on != 0; }
void KernelSetCloseHandler(CloseHandlerFn handler) { kernel.closeHandler = handler; }
int KernelConfirmClose(void) { return kernel.confirmClose; }
int KernelAppActive(void) { return PlatAppActive(); }
void KernelSetAppActive(int on) { PlatSetAppActive(on); }
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
        PlatSetAppActive((wParam & 0xFFFF) != 0);
        break;
    default:
        break;
    }
    PlatRunMessageHooks(window, msg, wParam, lParam);
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
