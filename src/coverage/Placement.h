#pragma once
// Where the reference model stands in the set-up. Off, the model is drawn
// and analysed in its own coordinates, read as millimetres of the plan's
// frame. "Fit model to object" centres its box on the dome axis with its
// back on the object plate and scales it so that its larger side across X
// and Y equals the object size. Either way it is one uniform scale and a
// shift, so segments map to segments and facing tests keep their sign: the
// ray-query scene is built once in model coordinates and the plan is moved
// into them instead. Areas scale by the square of the scale.

#include "nuk/Box3.h"
#include "nuk/Point3.h"
#include "planner/Stage.h"

namespace coverage
{

// Z of the object plate, as floats for the mesh.
inline constexpr float kPlateZ = static_cast<float>(planner::kPlateZ);

struct Placement {
    float scale = 1.0f;
    nuk::Point3f offset{0, 0, 0};

    // Model coordinates to the plan's frame and back.
    nuk::Point3f ToPlan(const nuk::Point3f &p) const { return p * scale + offset; }
    nuk::Point3f ToModel(const nuk::Point3f &p) const { return (p - offset) / scale; }

    bool IsIdentity() const { return scale == 1.0f && offset == nuk::Point3f(0, 0, 0); }
    // A scale that is not a positive finite number is no placement at all.
    bool IsValid() const;
};

// The placement of "Fit model to object" for a model with this box. A null
// box gives the identity; a box without extent across X and Y (a vertical
// line, a point) is only moved, not scaled.
Placement FitToObject(const nuk::Box3f &box, float objectSize);

} // namespace coverage
