// 3D Studio ASCII listings as the Shape Editor imports them into its edit buffer.
#include <string>

#include "base/res.h"
#include "fuzz.h"
#include "shapes/asc.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"

static void Setup(void) { FuzzInstallModels(FUZZ_SHAPE_EDIT); }

static void Teardown(void)
{
    FuzzRemoveModels();
    FuzzRemoveScratch();
}

static void One(const uint8_t* data, size_t size)
{
    std::string path = FuzzWriteFile("in.asc", data, size);
    if (Import3DSASCII(path.c_str()) == 0) ShapeMNew();
}

FUZZ_HARNESS(asc, Setup, Teardown, One)
