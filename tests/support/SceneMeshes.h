#pragma once
// Small scenes for the renderer's tests, in the plan's frame (mm): height
// fields over a square and a tessellated sphere, as capture::SceneModel.
// Header-only, so only the tests that render need the renderer.

#include <cmath>
#include <cstdint>

#include "capture/CaptureScene.h"

namespace testsupport
{

struct SceneMesh {
    capture::SceneModel m;
    std::uint32_t point(const nuk::Point3f &p)
    {
        m.positions.push_back(p);
        return std::uint32_t(m.positions.size() - 1);
    }
    void tri(std::uint32_t a, std::uint32_t b, std::uint32_t c) { m.triangles.insert(m.triangles.end(), {a, b, c}); }
    // n x n cells over +-half in x and y at height z(x, y), facing +z.
    template <class F> SceneMesh &grid(float half, int n, F z)
    {
        const std::uint32_t first = std::uint32_t(m.positions.size());
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) {
                const float x = -half + 2 * half * i / n, y = -half + 2 * half * j / n;
                point(nuk::Point3f(x, y, z(x, y)));
            }
        auto at = [&](int i, int j) { return first + std::uint32_t(j * (n + 1) + i); };
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                tri(at(i, j), at(i + 1, j), at(i + 1, j + 1));
                tri(at(i, j), at(i + 1, j + 1), at(i, j + 1));
            }
        return *this;
    }
    // A sphere of radius r about (0, 0, cz), its poles on the y axis (on the
    // silhouette, out of the way).
    SceneMesh &sphere(float r, float cz, int rings, int segments)
    {
        const double pi = 3.14159265358979323846;
        const std::uint32_t first = std::uint32_t(m.positions.size());
        for (int i = 0; i <= rings; ++i) {
            const double th = pi * i / rings;
            for (int j = 0; j < segments; ++j) {
                const double ph = 2 * pi * j / segments;
                point(nuk::Point3f(float(r * std::sin(th) * std::cos(ph)), float(r * std::cos(th)),
                                   float(cz + r * std::sin(th) * std::sin(ph))));
            }
        }
        auto at = [&](int i, int j) { return first + std::uint32_t(i * segments + (j % segments)); };
        for (int i = 0; i < rings; ++i)
            for (int j = 0; j < segments; ++j) {
                tri(at(i, j), at(i + 1, j), at(i + 1, j + 1));
                tri(at(i, j), at(i + 1, j + 1), at(i, j + 1));
            }
        return *this;
    }
};

} // namespace testsupport
