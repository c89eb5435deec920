#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "kernel/kernel.h"
#include "kernel/res/res.h"
#include "kernel/util/bytes.h"
#include "kernel/util/str.h"
#include "platform/platform.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"
#include "toolkit/win.h"

// A parent window that creates controls on request (WinCreate's parent 0 is the current
// window, so creation runs inside the parent) and writes down every notification it gets.
struct Note {
    WinId sender;
    int message;
    WinParam p1;
};
static std::vector<Note> notes;
static struct {
    int x, y, w, h;
    uint32_t style, cls;
    WinId made;
} request;

enum { CLASS_TEST_PARENT = 0x7001, MSG_MAKE = 0x7FF0 };

static int ParentProc(WinId, WinId sender, int message, WinParam* p1, WinParam*)
{
    if (message == MSG_MAKE) {
        request.made = WinCreate(request.x, request.y, request.w, request.h, WIN_CURRENT, request.style, request.cls);
        return 0;
    }
    if (message >= WM_FIRST_CLASS_MESSAGE) {
        notes.push_back({sender, message, *p1});
        return 0;
    }
    return 1;
}

class Controls : public ::testing::Test {
protected:
    WinId parent = 0;
    void SetUp() override
    {
        ResRemove();
        ResInstall(500);
        VideoRemove();
        VideoInstall(0);
        ASSERT_EQ(VideoSetMode(320, 200, VIDEO_16BIT, VIDEO_WINDOWED_DEBUG, 0, 0), 0);
        VideoLoadInterfacePalette();
        DrawSetInterfaceColours(252, 251, 253, 255, 250);
        TextInstall();
        FontInstall();
        TextSetFont(FontCreateBuiltIn());
        KernelSetAppActive(1);
        InputReset();
        WinInstall();
        WinRegisterBaseClasses();
        ButtonRegisterClass();
        EditRegisterClass();
        ListRegisterClass();
        SliderRegisterClass();
        WinCreateClass(CLASS_TEST_PARENT, CLASS_FRAME, 0, ParentProc);
        parent = WinCreate(10, 10, 300, 180, WIN_DESKTOP, 0, CLASS_TEST_PARENT);
        notes.clear();
    }
    void TearDown() override
    {
        WinRemove();
        FontRemove();
        TextRemove();
        VideoRemove();
        ResRemove();
    }
    WinId Child(int x, int y, int w, int h, uint32_t style, uint32_t cls)
    {
        request = {x, y, w, h, style, cls, 0};
        Send(parent, MSG_MAKE, 0);
        return request.made;
    }
    static void Send(WinId w, int message, WinParam a, WinParam b = 0) { WinSendMessage(w, message, &a, &b); }
    static WinParam Ask(WinId w, int message)
    {
        WinParam a = 0, b = 0;
        WinSendMessage(w, message, &a, &b);
        return a;
    }
    // Screen coordinates: the parent's top-left is at (10, 10).
    static void PointerTo(int x, int y)
    {
        InputMessageHook(nullptr, NM_MOUSEMOVE, 0, (int32_t)(((uint32_t)(uint16_t)y << 16) | (uint16_t)x));
    }
    static void Click(int x, int y)
    {
        PointerTo(x, y);
        InputMessageHook(nullptr, NM_LBUTTONDOWN, 0, 0);
        WinProcessInput();
        InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0);
        WinProcessInput();
    }
    static std::vector<Note> NotesOf(int message)
    {
        std::vector<Note> out;
        for (const Note& n : notes)
            if (n.message == message) out.push_back(n);
        return out;
    }
};

TEST_F(Controls, RadioButtonsOfOneGroupExcludeEachOther)
{
    WinId a = Child(10, 10, 60, 11, BUTTON_RADIO | BUTTON_GROUP, CLASS_BUTTON);
    WinId b = Child(80, 10, 60, 11, BUTTON_RADIO | BUTTON_GROUP, CLASS_BUTTON);
    WinId other = Child(150, 10, 60, 11, BUTTON_RADIO | BUTTON_GROUP, CLASS_BUTTON);
    Send(a, WM_SETGROUP, 1);
    Send(b, WM_SETGROUP, 1);
    Send(other, WM_SETGROUP, 2);
    Send(other, WM_SETSTATE, 1);
    Send(a, WM_SETSTATE, 1);
    notes.clear();

    Click(10 + 85, 10 + 15);   // on b
    EXPECT_EQ(Ask(b, WM_GETSTATE), 1);
    EXPECT_EQ(Ask(a, WM_GETSTATE), 0);
    EXPECT_EQ(Ask(other, WM_GETSTATE), 1) << "another group is left alone";
    auto pressed = NotesOf(WM_PRESSED);
    ASSERT_EQ(pressed.size(), 2u);
    EXPECT_EQ(pressed[0].sender, b);
    EXPECT_EQ(pressed[0].p1, 1);
    EXPECT_EQ(pressed[1].sender, a);
    EXPECT_EQ(pressed[1].p1, 0);

    notes.clear();
    Click(10 + 85, 10 + 15);   // b again: already on
    EXPECT_TRUE(notes.empty());
    EXPECT_EQ(Ask(b, WM_GETSTATE), 1);
}

TEST_F(Controls, PushAndToggleButtons)
{
    WinId push = Child(10, 10, 60, 11, BUTTON_PUSH, CLASS_BUTTON);
    WinId toggle = Child(10, 30, 60, 11, BUTTON_TOGGLE, CLASS_BUTTON);
    PointerTo(10 + 20, 10 + 15);
    InputMessageHook(nullptr, NM_LBUTTONDOWN, 0, 0);
    WinProcessInput();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].p1, 1);
    EXPECT_EQ(Ask(push, WM_GETSTATE), 1);
    // The press's own frame ticked once; the next frame's tick ends the pulse.
    InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0);
    WinProcessInput();
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1].sender, push);
    EXPECT_EQ(notes[1].p1, 0);
    EXPECT_EQ(Ask(push, WM_GETSTATE), 0);
    WinProcessInput();
    EXPECT_EQ(notes.size(), 2u);

    notes.clear();
    Click(10 + 20, 10 + 35);
    Click(10 + 20, 10 + 35);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].p1, 1);
    EXPECT_EQ(notes[1].p1, 0);
    EXPECT_EQ(Ask(toggle, WM_GETSTATE), 0);
}

TEST_F(Controls, ButtonLabelIsDrawn)
{
    WinId b = Child(10, 10, 60, 11, BUTTON_PUSH, CLASS_BUTTON);
    Send(b, WM_SETLABEL, (WinParam) "A very long label that does not fit in the button");
    VideoBeginUpdate(1);
    WinDrawAll();
    VideoEndUpdate();
    // Some pixel of the bar carries the text colour.
    const VideoSurface* t = VideoTarget();
    int ink = 0;
    for (int y = 20; y < 31; y++)
        for (int x = 20; x < 80; x++)
            if (GetU16(t->pixels, (size_t)y * t->pitch + (size_t)x * 2) == VideoPixelTable()[255]) ink++;
    EXPECT_GT(ink, 10);
}

TEST_F(Controls, EditFieldEditsTheBufferWithinItsLimit)
{
    WinId e = Child(10, 10, 100, 11, 0, CLASS_EDIT);
    char buffer[16] = "abc";
    notes.clear();
    Send(e, WM_EDITSETBUFFER, (WinParam)buffer, 8);
    EXPECT_EQ(NotesOf(WM_EDITCHANGED).size(), 1u);

    // A press between the second and third characters puts the cursor there.
    int w = TextWidth("a") + TextWidth("b");
    Click(10 + 10 + 2 + w - 1, 10 + 15);
    EXPECT_EQ(WinFocus(), e);
    InputQueueKey(KEY_X, 1);
    WinProcessInput();
    InputQueueKey(KEY_X, 0);
    EXPECT_STREQ(buffer, "abxc");
    for (int code = KEY_1; code < KEY_1 + 6; code++) {
        InputQueueKey(code, 1);
        WinProcessInput();
        InputQueueKey(code, 0);
    }
    EXPECT_STREQ(buffer, "abx1234c") << "eight characters at most";
    EXPECT_EQ(StrLen(buffer), 8);

    notes.clear();
    InputQueueKey(KEY_RETURN, 1);
    WinProcessInput();
    InputQueueKey(KEY_RETURN, 0);
    EXPECT_EQ(NotesOf(WM_EDITENTER).size(), 1u);
    EXPECT_STREQ(buffer, "abx1234c");

    EXPECT_EQ(Ask(e, WM_EDITSETTEXT), 1) << "no text";
    WinParam text = (WinParam) "123456789", z = 0;
    WinSendMessage(e, WM_EDITSETTEXT, &text, &z);
    EXPECT_EQ(text, 1) << "longer than the limit";
    text = (WinParam) "12345678";
    WinSendMessage(e, WM_EDITSETTEXT, &text, &z);
    EXPECT_EQ(text, 0);
    EXPECT_STREQ(buffer, "12345678");

    // Without a buffer keys are ignored and replacing is refused.
    WinId bare = Child(10, 40, 100, 11, 0, CLASS_EDIT);
    text = (WinParam) "x";
    WinSendMessage(bare, WM_EDITSETTEXT, &text, &z);
    EXPECT_EQ(text, 1);
}

static ResId MakeList(const std::vector<std::pair<int, const char*>>& items)
{
    ResId list = ResCreate(4);
    ListClear(list);
    for (const auto& it : items) ListAdd(list, it.first, it.second);
    return list;
}

TEST_F(Controls, ListDataRoutines)
{
    ResId list = MakeList({{5, "five"}, {-3, "minus three"}, {7, "s"}});
    EXPECT_EQ(ListCount(list), 3);
    EXPECT_EQ(ResSize(list), ListSizeFor(3, 4 + 11 + 1));
    EXPECT_EQ(ListGetItemID(list, 2), -3);
    EXPECT_STREQ(ListGetItemText(list, 3), "s");
    EXPECT_STREQ(ListFindText(list, 5), "five");
    EXPECT_EQ(ListFindText(list, 6), nullptr);
    EXPECT_EQ(ListIndexOf(list, 7), 3);
    EXPECT_EQ(ListIndexOf(list, 8), 0);
    const uint8_t* d = (const uint8_t*)ResPeek(list);
    EXPECT_EQ(GetI16(d, 0), 5);
    EXPECT_EQ(memcmp(d + 2, "five", 5), 0);
    EXPECT_EQ(GetI16(d, 7), -3);

    ListClear(list);
    EXPECT_EQ(ListCount(list), 0);
    EXPECT_EXIT(ListGetItemID(list, 1), testing::ExitedWithCode(1), "ListGetItemID: Error!");
    EXPECT_EXIT(ListGetItemText(list, 0), testing::ExitedWithCode(1), "ListGetItemText: Error!");
    EXPECT_EXIT(ListAdd(list, 1, ""), testing::ExitedWithCode(1), "ListAdd: No empty strings, or character 255's!");
    EXPECT_EXIT(ListAdd(list, 1, "\xff"
                                 "x"),
                testing::ExitedWithCode(1), "ListAdd: No empty strings, or character 255's!");

    // A list without an end mark ends at its block's end.
    ResId bad = ResCreate(8);
    memset(ResPeek(bad), 'x', 8);
    EXPECT_EQ(ListCount(bad), 0);
}

TEST_F(Controls, LongListGetsASliderAndScrolls)
{
    std::vector<std::pair<int, const char*>> items;
    static char names[20][8];
    for (int i = 0; i < 20; i++) {
        snprintf(names[i], sizeof names[i], "item%d", i + 1);
        items.push_back({100 + i, names[i]});
    }
    ResId list = MakeList(items);
    // No border or title: the client is the whole 90-pixel height, ten lines.
    WinId l = Child(10, 10, 120, 90, 0, CLASS_LIST);
    Send(l, WM_LISTSET, list);
    WinId slider = 0;
    for (int s = 0; s < WIN_MAX_CHILDREN; s++)
        if (WinGetChild(l, s) && WinGetClass(WinGetChild(l, s)) == CLASS_SLIDER) slider = WinGetChild(l, s);
    ASSERT_NE(slider, 0);
    int x, y, w, h;
    WinGetRect(slider, &x, &y, &w, &h);
    EXPECT_EQ(w, SLIDER_WIDTH);
    EXPECT_EQ(x + w, 120) << "along the right edge";

    // Pressing the bottom of the track goes to the last position: range 20 - 10 + 1 = 11.
    Click(10 + 10 + x + 5, 10 + 10 + 89);
    auto moved = NotesOf(WM_LISTCHOICE);
    EXPECT_TRUE(moved.empty());
    // The list scrolled: its first visible line is now item 11.
    notes.clear();
    Click(10 + 10 + 5, 10 + 10 + 4);
    auto chosen = NotesOf(WM_LISTCHOICE);
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_EQ(chosen[0].p1, 110);
    EXPECT_EQ(Ask(l, WM_LISTGETCHOICE), 110);

    // Setting an id that is not listed clears the choice.
    Send(l, WM_LISTSETCHOICE, 999);
    EXPECT_EQ(Ask(l, WM_LISTGETCHOICE), 0);
    Send(l, WM_LISTSETCHOICE, 103);
    EXPECT_EQ(Ask(l, WM_LISTGETCHOICE), 103);

    // A short list needs no slider; an existing one is closed.
    ResId shortList = MakeList({{1, "one"}});
    Send(l, WM_LISTSET, shortList);
    WinProcessInput();
    bool any = false;
    for (int s = 0; s < WIN_MAX_CHILDREN; s++) any |= WinGetChild(l, s) != 0;
    EXPECT_FALSE(any);
}

TEST_F(Controls, MultipleChoiceReportsTheMask)
{
    ResId list = MakeList({{1, "one"}, {4, "four"}, {8, "eight"}});
    WinId l = Child(10, 10, 120, 45, LIST_MULTIPLE, CLASS_LIST);
    Send(l, WM_LISTSET, list);
    Click(10 + 10 + 5, 10 + 10 + 4);        // one
    Click(10 + 10 + 5, 10 + 10 + 9 * 2 + 4); // eight
    auto chosen = NotesOf(WM_LISTCHOICE);
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[0].p1, 1);
    EXPECT_EQ(chosen[1].p1, 9);
    EXPECT_EQ(Ask(l, WM_LISTGETCHOICE), 9);
    Click(10 + 10 + 5, 10 + 10 + 4);        // one again: off
    EXPECT_EQ(Ask(l, WM_LISTGETCHOICE), 8);
    Click(10 + 10 + 5, 10 + 10 + 9 * 4 + 4); // past the last item: nothing
    EXPECT_EQ(Ask(l, WM_LISTGETCHOICE), 8);
    Send(l, WM_LISTSETCHOICE, 5);
    EXPECT_EQ(Ask(l, WM_LISTGETCHOICE), 5);
}

TEST_F(Controls, SliderDragAndRange)
{
    WinId s = Child(200, 10, 11, 100, 0, CLASS_SLIDER);
    Send(s, WM_SLIDERSETRANGE, 5);
    Send(s, WM_SLIDERSETPOS, 9);
    WinId thumb = WinGetChild(s, 0);
    ASSERT_NE(thumb, 0);
    int x, y, w, h;
    WinGetRect(thumb, &x, &y, &w, &h);
    EXPECT_EQ(h, 20);
    EXPECT_EQ(y, 80) << "positions beyond the range stop at its end";
    EXPECT_TRUE(notes.empty()) << "setting the position tells nobody";

    // Drag the thumb from the bottom to the top.
    PointerTo(10 + 200 + 5, 10 + 10 + 85);
    InputMessageHook(nullptr, NM_LBUTTONDOWN, 0, 0);
    WinProcessInput();
    PointerTo(10 + 200 + 5, 10 + 10 + 5);
    WinProcessInput();
    InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0);
    WinProcessInput();
    auto moved = NotesOf(WM_SLIDERPOS);
    ASSERT_FALSE(moved.empty());
    EXPECT_EQ(moved.back().p1, 1);
    WinGetRect(thumb, &x, &y, &w, &h);
    EXPECT_EQ(y, 0);
}
