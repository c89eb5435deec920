// The panel kit: the context grid's rules and rebuilds, picks, rectangles and number fields.
// The panels' own tests press their grids' buttons; these pin the kit's edges, where every
// panel would go wrong at once.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "toolkit/controls_screen.h"
#include "toolkit/controls.h"
#include "toolkit/panelkit.h"
#include "toolkit/text.h"

namespace {

enum { CLASS_KIT_PARENT = 0x7201, MSG_RUN = 0x7FF1 };

// Runs a request inside the parent's procedure, where the kit makes its controls.
std::function<void()> inside;

int ParentProc(WinId, WinId, int message, WinParam*, WinParam*)
{
    if (message != MSG_RUN) return 1;
    inside();
    return 0;
}

// Four commands over two counts: exact, some, several, and one shown without effect.
const KitCommand kTable[] = {
    {"One", 1, KIT_RULE_ANY},
    {"Some", KIT_RULE_SOME, 0},
    {"Many", KIT_RULE_SEVERAL, KIT_RULE_ANY},
    {"Off", KIT_RULE_ANY, 2, 1},
    {"Both", 1, 1},
};
const int kX[2] = {100, 140};
const int kY[2] = {4, 19};

class PanelKit : public ControlsScreenTest {
protected:
    WinId parent = 0;
    void SetUp() override
    {
        ControlsScreenTest::SetUp();
        WinCreateClass(CLASS_KIT_PARENT, CLASS_FRAME, 0, ParentProc);
        parent = WinCreate(10, 10, 300, 60, WIN_DESKTOP, 0, CLASS_KIT_PARENT);
    }
    void Run(std::function<void()> fn)
    {
        inside = std::move(fn);
        WinParam a = 0, b = 0;
        WinSendMessage(parent, MSG_RUN, &a, &b);
    }
    static std::vector<std::string> Labels(const KitCommand* table, const int* commands, int n)
    {
        std::vector<std::string> out;
        for (int i = 0; i < n; i++) out.push_back(table[commands[i]].label);
        return out;
    }
    static std::vector<std::string> Chosen(int first, int second)
    {
        int out[KIT_GRID_MAX];
        int n = KitGridChoose(kTable, 5, first, second, out, KIT_GRID_MAX);
        return Labels(kTable, out, n);
    }
};

using V = std::vector<std::string>;

TEST_F(PanelKit, RulesChooseByEachCountAndNothingSelectedShowsNothing)
{
    EXPECT_EQ(Chosen(0, 0), V{}) << "ANY does not show a command when nothing is selected";
    EXPECT_EQ(Chosen(1, 0), (V{"One", "Some"}));
    EXPECT_EQ(Chosen(2, 0), (V{"Some", "Many"}));
    EXPECT_EQ(Chosen(3, 2), (V{"Many", "Off"}));
    EXPECT_EQ(Chosen(1, 1), (V{"One", "Both"})) << "the second count has its own rule";
    EXPECT_EQ(Chosen(0, 1), V{}) << "Some needs the first count, the second must be 0";
    EXPECT_EQ(Chosen(0, 2), (V{"Off"}));
    EXPECT_EQ((std::vector<int>{KitRuleAccepts(KIT_RULE_ANY, 0), KitRuleAccepts(KIT_RULE_SOME, 0), KitRuleAccepts(KIT_RULE_SOME, 1),
                                 KitRuleAccepts(KIT_RULE_SEVERAL, 1), KitRuleAccepts(KIT_RULE_SEVERAL, 2),
                                 KitRuleAccepts(3, 2), KitRuleAccepts(3, 3)}),
              (std::vector<int>{1, 0, 1, 0, 1, 0, 1}));
}

TEST_F(PanelKit, TheGridStandsInColumnsOfItsRowsAndStopsAtItsCapacity)
{
    KitGrid grid{};
    const KitGridLayout layout = {kX, kY, 2, 3, 30};
    // Four commands, one more than the layout holds: the count says so, the grid keeps its cells.
    const KitCommand many[] = {{"A", KIT_RULE_ANY}, {"B", KIT_RULE_ANY}, {"C", KIT_RULE_ANY}, {"D", KIT_RULE_ANY}};
    int qualified = 0;
    Run([&] { qualified = KitGridBuild(&grid, many, 4, layout, 1); });
    EXPECT_EQ(qualified, 4);
    ASSERT_EQ(grid.count, 3);
    auto rect = [](WinId w) {
        int x, y, width, height;
        WinGetRect(w, &x, &y, &width, &height);
        return std::vector<int>{x, y, width, height};
    };
    EXPECT_EQ(rect(grid.button[0]), (std::vector<int>{100, 4, 30, 11}));
    EXPECT_EQ(rect(grid.button[1]), (std::vector<int>{100, 19, 30, 11})) << "down the first column first";
    EXPECT_EQ(rect(grid.button[2]), (std::vector<int>{140, 4, 30, 11}));
    EXPECT_EQ((std::vector<int>{KitGridCommand(&grid, grid.button[1]), KitGridCommand(&grid, parent)}), (std::vector<int>{1, -1}));
    EXPECT_EQ((std::vector<int>{KitGridStale(&grid, 1, 0), KitGridStale(&grid, 2, 0), KitGridStale(&grid, 1, 1)}),
              (std::vector<int>{0, 1, 1}));

    // A disabled command takes its cell without a button; the old buttons are gone.
    std::vector<WinId> old(grid.button, grid.button + 3);
    Run([&] { qualified = KitGridBuild(&grid, kTable, 5, layout, 0, 2); });
    EXPECT_EQ(qualified, 1);
    ASSERT_EQ(grid.count, 1);
    EXPECT_EQ((std::vector<int>{(int)grid.button[0], grid.command[0]}), (std::vector<int>{0, 3}));
    EXPECT_EQ(KitGridCommand(&grid, 0), -1) << "no sender is no disabled command";
    for (WinId w : old) EXPECT_FALSE(WinIsWindow(w));

    Run([&] { KitGridBuild(&grid, many, 4, layout, 1); });
    WinId kept = grid.button[0];
    Run([&] { KitGridClear(&grid); });
    EXPECT_EQ(grid.count, 0);
    EXPECT_FALSE(WinIsWindow(kept));
    EXPECT_TRUE(KitGridStale(&grid, 0, 0)) << "a cleared grid is built again for any counts";
}

TEST_F(PanelKit, DestroyForgetsTheIdAndForgetLeavesTheWindow)
{
    WinId a = 0, b = 0;
    Run([&] {
        a = KitButton(1, 1, 20, BUTTON_PUSH, "A");
        b = KitSwitch(1, 15, 20, "B", 1);
    });
    EXPECT_EQ(KitState(b), 1) << "a switch starts as asked";
    WinId copy = a;
    Run([&] { KitDestroy(&a); });
    EXPECT_EQ(a, 0);
    EXPECT_FALSE(WinIsWindow(copy));
    Run([&] { KitDestroy(&a); });   // nothing to destroy: no harm
    WinId kept = b;
    WinId* list[] = {&b};
    KitForget(list, 1);
    EXPECT_EQ(b, 0);
    EXPECT_TRUE(WinIsWindow(kept));
}

std::vector<std::string> picks;
void Clear(void) { picks.push_back("clear"); }
void Select(int id, int on) { picks.push_back(std::to_string(id) + (on ? "+" : "-")); }

TEST_F(PanelKit, APickReplacesTheSelectionUnlessMultAndADropOnlyDrops)
{
    const KitSelection s = {Clear, Select};
    picks.clear();
    KitPick(s, 0, 7, 1);
    KitPick(s, 1, 8, 1);
    KitPick(s, 0, 9, 0);
    EXPECT_EQ(picks, (V{"clear", "7+", "8+", "9-"}));
}

TEST_F(PanelKit, RectanglesAndClicks)
{
    int32_t r[4];
    KitRect(WinPack(300, 40), WinPack(-12, 200), r);
    EXPECT_EQ(V({std::to_string(r[0]), std::to_string(r[1]), std::to_string(r[2]), std::to_string(r[3])}),
              (V{"300", "40", "-12", "200"}));
    // A click; three pixels across is a drag, and so is three pixels up.
    const int32_t click[4] = {10, 10, 12, 8}, wide[4] = {10, 10, 13, 10}, tall[4] = {10, 10, 10, 7};
    EXPECT_EQ((std::vector<int>{KitRectIsClick(click, 3), KitRectIsClick(wide, 3), KitRectIsClick(tall, 3)}),
              (std::vector<int>{1, 0, 0}));
}

TEST_F(PanelKit, NumberFieldsReadASignAndDigitsAndClamp)
{
    struct Case {
        const char* text;
        int ok;
        int32_t value;
    } cases[] = {
        {" 42", 1, 42},          {"-17x", 1, -17},         {"+5", 1, 5},   {"x5", 0, 0},
        {"-", 0, 0},             {"", 0, 0},               {"\t9", 1, 9},  {"99999999999", 1, INT32_MAX},
        {"-99999999999", 1, INT32_MIN}, {"2147483647", 1, INT32_MAX}, {"-2147483648", 1, INT32_MIN},
    };
    for (const Case& c : cases) {
        int32_t v = 0;
        EXPECT_EQ(KitReadInt(c.text, &v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
    int32_t v = 3;
    EXPECT_EQ(KitReadInt(nullptr, &v), 0);
    char text[8];
    KitWriteInt(text, sizeof text, -250);
    EXPECT_STREQ(text, "-250");
}

TEST_F(PanelKit, DialogAnswers)
{
    WinParam enter = CH_ENTER, escape = CH_ESCAPE, other = 'a';
    EXPECT_EQ((std::vector<int>{KitDialogAnswer(WM_EDITENTER, nullptr), KitDialogAnswer(WM_EDITESCAPE, nullptr),
                                KitDialogAnswer(WM_KEY, &enter), KitDialogAnswer(WM_KEY, &escape),
                                KitDialogAnswer(WM_KEY, &other), KitDialogAnswer(WM_PRESSED, &enter)}),
              (std::vector<int>{KIT_OK, KIT_CANCEL, KIT_OK, KIT_CANCEL, KIT_NONE, KIT_NONE}));
}

}  // namespace
