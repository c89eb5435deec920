// The world as the front end's editor stage sees the World Editor's document: the world
// manager's start and end, undo and history, its image for unsaved work and recovery, how a
// world file is told by its first bytes, the terrain's render materials, the deferred work
// (delete the net's shapes, build the monorail, save the runtime world) and the dump's "world"
// section.
#pragma once
#include <cstddef>
#include <cstdint>

struct History;

void WorldDocInstall(size_t undoBytes);
void WorldDocUninstall(void);
void WorldDocUndo(void);
void WorldDocRedo(void);
History* WorldDocHistory(void);
const uint8_t* WorldDocBytes(uint32_t* size);
uint32_t WorldDocCapacity(void);
const char* WorldDocLoadRecovered(const char* path);
int WorldDocIsWorld(const uint8_t* head);
void WorldDocTexturesReloaded(void);
void WorldDocRequest(int request);
// Registers the dump's "world" section.
void WorldDocRegisterDump(void);
