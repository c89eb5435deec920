// tolbex-cli: every file operation of the editor, from the command line. Each command group
// lives in its own file and adds itself to the application here.
//
// Output rules: a command's result goes to stdout; a failure gives exactly one line on stderr
// ("tolbex-cli: ..."), naming the file and the reason; warnings are lines on stderr that start
// "tolbex-cli: warning:". Developer log lines never reach stdout or stderr unless asked for.
#pragma once
#include <CLI/CLI.hpp>

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "base/res.h"

// The exit code of the command that ran: 0 success, 1 refused or failed input, 2 usage.
extern int gCliResult;

// Installs the managers that file commands need (kernel lists, resources), headless.
void CliStartManagers(void);
// Prints an error line to stderr, sets gCliResult and returns it.
int CliFail(int code, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// Prints a warning line to stderr; the command goes on.
void CliWarn(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Text from a file (n bytes at most, up to a NUL) as it may be printed: printable ASCII kept,
// every other byte shown as \xNN.
std::string CliPrintable(const void* text, size_t n);
// "1 polygon", "2 polygons".
std::string CliCount(long long n, const char* one, const char* many);
// A JSON list's values as text: "1 2 3" with " " between, and "(1, 2, 3)" as a vector.
std::string CliJoin(const nlohmann::json& list, const char* between);
std::string CliVector(const nlohmann::json& list);

// 0 when the file can be read whole, else 1 after an error line: "cannot open FILE: <reason>"
// for a file that cannot be opened or is no regular file (a FIFO is refused at once, never
// waited on), "FILE: <size>, larger than <kind> can be (at most <maxSize> bytes)" for a file
// larger than the largest of its format. The line names the file as `shown` when given.
int CliCheckReadable(const std::string& file, uint64_t maxSize, const char* kind,
                     const std::string& shown = std::string());
// The whole file in a new internal resource, or 0 after an error line (checked as above
// before anything is read).
ResId CliReadFile(const std::string& file, uint64_t maxSize, const char* kind);
// Writes a whole file through the file layer: 0, or 1 after "cannot write FILE: ...".
int CliWrite(const std::string& file, const void* data, size_t size);
// The error line of a writer that failed (errno cleared before it ran); returns 1.
int CliWriteFailed(const std::string& file);

// The subcommand group of that name, made on first use, so that several files can add to it.
CLI::App* CliGroup(CLI::App& app, const char* name);

// The manual page (roff) and the bash completion script, from the command table.
void CliPrintManPage(const CLI::App& app);
void CliPrintBashCompletion(const CLI::App& app);

void CliAddRes(CLI::App& app);
void CliAddPal(CLI::App& app);
void CliAddMat(CLI::App& app);
void CliAddShape(CLI::App& app);
void CliAddShapeM(CLI::App& app);
void CliAddMesh(CLI::App& app);
void CliAddRender(CLI::App& app);
void CliAddWorld(CLI::App& app);
void CliAddTPage(CLI::App& app);
void CliAddSprite(CLI::App& app);
void CliAddModel(CLI::App& app);

// Shape commands: the --materials FILE.MAT and --palette FILE.PAL options, and the start-up
// that loads them (palette, render-material table, material list in true-colour mode) so that
// polygon materials bind by name. After a failure an error line is out and gCliResult is set:
// the command stops.
void CliShapeOptions(CLI::App* cmd);
void CliShapeStart(void);
// The --materials file given to a shape command ("" when none).
const std::string& CliShapeMaterialsFile(void);
// Reads a shape file and checks it (a file that is no shape at all is told apart from a
// damaged or newer one): the raw block in a new internal resource, or 0 after an error line.
// *fileVersion gets the version it was written in.
ResId CliReadShape(const std::string& file, int* fileVersion);
// Takes a checked shape file into the edit buffer as the editor's Load does: 0, or 1 after an
// error line.
int CliTakeInShape(const std::string& file);
// Reads a MAT file and converts it to version 4: the resource, or 0 after an error line.
ResId CliReadMat(const std::string& file, int* version);
// The reason a PAL image is refused, for its error line.
std::string CliPaletteRefusal(void);

// ---- pictures (tools/cli_render.cpp) --------------------------------------------------------
// "WxH", 16 to 4096 each, and nothing else: 1, or 0 when malformed or out of range.
int CliParseSize(const std::string& s, int* width, int* height);
enum CliPictureFormat { PICTURE_NONE, PICTURE_PNG, PICTURE_BMP };
// The picture's format, by the output's extension in any letter case.
CliPictureFormat CliPictureFormatOf(const std::string& path);
// A texture that could not be loaded leaves its polygons untextured; the user hears which and,
// for a loose file refused before it was read (too large, no regular file), why.
void CliWarnUnloadedTextures(void);
// Writes the screen as a picture through the file layer; 0, or 1 after an error line.
// With `cleared` (the same drawing over another background), pixels that differ are the
// background's and become transparent in a PNG with an alpha channel.
int CliWritePicture(const std::string& path, CliPictureFormat format, int width, int height,
                    const std::vector<uint8_t>* cleared = nullptr);

// ---- world commands (tools/cli_world.cpp) ----------------------------------------------------
// The "world" command group, made on first call (cli_main makes the application first). Files
// with world commands of their own add them without editing a shared file: each registers an
// adder with a static object,
//     static CliWorldRegistration registration(AddMyWorldCommands);
// and CliAddWorld (cli_main's setup) calls every registered adder with the group.
CLI::App* CliWorldCommand(void);
typedef void (*CliWorldAdder)(CLI::App* world);
struct CliWorldRegistration {
    explicit CliWorldRegistration(CliWorldAdder add);
};
// The options of commands that load worlds: --materials FILE.MAT and --palette FILE.PAL (as the
// shape commands), --shapes DIR (the folder that holds the world's shape files; default the
// working folder).
void CliWorldOptions(CLI::App* cmd);
// The start of such a command: the shape start (materials), the shape manager and the world
// manager as the World Editor's start installs them, then the move into the --shapes folder
// (the summary report temp.txt stays in the folder the command was run in). 0, or 1 after an
// error line.
int CliWorldStart(void);
// A file name given on the command line, as it must be named after CliWorldStart (relative
// names are taken from the folder the command was run in).
std::string CliWorldPath(const std::string& file);
// Loads a WLE file as the World panel's Load does: 0, or 1 after an error line. Worldshapes
// whose shape file is missing or damaged give a warning each (per file name).
int CliWorldLoad(const std::string& file);
