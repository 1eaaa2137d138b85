#include <cmath>
#include <cstring>
#include <array>
#include <string>
#include <initializer_list>
#include <utility>

#include <gtest/gtest.h>

#include "nuk/Mesh/AMesh.h"

using nuk::Point3f;

namespace
{

// A mesh from corner positions and index triples, as the import would leave it.
AMesh makeMesh(std::initializer_list<Point3f> points, std::initializer_list<std::array<int, 3>> tris)
{
    AMesh m;
    for (const Point3f &p : points) {
        AVertex v;
        v.position = p;
        v.color = nuk::ColorUB(0xffffffffu);
        m.vertices.push_back(v);
    }
    for (const auto &t : tris) {
        AFace f;
        for (int k = 0; k < 3; ++k)
            f.v[k] = &m.vertices[t[k]];
        m.faces.push_back(f);
    }
    m.vertex_count = static_cast<int>(m.vertices.size());
    m.face_count = static_cast<int>(m.faces.size());
    return m;
}

void computeAll(AMesh &m, bool unitFaces, bool unitVertices)
{
    nuk::ComputeBoundingBox(m);
    nuk::ComputeFaceNormals(m, unitFaces);
    nuk::ComputeVertexNormals(m, unitVertices);
}

// Expected unit vector worked out in double, then rounded once.
Point3f unit(double x, double y, double z)
{
    const double n = std::sqrt(x * x + y * y + z * z);
    return Point3f(float(x / n), float(y / n), float(z / n));
}

void expectNear(const Point3f &got, const Point3f &want)
{
    EXPECT_FLOAT_EQ(got.x, want.x);
    EXPECT_FLOAT_EQ(got.y, want.y);
    EXPECT_FLOAT_EQ(got.z, want.z);
}

} // namespace

TEST(Mesh, NewMeshIsEmptyWithNullBoxAndNoCamera)
{
    AMesh m;
    EXPECT_TRUE(m.vertices.empty());
    EXPECT_TRUE(m.faces.empty());
    EXPECT_TRUE(m.texture_files.empty());
    EXPECT_TRUE(m.normal_map_files.empty());
    EXPECT_EQ(m.vertex_count, 0);
    EXPECT_EQ(m.face_count, 0);
    EXPECT_EQ(m.error, 0);
    EXPECT_TRUE(m.box.IsNull());
    EXPECT_FALSE(m.camera.valid);
    computeAll(m, true, true);
    EXPECT_EQ(m.box.min, Point3f(1, 1, 1));
    EXPECT_EQ(m.box.max, Point3f(-1, -1, -1));
}

TEST(Mesh, FlagQueriesTestTheirOwnBitOnly)
{
    AVertex v;
    v.flags = nuk::DELETED;
    EXPECT_TRUE(v.IsDeleted());
    EXPECT_TRUE(v.IsUsable());
    v.flags = nuk::NOTREAD | 0x100;
    EXPECT_FALSE(v.IsDeleted());
    EXPECT_FALSE(v.IsReadable());
    EXPECT_TRUE(v.IsWritable());
    EXPECT_FALSE(v.IsUsable());
    v.flags = nuk::NOTWRITE;
    EXPECT_TRUE(v.IsReadable());
    EXPECT_FALSE(v.IsWritable());
    EXPECT_FALSE(v.IsUsable());
    AFace f;
    f.flags = nuk::NOTREAD;
    EXPECT_FALSE(f.IsReadable());
    EXPECT_TRUE(f.IsWritable());
    f.flags = ~0;
    EXPECT_TRUE(f.IsDeleted());
}

TEST(ColorUB, CodeBytesAreTakenAsTheyStand)
{
    const nuk::ColorUB white(0xffffffffu);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(white[i], 255);
    const std::uint32_t code = 0x11223344u;
    const nuk::ColorUB c(code);
    unsigned char bytes[4];
    std::memcpy(bytes, &code, 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(c[i], bytes[i]);
    const nuk::ColorUB rgba(10, 20, 30, 40);
    EXPECT_EQ(rgba[0], 10);
    EXPECT_EQ(rgba[3], 40);
    EXPECT_NE(rgba, white);
}

TEST(MeshNormals, SingleTriangle)
{
    AMesh m = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    computeAll(m, false, false);
    EXPECT_EQ(m.faces[0].normal, Point3f(0, 0, 1));
    for (const AVertex &v : m.vertices)
        EXPECT_EQ(v.normal, Point3f(0, 0, 1));
    EXPECT_EQ(m.box.min, Point3f(0, 0, 0));
    EXPECT_EQ(m.box.max, Point3f(1, 1, 0));
}

TEST(MeshNormals, RawNormalIsTwiceTheAreaAndFollowsTheCornerOrder)
{
    // Legs of 2 and 3 along x and z: area 3, normal along -y by the right-hand rule.
    AMesh m = makeMesh({{5, 1, 1}, {7, 1, 1}, {5, 1, 4}}, {{0, 1, 2}, {1, 0, 2}});
    nuk::ComputeFaceNormals(m, false);
    EXPECT_EQ(m.faces[0].normal, Point3f(0, -6, 0));
    EXPECT_EQ(m.faces[1].normal, Point3f(0, 6, 0)); // corners 0 and 1 exchanged
}

TEST(MeshNormals, TwoTrianglesSharingAnEdge)
{
    // (0,0,0) (1,0,0) (0,1,0) and (1,0,0) (0,0,0) (0,0,-3): raw normals (0,0,1) and (0,-3,0).
    const auto build = [] { return makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, -3}}, {{0, 1, 2}, {1, 0, 3}}); };
    {
        AMesh m = build();
        computeAll(m, false, false);
        EXPECT_EQ(m.faces[1].normal, Point3f(0, -3, 0));
        EXPECT_EQ(m.vertices[0].normal, Point3f(0, -3, 1));
        EXPECT_EQ(m.vertices[1].normal, Point3f(0, -3, 1));
        EXPECT_EQ(m.vertices[2].normal, Point3f(0, 0, 1));
        EXPECT_EQ(m.vertices[3].normal, Point3f(0, -3, 0));
    }
    {
        AMesh m = build();
        computeAll(m, false, true);
        expectNear(m.vertices[0].normal, unit(0, -3, 1));
        expectNear(m.vertices[1].normal, unit(0, -3, 1));
        EXPECT_EQ(m.vertices[3].normal, Point3f(0, -1, 0));
    }
    {
        AMesh m = build();
        computeAll(m, true, false);
        EXPECT_EQ(m.vertices[0].normal, Point3f(0, -1, 1));
        EXPECT_EQ(m.vertices[2].normal, Point3f(0, 0, 1));
    }
    {
        AMesh m = build();
        computeAll(m, true, true);
        expectNear(m.vertices[1].normal, unit(0, -1, 1));
    }
}

TEST(MeshNormals, NormalisedFaceNormalsHaveUnitLength)
{
    AMesh m = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {3, 0, 0}, {0, 0, -4}}, {{0, 1, 2}, {3, 4, 5}});
    nuk::ComputeFaceNormals(m, true);
    EXPECT_EQ(m.faces[0].normal, Point3f(0, 0, 1));
    EXPECT_EQ(m.faces[1].normal, Point3f(0, 1, 0)); // (0, 12, 0) / 12
}

TEST(MeshNormals, DegenerateTriangleGivesZeroAndAddsNothing)
{
    for (bool unitFaces : {false, true}) {
        AMesh m = makeMesh({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {0, 1, 0}}, {{0, 1, 2}, {0, 1, 3}});
        computeAll(m, unitFaces, false);
        EXPECT_EQ(m.faces[0].normal, Point3f(0, 0, 0));
        EXPECT_FALSE(std::isnan(m.faces[0].normal.x));
        // Vertex 2 only has the degenerate face; 0 and 1 only get face 1's normal.
        EXPECT_EQ(m.vertices[2].normal, Point3f(0, 0, 0));
        EXPECT_EQ(m.vertices[0].normal, m.faces[1].normal);
    }
}

TEST(MeshNormals, UnusedVertexGetsZeroNormal)
{
    AMesh m = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {9, 9, 9}}, {{0, 1, 2}});
    m.vertices[3].normal = Point3f(7, 7, 7);
    computeAll(m, false, true);
    EXPECT_EQ(m.vertices[3].normal, Point3f(0, 0, 0));
    EXPECT_EQ(m.box.max, Point3f(9, 9, 9)); // unused vertices still count for the box
}

TEST(MeshFlags, NotWritableVertexIsLeftOutOfBoxAndNormals)
{
    AMesh m = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-5, 0, 0}}, {{0, 1, 2}, {3, 1, 2}});
    m.vertices[3].flags = nuk::NOTWRITE;
    m.vertices[3].normal = Point3f(4, 5, 6);
    computeAll(m, false, false);
    EXPECT_EQ(m.box.min, Point3f(0, 0, 0));
    EXPECT_EQ(m.vertices[3].normal, Point3f(4, 5, 6));
    // Face 1 still has its normal, from the readable corner.
    EXPECT_EQ(m.faces[1].normal, Point3f(0, 0, 6));
    EXPECT_EQ(m.vertices[1].normal, Point3f(0, 0, 7));
}

TEST(MeshFlags, DeletedElementsAreSkipped)
{
    AMesh m = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {100, 0, 0}}, {{0, 1, 2}, {2, 1, 0}});
    m.vertices[3].flags = nuk::DELETED;
    m.faces[1].flags = nuk::DELETED;
    m.faces[1].normal = Point3f(1, 2, 3);
    m.vertices[3].normal = Point3f(8, 8, 8);
    computeAll(m, false, false);
    EXPECT_EQ(m.box.max, Point3f(1, 1, 0));
    EXPECT_EQ(m.faces[1].normal, Point3f(1, 2, 3)); // deleted faces keep their old normal
    EXPECT_EQ(m.vertices[0].normal, Point3f(0, 0, 1));
    EXPECT_EQ(m.vertices[3].normal, Point3f(8, 8, 8));
}

TEST(MeshFlags, UnreadableFaceAddsNothingToItsCorners)
{
    AMesh m = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 1, 2}});
    nuk::ComputeFaceNormals(m, false);
    m.faces[1].flags = nuk::NOTREAD;
    nuk::ComputeVertexNormals(m, false);
    EXPECT_EQ(m.vertices[0].normal, Point3f(0, 0, 1));
}

TEST(Mesh, MovingKeepsCornerReferencesValid)
{
    AMesh a = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    AMesh b(std::move(a));
    EXPECT_EQ(b.faces[0].v[1], &b.vertices[1]);
    AMesh c;
    c = std::move(b);
    nuk::ComputeFaceNormals(c, false);
    EXPECT_EQ(c.faces[0].normal, Point3f(0, 0, 1));
}

// The checked accessors, with the exact texts of their reports.
using MeshDeathTest = ::testing::Test;

namespace
{
std::string report(const char *expr, const char *path)
{
    std::string re = "^Assertion failed: ";
    for (const char *c = expr; *c; ++c) {
        if (std::strchr("()&*+?.[]{}|^$\\", *c)) re += '\\';
        re += *c;
    }
    return re + ", file " + path + ", line [0-9]+\n";
}
} // namespace

TEST(MeshDeathTest, VertexAccessorsReportTheFirstFailedCheck)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char *path = "nuk/Mesh/VertexBase";
    AVertex v;
    v.flags = nuk::DELETED | nuk::NOTREAD | nuk::NOTWRITE;
    EXPECT_DEATH(v.P().x = 0, report("(flags & DELETED) == 0", path));
    EXPECT_DEATH((void)v.cP(), report("(flags & DELETED) == 0", path));
    EXPECT_DEATH((void)v.N(), report("(flags & DELETED) == 0", path));
    v.flags = nuk::NOTREAD | nuk::NOTWRITE;
    EXPECT_DEATH(v.P().x = 0, report("(flags & NOTREAD) == 0", path));
    EXPECT_DEATH((void)v.cP(), report("(flags & NOTREAD) == 0", path));
    v.flags = nuk::NOTWRITE;
    EXPECT_DEATH(v.P().x = 0, report("(flags & NOTWRITE) == 0", path));
    EXPECT_DEATH(v.N().x = 0, report("(flags & NOTWRITE) == 0", path));
    v.position = Point3f(1, 2, 3);
    EXPECT_EQ(v.cP(), Point3f(1, 2, 3)); // read-only access does not mind NOTWRITE
    const AVertex &cv = v;
    EXPECT_EQ(cv.P(), Point3f(1, 2, 3));
    v.flags = 0;
    EXPECT_DEATH((void)v.Q(), report("0", path));
    v.C() = nuk::ColorUB(1, 2, 3, 4); // colour and flags are never checked
    v.flags = ~0;
    EXPECT_EQ(v.C()[2], 3);
}

TEST(MeshDeathTest, FaceAccessorsReportTheFirstFailedCheck)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char *path = "nuk/Mesh/FaceBase";
    AVertex vs[3];
    AFace f;
    for (int k = 0; k < 3; ++k)
        f.v[k] = &vs[k];
    volatile int j = 0;
    f.flags = nuk::DELETED | nuk::NOTWRITE;
    EXPECT_DEATH((void)f.V(j), report("(flags & DELETED) == 0", path));
    f.flags = nuk::NOTREAD;
    EXPECT_DEATH((void)f.V(j), report("(flags & NOTREAD) == 0", path));
    f.flags = nuk::NOTWRITE;
    EXPECT_DEATH((void)f.V(j), report("(flags & NOTWRITE) == 0", path));
    f.flags = 0x40; // bits without a meaning do not matter
    EXPECT_EQ(f.V(2), &vs[2]);
    j = -1;
    EXPECT_DEATH((void)f.V(j), report("j>=0", path));
    j = 3;
    EXPECT_DEATH((void)f.V(j), report("j<size()", path));
    EXPECT_DEATH((void)f.Q(), report("0", path));
    EXPECT_DEATH((void)f.C(), report("0", path));
    EXPECT_DEATH((void)f.WC(0), report("0", path));
    EXPECT_DEATH((void)f.WT(0), report("0", path));
    f.flags = ~0;
    f.N() = Point3f(1, 1, 1); // the face normal is never checked
    EXPECT_EQ(f.normal, Point3f(1, 1, 1));
}

TEST(MeshDeathTest, ColourChannelIndexIsChecked)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    nuk::ColorUB c(0u);
    volatile int i = -1;
    EXPECT_DEATH(c[i] = 1, report("i>=0", "nuk/tools/ColorUB"));
    i = 4;
    EXPECT_DEATH(c[i] = 1, report("i<4", "nuk/tools/ColorUB"));
}
