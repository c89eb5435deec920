// The Edit Material dialog (class 0x1005): sliders for the lighting coefficients, and for an
// untextured material its colour (red, green and blue sliders in RGB mode, a palette picker
// of class 0x1007 in palette mode) and alpha; the name and texture fields and "Clear". Colour
// and alpha follow the sliders live; "Ok" writes the rest; "Cancel" or closing puts back the
// colour, alpha, palette index and texture the material had when the dialog opened.
#pragma once
#include <cstdint>

#include "toolkit/win.h"

enum {
    MATPICK_SET = 40,   // to the picker: p1 = palette index
    MATPICK_GET = 41,   // to the picker: out p1 = palette index
    MATEDIT_COEFF_MAX = 16384,
    MATEDIT_ALPHA_MAX = 16383,
};

void MatEditRegister(void);
// Opens the dialog for a material (not the Dummy): the open one when there is one.
WinId MatEditOpen(int material);
// Puts the material back as it was and closes the dialog, before the list changes under it.
void MatEditCancel(void);
WinId MatEditWindow(void);
// A picture dropped on the window while the dialog is open: its path goes into the "Tex:"
// field, to become the texture on "Ok". 1 when the dialog took it, 0 when it is not open.
int MatEditDropPicture(const char* path);

// Sliders run over positions 1 to range: a value of 0..max sits at position value + 1 (out
// of range values at the nearest end), and a position gives value position - 1.
int32_t MatEditSliderPosition(int32_t value, int32_t max);
int32_t MatEditSliderValue(int32_t position);

// The picker's colour under a point (relative to its top-left corner): 16 rows of 16
// swatches, 8 x 2 pixels, from (2, 7); -1 off the swatches.
int MatEditPickerIndex(int x, int y);
