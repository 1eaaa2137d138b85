#pragma once
// STL test files from triangles: the same triangles as a binary file and as
// an ASCII one, so that one case runs in both formats.

#include <array>
#include <string>
#include <vector>

namespace testsupport
{

struct StlTriangle {
    std::array<float, 3> normal;
    std::array<std::array<float, 3>, 3> corners;
};

// An 80-byte header beginning with `header`, the triangle count (or `count`
// when it is not negative: a file that lies) and the triangles.
std::string BinaryStl(const std::vector<StlTriangle> &triangles, const std::string &header = "binary",
                      long long count = -1);
// "solid name", one facet per triangle (floats in 9 significant digits, so
// they read back exactly), "endsolid name".
std::string AsciiStl(const std::vector<StlTriangle> &triangles, const std::string &name = "model");

} // namespace testsupport
