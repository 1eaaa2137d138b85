#pragma once
// Test fixtures for the PLY reader: files are written from readable text in
// the tests themselves, binary payloads from typed values in either order.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace plytest
{

// A private scratch directory, removed with everything in it.
class TempDir
{
public:
    TempDir()
    {
        char tmpl[] = "/tmp/plytest.XXXXXX";
        const char *d = ::mkdtemp(tmpl);
        path = d ? d : "/tmp";
    }
    ~TempDir()
    {
        const std::string cmd = "rm -rf '" + path + "'";
        if (std::system(cmd.c_str()) != 0) std::perror("rm");
    }
    std::string File(const std::string &name) const { return path + "/" + name; }

    std::string path;
};

inline std::string Write(const std::string &path, const std::string &bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

// Bytes of a value in little-endian (big == false) or big-endian order.
template <class T> std::string Bytes(T v, bool big = false)
{
    unsigned char b[sizeof(T)];
    std::memcpy(b, &v, sizeof v);
    std::string s;
    for (size_t i = 0; i < sizeof(T); ++i)
        s += char(b[big ? sizeof(T) - 1 - i : i]);
    return s;
}

} // namespace plytest
