#include <charconv>
#include <cstdio>
#include <string>
#include <system_error>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "planner/Pattern.h"

namespace cli
{
namespace
{

// One option with the limits of its spin edit in the window.
struct RangedOption {
    const char *name;
    int minimum;
    int maximum;
    int value;
    std::string text;
    CLI::Option *option = nullptr;
};

// A whole number in decimal, optionally signed; nothing else may follow.
bool parseWhole(const std::string &s, int &out)
{
    const char *first = s.data();
    const char *last = s.data() + s.size();
    if (first != last && *first == '+') ++first;
    if (first == last) return false;
    const auto r = std::from_chars(first, last, out);
    return r.ec == std::errc() && r.ptr == last;
}

struct PatternOptions {
    RangedOption objectSize{"--object-size", 10, 2000, 250, {}, nullptr};
    RangedOption objectHeight{"--object-height", 10, 2500, 1000, {}, nullptr};
    RangedOption cameraDistance{"--camera-distance", 10, 2500, 1000, {}, nullptr};
    RangedOption viewDistance{"--view-distance", 10, 3500, 1500, {}, nullptr};
    RangedOption horizontalStep{"--horizontal-step", 1, 90, 15, {}, nullptr};
    RangedOption verticalStep{"--vertical-step", 1, 90, 15, {}, nullptr};
    bool excludeCentral = false;
    bool excludeBase = false;
    std::string output = planner::kAcquisitionFile;

    RangedOption *all[6] = {&objectSize, &objectHeight, &cameraDistance, &viewDistance, &horizontalStep, &verticalStep};
};

void addRanged(CLI::App *cmd, RangedOption &o, const char *what)
{
    const std::string help = std::string(what) + " (whole number " + std::to_string(o.minimum) + ".." +
                             std::to_string(o.maximum) + ", default " + std::to_string(o.value) + ")";
    o.option = cmd->add_option(o.name, o.text, help)->type_name("N");
}

int runPattern(PatternOptions &opt)
{
    for (RangedOption *o : opt.all) {
        if (o->option->count() == 0) continue; // not given: keep the default
        int v = 0;
        if (!parseWhole(o->text, v) || v < o->minimum || v > o->maximum) {
            std::fprintf(stderr, "quorvel-cli pattern: %s must be a whole number from %d to %d, got '%s'\n", o->name,
                         o->minimum, o->maximum, o->text.c_str());
            return kUsage;
        }
        o->value = v;
    }
    if (opt.output.empty()) {
        std::fprintf(stderr, "quorvel-cli pattern: --output must name a file\n");
        return kUsage;
    }

    planner::PatternInput in;
    in.objectSize = opt.objectSize.value;
    in.objectHeight = opt.objectHeight.value;
    in.cameraDistance = opt.cameraDistance.value;
    in.viewDistance = opt.viewDistance.value;
    in.horizontalStep = opt.horizontalStep.value;
    in.verticalStep = opt.verticalStep.value;
    in.excludeCentralPoint = opt.excludeCentral;
    in.excludeBasePlane = opt.excludeBase;

    planner::PatternLists lists;
    const planner::WriteResult r = planner::Generate(in, lists, opt.output);
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
    auto opt = std::make_shared<PatternOptions>();
    CLI::App *cmd = app.add_subcommand("pattern", "Compute the acquisition pattern and write it for the capture rig");
    cmd->footer("Writes the same file as the window's \"Generate -->\": a header with the parameters, then one line "
                "per position, rows from the top pole down, points from left to right.");
    addRanged(cmd, opt->objectSize, "object size");
    addRanged(cmd, opt->objectHeight, "height of the object's centre above the floor");
    addRanged(cmd, opt->cameraDistance, "camera distance from the object's centre");
    addRanged(cmd, opt->viewDistance, "distance of the acquisition positions from the object's centre");
    addRanged(cmd, opt->horizontalStep, "horizontal angle between points of a row, in degrees");
    addRanged(cmd, opt->verticalStep, "vertical angle between rows, in degrees");
    cmd->add_flag("--exclude-central-point", opt->excludeCentral,
                  "leave out the point straight in front of the object (vertical and horizontal angle 90)");
    cmd->add_flag("--exclude-base-plane", opt->excludeBase,
                  "leave out the points on the base plane (both poles and the ends of every row)");
    cmd->add_option("--output", opt->output, "file to write (default ./acquisition.txt)")->type_name("PATH");
    return [cmd, opt]() -> int {
        if (!cmd->parsed()) return -1;
        return runPattern(*opt);
    };
}

} // namespace cli
