#pragma once
// The plan of a subcommand: the pattern and layout options, and as the
// subcommand needs them the framing (--sensor, --focal), the report's
// grazing limit (--grazing), the image naming (--images, --first) and the
// model (--model, --fit). With --plan FILE the plan file gives the starting
// values and every option given beside it overrides the file's value; with
// --from ACQUISITION_FILE the set-up and the pattern are read back from an
// acquisition file instead.

#include <cstdio>
#include <optional>
#include <string>

#include "cli/LayoutOptions.h"
#include "cli/PatternOptions.h"
#include "planner/Pattern.h"
#include "planner/Plan.h"

namespace CLI
{
class App;
class Option;
} // namespace CLI

namespace cli
{

class PlanOptions
{
public:
    enum Group : unsigned {
        kFraming = 1u << 0, // --sensor, --focal
        kReport = 1u << 1,  // --grazing
        kNaming = 1u << 2,  // --images, --first
        kModel = 1u << 3,   // --model, --fit
        kFit = 1u << 4,     // --fit alone, beside a model argument
        kFrom = 1u << 5,    // --from
    };

    // Adds --plan, the pattern and layout options and the groups asked for.
    // countName renames the spiral's --count (LayoutOptions::add).
    void add(CLI::App *cmd, unsigned groups, const char *countName = nullptr);
    // The layout a plan starts from when no plan file is given (before the
    // layout options), instead of the grid.
    void setDefaultLayout(const planner::LayoutInput &layout) { defaultLayout_ = layout; }

    // The plan: the file's (or the defaults), with the options given over it,
    // checked against every limit. Returns kOk, or the exit status after
    // printing "quorvel-cli COMMAND: ..." on stderr.
    int resolve(const char *command, planner::Plan &plan) const;

    // resolve, then the plan's positions: generated, or read back from --from
    // (whose set-up, pattern and layout then replace the plan's). With
    // announce set, says there which file was read.
    int load(const char *command, planner::Plan &plan, planner::PatternLists &lists,
             std::FILE *announce = nullptr) const;

    bool fromGiven() const;
    bool planGiven() const;
    bool fitGiven() const;
    const std::string &from() const { return from_; }
    const std::string &planPath() const { return planPath_; }

private:
    bool given(const CLI::Option *o) const;

    unsigned groups_ = 0;
    std::optional<planner::LayoutInput> defaultLayout_;
    PatternOptions pattern_;
    LayoutOptions layout_;
    std::string from_, planPath_, sensor_, focal_, grazing_, images_, first_, model_;
    bool fit_ = false;
    CLI::Option *fromOption_ = nullptr, *planOption_ = nullptr, *sensorOption_ = nullptr, *focalOption_ = nullptr,
                *grazingOption_ = nullptr, *imagesOption_ = nullptr, *firstOption_ = nullptr, *modelOption_ = nullptr,
                *fitOption_ = nullptr;
};

} // namespace cli
