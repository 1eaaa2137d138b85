#include "support/PlyText.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace testsupport
{
namespace
{

int TypeSize(const std::string &t)
{
    if (t == "char" || t == "uchar" || t == "int8" || t == "uint8") return 1;
    if (t == "short" || t == "ushort" || t == "int16" || t == "uint16") return 2;
    if (t == "int" || t == "uint" || t == "int32" || t == "uint32" || t == "float" || t == "float32") return 4;
    if (t == "double" || t == "float64") return 8;
    throw std::runtime_error("unknown type " + t);
}

bool IsFloat(const std::string &t) { return t == "float" || t == "float32" || t == "double" || t == "float64"; }

// One data token as a value of the header's type, in the file's byte order.
std::string Put(const std::string &type, const std::string &token, bool big)
{
    const int n = TypeSize(type);
    if (IsFloat(type)) {
        const double d = std::strtod(token.c_str(), nullptr);
        return n == 4 ? Bytes(float(d), big) : Bytes(d, big);
    }
    // Integers keep their low n bytes, whatever the signedness.
    const std::uint64_t u = static_cast<std::uint64_t>(std::strtoll(token.c_str(), nullptr, 10));
    return n == 1 ? Bytes(std::uint8_t(u), big) : n == 2 ? Bytes(std::uint16_t(u), big) : Bytes(std::uint32_t(u), big);
}

} // namespace

const char *PlyFormatName(PlyFormat f)
{
    return f == PlyFormat::Ascii ? "ascii" : f == PlyFormat::Little ? "binary_little_endian" : "binary_big_endian";
}

std::string ConvertPly(const std::string &text, PlyFormat fmt, size_t truncate)
{
    std::string out;
    if (fmt == PlyFormat::Ascii) {
        out = text;
    } else {
        const size_t endh = text.find("end_header\n");
        if (endh == std::string::npos) throw std::runtime_error("no end_header");
        std::string header = text.substr(0, endh + 11);
        const size_t fpos = header.find("format ascii");
        if (fpos != std::string::npos) header.replace(fpos, 12, std::string("format ") + PlyFormatName(fmt));
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
        const bool big = fmt == PlyFormat::Big;
        std::string tok;
        for (const Elem &e : elems)
            for (long long r = 0; r < (e.props.empty() ? 0 : e.n); ++r)
                for (const Prop &p : e.props) {
                    if (!(data >> tok)) goto done;
                    if (!p.list) {
                        out += Put(p.type, tok, big);
                        continue;
                    }
                    out += Put(p.count, tok, big);
                    const long long n = std::strtoll(tok.c_str(), nullptr, 10);
                    for (long long k = 0; k < n; ++k) {
                        if (!(data >> tok)) goto done;
                        out += Put(p.type, tok, big);
                    }
                }
    done:;
    }
    if (truncate > out.size()) truncate = out.size();
    out.resize(out.size() - truncate);
    return out;
}

} // namespace testsupport
