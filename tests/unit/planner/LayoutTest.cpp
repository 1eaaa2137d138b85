// The dome layouts against geometry worked out here: counts from the
// icosahedron and the cosine rule, distances, elevations, the report's own
// flags, the shooting order, the file read back line by line, and evenness
// against the grid.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "planner/Layout.h"
#include "planner/LightExport.h"
#include "planner/PlanReport.h"
#include "support/Files.h"

using nuk::Point3d;
using nuk::Point3f;
using planner::LayoutInput;
using planner::LayoutKind;
using planner::PatternInput;
using planner::PatternLists;

namespace
{

constexpr double kPi = 3.14159265358979323846;
double deg(double rad) { return rad * 180.0 / kPi; }
double rad(double deg) { return deg * kPi / 180.0; }

LayoutInput rings(int n, int minElevation = 15, bool top = true)
{
    LayoutInput l;
    l.kind = LayoutKind::Rings;
    l.rings = n;
    l.minElevation = minElevation;
    l.topLight = top;
    return l;
}

LayoutInput spiral(int count, int minElevation = 15)
{
    LayoutInput l;
    l.kind = LayoutKind::Spiral;
    l.count = count;
    l.minElevation = minElevation;
    return l;
}

LayoutInput geodesic(int frequency, int minElevation = 15)
{
    LayoutInput l;
    l.kind = LayoutKind::Geodesic;
    l.frequency = frequency;
    l.minElevation = minElevation;
    return l;
}

// A spread of each layout and its options.
std::vector<LayoutInput> someLayouts()
{
    return {rings(7),    rings(1, 80),   rings(12, 0, false), rings(30, 5), spiral(1),       spiral(145),
            spiral(777), spiral(40, 60), geodesic(1, 0),      geodesic(4),  geodesic(7, 30), geodesic(16, 0)};
}

PatternLists build(const LayoutInput &l, const PatternInput &in = {})
{
    PatternLists out;
    planner::BuildLayout(in, l, out);
    return out;
}

Point3d unit(const Point3f &p)
{
    const Point3d d(p.x, p.y, p.z);
    return d / d.Norm();
}

double elevation(const Point3f &p) { return deg(std::asin(std::clamp(unit(p).z, -1.0, 1.0))); }

std::vector<Point3d> directions(const std::vector<Point3f> &positions)
{
    std::vector<Point3d> d;
    for (const Point3f &p : positions)
        d.push_back(unit(p));
    return d;
}

// The icosahedron as textbooks give it, the cyclic permutations of
// (0, +-1, +-phi), turned so that the vertex (0, 1, phi) lies on +Z; its
// faces are the triples of vertices two units apart; each face divided into
// f x f triangles and the points pushed out onto the unit sphere.
std::vector<Point3d> subdividedIcosahedron(int f)
{
    const double phi = (1.0 + std::sqrt(5.0)) / 2.0;
    std::vector<Point3d> v;
    for (double a : {-1.0, 1.0})
        for (double b : {-phi, phi}) {
            v.emplace_back(0, a, b);
            v.emplace_back(a, b, 0);
            v.emplace_back(b, 0, a);
        }
    // Turn (0, 1, phi) about the x axis onto +Z.
    const double t = std::atan2(1.0, phi);
    for (Point3d &p : v)
        p = Point3d(p.x, p.y * std::cos(t) - p.z * std::sin(t), p.y * std::sin(t) + p.z * std::cos(t));
    const auto edge = [&](int i, int j) { return std::abs((v[i] - v[j]).Norm() - 2.0) < 1e-9; };
    std::vector<Point3d> points;
    for (int i = 0; i < 12; ++i)
        for (int j = i + 1; j < 12; ++j)
            for (int k = j + 1; k < 12; ++k) {
                if (!edge(i, j) || !edge(j, k) || !edge(i, k)) continue;
                for (int a = 0; a <= f; ++a)
                    for (int b = 0; a + b <= f; ++b) {
                        Point3d p = v[i] * double(a) + v[j] * double(b) + v[k] * double(f - a - b);
                        p = p / p.Norm();
                        if (std::none_of(points.begin(), points.end(),
                                         [&](const Point3d &q) { return (p - q).Norm() < 1e-9; }))
                            points.push_back(p);
                    }
            }
    return points;
}

// The file read back: rows with their numbers, height, distance and points.
struct FileRow {
    int number = 0, height = 0, distance = 0;
    std::vector<std::array<int, 4>> points; // number, x, y, z
};
struct LayoutFile {
    std::vector<std::string> header; // the eleven header lines' labels and values, as text
    int parallels = -1, meridiens = -1, total = -1;
    double horizontal = -1, vertical = -1;
    std::vector<FileRow> rows;
};

LayoutFile parse(const std::string &text)
{
    LayoutFile f;
    std::istringstream in(text);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        int a, b, c, d;
        double x;
        char tail;
        if (n <= 14) f.header.push_back(line);
        if (std::sscanf(line.c_str(), "horizontal angle %lf%c", &x, &tail) == 1) f.horizontal = x;
        if (std::sscanf(line.c_str(), "vertical angle %lf%c", &x, &tail) == 1) f.vertical = x;
        if (std::sscanf(line.c_str(), "parallels %d%c", &a, &tail) == 1) f.parallels = a;
        if (std::sscanf(line.c_str(), "meridiens %d%c", &a, &tail) == 1) f.meridiens = a;
        if (std::sscanf(line.c_str(), "Total points %d%c", &a, &tail) == 1) f.total = a;
        if (std::sscanf(line.c_str(), "row # %d%c", &a, &tail) == 1) f.rows.push_back({a, 0, 0, {}});
        if (std::sscanf(line.c_str(), "height %d%c", &a, &tail) == 1) f.rows.back().height = a;
        if (std::sscanf(line.c_str(), "distance %d%c", &a, &tail) == 1) f.rows.back().distance = a;
        if (std::sscanf(line.c_str(), "%d] %d %d %d%c", &a, &b, &c, &d, &tail) == 4)
            f.rows.back().points.push_back({a, b, c, d});
    }
    return f;
}

// The file shows v truncated toward zero.
bool truncates(int shown, float v) { return std::abs(v - float(shown)) < 1.0f && std::abs(shown) <= std::abs(v); }

} // namespace

// Rings: the lowest at the minimum, the rest in equal steps up to one step
// under the top; lights along each ring as far apart as the rings (the
// spacing along the ring, 360 cos e / n degrees, within half a light's
// share of the step), a light on the axis when asked for.
TEST(Layout, RingsFollowTheCosineRule)
{
    for (const LayoutInput &l : {rings(7), rings(3, 0), rings(12, 20, false), rings(30, 5), rings(1, 80)}) {
        SCOPED_TRACE(planner::LayoutDescription(l));
        const PatternLists out = build(l);
        std::vector<std::pair<double, int>> ring; // elevation, lights
        int top = 0;
        for (const Point3f &p : out.positions) {
            const double e = elevation(p);
            if (p.x == 0 && p.y == 0) {
                ++top;
                continue;
            }
            if (ring.empty() || std::abs(ring.back().first - e) > 1e-3)
                ring.push_back({e, 1});
            else
                ++ring.back().second;
        }
        EXPECT_EQ(top, l.topLight ? 1 : 0);
        ASSERT_EQ(int(ring.size()), l.rings);
        const double step = (90.0 - l.minElevation) / l.rings;
        for (std::size_t k = 0; k < ring.size(); ++k) {
            const auto [e, n] = ring[ring.size() - 1 - k]; // from the bottom up
            EXPECT_NEAR(e, l.minElevation + k * step, 1e-4);
            EXPECT_LE(std::abs(360.0 * std::cos(rad(e)) - n * step), step / 2 + 1e-9) << "ring at " << e;
        }
    }
}

// Seven rings from 15 degrees, step 75 / 7 = 10.71: 360 cos e / 10.71 gives
// 32.45, 30.27, 27.03, 22.85, 17.88, 12.27 and 6.25 at 15, 25.7, 36.4, 47.1,
// 57.9, 68.6 and 79.3 degrees: 148 lights and the top one.
TEST(Layout, DefaultRingsCountedByHand) { EXPECT_EQ(build(rings(7)).positions.size(), 149u); }

TEST(Layout, SpiralGivesExactlyTheCount)
{
    for (int n : {1, 2, 3, 50, 145, 1000, 10000})
        for (int e : {0, 15, 80})
            EXPECT_EQ(build(spiral(n, e)).positions.size(), std::size_t(n)) << n << " from " << e;
}

// The icosahedron with a vertex on the axis has rings of five at z = +-1/sqrt 5
// and 10 f^2 + 2 vertices once divided. An odd f puts none on the base plane,
// so half of them are in front: 5 f^2 + 1. An even f puts f / 2 divisions
// of each of the 10 edges and 10 faces of the middle band on it, 5 f in all,
// which count for the front too: 5 f^2 + 1 + 5 f / 2. So 6, 26, 46 and 91.
TEST(Layout, GeodesicHasTheUpperHemisphereOfTheIcosahedron)
{
    const int expected[] = {6, 26, 46, 91};
    for (int f = 1; f <= 4; ++f) {
        SCOPED_TRACE(f);
        const PatternLists out = build(geodesic(f, 0));
        EXPECT_EQ(int(out.positions.size()), expected[f - 1]);

        // The same directions as the textbook icosahedron's, up to a turn
        // about the axis: compare the elevations.
        std::vector<double> want, got;
        for (const Point3d &p : subdividedIcosahedron(f))
            if (p.z > -1e-9) want.push_back(deg(std::asin(std::clamp(p.z, -1.0, 1.0))));
        for (const Point3f &p : out.positions)
            got.push_back(elevation(p));
        std::sort(want.begin(), want.end());
        std::sort(got.begin(), got.end());
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_NEAR(got[i], want[i], 1e-4);
    }
}

TEST(Layout, EveryPositionAtTheViewDistanceAndAboveTheMinimum)
{
    for (int view : {10, 1500, 3500})
        for (const LayoutInput &l : someLayouts()) {
            SCOPED_TRACE(planner::LayoutDescription(l) + ", view " + std::to_string(view));
            PatternInput in;
            in.viewDistance = view;
            const PatternLists out = build(l, in);
            ASSERT_FALSE(out.positions.empty());
            for (const Point3f &p : out.positions) {
                EXPECT_NEAR(Point3d(p.x, p.y, p.z).Norm(), view, 1e-6 * view);
                // Single precision puts a light on the minimum a hair either side.
                EXPECT_GE(elevation(p), l.minElevation - 1e-4);
            }
        }
}

// Skipping leaves out exactly what the report flags below the floor or
// blocked by the camera, and nothing else.
TEST(Layout, SkippingLeavesOutWhatTheReportFlags)
{
    PatternInput in;
    in.objectHeight = 400; // the lower half of the dome is under the floor
    in.cameraDistance = 900;
    in.viewDistance = 1500; // the camera's body stands before the lights near the axis
    for (LayoutInput l : someLayouts()) {
        SCOPED_TRACE(planner::LayoutDescription(l));
        const planner::PlanReport all = planner::ComputePlanReport(in, build(l, in));
        l.skipFlagged = true;
        const PatternLists kept = build(l, in);
        const planner::PlanReport r = planner::ComputePlanReport(in, kept);
        EXPECT_EQ(r.belowFloor, 0);
        EXPECT_EQ(r.blockedByCamera, 0);
        int flagged = 0;
        for (const planner::PositionReport &p : all.positions)
            flagged += (p.flags & (planner::kBelowFloor | planner::kBlockedByCamera)) != 0;
        EXPECT_EQ(kept.positions.size() + flagged, all.positions.size());
    }
    // At the defaults (lights at 1500 mm, camera at 1000) the top light is
    // blocked, and lights lower than 1000 mm under the centre are below the floor.
    const planner::PlanReport r = planner::ComputePlanReport(PatternInput{}, build(rings(7)));
    EXPECT_EQ(r.blockedByCamera, 1);
    EXPECT_EQ(r.positions.front().flags & planner::kBlockedByCamera, planner::kBlockedByCamera);
    EXPECT_GT(r.belowFloor, 0);
}

// Rings from the top down, each by azimuth; the same options give the same
// order.
TEST(Layout, ShootingOrderIsByRingFromTheTopThenByAzimuth)
{
    for (const LayoutInput &l : someLayouts()) {
        SCOPED_TRACE(planner::LayoutDescription(l));
        const std::vector<planner::LayoutDirection> d = planner::LayoutDirections(l);
        ASSERT_FALSE(d.empty());
        EXPECT_EQ(d.front().ring, 0);
        EXPECT_EQ(d.front().index, 0);
        for (std::size_t k = 1; k < d.size(); ++k) {
            if (d[k].ring == d[k - 1].ring) {
                EXPECT_NEAR(d[k].elevation, d[k - 1].elevation, 1e-6);
                EXPECT_GT(d[k].azimuth, d[k - 1].azimuth);
                EXPECT_EQ(d[k].index, d[k - 1].index + 1);
            } else {
                EXPECT_EQ(d[k].ring, d[k - 1].ring + 1);
                EXPECT_LT(d[k].elevation, d[k - 1].elevation - 1e-6);
                EXPECT_EQ(d[k].index, 0);
            }
            EXPECT_GE(d[k].azimuth, 0.0);
            EXPECT_LT(d[k].azimuth, 360.0);
        }
        PatternLists a, b;
        EXPECT_EQ(planner::BuildLayout({}, l, a), planner::BuildLayout({}, l, b));
    }
    // The geodesic rings follow the icosahedron's five-fold symmetry about
    // the axis: one light on it, and fives elsewhere (the base plane holds
    // four of them at frequency 4).
    for (const planner::LayoutDirection &d : planner::LayoutDirections(geodesic(4, 0))) {
        std::size_t inRing = 0;
        for (const planner::LayoutDirection &e : planner::LayoutDirections(geodesic(4, 0)))
            inRing += e.ring == d.ring;
        EXPECT_TRUE(d.elevation == 90.0 ? inRing == 1 : inRing % 5 == 0) << inRing << " at " << d.elevation;
    }
}

// The point lines are the contract: each is the position's coordinates
// truncated, in shooting order; the header's counts describe the rows.
TEST(Layout, FileReadsBackToThePositions)
{
    PatternInput in;
    in.objectHeight = 1234;
    in.viewDistance = 1777;
    in.objectSize = 321;
    in.cameraDistance = 2345;
    for (LayoutInput l : someLayouts()) {
        for (bool skip : {false, true}) {
            l.skipFlagged = skip;
            SCOPED_TRACE(planner::LayoutDescription(l));
            PatternLists out;
            const LayoutFile f = parse(planner::BuildLayout(in, l, out));

            // The grid's header, line for line, but for the values.
            ASSERT_GE(f.header.size(), 14u);
            EXPECT_EQ(f.header[0], "PTM ACQUISITION PATTERN");
            EXPECT_EQ(f.header[3], "object size            321");
            EXPECT_EQ(f.header[4], "object height         1234");
            EXPECT_EQ(f.header[5], "camera distance       2345");
            EXPECT_EQ(f.header[13], "rows from bottom to top. points from left to right");
            EXPECT_GT(f.horizontal, 0);
            EXPECT_GT(f.vertical, 0);

            EXPECT_EQ(f.parallels, int(f.rows.size()));
            std::size_t widest = 0, k = 0;
            for (const FileRow &r : f.rows) {
                widest = std::max(widest, r.points.size());
                float radius = 0;
                for (const auto &pt : r.points) {
                    ASSERT_LT(k, out.positions.size());
                    const Point3f &p = out.positions[k++];
                    EXPECT_TRUE(truncates(pt[1], p.x) && truncates(pt[2], p.y) && truncates(pt[3], p.z))
                        << "line " << pt[1] << " " << pt[2] << " " << pt[3] << " for " << p.x << " " << p.y << " "
                        << p.z;
                    if (l.kind == LayoutKind::Rings) {
                        radius = std::hypot(p.x, p.y);
                    } else {
                        EXPECT_EQ(pt[0], 0);
                        EXPECT_EQ(r.height, int(double(in.objectHeight) + p.y));
                        EXPECT_NEAR(r.distance, std::hypot(p.x, p.z), 1.0);
                    }
                }
                if (l.kind == LayoutKind::Rings) {
                    EXPECT_EQ(r.height, in.objectHeight); // the ring's centre is on the camera axis
                    if (!r.points.empty()) {
                        EXPECT_NEAR(r.distance, radius, 1.0);
                    }
                } else {
                    EXPECT_EQ(r.points.size(), 1u);
                }
            }
            EXPECT_EQ(k, out.positions.size());
            EXPECT_EQ(f.meridiens, int(widest));
            EXPECT_EQ(f.total, int(out.positions.size()));
        }
    }
}

// Angles of the header: a ring step of (90 - 15) / 5 = 15 degrees; an edge
// of the icosahedron, acos(1 / sqrt 5) = 63.43 degrees, in three; a cap of
// 2 pi (1 - sin 30) = pi shared by 100: sqrt(pi / 100) rad = 10.16 degrees.
TEST(Layout, HeaderGivesTheNominalSpacing)
{
    PatternLists out;
    EXPECT_DOUBLE_EQ(parse(planner::BuildLayout({}, rings(5), out)).vertical, 15.00);
    const LayoutFile g = parse(planner::BuildLayout({}, geodesic(3), out));
    EXPECT_DOUBLE_EQ(g.horizontal, 21.14);
    EXPECT_DOUBLE_EQ(g.vertical, 21.14);
    EXPECT_DOUBLE_EQ(parse(planner::BuildLayout({}, spiral(100, 30), out)).horizontal, 10.16);
}

TEST(Layout, GridStaysTheGrid)
{
    PatternInput odd;
    odd.horizontalStep = 7;
    odd.verticalStep = 11;
    odd.excludeBasePlane = true;
    for (const PatternInput &in : {PatternInput{}, odd}) {
        PatternLists grid, layout;
        LayoutInput l; // the grid; its other options play no part
        l.count = 3;
        l.skipFlagged = true;
        EXPECT_EQ(planner::BuildLayout(in, l, layout), planner::BuildPattern(in, grid));
        EXPECT_EQ(layout.positions.size(), grid.positions.size());
        EXPECT_TRUE(layout.layout.empty());
        EXPECT_TRUE(layout.point_rows.empty());
    }
}

// Seen from the object, the grid crowds its two poles on the base plane:
// neighbours there are 2 asin(sin 15 sin 7.5) = 3.87 degrees apart against
// 15 in the middle, evenness 3.87 for the default 145 positions. Measured
// once over all positions: the 145 of the spiral 1.12 (9.0 to 10.0
// degrees), the 149 of seven rings 1.04. Both well below half the grid's;
// a layout that lost its cosine rule or its even spacing in z would not be.
TEST(Layout, SpiralAndRingsAreFarMoreEvenThanTheGrid)
{
    PatternLists grid;
    planner::BuildPattern(PatternInput{}, grid);
    ASSERT_EQ(grid.positions.size(), 145u);
    const double g = planner::NearestNeighbourAngles(directions(grid.positions))->evenness();
    EXPECT_NEAR(g, 15.0 / deg(2 * std::asin(std::sin(rad(15)) * std::sin(rad(7.5)))), 0.01);
    for (const LayoutInput &l : {spiral(145), rings(7)}) {
        const double e = planner::NearestNeighbourAngles(directions(build(l).positions))->evenness();
        EXPECT_LT(e, g / 2) << planner::LayoutDescription(l);
    }
}

// Every export takes every layout, with the layout's own row and point
// numbers and its name in the .dome's label.
TEST(Layout, ExportsTakeEveryLayout)
{
    testsupport::TempDir dir;
    for (const LayoutInput &l : {rings(4), spiral(30), geodesic(2)}) {
        SCOPED_TRACE(planner::LayoutDescription(l));
        const PatternLists out = build(l);
        for (planner::LightFormat f : planner::kLightFormats) {
            const std::string path = dir.File(std::string("lights") + planner::FormatExtension(f));
            planner::ExportOptions options;
            options.imageWidth = 250; // a dome that places its lights
            const planner::ExportResult r = planner::ExportLights(f, PatternInput{}, out, options, path);
            ASSERT_TRUE(r.ok) << r.message;
            EXPECT_EQ(r.count, out.positions.size());
        }
        std::string error;
        const auto table = planner::MakeLightTable(PatternInput{}, out, {}, error);
        ASSERT_TRUE(table);
        for (std::size_t k = 0; k < table->lights.size(); ++k) {
            EXPECT_EQ(table->lights[k].row, out.point_rows[k]);
            EXPECT_EQ(table->lights[k].point, out.point_numbers[k]);
        }
        const std::string dome = testsupport::ReadFile(dir.File("lights.dome"));
        EXPECT_NE(dome.find(planner::LayoutDescription(l)), std::string::npos);
        EXPECT_NE(dome.find("\"spherical\""), std::string::npos);
        EXPECT_NE(
            planner::ReportText(planner::ComputePlanReport(PatternInput{}, out)).find(planner::LayoutDescription(l)),
            std::string::npos);
    }
}
