// The World Editor's views: the ground grid or the terrain, the worldshapes the view's
// filter shows, the nodes with their names, the picks under the pointer and the rectangle
// selections the Edit Shapes and Nodes panels ask for; and the tools of those panels (pick,
// move, Shape Position, Add Node). Registers the World Editor's view hooks.
#pragma once

// Installs the World Editor's view hooks.
void WorldViewInstall(void);
