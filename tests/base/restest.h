// Helpers of the resource manager tests.
#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/res.h"
#include "support/testutil.h"

// A freshly installed resource manager for one test; removed again at the end, so tests run
// one after another in the same process.
struct ResScope {
    explicit ResScope(int entries = 5000)
    {
        ResRemove();
        ResInstall(entries);
    }
    ~ResScope() { ResRemove(); }
};

// A fatal text as a death-test pattern: the text itself, every regex character escaped.
static inline std::string FatalRe(const std::string& text)
{
    std::string r = "FATAL: ";
    for (char c : text) {
        if (strchr("\\^$.|?*+()[]{}", c)) r += '\\';
        r += c;
    }
    return r;
}

static inline std::string ResText(ResId id)
{
    const char* p = (const char*)ResPeek(id);
    return std::string(p, p + ResSize(id));
}

struct HandEntry {
    uint32_t kind;
    std::string key;   // stored as given, zero-padded to 16 bytes
    uint32_t offset;
    uint32_t size;
};

// A resource file image built byte by byte, independent of the manager's writer.
static inline Bytes HandResFile(const std::string& data, const std::vector<HandEntry>& entries, bool scramble)
{
    static const char key[] = "KARBUNDELMOSTIVE";
    Bytes b(data.begin(), data.end());
    uint32_t dir = (uint32_t)b.size();
    AppendU32(b, (uint32_t)entries.size() | (scramble ? 0x80000000u : 0));
    for (const HandEntry& e : entries) {
        AppendU32(b, e.kind);
        Bytes name;
        AppendText(name, e.key, 16);
        for (int i = 0; i < 16; i++) b.push_back(scramble ? (uint8_t)(name[i] ^ key[i]) : name[i]);
        AppendU32(b, e.offset);
        AppendU32(b, e.size);
    }
    AppendU32(b, dir);
    return b;
}
