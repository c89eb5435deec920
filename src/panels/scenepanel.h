// The Scene Setup panel (class 0x1012, opened by a view's "S" button): sliders for the ambient
// light, the distant light's colour and its pitch and heading, the values that the 3D views
// hand to Draw3D's lighting. The values live while the editor runs and are not saved.
#pragma once
#include <cstdint>

#include "toolkit/win.h"

enum {
    SCENE_ONE = 16384,         // colours: 1.0; pitch: a quarter turn; heading: a full turn
    SCENE_LABEL_MAX = 32,
    // Wide enough for each slider's name on its left and its value on its right.
    SCENE_PANEL_WIDTH = 250,
    SCENE_PANEL_HEIGHT = 300,
};

struct SceneValues {
    int32_t ambient[3];        // 0..16384 each, 2.14
    int32_t distant[3];
    int32_t pitch;             // 0..16384, 16384 = straight down
    int32_t heading;           // 0..16384, 16384 = a full turn
};

// Registers the panel and sets the values to their defaults (ambient 8192, distant 16384,
// pitch 8192, heading 0).
void ScenePanelRegister(void);
const SceneValues* ScenePanelValues(void);
void ScenePanelSetValues(const SceneValues* values);

// The degrees the labels show: pitch as -(pitch x 90 / 16384), heading as
// (heading x 360 / 16384) mod 360, both divided towards zero.
int ScenePitchDegrees(int32_t pitch);
int SceneHeadingDegrees(int32_t heading);

// What Draw3D's lighting gets: the ambient and distant colours, and the direction the distant
// light travels (2.14, world space): along the heading, tilted down by the pitch. Full bright
// lights everything by the ambient alone, at full strength.
void SceneLight(const SceneValues* v, int fullBright, int32_t ambient[3], int16_t direction[3], int32_t distant[3]);
// The labels the panel shows beside its sliders, for the dump of what the screen holds: up to
// max of them in out; the count written.
int ScenePanelTexts(WinId window, const char** out, int max);
