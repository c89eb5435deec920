// The World Editor's panels as the editor start sees them: the program installs them before it
// runs, and the editor registers their classes and takes the world file's name from them.
#pragma once

void WorldEditInstall(void);
