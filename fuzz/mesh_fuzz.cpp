// Fuzz target over the whole model import: LoadPly into a mesh that already
// holds a model, then what the window does with it (box, face normals, vertex
// normals, drawing faces 0 .. face_count - 1 through the checked accessors).
// Any input must leave a consistent mesh; a broken invariant traps.

#include <cstddef>
#include <cstdint>
#include <string>

#include "MeshFuzz.h"
#include "nuk/Mesh/AMesh.h"
#include "nuk/Mesh/MeshPly.h"

using namespace meshfuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string &path = writeInput("mesh_fuzz.ply", data, size);

    AMesh mesh;
    previousModel(mesh);
    const AVertex *before = mesh.vertices.data();
    int mask = 0;
    int calls = 0;
    const nuk::ProgressCallback progress = [&calls](int percent, const char *) {
        check(percent >= 0 && percent <= 100);
        ++calls;
    };
    const int rc = nuk::LoadPly(mesh, path.c_str(), nullptr, 0, nullptr, 0, mask, progress);
    check(rc == 0 || rc == -1);
    check((rc == 0) == (mesh.error == 0));
    if (rc == -1) checkPreviousKept(mesh, before);
    checkConsistent(mesh);

    nuk::ComputeBoundingBox(mesh);
    nuk::ComputeFaceNormals(mesh, false);
    nuk::ComputeVertexNormals(mesh, false);
    drawLikeTheView(mesh);
    return 0;
}
