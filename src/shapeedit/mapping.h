// The Mapping Coordinates windows: the texture mapping of one polygon of the edited shape, set
// by hand over its texture. Class 0x1013 (the view's Mapping tool) shows the polygon's own
// material and the coordinates as decimals; its twin 0x1024 (the Mesh command "Tex") shows the
// current material and each coordinate as four hexadecimal digits. Changes go into the shape
// as they are made; "ABORT" (Escape) puts back what the polygon had at opening, "Ok" (Enter)
// keeps them, and the whole opening is one undo step.
//
// The window is not modal: while it is open, Undo, Load or Del may change the shape under it.
// It keeps its polygon's index, point count and vertex indices, and every action, drag and
// "ABORT" checks them first: when they no longer match, the window closes without writing.
// One mapping window is open at a time; opening another closes the first.
#pragma once
#include <cstddef>
#include <cstdint>

#include "toolkit/win.h"

enum {
    MAPPING_ONE = 16384,           // a coordinate of 1.0
    MAPPING_CLIP_PAIRS = 128,      // U, V pairs the polygon clipboard holds
    MAPPING_DEFAULT_PAIRS = 16,    // rows of the default table; points past it get (0, 0)
    MAPPING_PICK = 6,              // a point is hit within 5 pixels on both axes
    MAPPING_TEXT_MAX = 96,         // room for a status line

    // Window geometry: the full layout, and the small one of a 320 x 200 screen.
    MAPPING_X = 60, MAPPING_Y = 30, MAPPING_WIDTH = 540, MAPPING_HEIGHT = 225,
    MAPPING_SMALL_X = 10, MAPPING_SMALL_WIDTH = 210, MAPPING_SMALL_HEIGHT = 97,
    MAPPING_STYLE = FRAME_BORDER | FRAME_TITLE | FRAME_DRAG,

    // The mapping area: the client extent less these margins.
    MAPPING_INSET_LEFT = 8, MAPPING_INSET_TOP = 16, MAPPING_INSET_RIGHT = 95, MAPPING_INSET_BOTTOM = 21,

    // Turning the assignment of pairs round the polygon.
    MAPPING_TURN_FORWARD = 1,      // "<": point i + 1 takes the pair of point i
    MAPPING_TURN_BACK = -1,        // ">": point i takes the pair of point i + 1
};

// Registers both window classes (the editor start).
void MappingRegisterClasses(void);

// Opens the window of the view's Mapping tool on a polygon of the edited shape, with one of
// its points selected (-1 = none), on the desktop. The Tex form opens the hexadecimal twin.
// A window that is open closes first. The new window, or 0 when there is no such polygon.
WinId MappingOpen(int polygon, int point);
WinId MappingOpenTex(int polygon, int point);

// ---- the arithmetic of the mapping area -----------------------------------------------------

struct MappingArea {
    int x0, y0, x1, y1;   // corners, inclusive, in client coordinates
};
MappingArea MappingAreaOf(int clientWidth, int clientHeight);
// U = 0 is the left edge and 16384 the right one, V = 0 the top and 16384 the bottom.
void MappingToScreen(const MappingArea* area, int u, int v, int* x, int* y);
// The pointer is pinned into the area first; an area without width or height gives 0.
void MappingFromScreen(const MappingArea* area, int px, int py, int16_t* u, int16_t* v);
// Turns the n pairs of uv one point round, MAPPING_TURN_FORWARD or MAPPING_TURN_BACK.
void MappingTurn(int16_t* uv, int n, int direction);
// The pairs "Create" gives a polygon of n points.
void MappingDefaultPairs(int16_t* uv, int n);
// "0.500" for 8192, "-0.500" for -8192 (thousandths, truncated toward zero).
void MappingDecimal(int c, char* out, size_t size);
// The stored 16-bit value as four hexadecimal digits: "E000" for -8192.
void MappingHex(int c, char* out, size_t size);

// ---- what a window shows, for tests and dumps ------------------------------------------------

struct MappingInfo {
    int polygon;        // the target polygon
    int points;         // its point count at opening
    int selected;       // the selected point, -1 none
    int dragged;        // the vertex being dragged, -1 none
    int hex;            // 1 for the hexadecimal twin
    MappingArea area;   // in client coordinates
    int clientX, clientY;   // the client area's corner on the screen
    char status[MAPPING_TEXT_MAX];
};
// 1 and what the window shows; 0 when it is no mapping window.
int MappingDescribe(WinId window, MappingInfo* out);
