// SHP as the resource manager loads it for the renderer and the world display: checked,
// converted to the current version, prepared into draw records and bound to materials.
#include "base/res.h"
#include "fuzz.h"
#include "shapes/shapem.h"

static void Setup(void) { FuzzInstallModels(FUZZ_SHAPES); }

static void One(const uint8_t* data, size_t size)
{
    ResId id = FuzzResource(data, size);
    if (!id) return;
    if (ShapeMPrepareBlock(id) == 0) {
        // What the renderer reads of a prepared shape, walked once.
        for (int i = 0; i < ShapeMRecordCount(id); i++) ShapeMRecord(id, i);
        for (int i = 0; i < ShapeMVertexCount(id); i++) ShapeMVertex(id, i);
        int32_t footprint[4];
        ShapeMBaseFootprint(id, footprint);
        ShapeMBindMaterials(id);
    }
    ResFreeAlways(id);
}

FUZZ_HARNESS(shp_prepare, Setup, FuzzRemoveModels, One)
