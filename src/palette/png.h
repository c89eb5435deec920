// 8-bit RGB PNG files: headless `shot` pictures and `tolbex-cli shape render`. The encoder
// writes no time or text chunks, so the same pixels always give the same bytes.
#pragma once
#include <cstdint>
#include <vector>

// Encodes RGB rows (top row first, 3 bytes a pixel) as a PNG file image into out; false when
// the size is not positive or the encoder refuses.
bool PngEncode(const uint8_t* rgb, int width, int height, std::vector<uint8_t>& out);
// The same for RGBA rows (4 bytes a pixel, alpha last): pictures with transparent parts.
bool PngEncodeRGBA(const uint8_t* rgba, int width, int height, std::vector<uint8_t>& out);
// Writes a PNG file; 0 on success, 1 on failure (no partial file is left).
int PngWrite(const char* fileName, const uint8_t* rgb, int width, int height);
