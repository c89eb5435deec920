#include "frontend/menubar.h"

#include <cstring>

#include "base/mem.h"
#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/layout.h"
#include "kernel/app.h"
#include "platform/platform.h"
#include "toolkit/controls.h"
#include "toolkit/panelkit.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"

enum {
    MENU_MAX_ENTRIES = 7,
    MENU_GROUP = 1,
};

struct MenuEntry {
    const char* label;
    uint32_t panelClass;
};

// A headless run stands for no machine of its own (its desktop is a fixed size too): a fixed
// free-memory figure keeps its pictures the same from run to run.
static const uint64_t HEADLESS_FREE_MEMORY = 1073741824;

static const MenuEntry kShapeEntries[] = {
    {"Materials", CLASS_MATERIALS_PANEL}, {"Polygons", CLASS_POLYGONS_PANEL}, {"Vertices", CLASS_VERTICES_PANEL},
    {"Sorting", CLASS_SORTING_PANEL},     {"Object", CLASS_OBJECT_PANEL},     {"Mesh", CLASS_MESH_PANEL},
    {"Palette", CLASS_PALETTE_PANEL},
};
static const MenuEntry kWorldEntries[] = {
    {"Materials", CLASS_MATERIALS_PANEL}, {"World", CLASS_WORLD_PANEL},  {"Edit Shapes", CLASS_EDIT_SHAPES_PANEL},
    {"Add Shapes", CLASS_ADD_SHAPES_PANEL}, {"Nodes", CLASS_NODES_PANEL}, {"Palette", CLASS_PALETTE_PANEL},
};

struct MenuData {
    WinId entries[MENU_MAX_ENTRIES];
    WinId panels[MENU_MAX_ENTRIES];
    WinId undo;
};

static int paletteOffered;

// The entries of a bar: the "Palette" entry, last in both tables, only when offered.
static const MenuEntry* Entries(uint32_t cls, int* count)
{
    if (cls == CLASS_SHAPE_MENU) {
        *count = (int)(sizeof kShapeEntries / sizeof kShapeEntries[0]) - (paletteOffered ? 0 : 1);
        return kShapeEntries;
    }
    *count = (int)(sizeof kWorldEntries / sizeof kWorldEntries[0]) - (paletteOffered ? 0 : 1);
    return kWorldEntries;
}

void MenuBarPanelArea(int* x, int* y, int* width, int* height)
{
    int w, h;
    VideoExtent(&w, &h);
    LayoutRect r = LayoutPanelArea(w, h);
    *x = r.x;
    *y = r.y;
    *width = r.width;
    *height = r.height;
}

static void OpenPanel(MenuData* d, const MenuEntry* entries, int count, int index)
{
    // A panel that went by itself leaves its id to some later window: only a window of the
    // entry's class is still ours to close.
    for (int i = 0; i < MENU_MAX_ENTRIES; i++) {
        if (i < count && d->panels[i] && WinIsWindow(d->panels[i]) && WinGetClass(d->panels[i]) == entries[i].panelClass)
            WinClose(d->panels[i]);
        d->panels[i] = 0;
    }
    EditSetTool(EDIT_TOOL_NONE, 0);
    EditSetOverlayFlags(entries[index].panelClass == CLASS_MATERIALS_PANEL ? EDIT_OVERLAY_MATERIALS : 0);
    int x, y, w, h;
    MenuBarPanelArea(&x, &y, &w, &h);
    d->panels[index] = WinCreate(x, y, w, h, WIN_DESKTOP, FRAME_BORDER, entries[index].panelClass);
}

static int MenuProc(WinId window, WinId sender, int message, WinParam* p1, WinParam*)
{
    MenuData* d = (MenuData*)WinGetData();
    int count;
    const MenuEntry* entries = Entries(WinGetClass(window), &count);
    switch (message) {
    case WM_CREATE: {
        memset(d, 0, sizeof *d);
        int w, h;
        VideoExtent(&w, &h);
        bool small = w < 640;
        static const int at[MENU_MAX_ENTRIES][2] = {{10, 4}, {10, 19}, {10, 34}, {100, 4}, {100, 19}, {100, 34}, {190, 4}};
        for (int i = 0; i < count; i++) {
            int x = small ? 10 : at[i][0], y = small ? 15 + 15 * i : at[i][1];
            d->entries[i] = KitButton(x, y, 80, BUTTON_RADIO | BUTTON_GROUP, entries[i].label);
            WinParam group = MENU_GROUP, zero = 0;
            WinSendMessage(d->entries[i], WM_SETGROUP, &group, &zero);
        }
        d->undo = small ? KitButton(10, 135, 40, BUTTON_PUSH, "Undo") : KitButton(270, 19, 40, BUTTON_PUSH, "Undo");
        // The editor opens on its busiest panel.
        uint32_t first = WinGetClass(window) == CLASS_SHAPE_MENU ? CLASS_MESH_PANEL : CLASS_EDIT_SHAPES_PANEL;
        for (int i = 0; i < count; i++)
            if (entries[i].panelClass == first) {
                WinParam on = 1, zero = 0;
                WinSendMessage(d->entries[i], WM_SETSTATE, &on, &zero);
            }
        return 1;
    }
    case WM_DRAWCLIENT: {
        int x0, y0, x1, y1;
        WinGetExtent(0, &x0, &y0, &x1, &y1);
        DrawFillRect(x0, y0, x1, y1, DrawBackground());
        int w, h;
        VideoExtent(&w, &h);
        TextSetColour(DrawTextColour());
        if (w < 640) TextSetFormat(TEXT_MODE_CENTRE, -1, x0, x1);
        else TextSetFormat(TEXT_MODE_PLAIN, -1, 0, 639);
        int x = w < 640 ? x0 : 200, y = w < 640 ? 110 : 34;
        if (WinGetClass(window) == CLASS_SHAPE_MENU)
            TextPrint(x, y, "Mem Used: %ld", (long)MemTotal());
        else
            TextPrint(x, y, "Memory: %ld", (long)(PlatIsHeadless() ? HEADLESS_FREE_MEMORY : MemFreePhysical()));
        return 0;
    }
    case WM_PRESSED:
        if (!*p1) return 0;   // a button switched off by its group
        if (sender == d->undo) {
            EditorUndo();
            return 0;
        }
        for (int i = 0; i < count; i++)
            if (sender == d->entries[i]) OpenPanel(d, entries, count, i);
        return 0;
    default: return 1;
    }
}

void MenuBarRegisterClasses(int paletteEntry)
{
    paletteOffered = paletteEntry != 0;
    WinCreateClass(CLASS_SHAPE_MENU, CLASS_FRAME, sizeof(MenuData), MenuProc);
    WinCreateClass(CLASS_WORLD_MENU, CLASS_FRAME, sizeof(MenuData), MenuProc);
}

WinId MenuBarShowPanel(WinId menuBar, uint32_t panelClass)
{
    if (!menuBar || !WinIsWindow(menuBar)) return 0;
    MenuData* d = (MenuData*)WinDataOf(menuBar, WinGetClass(menuBar));
    int count;
    const MenuEntry* entries = Entries(WinGetClass(menuBar), &count);
    if (!d) return 0;
    for (int i = 0; i < count; i++) {
        if (entries[i].panelClass != panelClass) continue;
        WinId open = d->panels[i];
        if (open && WinIsWindow(open) && WinGetClass(open) == panelClass) return open;
        // As a press of the entry: the group lets go of the other entry and the panel opens.
        WinParam on = 1, zero = 0;
        WinSendMessage(d->entries[i], WM_SETSTATE, &on, &zero);
        open = d->panels[i];
        return open && WinIsWindow(open) ? open : 0;
    }
    return 0;
}

WinId MenuBarOpenPanel(WinId menuBar)
{
    const MenuData* d = (const MenuData*)WinDataOf(menuBar, WinGetClass(menuBar));
    if (!d) return 0;
    for (WinId p : d->panels)
        if (p && WinIsWindow(p)) return p;
    return 0;
}

// ============================================================================================
// Placeholder panels
// ============================================================================================

static int PlaceholderProc(WinId, WinId, int message, WinParam*, WinParam*)
{
    if (message != WM_DRAWCLIENT) return 1;
    KitClearClient();
    return 0;
}

void PanelRegisterPlaceholders(void)
{
    for (uint32_t cls = CLASS_EDITOR_FIRST; cls <= CLASS_EDITOR_LAST; cls++)
        if (!WinClassRegistered(cls)) WinCreateClass(cls, CLASS_FRAME, 0, PlaceholderProc);
}
