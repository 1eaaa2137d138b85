#include "app/StandIn.h"

#include <cmath>
#include <limits>
#include <new>

#include <meshoptimizer.h>

#include "app/ModelMesh.h"

namespace standin
{
namespace
{

bool Cancelled(const std::atomic<bool> *cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

bool Finite(const nuk::Point3f &p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

template <class T> void Free(std::vector<T> &v) { std::vector<T>().swap(v); }

} // namespace

bool CopyInput(const AMesh &mesh, Input &in, const std::atomic<bool> *cancel)
{
    try {
        Free(in.indices);
        Free(in.positions);
        const std::size_t nv = mesh.vertices.size();
        if (nv >= std::numeric_limits<unsigned int>::max()) return false;
        const AVertex *base = mesh.vertices.data();
        // Only the vertices the faces use, so stray points of a file (unused,
        // deleted) neither widen the simplifier's grid nor cost memory.
        constexpr unsigned int kUnused = std::numeric_limits<unsigned int>::max();
        std::vector<unsigned int> remap(nv, kUnused);
        in.indices.resize(3 * mesh.faces.size());
        in.positions.reserve(3 * nv);
        unsigned int *out = in.indices.data();
        unsigned int used = 0;
        std::size_t seen = 0;
        for (const AFace &f : mesh.faces) {
            if ((++seen & 0xFFFF) == 0 && Cancelled(cancel)) return false;
            if (!FitForDrawing(f)) continue;
            bool usable = true;
            for (int j = 0; j < 3; ++j) {
                const AVertex *v = f.v[j];
                usable = usable && v >= base && v < base + nv && Finite(v->position);
            }
            if (!usable) continue;
            for (int j = 0; j < 3; ++j) {
                unsigned int &k = remap[static_cast<std::size_t>(f.v[j] - base)];
                if (k == kUnused) {
                    k = used++;
                    const nuk::Point3f &p = f.v[j]->position;
                    in.positions.insert(in.positions.end(), {p.x, p.y, p.z});
                }
                *out++ = k;
            }
        }
        in.indices.resize(static_cast<std::size_t>(out - in.indices.data()));
        in.indices.shrink_to_fit();
        in.positions.shrink_to_fit();
        return !Cancelled(cancel);
    } catch (const std::bad_alloc &) {
        Free(in.indices);
        Free(in.positions);
        return false;
    }
}

bool Simplify(Input &&in, std::size_t budget, ModelArrays &out, const std::atomic<bool> *cancel)
{
    out.clear();
    Input own = std::move(in);
    if (own.face_count() <= budget || budget == 0 || Cancelled(cancel)) return false;
    try {
        const std::size_t vertexCount = own.positions.size() / 3;
        // The simplifier may need room for every index it was given.
        std::vector<unsigned int> kept(own.indices.size());
        std::size_t target = 3 * budget;
        std::size_t n = 0;
        // The grid size is searched for the largest that fits the budget;
        // the error bound is left wide open so the budget alone decides.
        // Should a result ever come out above the budget, ask for half.
        for (int attempt = 0; attempt < 2; ++attempt) {
            n = meshopt_simplifySloppy(kept.data(), own.indices.data(), own.indices.size(), own.positions.data(),
                                       vertexCount, 3 * sizeof(float), target, 1.0f, nullptr);
            if (n <= 3 * budget) break;
            target /= 2;
        }
        Free(own.indices);
        kept.resize(n);
        kept.shrink_to_fit();
        if (n > 3 * budget || n == 0 || Cancelled(cancel)) return false;

        out.vertices.reserve(3 * n);
        out.normals.reserve(3 * n);
        for (std::size_t i = 0; i < n; i += 3) {
            if ((i & 0xFFFF) == 0 && Cancelled(cancel)) {
                out.clear();
                return false;
            }
            nuk::Point3f p[3];
            for (int j = 0; j < 3; ++j) {
                const float *q = &own.positions[3 * std::size_t(kept[i + j])];
                p[j] = nuk::Point3f(q[0], q[1], q[2]);
            }
            const nuk::Point3f nrm = (p[1] - p[0]) ^ (p[2] - p[0]);
            for (int j = 0; j < 3; ++j) {
                out.vertices.insert(out.vertices.end(), {p[j].x, p[j].y, p[j].z});
                out.normals.insert(out.normals.end(), {nrm.x, nrm.y, nrm.z});
            }
        }
        return true;
    } catch (const std::bad_alloc &) {
        out.clear();
        return false;
    }
}

bool Build(const AMesh &mesh, std::size_t budget, ModelArrays &out)
{
    out.clear();
    Input in;
    return CopyInput(mesh, in) && Simplify(std::move(in), budget, out);
}

} // namespace standin
