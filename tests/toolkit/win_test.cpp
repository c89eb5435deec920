#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "kernel/timing.h"
#include "support/screen.h"
#include "toolkit/text.h"
#include "toolkit/win.h"

// ---- Fixture: the desktop, the frame class and a recording class on the test screen

struct Msg {
    WinId window;
    WinId sender;
    int message;
    WinParam p1, p2;
};
static std::vector<Msg> msgs;

// Window classes of the tests.
enum {
    CLASS_REC = 0x300,      // records every message but ticks; draws its rectangle in colour (style & 0xFF)
    CLASS_REGION = 0x301,   // a recorder reporting the region (10, 5)-(29, 14)
};

static int Recorded(WinId w, int message)
{
    int n = 0;
    for (const Msg& m : msgs) n += m.window == w && m.message == message;
    return n;
}

static const Msg* Last(WinId w, int message)
{
    for (size_t i = msgs.size(); i-- > 0;)
        if (msgs[i].window == w && msgs[i].message == message) return &msgs[i];
    return nullptr;
}

// Accepts the focus (a window that does not handle WM_FOCUS refuses it).
static int RecProc(WinId w, WinId sender, int message, WinParam* p1, WinParam* p2)
{
    if (message != WM_TICK) msgs.push_back({w, sender, message, *p1, *p2});
    if (message == WM_FOCUS) return 0;
    if (message == WM_DRAWFRAME) {
        int x0, y0, x1, y1;
        WinGetExtent(0, &x0, &y0, &x1, &y1);
        DrawFillRect(x0, y0, x1, y1, (int)(WinGetStyle() & 0xFF));
        *p1 = 0xFFFF;
        return 0;
    }
    return 1;
}

static int RegionProc(WinId w, WinId sender, int message, WinParam* p1, WinParam* p2)
{
    if (message == WM_REGION) {
        *p1 = WinPack(10, 5);
        *p2 = WinPack(29, 14);
        return 0;
    }
    return RecProc(w, sender, message, p1, p2);
}

class Win : public ScreenTest {
protected:
    int baseUsed = 0;
    void SetUp() override
    {
        ScreenTest::SetUp();
        baseUsed = ResUsedCount();
        WinInstall();
        WinRegisterBaseClasses();
        WinCreateClass(CLASS_REC, 0, 16, RecProc);
        WinCreateClass(CLASS_REGION, 0, 0, RegionProc);
        msgs.clear();
    }
    void TearDown() override
    {
        WinRemove();
        ScreenTest::TearDown();
    }
    static WinId Rec(int x, int y, int w, int h, int parent = WIN_DESKTOP, uint32_t colour = 249)
    {
        return WinCreate(x, y, w, h, parent, colour, CLASS_REC);
    }
    static std::vector<int> Pos(const Msg* m) { return m ? std::vector<int>{(int)m->p1, (int)m->p2} : std::vector<int>{}; }
};

// ---- Install, classes and the tree

TEST_F(Win, DesktopCoversTheScreenAndReinstallStartsAfresh)
{
    EXPECT_EQ(RectOf(WinDesktop()), (std::vector<int>{0, 0, 320, 200}));
    EXPECT_EQ(WinGetClass(WinDesktop()), (uint32_t)CLASS_DESKTOP);
    EXPECT_EQ(WinGetParent(WinDesktop()), 0);

    WinId a = Rec(10, 10, 50, 50);
    WinId b = Rec(5, 5, 10, 10, a);
    WinRemove();
    EXPECT_EQ(Recorded(a, WM_DESTROY) + Recorded(b, WM_DESTROY), 2);
    EXPECT_FALSE(WinIsWindow(a));
    EXPECT_EQ(ResUsedCount(), baseUsed) << "windows and classes are all freed";
    WinRemove();

    // The classes went with the tree: the next install registers them afresh and they work.
    WinInstall();
    EXPECT_EXIT(Rec(0, 0, 10, 10), testing::ExitedWithCode(1), "Class not found.");
    WinRegisterBaseClasses();
    WinCreateClass(CLASS_REC, 0, 16, RecProc);
    msgs.clear();
    WinId c = Rec(0, 0, 10, 10);
    EXPECT_EQ(Recorded(c, WM_CREATE), 1);
    EXPECT_EQ(WinGetChild(WinDesktop(), 0), c);
    EXPECT_EXIT(WinInstall(), testing::ExitedWithCode(1), "WinInstall: Already installed.");
}

TEST_F(Win, CreateLinksNewestFirstAndTheTwentySixthChildIsFatal)
{
    WinId p = Rec(0, 0, 100, 100);
    std::vector<WinId> kids;
    for (int i = 0; i < WIN_MAX_CHILDREN; i++) kids.push_back(Rec(0, 0, 5, 5, p));
    for (int i = 0; i < WIN_MAX_CHILDREN; i++) EXPECT_EQ(WinGetChild(p, i), kids[WIN_MAX_CHILDREN - 1 - i]);
    EXPECT_EXIT(Rec(0, 0, 5, 5, p), testing::ExitedWithCode(1), "Window already has max number of children.");

    // Destroying one closes the gap; the slots keep their order.
    WinDestroy(kids[10]);
    EXPECT_EQ((std::vector<WinId>{WinGetChild(p, 14), WinGetChild(p, 24)}), (std::vector<WinId>{kids[9], 0}));
    WinId again = Rec(0, 0, 5, 5, p);
    EXPECT_EQ(WinGetChild(p, 0), again);

    EXPECT_EXIT(WinCreate(0, 0, 5, 5, WIN_DESKTOP, 0, 0x777), testing::ExitedWithCode(1), "Class not found.");
    EXPECT_EXIT(WinCreateClass(0x400, 0x777, 4, RecProc), testing::ExitedWithCode(1),
                "WinCreateClass: Base class doesn't exist.");
    EXPECT_EQ(WinCreate(0, 0, 5, 5, 0xFFF0, 0, CLASS_REC), 0) << "a parent that is no window";
}

// The parts of a derived class's data lie behind its base's; fall-through runs the base's
// procedure with its own part current.
struct Calls {
    uint32_t cls;   // 0 base, 1 derived
    void* data;
};
static std::vector<Calls> calls;

static int BaseProc(WinId, WinId, int message, WinParam* p1, WinParam*)
{
    calls.push_back({0, WinGetData()});
    if (message != 40) return 1;
    memset(WinGetData(), 0xBB, 6);
    *p1 = 7;
    return 0;
}

static int DerivedProc(WinId, WinId, int message, WinParam* p1, WinParam*)
{
    calls.push_back({1, WinGetData()});
    if (message != 41) return 1;
    memset(WinGetData(), 0xDD, 4);
    *p1 = 8;
    return 0;
}

TEST_F(Win, BaseClassFallThroughAndDataParts)
{
    WinCreateClass(0x400, 0, 6, BaseProc);
    WinCreateClass(0x401, 0x400, 4, DerivedProc);
    WinId w = WinCreate(0, 0, 10, 10, WIN_DESKTOP, 0, 0x401);
    calls.clear();

    WinParam p1 = 0;
    EXPECT_EQ((std::vector<WinParam>{WinSendMessage(w, 41, &p1, nullptr), p1}), (std::vector<WinParam>{0, 8}));
    ASSERT_EQ(calls.size(), 1u) << "handled by the derived class: the base is not asked";
    uint8_t* derived = (uint8_t*)calls[0].data;

    calls.clear();
    EXPECT_EQ((std::vector<WinParam>{WinSendMessage(w, 40, &p1, nullptr), p1}), (std::vector<WinParam>{0, 7}));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].cls, 1u) << "the derived class first";
    uint8_t* base = (uint8_t*)calls[1].data;
    EXPECT_GE(derived - base, 6) << "the derived part lies behind the base's 6 bytes";
    EXPECT_EQ((uintptr_t)derived % 8, 0u);
    EXPECT_EQ(std::vector<uint8_t>(base, base + 6), std::vector<uint8_t>(6, 0xBB));
    EXPECT_EQ(std::vector<uint8_t>(derived, derived + 4), std::vector<uint8_t>(4, 0xDD))
        << "the base's write left the derived part alone";

    calls.clear();
    EXPECT_NE(WinSendMessage(w, 42, &p1, nullptr), 0) << "nobody handles it";
    EXPECT_EQ(calls.size(), 2u);

    // A class derived from the frame keeps the title in the frame's part.
    WinCreateClass(0x402, CLASS_FRAME, 12, DerivedProc);
    WinId f = WinCreate(0, 0, 40, 40, WIN_DESKTOP, 0, 0x402);
    std::string longTitle(99, 'T');
    p1 = (WinParam)longTitle.c_str();
    EXPECT_EQ(WinSendMessage(f, WM_SETTITLE, &p1, nullptr), 0);
    EXPECT_EQ(strlen(WinGetTitle(f)), (size_t)WIN_TITLE_MAX);
    p1 = (WinParam) "Materials";
    WinSendMessage(f, WM_SETTITLE, &p1, nullptr);
    p1 = 0;
    EXPECT_EQ(WinSendMessage(f, 41, &p1, nullptr), 0);
    EXPECT_STREQ(WinGetTitle(f), "Materials") << "the derived data does not overlap the title";
    EXPECT_STREQ(WinGetTitle(w), "") << "no frame among its classes";
}

TEST_F(Win, FindClassDepthFirstInSlotOrder)
{
    enum { K = 0x500 };
    WinCreateClass(K, 0, 0, RecProc);
    WinId x = WinCreate(0, 0, 5, 5, Rec(0, 0, 50, 50), 0, K);
    EXPECT_EQ(WinFindClass(K), x);
    WinId b = Rec(60, 0, 50, 50);
    WinId y = WinCreate(0, 0, 5, 5, b, 0, K);
    EXPECT_EQ(WinFindClass(K), y) << "the newer branch (slot 0) is searched first";
    WinId z = WinCreate(100, 100, 5, 5, WIN_DESKTOP, 0, K);
    EXPECT_EQ(WinFindClass(K), z) << "a window before the children of later-searched ones";
    WinDestroy(z);
    WinDestroy(b);
    EXPECT_EQ(WinFindClass(K), x);
    EXPECT_EQ(WinFindClass(CLASS_DESKTOP), WinDesktop());
    EXPECT_EQ(WinFindClass(0x501), 0);
}

// ---- Messages and special destinations

static WinId probeFrom;          // the window whose procedure sends
static int probeDestination;
static WinParam probeP1, probeP2;
static int probeResult;
static WinId probeCurrentAfter;
static void* probeDataAfter;

// Adds its own id to p1, puts its id in p2, answers 0 for even ids and 5 for odd ones; the
// probe window sends when it gets message 50.
static int SiblingProc(WinId w, WinId sender, int message, WinParam* p1, WinParam* p2)
{
    msgs.push_back({w, sender, message, *p1, *p2});
    if (message == 60) {
        *p1 += w;
        *p2 = w;
        return (w & 1) ? 5 : 0;
    }
    if (message == 50 && w == probeFrom) {
        void* data = WinGetData();
        probeResult = WinSendMessage(probeDestination, 60, &probeP1, &probeP2);
        probeCurrentAfter = WinCurrent();
        probeDataAfter = WinGetData() == data ? data : nullptr;
        return 0;
    }
    return 1;
}

static void Probe(WinId from, int destination, WinParam p1, WinParam p2 = 0)
{
    probeFrom = from;
    probeDestination = destination;
    probeP1 = p1;
    probeP2 = p2;
    WinSendSystem(from, 50, nullptr, nullptr);
}

TEST_F(Win, SpecialDestinationsCopyValuesAndReturnTheLastAnswer)
{
    WinCreateClass(0x600, 0, 8, SiblingProc);
    WinId p = WinCreate(0, 0, 100, 100, WIN_DESKTOP, 0, 0x600);
    WinId a = WinCreate(0, 0, 10, 10, p, 0, 0x600);
    WinId b = WinCreate(0, 0, 10, 10, p, 0, 0x600);
    WinId c = WinCreate(0, 0, 10, 10, p, 0, 0x600);   // slots: c, b, a

    // Siblings of a: c then b, each with the caller's values; b's values and answer return.
    msgs.clear();
    Probe(a, WIN_SIBLINGS, 1000);
    std::vector<WinId> got;
    for (const Msg& m : msgs)
        if (m.message == 60) {
            got.push_back(m.window);
            EXPECT_EQ(m.p1, 1000) << "each recipient gets the caller's value, not the previous one's";
            EXPECT_EQ(m.sender, a);
        }
    EXPECT_EQ(got, (std::vector<WinId>{c, b}));
    EXPECT_EQ((std::vector<WinParam>{probeP1, probeP2, probeResult}), (std::vector<WinParam>{1000 + b, b, (b & 1) ? 5 : 0}));
    EXPECT_EQ(probeCurrentAfter, a) << "the current window is restored";
    EXPECT_NE(probeDataAfter, nullptr) << "and its data with it";

    // Children of p: c, b, a; the last is a.
    msgs.clear();
    Probe(p, WIN_CHILDREN, 1);
    EXPECT_EQ(Recorded(a, 60) + Recorded(b, 60) + Recorded(c, 60), 3);
    EXPECT_EQ((std::vector<WinParam>{probeP1, probeResult}), (std::vector<WinParam>{1 + a, (a & 1) ? 5 : 0}));

    // Self and parent.
    Probe(b, WIN_SELF, 0);
    EXPECT_EQ(probeP1, b);
    msgs.clear();
    Probe(b, WIN_PARENT, 0);
    EXPECT_EQ(probeP1, p);
    ASSERT_NE(Last(p, 60), nullptr);
    EXPECT_EQ(Last(p, 60)->sender, b);

    // A send that reaches nobody: not handled, values untouched.
    WinId lone = WinCreate(0, 0, 10, 10, a, 0, 0x600);
    for (int destination : {WIN_SIBLINGS, WIN_CHILDREN}) {
        Probe(lone, destination, 77, 78);
        EXPECT_EQ((std::vector<WinParam>{probeResult, probeP1, probeP2}), (std::vector<WinParam>{1, 77, 78}));
    }

    // Outside a procedure: the parent of nothing, and a stale window, are not handled.
    WinParam v = 3;
    EXPECT_EQ(WinSendMessage(WIN_PARENT, 60, &v, nullptr), 1);
    WinDestroy(lone);
    EXPECT_EQ(WinSendMessage(lone, 60, &v, nullptr), 1);
    EXPECT_EQ(v, 3);
    EXPECT_EQ(WinCurrent(), 0);
}

static void SiblingsFromRoot(void)
{
    // The desktop is the one window without a parent: give it a probing procedure.
    WinRemove();
    probeFrom = 0;
    WinCreateClass(CLASS_DESKTOP, 0, 0, SiblingProc);
    WinInstall();
    Probe(WinDesktop(), WIN_SIBLINGS, 0);
}

TEST_F(Win, SpecialDestinationFatalTexts)
{
    WinParam v = 0;
    EXPECT_EXIT(WinSendMessage(WIN_SELF, 60, &v, &v), testing::ExitedWithCode(1),
                "WinSendMessage: Dest is source, but no source!");
    EXPECT_EXIT(WinSendMessage(WIN_CHILDREN, 60, &v, &v), testing::ExitedWithCode(1),
                "WinSendMessage: Children destination not allowed for system message.");
    EXPECT_EXIT(WinSendMessage(WIN_SIBLINGS, 60, &v, &v), testing::ExitedWithCode(1),
                "WinSendMessage: Siblings destination not allowed for system message.");
    EXPECT_EXIT(SiblingsFromRoot(), testing::ExitedWithCode(1), "WinSendMessage: Windows with siblings have parents!");
    EXPECT_EXIT(WinGetPos(0, nullptr, nullptr), testing::ExitedWithCode(1), "WinGetPos: No current window.");
    EXPECT_EXIT(WinGetRect(0, nullptr, nullptr, nullptr, nullptr), testing::ExitedWithCode(1),
                "WinGetPos: No current window.");
    EXPECT_EXIT(WinGetStyle(), testing::ExitedWithCode(1), "WinGetStyle: No current window.");
    EXPECT_EXIT(WinGetExtent(0, nullptr, nullptr, nullptr, nullptr), testing::ExitedWithCode(1),
                "WinGetExtent: No current window.");
    EXPECT_EQ(WinGetData(), nullptr);
}

// ---- Drawing and hit tests

TEST_F(Win, LaterChildIsDrawnOnTopAndTakesThePointerWithinItsRectangle)
{
    WinId older = Rec(20, 20, 60, 40, WIN_DESKTOP, 249);
    WinId newer = Rec(50, 30, 60, 40, WIN_DESKTOP, 248);   // x 50..109, y 30..69
    // A grandchild draws at its own (0, 0): the partition puts it at its absolute place.
    WinId inner = Rec(5, 6, 4, 3, newer, 250);
    VideoClear(255);
    WinDrawAll();
    // The desktop fills the screen with colour 0; the overlap shows the newer window; each
    // window is clipped to its own rectangle.
    EXPECT_EQ(Pxs({{0, 0}, {319, 199}, {25, 25}, {60, 40}, {109, 69}, {110, 69}}), Pals({0, 0, 249, 248, 248, 0}));
    EXPECT_EQ(Pxs({{55, 36}, {58, 38}, {59, 38}, {55, 39}}), Pals({250, 250, 248, 248}));
    EXPECT_EQ(Recorded(newer, WM_DRAWCLIENT), 0) << "no client area: no client message";

    // The pointer over the overlap goes to the newer window only.
    Frame(60, 40);
    EXPECT_EQ(WinUnderPointer(), newer);
    EXPECT_EQ(Recorded(older, WM_POINTER), 0);
    EXPECT_EQ(Pos(Last(newer, WM_POINTER)), (std::vector<int>{10, 10}));
    Frame(56, 37);
    EXPECT_EQ(WinUnderPointer(), inner);
    EXPECT_EQ(Pos(Last(inner, WM_POINTER)), (std::vector<int>{1, 1}));
    Frame(30, 30);
    EXPECT_EQ(WinUnderPointer(), older);
    // A rectangle holds x0 .. x0 + width - 1 and y0 .. y0 + height - 1, not its right and
    // bottom edges.
    std::vector<WinId> under;
    for (auto [x, y] : {std::pair{109, 69}, {110, 40}, {100, 70}}) {
        Frame(x, y);
        under.push_back(WinUnderPointer());
    }
    EXPECT_EQ(under, (std::vector<WinId>{newer, WinDesktop(), WinDesktop()}));

    // Only the modal window's tree is redrawn by WinDrawModal.
    VideoClear(255);
    WinDrawModal();
    EXPECT_EQ(Px(60, 40), Pal(255)) << "no modal window: nothing drawn";
    WinMakeModal(older);
    WinDrawModal();
    EXPECT_EQ(Pxs({{60, 40}, {0, 0}}), Pals({249, 255}));
}

TEST_F(Win, FrameWindowClientAndRegion)
{
    WinId f = WinCreate(40, 30, 80, 50, WIN_DESKTOP, FRAME_BORDER | FRAME_TITLE, CLASS_FRAME);
    WinParam p1 = 0, p2 = 0;
    EXPECT_EQ(WinSendSystem(f, WM_REGION, &p1, &p2), 0);
    EXPECT_EQ((std::vector<WinParam>{p1, p2}), (std::vector<WinParam>{WinPack(1, WIN_TITLE_HEIGHT), WinPack(78, 48)}));
    WinId plain = WinCreate(200, 30, 20, 20, WIN_DESKTOP, 0, CLASS_FRAME);
    EXPECT_EQ(WinSendSystem(plain, WM_REGION, &p1, &p2), 0);
    EXPECT_EQ((std::vector<WinParam>{p1, p2}), (std::vector<WinParam>{WinPack(0, 0), WinPack(19, 19)}));

    VideoClear(255);
    WinDrawAll();
    // The client is filled with the background colour, inside the border and below the bar;
    // without border and title a frame is all client.
    EXPECT_EQ(Pxs({{41, 41}, {118, 78}, {200, 30}, {220, 30}}), Pals({252, 252, 252, 0}));
    EXPECT_NE(Px(119, 78), Pal(252)) << "the right border";
    EXPECT_NE(Px(60, 35), Pal(0)) << "the title bar is drawn over the desktop";
    EXPECT_NE(Px(60, 35), Pal(255));

    // The modal window's title bar has its own look; the alternative style its own border.
    uint32_t plainBar = Px(60, 35);
    WinMakeModal(f);
    WinCreate(10, 100, 20, 20, WIN_DESKTOP, FRAME_BORDER, CLASS_FRAME);
    WinCreate(40, 100, 20, 20, WIN_DESKTOP, FRAME_BORDER | FRAME_ALTLOOK, CLASS_FRAME);
    WinDrawAll();
    EXPECT_NE(Px(60, 35), plainBar);
    EXPECT_NE(Px(10, 100), Px(40, 100));
    EXPECT_EQ(Pxs({{11, 101}, {41, 101}}), Pals({252, 252}));
}

// ---- The input step

TEST_F(Win, PressInsideTheRegionIsRelativeToItOutsideIsPlain)
{
    WinId w = WinCreate(100, 50, 40, 20, WIN_DESKTOP, 0, CLASS_REGION);   // region (110, 55)-(129, 64)
    Click(115, 58);
    EXPECT_EQ(Pos(Last(w, WM_LPRESS_REGION)), (std::vector<int>{5, 3}));
    EXPECT_EQ(Recorded(w, WM_LPRESS), 0);
    // Both far corners belong to the region; one pixel beyond either is outside it.
    Click(129, 64);
    EXPECT_EQ(Pos(Last(w, WM_LPRESS_REGION)), (std::vector<int>{19, 9}));
    Click(130, 64);
    EXPECT_EQ(Pos(Last(w, WM_LPRESS)), (std::vector<int>{30, 14}));
    Click(115, 65);
    EXPECT_EQ(Pos(Last(w, WM_LPRESS)), (std::vector<int>{15, 15}));
    EXPECT_EQ(Recorded(w, WM_LPRESS_REGION), 2);

    // The right button the same way, without capture.
    RightClick(112, 56);
    EXPECT_EQ(Pos(Last(w, WM_RPRESS_REGION)), (std::vector<int>{2, 1}));
    EXPECT_EQ(WinCaptured(), 0);
    RightClick(101, 51);
    EXPECT_EQ(Pos(Last(w, WM_RPRESS)), (std::vector<int>{1, 1}));

    // Button states go to the window under the pointer every frame.
    msgs.clear();
    Move(101, 51);
    InputMessageHook(nullptr, NM_RBUTTONDOWN, 0, 0);
    WinProcessInput();
    EXPECT_EQ(Pos(Last(w, WM_BUTTONS)), (std::vector<int>{0, 1}));
    InputMessageHook(nullptr, NM_RBUTTONUP, 0, 0);

    // A window that reports no region gets every press as 5.
    WinId r = Rec(10, 10, 30, 30);
    Click(15, 15);
    EXPECT_EQ(Recorded(r, WM_LPRESS), 1);
    EXPECT_EQ(Recorded(r, WM_LPRESS_REGION), 0);
}

TEST_F(Win, TheWheelAndTheMiddleButtonReachTheRegionOfTheWindowThatTakesThem)
{
    // A region window that answers the middle press takes its drags; a plain recorder does not.
    WinCreateClass(0x701, 0, 0, [](WinId w, WinId s, int m, WinParam* p1, WinParam* p2) -> int {
        int answer = RegionProc(w, s, m, p1, p2);
        return m == WM_MPRESS_REGION || m == WM_WHEEL ? 0 : answer;
    });
    WinId taker = WinCreate(100, 50, 40, 20, WIN_DESKTOP, 0, 0x701);   // region (110, 55)-(129, 64)
    WinId plain = WinCreate(200, 50, 40, 20, WIN_DESKTOP, 0, CLASS_REGION);
    auto wheel = [](int x, int y, int notches) {
        Move(x, y);
        InputMessageHook(nullptr, NM_MOUSEWHEEL, (uint32_t)notches, 0);
        WinProcessInput();
    };
    wheel(115, 58, -3);
    EXPECT_EQ(Pos(Last(taker, WM_WHEEL)), (std::vector<int>{-3, (int)WinPack(5, 3)}));
    wheel(105, 52, 2);   // the window, not its region
    EXPECT_EQ(Recorded(taker, WM_WHEEL), 1);
    wheel(215, 58, 2);
    EXPECT_EQ(Pos(Last(plain, WM_WHEEL)), (std::vector<int>{2, (int)WinPack(5, 3)})) << "offered to the plain one too";

    auto middle = [](int x, int y, uint32_t msg) {
        Move(x, y);
        InputMessageHook(nullptr, msg, 0, 0);
        WinProcessInput();
    };
    middle(112, 56, NM_MBUTTONDOWN);
    EXPECT_EQ(Pos(Last(taker, WM_MPRESS_REGION)), (std::vector<int>{2, 1}));
    EXPECT_EQ(WinCaptured(), 0) << "the left button's capture is not the middle one's";
    EXPECT_EQ(Recorded(taker, WM_LPRESS_REGION) + Recorded(taker, WM_LPRESS), 0);
    Frame(160, 30);   // the drag goes on outside the window
    EXPECT_EQ(Pos(Last(taker, WM_MDRAG)), (std::vector<int>{(int)WinPack(60, -20), (int)WinPack(12, 6)}));
    EXPECT_EQ(Recorded(plain, WM_MDRAG), 0);
    middle(205, 55, NM_MBUTTONUP);
    EXPECT_EQ(Pos(Last(taker, WM_MRELEASE)), (std::vector<int>{(int)WinPack(105, 5), (int)WinPack(12, 6)}));
    int drags = Recorded(taker, WM_MDRAG);
    Frame(120, 60);
    EXPECT_EQ(Recorded(taker, WM_MDRAG), drags) << "no drag once released";
    EXPECT_EQ(Recorded(taker, WM_MRELEASE), 1);

    // A window that does not answer the press gets no drag; outside a region nothing is sent.
    middle(212, 56, NM_MBUTTONDOWN);
    EXPECT_EQ(Recorded(plain, WM_MPRESS_REGION), 1);
    Frame(220, 60);
    middle(220, 60, NM_MBUTTONUP);
    EXPECT_EQ(Recorded(plain, WM_MDRAG) + Recorded(plain, WM_MRELEASE), 0);
    middle(102, 51, NM_MBUTTONDOWN);
    middle(102, 51, NM_MBUTTONUP);
    EXPECT_EQ(Recorded(taker, WM_MPRESS_REGION), 1);

    // A modal window keeps the wheel and the middle button from the windows outside it; a
    // drag that a closed window held ends with it.
    middle(112, 56, NM_MBUTTONDOWN);
    WinDestroy(taker);
    Frame(150, 60);
    middle(150, 60, NM_MBUTTONUP);
    WinId modal = WinCreate(0, 0, 50, 50, WIN_DESKTOP, 0, CLASS_REC);
    WinMakeModal(modal);
    msgs.clear();
    wheel(215, 58, 1);
    middle(215, 58, NM_MBUTTONDOWN);
    middle(215, 58, NM_MBUTTONUP);
    EXPECT_EQ(Recorded(plain, WM_WHEEL) + Recorded(plain, WM_MPRESS_REGION), 0);
}

TEST_F(Win, CapturedWindowKeepsItsDragsAndGetsTheRelease)
{
    WinId a = Rec(10, 10, 40, 40);
    WinId b = Rec(100, 10, 40, 40);
    Press(20, 25);
    EXPECT_EQ(WinCaptured(), a);
    EXPECT_EQ(WinFocus(), a);
    ASSERT_NE(Last(a, WM_DRAG), nullptr) << "dragging starts in the frame of the press";

    Frame(110, 30);
    EXPECT_EQ(Recorded(b, WM_POINTER), 1);
    EXPECT_EQ(Pos(Last(a, WM_DRAG)), (std::vector<int>{(int)WinPack(100, 20), (int)WinPack(10, 15)}));
    Frame(5, 3);   // left of and above a: negative positions
    EXPECT_EQ(Last(a, WM_DRAG)->p1, WinPack(-5, -7));
    EXPECT_EQ(Recorded(b, WM_DRAG), 0);

    Move(120, 40);
    Up();
    int drags = Recorded(a, WM_DRAG);
    WinProcessInput();
    EXPECT_EQ(Pos(Last(a, WM_LRELEASE)), (std::vector<int>{(int)WinPack(110, 30), (int)WinPack(10, 15)}));
    EXPECT_EQ(Recorded(b, WM_LRELEASE), 0);
    EXPECT_EQ(WinCaptured(), 0);
    Frame(20, 20);
    EXPECT_EQ(Recorded(a, WM_DRAG), drags) << "no drag once released";
    EXPECT_EQ(Recorded(a, WM_LRELEASE), 1);
}

TEST_F(Win, ModalWindowBlocksPressesElsewhereWhileTicksAndDragsGoOn)
{
    static std::vector<WinId> ticks;
    WinCreateClass(0x700, 0, 0, [](WinId w, WinId s, int m, WinParam* p1, WinParam* p2) -> int {
        if (m == WM_TICK) ticks.push_back(w);
        return RecProc(w, s, m, p1, p2);
    });
    WinId other = WinCreate(10, 10, 40, 40, WIN_DESKTOP, 0, 0x700);
    WinId modal = WinCreate(100, 10, 60, 60, WIN_DESKTOP, 0, 0x700);
    WinId inside = WinCreate(5, 5, 10, 10, modal, 0, 0x700);

    // A drag that began on the other window before the modal window came on.
    Press(20, 20);
    ASSERT_EQ(WinCaptured(), other);
    WinMakeModal(modal);
    EXPECT_TRUE(WinIsModal(modal));
    EXPECT_FALSE(WinIsModal(other));
    EXPECT_EXIT(WinMakeModal(other), testing::ExitedWithCode(1), "WinMakeModal: Another window is already modal.");
    msgs.clear();
    ticks.clear();
    Frame(25, 20);
    EXPECT_EQ(Recorded(other, WM_DRAG), 1) << "drags go on";
    EXPECT_EQ(Recorded(other, WM_POINTER), 0) << "but the pointer is not over an active window";
    EXPECT_EQ(WinUnderPointer(), 0);
    EXPECT_EQ(ticks.size(), 3u) << "every window ticks";
    Up();
    WinProcessInput();
    EXPECT_EQ(Recorded(other, WM_LRELEASE), 1) << "the release ends the drag even outside the modal tree";
    EXPECT_EQ(WinCaptured(), 0);

    // A press outside the modal tree produces nothing, now or later: on another window or on
    // the desktop itself (which would take the focus and refuse it).
    msgs.clear();
    WinSetFocus(inside);
    Click(20, 20);
    EXPECT_EQ(Recorded(other, WM_LPRESS) + Recorded(other, WM_BUTTONS), 0);
    Click(300, 190);
    EXPECT_EQ(WinUnderPointer(), 0);
    EXPECT_EQ(WinCaptured(), 0);
    EXPECT_EQ(WinFocus(), inside) << "a blocked press moves no focus";
    Frame(110, 20);
    EXPECT_EQ(Recorded(inside, WM_LPRESS), 0) << "the blocked press is not delivered once the pointer is inside";
    EXPECT_EQ(Recorded(inside, WM_POINTER), 1);

    // Inside the modal tree presses arrive.
    Click(110, 20);
    EXPECT_EQ(Recorded(inside, WM_LPRESS), 1);
    Click(150, 50);
    EXPECT_EQ(Recorded(modal, WM_LPRESS), 1);

    WinSetModal(0);
    Click(20, 20);
    EXPECT_EQ(Recorded(other, WM_LPRESS), 1);
}

static int RefuseProc(WinId w, WinId s, int m, WinParam* p1, WinParam* p2)
{
    RecProc(w, s, m, p1, p2);
    return m == WM_FOCUS && *p1 == 1 ? 9 : 1;
}

TEST_F(Win, KeysGoToTheFocusWindowWhichARefusingWindowLeavesEmpty)
{
    WinId f = Rec(10, 10, 40, 40);
    WinId o = Rec(100, 10, 40, 40);
    Click(20, 20);
    ASSERT_EQ(WinFocus(), f);
    EXPECT_EQ(Last(f, WM_FOCUS)->p1, 1);
    msgs.clear();
    InputQueueKey(KEY_A, 1);
    InputQueueKey(KEY_B, 1);
    Frame(110, 20);   // the pointer over the other window changes nothing
    std::vector<WinParam> keys;
    for (const Msg& m : msgs)
        if (m.message == WM_KEY) {
            EXPECT_EQ(m.window, f);
            keys.push_back(m.p1);
        }
    EXPECT_EQ(keys, (std::vector<WinParam>{'a', 'b'}));

    // Focus moves with the press, and the loser is told.
    Click(110, 20);
    EXPECT_EQ(WinFocus(), o);
    EXPECT_EQ(Last(f, WM_FOCUS)->p1, 0);
    EXPECT_EQ(Last(o, WM_FOCUS)->p1, 1);
    Key(KEY_C);
    EXPECT_EQ(Last(o, WM_KEY)->p1, 'c');
    EXPECT_EQ(Recorded(f, WM_KEY), 2);
    int focusMessages = Recorded(o, WM_FOCUS);
    EXPECT_EQ(WinSetFocus(o), 0);
    EXPECT_EQ(Recorded(o, WM_FOCUS), focusMessages) << "setting the same focus again says nothing";

    // A window that refuses the focus leaves none, yet gets its press.
    WinCreateClass(0x701, 0, 0, RefuseProc);
    WinId r = WinCreate(200, 10, 40, 40, WIN_DESKTOP, 0, 0x701);
    EXPECT_EQ(WinSetFocus(r), 9);
    EXPECT_EQ(WinFocus(), 0);
    EXPECT_EQ(Last(o, WM_FOCUS)->p1, 0);
    WinSetFocus(f);
    Click(210, 20);
    EXPECT_EQ(WinFocus(), 0);
    EXPECT_EQ(Recorded(r, WM_LPRESS), 1);
    msgs.clear();
    Key(KEY_A);
    EXPECT_EQ(Recorded(r, WM_KEY) + Recorded(f, WM_KEY) + Recorded(o, WM_KEY), 0);

    // A press on a window that takes no keys (a dialog's button) gives them to the nearest
    // window around it that does; none around it that takes them leaves no focus.
    WinId dialog = Rec(10, 100, 100, 60);
    WinId holder = WinCreate(5, 5, 60, 40, dialog, 0, 0x701);
    WinId button = WinCreate(5, 5, 20, 10, holder, 0, 0x701);
    Click(10 + 5 + 5 + 3, 100 + 5 + 5 + 3);
    EXPECT_EQ(Recorded(button, WM_LPRESS), 1);
    EXPECT_EQ(WinFocus(), dialog);
    Key(KEY_ESCAPE);
    EXPECT_EQ(Last(dialog, WM_KEY)->p1, CH_ESCAPE);
    Click(210, 20);
    EXPECT_EQ(WinFocus(), 0) << "the refusing window stands on the desktop";
    WinSetFocus(dialog);
    Click(10 + 5 + 5 + 3, 100 + 5 + 5 + 3);
    EXPECT_EQ(WinFocus(), dialog);
    EXPECT_EQ(Last(dialog, WM_FOCUS)->p1, 1) << "the dialog keeps the keys";
}

TEST_F(Win, PointerInRegionFromInsideAProcedure)
{
    static int answer;
    static int rx, ry;
    WinCreateClass(0x702, 0, 0, [](WinId w, WinId s, int m, WinParam* p1, WinParam* p2) -> int {
        if (m == WM_POINTER) answer = WinGetPointerInRegion(&rx, &ry);
        return RegionProc(w, s, m, p1, p2);
    });
    WinCreate(100, 50, 40, 20, WIN_DESKTOP, 0, 0x702);   // region (110, 55)-(129, 64)
    Frame(115, 58);
    EXPECT_EQ((std::vector<int>{answer, rx, ry}), (std::vector<int>{0, 5, 3}));
    Frame(129, 64);
    EXPECT_EQ((std::vector<int>{answer, rx, ry}), (std::vector<int>{0, 19, 9}));
    for (auto [x, y] : {std::pair{130, 64}, {109, 60}, {129, 65}, {115, 54}}) {
        Frame(x, y);
        EXPECT_EQ(answer, 1) << x << "," << y;
    }
    EXPECT_EQ(WinGetPointerInRegion(&rx, &ry), 1) << "outside any procedure";
}

TEST_F(Win, TicksReachEveryWindowParentFirst)
{
    static std::vector<std::pair<WinId, WinParam>> ticks;
    static WinParam elapsed;
    WinCreateClass(0x703, 0, 0, [](WinId w, WinId, int m, WinParam* p1, WinParam* p2) -> int {
        if (m == WM_TICK) ticks.push_back({w, *p1}), elapsed = *p2;
        return 1;
    });
    WinId a = WinCreate(0, 0, 50, 50, WIN_DESKTOP, 0, 0x703);
    WinId a1 = WinCreate(0, 0, 5, 5, a, 0, 0x703);
    WinId a2 = WinCreate(0, 0, 5, 5, a, 0, 0x703);
    WinId b = WinCreate(60, 0, 50, 50, WIN_DESKTOP, 0, 0x703);
    TimingReset();
    TimingUpdate();
    TimingUpdate();
    PlatHeadlessAdvanceClock(40);
    TimingUpdate();
    WinProcessInput();
    std::vector<WinId> order;
    for (auto& t : ticks) {
        order.push_back(t.first);
        EXPECT_EQ(t.second, 655) << "40 ms in seconds with 14 fraction bits";
    }
    EXPECT_EQ(order, (std::vector<WinId>{b, a, a2, a1}));
    EXPECT_EQ(elapsed, 40);
    TimingReset();
}

// ---- Moves and sizes

TEST_F(Win, OutOfRangeMovesAndSizesAreIgnored)
{
    WinId p = Rec(10, 10, 100, 80);
    WinId c = Rec(10, 10, 20, 20, p);
    msgs.clear();
    WinSetPos(c, -1, 0);
    WinSetPos(c, 0, -1);
    WinSetPos(c, 81, 0);   // right edge at 100 = the parent's width
    WinSetPos(c, 0, 61);
    EXPECT_EQ(RectOf(c), (std::vector<int>{10, 10, 20, 20}));
    EXPECT_EQ(Recorded(c, WM_MOVED), 0);
    WinSetPos(c, 80, 60);   // the last fitting place
    EXPECT_EQ(RectOf(c), (std::vector<int>{80, 60, 20, 20}));
    WinSetPos(c, 80, 60);
    EXPECT_EQ(Recorded(c, WM_MOVED), 1) << "no move, no message";

    WinSetRect(c, 80, 60, 21, 20);
    WinSetRect(c, 80, 60, 20, 21);
    WinSetRect(c, 0, 0, 20, -1);
    EXPECT_EQ(RectOf(c), (std::vector<int>{80, 60, 20, 20}));
    msgs.clear();
    WinSetRect(c, 0, 0, 100, 80);
    EXPECT_EQ(RectOf(c), (std::vector<int>{0, 0, 100, 80}));
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_EQ((std::vector<int>{msgs[0].message, msgs[1].message}), (std::vector<int>{WM_MOVED, WM_RESIZED}));
    msgs.clear();
    WinSetRect(c, 0, 0, 50, 50);
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].message, WM_RESIZED);

    int ax = 1, ay = 2;
    WinGetAbsPos(c, &ax, &ay);
    EXPECT_EQ((std::vector<int>{ax, ay}), (std::vector<int>{11, 12}));
    int x0, y0, x1, y1;
    WinGetExtent(c, &x0, &y0, &x1, &y1);
    EXPECT_EQ((std::vector<int>{x0, y0, x1, y1}), (std::vector<int>{0, 0, 49, 49}));
}

TEST_F(Win, TitleBarDragMovesTheFrameWithinItsParent)
{
    WinId f = WinCreate(100, 50, 60, 40, WIN_DESKTOP, FRAME_TITLE | FRAME_DRAG | FRAME_BORDER, CLASS_FRAME);
    Press(110, 60);   // on the title bar's last row
    Frame(130, 70);
    EXPECT_EQ(RectOf(f), (std::vector<int>{120, 60, 60, 40}));
    Frame(125, 65);
    EXPECT_EQ(RectOf(f), (std::vector<int>{115, 55, 60, 40}));
    // Past the parent's edges the frame stays where it was.
    Frame(5, 65);
    Frame(125, 195);
    EXPECT_EQ(RectOf(f), (std::vector<int>{115, 55, 60, 40}));
    Release(125, 65);

    // A press on the first row below the title bar drags nothing; neither does a frame
    // without the style.
    Press(130, 66);
    Frame(150, 90);
    Release(150, 90);
    EXPECT_EQ(RectOf(f), (std::vector<int>{115, 55, 60, 40}));
    WinId still = WinCreate(10, 100, 60, 40, WIN_DESKTOP, FRAME_TITLE, CLASS_FRAME);
    Press(20, 105);
    Frame(40, 110);
    Release(40, 110);
    EXPECT_EQ(RectOf(still), (std::vector<int>{10, 100, 60, 40}));
}

// ---- Closing and destroying

static WinId closeTarget;
static int stillThere;

static int CloseOnPress(WinId w, WinId s, int m, WinParam* p1, WinParam* p2)
{
    RecProc(w, s, m, p1, p2);
    if (m != WM_LPRESS) return 1;
    WinClose(closeTarget);
    WinClose(closeTarget);
    stillThere = WinIsWindow(closeTarget) && WinGetData() != nullptr;
    return 0;
}

// A procedure that destroys itself and its parent at once: both outlive the call.
static int DestroyOnPress(WinId w, WinId s, int m, WinParam* p1, WinParam* p2)
{
    RecProc(w, s, m, p1, p2);
    if (m != WM_LPRESS) return 1;
    WinDestroy(WinGetParent(w));
    WinDestroy(w);
    stillThere = WinIsWindow(w) && WinGetStyle() == 249 && WinGetData() != nullptr;
    return 0;
}

TEST_F(Win, ClosingOrDestroyingFromAProcedureWaitsForTheStepsEnd)
{
    WinCreateClass(0x704, 0, 8, CloseOnPress);
    WinId w = WinCreate(10, 10, 40, 40, WIN_DESKTOP, 0, 0x704);
    closeTarget = w;
    stillThere = 0;
    Press(20, 20);
    EXPECT_TRUE(stillThere) << "the window outlives its own message";
    EXPECT_FALSE(WinIsWindow(w));
    EXPECT_EQ(Recorded(w, WM_DESTROY), 1);
    EXPECT_EQ(WinCaptured() + WinFocus() + WinUnderPointer(), 0);
    Release(20, 20);
    EXPECT_EQ(Recorded(w, WM_LRELEASE), 0);

    WinCreateClass(0x705, 0, 8, DestroyOnPress);
    WinId p = Rec(10, 10, 100, 100);
    WinId c = WinCreate(0, 0, 20, 20, p, 249, 0x705);
    stillThere = 0;
    Click(15, 15);
    EXPECT_TRUE(stillThere);
    EXPECT_FALSE(WinIsWindow(c) || WinIsWindow(p));
    EXPECT_EQ(Recorded(c, WM_DESTROY) + Recorded(p, WM_DESTROY), 2);
}

static void FillClosingList(void)
{
    for (int i = 0; i < 3; i++) {
        WinId p = WinCreate(0, 0, 100, 100, WIN_DESKTOP, 0, CLASS_REC);
        for (int k = 0; k < 20; k++) WinClose(WinCreate(0, 0, 5, 5, p, 0, CLASS_REC));
    }
}

TEST_F(Win, ClosingWithTheParentOrTwiceDestroysOnce)
{
    WinId p = Rec(10, 10, 100, 100);
    WinId c = Rec(0, 0, 10, 10, p);
    WinId g = Rec(0, 0, 5, 5, c);
    WinClose(c);
    WinClose(p);
    WinClose(g);
    WinClose(c);
    WinProcessInput();
    EXPECT_FALSE(WinIsWindow(p) || WinIsWindow(c) || WinIsWindow(g));
    std::vector<WinId> order;
    for (const Msg& m : msgs)
        if (m.message == WM_DESTROY) order.push_back(m.window);
    EXPECT_EQ(order, (std::vector<WinId>{g, p, c})) << "the last queued first; a window before its children";

    // A window destroyed at once leaves the queue: its reused id must not be closed.
    WinId d = Rec(0, 0, 10, 10);
    WinClose(d);
    WinDestroy(d);
    WinId n = Rec(0, 0, 10, 10);
    ASSERT_EQ(n, d) << "the resource manager hands the freed id out again";
    WinProcessInput();
    EXPECT_TRUE(WinIsWindow(n));

    EXPECT_EXIT(FillClosingList(), testing::ExitedWithCode(1), "WinClose: List full!");
}

TEST_F(Win, DestroyClearsFocusCaptureModalAndPointer)
{
    WinId p = Rec(10, 10, 100, 100);
    WinId c = Rec(10, 10, 20, 20, p);
    Press(25, 25);
    ASSERT_EQ((std::vector<WinId>{WinCaptured(), WinFocus(), WinUnderPointer()}), (std::vector<WinId>{c, c, c}));
    WinMakeModal(c);
    WinDestroy(p);
    EXPECT_EQ((std::vector<WinId>{WinCaptured(), WinFocus(), WinUnderPointer(), WinModal()}),
              (std::vector<WinId>{0, 0, 0, 0}));
    EXPECT_EQ(WinGetChild(WinDesktop(), 0), 0);
    // No message reaches a destroyed window, whatever reuses its id.
    msgs.clear();
    Release(30, 30);
    for (const Msg& m : msgs) EXPECT_NE(m.window, c);
    WinMakeModal(Rec(0, 0, 10, 10));   // no modal window left behind to refuse it
}

// Windows created from inside procedures: parent 0 is the running window, and the running
// window and class are exactly restored after nested sends.
static int CreateOnMessage(WinId w, WinId s, int m, WinParam* p1, WinParam* p2)
{
    RecProc(w, s, m, p1, p2);
    // Two levels: the window on the desktop and its child create one window each.
    if (m == 70 && (WinGetParent(w) == WinDesktop() || WinGetParent(WinGetParent(w)) == WinDesktop())) {
        void* data = WinGetData();
        WinId made = WinCreate(1, 1, 5, 5, WIN_CURRENT, 0, 0x706);
        WinParam v = 0;
        WinSendMessage(made, 70, &v, nullptr);
        stillThere = WinCurrent() == w && WinGetData() == data;
        return 0;
    }
    return 1;
}

// Draws the text given in p1 when sent message 50.
static int WriterProc(WinId, WinId, int message, WinParam* p1, WinParam*)
{
    if (message != 50) return 1;
    TextDrawString(0, 0, (const char*)*p1, 255);
    return 0;
}

// The record of written lines names the window whose procedure drew each one: the screen dump
// tells the windows' labels apart by it.
TEST_F(Win, TextWrittenInAProcedureBelongsToItsWindow)
{
    WinCreateClass(0x410, 0, 0, WriterProc);
    WinId a = WinCreate(0, 0, 10, 10, WIN_DESKTOP, 0, 0x410);
    WinId b = WinCreate(20, 0, 10, 10, WIN_DESKTOP, 0, 0x410);
    TextSetFont(FontCreateBuiltIn());
    TextResetWritten();
    WinParam p1 = (WinParam) "to b";
    WinSendMessage(b, 50, &p1, nullptr);
    p1 = (WinParam) "to a";
    WinSendMessage(a, 50, &p1, nullptr);
    TextDrawString(0, 0, "outside", 255);
    ASSERT_EQ(TextWrittenCount(), 3);
    std::vector<std::pair<std::string, int>> got;
    for (int i = 0; i < 3; i++) got.emplace_back(TextWrittenAt(i)->text, TextWrittenAt(i)->window);
    EXPECT_EQ(got, (std::vector<std::pair<std::string, int>>{{"to b", b}, {"to a", a}, {"outside", 0}}));
}

TEST_F(Win, ProceduresCreateWindowsReentrantly)
{
    WinCreateClass(0x706, 0, 8, CreateOnMessage);
    WinId top = WinCreate(0, 0, 100, 100, WIN_DESKTOP, 0, 0x706);
    stillThere = 0;
    WinSendSystem(top, 70, nullptr, nullptr);
    WinId child = WinGetChild(top, 0);
    ASSERT_NE(child, 0);
    WinId grandchild = WinGetChild(child, 0);
    ASSERT_NE(grandchild, 0);
    EXPECT_EQ(Last(grandchild, WM_CREATE)->sender, 0) << "create comes from the manager";
    EXPECT_EQ(Last(grandchild, 70)->sender, child);
    EXPECT_TRUE(stillThere);
    EXPECT_EQ(WinCurrent(), 0);
    WinId outside = WinCreate(0, 0, 5, 5, WIN_CURRENT, 0, CLASS_REC);
    EXPECT_EQ(WinGetChild(WinDesktop(), 0), outside) << "outside a procedure the desktop is the parent";
}

// A procedure that closes itself and then runs an input step of its own (a mini frame).
static int CloseThenStep(WinId w, WinId s, int m, WinParam* p1, WinParam* p2)
{
    RecProc(w, s, m, p1, p2);
    if (m != 71) return 1;
    WinClose(w);
    WinProcessInput();
    stillThere = WinIsWindow(w) && WinGetData() != nullptr;
    return 0;
}

TEST_F(Win, InputStepInsideAProcedureKeepsItsWindowQueued)
{
    WinCreateClass(0x707, 0, 8, CloseThenStep);
    WinId w = WinCreate(0, 0, 10, 10, WIN_DESKTOP, 0, 0x707);
    WinId other = Rec(20, 20, 10, 10);
    WinClose(other);
    stillThere = 0;
    WinSendSystem(w, 71, nullptr, nullptr);
    EXPECT_TRUE(stillThere);
    EXPECT_FALSE(WinIsWindow(other)) << "the inner step destroys what it can";
    EXPECT_TRUE(WinIsWindow(w));
    WinProcessInput();
    EXPECT_FALSE(WinIsWindow(w));
    EXPECT_EQ(Recorded(w, WM_DESTROY), 1);
}
