// Sprites ("SPR" resources): the program's pictures, loaded, made and drawn into the current
// drawing target. Part of the platform (platform.h includes it); the models that read and
// write pictures include this part alone.
#pragma once
#include <cstdint>

#include "base/res.h"

enum {
    SPR_HEADER_SIZE = 48,      // 8-bit "TRPS"
    SPR32_HEADER_SIZE = 32,    // 32-bit "BGRS"
    SPRZ_DATA_OFFSET = 52,     // compressed "BGRZ" rows
    // Sprite files have no size of their own (a compressed one may even skip any number of
    // bytes): no sprite file, and no sprite a file unpacks into, is taken beyond the pixels of a
    // 4096 x 4096 32-bit picture and 64 KiB for headers, row table and palette.
    SPRITE_MAX_FILE_SIZE = 4096 * 4096 * 4 + 65536,
};

struct SpriteInfo {
    int bpp;        // 8 or 32
    int width;
    int height;
};

// Registers the "SPR" type with its loader.
void SpriteInstall(void);
// The loader: checks and prepares a sprite in place (fills the row table, expands "BGRZ").
// A refusal is logged (SPRITE: ...) and its reason kept for whoever loaded the sprite to tell
// the user: no box of its own, as one file may be tried several times in one load.
int SpriteLoad(ResId id);
// Why the last sprite was refused, as a phrase ("it is a BMP picture, not an SPR sprite");
// "" when the last sprite loaded.
const char* SpriteLastRefusal(void);
// Creates an 8-bit sprite resource; palette may be null.
ResId SpriteCreate8(int width, int height, int transparent, const uint8_t* palette, int paletteCount);
ResId SpriteCreate32(int width, int height);
int SpriteFormat(ResId id, SpriteInfo* out);   // 0 when the resource is not a sprite
int SpriteTransparent(ResId id);
// The palette block (first, count, triples) of an 8-bit sprite, or null.
const uint8_t* SpritePalette(ResId id);
// Pointer to the first pixel (the sprite stays open until SpriteRelease).
uint8_t* SpritePixels(ResId id);
void SpriteRelease(ResId id);
// Expands a "BGRZ" block to "BGRS". Returns 0 on success, 1 when the data is malformed.
int SpriteDecompress(ResId id);
int SpriteResize(ResId id, int width, int height);
int SpriteScale(ResId id, int32_t factor);
// Drawing into a sprite: the sprite's pixels become the drawing target. 0, or 1 (nothing
// changes, no SpriteEndDraw needed) when the resource is no sprite or its file cannot be read.
int SpriteBeginDraw(ResId id);
void SpriteEndDraw(void);
// Draws at a point or scaled into a rectangle of the current target, clipped, with the
// transparent index or key colour left undrawn.
void SpriteDraw(ResId id, int x, int y);
void SpriteDrawScaled(ResId id, int x0, int y0, int x1, int y1);
