// An edit history of one document held as a byte image: the states before each edit (the
// undo steps) and the states an Undo left (the redo steps). A step keeps only the used bytes
// of its state. The history is bounded by a number of steps and by the bytes it holds; the
// oldest undo steps go first. Every state carries a number, so that whoever saves the document
// can tell whether the state on screen is the one saved (Undo back to it counts as saved).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

enum {
    HISTORY_STEPS_DEFAULT = 64,
    HISTORY_MEGABYTES_DEFAULT = 64,
};
// The tolbex.ini key of the bound in MiB (one bound for each editor's history).
#define HISTORY_MEMORY_KEY "undomemory"

struct History;

History* HistoryCreate(void);
void HistoryDestroy(History* h);
// Bounds for the steps kept (undo and redo together) and the bytes they hold; 0 leaves a
// bound as it is. A smaller bound drops the oldest undo steps at once.
void HistorySetBounds(History* h, int maxSteps, size_t maxBytes);
int HistoryMaxSteps(const History* h);
size_t HistoryMaxBytes(const History* h);
// Empties both lists; the current state keeps its number.
void HistoryClear(History* h);

// The state before an edit: becomes the newest undo step, and the redo steps are dropped.
// Nothing is kept when it equals the newest undo step byte for byte (an edit that changed
// nothing). The state after the edit gets a new number.
void HistoryRecord(History* h, const uint8_t* state, size_t size);
// Undo: the current state (size bytes at current) becomes the newest redo step and the newest
// undo step is written to dest (capacity bytes; it may be the current state's own buffer).
// Returns the restored state's size, or 0 when there is no undo step (nothing changes).
size_t HistoryUndo(History* h, const uint8_t* current, size_t size, uint8_t* dest, size_t capacity);
// Redo, the mirror of Undo.
size_t HistoryRedo(History* h, const uint8_t* current, size_t size, uint8_t* dest, size_t capacity);

int HistoryUndoCount(const History* h);
int HistoryRedoCount(const History* h);
size_t HistoryBytes(const History* h);   // the bytes the steps hold

// The number of the current state; a mark taken at a load or save tells a change since.
uint32_t HistoryStateNumber(const History* h);
// A new number for the current state, as an edit outside the history (no step) gives it.
void HistoryTouch(History* h);
// Every kept state, undo and redo steps alike, handed to fn to be rewritten in place (a
// material table moved under them); fn may change a state's size.
typedef void (*HistoryRewriteFn)(std::vector<uint8_t>& state, void* context);
void HistoryRewrite(History* h, HistoryRewriteFn fn, void* context);
