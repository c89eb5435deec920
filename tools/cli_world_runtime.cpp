// tolbex-cli world runtime: loads a WLE file and does what the World panel's "Save Runtime"
// does: the WLE written again, the runtime world (the WLE name with its last character made
// 'D') and the WXP archive beside it.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/bytes.h"
#include "cli.h"
#include "kernel/kernel.h"
#include "platform/platform.h"
#include "world/runtime.h"
#include "world/wle.h"
#include "world/worldm.h"

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

// Cells, worldshape copies and corners of a runtime file as written.
static std::string Census(const std::string& file)
{
    int64_t size = FileSize(file.c_str());
    std::vector<uint8_t> image(size > 0 ? (size_t)size : 0);
    if (image.empty() || FileReadAt(file.c_str(), 0, image.data(), image.size())) return "";
    if (WorldMCheckImage(image.data(), (uint32_t)image.size(), nullptr, 0)) return "";
    long cells = 0, copies = 0;
    for (uint8_t* p = WorldMFirstPacket(image.data()); p; p = WorldMNextPacket(image.data(), p)) {
        cells += GetU16(p, WP_TYPE) == WP_CELL;
        copies += GetU16(p, WP_TYPE) == WP_SHAPE;
    }
    return CliCount(cells, "cell", "cells") + ", " + CliCount(copies, "worldshape copy", "worldshape copies") + ", " +
           CliCount(GetU32(image.data(), WLE_CORNER_COUNT), "corner", "corners");
}

static void WorldRuntimeCmd(const std::string& in)
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
    printf("%s: %s\n%s: %s\n", shownRuntime.c_str(), Census(runtime).c_str(), shownWxp,
           CliCount(FileSize(wxp), "byte", "bytes").c_str());
    gCliResult = 0;
}

static void AddRuntimeCommand(CLI::App* world)
{
    static std::string in;
    CLI::App* cmd = world->add_subcommand(
        "runtime", "Save Runtime: write IN.WLE again, the runtime world IN.WLD and the WXP archive IN.wxp beside it");
    cmd->add_option("IN", in, "WLE file to load")->required();
    CliWorldOptions(cmd);
    cmd->callback([] { WorldRuntimeCmd(in); });
}

static CliWorldRegistration runtimeRegistration(AddRuntimeCommand);
