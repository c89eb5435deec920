// The file selector: a modal window of the program's own in which the user picks a file to
// open or names one to save. On confirmation it closes and sends FILESEL_CHOSEN to the
// requesting window (when it still exists) with p1 pointing at the full path; a cancelled
// selector sends nothing. The process's current folder never changes.
#pragma once
#include "toolkit/panelhost.h"
#include "toolkit/win.h"

enum {
    FILESEL_CHOSEN = PANELHOST_FILE_CHOSEN,   // to the requester: p1 = const char* full path
    FILESEL_PATH_MAX = PANELHOST_PATH_MAX,    // bytes of a folder or a chosen path, terminator included
    FILESEL_NAME_MAX = 259,      // characters the name field holds
    FILESEL_PATTERN_MAX = 256,   // bytes of the pattern kept, terminator included
    FILESEL_MAX_ENTRIES = 32767, // list items carry 16-bit ids: ".." and 32766 more at most
};

void FileSelRegisterClass(void);
// Opening: lists ".." and the subfolders of `folder`, then the files matching `pattern`
// (case-insensitive, '*' and '?', several patterns separated by ';'); only an existing
// regular file is accepted.
WinId FileSelOpen(const char* title, const char* folder, const char* pattern, WinId requester);
// Saving: the title is "Save as..."; the name field starts with defaultName, all selected.
WinId FileSelSave(const char* folder, const char* pattern, const char* defaultName, WinId requester);

// 1 when the whole name matches one of the ';'-separated patterns, letter case ignored: '*'
// stands for any run of characters, '?' for any one. Blanks around a pattern are dropped;
// "*.*" and an empty pattern list match every name.
int FileSelMatch(const char* patterns, const char* name);

// What the open selector shows (tests and status lines): its window (0 when none is open),
// the folder as a full path, and its entries in list order, ".." first.
WinId FileSelWindow(void);
const char* FileSelFolder(void);
int FileSelEntryCount(void);
// The name of entry `index` (0-based) as it is on disk, and whether it is a folder; null past
// the end.
const char* FileSelEntryName(int index, int* isFolder);
