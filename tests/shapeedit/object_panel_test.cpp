// The Object panel's dialogs, the names it gives the edited shape, and the Polygons, Vertices
// and Sorting panels, in process. The file operations are followed end to end in
// tests/e2e/shapeedit_test.cpp.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>

#include "base/log.h"
#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "frontend/msgbox.h"
#include "shapeedit/mapping.h"
#include "shapeedit/objdlg.h"
#include "shapeedit/objpanel.h"
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
    const json* shown = Find(d0, ClassText(CLASS_OBJECT_PARMS));
    EXPECT_EQ((std::vector<int>{(*shown)["x"], (*shown)["y"]}), (std::vector<int>{50, 43}));
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

// Each mirror negates its own axis of the whole shape, one undo step each; "Centre" moves the
// box's centre to the origin; "Shadow" names the shape as the shadow.
TEST_F(ObjectPanel, MirrorsCentreAndShadowDoTheirOwnEdit)
{
    const Bytes before = Used();
    const struct {
        const char* button;
        Vec corner1;   // from (100, -100, -100)
    } cases[] = {{"Mirror X", {-100, -100, -100}}, {"Mirror Y", {100, 100, -100}}, {"Mirror Z", {100, -100, 100}}};
    for (const auto& c : cases) {
        Click(c.button, panel);
        EXPECT_EQ(Pos(1), c.corner1) << c.button;
        ShapeMUndo();
        EXPECT_EQ(Used(), before) << c.button;
    }
    MeshSetPosition(7, 300, 300, 300);   // the box is then -100..300 each way
    Click("Centre", panel);
    EXPECT_EQ(Pos(7), (Vec{200, 200, 200}));
    EXPECT_EQ(Pos(0), (Vec{-200, -200, -200}));
    EXPECT_STREQ(ObjPanelShapeName(), "UNTITLED.SHP");
    Click("Shadow", panel);
    EXPECT_STREQ(ObjPanelShapeName(), "SHADOW.SHP");
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

namespace {

// The names in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> out;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") out.push_back(e->d_name);
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string SelectorName()
{
    ControlInfo c;
    if (!FileSelWindow() || !ControlDescribe(ChildrenOf(FileSelWindow(), CLASS_EDIT).at(0), &c)) return "<no selector>";
    return c.text;
}

}  // namespace

TEST(ObjectPanelNames, AListingsShapeIsNamedAfterItWithTheShapeExtension)
{
    const char* const cases[][2] = {
        {"GRID.ASC", "GRID.SHP"}, {"grid.asc", "grid.shp"}, {"Grid.Asc", "Grid.SHP"},
        {"A.B.ASC", "A.B.SHP"},   {"GRIDASC", "GRIDASC.SHP"}, {".ASC", ".SHP"},
        // Models: the extension goes whatever its case; small letters only for a small name.
        {"MODEL.glb", "MODEL.SHP"}, {"car.gltf", "car.shp"}, {"Car.Obj", "Car.SHP"}, {"x.fbx", "x.shp"},
        {"A.3DS", "A.SHP"},         {"t.dae", "t.shp"},       {"P.ply", "P.SHP"},     {"s.stl", "s.shp"},
        {"notes.txt", "notes.txt.shp"}, {"a.asc.obj", "a.asc.shp"},
    };
    for (const auto& c : cases) {
        char out[OBJ_NAME_MAX];
        ObjPanelImportedName(c[0], out, sizeof out);
        EXPECT_STREQ(out, c[1]) << c[0];
    }
}

TEST_F(ObjectPanel, AnImportedListingIsTheUnsavedShapeAndNoSaveWritesOverIt)
{
    ASSERT_EQ(mkdir("models", 0755), 0);
    const Bytes listing = ReadBytes(std::string(TOLBEX_FIXTURES) + "/real/TESTI.ASC");
    ASSERT_FALSE(listing.empty());
    WriteBytes("models/GRID.ASC", listing);
    LogOpen("log.txt");
    Click("Load", panel);
    ChooseInSelector("models/GRID.ASC");
    EXPECT_EQ(ShapeVertexCount(B()), 13);
    EXPECT_STREQ(ObjPanelShapeName(), "GRID.SHP");
    Turns(1);
    EXPECT_STREQ(WinGetTitle(EditorView()), "GRID.SHP *") << "the imported shape is not saved yet";
    // Nothing was written: not beside the listing, not in the working folder.
    EXPECT_EQ(FilesIn("models"), (std::vector<std::string>{"GRID.ASC"}));
    EXPECT_EQ(FilesIn("."), (std::vector<std::string>{"idle.txt", "log.txt", "models", "state"}));

    // Save offers the shape's name in the listing's folder; the listing's own name is refused.
    Click("Save", panel);
    EXPECT_EQ(SelectorName(), "GRID.SHP");
    ChooseInSelector("GRID.ASC");   // the selector stands in the listing's folder
    ASSERT_EQ(MsgBoxWaitingCount() + (WinModal() ? 1 : 0), 1) << "one box";
    Key(KEY_RETURN);
    EXPECT_EQ(ReadBytes("models/GRID.ASC"), listing);
    EXPECT_EQ(FilesIn("models"), (std::vector<std::string>{"GRID.ASC"})) << "no backup, no other file";
    EXPECT_STREQ(ObjPanelShapeName(), "GRID.SHP");
    Click("Save", panel);
    ChooseInSelector("GRID.SHP");
    EXPECT_EQ(FilesIn("models"), (std::vector<std::string>{"GRID.ASC", "GRID.SHP"}));
    Bytes saved = ReadBytes("models/GRID.SHP");
    ASSERT_FALSE(saved.empty());
    char why[160];
    EXPECT_TRUE(ShapeCheck(saved.data(), saved.size(), why, sizeof why)) << why;
    EXPECT_EQ(ShapeVertexCount(saved.data()), 13);
    // An empty file holds nothing a save could lose: it is written over.
    WriteText("models/EMPTY.SHP", "");
    Click("Save", panel);
    ChooseInSelector("EMPTY.SHP");
    EXPECT_EQ(ReadBytes("models/EMPTY.SHP"), saved);
    EXPECT_STREQ(ObjPanelShapeName(), "EMPTY.SHP");

    // The Mesh panel's export is refused there too.
    Click("Mesh");
    Click("A", WinFindClass(CLASS_MESH_PANEL));
    Turns(1);
    Click("Exp");
    ChooseInSelector("GRID.ASC");
    Key(KEY_RETURN);
    EXPECT_EQ(ReadBytes("models/GRID.ASC"), listing);
    EXPECT_EQ(FilesIn("models"), (std::vector<std::string>{"EMPTY.SHP", "EMPTY.~HP", "GRID.ASC", "GRID.SHP"}));
    LogOpen(nullptr);
    EXPECT_EQ(Count(ReadText("log.txt"), "MSGBOX \"File Error\" \"GRID.ASC is not a shape file. Choose another name to save the shape.\""), 2u)
        << ReadText("log.txt");
}

TEST_F(ObjectPanel, ANewOrCreatedObjectIsUntitledUntilSaved)
{
    Click("Save", panel);
    ChooseInSelector("BOX.SHP");
    ASSERT_STREQ(ObjPanelShapeName(), "BOX.SHP");
    const Bytes box = ReadBytes("BOX.SHP");
    std::vector<WinId> f;
    // "NOTHING" makes nothing, and leaves the name.
    WinId d = Open("Create", CLASS_CREATE_OBJECT, &f);
    ASSERT_NE(d, 0);
    ClickWindow(ChildrenOf(d, CLASS_LIST).at(0), 5, 1 + 9 * 3 + 4);
    Click("Ok", d);
    EXPECT_FALSE(WinIsWindow(d));
    EXPECT_EQ(ShapeVertexCount(B()), 8) << "the cuboid is still there";
    EXPECT_STREQ(ObjPanelShapeName(), "BOX.SHP");
    d = Open("Create", CLASS_CREATE_OBJECT, &f);
    for (WinId field : f) Fill(field, "10");
    Click("Ok", d);
    EXPECT_FALSE(WinIsWindow(d));
    EXPECT_EQ(ShapeVertexCount(B()), 42) << "a Sphere80";
    EXPECT_STREQ(ObjPanelShapeName(), "UNTITLED.SHP");
    Click("Save", panel);
    EXPECT_EQ(SelectorName(), "UNTITLED.SHP");
    Key(KEY_ESCAPE);
    EXPECT_EQ(ReadBytes("BOX.SHP"), box);

    ObjPanelRestoreNames("", "BOX.SHP", 1);
    Click("New", panel);
    EXPECT_STREQ(ObjPanelShapeName(), "UNTITLED.SHP");
}

namespace {

// In the Rear view a vertex at (160 dx, -160 dy, 0) is drawn dx, dy pixels from the middle:
// triangles 0 (0, 2, 1) and 1 (1, 2, 3), both facing the eye, share the edge 1-2; vertex 4 is
// used by none.
const std::pair<int, int> kAt[5] = {{-30, 20}, {30, 20}, {0, -30}, {60, -30}, {-60, -30}};

void Loop(int turns)
{
    for (int i = 0; i < turns; i++) ASSERT_EQ(AppLoopTurn(), 0);
}

void ToolScene()
{
    ShapeMNew();
    for (auto [dx, dy] : kAt) ASSERT_GE(EditBuffer::V(160 * dx, -160 * dy, 0), 0);
    EditBuffer::P({0, 2, 1});
    EditBuffer::P({1, 2, 3});
    Loop(2);
}

// The pointer rests on a screen point long enough for the view to pick there, then clicks.
void PickAndClick(std::pair<int, int> at)
{
    MoveTo(CX + at.first, CY + at.second);
    Loop(2);
    ClickAt(CX + at.first, CY + at.second);
    Loop(1);
}

}  // namespace

// Every tool button of the Polygons and Vertices panels gives the view its own tool: used on
// the same scene, each makes its own change (those that refuse here are pressed below).
TEST_F(Panels, EachToolButtonGivesTheViewItsOwnTool)
{
    SetView(VIEW_REAR);
    const std::pair<int, int> inside0 = {0, 8}, inside1 = {30, -10};
    auto points = [](int p) {
        std::vector<int> out;
        for (int k = 0; k < ShapePolyPoints(ShapePolygon(B(), p)); k++) out.push_back(ShapePolyIndex(ShapePolygon(B(), p), k));
        return out;
    };
    auto centre = [] {
        ViewInfo v{};
        EXPECT_EQ(ViewDescribe(EditorView(), &v), 1);
        return Vec{v.centre[0], v.centre[1], v.centre[2]};
    };
    struct Case {
        const char* panel;
        const char* tool;
        std::vector<std::pair<int, int>> clicks;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"Polygons", "Add", {kAt[0], kAt[4], kAt[2], kAt[0]}, [&] {
             ASSERT_EQ(ShapePolygonCount(B()), 3);
             EXPECT_EQ(points(2), (std::vector<int>{0, 4, 2}));
         }},
        {"Polygons", "Delete", {inside0}, [&] { EXPECT_EQ(points(0), (std::vector<int>{1, 2, 3})); }},
        {"Polygons", "Combine", {inside0, inside1}, [] {
             ASSERT_EQ(ShapePolygonCount(B()), 1);
             EXPECT_EQ(ShapePolyPoints(ShapePolygon(B(), 0)), 4);
         }},
        {"Polygons", "Mapping", {inside1}, [] {
             MappingInfo info;
             ASSERT_TRUE(MappingDescribe(WinFindClass(CLASS_MAPPING), &info));
             EXPECT_EQ(info.polygon, 1);
         }},
        {"Polygons", "Hide", {inside1}, [] {
             EXPECT_EQ(GetU16(ShapePolygon(B(), 1), POLY_FLAGS) & PF_HIDDEN, PF_HIDDEN);
             EXPECT_EQ(GetU16(ShapePolygon(B(), 0), POLY_FLAGS) & PF_HIDDEN, 0);
         }},
        {"Polygons", "Double", {inside1}, [&] {
             ASSERT_EQ(ShapePolygonCount(B()), 3);
             EXPECT_EQ(points(0), (std::vector<int>{0, 2, 1}));
         }},
        {"Polygons", "Invert", {inside1}, [&] {
             EXPECT_EQ(points(1), (std::vector<int>{3, 2, 1}));
             EXPECT_EQ(points(0), (std::vector<int>{0, 2, 1}));
         }},
        {"Vertices", "Add", {{-60, 20}}, [] {
             ASSERT_EQ(ShapeVertexCount(B()), 6);
             EXPECT_EQ(Pos(5), (Vec{-9600, -3200, 0}));
         }},
        {"Vertices", "Delete", {kAt[4]}, [] { EXPECT_EQ(ShapeVertexCount(B()), 4); }},
        {"Vertices", "Merge", {kAt[4], kAt[0]}, [] { EXPECT_EQ(ShapeVertexCount(B()), 4); }},
        {"Vertices", "Interp", {kAt[0], kAt[1]}, [] {
             ASSERT_EQ(ShapeVertexCount(B()), 6);
             EXPECT_EQ(Pos(5), (Vec{0, -3200, 0}));
         }},
        {"Vertices", "Centre Y", {kAt[2]}, [] {
             EXPECT_EQ(Pos(2), (Vec{0, 0, 0}));
             EXPECT_EQ(Pos(0), (Vec{-4800, -8000, 0}));
         }},
        {"Vertices", "Centre", {kAt[3]}, [] {
             EXPECT_EQ(Pos(3), (Vec{0, 0, 0}));
             EXPECT_EQ(Pos(0), (Vec{-14400, -8000, 0}));
         }},
        {"Vertices", "Camera", {kAt[3]}, [&] { EXPECT_EQ(centre(), (Vec{9600, 4800, 0})); }},
        {"Vertices", "Name", {kAt[1]}, [] {
             EXPECT_NE(WinFindClass(CLASS_POINT_NAME), 0);
             TapKey(KEY_ESCAPE);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.panel) + " " + c.tool);
        EditRequestCentre(0, 0, 0);
        ToolScene();
        Click(c.panel);
        Click(c.tool, WinFindClass(std::string(c.panel) == "Polygons" ? CLASS_POLYGONS_PANEL : CLASS_VERTICES_PANEL));
        for (auto at : c.clicks) PickAndClick(at);
        c.check();
        if (WinId mapping = WinFindClass(CLASS_MAPPING)) WinClose(mapping);
        Turns(1);
    }
    json d = Dump();
    EXPECT_EQ((*Find(d, ClassText(CLASS_BUTTON), "Name"))["state"], 1);
    EXPECT_EQ((*Find(d, ClassText(CLASS_BUTTON), "Camera"))["state"], 0) << "one tool lit at a time";
}

TEST_F(Panels, SortingEditsTheFlag)
{
    Click("Sorting");
    WinId sorting = WinFindClass(CLASS_SORTING_PANEL);
    Click("No Sort", sorting);
    EXPECT_EQ(GetU16(B(), SH_NOSORT), 1);
    Click("Undo");
    Turns(1);
    EXPECT_EQ(GetU16(B(), SH_NOSORT), 0);
    json after = Dump();
    EXPECT_EQ((*Find(after, ClassText(CLASS_BUTTON), "No Sort"))["state"], 0) << "the box follows the shape";
    Send(Id(ClassText(CLASS_BUTTON), "Make Sort"), WM_SETSTATE, 1, 0);
    EXPECT_TRUE(EditorRequestPending(REQUEST_SORT));
}

TEST_F(ObjectPanel, ToolsAndButtonsThatChangeNothingSaySo)
{
    auto note = []() { return DumpJson()["note"].get<std::string>(); };
    // Optimise of the cuboid, which has nothing to remove; a merge into an empty shape.
    Bytes before = Used();
    Click("Optimise", panel);
    EXPECT_EQ(Used(), before);
    EXPECT_EQ(note(), "Optimise: no repeated point, unused or doubled vertex to remove.");
    Click("Save", panel);
    ChooseInSelector("BOX.SHP");
    Click("New", panel);
    Click("Merge", panel);
    ChooseInSelector("BOX.SHP");
    EXPECT_EQ(ShapeVertexCount(B()), 0);
    EXPECT_EQ(note(), "Merge: nothing merged. It needs a shape with polygons, and a file with vertices.");

    // In the Rear view a vertex at (160 dx, -160 dy, 0) is drawn dx, dy pixels from the middle:
    // triangles (0, 1, 2) and (1, 3, 4) share only vertex 1.
    SetView(VIEW_REAR);
    for (auto [dx, dy] : {std::pair{0, 0}, {40, 0}, {40, 30}, {80, 0}, {80, 30}}) V(160 * dx, -160 * dy, 0);
    P({0, 1, 2});
    P({1, 3, 4});
    Turns(2);
    auto clickAt = [](int dx, int dy) {
        MoveTo(CX + dx, CY + dy);
        Turns(2);
        ClickAt(CX + dx, CY + dy);
        Turns(1);
    };
    struct Case {
        const char* panel;
        const char* tool;
        std::vector<std::pair<int, int>> clicks;
        const char* note;
    };
    const Case cases[] = {
        {"Polygons", "Flatten", {{30, 10}}, "Flatten works on quads; polygon 0 has 3 points."},
        {"Polygons", "Combine", {{30, 10}, {70, 10}}, "Combine joins two triangles sharing an edge, flat together, in one material."},
        {"Vertices", "Delete", {{0, 0}}, "Delete: vertex 0 stays while a polygon uses it."},
        {"Vertices", "Plane", {{40, 30}}, "Plane needs one polygon selected (Mesh panel); 0 are selected."},
        {"Vertices", "PlaneXZ", {{40, 30}}, "PlaneXZ needs one polygon selected (Mesh panel); 0 are selected."},
    };
    for (const Case& c : cases) {
        PlatHeadlessAdvanceClock(EDIT_NOTE_MS);
        Click(c.panel);
        Click(c.tool, WinFindClass(std::string(c.panel) == "Polygons" ? CLASS_POLYGONS_PANEL : CLASS_VERTICES_PANEL));
        before = Used();
        for (auto [dx, dy] : c.clicks) clickAt(dx, dy);
        EXPECT_EQ(Used(), before) << c.tool;
        EXPECT_EQ(note(), c.note) << c.tool;
    }
    // A named vertex says so too.
    MeshSetPointName(3, 0x41424344);
    PlatHeadlessAdvanceClock(EDIT_NOTE_MS);
    Click("Vertices");
    Click("Delete", WinFindClass(CLASS_VERTICES_PANEL));
    before = Used();
    clickAt(80, 0);
    EXPECT_EQ(note(), "Delete: vertex 3 has a point name and stays.");
    EXPECT_EQ(Used(), before);
}
