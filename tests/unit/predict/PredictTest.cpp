// The predicted result against closed forms: a Lambertian plate and sphere
// under directional lights, whose value under a light l is a * max(0, n . l):
// photometric stereo gives n back, hemispherical harmonics (whose basis
// holds cos(theta)) relight the plate exactly, and PTM leaves the residual
// of the best quadratic in (lu, lv), worked out here by an orthogonal
// (Gram-Schmidt) least-squares fit. A grooved plate ranks plans; bad input
// gets its message.

#include <cmath>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture/Camera.h"
#include "predict/Predict.h"
#include "support/SceneMeshes.h"

namespace
{

constexpr double kPi = 3.14159265358979323846;
constexpr double kDistance = 500; // camera, mm
using P3 = nuk::Point3f;
using D3 = nuk::Point3d;

planner::Stage TestStage()
{
    planner::Stage s;
    s.floorY = -400;
    s.backdropHalf = 400;
    s.cameraZ = kDistance;
    return s;
}

capture::Camera TestCamera(int width, double focal)
{
    planner::Framing f;
    f.focalLength = focal;
    return capture::MakeCamera(f, kDistance, width, capture::DefaultHeight(f, width));
}

D3 Dir(double elevation, double azimuth)
{
    const double e = elevation * kPi / 180, a = azimuth * kPi / 180;
    return D3(std::cos(e) * std::cos(a), std::cos(e) * std::sin(a), std::sin(e));
}

// Rings of lights: {elevation, count, first azimuth, azimuth step} each.
struct Ring {
    double elevation;
    int count;
    double azimuth0, step;
};
std::vector<D3> Rings(std::initializer_list<Ring> rings)
{
    std::vector<D3> d;
    for (const Ring &r : rings)
        for (int k = 0; k < r.count; ++k)
            d.push_back(Dir(r.elevation, r.azimuth0 + k * r.step));
    return d;
}

predict::Prediction PredictDirectional(capture::SceneModel model, const capture::Camera &cam,
                                       const std::vector<D3> &dirs)
{
    std::string error;
    auto scene = capture::CaptureScene::Build(std::move(model), TestStage(), error);
    EXPECT_TRUE(scene) << error;
    if (!scene) return {};
    std::vector<P3> lights;
    for (const D3 &d : dirs)
        lights.emplace_back(float(1000 * d.x), float(1000 * d.y), float(1000 * d.z));
    predict::PredictOptions opt;
    opt.capture.samples = 1;
    opt.capture.directional = true;
    return predict::Predict(*scene, cam, lights, opt);
}

// The PTM's relighting error for a pixel whose value under l is f(l): the
// least-squares quadratic over the plan's directions by modified
// Gram-Schmidt, against f at the held-out directions, RMS over their mean.
template <class F> double PtmError(F f, const std::vector<D3> &plan, const std::vector<D3> &held)
{
    auto basis = [](const D3 &l) { return std::vector<double>{l.x * l.x, l.y * l.y, l.x * l.y, l.x, l.y, 1.0}; };
    const std::size_t n = 6, L = plan.size();
    std::vector<std::vector<double>> q(n, std::vector<double>(L));
    std::vector<std::vector<double>> r(n, std::vector<double>(n, 0.0));
    for (std::size_t k = 0; k < L; ++k)
        for (std::size_t i = 0; i < n; ++i)
            q[i][k] = basis(plan[k])[i];
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            double dot = 0;
            for (std::size_t k = 0; k < L; ++k)
                dot += q[j][k] * q[i][k];
            r[j][i] = dot;
            for (std::size_t k = 0; k < L; ++k)
                q[i][k] -= dot * q[j][k];
        }
        double len = 0;
        for (double v : q[i])
            len += v * v;
        r[i][i] = std::sqrt(len);
        for (double &v : q[i])
            v /= r[i][i];
    }
    std::vector<double> c(n, 0.0);
    for (std::size_t i = n; i-- > 0;) {
        double s = 0;
        for (std::size_t k = 0; k < L; ++k)
            s += q[i][k] * f(plan[k]);
        for (std::size_t j = i + 1; j < n; ++j)
            s -= r[i][j] * c[j];
        c[i] = s / r[i][i];
    }
    double squares = 0, sum = 0;
    for (const D3 &h : held) {
        double relit = 0;
        for (std::size_t i = 0; i < n; ++i)
            relit += c[i] * basis(h)[i];
        squares += (relit - f(h)) * (relit - f(h));
        sum += f(h);
    }
    return std::sqrt(squares / double(held.size())) / (sum / double(held.size()));
}

double Lambert(const D3 &n, const D3 &l) { return std::max(0.0, n.x * l.x + n.y * l.y + n.z * l.z); }

TEST(PredictTest, FlatPlateUnderDirectionalLights)
{
    const std::vector<std::vector<D3>> plans = {
        Rings({{30, 8, 0, 45}, {60, 6, 20, 60}, {90, 1, 0, 0}}),
        Rings({{15, 12, 5, 30}, {40, 9, 0, 40}, {70, 5, 10, 72}}),
    };
    const capture::Camera cam = TestCamera(120, 50);
    for (std::size_t c = 0; c < plans.size(); ++c) {
        testsupport::SceneMesh plate;
        plate.grid(150, 4, [](float, float) { return 5.0f; });
        const predict::Prediction r = PredictDirectional(plate.m, cam, plans[c]);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_LT(r.normals.p95, 0.05) << "plan " << c;
        EXPECT_EQ(r.litShare[2], 1.0) << "plan " << c;
        EXPECT_LT(r.relight[predict::kHsh2].p95, 2e-3) << "plan " << c;
        EXPECT_LT(r.relight[predict::kHsh3].p95, 2e-3) << "plan " << c;
        // A plate facing the camera shines sqrt(1 - lu^2 - lv^2): no quadratic.
        const double ptm = PtmError([](const D3 &l) { return l.z; }, plans[c], r.heldOut);
        EXPECT_NEAR(r.relight[predict::kPtm].median, ptm, 0.02 * ptm + 1e-3) << "plan " << c;
        EXPECT_NEAR(r.relight[predict::kPtm].p95, ptm, 0.02 * ptm + 1e-3) << "plan " << c;
    }
}

TEST(PredictTest, SpherePtmBiasGrowsTowardGrazingNormals)
{
    const std::vector<D3> plan = Rings({{20, 10, 0, 36}, {45, 8, 10, 45}, {70, 5, 0, 72}, {90, 1, 0, 0}});
    const capture::Camera cam = TestCamera(200, 200);
    const float radius = 30, cz = 40;
    testsupport::SceneMesh sphere;
    sphere.sphere(radius, cz, 96, 192);
    const predict::Prediction r = PredictDirectional(sphere.m, cam, plan);
    ASSERT_TRUE(r.ok) << r.error;
    // Pixels whose normal leans by the angle toward +x: the ray through the
    // pixel centre meets the sphere where n = (sin a, 0, cos a).
    struct Case {
        double lean;
    };
    double previous = -1;
    for (const Case &c : {Case{0}, Case{30}, Case{60}}) {
        const double a = c.lean * kPi / 180;
        const D3 n(std::sin(a), 0, std::cos(a));
        double u, v;
        ASSERT_TRUE(cam.Project({radius * n.x, 0.0, cz + radius * n.z}, u, v));
        const std::size_t p = std::size_t(v) * std::size_t(cam.width) + std::size_t(u);
        // The pixel's own normal from its centre's ray, for the closed form.
        const nuk::Point3<double> d = cam.Ray(std::floor(u) + 0.5, std::floor(v) + 0.5);
        const double oz = kDistance - cz, A = d.x * d.x + d.y * d.y + d.z * d.z, B = 2 * d.z * oz,
                     C = oz * oz - radius * radius;
        const double t = (-B - std::sqrt(B * B - 4 * A * C)) / (2 * A);
        const D3 m(t * d.x / radius, t * d.y / radius, (kDistance + t * d.z - cz) / radius);
        const double expected = PtmError([&](const D3 &l) { return Lambert(m, l); }, plan, r.heldOut);
        EXPECT_LT(r.normalError[p], 0.5) << "lean " << c.lean;
        EXPECT_NEAR(r.relightError[predict::kPtm][p], expected, 0.05 * expected + 2e-3) << "lean " << c.lean;
        EXPECT_GT(expected, previous) << "lean " << c.lean;
        previous = expected;
    }
}

TEST(PredictTest, GroovesRankOneAzimuthBelowAnEvenPlan)
{
    // V-grooves 12 mm apart and 4 mm deep along y: walls lean 33.7 degrees
    // toward +-x, and lights below that cast shadows into the grooves.
    testsupport::SceneMesh grooves;
    grooves.grid(150, 300, [](float x, float) { return 5.0f + 4.0f * std::fabs(std::remainder(x, 12.0f)) / 6.0f; });
    const capture::Camera cam = TestCamera(160, 50);
    const predict::Prediction even =
        PredictDirectional(grooves.m, cam, Rings({{25, 4, 0, 90}, {45, 4, 45, 90}, {65, 4, 0, 90}}));
    ASSERT_TRUE(even.ok) << even.error;
    // Twelve lights in the x-z plane: the 3 x 3 system of every pixel has
    // rank 2, so no pixel gets a normal.
    std::vector<D3> fan;
    for (int k = 0; k < 12; ++k)
        fan.push_back(Dir(10 + 6.5 * k, 0));
    const predict::Prediction oneAzimuth = PredictDirectional(grooves.m, cam, fan);
    ASSERT_TRUE(oneAzimuth.ok) << oneAzimuth.error;
    EXPECT_EQ(oneAzimuth.normals.above[2], 1.0);
    EXPECT_EQ(oneAzimuth.normals.median, predict::kNoNormal);
    // The even plan: shadowed samples left out, every wall keeps 3 lights or
    // more and its normal comes back.
    EXPECT_GT(even.litShare[0], 0.99);
    EXPECT_LT(even.normals.p95, 1.0);
    EXPECT_LT(even.normals.median, oneAzimuth.normals.median);
}

TEST(PredictTest, BadInput)
{
    const capture::Camera cam = TestCamera(60, 50);
    testsupport::SceneMesh behind, plate;
    behind.grid(20, 2, [](float, float) { return float(kDistance + 50); });
    plate.grid(150, 2, [](float, float) { return 5.0f; });
    struct Case {
        const char *what;
        capture::SceneModel model;
        std::vector<D3> lights;
        const char *error;
    };
    const Case cases[] = {
        {"behind the camera", behind.m, {Dir(45, 0)}, "not in the picture"},
        {"no usable light", plate.m, {}, "no usable light"},
    };
    for (const Case &c : cases) {
        const predict::Prediction r = PredictDirectional(c.model, cam, c.lights);
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_NE(r.error.find(c.error), std::string::npos) << c.what << ": " << r.error;
    }
}

TEST(PredictTest, CancelStops)
{
    testsupport::SceneMesh plate;
    plate.grid(150, 2, [](float, float) { return 5.0f; });
    std::string error;
    auto scene = capture::CaptureScene::Build(plate.m, TestStage(), error);
    ASSERT_TRUE(scene) << error;
    for (std::size_t stopAt : {1u, 50u, 100u}) {
        std::size_t calls = 0;
        const predict::Prediction r =
            predict::Predict(*scene, TestCamera(64, 50), {P3(0, 300, 900), P3(300, 0, 900), P3(0, 0, 1000)}, {},
                             [&](std::size_t, std::size_t) { return ++calls < stopAt; });
        EXPECT_TRUE(r.cancelled) << stopAt;
        EXPECT_FALSE(r.ok) << stopAt;
    }
}

TEST(PredictTest, FiguresOfKnownValues)
{
    const float nan = std::nanf("");
    struct Case {
        std::vector<float> values;
        double median, p95, above5;
    };
    const Case cases[] = {
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}, 11, 20, 16.0 / 21},
        {{nan, 4, nan, 6, 2}, 4, 6, 1.0 / 3},
    };
    for (const Case &c : cases) {
        const predict::ErrorFigures f = predict::Figures(c.values, {5.0});
        EXPECT_EQ(f.median, c.median);
        EXPECT_EQ(f.p95, c.p95);
        EXPECT_DOUBLE_EQ(f.above[0], c.above5);
    }
}

} // namespace
