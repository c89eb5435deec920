// Message boxes: the modal box (class 0x202) that panels use to tell the user something, and
// the error box that gives the text of an editor operation's negative result code. Every box
// is also written to the developer log as MSGBOX "<title>" "<text>".
#pragma once
#include "toolkit/win.h"

// Registers the class at the editor start and drops boxes that waited in an earlier run.
void MsgBoxRegisterClass(void);
// Shows a box with an "Ok" button. Returns the box's window, or 0 when it is not on screen
// (it waits behind another modal window, or was answered at once).
WinId MsgBoxShow(const char* title, const char* text);
// A question with "Yes", "No" and "Cancel" (Enter is Yes, Escape Cancel): the answer (ID_YES,
// ID_NO or ID_CANCEL) goes to `answered` once the box has gone. When no box can be shown now
// (another window is modal) the answer is ID_CANCEL at once. Returns the box, or 0.
typedef void (*MsgBoxAnswerFn)(int answer);
WinId MsgBoxAsk(const char* title, const char* text, MsgBoxAnswerFn answered);
// The text of a result code ("Unknown Error Code!" for codes without one). The codes are the
// document managers': the editor that returns them hands in their table at its install.
typedef const char* (*MsgBoxErrorTextFn)(int code);
void MsgBoxSetErrorTexts(MsgBoxErrorTextFn texts);
const char* MsgBoxErrorText(int code);
// A box with the text of a result code.
WinId MsgBoxError(const char* title, int code);
// Shows the first waiting box once no window is modal; the editor frame calls it.
void MsgBoxShowWaiting(void);
// The size of the box a text takes on a screen this wide: at least 260 x 50, as wide as the
// text and the title need up to nine tenths of the screen, and a line higher for each line
// the text wraps onto.
void MsgBoxSize(const char* title, const char* text, int screenWidth, int* width, int* height);
// The text a box window shows (null when the window is no box).
const char* MsgBoxText(WinId box);
int MsgBoxWaitingCount(void);
