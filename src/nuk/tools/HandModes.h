#pragma once
// The trackball's modes: each reads a drag in its own way (sphere, scale,
// line, plane, cylinder). They are reached as Hand::SphereMode and so on:
// Hand takes this scope as its base.

#include <cstdint>

#include "nuk/Affine.h"
#include "nuk/Matrix44.h"
#include "nuk/Point3.h"

namespace nuk
{

struct HandModes {
    // Which transform a drag changes.
    enum Target : std::uint8_t { PIVOT = 1, MODEL_KEEP_COMPOSITE = 2, MODEL = 3 };
    // In which coordinates a mode gets its drag points.
    enum Space : std::int16_t { VIEW_SPACE = 0, HANDLE_SPACE = 0x400, HANDLE_SPACE_ALT = 0x800, WINDOW_SPACE = 0x1000 };

    // A way of reading a drag. Apply gets a drag point in the mode's space,
    // a frame matrix and the pivot, and returns the transform the point
    // stands for; a drag is the change from its first point to its last.
    class TrackMode
    {
    public:
        std::int16_t space = VIEW_SPACE;
        std::uint8_t target = MODEL;

        TrackMode() = default;
        virtual ~TrackMode() = default;
        virtual Matrix44d Apply(const Point3d &p, const Matrix44d &frame, const Affine &pivot) const;
        // The trackball draws nothing of its own; kept for handle modes.
        virtual void DrawGuides(bool active) const;
        // Distance of the pointer from the mode's handle, negative for a miss.
        virtual float Distance(const Point3d &p) const;
    };

    // Free rotation on a virtual sphere of radius 1 (a hyperbolic sheet outside 1/sqrt 2).
    class SphereMode : public TrackMode
    {
    public:
        Matrix44d Apply(const Point3d &p, const Matrix44d &frame, const Affine &pivot) const override;
        void DrawGuides(bool active) const override;
        float Distance(const Point3d &p) const override;
    };

    // Uniform scale: doubles for every 100 units of decreasing p.y.
    class ScaleMode : public TrackMode
    {
    public:
        Matrix44d Apply(const Point3d &p, const Matrix44d &frame, const Affine &pivot) const override;
        void DrawGuides(bool active) const override;
        float Distance(const Point3d &p) const override;
    };

    // Translation along one axis.
    class LineMode : public TrackMode
    {
    public:
        Point3d axis{1, 0, 0};
        Matrix44d Apply(const Point3d &p, const Matrix44d &frame, const Affine &pivot) const override;
        void DrawGuides(bool active) const override;
        float Distance(const Point3d &p) const override;
    };

    // Translation in the plane of two axes.
    class PlaneMode : public TrackMode
    {
    public:
        Point3d first_axis{1, 0, 0};
        Point3d second_axis{0, 1, 0};
        Matrix44d Apply(const Point3d &p, const Matrix44d &frame, const Affine &pivot) const override;
        void DrawGuides(bool active) const override;
        float Distance(const Point3d &p) const override;
    };

    // Rotation about one axis.
    class CylinderMode : public TrackMode
    {
    public:
        Point3d axis{0, 1, 0};
        bool flag = false; // turns the other way when set (by a handle)
        Matrix44d Apply(const Point3d &p, const Matrix44d &frame, const Affine &pivot) const override;
        void DrawGuides(bool active) const override;
        float Distance(const Point3d &p) const override;
    };
};

} // namespace nuk
