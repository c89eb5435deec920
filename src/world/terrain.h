// The terrain of a world: installed from the world image's first terrain packet on every
// load, it gives the terrain materials and answers how high the ground lies at a point.
// One terrain at a time; a world without a terrain packet has none, and the ground query
// then misses.
//
// The terrain lies on the X-Z plane from the world origin: sample (column c, row r) stands at
// X = c x spacing, Z = r x spacing, with spacing = cell edge / samples per tile. Columns run
// across (X), rows deep (Z). A damaged packet installs no terrain and makes no materials; the
// log says why.
#pragma once
#include <cstdint>

enum {
    TERRAIN_PACKET_TYPE = 0x1009,

    // Terrain packet layout (offsets from the packet start).
    TP_LENGTH = 4,           // u32, the whole packet
    TP_TILES = 8,            // u32, offset of the tile block, 0 = none
    TP_SAMPLES = 12,         // u32, offset of the height samples, 0 = no terrain
    TP_SHIFT = 16,           // u32, log2 of the samples per tile
    TP_ACROSS = 20,          // u32, samples across (X)
    TP_DEEP = 24,            // u32, samples deep (Z)
    TP_LOWEST = 28,          // i32, the height of a sample 0
    TP_HIGHEST = 32,         // i32, the top of the sample range
    TP_TILES_ACROSS = 36,    // u32
    TP_TILES_DEEP = 40,      // u32
    TP_NAME_COUNT = 44,      // u32
    TP_TEXTURE_SIZE = 48,    // u32, n: texture coordinates run from 1/n to 1 - 1/n
    TP_NAMES = 52,           // 13 bytes each
    TP_CEILING = 3380,       // i32, heights above it are cut to it
    TP_WATER = 3384,         // i32
    TP_HEADER_SIZE = 3388,   // the fixed fields, up to the end of the water level
    TP_SAMPLES_AT = 3484,    // where packets keep their samples
    TP_NAME_SIZE = 13,       // terminator included
    TP_MAX_NAMES = 256,
    TP_TILE_BYTES = 2,       // per tile

    TERRAIN_MAX_MATERIALS = 256,   // names first, then the water materials
    TERRAIN_WATER_MATERIALS = 14,
    TERRAIN_MATERIAL_FLAGS = 112,  // the render entry's texture load flags
    TERRAIN_TEXTURE_SCALE = 16384, // 1.0 on both axes: a texture spans one tile
    TERRAIN_MAX_SHIFT = 12,        // 4096 samples per tile edge is far beyond any real terrain

    // The game's collision shapes number their points in 16 bits.
    TERRAIN_COLLISION_MAX_POINTS = 65535,
    // Refusals of the collision build.
    TERRAIN_COLLISION_CREATE = 1,  // a tile's shape cannot be made: its points lie past 32-bit world units
    TERRAIN_COLLISION_POINTS = 2,  // a tile has more points than a collision shape holds
};

// Makes the terrain materials of the image's first terrain packet; the number made (0 when
// the image holds no terrain packet).
int TerrainMakeMaterials(const uint8_t* image, uint32_t used);
// Replaces the installed terrain by the one of the image's first terrain packet (none when
// the image holds no terrain packet), its water level raised by the offset.
void TerrainInstall(const uint8_t* image, uint32_t used, int32_t waterOffset);
void TerrainRemove(void);
// 1 when two world images give the same terrain: their first terrain packets are alike byte
// for byte (or neither has one) under the same cell exponent. An undo that changes neither
// need not install the terrain again.
int TerrainSame(const uint8_t* a, uint32_t usedA, const uint8_t* b, uint32_t usedB);
// 1 with the height of the terrain surface under (x, z); 0 when the ray straight down misses.
int TerrainGroundHeight(int32_t x, int32_t z, int32_t* height);
// Whether anything of the runtime world display is installed (the world manager installs
// only while nothing is).
int TerrainDisplayInstalled(void);

// ---- what the last TerrainMakeMaterials made
int TerrainMaterialCount(void);
// The render-table index of terrain material i (the names' materials, then the 14 water
// materials); -1 for an index out of range.
int TerrainMaterial(int i);

// ---- the installed terrain, read by the display and by tests
struct TerrainInfo {
    uint32_t cellExponent;
    uint32_t shift;             // samples per tile = 1 << shift
    uint32_t across, deep;      // samples
    uint32_t tilesAcross, tilesDeep;   // 0 when the packet has no tile block
    int32_t waterLevel;
    int32_t greatestDepth;      // how far the lowest sample under water lies below it; 0 when none
    float inset;                // f = 1 / n
};
// 1 and the figures when a terrain is installed, else 0.
int TerrainGetInfo(TerrainInfo* info);
// 1 and the height of a sample; 0 when no terrain is installed or the sample is outside it.
int TerrainSampleHeight(uint32_t column, uint32_t row, float* height);
// 1 and the lowest and highest heights of a tile's samples; 0 when there is no such tile.
int TerrainTileRange(uint32_t column, uint32_t row, float* low, float* high);
// 1 and the two bytes of a tile; 0 when there is no such tile.
int TerrainTileBytes(uint32_t column, uint32_t row, uint8_t out[TP_TILE_BYTES]);
// The entry of the terrain material table (TerrainMaterial's index) a tile is drawn with: its
// two bytes read as one little-endian number index the table (the names' materials first, then
// the water materials); a number past the table gives the first entry. -1 when there is no such
// tile or no terrain material was made.
int TerrainTileMaterial(uint32_t column, uint32_t row);
// The entry of the water material that covers a tile whose lowest sample lies below the water
// level: of the fourteen, the one that the tile's depth (water level - its lowest height) gives
// against the greatest depth, shallow 0 to deepest 13. -1 for a tile above the water or none.
int TerrainWaterMaterial(uint32_t column, uint32_t row);
// ---- collision data, as the game builds it when it installs a runtime world
// Builds the collision shapes of the image's first terrain packet, replacing the last built:
// one shape per tile, holding the tile's (samples per tile + 1)^2 sample points in world units,
// row by row from its first sample. No terrain, a damaged packet (which installs nothing) or
// no tile block gives no shapes. 0, or TERRAIN_COLLISION_CREATE / TERRAIN_COLLISION_POINTS:
// the game would stop there, so nothing is kept and TerrainCollisionError says which tile.
int TerrainBuildCollision(const uint8_t* image, uint32_t used);
void TerrainFreeCollision(void);
// The text of a refusal of the build, as the game words it.
const char* TerrainCollisionText(int code);
// One line on the last refusal, naming the tile; "" after a success.
const char* TerrainCollisionError(void);
struct TerrainCollisionShape {
    uint32_t column, row;      // the tile
    uint32_t count;            // points
    const int32_t* points;     // X, Y, Z of each point
};
uint32_t TerrainCollisionCount(void);
// 1 and shape i (tile order: rows of tiles, then columns), else 0.
int TerrainGetCollision(uint32_t i, TerrainCollisionShape* out);

// 1 and the texture coordinates of position i of a tile (0 <= i < 1 << shift): across the
// tile's edge, and pulled in by the inset; 0 when out of range.
int TerrainTexCoord(uint32_t i, float* t, float* inset);
