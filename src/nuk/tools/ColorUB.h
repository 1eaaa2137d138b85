#pragma once
// An RGBA colour of four unsigned bytes, red, green, blue, alpha.

#include <cstdint>
#include <cstring>

#include "nuk/Assert.h"

namespace nuk
{

class ColorUB
{
public:
    unsigned char v[4];

    // Left undefined on purpose: vertices are made by the million and most are
    // overwritten right away.
    ColorUB() = default;
    // The code's four bytes are taken in memory order, so 0xffffffff is opaque white.
    explicit ColorUB(std::uint32_t code) { std::memcpy(v, &code, 4); }
    constexpr ColorUB(unsigned char r, unsigned char g, unsigned char b, unsigned char a) : v{r, g, b, a} {}

    // clang-format off
    unsigned char &operator[](int i)
    {
        NUK_ASSERT(i>=0, "nuk/tools/ColorUB");
        NUK_ASSERT(i<4, "nuk/tools/ColorUB");
        return v[i];
    }
    const unsigned char &operator[](int i) const
    {
        NUK_ASSERT(i>=0, "nuk/tools/ColorUB");
        NUK_ASSERT(i<4, "nuk/tools/ColorUB");
        return v[i];
    }
    // clang-format on

    bool operator==(const ColorUB &c) const { return std::memcmp(v, c.v, 4) == 0; }
    bool operator!=(const ColorUB &c) const { return !(*this == c); }
};

static_assert(sizeof(ColorUB) == 4, "ColorUB must be four bytes");

} // namespace nuk
