// The Add Shapes panel (class 0x101a): a shape file placed in the world at a position typed or
// clicked in a parallel view, named when it is to be dynamic; and the Building Name dialog
// (class 0x101d) that names the first selected worldshape.
#pragma once
#include "toolkit/win.h"

enum {
    CLASS_BUILDING_NAME = 0x101d,

    // What the view sends the panel under its shape-position tool: p1 the coordinate.
    ADDS_MSG_X = 40,
    ADDS_MSG_Y = 41,
    ADDS_MSG_Z = 42,

    ADDS_COORD_CHARS = 8,    // hexadecimal digits of a coordinate
    ADDS_SHAPE_CHARS = 13,   // a shape file name
    ADDS_NAME_CHARS = 4,     // a worldshape name
};

void AddShapesRegister(void);
// The Building Name dialog, filled with the name of the first selected worldshape that has
// one; an open one is brought its keys back. 0 when it could not be made.
WinId AddShapesOpenBuildingName(void);
