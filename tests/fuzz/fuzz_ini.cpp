// INI settings files as the program reads tolbex.ini at start: the table filled from the
// file, keys looked up and set, and the table written back out.
#include <string>

#include "base/ini.h"
#include "base/res.h"
#include "fuzz.h"

enum { INI_TABLE_ENTRIES = 50 };   // what the program opens tolbex.ini with

static void Setup(void) { ResInstall(100); }

static void Teardown(void)
{
    ResRemove();
    FuzzRemoveScratch();
}

static void One(const uint8_t* data, size_t size)
{
    std::string path = FuzzWriteFile("in.ini", data, size);
    if (INIOpen(path.c_str(), INI_TABLE_ENTRIES) != 0) return;
    static const char* keys[] = {"scale", "palsupport", "renderer", "", "0123456789ABCDEFGHIJ"};
    for (const char* key : keys) INIGet(key);
    INISet("fuzzkey", "value");
    INISet("scale", "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567");
    INIClose((FuzzScratch() + "/out.ini").c_str());
}

FUZZ_HARNESS(ini, Setup, Teardown, One)
