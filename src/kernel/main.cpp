// Program entry.
#include "kernel/app.h"

int main(int argc, char** argv) { return AppMain(argc, argv); }
