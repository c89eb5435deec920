// 3D Studio ASCII listings as the Shape Editor imports them into its edit buffer.
#include <string>

#include "base/res.h"
#include "fuzz.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "shapes/asc.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"

static std::string path;

static void Setup(void)
{
    ResInstall(500);
    IntMatCreate(512);
    MatMInstall();
    ShapeMResourceInstall();
    ShapeMInstall();
    path = FuzzScratch() + "/in.asc";
}

static void Teardown(void)
{
    ShapeMRemove();
    IntMatDestroy();
    ResRemove();
    FuzzRemoveScratch();
}

static void One(const uint8_t* data, size_t size)
{
    FuzzWriteFile("in.asc", data, size);
    if (Import3DSASCII(path.c_str()) == 0) ShapeMNew();
}

FUZZ_HARNESS(asc, Setup, Teardown, One)
