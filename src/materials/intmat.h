// Render materials (IntMat): the 128-byte form of a material that the 3D pipeline and the
// rasterisers read. The table is built from the material list (MatSetData) and extended by
// name (IntMatFindOrAdd); index i of the table is index i of the list after a reload.
//
// Each record is a little-endian byte image (offsets IM_*), read and written through the
// accessors here, so index arithmetic over the table stays 128 bytes a record. The draw hook
// is a 32-bit word in the record (non-zero when set); the routine itself is kept beside the
// table, one per entry.
//
// Index rule of every accessor: IM_NONE (32767) names a static record outside the table
// (setters write into it; the getters of S.I., alpha and palette index give 0 for it);
// 0 <= index < count names that entry; any other index names entry 0.
//
// Creating the table registers the MAT block upgrade (matm.h) as the load hook of the "MAT"
// resource type.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/res.h"

enum {
    IM_SIZE = 128,
    IM_NONE = 32767,
    IM_MAX_HANDLERS = 16,
    IM_NAME_CHARS = 16,
    IM_EXTRA_LOAD_FLAGS = 0x252,   // ORed into the load flags of the second and third sprites

    // Record layout.
    IM_NAME = 0,          // 16 bytes, upper case, space-padded, no terminator
    IM_DRAW_HOOK = 16,    // u32, non-zero when a draw hook is set
    IM_AMBIENT = 24,      // i32, 2.14
    IM_DIFFUSE = 28,
    IM_SPECULAR = 32,
    IM_SI = 36,
    IM_UNLIT = 40,        // i32, 1 when S.I., ambient and diffuse are all zero
    IM_ALPHA = 44,        // i32, 0..16383
    IM_PALETTE = 52,      // i32, 0..255
    IM_RED = 56,          // i32, 0..255
    IM_GREEN = 60,
    IM_BLUE = 64,
    IM_LOAD_FLAGS = 72,   // i32, handed to the back end with each texture load
    IM_TPAGE = 76,        // u32, texture page word
    IM_SPRITE = 80,       // u16, resource id of the texture sprite
    IM_HANDLE = 82,       // u16, loaded copy of the texture sprite
    IM_SPRITE2 = 84,      // u16
    IM_SPRITE3 = 86,      // u16
    IM_CLEARED_BYTES = 96,   // the bytes after the name that the Dummy (entry 0) has zeroed
};

// Replaces the standard polygon path for a material's triangles; receives the triangle
// description of the renderer.
typedef int (*IntMatDrawFn)(void* triangle);
// Run after MatSetData, after IntMatFindOrAdd adds an entry, and after textures are loaded.
typedef void (*IntMatChangeFn)(void);
// Unloads the textures the renderer has loaded, when it has loaded any.
typedef void (*IntMatUnloadFn)(void);

// ============================================================================================
// Table
// ============================================================================================

// Creates the table (a previous one is destroyed first): count 0, no change handlers,
// MAT resources converted on load, and the removal registered with the exit list.
// 0 on success, 1 when the table cannot be allocated.
int IntMatCreate(int capacity);
// Releases every entry and frees the table. Safe when there is none.
void IntMatDestroy(void);
int IntMatCount(void);
int IntMatCapacity(void);
// Frees every loaded texture copy, has the renderer unload its textures, and empties the table.
void IntMatReleaseAll(void);
// Set by the renderer: what IntMatReleaseAll calls to unload loaded textures.
void IntMatSetUnloadFn(IntMatUnloadFn fn);

// Appends a render material for every record of a version-4 material list block (palette
// colours unless the block's true-colour flag is set, textures loaded), zeroes entry 0 after
// its name and runs the change handlers. Records that do not fit the table are left out. A
// block of another version, or shorter than its count, changes nothing and gives 1.
int MatSetData(const uint8_t* block, size_t size);

// The entry whose name equals name (upper-cased, cut at 16, space-filled); IM_NONE when none.
int IntMatFind(const char* name);
// IntMatFind on a material record's name; when missing, appends the record converted without
// palette and without loading its texture, and runs the change handlers. IM_NONE when the
// table is full.
int IntMatFindOrAdd(const uint8_t* record);

// Textures that could not be had (the sprite's file missing, unreadable or refused) since the
// last report: a load of the materials may try one file several times, and the user is told
// once, in one report for all of them. Noting a sprite takes the reason from the failed load
// that came just before (the resource's last error, the sprite loader's refusal); material is
// the name of a material that uses it (null: the first entry that does).
void IntMatNoteTextureFailure(ResId sprite, const char* material);
// The report of the textures noted since the last call ("Texture WOOD.SPR (material Wood)
// cannot be loaded: ..."), and 1; 0 and "" when there were none. A texture reported once is
// not reported again (the table is rebuilt after every change of the list) until
// IntMatForgetReportedTextures: a load of materials, or a texture named anew.
int IntMatTakeTextureReport(char* out, size_t size);
void IntMatForgetReportedTextures(void);

// Appended unless already there; ignored when IM_MAX_HANDLERS are registered.
void IntMatAddChangeHandler(IntMatChangeFn fn);
void IntMatRunChangeHandlers(void);
// Run by IntMatReleaseAll before it empties a table that holds entries, while they still name
// the materials that indices into the table were given for (a material renamed since has its
// new name there). The same rules as the change handlers.
void IntMatAddReleaseHandler(IntMatChangeFn fn);

// ============================================================================================
// Entries
// ============================================================================================

// The record itself: null for an index above the count (IM_NONE included) or below 0,
// entry 0 for an index equal to the count.
uint8_t* IntMatPtr(int index);

int32_t IntMatAmbient(int index);
int32_t IntMatDiffuse(int index);
int32_t IntMatSpecular(int index);
int32_t IntMatSI(int index);
int32_t IntMatUnlit(int index);
int32_t IntMatAlpha(int index);
int32_t IntMatPalette(int index);
int32_t IntMatRed(int index);
int32_t IntMatGreen(int index);
int32_t IntMatBlue(int index);
int32_t IntMatLoadFlags(int index);
uint32_t IntMatTPage(int index);
ResId IntMatSprite(int index);
ResId IntMatHandle(int index);
ResId IntMatSprite2(int index);
ResId IntMatSprite3(int index);
IntMatDrawFn IntMatDrawHook(int index);

// Setters of the lighting coefficients keep the unlit flag in step.
void IntMatSetAmbient(int index, int32_t v);
void IntMatSetDiffuse(int index, int32_t v);
void IntMatSetSpecular(int index, int32_t v);
void IntMatSetSI(int index, int32_t v);
void IntMatSetAlpha(int index, int32_t v);
void IntMatSetPalette(int index, int32_t v);
// Components in the list's 14-bit range; stored shifted right by 6.
void IntMatSetRGB(int index, int32_t red, int32_t green, int32_t blue);
void IntMatSetDrawHook(int index, IntMatDrawFn fn);
// The Dummy (entry 0, where unresolved materials fall back too) is the all-zero material, a
// black silhouette, unless a colour is given here (components 0 to 255): it is then lit in that
// colour like any plain material, now and at every rebuild of the table, so a shape's form shows
// as it turns. 0, 0, 0 gives the black back. IntMatCreate forgets the colour.
void IntMatSetDummyColour(int red, int green, int blue);
void IntMatSetLoadFlags(int index, int32_t flags);
void IntMatSetSprite(int index, ResId sprite);
// Sprite id 0 and the loaded copy freed: the entry draws untextured at once.
void IntMatClearTexture(int index);
void IntMatSetPlacement(int index, uint32_t tpage, ResId sprite2, ResId sprite3);
