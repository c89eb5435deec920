// File operations. Names from files and settings use '\' as often as '/', and the files
// that a name refers to may have been copied with any letter case, so a name is resolved
// part by part: the exact spelling first, then a case-insensitive match in its folder.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

int FileWrite(const char* name, const void* data, size_t size)
{
    if (!name || !*name) return 1;
    // An existing file of another letter case is the file the user means to replace.
    std::string path = ResolveForWrite(name);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return 1;
    bool ok = size == 0 || fwrite(data, 1, size, f) == size;
    if (fclose(f) != 0) ok = false;
    if (!ok) {
        remove(path.c_str());
        LogPrintf(LOG_WARN, "FILE: writing %s failed; the partial file was removed", path.c_str());
        return 1;
    }
    return 0;
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
    std::string backup = BackupName(name);
    // Saving a backup over itself would delete the only copy.
    if (!FileExists(name) || SameIgnoringCase(backup.c_str(), name)) return FileWrite(name, data, size);
    if (FileExists(backup.c_str())) FileDelete(backup.c_str());
    // Without a backup the old file is not written over.
    if (FileMove(name, backup.c_str())) return 1;
    if (FileWrite(name, data, size)) {
        FileMove(backup.c_str(), name);
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
