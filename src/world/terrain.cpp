// Placeholder until the terrain lands: no world has a terrain, the ground query misses.
#include "world/terrain.h"

int TerrainMakeMaterials(const uint8_t*, uint32_t) { return 0; }
void TerrainInstall(const uint8_t*, uint32_t, int32_t) {}
void TerrainRemove(void) {}
int TerrainGroundHeight(int32_t, int32_t, int32_t*) { return 0; }
int TerrainDisplayInstalled(void) { return 0; }
