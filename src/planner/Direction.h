#pragma once
// A light's direction as the report, the layouts and the exports all give
// it: the unit vector from the object's centre, its elevation above the
// base plane and its azimuth, counter-clockwise from +x seen from the
// camera, in degrees. The CSV's bytes depend on these values, so they are
// computed here and nowhere else.

#include <algorithm>
#include <cmath>

#include "nuk/Pi.h"
#include "nuk/Point3.h"

namespace planner
{

struct Direction {
    bool defined = false;                  // false for the centre itself (or a position that is not finite)
    nuk::Point3<double> unit{0.0, 0.0, 1.0}; // (0, 0, 1) when not defined
    double elevation = 90.0;               // -90 to 90
    double azimuth = 0.0;                  // [0, 360); 0 on the axis
};

inline Direction DirectionOf(const nuk::Point3<double> &p)
{
    Direction d;
    const double len = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    if (!(len > 0) || !std::isfinite(len)) return d;
    d.defined = true;
    d.unit = nuk::Point3<double>(p.x / len, p.y / len, p.z / len);
    d.elevation = std::asin(std::clamp(d.unit.z, -1.0, 1.0)) * 180.0 / nuk::kPi;
    if (d.unit.x != 0 || d.unit.y != 0) {
        d.azimuth = std::atan2(d.unit.y, d.unit.x) * 180.0 / nuk::kPi;
        if (d.azimuth < 0) d.azimuth += 360.0;
        if (d.azimuth >= 360.0) d.azimuth = 0;
    }
    return d;
}

} // namespace planner
