#pragma once
// A generated stand-in for a scanned relief (a carved panel, a coin, a
// tablet): a height field over a square in front of the base plane, with
// detail at several scales so no simplifier finds it flat. cols x rows
// vertices; 2 (cols - 1)(rows - 1) faces, counter-clockwise seen from the
// camera. 1001 x 2001 gives 4,000,000 faces.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchMesh.h"
#include "nuk/Mesh/AMesh.h"

namespace benchdata
{

constexpr float kReliefSide = 1200.0f; // millimetres, centred on the object

// Height above the base plane at (x, y), in millimetres.
inline float ReliefHeight(float x, float y)
{
    return 60.0f + 40.0f * std::sin(x / 90.0f) * std::cos(y / 110.0f) + 12.0f * std::sin((x + 2 * y) / 23.0f) +
           3.0f * std::sin(x / 3.1f) * std::cos(y / 2.7f);
}

inline void ReliefPoint(int c, int r, int cols, int rows, float out[3])
{
    out[0] = kReliefSide * (float(c) / float(cols - 1) - 0.5f);
    out[1] = kReliefSide * (float(r) / float(rows - 1) - 0.5f);
    out[2] = ReliefHeight(out[0], out[1]);
}

// Corner indices of face k of the grid: two per cell, row by row.
inline void ReliefFace(std::size_t k, int cols, std::uint32_t out[3])
{
    const std::size_t cell = k / 2;
    const std::uint32_t c = std::uint32_t(cell % std::size_t(cols - 1)),
                        r = std::uint32_t(cell / std::size_t(cols - 1));
    const std::uint32_t a = r * cols + c, b = a + 1, d = a + cols, e = d + 1;
    if (k % 2 == 0) {
        out[0] = a, out[1] = b, out[2] = e;
    } else {
        out[0] = a, out[1] = e, out[2] = d;
    }
}

inline std::size_t ReliefFaces(int cols, int rows) { return 2 * std::size_t(cols - 1) * std::size_t(rows - 1); }

// The relief as the window's mesh after a load: box and raw normals.
inline void MakeRelief(AMesh &m, int cols, int rows)
{
    m.vertices.resize(std::size_t(cols) * rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            float p[3];
            ReliefPoint(c, r, cols, rows, p);
            AVertex &v = m.vertices[std::size_t(r) * cols + c];
            v.flags = 0;
            v.position = nuk::Point3f(p[0], p[1], p[2]);
        }
    m.faces.resize(ReliefFaces(cols, rows));
    for (std::size_t k = 0; k < m.faces.size(); ++k) {
        std::uint32_t i[3];
        ReliefFace(k, cols, i);
        SetTriangle(m.faces[k], &m.vertices[i[0]], &m.vertices[i[1]], &m.vertices[i[2]]);
    }
    FinishAsLoaded(m);
}

// The same relief as a binary little-endian PLY file, written as it goes.
inline bool WriteReliefPly(const std::string &path, int cols, int rows)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const std::size_t nv = std::size_t(cols) * rows, nf = ReliefFaces(cols, rows);
    std::fprintf(f,
                 "ply\nformat binary_little_endian 1.0\ncomment generated relief\nelement vertex %zu\n"
                 "property float x\nproperty float y\nproperty float z\nelement face %zu\n"
                 "property list uchar int vertex_indices\nend_header\n",
                 nv, nf);
    std::vector<unsigned char> buf;
    buf.reserve(1 << 20);
    auto flush = [&] {
        const bool ok = std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
        buf.clear();
        return ok;
    };
    auto put = [&](const void *p, std::size_t n) {
        const unsigned char *b = static_cast<const unsigned char *>(p);
        buf.insert(buf.end(), b, b + n); // the bench machines are little-endian
    };
    bool ok = true;
    for (int r = 0; r < rows && ok; ++r) {
        for (int c = 0; c < cols; ++c) {
            float p[3];
            ReliefPoint(c, r, cols, rows, p);
            put(p, sizeof p);
        }
        if (buf.size() > (1u << 20) - 4096) ok = flush();
    }
    for (std::size_t k = 0; k < nf && ok; ++k) {
        std::uint32_t i[3];
        ReliefFace(k, cols, i);
        const unsigned char three = 3;
        put(&three, 1);
        put(i, sizeof i);
        if (buf.size() > (1u << 20) - 64) ok = flush();
    }
    ok = ok && flush();
    return std::fclose(f) == 0 && ok;
}

} // namespace benchdata
