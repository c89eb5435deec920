#include "shapeedit/shapedoc.h"

#include <new>

#include "base/bytes.h"
#include "base/history.h"
#include "frontend/dump.h"
#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/progress.h"
#include "materials/matm.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"

static_assert(SH_VERSION + 2 <= EDITOR_FILE_HEAD, "the shape's version lies in the head the editor reads");

// The shape manager's display colours: normals, vertices, selected, picked, marked.
static const int kDisplayColours[5] = {0, 254, 249, 248, 250};

void ShapeDocInstall(size_t undoBytes)
{
    ShapeMResourceInstall();
    ShapeMInstall();
    ShapeMSetUndo(1);
    ShapeMSetDisplay(kDisplayColours);
    HistorySetBounds(ShapeMHistory(), HISTORY_STEPS_DEFAULT, undoBytes);
}

void ShapeDocUndo(void) { ShapeMUndo(); }
void ShapeDocRedo(void) { ShapeMRedo(); }
History* ShapeDocHistory(void) { return ShapeMHistory(); }

const uint8_t* ShapeDocBytes(uint32_t* size)
{
    *size = 0;
    ShapeBlock* b = ShapeMIsInstalled() ? ShapeMEdit() : nullptr;
    if (!b) return nullptr;
    uint32_t used = ShapeUsedSize(b->data);
    *size = used < b->capacity ? used : b->capacity;
    return b->data;
}

uint32_t ShapeDocCapacity(void) { return (uint32_t)SHAPEM_BUFFER_SIZE; }

// Out of memory on the way counts as a failed preparation: the caller keeps the bytes as they
// stand.
const char* ShapeDocPrepareCopy(uint8_t* out, uint32_t capacity, uint32_t* size)
{
    int prepared = 0;
    try {
        prepared = ShapeMPrepareCopy(out, capacity, size) == 0;
    } catch (const std::bad_alloc&) {
        prepared = 0;
    }
    return prepared ? nullptr : ShapeMLastError();
}

const char* ShapeDocLoadRecovered(const char* path) { return ShapeMLoadFile(path) == 0 ? nullptr : ShapeMLastError(); }

// A shape has its version where a world keeps its vertex section's offset.
int ShapeDocIsShape(const uint8_t* head)
{
    uint16_t version = GetU16(head, SH_VERSION);
    return version >= SHAPE_OLDEST_VERSION && version <= SHAPE_VERSION;
}

// The shape format holds no sort data beyond the no-sort flag: sorting changes nothing and
// reports itself done.
static int SortObject(ProgressFn progress)
{
    if (progress) progress(PROGRESS_DONE);
    return 0;
}

void ShapeDocRequest(int request)
{
    if (request == REQUEST_SORT) EditorRunWithProgress("Sorting Object", SortObject, ProgressSort);
}

static int DumpShape(DumpField* out, int max)
{
    if (!ShapeMIsInstalled() || max < 7) return 0;
    const uint8_t* b = ShapeMEdit()->data;
    const DumpField fields[] = {
        {"vertices", ShapeVertexCount(b), nullptr},
        {"polygons", ShapePolygonCount(b), nullptr},
        {"selectedVertices", MeshSelectedVertexCount(), nullptr},
        {"selectedPolygons", MeshSelectedPolygonCount(), nullptr},
        {"material", MatMCurrent(), nullptr},
        {"undo", (int64_t)HistoryUndoCount(ShapeMHistory()), nullptr},
        {"redo", (int64_t)HistoryRedoCount(ShapeMHistory()), nullptr},
    };
    int n = (int)(sizeof fields / sizeof fields[0]);
    for (int i = 0; i < n; i++) out[i] = fields[i];
    return n;
}

void ShapeDocRegisterDump(void) { DumpRegisterSection("shape", DumpShape); }
