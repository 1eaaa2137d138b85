#pragma once

#include "nuk/Point3.h"

namespace nuk
{

// Axis-aligned box. The null (empty) box is min (1, 1, 1), max (-1, -1, -1).
template <class T> class Box3
{
public:
    Point3<T> min;
    Point3<T> max;

    Box3() { SetNull(); }
    Box3(const Point3<T> &mn, const Point3<T> &mx) : min(mn), max(mx) {}

    void SetNull()
    {
        min = Point3<T>(1, 1, 1);
        max = Point3<T>(-1, -1, -1);
    }

    bool IsNull() const { return min.x > max.x || min.y > max.y || min.z > max.z; }

    void Add(const Point3<T> &p)
    {
        if (IsNull()) {
            min = p;
            max = p;
            return;
        }
        if (p.x < min.x) min.x = p.x;
        if (p.y < min.y) min.y = p.y;
        if (p.z < min.z) min.z = p.z;
        if (max.x < p.x) max.x = p.x;
        if (max.y < p.y) max.y = p.y;
        if (max.z < p.z) max.z = p.z;
    }

    Point3<T> Center() const { return (min + max) / T(2); }
    Point3<T> Dim() const { return max - min; }
    T Diag() const { return (max - min).Norm(); }

    bool operator==(const Box3 &b) const { return min == b.min && max == b.max; }
    bool operator!=(const Box3 &b) const { return !(*this == b); }
};

using Box3f = Box3<float>;
using Box3d = Box3<double>;

} // namespace nuk
