// Resource-file layer under the resource manager: at most three resource files open at a
// time, each with its directory held in an internal resource and its entries read on demand.
// Only the manager uses it; everything above goes through res.h.
#pragma once
#include "base/res.h"

// Opens a resource file and reads its directory. Returns its slot, or -1 when no slot is
// free or the file is missing, unreadable, or its directory does not lie inside it.
int RFileOpen(const char* fileName);
// Fatal "FileCloseRes: Error." when the slot holds no open file.
void RFileClose(int slot);
int RFileCount(int slot);
// 0 and the entry, or 1 when the slot or the index is out of range.
int RFileEntry(int slot, int i, ResDirEntry* out);
// Looks a name up by its 8.3 key among the data entries. 1 and the entry when found.
int RFileFind(int slot, const char* name, ResDirEntry* out);
// 1 when an entry's bytes lie inside its file (checked before a block is allocated for them).
int RFileEntryFits(int slot, const ResDirEntry* entry);
// Reads an entry's bytes into dest. 0, or 1 when they lie outside the file or cannot be read.
int RFileRead(int slot, const ResDirEntry* entry, void* dest);
