// FNT as the text output registers a font: the image checked, every glyph looked up, and a
// line printed with it in each format mode into a buffer.
#include "base/res.h"
#include "fuzz.h"
#include "platform/platform.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"

enum { FNT_TARGET_WIDTH = 96, FNT_TARGET_HEIGHT = 48 };

static ResId target;

static void Setup(void)
{
    ResInstall(100);
    SpriteInstall();
    DrawUseSoftware();
    target = SpriteCreate8(FNT_TARGET_WIDTH, FNT_TARGET_HEIGHT, 0, nullptr, 0);
}

static void Teardown(void)
{
    ResFreeAlways(target);
    ResRemove();
}

static void One(const uint8_t* data, size_t size)
{
    ResId id = FuzzResource(data, size);
    if (!id) return;
    // A fresh font list for every input: the list holds at most 256 fonts.
    TextInstall();
    int font = FontRegister(id);
    if (font) {
        FontView view;
        if (FontOpen(font, &view)) {
            int advance;
            for (int c = 0; c < 256; c++) FontGlyph(&view, c, &advance);
            FontClose(&view);
        }
        FontCellHeight(font);
        SpriteBeginDraw(target);
        TextSetFont(id);
        TextWidth("Tolbex \x9c 0123");
        for (int mode = TEXT_MODE_PLAIN; mode <= TEXT_MODE_RIGHT; mode++) {
            TextSetFormat(mode, -1, 2, FNT_TARGET_WIDTH - 3);
            TextPrint(-3, 4, "Quick brown fox\rjumps \x9c over\t~ the dog %d", mode);
        }
        TextDrawString(FNT_TARGET_WIDTH - 10, FNT_TARGET_HEIGHT - 4, "edge", 7);
        SpriteEndDraw();
    }
    TextRemove();
    FontRemove();
    ResFreeAlways(id);
}

FUZZ_HARNESS(fnt, Setup, Teardown, One)
