// Text output in the program's bitmap fonts ("FONT" images in "FNT" resources, the built-in
// font among them): a pen, margins, four format modes with wrapping and justification, and
// glyphs drawn only when they lie wholly inside the clip rectangle.
#pragma once
#include <cstdint>

#include "kernel/res/res.h"

enum {
    TEXT_MODE_PLAIN = 0,      // at the pen, no wrapping
    TEXT_MODE_JUSTIFY = 1,    // wrapped lines justified to the right margin
    TEXT_MODE_CENTRE = 2,
    TEXT_MODE_RIGHT = 3,
    TEXT_LINE_MAX = 160,
    FONT_MAX = 256,
    FONT_BUILTIN_SIZE = 8416,
};

// ---- fonts ----------------------------------------------------------------------------------
// Registers the "FNT" resource type.
void FontInstall(void);
void FontRemove(void);
// The font's number (from 1) when registered now or before; 0 when the resource does not
// begin with "FONT", its table does not fit it, or 256 fonts are registered.
int FontRegister(ResId id);
// Creates the built-in font as a resource from the image the program carries (fatal "Could
// not create the font resource" when it cannot), registers it and returns its id.
ResId FontCreateBuiltIn(void);
// The built-in font image: 7 x 8 cells, characters 24 to 154, table at offset 24.
extern const uint8_t kBuiltInFont[FONT_BUILTIN_SIZE];
// Per-character sprites for a hardware renderer.
void FontLoadAll(void);
void FontFreeAll(void);

// ---- text output ----------------------------------------------------------------------------
void TextInstall(void);
void TextRemove(void);
void TextSetFont(ResId font);
ResId TextGetFont(void);
// -1 draws with the glyphs' own colours. Also clears the shadow.
void TextSetColour(int colour);
void TextSetShadow(int on, int offset);
// Mode 0-3 (others are fatal when text is written), line height or -1 for the font's
// height + 1, left and right margins.
void TextSetFormat(int mode, int lineHeight, int left, int right);
// printf-like; CR starts a new line at the left margin, LF is ignored.
void TextPrint(int x, int y, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
// Width in pixels of the text in the current font.
int TextWidth(const char* text);
int TextLineHeight(void);
void TextGetPen(int* x, int* y);
