#include "toolkit/panelkit.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"

enum { KIT_PRINT_MAX = 128, MODAL_BUTTON_WIDTH = 40 };

// ============================================================================================
// Controls
// ============================================================================================

void KitSetLabel(WinId button, const char* label)
{
    // A send to 0 would reach the parent: a button not made gets no label.
    if (!button || !label) return;
    WinParam p1 = (WinParam)label, p2 = 0;
    WinSendMessage(button, WM_SETLABEL, &p1, &p2);
}

WinId KitButtonSized(int x, int y, int width, int height, uint32_t style, const char* label)
{
    WinId b = WinCreate(x, y, width, height, WIN_CURRENT, style, CLASS_BUTTON);
    KitSetLabel(b, label);
    return b;
}

WinId KitButton(int x, int y, int width, uint32_t style, const char* label)
{
    return KitButtonSized(x, y, width, KIT_ROW_HEIGHT, style, label);
}

WinId KitModalButton(WinId box, int below, const char* label)
{
    WinMakeModal(box);
    int x, y, w, h;
    WinGetRect(box, &x, &y, &w, &h);
    WinId button = KitButton((w - MODAL_BUTTON_WIDTH) / 2, h - below, MODAL_BUTTON_WIDTH, BUTTON_PUSH, label);
    WinSetFocus(box);
    return button;
}

void KitButtons(const KitButtonSpec* table, int count, WinId* out)
{
    for (int i = 0; i < count; i++) out[i] = KitButton(table[i].x, table[i].y, table[i].width, BUTTON_PUSH, table[i].label);
}

int KitIndexOf(const WinId* ids, int count, WinId id)
{
    if (!id) return -1;
    for (int i = 0; i < count; i++)
        if (ids[i] == id) return i;
    return -1;
}

WinId KitSwitch(int x, int y, int width, const char* label, int on)
{
    WinId b = KitButton(x, y, width, BUTTON_TOGGLE, label);
    if (b) KitSetState(b, on);
    return b;
}

WinId KitRadio(int x, int y, int width, int group, const char* label)
{
    WinId b = KitButton(x, y, width, BUTTON_RADIO | BUTTON_GROUP, label);
    WinParam p1 = group, p2 = 0;
    if (b) WinSendMessage(b, WM_SETGROUP, &p1, &p2);
    return b;
}

WinId KitFieldStyled(int x, int y, int width, uint32_t style, char* buffer, int limit)
{
    WinId f = WinCreate(x, y, width, KIT_ROW_HEIGHT, WIN_CURRENT, style, CLASS_EDIT);
    WinParam p1 = (WinParam)buffer, p2 = limit;
    if (f) WinSendMessage(f, WM_EDITSETBUFFER, &p1, &p2);
    return f;
}

WinId KitField(int x, int y, int width, char* buffer, int limit)
{
    return KitFieldStyled(x, y, width, EDIT_ASCII, buffer, limit);
}

WinId KitSlider(int x, int y, int width, int32_t range, int32_t position)
{
    WinId w = WinCreate(x, y, width, KIT_ROW_HEIGHT, WIN_CURRENT, 0, CLASS_SLIDER);
    if (!w) return 0;
    WinParam p1 = range, p2 = 0;
    WinSendMessage(w, WM_SLIDERSETRANGE, &p1, &p2);
    p1 = position;
    WinSendMessage(w, WM_SLIDERSETPOS, &p1, &p2);
    return w;
}

void KitSetText(WinId field, const char* text)
{
    if (!field) return;
    WinParam p1 = (WinParam)text, p2 = 0;
    WinSendMessage(field, WM_EDITSETTEXT, &p1, &p2);
}

void KitFocusAll(WinId field)
{
    if (!field || !WinIsWindow(field)) return;
    WinSetFocus(field);
    WinParam p1 = 0, p2 = 0;
    WinSendMessage(field, WM_EDITSELECTALL, &p1, &p2);
}

void KitSetTitle(WinId window, const char* title)
{
    if (!window) return;
    WinParam p1 = (WinParam)title, p2 = 0;
    WinSendMessage(window, WM_SETTITLE, &p1, &p2);
}

WinId KitDialog(uint32_t classId, int x, int y, int width, int height, const char* title)
{
    WinId d = WinCreate(x, y, width, height, WIN_DESKTOP, KIT_DIALOG_STYLE, classId);
    if (!d) return 0;
    KitSetTitle(d, title);
    return d;
}

void KitSetState(WinId button, int on)
{
    if (!button) return;
    WinParam p1 = on ? 1 : 0, p2 = 0;
    WinSendMessage(button, WM_SETSTATE, &p1, &p2);
}

int KitState(WinId button)
{
    if (!button) return 0;
    WinParam p1 = 0, p2 = 0;
    WinSendMessage(button, WM_GETSTATE, &p1, &p2);
    return p1 != 0;
}

void KitDestroy(WinId* control)
{
    if (*control && WinIsWindow(*control)) WinDestroy(*control);
    *control = 0;
}

void KitForget(WinId* const* controls, int count)
{
    for (int i = 0; i < count; i++) *controls[i] = 0;
}

// ============================================================================================
// Numbers
// ============================================================================================

int KitReadInt(const char* text, int32_t* out)
{
    if (!text) return 0;
    while (*text == ' ' || *text == '\t') text++;
    int negative = *text == '-';
    if (*text == '-' || *text == '+') text++;
    if (*text < '0' || *text > '9') return 0;
    int64_t v = 0;
    for (; *text >= '0' && *text <= '9'; text++)
        if (v <= INT32_MAX) v = v * 10 + (*text - '0');
    if (negative) v = -v;
    *out = (int32_t)(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
    return 1;
}

void KitWriteInt(char* buffer, size_t size, int32_t value) { snprintf(buffer, size, "%d", (int)value); }

// ============================================================================================
// Drawing
// ============================================================================================

void KitClearClient(void)
{
    int x0, y0, x1, y1;
    WinGetExtent(0, &x0, &y0, &x1, &y1);
    DrawFillRect(x0, y0, x1, y1, DrawBackground());
}

void KitClientOrigin(int* x, int* y)
{
    WinParam p1 = 0, p2 = 0;
    *x = *y = 0;
    if (WinSendMessage(WIN_SELF, WM_REGION, &p1, &p2) == 0 && !WinNoRect(p1)) {
        *x = WinLo(p1);
        *y = WinHi(p1);
    }
}

static void Print(int x, int y, int colour, const char* text)
{
    int cx, cy;
    KitClientOrigin(&cx, &cy);
    int x0, y0, x1, y1;
    WinGetExtent(0, &x0, &y0, &x1, &y1);
    TextSetColour(colour);
    TextSetFormat(TEXT_MODE_PLAIN, -1, 0, x1);
    TextPrint(x - cx, y - cy, "%s", text);
}

// Formats once for both printers: left-aligned at x, or ending at x.
static void PrintFormatted(int x, int y, int colour, int rightAligned, const char* fmt, va_list ap)
{
    char text[KIT_PRINT_MAX];
    vsnprintf(text, sizeof text, fmt, ap);
    Print(rightAligned ? x + 1 - TextWidth(text) : x, y, colour, text);
}

void KitPrint(int x, int y, int colour, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    PrintFormatted(x, y, colour, 0, fmt, ap);
    va_end(ap);
}

void KitPrintRight(int x, int y, int colour, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    PrintFormatted(x, y, colour, 1, fmt, ap);
    va_end(ap);
}

int KitDialogAnswer(int message, const WinParam* p1)
{
    if (message == WM_EDITENTER) return KIT_OK;
    if (message == WM_EDITESCAPE) return KIT_CANCEL;
    if (message == WM_KEY && p1) return *p1 == CH_ENTER ? KIT_OK : *p1 == CH_ESCAPE ? KIT_CANCEL : KIT_NONE;
    return KIT_NONE;
}

// ============================================================================================
// The context grid
// ============================================================================================

int KitRuleAccepts(int rule, int count)
{
    switch (rule) {
    case KIT_RULE_ANY: return 1;
    case KIT_RULE_SOME: return count >= 1;
    case KIT_RULE_SEVERAL: return count >= 2;
    default: return count == rule;
    }
}

int KitGridChoose(const KitCommand* table, int size, int first, int second, int* out, int max)
{
    if (first == 0 && second == 0) return 0;
    int n = 0;
    for (int c = 0; c < size; c++) {
        if (!KitRuleAccepts(table[c].rule, first) || !KitRuleAccepts(table[c].secondRule, second)) continue;
        if (n < max) out[n] = c;
        n++;
    }
    return n;
}

void KitGridClear(KitGrid* grid)
{
    for (int i = 0; i < grid->count; i++) KitDestroy(&grid->button[i]);
    grid->count = 0;
    grid->shown[0] = grid->shown[1] = KIT_NO_COUNT;
}

void KitGridForget(KitGrid* grid)
{
    for (WinId& b : grid->button) b = 0;
    grid->count = 0;
    grid->shown[0] = grid->shown[1] = KIT_NO_COUNT;
}

int KitGridBuild(KitGrid* grid, const KitCommand* table, int size, const KitGridLayout& layout, int first, int second)
{
    KitGridClear(grid);
    int capacity = layout.capacity < KIT_GRID_MAX ? layout.capacity : KIT_GRID_MAX;
    int qualified = KitGridChoose(table, size, first, second, grid->command, capacity);
    grid->count = qualified < capacity ? qualified : capacity;
    for (int i = 0; i < grid->count; i++) {
        const KitCommand& c = table[grid->command[i]];
        grid->button[i] = c.disabled ? 0
                                     : KitButton(layout.x[i / layout.rows], layout.y[i % layout.rows],
                                                 layout.buttonWidth, BUTTON_PUSH, c.label);
    }
    grid->shown[0] = first;
    grid->shown[1] = second;
    return qualified;
}

int KitGridStale(const KitGrid* grid, int first, int second)
{
    return grid->shown[0] != first || grid->shown[1] != second;
}

int KitGridCommand(const KitGrid* grid, WinId sender)
{
    if (!sender) return -1;
    for (int i = 0; i < grid->count; i++)
        if (grid->button[i] == sender) return grid->command[i];
    return -1;
}

void KitGridDrawDisabled(const KitGrid* grid, const KitCommand* table, const KitGridLayout& layout, int colour)
{
    for (int i = 0; i < grid->count; i++)
        if (!grid->button[i])
            KitPrint(layout.x[i / layout.rows] + 4, layout.y[i % layout.rows] + 2, colour, "%s",
                     table[grid->command[i]].label);
}

// ============================================================================================
// Picks and rectangles
// ============================================================================================

void KitPick(const KitSelection& selection, int mult, int id, int on)
{
    if (on && !mult && selection.clear) selection.clear();
    selection.select(id, on);
}

int KitSelectionPressed(const KitSelection& selection, const KitSelectionButtons& buttons, WinId sender, int on,
                        int* multOn)
{
    if (!sender) return 0;
    if (sender == buttons.mult) {
        *multOn = on;
        return 1;
    }
    if (sender != buttons.clear && sender != buttons.all) return 0;
    void (*action)(void) = sender == buttons.clear ? selection.clear : selection.selectAll;
    if (on && action) action();
    return 1;
}

void KitRect(WinParam p1, WinParam p2, int32_t rect[4])
{
    rect[0] = WinLo(p1);
    rect[1] = WinHi(p1);
    rect[2] = WinLo(p2);
    rect[3] = WinHi(p2);
}

int KitRectIsClick(const int32_t rect[4], int size)
{
    return std::abs(rect[2] - rect[0]) < size && std::abs(rect[3] - rect[1]) < size;
}
