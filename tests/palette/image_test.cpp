// Pictures made into sprites and back: exact pixels at 32 bits, nearest palette colours at 8,
// the run-length form within its precision, transparency from a key or from alpha, and the
// size rules of the texture pages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "palette/image.h"
#include "support/screen.h"
#include "support/testutil.h"

class Images : public ScreenTest {};

static ImgPicture Picture(int w, int h, std::initializer_list<uint32_t> rgbaValues)
{
    ImgPicture p;
    p.width = w;
    p.height = h;
    for (uint32_t v : rgbaValues)
        for (int shift : {24, 16, 8, 0}) p.rgba.push_back((uint8_t)(v >> shift));
    return p;
}

// The sprite bytes as a loaded resource.
static ResId Load(const std::vector<uint8_t>& bytes)
{
    ResId id = ResCreate(bytes.size());
    memcpy(ResOpen(id), bytes.data(), bytes.size());
    ResClose(id);
    EXPECT_EQ(0, SpriteLoad(id)) << SpriteLastRefusal();
    return id;
}

static ImgPicture Back(const std::vector<uint8_t>& bytes, const uint8_t* palette = nullptr)
{
    ResId id = Load(bytes);
    ImgPicture out;
    std::string why;
    EXPECT_EQ(0, ImgFromSprite(id, palette, &out, why)) << why;
    ResFreeAlways(id);
    return out;
}

static std::vector<uint8_t> Convert(const ImgPicture& p, const ImgSpriteOptions& o, ImgSpriteReport* report = nullptr)
{
    std::vector<uint8_t> out;
    std::string why;
    EXPECT_EQ(0, ImgToSprite(p, o, out, report, why)) << why;
    return out;
}

TEST_F(Images, NearestColourAndPowerOfTwo)
{
    // Entries shown as v << 2: (63,0,0) is 252 red; entry 3 is outside the range asked.
    uint8_t pal[256 * 3] = {};
    const uint8_t entries[] = {0, 0, 0, 63, 0, 0, 0, 0, 63, 10, 20, 30, 10, 20, 30};
    memcpy(pal, entries, sizeof entries);
    EXPECT_EQ(1, ImgNearest(pal, 0, 3, 255, 0, 0));
    EXPECT_EQ(2, ImgNearest(pal, 0, 3, 0, 0, 255)) << "red and blue told apart";
    EXPECT_EQ(0, ImgNearest(pal, 0, 3, 40, 80, 120)) << "entry 3 is past the count";
    EXPECT_EQ(3, ImgNearest(pal, 0, 5, 40, 80, 120)) << "the lowest of two equal entries";
    EXPECT_EQ(4, ImgNearest(pal, 4, 1, 0, 0, 0)) << "the range starts at first";
    // (126,0,0) is 126 from black and 126 from 252 red: the tie goes to the lower index.
    EXPECT_EQ(0, ImgNearest(pal, 0, 2, 126, 0, 0));
    EXPECT_EQ(1, ImgNearest(pal, 0, 2, 127, 0, 0));

    const int sizes[][2] = {{1, 1}, {2, 2}, {3, 4}, {5, 4}, {6, 8}, {700, 512}, {768, 1024}, {800, 1024}, {5000, 1024}};
    for (auto& s : sizes) EXPECT_EQ(s[1], ImgNearestPow2(s[0])) << s[0];
}

TEST_F(Images, ThirtyTwoBitsKeepEveryPixelAndItsChannels)
{
    ImgPicture p = Picture(3, 2, {0x0A141EFF, 0x28323C80, 0xFF000001, 0x00FF00FF, 0x0000FFFF, 0x01020300});
    ImgSpriteOptions o;
    o.format = IMG_FORMAT_32;
    std::vector<uint8_t> s = Convert(p, o);
    ASSERT_EQ(32u + 6 * 4 + 4, s.size());
    EXPECT_EQ(0, memcmp(s.data(), "BGRS", 4));
    EXPECT_EQ(3u, GetU32(s.data(), 4));
    EXPECT_EQ(2u, GetU32(s.data(), 8));
    EXPECT_EQ(0xFF0A141Eu, GetU32(s.data(), 32)) << "0xAARRGGBB";
    EXPECT_EQ(0x8028323Cu, GetU32(s.data(), 36));
    EXPECT_EQ(1, s[30]) << "alpha is in use";
    // The key colour is one no pixel has: nothing turns transparent.
    uint32_t key = (uint32_t)s[12] << 16 | (uint32_t)s[13] << 8 | s[14];
    EXPECT_EQ(0xFF00FFu, key);
    EXPECT_EQ(p.rgba, Back(s).rgba);

    // A picture that has the usual key colour gets another one.
    ImgPicture magenta = Picture(1, 1, {0xFF00FFFF});
    s = Convert(magenta, o);
    EXPECT_NE(0xFF00FFu, (uint32_t)s[12] << 16 | (uint32_t)s[13] << 8 | s[14]);
    EXPECT_EQ(0, s[30]) << "an opaque picture leaves alpha unused";
    EXPECT_EQ(magenta.rgba, Back(s).rgba);

    // With a key, its pixels come back transparent and the others as they were.
    o.hasKey = true;
    o.key[0] = 0x00, o.key[1] = 0xFF, o.key[2] = 0x00;
    ImgPicture keyed = Picture(2, 1, {0x00FF00FF, 0x00FE00FF});
    ImgPicture back = Back(Convert(keyed, o));
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0xFF, 0x00, 0, 0x00, 0xFE, 0x00, 0xFF}), back.rgba);
}

TEST_F(Images, CompressedSpritesKeepPixelsWithinTheirPrecision)
{
    ImgSpriteOptions o;
    o.format = IMG_FORMAT_32Z;
    // Opaque: 5-6-5 runs. 70 pixels make a row longer than one run.
    ImgPicture p;
    p.width = 70;
    p.height = 2;
    for (int i = 0; i < 140; i++) {
        uint8_t px[4] = {(uint8_t)(i * 3), (uint8_t)(255 - i), (uint8_t)(i * 7 % 256), 255};
        p.rgba.insert(p.rgba.end(), px, px + 4);
    }
    std::vector<uint8_t> s = Convert(p, o);
    EXPECT_EQ(0, memcmp(s.data(), "BGRZ", 4));
    ImgPicture back = Back(s);
    ASSERT_EQ(p.rgba.size(), back.rgba.size());
    for (size_t i = 0; i < p.rgba.size(); i++) {
        int tolerance = i % 4 == 1 ? 3 : i % 4 == 3 ? 0 : 7;
        EXPECT_LE(std::abs(p.rgba[i] - back.rgba[i]), tolerance) << "byte " << i;
    }
    // With alpha: 6 bits each, alpha kept.
    ImgPicture a = Picture(3, 1, {0xC8643280, 0x10203040, 0xFCFCFCFC});
    back = Back(Convert(a, o));
    EXPECT_EQ((std::vector<uint8_t>{0xC8, 0x64, 0x30, 0x80, 0x10, 0x20, 0x30, 0x40, 0xFC, 0xFC, 0xFC, 0xFC}), back.rgba);
    // Key runs: the key's pixels come back transparent, the run around them intact.
    o.hasKey = true;
    o.key[0] = 8, o.key[1] = 16, o.key[2] = 24;
    ImgPicture k = Picture(4, 1, {0xF80000FF, 0x081018FF, 0x081018FF, 0x0000F8FF});
    back = Back(Convert(k, o));
    EXPECT_EQ((std::vector<uint8_t>{0xF8, 0, 0, 255, 8, 16, 24, 0, 8, 16, 24, 0, 0, 0, 0xF8, 255}), back.rgba);
}

TEST_F(Images, EightBitsTakeTheNearestPaletteColour)
{
    uint8_t pal[256 * 3] = {};
    // User colours 0..3: black, red, green, blue; the palette file holds these 4 only.
    const uint8_t entries[] = {0, 0, 0, 63, 0, 0, 0, 63, 0, 0, 0, 63};
    memcpy(pal, entries, sizeof entries);
    ImgSpriteOptions o;
    o.palette = pal;
    o.paletteCount = 4;
    ImgPicture p = Picture(4, 2, {0xFC0000FF, 0x00FC00FF, 0x0000FCFF, 0x000000FF,   // exact
                                  0xC01010FF, 0x1010C0FF, 0x20B020FF, 0x303030FF}); // nearest
    ImgSpriteReport report;
    std::vector<uint8_t> s = Convert(p, o, &report);
    ASSERT_EQ(0, memcmp(s.data(), "TRPS", 4));
    EXPECT_EQ(-1, (int32_t)GetU32(s.data(), 20));
    EXPECT_EQ(0u, GetU32(s.data(), 36)) << "no palette of its own";
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 0, 1, 3, 2, 0}), std::vector<uint8_t>(s.begin() + 48, s.begin() + 56));
    ImgPicture back = Back(s, pal);
    EXPECT_EQ((std::vector<uint8_t>{0xFC, 0, 0, 255, 0, 0xFC, 0, 255}), std::vector<uint8_t>(back.rgba.begin(), back.rgba.begin() + 8));

    // A key colour and clear alpha become the transparent index: the first user index past the
    // palette's colours, which no other pixel takes.
    o.hasKey = true;
    o.key[0] = 1, o.key[1] = 2, o.key[2] = 3;
    ImgPicture t = Picture(3, 1, {0x010203FF, 0xFC000010, 0x000000FF});
    s = Convert(t, o, &report);
    EXPECT_EQ(4, report.transparent);
    EXPECT_EQ(4, (int32_t)GetU32(s.data(), 20));
    EXPECT_EQ((std::vector<uint8_t>{4, 4, 0}), std::vector<uint8_t>(s.begin() + 48, s.begin() + 51));
    // A palette that fills all 248 user colours gives up its first for the transparent index.
    for (int i = 4; i < 248; i++) pal[3 * i] = pal[3 * i + 1] = pal[3 * i + 2] = 62;
    o.paletteCount = 248;
    ImgPicture u = Picture(2, 1, {0x010203FF, 0x000000FF});
    s = Convert(u, o, &report);
    EXPECT_EQ(0, report.transparent);
    EXPECT_EQ(0, s[48]);
    EXPECT_NE(0, s[49]) << "black may not take the transparent index";

    // A palette without colours is refused, never used.
    o.paletteCount = 0;
    std::vector<uint8_t> out;
    std::string why;
    EXPECT_EQ(1, ImgToSprite(u, o, out, nullptr, why));
    EXPECT_NE(std::string::npos, why.find("palette")) << why;
}

TEST_F(Images, OwnPaletteAndDither)
{
    ImgSpriteOptions o;
    o.ownPalette = true;
    // Few colours, each a multiple of 4: kept exactly, red and blue apart.
    ImgPicture p = Picture(3, 1, {0xFC0408FF, 0x0804FCFF, 0xFC0408FF});
    ImgSpriteReport report;
    std::vector<uint8_t> s = Convert(p, o, &report);
    EXPECT_EQ(2, report.colours);
    EXPECT_NE(0u, GetU32(s.data(), 36));
    EXPECT_EQ(p.rgba, Back(s).rgba);

    // Many colours: at most 248 entries, every pixel near its colour.
    ImgPicture many;
    many.width = 64;
    many.height = 64;
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) {
            uint8_t px[4] = {(uint8_t)(x * 4), (uint8_t)(y * 4), (uint8_t)((x + y) * 2), 255};
            many.rgba.insert(many.rgba.end(), px, px + 4);
        }
    s = Convert(many, o, &report);
    EXPECT_EQ(248, report.colours);
    ImgPicture back = Back(s);
    int worst = 0;
    for (size_t i = 0; i < many.rgba.size(); i++) worst = std::max(worst, std::abs(many.rgba[i] - back.rgba[i]));
    EXPECT_LE(worst, 24);

    // Dither: a flat grey between black and white comes out as a mix of both, about half each;
    // without dither every pixel is the one nearest colour.
    uint8_t pal[256 * 3] = {};
    pal[3] = pal[4] = pal[5] = 63;
    ImgSpriteOptions d;
    d.palette = pal;
    d.paletteCount = 2;
    ImgPicture grey;
    grey.width = grey.height = 32;
    for (int i = 0; i < 32 * 32; i++) grey.rgba.insert(grey.rgba.end(), {120, 120, 120, 255});
    auto whites = [](const std::vector<uint8_t>& spr) {
        int n = 0;
        for (int i = 0; i < 32 * 32; i++) n += spr[48 + i] == 1;
        return n;
    };
    EXPECT_EQ(0, whites(Convert(grey, d)));
    d.dither = true;
    int n = whites(Convert(grey, d));
    EXPECT_GT(n, 32 * 32 * 40 / 100);
    EXPECT_LT(n, 32 * 32 * 55 / 100);
}

TEST_F(Images, SizesThePagesCannotHoldAreRefusedOrScaled)
{
    ImgPicture wide;
    wide.width = 1025;
    wide.height = 3;
    wide.rgba.assign(4ull * 1025 * 3, 200);
    ImgSpriteOptions o;
    o.format = IMG_FORMAT_32;
    std::vector<uint8_t> out;
    std::string why;
    ImgSpriteReport report;
    EXPECT_EQ(1, ImgToSprite(wide, o, out, &report, why));
    EXPECT_NE(std::string::npos, why.find("1025x3")) << why;
    EXPECT_NE(std::string::npos, why.find("1024 pixels a side")) << why;
    wide.width = 1024;
    wide.rgba.resize(4ull * 1024 * 3);
    EXPECT_EQ(0, ImgToSprite(wide, o, out, &report, why)) << "1024 is the limit itself";
    o.resizePow2 = true;
    EXPECT_EQ(0, ImgToSprite(wide, o, out, &report, why));
    EXPECT_EQ(1024, report.width);
    EXPECT_EQ(4, report.height);
    EXPECT_EQ(4u, GetU32(out.data(), 8));
    EXPECT_EQ(0xC8C8C8C8u, GetU32(out.data(), 32)) << "a flat picture stays flat when scaled";

    // A picture whose pixels do not match its size is refused, never read past.
    ImgPicture bad;
    bad.width = 2;
    bad.height = 2;
    bad.rgba.assign(15, 0);
    out.clear();
    EXPECT_EQ(1, ImgToSprite(bad, o, out, &report, why));
    EXPECT_EQ("the picture is empty", why);
    EXPECT_TRUE(out.empty());
}

TEST_F(Images, DecodingChecksTheDeclaredSizeFirst)
{
    ImgPicture p;
    std::string why;
    const uint8_t junk[] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(1, ImgDecode(junk, sizeof junk, &p, why));
    // A PNG header claiming 100000 x 2 pixels, with no data behind it.
    Bytes png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                 0, 1, 0x86, 0xA0, 0, 0, 0, 2, 8, 6, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(1, ImgDecode(png.data(), png.size(), &p, why));
    EXPECT_NE(std::string::npos, why.find("100000x2")) << why;
}
