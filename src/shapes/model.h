// Models from the tools artists use (glTF 2.0, OBJ with MTL, FBX, binary 3DS, Collada, PLY,
// STL) read through Assimp and made into shape blocks, and shape blocks written back as glTF
// or OBJ. Assimp reads the user's file in a child process with limits (platform/sandbox.h):
// a crash, a hang or a runaway allocation there is a refusal naming the reason, never the end
// of the editor. What can be checked cheaply is checked before the library sees the file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum {
    MODEL_MAX_FILE_SIZE = 256 << 20,
    MODEL_MAX_DEPTH = 64,              // scene graph levels
    MODEL_MAX_INSTANCED = 4 << 20,     // faces and vertices once every node has placed its meshes
    MODEL_AXES_FROM_FILE = 0,
    MODEL_AXES_Y_UP = 1,
    MODEL_AXES_Z_UP = 2,
};

struct ModelMaterial {
    std::string name;                 // as the model names it
    float diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    float specular = 0.0f;            // strength 0..1
    std::string texture;              // the diffuse texture's path as the model gives it, "" none
    std::vector<uint8_t> embedded;    // an embedded texture's picture file, when the model holds it
};

// Everything of a model's scene that a shape takes, with every node's transform applied.
struct ModelData {
    int upAxis = MODEL_AXES_Y_UP;     // what the file says (FBX), else Y
    std::vector<double> positions;    // x, y, z a vertex
    std::vector<float> uvs;           // u, v a vertex (v down the picture)
    std::vector<uint8_t> hasUv;       // a vertex
    std::vector<uint32_t> faceSize;   // points a face
    std::vector<uint32_t> faceMaterial;
    std::vector<uint32_t> indices;    // the faces' points, one face after another
    std::vector<ModelMaterial> materials;
};

// Cheap checks of a file before any library reads it (size, a binary glTF's or STL's declared
// lengths against the file's, a glTF's node graph depth and loops): 0, or 1 with the reason.
int ModelPrecheck(const char* fileName, const uint8_t* data, size_t size, std::string& why);
// Reads a model in this process (the child's work, and the fuzzer's): 0, or 1 with the reason.
// `hint` is the file's extension for a model read from memory (fileName null).
int ModelReadHere(const char* fileName, const uint8_t* data, size_t size, const char* hint, ModelData* out,
                  std::string& why);
// The model as the child sends it to the editor's process, and back; the unpacking checks the
// bytes as any input (table lengths, indices in range): 0, or 1 when they are damaged.
void ModelPack(const ModelData& model, std::vector<uint8_t>& out);
int ModelUnpack(const uint8_t* data, size_t size, ModelData* out);
// Reads a model file in a child process with limits, after the cheap checks. 0, or 1 with the
// reason (no file name in it).
int ModelRead(const char* fileName, ModelData* out, std::string& why);

struct ModelShapeOptions {
    double scale = 0;        // model units to shape units; 0: from fit, else the largest coordinate becomes 12288
    double fit = 0;          // the largest extent becomes this many units
    int axes = MODEL_AXES_FROM_FILE;
    int maxPolygons = 0;     // > 0: simplify to at most this many polygons when the model passes them or the format
};

struct ModelShape {
    std::vector<uint8_t> block;          // the shape file
    double scale = 0;
    int vertices = 0, polygons = 0;
    int sourceFaces = 0;
    bool simplified = false;
    double simplifyError = 0;            // of the model's size
    std::vector<int> materialsUsed;      // indices into ModelData::materials, in name table order
    std::vector<std::string> names;      // the shape's material names, in the same order
};

// The shape of a model: vertices merged by position, triangles and planar quads kept, other
// faces split, texture coordinates as mapping blocks, materials by name (upper case, at most
// 15 characters, made unique). Refuses non-finite coordinates and a model past the format's
// limits (naming the limit) unless maxPolygons simplifies it to fit. 0, or 1 with the reason.
int ModelToShape(const ModelData& model, const ModelShapeOptions& options, ModelShape* out, std::string& why);

// 1 when the name ends in the extension of a model format this reads (any letter case).
int ModelIsModelName(const char* name);
// Puts a model's shape into the shape manager's edit buffer as the Object panel's Load does:
// committed (the shape it replaces stays within Undo's reach) and bound to the materials by
// name; no file is written. 0, or 1 with the reason, the edit buffer unchanged.
int ModelShapeToEditBuffer(const ModelShape& shape, std::string& why);

// A material as a shape export writes it.
struct ModelExportMaterial {
    std::string name;
    float diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    std::string texture;     // a PNG file name beside the model, "" none
};

// Writes a shape block (version 16, checked) as glTF (.gltf with .bin, or .glb) or OBJ (with
// MTL): positions as world units, mapping as texture coordinates, each polygon's material by
// its name in `materials` (matched on the block's name table; others take the first).
// Converted back to the right-handed Y-up axes of those formats. 0, or 1 with the reason.
int ModelExportShape(const uint8_t* block, const std::vector<ModelExportMaterial>& materials, const char* fileName,
                     std::string& why);
// The name a polygon's material value has in the block's name table ("" when it has none).
std::string ModelPolygonMaterialName(const uint8_t* block, int polygon);
