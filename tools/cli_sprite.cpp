// tolbex-cli sprite: pictures from other tools made into SPR sprites, sprites written back as
// PNG, and a sprite's format and size.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/bytes.h"
#include "cli.h"
#include "palette/image.h"
#include "palette/palm.h"
#include "palette/png.h"
#include "platform/platform.h"

// A sprite file is never written over a file of another kind.
static bool SprCliMayWrite(const std::string& out)
{
    if (!FileExists(out.c_str())) return true;
    uint8_t magic[4] = {};
    if (FileSize(out.c_str()) >= 4 && FileReadAt(out.c_str(), 0, magic, 4) == 0 &&
        (TagIs(magic, "TRPS") || TagIs(magic, "BGRS") || TagIs(magic, "BGRZ")))
        return true;
    CliFail(1, "%s exists and is no sprite: it is not written over", out.c_str());
    return false;
}

// The working palette of a PAL file as 256 triples, and its first index and count.
static int SprCliPalette(const std::string& file, uint8_t* palette, int* first, int* count)
{
    ResId id = CliReadFile(file, PAL_FILE_SIZE, "a palette file");
    if (!id) return 1;
    const uint8_t* d = (const uint8_t*)ResOpen(id);
    size_t size = ResSize(id);
    int n = 0;
    int failed = PalMCheckImage(d, size, &n);
    if (!failed) {
        *first = GetI16(d, 0);
        *count = n;
        memset(palette, 0, 256 * 3);
        for (int k = 0; k < n; k++)
            if (*first + k >= 0 && *first + k < 256) memcpy(palette + 3 * (*first + k), d + 4 + 3 * k, 3);
    }
    ResClose(id);
    ResFreeAlways(id);
    if (failed) CliFail(1, "%s: %s", file.c_str(), CliPaletteRefusal().c_str());
    return failed;
}

static struct {
    std::string image, out, format = "8", palette, key, resize = "none";
    bool ownPalette = false, dither = false;
} sprImp;

static void SprImport(void)
{
    CliStartManagers();
    ImgSpriteOptions o;
    o.format = sprImp.format == "8" ? IMG_FORMAT_8 : sprImp.format == "32" ? IMG_FORMAT_32 : IMG_FORMAT_32Z;
    o.ownPalette = sprImp.ownPalette;
    o.dither = sprImp.dither;
    o.resizePow2 = sprImp.resize == "pow2";
    if (!sprImp.key.empty()) {
        int r, g, b;
        char tail;
        if (sscanf(sprImp.key.c_str(), "%d,%d,%d%c", &r, &g, &b, &tail) != 3 || r < 0 || r > 255 || g < 0 || g > 255 ||
            b < 0 || b > 255) {
            CliFail(2, "--key %s: give red, green and blue as R,G,B, each 0 to 255", sprImp.key.c_str());
            return;
        }
        o.hasKey = true;
        o.key[0] = (uint8_t)r;
        o.key[1] = (uint8_t)g;
        o.key[2] = (uint8_t)b;
    }
    uint8_t palette[256 * 3];
    if (o.format == IMG_FORMAT_8 && !o.ownPalette) {
        if (sprImp.palette.empty()) {
            CliFail(2, "an 8-bit sprite takes the working palette's colours: give --palette FILE.PAL or --own-palette");
            return;
        }
        if (SprCliPalette(sprImp.palette, palette, &o.paletteFirst, &o.paletteCount)) return;
        o.palette = palette;
    }
    if (!SprCliMayWrite(sprImp.out)) return;
    ImgPicture picture;
    std::string why;
    if (ImgLoad(sprImp.image.c_str(), &picture, why)) {
        CliFail(1, "%s: %s", sprImp.image.c_str(), why.c_str());
        return;
    }
    std::vector<uint8_t> sprite;
    ImgSpriteReport report;
    if (ImgToSprite(picture, o, sprite, &report, why)) {
        CliFail(1, "%s: %s", sprImp.image.c_str(), why.c_str());
        return;
    }
    if (CliWrite(sprImp.out, sprite.data(), sprite.size())) return;
    printf("%s: %s sprite %dx%d", sprImp.out.c_str(), o.format == IMG_FORMAT_8 ? "8-bit" : o.format == IMG_FORMAT_32 ? "32-bit" : "compressed 32-bit",
           report.width, report.height);
    if (report.width != report.sourceWidth || report.height != report.sourceHeight)
        printf(" (scaled from %dx%d)", report.sourceWidth, report.sourceHeight);
    if (o.format == IMG_FORMAT_8) {
        printf(", %s", CliCount(report.colours, o.ownPalette ? "colour of its own" : "palette colour",
                                o.ownPalette ? "colours of its own" : "palette colours").c_str());
        if (report.transparent >= 0) printf(", transparent index %d", report.transparent);
    }
    printf("\n");
    gCliResult = 0;
}

// Reads a sprite file into a loaded resource: the id, or 0 after an error line.
static ResId SprCliRead(const std::string& file)
{
    ResId id = CliReadFile(file, SPRITE_MAX_FILE_SIZE, "a sprite file");
    if (!id) return 0;
    if (SpriteLoad(id)) {
        CliFail(1, "%s: %s", file.c_str(), SpriteLastRefusal());
        ResFreeAlways(id);
        return 0;
    }
    return id;
}

static std::string sprExportIn, sprExportOut, sprExportPalette;

static void SprExport(void)
{
    CliStartManagers();
    uint8_t palette[256 * 3];
    int first = 0, count = 0;
    if (!sprExportPalette.empty() && SprCliPalette(sprExportPalette, palette, &first, &count)) return;
    ResId id = SprCliRead(sprExportIn);
    if (!id) return;
    ImgPicture picture;
    std::string why;
    int failed = ImgFromSprite(id, sprExportPalette.empty() ? nullptr : palette, &picture, why);
    ResFreeAlways(id);
    if (failed) {
        CliFail(1, "%s: %s", sprExportIn.c_str(), why.c_str());
        return;
    }
    std::vector<uint8_t> png;
    if (!PngEncodeRgba(picture.rgba.data(), picture.width, picture.height, png)) {
        CliFail(1, "%s: cannot encode it as PNG", sprExportIn.c_str());
        return;
    }
    if (CliWrite(sprExportOut, png.data(), png.size())) return;
    printf("%s: %dx%d\n", sprExportOut.c_str(), picture.width, picture.height);
    gCliResult = 0;
}

static std::string sprInfoFile;
static bool sprInfoJson;

static void SprInfo(void)
{
    CliStartManagers();
    uint8_t magic[4] = {};
    if (CliCheckReadable(sprInfoFile, SPRITE_MAX_FILE_SIZE, "a sprite file")) return;
    FileReadAt(sprInfoFile.c_str(), 0, magic, FileSize(sprInfoFile.c_str()) >= 4 ? 4 : 0);
    ResId id = SprCliRead(sprInfoFile);
    if (!id) return;
    SpriteInfo info{};
    SpriteFormat(id, &info);
    const char* kind = TagIs(magic, "TRPS") ? "TRPS" : TagIs(magic, "BGRZ") ? "BGRZ" : "BGRS";
    const uint8_t* d = (const uint8_t*)ResPeek(id);
    const uint8_t* pal = info.bpp == 8 ? SpritePalette(id) : nullptr;
    int transparent = info.bpp == 8 ? SpriteTransparent(id) : -1;
    int colours = pal ? GetI16(pal, 2) : 0;
    int key[3] = {d[12], d[13], d[14]};
    bool alpha = info.bpp == 32 && d[30] == 1;
    if (sprInfoJson) {
        nlohmann::json j;
        j["format"] = kind;
        j["bpp"] = info.bpp;
        j["width"] = info.width;
        j["height"] = info.height;
        if (info.bpp == 8) {
            j["transparent"] = transparent;
            j["palette"] = colours;
        } else {
            j["key"] = {key[0], key[1], key[2]};
            j["alpha"] = alpha;
        }
        printf("%s\n", j.dump().c_str());
    } else {
        printf("%s: %s, %d bits, %dx%d\n", sprInfoFile.c_str(), kind, info.bpp, info.width, info.height);
        if (info.bpp == 8) {
            printf("transparent index %d\n", transparent);
            printf("palette %s\n", colours ? CliCount(colours, "colour of its own", "colours of its own").c_str()
                                           : "the working palette's");
        } else {
            printf("key colour %d,%d,%d\n", key[0], key[1], key[2]);
            printf("alpha %s\n", alpha ? "used" : "not used");
        }
    }
    ResFreeAlways(id);
    gCliResult = 0;
}

void CliAddSprite(CLI::App& app)
{
    CLI::App* sprite = CliGroup(app, "sprite");

    CLI::App* im = sprite->add_subcommand("import", "Make an SPR sprite of a PNG, JPEG, TGA, BMP or GIF picture");
    im->add_option("IMAGE", sprImp.image, "Picture to read")->required();
    im->add_option("OUT", sprImp.out, "SPR file to write")->required();
    im->add_option("--format", sprImp.format, "8 (palette), 32 or 32z (compressed 32-bit)")
        ->check(CLI::IsMember({"8", "32", "32z"}));
    CLI::Option* pal = im->add_option("--palette", sprImp.palette, "The working palette (PAL) an 8-bit sprite takes");
    im->add_flag("--own-palette", sprImp.ownPalette, "An 8-bit sprite with a palette of its own")->excludes(pal);
    im->add_flag("--dither", sprImp.dither, "Error-diffusion dither to the palette");
    im->add_option("--key", sprImp.key, "Colour R,G,B that becomes transparent");
    im->add_option("--resize", sprImp.resize, "pow2: scale each side to the nearest power of two (at most 1024)")
        ->check(CLI::IsMember({"pow2", "none"}));
    im->callback(SprImport);

    CLI::App* ex = sprite->add_subcommand("export", "Write a sprite as a PNG picture");
    ex->add_option("SPR", sprExportIn, "Sprite file")->required();
    ex->add_option("OUT", sprExportOut, "PNG file to write")->required();
    ex->add_option("--palette", sprExportPalette, "The working palette (PAL) for an 8-bit sprite without its own");
    ex->callback(SprExport);

    CLI::App* info = sprite->add_subcommand("info", "Show a sprite's format, size, palette and transparency");
    info->add_option("SPR", sprInfoFile, "Sprite file")->required();
    info->add_flag("--json", sprInfoJson, "Write JSON");
    info->callback(SprInfo);
}
