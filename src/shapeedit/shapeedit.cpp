#include "shapeedit/shapeedit.h"

#include "frontend/editor.h"
#include "kernel/app.h"
#include "shapeedit/mapping.h"
#include "shapeedit/meshpanel.h"
#include "shapeedit/objpanel.h"
#include "shapeedit/pointname.h"
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

static const EditorPanels kShapeEditPanels = {RegisterClasses, ObjPanelShapeName, ObjPanelFolder, ObjPanelShapeName,
                                               ObjPanelRestoreNames, ObjPanelDropFile, ObjPanelSave, ObjPanelCommand};

void ShapeEditInstall(void)
{
    EditorSetPanels(EDITOR_SHAPE, &kShapeEditPanels);
    ShapeViewInstall();
}
