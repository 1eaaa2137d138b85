#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "cli/PatternSource.h"
#include "planner/Layout.h"
#include "planner/Pattern.h"

namespace cli
{
namespace
{

struct PatternCommandOptions {
    PatternSource source; // the pattern and layout options, or --from
    std::string output = planner::kAcquisitionFile;
};

int runPattern(const PatternCommandOptions &opt)
{
    planner::PatternInput in;
    planner::PatternLists lists;
    planner::LayoutInput layout;
    const int loaded = opt.source.load("pattern", in, lists, stdout, &layout);
    if (loaded != kOk) return loaded;
    if (opt.output.empty()) {
        std::fprintf(stderr, "quorvel-cli pattern: --output must name a file\n");
        return kUsage;
    }

    // Written again from what was read, a file read with --from comes out
    // byte for byte the same.
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
                "same kind of file, in their shooting order: rings from the top down, each by azimuth. With --from, "
                "the pattern of an acquisition file written earlier, its layout and view distance recovered from "
                "it, is written again. Lengths are millimetres, angles degrees.");
    opt->source.add(cmd);
    cmd->add_option("--output", opt->output, "file to write (default ./acquisition.txt)")->type_name("PATH");
    return [cmd, opt]() -> int {
        if (!cmd->parsed()) return -1;
        return runPattern(*opt);
    };
}

} // namespace cli
