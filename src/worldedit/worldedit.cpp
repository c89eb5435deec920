#include "worldedit/worldedit.h"

#include "frontend/editor.h"
#include "kernel/app.h"
#include "worldedit/addshapes.h"
#include "worldedit/worldpanel.h"

static void RegisterClasses(void)
{
    WorldPanelRegister();
    AddShapesRegister();
}

static const EditorPanels kWorldEditPanels = {RegisterClasses, WorldPanelFileName};

void WorldEditInstall(void) { EditorSetPanels(EDITOR_WORLD, &kWorldEditPanels); }
