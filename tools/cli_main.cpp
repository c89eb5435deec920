#include <cstdarg>
#include <cstdio>

#include "kernel/kernel.h"
#include "kernel/log.h"
#include "kernel/res/res.h"
#include "platform/platform.h"
#include "tools/cli.h"

int gCliResult = 0;

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

int CliFail(int code, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    fputs("tolbex-cli: ", stderr);
    vfprintf(stderr, fmt, ap);
    fputc('\n', stderr);
    va_end(ap);
    gCliResult = code;
    return code;
}

CLI::App* CliGroup(CLI::App& app, const char* name, const char* description)
{
    for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; }))
        if (sub->get_name() == name) return sub;
    CLI::App* group = app.add_subcommand(name, description);
    group->require_subcommand(1);
    return group;
}

int main(int argc, char** argv)
{
    CLI::App app{"tolbex-cli: the Tolbex editor's file operations"};
    app.require_subcommand(1);
    CliAddRes(app);
    CliAddPal(app);
    CliAddMat(app);
    CliAddShape(app);
    CliAddShapeM(app);
    CliAddMesh(app);
    CliAddRender(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    if (KernelIsInstalled()) KernelRemove();
    PlatShutdown();
    return gCliResult;
}
