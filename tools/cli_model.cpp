// tolbex-cli shape import and shape export: models from other tools (glTF, OBJ, FBX, 3DS,
// Collada, PLY, STL) made into a shape with its materials and textures, and shapes written
// back as glTF or OBJ with PNG textures.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "cli.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "palette/image.h"
#include "palette/palm.h"
#include "palette/png.h"
#include "platform/platform.h"
#include "shapes/model.h"
#include "shapes/modelmat.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"

static std::string ModelFolderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

static std::string ModelBaseName(const std::string& path)
{
    std::string p = path;
    for (char& c : p)
        if (c == '\\') c = '/';
    size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

static std::string ModelWithExtension(const std::string& path, const char* upper, const char* lower)
{
    size_t dot = path.find_last_of('.');
    size_t slash = path.find_last_of('/');
    bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    std::string base = hasExt ? path.substr(0, dot) : path;
    bool lowerCase = hasExt && islower((unsigned char)path[dot + 1]);
    return base + (lowerCase ? lower : upper);
}

// Files this command writes never replace a file of another kind.
static bool ModelMayWrite(const std::string& file, const char* kind, bool (*isKind)(const uint8_t*, size_t))
{
    if (!FileExists(file.c_str())) return true;
    int64_t size = FileSize(file.c_str());
    std::vector<uint8_t> head((size_t)std::min<int64_t>(std::max<int64_t>(size, 0), 16));
    if (size >= 0 && (head.empty() || FileReadAt(file.c_str(), 0, head.data(), head.size()) == 0) &&
        isKind(head.data(), (size_t)size))
        return true;
    CliFail(1, "%s exists and is no %s: it is not written over", file.c_str(), kind);
    return false;
}

static bool IsShape(const uint8_t* d, size_t size)
{
    return size >= 12 && GetU32(d, SH_SIZE) == size && GetU16(d, SH_VERSION) >= SHAPE_OLDEST_VERSION &&
           GetU16(d, SH_VERSION) <= SHAPE_VERSION;
}
static bool IsMat(const uint8_t* d, size_t size)
{
    return size >= MAT_HEADER_SIZE && GetI16(d, MH_VERSION) >= 2 && GetI16(d, MH_VERSION) <= MAT_VERSION;
}

static struct {
    std::string model, out, materials, textures, axes;
    double scale = 0, fit = 0;
    int maxPolygons = 0;
} modelImp;

static void ModelImport(void)
{
    CliStartManagers();
    const std::string& in = modelImp.model;
    std::string matFile = modelImp.materials.empty() ? ModelWithExtension(modelImp.out, ".MAT", ".mat") : modelImp.materials;
    if (!ModelMayWrite(modelImp.out, "shape file", IsShape) || !ModelMayWrite(matFile, "materials file", IsMat)) return;
    ModelShapeOptions o;
    o.scale = modelImp.scale;
    o.fit = modelImp.fit;
    o.maxPolygons = modelImp.maxPolygons;
    o.axes = modelImp.axes == "z-up" ? MODEL_AXES_Z_UP : modelImp.axes == "y-up" ? MODEL_AXES_Y_UP : MODEL_AXES_FROM_FILE;
    ModelData model;
    std::string why;
    if (ModelRead(in.c_str(), &model, why)) {
        CliFail(1, "%s: %s", in.c_str(), why.c_str());
        return;
    }
    ModelShape shape;
    if (ModelToShape(model, o, &shape, why)) {
        CliFail(1, "%s: %s", in.c_str(), why.c_str());
        return;
    }

    // Materials, and their textures as sprites beside the materials file.
    if (IntMatCreate(512)) {
        CliFail(1, "cannot create the material table");
        return;
    }
    MatMInstall();
    MatMSetTrueColour();
    ModelMaterialsOptions mo;
    mo.modelFile = in;
    mo.textures = modelImp.textures;
    mo.spriteFolder = ModelFolderOf(matFile);
    ModelMaterialsReport report;
    ModelAddMaterials(model, shape, mo, &report);
    for (const std::string& w : report.warnings) CliWarn("%s", w.c_str());
    for (const ModelSpriteFile& s : report.sprites) MatMSetTexture(s.material, s.name.c_str());
    if (CliWrite(modelImp.out, shape.block.data(), shape.block.size())) return;
    errno = 0;
    if (MatMSave(matFile.c_str())) {
        CliWriteFailed(matFile);
        return;
    }
    for (const ModelSpriteFile& s : report.sprites)
        if (CliWrite(mo.spriteFolder + s.name, s.bytes.data(), s.bytes.size())) return;
    printf("%s: %s, %s, %s, scale %g\n", modelImp.out.c_str(), CliCount(shape.vertices, "vertex", "vertices").c_str(),
           CliCount(shape.polygons, "polygon", "polygons").c_str(),
           CliCount((long long)shape.names.size(), "material", "materials").c_str(), shape.scale);
    if (shape.simplified)
        printf("simplified from %s: error %.2f%% of the model's size\n",
               CliCount(shape.sourceFaces, "face", "faces").c_str(), shape.simplifyError * 100);
    printf("%s: %s", matFile.c_str(), CliCount((long long)shape.names.size(), "material", "materials").c_str());
    for (const ModelSpriteFile& s : report.sprites) printf(", %s", s.name.c_str());
    printf("\n");
    gCliResult = 0;
}

static std::string modelExpIn, modelExpOut;

static void ModelExport(void)
{
    CliShapeStart();
    if (gCliResult) return;
    if (!ShapeMIsInstalled()) ShapeMInstall();
    if (CliTakeInShape(modelExpIn)) return;
    const uint8_t* block = ShapeMEdit()->data;
    // Each material name the polygons use, with its colour and texture from the materials.
    std::vector<ModelExportMaterial> materials;
    std::vector<std::string> seen;
    uint8_t palette[256 * 3];
    PalMGetPalette(palette);
    std::string outFolder = ModelFolderOf(modelExpOut);
    int polygons = ShapePolygonCount(block);
    for (int i = 0; i <= polygons; i++) {
        std::string name = i < polygons ? ModelPolygonMaterialName(block, i) : "";
        if (name.empty()) name = "DUMMY";
        if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
        if (i == polygons && !materials.empty()) break;   // the fallback only when nothing else
        seen.push_back(name);
        ModelExportMaterial m;
        m.name = name;
        for (int k = 0; k < MatMCount(); k++) {
            if (strcasecmp(MatMGetName(k), name.c_str()) != 0) continue;
            const uint8_t* r = MatMRecord(k);
            for (int c = 0; c < 3; c++) m.diffuse[c] = GetI32(r, MR_RED + 4 * c) / (float)MAT_COLOUR_MAX;
            int32_t alpha = GetI32(r, MR_ALPHA);
            m.diffuse[3] = alpha == 0 ? 1.0f : alpha / (float)MAT_COLOUR_MAX;
            std::string texture = MatMGetTexture(k);
            if (texture.empty()) break;
            std::string spritePath = ModelFolderOf(CliShapeMaterialsFile()) + texture;
            ResId id = 0;
            char found[1024];
            if (FileFind(spritePath.c_str(), found, sizeof found))
                id = CliReadFile(found, SPRITE_MAX_FILE_SIZE, "a sprite file");
            gCliResult = 0;
            ImgPicture picture;
            std::string why = "it is not found beside the materials file";
            bool ok = id && SpriteLoad(id) == 0 && ImgFromSprite(id, palette, &picture, why) == 0;
            if (id && !ok && why.empty()) why = SpriteLastRefusal();
            if (id) ResFreeAlways(id);
            std::vector<uint8_t> png;
            std::string pngName = ModelBaseName(ModelWithExtension(texture, ".png", ".png"));
            for (char& c : pngName) c = (char)tolower((unsigned char)c);
            if (ok && PngEncodeRgba(picture.rgba.data(), picture.width, picture.height, png) &&
                CliWrite(outFolder + pngName, png.data(), png.size()) == 0)
                m.texture = pngName;
            else if (!ok)
                CliWarn("texture %s of material %s cannot be written (%s)", texture.c_str(), name.c_str(), why.c_str());
            break;
        }
        materials.push_back(m);
    }
    std::string why;
    if (ModelExportShape(block, materials, modelExpOut.c_str(), why)) {
        CliFail(1, "cannot write %s: %s", modelExpOut.c_str(), why.c_str());
        return;
    }
    printf("%s: %s, %s\n", modelExpOut.c_str(), CliCount(polygons, "polygon", "polygons").c_str(),
           CliCount((long long)materials.size(), "material", "materials").c_str());
    gCliResult = 0;
}

void CliAddModel(CLI::App& app)
{
    CLI::App* shape = CliGroup(app, "shape");
    CLI::App* im = shape->add_subcommand(
        "import", "Make a shape, its materials and texture sprites of a glTF, OBJ, FBX, 3DS, Collada, PLY or STL model");
    im->add_option("MODEL", modelImp.model, "Model file")->required();
    im->add_option("OUT", modelImp.out, "SHP file to write")->required();
    im->add_option("--materials", modelImp.materials, "MAT file to write (default: OUT with .MAT)");
    im->add_option("--textures", modelImp.textures, "Folder to look for textures in after the model's own");
    CLI::Option* scale = im->add_option("--scale", modelImp.scale, "Shape units per model unit")->check(CLI::PositiveNumber);
    im->add_option("--fit", modelImp.fit, "Scale so that the largest extent is this many units")
        ->check(CLI::PositiveNumber)
        ->excludes(scale);
    im->add_option("--max-polygons", modelImp.maxPolygons, "Simplify to at most this many polygons (meshoptimizer)")
        ->check(CLI::Range(1, (int)SHAPE_MAX_COUNT));
    im->add_option("--axes", modelImp.axes, "y-up or z-up (default: what the file says; glTF and OBJ are Y-up)")
        ->check(CLI::IsMember({"y-up", "z-up"}));
    im->callback(ModelImport);

    CLI::App* ex = shape->add_subcommand("export", "Write a shape as a glTF (.gltf, .glb) or OBJ model with PNG textures");
    ex->add_option("SHP", modelExpIn, "Shape file")->required();
    ex->add_option("OUT", modelExpOut, "Model file to write: .gltf, .glb or .obj")->required();
    CliShapeOptions(ex);
    ex->callback(ModelExport);
}
