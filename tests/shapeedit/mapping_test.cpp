// The mapping coordinates windows: the area's arithmetic and the number forms, then the real
// editor in this process with the pointer and keys as the user gives them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/menubar.h"
#include "frontend/msgbox.h"
#include "frontend/run.h"
#include "kernel/util/bytes.h"
#include "shapeedit/mapping.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "shapes/shapem_edit.h"
#include "toolkit/controls.h"

namespace {

std::string Decimal(int c)
{
    char text[16];
    MappingDecimal(c, text, sizeof text);
    return text;
}

std::string Hex(int c)
{
    char text[16];
    MappingHex(c, text, sizeof text);
    return text;
}

// The 540 x 225 window with a border and a title: a client of 538 x 212.
const MappingArea kArea = MappingAreaOf(538, 212);

}  // namespace

TEST(MappingArithmetic, TheAreaMapsCoordinatesToPixelsAndBackPinnedToItsEdges)
{
    EXPECT_EQ(8, kArea.x0);
    EXPECT_EQ(16, kArea.y0);
    EXPECT_EQ(442, kArea.x1);
    EXPECT_EQ(190, kArea.y1);

    int x, y;
    MappingToScreen(&kArea, 0, 16384, &x, &y);
    EXPECT_EQ(8, x);
    EXPECT_EQ(190, y);
    MappingToScreen(&kArea, 8192, 4096, &x, &y);
    EXPECT_EQ(8 + 217, x);
    EXPECT_EQ(16 + 43, y) << "174 / 4 = 43.5, truncated";
    MappingToScreen(&kArea, -8192, 32768, &x, &y);
    EXPECT_EQ(8 - 217, x) << "coordinates outside 0..1 lie outside the area";
    EXPECT_EQ(16 + 348, y);

    int16_t u, v;
    MappingFromScreen(&kArea, 8 + 217, 16 + 87, &u, &v);
    EXPECT_EQ(8192, u);
    EXPECT_EQ(8192, v);
    MappingFromScreen(&kArea, 9, 17, &u, &v);
    EXPECT_EQ(37, u) << "16384 / 434, truncated";
    EXPECT_EQ(94, v) << "16384 / 174, truncated";
    MappingFromScreen(&kArea, 443, 191, &u, &v);
    EXPECT_EQ(16384, u) << "one past the edge pins to it";
    EXPECT_EQ(16384, v);
    MappingFromScreen(&kArea, -40, 7, &u, &v);
    EXPECT_EQ(0, u);
    EXPECT_EQ(0, v);

    // A window too small to have an area gives 0 instead of dividing by nothing.
    MappingArea none = MappingAreaOf(103, 38);
    MappingFromScreen(&none, 50, 20, &u, &v);
    EXPECT_EQ(0, u);
    EXPECT_EQ(0, v);
}

TEST(MappingArithmetic, TurningMovesPairsRoundAndTheDefaultTableEndsInZeros)
{
    int16_t uv[6] = {1, 2, 3, 4, 5, 6};
    MappingTurn(uv, 3, MAPPING_TURN_FORWARD);
    EXPECT_EQ((std::vector<int16_t>{5, 6, 1, 2, 3, 4}), std::vector<int16_t>(uv, uv + 6)) << "\"<\"";
    MappingTurn(uv, 3, MAPPING_TURN_BACK);
    MappingTurn(uv, 3, MAPPING_TURN_BACK);
    EXPECT_EQ((std::vector<int16_t>{3, 4, 5, 6, 1, 2}), std::vector<int16_t>(uv, uv + 6)) << "\">\" undoes \"<\"";

    int16_t pairs[2 * 18];
    memset(pairs, 0x55, sizeof pairs);
    MappingDefaultPairs(pairs, 18);
    EXPECT_EQ((std::vector<int16_t>{0, 0, 16384, 0, 16384, 16384, 0, 16384, 0, 12288}),
              std::vector<int16_t>(pairs, pairs + 10));
    EXPECT_EQ((std::vector<int16_t>{8192, 8192, 0, 0, 0, 0}), std::vector<int16_t>(pairs + 30, pairs + 36))
        << "past the sixteenth row the points get (0, 0)";
}

TEST(MappingArithmetic, DecimalAndHexadecimalForms)
{
    EXPECT_EQ("1.000", Decimal(16384));
    EXPECT_EQ("0.500", Decimal(8192));
    EXPECT_EQ("0.000", Decimal(16));
    EXPECT_EQ("0.001", Decimal(17));
    EXPECT_EQ("1.999", Decimal(32767));
    EXPECT_EQ("-0.500", Decimal(-8192));
    EXPECT_EQ("-1.500", Decimal(-24576));
    EXPECT_EQ("-2.000", Decimal(-32768));
    EXPECT_EQ("0.000", Decimal(-16)) << "nothing to print, no sign";
    EXPECT_EQ("4000", Hex(16384));
    EXPECT_EQ("0010", Hex(16));
    EXPECT_EQ("E000", Hex(-8192)) << "the stored 16-bit value, not a sign-extended one";
}

// ============================================================================================
// The window in the real editor
// ============================================================================================

namespace {

class Mapping : public Run {
protected:
    void SetUp() override { StartEditor(EDITOR_SHAPE); }

    // A polygon over new vertices spread on a circle-ish line, so that no two share an index.
    static int Polygon(int n)
    {
        std::vector<uint16_t> idx;
        for (int k = 0; k < n; k++) idx.push_back((uint16_t)ShapeAppendVertex(ShapeMEdit(), 10 * k, k % 7, 5 * (k % 3)));
        return ShapeAppendPolygon(ShapeMEdit(), n, idx.data(), 0);
    }
    static std::vector<int16_t> Pairs(int polygon)
    {
        uint8_t* p = ShapePolygon(ShapeMEdit()->data, polygon);
        const uint8_t* m = ShapePolyMapping(p);
        std::vector<int16_t> out;
        for (int k = 0; m && k < 2 * ShapePolyPoints(p); k++) out.push_back(GetI16(m, 2 * (size_t)k));
        return out;
    }
    static Bytes Used()
    {
        const uint8_t* b = ShapeMEdit()->data;
        return Bytes(b, b + ShapeUsedSize(b));
    }
    static MappingInfo Info(WinId w)
    {
        MappingInfo i{};
        EXPECT_EQ(1, MappingDescribe(w, &i));
        return i;
    }
    // Presses a button by its label.
    static void Click(WinId w, const char* label)
    {
        for (int slot = 0; slot < WIN_MAX_CHILDREN; slot++) {
            WinId c = WinGetChild(w, slot);
            ControlInfo ci;
            if (c && ControlDescribe(c, &ci) && std::string(ci.text) == label) {
                int x = 0, y = 0;
                WinGetAbsPos(c, &x, &y);
                ClickAt(x + 5, y + 5);
                return;
            }
        }
        ADD_FAILURE() << "no button " << label;
    }
    static bool Has(WinId w, const char* label)
    {
        for (int slot = 0; slot < WIN_MAX_CHILDREN; slot++) {
            ControlInfo ci;
            WinId c = WinGetChild(w, slot);
            if (c && ControlDescribe(c, &ci) && std::string(ci.text) == label) return true;
        }
        return false;
    }
    static void Move(int x, int y)
    {
        InputMessageHook(nullptr, NM_MOUSEMOVE, 0, (int32_t)(((uint32_t)y << 16) | (uint32_t)x));
    }
    // Press at one place, move to the others a turn each, release (unless asked not to).
    static void DragPath(std::vector<std::pair<int, int>> path, bool release = true)
    {
        Move(path[0].first, path[0].second);
        InputMessageHook(nullptr, NM_LBUTTONDOWN, 0, 0);
        Turns(1);
        for (size_t i = 1; i < path.size(); i++) {
            Move(path[i].first, path[i].second);
            Turns(1);
        }
        if (!release) return;
        InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0);
        Turns(1);
    }
    static void RightClick(int x, int y)
    {
        Move(x, y);
        InputMessageHook(nullptr, NM_RBUTTONDOWN, 0, 0);
        Turns(1);
        InputMessageHook(nullptr, NM_RBUTTONUP, 0, 0);
        Turns(1);
    }
    static void Key(int key)
    {
        InputQueueKey(key, 1);
        Turns(1);
        InputQueueKey(key, 0);
        Turns(1);
    }
};

}  // namespace

TEST_F(Mapping, CreateThenDragWritesTheBlockAndOkIsOneUndoStep)
{
    Polygon(3);
    int quad = Polygon(4);
    Bytes before = Used();
    WinId w = MappingOpen(quad, -1);
    ASSERT_NE(0, w);
    Turns(1);
    int wx, wy, ww, wh;
    WinGetRect(w, &wx, &wy, &ww, &wh);
    EXPECT_EQ((std::vector<int>{60, 30, 540, 225}), (std::vector<int>{wx, wy, ww, wh}));
    EXPECT_STREQ("Mapping Coordinates", WinGetTitle(w));
    EXPECT_STREQ("No Coordinates", Info(w).status);
    EXPECT_FALSE(Has(w, "NEXT")) << "no point selected";

    Click(w, "Create");
    EXPECT_EQ((std::vector<int16_t>{0, 0, 16384, 0, 16384, 16384, 0, 16384}), Pairs(quad));
    EXPECT_TRUE(Has(w, "Remove"));
    EXPECT_STREQ("No Reference Point", Info(w).status);

    // The area is (8, 16) - (442, 191) in the client. Point 2 dragged from 5 pixels off its
    // corner, then past the top right corner, which pins it there.
    MappingInfo i = Info(w);
    EXPECT_EQ((std::vector<int>{8, 16, 442, 191}), (std::vector<int>{i.area.x0, i.area.y0, i.area.x1, i.area.y1}));
    auto At = [&](int x, int y) { return std::make_pair(i.clientX + x, i.clientY + y); };
    DragPath({At(437, 186), At(225, 51)}, false);
    EXPECT_EQ((std::vector<int16_t>{0, 0, 16384, 0, 8192, 3276, 0, 16384}), Pairs(quad));
    EXPECT_STREQ(" U:0.500, V:0.199", Info(w).status);
    InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0);
    Turns(1);
    DragPath({At(230, 55), At(482, 6)});
    EXPECT_EQ((std::vector<int16_t>{0, 0, 16384, 0, 16384, 0, 0, 16384}), Pairs(quad));
    // A press six pixels off every point drags nothing; out of the window a drag writes nothing.
    DragPath({At(442, 22), At(225, 51)});
    DragPath({At(436, 16), At(225, 51)});
    DragPath({At(8, 191), At(8, 291)});
    EXPECT_EQ((std::vector<int16_t>{0, 0, 16384, 0, 16384, 0, 0, 16384}), Pairs(quad));

    // A right press away from the points selects point 0; the status line shows its pair.
    RightClick(At(225, 100).first, At(225, 100).second);
    EXPECT_EQ(0, Info(w).selected);
    EXPECT_STREQ("Selected: U:0.000, V:0.000 ", Info(w).status);
    EXPECT_TRUE(Has(w, "NEXT"));
    Click(w, "PREV");
    EXPECT_EQ(3, Info(w).selected) << "PREV on point 0 selects the last";
    Click(w, "NEXT");
    EXPECT_EQ(0, Info(w).selected) << "NEXT on the last selects point 0";

    Key(KEY_RETURN);
    Turns(1);
    EXPECT_FALSE(WinIsWindow(w)) << "Enter is Ok";
    EXPECT_EQ((std::vector<int16_t>{0, 0, 16384, 0, 16384, 0, 0, 16384}), Pairs(quad));
    ShapeMUndo();
    EXPECT_EQ(before, Used()) << "one Undo takes back everything the window did";
}

TEST_F(Mapping, AbortPutsBackTheOpeningAndTheTwinPrintsHexadecimal)
{
    int tri = Polygon(3);
    const int16_t uv[6] = {-8192, 4096, 16384, 0, 8192, 16384};
    ASSERT_EQ(0, MeshSetMapping(tri, uv));
    WinId w = MappingOpenTex(tri, 1);
    Turns(1);
    EXPECT_STREQ("Selected: U:4000, V:0000 ", Info(w).status);
    Click(w, "<");
    EXPECT_EQ((std::vector<int16_t>{8192, 16384, -8192, 4096, 16384, 0}), Pairs(tri));
    Click(w, "COPY 1");
    Click(w, "PASTE 1");   // appears once something was copied
    Click(w, "NEXT");
    Click(w, "PASTE 1");
    EXPECT_EQ((std::vector<int16_t>{8192, 16384, -8192, 4096, -8192, 4096}), Pairs(tri));
    Key(KEY_ESCAPE);
    Turns(1);
    EXPECT_FALSE(WinIsWindow(w)) << "Escape is ABORT";
    EXPECT_EQ((std::vector<int16_t>{-8192, 4096, 16384, 0, 8192, 16384}), Pairs(tri));

    // The decimal window opens where the last one was left, on a polygon without a block;
    // ABORT after Create removes the block again.
    int quad = Polygon(4);
    WinSetPos(w = MappingOpen(tri, 0), 100, 40);
    Turns(1);
    EXPECT_STREQ("Selected: U:-0.500, V:0.250 ", Info(w).status);
    w = MappingOpen(quad, -1);
    Turns(1);
    int x, y;
    WinGetPos(w, &x, &y);
    EXPECT_EQ(100, x) << "one window at a time: the new one takes the old one's place";
    EXPECT_EQ(40, y);
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
    WinId w = MappingOpen(tri, -1);
    Turns(1);
    MeshDeletePolygon(tri);   // the quad is polygon 0 now
    Bytes before = Used();
    Click(w, "Create");
    Turns(1);
    EXPECT_FALSE(WinIsWindow(w));
    EXPECT_EQ(before, Used()) << "nothing written to the polygon that took its index";

    // Same index and point count, other vertices (as after a Load): closes as well.
    w = MappingOpen(0, -1);
    Turns(1);
    Polygon(4);
    MeshDeletePolygon(0);   // a quad of other vertices takes index 0
    before = Used();
    Key(KEY_ESCAPE);
    Turns(1);
    EXPECT_FALSE(WinIsWindow(w));
    EXPECT_EQ(before, Used()) << "ABORT wrote nothing";
    EXPECT_EQ(0, MappingOpen(5, -1)) << "no such polygon";
}

TEST_F(Mapping, CopyAllAndPasteAllKeepToTheClipboardsSize)
{
    int tri = Polygon(3);
    int five = Polygon(5);
    int big = Polygon(MAPPING_CLIP_PAIRS + 1);
    const int16_t uv[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(0, MeshSetMapping(tri, uv));

    WinId w = MappingOpen(big, -1);
    Turns(1);
    Click(w, "Create");
    Click(w, "COPY ALL");
    ASSERT_NE(0, WinModal());
    EXPECT_STREQ("COPY ALL holds 128 points at most.", MsgBoxText(WinModal()));
    Key(KEY_RETURN);
    EXPECT_EQ(0, WinModal());

    w = MappingOpen(tri, -1);
    Turns(1);
    Click(w, "COPY ALL");
    w = MappingOpen(five, -1);
    Turns(1);
    Click(w, "Create");
    Click(w, "PASTE ALL");
    EXPECT_EQ((std::vector<int16_t>{1, 2, 3, 4, 5, 6, 0, 16384, 0, 12288}), Pairs(five))
        << "only the three stored pairs: the points past them keep theirs";
    Click(w, "Remove");
    Click(w, "PASTE ALL");
    EXPECT_EQ((std::vector<int16_t>{1, 2, 3, 4, 5, 6, 0, 0, 0, 0}), Pairs(five)) << "in a new block (0, 0) past them";

    w = MappingOpen(big, -1);
    Turns(1);
    std::vector<int16_t> pairs = Pairs(big);
    Click(w, "PASTE ALL");
    EXPECT_STREQ("PASTE ALL holds 128 points at most.", MsgBoxText(WinModal()));
    EXPECT_EQ(pairs, Pairs(big));
}
