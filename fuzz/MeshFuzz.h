#pragma once
// What the import fuzz targets share: the input as an in-memory file, a
// mesh that already holds a model, and the checks of what any outcome must
// leave behind. A broken invariant traps.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "nuk/Mesh/AMesh.h"

namespace meshfuzz
{

inline void check(bool ok)
{
    if (!ok) __builtin_trap();
}

// The input goes to an in-memory file (no disk traffic per run), reopened
// by name; returns that name.
inline const std::string &writeInput(const char *name, const uint8_t *data, size_t size)
{
    static const std::string path = [name] {
        const int fd = memfd_create(name, 0);
        if (fd < 0) __builtin_trap();
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) __builtin_trap();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path;
}

// One white triangle: the model a failed load must leave in place.
inline void previousModel(AMesh &m)
{
    const nuk::Point3f p[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    for (const nuk::Point3f &q : p) {
        AVertex v;
        v.position = q;
        v.color = nuk::ColorUB(0xffffffffu);
        m.vertices.push_back(v);
    }
    AFace f;
    for (int k = 0; k < 3; ++k)
        f.v[k] = &m.vertices[size_t(k)];
    m.faces.push_back(f);
    m.vertex_count = 3;
    m.face_count = 1;
}

// The previous model stays whole: same storage, same size.
inline void checkPreviousKept(const AMesh &m, const AVertex *before)
{
    check(m.vertices.data() == before && m.vertices.size() == 3 && m.faces.size() == 1);
}

// Counts match the sequences, every corner is a vertex of this mesh.
inline void checkConsistent(const AMesh &m)
{
    int live = 0;
    for (const AVertex &v : m.vertices)
        live += !v.IsDeleted();
    check(live == m.vertex_count);
    check(size_t(m.face_count) == m.faces.size());
    const AVertex *first = m.vertices.data();
    const AVertex *last = first + m.vertices.size();
    for (const AFace &fc : m.faces)
        for (const AVertex *v : fc.v)
            check(v >= first && v < last);
}

// The view's drawing loop: faces 0 .. face_count - 1 through the checked
// accessors.
inline void drawLikeTheView(AMesh &m)
{
    float sink = 0;
    for (int i = 0; i < m.face_count; ++i) {
        AFace &fc = m.faces[size_t(i)];
        sink += fc.normal.x;
        for (int j = 0; j < 3; ++j)
            sink += fc.V(j)->P().y;
    }
    volatile float keep = sink;
    (void)keep;
}

} // namespace meshfuzz
