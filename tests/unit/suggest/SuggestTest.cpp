// The model-aware suggestion on a relief with a deep groove running north
// to south (along y). A point of the groove's floor sees a light only when
// the segment to it clears both walls; the share of the floor reached by k
// lights follows from that alone, and the even choice, blind to the groove,
// puts too few lights in the narrow band of directions along it.

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "coverage/Coverage.h"
#include "coverage/CoverageScene.h"
#include "planner/Plan.h"
#include "planner/Suggestion.h"
#include "suggest/Suggest.h"
#include "unit/coverage/MeshBuild.h"

using nuk::Point3f;

namespace
{

// mm: the groove 20 wide and 60 deep, 200 long, open at both ends, between
// two blocks 90 wide; the floor at z = 0 faces the camera.
constexpr float kWidth = 20, kDepth = 60, kLength = 200, kBlock = 90;

meshbuild::Builder Groove()
{
    meshbuild::Builder b;
    const float w = kWidth / 2, l = kLength / 2, out = w + kBlock;
    b.grid(Point3f(-w, -l, 0), Point3f(kWidth, 0, 0), Point3f(0, kLength, 0), 10, 100);        // floor
    b.grid(Point3f(w, -l, 0), Point3f(0, 0, kDepth), Point3f(0, kLength, 0), 30, 100);         // east wall, faces west
    b.grid(Point3f(-w, -l, 0), Point3f(0, kLength, 0), Point3f(0, 0, kDepth), 100, 30);        // west wall, faces east
    b.grid(Point3f(w, -l, kDepth), Point3f(kBlock, 0, 0), Point3f(0, kLength, 0), 30, 100);    // east top
    b.grid(Point3f(-out, -l, kDepth), Point3f(kBlock, 0, 0), Point3f(0, kLength, 0), 30, 100); // west top
    return b;
}

// Whether the segment from a floor point to a light passes inside a block
// (|x| >= w, z <= depth, |y| <= l): within the parameter range where the
// segment is under the tops, the ranges where it is beyond a wall and
// within the groove's length overlap.
bool Shadowed(const Point3f &p, const Point3f &light)
{
    const double dz = light.z - p.z;
    if (!(dz > 0)) return true;
    const double top = kDepth / dz; // the segment's parameter where it rises past the tops
    double lo = 0, hi = std::min(1.0, top);
    // Within the groove's length.
    const double dy = light.y - p.y, l = kLength / 2;
    if (dy != 0) {
        const double a = (-l - p.y) / dy, b = (l - p.y) / dy;
        lo = std::max(lo, std::min(a, b));
        hi = std::min(hi, std::max(a, b));
    }
    if (lo > hi) return false;
    // Beyond a wall: x >= w or x <= -w.
    const double dx = light.x - p.x, w = kWidth / 2;
    if (dx == 0) return std::fabs(p.x) > w;
    const double t = ((dx > 0 ? w : -w) - p.x) / dx; // where it crosses the wall it heads to
    return std::max(t, lo) <= hi;
}

struct FloorShare {
    double expected = 0; // from the groove's geometry
    double traced = 0;   // from the coverage analysis of the chosen positions
};

// Over the floor's samples inside its edges, weighted by their areas.
FloorShare FloorReached(const coverage::CoverageScene &scene, const std::vector<Point3f> &lights, int k)
{
    coverage::CoverageInput in;
    in.positions = lights;
    const coverage::CoverageResult r = coverage::Analyse(scene, in);
    const auto &g = scene.geometry();
    double floor = 0, expected = 0, traced = 0;
    for (std::size_t i = 0; i < g.positions.size(); ++i) {
        const Point3f &p = g.positions[i];
        // The floor's edges lie on the walls' feet, in their shadow or not as rounding has it.
        if (p.z != 0 || std::fabs(p.x) >= kWidth / 2 - 1e-3f || !(scene.areas()[i] > 0)) continue;
        const double a = scene.areas()[i];
        floor += a;
        const int lit =
            int(std::count_if(lights.begin(), lights.end(), [&](const Point3f &l) { return !Shadowed(p, l); }));
        if (lit >= k) expected += a;
        if (r.lights[i] >= k) traced += a;
    }
    return {expected / floor, traced / floor};
}

} // namespace

TEST(Suggest, GrooveGetsLightsAlongItAndOnBothSides)
{
    const auto mesh = Groove().build();
    std::string error;
    const auto scene = coverage::CoverageScene::Build(coverage::ModelGeometry::FromMesh(*mesh), error);
    ASSERT_TRUE(scene) << error;

    planner::Plan plan;
    plan.layout = planner::DefaultCandidateLayout();
    plan.layout.count = 400;
    planner::PatternLists lists;
    planner::BuildPlan(plan, lists);
    const planner::Candidates c = planner::UsableCandidates(plan, lists);

    const struct {
        std::size_t count;
        int k;
    } cases[] = {{24, coverage::kPtmLights}, {40, coverage::kHshLights}};
    for (const auto &t : cases) {
        SCOPED_TRACE(std::to_string(t.count) + " lights, k = " + std::to_string(t.k));
        suggest::SuggestInput in;
        in.positions = c.positions;
        in.directions = c.directions;
        in.count = t.count;
        in.minLights = t.k;
        in.cameraDistance = float(plan.input.cameraDistance);
        const suggest::SuggestResult r = suggest::Suggest(*scene, in);
        ASSERT_FALSE(r.cancelled);
        ASSERT_EQ(r.chosen.size(), t.count);
        ASSERT_EQ(r.even.size(), t.count);

        std::vector<Point3f> chosen, even;
        for (std::size_t i : r.chosen)
            chosen.push_back(c.positions[i]);
        for (std::size_t i : r.even)
            even.push_back(c.positions[i]);

        // Each wall is lit only from across the groove: k lights on either side.
        const auto east =
            std::count_if(chosen.begin(), chosen.end(), [](const Point3f &p) { return p.x > kWidth / 2; });
        const auto west =
            std::count_if(chosen.begin(), chosen.end(), [](const Point3f &p) { return p.x < -kWidth / 2; });
        EXPECT_GE(east, t.k);
        EXPECT_GE(west, t.k);

        const FloorShare s = FloorReached(*scene, chosen, t.k), e = FloorReached(*scene, even, t.k);
        // The tracing agrees with the geometry.
        EXPECT_NEAR(s.traced, s.expected, 0.02);
        EXPECT_NEAR(e.traced, e.expected, 0.02);
        EXPECT_GT(s.expected, e.expected + 0.2) << s.expected << " against " << e.expected;
        // And the whole surface: at least as much reaches k as with the even choice.
        EXPECT_GE(r.suggested.reached, r.evenFigures.reached);
    }
}

TEST(Suggest, AllCandidatesWhenAskedForAsManyAndTheSameEachTime)
{
    const auto mesh = Groove().build();
    std::string error;
    const auto scene = coverage::CoverageScene::Build(coverage::ModelGeometry::FromMesh(*mesh), error);
    ASSERT_TRUE(scene) << error;
    planner::Plan plan;
    plan.layout = planner::DefaultCandidateLayout();
    plan.layout.count = 60;
    planner::PatternLists lists;
    planner::BuildPlan(plan, lists);
    const planner::Candidates c = planner::UsableCandidates(plan, lists);
    suggest::SuggestInput in;
    in.positions = c.positions;
    in.directions = c.directions;
    in.cameraDistance = float(plan.input.cameraDistance);
    for (const std::size_t n : {c.positions.size(), c.positions.size() + 5}) {
        in.count = n;
        const suggest::SuggestResult r = suggest::Suggest(*scene, in);
        ASSERT_EQ(r.chosen.size(), c.positions.size());
        EXPECT_EQ(r.chosen.back(), c.positions.size() - 1);
    }
    in.count = 12;
    std::vector<std::size_t> first;
    for (const unsigned threads : {1u, 2u, 3u}) {
        in.threads = threads;
        const suggest::SuggestResult r = suggest::Suggest(*scene, in);
        if (first.empty()) first = r.chosen;
        EXPECT_EQ(r.chosen, first) << threads << " threads";
    }
    // Cancelled at once: nothing chosen, marked so.
    const suggest::SuggestResult stopped = suggest::Suggest(*scene, in, [](double) { return false; });
    EXPECT_TRUE(stopped.cancelled);
}
