// The shape as the front end's editor stage sees the Shape Editor's document: the shape
// manager's start, undo and history, its bytes for unsaved work and recovery, how a shape
// file is told by its first bytes, the deferred sort and the dump's "shape" section. The
// World Editor starts the shape manager too (its worldshapes are shapes).
#pragma once
#include <cstddef>
#include <cstdint>

struct History;

void ShapeDocInstall(size_t undoBytes);
void ShapeDocUndo(void);
void ShapeDocRedo(void);
History* ShapeDocHistory(void);
const uint8_t* ShapeDocBytes(uint32_t* size);
uint32_t ShapeDocCapacity(void);
const char* ShapeDocPrepareCopy(uint8_t* out, uint32_t capacity, uint32_t* size);
const char* ShapeDocLoadRecovered(const char* path);
int ShapeDocIsShape(const uint8_t* head);
void ShapeDocRequest(int request);
// Registers the dump's "shape" section.
void ShapeDocRegisterDump(void);
