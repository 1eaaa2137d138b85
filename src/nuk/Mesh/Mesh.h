#pragma once
// The triangle mesh container and the operations on it.
//
// Mesh<VertexContainer, FaceContainer> owns its vertices, faces, the texture
// names and the camera of the last imported file, all by value. Faces point
// into `vertices`, so the mesh can be moved (the storage moves with it) but
// not copied.
//
//   ComputeBoundingBox(mesh)              box of the live, usable vertices
//   ComputeFaceNormals(mesh, normalize)   cross product (p1 - p0) x (p2 - p0);
//                                         raw length is twice the area
//   ComputeVertexNormals(mesh, normalize) sum of the normals of the faces
//                                         around each vertex; run
//                                         ComputeFaceNormals first
//
// The window calls them in that order after LoadPly (MeshPly.h), with
// normalize = false, and draws faces 0 .. face_count - 1 of `faces`.

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "nuk/Box3.h"
#include "nuk/Mesh/FaceBase.h"
#include "nuk/Mesh/VertexBase.h"
#include "nuk/Point2.h"
#include "nuk/Point3.h"

namespace nuk
{

// Camera record that a PLY file may carry in its "camera" element.
struct MeshCamera {
    Point3f view_p{0, 0, 0};
    Point3f x_axis{0, 0, 0};
    Point3f y_axis{0, 0, 0};
    Point3f z_axis{0, 0, 0};
    float focal = 0;
    Point2f scale{0, 0};
    Point2f center{0, 0};
    Point2i viewport{0, 0};
    float k[4] = {0, 0, 0, 0};
    bool valid = false; // a camera record was read by the last import
};

template <class VertContainerT, class FaceContainerT> class Mesh
{
public:
    using VertexContainer = VertContainerT;
    using FaceContainer = FaceContainerT;
    using VertexType = typename VertContainerT::value_type;
    using FaceType = typename FaceContainerT::value_type;
    using ScalarType = typename VertexType::ScalarType;
    using BoxType = Box3<ScalarType>;

    VertexContainer vertices;                  // in file order
    int vertex_count = 0;                      // vertices without DELETED, counted by the last successful import
    FaceContainer faces;                       // in file order
    int face_count = 0;                        // faces without DELETED, counted by the last successful import
    BoxType box;                               // valid after ComputeBoundingBox
    int error = 0;                             // code of the last import, 0 for none (plylib's message table)
    std::vector<std::string> texture_files;    // from the last imported file's header
    std::vector<std::string> normal_map_files; // likewise
    MeshCamera camera;                         // likewise

    Mesh() = default;
    Mesh(const Mesh &) = delete;
    Mesh &operator=(const Mesh &) = delete;
    Mesh(Mesh &&) = default;
    Mesh &operator=(Mesh &&) = default;
};

namespace detail
{

// Single-precision normalisation: the squared length and its root are each
// rounded to float, a zero vector stays zero.
template <class T> inline void NormalizeSingle(Point3<T> &n)
{
    const float sq = static_cast<float>(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
    const float len = std::sqrt(sq);
    if (len > 0) {
        n.x /= len;
        n.y /= len;
        n.z /= len;
    }
}

} // namespace detail

template <class MeshType> void ComputeBoundingBox(MeshType &m)
{
    m.box.SetNull();
    for (auto &v : m.vertices)
        if (!v.IsDeleted() && v.IsUsable()) m.box.Add(v.P());
}

template <class MeshType> void ComputeFaceNormals(MeshType &m, bool normalize)
{
    using FaceType = typename MeshType::FaceType;
    if constexpr (FaceType::HasFaceNormal()) {
        for (auto &f : m.faces) {
            if (f.IsDeleted()) continue;
            const auto &p0 = f.V(0)->cP();
            const auto &p1 = f.V(1)->cP();
            const auto &p2 = f.V(2)->cP();
            auto n = (p1 - p0) ^ (p2 - p0);
            if (normalize) detail::NormalizeSingle(n);
            f.N() = n;
        }
    }
}

template <class MeshType> void ComputeVertexNormals(MeshType &m, bool normalize)
{
    using VertexType = typename MeshType::VertexType;
    using FaceType = typename MeshType::FaceType;
    if constexpr (VertexType::HasNormal() && FaceType::HasFaceNormal()) {
        using NormalType = typename VertexType::NormalType;
        for (auto &v : m.vertices)
            if (!v.IsDeleted() && v.IsUsable()) v.N() = NormalType(0, 0, 0);
        for (auto &f : m.faces) {
            if (f.IsDeleted() || !f.IsReadable()) continue;
            const auto n = f.N();
            for (int j = 0; j < 3; ++j) {
                VertexType *v = f.V(j);
                if (!v->IsDeleted() && v->IsReadable() && v->IsWritable()) v->N() += n;
            }
        }
        if (normalize)
            for (auto &v : m.vertices)
                if (!v.IsDeleted() && v.IsUsable()) detail::NormalizeSingle(v.N());
    }
}

} // namespace nuk
