// What a model brings besides its shape: its materials, added by name to the material list,
// and their textures made into sprites; and the import options the editor takes from
// tolbex.ini, as `tolbex-cli shape import` takes them on its command line. Both the command
// and the editor's import go through here, so that a model comes in the same either way.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "shapes/model.h"

// The options of an import besides the shape's: where else textures are looked for.
struct ModelImportSettings {
    ModelShapeOptions shape;
    std::string textures;     // a folder searched after the model's own, "" none
};

// tolbex.ini's keys for the editor's import (at most 15 characters, as the table allows).
#define MODEL_KEY_SCALE "importscale"        // shape units per model unit; 0 = from the model's size
#define MODEL_KEY_FIT "importfit"            // the largest extent becomes this many units
#define MODEL_KEY_AXES "importaxes"          // y-up, z-up, or file (what the file says)
#define MODEL_KEY_POLYGONS "importpolygons"  // simplify to at most this many polygons; 0 = refuse instead
#define MODEL_KEY_TEXTURES "importtextures"  // a folder searched for textures after the model's own

// Reads the import's keys through `get` (a key's value, or null when it is absent). A value
// that cannot be used leaves its default and adds one line to `refused` naming the key, the
// value and what is used instead.
void ModelReadImportSettings(const char* (*get)(const char* key), ModelImportSettings* out,
                             std::vector<std::string>& refused);

// A texture made into a sprite, to be written beside the materials file.
struct ModelSpriteFile {
    std::string name;         // 8.3, as the material record holds it
    std::vector<uint8_t> bytes;
    int material = 0;         // the list index of the material it is the texture of
};

struct ModelMaterialsReport {
    std::vector<std::string> added;      // materials appended to the list
    std::vector<std::string> kept;       // names the list had already: its material stays as it was
    std::vector<std::string> noRoom;     // names past the list's 1000 materials
    std::vector<ModelSpriteFile> sprites;
    std::vector<std::string> warnings;   // a texture that cannot be used, one line each
};

struct ModelMaterialsOptions {
    std::string modelFile;      // the model's path: its folder is searched for textures first
    std::string textures;       // then this folder ("" none)
    std::string spriteFolder;   // where the sprites will be written, with its '/' ("" the working folder)
    // 8-bit sprites in this palette (256 triples of 6-bit components; entries first..first+count-1
    // are the working colours), null: 32-bit sprites.
    const uint8_t* palette = nullptr;
    int paletteFirst = 0, paletteCount = 0;
};

// Appends to the material list (matm.h) each material the shape names that the list has not
// (letter case ignored), never changing one it has: colour, alpha and specular from the
// model's material, its texture made into a sprite named to fit the record. The sprites are
// neither written nor named in the materials yet: the caller writes report->sprites into
// spriteFolder, then names each in its material (MatMSetTexture), since naming a texture
// loads it. A texture that cannot be used is a warning and its material keeps its colour.
void ModelAddMaterials(const ModelData& model, const ModelShape& shape, const ModelMaterialsOptions& options,
                       ModelMaterialsReport* report);
