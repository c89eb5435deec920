// MAT as the Materials panel loads and merges it: read, checked, upgraded to version 4,
// taken into the list and the render table rebuilt. The list is made anew for every input.
#include <string>

#include "base/res.h"
#include "fuzz.h"
#include "materials/intmat.h"
#include "materials/matm.h"

static std::string path;

static void Setup(void)
{
    ResInstall(500);
    IntMatCreate(512);
    MatMInstall();
    path = FuzzScratch() + "/in.mat";
}

static void Teardown(void)
{
    IntMatDestroy();
    ResRemove();
    FuzzRemoveScratch();
}

static void One(const uint8_t* data, size_t size)
{
    FuzzWriteFile("in.mat", data, size);
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
