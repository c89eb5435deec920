// The editor's screen as a script sees it through `dump`.
#include "e2e/e2e.h"

using nlohmann::json;

TEST_F(Headless, TheShapeEditorsScreen)
{
    // The launcher's "Shape Editor", then "Object" on the menu bar.
    RunResult r = Run("click 165 75\nwait 4\ndump d.json\nclick 460 574\nwait 2\ndump e.json\n");
    ASSERT_EQ(r.exitCode, 0) << r.output << log;
    json d = Dump("d.json");
    EXPECT_EQ(d["screen"]["width"], 800);
    ASSERT_NE(FindWindow(d, ClassText(CLASS_VIEW)), nullptr);
    ASSERT_NE(FindWindow(d, ClassText(CLASS_MESH_PANEL)), nullptr) << "the Mesh panel";
    const json* mesh = FindWindow(d, ClassText(CLASS_BUTTON), "Mesh");
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ((*mesh)["state"], 1);
    EXPECT_EQ(FindWindow(d, ClassText(CLASS_BUTTON), "Palette"), nullptr);

    json e = Dump("e.json");
    EXPECT_EQ(FindWindow(e, ClassText(CLASS_MESH_PANEL)), nullptr) << "the Mesh panel closed";
    EXPECT_NE(FindWindow(e, ClassText(CLASS_OBJECT_PANEL)), nullptr) << "the Object panel opened";
    EXPECT_EQ((*FindWindow(e, ClassText(CLASS_BUTTON), "Object"))["state"], 1);
    EXPECT_EQ((*FindWindow(e, ClassText(CLASS_BUTTON), "Mesh"))["state"], 0);

    WriteText(dir.file("tolbex.ini"), "palsupport=1\n");
    r = Run("click 165 75\nwait 4\ndump p.json\n");
    ASSERT_EQ(r.exitCode, 0) << r.output << log;
    json p = Dump("p.json");
    EXPECT_NE(FindWindow(p, ClassText(CLASS_BUTTON), "Palette"), nullptr);
}

// Keys pressed faster than the frames come are all typed, doubled letters included; Home and
// End reach the name field; a name beyond ASCII is kept and saved under itself.
TEST_F(Headless, QuickKeysHomeEndAndANameBeyondAsciiReachTheSelector)
{
    std::string quick;
    for (char c : std::string("balloon")) {
        std::string k(1, c);
        quick += "keydown " + k + "\nkeyup " + k + "\n";
    }
    RunResult r = Run(std::string(kShapeEditorObject) + kSave + quick + "wait 1\ndump a.json\nkey home\ntype n\n" +
                      "key end\ntype \xc3\xa9.shp\ndump b.json\nkey enter\nwait 2\n");
    ASSERT_EQ(r.exitCode, 0) << log;
    EXPECT_EQ(FieldOf(Dump("a.json"), ClassText(CLASS_FILESEL)), "balloon") << "seven keys in one frame, the selected name replaced";
    EXPECT_EQ(FieldOf(Dump("b.json"), ClassText(CLASS_FILESEL)), "nballoon\xc3\xa9.shp");
    EXPECT_FALSE(ReadBytes(dir.file("nballoon\xc3\xa9.shp")).empty()) << log;
}
