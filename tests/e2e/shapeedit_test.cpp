// The Shape Editor's panels driven from scripts; saved files read back beside tolbex-cli's own.
#include "e2e/e2e.h"
#include "materials/mattest.h"
#include "palette/png.h"
#include "shapes/shape.h"

using nlohmann::json;

namespace {

// At 800 x 600: the Object panel's buttons (the panel at (0, 550)) and the menu bar's "Undo".
const char* const kMerge = "click 227 559\nwait 2\n";
const char* const kCreate = "click 287 589\nwait 2\n";
const char* const kScale = "click 35 559\nwait 2\n";
const char* const kUndo = "click 610 574\nwait 2\n";

class ShapeEditing : public Headless {
protected:
    void SetUp() override { ball = Sphere("BALL.SHP", "1000", "2000", "1500"); }
    // What a `tolbex-cli shape` command writes.
    Bytes Cli(std::vector<std::string> args, const std::string& out)
    {
        args.insert(args.begin(), "shape");
        args.push_back(out);
        RunResult r = RunProgram(TOLBEX_CLI_BIN, args, dir.path());
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return ReadBytes(dir.file(out));
    }
    Bytes ball;
};

}  // namespace

TEST_F(ShapeEditing, LoadMirrorScaleUndoSaveAndCreate)
{
    std::string script = std::string(kShapeEditorObject) + kLoad + Choose("BALL.SHP") + kMirrorX + kScale +
                         "type 200\nkey enter\nwait 2\n" + kUndo + kSave + "dump save.json\nkey enter\nwait 2\n" +
                         kCreate + "type 0\nkey enter\nwait 2\ndump create.json\n" +
                         "type 10\nkey enter\nwait 2\n" + kSave + Choose("SPHERE.SHP");
    ASSERT_TRUE(Runs(script));

    // Save offered the loaded file's name; the previous file is the backup.
    json save = Dump("save.json");
    EXPECT_EQ(FieldOf(save, ClassText(CLASS_FILESEL)), "BALL.SHP");
    // The view's title is the loaded file's name, marked: the mirror is not saved yet.
    EXPECT_EQ(ViewTitle(save), "BALL.SHP *");
    EXPECT_EQ(ReadBytes(dir.file("BALL.~HP")), ball);
    // Mirrored in X, the scale undone: against the file as loading and saving leaves it.
    Bytes normal = Cli({"normalise", "BALL.~HP"}, "N.SHP");
    Bytes saved = ReadBytes(dir.file("BALL.SHP"));
    ASSERT_EQ(ShapeVertexCount(saved.data()), 42);
    ASSERT_EQ(ShapeVertexCount(normal.data()), 42);
    for (int v = 0; v < 42; v++) {
        int32_t a[3], b[3];
        ShapeVertexPos(saved.data(), v, a);
        ShapeVertexPos(normal.data(), v, b);
        EXPECT_EQ(a[0], -b[0]) << v;
        EXPECT_EQ(a[1], b[1]) << v;
        EXPECT_EQ(a[2], b[2]) << v;
    }

    // A size of 0 keeps Create Object open with the keys in that field; then "010" is 10.
    json create = Dump("create.json");
    int focused = 0;
    EXPECT_EQ(FieldOf(create, ClassText(CLASS_CREATE_OBJECT), &focused), "0");
    EXPECT_TRUE(focused) << "the X field has the focus";
    EXPECT_EQ(ReadBytes(dir.file("SPHERE.SHP")), Cli({"sphere", "10", "100", "100"}, "S.SHP"));
}

TEST_F(ShapeEditing, RefusedFilesChangeNothingAndAListingBecomesTheUnsavedShape)
{
    WriteText(dir.file("DAMAGED.SHP"), std::string(100, 'x'));
    Bytes newer = ball, older = ball;
    PutU16(newer.data(), SH_VERSION, 17);
    PutU16(older.data(), SH_VERSION, 15);
    WriteBytes(dir.file("V17.SHP"), newer);
    WriteBytes(dir.file("V15.SHP"), older);
    WriteText(dir.file("EMPTY.ASC"), "Named object: \"x\"\r\nTri-mesh, Vertices: 0  Faces 0\r\n");
    const Bytes listing = ReadBytes(std::string(TOLBEX_FIXTURES) + "/real/TESTI.ASC");
    WriteBytes(dir.file("MODEL.ASC"), listing);
    const std::string box = "key enter\nwait 2\n";
    // The listing imported; Save's MODEL.SHP declined, a Save over the listing refused, then taken.
    std::string script = std::string(kShapeEditorObject) + kLoad + Choose("BALL.SHP") + kLoad + Choose("DAMAGED.SHP") + box +
                         kLoad + Choose("V17.SHP") + box + kMerge + Choose("V15.SHP") + box + kLoad +
                         Choose("EMPTY.ASC") + box + kSave + "dump save.json\nkey enter\nwait 2\n" + kLoad +
                         Choose("MODEL.ASC") + kSave + "dump asc.json\nkey escape\nwait 2\ndump end.json\n" + kSave +
                         Choose("MODEL.ASC") + "dump refused.json\n" + box + kSave + "key enter\nwait 2\ndump saved.json\n";
    ASSERT_TRUE(Runs(script));

    EXPECT_EQ(Count(log, "MSGBOX \"File Error\" \"! Unable to load shape.\""), 3) << log;
    EXPECT_EQ(Count(log, "MSGBOX \"File Error\" \"! Unable to merge shape.\""), 1) << log;
    // After the failed loads Save still offers, and writes, the file that loaded.
    EXPECT_EQ(FieldOf(Dump("save.json"), ClassText(CLASS_FILESEL)), "BALL.SHP");
    EXPECT_EQ(ReadBytes(dir.file("BALL.~HP")), ball);
    EXPECT_EQ(ReadText(dir.file("DAMAGED.SHP")), std::string(100, 'x'));
    EXPECT_EQ(ReadBytes(dir.file("V17.SHP")), newer);

    // The listing is the edited shape, named after it and written only by the Save.
    json asc = Dump("asc.json");
    EXPECT_EQ(FieldOf(asc, ClassText(CLASS_FILESEL)), "MODEL.SHP");
    EXPECT_EQ(ViewTitle(asc), "MODEL.SHP *") << "not saved yet";
    EXPECT_EQ(Dump("end.json")["shape"]["vertices"], 13);
    EXPECT_FALSE(PathExists(dir.file("a.shp")));
    EXPECT_FALSE(PathExists(dir.file("a.~hp")));
    json refused = Dump("refused.json");
    EXPECT_NE(FindWindow(refused, ClassText(CLASS_MESSAGEBOX)), nullptr) << "the refusal's box";
    EXPECT_EQ(Count(log, "MSGBOX \"File Error\" \"MODEL.ASC is not a shape file. Choose another name to save the shape.\""), 1)
        << log;
    EXPECT_EQ(ReadBytes(dir.file("MODEL.ASC")), listing);
    EXPECT_FALSE(PathExists(dir.file("MODEL.~SC")));
    EXPECT_EQ(ViewTitle(Dump("saved.json")), "MODEL.SHP");
    // Saved as tolbex-cli imports the listing.
    EXPECT_EQ(ReadBytes(dir.file("MODEL.SHP")), Cli({"import-asc", "MODEL.ASC"}, "I.SHP"));
    json info = CliInfo("shape", "MODEL.SHP");
    EXPECT_EQ(info["vertices"].size(), 13u);
}

TEST_F(ShapeEditing, AModelFromAnotherToolBecomesTheUnsavedShape)
{
    // A quad and a triangle in two materials; the second file is no model at all.
    WriteText(dir.file("MODEL.OBJ"), "v 0 0 0\nv 2 0 0\nv 2 1 0\nv 0 1 0\nv 0 0 -3\n"
                                     "usemtl brick\nf 1 2 3 4\nusemtl glass\nf 1 5 2\n");
    WriteText(dir.file("BROKEN.glb"), "glTF but not really");
    const std::string box = "key enter\nwait 2\n";
    std::string script = std::string(kShapeEditorObject) + kLoad + Choose("BROKEN.glb") + box + kLoad +
                         Choose("MODEL.OBJ") + kSave + "dump obj.json\nkey escape\nwait 2\ndump end.json\n" + kSave +
                         "key enter\nwait 2\n";
    ASSERT_FALSE(PathExists(dir.file("MODEL.SHP")));
    ASSERT_TRUE(Runs(script));
    EXPECT_EQ(Count(log, "MSGBOX \"File Error\" \"! Unable to import model. it is no binary glTF"), 1) << log;
    json obj = Dump("obj.json");
    EXPECT_EQ(FieldOf(obj, ClassText(CLASS_FILESEL)), "MODEL.SHP");
    EXPECT_EQ(ViewTitle(obj), "MODEL.SHP *") << "unsaved until the Save";
    json end = Dump("end.json");
    EXPECT_EQ(end["shape"]["vertices"], 5);
    EXPECT_EQ(end["shape"]["polygons"], 2);
    EXPECT_FALSE(PathExists(dir.file("MODEL.~HP")));
    // Written only by the Save, as tolbex-cli imports it: the same points and material names.
    json saved = CliInfo("shape", "MODEL.SHP");
    RunResult cli = RunProgram(TOLBEX_CLI_BIN, {"shape", "import", "MODEL.OBJ", "CLI.SHP"}, dir.path());
    ASSERT_EQ(cli.exitCode, 0) << cli.output;
    json made = CliInfo("shape", "CLI.SHP");
    ASSERT_EQ(saved["vertices"].size(), 5u);
    for (int v = 0; v < 5; v++) EXPECT_EQ(saved["vertices"][v]["world"], made["vertices"][v]["world"]) << v;
    ASSERT_EQ(saved["polygons"].size(), 2u);
    for (int p = 0; p < 2; p++) EXPECT_EQ(saved["polygons"][p]["points"], made["polygons"][p]["points"]) << p;
    std::vector<std::string> names;
    for (const auto& n : saved["materialNames"]) names.push_back(n["name"]);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"BRICK", "GLASS"}));
}

TEST_F(ShapeEditing, FilesDroppedOnTheWindowLoadOrImport)
{
    WriteText(dir.file("MODEL.OBJ"), "v 0 0 0\nv 2 0 0\nv 2 1 0\nv 0 1 0\nf 1 2 3 4\n");
    WriteText(dir.file("NOTES.TXT"), "not a shape");
    ASSERT_TRUE(Runs(std::string(kShapeEditorObject) + "drop MODEL.OBJ\nwait 2\ndump model.json\n" +
                     "drop BALL.SHP\nwait 2\ndump ball.json\ndrop NOTES.TXT\nwait 2\nkey enter\nwait 2\ndump notes.json\n"));
    json model = Dump("model.json");
    EXPECT_EQ(model["shape"]["vertices"], 4);
    EXPECT_EQ(ViewTitle(model), "MODEL.SHP *");
    EXPECT_FALSE(PathExists(dir.file("MODEL.SHP"))) << "an import writes nothing";
    json ball = Dump("ball.json");
    EXPECT_EQ(ball["shape"]["vertices"], 42);
    EXPECT_EQ(ViewTitle(ball), "BALL.SHP");
    EXPECT_EQ(Count(log, "MSGBOX \"Warning\" \"Save changes to MODEL.SHP?\""), 1)
        << "a drop over unsaved work asks first (a script's unanswered question is No)\n" << log;
    EXPECT_EQ(Count(log, "MSGBOX \"File Error\" \"! Unable to load shape."), 1) << log;
    EXPECT_EQ(Dump("notes.json")["shape"]["vertices"], 42) << "the refused file changed nothing";
}

TEST_F(ShapeEditing, AQuadBuiltMovedAndMappedInALeftViewIsSavedAsDrawn)
{
    // Left view: four vertices of a 200-pixel square, a polygon on them, the third moved 40 pixels right
    // and down; Mapping "Create", a corner point dragged to the middle, "Ok"; saved as QUAD.SHP.
    const char* const kCorners = "click 300 200\nclick 500 200\nclick 500 400\nclick 300 400\nwait 1\n";
    const char* const kPolygons = "click 335 574\nwait 2\n";
    const char* const kVertices = "click 335 589\nwait 2\n";
    std::string script = std::string("click 165 75\nwait 4\nclick 791 5\nwait 2\nclick 329 255\nclick 464 307\nwait 2\n") +
                         kVertices + "click 15 559\nwait 2\n" + kCorners + kPolygons + "click 15 559\nwait 2\n" +
                         kCorners + "dump quad.json\n" + kVertices + "click 15 589\nwait 2\n" +
                         "move 500 400\npress left\nwait 1\nmove 520 420\nwait 1\nmove 540 440\nwait 1\nrelease left\nwait 2\n" +
                         kPolygons + "click 76 574\nwait 2\nclick 400 300\nwait 2\nclick 552 85\nwait 2\n" +
                         "move 69 57\npress left\nwait 1\nmove 200 100\nwait 1\nmove 286 144\nwait 1\nrelease left\nwait 1\n" +
                         "click 552 215\nwait 2\nclick 425 574\nwait 2\n" + kSave + Choose("QUAD.SHP") + "dump saved.json\n" +
                         // The mapping window again; then Mesh selects everything and "Del" deletes.
                         kPolygons + "click 76 574\nwait 2\nclick 400 300\nwait 2\ndump reopened.json\n" +
                         "click 425 589\nwait 2\nmove 20 20\npress left\nwait 1\nmove 780 530\nwait 1\nrelease left\nwait 2\n" +
                         "click 160 574\nwait 2\ndump deleted.json\n";
    ASSERT_TRUE(Runs(script));

    json quad = Dump("quad.json");
    EXPECT_EQ(quad["shape"]["vertices"], 4);
    EXPECT_EQ(quad["shape"]["polygons"], 1) << "the fourth point closes the polygon";
    json saved = Dump("saved.json");
    const json* view = FindWindow(saved, ClassText(CLASS_VIEW));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ((*view)["title"], "QUAD.SHP");
    const int zoom = (int)(*view)["view"]["zoom"].get<double>();
    ASSERT_GT(zoom, 0);

    json shape = CliInfo("shape", "QUAD.SHP");
    ASSERT_EQ(shape["vertices"].size(), 4u);
    auto world = [&](int v, int axis) { return shape["vertices"][v]["world"][axis].get<int>(); };
    // In the Left view screen x runs along -Z and screen y along -Y; X is the free axis.
    for (int v = 0; v < 4; v++) EXPECT_EQ(world(v, 0), 0) << v;
    EXPECT_EQ(world(0, 1), world(1, 1)) << "the top corners share their height";
    EXPECT_EQ(world(0, 2) - world(1, 2), 200 * zoom);
    EXPECT_EQ(world(2, 1), world(3, 1) - 40 * zoom) << "the moved corner went down 40 pixels";
    EXPECT_EQ(world(2, 2), world(1, 2) - 40 * zoom) << "and across 40";

    ASSERT_EQ(shape["polygons"].size(), 1u);
    const json& polygon = shape["polygons"][0];
    EXPECT_EQ(polygon["points"], json::array({0, 1, 2, 3}));
    ASSERT_EQ(polygon["mapping"].size(), 4u);
    int corners = 0, middles = 0;
    for (const json& uv : polygon["mapping"]) {
        int u = uv[0], v = uv[1];
        if ((u == 0 || u == 16384) && (v == 0 || v == 16384)) corners++;
        if (u > 8000 && u < 8400 && v > 7900 && v < 8400) middles++;
    }
    EXPECT_EQ(corners, 3) << polygon["mapping"];
    EXPECT_EQ(middles, 1) << "the dragged point sits in the middle of the texture";

    // The mapping window open on the quad closes when the quad is deleted.
    json reopened = Dump("reopened.json");
    EXPECT_NE(FindWindow(reopened, ClassText(CLASS_MAPPING)), nullptr);
    json deleted = Dump("deleted.json");
    EXPECT_EQ(deleted["shape"]["polygons"], 0);
    EXPECT_EQ(deleted["shape"]["vertices"], 0) << "the selected vertices no polygon uses go too";
    EXPECT_EQ(FindWindow(deleted, ClassText(CLASS_MAPPING)), nullptr);
}

// ---- A model's materials and the import's settings ----------------------------------------

namespace {

// A quad in brick and a triangle in glass, whose texture is a picture beside the model.
void WriteTexturedModel(const TempDir& dir)
{
    WriteText(dir.file("MODEL.OBJ"), "mtllib MODEL.MTL\nv 0 0 0\nv 2 0 0\nv 2 1 0\nv 0 1 0\nv 0 0 -3\n"
                                     "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                                     "usemtl brick\nf 1 2 3 4\nusemtl glass\nf 1/1 5/2 2/3\n");
    WriteText(dir.file("MODEL.MTL"), "newmtl brick\nKd 0 1 0\nnewmtl glass\nKd 0.25 0.5 0.75\nmap_Kd wood.png\n");
    const uint8_t rgba[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 10, 20, 30, 255};
    std::vector<uint8_t> png;
    ASSERT_TRUE(PngEncodeRgba(rgba, 2, 2, png));
    ASSERT_TRUE(WriteBytes(dir.file("wood.png"), png));
}

const json* MaterialNamed(const json& info, const std::string& name)
{
    for (const json& m : info["materials"])
        if (m["name"] == name) return &m;
    return nullptr;
}

}  // namespace

TEST_F(ShapeEditing, AnImportedModelsMaterialsJoinTheLoadedOnesAndAreSavedOnlyWhenTheUserSays)
{
    WriteTexturedModel(dir);
    const Bytes user = MatFile({{"Dummy"}, {"Brick", 16000, 0, 0, 0, 16384, 16384}}, MAT_FLAG_TRUE_COLOUR);
    ASSERT_TRUE(WriteBytes(dir.file("USER.MAT"), user));
    WriteText(dir.file("tolbex.ini"), "materials=USER.MAT\n");
    // The import, its box; then a close that says No to the shape and Yes to the materials.
    ASSERT_TRUE(Runs(std::string(kShapeEditorObject) + kLoad + Choose("MODEL.OBJ") + "dump import.json\nkey enter\nwait 2\n" +
                     "dump after.json\nanswer no\nanswer yes\nclose\nwait 3\n"));
    EXPECT_EQ(Count(log, "MSGBOX \"Import\" \"MODEL.OBJ: added to the materials (not saved yet): GLASS. Kept as they "
                         "were loaded, the model's left out: BRICK. Textures made into sprites beside USER.MAT: WOOD.SPR.\""),
              1)
        << log;
    json after = Dump("after.json");
    EXPECT_EQ(after["shape"]["polygons"], 2);
    EXPECT_NE(after["note"].get<std::string>().find("2 polygons, 5 vertices, 1 materials added (not saved yet), 1 kept"),
              std::string::npos)
        << after["note"];
    EXPECT_TRUE(PathExists(dir.file("WOOD.SPR")));
    EXPECT_EQ(Count(log, "cannot be loaded"), 0) << "the sprite is there before its material names it\n" << log;
    // Asked about, in turn: the shape, then the materials by their file's name.
    EXPECT_EQ(Count(log, "Save changes to MODEL.SHP?"), 1) << log;
    EXPECT_EQ(Count(log, "Save changes to USER.MAT?"), 1) << log;
    EXPECT_FALSE(PathExists(dir.file("MODEL.SHP"))) << "the shape was not to be saved";
    // Saved on Yes: the user's Brick as it was, the model's glass after it with its texture.
    json mats = CliInfo("mat", "USER.MAT");
    ASSERT_EQ(mats["count"], 3) << mats;
    EXPECT_EQ(mats["materials"][1]["name"], "Brick");
    EXPECT_EQ(mats["materials"][1]["red"], 16000);
    EXPECT_EQ(mats["materials"][1]["green"], 0);
    const json* glass = MaterialNamed(mats, "GLASS");
    ASSERT_TRUE(glass) << mats;
    EXPECT_EQ((*glass)["index"], 2);
    EXPECT_EQ((*glass)["red"], 4096);
    EXPECT_EQ((*glass)["green"], 8192);
    EXPECT_EQ((*glass)["blue"], 12287);
    EXPECT_EQ((*glass)["texture"], "WOOD.SPR");
}

TEST_F(ShapeEditing, WithoutAnAnswerTheUsersMaterialsFileIsNotWrittenAndUntitledMaterialsTakeSpritesInTheWorkingFolder)
{
    WriteTexturedModel(dir);
    const Bytes user = MatFile({{"Dummy"}, {"Brick", 16000, 0, 0, 0, 16384, 16384}}, MAT_FLAG_TRUE_COLOUR);
    ASSERT_TRUE(WriteBytes(dir.file("USER.MAT"), user));
    WriteText(dir.file("tolbex.ini"), "materials=USER.MAT\n");
    ASSERT_TRUE(Runs(std::string(kShapeEditorObject) + "drop MODEL.OBJ\nwait 2\nkey enter\nwait 2\n"));
    EXPECT_EQ(ReadBytes(dir.file("USER.MAT")), user) << "a script's unanswered question is No";

    // No materials file: the sprite goes to the working folder, under a name not yet taken.
    std::remove(dir.file("tolbex.ini").c_str());
    ASSERT_TRUE(Runs(std::string(kShapeEditorObject) + "drop MODEL.OBJ\nwait 2\nkey enter\nwait 2\n"));
    EXPECT_TRUE(Logged("added to the materials (not saved yet): BRICK, GLASS. Textures made into sprites in the "
                       "working folder (the materials have no file yet): WOOD~1.SPR."));
    EXPECT_TRUE(PathExists(dir.file("WOOD~1.SPR")));
}

TEST_F(ShapeEditing, TheImportsOptionsComeFromTheSettingsAndABadOneKeepsItsDefaultWithABox)
{
    WriteText(dir.file("MODEL.OBJ"), "v 0 0 0\nv 2 0 0\nv 2 1 0\nv 0 1 0\nv 0 0 -3\nf 1 2 3 4\nf 1 5 2\n");
    WriteText(dir.file("tolbex.ini"), "importscale=100\nimportaxes=sideways\n");
    ASSERT_TRUE(Runs(std::string(kShapeEditorObject) + kLoad + Choose("MODEL.OBJ") + "key enter\nwait 2\n" + kSave +
                     "key enter\nwait 2\n"));
    EXPECT_EQ(Count(log, "MSGBOX \"Error\" \"tolbex.ini: importaxes must be y-up, z-up or file, not \"sideways\"; "
                         "the axes the file says are used.\""),
              1)
        << log;
    // Scaled by 100 as `shape import --scale 100` does, Y up as the file says.
    json saved = CliInfo("shape", "MODEL.SHP");
    RunResult cli = RunProgram(TOLBEX_CLI_BIN, {"shape", "import", "MODEL.OBJ", "CLI.SHP", "--scale", "100"}, dir.path());
    ASSERT_EQ(cli.exitCode, 0) << cli.output;
    json made = CliInfo("shape", "CLI.SHP");
    ASSERT_EQ(saved["vertices"].size(), 5u);
    int32_t most[3] = {0, 0, 0};
    for (int v = 0; v < 5; v++) {
        EXPECT_EQ(saved["vertices"][v]["world"], made["vertices"][v]["world"]) << v;
        for (int c = 0; c < 3; c++) most[c] = std::max(most[c], std::abs(saved["vertices"][v]["world"][c].get<int32_t>()));
    }
    EXPECT_EQ((std::vector<int64_t>{most[0], most[1], most[2]}), (std::vector<int64_t>{200, 100, 300}));
}
