#include "palette/bmp.h"

#include <cstdlib>
#include <cstring>

#include "base/bytes.h"
#include "base/files.h"

uint32_t BmpRowBytes(int width) { return ((uint32_t)width * 3 + 3) & ~3u; }

size_t BmpFileSize(int width, int height) { return BMP_HEADER_SIZE + (size_t)BmpRowBytes(width) * (size_t)height; }

uint8_t* BmpWriteHeader(uint8_t* out, int width, int height)
{
    uint32_t image = BmpRowBytes(width) * (uint32_t)height;
    memset(out, 0, BMP_HEADER_SIZE);
    out[0] = 'B';
    out[1] = 'M';
    PutU32(out, 2, BMP_HEADER_SIZE + image);
    PutU32(out, 10, BMP_HEADER_SIZE);
    PutU32(out, 14, 40);
    PutU32(out, 18, (uint32_t)width);
    PutU32(out, 22, (uint32_t)height);
    PutU16(out, 26, 1);
    PutU16(out, 28, 24);
    PutU32(out, 34, image);
    return out + BMP_HEADER_SIZE;
}

void BmpEncode(const uint8_t* rgb, int width, int height, uint8_t* out)
{
    uint8_t* pixels = BmpWriteHeader(out, width, height);
    uint32_t row = BmpRowBytes(width);
    for (int y = 0; y < height; y++) {
        // The first source row is the last row of the file.
        const uint8_t* src = rgb + (size_t)y * width * 3;
        uint8_t* dst = pixels + (size_t)(height - 1 - y) * row;
        for (int x = 0; x < width; x++) {
            dst[x * 3 + 0] = src[x * 3 + 2];
            dst[x * 3 + 1] = src[x * 3 + 1];
            dst[x * 3 + 2] = src[x * 3 + 0];
        }
        memset(dst + (size_t)width * 3, 0, row - (size_t)width * 3);
    }
}

int BmpWrite(const char* fileName, const uint8_t* rgb, int width, int height)
{
    if (width <= 0 || height <= 0) return 1;
    size_t size = BmpFileSize(width, height);
    uint8_t* image = (uint8_t*)malloc(size);
    if (!image) return 1;
    BmpEncode(rgb, width, height, image);
    int result = FileWrite(fileName, image, size);
    free(image);
    return result;
}

int BmpCheck(const uint8_t* data, int* width, int* height)
{
    if (data[0] != 'B' || data[1] != 'M') return 0;
    if (GetU16(data, 28) != 24 || GetU32(data, 30) != 0) return 0;
    if (width) *width = GetI32(data, 18);
    if (height) *height = GetI32(data, 22);
    return 1;
}

int BmpCheckLength(const uint8_t* data, size_t length, int* width, int* height)
{
    if (length < BMP_HEADER_SIZE) return 0;
    int w, h;
    if (!BmpCheck(data, &w, &h)) return 0;
    // Bottom-up pictures only, of a size whose rows the file holds.
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535) return 0;
    uint32_t offset = GetU32(data, 10);
    if (!InBlock(offset, (uint64_t)BmpRowBytes(w) * (uint64_t)h, length)) return 0;
    if (width) *width = w;
    if (height) *height = h;
    return 1;
}

int BmpDecode(const uint8_t* data, size_t length, uint8_t* rgb, size_t rgbSize)
{
    int w, h;
    if (!BmpCheckLength(data, length, &w, &h)) return 0;
    if ((uint64_t)w * h * 3 > rgbSize) return 0;
    const uint8_t* pixels = data + GetU32(data, 10);
    uint32_t row = BmpRowBytes(w);
    for (int y = 0; y < h; y++) {
        const uint8_t* src = pixels + (size_t)(h - 1 - y) * row;
        uint8_t* dst = rgb + (size_t)y * w * 3;
        for (int x = 0; x < w; x++) {
            dst[x * 3 + 0] = src[x * 3 + 2];
            dst[x * 3 + 1] = src[x * 3 + 1];
            dst[x * 3 + 2] = src[x * 3 + 0];
        }
    }
    return 1;
}
