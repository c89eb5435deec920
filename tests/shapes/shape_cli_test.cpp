// tolbex-cli shape, run as a user runs it: info, upgrade, the editor's load and save, Optimise,
// merge, 3DS ASCII import and export, the Sphere80, and damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "materials/mattest.h"
#include "shapes/shape_fixture.h"

static bool Has(const RunResult& r, const std::string& text) { return r.output.find(text) != std::string::npos; }

// Two shifted vertices and a triangle with per-point normals and mapping, a named point,
// and two material names, one of which the material file has.
static TShape Sample()
{
    TShape s;
    s.shift = 2;
    s.verts = {{1, 2, 3, 0, 0x50544F50}, {-4, 5, -6}, {7, 0, 0}};
    TPoly p{{0, 1, 2}, 0x10, 0x8001, 0, 0, 16384};
    p.normals = {0, 0, 16384, 0, 16384, 0, 16384, 0, 0};
    p.mapping = {0, 0, 16384, 0, 0, 16384};
    s.polys = {p, TPoly{{2, 1, 0}, 0, 0x8002}};
    s.names = {{"Stone", 0x8001}, {"GLASS", 0x8002}};
    return s;
}

TEST(CliShape, InfoInTextAndJson)
{
    TempDir dir;
    WriteBytes(dir.file("a.shp"), BuildShape(Sample()));
    WriteBytes(dir.file("m.mat"), MatFile({{"Dummy"}, {"Wood"}, {"STONE"}}, MAT_FLAG_TRUE_COLOUR));
    RunResult r = ShapeCli(dir, {"info", "a.shp", "--materials", "m.mat"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    for (const char* line : {
             "a.shp: SHP version 16, ",
             "3 vertices\n",
             "2 polygons\n",
             "2 material names\n",
             "      0  world (4, 8, 12)               stored (1, 2, 3)            flags 0x0000  name \"PTOP\"\n",
             "      1  world (-16, 20, -24)",
             "      0  flags 0x0010  material 0x8001 (binds 2 \"STONE\")  normal (0, 0, 16384)  points 0 1 2\n",
             "         point normals (0, 0, 16384) (0, 16384, 0) (16384, 0, 0)\n",
             "         mapping (0, 0) (16384, 0) (0, 16384)\n",
             "      1  flags 0x0000  material 0x8002 (unresolved)",
             "  \"Stone\"            id 0x8001  binds 2\n",
             "  \"GLASS\"            id 0x8002  not found\n",
         })
        EXPECT_TRUE(Has(r, line)) << line << "\n" << r.output;

    r = ShapeCli(dir, {"info", "a.shp", "--json"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    nlohmann::json j = nlohmann::json::parse(r.output);
    EXPECT_EQ((std::vector<int>{-16, 20, -24}), j["vertices"][1]["world"].get<std::vector<int>>());
    EXPECT_EQ(16384, j["polygons"][0]["mapping"][1][0]);
    EXPECT_TRUE(j["polygons"][0]["binds"].is_null()) << "no materials loaded: only the Dummy";
}

// Each command writes a well-formed shape; the counts show which command ran.
TEST(CliShape, EditorCommandsWriteTheirResult)
{
    TempDir dir;
    TShape s = Triangle();
    s.verts.push_back({100, 0, 0});   // a duplicate of vertex 1
    s.verts.push_back({9, 9, 9});     // unused
    s.polys.push_back(TPoly({0, 3, 2}, PF_SELECTED, 0, 0, 0, -5));
    WriteBytes(dir.file("in.shp"), BuildShape(s));
    TShape old = Sample();
    old.version = 12;
    WriteBytes(dir.file("old.shp"), BuildShape(old));
    const struct {
        std::vector<std::string> args;
        int vertices, polygons;
    } cases[] = {
        {{"upgrade", "old.shp", "new.shp"}, 3, 2},
        {{"normalise", "in.shp", "norm.shp"}, 5, 2},
        {{"optimise", "in.shp", "opt.shp"}, 3, 2},
        {{"merge", "norm.shp", "opt.shp", "merged.shp"}, 8, 4},
        {{"import-asc", std::string(TOLBEX_FIXTURES) + "/real/TESTI.ASC", "testi.shp"}, 13, 9},
        {{"sphere", "10000", "10000", "10000", "sphere.shp"}, 42, 80},
    };
    for (const auto& c : cases) {
        RunResult r = ShapeCli(dir, c.args);
        ASSERT_EQ(0, r.exitCode) << r.output;
        Bytes b = ReadBytes(dir.file(c.args.back()));
        ASSERT_EQ(1, ShapeCheck(b.data(), b.size(), nullptr, 0)) << c.args[0];
        EXPECT_EQ(c.vertices, ShapeVertexCount(b.data())) << c.args[0];
        EXPECT_EQ(c.polygons, ShapePolygonCount(b.data())) << c.args[0];
    }
    TShape upgraded = Sample();
    for (TVert& v : upgraded.verts) v.name = 0;
    EXPECT_EQ(BuildShape(upgraded), ReadBytes(dir.file("new.shp"))) << "converted as it was, nothing more";
    Bytes norm = ReadBytes(dir.file("norm.shp"));
    EXPECT_EQ(0, GetU16(ShapePolygon(norm.data(), 1), POLY_FLAGS) & PF_SELECTED) << "selection cleared";
    EXPECT_EQ(16384, GetI16(ShapePolygon(norm.data(), 1), POLY_NORMAL + 4)) << "face normal recomputed: +Z";

    ASSERT_EQ(0, ShapeCli(dir, {"export-asc", "testi.shp", "testi.asc"}).exitCode);
    EXPECT_NE(std::string::npos, ReadText(dir.file("testi.asc")).find("Vertex 0:  X: -228 Y: -271  Z: -177\r\n"));
}

TEST(CliShape, DamagedForeignAndOtherVersionFilesAreRefusedInOneLine)
{
    TempDir dir;
    Bytes image = BuildShape(Sample());
    WriteBytes(dir.file("good.shp"), image);
    WriteBytes(dir.file("cut.shp"), Bytes(image.begin(), image.end() - 5));
    Bytes newer = image;
    newer[0] = 17;
    WriteBytes(dir.file("newer.shp"), newer);
    Bytes older = image;
    older[0] = 11;
    WriteBytes(dir.file("older.shp"), older);
    Bytes lying = image;
    lying[GetU32(image.data(), SH_POLYGONS) + 2 + POLY_HEAD] = 9;   // the first point names vertex 9 of 3
    WriteBytes(dir.file("lying.shp"), lying);
    // A picture: its first word reads as a huge version, its size word is no size of the file.
    WriteBytes(dir.file("fc.lbm"), ReadBytes(std::string(TOLBEX_FIXTURES) + "/real/FC.LBM"));
    // Text whose size word happens to match the file: its shift word still tells it is no shape.
    Bytes text(100, 'x');
    PutU32(text.data(), SH_SIZE, 100);
    WriteBytes(dir.file("text.shp"), text);
    WriteText(dir.file("bad.asc"), "Vertex list:\nVertex 0: X: 1 Y: 0 Z: 0\nFace 0: A:0 B:1 C:2\n");
    struct {
        std::vector<std::string> args;
        const char* line;
    } cases[] = {
        {{"info", "cut.shp"}, "cut.shp: Damaged shape: its size (%u bytes) does not fit the file"},
        {{"upgrade", "newer.shp", "out.shp"},
         "newer.shp: shape version 17 is newer than this program reads (12 to 16)"},
        {{"info", "older.shp"}, "older.shp: shape version 11 is older than this program reads (12 to 16)"},
        {{"info", "lying.shp", "--json"}, "lying.shp: Damaged shape: polygon 0 uses vertex 9 but the shape has 3"},
        {{"optimise", "lying.shp", "out.shp"}, "lying.shp: Damaged shape: polygon 0 uses vertex 9 but the shape has 3"},
        {{"merge", "good.shp", "cut.shp", "out.shp"}, "cut.shp: Damaged shape: its size (%u bytes) does not fit the file"},
        {{"info", "fc.lbm"}, "fc.lbm: not a shape file"},
        {{"normalise", "fc.lbm", "out.shp"}, "fc.lbm: not a shape file"},
        {{"render", "fc.lbm", "out.png"}, "fc.lbm: not a shape file"},
        {{"merge", "good.shp", "fc.lbm", "out.shp"}, "fc.lbm: not a shape file"},
        {{"export-asc", "text.shp", "out.asc"}, "text.shp: not a shape file"},
        {{"import-asc", "bad.asc", "out.shp"}, "face 0 refers to vertex 1"},
    };
    for (const auto& c : cases) {
        RunResult r = ShapeCli(dir, c.args);
        EXPECT_EQ(1, r.exitCode) << r.output;
        std::string line = c.line;
        size_t hole = line.find("%u");
        if (hole != std::string::npos) line.replace(hole, 2, std::to_string(image.size()));
        // One error line and nothing else: no developer log line beside it.
        EXPECT_EQ(0u, r.output.rfind("tolbex-cli: ", 0)) << r.output;
        EXPECT_TRUE(Has(r, line)) << r.output;
        EXPECT_EQ(1, std::count(r.output.begin(), r.output.end(), '\n')) << r.output;
    }
    for (const char* out : {"out.shp", "out.png", "out.asc"}) EXPECT_FALSE(PathExists(dir.file(out))) << out;
}
