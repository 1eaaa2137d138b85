#pragma once
// Where a subcommand's pattern comes from: the pattern and layout options,
// or an acquisition file given with --from (its parameters and layout read
// back, its view distance recovered from its rows). Not both.

#include <cstdio>
#include <string>

#include "cli/LayoutOptions.h"
#include "cli/PatternOptions.h"
#include "planner/Pattern.h"

namespace CLI
{
class App;
class Option;
} // namespace CLI

namespace cli
{

class PatternSource
{
public:
    // Adds the pattern options, the layout options and --from to cmd.
    void add(CLI::App *cmd);

    // Fills in and lists. Returns kOk, or the exit status after printing
    // "quorvel-cli COMMAND: ..." to stderr. With announce set, says there
    // which file was read and the view distance recovered.
    // layout, when given, receives the layout (the file's own for --from).
    int load(const char *command, planner::PatternInput &in, planner::PatternLists &lists,
             std::FILE *announce = nullptr, planner::LayoutInput *layout = nullptr) const;

    bool fromGiven() const;
    const std::string &from() const { return from_; }

private:
    PatternOptions pattern_;
    LayoutOptions layout_;
    std::string from_;
    CLI::Option *fromOption_ = nullptr;
};

} // namespace cli
