#include "frontend/editor.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/bytes.h"
#include "base/history.h"
#include "base/ini.h"
#include "base/log.h"
#include "base/str.h"
#include "frontend/docnames.h"
#include "frontend/dump.h"
#include "frontend/editstate.h"
#include "frontend/filesel.h"
#include "frontend/frontend.h"
#include "frontend/grab.h"
#include "frontend/layout.h"
#include "frontend/menubar.h"
#include "frontend/msgbox.h"
#include "frontend/progress.h"
#include "frontend/recovery.h"
#include "frontend/unsaved.h"
#include "frontend/view.h"
#include "kernel/app.h"
#include "kernel/kernel.h"
#include "kernel/timing.h"
#include "materials/intmat.h"
#include "panels/matedit.h"
#include "materials/matm.h"
#include "panels/scenepanel.h"
#include "palette/image.h"
#include "palette/palm.h"
#include "panels/panels.h"
#include "platform/platform.h"
#include "platform/screen.h"
#include "render/draw3d.h"
#include "render/gldriver.h"
#include "render/pixpack.h"
#include "render/softdriver.h"
#include "render/zbuffer.h"
#include "scene/shapedraw.h"
#include "toolkit/controls.h"
#include "toolkit/panelhost.h"
#include "toolkit/slots.h"
#include "toolkit/win.h"

enum { MSGBOX_REPORT_MAX = 640 };   // the texture report: a few names and reasons

static struct {
    int requests[REQUEST_COUNT];
    SlotId objectSlot;
    WinId view, menuBar;
    const EditorPanels* panels[EDITOR_WORLD + 1];
    char materialsFile[PANELHOST_PATH_MAX];   // the settings' materials file, once it loaded
    uint32_t undoMegabytes;                   // each history's bound, from the settings
    std::string openWaiting;                  // a file from outside, opened at the next frame
    int followWindow;                         // the "Window" screen: the screen follows the window
    int64_t depthBytes;                       // the software Z-buffer's budget in force
} editor;

enum { UNDO_MEGABYTES_MAX = 4096 };

void EditorSetPanels(int editorMode, const EditorPanels* panels)
{
    if (editorMode == EDITOR_SHAPE || editorMode == EDITOR_WORLD) editor.panels[editorMode] = panels;
}

const EditorPanels* EditorPanelsFor(int editorMode)
{
    return editorMode == EDITOR_SHAPE || editorMode == EDITOR_WORLD ? editor.panels[editorMode] : nullptr;
}

const EditorPanels* EditorCurrentPanels(void) { return EditorPanelsFor(AppConfig()->editorMode); }

const char* EditorFileName(void)
{
    const EditorPanels* panels = EditorCurrentPanels();
    const char* name = panels && panels->fileName ? panels->fileName() : nullptr;
    return name ? name : "";
}

void EditorRequest(int request)
{
    if (request >= 0 && request < REQUEST_COUNT) editor.requests[request] = 1;
}

int EditorRequestPending(int request) { return request >= 0 && request < REQUEST_COUNT && editor.requests[request]; }

// Textures are loaded for the first editor frame, and again whenever the materials changed.
static void ReloadTextures(void)
{
    if (Draw3DTexturesLoaded() && !MatMTexturesDirty()) return;
    MatMClearTexturesDirty();
    if (Draw3DTexturesLoaded()) Draw3DUnloadTextures();
    // What the editor keeps in the render table beside the list's: a reload rebuilt that table
    // from the list, so it is made again.
    const EditorPanels* panels = EditorCurrentPanels();
    if (panels && panels->texturesReloaded) panels->texturesReloaded();
    // Only a hardware renderer copies textures into texture memory, with a progress window.
    Draw3DLoadTextures(Draw3DCurrentDriver() == DRIVER_HARDWARE ? ProgressTextures : nullptr);
    // One box for every texture this load could not have, however often each was tried.
    char report[MSGBOX_REPORT_MAX];
    if (IntMatTakeTextureReport(report, sizeof report)) MsgBoxShow("File Error", report);
}

// The palette and material files the settings name, read again when an editor starts.
static void ReadEditorFiles(void)
{
    RecoverySetAutosaveMinutes(RECOVERY_AUTOSAVE_DEFAULT_MINUTES);
    editor.materialsFile[0] = 0;
    editor.undoMegabytes = HISTORY_MEGABYTES_DEFAULT;
    if (INIOpen(AppSettingsFile(), 50) != 0) return;
    const char* v;
    if ((v = INIGet(HISTORY_MEMORY_KEY))) {
        int32_t mb = 0;
        if (StrLen(v) <= 9 && StrToDec(v, &mb) == 0 && mb >= 1 && mb <= UNDO_MEGABYTES_MAX)
            editor.undoMegabytes = (uint32_t)mb;
        else
            LogPrintf(LOG_WARN, "UNDO: %s=%s is no number of MiB from 1 to %d; %d MiB", HISTORY_MEMORY_KEY, v,
                      UNDO_MEGABYTES_MAX, HISTORY_MEGABYTES_DEFAULT);
    }
    if ((v = INIGet(RECOVERY_AUTOSAVE_KEY))) {
        // A setting the user mistyped must not cost them the safety net: the default stays.
        uint32_t minutes = 0;
        if (RecoveryParseMinutes(v, &minutes) == 0)
            RecoverySetAutosaveMinutes(minutes);
        else
            LogPrintf(LOG_WARN, "RECOVERY: autosave=%s is no number of minutes; every %u min", v,
                      (unsigned)RECOVERY_AUTOSAVE_DEFAULT_MINUTES);
    }
    if ((v = INIGet("palette"))) {
        if (PalMLoad(v) != 0)
            LogPrintf(LOG_WARN, "PALETTE: %s could not be loaded", v);
        else if (AppConfig()->palSupport)
            PalMApply();
    }
    if ((v = INIGet("materials"))) {
        MatMSetTexturesDirty();
        if (MatMLoad(v) != 0) LogPrintf(LOG_WARN, "MATERIALS: %s could not be loaded", v);
        else StrLCopy(editor.materialsFile, v, sizeof editor.materialsFile);
    }
    INIClose(nullptr);
}

static int ObjectEvent(SlotId, int, SlotsParam*, SlotsParam*) { return 0; }

// The edited-object slot's drawing: the edit buffer while the slot's shape is the current
// one, else the slot's prepared shape, at the slot's place as the camera slot sees it.
static void DrawObject(SlotId slot)
{
    int32_t pos[3];
    SlotsCameraPos(slot, pos);
    int16_t m[9];
    memcpy(m, SlotsRelativeOrientation(slot), sizeof m);
    int32_t shape = SlotsShape(slot);
    if (shape == SLOTS_SHAPE_CURRENT)
        ShapeDrawEdit(pos, m, Draw3DDisplayFlags());
    else if (shape > 0 && shape <= 0xFFFF)
        ShapeDrawPrepared((ResId)shape, pos, m, Draw3DDisplayFlags());
}

// Whether the software Z-buffer draws the views: the launcher's toggle or the command line
// asked for it.
static int SoftwareChosen(void)
{
    return AppConfig()->softwareRender || AppConfig()->renderer == RENDERER_SOFTWARE;
}

// The views are drawn by the OpenGL renderer unless the software Z-buffer was chosen. When GL
// cannot be had, or only on the processor, the software Z-buffer takes over with a log line:
// the user's work matters more than the renderer. Only a user who asked for GL by name is
// stopped.
static void SelectRenderer(void)
{
    Draw3DRegisterDriver(DRIVER_PLACEHOLDER, SoftDriverPlaceholder());
    if (!SoftwareChosen()) {
        // By default only a hardware device will do: a GL that rasterises on the processor
        // draws slower than the software Z-buffer. Asked for by name, GL runs on any device.
        if (D3Activate(AppConfig()->renderer == RENDERER_HARDWARE ? 0 : 1, 1)) {
            Draw3DRegisterDriver(DRIVER_HARDWARE, GlDrvHardwareDriver());
            Draw3DSelectDriver(DRIVER_HARDWARE);
            LogPrintf(LOG_INFO, "RENDER: the views are drawn by %s", GlDrvHardwareDriver()->name);
            return;
        }
        if (AppConfig()->renderer == RENDERER_HARDWARE) {
            LogPrintf(LOG_ERROR, "RENDER: %s", GlDrvActivateError());
            FatalError("D3Activate has failed");
        }
        LogPrintf(LOG_WARN, "RENDER: no OpenGL renderer (%s); the software Z-buffer draws the views",
                  GlDrvActivateError());
    }
    if (ZBufferInstall(ZBUFFER_DEFAULT_BYTES) != 0)
        FatalError("ZBufferInstall failed - out of memory for requested buffer.");
    editor.depthBytes = ZBUFFER_DEFAULT_BYTES;
    Draw3DRegisterDriver(DRIVER_SOFTWARE, SoftDriverZBuffer());
    Draw3DSelectDriver(DRIVER_SOFTWARE);
    int threads = ZBufferSetThreads(AppConfig()->threads);
    LogPrintf(LOG_INFO, "RENDER: the views are drawn by %s on %d thread%s", SoftDriverZBuffer()->name, threads,
              threads == 1 ? "" : "s");
    // The warning answers the launcher's toggle; a command line that names the renderer, or
    // a fallback already logged, needs no box to click away.
    if (AppConfig()->softwareRender)
        PlatMessageBox("Warning!", "Using Software Renderer", MB_OK | MB_ICONEXCLAMATION);
}

// A screen of fixed size opens its window at the UI scale, or the largest whole scale below
// it that the desktop holds.
static void SizeWindowFor(int w, int h)
{
    int32_t desk[4];
    PlatDesktopRect(desk);
    int scale = ScreenWholeScale(desk[2] - desk[0], desk[3] - desk[1], w, h);
    if (scale > ScreenUiScale()) scale = ScreenUiScale();
    if (scale < 1) scale = 1;
    PlatSetWindowPixels(w * scale, h * scale);
}

// The logical screen the settings ask for: one of the two fixed screens, a fixed size, or
// the window (filling the desktop at first) divided by the UI scale.
static void EditorScreenSize(int* w, int* h)
{
    static const int sizes[3][2] = {{320, 200}, {640, 400}, {800, 600}};
    const AppSettings* set = AppConfig();
    editor.followWindow = 0;
    if (set->resolution == RESOLUTION_WINDOW && set->screenWidth > 0) {
        *w = set->screenWidth;
        *h = set->screenHeight;
    } else if (set->resolution == RESOLUTION_WINDOW) {
        editor.followWindow = 1;
        PlatSetWindowPixels(0, 0);
        int pw, ph;
        PlatWindowPixels(&pw, &ph);
        ScreenLogicalSize(pw, ph, ScreenUiScale(), w, h);
        return;
    } else {
        if (set->resolution < 0 || set->resolution > 2) FatalError("Invalid display mode.");
        *w = sizes[set->resolution][0];
        *h = sizes[set->resolution][1];
    }
    SizeWindowFor(*w, *h);
}

// The software Z-buffer holds the whole screen: its budget grows with the screen, never below
// the editor's own.
static void FitDepthBuffer(int w, int h)
{
    if (Draw3DCurrentDriver() != DRIVER_SOFTWARE) return;
    int64_t need = std::max<int64_t>(ZBUFFER_DEFAULT_BYTES, (int64_t)w * h * 4);
    if (need <= editor.depthBytes) return;
    if (ZBufferInstall(need) == 0) editor.depthBytes = need;
    else LogPrintf(LOG_WARN, "ZBUFFER: no %lld bytes of depth for a %dx%d screen", (long long)need, w, h);
}

static void SetEditorVideoMode(void)
{
    int w, h;
    EditorScreenSize(&w, &h);
    int type = SoftwareChosen() ? VIDEO_WINDOWED_SOFTWARE : VIDEO_WINDOWED_HARDWARE;
    if (VideoSetMode(w, h, VIDEO_32BIT, type) == 0) return;
    if (VideoSetMode(w, h, VIDEO_24BIT, type) == 0) return;
    if (VideoSetMode(w, h, VIDEO_16BIT, type) == 0) return;
    FatalError("Unable to set video mode.");
}

// The view fills the screen above the panel area; the menu bar stands right of the panel.
static void CreateEditorWindows(void)
{
    int mode = AppConfig()->editorMode;
    if (mode != EDITOR_SHAPE && mode != EDITOR_WORLD) FatalError("Invalid startup mode.");
    int w, h;
    VideoExtent(&w, &h);
    LayoutRect v = LayoutView(w, h), m = LayoutMenuBar(w, h);
    editor.view = WinCreate(v.x, v.y, v.width, v.height, WIN_DESKTOP, FRAME_BORDER | FRAME_TITLE, CLASS_VIEW);
    editor.menuBar = WinCreate(m.x, m.y, m.width, m.height, WIN_DESKTOP, FRAME_BORDER,
                               mode == EDITOR_SHAPE ? CLASS_SHAPE_MENU : CLASS_WORLD_MENU);
    WinParam title = (WinParam) "Vostrane Max", zero = 0;
    WinSendMessage(editor.menuBar, WM_SETTITLE, &title, &zero);
}

// The logical screen takes a new size while the editor runs: the mode is set again (the
// document, the selection, the history, the cameras and the fields live elsewhere and stay)
// and the windows are laid out anew.
static void ResizeScreen(int w, int h)
{
    int oldW = VideoModeWidth(), oldH = VideoModeHeight();
    if ((w == oldW && h == oldH) || VideoInUpdate()) return;
    int bpp = VideoBitsPerPixel();
    int code = bpp == 32 ? VIDEO_32BIT : bpp == 24 ? VIDEO_24BIT : bpp == 8 ? VIDEO_8BIT : VIDEO_16BIT;
    if (VideoSetMode(w, h, code, VideoModeType()) != 0) {
        LogPrintf(LOG_WARN, "SCREEN: no %dx%d screen; staying at %dx%d", w, h, oldW, oldH);
        return;
    }
    FitDepthBuffer(w, h);
    WinSetRect(WinDesktop(), 0, 0, w, h);
    LayoutRelay(oldW, oldH, w, h);
    LogPrintf(LOG_INFO, "SCREEN: %dx%d at scale %d", w, h, ScreenUiScale());
}

// The "Window" screen follows the window: its size divided by the UI scale.
static void FollowWindow(void)
{
    if (!editor.followWindow) return;
    int pw, ph, w, h;
    PlatWindowPixels(&pw, &ph);
    ScreenLogicalSize(pw, ph, ScreenUiScale(), &w, &h);
    ResizeScreen(w, h);
}

// Ctrl+= and Ctrl+-: one step of the UI scale, within what the window holds at 800 x 600
// (the "Window" screen) or what the desktop holds of the screen (the others, whose window
// then takes the new scale).
static void StepUiScale(int step)
{
    int scale = ScreenUiScale() + step;
    if (scale < SCREEN_SCALE_MIN || scale > SCREEN_SCALE_MAX) return;
    int pw, ph;
    if (editor.followWindow) PlatWindowPixels(&pw, &ph);
    else {
        int32_t desk[4];
        PlatDesktopRect(desk);
        pw = desk[2] - desk[0];
        ph = desk[3] - desk[1];
    }
    int base = editor.followWindow ? SCREEN_MIN_WIDTH : VideoModeWidth();
    int baseH = editor.followWindow ? SCREEN_MIN_HEIGHT : VideoModeHeight();
    if (step > 0 && ScreenWholeScale(pw, ph, base, baseH) < scale) return;
    ScreenSetUiScale(scale);
    if (editor.followWindow) FollowWindow();
    else SizeWindowFor(VideoModeWidth(), VideoModeHeight());
    EditNote("UI scale %d", scale);
}

// The palette changed: the display colours follow, and in palette mode every material takes
// its palette entry's colour again.
static void PaletteChanged(void)
{
    for (int i = 0; i < 256; i++) PixPackSetPaletteEntry(i);
    if (MatMTrueColour()) return;
    // The Dummy keeps its all-zero render form.
    for (int i = 1; i < MatMCount(); i++) MatMSetPalette(i, MatMGetPalette(i));
}

// What the palette and materials panels ask of the editor.
static const PanelHostFns kPanelHost = {
    .openFile = FileSelOpen,
    .saveFile = FileSelSave,
    .message = MsgBoxShow,
    .error = MsgBoxError,
    .toolMode = EditToolMode,
    .setTool = EditSetTool,
    .paletteChanged = PaletteChanged,
    .colourRange = EditSetColourRange,
};

void EditorStart(void)
{
    KernelSetConfirmClose(1);
    KernelSetCloseHandler(UnsavedClose);
    PanelHostSet(&kPanelHost);
    VideoRemove();
    VideoInstall();
    SetEditorVideoMode();
    VideoLoadInterfacePalette();
    WinInstall();
    if (Draw3DInstall(D3_POLYGONS) != 0) FatalError("Not enough memory for Draw3DInstall.");
    Draw3DSetup(LayoutFocalWidth(VideoModeWidth()), VideoModeHeight(), D3_NEAREST_Z, D3_VIEW_DISTANCE, D3SORT_NONE);
    Draw3DCheckFrames(AppConfig()->debug);
    MatMInstall();
    if (!AppConfig()->palSupport) MatMSetTrueColour();
    {
        const int* dummy = AppConfig()->dummyColour;
        IntMatSetDummyColour(dummy[0], dummy[1], dummy[2]);
    }
    // There is no separate hardware mode of the material manager to switch to: the render
    // materials keep their loaded texture copies, which the materials panel's swatch draws.
    ReadEditorFiles();

    for (int i = 0; i < 2; i++) {
        if (VideoBeginUpdate(1)) VideoEndUpdate();
    }
    SlotsInstall(4);
    const EditorPanels* panels = EditorCurrentPanels();
    if (panels && panels->install) panels->install((size_t)editor.undoMegabytes << 20);

    for (int i = 0; i < 2; i++) {
        if (!VideoBeginUpdate(1)) FatalError("Failed to set required screen mode");
        VideoClear(0);
        VideoEndUpdate();
    }
    SelectRenderer();
    FitDepthBuffer(VideoModeWidth(), VideoModeHeight());

    // The slot that carries the edited object: at the origin, answering every event with 0,
    // drawing the shape manager's current shape.
    static const int16_t identity[9] = {16384, 0, 0, 0, 16384, 0, 0, 0, 16384};
    editor.objectSlot = SlotsCreate(0, 0, 0, identity);
    SlotsSetEventFn(editor.objectSlot, ObjectEvent);
    SlotsSetDrawFn(editor.objectSlot, DrawObject);
    SlotsSetShape(editor.objectSlot, SLOTS_SHAPE_CURRENT);
    Draw3DDefaults();

    WinRegisterBaseClasses();
    ControlsRegisterClasses();
    MsgBoxRegisterClass();
    FileSelRegisterClass();
    ProgressRegisterClass();
    // "Palette" is offered with palette support, or when the user chose software rendering.
    MenuBarRegisterClasses(AppConfig()->palSupport || AppConfig()->softwareRender);
    ViewRegisterClasses();
    // The materials panel's Save offers the file the settings loaded the materials from.
    PanelsRegisterClasses(editor.materialsFile);
    for (int i = 0; i < kPanelTextsCount; i++) DumpRegisterTexts(kPanelTexts[i].classId, kPanelTexts[i].texts);
    for (const EditorPanels* panels : editor.panels)
        if (panels && panels->registerClasses) panels->registerClasses();
    PanelRegisterPlaceholders();

    // Fresh state before the windows are made: the first view takes the keypad, and the tool
    // that the menu bar's first panel chooses at once must stay.
    EditStateReset();
    LayoutForgetWindows();
    CreateEditorWindows();
    // What the editor starts with is nothing to ask about (the settings' materials and palette
    // as loaded, the list's colour mode set); a recovered work is.
    UnsavedMarkClean();
    MatMMarkClean();
    PalMMarkClean();
    DocNamesReset();
    // The work of a run that ended without saving it, offered once the editor can show it.
    RecoveryStart(AppConfig()->editorMode);
    TimingReset();
}

static void RedrawFrame(void)
{
    if (VideoBeginUpdate(1)) {
        WinDrawAll();
        VideoEndUpdate();
    }
}

int EditorRunWithProgress(const char* title, int (*work)(ProgressFn), ProgressFn progress)
{
    uint32_t* variable = ProgressVariable();
    *variable = 0;
    WinId window = ProgressOpen(title, variable);
    int result = work(progress);
    if (WinIsWindow(window)) {
        if (WinModal() == window) WinSetModal(0);
        WinDestroy(window);
    }
    return result;
}

static void RunRequests(void)
{
    for (int r = 0; r < REQUEST_COUNT; r++) {
        if (!editor.requests[r]) continue;
        editor.requests[r] = 0;
        if (r == REQUEST_RESERVED) continue;
        RedrawFrame();
        for (const EditorPanels* panels : editor.panels)
            if (panels && panels->request) panels->request(r);
    }
}

// Files dropped on the window: a picture on an open Edit Material dialog becomes its texture;
// anything else goes to the running editor, which loads or imports it.
static void TakeDroppedFiles(void)
{
    char path[4096];
    while (PlatTakeDroppedFile(path, sizeof path)) {
        LogPrintf(LOG_INFO, "EDITOR: file dropped: %s", path);
        if (ImgIsPictureName(path) && MatEditDropPicture(path)) continue;
        EditorOpenFile(path);
    }
}

void EditorUndo(void)
{
    const EditorPanels* panels = EditorCurrentPanels();
    DocNamesObserve();
    if (panels && panels->undo) panels->undo();
    DocNamesAfterStep();
    // What the last pick named may have moved or gone.
    EditPickForget();
}

void EditorRedo(void)
{
    const EditorPanels* panels = EditorCurrentPanels();
    DocNamesObserve();
    if (panels && panels->redo) panels->redo();
    DocNamesAfterStep();
    EditPickForget();
}

void EditorShortcuts(void)
{
    if (WinModal()) return;
    WinId focus = WinFocus();
    if (focus && WinIsWindow(focus) && WinGetClass(focus) == CLASS_EDIT) return;
    int ctrl = KeyHeld(KEY_LCONTROL) || KeyHeld(KEY_RCONTROL);
    int shift = KeyHeld(KEY_LSHIFT) || KeyHeld(KEY_RSHIFT);
    const EditorPanels* panels = EditorCurrentPanels();
    auto command = [panels](int c) {
        if (panels && panels->command) panels->command(c);
    };
    // Only with Ctrl are these keys read here: without it they stay the focus window's. The
    // keypad's plus and minus are other keys: with Ctrl they zoom finely, as ever.
    if (ctrl) {
        if (KeyPressed(KEY_EQUALS)) StepUiScale(+1);
        if (KeyPressed(KEY_MINUS)) StepUiScale(-1);
        if (KeyPressed(KEY_Z)) shift ? EditorRedo() : EditorUndo();
        if (KeyPressed(KEY_Y)) EditorRedo();
        if (KeyPressed(KEY_S)) command(EDITOR_COMMAND_SAVE);
        if (KeyPressed(KEY_O)) command(EDITOR_COMMAND_OPEN);
        if (KeyPressed(KEY_N)) command(EDITOR_COMMAND_NEW);
    } else if (KeyPressed(KEY_DELETE)) {
        command(EDITOR_COMMAND_DELETE);
    }
}

// ============================================================================================
// Files from outside the editor
// ============================================================================================

// By the first bytes, which tell the formats apart whatever the name; the World Editor's
// table is asked first (its test is the stricter one).
int EditorFileKind(const char* path)
{
    uint8_t head[EDITOR_FILE_HEAD];
    if (FileReadAt(path, 0, head, sizeof head) != 0) return EDITOR_NONE;
    for (int kind : {EDITOR_WORLD, EDITOR_SHAPE}) {
        const EditorPanels* panels = editor.panels[kind];
        if (panels && panels->isDocument && panels->isDocument(head)) return kind;
    }
    return EDITOR_NONE;
}

// The largest file any editor takes.
static uint64_t LargestDocument(void)
{
    uint64_t largest = 0;
    for (const EditorPanels* panels : editor.panels)
        if (panels) largest = std::max<uint64_t>(largest, panels->largestDocument);
    return largest;
}

static const char* EditorName(int kind) { return kind == EDITOR_WORLD ? "World Editor" : "Shape Editor"; }

int EditorTakeFile(const char* path, char* why, size_t whySize)
{
    const char* slash = strrchr(path, '/');
    const char* leaf = slash ? slash + 1 : path;
    int running = AppRunState() >= RUN_START_EDITOR;
    int kind = EDITOR_NONE;
    if (FileCheckRead(path, LargestDocument(), "a shape or world file", nullptr) != FILE_READABLE)
        snprintf(why, whySize, "cannot open %s: %s", leaf, FileRefusal());
    else if ((kind = EditorFileKind(path)) == EDITOR_NONE)
        snprintf(why, whySize, "%s is neither a shape (SHP) nor a world (WLE) file", leaf);
    // An editor chosen already (running, or clicked in the launcher this turn) stays chosen.
    else if (AppConfig()->editorMode != EDITOR_NONE && kind != AppConfig()->editorMode)
        snprintf(why, whySize, "%s is a %s file and the %s is open: close it, then open the file again", leaf,
                 kind == EDITOR_WORLD ? "world" : "shape", EditorName(AppConfig()->editorMode));
    else if (!editor.openWaiting.empty())
        snprintf(why, whySize, "%s waits to be opened first: open %s again then", editor.openWaiting.c_str(), leaf);
    else {
        if (!running) AppSetEditorMode(kind);
        editor.openWaiting = path;
        LogPrintf(LOG_INFO, "OPEN: %s opens in the %s", path, EditorName(kind));
        return 0;
    }
    LogPrintf(LOG_WARN, "OPEN: %s", why);
    // The user may have opened it from a file manager: the refusal is shown where they look.
    if (running) MsgBoxShow("File Error", why);
    else PlatMessageBox("Error", why, MB_OK | MB_ICONEXCLAMATION);
    return 1;
}

// The file waits here while the question about unsaved work is open.
static std::string fileToOpen;

static void OpenWaitingFile(void)
{
    const EditorPanels* panels = EditorCurrentPanels();
    if (panels && panels->dropFile) panels->dropFile(fileToOpen.c_str());
}

// A file dropped on the window or handed in from outside replaces the document as Load does:
// the unsaved work is asked about first, then the editor's panels load it.
void EditorOpenFile(const char* path)
{
    fileToOpen = path;
    if (UnsavedAsk(OpenWaitingFile)) OpenWaitingFile();
}

std::string EditorDocumentPath(void)
{
    const EditorPanels* panels = EditorCurrentPanels();
    if (!panels || !panels->fileName || !*panels->fileName()) return "";
    const char* folder = panels->folder ? panels->folder() : "";
    const char* name = panels->name ? panels->name() : "";
    if (!*folder || !*name) return "";
    return std::string(folder) + (folder[strlen(folder) - 1] == '/' ? "" : "/") + name;
}

int EditorHasOpen(const char* name)
{
    const char* open = EditorFileName();
    const char* a = strrchr(open, '/');
    const char* b = strrchr(name, '/');
    return *open && strcmp(a ? a + 1 : open, b ? b + 1 : name) == 0;
}

int EditorFrame(void)
{
    TimingUpdate();
    FollowWindow();
    DocNamesObserve();
    TakeDroppedFiles();
    if (!editor.openWaiting.empty()) {
        std::string path;
        path.swap(editor.openWaiting);
        EditorOpenFile(path.c_str());
    }
    if (KeyHeld(KEY_LMENU) && KeyPressed(KEY_G)) GrabScreen(nullptr, 0);
    RunRequests();
    UnsavedFrame();
    EditorShortcuts();
    // The views show the name that the editor's main panel holds now, marked while the
    // document holds unsaved work.
    const EditorPanels* panels = EditorCurrentPanels();
    if (panels && panels->fileName) {
        // An untitled world shows the editor's name, unless there is work to mark.
        const char* name = panels->fileName();
        char title[EDIT_TITLE_MAX];
        if (!UnsavedChanged()) snprintf(title, sizeof title, "%s", name);
        else snprintf(title, sizeof title, "%s *", *name || !panels->name ? name : panels->name());
        EditSetViewTitle(title);
    }
    WinProcessInput();
    SlotsFrame(TimingElapsed(), TimingFrameTime());
    MsgBoxShowWaiting();
    RecoveryFrame();
    // Dialogs opened in this frame go where a screen of their size puts them before they show.
    LayoutPlaceNewDialogs(VideoModeWidth(), VideoModeHeight());
    return STEP_STAY;
}


// Draw3D's ambient and distant light from the Scene Setup panel's values.
static void ApplySceneLight(void)
{
    int32_t ambient[3], distant[3];
    int16_t direction[3];
    SceneLight(ScenePanelValues(), 0, ambient, direction, distant);
    Draw3DSetAmbient(ambient[0], ambient[1], ambient[2]);
    Draw3DSetDistantLight(direction, distant[0], distant[1], distant[2]);
}

void EditorDisplay(void)
{
    ReloadTextures();
    // The scene's light, as the Scene Setup panel holds it, for every view drawn this frame.
    ApplySceneLight();
    if (VideoBeginUpdate(1)) {
        WinDrawAll();
        // The views stored this frame's picks while drawing; the tools read them next frame.
        EditPickNewFrame();
        VideoEndUpdate();
    }
}

WinId EditorView(void) { return editor.view; }
WinId EditorMenuBar(void) { return editor.menuBar; }

void EditorStop(void)
{
    // A clean end: the recovery files go while the work is still there.
    RecoveryStop();
    KernelSetCloseHandler(nullptr);
    PanelHostSet(nullptr);
    for (const EditorPanels* panels : editor.panels)
        if (panels && panels->uninstall) panels->uninstall();
    for (int& r : editor.requests) r = 0;
    editor.openWaiting.clear();
    editor.objectSlot = 0;
    editor.view = editor.menuBar = 0;
    editor.followWindow = 0;
    editor.depthBytes = 0;
    LayoutForgetWindows();
}
