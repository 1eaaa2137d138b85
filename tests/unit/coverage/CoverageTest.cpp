// The coverage analysis against shapes whose answers follow from geometry:
// a plate facing the camera, a wall and its shadow, a lid hiding part of a
// plate, a plate facing away, and inputs with nothing to work on.

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "MeshBuild.h"
#include "coverage/Coverage.h"
#include "coverage/CoverageScene.h"
#include "planner/Pattern.h"

using coverage::Analyse;
using coverage::CoverageInput;
using coverage::CoverageResult;
using coverage::CoverageScene;
using coverage::ModelGeometry;
using nuk::Point3f;

namespace
{

const double kPi = std::acos(-1.0);

std::unique_ptr<CoverageScene> SceneOf(const meshbuild::Builder &b)
{
    const auto mesh = b.build();
    std::string error;
    auto scene = CoverageScene::Build(ModelGeometry::FromMesh(*mesh), error);
    EXPECT_TRUE(scene) << error;
    return scene;
}

// A square plate of side `side` centred on the axis at z, facing +Z (or -Z).
meshbuild::Builder Plate(float side, int cells, float z = 0, bool facingCamera = true)
{
    meshbuild::Builder b;
    const float h = side / 2;
    if (facingCamera)
        b.grid(Point3f(-h, -h, z), Point3f(side, 0, 0), Point3f(0, side, 0), cells, cells);
    else
        b.grid(Point3f(-h, -h, z), Point3f(0, side, 0), Point3f(side, 0, 0), cells, cells);
    return b;
}

std::vector<Point3f> DefaultPlan()
{
    planner::PatternLists lists;
    planner::BuildPattern(planner::PatternInput(), lists);
    return lists.positions;
}

// The index of the geometry vertex nearest to p.
std::size_t VertexAt(const CoverageScene &s, const Point3f &p)
{
    std::size_t best = 0;
    float d = std::numeric_limits<float>::max();
    for (std::size_t i = 0; i < s.geometry().positions.size(); ++i) {
        const float e = (s.geometry().positions[i] - p).Norm();
        if (e < d) d = e, best = i;
    }
    return best;
}

} // namespace

// Every position in front of a plate that faces the camera lights all of it;
// positions in its plane or behind it light nothing, and are the ones to drop.
TEST(Coverage, FlatPlateIsLitByEveryPositionInFrontOfIt)
{
    for (const bool fit : {false, true}) {
        SCOPED_TRACE(fit ? "fitted to the object" : "own coordinates");
        const auto scene = SceneOf(Plate(100, 10));
        CoverageInput in;
        in.positions = DefaultPlan();
        // In front of the backdrop but behind the fitted plate (z = 10),
        // then in front of both, then behind the backdrop.
        in.positions.insert(in.positions.end(), {Point3f(0, 0, 5), Point3f(30, -20, 20), Point3f(0, 100, -50)});
        const float plateZ = fit ? coverage::kPlateZ : 0.0f;
        const double side = fit ? 250.0 : 100.0;
        if (fit) in.placement = coverage::FitToObject(scene->geometry().box, 250);

        const CoverageResult r = Analyse(*scene, in);
        ASSERT_FALSE(r.cancelled);
        EXPECT_EQ(r.samples, 121u);
        EXPECT_EQ(r.visibleSamples, 121u);
        EXPECT_NEAR(r.visibleArea, side * side, 1e-3 * side * side);
        EXPECT_NEAR(r.modelArea, side * side, 1e-3 * side * side);
        EXPECT_EQ(r.usablePositions, in.positions.size());

        int inFront = 0;
        std::vector<std::size_t> behind;
        for (std::size_t i = 0; i < in.positions.size(); ++i) {
            const bool lights = in.positions[i].z > plateZ;
            inFront += lights;
            if (!lights) behind.push_back(i);
            EXPECT_NEAR(r.positions[i].litShare, lights ? 1.0 : 0.0, 1e-6) << "position " << i;
        }
        EXPECT_EQ(r.weakPositions, behind);
        for (std::int32_t n : r.lights)
            EXPECT_EQ(n, inFront);
        EXPECT_NEAR(r.bandShare[coverage::kBandHsh], 1.0, 1e-9);
        EXPECT_GT(r.segments, 0u);
    }
}

// A wall of height h on a plate: a light at elevation e above the wall's top
// edge throws a shadow h / tan(e) long behind it across the plate's width.
TEST(Coverage, WallShadowIsHeightOverTangentOfElevation)
{
    const float side = 100, h = 10;
    meshbuild::Builder b = Plate(side, 200);
    // A sheet across the whole plate at y = 0, facing +Y: seen edge-on by
    // the camera on the axis, so only the plate counts.
    b.quad(Point3f(60, 0, 0), Point3f(-60, 0, 0), Point3f(-60, 0, h), Point3f(60, 0, h));
    const auto scene = SceneOf(b);

    CoverageInput in;
    const double elevations[] = {30, 60};
    for (double e : elevations) {
        const double a = e * kPi / 180, far = 5000;
        in.positions.push_back(Point3f(0, float(-far * std::cos(a)), float(h + far * std::sin(a))));
    }
    const CoverageResult r = Analyse(*scene, in);
    ASSERT_NEAR(r.visibleArea, side * side, 1.0);
    for (std::size_t i = 0; i < 2; ++i) {
        const double shadow = h / std::tan(elevations[i] * kPi / 180);
        const double want = (side * side - side * shadow) / (side * side);
        // One row of samples either way at each edge of the shadow.
        EXPECT_NEAR(r.positions[i].litShare, want, 0.006) << elevations[i] << " degrees";
    }
    // Between the two shadows' ends only the steeper light reaches.
    const double between = 0.5 * (h / std::tan(kPi / 6) + h / std::tan(kPi / 3));
    EXPECT_EQ(r.lights[VertexAt(*scene, Point3f(0, float(between), 0))], 1);
    EXPECT_EQ(r.lights[VertexAt(*scene, Point3f(20, -20, 0))], 2);
}

// A lid over part of a plate hides what lies under it from the camera:
// hidden samples count neither in the visible area nor in any share.
TEST(Coverage, SamplesHiddenFromTheCameraDoNotCount)
{
    const float side = 100, lid = 20, z0 = 20, camera = 1000;
    meshbuild::Builder b = Plate(side, 200);
    const float l = lid / 2;
    b.quad(Point3f(-l, -l, z0), Point3f(l, -l, z0), Point3f(l, l, z0), Point3f(-l, l, z0));
    const auto scene = SceneOf(b);

    CoverageInput in;
    in.cameraDistance = camera;
    in.positions = {Point3f(0, 0, camera), Point3f(0, 0, 1.5f * camera)};
    const CoverageResult r = Analyse(*scene, in);
    // The lid's outline seen from the camera, cast onto the plate.
    const double hiddenSide = lid * camera / (camera - z0);
    const double want = side * side - hiddenSide * hiddenSide + lid * lid;
    EXPECT_NEAR(r.visibleArea, want, 20.0);
    EXPECT_LT(r.visibleArea, side * side - 10); // far from ignoring the hidden part
    // Lights at the camera light all that the camera sees, and nothing else.
    EXPECT_NEAR(r.positions[0].litShare, 1.0, 1e-9);
    EXPECT_NEAR(r.positions[1].litShare, 1.0, 1e-9);
    EXPECT_EQ(r.lights[VertexAt(*scene, Point3f(0, 0, 0))], coverage::kNotSeen);
    EXPECT_EQ(r.lights[VertexAt(*scene, Point3f(30, 30, 0))], 2);
    EXPECT_EQ(r.lights[VertexAt(*scene, Point3f(0, 0, z0))], 2);
}

// A plate turned away from the camera: nothing is visible, every figure is
// zero and nothing is divided by zero.
TEST(Coverage, NothingVisibleGivesZeroesNotNaN)
{
    const auto scene = SceneOf(Plate(100, 10, 0, false));
    CoverageInput in;
    in.positions = DefaultPlan();
    const CoverageResult r = Analyse(*scene, in);
    EXPECT_EQ(r.samples, 121u);
    EXPECT_EQ(r.visibleSamples, 0u);
    EXPECT_EQ(r.visibleArea, 0.0);
    EXPECT_NEAR(r.modelArea, 10000.0, 1.0);
    for (double s : r.bandShare)
        EXPECT_EQ(s, 0.0);
    for (const auto &p : r.positions) {
        EXPECT_EQ(p.litShare, 0.0);
        EXPECT_EQ(p.litArea, 0.0);
    }
    for (std::int32_t n : r.lights)
        EXPECT_EQ(n, coverage::kNotSeen);
}

// Inputs with nothing to work on give clear, empty figures.
TEST(Coverage, EmptyOrUnusableInputGivesClearResults)
{
    struct Case {
        const char *name;
        meshbuild::Builder mesh;
        std::vector<Point3f> positions;
        std::vector<bool> usable;
        std::size_t samples, visible, usablePositions;
    };
    meshbuild::Builder empty, pointsOnly, degenerate;
    pointsOnly.point(Point3f(0, 0, 0));
    pointsOnly.point(Point3f(1, 0, 0));
    const int a = degenerate.point(Point3f(0, 0, 0)), b = degenerate.point(Point3f(1, 1, 0)),
              c = degenerate.point(Point3f(2, 2, 0));
    degenerate.triangle(a, b, c); // on one line
    degenerate.triangle(a, a, b); // a corner twice
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<Point3f> plan = {Point3f(0, 0, 500), Point3f(100, 0, 500)};
    const Case cases[] = {
        {"empty model", empty, plan, {}, 0, 0, 2},
        {"vertices without faces", pointsOnly, plan, {}, 0, 0, 2},
        {"degenerate faces only", degenerate, plan, {}, 0, 0, 2},
        {"no positions", Plate(10, 2), {}, {}, 9, 9, 0},
        {"no usable position", Plate(10, 2), plan, {false, false}, 9, 9, 0},
        {"positions not finite", Plate(10, 2), {Point3f(nan, 0, 1), Point3f(0, 0, -nan)}, {}, 9, 9, 0},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        const auto scene = SceneOf(k.mesh);
        ASSERT_TRUE(scene);
        CoverageInput in;
        in.positions = k.positions;
        in.usable = k.usable;
        const CoverageResult r = Analyse(*scene, in);
        EXPECT_FALSE(r.cancelled);
        EXPECT_EQ(r.samples, k.samples);
        EXPECT_EQ(r.visibleSamples, k.visible);
        EXPECT_EQ(r.usablePositions, k.usablePositions);
        EXPECT_EQ(r.positions.size(), k.positions.size());
        for (const auto &p : r.positions) {
            EXPECT_FALSE(std::isnan(p.litShare));
            EXPECT_EQ(p.usable, k.usablePositions > 0);
        }
        double total = 0;
        for (double s : r.bandShare) {
            EXPECT_FALSE(std::isnan(s));
            total += s;
        }
        // What the camera sees and nothing lights is all in the first band.
        EXPECT_NEAR(total, k.visible ? 1.0 : 0.0, 1e-9);
        if (k.visible) {
            EXPECT_NEAR(r.bandShare[coverage::kBandNone], 1.0, 1e-9);
        }
        for (std::int32_t n : r.lights)
            EXPECT_LE(n, 0);
    }
}

// Positions left out by the mask light nothing and are not counted, nor
// offered for dropping.
TEST(Coverage, MaskedPositionsDoNotCount)
{
    const auto scene = SceneOf(Plate(10, 2));
    CoverageInput in;
    in.positions = {Point3f(0, 0, 500), Point3f(0, 300, 400), Point3f(0, 0, -500)};
    in.usable = {true, false, true};
    const CoverageResult r = Analyse(*scene, in);
    EXPECT_EQ(r.usablePositions, 2u);
    EXPECT_FALSE(r.positions[1].usable);
    EXPECT_EQ(r.positions[1].litShare, 0.0);
    EXPECT_EQ(r.weakPositions, std::vector<std::size_t>{2});
    for (std::int32_t n : r.lights)
        EXPECT_EQ(n, 1);
}

// Any number of threads gives the same counts; a progress callback sees
// the work advance and can stop it.
TEST(Coverage, ThreadsAgreeAndProgressCanCancel)
{
    meshbuild::Builder b = Plate(100, 60);
    b.quad(Point3f(40, -10, 0), Point3f(-40, -10, 0), Point3f(-40, -10, 15), Point3f(40, -10, 15));
    const auto scene = SceneOf(b);
    CoverageInput in;
    in.positions = DefaultPlan();
    in.threads = 1;
    std::vector<double> seen;
    const CoverageResult one = Analyse(*scene, in, [&](double d) {
        seen.push_back(d);
        return true;
    });
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 1.0);
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_LE(seen[i - 1], seen[i]);
    in.threads = 4;
    const CoverageResult four = Analyse(*scene, in);
    EXPECT_EQ(one.lights, four.lights);
    EXPECT_NEAR(one.visibleArea, four.visibleArea, 1e-6 * one.visibleArea);

    int calls = 0;
    in.threads = 1;
    const CoverageResult stopped = Analyse(*scene, in, [&](double) { return ++calls < 1; });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(calls, 1);
    EXPECT_LT(stopped.visibleSamples, one.visibleSamples);
}

// The geometry keeps the faces the view draws, in its order, and each
// vertex carries a third of the area of its faces.
TEST(CoverageScene, GeometryAndSamplesFollowTheDrawnFaces)
{
    meshbuild::Builder b;
    const int p0 = b.point(Point3f(0, 0, 0)), p1 = b.point(Point3f(4, 0, 0)), p2 = b.point(Point3f(0, 3, 0)),
              p3 = b.point(Point3f(4, 3, 0)), unused = b.point(Point3f(9, 9, 9)), p5 = b.point(Point3f(7, 7, 7));
    b.triangle(p0, p1, p2); // area 6
    b.triangle(p1, p5, p2); // dropped below
    b.triangle(p1, p3, p2); // area 6
    auto mesh = b.build();
    mesh->faces[1].flags = nuk::DELETED;
    (void)unused;

    const ModelGeometry g = ModelGeometry::FromMesh(*mesh);
    ASSERT_EQ(g.faceCount(), 2u);
    EXPECT_EQ(g.positions.size(), 4u);
    EXPECT_EQ(g.vertexIndex[std::size_t(unused)], ModelGeometry::kUnused);
    EXPECT_EQ(g.vertexIndex[std::size_t(p5)], ModelGeometry::kUnused);
    const int order[] = {p0, p1, p2, p1, p3, p2};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(g.positions[g.triangles[std::size_t(k)]], mesh->vertices[std::size_t(order[k])].position);

    std::string error;
    const auto scene = CoverageScene::Build(ModelGeometry::FromMesh(*mesh), error);
    ASSERT_TRUE(scene) << error;
    const auto area = [&](int v) { return scene->areas()[scene->geometry().vertexIndex[std::size_t(v)]]; };
    EXPECT_FLOAT_EQ(area(p0), 2.0f);
    EXPECT_FLOAT_EQ(area(p1), 4.0f);
    EXPECT_FLOAT_EQ(area(p2), 4.0f);
    EXPECT_FLOAT_EQ(area(p3), 2.0f);
    EXPECT_EQ(scene->normals()[0], Point3f(0, 0, 1));
    EXPECT_DOUBLE_EQ(scene->totalArea(), 12.0);
    // The segment queries see the faces, and only between the end points.
    EXPECT_TRUE(scene->Occluded(Point3f(1, 1, 1), Point3f(1, 1, -1)));
    EXPECT_FALSE(scene->Occluded(Point3f(1, 1, 1), Point3f(1, 1, 0.5f)));
    EXPECT_FALSE(scene->Occluded(Point3f(5, 1, 1), Point3f(5, 1, -1)));
}
