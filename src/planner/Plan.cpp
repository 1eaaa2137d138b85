#include "planner/Plan.h"

#include <cmath>

#include "planner/Parameters.h"

namespace planner
{

ReportOptions Plan::reportOptions() const
{
    ReportOptions o;
    o.grazingBelow = grazingBelow;
    o.framing = framing;
    return o;
}

ExportOptions Plan::exportOptions() const
{
    ExportOptions o;
    o.imagePattern = imagePattern;
    o.firstNumber = firstNumber;
    if (framing) o.imageWidth = FieldWidth(*framing, input.cameraDistance);
    return o;
}

namespace
{

bool SameFraming(const std::optional<Framing> &a, const std::optional<Framing> &b)
{
    if (a.has_value() != b.has_value()) return false;
    if (!a) return true;
    return a->sensorWidth == b->sensorWidth && a->sensorHeight == b->sensorHeight && a->focalLength == b->focalLength;
}

bool SameInput(const PatternInput &a, const PatternInput &b)
{
    return a.horizontalStep == b.horizontalStep && a.verticalStep == b.verticalStep &&
           a.viewDistance == b.viewDistance && a.excludeCentralPoint == b.excludeCentralPoint &&
           a.excludeBasePlane == b.excludeBasePlane && a.objectSize == b.objectSize &&
           a.objectHeight == b.objectHeight && a.cameraDistance == b.cameraDistance;
}

bool SameLayout(const LayoutInput &a, const LayoutInput &b)
{
    return a.kind == b.kind && a.rings == b.rings && a.topLight == b.topLight && a.count == b.count &&
           a.frequency == b.frequency && a.minElevation == b.minElevation && a.skipFlagged == b.skipFlagged &&
           a.positions == b.positions;
}

} // namespace

bool Plan::operator==(const Plan &o) const
{
    return SameInput(input, o.input) && SameLayout(layout, o.layout) && SameFraming(framing, o.framing) &&
           grazingBelow == o.grazingBelow && imagePattern == o.imagePattern && firstNumber == o.firstNumber &&
           modelPath == o.modelPath && fitModel == o.fitModel;
}

std::string PlanProblem::text() const { return key.empty() ? reason : key + ": " + reason; }

namespace
{

std::optional<PlanProblem> CheckWhole(const char *key, const ParameterSpec &spec, long long v)
{
    if (v < spec.minimum || v > spec.maximum) return PlanProblem{key, MustText(spec) + ", got " + std::to_string(v)};
    return std::nullopt;
}

std::optional<PlanProblem> CheckValue(const char *key, Value id, double v)
{
    if (!WithinLimits(Spec(id), v)) return PlanProblem{key, MustText(Spec(id)) + ", got " + NumberText(v)};
    return std::nullopt;
}

// A suggested plan's positions: whole millimetres, no farther out than the
// largest view distance allows, never the centre itself.
std::optional<PlanProblem> CheckPositions(const LayoutInput &l)
{
    const char *const key = "layout.positions";
    if (l.kind != LayoutKind::Suggested) return std::nullopt;
    if (l.positions.empty() || l.positions.size() > kMaxSuggestedPositions)
        return PlanProblem{key, "a suggested plan holds from 1 to " + std::to_string(kMaxSuggestedPositions) +
                                    " positions, got " + std::to_string(l.positions.size())};
    const double reach = Spec(Param::ViewDistance).maximum + 1.0;
    for (std::size_t k = 0; k < l.positions.size(); ++k) {
        const nuk::Point3f &p = l.positions[k];
        const std::string which = "position " + std::to_string(k + 1) + " ";
        for (const float v : {p.x, p.y, p.z})
            if (!std::isfinite(v) || std::fabs(v) > reach || v != std::trunc(v))
                return PlanProblem{key, which + "must be three whole numbers of mm from " + NumberText(-reach) +
                                            " to " + NumberText(reach)};
        if (p.x == 0 && p.y == 0 && p.z == 0) return PlanProblem{key, which + "is the object's centre"};
    }
    return std::nullopt;
}

} // namespace

std::optional<PlanProblem> ValidatePlan(const Plan &p)
{
    const PatternInput &in = p.input;
    const struct {
        const char *key;
        Param id;
        long long value;
    } wholes[] = {
        {"setup.object_size", Param::ObjectSize, in.objectSize},
        {"setup.object_height", Param::ObjectHeight, in.objectHeight},
        {"setup.camera_distance", Param::CameraDistance, in.cameraDistance},
        {"pattern.view_distance", Param::ViewDistance, in.viewDistance},
        {"pattern.horizontal_step", Param::HorizontalStep, in.horizontalStep},
        {"pattern.vertical_step", Param::VerticalStep, in.verticalStep},
    };
    for (const auto &w : wholes)
        if (auto problem = CheckWhole(w.key, Spec(w.id), w.value)) return problem;

    const struct {
        const char *key;
        LayoutParam id;
        long long value;
    } layoutWholes[] = {
        {"layout.rings", LayoutParam::Rings, p.layout.rings},
        {"layout.count", LayoutParam::Count, p.layout.count},
        {"layout.frequency", LayoutParam::Frequency, p.layout.frequency},
        {"layout.min_elevation", LayoutParam::MinElevation, p.layout.minElevation},
    };
    for (const auto &w : layoutWholes)
        if (auto problem = CheckWhole(w.key, LayoutSpec(w.id), w.value)) return problem;
    if (!ParseLayoutKind(LayoutName(p.layout.kind))) return PlanProblem{"layout.kind", "unknown layout"};
    if (auto problem = CheckPositions(p.layout)) return problem;

    if (p.framing) {
        if (auto problem = CheckValue("framing.sensor_width", Value::SensorWidth, p.framing->sensorWidth))
            return problem;
        if (auto problem = CheckValue("framing.sensor_height", Value::SensorHeight, p.framing->sensorHeight))
            return problem;
        if (auto problem = CheckValue("framing.focal_length", Value::FocalLength, p.framing->focalLength))
            return problem;
    }
    if (auto problem = CheckValue("report.grazing_below", Value::GrazingBelow, p.grazingBelow)) return problem;
    if (auto problem = CheckValue("images.first_number", Value::FirstNumber, static_cast<double>(p.firstNumber)))
        return problem;
    std::string error;
    if (!ImageNamePattern::Parse(p.imagePattern, error)) return PlanProblem{"images.pattern", error};
    return std::nullopt;
}

std::string BuildPlan(const Plan &plan, PatternLists &out) { return BuildLayout(plan.input, plan.layout, out); }

PlanReport ReportOf(const Plan &plan, const PatternLists &lists)
{
    return ComputePlanReport(plan.input, lists, plan.reportOptions());
}

std::vector<bool> UsablePositions(const Plan &plan, const PatternLists &lists)
{
    return UsableMask(ReportOf(plan, lists));
}

} // namespace planner
