// The Mesh panel: its command grid's rules, the selection the view's messages make, and the
// commands wired to their operations.
#include <functional>

#include "frontend/editstate.h"
#include "frontend/filesel.h"
#include "frontend/menubar.h"
#include "materials/matm.h"
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
    void Polygon(int index, int on) { Send(panel, PANEL_MSG_POLYGON, index, on); }
    void Vertex(int index, int on) { Send(panel, PANEL_MSG_VERTEX, index, on); }
    // The grid's buttons: the panel's buttons 28 wide.
    Labels Grid()
    {
        Labels out;
        json d = Dump();
        for (const json& w : d["windows"])
            if (w["parent"] == panel && w["class"] == ClassText(CLASS_BUTTON) && w["width"] == 28) out.push_back(w["label"]);
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
    EXPECT_EQ(EditToolMode(), EDIT_TOOL_MESH_RECT);
    EXPECT_EQ(EditPickMode(), (EDIT_PICK_VERTICES | EDIT_PICK_POLYGONS));
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
    Send(panel, PANEL_MSG_RECT, WinPack(100, 100), WinPack(101, 101));
    EXPECT_EQ(Selected(false), (std::vector<int>{5, 7}));

    Turns(1);
    EXPECT_EQ(Grid(), (Labels{"Del", "Pln", "Mve", "Exp", "Cpy", "Trf"}));
    EXPECT_EQ(ButtonAt("Del"), (std::vector<int>{156, 554}));
    EXPECT_EQ(ButtonAt("Exp"), (std::vector<int>{194, 554})) << "the grid fills column by column";

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

namespace {

// A drag with the left button between two screen points, a turn at each step.
void Drag(int x0, int y0, int x1, int y1)
{
    MoveTo(x0, y0);
    ASSERT_EQ(AppLoopTurn(), 0);
    InputMessageHook(nullptr, NM_LBUTTONDOWN, 0, 0);
    ASSERT_EQ(AppLoopTurn(), 0);
    MoveTo((x0 + x1) / 2, (y0 + y1) / 2);
    ASSERT_EQ(AppLoopTurn(), 0);
    MoveTo(x1, y1);
    ASSERT_EQ(AppLoopTurn(), 0);
    InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0);
    for (int i = 0; i < 2; i++) ASSERT_EQ(AppLoopTurn(), 0);
}

void RightClickAt(int x, int y)
{
    MoveTo(x, y);
    for (int i = 0; i < 2; i++) ASSERT_EQ(AppLoopTurn(), 0);
    InputMessageHook(nullptr, NM_RBUTTONDOWN, 0, 0);
    ASSERT_EQ(AppLoopTurn(), 0);
    InputMessageHook(nullptr, NM_RBUTTONUP, 0, 0);
    ASSERT_EQ(AppLoopTurn(), 0);
}

// In the Rear view at the default zoom (160 units a pixel) a vertex at (160 dx, -160 dy, 0)
// is drawn dx, dy pixels from the view's middle. Vertices 0 to 3 at (0, 0), (40, 0), (40, 30),
// (0, 30); vertex 4 far beyond the right edge. Polygon 0 is (0, 1, 2), polygon 1 (1, 4, 2).
class MeshView : public MeshPanel {
protected:
    void SetUp() override
    {
        MeshPanel::SetUp();
        ShapeMNew();
        for (auto [dx, dy] : {std::pair{0, 0}, {40, 0}, {40, 30}, {0, 30}, {1000, 0}}) V(160 * dx, -160 * dy, 0);
        P({0, 1, 2});
        P({1, 4, 2});
        SetView(VIEW_REAR);
        Turns(2);
    }
};

}  // namespace

TEST_F(MeshView, ARectangleSelectsWhatTheViewDrewInsideIt)
{
    // A tight box around vertex 1 takes it alone.
    Drag(CX + 38, CY - 2, CX + 42, CY + 2);
    EXPECT_EQ(Selected(false), (std::vector<int>{1}));
    EXPECT_TRUE(Selected(true).empty());
    // Around vertices 0 to 3: polygon 0 lies wholly inside, polygon 1 reaches past the edge.
    Drag(CX + 45, CY + 35, CX - 5, CY - 5);
    EXPECT_EQ(Selected(false), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(Selected(true), (std::vector<int>{0}));
    // To the view's right edge: vertex 4, beyond it, is not inside.
    Drag(CX + 30, CY - 10, CLIENT_X + 796, CY + 10);
    EXPECT_EQ(Selected(false), (std::vector<int>{1}));
    EXPECT_TRUE(Selected(true).empty());
    // With "Vertices" off only polygons; "Mult" adds to what was selected.
    Click("Vertices", panel);
    Click("Mult", panel);
    Drag(CX + 45, CY + 35, CX - 5, CY - 5);
    EXPECT_EQ(Selected(false), (std::vector<int>{1}));
    EXPECT_EQ(Selected(true), (std::vector<int>{0}));
}

TEST_F(MeshView, TheRectangleIsOutlinedWhileItIsDraggedAndGoneAfter)
{
    auto rgb = [](int x, int y) {
        uint8_t r, g, b;
        VideoReadPixel(x, y, &r, &g, &b);
        return (uint32_t)((r << 16) | (g << 8) | b);
    };
    // Clear of the shape: left of and below its vertices.
    const int x0 = CX - 100, y0 = CY + 60, x1 = CX - 60, y1 = CY + 90;
    MoveTo(x0, y0);
    ASSERT_EQ(AppLoopTurn(), 0);
    InputMessageHook(nullptr, NM_LBUTTONDOWN, 0, 0);
    ASSERT_EQ(AppLoopTurn(), 0);
    MoveTo(x1, y1);
    for (int i = 0; i < 2; i++) ASSERT_EQ(AppLoopTurn(), 0);
    std::vector<uint32_t> edges = {rgb(x0 + 20, y0), rgb(x1, y0 + 15), rgb(x0 + 20, y1), rgb(x0, y0 + 15)};
    const uint32_t inside = rgb(x0 + 20, y0 + 15);
    for (uint32_t e : edges) EXPECT_EQ(e, edges[0]) << "one outline colour on all four sides";
    EXPECT_NE(edges[0], inside) << "the outline stands out from the view";
    InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0);
    for (int i = 0; i < 2; i++) ASSERT_EQ(AppLoopTurn(), 0);
    EXPECT_EQ(rgb(x0 + 20, y0), inside) << "no outline once the button is up";
    EXPECT_EQ(rgb(x1, y0 + 15), inside);
}

TEST_F(MeshView, TheRightButtonDropsTheVertexOrPolygonUnderThePointer)
{
    MeshSelectAllVertices(1);
    MeshSelectAllPolygons(1);
    // On vertex 0, a corner of polygon 0: the vertex is dropped, not the polygon.
    RightClickAt(CX, CY);
    EXPECT_EQ(Selected(false), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(Selected(true), (std::vector<int>{0, 1}));
    MeshSelectVertex(0, 1);
    // On vertex 1: it is dropped, nothing else.
    RightClickAt(CX + 40, CY);
    EXPECT_EQ(Selected(false), (std::vector<int>{0, 2, 3, 4}));
    EXPECT_EQ(Selected(true), (std::vector<int>{0, 1}));
    // Inside polygon 0, away from its corners: the polygon is dropped.
    RightClickAt(CX + 30, CY + 10);
    EXPECT_EQ(Selected(true), (std::vector<int>{1}));
    EXPECT_EQ(Selected(false), (std::vector<int>{0, 2, 3, 4}));
    // With "Vertices" off the right button on a vertex drops the polygon under it instead.
    MeshSelectPolygon(0, 1);
    Click("Vertices", panel);
    EXPECT_EQ(EditPickMode(), EDIT_PICK_POLYGONS) << "the view marks only what the panel selects";
    RightClickAt(CX + 2, CY + 1);
    EXPECT_EQ(Selected(true), (std::vector<int>{1}));
    EXPECT_EQ(Selected(false), (std::vector<int>{0, 2, 3, 4})) << "vertex 0 stays";
    // With "Polygons" off too, nothing is dropped.
    Click("Polygons", panel);
    EXPECT_EQ(EditPickMode(), 0);
    RightClickAt(CX + 40, CY + 30);
    EXPECT_EQ(Selected(false), (std::vector<int>{0, 2, 3, 4}));
    EXPECT_EQ(Selected(true), (std::vector<int>{1}));
    // Both on again: the left button on vertex 3 picks it alone (no "Mult").
    Click("Polygons", panel);
    Click("Vertices", panel);
    EXPECT_EQ(EditPickMode(), (EDIT_PICK_VERTICES | EDIT_PICK_POLYGONS));
    MoveTo(CX, CY + 30);
    Turns(2);
    ClickAt(CX, CY + 30);
    Turns(1);
    EXPECT_EQ(Selected(false), (std::vector<int>{3}));
    // With "Vertices" off a click inside polygon 0 picks it alone.
    Click("Vertices", panel);
    MoveTo(CX + 30, CY + 10);
    Turns(2);
    ClickAt(CX + 30, CY + 10);
    Turns(1);
    EXPECT_EQ(Selected(true), (std::vector<int>{0}));
}

TEST_F(MeshPanel, CommandsActOnTheSelection)
{
    Polygon(5, 1);
    Turns(1);
    // "Map" takes its cell, drawn without a button.
    EXPECT_EQ(Grid(), (Labels{"Del", "Set", "Dbl", "Hid", "Inv", "Exp", "Cpy", "Trf", "Mrk"}));
    EXPECT_EQ(ButtonAt("Exp")[0], 232);
    json d = Dump();

    Bytes beforeInv = Used();
    // A push button acts at its press, and once: "Inv" done twice would give the order back.
    const json* inv = Find(d, ClassText(CLASS_BUTTON), "Inv");
    ASSERT_NE(inv, nullptr);
    MoveTo((*inv)["x"].get<int>() + 5, (*inv)["y"].get<int>() + 5);
    InputMessageHook(nullptr, NM_LBUTTONDOWN, 0, 0);
    ASSERT_EQ(AppLoopTurn(), 0);
    auto order = [this] {
        uint8_t* p = ShapePolygon(B(), 5);
        return std::vector<int>{ShapePolyIndex(p, 0), ShapePolyIndex(p, 1), ShapePolyIndex(p, 2), ShapePolyIndex(p, 3)};
    };
    EXPECT_EQ(order(), (std::vector<int>{1, 3, 2, 0})) << "done while the button is still held";
    InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0);
    Turns(4);
    EXPECT_EQ(order(), (std::vector<int>{1, 3, 2, 0})) << "not done again when the button comes back up";
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
    EXPECT_EQ(Counts(), (std::vector<int>{12, 7}));
    EXPECT_EQ(Selected(true), (std::vector<int>{0}));
    EXPECT_EQ(Selected(false), (std::vector<int>{0, 1, 2, 3}));
    ShapeMUndo();
    EXPECT_EQ(Used(), beforeCopy);

    // Move: the view's move tool, and only "Exit" on the panel until the move ends.
    Vertex(0, 1);
    Turns(1);
    Click("Mve");
    Turns(1);
    EXPECT_EQ(EditToolMode(), EDIT_TOOL_MESH_MOVE);
    EXPECT_EQ(Buttons(panel), (Labels{"Exit"}));
    Click("Exit");
    Turns(1);
    EXPECT_EQ(EditToolMode(), EDIT_TOOL_MESH_RECT);
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
    const json* mapping = Find(shown, ClassText(CLASS_MAPPING_HEX));
    ASSERT_NE(mapping, nullptr);
    MappingInfo info;
    ASSERT_TRUE(MappingDescribe((WinId)(*mapping)["id"].get<int>(), &info));
    EXPECT_EQ(info.polygon, 5);   // the selected one, not the first of the shape
    EXPECT_TRUE(info.hex);
    WinClose((WinId)(*mapping)["id"].get<int>());

    Bytes before = Used();
    WinId dialog;
    std::vector<WinId> fields;   // Pitch, Roll, Yaw, Rescale
    auto open = [&] {
        Click("Trf");
        dialog = WinFindClass(CLASS_MESH_TRANSFORM);
        fields = Fields(dialog);
    };
    open();
    ASSERT_NE(dialog, 0);
    shown = Dump();
    const json* d = Find(shown, ClassText(CLASS_MESH_TRANSFORM));
    EXPECT_EQ((std::vector<int>{(*d)["x"], (*d)["width"], (*d)["height"]}), (std::vector<int>{40, 170, 150}));
    ASSERT_EQ(fields.size(), 4u);
    // Rescale is read first: a field that is no number ends the reading before the Pitch.
    Fill(fields[0], "90");
    Fill(fields[3], "x");
    WinSetFocus(fields[0]);
    Key(KEY_RETURN);
    EXPECT_FALSE(WinIsWindow(dialog)) << "Enter is Ok";
    EXPECT_EQ(Used(), before);

    open();
    Fill(fields[3], "200");
    Key(KEY_RETURN);
    // About the face's centre (0, 0, -100): 100 x 32750 >> 14 is 199, -100 x 32750 >> 14 is -200.
    EXPECT_EQ(Pos(1), (Vec{199, -200, -100}));
    ShapeMUndo();
    EXPECT_EQ(Used(), before) << "one undo step";

    open();
    Fill(fields[3], "200");
    Key(KEY_ESCAPE);
    EXPECT_FALSE(WinIsWindow(dialog));
    EXPECT_EQ(Used(), before) << "Escape is Cancel";

    // Each angle turns about its own axis through the face's centre, and each Reflect switch
    // mirrors its own axis through the origin: corner 1 at (100, -100, -100) keeps the other
    // coordinates.
    struct Case {
        int field;             // Pitch, Roll, Yaw; -1 for none
        const char* reflect;   // a switch pressed, or null
        int kept[2];           // the coordinates that stay (-1: none)
    };
    const Case cases[] = {
        {0, nullptr, {0, -1}}, {1, nullptr, {2, -1}}, {2, nullptr, {1, -1}},
        {-1, "Reflect X", {1, 2}}, {-1, "Reflect Y", {0, 2}}, {-1, "Reflect Z", {0, 1}},
    };
    const Vec corner = Pos(1);
    for (const Case& c : cases) {
        open();
        if (c.field >= 0) Fill(fields[c.field], "45");   // 90 would take a corner to a corner
        if (c.reflect) Click(c.reflect, dialog);
        Click("Ok", dialog);
        EXPECT_FALSE(WinIsWindow(dialog));
        const Vec now = Pos(1);
        for (int a = 0; a < 3; a++) {
            bool kept = a == c.kept[0] || a == c.kept[1];
            EXPECT_EQ(now[a] == corner[a], kept) << (c.reflect ? c.reflect : "angle field ") << c.field << " axis " << a;
        }
        if (c.reflect) {
            EXPECT_EQ(now[c.reflect[8] - 'X'], -corner[c.reflect[8] - 'X']) << c.reflect;
        }
        ShapeMUndo();
        EXPECT_EQ(Used(), before) << "one step";
    }
}

namespace {

// The note the status line shows, as the dump and the view report it.
std::string Note()
{
    json d = DumpJson();
    std::string note = d["note"];
    for (const json& w : d["windows"])
        if (w["class"] == ClassText(CLASS_VIEW) && !note.empty()) {
            std::vector<std::string> lines = w.value("texts", std::vector<std::string>{});
            EXPECT_NE(std::find(lines.begin(), lines.end(), note), lines.end()) << "the view shows it";
        }
    return note;
}

}  // namespace

TEST_F(MeshPanel, CommandsThatChangeNothingSaySoOnTheStatusLine)
{
    // The cube's corners 0, 1, 2 share no position: "Mrg" merges exactly two.
    Click("Mult", panel);
    Vertex(0, 1);
    Vertex(1, 1);
    Vertex(2, 1);
    Turns(1);
    Bytes before = Used();
    Click("Mrg");
    Turns(1);
    EXPECT_EQ(Used(), before);
    EXPECT_EQ(Note(), "Mrg merges two selected vertices; 3 are selected. Nothing merged.");
    // Two of them do merge, without a note after the first one's time is out.
    Vertex(2, 0);
    Turns(1);
    PlatHeadlessAdvanceClock(EDIT_NOTE_MS);
    Turns(1);
    EXPECT_EQ(Note(), "") << "a note stands for a while only";
    Click("Mrg");
    Turns(1);
    EXPECT_EQ(ShapeVertexCount(B()), 7);
    EXPECT_EQ(Note(), "");

    // "Set" on a polygon in the current material; "Rem" of a vertex that is no point of the
    // polygon; "Del" of a vertex that polygons use; "X0" of a vertex at X 0 already.
    struct Case {
        std::vector<int> polygons, vertices;
        const char* command;
        const char* note;
    };
    const uint16_t material = GetU16(ShapePolygon(B(), 0), POLY_MATERIAL);
    MatMSetCurrent(material);
    const int farVertex = ShapePolyIndex(ShapePolygon(B(), 1), 0);
    int away = -1;
    for (int v = 0; v < ShapeVertexCount(B()) && away < 0; v++) {
        bool in = false;
        for (int k = 0; k < ShapePolyPoints(ShapePolygon(B(), 0)); k++) in |= ShapePolyIndex(ShapePolygon(B(), 0), k) == v;
        if (!in) away = v;
    }
    ASSERT_GE(away, 0);
    MeshSetPosition(farVertex, 0, 50, 60);
    const Case cases[] = {
        {{0}, {}, "Set", "Set: the selected polygons have the current material already."},
        {{0}, {away}, "Rem", "Rem: the selected vertex is no point of the selected polygon."},
        {{}, {away}, "Del", "Del: the selected vertices are used by polygons not selected, or named."},
        {{}, {farVertex}, "X0", "X0: the selected vertices have X 0 already."},
    };
    for (const Case& c : cases) {
        MeshSelectAllPolygons(0);
        MeshSelectAllVertices(0);
        for (int p : c.polygons) MeshSelectPolygon(p, 1);
        for (int v : c.vertices) MeshSelectVertex(v, 1);
        Turns(1);
        before = Used();
        Click(c.command);
        Turns(1);
        EXPECT_EQ(Used(), before) << c.command;
        EXPECT_EQ(Note(), c.note) << c.command;
        PlatHeadlessAdvanceClock(EDIT_NOTE_MS);
        Turns(1);
    }
    // A command that changes the shape says nothing.
    MeshSelectAllPolygons(0);
    MeshSelectAllVertices(0);
    MeshSelectVertex(away, 1);
    Turns(1);
    Click("X0");
    Turns(1);
    EXPECT_EQ(Pos(away)[0], 0);
    EXPECT_EQ(Note(), "");
}

// Every command of the grid reaches its own operation on the selection (those not here are
// pressed above): a fresh cube each time, polygon 5 its -Z face (0, 2, 3, 1).
TEST_F(MeshPanel, EachCommandDoesItsOwnEdit)
{
    MatMAdd(MatMCount());
    MatMSetName(MatMCount() - 1, "OTHER");
    auto flags = [](int p) { return GetU16(ShapePolygon(B(), p), POLY_FLAGS) & (PF_HIDDEN | PF_MARKED); };
    struct Case {
        const char* command;
        std::vector<int> polygons, vertices;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"Del", {5}, {}, [] { EXPECT_EQ(ShapePolygonCount(B()), 5); }},
        {"Dbl", {5}, {}, [] { EXPECT_EQ(ShapePolygonCount(B()), 7); }},
        {"Hid", {5}, {}, [&] { EXPECT_EQ(flags(5), PF_HIDDEN); EXPECT_EQ(flags(4), 0); }},
        {"Mrk", {5}, {}, [&] { EXPECT_EQ(flags(5), PF_MARKED); EXPECT_EQ(flags(4), 0); }},
        {"Set", {5}, {}, [] {
             EXPECT_NE(GetU16(ShapePolygon(B(), 5), POLY_MATERIAL), GetU16(ShapePolygon(B(), 4), POLY_MATERIAL));
         }},
        {"Pln", {5}, {7}, [] { EXPECT_EQ(Pos(7), (Vec{100, 100, -100})) << "onto the face's plane z = -100"; }},
        {"Int", {}, {0, 7}, [] {
             ASSERT_EQ(ShapeVertexCount(B()), 9);
             EXPECT_EQ(Pos(8), (Vec{0, 0, 0}));
         }},
        {"Ctr", {}, {7}, [] {
             EXPECT_EQ(Pos(7), (Vec{0, 0, 0}));
             EXPECT_EQ(Pos(0), (Vec{-200, -200, -200}));
         }},
        {"CtY", {}, {7}, [] {
             EXPECT_EQ(Pos(7), (Vec{100, 0, 100}));
             EXPECT_EQ(Pos(0), (Vec{-100, -200, -100}));
         }},
        {"Rem", {5}, {0}, [] { EXPECT_EQ(ShapePolyPoints(ShapePolygon(B(), 5)), 3); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        MatMSetCurrent(0);   // the cube's material; "Set" then gives the other one
        ASSERT_EQ(MeshCreateCuboid(200, 200, 200), 0);
        MeshSelectAllPolygons(0);
        MeshSelectAllVertices(0);
        for (int p : c.polygons) MeshSelectPolygon(p, 1);
        for (int v : c.vertices) MeshSelectVertex(v, 1);
        MatMSetCurrent(MatMCount() - 1);
        Turns(1);
        Click(c.command, panel);
        Turns(1);
        c.check();
    }

    // The "A" and "C" of each row: its own kind only.
    MeshSelectAllPolygons(0);
    MeshSelectAllVertices(0);
    Turns(1);
    auto row = [&](const char* label, int which) {
        std::vector<WinId> found;
        for (WinId b : ChildrenOf(panel, CLASS_BUTTON)) {
            ControlInfo info;
            if (ControlDescribe(b, &info) && std::string(info.text) == label) found.push_back(b);
        }
        ASSERT_EQ(found.size(), 2u) << label;
        ClickWindow(found[(size_t)which]);
        Turns(1);
    };
    row("A", 0);
    EXPECT_EQ(Selected(true).size(), 6u);
    EXPECT_TRUE(Selected(false).empty());
    row("A", 1);
    EXPECT_EQ(Selected(false).size(), 8u);
    row("C", 0);
    EXPECT_TRUE(Selected(true).empty());
    EXPECT_EQ(Selected(false).size(), 8u);
}
