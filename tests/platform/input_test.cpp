#include <gtest/gtest.h>

#include "kernel/kernel.h"
#include "platform/platform.h"

class Input : public ::testing::Test {
protected:
    void SetUp() override
    {
        InputReset();
        KernelSetAppActive(1);
    }
    void Tap(int code)
    {
        InputQueueKey(code, 1);
        KeyPoll();
        InputQueueKey(code, 0);
        KeyPoll();
    }
};

TEST_F(Input, TranslationTables)
{
    EXPECT_EQ(KeyTranslate(KEY_1, 0), '1');
    EXPECT_EQ(KeyTranslate(KEY_0, 0), '0');
    EXPECT_EQ(KeyTranslate(KEY_Q, 0), 'q');
    EXPECT_EQ(KeyTranslate(KEY_Q, 1), 'Q');
    EXPECT_EQ(KeyTranslate(KEY_APOSTROPHE, 0), '\'');
    EXPECT_EQ(KeyTranslate(KEY_APOSTROPHE, 1), '@');
    EXPECT_EQ(KeyTranslate(KEY_GRAVE, 0), '`');
    EXPECT_EQ(KeyTranslate(KEY_GRAVE, 1), '`');
    EXPECT_EQ(KeyTranslate(KEY_BACKSLASH, 0), '\\');
    EXPECT_EQ(KeyTranslate(KEY_BACKSLASH, 1), '|');
    EXPECT_EQ(KeyTranslate(KEY_SLASH, 1), '?');
    EXPECT_EQ(KeyTranslate(0x03, 1), '"');
    EXPECT_EQ(KeyTranslate(0x04, 1), CH_POUND);
    EXPECT_EQ(KeyTranslate(KEY_EQUALS, 1), '+');
    EXPECT_EQ(KeyTranslate(KEY_RETURN, 0), CH_ENTER);
    EXPECT_EQ(KeyTranslate(KEY_RETURN, 1), CH_ENTER);
    EXPECT_EQ(KeyTranslate(KEY_SPACE, 1), ' ');
    EXPECT_EQ(KeyTranslate(KEY_BACK, 0), CH_BACKSPACE);
    // The cursor keys on both blocks give the program's own codes, and nothing shifted.
    const int cursor[5][3] = {{KEY_NUMPAD8, KEY_UP, CH_UP}, {KEY_NUMPAD2, KEY_DOWN, CH_DOWN},
                              {KEY_NUMPAD4, KEY_LEFT, CH_LEFT}, {KEY_NUMPAD6, KEY_RIGHT, CH_RIGHT},
                              {KEY_DECIMAL, KEY_DELETE, CH_DELETE}};
    for (const auto& c : cursor) {
        EXPECT_EQ(KeyTranslate(c[0], 0), c[2]);
        EXPECT_EQ(KeyTranslate(c[1], 0), c[2]);
        EXPECT_EQ(KeyTranslate(c[1], 1), 0);
    }
    EXPECT_EQ(KeyTranslate(KEY_NUMPAD5, 0), 0);
    EXPECT_EQ(KeyTranslate(KEY_F1, 0), 0);
    EXPECT_EQ(KeyTranslate(KEY_LSHIFT, 0), 0);
}

TEST_F(Input, PressedHeldAndRead)
{
    // Down and up before a poll: neither pressed nor held.
    InputQueueKey(KEY_A, 1);
    InputQueueKey(KEY_A, 0);
    EXPECT_EQ(KeyPressed(KEY_A), 0);
    EXPECT_EQ(KeyHeld(KEY_A), 0);

    InputQueueKey(KEY_A, 1);
    EXPECT_NE(KeyPressed(KEY_A), 0);
    EXPECT_EQ(KeyPressed(KEY_A), 0) << "a press is read once";
    EXPECT_NE(KeyHeld(KEY_A), 0);
    InputQueueKey(KEY_A, 0);
    KeyPoll();
    EXPECT_EQ(KeyHeld(KEY_A), 0);

    // A release clears the pressed bit too: a press is read while its key is down.
    Tap(KEY_Z);
    EXPECT_EQ(KeyRead(), 0);

    // Shift + 2 reads as a double quote; the lowest scan code is read first.
    InputQueueKey(KEY_LSHIFT, 1);
    InputQueueKey(0x03, 1);
    EXPECT_EQ(KeyRead(), '"');
    InputQueueKey(0x03, 0);
    InputQueueKey(KEY_LSHIFT, 0);
    // A key without a character is passed over, not read as the end of the keys.
    InputQueueKey(KEY_F1, 1);
    InputQueueKey(KEY_LSHIFT, 1);
    InputQueueKey(KEY_B, 1);
    EXPECT_EQ(KeyRead(), 'B');
    EXPECT_EQ(KeyRead(), 0);
    EXPECT_EQ(KeyPressed(KEY_F1), 0) << "reading took the function key's press";
    InputQueueKey(KEY_B, 0);
    InputQueueKey(KEY_LSHIFT, 0);
    InputQueueKey(KEY_F1, 0);
    InputQueueKey(KEY_Z, 1);
    InputQueueKey(KEY_Q, 1);
    EXPECT_EQ(KeyRead(), 'q');
    EXPECT_EQ(KeyRead(), 'z');
    EXPECT_EQ(KeyRead(), 0);
    InputQueueKey(KEY_UP, 1);
    InputQueueKey(KEY_NUMPAD8, 1);
    EXPECT_EQ(KeyRead(), CH_UP);
    EXPECT_EQ(KeyRead(), CH_UP);
}

TEST_F(Input, InactiveApplicationReadsNothing)
{
    InputQueueKey(KEY_A, 1);
    KeyPoll();
    KernelSetAppActive(0);
    EXPECT_EQ(KeyPressed(KEY_A), 0);
    EXPECT_EQ(KeyHeld(KEY_A), 0);
    EXPECT_EQ(KeyRead(), 0);
    KernelSetAppActive(1);
    EXPECT_NE(KeyHeld(KEY_A), 0);
}

TEST_F(Input, PollTakesSixteenEventsAtATime)
{
    // Sixteen presses, then the release of the first: one poll stops before the release.
    const int codes[16] = {KEY_Q, KEY_W, KEY_E, KEY_R, KEY_T, KEY_Y, KEY_U, KEY_I,
                           KEY_O, KEY_P, KEY_A, KEY_S, KEY_D, KEY_F, KEY_G, KEY_H};
    for (int c : codes) InputQueueKey(c, 1);
    InputQueueKey(KEY_Q, 0);
    EXPECT_NE(KeyHeld(KEY_Q), 0) << "the seventeenth event waits for the next poll";
    EXPECT_EQ(KeyHeld(KEY_Q), 0);
}

TEST_F(Input, PointerHook)
{
    InputMessageHook(nullptr, NM_MOUSEMOVE, 0, (int32_t)((123u << 16) | 45u));
    int x, y;
    PointerPos(&x, &y);
    EXPECT_EQ(x, 45);
    EXPECT_EQ(y, 123);
    InputMessageHook(nullptr, NM_MOUSEMOVE, 0, (int32_t)((0xFFFEu << 16) | 0xFFFFu));
    PointerPos(&x, &y);
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, -2);

    EXPECT_EQ(InputMessageHook(nullptr, NM_LBUTTONDOWN, 0, 0), 0) << "other hooks still see the message";
    EXPECT_NE(KeyHeld(KEY_MOUSE_LEFT), 0);
    EXPECT_NE(KeyPressed(KEY_MOUSE_LEFT), 0);
    InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0);
    EXPECT_EQ(KeyHeld(KEY_MOUSE_LEFT), 0);
    InputMessageHook(nullptr, NM_RBUTTONDBLCLK, 0, 0);
    EXPECT_EQ(KeyHeld(KEY_MOUSE_RIGHT), 0) << "double clicks are ignored";
    InputMessageHook(nullptr, NM_RBUTTONDOWN, 0, 0);
    EXPECT_NE(KeyHeld(KEY_MOUSE_RIGHT), 0);
    InputMessageHook(nullptr, NM_RBUTTONUP, 0, 0);
    EXPECT_EQ(KeyHeld(KEY_MOUSE_RIGHT), 0);
}

TEST_F(Input, VirtualKeys)
{
    EXPECT_EQ(InputVirtualKeyToScan(1), KEY_MOUSE_LEFT);
    EXPECT_EQ(InputVirtualKeyToScan(2), KEY_MOUSE_RIGHT);
    EXPECT_EQ(InputVirtualKeyToScan('A'), KEY_A);
    EXPECT_EQ(InputVirtualKeyToScan('Q'), KEY_Q);
    EXPECT_EQ(InputVirtualKeyToScan('0'), KEY_0);
    EXPECT_EQ(InputVirtualKeyToScan('1'), KEY_1);
    EXPECT_EQ(InputVirtualKeyToScan(0x26), KEY_UP);
    EXPECT_EQ(InputVirtualKeyToScan(0x60), KEY_NUMPAD0);
    EXPECT_EQ(InputVirtualKeyToScan(0x7B), KEY_F12);
    EXPECT_EQ(InputVirtualKeyToScan(0xFF), 0);
}
