// The panels both editors share (the palette, the materials with Edit Material, Scene Setup),
// as the editor start sees them: one call registers their classes, and a table names the
// windows whose texts the dump of the screen reads from them (the front end registers those,
// as the panels cannot reach the dump).
#pragma once
#include <cstdint>

#include "toolkit/win.h"

// The materials panel's Save offers `materialsFile` (the file the settings loaded the
// materials from; null or empty for none).
void PanelsRegisterClasses(const char* materialsFile);

typedef int (*PanelTextsFn)(WinId window, const char** out, int max);
struct PanelTexts {
    uint32_t classId;
    PanelTextsFn texts;
};
extern const PanelTexts kPanelTexts[];
extern const int kPanelTextsCount;
