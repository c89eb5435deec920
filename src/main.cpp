// Program entry: the front end and the editors' panels hand their hooks down, and the kernel
// runs the program. The one file that sees every layer.
#include "frontend/frontend.h"
#include "kernel/app.h"
#include "shapeedit/shapeedit.h"
#include "worldedit/worldedit.h"

int main(int argc, char** argv)
{
    FrontEndRegister();
    ShapeEditInstall();
    WorldEditInstall();
    return AppMain(argc, argv);
}
