#include "frontend/docpanel.h"

#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "frontend/unsaved.h"

WinId DocPanelShow(const DocPanel& panel) { return MenuBarShowPanel(EditorMenuBar(), panel.panelClass); }

void DocPanelResume(const DocPanel& panel, int action)
{
    WinId window = DocPanelShow(panel);
    if (!window) return;
    *panel.confirmed = 1;
    panel.act(window, action);
    *panel.confirmed = 0;
}

int DocPanelMayReplace(const DocPanel& panel, void (*resume)(void))
{
    return *panel.confirmed || UnsavedAsk(resume);
}

int DocPanelSave(const DocPanel& panel)
{
    if (panel.hasFile()) return panel.saveToFile() ? EDITOR_SAVE_FAILED : EDITOR_SAVE_DONE;
    WinId window = DocPanelShow(panel);
    if (!window) return EDITOR_SAVE_FAILED;
    panel.act(window, panel.save);
    return *panel.pending == panel.save ? EDITOR_SAVE_SELECTOR : EDITOR_SAVE_FAILED;
}

void DocPanelCommand(const DocPanel& panel, int command)
{
    switch (command) {
    case EDITOR_COMMAND_SAVE: DocPanelSave(panel); break;
    case EDITOR_COMMAND_OPEN:
    case EDITOR_COMMAND_NEW: {
        WinId window = DocPanelShow(panel);
        if (window) panel.act(window, command == EDITOR_COMMAND_OPEN ? panel.load : panel.fresh);
        break;
    }
    case EDITOR_COMMAND_DELETE:
        panel.deleteSelection();
        EditPickForget();
        break;
    default: break;
    }
}
