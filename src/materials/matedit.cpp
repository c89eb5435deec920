#include "materials/matedit.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/util/bytes.h"
#include "kernel/util/str.h"
#include "materials/matm.h"
#include "materials/matpanel.h"
#include "palette/image.h"
#include "palette/palm.h"
#include "platform/platform.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/panelhost.h"
#include "toolkit/text.h"

enum {
    EDIT_STYLE = FRAME_BORDER | FRAME_TITLE | FRAME_DRAG,
    FIELD_BUFFER = 17,
    // While the user types or picks a picture the field takes a path; the material keeps the
    // 8.3 name of the sprite it becomes.
    TEXTURE_PATH_CHARS = 255,
    NAME_CHARS = MAT_NAME_SIZE - 1,
    PICKER_SIDE = 16,
    PICKER_LEFT = 2,
    PICKER_TOP = 7,
    PICKER_CELL_W = 8,
    PICKER_CELL_H = 2,
    // Clear of their labels at x 10 ("Specular" the widest) and of the palette picker's right
    // edge ("Name:", "Tex:"); the fields hold a name of 15 letters whole.
    SLIDER_X = 62,
    FIELD_LABEL_X = 144,
    FIELD_X = 176,
    FIELD_WIDTH = 92,
};

// The sliders, in the order of the table; the colour ones exist only for untextured
// materials, red, green and blue only in RGB mode.
enum { S_AMBIENT, S_SPECULAR, S_DIFFUSE, S_SI, S_RED, S_GREEN, S_BLUE, S_ALPHA, S_COUNT };

struct SliderDef {
    const char* label;
    int y;
    size_t field;   // record offset
    int32_t max;
};

static const SliderDef kSliders[S_COUNT] = {
    {"Ambient", 91, MR_AMBIENT, MATEDIT_COEFF_MAX}, {"Specular", 106, MR_SPECULAR, MATEDIT_COEFF_MAX},
    {"Diffuse", 121, MR_DIFFUSE, MATEDIT_COEFF_MAX}, {"S.I.", 136, MR_SI, MATEDIT_COEFF_MAX},
    {"Red", 151, MR_RED, MATEDIT_COEFF_MAX},          {"Green", 166, MR_GREEN, MATEDIT_COEFF_MAX},
    {"Blue", 181, MR_BLUE, MATEDIT_COEFF_MAX},        {"Alpha", 196, MR_ALPHA, MATEDIT_ALPHA_MAX},
};

// The fields Cancel puts back: the colour words (the palette index is red's low byte), alpha
// and the texture name.
struct SavedPart {
    size_t offset, size;
};
static const SavedPart kLive[] = {{MR_RED, 12}, {MR_ALPHA, 4}, {MR_TEXTURE, MAT_TEXTURE_SIZE}};

// One dialog at a time: its controls, and the fields edit these buffers in place.
static struct {
    WinId window;
    int material;
    int done;                    // applied or put back: closing restores nothing more
    uint8_t saved[MAT_RECORD_SIZE];
    WinId slider[S_COUNT];
    int moved[S_COUNT];          // the user moved it: only then does it write
    WinId picker, name, texture, clear, cancel, ok;
    char nameText[FIELD_BUFFER], textureText[TEXTURE_PATH_CHARS + 1];
} me;

// ============================================================================================
// Slider rules
// ============================================================================================

int32_t MatEditSliderPosition(int32_t value, int32_t max)
{
    if (value < 0) value = 0;
    if (value > max) value = max;
    return value + 1;
}

int32_t MatEditSliderValue(int32_t position) { return position < 1 ? 0 : position - 1; }

static int32_t RecordValue(int s)
{
    const uint8_t* rec = MatMRecord(me.material);
    if (!rec) return 0;
    int32_t v = GetI32(rec, kSliders[s].field);
    // Coefficients are held as 16-bit values.
    return s <= S_SI ? (int32_t)(uint16_t)v : v;
}

static void WriteSlider(int s, int32_t v)
{
    int m = me.material;
    switch (s) {
    case S_AMBIENT: MatMSetAmbient(m, v); break;
    case S_SPECULAR: MatMSetSpecular(m, v); break;
    case S_DIFFUSE: MatMSetDiffuse(m, v); break;
    case S_SI: MatMSetSI(m, v); break;
    case S_RED: MatMSetRed(m, v); break;
    case S_GREEN: MatMSetGreen(m, v); break;
    case S_BLUE: MatMSetBlue(m, v); break;
    case S_ALPHA: MatMSetAlpha(m, v); break;
    default: break;
    }
}

static int SliderValue(int s)
{
    ControlInfo c;
    return ControlDescribe(me.slider[s], &c) ? MatEditSliderValue(c.state) : 0;
}

// ============================================================================================
// Palette picker
// ============================================================================================

int MatEditPickerIndex(int x, int y)
{
    if (x < PICKER_LEFT || y < PICKER_TOP) return -1;
    int c = (x - PICKER_LEFT) / PICKER_CELL_W, r = (y - PICKER_TOP) / PICKER_CELL_H;
    return c < PICKER_SIDE && r < PICKER_SIDE ? r * PICKER_SIDE + c : -1;
}

static int PickerProc(WinId, WinId, int message, WinParam* p1, WinParam* p2)
{
    int32_t* value = (int32_t*)WinGetData();
    switch (message) {
    case WM_CREATE: *value = 0; return 0;
    case WM_DRAWCLIENT: {
        int x0, y0, x1, y1;
        WinGetExtent(0, &x0, &y0, &x1, &y1);
        DrawFillRect(x0, y0, x1, y1, DrawBackground());
        for (int i = 0; i < PICKER_SIDE * PICKER_SIDE; i++) {
            int x = PICKER_LEFT + PICKER_CELL_W * (i % PICKER_SIDE), y = PICKER_TOP + PICKER_CELL_H * (i / PICKER_SIDE);
            DrawFillRect(x, y, x + PICKER_CELL_W - 1, y + PICKER_CELL_H - 1, i);
        }
        int x = PICKER_LEFT + PICKER_CELL_W * (*value % PICKER_SIDE), y = PICKER_TOP + PICKER_CELL_H * (*value / PICKER_SIDE);
        DrawFillRect(x - 1, y - 1, x + PICKER_CELL_W, y + PICKER_CELL_H, DRAW_OUTLINE | DrawTextColour());
        return 0;
    }
    case WM_LPRESS_REGION: {
        int index = MatEditPickerIndex((int)*p1, (int)*p2);
        if (index >= 0) *value = index;
        return 0;
    }
    case MATPICK_SET: *value = (int32_t)(*p1 & 0xFF); return 0;
    case MATPICK_GET: *p1 = *value; return 0;
    default: return 1;
    }
}

// ============================================================================================
// Dialog
// ============================================================================================

WinId MatEditWindow(void) { return me.window && WinIsWindow(me.window) ? me.window : 0; }

static WinId MakeButton(int x, int y, const char* label)
{
    WinId b = WinCreate(x, y, 50, 11, me.window, BUTTON_PUSH, CLASS_BUTTON);
    WinParam p1 = (WinParam)label, p2 = 0;
    WinSendMessage(b, WM_SETLABEL, &p1, &p2);
    return b;
}

static WinId MakeField(int y, char* buffer, const char* text, int limit)
{
    WinId f = WinCreate(FIELD_X, y, FIELD_WIDTH, 11, me.window, EDIT_ASCII, CLASS_EDIT);
    StrLCopy(buffer, text, (size_t)limit + 1);
    WinParam p1 = (WinParam)buffer, p2 = limit;
    WinSendMessage(f, WM_EDITSETBUFFER, &p1, &p2);
    return f;
}

static void MakeSlider(int s)
{
    WinId w = WinCreate(SLIDER_X, kSliders[s].y, 145, 11, me.window, 0, CLASS_SLIDER);
    WinParam range = kSliders[s].max + 1, position = MatEditSliderPosition(RecordValue(s), kSliders[s].max), zero = 0;
    WinSendMessage(w, WM_SLIDERSETRANGE, &range, &zero);
    WinSendMessage(w, WM_SLIDERSETPOS, &position, &zero);
    me.slider[s] = w;
    me.moved[s] = 0;
}

static void RemoveControl(WinId* w)
{
    if (*w && WinIsWindow(*w)) WinDestroy(*w);
    *w = 0;
}

// A textured material shows the four coefficients only; an untextured one its colour and
// alpha as well.
static void RebuildColour(void)
{
    int untextured = MatMGetTexture(me.material)[0] == 0;
    for (int s = S_RED; s <= S_ALPHA; s++) {
        int want = untextured && (s == S_ALPHA || MatMTrueColour());
        int have = me.slider[s] && WinIsWindow(me.slider[s]);
        if (want && !have) MakeSlider(s);
        else if (!want && have) {
            RemoveControl(&me.slider[s]);
            me.moved[s] = 0;
        }
    }
    int want = untextured && !MatMTrueColour();
    int have = me.picker && WinIsWindow(me.picker);
    if (want && !have) {
        me.picker = WinCreate(10, 21, 133, 46, me.window, 0, CLASS_MAT_PICKER);
        WinParam index = MatMGetPalette(me.material), zero = 0;
        WinSendMessage(me.picker, MATPICK_SET, &index, &zero);
    } else if (!want && have) {
        RemoveControl(&me.picker);
    }
}

// Puts back what the sliders and "Clear" wrote at once.
static void Restore(void)
{
    uint8_t* rec = MatMRecord(me.material);
    me.done = 1;
    if (!rec) return;
    int differs = 0;
    for (const SavedPart& p : kLive) {
        if (memcmp(rec + p.offset, me.saved + p.offset, p.size) == 0) continue;
        memcpy(rec + p.offset, me.saved + p.offset, p.size);
        differs = 1;
    }
    if (!differs) return;
    MatMReload();
    MatMSetTexturesDirty();
}

void MatEditCancel(void)
{
    if (!MatEditWindow()) return;
    if (!me.done) Restore();
    WinClose(me.window);
}

// The texture the field names: a sprite name as it stands, or a picture converted into a
// sprite beside the materials file (the working folder while it has none): 8-bit with the
// working palette in palette mode, 32-bit in true colour. 0 with the sprite's name in out, or
// 1 after a message naming the reason (the dialog stays open, nothing written).
static int TextureFromField(char out[MAT_TEXTURE_SIZE])
{
    const char* text = me.textureText;
    if (!ImgIsPictureName(text)) {
        if (StrLen(text) > MAT_TEXTURE_CHARS) {
            PanelHostMessage("Error", "A texture is a sprite name of at most 12 characters, or a picture file "
                                      "(PNG, JPEG, TGA, BMP, GIF) to make one of.");
            return 1;
        }
        StrLCopy(out, text, MAT_TEXTURE_SIZE);
        return 0;
    }
    std::string why;
    ImgPicture picture;
    ImgSpriteOptions o;
    uint8_t palette[256 * 3];
    if (MatMTrueColour()) {
        o.format = IMG_FORMAT_32;
    } else {
        PalMGetPalette(palette);
        o.palette = palette;
        o.paletteFirst = GetI16(PalMBlock(), 0);
        o.paletteCount = GetI16(PalMBlock(), 2);
    }
    std::vector<uint8_t> sprite;
    int failed = ImgLoad(text, &picture, why);
    if (!failed) {
        o.resizePow2 = picture.width > IMG_MAX_SIDE || picture.height > IMG_MAX_SIDE;
        failed = ImgToSprite(picture, o, sprite, nullptr, why);
    }
    std::string folder = MatPanelFileName();
    size_t slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? "" : folder.substr(0, slash + 1);
    std::vector<std::string> taken;
    std::string name;
    if (!failed) {
        name = ImgSpriteFileName(text, folder, taken);
        if (FileWrite((folder + name).c_str(), sprite.data(), sprite.size())) {
            failed = 1;
            why = "the sprite " + folder + name + " cannot be written";
        }
    }
    const char* leaf = strrchr(text, '/');
    leaf = leaf ? leaf + 1 : text;
    char message[512];
    if (failed) {
        snprintf(message, sizeof message, "%s cannot be used as a texture: %s.", leaf, why.c_str());
        PanelHostMessage("Error", message);
        return 1;
    }
    snprintf(message, sizeof message, "%s became the sprite %s in %s.", leaf, name.c_str(),
             !folder.empty()      ? folder.c_str()
             : MatPanelHasFile() ? "the working folder, beside the materials file"
                                 : "the working folder (the materials have no file yet)");
    PanelHostMessage("Texture", message);
    StrLCopy(out, name.c_str(), MAT_TEXTURE_SIZE);
    // The field shows what the material now names.
    WinParam p1 = (WinParam)out, zero = 0;
    WinSendMessage(me.texture, WM_EDITSETTEXT, &p1, &zero);
    return 0;
}

int MatEditDropPicture(const char* path)
{
    if (!me.window || !WinIsWindow(me.window) || me.done || !me.texture) return 0;
    WinParam p1 = (WinParam)path, zero = 0;
    WinSendMessage(me.texture, WM_EDITSETTEXT, &p1, &zero);
    return 1;
}

// "Ok": a refused name keeps the dialog open with nothing written.
static void Apply(WinId self)
{
    int m = me.material;
    int nameChanged = 0;
    if (StrICmp(me.nameText, MatMGetName(m)) != 0) {
        if (!MatPanelRename(m, me.nameText)) return;
        nameChanged = 1;
    } else {
        MatMSetName(m, me.nameText);   // a change of letter case only
    }
    static const int order[] = {S_SPECULAR, S_RED, S_GREEN, S_BLUE, S_DIFFUSE, S_AMBIENT, S_SI};
    for (int s : order)
        if (me.moved[s] && me.slider[s] && WinIsWindow(me.slider[s])) WriteSlider(s, SliderValue(s));
    if (me.picker && WinIsWindow(me.picker)) {
        WinParam index = 0, zero = 0;
        WinSendMessage(me.picker, MATPICK_GET, &index, &zero);
        MatMSetPalette(m, (int32_t)index);
    }
    char texture[MAT_TEXTURE_SIZE];
    if (TextureFromField(texture) != 0) return;
    int textureChanged = MatMSetTexture(m, texture);
    if (nameChanged || textureChanged) {
        MatMSetTexturesDirty();
    }
    me.done = 1;
    WinClose(self);
}

static void Pressed(WinId self, WinId button)
{
    if (me.done) return;
    if (button == me.clear) {
        WinParam empty = (WinParam) "", zero = 0;
        WinSendMessage(me.texture, WM_EDITSETTEXT, &empty, &zero);
        MatMClearTexture(me.material);
        MatMSetTexturesDirty();
        RebuildColour();
    } else if (button == me.cancel) {
        WinClose(self);
    } else if (button == me.ok) {
        Apply(self);
    }
}

static void DrawLabels(void)
{
    int x0, y0, x1, y1;
    WinGetExtent(0, &x0, &y0, &x1, &y1);
    DrawFillRect(x0, y0, x1, y1, DrawBackground());
    // Labels stand beside controls placed in window coordinates; the client starts lower.
    WinParam p1 = 0, p2 = 0;
    WinSendMessage(WIN_SELF, WM_REGION, &p1, &p2);
    int top = WinNoRect(p1) ? 0 : WinHi(p1);
    TextSetColour(DrawTextColour());
    TextSetFormat(TEXT_MODE_PLAIN, -1, 0, x1);
    for (int s = 0; s < S_COUNT; s++)
        if (me.slider[s]) TextPrint(10, kSliders[s].y - top + 2, "%s", kSliders[s].label);
    TextPrint(FIELD_LABEL_X, 10, "Name:");
    TextPrint(FIELD_LABEL_X, 26, "Tex:");
}

static int EditProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    switch (message) {
    case WM_CREATE: {
        me.window = self;
        // Ids of the last opening's controls may name other windows by now.
        for (WinId& w : me.slider) w = 0;
        me.picker = 0;
        for (int s = S_AMBIENT; s <= S_SI; s++) MakeSlider(s);
        me.name = MakeField(21, me.nameText, MatMGetName(me.material), NAME_CHARS);
        me.texture = MakeField(37, me.textureText, MatMGetTexture(me.material), TEXTURE_PATH_CHARS);
        me.clear = MakeButton(180, 53, "Clear");
        me.cancel = MakeButton(210, 121, "Cancel");
        me.ok = MakeButton(210, 136, "Ok");
        RebuildColour();
        // The keys come to the dialog until a field is clicked: Escape cancels at once.
        WinSetFocus(self);
        return 0;
    }
    case WM_DESTROY:
        if (me.window == self) {
            if (!me.done) Restore();
            me.window = 0;
        }
        return 1;
    case WM_DRAWCLIENT: DrawLabels(); return 0;
    case WM_TICK:
        if (!me.done) RebuildColour();
        return 0;
    case WM_SLIDERPOS:
        for (int s = 0; s < S_COUNT; s++) {
            if (me.done || sender != me.slider[s]) continue;
            me.moved[s] = 1;
            // Colour and alpha follow the slider at once; Cancel puts them back.
            if (s >= S_RED) WriteSlider(s, MatEditSliderValue((int32_t)*p1));
        }
        return 0;
    case WM_PRESSED:
        if (*p1) Pressed(self, sender);
        return 0;
    // Escape is "Cancel", in a field as well as with the dialog's own focus.
    case WM_EDITESCAPE:
        if (!me.done) WinClose(self);
        return 0;
    case WM_KEY:
        if (*p1 == CH_ESCAPE && !me.done) WinClose(self);
        return 0;
    case WM_FOCUS: return 0;
    case WM_EDITCHANGED:
    case WM_EDITENTER: return 0;
    default: return 1;
    }
}

WinId MatEditOpen(int material)
{
    if (WinId open = MatEditWindow()) return open;
    const uint8_t* rec = MatMRecord(material);
    if (material == 0 || !rec) return 0;
    me = {};
    me.material = material;
    memcpy(me.saved, rec, MAT_RECORD_SIZE);
    WinId w = WinCreate(25, 20, 270, 300, WIN_DESKTOP, EDIT_STYLE, CLASS_MAT_EDIT);
    WinParam title = (WinParam) "Edit Material", zero = 0;
    WinSendMessage(w, WM_SETTITLE, &title, &zero);
    return w;
}

void MatEditRegister(void)
{
    me = {};
    WinCreateClass(CLASS_MAT_EDIT, CLASS_FRAME, 4, EditProc);
    WinCreateClass(CLASS_MAT_PICKER, CLASS_FRAME, sizeof(int32_t), PickerProc);
}
