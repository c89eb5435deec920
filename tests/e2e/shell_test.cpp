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
    ASSERT_NE(FindWindow(d, "0x1001"), nullptr);
    ASSERT_NE(FindWindow(d, "0x1014"), nullptr) << "the Mesh panel";
    const json* mesh = FindWindow(d, "0x201", "Mesh");
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ((*mesh)["state"], 1);
    EXPECT_EQ(FindWindow(d, "0x201", "Palette"), nullptr);

    json e = Dump("e.json");
    EXPECT_EQ(FindWindow(e, "0x1014"), nullptr) << "the Mesh panel closed";
    EXPECT_NE(FindWindow(e, "0x100D"), nullptr) << "the Object panel opened";
    EXPECT_EQ((*FindWindow(e, "0x201", "Object"))["state"], 1);
    EXPECT_EQ((*FindWindow(e, "0x201", "Mesh"))["state"], 0);

    WriteText(dir.file("tolbex.ini"), "palsupport=1\n");
    r = Run("click 165 75\nwait 4\ndump p.json\n");
    ASSERT_EQ(r.exitCode, 0) << r.output << log;
    json p = Dump("p.json");
    EXPECT_NE(FindWindow(p, "0x201", "Palette"), nullptr);
}
