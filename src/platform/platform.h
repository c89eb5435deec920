// Platform services: the only way the rest of the program reaches the machine. Video modes
// and the framebuffer, drawing targets, the millisecond clock, keyboard and pointer state,
// native message boxes, file operations and sprites. The back end (a real window through
// SDL2, or the scripted headless one) is chosen once by PlatSelect and filled into a
// driver table; nothing above this header knows which one runs.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/files.h"
#include "base/res.h"
#include "platform/sprite.h"
#include "platform/video.h"

// ============================================================================================
// Back end selection and native messages
// ============================================================================================

enum { PLAT_SDL = 0, PLAT_HEADLESS = 1 };

struct PlatOptions {
    int headless;            // PLAT_HEADLESS selects the scripted back end
    const char* script;      // headless: script file, or null for none
    int maxFrames;           // headless: end the run after this many main-loop turns (0 = no limit)
};

// Exit codes of the program beyond 0 (done).
enum {
    EXIT_FATAL = 1,             // a fatal error, or no display
    EXIT_USAGE = 2,             // a bad option, or a script that cannot be read or has a bad line
    EXIT_FRAME_LIMIT = 3,       // a headless run reached --max-frames
    EXIT_SCRIPT_FAILED = 4,     // a script command failed (a screenshot that cannot be written)
    EXIT_ALREADY_RUNNING = 5,   // a scripted run found another copy running
};

// Chooses and starts the back end. Returns 0, or the exit code the program should end with
// (EXIT_USAGE: the script is unreadable or has a bad line; EXIT_FATAL: no display), the
// reason logged.
int PlatSelect(const PlatOptions* options);
void PlatShutdown(void);
int PlatIsHeadless(void);
const char* PlatBackendName(void);
// Moves the headless clock on (tests of timing); the headless clock otherwise advances 20 ms
// at every message drain.
void PlatHeadlessAdvanceClock(uint32_t ms);
// Tests: the native message box fails to show (ID_FAILED) as SDL's does on a display without
// the fonts it needs; the next headless start shows boxes again.
void PlatHeadlessSetNativeBoxesFail(int fail);
// The writer of headless screenshots (RGB rows from the top, 3 bytes a pixel; 0 on success).
// The picture file format lives above the platform, so the program hands its writer in;
// without one a screenshot command fails the run.
typedef int (*PlatImageWriter)(const char* fileName, const uint8_t* rgb, int width, int height);
void PlatHeadlessSetImageWriter(PlatImageWriter writer);
// The writer of the script's `shot`, a cut of the screen as a PNG file; without one a shot
// command fails the run.
void PlatHeadlessSetPngWriter(PlatImageWriter writer);
// The writer of the script's `dump FILE`: what the screen holds, as the program describes it
// (0 on success). Without one a dump command fails the run.
typedef int (*PlatDumpWriter)(const char* fileName);
void PlatHeadlessSetDumpWriter(PlatDumpWriter writer);
// The script's `waitfor FILE`: 1 when the editor has FILE open.
typedef int (*PlatOpenQuery)(const char* name);
void PlatHeadlessSetOpenQuery(PlatOpenQuery query);
// The next scripted answer to a message box (ID_OK, ID_YES, ID_NO or ID_CANCEL), taken from
// the queue; 0 when none waits (and always outside a scripted run). The program's own drawn
// boxes ask here, so a script answers them as it answers native ones.
int PlatTakeScriptedAnswer(void);

// Native messages, numbered as the kernel window procedure expects them.
enum {
    NM_DESTROY = 0x0002,
    NM_ACTIVATE = 0x0006,
    NM_CLOSE = 0x0010,
    NM_QUIT = 0x0012,
    NM_MOUSEMOVE = 0x0200,
    NM_LBUTTONDOWN = 0x0201,
    NM_LBUTTONUP = 0x0202,
    NM_LBUTTONDBLCLK = 0x0203,
    NM_RBUTTONDOWN = 0x0204,
    NM_RBUTTONUP = 0x0205,
    NM_RBUTTONDBLCLK = 0x0206,
    NM_MBUTTONDOWN = 0x0207,
    NM_MBUTTONUP = 0x0208,
    NM_MOUSEWHEEL = 0x020A,   // wParam: notches as a signed value, + away from the user
};

struct NativeMsg {
    uint32_t msg;
    uint32_t wParam;
    int32_t lParam;   // pointer messages: x in the low 16 bits, y in the high 16 bits
};

// Creates the native window (hidden until the first mode set). 0 on failure.
int PlatCreateWindow(const char* title);
void PlatDestroyWindow(void);
// 1 from a window's creation until it is destroyed (or the back end shut down).
int PlatWindowOpen(void);
void PlatShowWindow(void);
// Brings the window to the front and out of its minimised state (a file handed in).
void PlatRaiseWindow(void);
// Desktop rectangle: left, top, right, bottom.
void PlatDesktopRect(int32_t rect[4]);
// Takes the next pending native message without waiting; 0 when the queue is empty. The
// first call of a main-loop turn lets the back end collect its events.
int PlatPeekMessage(NativeMsg* out);
void PlatPostMessage(uint32_t msg, uint32_t wParam, int32_t lParam);
// Shows the native window once after its creation (a mode change asks first) and reads the
// desktop rectangle again; PlatWindowShown is 1 from then until the window is destroyed.
void PlatShowWindowOnce(void);
int PlatWindowShown(void);
// The desktop rectangle as last read (PlatReadDesktop, or when the window was shown).
void PlatReadDesktop(void);
void PlatDesktopRectRead(int32_t rect[4]);
// Whether the program's window is the active one: while not, the keyboard and the pointer
// read nothing. The kernel sets it from the activation messages.
int PlatAppActive(void);
void PlatSetAppActive(int on);
// A native-message filter: returns non-zero when it has consumed the message. The kernel's
// window procedure offers each message to the filters, newest first, until one consumes it.
typedef int (*MessageHookFn)(void* window, uint32_t msg, uint32_t wParam, int32_t lParam);
enum { PLAT_MAX_HOOKS = 10 };
// Adds a filter (once). Fatal when the list is full.
void RegisterMessageHook(MessageHookFn fn);
// 1 when a filter consumed the message.
int PlatRunMessageHooks(void* window, uint32_t msg, uint32_t wParam, int32_t lParam);
// The user asked to close the native window: posts one NM_CLOSE unless one is waiting.
void PlatRequestClose(void);
// Files dropped on the window (the desktop's drag and drop, the headless script's `drop`),
// kept in order until the editor takes them: PlatTakeDroppedFile gives the oldest (1) or
// nothing (0). At most PLAT_DROP_QUEUE wait; a name longer than out is not given cut.
enum { PLAT_DROP_QUEUE = 16 };
void PlatDropFile(const char* path);
int PlatTakeDroppedFile(char* out, size_t size);

// ============================================================================================
// Native message boxes
// ============================================================================================

enum {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_YESNOCANCEL = 0x03,
    MB_YESNO = 0x04,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_DEFBUTTON2 = 0x100,   // an unanswered scripted box takes the second button (No)
};
// ID_FAILED: the box could not be shown at all (no answer was given).
enum { ID_FAILED = 0, ID_OK = 1, ID_CANCEL = 2, ID_YES = 6, ID_NO = 7 };

// Shows a native box and returns the button pressed. Every box is also written to the
// developer log as MSGBOX "<title>" "<text>".
int PlatMessageBox(const char* title, const char* text, int flags);

// ============================================================================================
// Timer
// ============================================================================================

void TimerInstall(void);
void TimerRemove(void);
uint32_t TimerMs(void);
// Bit 9 of the millisecond clock: 512 ms on, 512 ms off.
int TimerBlink(void);

// ============================================================================================
// Input: keyboard and pointer state by scan code (the PC keyboard's set 1 codes)
// ============================================================================================

enum {
    KEY_ESCAPE = 0x01, KEY_1 = 0x02, KEY_0 = 0x0B, KEY_MINUS = 0x0C, KEY_EQUALS = 0x0D,
    KEY_BACK = 0x0E, KEY_TAB = 0x0F, KEY_Q = 0x10, KEY_W = 0x11, KEY_E = 0x12, KEY_R = 0x13,
    KEY_T = 0x14, KEY_Y = 0x15, KEY_U = 0x16, KEY_I = 0x17, KEY_O = 0x18, KEY_P = 0x19,
    KEY_LBRACKET = 0x1A, KEY_RBRACKET = 0x1B, KEY_RETURN = 0x1C, KEY_LCONTROL = 0x1D,
    KEY_A = 0x1E, KEY_S = 0x1F, KEY_D = 0x20, KEY_F = 0x21, KEY_G = 0x22, KEY_H = 0x23,
    KEY_J = 0x24, KEY_K = 0x25, KEY_L = 0x26, KEY_SEMICOLON = 0x27, KEY_APOSTROPHE = 0x28,
    KEY_GRAVE = 0x29, KEY_LSHIFT = 0x2A, KEY_BACKSLASH = 0x2B, KEY_Z = 0x2C, KEY_X = 0x2D,
    KEY_C = 0x2E, KEY_V = 0x2F, KEY_B = 0x30, KEY_N = 0x31, KEY_M = 0x32, KEY_COMMA = 0x33,
    KEY_PERIOD = 0x34, KEY_SLASH = 0x35, KEY_RSHIFT = 0x36, KEY_MULTIPLY = 0x37,
    KEY_LMENU = 0x38, KEY_SPACE = 0x39, KEY_CAPITAL = 0x3A, KEY_F1 = 0x3B, KEY_F10 = 0x44,
    KEY_NUMLOCK = 0x45, KEY_SCROLL = 0x46, KEY_NUMPAD7 = 0x47, KEY_NUMPAD8 = 0x48,
    KEY_NUMPAD9 = 0x49, KEY_SUBTRACT = 0x4A, KEY_NUMPAD4 = 0x4B, KEY_NUMPAD5 = 0x4C,
    KEY_NUMPAD6 = 0x4D, KEY_ADD = 0x4E, KEY_NUMPAD1 = 0x4F, KEY_NUMPAD2 = 0x50,
    KEY_NUMPAD3 = 0x51, KEY_NUMPAD0 = 0x52, KEY_DECIMAL = 0x53, KEY_OEM_102 = 0x56,
    KEY_F11 = 0x57, KEY_F12 = 0x58, KEY_NUMPADENTER = 0x9C, KEY_RCONTROL = 0x9D,
    KEY_DIVIDE = 0xB5, KEY_SYSRQ = 0xB7, KEY_RMENU = 0xB8, KEY_PAUSE = 0xC5, KEY_HOME = 0xC7,
    KEY_UP = 0xC8, KEY_PRIOR = 0xC9, KEY_LEFT = 0xCB, KEY_RIGHT = 0xCD, KEY_END = 0xCF,
    KEY_DOWN = 0xD0, KEY_NEXT = 0xD1, KEY_INSERT = 0xD2, KEY_DELETE = 0xD3, KEY_LWIN = 0xDB,
    KEY_RWIN = 0xDC, KEY_APPS = 0xDD,
    KEY_MOUSE_LEFT = 0x80, KEY_MOUSE_RIGHT = 0x81, KEY_MOUSE_MIDDLE = 0x82,
};
// The program's own codes for the cursor keys, as the translation tables give them. Typed
// text beyond them is Unicode: KeyRead gives a code point for it (ASCII as it is).
enum { CH_UP = 1, CH_DOWN = 2, CH_LEFT = 3, CH_RIGHT = 4, CH_DELETE = 5, CH_HOME = 6, CH_END = 7,
       CH_BACKSPACE = 8, CH_TAB = 9, CH_ENTER = 13, CH_ESCAPE = 27, CH_POUND = 0x9C };
enum { INPUT_KEY_BUFFER = 16 };

// Registers the pointer hook and the removal.
void InputInstall(void);
void InputRemove(void);
int InputIsInstalled(void);
// Reads the buffered keyboard events (at most 16 a poll) into the key state table.
void KeyPoll(void);
// Both poll first. A press is read once; a key pressed and released between two reads
// still reads as pressed until the main-loop turn after its release.
int KeyPressed(int scanCode);
int KeyHeld(int scanCode);
// The next character, in the order the keys were pressed and the text typed; keys without one
// are taken and passed over. A press read here is not read again by KeyPressed, nor the other
// way round. A character is one of the CH_ codes, a printable ASCII character, CH_POUND from
// the tables, or the Unicode code point of typed text.
int KeyRead(void);
// 0 when the code has no character.
int KeyTranslate(int scanCode, int shifted);
void PointerPos(int* x, int* y);
// Applies the queued pointer events up to and including the next button change. Returns 1
// when more events wait behind that change: the reader then looks at the state and calls
// again, so that every press and release is seen in order, even several in one frame.
int PointerAdvance(void);
// The wheel notches the events applied so far turned (+ away from the user), taken once. A
// turn of the wheel counts as a change of its own, so it is read where the pointer was.
int PointerTakeWheel(void);
// Lets unread presses of released keys lapse; the first message drain of a turn calls it.
void InputNewTurn(void);
void InputReleaseDevices(void);
// Native virtual-key code to scan code (1, 2 and 4, the pointer buttons, give 0x80, 0x81 and 0x82).
int InputVirtualKeyToScan(int virtualKey);
// The pointer hook that the kernel's message drain calls: queues moves and button changes.
int InputMessageHook(void* window, uint32_t msg, uint32_t wParam, int32_t lParam);
// Back ends queue key transitions here, as the keyboard device buffers them.
void InputQueueKey(int scanCode, int down);
// The desktop's auto-repeat of a held key (or a second press the desktop took for one): one
// more character for the reader where the key edits text (Backspace, Delete, the cursor keys)
// or text follows it, never a press for KeyPressed.
void InputQueueRepeat(int scanCode);
// Text typed (UTF-8), as the desktop's keyboard layout and input method make it. It belongs
// to the key pressed just before it, if any, and replaces that key's own character.
void InputQueueText(const char* utf8);
// On: the back end sends typed text as text, so printable characters come only from text and
// a key's table character is not used (Ctrl+S types nothing). Off (the default, and headless
// runs): printable characters come from the translation tables.
void InputSetTextEvents(int on);
// Forgets every key, button and queued event (tests, and the reinstall of the editor start).
void InputReset(void);

// ============================================================================================
// Handing a file to the running copy: a local socket beside the single-copy lock
// ============================================================================================

enum {
    HANDOFF_REQUEST_MAX = 4200,     // bytes of one request: a path of 4095 and its word
    HANDOFF_REPLY_MAX = 512,
    HANDOFF_ANSWER_MS = 10000,      // how long a second start waits for the running copy
};
// Requests: "OPEN <full path>" (the path may hold any byte but NUL) or "RAISE"; replies:
// "OK" or "NO <reason>". Each is one message ended by NUL or the end of the connection.
//
// The running copy: listens at path (a stale socket there is removed: the caller holds the
// lock). 0, or 1 with the reason logged (the program then runs without taking files in).
int HandoffListen(const char* path);
void HandoffClose(void);
// Takes one waiting request without blocking: 1 with its text in request, else 0. The
// caller must answer it with HandoffReply before taking the next.
int HandoffTake(char* request, size_t size);
void HandoffReply(const char* reply);
// A second start: sends a request and waits up to HANDOFF_ANSWER_MS for the reply. 0 with the
// reply in `reply`; 1 when nobody listens or answers (reply then says why).
int HandoffSend(const char* path, const char* request, char* reply, size_t size);

// ============================================================================================
// OpenGL (the hardware renderer's context: 3.3 core, without a surface)
// ============================================================================================

// Opens the context and makes it current: 0, or 1 with the reason in why (no libEGL, no
// surfaceless display, no 3.3 core context; TOLBEX_GL=off in the environment refuses too).
// Harmless while open.
int PlatGLOpen(char* why, size_t whySize);
void PlatGLClose(void);
// The context current on this thread again (after the window was presented): 1, or 0 when
// there is no context or it cannot be made current. The back end's own presenting context,
// if any, is let go first.
int PlatGLMakeCurrent(void);
// Lets go of the context so that the back end can present; done before every present.
void PlatGLRelease(void);
int PlatGLIsOpen(void);
// A GL or EGL function by name; null while closed or when it does not exist.
void* PlatGLProc(const char* name);
// The GL renderer's name ("" while closed).
const char* PlatGLRenderer(void);
