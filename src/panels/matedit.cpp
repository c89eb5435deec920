#include "panels/matedit.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/str.h"
#include "materials/matm.h"
#include "panels/matpanel.h"
#include "palette/image.h"
#include "palette/palm.h"
#include "platform/platform.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/panelhost.h"
#include "toolkit/panelkit.h"

enum {
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
    SLIDER_LENGTH = 145,
    // The labels' x in window coordinates (the border is one pixel); a label stands level
    // with its field.
    SLIDER_LABEL_X = 11,
    FIELD_LABEL_X = 145,
    NAME_Y = 21,
    TEX_Y = 37,
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
} matEdit;

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
    const uint8_t* rec = MatMRecord(matEdit.material);
    if (!rec) return 0;
    int32_t v = GetI32(rec, kSliders[s].field);
    // Coefficients are held as 16-bit values.
    return s <= S_SI ? (int32_t)(uint16_t)v : v;
}

static void WriteSlider(int s, int32_t v)
{
    int m = matEdit.material;
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
    return ControlDescribe(matEdit.slider[s], &c) ? MatEditSliderValue(c.state) : 0;
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

WinId MatEditWindow(void) { return matEdit.window && WinIsWindow(matEdit.window) ? matEdit.window : 0; }

// The controls are made inside the dialog's own messages: the current window is the dialog.
static WinId MakeField(int y, char* buffer, const char* text, int limit)
{
    StrLCopy(buffer, text, (size_t)limit + 1);
    return KitField(FIELD_X, y, FIELD_WIDTH, buffer, limit);
}

static void MakeSlider(int s)
{
    matEdit.slider[s] = KitSlider(SLIDER_X, kSliders[s].y, SLIDER_LENGTH, kSliders[s].max + 1,
                             MatEditSliderPosition(RecordValue(s), kSliders[s].max));
    matEdit.moved[s] = 0;
}

// A textured material shows the four coefficients only; an untextured one its colour and
// alpha as well.
static void RebuildColour(void)
{
    int untextured = MatMGetTexture(matEdit.material)[0] == 0;
    for (int s = S_RED; s <= S_ALPHA; s++) {
        int want = untextured && (s == S_ALPHA || MatMTrueColour());
        int have = matEdit.slider[s] && WinIsWindow(matEdit.slider[s]);
        if (want && !have) MakeSlider(s);
        else if (!want && have) {
            KitDestroy(&matEdit.slider[s]);
            matEdit.moved[s] = 0;
        }
    }
    int want = untextured && !MatMTrueColour();
    int have = matEdit.picker && WinIsWindow(matEdit.picker);
    if (want && !have) {
        matEdit.picker = WinCreate(10, 21, 133, 46, matEdit.window, 0, CLASS_MAT_PICKER);
        WinParam index = MatMGetPalette(matEdit.material), zero = 0;
        WinSendMessage(matEdit.picker, MATPICK_SET, &index, &zero);
    } else if (!want && have) {
        KitDestroy(&matEdit.picker);
    }
}

// Puts back what the sliders and "Clear" wrote at once.
static void Restore(void)
{
    uint8_t* rec = MatMRecord(matEdit.material);
    matEdit.done = 1;
    if (!rec) return;
    int differs = 0;
    for (const SavedPart& p : kLive) {
        if (memcmp(rec + p.offset, matEdit.saved + p.offset, p.size) == 0) continue;
        memcpy(rec + p.offset, matEdit.saved + p.offset, p.size);
        differs = 1;
    }
    if (!differs) return;
    MatMReload();
    MatMSetTexturesDirty();
}

void MatEditCancel(void)
{
    if (!MatEditWindow()) return;
    if (!matEdit.done) Restore();
    WinClose(matEdit.window);
}

// The texture the field names: a sprite name as it stands, or a picture converted into a
// sprite beside the materials file (the working folder while it has none): 8-bit with the
// working palette in palette mode, 32-bit in true colour. 0 with the sprite's name in out, or
// 1 after a message naming the reason (the dialog stays open, nothing written).
static int TextureFromField(char out[MAT_TEXTURE_SIZE])
{
    const char* text = matEdit.textureText;
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
    WinSendMessage(matEdit.texture, WM_EDITSETTEXT, &p1, &zero);
    return 0;
}

int MatEditDropPicture(const char* path)
{
    if (!matEdit.window || !WinIsWindow(matEdit.window) || matEdit.done || !matEdit.texture) return 0;
    WinParam p1 = (WinParam)path, zero = 0;
    WinSendMessage(matEdit.texture, WM_EDITSETTEXT, &p1, &zero);
    return 1;
}

// "Ok": a refused name keeps the dialog open with nothing written.
static void Apply(WinId self)
{
    int m = matEdit.material;
    int nameChanged = 0;
    if (StrICmp(matEdit.nameText, MatMGetName(m)) != 0) {
        if (!MatPanelRename(m, matEdit.nameText)) return;
        nameChanged = 1;
    } else {
        MatMSetName(m, matEdit.nameText);   // a change of letter case only
    }
    static const int order[] = {S_SPECULAR, S_RED, S_GREEN, S_BLUE, S_DIFFUSE, S_AMBIENT, S_SI};
    for (int s : order)
        if (matEdit.moved[s] && matEdit.slider[s] && WinIsWindow(matEdit.slider[s])) WriteSlider(s, SliderValue(s));
    if (matEdit.picker && WinIsWindow(matEdit.picker)) {
        WinParam index = 0, zero = 0;
        WinSendMessage(matEdit.picker, MATPICK_GET, &index, &zero);
        MatMSetPalette(m, (int32_t)index);
    }
    char texture[MAT_TEXTURE_SIZE];
    if (TextureFromField(texture) != 0) return;
    int textureChanged = MatMSetTexture(m, texture);
    if (nameChanged || textureChanged) {
        MatMSetTexturesDirty();
    }
    matEdit.done = 1;
    WinClose(self);
}

static void Pressed(WinId self, WinId button)
{
    if (matEdit.done) return;
    if (button == matEdit.clear) {
        WinParam empty = (WinParam) "", zero = 0;
        WinSendMessage(matEdit.texture, WM_EDITSETTEXT, &empty, &zero);
        MatMClearTexture(matEdit.material);
        MatMSetTexturesDirty();
        RebuildColour();
    } else if (button == matEdit.cancel) {
        WinClose(self);
    } else if (button == matEdit.ok) {
        Apply(self);
    }
}

static void DrawLabels(void)
{
    KitClearClient();
    // Labels stand beside controls placed in window coordinates.
    for (int s = 0; s < S_COUNT; s++)
        if (matEdit.slider[s]) KitPrint(SLIDER_LABEL_X, kSliders[s].y + 2, DrawTextColour(), "%s", kSliders[s].label);
    KitPrint(FIELD_LABEL_X, NAME_Y, DrawTextColour(), "Name:");
    KitPrint(FIELD_LABEL_X, TEX_Y, DrawTextColour(), "Tex:");
}

// The dialog's window data: four bytes it has always been given and never reads (its state is
// this module's). They are kept, as the memory line counts every window's bytes.
struct UnreadWindowData {
    int32_t unread;
};

static int EditProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    switch (message) {
    case WM_CREATE: {
        matEdit.window = self;
        // Ids of the last opening's controls may name other windows by now.
        for (WinId& w : matEdit.slider) w = 0;
        matEdit.picker = 0;
        for (int s = S_AMBIENT; s <= S_SI; s++) MakeSlider(s);
        matEdit.name = MakeField(NAME_Y, matEdit.nameText, MatMGetName(matEdit.material), NAME_CHARS);
        matEdit.texture = MakeField(TEX_Y, matEdit.textureText, MatMGetTexture(matEdit.material), TEXTURE_PATH_CHARS);
        matEdit.clear = KitButton(180, 53, KIT_BUTTON_WIDTH, BUTTON_PUSH, "Clear");
        matEdit.cancel = KitButton(210, 121, KIT_BUTTON_WIDTH, BUTTON_PUSH, "Cancel");
        matEdit.ok = KitButton(210, 136, KIT_BUTTON_WIDTH, BUTTON_PUSH, "Ok");
        RebuildColour();
        // The keys come to the dialog until a field is clicked: Escape cancels at once.
        WinSetFocus(self);
        return 0;
    }
    case WM_DESTROY:
        if (matEdit.window == self) {
            if (!matEdit.done) Restore();
            matEdit.window = 0;
        }
        return 1;
    case WM_DRAWCLIENT: DrawLabels(); return 0;
    case WM_TICK:
        if (!matEdit.done) RebuildColour();
        return 0;
    case WM_SLIDERPOS:
        for (int s = 0; s < S_COUNT; s++) {
            if (matEdit.done || sender != matEdit.slider[s]) continue;
            matEdit.moved[s] = 1;
            // Colour and alpha follow the slider at once; Cancel puts them back.
            if (s >= S_RED) WriteSlider(s, MatEditSliderValue((int32_t)*p1));
        }
        return 0;
    case WM_PRESSED:
        if (*p1) Pressed(self, sender);
        return 0;
    // Escape is "Cancel", in a field as well as with the dialog's own focus.
    case WM_EDITESCAPE:
        if (!matEdit.done) WinClose(self);
        return 0;
    case WM_KEY:
        if (*p1 == CH_ESCAPE && !matEdit.done) WinClose(self);
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
    matEdit = {};
    matEdit.material = material;
    memcpy(matEdit.saved, rec, MAT_RECORD_SIZE);
    return KitDialog(CLASS_MAT_EDIT, 25, 20, 270, 300, "Edit Material");
}

void MatEditRegister(void)
{
    matEdit = {};
    WinCreateClass(CLASS_MAT_EDIT, CLASS_FRAME, sizeof(UnreadWindowData), EditProc);
    WinCreateClass(CLASS_MAT_PICKER, CLASS_FRAME, sizeof(int32_t), PickerProc);
}
