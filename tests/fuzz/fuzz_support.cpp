// What every harness shares: the quiet log, the per-process scratch folder and the registry
// the test suite walks.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/log.h"
#include "base/res.h"
#include "fuzz.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"

// ---- log ------------------------------------------------------------------------------------

static void AbortOnFatal(int level, const char* line)
{
    if (level == LOG_ERROR && strncmp(line, "FATAL:", 6) == 0) {
        fprintf(stderr, "%s\n", line);
        abort();
    }
}

void FuzzQuietLog(void)
{
    LogSetLevel(-1);
    LogSetHook(AbortOnFatal);
}

// ---- scratch folder ---------------------------------------------------------------------------

static std::string scratch;
static std::string leftFolder;

const std::string& FuzzScratch(void)
{
    if (!scratch.empty()) return scratch;
    struct stat st;
    const char* tmp = getenv("TMPDIR");
    std::string base = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                       : tmp && *tmp                                                                      ? tmp
                                                                                                          : "/tmp";
    scratch = base + "/tolbex-fuzz-" + std::to_string((long)getpid());
    std::error_code ec;
    std::filesystem::create_directories(scratch, ec);
    static int registered;
    if (!registered) {
        registered = 1;
        atexit(FuzzRemoveScratch);
    }
    return scratch;
}

void FuzzRemoveScratch(void)
{
    if (scratch.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(scratch, ec);
    scratch.clear();
}

std::string FuzzWriteFile(const char* name, const uint8_t* data, size_t size)
{
    std::string path = FuzzScratch() + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) abort();   // the harness cannot do its work: not the loader's fault, stop loudly
    if (size && fwrite(data, 1, size, f) != size) abort();
    fclose(f);
    return path;
}

void FuzzEnterScratch(void)
{
    char here[4096];
    leftFolder = getcwd(here, sizeof here) ? here : "/";
    if (chdir(FuzzScratch().c_str()) != 0) abort();
}

void FuzzLeaveScratch(void)
{
    if (!leftFolder.empty() && chdir(leftFolder.c_str()) != 0) abort();
    leftFolder.clear();
}

uint16_t FuzzResource(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    ResId id = ResCreate(size);
    if (!id) return 0;
    memcpy(ResOpen(id), data, size);
    ResClose(id);
    return id;
}

void FuzzNothing(void) {}

// ---- the model managers ------------------------------------------------------------------------

static int modelLevel;

void FuzzInstallModels(int level)
{
    ResInstall(500);
    IntMatCreate(512);
    MatMInstall();
    if (level >= FUZZ_SHAPES) ShapeMResourceInstall();
    if (level >= FUZZ_SHAPE_EDIT) ShapeMInstall();
    modelLevel = level;
}

void FuzzRemoveModels(void)
{
    if (modelLevel >= FUZZ_SHAPE_EDIT) ShapeMRemove();
    IntMatDestroy();
    ResRemove();
}

// ---- registry ----------------------------------------------------------------------------------

enum { FUZZ_MAX_HARNESSES = 32 };
static const FuzzHarness* harnesses[FUZZ_MAX_HARNESSES];
static int harnessCount;

int FuzzRegister(const FuzzHarness* harness)
{
    if (harnessCount < FUZZ_MAX_HARNESSES) harnesses[harnessCount++] = harness;
    return harnessCount;
}

int FuzzHarnessCount(void) { return harnessCount; }
const FuzzHarness* FuzzHarnessAt(int i) { return i >= 0 && i < harnessCount ? harnesses[i] : nullptr; }
