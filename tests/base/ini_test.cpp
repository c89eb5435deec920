#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/ini.h"
#include "base/res.h"
#include "base/str.h"
#include "platform/platform.h"
#include "support/testutil.h"

// Each test starts with a fresh resource manager and no table open, and leaves none open.
struct IniScope {
    IniScope()
    {
        INIClose(nullptr);
        ResRemove();
        ResInstall(500);
    }
    ~IniScope()
    {
        INIClose(nullptr);
        ResRemove();
    }
};

static std::string Get(const char* key)
{
    const char* v = INIGet(key);
    return v ? v : "<none>";
}

static std::vector<std::string> Gets(std::initializer_list<const char*> keys)
{
    std::vector<std::string> out;
    for (const char* k : keys) out.push_back(Get(k));
    return out;
}

TEST(Ini, ValuesKeepTheirBlanksAndKeysTheirFirstCase)
{
    TempDir dir(true);
    IniScope scope;
    WriteText("TOLBEX.INI",
              "; settings\r\n"
              "scale=100\r\n"
              "spaced = 100\r\n"
              "palette=game.pal ; the usual one\r\n"
              "no equals sign here\r\n"
              "\r\n"
              "   ; only a comment = not a key\r\n"
              "SecondRes=extra.res\r\n"
              "secondres=other.res\r\n"
              "averyveryverylongkeyname=1\r\n"
              "long=" + std::string(100, 'v') + "\r\n"
              "=lonely\r\n"
              "tabbed\t=\tx\r\n");
    ASSERT_EQ(0, INIOpen("tolbex.ini", 50)) << "found whatever its case on disk";
    EXPECT_TRUE(INIIsOpen());
    EXPECT_EQ("100", Get("scale"));
    EXPECT_EQ(" 100", Get("spaced"));
    int32_t v = 0;
    EXPECT_EQ(1, StrToDec(INIGet("spaced"), &v)) << "the leading blank makes it unreadable";
    EXPECT_EQ("game.pal ", Get("palette")) << "the blank before the comment stays";
    EXPECT_EQ(Gets({"no", "only", "missing"}), (std::vector<std::string>(3, "<none>")));
    EXPECT_EQ("other.res", Get("SECONDRES"));
    EXPECT_EQ("\tx", Get("tabbed")) << "everything after the first =, tab included";
    EXPECT_EQ("1", Get("averyveryverylo")) << "keys are cut to 15 characters";
    EXPECT_EQ("1", Get("averyveryverylongkeyname")) << "and so are the keys asked for";
    EXPECT_EQ(std::string(79, 'v'), Get("long")) << "values are cut to 79 characters";
    EXPECT_EQ("lonely", Get("lonely")) << "the first word is the key even after '='";

    // One entry for secondres, with the first spelling of its key: visible when written out.
    ASSERT_EQ(0, INIClose("out.ini"));
    EXPECT_FALSE(INIIsOpen());
    std::string out = ReadText("out.ini");
    EXPECT_NE(std::string::npos, out.find("SecondRes=other.res\r\n")) << out;
    EXPECT_EQ(std::string::npos, out.find("secondres="));
    EXPECT_EQ(0u, out.find("scale=100\r\nspaced= 100\r\npalette=game.pal \r\nSecondRes=other.res\r\n")) << out;
}

TEST(Ini, EveryLineEndReadsEveryKey)
{
    TempDir dir(true);
    IniScope scope;
    for (const char* end : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(end)));
        std::string text;
        for (int i = 0; i < 30; i++) text += "key" + std::to_string(i) + "=value" + std::to_string(i) + end;
        WriteText("ends.ini", text);
        ASSERT_EQ(0, INIOpen("ends.ini", 50));
        for (int i = 0; i < 30; i++)
            EXPECT_EQ("value" + std::to_string(i), Get(("key" + std::to_string(i)).c_str())) << i;
        INIClose(nullptr);
    }
    // Mixed ends, empty lines between bare CRs, and a last line without an end.
    WriteText("mixed.ini", "a=1\nb=2\r\n\r\rc=3\rd=4");
    ASSERT_EQ(0, INIOpen("mixed.ini", 10));
    EXPECT_EQ(Gets({"a", "b", "c", "d"}), (std::vector<std::string>{"1", "2", "3", "4"}));
    INIClose(nullptr);
}

TEST(Ini, LongLinesAreReadInPiecesOf159Bytes)
{
    TempDir dir(true);
    IniScope scope;
    // No line end within the first 159 bytes: they form a line, and reading goes on behind them.
    std::string first = "a=" + std::string(157, 'x');
    WriteText("long.ini", first + "b=2\r\nc=3\r\n");
    ASSERT_EQ(0, INIOpen("long.ini", 10));
    EXPECT_EQ(Gets({"a", "b", "c"}), (std::vector<std::string>{std::string(79, 'x'), "2", "3"}));
    INIClose(nullptr);

    // A CR as the 159th byte with its LF just behind the piece: the LF is part of that end.
    WriteText("edge.ini", "k=" + std::string(156, 'y') + "\r\nz=1\r\n");
    ASSERT_EQ(0, INIOpen("edge.ini", 10));
    EXPECT_EQ(Gets({"k", "z"}), (std::vector<std::string>{std::string(79, 'y'), "1"}));
    INIClose(nullptr);
}

TEST(Ini, TableLifetimeAndFatalMisuse)
{
    TempDir dir(true);
    IniScope scope;
    EXPECT_EQ(0, INIClose(nullptr)) << "closing with nothing open is fine";
    EXPECT_EQ(0, INIClose("never.ini"));
    EXPECT_FALSE(PathExists("never.ini"));
    EXPECT_EXIT(INIGet("x"), testing::ExitedWithCode(1), "FATAL: INIGet: No INI file open\\.");
    EXPECT_EXIT(INISet("x", "1"), testing::ExitedWithCode(1), "FATAL: INISet: No INI file open\\.");

    int used = ResUsedCount();
    EXPECT_EQ(1, INIOpen("missing.ini", 10));
    EXPECT_FALSE(INIIsOpen()) << "a missing file leaves no table open";
    EXPECT_EQ(used, ResUsedCount());

    ASSERT_EQ(0, INIOpen(nullptr, 2));
    EXPECT_EQ(used + 1, ResUsedCount()) << "the table is a resource";
    EXPECT_EQ(2 * 96u, ResSize((ResId)ResHighestId()));
    EXPECT_EQ(1, INIOpen(nullptr, 2)) << "one table at a time";
    INISet("first", "1");
    INISet("Second", "2");
    INISet("FIRST", "one");
    EXPECT_EQ("one", Get("first"));
    INISet("", "ignored");
    // A full table refuses a new key and keeps what it holds; a known key is still set.
    EXPECT_EQ(1, INISet("third", "3"));
    EXPECT_EQ(nullptr, INIGet("third"));
    EXPECT_EQ(0, INISet("first", "uno"));
    EXPECT_EQ("uno", Get("first"));
    INISet("second", std::string(200, 's').c_str());
    EXPECT_EQ(std::string(79, 's'), Get("SECOND"));

    EXPECT_EQ(1, INIClose("no/such/folder/x.ini")) << "a write failure is reported";
    EXPECT_FALSE(INIIsOpen()) << "and the table is freed all the same";
    EXPECT_EQ(used, ResUsedCount());

    // A file with more keys than the table holds keeps the first ones and does not stop.
    WriteText("full.ini", "a=1\r\nb=2\r\nc=3\r\na=4\r\n");
    ASSERT_EQ(0, INIOpen("full.ini", 2));
    EXPECT_EQ(Gets({"a", "b", "c"}), (std::vector<std::string>{"4", "2", "<none>"}));
    ASSERT_EQ(0, INIClose("full.ini"));
    EXPECT_EQ("a=4\r\nb=2\r\n", ReadText("full.ini"));

    // Without a resource manager there is no table.
    ResRemove();
    EXPECT_EQ(1, INIOpen(nullptr, 4));
    EXPECT_FALSE(INIIsOpen());
}

// A settings file has no size of its own; one past 1 MiB is refused from its size (the program
// then starts with its defaults), while one of 1 MiB is read.
TEST(Ini, AFileLargerThanASettingsFileCanBeIsNotRead)
{
    TempDir dir(true);
    IniScope scope;
    std::string text = "palette=game.pal\n";
    text.resize(1 << 20, '\n');
    WriteText("most.ini", text);
    ASSERT_EQ(0, INIOpen("most.ini", 20));
    EXPECT_EQ("game.pal", Get("palette"));
    INIClose(nullptr);
    text += "\n";
    WriteText("over.ini", text);
    EXPECT_EQ(1, INIOpen("over.ini", 20));
    EXPECT_STREQ("1048577 bytes, larger than a settings file can be (at most 1048576 bytes)", FileRefusal());
    EXPECT_EQ(0, INIIsOpen());
}
