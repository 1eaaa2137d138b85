#include "cli/LayoutOptions.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"

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

const char *LayoutOptions::name(std::size_t param) const
{
    if (countName_ && param == static_cast<std::size_t>(planner::LayoutParam::Count)) return countName_;
    return planner::kLayoutParameters[param].option;
}

void LayoutOptions::add(CLI::App *cmd, const char *countName)
{
    countName_ = countName;
    layoutOption_ = cmd->add_option("--layout", layout_,
                                    "how the positions are laid out: grid (rows of the two steps, the default), rings "
                                    "(rings around the camera axis), spiral (golden-angle spiral) or geodesic "
                                    "(subdivided icosahedron)")
                        ->type_name("grid|rings|spiral|geodesic");
    for (std::size_t i = 0; i < planner::kLayoutParamCount; ++i) {
        const planner::ParameterSpec &spec = planner::kLayoutParameters[i];
        Entry &e = entries_[i];
        e.option = cmd->add_option(name(i), e.text, planner::HelpText(spec))->type_name("N");
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
    planner::LayoutInput l = out;
    if (layoutOption_ && layoutOption_->count() > 0) {
        const std::optional<planner::LayoutKind> k = planner::ParseLayoutKind(layout_);
        if (!k || *k == planner::LayoutKind::Suggested) {
            Complain(command, BadValue("--layout",
                                       k ? "must be grid, rings, spiral or geodesic (a suggested plan comes from "
                                           "'quorvel-cli suggest')"
                                         : "must be grid, rings, spiral or geodesic",
                                       layout_));
            return false;
        }
        l.kind = *k;
    }
    const char *const chosen = planner::LayoutName(l.kind);
    const auto refuse = [&](const char *option, const std::string &takenBy) {
        Complain(command, std::string(option) + " applies to the " + takenBy + ", not to the " + chosen + " layout");
        return false;
    };

    if (l.kind != planner::LayoutKind::Grid)
        if (const char *grid = pattern.gridOnlyGiven()) return refuse(grid, "grid layout only");

    using planner::LayoutParam;
    int values[planner::kLayoutParamCount];
    values[static_cast<std::size_t>(LayoutParam::Rings)] = l.rings;
    values[static_cast<std::size_t>(LayoutParam::Count)] = l.count;
    values[static_cast<std::size_t>(LayoutParam::Frequency)] = l.frequency;
    values[static_cast<std::size_t>(LayoutParam::MinElevation)] = l.minElevation;
    for (std::size_t i = 0; i < planner::kLayoutParamCount; ++i) {
        const planner::ParameterSpec &spec = planner::kLayoutParameters[i];
        const Entry &e = entries_[i];
        if (!e.option || e.option->count() == 0) continue;
        const planner::LayoutOption o = OptionOf(static_cast<planner::LayoutParam>(i));
        if (!planner::LayoutTakes(l.kind, o)) return refuse(name(i), TakenBy(o));
        const std::optional<int> checked = planner::CheckedValue(spec, e.text);
        if (!checked) {
            Complain(command, BadValue(name(i), planner::MustText(spec), e.text));
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

    l.rings = values[static_cast<std::size_t>(LayoutParam::Rings)];
    l.count = values[static_cast<std::size_t>(LayoutParam::Count)];
    l.frequency = values[static_cast<std::size_t>(LayoutParam::Frequency)];
    l.minElevation = values[static_cast<std::size_t>(LayoutParam::MinElevation)];
    if (noTopLightOption_ && noTopLightOption_->count() > 0) l.topLight = false;
    if (skipFlaggedOption_ && skipFlaggedOption_->count() > 0) l.skipFlagged = true;
    out = l;
    return true;
}

} // namespace cli
