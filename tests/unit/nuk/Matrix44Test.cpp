#include <gtest/gtest.h>

#include "nuk/Matrix44.h"

using namespace nuk;

namespace
{

Matrix44d sample()
{
    Matrix44d m;
    const double v[16] = {2, 1, 0, 3, -1, 4, 2, 0, 0.5, 0, 3, 1, 1, 2, -1, 5};
    for (int i = 0; i < 16; ++i)
        m[i] = v[i];
    return m;
}

void expectNear(const Matrix44d &a, const Matrix44d &b, double eps)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a[i], b[i], eps) << "element " << i;
}

} // namespace

TEST(Matrix44, ProductFollowsRowTimesColumnAndMayAlias)
{
    Matrix44d a = sample();
    Matrix44d id = Matrix44d::Identity();
    EXPECT_EQ(a * id, a);
    EXPECT_EQ(id * a, a);
    Matrix44d b = a.Transposed();
    // (A B)(0, 1) = row 0 of A . column 1 of B = row 0 of A . row 1 of A.
    const Matrix44d c = a * b;
    EXPECT_DOUBLE_EQ(c.ElementAt(0, 1), 2 * -1 + 1 * 4 + 0 * 2 + 3 * 0);
    Matrix44d alias = a;
    alias = alias * b;
    EXPECT_EQ(alias, c);
    alias = a;
    alias *= alias;
    EXPECT_EQ(alias, a * a);
}

TEST(Matrix44, InverseTimesMatrixIsIdentity)
{
    const Matrix44d a = sample();
    expectNear(a.Inverse() * a, Matrix44d::Identity(), 1e-12);
    expectNear(a * a.Inverse(), Matrix44d::Identity(), 1e-12);
    // A translation's inverse is the opposite translation.
    const Matrix44d t = Matrix44d::Translation(Point3d(1, -2, 3));
    expectNear(t.Inverse(), Matrix44d::Translation(Point3d(-1, 2, -3)), 0);
}

TEST(Matrix44, SingularMatrixInvertsToIdentity)
{
    Matrix44d s = sample();
    for (int c = 0; c < 4; ++c)
        s.ElementAt(2, c) = 2 * s.ElementAt(0, c); // rows 0 and 2 dependent
    s.Invert();
    EXPECT_EQ(s, Matrix44d::Identity());
    Matrix44d z;
    z.SetZero();
    EXPECT_EQ(z.Inverse(), Matrix44d::Identity());
}

TEST(Matrix44, PointTransformDividesByWUnlessZero)
{
    Matrix44d m;
    m.SetIdentity();
    m[15] = 2; // GL order: w = 2 for every point
    EXPECT_EQ(Point3d(2, 4, 6) * m, Point3d(1, 2, 3));
    m[15] = 0; // w = 0: the result comes back undivided
    EXPECT_EQ(Point3d(2, 4, 6) * m, Point3d(2, 4, 6));
    // Math order reads the same storage transposed.
    const Matrix44d a = sample();
    const Point3d p(0.25, -1.5, 2);
    const Point3d gl = p * a.Transposed();
    const Point3d math = a * p;
    EXPECT_NEAR(gl.x, math.x, 1e-12);
    EXPECT_NEAR(gl.y, math.y, 1e-12);
    EXPECT_NEAR(gl.z, math.z, 1e-12);
}

TEST(Matrix44, TranslationAndScaleInGlOrder)
{
    const Matrix44d t = Matrix44d::Translation(Point3d(1, 2, 3));
    EXPECT_EQ(t[12], 1);
    EXPECT_EQ(t[13], 2);
    EXPECT_EQ(t[14], 3);
    EXPECT_EQ(Point3d(1, 1, 1) * t, Point3d(2, 3, 4));
    Matrix44d s;
    s.SetScale(2, 3, 4);
    EXPECT_EQ(Point3d(1, 1, 1) * s, Point3d(2, 3, 4));
    EXPECT_EQ(s[15], 1);
    EXPECT_EQ(s[12], 0);
}

TEST(Matrix44, RotationAboutUnnormalisedAxis)
{
    Matrix44d r;
    r.SetRotate(90, Point3d(0, 0, 2));
    EXPECT_NEAR(r[0], 0, 1e-15);
    EXPECT_DOUBLE_EQ(r[1], 1);
    EXPECT_DOUBLE_EQ(r[4], -1);
    EXPECT_NEAR(r[5], 0, 1e-15);
    EXPECT_DOUBLE_EQ(r[10], 1);
    EXPECT_DOUBLE_EQ(r[15], 1);
    // Counter-clockwise about +z: x goes to y.
    const Point3d p = Point3d(1, 0, 0) * r;
    EXPECT_NEAR(p.x, 0, 1e-15);
    EXPECT_NEAR(p.y, 1, 1e-15);

    Matrix44f rf;
    rf.SetRotate(90, Point3f(0, 0, 2));
    EXPECT_FLOAT_EQ(rf[1], 1);
    EXPECT_FLOAT_EQ(rf[4], -1);
}

TEST(Matrix44, RotationAboutYIsRightHanded)
{
    // (x, y, z) -> (x cos t + z sin t, y, -x sin t + z cos t)
    Matrix44d r;
    r.SetRotate(30, Point3d(0, 1, 0));
    const Point3d p = Point3d(2, 5, 1) * r;
    const double t = 30 * 3.141592653589793 / 180;
    EXPECT_NEAR(p.x, 2 * std::cos(t) + 1 * std::sin(t), 1e-14);
    EXPECT_NEAR(p.y, 5, 1e-14);
    EXPECT_NEAR(p.z, -2 * std::sin(t) + 1 * std::cos(t), 1e-14);
    // The caller's axis is not normalised in place.
    Point3d axis(0, 3, 0);
    r.SetRotate(10, axis);
    EXPECT_EQ(axis, Point3d(0, 3, 0));
    // A zero axis leaves only the cosine on the diagonal.
    r.SetRotate(60, Point3d(0, 0, 0));
    EXPECT_NEAR(r[0], 0.5, 1e-15);
    EXPECT_EQ(r[1], 0);
}

TEST(Matrix44, FloatRotationRoundsAngleAndTermsToSinglePrecision)
{
    // 60 degrees with the float pi (slightly above pi) lands just past pi/3:
    // cos comes out as the float just below 0.5, not 0.5.
    Matrix44f r;
    r.SetRotate(60, Point3f(0, 1, 0));
    const float theta = static_cast<float>(60.0L * 3.1415927f / 180);
    EXPECT_EQ(r[0], static_cast<float>(std::cos(static_cast<double>(theta))));
    EXPECT_LT(r[0], 0.5f);
    EXPECT_EQ(r[8], static_cast<float>(std::sin(static_cast<double>(theta))));
}
