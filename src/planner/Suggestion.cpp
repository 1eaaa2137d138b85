#include "planner/Suggestion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "planner/Direction.h"

namespace planner
{

namespace
{

using nuk::Point3d;

// A fit past this is noise (PlanReport's own limit).
constexpr double kUnfit = 1e6;
// How much a badly conditioned system weighs against the angles: a
// condition number ten times larger costs 2 % of the score.
constexpr double kConditionWeight = 0.02;
// A swap is taken only when it raises the score by more than rounding.
constexpr double kBetter = 1e-9;
constexpr int kMaxPasses = 12;
constexpr std::size_t kNear = 12;

double Dot(const Point3d &a, const Point3d &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The systems' rows of every candidate, worked out once.
struct Rows {
    std::vector<std::array<double, 6>> ptm;
    std::vector<std::vector<double>> hsh3;

    explicit Rows(const std::vector<Point3d> &d)
    {
        for (const Point3d &u : d) {
            ptm.push_back(PtmRow(u));
            hsh3.push_back(HshRow(u, 3));
        }
    }
};

std::optional<double> ConditionOf(const char *name, int cols, const std::vector<std::size_t> &chosen,
                                  const std::function<const double *(std::size_t)> &row)
{
    if (chosen.size() < static_cast<std::size_t>(cols)) return std::nullopt;
    std::vector<double> a;
    a.reserve(chosen.size() * static_cast<std::size_t>(cols));
    for (std::size_t i : chosen)
        a.insert(a.end(), row(i), row(i) + cols);
    const FitCondition f = Condition(name, cols, a);
    return f.canFit ? std::optional<double>(f.condition) : std::optional<double>(kUnfit);
}

double Score(const std::vector<Point3d> &dirs, const Rows &rows, const std::vector<std::size_t> &chosen)
{
    std::vector<Point3d> d;
    d.reserve(chosen.size());
    for (std::size_t i : chosen)
        d.push_back(dirs[i]);
    const std::optional<NeighbourAngles> a = NearestNeighbourAngles(d);
    if (!a || !(a->max > 0)) return 0.0;
    double score = a->min * a->min / a->max;
    const std::optional<double> ptm =
        ConditionOf("PTM", 6, chosen, [&rows](std::size_t i) { return rows.ptm[i].data(); });
    const std::optional<double> hsh =
        ConditionOf("HSH order 3", 9, chosen, [&rows](std::size_t i) { return rows.hsh3[i].data(); });
    const double worst = std::max(ptm.value_or(1.0), hsh.value_or(1.0));
    return score / (1.0 + kConditionWeight * std::log10(std::max(1.0, worst)));
}

} // namespace

LayoutInput DefaultCandidateLayout()
{
    LayoutInput l;
    l.kind = LayoutKind::Spiral;
    l.count = kDefaultCandidates;
    l.minElevation = 0; // the report's grazing limit decides how low
    return l;
}

Candidates UsableCandidates(const Plan &plan, const PatternLists &lists)
{
    Candidates c;
    c.considered = lists.positions.size();
    const std::vector<bool> usable = UsablePositions(plan, lists);
    for (std::size_t i = 0; i < lists.positions.size(); ++i) {
        if (!usable[i]) continue;
        const nuk::Point3f &p = lists.positions[i];
        const Direction d = DirectionOf(Point3d(p.x, p.y, p.z));
        if (!d.defined) continue;
        c.positions.push_back(p);
        c.directions.push_back(d.unit);
    }
    return c;
}

Evenness EvennessOf(const std::vector<Point3d> &directions)
{
    Evenness e;
    e.neighbours = NearestNeighbourAngles(directions);
    std::vector<double> ptm, hsh;
    for (const Point3d &d : directions) {
        const std::array<double, 6> r = PtmRow(d);
        ptm.insert(ptm.end(), r.begin(), r.end());
        const std::vector<double> h = HshRow(d, 3);
        hsh.insert(hsh.end(), h.begin(), h.end());
    }
    const FitCondition p = Condition("PTM", 6, ptm), h = Condition("HSH order 3", 9, hsh);
    if (p.canFit) e.ptm = p.condition;
    if (h.canFit) e.hsh3 = h.condition;
    return e;
}

double EvenScore(const std::vector<Point3d> &directions)
{
    std::vector<std::size_t> all(directions.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = i;
    return Score(directions, Rows(directions), all);
}

std::vector<std::vector<std::size_t>> NearCandidates(const std::vector<Point3d> &dirs, std::size_t near)
{
    std::vector<std::vector<std::size_t>> out(dirs.size());
    std::vector<std::pair<double, std::size_t>> by;
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        by.clear();
        for (std::size_t j = 0; j < dirs.size(); ++j)
            if (j != i) by.emplace_back(-Dot(dirs[i], dirs[j]), j);
        const std::size_t n = std::min(near, by.size());
        std::partial_sort(by.begin(), by.begin() + static_cast<std::ptrdiff_t>(n), by.end());
        for (std::size_t k = 0; k < n; ++k)
            out[i].push_back(by[k].second);
    }
    return out;
}

std::vector<std::size_t> SelectEven(const std::vector<Point3d> &dirs, std::size_t count,
                                    const SelectionProgress &progress)
{
    std::vector<std::size_t> chosen;
    if (count >= dirs.size()) {
        for (std::size_t i = 0; i < dirs.size(); ++i)
            chosen.push_back(i);
        return chosen;
    }
    if (count == 0) return chosen;

    // Farthest-point: the direction nearest the camera axis, then each time
    // the one farthest from all chosen so far (the smallest largest cosine).
    std::size_t first = 0;
    for (std::size_t i = 1; i < dirs.size(); ++i)
        if (dirs[i].z > dirs[first].z) first = i;
    std::vector<double> nearest(dirs.size(), -2.0);
    std::vector<char> taken(dirs.size(), 0);
    for (std::size_t pick = first;;) {
        chosen.push_back(pick);
        taken[pick] = 1;
        if (chosen.size() == count) break;
        for (std::size_t i = 0; i < dirs.size(); ++i)
            nearest[i] = std::max(nearest[i], Dot(dirs[i], dirs[pick]));
        pick = dirs.size();
        for (std::size_t i = 0; i < dirs.size(); ++i)
            if (!taken[i] && (pick == dirs.size() || nearest[i] < nearest[pick])) pick = i;
    }

    // Swaps: each chosen direction for the best of its near candidates,
    // while that raises the score.
    const Rows rows(dirs);
    const std::vector<std::vector<std::size_t>> near = NearCandidates(dirs, kNear);
    double score = Score(dirs, rows, chosen);
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        bool improved = false;
        for (std::size_t s = 0; s < chosen.size(); ++s) {
            if (progress && !progress((pass + double(s) / double(chosen.size())) / kMaxPasses)) {
                std::sort(chosen.begin(), chosen.end());
                return chosen;
            }
            const std::size_t was = chosen[s];
            std::size_t best = was;
            double bestScore = score;
            for (std::size_t b : near[was]) {
                if (taken[b]) continue;
                chosen[s] = b;
                const double t = Score(dirs, rows, chosen);
                if (t > bestScore * (1.0 + kBetter)) {
                    bestScore = t;
                    best = b;
                }
            }
            chosen[s] = best;
            if (best != was) {
                taken[was] = 0;
                taken[best] = 1;
                score = bestScore;
                improved = true;
            }
        }
        if (!improved) break;
    }
    std::sort(chosen.begin(), chosen.end());
    return chosen;
}

Plan SuggestedPlan(const Plan &candidatePlan, const std::vector<nuk::Point3f> &chosen)
{
    Plan p = candidatePlan;
    p.layout = LayoutInput{};
    p.layout.kind = LayoutKind::Suggested;
    for (const nuk::Point3f &q : chosen) {
        // Whole millimetres, as the file writes them. Rounding moves a light
        // by under a millimetre; should that carry it over a limit of the
        // report, another corner of its unit cube does not.
        const nuk::Point3f r(std::round(q.x), std::round(q.y), std::round(q.z));
        nuk::Point3f use = r;
        if (ComputePlanReport(p.input, {r}, p.reportOptions()).positions.front().flags != 0) {
            for (int corner = 0; corner < 8; ++corner) {
                const nuk::Point3f c((corner & 1) ? std::ceil(q.x) : std::floor(q.x),
                                     (corner & 2) ? std::ceil(q.y) : std::floor(q.y),
                                     (corner & 4) ? std::ceil(q.z) : std::floor(q.z));
                if (ComputePlanReport(p.input, {c}, p.reportOptions()).positions.front().flags == 0) {
                    use = c;
                    break;
                }
            }
        }
        p.layout.positions.push_back(use);
    }
    PatternLists lists;
    BuildLayout(p.input, p.layout, lists);
    p.layout.positions = lists.positions;
    return p;
}

} // namespace planner
