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
void CliAddShapeM(CLI::App& app);
