#include "shapes/modelmat.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/files.h"
#include "materials/matm.h"
#include "palette/image.h"
#include "shapes/shape.h"

// ---- settings -------------------------------------------------------------------------------

// A whole decimal number or a decimal fraction, finite, nothing after it.
static bool ReadNumber(const char* text, double* out)
{
    while (*text == ' ') text++;
    if (!*text) return false;
    errno = 0;
    char* end = nullptr;
    double v = strtod(text, &end);
    while (end && *end == ' ') end++;
    if (errno || !end || *end || !std::isfinite(v)) return false;
    // strtod takes "inf", "nan" and hexadecimal; a setting is a plain decimal number.
    for (const char* p = text; p < end; p++)
        if (*p == 'x' || *p == 'X' || *p == 'n' || *p == 'N' || *p == 'i' || *p == 'I') return false;
    *out = v;
    return true;
}

static void IgnoreEntry(const char*, int, void*) {}
static bool IsFolder(const char* path) { return FileListFolder(path, IgnoreEntry, nullptr) == 0; }

static std::string Refusal(const char* key, const char* value, const char* rule, const char* kept)
{
    char text[300];
    snprintf(text, sizeof text, "tolbex.ini: %s must be %s, not \"%.40s\"; %s.", key, rule, value, kept);
    return text;
}

void ModelReadImportSettings(const char* (*get)(const char* key), ModelImportSettings* out,
                             std::vector<std::string>& refused)
{
    *out = ModelImportSettings{};
    const char* v;
    double d = 0;
    if ((v = get(MODEL_KEY_SCALE))) {
        if (ReadNumber(v, &d) && d >= 0) out->shape.scale = d;
        else
            refused.push_back(Refusal(MODEL_KEY_SCALE, v, "0 (from the model's size) or shape units per model unit",
                                      "the scale comes from the model's size"));
    }
    if ((v = get(MODEL_KEY_FIT))) {
        if (!ReadNumber(v, &d) || d <= 0)
            refused.push_back(Refusal(MODEL_KEY_FIT, v, "the size in units the model's largest extent becomes",
                                      "the scale comes from the model's size"));
        else if (out->shape.scale > 0)
            refused.push_back(Refusal(MODEL_KEY_FIT, v, "absent while " MODEL_KEY_SCALE " is set",
                                      MODEL_KEY_SCALE " is used"));
        else
            out->shape.fit = d;
    }
    if ((v = get(MODEL_KEY_AXES))) {
        std::string a = v;
        for (char& c : a) c = (char)tolower((unsigned char)c);
        if (a == "y-up") out->shape.axes = MODEL_AXES_Y_UP;
        else if (a == "z-up") out->shape.axes = MODEL_AXES_Z_UP;
        else if (a == "file") out->shape.axes = MODEL_AXES_FROM_FILE;
        else
            refused.push_back(Refusal(MODEL_KEY_AXES, v, "y-up, z-up or file", "the axes the file says are used"));
    }
    if ((v = get(MODEL_KEY_POLYGONS))) {
        char rule[80];
        snprintf(rule, sizeof rule, "0 (refuse a larger model) to %d", (int)SHAPE_MAX_COUNT);
        if (ReadNumber(v, &d) && d >= 0 && d <= (double)SHAPE_MAX_COUNT && d == std::floor(d)) out->shape.maxPolygons = (int)d;
        else refused.push_back(Refusal(MODEL_KEY_POLYGONS, v, rule, "a model past the limits is refused"));
    }
    if ((v = get(MODEL_KEY_TEXTURES)) && *v) {
        if (IsFolder(v)) out->textures = v;
        else
            refused.push_back(Refusal(MODEL_KEY_TEXTURES, v, "a folder",
                                      "textures are looked for beside the model only"));
    }
}

// ---- materials ------------------------------------------------------------------------------

static std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

static std::string LeafOf(const std::string& path)
{
    std::string p = path;
    for (char& c : p)
        if (c == '\\') c = '/';
    size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

// The picture of a material's texture: embedded, or found from the model's folder, then in
// the textures folder. 0, or 1 with the reason.
static int ReadTexture(const ModelMaterial& m, const ModelMaterialsOptions& o, ImgPicture* out, std::string& why)
{
    if (!m.embedded.empty()) return ImgLoadMemory(m.embedded.data(), m.embedded.size(), out, why);
    std::string given = m.texture;
    for (char& c : given)
        if (c == '\\') c = '/';
    std::string modelFolder = FolderOf(o.modelFile);
    std::vector<std::string> tries;
    if (!given.empty() && given[0] == '/') tries.push_back(given);
    tries.push_back(modelFolder + given);
    tries.push_back(modelFolder + LeafOf(given));
    if (!o.textures.empty()) {
        tries.push_back(o.textures + "/" + given);
        tries.push_back(o.textures + "/" + LeafOf(given));
    }
    for (const std::string& t : tries) {
        char found[1024];
        if (FileFind(t.c_str(), found, sizeof found)) return ImgLoad(found, out, why);
    }
    why = "it is not found beside the model" + std::string(o.textures.empty() ? "" : " nor in " + o.textures);
    return 1;
}

static int ToColour(float v) { return (int)std::lround(std::clamp(v, 0.0f, 1.0f) * (float)MAT_COLOUR_MAX); }

void ModelAddMaterials(const ModelData& model, const ModelShape& shape, const ModelMaterialsOptions& o,
                       ModelMaterialsReport* report)
{
    std::vector<std::string> taken;
    for (size_t k = 0; k < shape.names.size(); k++) {
        const std::string& name = shape.names[k];
        if (MatMFind(name.c_str())) {
            report->kept.push_back(name);
            continue;
        }
        if (MatMCount() >= MAT_MAX_RECORDS) {
            report->noRoom.push_back(name);
            continue;
        }
        // Appended: the indices the shapes in memory are bound to stay as they are.
        int index = MatMCount();
        MatMAdd(index);
        MatMSetName(index, name.c_str());
        int used = k < shape.materialsUsed.size() ? shape.materialsUsed[k] : -1;
        ModelMaterial m = used >= 0 && (size_t)used < model.materials.size() ? model.materials[used] : ModelMaterial{};
        if (MatMTrueColour()) {
            MatMSetRed(index, ToColour(m.diffuse[0]));
            MatMSetGreen(index, ToColour(m.diffuse[1]));
            MatMSetBlue(index, ToColour(m.diffuse[2]));
        } else if (o.palette) {
            // A palette material's colour is its nearest working colour.
            int rgb[3];
            for (int c = 0; c < 3; c++) rgb[c] = (int)std::lround(std::clamp(m.diffuse[c], 0.0f, 1.0f) * 255.0f);
            MatMSetPalette(index, ImgNearest(o.palette, o.paletteFirst, o.paletteCount, rgb[0], rgb[1], rgb[2]));
        }
        // Alpha 0 draws a material opaque; any other value blends it by that much.
        MatMSetAlpha(index, m.diffuse[3] >= 1.0f ? 0 : std::max(1, ToColour(m.diffuse[3])));
        MatMSetAmbient(index, MAT_COLOUR_MAX / 4);
        MatMSetDiffuse(index, MAT_COLOUR_MAX);
        MatMSetSpecular(index, ToColour(m.specular));
        report->added.push_back(name);
        if (m.texture.empty() && m.embedded.empty()) continue;
        ImgPicture picture;
        std::string why;
        ImgSpriteOptions so;
        so.format = o.palette ? IMG_FORMAT_8 : IMG_FORMAT_32;
        so.palette = o.palette;
        so.paletteFirst = o.paletteFirst;
        so.paletteCount = o.paletteCount;
        std::vector<uint8_t> bytes;
        int failed = ReadTexture(m, o, &picture, why);
        if (!failed) {
            so.resizePow2 = picture.width > IMG_MAX_SIDE || picture.height > IMG_MAX_SIDE;
            failed = ImgToSprite(picture, so, bytes, nullptr, why);
        }
        if (failed) {
            report->warnings.push_back("texture " + (m.texture.empty() ? std::string("(embedded)") : m.texture) +
                                       " of material " + name + " cannot be used (" + why +
                                       "); the material keeps its colour");
            continue;
        }
        std::string spriteName = ImgSpriteFileName(m.texture.empty() ? name : m.texture, o.spriteFolder, taken);
        report->sprites.push_back({spriteName, std::move(bytes), index});
    }
}
