#include "planner/PlanReport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <queue>

#include "nuk/Pi.h"
#include "planner/Direction.h"

namespace planner
{

namespace
{

using nuk::kPi;
constexpr double kDeg = kPi / 180.0;
constexpr double kMaxCondition = 1e6;

using nuk::Point3d;


// Angle between unit vectors from their chord, which stays accurate for
// nearly equal directions where acos of the dot product does not.
double ChordAngle(double chord) { return 2.0 * std::asin(std::min(1.0, chord / 2.0)); }

// Unit directions bucketed in a uniform grid over [-1, 1]^3, for nearest
// queries on plans of tens of thousands of positions.
class DirectionGrid
{
public:
    explicit DirectionGrid(const std::vector<Point3d> &dirs) : dirs_(dirs)
    {
        // About two directions to an occupied cell.
        const double spacing = std::sqrt(4.0 * kPi / double(std::max<std::size_t>(dirs.size(), 1)));
        h_ = std::clamp(2.0 * spacing, 0.02, 2.0);
        g_ = int(std::ceil(2.0 / h_)) + 1;
        const std::size_t cells = std::size_t(g_) * g_ * g_;
        start_.assign(cells + 1, 0);
        std::vector<std::size_t> cellOf(dirs.size());
        for (std::size_t i = 0; i < dirs.size(); ++i) {
            cellOf[i] = index(coord(dirs[i].x), coord(dirs[i].y), coord(dirs[i].z));
            ++start_[cellOf[i] + 1];
        }
        for (std::size_t c = 0; c < cells; ++c)
            start_[c + 1] += start_[c];
        order_.resize(dirs.size());
        std::vector<std::size_t> fill(start_.begin(), start_.end() - 1);
        for (std::size_t i = 0; i < dirs.size(); ++i)
            order_[fill[cellOf[i]]++] = i;
    }

    // The smallest chord from q to a direction other than the one at skip.
    double nearestChord(const Point3d &q, std::size_t skip = std::size_t(-1)) const
    {
        const int cx = coord(q.x), cy = coord(q.y), cz = coord(q.z);
        double best2 = std::numeric_limits<double>::infinity();
        for (int k = 0; k < g_; ++k) {
            // The shell of cells k steps away.
            for (int dx = -k; dx <= k; ++dx)
                for (int dy = -k; dy <= k; ++dy) {
                    const bool side = std::abs(dx) == k || std::abs(dy) == k;
                    for (int dz = -k; dz <= k; dz += side ? 1 : std::max(1, 2 * k))
                        visit(cx + dx, cy + dy, cz + dz, q, skip, best2);
                }
            // Whatever lies further out is at least k cells away.
            const double reach = k * h_;
            if (best2 <= reach * reach) break;
        }
        return std::sqrt(best2);
    }

private:
    int coord(double v) const { return std::clamp(int(std::floor((v + 1.0) / h_)), 0, g_ - 1); }
    std::size_t index(int x, int y, int z) const { return (std::size_t(x) * g_ + y) * g_ + z; }

    void visit(int x, int y, int z, const Point3d &q, std::size_t skip, double &best2) const
    {
        if (x < 0 || y < 0 || z < 0 || x >= g_ || y >= g_ || z >= g_) return;
        const std::size_t c = index(x, y, z);
        for (std::size_t k = start_[c]; k < start_[c + 1]; ++k) {
            const std::size_t i = order_[k];
            if (i == skip) continue;
            const Point3d d = dirs_[i] - q;
            best2 = std::min(best2, d * d);
        }
    }

    const std::vector<Point3d> &dirs_;
    double h_ = 2.0;
    int g_ = 1;
    std::vector<std::size_t> start_;
    std::vector<std::size_t> order_;
};

double AssociatedLegendre(int l, int m, double x)
{
    // P_m^m, then upward in l.
    double pmm = 1.0;
    const double s = std::sqrt(std::max(0.0, 1.0 - x * x));
    for (int i = 1; i <= m; ++i)
        pmm *= -(2.0 * i - 1.0) * s;
    if (l == m) return pmm;
    double pm1 = x * (2.0 * m + 1.0) * pmm;
    for (int ll = m + 2; ll <= l; ++ll) {
        const double pll = ((2.0 * ll - 1.0) * x * pm1 - (ll + m - 1.0) * pmm) / double(ll - m);
        pmm = pm1;
        pm1 = pll;
    }
    return pm1;
}

double Factorial(int n)
{
    double f = 1.0;
    for (int i = 2; i <= n; ++i)
        f *= i;
    return f;
}

std::string Fixed(double v, int decimals)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

std::string PadRight(std::string s, std::size_t width)
{
    if (s.size() < width) s.append(width - s.size(), ' ');
    return s;
}

std::string PadLeft(const std::string &s, std::size_t width)
{
    return s.size() < width ? std::string(width - s.size(), ' ') + s : s;
}

// The text shows the first runs of a long list; the JSON has all of them.
std::string ShortRanges(const std::vector<int> &numbers)
{
    std::vector<int> head;
    int runs = 0;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i == 0 || numbers[i] != numbers[i - 1] + 1) {
            if (++runs > 6) return NumberRanges(head) + ", ...";
        }
        head.push_back(numbers[i]);
    }
    return NumberRanges(head);
}

} // namespace

double NeighbourAngles::evenness() const { return min > 0 ? max / min : std::numeric_limits<double>::infinity(); }

bool BlockedByCamera(const Point3d &light, double cameraDistance)
{
    // The segment t * light, t in [0, 1], against the cube's three slabs.
    const double lo[3] = {-kCameraHalfSize, -kCameraHalfSize, cameraDistance - kCameraHalfSize};
    const double hi[3] = {kCameraHalfSize, kCameraHalfSize, cameraDistance + kCameraHalfSize};
    double t0 = 0.0, t1 = 1.0;
    for (int a = 0; a < 3; ++a) {
        const double v = light[a];
        if (v == 0.0) {
            if (lo[a] > 0.0 || hi[a] < 0.0) return false;
            continue;
        }
        double ta = lo[a] / v, tb = hi[a] / v;
        if (ta > tb) std::swap(ta, tb);
        t0 = std::max(t0, ta);
        t1 = std::min(t1, tb);
        if (t0 > t1) return false;
    }
    return true;
}

unsigned SetUpFlags(const Point3d &light, double objectHeight, double cameraDistance)
{
    unsigned flags = 0;
    if (objectHeight + light.y < 0.0) flags |= kBelowFloor;
    if (BlockedByCamera(light, cameraDistance)) flags |= kBlockedByCamera;
    return flags;
}

bool InPicture(const Point3d &light, double cameraDistance, const Framing &f)
{
    // The camera looks from (0, 0, C) toward -Z, the sensor's width across.
    const double depth = cameraDistance - light.z;
    if (depth <= 0.0) return false;
    return std::abs(light.x) <= depth * f.sensorWidth / (2.0 * f.focalLength) &&
           std::abs(light.y) <= depth * f.sensorHeight / (2.0 * f.focalLength);
}

std::optional<NeighbourAngles> NearestNeighbourAngles(const std::vector<Point3d> &directions)
{
    if (directions.size() < 2) return std::nullopt;
    const DirectionGrid grid(directions);
    std::vector<double> nearest(directions.size());
    for (std::size_t i = 0; i < directions.size(); ++i)
        nearest[i] = ChordAngle(grid.nearestChord(directions[i], i)) / kDeg;
    std::sort(nearest.begin(), nearest.end());
    const std::size_t n = nearest.size();
    NeighbourAngles a;
    a.min = nearest.front();
    a.max = nearest.back();
    a.median = n % 2 ? nearest[n / 2] : (nearest[n / 2 - 1] + nearest[n / 2]) / 2.0;
    return a;
}

std::optional<double> LargestEmptyCap(const std::vector<Point3d> &directions, double minElevation)
{
    if (directions.empty()) return std::nullopt;
    const DirectionGrid grid(directions);

    // Branch and bound over cells of elevation x azimuth: the distance to the
    // nearest direction changes no faster than the distance moved, so a cell
    // whose centre is at distance v holds nothing farther than v plus the
    // cell's own radius.
    struct Cell {
        double e0, e1, a0, a1, bound;
        bool operator<(const Cell &o) const { return bound < o.bound; }
    };
    const double tolerance = 0.01 * kDeg;
    double best = 0.0;
    const auto value = [&](double e, double a) {
        const Point3d p(std::cos(e) * std::cos(a), std::cos(e) * std::sin(a), std::sin(e));
        return ChordAngle(grid.nearestChord(p));
    };
    const auto radius = [](double e0, double e1, double a0, double a1) {
        // Along the meridian, then along the widest parallel of the cell.
        return (e1 - e0) / 2.0 + std::cos(e0) * (a1 - a0) / 2.0;
    };
    std::priority_queue<Cell> open;
    const auto consider = [&](double e0, double e1, double a0, double a1) {
        const double v = value((e0 + e1) / 2.0, (a0 + a1) / 2.0);
        best = std::max(best, v);
        const double bound = v + radius(e0, e1, a0, a1);
        if (bound > best + tolerance) open.push({e0, e1, a0, a1, bound});
    };

    const double bottom = std::clamp(minElevation, 0.0, 90.0) * kDeg;
    const double top = 90.0 * kDeg;
    // Start at about the directions' own spacing, no coarser than 5 degrees.
    const double spacing = std::sqrt(2.0 * kPi / double(directions.size()));
    const double step = std::clamp(spacing, 0.5 * kDeg, 5.0 * kDeg);
    const int ne = std::max(1, int(std::ceil((top - bottom) / step)));
    const int na = std::max(4, int(std::ceil(2.0 * kPi / step)));
    for (int i = 0; i < ne; ++i)
        for (int j = 0; j < na; ++j)
            consider(bottom + (top - bottom) * i / ne, bottom + (top - bottom) * (i + 1) / ne, 2.0 * kPi * j / na,
                     2.0 * kPi * (j + 1) / na);
    while (!open.empty()) {
        const Cell c = open.top();
        open.pop();
        if (c.bound <= best + tolerance) break;
        const double em = (c.e0 + c.e1) / 2.0, am = (c.a0 + c.a1) / 2.0;
        consider(c.e0, em, c.a0, am);
        consider(c.e0, em, am, c.a1);
        consider(em, c.e1, c.a0, am);
        consider(em, c.e1, am, c.a1);
    }
    return std::round(best / kDeg * 10.0) / 10.0;
}

std::array<double, 6> PtmRow(const Point3d &d)
{
    const double u = d.x, v = d.y;
    return {u * u, v * v, u * v, u, v, 1.0};
}

std::vector<double> HshRow(const Point3d &d, int order)
{
    // Legendre functions shifted onto the hemisphere: cos(theta) from 0 to 1
    // becomes -1 to 1. theta is the angle from the camera's axis.
    const double x = 2.0 * std::max(0.0, std::min(1.0, d.z)) - 1.0;
    const double phi = std::atan2(d.y, d.x);
    std::vector<double> row;
    row.reserve(std::size_t(order) * order);
    for (int l = 0; l < order; ++l)
        for (int m = -l; m <= l; ++m) {
            const int am = std::abs(m);
            const double k = std::sqrt((2.0 * l + 1.0) / (2.0 * kPi) * Factorial(l - am) / Factorial(l + am));
            const double p = AssociatedLegendre(l, am, x);
            if (m == 0)
                row.push_back(k * p);
            else if (m > 0)
                row.push_back(std::sqrt(2.0) * k * std::cos(m * phi) * p);
            else
                row.push_back(std::sqrt(2.0) * k * std::sin(am * phi) * p);
        }
    return row;
}

FitCondition Condition(const char *name, int cols, const std::vector<double> &a)
{
    FitCondition r{name, cols, false, 0.0};
    const std::size_t n = std::size_t(cols);
    const std::size_t rows = n ? a.size() / n : 0;
    if (rows < n || n == 0) return r;
    // One-sided Jacobi: rotate pairs of columns until all are orthogonal; the
    // singular values are then the columns' lengths.
    std::vector<std::vector<double>> c(n, std::vector<double>(rows));
    for (std::size_t i = 0; i < rows; ++i)
        for (std::size_t j = 0; j < n; ++j)
            c[j][i] = a[i * n + j];
    const auto dot = [rows](const std::vector<double> &p, const std::vector<double> &q) {
        double s = 0.0;
        for (std::size_t i = 0; i < rows; ++i)
            s += p[i] * q[i];
        return s;
    };
    for (int sweep = 0; sweep < 80; ++sweep) {
        bool rotated = false;
        for (std::size_t p = 0; p + 1 < n; ++p)
            for (std::size_t q = p + 1; q < n; ++q) {
                const double alpha = dot(c[p], c[p]), beta = dot(c[q], c[q]), gamma = dot(c[p], c[q]);
                if (std::abs(gamma) <= 1e-15 * std::sqrt(alpha * beta)) continue;
                rotated = true;
                const double zeta = (beta - alpha) / (2.0 * gamma);
                const double t = std::copysign(1.0, zeta) / (std::abs(zeta) + std::sqrt(1.0 + zeta * zeta));
                const double cs = 1.0 / std::sqrt(1.0 + t * t), sn = cs * t;
                for (std::size_t i = 0; i < rows; ++i) {
                    const double x = c[p][i], y = c[q][i];
                    c[p][i] = cs * x - sn * y;
                    c[q][i] = sn * x + cs * y;
                }
            }
        if (!rotated) break;
    }
    double smax = 0.0, smin = std::numeric_limits<double>::infinity();
    for (const std::vector<double> &col : c) {
        const double s = std::sqrt(dot(col, col));
        smax = std::max(smax, s);
        smin = std::min(smin, s);
    }
    // Positions carry single precision, about seven digits: a dependency
    // among their rows shows as a condition number in the tens of millions
    // rather than as an exact zero. Past a million a fit is noise anyway.
    if (smax == 0.0 || smin * kMaxCondition <= smax) return r;
    r.canFit = true;
    r.condition = smax / smin;
    return r;
}

PlanReport ComputePlanReport(const PatternInput &in, const std::vector<nuk::Point3f> &positions,
                             const ReportOptions &options)
{
    PlanReport r;
    r.input = in;
    r.options = options;
    const double camera = in.cameraDistance;
    std::vector<Point3d> usable;
    for (int b = 0; b < 6; ++b)
        r.bands[b] = {b * 15, b * 15 + 15, 0, 0};

    r.positions.reserve(positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i) {
        PositionReport p;
        p.number = int(i) + 1;
        p.position = Point3d(positions[i].x, positions[i].y, positions[i].z);
        const Direction d = DirectionOf(p.position);
        p.direction = d.unit;
        p.elevation = d.elevation;
        p.azimuth = d.azimuth;
        p.height = in.objectHeight + p.position.y;

        p.flags |= SetUpFlags(p.position, in.objectHeight, camera);
        if (options.framing && InPicture(p.position, camera, *options.framing)) p.flags |= kInPicture;
        // The row ends at 180 degrees come out a hair (5e-6 degrees) behind
        // the base plane in single precision; they count as on it.
        if (p.elevation < options.grazingBelow - 1e-4) p.flags |= kGrazing;

        r.belowFloor += (p.flags & kBelowFloor) != 0;
        r.blockedByCamera += (p.flags & kBlockedByCamera) != 0;
        r.inPicture += (p.flags & kInPicture) != 0;
        r.grazing += (p.flags & kGrazing) != 0;
        ElevationBand &band = r.bands[std::min(5, int(std::max(0.0, p.elevation) / 15.0))];
        ++band.positions;
        if (p.usable()) {
            ++r.usable;
            ++band.usable;
            usable.push_back(p.direction);
        }
        r.positions.push_back(p);
    }

    r.neighbours = NearestNeighbourAngles(usable);
    r.largestEmptyCap = LargestEmptyCap(usable, options.grazingBelow);

    std::vector<double> ptm, hsh2, hsh3;
    for (const Point3d &d : usable) {
        const std::array<double, 6> row = PtmRow(d);
        ptm.insert(ptm.end(), row.begin(), row.end());
        const std::vector<double> h2 = HshRow(d, 2), h3 = HshRow(d, 3);
        hsh2.insert(hsh2.end(), h2.begin(), h2.end());
        hsh3.insert(hsh3.end(), h3.begin(), h3.end());
    }
    r.fits = {Condition("PTM", 6, ptm), Condition("HSH order 2", 4, hsh2), Condition("HSH order 3", 9, hsh3)};

    if (options.framing) {
        const Framing &f = *options.framing;
        FramingReport fr;
        fr.framing = f;
        // Pinhole: what the sensor sees at the camera distance.
        fr.fieldWidth = FieldWidth(f, camera);
        fr.fieldHeight = f.sensorHeight * camera / f.focalLength;
        fr.widthShare = in.objectSize / fr.fieldWidth;
        fr.heightShare = in.objectSize / fr.fieldHeight;
        fr.focalFor80 = 0.8 * std::min(f.sensorWidth, f.sensorHeight) * camera / in.objectSize;
        r.framing = fr;
    }
    return r;
}

PlanReport ComputePlanReport(const PatternInput &in, const PatternLists &lists, const ReportOptions &options)
{
    PlanReport r = ComputePlanReport(in, lists.positions, options);
    r.layout = lists.layout;
    return r;
}

std::string NumberRanges(const std::vector<int> &n)
{
    std::string s;
    for (std::size_t i = 0; i < n.size();) {
        std::size_t j = i;
        while (j + 1 < n.size() && n[j + 1] == n[j] + 1)
            ++j;
        if (!s.empty()) s += ", ";
        s += std::to_string(n[i]);
        if (j > i) s += "-" + std::to_string(n[j]);
        i = j + 1;
    }
    return s;
}

std::string ReportText(const PlanReport &r)
{
    const PatternInput &in = r.input;
    std::string t;
    const auto line = [&t](const std::string &label, const std::string &value, const std::string &note = {}) {
        t += PadRight("  " + label, 34) + PadLeft(value, 6);
        if (!note.empty()) t += "  " + note;
        t += "\n";
    };
    const auto numbersWith = [&r](unsigned flag) {
        std::vector<int> n;
        for (const PositionReport &p : r.positions)
            if (p.flags & flag) n.push_back(p.number);
        return ShortRanges(n);
    };

    t += "Plan report (lengths in mm, angles in degrees)\n";
    t += "  " + std::to_string(r.positions.size()) + " positions " + std::to_string(in.viewDistance) +
         " mm from the object's centre, " +
         (r.layout.empty()
              ? "steps " + std::to_string(in.horizontalStep) + " and " + std::to_string(in.verticalStep) + " degrees"
              : r.layout) +
         "\n";
    t += "  object " + std::to_string(in.objectSize) + " mm, centre " + std::to_string(in.objectHeight) +
         " mm above the floor, camera at " + std::to_string(in.cameraDistance) + " mm\n\n";

    t += PadRight("Positions", 34) + PadLeft(std::to_string(r.positions.size()), 6) + "\n";
    line("usable (no flag)", std::to_string(r.usable));
    for (const FlagInfo &f : kPositionFlags) {
        const std::string label =
            f.flag == kGrazing ? std::string(f.label) + ", below " + Fixed(r.options.grazingBelow, 1) : f.label;
        if (f.needsFraming && !r.options.framing)
            line(label, "-", "give the sensor size and the focal length");
        else
            line(label, std::to_string(r.count(f.flag)), numbersWith(f.flag));
    }

    t += "\nUsable directions\n";
    if (r.neighbours) {
        const NeighbourAngles &a = *r.neighbours;
        t += PadRight("  nearest-neighbour angle", 34) + "min " + Fixed(a.min, 1) + ", median " + Fixed(a.median, 1) +
             ", max " + Fixed(a.max, 1) + "\n";
        line("evenness (max / min)", std::isfinite(a.evenness()) ? Fixed(a.evenness(), 2) : "inf");
    } else {
        line("nearest-neighbour angle", "-", "needs two usable positions");
        line("evenness (max / min)", "-");
    }
    if (r.largestEmptyCap)
        line("largest empty cap", Fixed(*r.largestEmptyCap, 1));
    else
        line("largest empty cap", "-", "no usable position");

    t += "\n" + PadRight("Elevation band", 34) + PadLeft("all", 6) + PadLeft("usable", 8) + "\n";
    for (const ElevationBand &b : r.bands)
        t += PadRight("  " + std::to_string(b.from) + "-" + std::to_string(b.to), 34) +
             PadLeft(std::to_string(b.positions), 6) + PadLeft(std::to_string(b.usable), 8) + "\n";

    t += "\nFitting on the usable directions (condition number, lower is better)\n";
    for (const FitCondition &f : r.fits)
        line(std::string(f.name) + ", " + std::to_string(f.terms) + " terms", f.canFit ? Fixed(f.condition, 2) : "-",
             f.canFit ? "" : "cannot fit");

    t += "\nFraming\n";
    if (!r.framing) {
        t += "  not given: sensor width x height and focal length, in mm\n";
    } else {
        const FramingReport &f = *r.framing;
        t += "  sensor " + Fixed(f.framing.sensorWidth, 1) + " x " + Fixed(f.framing.sensorHeight, 1) +
             " mm, focal length " + Fixed(f.framing.focalLength, 1) + " mm\n";
        t += PadRight("  field of view at the object", 34) + Fixed(f.fieldWidth, 1) + " x " + Fixed(f.fieldHeight, 1) +
             " mm\n";
        t += PadRight("  the object fills", 34) + Fixed(100.0 * f.widthShare, 1) + " % of the width, " +
             Fixed(100.0 * f.heightShare, 1) + " % of the height\n";
        if (f.widthShare > 1 || f.heightShare > 1)
            t += std::string("  the object does not fit: it is larger than the field's ") +
                 (f.widthShare > 1 && f.heightShare > 1 ? "width and height"
                  : f.widthShare > 1                    ? "width"
                                                        : "height") +
                 "\n";
        t += PadRight("  focal length to fill 80 %", 34) + Fixed(f.focalFor80, 1) + " mm (of the shorter side)\n";
    }
    return t;
}

const std::array<FlagInfo, 4> kPositionFlags = {{
    {kBelowFloor, "below_floor", "below the floor", {214, 39, 40}, MarkShape::TriangleDown, 2, false},
    {kBlockedByCamera, "blocked_by_camera", "blocked by the camera", {32, 32, 32}, MarkShape::Square, 0, false},
    {kInPicture, "in_picture", "in the picture", {190, 30, 190}, MarkShape::Diamond, 1, true},
    {kGrazing, "grazing", "grazing", {235, 140, 0}, MarkShape::TriangleUp, 3, false},
}};

const FlagInfo *MarkFlag(unsigned flags)
{
    const FlagInfo *mark = nullptr;
    for (const FlagInfo &f : kPositionFlags)
        if ((flags & f.flag) && (!mark || f.markRank < mark->markRank)) mark = &f;
    return mark;
}

int PlanReport::count(PositionFlag f) const
{
    switch (f) {
    case kBelowFloor:
        return belowFloor;
    case kBlockedByCamera:
        return blockedByCamera;
    case kInPicture:
        return inPicture;
    case kGrazing:
        return grazing;
    }
    return 0;
}

std::vector<bool> UsableMask(const PlanReport &report)
{
    std::vector<bool> mask;
    mask.reserve(report.positions.size());
    for (const PositionReport &p : report.positions)
        mask.push_back(p.usable());
    return mask;
}

} // namespace planner
