// The Nodes panel (class 0x101f): the counts of selected and total net nodes, unhide, clear and
// select-all, the add mode in which the view places nodes, the "Mult" switch, and the context
// buttons that act on the selected nodes (linking, naming, the monorail and the other builds
// the main loop runs); with the Node Name dialog (0x1020). The view hands the panel its picks
// as messages; the panel chooses the view's node tool every frame.
#pragma once
#include "toolkit/win.h"

enum {
    CLASS_NODE_NAME = 0x1020,

    // From the view: 40 a finished rectangle (p1 x0, y0; p2 x1, y1, screen coordinates);
    // 41 a node (p1 its ID, p2 1 to select, 0 to drop).
    NODES_RECT = 40,
    NODES_PICK = 41,
};

void NodesPanelRegister(void);
