// The Add Shapes panel (class 0x101a): a shape file placed in the world at a position typed or
// clicked in a parallel view, named when it is to be dynamic.
#pragma once
#include "toolkit/win.h"

enum {
    // The view sends the panel PANEL_MSG_POSITION_X, _Y and _Z under its shape-position tool.
    ADDS_COORD_CHARS = 8,    // hexadecimal digits of a coordinate
    ADDS_SHAPE_CHARS = 13,   // a shape file name
    ADDS_NAME_CHARS = 4,     // a worldshape name
};

void AddShapesRegister(void);
