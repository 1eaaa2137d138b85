#pragma once
// A generated stand-in for a scanned model: a closed sphere around the
// object's centre, for the benchmarks that need a big mesh in the view.

#include <cmath>
#include <cstddef>

#include "BenchMesh.h"
#include "nuk/Mesh/AMesh.h"

namespace benchdata
{

// A sphere of radius 600 around the object's centre, rings x segments
// quads of two triangles each.
inline void MakeSphere(AMesh &m, int rings, int segments)
{
    const double pi = std::acos(-1.0);
    m.vertices.resize(static_cast<std::size_t>(rings + 1) * segments);
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const double a = pi * r / rings, b = 2 * pi * s / segments;
            AVertex &v = m.vertices[static_cast<std::size_t>(r) * segments + s];
            v.flags = 0;
            v.position = nuk::Point3f(float(600 * std::sin(a) * std::cos(b)), float(600 * std::cos(a)),
                                      float(600 * std::sin(a) * std::sin(b)));
        }
    m.faces.resize(static_cast<std::size_t>(2) * rings * segments);
    std::size_t f = 0;
    auto vtx = [&](int r, int s) { return &m.vertices[static_cast<std::size_t>(r) * segments + (s % segments)]; };
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            SetTriangle(m.faces[f++], vtx(r, s), vtx(r, s + 1), vtx(r + 1, s));
            SetTriangle(m.faces[f++], vtx(r, s + 1), vtx(r + 1, s + 1), vtx(r + 1, s));
        }
    FinishAsLoaded(m);
}

} // namespace benchdata
