#include "panels/matpanel.h"

#include <cstring>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/str.h"
#include "materials/intmat.h"
#include "panels/matedit.h"
#include "materials/matm.h"
#include "platform/platform.h"
#include "toolkit/contract.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/panelhost.h"
#include "toolkit/panelkit.h"
#include "toolkit/text.h"

enum {
    MODE_LOAD = 0,
    MODE_SAVE = 1,
    MODE_MERGE = 2,
    ERR_ILLEGAL_NAME = -1,
    ERR_DUPLICATE_NAME = -3,
    NAME_CHARS = MAT_NAME_SIZE - 1,
};

static const char* const kDummyRefusal = "You can't edit the \"Dummy\" material, dummy!";
static const char* const kNoName = "(no name)";

static struct {
    char folder[PANELHOST_PATH_MAX];   // where the file selector starts
    char file[PANELHOST_PATH_MAX];     // the materials file as chosen, kept whole
    char renameText[MAT_NAME_SIZE + 1];
} matPanel;

struct PanelData {
    WinId set, get, previous, next, swatch, name, add, remove, load, save, merge;
    int32_t fileMode;
};

struct SelectData {
    WinId list, ok, cancel, rename, field;
    ResId items;
};

static const char kUntitledMaterials[] = "UNTITLED.MAT";

const char* MatPanelFileName(void) { return matPanel.file; }
int MatPanelHasFile(void) { return matPanel.file[0] && StrCmp(matPanel.file, kUntitledMaterials) != 0; }

void MatPanelSetFileName(const char* path)
{
    if (path && *path) StrLCopy(matPanel.file, path, sizeof matPanel.file);
}

// ============================================================================================
// Renaming
// ============================================================================================

int MatPanelRename(int index, const char* name)
{
    if (index == 0) {
        PanelHostMessage("Error", kDummyRefusal);
        return 0;
    }
    char want[MAT_NAME_SIZE];
    StrLCopy(want, name ? name : "", sizeof want);
    if (!want[0]) {
        PanelHostError("Error", ERR_ILLEGAL_NAME);
        return 0;
    }
    // Two materials of one name cannot both survive a save and a load: the second is skipped.
    for (int i = 0; i < MatMCount(); i++)
        if (i != index && StrICmp(MatMGetName(i), want) == 0) {
            PanelHostError("Error", ERR_DUPLICATE_NAME);
            return 0;
        }
    if (!MatMSetName(index, want)) return 0;
    MatMSetTexturesDirty();
    return 1;
}

// ============================================================================================
// Swatch and name
// ============================================================================================

// A true-colour fill straight into the drawing target, clipped: the toolkit's own fills
// take palette colours only.
static void FillRGB(int x0, int y0, int x1, int y1, int r, int g, int b)
{
    const VideoSurface* t = VideoTarget();
    if (!t->pixels || (t->bpp != 16 && t->bpp != 32)) return;
    int cx0, cy0, cx1, cy1;
    VideoGetClip(&cx0, &cy0, &cx1, &cy1);
    if (x0 < cx0) x0 = cx0;
    if (y0 < cy0) y0 = cy0;
    if (x1 > cx1) x1 = cx1;
    if (y1 > cy1) y1 = cy1;
    uint32_t value = t->bpp == 16 ? (uint32_t)(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3))
                                  : (uint32_t)((r << 16) | (g << 8) | b);
    for (int y = y0; y <= y1; y++) {
        uint8_t* row = t->pixels + (size_t)(t->originY + y) * t->pitch;
        for (int x = x0; x <= x1; x++) {
            if (t->bpp == 16) PutU16(row, (size_t)(t->originX + x) * 2, (uint16_t)value);
            else PutU32(row, (size_t)(t->originX + x) * 4, value);
        }
    }
}

// The current material names a texture that could not be loaded.
static int TextureMissing(void)
{
    int m = MatMCurrent();
    return MatMRecord(m) && MatMGetTexture(m)[0] && !IntMatHandle(m);
}

static void DrawSwatch(void)
{
    int x0, y0, x1, y1;
    WinGetExtent(0, &x0, &y0, &x1, &y1);
    int m = MatMCurrent();
    const uint8_t* rec = MatMRecord(m);
    ResId texture = IntMatHandle(m);
    DrawFillRect(x0, y0, x1, y1, DrawBackground());
    if (texture && rec) {
        SpriteDrawScaled(texture, x0 + 1, y0 + 1, x1 - 1, y1 - 1);
    } else if (TextureMissing()) {
        TextSetColour(DrawTextColour());
        TextSetFormat(TEXT_MODE_CENTRE, -1, x0, x1);
        TextPrint(x0, y0 + 3, "Texture");
        TextPrint(x0, y0 + 13, "missing");
    } else if (rec && MatMTrueColour()) {
        // Components are 14-bit; the screen takes their top 8 bits.
        int c[3];
        for (int i = 0; i < 3; i++) {
            int32_t v = GetI32(rec, MR_RED + 4 * i);
            v = v < 0 ? 0 : v > MAT_COLOUR_MAX ? MAT_COLOUR_MAX : v;
            c[i] = v >> 6;
        }
        FillRGB(x0 + 1, y0 + 1, x1 - 1, y1 - 1, c[0], c[1], c[2]);
    } else if (rec) {
        DrawFillRect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, MatMGetPalette(m));
    }
    DrawSunkenBox(x0, y0, x1, y1);
}

static int SwatchProc(WinId, WinId, int message, WinParam*, WinParam*)
{
    switch (message) {
    case WM_DRAWCLIENT: DrawSwatch(); return 0;
    case WM_LPRESS_REGION:
        if (MatMCurrent() == 0) PanelHostMessage("Error", kDummyRefusal);
        else MatEditOpen(MatMCurrent());
        return 0;
    default: return 1;
    }
}

static int NameProc(WinId, WinId, int message, WinParam*, WinParam*)
{
    switch (message) {
    case WM_DRAWCLIENT: {
        int x0, y0, x1, y1;
        WinGetExtent(0, &x0, &y0, &x1, &y1);
        DrawFillRect(x0, y0, x1, y1, DrawBackground());
        TextSetColour(DrawTextColour());
        TextSetFormat(TEXT_MODE_CENTRE, -1, x0, x1);
        TextPrint(x0, y0 + 2, "%s", MatMGetName(MatMCurrent()));
        return 0;
    }
    case WM_LPRESS_REGION: {
        if (WinFindClass(CLASS_MAT_SELECT)) return 0;
        KitDialog(CLASS_MAT_SELECT, 50, 43, 210, 95, "Select Material");
        return 0;
    }
    default: return 1;
    }
}

int MatPanelSwatchTexts(WinId, const char** out, int max)
{
    if (max < 1 || !TextureMissing()) return 0;
    out[0] = "Texture missing";
    return 1;
}

int MatPanelNameTexts(WinId, const char** out, int max)
{
    if (max < 1) return 0;
    out[0] = MatMGetName(MatMCurrent());
    return 1;
}

// ============================================================================================
// Select Material
// ============================================================================================

// The list holds one line a material, its id the index + 1, sized for exactly these names.
static ResId BuildItems(void)
{
    int n = MatMCount();
    size_t total = 0;
    for (int i = 0; i < n; i++) {
        int len = StrLen(MatMGetName(i));
        total += (size_t)(len ? len : StrLen(kNoName));
    }
    ResId items = ResCreate(ListSizeFor(n, total));
    if (!items) FatalError("Out of memory.");
    ListClear(items);
    size_t end = 0;
    for (int i = 0; i < n; i++) {
        char text[MAT_NAME_SIZE + 1];
        StrLCopy(text, MatMGetName(i), sizeof text);
        // The list cannot hold an empty text or one starting with character 255.
        if (!text[0]) StrLCopy(text, kNoName, sizeof text);
        if ((uint8_t)text[0] == 255) text[0] = '?';
        end = ListAppend(items, end, i + 1, text);
    }
    return items;
}

static void FillList(WinId self)
{
    SelectData* s = (SelectData*)WinDataOf(self, CLASS_MAT_SELECT);
    ResId old = s->items;
    ResId items = BuildItems();
    s = (SelectData*)WinDataOf(self, CLASS_MAT_SELECT);
    s->items = items;
    WinParam p1 = items, p2 = 0;
    WinSendMessage(s->list, WM_LISTSET, &p1, &p2);
    if (old) ResFreeAlways(old);
}

static void SetRenameText(WinId field, const char* text)
{
    WinParam p1 = (WinParam)text, p2 = 0;
    WinSendMessage(field, WM_EDITSETTEXT, &p1, &p2);
}

static int Chosen(const SelectData* s)
{
    WinParam id = 0, zero = 0;
    WinSendMessage(s->list, WM_LISTGETCHOICE, &id, &zero);
    return (int)id;
}

static void SelectPressed(WinId self, WinId button)
{
    SelectData* s = (SelectData*)WinGetData();
    int id = Chosen(s);
    if (button == s->ok) {
        // Nothing chosen changes nothing.
        if (id > 0) MatMSetCurrent(id - 1);
        WinClose(self);
    } else if (button == s->cancel) {
        WinClose(self);
    } else if (button == s->rename && id > 0) {
        if (MatPanelRename(id - 1, matPanel.renameText)) {
            FillList(self);
            s = (SelectData*)WinGetData();
            WinParam p1 = id, p2 = 0;
            WinSendMessage(s->list, WM_LISTSETCHOICE, &p1, &p2);
        }
    }
}

static int SelectProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    SelectData* s = (SelectData*)WinGetData();
    switch (message) {
    case WM_CREATE: {
        memset(s, 0, sizeof *s);
        WinId list = WinCreate(10, 20, 140, 54, WIN_CURRENT, 0, CLASS_LIST);
        WinId ok = KitButton(160, 20, 40, BUTTON_PUSH, "Ok");
        WinId cancel = KitButton(160, 35, 40, BUTTON_PUSH, "Cancel");
        WinId rename = KitButton(160, 50, 40, BUTTON_PUSH, "Rename");
        matPanel.renameText[0] = 0;
        WinId field = KitField(10, 78, 140, matPanel.renameText, NAME_CHARS);
        s = (SelectData*)WinGetData();
        *s = SelectData{list, ok, cancel, rename, field, 0};
        FillList(self);
        WinSetFocus(field);
        return 0;
    }
    case WM_DESTROY:
        if (s->items) ResFreeAlways(s->items);
        s->items = 0;
        return 1;
    case WM_LISTCHOICE:
        // The chosen name goes into the field, for "Rename" to start from, selected whole and
        // with the keys: what is typed next replaces it.
        if (*p1 > 0) {
            WinId field = s->field;
            SetRenameText(field, MatMGetName((int)*p1 - 1));
            WinParam a = 0, b = 0;
            WinSendMessage(field, WM_EDITSELECTALL, &a, &b);
            WinSetFocus(field);
        }
        return 0;
    // Escape is "Cancel", from the field or with the dialog's own focus.
    case WM_EDITESCAPE: WinClose(self); return 0;
    case WM_KEY:
        if (*p1 == CH_ESCAPE) WinClose(self);
        return 0;
    case WM_FOCUS: return 0;
    case WM_PRESSED:
        if (*p1) SelectPressed(self, sender);
        return 0;
    default: return 1;
    }
}

// ============================================================================================
// Panel
// ============================================================================================

static void CloseDialogs(void)
{
    MatEditCancel();
    if (WinId w = WinFindClass(CLASS_MAT_SELECT)) WinClose(w);
}

static void SetToggle(WinId button, int on)
{
    WinParam state = 0, zero = 0;
    WinSendMessage(button, WM_GETSTATE, &state, &zero);
    if ((state != 0) == (on != 0)) return;
    state = on;
    WinSendMessage(button, WM_SETSTATE, &state, &zero);
}

static void FileChosen(WinId self, const char* path)
{
    char chosen[PANELHOST_PATH_MAX];
    StrLCopy(chosen, path, sizeof chosen);
    StrLCopy(matPanel.folder, chosen, (size_t)StrFileNameOffset(chosen) + 1);
    PanelData* d = (PanelData*)WinDataOf(self, CLASS_MATERIALS_PANEL);
    switch (d->fileMode) {
    case MODE_LOAD:
        CloseDialogs();
        // The list changes shape: the next frame reloads the textures.
        MatMSetTexturesDirty();
        // A file that failed to load keeps its name out of Save's way.
        if (MatMLoad(chosen) != 0) PanelHostMessage("Error", FileRefusalAfter("Unable to load materials."));
        else StrLCopy(matPanel.file, chosen, sizeof matPanel.file);
        break;
    case MODE_SAVE:
        if (MatMSave(chosen) != 0) PanelHostMessage("Error", "Unable to save materials.");
        else StrLCopy(matPanel.file, chosen, sizeof matPanel.file);
        break;
    case MODE_MERGE:
        CloseDialogs();
        MatMSetTexturesDirty();
        if (MatMMerge(chosen) != 0) PanelHostMessage("Error", FileRefusalAfter("Unable to merge materials."));
        break;
    default: break;
    }
}

static void Pressed(WinId self, WinId button, int on)
{
    PanelData* d = (PanelData*)WinGetData();
    if (button == d->set || button == d->get) {
        int tool = button == d->set ? EDIT_TOOL_MATERIAL_SET : EDIT_TOOL_MATERIAL_GET;
        if (on) {
            SetToggle(button == d->set ? d->get : d->set, 0);
            PanelHostSetTool(tool, EDIT_PICK_POLYGONS);
        } else if (PanelHostToolMode() == tool) {
            PanelHostSetTool(EDIT_TOOL_NONE, 0);
        }
        return;
    }
    if (!on) return;
    if (button == d->previous) MatMPrevious();
    else if (button == d->next) MatMNext();
    else if (button == d->add || button == d->remove) {
        CloseDialogs();
        MatMSetTexturesDirty();
        if (button == d->add) MatMAdd(MatMCurrent());
        else MatMDelete();
    } else if (button == d->load) {
        d->fileMode = MODE_LOAD;
        PanelHostOpenFile("Load Materials", matPanel.folder, "*.MAT", self);
    } else if (button == d->save) {
        d->fileMode = MODE_SAVE;
        // Save offers the file where it was found: its folder, not the last one browsed.
        int nameAt = StrFileNameOffset(matPanel.file);
        char folder[PANELHOST_PATH_MAX];
        StrLCopy(folder, nameAt ? matPanel.file : matPanel.folder, nameAt ? (size_t)nameAt + 1 : sizeof folder);
        PanelHostSaveFile(folder, "*.MAT", matPanel.file + nameAt, self);
    } else if (button == d->merge) {
        d->fileMode = MODE_MERGE;
        PanelHostOpenFile("Merge Materials", matPanel.folder, "*.MAT", self);
    }
}

static void CreateControls(void)
{
    PanelData c{};
    c.set = KitButton(10, 16, 40, BUTTON_TOGGLE, "Set");
    c.get = KitButton(10, 31, 40, BUTTON_TOGGLE, "Get");
    // The name field holds a name of 15 letters whole; the arrows are as narrow as their signs.
    c.previous = KitButtonSized(57, 5, 9, 37, BUTTON_PUSH, "<");
    c.next = KitButtonSized(157, 5, 9, 37, BUTTON_PUSH, ">");
    c.swatch = WinCreate(66, 5, 91, 24, WIN_CURRENT, 0, CLASS_MAT_SWATCH);
    c.name = WinCreate(66, 30, 91, 12, WIN_CURRENT, 0, CLASS_MAT_NAME);
    c.add = KitButton(173, 16, 40, BUTTON_PUSH, "Add");
    c.remove = KitButton(173, 31, 40, BUTTON_PUSH, "Delete");
    c.load = KitButton(270, 4, 40, BUTTON_PUSH, "Load");
    c.save = KitButton(270, 19, 40, BUTTON_PUSH, "Save");
    c.merge = KitButton(270, 34, 40, BUTTON_PUSH, "Merge");
    *(PanelData*)WinGetData() = c;
}

static int PanelProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    PanelData* d = (PanelData*)WinGetData();
    switch (message) {
    case WM_CREATE: CreateControls(); return 0;
    case WM_DESTROY:
        // The dialogs belong to the panel: another panel in its place closes them too.
        CloseDialogs();
        return 1;
    case WM_PRESSED: Pressed(self, sender, *p1 != 0); return 0;
    case PANEL_MSG_MATERIAL: SetToggle(d->set, 1); return 0;
    case PANELHOST_FILE_CHOSEN:
        if (*p1) FileChosen(self, (const char*)*p1);
        return 0;
    default: return 1;
    }
}

void MatPanelRegister(void)
{
    matPanel = {};
    StrCopy(matPanel.file, kUntitledMaterials);
    WinCreateClass(CLASS_MATERIALS_PANEL, CLASS_FRAME, sizeof(PanelData), PanelProc);
    WinCreateClass(CLASS_MAT_SWATCH, CLASS_FRAME, 0, SwatchProc);
    WinCreateClass(CLASS_MAT_NAME, CLASS_FRAME, 0, NameProc);
    WinCreateClass(CLASS_MAT_SELECT, CLASS_FRAME, sizeof(SelectData), SelectProc);
    MatEditRegister();
}
