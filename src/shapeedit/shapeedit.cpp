#include "shapeedit/shapeedit.h"

#include "frontend/editor.h"
#include "kernel/app.h"
#include "shapes/shape.h"
#include "shapeedit/mapping.h"
#include "shapeedit/meshpanel.h"
#include "shapeedit/objpanel.h"
#include "shapeedit/pointname.h"
#include "shapeedit/shapedoc.h"
#include "shapeedit/shapeview.h"
#include "shapeedit/toolpanels.h"

static void RegisterClasses(void)
{
    ObjPanelRegister();
    ToolPanelsRegister();
    MeshPanelRegister();
    MappingRegisterClasses();
    PointNameRegisterClass();
}

static const EditorPanels kShapeEditPanels = {
    .registerClasses = RegisterClasses,
    .fileName = ObjPanelShapeName,
    .folder = ObjPanelFolder,
    .name = ObjPanelShapeName,
    .restoreNames = ObjPanelRestoreNames,
    .dropFile = ObjPanelDropFile,
    .save = ObjPanelSave,
    .command = ObjPanelCommand,
    .install = ShapeDocInstall,
    .uninstall = nullptr,
    .undo = ShapeDocUndo,
    .redo = ShapeDocRedo,
    .history = ShapeDocHistory,
    .bytes = ShapeDocBytes,
    .capacity = ShapeDocCapacity,
    .prepareCopy = ShapeDocPrepareCopy,
    .loadRecovered = ShapeDocLoadRecovered,
    .isDocument = ShapeDocIsShape,
    .largestDocument = SHAPE_MAX_FILE_SIZE,
    .texturesReloaded = nullptr,
    .request = ShapeDocRequest,
};

void ShapeEditInstall(void)
{
    EditorSetPanels(EDITOR_SHAPE, &kShapeEditPanels);
    ShapeViewInstall();
    ShapeDocRegisterDump();
}
