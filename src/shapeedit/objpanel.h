// The Object panel (class 0x100d): loading, saving and merging shape files, importing 3DS
// ASCII listings, New, Shadow, the mirrors, Optimise and Centre, and the buttons that open
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
// Loads a shape file as Load does with the file chosen in its selector (a file opened from
// outside: the command line, another start); a failure gets Load's "File Error" box.
void ObjPanelOpenFile(const char* path);
// A new object (New, Create Object) is "UNTITLED.SHP" until it is saved under a name.
void ObjPanelSetUntitled(void);
// The name an imported 3DS listing's shape takes: its own with the shape extension
// ("GRID.ASC" gives "GRID.SHP").
void ObjPanelImportedName(const char* leaf, char* out, size_t size);
// Saves never write a shape over a file of another kind (a listing whose name the user kept,
// say): when the file at path is one, a "File Error" box says so and 1 is returned.
int ObjPanelRefuseForeign(const char* path);
