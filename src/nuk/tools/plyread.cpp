#include "nuk/tools/plyread.h"

#include <cstdint>
#include <cstring>
#include <limits>

#include "nuk/tools/plyascii.h"
#include "nuk/tools/plyinput.h"
#include "nuk/tools/plyrecord.h"

namespace nuk
{
namespace plyread
{
namespace
{

constexpr bool kAdmit[T_MAXTYPE][T_MAXTYPE] = {
    //        none char short int uchar ushort uint float double
    /*none*/ {0, 0, 0, 0, 0, 0, 0, 0, 0},
    /*char*/ {0, 1, 1, 1, 1, 1, 1, 0, 0},
    /*short*/ {0, 0, 1, 1, 0, 1, 1, 0, 0},
    /*int*/ {0, 0, 0, 1, 0, 0, 1, 0, 0},
    /*uchar*/ {0, 1, 1, 1, 1, 1, 1, 0, 0},
    /*ushort*/ {0, 0, 1, 1, 0, 1, 1, 0, 0},
    /*uint*/ {0, 0, 0, 1, 0, 0, 1, 0, 0},
    /*float*/ {0, 0, 0, 0, 0, 0, 0, 1, 1},
    /*double*/ {0, 0, 0, 0, 0, 0, 0, 1, 1},
};

constexpr bool kHostLittle = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

inline uint16_t Bswap(uint16_t v) { return __builtin_bswap16(v); }
inline uint32_t Bswap(uint32_t v) { return __builtin_bswap32(v); }
inline uint64_t Bswap(uint64_t v) { return __builtin_bswap64(v); }

template <size_t N> struct UIntOf;
template <> struct UIntOf<2> {
    using type = uint16_t;
};
template <> struct UIntOf<4> {
    using type = uint32_t;
};
template <> struct UIntOf<8> {
    using type = uint64_t;
};

// One value of the file's type from p, reversed when the file's byte order
// is not the host's (8-byte values included).
template <class F, bool SW> inline F Load(const char *p)
{
    F v;
    if constexpr (sizeof(F) == 1 || !SW) {
        std::memcpy(&v, p, sizeof v);
    } else {
        typename UIntOf<sizeof(F)>::type u;
        std::memcpy(&u, p, sizeof u);
        u = Bswap(u);
        std::memcpy(&v, &u, sizeof v);
    }
    return v;
}

// ---------------------------------------------------------------- binary

template <int CT, bool SW> inline bool BinCountT(PlyInput &in, long long &n)
{
    using C = Type<CT>;
    if (!in.Ensure(sizeof(C))) return in.Short();
    const C c = Load<C, SW>(in.cur);
    in.cur += sizeof(C);
    if constexpr (IsFloating(CT)) {
        // Only skipped lists get here (AddToRead refuses floating counts).
        if (!(c >= 0 && c <= C(std::numeric_limits<int>::max()))) return false;
    }
    n = static_cast<long long>(c);
    return true;
}

template <bool SW> __attribute__((always_inline)) inline bool BinCount(PlyInput &in, int ct, long long &n)
{
    switch (ct) {
    case T_UCHAR:
        return BinCountT<T_UCHAR, SW>(in, n);
    case T_CHAR:
        return BinCountT<T_CHAR, SW>(in, n);
    case T_SHORT:
        return BinCountT<T_SHORT, SW>(in, n);
    case T_INT:
        return BinCountT<T_INT, SW>(in, n);
    case T_USHORT:
        return BinCountT<T_USHORT, SW>(in, n);
    case T_UINT:
        return BinCountT<T_UINT, SW>(in, n);
    case T_FLOAT:
        return BinCountT<T_FLOAT, SW>(in, n);
    case T_DOUBLE:
        return BinCountT<T_DOUBLE, SW>(in, n);
    default:
        return false;
    }
}

template <int FT, int MT, bool SW> bool BinScalar(PlyInput &in, void *mem, const PropDescriptor &d)
{
    using F = Type<FT>;
    using M = Type<MT>;
    if (!in.Ensure(sizeof(F))) return in.Short();
    const F v = Load<F, SW>(in.cur);
    in.cur += sizeof(F);
    Store(mem, d.offset, static_cast<M>(v));
    return true;
}

template <int FT, int MT, bool SW> bool BinList(PlyInput &in, void *mem, const PropDescriptor &d)
{
    using F = Type<FT>;
    using M = Type<MT>;
    long long n;
    if (!BinCount<SW>(in, d.countfiletype, n)) return false;
    char *dst;
    if (!ListDest(in, mem, d, n, sizeof(M), int(sizeof(F)), dst)) return false;
    if (n == 0) return true; // dst may be null: no block for an empty list
    const size_t bytes = size_t(n) * sizeof(F);
    if (size_t(in.end - in.cur) >= bytes) {
        // The whole list is buffered: no per-item checks.
        if constexpr (FT == MT && (sizeof(F) == 1 || !SW)) {
            CopyFew(dst, in.cur, bytes);
        } else if constexpr (FT == MT) {
            SwapFew<int(sizeof(F))>(dst, in.cur, bytes);
        } else {
            for (long long i = 0; i < n; ++i) {
                const M m = static_cast<M>(Load<F, SW>(in.cur + i * sizeof(F)));
                std::memcpy(dst + i * sizeof(M), &m, sizeof m);
            }
        }
        in.cur += bytes;
        return true;
    }
    for (long long i = 0; i < n; ++i) {
        if (!in.Ensure(sizeof(F))) return in.Short();
        const M m = static_cast<M>(Load<F, SW>(in.cur));
        in.cur += sizeof(F);
        std::memcpy(dst + i * sizeof(M), &m, sizeof m);
    }
    return true;
}

// The common face list: a uchar count into a one-byte count, items inline.
// When the whole list is buffered it is one byte and one copy; otherwise the
// general member reads it.
template <int FT, int MT, bool SW> bool BinListU8(PlyInput &in, void *mem, const PropDescriptor &d)
{
    using F = Type<FT>;
    using M = Type<MT>;
    // Locals, not members: the stores below may alias anything.
    const char *const src = in.cur;
    if (src == in.end) return BinList<FT, MT, SW>(in, mem, d);
    const unsigned n = static_cast<unsigned char>(*src);
    const size_t bytes = n * sizeof(F);
    if (size_t(in.end - src) <= bytes) return BinList<FT, MT, SW>(in, mem, d);
    in.cur = src + 1 + bytes;
    char *const base = static_cast<char *>(mem);
    char *const dst = base + d.offset;
    base[d.countoffset] = static_cast<char>(n);
    if constexpr (FT == MT && (sizeof(F) == 1 || !SW)) {
        CopyFew(dst, src + 1, bytes);
    } else if constexpr (FT == MT) {
        SwapFew<int(sizeof(F))>(dst, src + 1, bytes);
    } else {
        for (unsigned i = 0; i < n; ++i) {
            const M m = static_cast<M>(Load<F, SW>(src + 1 + i * sizeof(F)));
            std::memcpy(dst + i * sizeof(M), &m, sizeof m);
        }
    }
    return true;
}

// A skipped scalar fails only when not one byte of it is left.
template <int SZ> bool BinSkipScalar(PlyInput &in, void *, const PropDescriptor &)
{
    if (in.Ensure(SZ)) {
        in.cur += SZ;
        return true;
    }
    const bool any = in.cur != in.end;
    in.cur = in.end;
    return any;
}

template <int CT, int SZ, bool SW> bool BinSkipList(PlyInput &in, void *, const PropDescriptor &)
{
    long long n;
    if (!BinCountT<CT, SW>(in, n) || n < 0) return false;
    return in.Skip((unsigned long long)n * SZ);
}

// ---------------------------------------------------------------- tables

struct Tables {
    PlyReadFn binScalar[2][T_MAXTYPE][T_MAXTYPE] = {};
    PlyReadFn binList[2][T_MAXTYPE][T_MAXTYPE] = {};
    PlyReadFn binListU8[2][T_MAXTYPE][T_MAXTYPE] = {};
    PlyReadFn binSkipList[2][T_MAXTYPE][4] = {};
    PlyReadFn binSkipScalar[4] = {};

    template <int CT, bool SW> void SkipRow(int sw)
    {
        binSkipList[sw][CT][0] = &BinSkipList<CT, 1, SW>;
        binSkipList[sw][CT][1] = &BinSkipList<CT, 2, SW>;
        binSkipList[sw][CT][2] = &BinSkipList<CT, 4, SW>;
        binSkipList[sw][CT][3] = &BinSkipList<CT, 8, SW>;
    }
    template <bool SW> void Skips(int sw)
    {
        SkipRow<1, SW>(sw);
        SkipRow<2, SW>(sw);
        SkipRow<3, SW>(sw);
        SkipRow<4, SW>(sw);
        SkipRow<5, SW>(sw);
        SkipRow<6, SW>(sw);
        SkipRow<7, SW>(sw);
        SkipRow<8, SW>(sw);
    }

    Tables()
    {
        ForEachTypePair([this](auto ftc, auto mtc) {
            constexpr int ft = decltype(ftc)::value, mt = decltype(mtc)::value;
            binScalar[0][ft][mt] = &BinScalar<ft, mt, false>;
            binScalar[1][ft][mt] = &BinScalar<ft, mt, true>;
            binList[0][ft][mt] = &BinList<ft, mt, false>;
            binList[1][ft][mt] = &BinList<ft, mt, true>;
            binListU8[0][ft][mt] = &BinListU8<ft, mt, false>;
            binListU8[1][ft][mt] = &BinListU8<ft, mt, true>;
        });
        Skips<false>(0);
        Skips<true>(1);
        binSkipScalar[0] = &BinSkipScalar<1>;
        binSkipScalar[1] = &BinSkipScalar<2>;
        binSkipScalar[2] = &BinSkipScalar<4>;
        binSkipScalar[3] = &BinSkipScalar<8>;
    }
};

const Tables &T()
{
    static const Tables t;
    return t;
}

int SizeIndex(int type)
{
    switch (TypeSize[type]) {
    case 1:
        return 0;
    case 2:
        return 1;
    case 4:
        return 2;
    default:
        return 3;
    }
}

// Whether values of this format need their bytes reversed on this host.
int SwapIndex(int format) { return (format == F_BINBIG) == kHostLittle ? 1 : 0; }

} // namespace

bool Admitted(int ft, int mt) { return ft >= 0 && ft < T_MAXTYPE && mt >= 0 && mt < T_MAXTYPE && kAdmit[ft][mt]; }

PlyReadFn Compile(const PlyProperty &p, int format)
{
    if (format == F_ASCII) return CompileAscii(p);
    const Tables &t = T();
    const PropDescriptor &d = p.desc;
    const int sw = SwapIndex(format);
    if (p.stored && p.islist && !d.alloclist && d.countfiletype == T_UCHAR &&
        (d.countmemtype == T_UCHAR || d.countmemtype == T_CHAR))
        return t.binListU8[sw][d.filetype][d.memtype];
    if (p.stored) return p.islist ? t.binList[sw][d.filetype][d.memtype] : t.binScalar[sw][d.filetype][d.memtype];
    if (p.islist) return t.binSkipList[sw][p.counttype][SizeIndex(p.type)];
    return t.binSkipScalar[SizeIndex(p.type)];
}

bool GenericBinary(PlyInput &in, void *mem, const PropDescriptor &d)
{
    if (!ValidType(d.filetype) || !ValidType(d.memtype)) return false;
    const Tables &t = T();
    const int sw = SwapIndex(d.format);
    const PlyReadFn f = d.islist ? t.binList[sw][d.filetype][d.memtype] : t.binScalar[sw][d.filetype][d.memtype];
    return f && f(in, mem, d);
}

} // namespace plyread
} // namespace nuk
