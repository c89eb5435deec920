// The Object panel (class 0x100d): loading, saving and merging shape files, importing 3DS
// ASCII listings and models from other tools, New, Shadow, the mirrors, Optimise and Centre, and the buttons that open
// the Create Object, Object Scale and Object Parameters dialogs (objdlg.h). It keeps the
// current shape file's name and the folder the shape file selector starts in.
#pragma once
#include <cstddef>

enum {
    OBJ_NAME_MAX = 260,   // bytes of the current name, terminator included
};

// Registers the panel and its dialogs; the current name goes back to "UNTITLED.SHP" and the
// folder to the working folder.
void ObjPanelRegister(void);
// The current shape file's name (without its folder), Save's default name.
const char* ObjPanelShapeName(void);
// The folder the shape file selectors start in ("" for the working folder).
const char* ObjPanelFolder(void);
// After a recovery: the folder and the name the recovered shape was edited under.
void ObjPanelRestoreNames(const char* folder, const char* name, int hasFile);
// A new object (New, Create Object) is "UNTITLED.SHP" until it is saved under a name.
void ObjPanelSetUntitled(void);
// Saves under the current name, or opens the save selector for an untitled shape (the
// EditorPanels save: EDITOR_SAVE_*).
int ObjPanelSave(void);
// The editor's shortcuts (EDITOR_COMMAND_*): Save, Load's selector, New (each asking about
// unsaved work as its button does) and Delete (the Mesh panel's "Del").
void ObjPanelCommand(int command);
// The name an imported 3DS listing's or model's shape takes: its own with the shape extension
// ("GRID.ASC" gives "GRID.SHP", "MODEL.glb" "MODEL.SHP", "car.gltf" "car.shp").
void ObjPanelImportedName(const char* leaf, char* out, size_t size);
// Saves never write a shape over a file of another kind (a listing whose name the user kept,
// say): when the file at path is one, a "File Error" box says so and 1 is returned.
int ObjPanelRefuseForeign(const char* path);
// A file dropped on the window: loaded, or imported (listings and models), as Load does.
void ObjPanelDropFile(const char* path);
