#pragma once
// The values of pi the program uses, one name each. The acquisition file's
// bytes depend on two of them, so none of them is ever written out again.

namespace nuk
{

// The grid's row angles (Pattern.cpp): pi to four decimals, in extended
// precision; every "height" and "distance" of a grid row depends on it.
inline constexpr long double kPiFourDecimals = 3.1415L;
// The float rotation (Matrix44's SetRotate): the grid's point lines depend on it.
inline constexpr float kPiFloat = 3.1415927f;
// The double nearest pi: every other angle.
inline constexpr double kPi = 3.14159265358979323846;
// Pi to eight decimals: the sphere mode's turn has always used it.
inline constexpr double kPiEightDecimals = 3.14159265;

} // namespace nuk
