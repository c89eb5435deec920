// The materials panel, its dialogs and the Scene Setup panel in the running editor.
#include <sys/stat.h>

#include "base/log.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "frontend/msgbox.h"
#include "frontend/panels.h"
#include "materials/mattest.h"
#include "palette/palm.h"
#include "palette/png.h"
#include "panels/matedit.h"
#include "panels/matpanel.h"
#include "panels/scenepanel.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "shapes/shapem_edit.h"
#include "toolkit/draw.h"

using nlohmann::json;

namespace {

// The Edit Material slider at a window y (Ambient 91 ... Red 151, Alpha 196), 0 when absent.
WinId SliderAt(WinId dialog, int y)
{
    for (WinId s : ChildrenOf(dialog, CLASS_SLIDER)) {
        int x, sy, w, h;
        WinGetRect(s, &x, &sy, &w, &h);
        if (sy == y) return s;
    }
    return 0;
}

class MatPanel : public Run {
protected:
    WinId panel = 0;
    // The Shape Editor with the materials panel open, and materials named A, B (index 1, 2).
    void Open(const std::string& ini = "")
    {
        if (!ini.empty()) WriteText("tolbex.ini", ini);
        StartEditor(EDITOR_SHAPE);
        MatMAdd(1);
        MatMSetName(1, "B");
        MatMAdd(1);
        MatMSetName(1, "A");
        panel = OpenPanel("Materials", CLASS_MATERIALS_PANEL);
        ASSERT_NE(panel, 0);
    }
    WinId EditDialog(int material)
    {
        MatMSetCurrent(material);
        ClickWindow(ChildrenOf(panel, CLASS_MAT_SWATCH).at(0));
        return MatEditWindow();
    }
};

}  // namespace

TEST(MatEditRules, SlidersAndPickerMapToValues)
{
    EXPECT_EQ(MatEditSliderPosition(0, MATEDIT_COEFF_MAX), 1);
    EXPECT_EQ(MatEditSliderPosition(16384, MATEDIT_COEFF_MAX), 16385);
    EXPECT_EQ(MatEditSliderPosition(20000, MATEDIT_COEFF_MAX), 16385) << "out of range: the nearest end";
    EXPECT_EQ(MatEditSliderPosition(-3, MATEDIT_COEFF_MAX), 1);
    EXPECT_EQ(MatEditSliderPosition(16384, MATEDIT_ALPHA_MAX), 16384);
    EXPECT_EQ(MatEditSliderValue(1), 0);
    EXPECT_EQ(MatEditSliderValue(16385), 16384);
    // 16 x 16 swatches of 8 x 2 pixels from (2, 7).
    EXPECT_EQ(MatEditPickerIndex(2, 7), 0);
    EXPECT_EQ(MatEditPickerIndex(9, 8), 0);
    EXPECT_EQ(MatEditPickerIndex(10, 7), 1);
    EXPECT_EQ(MatEditPickerIndex(129, 38), 255);
    EXPECT_EQ(MatEditPickerIndex(130, 7), -1);
    EXPECT_EQ(MatEditPickerIndex(2, 39), -1);
    EXPECT_EQ(MatEditPickerIndex(1, 7), -1);
    EXPECT_EQ(MatEditPickerIndex(2, 6), -1);
}

TEST(SceneRules, LabelsInDegreesAndTheLight)
{
    EXPECT_EQ(ScenePitchDegrees(8192), -45);
    EXPECT_EQ(ScenePitchDegrees(16384), -90);
    EXPECT_EQ(ScenePitchDegrees(181), 0) << "divided towards zero";
    EXPECT_EQ(ScenePitchDegrees(183), -1);
    EXPECT_EQ(SceneHeadingDegrees(16384), 0);
    EXPECT_EQ(SceneHeadingDegrees(8192), 180);
    EXPECT_EQ(SceneHeadingDegrees(16383), 359);
    EXPECT_EQ(SceneHeadingDegrees(45), 0);

    // Pitch 8192 sends the light down at 45 degrees; a quarter turn of heading points it along -x.
    SceneValues v = {{100, 200, 300}, {1000, 2000, 3000}, 8192, 0};
    int32_t ambient[3], distant[3];
    int16_t dir[3];
    SceneLight(&v, 0, ambient, dir, distant);
    EXPECT_EQ(ambient[2], 300);
    EXPECT_EQ(distant[0], 1000);
    EXPECT_EQ(dir[0], 0);
    EXPECT_NEAR(dir[1], -11585, 2);
    EXPECT_NEAR(dir[2], 11585, 2);
    v.heading = 4096;
    SceneLight(&v, 0, ambient, dir, distant);
    EXPECT_NEAR(dir[0], -11585, 2);
    EXPECT_NEAR(dir[2], 0, 2);
    SceneLight(&v, 1, ambient, dir, distant);
    EXPECT_EQ(ambient[1], 16384) << "full bright";
    EXPECT_EQ(distant[1], 0);
}

TEST_F(Run, SceneSetupShowsTheStoredValues)
{
    StartEditor(EDITOR_SHAPE);
    SceneValues v = *ScenePanelValues();
    EXPECT_EQ(v.pitch, 8192);
    EXPECT_EQ(v.ambient[0], 8192);
    v.heading = 16384;
    ScenePanelSetValues(&v);
    WinId scene = WinCreate(80, 30, 200, 300, WIN_DESKTOP, 11, CLASS_SCENE_PANEL);
    Turns(1);
    json d = DumpJson();
    for (const json& w : d["windows"]) {
        if (w["id"] != scene) continue;
        EXPECT_EQ(w["title"], "Scene Setup");
        EXPECT_EQ(w["texts"][6], "Light Pitch -45");
        EXPECT_EQ(w["texts"][7], "Light Heading 0");
        EXPECT_EQ(w["texts"][0], "Ambient Red 8192");
    }
    EXPECT_EQ(ChildrenOf(scene, CLASS_SLIDER).size(), 8u);
    // A press on the pitch slider's far end: the stored pitch follows, the panel closes on Ok.
    ClickWindow(ChildrenOf(scene, CLASS_SLIDER)[6], 78, 5);
    Turns(1);
    EXPECT_EQ(ScenePanelValues()->pitch, 16384);
    // Each slider its own value: pressed further along each, the values come out in order.
    std::vector<WinId> sliders = ChildrenOf(scene, CLASS_SLIDER);
    for (size_t i = 0; i < sliders.size(); i++) ClickWindow(sliders[i], 4 + 9 * (int)i, 5);
    Turns(1);
    const SceneValues* now = ScenePanelValues();
    const std::vector<int32_t> values = {now->ambient[0], now->ambient[1], now->ambient[2], now->distant[0],
                                         now->distant[1], now->distant[2], now->pitch,      now->heading};
    for (size_t i = 1; i < values.size(); i++) EXPECT_LT(values[i - 1], values[i]) << "slider " << i;
    ClickWindow(ButtonOf(scene, "Ok"));
    EXPECT_FALSE(WinIsWindow(scene));
}

TEST_F(MatPanel, ColourFollowsTheSliderInTheRenderTableAndOkWritesOnlyWhatMoved)
{
    Open();
    MatMSetAmbient(2, 0xFFFF);   // out of the slider's range: only a moved slider may change it
    MatMSetSpecular(2, 500);
    WinId dialog = EditDialog(2);
    ASSERT_NE(dialog, 0);
    EXPECT_STREQ(WinGetTitle(dialog), "Edit Material");
    ASSERT_NE(SliderAt(dialog, 151), 0);
    ClickWindow(SliderAt(dialog, 151), 144, 5);   // Red, far right
    EXPECT_EQ(GetI32(MatMRecord(2), MR_RED), 16383) << "16384 from the slider is stored as 16383";
    EXPECT_EQ(IntMatRed(2), 255) << "the render table follows at once";
    ClickWindow(SliderAt(dialog, 106), 3, 5);     // Specular, to 0
    EXPECT_EQ(GetI32(MatMRecord(2), MR_SPECULAR), 500) << "written only on Ok";
    ClickWindow(ButtonOf(dialog, "Ok"));
    EXPECT_FALSE(WinIsWindow(dialog));
    EXPECT_EQ(GetI32(MatMRecord(2), MR_SPECULAR), 0);
    EXPECT_EQ(GetI32(MatMRecord(2), MR_AMBIENT), 0xFFFF) << "an unmoved slider writes nothing";
    EXPECT_EQ(IntMatRed(2), 255);

    // Each slider writes its own field on Ok: pressed further along each, the fields come out in order.
    const size_t fields[] = {MR_AMBIENT, MR_SPECULAR, MR_DIFFUSE, MR_SI, MR_RED, MR_GREEN, MR_BLUE, MR_ALPHA};
    const int ys[] = {91, 106, 121, 136, 151, 166, 181, 196};
    auto values = [&] {
        std::vector<int32_t> out;
        for (size_t f : fields) out.push_back(GetI32(MatMRecord(2), f));
        return out;
    };
    dialog = EditDialog(2);
    for (int i = 0; i < 8; i++) ClickWindow(SliderAt(dialog, ys[i]), 20 + 14 * i, 5);
    ClickWindow(ButtonOf(dialog, "Ok"));
    std::vector<int32_t> placed = values();
    for (int i = 1; i < 8; i++) EXPECT_LT(placed[i - 1], placed[i]) << "slider at y " << ys[i];

    // Cancel: every field as it was, in the list and the render table.
    const Bytes record(MatMRecord(2), MatMRecord(2) + MAT_RECORD_SIZE);
    const std::vector<int> table = {IntMatRed(2), IntMatGreen(2), IntMatBlue(2), IntMatAlpha(2)};
    dialog = EditDialog(2);
    for (int y : ys) ClickWindow(SliderAt(dialog, y), 144, 5);
    EXPECT_EQ(IntMatAlpha(2), 16383);
    EXPECT_EQ(IntMatBlue(2), 255);
    ClickWindow(ButtonOf(dialog, "Cancel"));
    EXPECT_EQ(Bytes(MatMRecord(2), MatMRecord(2) + MAT_RECORD_SIZE), record);
    EXPECT_EQ((std::vector<int>{IntMatRed(2), IntMatGreen(2), IntMatBlue(2), IntMatAlpha(2)}), table);
}

TEST_F(MatPanel, ATexturedMaterialShowsNoColourUntilClearAndCancelGivesTheTextureBack)
{
    Open();
    WriteSprite("WOOD");
    MatMSetTexture(1, "WOOD");
    WinId dialog = EditDialog(1);
    EXPECT_EQ(ChildrenOf(dialog, CLASS_SLIDER).size(), 4u) << "the coefficients only";
    ClickWindow(ButtonOf(dialog, "Clear"));
    EXPECT_STREQ(MatMGetTexture(1), "");
    EXPECT_EQ(ChildrenOf(dialog, CLASS_SLIDER).size(), 8u) << "colour and alpha at once";
    ClickWindow(ButtonOf(dialog, "Cancel"));
    EXPECT_STREQ(MatMGetTexture(1), "WOOD");

    // Another panel in the materials panel's place closes the dialog and puts it back too.
    dialog = EditDialog(1);
    EXPECT_EQ(ChildrenOf(dialog, CLASS_SLIDER).size(), 4u) << "the last opening's colour sliders are long gone";
    ClickWindow(ButtonOf(dialog, "Clear"));
    OpenPanel("Mesh", CLASS_MESH_PANEL);
    Turns(1);
    EXPECT_FALSE(WinIsWindow(dialog));
    EXPECT_STREQ(MatMGetTexture(1), "WOOD");
}

TEST_F(MatPanel, ThePickerChoosesThePaletteIndexOnOk)
{
    Open("palsupport=1\n");
    MatMSetPalette(1, 5);
    WinId dialog = EditDialog(1);
    std::vector<WinId> pickers = ChildrenOf(dialog, CLASS_MAT_PICKER);
    ASSERT_EQ(pickers.size(), 1u);
    EXPECT_EQ(ChildrenOf(dialog, CLASS_SLIDER).size(), 5u) << "coefficients and alpha, no RGB";
    ClickWindow(pickers[0], 2 + 8 * 4 + 1, 7 + 2 * 1);   // row 1, column 4: colour 20
    EXPECT_EQ(MatMGetPalette(1), 5) << "not before Ok";
    ClickWindow(ButtonOf(dialog, "Ok"));
    EXPECT_EQ(MatMGetPalette(1), 20);
    EXPECT_EQ(IntMatPalette(1), 20);
}

TEST_F(MatPanel, ThePickerDrawsEachColourInsideItsOwnCellAndNothingPastTheGrid)
{
    Open("palsupport=1\n");
    MatMSetPalette(1, 0);   // the choice's outline on the first cell, far from the last row and column
    WinId dialog = EditDialog(1);
    std::vector<WinId> pickers = ChildrenOf(dialog, CLASS_MAT_PICKER);
    ASSERT_EQ(pickers.size(), 1u);
    Turns(1);
    WinParam region = 0, unused = 0;
    WinSendMessage(pickers[0], WM_REGION, &region, &unused);
    int ox = 0, oy = 0;
    WinGetAbsPos(pickers[0], &ox, &oy);
    ox += WinLo(region), oy += WinHi(region);
    auto at = [&](int x, int y) {
        uint8_t r, g, b;
        VideoReadPixel(ox + x, oy + y, &r, &g, &b);
        return (uint32_t)((r << 16) | (g << 8) | b);
    };
    // 16 x 16 cells of 8 x 2 pixels from (2, 7), ending at x 129 and y 38; background beyond.
    const uint32_t background = at(0, 0);
    int differing = 0;
    for (int row = 0; row < 16; row++) {
        int y = 7 + 2 * row;
        EXPECT_EQ(at(129, y + 1), at(122, y)) << "row " << row << ": the last cell is whole";
        EXPECT_EQ(at(130, y), background) << "row " << row << ": nothing right of the grid";
        differing += at(122, y) != background;
    }
    for (int column = 0; column < 16; column++) {
        int x = 2 + 8 * column;
        EXPECT_EQ(at(x + 7, 38), at(x, 37)) << "column " << column << ": the last cell is whole";
        EXPECT_EQ(at(x, 39), background) << "column " << column << ": nothing below the grid";
        differing += at(x, 37) != background;
    }
    EXPECT_GT(differing, 8) << "the cells must stand out from the background for this to tell";
}

TEST_F(MatPanel, TheDialogsLabelsAreDrawnBesideTheirControls)
{
    Open();
    WinId dialog = EditDialog(1);
    ASSERT_NE(dialog, 0);
    Turns(1);
    int ox = 0, oy = 0;
    WinGetAbsPos(dialog, &ox, &oy);
    // Text-coloured pixels in a label's box (window coordinates).
    auto ink = [&](int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++) {
                uint8_t r, g, b;
                VideoReadPixel(ox + x, oy + y, &r, &g, &b);
                n += (uint32_t)((r << 16) | (g << 8) | b) == VideoColourTable()[DrawTextColour()];
            }
        return n;
    };
    EXPECT_GT(ink(145, 21, 174, 30), 10) << "Name:";
    EXPECT_GT(ink(145, 37, 174, 46), 10) << "Tex:";
    EXPECT_GT(ink(11, 93, 55, 102), 10) << "Ambient";
    EXPECT_EQ(ink(11, 60, 55, 69), 0) << "no label where no control stands";
}

TEST_F(MatPanel, NamesAreRenamedOnlyToNamesNotInUse)
{
    Open();
    LogOpen("log.txt");
    WinId dialog = EditDialog(1);
    WinId name = ChildrenOf(dialog, CLASS_EDIT).at(0);
    SetFieldText(name, "b");
    ClickWindow(ButtonOf(dialog, "Ok"));
    EXPECT_TRUE(WinIsWindow(dialog)) << "refused: the dialog stays for another name";
    EXPECT_STREQ(MatMGetName(1), "A");
    TapKey(KEY_RETURN);
    SetFieldText(name, "C");
    ClickWindow(ButtonOf(dialog, "Ok"));
    EXPECT_STREQ(MatMGetName(1), "C");
    EXPECT_EQ(IntMatFind("C"), 1);
    EXPECT_EQ(MatPanelRename(0, "Other"), 0) << "the Dummy keeps its name";
    EXPECT_EQ(MatPanelRename(2, ""), 0);
    LogOpen(nullptr);
    std::string log = ReadText("log.txt");
    EXPECT_NE(log.find("MSGBOX \"Error\" \"Duplicate name.\""), std::string::npos) << log;
    EXPECT_NE(log.find("MSGBOX \"Error\" \"Illegal name.\""), std::string::npos) << log;
    TapKey(KEY_RETURN);
    TapKey(KEY_RETURN);
    EXPECT_EQ(MsgBoxWaitingCount(), 0);
}

TEST_F(MatPanel, SelectMaterialListsAThousandNamesAndOkWithoutAChoiceChangesNothing)
{
    std::vector<Mat> mats(1000);
    for (int i = 0; i < 1000; i++) {
        char n[16];
        snprintf(n, sizeof n, "Material %06d", i);
        mats[i] = {n, 0, 0, 0, 0, 16384, 16384};
    }
    mats[0].name = "Dummy";
    mats[7].name = "";
    WriteBytes("BIG.MAT", MatFile(mats));
    Open();
    ASSERT_EQ(MatMLoad("BIG.MAT"), 0);
    MatMSetCurrent(3);
    ClickWindow(ChildrenOf(panel, CLASS_MAT_NAME).at(0));
    WinId select = WinFindClass(CLASS_MAT_SELECT);
    ASSERT_NE(select, 0);
    ControlInfo c;
    ASSERT_TRUE(ControlDescribe(ChildrenOf(select, CLASS_LIST).at(0), &c));
    ResId items = c.list;
    ASSERT_EQ(ListCount(items), 1000);
    EXPECT_STREQ(ListGetItemText(items, 1000), "Material 000999");
    EXPECT_STREQ(ListGetItemText(items, 8), "(no name)");
    ClickWindow(ButtonOf(select, "Ok"));
    Turns(1);
    EXPECT_EQ(MatMCurrent(), 3) << "no line chosen: no Dummy either";
    EXPECT_FALSE(WinIsWindow(select));

    // A chosen line becomes current.
    ClickWindow(ChildrenOf(panel, CLASS_MAT_NAME).at(0));
    select = WinFindClass(CLASS_MAT_SELECT);
    ClickWindow(ChildrenOf(select, CLASS_LIST).at(0), 5, 9 + 4);   // line 2
    ClickWindow(ButtonOf(select, "Ok"));
    EXPECT_EQ(MatMCurrent(), 1);
}

TEST_F(MatPanel, SetAndGetChooseTheViewToolsAndTheViewTurnsSetOn)
{
    Open();
    WinId set = ButtonOf(panel, "Set"), get = ButtonOf(panel, "Get");
    ClickWindow(set);
    EXPECT_EQ(EditToolMode(), EDIT_TOOL_MATERIAL_SET);
    EXPECT_EQ(EditPickMode(), 2);
    ClickWindow(get);
    EXPECT_EQ(EditToolMode(), EDIT_TOOL_MATERIAL_GET);
    EXPECT_EQ(ControlState(set), 0);
    WinParam zero = 0, none = 0;
    WinSendMessage(panel, PANEL_MSG_MATERIAL, &zero, &none);
    EXPECT_EQ(EditToolMode(), EDIT_TOOL_MATERIAL_SET);
    EXPECT_EQ(ControlState(get), 0);
    ClickWindow(set);
    EXPECT_EQ(EditToolMode(), 0);

    // Stepping wraps both ways.
    MatMSetCurrent(0);
    ClickWindow(ButtonOf(panel, "<"));
    EXPECT_EQ(MatMCurrent(), 2);
    ClickWindow(ButtonOf(panel, ">"));
    EXPECT_EQ(MatMCurrent(), 0);
}

namespace {

// Each polygon's material name as Save writes it, and whether it is drawn with the Dummy for want of it.
struct PolygonMaterial {
    std::string name;
    bool dummy;
    bool operator==(const PolygonMaterial& o) const { return name == o.name && dummy == o.dummy; }
};
std::ostream& operator<<(std::ostream& os, const PolygonMaterial& m) { return os << m.name << (m.dummy ? "/dummy" : ""); }

std::vector<PolygonMaterial> PolygonMaterials()
{
    std::vector<uint8_t> copy(SHAPEM_BUFFER_SIZE);
    uint32_t size = 0;
    EXPECT_EQ(ShapeMPrepareCopy(copy.data(), (uint32_t)copy.size(), &size), 0);
    std::vector<PolygonMaterial> out;
    uint8_t* b = copy.data();
    uint8_t* edit = ShapeMEdit()->data;
    for (int i = 0; i < ShapePolygonCount(b); i++) {
        uint16_t value = GetU16(ShapePolygon(b, i), POLY_MATERIAL);
        std::string name = "<no entry>";
        for (int e = 0; e < ShapeNameCount(b); e++) {
            const uint8_t* entry = ShapeNames(b) + e * SHAPE_NAME_ENTRY_SIZE;
            if (GetU16(entry, NAME_ID) != value) continue;
            name.assign((const char*)entry + NAME_TEXT, SHAPE_NAME_CHARS);
            name.erase(name.find_last_not_of(' ') + 1);
            break;
        }
        out.push_back({name, (GetU16(ShapePolygon(edit, i), POLY_MATERIAL) & MAT_UNRESOLVED) != 0});
    }
    return out;
}

}  // namespace

TEST_F(MatPanel, PolygonsKeepTheirMaterialsByNameWhateverTheListDoes)
{
    Open();
    // Faces 0 to 2 in B, 3 in A, 4 and 5 in the Dummy; the undo copy is taken before 5 goes to A.
    ASSERT_EQ(MeshCreateCuboid(200, 200, 200), 0);
    for (int i = 0; i < 6; i++) MeshSetMaterial(i, i < 3 ? 2 : i == 3 ? 1 : 0);
    MeshSetMaterial(5, 1);
    const PolygonMaterial a{"A", false}, b{"B", false}, dummy{"DUMMY", false};
    ASSERT_EQ(PolygonMaterials(), (std::vector<PolygonMaterial>{b, b, b, a, dummy, a}));

    // "Add" in front of B moves B up one place; the polygons stay in B.
    MatMSetCurrent(2);
    ClickWindow(ButtonOf(panel, "Add"));
    ASSERT_STREQ(MatMGetName(3), "B");
    EXPECT_EQ(PolygonMaterials(), (std::vector<PolygonMaterial>{b, b, b, a, dummy, a}));
    EXPECT_EQ(GetU16(ShapePolygon(ShapeMEdit()->data, 0), POLY_MATERIAL), 3) << "drawn with B where B now is";

    // "Delete" of A: its polygons are drawn with the Dummy and keep its name.
    MatMSetCurrent(1);
    ClickWindow(ButtonOf(panel, "Delete"));
    ASSERT_EQ(MatMFind("A"), 0);
    const PolygonMaterial lostA{"A", true};
    EXPECT_EQ(PolygonMaterials(), (std::vector<PolygonMaterial>{b, b, b, lostA, dummy, lostA}));

    // A rename leaves the shape's names: B's polygons use the Dummy until a material is called B again.
    ASSERT_EQ(MatPanelRename(MatMCount() - 1, "C"), 1);
    const PolygonMaterial lostB{"B", true};
    EXPECT_EQ(PolygonMaterials(), (std::vector<PolygonMaterial>{lostB, lostB, lostB, lostA, dummy, lostA}));
    ASSERT_EQ(MatPanelRename(MatMCount() - 1, "B"), 1);
    EXPECT_EQ(PolygonMaterials(), (std::vector<PolygonMaterial>{b, b, b, lostA, dummy, lostA}));

    // Merging a file with A brings A's polygons back; Undo gives face 5 its Dummy again.
    WriteBytes("A.MAT", MatFile({{"Dummy"}, {"A", 0, 0, 0, 0, 16384, 16384}}));
    ClickWindow(ButtonOf(panel, "Merge"));
    ChooseInSelector("A.MAT");
    EXPECT_EQ(PolygonMaterials(), (std::vector<PolygonMaterial>{b, b, b, a, dummy, a}));
    ClickWindow(ButtonOf(WinFindClass(CLASS_SHAPE_MENU), "Undo"));
    EXPECT_EQ(PolygonMaterials(), (std::vector<PolygonMaterial>{b, b, b, a, dummy, dummy}));

    // A list without B leaves those polygons on the Dummy under B; one with B brings them back.
    WriteBytes("NOB.MAT", MatFile({{"Dummy"}, {"Z"}, {"A"}}));
    ClickWindow(ButtonOf(panel, "Load"));
    ChooseInSelector("NOB.MAT");
    EXPECT_EQ(PolygonMaterials(), (std::vector<PolygonMaterial>{lostB, lostB, lostB, a, dummy, dummy}));
    WriteBytes("B.MAT", MatFile({{"Dummy"}, {"B"}, {"Y"}}));
    ClickWindow(ButtonOf(panel, "Load"));
    ChooseInSelector("B.MAT");
    const PolygonMaterial lostA2{"A", true};
    EXPECT_EQ(PolygonMaterials(), (std::vector<PolygonMaterial>{b, b, b, lostA2, dummy, dummy}));
    EXPECT_EQ(GetU16(ShapePolygon(ShapeMEdit()->data, 0), POLY_MATERIAL), 1);
}


TEST_F(MatPanel, SaveOffersTheFileTheSettingsLoadedTheMaterialsFrom)
{
    ASSERT_EQ(mkdir("lists", 0755), 0);
    WriteBytes("lists/PAINT.MAT", MatFile({{"Dummy"}, {"Red Paint"}}));
    Open("materials=lists/PAINT.MAT\n");
    ASSERT_EQ(MatMFind("Red Paint"), 1);
    LogOpen("log.txt");
    ClickWindow(ButtonOf(panel, "Save"));
    ASSERT_NE(FileSelWindow(), 0);
    EXPECT_EQ(FieldText(ChildrenOf(FileSelWindow(), CLASS_EDIT).at(0)), "PAINT.MAT");
    LogOpen(nullptr);
    EXPECT_NE(ReadText("log.txt").find("/lists\" \"*.MAT\""), std::string::npos) << "in its own folder: " << ReadText("log.txt");
}

TEST_F(MatPanel, SaveOffersUntitledWhenTheSettingsFileDidNotLoad)
{
    WriteText("BROKEN.MAT", "no materials here");
    Open("materials=BROKEN.MAT\n");
    ClickWindow(ButtonOf(panel, "Save"));
    ASSERT_NE(FileSelWindow(), 0);
    EXPECT_EQ(FieldText(ChildrenOf(FileSelWindow(), CLASS_EDIT).at(0)), "UNTITLED.MAT");
}

TEST_F(MatPanel, ATextureThatCannotBeLoadedIsReportedOnceAndTheSwatchSaysItIsMissing)
{
    Open();
    WriteBytes("WOOD.SPR", Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0});
    MatMSetAmbient(1, 1000);
    MatMSetSpecular(1, 2000);
    LogOpen("log.txt");
    auto setTexture = [&](const char* name) {
        WinId dialog = EditDialog(1);
        ASSERT_NE(dialog, 0);
        SetFieldText(ChildrenOf(dialog, CLASS_EDIT).at(1), name);
        ClickWindow(ButtonOf(dialog, "Ok"));
        Turns(3);
        TapKey(KEY_RETURN);
        Turns(2);
    };
    setTexture("WOOD.SPR");
    // Adding a material rebuilds the table: the texture told of already is not told again.
    MatMSetCurrent(2);
    ClickWindow(ButtonOf(panel, "Add"));
    Turns(3);
    MatMSetCurrent(1);
    LogOpen(nullptr);
    EXPECT_EQ(LoggedBoxes("log.txt"), (std::vector<std::string>{
                           "MSGBOX \"File Error\" \"Texture WOOD.SPR (material A) cannot be loaded: it is a BMP picture, "
                           "not an SPR sprite.\""}));
    EXPECT_EQ(MsgBoxWaitingCount(), 0);
    // The material keeps its settings and the name of its texture; the swatch says it is missing.
    EXPECT_STREQ(MatMGetName(1), "A");
    EXPECT_STREQ(MatMGetTexture(1), "WOOD.SPR");
    EXPECT_EQ(IntMatAmbient(1), 1000);
    EXPECT_EQ(IntMatSpecular(1), 2000);
    json d = DumpJson();
    EXPECT_EQ((*Find(d, ClassText(CLASS_MAT_SWATCH)))["texts"], json::array({"Texture missing"}));

    // A name with no file; then a list with two such textures and one that loads: one box each.
    std::remove("log.txt");
    WriteSprite("GOOD.SPR");
    LogOpen("log.txt");
    setTexture("STONE.SPR");
    WriteBytes("TWO.MAT", MatFile({{"Dummy"}, {"Floor", 0, 0, 0, 0, 16384, 16384, 0, 0, "TILE.SPR"},
                                   {"Wall", 0, 0, 0, 0, 16384, 16384, 0, 0, "WOOD.SPR"},
                                   {"Good", 0, 0, 0, 0, 16384, 16384, 0, 0, "GOOD.SPR"}}));
    ClickWindow(ButtonOf(panel, "Load"));
    ChooseInSelector("TWO.MAT");
    Turns(3);
    TapKey(KEY_RETURN);
    Turns(2);
    LogOpen(nullptr);
    EXPECT_EQ(LoggedBoxes("log.txt"), (std::vector<std::string>{
                           "MSGBOX \"File Error\" \"Texture STONE.SPR (material A) cannot be loaded: there is no such file.\"",
                           "MSGBOX \"File Error\" \"2 textures cannot be loaded: TILE.SPR (there is no such file), WOOD.SPR "
                           "(it is a BMP picture, not an SPR sprite).\""}));

    // A material whose texture loads shows no note.
    MatMSetCurrent(3);
    ASSERT_STREQ(MatMGetName(3), "Good");
    ASSERT_NE(IntMatHandle(3), 0);
    d = DumpJson();
    EXPECT_TRUE((*Find(d, ClassText(CLASS_MAT_SWATCH)))["texts"].empty());
}

// "Tex:" takes a picture's path: it becomes an 8.3-named sprite (32-bit, or 8-bit in palette mode);
// an unusable picture or a name past 12 characters keeps the dialog open and the material as it was.
TEST_F(MatPanel, TheTextureFieldTakesAPicture)
{
    Open();
    LogOpen("log.txt");
    const uint8_t rgba[] = {200, 10, 30, 255, 1, 2, 252, 255, 0, 252, 0, 255, 90, 180, 250, 255};
    std::vector<uint8_t> png;
    ASSERT_TRUE(PngEncodeRgba(rgba, 2, 2, png));
    mkdir("pictures", 0755);
    WriteBytes("pictures/bricks-red.png", png);
    WriteText("broken.png", "no picture");
    const std::string longPath = "pictures/" + std::string(200, 'x') + ".png";
    WriteBytes(longPath, png);
    auto setTexture = [](WinId dialog, const std::string& text) { SetFieldText(ChildrenOf(dialog, CLASS_EDIT).at(1), text); };

    WinId dialog = EditDialog(1);
    setTexture(dialog, "broken.png");
    ClickWindow(ButtonOf(dialog, "Ok"));
    EXPECT_TRUE(WinIsWindow(dialog)) << "refused: the dialog stays";
    EXPECT_STREQ(MatMGetTexture(1), "");
    EXPECT_FALSE(PathExists("BROKEN.SPR"));
    TapKey(KEY_RETURN);
    setTexture(dialog, "THIRTEENCHARS");
    ClickWindow(ButtonOf(dialog, "Ok"));
    EXPECT_TRUE(WinIsWindow(dialog));
    EXPECT_STREQ(MatMGetTexture(1), "") << "nothing cut silently";
    TapKey(KEY_RETURN);
    // A path longer than the record's name: the field holds it whole.
    setTexture(dialog, longPath);
    ClickWindow(ButtonOf(dialog, "Ok"));
    EXPECT_FALSE(WinIsWindow(dialog));
    EXPECT_STREQ(MatMGetTexture(1), "XXXXXXXX.SPR");
    TapKey(KEY_RETURN);

    // True colour: a 32-bit sprite with every pixel.
    dialog = EditDialog(2);
    setTexture(dialog, "pictures/bricks-red.png");
    ClickWindow(ButtonOf(dialog, "Ok"));
    EXPECT_STREQ(MatMGetTexture(2), "BRICKS-R.SPR");
    Bytes spr = ReadBytes("BRICKS-R.SPR");
    ASSERT_EQ(spr.size(), 32u + 16 + 4);
    EXPECT_EQ(0, memcmp(spr.data(), "BGRS", 4));
    EXPECT_EQ(GetU32(spr.data(), 32), 0xFFC80A1Eu);
    EXPECT_EQ(GetU32(spr.data(), 36), 0xFF0102FCu);
    TapKey(KEY_RETURN);
    // The name is taken now: the next picture of that name gets another.
    dialog = EditDialog(1);
    setTexture(dialog, "pictures/bricks-red.png");
    ClickWindow(ButtonOf(dialog, "Ok"));
    EXPECT_STREQ(MatMGetTexture(1), "BRICKS~1.SPR");
    TapKey(KEY_RETURN);
    LogOpen(nullptr);
    std::string log = ReadText("log.txt");
    EXPECT_NE(log.find("MSGBOX \"Error\" \"broken.png cannot be used as a texture: it is no PNG"), std::string::npos) << log;
    EXPECT_NE(log.find("MSGBOX \"Error\" \"A texture is a sprite name of at most 12 characters"), std::string::npos) << log;
    EXPECT_NE(log.find("MSGBOX \"Texture\" \"bricks-red.png became the sprite BRICKS-R.SPR in the working folder "
                       "(the materials have no file yet).\""),
              std::string::npos)
        << log;
    EXPECT_EQ(MsgBoxWaitingCount(), 0);
}

TEST_F(MatPanel, InPaletteModeAPictureBecomesAnEightBitSprite)
{
    // A working palette of four colours: black, red, green, blue.
    Bytes pal = {0, 0, 4, 0, 0, 0, 0, 63, 0, 0, 0, 63, 0, 0, 0, 63};
    pal.resize(PAL_FILE_SIZE, 0);
    WriteBytes("FOUR.PAL", pal);
    Open("palsupport=1\npalette=FOUR.PAL\n");
    ASSERT_EQ(GetI16(PalMBlock(), 2), 4) << "the settings loaded the palette";
    const uint8_t rgba[] = {250, 5, 5, 255, 5, 5, 250, 255, 0, 0, 0, 255, 5, 240, 5, 255};
    std::vector<uint8_t> png;
    ASSERT_TRUE(PngEncodeRgba(rgba, 2, 2, png));
    WriteBytes("quad.png", png);
    // Dropped on the window while the dialog is open: the picture goes into "Tex:".
    WinId dialog = EditDialog(1);
    PlatDropFile("quad.png");
    Turns(1);
    ClickWindow(ButtonOf(dialog, "Ok"));
    EXPECT_STREQ(MatMGetTexture(1), "QUAD.SPR");
    Bytes spr = ReadBytes("QUAD.SPR");
    ASSERT_GE(spr.size(), 52u);
    EXPECT_EQ(0, memcmp(spr.data(), "TRPS", 4));
    EXPECT_EQ((Bytes{1, 3, 0, 2}), Bytes(spr.begin() + 48, spr.begin() + 52));
    TapKey(KEY_RETURN);
}
