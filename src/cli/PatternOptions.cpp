#include "cli/PatternOptions.h"

#include <cstdio>
#include <initializer_list>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"

namespace cli
{

void PatternOptions::add(CLI::App *cmd)
{
    for (const planner::ParameterSpec &spec : planner::kParameters) {
        Entry &e = entries_[static_cast<std::size_t>(spec.id)];
        e.option = cmd->add_option(spec.option, e.text, planner::HelpText(spec))->type_name("N");
    }
    excludeCentralOption_ =
        cmd->add_flag("--exclude-central-point", excludeCentral_,
                      "leave out the point straight in front of the object (vertical and horizontal angle 90)");
    excludeBaseOption_ = cmd->add_flag("--exclude-base-plane", excludeBase_,
                                       "leave out the points on the base plane (both poles and the ends of every row)");
}

bool PatternOptions::anyGiven() const
{
    for (const Entry &e : entries_)
        if (e.option && e.option->count() > 0) return true;
    return (excludeCentralOption_ && excludeCentralOption_->count() > 0) ||
           (excludeBaseOption_ && excludeBaseOption_->count() > 0);
}

const char *PatternOptions::gridOnlyGiven() const
{
    for (const planner::Param p : {planner::Param::HorizontalStep, planner::Param::VerticalStep}) {
        const Entry &e = entries_[static_cast<std::size_t>(p)];
        if (e.option && e.option->count() > 0) return planner::Spec(p).option;
    }
    if (excludeCentralOption_ && excludeCentralOption_->count() > 0) return "--exclude-central-point";
    if (excludeBaseOption_ && excludeBaseOption_->count() > 0) return "--exclude-base-plane";
    return nullptr;
}

bool PatternOptions::resolve(const char *command, planner::PatternInput &in) const
{
    using planner::Param;
    int values[planner::kParamCount];
    values[static_cast<std::size_t>(Param::ObjectSize)] = in.objectSize;
    values[static_cast<std::size_t>(Param::ObjectHeight)] = in.objectHeight;
    values[static_cast<std::size_t>(Param::CameraDistance)] = in.cameraDistance;
    values[static_cast<std::size_t>(Param::ViewDistance)] = in.viewDistance;
    values[static_cast<std::size_t>(Param::HorizontalStep)] = in.horizontalStep;
    values[static_cast<std::size_t>(Param::VerticalStep)] = in.verticalStep;
    for (const planner::ParameterSpec &spec : planner::kParameters) {
        const Entry &e = entries_[static_cast<std::size_t>(spec.id)];
        int &v = values[static_cast<std::size_t>(spec.id)];
        if (!e.option || e.option->count() == 0) continue; // not given: keep what in holds
        const std::optional<int> checked = planner::CheckedValue(spec, e.text);
        if (!checked) {
            Complain(command, BadValue(spec.option, planner::MustText(spec), e.text));
            return false;
        }
        v = *checked;
    }
    in.objectSize = values[static_cast<std::size_t>(Param::ObjectSize)];
    in.objectHeight = values[static_cast<std::size_t>(Param::ObjectHeight)];
    in.cameraDistance = values[static_cast<std::size_t>(Param::CameraDistance)];
    in.viewDistance = values[static_cast<std::size_t>(Param::ViewDistance)];
    in.horizontalStep = values[static_cast<std::size_t>(Param::HorizontalStep)];
    in.verticalStep = values[static_cast<std::size_t>(Param::VerticalStep)];
    if (excludeCentralOption_ && excludeCentralOption_->count() > 0) in.excludeCentralPoint = true;
    if (excludeBaseOption_ && excludeBaseOption_->count() > 0) in.excludeBasePlane = true;
    return true;
}

} // namespace cli
