// The file selector: a modal window of the program's own in which the user picks a file to
// open or names one to save. On confirmation it closes and sends FILESEL_CHOSEN to the
// requesting window (when it still exists) with p1 pointing at the full path; a cancelled
// selector sends nothing. The process's current folder never changes.
#pragma once
#include "toolkit/win.h"

enum {
    CLASS_FILESEL = 0x1030,
    FILESEL_CHOSEN = 34,   // to the requester: p1 = const char* full path
};

void FileSelRegisterClass(void);
// Opening: lists ".." and the subfolders of `folder`, then the files matching `pattern`
// (case-insensitive, '*' and '?', several patterns separated by ';'); only an existing
// regular file is accepted.
WinId FileSelOpen(const char* title, const char* folder, const char* pattern, WinId requester);
// Saving: the title is "Save as..."; the name field starts with defaultName, all selected.
WinId FileSelSave(const char* folder, const char* pattern, const char* defaultName, WinId requester);
