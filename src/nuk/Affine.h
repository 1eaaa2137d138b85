#pragma once

#include <array>
#include <cmath>

#include "nuk/Matrix44.h"
#include "nuk/Point4.h"

namespace nuk
{

// One transform in GL order; identity when constructed. The trackball keeps
// every transform in this form.
class Affine
{
public:
    Matrix44d m;

    Affine() { m.SetIdentity(); }
    explicit Affine(const Matrix44d &mat) : m(mat) {}

    double &operator[](int i) { return m.a[i]; }
    const double &operator[](int i) const { return m.a[i]; }

    Point3d Translation() const { return Point3d(m.a[12], m.a[13], m.a[14]); }
    void SetTranslation(const Point3d &t)
    {
        m.a[12] = t.x;
        m.a[13] = t.y;
        m.a[14] = t.z;
    }

    bool operator==(const Affine &o) const { return m == o.m; }
    bool operator!=(const Affine &o) const { return !(*this == o); }
};

// Upper-left 3x3 block, row by row: (r, c) at 3r + c.
using Block33 = std::array<double, 9>;

inline Block33 Extract33(const Matrix44d &m)
{
    Block33 b;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            b[3 * r + c] = m.a[4 * r + c];
    return b;
}

inline double Det33(const Block33 &b)
{
    return (b[4] * b[8] - b[5] * b[7]) * b[0] - (b[8] * b[3] - b[5] * b[6]) * b[1] + (b[7] * b[3] - b[4] * b[6]) * b[2];
}

// Uniform scale of a matrix: the cube root of its 3x3 determinant.
inline double ScaleFactor(const Matrix44d &m) { return std::pow(Det33(Extract33(m)), 1.0 / 3.0); }
inline double ScaleFactor(const Affine &t) { return ScaleFactor(t.m); }

inline Block33 Normalized33(const Matrix44d &m)
{
    Block33 b = Extract33(m);
    const double k = 1.0 / ScaleFactor(m);
    for (double &e : b)
        e *= k;
    return b;
}

// Keeps the rotation and makes the uniform scale s; the translation and the
// projective elements are left alone.
inline Affine &SetScale(Affine &t, double s)
{
    const double k = s / ScaleFactor(t.m);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            t.m.a[4 * r + c] *= k;
    return t;
}

// Quaternion (scalar part first) of a rotation block.
inline Point4d QuaternionFrom33(const Block33 &b)
{
    Point4d q;
    const double T = b[0] + b[4] + b[8] + 1;
    if (T > 0) {
        const double s = 0.5 / std::sqrt(T);
        q[0] = 0.25 / s;
        q[1] = (b[7] - b[5]) * s;
        q[2] = (b[2] - b[6]) * s;
        q[3] = (b[3] - b[1]) * s;
    } else if (b[0] > (b[4] >= b[8] ? b[4] : b[8])) {
        // S = 4 |q1|. The often-copied version of these three branches puts
        // 0.5 / S and sums where 0.25 * S and differences belong, which gives
        // a quaternion that is neither unit length nor the same rotation.
        const double S = 2 * std::sqrt(1 + b[0] - b[4] - b[8]);
        q[1] = 0.25 * S;
        q[2] = (b[1] + b[3]) / S;
        q[3] = (b[2] + b[6]) / S;
        q[0] = (b[7] - b[5]) / S;
    } else if (b[4] > b[8]) {
        const double S = 2 * std::sqrt(1 + b[4] - b[0] - b[8]); // 4 |q2|
        q[1] = (b[1] + b[3]) / S;
        q[2] = 0.25 * S;
        q[3] = (b[5] + b[7]) / S;
        q[0] = (b[2] - b[6]) / S;
    } else {
        const double S = 2 * std::sqrt(1 + b[8] - b[0] - b[4]); // 4 |q3|
        q[1] = (b[2] + b[6]) / S;
        q[2] = (b[5] + b[7]) / S;
        q[3] = 0.25 * S;
        q[0] = (b[3] - b[1]) / S;
    }
    return q;
}

// The axis is used as given, not normalised.
inline Point4d QuaternionFromAngleAxis(double angleRad, const Point3d &axis)
{
    const double s = std::sin(angleRad / 2);
    return Point4d(std::cos(angleRad / 2), axis.x * s, axis.y * s, axis.z * s);
}

// The axis comes back as stored, not normalised.
inline void ToAngleAxis(const Point4d &q, double &angleRad, Point3d &axis)
{
    angleRad = 2 * std::acos(q[0]);
    if (2 * std::asin(q[0]) < 0) angleRad = -angleRad;
    axis = Point3d(q[1], q[2], q[3]);
}

} // namespace nuk
