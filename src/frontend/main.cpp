// Program entry: the front end hands its hooks to the kernel, which runs the program.
#include "frontend/frontend.h"
#include "kernel/app.h"

int main(int argc, char** argv)
{
    FrontEndRegister();
    return AppMain(argc, argv);
}
