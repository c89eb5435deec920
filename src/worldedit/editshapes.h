// The Edit Shapes panel (class 0x1019): the counts of selected and total worldshapes, clear and
// select-all, unhide, the "Mult" switch that says how the view picks, and the context buttons
// that act on the selected worldshapes; with its two dialogs, Building Name (0x101d), which
// names the selected worldshape, and Rotate Shape(s) (0x101e), which turns the named ones.
// The view hands the panel its picks as messages; the panel chooses the view's worldshape
// tools every frame.
#pragma once
#include "toolkit/win.h"

enum {
    CLASS_BUILDING_NAME = 0x101d,
    CLASS_ROTATE_SHAPES = 0x101e,

    // From the view: 40 a finished rectangle (p1 x0, y0; p2 x1, y1, screen coordinates);
    // 41 a worldshape (p1 its ID, p2 1 to select, 0 to drop).
    EDITSHAPES_RECT = 40,
    EDITSHAPES_PICK = 41,
};

void EditShapesRegister(void);
