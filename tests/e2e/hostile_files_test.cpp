// Files no reader takes as they come: 4 GiB sparse files (refused from their size, memory measured),
// FIFOs, names that cannot be opened, the longest names, names holding terminal escapes.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e.h"
#include "materials/mattest.h"
#include "world/wle.h"

namespace hostile {

// A few times what a sanitised run holds anyway (about 60 MB), far below a 4 GiB file read whole.
constexpr long kPeakKbLimit = 256 * 1024;
const std::string kHuge = "4294967296 bytes, larger than ";

RunResult RunCli(const TempDir& dir, const std::vector<std::string>& args)
{
    return RunProgram(TOLBEX_CLI_BIN, args, dir.path(), {}, 60);
}

bool Holds(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

void Sparse(const std::string& path, uintmax_t size)
{
    WriteText(path, "");
    std::filesystem::resize_file(path, size);
}

// Every reading command, each with the file it reads named NAME.EXT, and what the file must be.
struct Reader {
    std::vector<std::string> args;
    const char* ext;
    const char* kind;
    const char* limit;
};

const std::vector<Reader>& Readers()
{
    static const std::vector<Reader> readers = {
        {{"shape", "info", "@"}, "shp", "a shape file", "2000000"},
        {{"shape", "optimise", "@", "o.shp"}, "shp", "a shape file", "2000000"},
        {{"shape", "render", "@", "o.png"}, "shp", "a shape file", "2000000"},
        {{"shape", "sphere", "9", "9", "9", "o.shp", "--materials", "@"}, "mat", "a material file", "3276708"},
        {{"shape", "sphere", "9", "9", "9", "o.shp", "--palette", "@"}, "pal", "a palette file", "748"},
        {{"shape", "import-asc", "@", "o.shp"}, "asc", "a 3D Studio ASCII listing", "33554432"},
        {{"mat", "info", "@"}, "mat", "a material file", "3276708"},
        {{"mat", "merge", "@", "@", "o.mat"}, "mat", "a material file", "3276708"},
        {{"pal", "info", "@"}, "pal", "a palette file", "748"},
        {{"pal", "import-lbm", "@", "o.pal"}, "lbm", "an LBM picture", "16777216"},
        {{"lbm", "to-bmp", "@", "o.bmp"}, "lbm", "an LBM picture", "16777216"},
        {{"world", "info", "@"}, "wle", "a world file", "524288"},
        {{"world", "upgrade", "@", "o.wle"}, "wle", "a world file", "524288"},
        {{"world", "runtime", "@"}, "wle", "a world file", "524288"},
        {{"res", "list", "@"}, "res", "a resource file", "4294967295"},
        {{"res", "pack", "o.res", "@"}, "dat", "a resource entry", "4294967295"},
        {{"tpage", "pack", "@"}, "spr", "a sprite file", "67174400"},
    };
    return readers;
}

std::vector<std::string> Named(std::vector<std::string> args, const std::string& file)
{
    for (std::string& a : args)
        if (a == "@") a = file;
    return args;
}

}  // namespace hostile

using namespace hostile;

// A FIFO with no writer would block for good: refused at once (the time limit only stops a hang).
TEST(HostileFiles, EveryReaderRefusesAFileLargerThanItsFormatFromItsSizeAndAFifoAtOnce)
{
    TempDir dir;
    for (const char* ext : {"shp", "mat", "pal", "asc", "lbm", "wle", "res", "dat", "spr"}) {
        Sparse(dir.file(std::string("big.") + ext), 4ull << 30);
        ASSERT_EQ(0, mkfifo(dir.file(std::string("pipe.") + ext).c_str(), 0644));
    }
    for (const Reader& reader : Readers()) {
        const std::string file = std::string("big.") + reader.ext;
        RunResult r = RunCli(dir, Named(reader.args, file));
        SCOPED_TRACE(reader.args[0] + " " + reader.args[1]);
        EXPECT_EQ(1, r.exitCode);
        EXPECT_EQ("tolbex-cli: " + file + ": " + kHuge + reader.kind + " can be (at most " + reader.limit + " bytes)\n",
                  r.output);
        EXPECT_GT(r.peakKb, 0);
        EXPECT_LT(r.peakKb, kPeakKbLimit) << "the file was not read";
        const std::string pipe = std::string("pipe.") + reader.ext;
        r = RunCli(dir, Named(reader.args, pipe));
        EXPECT_EQ(1, r.exitCode);
        EXPECT_EQ("tolbex-cli: cannot open " + pipe + ": not a regular file (a FIFO)\n", r.output);
    }
    for (const char* out : {"o.shp", "o.png", "o.mat", "o.pal", "o.bmp", "o.wle", "o.res", "big.~le", "big.wld"})
        EXPECT_FALSE(PathExists(dir.file(out))) << out;

    // A texture too large to be a sprite leaves its polygons untextured, said in a warning.
    WriteBytes(dir.file("brick.mat"), MatFile({{"Dummy"}, {"Brick", 0, 0, 0, 0, 0, 0, 0, 0, "big.spr"}}, 1));
    ASSERT_EQ(0, RunCli(dir, {"shape", "sphere", "100", "100", "100", "s.shp"}).exitCode);
    RunResult r = RunCli(dir, {"shape", "render", "s.shp", "s.png", "--materials", "brick.mat", "--size", "64x48"});
    EXPECT_EQ(0, r.exitCode) << r.output;
    EXPECT_TRUE(Holds(r.output, "tolbex-cli: warning: texture big.spr cannot be loaded (" + kHuge +
                                  "a sprite file can be (at most 67174400 bytes)); its polygons are drawn untextured\n"))
        << r.output;
    EXPECT_LT(r.peakKb, kPeakKbLimit);
    EXPECT_TRUE(PathExists(dir.file("s.png")));

    // The limit itself is a size the file may have: a palette of 248 colours is 748 bytes.
    Bytes pal;
    AppendU16(pal, 0);
    AppendU16(pal, 248);
    pal.resize(748, 7);
    WriteBytes(dir.file("full.pal"), pal);
    EXPECT_EQ(0, RunCli(dir, {"pal", "info", "full.pal"}).exitCode);
    pal.push_back(0);
    WriteBytes(dir.file("full.pal"), pal);
    r = RunCli(dir, {"pal", "info", "full.pal"});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ("tolbex-cli: full.pal: 749 bytes, larger than a palette file can be (at most 748 bytes)\n", r.output);

    // Files that each fit but together pass what a resource file can address.
    Sparse(dir.file("half1.dat"), 2ull << 30);
    Sparse(dir.file("half2.dat"), 2ull << 30);
    r = RunCli(dir, {"res", "pack", "o.res", "half1.dat", "half2.dat"});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ("tolbex-cli: the files make 4294967352 bytes, more than a resource file can hold (at most 4294967295 "
              "bytes); nothing written\n",
              r.output);
    EXPECT_LT(r.peakKb, kPeakKbLimit);
    EXPECT_FALSE(PathExists(dir.file("o.res")));
}

// A name that is there (a looping or dangling link) is never swapped for another letter case's.
TEST(HostileFiles, ANameThatIsThereButCannotBeOpenedIsReportedAsItIs)
{
    TempDir dir;
    ASSERT_EQ(0, RunCli(dir, {"shape", "sphere", "100", "100", "100", "box.shp"}).exitCode);
    WriteBytes(dir.file("game.mat"), MatFile({{"Dummy"}}));
    Bytes wle(WLE_HEADER_SIZE, 0);
    PutU32(wle.data(), WLE_VERSION, 19);
    PutU32(wle.data(), WLE_USED, WLE_HEADER_SIZE);
    WriteBytes(dir.file("town.wle"), wle);
    WriteText(dir.file("entry.dat"), "entry");
    ASSERT_EQ(0, RunCli(dir, {"res", "pack", "pack.res", "entry.dat"}).exitCode);
    std::filesystem::create_symlink("BOX.SHP", dir.file("BOX.SHP"));
    std::filesystem::create_symlink("nowhere.mat", dir.file("GAME.MAT"));
    std::filesystem::create_symlink("TOWN.WLE", dir.file("TOWN.WLE"));
    std::filesystem::create_symlink("nowhere.res", dir.file("PACK.RES"));
    const std::string loop = "Too many levels of symbolic links", nowhere = "No such file or directory";
    const struct {
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {{"shape", "info", "BOX.SHP"}, "cannot open BOX.SHP: " + loop},
        {{"mat", "info", "GAME.MAT"}, "cannot open GAME.MAT: " + nowhere},
        {{"shape", "sphere", "9", "9", "9", "o.shp", "--materials", "GAME.MAT"}, "cannot open GAME.MAT: " + nowhere},
        {{"world", "info", "TOWN.WLE"}, "cannot open TOWN.WLE: " + loop},
        {{"world", "upgrade", "TOWN.WLE", "o.wle"}, "cannot open TOWN.WLE: " + loop},
        {{"res", "list", "PACK.RES"}, "cannot open PACK.RES: " + nowhere},
    };
    for (const auto& c : cases) {
        RunResult r = RunCli(dir, c.args);
        EXPECT_EQ(1, r.exitCode) << c.line;
        EXPECT_EQ("tolbex-cli: " + c.line + "\n", r.output);
    }
    // A name that is not there at all is still found in another case.
    EXPECT_EQ(0, RunCli(dir, {"shape", "info", "Box.Shp"}).exitCode);
    EXPECT_EQ(0, RunCli(dir, {"res", "list", "Pack.Res"}).exitCode);
}

// The temporary beside an output has a short name of its own: a 255-byte output name is written.
TEST(HostileFiles, AnOutputNamedWithTheLongestNameIsWritten)
{
    TempDir dir;
    const std::string name = std::string(251, 'b') + ".shp";
    RunResult r = RunCli(dir, {"shape", "sphere", "100", "100", "100", name});
    ASSERT_EQ(0, r.exitCode) << r.output;
    r = RunCli(dir, {"shape", "normalise", name, name});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ(0, RunCli(dir, {"shape", "info", name}).exitCode);
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename());
    EXPECT_EQ(std::vector<std::string>{name}, names) << "no temporary file is left";
}

// Names from files are shown escaped on stdout, stderr and in the report; files keep the bytes.
TEST(HostileFiles, NamesFromFilesReachTheTerminalEscaped)
{
    TempDir dir;
    // A worldshape whose shape file field holds ESC [ 3 1 m A: "\x1B[31MA.SHP" once read.
    Bytes wle(WLE_HEADER_SIZE, 0);
    PutU32(wle.data(), WLE_VERSION, 19);
    PutU32(wle.data(), WLE_CELL_EXPONENT, 6);
    PutU32(wle.data(), WLE_CELL_EDGE, 1048576);
    for (int a = 0; a < 3; a++) PutU32(wle.data(), WLE_CELLS_X + 4 * a, 4);
    size_t at = wle.size();
    wle.resize(at + WP_SHAPE_SIZE, 0);
    PutU16(wle.data() + at, WS_TYPE, WP_SHAPE);
    PutU16(wle.data() + at, WS_ID, 1);
    memcpy(wle.data() + at + WS_FILE, "\x1b[31mA", 6);
    PutU32(wle.data(), WLE_USED, (uint32_t)wle.size());
    WriteBytes(dir.file("esc.wle"), wle);
    const std::string shown = "\\x1B[31MA.SHP";

    RunResult r = RunCli(dir, {"world", "info", "esc.wle"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_TRUE(Holds(r.output, "file " + shown + "\n")) << r.output;
    EXPECT_FALSE(Holds(r.output, "\x1b"));

    r = RunCli(dir, {"world", "upgrade", "esc.wle", "out.wle"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_TRUE(Holds(r.output, "tolbex-cli: warning: esc.wle: shape " + shown + " is missing")) << r.output;
    EXPECT_FALSE(Holds(r.output, "\x1b"));
    std::string report = ReadText(dir.file("temp.txt"));
    EXPECT_TRUE(Holds(report, " " + shown + " \r\n")) << report;
    EXPECT_FALSE(Holds(report, "\x1b"));
    Bytes out = ReadBytes(dir.file("out.wle"));
    ASSERT_GE(out.size(), at + WS_FILE + 6);
    EXPECT_EQ(0, memcmp(out.data() + at + WS_FILE, "\x1b[31mA", 6)) << "the world keeps its bytes";

    r = RunCli(dir, {"world", "summary", "esc.wle", "sum.txt"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ(report, ReadText(dir.file("sum.txt")));
    r = RunCli(dir, {"world", "runtime", "esc.wle"});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_TRUE(Holds(r.output, "Shape Missing (" + shown + " (ID 1)")) << r.output;
    EXPECT_FALSE(Holds(r.output, "\x1b"));

    // A resource key made from a file name with a control byte in it.
    WriteText(dir.file("\x1b" "a.dat"), "x");
    ASSERT_EQ(0, RunCli(dir, {"res", "pack", "keys.res", "\x1b" "a.dat"}).exitCode);
    r = RunCli(dir, {"res", "list", "keys.res"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_TRUE(Holds(r.output, "\\x1BA      .DAT")) << r.output;
    EXPECT_FALSE(Holds(r.output, "\x1b"));
    // A name from the command line: the error line never carries its control bytes either.
    r = RunCli(dir, {"shape", "info", "gone\x1b[2J.shp"});
    EXPECT_EQ("tolbex-cli: cannot open gone\\x1B[2J.shp: No such file or directory\n", r.output);
    // The UTF-8 of such a name stays as it is.
    r = RunCli(dir, {"shape", "info", "caf\xc3\xa9.shp"});
    EXPECT_EQ("tolbex-cli: cannot open caf\xc3\xa9.shp: No such file or directory\n", r.output);
}

// The editor refuses the same files at once, with the reason in its box, without reading them.
TEST_F(Headless, TheEditorRefusesHugeFilesFifosAndLoopsWithTheReason)
{
    Sparse(dir.file("BIG.SHP"), 4ull << 30);
    Sparse(dir.file("BIG.WLE"), 4ull << 30);
    ASSERT_EQ(0, mkfifo(dir.file("PIPE.SHP").c_str(), 0644));
    ASSERT_FALSE(Sphere("box.shp", "1000", "1000", "1000").empty());
    std::filesystem::create_symlink("BOX.SHP", dir.file("BOX.SHP"));
    RunResult r = Run(std::string(kShapeEditorObject) + kLoad + Choose("BIG.SHP") + "key enter\nwait 2\n" + kLoad +
                      Choose("PIPE.SHP") + "key enter\nwait 2\nkey escape\nwait 2\n" + kLoad + Choose("BOX.SHP") +
                      "key enter\nwait 2\nkey escape\nwait 2\ndump shape.json\n");
    ASSERT_EQ(0, r.exitCode) << r.output << log;
    EXPECT_TRUE(Logged("MSGBOX \"File Error\" \"! Unable to load shape. 4294967296 bytes, larger than a shape file "
                       "can be (at most 2000000 bytes).\""));
    EXPECT_TRUE(Logged("MSGBOX \"File Error\" \"Not a regular file (a FIFO): PIPE.SHP\""));
    EXPECT_TRUE(Logged("MSGBOX \"File Error\" \"Too many levels of symbolic links: BOX.SHP\""));
    EXPECT_EQ(0, Dump("shape.json")["shape"]["vertices"]) << "nothing was loaded, box.shp least of all";
    EXPECT_LT(r.peakKb, 2 * kPeakKbLimit);

    r = Run(std::string(kWorldEditor) + "click 335 574\nwait 2\nclick 267 559\nwait 2\n" + Choose("BIG.WLE") +
            "key enter\nwait 2\n");
    ASSERT_EQ(0, r.exitCode) << r.output << log;
    EXPECT_TRUE(Logged("MSGBOX \"Error During Load\" \"Failed to load WLE file. 4294967296 bytes, larger than a "
                       "world file can be (at most 524288 bytes).\""));
    EXPECT_LT(r.peakKb, 2 * kPeakKbLimit);
}
