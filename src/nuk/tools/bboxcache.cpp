// Bounding-box cache: "<dir>/nuk_cache/<name>.bbox_cache" holds "BBOXCACH"
// and the caller's 48-byte box. Paths are split at the last '/', the only
// directory separator here; a '\' is an ordinary character of a name.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "nuk/tools/bboxcache.h"
#include "nuk/tools/AtomicFile.h"

namespace nuk
{

namespace
{

const char kMagic[8] = {'B', 'B', 'O', 'X', 'C', 'A', 'C', 'H'};
constexpr int kEntrySize = 8 + BBOX_CACHE_BOXSIZE;

size_t ReadAll(int fd, char *p, size_t n)
{
    size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(fd, p + got, n - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += size_t(r);
    }
    return got;
}

// Modification time of a readable file, to the nanosecond.
bool ModTime(const char *name, struct timespec &t)
{
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    const bool ok = ::fstat(fd, &st) == 0;
    ::close(fd);
    if (ok) t = st.st_mtim;
    return ok;
}

} // namespace

bool CachePath(const char *plyfilename, const char *suffix, std::string &out)
{
    out.clear();
    if (!plyfilename || !suffix) return false;
    const char *slash = std::strrchr(plyfilename, '/');
    // The directory keeps its separator, so "/m.ply" caches in "/nuk_cache".
    if (slash) out.assign(plyfilename, size_t(slash - plyfilename) + 1);
    out += "nuk_cache";
    struct stat st;
    if (::stat(out.c_str(), &st) != 0) {
        if (::mkdir(out.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    out += '/';
    out += slash ? slash + 1 : plyfilename;
    out += suffix;
    return true;
}

bool WriteBBoxCache(const char *plyfilename, const void *box)
{
    std::string path;
    if (!box || !CachePath(plyfilename, ".bbox_cache", path)) return false;
    // Whole or not at all: a failed write never leaves a truncated entry in
    // place of a good one.
    std::string entry(kMagic, sizeof kMagic);
    entry.append(static_cast<const char *>(box), BBOX_CACHE_BOXSIZE);
    return WriteFileAtomically(path, entry).ok;
}

bool ReadBBoxCache(const char *plyfilename, void *box, const char *otherfilename)
{
    std::string path;
    if (!box || !CachePath(plyfilename, ".bbox_cache", path)) return false;
    if (!IsNewer(plyfilename, path.c_str())) return false;
    if (otherfilename && !IsNewer(otherfilename, path.c_str())) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char entry[kEntrySize];
    const size_t got = ReadAll(fd, entry, sizeof entry);
    ::close(fd);
    if (got != sizeof entry || std::memcmp(entry, kMagic, sizeof kMagic) != 0) return false;
    std::memcpy(box, entry + sizeof kMagic, BBOX_CACHE_BOXSIZE);
    return true;
}

bool IsNewer(const char *sourcefilename, const char *cachefilename)
{
    if (!sourcefilename || !cachefilename) return false;
    struct timespec src, cache;
    if (!ModTime(sourcefilename, src) || !ModTime(cachefilename, cache)) return false;
    // Equal times count as fresh; nanoseconds decide within one second.
    if (cache.tv_sec != src.tv_sec) return cache.tv_sec > src.tv_sec;
    return cache.tv_nsec >= src.tv_nsec;
}

} // namespace nuk
