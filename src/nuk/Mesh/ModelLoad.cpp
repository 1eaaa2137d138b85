#include "nuk/Mesh/ModelLoad.h"

#include <cerrno>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace

ModelLoadResult LoadModel(AMesh &mesh, const char *path, const ProgressCallback &progress)
{
    ModelLoadResult r;
    const int previousError = mesh.error;
    try {
        r.result = LoadPly(mesh, path, nullptr, 0, nullptr, 0, r.mask, progress);
        r.error = mesh.error;
        if (r.result == 0) {
            ComputeBoundingBox(mesh);
            ComputeFaceNormals(mesh, false);
            ComputeVertexNormals(mesh, false);
            return r;
        }
    } catch (const std::bad_alloc &) {
        // The import builds the new model aside and swaps it in only when
        // complete, so running out of memory leaves the previous one.
        r.result = -1;
        r.outOfMemory = true;
        mesh.error = previousError;
        r.error = previousError;
        r.reason = "Not enough memory for this model";
        return r;
    }
    // A folder opens and then reads as an empty file, a missing file fails
    // to open: either way the system's reason says more than the import's.
    const std::string why = SystemReason(path);
    r.reason = why.empty() ? PlyFile::ErrorMessage(r.error) : why;
    return r;
}

} // namespace nuk
