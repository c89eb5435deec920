// Unsaved work: whether the running editor's document (the shape, or the world) differs from
// what was last loaded or saved (the materials and the palette keep their own marks), the question "Save changes to NAME?" asked before such work
// would be thrown away (Close, New, Load, Create), and the close of the window.
//
// A document's state is told by the number its history gives it (an Undo back to the state
// that was saved counts as saved again), else by a hash of its bytes against the saved one's.
#pragma once
#include "frontend/msgbox.h"

// The running editor's document is its file now (loaded, saved, or emptied by New).
void UnsavedMarkClean(void);
// 1 when the running editor's document differs from what was last loaded or saved.
int UnsavedChanged(void);

// Asks "Save changes to NAME?" with Yes, No and Cancel when the document has unsaved work.
// Returns 1 when the caller goes on now (nothing unsaved, No, or Yes and the save worked);
// 0 when it must stop: Cancel, a failed save, or an answer still to come. An answer that comes
// later (the editor's own box, or Yes through the save selector) runs `resume` when the work
// may go on, and nothing else.
typedef void (*UnsavedResumeFn)(void);
int UnsavedAsk(UnsavedResumeFn resume);
// The editor's panels call it after every save that worked: a Yes waiting for the selector
// goes on.
void UnsavedSaved(void);
// The editor frame: a Yes whose selector was closed without a save stops waiting.
void UnsavedFrame(void);

// The close of the window: one question per document with unsaved work, in turn (the shape or
// world, the materials, the palette; Cancel on any stops the close), else the close question
// ("Are you sure you meant to press that button?") when the editor confirms closes. The
// materials and the palette are saved under their file; without one, Yes opens their panel
// and the close stops.
void UnsavedClose(void);

// A question as a native box, or the editor's own box when the native one cannot be shown.
// The answer (ID_YES, ID_NO or ID_CANCEL) goes to `answered`, at once or when it is given.
void UnsavedQuestion(const char* title, const char* text, int flags, MsgBoxAnswerFn answered);
