// Every label and value the Shape Editor's panels and dialogs write can be read whole at both
// screen sizes: no text cut by its window's edge or lying under one of its controls, with
// values as wide as they come (counts of ten thousand, light levels of 16384, long names).
#include "frontend/menubar.h"
#include "kernel/app.h"
#include "panels/matedit.h"
#include "materials/matm.h"
#include "panels/scenepanel.h"
#include "shapeedit/mapping.h"
#include "shapeedit/meshpanel.h"
#include "panels/matpanel.h"
#include "shapeedit/objdlg.h"
#include "shapeedit/panels.h"

namespace {

class Readable : public Run, public EditBuffer, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override
    {
        WriteText("tolbex.ini", "palsupport=1\n");
        Start();
        TurnUntil(RUN_LAUNCHER);
        AppSetEditorMode(EDITOR_SHAPE);
        for (int i = 0; i < 20 && AppRunState() != RUN_START_EDITOR; i++) ASSERT_EQ(AppLoopTurn(), 0);
        AppSetResolution(GetParam());
        TurnUntil(RUN_EDITOR);
        Turns(2);
        // Ten thousand of each, every one selected: the Mesh panel's widest counts.
        for (int i = 0; i < 10000; i++) V(i % 100, i / 100, 0);
        std::vector<uint16_t> triangle = {0, 1, 100};
        for (int i = 0; i < 10000; i++) ShapeAppendPolygon(S(), 3, triangle.data(), 0);
        MeshSelectAllPolygons(1);
        MeshSelectAllVertices(1);
        MatMAdd(1);
        MatMSetName(1, "Fifteen Letters");
        MatMSetCurrent(1);
        SetView(VIEW_FRONT);
        Turns(2);
    }
    // What cannot be read once a window is open and drawn.
    static std::vector<std::string> Unreadable()
    {
        Turns(2);
        json d = DumpJson();
        return UnreadableTexts(d);
    }
    static void Entry(const char* label) { ClickWindow(ButtonOf(WinFindClass(CLASS_SHAPE_MENU), label)); }
};

}  // namespace

TEST_P(Readable, ThePanels)
{
    for (const char* entry : {"Mesh", "Object", "Polygons", "Vertices", "Sorting", "Materials", "Palette"}) {
        Entry(entry);
        EXPECT_EQ(Unreadable(), std::vector<std::string>{}) << entry;
    }
}

TEST_P(Readable, TheDialogs)
{
    Entry("Materials");
    ASSERT_NE(MatEditOpen(1), 0);
    EXPECT_EQ(Unreadable(), std::vector<std::string>{}) << "Edit Material";
    Entry("Materials");
    ClickWindow(ChildrenOf(WinFindClass(CLASS_MATERIALS_PANEL), CLASS_MAT_NAME).at(0));
    EXPECT_EQ(Unreadable(), std::vector<std::string>{}) << "Select Material";
    TapKey(KEY_ESCAPE);
    Entry("Object");
    for (const char* button : {"Create", "Scale", "Parms"}) {
        ClickWindow(ButtonOf(WinFindClass(CLASS_OBJECT_PANEL), button));
        EXPECT_EQ(Unreadable(), std::vector<std::string>{}) << button;
        TapKey(KEY_ESCAPE);
    }
    Entry("Mesh");
    Turns(1);
    ClickWindow(ButtonOf(WinFindClass(CLASS_MESH_PANEL), "Trf"));
    EXPECT_EQ(Unreadable(), std::vector<std::string>{}) << "Mesh Transform";
    TapKey(KEY_ESCAPE);
    // The view's own windows; the lights at their brightest, the pitch at its steepest.
    ClickWindow(ButtonOf(EditorView(), "V"));
    EXPECT_EQ(Unreadable(), std::vector<std::string>{}) << "View Setup";
    ClickWindow(ButtonOf(WinFindClass(CLASS_VIEW_SETUP), "Ok"));
    SceneValues v = {{16384, 16384, 16384}, {16384, 16384, 16384}, 16384, 8192};
    ScenePanelSetValues(&v);
    ClickWindow(ButtonOf(EditorView(), "S"));
    EXPECT_EQ(Unreadable(), std::vector<std::string>{}) << "Scene Setup";
    ClickWindow(ButtonOf(WinFindClass(CLASS_SCENE_PANEL), "Ok"));
    // The mapping window with a point past the texture's right edge selected.
    const int16_t uv[6] = {17203, 8192, 0, 0, 0, 16384};
    ASSERT_EQ(MeshSetMapping(0, uv), 0);
    WinId mapping = MappingOpen(0, 0);
    ASSERT_NE(mapping, 0);
    EXPECT_EQ(Unreadable(), std::vector<std::string>{}) << "Mapping Coordinates";
}

INSTANTIATE_TEST_SUITE_P(BothSizes, Readable, ::testing::Values(RESOLUTION_800, RESOLUTION_640));
