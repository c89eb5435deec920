// Escape cancels dialogs with "Cancel" and closes those with only "Ok", whatever was clicked last.
#include "base/bytes.h"
#include "frontend/editor.h"
#include "frontend/menubar.h"
#include "frontend/panels.h"
#include "panels/matedit.h"
#include "materials/matm.h"
#include "panels/matpanel.h"
#include "panels/scenepanel.h"
#include "world/worldm.h"
#include "world/wle.h"
#include "world/worldm.h"
#include "world/worldm_fixture.h"
#include "worldedit/editshapes.h"

namespace {

class DialogKeys : public Run {
protected:
    // The Shape Editor with the Materials panel open and a material "A" current.
    WinId OpenMaterials()
    {
        StartEditor(EDITOR_SHAPE);
        MatMAdd(1);
        MatMSetName(1, "A");
        MatMSetCurrent(1);
        WinId panel = OpenPanel("Materials", CLASS_MATERIALS_PANEL);
        EXPECT_NE(panel, 0);
        return panel;
    }
    static WinId ViewButton(const char* label) { return ButtonOf(EditorView(), label); }
};

}  // namespace

TEST_F(DialogKeys, EscapeCancelsEditMaterialFromTheDialogAFieldOrASlider)
{
    WinId panel = OpenMaterials();
    int32_t red = GetI32(MatMRecord(1), MR_RED);
    // Escape just after opening, after a click on a field, after a slider (which takes no keys) moved.
    for (int way = 0; way < 3; way++) {
        ClickWindow(ChildrenOf(panel, CLASS_MAT_SWATCH).at(0));
        WinId dialog = MatEditWindow();
        ASSERT_NE(dialog, 0) << way;
        if (way == 1) ClickWindow(ChildrenOf(dialog, CLASS_EDIT).at(0));
        if (way == 2) {
            // The Red slider's far end: the colour follows at once, Escape puts it back.
            for (WinId s : ChildrenOf(dialog, CLASS_SLIDER)) {
                int x, y, w, h;
                WinGetRect(s, &x, &y, &w, &h);
                if (y == 151) ClickWindow(s, w - 3, 5);
            }
            ASSERT_NE(GetI32(MatMRecord(1), MR_RED), red);
        }
        TapKey(KEY_ESCAPE);
        EXPECT_EQ(MatEditWindow(), 0) << way;
        EXPECT_EQ(GetI32(MatMRecord(1), MR_RED), red) << way;
    }
}

TEST_F(DialogKeys, SelectMaterialTypingReplacesThePickedNameAndEscapeCancels)
{
    WinId panel = OpenMaterials();
    MatMAdd(1);
    MatMSetName(1, "B");   // B at 1, A at 2
    ClickWindow(ChildrenOf(panel, CLASS_MAT_NAME).at(0));
    WinId select = WinFindClass(CLASS_MAT_SELECT);
    ASSERT_NE(select, 0);
    WinId field = ChildrenOf(select, CLASS_EDIT).at(0);
    ClickWindow(ChildrenOf(select, CLASS_LIST).at(0), 5, 9 + 4);   // line 2, "B"
    EXPECT_EQ(FieldText(field), "B");
    EXPECT_EQ(WinFocus(), field) << "the keys go to the name";
    TapKey(KEY_C);
    TapKey(KEY_D);
    EXPECT_EQ(FieldText(field), "cd") << "the picked name is replaced, not added to";
    ClickWindow(ButtonOf(select, "Rename"));
    EXPECT_STREQ(MatMGetName(1), "cd");

    // Escape from the field, and after a click on the list, cancels.
    TapKey(KEY_ESCAPE);
    EXPECT_EQ(WinFindClass(CLASS_MAT_SELECT), 0);
    ClickWindow(ChildrenOf(panel, CLASS_MAT_NAME).at(0));
    select = WinFindClass(CLASS_MAT_SELECT);
    ClickWindow(ChildrenOf(select, CLASS_LIST).at(0), 5, 4);
    ClickWindow(ButtonOf(select, "Rename"), 2, 2);   // refused: the Dummy; a box comes
    TapKey(KEY_RETURN);
    ClickWindow(ChildrenOf(select, CLASS_LIST).at(0), 5, 9 + 9 + 4);
    TapKey(KEY_ESCAPE);
    EXPECT_EQ(WinFindClass(CLASS_MAT_SELECT), 0);
    EXPECT_EQ(MatMCurrent(), 1) << "cancelled: the current material stays";
}

TEST_F(DialogKeys, EscapeClosesTheViewsSetupPanels)
{
    StartEditor(EDITOR_SHAPE);
    // Scene Setup and View Setup have only "Ok": Escape closes them, also after a slider or list.
    const struct { const char* button; uint32_t cls; int clickChild; } windows[] = {
        {"S", CLASS_SCENE_PANEL, 0}, {"S", CLASS_SCENE_PANEL, CLASS_SLIDER},
        {"V", CLASS_VIEW_SETUP, 0},  {"V", CLASS_VIEW_SETUP, CLASS_LIST},
    };
    for (const auto& w : windows) {
        ClickWindow(ViewButton(w.button));
        WinId window = WinFindClass(w.cls);
        ASSERT_NE(window, 0) << w.button;
        if (w.clickChild) ClickWindow(ChildrenOf(window, (uint32_t)w.clickChild).at(0), 5, 5);
        TapKey(KEY_ESCAPE);
        EXPECT_EQ(WinFindClass(w.cls), 0) << w.button << " " << w.clickChild;
    }
}

TEST_F(DialogKeys, EscapeClosesRotateShapesAtOnceAndAfterATurn)
{
    StartEditor(EDITOR_WORLD);
    ASSERT_TRUE(WriteBytes("ROCK.SHP", BoxShape(-10, -20, -30, 10, 20, 30)));
    uint16_t rock = (uint16_t)WorldMAddShape("ROCK.SHP", 100, 0, 100, Name4("ROCK"));
    ASSERT_GT(rock, 0);
    WorldMSelectShape(rock);
    Turns(1);
    WinId panel = WinFindClass(CLASS_EDIT_SHAPES_PANEL);
    ASSERT_NE(panel, 0);
    for (int turnFirst = 0; turnFirst < 2; turnFirst++) {
        ClickWindow(ButtonOf(panel, "Rotate"));
        WinId dialog = WinFindClass(CLASS_ROTATE_SHAPES);
        ASSERT_NE(dialog, 0);
        if (turnFirst) ClickWindow(ButtonOf(dialog, ">>"));
        TapKey(KEY_ESCAPE);
        EXPECT_EQ(WinFindClass(CLASS_ROTATE_SHAPES), 0) << turnFirst;
    }
    EXPECT_EQ(GetI16(WorldMShapeFindData(rock), WS_YAW), 1024) << "the turn made stays: each is done at once";
}
