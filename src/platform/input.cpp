// Keyboard and pointer state by scan code. The back end queues key transitions as a
// buffered keyboard device would; reads poll that queue, 16 events at a time, into the
// key state table. Pointer messages arrive through the pointer hook and wait in a queue of
// their own until the window manager takes them, one button change at a time, so that a
// press and its release that arrive within one frame are both seen, in order.
#include <cstring>
#include <initializer_list>

#include "base/fatal.h"
#include "base/log.h"
#include "base/str.h"
#include "platform/platform.h"
#include "platform/screen.h"

enum {
    KEY_PRESSED = 1,     // a press not yet read
    KEY_HELD = 2,        // the key is down
    KEY_EXPIRING = 4,    // released: an unread press lapses at the next main-loop turn
    EVENT_QUEUE = 256,
    TYPED_QUEUE = 64,
    POINTER_QUEUE = 256,
};

enum { EVENT_UP = 0, EVENT_DOWN = 1, EVENT_REPEAT = 2, EVENT_TEXT = 3 };

// A character waiting for the reader: a key press (translated when read), or typed text,
// alone or joined to the press that typed it.
struct TypedKey {
    uint8_t code;       // 0: text without a key
    uint8_t shifted;
    uint8_t expiring;
    uint8_t repeat;     // a held key's repeat: no press of its own
    uint32_t text;      // a code point, 0 for none
};

struct KeyEvent {
    uint8_t code;
    uint8_t kind;
    uint32_t text;
};

struct PointerEvent {
    uint32_t msg;
    int16_t x, y;
    int32_t notches;    // NM_MOUSEWHEEL
};

static struct {
    int installed;
    int textEvents;
    uint8_t state[256];
    KeyEvent events[EVENT_QUEUE];
    int head, count;
    // Presses and text in the order they came, for the character reader.
    TypedKey typed[TYPED_QUEUE];
    int typedCount;
    int textJoins;      // the last typed entry came from the event just polled: text joins it
    PointerEvent pointer[POINTER_QUEUE];
    int pointerHead, pointerCount;
    int pointerX, pointerY;
    int wheel;          // notches applied and not yet taken
} input;

// ---- translation tables ---------------------------------------------------------------------

static uint8_t unshifted[256];
static uint8_t shifted[256];

static void Fill(uint8_t* table, int first, const char* chars)
{
    for (int i = 0; chars[i]; i++) table[first + i] = (uint8_t)chars[i];
}

static void BuildTables(void)
{
    static int built;
    if (built) return;
    built = 1;
    Fill(unshifted, 0x02, "1234567890-=");
    Fill(unshifted, 0x10, "qwertyuiop[]");
    Fill(unshifted, 0x1E, "asdfghjkl;'`");
    Fill(unshifted, 0x2B, "\\zxcvbnm,./");
    Fill(shifted, 0x02, "!\"\x9c$%^&*()_+");
    Fill(shifted, 0x10, "QWERTYUIOP{}");
    Fill(shifted, 0x1E, "ASDFGHJKL:@`");
    Fill(shifted, 0x2B, "|ZXCVBNM<>?");
    for (uint8_t* t : {unshifted, shifted}) {
        t[0x0E] = CH_BACKSPACE;
        t[0x0F] = CH_TAB;
        t[0x1C] = CH_ENTER;
        // Escape reaches the focused window too: dialogs cancel with it.
        t[0x01] = CH_ESCAPE;
        t[0x39] = ' ';
    }
    // The cursor keys, on the keypad and on their own block, give the program's own codes;
    // shifted they give nothing.
    const uint8_t cursor[7][3] = {
        {0x48, 0xC8, CH_UP}, {0x50, 0xD0, CH_DOWN}, {0x4B, 0xCB, CH_LEFT},
        {0x4D, 0xCD, CH_RIGHT}, {0x53, 0xD3, CH_DELETE}, {0x47, 0xC7, CH_HOME}, {0x4F, 0xCF, CH_END},
    };
    for (const auto& c : cursor) unshifted[c[0]] = unshifted[c[1]] = c[2];
}

int KeyTranslate(int scanCode, int isShifted)
{
    BuildTables();
    if (scanCode < 0 || scanCode > 255) return 0;
    return isShifted ? shifted[scanCode] : unshifted[scanCode];
}

// ---- install --------------------------------------------------------------------------------

void InputInstall(void)
{
    BuildTables();
    if (!input.installed) InputReset();
    input.installed = 1;
    RegisterMessageHook(InputMessageHook);
    RegisterExit(InputRemove);
}

void InputRemove(void)
{
    input.installed = 0;
    InputReset();
}

int InputIsInstalled(void) { return input.installed; }

void InputReset(void)
{
    memset(input.state, 0, sizeof input.state);
    input.head = input.count = 0;
    input.typedCount = 0;
    input.textJoins = 0;
    input.pointerHead = input.pointerCount = 0;
    input.wheel = 0;
}

void InputSetTextEvents(int on) { input.textEvents = on != 0; }

void InputReleaseDevices(void)
{
    // The pointer is never held exclusively here: the native window shares it with the
    // desktop at all times, so there is nothing to hand back. Pending input is kept.
}

// ---- keyboard -------------------------------------------------------------------------------

static void QueueEvent(int scanCode, int kind, uint32_t text)
{
    if (input.count == EVENT_QUEUE) {
        LogPrintf(LOG_WARN, "INPUT: keyboard buffer overflow, oldest event lost");
        input.head = (input.head + 1) % EVENT_QUEUE;
        input.count--;
    }
    int slot = (input.head + input.count) % EVENT_QUEUE;
    input.events[slot] = KeyEvent{(uint8_t)scanCode, (uint8_t)kind, text};
    input.count++;
}

void InputQueueKey(int scanCode, int down)
{
    if (scanCode <= 0 || scanCode > 255) return;
    QueueEvent(scanCode, down ? EVENT_DOWN : EVENT_UP, 0);
}

void InputQueueRepeat(int scanCode)
{
    if (scanCode <= 0 || scanCode > 255) return;
    QueueEvent(scanCode, EVENT_REPEAT, 0);
}

void InputQueueText(const char* utf8)
{
    // A byte that starts no character is passed over: the reader gets whole characters only.
    for (const char* s = utf8 ? utf8 : ""; *s;) {
        uint32_t cp = 0;
        int length = StrUtf8Decode(s, &cp);
        s += length ? length : 1;
        if (length && cp >= 32 && cp != 127) QueueEvent(0, EVENT_TEXT, cp);
    }
}

static void RemoveTyped(int i)
{
    memmove(&input.typed[i], &input.typed[i + 1], sizeof(TypedKey) * (size_t)(input.typedCount - i - 1));
    input.typedCount--;
}

// A press stays readable until it is read, or until the turn after its key came up: a key
// tapped within one frame still counts, but a press nobody asked for does not linger.
void InputNewTurn(void)
{
    for (int code = 0; code < 256; code++)
        if (input.state[code] & KEY_EXPIRING) input.state[code] = 0;
    for (int i = input.typedCount - 1; i >= 0; i--)
        if (input.typed[i].expiring) RemoveTyped(i);
}

static void AddTyped(TypedKey k)
{
    if (input.typedCount == TYPED_QUEUE) RemoveTyped(0);
    input.typed[input.typedCount++] = k;
}

void KeyPoll(void)
{
    for (int n = 0; n < INPUT_KEY_BUFFER && input.count > 0; n++) {
        KeyEvent e = input.events[input.head];
        input.head = (input.head + 1) % EVENT_QUEUE;
        input.count--;
        int joins = input.textJoins;
        input.textJoins = 0;
        uint8_t code = e.code;
        uint8_t shift = ((input.state[KEY_LSHIFT] | input.state[KEY_RSHIFT]) & KEY_HELD) != 0;
        switch (e.kind) {
        case EVENT_UP:
            input.state[code] &= (uint8_t)~KEY_HELD;
            if (input.state[code] & KEY_PRESSED) input.state[code] |= KEY_EXPIRING;
            for (int i = 0; i < input.typedCount; i++)
                if (input.typed[i].code == code) input.typed[i].expiring = 1;
            break;
        case EVENT_DOWN:
            input.state[code] = KEY_PRESSED | KEY_HELD;
            AddTyped(TypedKey{code, shift, 0, 0, 0});
            input.textJoins = 1;
            break;
        case EVENT_REPEAT:
            // Read in this turn or never: a repeat that waited would type late.
            AddTyped(TypedKey{code, shift, 1, 1, 0});
            input.textJoins = 1;
            break;
        case EVENT_TEXT:
            // The text a key press typed stands in for the key's own character (keypad 8
            // with Num Lock types '8' rather than moving the cursor).
            if (joins && input.typedCount > 0 && !input.typed[input.typedCount - 1].text)
                input.typed[input.typedCount - 1].text = e.text;
            else
                AddTyped(TypedKey{0, 0, 1, 0, e.text});
            break;
        default: break;
        }
    }
}

int KeyPressed(int scanCode)
{
    KeyPoll();
    if (!PlatAppActive() || scanCode < 0 || scanCode > 255) return 0;
    int pressed = input.state[scanCode] & KEY_PRESSED;
    input.state[scanCode] &= (uint8_t)~(KEY_PRESSED | KEY_EXPIRING);
    // A press taken by its code is not read again as a character.
    if (pressed) {
        for (int i = 0; i < input.typedCount; i++)
            if (input.typed[i].code == scanCode && !input.typed[i].repeat) {
                RemoveTyped(i);
                break;
            }
    }
    return pressed;
}

int KeyHeld(int scanCode)
{
    // Polling here too: a key that is only ever asked whether it is held (Alt of Alt+G)
    // would otherwise wait for some other read to fetch its events.
    KeyPoll();
    if (!PlatAppActive() || scanCode < 0 || scanCode > 255) return 0;
    return input.state[scanCode] & KEY_HELD;
}

int KeyAnyHeld(void)
{
    KeyPoll();
    if (!PlatAppActive()) return 0;
    for (int code = 1; code < 256; code++) {
        // Modifiers and buttons change nothing by being held: what they go with comes as events.
        switch (code) {
        case KEY_LSHIFT: case KEY_RSHIFT: case KEY_LCONTROL: case KEY_RCONTROL: case KEY_LMENU: case KEY_RMENU:
        case KEY_LWIN: case KEY_RWIN: case KEY_CAPITAL: case KEY_NUMLOCK:
        case KEY_MOUSE_LEFT: case KEY_MOUSE_RIGHT: case KEY_MOUSE_MIDDLE: continue;
        default: break;
        }
        if (input.state[code] & KEY_HELD) return 1;
    }
    return 0;
}

// The character a typed entry reads as: its text; else its key's table character, except
// printable ones while text comes as text, and for a repeat only the keys that edit text.
static int Character(const TypedKey& k)
{
    if (k.text) return (int)k.text;
    int c = KeyTranslate(k.code, k.shifted);
    if (input.textEvents && (c >= 32 || c == 0)) return 0;
    if (k.repeat && c != CH_BACKSPACE && c != CH_DELETE && !(c >= CH_UP && c <= CH_END)) return 0;
    return c;
}

int KeyRead(void)
{
    KeyPoll();
    if (!PlatAppActive()) return 0;
    // Presses come in the order they were made. Keys without a character (Shift, the
    // function keys) are taken and passed over: a reader that stops at the first 0 would
    // leave the keys behind them to be lost.
    while (input.typedCount > 0) {
        TypedKey k = input.typed[0];
        RemoveTyped(0);
        if (k.code && !k.repeat) input.state[k.code] &= (uint8_t)~(KEY_PRESSED | KEY_EXPIRING);
        if (int c = Character(k)) return c;
    }
    return 0;
}

// ---- pointer --------------------------------------------------------------------------------

void PointerPos(int* x, int* y)
{
    if (x) *x = input.pointerX;
    if (y) *y = input.pointerY;
}

static int IsButtonMessage(uint32_t msg)
{
    return msg == NM_LBUTTONDOWN || msg == NM_LBUTTONUP || msg == NM_RBUTTONDOWN || msg == NM_RBUTTONUP ||
           msg == NM_MBUTTONDOWN || msg == NM_MBUTTONUP || msg == NM_MOUSEWHEEL;
}

static void ApplyPointer(const PointerEvent& e)
{
    switch (e.msg) {
    case NM_MOUSEMOVE:
        input.pointerX = e.x;
        input.pointerY = e.y;
        break;
    case NM_LBUTTONDOWN: input.state[KEY_MOUSE_LEFT] = KEY_PRESSED | KEY_HELD; break;
    case NM_LBUTTONUP: input.state[KEY_MOUSE_LEFT] = 0; break;
    case NM_RBUTTONDOWN: input.state[KEY_MOUSE_RIGHT] = KEY_PRESSED | KEY_HELD; break;
    case NM_RBUTTONUP: input.state[KEY_MOUSE_RIGHT] = 0; break;
    case NM_MBUTTONDOWN: input.state[KEY_MOUSE_MIDDLE] = KEY_PRESSED | KEY_HELD; break;
    case NM_MBUTTONUP: input.state[KEY_MOUSE_MIDDLE] = 0; break;
    case NM_MOUSEWHEEL: {
        // A wheel spun hard for a long time stays within reach of an int.
        int64_t sum = (int64_t)input.wheel + e.notches;
        input.wheel = sum > 65535 ? 65535 : sum < -65535 ? -65535 : (int)sum;
        break;
    }
    default: break;
    }
}

int PointerAdvance(void)
{
    while (input.pointerCount > 0) {
        PointerEvent e = input.pointer[input.pointerHead];
        input.pointerHead = (input.pointerHead + 1) % POINTER_QUEUE;
        input.pointerCount--;
        ApplyPointer(e);
        if (IsButtonMessage(e.msg)) return input.pointerCount > 0;
    }
    return 0;
}

int PointerTakeWheel(void)
{
    int notches = input.wheel;
    input.wheel = 0;
    return notches;
}

int InputMessageHook(void* window, uint32_t msg, uint32_t wParam, int32_t lParam)
{
    (void)window;
    if (msg != NM_MOUSEMOVE && !IsButtonMessage(msg)) return 0;
    PointerEvent e{msg, (int16_t)(lParam & 0xFFFF), (int16_t)((uint32_t)lParam >> 16),
                   msg == NM_MOUSEWHEEL ? (int32_t)wParam : 0};
    if (msg == NM_MOUSEWHEEL && e.notches == 0) return 0;
    if (msg == NM_MOUSEMOVE && input.pointerCount > 0) {
        // Moves between two button changes only matter for where the pointer ends up.
        PointerEvent& last = input.pointer[(input.pointerHead + input.pointerCount - 1) % POINTER_QUEUE];
        if (last.msg == NM_MOUSEMOVE) {
            last = e;
            return 0;
        }
    }
    if (input.pointerCount == POINTER_QUEUE) {
        // Nobody has taken the pointer for a long time: the oldest event is applied without
        // its pass rather than lost, so that no button is left held.
        ApplyPointer(input.pointer[input.pointerHead]);
        input.pointerHead = (input.pointerHead + 1) % POINTER_QUEUE;
        input.pointerCount--;
    }
    input.pointer[(input.pointerHead + input.pointerCount) % POINTER_QUEUE] = e;
    input.pointerCount++;
    // Other hooks may want the same message: never consume it.
    return 0;
}

// ---- native key codes -------------------------------------------------------------------------

int InputVirtualKeyToScan(int vk)
{
    static const uint8_t letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                        0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                        0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    static const uint8_t numpad[10] = {0x52, 0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49};
    static const uint8_t fkeys[12] = {0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40,
                                      0x41, 0x42, 0x43, 0x44, 0x57, 0x58};
    if (vk >= 'A' && vk <= 'Z') return letters[vk - 'A'];
    if (vk >= '1' && vk <= '9') return 0x02 + (vk - '1');
    if (vk == '0') return 0x0B;
    if (vk >= 0x60 && vk <= 0x69) return numpad[vk - 0x60];
    if (vk >= 0x70 && vk <= 0x7B) return fkeys[vk - 0x70];
    switch (vk) {
    case 0x01: return KEY_MOUSE_LEFT;
    case 0x02: return KEY_MOUSE_RIGHT;
    case 0x04: return KEY_MOUSE_MIDDLE;
    case 0x08: return KEY_BACK;
    case 0x09: return KEY_TAB;
    case 0x0D: return KEY_RETURN;
    case 0x10: case 0xA0: return KEY_LSHIFT;
    case 0xA1: return KEY_RSHIFT;
    case 0x11: case 0xA2: return KEY_LCONTROL;
    case 0xA3: return KEY_RCONTROL;
    case 0x12: case 0xA4: return KEY_LMENU;
    case 0xA5: return KEY_RMENU;
    case 0x13: return KEY_PAUSE;
    case 0x14: return KEY_CAPITAL;
    case 0x1B: return KEY_ESCAPE;
    case 0x20: return KEY_SPACE;
    case 0x21: return KEY_PRIOR;
    case 0x22: return KEY_NEXT;
    case 0x23: return KEY_END;
    case 0x24: return KEY_HOME;
    case 0x25: return KEY_LEFT;
    case 0x26: return KEY_UP;
    case 0x27: return KEY_RIGHT;
    case 0x28: return KEY_DOWN;
    case 0x2D: return KEY_INSERT;
    case 0x2E: return KEY_DELETE;
    case 0x6A: return KEY_MULTIPLY;
    case 0x6B: return KEY_ADD;
    case 0x6D: return KEY_SUBTRACT;
    case 0x6E: return KEY_DECIMAL;
    case 0x6F: return KEY_DIVIDE;
    case 0x90: return KEY_NUMLOCK;
    case 0x91: return KEY_SCROLL;
    case 0xBA: return KEY_SEMICOLON;
    case 0xBB: return KEY_EQUALS;
    case 0xBC: return KEY_COMMA;
    case 0xBD: return KEY_MINUS;
    case 0xBE: return KEY_PERIOD;
    case 0xBF: return KEY_SLASH;
    case 0xC0: return KEY_GRAVE;
    case 0xDB: return KEY_LBRACKET;
    case 0xDC: return KEY_BACKSLASH;
    case 0xDD: return KEY_RBRACKET;
    case 0xDE: return KEY_APOSTROPHE;
    case 0xE2: return KEY_OEM_102;
    default: return 0;
    }
}
