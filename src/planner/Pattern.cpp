#include "planner/Pattern.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "nuk/Matrix44.h"

namespace planner
{

void PatternLists::clear()
{
    positions.clear();
    row_heights.clear();
    row_distances.clear();
    point_vangles.clear();
    point_hangles.clear();
    point_rows.clear();
    point_numbers.clear();
    layout.clear();
}

namespace
{

const char kSeparator[] = "---------------------------------------------------";

class Text
{
public:
    template <class... Args> void add(const char *fmt, Args... args)
    {
        char buf[256];
        const int n = std::snprintf(buf, sizeof buf, fmt, args...);
        if (n > 0)
            s.append(buf, static_cast<std::size_t>(n) < sizeof buf ? static_cast<std::size_t>(n) : sizeof buf - 1);
    }
    void add(const char *literal) { s.append(literal); }
    std::string s;
};

// Every integer in the file is the value truncated toward zero, never rounded.
int trunc_i(long double v) { return static_cast<int>(v); }

} // namespace

std::string BuildPattern(const PatternInput &in, PatternLists &out)
{
    const float h = static_cast<float>(in.horizontalStep);
    const float v = static_cast<float>(in.verticalStep);
    out.clear();

    // Counts in extended precision, truncated: step 7 gives 26 (180/7 + 1 = 26.71).
    const int meridians = trunc_i(180.0L / h + 1);
    const int parallels = trunc_i(180.0L / v + 1);

    Text t;
    t.add("PTM ACQUISITION PATTERN\n");
    t.add("\n%s\n", kSeparator);
    t.add("object size         %6i\n", static_cast<int>(in.objectSize));
    t.add("object height       %6i\n", static_cast<int>(in.objectHeight));
    t.add("camera distance     %6i\n", static_cast<int>(in.cameraDistance));
    // "%6.2f" of whole degrees, spelled out: printf's %f would follow the
    // locale's decimal comma, and the window runs in the user's locale.
    t.add("horizontal angle    %3d.00\n", in.horizontalStep);
    t.add("vertical angle      %3d.00\n", in.verticalStep);
    t.add("parallels           %6i\n", parallels);
    t.add("meridiens           %6i\n", meridians);
    t.add("\n%s\n\n", kSeparator);
    t.add("rows from bottom to top. points from left to right\n\n\n");

    const nuk::Point3f yAxis(0, 1, 0);
    for (int i = 0; i < parallels; ++i) {
        const float a = static_cast<float>(i) * v;
        const bool pole = (a == 0.0f || a == 180.0f);
        if (in.excludeBasePlane && pole) continue;

        const int d = in.viewDistance;
        // Row angles use pi = 3.1415 (four decimals) in extended precision,
        // handed to cos/sin as a double; the products are rounded to float.
        const double rad = static_cast<double>(static_cast<long double>(a) * (1.0L / 180) * 3.1415L);
        const float yr = static_cast<float>(static_cast<long double>(d) * std::cos(rad));
        const float rr = static_cast<float>(static_cast<long double>(d) * std::sin(rad));
        out.row_heights.push_back(yr);
        out.row_distances.push_back(rr);

        t.add("%s\n", kSeparator);
        t.add("row # %6i\n\n", i);
        t.add("height     %6i\n", trunc_i(static_cast<long double>(in.objectHeight) + yr));
        t.add("distance   %6i\n", trunc_i(rr));
        t.add("\n");

        const nuk::Point3f base(-rr, 0, 0);
        auto emit = [&](int number, const nuk::Point3f &p, float hangle) {
            out.positions.push_back(p);
            out.point_vangles.push_back(a);
            out.point_hangles.push_back(hangle);
            t.add("%3i]  % 6i  % 6i  % 6i\n", number, trunc_i(p.x), trunc_i(p.y), trunc_i(p.z));
        };

        if (pole) {
            emit(0, nuk::Point3f(-rr, yr, 0), 90.0f);
        } else {
            for (int j = 0; j < meridians; ++j) {
                const float b = static_cast<float>(j) * h;
                if (in.excludeBasePlane && (b == 0.0f || b == 180.0f)) continue;
                if (in.excludeCentralPoint && b == 90.0f && a == 90.0f) continue;
                nuk::Matrix44f rot;
                rot.SetZero();
                rot.SetRotate(b, yAxis); // float pi 3.1415927 inside
                nuk::Point3f p = base * rot;
                p.y = yr;
                emit(j, p, b);
            }
        }

        t.add("\n\n");
        t.add("%s\n", kSeparator);
    }

    t.add("Total points   %4i\n", static_cast<int>(out.positions.size()));
    return std::move(t.s);
}

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
// write-protected: the operator marked it so, and the rig's file stays as it is.
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

WriteResult Generate(const PatternInput &in, PatternLists &out, const std::string &path)
{
    const std::string text = BuildPattern(in, out);
    return WriteFileAtomically(path, text);
}

} // namespace planner
