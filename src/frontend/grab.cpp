#include "frontend/grab.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "base/res.h"
#include "base/str.h"
#include "frontend/editor.h"
#include "frontend/msgbox.h"
#include "kernel/app.h"
#include "palette/bmp.h"
#include "platform/platform.h"

int GrabNextName(char* name)
{
    for (int i = StrLen(name) - 1; i >= 0; i--) {
        if (name[i] < '0' || name[i] > '9') continue;
        if (name[i] != '9') {
            name[i]++;
            return 0;
        }
        name[i] = '0';
    }
    return 1;
}

int GrabScreen(char* nameOut, int nameSize)
{
    int w, h;
    VideoExtent(&w, &h);
    if (w <= 0 || h <= 0) return 1;
    // Into the working folder of a project, else beside the edited file or the state folder.
    char leaf[16], name[4096];
    StrCopy(leaf, "grab0000.bmp");
    for (;;) {
        AppWorkFilePath(EditorDocumentPath().c_str(), leaf, name, sizeof name);
        if (!FileExists(name)) break;
        if (GrabNextName(leaf)) {
            // Every name is taken: grabbing now would overwrite grab0000.bmp.
            LogPrintf(LOG_WARN, "GRAB: grab0000.bmp to grab9999.bmp all exist; the screen was not grabbed");
            return 1;
        }
    }
    uint8_t* rgb = (uint8_t*)ResAllocMem((size_t)w * h * 3);
    if (!rgb) {
        LogPrintf(LOG_WARN, "GRAB: no memory for a %dx%d picture", w, h);
        return 1;
    }
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint8_t* p = rgb + ((size_t)y * w + x) * 3;
            VideoReadPixel(x, y, &p[0], &p[1], &p[2]);
        }
    int result = BmpWrite(name, rgb, w, h);
    ResFreeMem(rgb);
    if (result != 0) {
        char text[160];
        // Outside a project the user needs the whole path to find the folder.
        snprintf(text, sizeof text, "Unable to write screen grab %.100s: %s", AppInProjectFolder() ? leaf : name,
                 strerror(errno));
        MsgBoxShow("File Error", text);
        return 1;
    }
    LogPrintf(LOG_INFO, "GRAB: wrote %s", name);
    if (nameOut && nameSize > 0) StrLCopy(nameOut, name, (size_t)nameSize);
    return 0;
}
