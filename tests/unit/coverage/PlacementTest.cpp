// "Fit model to object": the fitted box from the box's corners.

#include <gtest/gtest.h>

#include "coverage/Placement.h"

using coverage::FitToObject;
using coverage::Placement;
using nuk::Box3f;
using nuk::Point3f;

namespace
{

Box3f Moved(const Box3f &b, const Placement &p) { return Box3f(p.ToPlan(b.min), p.ToPlan(b.max)); }

} // namespace

TEST(Placement, FitCentresOnTheAxisWithTheBackOnThePlate)
{
    struct Case {
        Box3f box;
        float objectSize;
        Point3f size; // of the fitted box
    };
    const Case cases[] = {
        // Wider than tall: X becomes the object size.
        {Box3f(Point3f(10, 20, 30), Point3f(50, 40, 35)), 250, Point3f(250, 125, 31.25f)},
        // Taller than wide: Y does; Z scales alike.
        {Box3f(Point3f(-5, -100, -7), Point3f(5, 300, 13)), 100, Point3f(2.5f, 100, 5)},
        // Already the right size, somewhere else.
        {Box3f(Point3f(1000, 1000, 1000), Point3f(1250, 1100, 1010)), 250, Point3f(250, 100, 10)},
    };
    for (const Case &c : cases) {
        const Placement p = FitToObject(c.box, c.objectSize);
        const Box3f f = Moved(c.box, p);
        EXPECT_NEAR(f.Center().x, 0, 1e-3);
        EXPECT_NEAR(f.Center().y, 0, 1e-3);
        EXPECT_NEAR(f.min.z, coverage::kPlateZ, 1e-3);
        EXPECT_NEAR(f.Dim().x, c.size.x, 1e-3);
        EXPECT_NEAR(f.Dim().y, c.size.y, 1e-3);
        EXPECT_NEAR(f.Dim().z, c.size.z, 1e-3);
        const Point3f q(17, -3, 40);
        const Point3f back = p.ToModel(p.ToPlan(q));
        EXPECT_NEAR(back.x, q.x, 1e-3);
        EXPECT_NEAR(back.y, q.y, 1e-3);
        EXPECT_NEAR(back.z, q.z, 1e-3);
    }
}

TEST(Placement, BoxesWithoutWidthAreMovedNotScaled)
{
    EXPECT_TRUE(FitToObject(Box3f(), 250).IsIdentity()); // no model
    const Placement line = FitToObject(Box3f(Point3f(3, 4, 0), Point3f(3, 4, 50)), 250);
    EXPECT_EQ(line.scale, 1.0f);
    EXPECT_EQ(line.ToPlan(Point3f(3, 4, 0)), Point3f(0, 0, coverage::kPlateZ));
    EXPECT_TRUE(line.IsValid());
    Placement bad;
    bad.scale = 0;
    EXPECT_FALSE(bad.IsValid());
}
