// Sprites: 8-bit "TRPS" pictures with a palette and a row table, 32-bit "BGRS" pictures and
// their run-length form "BGRZ", held in "SPR" resources. Sprite files come from users, so the
// loader checks every size and offset and refuses a bad file with a message instead of
// reading past it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/log.h"
#include "base/str.h"
#include "platform/backend.h"

enum {
    SPR_MAX_SIDE = 16384,
    OFF_WIDTH = 4,
    OFF_HEIGHT = 8,
    OFF_TRANSPARENT = 20,
    OFF_PIXELS = 32,
    OFF_PALETTE = 36,
    OFF_ROWS = 40,
    OFF_EXTRA = 44,
    OFF_KEY = 12,
    OFF_ALPHA_MODE = 40,
    BGRS_EXTRA = 4,          // expanded sprites carry 4 spare bytes behind the pixels
    SPRZ_RUN_MAX = 64,       // pixels of one run byte (its low 6 bits + 1)
};

static ResId drawingInto;

// ---- checking -----------------------------------------------------------------------------

// The layout of a sprite block, checked against its size. 0 when the block is no sprite.
struct Layout {
    int bpp, width, height;
    uint32_t pixels;       // offset of the first pixel
    uint32_t palette;      // 0 = none
    uint32_t rows;         // 0 = none
};

static bool CheckLayout(const uint8_t* d, size_t size, Layout* out)
{
    if (size < 12) return false;
    uint32_t w = GetU32(d, OFF_WIDTH), h = GetU32(d, OFF_HEIGHT);
    if (w == 0 || h == 0 || w > SPR_MAX_SIDE || h > SPR_MAX_SIDE) return false;
    out->width = (int)w;
    out->height = (int)h;
    out->palette = out->rows = 0;
    if (TagIs(d, "TRPS")) {
        if (size < SPR_HEADER_SIZE) return false;
        out->bpp = 8;
        out->pixels = GetU32(d, OFF_PIXELS);
        if (!InBlock(out->pixels, (uint64_t)w * h, size)) return false;
        out->rows = GetU32(d, OFF_ROWS);
        if (out->rows && !InBlock(out->rows, 8ull * h, size)) return false;
        out->palette = GetU32(d, OFF_PALETTE);
        if (out->palette) {
            if (!InBlock(out->palette, 4, size)) return false;
            int count = GetI16(d, out->palette + 2);
            if (count < 0 || count > 256 || !InBlock(out->palette + 4ull, 3ull * count, size)) return false;
        }
        return true;
    }
    if (TagIs(d, "BGRS")) {
        out->bpp = 32;
        out->pixels = SPR32_HEADER_SIZE;
        return InBlock(SPR32_HEADER_SIZE, 4ull * w * h, size);
    }
    return false;
}

static bool LayoutOf(ResId id, Layout* out)
{
    if (!id) return false;
    const uint8_t* d = (const uint8_t*)ResPeek(id);
    return d && CheckLayout(d, ResSize(id), out);
}

static void FillRowTable(uint8_t* d, const Layout& l)
{
    if (!l.rows) return;
    for (int i = 0; i < l.height; i++) {
        // Offsets from the sprite's start: the same 4-byte slots wherever the block lives.
        uint32_t row = l.pixels + (uint32_t)i * (uint32_t)l.width;
        PutU32(d, l.rows + 4ull * i, row);
        PutU32(d, l.rows + 4ull * (l.height + i), row);
    }
}

// ---- loading ------------------------------------------------------------------------------

static char lastRefusal[96];

static int Refuse(ResId id, const char* reason)
{
    const char* name = ResName(id);
    LogPrintf(LOG_WARN, "SPRITE: %s: %s", name && *name ? name : "sprite", reason);
    StrLCopy(lastRefusal, reason, sizeof lastRefusal);
    return 1;
}

const char* SpriteLastRefusal(void) { return lastRefusal; }

int SpriteLoad(ResId id)
{
    lastRefusal[0] = 0;
    uint8_t* d = (uint8_t*)ResPeek(id);
    size_t size = ResSize(id);
    if (size >= 2 && d[0] == 'B' && d[1] == 'M') return Refuse(id, "it is a BMP picture, not an SPR sprite");
    if (size >= 4 && TagIs(d, "BGRZ")) {
        if (SpriteDecompress(id) != 0) return Refuse(id, "its compressed SPR data is damaged");
        return 0;
    }
    Layout l;
    if (size < 4 || !CheckLayout(d, size, &l)) return Refuse(id, "it is no SPR sprite, or a damaged one");
    if (l.bpp == 8) FillRowTable(d, l);
    return 0;
}

static int LoadHook(ResId id) { return SpriteLoad(id); }

void SpriteInstall(void) { ResRegisterType("spr", LoadHook, nullptr, SPRITE_MAX_FILE_SIZE); }

// ---- creating -----------------------------------------------------------------------------

ResId SpriteCreate8(int width, int height, int transparent, const uint8_t* palette, int paletteCount)
{
    if (width <= 0 || height <= 0 || width > SPR_MAX_SIDE || height > SPR_MAX_SIDE) return 0;
    if (!palette || paletteCount < 0) paletteCount = 0;
    if (paletteCount > 256) paletteCount = 256;
    size_t pixels = (size_t)width * height;
    size_t rows = SPR_HEADER_SIZE + pixels;
    size_t pal = rows + 8ull * height;
    size_t size = pal + (paletteCount ? 4 + 3ull * paletteCount : 0);
    ResId id = ResCreate(size);
    if (!id) return 0;
    uint8_t* d = (uint8_t*)ResOpen(id);
    memset(d, 0, size);
    memcpy(d, "TRPS", 4);
    PutU32(d, OFF_WIDTH, (uint32_t)width);
    PutU32(d, OFF_HEIGHT, (uint32_t)height);
    PutI32(d, OFF_TRANSPARENT, transparent);
    PutU32(d, OFF_PIXELS, SPR_HEADER_SIZE);
    PutU32(d, OFF_ROWS, (uint32_t)rows);
    if (paletteCount) {
        PutU32(d, OFF_PALETTE, (uint32_t)pal);
        PutI16(d, pal, 0);
        PutI16(d, pal + 2, (int16_t)paletteCount);
        memcpy(d + pal + 4, palette, 3ull * paletteCount);
    }
    Layout l;
    CheckLayout(d, size, &l);
    FillRowTable(d, l);
    ResClose(id);
    return id;
}

ResId SpriteCreate32(int width, int height)
{
    if (width <= 0 || height <= 0 || width > SPR_MAX_SIDE || height > SPR_MAX_SIDE) return 0;
    size_t size = SPR32_HEADER_SIZE + 4ull * width * height + BGRS_EXTRA;
    ResId id = ResCreate(size);
    if (!id) return 0;
    uint8_t* d = (uint8_t*)ResOpen(id);
    memset(d, 0, size);
    memcpy(d, "BGRS", 4);
    PutU32(d, OFF_WIDTH, (uint32_t)width);
    PutU32(d, OFF_HEIGHT, (uint32_t)height);
    ResClose(id);
    return id;
}

// ---- queries ------------------------------------------------------------------------------

int SpriteFormat(ResId id, SpriteInfo* out)
{
    Layout l;
    if (!LayoutOf(id, &l)) return 0;
    if (out) {
        out->bpp = l.bpp;
        out->width = l.width;
        out->height = l.height;
    }
    return 1;
}

int SpriteTransparent(ResId id)
{
    Layout l;
    if (!LayoutOf(id, &l) || l.bpp != 8) return -1;
    return GetI32(ResPeek(id), OFF_TRANSPARENT);
}

const uint8_t* SpritePalette(ResId id)
{
    Layout l;
    if (!LayoutOf(id, &l) || !l.palette) return nullptr;
    return (const uint8_t*)ResPeek(id) + l.palette;
}

uint8_t* SpritePixels(ResId id)
{
    Layout l;
    if (!LayoutOf(id, &l)) return nullptr;
    return (uint8_t*)ResOpen(id) + l.pixels;
}

void SpriteRelease(ResId id) { ResClose(id); }

// ---- expanding "BGRZ" ---------------------------------------------------------------------

int SpriteDecompress(ResId id)
{
    const uint8_t* src = (const uint8_t*)ResPeek(id);
    size_t size = ResSize(id);
    if (size < SPRZ_DATA_OFFSET || !TagIs(src, "BGRZ")) return 1;
    uint32_t w = GetU32(src, OFF_WIDTH), h = GetU32(src, OFF_HEIGHT);
    if (w == 0 || h == 0 || w > SPR_MAX_SIDE || h > SPR_MAX_SIDE) return 1;
    uint32_t key = 0xFF000000u | ((uint32_t)src[OFF_KEY] << 16) | ((uint32_t)src[OFF_KEY + 1] << 8) | src[OFF_KEY + 2];
    uint32_t alphaMode = GetU32(src, OFF_ALPHA_MODE);
    // A run covers at most SPRZ_RUN_MAX pixels, so every row takes at least one byte per
    // SPRZ_RUN_MAX pixels: a short file cannot fill the picture its header announces, and is
    // refused before a block of that size is made for it.
    if (size - SPRZ_DATA_OFFSET < (uint64_t)h * ((w + SPRZ_RUN_MAX - 1) / SPRZ_RUN_MAX)) return 1;

    size_t outSize = SPR32_HEADER_SIZE + 4ull * w * h + BGRS_EXTRA;
    // Nor may a small file unpack into more than any sprite file may hold.
    if (outSize > SPRITE_MAX_FILE_SIZE) return 1;
    std::vector<uint8_t> out(outSize, 0);
    memcpy(out.data(), src, SPR32_HEADER_SIZE);
    memcpy(out.data(), "BGRS", 4);
    size_t at = SPRZ_DATA_OFFSET;
    for (uint32_t y = 0; y < h; y++) {
        uint8_t* row = out.data() + SPR32_HEADER_SIZE + 4ull * w * y;
        uint32_t x = 0;
        while (x < w) {
            if (at >= size) return 1;
            uint8_t c = src[at++];
            uint32_t n = (c & (SPRZ_RUN_MAX - 1u)) + 1;
            int kind = c >> 6;
            if (kind == 1) continue;
            size_t each = kind == 0 ? 0 : kind == 2 ? 2 : (alphaMode == 8 ? 1 : 3);
            if (!InBlock(at, each * n, size)) return 1;
            for (uint32_t i = 0; i < n; i++) {
                uint32_t p;
                if (kind == 0) {
                    p = key;
                } else if (kind == 2) {
                    uint16_t v = GetU16(src, at);
                    at += 2;
                    p = ((uint32_t)(v >> 11) << 19) | ((uint32_t)((v >> 5) & 63) << 10) | ((uint32_t)(v & 31) << 3);
                } else if (alphaMode == 8) {
                    p = (uint32_t)src[at++] << 24;
                } else {
                    uint32_t v = src[at] | (src[at + 1] << 8) | (src[at + 2] << 16);
                    at += 3;
                    p = (((v >> 18) & 63) * 4) << 24 | (((v >> 12) & 63) * 4) << 16 | (((v >> 6) & 63) * 4) << 8 |
                        ((v & 63) * 4);
                }
                // A run may not spill into the next row: what passes the row's end is dropped.
                if (x < w) PutU32(row, 4ull * x, p);
                x++;
            }
        }
    }
    if (ResResize(id, outSize) != 0) return 1;
    memcpy(ResPeek(id), out.data(), outSize);
    return 0;
}

// ---- resizing -----------------------------------------------------------------------------

int SpriteResize(ResId id, int width, int height)
{
    Layout l;
    if (!LayoutOf(id, &l) || width <= 0 || height <= 0 || width > SPR_MAX_SIDE || height > SPR_MAX_SIDE) return 1;
    const uint8_t* d = (const uint8_t*)ResPeek(id);
    int bytes = l.bpp / 8;
    uint32_t stepX = (uint32_t)(((uint64_t)l.width << 16) / (uint32_t)width);
    uint32_t stepY = (uint32_t)(((uint64_t)l.height << 16) / (uint32_t)height);
    std::vector<uint8_t> pixels((size_t)width * height * bytes);
    for (int y = 0; y < height; y++) {
        const uint8_t* srow = d + l.pixels + (size_t)((uint64_t)y * stepY >> 16) * l.width * bytes;
        for (int x = 0; x < width; x++)
            memcpy(&pixels[((size_t)y * width + x) * bytes], srow + ((uint64_t)x * stepX >> 16) * bytes, bytes);
    }
    std::vector<uint8_t> block;
    if (l.bpp == 8) {
        int count = l.palette ? GetI16(d, l.palette + 2) : 0;
        size_t rows = SPR_HEADER_SIZE + pixels.size();
        size_t pal = rows + 8ull * height;
        block.assign(pal + (l.palette ? 4 + 3ull * count : 0), 0);
        memcpy(block.data(), d, SPR_HEADER_SIZE);
        PutU32(block.data(), OFF_PIXELS, SPR_HEADER_SIZE);
        PutU32(block.data(), OFF_ROWS, (uint32_t)rows);
        PutU32(block.data(), OFF_EXTRA, 0);
        if (l.palette) {
            memcpy(&block[pal], d + l.palette, 4 + 3ull * count);
            PutU32(block.data(), OFF_PALETTE, (uint32_t)pal);
        }
    } else {
        block.assign(SPR32_HEADER_SIZE + pixels.size() + BGRS_EXTRA, 0);
        memcpy(block.data(), d, SPR32_HEADER_SIZE);
    }
    PutU32(block.data(), OFF_WIDTH, (uint32_t)width);
    PutU32(block.data(), OFF_HEIGHT, (uint32_t)height);
    size_t pixelAt = l.bpp == 8 ? SPR_HEADER_SIZE : SPR32_HEADER_SIZE;
    memcpy(&block[pixelAt], pixels.data(), pixels.size());
    if (ResResize(id, block.size()) != 0) return 1;
    uint8_t* nd = (uint8_t*)ResPeek(id);
    memcpy(nd, block.data(), block.size());
    if (l.bpp == 8) {
        Layout nl;
        CheckLayout(nd, block.size(), &nl);
        FillRowTable(nd, nl);
    }
    return 0;
}

int SpriteScale(ResId id, int32_t factor)
{
    Layout l;
    if (!LayoutOf(id, &l)) return 1;
    if (factor >= 16384) return 0;
    if (factor <= 0) return 1;
    int w = (int)(((int64_t)l.width * factor) >> 14), h = (int)(((int64_t)l.height * factor) >> 14);
    return SpriteResize(id, w < 1 ? 1 : w, h < 1 ? 1 : h);
}

// ---- drawing ------------------------------------------------------------------------------

int SpriteBeginDraw(ResId id)
{
    // A damaged or vanished sprite file is drawn into by nobody: the caller draws without it.
    Layout l;
    if (!LayoutOf(id, &l)) {
        LogPrintf(LOG_WARN, "SPRITE: %s is not a sprite; nothing is drawn into it", ResName(id)[0] ? ResName(id) : "resource");
        return 1;
    }
    uint8_t* d = (uint8_t*)ResOpen(id);
    if (!d) return 1;
    drawingInto = id;
    VideoBeginBuffer(d + l.pixels, l.width * (l.bpp / 8), l.width, l.height, l.bpp);
    return 0;
}

void SpriteEndDraw(void)
{
    if (!drawingInto) return;
    VideoEndBuffer();
    ResClose(drawingInto);
    drawingInto = 0;
}

static inline void PutPixel(uint8_t* p, int bpp, uint32_t value)
{
    if (bpp == 8) *p = (uint8_t)value;
    else if (bpp == 16) PutU16(p, 0, (uint16_t)value);
    else PutU32(p, 0, value);
}

// Draws source pixel (sx, sy) chosen for each target pixel of [x0..x1] x [y0..y1].
static void Blit(ResId id, int x0, int y0, int x1, int y1)
{
    Layout l;
    if (!LayoutOf(id, &l) || x1 < x0 || y1 < y0) return;
    const VideoSurface* t = VideoTarget();
    if (!t->pixels) return;
    int cx0, cy0, cx1, cy1;
    VideoGetClip(&cx0, &cy0, &cx1, &cy1);
    const uint8_t* d = (const uint8_t*)ResPeek(id);
    int dw = x1 - x0 + 1, dh = y1 - y0 + 1;
    uint32_t stepX = (uint32_t)(((uint64_t)l.width << 16) / (uint32_t)dw);
    uint32_t stepY = (uint32_t)(((uint64_t)l.height << 16) / (uint32_t)dh);
    int transparent = l.bpp == 8 ? GetI32(d, OFF_TRANSPARENT) : -1;
    uint32_t key = l.bpp == 32 ? (((uint32_t)d[OFF_KEY] << 16) | ((uint32_t)d[OFF_KEY + 1] << 8) | d[OFF_KEY + 2]) : 0;
    const uint32_t* colours = VideoColourTable();
    int bytes = t->bpp / 8;
    for (int y = y0 < cy0 ? cy0 : y0; y <= y1 && y <= cy1; y++) {
        uint32_t sy = (uint32_t)((uint64_t)(y - y0) * stepY >> 16);
        const uint8_t* srow = d + l.pixels + (size_t)sy * l.width * (l.bpp / 8);
        uint8_t* drow = t->pixels + (size_t)(t->originY + y) * t->pitch;
        for (int x = x0 < cx0 ? cx0 : x0; x <= x1 && x <= cx1; x++) {
            uint32_t sx = (uint32_t)((uint64_t)(x - x0) * stepX >> 16);
            uint8_t* dst = drow + (size_t)(t->originX + x) * bytes;
            uint32_t rgb;
            if (l.bpp == 8) {
                uint8_t index = srow[sx];
                if (index == transparent) continue;
                if (t->bpp == 8) {
                    *dst = index;
                    continue;
                }
                rgb = colours[index];
            } else {
                rgb = GetU32(srow, 4ull * sx) & 0xFFFFFF;
                if (rgb == key) continue;
                if (t->bpp == 8) continue;   // no true colour on a palette target
            }
            uint8_t r = (uint8_t)(rgb >> 16), g = (uint8_t)(rgb >> 8), b = (uint8_t)rgb;
            uint32_t value = t->bpp == 16 ? (uint32_t)(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)) : rgb;
            PutPixel(dst, t->bpp, value);
        }
    }
}

void SpriteDraw(ResId id, int x, int y)
{
    SpriteInfo info;
    if (!SpriteFormat(id, &info)) return;
    Blit(id, x, y, x + info.width - 1, y + info.height - 1);
}

void SpriteDrawScaled(ResId id, int x0, int y0, int x1, int y1) { Blit(id, x0, y0, x1, y1); }
