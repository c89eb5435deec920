// Texture pages: placements worked out by hand from the packing rules (largest byte size
// first, equal sizes in arrival order, first fit in the free list, strips pushed at its head),
// shrinking when the back end runs out of pages, texture-coordinate insets and page texels.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/log.h"
#include "base/res.h"
#include "platform/platform.h"
#include "render/tpage.h"

namespace {

// A back end that holds at most maxPages pages of at most maxEdge texels and keeps a copy of
// every uploaded page.
struct Backend {
    int maxPages = TPAGE_MAX_PAGES, maxEdge = TPAGE_MAX_EDGE, held = 0;
    std::vector<std::vector<uint8_t>> uploaded;
};
Backend gBack;
std::vector<std::string> gLog;
std::vector<uint32_t> gProgress;
int Progress(uint32_t value)
{
    gProgress.push_back(value);
    return 0;
}

int Load(int size, int, int format, TPageRecord* page, uint32_t)
{
    if (gBack.held >= gBack.maxPages || size > gBack.maxEdge) return 1;
    gBack.held++;
    if (page->texels) {
        gBack.uploaded.emplace_back(page->texels, page->texels + (size_t)size * size * TPageBytesPerTexel(format));
        page->handle[0] = (uint8_t)gBack.uploaded.size();
    }
    return 0;
}
void Remove(TPageRecord*) { gBack.held--; }
void FreeRec(TPageRecord*) {}
void Hook(int, const char* line) { gLog.push_back(line); }

int Lines(const std::string& text)
{
    int n = 0;
    for (const std::string& l : gLog) n += l.find(text) != std::string::npos;
    return n;
}

ResId Sprite8(int w, int h, int transparent = -1)
{
    ResId id = SpriteCreate8(w, h, transparent, nullptr, 0);
    EXPECT_NE(id, 0);
    return id;
}

struct Place {
    int page, x, y, w, h;
    bool operator==(const Place&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Place& p)
{
    return o << "page " << p.page << " (" << p.x << "," << p.y << ") " << p.w << "x" << p.h;
}

Place Where(ResId id)
{
    TPagePlace p;
    if (!TPagePlacement(id, &p)) return {-1, 0, 0, 0, 0};
    return {p.page, p.x, p.y, p.w, p.h};
}
std::vector<Place> Where(std::initializer_list<ResId> ids)
{
    std::vector<Place> out;
    for (ResId id : ids) out.push_back(Where(id));
    return out;
}

class TPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResRemove();
        ResInstall(2000);
        SpriteInstall();
        gBack = Backend();
        gLog.clear();
        gProgress.clear();
        LogSetHook(Hook);
    }
    void TearDown() override
    {
        TPageDestroy();
        LogSetHook(nullptr);
        ResRemove();
    }
    // Init, start with the hardware driver's formats, load the sprites with their flags, end.
    void Pack(int edge, const std::vector<ResId>& ids, const std::vector<uint32_t>& flags = {})
    {
        ASSERT_EQ(TPageInit(edge, 1.0f, Load, FreeRec, Remove, 0), 0);
        TPageStartLoad(TPAGE_RGBA32, TPAGE_RGBA32, TPAGE_RGBA32_KEYED);
        for (size_t i = 0; i < ids.size(); i++) TPageLoadText(ids[i], i < flags.size() ? flags[i] : 0);
        TPageEndLoad(nullptr);
    }
};

}   // namespace

TEST_F(TPage, PlacesLargestFirstWithGuillotineSplits)
{
    {
        SCOPED_TRACE("mixed sizes, equal byte sizes in arrival order");
        // Byte sizes (16 bits a texel): C 20000, A 8192, B 8192, D 2048: order C A B D.
        // C (100x100) in 256x256: dw = dh = 156, so the bottom strip (0,100 256x156) spans the
        // whole width, then the right strip (100,0 156x100) goes to the list's head.
        // A (64x64) takes (100,0); dw 92 > dh 36: right (164,0 92x100), then bottom (100,64 64x36).
        // B (128x32) fits neither of those: the wide bottom strip at (0,100).
        // D (32x32): B's bottom strip (0,132 128x124), pushed last, comes first.
        ResId a = Sprite8(64, 64), b = Sprite8(128, 32), c = Sprite8(100, 100), d = Sprite8(32, 32);
        Pack(256, {a, b, c, d});
        EXPECT_EQ(Where({c, a, b, d}), (std::vector<Place>{{0, 0, 0, 100, 100}, {0, 100, 0, 64, 64},
                                                            {0, 0, 100, 128, 32}, {0, 0, 132, 32, 32}}));
        EXPECT_EQ(TPagePageCount(), 1);
        TPageDestroy();
    }
    {
        SCOPED_TRACE("a sprite the size of a free block takes it whole");
        // A (64x128) leaves only the right strip 64x128 (no empty bottom strip): B fills it
        // exactly; E then needs a new page.
        ResId a = Sprite8(64, 128), b = Sprite8(64, 128), e = Sprite8(16, 16);
        Pack(128, {a, b, e});
        EXPECT_EQ(Where({a, b, e}), (std::vector<Place>{{0, 0, 0, 64, 128}, {0, 64, 0, 64, 128}, {1, 0, 0, 16, 16}}));
        TPageDestroy();
    }
    {
        SCOPED_TRACE("17 sprites of 256x256 on 1024 pages");
        // In units of 256: the first (0,0) leaves the right strip (1,0 3x1) at the head, filled
        // by 1, 2, 3. The 5th takes (0,1) of the 4x3 bottom strip: dw 3 > dh 2, so a right strip
        // (1,1 3x3) and a bottom one (0,2 1x2) at the head: 6th (0,2), 7th (0,3). The 8th takes
        // (1,1) of 3x3: bottom (1,2 3x2), right (2,1 2x1) at the head: 9th, 10th. The 11th (1,2)
        // of 3x2: right (2,2 2x2), bottom (1,3) at the head: 12th. The 13th (2,2): bottom (2,3
        // 2x1), right (3,2): 14th; 15th (2,3), 16th (3,3). The 17th opens page 1.
        static const int kCell[16][2] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 1},
                                         {2, 1}, {3, 1}, {1, 2}, {1, 3}, {2, 2}, {3, 2}, {2, 3}, {3, 3}};
        std::vector<ResId> ids;
        for (int i = 0; i < 17; i++) ids.push_back(Sprite8(256, 256));
        Pack(1024, ids);
        for (int i = 0; i < 16; i++)
            EXPECT_EQ(Where(ids[i]), (Place{0, kCell[i][0] * 256, kCell[i][1] * 256, 256, 256})) << i;
        EXPECT_EQ(Where(ids[16]), (Place{1, 0, 0, 256, 256}));
        TPageDestroy();
    }
    {
        SCOPED_TRACE("opaque and transparent sprites go to pages of their own format");
        // Transparent indices 0 and 255, the first and the last.
        ResId opaque = Sprite8(32, 32), keyed = Sprite8(32, 32, 0), same = Sprite8(32, 32), last = Sprite8(32, 32, 255);
        Pack(256, {opaque, keyed, same, last});
        EXPECT_EQ(Where({opaque, keyed, same, last}),
                  (std::vector<Place>{{0, 0, 0, 32, 32}, {1, 0, 0, 32, 32}, {0, 32, 0, 32, 32}, {1, 32, 0, 32, 32}}));
        ASSERT_EQ(TPagePageCount(), 2);
        EXPECT_EQ(TPagePage(0)->format, TPAGE_RGBA32);
        EXPECT_EQ(TPagePage(1)->format, TPAGE_RGBA32_KEYED);
        TPageDestroy();
    }
    {
        SCOPED_TRACE("a sprite loaded twice is placed once");
        ResId a = Sprite8(64, 64);
        Pack(64, {a, a});
        EXPECT_EQ(TPagePageCount(), 1);
        EXPECT_EQ(Lines("is already in text mem"), 1);
    }
}

TEST_F(TPage, ShrinksSpritesWhenPagesRunOut)
{
    {
        SCOPED_TRACE("two 256x256 sprites, one page of 256");
        // Landscape and general scales shrink in turn (landscape first, no effect here); the
        // general scale runs 0.875 (224), 0.765625 (196), 0.66992 (171), 0.58618 (150),
        // 0.51288 (131), 0.44873 (114): two 114-wide sprites fit side by side.
        gBack.maxPages = 1;
        ResId a = Sprite8(256, 256), b = Sprite8(256, 256);
        Pack(256, {a, b});
        EXPECT_EQ(Where({a, b}), (std::vector<Place>{{0, 0, 0, 114, 114}, {0, 114, 0, 114, 114}}));
        EXPECT_EQ((std::vector<int>{Lines("Using fail_landscape mode"), Lines("Using fail_general mode"),
                                    Lines("ExpandNode result True"), Lines("All loading has failed")}),
                  (std::vector<int>{6, 6, 1, 0}));
        TPageDestroy();
    }
    {
        SCOPED_TRACE("what never fits is dropped; the rest is still uploaded");
        // The keyed sprite needs a second page, so every pass fails until a scale reaches 0.
        // Final pass: 200x30 at the smallest scale is 16x16 (never less), 20x20 is never
        // shrunk: it goes below, in the bottom strip (the right strip is only 16 high).
        gBack = Backend();
        gBack.maxPages = 1;
        gLog.clear();
        ResId wide = Sprite8(200, 30), keyed = Sprite8(32, 32, 0), small = Sprite8(20, 20);
        Pack(256, {wide, keyed, small});
        EXPECT_EQ(Where({wide, small, keyed}),
                  (std::vector<Place>{{0, 0, 0, 16, 16}, {0, 0, 16, 20, 20}, {-1, 0, 0, 0, 0}}));
        EXPECT_EQ(Lines("All loading has failed"), 1);
        EXPECT_EQ(Lines("TPage failed to fit a sprite on final pass : 32x32"), 1);
        EXPECT_EQ(gBack.uploaded.size(), 1u);
        ASSERT_EQ(TPagePageCount(), 1);
        EXPECT_EQ(TPagePage(0)->loaded, 1);
        EXPECT_EQ(SpriteFormat(keyed, nullptr), 1);   // the sprite resource is untouched
    }
}

TEST_F(TPage, OwnPagesAndProbing)
{
    {
        SCOPED_TRACE("own pages: the smallest power of two at least the sprite, capped");
        gBack.maxEdge = 256;
        ResId s64 = Sprite8(64, 64), s65 = Sprite8(65, 65), s300 = Sprite8(300, 300);
        Pack(1024, {s64, s65, s300}, {TPAGE_SPRITE_OWN_PAGE, TPAGE_SPRITE_OWN_PAGE, TPAGE_SPRITE_OWN_PAGE});
        EXPECT_EQ(Lines("TPageStartLoad : MaxPageSize:256"), 1);
        EXPECT_EQ(Where({s300, s65, s64}),
                  (std::vector<Place>{{0, 0, 0, 256, 256}, {1, 0, 0, 128, 128}, {2, 0, 0, 64, 64}}));
        TPageDestroy();
    }
    {
        SCOPED_TRACE("the driver's edge is limited to 1024; with flag matching, groups keep apart");
        gBack = Backend();
        gLog.clear();
        ResId a = Sprite8(32, 32), b = Sprite8(32, 32), c = Sprite8(32, 32);
        ASSERT_EQ(TPageInit(4096, 1.0f, Load, FreeRec, Remove, TPAGE_MATCH_FLAGS), 0);
        TPageStartLoad(TPAGE_RGBA32, TPAGE_RGBA32, TPAGE_RGBA32_KEYED);
        TPageLoadText(a, 0);
        TPageLoadText(b, TPAGE_SPRITE_GROUP);
        TPageLoadText(c, 0);
        TPageEndLoad(nullptr);
        EXPECT_EQ(Lines("TPageStartLoad : MaxPageSize:1024"), 1);
        EXPECT_EQ(Where({a, b, c}), (std::vector<Place>{{0, 0, 0, 32, 32}, {1, 0, 0, 32, 32}, {0, 32, 0, 32, 32}}));
        TPageDestroy();
    }
    {
        SCOPED_TRACE("an own-page sprite must be square");
        gLog.clear();
        ResId s = Sprite8(64, 32);
        ASSERT_EQ(TPageInit(256, 1.0f, Load, FreeRec, Remove, 0), 0);
        TPageStartLoad(TPAGE_RGBA32, TPAGE_RGBA32, TPAGE_RGBA32_KEYED);
        EXPECT_EQ(TPageLoadText(s, TPAGE_SPRITE_OWN_PAGE), 1);
        EXPECT_EQ(Lines("MUST be square"), 1);
    }
}

TEST_F(TPage, TextureCoordinatesStayInsideTheirBlock)
{
    // Two 32x32 sprites per format on a 256 page: the second at x = 32, u = 0.125 .. 0.25.
    ResId o1 = Sprite8(32, 32), o2 = Sprite8(32, 32), k1 = Sprite8(32, 32, 0), k2 = Sprite8(32, 32, 0);
    ResId f1 = Sprite8(32, 32), f2 = Sprite8(32, 32);
    Pack(256, {o1, o2, k1, k2, f1, f2}, {0, 0, 0, 0, TPAGE_SPRITE_FULL_UV, TPAGE_SPRITE_FULL_UV});
    TPagePlace p;
    ASSERT_TRUE(TPagePlacement(o2, &p));
    ASSERT_EQ(p.x, 32);
    // Opaque: one texel (1/256) in from each side.
    EXPECT_FLOAT_EQ(p.ustart, 0.12890625f);
    EXPECT_FLOAT_EQ(p.du, 0.1171875f);
    EXPECT_FLOAT_EQ(p.vstart, 0.00390625f);
    ASSERT_TRUE(TPagePlacement(k2, &p));
    ASSERT_EQ(p.x, 32);
    // Keyed: 1/16 texel (1/4096) in from each side: start 0.125 + 1/4096, end 0.25 - 1/4096.
    EXPECT_FLOAT_EQ(p.ustart, 0.125244140625f);
    EXPECT_FLOAT_EQ(p.ustart + p.du, 0.249755859375f);
    ASSERT_TRUE(TPagePlacement(f2, &p));   // after o1, o2, f1 on page 0: x = 96
    EXPECT_FLOAT_EQ(p.ustart, 0.375f);
    EXPECT_FLOAT_EQ(p.du, 0.125f);
    EXPECT_EQ(p.handle, TPagePage(p.page)->handle);
}

TEST_F(TPage, PageTexelsAndRefusedSprites)
{
    {
        SCOPED_TRACE("an 8-bit sprite with a transparent index and its own palette, keyed");
        // Palette entries are 6-bit: 63 -> 252 (0xFC), 32 -> 128, 16 -> 64.
        const uint8_t palette[9] = {0, 0, 0, 63, 0, 0, 0, 32, 16};
        ResId s = SpriteCreate8(2, 2, 0, palette, 3);
        uint8_t* px = SpritePixels(s);
        px[0] = 0, px[1] = 1, px[2] = 2, px[3] = 0;
        SpriteRelease(s);
        // A 32-bit sprite whose key colour is not drawn in a keyed page but is in an opaque one.
        ResId t = SpriteCreate32(2, 1);
        uint8_t* d = (uint8_t*)ResOpen(t);
        d[12] = 0x11, d[13] = 0x22, d[14] = 0x33;
        PutU32(d, 32, 0x00112233);
        PutU32(d, 36, 0x00ABCDEF);
        ResClose(t);
        ASSERT_EQ(TPageInit(256, 1.0f, Load, FreeRec, Remove, 0), 0);
        TPageStartLoad(TPAGE_RGBA32, TPAGE_RGBA32, TPAGE_RGBA32_KEYED);
        TPageLoadText(s, 0);
        TPageLoadText(t, 0);
        TPageEndLoad(Progress);
        // Half way once packed, then a step per uploaded page, then done.
        EXPECT_EQ(gProgress, (std::vector<uint32_t>{8192, 8192, 12288, 16384}));
        ASSERT_EQ(gBack.uploaded.size(), 2u);
        ASSERT_EQ(TPagePage(0)->format, TPAGE_RGBA32_KEYED);   // s: larger byte size, first
        const std::vector<uint8_t>& keyed = gBack.uploaded[0];
        const int row = 256 * 4;
        EXPECT_EQ(GetU32(keyed.data(), 0), 0x00000000u);
        EXPECT_EQ(GetU32(keyed.data(), 4), 0xFFFC0000u);
        EXPECT_EQ(GetU32(keyed.data(), row), 0xFF008040u);
        EXPECT_EQ(GetU32(keyed.data(), row + 4), 0x00000000u);
        const std::vector<uint8_t>& opaque = gBack.uploaded[1];
        EXPECT_EQ(GetU32(opaque.data(), 0), 0xFF112233u);
        EXPECT_EQ(GetU32(opaque.data(), 4), 0xFFABCDEFu);
        TPageFreeTexture(s);
        EXPECT_EQ(TPagePlacement(s, nullptr), 0);
        EXPECT_EQ(SpriteFormat(s, nullptr), 1);   // freeing the placement leaves the resource
        TPageDestroy();
    }
    {
        SCOPED_TRACE("16-bit and index pages; a 3x3 own-page sprite stretched to its 4x4 page");
        const uint8_t palette[6] = {0, 0, 0, 63, 0, 0};
        ResId keyed = SpriteCreate8(3, 3, 0, palette, 2), plain = SpriteCreate8(3, 3, -1, nullptr, 0);
        for (ResId id : {keyed, plain}) {
            uint8_t* px = SpritePixels(id);
            for (int i = 0; i < 9; i++) px[i] = (uint8_t)(i % 3);   // columns 0, 1, 2
            SpriteRelease(id);
        }
        gBack = Backend();
        ASSERT_EQ(TPageInit(256, 1.0f, Load, FreeRec, Remove, 0), 0);
        TPageStartLoad(TPAGE_RGBA32, TPAGE_INDEX8, TPAGE_ARGB1555);
        TPageLoadText(keyed, TPAGE_SPRITE_OWN_PAGE);
        TPageLoadText(plain, TPAGE_SPRITE_OWN_PAGE);
        TPageEndLoad(nullptr);
        ASSERT_EQ(gBack.uploaded.size(), 2u);
        // Page 0 (1555, keyed: larger byte size): columns 0, 0, 1, 2 of the source (nearest);
        // index 0 transparent, index 1 = (252, 0, 0) -> 0x8000 | 31 << 10.
        ASSERT_EQ(gBack.uploaded[0].size(), 4u * 4 * 2);
        const uint8_t* k = gBack.uploaded[0].data();
        EXPECT_EQ(GetU16(k, 0), 0x0000);
        EXPECT_EQ(GetU16(k, 2), 0x0000);
        EXPECT_EQ(GetU16(k, 4), 0xFC00);
        EXPECT_EQ(GetU16(k, 8 * 3 + 4), 0xFC00);
        // Page 1 (indices): 0 0 1 2 on every row.
        ASSERT_EQ(gBack.uploaded[1].size(), 16u);
        EXPECT_EQ(gBack.uploaded[1], (std::vector<uint8_t>{0, 0, 1, 2, 0, 0, 1, 2, 0, 0, 1, 2, 0, 0, 1, 2}));
        TPageDestroy();
    }
    {
        SCOPED_TRACE("a damaged sprite is refused");
        gLog.clear();
        ResId bad = Sprite8(8, 8), junk = ResCreate(16);
        PutU32(ResOpen(bad), 4, 0x7FFFFFFF);
        ResClose(bad);
        ASSERT_EQ(TPageInit(256, 1.0f, Load, FreeRec, Remove, 0), 0);
        TPageStartLoad(TPAGE_RGBA32, TPAGE_RGBA32, TPAGE_RGBA32_KEYED);
        EXPECT_EQ(TPageLoadText(bad, 0), 1);
        EXPECT_EQ(TPageLoadText(junk, 0), 1);
        TPageEndLoad(nullptr);
        EXPECT_EQ(TPagePageCount(), 0);
        EXPECT_EQ(Lines("is no sound sprite"), 2);
    }
}
