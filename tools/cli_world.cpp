// tolbex-cli world: WLE world files. `info` shows a file as it lies on the disk; `upgrade` and
// `summary` load it as the World panel's Load does (versions 15 to 19 converted, worldshapes
// renumbered, their shapes looked up in the shapes folder) and write what the panel's Save
// writes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/log.h"
#include "base/res.h"
#include "cli.h"   // found beside this file, whatever the include path
#include "platform/platform.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "world/wle.h"
#include "world/worldm.h"

using nlohmann::json;

// ============================================================================================
// The group and its registrations
// ============================================================================================

static std::vector<CliWorldAdder>& Adders(void)
{
    static std::vector<CliWorldAdder> adders;
    return adders;
}

CliWorldRegistration::CliWorldRegistration(CliWorldAdder add) { Adders().push_back(add); }

// ============================================================================================
// Start, paths and loading
// ============================================================================================

static std::string shapesFolder;
static std::string startFolder;   // the folder the command was run in

void CliWorldOptions(CLI::App* cmd)
{
    CliShapeOptions(cmd);
    cmd->add_option("--shapes", shapesFolder, "Folder that holds the world's shape files (default: the working folder)")
        ->type_name("DIR");
}

std::string CliWorldPath(const std::string& file)
{
    if (file.empty() || file[0] == '/' || startFolder.empty()) return file;
    return startFolder + "/" + file;
}

int CliWorldStart(void)
{
    CliShapeStart();
    if (gCliResult) return 1;
    ShapeMResourceInstall();
    if (!ShapeMIsInstalled()) ShapeMInstall();
    ShapeMSetUndo(1);
    if (!WorldMIsInstalled()) WorldMInstall(WORLDM_CAPACITY);
    char here[4096];
    if (!FileCurrentFolder(here, sizeof here)) return CliFail(1, "cannot read the working folder");
    startFolder = here;
    WorldMSetSummaryFileName((startFolder + "/temp.txt").c_str());
    if (!shapesFolder.empty()) {
        if (chdir(shapesFolder.c_str()))
            return CliFail(1, "cannot open the shapes folder %s: %s", shapesFolder.c_str(), strerror(errno));
    }
    return 0;
}

int CliWorldLoad(const std::string& file)
{
    std::string path = CliWorldPath(file);
    // The error line names the file as the user gave it (the path may have been made absolute).
    if (CliCheckReadable(path, WorldMCapacity(), "a world file", file)) return 1;
    if (WorldMLoad(path.c_str())) {
        std::string why = WorldMLoadError();
        // The reason without the manager's prefix and the path it was given.
        const char* prefix = "WorldMLoad - ";
        if (!why.compare(0, path.size() + 2, path + ": ")) why = why.substr(path.size() + 2);
        if (!why.compare(0, strlen(prefix), prefix)) why = why.substr(strlen(prefix));
        return CliFail(1, "%s: %s (%s)", file.c_str(), WorldMErrorText(WORLD_ERR_LOAD), why.c_str());
    }
    std::map<std::string, int> missing;
    uint8_t* image = WorldMImage();
    for (uint8_t* p = WorldMFirstPacket(image); p; p = WorldMNextPacket(image, p)) {
        if (GetU16(p, WP_TYPE) != WP_SHAPE || GetU16(p, WS_HANDLE)) continue;
        const char* name = WorldMShapeFileName(p + WS_FILE);
        missing[name ? name : "(no file name)"]++;
    }
    for (const auto& m : missing)
        CliWarn("%s: shape %s is missing or cannot be loaded (%s)", file.c_str(),
                CliPrintable(m.first.data(), m.first.size()).c_str(), CliCount(m.second, "worldshape", "worldshapes").c_str());
    return 0;
}

// ============================================================================================
// world info
// ============================================================================================

static const char* TypeName(uint16_t type)
{
    switch (type) {
    case WP_RESERVED_1002: return "reserved-1002";
    case WP_CELL: return "cell";
    case WP_CORNER: return "corner";
    case WP_RESERVED_1005: return "reserved-1005";
    case WP_SHORT_SHAPE: return "short-worldshape";
    case WP_NODE: return "node";
    case WP_SHAPE: return "worldshape";
    case WP_TERRAIN: return "terrain";
    default: return "unknown";
    }
}

static json NameJson(uint32_t name)
{
    if (!name) return nullptr;
    std::string s;
    for (int k = 3; k >= 0; k--) {
        uint8_t c = (uint8_t)(name >> (8 * k));
        if (c >= 0x20 && c < 0x7F)
            s += (char)c;
        else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            s += hex;
        }
    }
    return s;
}

static json Text8(const uint8_t* p)
{
    std::string s;
    for (int k = 0; k < 8 && p[k]; k++) s += (char)p[k];
    return s;
}

static json Ints(const uint8_t* p, int offset, int count, int width)
{
    json a = json::array();
    for (int k = 0; k < count; k++)
        a.push_back(width == 4 ? (json)GetI32(p, offset + 4 * k) : (json)GetI16(p, offset + 2 * k));
    return a;
}

static json Packet(uint8_t* image, uint8_t* p)
{
    uint16_t type = GetU16(p, WP_TYPE);
    json j = {{"offset", p - image}, {"type", type}, {"kind", TypeName(type)}, {"size", WorldMPacketSize(p)}};
    if (type == WP_SHAPE || type == WP_SHORT_SHAPE) {
        const char* file = WorldMShapeFileName(p + WS_FILE);
        j["flags"] = GetU16(p, WS_FLAGS);
        j["id"] = GetU16(p, WS_ID);
        j["name"] = NameJson(GetU32(p, WS_NAME));
        j["position"] = Ints(p, WS_X, 3, 4);
        j["yaw"] = GetI16(p, WS_YAW);
        j["pitch"] = GetI16(p, WS_PITCH);
        j["file"] = file ? json(file) : json(nullptr);
        j["box"] = Ints(p, WS_BOX, 6, 4);
        j["handle"] = GetU16(p, WS_HANDLE);
        j["net"] = GetU16(p, WS_NET);
        j["field60"] = GetU16(p, WS_FIELD60);
        if (type == WP_SHAPE) j["texts"] = {Text8(p + WS_TEXT1), Text8(p + WS_TEXT2), Text8(p + WS_TEXT3)};
    } else if (type == WP_NODE) {
        j["id"] = GetU16(p, WN_ID);
        j["selected"] = GetU16(p, WN_SELECTED);
        j["position"] = Ints(p, WN_X, 3, 4);
        j["previous"] = GetU16(p, WN_PREV);
        j["next"] = GetU16(p, WN_NEXT);
        j["hidden"] = GetU16(p, WN_HIDDEN);
        j["netName"] = NameJson(GetU32(p, WN_NAME));
        j["distances"] = Ints(p, WN_DIST_PREV, 2, 4);
        j["directionPrevious"] = Ints(p, WN_DIR_PREV, 3, 2);
        j["directionNext"] = Ints(p, WN_DIR_NEXT, 3, 2);
    } else if (type == WP_CELL) {
        j["index"] = Ints(p, WC_INDEX_X, 3, 4);
        j["min"] = Ints(p, WC_MIN, 3, 4);
        j["max"] = Ints(p, WC_MAX, 3, 4);
        json corners = json::array();
        for (int k = 0; k < 8; k++) corners.push_back(GetU32(p, WC_CORNERS + 4 * k));
        j["corners"] = corners;
        j["dynamic"] = GetU32(p, WC_DYNAMIC_COUNT);
        j["static"] = GetU32(p, WC_STATIC_COUNT);
    } else if (type == WP_CORNER) {
        j["index"] = GetU16(p, WCO_INDEX);
        j["corner"] = {GetU16(p, WCO_X), GetU16(p, WCO_Y), GetU16(p, WCO_Z)};
    }
    return j;
}

static json DescribeWorld(uint8_t* image, uint32_t fileSize, const std::string& file)
{
    std::string wxp;
    for (int k = WLE_WXP_NAME; k < WLE_HEADER_SIZE && image[k]; k++) wxp += (char)image[k];
    json info = {
        {"file", file},
        {"fileSize", fileSize},
        {"used", GetU32(image, WLE_USED)},
        {"version", GetU32(image, WLE_VERSION)},
        {"cellExponent", GetU32(image, WLE_CELL_EXPONENT)},
        {"cellEdge", GetU32(image, WLE_CELL_EDGE)},
        {"cells", {GetU32(image, WLE_CELLS_X), GetU32(image, WLE_CELLS_Y), GetU32(image, WLE_CELLS_Z)}},
        {"cellDiagonal", GetU32(image, WLE_CELL_DIAGONAL)},
        {"cornerCount", GetU32(image, WLE_CORNER_COUNT)},
        {"field20", GetU32(image, WLE_FIELD20)},
        {"field36", GetU32(image, WLE_FIELD36)},
        {"wxpName", wxp},
    };
    json packets = json::array();
    for (uint8_t* p = WorldMFirstPacket(image); p; p = WorldMNextPacket(image, p)) packets.push_back(Packet(image, p));
    info["packets"] = packets;
    return info;
}

static std::string NameText(const json& n) { return n.is_null() ? "-" : n.get<std::string>(); }

static void PrintWorldInfo(const json& i)
{
    printf("%s: WLE version %u, %u bytes used of %u\n", i["file"].get<std::string>().c_str(),
           i["version"].get<uint32_t>(), i["used"].get<uint32_t>(), i["fileSize"].get<uint32_t>());
    printf("cells: %u x %u x %u, exponent %u, edge %u, diagonal %u\n", i["cells"][0].get<uint32_t>(),
           i["cells"][1].get<uint32_t>(), i["cells"][2].get<uint32_t>(), i["cellExponent"].get<uint32_t>(),
           i["cellEdge"].get<uint32_t>(), i["cellDiagonal"].get<uint32_t>());
    std::string wxp = i["wxpName"].get<std::string>();
    printf("corner packets: %u, field 20: %u, field 36: %u, WXP name: \"%s\"\n", i["cornerCount"].get<uint32_t>(),
           i["field20"].get<uint32_t>(), i["field36"].get<uint32_t>(), CliPrintable(wxp.data(), wxp.size()).c_str());
    std::map<std::string, int> counts;
    for (const json& p : i["packets"]) counts[p["kind"].get<std::string>()]++;
    std::string summary;
    for (const auto& c : counts) summary += (summary.empty() ? "" : ", ") + std::to_string(c.second) + " " + c.first;
    printf("packets: %zu%s%s%s\n", i["packets"].size(), summary.empty() ? "" : " (", summary.c_str(),
           summary.empty() ? "" : ")");
    for (const json& p : i["packets"]) {
        std::string kind = p["kind"].get<std::string>();
        printf("  @%u %s", p["offset"].get<uint32_t>(), kind.c_str());
        if (kind == "worldshape" || kind == "short-worldshape") {
            std::string shapeFile = p["file"].is_null() ? "(none)" : p["file"].get<std::string>();
            printf(" id %u flags 0x%04X name %s at %s yaw %d pitch %d file %s", p["id"].get<unsigned>(),
                   p["flags"].get<unsigned>(), NameText(p["name"]).c_str(), CliVector(p["position"]).c_str(),
                   p["yaw"].get<int>(), p["pitch"].get<int>(), CliPrintable(shapeFile.data(), shapeFile.size()).c_str());
            if (p["net"].get<unsigned>()) printf(" net %u", p["net"].get<unsigned>());
        } else if (kind == "node") {
            printf(" id %u at %s previous %u next %u net name %s%s%s", p["id"].get<unsigned>(),
                   CliVector(p["position"]).c_str(), p["previous"].get<unsigned>(), p["next"].get<unsigned>(),
                   NameText(p["netName"]).c_str(), p["selected"].get<unsigned>() ? " selected" : "",
                   p["hidden"].get<unsigned>() ? " hidden" : "");
        } else if (kind == "cell") {
            printf(" %s: %u dynamic, %u static", CliVector(p["index"]).c_str(), p["dynamic"].get<unsigned>(),
                   p["static"].get<unsigned>());
        } else if (kind == "corner") {
            printf(" %u at %s", p["index"].get<unsigned>(), CliVector(p["corner"]).c_str());
        } else {
            printf(" %u bytes", p["size"].get<unsigned>());
        }
        printf("\n");
    }
}

static void InfoCmd(const std::string& file, bool asJson)
{
    CliStartManagers();
    ResId id = CliReadFile(file, WORLDM_CAPACITY, "a world file");
    if (!id) return;
    uint32_t size = (uint32_t)ResSize(id);
    uint8_t* data = (uint8_t*)ResOpen(id);
    char why[200];
    if (WorldMCheckImage(data, size, why, sizeof why)) {
        ResClose(id);
        ResFreeAlways(id);
        CliFail(1, "%s: not a WLE world file, or a damaged one: %s", file.c_str(), why);
        return;
    }
    json info = DescribeWorld(data, size, file);
    ResClose(id);
    ResFreeAlways(id);
    if (asJson)
        printf("%s\n", info.dump(2, ' ', false, json::error_handler_t::replace).c_str());
    else
        PrintWorldInfo(info);
    gCliResult = 0;
}

// ============================================================================================
// world upgrade, world summary
// ============================================================================================

static uint32_t FileVersion(const std::string& file)
{
    uint8_t header[WLE_VERSION + 4] = {};
    if (FileReadAt(CliWorldPath(file).c_str(), 0, header, sizeof header)) return 0;
    return GetU32(header, WLE_VERSION);
}

static void UpgradeCmd(const std::string& in, const std::string& out)
{
    if (CliWorldStart()) return;
    uint32_t version = FileVersion(in);
    if (CliWorldLoad(in)) return;
    errno = 0;
    if (WorldMSave(CliWorldPath(out).c_str(), nullptr, nullptr, nullptr)) {
        CliWriteFailed(out);
        return;
    }
    printf("%s: WLE version %d from version %u, %s, %s, %u bytes\n", out.c_str(), WLE_VERSION_CURRENT, version,
           CliCount(WorldMCountShapes(), "worldshape", "worldshapes").c_str(),
           CliCount(WorldMCountNodePackets(), "node", "nodes").c_str(), WorldMUsed());
    gCliResult = 0;
}

static void SummaryCmd(const std::string& in, const std::string& out)
{
    if (CliWorldStart()) return;
    if (CliWorldLoad(in)) return;
    errno = 0;
    if (WorldMWriteSummary(CliWorldPath(out).c_str())) {
        CliWriteFailed(out);
        return;
    }
    printf("%s: summary of %s\n", out.c_str(), CliCount(WorldMCountShapes(), "worldshape", "worldshapes").c_str());
    gCliResult = 0;
}

void CliAddWorld(CLI::App& app)
{
    (void)app;
    CLI::App* world = CliWorldCommand();

    static std::string infoFile;
    static bool infoJson;
    CLI::App* info = world->add_subcommand("info", "Show a WLE file as it is: header fields and every packet");
    info->add_option("FILE", infoFile, "WLE file")->required();
    info->add_flag("--json", infoJson, "Write JSON");
    info->callback([] { InfoCmd(infoFile, infoJson); });

    static std::string upIn, upOut;
    CLI::App* upgrade = world->add_subcommand(
        "upgrade", "Load a WLE file of version 15 to 19 and save it as the World panel's Save does (version 19, "
                   "the summary report temp.txt in the working folder)");
    upgrade->add_option("IN", upIn, "WLE file to read")->required();
    upgrade->add_option("OUT", upOut, "WLE file to write")->required();
    CliWorldOptions(upgrade);
    upgrade->callback([] { UpgradeCmd(upIn, upOut); });

    static std::string sumIn, sumOut;
    CLI::App* summary = world->add_subcommand("summary", "Write the summary report of a WLE file");
    summary->add_option("IN", sumIn, "WLE file to read")->required();
    summary->add_option("OUT", sumOut, "text file to write")->required();
    CliWorldOptions(summary);
    summary->callback([] { SummaryCmd(sumIn, sumOut); });

    for (CliWorldAdder add : Adders()) add(world);
}
