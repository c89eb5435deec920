// SHP as the Shape Editor takes a file into its edit buffer: checked, converted, bound,
// normals and derived values recomputed; then made ready for writing, as a save does.
#include "base/res.h"
#include "fuzz.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"

static void Setup(void) { FuzzInstallModels(FUZZ_SHAPE_EDIT); }

static void One(const uint8_t* data, size_t size)
{
    ResId id = FuzzResource(data, size);
    if (!id) return;
    if (ShapeMTakeIn(id) == 0) {
        uint32_t used;
        ShapeMPrepareForWriting(nullptr, &used);
        ShapeMNew();
    }
    ResFreeAlways(id);
}

FUZZ_HARNESS(shp_takein, Setup, FuzzRemoveModels, One)
