// What the panels of the palette and materials layers ask of the editor around them: its file
// selector, its message boxes, the view's tool, word that the palette changed and the colour
// range the palette grid shows. All of that
// lives in the front end, above these panels, so they call it through this table, which the
// front end fills when an editor starts. Until then (a panel tested alone) a call does nothing
// and answers 0.
#pragma once
#include <cstdint>

#include "toolkit/win.h"

enum {
    PANELHOST_FILE_CHOSEN = 34,   // to the requester of a file: p1 = const char* full path
    PANELHOST_PATH_MAX = 1024,    // bytes of a chosen path, terminator included
};

struct PanelHostFns {
    WinId (*openFile)(const char* title, const char* folder, const char* pattern, WinId requester);
    WinId (*saveFile)(const char* folder, const char* pattern, const char* defaultName, WinId requester);
    WinId (*message)(const char* title, const char* text);
    WinId (*error)(const char* title, int code);
    int (*toolMode)(void);
    void (*setTool)(int toolMode, int pickMode);
    // The display colours and, in palette mode, the materials' colours follow the palette.
    void (*paletteChanged)(void);
    // The palette grid's colour range (start = end: one colour), for the views' status lines.
    void (*colourRange)(int start, int end);
};

// The table is used where it stands (a static table of the front end); nullptr for none.
void PanelHostSet(const PanelHostFns* fns);

// A file selector for opening or for saving; PANELHOST_FILE_CHOSEN reaches the requester.
WinId PanelHostOpenFile(const char* title, const char* folder, const char* pattern, WinId requester);
WinId PanelHostSaveFile(const char* folder, const char* pattern, const char* defaultName, WinId requester);
// A message box, and one with the text of a result code.
WinId PanelHostMessage(const char* title, const char* text);
WinId PanelHostError(const char* title, int code);
int PanelHostToolMode(void);
void PanelHostSetTool(int toolMode, int pickMode);
void PanelHostPaletteChanged(void);
void PanelHostColourRange(int start, int end);
