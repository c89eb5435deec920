// Shape materials: binding polygons by name through the render-material table, and the name
// table rebuilt for saving.
#include <gtest/gtest.h>

#include <cstring>

#include "kernel/res/res.h"
#include "kernel/util/bytes.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "shapes/shape.h"
#include "shapes/shape_build.h"

class ShapeMaterial : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResInstall(200);
        ASSERT_EQ(0, IntMatCreate(512));
    }
    void TearDown() override
    {
        IntMatDestroy();
        ResRemove();
    }
    // Appends render materials with these names (up to 16 characters, no terminator at 16).
    static void AddMaterials(std::initializer_list<std::string> names)
    {
        for (const std::string& n : names) {
            uint8_t rec[MAT_RECORD_SIZE] = {};
            memcpy(rec, n.data(), std::min<size_t>(n.size(), 16));
            IntMatFindOrAdd(rec);
        }
    }
    std::vector<uint8_t> buf;
    ShapeBlock blk{};
    uint8_t* Take(const Bytes& image, size_t room = 4000)
    {
        buf.assign(image.size() + room, 0);
        memcpy(buf.data(), image.data(), image.size());
        blk = ShapeBlock{buf.data(), (uint32_t)buf.size()};
        return buf.data();
    }
    Bytes Used() const { return Bytes(buf.begin(), buf.begin() + GetU32(buf.data(), SH_SIZE)); }
};

static TShape WithMaterials(std::vector<uint16_t> materials)
{
    TShape s;
    s.verts = {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}};
    for (uint16_t m : materials) s.polys.push_back(TPoly{{0, 1, 2}, 0, m});
    return s;
}

static std::vector<int> Materials(uint8_t* b)
{
    std::vector<int> out;
    for (int i = 0; i < ShapePolygonCount(b); i++) out.push_back(GetU16(ShapePolygon(b, i), 2));
    return out;
}

TEST_F(ShapeMaterial, BindingByName)
{
    AddMaterials({"Dummy", "STONE", "WOOD"});
    TShape s = WithMaterials({0x8005, 0x8001, 3, 9, 0x0005, 0x8006});
    s.names = {{"wood", 0x8005}, {"GLASS", 0x8001}, {"STONE", 3}, {"Wood", 0x8006}};
    uint8_t* b = Take(BuildShape(s));
    ShapeBindMaterials(b, SHAPE_NAME_CHARS);
    // Found names give the table index (a lower-case name and its mixed-case twin alike; an
    // id matches on its low 15 bits); a missing name or id keeps the value with bit 15 set.
    EXPECT_EQ((std::vector<int>{2, 0x8001, 1, 0x8009, 2, 2}), Materials(b));
    uint8_t* e = ShapeNames(b);
    EXPECT_EQ(2, GetU16(e, 16));
    EXPECT_EQ(0x8001, GetU16(e + 18, 16)) << "an entry whose name is missing keeps its id";
    EXPECT_EQ(1, GetU16(e + 36, 16));
    EXPECT_EQ(2, GetU16(e + 54, 16));

    // Binding again (after a change of the material table) still finds every name, though
    // STONE's index 1 and GLASS's unresolved 0x8001 share their low 15 bits.
    ShapeBindMaterials(b, SHAPE_NAME_CHARS);
    EXPECT_EQ((std::vector<int>{2, 0x8001, 1, 0x8009, 2, 2}), Materials(b));
}

TEST_F(ShapeMaterial, EditorComparesSixteenCharactersTheManagerFifteen)
{
    AddMaterials({"Dummy", "ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNO"});
    TShape s = WithMaterials({0x8000});
    s.names = {{"ABCDEFGHIJKLMNOP", 0x8000}};
    Bytes image = BuildShape(s);
    uint8_t* b = Take(image);
    ShapeBindMaterials(b, 16);
    EXPECT_EQ(1, Materials(b)[0]);
    b = Take(image);
    ShapeBindMaterials(b, 15);
    EXPECT_EQ(2, Materials(b)[0]);
}

TEST_F(ShapeMaterial, NameTableRebuiltLast)
{
    AddMaterials({"Dummy", "STONE", "WOOD"});
    TShape s = WithMaterials({2, 0x8001, 2, 0x8009, 40, 1});
    s.names = {{"GLASS", 0x8001}, {"OLD", 7}};
    s.order = "vnp";   // the old table sits between the sections
    uint8_t* b = Take(BuildShape(s));
    ASSERT_EQ(0, ShapeRebuildNameTable(&blk));
    // Distinct values in polygon order; an unresolved id without an entry takes the Dummy's
    // name; an index past the table has no name and is left out.
    TShape expect = s;
    expect.order = "vpn";
    expect.names = {{"WOOD", 2}, {"GLASS", 0x8001}, {"DUMMY", 0x8009}, {"STONE", 1}};
    EXPECT_EQ(BuildShape(expect), Used());

    // No room for the new table: refused, nothing changes.
    blk.capacity = ShapeUsedSize(b);
    PutU16(ShapePolygon(b, 4), 2, 0);   // one more name than the table holds
    Bytes before = Used();
    EXPECT_EQ(1, ShapeRebuildNameTable(&blk));
    EXPECT_EQ(before, Used());
}

TEST_F(ShapeMaterial, ShapesWithoutPolygonsKeepTheirTable)
{
    AddMaterials({"Dummy"});
    uint8_t* b = Take(Bytes(SHAPE_HEADER_SIZE, 0));
    ShapeMakeEmpty(b);
    ASSERT_EQ(0, ShapeRebuildNameTable(&blk));
    EXPECT_EQ(68u, ShapeUsedSize(b));
    TShape s = WithMaterials({});
    s.names = {{"STONE", 3}};
    Bytes image = BuildShape(s);
    Take(image);
    ASSERT_EQ(0, ShapeRebuildNameTable(&blk));
    EXPECT_EQ(image, Used());
}

TEST_F(ShapeMaterial, OnlyAHundredNamesSurviveASave)
{
    AddMaterials({"Dummy"});
    std::vector<uint16_t> mats;
    for (int i = 1; i <= 104; i++) {
        AddMaterials({"M" + std::to_string(i)});
        mats.push_back((uint16_t)i);
    }
    uint8_t* b = Take(BuildShape(WithMaterials(mats)));
    ASSERT_EQ(0, ShapeRebuildNameTable(&blk));
    EXPECT_EQ(100, ShapeNameCount(b));

    // Saved and loaded again: the first hundred bind, the rest come back unresolved.
    ResId id = ResCreate(ShapeUsedSize(b));
    memcpy(ResOpen(id), b, ShapeUsedSize(b));
    ResClose(id);
    ASSERT_EQ(0, ShapeLoad(id));
    uint8_t* loaded = (uint8_t*)ResOpen(id);
    ShapeBindMaterials(loaded, SHAPE_NAME_CHARS);
    std::vector<int> got = Materials(loaded);
    for (int i = 0; i < 104; i++) EXPECT_EQ(i < 100 ? i + 1 : (i + 1) | 0x8000, got[i]) << i;
    ResClose(id);
    ResFreeAlways(id);
}
