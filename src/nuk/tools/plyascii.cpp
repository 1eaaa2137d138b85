// The ASCII side of the PLY reader: number scanners that read as the C
// library's formatted input does, and the per-property routines built on them.

#include "nuk/tools/plyascii.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>

#include <fast_float/fast_float.h>

#include "nuk/tools/plyinput.h"
#include "nuk/tools/plyread.h"
#include "nuk/tools/plyrecord.h"

namespace nuk
{
namespace plyread
{
namespace
{

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

// Routines of stored properties by file and memory type.
struct AsciiTables {
    PlyReadFn scalar[T_MAXTYPE][T_MAXTYPE] = {};
    PlyReadFn list[T_MAXTYPE][T_MAXTYPE] = {};

    AsciiTables()
    {
        ForEachTypePair([this](auto ftc, auto mtc) {
            constexpr int ft = decltype(ftc)::value, mt = decltype(mtc)::value;
            scalar[ft][mt] = &AsciiScalar<ft, mt>;
            list[ft][mt] = &AsciiList<ft, mt>;
        });
    }
};

const AsciiTables &Ascii()
{
    static const AsciiTables t;
    return t;
}

} // namespace

PlyReadFn CompileAscii(const PlyProperty &p)
{
    const PropDescriptor &d = p.desc;
    if (p.stored) return p.islist ? Ascii().list[d.filetype][d.memtype] : Ascii().scalar[d.filetype][d.memtype];
    if (p.islist) return &AsciiSkipList;
    return IsFloating(p.type) ? &AsciiSkipReal : &AsciiSkipInt;
}

bool GenericAscii(PlyInput &in, void *mem, const PropDescriptor &d)
{
    if (!ValidType(d.filetype) || !ValidType(d.memtype)) return false;
    const AsciiTables &t = Ascii();
    const PlyReadFn f = d.islist ? t.list[d.filetype][d.memtype] : t.scalar[d.filetype][d.memtype];
    return f && f(in, mem, d);
}

} // namespace plyread
} // namespace nuk
