#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "cli/LayoutOptions.h"
#include "cli/PatternOptions.h"
#include "planner/Layout.h"
#include "planner/Pattern.h"

namespace cli
{
namespace
{

struct PatternCommandOptions {
    PatternOptions pattern;
    LayoutOptions layout;
    std::string output = planner::kAcquisitionFile;
};

int runPattern(const PatternCommandOptions &opt)
{
    planner::PatternInput in;
    if (!opt.pattern.resolve("pattern", in)) return kUsage;
    planner::LayoutInput layout;
    if (!opt.layout.resolve("pattern", opt.pattern, layout)) return kUsage;
    if (opt.output.empty()) {
        std::fprintf(stderr, "quorvel-cli pattern: --output must name a file\n");
        return kUsage;
    }

    planner::PatternLists lists;
    const planner::WriteResult r = planner::GenerateLayout(in, layout, lists, opt.output);
    if (!r.ok) {
        std::fprintf(stderr, "quorvel-cli pattern: %s\n", r.message().c_str());
        return kFailure;
    }
    std::printf("wrote %zu points to %s\n", lists.positions.size(), opt.output.c_str());
    return kOk;
}

} // namespace

Action addPatternCommand(CLI::App &app)
{
    auto opt = std::make_shared<PatternCommandOptions>();
    CLI::App *cmd = app.add_subcommand("pattern", "Compute the acquisition pattern and write it for the capture rig");
    cmd->footer("Writes the same file as the window's \"Generate -->\": a header with the parameters, then one line "
                "per position, rows from the top pole down, points from left to right. The other layouts write the "
                "same kind of file, in their shooting order: rings from the top down, each by azimuth. Lengths are "
                "millimetres, angles degrees.");
    opt->pattern.add(cmd);
    opt->layout.add(cmd);
    cmd->add_option("--output", opt->output, "file to write (default ./acquisition.txt)")->type_name("PATH");
    return [cmd, opt]() -> int {
        if (!cmd->parsed()) return -1;
        return runPattern(*opt);
    };
}

} // namespace cli
