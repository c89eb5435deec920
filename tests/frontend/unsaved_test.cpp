// Unsaved work: the mark, the questions answered in the editor's own box when no native one can be
// shown, and the history's bound from the settings.
#include <gtest/gtest.h>

#include <string>

#include "base/history.h"
#include "base/log.h"
#include "frontend/editor.h"
#include "frontend/filesel.h"
#include "frontend/msgbox.h"
#include "frontend/panels.h"
#include "frontend/run.h"
#include "frontend/unsaved.h"
#include "materials/matm.h"
#include "panels/matpanel.h"
#include "palette/palm.h"
#include "shapes/mesh.h"
#include "shapes/shapem_edit.h"
#include "support/testutil.h"
#include "toolkit/controls.h"
#include "toolkit/win.h"
#include "world/wle.h"
#include "world/worldm.h"

namespace {

class Unsaved : public Run {
protected:
    // The box's button pressed; the loop turn that follows may end the run (1).
    static int Press(WinId box, const char* label)
    {
        WinId button = ButtonOf(box, label);
        EXPECT_NE(button, 0) << label;
        int x = 0, y = 0, rx, ry, w, h;
        WinGetAbsPos(button, &x, &y);
        WinGetRect(button, &rx, &ry, &w, &h);
        MoveTo(x + w / 2, y + h / 2);
        InputMessageHook(nullptr, NM_LBUTTONDOWN, 0, 0);
        int a = AppLoopTurn();
        InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0);
        return a | AppLoopTurn();
    }
    static WinId Box() { return WinFindClass(CLASS_MESSAGEBOX); }
    static std::string BoxText() { return Box() ? MsgBoxText(Box()) : "<none>"; }
    static void Edit() { MeshMirror(MESH_X); }
    // The Object panel open, BALL.SHP loaded through its "Load".
    static WinId LoadBall()
    {
        WinId panel = OpenPanel("Object", CLASS_OBJECT_PANEL);
        EXPECT_NE(panel, 0);
        ClickWindow(ButtonOf(panel, "Load"));
        WriteBytes("BALL.SHP", BuildBall());
        ChooseInSelector("BALL.SHP");
        return panel;
    }
    static Bytes BuildBall()
    {
        RunResult r = RunProgram(TOLBEX_CLI_BIN, {"shape", "sphere", "100", "200", "300", "made.shp"}, ".");
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return ReadBytes("made.shp");
    }
};

}  // namespace

TEST_F(Unsaved, WithoutANativeBoxTheCloseIsAskedInTheEditorsOwnBox)
{
    StartEditor(EDITOR_SHAPE);
    PlatHeadlessSetNativeBoxesFail(1);
    PlatRequestClose();
    Turns(1);
    ASSERT_EQ(BoxText(), "Are you sure you meant to press that button?");
    EXPECT_FALSE(KernelQuit()) << "no answer yet";
    EXPECT_EQ(Press(Box(), "Cancel"), 0);
    EXPECT_EQ(Box(), 0);
    EXPECT_FALSE(KernelQuit());
    PlatRequestClose();
    Turns(1);
    EXPECT_EQ(Press(Box(), "No"), 0);
    EXPECT_FALSE(KernelQuit());
    PlatRequestClose();
    Turns(1);
    EXPECT_EQ(Press(Box(), "Yes"), 1) << "Yes closes";
    EXPECT_TRUE(KernelQuit());
}

TEST_F(Unsaved, TheOwnBoxAsksAboutUnsavedWorkAndYesSavesFirst)
{
    StartEditor(EDITOR_SHAPE);
    WinId panel = LoadBall();
    Turns(1);
    EXPECT_STREQ(WinGetTitle(EditorView()), "BALL.SHP");
    EXPECT_FALSE(UnsavedChanged());
    Edit();
    Turns(1);
    EXPECT_TRUE(UnsavedChanged());
    EXPECT_STREQ(WinGetTitle(EditorView()), "BALL.SHP *");
    // Undo back to the loaded state: nothing unsaved; Redo: the mark again.
    EditorUndo();
    EXPECT_FALSE(UnsavedChanged());
    EditorRedo();
    EXPECT_TRUE(UnsavedChanged());

    PlatHeadlessSetNativeBoxesFail(1);
    // New: Cancel keeps the work, No throws it away.
    ClickWindow(ButtonOf(panel, "New"));
    ASSERT_EQ(BoxText(), "Save changes to BALL.SHP?");
    Press(Box(), "Cancel");
    EXPECT_EQ(ShapeVertexCount(ShapeMEdit()->data), 42);
    EXPECT_TRUE(UnsavedChanged());

    // Close: Yes saves under the name, then the window closes.
    Bytes before = ReadBytes("BALL.SHP");
    PlatRequestClose();
    Turns(1);
    ASSERT_EQ(BoxText(), "Save changes to BALL.SHP?");
    EXPECT_EQ(Press(Box(), "Yes"), 1);
    EXPECT_TRUE(KernelQuit());
    EXPECT_NE(ReadBytes("BALL.SHP"), before) << "the mirrored shape was saved";
    EXPECT_EQ(ReadBytes("BALL.~HP"), before) << "with the old file as its backup";
    EXPECT_FALSE(UnsavedChanged());
}

TEST_F(Unsaved, NoGoesOnAndAFailedSaveStops)
{
    StartEditor(EDITOR_SHAPE);
    WinId panel = LoadBall();
    Edit();
    PlatHeadlessSetNativeBoxesFail(1);
    ClickWindow(ButtonOf(panel, "New"));
    Press(Box(), "No");
    EXPECT_EQ(ShapeVertexCount(ShapeMEdit()->data), 0) << "No: New went on";
    EXPECT_FALSE(UnsavedChanged()) << "an empty new shape is nothing to ask about";
    EXPECT_STREQ(WinGetTitle(EditorView()), "UNTITLED.SHP");
    EXPECT_EQ(HistoryUndoCount(ShapeMHistory()), 3) << "load, mirror and New are steps";

    // Undo brings the work back under its own name, unsaved; a save that fails under Yes (the
    // file became one of another kind meanwhile) stops Load. (Yes without a name: the e2e
    // shortcut test.)
    EditorUndo();
    EXPECT_EQ(ShapeVertexCount(ShapeMEdit()->data), 42);
    EXPECT_TRUE(UnsavedChanged());
    Turns(1);
    EXPECT_STREQ(WinGetTitle(EditorView()), "BALL.SHP *");
    WriteText("BALL.SHP", "not a shape at all, and not to be written over");
    ClickWindow(ButtonOf(panel, "Load"));
    ASSERT_EQ(BoxText(), "Save changes to BALL.SHP?");
    Press(Box(), "Yes");
    Turns(2);
    EXPECT_EQ(ReadText("BALL.SHP"), "not a shape at all, and not to be written over");
    while (Box()) Press(Box(), "Ok");
    Turns(2);
    EXPECT_EQ(FileSelWindow(), 0) << "no Load selector after a failed save";
    EXPECT_TRUE(UnsavedChanged());
}

TEST_F(Unsaved, TheHistoryTakesItsBoundFromTheSettings)
{
    WriteText("tolbex.ini", "undomemory=1\n");
    StartEditor(EDITOR_WORLD);
    EXPECT_EQ(HistoryMaxBytes(ShapeMHistory()), (size_t)1 << 20);
    EXPECT_EQ(HistoryMaxBytes(WorldMHistory()), (size_t)1 << 20);
    EXPECT_EQ(HistoryMaxSteps(WorldMHistory()), 64);
    // A world of 3,000 nodes (168,168 bytes): 1 MiB holds six of its steps, not seven.
    for (int i = 0; i < 3000; i++) ASSERT_GT(WorldMAppendPacket(WP_NODE, WP_NODE_SIZE), 0);
    ASSERT_EQ(WorldMUsed(), 168168u);
    for (int i = 0; i < 10; i++) WorldMSetCellsX((uint32_t)i + 10);
    EXPECT_EQ(HistoryUndoCount(WorldMHistory()), 6);
    EXPECT_EQ(HistoryBytes(WorldMHistory()), 6u * 168168u);
    for (int i = 0; i < 10; i++) EditorUndo();
    EXPECT_EQ(WorldMCellsX(), 13u) << "the oldest steps went first";
}

TEST_F(Unsaved, ACloseAsksAboutEachDocumentInTurnAndCancelOnAnyStopsIt)
{
    // Shape: No; materials: Cancel. Then shape: No; materials: Yes; palette: No.
    StartEditor(EDITOR_SHAPE, "answer no\nanswer cancel\nanswer no\nanswer yes\nanswer no\n");
    LogOpen("log.txt");
    ASSERT_TRUE(PalMIsInstalled());
    ShapeMSaveUndo();
    ShapeAppendVertex(ShapeMEdit(), 1, 2, 3);
    MatPanelSetFileName("MATS.MAT");
    MatMAdd(MatMCount());
    EXPECT_TRUE(MatMChanged());
    PalMSetColour(3, 10, 20, 30);
    EXPECT_TRUE(PalMChanged());
    PlatRequestClose();
    Turns(1);
    EXPECT_FALSE(KernelQuit()) << "Cancel on the materials stopped the close";
    std::string log = ReadText("log.txt");
    size_t shape = log.find("MSGBOX \"Warning\" \"Save changes to UNTITLED.SHP?\"");
    size_t mats = log.find("MSGBOX \"Warning\" \"Save changes to MATS.MAT?\"");
    ASSERT_NE(shape, std::string::npos) << log;
    ASSERT_NE(mats, std::string::npos) << log;
    EXPECT_LT(shape, mats) << "the shape first";
    EXPECT_EQ(log.find("Save changes to the palette?"), std::string::npos) << "nothing after Cancel";

    PlatRequestClose();
    EXPECT_EQ(AppLoopTurn(), 1) << "No on the last question closes";
    log = ReadText("log.txt");
    EXPECT_NE(log.find("Save changes to the palette?"), std::string::npos) << log;
    EXPECT_EQ(Count(log, "Save changes to MATS.MAT?"), 2u);
    EXPECT_TRUE(PathExists("MATS.MAT")) << "Yes saved the materials under their file";
    EXPECT_FALSE(MatMChanged());
    EXPECT_TRUE(KernelQuit());
}

TEST_F(Unsaved, MaterialsAndPaletteKnowTheirSavedState)
{
    StartEditor(EDITOR_SHAPE);
    EXPECT_FALSE(MatMChanged());
    EXPECT_FALSE(PalMChanged());
    MatMAdd(MatMCount());
    EXPECT_TRUE(MatMChanged());
    ASSERT_EQ(MatMSave("A.MAT"), 0);
    EXPECT_FALSE(MatMChanged()) << "a save marks the list";
    MatMSetRed(1, 99);
    EXPECT_TRUE(MatMChanged());
    ASSERT_EQ(MatMLoad("A.MAT"), 0);
    EXPECT_FALSE(MatMChanged()) << "so does a load";
    EXPECT_NE(MatMLoad("NONE.MAT"), 0);
    EXPECT_FALSE(MatMChanged());

    int r, g, b;
    PalMGetColour(5, &r, &g, &b);
    PalMSetColour(5, r ^ 1, g, b);
    EXPECT_TRUE(PalMChanged());
    ASSERT_EQ(PalMSave("A.PAL"), 0);
    EXPECT_FALSE(PalMChanged());
    PalMSetColour(5, r, g, b);
    ASSERT_EQ(PalMLoad("A.PAL"), 0);
    EXPECT_FALSE(PalMChanged());
}

TEST_F(Unsaved, YesOnListsWithoutAFileOpensTheirPanelAndStops)
{
    StartEditor(EDITOR_SHAPE, "answer yes\n");
    MatMAdd(MatMCount());
    ASSERT_FALSE(MatPanelHasFile());
    PlatRequestClose();
    Turns(2);
    EXPECT_FALSE(KernelQuit()) << "nothing was saved";
    EXPECT_NE(WinFindClass(CLASS_MATERIALS_PANEL), 0) << "the panel whose Save it takes";
    EXPECT_TRUE(MatMChanged());
}
