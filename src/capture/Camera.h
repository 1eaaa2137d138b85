#pragma once
// The capture's camera: a pinhole at (0, 0, distance) on the dome axis,
// looking at the object's centre along -z, in the plan's frame (mm, y up).
// The sensor's width spans the image's width; pixels are square, so an
// image size of another aspect than the sensor's crops or extends the
// sensor's height. Image coordinates: u to the right, v down, in pixels
// from the top-left corner of the image.

#include <cmath>

#include "nuk/Point3.h"
#include "planner/PlanReport.h"

namespace capture
{

inline constexpr int kDefaultWidth = 1024;

struct Camera {
    double distance = 0; // mm from the object's centre
    double focal = 50;   // mm
    double pitch = 0;    // mm of sensor per pixel
    int width = 0, height = 0;

    nuk::Point3<double> origin() const { return {0.0, 0.0, distance}; }
    // The direction (not unit) of the ray through image point (u, v).
    nuk::Point3<double> Ray(double u, double v) const
    {
        return {(u - 0.5 * width) * pitch, (0.5 * height - v) * pitch, -focal};
    }
    // Where a point of the plan's frame lands; false when it is not in
    // front of the camera.
    bool Project(const nuk::Point3<double> &p, double &u, double &v) const
    {
        const double depth = distance - p.z;
        if (!(depth > 0)) return false;
        u = 0.5 * width + focal * p.x / (depth * pitch);
        v = 0.5 * height - focal * p.y / (depth * pitch);
        return true;
    }
};

// The image's height at this width for the sensor's aspect.
inline int DefaultHeight(const planner::Framing &f, int width)
{
    const long h = std::lround(width * f.sensorHeight / f.sensorWidth);
    return h < 1 ? 1 : static_cast<int>(h);
}

inline Camera MakeCamera(const planner::Framing &f, double cameraDistance, int width, int height)
{
    Camera c;
    c.distance = cameraDistance;
    c.focal = f.focalLength;
    c.width = width;
    c.height = height;
    c.pitch = width > 0 ? f.sensorWidth / width : 0;
    return c;
}

} // namespace capture
