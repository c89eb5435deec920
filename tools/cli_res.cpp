// tolbex-cli res: list, extract and pack resource files.
#include <cstdio>
#include <string>
#include <vector>

#include "kernel/res/res.h"
#include "platform/platform.h"
#include "tools/cli.h"

// Adds the file to the search list as the only one; 0, or 1 after an error line.
static int OpenResFile(const std::string& file)
{
    if (!FileExists(file.c_str())) return CliFail(1, "%s: no such file", file.c_str());
    if (ResAddFile(file.c_str()) != 0)
        return CliFail(1, "%s: not a resource file (its directory does not fit the file)", file.c_str());
    return 0;
}

static void ResList(const std::string& file)
{
    CliStartManagers();
    if (OpenResFile(file)) return;
    int n = ResFileCount() - 1;
    int count = ResFileEntryCount(n);
    for (int i = 0; i < count; i++) {
        ResDirEntry e;
        if (ResFileGetEntry(n, i, &e)) break;
        if (e.kind == 2)
            printf("%-12s %10u %10u\n", e.name, e.offset, e.size);
        else
            printf("%-12s %10u %10u  (kind %u, skipped)\n", e.name, e.offset, e.size, e.kind);
    }
    printf("%d %s\n", count, count == 1 ? "entry" : "entries");
    gCliResult = 0;
}

static void ResExtract(const std::string& file, const std::string& name, const std::string& out)
{
    CliStartManagers();
    // The entry of the resource file, never a loose file of the same name.
    ResSetExternalFirst(0);
    if (OpenResFile(file)) return;
    ResId id = ResFindOrAdd(name.c_str());
    if (!id) {
        CliFail(1, "%s: no entry %s", file.c_str(), name.c_str());
        return;
    }
    if (ResLoad(id)) {
        CliFail(1, "%s: entry %s cannot be read (its data lies outside the file)", file.c_str(), name.c_str());
        return;
    }
    if (FileWrite(out.c_str(), ResPeek(id), ResSize(id))) {
        CliFail(1, "%s: cannot write", out.c_str());
        return;
    }
    printf("%s: %zu bytes\n", out.c_str(), ResSize(id));
    gCliResult = 0;
}

static void ResPack(const std::string& out, bool scramble, const std::vector<std::string>& files)
{
    CliStartManagers();
    std::vector<ResId> ids;
    std::vector<ResPackItem> items;
    for (const std::string& f : files) {
        ResId id = LoadFileToRes(f.c_str());
        if (!id) {
            CliFail(1, "%s: cannot read", f.c_str());
            return;
        }
        ids.push_back(id);
    }
    for (size_t i = 0; i < files.size(); i++)
        items.push_back(ResPackItem{files[i].c_str(), ResOpen(ids[i]), (uint32_t)ResSize(ids[i])});
    int r = ResWriteFile(out.c_str(), items.data(), (int)items.size(), scramble ? 1 : 0);
    for (ResId id : ids) {
        ResClose(id);
        ResFree(id);
    }
    if (r == 1) {
        CliFail(1, "two files have the same 8.3 key; nothing written");
        return;
    }
    if (r != 0) {
        CliFail(1, "%s: cannot write", out.c_str());
        return;
    }
    printf("%s: %zu %s%s\n", out.c_str(), files.size(), files.size() == 1 ? "entry" : "entries",
           scramble ? ", names scrambled" : "");
    gCliResult = 0;
}

void CliAddRes(CLI::App& app)
{
    CLI::App* res = app.add_subcommand("res", "Resource files: list, extract and pack");
    res->require_subcommand(1);

    static std::string listFile;
    CLI::App* list = res->add_subcommand("list", "List the entries of a resource file");
    list->add_option("FILE", listFile, "Resource file")->required();
    list->callback([] { ResList(listFile); });

    static std::string exFile, exName, exOut;
    CLI::App* extract = res->add_subcommand("extract", "Write one entry of a resource file to a file");
    extract->add_option("FILE", exFile, "Resource file")->required();
    extract->add_option("NAME", exName, "Entry name, such as tree.shp")->required();
    extract->add_option("OUT", exOut, "File to write")->required();
    extract->callback([] { ResExtract(exFile, exName, exOut); });

    static std::string packOut;
    static bool packScramble;
    static std::vector<std::string> packFiles;
    CLI::App* pack = res->add_subcommand("pack", "Write a resource file from files (keys from their names)");
    pack->add_option("OUT", packOut, "Resource file to write")->required();
    pack->add_flag("--scramble", packScramble, "Store the names scrambled");
    pack->add_option("FILES", packFiles, "Files to pack")->required();
    pack->callback([] { ResPack(packOut, packScramble, packFiles); });
}
