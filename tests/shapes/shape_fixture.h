// What the shape tests share: a block in a buffer of its own, the edit buffer installed as the
// editor start installs it (with short ways to build and read the shape in it), render
// materials by name, and tolbex-cli's shape commands.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/maths.h"
#include "base/res.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "shapes/shape.h"
#include "shapes/shape_build.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "support/testutil.h"

typedef std::array<int32_t, 3> Vec;

// One triangle over three vertices, facing +Z.
inline TShape Triangle(int16_t size = 100)
{
    TShape s;
    s.verts = {{0, 0, 0}, {size, 0, 0}, {0, size, 0}};
    s.polys = {TPoly({0, 1, 2})};
    return s;
}

// Adds a render material of this name (at most 16 characters), giving its index.
inline int AddMaterial(const std::string& name)
{
    uint8_t record[MAT_RECORD_SIZE] = {};
    memcpy(record, name.data(), std::min<size_t>(name.size(), SHAPE_NAME_CHARS));
    return IntMatFindOrAdd(record);
}

inline RunResult ShapeCli(const TempDir& dir, std::vector<std::string> args)
{
    args.insert(args.begin(), "shape");
    return RunProgram(TOLBEX_CLI_BIN, args, dir.path());
}

// A shape block in a buffer of `capacity` bytes (at least the block), the rest filled with a
// byte that no test expects to see.
struct BlockBuffer {
    std::vector<uint8_t> bytes;
    ShapeBlock block{};
    uint8_t* Take(const Bytes& image, size_t capacity = 0)
    {
        bytes.assign(std::max(capacity, image.size()), 0xCD);
        std::copy(image.begin(), image.end(), bytes.begin());
        block = ShapeBlock{bytes.data(), (uint32_t)bytes.size()};
        return bytes.data();
    }
    Bytes Used() const { return Bytes(bytes.begin(), bytes.begin() + GetU32(bytes.data(), SH_SIZE)); }
};

// Short ways to build and read the shape in the edit buffer, for any test that has one.
struct EditBuffer {
    static ShapeBlock* S() { return ShapeMEdit(); }
    static uint8_t* B() { return ShapeMEdit()->data; }
    static Bytes Used() { return Bytes(B(), B() + ShapeUsedSize(B())); }
    static std::vector<int> Counts() { return {ShapeVertexCount(B()), ShapePolygonCount(B())}; }   // vertices, polygons

    // Building in the edit buffer: a vertex (world units), a polygon with its face normal.
    static int V(int32_t x, int32_t y, int32_t z) { return ShapeAppendVertex(S(), x, y, z); }
    static int P(std::vector<uint16_t> idx, uint16_t material = 0)
    {
        return ShapeAppendPolygonWithNormal(S(), (int)idx.size(), idx.data(), material);
    }
    // Gives a polygon a block of U, V pairs (after any per-point block).
    static void Map(int polygon, std::vector<int16_t> uv)
    {
        uint8_t* p = ShapePolygon(B(), polygon);
        uint32_t pos = (uint32_t)(p - B()) + ShapePolygonLength(p);
        ASSERT_EQ(0, ShapeInsert(S(), pos, 2 * (uint32_t)uv.size()));
        PutU16(p, POLY_COUNT_WORD, (uint16_t)(GetU16(p, POLY_COUNT_WORD) | PC_MAPPING));
        for (size_t i = 0; i < uv.size(); i++) PutI16(B(), pos + 2 * i, uv[i]);
    }

    // Reading the edit buffer: a vertex's world position, a polygon's points, face normal,
    // per-point normal and mapping.
    static Vec Pos(int v)
    {
        Vec p;
        ShapeVertexPos(B(), v, p.data());
        return p;
    }
    static std::vector<int> Points(int polygon)
    {
        std::vector<int> out;
        uint8_t* p = ShapePolygon(B(), polygon);
        for (int k = 0; p && k < ShapePolyPoints(p); k++) out.push_back(ShapePolyIndex(p, k));
        return out;
    }
    static std::vector<int16_t> Words(const uint8_t* at, int n)
    {
        std::vector<int16_t> out;
        for (int i = 0; at && i < n; i++) out.push_back(GetI16(at, 2 * i));
        return out;
    }
    static std::vector<int16_t> Normal(int polygon) { return Words(ShapePolygon(B(), polygon) + POLY_NORMAL, 3); }
    static std::vector<int16_t> PointNormal(int polygon, int k)
    {
        uint8_t* normals = ShapePolyNormals(ShapePolygon(B(), polygon));
        return Words(normals ? normals + 6 * k : nullptr, 3);
    }
    static std::vector<int16_t> Mapping(int polygon)
    {
        uint8_t* p = ShapePolygon(B(), polygon);
        return Words(ShapePolyMapping(p), 2 * ShapePolyPoints(p));
    }
    static uint16_t Flags(int polygon) { return GetU16(ShapePolygon(B(), polygon), POLY_FLAGS); }
    static uint16_t Material(int polygon) { return GetU16(ShapePolygon(B(), polygon), POLY_MATERIAL); }
};

// The resource manager, the material table and the shape manager as the editor start installs
// them, in a scratch folder of the test's own.
class EditTest : public testing::Test, public EditBuffer {
protected:
    TempDir dir{true};

    void SetUp() override
    {
        ResRemove();
        ResInstall(300);
        IntMatCreate(512);
        MatMInstall();
        ShapeMResourceInstall();
        ShapeMInstall();
        ShapeMSetUndo(1);
    }
    void TearDown() override
    {
        ShapeMRemove();
        IntMatDestroy();
        ResRemove();
    }
};
