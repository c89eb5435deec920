// The Edit Shapes panel (class 0x1019): the counts of selected and total worldshapes, clear and
// select-all, unhide, the "Mult" switch that says how the view picks, and the context buttons
// that act on the selected worldshapes; with its two dialogs, Building Name (0x101d), which
// names the selected worldshape, and Rotate Shape(s) (0x101e), which turns the named ones.
// The view hands the panel its picks as messages; the panel chooses the view's worldshape
// tools every frame. Its messages from the view: PANEL_MSG_RECT and PANEL_MSG_WORLD_SHAPE
// (toolkit/contract.h).
#pragma once
#include "toolkit/win.h"


void EditShapesRegister(void);
