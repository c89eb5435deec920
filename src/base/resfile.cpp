// Resource files: the data of every entry first, then the directory (a count whose bit 31
// says the names are scrambled, and 28-byte entries), then the directory's offset as the
// last four bytes. Every number read from a file is checked against the file before use.
#include "base/resfile.h"

#include <cstring>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/files.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/str.h"

enum {
    RF_MAX = RES_MAX_OPEN_FILES,
    RF_PATH_MAX = 1024,
    RF_KIND_DATA = 2,
    RF_NAME_OFF = 4,
    RF_OFFSET_OFF = 20,
    RF_SIZE_OFF = 24,
};

// Bit 31 of the directory count: the names are stored XORed with the name key.
static const uint32_t RF_SCRAMBLED = 0x80000000u;
static const char kNameKey[16] = {'K', 'A', 'R', 'B', 'U', 'N', 'D', 'E',
                                  'L', 'M', 'O', 'S', 'T', 'I', 'V', 'E'};

struct RFile {
    int open;
    char path[RF_PATH_MAX];   // the name as it is on disk
    uint64_t fileSize;
    ResId dir;
    int count;
};

static RFile files[RF_MAX];

// The last successful lookup: the same name asked of the same file again skips the scan.
static struct {
    int valid;
    int slot;
    char key[13];
    ResDirEntry entry;
} cache;

static const uint8_t* DirBytes(int slot) { return (const uint8_t*)ResPeek(files[slot].dir); }

static void DecodeEntry(const uint8_t* e, ResDirEntry* out)
{
    out->kind = GetU32(e, 0);
    memcpy(out->name, e + RF_NAME_OFF, 16);
    out->name[15] = 0;
    out->offset = GetU32(e, RF_OFFSET_OFF);
    out->size = GetU32(e, RF_SIZE_OFF);
}

int RFileOpen(const char* fileName)
{
    int slot = 0;
    while (slot < RF_MAX && files[slot].open) slot++;
    if (slot == RF_MAX || !fileName) return -1;
    RFile& f = files[slot];
    if (!FileFind(fileName, f.path, sizeof f.path)) return -1;
    // Its offsets are 32-bit: a larger file cannot be one.
    int64_t size;
    if (FileCheckRead(f.path, RES_MAX_SIZE, "a resource file", &size) != FILE_READABLE) {
        LogPrintf(LOG_WARN, "RES: %s: %s", fileName, FileRefusal());
        return -1;
    }
    if (size < 8) return -1;

    uint8_t word[4];
    if (FileReadAt(f.path, (uint64_t)size - 4, word, 4)) return -1;
    uint64_t dirOff = GetU32(word);
    // The directory lies between its offset and the trailing offset word.
    uint64_t dirEnd = (uint64_t)size - 4;
    if (!InBlock(dirOff, 4, dirEnd)) return -1;
    if (FileReadAt(f.path, dirOff, word, 4)) return -1;
    uint32_t rawCount = GetU32(word);
    uint64_t count = rawCount & ~RF_SCRAMBLED;
    if (!InBlock(dirOff + 4, count * RES_DIR_ENTRY_SIZE, dirEnd)) return -1;

    ResId dir = ResCreate((size_t)(count * RES_DIR_ENTRY_SIZE));
    if (!dir) return -1;
    uint8_t* d = (uint8_t*)ResOpen(dir);
    if (count && FileReadAt(f.path, dirOff + 4, d, (size_t)(count * RES_DIR_ENTRY_SIZE))) {
        ResClose(dir);
        ResFree(dir);
        return -1;
    }
    if (rawCount & RF_SCRAMBLED)
        for (uint64_t i = 0; i < count; i++)
            for (int k = 0; k < 16; k++) d[i * RES_DIR_ENTRY_SIZE + RF_NAME_OFF + k] ^= (uint8_t)kNameKey[k];
    f.open = 1;
    f.fileSize = (uint64_t)size;
    f.dir = dir;
    f.count = (int)count;
    return slot;
}

void RFileClose(int slot)
{
    if (slot < 0 || slot >= RF_MAX || !files[slot].open) FatalError("FileCloseRes: Error.");
    RFile& f = files[slot];
    ResClose(f.dir);
    ResFree(f.dir);
    f.open = 0;
    f.dir = 0;
    f.count = 0;
    if (cache.slot == slot) cache.valid = 0;
}

int RFileCount(int slot)
{
    if (slot < 0 || slot >= RF_MAX || !files[slot].open) return 0;
    return files[slot].count;
}

int RFileEntry(int slot, int i, ResDirEntry* out)
{
    if (slot < 0 || slot >= RF_MAX || !files[slot].open || i < 0 || i >= files[slot].count) return 1;
    DecodeEntry(DirBytes(slot) + (size_t)i * RES_DIR_ENTRY_SIZE, out);
    return 0;
}

int RFileFind(int slot, const char* name, ResDirEntry* out)
{
    if (slot < 0 || slot >= RF_MAX || !files[slot].open || !name) return 0;
    char key[13];
    ResMakeKey(name, key);
    if (cache.valid && cache.slot == slot && StrCmp(cache.key, key) == 0) {
        *out = cache.entry;
        return 1;
    }
    const uint8_t* d = DirBytes(slot);
    for (int i = 0; i < files[slot].count; i++) {
        const uint8_t* e = d + (size_t)i * RES_DIR_ENTRY_SIZE;
        if (GetU32(e, 0) != RF_KIND_DATA) continue;
        char stored[17];
        memcpy(stored, e + RF_NAME_OFF, 16);
        stored[16] = 0;
        if (StrCmp(stored, key) != 0) continue;
        DecodeEntry(e, out);
        cache.valid = 1;
        cache.slot = slot;
        StrCopy(cache.key, key);
        cache.entry = *out;
        return 1;
    }
    return 0;
}

int RFileEntryFits(int slot, const ResDirEntry* entry)
{
    if (slot < 0 || slot >= RF_MAX || !files[slot].open) return 0;
    return InBlock(entry->offset, entry->size, files[slot].fileSize) ? 1 : 0;
}

int RFileRead(int slot, const ResDirEntry* entry, void* dest)
{
    if (slot < 0 || slot >= RF_MAX || !files[slot].open) return 1;
    if (!RFileEntryFits(slot, entry)) {
        LogPrintf(LOG_WARN, "RES: %s: entry %s lies outside the file", files[slot].path, entry->name);
        return 1;
    }
    if (entry->size == 0) return 0;
    return FileReadAt(files[slot].path, entry->offset, dest, entry->size) ? 1 : 0;
}

void ResMakeKey(const char* name, char key[13])
{
    // Resource files hold flat names: a folder in front of the name is not part of the key.
    const char* base = name ? name : "";
    for (const char* p = base; *p; p++)
        if (*p == '/' || *p == '\\') base = p + 1;
    const char* p = base;
    int i = 0;
    for (; i < 8 && *p && *p != '.'; i++) key[i] = *p++;
    for (; i < 8; i++) key[i] = ' ';
    key[8] = '.';
    while (*p && *p != '.') p++;
    if (*p == '.') p++;
    for (i = 9; i < 12 && *p; i++) key[i] = *p++;
    for (; i < 12; i++) key[i] = ' ';
    key[12] = 0;
    StrUpper(key);
}

int ResWriteFile(const char* fileName, const ResPackItem* items, int count, int scramble)
{
    if (count < 0 || (count > 0 && !items)) return 2;
    char (*keys)[13] = (char (*)[13])MemAlloc((size_t)(count ? count : 1) * 13);
    if (!keys) return 2;
    uint64_t dataSize = 0;
    for (int i = 0; i < count; i++) {
        ResMakeKey(items[i].name, keys[i]);
        for (int j = 0; j < i; j++)
            if (StrCmp(keys[i], keys[j]) == 0) {
                MemFree(keys);
                return 1;
            }
        if (items[i].size && !items[i].data) {
            MemFree(keys);
            return 2;
        }
        dataSize += items[i].size;
    }
    uint64_t total = dataSize + 4 + (uint64_t)count * RES_DIR_ENTRY_SIZE + 4;
    // Offsets are 32-bit.
    if (total > 0xFFFFFFFFull) {
        MemFree(keys);
        return 2;
    }
    uint8_t* image = (uint8_t*)MemAlloc((size_t)total);
    if (!image) {
        MemFree(keys);
        return 2;
    }
    uint32_t at = 0;
    for (int i = 0; i < count; i++) {
        if (items[i].size) memcpy(image + at, items[i].data, items[i].size);
        at += items[i].size;
    }
    uint32_t dirOff = at;
    PutU32(image, at, (uint32_t)count | (scramble ? RF_SCRAMBLED : 0));
    at += 4;
    uint32_t dataAt = 0;
    for (int i = 0; i < count; i++) {
        uint8_t* e = image + at;
        PutU32(e, 0, RF_KIND_DATA);
        memset(e + RF_NAME_OFF, 0, 16);
        memcpy(e + RF_NAME_OFF, keys[i], 12);
        if (scramble)
            for (int k = 0; k < 16; k++) e[RF_NAME_OFF + k] ^= (uint8_t)kNameKey[k];
        PutU32(e, RF_OFFSET_OFF, dataAt);
        PutU32(e, RF_SIZE_OFF, items[i].size);
        dataAt += items[i].size;
        at += RES_DIR_ENTRY_SIZE;
    }
    PutU32(image, at, dirOff);
    int failed = FileWrite(fileName, image, (size_t)total);
    MemFree(image);
    MemFree(keys);
    return failed ? 2 : 0;
}
