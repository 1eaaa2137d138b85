#include <gtest/gtest.h>

#include <cmath>

#include "ViewRig.h"

using namespace nuk;
using namespace rig;
using namespace nuk::HandButton;

namespace
{

constexpr int kCx = kWidth / 2, kCy = kHeight / 2; // where the origin shows

void ExpectNear(const Point3d &got, const Point3d &want, double tol = 1e-9)
{
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

// The model is a rotation by angle about the line through c along axis:
// checked on the images of c and three independent points.
void ExpectRotation(const Rig &r, const Point3d &c, const Point3d &axis, double angle, double tol = 1e-8)
{
    for (const Point3d &p : {c, c + Right(), c + Up(), c + Toward(), c + Point3d(0.3, -0.7, 1.1)})
        ExpectNear(r.Image(p), Rotated(p, c, axis, angle), tol);
}

bool AllFinite(const Matrix44d &m)
{
    for (double e : m.a)
        if (!std::isfinite(e)) return false;
    return true;
}

// Sphere angle of a horizontal drag of dx pixels from the pivot: the point
// under the mouse at the pivot's depth is bx from the pivot on the unit
// sphere, so the pole turns by asin(bx).
double SphereAngle(int dx, double pivotScale = 1)
{
    return std::asin(dx * UnitsPerPixel(Point3d(0, 0, 0)) / pivotScale);
}

} // namespace

TEST(TrackHand, ViewFrameHoldsTheScreenAxesAtThePivot)
{
    Rig r;
    r.hand.MouseDown(kCx, kCy, kLeft);
    const Matrix44d &f = r.hand.view_frame.m;
    ExpectNear(Point3d(f.a[0], f.a[1], f.a[2]), Right(), 1e-9);
    ExpectNear(Point3d(f.a[4], f.a[5], f.a[6]), Up(), 1e-9);
    ExpectNear(Point3d(f.a[8], f.a[9], f.a[10]), Toward(), 1e-9);
    // right = (1, 0, -1) / sqrt 2 for this camera, worked by hand
    EXPECT_NEAR(f.a[0], std::sqrt(0.5), 1e-9);
    EXPECT_NEAR(f.a[2], -std::sqrt(0.5), 1e-9);
}

TEST(TrackHand, DragWhoseEndsCoincideLeavesTheModel)
{
    Rig r;
    // A first drag gives a model that is not the identity.
    r.hand.MouseDown(kCx, kCy, kLeft);
    r.hand.MouseMove(kCx + 60, kCy - 20, kLeft);
    r.hand.MouseUp(kCx + 60, kCy - 20, kLeft);
    r.now += 1000;
    r.Frame();
    const Affine before = r.hand.model;
    ASSERT_NE(before, Affine());

    r.hand.MouseDown(500, 250, kLeft);
    r.hand.MouseMove(560, 300, kLeft);
    EXPECT_NE(r.hand.model, before);
    r.hand.MouseMove(500, 250, kLeft);
    EXPECT_EQ(r.hand.model, before);
    r.hand.MouseUp(500, 250, kLeft);
    EXPECT_EQ(r.hand.model, before);
}

TEST(TrackHand, DragThroughThePivotTurnsAboutTheScreenAxisAcrossIt)
{
    for (int dx : {100, -40}) {
        Rig r;
        r.hand.MouseDown(kCx, kCy, kLeft);
        r.hand.MouseMove(kCx + dx, kCy, kLeft);
        ExpectRotation(r, Point3d(0, 0, 0), Up(), SphereAngle(dx));
        // The front of the model follows the mouse.
        EXPECT_GT(Dot(r.Image(Toward()), Right()) * dx, 0);
    }
    Rig r;
    r.hand.MouseDown(kCx, kCy, kLeft);
    r.hand.MouseMove(kCx, kCy - 80, kLeft); // upward
    ExpectRotation(r, Point3d(0, 0, 0), -Right(), SphereAngle(80));
}

TEST(TrackHand, RotationIsAboutThePivot)
{
    Rig r;
    const Point3d c(0.4, -0.2, 0.1);
    r.hand.SetPivotTranslation(c);
    double x, y;
    ToWindow(c, x, y);
    r.hand.MouseDown(int(x), int(y), kLeft);
    r.hand.MouseMove(int(x) + 70, int(y) + 30, kLeft);
    ExpectNear(r.Image(c), c, 1e-9);
    // A rotation: lengths from the pivot are kept.
    const Point3d p(1, 2, -0.5);
    EXPECT_NEAR((r.Image(p) - c).Norm(), (p - c).Norm(), 1e-9);
    EXPECT_GT((r.Image(p) - p).Norm(), 0.1);
}

TEST(TrackHand, ShiftDragScalesAboutThePivot)
{
    struct Case {
        int dy;
        double factor;
    };
    for (const Case k : {Case{-100, 2.0}, Case{100, 0.5}, Case{-200, 4.0}}) {
        Rig r;
        const Point3d c(0.2, -0.1, 0.3);
        r.hand.SetPivotTranslation(c);
        r.hand.MouseDown(300, 350, kShift | kLeft);
        r.hand.MouseMove(330, 350 + k.dy, kShift | kLeft); // sideways motion does not count
        for (const Point3d &p : {c, Point3d(0, 0, 0), Point3d(1, -2, 0.5)})
            ExpectNear(r.Image(p), c + (p - c) * k.factor, 1e-12);
        // The pivot takes the inverse change: same centre, inverse zoom.
        EXPECT_NEAR(ScaleFactor(r.hand.pivot), 1 / k.factor, 1e-12);
        ExpectNear(r.hand.pivot.Translation(), c, 1e-12);
    }
}

TEST(TrackHand, CtrlAndMiddleDragPanTheScreenPlane)
{
    for (int code : {kCtrl | kLeft, kMiddle}) {
        Rig r;
        const int x0 = 350, y0 = 320, x1 = 470, y1 = 250;
        // The point under the mouse, at the pivot's depth, stays under the mouse.
        const Point3d grabbed = UnderMouse(x0, y0, Point3d(0, 0, 0));
        r.hand.MouseDown(x0, y0, code);
        r.hand.MouseMove(x1, y1, code);
        double x, y;
        ToWindow(r.Image(grabbed), x, y);
        EXPECT_NEAR(x, x1, 1e-6) << code;
        EXPECT_NEAR(y, y1, 1e-6) << code;
        // A pure translation across the line of sight.
        for (int i = 0; i < 12; ++i) {
            if (i % 4 != 3) {
                EXPECT_NEAR(r.hand.model.m.a[i], i % 5 == 0 ? 1 : 0, 1e-12);
            }
        }
        EXPECT_NEAR(Dot(r.hand.model.Translation(), Forward()), 0, 1e-12);
        EXPECT_EQ(r.hand.pivot, Affine());
    }
}

TEST(TrackHand, UnmappedButtonsDragWithTheSphereFromTheirFirstMove)
{
    // The right button (0) and middle + Shift have no row: the sphere, anchored
    // at the first move rather than at the press.
    for (int code : {kNone, kShift | kMiddle}) {
        Rig r;
        r.hand.MouseDown(kCx - 50, kCy, code);
        r.hand.MouseMove(kCx, kCy, code);
        EXPECT_EQ(r.hand.model, Affine());
        r.hand.MouseMove(kCx + 90, kCy, code);
        ExpectRotation(r, Point3d(0, 0, 0), Up(), SphereAngle(90));
    }
}

TEST(TrackHand, ButtonChangeDuringDragSwitchesModeFromWhereItIs)
{
    Rig r;
    r.hand.MouseDown(kCx, kCy, kLeft);
    r.hand.MouseMove(kCx + 60, kCy, kLeft);
    const Affine turned = r.hand.model;
    // The code changes to the middle button: re-anchor here, then pan.
    r.hand.MouseMove(kCx + 60, kCy, kMiddle);
    EXPECT_EQ(r.hand.model, turned);
    EXPECT_EQ(r.hand.button_state, kMiddle);
    r.hand.MouseMove(kCx + 100, kCy - 30, kMiddle);
    // Every model point moved by the same world offset, the one that keeps
    // the point grabbed at the pivot's depth under the mouse.
    const Point3d grabbed = UnderMouse(kCx + 60, kCy, Point3d(0, 0, 0));
    const Point3d offset = UnderMouse(kCx + 100, kCy - 30, Point3d(0, 0, 0)) - grabbed;
    for (const Point3d &p : {Point3d(0, 0, 0), Point3d(1, 0, 0), Point3d(0.2, -1, 0.7)})
        ExpectNear(r.Image(p), p * turned.m + offset, 1e-9);
}

TEST(TrackHand, WheelZoomChangesOnlyThePivotScale)
{
    Rig r;
    r.hand.MouseDown(kCx, kCy, kLeft);
    r.hand.MouseMove(kCx + 30, kCy + 10, kLeft);
    r.hand.MouseUp(kCx + 30, kCy + 10, kLeft);
    r.now += 1000;
    const Affine model = r.hand.model;

    float zoom = 1.0f;
    for (int i = 0; i < 3; ++i) {
        zoom = zoom * 1.1f;
        r.hand.SetPivotScale(zoom);
    }
    EXPECT_EQ(r.hand.model, model);
    EXPECT_NEAR(ScaleFactor(r.hand.pivot), zoom, 1e-12);
    ExpectNear(r.hand.pivot.Translation(), Point3d(0, 0, 0), 0);
}

TEST(TrackHand, PansAfterZoomKeepThePointUnderTheMouse)
{
    // The window scales the scene by zoom after the model, so the same world
    // motion is 1 / zoom as many scene units: pans get slower as it zooms in.
    for (double zoom : {0.5, 2.0}) {
        Rig r;
        r.hand.SetPivotScale(zoom);
        const Point3d grabbed = UnderMouse(420, 280, Point3d(0, 0, 0));
        r.hand.MouseDown(420, 280, kMiddle);
        r.hand.MouseMove(380, 330, kMiddle);
        double x, y;
        ToWindow(r.Image(grabbed), x, y);
        EXPECT_NEAR(x, 380, 1e-6);
        EXPECT_NEAR(y, 330, 1e-6);
        const Point3d sceneMotion = r.hand.model.Translation() / zoom;
        const Point3d worldMotion = UnderMouse(380, 330, Point3d(0, 0, 0)) - grabbed;
        ExpectNear(sceneMotion, worldMotion / zoom, 1e-9);
    }
}

TEST(TrackHand, ZoomEnlargesTheVirtualSphere)
{
    Rig r;
    r.hand.SetPivotScale(2.0);
    r.hand.MouseDown(kCx, kCy, kLeft);
    r.hand.MouseMove(kCx + 100, kCy, kLeft);
    ExpectRotation(r, Point3d(0, 0, 0), Up(), SphereAngle(100, 2.0));
}

TEST(TrackHand, MoveWithoutPressDoesNothing)
{
    Rig r;
    r.hand.MouseMove(kCx + 100, kCy, kLeft);
    r.hand.MouseUp(kCx + 100, kCy, kLeft);
    r.now += 50;
    r.Frame();
    EXPECT_EQ(r.hand.model, Affine());
    EXPECT_FALSE(r.hand.dragging);
    EXPECT_FALSE(r.hand.spinning);
}

TEST(TrackHand, DegenerateViewLeavesTheModelUsable)
{
    Rig r;
    r.view = Transform(); // no viewport yet
    r.Frame();
    r.hand.MouseDown(10, 10, kLeft);
    r.hand.MouseMove(40, 70, kLeft);
    r.hand.MouseUp(40, 70, kLeft);
    r.Frame();
    EXPECT_TRUE(AllFinite(r.hand.model.m));
    EXPECT_TRUE(AllFinite(r.hand.view_frame.m));
}

// ---------------------------------------------------------------- spin

TEST(TrackHandSpin, SlowReleaseDoesNotSpin)
{
    Rig r;
    r.hand.MouseDown(kCx, kCy, kLeft);
    r.now += 60;
    r.hand.MouseMove(kCx + 100, kCy, kLeft);
    const Affine released = r.hand.model;
    r.now += 150; // more than 100 ms after the last sample
    r.hand.MouseUp(kCx + 100, kCy, kLeft);
    EXPECT_FALSE(r.hand.spinning);
    r.now += 500;
    r.Frame();
    EXPECT_EQ(r.hand.model, released);
}

TEST(TrackHandSpin, FastReleaseSpinsAtMostPointFourRadiansPer100ms)
{
    Rig r;
    r.hand.MouseDown(kCx, kCy, kLeft);
    r.now += 60;
    r.hand.MouseMove(kCx + 100, kCy, kLeft);
    const double a = SphereAngle(100);
    ASSERT_GT(a / 70 * 100, 0.4); // fast enough to be capped
    r.now += 10;
    r.hand.MouseUp(kCx + 100, kCy, kLeft);
    ASSERT_TRUE(r.hand.spinning);

    r.Frame();
    ExpectRotation(r, Point3d(0, 0, 0), Up(), a);
    r.now += 50;
    r.Frame();
    ExpectRotation(r, Point3d(0, 0, 0), Up(), a + 0.2);
    r.now += 50;
    r.Frame();
    ExpectRotation(r, Point3d(0, 0, 0), Up(), a + 0.4);
}

TEST(TrackHandSpin, SpinGoesOnAtTheReleaseSpeed)
{
    Rig r;
    r.hand.MouseDown(kCx, kCy, kLeft);
    r.now += 60;
    r.hand.MouseMove(kCx + 20, kCy, kLeft);
    const double a = SphereAngle(20);
    r.now += 10;
    r.hand.MouseUp(kCx + 20, kCy, kLeft);
    ASSERT_TRUE(r.hand.spinning);
    // a was turned in the 70 ms from the press to the release.
    for (int t : {35, 70, 700}) {
        r.now = 1070 + t;
        r.Frame();
        ExpectRotation(r, Point3d(0, 0, 0), Up(), a + a * t / 70, 1e-7);
    }

    // A press stops it where it is.
    r.hand.MouseDown(kCx, kCy, kLeft);
    EXPECT_FALSE(r.hand.spinning);
    const Affine held = r.hand.model;
    r.now += 200;
    r.Frame();
    EXPECT_EQ(r.hand.model, held);
}

TEST(TrackHandSpin, SpinUsesTheLatestSampleInterval)
{
    Rig r;
    r.hand.MouseDown(kCx, kCy, kLeft);
    r.now += 60;
    r.hand.MouseMove(kCx + 10, kCy, kLeft); // sample at 1060
    r.now += 60;
    r.hand.MouseMove(kCx + 40, kCy, kLeft); // sample at 1120: 1060..now is the interval
    r.now += 20;
    r.hand.MouseUp(kCx + 40, kCy, kLeft);
    ASSERT_TRUE(r.hand.spinning);
    // From the 1060 sample (the model after the press, still the identity
    // then) to the release at 1140: SphereAngle(40) in 80 ms.
    const double a = SphereAngle(40);
    r.now = 1140 + 40;
    r.Frame();
    ExpectRotation(r, Point3d(0, 0, 0), Up(), a + a * 40 / 80, 1e-7);
}

TEST(TrackHandSpin, NothingSpinsWhenSpinIsOffOrTooSlow)
{
    {
        Rig r;
        r.hand.EnableSpin(false);
        r.hand.MouseDown(kCx, kCy, kLeft);
        r.now += 60;
        r.hand.MouseMove(kCx + 100, kCy, kLeft);
        r.now += 10;
        r.hand.MouseUp(kCx + 100, kCy, kLeft);
        const Affine released = r.hand.model;
        r.now += 100;
        r.Frame();
        EXPECT_EQ(r.hand.model, released);
    }
    {
        // 1 pixel in 70 ms is below 0.01 radians per 100 ms.
        Rig r;
        ASSERT_LT(SphereAngle(1) / 70 * 100, 0.01);
        r.hand.MouseDown(kCx, kCy, kLeft);
        r.now += 60;
        r.hand.MouseMove(kCx + 1, kCy, kLeft);
        r.now += 10;
        r.hand.MouseUp(kCx + 1, kCy, kLeft);
        EXPECT_FALSE(r.hand.spinning);
    }
    {
        // Switching the spin off stops a running one.
        Rig r;
        r.hand.MouseDown(kCx, kCy, kLeft);
        r.now += 60;
        r.hand.MouseMove(kCx + 50, kCy, kLeft);
        r.now += 10;
        r.hand.MouseUp(kCx + 50, kCy, kLeft);
        ASSERT_TRUE(r.hand.spinning);
        r.hand.EnableSpin(false);
        EXPECT_FALSE(r.hand.spinning);
    }
}

TEST(TrackHandSpin, PanAndScaleLeaveNoSpin)
{
    for (int code : {kMiddle, kShift | kLeft}) {
        Rig r;
        r.hand.MouseDown(kCx, kCy, code);
        r.now += 60;
        r.hand.MouseMove(kCx + 100, kCy - 100, code);
        r.now += 10;
        r.hand.MouseUp(kCx + 100, kCy - 100, code);
        EXPECT_FALSE(r.hand.spinning) << code;
    }
}

TEST(TrackHandSpin, NegatedQuaternionSpinsTheSameWay)
{
    // q and -q are one rotation: 0.2 rad about Y per 100 ms either way.
    for (double sign : {1.0, -1.0}) {
        Rig r;
        r.hand.spinning = true;
        r.hand.time0 = 900;
        r.hand.time1 = 1000;
        const Point4d q = QuaternionFromAngleAxis(0.2, Point3d(0, 1, 0));
        r.hand.spin_rotation = Point4d(sign * q[0], sign * q[1], sign * q[2], sign * q[3]);
        r.now = 1050;
        r.Frame();
        ExpectRotation(r, Point3d(0, 0, 0), Point3d(0, 1, 0), 0.1, 1e-12);
    }
}

TEST(TrackHandSpin, RoundedOrStaleSpinStateStaysFinite)
{
    Rig r;
    r.hand.spinning = true;
    r.hand.time0 = 900;
    r.hand.time1 = 1000;
    // A scalar part a hair above 1 (rounding) would make acos NaN.
    r.hand.spin_rotation = Point4d(std::nextafter(1.0, 2.0), 0, 1e-9, 0);
    r.now = 1100;
    EXPECT_TRUE(AllFinite(r.Frame()));
    // Equal sample times leave nothing to divide by: the spin stops.
    r.hand.time0 = r.hand.time1;
    r.hand.spin_rotation = QuaternionFromAngleAxis(0.2, Point3d(0, 1, 0));
    const Affine held = r.hand.model;
    EXPECT_TRUE(AllFinite(r.Frame()));
    EXPECT_EQ(r.hand.model, held);
    EXPECT_FALSE(r.hand.spinning);
}

// ---------------------------------------------------------------- set translation / scale

TEST(TrackHandSetters, TranslationKinds)
{
    Rig r;
    r.hand.MouseDown(kCx, kCy, kLeft);
    r.hand.MouseMove(kCx + 50, kCy + 30, kLeft);
    r.hand.MouseUp(kCx + 50, kCy + 30, kLeft);
    r.now += 1000;
    const Affine model = r.hand.model;

    r.hand.SetTranslation(Hand::PIVOT, Point3d(1, 2, 3));
    ExpectNear(r.hand.pivot.Translation(), Point3d(1, 2, 3), 0);
    EXPECT_EQ(r.hand.model, model);

    r.hand.SetTranslation(Hand::MODEL, Point3d(-1, 0, 4));
    ExpectNear(r.hand.model.Translation(), Point3d(-1, 0, 4), 0);

    // Kind 2 moves the model and keeps pivot x model.
    const Matrix44d composite = r.hand.pivot.m * r.hand.model.m;
    r.hand.SetTranslation(Hand::MODEL_KEEP_COMPOSITE, Point3d(0.5, 0.5, -1));
    ExpectNear(r.hand.model.Translation(), Point3d(-0.5, 0.5, 3), 1e-15);
    const Matrix44d after = r.hand.pivot.m * r.hand.model.m;
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(after.a[i], composite.a[i], 1e-12);
}

TEST(TrackHandSetters, ScaleKinds)
{
    Rig r;
    r.hand.MouseDown(kCx, kCy, kLeft);
    r.hand.MouseMove(kCx + 50, kCy + 30, kLeft);
    r.hand.MouseUp(kCx + 50, kCy + 30, kLeft);
    r.hand.SetTranslation(Hand::MODEL, Point3d(1, 0, 0));
    const Affine model = r.hand.model;

    r.hand.SetScale(Hand::MODEL, 3);
    EXPECT_NEAR(ScaleFactor(r.hand.model), 3, 1e-12);
    ExpectNear(r.hand.model.Translation(), Point3d(1, 0, 0), 0);
    for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10})
        EXPECT_NEAR(r.hand.model.m.a[i], 3 * model.m.a[i], 1e-12);

    const Matrix44d composite = r.hand.pivot.m * r.hand.model.m;
    r.hand.SetScale(Hand::MODEL_KEEP_COMPOSITE, 0.5);
    EXPECT_NEAR(ScaleFactor(r.hand.model), 0.5, 1e-12);
    const Matrix44d after = r.hand.pivot.m * r.hand.model.m;
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(after.a[i], composite.a[i], 1e-12);

    // Scales that would poison every later transform are refused.
    const Affine pivot = r.hand.pivot;
    for (double bad : {0.0, -1.0, double(INFINITY), double(NAN)})
        r.hand.SetPivotScale(bad);
    EXPECT_EQ(r.hand.pivot, pivot);
}

// Reset mid-spin and mid-drag: the model is the identity again, nothing
// turns on later frames, and the next gesture starts afresh.
TEST(TrackHandSpin, ResetStopsTheSpinAndForgetsTheGesture)
{
    Rig r;
    r.hand.MouseDown(kCx, kCy, kLeft);
    r.now += 60;
    r.hand.MouseMove(kCx + 100, kCy, kLeft);
    r.now += 10;
    r.hand.MouseUp(kCx + 100, kCy, kLeft);
    ASSERT_TRUE(r.hand.spinning);
    r.hand.MouseDown(kCx, kCy, kLeft); // held while resetting
    r.hand.Reset();
    EXPECT_FALSE(r.hand.spinning);
    EXPECT_FALSE(r.hand.dragging);
    EXPECT_EQ(r.hand.button_state, 0);
    EXPECT_TRUE(r.hand.spin_enabled);
    r.now += 100;
    r.Frame();
    EXPECT_TRUE(r.hand.model == Affine());
    r.hand.MouseMove(kCx + 50, kCy, kLeft); // the old press is gone
    r.Frame();
    EXPECT_TRUE(r.hand.model == Affine());
}
