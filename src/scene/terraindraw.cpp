// The terrain in the 3D frame: each tile a mesh of its samples (two triangles a quad, split
// along the diagonal the ground query interpolates on, so the ground and its picture agree),
// textured across the tile with the inset coordinates, lit by normals from the heights; then
// the water quads. Tiles out of view are skipped by their boxes; a tile that covers few pixels
// is drawn over every second (fourth, ...) sample.
#include "scene/terraindraw.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "materials/intmat.h"
#include "render/draw3d.h"
#include "world/terrain.h"

constexpr int CELL_EDGE_SHIFT = 14;   // cell edge = 16384 << exponent, one tile
constexpr int UNIT = 16384;           // 1.0 in 2.14

static TerrainDrawStats stats;
static std::vector<float> normals;   // per point of the tile being drawn: X, Y, Z

const TerrainDrawStats* TerrainDrawGetStats(void) { return &stats; }

static const int16_t kIdentity[9] = {UNIT, 0, 0, 0, UNIT, 0, 0, 0, UNIT};

// The texture coordinate of sample k (0 to samples per tile) along a tile's edge: the inset
// table's, the far edge at 1 - inset.
static float TexAt(uint32_t k, uint32_t perTile, float inset)
{
    float t, pulled;
    if (k < perTile && TerrainTexCoord(k, &t, &pulled)) return pulled;
    return 1.0f - inset;
}

// The render-table material of terrain table entry i; the Dummy when there is none.
static int RenderMaterial(int entry)
{
    int m = entry >= 0 ? TerrainMaterial(entry) : -1;
    return m >= 0 ? m : 0;
}

// An up-facing unit normal (2.14) of the plane with these height slopes.
static void SlopeNormal(double dx, double dz, int16_t out[3])
{
    double len = std::sqrt(dx * dx + 1 + dz * dz);
    out[0] = (int16_t)std::lround(-dx / len * UNIT);
    out[1] = (int16_t)std::lround(1 / len * UNIT);
    out[2] = (int16_t)std::lround(-dz / len * UNIT);
}

// The quads along a tile's edge for this frame: all its samples' (at most TERRAIN_MAX_QUADS),
// or fewer when its box covers few pixels. The box's corners are in world units.
static uint32_t QuadsFor(const int64_t lo[3], const int64_t hi[3], uint32_t perTile, int full)
{
    uint32_t most = perTile < (uint32_t)TERRAIN_MAX_QUADS ? perTile : (uint32_t)TERRAIN_MAX_QUADS;
    if (full) return most;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    for (int c = 0; c < 8; c++) {
        const int32_t world[3] = {(int32_t)(c & 1 ? hi[0] : lo[0]), (int32_t)(c & 2 ? hi[1] : lo[1]),
                                  (int32_t)(c & 4 ? hi[2] : lo[2])};
        int32_t cam[3];
        Draw3DWorldToCamera(world, cam);
        const float p[3] = {(float)cam[0], (float)cam[1], (float)cam[2]};
        int sx, sy;
        // A corner behind the eye: the tile reaches close, so it gets every sample.
        if (Draw3DCameraToScreen(p, &sx, &sy)) return most;
        if (c == 0 || sx < x0) x0 = sx;
        if (c == 0 || sx > x1) x1 = sx;
        if (c == 0 || sy < y0) y0 = sy;
        if (c == 0 || sy > y1) y1 = sy;
    }
    // A tile seen at a slant is narrow up the screen: its quads may be as long as wide there.
    int extent = ((x1 - x0) + (y1 - y0)) / 2;
    uint32_t quads = 1;
    while (quads < most && (int64_t)quads * TERRAIN_LOD_PIXELS < extent) quads <<= 1;
    return quads;
}

static void Triangle(int a, int b, int c, int material, const float uv[][2], const int16_t normal[3], int smooth)
{
    D3Triangle t{};
    const int p[3] = {a, b, c};
    t.material = material;
    memcpy(t.normal, normal, sizeof t.normal);
    if (IntMatSprite(material)) t.flags |= D3TR_TEXTURED;
    if (smooth) t.flags |= D3TR_SMOOTH;
    for (int k = 0; k < 3; k++) {
        t.point[k] = p[k];
        t.u[k] = uv[p[k]][0];
        t.v[k] = uv[p[k]][1];
        if (smooth)
            for (int a3 = 0; a3 < 3; a3++) t.vnormal[k][a3] = normals[3 * (size_t)p[k] + a3];
    }
    Draw3DTriangle(&t);
    stats.triangles++;
}

// One tile's mesh, its origin (world X, Z of its first sample) at camPos in camera space.
static void DrawTile(const TerrainInfo& in, uint32_t tc, uint32_t tr, uint32_t quads, double spacing,
                     const int32_t camPos[3], const int16_t turn[9], int32_t radius)
{
    uint32_t perTile = 1u << in.shift, step = perTile / quads, n = quads + 1;
    uint32_t c0 = tc << in.shift, r0 = tr << in.shift;
    Draw3DBeginObject(camPos, turn, UNIT, radius, (int)(n * n));
    static std::vector<float> heights;
    static std::vector<float> uv;   // U, V per point
    static std::vector<float> along;   // the texture coordinate of each column (and row)
    heights.resize((size_t)n * n);
    uv.resize(2 * (size_t)n * n);
    normals.resize(3 * (size_t)n * n);
    along.resize(n);
    for (uint32_t i = 0; i < n; i++) along[i] = TexAt(i * step, perTile, in.inset);
    for (uint32_t j = 0; j < n; j++)
        for (uint32_t i = 0; i < n; i++) {
            float h = 0;
            TerrainSampleHeight(c0 + i * step, r0 + j * step, &h);
            size_t at = (size_t)j * n + i;
            heights[at] = h;
            uv[2 * at] = along[i];
            uv[2 * at + 1] = along[j];
            Draw3DSetPoint((int)at, (float)(i * step * spacing), h, (float)(j * step * spacing));
        }
    // Vertex normals from the slopes between the neighbours the mesh has (one-sided at its edge).
    double across = step * spacing;
    for (uint32_t j = 0; j < n; j++)
        for (uint32_t i = 0; i < n; i++) {
            uint32_t il = i ? i - 1 : i, ir = i + 1 < n ? i + 1 : i, ju = j ? j - 1 : j, jd = j + 1 < n ? j + 1 : j;
            double dx = (heights[(size_t)j * n + ir] - heights[(size_t)j * n + il]) / ((ir - il) * across);
            double dz = (heights[(size_t)jd * n + i] - heights[(size_t)ju * n + i]) / ((jd - ju) * across);
            double len = std::sqrt(dx * dx + 1 + dz * dz);
            float* v = &normals[3 * ((size_t)j * n + i)];
            v[0] = (float)(-dx / len);
            v[1] = (float)(1 / len);
            v[2] = (float)(-dz / len);
        }
    int material = RenderMaterial(TerrainTileMaterial(tc, tr));
    uint32_t flags = D3TR_SMOOTH | (IntMatSprite(material) ? D3TR_TEXTURED : 0);
    if (!IntMatDrawHook(material)) {
        // The same triangles in one go: each point is lit once, not once for each of its six.
        static std::vector<int32_t> corners;
        corners.clear();
        for (uint32_t j = 0; j < quads; j++)
            for (uint32_t i = 0; i < quads; i++) {
                int32_t a = (int32_t)(j * n + i), b = a + 1, d = a + (int32_t)n, c = d + 1;
                for (int32_t k : {a, b, c, a, c, d}) corners.push_back(k);
            }
        Draw3DMesh(material, flags, (int)(2 * quads * quads), corners.data(), uv.data(), normals.data());
        stats.triangles += (int)(2 * quads * quads);
        stats.tiles++;
        return;
    }
    // A hook sees each triangle with its face normal.
    const float(*uvs)[2] = (const float(*)[2])uv.data();
    for (uint32_t j = 0; j < quads; j++)
        for (uint32_t i = 0; i < quads; i++) {
            int a = (int)(j * n + i), b = a + 1, d = a + (int)n, c = d + 1;
            int16_t normal[3];
            // (i, j), (i + 1, j), (i + 1, j + 1): the half the ground query takes when x >= z.
            SlopeNormal((heights[b] - heights[a]) / across, (heights[c] - heights[b]) / across, normal);
            Triangle(a, b, c, material, uvs, normal, 1);
            SlopeNormal((heights[c] - heights[d]) / across, (heights[d] - heights[a]) / across, normal);
            Triangle(a, c, d, material, uvs, normal, 1);
        }
    stats.tiles++;
}

// The water over one tile: a flat quad at the water level, in the tile's water material.
static void DrawWater(int entry, float level, float edge, float inset, const int32_t camPos[3], const int16_t turn[9],
                      int32_t radius)
{
    Draw3DBeginObject(camPos, turn, UNIT, radius, 4);
    Draw3DSetPoint(0, 0, level, 0);
    Draw3DSetPoint(1, edge, level, 0);
    Draw3DSetPoint(2, edge, level, edge);
    Draw3DSetPoint(3, 0, level, edge);
    const float uv[4][2] = {{inset, inset}, {1 - inset, inset}, {1 - inset, 1 - inset}, {inset, 1 - inset}};
    const int16_t up[3] = {0, UNIT, 0};
    int material = RenderMaterial(entry);
    Triangle(0, 1, 2, material, uv, up, 0);
    Triangle(0, 2, 3, material, uv, up, 0);
    stats.waterTiles++;
}

void TerrainDraw(int full)
{
    memset(&stats, 0, sizeof stats);
    TerrainInfo in;
    if (!Draw3DFrameOpen() || !TerrainGetInfo(&in) || !in.tilesAcross || !in.tilesDeep) return;
    uint32_t perTile = 1u << in.shift;
    if (in.cellExponent + CELL_EDGE_SHIFT > 30) return;   // a tile wider than the world's coordinates
    int64_t edge = (int64_t)1 << (in.cellExponent + CELL_EDGE_SHIFT);
    double spacing = (double)edge / perTile;
    int16_t turn[9];
    Draw3DRelativeOrientation(kIdentity, turn);
    int32_t radius = (int32_t)edge;
    struct Wet {
        int entry;
        int32_t origin[3];
    };
    static std::vector<Wet> wet;
    wet.clear();
    for (uint32_t tr = 0; tr < in.tilesDeep; tr++) {
        int64_t z0 = tr * edge;
        if (z0 + edge > INT32_MAX) break;
        for (uint32_t tc = 0; tc < in.tilesAcross; tc++) {
            int64_t x0 = tc * edge;
            if (x0 + edge > INT32_MAX) break;
            float low, high;
            TerrainTileRange(tc, tr, &low, &high);
            int32_t origin[3] = {(int32_t)x0, 0, (int32_t)z0}, camPos[3];
            Draw3DWorldToCamera(origin, camPos);
            // The tile's box, the water included when it lies over the ground.
            int waterEntry = TerrainWaterMaterial(tc, tr);
            float top = waterEntry >= 0 && (float)in.waterLevel > high ? (float)in.waterLevel : high;
            const int32_t box[6] = {0, (int32_t)std::floor(low), 0, (int32_t)edge, (int32_t)std::ceil(top),
                                    (int32_t)edge};
            if (!Draw3DBoxVisible(camPos, turn, box)) continue;
            const int64_t lo[3] = {x0, box[1], z0}, hi[3] = {x0 + edge, box[4], z0 + edge};
            DrawTile(in, tc, tr, QuadsFor(lo, hi, perTile, full), spacing, camPos, turn, radius);
            if (waterEntry >= 0) wet.push_back({waterEntry, {origin[0], origin[1], origin[2]}});
        }
    }
    // Water after every tile, so a translucent water material shows the ground under it.
    for (const Wet& w : wet) {
        int32_t camPos[3];
        Draw3DWorldToCamera(w.origin, camPos);
        DrawWater(w.entry, (float)in.waterLevel, (float)edge, in.inset, camPos, turn, radius);
    }
}
