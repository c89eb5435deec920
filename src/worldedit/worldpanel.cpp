// The World panel. A path chosen in a selector comes back as FILESEL_CHOSEN; what to do with
// it is remembered from the button that opened the selector. As in the Object panel the
// current name changes only when the file was read or written: after a failed load it must
// still name the world in memory, or the next Save Runtime would write it under the name of
// the file that could not be read.
#include "worldedit/worldpanel.h"

#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "base/str.h"
#include "frontend/docpanel.h"
#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/filesel.h"
#include "frontend/menubar.h"
#include "frontend/msgbox.h"
#include "frontend/recovery.h"
#include "frontend/unsaved.h"
#include "materials/matm.h"
#include "platform/platform.h"
#include "toolkit/controls.h"
#include "toolkit/panelkit.h"
#include "world/net.h"
#include "world/worldm.h"

static const char* const kUntitled = "UNTITLED.WLE";
static const char* const kPattern = "*.WLE";
static const char* const kLoadTitle = "Load World";
static const char* const kLoadError = "Error During Load";
static const char* const kSaveError = "Error During Save";

enum {
    ACT_LOAD, ACT_SAVE, ACT_SAVE_RUNTIME, ACT_NEW,
    ACT_COUNT,
    PENDING_NONE = -1,
};

// Indexed by ACT_*.
static const KitButtonSpec kButtons[ACT_COUNT] = {
    {"Load", 262, 4, 50}, {"Save", 262, 19, 50}, {"Save Runtime", 212, 34, 100}, {"New", 122, 34, 50},
};

static struct {
    WinId window;
    WinId buttons[ACT_COUNT];
    int pending;   // the ACT_* whose file the selector is choosing
    char name[WORLDP_NAME_MAX];
    char folder[FILESEL_PATH_MAX];
    char path[(int)FILESEL_PATH_MAX + (int)WORLDP_NAME_MAX];
    int hasFile;   // the world was read from or written to a file the user chose
    int confirmed; // the action's unsaved-work question was answered already
} worldPanel;

const char* WorldPanelName(void) { return worldPanel.name; }
const char* WorldPanelFolder(void) { return worldPanel.folder; }

// An untitled world has no file yet: the views show the editor's name, and a runtime save
// cannot scatter UNTITLED files in the working folder.
const char* WorldPanelFileName(void)
{
    if (!worldPanel.hasFile) return "";
    if (!worldPanel.folder[0]) return worldPanel.name;
    int root = StrCmp(worldPanel.folder, "/") == 0;
    snprintf(worldPanel.path, sizeof worldPanel.path, "%s%s%s", worldPanel.folder, root ? "" : "/", worldPanel.name);
    return worldPanel.path;
}

// The text after the last separator; the selector gives '/', files named in the old way '\'.
static const char* LastComponent(const char* path)
{
    const char* leaf = path;
    for (const char* p = path; *p; p++)
        if (*p == '/' || *p == '\\') leaf = p + 1;
    return leaf;
}

void WorldPanelRestoreNames(const char* folder, const char* name, int hasFile)
{
    StrLCopy(worldPanel.folder, folder, sizeof worldPanel.folder);
    StrLCopy(worldPanel.name, name && *name ? name : kUntitled, sizeof worldPanel.name);
    worldPanel.hasFile = hasFile != 0;
}

// A file of that name that is no world: the box says so, and the save does not go ahead.
static int OtherKind(const char* path)
{
    if (!path || WorldMMaySaveOver(path)) return 0;
    char text[WORLDP_NAME_MAX + 96];
    snprintf(text, sizeof text, "%.150s is not a world file and was left as it is. Save under another name.",
             LastComponent(path));
    LogPrintf(LOG_WARN, "WORLD: %s is no world file; not written over", path);
    MsgBoxShow(kSaveError, text);
    return 1;
}

static int SaveTo(const char* path)
{
    if (OtherKind(path)) return 1;
    int result = WorldMSave(path, nullptr, nullptr, nullptr);
    if (result < 0) {
        MsgBoxError(kSaveError, result);
        return 1;
    }
    const char* leaf = LastComponent(path);
    StrLCopy(worldPanel.name, leaf, sizeof worldPanel.name);
    worldPanel.hasFile = 1;
    RecoveryMarkClean();
    UnsavedMarkClean();
    EditNote("Saved %s", leaf);
    LogPrintf(LOG_INFO, "WORLD: saved %s", path);
    UnsavedSaved();
    return 0;
}

static void FileChosen(const char* path)
{
    const char* leaf = LastComponent(path);
    if (!*leaf) return;
    // The folder part becomes where the selectors start; the name part waits for success.
    if (leaf > path) {
        size_t n = (size_t)(leaf - 1 - path);
        if (n == 0) n = 1;   // the root keeps its '/'
        if (n < sizeof worldPanel.folder) {
            memcpy(worldPanel.folder, path, n);
            worldPanel.folder[n] = 0;
        }
    }
    int action = worldPanel.pending;
    worldPanel.pending = PENDING_NONE;
    // A save never writes over a file of another kind: the user chose a name that is taken.
    // Save Runtime writes the runtime world beside the world too.
    if ((action == ACT_SAVE || action == ACT_SAVE_RUNTIME) && OtherKind(path)) return;
    if (action == ACT_SAVE_RUNTIME && OtherKind(WorldMRuntimeNameFor(path))) return;
    int result;
    switch (action) {
    case ACT_LOAD:
        result = WorldMLoad(path);
        // The loaded world may name other materials, and the terrain needs its own again;
        // after a refusal nothing changed, but the rebuild is cheap and keeps one path.
        MatMSetTexturesDirty();
        if (result < 0) {
            LogPrintf(LOG_WARN, "WORLD: %s refused: %s", path, WorldMLoadError());
            MsgBoxShow(kLoadError, FileRefusalAfter(MsgBoxErrorText(result)));
            return;
        }
        StrLCopy(worldPanel.name, leaf, sizeof worldPanel.name);
        worldPanel.hasFile = 1;
        RecoveryMarkClean();
        EditRequestFrame();
        UnsavedMarkClean();
        LogPrintf(LOG_INFO, "WORLD: loaded %s", path);
        break;
    case ACT_SAVE: SaveTo(path); break;
    case ACT_SAVE_RUNTIME: {
        // A name ending in 'D' is the runtime file's own: the save would refuse it, and the
        // world must not take a name it was never written under.
        char last = leaf[StrLen(leaf) - 1];
        if (last == 'D' || last == 'd') {
            MsgBoxError(kSaveError, WORLD_ERR_SAVE);
            return;
        }
        // The main loop saves under WorldPanelFileName, with its progress window and its box
        // for a failure: the name must be this path's by then.
        StrLCopy(worldPanel.name, leaf, sizeof worldPanel.name);
        worldPanel.hasFile = 1;
        EditorRequest(REQUEST_SAVE_RUNTIME);
        break;
    }
    default: break;
    }
}

static void Act(WinId self, int action);
static int HasFile(void) { return worldPanel.hasFile; }
static int SaveToFile(void) { return SaveTo(WorldPanelFileName()); }

// The nodes while their panel is open, as its Delete; else the worldshapes, as Edit Shapes'
// Delete.
static void DeleteSelection(void)
{
    if (WinGetClass(MenuBarOpenPanel(EditorMenuBar())) == CLASS_NODES_PANEL) WorldMDeleteSelectedNodes();
    else WorldMDeleteSelected();
}

static const DocPanel kDocPanel = {CLASS_WORLD_PANEL, ACT_LOAD, ACT_SAVE,   ACT_NEW,        &worldPanel.pending,
                                   &worldPanel.confirmed,     Act,      HasFile,    SaveToFile,     DeleteSelection};

static void ResumeLoad(void) { DocPanelResume(kDocPanel, ACT_LOAD); }
static void ResumeNew(void) { DocPanelResume(kDocPanel, ACT_NEW); }

static void Act(WinId self, int action)
{
    // Load and New replace the world: unsaved work is asked about first.
    if ((action == ACT_LOAD || action == ACT_NEW) &&
        !DocPanelMayReplace(kDocPanel, action == ACT_LOAD ? ResumeLoad : ResumeNew))
        return;
    switch (action) {
    case ACT_LOAD:
        worldPanel.pending = action;
        if (!FileSelOpen(kLoadTitle, worldPanel.folder, kPattern, self)) worldPanel.pending = PENDING_NONE;
        break;
    case ACT_SAVE:
    case ACT_SAVE_RUNTIME:
        worldPanel.pending = action;
        if (!FileSelSave(worldPanel.folder, kPattern, worldPanel.name, self)) worldPanel.pending = PENDING_NONE;
        break;
    case ACT_NEW:
        WorldMNew();
        StrLCopy(worldPanel.name, kUntitled, sizeof worldPanel.name);
        worldPanel.hasFile = 0;
        RecoveryMarkClean();
        EditRequestFrame();
        UnsavedMarkClean();
        break;
    default: break;
    }
}

static int WorldPanelProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    switch (message) {
    case WM_CREATE:
        worldPanel.window = self;
        worldPanel.pending = PENDING_NONE;
        KitButtons(kButtons, ACT_COUNT, worldPanel.buttons);
        return 1;
    case WM_DESTROY:
        if (self == worldPanel.window) {
            worldPanel.window = 0;
            worldPanel.pending = PENDING_NONE;
        }
        return 1;
    case WM_PRESSED:
        if (!*p1 || self != worldPanel.window) return 0;
        if (int action = KitIndexOf(worldPanel.buttons, ACT_COUNT, sender); action >= 0) Act(self, action);
        return 0;
    case FILESEL_CHOSEN:
        if (self == worldPanel.window && *p1) FileChosen((const char*)*p1);
        return 0;
    default: return 1;
    }
}

void WorldPanelRegister(void)
{
    worldPanel = {};
    worldPanel.pending = PENDING_NONE;
    StrLCopy(worldPanel.name, kUntitled, sizeof worldPanel.name);
    WinCreateClass(CLASS_WORLD_PANEL, CLASS_FRAME, 0, WorldPanelProc);
}

void WorldPanelDropFile(const char* path)
{
    worldPanel.pending = ACT_LOAD;
    FileChosen(path);
}

int WorldPanelSave(void) { return DocPanelSave(kDocPanel); }
void WorldPanelCommand(int command) { DocPanelCommand(kDocPanel, command); }
