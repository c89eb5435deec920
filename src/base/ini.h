// Settings tables: key=value text files such as tolbex.ini, one table open at a time.
#pragma once

enum { INI_KEY_MAX = 15, INI_VALUE_MAX = 79, INI_ENTRY_SIZE = 96 };

// Opens a table of `capacity` entries, filled from the file when one is named. 0 or 1.
int INIOpen(const char* fileName, int capacity);
// The value of a key (matched without case), or null when it is absent.
const char* INIGet(const char* key);
// Stores a value under a key (an empty key is ignored). 0, or 1 when the key is new and the
// table is full: a settings file the user filled up must not end the program.
int INISet(const char* key, const char* value);
// Writes the table to the file when one is named, then frees it. 0 or 1.
int INIClose(const char* fileName);
int INIIsOpen(void);
