// The program's version, shown by --version of both programs.
#pragma once

#define TOLBEX_VERSION "0.7.0"
