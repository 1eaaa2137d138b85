#pragma once

#include <cmath>

#include "nuk/Assert.h"

namespace nuk
{

// Three components and nothing else, so that an array of Point3f can be handed
// to OpenGL as it is.
template <class T> class Point3
{
public:
    T x, y, z;

    Point3() = default;
    constexpr Point3(T x_, T y_, T z_) : x(x_), y(y_), z(z_) {}

    // The assertion reports the expression as written.
    // clang-format off
    T &operator[](int i)
    {
        NUK_ASSERT(i>=0 && i<3, "nuk/Point3");
        return i == 0 ? x : (i == 1 ? y : z);
    }
    const T &operator[](int i) const
    {
        NUK_ASSERT(i>=0 && i<3, "nuk/Point3");
        return i == 0 ? x : (i == 1 ? y : z);
    }
    // clang-format on

    Point3 operator+(const Point3 &p) const { return Point3(x + p.x, y + p.y, z + p.z); }
    Point3 operator-(const Point3 &p) const { return Point3(x - p.x, y - p.y, z - p.z); }
    Point3 operator-() const { return Point3(-x, -y, -z); }
    Point3 operator*(T s) const { return Point3(x * s, y * s, z * s); }
    Point3 operator/(T s) const { return Point3(x / s, y / s, z / s); }
    Point3 &operator+=(const Point3 &p)
    {
        x += p.x;
        y += p.y;
        z += p.z;
        return *this;
    }
    Point3 &operator-=(const Point3 &p)
    {
        x -= p.x;
        y -= p.y;
        z -= p.z;
        return *this;
    }
    Point3 &operator*=(T s)
    {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    Point3 &operator/=(T s)
    {
        x /= s;
        y /= s;
        z /= s;
        return *this;
    }

    // Dot product.
    T operator*(const Point3 &p) const { return x * p.x + y * p.y + z * p.z; }
    // Cross product.
    Point3 operator^(const Point3 &p) const { return Point3(y * p.z - z * p.y, z * p.x - x * p.z, x * p.y - y * p.x); }

    T Norm() const { return std::sqrt(x * x + y * y + z * z); }

    // A zero vector is left as it is rather than turned into NaNs.
    Point3 &Normalize()
    {
        T n = Norm();
        if (n > 0) {
            x /= n;
            y /= n;
            z /= n;
        }
        return *this;
    }

    bool operator==(const Point3 &p) const { return x == p.x && y == p.y && z == p.z; }
    bool operator!=(const Point3 &p) const { return !(*this == p); }
};

using Point3f = Point3<float>;
using Point3d = Point3<double>;

static_assert(sizeof(Point3f) == 3 * sizeof(float), "Point3f must hold its three floats only");

template <class T> inline T Dot(const Point3<T> &a, const Point3<T> &b) { return a * b; }
template <class T> inline Point3<T> Cross(const Point3<T> &a, const Point3<T> &b) { return a ^ b; }
template <class T> inline T Norm(const Point3<T> &p) { return p.Norm(); }
template <class T> inline Point3<T> Normalized(Point3<T> p) { return p.Normalize(); }

// Triangle normal, (p1 - p0) x (p2 - p0); its length is twice the area.
template <class T> inline Point3<T> Normal(const Point3<T> &p0, const Point3<T> &p1, const Point3<T> &p2)
{
    return (p1 - p0) ^ (p2 - p0);
}

template <class T> inline Point3<T> NormalizedNormal(const Point3<T> &p0, const Point3<T> &p1, const Point3<T> &p2)
{
    return Normal(p0, p1, p2).Normalize();
}

} // namespace nuk
