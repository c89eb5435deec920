// Runs a third-party parser (image decoder, model importer) on a user's file in a child
// process with limits on memory and time, so that a crash, a runaway allocation or a hang in
// the library is a refusal the caller reports, never the end of the editor or the CLI.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum {
    SANDBOX_MEMORY_MIB = 1024,   // address space of the child (not set under AddressSanitizer)
    SANDBOX_SECONDS = 20,        // wall-clock time before the child is killed
};

struct SandboxLimits {
    uint64_t memoryBytes = (uint64_t)SANDBOX_MEMORY_MIB << 20;
    int seconds = SANDBOX_SECONDS;
};

// The work done in the child: fills `out` with its result and returns 0, or returns 1 with
// the reason in `why` (one phrase, no file name).
typedef int (*SandboxWork)(const void* arg, std::vector<uint8_t>& out, std::string& why);

// Runs work(arg) in a child. 0 with the child's bytes in `out`; 1 with the reason in `why`:
// the work's own refusal, or "it made the reader crash", "reading it took longer than N
// seconds", "reading it needs more than N MiB of memory". The child's stdout and stderr go
// nowhere, so nothing it prints reaches the caller's output.
int SandboxRun(SandboxWork work, const void* arg, const SandboxLimits& limits, std::vector<uint8_t>& out,
               std::string& why);

// Whether the memory limit is applied in this build (AddressSanitizer reserves terabytes of
// address space, so there the limit is time only).
bool SandboxLimitsMemory(void);
