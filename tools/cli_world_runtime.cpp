// tolbex-cli world runtime: loads a WLE file and does what the World panel's "Save Runtime"
// does: the WLE written again, the runtime world (the WLE name with its last character made
// 'D') and the WXP archive beside it.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "cli.h"
#include "kernel/kernel.h"
#include "platform/platform.h"
#include "world/runtime.h"
#include "world/terrain.h"
#include "world/wle.h"
#include "world/worldm.h"

using nlohmann::json;

enum { BAR_WIDTH = 40 };

// The progress bar on stderr, drawn over itself when its percentage changes; only when a
// person watches (stdout a terminal), so that scripts and their logs see nothing of it. The
// closing call ends its line.
static int barPercent = -1;

static void DrawBar(int percent)
{
    int filled = percent * BAR_WIDTH / 100;
    fprintf(stderr, "\rSaving World Runtime [%.*s%*s] %3d%%", filled, "########################################",
            BAR_WIDTH - filled, "", percent);
    fflush(stderr);
    barPercent = percent;
}

static int ShowProgress(uint32_t value)
{
    if (value >= PROGRESS_DONE) {
        if (barPercent < 0) return 0;
        if (barPercent != 100) DrawBar(100);
        fputc('\n', stderr);
        barPercent = -1;
        return 0;
    }
    int percent = (int)(value * 100 / PROGRESS_DONE);
    if (percent != barPercent) DrawBar(percent);
    return 0;
}

// What a runtime file holds as written: cells, worldshape copies, corners, and with the
// collision report the collision shapes the game builds from its terrain. 0, or 1 after an
// error line (the file cannot be read back, or the collision data cannot be built).
struct Written {
    long cells = 0, copies = 0, corners = 0;
};

static int ReadWritten(const std::string& file, const std::string& shown, bool collision, Written* w)
{
    int64_t size = FileSize(file.c_str());
    std::vector<uint8_t> image(size > 0 ? (size_t)size : 0);
    char why[200] = "";
    if (image.empty() || FileReadAt(file.c_str(), 0, image.data(), image.size()) ||
        WorldMCheckImage(image.data(), (uint32_t)image.size(), why, sizeof why))
        return CliFail(1, "%s: cannot be read back%s%s", shown.c_str(), *why ? ": " : "", why);
    for (uint8_t* p = WorldMFirstPacket(image.data()); p; p = WorldMNextPacket(image.data(), p)) {
        w->cells += GetU16(p, WP_TYPE) == WP_CELL;
        w->copies += GetU16(p, WP_TYPE) == WP_SHAPE;
    }
    w->corners = GetU32(image.data(), WLE_CORNER_COUNT);
    if (!collision) return 0;
    int r = TerrainBuildCollision(image.data(), GetU32(image.data(), WLE_USED));
    if (r) return CliFail(1, "%s: %s (%s)", shown.c_str(), TerrainCollisionText(r), TerrainCollisionError());
    return 0;
}

// The collision shapes just built: per tile its point count and the box its points span.
static json CollisionJson(void)
{
    json tiles = json::array();
    uint64_t points = 0;
    uint32_t across = 0, deep = 0;
    TerrainCollisionShape s;
    for (uint32_t i = 0; TerrainGetCollision(i, &s); i++) {
        int32_t lo[3], hi[3];
        for (int a = 0; a < 3; a++) lo[a] = hi[a] = s.points[a];
        for (uint32_t k = 0; k < s.count; k++)
            for (int a = 0; a < 3; a++) {
                lo[a] = std::min(lo[a], s.points[3 * k + a]);
                hi[a] = std::max(hi[a], s.points[3 * k + a]);
            }
        tiles.push_back({{"column", s.column}, {"row", s.row}, {"points", s.count}, {"min", {lo[0], lo[1], lo[2]}},
                         {"max", {hi[0], hi[1], hi[2]}}});
        points += s.count;
        across = std::max(across, s.column + 1);
        deep = std::max(deep, s.row + 1);
    }
    return {{"tilesAcross", across}, {"tilesDeep", deep}, {"shapes", tiles.size()}, {"points", points},
            {"tiles", tiles}};
}

static void PrintCollision(const json& c)
{
    printf("collision: %s (%u x %u tiles), %s\n", CliCount(c["shapes"].get<long long>(), "shape", "shapes").c_str(),
           c["tilesAcross"].get<unsigned>(), c["tilesDeep"].get<unsigned>(),
           CliCount(c["points"].get<long long>(), "point", "points").c_str());
    for (const json& t : c["tiles"]) {
        const json &lo = t["min"], &hi = t["max"];
        printf("  tile (%u, %u): %s, X %d..%d, Y %d..%d, Z %d..%d\n", t["column"].get<unsigned>(),
               t["row"].get<unsigned>(), CliCount(t["points"].get<long long>(), "point", "points").c_str(),
               lo[0].get<int>(), hi[0].get<int>(), lo[1].get<int>(), hi[1].get<int>(), lo[2].get<int>(),
               hi[2].get<int>());
    }
}

static void WorldRuntimeCmd(const std::string& in, bool collision, bool asJson)
{
    if (CliWorldStart()) return;
    WorldMRuntimeInstall();
    if (CliWorldLoad(in)) return;
    char last = in.back();
    if (last == 'D' || last == 'd') {
        CliFail(1, "%s: the runtime file would be the world file itself (the name ends in %c)", in.c_str(), last);
        return;
    }
    // Names as the user gave them for the messages; as the managers need them for the work.
    std::string wle = CliWorldPath(in);
    std::string runtime = WorldMRuntimeNameFor(wle.c_str()), shownRuntime = WorldMRuntimeNameFor(in.c_str());
    char wxp[4096], shownWxp[4096];
    if (WorldMWxpFileName(runtime.c_str(), wxp, sizeof wxp) || WorldMWxpFileName(shownRuntime.c_str(), shownWxp, sizeof shownWxp)) {
        CliFail(1, "%s: %s (no WXP name of at most %d characters can be made from it)", shownRuntime.c_str(),
                WorldMRuntimeErrorText(RT_ERR_NAME), WLE_WXP_NAME_MAX - 1);
        return;
    }
    barPercent = -1;
    int result = WorldMSave(wle.c_str(), runtime.c_str(), nullptr, isatty(STDOUT_FILENO) ? ShowProgress : nullptr);
    if (barPercent >= 0) fputc('\n', stderr);
    if (result) {
        const char* detail = WorldMRuntimeMessage();
        // A failure before the runtime save began is the WLE's own.
        CliFail(1, "%s: %s%s%s%s", *detail ? shownRuntime.c_str() : in.c_str(), WorldMRuntimeErrorText(result),
                *detail ? " (" : "", detail, *detail ? ")" : "");
        return;
    }
    Written w;
    if (ReadWritten(runtime, shownRuntime, collision, &w)) return;
    json out = {{"runtime", shownRuntime}, {"cells", w.cells},   {"worldshapeCopies", w.copies},
                {"corners", w.corners},     {"wxp", shownWxp},   {"wxpBytes", FileSize(wxp)}};
    if (collision) out["collision"] = CollisionJson();
    TerrainFreeCollision();
    if (asJson) {
        printf("%s\n", out.dump(2, ' ', false, json::error_handler_t::replace).c_str());
    } else {
        printf("%s: %s, %s, %s\n%s: %s\n", shownRuntime.c_str(), CliCount(w.cells, "cell", "cells").c_str(),
               CliCount(w.copies, "worldshape copy", "worldshape copies").c_str(),
               CliCount(w.corners, "corner", "corners").c_str(), shownWxp,
               CliCount(FileSize(wxp), "byte", "bytes").c_str());
        if (collision) PrintCollision(out["collision"]);
    }
    gCliResult = 0;
}

static void AddRuntimeCommand(CLI::App* world)
{
    static std::string in;
    static bool collision = false, asJson = false;
    CLI::App* cmd = world->add_subcommand(
        "runtime", "Save Runtime: write IN.WLE again, the runtime world IN.WLD and the WXP archive IN.wxp beside it");
    cmd->add_option("IN", in, "WLE file to load")->required();
    cmd->add_flag("--collision-report", collision,
                  "Build the terrain's collision data as the game does and list its shapes, one a tile");
    cmd->add_flag("--json", asJson, "Write JSON");
    CliWorldOptions(cmd);
    cmd->callback([] { WorldRuntimeCmd(in, collision, asJson); });
}

static CliWorldRegistration runtimeRegistration(AddRuntimeCommand);
