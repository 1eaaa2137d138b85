#include "coverage/Placement.h"

#include <algorithm>
#include <cmath>

namespace coverage
{

bool Placement::IsValid() const
{
    return std::isfinite(scale) && scale > 0 && std::isfinite(offset.x) && std::isfinite(offset.y) &&
           std::isfinite(offset.z);
}

Placement FitToObject(const nuk::Box3f &box, float objectSize)
{
    Placement p;
    if (box.IsNull()) return p;
    const nuk::Point3f dim = box.Dim();
    const float across = std::max(dim.x, dim.y);
    if (across > 0 && std::isfinite(across) && objectSize > 0) p.scale = objectSize / across;
    const nuk::Point3f c = box.Center();
    p.offset = nuk::Point3f(-c.x * p.scale, -c.y * p.scale, kPlateZ - box.min.z * p.scale);
    return p;
}

} // namespace coverage
