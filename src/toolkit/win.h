// Window manager: a tree of rectangles rooted in a desktop window that covers the screen.
// Each window belongs to a class with a procedure; a message a class does not handle goes on
// to its base class. Once a frame WinProcessInput routes the pointer and buttons to the window
// under the pointer, keys to the focus window and ticks to every window, and destroys the
// windows whose closing was requested; WinDrawAll redraws the tree from the back to the front.
#pragma once
#include <cstdint>

#include "base/res.h"
#include "toolkit/classids.h"

typedef uint16_t WinId;
// Message parameters: 32-bit values in and out, wide enough to carry a pointer where a
// message passes one (titles, texts, buffers).
typedef intptr_t WinParam;
typedef int (*WinProc)(WinId window, WinId sender, int message, WinParam* p1, WinParam* p2);

// ---- messages ------------------------------------------------------------------------------
enum {
    WM_CREATE = 0,
    WM_DESTROY = 1,
    WM_DRAWFRAME = 2,       // out p1: client x0, y0; 0xFFFF in the low half = no client; out p2: x1, y1
    WM_DRAWCLIENT = 3,
    WM_POINTER = 4,         // x, y
    WM_LPRESS = 5,          // x, y (outside the region)
    WM_RPRESS = 6,
    WM_LPRESS_REGION = 7,   // x - x0, y - y0
    WM_RPRESS_REGION = 8,
    WM_BUTTONS = 9,         // left held, right held
    WM_TICK = 10,           // frame time (14 fraction bits), elapsed milliseconds
    WM_REGION = 11,         // out p1: x0, y0 (0xFFFF = none); out p2: x1, y1
    WM_DRAG = 12,           // p1: x, y packed; p2: press x, y packed
    WM_SETTITLE = 13,       // p1: pointer to text
    WM_FOCUS = 14,          // 1 gained, 0 lost
    WM_KEY = 15,            // key code
    WM_WHEEL = 16,          // p1: wheel notches (+ away from the user); p2: x - x0, y - y0 packed
    WM_LRELEASE = 17,       // p1: x, y packed; p2: press x, y packed
    WM_MOVED = 18,
    WM_RESIZED = 19,
    // standard controls
    WM_SETSTATE = 20,       // button: p1 state
    WM_GETSTATE = 21,       // button: out p1
    WM_PRESSED = 22,        // button to parent: p1 new state
    WM_SETLABEL = 23,       // button: p1 pointer to text (31 characters at most)
    WM_SETGROUP = 25,       // button: p1 group
    WM_GROUPOFF = 26,       // button to siblings: p1 group switched on
    WM_THUMBDRAG = 27,      // thumb to slider: p1 x, y packed; p2 width, height packed
    WM_SLIDERSETPOS = 28,
    WM_SLIDERSETRANGE = 29,
    WM_SLIDERPOS = 30,      // slider to parent; to a list: scroll so that item p1 is first
    WM_LISTSET = 36,        // list: p1 list resource id
    WM_LISTCHOICE = 37,     // list to parent: p1 chosen id, or the mask
    WM_LISTGETCHOICE = 38,  // list: out p1
    WM_LISTSETCHOICE = 39,  // list: p1
    WM_EDITSETBUFFER = 45,  // edit: p1 pointer to the buffer, p2 limit
    WM_EDITCHANGED = 46,    // edit to parent
    WM_EDITSETTEXT = 47,    // edit: p1 pointer to text; out p1 0 copied, 1 refused
    WM_EDITENTER = 48,      // edit to parent
    WM_EDITESCAPE = 44,     // edit to parent: Escape pressed
    WM_EDITSELECTALL = 43,  // edit: the whole text selected; the first key typed replaces it
    WM_FIRST_CLASS_MESSAGE = 20,
    // The middle button, beyond the first twenty system messages: a window that answers the
    // press in its region with 0 gets the drag and the release, wherever the pointer goes.
    WM_MPRESS_REGION = 0x100,   // x - x0, y - y0
    WM_MDRAG = 0x101,           // p1: x, y packed; p2: press x, y packed (window-relative)
    WM_MRELEASE = 0x102,        // as WM_MDRAG
};

// Special destinations of WinSendMessage (and the parents of WinCreate: 0 the current
// window, -1 the desktop).
enum {
    WIN_SELF = -3,
    WIN_SIBLINGS = -2,
    WIN_CHILDREN = -1,
    WIN_PARENT = 0,
    WIN_CURRENT = 0,
    WIN_DESKTOP = -1,
};

enum {
    WIN_MAX_CHILDREN = 25,
    WIN_MAX_CLOSING = 50,
    WIN_MAX_DEPTH = 64,       // walks of the tree stop this deep: a loop in damaged links ends
    WIN_TITLE_HEIGHT = 11,
    WIN_TITLE_MAX = 65,
};

// Class ids, the toolkit's and the editors': toolkit/classids.h.

// Base frame window styles.
enum { FRAME_BORDER = 1, FRAME_TITLE = 2, FRAME_ALTLOOK = 4, FRAME_DRAG = 8 };

// Two signed 16-bit numbers in one parameter, low half first.
static inline WinParam WinPack(int lo, int hi) { return (WinParam)(uint32_t)((uint16_t)lo | ((uint32_t)(uint16_t)hi << 16)); }
static inline int WinLo(WinParam v) { return (int16_t)(v & 0xFFFF); }
static inline int WinHi(WinParam v) { return (int16_t)((v >> 16) & 0xFFFF); }
// A draw-frame or region answer that carries no rectangle.
static inline bool WinNoRect(WinParam p1) { return (p1 & 0xFFFF) == 0xFFFF; }

// ---- install --------------------------------------------------------------------------------
// Creates the desktop over the screen's clip rectangle; a second install is fatal.
void WinInstall(void);
// Destroys the whole tree and forgets every registered class, so that the install that
// follows (the editor start after the launcher) registers them afresh.
void WinRemove(void);
int WinIsInstalled(void);

// ---- classes and windows --------------------------------------------------------------------
// A second registration of an id adds a second class; lookups find the first.
void WinCreateClass(uint32_t classId, uint32_t baseClassId, uint32_t dataSize, WinProc proc);
int WinClassRegistered(uint32_t classId);
// Parent: a window, WIN_DESKTOP, or WIN_CURRENT (the desktop outside any procedure). The new
// window is child slot 0 and receives WM_CREATE. 0 (logged) when the parent is no window.
WinId WinCreate(int x, int y, int width, int height, int parent, uint32_t style, uint32_t classId);
// Destroys the window at the end of this frame's input step (the last queued first).
void WinClose(WinId window);
// Destroys the window and its children at once. A window whose procedure (or a descendant's)
// is still running is closed instead, as freeing it would pull its data from under it.
void WinDestroy(WinId window);
int WinIsWindow(WinId window);

void WinMakeModal(WinId window);
void WinSetModal(WinId window);
int WinIsModal(WinId window);
WinId WinModal(void);

// Destination: a window or one of the WIN_SELF ... WIN_PARENT values. For WIN_CHILDREN and
// WIN_SIBLINGS each recipient gets its own copy of *p1 and *p2; the last one's values are
// copied back and its result returned. When none is reached the result is 1 (not handled)
// and *p1, *p2 are unchanged; so is a send to a window that no longer exists.
int WinSendMessage(int destination, int message, WinParam* p1, WinParam* p2);
int WinSendSystem(WinId window, int message, WinParam* p1, WinParam* p2);

// 0, or the window's refusal (its answer to WM_FOCUS), which leaves no window focused. A left
// press focuses the window pressed, or the nearest window around it that takes the focus.
int WinSetFocus(WinId window);
WinId WinFocus(void);
WinId WinFindClass(uint32_t classId);

void WinDrawAll(void);
void WinDrawModal(void);

// ---- geometry and queries -------------------------------------------------------------------
void WinGetPos(WinId window, int* x, int* y);
void WinGetRect(WinId window, int* x, int* y, int* width, int* height);
void WinGetAbsPos(WinId window, int* x, int* y);
// Ignored when the result is negative or leaves the parent; 0 = the current window.
void WinSetPos(WinId window, int x, int y);
void WinSetRect(WinId window, int x, int y, int width, int height);
uint32_t WinGetStyle(void);
void WinGetExtent(WinId window, int* x0, int* y0, int* x1, int* y1);
WinId WinGetParent(WinId window);
// The n-th child slot (0 = newest), 0 when empty.
WinId WinGetChild(WinId window, int slot);
uint32_t WinGetClass(WinId window);
uint32_t WinGetStyleOf(WinId window);
// The running class's part of the current window's data (behind its base classes' parts;
// every part starts on an 8-byte boundary). Null outside a procedure.
void* WinGetData(void);
// The part of a window's data that belongs to the given class (the window's own class or
// one of its bases), for readers outside the procedure (dumps, tests). Null when the window
// is not of that class.
void* WinDataOf(WinId window, uint32_t classId);
WinId WinCurrent(void);
WinId WinDesktop(void);
int WinGetPointerInRegion(int* x, int* y);
WinId WinUnderPointer(void);
WinId WinCaptured(void);

// ---- the per-frame input step ---------------------------------------------------------------
void WinProcessInput(void);

// ---- the base frame window (class 0x200) and its title --------------------------------------
void WinRegisterBaseClasses(void);   // the desktop is registered by WinInstall; this is 0x200
const char* WinGetTitle(WinId window);
