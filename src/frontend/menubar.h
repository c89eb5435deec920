// The menu bars of the two editors: a row of mutually exclusive entry buttons, one per panel,
// an "Undo" button and the memory line. Choosing an entry closes the open panel and opens the
// chosen one in the panel area. Panels that are not built yet open as empty frames.
#pragma once
#include "panels/matpanel.h"
#include "panels/scenepanel.h"
#include "panels/palpanel.h"
#include "toolkit/win.h"

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
