#pragma once
// A generated stand-in for a scanned relief: a height field with ridges, a
// carved tablet or a coin seen from the front, for the coverage benchmark.

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "BenchMesh.h"
#include "nuk/Mesh/AMesh.h"

namespace benchdata
{

// n x n cells over 250 x 250 mm, two triangles each, facing +Z: a plate
// 5 mm thick at its edge with crossing ridges up to 8 mm high and a fine
// ripple, so low lights leave long shadows behind every ridge.
inline void MakeRelief(AMesh &m, int n)
{
    const float size = 250;
    const std::size_t row = static_cast<std::size_t>(n) + 1;
    m.vertices.resize(row * row);
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const double x = size * (double(i) / n - 0.5), y = size * (double(j) / n - 0.5);
            double z = 5 + 0.4 * std::sin(x / 3.0) * std::cos(y / 4.0);
            // Ridges: triangular profiles 3 mm wide along a few lines.
            const double lines[][3] = {{1, 0.3, -40}, {0.2, 1, 30}, {-0.7, 0.7, 0}, {1, -0.5, 60}, {0.1, -1, -70}};
            for (const auto &l : lines) {
                const double d = std::fabs(l[0] * x + l[1] * y + l[2]) / std::hypot(l[0], l[1]);
                z += 8 * std::max(0.0, 1 - d / 3);
            }
            AVertex &v = m.vertices[static_cast<std::size_t>(j) * row + i];
            v.flags = 0;
            v.position = nuk::Point3f(float(x), float(y), float(z));
        }
    m.faces.resize(2 * static_cast<std::size_t>(n) * n);
    std::size_t f = 0;
    auto at = [&](int i, int j) { return &m.vertices[static_cast<std::size_t>(j) * row + i]; };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            SetTriangle(m.faces[f++], at(i, j), at(i + 1, j), at(i + 1, j + 1));
            SetTriangle(m.faces[f++], at(i, j), at(i + 1, j + 1), at(i, j + 1));
        }
    FinishAsLoaded(m);
}

} // namespace benchdata
