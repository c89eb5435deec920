// What the world manager tests share: the managers installed as the World Editor's start
// installs them, in a scratch folder of the test's own, small shape files, and hand-built WLE
// images of any version.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/res.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "shapes/shape_build.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "support/testutil.h"
#include "world/terrain.h"
#include "world/wle.h"
#include "world/worldm.h"

// A worldshape or a short one, field by field.
struct TWorldShape {
    uint16_t flags = 0, id = 0;
    int16_t pitch = 0, yaw = 0;
    uint32_t name = 0;
    int32_t x = 0, y = 0, z = 0;
    std::string file;      // up to 8 characters
    uint16_t handle = 0, net = 0, field60 = 0;
    std::string text1 = {};   // long form only
};

struct TNode {
    uint16_t selected = 0, id = 0, prev = 0, next = 0, hidden = 0;
    int32_t x = 0, y = 0, z = 0;
    uint32_t name = 0;
};

// A WLE image built packet by packet; Done() writes the used size.
struct WleImage {
    Bytes b;
    explicit WleImage(uint32_t version = 19)
    {
        b.assign(WLE_HEADER_SIZE, 0);
        PutU32(b.data(), WLE_CELL_EXPONENT, 6);
        PutU32(b.data(), WLE_CELL_EDGE, 1048576);
        PutU32(b.data(), WLE_VERSION, version);
        PutU32(b.data(), WLE_CELLS_X, 8);
        PutU32(b.data(), WLE_CELLS_Y, 4);
        PutU32(b.data(), WLE_CELLS_Z, 8);
        PutU32(b.data(), WLE_CELL_DIAGONAL, 1816186);
    }
    // Room for a packet of `size` bytes at the end, its type word written.
    uint8_t* Grow(uint16_t type, uint32_t size, uint8_t fill = 0)
    {
        size_t at = b.size();
        b.resize(at + size, fill);
        PutU16(b.data() + at, 0, type);
        return b.data() + at;
    }
    WleImage& Shape(const TWorldShape& s, bool shortForm = false)
    {
        uint8_t* p = Grow(shortForm ? WP_SHORT_SHAPE : WP_SHAPE, shortForm ? WP_SHORT_SHAPE_SIZE : WP_SHAPE_SIZE);
        for (auto [at, v] : {std::pair<int, uint16_t>{WS_FLAGS, s.flags}, {WS_ID, s.id}, {WS_PITCH, (uint16_t)s.pitch},
                             {WS_HANDLE, s.handle}, {WS_NET, s.net}, {WS_FIELD60, s.field60}, {WS_YAW, (uint16_t)s.yaw}})
            PutU16(p, at, v);
        for (auto [at, v] : {std::pair<int, uint32_t>{WS_NAME, s.name}, {WS_X, (uint32_t)s.x}, {WS_Y, (uint32_t)s.y},
                             {WS_Z, (uint32_t)s.z}})
            PutU32(p, at, v);
        for (size_t k = 0; k < s.file.size() && k < 8; k++) p[WS_FILE + k] = (uint8_t)s.file[k];
        if (!shortForm)
            for (size_t k = 0; k < s.text1.size() && k < 8; k++) p[WS_TEXT1 + k] = (uint8_t)s.text1[k];
        return *this;
    }
    WleImage& Node(const TNode& n)
    {
        uint8_t* p = Grow(WP_NODE, WP_NODE_SIZE);
        for (auto [at, v] : {std::pair<int, uint16_t>{WN_SELECTED, n.selected}, {WN_ID, n.id}, {WN_PREV, n.prev},
                             {WN_NEXT, n.next}, {WN_HIDDEN, n.hidden}})
            PutU16(p, at, v);
        for (auto [at, v] : {std::pair<int, uint32_t>{WN_X, (uint32_t)n.x}, {WN_Y, (uint32_t)n.y}, {WN_Z, (uint32_t)n.z},
                             {WN_NAME, n.name}})
            PutU32(p, at, v);
        return *this;
    }
    WleImage& Raw(uint16_t type, uint32_t size, uint8_t fill = 0)
    {
        Grow(type, size, fill);
        return *this;
    }
    WleImage& Terrain(uint32_t length)
    {
        uint8_t* p = Grow(WP_TERRAIN, length, 0x5A);
        PutU16(p, 2, 0);
        PutU32(p, WP_TERRAIN_LENGTH, length);
        return *this;
    }
    WleImage& Append(const Bytes& packet)
    {
        b.insert(b.end(), packet.begin(), packet.end());
        return *this;
    }
    Bytes Done()
    {
        PutU32(b.data(), WLE_USED, (uint32_t)b.size());
        return b;
    }
};

// A new world's cell edge.
inline constexpr int32_t EDGE = 16384 << 6;

inline uint32_t Name4(const char* s)
{
    return ((uint32_t)(uint8_t)s[0] << 24) | ((uint32_t)(uint8_t)s[1] << 16) | ((uint32_t)(uint8_t)s[2] << 8) |
           (uint8_t)s[3];
}

// A small shape file: a box from (lo) to (hi) made of two triangles (its bounds are what the
// drop to the ground reads).
inline Bytes BoxShape(int16_t lox, int16_t loy, int16_t loz, int16_t hix, int16_t hiy, int16_t hiz)
{
    TShape s;
    s.lo[0] = lox, s.lo[1] = loy, s.lo[2] = loz;
    s.hi[0] = hix, s.hi[1] = hiy, s.hi[2] = hiz;
    s.verts = {{lox, loy, loz}, {hix, loy, loz}, {hix, hiy, hiz}, {lox, hiy, hiz}};
    s.polys = {TPoly({0, 1, 2}), TPoly({0, 2, 3})};
    return BuildShape(s);
}

// A cube of half-size h about the origin (8 vertices, 6 quads); `extra` marks it dynamic.
inline TShape CubeShape(int16_t h, uint32_t extra = 0)
{
    TShape s;
    const int16_t l = (int16_t)-h;
    s.verts = {{l, l, l}, {h, l, l}, {h, h, l}, {l, h, l}, {l, l, h}, {h, l, h}, {h, h, h}, {l, h, h}};
    s.polys = {TPoly({0, 3, 2, 1}), TPoly({4, 5, 6, 7}), TPoly({0, 1, 5, 4}),
               TPoly({2, 3, 7, 6}), TPoly({1, 2, 6, 5}), TPoly({0, 4, 7, 3})};
    s.extra = extra;
    return s;
}

// Appends a net node packet to the world in memory.
inline void AppendNode(uint16_t id, int32_t x, int32_t y, int32_t z, uint16_t prev, uint16_t next)
{
    int32_t at = WorldMAppendPacket(WP_NODE, WP_NODE_SIZE);
    ASSERT_GT(at, 0);
    uint8_t* n = WorldMImage() + at;
    PutI32(n, WN_X, x), PutI32(n, WN_Y, y), PutI32(n, WN_Z, z);
    PutU16(n, WN_ID, id), PutU16(n, WN_PREV, prev), PutU16(n, WN_NEXT, next);
}

// A terrain packet, field by field.
struct TTerrain {
    uint32_t shift = 1, across = 3, deep = 3, tilesAcross = 1, tilesDeep = 1;
    bool tileBlock = true;
    int32_t lowest = 0, highest = 16384;   // a sample h then stands for h * 64
    int32_t ceiling = INT32_MAX, water = INT32_MIN;
    uint32_t textureSize = 16;
    std::vector<std::string> names{};       // raw 13-byte fields
    Bytes samples{};                        // across x deep, the rest 0
    Bytes tiles{};                          // two bytes a tile, the rest tileFill
    uint8_t tileFill = 7;
};

inline Bytes TerrainPacket(const TTerrain& t)
{
    Bytes p(TP_SAMPLES_AT, 0);
    uint8_t* h = p.data();
    PutU16(h, 0, TERRAIN_PACKET_TYPE);
    const std::pair<int, uint32_t> fields[] = {
        {TP_SAMPLES, TP_SAMPLES_AT}, {TP_SHIFT, t.shift}, {TP_ACROSS, t.across}, {TP_DEEP, t.deep},
        {TP_LOWEST, (uint32_t)t.lowest}, {TP_HIGHEST, (uint32_t)t.highest}, {TP_TILES_ACROSS, t.tilesAcross},
        {TP_TILES_DEEP, t.tilesDeep}, {TP_NAME_COUNT, (uint32_t)t.names.size()}, {TP_TEXTURE_SIZE, t.textureSize},
        {TP_CEILING, (uint32_t)t.ceiling}, {TP_WATER, (uint32_t)t.water}};
    for (auto [at, v] : fields) PutU32(h, at, v);
    for (size_t i = 0; i < t.names.size(); i++)
        memcpy(h + TP_NAMES + i * TP_NAME_SIZE, t.names[i].data(), std::min<size_t>(t.names[i].size(), 13));
    Bytes samples = t.samples;
    samples.resize((size_t)t.across * t.deep, 0);
    p.insert(p.end(), samples.begin(), samples.end());
    p.resize((p.size() + 3) & ~3u, 0);
    if (t.tileBlock) {
        PutU32(p.data(), TP_TILES, (uint32_t)p.size());
        size_t at = p.size();
        p.resize(p.size() + ((t.tilesAcross * t.tilesDeep * TP_TILE_BYTES + 3) & ~3u), t.tileFill);
        std::copy(t.tiles.begin(), t.tiles.end(), p.begin() + (ptrdiff_t)at);
    }
    PutU32(p.data(), TP_LENGTH, (uint32_t)p.size());
    return p;
}

// A terrain packet of 3 x 3 samples, two per tile, every sample the same (a sample h stands
// for h x 64 world units): it covers X and Z from 0 to one cell edge.
inline Bytes FlatTerrain(uint8_t sample) { return TerrainPacket({.samples = Bytes(9, sample)}); }

class WorldTest : public testing::Test {
protected:
    TempDir dir{true};

    void SetUp() override
    {
        ResRemove();
        ResInstall(2000);
        IntMatCreate(512);
        MatMInstall();
        ShapeMResourceInstall();
        ShapeMInstall();
        ShapeMSetUndo(1);
        WorldMInstall(WORLDM_CAPACITY);
        WriteBytes(dir.file("ROCK.SHP"), BoxShape(-10, -20, -30, 10, 20, 30));
        WriteBytes(dir.file("tree.shp"), BoxShape(-5, 0, -5, 5, 100, 5));
    }
    void TearDown() override
    {
        TerrainRemove();
        WorldMUninstall();
        WorldMSetRuntimeSave(nullptr);
        WorldMSetSummaryFileName(nullptr);
        ShapeMRemove();
        IntMatDestroy();
        ResRemove();
    }

    static uint8_t* Img() { return WorldMImage(); }
    static Bytes Used() { return Bytes(Img(), Img() + WorldMUsed()); }
    // Every packet of the image: offset and type.
    static std::vector<std::pair<uint32_t, uint16_t>> Walk(uint8_t* image = nullptr)
    {
        if (!image) image = Img();
        std::vector<std::pair<uint32_t, uint16_t>> out;
        for (uint8_t* p = WorldMFirstPacket(image); p; p = WorldMNextPacket(image, p))
            out.push_back({(uint32_t)(p - image), GetU16(p, 0)});
        return out;
    }
    static std::vector<uint8_t*> Shapes()
    {
        std::vector<uint8_t*> out;
        for (uint8_t* p = WorldMFirstPacket(Img()); p; p = WorldMNextPacket(Img(), p))
            if (GetU16(p, 0) == WP_SHAPE) out.push_back(p);
        return out;
    }
    static std::vector<uint8_t*> Nodes()
    {
        std::vector<uint8_t*> out;
        for (uint8_t* p = WorldMFirstPacket(Img()); p; p = WorldMNextPacket(Img(), p))
            if (GetU16(p, 0) == WP_NODE) out.push_back(p);
        return out;
    }
    int LoadBytes(const Bytes& image, const std::string& name = "w.wle")
    {
        WriteBytes(dir.file(name), image);
        return WorldMLoad(name.c_str());
    }
};
