#include "cli/LayoutOptions.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace cli
{

namespace
{

// "rings", "rings and spiral", "rings, spiral and geodesic": the layouts that take o.
std::string TakenBy(planner::LayoutOption o)
{
    std::vector<std::string> names;
    for (planner::LayoutKind k : planner::kLayoutKinds)
        if (planner::LayoutTakes(k, o)) names.push_back(planner::LayoutName(k));
    std::string s;
    for (std::size_t i = 0; i < names.size(); ++i)
        s += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return s + (names.size() == 1 ? " layout only" : " layouts");
}

planner::LayoutOption OptionOf(planner::LayoutParam p)
{
    switch (p) {
    case planner::LayoutParam::Rings:
        return planner::LayoutOption::Rings;
    case planner::LayoutParam::Count:
        return planner::LayoutOption::Count;
    case planner::LayoutParam::Frequency:
        return planner::LayoutOption::Frequency;
    case planner::LayoutParam::MinElevation:
        return planner::LayoutOption::MinElevation;
    }
    return planner::LayoutOption::MinElevation;
}

} // namespace

void LayoutOptions::add(CLI::App *cmd)
{
    layoutOption_ = cmd->add_option("--layout", layout_,
                                    "how the positions are laid out: grid (rows of the two steps, the default), rings "
                                    "(rings around the camera axis), spiral (golden-angle spiral) or geodesic "
                                    "(subdivided icosahedron)")
                        ->type_name("grid|rings|spiral|geodesic");
    for (std::size_t i = 0; i < planner::kLayoutParamCount; ++i) {
        const planner::ParameterSpec &spec = planner::kLayoutParameters[i];
        Entry &e = entries_[i];
        const std::string help = std::string(spec.meaning) + " (" + planner::RangeText(spec) + ")";
        e.option = cmd->add_option(spec.option, e.text, help)->type_name("N");
    }
    noTopLightOption_ =
        cmd->add_flag("--no-top-light", noTopLight_, "no light on the camera axis above the rings (rings layout)");
    skipFlaggedOption_ = cmd->add_flag("--skip-flagged", skipFlagged_,
                                       "leave out the lights the plan report flags as below the floor or blocked by "
                                       "the camera (rings, spiral and geodesic layouts)");
}

bool LayoutOptions::anyGiven() const
{
    if (layoutOption_ && layoutOption_->count() > 0) return true;
    for (const Entry &e : entries_)
        if (e.option && e.option->count() > 0) return true;
    return (noTopLightOption_ && noTopLightOption_->count() > 0) ||
           (skipFlaggedOption_ && skipFlaggedOption_->count() > 0);
}

bool LayoutOptions::resolve(const char *command, const PatternOptions &pattern, planner::LayoutInput &out) const
{
    planner::LayoutInput l;
    if (layoutOption_ && layoutOption_->count() > 0) {
        const std::optional<planner::LayoutKind> k = planner::ParseLayoutKind(layout_);
        if (!k) {
            std::fprintf(stderr, "quorvel-cli %s: --layout must be grid, rings, spiral or geodesic, got '%s'\n",
                         command, layout_.c_str());
            return false;
        }
        l.kind = *k;
    }
    const char *const chosen = planner::LayoutName(l.kind);
    const auto refuse = [&](const char *option, const std::string &takenBy) {
        std::fprintf(stderr, "quorvel-cli %s: %s applies to the %s, not to the %s layout\n", command, option,
                     takenBy.c_str(), chosen);
        return false;
    };

    if (l.kind != planner::LayoutKind::Grid)
        if (const char *grid = pattern.gridOnlyGiven()) return refuse(grid, "grid layout only");

    int values[planner::kLayoutParamCount];
    for (std::size_t i = 0; i < planner::kLayoutParamCount; ++i) {
        const planner::ParameterSpec &spec = planner::kLayoutParameters[i];
        const Entry &e = entries_[i];
        values[i] = spec.defaultValue;
        if (!e.option || e.option->count() == 0) continue;
        const planner::LayoutOption o = OptionOf(static_cast<planner::LayoutParam>(i));
        if (!planner::LayoutTakes(l.kind, o)) return refuse(spec.option, TakenBy(o));
        const std::optional<int> checked = planner::CheckedValue(spec, e.text);
        if (!checked) {
            std::fprintf(stderr, "quorvel-cli %s: %s must be a whole number from %d to %d, got '%s'\n", command,
                         spec.option, spec.minimum, spec.maximum, e.text.c_str());
            return false;
        }
        values[i] = *checked;
    }
    if (noTopLightOption_ && noTopLightOption_->count() > 0 &&
        !planner::LayoutTakes(l.kind, planner::LayoutOption::TopLight))
        return refuse("--no-top-light", TakenBy(planner::LayoutOption::TopLight));
    if (skipFlaggedOption_ && skipFlaggedOption_->count() > 0 &&
        !planner::LayoutTakes(l.kind, planner::LayoutOption::SkipFlagged))
        return refuse("--skip-flagged", TakenBy(planner::LayoutOption::SkipFlagged));

    using planner::LayoutParam;
    l.rings = values[static_cast<std::size_t>(LayoutParam::Rings)];
    l.count = values[static_cast<std::size_t>(LayoutParam::Count)];
    l.frequency = values[static_cast<std::size_t>(LayoutParam::Frequency)];
    l.minElevation = values[static_cast<std::size_t>(LayoutParam::MinElevation)];
    l.topLight = !noTopLight_;
    l.skipFlagged = skipFlagged_;
    out = l;
    return true;
}

} // namespace cli
