// The Object panel. A file chosen in the selector comes back as FILESEL_CHOSEN; what to do
// with it is remembered from the button that opened the selector. The current name changes
// only when the file was loaded or saved: after a failed load, Save's default must still be
// the file the user was working on, never the one that could not be read.
#include "shapeedit/objpanel.h"

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
#include "platform/platform.h"
#include "shapeedit/objdlg.h"
#include "toolkit/panelkit.h"
#include "shapeedit/objimport.h"
#include "shapes/asc.h"
#include "shapes/mesh.h"
#include "shapes/model.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"

static const char* const kUntitled = "UNTITLED.SHP";
static const char* const kShadowName = "SHADOW.SHP";
static const char* const kPattern = "*.SHP";

enum {
    ACT_LOAD, ACT_SAVE, ACT_MERGE, ACT_CREATE, ACT_NEW, ACT_SCALE, ACT_SHADOW,
    ACT_MIRROR_X, ACT_MIRROR_Y, ACT_MIRROR_Z, ACT_OPTIMISE, ACT_CENTRE, ACT_PARMS,
    ACT_COUNT,

    PENDING_NONE = -1,
    NAME_X = 178,          // the current name, in the free cell left of "Save"
    NAME_Y = 21,
    NAME_WIDTH = 82,
};

// Indexed by ACT_*. The mirrors and "Optimise" take the room beside them, so that their
// labels show whole.
static const KitButtonSpec kButtons[ACT_COUNT] = {
    {"Load", 262, 4, 50},       {"Save", 262, 19, 50},     {"Merge", 202, 4, 50},      {"Create", 262, 34, 50},
    {"New", 122, 34, 50},       {"Scale", 10, 4, 50},      {"Shadow", 10, 19, 50},     {"Mirror X", 66, 4, 56},
    {"Mirror Y", 66, 19, 56},   {"Mirror Z", 66, 34, 56},  {"Optimise", 122, 4, 56},   {"Centre", 122, 19, 50},
    {"Parms", 178, 34, 50},
};

static struct {
    WinId window;
    WinId buttons[ACT_COUNT];
    int pending;                     // the ACT_* whose file the selector is choosing
    char name[OBJ_NAME_MAX];
    char folder[FILESEL_PATH_MAX];
    char shown[OBJ_NAME_MAX + 4];    // the name as it fits its cell
    int confirmed;                   // the action's unsaved-work question was answered already
} obj;

const char* ObjPanelShapeName(void) { return obj.name; }
const char* ObjPanelFolder(void) { return obj.folder; }

static void SetName(const char* name)
{
    StrLCopy(obj.name, name, sizeof obj.name);
    // Too wide for its cell: the end of the name, which tells files apart, with "..." before.
    const char* tail = obj.name;
    if (TextWidth(tail) > NAME_WIDTH)
        while (*tail && TextWidth(tail) + TextWidth("...") > NAME_WIDTH) tail++;
    StrCopy(obj.shown, tail == obj.name ? "" : "...");
    StrCat(obj.shown, tail);
}

void ObjPanelSetUntitled(void) { SetName(kUntitled); }

void ObjPanelRestoreNames(const char* folder, const char* name, int)
{
    StrLCopy(obj.folder, folder, sizeof obj.folder);
    SetName(name && *name ? name : kUntitled);
}

// ============================================================================================
// Files
// ============================================================================================

static int EndsWithAsc(const char* name)
{
    int n = StrLen(name);
    return n >= 3 && StrICmp(name + n - 3, "ASC") == 0;
}

static void FileError(const char* text) { MsgBoxShow("File Error", text); }

// Listings and models from other tools, by their extension (a name that only ends in ASC is
// imported as a listing too, but keeps its whole name).
static int IsImported(const char* leaf)
{
    const char* dot = strrchr(leaf, '.');
    return dot && ((dot[1] && EndsWithAsc(leaf) && StrLen(dot) == 4) || ModelIsModelName(leaf));
}

// The shape a listing or a model becomes is named after it, with the shape extension:
// GRID.ASC gives GRID.SHP, MODEL.glb MODEL.SHP; a name without a capital letter gets the
// extension in small letters (grid.asc grid.shp), a name without the extension gets it added.
void ObjPanelImportedName(const char* leaf, char* out, size_t size)
{
    const char* dot = strrchr(leaf, '.');
    int cut = dot && IsImported(leaf);
    char base[OBJ_NAME_MAX];
    StrLCopy(base, leaf, cut ? (size_t)(dot - leaf) + 1 : sizeof base);
    bool upper = false, lower = false;
    for (const char* p = leaf; *p; p++) {
        upper = upper || (*p >= 'A' && *p <= 'Z');
        lower = lower || (*p >= 'a' && *p <= 'z');
    }
    snprintf(out, size, "%s%s", base, lower && !upper ? ".shp" : ".SHP");
}

// A 3DS ASCII listing becomes the edited shape, unsaved: nothing is written until the user
// saves it, under the name it now has.
static int ImportListing(const char* path)
{
    if (Import3DSASCII(path)) {
        FileError(FileRefusalAfter("! Unable to load shape."));
        return 1;
    }
    return 0;
}

int ObjPanelRefuseForeign(const char* path)
{
    if (!ShapeMFileIsForeign(path)) return 0;
    const char* slash = strrchr(path, '/');
    const char* leaf = slash ? slash + 1 : path;
    char text[OBJ_NAME_MAX + 64];
    snprintf(text, sizeof text, "%s is not a shape file. Choose another name to save the shape.", leaf);
    FileError(text);
    return 1;
}

// The shape is its file now: the recovery files go, the title loses its mark, and the status
// line says what was written.
static int SaveTo(const char* path)
{
    if (ObjPanelRefuseForeign(path)) return 1;
    if (ShapeMSave(path)) {
        FileError("! Unable to save shape.");
        return 1;
    }
    const char* slash = strrchr(path, '/');
    const char* leaf = slash ? slash + 1 : path;
    SetName(leaf);
    RecoveryMarkClean();
    UnsavedMarkClean();
    const uint8_t* b = ShapeMEdit()->data;
    EditNote("Saved %s: %d polygons, %d vertices", leaf, ShapePolygonCount(b), ShapeVertexCount(b));
    LogPrintf(LOG_INFO, "OBJECT: saved %s", path);
    UnsavedSaved();
    return 0;
}

static void FileChosen(const char* path)
{
    // The folder part becomes where the selectors start; the name part waits for success.
    const char* slash = strrchr(path, '/');
    const char* leaf = slash ? slash + 1 : path;
    if (slash) {
        size_t n = (size_t)(slash - path);
        if (n == 0) n = 1;   // the root keeps its '/'
        if (n < sizeof obj.folder) {
            memcpy(obj.folder, path, n);
            obj.folder[n] = 0;
        }
    }
    int action = obj.pending;
    obj.pending = PENDING_NONE;
    switch (action) {
    case ACT_LOAD:
        if (EndsWithAsc(leaf) || ModelIsModelName(leaf)) {
            if (ModelIsModelName(leaf) ? ObjImportModel(path) : ImportListing(path)) return;
            char name[OBJ_NAME_MAX];
            ObjPanelImportedName(leaf, name, sizeof name);
            SetName(name);
            EditRequestFrame();
            LogPrintf(LOG_INFO, "OBJECT: imported %s as %s, not saved yet", path, name);
            break;
        }
        if (ShapeMLoadFile(path)) {
            FileError(FileRefusalAfter("! Unable to load shape."));
            return;
        }
        SetName(leaf);
        RecoveryMarkClean();
        EditRequestFrame();
        UnsavedMarkClean();
        LogPrintf(LOG_INFO, "OBJECT: loaded %s", path);
        break;
    case ACT_SAVE: SaveTo(path); break;
    case ACT_MERGE: {
        // 2 (nothing to merge into, or nothing in the file) leaves the shape as it was.
        int merged = ShapeMMergeFile(path);
        if (merged == 1) FileError(FileRefusalAfter("! Unable to merge shape."));
        else if (merged == 2) EditNote("Merge: nothing merged. It needs a shape with polygons, and a file with vertices.");
        break;
    }
    default: break;
    }
}

void ObjPanelDropFile(const char* path)
{
    obj.pending = ACT_LOAD;
    FileChosen(path);
}

// ============================================================================================
// The panel
// ============================================================================================

static void Act(WinId self, int action);
static int HasFile(void) { return StrCmp(obj.name, kUntitled) != 0; }
static int SaveToFile(void);
static void DeleteSelection(void) { MeshDeleteSelection(); }

static const DocPanel kDocPanel = {CLASS_OBJECT_PANEL, ACT_LOAD,   ACT_SAVE,   ACT_NEW,        &obj.pending,
                                   &obj.confirmed,     Act,        HasFile,    SaveToFile,     DeleteSelection};

// An action whose question was answered later (the editor's own box, or a save through the
// selector) goes on in the panel, opened again when it went meanwhile.
static void ResumeLoad(void) { DocPanelResume(kDocPanel, ACT_LOAD); }
static void ResumeCreate(void) { DocPanelResume(kDocPanel, ACT_CREATE); }
static void ResumeNew(void) { DocPanelResume(kDocPanel, ACT_NEW); }

// Load, Create and New replace the shape: unsaved work is asked about first.
static int MayReplace(int action)
{
    return DocPanelMayReplace(kDocPanel, action == ACT_LOAD ? ResumeLoad : action == ACT_CREATE ? ResumeCreate : ResumeNew);
}

static void Act(WinId self, int action)
{
    if ((action == ACT_LOAD || action == ACT_CREATE || action == ACT_NEW) && !MayReplace(action)) return;
    switch (action) {
    case ACT_LOAD:
    case ACT_MERGE:
        obj.pending = action;
        if (!FileSelOpen(action == ACT_LOAD ? "Load Object" : "Merge Object", obj.folder, kPattern, self))
            obj.pending = PENDING_NONE;
        break;
    case ACT_SAVE:
        obj.pending = action;
        if (!FileSelSave(obj.folder, kPattern, obj.name, self)) obj.pending = PENDING_NONE;
        break;
    case ACT_CREATE: ObjDlgOpen(CLASS_CREATE_OBJECT); break;
    case ACT_SCALE: ObjDlgOpen(CLASS_OBJECT_SCALE); break;
    case ACT_PARMS: ObjDlgOpen(CLASS_OBJECT_PARMS); break;
    case ACT_NEW:
        ShapeMNew();
        ObjPanelSetUntitled();
        RecoveryMarkClean();
        EditRequestFrame();   // a new shape without extent leaves the view as it is
        UnsavedMarkClean();
        break;
    case ACT_SHADOW: SetName(kShadowName); break;
    case ACT_MIRROR_X: MeshMirror(MESH_X); break;
    case ACT_MIRROR_Y: MeshMirror(MESH_Y); break;
    case ACT_MIRROR_Z: MeshMirror(MESH_Z); break;
    case ACT_OPTIMISE: {
        const uint8_t* b = ShapeMEdit()->data;
        uint32_t before = ShapeUsedSize(b);
        ShapeMOptimise(1);
        if (ShapeUsedSize(b) == before) EditNote("Optimise: no repeated point, unused or doubled vertex to remove.");
        break;
    }
    case ACT_CENTRE: MeshCentre(); break;
    default: break;
    }
}

static int ObjPanelProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    switch (message) {
    case WM_CREATE:
        obj.window = self;
        obj.pending = PENDING_NONE;
        KitButtons(kButtons, ACT_COUNT, obj.buttons);
        SetName(obj.name);
        return 1;
    case WM_DESTROY:
        if (self == obj.window) {
            // The dialogs belong to the panel's place on screen: they go with it.
            ObjDlgCloseAll();
            obj.window = 0;
            obj.pending = PENDING_NONE;
        }
        return 1;
    case WM_DRAWCLIENT:
        KitClearClient();
        KitPrint(NAME_X, NAME_Y, DrawTextColour(), "%s", obj.shown);
        return 0;
    case WM_PRESSED:
        if (!*p1 || self != obj.window) return 0;
        if (int action = KitIndexOf(obj.buttons, ACT_COUNT, sender); action >= 0) Act(self, action);
        return 0;
    case FILESEL_CHOSEN:
        if (self == obj.window && *p1) FileChosen((const char*)*p1);
        return 0;
    default: return 1;
    }
}

void ObjPanelRegister(void)
{
    obj = {};
    obj.pending = PENDING_NONE;
    StrCopy(obj.name, kUntitled);
    StrCopy(obj.shown, kUntitled);
    WinCreateClass(CLASS_OBJECT_PANEL, CLASS_FRAME, 0, ObjPanelProc);
    ObjDlgRegister();
}

static int SaveToFile(void)
{
    char path[(int)FILESEL_PATH_MAX + (int)OBJ_NAME_MAX];
    if (obj.folder[0]) snprintf(path, sizeof path, "%s%s%s", obj.folder, obj.folder[StrLen(obj.folder) - 1] == '/' ? "" : "/", obj.name);
    else snprintf(path, sizeof path, "%s", obj.name);
    return SaveTo(path);
}

int ObjPanelSave(void) { return DocPanelSave(kDocPanel); }
void ObjPanelCommand(int command) { DocPanelCommand(kDocPanel, command); }
