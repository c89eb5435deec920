// Headless back end: no display, a memory framebuffer, a clock that advances 20 ms per
// main-loop turn, and input and message-box answers replayed from a script. Every message
// drain is one turn; script steps that do not wait run at the drain they are reached in.
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "kernel/kernel.h"
#include "kernel/log.h"
#include "platform/backend.h"
#include "platform/headless/script.h"
#include "platform/screen.h"

enum { TURN_MS = 20 };
// How the run was ended: the quit message is posted once.
enum { RUN_GOING = 0, RUN_SCRIPT_DONE, RUN_FRAME_LIMIT, RUN_STEP_FAILED };

static struct {
    int active;                     // a script run was selected (not the idle default)
    std::vector<ScriptStep> steps;
    size_t next;
    int waiting;                    // turns still to let run before the next step
    int finished;                   // RUN_*: the quit message has been posted
    std::deque<int> answers;
    uint32_t clock;
    long turns;
    int maxFrames;
    int pointerX, pointerY;
    // The last presented picture, kept as the framebuffer held it.
    std::vector<uint8_t> presented;
    int width, height, bpp;
    int windowW, windowH;           // the window in screen pixels; 0 = the mode at the UI scale
    PlatImageWriter writeImage;
    PlatImageWriter writePng;
    PlatDumpWriter writeDump;
    int boxesFail;   // the native box cannot be shown, as SDL's without the X fonts it needs
    PlatOpenQuery isOpen;
    uint64_t waitforSince;          // the running `waitfor` started (real ms), 0 when none runs
} hl;

void PlatHeadlessSetNativeBoxesFail(int fail) { hl.boxesFail = fail != 0; }

void PlatHeadlessSetImageWriter(PlatImageWriter writer) { hl.writeImage = writer; }
void PlatHeadlessSetPngWriter(PlatImageWriter writer) { hl.writePng = writer; }
void PlatHeadlessSetDumpWriter(PlatDumpWriter writer) { hl.writeDump = writer; }
void PlatHeadlessSetOpenQuery(PlatOpenQuery query) { hl.isOpen = query; }

static uint64_t RealMs(void)
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000 + (uint64_t)t.tv_nsec / 1000000;
}

enum { WAITFOR_NAP_US = 5000 };   // real time between turns while a `waitfor` waits


int PlatTakeScriptedAnswer(void)
{
    if (!hl.active || hl.answers.empty()) return 0;
    int answer = hl.answers.front();
    hl.answers.pop_front();
    return answer;
}

static int HeadlessInit(const PlatOptions* options)
{
    hl.steps.clear();
    hl.next = 0;
    hl.waiting = 0;
    hl.finished = RUN_GOING;
    hl.answers.clear();
    hl.waitforSince = 0;
    hl.clock = 0;
    hl.turns = 0;
    hl.boxesFail = 0;
    hl.maxFrames = options->maxFrames;
    hl.active = 1;
    hl.presented.clear();
    hl.width = hl.height = hl.bpp = 0;
    hl.windowW = hl.windowH = 0;
    if (options->script) {
        FILE* f = fopen(options->script, "rb");
        if (!f) {
            LogPrintf(LOG_ERROR, "tolbex: cannot read the script %s", options->script);
            return 2;
        }
        std::string source;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) source.append(buf, n);
        fclose(f);
        std::string error;
        if (ScriptParse(source, options->script, hl.steps, error) != 0) {
            LogPrintf(LOG_ERROR, "tolbex: %s", error.c_str());
            return 2;
        }
    }
    return 0;
}

static void HeadlessShutdown(void)
{
    hl.active = 0;
    hl.presented.clear();
    hl.presented.shrink_to_fit();
}

static int HeadlessCreateWindow(const char*) { return 1; }
static void HeadlessDestroyWindow(void) {}
static void HeadlessShowWindow(void) {}

static void HeadlessDesktopRect(int32_t rect[4])
{
    rect[0] = 0;
    rect[1] = 0;
    rect[2] = 1920;
    rect[3] = 1080;
}

static int32_t PointerParam(void) { return (int32_t)(((uint32_t)(uint16_t)hl.pointerY << 16) | (uint16_t)hl.pointerX); }

// A command that cannot do its work ends the run with its own exit code: a scripted check
// must never pass without having been made.
static void FailRun(const ScriptStep& s, const char* why)
{
    LogPrintf(LOG_ERROR, "HEADLESS: script line %d failed: %s", s.line, why);
    if (hl.finished != RUN_GOING) return;
    PlatPostMessage(NM_QUIT, EXIT_SCRIPT_FAILED, 0);
    hl.finished = RUN_STEP_FAILED;
}

// `waitfor`: another process hands the file in, in real time; the run's turns go on (short
// naps between them) until the editor has it open. 1 when the step is done (or failed).
static int WaitFor(const ScriptStep& s)
{
    if (hl.isOpen && hl.isOpen(s.text.c_str())) {
        hl.waitforSince = 0;
        return 1;
    }
    uint64_t now = RealMs();
    if (!hl.waitforSince) hl.waitforSince = now;
    if (now - hl.waitforSince >= (uint64_t)s.a * 1000) {
        hl.waitforSince = 0;
        char why[160];
        snprintf(why, sizeof why, "waitfor %.100s: not open after %d s", s.text.c_str(), s.a);
        FailRun(s, why);
        return 1;
    }
    usleep(WAITFOR_NAP_US);
    return 0;
}

static void Screenshot(const ScriptStep& s)
{
    const std::string& name = s.text;
    if (hl.presented.empty()) {
        FailRun(s, ("screenshot " + name + ": nothing has been presented yet").c_str());
        return;
    }
    std::vector<uint8_t> rgb((size_t)hl.width * hl.height * 3);
    int bytes = hl.bpp / 8;
    for (int y = 0; y < hl.height; y++)
        for (int x = 0; x < hl.width; x++) {
            uint8_t* d = &rgb[((size_t)y * hl.width + x) * 3];
            VideoUnpackPixel(&hl.presented[((size_t)y * hl.width + x) * bytes], hl.bpp, &d[0], &d[1], &d[2]);
        }
    if (!hl.writeImage || hl.writeImage(name.c_str(), rgb.data(), hl.width, hl.height) != 0)
        FailRun(s, ("screenshot " + name + " could not be written").c_str());
}

// A rectangle of the last presented frame, each pixel repeated `scale` times each way.
static void Shot(const ScriptStep& s)
{
    const std::string& name = s.text;
    if (hl.presented.empty()) {
        FailRun(s, ("shot " + name + ": nothing has been presented yet").c_str());
        return;
    }
    // Compared in 64 bits: X + W may pass an int's range.
    if (s.a < 0 || s.b < 0 || (int64_t)s.a + s.width > hl.width || (int64_t)s.b + s.height > hl.height) {
        char why[200];
        snprintf(why, sizeof why, "shot %.100s: the rectangle %d,%d %dx%d is not inside the %dx%d screen", name.c_str(),
                 s.a, s.b, s.width, s.height, hl.width, hl.height);
        FailRun(s, why);
        return;
    }
    int scale = s.scale == 2 ? 2 : 1;
    int outW = s.width * scale, outH = s.height * scale;
    std::vector<uint8_t> rgb((size_t)outW * outH * 3);
    int bytes = hl.bpp / 8;
    for (int y = 0; y < outH; y++)
        for (int x = 0; x < outW; x++) {
            size_t from = ((size_t)(s.b + y / scale) * hl.width + (size_t)(s.a + x / scale)) * bytes;
            uint8_t* d = &rgb[((size_t)y * outW + x) * 3];
            VideoUnpackPixel(&hl.presented[from], hl.bpp, &d[0], &d[1], &d[2]);
        }
    if (!hl.writePng || hl.writePng(name.c_str(), rgb.data(), outW, outH) != 0)
        FailRun(s, ("shot " + name + " could not be written").c_str());
}

// By the script's button numbers (SCRIPT_BUTTON_*).
static const uint32_t kButtonDown[SCRIPT_BUTTONS] = {NM_LBUTTONDOWN, NM_RBUTTONDOWN, NM_MBUTTONDOWN};
static const uint32_t kButtonUp[SCRIPT_BUTTONS] = {NM_LBUTTONUP, NM_RBUTTONUP, NM_MBUTTONUP};

static void RunStep(const ScriptStep& s)
{
    switch (s.op) {
    case SCRIPT_WAIT: hl.waiting = s.a; break;
    case SCRIPT_MOVE:
        hl.pointerX = s.a;
        hl.pointerY = s.b;
        PlatPostMessage(NM_MOUSEMOVE, 0, PointerParam());
        break;
    case SCRIPT_PRESS: PlatPostMessage(kButtonDown[s.a], 0, PointerParam()); break;
    case SCRIPT_RELEASE: PlatPostMessage(kButtonUp[s.a], 0, PointerParam()); break;
    case SCRIPT_WHEEL: PlatPostMessage(NM_MOUSEWHEEL, (uint32_t)s.a, PointerParam()); break;
    case SCRIPT_KEYDOWN: InputQueueKey(s.a, 1); break;
    case SCRIPT_KEYUP: InputQueueKey(s.a, 0); break;
    case SCRIPT_TEXT: InputQueueText(s.text.c_str()); break;
    case SCRIPT_ANSWER: hl.answers.push_back(s.a); break;
    case SCRIPT_CLOSE: PlatRequestClose(); break;
    case SCRIPT_DROP: PlatDropFile(s.text.c_str()); break;
    case SCRIPT_SCREENSHOT: Screenshot(s); break;
    case SCRIPT_SHOT: Shot(s); break;
    case SCRIPT_ADVANCE: hl.clock += (uint32_t)s.a; break;
    case SCRIPT_WAITFOR: break;   // the pump runs it
    case SCRIPT_RESIZE: PlatHeadlessResize(s.a, s.b); break;
    case SCRIPT_FATAL: FatalError("%s", s.text.c_str());
    case SCRIPT_DUMP:
        if (!hl.writeDump || hl.writeDump(s.text.c_str()) != 0) FailRun(s, ("dump " + s.text + " could not be written").c_str());
        break;
    }
}

void PlatHeadlessAdvanceClock(uint32_t ms) { hl.clock += ms; }

static void HeadlessPump(void)
{
    hl.clock += TURN_MS;
    if (!hl.active) return;
    hl.turns++;
    if (hl.maxFrames > 0 && hl.turns > hl.maxFrames) {
        if (hl.finished == RUN_GOING) {
            LogPrintf(LOG_ERROR, "HEADLESS: --max-frames %d reached, ending the run", hl.maxFrames);
            PlatPostMessage(NM_QUIT, EXIT_FRAME_LIMIT, 0);
            hl.finished = RUN_FRAME_LIMIT;
        }
        return;
    }
    while (hl.finished == RUN_GOING) {
        if (hl.waiting > 0) {
            hl.waiting--;
            return;
        }
        if (hl.next < hl.steps.size() && hl.steps[hl.next].op == SCRIPT_WAITFOR) {
            if (!WaitFor(hl.steps[hl.next])) return;
            hl.next++;
            continue;
        }
        if (hl.next >= hl.steps.size()) {
            // The end of the script is a confirmed close.
            PlatPostMessage(NM_QUIT, 0, 0);
            hl.finished = RUN_SCRIPT_DONE;
            return;
        }
        RunStep(hl.steps[hl.next++]);
    }
}

static int HeadlessSetMode(int width, int height, int bpp)
{
    if (bpp != 16 && bpp != 32) return 1;
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) return 1;
    hl.width = width;
    hl.height = height;
    hl.bpp = bpp;
    hl.presented.clear();
    return 0;
}

static void HeadlessReleaseMode(void)
{
    hl.presented.clear();
    hl.width = hl.height = hl.bpp = 0;
}

static int HeadlessVisible(void) { return 1; }

static void HeadlessPresent(const uint8_t* pixels, int pitch, int width, int height, int bpp)
{
    if (width != hl.width || height != hl.height || bpp != hl.bpp) return;
    size_t row = (size_t)width * (bpp / 8);
    hl.presented.resize(row * height);
    for (int y = 0; y < height; y++) memcpy(&hl.presented[row * y], pixels + (size_t)pitch * y, row);
}

static uint32_t HeadlessTicks(void) { return hl.clock; }

void PlatHeadlessResize(int width, int height)
{
    hl.windowW = width;
    hl.windowH = height;
    PlatMarkActivity();
}

static void HeadlessWindowPixels(int* width, int* height)
{
    *width = hl.windowW ? hl.windowW : hl.width * ScreenUiScale();
    *height = hl.windowH ? hl.windowH : hl.height * ScreenUiScale();
}

static void HeadlessSetWindowPixels(int width, int height)
{
    int32_t desk[4];
    HeadlessDesktopRect(desk);
    if (width <= 0 || height <= 0 || width > desk[2] - desk[0] || height > desk[3] - desk[1]) {
        width = desk[2] - desk[0];
        height = desk[3] - desk[1];
    }
    PlatHeadlessResize(width, height);
}

static int HeadlessMessageBox(const char* title, const char* text, int flags)
{
    (void)title;
    (void)text;
    // The answers stay queued for the program's own box, which asks for them.
    if (hl.boxesFail) return ID_FAILED;
    int fallback = PlatDefaultAnswer(flags);
    if (hl.answers.empty()) return fallback;
    int answer = hl.answers.front();
    hl.answers.pop_front();
    int kind = flags & 0x0F;
    bool fits = (kind == MB_OK && answer == ID_OK) ||
                (kind == MB_OKCANCEL && (answer == ID_OK || answer == ID_CANCEL)) ||
                (kind == MB_YESNO && (answer == ID_YES || answer == ID_NO)) ||
                (kind == MB_YESNOCANCEL && (answer == ID_YES || answer == ID_NO || answer == ID_CANCEL));
    if (!fits) {
        LogPrintf(LOG_WARN, "HEADLESS: the scripted answer does not fit this box; taking the default");
        return fallback;
    }
    return answer;
}

const PlatDriver platHeadlessDriver = {
    "headless",
    HeadlessInit,
    HeadlessShutdown,
    HeadlessCreateWindow,
    HeadlessDestroyWindow,
    HeadlessShowWindow,
    HeadlessDesktopRect,
    HeadlessPump,
    HeadlessSetMode,
    HeadlessReleaseMode,
    HeadlessVisible,
    HeadlessPresent,
    HeadlessTicks,
    HeadlessMessageBox,
    nullptr,   // nothing of its own is drawn through GL
    nullptr,   // no window to raise
    HeadlessWindowPixels,
    HeadlessSetWindowPixels,
    nullptr,   // no display: the density is unknown
    nullptr,   // a headless run never sleeps
};
