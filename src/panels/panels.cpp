#include "panels/panels.h"

#include "panels/matpanel.h"
#include "panels/palpanel.h"
#include "panels/scenepanel.h"

void PanelsRegisterClasses(const char* materialsFile)
{
    MatPanelRegister();
    MatPanelSetFileName(materialsFile);
    ScenePanelRegister();
    PalPanelRegister();
}

const PanelTexts kPanelTexts[] = {
    {CLASS_MAT_NAME, MatPanelNameTexts},
    {CLASS_MAT_SWATCH, MatPanelSwatchTexts},
    {CLASS_SCENE_PANEL, ScenePanelTexts},
};
const int kPanelTextsCount = sizeof kPanelTexts / sizeof kPanelTexts[0];
