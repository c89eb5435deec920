// The palette panel (class 0x1008): a grid of the 256 colours (class 0x1009) in which a press
// picks a colour and a right press extends the range to another, three fields with the red,
// green and blue of the picked colour, and the buttons that load, save and import palettes and
// copy, paste and spread colour ranges through the palette manager. Without palette support
// it offers "Load" alone.
#pragma once
#include "toolkit/win.h"

enum {
    PALGRID_NONE = -1,
    PALGRID_CHANGED = 40,          // grid to panel: the selection changed
    PALGRID_GET = 41,              // to the grid: out p1 range start, p2 range end
};

// Registers the panel, the grid and the save window.
void PalPanelRegister(void);
// The file the palette was last loaded from or saved to (the settings' palette file before
// that), as Save would offer it; "" for an untitled palette.
const char* PalPanelFileName(void);

// The colour under a point of the grid (relative to its top-left corner), or PALGRID_NONE:
// 8 rows of 32 swatches, 4 pixels apart across and 5 down, from (2, 2).
int PalPanelGridIndex(int x, int y);

