// 24-bit BMP files: the screen grab, headless screenshots and the world's artwork.
// Rows are stored bottom-up in blue, green, red order and padded to 4 bytes.
#pragma once
#include <cstddef>
#include <cstdint>

enum { BMP_HEADER_SIZE = 54 };

// Bytes of one stored row: (3w + 3) & ~3.
uint32_t BmpRowBytes(int width);
// 54 + rows x height.
size_t BmpFileSize(int width, int height);
// Writes the 54-byte header into out and returns the address of the pixel area behind it.
uint8_t* BmpWriteHeader(uint8_t* out, int width, int height);
// Encodes RGB rows (top row first, 3 bytes a pixel) into out, which holds BmpFileSize bytes.
void BmpEncode(const uint8_t* rgb, int width, int height, uint8_t* out);
// Writes a BMP file; 0 on success, 1 on failure (no partial file is left).
int BmpWrite(const char* fileName, const uint8_t* rgb, int width, int height);
// Accepts a 24-bit uncompressed BMP and gives its size: 1, or 0 when refused. The second
// form also checks the length (at least the header, and the pixel rows it announces).
int BmpCheck(const uint8_t* data, int* width, int* height);
int BmpCheckLength(const uint8_t* data, size_t length, int* width, int* height);
// Decodes the pixels of a checked BMP into RGB rows from the top; 1, or 0 when refused.
int BmpDecode(const uint8_t* data, size_t length, uint8_t* rgb, size_t rgbSize);
