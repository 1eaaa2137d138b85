#pragma once
// Generated PLY inputs for the benchmarks, and the two floors they are
// measured against. The files go to /tmp/quorvel-bench and are made once per
// machine (again when their size is off); nothing here is committed.
//
//   binary: 2M vertices (x, y, z float; red, green, blue uchar) and 4M faces
//           (list uchar int vertex_indices), little- and big-endian twins;
//   ascii:  200k vertices and 400k faces of the same layout.
// QUORVEL_BENCH_SMALL=1 in the environment makes them ten times smaller, for
// a quick look; real figures use the full sizes.

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <fast_float/fast_float.h>

namespace plybench
{

struct Files {
    std::string le, be, ascii;
    long long vertices = 0, faces = 0;           // binary files
    long long asciiVertices = 0, asciiFaces = 0; // ascii file
};

inline bool Small()
{
    const char *s = std::getenv("QUORVEL_BENCH_SMALL");
    return s && *s && *s != '0';
}

inline long long FileSize(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (long long)st.st_size : -1;
}

// A fixed pseudo-random sequence, so every machine measures the same file.
struct Lcg {
    uint64_t s = 0x9E3779B97F4A7C15ULL;
    uint32_t Next()
    {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return uint32_t(s >> 33);
    }
    float Coord() { return float(Next() % 2000001) / 1000.0f - 1000.0f; }
};

inline void Put(std::string &out, const void *p, size_t n, bool big)
{
    const char *c = static_cast<const char *>(p);
    if (!big || n == 1) {
        out.append(c, n);
        return;
    }
    for (size_t i = 0; i < n; ++i)
        out += c[n - 1 - i];
}

inline void WriteBinary(const std::string &path, bool big, long long nv, long long nf)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::string out = std::string("ply\nformat ") + (big ? "binary_big_endian" : "binary_little_endian") +
                      " 1.0\ncomment generated for benchmarks\nelement vertex " + std::to_string(nv) +
                      "\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\n"
                      "property uchar green\nproperty uchar blue\nelement face " +
                      std::to_string(nf) + "\nproperty list uchar int vertex_indices\nend_header\n";
    Lcg g;
    for (long long i = 0; i < nv; ++i) {
        for (int k = 0; k < 3; ++k) {
            const float c = g.Coord();
            Put(out, &c, 4, big);
        }
        for (int k = 0; k < 3; ++k)
            out += char(g.Next() & 0xff);
        if (out.size() > (1 << 20)) {
            std::fwrite(out.data(), 1, out.size(), f);
            out.clear();
        }
    }
    for (long long i = 0; i < nf; ++i) {
        out += char(3);
        for (int k = 0; k < 3; ++k) {
            const int32_t v = int32_t(g.Next() % uint32_t(nv));
            Put(out, &v, 4, big);
        }
        if (out.size() > (1 << 20)) {
            std::fwrite(out.data(), 1, out.size(), f);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), f);
    std::fclose(f);
}

inline void WriteAscii(const std::string &path, long long nv, long long nf)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::fprintf(f,
                 "ply\nformat ascii 1.0\ncomment generated for benchmarks\nelement vertex %lld\n"
                 "property float x\nproperty float y\nproperty float z\nproperty uchar red\n"
                 "property uchar green\nproperty uchar blue\nelement face %lld\n"
                 "property list uchar int vertex_indices\nend_header\n",
                 nv, nf);
    Lcg g;
    for (long long i = 0; i < nv; ++i) {
        const float x = g.Coord(), y = g.Coord(), z = g.Coord();
        std::fprintf(f, "%g %g %g %u %u %u\n", x, y, z, g.Next() & 0xff, g.Next() & 0xff, g.Next() & 0xff);
    }
    for (long long i = 0; i < nf; ++i) {
        const unsigned a = g.Next() % unsigned(nv), b = g.Next() % unsigned(nv), c = g.Next() % unsigned(nv);
        std::fprintf(f, "3 %u %u %u\n", a, b, c);
    }
    std::fclose(f);
}

inline const Files &Generate()
{
    static Files files;
    if (!files.le.empty()) return files;
    const long long scale = Small() ? 10 : 1;
    files.vertices = 2000000 / scale;
    files.faces = 4000000 / scale;
    files.asciiVertices = 200000 / scale;
    files.asciiFaces = 400000 / scale;
    const std::string dir = "/tmp/quorvel-bench";
    ::mkdir(dir.c_str(), 0777);
    const std::string tag = Small() ? "-small" : "";
    files.le = dir + "/ply-le" + tag + ".ply";
    files.be = dir + "/ply-be" + tag + ".ply";
    files.ascii = dir + "/ply-ascii" + tag + ".ply";
    const long long binData = files.vertices * 15 + files.faces * 13;
    // The header is short; a size within a kilobyte of the data's is ours.
    auto stale = [&](const std::string &p, long long data) {
        const long long s = FileSize(p);
        return s < data || s > data + 1024;
    };
    if (stale(files.le, binData)) WriteBinary(files.le, false, files.vertices, files.faces);
    if (stale(files.be, binData)) WriteBinary(files.be, true, files.vertices, files.faces);
    if (FileSize(files.ascii) < files.asciiVertices * 20)
        WriteAscii(files.ascii, files.asciiVertices, files.asciiFaces);
    return files;
}

// Floor B: the file's bytes into a freshly allocated buffer of its size.
inline long long FloorB(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return -1;
    struct stat st;
    ::fstat(fd, &st);
    const size_t size = size_t(st.st_size);
    std::unique_ptr<char[]> buf(new char[size]);
    size_t got = 0;
    while (got < size) {
        const ssize_t r = ::read(fd, buf.get() + got, size - got);
        if (r <= 0) break;
        got += size_t(r);
    }
    ::close(fd);
    return (long long)got + buf[size / 2];
}

// The same bytes through one reused 1 MiB buffer (the page-cache read itself).
inline long long PageCacheRead(const std::string &path)
{
    static std::unique_ptr<char[]> buf(new char[1 << 20]);
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return -1;
    long long total = 0;
    ssize_t r;
    while ((r = ::read(fd, buf.get(), 1 << 20)) > 0)
        total += r;
    ::close(fd);
    return total;
}

inline std::string ReadWhole(const std::string &path)
{
    std::string s;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return s;
    s.resize(size_t(FileSize(path)));
    s.resize(std::fread(&s[0], 1, s.size(), f));
    std::fclose(f);
    return s;
}

// Floor A: every number of the ASCII data (after the header) into a flat
// array, the layout known in advance: no dispatch, no checks beyond the
// parsers' own.
struct FlatAscii {
    std::vector<float> coords;
    std::vector<int> ints;
};

inline const char *SkipWhite(const char *p)
{
    while (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t')
        ++p;
    return p;
}

inline bool FloorA(const std::string &text, long long nv, long long nf, FlatAscii &out)
{
    const size_t start = text.find("end_header\n");
    if (start == std::string::npos) return false;
    const char *p = text.data() + start + 11;
    const char *end = text.data() + text.size();
    out.coords.resize(size_t(nv) * 3);
    out.ints.resize(size_t(nv) * 3 + size_t(nf) * 4);
    float *c = out.coords.data();
    int *n = out.ints.data();
    for (long long i = 0; i < nv; ++i) {
        for (int k = 0; k < 3; ++k) {
            p = SkipWhite(p);
            p = fast_float::from_chars(p, end, *c++).ptr;
        }
        for (int k = 0; k < 3; ++k) {
            p = SkipWhite(p);
            p = std::from_chars(p, end, *n++).ptr;
        }
    }
    for (long long i = 0; i < nf; ++i) {
        for (int k = 0; k < 4; ++k) {
            p = SkipWhite(p);
            p = std::from_chars(p, end, *n++).ptr;
        }
    }
    return p <= end;
}

} // namespace plybench
