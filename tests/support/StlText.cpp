#include "support/StlText.h"

#include <cstdint>
#include <cstdio>

#include "support/PlyText.h"

namespace testsupport
{

std::string BinaryStl(const std::vector<StlTriangle> &triangles, const std::string &header, long long count)
{
    std::string out = header.substr(0, 80);
    out.resize(80, ' ');
    out += Bytes(std::uint32_t(count < 0 ? (long long)(triangles.size()) : count));
    for (const StlTriangle &t : triangles) {
        for (float f : t.normal)
            out += Bytes(f);
        for (const auto &c : t.corners)
            for (float f : c)
                out += Bytes(f);
        out += Bytes(std::uint16_t(0));
    }
    return out;
}

std::string AsciiStl(const std::vector<StlTriangle> &triangles, const std::string &name)
{
    auto num = [](float f) {
        char b[32];
        std::snprintf(b, sizeof b, "%.9g", double(f));
        return std::string(b);
    };
    std::string out = "solid " + name + "\n";
    for (const StlTriangle &t : triangles) {
        out += "  facet normal " + num(t.normal[0]) + " " + num(t.normal[1]) + " " + num(t.normal[2]) + "\n";
        out += "    outer loop\n";
        for (const auto &c : t.corners)
            out += "      vertex " + num(c[0]) + " " + num(c[1]) + " " + num(c[2]) + "\n";
        out += "    endloop\n  endfacet\n";
    }
    return out + "endsolid " + name + "\n";
}

} // namespace testsupport
