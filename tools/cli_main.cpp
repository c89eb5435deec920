#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "base/log.h"
#include "base/res.h"
#include "base/str.h"
#include "kernel/kernel.h"
#include "kernel/version.h"
#include "platform/platform.h"
#include "tools/cli.h"

int gCliResult = 0;

// The log goes to stderr only with --verbose and no log file; a fatal error is then shown
// there already.
static bool logOnStderr;

void CliStartManagers(void)
{
    static int started;
    if (started) return;
    started = 1;
    PlatOptions options{};
    options.headless = 1;
    PlatSelect(&options);
    if (!KernelInstall("VOSTRANE", nullptr, "Tolbex")) {
        fprintf(stderr, "tolbex-cli: cannot start the kernel\n");
        exit(1);
    }
    ResInstall(5000);
}

std::string CliPrintable(const void* text, size_t n)
{
    std::string out(4 * n + 1, '\0');
    StrPrintable(text, n, 1, out.data(), out.size());
    out.resize(strlen(out.c_str()));
    return out;
}

// One line on stderr, whatever its text holds: control bytes (from a name in a file, or a
// name given with a line break in it) are shown as \xNN and never reach the terminal as they
// are. Bytes of 128 and above stay, for the UTF-8 of file names given on the command line.
static void ErrorLine(const char* prefix, const char* fmt, va_list ap)
{
    va_list copy;
    va_copy(copy, ap);
    int n = vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string text(n > 0 ? (size_t)n + 1 : 1, '\0');
    if (n > 0) vsnprintf(text.data(), text.size(), fmt, ap);
    std::string line = prefix;
    for (const char* p = text.c_str(); *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (c < 32 || c == 127)
            line += CliPrintable(p, 1);
        else
            line += (char)c;
    }
    line += '\n';
    fputs(line.c_str(), stderr);
}

int CliFail(int code, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    ErrorLine("tolbex-cli: ", fmt, ap);
    va_end(ap);
    gCliResult = code;
    return code;
}

void CliWarn(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    ErrorLine("tolbex-cli: warning: ", fmt, ap);
    va_end(ap);
}

std::string CliCount(long long n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string CliJoin(const nlohmann::json& list, const char* between)
{
    std::string s;
    for (const nlohmann::json& v : list) s += (s.empty() ? "" : between) + v.dump();
    return s;
}

std::string CliVector(const nlohmann::json& list) { return "(" + CliJoin(list, ", ") + ")"; }

int CliCheckReadable(const std::string& file, uint64_t maxSize, const char* kind, const std::string& shown)
{
    const std::string& name = shown.empty() ? file : shown;
    switch (FileCheckRead(file.c_str(), maxSize, kind, nullptr)) {
    case FILE_READABLE: return 0;
    case FILE_TOO_LARGE: return CliFail(1, "%s: %s", name.c_str(), FileRefusal());
    default: return CliFail(1, "cannot open %s: %s", name.c_str(), FileRefusal());
    }
}

ResId CliReadFile(const std::string& file, uint64_t maxSize, const char* kind)
{
    if (CliCheckReadable(file, maxSize, kind)) return 0;
    ResId id = LoadFileToRes(file.c_str(), maxSize, kind);
    if (!id) CliFail(1, "cannot read %s", file.c_str());
    return id;
}

int CliWriteFailed(const std::string& file)
{
    int err = errno;
    if (err) return CliFail(1, "cannot write %s: %s", file.c_str(), strerror(err));
    return CliFail(1, "cannot write %s", file.c_str());
}

int CliWrite(const std::string& file, const void* data, size_t size)
{
    errno = 0;
    return FileWrite(file.c_str(), data, size) ? CliWriteFailed(file) : 0;
}

// Each group's description, whichever command file makes the group first.
static const struct {
    const char* name;
    const char* description;
} kGroups[] = {
    {"res", "Resource files: list, extract and pack"},
    {"pal", "PAL palette files: show, import an LBM picture's colour map"},
    {"lbm", "LBM (IFF ILBM and PBM) pictures: convert to BMP"},
    {"mat", "MAT material files: show, upgrade and merge"},
    {"shape",
     "SHP shape files: show, upgrade, normalise, optimise, merge, make a sphere, import and export 3DS ASCII, "
     "import glTF, OBJ, FBX, 3DS, Collada, PLY and STL models, export glTF and OBJ, render to PNG or BMP"},
    {"world", "WLE world files: show, upgrade, write the summary report"},
    {"tpage", "Texture pages: pack sprite files as a hardware driver would"},
    {"sprite", "SPR sprites: make one of a PNG, JPEG, TGA, BMP or GIF picture, write one as PNG, show one"},
};

CLI::App* CliGroup(CLI::App& app, const char* name)
{
    for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; }))
        if (sub->get_name() == name) return sub;
    const char* description = "";
    for (const auto& g : kGroups)
        if (!strcmp(g.name, name)) description = g.description;
    CLI::App* group = app.add_subcommand(name, description);
    group->require_subcommand(1);
    return group;
}

// The application, for the command groups that files add to without being handed it.
static CLI::App* mainApp;

CLI::App* CliWorldCommand(void) { return CliGroup(*mainApp, "world"); }

// Fatal errors end the process from deep inside the managers; the user still gets the one
// error line that every failure gives.
static void InternalError(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    ErrorLine("tolbex-cli: internal error: ", fmt, ap);
    va_end(ap);
}

static void FatalToStderr(int level, const char* line)
{
    if (level == LOG_ERROR && !strncmp(line, "FATAL: ", 7) && !logOnStderr) InternalError("%s", line + 7);
}

// Developer log lines are for developers: into --log FILE or TOLBEX_LOG, onto stderr with
// --verbose, else nowhere.
static void StartLog(const std::string& option, bool verbose)
{
    const char* env = getenv("TOLBEX_LOG");
    std::string file = !option.empty() ? option : env ? env : "";
    LogSetHook(FatalToStderr);
    if (!file.empty()) {
        errno = 0;
        if (int opened = LogOpen(file.c_str())) {
            if (opened == LOG_OPEN_NOT_TEXT)
                CliFail(1, "cannot open the log %s: it holds binary data, not a log", file.c_str());
            else
                CliFail(1, "cannot open the log %s: %s", file.c_str(), strerror(errno ? errno : EIO));
            throw CLI::RuntimeError(1);
        }
        LogSetLevel(verbose ? LOG_DEBUG : LOG_INFO);
    } else if (verbose) {
        LogSetLevel(LOG_DEBUG);
        logOnStderr = true;
    } else {
        LogSetLevel(-1);
    }
}

// The deepest command the parse reached, and the word after it when that word is no command
// of it. Null when a command was complete.
static const CLI::App* MissingCommand(const CLI::App& app)
{
    const CLI::App* at = &app;
    for (;;) {
        std::vector<CLI::App*> used = at->get_subcommands();
        if (used.empty()) break;
        at = used.front();
    }
    return at->get_require_subcommand_min() > 0 ? at : nullptr;
}

static int ReportMissingCommand(const CLI::App& app, const CLI::App* at)
{
    std::string path, valid;
    for (const CLI::App* a = at; a && a != &app; a = a->get_parent()) path = " " + a->get_name() + path;
    for (const CLI::App* sub : at->get_subcommands([](const CLI::App*) { return true; }))
        valid += (valid.empty() ? "" : ", ") + sub->get_name();
    std::vector<std::string> rest = app.remaining(true);
    std::string where = path.empty() ? "" : path.substr(1) + ": ";
    if (!rest.empty())
        return CliFail(2, "%sunknown command \"%s\"; the commands are %s", where.c_str(), rest.front().c_str(),
                       valid.c_str());
    return CliFail(2, "%sa command is needed: %s", where.c_str(), valid.c_str());
}

int main(int argc, char** argv)
{
    CLI::App app{"tolbex-cli: the Tolbex editor's file operations, without the window", "tolbex-cli"};
    mainApp = &app;
    app.require_subcommand(1);
    // Global options may stand anywhere on the line, after the command too.
    app.fallthrough();
    std::string logFile;
    bool verbose = false;
    app.add_option("--log", logFile, "Write the developer log to FILE (also TOLBEX_LOG)")->type_name("FILE");
    app.add_flag("--verbose", verbose, "Write the developer log to stderr, debug lines included");
    app.set_version_flag("--version", "tolbex-cli " TOLBEX_VERSION, "Print the version and exit");
    app.parse_complete_callback([&] { StartLog(logFile, verbose); });
    // A usage error is one error line too.
    app.failure_message([](const CLI::App*, const CLI::Error& e) {
        return std::string("tolbex-cli: ") + e.what() + " (see --help)\n";
    });
    CliAddRes(app);
    CliAddPal(app);
    CliAddMat(app);
    CliAddShape(app);
    CliAddShapeM(app);
    CliAddMesh(app);
    CliAddRender(app);
    CliAddWorld(app);
    CliAddTPage(app);
    CliAddSprite(app);
    CliAddModel(app);
    // Written from the whole table: asked for alone, before any command is looked for.
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--man-page" || a == "--bash-completion") {
            if (a == "--man-page") CliPrintManPage(app);
            else CliPrintBashCompletion(app);
            return 0;
        }
    }
    int result;
    try {
        app.parse(argc, argv);
        result = gCliResult;
    } catch (const CLI::RuntimeError& e) {
        // Raised after its own error line.
        result = e.get_exit_code();
    } catch (const CLI::RequiredError& e) {
        const CLI::App* at = MissingCommand(app);
        result = at ? ReportMissingCommand(app, at) : (app.exit(e) == 0 ? 0 : 2);
    } catch (const CLI::ParseError& e) {
        result = app.exit(e) == 0 ? 0 : 2;
    }
    if (KernelIsInstalled()) KernelRemove();
    PlatShutdown();
    LogClose();
    return result;
}
