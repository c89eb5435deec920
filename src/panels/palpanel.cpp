#include "panels/palpanel.h"

#include <cstdio>
#include <cstring>

#include "base/files.h"
#include "base/ini.h"
#include "base/str.h"
#include "kernel/app.h"
#include "palette/palm.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/panelhost.h"
#include "toolkit/panelkit.h"

enum {
    GRID_COLUMNS = 32,
    GRID_ROWS = 8,
    GRID_LEFT = 2,
    GRID_TOP = 2,
    SWATCH_STEP_X = 4,
    SWATCH_STEP_Y = 5,
    COMPONENT_MAX = 63,
    COMPONENT_CHARS = 2,
    PATH_MAX_BYTES = PANELHOST_PATH_MAX,
};

enum { MODE_LOAD = 0, MODE_SAVE = 1, MODE_IMPORT = 2 };

static const char* const kUntitled = "UNTITLED.PAL";

// One palette panel is open at a time; the fields edit these buffers in place, which must not
// move while the fields live (a window's data may).
static struct {
    char text[3][COMPONENT_CHARS + 2];
    int refilling;                 // the panel is writing the fields: their changes are not the user's
    char folder[PATH_MAX_BYTES];   // where the file selector starts
    char lastFile[PATH_MAX_BYTES]; // the palette file last loaded or saved ("" none)
} palettePanel;

struct PanelData {
    WinId grid;
    WinId field[3];
    WinId load, save, import, paste, copy, spread, remap;
    int32_t fileMode;
};

struct GridData {
    int16_t start, end;
};

// ============================================================================================
// Colour grid
// ============================================================================================

int PalPanelGridIndex(int x, int y)
{
    if (x < GRID_LEFT || y < GRID_TOP) return PALGRID_NONE;
    int column = (x - GRID_LEFT) / SWATCH_STEP_X, row = (y - GRID_TOP) / SWATCH_STEP_Y;
    // Past the last column the index would run on into the next row's first colour.
    if (column >= GRID_COLUMNS || row >= GRID_ROWS) return PALGRID_NONE;
    return row * GRID_COLUMNS + column;
}

static void FrameSwatch(int index, int colour)
{
    int c = index % GRID_COLUMNS, r = index / GRID_COLUMNS;
    int x = GRID_LEFT + SWATCH_STEP_X * c, y = GRID_TOP + SWATCH_STEP_Y * r;
    DrawFillRect(x - 1, y - 1, x + 3, y + 4, DRAW_OUTLINE | colour);
}

static void NotifyPanel(void)
{
    WinParam p1 = 0, p2 = 0;
    WinSendMessage(WIN_PARENT, PALGRID_CHANGED, &p1, &p2);
}

static int GridProc(WinId, WinId, int message, WinParam* p1, WinParam* p2)
{
    GridData* g = (GridData*)WinGetData();
    switch (message) {
    case WM_CREATE: g->start = g->end = 0; return 0;
    case WM_DRAWCLIENT: {
        int x0, y0, x1, y1;
        WinGetExtent(0, &x0, &y0, &x1, &y1);
        DrawFillRect(x0, y0, x1, y1, DrawBackground());
        for (int i = 0; i < GRID_ROWS * GRID_COLUMNS; i++) {
            int x = GRID_LEFT + SWATCH_STEP_X * (i % GRID_COLUMNS), y = GRID_TOP + SWATCH_STEP_Y * (i / GRID_COLUMNS);
            DrawFillRect(x, y, x + 2, y + 3, i);
        }
        FrameSwatch(g->end, DrawAccent());
        FrameSwatch(g->start, DrawTextColour());
        return 0;
    }
    case WM_LPRESS_REGION:
    case WM_RPRESS_REGION: {
        int index = PalPanelGridIndex((int)*p1, (int)*p2);
        if (index == PALGRID_NONE) return 0;
        if (message == WM_LPRESS_REGION) g->start = (int16_t)index;
        g->end = (int16_t)index;
        NotifyPanel();
        return 0;
    }
    case PALGRID_GET:
        *p1 = g->start;
        *p2 = g->end;
        return 0;
    default: return 1;
    }
}

// ============================================================================================
// Panel
// ============================================================================================

// The grid's range; 0 when there is no grid to read it from.
static int GridRange(const PanelData* d, int* start, int* end)
{
    if (!d->grid || !WinIsWindow(d->grid)) return 0;
    WinParam a = 0, b = 0;
    if (WinSendMessage(d->grid, PALGRID_GET, &a, &b) != 0) return 0;
    *start = (int)a;
    *end = (int)b;
    return 1;
}

// The fields show the colour they edit: the range start's. Writing them is not an edit. The
// views' status lines show the range.
static void Refill(const PanelData* d)
{
    int start, end, rgb[3] = {0, 0, 0};
    if (GridRange(d, &start, &end)) {
        PalMGetColour(start, &rgb[0], &rgb[1], &rgb[2]);
        PanelHostColourRange(start, end);
    }
    palettePanel.refilling = 1;
    for (int i = 0; i < 3; i++) {
        if (!d->field[i]) continue;
        char text[16];
        snprintf(text, sizeof text, "%d", rgb[i]);
        WinParam p1 = (WinParam)text, p2 = 0;
        WinSendMessage(d->field[i], WM_EDITSETTEXT, &p1, &p2);
    }
    palettePanel.refilling = 0;
}

// A field's number: 0 and the value (at most 63) when it holds digits only, 1 otherwise.
static int FieldValue(const char* text, int* out)
{
    if (!text[0]) return 1;
    int v = 0;
    for (const char* c = text; *c; c++) {
        if (*c < '0' || *c > '9') return 1;
        v = v * 10 + (*c - '0');
    }
    *out = v > COMPONENT_MAX ? COMPONENT_MAX : v;
    return 0;
}

static void FieldEdited(const PanelData* d, WinId field)
{
    int start, end;
    if (palettePanel.refilling || !GridRange(d, &start, &end)) return;
    for (int i = 0; i < 3; i++) {
        int v;
        if (field != d->field[i] || FieldValue(palettePanel.text[i], &v) != 0) continue;
        int c[3] = {-1, -1, -1};
        c[i] = v;
        PalMSetColour(start, c[0], c[1], c[2]);
        PanelHostPaletteChanged();
    }
}

// The name Save offers: the palette file last used, else the one the settings name.
static void SaveName(char* out, size_t size)
{
    if (palettePanel.lastFile[0]) {
        StrLCopy(out, palettePanel.lastFile, size);
        return;
    }
    StrLCopy(out, kUntitled, size);
    if (INIIsOpen() || INIOpen(AppSettingsFile(), 50) != 0) return;
    if (const char* v = INIGet("palette")) StrLCopy(out, v, size);
    INIClose(nullptr);
}

const char* PalPanelFileName(void)
{
    static char path[2 * PATH_MAX_BYTES];
    char name[PATH_MAX_BYTES];
    SaveName(name, sizeof name);
    if (StrCmp(name, kUntitled) == 0) return "";
    // The settings' file is named as the settings give it; a file the panel used, in its folder.
    if (palettePanel.lastFile[0]) snprintf(path, sizeof path, "%s%s", palettePanel.folder, name);
    else StrLCopy(path, name, sizeof path);
    return path;
}

static void FileChosen(PanelData* d, WinId self, const char* path)
{
    char chosen[PATH_MAX_BYTES];
    StrLCopy(chosen, path, sizeof chosen);
    int nameAt = StrFileNameOffset(chosen);
    StrLCopy(palettePanel.folder, chosen, (size_t)nameAt + 1);
    switch (d->fileMode) {
    case MODE_LOAD:
        if (PalMLoad(chosen) != 0) {
            PanelHostMessage("Error", FileRefusalAfter("Unable to load palette."));
            break;
        }
        StrLCopy(palettePanel.lastFile, chosen + nameAt, sizeof palettePanel.lastFile);
        if (AppConfig()->palSupport) PanelHostPaletteChanged();
        break;
    case MODE_SAVE:
        if (PalMSave(chosen) != 0) {
            PanelHostMessage("Error", "Unable to save palette.");
            break;
        }
        StrLCopy(palettePanel.lastFile, chosen + nameAt, sizeof palettePanel.lastFile);
        break;
    case MODE_IMPORT: {
        int start, end;
        if (!GridRange(d, &start, &end)) {
            PanelHostMessage("Error", "Unable to get colour range");
            break;
        }
        int lo = start < end ? start : end, hi = start < end ? end : start;
        if (PalMImport(chosen, lo, hi - lo + 1) != 0) {
            PanelHostMessage("Error", FileRefusalAfter("Unable to import palette"));
            break;
        }
        PanelHostPaletteChanged();
        break;
    }
    default: break;
    }
    d = (PanelData*)WinDataOf(self, CLASS_PALETTE_PANEL);
    if (d) Refill(d);
}

static void Pressed(PanelData* d, WinId self, WinId button)
{
    int start = 0, end = 0;
    int haveRange = GridRange(d, &start, &end);
    int lo = start < end ? start : end, hi = start < end ? end : start;
    if (button == d->load) {
        d->fileMode = MODE_LOAD;
        PanelHostOpenFile("Load Palette", palettePanel.folder, "*.PAL", self);
    } else if (button == d->save) {
        d->fileMode = MODE_SAVE;
        char name[PATH_MAX_BYTES];
        SaveName(name, sizeof name);
        PanelHostSaveFile(palettePanel.folder, "*.PAL", name, self);
    } else if (button == d->import) {
        d->fileMode = MODE_IMPORT;
        PanelHostOpenFile("Import Palette", palettePanel.folder, "*.LBM", self);
    } else if (button == d->paste && haveRange) {
        PalMPaste(start);
        PalMApply();
        PanelHostPaletteChanged();
        Refill(d);
    } else if (button == d->copy && haveRange) {
        PalMCopyRange(start, end);
        Refill(d);
    } else if (button == d->spread && haveRange) {
        PalMSpread(lo, hi);
        PanelHostPaletteChanged();
        Refill(d);
    }
    // "Remap" has no action.
}

static void CreateControls(PanelData* d)
{
    memset(d, 0, sizeof *d);
    d->load = KitButton(270, 4, 40, BUTTON_PUSH, "Load");
    d = (PanelData*)WinGetData();
    if (!AppConfig()->palSupport) return;
    WinId grid = WinCreate(3, 2, 134, 46, WIN_CURRENT, 0, CLASS_PALETTE_GRID);
    WinId save = KitButton(270, 19, 40, BUTTON_PUSH, "Save"), import = KitButton(270, 34, 40, BUTTON_PUSH, "Import");
    WinId paste = KitButton(221, 4, 17, BUTTON_PUSH, "P"), copy = KitButton(244, 4, 17, BUTTON_PUSH, "C");
    WinId spread = KitButton(221, 19, 40, BUTTON_PUSH, "Spread"), remap = KitButton(221, 34, 40, BUTTON_PUSH, "Remap");
    WinId field[3];
    palettePanel.refilling = 1;
    for (int i = 0; i < 3; i++) {
        palettePanel.text[i][0] = 0;
        field[i] = KitFieldStyled(145, 4 + 15 * i, 66, 0, palettePanel.text[i], COMPONENT_CHARS);
    }
    palettePanel.refilling = 0;
    d = (PanelData*)WinGetData();
    d->grid = grid;
    d->save = save;
    d->import = import;
    d->paste = paste;
    d->copy = copy;
    d->spread = spread;
    d->remap = remap;
    for (int i = 0; i < 3; i++) d->field[i] = field[i];
    Refill(d);
}

static int PanelProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    PanelData* d = (PanelData*)WinGetData();
    switch (message) {
    case WM_CREATE: CreateControls(d); return 0;
    case WM_PRESSED:
        if (*p1) Pressed(d, self, sender);
        return 0;
    case WM_EDITCHANGED: FieldEdited(d, sender); return 0;
    case PALGRID_CHANGED: Refill(d); return 0;
    case PANELHOST_FILE_CHOSEN:
        if (*p1) FileChosen(d, self, (const char*)*p1);
        return 0;
    default: return 1;
    }
}

// The window "Save" could show first has nothing of its own to show.
// The palette save window's data: four bytes it has always been given and never reads. They are
// kept, as the memory line counts every window's bytes.
struct UnreadWindowData {
    int32_t unread;
};

static int SaveWindowProc(WinId, WinId, int, WinParam*, WinParam*) { return 1; }

void PalPanelRegister(void)
{
    WinCreateClass(CLASS_PALETTE_PANEL, CLASS_FRAME, sizeof(PanelData), PanelProc);
    WinCreateClass(CLASS_PALETTE_GRID, CLASS_FRAME, sizeof(GridData), GridProc);
    WinCreateClass(CLASS_PALETTE_SAVE, CLASS_FRAME, sizeof(UnreadWindowData), SaveWindowProc);
}
