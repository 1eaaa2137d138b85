#pragma once
// Vertex element of the triangle mesh.
//
// VertexASCN<Scalar, Face, TexCoord>: a position, a flag word, a colour and a
// normal, in that order. The checked accessors below refuse to hand out a
// component of an element whose flag word forbids it; those checks guard
// programming errors. Data read from a file is cleaned by the import so that
// it never reaches them.
//
// Accessors:
//   P()        position, writable           checks DELETED, NOTREAD, NOTWRITE
//   P() const,
//   cP()       position, read-only          checks DELETED, NOTREAD
//   N()        normal                       checks DELETED, NOTREAD, NOTWRITE
//   C()        colour                       no check
//   Flags()    flag word                    no check
//   Q()        quality: not carried, always fails
// Queries (no check): IsDeleted, IsReadable, IsWritable, IsUsable (readable
// and writable). Compile-time answers: HasColor, HasQuality, HasNormal.

#include <cstdint>
#include <cstdlib>

#include "nuk/Assert.h"
#include "nuk/Mesh/Flags.h"
#include "nuk/Point3.h"
#include "nuk/tools/ColorUB.h"

namespace nuk
{

template <class ScalarT, class FaceT, class TCoordT> class VertexASCN
{
public:
    using ScalarType = ScalarT;
    using CoordType = Point3<ScalarT>;
    using NormalType = Point3<ScalarT>;
    using FaceType = FaceT;
    using TexCoordType = TCoordT;

    CoordType position;
    std::int32_t flags = 0;
    ColorUB color;
    NormalType normal;

    static constexpr bool HasColor() { return true; }
    static constexpr bool HasQuality() { return false; }
    static constexpr bool HasNormal() { return true; }

    // clang-format off
    CoordType &P()
    {
        NUK_ASSERT((flags & DELETED) == 0, "nuk/Mesh/VertexBase");
        NUK_ASSERT((flags & NOTREAD) == 0, "nuk/Mesh/VertexBase");
        NUK_ASSERT((flags & NOTWRITE) == 0, "nuk/Mesh/VertexBase");
        return position;
    }
    const CoordType &cP() const
    {
        NUK_ASSERT((flags & DELETED) == 0, "nuk/Mesh/VertexBase");
        NUK_ASSERT((flags & NOTREAD) == 0, "nuk/Mesh/VertexBase");
        return position;
    }
    const CoordType &P() const { return cP(); }

    NormalType &N()
    {
        NUK_ASSERT((flags & DELETED) == 0, "nuk/Mesh/VertexBase");
        NUK_ASSERT((flags & NOTREAD) == 0, "nuk/Mesh/VertexBase");
        NUK_ASSERT((flags & NOTWRITE) == 0, "nuk/Mesh/VertexBase");
        return normal;
    }
    const NormalType &N() const
    {
        NUK_ASSERT((flags & DELETED) == 0, "nuk/Mesh/VertexBase");
        NUK_ASSERT((flags & NOTREAD) == 0, "nuk/Mesh/VertexBase");
        NUK_ASSERT((flags & NOTWRITE) == 0, "nuk/Mesh/VertexBase");
        return normal;
    }

    // Not carried by this vertex type.
    ScalarType &Q()
    {
        NUK_ASSERT(0, "nuk/Mesh/VertexBase");
        std::abort();
    }
    // clang-format on

    ColorUB &C() { return color; }
    const ColorUB &C() const { return color; }
    std::int32_t &Flags() { return flags; }
    std::int32_t Flags() const { return flags; }

    bool IsDeleted() const { return (flags & DELETED) != 0; }
    bool IsReadable() const { return (flags & NOTREAD) == 0; }
    bool IsWritable() const { return (flags & NOTWRITE) == 0; }
    bool IsUsable() const { return (flags & (NOTREAD | NOTWRITE)) == 0; }
};

} // namespace nuk
