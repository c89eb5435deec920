// The installed terrain drawn in the 3D frame, as the game shows it: every tile a mesh over
// its samples in its material, then water at the water level over the tiles that reach below
// it. Called inside an open Draw3D frame before the worldshapes, so they stand on the ground
// and the depth test hides whatever the ground covers.
#pragma once
#include <cstdint>

enum {
    // A tile far away is drawn over fewer of its samples: at least this many pixels across a
    // quad of the mesh, so the cost of a frame follows the screen and not the terrain's size.
    TERRAIN_LOD_PIXELS = 12,
    // The most quads along a tile's edge a frame draws (a tile of more samples is thinned).
    TERRAIN_MAX_QUADS = 64,
};

struct TerrainDrawStats {
    int tiles;        // tiles handed to Draw3D (in view)
    int waterTiles;   // water quads
    int triangles;    // triangles asked for, terrain and water
};

// Draws the terrain in the open frame; nothing without one or without a terrain. full = 1
// draws every tile over all its samples (up to TERRAIN_MAX_QUADS), as a picture to compare.
void TerrainDraw(int full = 0);
const TerrainDrawStats* TerrainDrawGetStats(void);
