#include "planner/Layout.h"

#include <algorithm>
#include <cmath>

#include "nuk/Pi.h"
#include "planner/AcquisitionFile.h"
#include "planner/Direction.h"
#include "planner/PlanReport.h"

namespace planner
{

namespace
{

using nuk::kPi;
constexpr double kDeg = kPi / 180.0;
// 180 (3 - sqrt 5): consecutive directions of the spiral turn by this.
const double kGoldenAngle = 180.0 * (3.0 - std::sqrt(5.0));
// Directions closer in elevation than this share a ring.
constexpr double kSameRing = 1e-7; // degrees
// Elevation a hair under the minimum still counts as on it (the geodesic
// vertices on the base plane come out within 1e-15 of it).
constexpr double kOnMinimum = 1e-9; // degrees

using nuk::Point3d;

double Azimuth360(double a)
{
    a = std::fmod(a, 360.0);
    if (a < 0) a += 360.0;
    if (a >= 360.0 - 1e-9) a = 0.0;
    return a;
}

LayoutDirection FromVector(const Point3d &v)
{
    const Direction u = DirectionOf(v);
    LayoutDirection d;
    d.elevation = u.elevation;
    d.azimuth = Azimuth360(u.azimuth);
    return d;
}

// Straight toward the camera the light is on the axis, not a rounding off it.
double CosElevation(const LayoutDirection &dir) { return dir.elevation == 90.0 ? 0.0 : std::cos(dir.elevation * kDeg); }

// Sorts into shooting order and numbers the rings and the lights in them.
void ShootingOrder(std::vector<LayoutDirection> &dirs)
{
    std::stable_sort(dirs.begin(), dirs.end(),
                     [](const LayoutDirection &a, const LayoutDirection &b) { return a.elevation > b.elevation; });
    int ring = -1;
    double ringElevation = 0;
    for (LayoutDirection &d : dirs) {
        if (ring < 0 || ringElevation - d.elevation > kSameRing) {
            ++ring;
            ringElevation = d.elevation;
        }
        d.ring = ring;
    }
    std::stable_sort(dirs.begin(), dirs.end(), [](const LayoutDirection &a, const LayoutDirection &b) {
        return a.ring != b.ring ? a.ring < b.ring : a.azimuth < b.azimuth;
    });
    for (std::size_t k = 0; k < dirs.size(); ++k)
        dirs[k].index = (k > 0 && dirs[k - 1].ring == dirs[k].ring) ? dirs[k - 1].index + 1 : 0;
}

// Spacing between the rings: the range from the minimum to the top, in
// equal steps, the top itself one step above the highest ring.
double RingStep(const LayoutInput &l) { return (90.0 - l.minElevation) / std::max(1, l.rings); }

int RingCount(double elevation, double step)
{
    // Lights along the ring as far apart as the rings are.
    return std::max(1, static_cast<int>(std::lround(360.0 * std::cos(elevation * kDeg) / step)));
}

std::vector<LayoutDirection> Rings(const LayoutInput &l)
{
    std::vector<LayoutDirection> dirs;
    const double step = RingStep(l);
    if (l.topLight) dirs.push_back({90.0, 0.0, 0, 0});
    for (int k = 0; k < l.rings; ++k) {
        const double e = l.minElevation + k * step;
        const int n = RingCount(e, step);
        // Each ring turned by the golden angle against the one below, so
        // that no two rings start on the same line.
        const double twist = 90.0 + k * kGoldenAngle;
        for (int j = 0; j < n; ++j)
            dirs.push_back({e, Azimuth360(twist + 360.0 * j / n), 0, 0});
    }
    return dirs;
}

std::vector<LayoutDirection> Spiral(const LayoutInput &l)
{
    std::vector<LayoutDirection> dirs;
    const int n = std::max(1, l.count);
    for (int i = 0; i < n; ++i)
        dirs.push_back(SpiralDirection(l, i));
    return dirs;
}

std::vector<LayoutDirection> Geodesic(const LayoutInput &l)
{
    // The icosahedron with a vertex on the camera axis: the top, a ring of
    // five at z = 1/sqrt 5, a ring of five turned by 36 degrees at
    // -1/sqrt 5, the bottom. One vertex of the upper ring straight up, so
    // the layout is symmetric left to right.
    const double zr = 1.0 / std::sqrt(5.0), rr = 2.0 / std::sqrt(5.0);
    std::array<Point3d, 12> v;
    v[0] = Point3d(0, 0, 1);
    v[11] = Point3d(0, 0, -1);
    for (int k = 0; k < 5; ++k) {
        const double up = (90.0 + 72.0 * k) * kDeg, down = up + 36.0 * kDeg;
        v[1 + k] = Point3d(rr * std::cos(up), rr * std::sin(up), zr);
        v[6 + k] = Point3d(rr * std::cos(down), rr * std::sin(down), -zr);
    }
    std::vector<std::array<int, 3>> faces;
    for (int k = 0; k < 5; ++k) {
        const int u = 1 + k, u1 = 1 + (k + 1) % 5, d = 6 + k, d1 = 6 + (k + 1) % 5;
        faces.push_back({0, u, u1});
        faces.push_back({u, d, u1});
        faces.push_back({u1, d, d1});
        faces.push_back({11, d1, d});
    }

    const int f = std::max(1, l.frequency);
    std::vector<Point3d> points;
    for (const auto &t : faces)
        for (int i = 0; i <= f; ++i)
            for (int j = 0; i + j <= f; ++j) {
                const int k = f - i - j;
                Point3d p = v[t[0]] * double(i) + v[t[1]] * double(j) + v[t[2]] * double(k);
                p = p / std::sqrt(p * p);
                // Only the hemisphere in front of the base plane; the
                // vertices on it come out within rounding of z = 0.
                if (p.z < -1e-12) continue;
                // Edges and corners are shared by faces: keep one of each.
                const bool seen = std::any_of(points.begin(), points.end(), [&p](const Point3d &q) {
                    const Point3d d = p - q;
                    return d * d < 1e-18;
                });
                if (!seen) points.push_back(p);
            }

    std::vector<LayoutDirection> dirs;
    for (const Point3d &p : points) {
        LayoutDirection d = FromVector(p);
        if (d.elevation >= l.minElevation - kOnMinimum) dirs.push_back(d);
    }
    return dirs;
}

// The stored positions' directions; ring holds the position's index until
// the shooting order numbers the rings.
std::vector<LayoutDirection> Suggested(const LayoutInput &l)
{
    std::vector<LayoutDirection> dirs;
    for (const nuk::Point3f &p : l.positions)
        dirs.push_back(FromVector(Point3d(p.x, p.y, p.z)));
    return dirs;
}

// The suggested positions in shooting order: by elevation from the top
// down, equal elevations by azimuth.
std::vector<std::size_t> SuggestedOrder(const LayoutInput &l)
{
    const std::vector<LayoutDirection> dirs = Suggested(l);
    std::vector<std::size_t> order(dirs.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&dirs](std::size_t a, std::size_t b) {
        if (std::fabs(dirs[a].elevation - dirs[b].elevation) > kSameRing) return dirs[a].elevation > dirs[b].elevation;
        return dirs[a].azimuth < dirs[b].azimuth;
    });
    return order;
}

std::vector<Point3d> SuggestedUnits(const LayoutInput &l)
{
    std::vector<Point3d> u;
    for (const nuk::Point3f &p : l.positions) {
        const Direction d = DirectionOf(Point3d(p.x, p.y, p.z));
        if (d.defined) u.push_back(d.unit);
    }
    return u;
}

struct Row {
    int number = 0;
    float height = 0;   // above the object's centre
    float distance = 0; // from the vertical axis through the centre, or the ring's radius
    std::vector<std::size_t> points;
};

} // namespace

const std::array<ParameterSpec, kLayoutParamCount> kLayoutParameters = {{
    {Param::Count, "--rings", "Rings", "number of rings around the camera axis (rings layout)", "rings", 1, 30, 7},
    {Param::Count, "--count", "Directions", "number of directions (spiral layout)", "directions", 1, 10000, 145},
    {Param::Count, "--frequency", "Frequency", "divisions of each edge of the icosahedron (geodesic layout)",
     "divisions", 1, 16, 4},
    {Param::Count, "--min-elevation", "Minimum elevation",
     "lowest elevation of a light above the base plane (rings, spiral and geodesic layouts)", "degrees", 0, 80, 15},
}};

const char *LayoutName(LayoutKind k)
{
    switch (k) {
    case LayoutKind::Grid:
        return "grid";
    case LayoutKind::Rings:
        return "rings";
    case LayoutKind::Spiral:
        return "spiral";
    case LayoutKind::Geodesic:
        return "geodesic";
    case LayoutKind::Suggested:
        return "suggested";
    }
    return "";
}

std::optional<LayoutKind> ParseLayoutKind(std::string_view name)
{
    for (LayoutKind k : kPlanKinds)
        if (name == LayoutName(k)) return k;
    return std::nullopt;
}

bool LayoutTakes(LayoutKind k, LayoutOption o)
{
    switch (o) {
    case LayoutOption::Rings:
    case LayoutOption::TopLight:
        return k == LayoutKind::Rings;
    case LayoutOption::Count:
        return k == LayoutKind::Spiral;
    case LayoutOption::Frequency:
        return k == LayoutKind::Geodesic;
    case LayoutOption::MinElevation:
    case LayoutOption::SkipFlagged:
        return k != LayoutKind::Grid && k != LayoutKind::Suggested;
    }
    return false;
}

std::string LayoutDescription(const LayoutInput &l)
{
    const std::string from = " from " + std::to_string(l.minElevation) + " degrees up";
    std::string s;
    switch (l.kind) {
    case LayoutKind::Grid:
        return {};
    case LayoutKind::Rings:
        s = std::to_string(l.rings) + (l.rings == 1 ? " ring" : " rings") + from +
            (l.topLight ? " and a top light" : ", no top light");
        break;
    case LayoutKind::Spiral:
        s = "spiral of " + std::to_string(l.count) + (l.count == 1 ? " direction" : " directions") + from;
        break;
    case LayoutKind::Geodesic:
        s = "geodesic dome of frequency " + std::to_string(l.frequency) + from;
        break;
    case LayoutKind::Suggested:
        return "suggested plan of " + std::to_string(l.positions.size()) +
               (l.positions.size() == 1 ? " position" : " positions");
    }
    if (l.skipFlagged) s += ", lights below the floor or blocked by the camera left out";
    return s;
}

LayoutDirection SpiralDirection(const LayoutInput &l, int i)
{
    // Equal steps of z give equal areas of the cap.
    const double z0 = std::sin(l.minElevation * kDeg);
    const int n = std::max(1, l.count);
    const double z = 1.0 - (i + 0.5) * (1.0 - z0) / n;
    return {std::asin(z) / kDeg, Azimuth360(90.0 + i * kGoldenAngle), 0, 0};
}

nuk::Point3f LayoutPosition(const LayoutDirection &dir, double viewDistance)
{
    const double d = viewDistance, ce = CosElevation(dir), e = dir.elevation * kDeg, a = dir.azimuth * kDeg;
    return nuk::Point3f(static_cast<float>(d * ce * std::cos(a)), static_cast<float>(d * ce * std::sin(a)),
                        static_cast<float>(d * std::sin(e)));
}

std::vector<LayoutDirection> LayoutDirections(const LayoutInput &l)
{
    std::vector<LayoutDirection> dirs;
    switch (l.kind) {
    case LayoutKind::Grid:
        return dirs;
    case LayoutKind::Rings:
        dirs = Rings(l);
        break;
    case LayoutKind::Spiral:
        dirs = Spiral(l);
        break;
    case LayoutKind::Geodesic:
        dirs = Geodesic(l);
        break;
    case LayoutKind::Suggested:
        dirs = Suggested(l);
        break;
    }
    ShootingOrder(dirs);
    return dirs;
}

LayoutSpacing NominalSpacing(const LayoutInput &l)
{
    LayoutSpacing s;
    switch (l.kind) {
    case LayoutKind::Grid:
        break;
    case LayoutKind::Rings: {
        const double step = RingStep(l);
        s.across = step;
        s.along = 360.0 * std::cos(l.minElevation * kDeg) / RingCount(l.minElevation, step);
        break;
    }
    case LayoutKind::Spiral: {
        // The side of a square of the cap's area shared out evenly.
        const double cap = 2.0 * kPi * (1.0 - std::sin(l.minElevation * kDeg));
        s.along = s.across = std::sqrt(cap / std::max(1, l.count)) / kDeg;
        break;
    }
    case LayoutKind::Geodesic:
        // An edge of the icosahedron spans acos(1 / sqrt 5) = 63.43 degrees.
        s.along = s.across = std::acos(1.0 / std::sqrt(5.0)) / kDeg / std::max(1, l.frequency);
        break;
    case LayoutKind::Suggested:
        // Chosen, not laid out: how close and how far the nearest neighbours are.
        if (const std::optional<NeighbourAngles> a = NearestNeighbourAngles(SuggestedUnits(l))) {
            s.along = a->min;
            s.across = a->max;
        }
        break;
    }
    return s;
}

namespace
{

// One row per position, as the spiral's, each where the plan holds it.
std::string BuildSuggested(const PatternInput &in, const LayoutInput &layout, PatternLists &out)
{
    out.clear();
    out.layout = LayoutDescription(layout);
    const std::vector<std::size_t> order = SuggestedOrder(layout);
    const LayoutSpacing spacing = NominalSpacing(layout);
    AcquisitionWriter file;
    file.header(in, spacing.along, spacing.across, static_cast<int>(order.size()), order.empty() ? 0 : 1);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const nuk::Point3f &p = layout.positions[order[k]];
        const Point3d placed(p.x, p.y, p.z);
        const double d = std::sqrt(placed * placed);
        const float distance = static_cast<float>(std::sqrt(double(p.x) * p.x + double(p.z) * p.z));
        out.positions.push_back(p);
        out.point_rows.push_back(static_cast<int>(k));
        out.point_numbers.push_back(0);
        out.point_vangles.push_back(
            static_cast<float>(d > 0 ? std::acos(std::clamp(placed.y / d, -1.0, 1.0)) / kDeg : 0.0));
        out.point_hangles.push_back(static_cast<float>(std::atan2(placed.z, -placed.x) / kDeg));
        out.row_heights.push_back(p.y);
        out.row_distances.push_back(distance);
        file.beginRow(static_cast<int>(k), static_cast<double>(in.objectHeight) + p.y, distance);
        file.point(0, p);
        file.endRow();
    }
    file.total(out.positions.size());
    return file.take();
}

} // namespace

std::string BuildLayout(const PatternInput &in, const LayoutInput &layout, PatternLists &out)
{
    if (layout.kind == LayoutKind::Grid) return BuildPattern(in, out);
    if (layout.kind == LayoutKind::Suggested) return BuildSuggested(in, layout, out);
    out.clear();
    out.layout = LayoutDescription(layout);

    const std::vector<LayoutDirection> dirs = LayoutDirections(layout);
    const double d = in.viewDistance;
    std::vector<Row> rows;
    for (const LayoutDirection &dir : dirs) {
        const nuk::Point3f p = LayoutPosition(dir, d);
        const int rowNumber = layout.kind == LayoutKind::Rings ? dir.ring : static_cast<int>(&dir - dirs.data());
        if (rows.empty() || rows.back().number != rowNumber) {
            Row r;
            r.number = rowNumber;
            if (layout.kind == LayoutKind::Rings) {
                // The ring's centre is on the camera axis, at the object's height.
                r.height = 0.0f;
                r.distance = static_cast<float>(d * CosElevation(dir));
            } else {
                r.height = p.y;
                r.distance = static_cast<float>(std::sqrt(double(p.x) * p.x + double(p.z) * p.z));
            }
            rows.push_back(r);
        }

        // The report's own rule, on the position as the report will see it.
        const Point3d placed(p.x, p.y, p.z);
        if (layout.skipFlagged && SetUpFlags(placed, in.objectHeight, in.cameraDistance) != 0) continue;

        rows.back().points.push_back(out.positions.size());
        out.positions.push_back(p);
        out.point_rows.push_back(rowNumber);
        out.point_numbers.push_back(layout.kind == LayoutKind::Rings ? dir.index : 0);
        // The grid's angles of the point: from +Y, and about Y from -X.
        out.point_vangles.push_back(static_cast<float>(std::acos(std::clamp(placed.y / d, -1.0, 1.0)) / kDeg));
        out.point_hangles.push_back(static_cast<float>(std::atan2(placed.z, -placed.x) / kDeg));
    }
    // A spiral or geodesic row is its one position: it goes with it.
    if (layout.kind != LayoutKind::Rings)
        rows.erase(std::remove_if(rows.begin(), rows.end(), [](const Row &r) { return r.points.empty(); }), rows.end());

    std::size_t widest = 0;
    for (const Row &r : rows)
        widest = std::max(widest, r.points.size());
    const LayoutSpacing spacing = NominalSpacing(layout);

    AcquisitionWriter file;
    file.header(in, spacing.along, spacing.across, static_cast<int>(rows.size()), static_cast<int>(widest));
    for (const Row &r : rows) {
        out.row_heights.push_back(r.height);
        out.row_distances.push_back(r.distance);
        file.beginRow(r.number, static_cast<double>(in.objectHeight) + r.height, r.distance);
        for (std::size_t k : r.points)
            file.point(out.point_numbers[k], out.positions[k]);
        file.endRow();
    }
    file.total(out.positions.size());
    return file.take();
}

WriteResult GenerateLayout(const PatternInput &in, const LayoutInput &layout, PatternLists &out,
                           const std::string &path)
{
    if (layout.kind == LayoutKind::Grid) return Generate(in, out, path);
    return WriteFileAtomically(path, BuildLayout(in, layout, out));
}

} // namespace planner
