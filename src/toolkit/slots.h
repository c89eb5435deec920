// Slots: the table of placed objects. Each slot holds a world position, a 3 x 3 orientation,
// a motion (speed along a unit direction), the shape it shows and the functions that handle
// its events and draw it. Slot 0 is always the camera; every other slot's position is also
// available in camera space, computed on demand and cached until the camera or the slot
// moves. Once a frame every slot in use gets event 260 and every slot of the active list
// event 261. Frees asked for while a pass over the table runs are deferred to the end of the
// outermost deferral. Event servers hear of every freed slot.
//
// Fixed point: orientation and direction components are 2.14 (0x4000 = 1.0) in int16; a
// product is (a * b) >> 14 formed in 64 bits. Positions are int32 world units.
//
// The whole table lives in one resource that SlotsInstall creates and keeps open, so the
// addresses of user data stay put until the next install.
#pragma once
#include <cstdint>

typedef uint16_t SlotId;
// Event parameters are pointer-wide signed values (the same width as window message
// parameters), so an event can carry a pointer where one is needed. Functions receive
// pointers to them and may write answers back (event 459 answers in p1).
typedef intptr_t SlotsParam;

// Called with (slot, event, pointer to p1, pointer to p2); the result is the event's answer.
typedef int (*SlotsEventFn)(SlotId slot, int event, SlotsParam* p1, SlotsParam* p2);
typedef void (*SlotsDrawFn)(SlotId slot);
// A query function answers events 459 and 267 in place of the event function. It has the
// event function's form; p2 points to the argument that was stored with it.
typedef SlotsEventFn SlotsQueryFn;
// Told of every slot that is freed: called as (1, slot) before the slot is unlinked.
typedef void (*SlotsServerFn)(uint32_t mask, SlotId slot);

enum {
    SLOTS_NONE = 0x7FFF,        // no slot; also the end mark of the active list
    SLOTS_ALL = 0x7FFE,         // event destination: every slot in use
    SLOTS_CAMERA = 0,
    SLOTS_MIN = 2,
    SLOTS_MAX = 1000,
    SLOTS_USER_DATA = 400,      // bytes of owner data in every slot
    SLOTS_MAX_DEFER = 6,        // deepest deferral nesting
    SLOTS_MAX_CONTROLS = 40,
    SLOTS_MAX_SERVERS = 10,
    SLOTS_SERVER_FREED = 1,     // the only server mask there is
    SLOTS_SHAPE_CURRENT = -1,   // shape: the shape manager's current shape
};

// Events passed to event functions.
enum {
    SLOTS_EV_SETFUNC = 257,     // the event function was just set
    SLOTS_EV_FREEING = 258,     // the slot is about to be freed
    SLOTS_EV_FREED = 259,       // to every slot in use: p1 = the slot that was freed
    SLOTS_EV_FRAME = 260,       // per frame, every slot in use: p1 elapsed ms, p2 frame time (2.14 s)
    SLOTS_EV_ACTIVE = 261,      // per frame, every slot of the active list: as 260
    SLOTS_EV_STOPPED = 264,     // the slot's velocity was set to zero
    SLOTS_EV_NOTIFY = 265,      // to every slot of the active list, on request
    SLOTS_EV_DRAW = 266,        // draw requested, no draw function: p1 = the shape
    SLOTS_EV_QUERYREQ = 267,    // query requested, no query function: p1 points to the answer
    SLOTS_EV_QUERY = 459,       // query for a value: answered in p1
};

// Slot flags.
enum {
    SLOTS_FLAG_CACHED = 1,      // the camera-space position is current
    SLOTS_FLAG_HIDDEN = 2,      // skipped by the draw pass
};

// ---- install ---------------------------------------------------------------------------
// Creates the table of count slots (2 to 1000, fatal otherwise or without memory), clears the
// control registry, the servers, the deferral count and the events-suspended flag, and takes
// slot 0 as the camera. A later call throws the old table away and starts again.
void SlotsInstall(int count);
// Releases the table. Registered with the exit list by SlotsInstall.
void SlotsRemove(void);
int SlotsIsInstalled(void);
int SlotsCount(void);
// Frees every slot in use (owners get 258 and 259, servers are called), then creates the
// camera in slot 0 at the origin with identity orientation.
void SlotsReset(void);

// ---- life of a slot ----------------------------------------------------------------------
// Takes the first free slot, clears it, links it at the end of the active list, sets its
// position and orientation (null = identity); the direction takes the third row. Returns
// SLOTS_NONE when the table is full.
SlotId SlotsCreate(int32_t x, int32_t y, int32_t z, const int16_t orientation[9]);
// During a deferral only marks the slot; otherwise sends 258, calls the servers, unlinks and
// frees the slot and sends 259 to every slot in use. Slot 0 (the camera), free slots and ids
// outside the table are refused.
void SlotsFree(SlotId slot);
// Begins a deferral (fatal when SLOTS_MAX_DEFER are open already).
void SlotsDeferFree(void);
// Ends one; the end of the outermost frees the marked slots in index order.
void SlotsEndDefer(void);
int SlotsDeferDepth(void);
// 0 when the slot is in use and not waiting to be freed; 1 otherwise (also for any id
// outside the table).
int SlotsValid(SlotId slot);
// The next slot in use after `after` (SLOTS_NONE starts at 0) that is not waiting to be
// freed and, when mask is non-zero, whose category mask shares a bit with it. SLOTS_NONE when
// there is none.
SlotId SlotsNext(SlotId after, uint32_t mask);

// ---- active list -------------------------------------------------------------------------
SlotId SlotsActiveHead(void);
SlotId SlotsActiveTail(void);
SlotId SlotsNextLink(SlotId slot);
SlotId SlotsPrevLink(SlotId slot);

// ---- controls and servers ------------------------------------------------------------------
// Names an event function so that it can be found by id. The same pair again does nothing.
void SlotsRegisterControl(uint32_t id, SlotsEventFn fn);
SlotsEventFn SlotsFindControl(uint32_t id);   // null when the id is not registered
void SlotsAddServer(uint32_t mask, SlotsServerFn fn);

// ---- events ------------------------------------------------------------------------------
// Sends an event to one slot (its result; 1 when the slot has no event function, is not in
// use or events are suspended) or to SLOTS_ALL (every slot in use in index order, each given
// its own copy of p1 and p2; result 0). Null parameter pointers stand for zero values.
int SlotsSendEvent(SlotId dest, int event, SlotsParam* p1, SlotsParam* p2);
// Sends 265 to every slot of the active list, inside a deferral.
void SlotsNotifyActive(void);
// Asks a slot for a value: its query function with 459, or else its event function with 267;
// the answer is written to *value.
int SlotsQuery(SlotId slot, SlotsParam* value);
void SlotsSuspendEvents(int on);
int SlotsEventsSuspended(void);

// The per-frame passes: 260 to every slot in use, then, inside a deferral, 261 to every slot
// of the active list. elapsed in milliseconds, frameTime in seconds with 14 fraction bits.
void SlotsFrame(uint32_t elapsed, uint32_t frameTime);
// Every slot in use that is not hidden: its draw function, or event 266 with its shape.
void SlotsDrawPass(void);

// ---- fields ------------------------------------------------------------------------------
// Setting the camera's position or orientation clears every slot's camera-space cache;
// setting another slot's position clears its own.
void SlotsSetPosition(SlotId slot, int32_t x, int32_t y, int32_t z);
void SlotsSetPositionV(SlotId slot, const int32_t pos[3]);
void SlotsGetPosition(SlotId slot, int32_t out[3]);
void SlotsSetOrientation(SlotId slot, const int16_t m[9]);
void SlotsGetOrientation(SlotId slot, int16_t out[9]);
// A zero vector stops the slot (speed 0, direction = third orientation row, event 264).
// Otherwise the speed becomes the vector's length (integer root, truncated) and the direction
// the vector as a 2.14 unit vector (UnitVector: each component times 16384 / length,
// truncated; a pure Y vector gives exactly +-16384).
void SlotsSetVelocity(SlotId slot, int32_t x, int32_t y, int32_t z);
uint32_t SlotsSpeed(SlotId slot);
void SlotsSetDirection(SlotId slot, int16_t x, int16_t y, int16_t z);
void SlotsGetDirection(SlotId slot, int16_t out[3]);
void SlotsSetShape(SlotId slot, int32_t shape);
int32_t SlotsShape(SlotId slot);
void SlotsSetUserValue(SlotId slot, uint32_t value);
uint32_t SlotsUserValue(SlotId slot);
void SlotsSetCategory(SlotId slot, uint32_t mask);
uint32_t SlotsCategory(SlotId slot);
void SlotsSetOwnerWord(SlotId slot, uint32_t value);
uint32_t SlotsOwnerWord(SlotId slot);
void SlotsSetOwnerHalf(SlotId slot, uint16_t value);
uint16_t SlotsOwnerHalf(SlotId slot);
// Sets the event function and sends it 257.
void SlotsSetEventFn(SlotId slot, SlotsEventFn fn);
SlotsEventFn SlotsGetEventFn(SlotId slot);
void SlotsSetDrawFn(SlotId slot, SlotsDrawFn fn);
SlotsDrawFn SlotsGetDrawFn(SlotId slot);
void SlotsSetQueryFn(SlotId slot, SlotsQueryFn fn, uint32_t arg);
SlotsQueryFn SlotsGetQueryFn(SlotId slot);
uint32_t SlotsQueryArg(SlotId slot);
void SlotsSetHidden(SlotId slot, int on);
int SlotsHidden(SlotId slot);
int SlotsInUse(SlotId slot);
uint8_t SlotsFlags(SlotId slot);
// SLOTS_USER_DATA bytes, cleared when the slot is created.
void* SlotsUserData(SlotId slot);

// ---- camera space and motion ---------------------------------------------------------------
// The slot's position relative to the camera, rotated by the camera's orientation (row i of
// the matrix gives coordinate i). Cached until the slot or the camera moves.
void SlotsCameraPos(SlotId slot, int32_t out[3]);
// Any world point in camera space (not cached).
void SlotsWorldToCamera(int32_t x, int32_t y, int32_t z, int32_t out[3]);
// Camera orientation times the slot's, in one shared result that the next call overwrites.
const int16_t* SlotsRelativeOrientation(SlotId slot);
// One motion step: step = (speed * frameTime) >> 14, then each coordinate moves by
// (step * direction) >> 14, both products formed in 64 bits and shifted arithmetically.
// Positions wrap at 32 bits. Clears the slot's cache when it moved, and every slot's when the
// slot is the camera.
void SlotsMove(SlotId slot, uint32_t frameTime);
