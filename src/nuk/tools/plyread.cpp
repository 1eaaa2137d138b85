#include "nuk/tools/plyread.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

#include <fast_float/fast_float.h>

#include "nuk/Assert.h"
#include "nuk/tools/plyinput.h"

namespace nuk
{
namespace plyread
{
namespace
{

constexpr int kMaxInlineItems = 255; // what a caller's inline list has room for

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

// ---------------------------------------------------------------- ASCII

inline bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool IsDigit(char c) { return unsigned(c - '0') < 10; }
inline char Lower(char c) { return char(c | 0x20); }

// Moves to the next non-white byte; false at the end of the file.
inline bool SkipSpace(PlyInput &in)
{
    for (;;) {
        const char *p = in.cur;
        while (IsSpace(*p))
            ++p; // *end is 0, which stops the walk
        in.cur = p;
        if (p != in.end) return true;
        if (!in.More()) return false;
    }
}

// Scans "[+-]digits" at p. Returns the end of the input item; digits tells
// whether it is a whole number.
struct IntItem {
    bool neg = false;
    bool over = false; // magnitude beyond 64 bits
    bool digits = false;
    uint64_t mag = 0;
};

inline const char *ScanIntItem(const char *p, IntItem &it)
{
    if (*p == '+' || *p == '-') {
        it.neg = *p == '-';
        ++p;
    }
    const char *const d = p;
    uint64_t m = 0;
    while (IsDigit(*p))
        m = m * 10 + unsigned(*p++ - '0');
    if (p - d > 19) {
        // Nineteen digits cannot overflow 64 bits; longer numbers again, with checks.
        m = 0;
        for (const char *q = d; q != p; ++q) {
            const unsigned dig = unsigned(*q - '0');
            if (m < 1844674407370955161ULL || (m == 1844674407370955161ULL && dig <= 5))
                m = m * 10 + dig;
            else
                it.over = true;
        }
    }
    it.digits = p != d;
    it.mag = m;
    return p;
}

// Reads one integer item, asking for more input while it runs into the end
// of the buffer.
__attribute__((always_inline)) inline bool ReadIntItem(PlyInput &in, IntItem &it)
{
    if (!SkipSpace(in)) return false;
    for (;;) {
        it = IntItem();
        const char *e = ScanIntItem(in.cur, it);
        if (e == in.end && !in.AtEof()) {
            // The item may go on after the buffer: read more and scan again
            // (More may move the buffer, whatever it returns).
            in.More();
            continue;
        }
        if (!it.digits) return false;
        in.cur = e;
        return true;
    }
}

// A hexadecimal number beyond T's range: infinity or zero, as strtod gives.
template <class T> T HexOutOfRange(const char *first, const char *last)
{
    long double w = 0;
    const auto r = std::from_chars(first, last, w, std::chars_format::hex);
    if (r.ec == std::errc()) return static_cast<T>(w);
    const char *p = static_cast<const char *>(std::memchr(first, 'p', size_t(last - first)));
    if (!p) p = static_cast<const char *>(std::memchr(first, 'P', size_t(last - first)));
    return p && p[1] == '-' ? T(0) : std::numeric_limits<T>::infinity();
}

// Reads a real number item at in.cur (white space already skipped).
template <class T> bool ReadRealItem(PlyInput &in, T &v)
{
    for (;;) {
        const char *const end = in.end;
        const char *s = in.cur;
        bool neg = false;
        if (*s == '+' || *s == '-') {
            neg = *s == '-';
            ++s;
        }
        const char *e = s; // end of the input item
        bool ok = false;
        if (s[0] == '0' && Lower(s[1]) == 'x') {
            // Hexadecimal: 0x hexdigits [. hexdigits] [p [+-] digits]
            const char *p = s + 2;
            bool any = false;
            while (std::isxdigit(static_cast<unsigned char>(*p)))
                any = true, ++p;
            if (*p == '.') {
                ++p;
                while (std::isxdigit(static_cast<unsigned char>(*p)))
                    any = true, ++p;
            }
            ok = any;
            if (any && Lower(*p) == 'p') {
                ++p;
                if (*p == '+' || *p == '-') ++p;
                ok = IsDigit(*p);
                while (IsDigit(*p))
                    ++p;
            }
            e = p;
            if (ok) {
                const auto r = std::from_chars(s + 2, e, v, std::chars_format::hex);
                ok = r.ptr == e && r.ec != std::errc::invalid_argument;
                if (ok && r.ec == std::errc::result_out_of_range) v = HexOutOfRange<T>(s + 2, e);
            }
        } else if (*s == '+' || *s == '-') {
            ok = false; // a second sign
            e = s;
        } else {
            const auto r = fast_float::from_chars(s, end, v);
            if (r.ec == std::errc()) {
                e = r.ptr;
                ok = true;
                const char c = Lower(*e);
                if (IsDigit(*s) || *s == '.') {
                    if (c == 'e') {
                        // An exponent without digits ("1.5e", "1e+"): the
                        // item is not a number.
                        ++e;
                        if (*e == '+' || *e == '-') ++e;
                        ok = false;
                    }
                } else if (e - s == 3 && Lower(*s) == 'i' && c == 'i') {
                    // "infi": only "infinity" may follow "inf".
                    const char *rest = "inity";
                    while (*rest && Lower(*e) == *rest)
                        ++e, ++rest;
                    ok = false;
                } else if (e - s == 3 && Lower(*s) == 'n' && c == '(') {
                    // "nan(" without a well-formed closing bracket.
                    ++e;
                    while (std::isalnum(static_cast<unsigned char>(*e)) || *e == '_')
                        ++e;
                    ok = false;
                }
            } else {
                // Nothing readable; look as far as the item might reach.
                while (*e && !IsSpace(*e))
                    ++e;
                ok = false;
            }
        }
        if (e == end && !in.AtEof()) {
            in.More();
            continue;
        }
        if (!ok) return false;
        if (neg) v = -v;
        in.cur = e;
        return true;
    }
}

} // namespace

namespace
{

__attribute__((always_inline)) inline bool ScanIntImpl(PlyInput &in, int &v)
{
    IntItem it;
    if (!ReadIntItem(in, it)) return false;
    // As strtol into a 64-bit long, then the low 32 bits.
    long long l;
    if (!it.neg)
        l = (it.over || it.mag > uint64_t(std::numeric_limits<long long>::max()))
                ? std::numeric_limits<long long>::max()
                : (long long)it.mag;
    else
        l = (it.over || it.mag >= uint64_t(1) << 63) ? std::numeric_limits<long long>::min() : -(long long)it.mag;
    v = int(uint32_t(uint64_t(l)));
    return true;
}

__attribute__((always_inline)) inline bool ScanUnsignedImpl(PlyInput &in, unsigned &v)
{
    IntItem it;
    if (!ReadIntItem(in, it)) return false;
    // As strtoul: a minus sign negates modulo 2^64, overflow saturates.
    const uint64_t u = it.over ? ~uint64_t(0) : (it.neg ? uint64_t(0) - it.mag : it.mag);
    v = unsigned(uint32_t(u));
    return true;
}

template <class T> __attribute__((always_inline)) inline bool ScanRealImpl(PlyInput &in, T &v)
{
    return SkipSpace(in) && ReadRealItem(in, v);
}

} // namespace

bool ScanInt(PlyInput &in, int &v) { return ScanIntImpl(in, v); }
bool ScanUnsigned(PlyInput &in, unsigned &v) { return ScanUnsignedImpl(in, v); }
bool ScanFloat(PlyInput &in, float &v) { return ScanRealImpl(in, v); }
bool ScanDouble(PlyInput &in, double &v) { return ScanRealImpl(in, v); }

namespace
{

// A value of file type FT read as the formatted input reads it: char and
// short as an int then narrowed, uchar and ushort as an unsigned int.
template <int FT> inline bool AsciiValue(PlyInput &in, Type<FT> &v)
{
    if constexpr (FT == T_CHAR || FT == T_SHORT || FT == T_INT) {
        int x;
        if (!ScanIntImpl(in, x)) return false;
        v = static_cast<Type<FT>>(x);
    } else if constexpr (FT == T_UCHAR || FT == T_USHORT || FT == T_UINT) {
        unsigned x;
        if (!ScanUnsignedImpl(in, x)) return false;
        v = static_cast<Type<FT>>(x);
    } else if constexpr (FT == T_FLOAT) {
        if (!ScanRealImpl(in, v)) return false;
    } else {
        if (!ScanRealImpl(in, v)) return false;
    }
    return true;
}

template <int FT, int MT> bool AsciiScalar(PlyInput &in, void *mem, const PropDescriptor &d)
{
    Type<FT> v;
    if (!AsciiValue<FT>(in, v)) return false;
    Store(mem, d.offset, static_cast<Type<MT>>(v));
    return true;
}

template <int FT, int MT> bool AsciiList(PlyInput &in, void *mem, const PropDescriptor &d)
{
    using M = Type<MT>;
    int n;
    if (!ScanIntImpl(in, n)) return false;
    char *dst;
    // Every ASCII item takes a separator and a digit at least.
    if (!ListDest(in, mem, d, n, sizeof(M), 2, dst)) return false;
    for (int i = 0; i < n; ++i) {
        Type<FT> v;
        if (!AsciiValue<FT>(in, v)) return false;
        const M m = static_cast<M>(v);
        std::memcpy(dst + size_t(i) * sizeof(M), &m, sizeof m);
    }
    return true;
}

bool AsciiSkipInt(PlyInput &in, void *, const PropDescriptor &)
{
    int x;
    return ScanInt(in, x);
}

bool AsciiSkipReal(PlyInput &in, void *, const PropDescriptor &)
{
    float x;
    return ScanFloat(in, x);
}

bool AsciiSkipList(PlyInput &in, void *, const PropDescriptor &)
{
    int n;
    if (!ScanInt(in, n) || n < 0) return false;
    for (int i = 0; i < n; ++i) {
        float x;
        if (!ScanFloat(in, x)) return false;
    }
    return true;
}

// ---------------------------------------------------------------- tables

struct Tables {
    PlyReadFn binScalar[2][T_MAXTYPE][T_MAXTYPE] = {};
    PlyReadFn binList[2][T_MAXTYPE][T_MAXTYPE] = {};
    PlyReadFn binListU8[2][T_MAXTYPE][T_MAXTYPE] = {};
    PlyReadFn binSkipList[2][T_MAXTYPE][4] = {};
    PlyReadFn binSkipScalar[4] = {};
    PlyReadFn asciiScalar[T_MAXTYPE][T_MAXTYPE] = {};
    PlyReadFn asciiList[T_MAXTYPE][T_MAXTYPE] = {};

    template <int FT, int MT> void Pair()
    {
        if constexpr (HasMember(FT, MT)) {
            binScalar[0][FT][MT] = &BinScalar<FT, MT, false>;
            binScalar[1][FT][MT] = &BinScalar<FT, MT, true>;
            binList[0][FT][MT] = &BinList<FT, MT, false>;
            binList[1][FT][MT] = &BinList<FT, MT, true>;
            binListU8[0][FT][MT] = &BinListU8<FT, MT, false>;
            binListU8[1][FT][MT] = &BinListU8<FT, MT, true>;
            asciiScalar[FT][MT] = &AsciiScalar<FT, MT>;
            asciiList[FT][MT] = &AsciiList<FT, MT>;
        }
    }
    template <int FT> void Row()
    {
        Pair<FT, 1>();
        Pair<FT, 2>();
        Pair<FT, 3>();
        Pair<FT, 4>();
        Pair<FT, 5>();
        Pair<FT, 6>();
        Pair<FT, 7>();
        Pair<FT, 8>();
    }
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
        Row<1>();
        Row<2>();
        Row<3>();
        Row<4>();
        Row<5>();
        Row<6>();
        Row<7>();
        Row<8>();
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

bool ValidType(int t) { return t > T_NOTYPE && t < T_MAXTYPE; }

// Whether values of this format need their bytes reversed on this host.
int SwapIndex(int format) { return (format == F_BINBIG) == kHostLittle ? 1 : 0; }

} // namespace

bool Admitted(int ft, int mt) { return ft >= 0 && ft < T_MAXTYPE && mt >= 0 && mt < T_MAXTYPE && kAdmit[ft][mt]; }

PlyReadFn Compile(const PlyProperty &p, int format)
{
    const Tables &t = T();
    const PropDescriptor &d = p.desc;
    if (format == F_ASCII) {
        if (p.stored) return p.islist ? t.asciiList[d.filetype][d.memtype] : t.asciiScalar[d.filetype][d.memtype];
        if (p.islist) return &AsciiSkipList;
        return IsFloating(p.type) ? &AsciiSkipReal : &AsciiSkipInt;
    }
    const int sw = SwapIndex(format);
    if (p.stored && p.islist && !d.alloclist && d.countfiletype == T_UCHAR &&
        (d.countmemtype == T_UCHAR || d.countmemtype == T_CHAR))
        return t.binListU8[sw][d.filetype][d.memtype];
    if (p.stored) return p.islist ? t.binList[sw][d.filetype][d.memtype] : t.binScalar[sw][d.filetype][d.memtype];
    if (p.islist) return t.binSkipList[sw][p.counttype][SizeIndex(p.type)];
    return t.binSkipScalar[SizeIndex(p.type)];
}

bool GenericAscii(PlyInput &in, void *mem, const PropDescriptor &d)
{
    if (!ValidType(d.filetype) || !ValidType(d.memtype)) return false;
    const Tables &t = T();
    const PlyReadFn f = d.islist ? t.asciiList[d.filetype][d.memtype] : t.asciiScalar[d.filetype][d.memtype];
    return f && f(in, mem, d);
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
