#include "frontend/editstate.h"

#include <cstdarg>
#include <cstdio>

#include "base/log.h"
#include "base/str.h"
#include "platform/platform.h"

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
} es;

void EditStateReset(void)
{
    es = {};
    es.now = es.before = kNoPick;
    es.firstPolygon = es.mappingPolygon = -1;
    es.nodeClearance = defaultNodeClearance;
}

int EditToolMode(void) { return es.toolMode; }
int EditPickMode(void) { return es.pickMode; }

void EditSetTool(int toolMode, int pickMode)
{
    // Points gathered for a new polygon and Combine's first polygon belong to the tool that
    // gathered them: another tool, or the same one chosen again, starts afresh.
    es.pointCount = 0;
    es.firstPolygon = -1;
    es.toolMode = toolMode;
    es.pickMode = pickMode;
}

uint32_t EditOverlayFlags(void) { return es.overlayFlags; }
void EditSetOverlayFlags(uint32_t flags) { es.overlayFlags = flags; }

WinId EditActiveView(void) { return es.activeView; }
void EditSetActiveView(WinId view) { es.activeView = view; }

void EditRequestCentre(int32_t x, int32_t y, int32_t z)
{
    es.centrePending = 1;
    es.centre[0] = x;
    es.centre[1] = y;
    es.centre[2] = z;
}

int EditTakeCentreRequest(int32_t out[3])
{
    if (!es.centrePending) return 0;
    es.centrePending = 0;
    for (int i = 0; i < 3; i++) out[i] = es.centre[i];
    return 1;
}

// Kept apart from the reset: a view created after it must not take an old count for new.
static uint32_t frameRequests;

void EditRequestFrame(void) { frameRequests++; }
uint32_t EditFrameRequests(void) { return frameRequests; }

EditPick* EditPickNow(void) { return &es.now; }
const EditPick* EditPickBefore(void) { return &es.before; }

void EditPickNewFrame(void)
{
    es.before = es.now;
    es.now = kNoPick;
}

void EditPickForget(void) { es.before = kNoPick; }
void EditPickReplaceBefore(const EditPick* pick) { es.before = *pick; }

void EditSetViewTitle(const char* text) { StrLCopy(es.title, text ? text : "", sizeof es.title); }
const char* EditViewTitle(void) { return es.title; }

void EditSetColourRange(int start, int end)
{
    es.colourStart = start;
    es.colourEnd = end;
}

void EditColourRange(int* start, int* end)
{
    if (start) *start = es.colourStart;
    if (end) *end = es.colourEnd;
}

void EditClearPointList(void) { es.pointCount = 0; }

int EditAppendPoint(int32_t vertex)
{
    if (es.pointCount >= EDIT_POINT_LIST_MAX) return 0;
    es.points[es.pointCount++] = vertex;
    return 1;
}

int EditPointCount(void) { return es.pointCount; }
int32_t EditPoint(int index) { return index >= 0 && index < es.pointCount ? es.points[index] : -1; }

void EditSetFirstPolygon(int32_t polygon) { es.firstPolygon = polygon; }
int32_t EditFirstPolygon(void) { return es.firstPolygon; }

void EditSetMappingTarget(int32_t polygon, int32_t point)
{
    es.mappingPolygon = polygon;
    es.mappingPoint = point;
}

void EditMappingTarget(int32_t* polygon, int32_t* point)
{
    if (polygon) *polygon = es.mappingPolygon;
    if (point) *point = es.mappingPoint;
}

void EditRequestRectSelect(uint32_t flags, const int32_t rect[4])
{
    es.rectPending = 1;
    es.rectFlags = flags;
    for (int i = 0; i < 4; i++) es.rect[i] = rect[i];
}

int EditTakeRectSelect(uint32_t* flags, int32_t rect[4])
{
    if (!es.rectPending) return 0;
    es.rectPending = 0;
    *flags = es.rectFlags;
    for (int i = 0; i < 4; i++) rect[i] = es.rect[i];
    return 1;
}

int32_t EditMappingPolygon(void) { return es.mappingPolygon; }
int32_t EditMappingPoint(void) { return es.mappingPoint; }

void EditSetNodeClearance(int32_t clearance) { es.nodeClearance = clearance; }
int32_t EditNodeClearance(void) { return es.nodeClearance; }
void EditSetDefaultNodeClearance(int32_t clearance) { defaultNodeClearance = clearance; }

void EditNote(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(es.note, sizeof es.note, fmt, ap);
    va_end(ap);
    es.noteAt = TimerMs();
    LogPrintf(LOG_INFO, "STATUS \"%s\"", es.note);
}

const char* EditCurrentNote(void)
{
    if (!es.note[0] || TimerMs() - es.noteAt >= EDIT_NOTE_MS) return "";
    return es.note;
}
