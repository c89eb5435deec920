// The view windows (class 0x1001): the edited shape or world seen in 3D through a perspective
// camera that orbits the centre or one of six parallel views, where the tool that the panels
// chose is applied with the mouse; the View Setup panel (0x1011) and the Point Name dialog
// (0x1022) that belong to them.
#pragma once
#include <cstdint>

#include "toolkit/win.h"

enum {
    VIEW_PERSPECTIVE = 0, VIEW_LEFT = 1, VIEW_RIGHT = 2, VIEW_TOP = 3, VIEW_BOTTOM = 4, VIEW_FRONT = 5,
    VIEW_REAR = 6,
};

// Registers the view window, the View Setup panel and the Point Name dialog.
void ViewRegisterClasses(void);

// What a view shows, for dumps and tests.
struct ViewInfo {
    int32_t type;              // VIEW_*
    uint32_t displayFlags;
    float zoom;                // world units per pixel of the parallel views
    int32_t distance;          // of the perspective camera from the centre
    int32_t centre[3];
    int16_t orientation[9];    // the perspective camera's rows, 2.14
};
// 1 and the view's state; 0 when the window is no view.
int ViewDescribe(WinId window, ViewInfo* out);
