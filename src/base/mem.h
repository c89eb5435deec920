// Memory manager: the allocator under the resource manager, with a running count of the
// bytes it has handed out (the allocator's own block sizes, for the status displays).
#pragma once
#include <cstddef>
#include <cstdint>

// Installs the allocator (the runtime heap). Returns 1 on success; a second call changes
// nothing.
int MemInstall(void);
void* MemAlloc(size_t size);
void MemFree(void* p);
void* MemRealloc(void* p, size_t size);
size_t MemBlockSize(const void* p);
// Bytes currently allocated through this manager.
int64_t MemTotal(void);
// Free physical and virtual memory in bytes, for status displays only.
uint64_t MemFreePhysical(void);
uint64_t MemFreeVirtual(void);
