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

// Each step as op * 1000 + a.
const int W = SCRIPT_WAIT * 1000, DOWN = SCRIPT_KEYDOWN * 1000, UP = SCRIPT_KEYUP * 1000;
static std::vector<int> Steps(const std::vector<ScriptStep>& s)
{
    std::vector<int> out;
    for (const ScriptStep& step : s) out.push_back(step.op * 1000 + step.a);
    return out;
}

TEST(Script, CommandsExpandIntoSteps)
{
    auto s = Parse("# a comment\n\n  wait\nwait 3 # three turns\r\nclick 10 20 right\nkey q\n");
    EXPECT_EQ(Steps(s), (std::vector<int>{W + 1, W + 3, SCRIPT_MOVE * 1000 + 10, SCRIPT_PRESS * 1000 + 1, W + 1,
                                          SCRIPT_RELEASE * 1000 + 1, W + 1, DOWN + KEY_Q, W + 1, UP + KEY_Q, W + 1}));
    ASSERT_EQ(s.size(), 11u);
    EXPECT_EQ((std::vector<int>{s[0].line, s[2].b}), (std::vector<int>{3, 20}));

    s = Parse("answer cancel\nclose\nscreenshot out/a.bmp\nkeydown lalt\nkeyup kpenter\npress left\n");
    EXPECT_EQ(Steps(s), (std::vector<int>{SCRIPT_ANSWER * 1000 + ID_CANCEL, SCRIPT_CLOSE * 1000,
                                          SCRIPT_SCREENSHOT * 1000, DOWN + KEY_LMENU, UP + KEY_NUMPADENTER,
                                          SCRIPT_PRESS * 1000}));
    ASSERT_EQ(s.size(), 6u);
    EXPECT_EQ(s[2].text, "out/a.bmp");
}

TEST(Script, TheMiddleButtonAndTheWheel)
{
    auto s = Parse("press middle\nrelease middle\nclick 5 6 middle\nwheel 3\nwheel -1000\nwheel 1000\n");
    const int PRESS = SCRIPT_PRESS * 1000, RELEASE = SCRIPT_RELEASE * 1000, WHEEL = SCRIPT_WHEEL * 1000;
    EXPECT_EQ(Steps(s), (std::vector<int>{PRESS + SCRIPT_BUTTON_MIDDLE, RELEASE + SCRIPT_BUTTON_MIDDLE,
                                          SCRIPT_MOVE * 1000 + 5, PRESS + SCRIPT_BUTTON_MIDDLE, W + 1,
                                          RELEASE + SCRIPT_BUTTON_MIDDLE, W + 1, WHEEL + 3, WHEEL - 1000, WHEEL + 1000}));
    EXPECT_NE(SCRIPT_BUTTON_MIDDLE, SCRIPT_BUTTON_RIGHT);
    for (const char* bad : {"wheel", "wheel 0", "wheel 1001", "wheel -1001", "wheel x", "wheel 1 2", "press middle 1"}) {
        std::string e = ParseError(std::string("wait\n") + bad + "\n");
        EXPECT_NE(e.find("s.txt:2"), std::string::npos) << bad << " -> " << e;
    }
}

TEST(Script, TypeUsesShiftWhereTheCharacterNeedsIt)
{
    // '#' is typed, not a comment; no key of this layout types it, nor 'é': they come as
    // text, whole characters, as an input method sends them.
    auto t = Parse("type a#\xc3\xa9" "B\n");
    const int TEXT = SCRIPT_TEXT * 1000;
    EXPECT_EQ(Steps(t), (std::vector<int>{DOWN + KEY_A, W + 1, UP + KEY_A, W + 1, TEXT, W + 1, TEXT, W + 1,
                                          DOWN + KEY_LSHIFT, DOWN + KEY_B, W + 1, UP + KEY_B, UP + KEY_LSHIFT, W + 1}));
    ASSERT_EQ(t.size(), 14u);
    EXPECT_EQ((std::vector<std::string>{t[4].text, t[6].text}), (std::vector<std::string>{"#", "\xc3\xa9"}));
    // Broken UTF-8 and control characters type nothing: the line is refused.
    for (const char* bad : {"type a\xc3\n", "type \xa9x\n", "type \xc3x\n", "type a\x01\n"}) {
        std::string e = ParseError(bad);
        EXPECT_NE(e.find("s.txt:1"), std::string::npos) << bad;
    }
    EXPECT_EQ((std::vector<int>{ScriptKeyCode("home"), ScriptKeyCode("end")}), (std::vector<int>{KEY_HOME, KEY_END}));

    // Shift goes down around B and the double quote (shifted 2), not around a or the space.
    EXPECT_EQ(Steps(Parse("type aB \"\n")),
              (std::vector<int>{DOWN + KEY_A, W + 1, UP + KEY_A, W + 1, DOWN + KEY_LSHIFT, DOWN + KEY_B, W + 1,
                                UP + KEY_B, UP + KEY_LSHIFT, W + 1, DOWN + KEY_SPACE, W + 1, UP + KEY_SPACE, W + 1,
                                DOWN + KEY_LSHIFT, DOWN + 0x03, W + 1, UP + 0x03, UP + KEY_LSHIFT, W + 1}));
}

TEST(Script, BadLinesNameTheirLine)
{
    for (const char* bad : {"jump 1", "wait -1", "wait x", "click 1", "click 1 2 centre", "click 1 2 left 3",
                            "press up", "key", "key ctrl", "answer maybe", "screenshot", "close now", "move 1 2 3"}) {
        std::string e = ParseError(std::string("wait\n") + bad + "\n");
        EXPECT_NE(e.find("s.txt:2"), std::string::npos) << bad << " -> " << e;
    }
    // Pointer positions are 16-bit on both axes, for moves and clicks alike.
    for (const char* cmd : {"move", "click"}) {
        for (const char* xy : {"40000 0", "0 40000", "32768 0", "0 32768", "-32769 0", "0 -32769"})
            ParseError(std::string(cmd) + " " + xy + "\n");
        auto s = Parse(std::string(cmd) + " -32768 32767\n" + cmd + " 32767 -32768\n");
        ASSERT_GE(s.size(), 2u);
        EXPECT_EQ((std::vector<int>{s.front().a, s.front().b, s.back().op}),
                  (std::vector<int>{-32768, 32767, std::string(cmd) == "move" ? SCRIPT_MOVE : SCRIPT_WAIT}));
    }
    std::vector<int> codes;
    for (const char* name : {"f12", "kp7", "7", "z", "Z"}) codes.push_back(ScriptKeyCode(name));
    EXPECT_EQ(codes, (std::vector<int>{KEY_F12, KEY_NUMPAD7, 0x08, KEY_Z, 0}));
}

TEST(Script, ShotTakesARectangleAndAScale)
{
    auto s = Parse("shot out/a.png 10 20 30 40\nshot b.png 0 0 1 1 2\n");
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ((std::vector<int>{s[0].op, s[0].a, s[0].b, s[0].width, s[0].height, s[0].scale}),
              (std::vector<int>{SCRIPT_SHOT, 10, 20, 30, 40, 1}));
    EXPECT_EQ(s[0].text, "out/a.png");
    EXPECT_EQ(s[1].scale, 2);
    for (const char* bad : {"shot a.png", "shot a.png 1 2 3", "shot a.png 0 0 0 5", "shot a.png 0 0 5 -1",
                            "shot a.png 0 0 5 5 3", "shot a.png 0 0 5 5 0", "shot a.png x 0 5 5", "shot a.png 0 0 5 5 2 1"}) {
        std::string e = ParseError(std::string("wait\n") + bad + "\n");
        EXPECT_NE(e.find("s.txt:2"), std::string::npos) << bad << " -> " << e;
    }
}

TEST(Script, AdvanceMovesTheClockAndFatalNeedsTheTestSwitch)
{
    std::vector<ScriptStep> s = Parse("advance 60000\nadvance 0\n");
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ((std::vector<int>{s[0].op, s[0].a}), (std::vector<int>{SCRIPT_ADVANCE, 60000}));
    for (const char* bad : {"advance -1\n", "advance 86400001\n", "advance\n"})
        EXPECT_NE(ParseError(bad).find("s.txt:1"), std::string::npos) << bad;

    unsetenv(SCRIPT_FATAL_SWITCH);
    EXPECT_NE(ParseError("wait\nfatal\n").find("s.txt:2: fatal is for tests only"), std::string::npos);
    setenv(SCRIPT_FATAL_SWITCH, "0", 1);
    ParseError("fatal\n");
    setenv(SCRIPT_FATAL_SWITCH, "1", 1);
    s = Parse("fatal Disk on fire\nfatal\n");
    unsetenv(SCRIPT_FATAL_SWITCH);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(std::make_pair(s[0].op, s[0].text), std::make_pair((int)SCRIPT_FATAL, std::string("Disk on fire")));
    EXPECT_FALSE(s[1].text.empty()) << "a fatal error always has a text";
}

// `drop FILE`: the rest of the line is the name, spaces inside kept; the platform queue gives
// the names back in order, and one too long for the caller is not given cut.
TEST(Script, DropTakesTheRestOfTheLineAndTheQueueKeepsOrder)
{
    auto s = Parse("drop  my model.obj \t\ndrop B.SHP\n");
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].op, SCRIPT_DROP);
    EXPECT_EQ((std::vector<std::string>{s[0].text, s[1].text}), (std::vector<std::string>{"my model.obj", "B.SHP"}));
    std::string e = ParseError("wait\ndrop   \n");
    EXPECT_NE(e.find("s.txt:2"), std::string::npos) << e;

    char out[16];
    while (PlatTakeDroppedFile(out, sizeof out)) {
    }
    PlatDropFile("first.obj");
    PlatDropFile("");
    PlatDropFile("a-name-longer-than-sixteen.obj");
    PlatDropFile("second.glb");
    auto take = [&] { return PlatTakeDroppedFile(out, sizeof out) ? std::string(out) : "<none>"; };
    EXPECT_EQ((std::vector<std::string>{take(), take(), take()}), (std::vector<std::string>{"first.obj", "second.glb", "<none>"}))
        << "the long name is skipped, never cut";
    for (int i = 0; i < PLAT_DROP_QUEUE + 2; i++) PlatDropFile(std::to_string(i).c_str());
    EXPECT_EQ(take(), "2") << "a full queue lets the oldest go";
    while (PlatTakeDroppedFile(out, sizeof out)) {
    }
}
