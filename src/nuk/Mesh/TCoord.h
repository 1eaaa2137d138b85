#pragma once

#include <cstdint>

#include "nuk/Point2.h"

namespace nuk
{

// A texture coordinate (u, v) with the number of the texture it refers to.
// Only used to parameterise the element templates; AVertex and AFace store none.
template <class S, int NTEX> class TCoord
{
public:
    using ScalarType = S;
    static constexpr int kTextures = NTEX;

    Point2<S> t;
    std::int16_t n;

    S &U() { return t.x; }
    S &V() { return t.y; }
    std::int16_t &N() { return n; }
};

} // namespace nuk
