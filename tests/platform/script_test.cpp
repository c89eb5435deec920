#include <gtest/gtest.h>

#include "platform/headless/script.h"
#include "platform/platform.h"

static std::vector<ScriptStep> Parse(const std::string& text)
{
    std::vector<ScriptStep> steps;
    std::string error;
    EXPECT_EQ(ScriptParse(text, "s.txt", steps, error), 0) << error;
    return steps;
}

static std::string ParseError(const std::string& text)
{
    std::vector<ScriptStep> steps;
    std::string error;
    EXPECT_EQ(ScriptParse(text, "s.txt", steps, error), 1) << text;
    return error;
}

TEST(Script, CommandsExpandIntoSteps)
{
    auto s = Parse("# a comment\n\n  wait\nwait 3 # three turns\r\nclick 10 20 right\nkey q\n");
    ASSERT_EQ(s.size(), 11u);
    EXPECT_EQ(s[0].op, SCRIPT_WAIT);
    EXPECT_EQ(s[0].a, 1);
    EXPECT_EQ(s[0].line, 3);
    EXPECT_EQ(s[1].a, 3);
    EXPECT_EQ(s[2].op, SCRIPT_MOVE);
    EXPECT_EQ(s[2].a, 10);
    EXPECT_EQ(s[2].b, 20);
    EXPECT_EQ(s[3].op, SCRIPT_PRESS);
    EXPECT_EQ(s[3].a, 1);
    EXPECT_EQ(s[4].op, SCRIPT_WAIT);
    EXPECT_EQ(s[5].op, SCRIPT_RELEASE);
    EXPECT_EQ(s[6].op, SCRIPT_WAIT);
    EXPECT_EQ(s[7].op, SCRIPT_KEYDOWN);
    EXPECT_EQ(s[7].a, KEY_Q);
    EXPECT_EQ(s[8].op, SCRIPT_WAIT);
    EXPECT_EQ(s[9].op, SCRIPT_KEYUP);
    EXPECT_EQ(s[10].op, SCRIPT_WAIT);

    s = Parse("answer cancel\nclose\nscreenshot out/a.bmp\nkeydown lalt\nkeyup kpenter\npress left\n");
    ASSERT_EQ(s.size(), 6u);
    EXPECT_EQ(s[0].a, ID_CANCEL);
    EXPECT_EQ(s[1].op, SCRIPT_CLOSE);
    EXPECT_EQ(s[2].text, "out/a.bmp");
    EXPECT_EQ(s[3].a, KEY_LMENU);
    EXPECT_EQ(s[4].a, KEY_NUMPADENTER);
    EXPECT_EQ(s[5].op, SCRIPT_PRESS);
    EXPECT_EQ(s[5].a, 0);
}

TEST(Script, TypeUsesShiftWhereTheCharacterNeedsIt)
{
    // '#' is typed, not a comment; it has no key on this layout, so the line is refused.
    std::string e = ParseError("type a#B\n");
    EXPECT_NE(e.find("s.txt:1"), std::string::npos);

    auto s = Parse("type aB \"\n");
    // a: down, wait, up, wait; B and ": shift down, down, wait, up, shift up, wait; space: 4.
    ASSERT_EQ(s.size(), 4u + 6u + 4u + 6u);
    EXPECT_EQ(s[0].a, KEY_A);
    EXPECT_EQ(s[4].op, SCRIPT_KEYDOWN);
    EXPECT_EQ(s[4].a, KEY_LSHIFT);
    EXPECT_EQ(s[5].a, KEY_B);
    EXPECT_EQ(s[8].op, SCRIPT_KEYUP);
    EXPECT_EQ(s[8].a, KEY_LSHIFT);
    EXPECT_EQ(s[10].a, KEY_SPACE);
    EXPECT_EQ(s[15].a, 0x03);
}

TEST(Script, BadLinesNameTheirLine)
{
    for (const char* bad : {"jump 1", "wait -1", "wait x", "click 1", "click 1 2 middle", "press up",
                            "key", "key ctrl", "answer maybe", "screenshot", "close now", "move 1 2 3",
                            "move 40000 0"}) {
        std::string e = ParseError(std::string("wait\n") + bad + "\n");
        EXPECT_NE(e.find("s.txt:2"), std::string::npos) << bad << " -> " << e;
    }
    EXPECT_EQ(ScriptKeyCode("f12"), KEY_F12);
    EXPECT_EQ(ScriptKeyCode("kp7"), KEY_NUMPAD7);
    EXPECT_EQ(ScriptKeyCode("7"), 0x08);
    EXPECT_EQ(ScriptKeyCode("z"), KEY_Z);
    EXPECT_EQ(ScriptKeyCode("Z"), 0);
}
