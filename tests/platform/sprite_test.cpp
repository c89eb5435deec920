#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "support/screen.h"
#include "support/testutil.h"

class Sprites : public ScreenTest {
protected:
    TempDir dir{true};
};

static Bytes Bgrz(int w, int h, uint32_t alphaMode, const Bytes& rows)
{
    Bytes b;
    AppendText(b, "BGRZ", 4);
    AppendU32(b, w);
    AppendU32(b, h);
    AppendU8(b, 10);   // key colour
    AppendU8(b, 20);
    AppendU8(b, 30);
    while (b.size() < 40) b.push_back(0);
    AppendU32(b, alphaMode);
    while (b.size() < 52) b.push_back(0);
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

// A TRPS header of 48 bytes: size, transparent index, and where the pixels and the row table
// lie (no palette).
static Bytes Trps(uint32_t w, uint32_t h, uint32_t transparent, uint32_t pixels, uint32_t rows)
{
    Bytes b;
    AppendText(b, "TRPS", 4);
    for (uint32_t v : {w, h, 0u, 0u, transparent, 0u, 0u, pixels, 0u, rows, 0u}) AppendU32(b, v);
    return b;
}

TEST_F(Sprites, CompressedSpritesExpandOnLoad)
{
    const Bytes rows = {
        0x01,                     // two key pixels
        0x40,                     // skipped
        0x80, 0x00, 0xF8,         // one 5-6-5 pixel: pure red
        0xC0, 0xC4, 0x20, 0x04,   // one packed pixel: alpha 1, red 2, green 3, blue 4 (x4)
        0x83, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF, 0x00, 0x00,
    };
    WriteBytes("pic.spr", Bgrz(4, 2, 0, rows));
    ResId id = ResOpenName("pic.spr");
    ASSERT_NE(id, 0);
    const uint8_t* d = (const uint8_t*)ResOpen(id);
    ASSERT_EQ(ResSize(id), 4u * 2 * 4 + 36);
    EXPECT_TRUE(TagIs(d, "BGRS"));
    EXPECT_EQ(GetU32(d, 4), 4u);
    EXPECT_EQ(d[12], 10);
    std::vector<uint32_t> pixels;
    for (int i = 0; i < 8; i++) pixels.push_back(GetU32(d, 32 + 4 * i));
    EXPECT_EQ(pixels, (std::vector<uint32_t>{0xFF0A141E, 0xFF0A141E, 0x00F80000, 0x04080C10, 0x0000FC00, 0x000000F8,
                                             0x00F8FCF8, 0x00000000}));
    ResClose(id);
    SpriteInfo info;
    ASSERT_EQ(SpriteFormat(id, &info), 1);
    EXPECT_EQ((std::vector<int>{info.bpp, info.width, info.height}), (std::vector<int>{32, 4, 2}));

    // Alpha mode 8: one alpha byte a pixel, colour 0.
    WriteBytes("alpha.spr", Bgrz(2, 1, 8, {0xC1, 0xAA, 0x10}));
    id = ResOpenName("alpha.spr");
    ASSERT_NE(id, 0);
    EXPECT_EQ((std::vector<uint32_t>{GetU32(ResPeek(id), 32), GetU32(ResPeek(id), 36)}),
              (std::vector<uint32_t>{0xAA000000u, 0x10000000u}));
}

TEST_F(Sprites, DamagedFilesAreRefused)
{
    // A run that needs more bytes than the file has; a row that never ends.
    WriteBytes("short.spr", Bgrz(2, 1, 0, {0x81, 0x00}));
    WriteBytes("endless.spr", Bgrz(2, 2, 0, {0x41, 0x41}));
    WriteBytes("picture.spr", Bytes{'B', 'M', 0, 0, 0, 0});
    WriteBytes("big.spr", Trps(100, 100, 0, 48, 0));   // 100 x 100 pixels announced in 48 bytes
    // 1 x 2 pixels and a row table of two 8-byte rows, cut by its last 4 bytes.
    Bytes rows = Trps(1, 2, 0, 48, 50);
    rows.resize(50 + 12);
    WriteBytes("rows.spr", rows);
    WriteBytes("odd.spr", {'X', 'Y', 'Z', 'W', 1, 0, 0, 0, 1, 0, 0, 0});
    for (const char* name : {"short.spr", "endless.spr", "picture.spr", "big.spr", "rows.spr", "odd.spr"}) {
        EXPECT_EQ(ResOpenName(name), 0) << name;
        EXPECT_EQ(ResLastError(), RES_ERR_READ) << name;
    }
}

// No sprite is taken beyond the largest a sprite file may be: a larger file is refused from
// its size, and a small compressed file may not unpack into more either.
TEST_F(Sprites, NoSpriteIsTakenBeyondTheLargestFile)
{
    WriteText("huge.spr", "");
    std::filesystem::resize_file("huge.spr", SPRITE_MAX_FILE_SIZE + 1);
    WriteText("most.spr", "");
    std::filesystem::resize_file("most.spr", SPRITE_MAX_FILE_SIZE);
    EXPECT_EQ(ResOpenName("huge.spr"), 0);
    EXPECT_EQ(ResLastError(), RES_ERR_TOO_LARGE);
    EXPECT_EQ(ResOpenName("most.spr"), 0);
    EXPECT_EQ(ResLastError(), RES_ERR_READ) << "read, and refused as no sprite";
    ResFreeAlways(ResFindName("most.spr"));

    // 4096 columns of key colour: a run byte per 64 pixels. 4099 rows unpack into 36 bytes
    // less than the limit, 4100 rows into 36 more.
    for (int h : {4099, 4100}) {
        WriteBytes("tall.spr", Bgrz(4096, h, 0, Bytes((size_t)h * 64, 0x3F)));
        ResId id = ResOpenName("tall.spr");
        EXPECT_EQ(id != 0, h == 4099) << h;
        if (id) {
            EXPECT_EQ(ResSize(id), 4u * 4096 * 4099 + 36);
            ResFreeAlways(id);
        } else {
            EXPECT_EQ(ResLastError(), RES_ERR_READ);
        }
    }
}

TEST_F(Sprites, RowTableIsFilledOnLoad)
{
    Bytes b = Trps(3, 2, 5, 48, 54);
    for (int i = 0; i < 6; i++) AppendU8(b, (uint8_t)i);
    for (int i = 0; i < 4; i++) AppendU32(b, 0xDEADBEEF);
    WriteBytes("rows.spr", b);
    ResId id = ResOpenName("rows.spr");
    ASSERT_NE(id, 0);
    const uint8_t* d = (const uint8_t*)ResPeek(id);
    EXPECT_EQ((std::vector<uint32_t>{GetU32(d, 54), GetU32(d, 58), GetU32(d, 62), GetU32(d, 66)}),
              (std::vector<uint32_t>{48, 51, 48, 51}));
    EXPECT_EQ(SpriteTransparent(id), 5);
    EXPECT_EQ(SpritePalette(id), nullptr) << "no palette";
}

TEST_F(Sprites, DrawingWithTransparencyClippingAndScale)
{
    const uint8_t pal[3] = {63, 0, 0};
    ResId id = SpriteCreate8(2, 2, 5, pal, 1);
    ASSERT_NE(id, 0);
    ASSERT_NE(SpritePalette(id), nullptr);
    EXPECT_EQ(GetI16(SpritePalette(id), 2), 1);
    uint8_t* p = SpritePixels(id);
    const uint8_t pixels[4] = {249, 5, 255, 249};
    memcpy(p, pixels, 4);
    SpriteRelease(id);
    // 32-bit: the key colour is left undrawn.
    ResId t = SpriteCreate32(2, 1);
    uint8_t* d = (uint8_t*)ResOpen(t);
    memcpy(d + 12, "\1\2\3", 3);   // the key colour
    PutU32(d, 32, 0x00010203);
    PutU32(d, 36, 0x00FF8040);
    ResClose(t);

    SpriteDraw(id, 10, 10);
    SpriteDraw(t, 0, 0);
    EXPECT_EQ((std::vector<uint32_t>{Px(10, 10), Px(11, 10), Px(10, 11), Px(11, 11)}),
              (std::vector<uint32_t>{0x07E0, 0, 0xFFFF, 0x07E0}))
        << "the transparent index is left undrawn";
    EXPECT_EQ((std::vector<uint32_t>{Px(0, 0), Px(1, 0)}), (std::vector<uint32_t>{0, 0xFC08}));

    VideoClear(0);
    VideoSetClip(0, 0, 10, 10);
    SpriteDraw(id, 10, 10);
    SpriteDraw(id, -1, -1);
    // Clipped below and right, and above and left, to the part inside the clip rectangle.
    EXPECT_EQ(Pxs({{10, 10}, {10, 11}, {11, 10}, {0, 0}}), Pals({249, -1, -1, 249}));
    VideoSetClip(0, 0, 319, 199);

    VideoClear(0);
    SpriteDrawScaled(id, 20, 20, 23, 23);
    EXPECT_EQ((std::vector<uint32_t>{Px(20, 20), Px(21, 21), Px(22, 21), Px(20, 22), Px(23, 23)}),
              (std::vector<uint32_t>{0x07E0, 0x07E0, 0, 0xFFFF, 0x07E0}));

    // A 32-bit framebuffer takes the colours whole; an 8-bit target (a sprite) takes the
    // palette indices and no true colour at all.
    ASSERT_EQ(VideoSetMode(320, 200, VIDEO_32BIT, VIDEO_WINDOWED_SOFTWARE), 0);
    SpriteDraw(id, 10, 10);
    SpriteDraw(t, 0, 0);
    EXPECT_EQ((std::vector<uint32_t>{Px(10, 10), Px(11, 10), Px(10, 11), Px(0, 0), Px(1, 0)}),
              (std::vector<uint32_t>{0x00FC00, 0, 0xFCFCFC, 0, 0xFF8040}));
    ResId into = SpriteCreate8(3, 2, -1, nullptr, 0);
    SpriteBeginDraw(into);
    SpriteDraw(id, 1, 0);
    SpriteDraw(t, 0, 0);
    SpriteEndDraw();
    p = SpritePixels(into);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 6), (std::vector<uint8_t>{0, 249, 0, 0, 255, 249}));
    SpriteRelease(into);
}

TEST_F(Sprites, ResizeScaleAndDrawInto)
{
    ResId id = SpriteCreate8(4, 2, -1, nullptr, 0);
    uint8_t* p = SpritePixels(id);
    for (int i = 0; i < 8; i++) p[i] = (uint8_t)(10 + i);
    SpriteRelease(id);

    ASSERT_EQ(SpriteScale(id, 16384), 0);
    SpriteInfo info;
    SpriteFormat(id, &info);
    EXPECT_EQ(info.width, 4) << "a factor of 1.0 leaves the sprite as it is";
    ASSERT_EQ(SpriteScale(id, 8192), 0);
    SpriteFormat(id, &info);
    EXPECT_EQ((std::vector<int>{info.width, info.height}), (std::vector<int>{2, 1}));
    const uint8_t* d = (const uint8_t*)ResPeek(id);
    EXPECT_EQ((std::vector<uint32_t>{d[48], d[49], GetU32(d, 40), GetU32(d, 50)}), (std::vector<uint32_t>{10, 12, 50, 48}))
        << "the row table follows the pixels";

    ASSERT_EQ(SpriteResize(id, 4, 4), 0);
    SpriteBeginDraw(id);
    int x1, y1;
    VideoGetClip(nullptr, nullptr, &x1, &y1);
    EXPECT_EQ((std::vector<int>{x1, y1}), (std::vector<int>{3, 3}));
    VideoClear(77);
    SpriteEndDraw();
    d = (const uint8_t*)ResPeek(id);
    for (int i = 0; i < 16; i++) EXPECT_EQ(d[48 + i], 77);
    VideoGetClip(nullptr, nullptr, &x1, &y1);
    EXPECT_EQ(x1, 319) << "the screen is the target again";

    // A damaged sprite is drawn into by nobody: the screen stays the target.
    ResId broken = ResCreate(16);
    memset(ResPeek(broken), 0, 16);
    EXPECT_EQ(SpriteBeginDraw(broken), 1);
    VideoGetClip(nullptr, nullptr, &x1, &y1);
    EXPECT_EQ(x1, 319);
    EXPECT_EQ(ResOpenCount(broken), 0);
    EXPECT_EQ(SpriteBeginDraw(id), 0);
    SpriteEndDraw();

    // 32-bit sprites are resized in their own form.
    ResId t = SpriteCreate32(2, 2);
    uint8_t* td = (uint8_t*)ResPeek(t);
    for (int i = 0; i < 4; i++) PutU32(td, 32 + 4 * i, 0x11111111u * (i + 1));
    ASSERT_EQ(SpriteResize(t, 4, 1), 0);
    SpriteFormat(t, &info);
    EXPECT_EQ((std::vector<int>{info.bpp, info.width, info.height}), (std::vector<int>{32, 4, 1}));
    td = (uint8_t*)ResPeek(t);
    std::vector<uint32_t> row;
    for (int i = 0; i < 4; i++) row.push_back(GetU32(td, 32 + 4 * i));
    EXPECT_EQ(row, (std::vector<uint32_t>{0x11111111, 0x11111111, 0x22222222, 0x22222222}));
}
