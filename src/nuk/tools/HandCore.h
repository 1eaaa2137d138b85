#pragma once
// The trackball's gesture engine: the model and pivot transforms, the pieces
// of a drag (anchor, drag, release), the inertial spin and the per-frame
// apply. TrackHand (TrackHand.h) turns mouse events into these pieces.

#include <cstdint>
#include <functional>

#include "nuk/Affine.h"
#include "nuk/Matrix44.h"
#include "nuk/Point3.h"
#include "nuk/Point4.h"
#include "nuk/tools/HandModes.h"
#include "nuk/tools/HandView.h"

namespace nuk
{

class Hand : public HandModes
{
public:
    // Milliseconds; only differences matter.
    using Clock = std::function<std::int64_t()>;
    // Steady clock counting from program start.
    static std::int64_t SteadyMilliseconds();

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

} // namespace nuk
