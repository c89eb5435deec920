// The per-user state folder. It is made on demand, parents first, private to the user: the
// files in it are copies of the user's unsaved work.
#include <errno.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kernel/log.h"
#include "platform/platform.h"

enum { STATE_FOLDER_MODE = 0700 };

static const char kProgramFolder[] = "tolbex";

// Makes every missing folder of an absolute path. 0, or 1 with errno set.
static int MakeFolders(char* path)
{
    for (char* p = path + 1;; p++) {
        if (*p != '/' && *p != 0) continue;
        char kept = *p;
        *p = 0;
        struct stat st;
        int failed = 0;
        if (stat(path, &st) != 0) failed = mkdir(path, STATE_FOLDER_MODE) != 0 && errno != EEXIST;
        else if (!S_ISDIR(st.st_mode)) {
            errno = ENOTDIR;
            failed = 1;
        }
        *p = kept;
        if (failed) return 1;
        if (!kept) return 0;
    }
}

int FileStateFolder(char* out, size_t outSize)
{
    if (!out || !outSize) return 1;
    out[0] = 0;
    const char* base = getenv("XDG_STATE_HOME");
    const char* under = "";
    if (!base || base[0] != '/') {
        base = getenv("HOME");
        under = "/.local/state";
        if (!base || base[0] != '/') {
            LogPrintf(LOG_WARN, "FILE: neither XDG_STATE_HOME nor HOME names a folder: no state folder");
            return 1;
        }
    }
    size_t baseLen = strlen(base);
    while (baseLen > 1 && base[baseLen - 1] == '/') baseLen--;
    int n = snprintf(out, outSize, "%.*s%s/%s", (int)baseLen, base, under, kProgramFolder);
    if (n < 0 || (size_t)n >= outSize) {
        out[0] = 0;
        LogPrintf(LOG_WARN, "FILE: the state folder's path is too long");
        return 1;
    }
    if (MakeFolders(out)) {
        LogPrintf(LOG_WARN, "FILE: the state folder %s cannot be made (%s)", out, strerror(errno));
        out[0] = 0;
        return 1;
    }
    return 0;
}
