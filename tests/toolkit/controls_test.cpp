#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/str.h"
#include "kernel/timing.h"
#include "toolkit/controls_screen.h"
#include "toolkit/controls.h"
#include "toolkit/panelhost.h"
#include "toolkit/text.h"

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
    if (message < WM_FIRST_CLASS_MESSAGE) return 1;
    notes.push_back({sender, message, *p1});
    return 0;
}

// The parent covers the screen from (10, 10): a control at (x, y) in it is at (10 + x, 10 + y).
class Controls : public ControlsScreenTest {
protected:
    WinId parent = 0;
    void SetUp() override
    {
        ControlsScreenTest::SetUp();
        WinCreateClass(CLASS_TEST_PARENT, CLASS_FRAME, 0, ParentProc);
        parent = WinCreate(10, 10, 300, 180, WIN_DESKTOP, 0, CLASS_TEST_PARENT);
        notes.clear();
    }
    WinId Child(int x, int y, int w, int h, uint32_t style, uint32_t cls)
    {
        request = {x, y, w, h, style, cls, 0};
        Send(parent, MSG_MAKE, 0);
        return request.made;
    }
    static void Send(WinId w, int message, WinParam a, WinParam b = 0) { WinSendMessage(w, message, &a, &b); }
    static WinParam Ask(WinId w, int message, WinParam a = 0)
    {
        WinParam b = 0;
        WinSendMessage(w, message, &a, &b);
        return a;
    }
    static std::vector<WinParam> Values(int message)
    {
        std::vector<WinParam> out;
        for (const Note& n : notes)
            if (n.message == message) out.push_back(n.p1);
        return out;
    }
    // How many Enter, Escape and change notes a field sent.
    static std::vector<size_t> Counts()
    {
        return {Values(WM_EDITENTER).size(), Values(WM_EDITESCAPE).size(), Values(WM_EDITCHANGED).size()};
    }
};

// ---- Buttons

TEST_F(Controls, RadioButtonsOfOneGroupExcludeEachOther)
{
    WinId a = Child(10, 10, 60, 11, BUTTON_RADIO | BUTTON_GROUP, CLASS_BUTTON);
    WinId b = Child(80, 10, 60, 11, BUTTON_RADIO | BUTTON_GROUP, CLASS_BUTTON);
    WinId other = Child(150, 10, 60, 11, BUTTON_RADIO | BUTTON_GROUP, CLASS_BUTTON);
    Send(a, WM_SETGROUP, 1);
    Send(b, WM_SETGROUP, 1);
    Send(other, WM_SETGROUP, 2);
    Send(other, WM_SETSTATE, 1);
    Send(b, WM_SETSTATE, 1);
    Send(a, WM_SETSTATE, 1);
    EXPECT_EQ(Ask(b, WM_GETSTATE), 0) << "setting a radio button on switches its group off";
    notes.clear();

    Click(10 + 85, 10 + 15);   // on b
    EXPECT_EQ((std::vector<WinParam>{Ask(a, WM_GETSTATE), Ask(b, WM_GETSTATE), Ask(other, WM_GETSTATE)}),
              (std::vector<WinParam>{0, 1, 1}))
        << "another group is left alone";
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ((std::vector<WinId>{notes[0].sender, notes[1].sender}), (std::vector<WinId>{b, a}));
    EXPECT_EQ(Values(WM_PRESSED), (std::vector<WinParam>{1, 0}));

    notes.clear();
    Click(10 + 85, 10 + 15);   // b again: already on
    EXPECT_TRUE(notes.empty());
    EXPECT_EQ(Ask(b, WM_GETSTATE), 1);
}

TEST_F(Controls, PushAndToggleButtons)
{
    WinId push = Child(10, 10, 60, 11, BUTTON_PUSH, CLASS_BUTTON);
    WinId toggle = Child(10, 30, 60, 11, BUTTON_TOGGLE, CLASS_BUTTON);
    Press(10 + 20, 10 + 15);
    EXPECT_EQ(Values(WM_PRESSED), (std::vector<WinParam>{1}));
    EXPECT_EQ(Ask(push, WM_GETSTATE), 1);
    // The press's own frame ticked once; the next frame's tick ends the pulse.
    Release(10 + 20, 10 + 15);
    EXPECT_EQ(Values(WM_PRESSED), (std::vector<WinParam>{1, 0}));
    EXPECT_EQ(notes[1].sender, push);
    EXPECT_EQ(Ask(push, WM_GETSTATE), 0);
    WinProcessInput();
    EXPECT_EQ(notes.size(), 2u);

    notes.clear();
    Click(10 + 20, 10 + 35);
    Click(10 + 20, 10 + 35);
    EXPECT_EQ(Values(WM_PRESSED), (std::vector<WinParam>{1, 0}));
    EXPECT_EQ(Ask(toggle, WM_GETSTATE), 0);

    // The label is drawn on the bar, in the text colour.
    Send(push, WM_SETLABEL, (WinParam) "A very long label that does not fit in the button");
    WinDrawAll();
    int ink = 0;
    for (int y = 20; y < 31; y++)
        for (int x = 20; x < 80; x++) ink += Px(x, y) == Pal(255);
    EXPECT_GT(ink, 10);
}

// ---- Edit field

TEST_F(Controls, EditFieldEditsTheBufferWithinItsLimit)
{
    WinId e = Child(10, 10, 100, 11, 0, CLASS_EDIT);
    char buffer[16] = "abc";
    Send(e, WM_EDITSETBUFFER, (WinParam)buffer, 8);
    EXPECT_EQ(Values(WM_EDITCHANGED).size(), 1u);

    // A press between the second and third characters puts the cursor there.
    int w = TextWidth("ab");
    Click(10 + 10 + 2 + w - 1, 10 + 15);
    EXPECT_EQ(WinFocus(), e);
    Key(KEY_X);
    EXPECT_STREQ(buffer, "abxc");
    for (int code = KEY_1; code < KEY_1 + 6; code++) Key(code);
    EXPECT_STREQ(buffer, "abx1234c") << "eight characters at most";

    notes.clear();
    Key(KEY_RETURN);
    Key(KEY_ESCAPE);
    EXPECT_EQ(Counts(), (std::vector<size_t>{1, 1, 0})) << "Escape is the parent's, not the text's";
    EXPECT_STREQ(buffer, "abx1234c");

    // While focused the cursor blinks: a line behind the text before it, with serifs (the
    // lower one lies below the glyphs).
    auto cursorDrawn = [&] {
        WinDrawAll();
        int x = 20 + 2 + TextWidth("abx1234");
        return Px(x - 1, 20 + 9) == Pal(255) && Px(x + 1, 20 + 9) == Pal(255);
    };
    TimingReset();
    int changes = 0;
    for (int i = 0, was = cursorDrawn(); i < 8; i++) {
        PlatHeadlessAdvanceClock(200);
        TimingUpdate();
        WinProcessInput();
        int now = cursorDrawn();
        changes += now != was;
        was = now;
    }
    EXPECT_GE(changes, 2) << "on and off in turn";

    EXPECT_EQ(Ask(e, WM_EDITSETTEXT), 1) << "no text";
    EXPECT_EQ(Ask(e, WM_EDITSETTEXT, (WinParam) "123456789"), 1) << "longer than the limit";
    EXPECT_EQ(Ask(e, WM_EDITSETTEXT, (WinParam) "12345678"), 0);
    EXPECT_STREQ(buffer, "12345678");

    // Without a buffer keys are ignored and replacing is refused.
    WinId bare = Child(10, 40, 100, 11, 0, CLASS_EDIT);
    EXPECT_EQ(Ask(bare, WM_EDITSETTEXT, (WinParam) "x"), 1);
}

TEST_F(Controls, EditFieldSelectedWholeIsReplacedByTheFirstKey)
{
    WinId e = Child(10, 10, 100, 11, 0, CLASS_EDIT);
    char buffer[16] = "old.shp";
    Send(e, WM_EDITSETBUFFER, (WinParam)buffer, 12);
    Click(10 + 10 + 90, 10 + 15);   // focus, cursor at the end
    // Accent pixels behind the text mark the selection, and only while it lasts. They are
    // counted on the row below the glyphs, short of the end where the cursor's serif may be.
    auto marked = [&] {
        WinDrawAll();
        int n = 0;
        for (int x = 20 + 2; x < 20 + TextWidth(buffer); x++) n += Px(x, 20 + 9) == Pal(250);
        return n;
    };
    EXPECT_EQ(marked(), 0);
    Send(e, WM_EDITSELECTALL, 0);
    EXPECT_EQ(marked(), TextWidth("old.shp") - 2);
    EXPECT_NE(Px(20 + 2 + TextWidth("old.shp") + 3, 20 + 5), Pal(250)) << "the whole text, no more";

    Key(KEY_N);
    Key(KEY_E);
    EXPECT_STREQ(buffer, "ne") << "the first key replaces, the second adds";
    EXPECT_EQ(marked(), 0);

    // A cursor key keeps the text and only ends the selection.
    Send(e, WM_EDITSETTEXT, (WinParam) "box.shp");
    Send(e, WM_EDITSELECTALL, 0);
    Key(KEY_LEFT);
    Key(KEY_X);
    EXPECT_STREQ(buffer, "box.shxp");

    // Backspace and Delete empty a selected text; so does nothing else but typing.
    for (int key : {KEY_BACK, KEY_DELETE}) {
        Send(e, WM_EDITSETTEXT, (WinParam) "box.shp");
        Send(e, WM_EDITSELECTALL, 0);
        notes.clear();
        Key(key);
        EXPECT_STREQ(buffer, "");
        EXPECT_EQ(Values(WM_EDITCHANGED).size(), 1u);
    }

    // Replacing the text, or placing the cursor with the pointer, ends the selection.
    Send(e, WM_EDITSETTEXT, (WinParam) "abc");
    Send(e, WM_EDITSELECTALL, 0);
    Send(e, WM_EDITSETTEXT, (WinParam) "abc");
    Key(KEY_D);
    EXPECT_STREQ(buffer, "abcd");
    Send(e, WM_EDITSELECTALL, 0);
    Click(10 + 10 + 2 + TextWidth("a") - 1, 10 + 15);
    Key(KEY_X);
    EXPECT_STREQ(buffer, "axbcd");
    EXPECT_EQ(marked(), 0);

    // Enter and Escape go to the parent and leave a selected text as it is.
    Send(e, WM_EDITSELECTALL, 0);
    notes.clear();
    Key(KEY_RETURN);
    Key(KEY_ESCAPE);
    EXPECT_EQ(Counts(), (std::vector<size_t>{1, 1, 0}));
    EXPECT_STREQ(buffer, "axbcd");
    EXPECT_EQ(marked(), TextWidth("axbcd") - 2);

    // An empty text has nothing to select.
    Send(e, WM_EDITSETTEXT, (WinParam) "");
    Send(e, WM_EDITSELECTALL, 0);
    Send(e, WM_EDITSETTEXT, (WinParam) "");
    Key(KEY_A);
    EXPECT_STREQ(buffer, "a");
}

// The boxes the fields ask the panel host for, written down.
static std::vector<std::string> refusals;
static WinId NoteRefusal(const char*, const char* text)
{
    refusals.push_back(text);
    return 0;
}

static void Type(const char* utf8)
{
    InputQueueText(utf8);
    WinProcessInput();
}

TEST_F(Controls, EditFieldKeysHomeEndAndCharactersBeyondAscii)
{
    WinId e = Child(10, 10, 100, 11, 0, CLASS_EDIT);
    char buffer[16] = "abc";
    Send(e, WM_EDITSETBUFFER, (WinParam)buffer, 12);
    Click(10 + 10 + 50, 10 + 15);
    Key(KEY_HOME);
    Key(KEY_X);
    EXPECT_STREQ(buffer, "xabc");
    Key(KEY_END);
    Key(KEY_Y);
    EXPECT_STREQ(buffer, "xabcy");
    Key(KEY_NUMPAD7);   // the keypad's Home
    Key(KEY_DELETE);
    EXPECT_STREQ(buffer, "abcy");
    // Left at the start and Right at the end go nowhere.
    Key(KEY_LEFT);
    Key(KEY_Z);
    Key(KEY_END);
    Key(KEY_RIGHT);
    Key(KEY_LEFT);
    Key(KEY_Z);
    EXPECT_STREQ(buffer, "zabczy");
    Key(KEY_BACK);
    Key(KEY_HOME);
    Key(KEY_DELETE);
    EXPECT_STREQ(buffer, "abcy");

    // Text is kept as UTF-8; the cursor keys, Backspace and Delete step over whole characters.
    Key(KEY_END);
    Type("\xc3\xa9\xe2\x82\xac");   // e acute, euro
    EXPECT_STREQ(buffer, "abcy\xc3\xa9\xe2\x82\xac");
    Key(KEY_LEFT);
    Key(KEY_BACK);
    EXPECT_STREQ(buffer, "abcy\xe2\x82\xac");
    Key(KEY_DELETE);
    EXPECT_STREQ(buffer, "abcy");
    Key(KEY_LEFT);
    Type("\xc3\xa9");
    Key(KEY_LEFT);
    Key(KEY_LEFT);
    Key(KEY_RIGHT);
    Key(KEY_RIGHT);
    Key(KEY_X);
    EXPECT_STREQ(buffer, "abc\xc3\xa9xy") << "right steps over the two bytes at once";
    // The pound sign of the tables goes in as the Unicode one.
    InputQueueKey(KEY_LSHIFT, 1);
    Key(0x04);
    InputQueueKey(KEY_LSHIFT, 0);
    EXPECT_STREQ(buffer, "abc\xc3\xa9x\xc2\xa3y");
    // A byte that belongs to no character goes alone.
    char broken[16] = "a\xc3\xa9\x80";
    Send(e, WM_EDITSETBUFFER, (WinParam)broken, 12);
    Key(KEY_BACK);
    EXPECT_STREQ(broken, "a\xc3\xa9");
    Key(KEY_BACK);
    EXPECT_STREQ(broken, "a");
    Send(e, WM_EDITSETBUFFER, (WinParam)buffer, 12);
    // A press lands between whole characters: after "abc" and the e acute.
    Click(10 + 10 + 2 + TextWidth("abc?") - 1, 10 + 15);
    Key(KEY_BACK);
    EXPECT_STREQ(buffer, "abcx\xc2\xa3y");
}

TEST_F(Controls, EditFieldRefusesWithABoxWhatDoesNotFit)
{
    static const PanelHostFns host = {nullptr, nullptr, NoteRefusal, nullptr, nullptr, nullptr, nullptr, nullptr};
    PanelHostSet(&host);
    refusals.clear();
    WinId e = Child(10, 10, 100, 11, 0, CLASS_EDIT);
    char buffer[8] = "abcd";
    Send(e, WM_EDITSETBUFFER, (WinParam)buffer, 5);
    Click(10 + 10 + 90, 10 + 15);
    Key(KEY_E);
    EXPECT_TRUE(refusals.empty()) << "the fifth character fits";
    Key(KEY_F);
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_NE(refusals[0].find("5 characters"), std::string::npos) << refusals[0];
    EXPECT_STREQ(buffer, "abcde");
    // Two bytes do not fit where one is left.
    Key(KEY_BACK);
    Type("\xc3\xa9");
    EXPECT_EQ(refusals.size(), 2u);
    EXPECT_STREQ(buffer, "abcd");
    Type("\x7e");   // one byte: it fits
    EXPECT_STREQ(buffer, "abcd~");

    // A field for a name the files keep as ASCII refuses other characters, and says which;
    // a selected text stays when the character replacing it is refused.
    WinId ascii = Child(10, 40, 100, 11, EDIT_ASCII, CLASS_EDIT);
    char name[8] = "old";
    Send(ascii, WM_EDITSETBUFFER, (WinParam)name, 7);
    Click(10 + 10 + 50, 10 + 45);
    Send(ascii, WM_EDITSELECTALL, 0);
    Type("\xc3\xa9");
    ASSERT_EQ(refusals.size(), 3u);
    EXPECT_NE(refusals[2].find("\"\xc3\xa9\""), std::string::npos) << refusals[2];
    EXPECT_NE(refusals[2].find("ASCII"), std::string::npos);
    EXPECT_STREQ(name, "old");
    Type("n");
    EXPECT_STREQ(name, "n");
    EXPECT_EQ(refusals.size(), 3u);
    PanelHostSet(nullptr);
}

TEST_F(Controls, EditFieldScrollsToKeepTheCursorShown)
{
    WinId e = Child(10, 10, 40, 11, 0, CLASS_EDIT);
    char buffer[40] = "";
    Send(e, WM_EDITSETBUFFER, (WinParam)buffer, 30);
    Click(10 + 10 + 20, 10 + 15);
    // The cursor's upper serif, at y 1 of the field, three pixels wide; found by its colour
    // inside the field only.
    auto cursorAt = [&]() {
        for (int i = 0; i < 8; i++) {
            WinDrawAll();
            for (int x = 21; x < 20 + 39; x++)
                if (Px(x - 1, 21) == Pal(255) && Px(x, 21) == Pal(255) && Px(x + 1, 21) == Pal(255)) return x - 20;
            PlatHeadlessAdvanceClock(150);
            TimingUpdate();
            WinProcessInput();
        }
        return -1;
    };
    TimingReset();
    Type("0123456789abcdef");
    EXPECT_STREQ(buffer, "0123456789abcdef");
    int x = cursorAt();
    EXPECT_GT(x, 30) << "the end of a long text, and the cursor behind it, stay in the field";
    EXPECT_LT(x, 39);
    // The characters left of the cursor are drawn, scrolled: ink in each 6-pixel cell, the
    // first one starting right at the field's inner edge (x 1) included.
    WinDrawAll();
    int first = 0;
    for (int px = 1; px < 6; px++)
        for (int py = 22; py < 29; py++) first += Px(20 + px, py) == Pal(255);
    EXPECT_GT(first, 0) << "the character at the edge";
    for (int cell = 0; cell < 4; cell++) {
        int ink = 0;
        for (int px = x - 6 * (cell + 1); px < x - 6 * cell; px++)
            for (int py = 22; py < 29; py++) ink += Px(20 + px, py) == Pal(255);
        EXPECT_GT(ink, 0) << "cell " << cell << " left of the cursor";
    }
    Key(KEY_HOME);
    EXPECT_EQ(cursorAt(), 2) << "back at the start, the text's first character shows";
    Key(KEY_END);
    EXPECT_EQ(cursorAt(), x);
    // A press goes to the character under it in the scrolled text.
    Click(10 + 10 + 3, 10 + 15);
    Key(KEY_X);
    // The text (96 pixels) is scrolled by 96 - 35 = 61 for the 35 pixels of room: x 3 is the
    // text's pixel 64, inside its eleventh character, so the cursor goes behind it.
    EXPECT_STREQ(buffer, "0123456789axbcdef");
}

// ---- Lists

static ResId MakeList(const std::vector<std::pair<int, const char*>>& items)
{
    ResId list = ResCreate(4);
    ListClear(list);
    for (const auto& it : items) ListAdd(list, it.first, it.second);
    return list;
}

TEST_F(Controls, ListDataRoutines)
{
    ResId list = MakeList({{5, "five"}, {-3, "minus three"}, {7, "s"}, {5, "again"}});
    EXPECT_EQ(ListCount(list), 4);
    EXPECT_EQ(ResSize(list), ListSizeFor(4, 4 + 11 + 1 + 5));
    EXPECT_EQ(ListGetItemID(list, 2), -3);
    EXPECT_STREQ(ListGetItemText(list, 3), "s");
    EXPECT_STREQ(ListFindText(list, 5), "five") << "the first of equal ids";
    EXPECT_EQ(ListFindText(list, 6), nullptr);
    EXPECT_EQ((std::vector<int>{ListIndexOf(list, 5), ListIndexOf(list, 7), ListIndexOf(list, 8)}), (std::vector<int>{1, 3, 0}));
    const uint8_t* d = (const uint8_t*)ResPeek(list);
    EXPECT_EQ((std::vector<int>{GetI16(d, 0), memcmp(d + 2, "five", 5), GetI16(d, 7)}), (std::vector<int>{5, 0, -3}));

    ListClear(list);
    EXPECT_EQ(ListCount(list), 0);
    EXPECT_EXIT(ListGetItemID(list, 1), testing::ExitedWithCode(1), "ListGetItemID: Error!");
    EXPECT_EXIT(ListGetItemText(list, 0), testing::ExitedWithCode(1), "ListGetItemText: Error!");
    EXPECT_EXIT(ListAdd(list, 1, ""), testing::ExitedWithCode(1), "ListAdd: No empty strings, or character 255's!");
    EXPECT_EXIT(ListAdd(list, 1, "\xff" "x"), testing::ExitedWithCode(1), "ListAdd: No empty strings, or character 255's!");

    // Appending behind a known end builds the same bytes, and grows a resource too small.
    ResId added = MakeList({{5, "five"}, {-3, "minus three"}});
    ResId appended = ResCreate(4);
    ListClear(appended);
    size_t end = ListAppend(appended, 0, 5, "five");
    EXPECT_EQ(end, 7u);
    end = ListAppend(appended, end, -3, "minus three");
    ASSERT_EQ(ResSize(appended), ResSize(added));
    EXPECT_EQ(memcmp(ResPeek(appended), ResPeek(added), ResSize(added)), 0);
    EXPECT_EQ(ListCount(appended), 2);
    EXPECT_EXIT(ListAppend(appended, end, 1, ""), testing::ExitedWithCode(1), "ListAdd: No empty strings, or character 255's!");

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
    // No border or title: the client is the whole 90-pixel height, ten lines.
    WinId l = Child(10, 10, 120, 90, 0, CLASS_LIST);
    Send(l, WM_LISTSET, MakeList(items));
    WinId slider = WinGetChild(l, 0);
    ASSERT_EQ(WinGetClass(slider), (uint32_t)CLASS_SLIDER);
    EXPECT_EQ(RectOf(slider), (std::vector<int>{120 - SLIDER_WIDTH, 0, SLIDER_WIDTH, 90})) << "along the right edge";

    // Pressing the bottom of the track goes to the last position: range 20 - 10 + 1 = 11.
    Click(10 + 10 + 120 - 5, 10 + 10 + 89);
    EXPECT_TRUE(Values(WM_LISTCHOICE).empty());
    // The list scrolled: its first visible line is now item 11.
    Click(10 + 10 + 5, 10 + 10 + 4);
    EXPECT_EQ(Values(WM_LISTCHOICE), (std::vector<WinParam>{110}));
    EXPECT_EQ(Ask(l, WM_LISTGETCHOICE), 110);

    // It draws from item 11 on: the first line carries item11's text, not item1's.
    WinDrawAll();
    auto lineInk = [&](int line) {
        std::vector<uint32_t> row;
        for (int y = 20 + line * 9; y < 20 + line * 9 + 9; y++)
            for (int x = 20; x < 20 + 60; x++) row.push_back(Px(x, y) == Pal(255));
        return row;
    };
    std::vector<uint32_t> first = lineInk(0), last = lineInk(9);
    Send(l, WM_SLIDERPOS, 2);
    WinDrawAll();
    EXPECT_NE(lineInk(0), first);
    EXPECT_EQ(lineInk(9), first) << "from item 2 on, item11 is the tenth line";
    EXPECT_NE(last, first);
    Send(l, WM_SLIDERPOS, 11);

    // Setting an id that is not listed clears the choice.
    Send(l, WM_LISTSETCHOICE, 999);
    EXPECT_EQ(Ask(l, WM_LISTGETCHOICE), 0);
    Send(l, WM_LISTSETCHOICE, 103);
    EXPECT_EQ(Ask(l, WM_LISTGETCHOICE), 103);

    // A short list needs no slider; an existing one is closed.
    Send(l, WM_LISTSET, MakeList({{1, "one"}}));
    WinProcessInput();
    EXPECT_EQ(WinGetChild(l, 0), 0);
}

TEST_F(Controls, MultipleChoiceReportsTheMask)
{
    WinId l = Child(10, 10, 120, 45, LIST_MULTIPLE, CLASS_LIST);
    Send(l, WM_LISTSET, MakeList({{1, "one"}, {4, "four"}, {8, "eight"}}));
    Click(10 + 10 + 5, 10 + 10 + 4);          // one
    Click(10 + 10 + 5, 10 + 10 + 9 * 2 + 4);  // eight
    EXPECT_EQ(Values(WM_LISTCHOICE), (std::vector<WinParam>{1, 9}));
    EXPECT_EQ(Ask(l, WM_LISTGETCHOICE), 9);
    Click(10 + 10 + 5, 10 + 10 + 4);          // one again: off
    EXPECT_EQ(Ask(l, WM_LISTGETCHOICE), 8);
    Click(10 + 10 + 5, 10 + 10 + 9 * 3 + 4);  // past the last item: nothing
    EXPECT_EQ(Ask(l, WM_LISTGETCHOICE), 8);
    Send(l, WM_LISTSETCHOICE, 5);
    EXPECT_EQ(Ask(l, WM_LISTGETCHOICE), 5);
}

// ---- Sliders

TEST_F(Controls, SlidersFollowTheThumbAndTheTrackAlongEitherSide)
{
    WinId s = Child(200, 10, 11, 100, 0, CLASS_SLIDER);
    Send(s, WM_SLIDERSETRANGE, 5);
    Send(s, WM_SLIDERSETPOS, 9);
    WinId thumb = WinGetChild(s, 0);
    ASSERT_NE(thumb, 0);
    EXPECT_EQ(RectOf(thumb), (std::vector<int>{0, 80, 11, 20})) << "positions beyond the range stop at its end";
    EXPECT_TRUE(notes.empty()) << "setting the position tells nobody";

    // Drag the thumb from the bottom to the top.
    Press(10 + 200 + 5, 10 + 10 + 85);
    Frame(10 + 200 + 5, 10 + 10 + 5);
    Release(10 + 200 + 5, 10 + 10 + 5);
    ASSERT_FALSE(Values(WM_SLIDERPOS).empty());
    EXPECT_EQ(Values(WM_SLIDERPOS).back(), 1);
    EXPECT_EQ(RectOf(thumb), (std::vector<int>{0, 0, 11, 20}));

    // Wider than high, the track runs across: a press on it brings the thumb's middle there.
    WinId h = Child(10, 150, 100, 11, 0, CLASS_SLIDER);
    Send(h, WM_SLIDERSETRANGE, 5);
    WinId hthumb = WinGetChild(h, 0);
    EXPECT_EQ(RectOf(hthumb), (std::vector<int>{0, 0, 20, 11}));
    notes.clear();
    Click(10 + 10 + 70, 10 + 150 + 2);
    EXPECT_EQ(Values(WM_SLIDERPOS), (std::vector<WinParam>{4}));
    EXPECT_EQ(RectOf(hthumb), (std::vector<int>{60, 0, 20, 11}));
    Click(10 + 10 + 99, 10 + 150 + 9);
    EXPECT_EQ(Values(WM_SLIDERPOS), (std::vector<WinParam>{4, 5}));
}
