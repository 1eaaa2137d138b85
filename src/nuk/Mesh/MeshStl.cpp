// STL mesh import: binary or ASCII triangles, their corners welded by exact
// position, into a new model that replaces the caller's only once the whole
// file has been read.

#include "nuk/Mesh/MeshStl.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "nuk/Assert.h"
#include "nuk/tools/plyinput.h"

namespace nuk
{
namespace
{

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "binary STL floats are read as the host's");
static_assert(PlyInput::BLOCK >= 84, "the binary header and count fit one block");

constexpr int kHeaderBytes = 84;   // 80-byte header, 4-byte triangle count
constexpr int kTriangleBytes = 50; // normal, 3 corners, 2-byte attribute

inline bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Keywords are compared in any case: some writers shout.
bool IsWord(const char *b, const char *e, const char *word)
{
    const size_t n = std::strlen(word);
    if (size_t(e - b) != n) return false;
    for (size_t i = 0; i < n; ++i)
        if ((b[i] | 0x20) != word[i]) return false;
    return true;
}

bool StartsWithSolid(const char *p, size_t n)
{
    size_t i = 0;
    while (i < n && IsSpace(p[i]))
        ++i;
    return n - i >= 5 && IsWord(p + i, p + i + 5, "solid") && (n - i == 5 || IsSpace(p[i + 5]));
}

std::string Number(float f)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", double(f));
    return buf;
}

// Corners at exactly the same position share one vertex: an open-addressing
// table of vertex numbers, hashed on the float bits (0 and -0 alike).
class Welder
{
public:
    explicit Welder(meshbuild::TriangleMesh &mesh) : mesh_(mesh), slots_(1024, -1) {}

    // The vertex at p, added when new; -1 when the mesh cannot count another.
    std::int32_t At(const Point3f &p)
    {
        size_t i = Hash(p) & (slots_.size() - 1);
        for (;; i = (i + 1) & (slots_.size() - 1)) {
            const std::int32_t s = slots_[i];
            if (s < 0) break;
            const Point3f &q = mesh_.Position(s);
            if (q.x == p.x && q.y == p.y && q.z == p.z) return s;
        }
        if (!mesh_.AddVertex(p)) return -1;
        const std::int32_t v = std::int32_t(mesh_.Vertices() - 1);
        slots_[i] = v;
        if (size_t(v + 1) * 2 > slots_.size()) Grow();
        return v;
    }

private:
    static std::uint64_t Bits(float f)
    {
        if (f == 0) f = 0; // -0 hashes as 0
        std::uint32_t u;
        std::memcpy(&u, &f, sizeof u);
        return u;
    }
    static size_t Hash(const Point3f &p)
    {
        // Short decimals leave the low mantissa bits zero: mix high into low.
        std::uint64_t h = Bits(p.x) | Bits(p.y) << 32;
        h = (h ^ (h >> 31)) * 0x9e3779b97f4a7c15ULL;
        h = (h ^ Bits(p.z) ^ (h >> 29)) * 0xbf58476d1ce4e5b9ULL;
        return size_t(h ^ (h >> 32));
    }
    void Grow()
    {
        std::vector<std::int32_t> bigger(slots_.size() * 2, -1);
        const size_t mask = bigger.size() - 1;
        for (std::int32_t s : slots_) {
            if (s < 0) continue;
            size_t i = Hash(mesh_.Position(s)) & mask;
            while (bigger[i] >= 0)
                i = (i + 1) & mask;
            bigger[i] = s;
        }
        slots_.swap(bigger);
    }

    meshbuild::TriangleMesh &mesh_;
    std::vector<std::int32_t> slots_; // vertex numbers, -1 for a free slot
};

// Words across the lines of an ASCII file.
class Tokens
{
public:
    explicit Tokens(meshbuild::TextLines &lines) : lines_(lines) {}
    bool Next(const char *&b, const char *&e)
    {
        for (;;) {
            while (p_ != e_ && IsSpace(*p_))
                ++p_;
            if (p_ != e_) break;
            if (!lines_.Next(p_, e_)) return false;
        }
        b = p_;
        while (p_ != e_ && !IsSpace(*p_))
            ++p_;
        e = p_;
        return true;
    }
    void SkipLine() { p_ = e_; }

private:
    meshbuild::TextLines &lines_;
    const char *p_ = nullptr;
    const char *e_ = nullptr;
};

class StlReader
{
public:
    StlReader(PlyInput &in, const ProgressCallback &progress)
        : in_(in), lines_(in), tokens_(lines_), progress_(progress), welder_(mesh_)
    {
    }

    // 0, or the error code with message_ set.
    int Run()
    {
        total_ = in_.Left();
        if (total_ == 0) return Fail(E_NOFACEFIELD, "the file is empty");
        const size_t want = size_t(total_ < kHeaderBytes ? total_ : kHeaderBytes);
        in_.Ensure(want);
        const size_t have = size_t(in_.end - in_.cur) < want ? size_t(in_.end - in_.cur) : want;
        std::uint32_t n = 0;
        if (have == size_t(kHeaderBytes)) std::memcpy(&n, in_.cur + 80, sizeof n);
        const long long need = kHeaderBytes + (long long)kTriangleBytes * n;
        // A binary header may start with "solid" too: such a file is binary
        // when its count matches its size, or when its first 84 bytes hold a
        // zero byte, which no text has (a count below 2^24 has one).
        const bool binarySize = have == size_t(kHeaderBytes) && need == total_;
        if (StartsWithSolid(in_.cur, have) && !binarySize && !std::memchr(in_.cur, 0, have)) return Ascii();
        if (have < size_t(kHeaderBytes))
            return Fail(E_UNESPEOF, std::to_string(total_) +
                                        " bytes: too short for a binary STL (an 80-byte header and a 4-byte "
                                        "triangle count) and not an ASCII one (which starts with \"solid\")");
        if (need > total_)
            return Fail(E_UNESPEOF, "binary STL: the header counts " + std::to_string(n) + " triangles, which take " +
                                        std::to_string(need) + " bytes, but the file has " + std::to_string(total_));
        if (n == 0) return Fail(E_NOFACEFIELD, "binary STL with no triangles");
        if (n > meshbuild::TriangleMesh::kMaxElements) return Fail(E_MODELTOOLARGE, "too many triangles");
        in_.cur += kHeaderBytes;
        return Binary(n);
    }

    meshbuild::TriangleMesh &Mesh() { return mesh_; }
    const std::string &Message() const { return message_; }
    std::vector<std::string> Converted() const
    {
        return {std::to_string(3 * mesh_.Triangles()) + " triangle corners welded into " +
                std::to_string(mesh_.Vertices()) + " vertices"};
    }

private:
    int Fail(int code, const std::string &what)
    {
        message_ = what;
        return code;
    }
    int FailLine(int code, const std::string &what)
    {
        return Fail(code, "line " + std::to_string(lines_.Number()) + ": " + what);
    }

    void Progress(long long k)
    {
        if (progress_ && k % 4096 == 0) progress_(int((total_ - in_.Left()) * 100 / total_), "STL Loading");
    }

    int Binary(std::uint32_t n)
    {
        mesh_.ReserveTriangles(n); // checked against the file's size above
        for (std::uint32_t k = 0; k < n; ++k) {
            Progress(k);
            const long long at = kHeaderBytes + (long long)kTriangleBytes * k;
            if (!in_.Ensure(kTriangleBytes))
                return Fail(E_UNESPEOF, "binary STL: the file ends inside triangle " + std::to_string(k + 1));
            float c[9];
            std::memcpy(c, in_.cur + 12, sizeof c); // after the facet normal
            in_.cur += kTriangleBytes;
            for (int i = 0; i < 9; ++i)
                if (!std::isfinite(c[i]))
                    return Fail(E_MODELNOTFINITE, "binary STL: triangle " + std::to_string(k + 1) + " (byte " +
                                                      std::to_string(at) + ") has the coordinate " + Number(c[i]));
            std::int32_t v[3];
            for (int j = 0; j < 3; ++j)
                if ((v[j] = welder_.At(Point3f(c[3 * j], c[3 * j + 1], c[3 * j + 2]))) < 0)
                    return Fail(E_MODELTOOLARGE, "too many vertices");
            mesh_.AddTriangle(v[0], v[1], v[2]);
        }
        return 0;
    }

    int Expect(const char *word)
    {
        const char *b, *e;
        if (!tokens_.Next(b, e))
            return FailLine(E_UNESPEOF, std::string("the file ends inside a facet, before \"") + word + "\"");
        if (!IsWord(b, e, word))
            return FailLine(E_MODELSYNTAX, std::string("expected \"") + word + "\", found " + meshbuild::Quote(b, e));
        return 0;
    }

    int Facet()
    {
        const char *b, *e;
        if (int c = Expect("normal")) return c;
        // Not read: the view computes its own normals, and some writers put
        // NaN here for a degenerate facet.
        for (int i = 0; i < 3; ++i)
            if (!tokens_.Next(b, e)) return FailLine(E_UNESPEOF, "the file ends inside a facet normal");
        if (int c = Expect("outer")) return c;
        if (int c = Expect("loop")) return c;
        std::int32_t v[3];
        for (int j = 0; j < 3; ++j) {
            if (int c = Expect("vertex")) return c;
            float xyz[3];
            for (float &x : xyz) {
                if (!tokens_.Next(b, e)) return FailLine(E_UNESPEOF, "the file ends inside a vertex");
                bool finite = false;
                if (!meshbuild::ParseFloat(b, e, x, finite))
                    return FailLine(E_MODELSYNTAX, meshbuild::Quote(b, e) + " is not a number");
                if (!finite)
                    return FailLine(E_MODELNOTFINITE,
                                    "coordinate " + meshbuild::Quote(b, e) + " is not a finite float");
            }
            if ((v[j] = welder_.At(Point3f(xyz[0], xyz[1], xyz[2]))) < 0)
                return FailLine(E_MODELTOOLARGE, "too many vertices");
        }
        if (int c = Expect("endloop")) return c;
        if (int c = Expect("endfacet")) return c;
        if (!mesh_.AddTriangle(v[0], v[1], v[2])) return FailLine(E_MODELTOOLARGE, "too many triangles");
        return 0;
    }

    int Ascii()
    {
        const char *b, *e;
        for (long long k = 0; tokens_.Next(b, e);) {
            // Solid names run to the end of their line.
            if (IsWord(b, e, "solid") || IsWord(b, e, "endsolid")) {
                tokens_.SkipLine();
                continue;
            }
            if (!IsWord(b, e, "facet"))
                return FailLine(E_MODELSYNTAX, "expected \"facet\" or \"endsolid\", found " + meshbuild::Quote(b, e));
            Progress(k++);
            if (int c = Facet()) return c;
        }
        if (mesh_.Triangles() == 0) return Fail(E_NOFACEFIELD, "ASCII STL with no facets");
        return 0;
    }

    PlyInput &in_;
    meshbuild::TextLines lines_;
    Tokens tokens_;
    const ProgressCallback &progress_;
    meshbuild::TriangleMesh mesh_;
    Welder welder_;
    long long total_ = 0;
    std::string message_;
};

} // namespace

int LoadStl(AMesh &mesh, const char *filename, MeshFileReport &report, const ProgressCallback &progress)
{
    // clang-format off
    NUK_ASSERT(filename!=0, "nuk/Mesh/MeshStl");
    // clang-format on
    return meshbuild::LoadWith<StlReader>(mesh, filename, report, progress);
}

} // namespace nuk
