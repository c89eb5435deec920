// The World Editor from scripts: shapes placed and selected, nodes linked, the world saved and exported.
#include "e2e/e2e.h"

using nlohmann::json;

TEST_F(Headless, AWorldBuiltInTheWorldEditorIsSavedAndExported)
{
    ASSERT_FALSE(Sphere("ROCK.SHP", "1000", "1000", "1000").empty());
    // Menu bar at (320, 550): "World" (335, 574), "Edit Shapes" (335, 589), "Add Shapes"
    // (425, 559), "Nodes" (425, 574). Nodes "Add" (89, 574), "Exit" (15, 559); the context
    // grid's second button (161, 574) is "Link" with two nodes selected. View Setup: "Top"
    // (329, 273), "Ok" (464, 307). Add Shapes: Shape field (55, 574), "Tr" (35, 589), "Add"
    // (275, 589). Edit Shapes "Mult" (75, 589). World "Save" (267, 574), "Save Runtime" (217, 589).
    std::string script =
        "click 165 90\nwait 4\n"
        "click 425 574\nwait 2\nclick 89 574\nwait 2\nclick 400 300\nwait 2\ndump perspective.json\nkey enter\nwait 2\n"
        "click 15 559\nwait 2\nclick 791 5\nwait 2\nclick 329 273\nclick 464 307\nwait 2\n"
        "click 425 559\nwait 2\nclick 55 574\nwait 1\ntype ROCK.SHP\nclick 35 589\nwait 1\n"
        "click 500 200\nwait 2\nclick 275 589\nwait 2\nclick 600 200\nwait 2\nclick 275 589\nwait 2\ndump added.json\n"
        "click 335 589\nwait 2\nclick 75 589\nwait 2\n"
        "move 450 170\npress left\nwait 1\nmove 550 200\nwait 1\nmove 650 230\nwait 1\nrelease left\nwait 3\n"
        "dump selected.json\n"
        "click 425 574\nwait 2\nclick 89 574\nwait 2\nclick 500 120\nwait 1\nclick 600 120\nwait 2\n"
        "click 15 559\nwait 2\nclick 161 574\nwait 2\n"
        "click 335 574\nwait 2\nclick 267 574\nwait 2\ntype TOWN.WLE\nkey enter\nwait 3\n"
        "click 217 589\nwait 2\ntype TOWN.WLE\nkey enter\nwait 10\ndump saved.json\n";
    ASSERT_TRUE(Runs(script));
    auto world = [&](const char* name) { return Dump(name)["world"]; };

    EXPECT_EQ(world("perspective.json")["nodes"], 0) << "no node is placed in the perspective view";
    EXPECT_TRUE(Logged("MSGBOX \"Add Node\" \"Not on perspective view you don't!\""));
    EXPECT_EQ(world("added.json")["shapes"], 2);
    EXPECT_EQ(world("selected.json")["selectedShapes"], 2) << "the rectangle takes both";
    json saved = world("saved.json");
    EXPECT_EQ(saved["nodes"], 2);
    EXPECT_EQ(saved["file"], dir.file("TOWN.WLE"));
    EXPECT_FALSE(Logged("Error During Save"));
    // Both saves said so on the status line, and left nothing unsaved.
    EXPECT_TRUE(Logged("STATUS \"Saved TOWN.WLE\""));
    EXPECT_TRUE(Logged("STATUS \"Saved TOWN.WLE and TOWN.WLD\""));
    EXPECT_EQ(Dump("saved.json")["note"], "Saved TOWN.WLE and TOWN.WLD");
    EXPECT_EQ(ViewTitle(Dump("saved.json")), dir.file("TOWN.WLE"));

    json wle = CliInfo("world", "TOWN.WLE");
    std::vector<json> shapes, nodes;
    for (const json& p : wle["packets"]) (p["kind"] == "node" ? nodes : shapes).push_back(p);
    ASSERT_EQ(shapes.size(), 2u);
    ASSERT_EQ(nodes.size(), 2u);
    // Where the clicks were, 100 pixels apart, the sphere's lowest point on the ground (no terrain).
    EXPECT_EQ(shapes[0]["position"][1], 1000);
    EXPECT_GT(shapes[1]["position"][0].get<int>(), shapes[0]["position"][0].get<int>());
    EXPECT_EQ(shapes[0]["position"][2], shapes[1]["position"][2]);
    // Linked both ways.
    EXPECT_EQ(nodes[0]["previous"], nodes[1]["id"]);
    EXPECT_EQ(nodes[1]["next"], nodes[0]["id"]);

    // The runtime world and its archive beside the world file.
    EXPECT_EQ(CliInfo("world", "TOWN.WLD")["wxpName"], "TOWN.wxp");
    EXPECT_TRUE(PathExists(dir.file("TOWN.wxp")));
}

TEST_F(Headless, AMonorailIsBuiltFromTheNodesPanel)
{
    // The rail materials in the MAT file the settings name, read at the editor's start.
    WriteRailMaterials(dir.file("rail.mat"));
    WriteText(dir.file("tolbex.ini"), "materials=rail.mat\n");
    // Two nodes added and linked; a click picks the first (Mult off); "Monorail" (213, 574).
    std::string script = std::string(kWorldEditor) + kTopView +
                         "click 425 574\nwait 2\nclick 89 574\nwait 2\nclick 400 100\nwait 1\nclick 600 100\nwait 2\n"
                         "click 15 559\nwait 2\nclick 161 574\nwait 2\nclick 400 100\nwait 2\ndump picked.json\n"
                         "click 213 574\nwait 10\ndump built.json\n"
                         // A click picks one net shape; "DelNet" (213, 589) removes the whole net.
                         "click 335 589\nwait 2\nmove 500 100\nwait 2\nclick 500 100\nwait 2\ndump netpick.json\n"
                         "click 213 589\nwait 10\ndump removed.json\n";
    ASSERT_TRUE(Runs(script));
    json picked = Dump("picked.json")["world"];
    EXPECT_EQ(picked["selectedNodes"], 1);
    json built = Dump("built.json")["world"];
    EXPECT_GT(built["shapes"].get<int>(), 0) << log;
    EXPECT_FALSE(Logged("MSGBOX"));

    EXPECT_EQ(Dump("netpick.json")["world"]["selectedShapes"], 1);
    EXPECT_EQ(Dump("removed.json")["world"]["shapes"], 0) << log;
    EXPECT_TRUE(Logged("WORLD: monorail net 1:"));
    EXPECT_FALSE(PathExists(dir.file("W~R00000.SHP"))) << "the net's shape files go with it";
}

TEST_F(Headless, EditedShapesAreSavedAndAMissingShapeStopsTheRuntimeSave)
{
    ASSERT_FALSE(Sphere("ROCK.SHP", "1000", "1000", "1000").empty());
    // A named shape ("Dy") and an unnamed one ("Tr") taken by a rectangle; Rotate (213, 559) ">>",
    // "Ok"; Hide (213, 574); HillY (265, 559); saved as TOWN.WLE.
    std::string edit = std::string(kWorldEditor) + kTopView +
                       "click 425 559\nwait 2\nclick 55 574\nwait 1\ntype ROCK.SHP\n"
                       "click 500 200\nwait 2\nclick 275 589\nwait 2\nclick 35 589\nwait 1\nclick 600 200\nwait 2\n"
                       "click 275 589\nwait 2\nclick 335 589\nwait 2\nclick 75 589\nwait 2\n"
                       "move 450 170\npress left\nwait 1\nmove 550 200\nwait 1\nmove 650 230\nwait 1\nrelease left\nwait 3\n"
                       "click 213 559\nwait 2\nclick 105 54\nwait 1\nclick 75 85\nwait 2\n"
                       "click 213 574\nwait 2\nclick 265 559\nwait 2\n"
                       "click 335 574\nwait 2\nclick 267 574\nwait 2\ntype TOWN.WLE\nkey enter\nwait 3\n";
    ASSERT_TRUE(Runs(edit));
    json wle = CliInfo("world", "TOWN.WLE");
    ASSERT_EQ(wle["packets"].size(), 2u);
    const json &named = wle["packets"][0], &plain = wle["packets"][1];
    EXPECT_EQ(named["name"], "AAAA");
    EXPECT_EQ(named["yaw"], 1024) << "a named shape turns";
    EXPECT_EQ(plain["yaw"], 0) << "scenery does not";
    for (const json& p : wle["packets"]) {
        EXPECT_TRUE(p["flags"].get<int>() & 0x4000) << "hidden";
        EXPECT_EQ(p["position"][1], 1000) << "on the ground of a world without terrain";
    }

    // The shape file gone: the world loads, and Save Runtime names the missing one and writes nothing.
    ASSERT_EQ(std::remove(dir.file("ROCK.SHP").c_str()), 0);
    const Bytes before = ReadBytes(dir.file("TOWN.WLE"));
    ASSERT_TRUE(Runs("click 165 90\nwait 4\nclick 335 574\nwait 2\nclick 267 559\nwait 2\ntype TOWN.WLE\nkey enter\nwait 3\n"
                     "click 217 589\nwait 2\ntype TOWN.WLE\nkey enter\nwait 10\n"));
    EXPECT_TRUE(Logged("MSGBOX \"Error During Save\" \"Shape Missing\""));
    EXPECT_FALSE(PathExists(dir.file("TOWN.WLD")));
    EXPECT_FALSE(PathExists(dir.file("TOWN.wxp")));
    EXPECT_EQ(before, ReadBytes(dir.file("TOWN.WLE")));
    EXPECT_FALSE(PathExists(dir.file("TOWN.~LE")));
}

TEST_F(Headless, AMonorailOnNodesLaidOutInATopViewGoesIntoTheRuntimeWorld)
{
    WriteRailMaterials(dir.file("rail.mat"));
    WriteText(dir.file("tolbex.ini"), "materials=rail.mat\n");
    // Two nodes linked, the first picked, "Monorail"; "Save Runtime" (217, 589) as TOWN.WLE.
    const std::string nodes = "click 425 574\nwait 2\nclick 89 574\nwait 2\nclick 400 60\nwait 1\nclick 600 60\nwait 2\n"
                              "click 15 559\nwait 2\nclick 161 574\nwait 2\nclick 400 60\nwait 2\n";
    std::string script = std::string(kWorldEditor) + kTopView + nodes + "click 213 574\nwait 10\ndump built.json\n" +
                         "click 335 574\nwait 2\nclick 217 589\nwait 2\ntype TOWN.WLE\nkey enter\nwait 10\n"
                         "dump saved.json\n";
    ASSERT_TRUE(Runs(script));
    EXPECT_FALSE(Logged("MSGBOX"));
    EXPECT_EQ(Dump("built.json")["world"]["shapes"], 2) << "a track and its pylon";
    EXPECT_EQ(Dump("saved.json")["world"]["file"], dir.file("TOWN.WLE"));

    json wle = CliInfo("world", "TOWN.WLE");
    std::vector<json> shapes, nodesOut;
    for (const json& p : wle["packets"]) (p["kind"] == "node" ? nodesOut : shapes).push_back(p);
    ASSERT_EQ(nodesOut.size(), 2u);
    ASSERT_EQ(shapes.size(), 2u);
    for (const json& n : nodesOut) EXPECT_EQ(n["position"][1], 4096) << "over the ground by the default clearance";
    EXPECT_EQ(shapes[0]["file"], "W~R00000.SHP");
    EXPECT_EQ(shapes[0]["position"][1], 4096) << "the track between its nodes";
    // The runtime world holds both pieces.
    json wld = CliInfo("world", "TOWN.WLD");
    EXPECT_EQ(wld["wxpName"], "TOWN.wxp");
    int copies = 0;
    for (const json& p : wld["packets"]) copies += p["kind"] == "worldshape";
    EXPECT_EQ(copies, 2) << wld.dump();
    EXPECT_TRUE(PathExists(dir.file("TOWN.wxp")));
}

TEST_F(Headless, AWorldFileDroppedOnTheWorldEditorLoads)
{
    ASSERT_FALSE(Sphere("ROCK.SHP", "1000", "1000", "1000").empty());
    // Two rocks saved as TOWN.WLE; then a new run drops the file on the World Editor.
    ASSERT_TRUE(Runs(std::string(kWorldEditor) + kTopView +
                     "click 425 559\nwait 2\nclick 55 574\nwait 1\ntype ROCK.SHP\nclick 35 589\nwait 1\n"
                     "click 500 200\nwait 2\nclick 275 589\nwait 2\nclick 600 200\nwait 2\nclick 275 589\nwait 2\n"
                     "click 335 574\nwait 2\nclick 267 574\nwait 2\ntype TOWN.WLE\nkey enter\nwait 3\n"));
    ASSERT_TRUE(PathExists(dir.file("TOWN.WLE")));
    ASSERT_TRUE(Runs("click 165 90\nwait 4\ndump empty.json\ndrop TOWN.WLE\nwait 4\ndump dropped.json\n"));
    EXPECT_EQ(Dump("empty.json")["world"]["shapes"], 0);
    json world = Dump("dropped.json")["world"];
    EXPECT_EQ(world["shapes"], 2);
    EXPECT_EQ(world["file"], "TOWN.WLE") << "the name as dropped";
}

namespace {

// A flat-coloured 32-bit sprite file of 8 x 8.
Bytes FlatSprite(uint8_t r, uint8_t g, uint8_t b)
{
    Bytes s(32, 0);
    memcpy(s.data(), "BGRS", 4);
    PutU32(s.data(), 4, 8);
    PutU32(s.data(), 8, 8);
    for (int i = 0; i < 64; i++) s.insert(s.end(), {b, g, r, 255});
    s.resize(s.size() + 4, 0);
    return s;
}

// Tiles of 16,384: a flat terrain at 0 of 3 x 2 tiles in a red and green chequer (tile bytes 0 and
// 1), and CUBE.SHP over the middle of tile (1, 0) at the height given.
Bytes ChequerWorld(int32_t cubeY)
{
    Bytes w(168, 0);
    const std::pair<int, uint32_t> header[] = {{4, 0}, {8, 16384}, {16, 19}, {24, 3}, {28, 1}, {32, 2}, {40, 28377}};
    for (auto [at, v] : header) PutU32(w.data(), at, v);
    Bytes s(88, 0);
    PutU16(s.data(), 0, 0x1008);
    PutI32(s.data(), 12, 16384 + 8192);
    PutI32(s.data(), 16, cubeY);
    PutI32(s.data(), 20, 8192);
    memcpy(s.data() + 24, "CUBE", 4);
    PutU16(s.data(), 60, 0xFFFF);
    w.insert(w.end(), s.begin(), s.end());
    Bytes t(3484, 0);
    const std::pair<int, uint32_t> fields[] = {{12, 3484}, {16, 1}, {20, 7},  {24, 5},     {32, 16384},
                                               {36, 3},    {40, 2}, {44, 2},  {48, 16},    {3380, 0x7FFFFFFF},
                                               {3384, 0x80000000u}};
    PutU16(t.data(), 0, 0x1009);
    for (auto [at, v] : fields) PutU32(t.data(), at, v);
    memcpy(t.data() + 52, "red.spr", 7);
    memcpy(t.data() + 65, "green.spr", 9);
    t.resize(t.size() + 36, 0);
    PutU32(t.data(), 8, (uint32_t)t.size());
    for (uint8_t b : {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0}) t.push_back(b);
    PutU32(t.data(), 4, (uint32_t)t.size());
    w.insert(w.end(), t.begin(), t.end());
    PutU32(w.data(), 0, (uint32_t)w.size());
    return w;
}

}   // namespace

// The terrain in a Top view zoomed out over it (pixels found from the dumped zoom and centre): each
// tile in its material, a worldshape over the ground in front of it, one under it hidden.
TEST_F(Headless, TheWorldEditorDrawsTheTerrainsTilesBehindTheShapes)
{
    WriteBytes(dir.file("red.spr"), FlatSprite(220, 30, 30));
    WriteBytes(dir.file("green.spr"), FlatSprite(30, 220, 30));
    ASSERT_FALSE(Sphere("CUBE.SHP", "3000", "3000", "3000").empty());
    WriteBytes(dir.file("OVER.WLE"), ChequerWorld(5000));
    WriteBytes(dir.file("UNDER.WLE"), ChequerWorld(-5000));
    // The cube has no material: the flat black Dummy tells it from both tiles and the background.
    WriteText(dir.file("tolbex.ini"), "dummycolour=0,0,0\n");
    // The drawing centre: the middle of the client area under the 11-pixel title bar.
    const int cx = 399, cy = 11 + 538 / 2;
    auto load = [](const char* name) { return "click 335 574\nwait 2\nclick 267 559\nwait 2\n" + Choose(name); };
    const std::string zoomOut = "move " + std::to_string(cx) + " " + std::to_string(cy) + "\nwheel -19\nwait 2\n";
    ASSERT_TRUE(Runs(std::string(kWorldEditor) + load("OVER.WLE") + kTopView + zoomOut + "dump over.json\nscreenshot over.bmp\n" +
                     load("UNDER.WLE") + "wait 2\n" + zoomOut + "dump under.json\nscreenshot under.bmp\n"));
    struct Place {
        double zoom, x, z;
    };
    auto place = [&](const char* dumpName) {
        const nlohmann::json dump = Dump(dumpName);
        const nlohmann::json* view = FindWindow(dump, ClassText(CLASS_VIEW));
        EXPECT_NE(view, nullptr);
        if (!view) return Place{1, 0, 0};
        EXPECT_EQ((*view)["view"]["type"], 3);
        double zoom = (*view)["view"]["zoom"];
        EXPECT_GT(zoom, 120.0) << "a tile of 16,384 fits the view well inside its width";
        return Place{zoom, (double)(*view)["view"]["centre"][0], (double)(*view)["view"]["centre"][2]};
    };
    const Place overAt = place("over.json"), underAt = place("under.json");
    auto colourAt = [&](const Shot& s, const Place& at, double tileX, double tileZ) {
        int x = cx + (int)std::lround((tileX * 16384 - at.x) / at.zoom);
        int y = cy - (int)std::lround((tileZ * 16384 - at.z) / at.zoom);
        const uint8_t* p = s.at(x, y);
        return p[0] > 2 * p[1] && p[0] > 2 * p[2] ? 'R' : p[1] > 2 * p[0] && p[1] > 2 * p[2] ? 'G' : s.black(x, y) ? 'K' : '-';
    };
    Shot over = ReadShot(dir.file("over.bmp")), under = ReadShot(dir.file("under.bmp"));
    ASSERT_EQ(over.width, 800);
    ASSERT_EQ(under.width, 800);
    // Tile bytes row by row: 0 1 0 / 1 0 1 (red, green); outside the terrain, neither.
    std::string seen, hidden;
    for (double z : {0.5, 1.5})
        for (double x : {-0.5, 0.5, 1.5, 2.5}) {
            seen += colourAt(over, overAt, x, z);
            hidden += colourAt(under, underAt, x, z);
        }
    EXPECT_EQ("-RKR-GRG", seen) << "the cube stands over tile (1, 0), in front of it";
    EXPECT_EQ("-RGR-GRG", hidden) << "the cube under the ground is hidden by it";
}
