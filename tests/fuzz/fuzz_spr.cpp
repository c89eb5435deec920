// SPR as the sprite loader prepares it ("TRPS", "BGRS" and the run-length "BGRZ"), then drawn
// into 32-bit and 8-bit buffers, plain, scaled and clipped at the edges, and shrunk.
#include "base/res.h"
#include "fuzz.h"
#include "platform/platform.h"

enum { SPR_TARGET_SIDE = 48, SPR_SHRINK_MAX_PIXELS = 1 << 16 };

static ResId target32, target8;

static void Setup(void)
{
    ResInstall(100);
    SpriteInstall();
    target32 = SpriteCreate32(SPR_TARGET_SIDE, SPR_TARGET_SIDE);
    target8 = SpriteCreate8(SPR_TARGET_SIDE, SPR_TARGET_SIDE, 0, nullptr, 0);
}

static void Teardown(void)
{
    ResFreeAlways(target32);
    ResFreeAlways(target8);
    ResRemove();
}

static void DrawInto(ResId target, ResId sprite, const SpriteInfo& info)
{
    SpriteBeginDraw(target);
    SpriteDraw(sprite, 3, 5);
    SpriteDraw(sprite, -info.width / 2, -info.height / 2);
    SpriteDrawScaled(sprite, 0, 0, SPR_TARGET_SIDE - 1, SPR_TARGET_SIDE / 2);
    SpriteDrawScaled(sprite, SPR_TARGET_SIDE - 2, SPR_TARGET_SIDE - 3, SPR_TARGET_SIDE + 20, SPR_TARGET_SIDE + 7);
    SpriteEndDraw();
}

static void One(const uint8_t* data, size_t size)
{
    ResId id = FuzzResource(data, size);
    if (!id) return;
    SpriteInfo info;
    if (SpriteLoad(id) == 0 && SpriteFormat(id, &info)) {
        SpriteTransparent(id);
        SpritePalette(id);
        DrawInto(target32, id, info);
        DrawInto(target8, id, info);
        if ((long long)info.width * info.height <= SPR_SHRINK_MAX_PIXELS && SpriteScale(id, 9000) == 0 &&
            SpriteFormat(id, &info))
            DrawInto(target32, id, info);
    }
    ResFreeAlways(id);
}

FUZZ_HARNESS(spr, Setup, Teardown, One)
