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

// A fitting system's normal matrix A^T A, kept up to date as rows come and
// go: its eigenvalues are the squares of A's singular values, so a swap is
// judged without a decomposition of the whole system.
template <int N> struct Gram {
    std::array<double, N * N> m{};
    void add(const double *r, double sign)
    {
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < N; ++j)
                m[i * N + j] += sign * r[i] * r[j];
    }
    // Largest over smallest singular value of A; kUnfit when A is (nearly) rank-deficient.
    double condition(std::size_t rows) const
    {
        if (rows < static_cast<std::size_t>(N)) return 1.0; // not fitted at all: no penalty
        std::array<double, N *N> a = m;
        for (int sweep = 0; sweep < 50; ++sweep) {
            double off = 0;
            for (int p = 0; p < N; ++p)
                for (int q = p + 1; q < N; ++q)
                    off += a[p * N + q] * a[p * N + q];
            if (off < 1e-30) break;
            for (int p = 0; p < N; ++p)
                for (int q = p + 1; q < N; ++q) {
                    const double apq = a[p * N + q];
                    if (std::abs(apq) < 1e-300) continue;
                    const double theta = (a[q * N + q] - a[p * N + p]) / (2 * apq);
                    const double t = std::copysign(1.0, theta) / (std::abs(theta) + std::sqrt(theta * theta + 1));
                    const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                    for (int k = 0; k < N; ++k) {
                        const double akp = a[k * N + p], akq = a[k * N + q];
                        a[k * N + p] = c * akp - s * akq;
                        a[k * N + q] = s * akp + c * akq;
                    }
                    for (int k = 0; k < N; ++k) {
                        const double apk = a[p * N + k], aqk = a[q * N + k];
                        a[p * N + k] = c * apk - s * aqk;
                        a[q * N + k] = s * apk + c * aqk;
                    }
                }
        }
        double lo = std::numeric_limits<double>::infinity(), hi = 0;
        for (int i = 0; i < N; ++i) {
            lo = std::min(lo, a[i * N + i]);
            hi = std::max(hi, a[i * N + i]);
        }
        if (!(hi > 0) || lo * kUnfit * kUnfit <= hi) return kUnfit;
        return std::sqrt(hi / lo);
    }
};

// The score of a choice, and of the choice with one direction swapped,
// from the nearest neighbours and the normal matrices kept for it.
class Scorer
{
public:
    Scorer(const std::vector<Point3d> &dirs, const Rows &rows, const std::vector<std::size_t> &chosen)
        : dirs_(dirs), rows_(rows)
    {
        reset(chosen);
    }

    void reset(const std::vector<std::size_t> &chosen)
    {
        chosen_ = chosen;
        ptm_ = {};
        hsh_ = {};
        for (std::size_t c : chosen_) {
            ptm_.add(rows_.ptm[c].data(), 1);
            hsh_.add(rows_.hsh3[c].data(), 1);
        }
        near_.assign(chosen_.size(), -2.0);
        nearIdx_.assign(chosen_.size(), 0);
        for (std::size_t i = 0; i < chosen_.size(); ++i)
            nearest(i, chosen_.size(), 0, near_[i], nearIdx_[i]);
    }

    double score() const { return trial(chosen_.size(), 0); }

    // The score with chosen[slot] replaced by candidate b (slot == size: none).
    double trial(std::size_t slot, std::size_t b) const
    {
        const std::size_t n = chosen_.size();
        if (n < 2) return 0.0;
        double most = -2.0, least = 2.0; // of the nearest-neighbour cosines
        for (std::size_t i = 0; i < n; ++i) {
            double d = near_[i];
            std::size_t idx = nearIdx_[i];
            if (slot < n) {
                if (i == slot) {
                    nearest(i, slot, b, d, idx);
                } else {
                    if (idx == slot)
                        nearest(i, slot, b, d, idx);
                    else
                        d = std::max(d, Dot(dirs_[chosen_[i]], dirs_[b]));
                }
            }
            most = std::max(most, d);
            least = std::min(least, d);
        }
        const double kDegree = 180.0 / std::acos(-1.0);
        const double minAngle = std::acos(std::clamp(most, -1.0, 1.0)) * kDegree;
        const double maxAngle = std::acos(std::clamp(least, -1.0, 1.0)) * kDegree;
        if (!(maxAngle > 0)) return 0.0;
        Gram<6> ptm = ptm_;
        Gram<9> hsh = hsh_;
        if (slot < n) {
            ptm.add(rows_.ptm[chosen_[slot]].data(), -1);
            ptm.add(rows_.ptm[b].data(), 1);
            hsh.add(rows_.hsh3[chosen_[slot]].data(), -1);
            hsh.add(rows_.hsh3[b].data(), 1);
        }
        const double worst = std::max(ptm.condition(n), hsh.condition(n));
        return minAngle * minAngle / maxAngle / (1.0 + kConditionWeight * std::log10(std::max(1.0, worst)));
    }

private:
    // The nearest of the chosen to chosen[i] (or to b in its place when
    // i == slot), as a cosine and an index into the chosen.
    void nearest(std::size_t i, std::size_t slot, std::size_t b, double &d, std::size_t &idx) const
    {
        const Point3d &u = dirs_[i == slot ? b : chosen_[i]];
        d = -2.0;
        idx = 0;
        for (std::size_t j = 0; j < chosen_.size(); ++j) {
            if (j == i) continue;
            const double c = Dot(u, dirs_[j == slot ? b : chosen_[j]]);
            if (c > d) d = c, idx = j;
        }
    }

    const std::vector<Point3d> &dirs_;
    const Rows &rows_;
    std::vector<std::size_t> chosen_;
    Gram<6> ptm_;
    Gram<9> hsh_;
    std::vector<double> near_;
    std::vector<std::size_t> nearIdx_;
};

double Score(const std::vector<Point3d> &dirs, const Rows &rows, const std::vector<std::size_t> &chosen)
{
    return Scorer(dirs, rows, chosen).score();
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
    Scorer scorer(dirs, rows, chosen);
    double score = scorer.score();
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
                const double t = scorer.trial(s, b);
                if (t > bestScore * (1.0 + kBetter)) {
                    bestScore = t;
                    best = b;
                }
            }
            if (best != was) {
                chosen[s] = best;
                taken[was] = 0;
                taken[best] = 1;
                scorer.reset(chosen);
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
