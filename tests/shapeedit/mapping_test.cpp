// The mapping coordinates windows: the area's arithmetic and the number forms, then the real
// editor in this process with the pointer and keys as the user gives them.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/bytes.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "frontend/msgbox.h"
#include "frontend/panels.h"
#include "shapeedit/mapping.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "shapes/shapem_edit.h"
#include "toolkit/controls.h"

namespace {

typedef std::vector<int16_t> Words;
typedef std::pair<int, int> XY;

std::string Form(int c, bool hex = false)
{
    char text[16];
    if (hex) MappingHex(c, text, sizeof text);
    else MappingDecimal(c, text, sizeof text);
    return text;
}

XY ToScreen(const MappingArea& a, int u, int v)
{
    XY p;
    MappingToScreen(&a, u, v, &p.first, &p.second);
    return p;
}

XY FromScreen(const MappingArea& a, int x, int y)
{
    int16_t u, v;
    MappingFromScreen(&a, x, y, &u, &v);
    return XY(u, v);
}

}  // namespace

TEST(MappingArithmetic, TheAreaMapsCoordinatesToPixelsAndBackPinnedToItsEdges)
{
    // A client of 538 x 212 (a 540 x 225 window with border and title at 12 pixels).
    const MappingArea a = MappingAreaOf(538, 212);
    EXPECT_EQ((std::vector<int>{8, 16, 442, 190}), (std::vector<int>{a.x0, a.y0, a.x1, a.y1}));
    EXPECT_EQ(XY(8, 190), ToScreen(a, 0, 16384));
    EXPECT_EQ(XY(225, 59), ToScreen(a, 8192, 4096)) << "174 / 4 = 43.5, truncated";
    EXPECT_EQ(XY(-209, 364), ToScreen(a, -8192, 32768)) << "outside 0..1 lies outside the area";

    EXPECT_EQ(XY(8192, 8192), FromScreen(a, 225, 103));
    EXPECT_EQ(XY(37, 94), FromScreen(a, 9, 17)) << "16384 / 434 and / 174, truncated";
    EXPECT_EQ(XY(16384, 16384), FromScreen(a, 443, 191)) << "one past the edge pins to it";
    EXPECT_EQ(XY(0, 0), FromScreen(a, -40, 7));
    EXPECT_EQ(XY(0, 0), FromScreen(MappingAreaOf(103, 38), 50, 20)) << "no area: 0, no division by 0";
}

TEST(MappingArithmetic, TurningDefaultTableAndNumberForms)
{
    int16_t uv[6] = {1, 2, 3, 4, 5, 6};
    MappingTurn(uv, 3, MAPPING_TURN_FORWARD);
    EXPECT_EQ((Words{5, 6, 1, 2, 3, 4}), Words(uv, uv + 6)) << "\"<\"";
    MappingTurn(uv, 3, MAPPING_TURN_BACK);
    MappingTurn(uv, 3, MAPPING_TURN_BACK);
    EXPECT_EQ((Words{3, 4, 5, 6, 1, 2}), Words(uv, uv + 6)) << "\">\" undoes \"<\"";

    int16_t pairs[2 * 18];
    memset(pairs, 0x55, sizeof pairs);
    MappingDefaultPairs(pairs, 18);
    EXPECT_EQ((Words{0, 0, 16384, 0, 16384, 16384, 0, 16384, 0, 12288}), Words(pairs, pairs + 10));
    EXPECT_EQ((Words{8192, 8192, 0, 0, 0, 0}), Words(pairs + 30, pairs + 36)) << "(0, 0) past the 16th row";

    std::vector<std::string> forms;
    for (int c : {16384, 8192, 16, 17, 32767, -8192, -24576, -32768, -16}) forms.push_back(Form(c));
    for (int c : {16384, 16, -8192}) forms.push_back(Form(c, true));
    EXPECT_EQ((std::vector<std::string>{"1.000", "0.500", "0.000", "0.001", "1.999", "-0.500", "-1.500", "-2.000",
                                        "0.000", "4000", "0010", "E000"}),
              forms)
        << "the sign is printed once, -16 has none; hexadecimal is the stored 16-bit value";
}

// ---- The window in the real editor

namespace {

class Mapping : public Run {
protected:
    void SetUp() override { StartEditor(EDITOR_SHAPE); }

    // A polygon over vertices of its own.
    static int Polygon(int n)
    {
        std::vector<uint16_t> idx;
        for (int k = 0; k < n; k++) idx.push_back((uint16_t)ShapeAppendVertex(ShapeMEdit(), 10 * k, k % 7, 0));
        return ShapeAppendPolygon(ShapeMEdit(), n, idx.data(), 0);
    }
    static Words Pairs(int polygon)
    {
        Words out(2 * (size_t)ShapePolyPoints(ShapePolygon(ShapeMEdit()->data, polygon)));
        return MeshGetMapping(polygon, out.data()) ? out : Words();
    }
    static Bytes Used()
    {
        const uint8_t* b = ShapeMEdit()->data;
        return Bytes(b, b + ShapeUsedSize(b));
    }
    // Opens a window and lets a turn run.
    static WinId Open(int polygon, int point = -1, bool tex = false)
    {
        WinId w = tex ? MappingOpenTex(polygon, point) : MappingOpen(polygon, point);
        Turns(1);
        return w;
    }
    static MappingInfo Info(WinId w)
    {
        MappingInfo i{};
        EXPECT_EQ(1, MappingDescribe(w, &i));
        return i;
    }
    static void Click(WinId w, const char* label)
    {
        ASSERT_NE(0, ButtonOf(w, label)) << label;
        ClickWindow(ButtonOf(w, label));
    }
    static void Move(XY p) { InputMessageHook(nullptr, NM_MOUSEMOVE, 0, (int32_t)(((uint32_t)p.second << 16) | (uint32_t)p.first)); }
    static void Pointer(int message, XY p)
    {
        Move(p);
        InputMessageHook(nullptr, message, 0, 0);
        Turns(1);
    }
    // Press, move a turn, release.
    static void Drag(XY from, XY to)
    {
        Pointer(NM_LBUTTONDOWN, from);
        Move(to);
        Turns(1);
        Pointer(NM_LBUTTONUP, to);
    }
    static void Key(int key)
    {
        InputQueueKey(key, 1);
        Turns(1);
        InputQueueKey(key, 0);
        Turns(2);
    }
};

}  // namespace

TEST_F(Mapping, CreateThenDragWritesTheBlockAndOkIsOneUndoStep)
{
    Polygon(3);
    int quad = Polygon(4);
    Bytes before = Used();
    WinId w = Open(quad);
    ASSERT_NE(0, w);
    int wx, wy, ww, wh;
    WinGetRect(w, &wx, &wy, &ww, &wh);
    EXPECT_EQ((std::vector<int>{60, 30, 540, 225}), (std::vector<int>{wx, wy, ww, wh}));
    EXPECT_STREQ("Mapping Coordinates", WinGetTitle(w));
    EXPECT_STREQ("No Coordinates", Info(w).status);
    EXPECT_EQ(0, ButtonOf(w, "NEXT")) << "no point selected";

    Click(w, "Create");
    EXPECT_EQ((Words{0, 0, 16384, 0, 16384, 16384, 0, 16384}), Pairs(quad));
    EXPECT_NE(0, ButtonOf(w, "Remove"));
    EXPECT_STREQ("No Reference Point", Info(w).status);

    // The area is (8, 16) - (442, 191) in the client. Point 2 dragged from 5 pixels off its
    // corner, then past the top right corner, which pins it there.
    MappingInfo i = Info(w);
    EXPECT_EQ((std::vector<int>{8, 16, 442, 191}), (std::vector<int>{i.area.x0, i.area.y0, i.area.x1, i.area.y1}));
    auto At = [&](int x, int y) { return XY(i.clientX + x, i.clientY + y); };
    Pointer(NM_LBUTTONDOWN, At(437, 186));
    Move(At(225, 51));
    Turns(1);
    EXPECT_EQ((Words{0, 0, 16384, 0, 8192, 3276, 0, 16384}), Pairs(quad));
    EXPECT_STREQ(" U:0.500, V:0.199", Info(w).status);
    Pointer(NM_LBUTTONUP, At(225, 51));
    Drag(At(230, 55), At(482, 6));
    const Words pinned{0, 0, 16384, 0, 16384, 0, 0, 16384};
    EXPECT_EQ(pinned, Pairs(quad));
    // A press six pixels off every point drags nothing; out of the window a drag writes nothing.
    Drag(At(442, 22), At(225, 51));
    Drag(At(436, 16), At(225, 51));
    Drag(At(8, 191), At(8, 291));
    EXPECT_EQ(pinned, Pairs(quad));

    // A right press away from the points selects point 0; the status line shows its pair.
    Pointer(NM_RBUTTONDOWN, At(225, 100));
    Pointer(NM_RBUTTONUP, At(225, 100));
    EXPECT_EQ(0, Info(w).selected);
    EXPECT_STREQ("Selected: U:0.000, V:0.000 ", Info(w).status);
    Click(w, "PREV");
    EXPECT_EQ(3, Info(w).selected) << "PREV on point 0 selects the last";
    Click(w, "NEXT");
    EXPECT_EQ(0, Info(w).selected) << "NEXT on the last selects point 0";

    Key(KEY_RETURN);
    EXPECT_FALSE(WinIsWindow(w)) << "Enter is Ok";
    EXPECT_EQ(pinned, Pairs(quad));
    ShapeMUndo();
    EXPECT_EQ(before, Used()) << "one Undo takes back everything the window did";
}

TEST_F(Mapping, AbortPutsBackTheOpeningAndTheTwinPrintsHexadecimal)
{
    int tri = Polygon(3);
    const int16_t uv[6] = {-8192, 4096, 16384, 0, 8192, 16384};
    ASSERT_EQ(0, MeshSetMapping(tri, uv));
    WinId w = Open(tri, 1, true);
    EXPECT_STREQ("Selected: U:4000, V:0000 ", Info(w).status);
    Click(w, "<");
    EXPECT_EQ((Words{8192, 16384, -8192, 4096, 16384, 0}), Pairs(tri));
    Click(w, "COPY 1");
    Click(w, "PASTE 1");   // appears once something was copied
    Click(w, "NEXT");
    Click(w, "PASTE 1");
    EXPECT_EQ((Words{8192, 16384, -8192, 4096, -8192, 4096}), Pairs(tri));
    Key(KEY_ESCAPE);
    EXPECT_FALSE(WinIsWindow(w)) << "Escape is ABORT";
    EXPECT_EQ(Words(uv, uv + 6), Pairs(tri));

    // The decimal window opens where the last one was left, on a polygon without a block;
    // ABORT after Create removes the block again.
    int quad = Polygon(4);
    WinSetPos(w = Open(tri, 0), 100, 40);
    EXPECT_STREQ("Selected: U:-0.500, V:0.250 ", Info(w).status);
    w = Open(quad);
    int x, y;
    WinGetPos(w, &x, &y);
    EXPECT_EQ(XY(100, 40), XY(x, y)) << "one window at a time: the new one takes the old one's place";
    Click(w, "Create");
    ASSERT_EQ(8u, Pairs(quad).size());
    Click(w, "ABORT");
    Turns(1);
    EXPECT_FALSE(WinIsWindow(w));
    EXPECT_TRUE(Pairs(quad).empty());
}

TEST_F(Mapping, AWindowWhosePolygonChangedClosesWithoutWriting)
{
    int tri = Polygon(3);
    Polygon(4);
    WinId w = Open(tri);
    MeshDeletePolygon(tri);   // the quad is polygon 0 now
    Bytes before = Used();
    Click(w, "Create");
    Turns(1);
    EXPECT_FALSE(WinIsWindow(w));
    EXPECT_EQ(before, Used()) << "nothing written to the polygon that took its index";

    // Same index and point count, other vertices (as after a Load): closes as well.
    w = Open(0);
    Polygon(4);
    MeshDeletePolygon(0);   // a quad of other vertices takes index 0
    before = Used();
    Click(w, "Create");
    EXPECT_FALSE(WinIsWindow(w));
    EXPECT_EQ(before, Used());
    EXPECT_EQ(0, Open(5)) << "no such polygon";
}

TEST_F(Mapping, CopyAllAndPasteAllKeepToTheClipboardsSize)
{
    int tri = Polygon(3);
    int five = Polygon(5);
    int big = Polygon(MAPPING_CLIP_PAIRS + 1);
    const int16_t uv[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(0, MeshSetMapping(tri, uv));

    WinId w = Open(big);
    Click(w, "Create");
    Click(w, "COPY ALL");
    ASSERT_NE(0, WinModal());
    EXPECT_STREQ("COPY ALL holds 128 points at most.", MsgBoxText(WinModal()));
    Key(KEY_RETURN);
    EXPECT_EQ(0, WinModal());

    Click(Open(tri), "COPY ALL");
    w = Open(five);
    Click(w, "Create");
    Click(w, "PASTE ALL");
    EXPECT_EQ((Words{1, 2, 3, 4, 5, 6, 0, 16384, 0, 12288}), Pairs(five))
        << "only the three stored pairs: the points past them keep theirs";
    Click(w, "Remove");
    Click(w, "PASTE ALL");
    EXPECT_EQ((Words{1, 2, 3, 4, 5, 6, 0, 0, 0, 0}), Pairs(five)) << "in a new block (0, 0) past them";

    w = Open(big);
    Words pairs = Pairs(big);
    Click(w, "PASTE ALL");
    EXPECT_STREQ("PASTE ALL holds 128 points at most.", MsgBoxText(WinModal()));
    EXPECT_EQ(pairs, Pairs(big));
}

TEST_F(Mapping, TheViewsToolOpensOnTheLastPointAtTheClickedCornerOrOnNone)
{
    // In the Rear view a vertex at (160 dx, -160 dy, 0) is drawn dx, dy pixels from the middle.
    // The quad uses vertex 0 twice: as its first point and as its last.
    SetView(VIEW_REAR);
    ShapeBlock* s = ShapeMEdit();
    for (auto [dx, dy] : {XY{0, 0}, XY{40, 0}, XY{40, 30}}) ShapeAppendVertex(s, 160 * dx, -160 * dy, 0);
    const uint16_t points[4] = {0, 1, 2, 0};
    ASSERT_EQ(ShapeAppendPolygonWithNormal(s, 4, points, 0), 0);
    const int16_t uv[8] = {0, 0, 16384, 0, 16384, 16384, 0, 16384};
    ASSERT_EQ(MeshSetMapping(0, uv), 0);
    EditSetTool(EDIT_TOOL_POLY_MAPPING, 18);
    auto clickInView = [](int dx, int dy) {
        MoveTo(CX + dx, CY + dy);
        Turns(2);
        ClickAt(CX + dx, CY + dy);
        Turns(1);
        return WinFindClass(CLASS_MAPPING);
    };
    WinId w = clickInView(0, 0);
    ASSERT_NE(w, 0);
    EXPECT_EQ(Info(w).selected, 3) << "the last of the two points at vertex 0";
    EXPECT_STREQ(Info(w).status, "Selected: U:0.000, V:1.000 ");
    ASSERT_NO_FATAL_FAILURE(Click(w, "Ok"));
    // Inside the polygon, away from every corner: no point selected.
    w = clickInView(30, 10);
    ASSERT_NE(w, 0);
    EXPECT_EQ(Info(w).selected, -1);
    EXPECT_STREQ(Info(w).status, "No Reference Point");
    EXPECT_EQ(ButtonOf(w, "NEXT"), 0) << "the point buttons wait for a point";
    // On the second corner: its one point.
    Click(w, "Ok");
    w = clickInView(40, 0);
    ASSERT_NE(w, 0);
    EXPECT_EQ(Info(w).selected, 1);
}

TEST_F(Mapping, APointPastTheTextureIsDrawnOnTheAreasEdgeAndCanBePicked)
{
    // U 1.05 for point 2: past the right edge, where the button column stands.
    int p = Polygon(3);
    const int16_t uv[6] = {0, 0, 0, 16384, 17204, 8192};
    ASSERT_EQ(MeshSetMapping(p, uv), 0);
    WinId w = Open(p, 1);
    ASSERT_NE(w, 0);
    MappingInfo info = Info(w);
    const MappingArea& a = info.area;
    auto colourAt = [](int x, int y) {
        uint8_t r, g, b;
        VideoReadPixel(x, y, &r, &g, &b);
        return (uint32_t)((r << 16) | (g << 8) | b);
    };
    const uint32_t marker = VideoPixelTable()[249] & 0xFFFFFF;
    int edgeX = info.clientX + a.x1, midY = info.clientY + (a.y0 + a.y1) / 2;
    int pastX = info.clientX + a.x0 + (int)(((int64_t)(a.x1 - a.x0) * 17204) >> 14);
    ASSERT_GT(pastX, edgeX + 6);
    EXPECT_EQ(colourAt(edgeX, midY), marker) << "the point's marker on the area's right edge";
    EXPECT_NE(colourAt(pastX, midY), marker) << "nothing past it";
    // A right press on the edge picks it: its value is still its own.
    Pointer(NM_RBUTTONDOWN, XY(edgeX, midY));
    Pointer(NM_RBUTTONUP, XY(edgeX, midY));
    Turns(1);
    EXPECT_EQ(Info(w).selected, 2);
    EXPECT_STREQ(Info(w).status, "Selected: U:1.050, V:0.500 ");
}
