// Resource files as the resource manager opens them: the directory read and checked, every
// entry listed, and the entries with plain 8.3 names read through the manager by name.
#include <cctype>
#include <string>

#include "base/res.h"
#include "fuzz.h"

static std::string path;

static void Setup(void)
{
    FuzzEnterScratch();
    path = FuzzWriteFile("in.res", nullptr, 0);
}
static void Teardown(void)
{
    FuzzLeaveScratch();
    FuzzRemoveScratch();
}

// The name an entry is asked for by, when its key is a plain 8.3 name (no path parts).
static bool PlainName(const char key[16], std::string* out)
{
    out->clear();
    for (int i = 0; i < 16 && key[i]; i++) {
        unsigned char c = (unsigned char)key[i];
        if (c == ' ') continue;
        if (!isalnum(c) && c != '.' && c != '_' && c != '-' && c != '~') return false;
        out->push_back((char)c);
    }
    return !out->empty() && (*out)[0] != '.';
}

static void One(const uint8_t* data, size_t size)
{
    FuzzWriteFile("in.res", data, size);
    // Each input's names go into an index of their own.
    ResInstall(500);
    ResSetExternalFirst(0);
    if (ResAddFile(path.c_str()) == 0) {
        int count = ResFileEntryCount(0);
        ResDirEntry entry;
        std::string name;
        for (int i = 0; i < count && i < 64; i++) {
            if (ResFileGetEntry(0, i, &entry) != 0 || !PlainName(entry.name, &name)) continue;
            ResId id = ResFindOrAdd(name.c_str());
            if (id && ResLoad(id) == 0) ResFree(id);
        }
        ResFileGetEntry(0, count, &entry);
        ResCloseFile(0);
    }
    ResRemove();
}

FUZZ_HARNESS(resfile, Setup, Teardown, One)
