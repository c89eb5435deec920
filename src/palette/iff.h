// IFF pictures (LBM files): FORM ILBM (bit planes) and FORM PBM (one byte a pixel), with
// ByteRun1 compression; big-endian as the IFF standard defines.
#pragma once
#include <cstddef>
#include <cstdint>

enum {
    // The format has no size of its own. The largest picture read (2000 x 2000, 8 planes and a
    // mask) unpacks to 4.5 MB, and packing can add no more than a byte in 128, so four times
    // that leaves room for the other chunks of any real picture.
    IFF_MAX_FILE_SIZE = 16 << 20,
};

struct IffInfo {
    int width, height;
    int planes;
    int compression;
    int masking;
    int colours;       // CMAP entries, 0 when there is none
    int pbm;           // 1 for "PBM ", 0 for "ILBM"
};

// Reads the header chunks. 1, or 0 when the picture is refused.
int IffGetInfo(const uint8_t* file, size_t size, IffInfo* out);
// The CMAP of a picture whose header chunks are sound (palette gets up to 256 triples of
// 8-bit components). 1, or 0 when the picture is refused or has no CMAP.
int IffGetPalette(const uint8_t* file, size_t size, uint8_t* palette, int* colours);
// Extracts a rectangle as one byte a pixel (width x height bytes, row by row) and the CMAP
// (palette gets up to 256 triples of 8-bit components; colours receives the count).
// 1 on success; 0 on any refusal, the destination then unchanged.
int IffRead(const uint8_t* file, size_t size, int x, int y, int width, int height, uint8_t* dest,
            uint8_t* palette, int* colours);
