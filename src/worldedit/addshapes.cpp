// The Add Shapes panel and the Building Name dialog. The fields edit buffers of this module,
// so what was typed survives closing the panel; the name is proposed afresh whenever its field
// appears. Refusals are shown in a box with the error table's text: a shape that is silently
// not added leaves the user guessing whether the click, the name or the file was wrong.
#include "worldedit/addshapes.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "base/str.h"
#include "frontend/editstate.h"
#include "frontend/filesel.h"
#include "frontend/menubar.h"
#include "frontend/msgbox.h"
#include "platform/platform.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"
#include "world/worldm.h"

static const char* const kBrowseTitle = "Select Shape Name";
static const char* const kShapePattern = "*.SHP";
static const char* const kRefusalTitle = "Add Shapes";

enum {
    ROW_HEIGHT = 11,
    PRINT_MAX = 64,
    DIALOG_STYLE = FRAME_BORDER | FRAME_TITLE | FRAME_DRAG,
    TOGGLE_GROUP = 1,

    X_LABEL_X = 10, X_FIELD_X = 20, Z_LABEL_X = 170, Z_FIELD_X = 180, COORD_Y = 4, COORD_WIDTH = 60,
    SHAPE_LABEL_X = 10, SHAPE_FIELD_X = 50, SHAPE_Y = 19, SHAPE_WIDTH = 80,
    BROWSE_X = 133, BROWSE_Y = 19, BROWSE_WIDTH = 40,
    DY_X = 10, TR_X = 30, TOGGLE_Y = 34, TOGGLE_WIDTH = 20,
    NAME_LABEL_X = 200, NAME_FIELD_X = 240, NAME_Y = 19, NAME_WIDTH = 70,
    ADD_X = 270, ADD_Y = 34, ADD_WIDTH = 40,

};

// ============================================================================================
// Controls
// ============================================================================================

// Every field here goes into the world file's ASCII fields (numbers, shape file, name).
static WinId Field(int x, int y, int width, char* buffer, int limit)
{
    WinId f = WinCreate(x, y, width, ROW_HEIGHT, WIN_CURRENT, EDIT_ASCII, CLASS_EDIT);
    WinParam p1 = (WinParam)buffer, p2 = limit;
    WinSendMessage(f, WM_EDITSETBUFFER, &p1, &p2);
    return f;
}

static void SetText(WinId field, const char* text)
{
    WinParam p1 = (WinParam)text, p2 = 0;
    WinSendMessage(field, WM_EDITSETTEXT, &p1, &p2);
}

static void Focus(WinId field)
{
    if (!WinIsWindow(field)) return;
    WinSetFocus(field);
    WinParam p1 = 0, p2 = 0;
    WinSendMessage(field, WM_EDITSELECTALL, &p1, &p2);
}

// Inside a draw-client message: the client area cleared, then labels printed at positions
// given, as the controls' are, from the window's corner.
static void ClearClient(void)
{
    int x0, y0, x1, y1;
    WinGetExtent(0, &x0, &y0, &x1, &y1);
    DrawFillRect(x0, y0, x1, y1, DrawBackground());
}

static void Print(int x, int y, const char* text)
{
    WinParam p1 = 0, p2 = 0;
    int cx = 0, cy = 0;
    if (WinSendMessage(WIN_SELF, WM_REGION, &p1, &p2) == 0 && !WinNoRect(p1)) {
        cx = WinLo(p1);
        cy = WinHi(p1);
    }
    int x0, y0, x1, y1;
    WinGetExtent(0, &x0, &y0, &x1, &y1);
    TextSetColour(DrawTextColour());
    TextSetFormat(TEXT_MODE_PLAIN, -1, 0, x1);
    TextPrint(x - cx, y + 1 - cy, "%s", text);
}

// A name as four characters and a terminator.
static void NameText(uint32_t name, char out[ADDS_NAME_CHARS + 1])
{
    for (int i = 0; i < ADDS_NAME_CHARS; i++) out[i] = name ? (char)(name >> (24 - 8 * i)) : 0;
    out[ADDS_NAME_CHARS] = 0;
}

// ============================================================================================
// The panel
// ============================================================================================

static struct {
    WinId window, x, z, shape, browse, dy, tr, name, add;
    char xText[ADDS_COORD_CHARS + 1];
    char zText[ADDS_COORD_CHARS + 1];
    char shapeText[ADDS_SHAPE_CHARS + 1];
    char nameText[ADDS_NAME_CHARS + 1];
    char folder[FILESEL_PATH_MAX];
    int dynamic;
    WinId refocus;   // takes the keys once the refusal's box is answered
} as;

// 1..8 hexadecimal digits, blanks around them allowed; eight digits give negative positions.
static int ReadHex(const char* text, int32_t* out)
{
    while (*text == ' ') text++;
    uint32_t v = 0;
    int digits = 0;
    for (; *text; text++, digits++) {
        int d = *text >= '0' && *text <= '9' ? *text - '0'
              : *text >= 'A' && *text <= 'F' ? *text - 'A' + 10
              : *text >= 'a' && *text <= 'f' ? *text - 'a' + 10 : -1;
        if (d < 0) break;
        v = v << 4 | (uint32_t)d;
    }
    while (*text == ' ') text++;
    if (*text || digits == 0 || digits > ADDS_COORD_CHARS) return 0;
    *out = (int32_t)v;
    return 1;
}

static void ProposeName(void)
{
    char text[ADDS_NAME_CHARS + 1];
    NameText(WorldMNewShapeName(), text);
    if (as.name) SetText(as.name, text);
    else StrLCopy(as.nameText, text, sizeof as.nameText);
}

// The Name field is there only while "Dy" is on.
static void SetDynamic(int on)
{
    as.dynamic = on;
    if (on && !as.name) {
        as.name = Field(NAME_FIELD_X, NAME_Y, NAME_WIDTH, as.nameText, ADDS_NAME_CHARS);
        ProposeName();
    } else if (!on && as.name) {
        if (as.refocus == as.name) as.refocus = 0;
        WinDestroy(as.name);
        as.name = 0;
    }
}

static void Add(void)
{
    int32_t x, z;
    if (!ReadHex(as.xText, &x)) return Focus(as.x);
    if (!ReadHex(as.zText, &z)) return Focus(as.z);
    uint32_t name = 0;
    int result = 0;
    // A dynamic shape needs its name: an empty field is as illegal as a bad one.
    if (as.dynamic && (WorldMParseName(as.nameText, &name) || !name)) result = WORLD_ERR_ILLEGAL_NAME;
    if (!result) result = WorldMAddShapeOnGround(as.shapeText, x, z, name);
    if (result > 0) {
        LogPrintf(LOG_INFO, "WORLD: added %s as shape %d", as.shapeText, result);
        ProposeName();
        return;
    }
    LogPrintf(LOG_WARN, "WORLD: %s not added: %s", as.shapeText, WorldMErrorText(result));
    MsgBoxError(kRefusalTitle, result);
    if (result == WORLD_ERR_ILLEGAL_NAME || result == WORLD_ERR_DUPLICATE_NAME) {
        ProposeName();
        as.refocus = as.name;
    }
}

static void Position(WinId field, WinParam value)
{
    char text[ADDS_COORD_CHARS + 1];
    snprintf(text, sizeof text, "%08X", (unsigned)(uint32_t)value);
    SetText(field, text);
}

static void ShapeChosen(const char* path)
{
    const char* leaf = path;
    for (const char* p = path; *p; p++)
        if (*p == '/' || *p == '\\') leaf = p + 1;
    if (leaf > path && (size_t)(leaf - path) < sizeof as.folder) {
        size_t n = leaf - 1 == path ? 1 : (size_t)(leaf - 1 - path);   // the root keeps its '/'
        memcpy(as.folder, path, n);
        as.folder[n] = 0;
    }
    // A name too long for the field can be no world's shape: the field would hold a stranger.
    if (StrLen(leaf) > ADDS_SHAPE_CHARS) {
        MsgBoxError(kRefusalTitle, WORLD_ERR_SHAPE_MISSING);
        return;
    }
    SetText(as.shape, leaf);
}

static int AddShapesProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    switch (message) {
    case WM_CREATE: {
        as.window = self;
        as.x = Field(X_FIELD_X, COORD_Y, COORD_WIDTH, as.xText, ADDS_COORD_CHARS);
        as.z = Field(Z_FIELD_X, COORD_Y, COORD_WIDTH, as.zText, ADDS_COORD_CHARS);
        as.shape = Field(SHAPE_FIELD_X, SHAPE_Y, SHAPE_WIDTH, as.shapeText, ADDS_SHAPE_CHARS);
        as.browse = ButtonCreate(BROWSE_X, BROWSE_Y, BROWSE_WIDTH, BUTTON_PUSH, "Browse");
        as.dy = ButtonCreate(DY_X, TOGGLE_Y, TOGGLE_WIDTH, BUTTON_RADIO | BUTTON_GROUP, "Dy");
        as.tr = ButtonCreate(TR_X, TOGGLE_Y, TOGGLE_WIDTH, BUTTON_RADIO | BUTTON_GROUP, "Tr");
        as.add = ButtonCreate(ADD_X, ADD_Y, ADD_WIDTH, BUTTON_PUSH, "Add");
        WinParam group = TOGGLE_GROUP, zero = 0, on = 1;
        WinSendMessage(as.dy, WM_SETGROUP, &group, &zero);
        WinSendMessage(as.tr, WM_SETGROUP, &group, &zero);
        as.name = 0;
        WinSendMessage(as.dy, WM_SETSTATE, &on, &zero);
        SetDynamic(1);
        EditSetTool(EDIT_TOOL_SHAPE_POSITION, 0);
        return 1;
    }
    case WM_DESTROY:
        if (self == as.window) as.window = as.x = as.z = as.shape = as.name = as.dy = as.tr = as.refocus = 0;
        return 1;
    case WM_DRAWCLIENT:
        ClearClient();
        Print(X_LABEL_X, COORD_Y, "X:");
        Print(Z_LABEL_X, COORD_Y, "Z:");
        Print(SHAPE_LABEL_X, SHAPE_Y, "Shape:");
        if (as.dynamic) Print(NAME_LABEL_X, NAME_Y, "Name:");
        return 0;
    case WM_PRESSED:
        if (self != as.window) return 0;
        if (*p1 && (sender == as.dy || sender == as.tr)) SetDynamic(sender == as.dy);
        else if (*p1 && sender == as.add) Add();
        else if (*p1 && sender == as.browse && !FileSelOpen(kBrowseTitle, as.folder, kShapePattern, self))
            LogPrintf(LOG_WARN, "WORLD: the shape selector did not open");
        return 0;
    case WM_TICK:
        // The box took the keys and gives them to no one when it goes.
        if (self == as.window && as.refocus && !WinModal()) {
            Focus(as.refocus);
            as.refocus = 0;
        }
        return 1;
    case ADDS_MSG_X:
        if (self == as.window) Position(as.x, *p1);
        return 0;
    case ADDS_MSG_Z:
        if (self == as.window) Position(as.z, *p1);
        return 0;
    case ADDS_MSG_Y: return 0;   // the shape goes to the ground: its height is not typed
    case FILESEL_CHOSEN:
        if (self == as.window && *p1) ShapeChosen((const char*)*p1);
        return 0;
    case WM_EDITCHANGED:
    case WM_EDITENTER:
    case WM_EDITESCAPE: return 0;
    default: return 1;
    }
}

void AddShapesRegister(void)
{
    as = {};
    StrCopy(as.xText, "0");
    StrCopy(as.zText, "0");
    WinCreateClass(CLASS_ADD_SHAPES_PANEL, CLASS_FRAME, 0, AddShapesProc);
}
