// The Shape Editor's panels as the editor start sees them: the program installs them before it
// runs, and the editor registers their classes and takes the views' title from them.
#pragma once

void ShapeEditInstall(void);
