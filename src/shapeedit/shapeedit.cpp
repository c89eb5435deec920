#include "shapeedit/shapeedit.h"

#include "frontend/editor.h"
#include "kernel/app.h"
#include "shapeedit/mapping.h"
#include "shapeedit/meshpanel.h"
#include "shapeedit/objpanel.h"
#include "shapeedit/toolpanels.h"

static void RegisterClasses(void)
{
    ObjPanelRegister();
    ToolPanelsRegister();
    MeshPanelRegister();
    MappingRegisterClasses();
}

static const EditorPanels kShapeEditPanels = {RegisterClasses, ObjPanelShapeName, ObjPanelFolder, ObjPanelShapeName,
                                               ObjPanelRestoreNames, ObjPanelOpenFile};

void ShapeEditInstall(void) { EditorSetPanels(EDITOR_SHAPE, &kShapeEditPanels); }
