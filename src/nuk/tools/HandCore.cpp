#include "nuk/tools/HandCore.h"

#include <chrono>
#include <cmath>

#include "nuk/Pi.h"

namespace nuk
{

namespace
{

// Taken when the program's static data is set up, so "since program start".
const std::chrono::steady_clock::time_point programStart = std::chrono::steady_clock::now();

const Point3d kOrigin(0, 0, 0);

bool IsFinite(const Matrix44d &m)
{
    for (double e : m.a)
        if (!std::isfinite(e)) return false;
    return true;
}

bool IsFinite(const Point3d &p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// Angle and axis of a rotation quaternion, robust to rounding: a scalar part a
// hair above 1 would make acos NaN, and q and -q are the same rotation, so
// the short way round is taken.
void AngleAxisOf(Point4d q, double &angle, Point3d &axis)
{
    if (q[0] < 0)
        for (int i = 0; i < 4; ++i)
            q[i] = -q[i];
    if (q[0] > 1) q[0] = 1;
    ToAngleAxis(q, angle, axis);
}

// Uniform scale s keeping the rotation. A transform without a usable scale
// (zero, or a mirror) gets s alone rather than a block of NaNs.
void ScaleTo(Affine &t, double s)
{
    const double f = ScaleFactor(t);
    if (std::isfinite(f) && f > 0) {
        SetScale(t, s);
        return;
    }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            t.m.a[4 * r + c] = r == c ? s : 0;
}

Matrix44d PivotTranslation(const Affine &pivot) { return Matrix44d::Translation(kOrigin * pivot.m); }

} // namespace

std::int64_t Hand::SteadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - programStart)
        .count();
}

Hand::Hand() : clock_(&Hand::SteadyMilliseconds) {}

Hand::Hand(Clock clock) : clock_(std::move(clock)) {}

void Hand::SetClock(Clock clock) { clock_ = std::move(clock); }

std::int64_t Hand::Now() const { return clock_ ? clock_() : SteadyMilliseconds(); }

void Hand::SetTranslation(int kind, const Point3d &v)
{
    if (!IsFinite(v)) return;
    switch (kind) {
    case PIVOT:
        pivot.SetTranslation(v);
        break;
    case MODEL_KEEP_COMPOSITE: {
        const Affine old = model;
        model.SetTranslation(model.Translation() + v);
        if (spinning) spin_base.SetTranslation(spin_base.Translation() + v);
        pivot.m = pivot.m * old.m * model.m.Inverse();
        break;
    }
    case MODEL:
        model.SetTranslation(v);
        if (spinning) spin_base.SetTranslation(v);
        break;
    default:
        break;
    }
}

void Hand::SetScale(int kind, double s)
{
    // A zero, negative or infinite scale would poison every later transform.
    if (!(s > 0) || !std::isfinite(s)) return;
    switch (kind) {
    case PIVOT:
        ScaleTo(pivot, s);
        break;
    case MODEL_KEEP_COMPOSITE: {
        const Affine old = model;
        ScaleTo(model, s);
        if (spinning) ScaleTo(spin_base, s);
        pivot.m = pivot.m * old.m * model.m.Inverse();
        break;
    }
    case MODEL:
        ScaleTo(model, s);
        if (spinning) ScaleTo(spin_base, s);
        break;
    default:
        break;
    }
}

void Hand::EnableSpin(bool on)
{
    if (on != spin_enabled) {
        spin_enabled = on;
        spinning = false;
    }
}

void Hand::Reset()
{
    current_mode = nullptr;
    model = Affine();
    pivot = Affine();
    start_x = start_y = -1;
    view_frame = model_at_start = pivot_at_start = spin_base = last_sample = Affine();
    mode_changed = 0;
    dragging = false;
    spinning = false;
    time0 = time1 = 0;
    spin_rotation = Point4d(1, 0, 0, 0);
}

const Matrix44d &Hand::ApplyWith(const Transform &frameView)
{
    view = frameView;
    if (spin_enabled && spinning) {
        double angle;
        Point3d axis;
        AngleAxisOf(spin_rotation, angle, axis);
        const std::int64_t span = time1 - time0;
        if (span <= 0) {
            spinning = false;
            return model.m;
        }
        angle = angle * static_cast<double>(Now() - time1) / static_cast<double>(span);
        const Matrix44d R = Matrix44d::Rotation(angle * 180 / kPi, axis);
        const Matrix44d T = PivotTranslation(pivot);
        const Matrix44d m = T.Inverse() * R * T * spin_base.m;
        if (IsFinite(m))
            model.m = m;
        else
            spinning = false;
    }
    return model.m;
}

Point3d Hand::PivotPoint() const { return kOrigin * (pivot.m * model_at_start.m); }

Point3d Hand::PointUnderMouse(double x, double y, double depthOffset) const
{
    const Point3d c = PivotPoint();
    const Point3d w = view.Project(c);
    return view.UnProject(Point3d(x, y, w.z + depthOffset)) - c;
}

void Hand::ComputeViewFrame()
{
    const Point3d c = PivotPoint();
    const Point3d w = view.Project(c);
    const double yd = view.viewport[3] - w.y;
    const Point3d O = view.UnProject(Point3d(w.x, yd, w.z));
    const Point3d R = view.UnProject(Point3d(w.x + 100, yd, w.z));
    const Point3d U = view.UnProject(Point3d(w.x, yd - 100, w.z));
    const Point3d right = Normalized(R - O);
    const Point3d up = Normalized(U - O);
    const Point3d toward = right ^ up;
    view_frame = Affine();
    if (!IsFinite(right) || !IsFinite(up) || !IsFinite(toward)) return; // no usable view: keep the identity
    for (int c2 = 0; c2 < 3; ++c2) {
        view_frame.m.a[c2] = right[c2];
        view_frame.m.a[4 + c2] = up[c2];
        view_frame.m.a[8 + c2] = toward[c2];
    }
}

void Hand::Anchor(int x, int y)
{
    start_x = x;
    start_y = y;
    model_at_start = model;
    pivot_at_start = pivot;
    spinning = false;
    time0 = time1 = Now();
    spin_base = last_sample = model;
    spin_rotation = Point4d(1, 0, 0, 0);
    dragging = true;
    ComputeViewFrame();
    mode_changed = 0;
}

void Hand::Drag(int x, int y)
{
    if (!dragging) return;
    if (mode_changed) {
        start_x = x;
        start_y = y;
        model_at_start = model;
        pivot_at_start = pivot;
        spinning = false;
        ComputeViewFrame();
        mode_changed = 0;
    }
    if (!current_mode) return;

    const std::int64_t now = Now();
    if (now - time1 > 50) {
        spin_base = last_sample;
        last_sample = model;
        time0 = time1;
        time1 = now;
    }

    const Matrix44d frameInverse = view_frame.m.Inverse();
    const double modelScale = ScaleFactor(model_at_start);
    const double pivotScale = ScaleFactor(pivot);
    Point3d B = PointUnderMouse(x, y, 0) * frameInverse / modelScale;
    Point3d F = PointUnderMouse(start_x, start_y, 0) * frameInverse / modelScale;
    const Matrix44d G = Matrix44d::Identity();
    const std::int16_t space = current_mode->space;
    if (space == VIEW_SPACE) {
        B /= pivotScale;
        F /= pivotScale;
    } else if (space == WINDOW_SPACE) {
        B = Point3d(x, y, 0);
        F = Point3d(start_x, start_y, 0);
    }

    Matrix44d L = Matrix44d::Identity();
    if (B != F) { // coinciding ends are exactly no change
        const Matrix44d M1 = current_mode->Apply(F, G, pivot);
        const Matrix44d M2 = current_mode->Apply(B, G, pivot);
        L = M1.Inverse() * M2;
        if (space == VIEW_SPACE || space == WINDOW_SPACE) {
            // From the view frame at the pivot back to model coordinates.
            for (int i = 12; i < 15; ++i)
                L.a[i] *= pivotScale * modelScale;
            Matrix44d S = Matrix44d::Identity();
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    S.a[4 * r + c] = model_at_start.m.a[4 * r + c];
            const Matrix44d &V = view_frame.m;
            L = S * frameInverse * L * V * S.Inverse();
        }
        const Matrix44d T = PivotTranslation(pivot);
        L = T.Inverse() * L * T;
    }
    // A degenerate view or scale gives no usable change; keep what we have.
    if (!IsFinite(L)) return;

    switch (current_mode->target) {
    case PIVOT:
        pivot.m = pivot_at_start.m * L;
        break;
    case MODEL_KEEP_COMPOSITE:
        model.m = L * model_at_start.m;
        pivot.m = pivot_at_start.m * L.Inverse();
        break;
    case MODEL:
        model.m = L * model_at_start.m;
        break;
    default:
        break;
    }

    const Point4d q = QuaternionFrom33(Normalized33(spin_base.m * model.m.Inverse()));
    spin_rotation = std::isfinite(q[0]) && std::isfinite(q[1]) && std::isfinite(q[2]) && std::isfinite(q[3])
                        ? q
                        : Point4d(1, 0, 0, 0);
}

void Hand::Release()
{
    // A release without a press (or a second one) must not restart a spin.
    if (!dragging) return;
    dragging = false;
    const std::int64_t now = Now();
    if (now - time1 < 100 && time1 != time0) {
        time1 = now;
        double angle;
        Point3d axis;
        AngleAxisOf(spin_rotation, angle, axis);
        const std::int64_t span = time1 - time0;
        if (span > 0) {
            const double speed = angle / static_cast<double>(span) * 100; // radians per 100 ms
            if (std::fabs(speed) > 0.4) {
                angle = angle / (std::fabs(speed) * 2.5);
                spin_rotation = QuaternionFromAngleAxis(angle, Normalized(axis));
            }
            if (std::fabs(speed) > 0.01) spinning = true;
        }
        spin_base = model;
    }
    ComputeViewFrame();
}

} // namespace nuk
