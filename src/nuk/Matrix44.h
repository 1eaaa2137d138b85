#pragma once

#include <cmath>

#include "nuk/Pi.h"
#include "nuk/Point3.h"

namespace nuk
{

template <class T> struct RotationPi;
// The float rotation uses the float nearest pi, the double one the double
// nearest pi; the pattern generator's file depends on the float value.
template <> struct RotationPi<float> {
    static constexpr float value = kPiFloat;
};
template <> struct RotationPi<double> {
    static constexpr double value = kPi;
};

// 4x4 matrix, element (r, c) at index 4r + c. A matrix is used in one of two
// fixed orders for its whole life:
//  - GL order (the memory order of OpenGL): translation in 12, 13, 14; points
//    are transformed as row vectors, p * M.
//  - math order: points are transformed as column vectors, M * p.
// Default construction leaves the elements unset.
template <class T> class Matrix44
{
public:
    T a[16];

    Matrix44() = default;

    T &operator[](int i) { return a[i]; }
    const T &operator[](int i) const { return a[i]; }
    T &ElementAt(int r, int c) { return a[4 * r + c]; }
    const T &ElementAt(int r, int c) const { return a[4 * r + c]; }
    T *V() { return a; }
    const T *V() const { return a; }

    Matrix44 &SetDiagonal(T d)
    {
        for (int i = 0; i < 16; ++i)
            a[i] = 0;
        a[0] = a[5] = a[10] = a[15] = d;
        return *this;
    }
    Matrix44 &SetIdentity() { return SetDiagonal(T(1)); }
    Matrix44 &SetZero()
    {
        for (int i = 0; i < 16; ++i)
            a[i] = 0;
        return *this;
    }

    static Matrix44 Identity()
    {
        Matrix44 m;
        m.SetIdentity();
        return m;
    }

    Matrix44 Transposed() const
    {
        Matrix44 t;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                t.a[4 * r + c] = a[4 * c + r];
        return t;
    }

    // C(i, j) = sum over k = 0..3 of A(i, k) * B(k, j), in that order.
    Matrix44 operator*(const Matrix44 &b) const
    {
        Matrix44 c;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                T s = a[4 * i] * b.a[j];
                for (int k = 1; k < 4; ++k)
                    s += a[4 * i + k] * b.a[4 * k + j];
                c.a[4 * i + j] = s;
            }
        return c;
    }
    Matrix44 &operator*=(const Matrix44 &b) { return *this = *this * b; }

    bool operator==(const Matrix44 &m) const
    {
        for (int i = 0; i < 16; ++i)
            if (a[i] != m.a[i]) return false;
        return true;
    }
    bool operator!=(const Matrix44 &m) const { return !(*this == m); }

    // Inverse by cofactors: the 2x2 minors of rows 2, 3 and of rows 0, 1 serve
    // all sixteen cofactors. A singular matrix (det exactly 0) becomes the
    // identity instead of a matrix of infinities.
    Matrix44 &Invert()
    {
        const T *m = a;
        const T c01 = m[8] * m[13] - m[9] * m[12];
        const T c02 = m[8] * m[14] - m[10] * m[12];
        const T c03 = m[8] * m[15] - m[11] * m[12];
        const T c12 = m[9] * m[14] - m[10] * m[13];
        const T c13 = m[9] * m[15] - m[11] * m[13];
        const T c23 = m[10] * m[15] - m[11] * m[14];
        const T s01 = m[0] * m[5] - m[1] * m[4];
        const T s02 = m[0] * m[6] - m[2] * m[4];
        const T s03 = m[0] * m[7] - m[3] * m[4];
        const T s12 = m[1] * m[6] - m[2] * m[5];
        const T s13 = m[1] * m[7] - m[3] * m[5];
        const T s23 = m[2] * m[7] - m[3] * m[6];

        T C[16];
        C[0] = m[5] * c23 - m[6] * c13 + m[7] * c12;
        C[1] = -(m[4] * c23 - m[6] * c03 + m[7] * c02);
        C[2] = m[4] * c13 - m[5] * c03 + m[7] * c01;
        C[3] = -(m[4] * c12 - m[5] * c02 + m[6] * c01);
        const T det = m[0] * C[0] + m[1] * C[1] + m[2] * C[2] + m[3] * C[3];
        if (det == 0) return SetIdentity();

        C[4] = -(m[1] * c23 - m[2] * c13 + m[3] * c12);
        C[5] = m[0] * c23 - m[2] * c03 + m[3] * c02;
        C[6] = -(m[0] * c13 - m[1] * c03 + m[3] * c01);
        C[7] = m[0] * c12 - m[1] * c02 + m[2] * c01;
        C[8] = m[13] * s23 - m[14] * s13 + m[15] * s12;
        C[9] = -(m[12] * s23 - m[14] * s03 + m[15] * s02);
        C[10] = m[12] * s13 - m[13] * s03 + m[15] * s01;
        C[11] = -(m[12] * s12 - m[13] * s02 + m[14] * s01);
        C[12] = -(m[9] * s23 - m[10] * s13 + m[11] * s12);
        C[13] = m[8] * s23 - m[10] * s03 + m[11] * s02;
        C[14] = -(m[8] * s13 - m[9] * s03 + m[11] * s01);
        C[15] = m[8] * s12 - m[9] * s02 + m[10] * s01;

        const T inv = T(1) / det;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                a[4 * r + c] = C[4 * c + r] * inv;
        return *this;
    }

    Matrix44 Inverse() const
    {
        Matrix44 m = *this;
        return m.Invert();
    }

    // Rotation by an angle in degrees about an axis, GL order: the matrix
    // OpenGL builds for glRotate. The axis is normalised on a copy; a zero
    // axis stays zero.
    Matrix44 &SetRotate(T angleDeg, Point3<T> axis)
    {
        // theta is worked out in extended precision and then rounded to T;
        // the float pattern generator's output depends on that rounding.
        const T theta = static_cast<T>(static_cast<long double>(angleDeg) * RotationPi<T>::value * (1.0L / 180));
        const T c = static_cast<T>(std::cos(static_cast<double>(theta)));
        const T s = static_cast<T>(std::sin(static_cast<double>(theta)));
        const T t = static_cast<T>(1 - c);
        axis.Normalize();
        const T x = axis.x, y = axis.y, z = axis.z;
        a[0] = t * x * x + c;
        a[1] = t * x * y + z * s;
        a[2] = t * x * z - y * s;
        a[3] = 0;
        a[4] = t * x * y - z * s;
        a[5] = t * y * y + c;
        a[6] = t * y * z + x * s;
        a[7] = 0;
        a[8] = t * x * z + y * s;
        a[9] = t * y * z - x * s;
        a[10] = t * z * z + c;
        a[11] = 0;
        a[12] = a[13] = a[14] = 0;
        a[15] = 1;
        return *this;
    }

    Matrix44 &SetTranslate(const Point3<T> &t)
    {
        SetIdentity();
        a[12] = t.x;
        a[13] = t.y;
        a[14] = t.z;
        return *this;
    }
    Matrix44 &SetTranslate(T x, T y, T z) { return SetTranslate(Point3<T>(x, y, z)); }

    Matrix44 &SetScale(T sx, T sy, T sz)
    {
        SetZero();
        a[0] = sx;
        a[5] = sy;
        a[10] = sz;
        a[15] = 1;
        return *this;
    }
    Matrix44 &SetScale(T s) { return SetScale(s, s, s); }

    static Matrix44 Rotation(T angleDeg, const Point3<T> &axis)
    {
        Matrix44 m;
        return m.SetRotate(angleDeg, axis);
    }
    static Matrix44 Translation(const Point3<T> &t)
    {
        Matrix44 m;
        return m.SetTranslate(t);
    }
    static Matrix44 Scale(T s)
    {
        Matrix44 m;
        return m.SetScale(s);
    }
};

using Matrix44f = Matrix44<float>;
using Matrix44d = Matrix44<double>;

static_assert(sizeof(Matrix44d) == 16 * sizeof(double), "Matrix44d must hold its sixteen doubles only");

// GL order: the point as a row vector, p * M. Divided by w unless w is
// exactly zero.
template <class T> inline Point3<T> operator*(const Point3<T> &p, const Matrix44<T> &m)
{
    const T *e = m.a;
    const T x = p.x * e[0] + p.y * e[4] + p.z * e[8] + e[12];
    const T y = p.x * e[1] + p.y * e[5] + p.z * e[9] + e[13];
    const T z = p.x * e[2] + p.y * e[6] + p.z * e[10] + e[14];
    const T w = p.x * e[3] + p.y * e[7] + p.z * e[11] + e[15];
    if (w != 0) return Point3<T>(x / w, y / w, z / w);
    return Point3<T>(x, y, z);
}

// Math order: the point as a column vector, M * p.
template <class T> inline Point3<T> operator*(const Matrix44<T> &m, const Point3<T> &p)
{
    const T *e = m.a;
    const T x = e[0] * p.x + e[1] * p.y + e[2] * p.z + e[3];
    const T y = e[4] * p.x + e[5] * p.y + e[6] * p.z + e[7];
    const T z = e[8] * p.x + e[9] * p.y + e[10] * p.z + e[11];
    const T w = e[12] * p.x + e[13] * p.y + e[14] * p.z + e[15];
    if (w != 0) return Point3<T>(x / w, y / w, z / w);
    return Point3<T>(x, y, z);
}

} // namespace nuk
