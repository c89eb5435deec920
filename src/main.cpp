// Program entry: the front end and the editors' panels hand their hooks down, and the kernel
// runs the program. The one file that sees every layer.
#include "frontend/frontend.h"
#include "kernel/app.h"
#include "shapeedit/shapeedit.h"

int main(int argc, char** argv)
{
    FrontEndRegister();
    ShapeEditInstall();
    return AppMain(argc, argv);
}
