// OBJ import through the load sequence: polygons as fans, relative indices,
// corners with texture coordinates and normals, and files that must fail.

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nuk/Mesh/MeshBuild.h"
#include "nuk/Mesh/ModelLoad.h"
#include "support/Files.h"

using nuk::Point3f;

namespace
{

class MeshObj : public ::testing::Test
{
protected:
    testsupport::TempDir scratch;
    AMesh mesh;
    nuk::ModelLoadResult r;

    const nuk::ModelLoadResult &load(const std::string &text, const std::string &name = "model.obj")
    {
        r = nuk::LoadModel(mesh, testsupport::WriteFile(scratch.File(name), text).c_str());
        return r;
    }
    long corner(size_t f, int k) const { return long(mesh.faces[f].v[k] - mesh.vertices.data()); }
};

float Length(const Point3f &p) { return std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z); }

} // namespace

// A unit cube as written by exporters that keep quads: 8 vertices, texture
// coordinates and one normal per side on every corner, six quads. Each quad
// becomes two triangles; every raw face normal points out of the cube with
// length 1 (twice the area of half a unit square).
TEST_F(MeshObj, CubeOfQuadsWithTextureCoordinatesAndNormals)
{
    const std::string cube = "# cube\r\nmtllib cube.mtl\r\no Cube\r\n"
                             "v 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\nv 0 1 0\r\n"
                             "v 0 0 1\r\nv 1 0 1\r\nv 1 1 1\r\nv 0 1 1\r\n"
                             "vt 0 0\r\nvt 1 0\r\nvt 1 1\r\nvt 0 1\r\n"
                             "vn 0 0 -1\r\nvn 0 0 1\r\nvn 0 -1 0\r\nvn 1 0 0\r\nvn 0 1 0\r\nvn -1 0 0\r\n"
                             "usemtl skin\r\ns off\r\n"
                             "f 1/1/1 4/4/1 3/3/1 2/2/1\r\n"
                             "f 5/1/2 6/2/2 7/3/2 8/4/2\r\n"
                             "f 1/1/3 2/2/3 6/3/3 5/4/3\r\n"
                             "f 2/1/4 3/2/4 7/3/4 6/4/4\r\n"
                             "f 3/1/5 4/2/5 8/3/5 7/4/5\r\n"
                             "f 4//6 1//6 5//6 8//6\r\n";
    ASSERT_TRUE(load(cube).ok()) << r.reason;
    EXPECT_EQ(r.format, nuk::ModelFormat::Obj);
    EXPECT_EQ(mesh.vertex_count, 8);
    EXPECT_EQ(mesh.face_count, 12);
    EXPECT_EQ(mesh.box.min, Point3f(0, 0, 0));
    EXPECT_EQ(mesh.box.max, Point3f(1, 1, 1));
    EXPECT_EQ(r.converted, std::vector<std::string>{"6 faces of more than 3 corners split into 12 triangles"});
    const Point3f centre(0.5f, 0.5f, 0.5f);
    for (const AFace &f : mesh.faces) {
        const Point3f c = (f.v[0]->position + f.v[1]->position + f.v[2]->position) / 3.0f;
        EXPECT_FLOAT_EQ(Length(f.normal), 1.0f);
        EXPECT_GT(f.normal * (c - centre), 0.0f) << "normal points into the cube";
    }
    // Fans around the first corner: quad 1 4 3 2 gives (1 4 3) and (1 3 2).
    EXPECT_EQ(corner(0, 0), 0);
    EXPECT_EQ(corner(0, 1), 3);
    EXPECT_EQ(corner(0, 2), 2);
    EXPECT_EQ(corner(1, 1), 2);
    EXPECT_EQ(corner(1, 2), 1);
}

// A convex pentagon (0,0) (4,0) (5,3) (2,5) (-1,3) in z = 0: three triangles,
// all facing +z, whose raw normals add up to twice its area (shoelace: 0 + 12
// + 19 + 11 + 0 = 42, area 21).
TEST_F(MeshObj, PolygonBecomesAFanOfTheSameArea)
{
    ASSERT_TRUE(load("v 0 0 0\nv 4 0 0\nv 5 3 0\nv 2 5 0\nv -1 3 0\nf 1 2 3 4 5\n").ok()) << r.reason;
    ASSERT_EQ(mesh.face_count, 3);
    Point3f sum(0, 0, 0);
    for (const AFace &f : mesh.faces) {
        EXPECT_GT(f.normal.z, 0);
        sum = sum + f.normal;
    }
    EXPECT_EQ(sum, Point3f(0, 0, 42));
}

// Negative indices count back from the last vertex (texture coordinate,
// normal) defined above the face, wherever the face is.
TEST_F(MeshObj, NegativeIndicesAreRelativeToTheirLine)
{
    ASSERT_TRUE(load("v 0 0 0\nv 2 0 0\nv 0 2 0\nf -3 -2 -1\nv 0 0 2\nvt 0.5 0.5\nvn 0 0 1\n"
                     "f -4/-1/-1 -3/1 -1//1\nv +1e0 -0.0 .5\nf 2 5 -2\n")
                    .ok())
        << r.reason;
    ASSERT_EQ(mesh.face_count, 3);
    const long expected[3][3] = {{0, 1, 2}, {0, 1, 3}, {1, 4, 3}};
    for (size_t f = 0; f < 3; ++f)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(corner(f, k), expected[f][k]) << "face " << f << " corner " << k;
    EXPECT_EQ(mesh.vertices[4].position, Point3f(1, 0, 0.5f));
    // Raw normals by hand: twice the areas, right-hand rule.
    EXPECT_EQ(mesh.faces[0].normal, Point3f(0, 0, 4));
    EXPECT_EQ(mesh.faces[1].normal, Point3f(0, -4, 0));
    EXPECT_EQ(mesh.faces[2].normal, Point3f(0, 1, 0));
    EXPECT_TRUE(r.converted.empty());
}

TEST_F(MeshObj, BadFilesFailNamingTheLineAndKeepThePreviousModel)
{
    ASSERT_TRUE(load("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", "previous.obj").ok());
    const AVertex *before = mesh.vertices.data();
    const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    struct Case {
        std::string text;
        int error;
        std::string message;
    };
    const Case cases[] = {
        {"", 14, "no vertices and no faces: not an OBJ model"},
        {std::string("\x7f"
                     "ELF\x02\x01\x01\0\0\0\0",
                     12) +
             "v 1 2 3\n",
         20, "line 1: binary data, not the text of an OBJ file"},
        {tri, 14, "no faces (\"f\" lines), only 3 vertices"},
        {tri + "f 1 2 4\n", 17, "line 4: vertex index 4 outside the 3 vertices defined above this line"},
        {tri + "f 0 1 2\n", 17, "line 4: vertex index 0 (indices count from 1)"},
        {tri + "f -4 1 2\n", 17, "line 4: vertex index -4 outside the 3 vertices defined above this line"},
        {"v 0 0 0\nf 1 2 3\nv 1 0 0\nv 0 1 0\n", 17,
         "line 2: vertex index 2 outside the 1 vertex defined above this line"},
        {tri + "f 1/2 2 3\n", 17,
         "line 4: texture coordinate index 2 outside the 0 texture coordinates defined above this line"},
        {tri + "vn 0 0 1\nf 1//1 2//2 3\n", 17, "line 5: normal index 2 outside the 1 normal defined above this line"},
        {tri + "f 1 2 99999999999999999999\n", 20, "line 4: '99999999999999999999' is not a vertex index"},
        {tri + "f 1 2 3x\n", 20, "line 4: '3x' is not a vertex index"},
        {tri + "f 1/1/1/1 2 3\n", 20, "line 4: '1/1/1/1' is not a face corner"},
        {tri + "f 1 2\n", 20, "line 4: a face needs 3 corners at least, this one has 2"},
        {"v 0 0\n", 20, "line 1: a vertex needs x, y and z"},
        {"v 0 zero 0\n", 20, "line 1: 'zero' is not a number"},
        {"v nan 0 0\n", 21, "line 1: coordinate 'nan' is not a finite float"},
        {"v 0 -inf 0\n", 21, "line 1: coordinate '-inf' is not a finite float"},
        {"v 0 0 1e39\n", 21, "line 1: coordinate '1e39' is not a finite float"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        load(c.text);
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(mesh.error, c.error);
        EXPECT_EQ(r.message, c.message);
        EXPECT_EQ(r.reason, c.message);
        EXPECT_TRUE(r.converted.empty());
        EXPECT_EQ(mesh.vertices.data(), before);
        EXPECT_EQ(mesh.face_count, 1);
    }
}

// The message quotes what it cannot read in printable form, and no more than
// 40 characters of it.
TEST(MeshBuild, QuoteIsShortAndPrintable)
{
    const std::string s = std::string("a\tb") + std::string(50, 'x');
    EXPECT_EQ(nuk::meshbuild::Quote(s.data(), s.data() + 4), "'a\\x09bx'");
    EXPECT_EQ(nuk::meshbuild::Quote(s.data(), s.data() + s.size()), "'a\\x09b" + std::string(37, 'x') + "...'");
}
