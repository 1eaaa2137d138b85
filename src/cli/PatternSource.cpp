#include "cli/PatternSource.h"

#include <utility>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "planner/AcquisitionReader.h"

namespace cli
{

void PatternSource::add(CLI::App *cmd)
{
    pattern_.add(cmd);
    fromOption_ = cmd->add_option("--from", from_, "acquisition file to take the pattern from, instead of the options")
                      ->type_name("ACQUISITION_FILE");
}

bool PatternSource::fromGiven() const { return fromOption_ && fromOption_->count() > 0; }

int PatternSource::load(const char *command, planner::PatternInput &in, planner::PatternLists &lists,
                        std::FILE *announce) const
{
    if (!fromGiven()) {
        if (!pattern_.resolve(command, in)) return kUsage;
        planner::BuildPattern(in, lists);
        return kOk;
    }
    if (pattern_.anyGiven()) {
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
    if (announce)
        std::fprintf(announce, "read %zu points from %s (view distance %d mm, recovered from its rows)\n",
                     lists.positions.size(), from_.c_str(), in.viewDistance);
    return kOk;
}

} // namespace cli
