#pragma once
// A plan: everything that describes one acquisition, in one value. The
// set-up (object and camera), the pattern (the grid's steps or a layout with
// its options), the camera's framing when known, the report's options, the
// image naming of the exports and the reference model. The window's
// document holds one; quorvel-cli makes one from its options or a plan file.
// Whatever judges, exports or draws the positions takes them from here, so
// every view of a plan describes the same set-up. Lengths are mm, angles
// degrees. No Qt in here.

#include <optional>
#include <string>
#include <vector>

#include "planner/Layout.h"
#include "planner/LightExport.h"
#include "planner/Pattern.h"
#include "planner/PlanReport.h"

namespace planner
{

struct Plan {
    // Object size, object height, camera distance; view distance, the grid's
    // steps and exclusions.
    PatternInput input;
    // The grid, or a layout with its options.
    LayoutInput layout;
    // Sensor and focal length, when known.
    std::optional<Framing> framing;
    // Elevation in degrees below which a light grazes.
    double grazingBelow = ReportOptions{}.grazingBelow;
    // Image names of the exports, numbered in shooting order.
    std::string imagePattern = ExportOptions{}.imagePattern;
    long long firstNumber = ExportOptions{}.firstNumber;
    // The reference model; empty when there is none.
    std::string modelPath;
    bool fitModel = false; // "Fit model to object"

    ReportOptions reportOptions() const;
    // The naming, and the image width of a .dome when the framing gives it
    // (the field at the object's centre plane); the caller adds what only an
    // export has (a width of its own, vertical offset, label).
    ExportOptions exportOptions() const;

    bool operator==(const Plan &o) const;
    bool operator!=(const Plan &o) const { return !(*this == o); }
};

// What is wrong with a plan, for a message: the key of the plan file
// ("setup.object_size", "layout.kind") and the reason.
struct PlanProblem {
    std::string key;
    std::string reason;
    std::string text() const; // "setup.object_size: must be ..."
};

// Checks every value against its limits in the parameter tables. None when
// the plan is sound.
std::optional<PlanProblem> ValidatePlan(const Plan &plan);

// The plan's positions and the whole text of its acquisition file.
std::string BuildPlan(const Plan &plan, PatternLists &out);

// The report of the plan on positions generated for it (or for an earlier
// pattern, when the set-up changed since): the one place where "usable" is
// decided for the report, the coverage, the exports and the view.
PlanReport ReportOf(const Plan &plan, const PatternLists &lists);
// Per position, whether the plan's report leaves it unflagged.
std::vector<bool> UsablePositions(const Plan &plan, const PatternLists &lists);

} // namespace planner
