#include "nuk/tools/HandModes.h"

#include <cmath>

#include "nuk/Pi.h"

namespace nuk
{

namespace
{

const float kHandleReach = 0.1f;

// Screen direction of an axis: z dropped; an axis pointing at the viewer
// gets the vertical.
Point3d ScreenDirection(Point3d v)
{
    v.z = 0;
    if (v == Point3d(0, 0, 0)) v = Point3d(0, 1, 0);
    return v.Normalize();
}

} // namespace

Matrix44d HandModes::TrackMode::Apply(const Point3d &, const Matrix44d &, const Affine &) const
{
    return Matrix44d::Identity();
}
void HandModes::TrackMode::DrawGuides(bool) const {}
float HandModes::TrackMode::Distance(const Point3d &) const { return 0; }

Matrix44d HandModes::SphereMode::Apply(const Point3d &p, const Matrix44d &, const Affine &) const
{
    const double r = 0.7071067811865476;
    const Point3d pole(0, 0, 1);
    const double d2 = p.x * p.x + p.y * p.y;
    Point3d c;
    if (std::sqrt(d2) < r)
        c = Point3d(p.x, p.y, std::sqrt(1 - d2));
    else // a hyperbolic sheet outside, so the rotation keeps growing with the drag
        c = Normalized(Point3d(p.x, p.y, 1.5 * r - r * d2));
    if (c == pole) return Matrix44d::Identity();
    const Point3d axis = Normalized(pole ^ c);
    double t = (c - pole).Norm() * 0.5;
    if (t > r) t = t + (t - r) * 0.7;
    if (t > 1) t = 1;
    if (t < -1) t = -1;
    return Matrix44d::Rotation(2 * std::asin(t) * 180 / kPiEightDecimals, axis);
}
void HandModes::SphereMode::DrawGuides(bool) const {}
float HandModes::SphereMode::Distance(const Point3d &p) const { return p.Norm() <= 1 ? 0.0f : -1.0f; }

Matrix44d HandModes::ScaleMode::Apply(const Point3d &p, const Matrix44d &, const Affine &) const
{
    return Matrix44d::Scale(std::pow(2.0, -0.01 * p.y));
}
void HandModes::ScaleMode::DrawGuides(bool) const {}
float HandModes::ScaleMode::Distance(const Point3d &) const { return 0; }

Matrix44d HandModes::LineMode::Apply(const Point3d &p, const Matrix44d &frame, const Affine &) const
{
    const Point3d a = Normalized(axis);
    const Point3d g = ScreenDirection(a * frame);
    return Matrix44d::Translation(a * (g * p));
}
void HandModes::LineMode::DrawGuides(bool) const {}
float HandModes::LineMode::Distance(const Point3d &p) const
{
    const Point3d a = Normalized(axis);
    const float d = static_cast<float>((p - a * (a * p)).Norm());
    return d <= kHandleReach ? d : -1.0f;
}

Matrix44d HandModes::PlaneMode::Apply(const Point3d &p, const Matrix44d &frame, const Affine &) const
{
    const Point3d a = Normalized(first_axis);
    const Point3d b = Normalized(second_axis);
    Point3d g = a * frame;
    Point3d m = b * frame;
    // The axis that points more toward the viewer is the one bent into the
    // screen plane; m on a tie.
    const bool adjustG = std::fabs(m.z) < std::fabs(g.z);
    g = ScreenDirection(g);
    m = ScreenDirection(m);
    Point3d &adjusted = adjustG ? g : m;
    const Point3d &kept = adjustG ? m : g;
    if (adjusted == kept || adjusted == -kept) {
        adjusted.x = -kept.y;
        adjusted.y = kept.x;
    }
    adjusted = Normalized(adjusted - kept * (adjusted * kept));
    return Matrix44d::Translation(a * (g * p) + b * (m * p));
}
void HandModes::PlaneMode::DrawGuides(bool) const {}
float HandModes::PlaneMode::Distance(const Point3d &p) const
{
    const Point3d n = Normalized(first_axis ^ second_axis);
    const float d = static_cast<float>(std::fabs(n * p));
    return d <= kHandleReach ? d : -1.0f;
}

Matrix44d HandModes::CylinderMode::Apply(const Point3d &p, const Matrix44d &frame, const Affine &) const
{
    const Point3d a = Normalized(axis);
    Point3d g = a * frame;
    double angle;
    if (g.x == 0 && g.y == 0) {
        // Axis toward the viewer: the pointer's angle about it.
        angle = std::atan2(p.y, p.x);
        if (g.z < 0) angle = -angle;
    } else {
        // Motion across the axis' screen direction turns, one unit a radian.
        g.z = 0;
        g.Normalize();
        angle = Point3d(-g.y, g.x, 0) * p;
    }
    if (flag) angle = -angle;
    return Matrix44d::Rotation(angle * 180 / kPi, a);
}
void HandModes::CylinderMode::DrawGuides(bool) const {}
float HandModes::CylinderMode::Distance(const Point3d &p) const
{
    const Point3d a = Normalized(axis);
    const float d = static_cast<float>(std::fabs((p - a * (a * p)).Norm() - 1));
    return d <= kHandleReach ? d : -1.0f;
}

} // namespace nuk
