// The load sequence on PLY files of other number types, laid out as common
// writers lay them out, in ASCII and both binary byte orders.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nuk/Mesh/ModelLoad.h"
#include "support/Files.h"
#include "support/PlyText.h"

using nuk::Point3f;
using Format = testsupport::PlyFormat;
using Strings = std::vector<std::string>;

namespace
{

// The tetrahedron (0,0,0), (1,0,0), (0,1,0), (0,0,1) with its faces wound
// outwards. Raw normals, by hand: the three faces on the coordinate planes
// have area 1/2, so -z, -y and -x of length 1; the slanted face has area
// sqrt(3)/2 and normal (1,1,1), of length sqrt(3).
const char *kTetraVertices = "0 0 0\n1 0 0\n0 1 0\n0 0 1\n";
const char *kTetraFaces = "3 0 2 1\n3 0 1 3\n3 0 3 2\n3 1 2 3\n";
const std::vector<Point3f> kTetraNormals = {{0, 0, -1}, {0, -1, 0}, {-1, 0, 0}, {1, 1, 1}};

std::string Header(const std::string &vertexProps, const std::string &faceProp, int vertices = 4, int faces = 4)
{
    return "ply\nformat ascii 1.0\nelement vertex " + std::to_string(vertices) + "\n" + vertexProps + "element face " +
           std::to_string(faces) + "\n" + faceProp + "end_header\n";
}

const std::string kXyz = "property float x\nproperty float y\nproperty float z\n";
const std::string kDoubleXyz = "property double x\nproperty double y\nproperty double z\n";
const std::string kIntFaces = "property list uchar int vertex_indices\n";

class ModelLoadPly : public ::testing::TestWithParam<Format>
{
protected:
    testsupport::TempDir scratch;
    AMesh mesh;
    nuk::ModelLoadResult r;

    const nuk::ModelLoadResult &load(const std::string &text, const std::string &name = "model.ply")
    {
        const std::string path = testsupport::WriteFile(scratch.File(name), ConvertPly(text, GetParam()));
        r = nuk::LoadModel(mesh, path.c_str());
        return r;
    }

    std::vector<Point3f> faceNormals() const
    {
        std::vector<Point3f> n;
        for (const AFace &f : mesh.faces)
            n.push_back(f.normal);
        return n;
    }

    void expectTetrahedron()
    {
        ASSERT_TRUE(r.ok()) << r.reason;
        EXPECT_EQ(r.format, nuk::ModelFormat::Ply);
        EXPECT_EQ(mesh.vertex_count, 4);
        EXPECT_EQ(mesh.face_count, 4);
        EXPECT_EQ(mesh.box.min, Point3f(0, 0, 0));
        EXPECT_EQ(mesh.box.max, Point3f(1, 1, 1));
        EXPECT_EQ(faceNormals(), kTetraNormals);
    }
};

} // namespace

// Doubles everywhere, normals included, and uint indices: the strict import
// refuses it (13), the retry reads it.
TEST_P(ModelLoadPly, DoublePositionsAndNormalsWithUintIndices)
{
    const std::string normals = "property double nx\nproperty double ny\nproperty double nz\n";
    const std::string text = Header(kDoubleXyz + normals, "property list uchar uint vertex_indices\n") +
                             "0 0 0 -1 -1 -1\n1 0 0 1 0 0\n0 1 0 0 1 0\n0 0 1 0 0 1\n" + kTetraFaces;
    load(text);
    expectTetrahedron();
    EXPECT_EQ(r.converted, (Strings{"vertex x: double to float", "vertex y: double to float",
                                    "vertex z: double to float", "face vertex_indices: uint to int"}));
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(mesh.error, 0);
}

// Float positions and normals, colours, uint indices: only the indices convert,
// and the colours are read as the strict import reads them.
TEST_P(ModelLoadPly, FloatPositionsWithUintIndicesKeepTheirColours)
{
    const std::string props = kXyz + "property float nx\nproperty float ny\nproperty float nz\n"
                                     "property uchar red\nproperty uchar green\nproperty uchar blue\n";
    const std::string text = Header(props, "property list uchar uint vertex_indices\n") +
                             "0 0 0 0 0 1 10 20 30\n1 0 0 0 0 1 1 2 3\n0 1 0 0 0 1 4 5 6\n0 0 1 0 0 1 7 8 9\n" +
                             kTetraFaces;
    load(text);
    expectTetrahedron();
    EXPECT_EQ(r.converted, (Strings{"face vertex_indices: uint to int"}));
    EXPECT_EQ(r.mask, nuk::PLYMASK_VERTCOLOR);
    EXPECT_EQ(mesh.vertices[0].color, nuk::ColorUB(10, 20, 30, 255));
}

TEST_P(ModelLoadPly, OtherIndexAndCountTypes)
{
    const std::string body = std::string(kTetraVertices) + kTetraFaces;
    load(Header(kXyz, "property list uchar ushort vertex_indices\n") + body);
    expectTetrahedron();
    EXPECT_EQ(r.converted, (Strings{"face vertex_indices: ushort to int"}));

    load(Header(kXyz, "property list ushort int vertex_indices\n") + body, "count.ply");
    expectTetrahedron();
    EXPECT_EQ(r.converted, (Strings{"face vertex_indices count: ushort to uchar"}));

    load(Header(kXyz, "property list int uint vertex_index\n") + body, "alt.ply");
    expectTetrahedron();
    EXPECT_EQ(r.converted, (Strings{"face vertex_index: uint to int", "face vertex_index count: int to uchar"}));
}

// Normals of another type are read past by the strict import, which loads the
// file itself: nothing is converted.
TEST_P(ModelLoadPly, StrictFilesAreLoadedByTheStrictImport)
{
    const std::string normals = "property double nx\nproperty double ny\nproperty double nz\n";
    load(Header(kXyz + normals, kIntFaces) + "0 0 0 1 1 1\n1 0 0 1 1 1\n0 1 0 1 1 1\n0 0 1 1 1 1\n" + kTetraFaces);
    expectTetrahedron();
    EXPECT_TRUE(r.converted.empty());

    // uint face indices, but int strips the strict import takes instead.
    const std::string both = "ply\nformat ascii 1.0\nelement vertex 4\n" + kXyz +
                             "element face 1\nproperty list uchar uint vertex_indices\n"
                             "element tristrips 1\nproperty list int int vertex_indices\nend_header\n" +
                             kTetraVertices + "3 0 1 3\n4 0 2 1 3\n";
    load(both, "strips.ply");
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.converted.empty());
    EXPECT_EQ(mesh.face_count, 2); // from the strip, not the face
}

TEST_P(ModelLoadPly, IntegerCoordinates)
{
    const std::string props = "property short x\nproperty uint y\nproperty uchar z\n";
    load(Header(props, kIntFaces, 3, 1) + "-5 0 0\n7 4000000000 0\n0 0 255\n3 0 1 2\n");
    ASSERT_TRUE(r.ok()) << r.reason;
    EXPECT_EQ(mesh.vertices[0].position, Point3f(-5, 0, 0));
    EXPECT_EQ(mesh.vertices[1].position, Point3f(7, 4e9f, 0));
    EXPECT_EQ(mesh.vertices[2].position, Point3f(0, 0, 255));
    EXPECT_EQ(r.converted,
              (Strings{"vertex x: short to float", "vertex y: uint to float", "vertex z: uchar to float"}));
}

// A double that a float cannot hold exactly becomes the nearest float.
TEST_P(ModelLoadPly, DoublesRoundToTheNearestFloat)
{
    load(Header(kDoubleXyz, kIntFaces, 3, 1) + "0.1 -2.5 1e-3\n1 0 0\n0 1 0\n3 0 1 2\n");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(mesh.vertices[0].position, Point3f(float(0.1), -2.5f, float(1e-3)));
}

// uint strips: the all-ones index reads as -1 and restarts the strip.
TEST_P(ModelLoadPly, UintStripsRestart)
{
    const std::string text = "ply\nformat ascii 1.0\nelement vertex 6\n" + kXyz +
                             "element tristrips 1\nproperty list uint uint vertex_indices\nend_header\n"
                             "0 0 0\n1 0 0\n0 1 0\n1 1 0\n2 0 0\n2 1 0\n"
                             "7 0 1 2 4294967295 3 4 5\n";
    load(text);
    ASSERT_TRUE(r.ok()) << r.reason;
    ASSERT_EQ(mesh.face_count, 2);
    EXPECT_EQ(mesh.faces[1].v[0] - mesh.vertices.data(), 3);
    EXPECT_EQ(r.converted,
              (Strings{"tristrips vertex_indices: uint to int", "tristrips vertex_indices count: uint to int"}));
}

// The retry keeps the strict import's checks; what it cannot convert keeps
// the strict import's code, and a failed load keeps the previous model.
TEST_P(ModelLoadPly, RetryKeepsTheChecksAndThePreviousModel)
{
    load(Header(kXyz, kIntFaces) + kTetraVertices + kTetraFaces, "previous.ply");
    ASSERT_TRUE(r.ok());
    const AVertex *before = mesh.vertices.data();

    struct Case {
        std::string text;
        int error;
        bool converted;
    };
    const std::string uintFaces = "property list uchar uint vertex_indices\n";
    const Case cases[] = {
        {Header(kXyz, uintFaces, 3, 1) + "0 0 0\n1 0 0\n0 1 0\n3 0 1 4294967295\n", 17, true},
        {Header(kXyz, uintFaces, 3, 1) + "0 0 0\n1 0 0\n0 1 0\n3 0 1 3\n", 17, true},
        {Header(kXyz, "property list ushort int vertex_indices\n", 4, 1) + kTetraVertices + "4 0 1 2 3\n", 16, true},
        {Header(kDoubleXyz, uintFaces) + kTetraVertices + "3 0 2 1\n", 15, true},
        {Header(kXyz, "property list uchar float vertex_indices\n", 3, 1) + "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", 14,
         false},
        {Header("property list uchar float x\nproperty float y\nproperty float z\n", kIntFaces, 1, 0) + "1 0 0 0\n", 13,
         false},
        {Header("property double x\nproperty double y\n", uintFaces, 3, 1) + "0 0\n1 0\n0 1\n3 0 1 2\n", 13, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        load(c.text);
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(r.message, nuk::PlyFile::ErrorMessage(c.error));
        EXPECT_EQ(!r.converted.empty(), c.converted);
        EXPECT_EQ(mesh.vertices.data(), before);
        EXPECT_EQ(mesh.face_count, 4);
    }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ModelLoadPly, ::testing::Values(Format::Ascii, Format::Little, Format::Big),
                         [](const ::testing::TestParamInfo<Format> &i) {
                             return std::string(i.param == Format::Ascii    ? "Ascii"
                                                : i.param == Format::Little ? "LittleEndian"
                                                                            : "BigEndian");
                         });

TEST(ModelLoad, FormatFromTheName)
{
    EXPECT_EQ(nuk::ModelFormatOf("a/b/scan.OBJ"), nuk::ModelFormat::Obj);
    EXPECT_EQ(nuk::ModelFormatOf("scan.stl"), nuk::ModelFormat::Stl);
    EXPECT_EQ(nuk::ModelFormatOf("scan.Stl"), nuk::ModelFormat::Stl);
    EXPECT_EQ(nuk::ModelFormatOf("scan.ply"), nuk::ModelFormat::Ply);
    EXPECT_EQ(nuk::ModelFormatOf("obj"), nuk::ModelFormat::Ply);
    EXPECT_EQ(nuk::ModelFormatOf("scan.obj.bak"), nuk::ModelFormat::Ply);
}

// The strict mode is the PLY import alone: no retry, whatever the name.
TEST(ModelLoad, StrictModeNeitherConvertsNorLooksAtTheName)
{
    testsupport::TempDir scratch;
    AMesh mesh;
    const std::string ply = testsupport::WriteFile(scratch.File("double.ply"), Header(kDoubleXyz, kIntFaces, 3, 1) +
                                                                                   "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
    nuk::ModelLoadResult r = nuk::LoadModel(mesh, ply.c_str(), {}, nuk::ModelLoadMode::StrictPly);
    EXPECT_EQ(r.error, 13);
    EXPECT_TRUE(r.converted.empty());
    const std::string obj = testsupport::WriteFile(scratch.File("t.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    r = nuk::LoadModel(mesh, obj.c_str(), {}, nuk::ModelLoadMode::StrictPly);
    EXPECT_EQ(r.format, nuk::ModelFormat::Ply);
    EXPECT_EQ(r.error, nuk::E_NOTHEADER);
    r = nuk::LoadModel(mesh, obj.c_str());
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.format, nuk::ModelFormat::Obj);
}
