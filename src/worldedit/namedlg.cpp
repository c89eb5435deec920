#include "worldedit/namedlg.h"

#include "base/maths.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/panelkit.h"

enum {
    DLG_X = 40,
    DLG_Y = 30,
    DLG_WIDTH = 170,
    DLG_HEIGHT = 70,
    LABEL_X = 10,
    LABEL_Y = 12,
    FIELD_X = 50,
    FIELD_Y = 23,
    FIELD_WIDTH = 40,
    NAME_CHARS = 4,
    OK_X = 30,
    CANCEL_X = 90,
    ANSWER_Y = 50,
    DIALOG_CLASSES = 2,
};

struct NameDlg {
    uint32_t cls;
    NameDlgAcceptFn accept;
    WinId window, field, ok, cancel;
    char text[NAME_CHARS + 1];
};

static NameDlg dialogs[DIALOG_CLASSES];

static NameDlg* Of(uint32_t cls)
{
    for (NameDlg& d : dialogs)
        if (d.cls == cls) return &d;
    return nullptr;
}

static void FocusField(const NameDlg* d)
{
    WinSetFocus(d->field);
    WinParam p1 = 0, p2 = 0;
    WinSendMessage(d->field, WM_EDITSELECTALL, &p1, &p2);
}

static int NameDlgProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    NameDlg* d = Of(WinGetClass(self));
    if (!d) return 1;
    if (message == WM_CREATE) {
        d->window = self;
        d->field = KitField(FIELD_X, FIELD_Y, FIELD_WIDTH, d->text, NAME_CHARS);
        d->ok = KitButton(OK_X, ANSWER_Y, KIT_BUTTON_WIDTH, BUTTON_PUSH, "Ok");
        d->cancel = KitButton(CANCEL_X, ANSWER_Y, KIT_BUTTON_WIDTH, BUTTON_PUSH, "Cancel");
        return 1;
    }
    if (self != d->window) return 1;
    int answer = KitDialogAnswer(message, p1);
    if (message == WM_PRESSED && *p1 && (sender == d->ok || sender == d->cancel))
        answer = sender == d->ok ? KIT_OK : KIT_CANCEL;
    if (answer == KIT_OK) {
        if (d->accept && d->accept(d->text) != 0) FocusField(d);
        else WinClose(self);
    } else if (answer == KIT_CANCEL) {
        WinClose(self);
    }
    if (answer) return 0;
    switch (message) {
    case WM_DESTROY: {
        uint32_t cls = d->cls;
        *d = {};
        d->cls = cls;
        return 1;
    }
    case WM_DRAWCLIENT:
        KitClearClient();
        KitPrint(LABEL_X, LABEL_Y, DrawTextColour(), "Name:");
        return 0;
    case WM_PRESSED:
    case WM_FOCUS:
    case WM_EDITCHANGED: return 0;
    default: return 1;
    }
}

void NameDlgRegister(uint32_t cls)
{
    NameDlg* d = Of(cls);
    if (!d) d = Of(0);
    if (!d) return;
    *d = {};
    d->cls = cls;
    WinCreateClass(cls, CLASS_FRAME, 0, NameDlgProc);
}

WinId NameDlgOpen(uint32_t cls, const char* title, uint32_t name, NameDlgAcceptFn accept)
{
    NameDlg* d = Of(cls);
    if (!d) return 0;
    if (!(d->window && WinIsWindow(d->window))) {
        *d = {};
        d->cls = cls;
        d->accept = accept;
        Name4ToText(name, d->text);
        if (!KitDialog(cls, DLG_X, DLG_Y, DLG_WIDTH, DLG_HEIGHT, title)) return 0;
    }
    FocusField(d);
    return d->window;
}

WinId NameDlgWindow(uint32_t cls)
{
    const NameDlg* d = Of(cls);
    return d && d->window && WinIsWindow(d->window) ? d->window : 0;
}
