// Material manager: the editable material list. The list is one block, an 8-byte header and
// 100-byte records, that is also the MAT file written byte for byte. Index 0 is always the
// "Dummy" material. Edits of single fields are mirrored into the render table (intmat.h) at
// once; changes of names, textures or the set of materials rebuild it (MatMReload) and raise
// the textures-dirty flag, which the main loop answers by reloading textures.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/res.h"

enum {
    MAT_HEADER_SIZE = 8,
    MAT_RECORD_SIZE = 100,
    MAT_MAX_RECORDS = 1000,
    MAT_VERSION = 4,
    MAT_FLAG_TRUE_COLOUR = 1,
    MAT_NAME_SIZE = 16,      // terminator included
    MAT_TEXTURE_SIZE = 13,   // terminator included
    MAT_TEXTURE_CHARS = 12,
    MAT_COLOUR_MAX = 16383,
    // The largest MAT file: the header and as many records as its 16-bit count can name.
    MAT_MAX_FILE_SIZE = MAT_HEADER_SIZE + 32767 * MAT_RECORD_SIZE,

    // Header.
    MH_COUNT = 0,            // i16, records including the Dummy
    MH_VERSION = 2,          // i16
    MH_FLAGS = 4,            // u32

    // Record (version 4).
    MR_NAME = 0x00,
    MR_RED = 0x10,           // i32; its low byte is the palette index
    MR_PALETTE = 0x10,
    MR_GREEN = 0x14,
    MR_BLUE = 0x18,
    MR_SI = 0x1C,            // i32, held as a 16-bit value
    MR_AMBIENT = 0x20,
    MR_DIFFUSE = 0x24,
    MR_SPECULAR = 0x28,
    MR_ALPHA = 0x2C,         // i32, 0..16383
    MR_TEXTURE = 0x34,       // char[13]
};

// Frees any previous list; the list holds the Dummy only, palette colours, current index 0;
// then the render table is filled from it. "MatMInstall: Can't allocate buffer." when the
// room for 1000 records cannot be had.
void MatMInstall(void);
// Colours are RGB values rather than palette indices (set right after MatMInstall).
void MatMSetTrueColour(void);
int MatMTrueColour(void);

// 0 on success, 1 when the file is missing, unreadable, refused or would pass 1000 records;
// on failure the list is unchanged. Load replaces every material but the Dummy; merge
// appends the file's materials whose names are not in the list yet.
int MatMLoad(const char* path);
int MatMMerge(const char* path);
// Writes the header and every record; 0, or 1 when the file cannot be written.
int MatMSave(const char* path);
// Whether the list differs from what was last installed, loaded or saved (by its bytes), and
// the mark that a load or save sets.
int MatMChanged(void);
void MatMMarkClean(void);
// Rebuilds the render table from the list: afterwards render index i is list index i.
void MatMReload(void);

// MAT blocks (a file image in a resource) of versions 2 to 4.
enum {
    MATCHK_OK = 0,
    MATCHK_SHORT,     // smaller than its header
    MATCHK_VERSION,   // not version 2, 3 or 4
    MATCHK_COUNT,     // a negative count, or one that does not match the size
};
// Checks a block before it is upgraded: MATCHK_OK or the reason it is refused.
int MatMCheckBlock(const uint8_t* data, size_t size, int* version, int* count);
// Upgrades a MAT resource to version 4 in place: 0, or 1 (data unchanged) when the block is
// refused. Every MAT file read goes through it; it is also the "MAT" resource type's load hook.
int MatMUpgradeBlock(ResId id);
// Inserts a new material ("New Mat 00" onward, lit black) at position (0 taken as 1).
// Nothing happens when the list is full.
void MatMAdd(int position);
// Deletes the current material unless it is the Dummy.
void MatMDelete(void);
// 1 when a material of this name (ignoring a-z case) exists, else 0.
int MatMFind(const char* name);

int MatMCount(void);
// Address of record index; null when index is not below the count.
uint8_t* MatMRecord(int index);
// The block as MatMSave writes it, and its size.
const uint8_t* MatMBlock(void);
size_t MatMBlockSize(void);

int MatMCurrent(void);
void MatMSetCurrent(int index);   // clamped to 0..count-1
void MatMNext(void);              // wraps to 0
void MatMPrevious(void);          // wraps to count-1

// Static copies, "" for an index out of range.
const char* MatMGetName(int index);
const char* MatMGetTexture(int index);   // at most 12 characters
int MatMGetPalette(int index);

// Write the record and mirror into render entry index.
void MatMSetRed(int index, int32_t v);     // clamped to 0..16383
void MatMSetGreen(int index, int32_t v);
void MatMSetBlue(int index, int32_t v);
void MatMSetSI(int index, int32_t v);      // the record keeps the low 16 bits
void MatMSetAmbient(int index, int32_t v);
void MatMSetDiffuse(int index, int32_t v);
void MatMSetSpecular(int index, int32_t v);
void MatMSetAlpha(int index, int32_t v);
void MatMSetPalette(int index, int32_t v); // low byte
// 1 when the text differed (ignoring a-z case), after which the list is reloaded; 0 otherwise.
// Names are cut to 15 characters, texture names to 12.
int MatMSetName(int index, const char* text);
int MatMSetTexture(int index, const char* text);
// Empties the texture name and takes the texture off the render entry.
void MatMClearTexture(int index);

// Raised by every change of names, textures or the set of materials.
int MatMTexturesDirty(void);
void MatMSetTexturesDirty(void);
void MatMClearTexturesDirty(void);
