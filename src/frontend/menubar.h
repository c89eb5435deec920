// The menu bars of the two editors: a row of mutually exclusive entry buttons, one per panel,
// an "Undo" button and the memory line. Choosing an entry closes the open panel and opens the
// chosen one in the panel area. Panels that are not built yet open as empty frames.
#pragma once
#include "materials/matpanel.h"
#include "materials/scenepanel.h"
#include "palette/palpanel.h"
#include "toolkit/win.h"

enum {
    CLASS_SHAPE_MENU = 0x1000,
    CLASS_VIEW = 0x1001,
    CLASS_POLYGONS_PANEL = 0x100a,
    CLASS_VERTICES_PANEL = 0x100b,
    CLASS_SORTING_PANEL = 0x100c,
    CLASS_OBJECT_PANEL = 0x100d,
    CLASS_VIEW_SETUP = 0x1011,
    CLASS_MAPPING = 0x1013,
    CLASS_MESH_PANEL = 0x1014,
    CLASS_WORLD_PANEL = 0x1016,
    CLASS_WORLD_MENU = 0x1017,
    CLASS_EDIT_SHAPES_PANEL = 0x1019,
    CLASS_ADD_SHAPES_PANEL = 0x101a,
    CLASS_NODES_PANEL = 0x101f,
    CLASS_POINT_NAME = 0x1022,
    CLASS_EDITOR_FIRST = 0x1000,
    CLASS_EDITOR_LAST = 0x1024,
};

// Registers both menu bar classes; with `paletteEntry` they offer "Palette" as well.
void MenuBarRegisterClasses(int paletteEntry);
// Every editor class not registered by now becomes an empty frame, so that opening a panel
// that is not built yet shows an empty frame instead of ending the program.
void PanelRegisterPlaceholders(void);
// The panel area of the current screen: (0, height - 50), 320 x 49.
void MenuBarPanelArea(int* x, int* y, int* width, int* height);
// Opens the bar's panel of that class as its entry's press would (a panel already open stays):
// the panel's window, or 0 when the bar has no such entry.
WinId MenuBarShowPanel(WinId menuBar, uint32_t panelClass);
// The open panel of the menu bar (0 when none).
WinId MenuBarOpenPanel(WinId menuBar);
