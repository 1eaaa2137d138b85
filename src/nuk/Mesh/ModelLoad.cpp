#include "nuk/Mesh/ModelLoad.h"

#include <cerrno>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "nuk/Mesh/MeshBuild.h"
#include "nuk/Mesh/MeshObj.h"
#include "nuk/Mesh/MeshStl.h"

namespace nuk
{
namespace
{

// The system's word on a file the import could not read: missing, a folder,
// no permission. Empty when the file opens as a regular file.
std::string SystemReason(const char *path)
{
    struct stat st {
    };
    if (::stat(path, &st) != 0) return std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    return {};
}

bool EndsWith(const char *path, const char *suffix)
{
    const size_t n = std::strlen(path), m = std::strlen(suffix);
    if (n < m) return false;
    for (size_t i = 0; i < m; ++i)
        if ((path[n - m + i] | 0x20) != suffix[i]) return false;
    return true;
}

// The strict import, and the compatible one after a refusal for types.
void LoadPlyFile(AMesh &mesh, const char *path, const ProgressCallback &progress, ModelLoadMode mode,
                 ModelLoadResult &r)
{
    r.result = LoadPly(mesh, path, nullptr, 0, nullptr, 0, r.mask, progress);
    const int strict = mesh.error;
    if (r.result != 0 && mode == ModelLoadMode::Compatible && (strict == E_NOVERTEXFIELD || strict == E_NOFACEFIELD)) {
        int mask = 0;
        std::vector<std::string> converted;
        const int rc = LoadPlyConverted(mesh, path, mask, converted, progress);
        if (rc == 0 || mesh.error != strict) {
            // It got further: its answer, and what it read in other types.
            r.result = rc;
            r.mask = mask;
            r.converted = std::move(converted);
        } else {
            mesh.error = strict; // nothing it could convert
        }
    }
    r.error = mesh.error;
    r.message = PlyFile::ErrorMessage(r.error);
}

void LoadMeshFile(AMesh &mesh, const char *path, const ProgressCallback &progress, ModelLoadResult &r)
{
    MeshFileReport report;
    r.result =
        r.format == ModelFormat::Obj ? LoadObj(mesh, path, report, progress) : LoadStl(mesh, path, report, progress);
    r.error = mesh.error;
    r.message = r.result == 0 ? ModelErrorMessage(0) : report.message;
    r.converted = std::move(report.converted);
}

ModelLoadResult Load(AMesh &mesh, const char *path, ModelFormat format, const ProgressCallback &progress,
                     ModelLoadMode mode)
{
    ModelLoadResult r;
    r.format = format;
    const int previousError = mesh.error;
    try {
        if (r.format == ModelFormat::Ply)
            LoadPlyFile(mesh, path, progress, mode, r);
        else
            LoadMeshFile(mesh, path, progress, r);
        if (r.result == 0) {
            ComputeBoundingBox(mesh);
            ComputeFaceNormals(mesh, false);
            ComputeVertexNormals(mesh, false);
            return r;
        }
    } catch (const std::bad_alloc &) {
        // The imports build the new model aside and swap it in only when
        // complete, so running out of memory leaves the previous one.
        r.result = -1;
        r.outOfMemory = true;
        mesh.error = previousError;
        r.error = previousError;
        r.message = ModelErrorMessage(previousError);
        r.converted.clear();
        r.reason = "Not enough memory for this model";
        return r;
    }
    // A folder opens and then reads as an empty file, a missing file fails
    // to open: either way the system's reason says more than the import's.
    const std::string why = SystemReason(path);
    r.reason = why.empty() ? r.message : why;
    return r;
}

} // namespace

const char *ModelFormatName(ModelFormat f)
{
    switch (f) {
    case ModelFormat::Obj:
        return "obj";
    case ModelFormat::Stl:
        return "stl";
    default:
        return "ply";
    }
}

ModelFormat ModelFormatOf(const char *path)
{
    if (EndsWith(path, ".obj")) return ModelFormat::Obj;
    if (EndsWith(path, ".stl")) return ModelFormat::Stl;
    return ModelFormat::Ply;
}

ModelLoadResult LoadModel(AMesh &mesh, const char *path, const ProgressCallback &progress, ModelLoadMode mode)
{
    return Load(mesh, path, mode == ModelLoadMode::StrictPly ? ModelFormat::Ply : ModelFormatOf(path), progress, mode);
}

ModelLoadResult LoadModelAs(AMesh &mesh, const char *path, ModelFormat format, const ProgressCallback &progress)
{
    return Load(mesh, path, format, progress, ModelLoadMode::Compatible);
}

} // namespace nuk
