// Files: finding names whatever their case on disk, folders, checked whole reads and safe
// writes, the program's own folders. Names use '/', '\\' is accepted.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Finds an existing file: the exact name first, then a case-insensitive match of each part.
// Writes the name as it is on disk; returns 1 when found.
int FileFind(const char* name, char* out, size_t outSize);
int FileExists(const char* name);
// Calls fn for each entry of a folder (not "." and ".."), in no particular order, with its
// name and whether it is a folder (links are followed). Returns 0, or 1 when the folder
// cannot be read. The folder's own name is found whatever its letter case.
typedef void (*FileEntryFn)(const char* name, int isFolder, void* user);
int FileListFolder(const char* folder, FileEntryFn fn, void* user);
// Size in bytes, or -1 when the file cannot be found or is no regular file.
int64_t FileSize(const char* name);
// Reads `length` bytes at `offset` into dest; 0 on success. Only a regular file is read: a
// FIFO or a device fails at once instead of waiting.
int FileReadAt(const char* name, uint64_t offset, void* dest, size_t length);
// Checks a file before a reader takes it whole, without reading it and without waiting: the
// name must open (a missing file, a dangling or looping link, no permission: FILE_CANNOT_OPEN
// with errno), be a regular file (a folder, a FIFO, a device: FILE_NOT_REGULAR) and hold at
// most maxSize bytes, the largest file of the reader's format (FILE_TOO_LARGE). `kind` names
// that format for the refusal ("a shape file"). FILE_READABLE with *size set, or the reason,
// whose text FileRefusal gives.
enum { FILE_READABLE = 0, FILE_CANNOT_OPEN, FILE_NOT_REGULAR, FILE_TOO_LARGE };
int FileCheckRead(const char* name, uint64_t maxSize, const char* kind, int64_t* size);
// The last FileCheckRead's refusal, without the file's name: "No such file or directory",
// "not a regular file (a FIFO)", "4294967296 bytes, larger than a shape file can be (at most
// 2000000 bytes)"; "" after a check that passed.
const char* FileRefusal(void);
// A whole file for a reader that takes it at once (pictures, models, worlds, settings): checked
// as FileCheckRead does, then read into data. FILE_READABLE with data holding every byte; the
// check's refusal (its text in FileRefusal); or FILE_CANNOT_READ when the bytes could not be
// read after all (data then empty).
enum { FILE_CANNOT_READ = FILE_TOO_LARGE + 1 };
int FileReadWhole(const char* name, uint64_t maxSize, const char* kind, std::vector<uint8_t>& data);
// A message box's text for a load that failed, with the last refusal when there is one:
// "! Unable to load shape. 4294967296 bytes, larger than ...". A static buffer.
const char* FileRefusalAfter(const char* text);
// Writes a file safely: the data goes to a temporary file in the same folder, is flushed to
// the disk and then renamed over the name. A failure leaves an existing file byte for byte
// as it was and no temporary file behind. 0 on success, 1 on failure.
int FileWrite(const char* name, const void* data, size_t size);
// Writes a file, keeping the previous one: an existing file is first moved to the name whose
// extension's first character is '~' (BOX.SHP leaves BOX.~HP; an older backup goes first).
// The new data is safely on the disk before the old file is moved; when anything fails the
// old file stays under its own name. 0, or 1 on failure.
int FileSaveWithBackup(const char* name, const void* data, size_t size);
// Writes files that belong together (a world and its runtime files, a net's shapes): every new
// file is whole on the disk before any name is replaced (a batch of several is written first
// and then all its files are flushed together, with one wait), the folder is flushed once
// after the renames, and when a name cannot be replaced the files put in
// place before it are put back, old backups included, so that a failure leaves every file as it
// was. A file with keepBackup keeps its old file as FileSaveWithBackup does. 0, or the number
// (from 1) of the file that could not be written (errno tells why).
struct FileWriteItem {
    const char* name;
    const void* data;
    size_t size;
    int keepBackup;
};
int FileWriteGroup(const FileWriteItem* items, int count);
int FileDelete(const char* name);
// Deletes files (side by side, as the disk may be waited for on each) and then flushes each
// folder once. The number of names that could not be found or deleted.
int FileDeleteGroup(const char* const* names, int count);
// 0 on success (an existing destination is replaced).
int FileMove(const char* from, const char* to);
// The program file's full path; "" when it cannot be read.
const char* FileProgramPath(void);
// The process's working folder as a full path; 0 when it cannot be read (it was removed) or
// does not fit in outSize bytes.
int FileCurrentFolder(char* out, size_t outSize);
// The user's folder for what the program keeps between runs (its recovery files):
// $XDG_STATE_HOME/tolbex, else $HOME/.local/state/tolbex (an unset, empty or relative value
// does not count), made with its parents when missing. 0, or 1 when neither can be had or
// made, the reason logged.
int FileStateFolder(char* out, size_t outSize);
// The user's settings folder: $XDG_CONFIG_HOME/tolbex, else $HOME/.config/tolbex (same rules
// as above), written to out without being made: reading a missing file there is no error.
// 0, or 1 when neither variable names a folder.
int FileConfigFolder(char* out, size_t outSize);
