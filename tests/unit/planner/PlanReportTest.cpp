// The plan report against hand counts on known plans and closed forms on
// symmetric sets of directions. The condition numbers of real plans are
// checked against numpy in tests/tools/check_report.py.

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "planner/PlanReport.h"

using nuk::Point3d;
using nuk::Point3f;
using planner::PatternInput;
using planner::PlanReport;

namespace
{

constexpr double kPi = 3.14159265358979323846;
double rad(double deg) { return deg * kPi / 180.0; }
double deg(double rad) { return rad * 180.0 / kPi; }

// Elevation e above the base plane, azimuth a across it, as the camera sees it.
Point3d dir(double e, double a)
{
    return Point3d(std::cos(rad(e)) * std::cos(rad(a)), std::cos(rad(e)) * std::sin(rad(a)), std::sin(rad(e)));
}

PlanReport reportOf(const PatternInput &in, const planner::ReportOptions &opt = {})
{
    planner::PatternLists l;
    planner::BuildPattern(in, l);
    return planner::ComputePlanReport(in, l.positions, opt);
}

PatternInput plan(int step, int view, int camera = 1000, int height = 1000)
{
    PatternInput in;
    in.horizontalStep = in.verticalStep = step;
    in.viewDistance = view;
    in.cameraDistance = camera;
    in.objectHeight = height;
    return in;
}

std::vector<int> numbersWith(const PlanReport &r, unsigned flag)
{
    std::vector<int> n;
    for (const planner::PositionReport &p : r.positions)
        if (p.flags & flag) n.push_back(p.number);
    return n;
}

// A ring of n lights at elevation e, radius 1000 mm, far from camera and floor.
PlanReport ringReport(int n, double e, double grazing)
{
    std::vector<Point3f> pos;
    for (int k = 0; k < n; ++k) {
        const Point3d d = dir(e, 360.0 * k / n) * 1000.0;
        pos.emplace_back(float(d.x), float(d.y), float(d.z));
    }
    planner::ReportOptions opt;
    opt.grazingBelow = grazing;
    return planner::ComputePlanReport(plan(15, 1000, 2500, 2500), pos, opt);
}

} // namespace

// Default plan: 1500 mm dome, centre 1000 mm above the floor, steps 15.
// Below the floor: y = 1500 cos(a) < -1000 for a > 131.8, so rows 135, 150,
// 165 (13 points each) and the bottom pole: 40, numbers 106 to 145.
// Blocked: only the central point (row 6, point 6: number 1 + 5 * 13 + 7 = 73),
// whose segment to the centre runs along the axis through the camera at 1000.
// Grazing (elevation asin(sin a sin b) under 10, sin 10 = 0.174): the 22 row
// ends and 2 poles on the base plane, a = 15 or 165 with b = 15, 30, 150, 165
// (sin 15 sin 30 = 0.129), a = 30 or 150 with b = 15 or 165: 36. Of those,
// 13 are below the floor too (2 + 4 + 6 + pole), so 145 - (40 + 36 - 13 + 1) = 81.
TEST(PlanReport, DefaultPlanFlagsCountedByHand)
{
    const PlanReport r = reportOf(PatternInput{});
    ASSERT_EQ(r.positions.size(), 145u);
    EXPECT_EQ(r.belowFloor, 40);
    EXPECT_EQ(r.blockedByCamera, 1);
    EXPECT_EQ(r.grazing, 36);
    EXPECT_EQ(r.inPicture, 0);
    EXPECT_EQ(r.usable, 81);
    std::vector<int> below;
    for (int n = 106; n <= 145; ++n)
        below.push_back(n);
    EXPECT_EQ(numbersWith(r, planner::kBelowFloor), below);
    EXPECT_EQ(numbersWith(r, planner::kBlockedByCamera), std::vector<int>{73});
    EXPECT_EQ(planner::NumberRanges(numbersWith(r, planner::kBelowFloor)), "106-145");

    const planner::PositionReport &top = r.positions[0];
    EXPECT_NEAR(top.height, 2500.0, 1e-3);
    EXPECT_NEAR(top.azimuth, 90.0, 1e-9); // straight up
    const planner::PositionReport &centre = r.positions[72];
    EXPECT_NEAR(centre.elevation, 90.0, 0.01); // row 90 is 0.07 mm up
    EXPECT_NEAR(centre.height, 1000.0, 0.1);
}

TEST(PlanReport, RowEndsCountAsOnTheBasePlane)
{
    // With no grazing limit only the floor and the camera take lights away,
    // the row ends at 180 degrees (a hair behind the plane in single
    // precision) included.
    planner::ReportOptions opt;
    opt.grazingBelow = 0;
    const PlanReport r = reportOf(PatternInput{}, opt);
    EXPECT_EQ(r.grazing, 0);
    EXPECT_EQ(r.usable, 145 - 40 - 1);
}

// Nearest neighbours of the default plan's usable directions: the closest are
// neighbours on row a = 15 (b = 45 ... 135 are above 10 degrees), a chord of
// 2 asin(sin 15 sin 7.5); the farthest a full row step of 15.
TEST(PlanReport, DefaultPlanNeighbours)
{
    const PlanReport r = reportOf(PatternInput{});
    ASSERT_TRUE(r.neighbours);
    EXPECT_NEAR(r.neighbours->min, deg(2 * std::asin(std::sin(rad(15)) * std::sin(rad(7.5)))), 0.01);
    EXPECT_NEAR(r.neighbours->max, 15.0, 0.01);
    EXPECT_NEAR(r.neighbours->evenness(), r.neighbours->max / r.neighbours->min, 1e-12);
}

struct CentralCase {
    int view;
    bool blocked;
};

// Both steps 90 with the camera at 1000: the body spans 950..1050 on the axis.
class CentralPoint : public ::testing::TestWithParam<CentralCase>
{
};

TEST_P(CentralPoint, BlockedOnlyWhenTheCameraIsInTheWay)
{
    const PlanReport r = reportOf(plan(90, GetParam().view));
    ASSERT_EQ(r.positions.size(), 5u);
    EXPECT_EQ((r.positions[2].flags & planner::kBlockedByCamera) != 0, GetParam().blocked);
    EXPECT_EQ(r.blockedByCamera, GetParam().blocked ? 1 : 0);
    // The other four lie on the base plane.
    EXPECT_EQ(r.grazing, 4);
    EXPECT_EQ(r.usable, GetParam().blocked ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Camera1000, CentralPoint,
                         ::testing::Values(CentralCase{1500, true}, CentralCase{1051, true}, CentralCase{1000, true},
                                           CentralCase{950, true}, CentralCase{949, false}, CentralCase{500, false}));

TEST(PlanReport, BelowTheFloorAtTheBottomPole)
{
    // Steps 90, 1500 mm dome: the bottom pole is 500 mm under the floor.
    const PlanReport r = reportOf(plan(90, 1500));
    EXPECT_EQ(numbersWith(r, planner::kBelowFloor), std::vector<int>{5});
    EXPECT_NEAR(r.positions[4].height, -500.0, 0.01);
}

struct PictureCase {
    double focal;
    std::vector<int> numbers;
};

// Steps 90 at 500 mm, camera at 1000 mm with a 36 x 24 sensor. The central
// light is 500 mm in front of the lens; the others stand on the base plane,
// 500 mm off the axis at 1000 mm from the lens: a ratio of 0.5 against the
// half-field tangents 18 / f across and 12 / f up.
class InPicture : public ::testing::TestWithParam<PictureCase>
{
};

TEST_P(InPicture, ByTheHalfFieldTangents)
{
    planner::ReportOptions opt;
    opt.framing = planner::Framing{36, 24, GetParam().focal};
    const PlanReport r = reportOf(plan(90, 500), opt);
    EXPECT_EQ(numbersWith(r, planner::kInPicture), GetParam().numbers);
}

INSTANTIATE_TEST_SUITE_P(FullFrame, InPicture,
                         ::testing::Values(PictureCase{50, {3}},             // 0.36, 0.24
                                           PictureCase{30, {2, 3, 4}},       // 0.6, 0.4
                                           PictureCase{20, {1, 2, 3, 4, 5}}, // 0.9, 0.6
                                           PictureCase{36, {2, 3, 4}}));     // exactly 0.5 across: on the edge

TEST(PlanReport, NothingBehindTheLensIsInThePicture)
{
    // A 10 mm lens (tangents 1.8 across, 1.2 up) sees the lights 1500 mm to
    // the sides at 1000 mm (1.5), not the poles, and never the central light
    // 500 mm behind it on the axis.
    planner::ReportOptions opt;
    opt.framing = planner::Framing{36, 24, 10};
    EXPECT_EQ(numbersWith(reportOf(plan(90, 1500), opt), planner::kInPicture), (std::vector<int>{2, 4}));
}

struct RingCase {
    int n;
    double elevation, grazing;
};

class Ring : public ::testing::TestWithParam<RingCase>
{
};

// n lights evenly round a ring at elevation e: every neighbour is at
// 2 asin(cos e sin(180 / n)); the biggest hole is centred either on the
// axis (90 - e) or on the lowest allowed elevation g halfway between two
// lights, where cos r = sin g sin e + cos g cos e cos(180 / n).
TEST_P(Ring, AnglesAndCapInClosedForm)
{
    const RingCase c = GetParam();
    const PlanReport r = ringReport(c.n, c.elevation, c.grazing);
    ASSERT_EQ(r.usable, c.n);
    const double nn = deg(2 * std::asin(std::cos(rad(c.elevation)) * std::sin(kPi / c.n)));
    ASSERT_TRUE(r.neighbours);
    EXPECT_NEAR(r.neighbours->min, nn, 1e-3);
    EXPECT_NEAR(r.neighbours->median, nn, 1e-3);
    EXPECT_NEAR(r.neighbours->max, nn, 1e-3);
    EXPECT_NEAR(r.neighbours->evenness(), 1.0, 1e-4);

    const double side = deg(std::acos(std::sin(rad(c.grazing)) * std::sin(rad(c.elevation)) +
                                      std::cos(rad(c.grazing)) * std::cos(rad(c.elevation)) * std::cos(kPi / c.n)));
    const double cap = std::max(90.0 - c.elevation, side);
    ASSERT_TRUE(r.largestEmptyCap);
    EXPECT_NEAR(*r.largestEmptyCap, cap, 0.1);

    // lu^2 + lv^2 = cos^2 e on every light: PTM's squares and constant are
    // dependent, and so are HSH's constant and first zonal term.
    EXPECT_FALSE(r.fits[0].canFit);
    EXPECT_FALSE(r.fits[1].canFit);
}

INSTANTIATE_TEST_SUITE_P(Symmetric, Ring,
                         ::testing::Values(RingCase{6, 60, 0},   // side 64.3
                                           RingCase{12, 40, 10}, // axis 50
                                           RingCase{24, 30, 20}, // axis 60
                                           RingCase{3, 45, 5})); // side 65.6

TEST(LargestEmptyCap, OneLightOnTheAxis)
{
    const std::vector<Point3d> axis{Point3d(0, 0, 1)};
    EXPECT_NEAR(*planner::LargestEmptyCap(axis, 10), 80.0, 0.05);
    EXPECT_NEAR(*planner::LargestEmptyCap(axis, 0), 90.0, 0.05);
    EXPECT_FALSE(planner::LargestEmptyCap({}, 10));
}

TEST(LargestEmptyCap, AxisAndFourOnTheBasePlane)
{
    // The hole between the axis, +X and +Y is centred on (1, 1, 1) / sqrt 3.
    const std::vector<Point3d> d{Point3d(0, 0, 1), Point3d(1, 0, 0), Point3d(-1, 0, 0), Point3d(0, 1, 0),
                                 Point3d(0, -1, 0)};
    EXPECT_NEAR(*planner::LargestEmptyCap(d, 0), deg(std::acos(1 / std::sqrt(3.0))), 0.1);
}

TEST(NearestNeighbourAngles, MinMedianMaxAlongAMeridian)
{
    // Elevations 20, 30, 50, 80 on one azimuth: nearest 10, 10, 20, 30.
    const std::vector<Point3d> d{dir(20, 0), dir(30, 0), dir(50, 0), dir(80, 0)};
    const auto a = planner::NearestNeighbourAngles(d);
    ASSERT_TRUE(a);
    EXPECT_NEAR(a->min, 10, 1e-9);
    EXPECT_NEAR(a->median, 15, 1e-9);
    EXPECT_NEAR(a->max, 30, 1e-9);
    EXPECT_NEAR(a->evenness(), 3, 1e-9);
    EXPECT_FALSE(planner::NearestNeighbourAngles({dir(45, 0)}));
    EXPECT_TRUE(std::isinf(planner::NearestNeighbourAngles({dir(45, 0), dir(45, 0)})->evenness()));
}

TEST(Condition, TooFewDirectionsCannotFit)
{
    // Five scattered lights: enough for the 4 terms of HSH order 2, not for
    // PTM's 6 or HSH order 3's 9.
    const std::vector<Point3f> pos{
        {300, 200, 900}, {-400, 100, 800}, {100, -500, 700}, {-200, -300, 900}, {500, 400, 600}};
    const PlanReport r = planner::ComputePlanReport(plan(15, 1000, 2500, 2500), pos);
    ASSERT_EQ(r.usable, 5);
    EXPECT_FALSE(r.fits[0].canFit);
    EXPECT_TRUE(r.fits[1].canFit);
    EXPECT_FALSE(r.fits[2].canFit);
}

TEST(Condition, HshOrderTwoOnTwoRings)
{
    // Four lights at cos(theta) = 0.75 and four at 0.25 (shifted argument
    // x = +-0.5), azimuths 0, 90, 180, 270. The columns are orthogonal, with
    // squared lengths (times 2 pi) 8 for the constant, 3 * 8 * 0.25 = 6 for
    // the zonal term, 3 * 4 * (1 - 0.25) = 9 for each of the two others.
    std::vector<double> rows;
    for (double c : {0.75, 0.25})
        for (int k = 0; k < 4; ++k) {
            const double s = std::sqrt(1 - c * c);
            const std::vector<double> row =
                planner::HshRow(Point3d(s * std::cos(k * kPi / 2), s * std::sin(k * kPi / 2), c), 2);
            rows.insert(rows.end(), row.begin(), row.end());
        }
    const planner::FitCondition f = planner::Condition("HSH order 2", 4, rows);
    ASSERT_TRUE(f.canFit);
    EXPECT_NEAR(f.condition, std::sqrt(9.0 / 6.0), 1e-9);
}

TEST(Condition, DiagonalMatrix)
{
    // Singular values of a scaled identity stacked on zeros are the scales.
    const std::vector<double> a{3, 0, 0, 0, -0.5, 0, 0, 0, 2, 0, 0, 0};
    const planner::FitCondition f = planner::Condition("m", 3, a);
    ASSERT_TRUE(f.canFit);
    EXPECT_NEAR(f.condition, 6.0, 1e-12);
    EXPECT_FALSE(planner::Condition("m", 3, {1, 2, 3, 2, 4, 6, 0, 0, 1}).canFit); // rows 1, 2 parallel
}

TEST(PlanReport, ElevationBands)
{
    // Steps 90: four lights on the base plane, one on the axis.
    const PlanReport r90 = reportOf(plan(90, 500));
    EXPECT_EQ(r90.bands[0].positions, 4);
    EXPECT_EQ(r90.bands[5].positions, 1);
    EXPECT_EQ(r90.bands[5].usable, 1);
    // Steps 60: poles and row ends on the base plane (6); rows 60 and 120 at
    // b = 60, 120 at asin(sin 60 sin 60) = asin 0.75 = 48.6 (4).
    const PlanReport r60 = reportOf(plan(60, 500));
    const int want[6] = {6, 0, 0, 4, 0, 0};
    for (int b = 0; b < 6; ++b) {
        EXPECT_EQ(r60.bands[b].from, 15 * b);
        EXPECT_EQ(r60.bands[b].positions, want[b]) << "band " << b;
    }
}

TEST(PlanReport, FramingOfAFullFrameFiftyAtHalfAMetre)
{
    // Published size tables: 36 x 24 mm behind 50 mm at 500 mm frames 360 x 240 mm.
    planner::ReportOptions opt;
    opt.framing = planner::Framing{36, 24, 50};
    PatternInput in = plan(15, 1500, 500);
    in.objectSize = 250;
    const PlanReport r = reportOf(in, opt);
    ASSERT_TRUE(r.framing);
    EXPECT_NEAR(r.framing->fieldWidth, 360, 1e-9);
    EXPECT_NEAR(r.framing->fieldHeight, 240, 1e-9);
    EXPECT_NEAR(r.framing->widthShare, 250.0 / 360.0, 1e-12);
    EXPECT_NEAR(r.framing->heightShare, 250.0 / 240.0, 1e-12);
    // 200 mm (80 % of 250) on 24 mm at 500 mm: f = 24 * 500 / (250 / 0.8).
    EXPECT_NEAR(r.framing->focalFor80, 38.4, 1e-9);
    EXPECT_FALSE(reportOf(in).framing);
}

TEST(PlanReport, FramingOverAHundredPercentDoesNotFit)
{
    // 36 x 24 mm behind 50 mm at 500 mm frames 360 x 240 mm.
    struct Case {
        int objectSize;
        const char *says; // nullptr: it fits
    } cases[] = {
        {200, nullptr},
        {240, nullptr}, // exactly the height
        {250, "larger than the field's height\n"},
        {400, "larger than the field's width and height\n"},
    };
    planner::ReportOptions opt;
    opt.framing = planner::Framing{36, 24, 50};
    for (const Case &c : cases) {
        PatternInput in = plan(15, 1500, 500);
        in.objectSize = c.objectSize;
        const std::string text = planner::ReportText(reportOf(in, opt));
        if (c.says) {
            EXPECT_NE(text.find(std::string("the object does not fit: it is ") + c.says), std::string::npos)
                << c.objectSize << "\n" << text;
        } else {
            EXPECT_EQ(text.find("does not fit"), std::string::npos) << c.objectSize << "\n" << text;
        }
    }
}

TEST(PlanReport, NumberRanges)
{
    EXPECT_EQ(planner::NumberRanges({1, 2, 3, 5, 7, 8}), "1-3, 5, 7-8");
    EXPECT_EQ(planner::NumberRanges({4}), "4");
    EXPECT_EQ(planner::NumberRanges({}), "");
}
