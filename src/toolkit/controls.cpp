// Standard controls. They talk to their parent only through messages: the parent sets them
// up with class messages and hears of the user's actions through notifications.
#include "toolkit/controls.h"

#include <cstdio>
#include <cstring>

#include "base/bytes.h"
#include "base/str.h"
#include "kernel/kernel.h"
#include "platform/platform.h"
#include "toolkit/draw.h"
#include "toolkit/panelhost.h"
#include "toolkit/text.h"

static int Notify(int message, WinParam value)
{
    WinParam p1 = value, p2 = 0;
    return WinSendMessage(WIN_PARENT, message, &p1, &p2);
}

static void NoClientArea(WinParam* p1, WinParam* p2)
{
    *p1 = 0xFFFF;
    *p2 = 0;
}

// ============================================================================================
// Button
// ============================================================================================

struct ButtonData {
    uint32_t state;
    uint32_t pulse;   // frames until a push button goes off again
    char label[BUTTON_LABEL_MAX + 1];
    uint32_t group;
};

static void ButtonExcludeGroup(ButtonData* b)
{
    uint32_t style = WinGetStyle();
    if (b->state && (style & (BUTTON_RADIO | BUTTON_GROUP)) && b->group) {
        WinParam p1 = (WinParam)b->group, p2 = 0;
        WinSendMessage(WIN_SIBLINGS, WM_GROUPOFF, &p1, &p2);
    }
}

static int ButtonProc(WinId, WinId, int message, WinParam* p1, WinParam* p2)
{
    ButtonData* b = (ButtonData*)WinGetData();
    switch (message) {
    case WM_CREATE: memset(b, 0, sizeof *b); return 0;
    case WM_DRAWFRAME: {
        int x0, y0, x1, y1;
        WinGetExtent(0, &x0, &y0, &x1, &y1);
        if (b->state)
            DrawTitleBarHighlighted(x0, x1, y0, b->label);
        else
            DrawTitleBar(x0, x1, y0, b->label, 0);
        NoClientArea(p1, p2);
        return 0;
    }
    case WM_LPRESS: {
        uint32_t style = WinGetStyle();
        if (style & BUTTON_RADIO) {
            if (b->state) return 0;
            b->state = 1;
            Notify(WM_PRESSED, 1);
        } else if (style & BUTTON_TOGGLE) {
            b->state = !b->state;
            Notify(WM_PRESSED, b->state);
        } else {
            b->state = 1;
            b->pulse = 2;
            Notify(WM_PRESSED, 1);
        }
        // The parent may have closed or changed us; the data stays valid until the input
        // step ends, since closing is deferred.
        b = (ButtonData*)WinGetData();
        ButtonExcludeGroup(b);
        return 0;
    }
    case WM_TICK:
        if (b->pulse) {
            if (--b->pulse == 0) {
                b->state = 0;
                Notify(WM_PRESSED, 0);
            }
        }
        return 0;
    case WM_SETSTATE:
        b->state = (uint32_t)*p1;
        Notify(WM_PRESSED, *p1);
        b = (ButtonData*)WinGetData();
        if (b->state && (WinGetStyle() & BUTTON_RADIO) && b->group) {
            WinParam g = (WinParam)b->group, z = 0;
            WinSendMessage(WIN_SIBLINGS, WM_GROUPOFF, &g, &z);
        }
        return 0;
    case WM_GETSTATE: *p1 = (WinParam)b->state; return 0;
    case WM_SETLABEL:
        StrLCopy(b->label, *p1 ? (const char*)*p1 : "", sizeof b->label);
        return 0;
    case WM_SETGROUP: b->group = (uint32_t)*p1; return 0;
    case WM_GROUPOFF:
        if (b->group == (uint32_t)*p1 && b->state) {
            b->state = 0;
            Notify(WM_PRESSED, 0);
        }
        return 0;
    default: return 1;
    }
}

void ButtonRegisterClass(void) { WinCreateClass(CLASS_BUTTON, 0, sizeof(ButtonData), ButtonProc); }

// ============================================================================================
// Edit field
// ============================================================================================

struct EditData {
    char* buffer;       // the caller's text (UTF-8), edited in place
    int32_t limit;      // bytes the text may take, terminator not counted
    int32_t focus;
    int32_t cursor;     // a byte offset, always at the start of a character
    int32_t blink;
    int32_t blinkTimer; // milliseconds until the cursor flips
    int32_t selected;   // the whole text is selected: the first key typed replaces it
    int32_t scroll;     // pixels of the text scrolled out at the left, to keep the cursor shown
};

enum { EDIT_BLINK_MS = 350, EDIT_TEXT_X = 2, EDIT_REFUSAL_MAX = 160 };

// Offsets of the characters before and after a byte offset.
static int PreviousChar(const char* s, int at)
{
    if (at <= 0) return 0;
    int p = at - 1;
    // Back over continuation bytes to the start of the character, when it is one.
    while (p > 0 && at - p < 4 && ((uint8_t)s[p] & 0xC0) == 0x80) p--;
    uint32_t cp;
    int n = StrUtf8Decode(s + p, &cp);
    return n && p + n == at ? p : at - 1;
}

static int NextChar(const char* s, int at)
{
    if (!s[at]) return at;
    uint32_t cp;
    int n = StrUtf8Decode(s + at, &cp);
    return at + (n ? n : 1);
}

static int PixelsBefore(const char* s, int at)
{
    char before[EDIT_REFUSAL_MAX + 256];
    int n = at < (int)sizeof before - 1 ? at : (int)sizeof before - 1;
    memcpy(before, s, (size_t)n);
    before[n] = 0;
    return TextWidth(before);
}

// The field says why a character was not taken, in a box, rather than dropping it unseen.
static void Refuse(const char* text) { PanelHostMessage("Error", text); }

// Inserts a typed character at the cursor: 1 when it went in.
static int InsertChar(EditData* e, uint32_t c)
{
    // The tables' pound sign is the Unicode one in the text.
    if (c == CH_POUND) c = 0xA3;
    if (c < 32 || c == 127 || (c >= 0x80 && c < 0xA0)) return 0;
    char bytes[4];
    int n = StrUtf8Encode(c, bytes);
    if (!n) return 0;
    char text[EDIT_REFUSAL_MAX];
    if ((WinGetStyle() & EDIT_ASCII) && c > 126) {
        snprintf(text, sizeof text, "\"%.*s\" cannot be used here: this name is stored as plain ASCII.", n, bytes);
        Refuse(text);
        return 0;
    }
    int len = StrLen(e->buffer);
    if (e->selected) len = 0;
    if (len + n > e->limit) {
        snprintf(text, sizeof text, "Too long: this field takes %d characters at most.", (int)e->limit);
        Refuse(text);
        return 0;
    }
    if (e->selected) {
        e->buffer[0] = 0;
        e->cursor = 0;
        e->selected = 0;
    }
    int at = e->cursor < 0 ? 0 : e->cursor > len ? len : e->cursor;
    memmove(e->buffer + at + n, e->buffer + at, (size_t)(len - at) + 1);
    memcpy(e->buffer + at, bytes, (size_t)n);
    e->cursor = at + n;
    return 1;
}

// One key of the program's own codes, or a character typed. 1 when the text changed.
static int EditKey(EditData* e, int key)
{
    char* s = e->buffer;
    int len = StrLen(s);
    if (e->cursor > len) e->cursor = len;
    if (e->selected) {
        // A cursor key only ends the selection; Backspace or Delete empty the text; a
        // character replaces it (see InsertChar).
        if (key == CH_BACKSPACE || key == CH_DELETE) {
            s[0] = 0;
            e->cursor = 0;
            e->selected = 0;
            return 1;
        }
        if (key < 32) e->selected = 0;
    }
    switch (key) {
    case CH_LEFT: e->cursor = PreviousChar(s, e->cursor); return 0;
    case CH_RIGHT: e->cursor = NextChar(s, e->cursor); return 0;
    case CH_HOME: e->cursor = 0; return 0;
    case CH_END: e->cursor = len; return 0;
    case CH_BACKSPACE: {
        if (e->cursor == 0) return 0;
        int from = PreviousChar(s, e->cursor);
        memmove(s + from, s + e->cursor, (size_t)(len - e->cursor) + 1);
        e->cursor = from;
        return 1;
    }
    case CH_DELETE: {
        if (e->cursor >= len) return 0;
        int to = NextChar(s, e->cursor);
        memmove(s + e->cursor, s + to, (size_t)(len - to) + 1);
        return 1;
    }
    default: return key >= 32 && InsertChar(e, (uint32_t)key);
    }
}

// The text's scroll after a change: the cursor stays inside the field, and no more of the
// text is scrolled out than needed.
static void KeepCursorShown(EditData* e, int fieldWidth)
{
    int room = fieldWidth - 2 * EDIT_TEXT_X - 1;
    int x = PixelsBefore(e->buffer, e->cursor), whole = TextWidth(e->buffer);
    if (x - e->scroll > room) e->scroll = x - room;
    if (x < e->scroll) e->scroll = x;
    if (e->scroll > 0 && whole - e->scroll < room) e->scroll = whole > room ? whole - room : 0;
    if (e->scroll < 0) e->scroll = 0;
}

static int EditProc(WinId, WinId, int message, WinParam* p1, WinParam* p2)
{
    EditData* e = (EditData*)WinGetData();
    switch (message) {
    case WM_CREATE:
        memset(e, 0, sizeof *e);
        e->blinkTimer = 1;
        return 0;
    case WM_DRAWFRAME: {
        int x0, y0, x1, y1;
        WinGetExtent(0, &x0, &y0, &x1, &y1);
        DrawFillRect(x0, y0, x1, y1, e->focus ? DrawHighlight() : DrawBackground());
        DrawSunkenBox(x0, y0, x1, y1);
        if (e->buffer) {
            KeepCursorShown(e, x1 - x0 + 1);
            // The text inside the box only: glyphs cut by its edges are left out.
            int cx0, cy0, cx1, cy1;
            VideoGetClip(&cx0, &cy0, &cx1, &cy1);
            VideoSetClip(cx0 + 1, cy0, cx1 - 1, cy1);
            int left = EDIT_TEXT_X - e->scroll;
            TextSetColour(DrawTextColour());
            TextSetFormat(TEXT_MODE_PLAIN, -1, 0, x1 + e->scroll);
            if (e->selected && e->buffer[0]) DrawFillRect(left, 1, left - 1 + TextWidth(e->buffer), 9, DrawAccent());
            // A glyph cut by the clip is not drawn and moves the pen nothing: the text is
            // printed from its first character wholly inside the field.
            int from = 0, x = left;
            while (e->buffer[from] && x < cx0 + 1) {
                int next = NextChar(e->buffer, from);
                x += PixelsBefore(e->buffer + from, next - from);
                from = next;
            }
            TextPrint(x, 1, "%s", e->buffer + from);
            if (e->focus && e->blink) {
                int x = left + PixelsBefore(e->buffer, e->cursor);
                int c = DrawTextColour();
                DrawLine(x, 1, x, 9, c);
                DrawLine(x - 1, 1, x + 1, 1, c);
                DrawLine(x - 1, 9, x + 1, 9, c);
            }
            VideoSetClip(cx0, cy0, cx1, cy1);
        }
        NoClientArea(p1, p2);
        return 0;
    }
    case WM_LPRESS:
        if (e->buffer) {
            // The cursor goes behind the last character that starts left of the press.
            int px = (int)*p1 + e->scroll, run = EDIT_TEXT_X, pos = 0, len = StrLen(e->buffer);
            while (pos < len && px > run) {
                int next = NextChar(e->buffer, pos);
                char one[8] = {};
                memcpy(one, e->buffer + pos, (size_t)(next - pos));
                run += TextWidth(one);
                pos = next;
            }
            e->cursor = pos;
            e->selected = 0;
        }
        return 0;
    case WM_TICK:
        e->blinkTimer -= (int32_t)*p2;
        if (e->blinkTimer < 0) {
            e->blinkTimer += EDIT_BLINK_MS;
            e->blink = !e->blink;
        }
        return 0;
    case WM_FOCUS: e->focus = (int32_t)*p1; return 0;
    case WM_KEY:
        if (!e->buffer) return 0;
        if (*p1 == CH_ENTER) {
            Notify(WM_EDITENTER, 0);
            return 0;
        }
        if (*p1 == CH_ESCAPE) {
            Notify(WM_EDITESCAPE, 0);
            return 0;
        }
        EditKey(e, (int)*p1);
        Notify(WM_EDITCHANGED, 0);
        return 0;
    case WM_EDITSETBUFFER:
        e->buffer = (char*)*p1;
        e->limit = (int32_t)*p2;
        e->cursor = e->buffer ? StrLen(e->buffer) : 0;
        e->selected = 0;
        e->scroll = 0;
        Notify(WM_EDITCHANGED, 0);
        return 0;
    case WM_EDITSETTEXT: {
        const char* text = (const char*)*p1;
        if (!e->buffer || !text || StrLen(text) > e->limit) {
            *p1 = 1;
            return 0;
        }
        StrCopy(e->buffer, text);
        e->cursor = StrLen(e->buffer);
        e->selected = 0;
        *p1 = 0;
        Notify(WM_EDITCHANGED, 0);
        return 0;
    }
    case WM_EDITSELECTALL:
        e->selected = e->buffer && e->buffer[0];
        if (e->buffer) e->cursor = StrLen(e->buffer);
        return 0;
    default: return 1;
    }
}

void EditRegisterClass(void) { WinCreateClass(CLASS_EDIT, 0, sizeof(EditData), EditProc); }

// ============================================================================================
// List data
// ============================================================================================

// The list is walked against its resource's size, so a list without an end mark (a caller's
// bug, or a damaged resource) ends at the block's end instead of past it.
struct ListWalk {
    const uint8_t* d;
    size_t size;
    size_t at;     // offset of the current item
};

static bool ListItem(ListWalk& w, int* id, const char** text, size_t* length)
{
    if (!InBlock(w.at, 3, w.size) || w.d[w.at + 2] == 0) return false;
    size_t end = w.at + 2;
    while (end < w.size && w.d[end]) end++;
    if (end >= w.size) return false;
    if (id) *id = GetI16(w.d, w.at);
    if (text) *text = (const char*)w.d + w.at + 2;
    if (length) *length = end - (w.at + 2);
    return true;
}

static void ListNext(ListWalk& w, size_t length) { w.at += 2 + length + 1; }

static ListWalk ListStart(ResId list)
{
    ListWalk w{(const uint8_t*)ResPeek(list), ResSize(list), 0};
    return w;
}

size_t ListSizeFor(int count, size_t totalTextLength) { return (size_t)count * 3 + totalTextLength + 4; }

void ListClear(ResId list)
{
    if (ResSize(list) < 4 && ResResize(list, 4) != 0) FatalError("ListAdd: Out of memory.");
    memset(ResPeek(list), 0, 4);
}

size_t ListAppend(ResId list, size_t end, int id, const char* text)
{
    if (!text || !text[0] || (uint8_t)text[0] == 255) FatalError("ListAdd: No empty strings, or character 255's!");
    size_t textLength = (size_t)StrLen(text);
    size_t need = end + 2 + textLength + 1 + 4;
    // The caller sizes the list; an item that does not fit grows it rather than overrunning it.
    if (need > ResSize(list) && ResResize(list, need) != 0) FatalError("ListAdd: Out of memory.");
    uint8_t* d = (uint8_t*)ResPeek(list);
    PutI16(d, end, (int16_t)id);
    memcpy(d + end + 2, text, textLength + 1);
    memset(d + end + 2 + textLength + 1, 0, 4);
    return end + 2 + textLength + 1;
}

void ListAdd(ResId list, int id, const char* text)
{
    ListWalk w = ListStart(list);
    size_t length;
    while (ListItem(w, nullptr, nullptr, &length)) ListNext(w, length);
    ListAppend(list, w.at, id, text);
}

const char* ListFindText(ResId list, int id)
{
    ListWalk w = ListStart(list);
    int itemId;
    const char* text;
    size_t length;
    while (ListItem(w, &itemId, &text, &length)) {
        if (itemId == id) return text;
        ListNext(w, length);
    }
    return nullptr;
}

int ListIndexOf(ResId list, int id)
{
    ListWalk w = ListStart(list);
    int itemId, index = 1;
    size_t length;
    while (ListItem(w, &itemId, nullptr, &length)) {
        if (itemId == id) return index;
        ListNext(w, length);
        index++;
    }
    return 0;
}

static bool ListAt(ResId list, int index, int* id, const char** text)
{
    if (index < 1) return false;
    ListWalk w = ListStart(list);
    size_t length;
    for (int i = 1; ListItem(w, id, text, &length); i++) {
        if (i == index) return true;
        ListNext(w, length);
    }
    return false;
}

int ListGetItemID(ResId list, int index)
{
    int id;
    if (!ListAt(list, index, &id, nullptr)) FatalError("ListGetItemID: Error!");
    return id;
}

const char* ListGetItemText(ResId list, int index)
{
    const char* text;
    if (!ListAt(list, index, nullptr, &text)) FatalError("ListGetItemText: Error!");
    return text;
}

int ListCount(ResId list)
{
    ListWalk w = ListStart(list);
    int count = 0;
    size_t length;
    while (ListItem(w, nullptr, nullptr, &length)) {
        count++;
        ListNext(w, length);
    }
    return count;
}

// ============================================================================================
// Slider and its thumb
// ============================================================================================

struct SliderData {
    int32_t range;      // positions 1 .. range
    int32_t position;
    WinId thumb;
};

enum { THUMB_MIN = 6 };

// The track runs along the slider's long side; the thumb's share of it shrinks with the range.
struct Track {
    int length, thumb, travel, vertical, width, height;
};

static Track SliderTrack(WinId slider, int range)
{
    Track t;
    int x, y;
    WinGetRect(slider, &x, &y, &t.width, &t.height);
    t.vertical = t.height >= t.width;
    t.length = t.vertical ? t.height : t.width;
    t.thumb = range > 0 ? t.length / range : t.length;
    if (t.thumb < THUMB_MIN) t.thumb = THUMB_MIN;
    if (t.thumb > t.length) t.thumb = t.length;
    t.travel = t.length - t.thumb;
    return t;
}

static void SliderPlaceThumb(WinId slider, SliderData* s)
{
    if (!s->thumb) return;
    Track t = SliderTrack(slider, s->range);
    int offset = s->range > 1 ? (int)((int64_t)(s->position - 1) * t.travel / (s->range - 1)) : 0;
    if (t.vertical)
        WinSetRect(s->thumb, 0, offset, t.width, t.thumb);
    else
        WinSetRect(s->thumb, offset, 0, t.thumb, t.height);
}

// Moves to the position whose thumb place is nearest `offset`; tells the parent on a change.
static void SliderMoveTo(WinId slider, SliderData* s, int offset)
{
    Track t = SliderTrack(slider, s->range);
    int position = 1;
    if (t.travel > 0 && s->range > 1) {
        if (offset < 0) offset = 0;
        if (offset > t.travel) offset = t.travel;
        position = 1 + (int)(((int64_t)offset * (s->range - 1) + t.travel / 2) / t.travel);
    }
    // The thumb snaps to its position's place even when the position stays.
    SliderPlaceThumb(slider, s);
    if (position == s->position) return;
    s->position = position;
    SliderPlaceThumb(slider, s);
    Notify(WM_SLIDERPOS, position);
}

static int SliderProc(WinId self, WinId, int message, WinParam* p1, WinParam* p2)
{
    SliderData* s = (SliderData*)WinGetData();
    switch (message) {
    case WM_CREATE: {
        s->range = 1;
        s->position = 1;
        int x0, y0, x1, y1;
        WinGetExtent(0, &x0, &y0, &x1, &y1);
        s->thumb = WinCreate(0, 0, x1 + 1, y1 + 1, WIN_CURRENT, FRAME_BORDER, CLASS_THUMB);
        s = (SliderData*)WinGetData();
        SliderPlaceThumb(self, s);
        return 0;
    }
    case WM_DRAWFRAME: {
        int x0, y0, x1, y1;
        WinGetExtent(0, &x0, &y0, &x1, &y1);
        DrawFillRect(x0, y0, x1, y1, DrawShadow());
        DrawSunkenBox(x0, y0, x1, y1);
        NoClientArea(p1, p2);
        return 0;
    }
    case WM_LPRESS: {
        // A press on the track brings the thumb's middle to the pointer.
        Track t = SliderTrack(self, s->range);
        int at = t.vertical ? (int)*p2 : (int)*p1;
        SliderMoveTo(self, s, at - t.thumb / 2);
        return 0;
    }
    case WM_THUMBDRAG: {
        Track t = SliderTrack(self, s->range);
        SliderMoveTo(self, s, t.vertical ? WinHi(*p1) : WinLo(*p1));
        return 0;
    }
    case WM_SLIDERSETPOS: {
        int position = (int)*p1;
        if (position < 1) position = 1;
        if (position > s->range) position = s->range;
        s->position = position;
        SliderPlaceThumb(self, s);
        return 0;
    }
    case WM_SLIDERSETRANGE:
        s->range = *p1 < 1 ? 1 : (int32_t)*p1;
        if (s->position > s->range) s->position = s->range;
        SliderPlaceThumb(self, s);
        return 0;
    case WM_DESTROY: s->thumb = 0; return 0;
    default: return 1;
    }
}

static int ThumbProc(WinId self, WinId, int message, WinParam* p1, WinParam* p2)
{
    switch (message) {
    case WM_REGION: *p1 = 0xFFFF; *p2 = 0; return 0;
    case WM_DRAG: {
        // The wanted place: where the thumb would be if it followed the pointer.
        int x, y, w, h;
        WinGetRect(self, &x, &y, &w, &h);
        int nx = x + WinLo(*p1) - WinLo(*p2), ny = y + WinHi(*p1) - WinHi(*p2);
        WinParam a = WinPack(nx, ny), b = WinPack(w, h);
        WinSendMessage(WIN_PARENT, WM_THUMBDRAG, &a, &b);
        return 0;
    }
    default: return 1;
    }
}

void SliderRegisterClass(void)
{
    WinCreateClass(CLASS_SLIDER, 0, sizeof(SliderData), SliderProc);
    WinCreateClass(CLASS_THUMB, CLASS_FRAME, 0, ThumbProc);
}

// ============================================================================================
// List control
// ============================================================================================

struct ListData {
    ResId list;
    uint32_t selection;   // 1-based index; with LIST_MULTIPLE the mask of chosen ids
    int32_t first;        // first visible item, 1-based
    int32_t count;
    int32_t visible;
    WinId slider;
};

static void ClientRect(int* x0, int* y0, int* x1, int* y1)
{
    WinParam p1 = 0, p2 = 0;
    if (WinSendMessage(WIN_SELF, WM_REGION, &p1, &p2) != 0 || WinNoRect(p1)) {
        WinGetExtent(0, x0, y0, x1, y1);
        return;
    }
    *x0 = WinLo(p1);
    *y0 = WinHi(p1);
    *x1 = WinLo(p2);
    *y1 = WinHi(p2);
}

static int ListProc(WinId, WinId, int message, WinParam* p1, WinParam* p2)
{
    ListData* l = (ListData*)WinGetData();
    uint32_t multiple = WinGetStyle() & LIST_MULTIPLE;
    switch (message) {
    case WM_CREATE:
        memset(l, 0, sizeof *l);
        l->first = 1;
        return 0;
    case WM_LISTSET: {
        l->list = (ResId)*p1;
        l->selection = 0;
        l->count = l->list ? ListCount(l->list) : 0;
        l->first = 1;
        int x0, y0, x1, y1;
        ClientRect(&x0, &y0, &x1, &y1);
        l = (ListData*)WinGetData();
        l->visible = (y1 - y0 + 1) / LIST_LINE_HEIGHT;
        if (l->count > l->visible) {
            if (!l->slider) {
                WinId slider = WinCreate(x1 - SLIDER_WIDTH + 1, y0, SLIDER_WIDTH, y1 - y0 + 1, WIN_CURRENT, 0,
                                         CLASS_SLIDER);
                l = (ListData*)WinGetData();
                l->slider = slider;
            }
            WinParam range = l->count - l->visible + 1, position = l->first, z = 0;
            if (range < 1) range = 1;
            WinSendMessage(l->slider, WM_SLIDERSETRANGE, &range, &z);
            WinSendMessage(l->slider, WM_SLIDERSETPOS, &position, &z);
        } else if (l->slider) {
            WinClose(l->slider);
            l->slider = 0;
        }
        return 0;
    }
    case WM_LPRESS_REGION: {
        int line = (int)*p2 / LIST_LINE_HEIGHT + l->first;
        if (line < 1 || line > l->count || !l->list) return 0;
        int id = ListGetItemID(l->list, line);
        WinParam value;
        if (multiple) {
            l->selection ^= (uint32_t)id;
            value = (WinParam)l->selection;
        } else {
            l->selection = (uint32_t)line;
            value = id;
        }
        Notify(WM_LISTCHOICE, value);
        return 0;
    }
    case WM_LISTGETCHOICE:
        if (multiple) *p1 = (WinParam)l->selection;
        else *p1 = (l->selection && l->list && (int)l->selection <= l->count) ? ListGetItemID(l->list, (int)l->selection) : 0;
        return 0;
    case WM_LISTSETCHOICE:
        if (multiple) l->selection = (uint32_t)*p1;
        else l->selection = (*p1 && l->list) ? (uint32_t)ListIndexOf(l->list, (int)*p1) : 0;
        return 0;
    case WM_SLIDERPOS:
        l->first = (int32_t)*p1;
        return 0;
    case WM_DRAWCLIENT: {
        int x0, y0, x1, y1;
        WinGetExtent(0, &x0, &y0, &x1, &y1);
        DrawFillRect(x0, y0, x1, y1, DrawBackground());
        if (!l->list) return 0;
        int right = l->slider ? x1 - SLIDER_WIDTH : x1;
        TextSetFormat(TEXT_MODE_PLAIN, -1, 0, right);
        // One walk to the first visible item and on through the visible ones: a long list
        // scrolled far down costs no more a frame than a short one.
        ListWalk w = ListStart(l->list);
        size_t length;
        for (int item = 1; item < l->first && ListItem(w, nullptr, nullptr, &length); item++) ListNext(w, length);
        for (int i = 0; i < l->visible; i++) {
            int item = l->first + i;
            int id;
            const char* text;
            if (item < 1 || item > l->count || !ListItem(w, &id, &text, &length)) break;
            ListNext(w, length);
            bool chosen = multiple ? (id != 0 && ((uint32_t)id & l->selection) == (uint32_t)id)
                                   : (uint32_t)item == l->selection;
            int y = i * LIST_LINE_HEIGHT;
            if (chosen) DrawFillRect(x0, y, right, y + LIST_LINE_HEIGHT - 1, DrawAccent());
            TextSetColour(DrawTextColour());
            TextPrint(1, y + 1, "%s", text);
        }
        return 0;
    }
    case WM_DESTROY: l->slider = 0; return 1;
    default: return 1;
    }
}

void ListRegisterClass(void) { WinCreateClass(CLASS_LIST, CLASS_FRAME, sizeof(ListData), ListProc); }

// ============================================================================================
// Describing a control
// ============================================================================================

int ControlDescribe(WinId window, ControlInfo* out)
{
    *out = ControlInfo{};
    uint32_t cls = WinGetClass(window);
    out->classId = cls;
    out->text = "";
    if (cls == CLASS_BUTTON) {
        const ButtonData* b = (const ButtonData*)WinDataOf(window, CLASS_BUTTON);
        out->text = b->label;
        out->state = (int32_t)b->state;
        return 1;
    }
    if (cls == CLASS_EDIT) {
        const EditData* e = (const EditData*)WinDataOf(window, CLASS_EDIT);
        if (e->buffer) out->text = e->buffer;
        return 1;
    }
    if (cls == CLASS_LIST) {
        const ListData* l = (const ListData*)WinDataOf(window, CLASS_LIST);
        out->list = l->list;
        out->state = (int32_t)l->selection;
        return 1;
    }
    if (cls == CLASS_SLIDER) {
        const SliderData* d = (const SliderData*)WinDataOf(window, CLASS_SLIDER);
        out->state = d->position;
        out->range = d->range;
        return 1;
    }
    return 0;
}

void ControlsRegisterClasses(void)
{
    ButtonRegisterClass();
    EditRegisterClass();
    ListRegisterClass();
    SliderRegisterClass();
}
