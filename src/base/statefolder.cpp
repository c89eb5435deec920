// The per-user state folder. It is made on demand, parents first, private to the user: the
// files in it are copies of the user's unsaved work.
#include <errno.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/files.h"
#include "base/log.h"

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

// $VARIABLE/tolbex, else $HOME/<under>/tolbex, into out: 0, or 1 with the reason logged.
static int UserFolder(const char* variable, const char* under, const char* what, char* out, size_t outSize)
{
    if (!out || !outSize) return 1;
    out[0] = 0;
    const char* base = getenv(variable);
    if (!base || base[0] != '/') {
        base = getenv("HOME");
        if (!base || base[0] != '/') {
            LogPrintf(LOG_WARN, "FILE: neither %s nor HOME names a folder: no %s folder", variable, what);
            return 1;
        }
    } else {
        under = "";
    }
    size_t baseLen = strlen(base);
    while (baseLen > 1 && base[baseLen - 1] == '/') baseLen--;
    int n = snprintf(out, outSize, "%.*s%s/%s", (int)baseLen, base, under, kProgramFolder);
    if (n < 0 || (size_t)n >= outSize) {
        out[0] = 0;
        LogPrintf(LOG_WARN, "FILE: the %s folder's path is too long", what);
        return 1;
    }
    return 0;
}

int FileConfigFolder(char* out, size_t outSize)
{
    return UserFolder("XDG_CONFIG_HOME", "/.config", "settings", out, outSize);
}

int FileStateFolder(char* out, size_t outSize)
{
    if (UserFolder("XDG_STATE_HOME", "/.local/state", "state", out, outSize)) return 1;
    if (MakeFolders(out)) {
        LogPrintf(LOG_WARN, "FILE: the state folder %s cannot be made (%s)", out, strerror(errno));
        out[0] = 0;
        return 1;
    }
    return 0;
}
