// What the editors' document panels (Object, World) share: the panel that holds Load, Save and
// New for the edited file. An action whose unsaved-work question was answered later goes on in
// the panel, opened again when it went meanwhile; the editor's Save and its shortcuts go
// through the same actions as the buttons.
#pragma once
#include <cstdint>

#include "toolkit/win.h"

struct DocPanel {
    uint32_t panelClass;
    int load, save, fresh;           // the panel's action numbers: Load, Save and New
    int* pending;                    // the action whose file the selector is choosing
    int* confirmed;                  // set while a resumed action runs
    void (*act)(WinId panel, int action);
    // The edited file's name is known: Save writes it at once (0, or 1 refused with its box).
    int (*hasFile)(void);
    int (*saveToFile)(void);
    void (*deleteSelection)(void);   // the Delete shortcut
};

// The panel shown in the menu bar (opened when it is closed); 0 when it cannot be.
WinId DocPanelShow(const DocPanel& panel);
// Runs an action again in the shown panel, its question answered.
void DocPanelResume(const DocPanel& panel, int action);
// The panel's unsaved-work question for an action that replaces the document: 1 to go on now,
// 0 when it waits for the answer (resume is then called with it).
int DocPanelMayReplace(const DocPanel& panel, void (*resume)(void));
// Save: EDITOR_SAVE_* (frontend/editor.h).
int DocPanelSave(const DocPanel& panel);
// The editor's shortcuts: EDITOR_COMMAND_*.
void DocPanelCommand(const DocPanel& panel, int command);
