#include <gtest/gtest.h>

#include "nuk/Point2.h"
#include "nuk/Point3.h"
#include "nuk/Point4.h"

using namespace nuk;

TEST(Point3, ArithmeticAndProducts)
{
    const Point3f a(1, 2, 3), b(4, -5, 6);
    EXPECT_EQ(a + b, Point3f(5, -3, 9));
    EXPECT_EQ(a - b, Point3f(-3, 7, -3));
    EXPECT_EQ(-a, Point3f(-1, -2, -3));
    EXPECT_EQ(a * 2.0f, Point3f(2, 4, 6));
    EXPECT_EQ(b / 2.0f, Point3f(2, -2.5f, 3));
    EXPECT_FLOAT_EQ(a * b, 1 * 4 + 2 * -5 + 3 * 6);
    // a x b is perpendicular to both and follows the right-hand rule.
    EXPECT_EQ(Point3f(1, 0, 0) ^ Point3f(0, 1, 0), Point3f(0, 0, 1));
    const Point3f c = a ^ b;
    EXPECT_FLOAT_EQ(c * a, 0);
    EXPECT_FLOAT_EQ(c * b, 0);
    Point3f d = a;
    d += b;
    d -= a;
    EXPECT_EQ(d, b);
}

TEST(Point3, NormalizeLeavesZeroVectorAlone)
{
    Point3f z(0, 0, 0);
    z.Normalize();
    EXPECT_EQ(z, Point3f(0, 0, 0));
    Point3d p(3, 0, 4);
    p.Normalize();
    EXPECT_DOUBLE_EQ(p.x, 0.6);
    EXPECT_DOUBLE_EQ(p.z, 0.8);
    EXPECT_DOUBLE_EQ(Point3d(2, 3, 6).Norm(), 7);
}

TEST(Point3, IndexedAccessReadsAndWritesComponents)
{
    Point3f p(1, 2, 3);
    p[1] = 7;
    EXPECT_EQ(p.y, 7);
    EXPECT_EQ(p[0], 1);
    EXPECT_EQ(p[2], 3);
    Point4d q(1, 2, 3, 4);
    q[3] = 9;
    EXPECT_EQ(q[3], 9);
    Point2<int> r(5, 6);
    EXPECT_EQ(r[1], 6);
}

TEST(Point3, TriangleNormals)
{
    const Point3f p0(0, 0, 0), p1(2, 0, 0), p2(0, 3, 0);
    // The raw normal's length is twice the triangle's area.
    EXPECT_EQ(Normal(p0, p1, p2), Point3f(0, 0, 6));
    EXPECT_EQ(NormalizedNormal(p0, p1, p2), Point3f(0, 0, 1));
    // Degenerate triangle: zero normal, no NaN.
    EXPECT_EQ(NormalizedNormal(p0, p1, p1), Point3f(0, 0, 0));
}

using PointDeathTest = ::testing::Test;

TEST(PointDeathTest, OutOfRangeIndexReportsExpressionAndLibraryPath)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Point3f p(1, 2, 3);
    volatile int i = 3;
    EXPECT_DEATH(p[i] = 0, "^Assertion failed: i>=0 && i<3, file nuk/Point3, line [0-9]+\n");
    i = -1;
    const Point3d cp(1, 2, 3);
    EXPECT_DEATH((void)cp[i], "Assertion failed: i>=0 && i<3, file nuk/Point3, line [0-9]+");
    Point4d q(1, 2, 3, 4);
    i = 4;
    EXPECT_DEATH(q[i] = 0, "Assertion failed: i>=0 && i<4, file nuk/Point4, line [0-9]+");
    Point2<float> r(1, 2);
    i = 2;
    EXPECT_DEATH(r[i] = 0, "Assertion failed: i>=0 && i<2, file nuk/Point2, line [0-9]+");
}
