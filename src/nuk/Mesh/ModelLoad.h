#pragma once
// Loading a reference model, the one sequence the window and quorvel-cli
// share: the import, then the bounding box, the raw face normals and the raw
// vertex normals. A failed load, for whatever reason (the file, the import's
// checks, memory), leaves the previous model exactly as it was.

#include <string>

#include "nuk/Mesh/AMesh.h"
#include "nuk/Mesh/MeshPly.h"

namespace nuk
{

struct ModelLoadResult {
    int result = -1; // the import's: 0 loaded, -1 failed
    int error = 0;   // the import's code, also left in mesh.error
    int mask = 0;    // the optional properties found (LoadPly's mask)
    bool outOfMemory = false;
    // Why the load failed, for the user: the import's message, or the
    // system's reason when the file could not be read at all; empty on
    // success.
    std::string reason;

    bool ok() const { return result == 0; }
};

ModelLoadResult LoadModel(AMesh &mesh, const char *path, const ProgressCallback &progress = ProgressCallback());

} // namespace nuk
