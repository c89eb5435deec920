// File operations. Names from files and settings use '\' as often as '/', and the files
// that a name refers to may have been copied with any letter case, so a name is resolved
// part by part: the exact spelling first, then a case-insensitive match in its folder. Only a
// name that is not there at all is looked up that way: an entry that cannot be opened (a
// dangling or looping link, no permission) is the user's file and its failure is theirs to see.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/files.h"
#include "base/log.h"

static std::string NormaliseSeparators(const char* name)
{
    std::string s(name);
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

static bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// True unless nothing at all stands under the name: a link that leads nowhere, or a name in a
// folder that may not be searched, is there as far as a lookup is concerned.
static bool Present(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

static bool SameIgnoringCase(const char* a, const char* b)
{
    for (; *a && *b; a++, b++) {
        unsigned char ca = (unsigned char)*a, cb = (unsigned char)*b;
        if (ca >= 'A' && ca <= 'Z') ca += 32;
        if (cb >= 'A' && cb <= 'Z') cb += 32;
        if (ca != cb) return false;
    }
    return *a == *b;
}

// A part of a path under the path resolved so far ("" for the working folder).
static std::string JoinPath(const std::string& resolved, const std::string& part)
{
    return resolved.empty() ? part : (resolved == "/" ? "/" + part : resolved + "/" + part);
}

// The name in capitals or in small letters (ASCII only, as the case-insensitive match).
static std::string CaseOf(std::string name, bool upper)
{
    for (char& c : name) {
        if (upper && c >= 'a' && c <= 'z') c = (char)(c - 32);
        if (!upper && c >= 'A' && c <= 'Z') c = (char)(c + 32);
    }
    return name;
}

// Resolves a name to its spelling on disk; false when no file or folder matches.
static bool Resolve(const char* name, std::string& out)
{
    if (!name || !*name) return false;
    std::string path = NormaliseSeparators(name);
    if (Present(path)) {
        out = path;
        return true;
    }
    std::string resolved;
    size_t pos = 0;
    if (path[0] == '/') {
        resolved = "/";
        pos = 1;
    }
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        std::string part = path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        pos = slash == std::string::npos ? path.size() + 1 : slash + 1;
        if (part.empty()) continue;
        std::string dir = resolved.empty() ? "." : resolved;
        std::string candidate = JoinPath(resolved, part);
        bool there = Present(candidate);
        // Names on disk are mostly all capitals or all small letters: those two spellings are
        // tried before the folder is scanned, which costs a read of every entry it holds. Only
        // one that opens is taken: a broken link of one case is no reason to miss a file of another.
        for (bool upper : {true, false}) {
            if (there) break;
            std::string spelled = JoinPath(resolved, CaseOf(part, upper));
            if (spelled != candidate && Exists(spelled)) {
                candidate = spelled;
                there = true;
            }
        }
        if (!there) {
            DIR* d = opendir(dir.c_str());
            if (!d) return false;
            while (struct dirent* e = readdir(d)) {
                if (SameIgnoringCase(e->d_name, part.c_str())) {
                    candidate = JoinPath(resolved, e->d_name);
                    there = true;
                    break;
                }
            }
            closedir(d);
            if (!there) return false;
        }
        resolved = candidate;
    }
    out = resolved;
    return !out.empty();
}

// A name to create: its folders as they are on disk, its last part as given.
static std::string ResolveForWrite(const char* name)
{
    std::string path;
    if (Resolve(name, path)) return path;
    path = NormaliseSeparators(name);
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return path;
    std::string folder;
    if (!Resolve(path.substr(0, slash).c_str(), folder)) return path;
    return folder + path.substr(slash);
}

int FileFind(const char* name, char* out, size_t outSize)
{
    std::string found;
    if (!Resolve(name, found)) return 0;
    if (out && outSize) {
        if (found.size() >= outSize) return 0;
        memcpy(out, found.c_str(), found.size() + 1);
    }
    return 1;
}

int FileExists(const char* name)
{
    std::string found;
    return Resolve(name, found) ? 1 : 0;
}

int FileListFolder(const char* folder, FileEntryFn fn, void* user)
{
    std::string path;
    if (!Resolve(folder && *folder ? folder : ".", path)) return 1;
    DIR* d = opendir(path.c_str());
    if (!d) return 1;
    while (struct dirent* e = readdir(d)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        struct stat st;
        std::string full = path + "/" + e->d_name;
        int isFolder = stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        fn(e->d_name, isFolder, user);
    }
    closedir(d);
    return 0;
}

int64_t FileSize(const char* name)
{
    std::string found;
    if (!Resolve(name, found)) return -1;
    struct stat st;
    if (stat(found.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return (int64_t)st.st_size;
}

// Opens a file for reading without ever waiting (a FIFO without a writer would block an open
// for good) and tells what it is. The descriptor, or -1 with errno set (ENOENT when nothing
// matches the name).
static int OpenAndStat(const char* name, struct stat* st)
{
    std::string found;
    if (!name || !*name || !Resolve(name, found)) {
        errno = ENOENT;
        return -1;
    }
    int fd = open(found.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 && fstat(fd, st) != 0) {
        int err = errno;
        close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

// A regular file opened for reading, which no read waits on; anything else is closed again at
// once (a folder gives EISDIR, a FIFO or a device EINVAL).
static int OpenRegular(const char* name, struct stat* st)
{
    int fd = OpenAndStat(name, st);
    if (fd >= 0 && !S_ISREG(st->st_mode)) {
        close(fd);
        errno = S_ISDIR(st->st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    return fd;
}

static char refusal[256];

const char* FileRefusal(void) { return refusal; }

const char* FileRefusalAfter(const char* text)
{
    static char out[sizeof refusal + 128];
    if (!refusal[0]) return text;
    // The reason reads as a sentence of its own.
    char first = refusal[0] >= 'a' && refusal[0] <= 'z' ? (char)(refusal[0] - 32) : refusal[0];
    size_t n = strlen(text);
    const char* stop = n && (text[n - 1] == '.' || text[n - 1] == '!') ? "" : ".";
    snprintf(out, sizeof out, "%s%s %c%s.", text, stop, first, refusal + 1);
    return out;
}

static void Refuse(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
static void Refuse(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(refusal, sizeof refusal, fmt, ap);
    va_end(ap);
}

// The kind of a file that is neither regular nor a folder, for its refusal.
static const char* KindOf(mode_t mode)
{
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "of an unknown kind";
}

int FileCheckRead(const char* name, uint64_t maxSize, const char* kind, int64_t* size)
{
    refusal[0] = 0;
    if (size) *size = -1;
    struct stat st;
    int fd = OpenAndStat(name, &st);
    if (fd < 0) {
        Refuse("%s", strerror(errno));
        return FILE_CANNOT_OPEN;
    }
    close(fd);
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        Refuse("%s", strerror(errno));
        return FILE_NOT_REGULAR;
    }
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        Refuse("not a regular file (%s)", KindOf(st.st_mode));
        return FILE_NOT_REGULAR;
    }
    if ((uint64_t)st.st_size > maxSize) {
        errno = EFBIG;
        Refuse("%lld bytes, larger than %s can be (at most %llu bytes)", (long long)st.st_size,
               kind && *kind ? kind : "this file", (unsigned long long)maxSize);
        return FILE_TOO_LARGE;
    }
    if (size) *size = (int64_t)st.st_size;
    return FILE_READABLE;
}

int FileReadWhole(const char* name, uint64_t maxSize, const char* kind, std::vector<uint8_t>& data)
{
    data.clear();
    int64_t size = 0;
    int status = FileCheckRead(name, maxSize, kind, &size);
    if (status != FILE_READABLE) return status;
    data.resize((size_t)size);
    if (size && FileReadAt(name, 0, data.data(), data.size()) != 0) {
        data.clear();
        return FILE_CANNOT_READ;
    }
    return FILE_READABLE;
}

int FileReadAt(const char* name, uint64_t offset, void* dest, size_t length)
{
    struct stat st;
    int fd = OpenRegular(name, &st);
    if (fd < 0) return 1;
    size_t done = 0;
    while (done < length) {
        ssize_t n = pread(fd, (uint8_t*)dest + done, length - done, (off_t)(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += (size_t)n;
    }
    close(fd);
    return done == length ? 0 : 1;
}

// The file a write goes to: an existing symbolic link is followed, so that saving through
// a link updates the file it points at instead of replacing the link.
static std::string WriteTarget(const char* name)
{
    std::string path = ResolveForWrite(name);
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char real[PATH_MAX];
        if (realpath(path.c_str(), real)) return real;
    }
    return path;
}

// Folders listed once for a batch of writes: a name that is not there costs a lookup a scan of
// its folder, and a batch names many new files in one folder.
struct FolderNames {
    std::string folder;                 // as spelled in the names
    bool listed = false;
    std::vector<std::string> entries;   // its names as on disk
};

static std::string BatchWriteTarget(const char* name, std::vector<FolderNames>& cache)
{
    std::string path = NormaliseSeparators(name);
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (Present(path) || base.empty() || (!folder.empty() && !Present(folder))) return WriteTarget(name);
    FolderNames* f = nullptr;
    for (FolderNames& c : cache)
        if (c.folder == folder) f = &c;
    if (!f) {
        f = &cache.emplace_back();
        f->folder = folder;
        if (DIR* d = opendir(folder.empty() ? "." : folder.c_str())) {
            while (struct dirent* e = readdir(d)) f->entries.push_back(e->d_name);
            closedir(d);
            f->listed = true;
        }
    }
    if (!f->listed) return WriteTarget(name);
    for (const std::string& e : f->entries)
        if (SameIgnoringCase(e.c_str(), base.c_str())) return WriteTarget((folder + e).c_str());
    return path;
}

// A folder (or a device) where a file should be written is never replaced.
static bool IsNotAFile(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return false;
    LogPrintf(LOG_WARN, "FILE: %s is not a file; nothing was written", path.c_str());
    return true;
}

// ---- test-only fault switch --------------------------------------------------------------
// TOLBEX_FILE_FAULT=readonly makes every new file fail to be created (EROFS), =full makes
// every write into one fail (ENOSPC), so that tests can give each writer the disks that a
// root process cannot otherwise meet. With ":N" (full:3) only the Nth file of each group
// fails, the one in the middle of a batch. Looked up at each write; unset, it changes nothing.
enum FileFault { FAULT_NONE = 0, FAULT_READ_ONLY, FAULT_FULL };

// The fault that the file at this index of its group meets.
static int CurrentFault(int index)
{
    const char* v = getenv("TOLBEX_FILE_FAULT");
    if (!v) return FAULT_NONE;
    const char* colon = strchr(v, ':');
    size_t kind = colon ? (size_t)(colon - v) : strlen(v);
    int fault = kind == 8 && !strncmp(v, "readonly", kind) ? FAULT_READ_ONLY
                : kind == 4 && !strncmp(v, "full", kind) ? FAULT_FULL
                                                          : FAULT_NONE;
    if (colon && atoi(colon + 1) != index + 1) fault = FAULT_NONE;
    if (fault != FAULT_NONE) LogPrintf(LOG_WARN, "FILE: TOLBEX_FILE_FAULT=%s makes this write fail", v);
    return fault;
}

// Removes a temporary file without losing the errno that tells why it is being removed.
static void DropTemporary(std::string& tmp)
{
    int err = errno;
    if (!tmp.empty()) unlink(tmp.c_str());
    tmp.clear();
    errno = err;
}

// The folder part of a path, with its slash ("" for a name in the working folder).
static std::string FolderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// Names of the files a write keeps beside its target for a moment: short and of a fixed length,
// so that a target whose own name is as long as a name may be can still be written.
static const char kTemporaryPattern[] = ".tolbex-XXXXXX";

// Writes the data to a new temporary file beside `path`, with the mode the old file had (or the
// usual one for a new file). One file by itself is flushed to the disk here; a file of a batch
// only has its writing started, and the batch is flushed at once afterwards. The temporary
// name is left in `tmp`. On failure nothing is left behind and errno tells why.
static bool WriteTemporary(const std::string& path, const void* data, size_t size, std::string& tmp, bool flush,
                           int index)
{
    const int fault = CurrentFault(index);
    if (fault == FAULT_READ_ONLY) {
        tmp.clear();
        errno = EROFS;
        return false;
    }
    tmp = FolderOf(path) + kTemporaryPattern;
    int fd = mkstemp(tmp.data());
    if (fd < 0) {
        tmp.clear();
        return false;
    }
    struct stat st;
    mode_t mode;
    if (stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = fchmod(fd, mode) == 0;
    const uint8_t* p = (const uint8_t*)data;
    size_t done = 0;
    if (ok && fault == FAULT_FULL) {
        errno = ENOSPC;
        ok = false;
    }
    while (ok && done < size) {
        ssize_t n = write(fd, p + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;
        if (n <= 0) ok = false;
        else done += (size_t)n;
    }
    if (ok && flush && fsync(fd) != 0) ok = false;
#ifdef SYNC_FILE_RANGE_WRITE
    // The disk starts on this file while the next ones are written: the batch's flush then
    // mostly finds its writing done. Only a hint; the flush reports any failure.
    if (ok && !flush) sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    int err = errno;
    if (close(fd) != 0) ok = false;
    else errno = err;
    if (!ok) DropTemporary(tmp);
    return ok;
}

// Threads that wait on the disk side by side: a batch's flushes or removals reach the disk
// together (its queue and the file system's journal merge them) instead of one wait after
// another. They only wait, so many more of them than there are cores is right: measured on
// ext4 with a journal (on a loop device), a thousand files' flushes took 0.53 s on 4 threads,
// 0.19 s on 16 and 0.05 s on 64, about what one flush of the whole file system takes.
static const int kDiskThreads = 64;

// Calls fn(i) for every i below count on up to kDiskThreads threads, the caller's among them;
// fewer when threads cannot be had (the work is done all the same).
template <class Fn>
static void OnDiskThreads(int count, const Fn& fn)
{
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int i = next++; i < count; i = next++) fn(i);
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < std::min(count, kDiskThreads); t++) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& t : helpers) t.join();
}

// Flushes the temporary files of a batch to the disk, all at once; each file's own flush
// reports a failure of its own writing (one flush of the whole file system would wait for
// every other program's writing too, and could miss an error met before it). -1 when every
// file is on the disk, else the index of a file that is not, errno telling why.
static int FlushTemporaries(const std::vector<std::string>& tmps)
{
    std::atomic<int> failed{-1};
    std::atomic<int> reason{0};
    OnDiskThreads((int)tmps.size(), [&](int i) {
        int fd = open(tmps[(size_t)i].c_str(), O_RDONLY | O_CLOEXEC);
        bool ok = fd >= 0 && fsync(fd) == 0;
        int err = errno;
        if (fd >= 0) close(fd);
        int none = -1;
        if (!ok && failed.compare_exchange_strong(none, i)) reason = err;
    });
    errno = reason;
    return failed;
}

// Makes the folder's entries (renames, removals) durable. A file system that cannot flush a
// folder (some refuse fsync on one) has nothing better to offer: not an error.
static void FlushFolder(const std::string& folder)
{
    int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    if (fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        LogPrintf(LOG_WARN, "FILE: the folder %s could not be flushed (%s)", folder.empty() ? "." : folder.c_str(),
                  strerror(errno));
    close(fd);
}

// Each folder of a list of paths once.
static std::vector<std::string> FoldersOf(const std::vector<std::string>& paths)
{
    std::vector<std::string> folders;
    for (const std::string& p : paths) {
        std::string f = FolderOf(p);
        bool seen = false;
        for (const std::string& g : folders) seen = seen || g == f;
        if (!seen) folders.push_back(f);
    }
    return folders;
}

// A second name for an existing file, so that it can be put back after its own name was given
// to a new file. "" when the folder cannot hold one (no hard links there): the write then goes
// ahead without that safety, as renames of a sound disk do not fail.
static std::string KeepAside(const std::string& path)
{
    for (int attempt = 0; attempt < 8; attempt++) {
        std::string keep = FolderOf(path) + kTemporaryPattern;
        int fd = mkstemp(keep.data());
        if (fd < 0) break;
        close(fd);
        unlink(keep.c_str());
        if (link(path.c_str(), keep.c_str()) == 0) return keep;
        if (errno != EEXIST) break;
    }
    LogPrintf(LOG_WARN, "FILE: %s cannot be kept aside (%s)", path.c_str(), strerror(errno));
    return "";
}

// The backup name of a file: the first character of its extension becomes '~'; a name
// without an extension gets ".~".
static std::string BackupName(const char* name)
{
    std::string b(name);
    size_t base = b.find_last_of("/\\");
    size_t dot = b.rfind('.');
    if (dot == std::string::npos || (base != std::string::npos && dot < base)) return b + ".~";
    if (dot + 1 == b.size()) return b + "~";
    b[dot + 1] = '~';
    return b;
}

// One file of a group as it goes to the disk, with what it takes to undo its part.
struct GroupFile {
    std::string path, tmp;
    std::string backup;       // non-empty: the old file moves there
    bool had = false;         // an old file stood under the name
    bool hadBackup = false;
    std::string keep;         // the old file's second name (files without a backup)
    std::string keepBackup;   // the old backup's second name
    int done = 0;             // steps taken: 1 the old file moved to its backup, 2 the new one in place
};

// Puts one file back as it was before its steps. False when a rename fails: its second names
// are then the only copies left and stay.
static bool Undo(GroupFile& f)
{
    // Nothing of it was touched yet: its second names only go.
    if (f.done == 0) return true;
    bool ok = true;
    if (!f.backup.empty()) {
        if (f.done >= 1) ok = rename(f.backup.c_str(), f.path.c_str()) == 0;
        if (ok && !f.keepBackup.empty()) ok = rename(f.keepBackup.c_str(), f.backup.c_str()) == 0;
        if (ok) f.keepBackup.clear();
    } else if (f.done >= 2) {
        if (!f.keep.empty())
            ok = rename(f.keep.c_str(), f.path.c_str()) == 0;
        else if (!f.had)
            ok = unlink(f.path.c_str()) == 0;
        else
            ok = false;
        if (ok) f.keep.clear();
    }
    if (!ok)
        LogPrintf(LOG_ERROR, "FILE: %s could not be put back as it was; the old one is %s", f.path.c_str(),
                  !f.keep.empty() ? f.keep.c_str() : !f.keepBackup.empty() ? f.keepBackup.c_str()
                                                                            : "replaced by the new one");
    return ok;
}

int FileWriteGroup(const FileWriteItem* items, int count)
{
    std::vector<GroupFile> files((size_t)(count > 0 ? count : 0));
    std::vector<FolderNames> folderNames;
    for (int i = 0; i < count; i++) {
        if (!items[i].name || !*items[i].name) {
            errno = ENOENT;
            return i + 1;
        }
        GroupFile& f = files[(size_t)i];
        // An existing file of another letter case is the file the user means to replace.
        f.path = count > 1 ? BatchWriteTarget(items[i].name, folderNames) : WriteTarget(items[i].name);
        if (IsNotAFile(f.path)) {
            errno = EISDIR;
            return i + 1;
        }
        f.had = Exists(f.path);
        std::string backup = BackupName(f.path.c_str());
        // Saving a backup over itself would delete the only copy.
        if (items[i].keepBackup && f.had && !SameIgnoringCase(backup.c_str(), f.path.c_str())) {
            f.backup = ResolveForWrite(backup.c_str());
            // A folder in the backup's place is never removed, and the old file is not written
            // over without a backup.
            if (IsNotAFile(f.backup)) {
                errno = EISDIR;
                return i + 1;
            }
            f.hadBackup = Exists(f.backup);
        }
    }
    // Every new file is whole on the disk before any old one is touched. One file is flushed
    // by itself; a batch is written whole and then flushed with one wait for all its files.
    const bool batch = count > 1;
    for (int i = 0; i < count; i++)
        if (!WriteTemporary(files[(size_t)i].path, items[i].data, items[i].size, files[(size_t)i].tmp, !batch, i)) {
            LogPrintf(LOG_WARN, "FILE: writing %s failed (%s); the old files were left as they were",
                      files[(size_t)i].path.c_str(), strerror(errno));
            for (GroupFile& f : files) DropTemporary(f.tmp);
            return i + 1;
        }
    if (batch) {
        std::vector<std::string> tmps;
        for (const GroupFile& f : files) tmps.push_back(f.tmp);
        int bad = FlushTemporaries(tmps);
        if (bad >= 0) {
            int err = errno;
            LogPrintf(LOG_WARN, "FILE: %s could not be flushed to the disk (%s); the old files were left as they were",
                      files[(size_t)bad].path.c_str(), strerror(err));
            for (GroupFile& f : files) DropTemporary(f.tmp);
            errno = err;
            return bad + 1;
        }
    }
    std::vector<std::string> paths;
    for (const GroupFile& f : files) paths.push_back(f.path);
    const std::vector<std::string> folders = FoldersOf(paths);
    // Then the names, one by one; a rename that fails takes back those done before it.
    int failed = 0;
    for (int i = 0; i < count && !failed; i++) {
        GroupFile& f = files[(size_t)i];
        bool last = i == count - 1;
        if (!f.backup.empty()) {
            if (f.hadBackup) f.keepBackup = KeepAside(f.backup);
            // The rename replaces an older backup in one step: it is never lost before the new one exists.
            if (rename(f.path.c_str(), f.backup.c_str()) != 0) {
                failed = i + 1;
                break;
            }
            f.done = 1;
        } else if (f.had && !last) {
            // Nothing fails after the last rename, so its old file needs no second name.
            f.keep = KeepAside(f.path);
        }
        if (rename(f.tmp.c_str(), f.path.c_str()) != 0) {
            failed = i + 1;
            break;
        }
        f.tmp.clear();
        f.done = 2;
    }
    int err = errno;
    if (failed) {
        LogPrintf(LOG_WARN, "FILE: %s could not be replaced (%s); the files written with it were put back",
                  files[(size_t)failed - 1].path.c_str(), strerror(err));
        for (int i = failed - 1; i >= 0; i--)
            if (!Undo(files[(size_t)i])) {
                // Its second names hold the only copies of the old files now: they stay.
                files[(size_t)i].keep.clear();
                files[(size_t)i].keepBackup.clear();
            }
    }
    for (GroupFile& f : files) {
        DropTemporary(f.tmp);
        if (!f.keep.empty()) unlink(f.keep.c_str());
        if (!f.keepBackup.empty()) unlink(f.keepBackup.c_str());
    }
    // The new names reach the disk with one flush a folder.
    if (!failed)
        for (const std::string& folder : folders) FlushFolder(folder);
    errno = err;
    return failed;
}

int FileDeleteGroup(const char* const* names, int count)
{
    std::vector<std::string> paths;
    int failed = 0;
    for (int i = 0; i < count; i++) {
        std::string found;
        if (!names[i] || !Resolve(names[i], found)) failed++;
        else paths.push_back(found);
    }
    // Side by side: a file system that gives a file's blocks back to the disk at once (mounted
    // with "discard") waits for the disk on every removal.
    std::atomic<int> notRemoved{0};
    std::vector<char> removed(paths.size(), 0);
    OnDiskThreads((int)paths.size(), [&](int i) {
        if (remove(paths[(size_t)i].c_str()) == 0) removed[(size_t)i] = 1;
        else notRemoved++;
    });
    std::vector<std::string> gone;
    for (size_t i = 0; i < paths.size(); i++)
        if (removed[i]) gone.push_back(paths[i]);
    for (const std::string& folder : FoldersOf(gone)) FlushFolder(folder);
    return failed + notRemoved;
}

int FileWrite(const char* name, const void* data, size_t size)
{
    FileWriteItem item = {name, data, size, 0};
    return FileWriteGroup(&item, 1) ? 1 : 0;
}

int FileSaveWithBackup(const char* name, const void* data, size_t size)
{
    FileWriteItem item = {name, data, size, 1};
    return FileWriteGroup(&item, 1) ? 1 : 0;
}

int FileDelete(const char* name)
{
    std::string found;
    if (!Resolve(name, found)) return 1;
    return remove(found.c_str()) == 0 ? 0 : 1;
}

int FileMove(const char* from, const char* to)
{
    std::string src;
    if (!Resolve(from, src)) return 1;
    std::string dst = ResolveForWrite(to);
    return rename(src.c_str(), dst.c_str()) == 0 ? 0 : 1;
}

const char* FileProgramPath(void)
{
    static char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    path[n > 0 ? n : 0] = 0;
    return path;
}

int FileCurrentFolder(char* out, size_t outSize)
{
    if (!out || !outSize) return 0;
    if (!getcwd(out, outSize)) {
        out[0] = 0;
        return 0;
    }
    return 1;
}
