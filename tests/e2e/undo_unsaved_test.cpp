// Undo, the unsaved mark and its questions, and the shortcuts, from scripts; files read by tolbex-cli.
#include "e2e/e2e.h"

using nlohmann::json;

namespace {

const char* const kMergeButton = "click 227 559\nwait 2\n";
const char* const kCreateButton = "click 287 589\nwait 2\n";
const char* const kUndoButton = "click 610 574\nwait 2\n";
inline std::string Scale(int percent) { return "click 35 559\nwait 2\ntype " + std::to_string(percent) + "\nkey enter\nwait 2\n"; }
const char* const kRedoShifted = "keydown lctrl\nkeydown lshift\nkey z\nkeyup lshift\nkeyup lctrl\nwait 2\n";

class UndoAndUnsaved : public Headless {
protected:
    void SetUp() override { Sphere("BALL.SHP", "1000", "2000", "1500"); }
    int MaxX(const std::string& file) const
    {
        json info = CliInfo("shape", dir.file(file));
        return info.is_null() ? -1 : info["box"]["max"][0].get<int>();
    }
    static int Steps(const json& d, const char* doc, const char* list) { return d[doc][list].get<int>(); }
    std::string Start() const { return std::string(kShapeEditorObject) + kLoad + Choose("BALL.SHP"); }
};

}  // namespace

TEST_F(UndoAndUnsaved, ThreeEditsThreeUndosAndTwoRedosGiveTheShapesBetween)
{
    std::string script = Start() + "dump loaded.json\n" + Scale(200) + Scale(300) + Scale(50) + "dump edited.json\n" +
                         Ctrl("z") + kSave + Choose("U1.SHP") + Ctrl("zz") + "dump undone.json\n" + kSave +
                         Choose("U3.SHP") + "dump saved.json\n" + Ctrl("y") + kRedoShifted + "dump redone.json\n" +
                         kSave + Choose("R2.SHP") + kUndoButton + kUndoButton + "dump back.json\n" + kMirrorX +
                         "dump dropped.json\n";
    ASSERT_TRUE(Runs(script));

    // Each scale rounds to the shape's grid: 200 % then 300 % gives about 6000.
    EXPECT_EQ(1000, MaxX("BALL.SHP"));
    EXPECT_NEAR(6000, MaxX("U1.SHP"), 20) << "one Undo takes back the last scale only";
    EXPECT_EQ(1000, MaxX("U3.SHP")) << "three Undos give the loaded shape";
    EXPECT_EQ(MaxX("U1.SHP"), MaxX("R2.SHP")) << "two Redos bring back the two scales";

    json loaded = Dump("loaded.json"), edited = Dump("edited.json"), undone = Dump("undone.json");
    EXPECT_EQ(ViewTitle(loaded), "BALL.SHP");
    EXPECT_EQ(ViewTitle(edited), "BALL.SHP *") << "an edit marks the title";
    EXPECT_EQ(Steps(loaded, "shape", "undo"), 1) << "the load is a step";
    EXPECT_EQ(Steps(edited, "shape", "undo"), 4);
    EXPECT_EQ(Steps(edited, "shape", "redo"), 0);
    EXPECT_EQ(Steps(undone, "shape", "undo"), 1);
    EXPECT_EQ(Steps(undone, "shape", "redo"), 3);
    json saved = Dump("saved.json"), redone = Dump("redone.json");
    EXPECT_EQ(ViewTitle(saved), "U3.SHP") << "a save takes the mark away";
    EXPECT_EQ(saved["note"], "Saved U3.SHP: 80 polygons, 42 vertices");
    EXPECT_EQ(ViewTitle(redone), "U3.SHP *");
    EXPECT_EQ(Steps(redone, "shape", "undo"), 3);
    EXPECT_EQ(Steps(redone, "shape", "redo"), 1);
    // Two Undos back from R2 reach the state U3 was saved from: the mark goes again.
    json back = Dump("back.json");
    EXPECT_EQ(ViewTitle(back), "R2.SHP *");
    EXPECT_EQ(Steps(back, "shape", "redo"), 3);
    json dropped = Dump("dropped.json");
    EXPECT_EQ(Steps(dropped, "shape", "redo"), 0) << "a new edit after Undo drops the redo steps";
    EXPECT_EQ(Steps(dropped, "shape", "undo"), 2);
}

TEST_F(UndoAndUnsaved, CloseWithUnsavedWorkAsksOnceAndCancelKeepsTheEditor)
{
    Bytes ball = ReadBytes(dir.file("BALL.SHP"));
    ASSERT_TRUE(Runs(Start() + kMirrorX + "answer cancel\nclose\nwait 3\ndump still.json\nanswer no\nclose\nwait 3\n" +
                     "screenshot gone.bmp\n"));
    const std::string question = "MSGBOX \"Warning\" \"Save changes to BALL.SHP?\"";
    EXPECT_EQ(Count(log, question), 2) << "once per close" << log;
    EXPECT_FALSE(Logged("Are you sure you meant to press that button?")) << "the close question is for a close with nothing unsaved";
    json still = Dump("still.json");
    EXPECT_EQ(ViewTitle(still), "BALL.SHP *") << "Cancel keeps the editor and the work";
    EXPECT_FALSE(PathExists(dir.file("gone.bmp"))) << "No ends the run";
    EXPECT_EQ(ReadBytes(dir.file("BALL.SHP")), ball) << "No writes nothing";

    // Yes saves under the shape's name, then closes.
    ASSERT_TRUE(Runs(Start() + Scale(300) + "answer yes\nclose\nwait 3\nscreenshot gone.bmp\n"));
    EXPECT_FALSE(PathExists(dir.file("gone.bmp")));
    EXPECT_NEAR(3000, MaxX("BALL.SHP"), 10);
    EXPECT_TRUE(Logged("STATUS \"Saved BALL.SHP: 80 polygons, 42 vertices\""));

    // Nothing unsaved: the close question of old, and No keeps the editor.
    ASSERT_TRUE(Runs(Start() + "answer no\nclose\nwait 3\ndump kept.json\n"));
    EXPECT_TRUE(Logged("MSGBOX \"Warning\" \"Are you sure you meant to press that button?\""));
    EXPECT_FALSE(Logged("Save changes"));
    EXPECT_TRUE(PathExists(dir.file("kept.json")));

    // An unanswered question at the script's end is No: a script writes only what it saves.
    ASSERT_TRUE(Runs(Start() + Scale(200) + "close\nwait 3\nscreenshot gone2.bmp\n"));
    EXPECT_FALSE(PathExists(dir.file("gone2.bmp")));
    EXPECT_NEAR(3000, MaxX("BALL.SHP"), 10) << "the second scale was not saved";
}

TEST_F(UndoAndUnsaved, ShortcutsAskWhereTheirButtonsWould)
{
    // Ctrl+S saves at once; Ctrl+N asks first; Delete deletes what a merge selected; Ctrl+O opens Load's.
    std::string script = Start() + kMergeButton + Choose("BALL.SHP") + "dump merged.json\nkey delete\nwait 2\n" +
                         "dump deleted.json\n" + Scale(200) + Ctrl("s") + "dump saved.json\n" + Scale(300) +
                         "answer cancel\n" + Ctrl("n") + "dump cancelled.json\nanswer no\n" + Ctrl("n") +
                         "dump new.json\n" + Ctrl("o") + "dump open.json\n" + Choose("BALL.SHP") + "dump opened.json\n";
    ASSERT_TRUE(Runs(script));
    EXPECT_EQ(Dump("merged.json")["shape"]["vertices"], 84);
    json deleted = Dump("deleted.json");
    EXPECT_EQ(deleted["shape"]["vertices"], 42) << "Delete took the merged, selected part";
    EXPECT_EQ(deleted["shape"]["polygons"], 80);
    json saved = Dump("saved.json");
    EXPECT_EQ(ViewTitle(saved), "BALL.SHP");
    EXPECT_EQ(saved["note"], "Saved BALL.SHP: 80 polygons, 42 vertices");
    EXPECT_NEAR(2000, MaxX("BALL.SHP"), 5);
    EXPECT_TRUE(PathExists(dir.file("BALL.~HP"))) << "saved as Save saves, with a backup";
    json cancelled = Dump("cancelled.json");
    EXPECT_EQ(cancelled["shape"]["vertices"], 42);
    EXPECT_EQ(ViewTitle(cancelled), "BALL.SHP *");
    json made = Dump("new.json");
    EXPECT_EQ(made["shape"]["vertices"], 0);
    EXPECT_EQ(ViewTitle(made), "UNTITLED.SHP");
    EXPECT_EQ(Count(log, "Save changes to BALL.SHP?"), 2);
    json open = Dump("open.json");
    EXPECT_NE(FindWindow(open, ClassText(CLASS_FILESEL)), nullptr) << "Ctrl+O opens the selector";
    json opened = Dump("opened.json");
    EXPECT_EQ(opened["shape"]["vertices"], 42);
    EXPECT_EQ(ViewTitle(opened), "BALL.SHP");
    EXPECT_NEAR(2000, MaxX("BALL.SHP"), 5) << "the shortcuts saved nothing more";
}

TEST_F(UndoAndUnsaved, YesOnAnUntitledShapeSavesThroughTheSelectorThenGoesOn)
{
    std::string script = std::string(kShapeEditorObject) + kCreateButton + "type 10\nkey enter\nwait 2\n" +
                         "dump created.json\nanswer yes\n" + Ctrl("n") + "dump selector.json\n" + Choose("MADE.SHP") +
                         "dump after.json\n";
    ASSERT_TRUE(Runs(script));
    json created = Dump("created.json");
    ASSERT_GT(created["shape"]["vertices"].get<int>(), 0);
    EXPECT_EQ(ViewTitle(created), "UNTITLED.SHP *");
    json selector = Dump("selector.json");
    EXPECT_NE(FindWindow(selector, ClassText(CLASS_FILESEL)), nullptr) << "Yes without a name asks for one";
    json after = Dump("after.json");
    EXPECT_EQ(after["shape"]["vertices"], 0) << "the save worked: New went on";
    EXPECT_EQ(ViewTitle(after), "UNTITLED.SHP");
    json info = CliInfo("shape", dir.file("MADE.SHP"));
    EXPECT_EQ(info["vertices"].size(), created["shape"]["vertices"].get<size_t>());
}

TEST_F(UndoAndUnsaved, TheWorldKeepsAHistoryAndAsksBeforeItsWorkGoes)
{
    std::string script = std::string(kWorldEditor) + kTopView + AddNode(120) + AddNode(200) + "dump two.json\n" + Ctrl("z") +
                         "dump one.json\n" + Ctrl("y") + kWorldSave + Choose("TOWN.WLE") + "dump saved.json\n" +
                         Ctrl("z") + "answer cancel\nclose\nwait 3\ndump kept.json\nanswer no\nclose\nwait 3\n" +
                         "screenshot gone.bmp\n";
    ASSERT_TRUE(Runs(script));
    json two = Dump("two.json"), one = Dump("one.json"), saved = Dump("saved.json"), kept = Dump("kept.json");
    EXPECT_EQ(two["world"]["nodes"], 2);
    EXPECT_EQ(one["world"]["nodes"], 1);
    EXPECT_EQ(one["world"]["redo"], 1);
    EXPECT_EQ(saved["world"]["nodes"], 2);
    EXPECT_EQ(saved["note"], "Saved TOWN.WLE");
    // The world's views show its whole path.
    EXPECT_EQ(ViewTitle(saved), dir.file("TOWN.WLE"));
    EXPECT_EQ(ViewTitle(kept), dir.file("TOWN.WLE") + " *");
    EXPECT_EQ(kept["world"]["nodes"], 1);
    EXPECT_EQ(Count(log, "MSGBOX \"Warning\" \"Save changes to TOWN.WLE?\""), 2) << log;
    EXPECT_FALSE(PathExists(dir.file("gone.bmp")));
    int nodes = 0;
    json town = CliInfo("world", dir.file("TOWN.WLE"));
    for (const json& p : town["packets"]) nodes += p["kind"] == "node";
    EXPECT_EQ(nodes, 2) << "No wrote nothing";
}
