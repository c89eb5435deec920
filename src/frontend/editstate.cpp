#include "frontend/editstate.h"

static const EditPick kNoPick = {-1, -1, 0, 0};

static struct {
    int toolMode, pickMode;
    uint32_t overlayFlags;
    WinId activeView;
    int centrePending;
    int32_t centre[3];
    EditPick now, before;
    int mappingPolygon, mappingPoint;
} es = {0, 0, 0, 0, 0, {0, 0, 0}, kNoPick, kNoPick, -1, -1};

void EditStateReset(void)
{
    es = {0, 0, 0, 0, 0, {0, 0, 0}, kNoPick, kNoPick, -1, -1};
}

int EditToolMode(void) { return es.toolMode; }
int EditPickMode(void) { return es.pickMode; }

void EditSetTool(int toolMode, int pickMode)
{
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

EditPick* EditPickNow(void) { return &es.now; }
const EditPick* EditPickBefore(void) { return &es.before; }

void EditPickNewFrame(void)
{
    es.before = es.now;
    es.now = kNoPick;
}

void EditSetMappingTarget(int polygon, int point)
{
    es.mappingPolygon = polygon;
    es.mappingPoint = point;
}

int EditMappingPolygon(void) { return es.mappingPolygon; }
int EditMappingPoint(void) { return es.mappingPoint; }
