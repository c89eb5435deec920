// Memory manager: the C runtime heap with a running total of the allocator's block sizes.
#include "base/mem.h"

#include <malloc.h>
#include <sys/sysinfo.h>

#include <cstdlib>

// No block of the editor comes near this; a request this large is a corrupted count, and
// refusing it here keeps the failure a plain "out of memory" on every build.
static const size_t kMaxBlock = (size_t)1 << 40;

static struct {
    int installed;
    int64_t total;
} mem;

int MemInstall(void)
{
    mem.installed = 1;
    return 1;
}

void* MemAlloc(size_t size)
{
    if (size >= kMaxBlock) return nullptr;
    void* p = malloc(size ? size : 1);
    if (p) mem.total += (int64_t)malloc_usable_size(p);
    return p;
}

void MemFree(void* p)
{
    if (!p) return;
    mem.total -= (int64_t)malloc_usable_size(p);
    free(p);
}

void* MemRealloc(void* p, size_t size)
{
    if (!p) return MemAlloc(size);
    if (size >= kMaxBlock) return nullptr;
    size_t old = malloc_usable_size(p);
    // realloc to 0 bytes may free the block; keep a real one.
    void* q = realloc(p, size ? size : 1);
    if (!q) return nullptr;
    mem.total += (int64_t)malloc_usable_size(q) - (int64_t)old;
    return q;
}

size_t MemBlockSize(const void* p) { return p ? malloc_usable_size((void*)p) : 0; }

int64_t MemTotal(void) { return mem.total; }

uint64_t MemFreePhysical(void)
{
    struct sysinfo si;
    if (sysinfo(&si) != 0) return 0;
    return (uint64_t)si.freeram * si.mem_unit;
}

uint64_t MemFreeVirtual(void)
{
    struct sysinfo si;
    if (sysinfo(&si) != 0) return 0;
    return ((uint64_t)si.freeram + si.freeswap) * si.mem_unit;
}
