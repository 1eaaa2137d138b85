#pragma once
// A generated stand-in for a scanned model: a closed sphere around the
// object's centre, for the benchmarks that need a big mesh in the view.

#include <cmath>
#include <cstddef>

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
            AFace &t0 = m.faces[f++];
            t0.flags = 0;
            t0.v[0] = vtx(r, s);
            t0.v[1] = vtx(r, s + 1);
            t0.v[2] = vtx(r + 1, s);
            AFace &t1 = m.faces[f++];
            t1.flags = 0;
            t1.v[0] = vtx(r, s + 1);
            t1.v[1] = vtx(r + 1, s + 1);
            t1.v[2] = vtx(r + 1, s);
        }
    m.vertex_count = static_cast<int>(m.vertices.size());
    m.face_count = static_cast<int>(m.faces.size());
    nuk::ComputeBoundingBox(m);
    nuk::ComputeFaceNormals(m, false);
    nuk::ComputeVertexNormals(m, false);
}

} // namespace benchdata
