#include "cli/PatternSource.h"

#include <utility>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "planner/AcquisitionFile.h"
#include "planner/Layout.h"

namespace cli
{

void PatternSource::add(CLI::App *cmd)
{
    pattern_.add(cmd);
    layout_.add(cmd);
    fromOption_ = cmd->add_option("--from", from_, "acquisition file to take the pattern from, instead of the options")
                      ->type_name("ACQUISITION_FILE");
}

bool PatternSource::fromGiven() const { return fromOption_ && fromOption_->count() > 0; }

int PatternSource::load(const char *command, planner::PatternInput &in, planner::PatternLists &lists,
                        std::FILE *announce, planner::LayoutInput *layoutOut) const
{
    planner::LayoutInput layout; // the grid unless the options choose another
    if (!fromGiven()) {
        if (!pattern_.resolve(command, in)) return kUsage;
        if (!layout_.resolve(command, pattern_, layout)) return kUsage;
        planner::BuildLayout(in, layout, lists);
        if (layoutOut) *layoutOut = layout;
        return kOk;
    }
    if (pattern_.anyGiven() || layout_.anyGiven()) {
        std::fprintf(stderr,
                     "quorvel-cli %s: --from takes the parameters from the file; leave out the pattern options "
                     "(see 'quorvel-cli %s --help')\n",
                     command, command);
        return kUsage;
    }
    planner::AcquisitionRead read = planner::ReadAcquisitionFile(from_);
    if (!read.ok) {
        std::fprintf(stderr, "quorvel-cli %s: %s\n", command, read.error.text(from_).c_str());
        return kFailure;
    }
    in = read.input;
    lists = std::move(read.lists);
    if (layoutOut) *layoutOut = read.layout;
    if (announce)
        std::fprintf(announce, "read %zu points from %s (view distance %d mm, recovered from its rows)\n",
                     lists.positions.size(), from_.c_str(), in.viewDistance);
    return kOk;
}

} // namespace cli
