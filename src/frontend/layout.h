// Where the editor's windows go in a logical screen of any size. The 640 x 400 and 800 x 600
// screens keep their places; a larger screen (the "Window" screen) gives the view window all
// of the area above the panel row, keeps the menu bar and the panels at their place from the
// bottom-left corner, and opens dialogs centred. When the screen changes size while the
// editor runs, LayoutRelay moves what is there.
#pragma once
#include <cstdint>

enum {
    LAYOUT_PANEL_ROW = 50,        // the menu bar's and the panels' row at the bottom
    LAYOUT_PANEL_WIDTH = 320,
    LAYOUT_PANEL_HEIGHT = 49,
    LAYOUT_MENU_X = 320,
    LAYOUT_BASE_WIDTH = 800,      // the screen the layout was drawn for
    LAYOUT_BASE_HEIGHT = 600,
};

struct LayoutRect {
    int x, y, width, height;
};

// The view window: the width of the screen less a column, down to the panel row (at
// 640 x 400 a row short of it).
LayoutRect LayoutView(int screenW, int screenH);
LayoutRect LayoutMenuBar(int screenW, int screenH);
// The panels' place, left of the menu bar.
LayoutRect LayoutPanelArea(int screenW, int screenH);
// The width the 3D views' focal length is taken from: a larger screen shows more of the
// world at the same size, so a resize never zooms.
int LayoutFocalWidth(int screenW);
// Where a dialog (a window the user may drag) made on the desktop goes: centred on a screen
// larger than 800 x 600, else where it was asked for.
void LayoutPlaceDialog(int screenW, int screenH, int* x, int* y, int width, int height);
// Places the dialogs made on the desktop since the last call as LayoutPlaceDialog says (the
// editor calls it at the end of each frame's input, before the frame that shows them is drawn).
void LayoutPlaceNewDialogs(int screenW, int screenH);
// Forgets the windows seen: the editor stops.
void LayoutForgetWindows(void);
// The screen changed from oldW x oldH to newW x newH (the desktop window has the new size):
// the view windows take the new area, windows that stand on the panel row keep their place
// from the bottom-left corner, the others (dialogs, moved or not) stay where they are,
// clamped into the screen.
void LayoutRelay(int oldW, int oldH, int newW, int newH);
