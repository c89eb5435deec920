// Recovery files and autosave as a user meets them: the program ends with a fatal error in
// the middle of an edit, and the next start of that editor offers the work back; the
// autosave keeps a copy every few minutes. Each test's state folder is its own.
#include <filesystem>

#include "e2e/e2e.h"

using nlohmann::json;

namespace {

// Screen positions at 800 x 600: the Nodes panel (menu entry, "Add") and the World panel
// (menu entry, "Save").
const char* const kAddNode = "click 425 574\nwait 2\nclick 89 574\nwait 2\nclick 500 120\nwait 2\nclick 15 559\nwait 2\n";
const char* const kWorldSave = "click 335 574\nwait 2\nclick 267 574\nwait 2\n";
const char* const kMinute = "advance 60000\nwait 3\n";

class Recovery : public Headless {
protected:
    void SetUp() override { ball = Sphere("BALL.SHP", "1000", "2000", "1500"); }
    std::string State(const std::string& name) const { return dir.file("state/tolbex/" + name); }
    // A run that may end in the test switch's fatal error.
    RunResult RunFatal(const std::string& script) { return Run(script, {}, {"TOLBEX_TEST_FATAL=1"}); }
    int Autosaves(const std::string& what = "") const { return Count(log, "RECOVERY: autosave of" + what); }
    Bytes ball;
};

const char* const kOffer = "MSGBOX \"Recover\" \"Tolbex ended without saving your work. Load the recovered shape?\"";

}  // namespace

TEST_F(Recovery, TheEditedShapeComesBackAfterAFatalError)
{
    // The user loads BALL.SHP, mirrors it and the program fails.
    RunResult r = RunFatal(std::string(kShapeEditorObject) + kLoad + Choose("BALL.SHP") + kMirrorX + "fatal Broken\n");
    ASSERT_EQ(r.exitCode, 1) << log;
    EXPECT_NE(log.find("FATAL: Broken"), std::string::npos) << log;
    Bytes kept = ReadBytes(State("recovery-shape.shp"));
    ASSERT_FALSE(kept.empty()) << log;
    EXPECT_EQ(ReadBytes(dir.file("BALL.SHP")), ball) << "the user's file is never written";
    // The mirrored shape, as Save would have written it.
    json original = CliInfo("shape", "BALL.SHP"), recovered = CliInfo("shape", State("recovery-shape.shp"));
    ASSERT_EQ(recovered["vertices"].size(), original["vertices"].size());
    for (size_t i = 0; i < original["vertices"].size(); i++)
        EXPECT_EQ(recovered["vertices"][i]["stored"][0], -original["vertices"][i]["stored"][0].get<int>()) << i;

    SCOPED_TRACE("Yes");
    r = Run("answer yes\n" + std::string(kShapeEditorObject) + "dump yes.json\n" + kSave + "dump save.json\n" +
            Choose("AGAIN.SHP"));
    ASSERT_EQ(r.exitCode, 0) << log;
    EXPECT_NE(log.find(kOffer), std::string::npos) << log;
    json yes = Dump("yes.json");
    EXPECT_EQ(yes["shape"]["vertices"], original["vertices"].size());
    // The title and Save's offer name the file the work was edited under; the work is not in
    // that file yet, so the title carries the mark.
    EXPECT_EQ(ViewTitle(yes), "BALL.SHP *");
    EXPECT_EQ(FieldOf(Dump("save.json"), ClassText(CLASS_FILESEL)), "BALL.SHP");
    // Exactly the recovered shape: saved again, the same bytes.
    EXPECT_EQ(ReadBytes(dir.file("AGAIN.SHP")), kept);
    // The save (and the clean end) took the recovery files away.
    EXPECT_FALSE(PathExists(State("recovery-shape.shp")));
    EXPECT_FALSE(PathExists(State("recovery-shape.txt")));

    SCOPED_TRACE("No");
    r = RunFatal(std::string(kShapeEditorObject) + kLoad + Choose("BALL.SHP") + kMirrorX + "fatal\n");
    ASSERT_EQ(r.exitCode, 1) << log;
    ASSERT_TRUE(PathExists(State("recovery-shape.shp")));
    r = Run("answer no\n" + std::string(kShapeEditorObject) + "dump no.json\n");
    ASSERT_EQ(r.exitCode, 0) << log;
    EXPECT_NE(log.find(kOffer), std::string::npos) << log;
    EXPECT_EQ(Dump("no.json")["shape"]["vertices"], 0);
    EXPECT_FALSE(PathExists(State("recovery-shape.shp")));
    EXPECT_FALSE(PathExists(State("recovery-shape.txt")));
    // Nothing left, nothing asked.
    r = Run(std::string(kShapeEditorObject));
    ASSERT_EQ(r.exitCode, 0) << log;
    EXPECT_EQ(log.find("MSGBOX \"Recover\""), std::string::npos) << log;
}

TEST_F(Recovery, TheEditedWorldComesBackAfterAFatalError)
{
    // Saved as TOWN.WLE, then a node added, then the failure.
    RunResult r = RunFatal(std::string(kWorldEditor) + kWorldSave + Choose("TOWN.WLE") + kTopView + kAddNode +
                           "dump before.json\nfatal\n");
    ASSERT_EQ(r.exitCode, 1) << log;
    ASSERT_EQ(Dump("before.json")["world"]["nodes"], 1);
    Bytes town = ReadBytes(dir.file("TOWN.WLE"));
    ASSERT_FALSE(town.empty());
    Bytes kept = ReadBytes(State("recovery-world.wle"));
    ASSERT_FALSE(kept.empty()) << log;
    EXPECT_NE(kept, town);
    ASSERT_TRUE(WriteBytes(dir.file("KEPT.WLE"), kept));

    SCOPED_TRACE("Yes");
    r = Run("answer yes\n" + std::string(kWorldEditor) + "dump yes.json\n" + kWorldSave + Choose("AGAIN.WLE"));
    ASSERT_EQ(r.exitCode, 0) << log;
    EXPECT_NE(log.find("MSGBOX \"Recover\" \"Tolbex ended without saving your work. Load the recovered world?\""),
              std::string::npos)
        << log;
    json yes = Dump("yes.json")["world"];
    EXPECT_EQ(yes["nodes"], 1);
    EXPECT_EQ(yes["file"], dir.file("TOWN.WLE")) << "the world keeps its file";
    EXPECT_EQ(ReadBytes(dir.file("TOWN.WLE")), town) << "the user's file is never written";
    // Exactly the recovered world, but for the selection, which a load clears.
    auto packets = [&](const std::string& path) {
        json p = CliInfo("world", path)["packets"];
        for (json& packet : p) packet.erase("selected");
        return p;
    };
    json again = packets("AGAIN.WLE");
    EXPECT_EQ(again.size(), 1u);
    EXPECT_EQ(again, packets("KEPT.WLE"));
    EXPECT_FALSE(PathExists(State("recovery-world.wle")));

    SCOPED_TRACE("No");
    r = RunFatal(std::string(kWorldEditor) + kTopView + kAddNode + "fatal\n");
    ASSERT_EQ(r.exitCode, 1) << log;
    ASSERT_TRUE(PathExists(State("recovery-world.wle")));
    // The Shape Editor leaves the world's files alone.
    r = Run(std::string(kShapeEditorObject));
    ASSERT_EQ(r.exitCode, 0) << log;
    EXPECT_TRUE(PathExists(State("recovery-world.wle")));
    r = Run("answer no\n" + std::string(kWorldEditor) + "dump no.json\n");
    ASSERT_EQ(r.exitCode, 0) << log;
    EXPECT_EQ(Dump("no.json")["world"]["nodes"], 0);
    EXPECT_EQ(Dump("no.json")["world"]["file"], "");
    EXPECT_FALSE(PathExists(State("recovery-world.wle")));
    EXPECT_FALSE(PathExists(State("recovery-world.txt")));
}

TEST_F(Recovery, ADamagedRecoveryFileIsRefusedAndRemoved)
{
    std::filesystem::create_directories(dir.file("state/tolbex"));
    ASSERT_TRUE(WriteText(dir.file("state/tolbex/recovery-shape.shp"), "not a shape at all"));
    ASSERT_TRUE(WriteText(dir.file("state/tolbex/recovery-shape.txt"), "folder=/nowhere\nname=X.SHP\ntitled=1\n"));
    RunResult r = Run("answer yes\nanswer ok\n" + std::string(kShapeEditorObject) + "dump after.json\n");
    ASSERT_EQ(r.exitCode, 0) << log;
    EXPECT_NE(log.find("MSGBOX \"Recover\" \"The recovered shape is damaged and cannot be loaded. It has been removed.\""),
              std::string::npos)
        << log;
    json after = Dump("after.json");
    EXPECT_EQ(after["shape"]["vertices"], 0);
    EXPECT_EQ(ViewTitle(after), "UNTITLED.SHP") << "the names of a refused file are not taken";
    EXPECT_FALSE(PathExists(State("recovery-shape.shp")));
    EXPECT_FALSE(PathExists(State("recovery-shape.txt")));

    // A world cut short.
    ASSERT_TRUE(WriteText(dir.file("state/tolbex/recovery-world.wle"), "WLE"));
    r = Run("answer yes\nanswer ok\n" + std::string(kWorldEditor));
    ASSERT_EQ(r.exitCode, 0) << log;
    EXPECT_NE(log.find("MSGBOX \"Recover\" \"The recovered world is damaged"), std::string::npos) << log;
    EXPECT_FALSE(PathExists(State("recovery-world.wle")));
}

TEST_F(Recovery, AutosaveKeepsAChangedShapeEveryInterval)
{
    ASSERT_TRUE(WriteText(dir.file("tolbex.ini"), "autosave=1\n"));
    const std::string load = std::string(kShapeEditorObject) + kLoad + Choose("BALL.SHP");

    // Nothing changed: a minute passes without a copy. A change is kept once its minute has
    // passed, and only once while nothing changes again; the fatal error then finds the copy
    // up to date.
    RunResult r = RunFatal(load + kMinute + kMirrorX + "wait 3\n" + kMinute + kMinute + "fatal\n");
    ASSERT_EQ(r.exitCode, 1) << log;
    EXPECT_EQ(Autosaves(" the shape"), 1) << log;
    EXPECT_NE(log.find("RECOVERY: nothing changed since the shape was last kept"), std::string::npos) << log;
    json info = CliInfo("shape", State("recovery-shape.shp"));
    ASSERT_FALSE(info.is_null());
    EXPECT_EQ(info["vertices"][1]["stored"][0], -CliInfo("shape", "BALL.SHP")["vertices"][1]["stored"][0].get<int>());
    EXPECT_EQ(ReadBytes(dir.file("BALL.SHP")), ball) << "the user's file is never written";

    SCOPED_TRACE("a change before its minute is up");
    r = RunFatal(load + kMirrorX + "advance 50000\nwait 3\nfatal\n");
    ASSERT_EQ(r.exitCode, 1) << log;
    EXPECT_EQ(Autosaves(), 0) << log;

    SCOPED_TRACE("during a drag");
    // The button held over the view from before the minute is up to the end.
    r = RunFatal(load + kMirrorX + "move 400 300\npress left\nwait 2\n" + kMinute + kMinute + "fatal\n");
    ASSERT_EQ(r.exitCode, 1) << log;
    EXPECT_EQ(Autosaves(), 0) << log;
    EXPECT_NE(log.find("RECOVERY: the shape was kept in"), std::string::npos) << "the fatal path still writes";

    SCOPED_TRACE("while a dialog is open");
    r = RunFatal(load + kMirrorX + kSave + kMinute + kMinute + "fatal\n");
    ASSERT_EQ(r.exitCode, 1) << log;
    EXPECT_NE(log.find("FILESEL \"Save as...\""), std::string::npos) << log;
    EXPECT_EQ(Autosaves(), 0) << log;

    SCOPED_TRACE("0 turns it off");
    ASSERT_TRUE(WriteText(dir.file("tolbex.ini"), "autosave=0\n"));
    r = RunFatal(load + kMirrorX + "advance 86400000\nwait 3\nfatal\n");
    ASSERT_EQ(r.exitCode, 1) << log;
    EXPECT_EQ(Autosaves(), 0) << log;
    EXPECT_NE(log.find("autosave off"), std::string::npos) << log;

    SCOPED_TRACE("a setting that is no number keeps the default");
    ASSERT_TRUE(WriteText(dir.file("tolbex.ini"), "autosave=often\n"));
    r = Run(load + kMirrorX + "advance 240000\nwait 3\n");
    ASSERT_EQ(r.exitCode, 0) << log;
    EXPECT_NE(log.find("autosave=often is no number of minutes"), std::string::npos) << log;
    EXPECT_EQ(Autosaves(), 0) << "not before five minutes";
    r = Run(load + kMirrorX + "advance 300000\nwait 3\n");
    ASSERT_EQ(r.exitCode, 0) << log;
    EXPECT_EQ(Autosaves(), 1) << log;
    EXPECT_FALSE(PathExists(State("recovery-shape.shp"))) << "the clean end removed the copy";
}

TEST_F(Recovery, AutosaveKeepsAChangedWorld)
{
    ASSERT_TRUE(WriteText(dir.file("tolbex.ini"), "autosave=2\n"));
    RunResult r = RunFatal(std::string(kWorldEditor) + kTopView + kAddNode + kMinute + kMinute + kMinute +
                           "fatal\n");
    ASSERT_EQ(r.exitCode, 1) << log;
    EXPECT_EQ(Autosaves(" the world"), 1) << log;
    Bytes kept = ReadBytes(State("recovery-world.wle"));
    ASSERT_FALSE(kept.empty());
    r = Run("answer yes\n" + std::string(kWorldEditor) + "dump yes.json\n");
    ASSERT_EQ(r.exitCode, 0) << log;
    EXPECT_EQ(Dump("yes.json")["world"]["nodes"], 1);
}

TEST_F(Recovery, ARecoveryFileTheUserOpensIsTheirs)
{
    // Loaded by hand from the state folder, edited, saved there under its own name and left:
    // neither the fatal path, the autosave nor the end may write over it or remove it.
    std::filesystem::create_directories(dir.file("state/tolbex"));
    ASSERT_TRUE(WriteText(dir.file("tolbex.ini"), "autosave=1\n"));
    const std::string open = std::string(kShapeEditorObject) + kLoad + Choose(State("BALL.SHP")) + kMirrorX + kSave +
                             Choose(State("recovery-shape.shp"));
    ASSERT_TRUE(WriteBytes(State("BALL.SHP"), ball));
    RunResult r = RunFatal(open + kMirrorX + kMinute + "fatal\n");
    ASSERT_EQ(r.exitCode, 1) << log;
    Bytes saved = ReadBytes(State("recovery-shape.shp"));
    ASSERT_FALSE(saved.empty()) << log;
    EXPECT_EQ(Autosaves(), 0) << log;
    EXPECT_NE(log.find("it is not written over"), std::string::npos) << log;
    std::filesystem::remove(State("recovery-shape.shp"));
    std::filesystem::remove(State("recovery-shape.txt"));
    r = Run(open);
    ASSERT_EQ(r.exitCode, 0) << log;
    EXPECT_TRUE(PathExists(State("recovery-shape.shp"))) << "the clean end leaves the user's file";
}
