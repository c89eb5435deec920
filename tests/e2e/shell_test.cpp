// The editor's screen as a script sees it through `dump`.
#include <nlohmann/json.hpp>

#include "e2e/e2e.h"

using nlohmann::json;

static const char* kShapeEditor = "click 165 75\nwait 4\n";   // the launcher's "Shape Editor"

static json ReadDump(const std::string& path) { return json::parse(ReadText(path)); }

static const json* Find(const json& d, const std::string& cls, const std::string& label = "")
{
    for (const json& w : d["windows"])
        if (w["class"] == cls && (label.empty() || (w.contains("label") && w["label"] == label))) return &w;
    return nullptr;
}

TEST_F(Headless, TheShapeEditorsScreen)
{
    RunResult r = Run(std::string(kShapeEditor) + "dump d.json\n" +
                      // "Object" on the menu bar: (320 + 100 + 40, 550 + 19 + 5)
                      "click 460 574\nwait 2\ndump e.json\n");
    ASSERT_EQ(r.exitCode, 0) << r.output << log;
    json d = ReadDump(dir.file("d.json"));
    EXPECT_EQ(d["screen"]["width"], 800);
    const json* view = Find(d, "0x1001");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ((*view)["x"], 0);
    EXPECT_EQ((*view)["y"], 0);
    EXPECT_EQ((*view)["width"], 799);
    EXPECT_EQ((*view)["height"], 550);
    const json* bar = Find(d, "0x1000");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ((*bar)["x"], 320);
    EXPECT_EQ((*bar)["y"], 550);
    const json* mesh = Find(d, "0x201", "Mesh");
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ((*mesh)["state"], 1);
    EXPECT_EQ(Find(d, "0x201", "Palette"), nullptr);
    const json* panel = Find(d, "0x1014");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ((*panel)["x"], 0);
    EXPECT_EQ((*panel)["y"], 550);

    json e = ReadDump(dir.file("e.json"));
    EXPECT_EQ(Find(e, "0x1014"), nullptr) << "the Mesh panel closed";
    EXPECT_NE(Find(e, "0x100D"), nullptr) << "the Object panel opened";
    EXPECT_EQ((*Find(e, "0x201", "Object"))["state"], 1);
    EXPECT_EQ((*Find(e, "0x201", "Mesh"))["state"], 0);

    WriteText(dir.file("tolbex.ini"), "palsupport=1\n");
    r = Run(std::string(kShapeEditor) + "dump p.json\n");
    ASSERT_EQ(r.exitCode, 0) << r.output << log;
    EXPECT_NE(Find(ReadDump(dir.file("p.json")), "0x201", "Palette"), nullptr);
}
