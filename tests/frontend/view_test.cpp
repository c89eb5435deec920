// The view in the running editor: place, title buttons, keypad camera, View Setup, picking, tools.
#include <nlohmann/json.hpp>

#include <string>

#include "base/bytes.h"
#include "base/log.h"
#include "base/maths.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "frontend/panels.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "toolkit/win.h"

using nlohmann::json;

namespace {

ViewInfo Info(WinId view = 0)
{
    ViewInfo v{};
    EXPECT_EQ(ViewDescribe(view ? view : EditorView(), &v), 1);
    return v;
}

std::vector<int32_t> Centre()
{
    ViewInfo v = Info();
    return {v.centre[0], v.centre[1], v.centre[2]};
}

void Down() { InputMessageHook(nullptr, NM_LBUTTONDOWN, 0, 0); }
void Up() { InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0); }

// A key held down for n frames of 20 ms, then let go.
void Hold(int key, int frames)
{
    InputQueueKey(key, 1);
    for (int i = 0; i < frames; i++) ASSERT_EQ(AppLoopTurn(), 0);
    InputQueueKey(key, 0);
    ASSERT_EQ(AppLoopTurn(), 0);
}

// The pointer rests long enough for a frame to pick under it; then, for the pick's tools, a click.
void Rest(int x, int y)
{
    MoveTo(x, y);
    for (int i = 0; i < 2; i++) ASSERT_EQ(AppLoopTurn(), 0);
}
void PickAndClick(int x, int y)
{
    Rest(x, y);
    ClickAt(x, y);
}

uint8_t* Block() { return ShapeMEdit()->data; }


std::vector<int32_t> Vertex(int i)
{
    int32_t p[3];
    ShapeVertexPos(Block(), i, p);
    return {p[0], p[1], p[2]};
}

}  // namespace

TEST_F(Run, TheViewFillsTheScreenAboveThePanelsWithItsTitleButtons)
{
    StartEditor(EDITOR_SHAPE);
    json d = DumpJson();
    const json* view = Find(d, ClassText(CLASS_VIEW));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ((std::vector<int>{(*view)["x"], (*view)["y"], (*view)["width"], (*view)["height"]}),
              (std::vector<int>{0, 0, 799, 550}));
    EXPECT_EQ((*view)["title"], "UNTITLED.SHP") << "the Object panel's name for a new shape";
    const json& v = (*view)["view"];
    EXPECT_EQ(v["type"], 0);
    EXPECT_EQ(v["displayFlags"], 0x20);
    EXPECT_EQ(v["zoom"], 160.0);
    EXPECT_EQ(v["distance"], 32768);
    EXPECT_EQ(v["centre"], json::array({0, 0, 0}));
    EXPECT_EQ(v["orientation"], json::array({12662, 0, 10397, -1473, 16218, 1792, -10292, -2320, 12534}));
    for (auto [label, x] : {std::pair<const char*, int>{"V", 784}, {"S", 769}}) {
        const json* b = Find(d, ClassText(CLASS_BUTTON), label);
        ASSERT_NE(b, nullptr) << label;
        EXPECT_EQ((*b)["parent"], (*view)["id"]) << label;
        EXPECT_EQ((std::vector<int>{(*b)["x"], (*b)["y"], (*b)["width"], (*b)["height"]}), (std::vector<int>{x, 0, 15, 11}))
            << label;
    }

    AppShutdown();
    PlatShutdown();
    StartEditor(EDITOR_WORLD);
    EXPECT_EQ(Info().displayFlags, (uint32_t)VIEW_FLAGS_WORLD);
    EXPECT_STREQ(WinGetTitle(EditorView()), "World Editor");
}

TEST_F(Run, KeypadPlusAndMinusMoveThePerspectiveDistanceWithinItsLimits)
{
    StartEditor(EDITOR_SHAPE);
    // One vertex 1000 from the origin: a radius of 1000, so the camera goes out to 10000.
    ASSERT_EQ(ShapeAppendVertex(ShapeMEdit(), 1000, 0, 0), 0);
    ShapeDerive(Block());
    ASSERT_EQ(GetI32(Block(), SH_RADIUS), 1000);
    Hold(KEY_ADD, 1);
    EXPECT_EQ(Info().distance, 10000) << "32768 is beyond the limit: cut to it";
    // One frame of minus: 10000 x 20 / 8192 = 24; with Left Ctrl a quarter, 6.
    Hold(KEY_SUBTRACT, 1);
    EXPECT_EQ(Info().distance, 9976);
    InputQueueKey(KEY_LCONTROL, 1);
    Hold(KEY_SUBTRACT, 1);
    InputQueueKey(KEY_LCONTROL, 0);
    Turns(1);
    EXPECT_EQ(Info().distance, 9970);
    Hold(KEY_ADD, 1);
    EXPECT_EQ(Info().distance, 9994);
}

TEST_F(Run, Keypad5RestoresTheOrientationButKeepsDistanceAndCentre)
{
    StartEditor(EDITOR_SHAPE);
    ASSERT_EQ(MeshCreateSphere(5000, 5000, 5000, 0), 0);
    Hold(KEY_NUMPAD0, 10);
    Hold(KEY_NUMPAD9, 10);
    Hold(KEY_SUBTRACT, 5);
    EditRequestCentre(100, -200, 300);
    Turns(1);
    ViewInfo turned = Info();
    EXPECT_NE(std::vector<int16_t>(turned.orientation, turned.orientation + 9),
              std::vector<int16_t>(kViewDefaultOrientation, kViewDefaultOrientation + 9));
    EXPECT_LT(turned.distance, 32768);
    EXPECT_EQ(std::vector<int32_t>(turned.centre, turned.centre + 3), (std::vector<int32_t>{100, -200, 300}));

    Hold(KEY_NUMPAD5, 1);
    ViewInfo reset = Info();
    EXPECT_EQ(std::vector<int16_t>(reset.orientation, reset.orientation + 9),
              std::vector<int16_t>(kViewDefaultOrientation, kViewDefaultOrientation + 9));
    EXPECT_EQ(reset.distance, turned.distance);
    EXPECT_EQ(std::vector<int32_t>(reset.centre, reset.centre + 3), (std::vector<int32_t>{100, -200, 300}));

    // In a parallel view keypad 5 brings the centre home instead, and plus zooms out.
    SetView(VIEW_TOP);
    Hold(KEY_NUMPAD5, 1);
    EXPECT_EQ(Centre(), (std::vector<int32_t>{0, 0, 0}));
    Hold(KEY_NUMPAD4, 1);
    EXPECT_EQ(Info().centre[0], 100) << "one frame of pan at zoom 160";
    Hold(KEY_ADD, 1);
    EXPECT_FLOAT_EQ(Info().zoom, 160.390625f);
}

TEST_F(Run, OnlyTheViewThePointerWasLastInTakesTheKeypad)
{
    StartEditor(EDITOR_SHAPE);
    ASSERT_EQ(MeshCreateSphere(5000, 5000, 5000, 0), 0);   // far limits for both views
    WinId second = WinCreate(500, 300, 200, 150, WIN_DESKTOP, FRAME_BORDER | FRAME_TITLE, CLASS_VIEW);
    ASSERT_NE(second, 0);
    Turns(1);
    Rest(600, 400);
    EXPECT_EQ(EditActiveView(), second);
    MoveTo(700, 580);   // over the menu bar: the second view stays the active one
    Hold(KEY_SUBTRACT, 2);
    EXPECT_EQ(Info().distance, 32768) << "the first view did not move";
    EXPECT_EQ(Info(second).distance, 32768 - 80 - 79);
    Rest(100, 100);
    Hold(KEY_SUBTRACT, 1);
    EXPECT_EQ(Info().distance, 32688);
    EXPECT_EQ(Info(second).distance, 32768 - 80 - 79);
}

TEST_F(Run, ViewSetupSwitchesTheViewAndTheScaleBarAppears)
{
    StartEditor(EDITOR_SHAPE);
    // The bar's top line: client row 5, x 8 to L + 7 (L = 470), colour 255; none in perspective.
    const uint32_t white = VideoColourTable()[255];
    const int barY = CLIENT_Y + 5, barX = CLIENT_X + 8;
    EXPECT_FALSE(PixelIs(barX + 200, barY, white));

    ClickAt(784 + 7, 5);   // "V"
    Turns(1);
    WinId setup = WinFindClass(CLASS_VIEW_SETUP);
    ASSERT_NE(setup, 0);
    EXPECT_STREQ(WinGetTitle(setup), "View Setup");
    int x, y, w, h;
    WinGetRect(setup, &x, &y, &w, &h);
    EXPECT_EQ(x, (799 - 190) / 2);
    EXPECT_EQ(y, (550 - 97) / 2);
    EXPECT_EQ(w, 190);
    EXPECT_EQ(h, 97);
    json d = DumpJson();
    std::vector<std::string> items;
    for (const json& win : d["windows"])
        if (win["parent"] == setup && win.contains("items"))
            for (const json& item : win["items"]) items.push_back(item["text"]);
    EXPECT_EQ(items, (std::vector<std::string>{"Perspective", "Left", "Right", "Top", "Bottom", "Front", "Rear",
                                               "Wireframe", "Orientation", "Decimal", "Hidden", "Normals",
                                               "No BILINEAR", "Marked", "Tex. Light", "No MIPMAPS"}));

    // "Top" is the fourth line of the projection list (5, 14 in the panel; a 1-pixel border).
    ClickAt(x + 5 + 20, y + 14 + 1 + 3 * 9 + 4);
    EXPECT_EQ(Info().type, VIEW_TOP);
    EXPECT_EQ(Info().displayFlags, 0x20u);
    // "Wireframe", the first option, joins the flags at once; "Hidden" stays.
    ClickAt(x + 90 + 20, y + 14 + 1 + 4);
    EXPECT_EQ(Info().displayFlags, 0x21u);
    Turns(1);
    for (int px : {barX, barX + 200, barX + 469}) EXPECT_TRUE(PixelIs(px, barY, white)) << px;
    EXPECT_TRUE(PixelIs(barX, CLIENT_Y + 5 + 300, white)) << "the upright arm";
    EXPECT_FALSE(PixelIs(barX + 471, barY, white)) << "the bar ends at L + 7";
    // Every projection line gives its own view; every option line shown turns its own flag.
    for (int line = 0; line < VIEW_TYPES; line++) {
        ClickAt(x + 5 + 20, y + 14 + 1 + line * 9 + 4);
        EXPECT_EQ(Info().type, line);
    }
    const uint32_t options[] = {VIEWF_WIREFRAME, VIEWF_ORIENTATION, VIEWF_DECIMAL,
                                VIEWF_HIDDEN,    VIEWF_NORMALS,     VIEWF_NO_BILINEAR};
    for (int line = 0; line < 6; line++) {
        uint32_t before = Info().displayFlags;
        ClickAt(x + 90 + 20, y + 14 + 1 + line * 9 + 4);
        EXPECT_EQ(Info().displayFlags ^ before, options[line]) << "option line " << line;
    }
    ClickAt(x + 140 + 20, y + 76 + 5);   // "Ok"
    Turns(1);
    EXPECT_EQ(WinFindClass(CLASS_VIEW_SETUP), 0);
}

TEST_F(Run, AVertexIsAddedWhereThePointerIsInAParallelViewAndRefusedInPerspective)
{
    StartEditor(EDITOR_SHAPE);
    LogOpen("log.txt");
    EditSetTool(EDIT_TOOL_VERTEX_ADD, EDIT_PICK_VERTICES);
    ClickAt(300, 300);
    LogOpen(nullptr);
    EXPECT_EQ(ShapeVertexCount(Block()), 0);
    EXPECT_NE(ReadText("log.txt").find("MSGBOX \"Add Vertex\" \"Not on perspective view you don't!\""),
              std::string::npos);
    EXPECT_NE(WinModal(), 0) << "the box is up";
    DismissBox();

    // In a parallel view the vertex lands where the pointer is.
    SetView(VIEW_TOP);
    EditRequestCentre(1000, 0, 2000);
    Turns(2);
    EditSetTool(EDIT_TOOL_VERTEX_ADD, EDIT_PICK_VERTICES);
    // 10 pixels right of and 5 below the centre at zoom 160: x + 1600, z - 800 (top view).
    ClickAt(CX + 10, CY + 5);
    ASSERT_EQ(ShapeVertexCount(Block()), 1);
    EXPECT_EQ(Vertex(0), (std::vector<int32_t>{2600, 0, 1200}));
    SetView(VIEW_FRONT);
    ClickAt(CX - 2, CY - 3);
    ASSERT_EQ(ShapeVertexCount(Block()), 2);
    EXPECT_EQ(Vertex(1), (std::vector<int32_t>{1000 + 320, 480, 0}));
    ShapeMUndo();
    EXPECT_EQ(ShapeVertexCount(Block()), 1) << "each vertex added is one undo step";
}

TEST_F(Run, OneUndoTakesBackAWholeMoveDrag)
{
    StartEditor(EDITOR_SHAPE);
    SetView(VIEW_REAR);
    Turns(1);
    EditSetTool(EDIT_TOOL_VERTEX_ADD, EDIT_PICK_VERTICES);
    const int x = CX + 20, y = CY + 10;
    ClickAt(x, y);
    ASSERT_EQ(Vertex(0), (std::vector<int32_t>{3200, -1600, 0}));

    EditSetTool(EDIT_TOOL_VERTEX_MOVE, EDIT_PICK_VERTICES | EDIT_PICK_UNDER);
    Rest(x + 2, y - 1);   // within the pick distance
    EXPECT_EQ(EditPickBefore()->vertex, 0);
    Down();
    Turns(1);
    EXPECT_EQ(Vertex(0), (std::vector<int32_t>{3200, -1600, 0})) << "a press alone moves nothing";
    for (int step = 1; step <= 5; step++) {
        MoveTo(x + 2 + 10 * step, y - 1);
        Turns(1);
    }
    MoveTo(x + 60, y + 30);
    Turns(1);
    Up();
    Turns(1);
    // The pointer's place, on the view's two axes; z, the free axis, stays.
    EXPECT_EQ(Vertex(0), (std::vector<int32_t>{(20 + 60) * 160, -(10 + 30) * 160, 0}));
    ShapeMUndo();
    EXPECT_EQ(Vertex(0), (std::vector<int32_t>{3200, -1600, 0})) << "one Undo for the whole drag";
}

TEST_F(Run, ARefusedDragShowsOneBoxNotOnePerFrame)
{
    StartEditor(EDITOR_SHAPE);
    LogOpen("log.txt");
    // The selection's move in the perspective view: refused at the press, once.
    EditSetTool(EDIT_TOOL_MESH_MOVE, 0);
    MoveTo(300, 300);
    Down();
    for (int i = 0; i < 5; i++) {
        MoveTo(300 + 10 * i, 300);
        Turns(1);
    }
    Up();
    Turns(1);
    // In a parallel view a drag that leaves the view is refused, once.
    DismissBox();
    SetView(VIEW_FRONT);
    ASSERT_EQ(MeshCreateSphere(1000, 1000, 1000, 0), 0);
    MeshSelectVertex(0, 1);
    int32_t was[3], now[3];
    ShapeVertexPos(ShapeMEdit()->data, 0, was);
    // Out at once, and out after a step inside: the box says what happened and what to do.
    for (int inside = 0; inside < 2; inside++) {
        MoveTo(300, 300);
        Turns(2);
        Down();
        Turns(1);
        if (inside) {
            MoveTo(300, 310);
            Turns(1);
        }
        for (int i = 0; i < 5; i++) {
            MoveTo(300, 560 + i);   // over the panels
            Turns(1);
        }
        Up();
        Turns(1);
        DismissBox();
    }
    ShapeVertexPos(ShapeMEdit()->data, 0, now);
    EXPECT_EQ(now[1], was[1] - 10 * 160) << "the step inside stays";
    ShapeMUndo();
    ShapeVertexPos(ShapeMEdit()->data, 0, now);
    EXPECT_EQ(now[1], was[1]) << "as the box says, Undo puts it back";
    LogOpen(nullptr);
    EXPECT_EQ(LoggedBoxes("log.txt"),
              (std::vector<std::string>{
                  "MSGBOX \"Move\" \"Not on perspective view.\"",
                  "MSGBOX \"Mesh Move\" \"The pointer left the view before anything moved. Drag inside the view.\"",
                  "MSGBOX \"Mesh Move\" \"The pointer left the view, so the move stopped there. Undo puts the "
                  "selection back; drag again inside the view.\""}));
}

TEST_F(Run, MovingTheSelectionFollowsThePointerAndIsOneUndoStep)
{
    StartEditor(EDITOR_SHAPE);
    ASSERT_EQ(MeshCreateSphere(1000, 1000, 1000, 0), 0);
    MeshSelectVertex(0, 1);
    MeshSelectVertex(1, 1);
    std::vector<int32_t> a = Vertex(0), b = Vertex(1), c = Vertex(2);
    SetView(VIEW_LEFT);
    EditSetTool(EDIT_TOOL_MESH_MOVE, 0);
    MoveTo(300, 300);
    Turns(2);
    Down();
    Turns(1);
    for (int i = 1; i <= 3; i++) {
        MoveTo(300 + 3 * i, 300 - 2 * i);
        Turns(1);
    }
    Up();
    Turns(1);
    // Left view: screen right is -z, up is +y; 9 and 6 pixels at zoom 160.
    EXPECT_EQ(Vertex(0), (std::vector<int32_t>{a[0], a[1] + 960, a[2] - 1440}));
    EXPECT_EQ(Vertex(1), (std::vector<int32_t>{b[0], b[1] + 960, b[2] - 1440}));
    EXPECT_EQ(Vertex(2), c) << "unselected vertices stay";
    ShapeMUndo();
    EXPECT_EQ(Vertex(0), a);
    EXPECT_EQ(Vertex(1), b);
}

TEST_F(Run, ThePickUnderThePointerFeedsTheTools)
{
    StartEditor(EDITOR_SHAPE);
    SetView(VIEW_REAR);
    EditSetTool(EDIT_TOOL_VERTEX_ADD, EDIT_PICK_VERTICES);
    // Polygons "Add" joins three vertices clockwise as seen; the first picked again closes it.
    const int pts[3][2] = {{-30, 20}, {30, 20}, {0, -30}};
    for (const auto& p : pts) ClickAt(CX + p[0], CY + p[1]);
    ASSERT_EQ(ShapeVertexCount(Block()), 3);
    EditSetTool(EDIT_TOOL_POLY_ADD, EDIT_PICK_VERTICES | EDIT_PICK_UNDER | EDIT_PICK_POINTS);
    for (int k : {0, 2, 1, 0}) PickAndClick(CX + pts[k][0], CY + pts[k][1]);
    ASSERT_EQ(ShapePolygonCount(Block()), 1);
    EXPECT_EQ(EditPointCount(), 0);
    // Points half gathered are dropped when a tool is chosen again.
    PickAndClick(CX + pts[0][0], CY + pts[0][1]);
    EXPECT_EQ(EditPointCount(), 1);
    EditSetTool(EDIT_TOOL_POLY_ADD, EDIT_PICK_VERTICES | EDIT_PICK_UNDER | EDIT_PICK_POINTS);
    EXPECT_EQ(EditPointCount(), 0);

    // The triangle is under the pointer inside it, and not beside it.
    Rest(CX, CY + 5);
    EXPECT_EQ(EditPickBefore()->polygon, 0);
    EXPECT_EQ(EditPickBefore()->vertex, -1);
    Rest(CX + 40, CY - 20);
    EXPECT_EQ(EditPickBefore()->polygon, -1);

    // Vertices "Name": the dialog names the vertex under the pointer.
    EditSetTool(EDIT_TOOL_VERTEX_NAME, 0x805);
    PickAndClick(CX + 30, CY + 20);
    WinId dialog = WinFindClass(CLASS_POINT_NAME);
    ASSERT_NE(dialog, 0);
    EXPECT_STREQ(WinGetTitle(dialog), "Point Name");
    EXPECT_EQ(WinModal(), dialog);
    for (int key : {KEY_T, KEY_O, KEY_P, KEY_RETURN}) {
        InputQueueKey(key, 1);
        Turns(1);
        InputQueueKey(key, 0);
        Turns(1);
    }
    EXPECT_EQ(WinModal(), 0);
    EXPECT_EQ(MeshPointName(1), Name4FromText("TOP"));

    // Polygons "Delete" takes the triangle under the pointer.
    EditSetTool(EDIT_TOOL_POLY_DELETE, 2);
    PickAndClick(CX, CY + 5);
    EXPECT_EQ(ShapePolygonCount(Block()), 0);
}

TEST_F(Run, ARectangleSelectsWhatLiesInsideItAndNeedsNoPanel)
{
    StartEditor(EDITOR_SHAPE);
    SetView(VIEW_REAR);
    EditSetTool(EDIT_TOOL_VERTEX_ADD, EDIT_PICK_VERTICES);
    const int pts[4][2] = {{-30, 20}, {30, 20}, {0, -30}, {100, 100}};
    for (const auto& p : pts) ClickAt(CX + p[0], CY + p[1]);
    const uint16_t tri[3] = {0, 1, 2};
    ASSERT_EQ(ShapeAppendPolygonWithNormal(ShapeMEdit(), 3, tri, 0), 0);

    // With the mesh panel closed, a rectangle drawn with the selection tool goes nowhere.
    EditSetTool(EDIT_TOOL_MESH_RECT, 0);
    ClickAt(320 + 100 + 40, 550 + 19 + 5);   // "Object" replaces the Mesh panel
    EditSetTool(EDIT_TOOL_MESH_RECT, 0);
    MoveTo(300, 200);
    Turns(1);
    Down();
    Turns(1);
    MoveTo(500, 400);
    Turns(2);
    Up();
    Turns(2);
    EXPECT_EQ(MeshSelectedVertexCount(), 0);

    // The panel hands the rectangle back; polygons count when all their points are inside.
    RectSelect(EDIT_RECT_VERTICES | EDIT_RECT_POLYGONS, CX + 35, CY - 35, CX - 35, CY + 25);
    EXPECT_EQ(MeshSelectedVertexCount(), 3);
    EXPECT_EQ(MeshSelectedPolygonCount(), 1);
    RectSelect(EDIT_RECT_VERTICES | EDIT_RECT_POLYGONS, CX - 35, CY - 35, CX + 5, CY + 25);
    EXPECT_EQ(MeshSelectedVertexCount(), 2) << "the selection is replaced";
    EXPECT_EQ(MeshSelectedPolygonCount(), 0) << "one point outside";
    RectSelect(EDIT_RECT_VERTICES | EDIT_RECT_KEEP, CX + 95, CY + 95, CX + 105, CY + 105);
    EXPECT_EQ(MeshSelectedVertexCount(), 3) << "Mult keeps what was selected";
    RectSelect(EDIT_RECT_VERTICES | EDIT_RECT_DESELECT, CX + 95, CY + 95, CX + 105, CY + 105);
    EXPECT_EQ(MeshSelectedVertexCount(), 2);
}

TEST_F(Run, VertexToolsThatWorkOnTwoPicksOrAPlane)
{
    StartEditor(EDITOR_SHAPE);
    SetView(VIEW_REAR);
    EditSetTool(EDIT_TOOL_VERTEX_ADD, EDIT_PICK_VERTICES);
    auto at = [](int dx, int dy) { return std::pair<int, int>{CX + dx, CY + dy}; };
    auto click = [](std::pair<int, int> p) { PickAndClick(p.first, p.second); };
    const std::pair<int, int> a = at(-30, 20), b = at(30, 20), c = at(0, -30);
    for (auto p : {a, b, c}) ClickAt(p.first, p.second);
    ASSERT_EQ(ShapeVertexCount(Block()), 3);

    // Interp: two clicks add the vertex halfway, and leave nothing selected.
    EditSetTool(EDIT_TOOL_VERTEX_INTERP, 69);
    click(a);
    EXPECT_EQ(MeshSelectedVertexCount(), 1);
    click(b);
    ASSERT_EQ(ShapeVertexCount(Block()), 4);
    EXPECT_EQ(Vertex(3), (std::vector<int32_t>{0, -3200, 0}));
    EXPECT_EQ(MeshSelectedVertexCount(), 0);
    // Merge: the lower-numbered vertex takes the other's place; one Undo takes it back.
    EditSetTool(EDIT_TOOL_VERTEX_MERGE, 69);
    click(a);
    click(at(0, 20));
    ASSERT_EQ(ShapeVertexCount(Block()), 3);
    EXPECT_EQ(Vertex(0), (std::vector<int32_t>{0, -3200, 0}));
    EXPECT_EQ(MeshSelectedVertexCount(), 0);
    ShapeMUndo();
    EXPECT_EQ(ShapeVertexCount(Block()), 4);
    EXPECT_EQ(Vertex(0), (std::vector<int32_t>{-4800, -3200, 0}));
    // Camera: the view looks at the vertex clicked.
    EditSetTool(EDIT_TOOL_VERTEX_CAMERA, 5);
    click(c);
    EXPECT_EQ(Centre(), (std::vector<int32_t>{0, 4800, 0}));

    // PlaneXZ: the first vertex drops straight onto the selected polygon's plane (y = x).
    ShapeMNew();
    const int32_t pts[4][3] = {{4000, 0, 500}, {0, 0, 0}, {1000, 1000, 0}, {0, 0, 1000}};
    for (const auto& p : pts) ASSERT_GE(ShapeAppendVertex(ShapeMEdit(), p[0], p[1], p[2]), 0);
    const uint16_t tri[3] = {1, 2, 3};
    ASSERT_EQ(ShapeAppendPolygonWithNormal(ShapeMEdit(), 3, tri, 0), 0);
    MeshSelectPolygon(0, 1);
    EditRequestCentre(0, 0, 0);
    EditSetTool(EDIT_TOOL_VERTEX_PLANE_XZ, 5);
    click(at(25, 0));   // x 4000 at zoom 160
    EXPECT_EQ(Vertex(0), (std::vector<int32_t>{4000, 4000, 500}));
}

TEST_F(Run, ThePolygonPickTakesTheNearestFaceUnderThePointer)
{
    StartEditor(EDITOR_SHAPE);
    SetView(VIEW_TOP);   // seen from above: the higher square is the nearer
    // Two squares 40 pixels across, one above the other; the low one made first, then last.
    for (bool lowFirst : {true, false}) {
        ShapeMNew();
        const int32_t heights[2] = {lowFirst ? -1600 : 1600, lowFirst ? 1600 : -1600};
        for (int32_t y : heights)
            for (auto [x, z] : {std::pair{-3200, -3200}, {3200, -3200}, {3200, 3200}, {-3200, 3200}})
                ASSERT_GE(ShapeAppendVertex(ShapeMEdit(), x, y, z), 0);
        for (uint16_t first : {0, 4}) {
            const uint16_t square[4] = {first, (uint16_t)(first + 1), (uint16_t)(first + 2), (uint16_t)(first + 3)};
            ASSERT_GE(ShapeAppendPolygon(ShapeMEdit(), 4, square, 0), 0);
        }
        ShapeDerive(Block());   // the radius: a parallel eye stands beyond the whole shape
        Rest(CX + 5, CY + 5);
        EXPECT_EQ(EditPickBefore()->polygon, lowFirst ? 1 : 0) << "the low square made " << (lowFirst ? "first" : "last");
    }
}
