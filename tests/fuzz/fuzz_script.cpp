// Script files of the headless back end, parsed into their steps.
#include <string>
#include <vector>

#include "fuzz.h"
#include "platform/headless/script.h"

static void One(const uint8_t* data, size_t size)
{
    std::string source((const char*)data, size), error;
    std::vector<ScriptStep> steps;
    ScriptParse(source, "fuzz.script", steps, error);
}

FUZZ_HARNESS(script, FuzzNothing, FuzzNothing, One)
