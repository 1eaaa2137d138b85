#include <gtest/gtest.h>

#include "nuk/Affine.h"

using namespace nuk; // kPi among them

TEST(Affine, StartsAsIdentity)
{
    Affine a;
    EXPECT_EQ(a.m, Matrix44d::Identity());
    EXPECT_DOUBLE_EQ(ScaleFactor(a), 1);
}

TEST(Affine, SetScaleOnIdentity)
{
    Affine a;
    SetScale(a, 2.5);
    EXPECT_DOUBLE_EQ(a[0], 2.5);
    EXPECT_DOUBLE_EQ(a[5], 2.5);
    EXPECT_DOUBLE_EQ(a[10], 2.5);
    EXPECT_EQ(a[15], 1);
    EXPECT_EQ(a[1], 0);
}

TEST(Affine, SetScaleKeepsRotationAndTranslation)
{
    Affine a;
    a.m.SetRotate(40, Point3d(1, 2, 3));
    a.m = a.m * Matrix44d::Translation(Point3d(4, 5, 6));
    const Affine before = a;
    SetScale(a, 3);
    EXPECT_NEAR(ScaleFactor(a), 3, 1e-12);
    for (int i = 12; i < 15; ++i)
        EXPECT_EQ(a[i], before[i]);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(a.m.ElementAt(r, c), 3 * before.m.ElementAt(r, c), 1e-12);
    // Normalising the block gives the rotation back.
    const Block33 n = Normalized33(a.m);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(n[3 * r + c], before.m.ElementAt(r, c), 1e-12);
}

TEST(Affine, DeterminantOfBlock)
{
    Matrix44d m;
    m.SetScale(2, 3, 4);
    EXPECT_DOUBLE_EQ(Det33(Extract33(m)), 24);
    m.SetRotate(73, Point3d(1, -1, 0.5));
    EXPECT_NEAR(Det33(Extract33(m)), 1, 1e-14);
}

TEST(Quaternion, ZeroAngleAndIdentity)
{
    const Point4d q = QuaternionFromAngleAxis(0, Point3d(0.3, 7, -2));
    EXPECT_EQ(q, Point4d(1, 0, 0, 0));
    double angle = 5;
    Point3d axis(9, 9, 9);
    ToAngleAxis(Point4d(1, 0, 0, 0), angle, axis);
    EXPECT_EQ(angle, 0);
    EXPECT_EQ(axis, Point3d(0, 0, 0));
}

TEST(Quaternion, AxisIsUsedAsGiven)
{
    const Point4d q = QuaternionFromAngleAxis(kPi / 2, Point3d(0, 0, 2));
    EXPECT_NEAR(q[3], 2 * std::sin(kPi / 4), 1e-15);
}

// Rotation matrix -> quaternion -> angle and axis gives the rotation back,
// through each of the four branches of the conversion.
TEST(Quaternion, RoundTripThroughRotationMatrix)
{
    struct Case {
        double deg;
        Point3d axis;
    } cases[] = {
        {30, Point3d(0, 0, 1)},  // trace branch
        {179, Point3d(1, 0, 0)}, // x dominant
        {179, Point3d(0, 1, 0)}, // y dominant
        {179, Point3d(0, 0, 1)}, // z dominant
        {180, Point3d(0, 0, 1)}, // z exactly, trace 0
        {120, Point3d(1, 1, 1)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.deg);
        Point3d unit = c.axis;
        unit.Normalize();
        // Transposed so that the block is the rotation in math order.
        Matrix44d r;
        r.SetRotate(c.deg, c.axis);
        const Point4d q = QuaternionFrom33(Extract33(r.Transposed()));
        double angle;
        Point3d axis;
        ToAngleAxis(q, angle, axis);
        const double expect = c.deg * kPi / 180;
        // q and -q are the same rotation.
        const double sign = angle < 0 ? -1 : 1;
        EXPECT_NEAR(std::fabs(angle), expect, 1e-9);
        const double s = std::sin(expect / 2);
        EXPECT_NEAR(sign * axis.x, unit.x * s, 1e-9);
        EXPECT_NEAR(sign * axis.y, unit.y * s, 1e-9);
        EXPECT_NEAR(sign * axis.z, unit.z * s, 1e-9);
        // And back: the quaternion built from angle and axis matches q.
        const Point4d q2 = QuaternionFromAngleAxis(angle, axis * (1 / s));
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(q2[i], q[i], 1e-9);
    }
}

TEST(Quaternion, NegativeScalarGivesNegativeAngle)
{
    double angle;
    Point3d axis;
    ToAngleAxis(Point4d(-0.5, 0, 0, std::sqrt(0.75)), angle, axis);
    EXPECT_NEAR(angle, -4 * kPi / 3, 1e-12);
}
