// Progress of long work, reported from 0 to PROGRESS_DONE.
#pragma once
#include <cstdint>

// A non-zero answer of the report function asks the work to stop. PROGRESS_CANCEL in the
// progress variable is the stop mark.
enum { PROGRESS_DONE = 0x4000, PROGRESS_CANCEL = 0xFFFF };
typedef int (*ProgressFn)(uint32_t value);
