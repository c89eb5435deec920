#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "kernel/kernel.h"
#include "platform/backend.h"

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

    const int pairs[][2] = {
        {SDL_SCANCODE_A, KEY_A}, {SDL_SCANCODE_Q, KEY_Q}, {SDL_SCANCODE_G, KEY_G}, {SDL_SCANCODE_1, KEY_1},
        {SDL_SCANCODE_0, KEY_0}, {SDL_SCANCODE_F1, KEY_F1}, {SDL_SCANCODE_F10, KEY_F10},
        {SDL_SCANCODE_F12, KEY_F12}, {SDL_SCANCODE_LSHIFT, KEY_LSHIFT}, {SDL_SCANCODE_RSHIFT, KEY_RSHIFT},
        {SDL_SCANCODE_LCTRL, KEY_LCONTROL}, {SDL_SCANCODE_RCTRL, KEY_RCONTROL}, {SDL_SCANCODE_LALT, KEY_LMENU},
        {SDL_SCANCODE_RALT, KEY_RMENU}, {SDL_SCANCODE_UP, KEY_UP}, {SDL_SCANCODE_KP_8, KEY_NUMPAD8},
        {SDL_SCANCODE_KP_PERIOD, KEY_DECIMAL}, {SDL_SCANCODE_DELETE, KEY_DELETE},
        {SDL_SCANCODE_KP_ENTER, KEY_NUMPADENTER}, {SDL_SCANCODE_KP_PLUS, KEY_ADD},
        {SDL_SCANCODE_KP_0, KEY_NUMPAD0}, {SDL_SCANCODE_RETURN, KEY_RETURN},
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

    // Keys: a tap within one pump is a press; a repeat is not a second one.
    InputReset();
    KernelSetAppActive(1);
    const struct { Uint32 type; Uint8 repeat; } keys[] = {{SDL_KEYDOWN, 0}, {SDL_KEYDOWN, 1}, {SDL_KEYUP, 0}};
    for (const auto& k : keys) {
        e = SDL_Event{};
        e.type = k.type;
        e.key.keysym.scancode = SDL_SCANCODE_X;
        e.key.repeat = k.repeat;
        SdlTranslateEvent(&e);
    }
    EXPECT_EQ(KeyRead(), 'x');
    EXPECT_EQ(KeyRead(), 0) << "the repeat was not a press";
}
