// tolbex-cli pal and lbm: inspect PAL files, turn an LBM's colour map into a PAL file, and
// write an LBM picture out as a 24-bit BMP.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/bytes.h"
#include "base/res.h"
#include "cli.h"   // found beside this file, whatever the include path
#include "palette/bmp.h"
#include "palette/iff.h"
#include "palette/palm.h"
#include "platform/platform.h"

std::string CliPaletteRefusal(void)
{
    return "not a palette file (its count is not 0 to " + std::to_string(PAL_USER_COLOURS) +
           ", or the file does not hold it)";
}

// Reads a whole file of at most maxSize bytes; 0, or 1 after an error line.
static int ReadWhole(const std::string& file, uint64_t maxSize, const char* kind, std::vector<uint8_t>& out)
{
    ResId id = CliReadFile(file, maxSize, kind);
    if (!id) return 1;
    const uint8_t* d = (const uint8_t*)ResOpen(id);
    out.assign(d, d + ResSize(id));
    ResClose(id);
    ResFreeAlways(id);
    return 0;
}

static void PalInfo(const std::string& file, bool json)
{
    CliStartManagers();
    std::vector<uint8_t> image;
    if (ReadWhole(file, PAL_FILE_SIZE, "a palette file", image)) return;
    int count = 0;
    if (PalMCheckImage(image.data(), image.size(), &count)) {
        CliFail(1, "%s: %s", file.c_str(), CliPaletteRefusal().c_str());
        return;
    }
    int first = GetI16(image.data(), 0);
    const uint8_t* e = image.data() + 4;
    if (json) {
        nlohmann::json out;
        out["first"] = first;
        out["count"] = count;
        nlohmann::json colours = nlohmann::json::array();
        for (int k = 0; k < count; k++) colours.push_back({e[3 * k], e[3 * k + 1], e[3 * k + 2]});
        out["colours"] = colours;
        printf("%s\n", out.dump().c_str());
    } else {
        printf("first %d\ncount %d\n", first, count);
        for (int k = 0; k < count; k++) printf("%3d: %2d %2d %2d\n", k, e[3 * k], e[3 * k + 1], e[3 * k + 2]);
    }
    gCliResult = 0;
}

static void PalImportLbm(const std::string& in, const std::string& out)
{
    CliStartManagers();
    std::vector<uint8_t> image;
    if (ReadWhole(in, IFF_MAX_FILE_SIZE, "an LBM picture", image)) return;
    int colours = 0;
    if (!IffGetPalette(image.data(), image.size(), nullptr, &colours)) {
        CliFail(1, "%s: not a readable LBM picture with a colour map", in.c_str());
        return;
    }
    PalMInstall(PAL_USER_COLOURS);
    int count = colours < PAL_USER_COLOURS ? colours : PAL_USER_COLOURS;
    if (PalMImport(in.c_str(), 0, count)) {
        CliFail(1, "%s: cannot import its colour map", in.c_str());
        return;
    }
    errno = 0;
    if (PalMSave(out.c_str())) {
        CliWriteFailed(out);
        return;
    }
    // The entries past the user colours belong to the interface.
    if (colours > count)
        CliWarn("%s has %d colours; only the first %d are kept, colours %d to %d are dropped", in.c_str(), colours,
                count, count, colours - 1);
    printf("%s: %s\n", out.c_str(), CliCount(count, "colour", "colours").c_str());
    gCliResult = 0;
}

static void LbmToBmp(const std::string& in, const std::string& out)
{
    CliStartManagers();
    std::vector<uint8_t> image;
    if (ReadWhole(in, IFF_MAX_FILE_SIZE, "an LBM picture", image)) return;
    IffInfo info;
    if (!IffGetInfo(image.data(), image.size(), &info)) {
        CliFail(1, "%s: not a readable LBM picture", in.c_str());
        return;
    }
    if (info.colours < 1) {
        CliFail(1, "%s: the picture has no colour map", in.c_str());
        return;
    }
    std::vector<uint8_t> pixels((size_t)info.width * info.height);
    uint8_t cmap[256 * 3];
    int colours = 0;
    if (!IffRead(image.data(), image.size(), 0, 0, info.width, info.height, pixels.data(), cmap, &colours)) {
        CliFail(1, "%s: the picture's body cannot be decoded", in.c_str());
        return;
    }
    // Pixels beyond the colour map come out black.
    std::vector<uint8_t> rgb(pixels.size() * 3, 0);
    for (size_t i = 0; i < pixels.size(); i++)
        if (pixels[i] < colours)
            for (int c = 0; c < 3; c++) rgb[3 * i + c] = cmap[3 * pixels[i] + c];
    errno = 0;
    if (BmpWrite(out.c_str(), rgb.data(), info.width, info.height)) {
        CliWriteFailed(out);
        return;
    }
    printf("%s: %dx%d\n", out.c_str(), info.width, info.height);
    gCliResult = 0;
}

void CliAddPal(CLI::App& app)
{
    CLI::App* pal = CliGroup(app, "pal");

    static std::string infoFile;
    static bool infoJson;
    CLI::App* info = pal->add_subcommand("info", "Show a PAL file's first index, count and colours");
    info->add_option("FILE", infoFile, "PAL file")->required();
    info->add_flag("--json", infoJson, "Write JSON");
    info->callback([] { PalInfo(infoFile, infoJson); });

    static std::string importIn, importOut;
    CLI::App* import =
        pal->add_subcommand("import-lbm", "Write an LBM picture's colour map as a PAL file (at most 248 colours)");
    import->add_option("IN", importIn, "LBM picture")->required();
    import->add_option("OUT", importOut, "PAL file to write")->required();
    import->callback([] { PalImportLbm(importIn, importOut); });

    CLI::App* lbm = CliGroup(app, "lbm");
    static std::string bmpIn, bmpOut;
    CLI::App* toBmp = lbm->add_subcommand("to-bmp", "Write an LBM picture as a 24-bit BMP through its colour map");
    toBmp->add_option("IN", bmpIn, "LBM picture")->required();
    toBmp->add_option("OUT", bmpOut, "BMP file to write")->required();
    toBmp->callback([] { LbmToBmp(bmpIn, bmpOut); });
}
