// The World Editor's naming dialogs (Building Name, Node Name): one field for a four-character
// name, "Ok" and "Cancel" (Enter and Escape). Ok hands the text to the dialog's accept
// function; a refusal keeps the dialog open with the keys on the field, so it can be mended.
#pragma once
#include <cstdint>

#include "toolkit/win.h"

// 0 when the text was taken (the dialog closes), else the dialog stays.
typedef int (*NameDlgAcceptFn)(const char* text);

// Registers a dialog class; its dialog, if one is open, is forgotten.
void NameDlgRegister(uint32_t cls);
// Opens the class's dialog at its place, its field holding the name (0: empty), or gives an
// open one the keys back. The dialog, or 0 when it could not be made.
WinId NameDlgOpen(uint32_t cls, const char* title, uint32_t name, NameDlgAcceptFn accept);
// The class's open dialog, or 0.
WinId NameDlgWindow(uint32_t cls);
