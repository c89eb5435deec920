// Fuzzing harnesses: one per loader, each in a fuzz_<name>.cpp that declares itself with
// FUZZ_HARNESS. In the libFuzzer build (TOLBEX_FUZZ_ENTRY) the declaration becomes the
// program's LLVMFuzzerInitialize and LLVMFuzzerTestOneInput; in the test suite it registers
// the harness so that fuzz_test.cpp replays every seed and every kept crash input through it.
//
// A harness installs the managers its loader needs in its setup, feeds one input, and leaves
// no resource, file or registration behind, so that a long run does not drift.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

struct FuzzHarness {
    const char* name;                            // the folder name under corpus/ and regressions/
    void (*setup)(void);
    void (*teardown)(void);
    void (*one)(const uint8_t* data, size_t size);
};

// ---- shared by every harness (fuzz_support.cpp)
// The log kept quiet, and a fatal error turned into an abort: the kernel's fatal path ends with
// _Exit, which would end a fuzzing run without keeping the input that caused it.
void FuzzQuietLog(void);
// A folder of this process's own (under /dev/shm, else $TMPDIR or /tmp), made on first use;
// FuzzRemoveScratch deletes it with everything in it.
const std::string& FuzzScratch(void);
void FuzzRemoveScratch(void);
// Writes the input to a file of that name in the scratch folder; its full path.
std::string FuzzWriteFile(const char* name, const uint8_t* data, size_t size);
// Works inside the scratch folder (loaders that look names up in the working folder), and back.
void FuzzEnterScratch(void);
void FuzzLeaveScratch(void);
// An internal resource holding a copy of the input (0 for an empty input or no memory).
uint16_t FuzzResource(const uint8_t* data, size_t size);
// For a harness with nothing to set up or tear down.
void FuzzNothing(void);
// The managers the material, shape and world loaders need: resources, the render table and the
// material list; from FUZZ_SHAPES the shape resource type, from FUZZ_SHAPE_EDIT the Shape
// Editor's buffer too. FuzzRemoveModels takes down what the last install put up.
enum { FUZZ_MATERIALS, FUZZ_SHAPES, FUZZ_SHAPE_EDIT };
void FuzzInstallModels(int level);
void FuzzRemoveModels(void);

// ---- registration
int FuzzRegister(const FuzzHarness* harness);
int FuzzHarnessCount(void);
const FuzzHarness* FuzzHarnessAt(int i);

#ifdef TOLBEX_FUZZ_ENTRY
#define FUZZ_HARNESS(NAME, SETUP, TEARDOWN, ONE)                                       \
    extern "C" int LLVMFuzzerInitialize(int*, char***)                                \
    {                                                                                  \
        FuzzQuietLog();                                                                \
        SETUP();                                                                       \
        atexit(TEARDOWN);                                                              \
        return 0;                                                                      \
    }                                                                                  \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)           \
    {                                                                                  \
        ONE(data, size);                                                               \
        return 0;                                                                      \
    }
#else
#define FUZZ_HARNESS(NAME, SETUP, TEARDOWN, ONE)                                       \
    static const FuzzHarness fuzzHarness_##NAME = {#NAME, SETUP, TEARDOWN, ONE};      \
    static const int fuzzRegistered_##NAME = FuzzRegister(&fuzzHarness_##NAME);
#endif
