// Window manager. Class and window records are resources named by their ids; a record is
// looked up by id at every access and never held across a call that can run a procedure or
// create a resource, since procedures create and destroy windows and the resource index moves
// when it grows. Record blocks themselves do not move, which is what lets WinGetData hand a
// procedure the address of its data for the length of its call.
#include "toolkit/win.h"

#include <cstring>

#include "base/log.h"
#include "base/str.h"
#include "kernel/kernel.h"
#include "kernel/timing.h"
#include "platform/platform.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"

// ============================================================================================
// Records
// ============================================================================================

enum : uint32_t { WIN_MAGIC = 0x57444E57u, CLASS_MAGIC = 0x53534C43u };   // "WNDW", "CLSS"

struct WinClassRec {
    uint32_t magic;
    ResId self;
    ResId base;          // record of the base class, 0 = none
    ResId next;          // next record in registration order
    uint32_t classId;
    uint32_t baseId;
    uint32_t dataSize;
    uint32_t dataOffset; // of this class's part within the window's class data
    uint32_t totalData;  // bytes of class data of a window of this class
    WinProc proc;
};

struct WinRec {
    uint32_t magic;
    WinId self;
    WinId parent;        // 0 for the desktop
    int32_t x, y, width, height;
    uint32_t classId;
    ResId cls;
    uint16_t inCall;     // procedure calls on this window still on the stack
    uint32_t style;
    uint8_t destroying;
    WinId children[WIN_MAX_CHILDREN];   // slot 0 is the newest; filled slots come first
};

// Each class's part of the window data starts on this boundary so that classes can keep
// pointers and 32-bit fields in it whatever the sizes of their base classes.
enum { WIN_DATA_ALIGN = 8 };
static constexpr size_t kRecHeader = (sizeof(WinRec) + WIN_DATA_ALIGN - 1) & ~(size_t)(WIN_DATA_ALIGN - 1);

static uint32_t AlignData(uint32_t n) { return (n + WIN_DATA_ALIGN - 1) & ~(uint32_t)(WIN_DATA_ALIGN - 1); }

static struct {
    int installed;
    int removing;          // WinRemove: destroy at once, whatever is on the stack
    WinId desktop;
    WinId current;         // window whose procedure is running
    ResId currentClass;    // class whose procedure is running (base classes on fall-through)
    WinId under;           // window under the pointer, and the pointer relative to it
    int underX, underY;
    WinId captured;        // window that took the last left press, and the press position
    int pressX, pressY;
    WinId middleCaptured;  // window that took the last middle press (it answered it), and where
    int middleX, middleY;
    WinId modal;
    WinId focus;
    WinId closing[WIN_MAX_CLOSING];
    int closingCount;
    ResId classHead, classTail;
} win;

// A resource id is a live window when it holds one of our records that names itself. Ids are
// reused by the resource manager, so a stale id usually names nothing, or a different block.
static WinRec* Rec(WinId id)
{
    if (!id || ResIsLoaded(id) != 0 || ResName(id)[0] || ResSize(id) < kRecHeader) return nullptr;
    WinRec* r = (WinRec*)ResPeek(id);
    return r->magic == WIN_MAGIC && r->self == id ? r : nullptr;
}

static WinClassRec* ClassRec(ResId id)
{
    if (!id || ResIsLoaded(id) != 0 || ResSize(id) != sizeof(WinClassRec)) return nullptr;
    WinClassRec* c = (WinClassRec*)ResPeek(id);
    return c->magic == CLASS_MAGIC && c->self == id ? c : nullptr;
}

int WinIsWindow(WinId window) { return Rec(window) != nullptr; }

static ResId FindClass(uint32_t classId)
{
    for (ResId id = win.classHead; id;) {
        WinClassRec* c = ClassRec(id);
        if (!c) break;
        if (c->classId == classId) return id;
        id = c->next;
    }
    return 0;
}

static int IsAncestor(WinId ancestor, WinId window)
{
    for (WinRec* r = Rec(window); r; r = Rec(r->parent))
        if (r->self == ancestor) return 1;
    return 0;
}

// ============================================================================================
// Classes
// ============================================================================================

void WinCreateClass(uint32_t classId, uint32_t baseClassId, uint32_t dataSize, WinProc proc)
{
    ResId base = 0;
    if (baseClassId) {
        base = FindClass(baseClassId);
        if (!base) FatalError("WinCreateClass: Base class doesn't exist.");
    }
    ResId id = ResCreate(sizeof(WinClassRec));
    if (!id) FatalError("Out of memory.");
    WinClassRec* c = (WinClassRec*)ResOpen(id);
    memset(c, 0, sizeof *c);
    c->magic = CLASS_MAGIC;
    c->self = id;
    c->classId = classId;
    c->baseId = baseClassId;
    c->dataSize = dataSize;
    c->proc = proc;
    c->base = base;
    if (WinClassRec* b = ClassRec(base)) c->dataOffset = AlignData(b->totalData);
    c->totalData = c->dataOffset + dataSize;
    ResClose(id);
    // Appended, so that lookups find the first registration of an id.
    if (WinClassRec* tail = ClassRec(win.classTail))
        tail->next = id;
    else
        win.classHead = id;
    win.classTail = id;
}

static void FreeClasses(void)
{
    ResId id = win.classHead;
    while (WinClassRec* c = ClassRec(id)) {
        ResId next = c->next;
        c->magic = 0;
        ResFreeAlways(id);
        id = next;
    }
    win.classHead = win.classTail = 0;
}

// ============================================================================================
// Messages
// ============================================================================================

// Calls the window's procedure and, while the answer is "not handled", its base classes'.
// The window and the running class are current for the call; both are restored exactly.
static int Deliver(WinId window, WinId sender, int message, WinParam* p1, WinParam* p2)
{
    WinRec* r = Rec(window);
    if (!r) return 1;
    WinParam spare1 = 0, spare2 = 0;
    if (!p1) p1 = &spare1;
    if (!p2) p2 = &spare2;

    WinId savedWindow = win.current;
    ResId savedClass = win.currentClass;
    ResId cls = r->cls;
    r->inCall++;
    win.current = window;
    int result = 1;
    while (WinClassRec* c = ClassRec(cls)) {
        win.currentClass = cls;
        WinProc proc = c->proc;
        ResId base = c->base;
        result = proc ? proc(window, sender, message, p1, p2) : 1;
        // A window destroyed under its own procedure has no base class left to ask.
        if (result == 0 || !Rec(window)) break;
        cls = base;
    }
    if (WinRec* after = Rec(window)) after->inCall--;
    win.current = savedWindow;
    win.currentClass = savedClass;
    return result;
}

static int SendSystem(WinId window, int message, WinParam p1, WinParam p2)
{
    return WinSendSystem(window, message, &p1, &p2);
}

int WinSendSystem(WinId window, int message, WinParam* p1, WinParam* p2)
{
    WinId savedWindow = win.current;
    ResId savedClass = win.currentClass;
    win.current = 0;
    win.currentClass = 0;
    int result = Deliver(window, 0, message, p1, p2);
    win.current = savedWindow;
    win.currentClass = savedClass;
    return result;
}

// Sends to every listed window that is still a child of `parent` (the list is a copy taken
// before the first call, as procedures may create and destroy windows). Each gets its own
// copy of the caller's values; the last one's values and result are the answer. When none is
// reached the answer is 1, not handled, and the caller's values are left as they were.
static int SendToEach(const WinId* list, WinId parent, WinId skip, int message, WinParam* p1, WinParam* p2)
{
    WinParam in1 = p1 ? *p1 : 0, in2 = p2 ? *p2 : 0;
    WinParam out1 = in1, out2 = in2;
    int result = 1, reached = 0;
    WinId sender = win.current;
    for (int i = 0; i < WIN_MAX_CHILDREN; i++) {
        WinRec* r = Rec(list[i]);
        if (!r || list[i] == skip || r->parent != parent) continue;
        WinParam c1 = in1, c2 = in2;
        result = Deliver(list[i], sender, message, &c1, &c2);
        out1 = c1;
        out2 = c2;
        reached = 1;
    }
    if (reached) {
        if (p1) *p1 = out1;
        if (p2) *p2 = out2;
    }
    return result;
}

int WinSendMessage(int destination, int message, WinParam* p1, WinParam* p2)
{
    switch (destination) {
    case WIN_SELF:
        if (!win.current) FatalError("WinSendMessage: Dest is source, but no source!");
        return Deliver(win.current, win.current, message, p1, p2);
    case WIN_PARENT: {
        WinRec* r = Rec(win.current);
        return r ? Deliver(r->parent, win.current, message, p1, p2) : 1;
    }
    case WIN_CHILDREN: {
        if (!win.current) FatalError("WinSendMessage: Children destination not allowed for system message.");
        WinRec* r = Rec(win.current);
        if (!r) return 1;
        WinId list[WIN_MAX_CHILDREN];
        memcpy(list, r->children, sizeof list);
        return SendToEach(list, win.current, 0, message, p1, p2);
    }
    case WIN_SIBLINGS: {
        if (!win.current) FatalError("WinSendMessage: Siblings destination not allowed for system message.");
        WinRec* r = Rec(win.current);
        if (!r) return 1;
        WinRec* parent = Rec(r->parent);
        if (!parent) FatalError("WinSendMessage: Windows with siblings have parents!");
        WinId list[WIN_MAX_CHILDREN];
        memcpy(list, parent->children, sizeof list);
        return SendToEach(list, r->parent, win.current, message, p1, p2);
    }
    default:
        return Deliver((WinId)destination, win.current, message, p1, p2);
    }
}

// ============================================================================================
// Creating and destroying windows
// ============================================================================================

// The record of a new window, linked as slot 0 of its parent (0 = no parent: the desktop).
static WinId NewWindow(int x, int y, int width, int height, WinId parent, uint32_t style, ResId cls,
                       const char* memoryText)
{
    if (WinRec* p = Rec(parent)) {
        if (p->children[WIN_MAX_CHILDREN - 1]) FatalError("Window already has max number of children.");
    }
    WinClassRec* c = ClassRec(cls);
    uint32_t classId = c->classId;
    size_t size = kRecHeader + c->totalData;
    WinId id = ResCreate(size);
    if (!id) FatalError("%s", memoryText);
    WinRec* r = (WinRec*)ResOpen(id);
    memset(r, 0, size);
    r->magic = WIN_MAGIC;
    r->self = id;
    r->parent = parent;
    r->x = x;
    r->y = y;
    r->width = width;
    r->height = height;
    r->classId = classId;
    r->cls = cls;
    r->style = style;
    ResClose(id);
    if (WinRec* p = Rec(parent)) {
        memmove(p->children + 1, p->children, sizeof(WinId) * (WIN_MAX_CHILDREN - 1));
        p->children[0] = id;
    }
    return id;
}

WinId WinCreate(int x, int y, int width, int height, int parent, uint32_t style, uint32_t classId)
{
    ResId cls = FindClass(classId);
    if (!cls) FatalError("Class not found.");
    WinId p;
    if (parent == WIN_DESKTOP)
        p = win.desktop;
    else if (parent == WIN_CURRENT)
        // Outside any procedure there is no current window: the desktop stands in for it.
        p = win.current ? win.current : win.desktop;
    else
        p = (WinId)parent;
    if (!win.installed || !Rec(p)) {
        LogPrintf(LOG_WARN, "WIN: window of class 0x%x not created: parent %d is not a window", classId, parent);
        return 0;
    }
    WinId id = NewWindow(x, y, width, height, p, style, cls, "Out of memory.");
    SendSystem(id, WM_CREATE, 0, 0);
    return id;
}

static void Unqueue(WinId window)
{
    int n = 0;
    for (int i = 0; i < win.closingCount; i++)
        if (win.closing[i] != window) win.closing[n++] = win.closing[i];
    win.closingCount = n;
}

void WinClose(WinId window)
{
    if (!Rec(window)) return;
    for (int i = 0; i < win.closingCount; i++)
        if (win.closing[i] == window) return;
    if (win.closingCount >= WIN_MAX_CLOSING) FatalError("WinClose: List full!");
    win.closing[win.closingCount++] = window;
}

// A window that leaves the tree leaves the pointer, capture, modal and focus state too.
static void ForgetReferences(WinId window)
{
    if (win.under == window) win.under = 0;
    if (win.captured == window) win.captured = 0;
    if (win.middleCaptured == window) win.middleCaptured = 0;
    if (win.modal == window) win.modal = 0;
    if (win.focus == window) win.focus = 0;
}

static void ForgetTree(WinId window, int depth)
{
    WinRec* r = Rec(window);
    if (!r || depth > WIN_MAX_DEPTH) return;
    ForgetReferences(window);
    WinId list[WIN_MAX_CHILDREN];
    memcpy(list, r->children, sizeof list);
    for (int i = 0; i < WIN_MAX_CHILDREN; i++) ForgetTree(list[i], depth + 1);
}

static void Detach(WinId window, WinId parent)
{
    WinRec* p = Rec(parent);
    if (!p) return;
    int n = 0;
    for (int i = 0; i < WIN_MAX_CHILDREN; i++)
        if (p->children[i] != window) p->children[n++] = p->children[i];
    while (n < WIN_MAX_CHILDREN) p->children[n++] = 0;
}

// Whether the window or one of its descendants has a procedure call on the stack.
static int InCall(WinId window, int depth)
{
    WinRec* r = Rec(window);
    if (!r || depth > WIN_MAX_DEPTH) return 0;
    if (r->inCall) return 1;
    for (int i = 0; i < WIN_MAX_CHILDREN; i++)
        if (r->children[i] && InCall(r->children[i], depth + 1)) return 1;
    return 0;
}

void WinDestroy(WinId window)
{
    WinRec* r = Rec(window);
    if (!r || r->destroying) return;
    // Freeing a record whose procedure is still running would leave that procedure with
    // freed data: such a window is closed instead, destroyed at the end of the input step
    // once the calls have returned.
    if (!win.removing && InCall(window, 0)) {
        WinRec* parent = Rec(r->parent);
        // Cut off with a parent that goes now, it no longer takes pointer, keys or focus.
        if (!parent || parent->destroying) ForgetTree(window, 0);
        WinClose(window);
        return;
    }
    r->destroying = 1;
    SendSystem(window, WM_DESTROY, 0, 0);

    // Children in slot order; a copy of the slots, as destroy handlers may change them.
    // Windows created by those handlers meanwhile are caught by the next pass.
    for (int pass = 0; pass < 4; pass++) {
        r = Rec(window);
        if (!r) return;
        WinId list[WIN_MAX_CHILDREN];
        memcpy(list, r->children, sizeof list);
        int any = 0;
        for (int i = 0; i < WIN_MAX_CHILDREN; i++) {
            WinRec* c = Rec(list[i]);
            if (!c || c->parent != window || c->destroying) continue;
            any = 1;
            WinDestroy(list[i]);
            // A child kept for a running procedure is an orphan now; it goes at the next
            // closing pass.
            if (WinRec* kept = Rec(list[i])) kept->parent = 0;
        }
        if (!any) break;
    }

    r = Rec(window);
    if (!r) return;
    WinId parent = r->parent;
    // Children still listed are being destroyed by calls further up the stack; they finish
    // without a parent.
    for (int i = 0; i < WIN_MAX_CHILDREN; i++)
        if (WinRec* c = Rec(r->children[i])) c->parent = 0;
    Detach(window, parent);
    ForgetReferences(window);
    Unqueue(window);
    if (win.desktop == window) win.desktop = 0;
    r->magic = 0;
    r->self = 0;
    ResFreeAlways(window);
}

// ============================================================================================
// Install and remove
// ============================================================================================

static int DesktopProc(WinId window, WinId sender, int message, WinParam* p1, WinParam* p2);

void WinInstall(void)
{
    if (win.installed) FatalError("WinInstall: Already installed.");
    memset(win.closing, 0, sizeof win.closing);
    win.closingCount = 0;
    win.current = 0;
    win.currentClass = 0;
    win.under = win.captured = win.modal = win.focus = win.middleCaptured = 0;
    win.underX = win.underY = win.pressX = win.pressY = win.middleX = win.middleY = 0;
    win.removing = 0;

    WinCreateClass(CLASS_DESKTOP, 0, 0, DesktopProc);
    int x0, y0, x1, y1;
    VideoGetClip(&x0, &y0, &x1, &y1);
    int width = x1 - x0 + 1, height = y1 - y0 + 1;
    win.desktop = NewWindow(0, 0, width > 0 ? width : 0, height > 0 ? height : 0, 0, 0,
                            FindClass(CLASS_DESKTOP), "Unable to create desktop window.");
    win.installed = 1;
    TextSetWindowSource(WinCurrent);
    RegisterExit(WinRemove);
    SendSystem(win.desktop, WM_CREATE, 0, 0);
}

// Destroys the whole tree and forgets every class: an install that follows starts afresh,
// and its users register their classes again.
void WinRemove(void)
{
    if (!win.installed) return;
    win.removing = 1;
    WinDestroy(win.desktop);
    FreeClasses();
    memset(&win, 0, sizeof win);
}

int WinIsInstalled(void) { return win.installed; }

// ============================================================================================
// Modal window, focus, lookups
// ============================================================================================

void WinMakeModal(WinId window)
{
    if (win.modal && win.modal != window) FatalError("WinMakeModal: Another window is already modal.");
    win.modal = Rec(window) ? window : 0;
}

void WinSetModal(WinId window) { win.modal = Rec(window) ? window : 0; }
int WinIsModal(WinId window) { return window && win.modal == window; }
WinId WinModal(void) { return win.modal; }

int WinSetFocus(WinId window)
{
    if (!Rec(window)) window = 0;
    if (window == win.focus) return 0;
    WinId old = win.focus;
    if (old) SendSystem(old, WM_FOCUS, 0, 0);
    win.focus = window;
    if (!window) return 0;
    int answer = SendSystem(window, WM_FOCUS, 1, 0);
    if (answer) {
        if (win.focus == window) win.focus = 0;
        return answer;
    }
    return 0;
}

WinId WinFocus(void) { return win.focus; }

static WinId FindIn(WinId window, uint32_t classId, int depth)
{
    WinRec* r = Rec(window);
    if (!r || depth > WIN_MAX_DEPTH) return 0;
    if (r->classId == classId) return window;
    for (int i = 0; i < WIN_MAX_CHILDREN; i++) {
        if (!r->children[i]) continue;
        if (WinId found = FindIn(r->children[i], classId, depth + 1)) return found;
    }
    return 0;
}

WinId WinFindClass(uint32_t classId) { return FindIn(win.desktop, classId, 0); }
int WinClassRegistered(uint32_t classId) { return FindClass(classId) != 0; }

// ============================================================================================
// Geometry and queries
// ============================================================================================

static WinRec* Named(WinId window, const char* fatalText)
{
    if (!window) {
        if (!win.current) FatalError("%s", fatalText);
        window = win.current;
    }
    return Rec(window);
}

void WinGetPos(WinId window, int* x, int* y)
{
    WinRec* r = Named(window, "WinGetPos: No current window.");
    if (x) *x = r ? r->x : 0;
    if (y) *y = r ? r->y : 0;
}

void WinGetRect(WinId window, int* x, int* y, int* width, int* height)
{
    WinRec* r = Named(window, "WinGetPos: No current window.");
    if (x) *x = r ? r->x : 0;
    if (y) *y = r ? r->y : 0;
    if (width) *width = r ? r->width : 0;
    if (height) *height = r ? r->height : 0;
}

void WinGetAbsPos(WinId window, int* x, int* y)
{
    int ax = 0, ay = 0, depth = 0;
    for (WinRec* r = Rec(window); r && depth < WIN_MAX_DEPTH; r = Rec(r->parent), depth++) {
        ax += r->x;
        ay += r->y;
    }
    if (x) *x += ax;
    if (y) *y += ay;
}

void WinGetExtent(WinId window, int* x0, int* y0, int* x1, int* y1)
{
    WinRec* r = Named(window, "WinGetExtent: No current window.");
    if (x0) *x0 = 0;
    if (y0) *y0 = 0;
    if (x1) *x1 = r ? r->width - 1 : -1;
    if (y1) *y1 = r ? r->height - 1 : -1;
}

uint32_t WinGetStyle(void)
{
    if (!win.current) FatalError("WinGetStyle: No current window.");
    WinRec* r = Rec(win.current);
    return r ? r->style : 0;
}

uint32_t WinGetStyleOf(WinId window)
{
    WinRec* r = Rec(window);
    return r ? r->style : 0;
}

uint32_t WinGetClass(WinId window)
{
    WinRec* r = Rec(window);
    return r ? r->classId : 0;
}

WinId WinGetParent(WinId window)
{
    WinRec* r = Rec(window);
    return r ? r->parent : 0;
}

WinId WinGetChild(WinId window, int slot)
{
    WinRec* r = Rec(window);
    return r && slot >= 0 && slot < WIN_MAX_CHILDREN ? r->children[slot] : 0;
}

void* WinGetData(void)
{
    WinRec* r = Rec(win.current);
    WinClassRec* c = ClassRec(win.currentClass);
    if (!r || !c) return nullptr;
    return (uint8_t*)r + kRecHeader + c->dataOffset;
}

void* WinDataOf(WinId window, uint32_t classId)
{
    WinRec* r = Rec(window);
    if (!r) return nullptr;
    for (ResId cls = r->cls; WinClassRec* c = ClassRec(cls); cls = c->base)
        if (c->classId == classId) return (uint8_t*)r + kRecHeader + c->dataOffset;
    return nullptr;
}

WinId WinCurrent(void) { return win.current; }
WinId WinDesktop(void) { return win.desktop; }
WinId WinUnderPointer(void) { return win.under; }
WinId WinCaptured(void) { return win.captured; }

// Whether a rectangle at (x, y) lies wholly inside the window's parent; the desktop has no
// parent to hold it.
static int FitsParent(const WinRec* r, int x, int y, int width, int height)
{
    if (x < 0 || y < 0 || width < 0 || height < 0) return 0;
    const WinRec* p = Rec(r->parent);
    if (!p) return 1;
    return x + width - 1 < p->width && y + height - 1 < p->height;
}

void WinSetPos(WinId window, int x, int y)
{
    if (!window) window = win.current;
    WinRec* r = Rec(window);
    if (!r || !FitsParent(r, x, y, r->width, r->height)) return;
    int moved = r->x != x || r->y != y;
    r->x = x;
    r->y = y;
    if (moved) SendSystem(window, WM_MOVED, 0, 0);
}

void WinSetRect(WinId window, int x, int y, int width, int height)
{
    if (!window) window = win.current;
    WinRec* r = Rec(window);
    if (!r || !FitsParent(r, x, y, width, height)) return;
    int moved = r->x != x || r->y != y;
    int resized = r->width != width || r->height != height;
    r->x = x;
    r->y = y;
    r->width = width;
    r->height = height;
    if (moved) SendSystem(window, WM_MOVED, 0, 0);
    if (resized) SendSystem(window, WM_RESIZED, 0, 0);
}

// The window's answer to the region query: 0 and the corners, or 1 when it reports none.
static int Region(WinId window, int* x0, int* y0, int* x1, int* y1)
{
    WinParam p1 = 0, p2 = 0;
    if (WinSendSystem(window, WM_REGION, &p1, &p2) != 0 || WinNoRect(p1)) return 1;
    *x0 = WinLo(p1);
    *y0 = WinHi(p1);
    *x1 = WinLo(p2);
    *y1 = WinHi(p2);
    return 0;
}

int WinGetPointerInRegion(int* x, int* y)
{
    WinId window = win.current;
    if (!window || window != win.under) return 1;
    int x0, y0, x1, y1;
    if (Region(window, &x0, &y0, &x1, &y1)) return 1;
    if (win.underX < x0 || win.underX > x1 || win.underY < y0 || win.underY > y1) return 1;
    if (x) *x = win.underX - x0;
    if (y) *y = win.underY - y0;
    return 0;
}

// ============================================================================================
// Drawing
// ============================================================================================

static void DrawTree(WinId window, int depth)
{
    WinRec* r = Rec(window);
    if (!r || depth > WIN_MAX_DEPTH) return;
    int ax = 0, ay = 0;
    WinGetAbsPos(window, &ax, &ay);
    int width = r->width, height = r->height;

    WinParam p1 = 0, p2 = 0;
    VideoVirtPart(ax, ay, width, height);
    int answer = WinSendSystem(window, WM_DRAWFRAME, &p1, &p2);
    VideoVirtPartEnd();
    if (answer == 0 && !WinNoRect(p1) && Rec(window)) {
        int x0 = WinLo(p1), y0 = WinHi(p1), x1 = WinLo(p2), y1 = WinHi(p2);
        VideoVirtPart(ax + x0, ay + y0, x1 - x0 + 1, y1 - y0 + 1);
        SendSystem(window, WM_DRAWCLIENT, 0, 0);
        VideoVirtPartEnd();
    }

    // The newest child last, on top.
    r = Rec(window);
    if (!r) return;
    WinId list[WIN_MAX_CHILDREN];
    memcpy(list, r->children, sizeof list);
    for (int i = WIN_MAX_CHILDREN - 1; i >= 0; i--) {
        WinRec* c = Rec(list[i]);
        if (c && c->parent == window) DrawTree(list[i], depth + 1);
    }
}

void WinDrawAll(void)
{
    if (!win.installed) return;
    TextResetWritten();
    DrawTree(win.desktop, 0);
}

void WinDrawModal(void)
{
    if (win.installed && win.modal) DrawTree(win.modal, 0);
}

// ============================================================================================
// The per-frame input step
// ============================================================================================

// The deepest window holding the point, searching each window's children newest first; the
// point comes back relative to the window found.
static WinId HitTest(int* x, int* y)
{
    WinId window = win.desktop;
    WinRec* r = Rec(window);
    if (!r) return 0;
    *x -= r->x;
    *y -= r->y;
    for (int depth = 0; depth < WIN_MAX_DEPTH; depth++) {
        WinId inner = 0;
        for (int i = 0; i < WIN_MAX_CHILDREN && !inner; i++) {
            WinRec* c = Rec(r->children[i]);
            if (c && *x >= c->x && *x < c->x + c->width && *y >= c->y && *y < c->y + c->height) inner = r->children[i];
        }
        if (!inner) break;
        r = Rec(inner);
        *x -= r->x;
        *y -= r->y;
        window = inner;
    }
    return window;
}

static void Press(WinId window, int x, int y, int inRegion, int outside)
{
    int x0, y0, x1, y1;
    if (!Region(window, &x0, &y0, &x1, &y1) && x >= x0 && x <= x1 && y >= y0 && y <= y1)
        SendSystem(window, inRegion, x - x0, y - y0);
    else
        SendSystem(window, outside, x, y);
}

// The point (window-relative) inside the window's region: 1 and the region-relative point.
static int InRegion(WinId window, int x, int y, int* rx, int* ry)
{
    int x0, y0, x1, y1;
    if (Region(window, &x0, &y0, &x1, &y1) || x < x0 || x > x1 || y < y0 || y > y1) return 0;
    *rx = x - x0;
    *ry = y - y0;
    return 1;
}

static void PointerRelativeTo(WinId window, int px, int py, int* x, int* y)
{
    int ax = 0, ay = 0;
    WinGetAbsPos(window, &ax, &ay);
    *x = px - ax;
    *y = py - ay;
}

static void Tick(WinId window, WinParam frameTime, WinParam elapsed, int depth)
{
    if (!Rec(window) || depth > WIN_MAX_DEPTH) return;
    SendSystem(window, WM_TICK, frameTime, elapsed);
    WinRec* r = Rec(window);
    if (!r) return;
    WinId list[WIN_MAX_CHILDREN];
    memcpy(list, r->children, sizeof list);
    for (int i = 0; i < WIN_MAX_CHILDREN; i++) {
        WinRec* c = Rec(list[i]);
        if (c && c->parent == window) Tick(list[i], frameTime, elapsed, depth + 1);
    }
}

// A press gives the keys to the window pressed or, when it takes none (a button, a list, a
// slider), to the nearest window around it that does: after a click on a dialog's button,
// Escape still reaches the dialog.
static void FocusByPress(WinId found)
{
    // A window that takes the focus may hand it on to a child of its own (a dialog to its
    // field): whoever holds it then keeps it.
    for (WinId w = found; Rec(w) && w != win.desktop; w = Rec(w)->parent)
        if (WinSetFocus(w) == 0 && win.focus) return;
}

// Steps 1 to 8 for the pointer state as it stands after one button change.
static void PointerPass(void)
{
    // 1. The window under the pointer. The buttons are read at every pass, so that a press
    // the modal window blocks is used up rather than delivered later somewhere else.
    int px, py;
    PointerPos(&px, &py);
    int x = px, y = py;
    WinId found = HitTest(&x, &y);
    int leftPressed = KeyPressed(KEY_MOUSE_LEFT) != 0;
    int rightPressed = KeyPressed(KEY_MOUSE_RIGHT) != 0;
    int leftHeld = KeyHeld(KEY_MOUSE_LEFT) != 0;
    int rightHeld = KeyHeld(KEY_MOUSE_RIGHT) != 0;
    int middlePressed = KeyPressed(KEY_MOUSE_MIDDLE) != 0;
    int middleHeld = KeyHeld(KEY_MOUSE_MIDDLE) != 0;
    int wheel = PointerTakeWheel();

    // 2. A modal window takes the pointer from every window outside its tree.
    int blocked = win.modal && !IsAncestor(win.modal, found);

    // 3-5. Pointer, presses and capture.
    int rx = 0, ry = 0;
    if (!blocked && found) {
        win.under = found;
        win.underX = x;
        win.underY = y;
        SendSystem(found, WM_POINTER, x, y);
        if (leftPressed && Rec(found)) {
            FocusByPress(found);
            if (Rec(found)) Press(found, x, y, WM_LPRESS_REGION, WM_LPRESS);
            if (Rec(found)) {
                win.captured = found;
                win.pressX = x;
                win.pressY = y;
            }
        }
        if (rightPressed && Rec(found)) Press(found, x, y, WM_RPRESS_REGION, WM_RPRESS);
        // The middle button and the wheel reach only a window that answers them in its
        // region (the views): elsewhere they do nothing.
        if (middlePressed && Rec(found) && !win.middleCaptured && InRegion(found, x, y, &rx, &ry) &&
            SendSystem(found, WM_MPRESS_REGION, rx, ry) == 0 && Rec(found)) {
            win.middleCaptured = found;
            win.middleX = x;
            win.middleY = y;
        }
        if (wheel && Rec(found) && InRegion(found, x, y, &rx, &ry)) SendSystem(found, WM_WHEEL, wheel, WinPack(rx, ry));
    } else {
        win.under = 0;
    }
    if (!win.installed) return;

    // 6. The release goes to the captured window wherever the pointer is, modal or not: a
    // capture that outlived its button would keep dragging with the button up.
    if (!leftHeld && win.captured) {
        WinId captured = win.captured;
        int cx, cy;
        PointerRelativeTo(captured, px, py, &cx, &cy);
        win.captured = 0;
        SendSystem(captured, WM_LRELEASE, WinPack(cx, cy), WinPack(win.pressX, win.pressY));
    }

    if (win.middleCaptured) {
        WinId captured = win.middleCaptured;
        int cx, cy;
        PointerRelativeTo(captured, px, py, &cx, &cy);
        if (!middleHeld) win.middleCaptured = 0;
        SendSystem(captured, middleHeld ? WM_MDRAG : WM_MRELEASE, WinPack(cx, cy), WinPack(win.middleX, win.middleY));
    }

    // 7. Button states to the window under the pointer.
    if (!blocked && Rec(win.under)) SendSystem(win.under, WM_BUTTONS, leftHeld, rightHeld);

    // 8. Drags go on, modal or not.
    if (win.captured) {
        int cx, cy;
        PointerRelativeTo(win.captured, px, py, &cx, &cy);
        SendSystem(win.captured, WM_DRAG, WinPack(cx, cy), WinPack(win.pressX, win.pressY));
    }
}

void WinProcessInput(void)
{
    if (!win.installed) return;

    // Each button change queued since the last step gets a pointer pass of its own, so that
    // a quick click (press and release within one frame) is a click.
    int more;
    do {
        more = PointerAdvance();
        PointerPass();
    } while (more && win.installed);

    // 9. Keys to the focus window, one by one.
    while (win.installed && win.focus) {
        int key = KeyRead();
        if (!key) break;
        SendSystem(win.focus, WM_KEY, key, 0);
    }

    // 10. Deferred destruction, the last queued first. A window whose procedure is still on
    // the stack (an input step run from inside a procedure) stays queued for a later step.
    while (win.installed) {
        int i = win.closingCount - 1;
        while (i >= 0 && InCall(win.closing[i], 0)) i--;
        if (i < 0) break;
        WinId window = win.closing[i];
        memmove(win.closing + i, win.closing + i + 1, sizeof(WinId) * (win.closingCount - i - 1));
        win.closingCount--;
        WinDestroy(window);
    }

    // 11. Ticks to every window, each before its children.
    if (win.installed) Tick(win.desktop, (WinParam)TimingFrameTime(), (WinParam)TimingElapsed(), 0);
}

// ============================================================================================
// The desktop and the base frame window
// ============================================================================================

static int DesktopProc(WinId window, WinId sender, int message, WinParam* p1, WinParam* p2)
{
    (void)sender;
    (void)p2;
    if (message != WM_DRAWFRAME) return 1;
    int x0, y0, x1, y1;
    WinGetExtent(window, &x0, &y0, &x1, &y1);
    DrawFillRect(x0, y0, x1, y1, 0);
    *p1 = 0xFFFF;
    return 0;
}

// The client rectangle of a frame window in its own coordinates: inset by the border, below
// the title bar. 1 when nothing is left of it.
static int FrameClient(const WinRec* r, int* x0, int* y0, int* x1, int* y1)
{
    int border = (r->style & FRAME_BORDER) ? 1 : 0;
    *x0 = border;
    *y0 = (r->style & FRAME_TITLE) ? WIN_TITLE_HEIGHT : border;
    *x1 = r->width - 1 - border;
    *y1 = r->height - 1 - border;
    return *x1 < *x0 || *y1 < *y0;
}

static void AnswerClient(const WinRec* r, WinParam* p1, WinParam* p2)
{
    int x0, y0, x1, y1;
    if (FrameClient(r, &x0, &y0, &x1, &y1)) {
        *p1 = 0xFFFF;
        *p2 = 0;
        return;
    }
    *p1 = WinPack(x0, y0);
    *p2 = WinPack(x1, y1);
}

static int FrameProc(WinId window, WinId sender, int message, WinParam* p1, WinParam* p2)
{
    (void)sender;
    WinRec* r = Rec(window);
    if (!r) return 1;
    char* title = (char*)WinGetData();
    switch (message) {
    case WM_CREATE:
    case WM_LPRESS:
    case WM_RPRESS: return 0;
    case WM_DRAWFRAME: {
        int x1 = r->width - 1, y1 = r->height - 1;
        if (r->style & FRAME_BORDER) {
            if (r->style & FRAME_TITLE)
                DrawRaisedBox(0, 0, x1, y1);
            else if (r->style & FRAME_ALTLOOK)
                DrawSunkenBox(0, 0, x1, y1);
            else
                DrawRaisedBox(0, 0, x1, y1);
        }
        if (r->style & FRAME_TITLE) DrawTitleBar(0, x1, 0, title, WinIsModal(window));
        AnswerClient(r, p1, p2);
        return 0;
    }
    case WM_DRAWCLIENT: {
        int x0, y0, x1, y1;
        VideoGetClip(&x0, &y0, &x1, &y1);
        DrawFillRect(x0, y0, x1, y1, DrawBackground());
        return 0;
    }
    case WM_REGION: AnswerClient(r, p1, p2); return 0;
    case WM_DRAG: {
        const uint32_t drag = FRAME_TITLE | FRAME_DRAG;
        if ((r->style & drag) != drag || WinHi(*p2) >= WIN_TITLE_HEIGHT) return 0;
        int dx = WinLo(*p1) - WinLo(*p2), dy = WinHi(*p1) - WinHi(*p2);
        if (dx || dy) WinSetRect(window, r->x + dx, r->y + dy, r->width, r->height);
        return 0;
    }
    case WM_SETTITLE: {
        const char* text = (const char*)*p1;
        StrLCopy(title, text ? text : "", WIN_TITLE_MAX + 1);
        return 0;
    }
    default: return 1;
    }
}

void WinRegisterBaseClasses(void) { WinCreateClass(CLASS_FRAME, 0, WIN_TITLE_MAX + 1, FrameProc); }

const char* WinGetTitle(WinId window)
{
    WinRec* r = Rec(window);
    if (!r) return "";
    for (ResId cls = r->cls; WinClassRec* c = ClassRec(cls); cls = c->base)
        if (c->proc == FrameProc) return (const char*)r + kRecHeader + c->dataOffset;
    return "";
}
