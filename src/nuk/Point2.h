#pragma once

#include "nuk/Assert.h"

namespace nuk
{

template <class T> class Point2
{
public:
    T x, y;

    Point2() = default;
    constexpr Point2(T x_, T y_) : x(x_), y(y_) {}

    // The assertion reports the expression as written.
    // clang-format off
    T &operator[](int i)
    {
        NUK_ASSERT(i>=0 && i<2, "nuk/Point2");
        return i == 0 ? x : y;
    }
    const T &operator[](int i) const
    {
        NUK_ASSERT(i>=0 && i<2, "nuk/Point2");
        return i == 0 ? x : y;
    }
    // clang-format on

    Point2 operator+(const Point2 &p) const { return Point2(x + p.x, y + p.y); }
    Point2 operator-(const Point2 &p) const { return Point2(x - p.x, y - p.y); }
    Point2 operator*(T s) const { return Point2(x * s, y * s); }
    bool operator==(const Point2 &p) const { return x == p.x && y == p.y; }
    bool operator!=(const Point2 &p) const { return !(*this == p); }
};

using Point2f = Point2<float>;
using Point2i = Point2<int>;

} // namespace nuk
