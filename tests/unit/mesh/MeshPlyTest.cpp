#include <array>
#include <atomic>
#include <cstdlib>
#include <new>
#include <cstddef>
#include <cstring>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "LargestAllocation.h"
#include "nuk/Mesh/MeshPly.h"
#include "support/Files.h"
#include "support/PlyText.h"

using nuk::Point3f;
using testsupport::ConvertPly;
using testsupport::WriteFile;
using Format = testsupport::PlyFormat;

namespace
{

const char *kHead = "ply\nformat ascii 1.0\n";

// Three vertices, one triangle: the smallest useful model.
const std::string kTriangle = std::string(kHead) + "element vertex 3\n"
                                                   "property float x\nproperty float y\nproperty float z\n"
                                                   "element face 1\n"
                                                   "property list uchar int vertex_indices\n"
                                                   "end_header\n"
                                                   "0 0 0\n1 0 0\n0 1 0\n"
                                                   "3 0 1 2\n";

// A header of `vertices` (x y z) and a face element with `faceProps`,
// followed by the given records.
std::string model(int vertices, const std::string &faceHeader, const std::string &records)
{
    return std::string(kHead) + "element vertex " + std::to_string(vertices) +
           "\nproperty float x\nproperty float y\nproperty float z\n" + faceHeader + "end_header\n" + records;
}

std::string squareVertices(int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += std::to_string(i) + " " + std::to_string(i % 3) + " " + std::to_string(-i) + "\n";
    return s;
}

class MeshPly : public ::testing::TestWithParam<Format>
{
protected:
    testsupport::TempDir scratch;
    const std::string dir = scratch.path;
    AMesh mesh;
    int mask = -1;

    std::string write(const std::string &text, const std::string &name = "model.ply", size_t truncate = 0)
    {
        const std::string path = dir + "/" + name;
        return WriteFile(path, ConvertPly(text, GetParam(), truncate));
    }

    int load(const std::string &text, const std::string &name = "model.ply")
    {
        return nuk::LoadPly(mesh, write(text, name).c_str(), nullptr, 0, nullptr, 0, mask);
    }

    // Corner k of face f, as an index into vertices.
    long corner(size_t f, int k) const { return long(mesh.faces[f].v[k] - mesh.vertices.data()); }
    std::vector<std::array<long, 3>> triangles() const
    {
        std::vector<std::array<long, 3>> t;
        for (size_t f = 0; f < mesh.faces.size(); ++f)
            t.push_back({corner(f, 0), corner(f, 1), corner(f, 2)});
        return t;
    }
};

using Tri = std::vector<std::array<long, 3>>;

} // namespace

TEST_P(MeshPly, SmallestModel)
{
    ASSERT_EQ(load(kTriangle), 0);
    EXPECT_EQ(mesh.error, 0);
    EXPECT_EQ(mask, 0);
    ASSERT_EQ(mesh.vertices.size(), 3u);
    EXPECT_EQ(mesh.vertices[1].position, Point3f(1, 0, 0));
    for (const AVertex &v : mesh.vertices) {
        EXPECT_EQ(v.color, nuk::ColorUB(255, 255, 255, 255));
        EXPECT_EQ(v.flags, 0);
    }
    EXPECT_EQ(triangles(), (Tri{{0, 1, 2}}));
    EXPECT_EQ(mesh.faces[0].flags, 0);
    EXPECT_EQ(mesh.vertex_count, 3);
    EXPECT_EQ(mesh.face_count, 1);
    EXPECT_TRUE(mesh.texture_files.empty());
    EXPECT_TRUE(mesh.normal_map_files.empty());
    EXPECT_FALSE(mesh.camera.valid);
    EXPECT_TRUE(mesh.box.IsNull()); // left to the caller
}

TEST_P(MeshPly, VertexColoursAndTheirMissingChannels)
{
    const std::string rgb = std::string(kHead) +
                            "element vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
                            "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                            "element face 0\nproperty list uchar int vertex_indices\nend_header\n"
                            "0 0 0 10 20 30\n1 0 0 255 0 7\n0 1 0 1 2 3\n";
    ASSERT_EQ(load(rgb), 0);
    EXPECT_EQ(mask, nuk::PLYMASK_VERTCOLOR);
    EXPECT_EQ(mesh.vertices[0].color, nuk::ColorUB(10, 20, 30, 255));
    EXPECT_EQ(mesh.vertices[1].color, nuk::ColorUB(255, 0, 7, 255));

    // Red alone: green and blue are defined (0), not what the last file left.
    const std::string redOnly = std::string(kHead) +
                                "element vertex 2\nproperty float x\nproperty float y\nproperty float z\n"
                                "property uchar red\n"
                                "element face 0\nproperty list uchar int vertex_indices\nend_header\n"
                                "0 0 0 99\n1 0 0 100\n";
    ASSERT_EQ(load(redOnly, "red.ply"), 0);
    EXPECT_EQ(mask, nuk::PLYMASK_VERTCOLOR);
    EXPECT_EQ(mesh.vertices[0].color, nuk::ColorUB(99, 0, 0, 255));
    EXPECT_EQ(mesh.vertices[1].color, nuk::ColorUB(100, 0, 0, 255));

    // A colour of another type is not a colour: the vertices stay white.
    const std::string floatRed = std::string(kHead) +
                                 "element vertex 1\nproperty float x\nproperty float y\nproperty float z\n"
                                 "property float red\n"
                                 "element face 0\nproperty list uchar int vertex_indices\nend_header\n"
                                 "0 0 0 0.5\n";
    ASSERT_EQ(load(floatRed, "float.ply"), 0);
    EXPECT_EQ(mask, 0);
    EXPECT_EQ(mesh.vertices[0].color, nuk::ColorUB(255, 255, 255, 255));
}

TEST_P(MeshPly, MissingOrMistypedFieldsGiveTheirCodes)
{
    struct Case {
        const char *what;
        std::string text;
        int code;
    } cases[] = {
        {"x as double",
         std::string(kHead) + "element vertex 1\nproperty double x\nproperty float y\nproperty float z\n"
                              "element face 0\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n",
         13},
        {"no z",
         std::string(kHead) + "element vertex 1\nproperty float x\nproperty float y\n"
                              "element face 0\nproperty list uchar int vertex_indices\nend_header\n0 0\n",
         13},
        {"uint indices", model(1, "element face 0\nproperty list uchar uint vertex_indices\n", "0 0 0\n"), 14},
        {"int counts", model(1, "element face 0\nproperty list int int vertex_indices\n", "0 0 0\n"), 14},
        {"no faces at all", model(1, "", "0 0 0\n"), 14},
        {"four corners",
         model(4, "element face 1\nproperty list uchar int vertex_indices\n", squareVertices(4) + "4 0 1 2 3\n"), 16},
        {"two corners",
         model(3, "element face 1\nproperty list uchar int vertex_indices\n", squareVertices(3) + "2 0 1\n"), 16},
        {"index past the end",
         model(3, "element face 1\nproperty list uchar int vertex_indices\n", squareVertices(3) + "3 0 1 3\n"), 17},
        {"negative index",
         model(3, "element face 1\nproperty list uchar int vertex_indices\n", squareVertices(3) + "3 0 -1 2\n"), 17},
        {"faces before vertices",
         std::string(kHead) +
             "element face 1\nproperty list uchar int vertex_indices\n"
             "element vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
             "end_header\n3 0 1 2\n" +
             squareVertices(3),
         17},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(load(c.text), -1);
        EXPECT_EQ(mesh.error, c.code);
    }
    EXPECT_STREQ(nuk::PlyFile::ErrorMessage(16), "Face with more than 3 vertices");
}

TEST_P(MeshPly, DataEndingEarlyGivesCode15InEveryElement)
{
    const std::string withMaterial = std::string(kHead) +
                                     "element vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
                                     "element material 2\nproperty float shine\n"
                                     "element face 1\nproperty list uchar int vertex_indices\nend_header\n"
                                     "0 0 0\n1 0 0\n0 1 0\n0.5\n0.25\n3 0 1 2\n";
    // Bytes from the end: inside the face, inside the material, inside the vertices.
    const size_t binaryCuts[] = {1, 4 + 13, 4 + 13 + 8 + 20};
    const size_t asciiCuts[] = {3, 8 + 5, 8 + 9 + 3};
    for (int i = 0; i < 3; ++i) {
        const size_t cut = GetParam() == Format::Ascii ? asciiCuts[i] : binaryCuts[i];
        SCOPED_TRACE(cut);
        const std::string path = write(withMaterial, "cut.ply", cut);
        EXPECT_EQ(nuk::LoadPly(mesh, path.c_str()), -1);
        EXPECT_EQ(mesh.error, 15);
    }
}

TEST_P(MeshPly, AlternativeIndexNameAndUnknownElements)
{
    const std::string text = std::string(kHead) +
                             "element vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
                             "element material 2\nproperty float shine\nproperty list uchar double spectrum\n"
                             "element face 2\nproperty list uchar int vertex_index\n"
                             "end_header\n"
                             "0 0 0\n1 0 0\n0 1 0\n"
                             "0.5 2 1 2\n0.25 0\n"
                             "3 2 1 0\n3 0 2 1\n";
    ASSERT_EQ(load(text), 0);
    EXPECT_EQ(triangles(), (Tri{{2, 1, 0}, {0, 2, 1}}));
}

TEST_P(MeshPly, TriangleStrips)
{
    const auto strips = [](int vertices, const std::string &records) {
        return model(vertices, "element tristrips 1\nproperty list int int vertex_indices\n",
                     squareVertices(vertices) + records);
    };
    ASSERT_EQ(load(strips(5, "5 0 1 2 3 4\n")), 0);
    EXPECT_EQ(triangles(), (Tri{{0, 1, 2}, {2, 1, 3}, {2, 3, 4}}));
    EXPECT_EQ(mesh.face_count, 3);

    ASSERT_EQ(load(strips(6, "7 0 1 2 -1 3 4 5\n")), 0);
    EXPECT_EQ(triangles(), (Tri{{0, 1, 2}, {3, 4, 5}}));

    // After a restart the first triangle keeps the file's order, whatever the position.
    ASSERT_EQ(load(strips(8, "9 0 1 2 3 -1 4 5 6 7\n")), 0);
    EXPECT_EQ(triangles(), (Tri{{0, 1, 2}, {2, 1, 3}, {4, 5, 6}, {6, 5, 7}}));

    ASSERT_EQ(load(strips(3, "2 0 1\n")), 0);
    EXPECT_TRUE(mesh.faces.empty());

    EXPECT_EQ(load(strips(3, "4 0 1 2 3\n")), -1);
    EXPECT_EQ(mesh.error, 17);
    EXPECT_EQ(load(strips(3, "3 0 -2 1\n")), -1);
    EXPECT_EQ(mesh.error, 17);
}

TEST_P(MeshPly, StripsAndFacesInOneFileUseOnlyTheRegisteredIndices)
{
    // The faces' indices are registered; the strips are read past and change nothing.
    const std::string both = model(4,
                                   "element face 1\nproperty list uchar int vertex_indices\n"
                                   "element tristrips 1\nproperty list int int vertex_indices\n",
                                   squareVertices(4) + "3 1 2 3\n4 0 1 2 3\n");
    ASSERT_EQ(load(both), 0);
    EXPECT_EQ(triangles(), (Tri{{1, 2, 3}}));

    // Faces whose indices are of the wrong type, with flags: the strips win and
    // the faces (flags included) are read past.
    const std::string strips = model(4,
                                     "element tristrips 1\nproperty list int int vertex_indices\n"
                                     "element face 1\nproperty int flags\nproperty list uchar short vertex_indices\n",
                                     squareVertices(4) + "4 0 1 2 3\n1 3 0 1 2\n");
    ASSERT_EQ(load(strips, "strips.ply"), 0);
    EXPECT_EQ(mask, nuk::PLYMASK_FACEFLAGS);
    EXPECT_EQ(triangles(), (Tri{{0, 1, 2}, {2, 1, 3}}));
    for (const AFace &f : mesh.faces)
        EXPECT_EQ(f.flags, 0);
}

TEST_P(MeshPly, SecondVertexElementCannotPullVerticesFromUnderTheFaces)
{
    const std::string text = std::string(kHead) +
                             "element vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
                             "element face 1\nproperty list uchar int vertex_indices\n"
                             "element vertex 1\nproperty float x\nproperty float y\nproperty float z\n"
                             "end_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n7 7 7\n";
    ASSERT_EQ(load(text), 0);
    ASSERT_EQ(mesh.vertices.size(), 3u);
    EXPECT_EQ(triangles(), (Tri{{0, 1, 2}}));
    nuk::ComputeBoundingBox(mesh);
    EXPECT_EQ(mesh.box.max, Point3f(1, 1, 0));
}

TEST_P(MeshPly, Camera)
{
    const char *names[23] = {"view_px", "view_py",   "view_pz",   "x_axisx", "x_axisy", "x_axisz", "y_axisx", "y_axisy",
                             "y_axisz", "z_axisx",   "z_axisy",   "z_axisz", "focal",   "scalex",  "scaley",  "centerx",
                             "centery", "viewportx", "viewporty", "k1",      "k2",      "k3",      "k4"};
    std::string header = std::string(kHead) + "element camera 2\n";
    std::string first, second;
    for (int i = 0; i < 23; ++i) {
        header += std::string("property ") + (i == 17 || i == 18 ? "int " : "float ") + names[i] + "\n";
        first += "9 ";
        second += std::to_string(i + 1) + (i == 12 ? ".5 " : " ");
    }
    const std::string faces = "element vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
                              "element face 0\nproperty list uchar int vertex_indices\nend_header\n";
    ASSERT_EQ(load(header + faces + first + "\n" + second + "\n" + squareVertices(3)), 0);
    EXPECT_EQ(mask, nuk::PLYMASK_CAMERA);
    const nuk::MeshCamera &c = mesh.camera;
    EXPECT_TRUE(c.valid);
    // The last record wins.
    EXPECT_EQ(c.view_p, Point3f(1, 2, 3));
    EXPECT_EQ(c.x_axis, Point3f(4, 5, 6));
    EXPECT_EQ(c.y_axis, Point3f(7, 8, 9));
    EXPECT_EQ(c.z_axis, Point3f(10, 11, 12));
    EXPECT_EQ(c.focal, 13.5f);
    EXPECT_EQ(c.scale, nuk::Point2f(14, 15));
    EXPECT_EQ(c.center, nuk::Point2f(16, 17));
    EXPECT_EQ(c.viewport, nuk::Point2i(18, 19));
    EXPECT_EQ(c.k[0], 20);
    EXPECT_EQ(c.k[3], 23);

    // Only some fields: no mask bit, still a camera, the rest defined as 0.
    const std::string partial = std::string(kHead) +
                                "element camera 1\nproperty float view_px\nproperty float view_py\n"
                                "property float view_pz\nproperty float focal\n" +
                                faces + "1 2 3 40\n" + squareVertices(3);
    ASSERT_EQ(load(partial, "partial.ply"), 0);
    EXPECT_EQ(mask, 0);
    EXPECT_TRUE(mesh.camera.valid);
    EXPECT_EQ(mesh.camera.view_p, Point3f(1, 2, 3));
    EXPECT_EQ(mesh.camera.focal, 0.0f); // registration stopped at x_axisx
    EXPECT_EQ(mesh.camera.viewport, nuk::Point2i(0, 0));

    // The next file without a camera clears it.
    ASSERT_EQ(load(kTriangle, "plain.ply"), 0);
    EXPECT_FALSE(mesh.camera.valid);
}

TEST_P(MeshPly, TextureNames)
{
    const std::string longName(300, 'a');
    const std::string text = std::string(kHead) +
                             "comment TextureFile <this>_diffuse.png\n"
                             "comment TextureFile my tex.png\n"
                             "obj_info TextureNormalFile n.png\n"
                             "comment just a note\n"
                             "comment TextureFile\n"
                             "comment TextureFile\t" +
                             longName +
                             ".png\n"
                             "comment TextureFile~odd}\x7f\xe9name{|.png\r\n"
                             "comment TextureNormalFile <THIS>.n.png\n" +
                             kTriangle.substr(std::string(kHead).size());
    ASSERT_EQ(load(text, "Vase.ply"), 0);
    EXPECT_EQ(mesh.texture_files,
              (std::vector<std::string>{"Vase_diffuse.png", "mytex.png", "", longName + ".png", "oddname{|.png"}));
    EXPECT_EQ(mesh.normal_map_files, (std::vector<std::string>{"n.png", "Vase.n.png"}));
}

TEST_P(MeshPly, ProgressIsReportedEveryThousandRecords)
{
    std::string records = squareVertices(2500);
    for (int i = 0; i < 1200; ++i)
        records += "3 0 1 2\n";
    const std::string path = write(model(2500, "element face 1200\nproperty list uchar int vertex_indices\n", records));
    std::vector<std::pair<int, std::string>> calls;
    const nuk::ProgressCallback cb = [&](int p, const char *what) { calls.emplace_back(p, what); };
    ASSERT_EQ(nuk::LoadPly(mesh, path.c_str(), cb), 0);
    EXPECT_EQ(calls, (std::vector<std::pair<int, std::string>>{{0, "Vertex Loading"},
                                                               {20, "Vertex Loading"},
                                                               {40, "Vertex Loading"},
                                                               {50, "Face Loading"},
                                                               {91, "Face Loading"}}));
    EXPECT_EQ(mesh.face_count, 1200);
}

TEST_P(MeshPly, ExtraPropertiesLandInTheElements)
{
    // Normals from the file, into AVertex::normal; a face tag into AFace::normal.x.
    const std::string text = std::string(kHead) +
                             "element vertex 2\nproperty float x\nproperty float y\nproperty float z\n"
                             "property float nx\nproperty float ny\nproperty float nz\n"
                             "element face 1\nproperty float tag\nproperty list uchar int vertex_indices\n"
                             "property list uchar float color\n"
                             "end_header\n0 0 0 1 2 3\n1 1 1 4 5 6\n"
                             "7.5 3 0 1 1 40 " +
                             [] {
                                 std::string s;
                                 for (int i = 0; i < 40; ++i)
                                     s += "0.25 ";
                                 return s;
                             }() +
                             "\n";
    const nuk::PropDescriptor vx[3] = {
        {"vertex", "nx", nuk::T_FLOAT, nuk::T_FLOAT, int(offsetof(AVertex, normal.x)), 0, 0, 0, 0, 0, 0},
        {"vertex", "ny", nuk::T_FLOAT, nuk::T_FLOAT, int(offsetof(AVertex, normal.y)), 0, 0, 0, 0, 0, 0},
        {"vertex", "nz", nuk::T_FLOAT, nuk::T_FLOAT, int(offsetof(AVertex, normal.z)), 0, 0, 0, 0, 0, 0}};
    const nuk::PropDescriptor fx[1] = {
        {"face", "tag", nuk::T_FLOAT, nuk::T_FLOAT, int(offsetof(AFace, normal.x)), 0, 0, 0, 0, 0, 0}};
    const std::string path = write(text);
    ASSERT_EQ(nuk::LoadPly(mesh, path.c_str(), vx, 3, fx, 1, mask), 0);
    EXPECT_EQ(mask, nuk::PLYMASK_COLORLIST);
    EXPECT_EQ(mesh.vertices[0].normal, Point3f(1, 2, 3));
    EXPECT_EQ(mesh.vertices[1].normal, Point3f(4, 5, 6));
    // The 40-value colour list after the tag neither overran the record nor the tag.
    EXPECT_EQ(mesh.faces[0].normal.x, 7.5f);

    // A missing extra property is the reader's code.
    const nuk::PropDescriptor missing = {"vertex", "nw", nuk::T_FLOAT, nuk::T_FLOAT, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(nuk::LoadPly(mesh, path.c_str(), &missing, 1, nullptr, 0, mask), -1);
    EXPECT_EQ(mesh.error, 9);
}

TEST_P(MeshPly, ExtrasMayFillExactly256Bytes)
{
    // 64 floats are 256 bytes; one uchar more is too many.
    std::string header =
        std::string(kHead) + "element vertex 1\nproperty float x\nproperty float y\nproperty float z\n";
    std::string values = "1 2 3";
    std::vector<std::string> names;
    for (int i = 0; i < 64; ++i) {
        names.push_back("e" + std::to_string(i));
        header += "property float " + names.back() + "\n";
        values += " " + std::to_string(i);
    }
    header += "property uchar last\n";
    values += " 200\n";
    const std::string text = header + "element face 0\nproperty list uchar int vertex_indices\nend_header\n" + values;
    std::vector<nuk::PropDescriptor> ex;
    for (const std::string &n : names)
        ex.push_back(
            {"vertex", n.c_str(), nuk::T_FLOAT, nuk::T_FLOAT, int(offsetof(AVertex, normal.x)), 0, 0, 0, 0, 0, 0});
    const std::string path = write(text);
    ASSERT_EQ(nuk::LoadPly(mesh, path.c_str(), ex.data(), 64, nullptr, 0, mask), 0);
    EXPECT_EQ(mesh.vertices[0].normal.x, 63.0f); // all land on one field: the last one wins
    ex.push_back({"vertex", "last", nuk::T_UCHAR, nuk::T_UCHAR, int(offsetof(AVertex, color)), 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(nuk::LoadPly(mesh, path.c_str(), ex.data(), 65, nullptr, 0, mask), -1);
    EXPECT_EQ(mesh.error, 10);
}

TEST_P(MeshPly, FlagsFromTheFileNeverReachAnAccessorCheck)
{
    // Vertex 3 deleted, vertex 1 locked; face 1 deleted, face 2 on the deleted
    // vertex, face 3 locked against reading and writing, plus a meaningless bit.
    const std::string text = std::string(kHead) +
                             "element vertex 4\nproperty float x\nproperty float y\nproperty float z\n"
                             "property int flags\n"
                             "element face 4\nproperty list uchar int vertex_indices\nproperty int flags\n"
                             "end_header\n"
                             "0 0 0 0\n1 0 0 6\n0 1 0 64\n9 9 9 1\n"
                             "3 0 1 2 0\n3 2 1 0 1\n3 0 1 3 0\n3 1 2 0 70\n";
    ASSERT_EQ(load(text), 0);
    EXPECT_EQ(mask, nuk::PLYMASK_VERTFLAGS | nuk::PLYMASK_FACEFLAGS);
    ASSERT_EQ(mesh.vertices.size(), 4u);
    EXPECT_EQ(mesh.vertices[1].flags, 0);
    EXPECT_EQ(mesh.vertices[2].flags, 64);
    EXPECT_EQ(mesh.vertices[3].flags, nuk::DELETED);
    EXPECT_EQ(mesh.vertex_count, 3);
    EXPECT_EQ(triangles(), (Tri{{0, 1, 2}, {1, 2, 0}}));
    EXPECT_EQ(mesh.faces[1].flags, 64);
    EXPECT_EQ(mesh.face_count, 2);

    // What the window does next, including drawing faces 0 .. face_count - 1.
    nuk::ComputeBoundingBox(mesh);
    nuk::ComputeFaceNormals(mesh, false);
    nuk::ComputeVertexNormals(mesh, false);
    EXPECT_EQ(mesh.box.max, Point3f(1, 1, 0));
    for (int i = 0; i < mesh.face_count; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(mesh.faces[i].V(j)->P().z, 0.0f);
    EXPECT_EQ(mesh.vertices[0].normal, Point3f(0, 0, 2));
}

TEST_P(MeshPly, FailedImportKeepsThePreviousModelWhole)
{
    ASSERT_EQ(load(std::string(kHead) + "comment TextureFile t.png\n" + kTriangle.substr(std::string(kHead).size())),
              0);
    nuk::ComputeBoundingBox(mesh);
    nuk::ComputeFaceNormals(mesh, false);
    const std::vector<AVertex> *storage = &mesh.vertices;
    const AVertex *first = mesh.vertices.data();

    const std::string bigger =
        model(5, "element face 2\nproperty list uchar int vertex_indices\n", squareVertices(5) + "3 0 1 2\n3 0 1 9\n");
    struct Case {
        std::string path;
        int code;
    } cases[] = {
        {dir + "/missing.ply", 1},
        {write(bigger, "badindex.ply"), 17},
        {write(bigger, "short.ply", 2), 15},
        {write(model(1, "", "0 0 0\n"), "nofaces.ply"), 14},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(nuk::LoadPly(mesh, c.path.c_str()), -1);
        EXPECT_EQ(mesh.error, c.code);
        ASSERT_EQ(mesh.vertices.size(), 3u);
        EXPECT_EQ(mesh.vertices.data(), first);
        EXPECT_EQ(&mesh.vertices, storage);
        EXPECT_EQ(triangles(), (Tri{{0, 1, 2}}));
        EXPECT_EQ(mesh.vertex_count, 3);
        EXPECT_EQ(mesh.face_count, 1);
        EXPECT_EQ(mesh.texture_files, std::vector<std::string>{"t.png"});
        EXPECT_EQ(mesh.box.max, Point3f(1, 1, 0));
        EXPECT_EQ(mesh.faces[0].normal, Point3f(0, 0, 1));
    }
    // And the next good file replaces it completely.
    ASSERT_EQ(nuk::LoadPly(mesh, write(model(4, "element face 2\nproperty list uchar int vertex_indices\n",
                                             squareVertices(4) + "3 0 1 2\n3 1 2 3\n"),
                                       "good.ply")
                                     .c_str()),
              0);
    EXPECT_EQ(mesh.error, 0);
    EXPECT_EQ(mesh.vertex_count, 4);
    EXPECT_EQ(mesh.face_count, 2);
    EXPECT_TRUE(mesh.texture_files.empty());
}

TEST_P(MeshPly, LyingCountsFailFastWithoutHugeAllocations)
{
    // The reader's own buffer is 1 MiB; the counts below would ask for 64 GB
    // of vertices or 80 GB of faces.
    const std::size_t bound = 4u << 20;
    // Two billion vertices and faces announced, three present.
    const std::string vertices =
        model(2000000000, "element face 2000000000\nproperty list uchar int vertex_indices\n", squareVertices(3));
    g_largestAllocation = 0;
    EXPECT_EQ(load(vertices), -1);
    EXPECT_EQ(mesh.error, 15);
    EXPECT_LT(g_largestAllocation.load(), bound);
    // Honest vertices, two billion faces announced, one present.
    const std::string faces =
        model(3, "element face 2000000000\nproperty list uchar int vertex_indices\n", squareVertices(3) + "3 0 1 2\n");
    g_largestAllocation = 0;
    EXPECT_EQ(load(faces, "faces.ply"), -1);
    EXPECT_EQ(mesh.error, 15);
    EXPECT_LT(g_largestAllocation.load(), bound);
    // An element of no properties and two billion records takes no bytes.
    const std::string empty =
        std::string(kHead) + "element nothing 2000000000\n" + kTriangle.substr(std::string(kHead).size());
    EXPECT_EQ(load(empty, "empty.ply"), 0);
    EXPECT_EQ(mesh.face_count, 1);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, MeshPly, ::testing::Values(Format::Ascii, Format::Little, Format::Big),
                         [](const ::testing::TestParamInfo<Format> &i) {
                             return std::string(i.param == Format::Ascii    ? "Ascii"
                                                : i.param == Format::Little ? "LittleEndian"
                                                                            : "BigEndian");
                         });

TEST(MeshPlyValues, BinaryAndAsciiReadTheSameValues)
{
    // Awkward floats survive all three formats bit for bit.
    const std::string text = model(2, "element face 0\nproperty list uchar int vertex_indices\n",
                                   "0.1 -3.4028235e38 1.17549435e-38\n123456.789 -0 7e-45\n");
    const testsupport::TempDir scratch;
    std::vector<AMesh> meshes(3);
    const Format formats[3] = {Format::Ascii, Format::Little, Format::Big};
    for (int i = 0; i < 3; ++i) {
        const std::string path = scratch.File("values" + std::to_string(i) + ".ply");
        WriteFile(path, ConvertPly(text, formats[i]));
        ASSERT_EQ(nuk::LoadPly(meshes[i], path.c_str()), 0);
    }
    EXPECT_EQ(meshes[0].vertices[0].position, Point3f(0.1f, -3.4028235e38f, 1.17549435e-38f));
    for (int i = 1; i < 3; ++i)
        for (int v = 0; v < 2; ++v)
            EXPECT_EQ(std::memcmp(&meshes[0].vertices[v].position, &meshes[i].vertices[v].position, 12), 0);
}

using MeshPlyDeathTest = ::testing::Test;

TEST(MeshPlyDeathTest, CallerMistakesAreProgrammingErrors)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string path = ::testing::TempDir() + "extras.ply";
    WriteFile(path, kTriangle);
    int mask = 0;
    AMesh m;
    // An extra that would land past the end of the vertex.
    const nuk::PropDescriptor past = {"vertex", "x", nuk::T_FLOAT, nuk::T_DOUBLE, 28, 0, 0, 0, 0, 0, 0};
    EXPECT_DEATH(nuk::LoadPly(m, path.c_str(), &past, 1, nullptr, 0, mask),
                 "^Assertion failed: extras\\[i\\]\\.offset>=0 .*, file nuk/Mesh/MeshPly, line [0-9]+\n");
    // A face extra naming another element, or a list.
    const nuk::PropDescriptor other = {"vertex", "x", nuk::T_FLOAT, nuk::T_FLOAT, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_DEATH(nuk::LoadPly(m, path.c_str(), nullptr, 0, &other, 1, mask),
                 "^Assertion failed: ownElement, file nuk/Mesh/MeshPly, line [0-9]+\n");
    const nuk::PropDescriptor list = {"face", "vertex_indices", nuk::T_INT,   nuk::T_INT, 0, 1,
                                      0,      nuk::T_UCHAR,     nuk::T_UCHAR, 0,          0};
    EXPECT_DEATH(nuk::LoadPly(m, path.c_str(), nullptr, 0, &list, 1, mask),
                 "^Assertion failed: d\\.islist==0, file nuk/Mesh/MeshPly, line [0-9]+\n");
    std::remove(path.c_str());
    EXPECT_DEATH(nuk::LoadPly(m, nullptr), "^Assertion failed: filename!=0, file nuk/Mesh/MeshPly, line [0-9]+\n");
}
