#include "panels/scenepanel.h"

#include <cstdio>

#include "base/maths.h"
#include "platform/platform.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/panelkit.h"

// Each slider's name stands left of it, its value right of it (the labels' x in window
// coordinates: the border is one pixel).
enum { SLIDER_COUNT = 8, SLIDER_X = 110, SLIDER_W = 80, LABEL_X = 11, VALUE_X = SLIDER_X + SLIDER_W + 7 };

static const SceneValues kDefaults = {{8192, 8192, 8192}, {16384, 16384, 16384}, 8192, 0};

static const struct {
    const char* label;
    int y;
} kSliders[SLIDER_COUNT] = {
    {"Ambient Red", 36},  {"Ambient Green", 52}, {"Ambient Blue", 68}, {"Distant Red", 100},
    {"Distant Green", 116}, {"Distant Blue", 132}, {"Light Pitch", 164}, {"Light Heading", 180},
};

static struct {
    SceneValues values;
    char labels[SLIDER_COUNT][SCENE_LABEL_MAX];
} scene;

struct SceneData {
    WinId slider[SLIDER_COUNT];
    WinId ok;
};

const SceneValues* ScenePanelValues(void) { return &scene.values; }
void ScenePanelSetValues(const SceneValues* values) { scene.values = *values; }

int ScenePitchDegrees(int32_t pitch) { return -(pitch * 90 / SCENE_ONE); }
int SceneHeadingDegrees(int32_t heading) { return heading * 360 / SCENE_ONE % 360; }

// The slider's value, in table order.
static int32_t* Value(int i)
{
    SceneValues& v = scene.values;
    return i < 3 ? &v.ambient[i] : i < 6 ? &v.distant[i - 3] : i == 6 ? &v.pitch : &v.heading;
}

// The number a slider's label shows: the value, or degrees for the light's direction.
static int Shown(int i)
{
    return i == 6 ? ScenePitchDegrees(scene.values.pitch) : i == 7 ? SceneHeadingDegrees(scene.values.heading) : *Value(i);
}

static void FormatLabels(void)
{
    for (int i = 0; i < SLIDER_COUNT; i++) snprintf(scene.labels[i], sizeof scene.labels[i], "%s %d", kSliders[i].label, Shown(i));
}

// ============================================================================================
// Lighting
// ============================================================================================

void SceneLight(const SceneValues* v, int fullBright, int32_t ambient[3], int16_t direction[3], int32_t distant[3])
{
    for (int i = 0; i < 3; i++) {
        ambient[i] = fullBright ? SCENE_ONE : v->ambient[i];
        distant[i] = fullBright ? 0 : v->distant[i];
    }
    // The heading turns about the vertical axis (a full turn in 16384 steps, four angle units
    // each); the pitch tilts the direction down from the horizontal (a quarter turn = 0x4000).
    int32_t heading = v->heading * 4, pitch = v->pitch;
    int32_t ch = FixCos(heading), sh = FixSin(heading), cp = FixCos(pitch), sp = FixSin(pitch);
    direction[0] = (int16_t)-FixMul(sh, cp);
    direction[1] = (int16_t)-sp;
    direction[2] = (int16_t)FixMul(ch, cp);
}

// ============================================================================================
// Panel
// ============================================================================================

static int SceneProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    SceneData* d = (SceneData*)WinGetData();
    switch (message) {
    case WM_CREATE: {
        SceneData c{};
        for (int i = 0; i < SLIDER_COUNT; i++) {
            c.slider[i] = KitSlider(SLIDER_X, kSliders[i].y, SLIDER_W, SCENE_ONE + 1, *Value(i) + 1);
        }
        c.ok = KitButton(10, 250, 40, BUTTON_PUSH, "Ok");
        KitSetTitle(self, "Scene Setup");
        *(SceneData*)WinGetData() = c;
        WinSetFocus(self);
        return 0;
    }
    case WM_DRAWCLIENT: {
        KitClearClient();
        // The labels show the values stored so far; the sliders' new values are taken next,
        // so a change shows from the next redraw on.
        FormatLabels();
        for (int i = 0; i < SLIDER_COUNT; i++) {
            KitPrint(LABEL_X, kSliders[i].y + 2, DrawTextColour(), "%s", kSliders[i].label);
            KitPrint(VALUE_X, kSliders[i].y + 2, DrawTextColour(), "%d", Shown(i));
        }
        for (int i = 0; i < SLIDER_COUNT; i++) {
            ControlInfo c;
            if (ControlDescribe(d->slider[i], &c)) *Value(i) = c.state - 1;
        }
        return 0;
    }
    case WM_PRESSED:
        if (*p1 && sender == d->ok) WinClose(self);
        return 0;
    // The panel has only "Ok": Escape and Enter both close it.
    case WM_FOCUS: return 0;
    case WM_KEY:
        if (*p1 == CH_ESCAPE || *p1 == CH_ENTER) WinClose(self);
        return 0;
    case WM_SLIDERPOS: return 0;
    default: return 1;
    }
}

int ScenePanelTexts(WinId, const char** out, int max)
{
    FormatLabels();
    int n = 0;
    for (; n < SLIDER_COUNT && n < max; n++) out[n] = scene.labels[n];
    return n;
}

void ScenePanelRegister(void)
{
    scene.values = kDefaults;
    WinCreateClass(CLASS_SCENE_PANEL, CLASS_FRAME, sizeof(SceneData), SceneProc);
}
