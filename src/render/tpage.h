// TPage: the texture page manager of hardware drivers. Every sprite a hardware driver must hold
// in texture memory is packed into square pages (largest first, first fit, guillotine splits),
// shrunk step by step when everything does not fit, converted to the page's texel format and
// handed page by page to the back end through the routines given at TPageInit. The software
// drivers do not use it: they read the sprite resources directly, so TPage never changes a
// sprite resource; placements live in TPage's own table, keyed by the sprite's resource id.
//
// Cycle: TPageInit once; per texture load TPageStartLoad, TPageLoadText per sprite,
// TPageEndLoad; then TPagePlacement per drawn texture; TPageUnLoad between loads;
// TPageDestroy at exit (registered by TPageInit).
#pragma once
#include <cstdint>

#include "base/progress.h"
#include "base/res.h"

// Page texel formats. The values show in the log.
enum {
    TPAGE_NONE = 0,            // as a 32-bit format to TPageStartLoad: texture loading off
    TPAGE_RGBA32 = 3,          // 32-bit 0xAARRGGBB, alpha 255 everywhere (opaque)
    TPAGE_RGBA32_KEYED = 4,    // 32-bit, transparent texels alpha 0: an 8-bit sprite's transparent
                               // index, a 32-bit sprite's key colour, or (alpha flag set) its alpha
    TPAGE_INDEX8 = 5,          // palette indices as they are
    TPAGE_ARGB1555 = 6,        // 16-bit, alpha in the top bit (0 = transparent)
    TPAGE_INDEX8_KEYED = 7,    // palette indices, the transparent index kept
};

// Sprite load flags (TPageLoadText).
enum {
    TPAGE_SPRITE_GROUP = 0x1,       // the group bit: with TPAGE_MATCH_FLAGS a page holds sprites of one
                                    // group only; its texture coordinates also reach the block's edges
    TPAGE_SPRITE_NO_SCALE = 0x2,    // never shrunk when the pages run out
    TPAGE_SPRITE_OWN_PAGE = 0x10,   // a square sprite alone on a page of its own
    TPAGE_SPRITE_LANDSCAPE = 0x20,  // shrunk by the landscape scale, which gives way first
    TPAGE_SPRITE_FULL_UV = 0x40,    // texture coordinates reach the block's edges (no inset)
    TPAGE_SPRITE_PAGE_CLASS = 0x200 // kept in the flags of the page it opens
};

// TPageInit flags.
enum { TPAGE_MATCH_FLAGS = 0x1 };

enum {
    TPAGE_MAX_PAGES = 1024,
    TPAGE_MAX_EDGE = 1024,   // largest page edge whatever the driver allows
    TPAGE_HANDLE_BYTES = 64,
    TPAGE_MIN_SCALED = 16,   // shrinking stops at this many texels a side
};

struct TPageRecord {
    uint8_t handle[TPAGE_HANDLE_BYTES];   // the back end's own data for the page
    int size;                             // edge in texels (square)
    int format;                           // TPAGE_RGBA32 ...
    int freeList;                         // first free block (1-based, 0 = none)
    int usedList;                         // first used block
    uint8_t* texels;                      // size x size texels being assembled; null after upload
    uint32_t flags;                       // TPAGE_SPRITE_PAGE_CLASS (and TPAGE_SPRITE_GROUP when matching)
    int loaded;                           // 1 while the back end holds the page (RemovePage is due)
};

// The back end. LoadPage(size, 0, format, page, flags) returns 0 on success. Called with
// page->texels null it reserves (or, from TPageStartLoad, probes) a page of that size and
// format; called again at upload with page->texels filled (size x size texels of
// TPageBytesPerTexel(format) bytes, rows from the top) it copies them and writes its handle
// into page->handle. RemovePage undoes a successful LoadPage; FreePage releases whatever the
// back end keeps for the record.
typedef int (*TPageLoadFn)(int size, int reserved, int format, TPageRecord* page, uint32_t flags);
typedef void (*TPagePageFn)(TPageRecord* page);

// Where a sprite went. u, v: 0..1 over the page, multiplied by the UV scale of TPageInit.
struct TPagePlace {
    int page;                        // index for TPagePage
    int x, y, w, h;                  // the block in texels (the sprite is scaled to w x h)
    float ustart, vstart, du, dv;    // the part of the block to sample, insets applied
    const uint8_t* handle;           // the page's TPAGE_HANDLE_BYTES of back-end data
};

// Once. maxPageEdge is the driver's largest page edge, limited to TPAGE_MAX_EDGE; it must be
// at least TPAGE_MIN_SCALED. load must be given; freePage and removePage may be null.
// Returns 0, or 1 (with a log line) when already initialised or an argument is unusable.
int TPageInit(int maxPageEdge, float uvScale, TPageLoadFn load, TPagePageFn freePage, TPagePageFn removePage,
              uint32_t flags);
// Starts a load: the page formats for 32-bit sprites, for 8-bit sprites without a transparent
// index and for the rest. Probes the largest page the back end takes (down to 256), empties
// the sprite list and the placement table. TPAGE_NONE as format32 turns loading off until
// the next start.
void TPageStartLoad(int format32, int formatOpaque8, int formatRest);
// Adds a sprite to the load. 0 when taken (or already taken in this load); 1 when refused:
// loading is off, TPage is not initialised, or the resource is no sound sprite (logged).
int TPageLoadText(ResId id, uint32_t flags);
// Packs the sprites, shrinking them when the pages run out, converts and uploads every page.
// Sprites that fit in no way are left without a placement. progress may be null.
void TPageEndLoad(ProgressFn progress);
// Forgets the sprite's placement. The resource is the caller's: it is not freed here.
void TPageFreeTexture(ResId id);
// RemovePage for every page the back end holds.
void TPageUnLoad(void);
// RemovePage and FreePage for every page, frees everything; TPageInit may run again.
void TPageDestroy(void);

// 1 and the placement when the sprite has one, else 0.
int TPagePlacement(ResId id, TPagePlace* out);
int TPagePageCount(void);
const TPageRecord* TPagePage(int i);   // null out of range
// The current largest page edge (after probing and any halving).
int TPageMaxPageSize(void);
// Bytes per texel in page buffers: 4 for formats 3 and 4, 1 for 5 and 7, 2 otherwise.
int TPageBytesPerTexel(int format);
