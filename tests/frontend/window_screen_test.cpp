// The "Window" screen in process: layout at any size, live resize, the UI scale's keys, refusals.
#include <gtest/gtest.h>

#include <string>

#include "base/history.h"
#include "frontend/editor.h"
#include "frontend/frontend.h"
#include "frontend/layout.h"
#include "frontend/menubar.h"
#include "frontend/panels.h"
#include "frontend/run.h"
#include "frontend/view.h"
#include "kernel/app.h"
#include "platform/platform.h"
#include "platform/screen.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "support/testutil.h"
#include "toolkit/controls.h"
#include "toolkit/win.h"

namespace {

// The command line's screen options, as AppMain hands them on; the reason when refused.
std::string Options(std::vector<std::string> words)
{
    words.insert(words.begin(), "tolbex");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    char why[200] = "";
    if (AppParseScreenOptions((int)argv.size(), argv.data(), why, sizeof why) == 0) return "";
    return why;
}

struct Rect {
    int x, y, w, h;
    bool operator==(const Rect&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Rect& r) { return o << r.x << "," << r.y << " " << r.w << "x" << r.h; }

Rect RectOf(WinId w)
{
    Rect r{};
    WinGetRect(w, &r.x, &r.y, &r.w, &r.h);
    return r;
}

class WindowScreen : public Run {
protected:
    char text[40] = "";
    // A dialog of the test's own with one field, as the editor's dialogs are made.
    WinId MakeFieldDialog(int x, int y, WinId* field)
    {
        WinId dialog = WinCreate(x, y, 120, 40, WIN_DESKTOP, FRAME_BORDER | FRAME_TITLE | FRAME_DRAG, CLASS_FRAME);
        *field = WinCreate(10, 15, 80, 11, dialog, EDIT_ASCII, CLASS_EDIT);
        WinParam buffer = (WinParam)text, limit = sizeof text - 1;
        WinSendMessage(*field, WM_EDITSETBUFFER, &buffer, &limit);
        Turns(1);
        return dialog;
    }
    void StartAt(const std::vector<std::string>& options, int mode = EDITOR_SHAPE)
    {
        ASSERT_EQ(Options(options), "");
        StartEditor(mode);
    }
    static void CtrlKey(int key)
    {
        InputQueueKey(KEY_LCONTROL, 1);
        TapKey(key);
        InputQueueKey(KEY_LCONTROL, 0);
        Turns(1);
    }
};

}   // namespace

// The view above the panel row, bar and panel on it from the bottom-left, a dialog centred.
TEST_F(WindowScreen, ViewsFillTheAreaAboveThePanelRow)
{
    struct {
        const char* size;
        int w, h, mode;
    } cases[] = {{"1024x768", 1024, 768, EDITOR_SHAPE}, {"1920x1080", 1920, 1080, EDITOR_WORLD}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        StartAt({"--screen", c.size, "--uiscale", "2"}, c.mode);
        EXPECT_EQ(AppConfig()->resolution, RESOLUTION_WINDOW);
        EXPECT_EQ(VideoModeWidth(), c.w);
        EXPECT_EQ(VideoModeHeight(), c.h);
        EXPECT_EQ(RectOf(EditorView()), (Rect{0, 0, c.w - 1, c.h - 50}));
        EXPECT_EQ(RectOf(EditorMenuBar()), (Rect{320, c.h - 50, 320, 49}));
        WinId panel = MenuBarOpenPanel(EditorMenuBar());
        ASSERT_NE(panel, 0);
        EXPECT_EQ(RectOf(panel), (Rect{0, c.h - 50, 320, 49}));
        WinId v = ButtonOf(EditorView(), "V"), s = ButtonOf(EditorView(), "S");
        EXPECT_EQ(RectOf(v).x, c.w - 1 - 15);
        EXPECT_EQ(RectOf(s).x, c.w - 1 - 30);

        nlohmann::json d = DumpJson();
        EXPECT_EQ(d["screen"]["width"], c.w);
        EXPECT_EQ(d["screen"]["height"], c.h);
        EXPECT_EQ(d["screen"]["scale"], 2);

        // The View Setup panel: a dialog, centred on the screen.
        ClickWindow(v);
        WinId setup = WinFindClass(CLASS_VIEW_SETUP);
        ASSERT_NE(setup, 0);
        Rect r = RectOf(setup);
        EXPECT_EQ(r.x, (c.w - r.w) / 2);
        EXPECT_EQ(r.y, (c.h - r.h) / 2);
        TearDown();
    }
}

// At 800 x 600 every window keeps the place it always had.
TEST_F(WindowScreen, TheFixedScreensKeepTheirPlaces)
{
    StartAt({"--screen", "800x600"});
    EXPECT_EQ(RectOf(EditorView()), (Rect{0, 0, 799, 550}));
    EXPECT_EQ(RectOf(EditorMenuBar()), (Rect{320, 550, 320, 49}));
    int x = 80, y = 30;
    LayoutPlaceDialog(800, 600, &x, &y, 200, 300);
    EXPECT_EQ(x, 80);
    EXPECT_EQ(y, 30);
    LayoutPlaceDialog(801, 600, &x, &y, 200, 300);
    EXPECT_EQ(x, 300) << "one column more is the Window screen: centred";
    EXPECT_EQ(y, 150);
    EXPECT_EQ(LayoutView(640, 400).height, 349);
    EXPECT_EQ(LayoutFocalWidth(640), 640);
    EXPECT_EQ(LayoutFocalWidth(1920), 800);
}

// A resize mid-edit keeps the work, camera and a half-typed field; a moved dialog stays, clamped.
TEST_F(WindowScreen, AResizeMidEditKeepsTheWork)
{
    StartAt({"--screen", "window", "--uiscale", "1"});
    int w0 = VideoModeWidth(), h0 = VideoModeHeight();
    EXPECT_GT(w0, 1024) << "the window filled the desktop";
    ASSERT_EQ(MeshCreateSphere(1000, 2000, 3000, 0), 0);
    MeshMirror(MESH_X);
    MeshSelectVertex(3, 1);
    MeshSelectVertex(5, 1);
    const int vertices = ShapeVertexCount(ShapeMEdit()->data);
    const int undo = HistoryUndoCount(ShapeMHistory());
    ASSERT_GT(undo, 0);
    ViewInfo camera{};
    ASSERT_TRUE(ViewDescribe(EditorView(), &camera));
    camera.distance = 12345;
    camera.centre[0] = 777;
    camera.orientation[1] = 99;
    ASSERT_TRUE(ViewPlace(EditorView(), &camera));
    ASSERT_TRUE(ViewDescribe(EditorView(), &camera));
    ASSERT_EQ(camera.centre[0], 777);

    WinId panel = MenuBarOpenPanel(EditorMenuBar());
    ASSERT_NE(panel, 0);
    // A field half typed in a dialog the user moved to the far bottom-right.
    WinId field;
    WinId dialog = MakeFieldDialog(100, 100, &field);
    WinSetPos(dialog, w0 - 120 - 10, h0 - 40 - 100);
    ClickWindow(field);
    ASSERT_EQ(WinFocus(), field);
    TapKey(KEY_Q);
    TapKey(KEY_Z);
    ASSERT_STREQ(text, "qz");
    WinId setup = dialog;
    Rect s = RectOf(setup);

    PlatHeadlessResize(1024, 768);
    Turns(2);
    EXPECT_EQ(VideoModeWidth(), 1024);
    EXPECT_EQ(VideoModeHeight(), 768);
    EXPECT_EQ(RectOf(EditorView()), (Rect{0, 0, 1023, 718}));
    EXPECT_EQ(RectOf(EditorMenuBar()), (Rect{320, 718, 320, 49}));
    EXPECT_EQ(RectOf(panel), (Rect{0, 718, 320, 49})) << "the panel keeps its place from the bottom-left";
    EXPECT_EQ(RectOf(setup), (Rect{1024 - s.w, 768 - s.h, s.w, s.h})) << "clamped into the screen";

    EXPECT_EQ(ShapeVertexCount(ShapeMEdit()->data), vertices);
    EXPECT_EQ(MeshSelectedVertexCount(), 2);
    EXPECT_EQ(HistoryUndoCount(ShapeMHistory()), undo);
    ViewInfo after{};
    ASSERT_TRUE(ViewDescribe(EditorView(), &after));
    EXPECT_EQ(after.distance, camera.distance);
    EXPECT_EQ(after.centre[0], 777);
    EXPECT_EQ(after.orientation[1], camera.orientation[1]);
    EXPECT_EQ(FieldText(field), "qz");
    EXPECT_EQ(WinFocus(), field) << "the field keeps the focus";

    // Larger again: the view grows, the dialog stays where it was put.
    Rect kept = RectOf(setup);
    PlatHeadlessResize(1600, 900);
    Turns(2);
    EXPECT_EQ(RectOf(EditorView()), (Rect{0, 0, 1599, 850}));
    EXPECT_EQ(RectOf(setup), kept);

    // The history is whole: undo still takes the mirror back.
    EditorUndo();
    EXPECT_EQ(HistoryUndoCount(ShapeMHistory()), undo - 1);
}

// Ctrl+= and Ctrl+-: not in a field, and only while the window holds 800 x 600.
TEST_F(WindowScreen, CtrlPlusAndMinusStepTheScaleWithinTheWindow)
{
    StartAt({"--screen", "window", "--uiscale", "1"});
    PlatHeadlessResize(2400, 1800);
    Turns(2);
    ASSERT_EQ(VideoModeWidth(), 2400);
    CtrlKey(KEY_EQUALS);
    EXPECT_EQ(ScreenUiScale(), 2);
    EXPECT_EQ(VideoModeWidth(), 1200);
    EXPECT_EQ(VideoModeHeight(), 900);
    CtrlKey(KEY_EQUALS);
    EXPECT_EQ(ScreenUiScale(), 3);
    EXPECT_EQ(VideoModeWidth(), 800);
    EXPECT_EQ(VideoModeHeight(), 600);
    CtrlKey(KEY_EQUALS);
    EXPECT_EQ(ScreenUiScale(), 3) << "2400 x 1800 holds 800 x 600 three times, not four";
    CtrlKey(KEY_MINUS);
    EXPECT_EQ(ScreenUiScale(), 2);
    EXPECT_EQ(VideoModeWidth(), 1200);

    // The keypad's plus with Ctrl is the views' fine zoom, never the scale.
    CtrlKey(KEY_ADD);
    EXPECT_EQ(ScreenUiScale(), 2);

    // A field with the focus takes the keys as its own.
    WinId field;
    MakeFieldDialog(100, 100, &field);
    ClickWindow(field);
    ASSERT_EQ(WinFocus(), field);
    CtrlKey(KEY_MINUS);
    EXPECT_EQ(ScreenUiScale(), 2);
    EXPECT_EQ(VideoModeWidth(), 1200);
}

// Refused values: a one-line reason on the command line; in tolbex.ini the default kept.
TEST_F(WindowScreen, BadScreenValuesAreRefusedAndTheDefaultKept)
{
    EXPECT_EQ(Options({"--screen", "10x10"}),
              "--screen takes 640x400, 800x600, window or WxH (at least 800x600, at most 8192x8192), not 10x10");
    EXPECT_EQ(Options({"--screen", "800x599"}).substr(0, 15), "--screen takes ");
    EXPECT_EQ(Options({"--screen", "Window"}), "");
    EXPECT_EQ(Options({"--uiscale", "9"}), "--uiscale takes a whole number from 1 to 4, not 9");
    EXPECT_EQ(Options({"--uiscale", "0"}).substr(0, 16), "--uiscale takes ");
    EXPECT_EQ(Options({"--uiscale"}), "--uiscale needs 1 to 4");
    AppResetSettings();

    WriteText("tolbex.ini", "uiscale=9\nscreen=1024x768\n");
    setenv("GDK_SCALE", "3", 1);
    Start();
    unsetenv("GDK_SCALE");
    TurnUntil(RUN_LAUNCHER);
    EXPECT_EQ(AppConfig()->uiScale, 0) << "uiscale=9 is refused: the scale is automatic";
    EXPECT_EQ(ScreenUiScale(), 3) << "from GDK_SCALE";
    EXPECT_EQ(AppConfig()->resolution, RESOLUTION_800) << "the ini takes no WxH: 800x600 stays";
    TearDown();

    WriteText("tolbex.ini", "uiscale=2\nscreen=window\n");
    Start();
    TurnUntil(RUN_LAUNCHER);
    EXPECT_EQ(ScreenUiScale(), 2);
    EXPECT_EQ(AppConfig()->resolution, RESOLUTION_WINDOW);
    TearDown();

    // The command line holds over the file.
    WriteText("tolbex.ini", "uiscale=2\nscreen=window\n");
    ASSERT_EQ(Options({"--screen", "640x400", "--uiscale", "4"}), "");
    Start();
    TurnUntil(RUN_LAUNCHER);
    EXPECT_EQ(ScreenUiScale(), 4);
    EXPECT_EQ(AppConfig()->resolution, RESOLUTION_640);
}

// The launcher offers the third screen and preselects what the settings say.
TEST_F(WindowScreen, TheLauncherOffersTheWindowScreen)
{
    WriteText("tolbex.ini", "screen=window\n");
    Start();
    TurnUntil(RUN_LAUNCHER);
    WinId launcher = WinFindClass(CLASS_LAUNCHER);
    ASSERT_NE(launcher, 0);
    WinId window = ButtonOf(launcher, "Window"), r800 = ButtonOf(launcher, "800x600");
    ASSERT_NE(window, 0);
    EXPECT_EQ(ControlState(window), 1);
    EXPECT_EQ(ControlState(r800), 0);
    ClickWindow(r800);
    EXPECT_EQ(ControlState(window), 0) << "one group";
    ClickWindow(window);
    ClickWindow(ButtonOf(launcher, "Shape Editor"));
    TurnUntil(RUN_EDITOR);
    EXPECT_EQ(AppConfig()->resolution, RESOLUTION_WINDOW);
    EXPECT_GE(VideoModeWidth(), 800);
    EXPECT_EQ(RectOf(EditorView()).w, VideoModeWidth() - 1);
}

// A change draws, and the turns after it; then nothing until input, a held key or a new signature.
TEST(IdleFrames, OnlyAChangeDraws)
{
    std::vector<int> drawn;
    auto turn = [&](int activity, int held, uint32_t signature) {
        drawn.push_back(FrontEndDrawDecision(activity, held, signature));
    };
    turn(0, 0, 11);   // a new signature: the first frame
    for (int i = 0; i < 4; i++) turn(0, 0, 11);
    EXPECT_EQ(drawn, (std::vector<int>{1, 1, 1, 0, 0})) << FRAMES_AFTER_CHANGE << " frames after a change";
    drawn.clear();
    turn(1, 0, 11);   // input
    turn(0, 0, 11);
    turn(0, 0, 11);
    turn(0, 0, 11);
    turn(0, 1, 11);   // a held key draws every turn it is held
    turn(0, 1, 11);
    turn(0, 0, 12);   // the caret blinked
    EXPECT_EQ(drawn, (std::vector<int>{1, 1, 1, 0, 1, 1, 1}));
}

// A fixed screen's window opens and steps at whole scales the 1920 x 1080 desktop holds.
TEST_F(WindowScreen, FixedScreensOpenAndStepTheirWindowsAtWholeScales)
{
    StartAt({"--screen", "640x400", "--uiscale", "4"});
    int w, h;
    PlatWindowPixels(&w, &h);
    EXPECT_EQ(w, 1280) << "4 times 640 x 400 does not fit: twice does";
    EXPECT_EQ(h, 800);
    EXPECT_EQ(VideoModeWidth(), 640) << "the screen itself stays";
    TearDown();

    StartAt({"--screen", "640x400", "--uiscale", "1"});
    PlatWindowPixels(&w, &h);
    EXPECT_EQ(w, 640);
    CtrlKey(KEY_EQUALS);
    EXPECT_EQ(ScreenUiScale(), 2);
    PlatWindowPixels(&w, &h);
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 800);
    CtrlKey(KEY_EQUALS);
    EXPECT_EQ(ScreenUiScale(), 2) << "1080 rows hold 400 twice, not three times";
    CtrlKey(KEY_MINUS);
    EXPECT_EQ(ScreenUiScale(), 1);
    PlatWindowPixels(&w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(VideoModeWidth(), 640);
    EXPECT_EQ(VideoModeHeight(), 400);
}
