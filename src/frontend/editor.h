// The editor stage: the editor start (video mode, managers, renderer, the edited-object slot,
// window classes), the editor frame with its deferred operations, and the frame's drawing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "kernel/kernel.h"
#include "toolkit/win.h"

struct History;

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
    // A file dropped on the window or opened from outside, loaded or imported as Load does
    // (EditorOpenFile has asked about unsaved work first); null: the editor takes none.
    void (*dropFile)(const char* path);
    // Saves the document under its name, or opens the save selector when it has none yet
    // (EDITOR_SAVE_*). A save that works tells UnsavedSaved (unsaved.h).
    int (*save)(void);
    // The editor's shortcuts (EDITOR_COMMAND_*), as the buttons they stand for.
    void (*command)(int command);

    // The document the editor edits; the front end knows it only through these.
    // Installs the editor's managers at its start, each history bounded to undoBytes; the
    // end takes them down (every installed table's `uninstall` runs).
    void (*install)(size_t undoBytes);
    void (*uninstall)(void);
    void (*undo)(void);
    void (*redo)(void);
    History* (*history)(void);   // null while there is none
    // The document's bytes as they stand (the used part) and the most they can be; null none.
    const uint8_t* (*bytes)(uint32_t* size);
    uint32_t (*capacity)(void);
    // The bytes a save writes, made on `out` (the user's document stays as it is): 0 and
    // *size, else the reason. Null: the bytes are saved as they stand.
    const char* (*prepareCopy)(uint8_t* out, uint32_t capacity, uint32_t* size);
    // Loads a file a crashed run left as the document: null, else the reason it was refused.
    const char* (*loadRecovered)(const char* path);
    // Whether a file's first EDITOR_FILE_HEAD bytes are this editor's document, and the
    // largest such a file may be.
    int (*isDocument)(const uint8_t* head);
    uint64_t largestDocument;
    // The material list was copied into the render table again: what the editor adds to it.
    void (*texturesReloaded)(void);
    // Runs a deferred operation (REQUEST_*) that is this editor's; every installed table is
    // asked, so each does only its own.
    void (*request)(int request);
} EditorPanels;
enum { EDITOR_FILE_HEAD = 20 };
// Runs a deferred operation under its progress window (titled `title`); the window goes before
// the caller shows any box. The work's result.
int EditorRunWithProgress(const char* title, int (*work)(ProgressFn), ProgressFn progress);
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
// The running editor's table, or null; an editor's (EDITOR_SHAPE or EDITOR_WORLD), or null.
const EditorPanels* EditorCurrentPanels(void);
const EditorPanels* EditorPanelsFor(int editorMode);
// The current editor's edited file name, as its panels give it; "" when they give none.
const char* EditorFileName(void);

// One step back or forward in the running editor's history.
void EditorUndo(void);
void EditorRedo(void);
// The editor's keys, read in its frame when no dialog is modal and no edit field has the
// focus (a field keeps every key it understands): Ctrl+Z Undo, Ctrl+Y and Ctrl+Shift+Z Redo,
// Ctrl+S, Ctrl+O, Ctrl+N and Delete through the panels' command.
void EditorShortcuts(void);
// Files opened from outside the editor: named on the command line or handed in by another
// start. The kind a file's first bytes show: EDITOR_SHAPE, EDITOR_WORLD, or EDITOR_NONE.
int EditorFileKind(const char* path);
// Takes a file to open (the front end's open hook): before the editor runs it chooses the
// editor; while one runs, a file of its kind opens at its next frame. 0 when taken, else 1
// with the reason in why (and, in a running editor, a "File Error" box).
int EditorTakeFile(const char* path, char* why, size_t whySize);
// Opens a file in the running editor (dropped on the window or from outside): the one entry
// point, which asks about unsaved work before anything of the user's is replaced.
void EditorOpenFile(const char* path);
// 1 when the running editor's file is `name` (compared by its last component).
int EditorHasOpen(const char* name);

// The edited document as a path with its folder, for the working files that go beside it;
// "" when it has no file yet or was named without a folder.
std::string EditorDocumentPath(void);

// The stage's hooks.
void EditorStart(void);
int EditorFrame(void);
void EditorDisplay(void);
void EditorStop(void);

// The editor's windows (0 before the editor starts).
WinId EditorView(void);
WinId EditorMenuBar(void);

