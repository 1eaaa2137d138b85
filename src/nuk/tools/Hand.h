#pragma once
// Trackball: turns mouse gestures on the GL view into the model transform
// that the scene drawing multiplies onto the modelview.
//
// Use from the window (all on the window thread):
//
//   nuk::TrackHand track;                       // mapping table, modes, identity model
//   // once the GL context exists:
//   track.SetPivotTranslation(nuk::Point3d(0, 0, 0));
//   track.SetPivotScale(zoom);
//   track.EnableSpin(true);
//   // mouse on the view panel; x, y in panel pixels, y growing downward;
//   // code: 1 left, 2 middle, 0 other; + 0x20 with Ctrl, else + 0x10 with Shift
//   track.MouseDown(x, y, code);
//   track.MouseMove(x, y, code);                // only between down and up
//   track.MouseUp(x, y, code);
//   // wheel: zoom *= 1.1 (or / 1.1), then
//   track.SetPivotScale(zoom);
//   // every frame, after gluLookAt and before drawing the scene:
//   track.Apply();                              // reads the view, advances a spin, glMultMatrixd(model)
//
// Without a GL context (tests): build a Transform from the projection and
// modelview in OpenGL's memory order with Transform::FromGL, then
// ApplyWith(view) returns the model (GL order) that Apply would multiply.
// The millisecond clock is injectable (constructor or SetClock); the default
// is a steady clock counting from program start.
//
// The general forms SetTranslation(kind, v) and SetScale(kind, s) take
// kind 1 = pivot, 2 = model keeping pivot x model, 3 = model.

#include <cstdint>
#include <functional>
#include <vector>

#include "nuk/Affine.h"
#include "nuk/Matrix44.h"
#include "nuk/Point3.h"
#include "nuk/Point4.h"

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

class Hand
{
public:
    // Milliseconds; only differences matter.
    using Clock = std::function<std::int64_t()>;
    // Steady clock counting from program start.
    static std::int64_t SteadyMilliseconds();

    enum Target : std::uint8_t { PIVOT = 1, MODEL_KEEP_COMPOSITE = 2, MODEL = 3 };
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

    // State, readable by the window and tests; change it through the operations.
    const TrackMode *current_mode = nullptr;
    Affine model; // applied to the modelview every frame
    Affine pivot; // translation: centre of rotation (model coordinates); scale: view zoom
    std::int32_t start_x = -1, start_y = -1;
    Affine view_frame; // rows: screen right, up, toward the viewer at the pivot
    Affine model_at_start;
    Affine pivot_at_start;
    Affine spin_base;   // older motion sample; after a release, where the spin starts
    Affine last_sample; // newer motion sample
    Transform view;
    std::int32_t mode_changed = 0;
    bool dragging = false;
    bool spin_enabled = false;
    bool spinning = false;
    std::int64_t time0 = 0, time1 = 0; // clock of the two last motion samples
    Point4d spin_rotation{1, 0, 0, 0}; // rotation of the last sample interval, scalar first

    Hand();
    explicit Hand(Clock clock);

    void SetClock(Clock clock);
    std::int64_t Now() const;

    // kind: PIVOT, MODEL_KEEP_COMPOSITE or MODEL. Non-positive or non-finite
    // scales are ignored.
    void SetTranslation(int kind, const Point3d &v);
    void SetScale(int kind, double s);
    void SetPivotTranslation(const Point3d &v) { SetTranslation(PIVOT, v); }
    void SetPivotScale(double s) { SetScale(PIVOT, s); }

    void EnableSpin(bool on);

    // Back to the state of a new trackball (model and pivot identity, no
    // gesture, no spin); the clock and the spin setting stay.
    void Reset();

    // Per frame without GL: takes the view record (projection and camera
    // only), advances a running spin and returns the model in GL order.
    const Matrix44d &ApplyWith(const Transform &frameView);
    // GL edge: ApplyWith(ReadGLView()) then glMultMatrixd of the model.
    void Apply();

    // Pieces of a gesture, used by TrackHand.
    void Anchor(int x, int y);
    void Drag(int x, int y);
    void Release();
    void ComputeViewFrame();
    Point3d PivotPoint() const;
    Point3d PointUnderMouse(double x, double y, double depthOffset) const;

private:
    Clock clock_;
};

class TrackHand : public Hand
{
public:
    struct MyMode {
        std::uint8_t kind;
        std::int16_t space;
        std::uint8_t target;
        std::int32_t mask;
    };

    // Set only by the handle hit test.
    static constexpr std::int32_t HANDLE_BIT = 0x80;

    std::int32_t button_state = 0;
    MyMode default_mapping{0, VIEW_SPACE, MODEL, 1};
    std::vector<MyMode> mappings;
    bool handle_hit_test = false; // no handles are drawn, so it stays off

    SphereMode sphere_mode;
    CylinderMode cylinder_mode;
    PlaneMode plane_mode;
    LineMode line_mode;
    ScaleMode scale_mode;
    TrackMode track_mode;

    TrackHand();
    explicit TrackHand(Clock clock);
    // current_mode points into this object.
    TrackHand(const TrackHand &) = delete;
    TrackHand &operator=(const TrackHand &) = delete;

    void MouseDown(int x, int y, int code);
    void MouseMove(int x, int y, int code);
    void MouseUp(int x, int y, int code);
    // Hand::Reset, and no buttons held.
    void Reset();

    // Points current_mode at the object the row's kind names and configures it.
    void Select(const MyMode &row);

private:
    const MyMode *FindMapping(std::int32_t mask) const;
    void FollowButtons(int code);
};

} // namespace nuk
