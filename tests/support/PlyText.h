#pragma once
// PLY test files from readable text: the bytes of typed values in either
// byte order, and whole ASCII files turned into binary little- or big-endian
// ones, so that one readable case runs in all three formats.

#include <cstddef>
#include <cstring>
#include <string>

namespace testsupport
{

// Bytes of a value in little-endian (big == false) or big-endian order.
// The host is little-endian (x86-64, aarch64).
template <class T> std::string Bytes(T v, bool big = false)
{
    unsigned char b[sizeof(T)];
    std::memcpy(b, &v, sizeof v);
    std::string s;
    for (size_t i = 0; i < sizeof(T); ++i)
        s += char(b[big ? sizeof(T) - 1 - i : i]);
    return s;
}

enum class PlyFormat { Ascii, Little, Big };

// The header's word for a format ("ascii", "binary_little_endian", ...).
const char *PlyFormatName(PlyFormat f);

// `text` is a whole ASCII PLY file ("ply", "format ascii 1.0", ..., "end_header",
// records). Returns the same file in the wanted format. Data tokens that the
// header does not cover (for files cut short on purpose) are dropped from
// binary output; `truncate` drops that many bytes from the end.
std::string ConvertPly(const std::string &text, PlyFormat fmt, size_t truncate = 0);

} // namespace testsupport
