// quorvel-cli: the planner without the window, for scripting the capture rig.

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "Version.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"

int main(int argc, char **argv)
{
    CLI::App app{"Quorvel command-line planner for PTM image acquisition", "quorvel-cli"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("quorvel-cli ") + QUORVEL_VERSION, "Print the version and exit");
    app.footer("Exit status: 0 on success, 1 when the work failed (a file that cannot be read or written), 2 when "
               "the command line is wrong. 'quorvel-cli SUBCOMMAND --help' tells a subcommand's options.");

    std::vector<cli::Action> actions;
    actions.push_back(cli::addPatternCommand(app));
    actions.push_back(cli::addInspectCommand(app));
    actions.push_back(cli::addReportCommand(app));
    actions.push_back(cli::addExportCommand(app));
    actions.push_back(cli::addCoverageCommand(app));
    actions.push_back(cli::addPlanCommand(app));
    actions.push_back(cli::addCaptureCommand(app));
    actions.push_back(cli::addPredictCommand(app));
    actions.push_back(cli::addSuggestCommand(app));

    if (const int rc = cli::ParseCommandLine(app, argc, argv); rc >= 0) return rc;

    for (const cli::Action &act : actions) {
        const int rc = act();
        if (rc >= 0) return rc;
    }
    return cli::kUsage;
}
