// tolbex-cli mat: show, upgrade and merge MAT material files.
#include <cerrno>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "base/bytes.h"
#include "base/res.h"
#include "cli.h"
#include "materials/matm.h"
#include "platform/platform.h"

ResId CliReadMat(const std::string& file, int* version)
{
    ResId id = CliReadFile(file, MAT_MAX_FILE_SIZE, "a material file");
    if (!id) return 0;
    size_t size = ResSize(id);
    int count;
    switch (MatMCheckBlock((const uint8_t*)ResPeek(id), size, version, &count)) {
    case MATCHK_OK:
        if (MatMUpgradeBlock(id) == 0) return id;
        CliFail(1, "%s: not a material file", file.c_str());
        break;
    case MATCHK_SHORT: CliFail(1, "%s: not a material file (%zu bytes, shorter than its header)", file.c_str(), size); break;
    case MATCHK_VERSION:
        CliFail(1, "%s: not a material file (version %d; versions 2 to 4 are read)", file.c_str(), *version);
        break;
    default:
        if (count < 0)
            CliFail(1, "%s: not a material file (negative count %d)", file.c_str(), count);
        else
            CliFail(1, "%s: not a material file (%d records do not match its %zu bytes)", file.c_str(), count, size);
        break;
    }
    ResFreeAlways(id);
    return 0;
}

// A field of a record as printable text (names from files may hold any byte).
static std::string Text(const uint8_t* rec, size_t offset, size_t chars)
{
    std::string s;
    for (size_t i = 0; i < chars && rec[offset + i]; i++) {
        uint8_t c = rec[offset + i];
        s += (c >= 32 && c < 127) ? (char)c : '?';
    }
    return s;
}

static void MatInfo(const std::string& file, bool json)
{
    CliStartManagers();
    int version;
    ResId id = CliReadMat(file, &version);
    if (!id) return;
    const uint8_t* data = (const uint8_t*)ResPeek(id);
    int count = GetI16(data, MH_COUNT);
    bool trueColour = GetU32(data, MH_FLAGS) & MAT_FLAG_TRUE_COLOUR;
    nlohmann::json list = nlohmann::json::array();
    if (!json)
        printf("%s: version %d%s, %s, %s\n", file.c_str(), version,
               version == MAT_VERSION ? "" : " (read as version 4)", CliCount(count, "material", "materials").c_str(),
               trueColour ? "true colour" : "palette colours");
    if (!json && count > 0)
        printf("%4s  %-16s  %-20s %6s %8s %8s %8s %8s  %s\n", "#", "name", "colour", "S.I.", "ambient", "diffuse",
               "specular", "alpha", "texture");
    for (int i = 0; i < count; i++) {
        const uint8_t* r = data + MAT_HEADER_SIZE + (size_t)i * MAT_RECORD_SIZE;
        std::string name = Text(r, MR_NAME, MAT_NAME_SIZE), texture = Text(r, MR_TEXTURE, MAT_TEXTURE_CHARS);
        int32_t si = GetI32(r, MR_SI), ambient = GetI32(r, MR_AMBIENT), diffuse = GetI32(r, MR_DIFFUSE);
        int32_t specular = GetI32(r, MR_SPECULAR), alpha = GetI32(r, MR_ALPHA);
        if (json) {
            nlohmann::json m = {{"index", i}, {"name", name}};
            if (trueColour) {
                m["red"] = GetI32(r, MR_RED);
                m["green"] = GetI32(r, MR_GREEN);
                m["blue"] = GetI32(r, MR_BLUE);
            } else {
                m["palette"] = GetU8(r, MR_PALETTE);
            }
            m["selfIllumination"] = si;
            m["ambient"] = ambient;
            m["diffuse"] = diffuse;
            m["specular"] = specular;
            m["alpha"] = alpha;
            m["texture"] = texture;
            list.push_back(m);
            continue;
        }
        char colour[64];
        if (trueColour)
            snprintf(colour, sizeof colour, "rgb %d,%d,%d", GetI32(r, MR_RED), GetI32(r, MR_GREEN), GetI32(r, MR_BLUE));
        else
            snprintf(colour, sizeof colour, "palette %d", GetU8(r, MR_PALETTE));
        printf("%4d  %-16s  %-20s %6d %8d %8d %8d %8d%s%s\n", i, name.c_str(), colour, si, ambient, diffuse, specular,
               alpha, texture.empty() ? "" : "  ", texture.c_str());
    }
    if (json) {
        nlohmann::json out = {{"file", file}, {"version", version}, {"trueColour", trueColour}, {"count", count},
                              {"materials", list}};
        printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    }
    ResFreeAlways(id);
    gCliResult = 0;
}

static void MatUpgrade(const std::string& in, const std::string& out)
{
    CliStartManagers();
    int version;
    ResId id = CliReadMat(in, &version);
    if (!id) return;
    int count = GetI16(ResPeek(id), MH_COUNT);
    int failed = CliWrite(out, ResPeek(id), ResSize(id));
    ResFreeAlways(id);
    if (failed) return;
    printf("%s: version 4, %s (from version %d)\n", out.c_str(), CliCount(count, "material", "materials").c_str(),
           version);
    gCliResult = 0;
}

static void MatMergeFiles(const std::string& a, const std::string& b, const std::string& out)
{
    CliStartManagers();
    int versionA, versionB;
    ResId idA = CliReadMat(a, &versionA);
    if (!idA) return;
    ResId idB = CliReadMat(b, &versionB);
    if (!idB) {
        ResFreeAlways(idA);
        return;
    }
    uint32_t flagsA = GetU32(ResPeek(idA), MH_FLAGS), flagsB = GetU32(ResPeek(idB), MH_FLAGS);
    ResFreeAlways(idA);
    ResFreeAlways(idB);
    if ((flagsA ^ flagsB) & MAT_FLAG_TRUE_COLOUR)
        CliWarn("%s holds %s, %s %s; its colours are taken as they are", b.c_str(),
                flagsB & MAT_FLAG_TRUE_COLOUR ? "RGB colours" : "palette indices", a.c_str(),
                flagsA & MAT_FLAG_TRUE_COLOUR ? "RGB colours" : "palette indices");

    // The material list does the work, so the result is what the editor's Load and Merge give.
    MatMInstall();
    if (flagsA & MAT_FLAG_TRUE_COLOUR) MatMSetTrueColour();
    if (MatMLoad(a.c_str())) {
        CliFail(1, "%s: more than %d materials; nothing written", a.c_str(), (int)MAT_MAX_RECORDS);
        return;
    }
    int before = MatMCount();
    if (MatMMerge(b.c_str())) {
        CliFail(1, "merging %s would pass %d materials; nothing written", b.c_str(), (int)MAT_MAX_RECORDS);
        return;
    }
    errno = 0;
    if (MatMSave(out.c_str())) {
        CliWriteFailed(out);
        return;
    }
    printf("%s: %s (%d from %s, %d added from %s)\n", out.c_str(),
           CliCount(MatMCount(), "material", "materials").c_str(), before, a.c_str(), MatMCount() - before, b.c_str());
    gCliResult = 0;
}

void CliAddMat(CLI::App& app)
{
    CLI::App* mat = CliGroup(app, "mat");

    static std::string infoFile;
    static bool infoJson;
    CLI::App* info = mat->add_subcommand("info", "Show every material of a MAT file");
    info->add_option("FILE", infoFile, "MAT file")->required();
    info->add_flag("--json", infoJson, "Write JSON");
    info->callback([] { MatInfo(infoFile, infoJson); });

    static std::string upIn, upOut;
    CLI::App* upgrade = mat->add_subcommand("upgrade", "Write a MAT file of version 2, 3 or 4 as version 4");
    upgrade->add_option("IN", upIn, "MAT file to read")->required();
    upgrade->add_option("OUT", upOut, "MAT file to write")->required();
    upgrade->callback([] { MatUpgrade(upIn, upOut); });

    static std::string mergeA, mergeB, mergeOut;
    CLI::App* merge = mat->add_subcommand("merge", "Write A's materials, then B's whose names A lacks, as version 4");
    merge->add_option("A", mergeA, "First MAT file")->required();
    merge->add_option("B", mergeB, "Second MAT file")->required();
    merge->add_option("OUT", mergeOut, "MAT file to write")->required();
    merge->callback([] { MatMergeFiles(mergeA, mergeB, mergeOut); });
}
