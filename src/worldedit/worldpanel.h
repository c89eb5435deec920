// The World panel (class 0x1016): the world file's Load, Save, New and Save Runtime. It keeps
// the current world file's name and the folder the file selectors start in.
#pragma once

enum {
    WORLDP_NAME_MAX = 260,   // bytes of the current name, terminator included
};

void WorldPanelRegister(void);
// The current world file as a path: the folder last chosen in a selector and the current name;
// "" while the world is untitled (at start and after "New"). The runtime save writes beside it.
const char* WorldPanelFileName(void);
// The current name alone ("UNTITLED.WLE" for an untitled world: Save proposes it), and the
// folder the selectors start in ("" for the working folder).
const char* WorldPanelName(void);
const char* WorldPanelFolder(void);
// Loads a world file as Load does with the file chosen in its selector (a file opened from
// outside); a failure gets Load's "Error During Load" box.
void WorldPanelOpenFile(const char* path);
// After a recovery: the folder and the name the recovered world was edited under, and
// whether it had a file of its own (an untitled world has none).
void WorldPanelRestoreNames(const char* folder, const char* name, int hasFile);
