#include "nuk/tools/AtomicFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nuk
{

std::string WriteResult::message() const
{
    if (ok) return {};
    return "cannot write " + path + ": " + reason;
}

namespace
{

WriteResult failure(const std::string &path, const std::string &reason)
{
    WriteResult r;
    r.ok = false;
    r.path = path;
    r.reason = reason;
    return r;
}

WriteResult failure(const std::string &path, int err) { return failure(path, std::string(std::strerror(err))); }

bool writeAll(int fd, const char *p, std::size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// True when the permission bits forbid writing. Root passes access() for
// everything, so for root a folder or file with no write bit at all counts as
// write-protected: the operator marked it so, and the file stays as it is.
bool writeProtected(const std::string &path)
{
    if (::geteuid() != 0) return ::access(path.c_str(), W_OK) != 0 && errno == EACCES;
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}

mode_t newFileMode(const std::string &path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

WriteResult WriteFileAtomically(const std::string &path, const std::string &content)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return failure(path, EISDIR);

    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return failure(path, EISDIR);
        // Never rename a file over a device, pipe or socket.
        if (!S_ISREG(st.st_mode)) return failure(path, "Not a regular file");
        // fopen(path, "w") would be refused on a write-protected file, and so is this.
        if (writeProtected(path)) return failure(path, EACCES);
    }
    if (writeProtected(dir)) return failure(path, EACCES);

    std::string tmpl = dir + "/." + name + ".XXXXXX";
    const int fd = ::mkstemp(&tmpl[0]);
    if (fd < 0) return failure(path, errno);

    int err = 0;
    if (!writeAll(fd, content.data(), content.size())) err = errno;
    if (!err && ::fchmod(fd, newFileMode(path)) != 0) err = errno;
    if (!err && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (!err && ::rename(tmpl.c_str(), path.c_str()) != 0) err = errno;
    if (err) {
        ::unlink(tmpl.c_str());
        return failure(path, err);
    }
    WriteResult r;
    r.ok = true;
    r.path = path;
    return r;
}

} // namespace nuk
