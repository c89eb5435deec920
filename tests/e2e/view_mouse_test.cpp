// The camera from scripts: framing on load, Home and F, the wheel about the pointer, orbit and pan
// drags that reach no tool, the facing-away note, and the World Editor's ground.
#include "e2e/e2e.h"

using nlohmann::json;

namespace {

// At 800 x 600 the view's region runs from (1, 11) to (797, 548).
const int kRegionX0 = 1, kRegionY0 = 11, kRegionX1 = 797, kRegionY1 = 548;
const char* const kVertices = "click 335 589\nwait 2\n";
const char* const kPolygons = "click 335 574\nwait 2\n";
const char* const kMesh = "click 460 589\nwait 2\n";

json ViewOf(const json& d)
{
    const json* w = FindWindow(d, ClassText(CLASS_VIEW));
    return w ? (*w)["view"] : json();
}

std::vector<std::string> TextsOf(const json& d)
{
    const json* w = FindWindow(d, ClassText(CLASS_VIEW));
    std::vector<std::string> out;
    if (w && w->contains("texts"))
        for (const json& t : (*w)["texts"]) out.push_back(t);
    return out;
}

// The extents of a shape's vertices (as tolbex-cli reports them), taken with the origin.
void Extents(const json& shape, int lo[3], int hi[3])
{
    for (int a = 0; a < 3; a++) lo[a] = hi[a] = 0;
    for (const json& v : shape["vertices"])
        for (int a = 0; a < 3; a++) {
            lo[a] = std::min(lo[a], v["world"][a].get<int>());
            hi[a] = std::max(hi[a], v["world"][a].get<int>());
        }
}

bool HasText(const json& d, const std::string& start)
{
    for (const std::string& t : TextsOf(d))
        if (t.compare(0, start.size(), start) == 0) return true;
    return false;
}

// The box of the view's pixels (above the status lines) that differ from its background.
struct Box {
    int x0 = 100000, y0 = 100000, x1 = -1, y1 = -1;
    int width() const { return x1 < x0 ? 0 : x1 - x0 + 1; }
    int height() const { return y1 < y0 ? 0 : y1 - y0 + 1; }
};
Box Drawn(const Shot& s)
{
    Box b;
    const uint8_t* bg = s.at(kRegionX0 + 2, kRegionY0 + 2);
    for (int y = kRegionY0; y <= kRegionY1 - 25; y++)
        for (int x = kRegionX0; x <= kRegionX1; x++) {
            const uint8_t* p = s.at(x, y);
            if (p[0] == bg[0] && p[1] == bg[1] && p[2] == bg[2]) continue;
            b.x0 = std::min(b.x0, x);
            b.x1 = std::max(b.x1, x);
            b.y0 = std::min(b.y0, y);
            b.y1 = std::max(b.y1, y);
        }
    return b;
}

}  // namespace

TEST_F(Headless, ALoadedSmallShapeFillsTheViewAndHomeOrFFrameItAgain)
{
    ASSERT_FALSE(Sphere("SMALL.SHP", "300", "200", "100").empty());
    // Loaded: framed at once. The wheel out five notches, Home; the wheel again, F.
    std::string script = std::string(kShapeEditorObject) + kLoad + Choose("SMALL.SHP") +
                         "move 700 500\nwait 2\ndump loaded.json\nscreenshot loaded.bmp\n"
                         "wheel -5\nwait 2\ndump out.json\nscreenshot out.bmp\nkey home\nwait 2\ndump home.json\n"
                         "wheel -3\nwait 2\nkey f\nwait 2\ndump f.json\n";
    ASSERT_TRUE(Runs(script));

    json loaded = ViewOf(Dump("loaded.json"));
    ASSERT_TRUE(loaded.is_object());
    int framed = loaded["distance"];
    EXPECT_LT(framed, 2000) << "a shape of radius 300 is looked at from near, not from 32768";
    EXPECT_GT(framed, 500);
    EXPECT_EQ(loaded["centre"], json::array({0, 0, 0})) << "the sphere's box is centred on the origin";
    // The shape covers a good part of the view: more than a third of its height.
    Box b = Drawn(ReadShot(dir.file("loaded.bmp")));
    EXPECT_GT(b.height(), (kRegionY1 - kRegionY0) / 3) << b.x0 << "," << b.y0 << " " << b.x1 << "," << b.y1;
    EXPECT_GT(b.width(), (kRegionX1 - kRegionX0) / 4);

    // Five notches out: 8/7 each, within ten radii (3000).
    json out = ViewOf(Dump("out.json"));
    EXPECT_NEAR(out["distance"].get<int>(), std::min(3000.0, framed * 1.9493), 2);
    EXPECT_LT(Drawn(ReadShot(dir.file("out.bmp"))).height(), b.height());
    EXPECT_EQ(ViewOf(Dump("home.json"))["distance"], framed) << "Home frames again";
    EXPECT_EQ(ViewOf(Dump("f.json"))["distance"], framed) << "and F";
}

TEST_F(Headless, TheWheelZoomsAParallelViewAboutThePointer)
{
    // Top view: vertices at (600, 150) and (200, 400); three notches in on vertex 0, then five out.
    std::string script = std::string("click 165 75\nwait 4\n") + kTopView + kVertices + "click 15 559\nwait 2\n" +
                         "click 600 150\nclick 200 400\nwait 1\nmove 600 150\nwait 2\ndump before.json\nscreenshot before.bmp\n"
                         "wheel 3\nwait 2\ndump in.json\nmove 200 400\nwait 2\ndump elsewhere.json\n"
                         "move 600 150\nwait 1\nwheel -5\nwait 2\ndump out.json\n";
    ASSERT_TRUE(Runs(script));

    json before = Dump("before.json"), in = Dump("in.json"), elsewhere = Dump("elsewhere.json"), out = Dump("out.json");
    EXPECT_EQ(in["shape"]["vertices"], 2) << "the wheel adds no vertex";
    ASSERT_TRUE(ViewOf(before).contains("pointer"));
    json p0 = ViewOf(before)["pointer"], p1 = ViewOf(in)["pointer"], p2 = ViewOf(out)["pointer"];
    EXPECT_FLOAT_EQ(ViewOf(in)["zoom"].get<float>(), 107.1875f) << "160 x (7/8)^3";
    EXPECT_FLOAT_EQ(ViewOf(out)["zoom"].get<float>(), 208.979592f) << "160 x (8/7)^2";
    for (int a : {0, 2}) {
        EXPECT_NEAR(p1[a].get<int>(), p0[a].get<int>(), 1) << "axis " << a;
        EXPECT_NEAR(p2[a].get<int>(), p0[a].get<int>(), 1) << "axis " << a;
    }
    EXPECT_NE(ViewOf(in)["centre"], ViewOf(before)["centre"]) << "the view moved to keep the point";
    // The vertex drawn under the pointer stays under it; the other moved away from its pixel.
    EXPECT_TRUE(HasText(before, "#0 @"));
    EXPECT_TRUE(HasText(in, "#0 @")) << in.dump();
    EXPECT_TRUE(HasText(out, "#0 @"));
    EXPECT_FALSE(HasText(elsewhere, "#1 @"));
    // Vertex 1's mark, where it was clicked: 3 x 3 yellow pixels, big enough to see.
    Shot shot = ReadShot(dir.file("before.bmp"));
    int yellow = 0;
    for (int y = 396; y <= 404; y++)
        for (int x = 196; x <= 204; x++) yellow += shot.at(x, y)[0] > 250 && shot.at(x, y)[1] > 250 && shot.at(x, y)[2] < 5;
    EXPECT_EQ(yellow, 9);
    // The pointer's world position in plain numbers, across (x) and up (z) the Top view.
    std::string line = "Pointer x " + std::to_string(p1[0].get<int>()) + ", z " + std::to_string(p1[2].get<int>());
    EXPECT_TRUE(HasText(in, line)) << line;
}

TEST_F(Headless, MiddleAndAltDragsOrbitAndPanWithoutReachingTheTools)
{
    ASSERT_FALSE(Sphere("BALL.SHP", "1000", "2000", "1500").empty());
    // With the Mesh panel's rectangle as the tool: middle, Shift+middle, Alt+left drags, then left alone.
    const char* drag = "move 100 60\nwait 1\nmove 300 100\nwait 1\nmove 700 140\nwait 1\n";
    std::string script = std::string(kShapeEditorObject) + kLoad + Choose("BALL.SHP") + kMesh + "dump start.json\n" +
                         "move 100 60\npress middle\nwait 1\n" + drag + "release middle\nwait 2\ndump orbit.json\n" +
                         "keydown lshift\nmove 100 60\npress middle\nwait 1\n" + drag +
                         "release middle\nkeyup lshift\nwait 2\ndump pan.json\n" +
                         "keydown lalt\nmove 100 60\npress left\nwait 1\n" + drag +
                         "release left\nkeyup lalt\nwait 2\ndump alt.json\n" + kTopView + "move 400 300\nkey home\nwait 2\ndump top.json\n" +
                         "move 300 100\npress middle\nwait 1\nmove 350 160\nwait 1\nrelease middle\nwait 2\ndump toppan.json\n" +
                         "move 20 20\npress left\nwait 1\nmove 400 300\nwait 1\nmove 780 530\nwait 1\nrelease left\nwait 3\n"
                         "dump left.json\n";
    ASSERT_TRUE(Runs(script));

    json start = ViewOf(Dump("start.json")), orbit = ViewOf(Dump("orbit.json")), pan = ViewOf(Dump("pan.json"));
    json alt = ViewOf(Dump("alt.json"));
    // Orbit: the orientation turns (mostly about the upright), the centre and distance stay.
    EXPECT_NE(orbit["orientation"], start["orientation"]);
    EXPECT_EQ(orbit["centre"], start["centre"]);
    EXPECT_EQ(orbit["distance"], start["distance"]);
    EXPECT_NEAR(orbit["orientation"][1].get<int>(), start["orientation"][1].get<int>(), 2)
        << "across stays level: the turn is about y";
    // Shift: the centre slides, the orientation stays.
    EXPECT_EQ(pan["orientation"], orbit["orientation"]);
    EXPECT_NE(pan["centre"], orbit["centre"]);
    EXPECT_EQ(pan["distance"], orbit["distance"]);
    // Alt with the left button orbits as the middle button does.
    EXPECT_NE(alt["orientation"], pan["orientation"]);
    EXPECT_EQ(alt["centre"], pan["centre"]);
    // No drag reached the rectangle selection; the plain left drag does.
    for (const char* name : {"orbit.json", "pan.json", "alt.json", "toppan.json"})
        EXPECT_EQ(Dump(name)["shape"]["selectedVertices"], 0) << name;
    EXPECT_EQ(Count(log, "MSGBOX"), 0) << log;
    json left = Dump("left.json");
    EXPECT_GT(left["shape"]["selectedVertices"].get<int>(), 0);
    EXPECT_GT(left["shape"]["selectedPolygons"].get<int>(), 0) << "the faces wholly inside";
    // Home in the Top view frames the ball on its box's centre; a drag of (50, 60) pans with the pointer.
    json top = ViewOf(Dump("top.json")), toppan = ViewOf(Dump("toppan.json"));
    EXPECT_EQ(top["centre"], json::array({0, 0, 0}));
    // Its vertices' extents in x and z, with a fifth of the view to spare (797 x 538 pixels).
    int lo[3], hi[3];
    Extents(CliInfo("shape", "BALL.SHP"), lo, hi);
    EXPECT_NEAR(top["zoom"].get<double>(), std::max((hi[0] - lo[0]) / (797 * 0.8), (hi[2] - lo[2]) / (538 * 0.8)), 0.01);
    double zoom = top["zoom"];
    EXPECT_NEAR(toppan["centre"][0].get<int>(), top["centre"][0].get<int>() - 50 * zoom, 1);
    EXPECT_EQ(toppan["centre"][1], top["centre"][1]);
    EXPECT_NEAR(toppan["centre"][2].get<int>(), top["centre"][2].get<int>() + 60 * zoom, 1);
}

TEST_F(Headless, APolygonMadeFacingAwayIsOutlinedAndNamedAndIFlipsIt)
{
    // In the Front view (looking along -z) a triangle picked left, bottom, right faces away.
    const char* const kFront = "click 791 5\nwait 2\nclick 329 291\nclick 464 307\nwait 2\n";
    std::string script = std::string("click 165 75\nwait 4\n") + kFront + kVertices + "click 15 559\nwait 2\n" +
                         "click 300 200\nclick 500 200\nclick 400 400\nwait 1\n" + kPolygons + "click 15 559\nwait 2\n" +
                         "click 300 200\nclick 400 400\nclick 500 200\nclick 300 200\nwait 2\nmove 700 500\nwait 2\n" +
                         "dump made.json\nscreenshot made.bmp\nkey i\nwait 2\ndump flipped.json\nscreenshot flipped.bmp\n" +
                         // The other way round faces the camera: no note.
                         "click 300 200\nclick 500 200\nclick 400 400\nclick 300 200\nwait 2\ndump facing.json\n";
    ASSERT_TRUE(Runs(script));
    json made = Dump("made.json");
    ASSERT_EQ(made["shape"]["polygons"], 1);
    const std::string note = "Polygon 0 faces away from the camera: press I to flip it.";
    EXPECT_EQ(made["note"], note);
    Shot m = ReadShot(dir.file("made.bmp")), f = ReadShot(dir.file("flipped.bmp"));
    // The top edge, from (300, 200) to (500, 200), outlined in white while it faces away.
    int white = 0, whiteAfter = 0;
    for (int x = 320; x <= 480; x++) {
        white += m.at(x, 200)[0] > 250 && m.at(x, 200)[1] > 250 && m.at(x, 200)[2] > 250;
        whiteAfter += f.at(x, 200)[0] > 250 && f.at(x, 200)[1] > 250 && f.at(x, 200)[2] > 250;
    }
    EXPECT_GT(white, 150);
    EXPECT_LT(whiteAfter, 10) << "flipped, it faces the camera and is drawn";
    EXPECT_FALSE(f.at(400, 250)[0] == m.at(400, 250)[0] && f.at(400, 250)[1] == m.at(400, 250)[1])
        << "the flipped polygon covers its middle";
    json flipped = Dump("flipped.json");
    EXPECT_EQ(flipped["shape"]["polygons"], 1);
    json facing = Dump("facing.json");
    EXPECT_EQ(facing["shape"]["polygons"], 2);
    EXPECT_NE(facing["note"], "Polygon 1 faces away from the camera: press I to flip it.");
}

TEST_F(Headless, ALoadedWorldIsFramedOverItsGroundAndParallelViewsSayWhereThePointerIs)
{
    ASSERT_FALSE(Sphere("ROCK.SHP", "1000", "1000", "1000").empty());
    // Two rocks placed in the Top view, the world saved, New, the world loaded again.
    std::string script =
        std::string(kWorldEditor) + kTopView +
        "click 425 559\nwait 2\nclick 55 574\nwait 1\ntype ROCK.SHP\nclick 35 589\nwait 1\n"
        "click 500 200\nwait 2\nclick 275 589\nwait 2\nclick 700 250\nwait 2\nclick 275 589\nwait 2\n"
        "click 335 574\nwait 2\nclick 267 574\nwait 2\ntype TOWN.WLE\nkey enter\nwait 3\n"
        "click 127 589\nwait 2\nclick 267 559\nwait 2\ntype TOWN.WLE\nkey enter\nwait 3\n"
        "move 400 300\nwait 2\ndump loaded.json\nscreenshot loaded.bmp\n";
    ASSERT_TRUE(Runs(script));

    json wle = CliInfo("world", "TOWN.WLE"), rock = CliInfo("shape", "ROCK.SHP");
    std::vector<json> shapes;
    for (const json& p : wle["packets"])
        if (p["kind"] != "node") shapes.push_back(p);
    ASSERT_EQ(shapes.size(), 2u);
    int lo[3], hi[3];
    Extents(rock, lo, hi);
    // The frame's centre is the middle of the two rocks' boxes (placed unturned).
    json d = Dump("loaded.json"), view = ViewOf(d);
    EXPECT_EQ(d["world"]["shapes"], 2);
    for (int a = 0; a < 3; a++) {
        int p0 = shapes[0]["position"][a], p1 = shapes[1]["position"][a];
        int boxLo = std::min(p0, p1) + lo[a], boxHi = std::max(p0, p1) + hi[a];
        EXPECT_NEAR(view["centre"][a].get<int>(), (boxLo + boxHi) / 2, 1) << "axis " << a;
    }
    // The Top view's zoom fits the rocks' x and z with a fifth to spare.
    int spanX = std::abs(shapes[1]["position"][0].get<int>() - shapes[0]["position"][0].get<int>()) + hi[0] - lo[0];
    int spanZ = std::abs(shapes[1]["position"][2].get<int>() - shapes[0]["position"][2].get<int>()) + hi[2] - lo[2];
    EXPECT_NEAR(view["zoom"].get<double>(), std::max(spanX / (797 * 0.8), spanZ / (538 * 0.8)), 0.01);
    ASSERT_TRUE(view.contains("pointer"));
    std::string line = "Pointer x " + std::to_string(view["pointer"][0].get<int>()) + ", z " +
                       std::to_string(view["pointer"][2].get<int>());
    EXPECT_TRUE(HasText(d, line)) << line;
}

TEST_F(Headless, CreateFramesTheNewShapeAndFFramesTheSelection)
{
    ASSERT_FALSE(Sphere("BALL.SHP", "1000", "2000", "1500").empty());
    // Create Object: a sphere 1000 across (the other sizes as offered, 100).
    std::string script = std::string(kShapeEditorObject) + "click 287 589\nwait 2\ntype 1000\nkey enter\nwait 2\n" +
                         "move 400 300\nwait 2\ndump created.json\n" + kLoad + Choose("BALL.SHP") +
                         "move 400 300\nwait 2\ndump ball.json\n" + kMesh +
                         // The rectangle over the top of the ball, then F.
                         "move 270 60\npress left\nwait 1\nmove 400 100\nwait 1\nmove 530 150\nwait 1\nrelease left\nwait 3\n"
                         "move 400 300\nkey f\nwait 2\ndump top.json\n";
    ASSERT_TRUE(Runs(script));
    json created = ViewOf(Dump("created.json"));
    EXPECT_GT(created["distance"].get<int>(), 1500) << "a sphere 2000 long is seen whole, not from the nearest 500";
    EXPECT_LT(created["distance"].get<int>(), 2600);
    json ball = ViewOf(Dump("ball.json")), top = Dump("top.json");
    ASSERT_GT(top["shape"]["selectedVertices"].get<int>(), 0);
    EXPECT_LT(top["shape"]["selectedVertices"].get<int>(), 42);
    json framed = ViewOf(top);
    EXPECT_GT(framed["centre"][1].get<int>(), 500) << "the selection is the top of the ball";
    EXPECT_LT(framed["distance"].get<int>(), ball["distance"].get<int>()) << "and smaller than the ball";
}
