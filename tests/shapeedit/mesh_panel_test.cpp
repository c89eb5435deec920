// The Mesh panel: its command grid's rules, the selection the view's messages make, and the
// commands wired to their operations.
#include "frontend/editstate.h"
#include "frontend/filesel.h"
#include "frontend/menubar.h"
#include "shapeedit/mapping.h"
#include "shapeedit/meshpanel.h"
#include "shapeedit/panels.h"

namespace {

std::vector<std::string> GridFor(int polygons, int vertices)
{
    const char* labels[MESHP_GRID_MAX];
    int n = MeshPanelGrid(polygons, vertices, labels);
    return std::vector<std::string>(labels, labels + n);
}

typedef std::vector<std::string> Labels;

// A 200-unit cube: corner i has the high X, Y, Z for its bits 0, 1, 2; polygon 5 is the -Z
// face (0, 2, 3, 1).
class MeshPanel : public Panels {
protected:
    WinId panel = 0;
    void SetUp() override
    {
        Panels::SetUp();
        ASSERT_EQ(MeshCreateCuboid(200, 200, 200), 0);
        panel = WinFindClass(CLASS_MESH_PANEL);
        ASSERT_NE(panel, 0);
        Turns(1);
    }
    void Polygon(int index, int on) { Send(panel, MESHP_POLYGON, index, on); }
    void Vertex(int index, int on) { Send(panel, MESHP_VERTEX, index, on); }
    // The grid's buttons: the panel's buttons 28 wide.
    Labels Grid()
    {
        Labels out;
        json d = Dump();
        for (const json& w : d["windows"])
            if (w["parent"] == panel && w["class"] == "0x201" && w["width"] == 28) out.push_back(w["label"]);
        return out;
    }
};

}  // namespace

TEST(MeshGrid, TheRulesTableDecidesWhatIsShownInTableOrder)
{
    // One polygon and four vertices: by the rules "Set", "Dbl", "Hid", "Inv" and "Mrk" want no
    // vertex selected, and "Pln" accepts one polygon with vertices.
    EXPECT_EQ(GridFor(1, 4), (Labels{"Tex", "Del", "Pln", "Mve", "Exp", "Cpy", "Trf"}));
    EXPECT_EQ(GridFor(1, 0), (Labels{"Del", "Set", "Dbl", "Hid", "Inv", "Map", "Exp", "Cpy", "Trf", "Mrk"}));
    EXPECT_EQ(GridFor(2, 0), (Labels{"Del", "Set", "Dbl", "Hid", "Inv", "Exp", "Cpy", "Trf", "Hle", "Mrk"}));
    EXPECT_EQ(GridFor(1, 1), (Labels{"Del", "Pln", "Mve", "Exp", "Cpy", "Trf", "Rem"}));
    EXPECT_EQ(GridFor(0, 1), (Labels{"Del", "X0", "Ctr", "CtY", "Mve", "Exp", "Cpy", "Trf"}));
    EXPECT_EQ(GridFor(0, 2), (Labels{"Del", "Int", "X0", "Mrg", "Mve", "Exp", "Cpy", "Trf"}));
    EXPECT_EQ(GridFor(0, 3), (Labels{"Del", "X0", "Mrg", "Mve", "Exp", "Cpy", "Trf"})) << "32767: two or more";
    EXPECT_EQ(GridFor(3, 5), (Labels{"Del", "Mve", "Exp", "Cpy", "Trf"})) << "exact counts only at that count";
    EXPECT_EQ(GridFor(0, 0), Labels{}) << "nothing selected, nothing shown, not even 32765's";
    EXPECT_TRUE(MeshPanelCommandDisabled("Map"));
    EXPECT_TRUE(MeshPanelCommandDisabled("Hle"));
    EXPECT_FALSE(MeshPanelCommandDisabled("Inv"));
}

TEST_F(MeshPanel, TheViewsPicksSelectAsTheSwitchesSay)
{
    EXPECT_EQ(EditToolMode(), MESHP_TOOL_SELECT);
    EXPECT_EQ(EditPickMode(), MESHP_PICK_BOTH);
    Polygon(0, 1);
    Polygon(1, 1);
    EXPECT_EQ(Selected(true), (std::vector<int>{1})) << "without Mult a pick replaces the selection";
    Click("Mult");
    Polygon(2, 1);
    Vertex(5, 1);
    Polygon(1, 0);
    EXPECT_EQ(Selected(true), (std::vector<int>{2}));
    EXPECT_EQ(Selected(false), (std::vector<int>{5}));
    Click("Polygons", panel);
    Polygon(3, 1);
    EXPECT_EQ(Selected(true), (std::vector<int>{2})) << "polygons are not selected with their switch off";

    // A click (a rectangle of no size) takes what lay under the pointer.
    EditPickNow()->vertex = 7;
    EditPickNewFrame();
    Send(panel, MESHP_RECT, WinPack(100, 100), WinPack(101, 101));
    EXPECT_EQ(Selected(false), (std::vector<int>{5, 7}));

    Turns(1);
    EXPECT_EQ(Grid(), (Labels{"Del", "Pln", "Mve", "Exp", "Cpy", "Trf"}));
    json grid = Dump();
    const json* first = Find(grid, "0x201", "Del");
    EXPECT_EQ((*first)["x"], 156);
    EXPECT_EQ((*first)["y"], 554);
    const json* fourth = Find(grid, "0x201", "Exp");
    EXPECT_EQ((*fourth)["x"], 194) << "the grid fills column by column";
    EXPECT_EQ((*fourth)["y"], 554);

    // "C" and "A" of the vertex row.
    json d = Dump();
    std::vector<const json*> clears;
    for (const json& w : d["windows"])
        if (w.contains("label") && w["label"] == "C") clears.push_back(&w);
    ASSERT_EQ(clears.size(), 2u);
    ClickAt((*clears[1])["x"].get<int>() + 5, (*clears[1])["y"].get<int>() + 5);
    EXPECT_TRUE(Selected(false).empty());
    EXPECT_EQ(Selected(true), (std::vector<int>{2})) << "the vertex row's C leaves the polygons";
}

TEST_F(MeshPanel, ARectangleSelectsPolygonsWhollyInsideAndTheVerticesInside)
{
    // Corners 0 to 3 (the -Z face) drawn inside x 10..20, y 10..20, corner 3 on the edge;
    // corner 7 just outside, the rest far away, corner 6 not drawn at all.
    MeshScreenVertex screen[8] = {{10, 10, 0, 1}, {12, 15, 0, 1}, {20, 12, 0, 1}, {20, 20, 0, 1},
                                  {100, 100, 0, 1}, {100, 110, 0, 1}, {15, 15, 0, 0}, {21, 20, 0, 1}};
    MeshSelectPolygon(4, 1);
    const int32_t rect[4] = {20, 20, 10, 10};
    MeshPanelSelectRect(screen, 8, rect, 1, 1, 0);
    EXPECT_EQ(Selected(true), (std::vector<int>{5})) << "the faces with corners outside stay out; 4 was dropped";
    EXPECT_EQ(Selected(false), (std::vector<int>{0, 1, 2, 3}));
    MeshSelectPolygon(4, 1);
    const int32_t far[4] = {99, 99, 100, 110};
    MeshPanelSelectRect(screen, 8, far, 0, 1, 1);
    EXPECT_EQ(Selected(false), (std::vector<int>{0, 1, 2, 3, 4, 5})) << "added to the vertices";
    EXPECT_EQ(Selected(true), (std::vector<int>{4, 5})) << "polygons untouched when not asked";
}

TEST_F(MeshPanel, CommandsActOnTheSelection)
{
    Polygon(5, 1);
    Turns(1);
    // "Map" takes its cell, drawn without a button.
    EXPECT_EQ(Grid(), (Labels{"Del", "Set", "Dbl", "Hid", "Inv", "Exp", "Cpy", "Trf", "Mrk"}));
    json d = Dump();
    EXPECT_EQ((*Find(d, "0x201", "Exp"))["x"], 232);

    Bytes beforeInv = Used();
    Click("Inv");
    uint8_t* p = ShapePolygon(B(), 5);
    EXPECT_EQ((std::vector<int>{ShapePolyIndex(p, 0), ShapePolyIndex(p, 1), ShapePolyIndex(p, 2), ShapePolyIndex(p, 3)}),
              (std::vector<int>{1, 3, 2, 0}));
    Bytes afterInv = Used();

    // Export: the save form, the selection alone in the file, the buffer and its undo copy
    // untouched.
    Click("Exp");
    ASSERT_NE(FileSelWindow(), 0);
    EXPECT_EQ(std::string(WinGetTitle(FileSelWindow())), "Save as...");
    Fill(WinFocus(), "PART.SHP");
    Key(KEY_RETURN);
    Bytes part = ReadBytes("PART.SHP");
    ASSERT_FALSE(part.empty());
    EXPECT_EQ(ShapeVertexCount(part.data()), 4);
    EXPECT_EQ(ShapePolygonCount(part.data()), 1);
    EXPECT_EQ(GetI32(part.data(), SH_MIN + 8), -100) << "the box of the part: every Z is -100";
    EXPECT_EQ(GetI32(part.data(), SH_MAX + 8), -100);
    EXPECT_EQ(Used(), afterInv);
    ShapeMUndo();
    EXPECT_EQ(Used(), beforeInv) << "the undo copy still holds the shape before Inv";
    Polygon(5, 1);

    // Copy: a selected duplicate in front, one undo step.
    Bytes beforeCopy = Used();
    Click("Cpy");
    EXPECT_EQ(ShapeVertexCount(B()), 12);
    EXPECT_EQ(ShapePolygonCount(B()), 7);
    EXPECT_EQ(Selected(true), (std::vector<int>{0}));
    EXPECT_EQ(Selected(false), (std::vector<int>{0, 1, 2, 3}));
    ShapeMUndo();
    EXPECT_EQ(Used(), beforeCopy);

    // Move: the view's move tool, and only "Exit" on the panel until the move ends.
    Vertex(0, 1);
    Turns(1);
    Click("Mve");
    Turns(1);
    EXPECT_EQ(EditToolMode(), MESHP_TOOL_MOVE);
    EXPECT_EQ(Buttons(panel), (Labels{"Exit"}));
    Click("Exit");
    Turns(1);
    EXPECT_EQ(EditToolMode(), MESHP_TOOL_SELECT);
    EXPECT_EQ(Buttons(panel).front(), "Polygons");
}

TEST_F(MeshPanel, TexOpensTheMappingWindowAndTrfTransformsAsOneStep)
{
    Click("Mult");
    Polygon(5, 1);
    for (int v : {0, 1, 2, 3}) Vertex(v, 1);
    Turns(1);
    ASSERT_EQ(Grid().front(), "Tex");
    Click("Tex");
    json shown = Dump();
    const json* mapping = Find(shown, "0x1024");
    ASSERT_NE(mapping, nullptr);
    MappingInfo info;
    ASSERT_TRUE(MappingDescribe((WinId)(*mapping)["id"].get<int>(), &info));
    EXPECT_EQ(info.polygon, 5);   // the selected one, not the first of the shape
    EXPECT_TRUE(info.hex);
    WinClose((WinId)(*mapping)["id"].get<int>());

    Bytes before = Used();
    Click("Trf");
    WinId dialog = WinFindClass(CLASS_MESH_TRANSFORM);
    ASSERT_NE(dialog, 0);
    shown = Dump();
    const json* d = Find(shown, "0x101B");
    EXPECT_EQ((*d)["x"], 40);
    EXPECT_EQ((*d)["width"], 170);
    EXPECT_EQ((*d)["height"], 150);
    std::vector<WinId> fields = Fields(dialog);   // Pitch, Roll, Yaw, Rescale
    ASSERT_EQ(fields.size(), 4u);
    // Rescale is read first: a field that is no number ends the reading before the Pitch.
    Fill(fields[0], "90");
    Fill(fields[3], "x");
    WinSetFocus(fields[0]);
    Key(KEY_RETURN);
    EXPECT_FALSE(WinIsWindow(dialog)) << "Enter is Ok";
    EXPECT_EQ(Used(), before);

    Click("Trf");
    dialog = WinFindClass(CLASS_MESH_TRANSFORM);
    fields = Fields(dialog);
    Fill(fields[3], "200");
    Key(KEY_RETURN);
    // About the face's centre (0, 0, -100): 100 x 32750 >> 14 is 199, -100 x 32750 >> 14 is -200.
    EXPECT_EQ(Pos(1), (Vec{199, -200, -100}));
    ShapeMUndo();
    EXPECT_EQ(Used(), before) << "one undo step";

    Click("Trf");
    dialog = WinFindClass(CLASS_MESH_TRANSFORM);
    Fill(Fields(dialog)[3], "200");
    Key(KEY_ESCAPE);
    EXPECT_FALSE(WinIsWindow(dialog));
    EXPECT_EQ(Used(), before) << "Escape is Cancel";
}
