// The even choice and the suggested plan: evenness on a whole hemisphere
// against the six-point configuration of the icosahedron, counts, flagged
// candidates never chosen, shooting order, and the acquisition and plan
// files read back.

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "planner/AcquisitionFile.h"
#include "planner/Plan.h"
#include "planner/PlanFile.h"
#include "planner/Suggestion.h"

using namespace planner;
using Json = nlohmann::json;

namespace
{

// A whole hemisphere in front of the base plane, nothing flagged: the
// positions 900 mm out stay above the floor (object centre 1000 mm up) and
// in front of the camera (1000 mm); no grazing limit.
Plan Hemisphere(int candidates)
{
    Plan p;
    p.input.viewDistance = 900;
    p.grazingBelow = 0;
    p.layout = DefaultCandidateLayout();
    p.layout.count = candidates;
    return p;
}

Candidates CandidatesOf(const Plan &p)
{
    PatternLists lists;
    BuildPlan(p, lists);
    return UsableCandidates(p, lists);
}

std::vector<nuk::Point3d> Pick(const Candidates &c, const std::vector<std::size_t> &chosen)
{
    std::vector<nuk::Point3d> d;
    for (std::size_t i : chosen)
        d.push_back(c.directions[i]);
    return d;
}

std::vector<nuk::Point3f> PickPositions(const Candidates &c, const std::vector<std::size_t> &chosen)
{
    std::vector<nuk::Point3f> p;
    for (std::size_t i : chosen)
        p.push_back(c.positions[i]);
    return p;
}

} // namespace

TEST(Suggestion, SixOnAHemisphereAreAsEvenAsTheIcosahedronsCap)
{
    const Candidates c = CandidatesOf(Hemisphere(2000));
    ASSERT_EQ(c.positions.size(), 2000u);
    const std::optional<NeighbourAngles> a = NearestNeighbourAngles(Pick(c, SelectEven(c.directions, 6)));
    ASSERT_TRUE(a);
    EXPECT_LE(a->max, 1.10 * a->min);
    // The top vertex of an icosahedron and its five neighbours are 6 points
    // of the hemisphere all acos(1 / sqrt 5) = 63.43 degrees from their
    // nearest neighbours.
    const double icosahedron = std::acos(1.0 / std::sqrt(5.0)) * 180.0 / std::acos(-1.0);
    EXPECT_NEAR(a->min, icosahedron, 0.1 * icosahedron);
}

TEST(Suggestion, CountsAsAsked)
{
    const Candidates c = CandidatesOf(Hemisphere(200));
    const struct {
        std::size_t asked, chosen;
    } cases[] = {{0, 0}, {1, 1}, {12, 12}, {199, 199}, {200, 200}, {201, 200}, {5000, 200}};
    for (const auto &k : cases) {
        SCOPED_TRACE(k.asked);
        const std::vector<std::size_t> chosen = SelectEven(c.directions, k.asked);
        ASSERT_EQ(chosen.size(), k.chosen);
        for (std::size_t i = 1; i < chosen.size(); ++i)
            EXPECT_LT(chosen[i - 1], chosen[i]); // distinct, increasing
    }
    // One photograph: the candidate nearest the camera axis.
    const std::vector<std::size_t> one = SelectEven(c.directions, 1);
    for (const nuk::Point3d &d : c.directions)
        EXPECT_LE(d.z, c.directions[one[0]].z);
    // All of them when asked for all.
    EXPECT_EQ(SelectEven(c.directions, 200).back(), 199u);
}

// The default set-up at 1500 mm puts the lowest lights under the floor and
// the highest behind the camera; a framing flags those in the picture. No
// choice ever takes one of them.
TEST(Suggestion, NoFlaggedCandidateIsChosen)
{
    Plan p;
    p.layout = DefaultCandidateLayout();
    p.framing = Framing{};
    p.grazingBelow = 20;
    PatternLists lists;
    BuildPlan(p, lists);
    const PlanReport all = ReportOf(p, lists);
    ASSERT_GT(all.belowFloor, 0);
    ASSERT_GT(all.grazing, 0);
    ASSERT_GT(all.inPicture + all.blockedByCamera, 0);
    const Candidates c = UsableCandidates(p, lists);
    EXPECT_EQ(c.positions.size(), std::size_t(all.usable));
    for (const std::size_t n : {6u, 60u, 300u}) {
        SCOPED_TRACE(n);
        const Plan s = SuggestedPlan(p, PickPositions(c, SelectEven(c.directions, n)));
        PatternLists out;
        BuildPlan(s, out);
        const PlanReport r = ReportOf(s, out);
        EXPECT_EQ(r.positions.size(), n);
        EXPECT_EQ(r.usable, int(n));
    }
}

TEST(Suggestion, PlanIsInShootingOrderAndReadsBack)
{
    Plan p;
    p.layout = DefaultCandidateLayout();
    const Candidates c = CandidatesOf(p);
    for (const std::size_t n : {1u, 9u, 60u}) {
        SCOPED_TRACE(n);
        const Plan s = SuggestedPlan(p, PickPositions(c, SelectEven(c.directions, n)));
        ASSERT_FALSE(ValidatePlan(s));
        EXPECT_EQ(s.layout.kind, LayoutKind::Suggested);
        PatternLists lists;
        const std::string text = BuildPlan(s, lists);
        ASSERT_EQ(lists.positions.size(), n);
        // From the top down: elevation never rises along the file.
        for (std::size_t i = 1; i < n; ++i) {
            const nuk::Point3f &a = lists.positions[i - 1], &b = lists.positions[i];
            EXPECT_GE(a.z / a.Norm(), b.z / b.Norm() - 1e-6f);
        }
        // Every position within rounding of the view distance, in whole mm.
        for (const nuk::Point3f &q : lists.positions) {
            EXPECT_NEAR(q.Norm(), p.input.viewDistance, 1.0);
            EXPECT_EQ(q.x, std::round(q.x));
        }

        const AcquisitionRead read = ReadAcquisition(text);
        ASSERT_TRUE(read.ok) << read.error.text();
        EXPECT_EQ(read.layout.kind, LayoutKind::Suggested);
        EXPECT_EQ(read.layout.positions, s.layout.positions);
        EXPECT_EQ(read.input.viewDistance, p.input.viewDistance);
        PatternLists again;
        EXPECT_EQ(BuildLayout(read.input, read.layout, again), text);

        const PlanFileRead file = ReadPlanText(PlanText(s));
        ASSERT_TRUE(file.ok) << file.message();
        EXPECT_TRUE(file.plan == s);
    }
}

TEST(Suggestion, DamagedPlansAreRefused)
{
    Plan p;
    p.layout = DefaultCandidateLayout();
    const Candidates c = CandidatesOf(p);
    const Plan s = SuggestedPlan(p, PickPositions(c, SelectEven(c.directions, 4)));
    const struct {
        Json positions;
        const char *says;
    } cases[] = {
        {Json::array(), "from 1 to 10000 positions"},           {Json::parse("[[1, 2]]"), "[x, y, z]"},
        {Json::parse("[[1.5, 2, 3]]"), "whole numbers"},        {Json::parse("[[0, 0, 0]]"), "object's centre"},
        {Json::parse("[[9000, 0, 0]]"), "whole numbers of mm"}, {Json("all"), "a list of positions"},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.positions.dump());
        Json doc = Json::parse(PlanText(s));
        doc["layout"]["positions"] = k.positions;
        const PlanFileRead r = ReadPlanText(doc.dump());
        ASSERT_FALSE(r.ok);
        EXPECT_EQ(r.error.key, "layout.positions");
        EXPECT_NE(r.error.reason.find(k.says), std::string::npos) << r.error.reason;
    }
}
