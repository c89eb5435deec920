#include "worldedit/worldedit.h"

#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/msgbox.h"
#include "kernel/app.h"
#include "world/net.h"
#include "world/worldm.h"
#include "worldedit/addshapes.h"
#include "worldedit/editshapes.h"
#include "worldedit/nodespanel.h"
#include "worldedit/worlddoc.h"
#include "worldedit/worldview.h"
#include "worldedit/worldpanel.h"

static void RegisterClasses(void)
{
    WorldPanelRegister();
    AddShapesRegister();
    EditShapesRegister();
    NodesPanelRegister();
}

static const EditorPanels kWorldEditPanels = {
    .registerClasses = RegisterClasses,
    .fileName = WorldPanelFileName,
    .folder = WorldPanelFolder,
    .name = WorldPanelName,
    .restoreNames = WorldPanelRestoreNames,
    .dropFile = WorldPanelDropFile,
    .save = WorldPanelSave,
    .command = WorldPanelCommand,
    .install = WorldDocInstall,
    .uninstall = WorldDocUninstall,
    .undo = WorldDocUndo,
    .redo = WorldDocRedo,
    .history = WorldDocHistory,
    .bytes = WorldDocBytes,
    .capacity = WorldDocCapacity,
    .prepareCopy = nullptr,
    .loadRecovered = WorldDocLoadRecovered,
    .isDocument = WorldDocIsWorld,
    .largestDocument = WORLDM_CAPACITY,
    .texturesReloaded = WorldDocTexturesReloaded,
    .request = WorldDocRequest,
};

void WorldEditInstall(void)
{
    EditorSetPanels(EDITOR_WORLD, &kWorldEditPanels);
    WorldViewInstall();
    WorldDocRegisterDump();
    // The world manager's result codes are the ones the boxes name.
    MsgBoxSetErrorTexts(WorldMErrorText);
    EditSetDefaultNodeClearance(NET_NODE_CLEARANCE);
}
