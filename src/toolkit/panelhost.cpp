#include "toolkit/panelhost.h"

static const PanelHostFns* host;

void PanelHostSet(const PanelHostFns* fns) { host = fns; }

WinId PanelHostOpenFile(const char* title, const char* folder, const char* pattern, WinId requester)
{
    return host && host->openFile ? host->openFile(title, folder, pattern, requester) : 0;
}

WinId PanelHostSaveFile(const char* folder, const char* pattern, const char* defaultName, WinId requester)
{
    return host && host->saveFile ? host->saveFile(folder, pattern, defaultName, requester) : 0;
}

WinId PanelHostMessage(const char* title, const char* text)
{
    return host && host->message ? host->message(title, text) : 0;
}

WinId PanelHostError(const char* title, int code) { return host && host->error ? host->error(title, code) : 0; }
int PanelHostToolMode(void) { return host && host->toolMode ? host->toolMode() : 0; }

void PanelHostSetTool(int toolMode, int pickMode)
{
    if (host && host->setTool) host->setTool(toolMode, pickMode);
}

void PanelHostPaletteChanged(void)
{
    if (host && host->paletteChanged) host->paletteChanged();
}

void PanelHostColourRange(int start, int end)
{
    if (host && host->colourRange) host->colourRange(start, end);
}
