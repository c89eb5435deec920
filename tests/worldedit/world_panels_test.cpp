// The World and Add Shapes panels: files through the real selector, the view's positions by hand.
#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/filesel.h"
#include "frontend/menubar.h"
#include "frontend/msgbox.h"
#include "materials/intmat.h"
#include "world/terrain.h"
#include "shapeedit/panels.h"
#include "world/worldm_fixture.h"
#include "worldedit/addshapes.h"
#include "worldedit/worldpanel.h"

namespace {

class WorldPanels : public Panels {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(WriteBytes(dir.file("ROCK.SHP"), BoxShape(-10, -20, -30, 10, 20, 30)));
        StartEditor(EDITOR_WORLD);
    }
    // Answers the open selector with a path, typed into its name field.
    static void Choose(const std::string& path)
    {
        ASSERT_NE(FileSelWindow(), 0);
        for (WinId c : ChildrenOf(FileSelWindow(), CLASS_EDIT)) Fill(c, path.c_str());
        Key(KEY_RETURN);
        ASSERT_EQ(FileSelWindow(), 0);
    }
    // The box on screen: its title and text; answered.
    static std::pair<std::string, std::string> Box()
    {
        WinId box = WinModal();
        if (WinGetClass(box) != CLASS_MESSAGEBOX) return {};
        std::pair<std::string, std::string> shown{WinGetTitle(box), MsgBoxText(box)};
        Key(KEY_RETURN);
        return shown;
    }
    static Bytes World() { return Bytes(WorldMImage(), WorldMImage() + WorldMUsed()); }
    static void OneCell()
    {
        WorldMSetCellsX(1);
        WorldMSetCellsY(1);
        WorldMSetCellsZ(1);
    }
    static WinId Panel()
    {
        if (!WinFindClass(CLASS_WORLD_PANEL)) Click("World");
        return WinFindClass(CLASS_WORLD_PANEL);
    }
    void Load(const std::string& name)
    {
        Click("Load", Panel());
        Choose(dir.file(name));
    }
    void Save(const std::string& button, const std::string& name)
    {
        Click(button, Panel());
        Choose(dir.file(name));
    }
    // The ground under a point, or "none" when the query misses.
    static std::string Ground(int32_t x, int32_t z)
    {
        int32_t h = 0;
        return TerrainGroundHeight(x, z, &h) ? std::to_string(h) : "none";
    }
};

// An 8 x 8 sprite file of one colour.
Bytes Sprite(uint8_t colour)
{
    Bytes b;
    AppendText(b, "TRPS", 4);
    for (uint32_t v : {8u, 8u, 0u, 0u, 0xFFFFFFFFu, 0u, 0u, 48u, 0u, 0u, 0u}) AppendU32(b, v);
    b.resize(b.size() + 64, colour);
    return b;
}

// A world file of a flat terrain at sample x 64 whose first texture is the one named.
Bytes TerrainWorld(uint8_t sample, const char* texture)
{
    Bytes t = FlatTerrain(sample);
    PutU32(t.data(), TP_NAME_COUNT, 1);
    memcpy(t.data() + TP_NAMES, texture, strlen(texture));
    return WleImage().Append(t).Done();
}

// A world whose one tile has 257 x 257 samples: more points than a collision shape can number.
Bytes BigTileWorld()
{
    Bytes t = FlatTerrain(0);
    t.resize(TP_SAMPLES_AT);
    PutU32(t.data(), TP_SHIFT, 8);
    PutU32(t.data(), TP_ACROSS, 257);
    PutU32(t.data(), TP_DEEP, 257);
    t.resize((TP_SAMPLES_AT + 257 * 257 + 3) & ~3u, 0);
    PutU32(t.data(), TP_TILES, (uint32_t)t.size());
    t.resize(t.size() + 4, 0);
    PutU32(t.data(), TP_LENGTH, (uint32_t)t.size());
    return WleImage().Append(t).Done();
}

}  // namespace

TEST_F(WorldPanels, SaveRuntimeOfATerrainTheGameCannotCollideWithIsRefusedInABox)
{
    ASSERT_TRUE(WriteBytes(dir.file("BIG.WLE"), BigTileWorld()));
    Load("BIG.WLE");
    ASSERT_EQ(WinModal(), 0u) << "the editor shows the terrain";
    Bytes world = World();
    Save("Save Runtime", "HUGE.WLE");
    Turns(2);
    EXPECT_EQ(Box(), std::make_pair(std::string("Error During Save"), std::string("too many points in collision shape")));
    for (const char* none : {"HUGE.WLE", "HUGE.WLD", "HUGE.wxp"}) EXPECT_FALSE(PathExists(dir.file(none))) << none;
    EXPECT_EQ(World(), world) << "the world stays as it was, to be saved as a world";
    Save("Save", "HUGE.WLE");
    Turns(2);
    EXPECT_EQ(WinModal(), 0u);
    EXPECT_EQ(ReadBytes(dir.file("HUGE.WLE")), ReadBytes(dir.file("BIG.WLE")));
}

TEST_F(WorldPanels, SaveNewLoadRoundTripAndADamagedFileLeavesTheWorldAsItWas)
{
    EXPECT_EQ(std::string(WorldPanelFileName()), "") << "an untitled world has no file";
    EXPECT_EQ(std::string(WorldPanelName()), "UNTITLED.WLE");
    // One cell holding the shape, so that the runtime save below has a world to build.
    OneCell();
    ASSERT_GT(WorldMAddShape("ROCK.SHP", 100, 100, 200, 0), 0);
    Bytes saved = World();
    Click("World");
    WinId panel = WinFindClass(CLASS_WORLD_PANEL);
    ASSERT_NE(panel, 0);

    Click("Save", panel);
    Choose(dir.file("TOWN.WLE"));
    EXPECT_TRUE(PathExists(dir.file("TOWN.WLE")));
    EXPECT_EQ(std::string(WorldPanelFileName()), dir.file("TOWN.WLE"));

    Click("New", panel);
    EXPECT_EQ(WorldMCountShapes(), 0);
    EXPECT_EQ(std::string(WorldPanelName()), "UNTITLED.WLE");
    EXPECT_EQ(std::string(WorldPanelFileName()), "");

    Click("Load", panel);
    EXPECT_EQ(std::string(WinGetTitle(FileSelWindow())), "Load World");
    Choose(dir.file("TOWN.WLE"));
    EXPECT_EQ(World(), saved);
    EXPECT_EQ(std::string(WorldPanelName()), "TOWN.WLE");

    // A file cut short is refused: world and name stay, the box gives the table's text.
    Bytes damaged = ReadBytes(dir.file("TOWN.WLE"));
    damaged.resize(100);
    ASSERT_TRUE(WriteBytes(dir.file("BAD.WLE"), damaged));
    Click("Load", panel);
    Choose(dir.file("BAD.WLE"));
    EXPECT_EQ(Box(), std::make_pair(std::string("Error During Load"), std::string("Failed to load WLE file.")));
    EXPECT_EQ(World(), saved);
    EXPECT_EQ(std::string(WorldPanelName()), "TOWN.WLE");

    // Save Runtime refuses a runtime file's name before writing; then writes both under the name.
    Click("Save Runtime", panel);
    Choose(dir.file("CITY.WLD"));
    EXPECT_EQ(Box(), std::make_pair(std::string("Error During Save"), std::string("Failed to save WLE file.")));
    EXPECT_EQ(std::string(WorldPanelName()), "TOWN.WLE");
    Click("Save Runtime", panel);
    Choose(dir.file("CITY.WLE"));
    Turns(1);
    EXPECT_EQ(std::string(WorldPanelFileName()), dir.file("CITY.WLE"));
    EXPECT_TRUE(PathExists(dir.file("CITY.WLE")));
    EXPECT_TRUE(PathExists(dir.file("CITY.WLD")));
}

TEST_F(WorldPanels, AddShapesTakesThePositionFromTheViewAndRefusesNamesWithABox)
{
    Click("Add Shapes");
    WinId panel = WinFindClass(CLASS_ADD_SHAPES_PANEL);
    ASSERT_NE(panel, 0);
    EXPECT_EQ(EditToolMode(), EDIT_TOOL_SHAPE_POSITION);
    std::vector<WinId> f = Fields(panel);   // X, Z, Shape, Name
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(FieldText(f[0]), "0");
    EXPECT_EQ(FieldText(f[3]), "AAAA");

    Send(panel, PANEL_MSG_POSITION_X, 0x1234, 0);
    Send(panel, PANEL_MSG_POSITION_Y, 0x777, 0);
    Send(panel, PANEL_MSG_POSITION_Z, -16, 0);
    EXPECT_EQ(FieldText(f[0]), "00001234");
    EXPECT_EQ(FieldText(f[1]), "FFFFFFF0");
    Fill(f[2], "ROCK.SHP");
    Click("Add", panel);
    ASSERT_EQ(WorldMCountShapes(), 1);
    const uint8_t* s = WorldMShapeFindData((uint16_t)WorldMFindShapeByName(Name4("AAAA")));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(GetI32(s, WS_X), 0x1234);
    EXPECT_EQ(GetI32(s, WS_Z), -16);
    EXPECT_EQ(FieldText(f[3]), "AAAB") << "the next name is proposed";

    // A name already taken: the box, a new proposal with the keys, nothing added.
    Fill(f[3], "AAAA");
    Click("Add", panel);
    EXPECT_EQ(Box(), std::make_pair(std::string("Add Shapes"), std::string("Duplicate name.")));
    EXPECT_EQ(WorldMCountShapes(), 1);
    EXPECT_EQ(FieldText(f[3]), "AAAB");
    EXPECT_EQ(WinFocus(), f[3]);

    // An X that is no hexadecimal number takes the keys, without a box.
    Fill(f[0], "12G4");
    Click("Add", panel);
    EXPECT_EQ(WinFocus(), f[0]);
    EXPECT_EQ(WinGetClass(WinModal()), 0u);
    EXPECT_EQ(WorldMCountShapes(), 1);

    // "Tr": no Name field, an unnamed shape; a missing file is refused with its text.
    Fill(f[0], "10");
    Click("Tr", panel);
    EXPECT_EQ(Fields(panel).size(), 3u);
    Click("Add", panel);
    EXPECT_EQ(WorldMCountShapes(), 2);
    Fill(f[2], "NONE.SHP");
    Click("Add", panel);
    EXPECT_EQ(Box(), std::make_pair(std::string("Add Shapes"), std::string("Shape definition missing.")));

    // "Dy" brings the Name field back; "Browse" puts the chosen file's name in the Shape field.
    Turns(2);
    Click("Dy", panel);
    EXPECT_EQ(Fields(panel).size(), 4u);
    Click("Browse", panel);
    ASSERT_NE(FileSelWindow(), 0);
    EXPECT_STREQ(WinGetTitle(FileSelWindow()), "Select Shape Name");
    Choose(dir.file("ROCK.SHP"));
    EXPECT_EQ(FieldText(Fields(panel)[2]), "ROCK.SHP");
}

TEST_F(WorldPanels, SaveAndSaveRuntimeNeverWriteOverAFileThatIsNoWorld)
{
    ASSERT_GT(WorldMAddShape("ROCK.SHP", 100, 100, 200, 0), 0);
    OneCell();
    const std::string notes = "Level ideas: a bridge over the river.\n";
    ASSERT_TRUE(WriteText(dir.file("NOTES.WLE"), notes));
    for (const char* button : {"Save", "Save Runtime"}) {
        Save(button, "NOTES.WLE");
        EXPECT_EQ(Box(), std::make_pair(std::string("Error During Save"),
                                        std::string("NOTES.WLE is not a world file and was left as it is. Save under "
                                                    "another name.")))
            << button;
        Turns(2);
        EXPECT_EQ(ReadText(dir.file("NOTES.WLE")), notes) << button;
        EXPECT_FALSE(PathExists(dir.file("NOTES.WLD"))) << button;
        EXPECT_EQ(std::string(WorldPanelName()), "UNTITLED.WLE") << button << ": the name stays";
        EXPECT_EQ(std::string(WorldPanelFileName()), "");
    }
    // Save Runtime's runtime world is looked at too, before anything is written.
    ASSERT_TRUE(WriteText(dir.file("CITY.WLD"), notes));
    Save("Save Runtime", "CITY.WLE");
    EXPECT_EQ(Box(), std::make_pair(std::string("Error During Save"),
                                    std::string("CITY.WLD is not a world file and was left as it is. Save under "
                                                "another name.")));
    Turns(2);
    EXPECT_EQ(ReadText(dir.file("CITY.WLD")), notes);
    EXPECT_FALSE(PathExists(dir.file("CITY.WLE")));
    // An empty file holds nothing to lose; a world is written over, as before.
    ASSERT_TRUE(WriteText(dir.file("EMPTY.WLE"), ""));
    Save("Save", "EMPTY.WLE");
    EXPECT_EQ(ReadBytes(dir.file("EMPTY.WLE")), World());
    Bytes saved = World();
    ASSERT_GT(WorldMAddShape("ROCK.SHP", 300, 100, 200, 0), 0);
    Save("Save Runtime", "EMPTY.WLE");
    Turns(1);
    EXPECT_EQ(WinModal(), 0u) << Box().second;
    EXPECT_NE(ReadBytes(dir.file("EMPTY.WLE")), saved);
    EXPECT_EQ(ReadBytes(dir.file("EMPTY.WLE")), World());
    EXPECT_TRUE(PathExists(dir.file("EMPTY.WLD")));
}

TEST_F(WorldPanels, UndoAfterNewBringsTheTerrainBackWithTheWorld)
{
    ASSERT_TRUE(WriteBytes(dir.file("HILL.WLE"), TerrainWorld(10, "GRASS.SPR")));
    Load("HILL.WLE");
    ASSERT_EQ(WinModal(), 0u);
    EXPECT_EQ(Ground(1000, 1000), "640");
    Bytes hill = World();
    Click("New", Panel());
    EXPECT_EQ(Ground(1000, 1000), "none");
    ClickWindow(ButtonOf(WinFindClass(CLASS_WORLD_MENU), "Undo"));
    EXPECT_EQ(World(), hill);
    EXPECT_EQ(Ground(1000, 1000), "640") << "the terrain comes back with the world";
    // What stands on the ground stands on it again.
    int rock = WorldMAddShapeOnGround("ROCK.SHP", 1000, 1000, 0);
    ASSERT_GT(rock, 0);
    EXPECT_EQ(GetI32(WorldMShapeFindData((uint16_t)rock), WS_Y), 640 + 20);
}

TEST_F(WorldPanels, ASecondWorldsTerrainTakesItsOwnTextures)
{
    ASSERT_TRUE(WriteBytes(dir.file("GRASS.SPR"), Sprite(10)));
    ASSERT_TRUE(WriteBytes(dir.file("SAND.SPR"), Sprite(20)));
    ASSERT_TRUE(WriteBytes(dir.file("A.WLE"), TerrainWorld(10, "GRASS.SPR")));
    ASSERT_TRUE(WriteBytes(dir.file("B.WLE"), TerrainWorld(10, "SAND.SPR")));
    Load("A.WLE");
    Turns(1);
    int material = TerrainMaterial(0);
    ASSERT_GE(material, 0);
    EXPECT_STREQ(ResName(IntMatSprite(material)), "grass.spr");
    Load("B.WLE");
    Turns(1);
    EXPECT_EQ(TerrainMaterial(0), material) << "the same name";
    EXPECT_STREQ(ResName(IntMatSprite(material)), "sand.spr") << "the texture of the world just loaded";
    EXPECT_EQ(WinModal(), 0u);
}
