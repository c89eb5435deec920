// tolbex-cli mat, run as a user runs it.
#include <nlohmann/json.hpp>

#include "materials/mattest.h"

static RunResult Cli(const TempDir& dir, const std::vector<std::string>& args)
{
    std::vector<std::string> all = {"mat"};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(TOLBEX_CLI_BIN, all, dir.path());
}

static bool Has(const RunResult& r, const std::string& text) { return r.output.find(text) != std::string::npos; }

static void ExpectRefused(const RunResult& r, const std::string& text)
{
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_TRUE(Has(r, text)) << r.output;
    EXPECT_FALSE(Has(r, "Sanitizer")) << r.output;
    EXPECT_FALSE(Has(r, "runtime error")) << r.output;
}

TEST(CliMat, InfoInTextAndJson)
{
    TempDir dir;
    WriteBytes(dir.file("rgb.mat"), MatFile({{"Dummy"}, {"Steel", 8000, 9000, 10000, 1, 2, 3, 4, 5, "metal.spr"}},
                                            MAT_FLAG_TRUE_COLOUR));
    RunResult r = Cli(dir, {"info", "rgb.mat"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_TRUE(Has(r, "rgb.mat: version 4, 2 materials, true colour")) << r.output;
    EXPECT_TRUE(Has(r, "   0  Dummy             rgb 0,0,0                 0        0        0        0        0\n"))
        << r.output;
    EXPECT_TRUE(Has(r, "   1  Steel             rgb 8000,9000,10000       1        2        3        4        5  metal.spr\n"))
        << r.output;

    r = Cli(dir, {"info", "rgb.mat", "--json"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    nlohmann::json j = nlohmann::json::parse(r.output);
    EXPECT_EQ(4, j["version"]);
    EXPECT_EQ(true, j["trueColour"]);
    EXPECT_EQ(nlohmann::json::parse(R"({"index": 1, "name": "Steel", "red": 8000, "green": 9000, "blue": 10000,
        "selfIllumination": 1, "ambient": 2, "diffuse": 3, "specular": 4, "alpha": 5, "texture": "metal.spr"})"),
              j["materials"][1]);

    // A name filling its field with bytes that are not text still gives valid JSON.
    WriteBytes(dir.file("odd.mat"), MatFile({{"\xff\xfe odd name 16ch", 3}}));
    r = Cli(dir, {"info", "odd.mat", "--json"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    j = nlohmann::json::parse(r.output);
    EXPECT_EQ(3, j["materials"][0]["palette"]);
    EXPECT_EQ(16u, j["materials"][0]["name"].get<std::string>().size());
}

TEST(CliMat, UpgradeAVersion2FileThenShowIt)
{
    TempDir dir;
    WriteBytes(dir.file("old.mat"), Mat2File({{"Dummy"}, {"GLASS          ", 12, 0, 6000, 16384, 0, 1, "SKY.SPR"}}));
    RunResult r = Cli(dir, {"upgrade", "old.mat", "new.mat"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_TRUE(Has(r, "new.mat: version 4, 2 materials (from version 2)")) << r.output;

    r = Cli(dir, {"info", "new.mat", "--json"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    // What the file holds is converted (the conversion's details are MatM's): the ambient
    // of a transparent material became its alpha.
    EXPECT_EQ(6000, nlohmann::json::parse(r.output)["materials"][1]["alpha"]);
    r = Cli(dir, {"info", "old.mat"});
    EXPECT_TRUE(Has(r, "old.mat: version 2 (read as version 4), 2 materials, palette colours")) << r.output;
}

TEST(CliMat, MergeKeepsAAndAddsNewNamesOfB)
{
    TempDir dir;
    WriteBytes(dir.file("a.mat"), MatFile({{"Dummy"}, {"Red", 200}, {"Blue", 3}}));
    WriteBytes(dir.file("b.mat"), Mat2File({{"Dummy"}, {"RED", 9}, {"Green", 4}}));
    RunResult r = Cli(dir, {"merge", "a.mat", "b.mat", "out.mat"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_TRUE(Has(r, "out.mat: 4 materials (3 from a.mat, 1 added from b.mat)")) << r.output;
    r = Cli(dir, {"info", "out.mat", "--json"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    nlohmann::json m = nlohmann::json::parse(r.output)["materials"];
    ASSERT_EQ(4u, m.size());
    EXPECT_EQ("Red", m[1]["name"]);
    EXPECT_EQ(200, m[1]["palette"]);
    EXPECT_EQ("Green", m[3]["name"]);
    EXPECT_EQ(4, m[3]["palette"]);

    // Past 1000 nothing is written.
    WriteBytes(dir.file("many.mat"), MatFile(NumberedMats("M", 998)));
    r = Cli(dir, {"merge", "a.mat", "many.mat", "big.mat"});
    ExpectRefused(r, "would pass 1000 materials");
    EXPECT_FALSE(PathExists(dir.file("big.mat")));
}

TEST(CliMat, RefusedFiles)
{
    TempDir dir;
    Bytes good = MatFile({{"Dummy"}, {"A"}});
    WriteBytes(dir.file("good.mat"), good);
    WriteBytes(dir.file("short.mat"), Bytes(good.begin(), good.end() - 1));
    Bytes lying = good;
    PutI16(lying.data(), MH_COUNT, -2);
    WriteBytes(dir.file("negative.mat"), lying);
    PutI16(lying.data(), MH_COUNT, 2);
    PutI16(lying.data(), MH_VERSION, 7);
    WriteBytes(dir.file("v7.mat"), lying);
    WriteBytes(dir.file("tiny.mat"), Bytes{1, 0});

    ExpectRefused(Cli(dir, {"info", "short.mat"}), "short.mat: not a material file (2 records do not match its 207 bytes)");
    ExpectRefused(Cli(dir, {"info", "negative.mat", "--json"}), "negative count -2");
    ExpectRefused(Cli(dir, {"info", "v7.mat"}), "version 7");
    ExpectRefused(Cli(dir, {"info", "tiny.mat"}), "shorter than its header");
    ExpectRefused(Cli(dir, {"upgrade", "short.mat", "out.mat"}), "short.mat: not a material file");
    ExpectRefused(Cli(dir, {"merge", "good.mat", "v7.mat", "out.mat"}), "v7.mat: not a material file");
    EXPECT_FALSE(PathExists(dir.file("out.mat")));
    EXPECT_EQ(2, Cli(dir, {"info"}).exitCode);
}
