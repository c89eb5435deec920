#include <gtest/gtest.h>

#include <cfenv>
#include <cstdio>
#include <string>

#include "base/bytes.h"
#include "base/res.h"
#include "frontend/editor.h"
#include "frontend/frontend.h"
#include "frontend/grab.h"
#include "frontend/progress.h"
#include "frontend/run.h"
#include "kernel/app.h"
#include "kernel/kernel.h"
#include "materials/matm.h"
#include "materials/mattest.h"
#include "palette/bmp.h"
#include "platform/platform.h"
#include "render/draw3d.h"
#include "shapes/mesh.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "support/testutil.h"
#include "toolkit/slots.h"
#include "toolkit/win.h"

TEST_F(Run, TheLauncherComesFirstAndQLeaves)
{
    Start();
    TurnUntil(RUN_LAUNCHER);
    EXPECT_EQ(VideoModeWidth(), 320);
    EXPECT_EQ(VideoModeHeight(), 200);
    EXPECT_EQ(VideoBitsPerPixel(), 16);
    EXPECT_EQ(VideoColourTable()[255], 0x00FCFCFCu) << "the interface palette is loaded";
    InputQueueKey(KEY_Q, 1);
    EXPECT_EQ(AppLoopTurn(), 1);
}

TEST_F(Run, EditorStartSetsTheChosenMode)
{
    AppParseCommandLine("tolbex /debug");
    Start();
    TurnUntil(RUN_LAUNCHER);
    ClickAt(50 + 80 + 30, 50 + 60 + 5);    // 640x400
    ClickAt(50 + 20 + 80, 50 + 73 + 5);    // Software Render
    ClickAt(50 + 70 + 45, 50 + 35 + 5);    // World Editor
    EXPECT_EQ(AppConfig()->editorMode, EDITOR_WORLD);
    TurnUntil(RUN_EDITOR);
    EXPECT_EQ(AppConfig()->resolution, RESOLUTION_640);
    EXPECT_EQ(AppConfig()->softwareRender, 1);
    EXPECT_EQ(VideoModeWidth(), 640);
    EXPECT_EQ(VideoModeHeight(), 400);
    EXPECT_EQ(VideoBitsPerPixel(), 32) << "32 bits are tried first";
    EXPECT_EQ(VideoModeType(), VIDEO_WINDOWED_SOFTWARE);
    EXPECT_EQ(KernelConfirmClose(), 1);
    EXPECT_EQ(fegetround(), FE_TONEAREST) << "the libraries keep the rounding they expect";

    EditorRequest(REQUEST_REDRAW);
    EditorRequest(REQUEST_RESERVED);
    EXPECT_TRUE(EditorRequestPending(REQUEST_REDRAW));
    ASSERT_EQ(AppLoopTurn(), 0);
    EXPECT_FALSE(EditorRequestPending(REQUEST_REDRAW));
    EXPECT_FALSE(EditorRequestPending(REQUEST_RESERVED));
}

static void StartWithResolution(int resolution)
{
    AppSetEditorMode(EDITOR_SHAPE);
    for (int i = 0; i < 20 && AppRunState() != RUN_START_EDITOR; i++) AppLoopTurn();
    // The launcher always leaves 1 or 2; anything else reaching the editor start is a fault.
    AppSetResolution(resolution);
    AppLoopTurn();
}

TEST_F(Run, EditorStartReadsThePaletteAndMaterialsFiles)
{
    // A PAL file whose colour 5 is pure red, and a MAT file with the Dummy and one material.
    Bytes pal;
    AppendU16(pal, 0);
    AppendU16(pal, 8);
    for (int i = 0; i < 248 * 3; i++) pal.push_back(i == 15 ? 63 : 0);
    WriteBytes("work.pal", pal);
    WriteBytes("WORK.MAT", MatFile({{"Dummy"}, {"Brick"}}, 1));
    WriteText("tolbex.ini", "palsupport=1\npalette=work.pal\nmaterials=work.mat\n");
    Start();
    TurnUntil(RUN_LAUNCHER);
    ClickAt(50 + 70 + 45, 50 + 20 + 5);    // Shape Editor
    TurnUntil(RUN_EDITOR);
    EXPECT_EQ(VideoColourTable()[5], 0x00FC0000u);
    EXPECT_EQ(MatMCount(), 2);
    EXPECT_EQ(MatMFind("BRICK"), 1);
    EXPECT_EQ(MatMTexturesDirty(), 1);
}

// The edited object's slot draws the edit buffer, or the prepared shape it is given instead.
TEST_F(Run, TheObjectSlotDrawsTheEditBufferOrItsOwnShape)
{
    StartEditor(EDITOR_SHAPE);
    SlotId object = SlotsNext(SLOTS_CAMERA, 0);
    ASSERT_EQ(SlotsShape(object), SLOTS_SHAPE_CURRENT);
    ASSERT_EQ(MeshCreateSphere(1000, 1000, 1000, 0), 0);
    auto drawn = [](int32_t cameraZ) {
        SlotsSetPosition(SLOTS_CAMERA, 0, 0, cameraZ);
        EXPECT_TRUE(VideoBeginUpdate(1));
        Draw3DStartDraw(0, 0, 640, 400);
        SlotsDrawPass();
        int n = Draw3DStats()->polygons;
        Draw3DDisplay();
        VideoEndUpdate();
        return n;
    };
    int front = drawn(-5000);
    EXPECT_GT(front, 20) << "the sphere's near half";
    EXPECT_EQ(drawn(5000), 0) << "behind the camera";
    ASSERT_EQ(ShapeMSave("ball.shp"), 0);
    ResId ball = ResFindOrAdd("ball.shp");
    ASSERT_EQ(ResLoad(ball), 0);
    ShapeMNew();
    EXPECT_EQ(drawn(-5000), 0) << "an empty edit buffer";
    SlotsSetShape(object, ball);
    EXPECT_EQ(drawn(-5000), front) << "the same sphere, prepared";
}

TEST_F(Run, BadEditorChoicesAreFatal)
{
    Start();
    TurnUntil(RUN_LAUNCHER);
    EXPECT_EXIT(StartWithResolution(7), testing::ExitedWithCode(1), "Invalid display mode.");
    EXPECT_EXIT(
        {
            AppSetEditorMode(3);
            TurnUntil(RUN_EDITOR);
        },
        testing::ExitedWithCode(1), "Invalid startup mode.");
}

static int GreenProc(WinId, WinId, int message, WinParam* p1, WinParam*)
{
    if (message != WM_DRAWFRAME) return 1;
    VideoClear(249);
    *p1 = 0xFFFF;
    return 0;
}

TEST_F(Run, ScreenGrabTakesTheNextFreeName)
{
    StartEditor(EDITOR_SHAPE);
    // A green window in the corner of the editor's desktop.
    WinCreateClass(0x7100, 0, 0, GreenProc);
    ASSERT_NE(WinCreate(0, 0, 10, 10, WIN_DESKTOP, 0, 0x7100), 0);

    AltG();
    ASSERT_TRUE(PathExists("grab0000.bmp"));
    Bytes b = ReadBytes("grab0000.bmp");
    int w, h;
    ASSERT_EQ(BmpCheckLength(b.data(), b.size(), &w, &h), 1);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    EXPECT_EQ(b.size(), BmpFileSize(800, 600));
    // The file's last row is the screen's first: its first pixel is green, its eleventh not.
    size_t top = b.size() - BmpRowBytes(800);
    EXPECT_EQ(b[top + 0], 0);      // blue
    EXPECT_EQ(b[top + 1], 252);    // green
    EXPECT_EQ(b[top + 2], 0);      // red
    EXPECT_NE(b[top + 31], 0) << "the view window beside it";
    EXPECT_NE(b[top + 32], 252);
    EXPECT_EQ(b[54 + 1], 0) << "the bottom row is the black desktop";

    AltG();
    EXPECT_TRUE(PathExists("grab0001.bmp"));
    // G alone grabs nothing.
    InputQueueKey(KEY_G, 1);
    ASSERT_EQ(AppLoopTurn(), 0);
    InputQueueKey(KEY_G, 0);
    EXPECT_FALSE(PathExists("grab0002.bmp"));
    WriteText("GRAB0002.BMP", "taken");
    AltG();
    EXPECT_TRUE(PathExists("grab0003.bmp"));
    EXPECT_EQ(ReadText("GRAB0002.BMP"), "taken");
}

TEST_F(Run, GrabRefusesWhenEveryNameIsTaken)
{
    char name[16] = "grab9998.bmp";
    EXPECT_EQ(GrabNextName(name), 0);
    EXPECT_STREQ(name, "grab9999.bmp");
    EXPECT_EQ(GrabNextName(name), 1);
    EXPECT_STREQ(name, "grab0000.bmp");
    char other[16] = "a1b9.bmp";
    EXPECT_EQ(GrabNextName(other), 0);
    EXPECT_STREQ(other, "a2b0.bmp");

    Start();
    TurnUntil(RUN_LAUNCHER);
    for (int i = 0; i < 10000; i++) {
        char n[16];
        snprintf(n, sizeof n, "grab%04d.bmp", i);
        FILE* f = fopen(n, "w");
        ASSERT_NE(f, nullptr);
        fclose(f);
    }
    EXPECT_EQ(GrabScreen(nullptr, 0), 1);
    EXPECT_EQ(ReadBytes("grab0000.bmp").size(), 0u) << "the first grab is not overwritten";
    remove("grab0500.bmp");
    char used[16];
    ASSERT_EQ(GrabScreen(used, sizeof used), 0);
    EXPECT_STREQ(used, "grab0500.bmp");
}

// A confirmed close ends in the answer's turn: no frame after it, the window first, no waiting.
static int presentsSeen, windowAtRemoval = -1;
static void CountPresent(void) { presentsSeen++; }
static void NoteWindowAtRemoval(void) { windowAtRemoval = PlatWindowOpen(); }

TEST_F(Run, AConfirmedCloseEndsInItsOwnTurnAndTakesTheWindowFirst)
{
    StartEditor(EDITOR_SHAPE);
    ASSERT_EQ(KernelConfirmClose(), 1);
    ASSERT_EQ(PlatWindowOpen(), 1);
    VideoAddHook(VIDEO_HOOK_AFTER_UNLOCK, CountPresent);
    // Registered last, taken down first: it sees what the removal of the managers finds.
    RegisterExit(NoteWindowAtRemoval);
    ASSERT_EQ(AppLoopTurn(), 0);
    ASSERT_GT(presentsSeen, 0);
    int presents = presentsSeen;
    // The close button; the question takes the headless default answer, Yes.
    PlatRequestClose();
    EXPECT_EQ(AppLoopTurn(), 1) << "the turn of the answer is the last";
    EXPECT_EQ(presentsSeen, presents) << "no frame drawn for a window about to go";
    uint32_t at = TimerMs();
    AppShutdown();
    EXPECT_EQ(windowAtRemoval, 0) << "the window went before the managers were taken down";
    EXPECT_EQ(PlatWindowOpen(), 0);
    EXPECT_EQ(TimerMs(), at) << "nothing was waited for";
    EXPECT_FALSE(KernelIsInstalled());
}
