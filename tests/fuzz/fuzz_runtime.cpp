// A runtime world and its WXP shape archive as the game's world display installs them. The
// input is both files: a little-endian u32 with the runtime world's length, the runtime world,
// then the archive, which is written under the name the world's header gives it.
#include <unistd.h>

#include <cstring>
#include <string>

#include "base/bytes.h"
#include "base/res.h"
#include "fuzz.h"
#include "world/rtdisp.h"
#include "world/wle.h"

static void Setup(void) { FuzzEnterScratch(); }

static void Teardown(void)
{
    FuzzLeaveScratch();
    FuzzRemoveScratch();
}

// The archive's name as the header holds it, when it is one a file can carry here.
static std::string ArchiveName(const uint8_t* world, size_t size)
{
    if (size < WLE_HEADER_SIZE) return "";
    const char* field = (const char*)world + WLE_WXP_NAME;
    size_t n = strnlen(field, WLE_WXP_NAME_MAX);
    if (n == 0 || n == WLE_WXP_NAME_MAX) return "";
    std::string name(field, n);
    if (name == "." || name == ".." || name.find('/') != std::string::npos) return "";
    return name;
}

static void One(const uint8_t* data, size_t size)
{
    if (size < 4) return;
    size_t worldSize = GetU32(data, 0);
    if (worldSize == 0 || worldSize > size - 4) return;
    const uint8_t* world = data + 4;
    std::string archive = ArchiveName(world, worldSize);
    if (!archive.empty()) FuzzWriteFile(archive.c_str(), world + worldSize, size - 4 - worldSize);

    // The index keeps the archive's name: every input starts with managers of its own.
    FuzzInstallModels(FUZZ_SHAPES);
    ResId id = FuzzResource(world, worldSize);
    if (id && WorldSetID(id) == 0) {
        RtDispInfo info;
        RtDispGetInfo(&info);
        for (uint32_t i = 0; i < info.copyCount; i++) WorldGetCopy(i);
        uint16_t corner[3];
        for (uint32_t i = 0; i < info.cornerCount; i++) WorldGetCorner(i, corner);
    }
    RtDispRemove();
    FuzzRemoveModels();
    if (!archive.empty()) unlink((FuzzScratch() + "/" + archive).c_str());
}

FUZZ_HARNESS(runtime, Setup, Teardown, One)
