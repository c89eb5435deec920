#include "shapeedit/pointname.h"

#include <cstring>

#include "base/maths.h"
#include "frontend/menubar.h"
#include "shapeedit/shapeview.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "toolkit/controls.h"
#include "toolkit/panelkit.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"

enum { DIALOG_STYLE = FRAME_BORDER | FRAME_TITLE | FRAME_DRAG };

static uint8_t* EditBlock(void) { return ShapeViewBlock(); }

// The client area of the current window, in its own coordinates.
static void ClientRect(int* x0, int* y0, int* x1, int* y1)
{
    WinParam p1 = 0, p2 = 0;
    if (WinSendMessage(WIN_SELF, WM_REGION, &p1, &p2) != 0 || WinNoRect(p1)) {
        *x0 = *y0 = 0;
        *x1 = *y1 = -1;
        return;
    }
    *x0 = WinLo(p1);
    *y0 = WinHi(p1);
    *x1 = WinLo(p2);
    *y1 = WinHi(p2);
}

enum {
    NAME_W = 150,
    NAME_H = 50,
    NAME_MSG_VERTEX = 40,   // p1: the vertex whose name the dialog edits
    NAME_FIELD_X = 50,
    NAME_FIELD_Y = 15,
    NAME_LABEL_X = 10,
    NAME_BUTTONS_Y = 32,
    NAME_CHARS = 4,
};

struct NameData {
    int32_t vertex;
    WinId field, ok, cancel;
};

// The field edits this buffer; the dialog is modal, so one is open at a time.
static char nameText[NAME_CHARS + 1];

static void NameClose(WinId self)
{
    if (WinModal() == self) WinSetModal(0);
    WinClose(self);
}

static void NameStore(WinId self)
{
    NameData* n = (NameData*)WinGetData();
    uint8_t* b = EditBlock();
    if (b && n->vertex >= 0 && n->vertex < ShapeVertexCount(b)) MeshSetPointName(n->vertex, Name4FromText(nameText));
    NameClose(self);
}

static int NameProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    NameData* n = (NameData*)WinGetData();
    switch (message) {
    case WM_CREATE: {
        memset(n, 0, sizeof *n);
        n->vertex = -1;
        nameText[0] = 0;
        WinId field = WinCreate(NAME_FIELD_X, NAME_FIELD_Y, 40, 11, WIN_CURRENT, EDIT_ASCII, CLASS_EDIT);
        WinId ok = KitButton(20, NAME_BUTTONS_Y, 40, BUTTON_PUSH, "Ok");
        WinId cancel = KitButton(90, NAME_BUTTONS_Y, 40, BUTTON_PUSH, "Cancel");
        WinParam a = (WinParam)nameText, b = NAME_CHARS;
        WinSendMessage(field, WM_EDITSETBUFFER, &a, &b);
        n = (NameData*)WinGetData();
        n->field = field;
        n->ok = ok;
        n->cancel = cancel;
        if (!WinModal()) WinMakeModal(self);
        WinSetFocus(field);
        return 1;
    }
    case NAME_MSG_VERTEX: {
        n->vertex = (int32_t)*p1;
        char text[NAME_CHARS + 1];
        uint8_t* b = EditBlock();
        Name4ToText(b && n->vertex >= 0 ? ShapePointName(b, n->vertex) : 0, text);
        WinParam a = (WinParam)text, z = 0;
        WinSendMessage(n->field, WM_EDITSETTEXT, &a, &z);
        n = (NameData*)WinGetData();
        WinSendMessage(n->field, WM_EDITSELECTALL, &a, &z);
        return 0;
    }
    case WM_DRAWCLIENT: {
        int x0, y0, x1, y1;
        WinGetExtent(0, &x0, &y0, &x1, &y1);
        DrawFillRect(x0, y0, x1, y1, DrawBackground());
        int cx0, cy0, cx1, cy1;
        ClientRect(&cx0, &cy0, &cx1, &cy1);
        TextSetColour(DrawTextColour());
        TextSetFormat(TEXT_MODE_PLAIN, -1, 0, x1);
        TextPrint(NAME_LABEL_X - cx0, NAME_FIELD_Y + 1 - cy0, "Name:");
        return 0;
    }
    case WM_TICK:
        if (WinIsModal(self) && WinFocus() != n->field) WinSetFocus(n->field);
        return 1;
    case WM_PRESSED:
        if (!*p1) return 0;
        if (sender == n->ok) NameStore(self);
        else if (sender == n->cancel) NameClose(self);
        return 0;
    case WM_EDITENTER: NameStore(self); return 0;
    case WM_EDITESCAPE: NameClose(self); return 0;
    case WM_EDITCHANGED: return 0;
    case WM_DESTROY:
        if (WinModal() == self) WinSetModal(0);
        return 1;
    default: return 1;
    }
}

void PointNameOpen(WinId self, int vertex)
{
    if (WinFindClass(CLASS_POINT_NAME)) return;
    int ax = 0, ay = 0, x, y, w, h;
    WinGetAbsPos(self, &ax, &ay);
    WinGetRect(self, &x, &y, &w, &h);
    WinId dialog = WinCreate(ax + (w - NAME_W) / 2, ay + (h - NAME_H) / 2, NAME_W, NAME_H, WIN_DESKTOP, DIALOG_STYLE,
                             CLASS_POINT_NAME);
    if (!dialog) return;
    WinParam title = (WinParam) "Point Name", none = 0;
    WinSendMessage(dialog, WM_SETTITLE, &title, &none);
    WinParam p1 = vertex, p2 = 0;
    WinSendMessage(dialog, NAME_MSG_VERTEX, &p1, &p2);
}

void PointNameRegisterClass(void) { WinCreateClass(CLASS_POINT_NAME, CLASS_FRAME, sizeof(NameData), NameProc); }
