// TPage: packing sprites into texture pages for hardware drivers (see tpage.h).
#include "render/tpage.h"

#include <cstdlib>
#include <cstring>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/log.h"
#include "base/maths.h"
#include "platform/sprite.h"
#include "platform/video.h"

enum {
    RES_ID_COUNT = 65536,
    GROW_BY = 100,               // blocks and sprite entries grow by this many records
    SHRINK_STEP = 14336,         // 0.875 in 2.14
    PROBE_FLOOR = 256,           // probing and halving stop at this page edge
    SCALE_FROM = 24,             // sprites smaller than this on either side are never shrunk
    BGRS_KEY = 12,               // key colour red, green, blue
    BGRS_ALPHA_FLAG = 30,        // 1: the pixels' alpha carries the transparency
    INSET_FRACTION = 16,         // keyed formats sample 1/16 texel inside the block
};

// A sprite of the current load. Entries form a tree by byte size: left holds larger ones,
// next the same size (in arrival order) and then smaller ones.
struct Entry {
    int next, left;              // 1-based entry index, 0 = none
    ResId id;                    // 0 once freed or dropped
    int width, height;           // limited to the page size
    int byteSize;
    uint32_t flags;
    int format;
    // Placement
    int placed;
    int page, block;
    float ustart, vstart, du, dv;
};

struct Block {
    int next;                    // 1-based block index, 0 = none
    int entry;                   // 1-based, 0 while free
    int x, y, w, h;
};

static struct {
    int initialised;
    TPageRecord* pages;
    int pageCount;
    TPageLoadFn load;
    TPagePageFn freePage, removePage;
    float uvScale;
    int matchFlags;
    int driverEdge;              // the driver's largest page edge, limited
    int maxPageSize;             // after probing and halving
    int32_t generalScale, landscapeScale;
    int formats[3];              // 32-bit, opaque 8-bit, the rest
    int disabled;
    Block* blocks;               // [0] unused
    int blockCount, blockCapacity;
    Entry* entries;              // [0] unused
    int entryCount, entryCapacity;
    int root;
    int* order;                  // entries largest first, for the fitting passes
    int* entryOf;                // RES_ID_COUNT: 1-based entry of each sprite in this load
} tpages;

static const char* NameOf(ResId id)
{
    const char* name = ResName(id);
    return name && *name ? name : "unnamed sprite";
}

int TPageBytesPerTexel(int format)
{
    if (format == TPAGE_RGBA32 || format == TPAGE_RGBA32_KEYED) return 4;
    if (format == TPAGE_INDEX8 || format == TPAGE_INDEX8_KEYED) return 1;
    return 2;
}

// Bits per texel for the byte size that orders the sprites: the 32-bit formats count as 16.
static int SizeBits(int format)
{
    if (format == TPAGE_RGBA32 || format == TPAGE_RGBA32_KEYED || format == TPAGE_ARGB1555) return 16;
    return 8;
}

static bool ValidFormat(int format) { return format >= TPAGE_RGBA32 && format <= TPAGE_INDEX8_KEYED; }

// ============================================================================================
// Records
// ============================================================================================

static int NewBlock(int x, int y, int w, int h)
{
    if (tpages.blockCount + 1 >= tpages.blockCapacity) {
        int capacity = tpages.blockCapacity + GROW_BY;
        Block* grown = (Block*)realloc(tpages.blocks, sizeof(Block) * capacity);
        if (!grown) return 0;
        tpages.blocks = grown;
        tpages.blockCapacity = capacity;
        LogPrintf(LOG_DEBUG, "TPAGE: Resized Blocks to %d bytes", (int)(sizeof(Block) * capacity));
    }
    int b = ++tpages.blockCount;
    tpages.blocks[b] = Block{0, 0, x, y, w, h};
    return b;
}

static int NewEntry(void)
{
    if (tpages.entryCount + 1 >= tpages.entryCapacity) {
        int capacity = tpages.entryCapacity + GROW_BY;
        Entry* grown = (Entry*)realloc(tpages.entries, sizeof(Entry) * capacity);
        int* order = (int*)realloc(tpages.order, sizeof(int) * capacity);
        if (grown) tpages.entries = grown;
        if (order) tpages.order = order;
        if (!grown || !order) return 0;
        tpages.entryCapacity = capacity;
        LogPrintf(LOG_DEBUG, "TPAGE: Resized SpriteLists to %d bytes", (int)(sizeof(Entry) * capacity));
    }
    int e = ++tpages.entryCount;
    memset(&tpages.entries[e], 0, sizeof(Entry));
    return e;
}

// Gives every page back to the back end; the sprites lose their placements.
static void FreePages(void)
{
    for (int i = 0; i < tpages.pageCount; i++) {
        TPageRecord* p = &tpages.pages[i];
        if (p->loaded && tpages.removePage) tpages.removePage(p);
        if (tpages.freePage) tpages.freePage(p);
        free(p->texels);
        memset(p, 0, sizeof *p);
    }
    tpages.pageCount = 0;
    tpages.blockCount = 0;
    for (int e = 1; e <= tpages.entryCount; e++) tpages.entries[e].placed = 0;
}

// ============================================================================================
// Set-up
// ============================================================================================

int TPageInit(int maxPageEdge, float uvScale, TPageLoadFn load, TPagePageFn freePage, TPagePageFn removePage,
              uint32_t flags)
{
    if (tpages.initialised) {
        LogPrintf(LOG_WARN, "TPAGE: already initialised");
        return 1;
    }
    if (!load || maxPageEdge < TPAGE_MIN_SCALED) {
        LogPrintf(LOG_WARN, "TPAGE: refused: page edge %d, load routine %s", maxPageEdge, load ? "given" : "missing");
        return 1;
    }
    tpages.pages = (TPageRecord*)calloc(TPAGE_MAX_PAGES, sizeof(TPageRecord));
    tpages.entryOf = (int*)calloc(RES_ID_COUNT, sizeof(int));
    if (!tpages.pages || !tpages.entryOf) {
        free(tpages.pages);
        free(tpages.entryOf);
        tpages.pages = nullptr;
        tpages.entryOf = nullptr;
        LogPrintf(LOG_WARN, "TPAGE: out of memory");
        return 1;
    }
    LogPrintf(LOG_DEBUG, "TPAGE: Allocated %d bytes for TPages", (int)(TPAGE_MAX_PAGES * sizeof(TPageRecord)));
    tpages.initialised = 1;
    tpages.pageCount = 0;
    tpages.load = load;
    tpages.freePage = freePage;
    tpages.removePage = removePage;
    tpages.uvScale = uvScale;
    tpages.matchFlags = (flags & TPAGE_MATCH_FLAGS) != 0;
    tpages.driverEdge = maxPageEdge > TPAGE_MAX_EDGE ? TPAGE_MAX_EDGE : maxPageEdge;
    tpages.maxPageSize = tpages.driverEdge;
    tpages.generalScale = tpages.landscapeScale = FIX_ONE;
    tpages.disabled = 1;   // until a start with a format
    tpages.root = 0;
    tpages.entryCount = tpages.blockCount = 0;
    RegisterExit(TPageDestroy);
    return 0;
}

void TPageDestroy(void)
{
    if (!tpages.initialised) return;
    FreePages();
    free(tpages.pages);
    free(tpages.blocks);
    free(tpages.entries);
    free(tpages.order);
    free(tpages.entryOf);
    memset(&tpages, 0, sizeof tpages);
}

void TPageUnLoad(void)
{
    if (!tpages.initialised) return;
    for (int i = 0; i < tpages.pageCount; i++) {
        TPageRecord* p = &tpages.pages[i];
        if (!p->loaded) continue;
        LogPrintf(LOG_DEBUG, "TEXTURES: RemovePage called in TPageUnLoad");
        if (tpages.removePage) tpages.removePage(p);
        p->loaded = 0;
    }
}

// ============================================================================================
// Starting a load and taking sprites
// ============================================================================================

void TPageStartLoad(int format32, int formatOpaque8, int formatRest)
{
    if (!tpages.initialised) return;
    static const char* const kSuffix[3] = {"", " (2)", " (3)"};
    tpages.formats[0] = format32;
    tpages.formats[1] = formatOpaque8;
    tpages.formats[2] = formatRest;
    int size = tpages.driverEdge;
    // Find the largest page each format can have; a failed probe halves the edge for all.
    for (int f = 0; f < 3 && format32; f++) {
        if (!tpages.formats[f]) continue;
        while (size > PROBE_FLOOR) {
            TPageRecord probe;
            memset(&probe, 0, sizeof probe);
            probe.size = size;
            probe.format = tpages.formats[f];
            LogPrintf(LOG_DEBUG, "TEXTURES: LoadPage called in TPageStartLoad%s", kSuffix[f]);
            if (tpages.load(size, 0, tpages.formats[f], &probe, 0) == 0) {
                LogPrintf(LOG_DEBUG, "TEXTURES: RemovePage called in TPageStartLoad%s", kSuffix[f]);
                if (tpages.removePage) tpages.removePage(&probe);
                LogPrintf(LOG_DEBUG, "TEXTURES: FreePage called in TPageStartLoad%s", kSuffix[f]);
                if (tpages.freePage) tpages.freePage(&probe);
                break;
            }
            size /= 2;
        }
    }
    tpages.maxPageSize = size;
    LogPrintf(LOG_INFO, "TPageStartLoad : MaxPageSize:%d", size);
    // A new load: the last one's placements go with its pages.
    tpages.root = 0;
    tpages.entryCount = 0;
    memset(tpages.entryOf, 0, sizeof(int) * RES_ID_COUNT);
    tpages.disabled = format32 == TPAGE_NONE;
}

// The page format a sprite goes to.
static int SpriteFormatFor(ResId id, const SpriteInfo& info)
{
    if (info.bpp == 32) {
        const uint8_t* d = (const uint8_t*)ResPeek(id);
        return d[BGRS_ALPHA_FLAG] == 1 ? tpages.formats[2] : tpages.formats[0];
    }
    int transparent = SpriteTransparent(id);
    return transparent >= 0 && transparent <= 255 ? tpages.formats[2] : tpages.formats[1];
}

// Largest first; the same size after those already there, so equal sizes keep arrival order.
static void InsertEntry(int e)
{
    int size = tpages.entries[e].byteSize;
    if (!tpages.root) {
        tpages.root = e;
        return;
    }
    int at = tpages.root;
    for (;;) {
        Entry* n = &tpages.entries[at];
        if (n->byteSize == size) {
            while (n->next && tpages.entries[n->next].byteSize == size) {
                at = n->next;
                n = &tpages.entries[at];
            }
            tpages.entries[e].next = n->next;
            n->next = e;
            return;
        }
        int* link = n->byteSize < size ? &n->left : &n->next;
        if (!*link) {
            *link = e;
            return;
        }
        at = *link;
    }
}

int TPageLoadText(ResId id, uint32_t flags)
{
    if (!tpages.initialised || tpages.disabled) return 1;
    SpriteInfo info;
    if (!id || !SpriteFormat(id, &info) || info.width <= 0 || info.height <= 0) {
        LogPrintf(LOG_WARN, "TPageLoadText - (%s) is no sound sprite: not loaded", id ? NameOf(id) : "no sprite");
        return 1;
    }
    if (tpages.entryOf[id]) {
        LogPrintf(LOG_DEBUG, "TPageLoadText - sprite %s is already in text mem", NameOf(id));
        return 0;
    }
    int width = info.width > tpages.maxPageSize ? tpages.maxPageSize : info.width;
    int height = info.height > tpages.maxPageSize ? tpages.maxPageSize : info.height;
    if ((flags & TPAGE_SPRITE_OWN_PAGE) && width != height) {
        LogPrintf(LOG_WARN, "SpriteListFit - a block which is 'own page' MUST be square (%s is %dx%d)", NameOf(id),
                  info.width, info.height);
        return 1;
    }
    int format = SpriteFormatFor(id, info);
    if (!ValidFormat(format)) {
        LogPrintf(LOG_WARN, "TPageLoadText - (%s) no page format %d for it", NameOf(id), format);
        return 1;
    }
    int e = NewEntry();
    if (!e) {
        LogPrintf(LOG_WARN, "TPageFitText - SpriteListAlloc failed");
        return 1;
    }
    Entry* n = &tpages.entries[e];
    n->id = id;
    n->width = width;
    n->height = height;
    n->byteSize = SizeBits(format) * width * height / 8;
    n->flags = flags;
    n->format = format;
    InsertEntry(e);
    tpages.entryOf[id] = e;
    return 0;
}

void TPageFreeTexture(ResId id)
{
    if (!tpages.initialised || !id || !tpages.entryOf[id]) return;
    Entry* e = &tpages.entries[tpages.entryOf[id]];
    if (e->placed) tpages.blocks[e->block].entry = 0;
    e->placed = 0;
    e->id = 0;
    tpages.entryOf[id] = 0;
}

// ============================================================================================
// Fitting
// ============================================================================================

static void ScaledSize(const Entry* e, int* w, int* h)
{
    *w = e->width;
    *h = e->height;
    if ((e->flags & TPAGE_SPRITE_NO_SCALE) || e->width < SCALE_FROM || e->height < SCALE_FROM) return;
    int32_t scale = (e->flags & TPAGE_SPRITE_LANDSCAPE) ? tpages.landscapeScale : tpages.generalScale;
    int sw = FixMul(e->width, scale), sh = FixMul(e->height, scale);
    *w = sw < TPAGE_MIN_SCALED ? TPAGE_MIN_SCALED : sw;
    *h = sh < TPAGE_MIN_SCALED ? TPAGE_MIN_SCALED : sh;
}

static void Unlink(int* list, int b)
{
    for (int* link = list; *link; link = &tpages.blocks[*link].next) {
        if (*link == b) {
            *link = tpages.blocks[b].next;
            return;
        }
    }
}

static bool PushFree(TPageRecord* p, int x, int y, int w, int h)
{
    if (w <= 0 || h <= 0) return true;
    int b = NewBlock(x, y, w, h);
    if (!b) return false;
    tpages.blocks[b].next = p->freeList;
    p->freeList = b;
    return true;
}

// The sampled part of a block: one texel in from each edge, 1/16 texel for the keyed formats
// (whose transparent rim must stay), nothing when the sprite asks for its edges. The same
// margin on both sides, so filtering never reaches a neighbour's texels.
static void SetTexCoords(Entry* e, const TPageRecord* p, const Block& b)
{
    double s = p->size;
    double iu = 0, iv = 0;
    if (!(e->flags & (TPAGE_SPRITE_GROUP | TPAGE_SPRITE_FULL_UV))) {
        if (p->format == TPAGE_RGBA32_KEYED || p->format == TPAGE_ARGB1555) {
            iu = iv = 1.0 / ((double)INSET_FRACTION * s);
        } else {
            if (b.w > 2) iu = 1.0 / s;
            if (b.h > 2) iv = 1.0 / s;
        }
    }
    e->ustart = (float)((b.x / s + iu) * tpages.uvScale);
    e->vstart = (float)((b.y / s + iv) * tpages.uvScale);
    e->du = (float)((b.w / s - 2 * iu) * tpages.uvScale);
    e->dv = (float)((b.h / s - 2 * iv) * tpages.uvScale);
}

// Puts the sprite (w x h) into free block b of page p: a guillotine cut along the longer
// leftover, the strips going to the head of the free list.
static bool PlaceInBlock(int pageIndex, int b, int entry, int w, int h)
{
    TPageRecord* p = &tpages.pages[pageIndex];
    Block blk = tpages.blocks[b];
    int dw = blk.w - w, dh = blk.h - h;
    bool ok = true;
    if (dw <= dh) {
        ok = PushFree(p, blk.x, blk.y + h, blk.w, dh) && PushFree(p, blk.x + w, blk.y, dw, h);
    } else {
        ok = PushFree(p, blk.x + w, blk.y, dw, blk.h) && PushFree(p, blk.x, blk.y + h, w, dh);
    }
    if (!ok) return false;
    Unlink(&p->freeList, b);
    Block* k = &tpages.blocks[b];
    k->w = w;
    k->h = h;
    k->entry = entry;
    k->next = p->usedList;
    p->usedList = b;
    Entry* e = &tpages.entries[entry];
    e->placed = 1;
    e->page = pageIndex;
    e->block = b;
    SetTexCoords(e, p, *k);
    return true;
}

static uint32_t PageFlags(const Entry* e)
{
    return e->flags & (TPAGE_SPRITE_PAGE_CLASS | (tpages.matchFlags ? TPAGE_SPRITE_GROUP : 0));
}

// A new page at the given size, reserved with the back end: its index, or -1.
static int OpenPage(int size, const Entry* e, const char* where, bool mayHalve)
{
    if (tpages.pageCount >= TPAGE_MAX_PAGES) return -1;
    TPageRecord* p = &tpages.pages[tpages.pageCount];
    memset(p, 0, sizeof *p);
    p->size = size;
    p->format = e->format;
    p->flags = PageFlags(e);
    LogPrintf(LOG_DEBUG, "TEXTURES: LoadPage called in %s", where);
    int r = tpages.load(size, 0, p->format, p, p->flags);
    while (r != 0 && mayHalve && tpages.pageCount == 0 && tpages.maxPageSize > PROBE_FLOOR) {
        tpages.maxPageSize /= 2;
        p->size = size = tpages.maxPageSize;
        LogPrintf(LOG_DEBUG, "TEXTURES: LoadPage called in SpriteListFit (3)");
        r = tpages.load(size, 0, p->format, p, p->flags);
    }
    if (r != 0) {
        memset(p, 0, sizeof *p);
        return -1;
    }
    p->texels = (uint8_t*)calloc((size_t)size * size, TPageBytesPerTexel(p->format));
    int b = p->texels ? NewBlock(0, 0, size, size) : 0;
    if (!b) {
        if (tpages.removePage) tpages.removePage(p);
        if (tpages.freePage) tpages.freePage(p);
        free(p->texels);
        memset(p, 0, sizeof *p);
        LogPrintf(LOG_WARN, "TPAGE: out of memory for a page of %d", size);
        return -1;
    }
    p->freeList = b;
    p->loaded = 1;
    return tpages.pageCount++;
}

static bool FitEntry(int entry)
{
    Entry* e = &tpages.entries[entry];
    int w, h;
    ScaledSize(e, &w, &h);
    if (e->flags & TPAGE_SPRITE_OWN_PAGE) {
        int want = w > h ? w : h, size = 1;
        while (size < want) size <<= 1;
        if (size > tpages.maxPageSize) size = tpages.maxPageSize;
        int page = OpenPage(size, e, "SpriteListFit", false);
        if (page < 0) return false;
        return PlaceInBlock(page, tpages.pages[page].freeList, entry, size, size);
    }
    for (;;) {
        for (int i = 0; i < tpages.pageCount; i++) {
            TPageRecord* p = &tpages.pages[i];
            if (!p->texels || !p->freeList || p->format != e->format) continue;
            if (tpages.matchFlags && ((p->flags ^ e->flags) & TPAGE_SPRITE_GROUP)) continue;
            for (int b = p->freeList; b; b = tpages.blocks[b].next)
                if (tpages.blocks[b].w >= w && tpages.blocks[b].h >= h) return PlaceInBlock(i, b, entry, w, h);
        }
        int page = OpenPage(tpages.maxPageSize, e, "SpriteListFit (2)", true);
        if (page < 0) return false;
        // A page halved below the sprite would be followed by ever more pages it fits in no better.
        if (tpages.pages[page].size < w || tpages.pages[page].size < h) return false;
    }
}

// Entries largest first, equal sizes in arrival order: the tree in order, left before next.
static int OrderEntries(void)
{
    int count = 0, depth = 0;
    int* stack = (int*)malloc(sizeof(int) * (tpages.entryCount + 1));
    if (!stack) return 0;
    int at = tpages.root;
    while (at || depth) {
        while (at) {
            stack[depth++] = at;
            at = tpages.entries[at].left;
        }
        at = stack[--depth];
        tpages.order[count++] = at;
        at = tpages.entries[at].next;
    }
    free(stack);
    return count;
}

// One pass over every sprite. A trial pass stops at the first failure; the final pass places
// what it can and drops the rest.
static bool FitAll(int count, bool final)
{
    bool all = true;
    for (int i = 0; i < count; i++) {
        int entry = tpages.order[i];
        Entry* e = &tpages.entries[entry];
        if (!e->id) continue;
        if (FitEntry(entry)) continue;
        all = false;
        if (!final) return false;
        LogPrintf(LOG_WARN, "TEXTURES: TPage failed to fit a sprite on final pass : %dx%d", e->width, e->height);
        tpages.entryOf[e->id] = 0;
        e->id = 0;
    }
    return all;
}

// ============================================================================================
// Converting and uploading
// ============================================================================================

static uint32_t Rgb16(uint32_t rgb, bool opaque)
{
    uint32_t r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
    return (opaque ? 0x8000u : 0) | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
}

// The sprite scaled (nearest texel) to its block and converted to the page format.
static void ConvertSprite(TPageRecord* p, const Block& b, ResId id)
{
    SpriteInfo info;
    if (!SpriteFormat(id, &info)) return;
    const uint8_t* d = (const uint8_t*)ResPeek(id);
    uint32_t colours[256];
    int transparent = -1;
    uint32_t key = 0;
    bool alphaFlag = false;
    if (info.bpp == 8) {
        // The current palette, overlaid by the sprite's own colours when it carries some.
        const uint32_t* current = VideoColourTable();
        for (int i = 0; i < 256; i++) colours[i] = current[i] & 0xFFFFFF;
        const uint8_t* pal = SpritePalette(id);
        if (pal) {
            int first = GetI16(pal, 0), count = GetI16(pal, 2);
            for (int k = 0; k < count; k++) {
                int index = first + k;
                if (index < 0 || index > 255) continue;
                const uint8_t* c = pal + 4 + 3 * k;
                colours[index] = ((uint32_t)(uint8_t)(c[0] << 2) << 16) | ((uint32_t)(uint8_t)(c[1] << 2) << 8) |
                                 (uint8_t)(c[2] << 2);
            }
        } else if (p->format != TPAGE_INDEX8 && p->format != TPAGE_INDEX8_KEYED) {
            LogPrintf(LOG_DEBUG, "TPagePrepareUpload - (%s) sprite palette missing", NameOf(id));
        }
        transparent = SpriteTransparent(id);
    } else {
        key = ((uint32_t)d[BGRS_KEY] << 16) | ((uint32_t)d[BGRS_KEY + 1] << 8) | d[BGRS_KEY + 2];
        alphaFlag = d[BGRS_ALPHA_FLAG] == 1;
        if (p->format == TPAGE_INDEX8 || p->format == TPAGE_INDEX8_KEYED) {
            LogPrintf(LOG_WARN, "TPagePrepareUpload - invaliD type (%s: 32-bit into format %d)", NameOf(id), p->format);
            return;
        }
    }
    const uint8_t* pixels = SpritePixels(id);
    if (!pixels) return;
    int bpt = TPageBytesPerTexel(p->format);
    for (int by = 0; by < b.h; by++) {
        int sy = (int)((int64_t)by * info.height / b.h);
        const uint8_t* row = pixels + (size_t)sy * info.width * (info.bpp / 8);
        uint8_t* out = p->texels + ((size_t)(b.y + by) * p->size + b.x) * bpt;
        for (int bx = 0; bx < b.w; bx++, out += bpt) {
            int sx = (int)((int64_t)bx * info.width / b.w);
            uint32_t rgb, alpha;
            uint8_t index = 0;
            if (info.bpp == 8) {
                index = row[sx];
                rgb = colours[index];
                alpha = index == transparent ? 0 : 255;
            } else {
                uint32_t v = GetU32(row, 4ull * sx);
                rgb = v & 0xFFFFFF;
                alpha = rgb == key ? 0 : alphaFlag ? v >> 24 : 255;
            }
            switch (p->format) {
            case TPAGE_RGBA32: PutU32(out, 0, 0xFF000000u | rgb); break;
            case TPAGE_RGBA32_KEYED: PutU32(out, 0, alpha ? (alpha << 24) | rgb : 0); break;
            case TPAGE_ARGB1555: PutU16(out, 0, (uint16_t)Rgb16(rgb, alpha >= 128)); break;
            default: *out = index; break;
            }
        }
    }
    SpriteRelease(id);
}

static void PrepareUpload(int pageIndex)
{
    TPageRecord* p = &tpages.pages[pageIndex];
    LogPrintf(LOG_DEBUG, "TEXTURES: TPagePrepareUpload for %d", pageIndex);
    for (int b = p->usedList; b; b = tpages.blocks[b].next) {
        int entry = tpages.blocks[b].entry;
        if (entry && tpages.entries[entry].id) ConvertSprite(p, tpages.blocks[b], tpages.entries[entry].id);
    }
}

static void Report(ProgressFn progress, uint32_t value)
{
    if (progress) progress(value);
}

static void CopyData(ProgressFn progress)
{
    LogPrintf(LOG_DEBUG, "TEXTURES: TPageCopyData started");
    int count = tpages.pageCount;
    for (int i = 0; i < count; i++) {
        TPageRecord* p = &tpages.pages[i];
        if (p->texels) {
            PrepareUpload(i);
            LogPrintf(LOG_DEBUG, "TEXTURES: LoadPage called in TPageCopyData");
            if (tpages.load(p->size, 0, p->format, p, p->flags) == 0) {
                p->loaded = 1;
            } else {
                // Its sprites have no texels in the back end: they draw untextured.
                LogPrintf(LOG_WARN, "TEXTURES: LoadPage failed in TPageCopyData for page %d", i);
                for (int b = p->usedList; b; b = tpages.blocks[b].next) {
                    Entry* e = &tpages.entries[tpages.blocks[b].entry];
                    if (!tpages.blocks[b].entry || !e->id) continue;
                    tpages.entryOf[e->id] = 0;
                    e->id = 0;
                    e->placed = 0;
                }
            }
            free(p->texels);
            p->texels = nullptr;
        }
        Report(progress, (uint32_t)(PROGRESS_DONE / 2 + i * (PROGRESS_DONE / 2) / count));
    }
}

// ============================================================================================
// Ending a load
// ============================================================================================

void TPageEndLoad(ProgressFn progress)
{
    if (!tpages.initialised) return;
    LogPrintf(LOG_INFO, "TEXTURES: TPageEndLoad started");
    FreePages();
    tpages.generalScale = tpages.landscapeScale = FIX_ONE;
    Report(progress, PROGRESS_DONE / 2);
    int count = tpages.disabled || !tpages.root ? 0 : OrderEntries();
    if (count > 0) {
        bool landscapeTurn = true;
        for (;;) {
            bool ok = FitAll(count, false);
            LogPrintf(LOG_INFO, "TEXTURES: TPageEndLoad : ExpandNode result %s", ok ? "True" : "False");
            if (ok) break;
            FreePages();
            if (landscapeTurn) {
                LogPrintf(LOG_INFO, "TEXTURES: TPageEndLoad : Using fail_landscape mode");
                tpages.landscapeScale = FixMul(tpages.landscapeScale, SHRINK_STEP);
            } else {
                LogPrintf(LOG_INFO, "TEXTURES: TPageEndLoad : Using fail_general mode");
                tpages.generalScale = FixMul(tpages.generalScale, SHRINK_STEP);
            }
            landscapeTurn = !landscapeTurn;
            if (!tpages.landscapeScale || !tpages.generalScale) {
                LogPrintf(LOG_WARN, "TEXTURES: TPageEndLoad : All loading has failed");
                FitAll(count, true);
                break;
            }
        }
        // The sprites that did fit are uploaded even after a failed load.
        TPageUnLoad();
        CopyData(progress);
    }
    Report(progress, PROGRESS_DONE);
    LogPrintf(LOG_INFO, "TEXTURES: TPageEndLoad : Complete");
}

// ============================================================================================
// Queries
// ============================================================================================

int TPagePlacement(ResId id, TPagePlace* out)
{
    if (!tpages.initialised || !id || !tpages.entryOf[id]) return 0;
    const Entry* e = &tpages.entries[tpages.entryOf[id]];
    if (!e->placed) return 0;
    if (out) {
        const Block& b = tpages.blocks[e->block];
        out->page = e->page;
        out->x = b.x;
        out->y = b.y;
        out->w = b.w;
        out->h = b.h;
        out->ustart = e->ustart;
        out->vstart = e->vstart;
        out->du = e->du;
        out->dv = e->dv;
        out->handle = tpages.pages[e->page].handle;
    }
    return 1;
}

int TPagePageCount(void) { return tpages.initialised ? tpages.pageCount : 0; }

const TPageRecord* TPagePage(int i)
{
    if (!tpages.initialised || i < 0 || i >= tpages.pageCount) return nullptr;
    return &tpages.pages[i];
}

int TPageMaxPageSize(void) { return tpages.maxPageSize; }
