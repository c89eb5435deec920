// What the Shape Editor's panels and dialogs share: making their controls, reading number
// fields, printing at panel positions, and the keys that answer a dialog.
#pragma once
#include <cstddef>
#include <cstdint>

#include "toolkit/win.h"

enum {
    SE_BUTTON_WIDTH = 50,   // panel buttons, unless a panel says otherwise
    SE_ROW_HEIGHT = 11,
    SE_NUMBER_CHARS = 7,    // a number field's limit: sign and six digits
    SE_DIALOG_STYLE = FRAME_BORDER | FRAME_TITLE | FRAME_DRAG,

    // What a dialog message means (SeDialogAnswer).
    SE_NONE = 0,
    SE_OK = 1,
    SE_CANCEL = 2,
};

// A button of the current window (inside a window procedure), labelled.
WinId SeButton(int x, int y, int width, uint32_t style, const char* label);
// An edit field of the current window on a caller's buffer that outlives it. It takes ASCII
// only: numbers, and names that files store as ASCII.
WinId SeField(int x, int y, int width, char* buffer, int limit);
// A dialog window on the desktop with a title bar, dragged by it; 0 when not made.
WinId SeDialog(uint32_t classId, int x, int y, int width, int height, const char* title);
// Sets and reads a button's state without its owner reacting twice (the owner still hears).
void SeSetState(WinId button, int on);
int SeState(WinId button);

// A field's text as a whole number: blanks, an optional sign, then digits; what follows the
// digits is ignored. 1 and the value (clamped to the 32-bit range), or 0 when it holds no
// number.
int SeReadInt(const char* text, int32_t* out);
void SeWriteInt(char* buffer, size_t size, int32_t value);

// Inside a draw-client message: fills the client area, and prints at a position given, as
// the controls' positions are, from the window's corner.
void SeClearClient(void);
void SePrint(int x, int y, int colour, const char* fmt, ...) __attribute__((format(printf, 4, 5)));
// The same, the text ending at x (its last pixel), so that a value of any width stays clear of
// what stands to its right.
void SePrintRight(int x, int y, int colour, const char* fmt, ...) __attribute__((format(printf, 4, 5)));

// Enter means Ok and Escape Cancel: from a field (its notifications) or as keys to the dialog.
int SeDialogAnswer(int message, const WinParam* p1);
