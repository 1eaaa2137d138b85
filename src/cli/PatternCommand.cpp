#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "cli/PlanOptions.h"
#include "planner/Pattern.h"
#include "planner/Plan.h"

namespace cli
{
namespace
{

struct PatternCommandOptions {
    PlanOptions plan;
    std::string output = planner::kAcquisitionFile;
};

int runPattern(const PatternCommandOptions &opt)
{
    if (opt.output.empty()) return Complain("pattern", "--output must name a file");
    planner::Plan plan;
    planner::PatternLists lists;
    if (const int rc = opt.plan.load("pattern", plan, lists, stdout); rc != kOk) return rc;
    // From --from, the file is written again from what was read: the same bytes.
    const planner::WriteResult r = planner::WriteFileAtomically(opt.output, planner::BuildPlan(plan, lists));
    if (!r.ok) return Complain("pattern", r.message(), kFailure);
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
                "same kind of file, in their shooting order: rings from the top down, each by azimuth. With --plan "
                "the plan file gives the values, and options beside it override them. With --from, the pattern of "
                "an acquisition file written earlier (any layout; its layout and view distance recovered from it) "
                "is written again. Lengths are millimetres, angles degrees.");
    opt->plan.add(cmd, PlanOptions::kFrom);
    cmd->add_option("--output", opt->output, "file to write (default ./acquisition.txt)")->type_name("PATH");
    return [cmd, opt]() -> int {
        if (!cmd->parsed()) return -1;
        return runPattern(*opt);
    };
}

} // namespace cli
