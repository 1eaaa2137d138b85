// OBJ mesh import: one pass over the lines, vertices and fan triangles into a
// new model that replaces the caller's only once the whole file has been read.

#include "nuk/Mesh/MeshObj.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "nuk/Assert.h"
#include "nuk/tools/plyinput.h"

namespace nuk
{
namespace
{

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// Words of one line.
class Words
{
public:
    Words(const char *b, const char *e) : p_(b), e_(e) {}
    bool Next(const char *&b, const char *&e)
    {
        while (p_ != e_ && IsBlank(*p_))
            ++p_;
        if (p_ == e_) return false;
        b = p_;
        while (p_ != e_ && !IsBlank(*p_))
            ++p_;
        e = p_;
        return true;
    }

private:
    const char *p_;
    const char *e_;
};

bool Is(const char *b, const char *e, const char *word)
{
    const size_t n = std::strlen(word);
    return size_t(e - b) == n && std::memcmp(b, word, n) == 0;
}

std::string Plural(long long n, const char *one, const char *many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

class ObjReader
{
public:
    ObjReader(PlyInput &in, const ProgressCallback &progress) : in_(in), lines_(in), progress_(progress) {}

    // 0, or the error code with message_ set.
    int Run()
    {
        const long long total = in_.Left();
        const char *b, *e;
        while (lines_.Next(b, e)) {
            if (progress_ && lines_.Number() % 4096 == 1)
                progress_(int((total - in_.Left()) * 100 / (total > 0 ? total : 1)), "OBJ Loading");
            if (std::memchr(b, 0, size_t(e - b)))
                return Fail(E_MODELSYNTAX, "binary data, not the text of an OBJ file");
            if (const char *hash = static_cast<const char *>(std::memchr(b, '#', size_t(e - b)))) e = hash;
            Words words(b, e);
            const char *kb, *ke;
            if (!words.Next(kb, ke)) continue;
            int code = 0;
            if (Is(kb, ke, "v"))
                code = Vertex(words);
            else if (Is(kb, ke, "f"))
                code = Face(words);
            else if (Is(kb, ke, "vt"))
                ++texcoords_;
            else if (Is(kb, ke, "vn"))
                ++normals_;
            if (code) return code;
        }
        if (mesh_.Triangles() == 0) {
            message_ = mesh_.Vertices() == 0
                           ? "no vertices and no faces: not an OBJ model"
                           : "no faces (\"f\" lines), only " + Plural(mesh_.Vertices(), "vertex", "vertices");
            return E_NOFACEFIELD;
        }
        if (polygons_ > 0)
            converted_.push_back(Plural(polygons_, "face", "faces") + " of more than 3 corners split into " +
                                 Plural(polygonTriangles_, "triangle", "triangles"));
        return 0;
    }

    meshbuild::TriangleMesh &Mesh() { return mesh_; }
    const std::string &Message() const { return message_; }
    const std::vector<std::string> &Converted() const { return converted_; }

private:
    int Fail(int code, const std::string &what)
    {
        message_ = "line " + std::to_string(lines_.Number()) + ": " + what;
        return code;
    }

    int Vertex(Words &words)
    {
        float xyz[3];
        for (float &c : xyz) {
            const char *b, *e;
            if (!words.Next(b, e)) return Fail(E_MODELSYNTAX, "a vertex needs x, y and z");
            bool finite = false;
            if (!meshbuild::ParseFloat(b, e, c, finite))
                return Fail(E_MODELSYNTAX, meshbuild::Quote(b, e) + " is not a number");
            if (!finite)
                return Fail(E_MODELNOTFINITE, "coordinate " + meshbuild::Quote(b, e) + " is not a finite float");
        }
        if (!mesh_.AddVertex(Point3f(xyz[0], xyz[1], xyz[2]))) return Fail(E_MODELTOOLARGE, "too many vertices");
        return 0;
    }

    // One index of a corner: from 1 up, or negative from the last one defined.
    int Index(const char *b, const char *e, long long defined, const char *one, const char *many, std::int32_t &out)
    {
        long long i = 0;
        if (!meshbuild::ParseInteger(b, e, i))
            return Fail(E_MODELSYNTAX, meshbuild::Quote(b, e) + " is not a " + one + " index");
        if (i == 0) return Fail(E_BADVERTINDEX, std::string(one) + " index 0 (indices count from 1)");
        const long long k = i > 0 ? i - 1 : defined + i;
        if (k < 0 || k >= defined)
            return Fail(E_BADVERTINDEX, std::string(one) + " index " + std::to_string(i) + " outside the " +
                                            Plural(defined, one, many) + " defined above this line");
        out = std::int32_t(k);
        return 0;
    }

    int Face(Words &words)
    {
        corners_.clear();
        const char *b, *e;
        while (words.Next(b, e)) {
            // v, v/vt, v//vn or v/vt/vn
            const char *parts[3][2] = {{b, e}, {e, e}, {e, e}};
            int n = 1;
            for (const char *p = b; p != e; ++p)
                if (*p == '/') {
                    if (n == 3) return Fail(E_MODELSYNTAX, meshbuild::Quote(b, e) + " is not a face corner");
                    parts[n - 1][1] = p;
                    parts[n][0] = p + 1;
                    parts[n][1] = e;
                    ++n;
                }
            std::int32_t v = 0, unused = 0;
            if (int c = Index(parts[0][0], parts[0][1], mesh_.Vertices(), "vertex", "vertices", v)) return c;
            if (n > 1 && parts[1][0] != parts[1][1])
                if (int c = Index(parts[1][0], parts[1][1], texcoords_, "texture coordinate", "texture coordinates",
                                  unused))
                    return c;
            if (n > 2 && parts[2][0] != parts[2][1])
                if (int c = Index(parts[2][0], parts[2][1], normals_, "normal", "normals", unused)) return c;
            corners_.push_back(v);
        }
        if (corners_.size() < 3)
            return Fail(E_MODELSYNTAX,
                        "a face needs 3 corners at least, this one has " + std::to_string(corners_.size()));
        // A fan around the first corner keeps the polygon's winding.
        for (size_t k = 1; k + 1 < corners_.size(); ++k)
            if (!mesh_.AddTriangle(corners_[0], corners_[k], corners_[k + 1]))
                return Fail(E_MODELTOOLARGE, "too many triangles");
        if (corners_.size() > 3) {
            ++polygons_;
            polygonTriangles_ += (long long)(corners_.size()) - 2;
        }
        return 0;
    }

    PlyInput &in_;
    meshbuild::TextLines lines_;
    const ProgressCallback &progress_;
    meshbuild::TriangleMesh mesh_;
    std::vector<std::int32_t> corners_; // of the face being read
    long long texcoords_ = 0, normals_ = 0;
    long long polygons_ = 0, polygonTriangles_ = 0;
    std::string message_;
    std::vector<std::string> converted_;
};

} // namespace

int LoadObj(AMesh &mesh, const char *filename, MeshFileReport &report, const ProgressCallback &progress)
{
    // clang-format off
    NUK_ASSERT(filename!=0, "nuk/Mesh/MeshObj");
    // clang-format on
    return meshbuild::LoadWith<ObjReader>(mesh, filename, report, progress);
}

} // namespace nuk
