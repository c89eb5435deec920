// Settings tables: one table of 96-byte entries (a 16-byte key, an 80-byte value) held in a
// resource. The file is read a line of at most 159 bytes at a time; a line ends at CR, LF or
// CR LF, so files saved with any of the usual line ends read alike.
#include "base/ini.h"

#include <cstring>
#include <string>

#include "base/fatal.h"
#include "base/files.h"
#include "base/log.h"
#include "base/res.h"
#include "base/str.h"

enum {
    LINE_BYTES = 160,
    KEY_BYTES = 16,
    // A settings file has no size of its own; its table holds a few hundred lines at most.
    INI_MAX_FILE_SIZE = 1 << 20,
};

static struct {
    ResId table;
    int count;
    char* entries;
} ini;

static char* Key(int i) { return ini.entries + (size_t)i * INI_ENTRY_SIZE; }
static char* Value(int i) { return ini.entries + (size_t)i * INI_ENTRY_SIZE + KEY_BYTES; }

static int Find(const char* key)
{
    for (int i = 0; i < ini.count; i++)
        if (Key(i)[0] && StrICmp(Key(i), key) == 0) return i;
    return -1;
}

static int FirstFree(void)
{
    for (int i = 0; i < ini.count; i++)
        if (!Key(i)[0]) return i;
    return -1;
}

static void FreeTable(void)
{
    if (!ini.table) return;
    ResClose(ini.table);
    ResFree(ini.table);
    ini.table = 0;
    ini.entries = nullptr;
    ini.count = 0;
}

static void ReadLine(char* line, const char* fileName)
{
    StrCut(line, ';');
    char key[KEY_BYTES];
    StrLCopy(key, StrWord(0, line), sizeof key);
    const char* eq = strchr(line, '=');
    if (!key[0] || !eq) return;
    char value[INI_VALUE_MAX + 1];
    StrLCopy(value, eq + 1, sizeof value);
    // A file with more keys than the table holds must not stop the program: the rest are left out.
    if (Find(key) < 0 && FirstFree() < 0) {
        LogPrintf(LOG_WARN, "INI: %s: no room for \"%s\" - ignored", fileName, key);
        return;
    }
    INISet(key, value);
}

static int ReadFile(const char* fileName)
{
    char path[1024];
    if (!FileFind(fileName, path, sizeof path)) return 1;
    std::vector<uint8_t> bytes;
    switch (FileReadWhole(path, INI_MAX_FILE_SIZE, "a settings file", bytes)) {
    case FILE_READABLE: break;
    case FILE_CANNOT_READ: return 1;
    default:
        if (*FileRefusal()) LogPrintf(LOG_WARN, "INI: %s: %s", fileName, FileRefusal());
        return 1;
    }
    const std::string text(bytes.begin(), bytes.end());
    const int64_t size = (int64_t)text.size();

    size_t pos = 0, end = (size_t)size;
    while (pos < end) {
        char line[LINE_BYTES];
        size_t got = end - pos < LINE_BYTES - 1 ? end - pos : LINE_BYTES - 1;
        memcpy(line, text.data() + pos, got);
        size_t len = 0;
        while (len < got && line[len] != '\r' && line[len] != '\n') len++;
        if (len < got) {
            size_t next = pos + len + 1;
            if (line[len] == '\r' && next < end && text[next] == '\n') next++;
            pos = next;
        } else {
            pos += got;
        }
        line[len] = 0;
        ReadLine(line, fileName);
    }
    return 0;
}

int INIOpen(const char* fileName, int capacity)
{
    if (ini.table || capacity < 0) return 1;
    ResId table = ResCreate((size_t)capacity * INI_ENTRY_SIZE);
    if (!table) return 1;
    ini.table = table;
    ini.count = capacity;
    ini.entries = (char*)ResOpen(table);
    memset(ini.entries, 0, (size_t)capacity * INI_ENTRY_SIZE);
    if (fileName && ReadFile(fileName)) {
        FreeTable();
        return 1;
    }
    return 0;
}

const char* INIGet(const char* key)
{
    if (!ini.table) FatalError("INIGet: No INI file open.");
    if (!key) return nullptr;
    char k[KEY_BYTES];
    StrLCopy(k, key, sizeof k);
    int i = Find(k);
    return i < 0 ? nullptr : Value(i);
}

int INISet(const char* key, const char* value)
{
    if (!ini.table) FatalError("INISet: No INI file open.");
    // An empty key marks a free entry; it cannot be stored.
    if (!key || !key[0]) return 0;
    char k[KEY_BYTES];
    StrLCopy(k, key, sizeof k);
    int i = Find(k);
    if (i < 0) {
        i = FirstFree();
        if (i < 0) {
            LogPrintf(LOG_WARN, "INI: no room for \"%s\" - not set", k);
            return 1;
        }
        StrLCopy(Key(i), k, KEY_BYTES);
    }
    StrLCopy(Value(i), value ? value : "", INI_VALUE_MAX + 1);
    return 0;
}

int INIClose(const char* fileName)
{
    if (!ini.table) return 0;
    int failed = 0;
    if (fileName) {
        std::string text;
        for (int i = 0; i < ini.count; i++) {
            if (!Key(i)[0]) continue;
            text += Key(i);
            text += '=';
            text += Value(i);
            text += "\r\n";
        }
        failed = FileWrite(fileName, text.data(), text.size());
    }
    FreeTable();
    return failed ? 1 : 0;
}

int INIIsOpen(void) { return ini.table != 0; }
