// tolbex-cli's conventions: results on stdout, one error line on stderr, the developer log only where
// asked for, missing files and unknown commands told alike, one of a thing in the singular.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "kernel/version.h"
#include "materials/mattest.h"
#include "shapes/shape_build.h"
#include "support/testutil.h"

namespace {

RunResult Cli(const TempDir& dir, const std::vector<std::string>& args, const std::vector<std::string>& env = {})
{
    return RunProgram(TOLBEX_CLI_BIN, args, dir.path(), env);
}

long Lines(const std::string& s) { return std::count(s.begin(), s.end(), '\n'); }

bool Has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

}   // namespace

TEST(CliConventions, VersionUsageAndUnknownCommands)
{
    TempDir dir;
    RunResult r = Cli(dir, {"--version"});
    EXPECT_EQ(0, r.exitCode);
    EXPECT_EQ("tolbex-cli " TOLBEX_VERSION "\n", r.output);

    r = Cli(dir, {"shape", "render", "--help"});
    EXPECT_EQ(0, r.exitCode);
    EXPECT_TRUE(Has(r.output, "Usage: tolbex-cli shape render [OPTIONS] IN OUT")) << r.output;
    EXPECT_FALSE(Has(r.output, TOLBEX_CLI_BIN)) << "the program's name, not the path it was built at";

    struct {
        std::vector<std::string> args;
        const char* line;
    } cases[] = {
        {{"shape", "frob", "x.shp"},
         "shape: unknown command \"frob\"; the commands are info, upgrade, normalise, optimise, merge, import-asc, "
         "export-asc, sphere, render, import, export"},
        {{"frob"}, "unknown command \"frob\"; the commands are res, pal, lbm, mat, shape, world, tpage, sprite"},
        {{"mat", "--verbose"}, "mat: a command is needed: info, upgrade, merge"},
    };
    for (const auto& c : cases) {
        r = Cli(dir, c.args);
        EXPECT_EQ(2, r.exitCode) << r.output;
        EXPECT_EQ(std::string("tolbex-cli: ") + c.line + "\n", r.output);
    }
    // Any other usage error is one line as well.
    r = Cli(dir, {"shape", "render", "in.shp"});
    EXPECT_EQ(2, r.exitCode);
    EXPECT_EQ("tolbex-cli: OUT is required (see --help)\n", r.output);
}

TEST(CliConventions, MissingFileIsToldAlikeByEveryCommand)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("folder.mat"));
    const std::vector<std::vector<std::string>> commands = {
        {"res", "list", "gone.res"},
        {"res", "pack", "o.res", "gone.dat"},
        {"pal", "info", "gone.pal"},
        {"pal", "import-lbm", "gone.lbm", "o.pal"},
        {"lbm", "to-bmp", "gone.lbm", "o.bmp"},
        {"mat", "merge", "gone.mat", "gone2.mat", "o.mat"},
        {"shape", "info", "gone.shp"},
        {"shape", "optimise", "gone.shp", "o.shp"},
        {"shape", "render", "gone.shp", "o.png"},
        {"shape", "import-asc", "gone.asc", "o.shp"},
        {"shape", "sphere", "9", "9", "9", "o.shp", "--materials", "gone.mat"},
        {"shape", "sphere", "9", "9", "9", "o.shp", "--palette", "gone.pal"},
    };
    for (const auto& args : commands) {
        RunResult r = Cli(dir, args);
        std::string file =
            *std::find_if(args.begin(), args.end(), [](const std::string& a) { return a.rfind("gone", 0) == 0; });
        EXPECT_EQ(1, r.exitCode) << args[0] << " " << args[1];
        EXPECT_EQ("tolbex-cli: cannot open " + file + ": No such file or directory\n", r.output) << args[1];
    }
    RunResult r = Cli(dir, {"mat", "info", "folder.mat"});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ("tolbex-cli: cannot open folder.mat: Is a directory\n", r.output);
    for (const char* out : {"o.res", "o.pal", "o.bmp", "o.mat", "o.shp", "o.png"})
        EXPECT_FALSE(PathExists(dir.file(out))) << out;
}

TEST(CliConventions, DeveloperLogOnlyWhereAskedFor)
{
    TempDir dir;
    ASSERT_EQ(0, Cli(dir, {"shape", "sphere", "100", "100", "100", "s.shp"}).exitCode);
    const std::vector<std::string> render = {"shape", "render", "s.shp", "s.png", "--size", "64x48"};
    const std::string modeLine = "WVideoSetMode setting 64x48, 32 bits, windowed";

    RunResult quiet = Cli(dir, render);
    ASSERT_EQ(0, quiet.exitCode) << quiet.output;
    EXPECT_EQ(0u, quiet.output.rfind("s.png: 64x48, 32 bits, perspective view, ", 0)) << quiet.output;
    EXPECT_EQ(1, Lines(quiet.output)) << quiet.output;

    std::vector<std::string> args = render;
    args.insert(args.end(), {"--log", "run.log"});
    RunResult logged = Cli(dir, args);
    EXPECT_EQ(quiet.output, logged.output);
    std::string log = ReadText(dir.file("run.log"));
    EXPECT_TRUE(Has(log, modeLine)) << log;
    std::string lower = log;
    for (char& c : lower) c = (char)tolower((unsigned char)c);
    EXPECT_FALSE(Has(lower, "directdraw") || Has(lower, "d3d") || Has(lower, "debug=")) << log;

    RunResult fromEnv = Cli(dir, render, {"TOLBEX_LOG=env.log"});
    EXPECT_EQ(quiet.output, fromEnv.output);
    EXPECT_TRUE(Has(ReadText(dir.file("env.log")), modeLine));

    args = render;
    args.push_back("--verbose");
    RunResult verbose = Cli(dir, args);
    EXPECT_EQ(0, verbose.exitCode);
    EXPECT_TRUE(Has(verbose.output, modeLine)) << verbose.output;

    remove(dir.file("s.png").c_str());
    args = render;
    args.insert(args.end(), {"--log", "no/such/run.log"});
    RunResult refused = Cli(dir, args);
    EXPECT_EQ(1, refused.exitCode);
    EXPECT_EQ("tolbex-cli: cannot open the log no/such/run.log: No such file or directory\n", refused.output);
    EXPECT_FALSE(PathExists(dir.file("s.png"))) << "nothing done without the log that was asked for";
}

TEST(CliConventions, OneOfAThingIsSingular)
{
    TempDir dir;
    TShape one;
    one.verts = {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}};
    one.polys = {TPoly({0, 1, 2})};
    WriteBytes(dir.file("one.shp"), BuildShape(one));
    RunResult r = Cli(dir, {"shape", "normalise", "one.shp", "out.shp"});
    EXPECT_EQ(0u, r.output.rfind("out.shp: 3 vertices, 1 polygon, ", 0)) << r.output;
    r = Cli(dir, {"shape", "info", "out.shp"});
    for (const char* line : {"\n3 vertices\n", "\n1 polygon\n", "\n1 material name\n"})
        EXPECT_TRUE(Has(r.output, line)) << line << r.output;

    WriteText(dir.file("b.dat"), "b");
    r = Cli(dir, {"res", "pack", "b.res", "b.dat"});
    EXPECT_EQ("b.res: 1 entry\n", r.output);
    r = Cli(dir, {"res", "extract", "b.res", "b.dat", "b.out"});
    EXPECT_EQ("b.out: 1 byte\n", r.output);

    WriteBytes(dir.file("one.mat"), MatFile({{"Dummy"}}));
    r = Cli(dir, {"mat", "info", "one.mat"});
    EXPECT_EQ(0u, r.output.rfind("one.mat: version 4, 1 material, palette colours\n", 0)) << r.output;
}
