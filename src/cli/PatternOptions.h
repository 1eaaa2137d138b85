#pragma once
// The pattern's options, shared by every subcommand that computes a pattern:
// one option per planner parameter (made from the parameter table), the two
// exclusions, and the check that turns them into the generator's input.

#include <array>
#include <string>

#include "planner/Parameters.h"
#include "planner/Pattern.h"

namespace CLI
{
class App;
class Option;
} // namespace CLI

namespace cli
{

class PatternOptions
{
public:
    // Adds --object-size ... --vertical-step, --exclude-central-point and
    // --exclude-base-plane to cmd.
    void add(CLI::App *cmd);

    // True when any of the pattern's options was given on the command line.
    bool anyGiven() const;

    // The first of the grid's own options given (the two steps and the two
    // exclusions), which no other layout takes; null when none was.
    const char *gridOnlyGiven() const;

    // Checks the given values against their limits and puts them into in;
    // what was not given keeps the value in holds. On a bad value prints
    // "quorvel-cli COMMAND: --option must be a whole number from A to B,
    // got 'TEXT'" to stderr and returns false.
    bool resolve(const char *command, planner::PatternInput &in) const;

private:
    struct Entry {
        std::string text;
        CLI::Option *option = nullptr;
    };
    std::array<Entry, planner::kParamCount> entries_;
    bool excludeCentral_ = false;
    bool excludeBase_ = false;
    CLI::Option *excludeCentralOption_ = nullptr;
    CLI::Option *excludeBaseOption_ = nullptr;
};

} // namespace cli
