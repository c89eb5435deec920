// Writes that cannot finish (a full disk, a read-only folder, a folder where the file should be)
// from every surface: the old files stay byte for byte, no temporary is left, the user is told.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <strings.h>

#include "base/ini.h"
#include "base/res.h"
#include "e2e/e2e.h"
#include "materials/mattest.h"
#include "palette/png.h"
#include "shapes/asc.h"
#include "shapes/shape_build.h"
#include "world/runtime.h"
#include "world/worldm_fixture.h"

namespace {

enum Fault { FAULT_FULL, FAULT_READ_ONLY, FAULT_FOLDER, FAULT_COUNT };
const char* const kFaultNames[FAULT_COUNT] = {"a full disk", "a read-only folder", "a folder in the file's place"};
// The test-only switch of the files layer, for the disks a root process cannot otherwise meet.
const char* const kFaultSwitch[FAULT_COUNT] = {"full", "readonly", nullptr};

// Every file and folder under a folder (relative names), with the bytes of each file.
std::map<std::string, std::string> Snapshot(const std::string& folder)
{
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        std::string name = std::filesystem::relative(e.path(), folder).string();
        out[name] = e.is_directory() ? "<folder>" : ReadText(e.path().string());
    }
    return out;
}

// The names whose entries differ between two snapshots (a failure names them, not every byte).
std::vector<std::string> Changed(const std::map<std::string, std::string>& before,
                                 const std::map<std::string, std::string>& after)
{
    std::vector<std::string> out;
    for (const auto& [name, bytes] : before)
        if (!after.count(name) || after.at(name) != bytes) out.push_back(name);
    for (const auto& [name, bytes] : after)
        if (!before.count(name)) out.push_back(name + " (new)");
    return out;
}

// What an old file holds: text of its own, or an old shape for a shape file (saved over shapes only).
std::string OldContent(const std::string& f)
{
    if (f.size() < 4 || strcasecmp(f.c_str() + f.size() - 4, ".SHP") != 0) return "the user's old " + f;
    TShape old;
    old.verts = {{0, 0, 0}, {300, 0, 0}, {0, 300, 0}, {7, 7, 7}};
    old.polys = {TPoly({0, 1, 2})};
    Bytes b = BuildShape(old);
    return std::string(b.begin(), b.end());
}

// The old files a writer must keep (worlds as empty worlds carrying the text); or a folder in one's place.
void LayOldFiles(const std::string& folder, const std::vector<std::string>& files, const std::string& folderAt)
{
    for (const std::string& f : files) {
        std::filesystem::remove_all(folder + "/" + f);
        if (f == folderAt) {
            std::filesystem::create_directories(folder + "/" + f);
            WriteText(folder + "/" + f + "/inside.txt", "the user's folder");
        } else if (f.size() > 4 && (f.substr(f.size() - 4) == ".WLE" || f.substr(f.size() - 4) == ".WLD")) {
            Bytes world = WleImage().Done();
            std::string text = "the user's old " + f;
            memcpy(world.data() + WLE_WXP_NAME, text.data(), text.size());
            WriteBytes(folder + "/" + f, world);
        } else {
            WriteText(folder + "/" + f, OldContent(f));
        }
    }
}

// ---- In-process writers ----

struct InProcessWriter {
    const char* what;
    std::vector<std::string> files;   // the files it writes, in the working folder
    std::string folderAt;             // the one that a folder replaces
    std::function<int()> write;       // non-zero on failure
};

class SafeWriters : public WorldTest {
protected:
    TempDir elsewhere;
    void SetUp() override
    {
        WorldTest::SetUp();
        PalMInstall(PAL_USER_COLOURS);
        WorldMRuntimeInstall();
        // The summary that each world save writes goes where the old files are not.
        WorldMSetSummaryFileName(elsewhere.file("temp.txt").c_str());
        ASSERT_EQ(ShapeMLoadFile("ROCK.SHP"), 0);
        std::filesystem::create_directory(dir.file("work"));
        std::filesystem::current_path(dir.file("work"));
    }
    void TearDown() override
    {
        unsetenv("TOLBEX_FILE_FAULT");
        std::filesystem::current_path(dir.path());
        PalMRemove();
        WorldTest::TearDown();
    }
};

TEST_F(SafeWriters, EveryWriterKeepsTheOldFilesOnAFailingDisk)
{
    static const uint8_t kRgb[2 * 2 * 3] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
    const InProcessWriter writers[] = {
        {"shape save with backup", {"OUT.SHP", "OUT.~HP"}, "OUT.SHP", [] { return ShapeMSave("OUT.SHP"); }},
        {"3DS ASCII export", {"OUT.ASC"}, "OUT.ASC", [] { return Export3DSASCII("OUT.ASC"); }},
        {"materials", {"OUT.MAT"}, "OUT.MAT", [] { return MatMSave("OUT.MAT"); }},
        {"palette", {"OUT.PAL"}, "OUT.PAL", [] { return PalMSave("OUT.PAL"); }},
        {"BMP picture", {"grab0000.bmp"}, "grab0000.bmp", [] { return BmpWrite("grab0000.bmp", kRgb, 2, 2); }},
        {"PNG picture", {"shot.png"}, "shot.png", [] { return PngWrite("shot.png", kRgb, 2, 2); }},
        {"settings", {"tolbex.ini"}, "tolbex.ini",
         [] {
             INIOpen(nullptr, 4);
             INISet("scale", "100");
             return INIClose("tolbex.ini");
         }},
        {"resource file", {"OUT.RES"}, "OUT.RES",
         [] {
             const ResPackItem item = {"a.dat", "abc", 3};
             return ResWriteFile("OUT.RES", &item, 1, 0);
         }},
        {"world", {"OUT.WLE"}, "OUT.WLE", [] { return WorldMSave("OUT.WLE", nullptr, nullptr, nullptr); }},
        {"world summary", {"OUT.TXT"}, "OUT.TXT", [] { return WorldMWriteSummary("OUT.TXT"); }},
        // Two files that belong together: a failure of the second leaves the first as it was.
        {"runtime world and its archive", {"TOWN.wxp", "TOWN.WLD"}, "TOWN.WLD",
         [] { return WorldMSaveRuntime("TOWN.WLD", nullptr, nullptr); }},
        {"runtime archive", {"TOWN.wxp", "TOWN.WLD"}, "TOWN.wxp",
         [] { return WorldMSaveRuntime("TOWN.WLD", nullptr, nullptr); }},
    };
    for (const InProcessWriter& w : writers) {
        for (int fault = 0; fault < FAULT_COUNT; fault++) {
            SCOPED_TRACE(std::string(w.what) + " on " + kFaultNames[fault]);
            LayOldFiles(".", w.files, fault == FAULT_FOLDER ? w.folderAt : "");
            auto before = Snapshot(".");
            if (kFaultSwitch[fault]) setenv("TOLBEX_FILE_FAULT", kFaultSwitch[fault], 1);
            EXPECT_NE(w.write(), 0);
            unsetenv("TOLBEX_FILE_FAULT");
            EXPECT_EQ(Changed(before, Snapshot(".")), std::vector<std::string>{});
        }
        // On a sound disk the same writer replaces every one of its files.
        SCOPED_TRACE(w.what);
        LayOldFiles(".", w.files, "");
        EXPECT_EQ(w.write(), 0);
        for (const std::string& f : w.files) {
            if (f.find('~') != std::string::npos) continue;   // a backup may keep the old bytes
            EXPECT_NE(ReadText(f), OldContent(f)) << f;
        }
        for (const auto& [name, bytes] : Snapshot(".")) std::filesystem::remove_all(name);
    }
}

// ---- Command-line tool ----

struct CliWriter {
    std::vector<std::string> args;
    std::vector<std::string> files;   // the outputs whose old bytes must stay
    std::string folderAt;
    // Outputs past 512 bytes meet a real full disk through a file-size limit; smaller need the switch.
    bool pastTheLimit;
};

TEST_F(Headless, EveryCommandLineOutputKeepsTheOldFileAndSaysWhy)
{
    ASSERT_FALSE(Sphere("IN.SHP", "100", "100", "100").empty());
    ASSERT_TRUE(WriteBytes(dir.file("IN.MAT"), MatFile({{"Dummy"}, {"Stone"}})));
    ASSERT_TRUE(WriteBytes(dir.file("IN.WLE"), WleImage().Done()));
    ASSERT_TRUE(WriteBytes(dir.file("TOWN.WLE"), WleImage().Done()));
    const std::string lbm = std::string(TOLBEX_FIXTURES) + "/real/PIC18.LBM";
    const CliWriter writers[] = {
        {{"shape", "sphere", "100", "100", "100", "OUT.SHP"}, {"OUT.SHP"}, "OUT.SHP", true},
        {{"shape", "normalise", "IN.SHP", "OUT.SHP"}, {"OUT.SHP"}, "OUT.SHP", true},
        {{"shape", "export-asc", "IN.SHP", "OUT.ASC"}, {"OUT.ASC"}, "OUT.ASC", true},
        {{"shape", "render", "IN.SHP", "OUT.PNG"}, {"OUT.PNG"}, "OUT.PNG", true},
        {{"mat", "merge", "IN.MAT", "IN.MAT", "OUT.MAT"}, {"OUT.MAT"}, "OUT.MAT", false},
        {{"pal", "import-lbm", lbm, "OUT.PAL"}, {"OUT.PAL"}, "OUT.PAL", true},
        {{"lbm", "to-bmp", lbm, "OUT.BMP"}, {"OUT.BMP"}, "OUT.BMP", true},
        {{"res", "pack", "OUT.RES", "IN.SHP"}, {"OUT.RES"}, "OUT.RES", true},
        {{"world", "upgrade", "IN.WLE", "OUT.WLE"}, {"OUT.WLE"}, "OUT.WLE", false},
        {{"world", "summary", "IN.WLE", "OUT.TXT"}, {"OUT.TXT"}, "OUT.TXT", false},
        {{"world", "runtime", "TOWN.WLE"}, {"TOWN.WLD", "TOWN.wxp"}, "TOWN.WLD", false},
    };
    for (const CliWriter& w : writers) {
        for (int fault = 0; fault < FAULT_COUNT; fault++) {
            SCOPED_TRACE(w.args[0] + " " + w.args[1] + " on " + kFaultNames[fault]);
            LayOldFiles(dir.path(), w.files, fault == FAULT_FOLDER ? w.folderAt : "");
            auto before = Snapshot(dir.path());
            RunResult r;
            if (fault == FAULT_FULL && w.pastTheLimit) {
                std::string cmd = std::string("ulimit -f 1; exec '") + TOLBEX_CLI_BIN + "'";
                for (const std::string& a : w.args) cmd += " '" + a + "'";
                r = RunProgram("/bin/sh", {"-c", cmd}, dir.path());
            } else {
                std::vector<std::string> env;
                if (kFaultSwitch[fault]) env.push_back(std::string("TOLBEX_FILE_FAULT=") + kFaultSwitch[fault]);
                r = RunProgram(TOLBEX_CLI_BIN, w.args, dir.path(), env);
            }
            EXPECT_EQ(r.exitCode, 1) << r.output;
            // One error line, naming the file.
            EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
            EXPECT_EQ(r.output.rfind("tolbex-cli: ", 0), 0u) << r.output;
            EXPECT_TRUE(r.output.find(w.files[0]) != std::string::npos || r.output.find("TOWN.WLE") != std::string::npos)
                << r.output;
            auto after = Snapshot(dir.path());
            // Beside the named outputs the report temp.txt is free, but a failed runtime writes nothing at all.
            if (w.args[1] != "runtime")
                for (const char* side : {"TOWN.WLE", "temp.txt"}) {
                    after.erase(side);
                    before.erase(side);
                }
            EXPECT_EQ(Changed(before, after), std::vector<std::string>{});
        }
        SCOPED_TRACE(w.args[0] + " " + w.args[1]);
        LayOldFiles(dir.path(), w.files, "");
        RunResult r = RunProgram(TOLBEX_CLI_BIN, w.args, dir.path());
        EXPECT_EQ(r.exitCode, 0) << r.output;
        for (const std::string& f : w.files) EXPECT_NE(ReadText(dir.file(f)), OldContent(f)) << f;
    }
}

// ---- Editor ----

struct EditorWriter {
    const char* what;
    std::string script;               // from the launcher to the failed save
    std::vector<std::string> files;   // the files whose old bytes must stay
    std::string folderAt;             // empty: no folder case (the writer picks a free name)
    std::string box;                  // the start of the box's log line
    // A folder named in the file selector is refused there, before any save: that box then.
    bool selectorRefusesTheFolder;
};

TEST_F(Headless, EveryEditorSaveKeepsTheOldFilesAndShowsTheError)
{
    ASSERT_FALSE(Sphere("IN.SHP", "100", "100", "100").empty());
    WriteBytes(dir.file("MODEL.ASC"), ReadBytes(std::string(TOLBEX_FIXTURES) + "/real/TESTI.ASC"));
    // The Palette panel needs palette support; the monorail its materials from the settings' file.
    WriteRailMaterials(dir.file("rail.mat"));
    WriteText(dir.file("tolbex.ini"), "palsupport=1\nmaterials=rail.mat\n");
    // "Materials" (370, 559), "Palette" (550, 559), their "Save" (290, 574); "World" (335, 574) with
    // "Save" (267, 574), "Save Runtime" (217, 589); Mesh (460, 589): "A" (82, 559), "Exp" (208, 589).
    const std::string shapeEditor = "click 165 75\nwait 4\n", object = kShapeEditorObject;
    const std::string world = kWorldEditor + std::string("click 335 574\nwait 2\n");
    const EditorWriter writers[] = {
        {"shape save", object + kLoad + Choose("IN.SHP") + kSave + Choose("OUT.SHP"),
         {"OUT.SHP", "OUT.~HP"}, "OUT.SHP", "MSGBOX \"File Error\" \"! Unable to save shape.\"", true},
        {"imported listing's save", object + kLoad + Choose("MODEL.ASC") + kSave + "key enter\nwait 2\n",
         {"MODEL.SHP", "MODEL.~HP"}, "MODEL.SHP", "MSGBOX \"File Error\" \"! Unable to save shape.\"", true},
        {"export of the selection",
         object + kLoad + Choose("IN.SHP") + "click 460 589\nwait 2\nclick 82 559\nwait 2\n" +
             "click 208 589\nwait 2\n" + Choose("OUT.SHP"),
         {"OUT.SHP", "OUT.~HP"}, "OUT.SHP", "MSGBOX \"File Error\" \"Error saving exported mesh.\"", true},
        {"materials", shapeEditor + "click 370 559\nwait 2\nclick 290 574\nwait 2\n" + Choose("OUT.MAT"), {"OUT.MAT"},
         "OUT.MAT", "MSGBOX \"Error\" \"Unable to save materials.\"", true},
        {"palette", shapeEditor + "click 550 559\nwait 2\nclick 290 574\nwait 2\n" + Choose("OUT.PAL"), {"OUT.PAL"},
         "OUT.PAL", "MSGBOX \"Error\" \"Unable to save palette.\"", true},
        {"world", world + "click 267 574\nwait 2\n" + Choose("OUT.WLE"), {"OUT.WLE"}, "OUT.WLE",
         "MSGBOX \"Error During Save\" \"Failed to save WLE file.\"", true},
        {"runtime world", world + "click 217 589\nwait 2\n" + Choose("TOWN.WLE") + "wait 8\n",
         {"TOWN.WLE", "TOWN.WLD", "TOWN.wxp"}, "TOWN.WLD", "MSGBOX \"Error During Save\" \"Failed to save WLE file.\"",
         false},
        // Net shape files take free names: there is no old file, and no folder case.
        {"monorail's net shape files",
         kWorldEditor + std::string(kTopView) +
             "click 425 574\nwait 2\nclick 89 574\nwait 2\nclick 400 100\nwait 1\nclick 600 100\nwait 2\n" +
             "click 15 559\nwait 2\nclick 161 574\nwait 2\nclick 400 100\nwait 2\nclick 213 574\nwait 10\n",
         {}, "", "MSGBOX \"Error During Save\" \"Failed to save SHP file.\"", false},
        {"screen grab", shapeEditor + "keydown lalt\nkey g\nkeyup lalt\nwait 2\n", {}, "",
         "MSGBOX \"File Error\" \"Unable to write screen grab grab0000.bmp: ", false},
    };
    for (const EditorWriter& w : writers) {
        for (int fault = 0; fault < FAULT_COUNT; fault++) {
            if (fault == FAULT_FOLDER && w.folderAt.empty()) continue;
            SCOPED_TRACE(std::string(w.what) + " on " + kFaultNames[fault]);
            LayOldFiles(dir.path(), w.files, fault == FAULT_FOLDER ? w.folderAt : "");
            auto before = Snapshot(dir.path());
            std::vector<std::string> env;
            if (kFaultSwitch[fault]) env.push_back(std::string("TOLBEX_FILE_FAULT=") + kFaultSwitch[fault]);
            // The box is answered and the editor goes on to the end of the script.
            RunResult r = Run(w.script + "key enter\nwait 2\n", {}, env);
            EXPECT_EQ(r.exitCode, 0) << r.output << log;
            std::string box = fault == FAULT_FOLDER && w.selectorRefusesTheFolder
                                  ? "MSGBOX \"File Error\" \"Not a file: " + w.folderAt + "\""
                                  : w.box;
            EXPECT_TRUE(Logged(box));
            auto after = Snapshot(dir.path());
            // The run's own script, log, lock, recovery folder and world summary are no saves.
            for (const char* own : {"run.txt", "log.txt", "Vostrane-Tolbex.lock", "temp.txt", "state", "state/tolbex"}) {
                after.erase(own);
                before.erase(own);
            }
            EXPECT_EQ(Changed(before, after), std::vector<std::string>{});
        }
        for (const std::string& f : w.files) std::filesystem::remove_all(dir.file(f));
    }
}

}  // namespace
