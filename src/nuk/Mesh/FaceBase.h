#pragma once
// Triangle element of the mesh.
//
// FaceAN<Vertex, TexCoord>: three corner references, a flag word and a face
// normal, in that order. The corners point straight into the mesh's vertex
// storage; they are not indices.
//
// Accessors:
//   V(j)        corner j, j in 0..2          checks DELETED, NOTREAD, NOTWRITE, j>=0, j<size()
//   N()         face normal                  no check
//   Flags()     flag word                    no check
//   Q(), C(), WC(j), WT(j)  quality, colour, corner colour and corner texture
//               coordinate: not carried, always fail
// Queries (no check): IsDeleted, IsReadable, IsWritable. Compile-time answers:
// HasFaceNormal, HasFaceQuality, HasFaceColor, HasWedgeColor, HasWedgeTexCoord.

#include <cstdint>
#include <cstdlib>

#include "nuk/Assert.h"
#include "nuk/Mesh/Flags.h"
#include "nuk/Point3.h"
#include "nuk/tools/ColorUB.h"

namespace nuk
{

template <class VertexT, class TCoordT> class FaceAN
{
public:
    using VertexType = VertexT;
    using TexCoordType = TCoordT;
    using ScalarType = typename TCoordT::ScalarType;
    using NormalType = Point3<ScalarType>;

    VertexType *v[3] = {nullptr, nullptr, nullptr};
    std::int32_t flags = 0;
    NormalType normal;

    static constexpr int size() { return 3; }

    static constexpr bool HasFaceNormal() { return true; }
    static constexpr bool HasFaceQuality() { return false; }
    static constexpr bool HasFaceColor() { return false; }
    static constexpr bool HasWedgeColor() { return false; }
    static constexpr bool HasWedgeTexCoord() { return false; }

    // clang-format off
    VertexType *&V(int j)
    {
        NUK_ASSERT((flags & DELETED) == 0, "nuk/Mesh/FaceBase");
        NUK_ASSERT((flags & NOTREAD) == 0, "nuk/Mesh/FaceBase");
        NUK_ASSERT((flags & NOTWRITE) == 0, "nuk/Mesh/FaceBase");
        NUK_ASSERT(j>=0, "nuk/Mesh/FaceBase");
        NUK_ASSERT(j<size(), "nuk/Mesh/FaceBase");
        return v[j];
    }
    VertexType *V(int j) const
    {
        NUK_ASSERT((flags & DELETED) == 0, "nuk/Mesh/FaceBase");
        NUK_ASSERT((flags & NOTREAD) == 0, "nuk/Mesh/FaceBase");
        NUK_ASSERT((flags & NOTWRITE) == 0, "nuk/Mesh/FaceBase");
        NUK_ASSERT(j>=0, "nuk/Mesh/FaceBase");
        NUK_ASSERT(j<size(), "nuk/Mesh/FaceBase");
        return v[j];
    }

    // Components this face type does not carry.
    ScalarType &Q()
    {
        NUK_ASSERT(0, "nuk/Mesh/FaceBase");
        std::abort();
    }
    ColorUB &C()
    {
        NUK_ASSERT(0, "nuk/Mesh/FaceBase");
        std::abort();
    }
    ColorUB &WC(int)
    {
        NUK_ASSERT(0, "nuk/Mesh/FaceBase");
        std::abort();
    }
    TexCoordType &WT(int)
    {
        NUK_ASSERT(0, "nuk/Mesh/FaceBase");
        std::abort();
    }
    // clang-format on

    NormalType &N() { return normal; }
    const NormalType &N() const { return normal; }
    std::int32_t &Flags() { return flags; }
    std::int32_t Flags() const { return flags; }

    bool IsDeleted() const { return (flags & DELETED) != 0; }
    bool IsReadable() const { return (flags & NOTREAD) == 0; }
    bool IsWritable() const { return (flags & NOTWRITE) == 0; }
};

} // namespace nuk
