#include <gtest/gtest.h>

#include "nuk/Box3.h"

using namespace nuk;

TEST(Box3, NewBoxIsNullAndFirstPointMakesItAPoint)
{
    Box3f b;
    EXPECT_TRUE(b.IsNull());
    b.Add(Point3f(2, -3, 4));
    EXPECT_FALSE(b.IsNull());
    EXPECT_EQ(b.min, Point3f(2, -3, 4));
    EXPECT_EQ(b.max, Point3f(2, -3, 4));
}

TEST(Box3, AddingTheNullBoxesOwnCornerStillWorks)
{
    // (1, 1, 1) is the null box's min: it must not be mistaken for a real corner.
    Box3f b;
    b.Add(Point3f(1, 1, 1));
    EXPECT_EQ(b.min, Point3f(1, 1, 1));
    EXPECT_EQ(b.max, Point3f(1, 1, 1));
    EXPECT_FALSE(b.IsNull());
}

TEST(Box3, GrowsPerComponent)
{
    Box3f b;
    b.Add(Point3f(0, 0, 0));
    b.Add(Point3f(-1, 5, 2));
    b.Add(Point3f(3, -2, 1));
    EXPECT_EQ(b.min, Point3f(-1, -2, 0));
    EXPECT_EQ(b.max, Point3f(3, 5, 2));
    b.SetNull();
    EXPECT_TRUE(b.IsNull());
    // Null as soon as any one axis is inverted.
    EXPECT_TRUE(Box3f(Point3f(0, 0, 1), Point3f(1, 1, 0)).IsNull());
}
