// IFF pictures: the FORM is walked chunk by chunk (big-endian sizes, odd sizes padded to
// even), the header and colour map are read, and the body is unpacked one picture row at a
// time into a scratch buffer. Nothing reaches the caller's buffers until the whole picture has
// decoded, so a refused file leaves them as they were.
#include "palette/iff.h"

#include <cstring>

#include "base/bytes.h"
#include "base/res.h"

enum {
    IFF_MAX_SIDE = 2000,
    IFF_MAX_PLANES = 8,
    IFF_BMHD_SIZE = 20,
    IFF_MASK_PLANE = 1,          // masking 1: a mask plane follows the bit planes of each row
    // the longest unpacked row: 8 planes and a mask of (2000 + 15) / 16 x 2 bytes each
    IFF_MAX_ROW = 9 * ((IFF_MAX_SIDE + 15) / 16 * 2),
};

struct Picture {
    int pbm;
    int haveHeader;
    int width, height;
    int planes, masking, compression;
    int colours;
    uint8_t cmap[256 * 3];
    int haveBody;
    const uint8_t* body;
    size_t bodySize;
};

// ============================================================================================
// Chunks
// ============================================================================================

static int ReadHeader(const uint8_t* d, uint32_t size, Picture* p)
{
    if (size < IFF_BMHD_SIZE) return 0;
    int width = GetU16BE(d, 0);
    int height = GetU16BE(d, 2);
    int planes = d[8];
    int compression = d[10];
    // A picture without pixels has nothing to give; compression other than none and
    // ByteRun1 is not defined.
    if (width < 1 || width > IFF_MAX_SIDE || height < 1 || height > IFF_MAX_SIDE) return 0;
    if (planes < 1 || planes > IFF_MAX_PLANES) return 0;
    if (compression > 1) return 0;
    p->width = width;
    p->height = height;
    p->planes = planes;
    p->masking = d[9];
    p->compression = compression;
    p->haveHeader = 1;
    return 1;
}

static int ReadColourMap(const uint8_t* d, uint32_t size, Picture* p)
{
    uint32_t n = size / 3;
    if (n < 1 || n > 256) return 0;
    memcpy(p->cmap, d, (size_t)n * 3);
    p->colours = (int)n;
    return 1;
}

// Walks the form up to and including the BODY (what follows the body is not needed). 1 when
// every chunk seen is sound; the body, when there is one, is recorded but not unpacked.
static int Walk(const uint8_t* file, size_t size, Picture* p)
{
    memset(p, 0, sizeof *p);
    if (!file || size < 12 || !TagIs(file, "FORM")) return 0;
    uint64_t formSize = GetU32BE(file, 4);
    // A form longer than the file is a truncated file.
    if (formSize < 4 || !InBlock(8, formSize, size)) return 0;
    if (TagIs(file + 8, "PBM "))
        p->pbm = 1;
    else if (!TagIs(file + 8, "ILBM"))
        return 0;

    uint64_t end = 8 + formSize;
    uint64_t pos = 12;
    while (InBlock(pos, 8, end)) {
        const uint8_t* chunk = file + pos;
        uint32_t chunkSize = GetU32BE(chunk, 4);
        uint64_t data = pos + 8;
        if (!InBlock(data, chunkSize, end)) return 0;
        const uint8_t* d = file + data;
        if (TagIs(chunk, "BMHD")) {
            if (!ReadHeader(d, chunkSize, p)) return 0;
        } else if (TagIs(chunk, "CMAP")) {
            if (!ReadColourMap(d, chunkSize, p)) return 0;
        } else if (TagIs(chunk, "BODY")) {
            if (!p->haveHeader) return 0;
            p->haveBody = 1;
            p->body = d;
            p->bodySize = chunkSize;
            return 1;
        }
        // any other chunk is skipped
        pos = data + chunkSize + (chunkSize & 1);
    }
    return 1;
}

// ============================================================================================
// Body
// ============================================================================================

// Bytes of one plane row (ILBM, padded to 16 bits as the standard requires) or of one pixel
// row (PBM, a byte a pixel).
static int RowBytes(const Picture* p) { return p->pbm ? p->width : (p->width + 15) / 16 * 2; }

// Unpacks `n` bytes of one picture row from the body at *pos. 0 when the body ends early or a
// run would pass the end of the row (the data is out of step with the picture).
static int UnpackRow(const Picture* p, size_t* pos, uint8_t* row, int n)
{
    const uint8_t* src = p->body;
    size_t len = p->bodySize;
    if (p->compression == 0) {
        if (!InBlock(*pos, (uint64_t)n, len)) return 0;
        memcpy(row, src + *pos, (size_t)n);
        *pos += (size_t)n;
        return 1;
    }
    memset(row, 0, (size_t)n);
    int filled = 0;
    while (filled < n) {
        if (*pos >= len) return 0;
        int c = (int8_t)src[(*pos)++];
        if (c >= 0) {
            int k = c + 1;
            if (k > n - filled || !InBlock(*pos, (uint64_t)k, len)) return 0;
            memcpy(row + filled, src + *pos, (size_t)k);
            *pos += (size_t)k;
            filled += k;
        } else if (c == -128) {
            break;   // ends the row early; the rest stays 0
        } else {
            int k = 1 - c;
            if (k > n - filled || *pos >= len) return 0;
            memset(row + filled, src[(*pos)++], (size_t)k);
            filled += k;
        }
    }
    return 1;
}

// Decodes the whole picture into out (width x height bytes, one a pixel). 1, or 0 when the
// body does not hold the picture it announces.
static int DecodeBody(const Picture* p, uint8_t* out)
{
    uint8_t row[IFF_MAX_ROW];
    int rowBytes = RowBytes(p);
    int rowPlanes = p->planes + (p->masking == IFF_MASK_PLANE ? 1 : 0);
    int unit = p->pbm ? rowBytes : rowBytes * rowPlanes;
    size_t pos = 0;
    for (int y = 0; y < p->height; y++) {
        if (!UnpackRow(p, &pos, row, unit)) return 0;
        uint8_t* dst = out + (size_t)y * p->width;
        if (p->pbm) {
            memcpy(dst, row, (size_t)p->width);
            continue;
        }
        // Plane 0 gives bit 0; the leftmost pixel is the highest bit of each byte. The mask
        // plane, when there is one, comes last and is not merged.
        for (int x = 0; x < p->width; x++) {
            int byte = x >> 3;
            uint8_t bit = (uint8_t)(0x80 >> (x & 7));
            int v = 0;
            for (int k = 0; k < p->planes; k++)
                if (row[k * rowBytes + byte] & bit) v |= 1 << k;
            dst[x] = (uint8_t)v;
        }
    }
    return 1;
}

// ============================================================================================
// Interface
// ============================================================================================

int IffGetInfo(const uint8_t* file, size_t size, IffInfo* out)
{
    Picture p;
    if (!Walk(file, size, &p) || !p.haveHeader) return 0;
    if (out) {
        out->width = p.width;
        out->height = p.height;
        out->planes = p.planes;
        out->compression = p.compression;
        out->masking = p.masking;
        out->colours = p.colours;
        out->pbm = p.pbm;
    }
    return 1;
}

int IffGetPalette(const uint8_t* file, size_t size, uint8_t* palette, int* colours)
{
    Picture p;
    if (!Walk(file, size, &p) || !p.haveHeader || p.colours < 1) return 0;
    if (palette) memcpy(palette, p.cmap, (size_t)p.colours * 3);
    if (colours) *colours = p.colours;
    return 1;
}

int IffRead(const uint8_t* file, size_t size, int x, int y, int width, int height, uint8_t* dest,
            uint8_t* palette, int* colours)
{
    Picture p;
    if (!dest || !Walk(file, size, &p) || !p.haveBody) return 0;
    if (x < 0 || y < 0 || width < 1 || height < 1) return 0;
    if (width > p.width - x || height > p.height - y) return 0;

    uint8_t* scratch = (uint8_t*)ResAllocMem((size_t)p.width * p.height);
    if (!scratch) return 0;
    if (!DecodeBody(&p, scratch)) {
        ResFreeMem(scratch);
        return 0;
    }
    for (int row = 0; row < height; row++)
        memcpy(dest + (size_t)row * width, scratch + (size_t)(y + row) * p.width + x, (size_t)width);
    ResFreeMem(scratch);
    if (palette && p.colours) memcpy(palette, p.cmap, (size_t)p.colours * 3);
    if (colours) *colours = p.colours;
    return 1;
}
