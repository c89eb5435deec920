#include "worldedit/worldedit.h"

#include "frontend/editor.h"
#include "kernel/app.h"
#include "worldedit/editshapes.h"
#include "worldedit/nodespanel.h"

// Each panel module registers its classes here as it lands.
static void RegisterClasses(void)
{
    EditShapesRegister();
    NodesPanelRegister();
}

// The world file's name, until the World panel holds one.
static const char* FileName(void) { return ""; }

static const EditorPanels kWorldEditPanels = {RegisterClasses, FileName};

void WorldEditInstall(void) { EditorSetPanels(EDITOR_WORLD, &kWorldEditPanels); }
