// Back end selection, the native message queue and message boxes.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "base/fatal.h"
#include "base/log.h"
#include "platform/backend.h"
#include "platform/screen.h"

enum { QUEUE_SIZE = 256 };

static struct {
    const PlatDriver* driver;     // null until PlatSelect: the headless driver, idle, is used
    int headless;
    NativeMsg queue[QUEUE_SIZE];
    int head, count;
    int pumped;                   // the back end has been asked for events in this drain
    int windowOpen;
    int windowShown;
    int32_t desktop[4];
    int appActive;
    MessageHookFn hooks[PLAT_MAX_HOOKS];
    int hookCount;
    int activity;                 // an event came since PlatTakeActivity last looked
} plat;

// A fatal error's last words: its box, then the display let go. Set before main (this file
// is in every program that has a window), so that a fatal error at any time shows the box.
static void FatalEnd(const char* text)
{
    PlatMessageBox("Fatal Error", text, MB_OK | MB_ICONSTOP);
    PlatShutdown();
}
[[maybe_unused]] static const int fatalEndSet = (FatalSetEnd(FatalEnd), 1);

const PlatDriver* PlatDriverCurrent(void) { return plat.driver ? plat.driver : &platHeadlessDriver; }

int PlatSelect(const PlatOptions* options)
{
    PlatOptions none{};
    if (!options) options = &none;
    // A file that grows past the process's size limit is a failed write (reported, the old
    // file kept), not the end of the program and of the user's unsaved work.
    signal(SIGXFSZ, SIG_IGN);
    const PlatDriver* driver = options->headless ? &platHeadlessDriver : &platSdlDriver;
    int status = driver->Init(options);
    if (status != 0) return status;
    plat.driver = driver;
    plat.headless = options->headless != 0;
    plat.head = plat.count = 0;
    return 0;
}

void PlatShutdown(void)
{
    if (plat.driver) plat.driver->Shutdown();
    plat.windowOpen = 0;
    plat.driver = nullptr;
    plat.head = plat.count = 0;
}

int PlatIsHeadless(void) { return plat.driver ? plat.headless : 1; }
const char* PlatBackendName(void) { return PlatDriverCurrent()->name; }

int PlatCreateWindow(const char* title)
{
    int made = PlatDriverCurrent()->CreateWindow(title);
    plat.windowOpen = made != 0;
    return made;
}

void PlatDestroyWindow(void)
{
    PlatDriverCurrent()->DestroyWindow();
    plat.windowOpen = 0;
    plat.windowShown = 0;
}

void PlatShowWindowOnce(void)
{
    if (!plat.windowShown) {
        PlatShowWindow();
        plat.windowShown = 1;
    }
    PlatReadDesktop();
}

int PlatWindowShown(void) { return plat.windowShown; }
void PlatReadDesktop(void) { PlatDesktopRect(plat.desktop); }

void PlatDesktopRectRead(int32_t rect[4])
{
    for (int i = 0; i < 4; i++) rect[i] = plat.desktop[i];
}

int PlatAppActive(void) { return plat.appActive; }
void PlatSetAppActive(int on) { plat.appActive = on != 0; }

void RegisterMessageHook(MessageHookFn fn)
{
    for (int i = 0; i < plat.hookCount; i++)
        if (plat.hooks[i] == fn) return;
    if (plat.hookCount >= PLAT_MAX_HOOKS) FatalError("RegisterExit: Message hook list is full!");
    plat.hooks[plat.hookCount++] = fn;
}

int PlatRunMessageHooks(void* window, uint32_t msg, uint32_t wParam, int32_t lParam)
{
    for (int i = plat.hookCount - 1; i >= 0; i--)
        if (plat.hooks[i](window, msg, wParam, lParam)) return 1;
    return 0;
}

int PlatWindowOpen(void) { return plat.windowOpen; }
void PlatShowWindow(void) { PlatDriverCurrent()->ShowWindow(); }

void PlatRaiseWindow(void)
{
    if (PlatDriverCurrent()->RaiseWindow) PlatDriverCurrent()->RaiseWindow();
}
void PlatDesktopRect(int32_t rect[4]) { PlatDriverCurrent()->DesktopRect(rect); }

void PlatWindowPixels(int* width, int* height)
{
    *width = *height = 0;
    if (PlatDriverCurrent()->WindowPixels) PlatDriverCurrent()->WindowPixels(width, height);
    if (*width <= 0 || *height <= 0) {
        *width = VideoModeWidth();
        *height = VideoModeHeight();
    }
}

void PlatSetWindowPixels(int width, int height)
{
    if (PlatDriverCurrent()->SetWindowPixels) PlatDriverCurrent()->SetWindowPixels(width, height);
}

float PlatDisplayDpi(void) { return PlatDriverCurrent()->DisplayDpi ? PlatDriverCurrent()->DisplayDpi() : 0.0f; }

void PlatWaitEvent(int ms)
{
    if (ms > 0 && PlatDriverCurrent()->WaitEvent) PlatDriverCurrent()->WaitEvent(ms);
}

void PlatMarkActivity(void) { plat.activity = 1; }

int PlatTakeActivity(void)
{
    int was = plat.activity;
    plat.activity = 0;
    return was;
}

void PlatPostMessage(uint32_t msg, uint32_t wParam, int32_t lParam)
{
    if (plat.count == QUEUE_SIZE) {
        // A full queue keeps the newest pointer position: drop the oldest message.
        plat.head = (plat.head + 1) % QUEUE_SIZE;
        plat.count--;
    }
    plat.activity = 1;
    NativeMsg& m = plat.queue[(plat.head + plat.count) % QUEUE_SIZE];
    m.msg = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    plat.count++;
}

static std::deque<std::string> dropped;

void PlatDropFile(const char* path)
{
    if (!path || !*path) return;
    plat.activity = 1;
    if (dropped.size() >= PLAT_DROP_QUEUE) dropped.pop_front();
    dropped.push_back(path);
}

int PlatTakeDroppedFile(char* out, size_t size)
{
    while (!dropped.empty()) {
        std::string path = dropped.front();
        dropped.pop_front();
        if (path.size() < size) {
            memcpy(out, path.c_str(), path.size() + 1);
            return 1;
        }
        LogPrintf(LOG_WARN, "PLATFORM: a dropped file's name is longer than %zu bytes; not taken", size - 1);
    }
    return 0;
}

void PlatRequestClose(void)
{
    // One press of the close button may reach us twice (the window's close and the
    // application's quit): a close already waiting is not asked again.
    for (int i = 0; i < plat.count; i++)
        if (plat.queue[(plat.head + i) % QUEUE_SIZE].msg == NM_CLOSE) return;
    PlatPostMessage(NM_CLOSE, 0, 0);
}

int PlatPeekMessage(NativeMsg* out)
{
    if (!plat.pumped) {
        plat.pumped = 1;
        InputNewTurn();
        PlatDriverCurrent()->Pump();
    }
    if (plat.count == 0) {
        plat.pumped = 0;   // the drain is over; the next one collects again
        return 0;
    }
    *out = plat.queue[plat.head];
    plat.head = (plat.head + 1) % QUEUE_SIZE;
    plat.count--;
    return 1;
}

int PlatDefaultAnswer(int flags)
{
    int kind = flags & 0x0F;
    if ((kind == MB_YESNO || kind == MB_YESNOCANCEL) && (flags & MB_DEFBUTTON2)) return ID_NO;
    return (kind == MB_YESNO || kind == MB_YESNOCANCEL) ? ID_YES : ID_OK;
}

int PlatMessageBox(const char* title, const char* text, int flags)
{
    LogPrintf(LOG_ERROR, "MSGBOX \"%s\" \"%s\"", title ? title : "", text ? text : "");
    return PlatDriverCurrent()->MessageBox(title ? title : "", text ? text : "", flags);
}
