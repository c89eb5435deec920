// Writes that cannot finish, seen from the command line as a user meets them.
#include <filesystem>

#include "e2e/e2e.h"

TEST_F(Headless, AFullDiskKeepsTheOldOutputFile)
{
    RunResult r = RunProgram(TOLBEX_CLI_BIN, {"shape", "sphere", "100", "100", "100", "a.shp"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.output;
    WriteText(dir.file("out.shp"), "the user's earlier output");
    // A file-size limit of 1024 bytes stands in for a full disk: the sphere needs more.
    std::string cmd = std::string("ulimit -f 2; exec '") + TOLBEX_CLI_BIN + "' shape normalise a.shp out.shp";
    r = RunProgram("/bin/sh", {"-c", cmd}, dir.path());
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(ReadText(dir.file("out.shp")), "the user's earlier output");
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.shp", "out.shp"})) << "no temporary file is left behind";
}
