// The Object panel's dialogs, and the Polygons, Vertices and Sorting panels, in process. The
// file operations are followed end to end in tests/e2e/shapeedit_test.cpp.
#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "shapeedit/objdlg.h"
#include "shapeedit/panels.h"

namespace {

class ObjectPanel : public Panels {
protected:
    WinId panel = 0;
    void SetUp() override
    {
        Panels::SetUp();
        ASSERT_EQ(MeshCreateCuboid(200, 200, 200), 0);
        Click("Object");
        panel = WinFindClass(CLASS_OBJECT_PANEL);
        ASSERT_NE(panel, 0);
    }
    // Opens a dialog from its button; its window and fields.
    WinId Open(const char* button, uint32_t cls, std::vector<WinId>* fields)
    {
        Click(button, panel);
        WinId d = WinFindClass(cls);
        if (d) *fields = Fields(d);
        return d;
    }
};

}  // namespace

TEST_F(ObjectPanel, ParametersAcceptZeroTo180AndKeepTheDialogOpenOtherwise)
{
    std::vector<WinId> f;
    WinId d = Open("Parms", CLASS_OBJECT_PARMS, &f);
    ASSERT_NE(d, 0);
    json d0 = Dump();
    const json* shown = Find(d0, "0x1023");
    EXPECT_EQ((*shown)["x"], 50);
    EXPECT_EQ((*shown)["y"], 43);
    EXPECT_EQ((*shown)["title"], "Object Parameters");
    EXPECT_EQ(WinFocus(), f[0]);
    Fill(f[0], "181");
    Key(KEY_RETURN);
    EXPECT_TRUE(WinIsWindow(d)) << "181 is refused";
    EXPECT_EQ(WinFocus(), f[0]);
    EXPECT_EQ(GetI16(B(), SH_MAXANGLE), 0);
    Fill(f[0], "180");
    Key(KEY_RETURN);
    EXPECT_FALSE(WinIsWindow(d));
    EXPECT_EQ(GetI16(B(), SH_MAXANGLE), 32767) << "180 does not wrap to -32768";
    d = Open("Parms", CLASS_OBJECT_PARMS, &f);
    ControlInfo field;
    ASSERT_TRUE(ControlDescribe(f.at(0), &field));
    EXPECT_STREQ(field.text, "180") << "the dialog shows the stored angle";
    Key(KEY_ESCAPE);
    EXPECT_FALSE(WinIsWindow(d));
}

TEST_F(ObjectPanel, ScaleStopsAtAFieldThatIsNoNumberAndIsOneUndoStep)
{
    Bytes before = Used();
    std::vector<WinId> f;
    WinId d = Open("Scale", CLASS_OBJECT_SCALE, &f);
    ASSERT_EQ(f.size(), 4u);
    Fill(f[0], "200");
    Fill(f[1], "150");
    Fill(f[2], "abc");
    Fill(f[3], "300");
    Click("Ok", d);
    EXPECT_FALSE(WinIsWindow(d));
    // Corner 1 at (100, -100, -100): x 100 x 32750 >> 14 = 199, then 199 x 24562 >> 14 = 298;
    // y and z -100 x 32750 >> 14 = -200; Z is past the field that is no number.
    EXPECT_EQ(Pos(1), (Vec{298, -200, -200}));
    ShapeMUndo();
    EXPECT_EQ(Used(), before);

    // A dialog goes with its panel.
    d = Open("Create", CLASS_CREATE_OBJECT, &f);
    ASSERT_NE(d, 0);
    Click("Mesh");
    EXPECT_FALSE(WinIsWindow(d));
}

TEST_F(Panels, ToolPanelsChooseTheViewsToolAndSortingEditsTheFlag)
{
    Click("Polygons");
    WinId polygons = WinFindClass(CLASS_POLYGONS_PANEL);
    Click("Combine", polygons);
    EXPECT_EQ(EditToolMode(), 7);
    EXPECT_EQ(EditPickMode(), 34);
    Click("Invert", polygons);
    EXPECT_EQ(EditToolMode(), 19);
    EXPECT_EQ(EditPickMode(), 2);
    json d = Dump();
    EXPECT_EQ((*Find(d, "0x201", "Combine"))["state"], 0) << "one tool lit at a time";
    EXPECT_EQ((*Find(d, "0x201", "Invert"))["x"], 178);

    Click("Vertices");
    WinId vertices = WinFindClass(CLASS_VERTICES_PANEL);
    Click("Name", vertices);
    EXPECT_EQ(EditToolMode(), 36);
    EXPECT_EQ(EditPickMode(), 0x805);
    Click("PlaneXZ", vertices);
    EXPECT_EQ(EditToolMode(), 35);
    EXPECT_EQ(EditPickMode(), 5);

    Click("Sorting");
    WinId sorting = WinFindClass(CLASS_SORTING_PANEL);
    Click("No Sort", sorting);
    EXPECT_EQ(GetU16(B(), SH_NOSORT), 1);
    Click("Undo");
    Turns(1);
    EXPECT_EQ(GetU16(B(), SH_NOSORT), 0);
    json after = Dump();
    EXPECT_EQ((*Find(after, "0x201", "No Sort"))["state"], 0) << "the box follows the shape";
    Send(Id("0x201", "Make Sort"), WM_SETSTATE, 1, 0);
    EXPECT_TRUE(EditorRequestPending(REQUEST_SORT));
}
