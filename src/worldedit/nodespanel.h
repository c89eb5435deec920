// The Nodes panel (class 0x101f): the counts of selected and total net nodes, unhide, clear and
// select-all, the add mode in which the view places nodes, the "Mult" switch, and the context
// buttons that act on the selected nodes (linking, naming, the monorail and the other builds
// the main loop runs); with the Node Name dialog (0x1020). The view hands the panel its picks
// as messages (PANEL_MSG_RECT and PANEL_MSG_NODE, toolkit/contract.h); the panel chooses the
// view's node tool every frame.
#pragma once
#include "toolkit/win.h"


void NodesPanelRegister(void);
