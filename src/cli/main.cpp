// quorvel-cli: the planner without the window, for scripting the capture rig.

#include <cstdio>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"

int main(int argc, char **argv)
{
    CLI::App app{"Quorvel command-line planner for PTM image acquisition", "quorvel-cli"};
    app.require_subcommand(1);

    std::vector<cli::Action> actions;
    actions.push_back(cli::addPatternCommand(app));
    actions.push_back(cli::addInspectCommand(app));
    actions.push_back(cli::addCoverageCommand(app));

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        std::fprintf(stderr, "quorvel-cli: %s\n", e.what());
        return cli::kUsage;
    }

    for (const cli::Action &act : actions) {
        const int rc = act();
        if (rc >= 0) return rc;
    }
    return cli::kUsage;
}
