// Counts, exclusions and lists of the acquisition pattern.

#include <cmath>

#include <gtest/gtest.h>

#include "planner/Pattern.h"

using planner::BuildPattern;
using planner::PatternInput;
using planner::PatternLists;

namespace
{

PatternInput steps(int h, int v, bool ezero = false, bool epiano = false)
{
    PatternInput in;
    in.horizontalStep = h;
    in.verticalStep = v;
    in.excludeCentralPoint = ezero;
    in.excludeBasePlane = epiano;
    return in;
}

std::size_t countPoints(const PatternInput &in)
{
    PatternLists l;
    BuildPattern(in, l);
    return l.positions.size();
}

} // namespace

struct CountCase {
    int h, v;
    bool ezero, epiano;
    std::size_t points;
};

class PatternCounts : public ::testing::TestWithParam<CountCase>
{
};

TEST_P(PatternCounts, TotalPoints)
{
    const CountCase &c = GetParam();
    EXPECT_EQ(countPoints(steps(c.h, c.v, c.ezero, c.epiano)), c.points);
}

INSTANTIATE_TEST_SUITE_P(Pattern, PatternCounts,
                         ::testing::Values(CountCase{15, 15, false, false, 145}, //
                                           CountCase{15, 15, false, true, 121},  //
                                           CountCase{15, 15, true, false, 144},  //
                                           CountCase{15, 15, true, true, 120},   //
                                           CountCase{90, 90, false, false, 5},   //
                                           CountCase{90, 90, true, false, 4},    //
                                           CountCase{90, 90, false, true, 1},    //
                                           CountCase{90, 90, true, true, 0},     //
                                           CountCase{7, 7, false, false, 651},   //
                                           CountCase{7, 7, true, false, 651},    //
                                           CountCase{20, 20, false, false, 82},  //
                                           CountCase{20, 20, true, false, 82},   //
                                           CountCase{1, 1, false, false, 179 * 181 + 2}));

TEST(Pattern, HeaderCountsTruncateTowardZero)
{
    PatternLists l;
    const std::string seven = BuildPattern(steps(7, 7), l);
    EXPECT_NE(seven.find("parallels               26\n"), std::string::npos);
    EXPECT_NE(seven.find("meridiens               26\n"), std::string::npos);
    // 180 / 7 does not divide: the last row is at 175 and there is no bottom pole.
    EXPECT_EQ(l.row_heights.size(), 26u);
    EXPECT_FLOAT_EQ(l.point_vangles.back(), 175);
    const std::string one = BuildPattern(steps(1, 90), l);
    EXPECT_NE(one.find("parallels                3\n"), std::string::npos);
    EXPECT_NE(one.find("meridiens              181\n"), std::string::npos);
}

TEST(Pattern, ListsStayInStepAndDescribeTheDome)
{
    PatternInput in = steps(15, 15);
    in.viewDistance = 1500;
    PatternLists l;
    BuildPattern(in, l);
    ASSERT_EQ(l.positions.size(), 145u);
    ASSERT_EQ(l.point_vangles.size(), l.positions.size());
    ASSERT_EQ(l.point_hangles.size(), l.positions.size());
    ASSERT_EQ(l.row_heights.size(), 13u);
    ASSERT_EQ(l.row_distances.size(), 13u);

    const double kPi = 3.141592653589793;
    for (std::size_t k = 0; k < l.positions.size(); ++k) {
        const nuk::Point3f &p = l.positions[k];
        // On the sphere of the view distance (the row angles use pi = 3.1415),
        // never behind the base plane.
        EXPECT_NEAR(std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z), 1500, 0.5);
        EXPECT_GE(p.z, -1e-3);
        const double a = l.point_vangles[k] * kPi / 180, b = l.point_hangles[k] * kPi / 180;
        EXPECT_NEAR(p.y, 1500 * std::cos(a), 0.5);
        EXPECT_NEAR(p.x, -1500 * std::sin(a) * std::cos(b), 0.5);
        EXPECT_NEAR(p.z, 1500 * std::sin(a) * std::sin(b), 0.5);
    }
    // The poles: single points with horizontal angle 90.
    EXPECT_EQ(l.point_hangles.front(), 90);
    EXPECT_EQ(l.point_hangles.back(), 90);
    EXPECT_FLOAT_EQ(l.positions.front().y, 1500);
    EXPECT_FLOAT_EQ(l.positions.back().y, -1500);
    // A row at 90 degrees sits a hair above the centre because of pi = 3.1415.
    EXPECT_GT(l.row_heights[6], 0);
    EXPECT_LT(l.row_heights[6], 0.1f);
}

TEST(Pattern, ExcludeBasePlaneDropsPolesAndRowEnds)
{
    PatternLists l;
    const std::string text = BuildPattern(steps(15, 15, false, true), l);
    EXPECT_EQ(text.find("row #      0"), std::string::npos);
    EXPECT_EQ(text.find("row #     12"), std::string::npos);
    EXPECT_NE(text.find("---\nrow #      1\n"), std::string::npos);
    EXPECT_EQ(l.row_heights.size(), 11u);
    for (float b : l.point_hangles) {
        EXPECT_NE(b, 0);
        EXPECT_NE(b, 180);
    }
    // Row numbers and point numbers are loop indices: gaps stay.
    EXPECT_NE(text.find("\n  1]  "), std::string::npos);
    EXPECT_EQ(text.find("\n  0]  "), std::string::npos);
}

TEST(Pattern, EmptyRowKeepsHeaderAndTrailer)
{
    PatternLists l;
    const std::string text = BuildPattern(steps(90, 90, true, true), l);
    EXPECT_TRUE(l.positions.empty());
    EXPECT_NE(text.find("row #      1\n\nheight       1000\ndistance     1500\n\n\n\n-----"), std::string::npos);
    EXPECT_NE(text.find("Total points      0\n"), std::string::npos);
}

TEST(Pattern, StoredObjectValuesReachOnlyTheirLines)
{
    PatternInput in = steps(45, 45);
    in.objectSize = 777;
    in.objectHeight = 2000;
    in.cameraDistance = 1234;
    in.viewDistance = 100;
    PatternLists l;
    const std::string text = BuildPattern(in, l);
    EXPECT_NE(text.find("object size            777\n"), std::string::npos);
    EXPECT_NE(text.find("camera distance       1234\n"), std::string::npos);
    EXPECT_NE(text.find("height       2100\n"), std::string::npos); // top pole: 2000 + 100
    EXPECT_NE(text.find("height       1900\n"), std::string::npos); // bottom pole
    EXPECT_NE(text.find("horizontal angle     45.00\n"), std::string::npos);
}

TEST(Pattern, RunsAreRepeatableAndListsDoNotAccumulate)
{
    PatternLists l;
    const std::string first = BuildPattern(steps(20, 10, true, false), l);
    const PatternLists copy = l;
    const std::string second = BuildPattern(steps(20, 10, true, false), l);
    EXPECT_EQ(first, second);
    EXPECT_EQ(l.positions.size(), copy.positions.size());
    for (std::size_t k = 0; k < l.positions.size(); ++k)
        EXPECT_EQ(l.positions[k], copy.positions[k]);
    EXPECT_EQ(l.row_heights, copy.row_heights);
    EXPECT_EQ(l.point_hangles, copy.point_hangles);
}
