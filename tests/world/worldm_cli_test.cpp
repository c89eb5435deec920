// tolbex-cli world info, upgrade and summary, run as a user runs them.
#include <nlohmann/json.hpp>

#include <filesystem>
#include <tuple>

#include "world/worldm_fixture.h"

namespace {

RunResult WorldCli(const TempDir& dir, std::vector<std::string> args)
{
    args.insert(args.begin(), "world");
    return RunProgram(TOLBEX_CLI_BIN, args, dir.path());
}

Bytes OldWorld()
{
    WleImage w(16);
    w.Shape({.flags = WSF_SELECTED, .id = 9, .pitch = 300, .name = Name4("DOOR"), .x = 1000, .y = -20, .z = 3,
             .file = "ROCK"});
    w.Shape({.id = 9, .x = 5, .file = "tree.shp"}, true);
    w.Node({.id = 1, .next = 2, .x = 7});
    w.Node({.id = 2, .x = 9});
    w.Shape({.file = "GONE"}, true);
    return w.Done();
}

}  // namespace

TEST_F(WorldTest, UpgradeSavesAsThePanelDoesAndRoundTrips)
{
    WriteBytes(dir.file("old.wle"), OldWorld());
    RunResult r = WorldCli(dir, {"upgrade", "old.wle", "new.wle"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("new.wle: WLE version 19 from version 16, 3 worldshapes, 2 nodes, "))
        << r.output;
    EXPECT_NE(std::string::npos, r.output.find("warning: old.wle: shape GONE.SHP is missing")) << r.output;
    // What the panel's Load and Save make of the same file in this process.
    ASSERT_EQ(0, LoadBytes(OldWorld(), "same.wle"));
    EXPECT_EQ(Used(), ReadBytes(dir.file("new.wle")));
    char text[4096];
    WorldMSummaryText(nullptr, text, sizeof text);
    EXPECT_EQ(std::string(text), ReadText(dir.file("temp.txt")));
    // Upgrading the upgraded file changes nothing more.
    r = WorldCli(dir, {"upgrade", "new.wle", "again.wle"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ(ReadBytes(dir.file("new.wle")), ReadBytes(dir.file("again.wle")));
}

TEST_F(WorldTest, ShapesComeFromTheShapesFolderAndTheReportStaysHere)
{
    std::filesystem::create_directory(dir.file("shapes"));
    std::filesystem::create_directory(dir.file("out"));
    std::filesystem::rename(dir.file("ROCK.SHP"), dir.file("shapes/ROCK.SHP"));
    std::filesystem::rename(dir.file("tree.shp"), dir.file("shapes/tree.shp"));
    WriteBytes(dir.file("old.wle"), WleImage().Shape({.file = "ROCK"}).Shape({.file = "TREE"}).Done());
    RunResult r = WorldCli(dir, {"upgrade", "old.wle", "out/new.wle"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("ROCK.SHP is missing")) << r.output;
    r = WorldCli(dir, {"upgrade", "--shapes", "shapes", "old.wle", "out/new.wle"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ(std::string::npos, r.output.find("warning")) << r.output;
    EXPECT_TRUE(PathExists(dir.file("out/new.wle")));
    EXPECT_TRUE(PathExists(dir.file("temp.txt")));
    EXPECT_FALSE(PathExists(dir.file("shapes/temp.txt")));
    r = WorldCli(dir, {"summary", "--shapes", "shapes", "old.wle", "sum.txt"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ("Summary of World File\r\n\r\nWorldShapes\r\n\r\n"
              "Name:- (No Name) Pos:- 00000000h 00000000h 00000000h ROCK.SHP \r\n"
              "Name:- (No Name) Pos:- 00000000h 00000000h 00000000h TREE.SHP \r\n",
              ReadText(dir.file("sum.txt")));
    EXPECT_NE(std::string::npos, r.output.find("sum.txt: summary of 2 worldshapes")) << r.output;
    r = WorldCli(dir, {"upgrade", "--shapes", "nowhere", "old.wle", "x.wle"});
    EXPECT_EQ(1, r.exitCode) << r.output;
}

TEST_F(WorldTest, InfoShowsTheHeaderAndEveryPacket)
{
    WriteBytes(dir.file("old.wle"), OldWorld());
    RunResult r = WorldCli(dir, {"info", "old.wle", "--json"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    nlohmann::json j = nlohmann::json::parse(r.output);
    EXPECT_EQ(16, j["version"]);
    EXPECT_EQ(OldWorld().size(), j["used"].get<size_t>());
    EXPECT_EQ(8, j["cells"][0]);
    ASSERT_EQ(5u, j["packets"].size());
    const std::tuple<int, const char*, nlohmann::json> fields[] = {
        {0, "kind", "worldshape"}, {0, "name", "DOOR"}, {0, "id", 9},   {0, "pitch", 300}, {0, "file", "ROCK.SHP"},
        {1, "kind", "short-worldshape"}, {1, "offset", 256}, {2, "kind", "node"}, {2, "next", 2}};
    for (const auto& [packet, key, value] : fields) EXPECT_EQ(value, j["packets"][packet][key]) << packet << " " << key;
    r = WorldCli(dir, {"info", "old.wle"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("old.wle: WLE version 16")) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("@168 worldshape id 9 flags 0x8000 name DOOR at (1000, -20, 3)"))
        << r.output;
    EXPECT_NE(std::string::npos, r.output.find("@320 node id 1 at (7, 0, 0) previous 0 next 2")) << r.output;
}

TEST_F(WorldTest, DamagedAndTooOldFilesFailWithOneErrorLine)
{
    Bytes bad = OldWorld();
    PutU16(bad.data(), 168 + 88, 0x4242);
    WriteBytes(dir.file("bad.wle"), bad);
    WriteBytes(dir.file("old.wle"), WleImage(14).Done());
    WriteText(dir.file("keep.wle"), "earlier");
    for (const char* cmd : {"upgrade", "summary"}) {
        RunResult r = WorldCli(dir, {cmd, "bad.wle", "keep.wle"});
        EXPECT_EQ(1, r.exitCode) << r.output;
        EXPECT_EQ("tolbex-cli: bad.wle: Failed to load WLE file. (damaged file: packet of unknown type 0x4242 at "
                  "offset 256)\n",
                  r.output);
        r = WorldCli(dir, {cmd, "old.wle", "keep.wle"});
        EXPECT_EQ(1, r.exitCode) << r.output;
        EXPECT_EQ("tolbex-cli: old.wle: Failed to load WLE file. (version is prior to 15 - too old!)\n", r.output);
    }
    EXPECT_EQ("earlier", ReadText(dir.file("keep.wle")));
    RunResult r = WorldCli(dir, {"info", "bad.wle"});
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("bad.wle: not a WLE world file, or a damaged one")) << r.output;
    r = WorldCli(dir, {"info", "missing.wle"});
    EXPECT_EQ(1, r.exitCode) << r.output;
    r = WorldCli(dir, {"upgrade", "missing.wle", "x.wle"});
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_EQ("tolbex-cli: cannot open missing.wle: No such file or directory\n", r.output);
    r = WorldCli(dir, {"upgrade", "old.wle"});
    EXPECT_EQ(2, r.exitCode) << r.output;
}
