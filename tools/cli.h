// tolbex-cli: every file operation of the editor, from the command line. Each command group
// lives in its own file and adds itself to the application here.
#pragma once
#include <CLI/CLI.hpp>

// The exit code of the command that ran: 0 success, 1 refused or failed input, 2 usage.
extern int gCliResult;

// Installs the managers that file commands need (kernel lists, resources), headless.
void CliStartManagers(void);
// Prints an error line to stderr, sets gCliResult and returns it.
int CliFail(int code, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// The subcommand group of that name, made on first use, so that several files can add to it.
CLI::App* CliGroup(CLI::App& app, const char* name, const char* description);

void CliAddRes(CLI::App& app);
void CliAddPal(CLI::App& app);
void CliAddMat(CLI::App& app);
void CliAddShape(CLI::App& app);
void CliAddShapeM(CLI::App& app);
void CliAddMesh(CLI::App& app);
void CliAddRender(CLI::App& app);

// Shape commands: the --materials FILE.MAT and --palette FILE.PAL options, and the start-up
// that loads them (palette, render-material table, material list in true-colour mode) so that
// polygon materials bind by name. After a failure an error line is out and gCliResult is set:
// the command stops.
void CliShapeOptions(CLI::App* cmd);
void CliShapeStart(void);
