#include "frontend/viewsetup.h"

#include <cstring>

#include "frontend/menubar.h"
#include "frontend/view.h"
#include "kernel/kernel.h"
#include "platform/platform.h"
#include "toolkit/controls.h"
#include "toolkit/panelkit.h"

struct SetupOption {
    uint32_t flag;
    const char* label;
};

// In the list's order; the editor's table says which it offers.
static const SetupOption kOptions[] = {
    {VIEWF_WIREFRAME, "Wireframe"},  {VIEWF_ORIENTATION, "Orientation"}, {VIEWF_DECIMAL, "Decimal"},
    {VIEWF_HIDDEN, "Hidden"},        {VIEWF_NORMALS, "Normals"},         {VIEWF_NO_BILINEAR, "No BILINEAR"},
    {VIEWF_DYNAMIC, "Dynamic"},      {VIEWF_TERRAIN, "Terrain"},         {VIEWF_MARKED, "Marked"},
    {VIEWF_TEX_LIGHT, "Tex. Light"}, {VIEWF_NO_MIPMAPS, "No MIPMAPS"},
};
static const char* const kProjections[VIEW_TYPES] = {"Perspective", "Left", "Right", "Top", "Bottom", "Front", "Rear"};

enum {
    SETUP_ITEMS_BYTES = 1000,   // each of the two lists' items
    SETUP_MARGIN = 5,
    SETUP_LIST_Y = 14,
    SETUP_TYPES_W = 80,
    SETUP_OPTIONS_W = 96,
    SETUP_OPTIONS_H = 6 * LIST_LINE_HEIGHT + 2,
    SETUP_OK_X = 140,
    SETUP_OK_Y = 76,
};

struct SetupData {
    WinId owner, types, options, ok;
    ResId typeItems, optionItems;
    int32_t type;
    uint32_t flags;
};

// List item ids are 16-bit signed: the option 0x8000 reads back as a negative id, so the
// list's mask carries it sign-extended. These two keep the flags and the mask apart.
static uint32_t MaskOfFlags(uint32_t flags) { return (flags & 0x8000) ? flags | 0xFFFF0000u : flags; }
static uint32_t FlagsOfMask(uint32_t mask) { return mask & 0xFFFF; }

// The options the running editor offers.
static uint32_t OfferedFlags(void) { return ViewCurrentHooks()->setupFlags; }

static void SetupCreate(void)
{
    SetupData* s = (SetupData*)WinGetData();
    memset(s, 0, sizeof *s);
    ResId typeItems = ResCreate(SETUP_ITEMS_BYTES), optionItems = ResCreate(SETUP_ITEMS_BYTES);
    if (!typeItems || !optionItems) FatalError("Out of memory.");
    size_t end = 0;
    ListClear(typeItems);
    for (int i = 0; i < VIEW_TYPES; i++) end = ListAppend(typeItems, end, i + 1, kProjections[i]);
    end = 0;
    ListClear(optionItems);
    for (const SetupOption& o : kOptions)
        if (o.flag & OfferedFlags()) end = ListAppend(optionItems, end, (int)o.flag, o.label);
    WinId types = WinCreate(SETUP_MARGIN, SETUP_LIST_Y, SETUP_TYPES_W, (int)VIEW_TYPES * (int)LIST_LINE_HEIGHT + 2, WIN_CURRENT,
                            FRAME_BORDER, CLASS_LIST);
    WinId options = WinCreate(SETUP_MARGIN * 2 + SETUP_TYPES_W, SETUP_LIST_Y, SETUP_OPTIONS_W, SETUP_OPTIONS_H,
                              WIN_CURRENT, (uint32_t)FRAME_BORDER | (uint32_t)LIST_MULTIPLE, CLASS_LIST);
    WinId ok = KitButton(SETUP_OK_X, SETUP_OK_Y, 40, BUTTON_PUSH, "Ok");
    WinParam p1 = typeItems, p2 = 0;
    WinSendMessage(types, WM_LISTSET, &p1, &p2);
    p1 = optionItems;
    WinSendMessage(options, WM_LISTSET, &p1, &p2);
    s = (SetupData*)WinGetData();
    s->types = types;
    s->options = options;
    s->ok = ok;
    s->typeItems = typeItems;
    s->optionItems = optionItems;
    WinSetFocus(WinCurrent());
}

static void SetupShow(int32_t type, uint32_t flags)
{
    SetupData* s = (SetupData*)WinGetData();
    s->type = type;
    s->flags = flags;
    WinParam p1 = type + 1, p2 = 0;
    WinSendMessage(s->types, WM_LISTSETCHOICE, &p1, &p2);
    s = (SetupData*)WinGetData();
    p1 = (WinParam)MaskOfFlags(flags & OfferedFlags());
    WinSendMessage(s->options, WM_LISTSETCHOICE, &p1, &p2);
}

static int SetupProc(WinId self, WinId sender, int message, WinParam* p1, WinParam* p2)
{
    SetupData* s = (SetupData*)WinGetData();
    switch (message) {
    case WM_CREATE: SetupCreate(); return 1;
    case WM_DESTROY:
        if (s->typeItems) ResFree(s->typeItems);
        if (s->optionItems) ResFree(s->optionItems);
        s->typeItems = s->optionItems = 0;
        return 1;
    case SETUP_MSG_SHOW: SetupShow((int32_t)*p1, (uint32_t)*p2); return 0;
    case SETUP_MSG_OWNER: s->owner = sender ? sender : (WinId)*p1; return 0;
    case WM_LISTCHOICE: {
        if (sender == s->types && *p1 >= 1 && *p1 <= VIEW_TYPES) s->type = (int32_t)*p1 - 1;
        // Flags the list does not offer stay as the view had them.
        if (sender == s->options) s->flags = (s->flags & ~OfferedFlags()) | (FlagsOfMask((uint32_t)*p1) & OfferedFlags());
        WinId owner = s->owner;
        if (owner && WinIsWindow(owner) && WinGetClass(owner) == CLASS_VIEW) {
            WinParam type = s->type, flags = (WinParam)s->flags;
            WinSendMessage(owner, VIEW_MSG_SET, &type, &flags);
        }
        return 0;
    }
    case WM_PRESSED:
        if (*p1 && sender == s->ok) WinClose(self);
        return 0;
    // Only "Ok": Escape and Enter both close it.
    case WM_FOCUS: return 0;
    case WM_KEY:
        if (*p1 == CH_ESCAPE || *p1 == CH_ENTER) WinClose(self);
        return 0;
    default: return 1;
    }
}

void ViewSetupRegisterClass(void) { WinCreateClass(CLASS_VIEW_SETUP, CLASS_FRAME, sizeof(SetupData), SetupProc); }
