// The editor's import options from tolbex.ini, and the materials a model brings into a list
// the user has loaded: new names appended with the model's colours and textures, the user's
// own materials never replaced.
#include <map>
#include <tuple>

#include "materials/mattest.h"
#include "palette/png.h"
#include "shapes/modelmat.h"

namespace {

std::map<std::string, std::string> gImportIni;
const char* ImportIniGet(const char* key)
{
    auto it = gImportIni.find(key);
    return it == gImportIni.end() ? nullptr : it->second.c_str();
}

struct SettingCase {
    std::map<std::string, std::string> ini;
    double scale, fit;
    int axes, polygons;
    bool textures;     // the textures folder taken
    size_t refused;
};

}  // namespace

TEST(ModelImportSettings, ValuesInRangeAreTakenAndOthersKeepTheirDefaultWithALineNamingThem)
{
    TempDir dir;
    const int Y = MODEL_AXES_Y_UP, Z = MODEL_AXES_Z_UP, F = MODEL_AXES_FROM_FILE;
    const std::vector<SettingCase> cases = {
        {{}, 0, 0, F, 0, false, 0},
        {{{"importscale", "2.5"}}, 2.5, 0, F, 0, false, 0},
        {{{"importscale", "0"}}, 0, 0, F, 0, false, 0},
        {{{"importscale", "-1"}}, 0, 0, F, 0, false, 1},
        {{{"importscale", "2x"}}, 0, 0, F, 0, false, 1},
        {{{"importscale", "inf"}}, 0, 0, F, 0, false, 1},
        {{{"importscale", "1e400"}}, 0, 0, F, 0, false, 1},
        {{{"importscale", ""}}, 0, 0, F, 0, false, 1},
        {{{"importfit", "300"}}, 0, 300, F, 0, false, 0},
        {{{"importfit", "0"}}, 0, 0, F, 0, false, 1},
        {{{"importscale", "2"}, {"importfit", "300"}}, 2, 0, F, 0, false, 1},
        {{{"importaxes", "z-up"}}, 0, 0, Z, 0, false, 0},
        {{{"importaxes", "Y-UP"}}, 0, 0, Y, 0, false, 0},
        {{{"importaxes", "file"}}, 0, 0, F, 0, false, 0},
        {{{"importaxes", "x-up"}}, 0, 0, F, 0, false, 1},
        {{{"importpolygons", "32767"}}, 0, 0, F, 32767, false, 0},
        {{{"importpolygons", "32768"}}, 0, 0, F, 0, false, 1},
        {{{"importpolygons", "1"}}, 0, 0, F, 1, false, 0},
        {{{"importpolygons", "0"}}, 0, 0, F, 0, false, 0},
        {{{"importpolygons", "-1"}}, 0, 0, F, 0, false, 1},
        {{{"importpolygons", "10.5"}}, 0, 0, F, 0, false, 1},
        {{{"importtextures", dir.path()}}, 0, 0, F, 0, true, 0},
        {{{"importtextures", dir.file("none")}}, 0, 0, F, 0, false, 1},
        // Every key at once, each bad: every default, a line each.
        {{{"importscale", "x"}, {"importfit", "-2"}, {"importaxes", "up"}, {"importpolygons", "many"},
          {"importtextures", dir.file("none")}},
         0, 0, F, 0, false, 5},
    };
    for (const SettingCase& c : cases) {
        gImportIni = c.ini;
        std::string label;
        for (const auto& [k, v] : c.ini) label += k + "=" + v + " ";
        ModelImportSettings s;
        s.shape.scale = 99;   // read from scratch, whatever the caller held
        s.textures = "old";
        std::vector<std::string> refused;
        ModelReadImportSettings(ImportIniGet, &s, refused);
        EXPECT_EQ(std::make_tuple(s.shape.scale, s.shape.fit, (int)s.shape.axes, (int)s.shape.maxPolygons, s.textures),
                  std::make_tuple(c.scale, c.fit, c.axes, c.polygons, c.textures ? dir.path() : ""))
            << label;
        ASSERT_EQ(refused.size(), c.refused) << label;
        // A refusal names the setting and the value it could not use.
        if (c.refused == 1) {
            const auto& [key, value] = *(c.ini.size() == 1 ? c.ini.begin() : c.ini.find("importfit"));
            EXPECT_NE(refused[0].find("tolbex.ini: " + key + " must be"), std::string::npos) << refused[0];
            EXPECT_NE(refused[0].find("\"" + value.substr(0, 40) + "\""), std::string::npos) << refused[0];
        }
    }
}

namespace {

// A model of three materials, and a shape naming them and one of its own, as ModelToShape
// leaves them.
struct ImportedMaterials : Materials {
    ModelData model;
    ModelShape shape;
    ModelMaterialsOptions options;
    void SetUp() override
    {
        Materials::SetUp();
        ModelMaterial brick, glass, metal;
        brick.name = "brick";
        brick.diffuse[0] = 0, brick.diffuse[1] = 1, brick.diffuse[2] = 0;
        glass.name = "glass";
        glass.diffuse[0] = 0.25f, glass.diffuse[1] = 0.5f, glass.diffuse[2] = 0.75f, glass.diffuse[3] = 0.5f;
        glass.specular = 0.125f;
        glass.texture = "pictures\\wood.png";   // found by its name beside the model
        metal.name = "metal";
        metal.texture = "missing.png";
        model.materials = {brick, glass, metal};
        shape.names = {"BRICK", "GLASS", "METAL", "PLAIN"};
        shape.materialsUsed = {0, 1, 2, -1};
        // A 2 x 2 picture of four colours told apart by every channel.
        const uint8_t rgba[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 10, 20, 30, 128};
        std::vector<uint8_t> png;
        ASSERT_TRUE(PngEncodeRgba(rgba, 2, 2, png));
        ASSERT_TRUE(WriteBytes(dir.file("wood.png"), png));
        options.modelFile = dir.file("model.obj");
        options.spriteFolder = dir.path() + "/";
    }
    // The user's list: the Dummy and their own BRICK, in red.
    void UserList()
    {
        MatMSetTrueColour();
        MatMAdd(1);
        MatMSetName(1, "Brick");
        MatMSetRed(1, 16000);
    }
    static int32_t Field(int index, int offset) { return GetI32(MatMRecord(index), offset); }
    // Red, green, blue, alpha, specular, diffuse, ambient.
    static std::vector<int32_t> Colours(int index)
    {
        std::vector<int32_t> out;
        for (int f : {MR_RED, MR_GREEN, MR_BLUE, MR_ALPHA, MR_SPECULAR, MR_DIFFUSE, MR_AMBIENT}) out.push_back(Field(index, f));
        return out;
    }
};

}  // namespace

TEST_F(ImportedMaterials, NewNamesAreAppendedWithTheModelsColoursAndTheUsersOwnStayAsTheyAre)
{
    UserList();
    ModelMaterialsReport report;
    ModelAddMaterials(model, shape, options, &report);

    EXPECT_EQ(report.kept, (std::vector<std::string>{"BRICK"}));
    EXPECT_EQ(report.added, (std::vector<std::string>{"GLASS", "METAL", "PLAIN"}));
    EXPECT_TRUE(report.noRoom.empty());
    ASSERT_EQ(MatMCount(), 5);
    // The user's Brick: its name, its red, not the model's green.
    EXPECT_STREQ(MatMGetName(1), "Brick");
    EXPECT_EQ((std::vector<int32_t>{Field(1, MR_RED), Field(1, MR_GREEN)}), (std::vector<int32_t>{16000, 0}));
    // Appended in the shape's order, each colour field from its own channel.
    EXPECT_STREQ(MatMGetName(2), "GLASS");
    EXPECT_EQ(Colours(2), (std::vector<int32_t>{4096, 8192, 12287, 8192, 2048, MAT_COLOUR_MAX, MAT_COLOUR_MAX / 4}));
    EXPECT_STREQ(MatMGetName(3), "METAL");
    EXPECT_EQ(Field(3, MR_ALPHA), 0) << "an opaque material has alpha 0";
    EXPECT_STREQ(MatMGetName(4), "PLAIN");
    EXPECT_EQ(Field(4, MR_RED), 13106) << "a name without a model material takes the default grey";

    // The texture as a 32-bit sprite named in 8.3 form for its material, its pixels exact; not
    // written, and not named in the material before it is (naming loads it).
    EXPECT_STREQ(MatMGetTexture(2), "");
    ASSERT_EQ(report.sprites.size(), 1u);
    EXPECT_EQ(report.sprites[0].name, "WOOD.SPR");
    EXPECT_EQ(report.sprites[0].material, 2);
    EXPECT_FALSE(FileExists(dir.file("WOOD.SPR").c_str()));
    ResId id = ResCreate(report.sprites[0].bytes.size());
    memcpy(ResOpen(id), report.sprites[0].bytes.data(), report.sprites[0].bytes.size());
    ResClose(id);
    ASSERT_EQ(SpriteLoad(id), 0) << SpriteLastRefusal();
    ImgPicture back;
    std::string why;
    uint8_t palette[256 * 3] = {};
    ASSERT_EQ(ImgFromSprite(id, palette, &back, why), 0) << why;
    ASSERT_EQ(back.width, 2);
    EXPECT_EQ(back.rgba, (std::vector<uint8_t>{255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 10, 20, 30, 128}));
    ResFreeAlways(id);

    // The texture that is nowhere: one line naming it and its material, which keeps its colour.
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_NE(report.warnings[0].find("texture missing.png of material METAL"), std::string::npos) << report.warnings[0];
    EXPECT_STREQ(MatMGetTexture(3), "");
    EXPECT_TRUE(MatMChanged()) << "the list is unsaved now";
}

TEST_F(ImportedMaterials, TexturesAreFoundInTheTexturesFolderAndNamesAreNotTakenTwice)
{
    UserList();
    TempDir elsewhere;
    options.modelFile = elsewhere.file("model.obj");
    options.textures = dir.path();
    // A sprite of that name is there already: the new one gets another name.
    ASSERT_TRUE(WriteText(dir.file("WOOD.SPR"), "the user's"));
    model.materials[2].texture = "wood.png";
    ModelMaterialsReport report;
    ModelAddMaterials(model, shape, options, &report);
    ASSERT_EQ(report.sprites.size(), 2u);
    EXPECT_EQ(std::make_tuple(report.sprites[0].name, report.sprites[0].material, report.sprites[1].name, report.sprites[1].material),
              std::make_tuple(std::string("WOOD~1.SPR"), 2, std::string("WOOD~2.SPR"), 3));
    EXPECT_TRUE(report.warnings.empty());
    EXPECT_EQ(ReadText(dir.file("WOOD.SPR")), "the user's");
}

TEST_F(ImportedMaterials, InPaletteModeMaterialsTakeTheNearestColourAndTexturesAre8Bit)
{
    // A working palette of entries 8..15 whose nearest to the model's colours are known.
    uint8_t palette[256 * 3] = {};
    palette[3 * 9 + 1] = 63;                                        // green: the brick
    palette[3 * 12] = 16, palette[3 * 12 + 1] = 32, palette[3 * 12 + 2] = 48;   // the glass's blue-grey
    palette[3 * 14] = 50, palette[3 * 14 + 1] = 50, palette[3 * 14 + 2] = 50;   // the default grey
    options.palette = palette;
    options.paletteFirst = 8;
    options.paletteCount = 8;
    ModelMaterialsReport report;
    ModelAddMaterials(model, shape, options, &report);
    ASSERT_EQ(MatMCount(), 5);
    EXPECT_EQ((std::vector<int>{MatMGetPalette(1), MatMGetPalette(2), MatMGetPalette(4)}), (std::vector<int>{9, 12, 14}));
    ASSERT_EQ(report.sprites.size(), 1u);
    EXPECT_EQ(std::string(report.sprites[0].bytes.begin(), report.sprites[0].bytes.begin() + 4), "TRPS");
}

TEST_F(ImportedMaterials, AFullListTakesNoMoreAndSaysWhich)
{
    // The Dummy, Brick and others: one short of the most a list holds.
    std::vector<Mat> mats = {{"Dummy"}, {"Brick"}};
    for (const Mat& m : NumberedMats("M", MAT_MAX_RECORDS - 3)) mats.push_back(m);
    ASSERT_TRUE(WriteBytes(dir.file("FULL.MAT"), MatFile(mats, MAT_FLAG_TRUE_COLOUR)));
    ASSERT_EQ(MatMLoad(dir.file("FULL.MAT").c_str()), 0);
    ASSERT_EQ(MatMCount(), MAT_MAX_RECORDS - 1);
    ModelMaterialsReport report;
    ModelAddMaterials(model, shape, options, &report);
    EXPECT_EQ(report.kept, (std::vector<std::string>{"BRICK"}));
    EXPECT_EQ(report.added, (std::vector<std::string>{"GLASS"}));
    EXPECT_EQ(report.noRoom, (std::vector<std::string>{"METAL", "PLAIN"}));
    EXPECT_EQ(MatMCount(), MAT_MAX_RECORDS);
}
