// A fatal error mid-edit: the editor's next start offers the work back; autosave keeps a copy.
#include <filesystem>

#include "e2e/e2e.h"

using nlohmann::json;

namespace {

const char* const kMinute = "advance 60000\nwait 3\n";

class Recovery : public Headless {
protected:
    void SetUp() override { ball = Sphere("BALL.SHP", "1000", "2000", "1500"); }
    std::string State(const std::string& name) const { return dir.file("state/tolbex/" + name); }
    // A run that ends in the test switch's fatal error (exit code 1).
    ::testing::AssertionResult Fails(const std::string& script) { return Ends(1, script, {}, {"TOLBEX_TEST_FATAL=1"}); }
    int Autosaves(const std::string& what = "") const { return Count(log, "RECOVERY: autosave of" + what); }
    Bytes ball;
};

const char* const kOffer = "MSGBOX \"Recover\" \"Tolbex ended without saving your work. Load the recovered shape?\"";

}  // namespace

TEST_F(Recovery, TheEditedShapeComesBackAfterAFatalError)
{
    // The user loads BALL.SHP, mirrors it and the program fails.
    ASSERT_TRUE(Fails(std::string(kShapeEditorObject) + kLoad + Choose("BALL.SHP") + kMirrorX + "fatal Broken\n"));
    EXPECT_TRUE(Logged("FATAL: Broken"));
    Bytes kept = ReadBytes(State("recovery-shape.shp"));
    ASSERT_FALSE(kept.empty()) << log;
    EXPECT_EQ(ReadBytes(dir.file("BALL.SHP")), ball) << "the user's file is never written";
    // The mirrored shape, as Save would have written it.
    json original = CliInfo("shape", "BALL.SHP"), recovered = CliInfo("shape", State("recovery-shape.shp"));
    ASSERT_EQ(recovered["vertices"].size(), original["vertices"].size());
    for (size_t i = 0; i < original["vertices"].size(); i++)
        EXPECT_EQ(recovered["vertices"][i]["stored"][0], -original["vertices"][i]["stored"][0].get<int>()) << i;

    SCOPED_TRACE("Yes");
    ASSERT_TRUE(Runs("answer yes\n" + std::string(kShapeEditorObject) + "dump yes.json\n" + kSave + "dump save.json\n" +
                     Choose("AGAIN.SHP")));
    EXPECT_TRUE(Logged(kOffer));
    json yes = Dump("yes.json");
    EXPECT_EQ(yes["shape"]["vertices"], original["vertices"].size());
    // Title and Save's offer name the file the work was edited under, marked: it is not in it yet.
    EXPECT_EQ(ViewTitle(yes), "BALL.SHP *");
    EXPECT_EQ(FieldOf(Dump("save.json"), ClassText(CLASS_FILESEL)), "BALL.SHP");
    // Exactly the recovered shape: saved again, the same bytes.
    EXPECT_EQ(ReadBytes(dir.file("AGAIN.SHP")), kept);
    // The save (and the clean end) took the recovery files away.
    EXPECT_FALSE(PathExists(State("recovery-shape.shp")));
    EXPECT_FALSE(PathExists(State("recovery-shape.txt")));

    SCOPED_TRACE("No");
    ASSERT_TRUE(Fails(std::string(kShapeEditorObject) + kLoad + Choose("BALL.SHP") + kMirrorX + "fatal\n"));
    ASSERT_TRUE(PathExists(State("recovery-shape.shp")));
    ASSERT_TRUE(Runs("answer no\n" + std::string(kShapeEditorObject) + "dump no.json\n"));
    EXPECT_TRUE(Logged(kOffer));
    EXPECT_EQ(Dump("no.json")["shape"]["vertices"], 0);
    EXPECT_FALSE(PathExists(State("recovery-shape.shp")));
    EXPECT_FALSE(PathExists(State("recovery-shape.txt")));
    // Nothing left, nothing asked.
    ASSERT_TRUE(Runs(std::string(kShapeEditorObject)));
    EXPECT_FALSE(Logged("MSGBOX \"Recover\""));
}

TEST_F(Recovery, TheEditedWorldComesBackAfterAFatalError)
{
    // Saved as TOWN.WLE, then a node added, then the failure.
    ASSERT_TRUE(Fails(std::string(kWorldEditor) + kWorldSave + Choose("TOWN.WLE") + kTopView + AddNode(120) +
                      "dump before.json\nfatal\n"));
    ASSERT_EQ(Dump("before.json")["world"]["nodes"], 1);
    Bytes town = ReadBytes(dir.file("TOWN.WLE"));
    ASSERT_FALSE(town.empty());
    Bytes kept = ReadBytes(State("recovery-world.wle"));
    ASSERT_FALSE(kept.empty()) << log;
    EXPECT_NE(kept, town);
    ASSERT_TRUE(WriteBytes(dir.file("KEPT.WLE"), kept));

    SCOPED_TRACE("Yes");
    ASSERT_TRUE(Runs("answer yes\n" + std::string(kWorldEditor) + "dump yes.json\n" + kWorldSave + Choose("AGAIN.WLE")));
    EXPECT_TRUE(Logged("MSGBOX \"Recover\" \"Tolbex ended without saving your work. Load the recovered world?\""));
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
    ASSERT_TRUE(Fails(std::string(kWorldEditor) + kTopView + AddNode(120) + "fatal\n"));
    ASSERT_TRUE(PathExists(State("recovery-world.wle")));
    // The Shape Editor leaves the world's files alone.
    ASSERT_TRUE(Runs(std::string(kShapeEditorObject)));
    EXPECT_TRUE(PathExists(State("recovery-world.wle")));
    ASSERT_TRUE(Runs("answer no\n" + std::string(kWorldEditor) + "dump no.json\n"));
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
    ASSERT_TRUE(Runs("answer yes\nanswer ok\n" + std::string(kShapeEditorObject) + "dump after.json\n"));
    EXPECT_TRUE(Logged("MSGBOX \"Recover\" \"The recovered shape is damaged and cannot be loaded. It has been removed.\""));
    json after = Dump("after.json");
    EXPECT_EQ(after["shape"]["vertices"], 0);
    EXPECT_EQ(ViewTitle(after), "UNTITLED.SHP") << "the names of a refused file are not taken";
    EXPECT_FALSE(PathExists(State("recovery-shape.shp")));
    EXPECT_FALSE(PathExists(State("recovery-shape.txt")));

    // A world cut short.
    ASSERT_TRUE(WriteText(dir.file("state/tolbex/recovery-world.wle"), "WLE"));
    ASSERT_TRUE(Runs("answer yes\nanswer ok\n" + std::string(kWorldEditor)));
    EXPECT_TRUE(Logged("MSGBOX \"Recover\" \"The recovered world is damaged"));
    EXPECT_FALSE(PathExists(State("recovery-world.wle")));
}

TEST_F(Recovery, AutosaveKeepsAChangedShapeEveryInterval)
{
    ASSERT_TRUE(WriteText(dir.file("tolbex.ini"), "autosave=1\n"));
    const std::string load = std::string(kShapeEditorObject) + kLoad + Choose("BALL.SHP");

    // No copy without a change; a change is kept once after its minute, and the fatal path finds it kept.
    ASSERT_TRUE(Fails(load + kMinute + kMirrorX + "wait 3\n" + kMinute + kMinute + "fatal\n"));
    EXPECT_EQ(Autosaves(" the shape"), 1) << log;
    EXPECT_TRUE(Logged("RECOVERY: nothing changed since the shape was last kept"));
    json info = CliInfo("shape", State("recovery-shape.shp"));
    ASSERT_FALSE(info.is_null());
    EXPECT_EQ(info["vertices"][1]["stored"][0], -CliInfo("shape", "BALL.SHP")["vertices"][1]["stored"][0].get<int>());
    EXPECT_EQ(ReadBytes(dir.file("BALL.SHP")), ball) << "the user's file is never written";

    SCOPED_TRACE("a change before its minute is up");
    ASSERT_TRUE(Fails(load + kMirrorX + "advance 50000\nwait 3\nfatal\n"));
    EXPECT_EQ(Autosaves(), 0) << log;

    SCOPED_TRACE("during a drag");
    // The button held over the view from before the minute is up to the end.
    ASSERT_TRUE(Fails(load + kMirrorX + "move 400 300\npress left\nwait 2\n" + kMinute + kMinute + "fatal\n"));
    EXPECT_EQ(Autosaves(), 0) << log;
    EXPECT_TRUE(Logged("RECOVERY: the shape was kept in")) << "the fatal path still writes";

    SCOPED_TRACE("while a dialog is open");
    ASSERT_TRUE(Fails(load + kMirrorX + kSave + kMinute + kMinute + "fatal\n"));
    EXPECT_TRUE(Logged("FILESEL \"Save as...\""));
    EXPECT_EQ(Autosaves(), 0) << log;

    SCOPED_TRACE("0 turns it off");
    ASSERT_TRUE(WriteText(dir.file("tolbex.ini"), "autosave=0\n"));
    ASSERT_TRUE(Fails(load + kMirrorX + "advance 86400000\nwait 3\nfatal\n"));
    EXPECT_EQ(Autosaves(), 0) << log;
    EXPECT_TRUE(Logged("autosave off"));

    SCOPED_TRACE("a setting that is no number keeps the default");
    ASSERT_TRUE(WriteText(dir.file("tolbex.ini"), "autosave=often\n"));
    ASSERT_TRUE(Runs(load + kMirrorX + "advance 240000\nwait 3\n"));
    EXPECT_TRUE(Logged("autosave=often is no number of minutes"));
    EXPECT_EQ(Autosaves(), 0) << "not before five minutes";
    ASSERT_TRUE(Runs(load + kMirrorX + "advance 300000\nwait 3\n"));
    EXPECT_EQ(Autosaves(), 1) << log;
    EXPECT_FALSE(PathExists(State("recovery-shape.shp"))) << "the clean end removed the copy";
}

TEST_F(Recovery, AutosaveKeepsAChangedWorld)
{
    ASSERT_TRUE(WriteText(dir.file("tolbex.ini"), "autosave=2\n"));
    ASSERT_TRUE(Fails(std::string(kWorldEditor) + kTopView + AddNode(120) + kMinute + kMinute + kMinute +
                      "fatal\n"));
    EXPECT_EQ(Autosaves(" the world"), 1) << log;
    Bytes kept = ReadBytes(State("recovery-world.wle"));
    ASSERT_FALSE(kept.empty());
    ASSERT_TRUE(Runs("answer yes\n" + std::string(kWorldEditor) + "dump yes.json\n"));
    EXPECT_EQ(Dump("yes.json")["world"]["nodes"], 1);
}

TEST_F(Recovery, ARecoveryFileTheUserOpensIsTheirs)
{
    // Saved by the user as the recovery file: no fatal path, autosave or end writes over or removes it.
    std::filesystem::create_directories(dir.file("state/tolbex"));
    ASSERT_TRUE(WriteText(dir.file("tolbex.ini"), "autosave=1\n"));
    const std::string open = std::string(kShapeEditorObject) + kLoad + Choose(State("BALL.SHP")) + kMirrorX + kSave +
                             Choose(State("recovery-shape.shp"));
    ASSERT_TRUE(WriteBytes(State("BALL.SHP"), ball));
    ASSERT_TRUE(Fails(open + kMirrorX + kMinute + "fatal\n"));
    Bytes saved = ReadBytes(State("recovery-shape.shp"));
    ASSERT_FALSE(saved.empty()) << log;
    EXPECT_EQ(Autosaves(), 0) << log;
    EXPECT_TRUE(Logged("it is not written over"));
    std::filesystem::remove(State("recovery-shape.shp"));
    std::filesystem::remove(State("recovery-shape.txt"));
    ASSERT_TRUE(Runs(open));
    EXPECT_TRUE(PathExists(State("recovery-shape.shp"))) << "the clean end leaves the user's file";
}
