#pragma once
// The window's view, worked out here from first principles so that the
// trackball can be checked without a display: a 30 degree perspective and a
// camera at (3, 3, 3) looking at the origin with (0, 1, 0) up, in an
// 800 x 600 viewport, and a clock the test moves by hand.

#include <cmath>
#include <cstdint>

#include "nuk/tools/Hand.h"

namespace rig
{

using nuk::Matrix44d;
using nuk::Point3d;

constexpr double kPi = 3.141592653589793;
constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr double kFovy = 30;
const Point3d kEye(3, 3, 3);

inline Point3d Unit(Point3d p) { return p / std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z); }
inline double Dot(const Point3d &a, const Point3d &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Point3d CrossP(const Point3d &a, const Point3d &b)
{
    return Point3d(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

// Camera basis: forward, screen right, screen up, toward the viewer.
inline Point3d Forward() { return Unit(Point3d(0, 0, 0) - kEye); }
inline Point3d Right() { return Unit(CrossP(Forward(), Point3d(0, 1, 0))); }
inline Point3d Up() { return CrossP(Right(), Forward()); }
inline Point3d Toward() { return Point3d(0, 0, 0) - Forward(); }

// What gluPerspective loads, in OpenGL's memory order.
inline Matrix44d PerspectiveGL(double fovyDeg, double aspect, double zNear, double zFar)
{
    const double f = 1 / std::tan(fovyDeg * kPi / 360);
    Matrix44d m;
    m.SetZero();
    m.a[0] = f / aspect;
    m.a[5] = f;
    m.a[10] = (zFar + zNear) / (zNear - zFar);
    m.a[11] = -1;
    m.a[14] = 2 * zFar * zNear / (zNear - zFar);
    return m;
}

// What gluLookAt multiplies on, in OpenGL's memory order (columns are s, u, -f).
inline Matrix44d LookAtGL(const Point3d &eye, const Point3d &centre, const Point3d &up)
{
    const Point3d f = Unit(centre - eye);
    const Point3d s = Unit(CrossP(f, up));
    const Point3d u = CrossP(s, f);
    Matrix44d m;
    m.SetIdentity();
    m.a[0] = s.x, m.a[4] = s.y, m.a[8] = s.z;
    m.a[1] = u.x, m.a[5] = u.y, m.a[9] = u.z;
    m.a[2] = -f.x, m.a[6] = -f.y, m.a[10] = -f.z;
    m.a[12] = -Dot(s, eye);
    m.a[13] = -Dot(u, eye);
    m.a[14] = Dot(f, eye);
    return m;
}

inline nuk::Transform WindowView()
{
    const std::int32_t vp[4] = {0, 0, kWidth, kHeight};
    return nuk::Transform::FromGL(PerspectiveGL(kFovy, double(kWidth) / kHeight, 0.01, 195000),
                                  LookAtGL(kEye, Point3d(0, 0, 0), Point3d(0, 1, 0)), vp);
}

// World units per pixel in the plane through p facing the camera.
inline double UnitsPerPixel(const Point3d &p)
{
    const double depth = Dot(p - kEye, Forward());
    return 2 * depth * std::tan(kFovy * kPi / 360) / kHeight;
}

// Window position (y downward) of a world point, by the pinhole model.
inline void ToWindow(const Point3d &p, double &x, double &y)
{
    const Point3d d = p - kEye;
    const double depth = Dot(d, Forward());
    const double k = std::tan(kFovy * kPi / 360) * depth;
    x = (Dot(d, Right()) / (k * kWidth / kHeight) + 1) * kWidth / 2;
    y = kHeight - (Dot(d, Up()) / k + 1) * kHeight / 2;
}

// The world point under window position (x, y) in the plane through p facing the camera.
inline Point3d UnderMouse(double x, double y, const Point3d &p)
{
    const double s = UnitsPerPixel(p);
    const Point3d centre = kEye + Forward() * Dot(p - kEye, Forward());
    return centre + Right() * ((x - kWidth / 2.0) * s) + Up() * ((kHeight / 2.0 - y) * s);
}

// Rotation of p by angle (radians) about the line through c along unit axis (Rodrigues).
inline Point3d Rotated(const Point3d &p, const Point3d &c, const Point3d &axis, double angle)
{
    const Point3d v = p - c;
    return c + v * std::cos(angle) + CrossP(axis, v) * std::sin(angle) + axis * (Dot(axis, v) * (1 - std::cos(angle)));
}

// The window's trackball with a clock the test sets.
struct Rig {
    std::int64_t now = 1000;
    nuk::TrackHand hand{[this] { return now; }};
    nuk::Transform view = WindowView();

    Rig()
    {
        hand.SetPivotTranslation(Point3d(0, 0, 0));
        hand.SetPivotScale(1.0);
        hand.EnableSpin(true);
        Frame();
    }
    const Matrix44d &Frame() { return hand.ApplyWith(view); }
    Point3d Image(const Point3d &p) const { return p * hand.model.m; }
};

} // namespace rig
