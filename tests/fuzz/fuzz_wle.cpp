// WLE as the World panel's Load reads it: checked, converted to the current version,
// worldshapes renumbered and their shapes looked up, node links repaired, terrain installed.
// The shapes are looked up in an empty folder, so every handle comes out 0 and no name is
// added to the resource index.
#include "base/res.h"
#include "fuzz.h"
#include "world/terrain.h"
#include "world/worldm.h"

static void Setup(void)
{
    FuzzEnterScratch();
    FuzzInstallModels(FUZZ_SHAPE_EDIT);
    WorldMInstall(WORLDM_CAPACITY);
}

static void Teardown(void)
{
    TerrainRemove();
    WorldMUninstall();
    FuzzRemoveModels();
    FuzzLeaveScratch();
    FuzzRemoveScratch();
}

static void One(const uint8_t* data, size_t size)
{
    if (WorldMLoadImage(data, size) == 0) {
        static char summary[1 << 16];
        WorldMSummaryText(WorldMImage(), summary, sizeof summary);
    }
    WorldMNew();
}

FUZZ_HARNESS(wle, Setup, Teardown, One)
