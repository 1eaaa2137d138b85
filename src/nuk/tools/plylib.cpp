#include "nuk/tools/plylib.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include <fast_float/fast_float.h>

#include "nuk/Assert.h"
#include "nuk/tools/plyinput.h"
#include "nuk/tools/plyread.h"

namespace nuk
{

namespace
{

const char *const kErrorMessages[E_MAXPLYERRORS] = {
    "No errors",
    "Can't open file",
    "Header not found",
    "Eof in header",
    "Format not found",
    "Syntax error on header",
    "Property without element",
    "Bad type name",
    "Element not found",
    "Property not found",
    "Bad type on addtoread",
    "Incompatible type",
    "Bad cast",
    "No vertex field found",
    "No face field found",
    "Unespected eof",
    "Face with more than 3 vertices",
    "Bad vertex index in face",
    "Face with no 6 texture coordinates",
    "Number of color differ from vertices",
};

// Header lines are read in pieces of at most this many bytes, terminator included.
constexpr size_t kLineSize = 511;

const char *const kSeparators = " \t\n\r";

// strtok-like walk over one header line.
class Tokens
{
public:
    explicit Tokens(const char *line) : p(line) {}
    // Next token, or null; its end is left in `last`.
    const char *Next()
    {
        p += std::strspn(p, kSeparators);
        if (!*p) return nullptr;
        const size_t n = std::strcspn(p, kSeparators);
        tok.assign(p, n);
        p += n;
        return tok.c_str();
    }
    const char *Position() const { return p; }

private:
    const char *p;
    std::string tok;
};

bool ValidType(int t) { return t > T_NOTYPE && t < T_MAXTYPE; }

// The record count of an "element" line, read as the C library's decimal
// conversion reads it (a leading number, 0 when there is none); -1 when it
// is negative or beyond a 32-bit int.
long long ElementCountValue(const char *s)
{
    bool neg = false;
    if (*s == '+' || *s == '-') neg = *s++ == '-';
    long long v = 0;
    bool digits = false;
    while (*s >= '0' && *s <= '9') {
        digits = true;
        v = v * 10 + (*s++ - '0');
        if (v > INT_MAX) return -1;
    }
    if (!digits) return 0;
    return neg && v > 0 ? -1 : v;
}

// The number on the "format" line, read like the C library's atof (a
// leading number, 0 when there is none) but independent of the locale.
float VersionValue(const char *s)
{
    if (*s == '+') {
        ++s;
        if (*s == '+' || *s == '-') return 0;
    }
    double v = 0;
    if (fast_float::from_chars(s, s + std::strlen(s), v).ec != std::errc()) return 0;
    return float(v);
}

} // namespace

int FindType(const char *name)
{
    NUK_ASSERT(name, "nuk/tools/plylib");
    for (int i = 1; i < T_MAXTYPE; ++i)
        if (!std::strcmp(name, TypeNames[i]) || !std::strcmp(name, TypeNames2[i])) return i;
    return -1;
}

int PropDescriptor::MemTypeSize() const { return memtype >= 0 && memtype < T_MAXTYPE ? TypeSize[memtype] : 0; }

PlyProperty::PlyProperty(const char *na, int ti, int isl, int t2)
{
    // The expressions are spelled as the assertion texts read.
    // clang-format off
    NUK_ASSERT(na, "nuk/tools/plylib");
    NUK_ASSERT(ti>0, "nuk/tools/plylib");
    NUK_ASSERT(ti<T_MAXTYPE, "nuk/tools/plylib");
    NUK_ASSERT(t2>0 || (t2==0 && isl==0), "nuk/tools/plylib");
    NUK_ASSERT(t2<T_MAXTYPE, "nuk/tools/plylib");
    // clang-format on
    name = na;
    type = ti;
    islist = isl;
    counttype = t2;
}

PlyElement::PlyElement(const char *na, int nu)
{
    NUK_ASSERT(na, "nuk/tools/plylib");
    // clang-format off
    NUK_ASSERT(nu>=0, "nuk/tools/plylib");
    // clang-format on
    name = na;
    number = nu;
}

PlyProperty *PlyElement::FindProperty(const char *na)
{
    NUK_ASSERT(na, "nuk/tools/plylib");
    for (PlyProperty &p : props)
        if (p.name == na) return &p;
    return nullptr;
}

void PlyElement::AddProp(const char *na, int ti, int isl, int t2) { props.emplace_back(na, ti, isl, t2); }

PlyFile::PlyFile() { header[0] = 0; }

PlyFile::~PlyFile() { Close(); }

const char *PlyFile::ErrorMessage(int code) { return code >= 0 && code < E_MAXPLYERRORS ? kErrorMessages[code] : ""; }

void PlyFile::Close()
{
    if (fp) fp->Close();
    fp.reset();
    ReadCB = nullptr;
}

int PlyFile::Fail(int code)
{
    error = code;
    Close();
    return -1;
}

int PlyFile::Open(const char *filename, int mode)
{
    // Writing is not provided by this reader.
    if (!filename || mode != 0) {
        error = E_CANTOPEN;
        return -1;
    }
    Close();
    // A reused object starts afresh: elements of an earlier file must not
    // mix with this one's (and cure must not point into a reallocated list).
    elements.clear();
    comments.clear();
    cure = nullptr;
    anyStored_ = false;
    steps_.clear();
    descs_.clear();
    readers_.clear();
    version = 0;
    format = F_UNSPECIFIED;
    error = E_NOERROR;
    header[0] = 0;

    fp.reset(new PlyInput);
    if (!fp->Open(filename)) return Fail(E_CANTOPEN);
    const int code = ParseHeader();
    if (code != E_NOERROR) return Fail(code);
    ReadCB = format == F_ASCII ? &plyread::GenericAscii : &plyread::GenericBinary;
    return 0;
}

int PlyFile::ParseHeader()
{
    char line[kLineSize];
    size_t used = 0; // bytes of header in use
    auto readLine = [&]() -> bool {
        const size_t n = fp->GetLine(line, sizeof line);
        if (n == 0) return false;
        // The copy keeps what fits; parsing never depends on it.
        const size_t room = HEADER_SIZE - 1 - used;
        const size_t take = n < room ? n : room;
        std::memcpy(header + used, line, take);
        used += take;
        header[used] = 0;
        return true;
    };

    if (!readLine()) return E_UNEXPEOF;
    if (std::strncmp(line, "ply", 3) != 0) return E_NOTHEADER;

    if (!readLine()) return E_UNEXPEOF;
    {
        Tokens t(line);
        const char *tok = t.Next();
        if (!tok) return E_UNEXPEOF;
        if (std::strcmp(tok, "format") != 0) return E_NOFORMAT;
        tok = t.Next();
        if (!tok) return E_UNEXPEOF;
        if (!std::strcmp(tok, "ascii"))
            format = F_ASCII;
        else if (!std::strcmp(tok, "binary_big_endian"))
            format = F_BINBIG;
        else if (!std::strcmp(tok, "binary_little_endian"))
            format = F_BINLITTLE;
        else
            return E_NOFORMAT;
        tok = t.Next();
        if (!tok) return E_UNEXPEOF;
        version = VersionValue(tok);
    }

    PlyElement *current = nullptr;
    for (;;) {
        if (!readLine()) return E_UNEXPEOF;
        Tokens t(line);
        const char *tok = t.Next();
        if (!tok) return E_UNEXPEOF;
        if (!std::strcmp(tok, "comment") || !std::strcmp(tok, "obj_info")) {
            // The rest after the keyword and one separator, as read.
            const char *rest = t.Position();
            if (*rest) ++rest;
            comments.emplace_back(rest);
            continue;
        }
        if (!std::strcmp(tok, "end_header")) return E_NOERROR;
        if (!std::strcmp(tok, "element")) {
            const char *name = t.Next();
            if (!name) return E_SYNTAX;
            const std::string nameCopy = name;
            const char *count = t.Next();
            if (!count) return E_SYNTAX;
            const long long n = ElementCountValue(count);
            if (n < 0) return E_SYNTAX;
            elements.emplace_back(nameCopy.c_str(), int(n));
            current = &elements.back();
            continue;
        }
        if (!std::strcmp(tok, "property")) {
            if (!current) return E_PROPOUTOFELEMENT;
            tok = t.Next();
            if (!tok) return E_SYNTAX;
            if (!std::strcmp(tok, "list")) {
                tok = t.Next();
                if (!tok) return E_SYNTAX;
                const int ct = FindType(tok);
                if (ct < 0) return E_BADTYPENAME;
                tok = t.Next();
                if (!tok) return E_SYNTAX;
                const int it = FindType(tok);
                if (it < 0) return E_BADTYPENAME;
                tok = t.Next();
                if (!tok) return E_SYNTAX;
                current->AddProp(tok, it, 1, ct);
            } else {
                const int ty = FindType(tok);
                if (ty < 0) return E_BADTYPENAME;
                tok = t.Next();
                if (!tok) return E_SYNTAX;
                current->AddProp(tok, ty, 0, 0);
            }
            continue;
        }
        return E_SYNTAX;
    }
}

const char *PlyFile::ElementName(int i) const
{
    if (i < 0 || i >= ElementCount()) return nullptr;
    return elements[size_t(i)].name.c_str();
}

int PlyFile::ElementNumber(int i) const
{
    if (i < 0 || i >= ElementCount()) return 0;
    return elements[size_t(i)].number;
}

PlyElement *PlyFile::FindElement(const char *na)
{
    NUK_ASSERT(na, "nuk/tools/plylib");
    for (PlyElement &e : elements)
        if (e.name == na) return &e;
    return nullptr;
}

int PlyFile::AddToRead(const char *elemname, const char *propname, int filetype, int memtype, int offset, int islist,
                       int alloclist, int countfiletype, int countmemtype, int countoffset)
{
    NUK_ASSERT(elemname, "nuk/tools/plylib");
    PlyElement *e = FindElement(elemname);
    if (!e) {
        error = E_ELEMNOTFOUND;
        return -1;
    }
    NUK_ASSERT(propname, "nuk/tools/plylib");
    PlyProperty *p = e->FindProperty(propname);
    if (!p) {
        error = E_PROPNOTFOUND;
        return -1;
    }
    if (!ValidType(filetype) || !ValidType(memtype) ||
        (islist && (!ValidType(countfiletype) || !ValidType(countmemtype)))) {
        error = E_BADTYPE;
        return -1;
    }
    if (islist != p->islist || filetype != p->type || (islist && countfiletype != p->counttype)) {
        error = E_INCOMPATIBLETYPE;
        return -1;
    }
    // A count must be a whole number in the file: floating count types are refused.
    if (!plyread::Admitted(filetype, memtype) || (islist && (!plyread::Admitted(countfiletype, countmemtype) ||
                                                             countfiletype == T_FLOAT || countfiletype == T_DOUBLE))) {
        error = E_BADCAST;
        return -1;
    }
    p->stored = 1;
    p->desc.filetype = filetype;
    p->desc.memtype = memtype;
    p->desc.offset = offset;
    p->desc.islist = islist;
    p->desc.alloclist = alloclist;
    p->desc.countfiletype = countfiletype;
    p->desc.countmemtype = countmemtype;
    p->desc.countoffset = countoffset;
    return 0;
}

int PlyFile::AddToRead(const PropDescriptor &d)
{
    return AddToRead(d.elemname, d.propname, d.filetype, d.memtype, d.offset, d.islist, d.alloclist, d.countfiletype,
                     d.countmemtype, d.countoffset);
}

namespace
{

// A swap step reverses values of 2, 4 or 8 bytes.
enum { STEP_CALL, STEP_COPY, STEP_SKIP, STEP_SWAP2, STEP_SWAP4, STEP_SWAP8 };

bool HostLittle() { return __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__; }

int SwapKind(int size) { return size == 2 ? STEP_SWAP2 : size == 4 ? STEP_SWAP4 : STEP_SWAP8; }

// A run of SZ-byte values, each reversed, then one-byte values as they are.
template <int SZ> inline void SwapRun(char *dst, const char *src, size_t bytes, size_t swapped)
{
    // The one-byte values first, with the last 8 bytes of the run when they
    // hold them all (else the whole run): the reversed values then overwrite
    // what they share.
    if (bytes != swapped) {
        if (bytes >= 8 && bytes - swapped <= 8) {
            uint64_t v;
            std::memcpy(&v, src + bytes - 8, 8);
            std::memcpy(dst + bytes - 8, &v, 8);
        } else {
            CopyFew(dst, src, bytes);
        }
    }
    SwapFew<SZ>(dst, src, swapped);
}

} // namespace

void PlyFile::SelectElement(int i)
{
    steps_.clear();
    anyStored_ = false;
    if (i < 0 || i >= ElementCount()) {
        cure = nullptr;
        return;
    }
    cure = &elements[size_t(i)];
    descs_.clear();
    readers_.clear();
    for (PlyProperty &p : cure->props) {
        p.desc.format = format;
        p.reader = plyread::Compile(p, format);
        if (p.stored) anyStored_ = true;
        descs_.push_back(p.desc);
        readers_.push_back(p.reader);
    }
    // Binary runs: stored scalars kept in their own type at consecutive
    // offsets are one copy; when bytes need reversing, one pass per stretch
    // of values of one size, taking along the one-byte values after it.
    // Skipped scalars are one skip.
    const bool binary = format == F_BINLITTLE || format == F_BINBIG;
    const bool swap = binary && ((format == F_BINBIG) == HostLittle());
    const int n = int(cure->props.size());
    for (int k = 0; k < n;) {
        const PlyProperty &p = cure->props[size_t(k)];
        Step s{STEP_CALL, k, k + 1, 0, 0, 0};
        if (binary && !p.islist) {
            const int size = TypeSize[p.type];
            if (!p.stored) {
                s.kind = STEP_SKIP;
                s.bytes = size;
                while (s.last < n && s.bytes < (1 << 20) && !cure->props[size_t(s.last)].stored &&
                       !cure->props[size_t(s.last)].islist)
                    s.bytes += TypeSize[cure->props[size_t(s.last++)].type];
            } else if (p.desc.filetype == p.desc.memtype) {
                s.kind = swap && size > 1 ? SwapKind(size) : STEP_COPY;
                s.bytes = size;
                s.offset = p.desc.offset;
                // Values that join the run: stored in their own type right
                // after it, of the run's size when reversing.
                auto joins = [&](int sz) {
                    if (s.last >= n || s.bytes >= (1 << 20)) return false;
                    const PlyProperty &q = cure->props[size_t(s.last)];
                    return q.stored && !q.islist && q.desc.filetype == q.desc.memtype &&
                           q.desc.offset == s.offset + s.bytes && (sz == 0 || TypeSize[q.type] == sz);
                };
                const int runSize = swap ? size : 0;
                while (joins(runSize))
                    s.bytes += TypeSize[cure->props[size_t(s.last++)].type];
                s.swapped = s.kind == STEP_COPY ? 0 : s.bytes;
                while (s.kind != STEP_COPY && joins(1))
                    s.bytes += TypeSize[cure->props[size_t(s.last++)].type];
            }
        }
        steps_.push_back(s);
        k = s.last;
    }
}

// A run whose bytes are not all buffered: its properties one by one, with
// their own end-of-file rules.
bool PlyFile::ReadSlow(const Step &s, void *mem)
{
    for (int k = s.first; k < s.last; ++k)
        if (!readers_[size_t(k)](*fp, mem, descs_[size_t(k)])) return false;
    return true;
}

int PlyFile::ReadRecord(void *mem)
{
    NUK_ASSERT(cure, "nuk/tools/plylib");
    NUK_ASSERT(ReadCB, "nuk/tools/plylib");
    if (anyStored_) NUK_ASSERT(mem, "nuk/tools/plylib");
    PlyInput &in = *fp;
    for (const Step &s : steps_) {
        if (s.kind == STEP_CALL) {
            if (!readers_[size_t(s.first)](in, mem, descs_[size_t(s.first)])) return -1;
            continue;
        }
        const size_t bytes = size_t(s.bytes);
        if (size_t(in.end - in.cur) < bytes && (bytes > PlyInput::BLOCK || !in.Ensure(bytes))) {
            // Not all of the run is left (or it is longer than a block).
            if (!ReadSlow(s, mem)) return -1;
            continue;
        }
        // Locals, not members: the stores below may alias anything.
        const char *const src = in.cur;
        char *const dst = static_cast<char *>(mem) + s.offset;
        switch (s.kind) {
        case STEP_COPY:
            CopyFew(dst, src, bytes);
            break;
        case STEP_SWAP2:
            SwapRun<2>(dst, src, bytes, size_t(s.swapped));
            break;
        case STEP_SWAP4:
            SwapRun<4>(dst, src, bytes, size_t(s.swapped));
            break;
        case STEP_SWAP8:
            SwapRun<8>(dst, src, bytes, size_t(s.swapped));
            break;
        default: // a skip
            break;
        }
        in.cur = src + bytes;
    }
    return 0;
}

long long PlyFile::BytesLeft() const { return fp ? fp->Left() : 0; }

long long PlyFile::MaxRecords(int i) const
{
    if (i < 0 || i >= ElementCount()) return 0;
    const PlyElement &e = elements[size_t(i)];
    long long minBytes = 0;
    for (const PlyProperty &p : e.props) {
        if (format == F_ASCII)
            minBytes += 2; // a separator and one character at least
        else
            minBytes += p.islist ? TypeSize[p.counttype] : TypeSize[p.type];
    }
    if (minBytes == 0) return e.number;
    // The last ASCII token needs no separator after it.
    const long long left = BytesLeft() + (format == F_ASCII ? 1 : 0);
    const long long fit = left / minBytes;
    return fit < e.number ? fit : e.number;
}

void ExpandThisName(const char *pattern, const char *plyfilename, xstring &out)
{
    out.clear();
    if (!pattern) return;
    // The base name: after the last '/' or '\', without a ".ply" ending.
    xstring base;
    if (plyfilename) {
        const char *b = plyfilename;
        for (const char *q = plyfilename; *q; ++q)
            if (*q == '/' || *q == '\\') b = q + 1;
        base = b;
        const size_t n = base.size();
        if (n >= 4 && base[n - 4] == '.' && (base[n - 3] | 0x20) == 'p' && (base[n - 2] | 0x20) == 'l' &&
            (base[n - 1] | 0x20) == 'y')
            base.resize(n - 4);
    }
    const size_t len = std::strlen(pattern);
    for (size_t i = 0; i < len; ++i) {
        const char *c = pattern + i;
        if (c[0] == '<' && i + 5 < len && (c[1] | 0x20) == 't' && (c[2] | 0x20) == 'h' && (c[3] | 0x20) == 'i' &&
            (c[4] | 0x20) == 's' && c[5] == '>') {
            out += base;
            i += 5;
        } else {
            out += *c;
        }
    }
}

xstring ExpandThisName(const char *pattern, const char *plyfilename)
{
    xstring out;
    ExpandThisName(pattern, plyfilename, out);
    return out;
}

} // namespace nuk
