#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "base/maths.h"
#include "base/res.h"
#include "kernel/kernel.h"
#include "toolkit/slots.h"

// ---- Helpers: a recording event function, a server, a draw function

struct Seen {
    int slot, event;
    SlotsParam p1, p2;
    bool operator==(const Seen& o) const { return slot == o.slot && event == o.event && p1 == o.p1 && p2 == o.p2; }
};
static std::vector<Seen> seen;
static std::vector<int> served;
static std::vector<int> drawn;
static SlotId freeOnActive = SLOTS_NONE;
static int validDuringPass = -1, inUseDuringPass = -1;

static int Record(SlotId slot, int event, SlotsParam* p1, SlotsParam* p2)
{
    seen.push_back({slot, event, *p1, *p2});
    if (event == SLOTS_EV_ACTIVE && freeOnActive != SLOTS_NONE && slot != freeOnActive) {
        SlotId victim = freeOnActive;
        freeOnActive = SLOTS_NONE;
        SlotsFree(victim);
        validDuringPass = SlotsValid(victim);
        inUseDuringPass = SlotsInUse(victim);
    }
    // Broadcast copies: scribbling on them must not reach the next recipient.
    *p1 = 12345;
    return 7;
}

static void Server(uint32_t mask, SlotId slot)
{
    EXPECT_EQ(1u, mask);
    served.push_back(slot);
    seen.push_back({slot, -1, 0, 0});   // marks where in the sequence the server ran
}

static void Draw(SlotId slot) { drawn.push_back(slot); }

static std::vector<int> EventsOf(int event)
{
    std::vector<int> out;
    for (const Seen& s : seen)
        if (s.event == event) out.push_back(s.slot);
    return out;
}

static std::vector<int> ActiveOrder(void)
{
    std::vector<int> out;
    for (SlotId s = SlotsActiveHead(); s != SLOTS_NONE && out.size() < 100; s = SlotsNextLink(s)) out.push_back(s);
    // The back links must tell the same story.
    std::vector<int> back;
    for (SlotId s = SlotsActiveTail(); s != SLOTS_NONE && back.size() < 100; s = SlotsPrevLink(s))
        back.insert(back.begin(), s);
    EXPECT_EQ(out, back);
    return out;
}

static void RotY(int32_t angle, int16_t m[9])
{
    int16_t c = (int16_t)FixCos(angle), s = (int16_t)FixSin(angle);
    int16_t r[9] = {c, 0, (int16_t)-s, 0, FIX_ONE, 0, s, 0, c};
    memcpy(m, r, sizeof r);
}

class Slots : public testing::Test {
protected:
    void SetUp() override
    {
        ResRemove();
        ResInstall(100);
        seen.clear();
        served.clear();
        drawn.clear();
        freeOnActive = SLOTS_NONE;
        validDuringPass = inUseDuringPass = -1;
    }
    void TearDown() override
    {
        SlotsRemove();
        ResRemove();
    }
};

// ---- Table, lists, frees

static SlotId New(void) { return SlotsCreate(0, 0, 0, nullptr); }

TEST_F(Slots, TableFillsUpAndReusesClearedSlots)
{
    SlotsInstall(4);
    EXPECT_TRUE(SlotsInUse(SLOTS_CAMERA));
    int16_t o[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9}, d[3];
    EXPECT_EQ(1, SlotsCreate(10, 20, 30, o));
    EXPECT_EQ(2, New());
    EXPECT_EQ(3, New()) << "camera plus three fill a 4-slot table";
    EXPECT_EQ(SLOTS_NONE, New());
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3}), ActiveOrder());
    SlotsGetDirection(1, d);
    EXPECT_EQ((std::vector<int>{7, 8, 9}), std::vector<int>(d, d + 3)) << "the direction takes the third row";

    memset(SlotsUserData(2), 0xAB, SLOTS_USER_DATA);
    SlotsSetHidden(2, 1);
    SlotsFree(2);
    EXPECT_EQ((std::vector<int>{0, 1, 3}), ActiveOrder());
    EXPECT_EQ(2, New());
    EXPECT_EQ((std::vector<int>{0, 1, 3, 2}), ActiveOrder()) << "linked at the end";
    EXPECT_FALSE(SlotsHidden(2));
    const uint8_t* u = (const uint8_t*)SlotsUserData(2);
    EXPECT_EQ(std::vector<uint8_t>(SLOTS_USER_DATA, 0), std::vector<uint8_t>(u, u + SLOTS_USER_DATA));
    SlotsFree(2);
    EXPECT_EQ(3, SlotsActiveTail());

    // The next editor start installs again: a fresh table, the old resource gone.
    int used = ResUsedCount();
    SlotsAddServer(1, Server);
    SlotsRegisterControl(5, Record);
    SlotsSuspendEvents(1);
    SlotsDeferFree();
    SlotsInstall(6);
    EXPECT_EQ(used, ResUsedCount());
    EXPECT_EQ((std::vector<int>{0}), ActiveOrder());
    EXPECT_EQ(nullptr, SlotsFindControl(5));
    EXPECT_FALSE(SlotsEventsSuspended());
    SlotsFree(New());
    EXPECT_TRUE(served.empty()) << "no deferral and no servers survive";

    KernelRemove();
    EXPECT_FALSE(SlotsIsInstalled()) << "the install registered the removal";
    EXPECT_EQ(SLOTS_NONE, New());
}

static int FreeSelfOn258(SlotId slot, int event, SlotsParam*, SlotsParam*)
{
    seen.push_back({slot, event, 0, 0});
    if (event == SLOTS_EV_FREEING) SlotsFree(slot);
    return 0;
}

TEST_F(Slots, RefusedFreesAndReset)
{
    SlotsInstall(4);
    SlotId a = New(), b = New();
    SlotsAddServer(1, Server);
    SlotsFree(SLOTS_CAMERA);
    SlotsFree(a);
    SlotsFree(a);
    SlotsFree(3);
    SlotsFree(500);
    EXPECT_TRUE(SlotsInUse(SLOTS_CAMERA));
    EXPECT_EQ((std::vector<int>{a}), served) << "the camera, free slots and strange ids are refused";
    EXPECT_EQ((std::vector<int>{0, b}), ActiveOrder());

    SlotsSetEventFn(b, FreeSelfOn258);
    SlotsFree(b);
    EXPECT_FALSE(SlotsInUse(b));
    EXPECT_EQ(1u, EventsOf(SLOTS_EV_FREEING).size()) << "freeing itself from 258 does not recurse";

    a = New(), b = New();
    SlotsSetEventFn(a, Record);
    SlotsSetEventFn(b, Record);
    SlotsSetPosition(SLOTS_CAMERA, 5, 5, 5);
    seen.clear();
    served.clear();
    SlotsReset();
    EXPECT_EQ((std::vector<int>{0, a, b}), served);
    EXPECT_EQ((std::vector<int>{a, b}), EventsOf(SLOTS_EV_FREEING));
    // The camera's free reaches a and b, a's reaches b, b's nobody left in use.
    EXPECT_EQ((std::vector<int>{a, b, b}), EventsOf(SLOTS_EV_FREED));
    EXPECT_EQ((std::vector<int>{0}), ActiveOrder());
    int32_t p[3];
    SlotsGetPosition(SLOTS_CAMERA, p);
    EXPECT_EQ(0, p[0]);
}

// ---- Per-frame passes, deferral, events

TEST_F(Slots, FreeInsideActivePassWaitsForItsEnd)
{
    SlotsInstall(4);
    SlotId a = New(), b = New(), c = New();
    for (SlotId s : {a, b, c}) SlotsSetEventFn(s, Record);
    EXPECT_EQ((std::vector<int>{a, b, c}), EventsOf(SLOTS_EV_SETFUNC));
    SlotsAddServer(1, Server);
    seen.clear();

    freeOnActive = b;
    SlotsFrame(40, 655);
    EXPECT_EQ(1, validDuringPass) << "a slot waiting to be freed is not valid";
    EXPECT_EQ(1, inUseDuringPass) << "but it stays in place during the pass";
    EXPECT_EQ(0, SlotsDeferDepth());
    std::vector<Seen> expected = {
        {a, SLOTS_EV_FRAME, 40, 655},  {b, SLOTS_EV_FRAME, 40, 655},  {c, SLOTS_EV_FRAME, 40, 655},
        {a, SLOTS_EV_ACTIVE, 40, 655}, {b, SLOTS_EV_ACTIVE, 40, 655}, {c, SLOTS_EV_ACTIVE, 40, 655},
        {b, SLOTS_EV_FREEING, 0, 0},   {b, -1, 0, 0},                 {a, SLOTS_EV_FREED, b, 0},
        {c, SLOTS_EV_FREED, b, 0},
    };
    EXPECT_EQ(expected, seen);
    EXPECT_EQ((std::vector<int>{0, a, c}), ActiveOrder());
}

TEST_F(Slots, NestedDeferralFreesAtOutermostEndInIndexOrder)
{
    SlotsInstall(5);
    SlotId a = New(), b = New(), c = New();
    SlotsAddServer(1, Server);
    SlotsDeferFree();
    SlotsDeferFree();
    SlotsFree(c);
    SlotsFree(a);
    EXPECT_EQ(SLOTS_NONE, SlotsNext(b, 0)) << "searches skip slots waiting to be freed";
    SlotsEndDefer();
    EXPECT_TRUE(served.empty());
    SlotsEndDefer();
    EXPECT_EQ((std::vector<int>{a, c}), served);
    EXPECT_EQ((std::vector<int>{0, b}), ActiveOrder());

    SlotsEndDefer();   // unmatched
    SlotsFree(b);
    EXPECT_FALSE(SlotsInUse(b)) << "an unmatched end does not leave frees deferred for ever";
}

TEST_F(Slots, HiddenSlotIsNotDrawnButStillTicks)
{
    SlotsInstall(4);
    SlotId a = New(), b = New(), c = New();
    for (SlotId s : {a, b, c}) SlotsSetEventFn(s, Record);
    SlotsSetDrawFn(a, Draw);
    SlotsSetDrawFn(b, Draw);
    SlotsSetShape(c, SLOTS_SHAPE_CURRENT);
    SlotsSetHidden(b, 1);
    seen.clear();
    SlotsDrawPass();
    EXPECT_EQ((std::vector<int>{a}), drawn);
    EXPECT_EQ((std::vector<Seen>{{c, SLOTS_EV_DRAW, -1, 0}}), seen) << "no draw function: 266 with the shape";

    SlotsSetHidden(c, 1);
    seen.clear();
    SlotsDrawPass();
    EXPECT_TRUE(seen.empty());
    SlotsFrame(1, 2);
    EXPECT_EQ((std::vector<int>{a, b, c}), EventsOf(SLOTS_EV_FRAME));
    EXPECT_EQ((std::vector<int>{a, b, c}), EventsOf(SLOTS_EV_ACTIVE));
}

static int Answer(SlotId, int event, SlotsParam* p1, SlotsParam* p2)
{
    seen.push_back({0, event, *p1, *p2});
    *p1 = 4242;
    return 0;
}

TEST_F(Slots, SendingSuspendingAndQueries)
{
    SlotsInstall(4);
    SlotId a = New(), b = New();
    SlotsSetEventFn(a, Record);
    SlotsSetEventFn(b, Record);
    SlotsAddServer(1, Server);
    seen.clear();
    SlotsSuspendEvents(1);
    EXPECT_EQ(1, SlotsSendEvent(a, 300, nullptr, nullptr));
    SlotsFrame(1, 2);
    SlotsNotifyActive();
    SlotsSetEventFn(a, Record);
    SlotsFree(a);
    EXPECT_EQ((std::vector<Seen>{{a, -1, 0, 0}}), seen) << "only the server hears of the free";
    SlotsSuspendEvents(0);

    SlotsParam v = 3;
    EXPECT_EQ(7, SlotsSendEvent(b, 300, &v, nullptr));
    EXPECT_EQ(12345, v) << "a single destination answers through p1";
    v = 3;
    EXPECT_EQ(0, SlotsSendEvent(SLOTS_ALL, 301, &v, nullptr));
    EXPECT_EQ(3, v) << "a broadcast hands out copies";
    EXPECT_EQ(1, SlotsSendEvent(a, 300, nullptr, nullptr)) << "a free slot answers 1";
    EXPECT_EQ(1, SlotsSendEvent(SLOTS_CAMERA, 300, nullptr, nullptr)) << "no event function answers 1";

    seen.clear();
    v = 0;
    EXPECT_EQ(7, SlotsQuery(b, &v));
    SlotsSetQueryFn(b, Answer, 77);
    EXPECT_EQ(0, SlotsQuery(b, &v));
    EXPECT_EQ(4242, v);
    EXPECT_EQ((std::vector<Seen>{{b, SLOTS_EV_QUERYREQ, 0, 0}, {0, SLOTS_EV_QUERY, 12345, 77}}), seen);
}

// ---- Fatal texts

template <int N> static int NumberedEvent(SlotId, int, SlotsParam*, SlotsParam*) { return N; }
template <int N> static void NumberedServer(uint32_t, SlotId) {}
template <int... N> static void RegisterControls(std::integer_sequence<int, N...>)
{
    (SlotsRegisterControl(N, NumberedEvent<N>), ...);
}
template <int... N> static void AddServers(std::integer_sequence<int, N...>) { (SlotsAddServer(1, NumberedServer<N>), ...); }

static void InstallWithoutResources(void)
{
    ResRemove();
    SlotsInstall(4);
}
static void DeferSevenDeep(void)
{
    for (int i = 0; i < 7; i++) SlotsDeferFree();
}
static void DuplicateControl(void)
{
    SlotsRegisterControl(1, NumberedEvent<1>);
    SlotsRegisterControl(1, NumberedEvent<2>);
}

TEST_F(Slots, FatalTexts)
{
    EXPECT_EXIT(SlotsInstall(1), testing::ExitedWithCode(1), "FATAL: SlotsInstall: Must be at least two slots\\.");
    EXPECT_EXIT(SlotsInstall(1001), testing::ExitedWithCode(1), "FATAL: SlotsInstall: Too many slots\\.");
    EXPECT_EXIT(InstallWithoutResources(), testing::ExitedWithCode(1), "FATAL: SlotsInstall: No memory for slots\\.");
    SlotsInstall(2);
    SlotsInstall(1000);
    for (int i = 0; i < SLOTS_MAX_DEFER; i++) SlotsDeferFree();
    for (int i = 0; i < SLOTS_MAX_DEFER; i++) SlotsEndDefer();
    EXPECT_EXIT(DeferSevenDeep(), testing::ExitedWithCode(1), "FATAL: SlotsDeferFree: Suspicious nesting\\.");

    RegisterControls(std::make_integer_sequence<int, 40>{});
    SlotsRegisterControl(39, NumberedEvent<39>);   // the same pair again
    EXPECT_EQ(NumberedEvent<39>, SlotsFindControl(39));
    EXPECT_EXIT(SlotsRegisterControl(40, Record), testing::ExitedWithCode(1), "FATAL: SlotsRegisterControl: List full\\.");
    EXPECT_EXIT(DuplicateControl(), testing::ExitedWithCode(1),
                "FATAL: SlotsRegisterControl: Duplicate ID, different function!");

    EXPECT_EXIT(SlotsAddServer(2, Server), testing::ExitedWithCode(1), "FATAL: SlotsAddServer: Invalid event mask\\.");
    AddServers(std::make_integer_sequence<int, 9>{});
    SlotsAddServer(1, Server);
    SlotsAddServer(1, Server);   // already listed: not a second entry
    EXPECT_EXIT(SlotsAddServer(1, NumberedServer<99>), testing::ExitedWithCode(1),
                "FATAL: SlotsAddServer: Server list is full\\.");

    EXPECT_EXIT(SlotsUserData(1000), testing::ExitedWithCode(1), "FATAL: SlotsUserData: Invalid slot 1000\\.");
}

// ---- Search, velocity, motion, camera space

TEST_F(Slots, SearchByCategory)
{
    SlotsInstall(6);
    SlotId a = New(), b = New(), c = New(), d = New();
    SlotsSetCategory(a, 1);
    SlotsSetCategory(b, 6);
    SlotsSetCategory(c, 4);
    SlotsFree(d);
    EXPECT_EQ(0, SlotsNext(SLOTS_NONE, 0)) << "from the start the camera comes first";
    // A slot is found when its mask shares a bit with the one asked for.
    EXPECT_EQ((std::vector<int>{SlotsNext(SLOTS_NONE, 4), SlotsNext(b, 4), SlotsNext(c, 4), SlotsNext(a, 2),
                                SlotsNext(SLOTS_NONE, 5)}),
              (std::vector<int>{b, c, SLOTS_NONE, b, a}));
    EXPECT_EQ(SLOTS_NONE, SlotsNext(c, 0)) << "free slots are not found";
    EXPECT_EQ((std::vector<int>{1, 1, 0}), (std::vector<int>{SlotsValid(d), SlotsValid(900), SlotsValid(a)}));
}

static std::vector<int> Position(SlotId s)
{
    int32_t p[3];
    SlotsGetPosition(s, p);
    return {p[0], p[1], p[2]};
}

static std::vector<int> InCamera(SlotId s)
{
    int32_t p[3];
    SlotsCameraPos(s, p);
    return {p[0], p[1], p[2]};
}

static std::vector<int> Direction(SlotId s)
{
    int16_t d[3];
    SlotsGetDirection(s, d);
    return {d[0], d[1], d[2]};
}

static bool Cached(SlotId s) { return SlotsFlags(s) & SLOTS_FLAG_CACHED; }

TEST_F(Slots, VelocityAndMotionStep)
{
    SlotsInstall(4);
    int16_t o[9] = {0, 0, FIX_ONE, 0, FIX_ONE, 0, -FIX_ONE, 0, 0};
    SlotId a = SlotsCreate(1000, 0, 0, o), b = SlotsCreate(0, 0, 2000, nullptr);
    SlotsSetEventFn(a, Record);
    SlotsSetVelocity(a, 3, 3, 3);
    EXPECT_EQ(5u, SlotsSpeed(a)) << "sqrt(27) = 5.19, truncated";
    SlotsSetVelocity(a, 0, -7, 0);
    EXPECT_EQ(Direction(a), (std::vector<int>{0, -FIX_ONE, 0}));
    SlotsSetVelocity(a, INT32_MAX, INT32_MAX, INT32_MAX);
    EXPECT_EQ(3719550785u, SlotsSpeed(a)) << "squares summed without overflow";
    seen.clear();
    SlotsSetVelocity(a, 0, 0, 0);
    EXPECT_EQ(Direction(a), (std::vector<int>{-FIX_ONE, 0, 0})) << "stopped: back to the third row";
    EXPECT_EQ(0u, SlotsSpeed(a));
    EXPECT_EQ((std::vector<int>{a}), EventsOf(SLOTS_EV_STOPPED));

    SlotsSetVelocity(a, 300, 0, 400);
    EXPECT_EQ(Direction(a), (std::vector<int>{9830, 0, 13107})) << "300 * 16384 / 500 = 9830.4";
    EXPECT_EQ(500u, SlotsSpeed(a));
    InCamera(a);
    InCamera(b);
    SlotsMove(a, 8192);   // half a second: step = 500 * 8192 >> 14 = 250
    EXPECT_EQ(Position(a), (std::vector<int>{1149, 0, 199})) << "250 * 9830 >> 14 = 149.99";
    EXPECT_FALSE(Cached(a));
    EXPECT_TRUE(Cached(b)) << "moving one slot leaves the others cached";
    EXPECT_EQ(InCamera(a)[0], 1149) << "recomputed on the next query";

    SlotsSetDirection(a, -9830, 0, 0);
    SlotsMove(a, 8192);
    EXPECT_EQ(Position(a)[0], 999) << "-2457500 >> 14 shifts arithmetically to -150";
    SlotsMove(b, 16384);
    EXPECT_TRUE(Cached(b)) << "a slot that does not move keeps its cache";
    SlotsSetPosition(a, INT32_MAX, 0, 0);
    SlotsSetVelocity(a, 1, 0, 0);
    SlotsMove(a, 16384);
    EXPECT_EQ(Position(a)[0], INT32_MIN) << "positions wrap at 32 bits";

    SlotsSetVelocity(SLOTS_CAMERA, 0, 0, 100);
    InCamera(a);
    SlotsMove(SLOTS_CAMERA, 16384);
    EXPECT_FALSE(Cached(a) || Cached(b)) << "a camera step clears every cache";
    EXPECT_EQ(InCamera(b)[2], 1900);
}

TEST_F(Slots, CameraSpaceFollowsCameraTurnsAndMoves)
{
    SlotsInstall(4);
    SlotId a = SlotsCreate(130, 50, 200, nullptr), b = SlotsCreate(100, 0, -300, nullptr);
    EXPECT_EQ(InCamera(a), (std::vector<int>{130, 50, 200})) << "an identity camera at the origin changes nothing";
    InCamera(b);
    SlotsSetPosition(SLOTS_CAMERA, 100, 0, 0);
    EXPECT_FALSE(Cached(a) || Cached(b));
    InCamera(a);
    InCamera(b);

    int16_t m[9];
    RotY(0x4000, m);   // rows (0, 0, -1), (0, 1, 0), (1, 0, 0)
    SlotsSetOrientation(SLOTS_CAMERA, m);
    EXPECT_FALSE(Cached(a) || Cached(b));
    EXPECT_EQ(InCamera(a), (std::vector<int>{-200, 50, 30})) << "offset (30, 50, 200)";
    EXPECT_EQ(InCamera(b), (std::vector<int>{300, 0, 0})) << "offset (0, 0, -300)";
    int32_t p[3];
    SlotsWorldToCamera(100, 7, 10, p);
    EXPECT_EQ((std::vector<int>{-10, 7, 0}), std::vector<int>(p, p + 3));
    SlotsSetOrientation(b, m);
    EXPECT_TRUE(Cached(b)) << "turning the slot itself keeps its position";

    // Relative orientation: camera times slot. Undoing the camera's turn gives identity.
    int16_t back[9], rotX[9] = {FIX_ONE, 0, 0, 0, 0, FIX_ONE, 0, -FIX_ONE, 0};
    RotY(-0x4000, back);
    SlotsSetOrientation(a, back);
    const int16_t* r = SlotsRelativeOrientation(a);
    EXPECT_EQ((std::vector<int>{FIX_ONE, 0, 0, 0, FIX_ONE, 0, 0, 0, FIX_ONE}), std::vector<int>(r, r + 9));
    SlotsSetOrientation(a, rotX);
    r = SlotsRelativeOrientation(a);
    // Slot times camera would give rows (0, 0, -1), (1, 0, 0), (0, -1, 0).
    EXPECT_EQ((std::vector<int>{0, FIX_ONE, 0, 0, 0, FIX_ONE, FIX_ONE, 0, 0}), std::vector<int>(r, r + 9));

    // Points far on both sides of the camera: an offset of 4e9 must not wrap before the
    // half-scale matrix brings it back to 2e9.
    int16_t half[9] = {8192, 0, 0, 0, 8192, 0, 0, 0, 8192};
    SlotsSetOrientation(SLOTS_CAMERA, half);
    SlotsSetPosition(SLOTS_CAMERA, 0, -2000000000, 0);
    SlotsSetPosition(a, 0, 2000000000, 0);
    EXPECT_EQ(InCamera(a), (std::vector<int>{0, 2000000000, 0}));
}
