// WLE files: loading (checked and converted in a scratch block, so a refusal changes nothing),
// saving (the summary report, then the WLE written safely), the summary report.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/files.h"
#include "base/folders.h"
#include "base/log.h"
#include "base/res.h"
#include "base/str.h"
#include "world/terrain.h"
#include "world/worldm.h"
#include "world/worldm_internal.h"

static char loadError[256];
static char summaryFile[4096] = "temp.txt";

const char* WorldMLoadError(void) { return loadError; }

static int Refuse(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
static int Refuse(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(loadError, sizeof loadError, fmt, ap);
    va_end(ap);
    LogPrintf(LOG_ERROR, "WORLD: %s", loadError);
    return WORLD_ERR_LOAD;
}

// ============================================================================================
// Loading
// ============================================================================================

int WorldMLoad(const char* fileName)
{
    loadError[0] = 0;
    if (!worldm.installed) return Refuse("WorldMLoad - the world manager is not installed");
    if (!fileName || !*fileName) return Refuse("WorldMLoad - no file name");
    std::vector<uint8_t> data;
    switch (FileReadWhole(fileName, worldm.capacity, "a world file", data)) {
    case FILE_READABLE: break;
    case FILE_TOO_LARGE: return Refuse("WorldMLoad - %s: %s", fileName, FileRefusal());
    case FILE_CANNOT_READ: return Refuse("WorldMLoad - cannot read %s", fileName);
    default: return Refuse("WorldMLoad - cannot open %s: %s", fileName, FileRefusal());
    }
    int result = WorldMLoadImage(data.data(), data.size());
    if (result) {
        std::string why = loadError;
        snprintf(loadError, sizeof loadError, "%s: %s", fileName, why.c_str());
    }
    return result;
}

int WorldMLoadImage(const uint8_t* data, size_t size)
{
    loadError[0] = 0;
    if (!worldm.installed) return Refuse("WorldMLoad - the world manager is not installed");
    if (size > worldm.capacity)
        return Refuse("WorldMLoad - %zu bytes, larger than the world's capacity of %u bytes", size, worldm.capacity);
    if (size < WLE_HEADER_SIZE) return Refuse("WorldMLoad - %zu bytes, shorter than the header", size);
    if (GetU32(data, WLE_VERSION) < WLE_VERSION_OLDEST) return Refuse("WorldMLoad - version is prior to 15 - too old!");
    char why[200];
    if (WorldMCheckImage(data, (uint32_t)size, why, sizeof why)) return Refuse("WorldMLoad - damaged file: %s", why);

    // The scratch block: the world as it will be, built before anything of the manager changes.
    uint32_t used = GetU32(data, WLE_USED);
    uint32_t version = GetU32(data, WLE_VERSION);
    std::vector<uint8_t> scratch(used);
    memcpy(scratch.data(), data, used);
    uint8_t* s = scratch.data();
    if (version == 15) version = 16;
    if (version == 16) {
        WORLD_FOR_EACH_SHAPE(s, p) PutI16(p, WS_PITCH, 0);
        version = 17;
    }
    if (version == 17) version = 18;
    if (version == 18) {
        // Every short worldshape widened to 88 bytes in one pass.
        uint32_t shorts = 0;
        for (uint8_t* p = WorldMFirstPacket(s); p; p = WorldMNextPacket(s, p))
            if (GetU16(p, WP_TYPE) == WP_SHORT_SHAPE) shorts++;
        uint64_t widened = (uint64_t)used + (uint64_t)shorts * WP_WIDEN_BY;
        if (widened > WorldMLimit())
            return Refuse("WorldMLoad - widening %u short worldshapes gives %llu bytes, more than the %u the world can "
                          "hold",
                          shorts, (unsigned long long)widened, WorldMLimit());
        if (shorts) {
            std::vector<uint8_t> wide((size_t)widened);
            memcpy(wide.data(), s, WLE_HEADER_SIZE);
            uint32_t out = WLE_HEADER_SIZE;
            for (uint8_t* p = WorldMFirstPacket(s); p; p = WorldMNextPacket(s, p)) {
                uint32_t n = WorldMPacketSize(p);
                memcpy(wide.data() + out, p, n);
                if (GetU16(p, WP_TYPE) == WP_SHORT_SHAPE) {
                    memset(wide.data() + out + n, 0, WP_WIDEN_BY);
                    PutU16(wide.data(), out + WP_TYPE, WP_SHAPE);
                    n += WP_WIDEN_BY;
                }
                out += n;
            }
            PutU32(wide.data(), WLE_USED, out);
            scratch.swap(wide);
            s = scratch.data();
            used = out;
        }
        version = 19;
    }
    PutU32(s, WLE_VERSION, WLE_VERSION_CURRENT);
    WorldMRepairNodeLinks(s);

    // From here on nothing refuses: the world is replaced.
    // Renumbering: each worldshape takes the next ID of the running counter.
    std::vector<uint64_t> assigned(65536 / 64, 0);
    WORLD_FOR_EACH_SHAPE(s, p)
    {
        uint16_t id = WorldMTakeShapeID(assigned.data());
        PutU16(p, WS_ID, id);
        assigned[id >> 6] |= 1ull << (id & 63);
    }
    // One undo step gives back the world from before the load, terrain and all.
    WorldMUndoSnapshot();
    memcpy(worldm.image, s, used);
    WorldMResolveShapes();
    WORLD_FOR_EACH_SHAPE(worldm.image, p)
    {
        PutU16(p, WS_FLAGS, (uint16_t)(GetU16(p, WS_FLAGS) & ~(WSF_SELECTED | WSF_HIDDEN)));
        PutU16(p, WS_FIELD60, WS_FIELD60_VALUE);
    }
    WORLD_FOR_EACH_NODE(worldm.image, p) PutU16(p, WN_SELECTED, 0);
    WORLD_FOR_EACH_NODE(worldm.image, p) PutU16(p, WN_HIDDEN, 0);
    TerrainMakeMaterials(worldm.image, used);
    TerrainInstall(worldm.image, used, 0);
    return 0;
}

// ============================================================================================
// What a save may write over
// ============================================================================================

int WorldMMaySaveOver(const char* fileName)
{
    if (!fileName || !*fileName) return 1;
    // Not a file (missing, or a folder, whose write fails and says so), or an empty one:
    // nothing is lost.
    int64_t size = FileSize(fileName);
    if (size <= 0) return 1;
    uint64_t largest = worldm.capacity > (uint32_t)WORLDM_CAPACITY ? worldm.capacity : (uint32_t)WORLDM_CAPACITY;
    if (size < WLE_HEADER_SIZE || (uint64_t)size > largest) return 0;
    std::vector<uint8_t> data((size_t)size);
    if (FileReadAt(fileName, 0, data.data(), data.size())) return 0;
    // The format has no signature: a world is a header whose used size and version hold, and
    // from version 15 on (the versions this editor reads) packets that walk cleanly.
    uint32_t version = GetU32(data.data(), WLE_VERSION);
    uint32_t used = GetU32(data.data(), WLE_USED);
    if (version == 0 || version > WLE_VERSION_CURRENT || used < WLE_HEADER_SIZE || used > size) return 0;
    if (version < WLE_VERSION_OLDEST) return 1;
    return WorldMCheckImage(data.data(), (uint32_t)size, nullptr, 0) == 0;
}

// ============================================================================================
// The summary report
// ============================================================================================

// Names come from the file and may hold any byte: the report shows them printable.
static std::string Summary(uint8_t* image)
{
    std::string out = "Summary of World File\r\n\r\nWorldShapes\r\n\r\n";
    char line[160], shown[64];
    WORLD_FOR_EACH_SHAPE(image, p)
    {
        const char* name = WorldMShapeName(p);
        if (name)
            snprintf(line, sizeof line, "Name:- '%s'    ", StrPrintable(name, 4, 1, shown, sizeof shown));
        else
            snprintf(line, sizeof line, "Name:- (No Name) ");
        out += line;
        snprintf(line, sizeof line, "Pos:- %08Xh %08Xh %08Xh ", GetU32(p, WS_X), GetU32(p, WS_Y), GetU32(p, WS_Z));
        out += line;
        const char* file = WorldMShapeFileName(p + WS_FILE);
        out += file ? std::string(StrPrintable(file, strlen(file), 1, shown, sizeof shown)) + " "
                    : std::string("(No Filename) ");
        out += "\r\n";
    }
    return out;
}

size_t WorldMSummaryText(uint8_t* image, char* out, size_t outSize)
{
    if (!image) image = worldm.image;
    if (!image) return 0;
    std::string text = Summary(image);
    if (out && outSize) {
        size_t n = text.size() < outSize - 1 ? text.size() : outSize - 1;
        memcpy(out, text.data(), n);
        out[n] = 0;
    }
    return text.size();
}

int WorldMWriteSummary(const char* fileName)
{
    if (!worldm.installed || !fileName || !*fileName) return 1;
    std::string text = Summary(worldm.image);
    if (FileWrite(fileName, text.data(), text.size())) {
        LogPrintf(LOG_WARN, "WORLD: the summary report %s cannot be written", fileName);
        return 1;
    }
    return 0;
}

void WorldMSetSummaryFileName(const char* fileName)
{
    StrCopy(summaryFile, fileName && *fileName && strlen(fileName) < sizeof summaryFile ? fileName : "temp.txt");
}

const char* WorldMSummaryFileName(void) { return summaryFile; }

// ============================================================================================
// Saving
// ============================================================================================

void WorldMSetRuntimeSave(WorldMRuntimeSaveFn save) { worldm.runtimeSave = save; }
const char* WorldMRuntimeReportName(void) { return worldm.reportName; }

const char* WorldMRuntimeNameFor(const char* wleName)
{
    static char name[4096];
    if (!wleName || !*wleName || strlen(wleName) >= sizeof name) return nullptr;
    StrCopy(name, wleName);
    name[strlen(name) - 1] = 'D';
    return name;
}

// The summary's place: the name set, or for the default name where the program keeps its
// working files (the working folder of a project, else beside the world file).
static const char* SummaryPath(const char* wleName)
{
    static char path[4096];
    if (strcmp(summaryFile, "temp.txt") != 0) return summaryFile;
    AppWorkFilePath(wleName, summaryFile, path, sizeof path);
    return path;
}

int WorldMSave(const char* wleName, const char* runtimeName, const char* reportName, ProgressFn progress)
{
    if (!worldm.installed || !wleName || !*wleName) {
        WorldMProgressClose(progress);
        return WORLD_ERR_SAVE;
    }
    if (runtimeName && *runtimeName) {
        size_t n = strlen(wleName);
        char last = wleName[n - 1];
        if (last == 'D' || last == 'd' || !StrICmp(runtimeName, wleName)) {
            LogPrintf(LOG_ERROR, "WORLD: %s: a runtime save would overwrite the world file itself", wleName);
            WorldMProgressClose(progress);
            return WORLD_ERR_SAVE;
        }
    }
    if (!runtimeName || !*runtimeName) {
        WorldMWriteSummary(SummaryPath(wleName));
        int failed = FileWrite(wleName, worldm.image, GetU32(worldm.image, WLE_USED));
        if (failed) LogPrintf(LOG_ERROR, "WORLD: %s cannot be written", wleName);
        WorldMProgressClose(progress);
        return failed ? WORLD_ERR_SAVE : 0;
    }
    if (!worldm.runtimeSave) {
        LogPrintf(LOG_ERROR, "WORLD: no runtime save is installed");
        WorldMProgressClose(progress);
        return WORLD_ERR_SAVE;
    }
    // The runtime save builds and checks everything before it writes the world with its
    // runtime files, all or none: a refused save leaves every file as it was, the summary
    // report included, which therefore follows a success only.
    worldm.reportName = reportName;
    int result = worldm.runtimeSave(wleName, runtimeName, progress);
    worldm.reportName = nullptr;
    if (result == 0) WorldMWriteSummary(SummaryPath(wleName));
    return result;
}
