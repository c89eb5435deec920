#include <SDL.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "kernel/kernel.h"
#include "platform/backend.h"

// What SDL sends for keys, one event at a time, without a display.
static void SdlKey(Uint32 type, SDL_Scancode code, int repeat = 0)
{
    SDL_Event e{};
    e.type = type;
    e.key.keysym.scancode = code;
    e.key.repeat = (Uint8)repeat;
    SdlTranslateEvent(&e);
}

TEST(SdlKeys, EveryTypedKeyAndTheModifiersArrive)
{
    bool reached[256] = {};
    for (int s = 0; s < SDL_NUM_SCANCODES; s++) {
        int code = SdlScanToKey(s);
        ASSERT_GE(code, 0);
        ASSERT_LT(code, 256);
        reached[code] = true;
    }
    // Every key that types a character, and every cursor key, can be pressed.
    for (int code = 1; code < 256; code++) {
        if (KeyTranslate(code, 0) || KeyTranslate(code, 1)) {
            EXPECT_TRUE(reached[code]) << std::hex << code;
        }
    }

    // Letters and digits type what SDL names their keys ("A" to "Z", "1" to "0").
    for (int s = SDL_SCANCODE_A; s <= SDL_SCANCODE_0; s++) {
        const char* name = SDL_GetScancodeName((SDL_Scancode)s);
        EXPECT_EQ(KeyTranslate(SdlScanToKey(s), 0), (uint8_t)tolower(name[0])) << name;
    }
    // The keys that type nothing and that the editor reads by themselves: left and right
    // modifiers apart, the keypad's camera keys, Enter and Delete.
    const int pairs[][2] = {
        {SDL_SCANCODE_F1, KEY_F1}, {SDL_SCANCODE_F12, KEY_F12}, {SDL_SCANCODE_LSHIFT, KEY_LSHIFT},
        {SDL_SCANCODE_RSHIFT, KEY_RSHIFT}, {SDL_SCANCODE_LCTRL, KEY_LCONTROL}, {SDL_SCANCODE_RCTRL, KEY_RCONTROL},
        {SDL_SCANCODE_LALT, KEY_LMENU}, {SDL_SCANCODE_RALT, KEY_RMENU}, {SDL_SCANCODE_UP, KEY_UP},
        {SDL_SCANCODE_KP_8, KEY_NUMPAD8}, {SDL_SCANCODE_KP_PERIOD, KEY_DECIMAL}, {SDL_SCANCODE_DELETE, KEY_DELETE},
        {SDL_SCANCODE_KP_ENTER, KEY_NUMPADENTER}, {SDL_SCANCODE_KP_PLUS, KEY_ADD}, {SDL_SCANCODE_KP_0, KEY_NUMPAD0},
        {SDL_SCANCODE_RETURN, KEY_RETURN},
    };
    for (const auto& p : pairs) EXPECT_EQ(SdlScanToKey(p[0]), p[1]) << SDL_GetScancodeName((SDL_Scancode)p[0]);
    EXPECT_EQ(SdlScanToKey(SDL_SCANCODE_VOLUMEUP), 0);
}

// The SDL back end's events, fed without a display.
TEST(SdlEvents, OneCloseButtonPressAsksOnceAndQuickClicksArrive)
{
    NativeMsg m;
    while (PlatPeekMessage(&m)) {
    }
    // Closing the last window brings both the window's close and the application's quit.
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SdlTranslateEvent(&e);
    e = SDL_Event{};
    e.type = SDL_QUIT;
    SdlTranslateEvent(&e);
    std::vector<uint32_t> got;
    while (PlatPeekMessage(&m)) got.push_back(m.msg);
    EXPECT_EQ(got, std::vector<uint32_t>{NM_CLOSE});

    // A press and its release in one pump both arrive, in order, after the move to them.
    for (Uint32 type : {SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
        e = SDL_Event{};
        e.type = type;
        e.button.button = SDL_BUTTON_LEFT;
        e.button.x = 7;
        e.button.y = 9;
        SdlTranslateEvent(&e);
    }
    got.clear();
    int32_t lastPoint = 0;
    while (PlatPeekMessage(&m)) {
        got.push_back(m.msg);
        lastPoint = m.lParam;
    }
    EXPECT_EQ(got, (std::vector<uint32_t>{NM_MOUSEMOVE, NM_LBUTTONDOWN, NM_LBUTTONUP}));
    EXPECT_EQ(lastPoint, (9 << 16) | 7);

    // Keys: a tap within one pump is a press; a held key's repeat is no second press.
    InputReset();
    KernelSetAppActive(1);
    SdlKey(SDL_KEYDOWN, SDL_SCANCODE_X);
    SdlKey(SDL_KEYDOWN, SDL_SCANCODE_X, 1);
    SdlKey(SDL_KEYUP, SDL_SCANCODE_X);
    EXPECT_EQ(KeyPressed(KEY_X), 1);
    EXPECT_EQ(KeyRead(), 0) << "the press was taken, and the repeat of a key that types no text types nothing";
}


static void SdlText(const char* text)
{
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    snprintf(e.text.text, sizeof e.text.text, "%s", text);
    SdlTranslateEvent(&e);
}

// A key pressed and released, with the text it typed (if any) between.
static void SdlTap(SDL_Scancode code, const char* text = nullptr)
{
    SdlKey(SDL_KEYDOWN, code);
    if (text) SdlText(text);
    SdlKey(SDL_KEYUP, code);
}

static std::string ReadAll()
{
    std::string out;
    for (int c; (c = KeyRead()) != 0;) out += c < 128 ? (char)c : '#';
    return out;
}

TEST(SdlEvents, QuickTypingKeepsItsDoubledLetters)
{
    InputReset();
    KernelSetAppActive(1);
    InputSetTextEvents(1);
    // "BALLOON" typed at 3 ms a key: X11 takes each second L and O, released and pressed
    // again within 2 ms, for the first one's repeat and drops the release between them.
    const char* word = "BALLOON";
    for (int i = 0; word[i]; i++) {
        SDL_Scancode code = (SDL_Scancode)(SDL_SCANCODE_A + (word[i] - 'A'));
        bool doubled = word[i + 1] == word[i];
        bool second = i > 0 && word[i - 1] == word[i];
        SdlKey(SDL_KEYDOWN, code, second);
        SdlText(std::string(1, word[i]).c_str());
        if (!doubled) SdlKey(SDL_KEYUP, code);
    }
    EXPECT_EQ(ReadAll(), "BALLOON");

    // A key pressed, released and pressed again within one pump counts twice, in order.
    for (int i = 0; i < 2; i++) SdlTap(SDL_SCANCODE_L, "l");
    SdlTap(SDL_SCANCODE_BACKSPACE);
    SdlKey(SDL_KEYDOWN, SDL_SCANCODE_BACKSPACE);
    SdlKey(SDL_KEYDOWN, SDL_SCANCODE_BACKSPACE, 1);
    SdlKey(SDL_KEYUP, SDL_SCANCODE_BACKSPACE);
    EXPECT_EQ(ReadAll(), "ll\b\b\b") << "Backspace held repeats; pressed twice quickly it counts twice";

    // Text comes in the user's layout and beyond ASCII; the key's own table character is not
    // used besides it, and a key that types no text (Ctrl+S) types nothing.
    SdlTap(SDL_SCANCODE_3, "#");
    SdlKey(SDL_KEYDOWN, SDL_SCANCODE_LCTRL);
    SdlTap(SDL_SCANCODE_S);
    SdlKey(SDL_KEYUP, SDL_SCANCODE_LCTRL);
    SdlText("\xc3\xa9");
    EXPECT_EQ(KeyRead(), '#');
    EXPECT_EQ(KeyRead(), 0xE9) << "Ctrl+S typed nothing; the text that followed is read";
    EXPECT_EQ(KeyRead(), 0);

    // Keypad 8 with Num Lock types its digit (SDL sends the text); without, it is Up. Enter
    // held gives one Enter, not one a repeat.
    SdlTap(SDL_SCANCODE_KP_8, "8");
    SdlTap(SDL_SCANCODE_KP_8);
    SdlKey(SDL_KEYDOWN, SDL_SCANCODE_RETURN);
    SdlKey(SDL_KEYDOWN, SDL_SCANCODE_RETURN, 1);
    SdlKey(SDL_KEYUP, SDL_SCANCODE_RETURN);
    SdlKey(SDL_KEYDOWN, SDL_SCANCODE_HOME);
    SdlKey(SDL_KEYDOWN, SDL_SCANCODE_END);
    EXPECT_EQ(ReadAll(), std::string("8") + (char)CH_UP + (char)CH_ENTER + (char)CH_HOME + (char)CH_END);
    InputSetTextEvents(0);
    InputReset();
}
