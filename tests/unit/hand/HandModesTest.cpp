#include <gtest/gtest.h>

#include <cmath>

#include "ViewRig.h"

using namespace nuk;
using namespace rig;
using namespace nuk::HandButton;

namespace
{

const Matrix44d kI = Matrix44d::Identity();

void ExpectNear(const Point3d &got, const Point3d &want, double tol = 1e-12)
{
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

Point3d Moved(const Matrix44d &m) { return Point3d(0, 0, 0) * m; }

} // namespace

// ---------------------------------------------------------------- view record

TEST(Transform, ProjectsLikeThePinholeCamera)
{
    const Transform view = WindowView();
    for (const Point3d &p : {Point3d(0, 0, 0), Point3d(0.5, -0.3, 0.2), Point3d(-1, 1, -1)}) {
        double x, y;
        ToWindow(p, x, y);
        const Point3d w = view.Project(p);
        EXPECT_NEAR(w.x, x, 1e-9);
        EXPECT_NEAR(w.y, kHeight - y, 1e-9); // project gives OpenGL's upward y
    }
    const Point3d centre = view.Project(Point3d(0, 0, 0));
    EXPECT_NEAR(centre.x, kWidth / 2, 1e-9);
    EXPECT_NEAR(centre.y, kHeight / 2, 1e-9);
}

TEST(Transform, UnProjectUndoesProjectWithDownwardY)
{
    const Transform view = WindowView();
    for (const Point3d &p : {Point3d(0.5, -0.3, 0.2), Point3d(2, 1, -3)}) {
        const Point3d w = view.Project(p);
        ExpectNear(view.UnProject(Point3d(w.x, kHeight - w.y, w.z)), p, 1e-9);
    }
    // And a pixel lands on the camera ray through it.
    const Point3d w = view.Project(Point3d(0, 0, 0));
    ExpectNear(view.UnProject(Point3d(500, 200, w.z)), UnderMouse(500, 200, Point3d(0, 0, 0)), 1e-9);
}

// ---------------------------------------------------------------- modes

TEST(HandModes, SphereAtThePoleIsTheIdentity)
{
    Hand::SphereMode s;
    EXPECT_EQ(s.Apply(Point3d(0, 0, 0), kI, Affine()), kI);
}

TEST(HandModes, SphereTurnsThePoleOntoThePoint)
{
    Hand::SphereMode s;
    // Inside the sphere part the pole goes to (x, y, sqrt(1 - x^2 - y^2)).
    const Point3d p(0.3, -0.4, 0);
    const Matrix44d m = s.Apply(p, kI, Affine());
    ExpectNear(Point3d(0, 0, 1) * m, Point3d(0.3, -0.4, std::sqrt(0.75)), 1e-8);
    // Rotations only.
    EXPECT_NEAR(ScaleFactor(m), 1, 1e-12);
}

TEST(HandModes, SphereIsContinuousAndGrowsOutside)
{
    Hand::SphereMode s;
    const double r = std::sqrt(0.5);
    auto angle = [&](double x) {
        const Point3d q = Point3d(0, 0, 1) * s.Apply(Point3d(x, 0, 0), kI, Affine());
        return std::atan2(q.x, q.z);
    };
    EXPECT_NEAR(angle(r - 1e-9), angle(r + 1e-9), 1e-6);
    // 45 degrees at the seam, more beyond, and never NaN far out.
    EXPECT_NEAR(angle(r), rig::kPi / 4, 1e-6);
    EXPECT_GT(angle(1.0), angle(r) + 0.1);
    for (double x : {3.0, 50.0, 1e6})
        EXPECT_TRUE(std::isfinite(angle(x)));
}

TEST(HandModes, ScaleDoublesPerHundredUnitsUp)
{
    Hand::ScaleMode s;
    EXPECT_EQ(s.Apply(Point3d(7, -100, 0), kI, Affine()), Matrix44d::Scale(2));
    EXPECT_EQ(s.Apply(Point3d(0, 200, 0), kI, Affine()), Matrix44d::Scale(0.25));
}

TEST(HandModes, PlaneMovesAlongItsAxesOnScreen)
{
    Hand::PlaneMode m;
    const Point3d p(0.25, -0.5, 0.75);
    // X, Y: the screen plane itself.
    ExpectNear(Moved(m.Apply(p, kI, Affine())), Point3d(0.25, -0.5, 0));
    // Z, Y: Z points at the viewer, so it is bent onto the screen's free direction.
    m.first_axis = Point3d(0, 0, 2);
    m.second_axis = Point3d(0, 1, 0);
    const Point3d zy = Moved(m.Apply(p, kI, Affine()));
    EXPECT_EQ(zy.x, 0);
    EXPECT_NEAR(zy.y, -0.5, 1e-12);
    EXPECT_NEAR(std::fabs(zy.z), 0.25, 1e-12);
    // X, Z: X keeps the horizontal, Z takes the vertical.
    m.first_axis = Point3d(1, 0, 0);
    m.second_axis = Point3d(0, 0, 1);
    const Point3d xz = Moved(m.Apply(p, kI, Affine()));
    EXPECT_NEAR(xz.x, 0.25, 1e-12);
    EXPECT_EQ(xz.y, 0);
    EXPECT_NEAR(std::fabs(xz.z), 0.5, 1e-12);
}

TEST(HandModes, LineMovesOnlyAlongItsAxis)
{
    Hand::LineMode l;
    l.axis = Point3d(0, 3, 0);
    EXPECT_TRUE((Moved(l.Apply(Point3d(0.4, -0.6, 0), kI, Affine())) == Point3d(0, -0.6, 0)));
    EXPECT_GE(l.Distance(Point3d(0.05, 5, 0)), 0);
    EXPECT_LT(l.Distance(Point3d(1, 5, 0)), 0);
}

TEST(HandModes, CylinderTurnsAboutItsAxis)
{
    Hand::CylinderMode c;
    c.axis = Point3d(0, 1, 0);
    const Matrix44d m = c.Apply(Point3d(0.3, 0, 0), kI, Affine());
    ExpectNear(Point3d(0, 2, 0) * m, Point3d(0, 2, 0));
    // Motion across the vertical axis: 0.3 units, 0.3 radians.
    const Point3d q = Point3d(1, 0, 0) * m;
    EXPECT_NEAR(std::acos(q.x), 0.3, 1e-12);
    c.flag = true;
    const Point3d back = Point3d(1, 0, 0) * c.Apply(Point3d(0.3, 0, 0), kI, Affine());
    EXPECT_NEAR(back.z, -q.z, 1e-12);
}

// ---------------------------------------------------------------- mapping

TEST(TrackHandMapping, ButtonCodesChooseTheirModes)
{
    TrackHand t([] { return std::int64_t(0); });
    EXPECT_EQ(t.current_mode, nullptr);
    struct Case {
        int code;
        const Hand::TrackMode *mode;
    };
    for (const Case k :
         {Case{kLeft, &t.sphere_mode}, Case{kCtrl | kLeft, &t.plane_mode}, Case{kMiddle, &t.plane_mode},
          Case{kShift | kLeft, &t.scale_mode}, Case{kNone, &t.sphere_mode}, Case{kCtrl | kMiddle, &t.sphere_mode}}) {
        t.MouseDown(100, 100, k.code);
        EXPECT_EQ(t.current_mode, k.mode) << k.code;
        t.MouseUp(100, 100, k.code);
    }
    // Shift-scaling changes the model and hands the inverse to the pivot; in window units.
    t.MouseDown(100, 100, kShift | kLeft);
    EXPECT_EQ(t.current_mode->target, Hand::MODEL_KEEP_COMPOSITE);
    EXPECT_EQ(t.current_mode->space, Hand::WINDOW_SPACE);
}

TEST(TrackHandMapping, HandleRowsKeepTheirModes)
{
    // The handle rows cannot be reached by a gesture but stay selectable.
    TrackHand t([] { return std::int64_t(0); });
    int handleRows = 0;
    for (const TrackHand::MyMode &row : t.mappings) {
        if (row.mask != (kHandle | kLeft)) continue;
        ++handleRows;
        t.Select(row);
        ASSERT_NE(t.current_mode, nullptr);
        EXPECT_EQ(t.mode_changed, 1);
        EXPECT_EQ(t.current_mode->space, Hand::HANDLE_SPACE);
        const Point3d p(0.2, 0.1, 0);
        EXPECT_FALSE(t.current_mode->Apply(p, kI, Affine()) == kI) << int(row.kind);
    }
    EXPECT_EQ(handleRows, 9);
}

TEST(TrackHandMapping, ModeKindsSelectAndConfigureTheirObjects)
{
    TrackHand t([] { return std::int64_t(0); });
    const Point3d X(1, 0, 0), Y(0, 1, 0), Z(0, 0, 1);
    struct Case {
        std::uint8_t kind;
        const Hand::TrackMode *mode;
        Point3d first, second; // axes; unused ones zero
    };
    using namespace nuk::HandModeKind;
    const Point3d O(0, 0, 0);
    for (const Case &k :
         {Case{kSphere, &t.sphere_mode, O, O}, Case{kCylinderX, &t.cylinder_mode, X, O},
          Case{kCylinderY, &t.cylinder_mode, Y, O}, Case{kCylinderZ, &t.cylinder_mode, Z, O},
          Case{kLineX, &t.line_mode, X, O}, Case{kLineY, &t.line_mode, Y, O}, Case{kLineZ, &t.line_mode, Z, O},
          Case{kPlaneXY, &t.plane_mode, X, Y}, Case{kPlaneZY, &t.plane_mode, Z, Y}, Case{kPlaneXZ, &t.plane_mode, X, Z},
          Case{kScale, &t.scale_mode, O, O}, Case{kScale + 1, &t.track_mode, O, O}}) {
        t.Select({k.kind, Hand::WINDOW_SPACE, Hand::PIVOT, kLeft});
        ASSERT_EQ(t.current_mode, k.mode) << int(k.kind);
        EXPECT_EQ(t.current_mode->space, Hand::WINDOW_SPACE);
        EXPECT_EQ(t.current_mode->target, Hand::PIVOT);
        if (k.mode == &t.cylinder_mode) {
            EXPECT_EQ(t.cylinder_mode.axis, k.first) << int(k.kind);
        }
        if (k.mode == &t.line_mode) {
            EXPECT_EQ(t.line_mode.axis, k.first) << int(k.kind);
        }
        if (k.mode == &t.plane_mode) {
            EXPECT_EQ(t.plane_mode.first_axis, k.first) << int(k.kind);
            EXPECT_EQ(t.plane_mode.second_axis, k.second) << int(k.kind);
        }
    }
}
