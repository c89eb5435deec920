// The editor shell in process: the menu bar and its panels, message boxes, the progress window.
#include "base/log.h"
#include "frontend/editstate.h"
#include "frontend/menubar.h"
#include "frontend/msgbox.h"
#include "frontend/panels.h"
#include "frontend/progress.h"
#include "world/worldm.h"

using nlohmann::json;

namespace {

// The windows of a class in a dump, and the labels of a window's children.
std::vector<json> OfClass(const json& d, const std::string& cls)
{
    std::vector<json> out;
    for (const json& w : d["windows"])
        if (w["class"] == cls) out.push_back(w);
    return out;
}

std::vector<std::string> Labels(const json& d, int parent)
{
    std::vector<std::string> out;
    for (const json& w : d["windows"])
        if (w["parent"] == parent && w.contains("label")) out.push_back(w["label"]);
    return out;
}

// Presses a menu bar entry as the user does, through its parent's notification.
void Press(const char* entry)
{
    WinParam on = 1, zero = 0;
    WinSendMessage(ButtonOf(WinFindClass(CLASS_SHAPE_MENU), entry), WM_SETSTATE, &on, &zero);
}

}  // namespace

TEST_F(Run, TheMenuBarOpensOnePanelAtATime)
{
    StartEditor(EDITOR_SHAPE);
    json d = DumpJson();
    std::vector<json> bars = OfClass(d, ClassText(CLASS_SHAPE_MENU));
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_EQ((std::vector<int>{bars[0]["x"], bars[0]["y"]}), (std::vector<int>{320, 550}));
    EXPECT_EQ(Labels(d, bars[0]["id"]),
              (std::vector<std::string>{"Materials", "Polygons", "Vertices", "Sorting", "Object", "Mesh", "Undo"}))
        << "no Palette without palette support";
    std::vector<json> panels = OfClass(d, ClassText(CLASS_MESH_PANEL));
    ASSERT_EQ(panels.size(), 1u) << "the Mesh panel opens first";
    EXPECT_EQ((std::vector<int>{panels[0]["x"], panels[0]["y"], panels[0]["width"], panels[0]["height"]}),
              (std::vector<int>{0, 550, 320, 49}));
    EXPECT_EQ(ControlState(ButtonOf(WinFindClass(CLASS_SHAPE_MENU), "Mesh")), 1);

    // Another entry, clicked, closes the open panel; the tool goes back to none.
    EditSetTool(7, 2);
    ClickWindow(ButtonOf(WinFindClass(CLASS_SHAPE_MENU), "Object"));
    Turns(1);
    EXPECT_EQ(ControlState(ButtonOf(WinFindClass(CLASS_SHAPE_MENU), "Object")), 1);
    EXPECT_EQ(ControlState(ButtonOf(WinFindClass(CLASS_SHAPE_MENU), "Mesh")), 0);
    d = DumpJson();
    EXPECT_EQ(OfClass(d, ClassText(CLASS_MESH_PANEL)).size(), 0u);
    EXPECT_EQ(OfClass(d, ClassText(CLASS_OBJECT_PANEL)).size(), 1u);
    EXPECT_EQ(EditToolMode(), 0);
    EXPECT_EQ(EditOverlayFlags(), 0u);
    // Materials marks polygons by material in the view.
    Press("Materials");
    Turns(1);
    EXPECT_EQ(EditOverlayFlags(), 2u);
    EXPECT_EQ(OfClass(DumpJson(), ClassText(CLASS_OBJECT_PANEL)).size(), 0u);
    // The open entry again: the panel stays.
    Press("Materials");
    Turns(1);
    EXPECT_EQ(OfClass(DumpJson(), ClassText(CLASS_MATERIALS_PANEL)).size(), 1u);
}

TEST_F(Run, TheWorldEditorsBarOffersPaletteOnlyWithPaletteSupport)
{
    WriteText("tolbex.ini", "palsupport=1\n");
    StartEditor(EDITOR_WORLD);
    json d = DumpJson();
    std::vector<json> bars = OfClass(d, ClassText(CLASS_WORLD_MENU));
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_EQ(Labels(d, bars[0]["id"]),
              (std::vector<std::string>{"Materials", "World", "Edit Shapes", "Add Shapes", "Nodes", "Palette", "Undo"}));
    EXPECT_EQ(OfClass(d, ClassText(CLASS_EDIT_SHAPES_PANEL)).size(), 1u) << "Edit Shapes opens first";
    AppShutdown();
    PlatShutdown();
    StartEditor(EDITOR_SHAPE);
    EXPECT_NE(ButtonOf(WinFindClass(CLASS_SHAPE_MENU), "Palette"), 0) << "the Shape Editor's too";
    AppShutdown();
    PlatShutdown();
    remove("tolbex.ini");
    StartEditor(EDITOR_WORLD);
    d = DumpJson();
    EXPECT_EQ(Labels(d, OfClass(d, ClassText(CLASS_WORLD_MENU))[0]["id"]).size(), 6u) << "five entries and Undo";
}

TEST_F(Run, BoxesWaitForTheModalWindowAndCloseOnEnter)
{
    StartEditor(EDITOR_SHAPE);
    LogOpen("log.txt");
    WinId first = MsgBoxError("Error During Save", -8);
    ASSERT_NE(first, 0);
    EXPECT_EQ(WinModal(), first);
    EXPECT_STREQ(MsgBoxText(first), "Unknown Error Code!");
    // A second box while the first is up waits, and is logged at once.
    EXPECT_EQ(MsgBoxShow("Second", std::string(300, 'x').c_str()), 0);
    EXPECT_EQ(MsgBoxWaitingCount(), 1);
    LogOpen(nullptr);
    std::string log = ReadText("log.txt");
    EXPECT_NE(log.find("MSGBOX \"Error During Save\" \"Unknown Error Code!\""), std::string::npos) << log;
    EXPECT_NE(log.find("MSGBOX \"Second\""), std::string::npos) << log;

    InputQueueKey(KEY_RETURN, 1);
    Turns(2);
    InputQueueKey(KEY_RETURN, 0);
    // Window ids are reused: the box on screen is told apart by its text.
    WinId second = WinModal();
    ASSERT_NE(second, 0) << "the waiting box follows";
    EXPECT_STREQ(MsgBoxText(second), "") << "Enter pressed Ok; a text too long for the box shows as none";
    InputQueueKey(KEY_ESCAPE, 1);
    Turns(2);
    InputQueueKey(KEY_ESCAPE, 0);
    EXPECT_EQ(WinModal(), 0) << "Escape presses Ok too";

    // A box still waiting when the editor ends does not greet the next one.
    MsgBoxShow("Modal", "first");
    MsgBoxShow("Late", "waits");
    EXPECT_EQ(MsgBoxWaitingCount(), 1);
    AppShutdown();
    PlatShutdown();
    StartEditor(EDITOR_SHAPE);
    EXPECT_EQ(MsgBoxWaitingCount(), 0);
    EXPECT_EQ(WinModal(), 0);
}

TEST_F(Run, AScriptedAnswerClosesADrawnBox)
{
    StartEditor(EDITOR_SHAPE, "answer ok\n");
    WinId box = MsgBoxShow("Title", "Text");
    ASSERT_NE(box, 0);
    Turns(2);
    EXPECT_FALSE(WinIsWindow(box));
    box = MsgBoxShow("Title", "Text");
    Turns(3);
    EXPECT_TRUE(WinIsWindow(box)) << "without an answer the box stays for the user";
}

TEST_F(Run, CancelStopsTheWorkAndTheProgressWindowCloses)
{
    StartEditor(EDITOR_SHAPE);
    uint32_t* variable = ProgressVariable();
    *variable = 0;
    WinId window = ProgressOpen("Sorting Object", variable);
    ASSERT_NE(window, 0);
    EXPECT_EQ(WinModal(), window);
    EXPECT_EQ(std::string(WinGetTitle(window)), "Sorting Object");
    // The user clicks Cancel while the work runs; the work's next report stops it.
    int bx = 0, by = 0;
    WinGetAbsPos(ButtonOf(window, "Cancel"), &bx, &by);
    MoveTo(bx + 20, by + 5);
    InputMessageHook(nullptr, NM_LBUTTONDOWN, 0, 0);
    InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0);
    int reports = 0;
    for (uint32_t v = 0; v <= PROGRESS_DONE; v += 0x400) {
        if (ProgressSort(v)) break;
        reports++;
    }
    EXPECT_EQ(reports, 1) << "the report after the click stops the work";
    EXPECT_EQ(*variable, (uint32_t)PROGRESS_CANCEL);
    Turns(2);
    EXPECT_FALSE(WinIsWindow(window)) << "the window closes itself";
    EXPECT_EQ(WinModal(), 0);

    // Finished work closes it too; the texture callback never stops.
    window = ProgressOpen("Loading", variable);
    EXPECT_EQ(ProgressTextures(0x3FFF), 0);
    EXPECT_EQ(*variable, (uint32_t)PROGRESS_DONE);
    Turns(2);
    EXPECT_FALSE(WinIsWindow(window));

    // Escape is Cancel; Enter is not.
    uint32_t value = 100;
    window = ProgressOpen("Working", &value);
    ASSERT_NE(window, 0);
    EXPECT_EQ(WinFocus(), window);
    TapKey(KEY_RETURN);
    EXPECT_EQ(value, 100u) << "only Escape cancels";
    InputQueueKey(KEY_ESCAPE, 1);
    WinProcessInput();
    InputQueueKey(KEY_ESCAPE, 0);
    EXPECT_EQ(value, (uint32_t)PROGRESS_CANCEL);
    Turns(2);
    EXPECT_FALSE(WinIsWindow(window));

    // The callbacks pass the value on; the cancel mark stops every kind of work.
    ProgressSetValue(0);
    EXPECT_EQ(ProgressTextures(0x100), 0);
    EXPECT_EQ(ProgressValue(), 0x100u);
    EXPECT_EQ(ProgressWorld(0x2000), 0);
    EXPECT_EQ(ProgressValue(), 0x2000u);
    ProgressSetValue(PROGRESS_CANCEL);
    EXPECT_EQ(ProgressSort(0x10), 1) << "the cancel mark stops the work";
    EXPECT_EQ(ProgressWorld(0x10), 1);
    EXPECT_EQ(ProgressSpare(0x10), 1);
    EXPECT_EQ(ProgressValue(), (uint32_t)PROGRESS_CANCEL);

    // A sort request runs under its own progress window, gone after the work.
    size_t before = DumpJson()["windows"].size();
    EditorRequest(REQUEST_SORT);
    Turns(1);
    EXPECT_FALSE(EditorRequestPending(REQUEST_SORT));
    EXPECT_EQ(WinModal(), 0);
    EXPECT_EQ(DumpJson()["windows"].size(), before) << "the progress window is gone after the work";
}

TEST_F(Run, TheWorldEditorsRequestsRunTheirWorkAndSayWhyTheyCannot)
{
    StartEditor(EDITOR_WORLD);
    ASSERT_TRUE(WorldMIsInstalled()) << "the World Editor's start installs the world manager";
    EXPECT_EQ(WorldMCapacity(), 524288u);

    // No rail materials: the build says so, and the world keeps no net.
    EditorRequest(REQUEST_BUILD_MONORAIL);
    Turns(1);
    ASSERT_NE(WinModal(), 0);
    EXPECT_STREQ(MsgBoxText(WinModal()), "Missing monorail material.");
    DismissBox();

    // No world file named yet: the runtime save is refused in the save's own box.
    LogOpen("log.txt");
    EditorRequest(REQUEST_SAVE_RUNTIME);
    Turns(1);
    LogOpen(nullptr);
    EXPECT_NE(ReadText("log.txt").find("MSGBOX \"Error During Save\" \"Failed to save WLE file.\""), std::string::npos);

    AppShutdown();
    PlatShutdown();
    EXPECT_FALSE(WorldMIsInstalled()) << "the editor's end frees the world";
}

// A box is as wide as its text needs, up to most of the screen, wraps the rest, and draws every glyph.
TEST_F(Run, BoxesGrowToTheirTextAndWrapWhatIsLonger)
{
    const std::string dummy = "You can't edit the \"Dummy\" material, dummy!";
    std::string path = "File not found: /home/artist/levels/";
    while (path.size() < 240) path += "subfolder/";
    path += "TOWN.WLE";
    for (int resolution : {RESOLUTION_800, RESOLUTION_640}) {
        Start();
        TurnUntil(RUN_LAUNCHER);
        AppSetEditorMode(EDITOR_SHAPE);
        AppSetResolution(resolution);
        TurnUntil(RUN_EDITOR);
        int screenW, screenH;
        VideoExtent(&screenW, &screenH);
        const struct { const char* text; int lines; } cases[] = {
            // The path, one word of 1,416 pixels, gets lines of its own, broken at 701 or 557 pixels.
            {"Short.", 1}, {dummy.c_str(), 1}, {path.c_str(), 4},
        };
        for (const auto& c : cases) {
            WinId box = MsgBoxShow("File Error", c.text);
            ASSERT_NE(box, 0);
            int x, y, w, h;
            WinGetRect(box, &x, &y, &w, &h);
            int textW = TextWidth(c.text);
            // The narrowest box stays 260 x 50, centred as before; wider texts widen it.
            EXPECT_EQ(w, textW + 19 > 260 ? std::min(textW + 19, screenW * 9 / 10) : 260) << c.text;
            EXPECT_EQ(h, 50 + 9 * (c.lines - 1)) << c.text;
            EXPECT_EQ(x, (screenW - w) / 2);
            EXPECT_LE(y + h, screenH);
            // "Ok" under the last line.
            WinId ok = ButtonOf(box, "Ok");
            int ox, oy, ow, oh;
            WinGetRect(ok, &ox, &oy, &ow, &oh);
            EXPECT_EQ(oy, h - 19);
            // Ink on enough rows for the lines, and none in the box's margins.
            Turns(1);
            int inkRows = 0, edgeInk = 0;
            for (int py = y + 12; py < y + h - 20; py++) {
                int rowInk = 0;
                for (int px = x + 1; px < x + w - 1; px++) {
                    uint8_t r, g, b;
                    VideoReadPixel(px, py, &r, &g, &b);
                    int ink = r > 200 && g > 200 && b > 200;
                    rowInk += ink;
                    if (ink && (px < x + 8 || px >= x + w - 9)) edgeInk++;
                }
                inkRows += rowInk > 0;
            }
            EXPECT_EQ(edgeInk, 0) << c.text << ": text in the margins";
            EXPECT_GE(inkRows, 6 * c.lines) << c.text;
            TapKey(KEY_RETURN);
            EXPECT_FALSE(WinIsWindow(box));
        }
        // A title wider than its text widens the box too.
        const char* title = "A title much longer than the text of its box";
        int w, h;
        MsgBoxSize(title, "x", screenW, &w, &h);
        EXPECT_EQ(w, TextWidth(title) + 16);
        EXPECT_EQ(h, 50);
        AppShutdown();
        PlatShutdown();
        AppResetSettings();
        AppSetRunState(RUN_START_LAUNCHER);
    }
}

