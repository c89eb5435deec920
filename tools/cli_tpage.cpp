// tolbex-cli tpage pack: packs sprite files into texture pages as a hardware driver would,
// with a back end that keeps no texels and takes at most --max-pages pages at a time, and
// prints where each sprite went.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/bytes.h"
#include "base/res.h"
#include "cli.h"   // found beside this file, whatever the include path
#include "platform/platform.h"
#include "render/tpage.h"

// ---- the software back end ------------------------------------------------------------------

static int packMaxPages = TPAGE_MAX_PAGES;
static int packHeld;   // pages the back end holds now

static int PackLoadPage(int, int, int, TPageRecord*, uint32_t)
{
    if (packHeld >= packMaxPages) return 1;
    packHeld++;
    return 0;
}

static void PackRemovePage(TPageRecord*)
{
    if (packHeld > 0) packHeld--;
}

static void PackFreePage(TPageRecord*) {}

// ---- tpage pack -----------------------------------------------------------------------------

static bool PowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// Reads a sprite file into a resource ready for TPage: the id, or 0 after an error line.
static ResId ReadSprite(const std::string& file)
{
    ResId id = CliReadFile(file, SPRITE_MAX_FILE_SIZE, "a sprite file");
    if (!id) return 0;
    const uint8_t* d = (const uint8_t*)ResPeek(id);
    bool compressed = ResSize(id) >= 4 && !memcmp(d, "BGRZ", 4);
    if ((compressed && SpriteDecompress(id) != 0) || !SpriteFormat(id, nullptr)) {
        CliFail(1, "%s: not a sprite file, or a damaged one", file.c_str());
        return 0;
    }
    return id;
}

static void TPagePack(int pageSize, int maxPages, const std::string& flagsText, bool json,
                      const std::vector<std::string>& files)
{
    if (!PowerOfTwo(pageSize) || pageSize < TPAGE_MIN_SCALED || pageSize > TPAGE_MAX_EDGE) {
        CliFail(2, "--page-size %d: a power of two from %d to %d is needed", pageSize, (int)TPAGE_MIN_SCALED,
                (int)TPAGE_MAX_EDGE);
        return;
    }
    if (maxPages < 1 || maxPages > TPAGE_MAX_PAGES) {
        CliFail(2, "--max-pages %d: 1 to %d is needed", maxPages, (int)TPAGE_MAX_PAGES);
        return;
    }
    char* end = nullptr;
    unsigned long flags = strtoul(flagsText.c_str(), &end, 16);
    if (flagsText.empty() || *end || flags > 0xFFFFFFFFul) {
        CliFail(2, "--flags %s: a hexadecimal number is needed", flagsText.c_str());
        return;
    }
    CliStartManagers();
    std::vector<ResId> ids;
    for (const std::string& file : files) {
        ResId id = ReadSprite(file);
        if (!id) return;
        ids.push_back(id);
    }
    packMaxPages = maxPages;
    packHeld = 0;
    if (TPageInit(pageSize, 1.0f, PackLoadPage, PackFreePage, PackRemovePage, 0)) {
        CliFail(1, "cannot start the texture pages");
        return;
    }
    TPageStartLoad(TPAGE_RGBA32, TPAGE_RGBA32, TPAGE_RGBA32_KEYED);
    for (size_t i = 0; i < ids.size(); i++) {
        if (TPageLoadText(ids[i], (uint32_t)flags)) {
            CliFail(1, "%s: refused by the texture pages", files[i].c_str());
            return;
        }
    }
    TPageEndLoad(nullptr);

    nlohmann::json out = nlohmann::json::array();
    int placed = 0;
    for (size_t i = 0; i < ids.size(); i++) {
        TPagePlace p;
        bool ok = TPagePlacement(ids[i], &p) != 0;
        placed += ok;
        if (json) {
            nlohmann::json s = {{"name", files[i]}, {"placed", ok}};
            if (ok) {
                s["page"] = p.page;
                s["x"] = p.x;
                s["y"] = p.y;
                s["w"] = p.w;
                s["h"] = p.h;
            }
            out.push_back(s);
        } else if (ok) {
            printf("%s: page %d at (%d, %d) size %dx%d\n", files[i].c_str(), p.page, p.x, p.y, p.w, p.h);
        } else {
            printf("%s: not placed\n", files[i].c_str());
        }
    }
    if (json) {
        printf("%s\n", out.dump(2).c_str());
    } else {
        printf("%s placed on %s of %dx%d", CliCount(placed, "sprite", "sprites").c_str(),
               CliCount(TPagePageCount(), "page", "pages").c_str(), pageSize, pageSize);
        if (placed < (int)ids.size()) printf(", %d not placed", (int)ids.size() - placed);
        printf("\n");
    }
    TPageDestroy();
    gCliResult = 0;
}

void CliAddTPage(CLI::App& app)
{
    CLI::App* tpage = CliGroup(app, "tpage");
    static int pageSize = 256, maxPages = TPAGE_MAX_PAGES;
    static std::string flags = "0";
    static bool json;
    static std::vector<std::string> files;
    CLI::App* pack = tpage->add_subcommand("pack", "Pack sprite files into texture pages and show where each went");
    pack->add_option("--page-size", pageSize, "Largest page edge in texels, a power of two up to 1024 (default 256)");
    pack->add_option("--max-pages", maxPages, "Pages the back end can hold (default 1024)");
    pack->add_option("--flags", flags, "Load flags for every sprite, hexadecimal (2: never shrink, 10: own page)");
    pack->add_flag("--json", json, "Write JSON");
    pack->add_option("SPRITE_FILES", files, "SPR sprite files")->required();
    pack->callback([] { TPagePack(pageSize, maxPages, flags, json, files); });
}
