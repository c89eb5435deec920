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

#include "base/fatal.h"
#include "base/log.h"
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
} headless;

void PlatHeadlessSetNativeBoxesFail(int fail) { headless.boxesFail = fail != 0; }

void PlatHeadlessSetImageWriter(PlatImageWriter writer) { headless.writeImage = writer; }
void PlatHeadlessSetPngWriter(PlatImageWriter writer) { headless.writePng = writer; }
void PlatHeadlessSetDumpWriter(PlatDumpWriter writer) { headless.writeDump = writer; }
void PlatHeadlessSetOpenQuery(PlatOpenQuery query) { headless.isOpen = query; }

static uint64_t RealMs(void)
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000 + (uint64_t)t.tv_nsec / 1000000;
}

enum { WAITFOR_NAP_US = 5000 };   // real time between turns while a `waitfor` waits


int PlatTakeScriptedAnswer(void)
{
    if (!headless.active || headless.answers.empty()) return 0;
    int answer = headless.answers.front();
    headless.answers.pop_front();
    return answer;
}

static int HeadlessInit(const PlatOptions* options)
{
    headless.steps.clear();
    headless.next = 0;
    headless.waiting = 0;
    headless.finished = RUN_GOING;
    headless.answers.clear();
    headless.waitforSince = 0;
    headless.clock = 0;
    headless.turns = 0;
    headless.boxesFail = 0;
    headless.maxFrames = options->maxFrames;
    headless.active = 1;
    headless.presented.clear();
    headless.width = headless.height = headless.bpp = 0;
    headless.windowW = headless.windowH = 0;
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
        if (ScriptParse(source, options->script, headless.steps, error) != 0) {
            LogPrintf(LOG_ERROR, "tolbex: %s", error.c_str());
            return 2;
        }
    }
    return 0;
}

static void HeadlessShutdown(void)
{
    headless.active = 0;
    headless.presented.clear();
    headless.presented.shrink_to_fit();
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

static int32_t PointerParam(void) { return (int32_t)(((uint32_t)(uint16_t)headless.pointerY << 16) | (uint16_t)headless.pointerX); }

// A command that cannot do its work ends the run with its own exit code: a scripted check
// must never pass without having been made.
static void FailRun(const ScriptStep& s, const char* why)
{
    LogPrintf(LOG_ERROR, "HEADLESS: script line %d failed: %s", s.line, why);
    if (headless.finished != RUN_GOING) return;
    PlatPostMessage(NM_QUIT, EXIT_SCRIPT_FAILED, 0);
    headless.finished = RUN_STEP_FAILED;
}

// `waitfor`: another process hands the file in, in real time; the run's turns go on (short
// naps between them) until the editor has it open. 1 when the step is done (or failed).
static int WaitFor(const ScriptStep& s)
{
    if (headless.isOpen && headless.isOpen(s.text.c_str())) {
        headless.waitforSince = 0;
        return 1;
    }
    uint64_t now = RealMs();
    if (!headless.waitforSince) headless.waitforSince = now;
    if (now - headless.waitforSince >= (uint64_t)s.a * 1000) {
        headless.waitforSince = 0;
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
    if (headless.presented.empty()) {
        FailRun(s, ("screenshot " + name + ": nothing has been presented yet").c_str());
        return;
    }
    std::vector<uint8_t> rgb((size_t)headless.width * headless.height * 3);
    int bytes = headless.bpp / 8;
    for (int y = 0; y < headless.height; y++)
        for (int x = 0; x < headless.width; x++) {
            uint8_t* d = &rgb[((size_t)y * headless.width + x) * 3];
            VideoUnpackPixel(&headless.presented[((size_t)y * headless.width + x) * bytes], headless.bpp, &d[0], &d[1], &d[2]);
        }
    if (!headless.writeImage || headless.writeImage(name.c_str(), rgb.data(), headless.width, headless.height) != 0)
        FailRun(s, ("screenshot " + name + " could not be written").c_str());
}

// A rectangle of the last presented frame, each pixel repeated `scale` times each way.
static void Shot(const ScriptStep& s)
{
    const std::string& name = s.text;
    if (headless.presented.empty()) {
        FailRun(s, ("shot " + name + ": nothing has been presented yet").c_str());
        return;
    }
    // Compared in 64 bits: X + W may pass an int's range.
    if (s.a < 0 || s.b < 0 || (int64_t)s.a + s.width > headless.width || (int64_t)s.b + s.height > headless.height) {
        char why[200];
        snprintf(why, sizeof why, "shot %.100s: the rectangle %d,%d %dx%d is not inside the %dx%d screen", name.c_str(),
                 s.a, s.b, s.width, s.height, headless.width, headless.height);
        FailRun(s, why);
        return;
    }
    int scale = s.scale == 2 ? 2 : 1;
    int outW = s.width * scale, outH = s.height * scale;
    std::vector<uint8_t> rgb((size_t)outW * outH * 3);
    int bytes = headless.bpp / 8;
    for (int y = 0; y < outH; y++)
        for (int x = 0; x < outW; x++) {
            size_t from = ((size_t)(s.b + y / scale) * headless.width + (size_t)(s.a + x / scale)) * bytes;
            uint8_t* d = &rgb[((size_t)y * outW + x) * 3];
            VideoUnpackPixel(&headless.presented[from], headless.bpp, &d[0], &d[1], &d[2]);
        }
    if (!headless.writePng || headless.writePng(name.c_str(), rgb.data(), outW, outH) != 0)
        FailRun(s, ("shot " + name + " could not be written").c_str());
}

// By the script's button numbers (SCRIPT_BUTTON_*).
static const uint32_t kButtonDown[SCRIPT_BUTTONS] = {NM_LBUTTONDOWN, NM_RBUTTONDOWN, NM_MBUTTONDOWN};
static const uint32_t kButtonUp[SCRIPT_BUTTONS] = {NM_LBUTTONUP, NM_RBUTTONUP, NM_MBUTTONUP};

static void RunStep(const ScriptStep& s)
{
    switch (s.op) {
    case SCRIPT_WAIT: headless.waiting = s.a; break;
    case SCRIPT_MOVE:
        headless.pointerX = s.a;
        headless.pointerY = s.b;
        PlatPostMessage(NM_MOUSEMOVE, 0, PointerParam());
        break;
    case SCRIPT_PRESS: PlatPostMessage(kButtonDown[s.a], 0, PointerParam()); break;
    case SCRIPT_RELEASE: PlatPostMessage(kButtonUp[s.a], 0, PointerParam()); break;
    case SCRIPT_WHEEL: PlatPostMessage(NM_MOUSEWHEEL, (uint32_t)s.a, PointerParam()); break;
    case SCRIPT_KEYDOWN: InputQueueKey(s.a, 1); break;
    case SCRIPT_KEYUP: InputQueueKey(s.a, 0); break;
    case SCRIPT_TEXT: InputQueueText(s.text.c_str()); break;
    case SCRIPT_ANSWER: headless.answers.push_back(s.a); break;
    case SCRIPT_CLOSE: PlatRequestClose(); break;
    case SCRIPT_DROP: PlatDropFile(s.text.c_str()); break;
    case SCRIPT_SCREENSHOT: Screenshot(s); break;
    case SCRIPT_SHOT: Shot(s); break;
    case SCRIPT_ADVANCE: headless.clock += (uint32_t)s.a; break;
    case SCRIPT_WAITFOR: break;   // the pump runs it
    case SCRIPT_RESIZE: PlatHeadlessResize(s.a, s.b); break;
    case SCRIPT_FATAL: FatalError("%s", s.text.c_str());
    case SCRIPT_DUMP:
        if (!headless.writeDump || headless.writeDump(s.text.c_str()) != 0) FailRun(s, ("dump " + s.text + " could not be written").c_str());
        break;
    }
}

void PlatHeadlessAdvanceClock(uint32_t ms) { headless.clock += ms; }

static void HeadlessPump(void)
{
    headless.clock += TURN_MS;
    if (!headless.active) return;
    headless.turns++;
    if (headless.maxFrames > 0 && headless.turns > headless.maxFrames) {
        if (headless.finished == RUN_GOING) {
            LogPrintf(LOG_ERROR, "HEADLESS: --max-frames %d reached, ending the run", headless.maxFrames);
            PlatPostMessage(NM_QUIT, EXIT_FRAME_LIMIT, 0);
            headless.finished = RUN_FRAME_LIMIT;
        }
        return;
    }
    while (headless.finished == RUN_GOING) {
        if (headless.waiting > 0) {
            headless.waiting--;
            return;
        }
        if (headless.next < headless.steps.size() && headless.steps[headless.next].op == SCRIPT_WAITFOR) {
            if (!WaitFor(headless.steps[headless.next])) return;
            headless.next++;
            continue;
        }
        if (headless.next >= headless.steps.size()) {
            // The end of the script is a confirmed close.
            PlatPostMessage(NM_QUIT, 0, 0);
            headless.finished = RUN_SCRIPT_DONE;
            return;
        }
        RunStep(headless.steps[headless.next++]);
    }
}

static int HeadlessSetMode(int width, int height, int bpp)
{
    if (bpp != 16 && bpp != 32) return 1;
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) return 1;
    headless.width = width;
    headless.height = height;
    headless.bpp = bpp;
    headless.presented.clear();
    return 0;
}

static void HeadlessReleaseMode(void)
{
    headless.presented.clear();
    headless.width = headless.height = headless.bpp = 0;
}

static int HeadlessVisible(void) { return 1; }

static void HeadlessPresent(const uint8_t* pixels, int pitch, int width, int height, int bpp)
{
    if (width != headless.width || height != headless.height || bpp != headless.bpp) return;
    size_t row = (size_t)width * (bpp / 8);
    headless.presented.resize(row * height);
    for (int y = 0; y < height; y++) memcpy(&headless.presented[row * y], pixels + (size_t)pitch * y, row);
}

static uint32_t HeadlessTicks(void) { return headless.clock; }

void PlatHeadlessResize(int width, int height)
{
    headless.windowW = width;
    headless.windowH = height;
    PlatMarkActivity();
}

static void HeadlessWindowPixels(int* width, int* height)
{
    *width = headless.windowW ? headless.windowW : headless.width * ScreenUiScale();
    *height = headless.windowH ? headless.windowH : headless.height * ScreenUiScale();
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
    if (headless.boxesFail) return ID_FAILED;
    int fallback = PlatDefaultAnswer(flags);
    if (headless.answers.empty()) return fallback;
    int answer = headless.answers.front();
    headless.answers.pop_front();
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
