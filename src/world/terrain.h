// The terrain of a world: installed from the world image's first terrain packet on every
// load, it gives the terrain materials and answers how high the ground lies at a point.
// One terrain at a time; a world without a terrain packet has none, and the ground query
// then misses.
#pragma once
#include <cstdint>

// Makes the terrain materials of the image's first terrain packet; the number made (0 when
// the image holds no terrain packet).
int TerrainMakeMaterials(const uint8_t* image, uint32_t used);
// Replaces the installed terrain by the one of the image's first terrain packet (none when
// the image holds no terrain packet), its water level raised by the offset.
void TerrainInstall(const uint8_t* image, uint32_t used, int32_t waterOffset);
void TerrainRemove(void);
// 1 with the height of the terrain surface under (x, z); 0 when the ray straight down misses.
int TerrainGroundHeight(int32_t x, int32_t z, int32_t* height);
// Whether anything of the runtime world display is installed (the world manager installs
// only while nothing is).
int TerrainDisplayInstalled(void);
