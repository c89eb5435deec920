// Pictures from the tools artists use (PNG, JPEG, TGA, BMP, GIF) turned into sprites, and
// sprites turned back into pictures. Decoding is stb_image's, run in a child process with
// limits (platform/sandbox.h): a hostile picture is a refusal with its reason, never a crash.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/res.h"

enum {
    IMG_MAX_FILE_SIZE = 256 << 20,
    IMG_MAX_SIDE = 1024,            // the largest texture page edge: a sprite no page holds is refused
    IMG_MAX_DECODED_SIDE = 16384,   // larger pictures are refused before they are decoded,
    IMG_MAX_DECODED_PIXELS = 4096 * 4096,   // as are those of more pixels (64 MiB decoded)
    IMG_FORMAT_8 = 8,
    IMG_FORMAT_32 = 32,
    IMG_FORMAT_32Z = 33,            // 32-bit run-length ("BGRZ")
    IMG_OWN_PALETTE_COLOURS = 248,
};

// A decoded picture: rows from the top, 4 bytes a pixel (red, green, blue, alpha).
struct ImgPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

// Decodes a picture held in memory, in this process (what the child runs, and the fuzzer). 0,
// or 1 with the reason in `why`. The declared size is checked before any pixel is decoded.
int ImgDecode(const uint8_t* data, size_t size, ImgPicture* out, std::string& why);
// Reads and decodes a picture file in a child process with limits. 0, or 1 with the reason.
int ImgLoad(const char* fileName, ImgPicture* out, std::string& why);
// The same for a picture file held in memory (a texture embedded in a model).
int ImgLoadMemory(const uint8_t* data, size_t size, ImgPicture* out, std::string& why);

struct ImgSpriteOptions {
    int format = IMG_FORMAT_8;
    // The working palette (256 r, g, b triples of 6-bit components) and the range of its user
    // colours that pixels may take; ignored with ownPalette.
    const uint8_t* palette = nullptr;
    int paletteFirst = 0;
    int paletteCount = 0;
    bool ownPalette = false;
    bool dither = false;
    bool hasKey = false;
    uint8_t key[3] = {0, 0, 0};
    bool resizePow2 = false;
};

// What a conversion did, for the user.
struct ImgSpriteReport {
    int width = 0, height = 0;           // of the sprite
    int sourceWidth = 0, sourceHeight = 0;
    int colours = 0;                     // 8-bit: palette entries in use
    int transparent = -1;                // 8-bit: transparent index, -1 none
};

// Converts a picture to the bytes of a sprite file. 0, or 1 with the reason (a side past
// IMG_MAX_SIDE without resizePow2, no palette for an 8-bit sprite).
int ImgToSprite(const ImgPicture& in, const ImgSpriteOptions& options, std::vector<uint8_t>& sprite,
                ImgSpriteReport* report, std::string& why);
// The picture a loaded sprite resource shows: an 8-bit sprite through its own palette, else
// through `palette` (256 triples of 6-bit components; null: refused); its transparent index
// and a 32-bit sprite's key colour come out with alpha 0. 0, or 1 with the reason.
int ImgFromSprite(ResId sprite, const uint8_t* palette, ImgPicture* out, std::string& why);

// 1 when the name ends in the extension of a picture format this reads (png, jpg, jpeg, tga,
// bmp, gif; any letter case).
int ImgIsPictureName(const char* name);
// An 8.3 sprite file name ("BRICKS.SPR") made from a picture's or texture's name: its first
// eight letters, digits, '_' or '-' in capitals; when a file of that name exists in `folder`
// ("" the working folder) or the name is in `taken`, "BRICK~1.SPR" and on. The name is added to
// `taken`.
std::string ImgSpriteFileName(const std::string& picture, const std::string& folder, std::vector<std::string>& taken);

// The index of the palette entry nearest to (r, g, b) among entries first..first+count-1 of a
// palette of 6-bit triples (entry i at 3i), by squared distance of the 8-bit values (a 6-bit
// component v shows as v << 2); the lowest index on a tie.
int ImgNearest(const uint8_t* palette, int first, int count, int r, int g, int b);
// The power of two nearest to n (of the two around it, the nearer; the larger on a tie),
// at most IMG_MAX_SIDE.
int ImgNearestPow2(int n);
