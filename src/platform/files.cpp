// File operations. Names from files and settings use '\' as often as '/', and the files
// that a name refers to may have been copied with any letter case, so a name is resolved
// part by part: the exact spelling first, then a case-insensitive match in its folder.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "kernel/log.h"
#include "platform/platform.h"

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

// Resolves a name to its spelling on disk; false when no file or folder matches.
static bool Resolve(const char* name, std::string& out)
{
    if (!name || !*name) return false;
    std::string path = NormaliseSeparators(name);
    if (Exists(path)) {
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
        std::string candidate = resolved.empty() ? part : (resolved == "/" ? "/" + part : resolved + "/" + part);
        if (!Exists(candidate)) {
            DIR* d = opendir(dir.c_str());
            if (!d) return false;
            bool found = false;
            while (struct dirent* e = readdir(d)) {
                if (SameIgnoringCase(e->d_name, part.c_str())) {
                    candidate = resolved.empty() ? e->d_name
                                                 : (resolved == "/" ? std::string("/") + e->d_name
                                                                    : resolved + "/" + e->d_name);
                    found = true;
                    break;
                }
            }
            closedir(d);
            if (!found) return false;
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

int FileReadAt(const char* name, uint64_t offset, void* dest, size_t length)
{
    std::string found;
    if (!Resolve(name, found)) return 1;
    int fd = open(found.c_str(), O_RDONLY);
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
// root process cannot otherwise meet. Looked up at each write; unset, it changes nothing.
enum FileFault { FAULT_NONE = 0, FAULT_READ_ONLY, FAULT_FULL };

static int CurrentFault(void)
{
    const char* v = getenv("TOLBEX_FILE_FAULT");
    if (!v) return FAULT_NONE;
    int fault = !strcmp(v, "readonly") ? FAULT_READ_ONLY : !strcmp(v, "full") ? FAULT_FULL : FAULT_NONE;
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

// Writes the data to a new temporary file beside `path`, flushed to the disk, with the mode
// the old file had (or the usual one for a new file). The temporary name is left in `tmp`.
// On failure nothing is left behind and errno tells why.
static bool WriteTemporary(const std::string& path, const void* data, size_t size, std::string& tmp)
{
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (CurrentFault() == FAULT_READ_ONLY) {
        tmp.clear();
        errno = EROFS;
        return false;
    }
    tmp = folder + "." + base + ".XXXXXX";
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
    if (ok && CurrentFault() == FAULT_FULL) {
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
    if (ok && fsync(fd) != 0) ok = false;
    int err = errno;
    if (close(fd) != 0) ok = false;
    else errno = err;
    if (!ok) DropTemporary(tmp);
    return ok;
}

int FileWrite(const char* name, const void* data, size_t size)
{
    if (!name || !*name) return 1;
    // An existing file of another letter case is the file the user means to replace.
    std::string path = WriteTarget(name);
    if (IsNotAFile(path)) {
        errno = EISDIR;
        return 1;
    }
    std::string tmp;
    // The old file is only ever replaced by a complete new one.
    if (!WriteTemporary(path, data, size, tmp)) {
        LogPrintf(LOG_WARN, "FILE: writing %s failed (%s); the file was left as it was", path.c_str(), strerror(errno));
        return 1;
    }
    if (rename(tmp.c_str(), path.c_str()) != 0) {
        LogPrintf(LOG_WARN, "FILE: %s could not be replaced (%s); the file was left as it was", path.c_str(),
                  strerror(errno));
        DropTemporary(tmp);
        return 1;
    }
    return 0;
}

int FileWritePair(const char* firstName, const void* first, size_t firstSize, const char* secondName,
                  const void* second, size_t secondSize)
{
    if (!firstName || !*firstName || !secondName || !*secondName) return 1;
    std::string path[2] = {WriteTarget(firstName), WriteTarget(secondName)};
    for (int i = 0; i < 2; i++)
        if (IsNotAFile(path[i])) {
            errno = EISDIR;
            return i + 1;
        }
    // Both new files are whole on the disk before either old one is touched.
    std::string tmp[2];
    for (int i = 0; i < 2; i++)
        if (!WriteTemporary(path[i], i ? second : first, i ? secondSize : firstSize, tmp[i])) {
            LogPrintf(LOG_WARN, "FILE: writing %s failed (%s); %s and %s were left as they were", path[i].c_str(),
                      strerror(errno), path[0].c_str(), path[1].c_str());
            DropTemporary(tmp[0]);
            return i + 1;
        }
    // The old first file stays reachable under a hidden name until the second is in place,
    // so that a failed second rename can put it back without writing anything.
    bool hadFirst = Exists(path[0]);
    std::string keep;
    if (hadFirst) {
        size_t slash = path[0].rfind('/');
        keep = (slash == std::string::npos ? "" : path[0].substr(0, slash + 1)) + ".keep." +
               (slash == std::string::npos ? path[0] : path[0].substr(slash + 1));
        unlink(keep.c_str());
        // A folder without hard links: the renames below still fail only very rarely.
        if (link(path[0].c_str(), keep.c_str()) != 0) {
            LogPrintf(LOG_WARN, "FILE: %s cannot be kept aside (%s)", path[0].c_str(), strerror(errno));
            keep.clear();
        }
    }
    int failed = rename(tmp[0].c_str(), path[0].c_str()) == 0 ? 0 : 1;
    if (!failed) tmp[0].clear();
    if (!failed && rename(tmp[1].c_str(), path[1].c_str()) != 0) {
        int err = errno;
        bool restored = !keep.empty() ? rename(keep.c_str(), path[0].c_str()) == 0
                                      : !hadFirst && unlink(path[0].c_str()) == 0;
        if (restored) {
            keep.clear();
        } else {
            // The hidden copy is then the only one left: it stays.
            LogPrintf(LOG_ERROR, "FILE: %s could not be put back as it was; the old one is %s", path[0].c_str(),
                      keep.empty() ? "replaced by the new one" : keep.c_str());
            keep.clear();
        }
        errno = err;
        failed = 2;
    }
    if (failed) {
        LogPrintf(LOG_WARN, "FILE: %s and %s could not be replaced (%s)", path[0].c_str(), path[1].c_str(),
                  strerror(errno));
        DropTemporary(tmp[0]);
        DropTemporary(tmp[1]);
    }
    if (!keep.empty()) {
        int err = errno;
        unlink(keep.c_str());
        errno = err;
    }
    return failed;
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

int FileSaveWithBackup(const char* name, const void* data, size_t size)
{
    if (!name || !*name) return 1;
    std::string path = WriteTarget(name);
    if (IsNotAFile(path)) {
        errno = EISDIR;
        return 1;
    }
    std::string backup = BackupName(path.c_str());
    // Saving a backup over itself would delete the only copy.
    if (!Exists(path) || SameIgnoringCase(backup.c_str(), path.c_str())) return FileWrite(name, data, size);
    // The new file is complete on the disk before the old one is touched.
    std::string tmp;
    if (!WriteTemporary(path, data, size, tmp)) {
        LogPrintf(LOG_WARN, "FILE: writing %s failed (%s); the file was left as it was", path.c_str(), strerror(errno));
        return 1;
    }
    backup = ResolveForWrite(backup.c_str());
    // A folder in the backup's place is never removed, and the old file is not written over
    // without a backup.
    if (IsNotAFile(backup)) {
        DropTemporary(tmp);
        errno = EISDIR;
        return 1;
    }
    // The rename replaces an older backup in one step: it is never lost before the new one exists.
    if (rename(path.c_str(), backup.c_str()) != 0) {
        LogPrintf(LOG_WARN, "FILE: %s cannot be kept as %s (%s); the file was left as it was", path.c_str(),
                  backup.c_str(), strerror(errno));
        DropTemporary(tmp);
        return 1;
    }
    if (rename(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        DropTemporary(tmp);
        rename(backup.c_str(), path.c_str());
        errno = err;
        return 1;
    }
    return 0;
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
