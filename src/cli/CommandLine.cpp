#include "cli/CommandLine.h"

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"

namespace cli
{
namespace
{

// The subcommand being parsed when parsing stopped, or app itself.
const CLI::App *Innermost(const CLI::App &app)
{
    const CLI::App *at = &app;
    for (;;) {
        const std::vector<CLI::App *> chosen = at->get_subcommands();
        if (chosen.empty()) return at;
        at = chosen.front();
    }
}

// "quorvel-cli" or "quorvel-cli pattern", as the user typed it.
std::string CommandPath(const CLI::App &app, const CLI::App *at)
{
    std::string path;
    for (const CLI::App *a = at; a; a = a->get_parent())
        path = a == &app ? app.get_name() + path : " " + a->get_name() + path;
    return path;
}

std::string SubcommandNames(const CLI::App &app)
{
    std::string s;
    for (const CLI::App *sub : app.get_subcommands([](const CLI::App *) { return true; }))
        s += (s.empty() ? "" : ", ") + sub->get_name();
    return s;
}

int Usage(const CLI::App &app, const CLI::App *at, const std::string &what)
{
    const std::string path = CommandPath(app, at);
    std::fprintf(stderr, "%s: %s (see '%s --help')\n", path.c_str(), what.c_str(), path.c_str());
    return kUsage;
}

// The first thing CLI11 left over, said as what it is.
std::string NotUnderstood(const CLI::App &app, const CLI::App *at, const std::vector<std::string> &left)
{
    auto isOption = [](const std::string &a) { return a.size() > 1 && a[0] == '-'; };
    // Before any subcommand, a word can only have been meant as one.
    if (at == &app)
        for (const std::string &a : left)
            if (!isOption(a)) return "unknown subcommand '" + a + "'";
    if (isOption(left.front())) return "unknown option '" + left.front() + "'";
    return "unexpected argument '" + left.front() + "'";
}

// Every single-valued option keeps its last value instead of failing inside
// CLI11, so that a repeat is found after parsing and named.
void KeepLastValues(CLI::App &app)
{
    for (CLI::Option *opt : app.get_options())
        if (opt->get_multi_option_policy() == CLI::MultiOptionPolicy::Throw)
            opt->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    for (CLI::App *sub : app.get_subcommands([](CLI::App *) { return true; }))
        KeepLastValues(*sub);
}

} // namespace

int ParseCommandLine(CLI::App &app, int argc, char **argv)
{
    KeepLastValues(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success &e) { // --help, --version
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        const CLI::App *at = Innermost(app);
        const std::vector<std::string> left = app.remaining(true);
        if (!left.empty()) return Usage(app, at, NotUnderstood(app, at, left));
        if (at == &app && app.get_subcommands().empty())
            return Usage(app, at, "a subcommand is required: " + SubcommandNames(app));
        // CLI11 says "--output: 1 required PATH missing".
        std::smatch m;
        const std::string what = e.what();
        if (std::regex_match(what, m, std::regex("(-[^:]+): [0-9]+ required .* missing")))
            return Usage(app, at, m.str(1) + " needs a value");
        return Usage(app, at, what);
    }

    for (const CLI::App *a = Innermost(app); a; a = a->get_parent())
        for (const CLI::Option *opt : a->get_options())
            if (opt->count() > 1) return Usage(app, a, opt->get_name() + " is given more than once");
    return -1;
}

int Complain(const char *command, const std::string &message, int status)
{
    std::fprintf(stderr, "quorvel-cli %s: %s\n", command, message.c_str());
    return status;
}

std::string BadValue(const char *option, const std::string &must, const std::string &got)
{
    return std::string(option) + " " + must + ", got '" + got + "'";
}

} // namespace cli
