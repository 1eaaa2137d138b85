#pragma once
// Buffered input of the PLY reader: large block reads into one reused buffer,
// so reading a value is a bounds check and a copy, never a library call.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

// The fuzzing build shrinks the block to a few bytes, so that every value
// and token meets a block boundary somewhere.
#ifndef NUK_PLY_INPUT_BLOCK
#define NUK_PLY_INPUT_BLOCK (size_t(1) << 18)
#endif

namespace nuk
{

inline uint64_t Load8(const char *s)
{
    uint64_t v;
    std::memcpy(&v, s, 8);
    return v;
}

inline void Store8(char *d, uint64_t v) { std::memcpy(d, &v, 8); }

// Moves n >= 8 bytes as 8-byte words, passing each through f; the last word
// overlaps the one before. Up to 16 bytes take no loop.
template <class F> inline void MoveWords(char *d, const char *s, size_t n, F f)
{
    if (n <= 16) {
        const uint64_t a = Load8(s), b = Load8(s + n - 8);
        Store8(d, f(a));
        Store8(d + n - 8, f(b));
        return;
    }
    const size_t last = n - 8;
    for (size_t i = 0; i < last; i += 8)
        Store8(d + i, f(Load8(s + i)));
    Store8(d + last, f(Load8(s + last)));
}

// Copies the first and the last sizeof(T) bytes of n (sizeof(T) <= n <= 2 sizeof(T)).
template <class T> inline void CopyEnds(char *d, const char *s, size_t n)
{
    T a, b;
    std::memcpy(&a, s, sizeof(T));
    std::memcpy(&b, s + n - sizeof(T), sizeof(T));
    std::memcpy(d, &a, sizeof(T));
    std::memcpy(d + n - sizeof(T), &b, sizeof(T));
}

// Copies a few bytes inline; the library call of a memcpy of unknown length
// costs more than the copy of a face's three indices.
inline void CopyFew(char *d, const char *s, size_t n)
{
    if (n > 64) {
        std::memcpy(d, s, n);
    } else if (n >= 8) {
        MoveWords(d, s, n, [](uint64_t v) { return v; });
    } else if (n >= 4) {
        CopyEnds<uint32_t>(d, s, n);
    } else if (n >= 2) {
        CopyEnds<uint16_t>(d, s, n);
    } else if (n == 1) {
        *d = *s;
    }
}

// Reverses the bytes of every SZ-byte lane of an 8-byte word.
template <int SZ> inline uint64_t SwapLanes(uint64_t v)
{
    static_assert(SZ == 2 || SZ == 4 || SZ == 8, "2-, 4- or 8-byte values");
    if constexpr (SZ == 8) {
        return __builtin_bswap64(v);
    } else if constexpr (SZ == 4) {
        // Reversing all eight bytes also swaps the two halves: swap them back.
        const uint64_t r = __builtin_bswap64(v);
        return (r >> 32) | (r << 32);
    } else {
        const uint64_t m = 0x00ff00ff00ff00ffULL;
        return ((v & m) << 8) | ((v >> 8) & m);
    }
}

// Copies n bytes of SZ-byte values (n a multiple of SZ), each with its bytes
// reversed, a word at a time like CopyFew. Overlapping words are harmless:
// they start at a multiple of SZ and each value depends on its own bytes only.
template <int SZ> inline void SwapFew(char *d, const char *s, size_t n)
{
    if (n >= 8) {
        MoveWords(d, s, n, SwapLanes<SZ>);
        return;
    }
    if constexpr (SZ == 4) {
        if (n == 4) {
            uint32_t v;
            std::memcpy(&v, s, 4);
            v = __builtin_bswap32(v);
            std::memcpy(d, &v, 4);
        }
    } else if constexpr (SZ == 2) {
        for (size_t i = 0; i < n; i += 2) {
            uint16_t v;
            std::memcpy(&v, s + i, 2);
            v = __builtin_bswap16(v);
            std::memcpy(d + i, &v, 2);
        }
    }
}

class PlyInput
{
public:
    static constexpr size_t BLOCK = NUK_PLY_INPUT_BLOCK;
    static_assert(BLOCK >= 8, "a block holds the widest value");

    PlyInput() = default;
    ~PlyInput() { Close(); }
    PlyInput(const PlyInput &) = delete;
    PlyInput &operator=(const PlyInput &) = delete;

    // Opens a regular file for reading; false if it cannot be opened or is not
    // a regular file (a directory or a device has no size to bound counts by).
    bool Open(const char *path);
    void Close();

    // At least n (<= BLOCK) bytes are available at cur; false if the file ends first.
    bool Ensure(size_t n) { return size_t(end - cur) >= n || Fill(n); }
    // Reads more after [cur, end) keeping it; grows the buffer when cur..end
    // already fills it. False at end of file.
    bool More();

    // fgets: up to size-1 bytes, through the first line feed. 0 at end of file.
    size_t GetLine(char *out, size_t size);

    // Drops n bytes; false (with everything dropped) if fewer are left.
    bool Skip(unsigned long long n);

    long long Left() const { return size - filepos + (end - cur); }
    bool AtEof() const { return eof; }

    // Consumes whatever is buffered; for reads that failed on a short value.
    bool Short()
    {
        cur = end;
        return false;
    }

    const char *cur = nullptr; // next unread byte
    const char *end = nullptr; // end of the buffered bytes; *end is always 0

private:
    bool Fill(size_t n);
    size_t ReadSome(char *dst, size_t n);

    int fd = -1;
    std::unique_ptr<char[]> buf;
    size_t cap = 0;        // buffer size, without the terminating 0
    long long size = 0;    // file size at open
    long long filepos = 0; // bytes read from the file so far
    bool eof = true;
};

} // namespace nuk
