#include "nuk/tools/HandView.h"

namespace nuk
{

Transform::Transform() : viewport{0, 0, 0, 0}
{
    matrix.SetIdentity();
    inverse.SetIdentity();
}

Transform Transform::FromGL(const Matrix44d &projection, const Matrix44d &modelview, const std::int32_t viewport[4])
{
    Transform t;
    t.SetFromGL(projection, modelview, viewport);
    return t;
}

void Transform::SetFromGL(const Matrix44d &projection, const Matrix44d &modelview, const std::int32_t vp[4])
{
    matrix = projection.Transposed() * modelview.Transposed();
    inverse = matrix.Inverse();
    for (int i = 0; i < 4; ++i)
        viewport[i] = vp[i];
}

Point3d Transform::Project(const Point3d &p) const
{
    const Point3d q = matrix * p;
    return Point3d((q.x + 1) * (viewport[2] * 0.5) + viewport[0], (q.y + 1) * (viewport[3] * 0.5) + viewport[1], q.z);
}

Point3d Transform::UnProject(const Point3d &p) const
{
    const double nx = (p.x - viewport[0]) / (viewport[2] * 0.5) - 1;
    const double ny = -((p.y - viewport[1]) / (viewport[3] * 0.5) - 1);
    return inverse * Point3d(nx, ny, p.z);
}

} // namespace nuk
