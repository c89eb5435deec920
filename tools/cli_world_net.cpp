// tolbex-cli world monorail: builds the monorail of a net as the node panel's Monorail button
// does (from a start node, with the main loop's track, pylon and spacing numbers) and saves the
// world with its new net shapes. The shape files are written into the shapes folder.
#include <cstdio>
#include <string>

#include "base/bytes.h"
#include "cli.h"   // found beside this file, whatever the include path
#include "world/net.h"
#include "world/wle.h"
#include "world/worldm.h"

static std::string monoIn, monoOut;
static int monoNode;

// The net shapes of a net: how many, and the first and last file name in packet order.
static int NetShapes(int net, std::string* first, std::string* last)
{
    int count = 0;
    uint8_t* image = WorldMImage();
    for (uint8_t* p = WorldMFirstPacket(image); p; p = WorldMNextPacket(image, p)) {
        if (GetU16(p, WP_TYPE) != WP_SHAPE || !(GetU16(p, WS_FLAGS) & WSF_NET_SHAPE) || GetU16(p, WS_NET) != net)
            continue;
        const char* name = WorldMShapeFileName(p + WS_FILE);
        if (!count) *first = name ? name : "";
        *last = name ? name : "";
        count++;
    }
    return count;
}

static void MonorailCmd(void)
{
    if (CliWorldStart() || CliWorldLoad(monoIn)) return;
    if (monoNode < 1 || monoNode > 0xFFFF || !NetNode((uint16_t)monoNode)) {
        CliFail(1, "%s: no net node %d", monoIn.c_str(), monoNode);
        return;
    }
    int materials[3];
    if (const char* why = NetMonorailMaterials(materials)) {
        CliFail(1, "%s (Rail_Track, Rail_Support and Rail_Light are needed; see --materials)", why);
        return;
    }
    WorldMDeselectAllNodes();
    WorldMSelectNode((uint16_t)monoNode);
    int net = NetNumber();
    int r = WorldMBuildMonorail(materials[0], materials[1], materials[2], MONO_TRACK_WIDTH, MONO_PYLON_DEPTH,
                                MONO_MIN_LINK, MONO_PYLON_SPACING, nullptr);
    if (r) {
        const char* why = *NetBuildMessage() ? NetBuildMessage() : WorldMErrorText(r);
        CliFail(1, "%s: cannot build the monorail from node %d: %s", monoIn.c_str(), monoNode, why);
        return;
    }
    r = WorldMSave(CliWorldPath(monoOut).c_str(), nullptr, nullptr, nullptr);
    if (r) {
        // The net shape files would be left without a world that names them.
        WorldMRemoveNet(net);
        CliFail(1, "cannot write %s: %s", monoOut.c_str(), WorldMErrorText(r));
        return;
    }
    std::string first, last;
    int count = NetShapes(net, &first, &last);
    printf("%s: monorail net %d from node %d: %s (%s to %s)\n", monoOut.c_str(), net, monoNode,
           CliCount(count, "net shape", "net shapes").c_str(), first.c_str(), last.c_str());
    gCliResult = 0;
}

static void AddNetCommands(CLI::App* world)
{
    CLI::App* mono = world->add_subcommand(
        "monorail", "Build the monorail of a net from a start node along its previous links, and save the world");
    mono->add_option("IN", monoIn, "WLE file to read")->required();
    mono->add_option("OUT", monoOut, "WLE file to write")->required();
    mono->add_option("--node", monoNode, "ID of the start node")->required()->type_name("ID");
    CliWorldOptions(mono);
    mono->callback(MonorailCmd);
}

static CliWorldRegistration netRegistration(AddNetCommands);
