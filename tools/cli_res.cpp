// tolbex-cli res: list, extract and pack resource files.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "base/res.h"
#include "cli.h"   // found beside this file, whatever the include path
#include "platform/platform.h"

// Adds the file to the search list as the only one; 0, or 1 after an error line.
static int OpenResFile(const std::string& file)
{
    if (CliCheckReadable(file, RES_MAX_SIZE, "a resource file")) return 1;
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
        // The key comes from the file: shown printable.
        std::string key = CliPrintable(e.name, sizeof e.name);
        if (e.kind == 2)
            printf("%-12s %10u %10u\n", key.c_str(), e.offset, e.size);
        else
            printf("%-12s %10u %10u  (kind %u, skipped)\n", key.c_str(), e.offset, e.size, e.kind);
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
    if (CliWrite(out, ResPeek(id), ResSize(id))) return;
    printf("%s: %s\n", out.c_str(), CliCount((long long)ResSize(id), "byte", "bytes").c_str());
    gCliResult = 0;
}

// A key as the user would write it: "TREE    .SHP" is TREE.SHP, a key without extension has no dot.
static std::string ShownKey(const char key[13])
{
    std::string stem(key, 8), ext(key + 9, 3);
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    while (!ext.empty() && ext.back() == ' ') ext.pop_back();
    return ext.empty() ? stem : stem + "." + ext;
}

// True when the key keeps less of the name than it has: more than 8 characters before the
// first dot, or more than 3 after it. A folder is not part of the key.
static bool CutTo83(const std::string& file)
{
    size_t slash = file.find_last_of("/\\");
    std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    size_t dot = base.find('.');
    if (dot == std::string::npos) return base.size() > 8;
    return dot > 8 || base.size() - dot - 1 > 3;
}

static void ResPack(const std::string& out, bool scramble, const std::vector<std::string>& files)
{
    CliStartManagers();
    // Keys first: two files with one key would leave one of them unreachable.
    std::vector<std::string> keys;
    for (size_t i = 0; i < files.size(); i++) {
        char key[13];
        ResMakeKey(files[i].c_str(), key);
        keys.push_back(key);
        for (size_t j = 0; j < i; j++)
            if (keys[j] == keys[i]) {
                CliFail(1, "%s and %s both have the 8.3 key %s; nothing written", files[j].c_str(), files[i].c_str(),
                        ShownKey(key).c_str());
                return;
            }
    }
    for (size_t i = 0; i < files.size(); i++)
        if (CutTo83(files[i]))
            CliWarn("%s is stored as %s (names are cut to 8.3)", files[i].c_str(), ShownKey(keys[i].c_str()).c_str());

    // The whole resource file must stay within its 32-bit offsets: judged from the sizes,
    // before anything is read.
    uint64_t total = 0;
    for (const std::string& f : files) {
        if (CliCheckReadable(f, RES_MAX_SIZE, "a resource entry")) return;
        total += (uint64_t)FileSize(f.c_str()) + RES_DIR_ENTRY_SIZE;
    }
    if (total > RES_MAX_SIZE) {
        CliFail(1, "the files make %llu bytes, more than a resource file can hold (at most %u bytes); nothing written",
                (unsigned long long)total, (unsigned)RES_MAX_SIZE);
        return;
    }
    std::vector<ResId> ids;
    std::vector<ResPackItem> items;
    for (const std::string& f : files) {
        ResId id = CliReadFile(f, RES_MAX_SIZE, "a resource entry");
        if (!id) {
            for (ResId done : ids) ResFree(done);
            return;
        }
        ids.push_back(id);
    }
    for (size_t i = 0; i < files.size(); i++)
        items.push_back(ResPackItem{files[i].c_str(), ResOpen(ids[i]), (uint32_t)ResSize(ids[i])});
    errno = 0;
    int r = ResWriteFile(out.c_str(), items.data(), (int)items.size(), scramble ? 1 : 0);
    for (ResId id : ids) {
        ResClose(id);
        ResFree(id);
    }
    if (r != 0) {
        CliWriteFailed(out);
        return;
    }
    printf("%s: %s%s\n", out.c_str(), CliCount((long long)files.size(), "entry", "entries").c_str(),
           scramble ? ", names scrambled" : "");
    gCliResult = 0;
}

void CliAddRes(CLI::App& app)
{
    CLI::App* res = CliGroup(app, "res");

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
