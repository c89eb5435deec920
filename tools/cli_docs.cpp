// The manual page and the bash completion of tolbex-cli, both written from the command table
// itself: a command or option added to the table is documented and completed with no step
// of its own.
#include <cstdio>
#include <string>
#include <vector>

#include "kernel/version.h"
#include "tools/cli.h"

namespace clidocs {

std::vector<CLI::App*> Commands(const CLI::App& app)
{
    return const_cast<CLI::App&>(app).get_subcommands([](CLI::App*) { return true; });
}

// The options a user types, the help flag left out: it is the same everywhere.
std::vector<const CLI::Option*> Options(const CLI::App& app)
{
    std::vector<const CLI::Option*> out;
    for (const CLI::Option* o : app.get_options())
        if (o != app.get_help_ptr()) out.push_back(o);
    return out;
}

// Roff: a backslash, an option's dash, and a leading dot or quote are escaped.
std::string Roff(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else if ((c == '.' || c == '\'') && (out.empty() || out.back() == '\n')) out += "\\&", out += c;
        else out += c;
    }
    return out;
}

std::string Path(const CLI::App& app)
{
    std::string path;
    for (const CLI::App* a = &app; a && a->get_parent(); a = a->get_parent()) path = a->get_name() + (path.empty() ? "" : " " + path);
    return path;
}

void ManCommand(const CLI::App& app)
{
    std::vector<CLI::App*> subs = Commands(app);
    if (app.get_parent()) {
        std::string synopsis = "tolbex-cli " + Path(app);
        for (const CLI::Option* o : Options(app))
            if (o->get_positional()) synopsis += " " + o->get_name();
        if (!subs.empty()) synopsis += " COMMAND";
        for (const CLI::Option* o : Options(app))
            if (!o->get_positional()) {
                synopsis += " [OPTIONS]";
                break;
            }
        printf(".SS %s\n%s\n", Roff(synopsis).c_str(), Roff(app.get_description()).c_str());
        for (const CLI::Option* o : Options(app)) {
            std::string name = o->get_positional() ? o->get_name() : o->get_name(false, true);
            std::string type = o->get_positional() || o->get_type_size() == 0 ? "" : " " + o->get_type_name();
            printf(".TP\n.B %s%s\n%s\n", Roff(name).c_str(), Roff(type).c_str(), Roff(o->get_description()).c_str());
        }
    }
    for (const CLI::App* sub : subs) ManCommand(*sub);
}

}  // namespace clidocs


void CliPrintManPage(const CLI::App& app)
{
    printf(".TH TOLBEX-CLI 1 \"\" \"tolbex-cli %s\" \"User Commands\"\n", TOLBEX_VERSION);
    std::string what = app.get_description();
    if (what.rfind("tolbex-cli: ", 0) == 0) what = what.substr(12);
    printf(".SH NAME\ntolbex-cli \\- %s\n", clidocs::Roff(what).c_str());
    printf(".SH SYNOPSIS\n.B tolbex-cli\n[\\-\\-log FILE] [\\-\\-verbose] GROUP COMMAND [ARGUMENTS]\n.br\n"
           ".B tolbex-cli\n\\-\\-help | \\-\\-version | \\-\\-man\\-page | \\-\\-bash\\-completion\n");
    printf(".SH DESCRIPTION\nEvery file operation of the Tolbex editor, without its window. A command prints "
           "its result on standard output; a failure prints one line on standard error that starts "
           "\"tolbex\\-cli:\" and names the file and the reason.\n");
    printf(".SH GLOBAL OPTIONS\n");
    for (const CLI::Option* o : clidocs::Options(app)) {
        std::string type = o->get_type_size() == 0 ? "" : " " + o->get_type_name();
        printf(".TP\n.B %s%s\n%s\n", clidocs::Roff(o->get_name(false, true)).c_str(), clidocs::Roff(type).c_str(),
               clidocs::Roff(o->get_description()).c_str());
    }
    printf(".TP\n.B \\-\\-man\\-page\nPrint this manual page (roff) and exit\n"
           ".TP\n.B \\-\\-bash\\-completion\nPrint the bash completion script and exit\n");
    printf(".SH COMMANDS\n");
    clidocs::ManCommand(app);
    printf(".SH EXIT STATUS\n.TP\n.B 0\nsuccess\n.TP\n.B 1\nrefused or failed input\n.TP\n.B 2\nusage error\n"
           ".SH SEE ALSO\n.BR tolbex (1)\n");
}

// The completion walks the words typed so far down the command tree, then offers the
// commands and options of the command reached, or file names.
namespace clidocs {
static void CompletionCases(const CLI::App& app, std::string& paths, std::string& cases)
{
    std::string path = Path(app);
    if (!path.empty()) paths += " \"" + path + "\"";
    std::string words;
    for (const CLI::App* sub : Commands(app)) words += (words.empty() ? "" : " ") + sub->get_name();
    for (const CLI::Option* o : Options(app))
        if (!o->get_positional()) words += (words.empty() ? "" : " ") + o->get_name(false, true);
    words += words.empty() ? "--help" : " --help";
    if (!app.get_parent()) words += " --man-page --bash-completion";
    cases += "    \"" + path + "\") words=\"" + words + "\" ;;\n";
    for (const CLI::App* sub : Commands(app)) CompletionCases(*sub, paths, cases);
}

}  // namespace clidocs

void CliPrintBashCompletion(const CLI::App& app)
{
    std::string paths, cases;
    clidocs::CompletionCases(app, paths, cases);
    printf("# bash completion for tolbex-cli %s, written by tolbex-cli --bash-completion\n"
           "_tolbex_cli()\n{\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} path=\"\" try words cmds=\"\" w i p\n"
           "    local paths=(%s)\n"
           "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "        try=\"${path:+$path }${COMP_WORDS[i]}\"\n"
           "        for p in \"${paths[@]}\"; do [[ $p == \"$try\" ]] && path=$try && break; done\n"
           "    done\n"
           "    case \"$path\" in\n%s"
           "    esac\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
           "    else\n"
           "        for w in $words; do [[ $w == -* ]] || cmds+=\" $w\"; done\n"
           "        COMPREPLY=($(compgen -W \"$cmds\" -- \"$cur\") $(compgen -f -- \"$cur\"))\n"
           "    fi\n"
           "}\n"
           "complete -o filenames -F _tolbex_cli tolbex-cli\n",
           TOLBEX_VERSION, paths.c_str(), cases.c_str());
}
