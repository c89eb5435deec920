#include "worldedit/worlddoc.h"

#include <cstring>

#include "base/bytes.h"
#include "base/history.h"
#include "frontend/dump.h"
#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/msgbox.h"
#include "frontend/progress.h"
#include "frontend/recovery.h"
#include "frontend/unsaved.h"
#include "materials/matm.h"
#include "shapeedit/shapedoc.h"
#include "world/net.h"
#include "world/runtime.h"
#include "world/terrain.h"
#include "world/wle.h"
#include "world/worldm.h"

static_assert(WLE_VERSION + 4 <= EDITOR_FILE_HEAD, "the world's version lies in the head the editor reads");

// The worldshapes are shapes: the shape manager starts first.
void WorldDocInstall(size_t undoBytes)
{
    ShapeDocInstall(undoBytes);
    WorldMInstall(WORLDM_CAPACITY);
    WorldMRuntimeInstall();
    if (WorldMIsInstalled()) HistorySetBounds(WorldMHistory(), HISTORY_STEPS_DEFAULT, undoBytes);
}

void WorldDocUninstall(void) { WorldMUninstall(); }
void WorldDocUndo(void) { WorldMUndo(); }
void WorldDocRedo(void) { WorldMRedo(); }
History* WorldDocHistory(void) { return WorldMIsInstalled() ? WorldMHistory() : nullptr; }

const uint8_t* WorldDocBytes(uint32_t* size)
{
    *size = 0;
    if (!WorldMIsInstalled()) return nullptr;
    uint32_t used = WorldMUsed();
    *size = used < WorldMCapacity() ? used : WorldMCapacity();
    return WorldMImage();
}

uint32_t WorldDocCapacity(void) { return WorldMCapacity(); }

const char* WorldDocLoadRecovered(const char* path)
{
    int result = WorldMLoad(path);
    // The loaded world may name other materials, and the terrain needs its own again.
    MatMSetTexturesDirty();
    if (result != 0) return WorldMLoadError();
    WorldMSetChanged(-1);
    return nullptr;
}

// A world has its version at 16, where a shape has its vertex section's offset (never below
// its header).
int WorldDocIsWorld(const uint8_t* head)
{
    uint32_t version = GetU32(head, WLE_VERSION);
    return version >= WLE_VERSION_OLDEST && version <= WLE_VERSION_CURRENT && GetU32(head, WLE_USED) >= WLE_HEADER_SIZE;
}

// The terrain's materials live in the render table beside the list's.
void WorldDocTexturesReloaded(void)
{
    if (WorldMIsInstalled()) TerrainMakeMaterials(WorldMImage(), WorldMUsed());
}

// ============================================================================================
// The deferred work
// ============================================================================================

static int DeleteNetShapes(ProgressFn progress) { return WorldMDeleteNetShapes(progress); }

// The track, support and light materials are looked up again when the build starts: the
// panel that asked found them, but the material list may have changed in between.
static const char* monorailRefusal;

static int BuildMonorail(ProgressFn progress)
{
    int materials[3];
    if ((monorailRefusal = NetMonorailMaterials(materials))) {
        if (progress) progress(PROGRESS_DONE);
        return 0;
    }
    return WorldMBuildMonorail(materials[0], materials[1], materials[2], MONO_TRACK_WIDTH, MONO_PYLON_DEPTH,
                               MONO_MIN_LINK, MONO_PYLON_SPACING, progress);
}

// The runtime world takes the world file's name with its last character made 'D'.
static int SaveRuntime(ProgressFn progress)
{
    const char* wle = EditorFileName();
    if (!*wle) return WORLD_ERR_SAVE;
    return WorldMSave(wle, WorldMRuntimeNameFor(wle), nullptr, progress);
}

// The runtime save wrote the world file too.
static void RuntimeSaved(void)
{
    RecoveryMarkClean();
    UnsavedMarkClean();
    const char* wle = EditorFileName();
    const char* slash = strrchr(wle, '/');
    const char* leaf = slash ? slash + 1 : wle;
    const char* runtime = WorldMRuntimeNameFor(leaf);
    EditNote("Saved %s and %s", leaf, runtime ? runtime : "");
    UnsavedSaved();
}

static void RunWorldRequest(const char* title, int (*work)(ProgressFn))
{
    if (!WorldMIsInstalled()) return;
    monorailRefusal = nullptr;
    int result = EditorRunWithProgress(title, work, ProgressWorld);
    // Every failed world request is told under one title, the world file panel's own.
    const char* boxTitle = "Error During Save";
    if (monorailRefusal) MsgBoxShow(boxTitle, monorailRefusal);
    else if (result < 0 && work == SaveRuntime) MsgBoxShow(boxTitle, WorldMRuntimeErrorText(result));
    // A refused net names the node to change and how.
    else if (result < 0 && work == BuildMonorail && *NetBuildMessage()) MsgBoxShow(boxTitle, NetBuildMessage());
    else if (result < 0) MsgBoxError(boxTitle, result);
    if (work == SaveRuntime && result == 0) RuntimeSaved();
}

void WorldDocRequest(int request)
{
    switch (request) {
    case REQUEST_DELETE_NET_SHAPES: RunWorldRequest("Deleting Net Shapes", DeleteNetShapes); break;
    case REQUEST_BUILD_MONORAIL: RunWorldRequest("Building Monorail", BuildMonorail); break;
    case REQUEST_SAVE_RUNTIME: RunWorldRequest("Saving World Runtime", SaveRuntime); break;
    default: break;
    }
}

static int DumpWorld(DumpField* out, int max)
{
    if (!WorldMIsInstalled() || max < 7) return 0;
    const DumpField fields[] = {
        {"shapes", WorldMCountShapes(), nullptr},
        {"selectedShapes", WorldMCountSelectedShapes(), nullptr},
        {"nodes", WorldMCountNodes(), nullptr},
        {"selectedNodes", WorldMCountSelectedNodes(), nullptr},
        {"file", 0, EditorFileName()},
        {"undo", HistoryUndoCount(WorldMHistory()), nullptr},
        {"redo", HistoryRedoCount(WorldMHistory()), nullptr},
    };
    int n = (int)(sizeof fields / sizeof fields[0]);
    for (int i = 0; i < n; i++) out[i] = fields[i];
    return n;
}

void WorldDocRegisterDump(void) { DumpRegisterSection("world", DumpWorld); }
