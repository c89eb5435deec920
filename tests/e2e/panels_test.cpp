// The palette and materials panels driven by scripts, checked through dumps, the log and saved files.
#include "e2e/e2e.h"
#include "materials/mattest.h"
#include "shapes/shape_build.h"

using nlohmann::json;

namespace {

// Screen points at 800 x 600: the launcher, the menu bar and the panels' controls (from (0, 550)).
const char* kStart = "click 165 75\nwait 4\n";
const char* kPalette = "click 550 559\nwait 2\n";
const char* kMaterials = "click 370 559\nwait 2\n";
const char* kPalRed = "click 205 559\n";
const char* kSaveButton = "click 290 574\nwait 2\n";
const char* kLoadButton = "click 290 559\nwait 2\n";
const char* kMatAdd = "click 193 571\n";
const char* kMatNext = "click 157 570\n";
const char* kSwatch = "click 110 567\nwait 2\n";

// The grid swatch of a colour.
std::string Colour(int i, const char* button = "left")
{
    return "click " + std::to_string(6 + 4 * (i % 32)) + " " + std::to_string(555 + 5 * (i / 32)) + " " + button +
           "\n";
}

class Panels : public Headless {
protected:
    void RunOk(const std::string& script)
    {
        RunResult r = Run(kStart + script);
        ASSERT_EQ(r.exitCode, 0) << r.output << log;
    }
    // The texts of the edit fields, and the names of a MAT file's materials.
    static std::vector<std::string> Fields(const json& d)
    {
        std::vector<std::string> out;
        for (const json& w : d["windows"])
            if (w["class"] == ClassText(CLASS_EDIT)) out.push_back(w["text"]);
        return out;
    }
    static std::vector<std::string> Names(const json& info)
    {
        std::vector<std::string> out;
        for (const json& m : info["materials"]) out.push_back(m["name"]);
        return out;
    }
};

}  // namespace

TEST_F(Panels, PaletteColoursAreEditedSelectedAndSaved)
{
    // Colours 0..3: (10, 20, 30), (40, 41, 42), (50, 51, 52), (60, 61, 62).
    Bytes pal;
    AppendU16(pal, 0);
    AppendU16(pal, 4);
    for (int v : {10, 20, 30, 40, 41, 42, 50, 51, 52, 60, 61, 62}) AppendU8(pal, (uint8_t)v);
    pal.resize(748, 0);
    WriteBytes(dir.file("START.PAL"), pal);
    WriteText(dir.file("tolbex.ini"), "palsupport=1\npalette=START.PAL\n");

    // Colour 1's red set to 63; then a range from 2 back to 0: the fields show colour 2, nothing written.
    RunOk(std::string(kPalette) + Colour(1) + "dump one.json\n" + kPalRed + "key backspace\nkey backspace\ntype 63\n" +
          Colour(2) + Colour(0, "right") + "dump range.json\n" + kSaveButton + "dump save.json\n" + Choose("OUT.PAL"));
    EXPECT_EQ(Fields(Dump("one.json")), (std::vector<std::string>{"40", "41", "42"}));
    EXPECT_EQ(Fields(Dump("range.json")), (std::vector<std::string>{"50", "51", "52"}));
    // Save offers the palette the settings named, nothing having been saved yet.
    EXPECT_EQ(Fields(Dump("save.json")).back(), "START.PAL");

    json info = CliInfo("pal", dir.file("OUT.PAL"));
    EXPECT_EQ(info["count"], 4);
    EXPECT_EQ(info["colours"], json::parse("[[10,20,30],[63,41,42],[50,51,52],[60,61,62]]"));

    // Spread over 3 down to 0 fills 1 and 2; a click right of the last column selects nothing.
    RunOk(std::string(kPalette) + Colour(3) + Colour(0, "right") + "click 241 574\nwait 2\n" + "click 135 555\n" +
          "dump past.json\n" + kSaveButton + Choose("SPREAD.PAL"));
    info = CliInfo("pal", dir.file("SPREAD.PAL"));
    EXPECT_EQ(info["colours"], json::parse("[[10,20,30],[27,34,41],[43,47,51],[60,61,62]]"));
    EXPECT_EQ(Fields(Dump("past.json")), (std::vector<std::string>{"60", "61", "62"})) << "colour 3 still picked";
}

TEST_F(Panels, WithoutPaletteSupportThePaletteOffersLoadAlone)
{
    // The entry is offered under the software renderer even without palette support.
    WriteText(dir.file("tolbex.ini"), "palsupport=0\n");
    ASSERT_TRUE(Runs("click 150 128\nwait 1\n" + std::string(kStart) + kPalette + "dump d.json\n", {"/debug"}));
    json d = Dump("d.json");
    const json* panel = FindWindow(d, ClassText(CLASS_PALETTE_PANEL));
    ASSERT_NE(panel, nullptr);
    std::vector<std::string> labels;
    for (const json& w : d["windows"])
        if (w["parent"] == (*panel)["id"]) labels.push_back(w.value("label", w["class"].get<std::string>()));
    EXPECT_EQ(labels, (std::vector<std::string>{"Load"}));
}

TEST_F(Panels, MaterialsAreAddedSavedAndAFailedLoadLosesNothing)
{
    WriteText(dir.file("BAD.MAT"), "not a material file");
    RunOk(std::string(kMaterials) + kMatAdd + kSaveButton + Choose("MATERIALS_OF_THE_TOWER.MAT") + kLoadButton + Choose("BAD.MAT") +
          "key enter\nwait 1\n" + kMatNext + "dump after.json\n" + kSaveButton + "dump save.json\n" + "key enter\nwait 2\n");
    json info = CliInfo("mat", dir.file("MATERIALS_OF_THE_TOWER.MAT"));
    EXPECT_EQ(Names(info), (std::vector<std::string>{"Dummy", "New Mat 00"}));
    EXPECT_TRUE(Logged("MSGBOX \"Error\" \"Unable to load materials.\""));
    EXPECT_EQ(ReadText(dir.file("BAD.MAT")), "not a material file") << "Save went back to the file last saved";
    // The list kept its material; Save offered the file that was saved, not the one that failed.
    json after = Dump("after.json");
    EXPECT_EQ((*FindWindow(after, ClassText(CLASS_MAT_NAME)))["texts"][0], "New Mat 00");
    EXPECT_EQ(Fields(Dump("save.json")).back(), "MATERIALS_OF_THE_TOWER.MAT");
}

TEST_F(Panels, TheDummyIsNotEditedAndCancelPutsAMaterialBack)
{
    // The Dummy's swatch refuses; another's red slider recolours at once and Cancel puts it back.
    RunOk(std::string(kMaterials) + kSwatch + "key enter\nwait 1\ndump refused.json\n" + kMatAdd + kMatNext +
          kSaveButton + Choose("BEFORE.MAT") + kSwatch + "click 200 176\nwait 2\ndump moved.json\n" +
          "click 260 146\nwait 2\ndump cancelled.json\n" + kSaveButton + Choose("AFTER.MAT"));
    EXPECT_TRUE(Logged("MSGBOX \"Error\" \"You can't edit the \"Dummy\" material, dummy!\""));
    json refused = Dump("refused.json");
    EXPECT_EQ(FindWindow(refused, ClassText(CLASS_MAT_EDIT)), nullptr);
    json moved = Dump("moved.json");
    const json* dialog = FindWindow(moved, ClassText(CLASS_MAT_EDIT));
    ASSERT_NE(dialog, nullptr);
    int red = 0;
    for (const json& w : moved["windows"])
        if (w["parent"] == (*dialog)["id"] && w["class"] == ClassText(CLASS_SLIDER) && w["y"] == 171) red = w["value"];
    EXPECT_GT(red, 8000) << "the red slider moved";
    json cancelled = Dump("cancelled.json");
    EXPECT_EQ(FindWindow(cancelled, ClassText(CLASS_MAT_EDIT)), nullptr);
    Bytes before = ReadBytes(dir.file("BEFORE.MAT")), after = ReadBytes(dir.file("AFTER.MAT"));
    ASSERT_FALSE(before.empty());
    EXPECT_EQ(before, after);
}

TEST_F(Panels, ARenameToANameInUseIsRefused)
{
    // Dummy, New Mat 01, New Mat 00: the second renamed to the third's name in another case.
    std::string erase;
    for (int i = 0; i < 12; i++) erase += "key backspace\n";
    RunOk(std::string(kMaterials) + kMatAdd + kMatAdd + "click 110 586\nwait 2\n" + "click 100 76\nwait 1\n" +
          "click 195 126\n" + erase + "type new mat 00\n" + "click 230 98\nwait 2\nkey enter\nwait 1\n" +
          "click 230 68\nwait 2\n" + kSaveButton + Choose("NAMES.MAT"));
    EXPECT_TRUE(Logged("MSGBOX \"Error\" \"Duplicate name.\""));
    EXPECT_EQ(Names(CliInfo("mat", dir.file("NAMES.MAT"))), (std::vector<std::string>{"Dummy", "New Mat 01", "New Mat 00"}));
}

TEST_F(Panels, PolygonsKeepTheirMaterialsWhenMaterialsAreAddedAndDeleted)
{
    // The settings load Dummy, Red Paint, Blue Paint; the box's two faces use the paints by name.
    WriteBytes(dir.file("PAINT.MAT"), MatFile({{"Dummy"}, {"Red Paint", 16000, 0, 0, 0, 16384, 16384},
                                               {"Blue Paint", 0, 0, 16000, 0, 16384, 16384}}));
    WriteText(dir.file("tolbex.ini"), "materials=PAINT.MAT\n");
    TShape box;
    box.verts = {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}, {0, 0, 100}};
    box.polys = {TPoly({0, 1, 2, 3}, 0, 1), TPoly({0, 4, 1}, 0, 2)};
    box.names = {{"Red Paint", 1}, {"Blue Paint", 2}};
    WriteBytes(dir.file("BOX.SHP"), BuildShape(box));
    const char* const kObject = "click 460 574\nwait 2\n";
    const char* const kMatDelete = "click 193 586\nwait 2\n";
    // "Add" before Red Paint, saved; Red Paint "Delete", saved; then the materials' "Save".
    RunOk(std::string(kObject) + kLoad + Choose("BOX.SHP") + kMaterials + kMatNext + kMatAdd + "wait 2\ndump added.json\n" +
          kObject + kSave + Choose("ADDED.SHP") + kMaterials + kMatNext + kMatDelete + "dump deleted.json\n" + kObject +
          kSave + Choose("DELETED.SHP") + kMaterials + kSaveButton + "dump matsave.json\nkey escape\nwait 2\n");

    json added = Dump("added.json");
    EXPECT_EQ((*FindWindow(added, ClassText(CLASS_MAT_NAME)))["texts"][0], "New Mat 00");
    json deleted = Dump("deleted.json");
    EXPECT_EQ((*FindWindow(deleted, ClassText(CLASS_MAT_NAME)))["texts"][0], "New Mat 00") << "Red Paint went, the one before it is current";
    // Each face is saved under its material's name: the name table's entry of its value.
    for (const char* file : {"ADDED.SHP", "DELETED.SHP"}) {
        json info = CliInfo("shape", file);
        ASSERT_EQ(info["polygons"].size(), 2u) << file;
        std::vector<std::string> names;
        for (const json& p : info["polygons"])
            for (const json& n : info["materialNames"])
                if (n["id"] == p["material"]) names.push_back(n["name"]);
        EXPECT_EQ(names, (std::vector<std::string>{"RED PAINT", "BLUE PAINT"})) << file << info["materialNames"];
    }
    // The materials came from the settings' file: Save offers it.
    EXPECT_EQ(Fields(Dump("matsave.json")).back(), "PAINT.MAT");
}
