// The palette panel: the grid's hit test, the fields, and what renderer and materials see of a change.
#include "frontend/filesel.h"
#include "frontend/menubar.h"
#include "frontend/panels.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "palette/iff.h"
#include "palette/palm.h"
#include "panels/palpanel.h"
#include "render/pixpack.h"

#include <algorithm>

using nlohmann::json;

TEST(PalPanelGrid, PointsMapToColoursAndNothingPastTheLastColumnOrRow)
{
    EXPECT_EQ(PalPanelGridIndex(2, 2), 0);
    EXPECT_EQ(PalPanelGridIndex(5, 6), 0);
    EXPECT_EQ(PalPanelGridIndex(6, 7), 33);
    EXPECT_EQ(PalPanelGridIndex(129, 2), 31);
    EXPECT_EQ(PalPanelGridIndex(130, 2), PALGRID_NONE) << "would be column 32: the next row's first colour";
    EXPECT_EQ(PalPanelGridIndex(133, 2), PALGRID_NONE);
    EXPECT_EQ(PalPanelGridIndex(2, 41), 224);
    EXPECT_EQ(PalPanelGridIndex(129, 41), 255);
    EXPECT_EQ(PalPanelGridIndex(2, 42), PALGRID_NONE);
    EXPECT_EQ(PalPanelGridIndex(1, 2), PALGRID_NONE);
    EXPECT_EQ(PalPanelGridIndex(2, 1), PALGRID_NONE);
}

namespace {

class PalPanel : public Run {
protected:
    WinId panel = 0, grid = 0;
    void SetUp() override
    {
        WriteText("tolbex.ini", "palsupport=1\n");
        StartEditor(EDITOR_SHAPE);
        for (int i = 0; i < 16; i++) PalMSetColour(i, i, 2 * i, 3 * i);
        panel = OpenPanel("Palette", CLASS_PALETTE_PANEL);
        ASSERT_NE(panel, 0);
        grid = ChildrenOf(panel, CLASS_PALETTE_GRID).at(0);
    }
    void Pick(int index, bool right = false)
    {
        int x = 0, y = 0;
        WinGetAbsPos(grid, &x, &y);
        x += 3 + 4 * (index % 32);
        y += 3 + 5 * (index / 32);
        InputMessageHook(nullptr, NM_MOUSEMOVE, 0, (int32_t)(((uint32_t)y << 16) | (uint32_t)x));
        InputMessageHook(nullptr, right ? NM_RBUTTONDOWN : NM_LBUTTONDOWN, 0, 0);
        Turns(1);
        InputMessageHook(nullptr, right ? NM_RBUTTONUP : NM_LBUTTONUP, 0, 0);
        Turns(1);
    }
    std::string Field(int i) { return FieldText(ChildrenOf(panel, CLASS_EDIT).at(i)); }
};

}  // namespace

TEST_F(PalPanel, AnEditedColourReachesTheRendererAndPaletteMaterials)
{
    MatMAdd(1);
    MatMSetPalette(1, 7);
    Pick(7);
    EXPECT_EQ(Field(0), "7");
    EXPECT_EQ(Field(2), "21");
    // The user types a new red: backspace, then 5 and 0.
    ClickWindow(ChildrenOf(panel, CLASS_EDIT).at(0), 60);
    TapKey(KEY_BACK);
    TapKey(KEY_1 + 4);
    TapKey(KEY_0);
    int r, g, b;
    PalMGetColour(7, &r, &g, &b);
    EXPECT_EQ(r, 50);
    EXPECT_EQ(g, 14);
    EXPECT_EQ((PixPackCurrent()->palette[7] >> 16) & 0xFF, 200u) << "the rasteriser's copy";
    EXPECT_EQ(IntMatRed(1), 200) << "a palette material takes its entry's new colour";
    EXPECT_EQ(IntMatRed(0), 160) << "the Dummy keeps the settings' grey";
}

TEST_F(PalPanel, ImportFillsARangeChosenBackwards)
{
    Bytes lbm = ReadBytes(std::string(TOLBEX_FIXTURES) + "/real/FC.LBM");
    uint8_t cmap[256 * 3];
    int colours = 0;
    ASSERT_EQ(IffGetPalette(lbm.data(), lbm.size(), cmap, &colours), 1);
    ASSERT_GE(colours, 6);
    // From colour 9 back to colour 4: six colours from 4 on.
    Pick(9);
    Pick(4, true);
    ClickWindow(ButtonOf(panel, "Import"));
    ASSERT_NE(FileSelWindow(), 0);
    std::string path = std::string(TOLBEX_FIXTURES) + "/real/FC.LBM";
    WinParam p1 = (WinParam)path.c_str(), p2 = 0;
    WinSendMessage(panel, FILESEL_CHOSEN, &p1, &p2);
    for (int i = 4; i <= 10; i++) {
        int r, g, b;
        PalMGetColour(i, &r, &g, &b);
        if (i == 10) {
            EXPECT_EQ(r, 10) << "past the range";
            continue;
        }
        EXPECT_EQ(r, cmap[3 * (i - 4)] >> 2) << i;
        EXPECT_EQ(b, cmap[3 * (i - 4) + 2] >> 2) << i;
    }
}

namespace {

// The status lines the view drew last, as the dump reports them.
std::vector<std::string> ViewStatus()
{
    json d = DumpJson();
    for (const json& w : d["windows"])
        if (w["class"] == ClassText(CLASS_VIEW)) return w.value("texts", std::vector<std::string>{});
    return {};
}

bool Shows(const std::vector<std::string>& lines, const std::string& text)
{
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

}  // namespace

TEST_F(PalPanel, TheViewsStatusLineFollowsTheGrid)
{
    Turns(1);
    EXPECT_TRUE(Shows(ViewStatus(), "Current Colour: 0")) << DumpText();
    Pick(37);
    Turns(1);
    EXPECT_TRUE(Shows(ViewStatus(), "Current Colour: 37"));
    Pick(70, true);
    Turns(1);
    EXPECT_TRUE(Shows(ViewStatus(), "Current Range: 37-70"));
    // A range chosen backwards reads as the grid holds it: start, then end.
    Pick(200);
    Pick(5, true);
    Turns(1);
    EXPECT_TRUE(Shows(ViewStatus(), "Current Range: 200-5"));
}

// "C" copies the picked range, "P" pastes it at the colour picked; "Load" takes a file's colours.
TEST_F(PalPanel, CopyPasteAndLoad)
{
    auto colour = [](int i) {
        int r, g, b;
        PalMGetColour(i, &r, &g, &b);
        return std::vector<int>{r, g, b};
    };
    ASSERT_EQ(PalMSave("SAVED.PAL"), 0);
    Pick(1);
    Pick(2, true);
    ClickWindow(ButtonOf(panel, "C"));
    Pick(8);
    ClickWindow(ButtonOf(panel, "P"));
    EXPECT_EQ(colour(8), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(colour(9), (std::vector<int>{2, 4, 6}));
    EXPECT_EQ(colour(10), (std::vector<int>{10, 20, 30})) << "past the two copied";
    ClickWindow(ButtonOf(panel, "Load"));
    ChooseInSelector(dir.file("SAVED.PAL"));
    EXPECT_EQ(colour(8), (std::vector<int>{8, 16, 24}));
}
