// Resource manager. The index is one array addressed by id; two rings run through it: the
// used ring (head 0, unnamed entries at the front, named ones in name order) and the free
// ring (head 1). The array moves when it grows, so nothing here keeps an entry pointer
// across a call that can create a resource (type hooks, free callbacks, the file layer).
#include "base/res.h"

#include <cstring>
#include <new>
#include <unordered_set>
#include <vector>

#include "base/fatal.h"
#include "base/files.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/resfile.h"
#include "base/str.h"

enum {
    HEAD_USED = 0,
    HEAD_FREE = 1,
    INDEX_LIMIT = 65536,   // ids are 16-bit
    FLAG_MARK = 1,
};

struct ResEntry {
    char name[RES_NAME_MAX];
    void* data;
    uint16_t next;
    uint16_t prev;
    uint32_t size;        // known size of an external resource's source (0 = not yet known)
    ResFreeFn freeFn;
    uint8_t section;
    uint8_t flags;
    uint16_t openCount;
    size_t dataSize;      // bytes of the block in memory
    uint8_t inUse;        // in the used ring
};

struct ResType {
    char ext[4];
    ResLoadFn load;
    ResFreeFn free;
    uint64_t maxSize;     // the largest file of the type
};

// Plain blocks carry this in front of the address handed out; 16 bytes keeps the block
// aligned as malloc aligns it.
struct alignas(16) MemHeader {
    uint32_t section;
};

static_assert(sizeof(void*) != 8 || sizeof(MemHeader) == 16, "plain block header");

static struct {
    int installed;
    ResEntry* index;
    int capacity;
    int highest;
    int lastError;
    int externalFirst;
    int section;
    ResType types[RES_MAX_TYPES];
    int typeCount;
    int fileSlots[RES_MAX_FILES];   // file-layer slots, in the order the files were added
    int fileCount;
} res;

// The plain blocks handed out, so that a free of any other address is caught before it reaches
// the heap: a set, as a net's thousand shapes free their blocks one after another. Made once
// and never destroyed, as blocks may be freed by exit handlers.
static std::unordered_set<const MemHeader*>& Blocks(void)
{
    static auto* blocks = new std::unordered_set<const MemHeader*>;
    return *blocks;
}

static char multiName[RES_NAME_MAX];

static inline ResEntry& E(ResId id) { return res.index[id]; }

static bool Valid(ResId id) { return res.installed && id >= 2 && id <= res.highest; }
static bool InUse(ResId id) { return Valid(id) && E(id).inUse; }

// ============================================================================================
// Plain memory blocks
// ============================================================================================

// Lists a new block; false when there is no memory for its entry.
static bool ListBlock(const MemHeader* h)
{
    try {
        Blocks().insert(h);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Takes a block off the set; false when it is not in it.
static bool UnlinkBlock(const MemHeader* h) { return Blocks().erase(h) == 1; }

void* ResAllocMem(size_t size)
{
    if (size > SIZE_MAX - sizeof(MemHeader)) {
        res.lastError = RES_ERR_MEMORY;
        return nullptr;
    }
    MemHeader* h = (MemHeader*)MemAlloc(sizeof(MemHeader) + size);
    if (!h) {
        res.lastError = RES_ERR_MEMORY;
        return nullptr;
    }
    h->section = (uint32_t)res.section;
    if (!ListBlock(h)) {
        MemFree(h);
        res.lastError = RES_ERR_MEMORY;
        return nullptr;
    }
    return h + 1;
}

void ResFreeMem(void* p)
{
    if (!p) FatalError("ResFreeMem - attempting to free a NULL block");
    MemHeader* h = (MemHeader*)p - 1;
    // Freeing a block the set does not hold would corrupt the heap.
    if (!UnlinkBlock(h)) FatalError("ResFreeMem - attempting to free an unknown block");
    MemFree(h);
}

void* ResReallocMem(void* p, size_t size)
{
    if (!p) return ResAllocMem(size);
    MemHeader* h = (MemHeader*)p - 1;
    if (size > SIZE_MAX - sizeof(MemHeader) || !Blocks().count(h)) {
        res.lastError = RES_ERR_MEMORY;
        return nullptr;
    }
    MemHeader* n = (MemHeader*)MemRealloc(h, sizeof(MemHeader) + size);
    if (!n) {
        // The old block is still valid and in the set: it can be freed.
        res.lastError = RES_ERR_MEMORY;
        return nullptr;
    }
    if (n != h) {
        // The entry moves to the new address without a new allocation that could fail.
        auto entry = Blocks().extract(h);
        entry.value() = n;
        Blocks().insert(std::move(entry));
    }
    return n + 1;
}

// ============================================================================================
// Rings
// ============================================================================================

static void Unlink(ResId id)
{
    ResEntry& e = E(id);
    E(e.prev).next = e.next;
    E(e.next).prev = e.prev;
}

// Links id in front of `before` (in front of a head = at the end of its ring).
static void LinkBefore(ResId id, ResId before)
{
    ResId prev = E(before).prev;
    E(id).prev = prev;
    E(id).next = before;
    E(prev).next = id;
    E(before).prev = id;
}

static void LinkFront(ResId id, ResId head) { LinkBefore(id, E(head).next); }

static void Grow(void)
{
    int old = res.capacity;
    if (old >= INDEX_LIMIT) FatalError("RES: resource index is full");
    LogPrintf(LOG_INFO, "RES: %d resource index entries were not enough - allocating another 256", old);
    int cap = old + RES_GROW_BY;
    if (cap > INDEX_LIMIT) cap = INDEX_LIMIT;
    ResEntry* n = (ResEntry*)MemAlloc(sizeof(ResEntry) * (size_t)cap);
    if (!n) FatalError("CreateResIndex - out of Memory");
    memcpy(n, res.index, sizeof(ResEntry) * (size_t)old);
    memset(n + old, 0, sizeof(ResEntry) * (size_t)(cap - old));
    MemFree(res.index);
    res.index = n;
    res.capacity = cap;
    for (int i = old; i < cap; i++) LinkBefore((ResId)i, HEAD_FREE);
}

// An entry as free or newly taken: no name, no data, nothing open, no free hook, not in use.
static void ClearEntry(ResEntry& e)
{
    e.inUse = 0;
    e.name[0] = 0;
    e.data = nullptr;
    e.dataSize = 0;
    e.size = 0;
    e.openCount = 0;
    e.freeFn = nullptr;
    e.flags = 0;
}

static ResId TakeEntry(void)
{
    if (E(HEAD_FREE).next == HEAD_FREE) Grow();
    ResId id = E(HEAD_FREE).next;
    Unlink(id);
    LinkFront(id, HEAD_USED);
    ResEntry& e = E(id);
    ClearEntry(e);
    e.section = (uint8_t)res.section;
    e.inUse = 1;
    if (id > res.highest) res.highest = id;
    return id;
}

static void ReleaseEntry(ResId id)
{
    Unlink(id);
    LinkFront(id, HEAD_FREE);
    ClearEntry(E(id));
}

// ============================================================================================
// Install
// ============================================================================================

void ResInstall(int entries)
{
    if (res.installed) return;
    if (!MemInstall()) FatalError("Failed to install memory manager. Cannot continue.");
    if (entries < 0) entries = 0;
    int cap = entries > INDEX_LIMIT - 2 ? INDEX_LIMIT : entries + 2;
    ResEntry* index = (ResEntry*)MemAlloc(sizeof(ResEntry) * (size_t)cap);
    if (!index) FatalError("CreateResIndex - out of Memory");
    memset(index, 0, sizeof(ResEntry) * (size_t)cap);
    res.index = index;
    res.capacity = cap;
    res.highest = 0;
    for (ResId h = 0; h < 2; h++) E(h).next = E(h).prev = h;
    for (int i = 2; i < cap; i++) LinkBefore((ResId)i, HEAD_FREE);
    res.installed = 1;
    res.externalFirst = 1;
    res.typeCount = 0;
    res.fileCount = 0;
    res.section = 0;
    res.lastError = RES_ERR_NONE;
    RegisterExit(ResRemove);
}

void ResRemove(void)
{
    if (!res.installed) return;
    while (res.fileCount > 0) ResCloseFile(res.fileCount - 1);
    // The managers that own these have removed themselves; only the blocks remain.
    for (int i = 2; i <= res.highest; i++)
        if (res.index[i].data) MemFree(res.index[i].data);
    MemFree(res.index);
    res.index = nullptr;
    res.capacity = 0;
    res.highest = 0;
    res.typeCount = 0;
    res.installed = 0;
}

int ResIsInstalled(void) { return res.installed; }
int ResLastError(void) { return res.lastError; }
void ResSetLastError(int code) { res.lastError = code; }
void ResSetExternalFirst(int on) { res.externalFirst = on != 0; }

// ============================================================================================
// Sources and loading
// ============================================================================================

// The extension of a name: the text after the first '.' of its last path part.
static const char* Extension(const char* name)
{
    const char* base = name;
    for (const char* p = name; *p; p++)
        if (*p == '/' || *p == '\\') base = p + 1;
    while (*base && *base != '.') base++;
    return *base ? base + 1 : base;
}

struct Source {
    int loose;          // 1: a loose file; 0: an entry of a resource file
    int slot;
    ResDirEntry entry;
    uint64_t size;
};

// The first source of a name: a loose file when external files come first, else the first
// resource file in list order that holds it.
static bool FindSource(const char* name, Source* s)
{
    if (res.externalFirst) {
        int64_t size = FileSize(name);
        if (size >= 0) {
            s->loose = 1;
            s->size = (uint64_t)size;
            return true;
        }
    }
    for (int i = 0; i < res.fileCount; i++)
        if (RFileFind(res.fileSlots[i], name, &s->entry)) {
            s->loose = 0;
            s->slot = res.fileSlots[i];
            s->size = s->entry.size;
            return true;
        }
    return false;
}

static void CallTypeFree(ResId id)
{
    char ext[RES_NAME_MAX];
    StrLCopy(ext, Extension(E(id).name), sizeof ext);
    for (int t = 0; t < res.typeCount; t++)
        if (res.types[t].free && StrICmp(res.types[t].ext, ext) == 0) res.types[t].free(id);
}

// The entry's own free function, else that of every type matching its extension.
static void CallFree(ResId id)
{
    if (E(id).freeFn)
        E(id).freeFn(id);
    else if (E(id).name[0])
        CallTypeFree(id);
}

static void DropData(ResId id)
{
    MemFree(E(id).data);
    E(id).data = nullptr;
    E(id).dataSize = 0;
}

// Loads an external resource that is not in memory. 0, or 1 with the last error set.
static int LoadExternal(ResId id)
{
    char name[RES_NAME_MAX];
    StrLCopy(name, E(id).name, sizeof name);
    if (!name[0]) {
        res.lastError = RES_ERR_NOT_FOUND;
        return 1;
    }
    Source src;
    if (!FindSource(name, &src)) {
        res.lastError = RES_ERR_NOT_FOUND;
        return 1;
    }
    // A loose file too large for a resource is refused as one too large for its type is.
    if (src.size > RES_MAX_SIZE) {
        LogPrintf(LOG_WARN, "RES: %s refused before reading: %llu bytes, larger than a resource can be (at most %u bytes)",
                  name, (unsigned long long)src.size, (unsigned)RES_MAX_SIZE);
        res.lastError = RES_ERR_TOO_LARGE;
        return 1;
    }
    // The source's present size wins over a stale known one: reading a changed file by its
    // old size would give a short or partial block.
    E(id).size = (uint32_t)src.size;
    // A damaged directory may claim gigabytes: refuse before allocating for them.
    if (!src.loose && !RFileEntryFits(src.slot, &src.entry)) {
        res.lastError = RES_ERR_READ;
        return 1;
    }
    char ext[RES_NAME_MAX];
    StrLCopy(ext, Extension(name), sizeof ext);
    // Nor is more read than the largest file of the resource's type.
    for (int t = 0; t < res.typeCount; t++)
        if (StrICmp(res.types[t].ext, ext) == 0 && src.size > res.types[t].maxSize) {
            LogPrintf(LOG_WARN, "RES: %s refused before reading: %llu bytes, larger than a .%s file can be (at most %llu bytes)",
                      name, (unsigned long long)src.size, res.types[t].ext, (unsigned long long)res.types[t].maxSize);
            res.lastError = RES_ERR_TOO_LARGE;
            return 1;
        }
    void* block = MemAlloc(src.size);
    if (!block) {
        res.lastError = RES_ERR_MEMORY;
        return 1;
    }
    int failed = src.loose ? (src.size ? FileReadAt(name, 0, block, src.size) : 0)
                           : RFileRead(src.slot, &src.entry, block);
    if (failed) {
        MemFree(block);
        res.lastError = RES_ERR_READ;
        return 1;
    }
    E(id).data = block;
    E(id).dataSize = src.size;
    E(id).section = (uint8_t)res.section;

    for (int t = 0; t < res.typeCount; t++) {
        if (!res.types[t].load || StrICmp(res.types[t].ext, ext) != 0) continue;
        if (res.types[t].load(id) != 0) {
            // The loader refused the data (it may have replaced it meanwhile).
            if (E(id).data) DropData(id);
            res.lastError = RES_ERR_READ;
            return 1;
        }
    }
    return 0;
}

// ============================================================================================
// Lifetime of ids
// ============================================================================================

ResId ResCreate(size_t size)
{
    if (!res.installed) {
        res.lastError = RES_ERR_MEMORY;
        return 0;
    }
    void* block = MemAlloc(size);
    if (!block) {
        res.lastError = RES_ERR_MEMORY;
        return 0;
    }
    ResId id = TakeEntry();
    E(id).data = block;
    E(id).dataSize = size;
    return id;
}

void* ResOpen(ResId id)
{
    if (!Valid(id)) FatalError("ResOpen - invalid ID");
    if (!E(id).data) {
        if (!E(id).name[0]) FatalError("ResOpen - could find INTERNAL resource data - the resource has been freed");
        if (LoadExternal(id)) {
            // A user's file that vanished or cannot be read is no reason to stop: the caller
            // goes on without it (an untextured polygon, no shape) and the last error says why.
            switch (res.lastError) {
            case RES_ERR_NOT_FOUND:
                LogPrintf(LOG_ERROR, "RES: %s could not be loaded: the file is missing", E(id).name);
                return nullptr;
            case RES_ERR_READ:
                LogPrintf(LOG_ERROR, "RES: %s could not be loaded: the file cannot be read or is damaged", E(id).name);
                return nullptr;
            case RES_ERR_TOO_LARGE: return nullptr;   // logged with its size and limit
            case RES_ERR_MEMORY: FatalError("ResOpen - could not load resource data - Memory Allocation Failed");
            default: FatalError("ResOpen - could not load the resource data");
            }
        }
    }
    if (E(id).openCount < 0xFFFF) E(id).openCount++;
    return E(id).data;
}

void ResClose(ResId id)
{
    if (InUse(id) && E(id).openCount > 0) E(id).openCount--;
}

void* ResPeek(ResId id)
{
    if (!Valid(id)) FatalError("ResPeek - invalid ID");
    if (!E(id).data && ResOpen(id)) ResClose(id);
    return E(id).data;
}

void ResFree(ResId id)
{
    if (!InUse(id) || E(id).openCount > 0 || !E(id).data) return;
    if (!E(id).name[0]) {
        DropData(id);
        ReleaseEntry(id);
        return;
    }
    CallFree(id);
    if (E(id).data) DropData(id);
}

void ResFreeAlways(ResId id)
{
    if (!InUse(id) || E(id).openCount > 0) return;
    if (E(id).data) {
        CallFree(id);
        if (E(id).data) DropData(id);
    }
    E(id).size = 0;
    if (!E(id).name[0]) ReleaseEntry(id);
}

int ResResize(ResId id, size_t size)
{
    if (!InUse(id) || !E(id).data) return 1;
    void* n = MemRealloc(E(id).data, size);
    if (!n) {
        res.lastError = RES_ERR_MEMORY;
        return 1;
    }
    E(id).data = n;
    E(id).dataSize = size;
    return 0;
}

size_t ResSize(ResId id)
{
    if (!InUse(id)) return 0;
    return E(id).data ? E(id).dataSize : E(id).size;
}

size_t ResSizeRounded(ResId id) { return ((ResSize(id) + 3) & ~(size_t)3) + 32; }

int ResIsLoaded(ResId id) { return InUse(id) && E(id).data ? 0 : -1; }

ResId ResCopy(ResId id)
{
    if (ResLoad(id)) return 0;
    size_t size = E(id).dataSize;
    ResId copy = ResCreate(size);
    if (!copy) return 0;
    memcpy(E(copy).data, E(id).data, size);
    return copy;
}

void ResMove(ResId dest, ResId src)
{
    if (!InUse(dest) || !InUse(src) || dest == src) return;
    if (E(dest).data) {
        if (E(dest).name[0]) CallFree(dest);
        if (E(dest).data) DropData(dest);
    }
    E(dest).data = E(src).data;
    E(dest).dataSize = E(src).dataSize;
    E(dest).size = 0;
    ReleaseEntry(src);
}

void ResSetFreeCallback(ResId id, ResFreeFn fn)
{
    if (InUse(id)) E(id).freeFn = fn;
}

void ResRegisterType(const char* ext, ResLoadFn load, ResFreeFn free, uint64_t maxSize)
{
    if (!ext) return;
    char e[4];
    StrLCopy(e, ext, sizeof e);
    StrLower(e);
    for (int t = 0; t < res.typeCount; t++)
        if (StrICmp(res.types[t].ext, e) == 0) return;
    if (res.typeCount >= RES_MAX_TYPES) return;
    ResType& t = res.types[res.typeCount++];
    StrCopy(t.ext, e);
    t.load = load;
    t.free = free;
    t.maxSize = maxSize;
}

void ResForEachType(const char* ext, ResEachFn fn)
{
    if (!res.installed || !ext || !fn) return;
    // Collected first: the function may free, load or create resources.
    std::vector<ResId> ids;
    for (ResId id = E(HEAD_USED).next; id != HEAD_USED; id = E(id).next)
        if (E(id).name[0] && E(id).data && StrICmp(Extension(E(id).name), ext) == 0) ids.push_back(id);
    for (ResId id : ids)
        if (InUse(id) && E(id).data) fn(id);
}

// ============================================================================================
// Names
// ============================================================================================

ResId ResFindName(const char* name)
{
    if (!res.installed || !name || !*name) return 0;
    for (ResId id = E(HEAD_USED).next; id != HEAD_USED; id = E(id).next) {
        if (!E(id).name[0]) continue;
        int c = StrICmp(E(id).name, name);
        if (c == 0) return id;
        if (c > 0) break;
    }
    return 0;
}

ResId ResFindOrAdd(const char* name)
{
    if (!res.installed || !name || !*name || StrLen(name) >= RES_NAME_MAX) {
        res.lastError = RES_ERR_NOT_FOUND;
        return 0;
    }
    ResId found = ResFindName(name);
    if (found) return found;
    Source src;
    if (!FindSource(name, &src)) {
        res.lastError = RES_ERR_NOT_FOUND;
        return 0;
    }
    ResId id = TakeEntry();
    StrCopy(E(id).name, name);
    StrLower(E(id).name);
    E(id).size = src.size;
    ResId before = HEAD_USED;
    for (ResId it = E(HEAD_USED).next; it != HEAD_USED; it = E(it).next)
        if (it != id && E(it).name[0] && StrICmp(E(it).name, E(id).name) > 0) {
            before = it;
            break;
        }
    Unlink(id);
    LinkBefore(id, before);
    return id;
}

int ResLoad(ResId id)
{
    if (!InUse(id)) {
        res.lastError = RES_ERR_NOT_FOUND;
        return 1;
    }
    if (E(id).data) return 0;
    return LoadExternal(id);
}

ResId ResOpenName(const char* name)
{
    ResId id = ResFindOrAdd(name);
    if (!id || ResLoad(id)) return 0;
    return id;
}

static const char* Multiple(const char* pattern, ResId* ids, int count, int first, int open)
{
    int star = -1;
    for (int i = 0; pattern && i < 13 && pattern[i]; i++)
        if (pattern[i] == '*') {
            star = i;
            break;
        }
    if (star < 0) FatalError("Loading/finding multiple resources - could not find * character");
    // The whole pattern is kept: cutting a longer name to 13 characters would name other files.
    StrLCopy(multiName, pattern, sizeof multiName);
    int stars = 0;
    while (multiName[star + stars] == '*') stars++;
    for (int i = 0; i < count; i++) {
        uint32_t v = (uint32_t)(first + i);
        for (int k = stars - 1; k >= 0; k--) {
            multiName[star + k] = (char)('0' + v % 10);
            v /= 10;
        }
        ResId id = open ? ResOpenName(multiName) : ResFindOrAdd(multiName);
        if (!id) return multiName;
        if (ids) ids[i] = id;
    }
    return nullptr;
}

const char* ResFindMultiple(const char* pattern, ResId* ids, int count, int first)
{
    return Multiple(pattern, ids, count, first, 0);
}

const char* ResOpenMultiple(const char* pattern, ResId* ids, int count, int first)
{
    return Multiple(pattern, ids, count, first, 1);
}

ResId LoadFileToRes(const char* fileName, uint64_t maxSize, const char* kind)
{
    int64_t size;
    switch (FileCheckRead(fileName, maxSize, kind, &size)) {
    case FILE_READABLE: break;
    case FILE_TOO_LARGE:
        LogPrintf(LOG_WARN, "RES: %s refused before reading: %s", fileName, FileRefusal());
        res.lastError = RES_ERR_TOO_LARGE;
        return 0;
    case FILE_NOT_REGULAR: res.lastError = RES_ERR_READ; return 0;
    default: res.lastError = RES_ERR_NOT_FOUND; return 0;
    }
    ResId id = ResCreate((size_t)size);
    if (!id) return 0;
    if (size && FileReadAt(fileName, 0, E(id).data, (size_t)size)) {
        ResFree(id);
        res.lastError = RES_ERR_READ;
        return 0;
    }
    return id;
}

// ============================================================================================
// Introspection and sections
// ============================================================================================

const char* ResName(ResId id) { return InUse(id) ? E(id).name : ""; }
int ResOpenCount(ResId id) { return InUse(id) ? E(id).openCount : 0; }
int ResHighestId(void) { return res.highest; }
int ResIndexCapacity(void) { return res.capacity; }

int ResUsedCount(void)
{
    if (!res.installed) return 0;
    int n = 0;
    for (ResId id = E(HEAD_USED).next; id != HEAD_USED; id = E(id).next) n++;
    return n;
}

int ResSection(ResId id) { return InUse(id) ? E(id).section : 0; }

void ResSetMark(ResId id, int on)
{
    if (!InUse(id)) return;
    if (on)
        E(id).flags |= FLAG_MARK;
    else
        E(id).flags &= (uint8_t)~FLAG_MARK;
}

int ResMarked(ResId id) { return InUse(id) && (E(id).flags & FLAG_MARK) ? 1 : 0; }

void ResStartSection(void) { res.section++; }
void ResEndSection(void)
{
    if (res.section > 0) res.section--;
}
int ResCurrentSection(void) { return res.section; }

// ============================================================================================
// Resource files
// ============================================================================================

int ResAddFile(const char* fileName)
{
    if (!res.installed || res.fileCount >= RES_MAX_FILES) return -1;
    char own[1024];
    if (!fileName) {
        // The program's own resource file: its path with "EXE" replaced by "RES".
        const char* exe = FileProgramPath();
        int len = StrLen(exe);
        if (len < 3 || len >= (int)sizeof own || StrICmp(exe + len - 3, "EXE") != 0) return -1;
        StrCopy(own, exe);
        own[len - 3] = 'R';
        own[len - 2] = 'E';
        own[len - 1] = 'S';
        fileName = own;
    }
    int slot = RFileOpen(fileName);
    if (slot < 0) return -1;
    res.fileSlots[res.fileCount++] = slot;
    return 0;
}

void ResCloseFile(int n)
{
    if (n < 0 || n >= res.fileCount) FatalError("FileCloseRes: Error.");
    RFileClose(res.fileSlots[n]);
    for (int i = n; i + 1 < res.fileCount; i++) res.fileSlots[i] = res.fileSlots[i + 1];
    res.fileCount--;
}

int ResFileCount(void) { return res.fileCount; }

int ResFileEntryCount(int n) { return n >= 0 && n < res.fileCount ? RFileCount(res.fileSlots[n]) : 0; }

int ResFileGetEntry(int n, int i, ResDirEntry* out)
{
    if (n < 0 || n >= res.fileCount || !out) return 1;
    return RFileEntry(res.fileSlots[n], i, out);
}
