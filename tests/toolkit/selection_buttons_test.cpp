// A selection panel's C, A and Mult buttons, as Edit Shapes and Nodes share them: each id does
// its own action, only at its press, and a sender that is none of them is left to the panel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/panelkit.h"

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

}   // namespace
