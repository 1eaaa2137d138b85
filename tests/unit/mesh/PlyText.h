#pragma once
// Test PLY files written from readable ASCII text: the same header and
// records can be turned into binary little- or big-endian files, so every
// case runs in all three formats.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace plytext
{

enum class Format { Ascii, Little, Big };

inline const char *formatName(Format f)
{
    return f == Format::Ascii ? "ascii" : f == Format::Little ? "binary_little_endian" : "binary_big_endian";
}

namespace detail
{

inline int typeSize(const std::string &t)
{
    if (t == "char" || t == "uchar" || t == "int8" || t == "uint8") return 1;
    if (t == "short" || t == "ushort" || t == "int16" || t == "uint16") return 2;
    if (t == "int" || t == "uint" || t == "int32" || t == "uint32" || t == "float" || t == "float32") return 4;
    if (t == "double" || t == "float64") return 8;
    throw std::runtime_error("unknown type " + t);
}

inline bool isFloat(const std::string &t) { return t == "float" || t == "float32" || t == "double" || t == "float64"; }

inline void put(std::string &out, const std::string &type, const std::string &token, bool big)
{
    const int n = typeSize(type);
    unsigned char b[8];
    if (isFloat(type)) {
        const double d = std::strtod(token.c_str(), nullptr);
        if (n == 4) {
            const float f = float(d);
            std::memcpy(b, &f, 4);
        } else {
            std::memcpy(b, &d, 8);
        }
    } else {
        const long long v = std::strtoll(token.c_str(), nullptr, 10);
        const std::uint64_t u = static_cast<std::uint64_t>(v);
        for (int i = 0; i < n; ++i)
            b[i] = static_cast<unsigned char>(u >> (8 * i)); // little-endian bytes
    }
    // The host is little-endian (x86-64, aarch64); big-endian reverses each value.
    if (big)
        for (int i = n - 1; i >= 0; --i)
            out += char(b[i]);
    else
        out.append(reinterpret_cast<const char *>(b), size_t(n));
}

} // namespace detail

// `text` is a whole ASCII PLY file ("ply", "format ascii 1.0", ..., "end_header",
// records). Returns the same file in the wanted format. Data tokens that the
// header does not cover (for files cut short on purpose) are dropped from
// binary output; `truncate` drops that many bytes from the end.
inline std::string convert(const std::string &text, Format fmt, size_t truncate = 0)
{
    std::string out;
    if (fmt == Format::Ascii) {
        out = text;
    } else {
        const size_t endh = text.find("end_header\n");
        if (endh == std::string::npos) throw std::runtime_error("no end_header");
        std::string header = text.substr(0, endh + 11);
        const size_t fpos = header.find("format ascii");
        if (fpos != std::string::npos) header.replace(fpos, 12, std::string("format ") + formatName(fmt));
        out = header;

        struct Prop {
            std::string type, count;
            bool list;
        };
        struct Elem {
            long long n;
            std::vector<Prop> props;
        };
        std::vector<Elem> elems;
        std::istringstream hs(header);
        std::string line;
        while (std::getline(hs, line)) {
            std::istringstream ls(line);
            std::string kw;
            ls >> kw;
            if (kw == "element") {
                std::string name;
                long long n = 0;
                ls >> name >> n;
                elems.push_back(Elem{n, {}});
            } else if (kw == "property") {
                std::string a, b, c;
                ls >> a >> b >> c;
                if (a == "list")
                    elems.back().props.push_back(Prop{c, b, true});
                else
                    elems.back().props.push_back(Prop{a, "", false});
            }
        }
        std::istringstream data(text.substr(endh + 11));
        const bool big = fmt == Format::Big;
        std::string tok;
        for (const Elem &e : elems)
            for (long long r = 0; r < (e.props.empty() ? 0 : e.n); ++r)
                for (const Prop &p : e.props) {
                    if (!(data >> tok)) goto done;
                    if (!p.list) {
                        detail::put(out, p.type, tok, big);
                        continue;
                    }
                    detail::put(out, p.count, tok, big);
                    const long long n = std::strtoll(tok.c_str(), nullptr, 10);
                    for (long long k = 0; k < n; ++k) {
                        if (!(data >> tok)) goto done;
                        detail::put(out, p.type, tok, big);
                    }
                }
    done:;
    }
    if (truncate > out.size()) truncate = out.size();
    out.resize(out.size() - truncate);
    return out;
}

inline void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

} // namespace plytext
