// The Polygons (class 0x100a) and Vertices (0x100b) panels, whose buttons choose the 3D view's
// tool and pick mode, and the Sorting panel (0x100c): "Make Sort" and the "No Sort" box.
#pragma once

void ToolPanelsRegister(void);
