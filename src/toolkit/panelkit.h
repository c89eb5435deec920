// The panel kit: what every panel and dialog of both editors builds itself from. Its controls
// (buttons, switches, radio buttons, fields, dialogs), reading and writing number fields,
// printing at control positions, clearing the client area, the lifetime of child controls,
// and the context grid: buttons chosen by a rules table for the counts of what is selected,
// rebuilt when the counts change. A panel defines none of these itself.
#pragma once
#include <cstddef>
#include <cstdint>

#include "toolkit/win.h"

enum {
    KIT_BUTTON_WIDTH = 50,   // panel buttons, unless a panel says otherwise
    KIT_ROW_HEIGHT = 11,     // a button's and a field's height
    KIT_NUMBER_CHARS = 7,    // a number field's limit: sign and six digits
    KIT_DIALOG_STYLE = FRAME_BORDER | FRAME_TITLE | FRAME_DRAG,

    // What a dialog message means (KitDialogAnswer).
    KIT_NONE = 0,
    KIT_OK = 1,
    KIT_CANCEL = 2,
};

// ---- controls of the current window (inside a window procedure) ----------------------------
// A button, labelled; 0 when not made. The sized one for buttons of another height.
WinId KitButton(int x, int y, int width, uint32_t style, const char* label);
WinId KitButtonSized(int x, int y, int width, int height, uint32_t style, const char* label);
// A modal box's start: the box takes the mouse and keys from every other window and the
// keyboard focus, with one push button (40 wide) centred across it, its top `below` pixels
// above the box's bottom edge.
WinId KitModalButton(WinId box, int below, const char* label);
// Push buttons from a table, out[i] made for table[i] (0 where one was not made); the index
// of a sender among such ids, -1 for none.
struct KitButtonSpec {
    const char* label;
    int x, y, width;
};
void KitButtons(const KitButtonSpec* table, int count, WinId* out);
int KitIndexOf(const WinId* ids, int count, WinId id);
// A button's label replaced.
void KitSetLabel(WinId button, const char* label);
// A toggle button set to `on`.
WinId KitSwitch(int x, int y, int width, const char* label, int on);
// A radio button of a group: pressing it switches off the others of the same group.
WinId KitRadio(int x, int y, int width, int group, const char* label);
// An edit field on a caller's buffer that outlives it. KitField takes ASCII only (numbers, and
// names that files store as ASCII); KitFieldStyled takes the edit field's styles.
WinId KitField(int x, int y, int width, char* buffer, int limit);
WinId KitFieldStyled(int x, int y, int width, uint32_t style, char* buffer, int limit);
// A slider of `range` positions (0 .. range - 1) standing at `position`.
WinId KitSlider(int x, int y, int width, int32_t range, int32_t position);
// A field's whole text replaced (the field refuses what it cannot hold).
void KitSetText(WinId field, const char* text);
// Focus to a field with its whole text selected: the first key typed replaces it.
void KitFocusAll(WinId field);
// A dialog window on the desktop with a title bar, dragged by it; 0 when not made.
WinId KitDialog(uint32_t classId, int x, int y, int width, int height, const char* title);
void KitSetTitle(WinId window, const char* title);
// Sets and reads a button's state without its owner reacting twice (the owner still hears).
void KitSetState(WinId button, int on);
int KitState(WinId button);

// ---- child lifetime -------------------------------------------------------------------------
// Destroys a control and forgets its id. An id kept after its window went may name another
// window later: a panel forgets its controls' ids when it goes, and destroys only through this.
void KitDestroy(WinId* control);
void KitForget(WinId* const* controls, int count);

// ---- numbers in fields ----------------------------------------------------------------------
// A field's text as a whole number: blanks, an optional sign, then digits; what follows the
// digits is ignored. 1 and the value (clamped to the 32-bit range), or 0 when it holds no
// number.
int KitReadInt(const char* text, int32_t* out);
void KitWriteInt(char* buffer, size_t size, int32_t value);

// ---- drawing inside a draw-client message ---------------------------------------------------
// Fills the client area with the background.
void KitClearClient(void);
// Prints at a position given, as the controls' positions are, from the window's corner.
void KitPrint(int x, int y, int colour, const char* fmt, ...) __attribute__((format(printf, 4, 5)));
// The same, the text ending at x (its last pixel), so that a value of any width stays clear of
// what stands to its right.
void KitPrintRight(int x, int y, int colour, const char* fmt, ...) __attribute__((format(printf, 4, 5)));
// The client area's corner in the window (past the border and the title bar); 0, 0 when the
// window has no client area.
void KitClientOrigin(int* x, int* y);

// ---- dialogs --------------------------------------------------------------------------------
// Enter means Ok and Escape Cancel: from a field (its notifications) or as keys to the dialog.
int KitDialogAnswer(int message, const WinParam* p1);

// ---- the context grid -----------------------------------------------------------------------
// A selection panel shows the commands that apply to what is selected. Each command of its
// table has a rule for each of (up to) two counts of selected things: a count it needs exactly,
// or one of these. Nothing selected at all shows no command.
enum {
    KIT_RULE_ANY = 32765,
    KIT_RULE_SOME = 32766,      // at least one
    KIT_RULE_SEVERAL = 32767,   // at least two
    KIT_GRID_MAX = 12,
    KIT_NO_COUNT = -1,          // the counts of a grid not built
};

struct KitCommand {
    const char* label;
    int rule;                          // for the first count
    int secondRule = KIT_RULE_ANY;     // for the second count (panels with one count: any)
    int disabled = 0;                  // shown, but without effect: drawn, no button
};

// Where the grid's cells stand: column i / rows at x[i / rows], row i % rows at y[i % rows].
struct KitGridLayout {
    const int* x;
    const int* y;
    int rows;
    int capacity;      // cells, at most KIT_GRID_MAX
    int buttonWidth;
};

struct KitGrid {
    WinId button[KIT_GRID_MAX];   // 0 for a disabled command
    int command[KIT_GRID_MAX];    // index into the table
    int count;
    int shown[2];                 // the counts the grid was built for
};

int KitRuleAccepts(int rule, int count);
// The commands of the table for these counts, in table order: their indexes in out (at most
// max), and the number that qualify (which may be more than max).
int KitGridChoose(const KitCommand* table, int size, int first, int second, int* out, int max);
// The grid rebuilt for these counts: the old buttons go first (a window holds 25 children).
// Returns the number of commands that qualified, which may exceed the layout's capacity.
int KitGridBuild(KitGrid* grid, const KitCommand* table, int size, const KitGridLayout& layout, int first,
                 int second = 0);
// The buttons destroyed; the counts marked as not built.
void KitGridClear(KitGrid* grid);
// The ids forgotten without destroying (their panel went with them).
void KitGridForget(KitGrid* grid);
int KitGridStale(const KitGrid* grid, int first, int second = 0);
// The command whose button is this sender; -1 for none.
int KitGridCommand(const KitGrid* grid, WinId sender);
// Disabled commands, printed in their cells (inside a draw-client message).
void KitGridDrawDisabled(const KitGrid* grid, const KitCommand* table, const KitGridLayout& layout, int colour);

// ---- picks and rectangles from the view -----------------------------------------------------
// How a panel's selection changes. A pick with "Mult" off replaces the selection: `clear` runs
// first. A drop (on = 0) only deselects. `selectAll` serves an "A" button (may be null).
struct KitSelection {
    void (*clear)(void);
    void (*select)(int id, int on);
    void (*selectAll)(void) = nullptr;
};
void KitPick(const KitSelection& selection, int mult, int id, int on);
// A selection panel's own buttons: "C" clears the selection, "A" selects all, the "Mult"
// switch lets picks add to it.
struct KitSelectionButtons {
    WinId clear, all, mult;
};
// A press from one of them acted on (C and A at their press, Mult's state kept in *multOn):
// 1; 0 when the sender is none of them.
int KitSelectionPressed(const KitSelection& selection, const KitSelectionButtons& buttons, WinId sender, int on,
                        int* multOn);
// A rectangle the view handed over (p1 x0, y0; p2 x1, y1) as four numbers.
void KitRect(WinParam p1, WinParam p2, int32_t rect[4]);
// Whether a rectangle is smaller than size in both directions: a click, not a drag.
int KitRectIsClick(const int32_t rect[4], int size);
