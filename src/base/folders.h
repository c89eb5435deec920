// Where the program keeps its settings and working files. Apart from the application's run
// states so that the models (a world's save summary) reach it without the program's start-up.
#pragma once
#include <cstddef>

// Where the program keeps its files. A working folder with a tolbex.ini is a project folder
// and is used as it always was; without one (a start from the menu, in the home folder) the
// settings come from the user's settings folder and the program's own working files go
// beside the document or into the user's state folder, never into the working folder.
// Chosen once at start-up from the working folder; tests may choose again.
void AppChooseFolders(void);
int AppInProjectFolder(void);
// The settings file to read: "tolbex.ini", or its full path in the settings folder.
const char* AppSettingsFile(void);
// Where a working file named leaf goes: leaf itself in a project folder; else beside the
// document (documentPath's folder, when it names one) or in the state folder. 0, or 1 when
// no place can be had (out is then leaf: the working folder, as before).
int AppWorkFilePath(const char* documentPath, const char* leaf, char* out, size_t outSize);
