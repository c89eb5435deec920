// What several panels and boxes share through the kit: a selection panel's C, A and Mult
// buttons (Edit Shapes, Nodes), each id doing its own action only at its press; a modal box's
// one centred button (message box, progress window).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/controls_screen.h"
#include "toolkit/controls.h"
#include "toolkit/panelkit.h"
#include "toolkit/text.h"

namespace {

std::vector<std::string> done;
void ClearAll(void) { done.push_back("clear"); }
void SelectOne(int id, int on) { done.push_back(std::to_string(id) + (on ? "+" : "-")); }
void SelectAll(void) { done.push_back("all"); }

TEST(KitSelectionButtons, EachButtonDoesItsOwnActionAtItsPressOnly)
{
    const KitSelection selection = {ClearAll, SelectOne, SelectAll};
    const KitSelectionButtons buttons = {/*clear*/ 11, /*all*/ 12, /*mult*/ 13};
    struct Row {
        WinId sender;
        int on;
        int handled;
        int mult;             // Mult's state after the press (starts at 5: untouched shows as 5)
        const char* action;   // "" for none
    };
    const Row rows[] = {
        {11, 1, 1, 5, "clear"}, {12, 1, 1, 5, "all"}, {11, 0, 1, 5, ""}, {12, 0, 1, 5, ""},
        {13, 1, 1, 1, ""},      {13, 0, 1, 0, ""},    {14, 1, 0, 5, ""}, {0, 1, 0, 5, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("sender " + std::to_string(row.sender) + " on " + std::to_string(row.on));
        done.clear();
        int mult = 5;
        EXPECT_EQ(KitSelectionPressed(selection, buttons, row.sender, row.on, &mult), row.handled);
        EXPECT_EQ(mult, row.mult);
        EXPECT_EQ(done, row.action[0] ? std::vector<std::string>{row.action} : std::vector<std::string>{});
    }
}

TEST(KitSelectionButtons, AnAbsentButtonNeverMatchesAndNoSelectAllIsNoAction)
{
    // Without an "A" in the selection, its button is still the panel's and does nothing.
    const KitSelection selection = {ClearAll, SelectOne, nullptr};
    const KitSelectionButtons gone = {0, 12, 0};   // C and Mult destroyed while the panel moves
    done.clear();
    int mult = 5;
    EXPECT_EQ(KitSelectionPressed(selection, gone, 12, 1, &mult), 1);
    EXPECT_EQ(KitSelectionPressed(selection, gone, 0, 1, &mult), 0);
    EXPECT_EQ(mult, 5);
    EXPECT_TRUE(done.empty());
}

enum { CLASS_KIT_BOX = 0x7202 };
WinId madeButton = 0;

int BoxProc(WinId self, WinId, int message, WinParam*, WinParam*)
{
    if (message == WM_CREATE) madeButton = KitModalButton(self, 17, "Cancel");
    return message == WM_FOCUS ? 0 : 1;   // the box takes the keys, as the real boxes do
}

class KitModalBox : public ControlsScreenTest {
protected:
    void SetUp() override
    {
        ControlsScreenTest::SetUp();
        WinCreateClass(CLASS_KIT_BOX, CLASS_FRAME, 0, BoxProc);
    }
};

TEST_F(KitModalBox, TheButtonIsCentredAboveTheBottomAndTheBoxTakesInputAndFocus)
{
    WinId other = WinCreate(0, 0, 50, 20, WIN_DESKTOP, 0, CLASS_FRAME);
    WinSetFocus(other);
    madeButton = 0;
    WinId box = WinCreate(30, 40, 260, 50, WIN_DESKTOP, 0, CLASS_KIT_BOX);
    ASSERT_NE(madeButton, 0);
    int x, y, w, h;
    WinGetRect(madeButton, &x, &y, &w, &h);
    EXPECT_EQ(std::vector<int>({x, y, w}), std::vector<int>({110, 33, 40})) << "(260 - 40) / 2 across, 50 - 17 down";
    ControlInfo c;
    ASSERT_TRUE(ControlDescribe(madeButton, &c));
    EXPECT_EQ(std::string(c.text), "Cancel");
    EXPECT_EQ(WinModal(), box);
    EXPECT_EQ(WinFocus(), box);
}

enum { CLASS_KIT_ROW = 0x7203 };
const KitButtonSpec kRow[3] = {{"Load", 262, 4, 50}, {"Save Runtime", 212, 34, 100}, {"New", 122, 19, 48}};
WinId rowButtons[3];

int RowProc(WinId, WinId, int message, WinParam*, WinParam*)
{
    if (message == WM_CREATE) KitButtons(kRow, 3, rowButtons);
    return 1;
}

TEST_F(KitModalBox, ButtonsFromATableStandWhereEachRowSaysAndAreFoundByTheirIds)
{
    WinCreateClass(CLASS_KIT_ROW, CLASS_FRAME, 0, RowProc);
    WinCreate(0, 0, 400, 60, WIN_DESKTOP, 0, CLASS_KIT_ROW);
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(kRow[i].label);
        ASSERT_NE(rowButtons[i], 0);
        int x, y, w, h;
        WinGetRect(rowButtons[i], &x, &y, &w, &h);
        EXPECT_EQ(std::vector<int>({x, y, w}), std::vector<int>({kRow[i].x, kRow[i].y, kRow[i].width}));
        ControlInfo c;
        ASSERT_TRUE(ControlDescribe(rowButtons[i], &c));
        EXPECT_EQ(std::string(c.text), kRow[i].label);
        EXPECT_EQ(KitIndexOf(rowButtons, 3, rowButtons[i]), i);
    }
    const WinId withHole[3] = {5, 0, 9};
    EXPECT_EQ(KitIndexOf(withHole, 3, 0), -1) << "no sender is no button, even where one was not made";
    EXPECT_EQ(KitIndexOf(withHole, 3, 7), -1);
    EXPECT_EQ(KitIndexOf(withHole, 2, 9), -1) << "only the first `count` ids";
}

}   // namespace
