// Resource manager: every sizeable block of the program is a resource named by a 16-bit id.
// Internal resources live only in memory; external ones carry a file name and are loaded on
// demand from a loose file or from a resource file, and can be freed and reloaded under the
// same id. Code keeps ids and opens a resource for the time it works on it.
#pragma once
#include <cstddef>
#include <cstdint>

typedef uint16_t ResId;
// Type hooks. A load hook may convert the data in place (or replace it with ResResize/ResMove);
// it returns 0 to accept the data and non-zero to refuse it, which fails the load.
typedef int (*ResLoadFn)(ResId id);
typedef void (*ResFreeFn)(ResId id);
typedef void (*ResEachFn)(ResId id);

enum {
    RES_ERR_NONE = 0,
    RES_ERR_NOT_FOUND = 2,
    RES_ERR_READ = 4,
    RES_ERR_MEMORY = 7,
    RES_ERR_TOO_LARGE = 8,    // larger than the largest file of its type
};

enum {
    RES_NAME_MAX = 64,      // bytes of an index name, terminator included
    RES_MAX_TYPES = 32,
    RES_MAX_FILES = 8,      // the manager's list of resource files
    RES_MAX_OPEN_FILES = 3, // the file layer below it
    RES_DIR_ENTRY_SIZE = 28,
    RES_GROW_BY = 256,
};

// The largest resource: sizes and offsets in resource files are 32-bit.
constexpr uint32_t RES_MAX_SIZE = 0xFFFFFFFFu;

// ---- plain memory blocks (stamped with the section, linked into one list)
void* ResAllocMem(size_t size);
void ResFreeMem(void* p);
void* ResReallocMem(void* p, size_t size);

// ---- install
void ResInstall(int entries);
void ResRemove(void);
int ResIsInstalled(void);
int ResLastError(void);
void ResSetLastError(int code);
// When set (the default after install) loose files are searched before resource files.
void ResSetExternalFirst(int on);

// ---- lifetime of ids
ResId ResCreate(size_t size);
// Opens a resource, loading an external one first. An external resource whose file is missing
// or cannot be read (or that its type's loader refuses) gives null, with the last error saying
// why, and stays closed: callers of external ids go on without it.
void* ResOpen(ResId id);
void ResClose(ResId id);
// The data without keeping the resource open; null as ResOpen gives it.
void* ResPeek(ResId id);
void ResFree(ResId id);
void ResFreeAlways(ResId id);
int ResResize(ResId id, size_t size);
size_t ResSize(ResId id);
size_t ResSizeRounded(ResId id);
int ResIsLoaded(ResId id);
ResId ResCopy(ResId id);
void ResMove(ResId dest, ResId src);
void ResSetFreeCallback(ResId id, ResFreeFn fn);
// A type's maxSize is the largest file it can be: a larger source is refused from its size,
// before anything is allocated or read (the last error RES_ERR_TOO_LARGE).
void ResRegisterType(const char* ext, ResLoadFn load, ResFreeFn free, uint64_t maxSize);
void ResForEachType(const char* ext, ResEachFn fn);

// ---- names
ResId ResFindName(const char* name);
ResId ResFindOrAdd(const char* name);
ResId ResOpenName(const char* name);
int ResLoad(ResId id);
const char* ResFindMultiple(const char* pattern, ResId* ids, int count, int first);
const char* ResOpenMultiple(const char* pattern, ResId* ids, int count, int first);
// A whole file in a new internal resource, or 0 with the last error set. A file of more than
// maxSize bytes (the largest file of the reader's format, which `kind` names for the refusal:
// "a shape file") is refused from its size before anything is read or allocated, as anything
// but a regular file is (FileCheckRead).
ResId LoadFileToRes(const char* fileName, uint64_t maxSize, const char* kind);

// ---- introspection (status displays, tools and tests)
const char* ResName(ResId id);   // "" for an internal resource
int ResOpenCount(ResId id);
int ResHighestId(void);
int ResIndexCapacity(void);      // entries in the index array, the two heads included
int ResUsedCount(void);          // entries in the used ring
int ResSection(ResId id);
void ResSetMark(ResId id, int on);
int ResMarked(ResId id);

// ---- sections
void ResStartSection(void);
void ResEndSection(void);
int ResCurrentSection(void);

// ---- resource files
// Adds a resource file to the search list (none = the program's own .RES file). 0 or -1.
int ResAddFile(const char* fileName);
// Closes the n-th file of the list; fatal when no such file is open.
void ResCloseFile(int n);
int ResFileCount(void);

struct ResDirEntry {
    uint32_t kind;     // 2 for data
    char name[16];     // the 8.3 key, zero-terminated
    uint32_t offset;
    uint32_t size;
};
int ResFileEntryCount(int n);
int ResFileGetEntry(int n, int i, ResDirEntry* out);
// The 12-character key a name is looked up by: "TREE    .SHP".
void ResMakeKey(const char* name, char key[13]);

struct ResPackItem {
    const char* name;  // any file name; its 8.3 key is stored
    const void* data;
    uint32_t size;
};
// Writes a resource file. Returns 0, 1 when two items share a key, 2 when the file cannot
// be written (a partial file is removed).
int ResWriteFile(const char* fileName, const ResPackItem* items, int count, int scramble);
