// Fuzz target over the window's load sequence for one file format
// (MODEL_FORMAT: Ply, Obj or Stl): the import (for PLY the strict one and its
// compatible retry), box and normals, into a mesh that already holds a
// model, then what the view does with it. A failure must keep the previous
// model and say why; any outcome must leave a consistent mesh. A broken
// invariant traps.

#include <cstddef>
#include <cstdint>
#include <string>

#include "MeshFuzz.h"
#include "nuk/Mesh/AMesh.h"
#include "nuk/Mesh/ModelLoad.h"

#ifndef MODEL_FORMAT
#error "MODEL_FORMAT names the format: Ply, Obj or Stl"
#endif

using namespace meshfuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string &path = writeInput("model_fuzz", data, size);

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
        checkPreviousKept(mesh, before);
        check(!r.reason.empty() && !r.message.empty());
    }
    checkConsistent(mesh);
    drawLikeTheView(mesh);
    return 0;
}
