#pragma once
// The stage every part of the program draws, judges and renders: the
// backdrop in the base plane (z = 0) from the floor up, the floor below the
// object's centre towards the camera, the object plate just in front of the
// backdrop, and the camera's body on the dome axis. Millimetres, in the
// plan's frame: the origin at the object's centre on the backdrop, y up,
// z towards the camera.

#include <algorithm>
#include <cstdint>

namespace planner
{

// The camera's body: a cube of this half-size around the camera.
inline constexpr double kCameraHalfSize = 50.0;
// The object plate's distance in front of the backdrop.
inline constexpr double kPlateZ = 10.0;

struct Stage {
    double floorY = 0;        // the floor, at -object height
    double backdropHalf = 0;  // the backdrop spans +-this in x, floorY to +this in y; the floor 0 to 2x this in z
    double plateHalf = 0;     // the plate: a square of +-this in x and y at z = kPlateZ
    double cameraZ = 0;       // the camera's centre on the axis
};

inline Stage StageOf(std::int32_t objectSize, std::int32_t objectHeight, std::int32_t cameraDistance)
{
    Stage s;
    s.floorY = -static_cast<double>(objectHeight);
    s.backdropHalf = std::max(2.5 * objectHeight, 3.0 * objectSize);
    s.plateHalf = 0.5 * objectSize;
    s.cameraZ = cameraDistance;
    return s;
}

} // namespace planner
