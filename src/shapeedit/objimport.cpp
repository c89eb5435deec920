#include "shapeedit/objimport.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/folders.h"
#include "base/ini.h"
#include "base/log.h"
#include "frontend/editstate.h"
#include "frontend/msgbox.h"
#include "materials/matm.h"
#include "palette/palm.h"
#include "panels/matpanel.h"
#include "platform/platform.h"
#include "shapes/model.h"
#include "shapes/modelmat.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"

static void ReadSettings(ModelImportSettings* settings)
{
    *settings = ModelImportSettings{};
    // One settings table is open at a time; one held open now leaves every default.
    if (INIIsOpen() || INIOpen(AppSettingsFile(), 50) != 0) return;
    std::vector<std::string> refused;
    ModelReadImportSettings(INIGet, settings, refused);
    INIClose(nullptr);
    for (const std::string& text : refused) {
        LogPrintf(LOG_ERROR, "SETTINGS: %s", text.c_str());
        MsgBoxShow("Error", text.c_str());
    }
}

static std::string Leaf(const char* path)
{
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// "A, B, C" (and how many more past the first few, so that a box stays readable).
static std::string NameList(const std::vector<std::string>& names)
{
    enum { SHOWN = 6 };
    std::string text;
    for (size_t i = 0; i < names.size() && i < SHOWN; i++) text += (i ? ", " : "") + names[i];
    if (names.size() > SHOWN) text += " and " + std::to_string(names.size() - SHOWN) + " more";
    return text;
}

int ObjImportModel(const char* path)
{
    ModelImportSettings settings;
    ReadSettings(&settings);
    ModelData model;
    ModelShape shape;
    std::string why;
    int failed = 1;
    if (!ShapeMIsInstalled()) why = "the shape manager is not installed";
    else if (ModelRead(path, &model, why) == 0 && ModelToShape(model, settings.shape, &shape, why) == 0) {
        failed = shape.block.size() > ShapeMEdit()->capacity;
        if (failed) why = "it does not fit the edit buffer";
    }
    if (failed) {
        char text[400];
        snprintf(text, sizeof text, "! Unable to import model. %s", why.c_str());
        MsgBoxShow("File Error", text);
        return 1;
    }

    // The materials first, so that the shape binds to them as it comes in. Sprites go where the
    // Edit Material dialog puts a converted picture: beside the materials file, else the
    // working folder.
    std::string folder = MatPanelHasFile() ? MatPanelFileName() : "";
    size_t slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? "" : folder.substr(0, slash + 1);
    ModelMaterialsOptions options;
    options.modelFile = path;
    options.textures = settings.textures;
    options.spriteFolder = folder;
    uint8_t palette[256 * 3];
    if (!MatMTrueColour()) {
        PalMGetPalette(palette);
        options.palette = palette;
        options.paletteFirst = GetI16(PalMBlock(), 0);
        options.paletteCount = GetI16(PalMBlock(), 2);
    }
    ModelMaterialsReport report;
    ModelAddMaterials(model, shape, options, &report);
    std::vector<std::string> written;
    for (const ModelSpriteFile& sprite : report.sprites) {
        if (FileWrite((folder + sprite.name).c_str(), sprite.bytes.data(), sprite.bytes.size()) == 0) {
            MatMSetTexture(sprite.material, sprite.name.c_str());
            written.push_back(sprite.name);
        } else {
            report.warnings.push_back("sprite " + folder + sprite.name + " cannot be written; its material keeps its colour");
        }
    }
    if (ModelShapeToEditBuffer(shape, why)) {
        // Checked above; the materials added stay, unsaved, and harm nothing.
        MsgBoxShow("File Error", ("! Unable to import model. " + why).c_str());
        return 1;
    }

    std::string leaf = Leaf(path);
    for (const std::string& w : report.warnings) LogPrintf(LOG_WARN, "OBJECT: %s: %s", leaf.c_str(), w.c_str());
    LogPrintf(LOG_INFO, "OBJECT: %s: %d materials added, %d kept as loaded, %d sprites written", leaf.c_str(),
              (int)report.added.size(), (int)report.kept.size(), (int)written.size());
    EditNote("Imported %s: %d polygons, %d vertices, %d materials added (not saved yet), %d kept", leaf.c_str(),
             shape.polygons, shape.vertices, (int)report.added.size(), (int)report.kept.size());
    // Files written, a material of the user's that the model's did not replace, or a texture
    // left out: the user is told in a box, since each changes what they see or have on disk.
    if (written.empty() && report.kept.empty() && report.noRoom.empty() && report.warnings.empty()) return 0;
    std::string text = leaf + ":";
    if (!report.added.empty())
        text += " added to the materials (not saved yet): " + NameList(report.added) + ".";
    if (!report.kept.empty()) text += " Kept as they were loaded, the model's left out: " + NameList(report.kept) + ".";
    if (!report.noRoom.empty())
        text += " No room for " + NameList(report.noRoom) + " (at most " + std::to_string(MAT_MAX_RECORDS) +
                " materials).";
    if (!written.empty())
        text += " Textures made into sprites " +
                (MatPanelHasFile() ? "beside " + Leaf(MatPanelFileName())
                                   : std::string("in the working folder (the materials have no file yet)")) +
                ": " + NameList(written) + ".";
    for (const std::string& w : report.warnings) text += " The " + w + ".";
    MsgBoxShow("Import", text.c_str());
    return 0;
}
