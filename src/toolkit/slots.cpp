#include "toolkit/slots.h"

#include <cstring>

#include "base/log.h"
#include "base/maths.h"
#include "base/res.h"
#include "kernel/kernel.h"

// One record per slot, all of them in the table resource. The records hold function
// pointers, so the layout is this build's own and never leaves memory.
struct SlotRecord {
    uint8_t inUse;
    uint8_t flags;              // SLOTS_FLAG_*
    uint16_t next, prev;        // active list, SLOTS_NONE = end
    uint16_t ownerHalf;
    uint32_t userValue;
    uint32_t category;
    int32_t pos[3];
    int32_t camPos[3];          // valid while SLOTS_FLAG_CACHED is set
    uint32_t speed;
    int32_t shape;
    uint32_t ownerWord;
    uint32_t freePending;
    uint32_t queryArg;
    SlotsEventFn event;
    SlotsDrawFn draw;
    SlotsQueryFn query;
    int16_t orient[9];          // rows in order, 2.14
    int16_t dir[3];             // unit vector of motion, 2.14
    uint8_t userData[SLOTS_USER_DATA];
};

struct SlotsControl {
    uint32_t id;
    SlotsEventFn fn;
};

struct SlotsServer {
    uint32_t mask;
    SlotsServerFn fn;
};

static struct {
    int installed;
    int count;
    ResId table;
    SlotRecord* slots;          // the table, held open for as long as it exists
    SlotId head, tail;
    int deferDepth;
    int suspended;
    SlotsControl controls[SLOTS_MAX_CONTROLS];
    int controlCount;
    SlotsServer servers[SLOTS_MAX_SERVERS];
    int serverCount;
    int16_t relative[9];        // the shared result of SlotsRelativeOrientation
} slots;

static const int16_t identity[9] = {FIX_ONE, 0, 0, 0, FIX_ONE, 0, 0, 0, FIX_ONE};

// A slot record for a function that was handed an id. An id outside the table is a
// programming error that would otherwise read or write beyond it.
static SlotRecord* Rec(SlotId slot, const char* who)
{
    if (slot >= slots.count) FatalError("%s: Invalid slot %d.", who, (int)slot);
    return &slots.slots[slot];
}

static int InTable(SlotId slot) { return slot < slots.count; }

static void ClearAllCaches(void)
{
    for (int i = 0; i < slots.count; i++) slots.slots[i].flags &= (uint8_t)~SLOTS_FLAG_CACHED;
}

// ============================================================================================
// Install and reset
// ============================================================================================

static void ReleaseTable(void)
{
    if (slots.table && ResIsInstalled()) {
        ResClose(slots.table);
        ResFreeAlways(slots.table);
    }
    slots.table = 0;
    slots.slots = nullptr;
    slots.count = 0;
    slots.head = slots.tail = SLOTS_NONE;
}

void SlotsInstall(int count)
{
    if (count < SLOTS_MIN) FatalError("SlotsInstall: Must be at least two slots.");
    if (count > SLOTS_MAX) FatalError("SlotsInstall: Too many slots.");
    // Every editor start installs again: the old table and everything in it goes.
    ReleaseTable();
    slots.installed = 0;
    ResId table = ResCreate(sizeof(SlotRecord) * (size_t)count);
    if (!table) FatalError("SlotsInstall: No memory for slots.");
    slots.table = table;
    slots.slots = (SlotRecord*)ResOpen(table);
    memset(slots.slots, 0, sizeof(SlotRecord) * (size_t)count);
    slots.count = count;
    slots.controlCount = 0;
    slots.serverCount = 0;
    slots.deferDepth = 0;
    slots.suspended = 0;
    slots.installed = 1;
    SlotsReset();
    RegisterExit(SlotsRemove);
}

void SlotsRemove(void)
{
    // Only the table itself must go, so that a later install never touches a stale id.
    ReleaseTable();
    slots.installed = 0;
}

int SlotsIsInstalled(void) { return slots.installed; }
int SlotsCount(void) { return slots.count; }

static void FreeNow(SlotId slot);

void SlotsReset(void)
{
    if (!slots.installed) return;
    // Immediate even inside a deferral: nothing of the old table may survive a reset.
    for (int i = 0; i < slots.count; i++) {
        slots.slots[i].freePending = 0;
        if (slots.slots[i].inUse) FreeNow((SlotId)i);
    }
    // Whatever the owners' handlers created meanwhile goes too, so the camera lands in slot 0.
    memset(slots.slots, 0, sizeof(SlotRecord) * (size_t)slots.count);
    slots.head = slots.tail = SLOTS_NONE;
    SlotsCreate(0, 0, 0, identity);
}

// ============================================================================================
// Creating and freeing
// ============================================================================================

SlotId SlotsCreate(int32_t x, int32_t y, int32_t z, const int16_t orientation[9])
{
    int i = 0;
    while (i < slots.count && slots.slots[i].inUse) i++;
    if (i >= slots.count) return SLOTS_NONE;
    SlotId id = (SlotId)i;
    SlotRecord* r = &slots.slots[i];
    memset(r, 0, sizeof *r);
    r->inUse = 1;
    r->next = SLOTS_NONE;
    r->prev = slots.tail;
    if (slots.tail != SLOTS_NONE) slots.slots[slots.tail].next = id;
    else slots.head = id;
    slots.tail = id;
    r->pos[0] = x;
    r->pos[1] = y;
    r->pos[2] = z;
    memcpy(r->orient, orientation ? orientation : identity, sizeof r->orient);
    memcpy(r->dir, r->orient + 6, sizeof r->dir);
    return id;
}

static void Unlink(SlotId slot)
{
    SlotRecord* r = &slots.slots[slot];
    if (r->prev != SLOTS_NONE) slots.slots[r->prev].next = r->next;
    else slots.head = r->next;
    if (r->next != SLOTS_NONE) slots.slots[r->next].prev = r->prev;
    else slots.tail = r->prev;
    r->next = r->prev = SLOTS_NONE;
}

static void FreeNow(SlotId slot)
{
    // Marked while it is being freed: a handler that frees it again must not recurse.
    slots.slots[slot].freePending = 1;
    SlotsSendEvent(slot, SLOTS_EV_FREEING, nullptr, nullptr);
    for (int i = 0; i < slots.serverCount; i++)
        if (slots.servers[i].mask == SLOTS_SERVER_FREED) slots.servers[i].fn(SLOTS_SERVER_FREED, slot);
    // A handler of 258 may itself have freed the slot.
    SlotRecord* r = &slots.slots[slot];
    if (!r->inUse) return;
    Unlink(slot);
    r->inUse = 0;
    r->freePending = 0;
    SlotsParam freed = slot;
    SlotsSendEvent(SLOTS_ALL, SLOTS_EV_FREED, &freed, nullptr);
}

void SlotsFree(SlotId slot)
{
    if (!InTable(slot) || !slots.slots[slot].inUse) {
        LogPrintf(LOG_WARN, "SLOTS: free of slot %d, which is not in use, ignored", (int)slot);
        return;
    }
    if (slot == SLOTS_CAMERA) {
        // Everything in camera space hangs on slot 0; a new object there would become the camera.
        LogPrintf(LOG_WARN, "SLOTS: the camera slot cannot be freed");
        return;
    }
    if (slots.deferDepth > 0) {
        slots.slots[slot].freePending = 1;
        return;
    }
    // Pending outside a deferral: already being freed, or next in line at the end of one.
    if (slots.slots[slot].freePending) return;
    FreeNow(slot);
}

void SlotsDeferFree(void)
{
    if (slots.deferDepth >= SLOTS_MAX_DEFER) FatalError("SlotsDeferFree: Suspicious nesting.");
    slots.deferDepth++;
}

void SlotsEndDefer(void)
{
    // An unmatched end must not leave the count below zero and free nothing ever again.
    if (slots.deferDepth <= 0) return;
    if (--slots.deferDepth > 0) return;
    for (int i = 0; i < slots.count; i++) {
        SlotRecord* r = &slots.slots[i];
        if (!r->freePending) continue;
        r->freePending = 0;
        if (r->inUse) FreeNow((SlotId)i);
    }
}

int SlotsDeferDepth(void) { return slots.deferDepth; }

int SlotsValid(SlotId slot)
{
    if (!InTable(slot)) return 1;
    const SlotRecord* r = &slots.slots[slot];
    return r->inUse && !r->freePending ? 0 : 1;
}

SlotId SlotsNext(SlotId after, uint32_t mask)
{
    int i = after == SLOTS_NONE ? 0 : after + 1;
    for (; i < slots.count; i++) {
        const SlotRecord* r = &slots.slots[i];
        if (!r->inUse || r->freePending) continue;
        if (mask && !(r->category & mask)) continue;
        return (SlotId)i;
    }
    return SLOTS_NONE;
}

SlotId SlotsActiveHead(void) { return slots.installed ? slots.head : (SlotId)SLOTS_NONE; }
SlotId SlotsActiveTail(void) { return slots.installed ? slots.tail : (SlotId)SLOTS_NONE; }
SlotId SlotsNextLink(SlotId slot) { return Rec(slot, "SlotsNextLink")->next; }
SlotId SlotsPrevLink(SlotId slot) { return Rec(slot, "SlotsPrevLink")->prev; }

// ============================================================================================
// Controls and servers
// ============================================================================================

void SlotsRegisterControl(uint32_t id, SlotsEventFn fn)
{
    for (int i = 0; i < slots.controlCount; i++) {
        if (slots.controls[i].id != id) continue;
        if (slots.controls[i].fn != fn) FatalError("SlotsRegisterControl: Duplicate ID, different function!");
        return;
    }
    if (slots.controlCount >= SLOTS_MAX_CONTROLS) FatalError("SlotsRegisterControl: List full.");
    slots.controls[slots.controlCount].id = id;
    slots.controls[slots.controlCount].fn = fn;
    slots.controlCount++;
}

SlotsEventFn SlotsFindControl(uint32_t id)
{
    for (int i = 0; i < slots.controlCount; i++)
        if (slots.controls[i].id == id) return slots.controls[i].fn;
    return nullptr;
}

void SlotsAddServer(uint32_t mask, SlotsServerFn fn)
{
    if (mask != SLOTS_SERVER_FREED) FatalError("SlotsAddServer: Invalid event mask.");
    for (int i = 0; i < slots.serverCount; i++) {
        if (slots.servers[i].fn == fn) {
            slots.servers[i].mask = mask;
            return;
        }
    }
    if (slots.serverCount >= SLOTS_MAX_SERVERS) FatalError("SlotsAddServer: Server list is full.");
    slots.servers[slots.serverCount].mask = mask;
    slots.servers[slots.serverCount].fn = fn;
    slots.serverCount++;
}

// ============================================================================================
// Events
// ============================================================================================

static int SendOne(SlotId slot, int event, SlotsParam* p1, SlotsParam* p2)
{
    if (!InTable(slot)) return 1;
    SlotRecord* r = &slots.slots[slot];
    if (!r->inUse) return 1;
    if ((event == SLOTS_EV_QUERY || event == SLOTS_EV_QUERYREQ) && r->query) {
        SlotsParam arg = r->queryArg;
        return r->query(slot, event, p1, &arg);
    }
    if (!r->event) return 1;
    SlotsParam z1 = 0, z2 = 0;
    return r->event(slot, event, p1 ? p1 : &z1, p2 ? p2 : &z2);
}

int SlotsSendEvent(SlotId dest, int event, SlotsParam* p1, SlotsParam* p2)
{
    if (slots.suspended) return 1;
    if (dest != SLOTS_ALL) return SendOne(dest, event, p1, p2);
    // Each recipient gets its own copy, so one handler cannot change what the next one sees.
    // A handler may free or create slots: in-use is checked at every index.
    SlotsParam v1 = p1 ? *p1 : 0, v2 = p2 ? *p2 : 0;
    for (int i = 0; i < slots.count; i++) {
        if (!slots.slots[i].inUse) continue;
        SlotsParam c1 = v1, c2 = v2;
        SendOne((SlotId)i, event, &c1, &c2);
        if (slots.suspended) break;
    }
    return 0;
}

// Sends an event down the active list. Callers hold a deferral, so the links do not change
// under the walk except through a reset, after which the walk stops.
static void SendActive(int event, SlotsParam v1, SlotsParam v2)
{
    SlotId s = slots.head;
    while (s != SLOTS_NONE && InTable(s)) {
        SlotsParam c1 = v1, c2 = v2;
        SlotsSendEvent(s, event, &c1, &c2);
        if (!slots.slots[s].inUse) break;
        s = slots.slots[s].next;
    }
}

void SlotsNotifyActive(void)
{
    SlotsDeferFree();
    SendActive(SLOTS_EV_NOTIFY, 0, 0);
    SlotsEndDefer();
}

int SlotsQuery(SlotId slot, SlotsParam* value)
{
    SlotsParam local = 0;
    if (!value) value = &local;
    if (InTable(slot) && slots.slots[slot].query) return SlotsSendEvent(slot, SLOTS_EV_QUERY, value, nullptr);
    return SlotsSendEvent(slot, SLOTS_EV_QUERYREQ, value, nullptr);
}

void SlotsSuspendEvents(int on) { slots.suspended = on != 0; }
int SlotsEventsSuspended(void) { return slots.suspended; }

// ============================================================================================
// Per-frame passes and drawing
// ============================================================================================

void SlotsFrame(uint32_t elapsed, uint32_t frameTime)
{
    SlotsParam e = (SlotsParam)elapsed, t = (SlotsParam)frameTime;
    SlotsSendEvent(SLOTS_ALL, SLOTS_EV_FRAME, &e, &t);
    SlotsDeferFree();
    SendActive(SLOTS_EV_ACTIVE, e, t);
    SlotsEndDefer();
}

void SlotsDrawPass(void)
{
    for (int i = 0; i < slots.count; i++) {
        SlotRecord* r = &slots.slots[i];
        if (!r->inUse || (r->flags & SLOTS_FLAG_HIDDEN)) continue;
        if (r->draw) {
            r->draw((SlotId)i);
        } else {
            SlotsParam shape = r->shape;
            SlotsSendEvent((SlotId)i, SLOTS_EV_DRAW, &shape, nullptr);
        }
    }
}

// ============================================================================================
// Fields
// ============================================================================================

static void Moved(SlotId slot)
{
    if (slot == SLOTS_CAMERA) ClearAllCaches();
    else slots.slots[slot].flags &= (uint8_t)~SLOTS_FLAG_CACHED;
}

void SlotsSetPosition(SlotId slot, int32_t x, int32_t y, int32_t z)
{
    SlotRecord* r = Rec(slot, "SlotsSetPosition");
    r->pos[0] = x;
    r->pos[1] = y;
    r->pos[2] = z;
    Moved(slot);
}

void SlotsSetPositionV(SlotId slot, const int32_t pos[3]) { SlotsSetPosition(slot, pos[0], pos[1], pos[2]); }

void SlotsGetPosition(SlotId slot, int32_t out[3])
{
    memcpy(out, Rec(slot, "SlotsGetPosition")->pos, sizeof(int32_t) * 3);
}

void SlotsSetOrientation(SlotId slot, const int16_t m[9])
{
    memcpy(Rec(slot, "SlotsSetOrientation")->orient, m, sizeof(int16_t) * 9);
    // Only the camera's orientation enters camera-space positions.
    if (slot == SLOTS_CAMERA) ClearAllCaches();
}

void SlotsGetOrientation(SlotId slot, int16_t out[9])
{
    memcpy(out, Rec(slot, "SlotsGetOrientation")->orient, sizeof(int16_t) * 9);
}

void SlotsSetVelocity(SlotId slot, int32_t x, int32_t y, int32_t z)
{
    SlotRecord* r = Rec(slot, "SlotsSetVelocity");
    if (x == 0 && y == 0 && z == 0) {
        r->speed = 0;
        memcpy(r->dir, r->orient + 6, sizeof r->dir);
        SlotsSendEvent(slot, SLOTS_EV_STOPPED, nullptr, nullptr);
        return;
    }
    // Three squares of 32-bit values stay below 3 * 2^62, inside an unsigned 64-bit sum.
    uint64_t sq = (uint64_t)((int64_t)x * x) + (uint64_t)((int64_t)y * y) + (uint64_t)((int64_t)z * z);
    r->speed = IntSqrt(sq);
    UnitVector(x, y, z, r->dir);
}

uint32_t SlotsSpeed(SlotId slot) { return Rec(slot, "SlotsSpeed")->speed; }

void SlotsSetDirection(SlotId slot, int16_t x, int16_t y, int16_t z)
{
    SlotRecord* r = Rec(slot, "SlotsSetDirection");
    r->dir[0] = x;
    r->dir[1] = y;
    r->dir[2] = z;
}

void SlotsGetDirection(SlotId slot, int16_t out[3])
{
    memcpy(out, Rec(slot, "SlotsGetDirection")->dir, sizeof(int16_t) * 3);
}

void SlotsSetShape(SlotId slot, int32_t shape) { Rec(slot, "SlotsSetShape")->shape = shape; }
int32_t SlotsShape(SlotId slot) { return Rec(slot, "SlotsShape")->shape; }
void SlotsSetUserValue(SlotId slot, uint32_t value) { Rec(slot, "SlotsSetUserValue")->userValue = value; }
uint32_t SlotsUserValue(SlotId slot) { return Rec(slot, "SlotsUserValue")->userValue; }
void SlotsSetCategory(SlotId slot, uint32_t mask) { Rec(slot, "SlotsSetCategory")->category = mask; }
uint32_t SlotsCategory(SlotId slot) { return Rec(slot, "SlotsCategory")->category; }
void SlotsSetOwnerWord(SlotId slot, uint32_t value) { Rec(slot, "SlotsSetOwnerWord")->ownerWord = value; }
uint32_t SlotsOwnerWord(SlotId slot) { return Rec(slot, "SlotsOwnerWord")->ownerWord; }
void SlotsSetOwnerHalf(SlotId slot, uint16_t value) { Rec(slot, "SlotsSetOwnerHalf")->ownerHalf = value; }
uint16_t SlotsOwnerHalf(SlotId slot) { return Rec(slot, "SlotsOwnerHalf")->ownerHalf; }

void SlotsSetEventFn(SlotId slot, SlotsEventFn fn)
{
    Rec(slot, "SlotsSetEventFn")->event = fn;
    SlotsSendEvent(slot, SLOTS_EV_SETFUNC, nullptr, nullptr);
}

SlotsEventFn SlotsGetEventFn(SlotId slot) { return Rec(slot, "SlotsGetEventFn")->event; }
void SlotsSetDrawFn(SlotId slot, SlotsDrawFn fn) { Rec(slot, "SlotsSetDrawFn")->draw = fn; }
SlotsDrawFn SlotsGetDrawFn(SlotId slot) { return Rec(slot, "SlotsGetDrawFn")->draw; }

void SlotsSetQueryFn(SlotId slot, SlotsQueryFn fn, uint32_t arg)
{
    SlotRecord* r = Rec(slot, "SlotsSetQueryFn");
    r->query = fn;
    r->queryArg = arg;
}

SlotsQueryFn SlotsGetQueryFn(SlotId slot) { return Rec(slot, "SlotsGetQueryFn")->query; }
uint32_t SlotsQueryArg(SlotId slot) { return Rec(slot, "SlotsQueryArg")->queryArg; }

void SlotsSetHidden(SlotId slot, int on)
{
    SlotRecord* r = Rec(slot, "SlotsSetHidden");
    if (on) r->flags |= SLOTS_FLAG_HIDDEN;
    else r->flags &= (uint8_t)~SLOTS_FLAG_HIDDEN;
}

int SlotsHidden(SlotId slot) { return (Rec(slot, "SlotsHidden")->flags & SLOTS_FLAG_HIDDEN) != 0; }
int SlotsInUse(SlotId slot) { return InTable(slot) && slots.slots[slot].inUse; }
uint8_t SlotsFlags(SlotId slot) { return Rec(slot, "SlotsFlags")->flags; }
void* SlotsUserData(SlotId slot) { return Rec(slot, "SlotsUserData")->userData; }

// ============================================================================================
// Camera space and motion
// ============================================================================================

// Row i of the camera's matrix dotted with the offset from the camera: the three products
// are summed in 64 bits and shifted once, and the offset itself is taken in 64 bits so that
// points far on either side of the camera do not overflow.
static void ToCamera(const int32_t p[3], int32_t out[3])
{
    const SlotRecord* cam = &slots.slots[SLOTS_CAMERA];
    int64_t d[3];
    for (int k = 0; k < 3; k++) d[k] = (int64_t)p[k] - cam->pos[k];
    for (int i = 0; i < 3; i++) {
        const int16_t* row = cam->orient + 3 * i;
        int64_t sum = d[0] * row[0] + d[1] * row[1] + d[2] * row[2];
        out[i] = (int32_t)(sum >> FIX_SHIFT);
    }
}

void SlotsCameraPos(SlotId slot, int32_t out[3])
{
    SlotRecord* r = Rec(slot, "SlotsCameraPos");
    if (!(r->flags & SLOTS_FLAG_CACHED)) {
        ToCamera(r->pos, r->camPos);
        r->flags |= SLOTS_FLAG_CACHED;
    }
    memcpy(out, r->camPos, sizeof(int32_t) * 3);
}

void SlotsWorldToCamera(int32_t x, int32_t y, int32_t z, int32_t out[3])
{
    if (!slots.count) FatalError("SlotsWorldToCamera: Not installed.");
    int32_t p[3] = {x, y, z};
    ToCamera(p, out);
}

const int16_t* SlotsRelativeOrientation(SlotId slot)
{
    const SlotRecord* r = Rec(slot, "SlotsRelativeOrientation");
    const int16_t* c = slots.slots[SLOTS_CAMERA].orient;
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) {
            int64_t sum = 0;
            for (int k = 0; k < 3; k++) sum += (int64_t)c[3 * i + k] * r->orient[3 * k + j];
            sum >>= FIX_SHIFT;
            // Rotations stay within +-1.0; a malformed matrix saturates rather than wraps.
            if (sum > INT16_MAX) sum = INT16_MAX;
            if (sum < INT16_MIN) sum = INT16_MIN;
            slots.relative[3 * i + j] = (int16_t)sum;
        }
    }
    return slots.relative;
}

void SlotsMove(SlotId slot, uint32_t frameTime)
{
    SlotRecord* r = Rec(slot, "SlotsMove");
    // Unsigned, the first product cannot overflow. A step past 2^47 units is held there so
    // the second product stays inside 64 bits; positions wrap at 32 bits long before that.
    uint64_t ustep = ((uint64_t)r->speed * frameTime) >> FIX_SHIFT;
    int64_t step = ustep > (1ull << 47) ? (int64_t)(1ull << 47) : (int64_t)ustep;
    int changed = 0;
    for (int k = 0; k < 3; k++) {
        int64_t delta = (step * r->dir[k]) >> FIX_SHIFT;
        if (!delta) continue;
        r->pos[k] = (int32_t)(uint32_t)((uint32_t)r->pos[k] + (uint32_t)delta);
        changed = 1;
    }
    if (changed) Moved(slot);
}
