#pragma once
// What the generated models share: their triangles, and the mesh as the
// window has it after a load.

#include <cstddef>

#include "nuk/Mesh/AMesh.h"

namespace benchdata
{

inline void SetTriangle(AFace &f, AVertex *a, AVertex *b, AVertex *c)
{
    f.flags = 0;
    f.v[0] = a;
    f.v[1] = b;
    f.v[2] = c;
}

// Counts, box and raw normals, as the window's mesh after a load.
inline void FinishAsLoaded(AMesh &m)
{
    m.vertex_count = static_cast<int>(m.vertices.size());
    m.face_count = static_cast<int>(m.faces.size());
    nuk::ComputeBoundingBox(m);
    nuk::ComputeFaceNormals(m, false);
    nuk::ComputeVertexNormals(m, false);
}

// The mesh's own size: its two sequences.
inline std::size_t MeshBytes(const AMesh &m)
{
    return m.vertices.capacity() * sizeof(AVertex) + m.faces.capacity() * sizeof(AFace);
}

} // namespace benchdata
