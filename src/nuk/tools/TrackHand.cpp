#include "nuk/tools/TrackHand.h"

namespace nuk
{

TrackHand::TrackHand() : TrackHand(Clock(&Hand::SteadyMilliseconds)) {}

TrackHand::TrackHand(Clock clock) : Hand(std::move(clock))
{
    using namespace HandButton;
    using namespace HandModeKind;
    // kind, space, target, mask
    mappings.push_back({kSphere, VIEW_SPACE, MODEL, kLeft});
    mappings.push_back({kPlaneXY, VIEW_SPACE, MODEL, kCtrl | kLeft});
    mappings.push_back({kPlaneXY, VIEW_SPACE, MODEL, kMiddle});
    mappings.push_back({kScale, WINDOW_SPACE, MODEL_KEEP_COMPOSITE, kLeft | kMiddle});
    mappings.push_back({kScale, WINDOW_SPACE, MODEL_KEEP_COMPOSITE, kShift | kLeft});
    mappings.push_back({kScale, WINDOW_SPACE, MODEL_KEEP_COMPOSITE, kExtra});
    for (std::uint8_t kind : {kLineX, kLineY, kLineZ, kCylinderX, kCylinderY, kCylinderZ, kPlaneXY, kPlaneZY, kPlaneXZ})
        mappings.push_back({kind, HANDLE_SPACE, MODEL, kHandle | kLeft});
}

void TrackHand::Select(const MyMode &row)
{
    using namespace HandModeKind;
    static const Point3d X(1, 0, 0), Y(0, 1, 0), Z(0, 0, 1);
    static const Point3d axes[3] = {X, Y, Z};
    TrackMode *mode;
    switch (row.kind) {
    case kSphere:
        mode = &sphere_mode;
        break;
    case kCylinderX:
    case kCylinderY:
    case kCylinderZ:
        cylinder_mode.axis = axes[row.kind - kCylinderX];
        mode = &cylinder_mode;
        break;
    case kLineX:
    case kLineY:
    case kLineZ:
        line_mode.axis = axes[row.kind - kLineX];
        mode = &line_mode;
        break;
    case kPlaneXY:
        plane_mode.first_axis = X;
        plane_mode.second_axis = Y;
        mode = &plane_mode;
        break;
    case kPlaneZY:
        plane_mode.first_axis = Z;
        plane_mode.second_axis = Y;
        mode = &plane_mode;
        break;
    case kPlaneXZ:
        plane_mode.first_axis = X;
        plane_mode.second_axis = Z;
        mode = &plane_mode;
        break;
    case kScale:
        mode = &scale_mode;
        break;
    default:
        mode = &track_mode;
        break;
    }
    mode->space = row.space;
    mode->target = row.target;
    current_mode = mode;
    mode_changed = 1;
}

const TrackHand::MyMode *TrackHand::FindMapping(std::int32_t mask) const
{
    for (const MyMode &row : mappings)
        if (row.mask == mask) return &row;
    return nullptr;
}

void TrackHand::FollowButtons(int code)
{
    if (code == HandButton::kNone || code == button_state) return;
    button_state = code;
    if (const MyMode *row = FindMapping(code)) Select(*row);
}

void TrackHand::MouseDown(int x, int y, int code)
{
    button_state = code;
    Anchor(x, y);
    if (const MyMode *row = FindMapping(code & ~HANDLE_BIT)) {
        Select(*row);
        Anchor(x, y);
    } else {
        // No row (the right button): the sphere, re-anchored by the first move.
        Select(default_mapping);
    }
}

void TrackHand::MouseMove(int x, int y, int code)
{
    FollowButtons(code);
    Drag(x, y);
}

void TrackHand::Reset()
{
    Hand::Reset();
    button_state = 0;
}

void TrackHand::MouseUp(int, int, int code)
{
    FollowButtons(code);
    Release();
}

} // namespace nuk
