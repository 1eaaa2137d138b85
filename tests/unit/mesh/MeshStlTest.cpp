// STL import through the load sequence: the same triangles as ASCII and as
// binary files, corners welded by exact position, and files that must fail.

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LargestAllocation.h"
#include "nuk/Mesh/ModelLoad.h"
#include "support/Files.h"
#include "support/StlText.h"

using nuk::Point3f;
using testsupport::AsciiStl;
using testsupport::BinaryStl;
using testsupport::StlTriangle;

namespace
{

using Corner = std::array<float, 3>;

// The cube [0, 2]^3 as 12 triangles wound outwards, each side a quad split
// along a diagonal. Every second facet carries a zero normal, as some
// writers leave it: the file's normals are not what the view uses.
std::vector<StlTriangle> Cube()
{
    const Corner sides[6][4] = {
        {{0, 0, 0}, {0, 2, 0}, {2, 2, 0}, {2, 0, 0}}, {{0, 0, 2}, {2, 0, 2}, {2, 2, 2}, {0, 2, 2}},
        {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}}, {{0, 2, 0}, {0, 2, 2}, {2, 2, 2}, {2, 2, 0}},
        {{0, 0, 0}, {0, 0, 2}, {0, 2, 2}, {0, 2, 0}}, {{2, 0, 0}, {2, 2, 0}, {2, 2, 2}, {2, 0, 2}},
    };
    std::vector<StlTriangle> t;
    for (const auto &q : sides) {
        t.push_back({{1, 0, 0}, {q[0], q[1], q[2]}});
        t.push_back({{0, 0, 0}, {q[0], q[2], q[3]}});
    }
    return t;
}

enum class Kind { Ascii, Binary, BinaryNamedSolid };

std::string Write(Kind k, const std::vector<StlTriangle> &t)
{
    return k == Kind::Ascii    ? AsciiStl(t, "cube")
           : k == Kind::Binary ? BinaryStl(t)
                               : BinaryStl(t, "solid cube, binary all the same");
}

class MeshStl : public ::testing::TestWithParam<Kind>
{
protected:
    testsupport::TempDir scratch;
    AMesh mesh;
    nuk::ModelLoadResult r;

    const nuk::ModelLoadResult &load(const std::string &bytes, const std::string &name = "model.stl")
    {
        r = nuk::LoadModel(mesh, testsupport::WriteFile(scratch.File(name), bytes).c_str());
        return r;
    }
};

} // namespace

TEST_P(MeshStl, CubeCornersAreWelded)
{
    ASSERT_TRUE(load(Write(GetParam(), Cube())).ok()) << r.reason;
    EXPECT_EQ(r.format, nuk::ModelFormat::Stl);
    EXPECT_EQ(mesh.vertex_count, 8);
    EXPECT_EQ(mesh.face_count, 12);
    EXPECT_EQ(mesh.box.min, Point3f(0, 0, 0));
    EXPECT_EQ(mesh.box.max, Point3f(2, 2, 2));
    EXPECT_EQ(r.converted, std::vector<std::string>{"36 triangle corners welded into 8 vertices"});
    // Raw normals: twice the area of half a 2 x 2 side, out of the cube.
    const Point3f centre(1, 1, 1);
    for (const AFace &f : mesh.faces) {
        const Point3f c = (f.v[0]->position + f.v[1]->position + f.v[2]->position) / 3.0f;
        EXPECT_EQ(f.normal * f.normal, 16.0f);
        EXPECT_GT(f.normal * (c - centre), 0.0f);
    }
    // Welded, every corner of the cube gathers the normals of its three
    // sides: 4 or 8 per side, as the corner has one or two triangles there.
    for (const AVertex &v : mesh.vertices)
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(std::fabs(v.normal[i]) == 4 || std::fabs(v.normal[i]) == 8) << v.normal[i];
}

// 0 and -0 are the same position.
TEST_P(MeshStl, SignedZerosWeld)
{
    const float nz = -0.0f;
    const std::vector<StlTriangle> t = {{{0, 0, 1}, {Corner{0, 0, 0}, Corner{1, 0, 0}, Corner{0, 1, 0}}},
                                        {{0, 0, 1}, {Corner{1, 0, 0}, Corner{1, 1, 0}, Corner{nz, 1, nz}}}};
    ASSERT_TRUE(load(Write(GetParam(), t)).ok()) << r.reason;
    EXPECT_EQ(mesh.vertex_count, 4);
    EXPECT_EQ(mesh.faces[1].v[2], mesh.faces[0].v[2]);
}

INSTANTIATE_TEST_SUITE_P(Kinds, MeshStl, ::testing::Values(Kind::Ascii, Kind::Binary, Kind::BinaryNamedSolid),
                         [](const ::testing::TestParamInfo<Kind> &i) {
                             return std::string(i.param == Kind::Ascii    ? "Ascii"
                                                : i.param == Kind::Binary ? "Binary"
                                                                          : "BinaryNamedSolid");
                         });

TEST(MeshStlAscii, KeywordsInAnyCaseAndSeveralSolids)
{
    testsupport::TempDir scratch;
    AMesh mesh;
    const std::string text = "SOLID A\nFACET NORMAL 0 0 0\nOUTER LOOP\nVERTEX 0 0 0\nVERTEX 1 0 0\nVERTEX 0 1 0\n"
                             "ENDLOOP\nENDFACET\nENDSOLID A\nsolid b\nfacet normal nan nan nan\nouter loop\n"
                             "vertex 1 0 0\nvertex 1 1 0\nvertex 0 1 0\nendloop\nendfacet\nendsolid b\n";
    const nuk::ModelLoadResult r = nuk::LoadModel(mesh, testsupport::WriteFile(scratch.File("two.STL"), text).c_str());
    ASSERT_TRUE(r.ok()) << r.reason;
    EXPECT_EQ(mesh.face_count, 2);
    EXPECT_EQ(mesh.vertex_count, 4);
}

TEST(MeshStlBad, FailsNamingTheLineOrTriangleAndKeepsThePreviousModel)
{
    testsupport::TempDir scratch;
    AMesh mesh;
    ASSERT_TRUE(
        nuk::LoadModel(mesh, testsupport::WriteFile(scratch.File("previous.stl"), BinaryStl(Cube())).c_str()).ok());
    const AVertex *before = mesh.vertices.data();

    const std::vector<StlTriangle> cube = Cube();
    const std::vector<StlTriangle> two(cube.begin(), cube.begin() + 2);
    std::vector<StlTriangle> nan = two;
    nan[1].corners[2][1] = std::numeric_limits<float>::quiet_NaN();
    const std::string facet = "solid x\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n";
    struct Case {
        std::string bytes;
        int error;
        std::string message;
    };
    const Case cases[] = {
        {"", 14, "the file is empty"},
        {std::string(83, 'x'), 15,
         "83 bytes: too short for a binary STL (an 80-byte header and a 4-byte triangle count) and not an "
         "ASCII one (which starts with \"solid\")"},
        {BinaryStl(two, "binary", 1000), 15,
         "binary STL: the header counts 1000 triangles, which take 50084 bytes, but the file has 184"},
        {BinaryStl(two, "binary", 4294967295LL), 15,
         "binary STL: the header counts 4294967295 triangles, which take 214748364834 bytes, but the file has 184"},
        {BinaryStl(two).substr(0, 183), 15,
         "binary STL: the header counts 2 triangles, which take 184 bytes, but the file has 183"},
        {BinaryStl({}), 14, "binary STL with no triangles"},
        {BinaryStl(nan), 21, "binary STL: triangle 2 (byte 134) has the coordinate nan"},
        {facet, 15, "line 5: the file ends inside a facet, before \"vertex\""},
        {facet + "vertex 0 inf 0\n", 21, "line 6: coordinate 'inf' is not a finite float"},
        {facet + "vertex 0 1 O\n", 20, "line 6: 'O' is not a number"},
        {facet + "endloop\n", 20, "line 6: expected \"vertex\", found 'endloop'"},
        {"solid x\nendsolid x\n", 14, "ASCII STL with no facets"},
        {"solid x\nfacet\n", 15, "line 2: the file ends inside a facet, before \"normal\""},
        {"solid x\n\x01\x02\x03\n", 20, "line 2: expected \"facet\" or \"endsolid\", found '\\x01\\x02\\x03'"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        g_largestAllocation = 0;
        const nuk::ModelLoadResult r =
            nuk::LoadModel(mesh, testsupport::WriteFile(scratch.File("bad.stl"), c.bytes).c_str());
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(r.message, c.message);
        EXPECT_EQ(mesh.vertices.data(), before);
        EXPECT_EQ(mesh.face_count, 12);
        // The input buffer is the largest thing a bad file gets.
        EXPECT_LE(g_largestAllocation.load(), std::size_t(1) << 20);
    }
}
