#include "app/ModelMesh.h"

namespace
{

bool FitVertex(const AVertex *v) { return v && !v->IsDeleted() && v->IsReadable() && v->IsWritable(); }

bool FitFace(const AFace &f)
{
    if (f.IsDeleted() || !f.IsReadable() || !f.IsWritable()) return false;
    for (int j = 0; j < 3; ++j)
        if (!FitVertex(f.V(j))) return false;
    return true;
}

} // namespace

void BuildModelArrays(const AMesh &mesh, ModelArrays &out, const std::function<void(int)> &progress)
{
    out.clear();
    // The import stores only drawable faces, so this is the exact size.
    out.vertices.reserve(9 * mesh.faces.size());
    out.normals.reserve(9 * mesh.faces.size());
    const std::size_t total = mesh.faces.size();
    std::size_t done = 0;
    for (const AFace &f : mesh.faces) {
        if (progress && (done++ & 0xFFFF) == 0) progress(static_cast<int>(100.0 * double(done) / double(total)));
        if (!FitFace(f)) continue;
        const nuk::Point3f &n = f.N();
        for (int j = 0; j < 3; ++j) {
            const nuk::Point3f &p = f.V(j)->cP();
            out.vertices.insert(out.vertices.end(), {p.x, p.y, p.z});
            out.normals.insert(out.normals.end(), {n.x, n.y, n.z});
        }
    }
}

bool FitForDrawing(const AFace &f) { return FitFace(f); }
