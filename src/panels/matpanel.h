// The materials panel (class 0x1002): the current material's swatch (0x1003) and name
// (0x1004), stepping through the list, adding and deleting materials, loading, saving and
// merging MAT files, and the view tools that assign ("Set") or pick ("Get") materials. A click
// on the swatch opens the Edit Material dialog (matedit.h), one on the name the Select
// Material dialog (0x1006), whose "Rename" renames the chosen material.
#pragma once
#include "toolkit/win.h"


// Registers the panel, the swatch, the name field and the Select Material dialog.
void MatPanelRegister(void);

// Renames a material as the user asked: the Dummy, an empty name and a name that another
// material has already (letter case ignored) are refused in an "Error" box. 1 when the name
// changed, 0 otherwise (refused or the same).
int MatPanelRename(int index, const char* name);

// The name field's text, the current material's name, for the dump of what the screen holds:
// written to out[0] when max allows; the count written.
int MatPanelNameTexts(WinId window, const char** out, int max);
// The swatch's text for the dump: "Texture missing" while the current material names a
// texture that could not be loaded (the swatch says so), else none.
int MatPanelSwatchTexts(WinId window, const char** out, int max);
// The file the panel's "Save" offers: the materials file last loaded or saved.
const char* MatPanelFileName(void);
// 0 while that is the untitled name: the materials have no file yet.
int MatPanelHasFile(void);
// The materials were loaded from this file outside the panel (the settings' `materials=`):
// Save offers it, in its folder.
void MatPanelSetFileName(const char* path);
