#pragma once
// The trackball's view record: the projection, modelview and viewport of one
// frame, and the window <-> scene mappings built on them.

#include <cstdint>

#include "nuk/Matrix44.h"
#include "nuk/Point3.h"

namespace nuk
{

// The view record of one frame, in math order (points as column vectors).
class Transform
{
public:
    Matrix44d matrix;         // projection x modelview
    Matrix44d inverse;        // identity when matrix is singular
    std::int32_t viewport[4]; // x, y, width, height

    Transform();

    // From the two matrices as glGetDoublev gives them (GL order) and the
    // viewport as glGetIntegerv gives it.
    static Transform FromGL(const Matrix44d &projection, const Matrix44d &modelview, const std::int32_t viewport[4]);
    void SetFromGL(const Matrix44d &projection, const Matrix44d &modelview, const std::int32_t viewport[4]);

    // To window coordinates, y growing upward, z the normalised depth.
    Point3d Project(const Point3d &p) const;
    // From window coordinates with y growing downward.
    Point3d UnProject(const Point3d &p) const;
};

// GL edge: the current projection, modelview and viewport. Needs a current context.
Transform ReadGLView();

} // namespace nuk
