#pragma once
// What the per-property reading routines of both formats share (internal to
// the PLY reader): the C++ type of each type code, and the stores of values,
// counts and list items into a caller's record.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

#include "nuk/Assert.h"
#include "nuk/tools/plyinput.h"
#include "nuk/tools/plylib.h"

namespace nuk
{
namespace plyread
{

inline constexpr int kMaxInlineItems = 255; // what a caller's inline list has room for

template <int T> struct TypeOf;
template <> struct TypeOf<T_CHAR> {
    using type = int8_t;
};
template <> struct TypeOf<T_SHORT> {
    using type = int16_t;
};
template <> struct TypeOf<T_INT> {
    using type = int32_t;
};
template <> struct TypeOf<T_UCHAR> {
    using type = uint8_t;
};
template <> struct TypeOf<T_USHORT> {
    using type = uint16_t;
};
template <> struct TypeOf<T_UINT> {
    using type = uint32_t;
};
template <> struct TypeOf<T_FLOAT> {
    using type = float;
};
template <> struct TypeOf<T_DOUBLE> {
    using type = double;
};
template <int T> using Type = typename TypeOf<T>::type;

constexpr bool IsFloating(int t) { return t == T_FLOAT || t == T_DOUBLE; }

// A member exists for every integer file type and for float/double pairs.
constexpr bool HasMember(int ft, int mt) { return !IsFloating(ft) || IsFloating(mt); }

inline bool ValidType(int t) { return t > T_NOTYPE && t < T_MAXTYPE; }

// Calls f(file type, memory type) as std::integral_constant pairs for every
// pair of value types 1..8 that has a member (HasMember): the routine tables
// are filled through it.
template <int FT, class Fn, std::size_t... M> void ForMemTypes(Fn &f, std::index_sequence<M...>)
{
    (..., [&] {
        if constexpr (HasMember(FT, int(M) + 1))
            f(std::integral_constant<int, FT>(), std::integral_constant<int, int(M) + 1>());
    }());
}
template <class Fn, std::size_t... F> void ForFileTypes(Fn &f, std::index_sequence<F...>)
{
    (..., ForMemTypes<int(F) + 1>(f, std::make_index_sequence<T_MAXTYPE - 1>()));
}
template <class Fn> void ForEachTypePair(Fn f) { ForFileTypes(f, std::make_index_sequence<T_MAXTYPE - 1>()); }

template <class M> inline void Store(void *mem, int offset, M v)
{
    std::memcpy(static_cast<char *>(mem) + offset, &v, sizeof v);
}

// Stores an integer count converted to the caller's count type.
__attribute__((always_inline)) inline void StoreCount(void *mem, const PropDescriptor &d, long long n)
{
    switch (d.countmemtype) {
    case T_CHAR:
        Store(mem, d.countoffset, static_cast<int8_t>(n));
        break;
    case T_SHORT:
        Store(mem, d.countoffset, static_cast<int16_t>(n));
        break;
    case T_INT:
        Store(mem, d.countoffset, static_cast<int32_t>(n));
        break;
    case T_UCHAR:
        Store(mem, d.countoffset, static_cast<uint8_t>(n));
        break;
    case T_USHORT:
        Store(mem, d.countoffset, static_cast<uint16_t>(n));
        break;
    case T_UINT:
        Store(mem, d.countoffset, static_cast<uint32_t>(n));
        break;
    case T_FLOAT:
        Store(mem, d.countoffset, static_cast<float>(n));
        break;
    case T_DOUBLE:
        Store(mem, d.countoffset, static_cast<double>(n));
        break;
    default:
        break;
    }
}

// Checks a list's count, stores it and chooses where its items go. A count
// below 0, above what an inline list holds, or larger than the rest of the
// file could hold (minbytes per item) fails before anything is written
// or allocated.
__attribute__((always_inline)) inline bool ListDest(PlyInput &in, void *mem, const PropDescriptor &d, long long n,
                                                    size_t memsize, int minbytes, char *&dst)
{
    if (n < 0) return false;
    if (!d.alloclist) {
        if (n > kMaxInlineItems) return false;
        NUK_ASSERT(mem, "nuk/tools/plylib");
        StoreCount(mem, d, n);
        dst = static_cast<char *>(mem) + d.offset;
        return true;
    }
    if (n > in.Left() / minbytes) return false;
    NUK_ASSERT(mem, "nuk/tools/plylib");
    StoreCount(mem, d, n);
    void *block = nullptr;
    if (n > 0) block = std::calloc(size_t(n), memsize);
    Store(mem, d.offset, block);
    dst = static_cast<char *>(block);
    return n == 0 || block != nullptr;
}

} // namespace plyread
} // namespace nuk
