#include "frontend/editstate.h"

#include <cstdarg>
#include <cstdio>

#include "base/log.h"
#include "base/str.h"
#include "platform/platform.h"
#include "toolkit/panelkit.h"

static const EditPick kNoPick = {-1, -1, 0, 0};
static int32_t defaultNodeClearance;

static struct {
    int toolMode, pickMode;
    uint32_t overlayFlags;
    WinId activeView;
    int centrePending;
    int32_t centre[3];
    EditPick now, before;
    char title[EDIT_TITLE_MAX + 1];
    int colourStart, colourEnd;
    int32_t points[EDIT_POINT_LIST_MAX];
    int pointCount;
    int32_t firstPolygon;
    int32_t mappingPolygon, mappingPoint;
    int rectPending;
    uint32_t rectFlags;
    int32_t rect[4];
    int32_t nodeClearance;
    char note[EDIT_NOTE_MAX + 1];
    uint32_t noteAt;
} editState;

void EditStateReset(void)
{
    editState = {};
    editState.now = editState.before = kNoPick;
    editState.firstPolygon = editState.mappingPolygon = -1;
    editState.nodeClearance = defaultNodeClearance;
}

int EditToolMode(void) { return editState.toolMode; }
int EditPickMode(void) { return editState.pickMode; }

void EditSetTool(int toolMode, int pickMode)
{
    // Points gathered for a new polygon and Combine's first polygon belong to the tool that
    // gathered them: another tool, or the same one chosen again, starts afresh.
    editState.pointCount = 0;
    editState.firstPolygon = -1;
    editState.toolMode = toolMode;
    editState.pickMode = pickMode;
}

uint32_t EditOverlayFlags(void) { return editState.overlayFlags; }
void EditSetOverlayFlags(uint32_t flags) { editState.overlayFlags = flags; }

WinId EditActiveView(void) { return editState.activeView; }
void EditSetActiveView(WinId view) { editState.activeView = view; }

void EditRequestCentre(int32_t x, int32_t y, int32_t z)
{
    editState.centrePending = 1;
    editState.centre[0] = x;
    editState.centre[1] = y;
    editState.centre[2] = z;
}

int EditTakeCentreRequest(int32_t out[3])
{
    if (!editState.centrePending) return 0;
    editState.centrePending = 0;
    for (int i = 0; i < 3; i++) out[i] = editState.centre[i];
    return 1;
}

// Kept apart from the reset: a view created after it must not take an old count for new.
static uint32_t frameRequests;

void EditRequestFrame(void) { frameRequests++; }
uint32_t EditFrameRequests(void) { return frameRequests; }

EditPick* EditPickNow(void) { return &editState.now; }
const EditPick* EditPickBefore(void) { return &editState.before; }

void EditPickNewFrame(void)
{
    editState.before = editState.now;
    editState.now = kNoPick;
}

void EditPickForget(void) { editState.before = kNoPick; }
void EditPickReplaceBefore(const EditPick* pick) { editState.before = *pick; }

void EditSetViewTitle(const char* text) { StrLCopy(editState.title, text ? text : "", sizeof editState.title); }
const char* EditViewTitle(void) { return editState.title; }

void EditSetColourRange(int start, int end)
{
    editState.colourStart = start;
    editState.colourEnd = end;
}

void EditColourRange(int* start, int* end)
{
    if (start) *start = editState.colourStart;
    if (end) *end = editState.colourEnd;
}

void EditClearPointList(void) { editState.pointCount = 0; }

int EditAppendPoint(int32_t vertex)
{
    if (editState.pointCount >= EDIT_POINT_LIST_MAX) return 0;
    editState.points[editState.pointCount++] = vertex;
    return 1;
}

int EditPointCount(void) { return editState.pointCount; }
int32_t EditPoint(int index) { return index >= 0 && index < editState.pointCount ? editState.points[index] : -1; }

void EditSetFirstPolygon(int32_t polygon) { editState.firstPolygon = polygon; }
int32_t EditFirstPolygon(void) { return editState.firstPolygon; }

void EditSetMappingTarget(int32_t polygon, int32_t point)
{
    editState.mappingPolygon = polygon;
    editState.mappingPoint = point;
}

void EditMappingTarget(int32_t* polygon, int32_t* point)
{
    if (polygon) *polygon = editState.mappingPolygon;
    if (point) *point = editState.mappingPoint;
}

void EditRequestRectSelect(uint32_t flags, const int32_t rect[4])
{
    editState.rectPending = 1;
    editState.rectFlags = flags;
    for (int i = 0; i < 4; i++) editState.rect[i] = rect[i];
}

void EditRequestRectSelectFrom(uint32_t flags, WinParam p1, WinParam p2)
{
    int32_t rect[4];
    KitRect(p1, p2, rect);
    EditRequestRectSelect(flags, rect);
}

int EditTakeRectSelect(uint32_t* flags, int32_t rect[4])
{
    if (!editState.rectPending) return 0;
    editState.rectPending = 0;
    *flags = editState.rectFlags;
    for (int i = 0; i < 4; i++) rect[i] = editState.rect[i];
    return 1;
}

int32_t EditMappingPolygon(void) { return editState.mappingPolygon; }
int32_t EditMappingPoint(void) { return editState.mappingPoint; }

void EditSetNodeClearance(int32_t clearance) { editState.nodeClearance = clearance; }
int32_t EditNodeClearance(void) { return editState.nodeClearance; }
void EditSetDefaultNodeClearance(int32_t clearance) { defaultNodeClearance = clearance; }

void EditNote(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(editState.note, sizeof editState.note, fmt, ap);
    va_end(ap);
    editState.noteAt = TimerMs();
    LogPrintf(LOG_INFO, "STATUS \"%s\"", editState.note);
}

const char* EditCurrentNote(void)
{
    if (!editState.note[0] || TimerMs() - editState.noteAt >= EDIT_NOTE_MS) return "";
    return editState.note;
}
