// Materials the benchmarks' scenes are lit with, added straight to the render table.
#pragma once
#include <cstring>

#include "base/bytes.h"
#include "materials/intmat.h"
#include "materials/matm.h"

// An untextured material of the colour (0..255 a component), fully ambient and diffuse.
inline int BenchMaterial(const char* name, int r, int g, int b)
{
    uint8_t rec[MAT_RECORD_SIZE] = {};
    memcpy(rec + MR_NAME, name, strlen(name));
    PutI32(rec, MR_RED, r << 6);
    PutI32(rec, MR_GREEN, g << 6);
    PutI32(rec, MR_BLUE, b << 6);
    PutI32(rec, MR_AMBIENT, 16384);
    PutI32(rec, MR_DIFFUSE, 16384);
    PutI32(rec, MR_SPECULAR, 8192);
    return IntMatFindOrAdd(rec);
}
