#include "nuk/Mesh/MeshBuild.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

#include <fast_float/fast_float.h>

#include "nuk/tools/plylib.h"

namespace nuk
{

const char *ModelErrorMessage(int code)
{
    switch (code) {
    case E_MODELSYNTAX:
        return "Syntax error in the model file";
    case E_MODELNOTFINITE:
        return "Coordinate is not a finite number";
    case E_MODELTOOLARGE:
        return "Too many vertices or triangles";
    default:
        return PlyFile::ErrorMessage(code);
    }
}

namespace meshbuild
{

bool TextLines::Next(const char *&begin, const char *&end)
{
    size_t scanned = 0; // bytes of the line already searched for its end
    for (;;) {
        const char *from = in_.cur + scanned;
        const char *nl = static_cast<const char *>(std::memchr(from, '\n', size_t(in_.end - from)));
        if (nl) {
            begin = in_.cur;
            end = nl;
            in_.cur = nl + 1;
            break;
        }
        scanned = size_t(in_.end - in_.cur);
        if (!in_.More()) {
            if (in_.cur == in_.end) return false;
            begin = in_.cur; // the last line has no terminator
            end = in_.end;
            in_.cur = in_.end;
            break;
        }
    }
    if (end != begin && end[-1] == '\r') --end;
    ++number_;
    return true;
}

bool ParseFloat(const char *b, const char *e, float &out, bool &finite)
{
    // fast_float reads no leading '+'; writers of both formats may put one.
    if (e - b > 1 && *b == '+' && b[1] != '-' && b[1] != '+') ++b;
    const fast_float::from_chars_result r = fast_float::from_chars(b, e, out);
    if (r.ptr != e || b == e) return false;
    if (r.ec != std::errc() && r.ec != std::errc::result_out_of_range) return false;
    finite = r.ec == std::errc() && std::isfinite(out);
    return true;
}

bool ParseInteger(const char *b, const char *e, long long &out)
{
    bool neg = false;
    if (b != e && (*b == '+' || *b == '-')) neg = *b++ == '-';
    if (b == e) return false;
    long long v = 0;
    for (; b != e; ++b) {
        if (*b < '0' || *b > '9') return false;
        const int d = *b - '0';
        if (v > ((1LL << 62) - d) / 10) return false; // checked before it could overflow
        v = v * 10 + d;
    }
    out = neg ? -v : v;
    return true;
}

std::string Quote(const char *b, const char *e)
{
    std::string s;
    const bool cut = e - b > 40;
    if (cut) e = b + 40;
    for (; b != e; ++b) {
        const unsigned char c = static_cast<unsigned char>(*b);
        if (c >= 0x20 && c < 0x7f) {
            s += char(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", unsigned(c));
            s += hex;
        }
    }
    return "'" + s + (cut ? "...'" : "'");
}

bool TriangleMesh::AddVertex(const Point3f &p)
{
    if (Vertices() >= kMaxElements) return false;
    AVertex v;
    v.flags = 0;
    v.color = ColorUB(0xffffffffu); // opaque white, like a PLY vertex without colour
    v.position = p;
    v.normal = Point3f(0, 0, 0);
    vertices_.push_back(v);
    return true;
}

bool TriangleMesh::AddTriangle(std::int32_t a, std::int32_t b, std::int32_t c)
{
    if (Triangles() >= kMaxElements) return false;
    triangles_.push_back({a, b, c});
    return true;
}

void TriangleMesh::MoveInto(AMesh &mesh)
{
    // Corners become pointers only now: the vertices no longer move.
    std::vector<AFace> faces;
    faces.reserve(triangles_.size());
    AVertex *const base = vertices_.data();
    AFace f;
    f.flags = 0;
    f.normal = Point3f(0, 0, 0);
    for (const std::array<std::int32_t, 3> &t : triangles_) {
        for (int k = 0; k < 3; ++k)
            f.v[k] = base + t[size_t(k)];
        faces.push_back(f);
    }
    std::vector<std::array<std::int32_t, 3>>().swap(triangles_);
    mesh.vertices.swap(vertices_);
    mesh.faces.swap(faces);
    mesh.vertex_count = int(mesh.vertices.size());
    mesh.face_count = int(mesh.faces.size());
    mesh.texture_files.clear();
    mesh.normal_map_files.clear();
    mesh.camera = MeshCamera();
    mesh.error = 0;
}

} // namespace meshbuild
} // namespace nuk
