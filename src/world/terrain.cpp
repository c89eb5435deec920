// The terrain: materials, heights and the ground query, from the first terrain packet of a
// world image. The packet comes from a user's file, so every offset and count in it is checked
// against the packet and the image before anything is read; a packet that fails installs
// nothing and makes no materials.
#include "world/terrain.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "base/bytes.h"
#include "base/log.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "world/rtdisp.h"

enum {
    // World image header.
    WORLD_HEADER_SIZE = 168,
    WH_CELL_EXPONENT = 4,
    WORLD_MAX_EXPONENT = 32,
    CELL_EDGE_SHIFT = 14,        // cell edge = 16384 << exponent

    // The packet types of fixed size run from here up to the terrain packet's.
    PACKET_TYPE_FIRST = 0x1002,
    PACKET_LENGTH_HEAD = 8,      // type and the terrain packet's length

    SAMPLE_SCALE = 64,           // a sample h stands for (h * 64) / 16384 of the height range
    SAMPLE_SHIFT = 14,
};

// Sizes of the packets of types 0x1002 to 0x1008; the terrain packet carries its own.
static const uint32_t packetSizes[] = {68, 120, 10, 54, 64, 56, 88};

static struct {
    int installed;
    TerrainInfo info;
    std::vector<float> heights;    // across x deep, row by row
    std::vector<float> tileLow;    // tilesAcross x tilesDeep, row by row
    std::vector<float> tileHigh;
    std::vector<float> texT;       // 1 << shift
    std::vector<float> texInset;
    std::vector<uint8_t> tileBytes;   // TP_TILE_BYTES per tile, row by row
} ter;

static struct {
    int count;
    int index[TERRAIN_MAX_MATERIALS];
} mats;

// ============================================================================================
// Finding and checking the packet
// ============================================================================================

// The fields of a terrain packet that passed the checks.
struct Packet {
    const uint8_t* p;
    uint32_t length;
    uint32_t tiles, samples, shift, across, deep;
    int32_t lowest, highest;
    uint32_t tilesAcross, tilesDeep, names, textureSize;
    int32_t ceiling, water;
};

// The offset of the first terrain packet, or 0 when the walk finds none. A run that breaks
// off (an unknown type, a packet past the used size) ends the walk: nothing after it can be
// trusted.
static uint32_t FindPacket(const uint8_t* image, uint32_t used)
{
    if (!image || used <= WORLD_HEADER_SIZE) return 0;
    uint32_t at = WORLD_HEADER_SIZE;
    while (at < used) {
        if (used - at < 2) {
            LogPrintf(LOG_WARN, "TERRAIN: world image ends inside a packet at %u", at);
            return 0;
        }
        uint16_t type = GetU16(image, at);
        if (type == TERRAIN_PACKET_TYPE) return at;
        if (type < PACKET_TYPE_FIRST || type >= TERRAIN_PACKET_TYPE) {
            LogPrintf(LOG_WARN, "TERRAIN: unknown packet type 0x%04X at %u ends the search", type, at);
            return 0;
        }
        uint32_t size = packetSizes[type - PACKET_TYPE_FIRST];
        if (size > used - at) {
            LogPrintf(LOG_WARN, "TERRAIN: packet at %u runs past the world image", at);
            return 0;
        }
        at += size;
    }
    return 0;
}

// Reads and checks the image's first terrain packet: 1 when it can be installed whole.
static int GetPacket(const uint8_t* image, uint32_t used, Packet* k)
{
    uint32_t at = FindPacket(image, used);
    if (!at) return 0;
    if (used - at < PACKET_LENGTH_HEAD) {
        LogPrintf(LOG_WARN, "TERRAIN: terrain packet cut short by the end of the world image");
        return 0;
    }
    const uint8_t* p = image + at;
    k->p = p;
    k->length = GetU32(p, TP_LENGTH);
    if (k->length < TP_HEADER_SIZE || k->length > used - at) {
        LogPrintf(LOG_WARN, "TERRAIN: terrain packet of %u bytes does not fit %u..%u of the world image", k->length,
                  at, used);
        return 0;
    }
    k->tiles = GetU32(p, TP_TILES);
    k->samples = GetU32(p, TP_SAMPLES);
    k->shift = GetU32(p, TP_SHIFT);
    k->across = GetU32(p, TP_ACROSS);
    k->deep = GetU32(p, TP_DEEP);
    k->lowest = GetI32(p, TP_LOWEST);
    k->highest = GetI32(p, TP_HIGHEST);
    k->tilesAcross = GetU32(p, TP_TILES_ACROSS);
    k->tilesDeep = GetU32(p, TP_TILES_DEEP);
    k->names = GetU32(p, TP_NAME_COUNT);
    k->textureSize = GetU32(p, TP_TEXTURE_SIZE);
    k->ceiling = GetI32(p, TP_CEILING);
    k->water = GetI32(p, TP_WATER);

    if (k->samples == 0) {
        LogPrintf(LOG_INFO, "TERRAIN: terrain packet without height samples");
        return 0;
    }
    if (k->names > TP_MAX_NAMES) {
        LogPrintf(LOG_WARN, "TERRAIN: %u texture names, at most %d", k->names, TP_MAX_NAMES);
        return 0;
    }
    if (k->shift > TERRAIN_MAX_SHIFT) {
        LogPrintf(LOG_WARN, "TERRAIN: 2 to the power %u samples per tile is out of range", k->shift);
        return 0;
    }
    // One quad at least, or there is no surface to stand on.
    if (k->across < 2 || k->deep < 2) {
        LogPrintf(LOG_WARN, "TERRAIN: %u x %u samples make no surface", k->across, k->deep);
        return 0;
    }
    // 64 bits: a damaged count can wrap a 32-bit product back inside the packet.
    if (!InBlock(k->samples, (uint64_t)k->across * k->deep, k->length)) {
        LogPrintf(LOG_WARN, "TERRAIN: %u x %u samples at %u lie outside the %u-byte packet", k->across, k->deep,
                  k->samples, k->length);
        return 0;
    }
    if (k->tiles == 0 || k->tilesAcross == 0 || k->tilesDeep == 0) {
        // No tile block, or one of no tiles: the heights stand alone.
        k->tilesAcross = k->tilesDeep = 0;
    } else {
        if (!InBlock(k->tiles, (uint64_t)k->tilesAcross * k->tilesDeep * TP_TILE_BYTES, k->length)) {
            LogPrintf(LOG_WARN, "TERRAIN: %u x %u tiles at %u lie outside the %u-byte packet", k->tilesAcross,
                      k->tilesDeep, k->tiles, k->length);
            return 0;
        }
        // Each tile reads (1 << shift) + 1 samples along each side.
        if (((uint64_t)k->tilesAcross << k->shift) >= k->across || ((uint64_t)k->tilesDeep << k->shift) >= k->deep) {
            LogPrintf(LOG_WARN, "TERRAIN: %u x %u tiles of %u samples need more than %u x %u samples",
                      k->tilesAcross, k->tilesDeep, 1u << k->shift, k->across, k->deep);
            return 0;
        }
    }
    return 1;
}

// ============================================================================================
// Materials
// ============================================================================================

// A texture name from the packet, or "" when it is not one: the name must end within its
// 13 bytes and hold only printable characters and no path parts, since it is looked up as a
// file name.
static void TextureName(const uint8_t* field, char out[TP_NAME_SIZE])
{
    out[0] = 0;
    size_t n = strnlen((const char*)field, TP_NAME_SIZE);
    if (n >= TP_NAME_SIZE) {
        LogPrintf(LOG_WARN, "TERRAIN: texture name without an end, left untextured");
        return;
    }
    for (size_t i = 0; i < n; i++) {
        uint8_t c = field[i];
        if (c < 0x20 || c >= 0x7F || c == '/' || c == '\\' || c == ':') {
            LogPrintf(LOG_WARN, "TERRAIN: texture name with a character 0x%02X, left untextured", c);
            return;
        }
    }
    memcpy(out, field, n + 1);
}

// A render entry for a terrain material. A name that the material list holds is taken as it
// is, so a user's material of that name wins over the packet's texture. An entry an earlier
// terrain made (the entries behind the list's) takes this packet's texture: another world's
// terrain names its own textures under the same names.
static int AddMaterial(const char* name, const char* texture)
{
    uint8_t rec[MAT_RECORD_SIZE] = {};
    snprintf((char*)rec + MR_NAME, MAT_NAME_SIZE, "%s", name);
    snprintf((char*)rec + MR_TEXTURE, MAT_TEXTURE_SIZE, "%s", texture);
    // Lit like any new material, so the texture is seen.
    PutI32(rec, MR_AMBIENT, 16384);
    PutI32(rec, MR_DIFFUSE, 16384);
    int had = IntMatFind(name);
    int index = IntMatFindOrAdd(rec);
    if (index == IM_NONE) {
        LogPrintf(LOG_WARN, "TERRAIN: no room in the render table for %s", name);
        return -1;
    }
    if (had == IM_NONE) {
        IntMatSetLoadFlags(index, TERRAIN_MATERIAL_FLAGS);
    } else if (had >= MatMCount()) {
        ResId sprite = texture[0] ? ResFindOrAdd(texture) : 0;
        if (IntMatSprite(had) != sprite) {
            IntMatClearTexture(had);
            IntMatSetSprite(had, sprite);
        }
    }
    return index;
}

int TerrainMakeMaterials(const uint8_t* image, uint32_t used)
{
    mats.count = 0;
    Packet k;
    if (!GetPacket(image, used, &k)) return 0;
    // The table keeps room for the water materials; names beyond it are left out.
    uint32_t names = k.names;
    if (names > TERRAIN_MAX_MATERIALS - TERRAIN_WATER_MATERIALS) {
        LogPrintf(LOG_WARN, "TERRAIN: %u texture names, materials made for the first %d", names,
                  TERRAIN_MAX_MATERIALS - TERRAIN_WATER_MATERIALS);
        names = TERRAIN_MAX_MATERIALS - TERRAIN_WATER_MATERIALS;
    }
    char name[MAT_NAME_SIZE + 8], texture[TP_NAME_SIZE];
    for (uint32_t i = 0; i < names; i++) {
        snprintf(name, sizeof name, "~HM-mata%05u", i);
        TextureName(k.p + TP_NAMES + (size_t)i * TP_NAME_SIZE, texture);
        int index = AddMaterial(name, texture);
        if (index < 0) return mats.count;
        mats.index[mats.count++] = index;
    }
    for (int i = 0; i < TERRAIN_WATER_MATERIALS; i++) {
        snprintf(name, sizeof name, "~HM-matW%05d", i);
        snprintf(texture, sizeof texture, "C%02d.spr", i);
        int index = AddMaterial(name, texture);
        if (index < 0) return mats.count;
        mats.index[mats.count++] = index;
    }
    return mats.count;
}

int TerrainMaterialCount(void) { return mats.count; }
int TerrainMaterial(int i) { return i >= 0 && i < mats.count ? mats.index[i] : -1; }

// ============================================================================================
// Install
// ============================================================================================

static int32_t Saturate(int64_t v) { return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : (int32_t)v; }

void TerrainRemove(void)
{
    ter.installed = 0;
    memset(&ter.info, 0, sizeof ter.info);
    ter.heights.clear();
    ter.tileLow.clear();
    ter.tileHigh.clear();
    ter.texT.clear();
    ter.texInset.clear();
    ter.tileBytes.clear();
}

// The first terrain packet's bytes: its offset and length (0 and 0 when there is none, or its
// length does not fit the image).
static uint32_t PacketSpan(const uint8_t* image, uint32_t used, uint32_t* length)
{
    *length = 0;
    uint32_t at = FindPacket(image, used);
    if (!at || used - at < PACKET_LENGTH_HEAD) return 0;
    uint32_t n = GetU32(image + at, TP_LENGTH);
    if (n > used - at) return 0;
    *length = n;
    return at;
}

int TerrainSame(const uint8_t* a, uint32_t usedA, const uint8_t* b, uint32_t usedB)
{
    uint32_t lengthA, lengthB;
    uint32_t atA = PacketSpan(a, usedA, &lengthA), atB = PacketSpan(b, usedB, &lengthB);
    if (lengthA != lengthB) return 0;
    if (!lengthA) return 1;
    if (GetU32(a, WH_CELL_EXPONENT) != GetU32(b, WH_CELL_EXPONENT)) return 0;
    return memcmp(a + atA, b + atB, lengthA) == 0;
}

// The height a sample stands for, cut to the ceiling. The range can span the whole 32 bits, so
// the products are formed in 64; the result lies between the lowest and highest heights.
static int64_t SampleHeight(const Packet& k, uint8_t sample)
{
    int64_t range = (int64_t)k.highest - k.lowest;
    int64_t h = k.lowest + (((int64_t)sample * SAMPLE_SCALE * range) >> SAMPLE_SHIFT);
    return h > k.ceiling ? k.ceiling : h;
}

// As the world's own exponent setter: the low byte, at most 32.
static uint32_t CellExponent(const uint8_t* image)
{
    uint32_t e = GetU32(image, WH_CELL_EXPONENT) & 0xFF;
    return e > WORLD_MAX_EXPONENT ? (uint32_t)WORLD_MAX_EXPONENT : e;
}

void TerrainInstall(const uint8_t* image, uint32_t used, int32_t waterOffset)
{
    TerrainRemove();
    Packet k;
    if (!GetPacket(image, used, &k)) return;
    TerrainInfo& in = ter.info;
    in.cellExponent = CellExponent(image);
    in.shift = k.shift;
    in.across = k.across;
    in.deep = k.deep;
    in.tilesAcross = k.tilesAcross;
    in.tilesDeep = k.tilesDeep;
    in.waterLevel = Saturate((int64_t)k.water + waterOffset);

    int64_t depth = 0;
    const uint8_t* samples = k.p + k.samples;
    size_t count = (size_t)k.across * k.deep;
    ter.heights.resize(count);
    for (size_t i = 0; i < count; i++) {
        int64_t h = SampleHeight(k, samples[i]);
        ter.heights[i] = (float)h;
        if (h < in.waterLevel && in.waterLevel - h > depth) depth = in.waterLevel - h;
    }
    in.greatestDepth = Saturate(depth);

    // Texture coordinates across a tile; a texture size of 0 has no inset rather than an
    // infinite one.
    if (k.textureSize == 0) LogPrintf(LOG_WARN, "TERRAIN: texture size 0, taken as no inset");
    in.inset = k.textureSize ? 1.0f / (float)k.textureSize : 0.0f;
    uint32_t perTile = 1u << k.shift;
    ter.texT.resize(perTile);
    ter.texInset.resize(perTile);
    for (uint32_t i = 0; i < perTile; i++) {
        float t = (float)i / (float)perTile;
        ter.texT[i] = t;
        ter.texInset[i] = t * (1.0f - 2.0f * in.inset) + in.inset;
    }

    // Per tile the lowest and highest of its samples, its edges shared with its neighbours.
    size_t tiles = (size_t)k.tilesAcross * k.tilesDeep;
    ter.tileLow.resize(tiles);
    ter.tileHigh.resize(tiles);
    for (uint32_t tr = 0; tr < k.tilesDeep; tr++) {
        for (uint32_t tc = 0; tc < k.tilesAcross; tc++) {
            size_t c0 = (size_t)tc << k.shift, r0 = (size_t)tr << k.shift;
            float low = ter.heights[r0 * k.across + c0], high = low;
            for (size_t r = r0; r <= r0 + perTile; r++) {
                for (size_t c = c0; c <= c0 + perTile; c++) {
                    float h = ter.heights[r * k.across + c];
                    if (h < low) low = h;
                    if (h > high) high = h;
                }
            }
            ter.tileLow[tr * k.tilesAcross + tc] = low;
            ter.tileHigh[tr * k.tilesAcross + tc] = high;
        }
    }
    if (tiles) ter.tileBytes.assign(k.p + k.tiles, k.p + k.tiles + tiles * TP_TILE_BYTES);
    ter.installed = 1;
}

// The editor's terrain is not the runtime world display: that is installed only by loading a
// runtime world file, which no editor operation does.
int TerrainDisplayInstalled(void) { return RtDispInstalled(); }

// ============================================================================================
// Ground query
// ============================================================================================

// The ray comes straight down from the top of the world, so it meets the surface exactly
// above or at (x, z) and the first hit is the surface itself. Each quad of neighbouring
// samples is split into two triangles along its diagonal from (c, r) to (c + 1, r + 1), and
// the height is interpolated on the triangle under the point: the surface is continuous
// across quads and passes through every sample, which a bilinear patch also would, but a
// triangle is what the tile shapes draw, so the ground and its picture agree.
int TerrainGroundHeight(int32_t x, int32_t z, int32_t* height)
{
    if (!ter.installed) return 0;
    // In sample units: spacing = (16384 << exponent) >> shift, fractional when the shift is
    // larger; a double holds both exactly.
    int scale = (int)ter.info.shift - CELL_EDGE_SHIFT - (int)ter.info.cellExponent;
    double u = std::ldexp((double)x, scale);
    double v = std::ldexp((double)z, scale);
    if (u < 0 || v < 0 || u > ter.info.across - 1 || v > ter.info.deep - 1) return 0;
    uint32_t c = (uint32_t)u, r = (uint32_t)v;
    // The far edges belong to the last quad.
    if (c > ter.info.across - 2) c = ter.info.across - 2;
    if (r > ter.info.deep - 2) r = ter.info.deep - 2;
    double fu = u - c, fv = v - r;
    const float* row0 = &ter.heights[(size_t)r * ter.info.across + c];
    const float* row1 = row0 + ter.info.across;
    double h00 = row0[0], h10 = row0[1], h01 = row1[0], h11 = row1[1];
    double h = fu >= fv ? h00 + fu * (h10 - h00) + fv * (h11 - h10) : h00 + fv * (h01 - h00) + fu * (h11 - h01);
    // Heights come from 32-bit values but a float may round the largest up past them.
    if (h >= (double)INT32_MAX) h = INT32_MAX;
    if (h <= (double)INT32_MIN) h = INT32_MIN;
    if (height) *height = (int32_t)h;   // truncated toward zero, as every conversion here
    return 1;
}

// ============================================================================================
// Reading the installed terrain
// ============================================================================================

int TerrainGetInfo(TerrainInfo* info)
{
    if (!ter.installed) return 0;
    if (info) *info = ter.info;
    return 1;
}

int TerrainSampleHeight(uint32_t column, uint32_t row, float* height)
{
    if (!ter.installed || column >= ter.info.across || row >= ter.info.deep) return 0;
    if (height) *height = ter.heights[(size_t)row * ter.info.across + column];
    return 1;
}

int TerrainTileRange(uint32_t column, uint32_t row, float* low, float* high)
{
    if (!ter.installed || column >= ter.info.tilesAcross || row >= ter.info.tilesDeep) return 0;
    size_t i = (size_t)row * ter.info.tilesAcross + column;
    if (low) *low = ter.tileLow[i];
    if (high) *high = ter.tileHigh[i];
    return 1;
}

int TerrainTileBytes(uint32_t column, uint32_t row, uint8_t out[TP_TILE_BYTES])
{
    if (!ter.installed || column >= ter.info.tilesAcross || row >= ter.info.tilesDeep) return 0;
    const uint8_t* b = &ter.tileBytes[((size_t)row * ter.info.tilesAcross + column) * TP_TILE_BYTES];
    for (int i = 0; i < TP_TILE_BYTES; i++) out[i] = b[i];
    return 1;
}

int TerrainTileMaterial(uint32_t column, uint32_t row)
{
    uint8_t b[TP_TILE_BYTES];
    if (!mats.count || !TerrainTileBytes(column, row, b)) return -1;
    uint32_t entry = GetU16(b, 0);
    return entry < (uint32_t)mats.count ? (int)entry : 0;
}

int TerrainWaterMaterial(uint32_t column, uint32_t row)
{
    float low, high;
    if (!TerrainTileRange(column, row, &low, &high) || !(low < (float)ter.info.waterLevel)) return -1;
    // The water materials stand behind the names' materials, the last fourteen of the table.
    int first = mats.count - TERRAIN_WATER_MATERIALS;
    if (first < 0) return -1;
    // Deeper water takes a later material: the tile's depth against the terrain's greatest.
    int64_t depth = (int64_t)ter.info.waterLevel - (int64_t)low;
    int64_t step = depth * TERRAIN_WATER_MATERIALS / ((int64_t)ter.info.greatestDepth + 1);
    if (step >= TERRAIN_WATER_MATERIALS) step = TERRAIN_WATER_MATERIALS - 1;
    if (step < 0) step = 0;
    return first + (int)step;
}

int TerrainTexCoord(uint32_t i, float* t, float* inset)
{
    if (!ter.installed || i >= ter.texT.size()) return 0;
    if (t) *t = ter.texT[i];
    if (inset) *inset = ter.texInset[i];
    return 1;
}

// ============================================================================================
// Collision data
// ============================================================================================

static struct {
    std::vector<TerrainCollisionShape> shapes;   // points filled in once `points` stops growing
    std::vector<size_t> first;                   // each shape's first point in `points`
    std::vector<int32_t> points;                 // X, Y, Z
    char error[160];
} col;

void TerrainFreeCollision(void)
{
    col.shapes = {};
    col.first = {};
    col.points = {};
}

const char* TerrainCollisionText(int code)
{
    switch (code) {
    case TERRAIN_COLLISION_CREATE: return "failed to create collision shape";
    case TERRAIN_COLLISION_POINTS: return "too many points in collision shape";
    default: return "";
    }
}

const char* TerrainCollisionError(void) { return col.error; }

static int RefuseCollision(int code, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
static int RefuseCollision(int code, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(col.error, sizeof col.error, fmt, ap);
    va_end(ap);
    LogPrintf(LOG_WARN, "TERRAIN: %s: %s", TerrainCollisionText(code), col.error);
    TerrainFreeCollision();
    return code;
}

// The tiles in order, each shape made (its points in world units) before its points are
// added. The game stops at either refusal; here the file is refused instead.
static int BuildShapes(const Packet& k, uint32_t exponent)
{
    uint32_t perTile = 1u << k.shift, side = perTile + 1;
    uint64_t need = (uint64_t)side * side;
    int64_t edge = (int64_t)1 << (exponent + CELL_EDGE_SHIFT);   // exponent <= 32: within 2^46
    int64_t spacing = edge >> k.shift;                            // whole: the shift is at most 12
    const uint8_t* samples = k.p + k.samples;
    size_t tiles = (size_t)k.tilesAcross * k.tilesDeep;
    col.shapes.reserve(tiles);
    col.first.reserve(tiles);
    col.points.reserve(std::min<uint64_t>(need, TERRAIN_COLLISION_MAX_POINTS) * 3 * tiles);
    for (uint32_t tr = 0; tr < k.tilesDeep; tr++) {
        for (uint32_t tc = 0; tc < k.tilesAcross; tc++) {
            // The tile's far corner is its largest coordinate.
            if ((int64_t)(tc + 1) * edge > INT32_MAX || (int64_t)(tr + 1) * edge > INT32_MAX)
                return RefuseCollision(TERRAIN_COLLISION_CREATE,
                                       "tile (%u, %u) reaches %lld, past the world's coordinates", tc, tr,
                                       (long long)(std::max(tc, tr) + 1) * edge);
            if (need > TERRAIN_COLLISION_MAX_POINTS)
                return RefuseCollision(TERRAIN_COLLISION_POINTS, "tile (%u, %u) has %llu points, a shape holds %d", tc,
                                       tr, (unsigned long long)need, (int)TERRAIN_COLLISION_MAX_POINTS);
            col.shapes.push_back({tc, tr, (uint32_t)need, nullptr});
            col.first.push_back(col.points.size());
            size_t c0 = (size_t)tc << k.shift, r0 = (size_t)tr << k.shift;
            for (size_t r = r0; r <= r0 + perTile; r++)
                for (size_t c = c0; c <= c0 + perTile; c++) {
                    col.points.push_back((int32_t)(c * spacing));
                    col.points.push_back((int32_t)SampleHeight(k, samples[r * k.across + c]));
                    col.points.push_back((int32_t)(r * spacing));
                }
        }
    }
    for (size_t i = 0; i < col.shapes.size(); i++) col.shapes[i].points = &col.points[col.first[i]];
    return 0;
}

int TerrainBuildCollision(const uint8_t* image, uint32_t used)
{
    TerrainFreeCollision();
    col.error[0] = 0;
    Packet k;
    if (!GetPacket(image, used, &k) || !k.tilesAcross) return 0;
    try {
        return BuildShapes(k, CellExponent(image));
    } catch (const std::bad_alloc&) {
        return RefuseCollision(TERRAIN_COLLISION_CREATE, "no memory for the shapes of %u x %u tiles", k.tilesAcross,
                               k.tilesDeep);
    }
}

uint32_t TerrainCollisionCount(void) { return (uint32_t)col.shapes.size(); }

int TerrainGetCollision(uint32_t i, TerrainCollisionShape* out)
{
    if (i >= col.shapes.size()) return 0;
    if (out) *out = col.shapes[i];
    return 1;
}
