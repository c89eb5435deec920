// Models from other tools, made by the tests themselves: an OBJ with its MTL and a glTF with
// a node transform and a texture come in with the expected vertices, polygons, mapping and
// materials; shapes go out as glTF and OBJ and come back the same; damaged and hostile
// files give one line naming the file, never a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <array>
#include <filesystem>
#include <set>
#include <tuple>

#include "base/bytes.h"
#include "materials/matm.h"
#include "palette/image.h"
#include "palette/png.h"
#include "shapes/model.h"
#include "shapes/shape.h"
#include "support/testutil.h"

static RunResult Cli(const TempDir& dir, std::vector<std::string> args)
{
    return RunProgram(TOLBEX_CLI_BIN, args, dir.path());
}

static bool Contains(const RunResult& r, const std::string& text) { return r.output.find(text) != std::string::npos; }

struct Poly {
    std::vector<std::array<int32_t, 3>> points;
    std::vector<std::array<int16_t, 2>> mapping;
    std::string material;
};

// A shape file as its polygons: world positions of their points, mapping and material name.
static std::vector<Poly> Polys(const std::string& file)
{
    Bytes b = ReadBytes(file);
    std::vector<Poly> out;
    char why[128];
    bool whole = ShapeCheck(b.data(), b.size(), why, sizeof why);
    EXPECT_TRUE(whole) << file << ": " << why;
    if (!whole) return out;
    for (int i = 0; i < ShapePolygonCount(b.data()); i++) {
        uint8_t* poly = ShapePolygon(b.data(), i);
        Poly p;
        for (int k = 0; k < ShapePolyPoints(poly); k++) {
            std::array<int32_t, 3> v;
            ShapeVertexPos(b.data(), ShapePolyIndex(poly, k), v.data());
            p.points.push_back(v);
            if (const uint8_t* map = ShapePolyMapping(poly))
                p.mapping.push_back({GetI16(map, 4 * k), GetI16(map, 4 * k + 2)});
        }
        p.material = ModelPolygonMaterialName(b.data(), i);
        out.push_back(p);
    }
    return out;
}

// A MAT file's records: name, red, green, blue, alpha, texture.
struct MatRecord {
    std::string name;
    int32_t rgb[3], alpha;
    std::string texture;
};
static std::vector<MatRecord> Mats(const std::string& file)
{
    Bytes b = ReadBytes(file);
    std::vector<MatRecord> out;
    if (b.size() < MAT_HEADER_SIZE) return out;
    int count = GetI16(b.data(), MH_COUNT);
    for (int i = 0; i < count && MAT_HEADER_SIZE + (size_t)(i + 1) * MAT_RECORD_SIZE <= b.size(); i++) {
        const uint8_t* r = b.data() + MAT_HEADER_SIZE + (size_t)i * MAT_RECORD_SIZE;
        MatRecord m{std::string((const char*)r + MR_NAME), {GetI32(r, MR_RED), GetI32(r, MR_GREEN), GetI32(r, MR_BLUE)},
                    GetI32(r, MR_ALPHA), std::string((const char*)r + MR_TEXTURE)};
        out.push_back(m);
    }
    return out;
}

// A record as one value: name, red, green, blue, alpha, texture.
static std::tuple<std::string, int32_t, int32_t, int32_t, int32_t, std::string> Row(const MatRecord& m)
{
    return {m.name, m.rgb[0], m.rgb[1], m.rgb[2], m.alpha, m.texture};
}

static const char kObj[] =
    "mtllib box.mtl\n"
    "v 0 0 0\nv 2 0 0\nv 2 1 0\nv 0 1 0\nv 0 0 -3\nv 1 1.5 -1\n"
    "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvt 0.25 0.75\n"
    "usemtl Brick Red\n"
    "f 1/1 2/2 3/3 4/4\n"          // a planar quad: kept
    "usemtl glass\n"
    "f 1/1 5/2 2/3\n"              // a triangle
    "f 1/5 4/4 6/3 5/2\n";         // a quad off its plane: split

static const char kMtl[] =
    "newmtl Brick Red\nKd 0.8 0.2 0.1\nmap_Kd tex/bricks.png\n"
    "newmtl glass\nKd 0.1 0.3 0.9\nd 0.5\n";

// A 2 x 2 texture whose channels differ everywhere.
static const uint8_t kTexture[] = {200, 10, 30, 255, 1, 2, 3, 255, 90, 180, 250, 255, 0, 128, 255, 255};

TEST(ModelImport, ObjWithItsMaterialsAndTexture)
{
    TempDir dir;
    WriteText(dir.file("box.obj"), kObj);
    WriteText(dir.file("box.mtl"), kMtl);
    std::vector<uint8_t> png;
    ASSERT_TRUE(PngEncodeRgba(kTexture, 2, 2, png));
    std::filesystem::create_directories(dir.file("tex"));
    WriteBytes(dir.file("tex/bricks.png"), png);

    RunResult r = Cli(dir, {"shape", "import", "box.obj", "box.shp", "--scale", "100"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_TRUE(Contains(r, "box.shp: 6 vertices, 4 polygons, 2 materials, scale 100\n")) << r.output;
    EXPECT_TRUE(Contains(r, "box.mat: 2 materials, BRICKS.SPR\n")) << r.output;

    std::vector<Poly> polys = Polys(dir.file("box.shp"));
    ASSERT_EQ(4u, polys.size());
    // X is mirrored and the points reversed, so the quad still faces +Z (its front).
    EXPECT_EQ((std::vector<std::array<int32_t, 3>>{{0, 100, 0}, {-200, 100, 0}, {-200, 0, 0}, {0, 0, 0}}), polys[0].points);
    // OBJ's v runs up the picture, the mapping's down it.
    EXPECT_EQ((std::vector<std::array<int16_t, 2>>{{0, 0}, {16384, 0}, {16384, 16384}, {0, 16384}}), polys[0].mapping);
    EXPECT_EQ("BRICK_RED", polys[0].material);
    EXPECT_EQ((std::vector<std::array<int32_t, 3>>{{-200, 0, 0}, {0, 0, -300}, {0, 0, 0}}), polys[1].points);
    EXPECT_EQ("GLASS", polys[1].material);
    // The bent quad as two triangles of the same material.
    EXPECT_EQ(std::make_tuple(polys[2].points.size(), polys[3].points.size(), polys[3].material),
              std::make_tuple(size_t(3), size_t(3), std::string("GLASS")));
    // Reversed, the bent quad starts at its last point (vt 1 0); vt 0.25 0.75 ends the second.
    EXPECT_EQ((std::array<int16_t, 2>{16384, 16384}), polys[2].mapping[0]);
    EXPECT_EQ((std::array<int16_t, 2>{4096, 4096}), polys[3].mapping[2]) << "vt 0.25 0.75 with v turned";

    std::vector<MatRecord> mats = Mats(dir.file("box.mat"));
    ASSERT_EQ(3u, mats.size());
    EXPECT_EQ(Row(mats[1]), Row({"BRICK_RED", {13106, 3277, 1638}, 0, "BRICKS.SPR"})) << "opaque: alpha 0";
    EXPECT_EQ(Row(mats[2]), Row({"GLASS", {1638, 4915, 14745}, 8192, ""}));

    // The texture as a 32-bit sprite, pixel for pixel.
    Bytes spr = ReadBytes(dir.file("BRICKS.SPR"));
    ASSERT_EQ(32u + 16 + 4, spr.size());
    EXPECT_EQ(0, memcmp(spr.data(), "BGRS", 4));
    EXPECT_EQ(0xFFC80A1Eu, GetU32(spr.data(), 32));
    EXPECT_EQ(0xFF0080FFu, GetU32(spr.data(), 44));
}

// Base64 for a glTF's data URI.
static std::string Base64(const std::vector<uint8_t>& in)
{
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < in.size(); i += 3) {
        uint32_t v = (uint32_t)in[i] << 16 | (i + 1 < in.size() ? in[i + 1] << 8 : 0) | (i + 2 < in.size() ? in[i + 2] : 0);
        out += digits[v >> 18 & 63];
        out += digits[v >> 12 & 63];
        out += i + 1 < in.size() ? digits[v >> 6 & 63] : '=';
        out += i + 2 < in.size() ? digits[v & 63] : '=';
    }
    return out;
}

// A glTF of one triangle under a node moved by (10, 0, 0) and scaled by 2, textured.
static std::string Gltf(const std::string& image)
{
    std::vector<uint8_t> buffer;
    auto f32 = [&](float v) {
        uint8_t b[4];
        memcpy(b, &v, 4);
        buffer.insert(buffer.end(), b, b + 4);
    };
    for (float v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 2.f}) f32(v);   // positions
    for (float v : {0.f, 0.f, 0.25f, 0.f, 0.f, 0.75f}) f32(v);            // texture coordinates
    for (uint16_t i : {0, 1, 2}) buffer.insert(buffer.end(), {(uint8_t)i, 0});
    return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],
      "nodes":[{"mesh":0,"translation":[10,0,0],"scale":[2,2,2]}],
      "meshes":[{"primitives":[{"attributes":{"POSITION":0,"TEXCOORD_0":1},"indices":2,"material":0}]}],
      "materials":[{"name":"Leaf Green","pbrMetallicRoughness":{"baseColorFactor":[0.2,0.6,0.1,1],"baseColorTexture":{"index":0}}}],
      "textures":[{"source":0}],"images":[{"uri":")" + image + R"("}],
      "buffers":[{"byteLength":66,"uri":"data:application/octet-stream;base64,)" + Base64(buffer) + R"("}],
      "bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":24},
                     {"buffer":0,"byteOffset":60,"byteLength":6}],
      "accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,2]},
                   {"bufferView":1,"componentType":5126,"count":3,"type":"VEC2"},
                   {"bufferView":2,"componentType":5123,"count":3,"type":"SCALAR"}]})";
}

TEST(ModelImport, GltfWithNodeTransformAxesAndTextureFolders)
{
    TempDir dir;
    WriteText(dir.file("leaf.gltf"), Gltf("leaf.png"));
    RunResult r = Cli(dir, {"shape", "import", "leaf.gltf", "leaf.shp", "--scale", "10"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    // The texture is missing: a warning naming it, and the material keeps its colour.
    EXPECT_TRUE(Contains(r, "tolbex-cli: warning: texture leaf.png of material LEAF_GREEN cannot be used")) << r.output;
    std::vector<Poly> polys = Polys(dir.file("leaf.shp"));
    ASSERT_EQ(1u, polys.size());
    // Model (x, y, z) at node scale 2 and +10 in x, times 10, X mirrored, points reversed.
    EXPECT_EQ((std::vector<std::array<int32_t, 3>>{{-100, 20, 40}, {-120, 0, 0}, {-100, 0, 0}}), polys[0].points);
    EXPECT_EQ((std::vector<std::array<int16_t, 2>>{{0, 12288}, {4096, 0}, {0, 0}}), polys[0].mapping)
        << "glTF's v already runs down the picture";
    std::vector<MatRecord> mats = Mats(dir.file("leaf.mat"));
    ASSERT_EQ(2u, mats.size());
    EXPECT_EQ(Row(mats[1]), Row({"LEAF_GREEN", {3277, 9830, 1638}, 0, ""}));

    // Found in --textures DIR; Z-up turns the model's Z into the shape's Y.
    std::vector<uint8_t> png;
    ASSERT_TRUE(PngEncodeRgba(kTexture, 2, 2, png));
    std::filesystem::create_directories(dir.file("pics"));
    WriteBytes(dir.file("pics/leaf.png"), png);
    r = Cli(dir, {"shape", "import", "leaf.gltf", "z.shp", "--scale", "10", "--axes", "z-up", "--textures", "pics"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_FALSE(Contains(r, "warning")) << r.output;
    polys = Polys(dir.file("z.shp"));
    ASSERT_EQ(1u, polys.size());
    EXPECT_EQ((std::vector<std::array<int32_t, 3>>{{-100, 40, -20}, {-120, 0, 0}, {-100, 0, 0}}), polys[0].points);
    EXPECT_EQ("LEAF.SPR", Mats(dir.file("z.mat"))[1].texture);

    // --fit: the largest extent (4 model units after the node) becomes 1000.
    r = Cli(dir, {"shape", "import", "leaf.gltf", "f.shp", "--fit", "1000"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_TRUE(Contains(r, "scale 250\n")) << r.output;
}

TEST(ModelImport, RoundTripsThroughGltfAndObj)
{
    TempDir dir;
    WriteText(dir.file("box.obj"), kObj);
    WriteText(dir.file("box.mtl"), kMtl);
    ASSERT_EQ(0, Cli(dir, {"shape", "import", "box.obj", "box.shp", "--scale", "100"}).exitCode);
    std::vector<Poly> original = Polys(dir.file("box.shp"));

    // OBJ keeps every polygon as it is.
    RunResult r = Cli(dir, {"shape", "export", "box.shp", "out.obj", "--materials", "box.mat"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    r = Cli(dir, {"shape", "import", "out.obj", "back.shp", "--scale", "1"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    std::vector<Poly> back = Polys(dir.file("back.shp"));
    ASSERT_EQ(original.size(), back.size());
    for (size_t i = 0; i < back.size(); i++) {
        EXPECT_EQ(original[i].points, back[i].points) << i;
        EXPECT_EQ(original[i].mapping, back[i].mapping) << i;
        EXPECT_EQ(original[i].material, back[i].material) << i;
    }
    std::vector<MatRecord> mats = Mats(dir.file("back.mat"));
    ASSERT_EQ(3u, mats.size());
    EXPECT_EQ(Row(mats[2]), Row({"GLASS", {1638, 4915, 14745}, 8192, ""}));

    // glTF holds triangles: the same points, mapping and materials, quads in two.
    for (const char* out : {"out.gltf", "out.glb"}) {
        r = Cli(dir, {"shape", "export", "box.shp", out, "--materials", "box.mat"});
        ASSERT_EQ(0, r.exitCode) << r.output;
        r = Cli(dir, {"shape", "import", out, "g.shp", "--scale", "1"});
        ASSERT_EQ(0, r.exitCode) << out << r.output;
        std::vector<Poly> g = Polys(dir.file("g.shp"));
        std::set<std::tuple<int32_t, int32_t, int32_t, int16_t, int16_t, std::string>> want, got;
        size_t triangles = 0;
        for (const Poly& p : original) {
            triangles += p.points.size() - 2;
            for (size_t k = 0; k < p.points.size(); k++)
                want.insert({p.points[k][0], p.points[k][1], p.points[k][2], p.mapping[k][0], p.mapping[k][1], p.material});
        }
        for (const Poly& p : g)
            for (size_t k = 0; k < p.points.size(); k++)
                got.insert({p.points[k][0], p.points[k][1], p.points[k][2], p.mapping[k][0], p.mapping[k][1], p.material});
        EXPECT_EQ(triangles, g.size()) << out;
        EXPECT_EQ(want, got) << out;
    }
}

TEST(ModelImport, LimitsAndSimplification)
{
    TempDir dir;
    // A grid of 130 x 130 squares: 33,800 triangles, past the 32,767 polygons of a shape.
    std::string obj;
    const int n = 130;
    for (int y = 0; y <= n; y++)
        for (int x = 0; x <= n; x++) obj += "v " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string((x * y) % 7) + "\n";
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            int a = y * (n + 1) + x + 1, b = a + 1, c = a + n + 2, d = a + n + 1;
            obj += "f " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + "\n";
            obj += "f " + std::to_string(a) + " " + std::to_string(c) + " " + std::to_string(d) + "\n";
        }
    WriteText(dir.file("grid.obj"), obj);
    RunResult r = Cli(dir, {"shape", "import", "grid.obj", "grid.shp"});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ("tolbex-cli: grid.obj: it makes 33800 polygons, past the shape limit of 32767 (--max-polygons simplifies it)\n",
              r.output);
    EXPECT_FALSE(PathExists(dir.file("grid.shp")));
    r = Cli(dir, {"shape", "import", "grid.obj", "grid.shp", "--max-polygons", "2000"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_TRUE(Contains(r, "simplified from 33800 faces: error ")) << r.output;
    size_t polygons = Polys(dir.file("grid.shp")).size();
    EXPECT_LE(polygons, 2000u);
    EXPECT_GE(polygons, 500u);

    // A scale that throws coordinates past 32 bits.
    WriteText(dir.file("tri.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    r = Cli(dir, {"shape", "import", "tri.obj", "t.shp", "--scale", "3e9"});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_TRUE(Contains(r, "past the shape range of 2147483647 units")) << r.output;
    r = Cli(dir, {"shape", "import", "tri.obj", "t.shp", "--scale", "2e9"});
    EXPECT_EQ(0, r.exitCode) << r.output;
}

TEST(ModelImport, DamagedAndHostileFilesGiveOneLine)
{
    TempDir dir;
    Bytes glb = {'g', 'l', 'T', 'F', 2, 0, 0, 0};
    AppendU32(glb, 4000);   // claims more than the file has
    AppendU32(glb, 2);
    glb.insert(glb.end(), {'J', 'S', 'O', 'N', '{', '}'});
    WriteBytes(dir.file("short.glb"), glb);
    Bytes stl(84, 0);
    PutU32(stl.data(), 80, 1000000);
    WriteBytes(dir.file("many.stl"), stl);
    std::string deep = R"({"asset":{"version":"2.0"},"nodes":[)";
    for (int i = 0; i < 100; i++) deep += std::string(i ? "," : "") + R"({"children":[)" + std::to_string(i + 1) + "]}";
    deep += R"(,{}]})";
    WriteText(dir.file("deep.gltf"), deep);
    WriteText(dir.file("loop.gltf"), R"({"asset":{"version":"2.0"},"nodes":[{"children":[1]},{"children":[0]}]})");
    WriteText(dir.file("inf.obj"), "v 1e999 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    WriteText(dir.file("flat.obj"), "v 0 0 0\nv 1 0 0\nf 1 2\n");
    WriteText(dir.file("text.fbx"), "; FBX 7.4.0 project file\nObjects: { Model: \"broken");
    WriteText(dir.file("notes.txt"), "keep me\n");
    WriteText(dir.file("tri.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    Bytes random(5000);
    for (size_t i = 0; i < random.size(); i++) random[i] = (uint8_t)(i * 2654435761u >> 13);
    WriteBytes(dir.file("noise.3ds"), random);
    WriteBytes(dir.file("noise.dae"), random);
    WriteBytes(dir.file("noise.ply"), random);
    struct Case {
        std::vector<std::string> args;
        std::string text;
    } cases[] = {
        {{"short.glb", "a.shp"}, "short.glb: its header gives a length of 4000 bytes, the file has 22"},
        {{"many.stl", "a.shp"}, "many.stl: it declares 1000000 triangles"},
        {{"deep.gltf", "a.shp"}, "deep.gltf: its scene graph is deeper than 64 levels"},
        {{"loop.gltf", "a.shp"}, "loop.gltf: its scene graph has a loop"},
        {{"inf.obj", "a.shp"}, "inf.obj: it has coordinates that are not finite numbers"},
        {{"flat.obj", "a.shp"}, "flat.obj: "},
        {{"text.fbx", "a.shp"}, "text.fbx: "},
        {{"noise.3ds", "a.shp"}, "noise.3ds: "},
        {{"noise.dae", "a.shp"}, "noise.dae: "},
        {{"noise.ply", "a.shp"}, "noise.ply: "},
        {{"gone.obj", "a.shp"}, "gone.obj: No such file"},
        {{"tri.obj", "notes.txt"}, "notes.txt exists and is no shape file"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"shape", "import"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        RunResult r = Cli(dir, args);
        EXPECT_EQ(1, r.exitCode) << c.args[0] << ": " << r.output;
        EXPECT_TRUE(Contains(r, "tolbex-cli: " + c.text)) << c.text << "\n" << r.output;
        EXPECT_EQ(1, std::count(r.output.begin(), r.output.end(), '\n')) << r.output;
    }
    EXPECT_EQ("keep me\n", ReadText(dir.file("notes.txt")));
    EXPECT_FALSE(PathExists(dir.file("a.shp")));
    EXPECT_FALSE(PathExists(dir.file("a.mat")));
}

// The shape of a model built in code: what the conversion does with faces and names.
TEST(ModelToShape, FacesNamesAndMapping)
{
    ModelData d;
    // A pentagon in the z = 0 plane, and a triangle with texture coordinates past 1.
    double pos[] = {0, 0, 0, 2, 0, 0, 3, 1, 0, 1, 2, 0, -1, 1, 0, 0, 0, 5, 1, 0, 5, 0, 1, 5};
    d.positions.assign(pos, pos + 24);
    d.hasUv = {0, 0, 0, 0, 0, 1, 1, 1};
    d.uvs = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2.5f, 1.25f, 3.0f, 1.25f, 2.5f, 1.75f};
    d.faceSize = {5, 3};
    d.faceMaterial = {0, 1};
    d.indices = {0, 1, 2, 3, 4, 5, 6, 7};
    d.materials.resize(2);
    d.materials[0].name = "a very long material name";
    d.materials[1].name = "A VERY LONG MATERIAL NAME";
    ModelShapeOptions o;
    o.scale = 100;
    ModelShape s;
    std::string why;
    ASSERT_EQ(0, ModelToShape(d, o, &s, why)) << why;
    EXPECT_EQ(4, s.polygons) << "the pentagon as three triangles";
    EXPECT_EQ(8, s.vertices);
    EXPECT_EQ((std::vector<std::string>{"A_VERY_LONG_MAT", "A_VERY_LONG_M_2"}), s.names);
    uint8_t* b = s.block.data();
    uint8_t* tri = ShapePolygon(b, 3);
    ASSERT_NE(nullptr, ShapePolyMapping(tri));
    // Moved by whole turns (2 and 1) into 0..1: reversed order 7, 6, 5.
    const uint8_t* map = ShapePolyMapping(tri);
    EXPECT_EQ((std::vector<int>{8192, 12288, 16384, 4096, 8192, 4096}),
              (std::vector<int>{GetI16(map, 0), GetI16(map, 2), GetI16(map, 4), GetI16(map, 6), GetI16(map, 8), GetI16(map, 10)}));
    EXPECT_EQ(nullptr, ShapePolyMapping(ShapePolygon(b, 0))) << "no texture coordinates, no mapping";

    // Default scale: the largest coordinate becomes 12288.
    o.scale = 0;
    ASSERT_EQ(0, ModelToShape(d, o, &s, why));
    EXPECT_DOUBLE_EQ(12288.0 / 5, s.scale);
    // A coordinate that is not finite is refused, as is a model without faces.
    d.positions[4] = NAN;
    EXPECT_EQ(1, ModelToShape(d, o, &s, why));
    EXPECT_EQ("it has coordinates that are not finite numbers", why);
    d.positions[4] = 0;
    d.uvs[10] = INFINITY;
    EXPECT_EQ(1, ModelToShape(d, o, &s, why));
    EXPECT_EQ("it has texture coordinates that are not finite numbers", why);
    d.uvs[10] = 0;
    d.faceSize.clear();
    d.faceMaterial.clear();
    d.indices.clear();
    EXPECT_EQ(1, ModelToShape(d, o, &s, why));
    EXPECT_EQ("it has no faces", why);
}

// The child's answer comes back whole, and a damaged one is refused, never used.
TEST(ModelToShape, AnswerPackedAndChecked)
{
    ModelData d;
    d.upAxis = MODEL_AXES_Z_UP;
    d.positions = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    d.uvs = {0.5f, 0.25f, 1, 0, 0, 1};
    d.hasUv = {1, 0, 1};
    d.faceSize = {3};
    d.faceMaterial = {1};
    d.indices = {2, 0, 1};
    d.materials.resize(2);
    d.materials[1].name = "Glass";
    d.materials[1].diffuse[2] = 0.25f;
    d.materials[1].specular = 0.75f;
    d.materials[1].texture = "t/x.png";
    d.materials[1].embedded = {1, 2, 3};
    std::vector<uint8_t> bytes;
    ModelPack(d, bytes);
    ModelData back;
    ASSERT_EQ(0, ModelUnpack(bytes.data(), bytes.size(), &back));
    EXPECT_EQ(MODEL_AXES_Z_UP, back.upAxis);
    EXPECT_EQ(d.positions, back.positions);
    EXPECT_EQ(d.uvs, back.uvs);
    EXPECT_EQ(d.hasUv, back.hasUv);
    EXPECT_EQ(d.indices, back.indices);
    EXPECT_EQ(d.faceMaterial, back.faceMaterial);
    ASSERT_EQ(2u, back.materials.size());
    EXPECT_EQ("Glass", back.materials[1].name);
    EXPECT_EQ(0.25f, back.materials[1].diffuse[2]);
    EXPECT_EQ(0.75f, back.materials[1].specular);
    EXPECT_EQ("t/x.png", back.materials[1].texture);
    EXPECT_EQ(d.materials[1].embedded, back.materials[1].embedded);

    EXPECT_EQ(1, ModelUnpack(bytes.data(), bytes.size() - 1, &back)) << "cut short";
    bytes.push_back(0);
    EXPECT_EQ(1, ModelUnpack(bytes.data(), bytes.size(), &back)) << "a byte too many";
    d.indices[1] = 3;
    ModelPack(d, bytes);
    EXPECT_EQ(1, ModelUnpack(bytes.data(), bytes.size(), &back)) << "a point past the vertices";
    d.indices[1] = 0;
    d.faceSize = {2};
    d.indices = {0, 1};
    ModelPack(d, bytes);
    EXPECT_EQ(1, ModelUnpack(bytes.data(), bytes.size(), &back)) << "a face of two points";
}
