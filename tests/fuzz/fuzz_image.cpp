// Pictures as a sprite import reads them: decoded (size checked before any pixel), made into
// 8-bit sprites with a palette of their own and dithered, 32-bit and compressed sprites, each
// loaded as a sprite and turned back into a picture.
#include <vector>

#include "base/res.h"
#include "fuzz.h"
#include "palette/image.h"
#include "platform/platform.h"

enum { IMAGE_FUZZ_MAX_PIXELS = 1 << 16 };

static void Setup(void)
{
    ResInstall(100);
    SpriteInstall();
}

static void Teardown(void) { ResRemove(); }

static void RoundTrip(const ImgPicture& p, const ImgSpriteOptions& o)
{
    std::vector<uint8_t> sprite;
    std::string why;
    if (ImgToSprite(p, o, sprite, nullptr, why)) return;
    ResId id = FuzzResource(sprite.data(), sprite.size());
    if (!id) return;
    ImgPicture back;
    if (SpriteLoad(id) == 0) ImgFromSprite(id, nullptr, &back, why);
    ResFreeAlways(id);
}

static void One(const uint8_t* data, size_t size)
{
    ImgPicture p;
    std::string why;
    if (ImgDecode(data, size, &p, why)) return;
    if ((long long)p.width * p.height > IMAGE_FUZZ_MAX_PIXELS) return;
    ImgSpriteOptions o;
    o.ownPalette = true;
    o.dither = size & 1;
    o.hasKey = true;
    RoundTrip(p, o);
    o.format = IMG_FORMAT_32;
    RoundTrip(p, o);
    o.format = IMG_FORMAT_32Z;
    o.hasKey = false;
    o.resizePow2 = true;
    RoundTrip(p, o);
}

FUZZ_HARNESS(image, Setup, Teardown, One)
