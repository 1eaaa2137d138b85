#pragma once
// The layout's options, shared by every subcommand that computes a pattern,
// beside the pattern's own (PatternOptions): --layout and the options of the
// rings, spiral and geodesic layouts. An option that does not apply to the
// chosen layout is refused, and so are the grid's own steps and exclusions
// with any other layout.

#include <array>
#include <string>

#include "cli/PatternOptions.h"
#include "planner/Layout.h"

namespace CLI
{
class App;
class Option;
} // namespace CLI

namespace cli
{

class LayoutOptions
{
public:
    // Adds --layout, --rings, --no-top-light, --count, --frequency,
    // --min-elevation and --skip-flagged to cmd; the spiral's count under
    // another name when countName is given (where --count means something
    // else).
    void add(CLI::App *cmd, const char *countName = nullptr);

    // True when any of these options was given on the command line.
    bool anyGiven() const;

    // Checks the values against their limits and the options given against
    // the chosen layout (the pattern's own options too), and puts them into
    // out; what was not given keeps the value out holds. On a mistake prints
    // "quorvel-cli COMMAND: ..." to stderr and returns false.
    bool resolve(const char *command, const PatternOptions &pattern, planner::LayoutInput &out) const;

private:
    struct Entry {
        std::string text;
        CLI::Option *option = nullptr;
    };
    const char *name(std::size_t param) const;

    std::string layout_;
    const char *countName_ = nullptr;
    CLI::Option *layoutOption_ = nullptr;
    std::array<Entry, planner::kLayoutParamCount> entries_;
    bool noTopLight_ = false;
    bool skipFlagged_ = false;
    CLI::Option *noTopLightOption_ = nullptr;
    CLI::Option *skipFlaggedOption_ = nullptr;
};

} // namespace cli
