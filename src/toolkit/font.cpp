// Fonts: the registry of "FONT" images held in resources (FNT files and the built-in font),
// the "FNT" resource type, glyph access for text output and per-character sprites for a
// hardware renderer. Font files come from users: the header, the character table and every
// glyph are checked against the resource before a font is accepted, and again whenever a
// glyph is fetched, since an external resource can be reloaded from a changed file.
#include <cstring>

#include "base/bytes.h"
#include "base/log.h"
#include "kernel/kernel.h"
#include "platform/platform.h"
#include "toolkit/text.h"

enum {
    FNT_MAGIC = 0,
    FNT_CELL_WIDTH = 4,
    FNT_CELL_HEIGHT = 8,
    FNT_FIRST = 12,
    FNT_LAST = 13,
    FNT_TABLE = 16,
    FNT_HEADER_SIZE = 24,
    FNT_VERSION_MARK = 24,
    FNT_ENTRY_SIZE = 8,
    // Larger cells or advances are damage, not fonts; the limits also keep the arithmetic
    // of text layout far from overflow.
    FNT_MAX_CELL = 256,
    FNT_MAX_ADVANCE = 1024,
    // The largest font file: the header with its version mark, a table of 256 characters and
    // 256 glyphs of the largest cell.
    FNT_MAX_FILE_SIZE = FNT_VERSION_MARK + 9 + 256 * FNT_ENTRY_SIZE + 256 * FNT_MAX_CELL * FNT_MAX_CELL,
};

struct FontRecord {
    ResId id;
    uint8_t first, last;
    uint8_t version;
    uint16_t cellWidth, cellHeight;
    uint32_t offset[256];    // of each glyph's bitmap; characters outside first..last have none
    uint16_t advance[256];
    uint8_t inked[256];      // the glyph has ink (a blank cell draws nothing a reader can see)
    ResId sprite[256];
};

static struct {
    int installed;
    int count;
    FontRecord fonts[FONT_MAX];
} fnt;

// ============================================================================================
// Checking
// ============================================================================================

// The header fields of a font whose table and glyphs all lie inside its block.
struct FontHeader {
    int cellWidth, cellHeight, first, last, version;
    uint32_t table;
};

static bool CheckFont(const uint8_t* d, size_t size, FontHeader* out)
{
    if (!d || size < FNT_HEADER_SIZE || !TagIs(d + FNT_MAGIC, "FONT")) return false;
    uint32_t w = GetU32(d, FNT_CELL_WIDTH), h = GetU32(d, FNT_CELL_HEIGHT);
    if (w == 0 || h == 0 || w > FNT_MAX_CELL || h > FNT_MAX_CELL) return false;
    int first = GetU8(d, FNT_FIRST), last = GetU8(d, FNT_LAST);
    if (first > last) return false;
    uint32_t table = GetU32(d, FNT_TABLE);
    uint64_t count = (uint64_t)(last - first + 1);
    if (!InBlock(table, count * FNT_ENTRY_SIZE, size)) return false;
    for (uint64_t i = 0; i < count; i++) {
        uint32_t glyph = GetU32(d, table + i * FNT_ENTRY_SIZE);
        uint32_t advance = GetU32(d, table + i * FNT_ENTRY_SIZE + 4);
        if (!InBlock(glyph, (uint64_t)w * h, size) || advance > FNT_MAX_ADVANCE) return false;
    }
    if (out) {
        out->cellWidth = (int)w;
        out->cellHeight = (int)h;
        out->first = first;
        out->last = last;
        out->table = table;
        out->version = size >= FNT_VERSION_MARK + 8 && memcmp(d + FNT_VERSION_MARK, "VERSION2", 8) == 0 ? 2 : 1;
    }
    return true;
}

// The load hook of the "FNT" type: a resource that is no sound font fails to load.
static int LoadHook(ResId id)
{
    if (CheckFont((const uint8_t*)ResPeek(id), ResSize(id), nullptr)) return 0;
    LogPrintf(LOG_WARN, "FONT: %s is not a usable font", ResName(id));
    return 1;
}

// ============================================================================================
// Install and registration
// ============================================================================================

void FontInstall(void)
{
    if (fnt.installed) return;
    memset(&fnt, 0, sizeof fnt);
    fnt.installed = 1;
    ResRegisterType("fnt", LoadHook, nullptr, FNT_MAX_FILE_SIZE);
    RegisterExit(FontRemove);
}

void FontRemove(void)
{
    if (!fnt.installed) return;
    FontFreeAll();
    memset(&fnt, 0, sizeof fnt);
}

int FontRegister(ResId id)
{
    if (!id) return 0;
    for (int i = 0; i < fnt.count; i++)
        if (fnt.fonts[i].id == id) return i + 1;
    if (fnt.count >= FONT_MAX) return 0;
    // ResLoad first: an external font whose file is gone or refused is no font, not a
    // fatal error.
    if (ResLoad(id) != 0) return 0;
    const uint8_t* d = (const uint8_t*)ResOpen(id);
    FontHeader h;
    bool ok = CheckFont(d, ResSize(id), &h);
    if (ok) {
        FontRecord& f = fnt.fonts[fnt.count];
        memset(&f, 0, sizeof f);
        f.id = id;
        f.first = (uint8_t)h.first;
        f.last = (uint8_t)h.last;
        f.version = (uint8_t)h.version;
        f.cellWidth = (uint16_t)h.cellWidth;
        f.cellHeight = (uint16_t)h.cellHeight;
        for (int c = h.first; c <= h.last; c++) {
            size_t entry = h.table + (size_t)(c - h.first) * FNT_ENTRY_SIZE;
            f.offset[c] = GetU32(d, entry);
            f.advance[c] = (uint16_t)GetU32(d, entry + 4);
            const uint8_t* g = d + f.offset[c];
            for (size_t i = 0; i < (size_t)h.cellWidth * h.cellHeight && !f.inked[c]; i++) f.inked[c] = g[i] != 0;
        }
    }
    ResClose(id);
    if (!ok) return 0;
    return ++fnt.count;
}

static FontRecord* Record(int font) { return font >= 1 && font <= fnt.count ? &fnt.fonts[font - 1] : nullptr; }

int FontCount(void) { return fnt.count; }

int FontVersion(int font)
{
    FontRecord* f = Record(font);
    return f ? f->version : 0;
}

ResId FontResource(int font)
{
    FontRecord* f = Record(font);
    return f ? f->id : 0;
}

int FontCellHeight(int font)
{
    FontRecord* f = Record(font);
    return f ? f->cellHeight : 0;
}

int FontAdvance(int font, int c)
{
    FontRecord* f = Record(font);
    if (!f || c < f->first || c > f->last) return 0;
    return f->advance[c];
}

int FontHasGlyph(int font, int c)
{
    FontRecord* f = Record(font);
    if (!f || c < f->first || c > f->last) return 0;
    return c < 128 || f->inked[c];
}

ResId FontCreateBuiltIn(void)
{
    ResId id = ResCreate(FONT_BUILTIN_SIZE);
    if (!id) FatalError("Could not create the font resource");
    memcpy(ResOpen(id), kBuiltInFont, FONT_BUILTIN_SIZE);
    ResClose(id);
    FontRegister(id);
    return id;
}

// ============================================================================================
// Glyph access
// ============================================================================================

int FontOpen(int font, FontView* view)
{
    memset(view, 0, sizeof *view);
    FontRecord* f = Record(font);
    // An internal resource that was freed is no longer in use: ResLoad refuses it.
    if (!f || ResLoad(f->id) != 0) return 0;
    const uint8_t* d = (const uint8_t*)ResOpen(f->id);
    size_t size = ResSize(f->id);
    if (size < FNT_HEADER_SIZE || !TagIs(d, "FONT")) {
        ResClose(f->id);
        return 0;
    }
    view->data = d;
    view->size = size;
    view->font = font;
    view->cellWidth = f->cellWidth;
    view->cellHeight = f->cellHeight;
    return 1;
}

void FontClose(FontView* view)
{
    FontRecord* f = view->data ? Record(view->font) : nullptr;
    if (f) ResClose(f->id);
    view->data = nullptr;
}

const uint8_t* FontGlyph(const FontView* view, int c, int* advance)
{
    *advance = 0;
    FontRecord* f = view->data ? Record(view->font) : nullptr;
    if (!f || c < f->first || c > f->last) return nullptr;
    if (!InBlock(f->offset[c], (uint64_t)f->cellWidth * f->cellHeight, view->size)) return nullptr;
    *advance = f->advance[c];
    return view->data + f->offset[c];
}

// ============================================================================================
// Sprites for a hardware renderer
// ============================================================================================

void FontLoadAll(void)
{
    for (int n = 1; n <= fnt.count; n++) {
        FontRecord* f = Record(n);
        FontView v;
        if (!FontOpen(n, &v)) {
            LogPrintf(LOG_ERROR, "Font - LoadSprites");
            continue;
        }
        int size = f->cellWidth * f->cellHeight;
        for (int c = f->first; c <= f->last; c++) {
            if (f->sprite[c]) continue;
            int advance;
            const uint8_t* glyph = FontGlyph(&v, c, &advance);
            if (!glyph) {
                LogPrintf(LOG_ERROR, "Font - LoadSprites");
                break;
            }
            ResId s = SpriteCreate8(f->cellWidth, f->cellHeight, 0, nullptr, 0);
            if (!s) {
                LogPrintf(LOG_ERROR, "Font - CreateSprites");
                break;
            }
            memcpy(SpritePixels(s), glyph, (size_t)size);
            SpriteRelease(s);
            f->sprite[c] = s;
        }
        FontClose(&v);
    }
}

void FontFreeAll(void)
{
    for (int n = 1; n <= fnt.count; n++) {
        FontRecord* f = Record(n);
        for (int c = 0; c < 256; c++) {
            if (f->sprite[c]) ResFreeAlways(f->sprite[c]);
            f->sprite[c] = 0;
        }
    }
}

ResId FontSprite(int font, int c)
{
    FontRecord* f = Record(font);
    return f && c >= 0 && c < 256 ? f->sprite[c] : 0;
}
