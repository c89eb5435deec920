// The Add Shapes panel and the Building Name dialog. The fields edit buffers of this module,
// so what was typed survives closing the panel; the name is proposed afresh whenever its field
// appears. Refusals are shown in a box with the error table's text: a shape that is silently
// not added leaves the user guessing whether the click, the name or the file was wrong.
#include "worldedit/addshapes.h"

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
#include "toolkit/panelkit.h"
#include "world/worldm.h"

static const char* const kBrowseTitle = "Select Shape Name";
static const char* const kShapePattern = "*.SHP";
static const char* const kRefusalTitle = "Add Shapes";

enum {
    TOGGLE_GROUP = 1,
    LABEL_DOWN = 1,   // labels stand a pixel below their fields' tops

    X_LABEL_X = 10, X_FIELD_X = 20, Z_LABEL_X = 170, Z_FIELD_X = 180, COORD_Y = 4, COORD_WIDTH = 60,
    SHAPE_LABEL_X = 10, SHAPE_FIELD_X = 50, SHAPE_Y = 19, SHAPE_WIDTH = 80,
    BROWSE_X = 133, BROWSE_Y = 19, BROWSE_WIDTH = 40,
    DY_X = 10, TR_X = 30, TOGGLE_Y = 34, TOGGLE_WIDTH = 20,
    NAME_LABEL_X = 200, NAME_FIELD_X = 240, NAME_Y = 19, NAME_WIDTH = 70,
    ADD_X = 270, ADD_Y = 34, ADD_WIDTH = 40,

};

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
} addShapes;

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
    if (addShapes.name) KitSetText(addShapes.name, text);
    else StrLCopy(addShapes.nameText, text, sizeof addShapes.nameText);
}

// The Name field is there only while "Dy" is on.
static void SetDynamic(int on)
{
    addShapes.dynamic = on;
    if (on && !addShapes.name) {
        addShapes.name = KitField(NAME_FIELD_X, NAME_Y, NAME_WIDTH, addShapes.nameText, ADDS_NAME_CHARS);
        ProposeName();
    } else if (!on && addShapes.name) {
        if (addShapes.refocus == addShapes.name) addShapes.refocus = 0;
        KitDestroy(&addShapes.name);
    }
}

static void Add(void)
{
    int32_t x, z;
    if (!ReadHex(addShapes.xText, &x)) {
        KitFocusAll(addShapes.x);
        return;
    }
    if (!ReadHex(addShapes.zText, &z)) {
        KitFocusAll(addShapes.z);
        return;
    }
    uint32_t name = 0;
    int result = 0;
    // A dynamic shape needs its name: an empty field is as illegal as a bad one.
    if (addShapes.dynamic && (WorldMParseName(addShapes.nameText, &name) || !name)) result = WORLD_ERR_ILLEGAL_NAME;
    if (!result) result = WorldMAddShapeOnGround(addShapes.shapeText, x, z, name);
    if (result > 0) {
        LogPrintf(LOG_INFO, "WORLD: added %s as shape %d", addShapes.shapeText, result);
        ProposeName();
        return;
    }
    LogPrintf(LOG_WARN, "WORLD: %s not added: %s", addShapes.shapeText, WorldMErrorText(result));
    MsgBoxError(kRefusalTitle, result);
    if (result == WORLD_ERR_ILLEGAL_NAME || result == WORLD_ERR_DUPLICATE_NAME) {
        ProposeName();
        addShapes.refocus = addShapes.name;
    }
}

static void Position(WinId field, WinParam value)
{
    char text[ADDS_COORD_CHARS + 1];
    snprintf(text, sizeof text, "%08X", (unsigned)(uint32_t)value);
    KitSetText(field, text);
}

static void ShapeChosen(const char* path)
{
    const char* leaf = path;
    for (const char* p = path; *p; p++)
        if (*p == '/' || *p == '\\') leaf = p + 1;
    if (leaf > path && (size_t)(leaf - path) < sizeof addShapes.folder) {
        size_t n = leaf - 1 == path ? 1 : (size_t)(leaf - 1 - path);   // the root keeps its '/'
        memcpy(addShapes.folder, path, n);
        addShapes.folder[n] = 0;
    }
    // A name too long for the field can be no world's shape: the field would hold a stranger.
    if (StrLen(leaf) > ADDS_SHAPE_CHARS) {
        MsgBoxError(kRefusalTitle, WORLD_ERR_SHAPE_MISSING);
        return;
    }
    KitSetText(addShapes.shape, leaf);
}

static int AddShapesProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    switch (message) {
    case WM_CREATE: {
        addShapes.window = self;
        addShapes.x = KitField(X_FIELD_X, COORD_Y, COORD_WIDTH, addShapes.xText, ADDS_COORD_CHARS);
        addShapes.z = KitField(Z_FIELD_X, COORD_Y, COORD_WIDTH, addShapes.zText, ADDS_COORD_CHARS);
        addShapes.shape = KitField(SHAPE_FIELD_X, SHAPE_Y, SHAPE_WIDTH, addShapes.shapeText, ADDS_SHAPE_CHARS);
        addShapes.browse = KitButton(BROWSE_X, BROWSE_Y, BROWSE_WIDTH, BUTTON_PUSH, "Browse");
        addShapes.dy = KitRadio(DY_X, TOGGLE_Y, TOGGLE_WIDTH, TOGGLE_GROUP, "Dy");
        addShapes.tr = KitRadio(TR_X, TOGGLE_Y, TOGGLE_WIDTH, TOGGLE_GROUP, "Tr");
        addShapes.add = KitButton(ADD_X, ADD_Y, ADD_WIDTH, BUTTON_PUSH, "Add");
        addShapes.name = 0;
        KitSetState(addShapes.dy, 1);
        SetDynamic(1);
        EditSetTool(EDIT_TOOL_SHAPE_POSITION, 0);
        return 1;
    }
    case WM_DESTROY:
        if (self == addShapes.window) addShapes.window = addShapes.x = addShapes.z = addShapes.shape = addShapes.name = addShapes.dy = addShapes.tr = addShapes.refocus = 0;
        return 1;
    case WM_DRAWCLIENT:
        KitClearClient();
        KitPrint(X_LABEL_X, COORD_Y + LABEL_DOWN, DrawTextColour(), "X:");
        KitPrint(Z_LABEL_X, COORD_Y + LABEL_DOWN, DrawTextColour(), "Z:");
        KitPrint(SHAPE_LABEL_X, SHAPE_Y + LABEL_DOWN, DrawTextColour(), "Shape:");
        if (addShapes.dynamic) KitPrint(NAME_LABEL_X, NAME_Y + LABEL_DOWN, DrawTextColour(), "Name:");
        return 0;
    case WM_PRESSED:
        if (self != addShapes.window) return 0;
        if (*p1 && (sender == addShapes.dy || sender == addShapes.tr)) SetDynamic(sender == addShapes.dy);
        else if (*p1 && sender == addShapes.add) Add();
        else if (*p1 && sender == addShapes.browse && !FileSelOpen(kBrowseTitle, addShapes.folder, kShapePattern, self))
            LogPrintf(LOG_WARN, "WORLD: the shape selector did not open");
        return 0;
    case WM_TICK:
        // The box took the keys and gives them to no one when it goes.
        if (self == addShapes.window && addShapes.refocus && !WinModal()) {
            KitFocusAll(addShapes.refocus);
            addShapes.refocus = 0;
        }
        return 1;
    case PANEL_MSG_POSITION_X:
        if (self == addShapes.window) Position(addShapes.x, *p1);
        return 0;
    case PANEL_MSG_POSITION_Z:
        if (self == addShapes.window) Position(addShapes.z, *p1);
        return 0;
    case PANEL_MSG_POSITION_Y: return 0;   // the shape goes to the ground: its height is not typed
    case FILESEL_CHOSEN:
        if (self == addShapes.window && *p1) ShapeChosen((const char*)*p1);
        return 0;
    case WM_EDITCHANGED:
    case WM_EDITENTER:
    case WM_EDITESCAPE: return 0;
    default: return 1;
    }
}

void AddShapesRegister(void)
{
    addShapes = {};
    StrCopy(addShapes.xText, "0");
    StrCopy(addShapes.zText, "0");
    WinCreateClass(CLASS_ADD_SHAPES_PANEL, CLASS_FRAME, 0, AddShapesProc);
}
