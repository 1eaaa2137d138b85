// The renderer against geometry and radiometry worked out here: a plate's
// brightness against cos(incidence) / r^2, a fin's shadow h / tan(e), a
// sphere's normals, mask and depth from the ray-sphere intersection, and
// the normals a least-squares photometric-stereo fit recovers from a set.

#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture/Camera.h"
#include "capture/Capture.h"
#include "capture/CaptureScene.h"

namespace
{

constexpr double kPi = 3.14159265358979323846;
constexpr double kDistance = 500; // camera, mm
constexpr float kPlateZ = 5;

using P3 = nuk::Point3f;

struct Mesh {
    capture::SceneModel m;
    std::uint32_t point(const P3 &p)
    {
        m.positions.push_back(p);
        return std::uint32_t(m.positions.size() - 1);
    }
    void tri(std::uint32_t a, std::uint32_t b, std::uint32_t c) { m.triangles.insert(m.triangles.end(), {a, b, c}); }
    // A grid over (x, y) at height z(x, y), facing +z.
    template <class F> void grid(float half, int n, F z)
    {
        const std::uint32_t first = std::uint32_t(m.positions.size());
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) {
                const float x = -half + 2 * half * i / n, y = -half + 2 * half * j / n;
                point(P3(x, y, z(x, y)));
            }
        auto at = [&](int i, int j) { return first + std::uint32_t(j * (n + 1) + i); };
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                tri(at(i, j), at(i + 1, j), at(i + 1, j + 1));
                tri(at(i, j), at(i + 1, j + 1), at(i, j + 1));
            }
    }
};

planner::Stage TestStage()
{
    planner::Stage s;
    s.floorY = -400;
    s.backdropHalf = 400;
    s.cameraZ = kDistance;
    return s;
}

capture::Camera TestCamera(int width = 240, double focal = 50)
{
    planner::Framing f;
    f.sensorWidth = 36;
    f.sensorHeight = 24;
    f.focalLength = focal;
    return capture::MakeCamera(f, kDistance, width, capture::DefaultHeight(f, width));
}

// The light at elevation e (degrees) above the base plane, toward +y, distance d.
P3 Light(double e, double d) { return P3(0, float(d * std::cos(e * kPi / 180)), float(d * std::sin(e * kPi / 180))); }

struct Rendered {
    std::unique_ptr<capture::CaptureScene> scene;
    std::unique_ptr<capture::Renderer> renderer;
    std::vector<std::vector<float>> images;
    capture::CaptureResult result;
    float at(std::size_t light, int u, int v) const
    {
        return images[light][3 * (std::size_t(v) * std::size_t(renderer->maps().width) + std::size_t(u))];
    }
};

Rendered Render(capture::SceneModel model, const capture::Camera &cam, const std::vector<P3> &lights,
           capture::CaptureOptions opt = {})
{
    Rendered r;
    std::string error;
    r.scene = capture::CaptureScene::Build(std::move(model), TestStage(), error);
    EXPECT_TRUE(r.scene) << error;
    if (!r.scene) return r;
    r.renderer = std::make_unique<capture::Renderer>(*r.scene, cam, opt);
    EXPECT_TRUE(r.renderer->TracePrimary(nullptr, error)) << error;
    r.images.resize(lights.size());
    r.result = r.renderer->Render(
        lights,
        [&](std::size_t l, const std::vector<float> &rgb, std::string &) {
            r.images[l] = rgb;
            return true;
        },
        nullptr);
    return r;
}

capture::SceneModel Plate(float half = 150)
{
    Mesh m;
    m.grid(half, 4, [](float, float) { return kPlateZ; });
    return m.m;
}

TEST(CaptureTest, PlateFollowsCosineOverSquaredDistance)
{
    const capture::Camera cam = TestCamera();
    struct Case {
        double e1, e2, d;
    };
    const Case cases[] = {{30, 60, 400}, {15, 75, 300}, {45, 90, 600}};
    for (const Case &c : cases) {
        const std::vector<P3> lights = {Light(c.e1, c.d), Light(c.e2, c.d)};
        capture::CaptureOptions opt;
        opt.samples = 1;
        const Rendered r = Render(Plate(), cam, lights, opt);
        ASSERT_TRUE(r.result.ok) << r.result.error;
        // Pixel centres on the centre row, back onto the plate by the
        // pinhole's similar triangles: the irradiance there is
        // cos(incidence) / r^2 = (Lz - z) / r^3.
        const int v = cam.height / 2;
        auto plateAt = [&](int u) {
            const double k = cam.pitch * (kDistance - kPlateZ) / cam.focal;
            return std::pair<double, double>((u + 0.5 - 0.5 * cam.width) * k, (0.5 * cam.height - v - 0.5) * k);
        };
        auto expected = [&](const P3 &l, int u) {
            const auto [x, y] = plateAt(u);
            const double dx = l.x - x, dy = l.y - y, dz = l.z - kPlateZ;
            const double r2 = dx * dx + dy * dy + dz * dz;
            return dz / (std::sqrt(r2) * r2);
        };
        const int centre = cam.width / 2;
        for (int u : {centre, cam.width / 8, 7 * cam.width / 8}) {
            const double ratio = expected(lights[0], u) / expected(lights[1], u);
            EXPECT_NEAR(r.at(0, u, v) / r.at(1, u, v), ratio, 1e-3 * ratio) << "e " << c.e1 << "/" << c.e2 << " column " << u;
            const double falloff = expected(lights[0], u) / expected(lights[0], centre);
            EXPECT_NEAR(r.at(0, u, v) / r.at(0, centre, v), falloff, 1e-3 * falloff) << "column " << u;
        }
    }
}

TEST(CaptureTest, FinCastsShadowOfHeightOverTangent)
{
    const capture::Camera cam = TestCamera(400, 100);
    struct Case {
        double e, h;
    };
    const Case cases[] = {{30, 20}, {45, 30}, {60, 40}};
    for (const Case &c : cases) {
        capture::SceneModel model = Plate();
        Mesh fin;
        fin.m = model;
        // A fin in the x-z plane standing on the plate along y = 0.
        const auto a = fin.point(P3(-40, 0, kPlateZ)), b = fin.point(P3(40, 0, kPlateZ)),
                   d = fin.point(P3(40, 0, kPlateZ + float(c.h))), e = fin.point(P3(-40, 0, kPlateZ + float(c.h)));
        fin.tri(a, b, d);
        fin.tri(a, d, e);
        capture::CaptureOptions opt;
        opt.samples = 1;
        opt.directional = true;
        const Rendered r = Render(fin.m, cam, {Light(c.e, 1000)}, opt);
        ASSERT_TRUE(r.result.ok) << r.result.error;
        // The light comes from +y: the shadow lies on the plate from y = 0
        // down to y = -h / tan(e).
        const double length = c.h / std::tan(c.e * kPi / 180);
        double u0, v0, u1, v1;
        ASSERT_TRUE(cam.Project({0, 0, kPlateZ}, u0, v0));
        ASSERT_TRUE(cam.Project({0, -length, kPlateZ}, u1, v1));
        const int u = cam.width / 2 + 10; // off the fin's edge-on line
        int dark = 0;
        for (int v = int(v0); v < cam.height; ++v)
            if (r.at(0, u, v) < 1e-6f) ++dark;
        EXPECT_NEAR(dark, v1 - v0, 1.5) << "e " << c.e << " h " << c.h;
    }
}

capture::SceneModel Sphere(float radius, float z, int rings, int segments)
{
    Mesh m;
    for (int i = 0; i <= rings; ++i) {
        const double th = kPi * i / rings;
        for (int j = 0; j < segments; ++j) {
            const double ph = 2 * kPi * j / segments;
            // Poles on the y axis, on the silhouette, out of the way.
            m.point(P3(float(radius * std::sin(th) * std::cos(ph)), float(radius * std::cos(th)),
                       float(z + radius * std::sin(th) * std::sin(ph))));
        }
    }
    auto at = [&](int i, int j) { return std::uint32_t(i * segments + (j % segments)); };
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < segments; ++j) {
            m.tri(at(i, j), at(i + 1, j), at(i + 1, j + 1));
            m.tri(at(i, j), at(i + 1, j + 1), at(i, j + 1));
        }
    return m.m;
}

TEST(CaptureTest, SphereNormalsMaskAndDepth)
{
    const capture::Camera cam = TestCamera(200, 200);
    const float radius = 30, cz = 40;
    capture::CaptureOptions opt;
    opt.samples = 1;
    const Rendered r = Render(Sphere(radius, cz, 96, 192), cam, {Light(45, 800)}, opt);
    ASSERT_TRUE(r.result.ok) << r.result.error;
    const capture::Maps &m = r.renderer->maps();
    int checked = 0;
    for (int v = 0; v < cam.height; ++v)
        for (int u = 0; u < cam.width; ++u) {
            // The pixel centre's ray against the sphere: o + t d, |o + t d - c| = R.
            const nuk::Point3<double> d = cam.Ray(u + 0.5, v + 0.5);
            const double oz = kDistance - cz;
            const double a = d.x * d.x + d.y * d.y + d.z * d.z, b = 2 * d.z * oz, c = oz * oz - radius * radius;
            const double disc = b * b - 4 * a * c;
            const std::size_t p = std::size_t(v) * std::size_t(cam.width) + std::size_t(u);
            // Leave the silhouette's pixels alone.
            const double miss = oz * std::sqrt(d.x * d.x + d.y * d.y) / std::sqrt(a); // ray to centre
            if (std::fabs(miss - radius) < 2 * cam.pitch * oz / cam.focal) continue;
            if (disc < 0) {
                EXPECT_FALSE(m.masked(p)) << u << "," << v;
                continue;
            }
            EXPECT_TRUE(m.masked(p)) << u << "," << v;
            const double t = (-b - std::sqrt(disc)) / (2 * a);
            const double x = t * d.x, y = t * d.y, z = kDistance + t * d.z;
            const double nx = x / radius, ny = y / radius, nz = (z - cz) / radius;
            const double dot = nx * m.normal[3 * p] + ny * m.normal[3 * p + 1] + nz * m.normal[3 * p + 2];
            EXPECT_LT(std::acos(std::min(1.0, dot)) * 180 / kPi, 0.5) << u << "," << v;
            EXPECT_NEAR(m.depth[p], kDistance - z, 0.05) << u << "," << v;
            ++checked;
        }
    EXPECT_GT(checked, 1000);
}

TEST(CaptureTest, PhotometricStereoRecoversTheBumpsNormals)
{
    const capture::Camera cam = TestCamera(160, 120);
    Mesh bump;
    bump.grid(60, 120, [](float x, float y) { return kPlateZ + 12.0f * std::exp(-(x * x + y * y) / 600.0f); });
    std::vector<P3> lights;
    for (double e : {40.0, 65.0})
        for (int k = 0; k < 6; ++k) {
            const double az = (k * 60 + (e > 50 ? 30 : 0)) * kPi / 180, el = e * kPi / 180;
            lights.push_back(P3(float(std::cos(el) * std::cos(az)), float(std::cos(el) * std::sin(az)), float(std::sin(el))));
        }
    capture::CaptureOptions opt;
    opt.samples = 1;
    opt.directional = true;
    const Rendered r = Render(bump.m, cam, lights, opt);
    ASSERT_TRUE(r.result.ok) << r.result.error;
    const capture::Maps &m = r.renderer->maps();
    int solved = 0;
    double worst = 0;
    for (std::size_t p = 0; p < m.object.size(); ++p) {
        if (!m.masked(p)) continue;
        // Normal equations of min sum_k (I_k - g . l_k)^2 over the lights
        // that light the pixel at all; g = albedo * n.
        double A[3][3] = {}, y[3] = {};
        bool all = true;
        for (std::size_t k = 0; k < lights.size(); ++k) {
            const double I = r.images[k][3 * p];
            if (!(I > 0)) all = false;
            const double l[3] = {lights[k].x, lights[k].y, lights[k].z};
            for (int i = 0; i < 3; ++i) {
                y[i] += I * l[i];
                for (int j = 0; j < 3; ++j)
                    A[i][j] += l[i] * l[j];
            }
        }
        if (!all) continue;
        // Cramer's rule.
        auto det = [](double M[3][3]) {
            return M[0][0] * (M[1][1] * M[2][2] - M[1][2] * M[2][1]) - M[0][1] * (M[1][0] * M[2][2] - M[1][2] * M[2][0]) +
                   M[0][2] * (M[1][0] * M[2][1] - M[1][1] * M[2][0]);
        };
        const double D = det(A);
        double g[3];
        for (int c = 0; c < 3; ++c) {
            double M[3][3];
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    M[i][j] = j == c ? y[i] : A[i][j];
            g[c] = det(M) / D;
        }
        const double len = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
        const double dot = (g[0] * m.normal[3 * p] + g[1] * m.normal[3 * p + 1] + g[2] * m.normal[3 * p + 2]) / len;
        worst = std::max(worst, std::acos(std::min(1.0, dot)) * 180 / kPi);
        ++solved;
    }
    EXPECT_GT(solved, 2000);
    EXPECT_LT(worst, 1.0);
}

TEST(CaptureTest, SameRunTwiceGivesTheSameImages)
{
    const capture::Camera cam = TestCamera(120);
    Mesh bump;
    bump.grid(60, 40, [](float x, float y) { return kPlateZ + 10.0f * std::exp(-(x * x + y * y) / 300.0f); });
    capture::CaptureOptions opt;
    opt.threads = 2;
    const std::vector<P3> lights = {Light(20, 500), Light(50, 500), Light(80, 500)};
    const Rendered a = Render(bump.m, cam, lights, opt), b = Render(bump.m, cam, lights, opt);
    ASSERT_TRUE(a.result.ok && b.result.ok);
    EXPECT_EQ(a.images, b.images);
    EXPECT_EQ(a.result.exposure, b.result.exposure);
    // The exposure: the brightest 0.5 % of the lit object pixels reach 0.95.
    std::vector<float> lit;
    const capture::Maps &m = a.renderer->maps();
    for (const auto &img : a.images)
        for (std::size_t p = 0; p < m.object.size(); ++p)
            if (m.masked(p) && img[3 * p] > 0) lit.push_back(img[3 * p]);
    std::size_t above = 0;
    for (float v : lit)
        if (v > 0.95f * 1.0001f) ++above;
    EXPECT_LE(above, std::size_t(std::ceil(0.005 * double(lit.size()))));
    EXPECT_GE(above + 1, std::size_t(0.005 * double(lit.size())));
}

TEST(CaptureTest, BadInputs)
{
    const capture::Camera cam = TestCamera(80);
    struct Case {
        const char *what;
        capture::SceneModel model;
        std::vector<P3> lights;
        const char *error;
    };
    Mesh behind;
    behind.grid(20, 2, [](float, float) { return float(kDistance + 50); });
    const Case cases[] = {
        {"behind the camera", behind.m, {Light(45, 500)}, "not in the picture"},
        {"no light", Plate(), {}, "no light"},
        {"light behind the backdrop", Plate(), {P3(0, 0, -300)}, "no light reaches"},
    };
    for (const Case &c : cases) {
        const Rendered r = Render(c.model, cam, c.lights);
        EXPECT_FALSE(r.result.ok) << c.what;
        EXPECT_NE(r.result.error.find(c.error), std::string::npos) << c.what << ": " << r.result.error;
    }
}

} // namespace

namespace
{

TEST(CaptureTest, ProgressCountsAndCancels)
{
    const capture::Camera cam = TestCamera(64);
    std::string error;
    auto scene = capture::CaptureScene::Build(Plate(), TestStage(), error);
    ASSERT_TRUE(scene) << error;
    capture::CaptureOptions opt;
    opt.threads = 2;
    capture::Renderer r(*scene, cam, opt);
    ASSERT_TRUE(r.TracePrimary(nullptr, error)) << error;
    const std::vector<P3> lights = {Light(30, 400), Light(60, 400), Light(80, 400)};
    struct Case {
        std::size_t stopAfter; // calls answered true; 0: never stop
        bool cancelled;
    };
    for (const Case &c : {Case{0, false}, Case{1, true}, Case{4, true}}) {
        std::size_t calls = 0, last = 0, total = 0;
        std::atomic<std::size_t> images{0};
        const capture::CaptureResult res = r.Render(
            lights,
            [&](std::size_t, const std::vector<float> &, std::string &) {
                ++images;
                return true;
            },
            [&](std::size_t done, std::size_t all) {
                EXPECT_EQ(done, last + 1);
                last = done;
                total = all;
                return c.stopAfter == 0 || ++calls < c.stopAfter;
            });
        EXPECT_EQ(res.cancelled, c.cancelled) << c.stopAfter;
        EXPECT_EQ(res.ok, !c.cancelled) << c.stopAfter;
        if (!c.cancelled) {
            EXPECT_EQ(last, total);
            EXPECT_EQ(images, lights.size());
        } else {
            EXPECT_LT(images, lights.size());
        }
    }
}

} // namespace
