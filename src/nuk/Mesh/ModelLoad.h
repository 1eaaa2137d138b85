#pragma once
// Loading a reference model, the one sequence the window and quorvel-cli
// share: the import, then the bounding box, the raw face normals and the raw
// vertex normals. A failed load, for whatever reason (the file, the import's
// checks, memory), leaves the previous model exactly as it was.
//
// The file's name chooses the import: ".obj" (LoadObj), ".stl" (LoadStl), in
// any case, and PLY (LoadPly) for every other name. A PLY file that the
// strict import refuses only for the number types of its header (13 or 14)
// is read again with them converted (LoadPlyConverted), and the result says
// what was converted. Files the strict import loads are always loaded by it.

#include <string>
#include <vector>

#include "nuk/Mesh/AMesh.h"
#include "nuk/Mesh/MeshPly.h"

namespace nuk
{

enum class ModelFormat { Ply, Obj, Stl };

// "ply", "obj", "stl"
const char *ModelFormatName(ModelFormat f);
// The format a file's name asks for.
ModelFormat ModelFormatOf(const char *path);

enum class ModelLoadMode {
    Compatible, // by the file's name, with the PLY retry
    StrictPly,  // the PLY import alone, whatever the name
};

struct ModelLoadResult {
    int result = -1; // the import's: 0 loaded, -1 failed
    int error = 0;   // the import's code, also left in mesh.error
    int mask = 0;    // the optional properties found (LoadPly's mask)
    bool outOfMemory = false;
    ModelFormat format = ModelFormat::Ply;
    // What was changed to read the file: the PLY retry's conversions, OBJ
    // polygons split into triangles, STL corners welded. Empty for a strict
    // PLY load.
    std::vector<std::string> converted;
    // The import's message for its code; for OBJ and STL failures a sentence
    // naming the line or triangle.
    std::string message;
    // Why the load failed, for the user: the import's message, or the
    // system's reason when the file could not be read at all; empty on
    // success.
    std::string reason;

    bool ok() const { return result == 0; }
};

ModelLoadResult LoadModel(AMesh &mesh, const char *path, const ProgressCallback &progress = ProgressCallback(),
                          ModelLoadMode mode = ModelLoadMode::Compatible);
// The compatible load of a file read as `format`, whatever its name.
ModelLoadResult LoadModelAs(AMesh &mesh, const char *path, ModelFormat format,
                            const ProgressCallback &progress = ProgressCallback());

} // namespace nuk
