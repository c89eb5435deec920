#include "worldedit/worldedit.h"

#include "frontend/editor.h"
#include "kernel/app.h"
#include "worldedit/addshapes.h"
#include "worldedit/editshapes.h"
#include "worldedit/nodespanel.h"
#include "worldedit/worldview.h"
#include "worldedit/worldpanel.h"

static void RegisterClasses(void)
{
    WorldPanelRegister();
    AddShapesRegister();
    EditShapesRegister();
    NodesPanelRegister();
}

static const EditorPanels kWorldEditPanels = {RegisterClasses, WorldPanelFileName, WorldPanelFolder, WorldPanelName,
                                               WorldPanelRestoreNames, WorldPanelDropFile, WorldPanelSave, WorldPanelCommand};

void WorldEditInstall(void)
{
    EditorSetPanels(EDITOR_WORLD, &kWorldEditPanels);
    WorldViewInstall();
}
