// The software rasteriser's texture lookup: a small cache of sprite layouts by id, checked
// against the sprite's block on every call so that a replaced or reloaded sprite is seen at
// once.
#include "render/texcache.h"

#include "base/bytes.h"
#include "platform/sprite.h"

// The sprite header fields the rasteriser reads.
enum {
    SPRITE_MAGIC = 0,
    SPRITE_WIDTH = 4,
    SPRITE_HEIGHT = 8,
    SPRITE_KEY = 12,           // 32-bit sprites: the key colour, red, green, blue bytes
    SPRITE_TRANSPARENT = 20,   // 8-bit sprites: i32, the transparent index (-1 = none)
    SPRITE_PIXELS = 32,        // 8-bit sprites: u32, offset of the first texel
};

enum { CACHE_ENTRIES = 16 };   // by the low bits of the id

static TexCacheEntry cache[CACHE_ENTRIES];

int TexCacheGet(ResId id, TexCacheEntry* out)
{
    if (!id || ResIsLoaded(id) != 0) return 0;
    const uint8_t* d = (const uint8_t*)ResPeek(id);
    size_t size = ResSize(id);
    if (!d || size < SPR32_HEADER_SIZE) return 0;
    TexCacheEntry* e = &cache[id % CACHE_ENTRIES];
    bool known = e->id == id && e->base == d && e->size == size && e->magic == GetU32(d, SPRITE_MAGIC) &&
                 e->width == GetU32(d, SPRITE_WIDTH) && e->height == GetU32(d, SPRITE_HEIGHT) &&
                 (e->bpp == 32 || (size >= SPR_HEADER_SIZE && e->pixels == GetU32(d, SPRITE_PIXELS)));
    if (!known) {
        SpriteInfo info;
        if (!SpriteFormat(id, &info)) return 0;
        e->id = id;
        e->base = d;
        e->size = size;
        e->magic = GetU32(d, SPRITE_MAGIC);
        e->width = (uint32_t)info.width;
        e->height = (uint32_t)info.height;
        e->bpp = info.bpp;
        e->pixels = info.bpp == 8 ? GetU32(d, SPRITE_PIXELS) : (uint32_t)SPR32_HEADER_SIZE;
        e->texels = d + e->pixels;
    }
    int transparent = e->bpp == 8 ? GetI32(d, SPRITE_TRANSPARENT) : -1;
    e->keyIndex = transparent >= 0 && transparent <= 255 ? transparent : -1;
    e->key = ((uint32_t)d[SPRITE_KEY] << 16) | ((uint32_t)d[SPRITE_KEY + 1] << 8) | d[SPRITE_KEY + 2];
    *out = *e;
    return 1;
}
