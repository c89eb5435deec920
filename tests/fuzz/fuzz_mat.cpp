// MAT as the Materials panel loads and merges it: read, checked, upgraded to version 4,
// taken into the list and the render table rebuilt. The list is made anew for every input.
#include <string>

#include "base/res.h"
#include "fuzz.h"
#include "materials/matm.h"

static void Setup(void) { FuzzInstallModels(FUZZ_MATERIALS); }

static void Teardown(void)
{
    FuzzRemoveModels();
    FuzzRemoveScratch();
}

static void One(const uint8_t* data, size_t size)
{
    std::string path = FuzzWriteFile("in.mat", data, size);
    if (MatMLoad(path.c_str()) == 0) {
        for (int i = 0; i < MatMCount(); i++) {
            MatMGetName(i);
            MatMGetTexture(i);
        }
        MatMMerge(path.c_str());
    }
    MatMInstall();
}

FUZZ_HARNESS(mat, Setup, Teardown, One)
