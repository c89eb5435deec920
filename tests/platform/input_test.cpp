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
    // The next n characters read.
    static std::vector<int> Reads(int n)
    {
        std::vector<int> out;
        for (int i = 0; i < n; i++) out.push_back(KeyRead());
        return out;
    }
};

TEST_F(Input, TranslationTables)
{
    // Key, Shift, character. Escape reaches a focused window, shifted or not, so that a dialog
    // can cancel with it; keys that type nothing give 0.
    const int typed[][3] = {
        {KEY_1, 0, '1'}, {KEY_0, 0, '0'}, {KEY_Q, 0, 'q'}, {KEY_Q, 1, 'Q'}, {KEY_APOSTROPHE, 0, '\''},
        {KEY_APOSTROPHE, 1, '@'}, {KEY_GRAVE, 0, '`'}, {KEY_GRAVE, 1, '`'}, {KEY_BACKSLASH, 0, '\\'},
        {KEY_BACKSLASH, 1, '|'}, {KEY_SLASH, 1, '?'}, {0x03, 1, '"'}, {0x04, 1, CH_POUND}, {KEY_EQUALS, 1, '+'},
        {KEY_RETURN, 0, CH_ENTER}, {KEY_RETURN, 1, CH_ENTER}, {KEY_SPACE, 1, ' '}, {KEY_BACK, 0, CH_BACKSPACE},
        {KEY_ESCAPE, 0, CH_ESCAPE}, {KEY_ESCAPE, 1, CH_ESCAPE}, {KEY_NUMPAD5, 0, 0}, {KEY_F1, 0, 0},
        {KEY_LSHIFT, 0, 0},
    };
    for (const auto& t : typed) EXPECT_EQ(KeyTranslate(t[0], t[1]), t[2]) << std::hex << t[0] << " shift " << t[1];
    // The cursor keys on both blocks give the program's own codes, and nothing shifted.
    const int cursor[5][3] = {{KEY_NUMPAD8, KEY_UP, CH_UP}, {KEY_NUMPAD2, KEY_DOWN, CH_DOWN},
                              {KEY_NUMPAD4, KEY_LEFT, CH_LEFT}, {KEY_NUMPAD6, KEY_RIGHT, CH_RIGHT},
                              {KEY_DECIMAL, KEY_DELETE, CH_DELETE}};
    for (const auto& c : cursor) {
        EXPECT_EQ(KeyTranslate(c[0], 0), c[2]);
        EXPECT_EQ(KeyTranslate(c[1], 0), c[2]);
        EXPECT_EQ(KeyTranslate(c[1], 1), 0);
    }
}

TEST_F(Input, PressedHeldAndRead)
{
    InputQueueKey(KEY_A, 1);
    EXPECT_NE(KeyPressed(KEY_A), 0);
    EXPECT_EQ(KeyPressed(KEY_A), 0) << "a press is read once";
    EXPECT_NE(KeyHeld(KEY_A), 0);
    InputQueueKey(KEY_A, 0);
    KeyPoll();
    EXPECT_EQ(KeyHeld(KEY_A), 0);
    EXPECT_EQ(KeyRead(), 0) << "the press taken by its code is not read again as a character";

    // Shift + 2 reads as a double quote.
    InputQueueKey(KEY_LSHIFT, 1);
    InputQueueKey(0x03, 1);
    EXPECT_EQ(KeyRead(), '"');
    InputQueueKey(0x03, 0);
    InputQueueKey(KEY_LSHIFT, 0);
    // A key without a character is passed over, not read as the end of the keys.
    InputQueueKey(KEY_F1, 1);
    InputQueueKey(KEY_LSHIFT, 1);
    InputQueueKey(KEY_B, 1);
    InputQueueKey(KEY_LSHIFT, 0);
    EXPECT_EQ(Reads(2), (std::vector<int>{'B', 0})) << "Shift counts as it was when the key went down";
    EXPECT_EQ(KeyPressed(KEY_F1), 0) << "reading took the function key's press";
    InputQueueKey(KEY_B, 0);
    InputQueueKey(KEY_F1, 0);
    InputQueueKey(KEY_UP, 1);
    InputQueueKey(KEY_NUMPAD8, 1);
    EXPECT_EQ(Reads(2), (std::vector<int>{CH_UP, CH_UP}));
}

TEST_F(Input, QuickKeysAreNotLost)
{
    // Typed within one frame: every press, in the order made, the same key twice included.
    for (int code : {KEY_Z, KEY_Q, KEY_Z}) {
        InputQueueKey(code, 1);
        InputQueueKey(code, 0);
    }
    EXPECT_EQ(Reads(4), (std::vector<int>{'z', 'q', 'z', 0}));

    // A key down and up before any poll still reads as pressed, and as not held.
    InputQueueKey(KEY_A, 1);
    InputQueueKey(KEY_A, 0);
    EXPECT_EQ(KeyHeld(KEY_A), 0);
    EXPECT_NE(KeyPressed(KEY_A), 0);

    // A press nobody read lapses at the turn after its release (G typed long before Alt must
    // not grab the screen when Alt comes)...
    Tap(KEY_G);
    InputNewTurn();
    InputQueueKey(KEY_LMENU, 1);
    EXPECT_NE(KeyHeld(KEY_LMENU), 0);
    EXPECT_EQ(KeyPressed(KEY_G), 0);
    EXPECT_EQ(KeyRead(), 0) << "and its character goes with it";
    InputQueueKey(KEY_LMENU, 0);
    // ...but a key still held keeps its press across turns.
    InputQueueKey(KEY_W, 1);
    KeyPoll();
    InputNewTurn();
    EXPECT_EQ(KeyRead(), 'w');
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

TEST_F(Input, PointerEventsWaitForTheReader)
{
    auto move = [](int x, int y) {
        InputMessageHook(nullptr, NM_MOUSEMOVE, 0, (int32_t)(((uint32_t)(uint16_t)y << 16) | (uint16_t)x));
    };
    auto pos = [] {
        int x, y;
        PointerPos(&x, &y);
        return std::vector<int>{x, y};
    };
    move(45, 123);
    EXPECT_EQ(PointerAdvance(), 0);
    EXPECT_EQ(pos(), (std::vector<int>{45, 123}));
    move(-1, -2);
    PointerAdvance();
    EXPECT_EQ(pos(), (std::vector<int>{-1, -2})) << "positions are signed";

    // A click within one frame: the press is seen, with the pointer where it was pressed,
    // before the release and the later moves are applied.
    move(10, 10);
    EXPECT_EQ(InputMessageHook(nullptr, NM_LBUTTONDOWN, 0, 0), 0) << "other hooks still see the message";
    move(11, 10);
    InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0);
    move(20, 10);
    EXPECT_EQ(KeyHeld(KEY_MOUSE_LEFT), 0) << "nothing is applied before the reader asks";
    EXPECT_EQ(PointerAdvance(), 1);
    EXPECT_EQ(pos()[0], 10);
    EXPECT_NE(KeyHeld(KEY_MOUSE_LEFT), 0);
    EXPECT_NE(KeyPressed(KEY_MOUSE_LEFT), 0);
    EXPECT_EQ(PointerAdvance(), 1) << "the release waits behind the press";
    EXPECT_EQ(pos()[0], 11);
    EXPECT_EQ(KeyHeld(KEY_MOUSE_LEFT), 0);
    EXPECT_EQ(PointerAdvance(), 0);
    EXPECT_EQ(pos()[0], 20);

    InputMessageHook(nullptr, NM_RBUTTONDBLCLK, 0, 0);
    EXPECT_EQ(PointerAdvance(), 0);
    EXPECT_EQ(KeyHeld(KEY_MOUSE_RIGHT), 0) << "double clicks are ignored";
    InputMessageHook(nullptr, NM_RBUTTONDOWN, 0, 0);
    PointerAdvance();
    EXPECT_NE(KeyHeld(KEY_MOUSE_RIGHT), 0);

    // A reader that never comes: the oldest changes are applied rather than lost, so the
    // button ends as it really is.
    for (int i = 0; i < 300; i++) InputMessageHook(nullptr, i % 2 ? NM_RBUTTONDOWN : NM_RBUTTONUP, 0, 0);
    while (PointerAdvance()) {
    }
    EXPECT_NE(KeyHeld(KEY_MOUSE_RIGHT), 0);
}

TEST_F(Input, TheMiddleButtonAndTheWheelComeInTurnWithTheRest)
{
    auto at = [](int x, int y) { return (int32_t)(((uint32_t)(uint16_t)y << 16) | (uint16_t)x); };
    InputMessageHook(nullptr, NM_MOUSEMOVE, 0, at(30, 40));
    InputMessageHook(nullptr, NM_MBUTTONDOWN, 0, at(30, 40));
    InputMessageHook(nullptr, NM_MOUSEMOVE, 0, at(31, 40));
    InputMessageHook(nullptr, NM_MOUSEWHEEL, (uint32_t)-2, at(31, 40));
    InputMessageHook(nullptr, NM_MOUSEWHEEL, 0, at(31, 40));   // no turn: nothing queued
    InputMessageHook(nullptr, NM_MOUSEMOVE, 0, at(50, 40));
    InputMessageHook(nullptr, NM_MOUSEWHEEL, 5, at(50, 40));
    InputMessageHook(nullptr, NM_MBUTTONUP, 0, at(50, 40));
    EXPECT_EQ(PointerTakeWheel(), 0) << "nothing is applied before the reader asks";
    int x, y;
    EXPECT_EQ(PointerAdvance(), 1);
    EXPECT_NE(KeyHeld(KEY_MOUSE_MIDDLE), 0);
    EXPECT_EQ(KeyHeld(KEY_MOUSE_LEFT) | KeyHeld(KEY_MOUSE_RIGHT), 0) << "the middle button is a button of its own";
    EXPECT_NE(KeyPressed(KEY_MOUSE_MIDDLE), 0);
    EXPECT_EQ(PointerAdvance(), 1);
    PointerPos(&x, &y);
    EXPECT_EQ(x, 31) << "a wheel turn is read where the pointer was when it turned";
    EXPECT_EQ(PointerTakeWheel(), -2);
    EXPECT_EQ(PointerTakeWheel(), 0) << "taken once";
    EXPECT_EQ(PointerAdvance(), 1);
    PointerPos(&x, &y);
    EXPECT_EQ(x, 50);
    EXPECT_EQ(PointerTakeWheel(), 5);
    EXPECT_NE(KeyHeld(KEY_MOUSE_MIDDLE), 0);
    EXPECT_EQ(PointerAdvance(), 0);
    EXPECT_EQ(KeyHeld(KEY_MOUSE_MIDDLE), 0);
    // Turns that nobody takes add up, within bounds.
    for (int i = 0; i < 3; i++) InputMessageHook(nullptr, NM_MOUSEWHEEL, 40000, at(0, 0));
    while (PointerAdvance()) {
    }
    EXPECT_EQ(PointerTakeWheel(), 65535);
    EXPECT_EQ(InputVirtualKeyToScan(0x04), KEY_MOUSE_MIDDLE);
}

TEST_F(Input, FullKeyboardBufferLosesItsOldestEvent)
{
    InputQueueKey(KEY_A, 1);
    for (int i = 0; i < 255; i++) InputQueueKey(KEY_B, i % 2 == 0);
    InputQueueKey(KEY_C, 1);   // the 257th event, queued without a poll
    for (int i = 0; i < 20; i++) KeyPoll();
    EXPECT_EQ(KeyHeld(KEY_A), 0) << "the oldest event went";
    EXPECT_NE(KeyHeld(KEY_B), 0);
    EXPECT_NE(KeyHeld(KEY_C), 0) << "the newest one stays";
}

TEST_F(Input, VirtualKeys)
{
    const int keys[][2] = {{1, KEY_MOUSE_LEFT}, {2, KEY_MOUSE_RIGHT}, {'A', KEY_A}, {'Q', KEY_Q}, {'0', KEY_0},
                           {'1', KEY_1}, {0x26, KEY_UP}, {0x60, KEY_NUMPAD0}, {0x7B, KEY_F12}, {0xFF, 0}};
    for (const auto& k : keys) EXPECT_EQ(InputVirtualKeyToScan(k[0]), k[1]) << std::hex << k[0];
}

TEST_F(Input, TextJoinsThePressThatTypedItAndRepeatsTypeOnlyWhereTheyEdit)
{
    // Text typed with a key stands for the key's character; text alone is read as it comes,
    // between the keys around it; malformed bytes are passed over.
    InputQueueKey(KEY_E, 1);
    InputQueueText("\xc3\xa9");
    InputQueueKey(KEY_E, 0);
    InputQueueText("\xe2\x82\xac\xff!");
    InputQueueKey(KEY_BACK, 1);
    InputQueueKey(KEY_BACK, 0);
    EXPECT_EQ(Reads(5), (std::vector<int>{0xE9, 0x20AC, '!', CH_BACKSPACE, 0}));

    // A press taken by KeyPressed is that key's, not another waiting before it, nor a repeat.
    InputQueueKey(KEY_Q, 1);
    InputQueueKey(KEY_W, 1);
    InputQueueRepeat(KEY_W);
    InputQueueKey(KEY_W, 0);
    InputQueueKey(KEY_Q, 0);
    EXPECT_EQ(KeyPressed(KEY_W), 1);
    EXPECT_EQ(Reads(2), (std::vector<int>{'q', 0})) << "the repeat of W types no letter without its text";

    // Without text events the tables type; a press taken by KeyPressed takes its text along.
    InputQueueKey(KEY_G, 1);
    InputQueueText("g");
    EXPECT_EQ(KeyPressed(KEY_G), 1);
    EXPECT_EQ(KeyRead(), 0);
    InputQueueKey(KEY_G, 0);

    // Repeats: Backspace, Delete and the cursor keys again; Enter, Tab and letters without
    // text not; never a press.
    InputQueueKey(KEY_LEFT, 1);
    KeyPoll();
    EXPECT_EQ(KeyRead(), CH_LEFT);
    for (int code : {KEY_LEFT, KEY_DELETE, KEY_HOME, KEY_RETURN, KEY_TAB, KEY_Q}) InputQueueRepeat(code);
    EXPECT_EQ(Reads(4), (std::vector<int>{CH_LEFT, CH_DELETE, CH_HOME, 0}));
    EXPECT_EQ(KeyPressed(KEY_DELETE), 0);
    // A repeat nobody read lapses with the turn.
    InputQueueRepeat(KEY_BACK);
    KeyPoll();
    InputNewTurn();
    EXPECT_EQ(KeyRead(), 0);

    // Home and End on both blocks; text events on: table letters give way to the text.
    EXPECT_EQ((std::vector<int>{KeyTranslate(KEY_HOME, 0), KeyTranslate(KEY_NUMPAD7, 0), KeyTranslate(KEY_END, 0),
                                KeyTranslate(KEY_NUMPAD1, 0)}),
              (std::vector<int>{CH_HOME, CH_HOME, CH_END, CH_END}));
    InputSetTextEvents(1);
    InputQueueKey(KEY_A, 1);
    InputQueueKey(KEY_A, 0);
    InputQueueKey(KEY_ESCAPE, 1);
    InputQueueKey(KEY_ESCAPE, 0);
    EXPECT_EQ(KeyRead(), CH_ESCAPE) << "no text came with A";
    InputSetTextEvents(0);
}
