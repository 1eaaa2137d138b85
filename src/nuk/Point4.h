#pragma once

#include "nuk/Assert.h"

namespace nuk
{

// Four contiguous components. Holding a quaternion, component 0 is the scalar
// part and 1..3 the vector part.
template <class T> class Point4
{
public:
    T v[4];

    Point4() = default;
    constexpr Point4(T a, T b, T c, T d) : v{a, b, c, d} {}

    // The assertion reports the expression as written.
    // clang-format off
    T &operator[](int i)
    {
        NUK_ASSERT(i>=0 && i<4, "nuk/Point4");
        return v[i];
    }
    const T &operator[](int i) const
    {
        NUK_ASSERT(i>=0 && i<4, "nuk/Point4");
        return v[i];
    }
    // clang-format on

    bool operator==(const Point4 &p) const
    {
        return v[0] == p.v[0] && v[1] == p.v[1] && v[2] == p.v[2] && v[3] == p.v[3];
    }
    bool operator!=(const Point4 &p) const { return !(*this == p); }
};

using Point4d = Point4<double>;
using Quaterniond = Point4<double>;

} // namespace nuk
