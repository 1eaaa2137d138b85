#pragma once
// What the OBJ and STL imports share: their extra error codes, what they
// report besides the code, the pieces that read text lines and numbers and
// build the mesh from indexed triangles, and the load around their readers.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "nuk/Mesh/AMesh.h"
#include "nuk/Mesh/MeshPly.h"
#include "nuk/tools/plyinput.h"

namespace nuk
{

// Codes of the OBJ and STL imports beyond the PLY table's, which they also
// use where the meaning is the same: 1 cannot open, 14 no faces, 15 the data
// ends early, 17 a corner index outside the vertices.
enum {
    E_MODELSYNTAX = 20,    // a line that does not read as the format says
    E_MODELNOTFINITE = 21, // a coordinate that is NaN, infinite or beyond float
    E_MODELTOOLARGE = 22,  // more vertices or triangles than a mesh can count
};

// Message of any import code: the PLY table's, then the codes above.
const char *ModelErrorMessage(int code);

// What an OBJ or STL import says besides its code.
struct MeshFileReport {
    std::string message;                // why it failed, naming the line or triangle
    std::vector<std::string> converted; // what was changed to get triangles
};

namespace meshbuild
{

// The lines of a text file, without their terminators ("\n" or "\r\n").
// Lines are as long as the file makes them: the buffer grows, bounded by
// the file's size.
class TextLines
{
public:
    explicit TextLines(PlyInput &in) : in_(in) {}
    // The next line in [begin, end); false at the end of the file. Valid
    // until the next call.
    bool Next(const char *&begin, const char *&end);
    long long Number() const { return number_; } // of the line last returned, from 1

private:
    PlyInput &in_;
    long long number_ = 0;
};

// A number token [b, e) as a finite float: false when it is no number at
// all (syntax), `finite` false when it is NaN, infinite or beyond float.
bool ParseFloat(const char *b, const char *e, float &out, bool &finite);

// A decimal integer token [b, e) with an optional sign; false when it is not
// one or lies beyond +-2^62.
bool ParseInteger(const char *b, const char *e, long long &out);

// The token [b, e) for a message: at most 40 characters, bytes outside
// printable ASCII as \xNN.
std::string Quote(const char *b, const char *e);

// A new model made of indexed triangles; handed to the mesh only whole.
class TriangleMesh
{
public:
    static constexpr long long kMaxElements = 0x7fffffff; // the mesh counts in int

    // False when the mesh could not count one more.
    bool AddVertex(const Point3f &p);
    bool AddTriangle(std::int32_t a, std::int32_t b, std::int32_t c);
    long long Vertices() const { return (long long)(vertices_.size()); }
    const Point3f &Position(std::int32_t i) const { return vertices_[size_t(i)].position; }
    void ReserveTriangles(size_t n) { triangles_.reserve(n); }
    long long Triangles() const { return (long long)(triangles_.size()); }

    // Replaces the mesh's model: vertices, faces, counts, and no camera or
    // texture names. Box and normals are the caller's to compute.
    void MoveInto(AMesh &mesh);

private:
    std::vector<AVertex> vertices_;
    std::vector<std::array<std::int32_t, 3>> triangles_;
};

// An OBJ or STL import around its reader: the file opened, the reader run
// over it, and the mesh's model replaced only when the reader finished
// without a code. Reader(PlyInput &, const ProgressCallback &) offers Run()
// (0 or a code), Message(), Converted() and Mesh().
template <class Reader>
int LoadWith(AMesh &mesh, const char *filename, MeshFileReport &report, const ProgressCallback &progress)
{
    report = MeshFileReport();
    PlyInput in;
    if (!in.Open(filename)) {
        mesh.error = E_CANTOPEN;
        report.message = ModelErrorMessage(E_CANTOPEN);
        return -1;
    }
    Reader reader(in, progress);
    const int code = reader.Run();
    mesh.error = code;
    if (code != 0) {
        report.message = reader.Message();
        return -1;
    }
    report.converted = reader.Converted(); // before the move: it may count the mesh
    reader.Mesh().MoveInto(mesh);
    return 0;
}

} // namespace meshbuild
} // namespace nuk
