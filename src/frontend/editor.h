// The editor stage: the editor start (video mode, managers, renderer, the edited-object slot,
// window classes), the editor frame with its deferred operations, and the frame's drawing.
#pragma once
#include "toolkit/win.h"

// Deferred operations: panels set a request; the next editor frame clears it and runs the work.
enum {
    REQUEST_REDRAW = 0,
    REQUEST_SORT = 1,
    REQUEST_DELETE_NET_SHAPES = 2,
    REQUEST_BUILD_MONORAIL = 3,
    REQUEST_RESERVED = 4,
    REQUEST_SAVE_RUNTIME = 5,
    REQUEST_COUNT = 6,
};
void EditorRequest(int request);
int EditorRequestPending(int request);

// The editors' own panels live above the front end: the program hands in each editor's table
// before it runs. Every installed table's classes are registered at each editor start, so a
// panel may open a dialog of the other editor's set.
typedef struct EditorPanels {
    void (*registerClasses)(void);
    const char* (*fileName)(void);    // the edited file: the views' title, the runtime save's world file
    // The folder and the name the next Save offers, which the recovery files keep; after a
    // recovery they are handed back, with whether the work had a file of its own.
    const char* (*folder)(void);
    const char* (*name)(void);
    void (*restoreNames)(const char* folder, const char* name, int hasFile);
    // A file dropped on the window (null: the editor takes none).
    void (*dropFile)(const char* path);
    // Saves the document under its name, or opens the save selector when it has none yet
    // (EDITOR_SAVE_*). A save that works tells UnsavedSaved (unsaved.h).
    int (*save)(void);
    // The editor's shortcuts (EDITOR_COMMAND_*), as the buttons they stand for.
    void (*command)(int command);
} EditorPanels;
enum {
    EDITOR_SAVE_DONE = 0,
    EDITOR_SAVE_FAILED = 1,     // refused, with its box
    EDITOR_SAVE_SELECTOR = 2,   // the selector is open: the name is the user's to give
};
enum {
    EDITOR_COMMAND_SAVE = 1,    // Ctrl+S
    EDITOR_COMMAND_OPEN = 2,    // Ctrl+O: Load's selector
    EDITOR_COMMAND_NEW = 3,     // Ctrl+N
    EDITOR_COMMAND_DELETE = 4,  // Delete: the selection, as the panel's delete button
};
void EditorSetPanels(int editorMode, const EditorPanels* panels);   // EDITOR_SHAPE or EDITOR_WORLD
// The running editor's table, or null.
const EditorPanels* EditorCurrentPanels(void);
// The current editor's edited file name, as its panels give it; "" when they give none.
const char* EditorFileName(void);

// One step back or forward in the running editor's history.
void EditorUndo(void);
void EditorRedo(void);
// The editor's keys, read in its frame when no dialog is modal and no edit field has the
// focus (a field keeps every key it understands): Ctrl+Z Undo, Ctrl+Y and Ctrl+Shift+Z Redo,
// Ctrl+S, Ctrl+O, Ctrl+N and Delete through the panels' command.
void EditorShortcuts(void);

// The stage's hooks.
void EditorStart(void);
int EditorFrame(void);
void EditorDisplay(void);
void EditorStop(void);

// The editor's windows (0 before the editor starts).
WinId EditorView(void);
WinId EditorMenuBar(void);

