// tolbex-cli shape info and upgrade: show SHP files and upgrade them to the current version.
// Other command files add to the same group and share the material options, the start-up and
// the shape reading given here.
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/maths.h"
#include "base/res.h"
#include "cli.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "palette/palm.h"
#include "platform/platform.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"

using nlohmann::json;

// One command runs per process, so every shape command can share these.
static std::string shapeMaterials, shapePalette;

// ============================================================================================
// Shared by the shape commands
// ============================================================================================

void CliShapeOptions(CLI::App* cmd)
{
    cmd->add_option("--materials", shapeMaterials, "MAT file to load first, so that materials bind by name");
    cmd->add_option("--palette", shapePalette, "PAL file to load first");
}

const std::string& CliShapeMaterialsFile(void) { return shapeMaterials; }

void CliShapeStart(void)
{
    CliStartManagers();
    PalMInstall(PAL_USER_COLOURS);
    if (!shapePalette.empty()) {
        if (CliCheckReadable(shapePalette, PAL_FILE_SIZE, "a palette file")) return;
        if (PalMLoad(shapePalette.c_str())) {
            CliFail(1, "%s: %s", shapePalette.c_str(), CliPaletteRefusal().c_str());
            return;
        }
    }
    if (IntMatCreate(512)) {
        CliFail(1, "cannot create the material table");
        return;
    }
    MatMInstall();
    MatMSetTrueColour();
    if (!shapeMaterials.empty()) {
        // Checked first, so that a refusal says why.
        int version;
        ResId id = CliReadMat(shapeMaterials, &version);
        if (!id) return;
        ResFreeAlways(id);
        if (MatMLoad(shapeMaterials.c_str())) {
            CliFail(1, "%s: more than %d materials", shapeMaterials.c_str(), (int)MAT_MAX_RECORDS);
            return;
        }
    }
}

ResId CliReadShape(const std::string& file, int* fileVersion)
{
    ResId id = CliReadFile(file, SHAPE_MAX_FILE_SIZE, "a shape file");
    if (!id) return 0;
    const uint8_t* data = (const uint8_t*)ResPeek(id);
    size_t size = ResSize(id);
    int version = size >= 2 ? GetU16(data, SH_VERSION) : -1;
    if (version < SHAPE_OLDEST_VERSION || version > SHAPE_VERSION) {
        // SHP files have no magic: a block of another version is told by its header, whose
        // used size is the file's and whose shift is in range.
        bool shape = size >= SH_SIZE + 4 && GetU32(data, SH_SIZE) == size && GetU16(data, SH_SHIFT) <= SHAPE_MAX_SHIFT;
        if (!shape)
            CliFail(1, "%s: not a shape file", file.c_str());
        else
            CliFail(1, "%s: shape version %d is %s than this program reads (%d to %d)", file.c_str(), version,
                    version > SHAPE_VERSION ? "newer" : "older", SHAPE_OLDEST_VERSION, SHAPE_VERSION);
        ResFreeAlways(id);
        return 0;
    }
    char why[192];
    if (!ShapeCheck(data, size, why, sizeof why)) {
        CliFail(1, "%s: %s", file.c_str(), why);
        ResFreeAlways(id);
        return 0;
    }
    *fileVersion = version;
    return id;
}

int CliTakeInShape(const std::string& file)
{
    int version;
    ResId id = CliReadShape(file, &version);
    if (!id) return 1;
    int failed = ShapeMTakeIn(id);
    ResFreeAlways(id);
    return failed ? CliFail(1, "%s: %s", file.c_str(), ShapeMLastError()) : 0;
}

// A checked shape file converted to the current version in its resource, or 0 after an error line.
static ResId ReadShape(const std::string& file, int* fileVersion)
{
    ResId id = CliReadShape(file, fileVersion);
    if (id && ShapeLoad(id)) {
        CliFail(1, "%s: %s", file.c_str(), ShapeLastError());
        ResFreeAlways(id);
        return 0;
    }
    return id;
}

// ============================================================================================
// shape info
// ============================================================================================

// A material name of the table: 16 bytes, space padded.
static std::string TableName(const uint8_t* entry)
{
    std::string s = CliPrintable(entry, SHAPE_NAME_CHARS);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

static json Triple(const int32_t v[3]) { return json::array({v[0], v[1], v[2]}); }
static json I16s(const uint8_t* p, int count)
{
    json a = json::array();
    for (int i = 0; i < count; i++) a.push_back(GetI16(p, 2 * i));
    return a;
}

static json DescribeShape(uint8_t* b, const std::string& file, int fileVersion)
{
    int32_t lo[3], hi[3];
    for (int a = 0; a < 3; a++) lo[a] = GetI32(b, SH_MIN + 4 * a), hi[a] = GetI32(b, SH_MAX + 4 * a);
    json info = {
        {"file", file},
        {"fileVersion", fileVersion},
        {"version", ShapeVersion(b)},
        {"shift", ShapeShift(b)},
        {"flags", GetU16(b, SH_FLAGS)},
        {"word06", GetU16(b, SH_RESERVED_WORD)},
        {"size", ShapeUsedSize(b)},
        {"word0C", GetU32(b, SH_RESERVED_LONG)},
        {"offsets",
         {{"vertices", GetU32(b, SH_VERTICES)},
          {"polygons", GetU32(b, SH_POLYGONS)},
          {"names", GetU32(b, SH_NAMES)},
          {"extra", GetU32(b, SH_EXTRA)}}},
        {"word40", GetU32(b, SH_RESERVED_TAIL)},
        {"radius", GetI32(b, SH_RADIUS)},
        {"box", {{"min", Triple(lo)}, {"max", Triple(hi)}}},
        {"noSort", GetI16(b, SH_NOSORT)},
        {"maxNormalAngle", GetI16(b, SH_MAXANGLE)},
    };

    json vertices = json::array();
    for (int i = 0; i < ShapeVertexCount(b); i++) {
        int32_t world[3];
        ShapeVertexPos(b, i, world);
        uint32_t name = ShapePointName(b, i);
        uint8_t chars[4] = {(uint8_t)(name >> 24), (uint8_t)(name >> 16), (uint8_t)(name >> 8), (uint8_t)name};
        vertices.push_back({{"index", i},
                            {"world", Triple(world)},
                            {"stored", I16s(ShapeVertex(b, i), 3)},
                            {"flags", ShapeVertexFlags(b, i)},
                            {"name", CliPrintable(chars, 4)}});
    }
    info["vertices"] = vertices;

    // What the editor's binding would make of each polygon's material, on a copy.
    std::vector<uint8_t> bound(b, b + ShapeUsedSize(b));
    ShapeBindMaterials(bound.data(), SHAPE_NAME_CHARS);
    json polygons = json::array();
    uint8_t* p = ShapeFirstPolygon(b);
    uint8_t* q = ShapeFirstPolygon(bound.data());
    for (int i = 0; i < ShapePolygonCount(b); i++, p = ShapeNextPolygon(p), q = ShapeNextPolygon(q)) {
        int n = ShapePolyPoints(p);
        json points = json::array();
        for (int k = 0; k < n; k++) points.push_back(ShapePolyIndex(p, k));
        int binds = GetU16(q, 2);
        json poly = {{"index", i},
                     {"flags", GetU16(p, 0)},
                     {"material", GetU16(p, 2)},
                     {"binds", binds & MAT_UNRESOLVED ? json(nullptr) : json(binds)},
                     {"normal", I16s(p + 4, 3)},
                     {"points", points}};
        if (binds < IntMatCount()) poly["bindsName"] = TableName(IntMatPtr(binds) + IM_NAME);
        if (uint8_t* normals = ShapePolyNormals(p)) {
            json a = json::array();
            for (int k = 0; k < n; k++) a.push_back(I16s(normals + 6 * k, 3));
            poly["pointNormals"] = a;
        }
        if (uint8_t* mapping = ShapePolyMapping(p)) {
            json a = json::array();
            for (int k = 0; k < n; k++) a.push_back(I16s(mapping + 4 * k, 2));
            poly["mapping"] = a;
        }
        polygons.push_back(poly);
    }
    info["polygons"] = polygons;

    json names = json::array();
    const uint8_t* e = ShapeNames(b);
    for (int i = 0; i < ShapeNameCount(b); i++, e += SHAPE_NAME_ENTRY_SIZE) {
        char key[SHAPE_NAME_CHARS + 1];
        memcpy(key, e, SHAPE_NAME_CHARS);
        key[SHAPE_NAME_CHARS] = 0;
        int found = IntMatFind(key);
        names.push_back({{"name", TableName(e)},
                         {"id", GetU16(e, SHAPE_NAME_CHARS)},
                         {"binds", found == IM_NONE ? json(nullptr) : json(found)}});
    }
    info["materialNames"] = names;
    return info;
}

static void PrintShapeInfo(const json& i)
{
    printf("%s: SHP version %d", i["file"].get<std::string>().c_str(), i["version"].get<int>());
    if (i["fileVersion"] != i["version"]) printf(" (converted from version %d)", i["fileVersion"].get<int>());
    printf(", %u bytes\n", i["size"].get<unsigned>());
    printf("shift %d  flags 0x%04X  word 0x06 0x%04X  word 0x0C 0x%08X  word 0x40 0x%08X\n", i["shift"].get<int>(),
           i["flags"].get<unsigned>(), i["word06"].get<unsigned>(), i["word0C"].get<unsigned>(),
           i["word40"].get<unsigned>());
    const json& o = i["offsets"];
    printf("offsets: vertices %u  polygons %u  names %u  extra %u\n", o["vertices"].get<unsigned>(),
           o["polygons"].get<unsigned>(), o["names"].get<unsigned>(), o["extra"].get<unsigned>());
    printf("radius %d  box %s to %s\n", i["radius"].get<int>(), CliVector(i["box"]["min"]).c_str(),
           CliVector(i["box"]["max"]).c_str());
    printf("no sort %d  max normal angle %d\n", i["noSort"].get<int>(), i["maxNormalAngle"].get<int>());

    printf("%s\n", CliCount((long long)i["vertices"].size(), "vertex", "vertices").c_str());
    for (const json& v : i["vertices"]) {
        printf("  %5d  world %-24s stored %-20s flags 0x%04X", v["index"].get<int>(), CliVector(v["world"]).c_str(),
               CliVector(v["stored"]).c_str(), v["flags"].get<unsigned>());
        if (!v["name"].get<std::string>().empty()) printf("  name \"%s\"", v["name"].get<std::string>().c_str());
        printf("\n");
    }
    printf("%s\n", CliCount((long long)i["polygons"].size(), "polygon", "polygons").c_str());
    for (const json& p : i["polygons"]) {
        printf("  %5d  flags 0x%04X  material 0x%04X ", p["index"].get<int>(), p["flags"].get<unsigned>(),
               p["material"].get<unsigned>());
        if (p["binds"].is_null())
            printf("(unresolved)");
        else
            printf("(binds %d \"%s\")", p["binds"].get<int>(), p.value("bindsName", std::string()).c_str());
        printf("  normal %s  points %s\n", CliVector(p["normal"]).c_str(), CliJoin(p["points"], " ").c_str());
        if (p.contains("pointNormals")) {
            std::string s;
            for (const json& n : p["pointNormals"]) s += " " + CliVector(n);
            printf("         point normals%s\n", s.c_str());
        }
        if (p.contains("mapping")) {
            std::string s;
            for (const json& m : p["mapping"]) s += " " + CliVector(m);
            printf("         mapping%s\n", s.c_str());
        }
    }
    printf("%s\n", CliCount((long long)i["materialNames"].size(), "material name", "material names").c_str());
    for (const json& n : i["materialNames"]) {
        printf("  %-18s id 0x%04X  ", ("\"" + n["name"].get<std::string>() + "\"").c_str(), n["id"].get<unsigned>());
        if (n["binds"].is_null())
            printf("not found\n");
        else
            printf("binds %d\n", n["binds"].get<int>());
    }
}

static void ShapeInfoCmd(const std::string& file, bool asJson)
{
    CliShapeStart();
    if (gCliResult) return;
    int fileVersion = 0;
    ResId id = ReadShape(file, &fileVersion);
    if (!id) return;
    json info = DescribeShape((uint8_t*)ResOpen(id), file, fileVersion);
    ResClose(id);
    ResFreeAlways(id);
    if (asJson)
        printf("%s\n", info.dump(2, ' ', false, json::error_handler_t::replace).c_str());
    else
        PrintShapeInfo(info);
    gCliResult = 0;
}

// ============================================================================================
// shape upgrade
// ============================================================================================

static void ShapeUpgradeCmd(const std::string& in, const std::string& out)
{
    CliShapeStart();
    if (gCliResult) return;
    int fileVersion = 0;
    ResId id = ReadShape(in, &fileVersion);
    if (!id) return;
    const uint8_t* b = (const uint8_t*)ResPeek(id);
    uint32_t size = ShapeUsedSize(b);
    int failed = CliWrite(out, b, size);
    ResFreeAlways(id);
    if (failed) return;
    printf("%s: version %d from version %d, %u bytes\n", out.c_str(), SHAPE_VERSION, fileVersion, size);
    gCliResult = 0;
}

void CliAddShape(CLI::App& app)
{
    CLI::App* shape = CliGroup(app, "shape");

    static std::string infoFile;
    static bool infoJson;
    CLI::App* info = shape->add_subcommand("info", "Show a shape: header, vertices, polygons, material names");
    info->add_option("FILE", infoFile, "SHP file")->required();
    info->add_flag("--json", infoJson, "Write JSON");
    CliShapeOptions(info);
    info->callback([] { ShapeInfoCmd(infoFile, infoJson); });

    static std::string upIn, upOut;
    CLI::App* upgrade =
        shape->add_subcommand("upgrade", "Write an SHP file of version 12 to 16 as version 16 (12 to 15 converted)");
    upgrade->add_option("IN", upIn, "SHP file to read")->required();
    upgrade->add_option("OUT", upOut, "SHP file to write")->required();
    CliShapeOptions(upgrade);
    upgrade->callback([] { ShapeUpgradeCmd(upIn, upOut); });
}
