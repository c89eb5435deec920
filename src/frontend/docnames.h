// The document's names along its undo history. Load, New and Create replace the document in
// one step that Undo takes back; its folder and name go back with it, so that a Save after
// that Undo writes the document to the file it came from, not over the file loaded after it.
// A rename without a replacement (Save under another name) renames every state of that
// document alike.
#pragma once

// Forgets every name: the running editor's document is the only one known (editor start/end).
void DocNamesReset(void);
// Notes the current state's names: a change of names with a change of state is a replacement
// (the state before it keeps the old names), one without is a rename. Cheap when nothing
// changed; called once a turn and before each Undo or Redo.
void DocNamesObserve(void);
// After an Undo or Redo: the names of the document the restored state belongs to, handed back
// to the editor where they differ from the current ones.
void DocNamesAfterStep(void);
