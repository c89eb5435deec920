// Undo across a Load, New or Create brings back the document's name with its bytes: a Save
// after it writes the document to the file it came from. (Before, the loaded file's name stayed
// and Ctrl+S wrote the old document over the file just loaded.)
#include "e2e/e2e.h"

using nlohmann::json;

namespace {

std::string CtrlKeys(const std::string& keys)
{
    std::string s = "keydown lctrl\n";
    for (char k : keys) s += std::string("key ") + k + "\n";
    return s + "keyup lctrl\nwait 2\n";
}
const char* const kObjectNew = "click 147 589\nwait 2\n";
const char* const kWorldPanel = "click 335 574\nwait 2\n";
const char* const kWorldLoad = "click 287 559\nwait 2\n";
const char* const kWorldNew = "click 147 589\nwait 2\n";
// Nodes "Add", a click in the view at height y, "Exit".
std::string NodeAt(int y)
{
    return "click 425 574\nwait 2\nclick 89 574\nwait 2\nclick 500 " + std::to_string(y) + "\nwait 2\nclick 15 559\nwait 2\n";
}

class UndoNames : public Headless {
protected:
    int MaxX(const std::string& file) const
    {
        json info = CliInfo("shape", dir.file(file));
        return info.is_null() ? -1 : info["box"]["max"][0].get<int>();
    }
    int Nodes(const std::string& file) const
    {
        json info = CliInfo("world", dir.file(file));
        int n = 0;
        for (const json& p : info["packets"]) n += p["kind"] == "node";
        return n;
    }
};

}  // namespace

TEST_F(UndoNames, UndoOfALoadOrNewGivesBackTheShapesNameAndSaveWritesItsOwnFile)
{
    Sphere("A.SHP", "4000", "4000", "4000");
    Bytes b = Sphere("B.SHP", "1000", "2000", "3000");
    std::string script = std::string(kShapeEditorObject) + kLoad + Choose("A.SHP") + "drop B.SHP\nwait 3\n" +
                         "dump loaded.json\n" + kMirrorX + CtrlKeys("z") + CtrlKeys("y") + "dump mirrored.json\n" +
                         CtrlKeys("zz") + "dump undone.json\n" + CtrlKeys("y") + "dump redone.json\n" +
                         CtrlKeys("z") + CtrlKeys("s") + "dump saved.json\n" + kObjectNew + "dump new.json\n" +
                         CtrlKeys("z") + "dump unnew.json\n" + CtrlKeys("z") + "dump first.json\n";
    RunResult r = Run(script);
    ASSERT_EQ(r.exitCode, 0) << r.output << log;

    EXPECT_EQ(ViewTitle(Dump("loaded.json")), "B.SHP");
    EXPECT_EQ(ViewTitle(Dump("mirrored.json")), "B.SHP *") << "an edit and its Undo and Redo keep the name";
    EXPECT_EQ(ViewTitle(Dump("undone.json")), "A.SHP *") << "the name goes back with the shape";
    EXPECT_EQ(ViewTitle(Dump("redone.json")), "B.SHP") << "and comes again with Redo";
    EXPECT_EQ(ViewTitle(Dump("saved.json")), "A.SHP");
    EXPECT_EQ(ReadBytes(dir.file("B.SHP")), b) << "the loaded file is never written with the other shape";
    EXPECT_EQ(MaxX("A.SHP"), 4000);
    EXPECT_EQ(ViewTitle(Dump("new.json")), "UNTITLED.SHP");
    // Marked: the one saved state the editor knows is the New one (it asks rather than guesses).
    EXPECT_EQ(ViewTitle(Dump("unnew.json")), "A.SHP *") << "Undo of New: the shape under its own name";
    EXPECT_EQ(ViewTitle(Dump("first.json")), "UNTITLED.SHP") << "back before the first Load: the untitled shape";
}

TEST_F(UndoNames, UndoOfAWorldLoadGivesBackTheWorldsNameAndASaveAsRenamesTheWholeDocument)
{
    std::string script = std::string(kWorldEditor) + kTopView + NodeAt(300) + kWorldPanel + kSave + Choose("W1.WLE") +
                         kWorldNew + NodeAt(300) + NodeAt(350) + kWorldPanel + kSave + Choose("W2.WLE") +
                         kWorldLoad + Choose("W1.WLE") + "dump loaded.json\n" + CtrlKeys("z") +
                         "dump undone.json\n" + CtrlKeys("s") + CtrlKeys("y") +
                         // Saved under another name, then Undo and Redo across the load: the
                         // loaded world keeps the name it was saved under.
                         kWorldPanel + "click 267 574\nwait 2\n" + Choose("W3.WLE") + CtrlKeys("z") +
                         CtrlKeys("y") + "dump renamed.json\n" +
                         // An untitled world with a node, a Load (its question answered No), Undo:
                         // the world is untitled again, and Ctrl+S asks for a name (Escape).
                         kWorldNew + NodeAt(300) + kWorldLoad + Choose("W1.WLE") + CtrlKeys("z") +
                         "dump untitled.json\n" + CtrlKeys("s") + "key escape\nwait 2\n";
    RunResult r = Run(script);
    ASSERT_EQ(r.exitCode, 0) << r.output << log;

    EXPECT_NE(ViewTitle(Dump("loaded.json")).find("W1.WLE"), std::string::npos);
    std::string undone = ViewTitle(Dump("undone.json"));
    EXPECT_NE(undone.find("W2.WLE"), std::string::npos) << undone;
    EXPECT_EQ(Nodes("W1.WLE"), 1) << "Ctrl+S after the Undo wrote W2, not over W1";
    EXPECT_EQ(Nodes("W2.WLE"), 2);
    std::string renamed = ViewTitle(Dump("renamed.json"));
    EXPECT_NE(renamed.find("W3.WLE"), std::string::npos) << renamed;
    EXPECT_EQ(ViewTitle(Dump("untitled.json")), "UNTITLED.WLE *");
    EXPECT_FALSE(PathExists(dir.file("UNTITLED.WLE"))) << "an untitled world is never saved without a name";
}
