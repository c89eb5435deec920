// WLE as the World panel's Load reads it: checked, converted to the current version,
// worldshapes renumbered and their shapes looked up, node links repaired, terrain installed.
// The shapes are looked up in an empty folder, so every handle comes out 0.
#include "fuzz.h"
#include "kernel/res/res.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "world/terrain.h"
#include "world/worldm.h"

// The index fills with the shape names each world asks for, so every input starts afresh.
static void Install(void)
{
    ResInstall(500);
    IntMatCreate(512);
    MatMInstall();
    ShapeMResourceInstall();
    ShapeMInstall();
    WorldMInstall(WORLDM_CAPACITY);
}

static void Uninstall(void)
{
    TerrainRemove();
    WorldMUninstall();
    ShapeMRemove();
    IntMatDestroy();
    ResRemove();
}

static void Setup(void) { FuzzEnterScratch(); }

static void Teardown(void)
{
    FuzzLeaveScratch();
    FuzzRemoveScratch();
}

static void One(const uint8_t* data, size_t size)
{
    Install();
    if (WorldMLoadImage(data, size) == 0) {
        static char summary[1 << 16];
        WorldMSummaryText(WorldMImage(), summary, sizeof summary);
    }
    Uninstall();
}

FUZZ_HARNESS(wle, Setup, Teardown, One)
