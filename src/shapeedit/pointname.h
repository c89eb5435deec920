// The Point Name dialog (class 0x1022), modal, that the Vertices "Name" tool opens over a
// view: the vertex's four-character point name, stored by Ok or Enter as one undo step.
#pragma once

#include "toolkit/win.h"

void PointNameRegisterClass(void);
// Opens the dialog centred over `over` for the vertex; nothing while one is open.
void PointNameOpen(WinId over, int vertex);
