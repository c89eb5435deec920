// Textures as the software rasteriser reads them: straight from "SPR" resources that are
// already loaded (8-bit: colour indices with the transparent index; 32-bit: 0x00RRGGBB texels
// with a key colour). Nothing is loaded here: a frame must not wait on files, and a texture
// that failed to load would otherwise be retried (and complained about) on every polygon.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/res.h"

struct TexCacheEntry {
    ResId id;
    const uint8_t* base;   // the sprite's block
    size_t size;
    uint32_t magic, width, height, pixels;
    const uint8_t* texels; // width x height, row by row: bytes (8-bit) or 32-bit words
    int bpp;               // 8 or 32
    int keyIndex;          // 8-bit: the transparent index, or -1
    uint32_t key;          // 32-bit: the key colour 0x00RRGGBB
};

// The texture behind a sprite id, when the sprite is loaded and sound: 1 and the texture in
// out, else 0. Its layout is checked in full when the sprite is first seen (and when its
// block or the header fields its layout hangs on change); its transparency on every call.
int TexCacheGet(ResId id, TexCacheEntry* out);
