// tolbex-cli sprite, run as a user runs it on pictures the test makes: PNG, BMP and TGA in,
// SPR out and PNG back, with exact pixels; the info; damaged and oversized pictures refused
// with one line naming the file.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "palette/bmp.h"
#include "palette/image.h"
#include "palette/png.h"
#include "support/testutil.h"

static RunResult Sprite(const TempDir& dir, std::vector<std::string> args)
{
    args.insert(args.begin(), "sprite");
    return RunProgram(TOLBEX_CLI_BIN, args, dir.path());
}

static bool Has(const RunResult& r, const std::string& text) { return r.output.find(text) != std::string::npos; }

static ImgPicture Decode(const std::string& file)
{
    Bytes b = ReadBytes(file);
    ImgPicture p;
    std::string why;
    EXPECT_EQ(0, ImgDecode(b.data(), b.size(), &p, why)) << why;
    return p;
}

// A 3 x 2 picture whose channels differ everywhere, with partial alpha.
static const uint8_t kRgba[] = {200, 10, 30, 255, 1, 2, 3, 128, 90, 180, 250, 255,
                                255, 0, 0, 255, 0, 255, 0, 0,   0, 0, 255, 255};

TEST(CliSprite, PicturesInAndOutWithExactPixels)
{
    TempDir dir;
    std::vector<uint8_t> png;
    ASSERT_TRUE(PngEncodeRgba(kRgba, 3, 2, png));
    WriteBytes(dir.file("pic.png"), png);
    RunResult r = Sprite(dir, {"import", "pic.png", "pic.spr", "--format", "32"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ("pic.spr: 32-bit sprite 3x2\n", r.output);
    r = Sprite(dir, {"export", "pic.spr", "back.png"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    ImgPicture back = Decode(dir.file("back.png"));
    EXPECT_EQ(std::vector<uint8_t>(kRgba, kRgba + sizeof kRgba), back.rgba);

    r = Sprite(dir, {"info", "pic.spr"});
    EXPECT_EQ("pic.spr: BGRS, 32 bits, 3x2\nkey colour 255,0,255\nalpha used\n", r.output);

    // A BMP (no alpha) and a TGA written by hand (bottom-up, blue first) come in the same way.
    uint8_t rgb[18];
    for (int i = 0; i < 6; i++) memcpy(rgb + 3 * i, kRgba + 4 * i, 3);
    BmpWrite(dir.file("pic.bmp").c_str(), rgb, 3, 2);
    Bytes tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 32, 8};
    for (int y = 1; y >= 0; y--)
        for (int x = 0; x < 3; x++) {
            const uint8_t* c = kRgba + 4 * (3 * y + x);
            tga.insert(tga.end(), {c[2], c[1], c[0], c[3]});
        }
    WriteBytes(dir.file("pic.tga"), tga);
    for (const char* in : {"pic.bmp", "pic.tga"}) {
        r = Sprite(dir, {"import", in, "x.spr", "--format", "32"});
        ASSERT_EQ(0, r.exitCode) << in << r.output;
        ASSERT_EQ(0, Sprite(dir, {"export", "x.spr", "x.png"}).exitCode);
        ImgPicture p = Decode(dir.file("x.png"));
        for (int i = 0; i < 6; i++) {
            EXPECT_EQ(0, memcmp(&p.rgba[4 * i], kRgba + 4 * i, 3)) << in << " pixel " << i;
            EXPECT_EQ(std::string(in) == "pic.tga" ? kRgba[4 * i + 3] : 255, p.rgba[4 * i + 3]) << in << " pixel " << i;
        }
    }
}

TEST(CliSprite, EightBitsWithThePaletteOrTheirOwn)
{
    TempDir dir;
    // A PAL file of four colours: black, red, green, blue (6-bit).
    Bytes pal = {0, 0, 4, 0, 0, 0, 0, 63, 0, 0, 0, 63, 0, 0, 0, 63};
    pal.resize(748, 0);
    WriteBytes(dir.file("w.pal"), pal);
    std::vector<uint8_t> png;
    ASSERT_TRUE(PngEncodeRgba(kRgba, 3, 2, png));
    WriteBytes(dir.file("pic.png"), png);

    RunResult r = Sprite(dir, {"import", "pic.png", "p8.spr"});
    EXPECT_EQ(2, r.exitCode) << "an 8-bit sprite needs a palette: " << r.output;
    r = Sprite(dir, {"import", "pic.png", "p8.spr", "--palette", "w.pal", "--key", "90,180,250"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ("p8.spr: 8-bit sprite 3x2, 4 palette colours, transparent index 4\n", r.output);
    Bytes s = ReadBytes(dir.file("p8.spr"));
    ASSERT_GE(s.size(), 54u);
    // Nearest colours; alpha 128 stays opaque, alpha 0 and the key are the transparent index.
    EXPECT_EQ((Bytes{1, 0, 4, 1, 4, 3}), Bytes(s.begin() + 48, s.begin() + 54));

    r = Sprite(dir, {"export", "p8.spr", "p8.png"});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_TRUE(Has(r, "--palette")) << r.output;
    r = Sprite(dir, {"export", "p8.spr", "p8.png", "--palette", "w.pal"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    ImgPicture p = Decode(dir.file("p8.png"));
    EXPECT_EQ((std::vector<uint8_t>{252, 0, 0, 255}), std::vector<uint8_t>(p.rgba.begin(), p.rgba.begin() + 4));
    EXPECT_EQ(0, p.rgba[4 * 2 + 3]) << "the key's pixel is transparent";

    r = Sprite(dir, {"import", "pic.png", "own.spr", "--own-palette", "--dither"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    r = Sprite(dir, {"info", "own.spr", "--json"});
    nlohmann::json j = nlohmann::json::parse(r.output);
    EXPECT_EQ("TRPS", j["format"]);
    EXPECT_EQ(3, j["width"]);
    EXPECT_EQ(2, j["height"]);
    EXPECT_EQ(6, j["palette"]) << "five colours and the transparent one";
    EXPECT_EQ(5, j["transparent"]);
}

TEST(CliSprite, BadPicturesAndNamesGiveOneLine)
{
    TempDir dir;
    std::vector<uint8_t> png;
    ASSERT_TRUE(PngEncodeRgba(kRgba, 3, 2, png));
    Bytes cut(png.begin(), png.begin() + png.size() / 2);
    WriteBytes(dir.file("cut.png"), cut);
    WriteText(dir.file("notes.txt"), "not a picture\n");
    WriteText(dir.file("keep.txt"), "my notes\n");
    WriteBytes(dir.file("pic.png"), png);
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string text;
    } cases[] = {
        {{"import", "cut.png", "a.spr", "--format", "32"}, 1, "tolbex-cli: cut.png: it cannot be decoded"},
        {{"import", "notes.txt", "a.spr", "--format", "32"}, 1, "tolbex-cli: notes.txt: it is no PNG, JPEG"},
        {{"import", "gone.png", "a.spr", "--format", "32"}, 1, "tolbex-cli: gone.png: No such file"},
        {{"import", "pic.png", "keep.txt", "--format", "32"}, 1, "tolbex-cli: keep.txt exists and is no sprite"},
        {{"import", "pic.png", "a.spr", "--format", "32", "--key", "1,2"}, 2, "--key 1,2"},
        {{"import", "pic.png", "a.spr", "--format", "16"}, 2, "--format"},
        {{"info", "keep.txt"}, 1, "tolbex-cli: keep.txt: it is no SPR sprite"},
        {{"export", "pic.png", "b.png"}, 1, "tolbex-cli: pic.png: it is no SPR sprite"},
    };
    for (const Case& c : cases) {
        RunResult r = Sprite(dir, c.args);
        EXPECT_EQ(c.code, r.exitCode) << c.args[1] << ": " << r.output;
        EXPECT_TRUE(Has(r, c.text)) << c.text << "\n" << r.output;
        if (c.code == 1) {
            EXPECT_EQ(1, std::count(r.output.begin(), r.output.end(), '\n')) << r.output;
        }
    }
    EXPECT_EQ("my notes\n", ReadText(dir.file("keep.txt")));
    EXPECT_FALSE(PathExists(dir.file("a.spr")));
}
