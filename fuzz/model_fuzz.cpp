// Fuzz target over the window's load sequence for one file format
// (MODEL_FORMAT: Ply, Obj or Stl): the import (for PLY the strict one and its
// compatible retry), box and normals, into a mesh that already holds a
// model, then what the view does with it. A failure must keep the previous
// model and say why; any outcome must leave a consistent mesh. A broken
// invariant traps.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "nuk/Mesh/AMesh.h"
#include "nuk/Mesh/ModelLoad.h"

#ifndef MODEL_FORMAT
#error "MODEL_FORMAT names the format: Ply, Obj or Stl"
#endif

namespace
{

// The input goes to an in-memory file: no disk traffic per run.
const std::string &inputPath()
{
    static const std::string path = [] {
        const int fd = memfd_create("model_fuzz", 0);
        if (fd < 0) __builtin_trap();
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

void check(bool ok)
{
    if (!ok) __builtin_trap();
}

void previousModel(AMesh &m)
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string &path = inputPath();
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) __builtin_trap();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    AMesh mesh;
    previousModel(mesh);
    const AVertex *before = mesh.vertices.data();
    const nuk::ProgressCallback progress = [](int percent, const char *what) {
        check(percent >= 0 && percent <= 100 && what != nullptr);
    };
    const nuk::ModelLoadResult r = nuk::LoadModelAs(mesh, path.c_str(), nuk::ModelFormat::MODEL_FORMAT, progress);
    check(r.result == 0 || r.result == -1);
    check(r.ok() == (mesh.error == 0) || r.outOfMemory);
    if (!r.ok()) {
        // The previous model stays whole, and the user is told why.
        check(mesh.vertices.data() == before && mesh.vertices.size() == 3 && mesh.faces.size() == 1);
        check(!r.reason.empty() && !r.message.empty());
    }

    // Counts match the sequences, every corner is a vertex of this mesh.
    int live = 0;
    for (const AVertex &v : mesh.vertices)
        live += !v.IsDeleted();
    check(live == mesh.vertex_count);
    check(size_t(mesh.face_count) == mesh.faces.size());
    const AVertex *first = mesh.vertices.data();
    const AVertex *last = first + mesh.vertices.size();
    for (const AFace &fc : mesh.faces)
        for (const AVertex *v : fc.v)
            check(v >= first && v < last);

    // The view's drawing loop.
    float sink = 0;
    for (int i = 0; i < mesh.face_count; ++i) {
        AFace &fc = mesh.faces[size_t(i)];
        sink += fc.normal.x;
        for (int j = 0; j < 3; ++j)
            sink += fc.V(j)->P().y;
    }
    volatile float keep = sink;
    (void)keep;
    return 0;
}
