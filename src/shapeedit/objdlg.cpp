// The Object panel's dialogs share one procedure: number fields, "Ok" and "Cancel", and the
// labels drawn beside the fields; Create Object adds the list of what to create. One of each
// is open at a time, so their fields' buffers are this module's.
#include "shapeedit/objdlg.h"

#include "base/log.h"
#include "frontend/editstate.h"
#include "kernel/app.h"
#include "kernel/kernel.h"
#include "shapeedit/objpanel.h"
#include "toolkit/panelkit.h"
#include "frontend/editstate.h"
#include "shapes/mesh.h"
#include "shapes/shapem_edit.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"

enum {
    DLG_X = 50,
    DLG_Y = 43,
    DLG_WIDTH = 220,
    DLG_HEIGHT = 120,
    DLG_MAX_FIELDS = 4,
    DLG_COUNT = 3,
    DLG_BUTTONS_Y = 100,

    // Create Object's list: item ids.
    ITEM_CUBOID = 1,
    ITEM_SPHERE = 2,
    ITEM_RANDOM_SPHERE = 3,
    ITEM_NOTHING = 4,
    LIST_BYTES = 96,
    LIST_LINES = 4,

    SCALE_UNCHANGED = 100,
};

struct DlgLabel {
    int x, y;
    const char* text;
};

struct DlgLayout {
    uint32_t classId;
    const char* title;
    int fields;
    int fieldX, fieldY[DLG_MAX_FIELDS], fieldWidth;
    DlgLabel labels[6];
};

static const DlgLayout kLayouts[DLG_COUNT] = {
    {CLASS_CREATE_OBJECT, "Create Object", 3, 150, {16, 31, 46}, 50,
     {{130, 17, "X:"}, {130, 32, "Y:"}, {130, 47, "Z:"}}},
    {CLASS_OBJECT_SCALE, "Object Scale", 4, 90, {16, 48, 63, 78}, 50,
     {{10, 17, "Scale:"}, {10, 34, "Rescale:"}, {10, 49, "Rescale X:"}, {10, 64, "Rescale Y:"},
      {10, 79, "Rescale Z:"}}},
    {CLASS_OBJECT_PARMS, "Object Parameters", 1, 120, {40}, 50, {{10, 41, "Max Norm Angle:"}}},
};

struct DlgState {
    WinId window, ok, cancel;
    WinId fields[DLG_MAX_FIELDS];
    char text[DLG_MAX_FIELDS][KIT_NUMBER_CHARS + 1];
};

static DlgState dialogs[DLG_COUNT];
static WinId createList;
static ResId createItems;

static int IndexOf(uint32_t classId)
{
    for (int i = 0; i < DLG_COUNT; i++)
        if (kLayouts[i].classId == classId) return i;
    return -1;
}

// ============================================================================================
// Ok
// ============================================================================================

// The dialog stays open with the focus on the field to mend.
static int Refuse(DlgState& d, int field)
{
    WinSetFocus(d.fields[field]);
    return 1;
}

// Sizes in metres, times the world scale; a size below one unit keeps the dialog open.
static int CreateOk(DlgState& d)
{
    int64_t scale = AppConfig()->scale ? AppConfig()->scale : 1;
    int32_t size[3];
    for (int i = 0; i < 3; i++) {
        int32_t typed = 0;
        KitReadInt(d.text[i], &typed);
        int64_t units = (int64_t)typed * scale;
        if (units < 1 || units > INT32_MAX) return Refuse(d, i);
        size[i] = (int32_t)units;
    }
    WinParam p1 = 0, p2 = 0;
    WinSendMessage(createList, WM_LISTGETCHOICE, &p1, &p2);
    int refused = 0;
    switch ((int)p1) {
    case ITEM_CUBOID: refused = MeshCreateCuboid(size[0], size[1], size[2]); break;
    case ITEM_SPHERE: refused = MeshCreateSphere(size[0], size[1], size[2], 0); break;
    case ITEM_RANDOM_SPHERE: refused = MeshCreateSphere(size[0], size[1], size[2], 1); break;
    default: break;   // "NOTHING", or no choice
    }
    if (refused) {
        LogPrintf(LOG_WARN, "CREATE: sizes %d, %d, %d refused", size[0], size[1], size[2]);
        return Refuse(d, 0);
    }
    // A new object: the next Save must not take the name of the file it replaced.
    if (p1 == ITEM_CUBOID || p1 == ITEM_SPHERE || p1 == ITEM_RANDOM_SPHERE) {
        ObjPanelSetUntitled();
        EditRequestFrame();
    }
    return 0;
}

// Percentages in field order; a field that is no number ends the list, and values that would
// change nothing or lie outside 2..999 are passed over. One undo step for all of them.
static int ScaleOk(DlgState& d)
{
    static const int axes[DLG_MAX_FIELDS] = {MESH_ALL_AXES, MESH_X, MESH_Y, MESH_Z};
    int32_t value[DLG_MAX_FIELDS];
    int count = 0;
    while (count < DLG_MAX_FIELDS && KitReadInt(d.text[count], &value[count])) count++;
    int any = 0;
    for (int i = 0; i < count; i++) any |= value[i] != SCALE_UNCHANGED && value[i] > 1 && value[i] < 1000;
    if (!any) return 0;
    ShapeMSaveUndo();
    int was = ShapeMUndoOn();
    ShapeMSetUndo(0);
    for (int i = 0; i < count; i++) MeshScale(axes[i], value[i]);
    ShapeMSetUndo(was);
    return 0;
}

static int ParmsOk(DlgState& d)
{
    int32_t degrees;
    if (!KitReadInt(d.text[0], &degrees) || degrees < 0 || degrees > MESH_MAX_ANGLE_DEGREES) return Refuse(d, 0);
    MeshSetMaxAngle(degrees);
    return 0;
}

static void Answer(int index, int answer)
{
    DlgState& d = dialogs[index];
    if (answer == KIT_OK) {
        int keepOpen = index == 0 ? CreateOk(d) : index == 1 ? ScaleOk(d) : ParmsOk(d);
        if (keepOpen) return;
    }
    WinClose(d.window);
}

// ============================================================================================
// The window
// ============================================================================================

static void MakeCreateList(void)
{
    createItems = ResCreate(LIST_BYTES);
    if (!createItems) FatalError("Out of memory.");
    ListClear(createItems);
    ListAdd(createItems, ITEM_CUBOID, "Cuboid");
    ListAdd(createItems, ITEM_SPHERE, "Sphere80");
    ListAdd(createItems, ITEM_RANDOM_SPHERE, "Random Sphere80");
    ListAdd(createItems, ITEM_NOTHING, "NOTHING");
    createList = WinCreate(10, 16, 110, LIST_LINES * (int)LIST_LINE_HEIGHT + 2, WIN_CURRENT, FRAME_BORDER, CLASS_LIST);
    WinParam p1 = createItems, p2 = 0;
    WinSendMessage(createList, WM_LISTSET, &p1, &p2);
    p1 = ITEM_SPHERE;
    WinSendMessage(createList, WM_LISTSETCHOICE, &p1, &p2);
}

static void Build(int index)
{
    const DlgLayout& l = kLayouts[index];
    DlgState& d = dialogs[index];
    for (int i = 0; i < l.fields; i++)
        d.fields[i] = KitField(l.fieldX, l.fieldY[i], l.fieldWidth, d.text[i], KIT_NUMBER_CHARS);
    d.ok = KitButton(40, DLG_BUTTONS_Y, KIT_BUTTON_WIDTH, BUTTON_PUSH, "Ok");
    d.cancel = KitButton(130, DLG_BUTTONS_Y, KIT_BUTTON_WIDTH, BUTTON_PUSH, "Cancel");
    if (l.classId == CLASS_CREATE_OBJECT) MakeCreateList();
}

// The first field takes the keys, its text selected so that typing replaces it.
static void FocusFirst(DlgState& d)
{
    WinSetFocus(d.fields[0]);
    WinParam p1 = 0, p2 = 0;
    WinSendMessage(d.fields[0], WM_EDITSELECTALL, &p1, &p2);
}

static int DlgProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    int index = IndexOf(WinGetClass(self));
    if (index < 0) return 1;
    DlgState& d = dialogs[index];
    if (message == WM_CREATE) {
        d.window = self;
        Build(index);
        return 1;
    }
    if (self != d.window) return 1;   // closed, and followed by a new one already
    if (int answer = KitDialogAnswer(message, p1)) {
        Answer(index, answer);
        return 0;
    }
    switch (message) {
    case WM_DESTROY:
        if (index == 0) {
            if (createItems) ResFree(createItems);
            createItems = 0;
            createList = 0;
        }
        d = DlgState{};
        return 1;
    case WM_DRAWCLIENT:
        KitClearClient();
        for (const DlgLabel& label : kLayouts[index].labels)
            if (label.text) KitPrint(label.x, label.y, DrawTextColour(), "%s", label.text);
        return 0;
    case WM_PRESSED:
        if (*p1 && (sender == d.ok || sender == d.cancel)) Answer(index, sender == d.ok ? KIT_OK : KIT_CANCEL);
        return 0;
    case WM_LISTCHOICE:
        // The keys go back to the fields, so that Enter still answers.
        WinSetFocus(d.fields[0]);
        return 0;
    case WM_FOCUS: return 0;   // a click on the dialog itself keeps the keys here
    case WM_EDITCHANGED: return 0;
    default: return 1;
    }
}

void ObjDlgRegister(void)
{
    for (DlgState& d : dialogs) d = DlgState{};
    createList = 0;
    createItems = 0;
    for (const DlgLayout& l : kLayouts) WinCreateClass(l.classId, CLASS_FRAME, 0, DlgProc);
}

WinId ObjDlgOpen(uint32_t classId)
{
    int index = IndexOf(classId);
    if (index < 0) return 0;
    DlgState& d = dialogs[index];
    if (d.window && WinIsWindow(d.window)) {
        FocusFirst(d);
        return d.window;
    }
    d = DlgState{};
    if (classId == CLASS_OBJECT_PARMS) KitWriteInt(d.text[0], sizeof d.text[0], MeshMaxAngle());
    else if (classId == CLASS_OBJECT_SCALE)
        for (auto& t : d.text) KitWriteInt(t, sizeof t, SCALE_UNCHANGED);
    else
        for (int i = 0; i < 3; i++) KitWriteInt(d.text[i], sizeof d.text[i], SCALE_UNCHANGED);
    WinId w = KitDialog(classId, DLG_X, DLG_Y, DLG_WIDTH, DLG_HEIGHT, kLayouts[index].title);
    if (w) FocusFirst(d);
    return w;
}

void ObjDlgCloseAll(void)
{
    for (DlgState& d : dialogs)
        if (d.window && WinIsWindow(d.window)) WinClose(d.window);
}
