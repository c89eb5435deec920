// The Object panel's dialogs: Create Object (class 0x100f), Object Scale (0x1010) and Object
// Parameters (0x1023), each at most once on screen. Enter in a field means "Ok", Escape
// "Cancel"; each "Ok" is one undo step.
#pragma once
#include <cstdint>

#include "toolkit/win.h"


void ObjDlgRegister(void);
// Opens the dialog of that class, or gives the focus to the one already open. Its window.
WinId ObjDlgOpen(uint32_t classId);
// Closes every open dialog of the three (at the end of the input step).
void ObjDlgCloseAll(void);
