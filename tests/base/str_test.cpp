#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/str.h"

TEST(Str, BoundedCopiesFillAndTerminateAsDocumented)
{
    char buf[8];
    memset(buf, 'x', sizeof buf);
    StrNCopy(buf, "ab", 5);
    EXPECT_EQ(0, memcmp(buf, "ab\0\0\0xxx", 8)) << "the rest of n is zero-filled, nothing beyond";

    memset(buf, 'x', sizeof buf);
    StrNCopy(buf, "abcdef", 4);
    EXPECT_EQ(0, memcmp(buf, "abcdxxxx", 8)) << "no terminator when the source is n or longer";

    StrLCopy(buf, "abcdefghijk", sizeof buf);
    EXPECT_STREQ("abcdefg", buf);
    StrLCopy(buf, "", sizeof buf);
    EXPECT_STREQ("", buf);

    char cat[16] = "key";
    EXPECT_EQ(cat, StrCat(cat, "=val"));
    EXPECT_STREQ("key=val", cat);
    EXPECT_EQ(7, StrLen(cat));

    char cut[] = "value;comment;more";
    StrCut(cut, ';');
    EXPECT_STREQ("value", cut);
    char up[] = "Tree_01.shp";
    EXPECT_STREQ("TREE_01.SHP", StrUpper(up));
    EXPECT_STREQ("tree_01.shp", StrLower(up));
}

TEST(Str, ComparisonIsSignedAndShorterPrefixFirst)
{
    EXPECT_EQ((std::vector<int>{StrCmp("abc", "abc"), StrCmp("abc", "abd"), StrCmp("abd", "abc"), StrCmp("ab", "abc"),
                                StrCmp("abc", "ab")}),
              (std::vector<int>{0, -1, 1, -1, 1}));
    // Bytes of 128 and above are negative: they sort before the ASCII range, but after the
    // end of a shorter text.
    EXPECT_EQ((std::vector<int>{StrCmp("\xE9t", "et"), StrCmp("A", "\x80"), StrCmp("ab", "ab\x90"), StrCmp("ab\x90", "ab")}),
              (std::vector<int>{-1, 1, -1, 1}));
    // Folding goes to capitals, so '_' (after 'Z') sorts after letters of either case.
    EXPECT_EQ((std::vector<int>{StrICmp("Tolbex.INI", "tolbex.ini"), StrICmp("apple", "BANANA"), StrICmp("Zed", "alpha"),
                                StrICmp("_a", "za"), StrICmp("\xC0", "a")}),
              (std::vector<int>{0, -1, 1, 1, -1}));
}

TEST(Str, SettingAndCommandLineWords)
{
    EXPECT_STREQ("scale", StrWord(0, "  scale = 100\r\n"));
    EXPECT_STREQ("100", StrWord(1, "  scale = 100\r\n"));
    EXPECT_STREQ("", StrWord(2, "  scale = 100\r\n"));
    EXPECT_STREQ("b", StrWord(1, "a==\t=b"));
    EXPECT_STREQ("", StrWord(0, " = \t"));
    EXPECT_STREQ("", StrWord(0, ""));

    std::string longWord(300, 'w');
    std::string got = StrWord(1, ("x " + longWord + " y").c_str());
    EXPECT_EQ(std::string(STR_WORD_MAX, 'w'), got) << "a long word is cut at 257 characters";
    EXPECT_STREQ("y", StrWord(2, ("x " + longWord + " y").c_str()));

    const char* cmd = "tolbex.exe  \"C:\\My Files\\a.ini\" /debug";
    EXPECT_STREQ("tolbex.exe", StrCmdWord(0, cmd));
    EXPECT_STREQ("C:\\My Files\\a.ini", StrCmdWord(1, cmd));
    EXPECT_STREQ("/debug", StrCmdWord(2, cmd));
    EXPECT_STREQ("", StrCmdWord(3, cmd));
    // '=' does not split command-line words; an unclosed quote runs to the end.
    EXPECT_STREQ("a=b", StrCmdWord(0, "a=b c"));
    EXPECT_STREQ("open ended", StrCmdWord(1, "x \"open ended"));
    EXPECT_STREQ("", StrCmdWord(1, "x \"\""));

    // The buffers are shared: a caller copies before the next call.
    const char* first = StrWord(0, "one two");
    StrWord(1, "one two");
    EXPECT_STREQ("two", first);
}

TEST(Str, InsertDeleteAndEditKeys)
{
    char s[16] = "abc";
    EXPECT_EQ(0, StrInsertChar(s, 1, 'X', 5));
    EXPECT_STREQ("aXbc", s);
    EXPECT_EQ(0, StrInsertChar(s, 4, 'Y', 5));
    EXPECT_STREQ("aXbcY", s);
    EXPECT_EQ(1, StrInsertChar(s, 0, 'Z', 5)) << "the length has reached the limit";
    EXPECT_STREQ("aXbcY", s);
    StrDeleteChar(s, 1);
    EXPECT_STREQ("abcY", s);
    StrDeleteChar(s, 4);
    EXPECT_STREQ("abcY", s) << "deleting at the end changes nothing";

    // Up, down and enter keep the cursor; left and right stop at the ends.
    char t[16] = "hello";
    EXPECT_EQ((std::vector<int>{StrEditKey(t, 2, 1, 10), StrEditKey(t, 2, 2, 10), StrEditKey(t, 2, 13, 10),
                                StrEditKey(t, 2, 3, 10), StrEditKey(t, 0, 3, 10), StrEditKey(t, 2, 4, 10),
                                StrEditKey(t, 5, 4, 10)}),
              (std::vector<int>{2, 2, 2, 1, 0, 3, 5}));
    EXPECT_STREQ("hello", t);
    EXPECT_EQ(1, StrEditKey(t, 1, 5, 10));
    EXPECT_STREQ("hllo", t);
    EXPECT_EQ(0, StrEditKey(t, 1, 8, 10));
    EXPECT_STREQ("llo", t);
    EXPECT_EQ(0, StrEditKey(t, 0, 8, 10)) << "backspace at the start does nothing";
    EXPECT_STREQ("llo", t);
    EXPECT_EQ(1, StrEditKey(t, 0, 'A', 10));
    EXPECT_STREQ("Allo", t);
    EXPECT_EQ(2, StrEditKey(t, 1, 7, 10)) << "codes 6, 7 and 9 to 12 are inserted too";
    EXPECT_EQ('\a', t[1]);
    EXPECT_EQ(3, StrEditKey(t, 3, 'z', 5)) << "full: nothing inserted, cursor kept";
    EXPECT_EQ(5, StrLen(t));
    EXPECT_EQ(3, StrEditKey(t, 3, 0, 10)) << "a zero code would cut the text";
    EXPECT_EQ(5, StrLen(t));
}

TEST(Str, DecimalAndHexParse)
{
    // The answer and the value.
    auto dec = [](const char* text) {
        int32_t v = -1;
        int r = StrToDec(text, &v);
        return std::vector<int64_t>{r, v};
    };
    int32_t v = -1;
    EXPECT_EQ(1, StrToDec("", &v));
    EXPECT_EQ(dec("0042"), (std::vector<int64_t>{0, 42}));
    EXPECT_EQ(dec("12a4"), (std::vector<int64_t>{1, 12})) << "holds what was accumulated before the bad character";
    EXPECT_EQ(1, StrToDec(" 100", &v)) << "a leading blank is rejected";
    EXPECT_EQ(1, StrToDec("-5", &v));
    EXPECT_EQ(dec("2147483647"), (std::vector<int64_t>{0, 2147483647}));
    EXPECT_EQ(dec("4294967297"), (std::vector<int64_t>{0, 1})) << "no overflow test: the value wraps";

    EXPECT_EQ((std::vector<int>{StrToHex("fF10", &v), v}), (std::vector<int>{0, 0xFF10}));
    EXPECT_EQ((std::vector<int>{StrToHex("1G", &v), v, StrToHex("", &v)}), (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(1, StrToDec("AB", &v)) << "letters are not decimal digits";
}

TEST(Str, NumberToText)
{
    char buf[40];
    // Value, fill and flags, width, radix, text. Width 1 with a sign holds the sign alone;
    // values are taken modulo radix^digits; at most 16 digits.
    const struct { int32_t v; int fill, width, radix; const char* text; } cases[] = {
        {-5, '0', 4, 10, "-005"}, {-5, 0, 4, 10, "-5"}, {0, 0, 3, 10, "0"}, {0, '0', 3, 10, "000"},
        {7, ' ', 3, 10, "  7"}, {7, 0x100 | '0', 3, 10, "+07"}, {7, 0x4000, 3, 10, "+7"}, {-7, 0, 1, 10, "-"},
        {7, 0x100, 1, 10, "+"}, {12345, 0, 3, 10, "345"}, {255, '0', 4, 16, "00FF"}, {5, 0, 3, 2, "101"},
        {INT32_MIN, 0, 11, 10, "-2147483648"}, {INT32_MAX, 0, 30, 10, "2147483647"},
    };
    for (const auto& c : cases) EXPECT_STREQ(c.text, StrFromNum(c.v, c.fill, c.width, c.radix, buf)) << c.v << " " << c.width;
    EXPECT_EQ(16, StrLen(StrFromNum(1, '0', 30, 10, buf)));

    EXPECT_STREQ("4294967295", StrFromUNum(0xFFFFFFFFu, 0, 10, 10, buf));
    EXPECT_STREQ("FFFFFFFF", StrFromUNum(0xFFFFFFFFu, '0', 8, 16, buf));
    EXPECT_STREQ("0042", StrFromUNum(42, '0', 4, 10, buf));
    EXPECT_STREQ("42", StrFromUNum(42, 0x100, 4, 10, buf)) << "no sign in the unsigned form";

    // Without a buffer the shared one is returned.
    const char* shared = StrFromNum(12, 0, 2, 10, nullptr);
    EXPECT_STREQ("12", shared);
    StrFromNum(34, 0, 2, 10, nullptr);
    EXPECT_STREQ("34", shared);
}

TEST(Str, Utf8DecodeAndEncode)
{
    const struct { const char* s; int length; uint32_t cp; } cases[] = {
        {"A", 1, 'A'}, {"\xc3\xa9", 2, 0xE9}, {"\xc2\x80", 2, 0x80}, {"\xdf\xbf", 2, 0x7FF},
        {"\xe0\xa0\x80", 3, 0x800}, {"\xe2\x82\xac", 3, 0x20AC}, {"\xef\xbf\xbf", 3, 0xFFFF},
        {"\xf0\x90\x80\x80", 4, 0x10000}, {"\xf4\x8f\xbf\xbf", 4, 0x10FFFF},
        // Not characters: the end, stray and missing continuations, overlong forms, surrogates,
        // past U+10FFFF.
        {"", 0, 0}, {"\x80", 0, 0}, {"\xc3", 0, 0}, {"\xc3x", 0, 0}, {"\xc0\xaf", 0, 0}, {"\xc1\xbf", 0, 0},
        {"\xe0\x9f\xbf", 0, 0}, {"\xed\xa0\x80", 0, 0}, {"\xf0\x8f\xbf\xbf", 0, 0}, {"\xf4\x90\x80\x80", 0, 0},
        {"\xf5\x80\x80\x80", 0, 0}, {"\xff", 0, 0}, {"\xe2\x82", 0, 0},
    };
    for (const auto& c : cases) {
        uint32_t cp = 0xDEAD;
        EXPECT_EQ(StrUtf8Decode(c.s, &cp), c.length) << c.s;
        if (c.length) {
            EXPECT_EQ(cp, c.cp) << c.s;
            char out[4];
            EXPECT_EQ(StrUtf8Encode(c.cp, out), c.length);
            EXPECT_EQ(memcmp(out, c.s, (size_t)c.length), 0) << c.s;
        }
    }
    char out[4];
    EXPECT_EQ(StrUtf8Encode(0, out), 0);
    EXPECT_EQ(StrUtf8Encode(0xD800, out), 0);
    EXPECT_EQ(StrUtf8Encode(0xDFFF, out), 0);
    EXPECT_EQ(StrUtf8Encode(0x110000, out), 0);
}

// Names from files are shown with every byte outside printable ASCII as \xNN: an escape
// sequence never reaches a terminal or a report as it is.
TEST(Str, PrintableTextEscapesEveryOtherByte)
{
    char out[64];
    EXPECT_STREQ("\\x1B[31mA.SHP", StrPrintable("\x1b[31mA.SHP", 11, 1, out, sizeof out));
    EXPECT_STREQ("caf\\xC3\\xA9~ \\x7F\\x1F", StrPrintable("caf\xc3\xa9~ \x7f\x1f", 9, 1, out, sizeof out));
    EXPECT_STREQ("AB", StrPrintable("AB\0CD", 5, 1, out, sizeof out)) << "up to a NUL";
    EXPECT_STREQ("AB\\x00CD", StrPrintable("AB\0CD", 5, 0, out, sizeof out)) << "or past it";
    EXPECT_STREQ("TRE", StrPrintable("TREE", 3, 1, out, sizeof out)) << "n bytes at most";
    // Cut where it must, never in the middle of an escape.
    EXPECT_STREQ("ab", StrPrintable("ab\x1b", 3, 1, out, 6));
    EXPECT_STREQ("ab\\x1B", StrPrintable("ab\x1b", 3, 1, out, 7));
    EXPECT_STREQ("abcde", StrPrintable("abcdefgh", 8, 1, out, 6));
}
