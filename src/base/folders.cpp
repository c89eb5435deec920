// Where the program keeps its settings and working files (see the header).
#include "base/folders.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/files.h"
#include "base/log.h"
#include "base/str.h"

static struct {
    int projectFolder;       // the working folder has a tolbex.ini (AppChooseFolders)
    std::string settingsFile;
} folders = {1, "tolbex.ini"};   // a project folder until chosen otherwise

void AppChooseFolders(void)
{
    folders.projectFolder = FileExists("tolbex.ini") != 0;
    folders.settingsFile = "tolbex.ini";
    char folder[4096];
    if (!folders.projectFolder && FileConfigFolder(folder, sizeof folder) == 0)
        folders.settingsFile = std::string(folder) + "/tolbex.ini";
    LogPrintf(LOG_INFO, "SETTINGS: %s%s", folders.settingsFile.c_str(),
              folders.projectFolder ? " (project folder)" : "; working files beside the document or in the state folder");
}

int AppInProjectFolder(void) { return folders.projectFolder; }
const char* AppSettingsFile(void) { return folders.settingsFile.c_str(); }

int AppWorkFilePath(const char* documentPath, const char* leaf, char* out, size_t outSize)
{
    if (!out || !outSize || !leaf) return 1;
    StrLCopy(out, leaf, outSize);
    if (folders.projectFolder) return 0;
    // Beside the document when it names its folder, unless that is the home folder itself.
    const char* slash = documentPath ? strrchr(documentPath, '/') : nullptr;
    const char* home = getenv("HOME");
    char current[4096];
    if (documentPath && *documentPath && (slash || FileCurrentFolder(current, sizeof current) != 0)) {
        // A name without a folder is in the working folder.
        std::string folder = slash ? std::string(documentPath, (size_t)(slash - documentPath)) : current;
        if (folder.empty()) folder = "/";
        std::string h = home ? home : "";
        while (h.size() > 1 && h.back() == '/') h.pop_back();
        if (folder != h) {
            int n = snprintf(out, outSize, "%s/%s", folder == "/" ? "" : folder.c_str(), leaf);
            if (n > 0 && (size_t)n < outSize) return 0;
        }
    }
    char state[4096];
    if (FileStateFolder(state, sizeof state) == 0) {
        int n = snprintf(out, outSize, "%s/%s", state, leaf);
        if (n > 0 && (size_t)n < outSize) return 0;
    }
    StrLCopy(out, leaf, outSize);
    return 1;
}
