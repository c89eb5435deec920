#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "support/screen.h"
#include "support/testutil.h"

// A hand-made font image: cells of w x h, characters first..last, each glyph's bytes from
// `ink`, advances from `advance`. Version 2 puts the mark at 24 and the table behind it.
struct FontDesc {
    int w = 3, h = 4, first = 32, last = 126;
    bool version2 = false;
    std::function<int(int)> advance = [](int) { return 4; };
    // Default: one ink pixel at the cell's top-left corner, none for the space, so that each
    // glyph's position can be read back from one row.
    std::function<uint8_t(int c, int x, int y)> ink = [](int c, int x, int y) {
        return (uint8_t)(c != ' ' && x == 0 && y == 0 ? 255 : 0);
    };
};

static Bytes MakeFont(const FontDesc& d)
{
    int count = d.last - d.first + 1;
    uint32_t table = d.version2 ? 40 : 24;
    uint32_t bitmaps = table + 8 * count;
    Bytes b;
    AppendText(b, "FONT", 4);
    AppendU32(b, d.w);
    AppendU32(b, d.h);
    AppendU8(b, (uint8_t)d.first);
    AppendU8(b, (uint8_t)d.last);
    AppendU16(b, 0);
    AppendU32(b, table);
    AppendU32(b, 0);
    if (d.version2) AppendText(b, "VERSION2", 16);
    for (int i = 0; i < count; i++) {
        AppendU32(b, bitmaps + i * d.w * d.h);
        AppendU32(b, d.advance(d.first + i));
    }
    for (int i = 0; i < count; i++)
        for (int y = 0; y < d.h; y++)
            for (int x = 0; x < d.w; x++) AppendU8(b, d.ink(d.first + i, x, y));
    return b;
}

static ResId ToRes(const Bytes& b)
{
    ResId id = ResCreate(b.size());
    memcpy(ResOpen(id), b.data(), b.size());
    ResClose(id);
    return id;
}

class Text : public ScreenTest {
protected:
    // The x of every lit pixel on a row.
    static std::vector<int> Row(int y)
    {
        std::vector<int> xs;
        for (int x = 0; x < 320; x++)
            if (Px(x, y)) xs.push_back(x);
        return xs;
    }
    static int LitCount()
    {
        int n = 0;
        for (int y = 0; y < 200; y++) n += (int)Row(y).size();
        return n;
    }
    void UseFont(const FontDesc& d = FontDesc())
    {
        TextSetFont(ToRes(MakeFont(d)));
        ASSERT_NE(TextGetFont(), 0);
    }
};

// ---- Layout

TEST_F(Text, JustifiedLinesEndAtTheRightMarginAndTheLastIsNotStretched)
{
    UseFont();   // advance 4, ink at each glyph's left edge
    TextSetColour(YELLOW);
    TextSetFormat(TEXT_MODE_JUSTIFY, 5, 10, 101);
    const char* sample = "the quick brown fox jumps over a lazy dog and keeps running past the old "
                         "mill until the sun sets behind some hills";
    TextPrint(10, 20, "%s", sample);

    int nonSpaces = 0;
    for (const char* s = sample; *s; s++) nonSpaces += *s != ' ';
    EXPECT_EQ(LitCount(), nonSpaces) << "every glyph is drawn, none twice";

    // Count the words of each line from the gaps between glyphs (4 inside a word).
    int lines = 0, words = 0;
    for (int y = 20; !Row(y).empty(); y += 5, lines++) {
        std::vector<int> xs = Row(y);
        EXPECT_EQ(xs.front(), 10) << "each line starts at the left margin";
        std::vector<int> gaps;
        for (size_t i = 1; i < xs.size(); i++)
            if (xs[i] - xs[i - 1] != 4) gaps.push_back(xs[i] - xs[i - 1]);
        bool last = Row(y + 5).empty();
        if (!last) {
            EXPECT_EQ(xs.back() + 4, 101) << "wrapped line " << lines << " ends at the right margin";
            // The free width is shared evenly: the word gaps differ by one pixel at most.
            ASSERT_FALSE(gaps.empty());
            int lo = gaps[0], hi = gaps[0];
            for (int g : gaps) lo = g < lo ? g : lo, hi = g > hi ? g : hi;
            EXPECT_LE(hi - lo, 1) << "line " << lines;
            EXPECT_GE(lo, 8);
        } else {
            for (int g : gaps) EXPECT_EQ(g, 8) << "the last line keeps plain spaces";
            EXPECT_LT(xs.back() + 4, 101);
        }
        words += (int)gaps.size() + 1;
    }
    EXPECT_GE(lines, 4);
    int pen;
    TextGetPen(nullptr, &pen);
    EXPECT_EQ(pen, 20 + 5 * (lines - 1));

    // Words are never split: the lines hold as many words as the sample.
    int sampleWords = 1;
    for (const char* s = sample; *s; s++) sampleWords += *s == ' ';
    EXPECT_EQ(words, sampleWords);
}

TEST_F(Text, WrappingBreaksAtTheSpaceThatOverflowsAndSplitsOverlongWords)
{
    UseFont();
    TextSetFormat(TEXT_MODE_JUSTIFY, 5, 0, 36);
    // "aaaa bbbb" is 36 wide and fits exactly; the space after it ends the line there.
    TextPrint(0, 0, "aaaa bbbb cc");
    std::vector<int> first = Row(0);
    ASSERT_EQ(first.size(), 8u);
    EXPECT_EQ(first.back(), 32);
    EXPECT_EQ(Row(5), (std::vector<int>{0, 4}));

    // A word longer than the line is broken where it meets the margin.
    VideoClear(0);
    TextSetFormat(TEXT_MODE_JUSTIFY, 5, 0, 20);
    TextPrint(0, 0, "abcdefghijkl");
    EXPECT_EQ((std::vector<size_t>{Row(0).size(), Row(5).size(), Row(10).size()}), (std::vector<size_t>{5, 5, 2}));

    // Mode 0 never wraps; CR goes back to the left margin one line lower; LF is nothing.
    VideoClear(0);
    TextSetFormat(TEXT_MODE_PLAIN, 6, 3, 20);
    TextPrint(50, 0, "abcdefghij\r\nxy\nz");
    EXPECT_EQ(Row(0).size(), 10u);
    EXPECT_EQ(Row(0).front(), 50);
    EXPECT_EQ(Row(6), (std::vector<int>{3, 7, 11}));
    EXPECT_TRUE(Row(12).empty());
    int x, y;
    TextGetPen(&x, &y);
    EXPECT_EQ((std::vector<int>{x, y}), (std::vector<int>{15, 6}));
}

TEST_F(Text, CentredAndRightAlignedPlacement)
{
    FontDesc d;
    d.advance = [](int) { return 5; };
    UseFont(d);
    // (0 + 100) / 2 - 15 / 2 = 50 - 7 = 43: each half truncated. Halving the difference
    // instead, (100 - 15) / 2, would give 42.
    TextSetFormat(TEXT_MODE_CENTRE, 5, 0, 100);
    TextPrint(0, 10, "abc");
    EXPECT_EQ(Row(10), (std::vector<int>{43, 48, 53}));
    // (7 + 100) / 2 - 20 / 2 = 53 - 10 = 43.
    TextSetFormat(TEXT_MODE_CENTRE, 5, 7, 100);
    TextPrint(0, 20, "abcd");
    EXPECT_EQ(Row(20).front(), 43);

    TextSetFormat(TEXT_MODE_RIGHT, 5, 0, 100);
    TextPrint(0, 30, "abc");
    EXPECT_EQ(Row(30), (std::vector<int>{85, 90, 95}));

    // Wrapped lines of the aligned modes are aligned each, not stretched.
    TextSetFormat(TEXT_MODE_RIGHT, 5, 0, 40);
    TextPrint(0, 40, "aaa bbb ccc");
    EXPECT_EQ(Row(40), (std::vector<int>{5, 10, 15, 25, 30, 35}));   // "aaa bbb" ends at 40
    EXPECT_EQ(Row(45), (std::vector<int>{25, 30, 35}));
}

TEST_F(Text, UnknownModeIsFatal)
{
    auto print = [] {
        TextSetFormat(4, -1, 0, 100);
        TextPrint(0, 0, "x");
    };
    EXPECT_EXIT(print(), testing::ExitedWithCode(1), "TextFlushBuffer: Unrecognised format mode.");
}

// ---- Glyphs

TEST_F(Text, GlyphsCrossingTheClipEdgeAreLeftOutAndDoNotAdvance)
{
    FontDesc d;
    d.ink = [](int, int, int) { return (uint8_t)255; };   // solid cells show any partial draw
    UseFont(d);
    VideoSetClip(20, 10, 60, 40);
    int x;

    // The first cell would cover x 18-20: left out, and "b" takes its place, also left out.
    TextPrint(18, 20, "ab");
    EXPECT_EQ(Row(20).size(), 0u);
    TextGetPen(&x, nullptr);
    EXPECT_EQ(x, 18);

    // On the right: "a" at 52-54 and "b" at 56-58 fit, "c" at 60-62 does not.
    TextPrint(52, 20, "abc");
    EXPECT_EQ(Row(20), (std::vector<int>{52, 53, 54, 56, 57, 58}));
    TextGetPen(&x, nullptr);
    EXPECT_EQ(x, 60);

    // Top and bottom edges too: a cell of rows 8-11 or 38-41 is not drawn at all.
    TextPrint(30, 8, "a");
    TextPrint(30, 38, "a");
    for (int y = 0; y < 50; y++) EXPECT_EQ(Px(30, y), 0u) << y;
    // A cell that ends on the clip rectangle's last column or row lies inside it.
    TextPrint(58, 37, "a");
    EXPECT_EQ(Px(60, 40), Pal(255));
}

TEST_F(Text, WhatIsWrittenIsNotedWithItsPlaceAndWhetherTheClipCutIt)
{
    UseFont();   // cells 3 x 4, advances of 4
    VideoSetClip(20, 10, 60, 40);
    TextResetWritten();
    TextPrint(30, 20, "abc");           // x 30 to 41: inside
    TextPrint(52, 30, "abc");           // to 63: past the right edge
    TextPrint(30, 37, "a");             // rows 37 to 40: the last row is the clip's
    TextPrint(30, 38, "a");             // to row 41: past the bottom
    TextSetFormat(TEXT_MODE_RIGHT, -1, 0, 50);
    TextPrint(0, 12, "ab");             // placed by its mode: x 42 to 49
    TextDrawString(19, 15, "a", 255);   // x 19: left of the clip
    ASSERT_EQ(TextWrittenCount(), 6);
    std::vector<std::tuple<std::string, int, int, int, int, int>> got;
    for (int i = 0; i < TextWrittenCount(); i++) {
        const TextWritten* t = TextWrittenAt(i);
        got.emplace_back(t->text, t->x, t->y, t->width, t->height, t->cut);
    }
    EXPECT_EQ(got, (std::vector<std::tuple<std::string, int, int, int, int, int>>{
                       {"abc", 30, 20, 12, 4, 0},
                       {"abc", 52, 30, 12, 4, 1},
                       {"a", 30, 37, 4, 4, 0},
                       {"a", 30, 38, 4, 4, 1},
                       {"ab", 42, 12, 8, 4, 0},
                       {"a", 19, 15, 4, 4, 1},
                   }));
    EXPECT_EQ(TextWrittenAt(6), nullptr);
    TextResetWritten();
    EXPECT_EQ(TextWrittenCount(), 0);
}

TEST_F(Text, CharactersOutsideTheFontDrawNothingAndAdvanceNothing)
{
    FontDesc d;
    d.first = 'a';
    d.last = 'z';
    UseFont(d);
    TextPrint(10, 10, "aZ\x01\xff" "b");
    EXPECT_EQ(Row(10), (std::vector<int>{10, 14}));
    EXPECT_EQ(TextWidth("aZ\x01\xff" "b"), 8);
    EXPECT_EQ(TextWidth(""), 0);

    // printf conversions are applied before layout.
    VideoClear(0);
    TextPrint(0, 30, "%d%s%c", 7, "ab", 'c');
    EXPECT_EQ(Row(30), (std::vector<int>{0, 4, 8})) << "the digit is outside the font";
}

TEST_F(Text, ColoursShadowAndTheGlyphsOwnValues)
{
    FontDesc d;
    // Ink in two palette colours so that colour -1 can be told from the text colour.
    d.ink = [](int, int x, int y) { return (uint8_t)(y == 0 ? (x == 0 ? GREEN : x == 1 ? BLUE : 0) : 0); };
    UseFont(d);
    TextSetColour(YELLOW);
    TextPrint(10, 10, "a");
    EXPECT_EQ(Pxs({{10, 10}, {11, 10}, {12, 10}}), Pals({YELLOW, YELLOW, -1}));

    TextSetColour(-1);
    TextPrint(10, 20, "a");
    EXPECT_EQ(Pxs({{10, 20}, {11, 20}}), Pals({GREEN, BLUE}));

    // The shadow is drawn first, offset, in the shadow colour; the glyph covers it where
    // they meet.
    TextSetColour(YELLOW);
    TextSetShadow(1, 1);
    TextPrint(10, 30, "a");
    EXPECT_EQ(Pxs({{10, 30}, {11, 30}, {11, 31}, {12, 31}, {10, 31}}), Pals({YELLOW, YELLOW, 251, 251, -1}));

    // Setting the colour clears the shadow.
    TextSetColour(YELLOW);
    TextPrint(10, 40, "a");
    EXPECT_EQ(Px(11, 41), 0u);
}

TEST_F(Text, FontAndLineHeight)
{
    EXPECT_EQ(TextGetFont(), 0);
    TextPrint(0, 0, "nothing to draw with");
    EXPECT_EQ(LitCount(), 0);

    FontDesc d;
    d.h = 6;
    UseFont(d);
    EXPECT_EQ(TextLineHeight(), 7) << "the font's height + 1";
    TextSetFormat(TEXT_MODE_PLAIN, 3, 0, 100);
    EXPECT_EQ(TextLineHeight(), 3);
    TextSetFormat(TEXT_MODE_PLAIN, -1, 0, 100);
    EXPECT_EQ(TextLineHeight(), 7) << "-1: the font's again";

    // A resource that is no font (a damaged font file) leaves the current font in use.
    ResId current = TextGetFont();
    ASSERT_NE(current, 0);
    int width = TextWidth("abc");
    TextSetFont(ToRes(Bytes(64, 0)));
    EXPECT_EQ(TextGetFont(), current);
    EXPECT_EQ(TextWidth("abc"), width);
    EXPECT_GT(width, 0);
}

// ---- Fonts

TEST_F(Text, RegistrationRefusesDamagedFonts)
{
    Bytes good = MakeFont(FontDesc());
    ResId a = ToRes(good);
    int n = FontRegister(a);
    // The number, again for a font registered before, the version and the resource.
    EXPECT_EQ((std::vector<int>{n, FontRegister(a), FontVersion(n), (int)FontResource(n)}), (std::vector<int>{1, 1, 1, (int)a}));
    FontDesc v2;
    v2.version2 = true;
    int n2 = FontRegister(ToRes(MakeFont(v2)));
    EXPECT_EQ((std::vector<int>{n2, FontVersion(n2)}), (std::vector<int>{2, 2}));

    struct Damage {
        const char* what;
        std::function<void(Bytes&)> apply;
    } damages[] = {
        {"not FONT", [](Bytes& b) { memcpy(b.data(), "FOND", 4); }},
        {"header cut", [](Bytes& b) { b.resize(20); }},
        {"table cut", [](Bytes& b) { b.resize(24 + 8 * 50); }},
        {"last glyph cut", [](Bytes& b) { b.resize(b.size() - 1); }},
        {"table offset outside", [](Bytes& b) { PutU32(b.data(), 16, (uint32_t)b.size() - 8); }},
        {"table offset huge", [](Bytes& b) { PutU32(b.data(), 16, 0xFFFFFFF0u); }},
        {"glyph offset outside", [](Bytes& b) { PutU32(b.data(), 24 + 8 * 7, (uint32_t)b.size() - 5); }},
        {"glyph offset huge", [](Bytes& b) { PutU32(b.data(), 24, 0xFFFFFFFFu); }},
        {"cell width 0", [](Bytes& b) { PutU32(b.data(), 4, 0); }},
        {"cell height huge", [](Bytes& b) { PutU32(b.data(), 8, 0x40000000u); }},
        {"cells larger than the glyphs", [](Bytes& b) { PutU32(b.data(), 4, 200); }},
        {"cells beyond the limit", [](Bytes& b) { PutU32(b.data(), 4, 300); }},
        {"first after last", [](Bytes& b) { b[12] = 127; }},
        {"absurd advance", [](Bytes& b) { PutU32(b.data(), 28, 0x7FFFFFFFu); }},
    };
    for (const Damage& d : damages) {
        Bytes b = good;
        d.apply(b);
        EXPECT_EQ(FontRegister(ToRes(b)), 0) << d.what;
    }
    EXPECT_EQ(FontCount(), 2);
    EXPECT_EQ(FontRegister(0), 0);
    EXPECT_EQ(FontRegister(9999), 0) << "an id that is not in use";
}

TEST_F(Text, TheTableHoldsTwoHundredAndFiftySixFonts)
{
    FontDesc d;
    d.first = d.last = 'a';
    Bytes b = MakeFont(d);
    std::vector<ResId> ids;
    for (int i = 0; i < FONT_MAX; i++) {
        ids.push_back(ToRes(b));
        ASSERT_EQ(FontRegister(ids.back()), i + 1);
    }
    EXPECT_EQ(FontRegister(ToRes(b)), 0);
    EXPECT_EQ(FontRegister(ids[100]), 101) << "known fonts are still found";
}

TEST_F(Text, AFontDamagedAfterRegistrationIsNotReadOutside)
{
    FontDesc d;
    d.ink = [](int, int, int) { return (uint8_t)255; };
    Bytes b = MakeFont(d);
    ResId id = ToRes(b);
    TextSetFont(id);
    ASSERT_EQ(ResResize(id, b.size() - 12 * 5), 0);   // the last glyphs are gone
    TextPrint(0, 0, "a~");
    EXPECT_EQ(Row(0).size(), 3u) << "the glyph still inside is drawn, the cut one is not";

    // A font resource freed under the text output draws nothing and does not fail.
    ResFreeAlways(id);
    TextPrint(0, 10, "abc");
    EXPECT_TRUE(Row(10).empty());
}

TEST_F(Text, FntFilesLoadOnlyWhenTheyAreFonts)
{
    TempDir dir(true);
    Bytes good = MakeFont(FontDesc());
    Bytes bad = good;
    PutU32(bad.data(), 16, 0x7FFFFFFF);
    ASSERT_TRUE(WriteBytes(dir.file("good.fnt"), good));
    ASSERT_TRUE(WriteBytes(dir.file("bad.fnt"), bad));

    ResId g = ResOpenName("good.fnt");
    ASSERT_NE(g, 0);
    EXPECT_NE(FontRegister(g), 0);
    EXPECT_EQ(ResOpenName("bad.fnt"), 0) << "the type's loader refuses it";
    EXPECT_EQ(ResLastError(), RES_ERR_READ);
}

TEST_F(Text, HardwareSpritesHoldTheGlyphs)
{
    FontDesc d;
    d.first = 'a';
    d.last = 'c';
    d.ink = [](int c, int x, int y) { return (uint8_t)(x == y ? c : 0); };
    int n = FontRegister(ToRes(MakeFont(d)));
    ASSERT_NE(n, 0);
    EXPECT_EQ(FontSprite(n, 'a'), 0);
    FontLoadAll();
    for (int c = 'a'; c <= 'c'; c++) {
        ResId s = FontSprite(n, c);
        ASSERT_NE(s, 0);
        SpriteInfo info;
        ASSERT_TRUE(SpriteFormat(s, &info));
        EXPECT_EQ((std::vector<int>{info.bpp, info.width, info.height, SpriteTransparent(s)}), (std::vector<int>{8, 3, 4, 0}));
        const uint8_t* p = SpritePixels(s);
        EXPECT_EQ((std::vector<int>{p[0], p[4], p[1]}), (std::vector<int>{c, c, 0})) << "the diagonal of a 3-wide cell";
        SpriteRelease(s);
    }
    EXPECT_EQ(FontSprite(n, 'd'), 0);
    FontFreeAll();
    EXPECT_EQ(FontSprite(n, 'a'), 0);
}

// ---- The built-in font

class BuiltInFont : public Text {
protected:
    static const uint8_t* Glyph(int c) { return kBuiltInFont + GetU32(kBuiltInFont, 24 + 8 * (c - 24)); }
};

TEST_F(BuiltInFont, ImageLayoutAndGlyphs)
{
    const uint8_t* f = kBuiltInFont;
    EXPECT_TRUE(TagIs(f, "FONT"));
    EXPECT_EQ((std::vector<uint32_t>{GetU32(f, 4), GetU32(f, 8), f[12], f[13], GetU32(f, 16), GetU32(f, 20)}),
              (std::vector<uint32_t>{7, 8, 24, 156, 24, 0}));
    // The bitmaps lie 56 bytes apart behind the table, the last one ending the image; every
    // character advances, every printable one has ink, and no two printable ones look alike.
    for (int c = 24; c <= 156; c++) {
        EXPECT_EQ(Glyph(c) + 56, c < 156 ? Glyph(c + 1) : f + FONT_BUILTIN_SIZE) << c;
        EXPECT_GT(GetU32(f, 28 + 8 * (c - 24)), 0u) << c;
        bool ink = false;
        for (int i = 0; i < 56; i++) ink |= Glyph(c)[i] != 0;
        if (c < 127 || c == 156) {
            EXPECT_EQ(ink, c != ' ') << c;
        }
        for (int d = 33; d < c && c <= 126; d++) EXPECT_NE(memcmp(Glyph(c), Glyph(d), 56), 0) << c << " " << d;
    }

    ResId id = FontCreateBuiltIn();
    ASSERT_NE(id, 0);
    EXPECT_EQ(ResSize(id), (size_t)FONT_BUILTIN_SIZE);
    EXPECT_EQ(memcmp(ResPeek(id), kBuiltInFont, FONT_BUILTIN_SIZE), 0);
    EXPECT_EQ(FontRegister(id), 1) << "created and registered";
    EXPECT_EQ(FontCellHeight(1), 8);
}

TEST_F(BuiltInFont, LauncherTextsFitAndRenderAsDrawn)
{
    TextSetFont(FontCreateBuiltIn());
    EXPECT_LE(TextWidth("Software Render"), 160);
    EXPECT_LE(TextWidth("640x400"), 60);
    EXPECT_EQ(TextLineHeight(), 9);

    // The screen shows each glyph's bitmap, placed at the pen, in the text colour (up to
    // the next glyph, which starts in the last column of the cell).
    TextSetColour(255);
    TextPrint(5, 5, "Rg\x9c");
    for (int i = 0, x0 = 5; i < 3; x0 += TextWidth(std::string(1, "Rg\x9c"[i]).c_str()), i++) {
        int c = (uint8_t)"Rg\x9c"[i];
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 6; x++)
                ASSERT_EQ(Px(x0 + x, 5 + y), Glyph(c)[y * 7 + x] ? Pal(255) : 0u) << c << " " << x << "," << y;
    }
}

static void CreateWithoutResources()
{
    ResRemove();
    FontCreateBuiltIn();
}

TEST_F(BuiltInFont, CreationFailureIsFatal)
{
    EXPECT_EXIT(CreateWithoutResources(), testing::ExitedWithCode(1), "Could not create the font resource");
}

TEST_F(BuiltInFont, UnicodeTextIsOneGlyphACharacterAndAQuestionMarkWhereNoneIs)
{
    TextSetFont(FontCreateBuiltIn());
    TextSetColour(255);
    TextSetFormat(TEXT_MODE_PLAIN, -1, 0, 319);
    // The pixels a text leaves, drawn alone at (0, 0).
    auto drawn = [](const char* s) {
        VideoClear(0);
        TextPrint(0, 0, "%s", s);
        std::vector<uint32_t> px;
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 48; x++) px.push_back(Px(x, y));
        return px;
    };
    // Each character one cell: two-, three- and four-byte characters alike.
    EXPECT_EQ(TextWidth("caf\xc3\xa9"), 4 * 6);
    EXPECT_EQ(TextWidth("\xe2\x82\xac\xf0\x9f\x98\x80"), 2 * 6);
    // The font's signs by their Unicode names; the pound sign typed from the tables (156) is
    // the same glyph; characters the font lacks, and bytes that are no UTF-8, show a '?'
    // (the font's cells for 128 to 154 are blank: no glyph either).
    EXPECT_EQ(drawn("\xc2\xa3"), drawn("\x9c"));
    EXPECT_NE(drawn("\xc2\xa3"), drawn("?"));
    EXPECT_EQ(drawn("\xc2\xa2"), drawn("\x9b"));
    EXPECT_EQ(drawn("\xe2\x86\x91"), drawn("\x18")) << "the up arrow";
    EXPECT_EQ(drawn("x\xc3\xa9y"), drawn("x?y"));
    EXPECT_EQ(drawn("x\xe9y"), drawn("x?y")) << "Latin-1 bytes";
    EXPECT_EQ(drawn("\x82"), drawn("?"));
    EXPECT_EQ(drawn("\xc3"), drawn("?")) << "a cut character";
    EXPECT_EQ(drawn("\xed\xa0\x80"), drawn("???")) << "a surrogate is no character: three bytes";

    // Lines a text takes wrapped at a width: at spaces, words too long broken; CR too.
    // The last: three characters, not six bytes.
    EXPECT_EQ((std::vector<int>{TextLineCount("", 60), TextLineCount("aaaa bbbb", 54), TextLineCount("aaaa bbbb", 53),
                                TextLineCount("aaaaaaaaaaaaaaaaaaaa", 60), TextLineCount("a\rb", 60),
                                TextLineCount("\xc3\xa9\xc3\xa9\xc3\xa9", 18)}),
              (std::vector<int>{1, 1, 2, 2, 2, 1}));
    // The longest text a print takes (4,095 bytes) is laid out to its last character.
    std::string words;
    while (words.size() < 4095) words += words.empty() ? "a" : " a";
    EXPECT_EQ(TextLineCount(words.c_str(), 6), 2048);
    // Measuring draws nothing and leaves the format as it was.
    VideoClear(0);
    TextSetFormat(TEXT_MODE_RIGHT, 12, 3, 100);
    TextLineCount("some words here", 30);
    EXPECT_EQ(LitCount(), 0);
    EXPECT_EQ(TextLineHeight(), 12);
    TextPrint(0, 20, "ab");
    EXPECT_EQ(Row(21).back() < 100 && Row(21).back() > 88, true) << "still right-aligned at 100";
}
