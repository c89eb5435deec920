#include "shapes/model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <unordered_map>

#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <meshoptimizer.h>
#include <nlohmann/json.hpp>

#include "base/bytes.h"
#include "base/files.h"
#include "platform/sandbox.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "shapes/shapem_edit.h"

enum {
    GLB_HEADER = 12,
    GLB_CHUNK_HEADER = 8,
    STL_HEADER = 84,
    STL_TRIANGLE = 50,
    SHAPE_BUILD_CAPACITY = SHAPE_MAX_FILE_SIZE,
    MATERIAL_NAME_CHARS = 15,        // a MAT record's name without its terminator
    MAPPING_ONE = 16384,
    WHY_CHARS = 200,
};

static std::string Lower(std::string s)
{
    for (char& c : s) c = (char)tolower((unsigned char)c);
    return s;
}

static std::string Extension(const char* name)
{
    const char* dot = name ? strrchr(name, '.') : nullptr;
    const char* slash = name ? strrchr(name, '/') : nullptr;
    if (!dot || (slash && dot < slash)) return "";
    return Lower(dot + 1);
}

// A library's message as one short line.
static std::string OneLine(const char* text)
{
    std::string out;
    for (const char* p = text ? text : ""; *p && out.size() < WHY_CHARS; p++)
        out += (*p == '\n' || *p == '\r' || *p == '\t') ? ' ' : *p;
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out.empty() ? "the model reader refused it" : out;
}

// ---- cheap checks ----------------------------------------------------------------------------

// A glTF's nodes: no loop and at most MODEL_MAX_DEPTH levels.
static int CheckGltfJson(const nlohmann::json& j, std::string& why)
{
    if (!j.is_object()) {
        why = "it is no glTF model (no JSON object)";
        return 1;
    }
    auto nodes = j.find("nodes");
    if (nodes == j.end()) return 0;
    if (!nodes->is_array()) {
        why = "its nodes are no list";
        return 1;
    }
    size_t n = nodes->size();
    std::vector<std::vector<size_t>> children(n);
    std::vector<int> parents(n, 0);
    for (size_t i = 0; i < n; i++) {
        const nlohmann::json& node = (*nodes)[i];
        if (!node.is_object()) continue;
        auto c = node.find("children");
        if (c == node.end() || !c->is_array()) continue;
        for (const auto& k : *c) {
            if (!k.is_number_unsigned() || k.get<uint64_t>() >= n) {
                why = "node " + std::to_string(i) + " names a child it does not have";
                return 1;
            }
            children[i].push_back(k.get<size_t>());
            parents[k.get<size_t>()]++;
        }
    }
    // Depth by levels from the roots; a node reached twice on one path, or never reached from
    // a root while it has a parent, is part of a loop.
    std::vector<int> depth(n, 0);
    std::vector<size_t> level;
    for (size_t i = 0; i < n; i++)
        if (parents[i] == 0) level.push_back(i);
    size_t seen = level.size();
    for (int d = 1; !level.empty(); d++) {
        if (d > MODEL_MAX_DEPTH) {
            why = "its scene graph is deeper than " + std::to_string(MODEL_MAX_DEPTH) + " levels";
            return 1;
        }
        std::vector<size_t> next;
        for (size_t i : level)
            for (size_t c : children[i]) {
                if (--parents[c] == 0) {
                    next.push_back(c);
                    seen++;
                }
            }
        level.swap(next);
    }
    if (seen != n) {
        why = "its scene graph has a loop";
        return 1;
    }
    return 0;
}

int ModelPrecheck(const char* fileName, const uint8_t* data, size_t size, std::string& why)
{
    if (size == 0) {
        why = "the file is empty";
        return 1;
    }
    std::string ext = Extension(fileName);
    try {
        if (ext == "glb" || (size >= 4 && memcmp(data, "glTF", 4) == 0)) {
            if (size < GLB_HEADER + GLB_CHUNK_HEADER || memcmp(data, "glTF", 4) != 0) {
                why = "it is no binary glTF (its header is missing)";
                return 1;
            }
            if (GetU32(data, 8) != size) {
                why = "its header gives a length of " + std::to_string(GetU32(data, 8)) + " bytes, the file has " +
                      std::to_string(size);
                return 1;
            }
            uint32_t jsonLength = GetU32(data, GLB_HEADER);
            if (!InBlock(GLB_HEADER + GLB_CHUNK_HEADER, jsonLength, size) || memcmp(data + 16, "JSON", 4) != 0) {
                why = "its JSON chunk passes the end of the file";
                return 1;
            }
            size_t at = GLB_HEADER + GLB_CHUNK_HEADER + (size_t)jsonLength;
            if (at + GLB_CHUNK_HEADER <= size && !InBlock(at + GLB_CHUNK_HEADER, GetU32(data, at), size)) {
                why = "its binary chunk passes the end of the file";
                return 1;
            }
            nlohmann::json j = nlohmann::json::parse(data + GLB_HEADER + GLB_CHUNK_HEADER,
                                                     data + GLB_HEADER + GLB_CHUNK_HEADER + jsonLength);
            return CheckGltfJson(j, why);
        }
        if (ext == "gltf") {
            nlohmann::json j = nlohmann::json::parse(data, data + size);
            return CheckGltfJson(j, why);
        }
    } catch (const nlohmann::json::exception&) {
        why = "its glTF JSON is damaged";
        return 1;
    }
    if (ext == "stl" && size >= STL_HEADER && memcmp(data, "solid", 5) != 0) {
        uint64_t want = STL_HEADER + (uint64_t)GetU32(data, 80) * STL_TRIANGLE;
        if (want != size) {
            why = "it declares " + std::to_string(GetU32(data, 80)) + " triangles, which need " + std::to_string(want) +
                  " bytes; the file has " + std::to_string(size);
            return 1;
        }
    }
    return 0;
}

// ---- reading, in the child -------------------------------------------------------------------

struct Collector {
    const aiScene* scene;
    ModelData* out;
    std::string* why;
};

static bool Collect(Collector& c, const aiNode* node, const aiMatrix4x4& parent, int depth)
{
    if (depth > MODEL_MAX_DEPTH) {
        *c.why = "its scene graph is deeper than " + std::to_string(MODEL_MAX_DEPTH) + " levels";
        return false;
    }
    aiMatrix4x4 m = parent * node->mTransformation;
    ModelData& d = *c.out;
    for (unsigned k = 0; k < node->mNumMeshes; k++) {
        if (node->mMeshes[k] >= c.scene->mNumMeshes) continue;
        const aiMesh* mesh = c.scene->mMeshes[node->mMeshes[k]];
        if (d.hasUv.size() + mesh->mNumVertices > MODEL_MAX_INSTANCED ||
            d.faceSize.size() + mesh->mNumFaces > MODEL_MAX_INSTANCED) {
            *c.why = "its meshes, placed by every node, pass " + std::to_string(MODEL_MAX_INSTANCED) +
                     " vertices or faces";
            return false;
        }
        uint32_t base = (uint32_t)d.hasUv.size();
        bool uv = mesh->HasTextureCoords(0);
        for (unsigned v = 0; v < mesh->mNumVertices; v++) {
            aiVector3D p = m * mesh->mVertices[v];
            d.positions.insert(d.positions.end(), {(double)p.x, (double)p.y, (double)p.z});
            if (uv) d.uvs.insert(d.uvs.end(), {mesh->mTextureCoords[0][v].x, mesh->mTextureCoords[0][v].y});
            else d.uvs.insert(d.uvs.end(), {0.0f, 0.0f});
            d.hasUv.push_back(uv ? 1 : 0);
        }
        for (unsigned f = 0; f < mesh->mNumFaces; f++) {
            const aiFace& face = mesh->mFaces[f];
            if (face.mNumIndices < 3) continue;
            bool inside = true;
            for (unsigned i = 0; i < face.mNumIndices; i++) inside = inside && face.mIndices[i] < mesh->mNumVertices;
            if (!inside) continue;
            d.faceSize.push_back(face.mNumIndices);
            d.faceMaterial.push_back(mesh->mMaterialIndex);
            for (unsigned i = 0; i < face.mNumIndices; i++) d.indices.push_back(base + face.mIndices[i]);
            if (d.indices.size() > 8ull * MODEL_MAX_INSTANCED) {
                *c.why = "its faces have more than " + std::to_string(8ull * MODEL_MAX_INSTANCED) + " points together";
                return false;
            }
        }
    }
    for (unsigned k = 0; k < node->mNumChildren; k++)
        if (!Collect(c, node->mChildren[k], m, depth + 1)) return false;
    return true;
}

static void TakeMaterials(const aiScene* scene, ModelData* d)
{
    for (unsigned i = 0; i < scene->mNumMaterials; i++) {
        const aiMaterial* m = scene->mMaterials[i];
        ModelMaterial out;
        aiString name;
        if (m->Get(AI_MATKEY_NAME, name) == AI_SUCCESS) out.name = name.C_Str();
        aiColor4D colour;
        if (m->Get(AI_MATKEY_BASE_COLOR, colour) == AI_SUCCESS || m->Get(AI_MATKEY_COLOR_DIFFUSE, colour) == AI_SUCCESS) {
            out.diffuse[0] = colour.r;
            out.diffuse[1] = colour.g;
            out.diffuse[2] = colour.b;
            out.diffuse[3] = colour.a;
        }
        float opacity;
        if (m->Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS && opacity < out.diffuse[3]) out.diffuse[3] = opacity;
        aiColor3D specular;
        if (m->Get(AI_MATKEY_COLOR_SPECULAR, specular) == AI_SUCCESS)
            out.specular = std::max(specular.r, std::max(specular.g, specular.b));
        aiString path;
        if (m->GetTexture(aiTextureType_DIFFUSE, 0, &path) == AI_SUCCESS ||
            m->GetTexture(aiTextureType_BASE_COLOR, 0, &path) == AI_SUCCESS) {
            out.texture = path.C_Str();
            const aiTexture* t = scene->GetEmbeddedTexture(path.C_Str());
            // Only a picture file held whole (compressed): raw texels are left out.
            if (t && t->mHeight == 0 && t->pcData) {
                const uint8_t* bytes = (const uint8_t*)t->pcData;
                out.embedded.assign(bytes, bytes + t->mWidth);
            }
        }
        for (float& f : out.diffuse) f = std::isfinite(f) ? std::clamp(f, 0.0f, 1.0f) : 1.0f;
        if (!std::isfinite(out.specular)) out.specular = 0;
        out.specular = std::clamp(out.specular, 0.0f, 1.0f);
        d->materials.push_back(std::move(out));
    }
}

int ModelReadHere(const char* fileName, const uint8_t* data, size_t size, const char* hint, ModelData* out,
                  std::string& why)
{
    Assimp::Importer importer;
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    unsigned flags = aiProcess_JoinIdenticalVertices | aiProcess_SortByPType | aiProcess_FlipUVs |
                     aiProcess_ValidateDataStructure;
    const aiScene* scene = fileName ? importer.ReadFile(fileName, flags)
                                    : importer.ReadFileFromMemory(data, size, flags, hint ? hint : "");
    if (!scene || !scene->mRootNode) {
        why = OneLine(importer.GetErrorString());
        return 1;
    }
    *out = ModelData{};
    if (scene->mMetaData) {
        int32_t up = 1;
        if (scene->mMetaData->Get("UpAxis", up) && up == 2) out->upAxis = MODEL_AXES_Z_UP;
    }
    Collector c{scene, out, &why};
    aiMatrix4x4 identity;
    if (!Collect(c, scene->mRootNode, identity, 1)) return 1;
    TakeMaterials(scene, out);
    return 0;
}

// The child's answer: the model's tables one after another, each with its length.
class Writer {
public:
    std::vector<uint8_t>& out;
    void U32(uint32_t v)
    {
        size_t at = out.size();
        out.resize(at + 4);
        PutU32(out.data(), at, v);
    }
    void Raw(const void* p, size_t n)
    {
        U32((uint32_t)n);
        out.insert(out.end(), (const uint8_t*)p, (const uint8_t*)p + n);
    }
    template <typename T> void Table(const std::vector<T>& v) { Raw(v.data(), v.size() * sizeof(T)); }
    void Text(const std::string& s) { Raw(s.data(), s.size()); }
};

class Reader {
public:
    const uint8_t* data;
    size_t size, at = 0;
    bool ok = true;
    uint32_t U32()
    {
        if (!ok || !InBlock(at, 4, size)) return ok = false, 0;
        uint32_t v = GetU32(data, at);
        at += 4;
        return v;
    }
    template <typename T> void Table(std::vector<T>& v)
    {
        uint32_t n = U32();
        if (!ok || n % sizeof(T) || !InBlock(at, n, size)) {
            ok = false;
            return;
        }
        v.resize(n / sizeof(T));
        if (n) memcpy(v.data(), data + at, n);
        at += n;
    }
    void Text(std::string& s)
    {
        std::vector<char> v;
        Table(v);
        s.assign(v.begin(), v.end());
    }
};

void ModelPack(const ModelData& d, std::vector<uint8_t>& out)
{
    out.clear();
    Writer w{out};
    w.U32((uint32_t)d.upAxis);
    w.Table(d.positions);
    w.Table(d.uvs);
    w.Table(d.hasUv);
    w.Table(d.faceSize);
    w.Table(d.faceMaterial);
    w.Table(d.indices);
    w.U32((uint32_t)d.materials.size());
    for (const ModelMaterial& m : d.materials) {
        w.Text(m.name);
        w.Raw(m.diffuse, sizeof m.diffuse);
        w.Raw(&m.specular, sizeof m.specular);
        w.Text(m.texture);
        w.Table(m.embedded);
    }
}

static int ReadInChild(const void* arg, std::vector<uint8_t>& out, std::string& why)
{
    ModelData d;
    if (ModelReadHere((const char*)arg, nullptr, 0, nullptr, &d, why)) return 1;
    ModelPack(d, out);
    return 0;
}

// The child's answer, checked as any input is: tables of matching lengths, indices in range.
int ModelUnpack(const uint8_t* data, size_t size, ModelData* d)
{
    *d = ModelData{};
    Reader r{data, size};
    d->upAxis = (int)r.U32();
    r.Table(d->positions);
    r.Table(d->uvs);
    r.Table(d->hasUv);
    r.Table(d->faceSize);
    r.Table(d->faceMaterial);
    r.Table(d->indices);
    uint32_t materials = r.U32();
    if (!r.ok || materials > size) return 1;
    d->materials.resize(materials);
    for (ModelMaterial& m : d->materials) {
        r.Text(m.name);
        std::vector<float> diffuse, specular;
        r.Table(diffuse);
        r.Table(specular);
        r.Text(m.texture);
        r.Table(m.embedded);
        if (!r.ok || diffuse.size() != 4 || specular.size() != 1) return 1;
        std::copy(diffuse.begin(), diffuse.end(), m.diffuse);
        m.specular = specular[0];
    }
    size_t vertices = d->hasUv.size();
    if (!r.ok || r.at != size || d->positions.size() != 3 * vertices || d->uvs.size() != 2 * vertices ||
        d->faceSize.size() != d->faceMaterial.size())
        return 1;
    uint64_t points = 0;
    for (uint32_t n : d->faceSize) {
        if (n < 3) return 1;
        points += n;
    }
    if (points != d->indices.size()) return 1;
    for (uint32_t i : d->indices)
        if (i >= vertices) return 1;
    return 0;
}

int ModelRead(const char* fileName, ModelData* out, std::string& why)
{
    std::vector<uint8_t> data;
    switch (FileReadWhole(fileName, MODEL_MAX_FILE_SIZE, "a model", data)) {
    case FILE_READABLE: break;
    case FILE_CANNOT_READ: why = "it cannot be read"; return 1;
    default: why = FileRefusal(); return 1;
    }
    if (ModelPrecheck(fileName, data.data(), data.size(), why)) return 1;
    std::vector<uint8_t> answer;
    if (SandboxRun(ReadInChild, fileName, SandboxLimits{}, answer, why)) return 1;
    if (ModelUnpack(answer.data(), answer.size(), out)) {
        why = "the model reader's answer is damaged";
        return 1;
    }
    return 0;
}

// ---- the shape -------------------------------------------------------------------------------

// A face of the model after axes, merging and splitting: its points (shape vertices) with
// their texture coordinates.
struct Face {
    std::vector<uint32_t> points;
    std::vector<float> uv;     // u, v a point
    bool mapped;
    uint32_t material;
};

static std::string MaterialName(const std::string& raw, int index, const std::vector<std::string>& taken)
{
    std::string name;
    for (char ch : raw) {
        unsigned char c = (unsigned char)ch;
        if (isalnum(c) || c == '_' || c == '-') name += (char)toupper(c);
        else if (c == ' ' || c == '.') name += '_';
        if (name.size() == MATERIAL_NAME_CHARS) break;
    }
    if (name.empty() || name == "DUMMY") name = "MAT" + std::to_string(index);
    std::string base = name;
    for (int n = 2; std::find(taken.begin(), taken.end(), name) != taken.end(); n++) {
        std::string tail = "_" + std::to_string(n);
        name = base.substr(0, MATERIAL_NAME_CHARS - tail.size()) + tail;
    }
    return name;
}

// Whether the fourth point of a quad lies in the plane of the first three, within a unit or
// a thousandth of the quad's size.
static bool Planar(const int64_t p[4][3])
{
    double a[3], b[3], d[3], n[3];
    for (int k = 0; k < 3; k++) {
        a[k] = (double)(p[1][k] - p[0][k]);
        b[k] = (double)(p[2][k] - p[0][k]);
        d[k] = (double)(p[3][k] - p[0][k]);
    }
    n[0] = a[1] * b[2] - a[2] * b[1];
    n[1] = a[2] * b[0] - a[0] * b[2];
    n[2] = a[0] * b[1] - a[1] * b[0];
    double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (length == 0) return false;
    double distance = std::fabs(n[0] * d[0] + n[1] * d[1] + n[2] * d[2]) / length;
    double size = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    return distance <= std::max(1.0, size / 1000);
}

static int16_t Mapping(double v)
{
    double m = std::round(v * (double)MAPPING_ONE);
    return (int16_t)std::clamp(m, -32768.0, 32767.0);
}

// Simplifies the triangles of each material to its share of `target` faces; the faces become
// triangles. The error is meshoptimizer's, relative to the model's size.
static void Simplify(ModelData& d, size_t target, double* error)
{
    std::map<uint32_t, std::vector<uint32_t>> byMaterial;
    size_t at = 0, triangles = 0;
    for (size_t f = 0; f < d.faceSize.size(); f++) {
        std::vector<uint32_t>& list = byMaterial[d.faceMaterial[f]];
        for (uint32_t k = 1; k + 1 < d.faceSize[f]; k++) {
            list.insert(list.end(), {d.indices[at], d.indices[at + k], d.indices[at + k + 1]});
            triangles++;
        }
        at += d.faceSize[f];
    }
    std::vector<float> positions(d.positions.begin(), d.positions.end());
    d.faceSize.clear();
    d.faceMaterial.clear();
    d.indices.clear();
    *error = 0;
    for (auto& [material, list] : byMaterial) {
        size_t share = std::max<size_t>(1, (size_t)((double)target * (list.size() / 3) / triangles));
        std::vector<uint32_t> out(list.size());
        float e = 0;
        size_t n = meshopt_simplify(out.data(), list.data(), list.size(), positions.data(), d.hasUv.size(),
                                    3 * sizeof(float), share * 3, 1.0f, 0, &e);
        // Locked borders may keep more than the share: the sloppy simplifier then cuts on.
        if (n / 3 > share) n = meshopt_simplifySloppy(out.data(), list.data(), list.size(), positions.data(),
                                                      d.hasUv.size(), 3 * sizeof(float), share * 3, 1.0f, &e);
        *error = std::max(*error, (double)e);
        for (size_t i = 0; i + 2 < n; i += 3) {
            d.faceSize.push_back(3);
            d.faceMaterial.push_back(material);
            d.indices.insert(d.indices.end(), {out[i], out[i + 1], out[i + 2]});
        }
    }
}

int ModelToShape(const ModelData& source, const ModelShapeOptions& o, ModelShape* out, std::string& why)
{
    *out = ModelShape{};
    size_t vertexCount = source.hasUv.size();
    for (double v : source.positions)
        if (!std::isfinite(v)) {
            why = "it has coordinates that are not finite numbers";
            return 1;
        }
    for (float v : source.uvs)
        if (!std::isfinite(v)) {
            why = "it has texture coordinates that are not finite numbers";
            return 1;
        }
    if (source.faceSize.empty()) {
        why = "it has no faces";
        return 1;
    }
    out->sourceFaces = (int)source.faceSize.size();
    ModelData d = source;
    // Axes: Z-up turns to Y-up, then X is mirrored: the shape's axes are left-handed, and a
    // model keeps the look a glTF viewer gives it (front towards +Z, its right on the right).
    int axes = o.axes == MODEL_AXES_FROM_FILE ? d.upAxis : o.axes;
    for (size_t i = 0; i < vertexCount; i++) {
        double* p = &d.positions[3 * i];
        if (axes == MODEL_AXES_Z_UP) {
            double y = p[1];
            p[1] = p[2];
            p[2] = -y;
        }
        p[0] = -p[0];
    }

    // Sizes of the model as it would come out, before any simplification.
    size_t polygons = 0;
    for (uint32_t n : d.faceSize) polygons += n <= 4 ? 1 : n - 2;
    bool past = polygons > SHAPE_MAX_COUNT || vertexCount > 4ull * SHAPE_MAX_COUNT;
    if (o.maxPolygons > 0 && (past || polygons > (size_t)o.maxPolygons)) {
        size_t target = std::min<size_t>((size_t)o.maxPolygons, SHAPE_MAX_COUNT);
        Simplify(d, target, &out->simplifyError);
        out->simplified = true;
    } else if (polygons > SHAPE_MAX_COUNT) {
        why = "it makes " + std::to_string(polygons) + " polygons, past the shape limit of " +
              std::to_string(SHAPE_MAX_COUNT) + " (--max-polygons simplifies it)";
        return 1;
    }

    // Scale: given, or the largest extent to --fit, or the largest coordinate to 12288 (the
    // most a stored coordinate holds without losing a bit).
    double largest = 0, low[3] = {INFINITY, INFINITY, INFINITY}, high[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (uint32_t i : d.indices)
        for (int k = 0; k < 3; k++) {
            double v = d.positions[3 * i + k];
            largest = std::max(largest, std::fabs(v));
            low[k] = std::min(low[k], v);
            high[k] = std::max(high[k], v);
        }
    double scale = o.scale;
    if (scale <= 0 && o.fit > 0) {
        double extent = std::max(high[0] - low[0], std::max(high[1] - low[1], high[2] - low[2]));
        scale = extent > 0 ? o.fit / extent : 1;
    }
    if (scale <= 0) scale = largest > 0 ? (double)SHAPE_COORD_LIMIT / largest : 1;
    if (largest * scale > (double)INT32_MAX) {
        why = "at scale " + std::to_string(scale) + " its coordinates reach " + std::to_string(largest * scale) +
              ", past the shape range of " + std::to_string(INT32_MAX) + " units";
        return 1;
    }
    out->scale = scale;

    // Vertices merged by their position in shape units.
    std::unordered_map<uint64_t, std::vector<uint32_t>> byPosition;
    std::vector<int64_t> shapeVerts;
    std::vector<uint32_t> remap(vertexCount, UINT32_MAX);
    auto vertexOf = [&](uint32_t i) {
        if (remap[i] != UINT32_MAX) return remap[i];
        int64_t p[3];
        for (int k = 0; k < 3; k++) p[k] = (int64_t)std::llround(d.positions[3 * i + k] * scale);
        uint64_t h = (uint64_t)p[0] * 73856093u ^ (uint64_t)p[1] * 19349663u ^ (uint64_t)p[2] * 83492791u;
        for (uint32_t v : byPosition[h])
            if (shapeVerts[3 * v] == p[0] && shapeVerts[3 * v + 1] == p[1] && shapeVerts[3 * v + 2] == p[2])
                return remap[i] = v;
        uint32_t v = (uint32_t)(shapeVerts.size() / 3);
        shapeVerts.insert(shapeVerts.end(), p, p + 3);
        byPosition[h].push_back(v);
        return remap[i] = v;
    };

    // Faces: reversed (the mirror turns them), repeated points dropped, split as needed.
    std::vector<Face> faces;
    size_t at = 0;
    for (size_t f = 0; f < d.faceSize.size(); f++) {
        Face face;
        face.material = d.faceMaterial[f];
        face.mapped = true;
        for (uint32_t k = d.faceSize[f]; k-- > 0;) {
            uint32_t i = d.indices[at + k];
            uint32_t v = vertexOf(i);
            face.mapped = face.mapped && d.hasUv[i];
            if (!face.points.empty() && (face.points.back() == v || face.points.front() == v)) continue;
            face.points.push_back(v);
            face.uv.insert(face.uv.end(), {d.uvs[2 * i], d.uvs[2 * i + 1]});
        }
        at += d.faceSize[f];
        size_t n = face.points.size();
        if (n < 3) continue;
        bool keep = n == 3;
        if (n == 4) {
            int64_t p[4][3];
            for (int k = 0; k < 4; k++)
                for (int a = 0; a < 3; a++) p[k][a] = shapeVerts[3 * face.points[k] + a];
            keep = Planar(p);
        }
        if (keep) {
            faces.push_back(std::move(face));
            continue;
        }
        for (size_t k = 1; k + 1 < n; k++) {
            Face t{{face.points[0], face.points[k], face.points[k + 1]},
                   {face.uv[0], face.uv[1], face.uv[2 * k], face.uv[2 * k + 1], face.uv[2 * k + 2], face.uv[2 * k + 3]},
                   face.mapped,
                   face.material};
            faces.push_back(std::move(t));
        }
    }
    size_t verticesUsed = shapeVerts.size() / 3;
    if (verticesUsed > SHAPE_MAX_COUNT) {
        why = "it has " + std::to_string(verticesUsed) + " vertices, past the shape limit of " +
              std::to_string(SHAPE_MAX_COUNT) + (o.maxPolygons > 0 ? "" : " (--max-polygons simplifies it)");
        return 1;
    }
    if (faces.size() > SHAPE_MAX_COUNT) {
        why = "it makes " + std::to_string(faces.size()) + " polygons, past the shape limit of " +
              std::to_string(SHAPE_MAX_COUNT) + (o.maxPolygons > 0 ? "" : " (--max-polygons simplifies it)");
        return 1;
    }
    if (faces.empty()) {
        why = "it has no faces with area";
        return 1;
    }

    // Material names, in the order the faces first use them.
    std::vector<int> slot(d.materials.size() + 1, -1);
    for (const Face& f : faces) {
        uint32_t m = f.material < d.materials.size() ? f.material : (uint32_t)d.materials.size();
        if (slot[m] >= 0) continue;
        if (out->names.size() >= SHAPE_MAX_TABLE_NAMES) {
            why = "it uses more than " + std::to_string(SHAPE_MAX_TABLE_NAMES) + " materials, the most a shape names";
            return 1;
        }
        slot[m] = (int)out->names.size();
        out->materialsUsed.push_back(m < d.materials.size() ? (int)m : -1);
        out->names.push_back(MaterialName(m < d.materials.size() ? d.materials[m].name : "", (int)m, out->names));
    }

    // The block.
    out->block.assign(SHAPE_BUILD_CAPACITY, 0);
    ShapeBlock s{out->block.data(), SHAPE_BUILD_CAPACITY};
    ShapeMakeEmpty(s.data);
    for (size_t v = 0; v < verticesUsed; v++)
        if (ShapeAppendVertex(&s, (int32_t)shapeVerts[3 * v], (int32_t)shapeVerts[3 * v + 1],
                              (int32_t)shapeVerts[3 * v + 2]) < 0) {
            why = "it does not fit the largest shape file (" + std::to_string(SHAPE_MAX_FILE_SIZE) + " bytes)";
            return 1;
        }
    // The polygon section in one piece: appending polygons one by one walks the section each
    // time, which a model of 32767 polygons turns into seconds.
    std::vector<uint8_t> section(2);
    PutU16(section.data(), 0, (uint16_t)faces.size());
    for (const Face& f : faces) {
        uint32_t m = f.material < d.materials.size() ? f.material : (uint32_t)d.materials.size();
        size_t n = f.points.size();
        size_t at = section.size();
        section.resize(at + POLY_HEAD + 2 * n + (f.mapped ? 4 * n : 0), 0);
        uint8_t* poly = section.data() + at;
        PutU16(poly, POLY_MATERIAL, (uint16_t)(MAT_UNRESOLVED | (slot[m] + 1)));
        PutU16(poly, POLY_COUNT_WORD, (uint16_t)(n | (f.mapped ? PC_MAPPING : 0)));
        for (size_t k = 0; k < n; k++) PutU16(poly, POLY_HEAD + 2 * k, (uint16_t)f.points[k]);
        if (!f.mapped) continue;
        // Texture coordinates repeat: a polygon's are moved by whole turns so that the least
        // lies in 0..1, where the 16-bit mapping holds them.
        double du = 1e300, dv = 1e300;
        for (size_t k = 0; k < n; k++) {
            du = std::min(du, (double)f.uv[2 * k]);
            dv = std::min(dv, (double)f.uv[2 * k + 1]);
        }
        du = std::floor(du);
        dv = std::floor(dv);
        uint8_t* map = poly + POLY_HEAD + 2 * n;
        for (size_t k = 0; k < n; k++) {
            PutI16(map, 4 * k, Mapping(f.uv[2 * k] - du));
            PutI16(map, 4 * k + 2, Mapping(f.uv[2 * k + 1] - dv));
        }
    }
    uint32_t polygonsAt = ShapeUsedSize(s.data);
    if (section.size() > SHAPE_BUILD_CAPACITY || ShapeInsert(&s, polygonsAt, (uint32_t)section.size())) {
        why = "it does not fit the largest shape file (" + std::to_string(SHAPE_MAX_FILE_SIZE) + " bytes)";
        return 1;
    }
    memcpy(s.data + polygonsAt, section.data(), section.size());
    PutU32(s.data, SH_POLYGONS, polygonsAt);
    uint8_t* poly = ShapeFirstPolygon(s.data);
    for (size_t i = 0; i < faces.size(); i++, poly = ShapeNextPolygon(poly)) ShapeFaceNormal(s.data, poly);
    // The name table, last.
    uint32_t tableAt = ShapeUsedSize(s.data);
    uint32_t tableSize = 2 + SHAPE_NAME_ENTRY_SIZE * (uint32_t)out->names.size();
    if (ShapeInsert(&s, tableAt, tableSize)) {
        why = "it does not fit the largest shape file (" + std::to_string(SHAPE_MAX_FILE_SIZE) + " bytes)";
        return 1;
    }
    PutU16(s.data, tableAt, (uint16_t)out->names.size());
    for (size_t k = 0; k < out->names.size(); k++) {
        uint8_t* e = s.data + tableAt + 2 + SHAPE_NAME_ENTRY_SIZE * k;
        memset(e + NAME_TEXT, ' ', SHAPE_NAME_CHARS);
        memcpy(e + NAME_TEXT, out->names[k].data(), out->names[k].size());
        PutU16(e, NAME_ID, (uint16_t)(MAT_UNRESOLVED | (k + 1)));
    }
    PutU32(s.data, SH_NAMES, tableAt);
    // Per-point normals by the shape manager's own smoothing rules, as a save makes them.
    if (MeshSmoothAll(&s)) {
        why = "it does not fit the largest shape file (" + std::to_string(SHAPE_MAX_FILE_SIZE) + " bytes)";
        return 1;
    }
    ShapeDerive(s.data);
    out->block.resize(ShapeUsedSize(s.data));
    out->vertices = ShapeVertexCount(out->block.data());
    out->polygons = ShapePolygonCount(out->block.data());
    return 0;
}

int ModelIsModelName(const char* name)
{
    static const char* const kExtensions[] = {"gltf", "glb", "obj", "fbx", "3ds", "dae", "ply", "stl"};
    std::string ext = Extension(name);
    for (const char* e : kExtensions)
        if (ext == e) return 1;
    return 0;
}

int ModelShapeToEditBuffer(const ModelShape& shape, std::string& why)
{
    if (!ShapeMIsInstalled()) {
        why = "the shape manager is not installed";
        return 1;
    }
    ShapeBlock s = ShapeMScratch();
    if (shape.block.size() > s.capacity) {
        why = "it does not fit the edit buffer";
        return 1;
    }
    memcpy(s.data, shape.block.data(), shape.block.size());
    ShapeMCommitScratch(&s);
    ShapeBindMaterials(ShapeMEdit()->data, SHAPE_NAME_CHARS);
    return 0;
}

// ---- export ----------------------------------------------------------------------------------

std::string ModelPolygonMaterialName(const uint8_t* block, int polygon)
{
    uint8_t* b = (uint8_t*)block;
    const uint8_t* poly = ShapePolygon(b, polygon);
    if (!poly) return "";
    uint16_t value = GetU16(poly, POLY_MATERIAL);
    int count = ShapeNameCount(b);
    const uint8_t* names = ShapeNames(b);
    const uint8_t* match = nullptr;
    for (int k = 0; k < count && !match; k++)
        if (GetU16(names, SHAPE_NAME_ENTRY_SIZE * k + NAME_ID) == value) match = names + SHAPE_NAME_ENTRY_SIZE * k;
    for (int k = 0; k < count && !match; k++)
        if ((GetU16(names, SHAPE_NAME_ENTRY_SIZE * k + NAME_ID) & MAT_ID_MASK) == (value & MAT_ID_MASK))
            match = names + SHAPE_NAME_ENTRY_SIZE * k;
    if (!match) return "";
    std::string name((const char*)match + NAME_TEXT, SHAPE_NAME_CHARS);
    name = name.substr(0, name.find('\0'));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

int ModelExportShape(const uint8_t* block, const std::vector<ModelExportMaterial>& materials, const char* fileName,
                     std::string& why)
{
    std::string ext = Extension(fileName);
    const char* format = ext == "gltf" ? "gltf2" : ext == "glb" ? "glb2" : ext == "obj" ? "obj" : nullptr;
    if (!format) {
        why = "a model is written as .gltf, .glb or .obj";
        return 1;
    }
    if (materials.empty()) {
        why = "no material to write";
        return 1;
    }
    bool triangles = ext != "obj";   // glTF holds triangles only
    uint8_t* b = (uint8_t*)block;
    int polygons = ShapePolygonCount(b);
    // Polygons by material, in the order of `materials`.
    std::vector<std::vector<int>> groups(materials.size());
    for (int i = 0; i < polygons; i++) {
        if (ShapePolyPoints(ShapePolygon(b, i)) < 3) continue;
        std::string name = Lower(ModelPolygonMaterialName(block, i));
        size_t m = 0;
        for (size_t k = 0; k < materials.size(); k++)
            if (Lower(materials[k].name) == name) m = k;
        groups[m].push_back(i);
    }
    aiScene scene;
    scene.mRootNode = new aiNode();
    scene.mRootNode->mName = "shape";
    std::vector<aiMesh*> meshes;
    std::vector<unsigned> meshMaterial;
    for (size_t m = 0; m < groups.size(); m++) {
        if (groups[m].empty()) continue;
        aiMesh* mesh = new aiMesh();
        mesh->mName = materials[m].name;
        mesh->mMaterialIndex = (unsigned)m;
        mesh->mPrimitiveTypes = triangles ? aiPrimitiveType_TRIANGLE : aiPrimitiveType_POLYGON | aiPrimitiveType_TRIANGLE;
        size_t points = 0, faces = 0;
        for (int i : groups[m]) {
            int n = ShapePolyPoints(ShapePolygon(b, i));
            points += n;
            faces += triangles ? n - 2 : 1;
        }
        mesh->mNumVertices = (unsigned)points;
        mesh->mVertices = new aiVector3D[points];
        mesh->mTextureCoords[0] = new aiVector3D[points];
        mesh->mNumUVComponents[0] = 2;
        mesh->mNumFaces = (unsigned)faces;
        mesh->mFaces = new aiFace[faces];
        unsigned v = 0, f = 0;
        for (int i : groups[m]) {
            uint8_t* poly = ShapePolygon(b, i);
            int n = ShapePolyPoints(poly);
            const uint8_t* map = ShapePolyMapping(poly);
            unsigned first = v;
            // Back to right-handed axes: X mirrored again and the points in reverse.
            for (int k = n; k-- > 0;) {
                int32_t p[3];
                ShapeVertexPos(b, ShapePolyIndex(poly, k), p);
                mesh->mVertices[v] = aiVector3D((float)-p[0], (float)p[1], (float)p[2]);
                float u = map ? GetI16(map, 4 * k) / (float)MAPPING_ONE : 0.0f;
                float t = map ? GetI16(map, 4 * k + 2) / (float)MAPPING_ONE : 0.0f;
                mesh->mTextureCoords[0][v] = aiVector3D(u, 1.0f - t, 0.0f);
                v++;
            }
            if (triangles) {
                for (int k = 1; k + 1 < n; k++) {
                    aiFace& face = mesh->mFaces[f++];
                    face.mNumIndices = 3;
                    face.mIndices = new unsigned[3]{first, first + k, first + k + 1};
                }
            } else {
                aiFace& face = mesh->mFaces[f++];
                face.mNumIndices = (unsigned)n;
                face.mIndices = new unsigned[n];
                for (int k = 0; k < n; k++) face.mIndices[k] = first + k;
            }
        }
        meshes.push_back(mesh);
    }
    if (meshes.empty()) {
        why = "the shape has no polygons to write";
        return 1;
    }
    scene.mNumMeshes = (unsigned)meshes.size();
    scene.mMeshes = new aiMesh*[meshes.size()];
    scene.mRootNode->mNumMeshes = scene.mNumMeshes;
    scene.mRootNode->mMeshes = new unsigned[meshes.size()];
    for (size_t k = 0; k < meshes.size(); k++) {
        scene.mMeshes[k] = meshes[k];
        scene.mRootNode->mMeshes[k] = (unsigned)k;
    }
    scene.mNumMaterials = (unsigned)materials.size();
    scene.mMaterials = new aiMaterial*[materials.size()];
    for (size_t k = 0; k < materials.size(); k++) {
        aiMaterial* m = new aiMaterial();
        aiString name(materials[k].name);
        m->AddProperty(&name, AI_MATKEY_NAME);
        aiColor4D colour(materials[k].diffuse[0], materials[k].diffuse[1], materials[k].diffuse[2],
                         materials[k].diffuse[3]);
        m->AddProperty(&colour, 1, AI_MATKEY_COLOR_DIFFUSE);
        m->AddProperty(&colour, 1, AI_MATKEY_BASE_COLOR);
        float opacity = materials[k].diffuse[3];
        m->AddProperty(&opacity, 1, AI_MATKEY_OPACITY);
        if (!materials[k].texture.empty()) {
            aiString texture(materials[k].texture);
            m->AddProperty(&texture, AI_MATKEY_TEXTURE_DIFFUSE(0));
            m->AddProperty(&texture, AI_MATKEY_TEXTURE(aiTextureType_BASE_COLOR, 0));
        }
        scene.mMaterials[k] = m;
    }
    Assimp::Exporter exporter;
    if (exporter.Export(&scene, format, fileName) != AI_SUCCESS) {
        why = OneLine(exporter.GetErrorString());
        return 1;
    }
    return 0;
}
