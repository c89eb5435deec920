// `tolbex FILE` starts the file's editor without the launcher; a second start hands its file to the
// running copy, which opens or refuses it; where a start from the menu keeps settings and files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "e2e.h"

namespace {

class OpenFiles : public Headless {
protected:
    // The environment of every run here: a lock, state and settings of the test's own.
    std::vector<std::string> Env() const
    {
        return {"TOLBEX_GL=off", "TOLBEX_LOCK_DIR=" + dir.path(), "XDG_STATE_HOME=" + dir.file("state"),
                "XDG_CONFIG_HOME=" + dir.file("config"), "HOME=" + dir.file("home")};
    }
    RunResult Tolbex(std::vector<std::string> args, const std::string& script = "", const std::string& log = "")
    {
        if (!script.empty()) {
            WriteText(dir.file(log + ".txt"), script);
            std::remove(dir.file(log + ".log").c_str());
            args.insert(args.begin(), {"--script", log + ".txt", "--log", log + ".log"});
        }
        args.insert(args.begin(), "--headless");
        return RunProgram(TOLBEX_BIN, args, dir.path(), Env(), 60);
    }
    void MakeWorld(const std::string& name)
    {
        // A new world as the editor saves it: header only, version 19, 8 x 4 x 8 cells.
        Bytes w;
        AppendU32(w, 168);
        AppendU32(w, 6);
        AppendU32(w, 16384u << 6);
        AppendU32(w, 0);
        AppendU32(w, 19);
        AppendU32(w, 0);
        AppendU32(w, 8);
        AppendU32(w, 4);
        AppendU32(w, 8);
        AppendU32(w, 0);
        AppendU32(w, 1816186);
        w.resize(168, 0);
        ASSERT_TRUE(WriteBytes(dir.file(name), w));
    }
};

TEST_F(OpenFiles, AFileOnTheCommandLineOpensInItsEditorWithoutTheLauncher)
{
    Sphere("BALL.SHP", "300", "200", "100");
    RunResult r = Tolbex({"BALL.SHP"}, "wait 3\ndump d.json\n", "s");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    nlohmann::json d = Dump("d.json");
    EXPECT_EQ(ViewTitle(d), "BALL.SHP");
    EXPECT_EQ(FindWindow(d, ClassText(CLASS_LAUNCHER)), nullptr) << "no launcher";

    MakeWorld("TOWN.WLE");
    std::filesystem::create_directory(dir.file("maps"));
    std::filesystem::rename(dir.file("TOWN.WLE"), dir.file("maps/TOWN.WLE"));
    r = Tolbex({"maps/TOWN.WLE"}, "wait 3\ndump w.json\n", "w");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(ViewTitle(Dump("w.json")).find("TOWN.WLE"), std::string::npos) << ViewTitle(Dump("w.json"));
    EXPECT_NE(ReadText(dir.file("w.log")).find("opens in the World Editor"), std::string::npos);

    // A world named as a shape is still a world: the first bytes decide.
    std::filesystem::copy_file(dir.file("maps/TOWN.WLE"), dir.file("ODD.SHP"));
    r = Tolbex({"ODD.SHP"}, "wait 3\n", "o");
    EXPECT_NE(ReadText(dir.file("o.log")).find("ODD.SHP opens in the World Editor"), std::string::npos);
}

TEST_F(OpenFiles, AFileThatIsNeitherIsRefusedAndTheLauncherComes)
{
    WriteText(dir.file("notes.shp"), "these are notes, not a shape at all\n");
    RunResult r = Tolbex({"notes.shp"}, "wait 3\ndump d.json\n", "s");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("tolbex: notes.shp is neither a shape (SHP) nor a world (WLE) file"), std::string::npos)
        << r.output;
    nlohmann::json d = Dump("d.json");
    EXPECT_NE(FindWindow(d, ClassText(CLASS_LAUNCHER)), nullptr) << "the launcher, as without a file";
    r = Tolbex({"missing.shp"}, "wait 1\n", "m");
    EXPECT_NE(r.output.find("tolbex: cannot open missing.shp: "), std::string::npos) << r.output;
    r = Tolbex({"a.shp", "b.shp"});
    EXPECT_EQ(r.exitCode, 2) << r.output;
}

// The first copy's script waits, in real time, until the file is open; the second start comes meanwhile.
struct Background {
    std::thread thread;
    RunResult result{-1, ""};
    template <class F> explicit Background(F f) : thread([this, f] { result = f(); }) {}
    RunResult Join()
    {
        thread.join();
        return result;
    }
};

TEST_F(OpenFiles, ASecondStartHandsItsFileToTheRunningCopy)
{
    Sphere("BALL.SHP", "300", "200", "100");
    Sphere("PEAR.SHP", "100", "300", "100");
    MakeWorld("TOWN.WLE");
    Background first([this] {
        return Tolbex({"BALL.SHP"}, "waitfor BALL.SHP 20\nwaitfor PEAR.SHP 30\ndump d.json\nwait 30\n", "first");
    });
    // Until the first copy holds the lock, a start would be the first itself.
    for (int i = 0; i < 200 && !std::filesystem::exists(dir.file("Vostrane-Tolbex.sock")); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    struct stat st {};
    ASSERT_EQ(stat(dir.file("Vostrane-Tolbex.sock").c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u) << "no other user hands files in";
    // A world is not for the Shape Editor: refused, and said so on both sides.
    RunResult world = Tolbex({"TOWN.WLE"});
    RunResult second = Tolbex({"PEAR.SHP"});
    RunResult r = first.Join();
    ASSERT_EQ(r.exitCode, 0) << r.output << ReadText(dir.file("first.log"));
    EXPECT_EQ(second.exitCode, 0) << second.output;
    EXPECT_EQ(ViewTitle(Dump("d.json")), "PEAR.SHP");
    std::string log = ReadText(dir.file("first.log"));
    EXPECT_NE(log.find("HANDOFF: asked to open " + dir.file("PEAR.SHP")), std::string::npos)
        << "the full path, whatever the folder of either copy: " << log;

    EXPECT_EQ(world.exitCode, 1) << world.output;
    EXPECT_NE(world.output.find("tolbex: the running Tolbex did not open TOWN.WLE: TOWN.WLE is a world file and "
                                "the Shape Editor is open"),
              std::string::npos)
        << world.output;
    EXPECT_NE(log.find("MSGBOX \"File Error\" \"TOWN.WLE is a world file and the Shape Editor is open"),
              std::string::npos)
        << log;
    EXPECT_FALSE(std::filesystem::exists(dir.file("Vostrane-Tolbex.sock"))) << "the socket goes with its copy";
}

TEST_F(OpenFiles, AFileHandedToTheLauncherChoosesTheEditor)
{
    MakeWorld("TOWN.WLE");
    Background first([this] { return Tolbex({}, "waitfor TOWN.WLE 30\ndump d.json\n", "first"); });
    for (int i = 0; i < 200 && !std::filesystem::exists(dir.file("Vostrane-Tolbex.sock")); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    RunResult second = Tolbex({"TOWN.WLE"});
    RunResult r = first.Join();
    ASSERT_EQ(r.exitCode, 0) << r.output << ReadText(dir.file("first.log"));
    EXPECT_EQ(second.exitCode, 0) << second.output;
    nlohmann::json d = Dump("d.json");
    EXPECT_EQ(FindWindow(d, ClassText(CLASS_LAUNCHER)), nullptr);
    EXPECT_NE(ViewTitle(d).find("TOWN.WLE"), std::string::npos);
}

TEST_F(OpenFiles, ALockHolderThatTakesNoFilesIsNoSilentSuccess)
{
    // Another process holds the lock and listens nowhere: the file's start says it was not opened, and fails.
    Sphere("BALL.SHP", "300", "200", "100");
    int fd = open(dir.file("Vostrane-Tolbex.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    RunResult r = Tolbex({"BALL.SHP"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("tolbex: Tolbex is already running (lock " + dir.file("Vostrane-Tolbex.lock") +
                            ") and nothing listens at " + dir.file("Vostrane-Tolbex.sock")),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find(": BALL.SHP was not opened\n"), std::string::npos) << r.output;
    // Without a file: as before, a scripted run must not pass, a plain start ends quietly.
    r = Tolbex({}, "wait 1\n", "locked");
    EXPECT_EQ(r.exitCode, 5) << r.output;
    r = Tolbex({});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("Tolbex is already running (lock "), std::string::npos) << r.output;
    close(fd);
}

TEST_F(OpenFiles, NobodyListeningIsNoSilentSuccess)
{
    // The lock held by another process that takes no files: a stale socket file, say.
    WriteText(dir.file("Vostrane-Tolbex.sock"), "");
    Background first([this] { return Tolbex({}, "wait 1\n", "first"); });
    RunResult r = first.Join();
    ASSERT_EQ(r.exitCode, 0) << r.output;
    // A script that waits for a file that never comes fails the run.
    r = Tolbex({}, "waitfor NEVER.SHP 1\n", "never");
    EXPECT_EQ(r.exitCode, 4) << r.output;
    EXPECT_NE(ReadText(dir.file("never.log")).find("waitfor NEVER.SHP: not open after 1 s"), std::string::npos);
}

// Outside a project folder: the user's settings, grabs neither in the working nor the home folder.
TEST_F(OpenFiles, SettingsAndWorkingFilesOfAStartFromTheMenu)
{
    std::filesystem::create_directories(dir.file("config/tolbex"));
    WriteText(dir.file("config/tolbex/tolbex.ini"), "palsupport=fromconfig\n");
    const std::string grab = "wait 2\nkeydown lalt\nkey g\nkeyup lalt\nwait 2\n";
    Sphere("BALL.SHP", "300", "200", "100");
    RunResult r = Tolbex({}, std::string(kShapeEditorObject) + grab, "menu");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    std::string log = ReadText(dir.file("menu.log"));
    EXPECT_NE(log.find("not \"fromconfig\""), std::string::npos) << log;
    EXPECT_TRUE(PathExists(dir.file("state/tolbex/grab0000.bmp"))) << log;
    EXPECT_FALSE(PathExists(dir.file("grab0000.bmp")));

    // Started as the home folder: still never there.
    r = RunProgram(TOLBEX_BIN, {"--headless", "--script", "menu.txt", "--log", "home.log"}, dir.path(),
                   {"TOLBEX_GL=off", "TOLBEX_LOCK_DIR=" + dir.path(), "XDG_STATE_HOME=" + dir.file("state"),
                    "XDG_CONFIG_HOME=" + dir.file("config"), "HOME=" + dir.path()});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(PathExists(dir.file("state/tolbex/grab0001.bmp")));
    EXPECT_FALSE(PathExists(dir.file("grab0000.bmp")));

    // A shape opened from a folder of its own: the grab goes beside it.
    std::filesystem::create_directory(dir.file("art"));
    std::filesystem::copy_file(dir.file("BALL.SHP"), dir.file("art/BALL.SHP"));
    r = Tolbex({"art/BALL.SHP"}, grab, "beside");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(PathExists(dir.file("art/grab0000.bmp"))) << ReadText(dir.file("beside.log"));

    WriteText(dir.file("tolbex.ini"), "palsupport=fromproject\n");
    r = Tolbex({}, std::string(kShapeEditorObject) + grab, "project");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    log = ReadText(dir.file("project.log"));
    EXPECT_NE(log.find("not \"fromproject\""), std::string::npos) << log;
    EXPECT_EQ(log.find("fromconfig"), std::string::npos);
    EXPECT_TRUE(PathExists(dir.file("grab0000.bmp")));
}

}  // namespace
