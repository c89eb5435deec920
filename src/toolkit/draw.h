// Drawing primitives of the toolkit: clipped rectangles, lines, raised and sunken boxes and
// title bars, in palette colours, into the current drawing target of the video layer (the
// framebuffer, a partition of it, or a virtual screen). Every primitive goes through a table
// of replaceable functions so that a renderer can supply its own.
#pragma once
#include <cstdint>

// Colour argument of the rectangle primitive: bits 0-7 a palette index; this bit set draws
// only the four edges.
enum { DRAW_OUTLINE = 0x8000 };

// The replaceable functions. Coordinates are inclusive, in the target's coordinates.
struct DrawFuncs {
    void (*FillRect)(int x0, int y0, int x1, int y1, int colour);
    void (*Line)(int x0, int y0, int x1, int y1, int colour);
    // One pixel, already clipped by the caller.
    void (*Pixel)(int x, int y, int colour);
};
DrawFuncs* DrawTable(void);
// Puts the software functions back into the table.
void DrawUseSoftware(void);

void DrawFillRect(int x0, int y0, int x1, int y1, int colour);
void DrawLine(int x0, int y0, int x1, int y1, int colour);
void DrawRaisedBox(int x0, int y0, int x1, int y1);
void DrawSunkenBox(int x0, int y0, int x1, int y1);
// A bar over the window's top 11 pixels with the title centred between x0 and x1.
void DrawTitleBar(int x0, int x1, int y, const char* title, int modal);
// The look of an "on" button: a title bar in the highlighted colours.
void DrawTitleBarHighlighted(int x0, int x1, int y, const char* title);

// ---- interface colours (palette indices 248-255) ---------------------------------------------
void DrawSetInterfaceColours(int background, int shadow, int highlight, int text, int accent);
int DrawBackground(void);
int DrawShadow(void);
int DrawHighlight(void);
int DrawTextColour(void);
int DrawAccent(void);
