#pragma once
// Suggesting a plan: the positions the rig can reach (a plan's pattern or
// layout, less what its report flags) and a choice of some of them. Here
// the part that needs no model: an even choice, spread over the sphere of
// directions so that the nearest neighbours are about equally far apart
// and the PTM and HSH systems are well conditioned. The model-aware choice
// (suggest/) starts from the same candidates and compares itself with this
// one. Deterministic: the same candidates and count give the same choice.
// Lengths are mm, angles degrees. No Qt in here.

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "nuk/Point3.h"
#include "planner/Layout.h"
#include "planner/Plan.h"
#include "planner/PlanReport.h"

namespace planner
{

// The candidates when nothing else is asked for: a spiral of this many
// directions from the base plane up, at the plan's view distance.
inline constexpr int kDefaultCandidates = 1000;
LayoutInput DefaultCandidateLayout();

struct Candidates {
    std::vector<nuk::Point3f> positions;  // usable, in the candidates' shooting order (mm)
    std::vector<nuk::Point3d> directions; // unit, from the object's centre
    std::size_t considered = 0;           // positions before the flagged were left out
};

// The positions the plan's report leaves unflagged (below the floor,
// blocked by the camera, in the picture, grazing), with their directions.
Candidates UsableCandidates(const Plan &plan, const PatternLists &lists);

// How even a choice of directions is: the nearest-neighbour angles and the
// condition numbers of the PTM and order-3 HSH systems (none when the
// system cannot be fitted).
struct Evenness {
    std::optional<NeighbourAngles> neighbours;
    std::optional<double> ptm, hsh3;
};
Evenness EvennessOf(const std::vector<nuk::Point3d> &directions);

// What the even choice improves: the smallest nearest-neighbour angle
// weighed by how alike the angles are (min * min / max, degrees), less a
// little for a badly conditioned fit. Larger is better.
double EvenScore(const std::vector<nuk::Point3d> &directions);

// Called now and then with the share done (0..1); false stops the choice,
// which then returns what it has.
using SelectionProgress = std::function<bool(double done)>;

// count of the directions, as indices into them in increasing order:
// farthest-point selection from the direction nearest the camera axis, then
// swaps of a chosen direction for one of its near candidates while they
// raise EvenScore. All of them when count is at least their number.
std::vector<std::size_t> SelectEven(const std::vector<nuk::Point3d> &directions, std::size_t count,
                                    const SelectionProgress &progress = {});

// The candidates nearest to each direction, nearest first (itself left out):
// the swaps' neighbourhoods.
std::vector<std::vector<std::size_t>> NearCandidates(const std::vector<nuk::Point3d> &directions, std::size_t near);

// The plan of the chosen positions: the candidates' plan (set-up, view
// distance, framing, naming, model) with a suggested layout of the
// positions rounded to whole mm, in shooting order.
Plan SuggestedPlan(const Plan &candidatePlan, const std::vector<nuk::Point3f> &chosen);

} // namespace planner
