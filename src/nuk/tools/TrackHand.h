#pragma once
// The trackball as the window uses it: a Hand with a table that maps button
// codes to modes, and the mouse-event entry points.

#include <cstdint>
#include <vector>

#include "nuk/tools/HandCore.h"

namespace nuk
{

// Button codes of MouseDown / MouseMove / MouseUp. The window builds one at
// mouse down: kLeft, kMiddle or kNone for any other button, plus kCtrl when
// Ctrl is held, else plus kShift when Shift is held.
namespace HandButton
{
inline constexpr std::int32_t kNone = 0;
inline constexpr std::int32_t kLeft = 0x01;
inline constexpr std::int32_t kMiddle = 0x02;
inline constexpr std::int32_t kExtra = 0x08; // a button the window never reports; the table scales with it
inline constexpr std::int32_t kShift = 0x10;
inline constexpr std::int32_t kCtrl = 0x20;
inline constexpr std::int32_t kHandle = 0x80; // set only by the handle hit test
} // namespace HandButton

// Kinds of a mapping row: which mode object a row selects and how it is set up.
namespace HandModeKind
{
enum : std::uint8_t {
    kSphere = 0,
    kCylinderX = 1,
    kCylinderY = 2,
    kCylinderZ = 3,
    kLineX = 4,
    kLineY = 5,
    kLineZ = 6,
    kPlaneXY = 7,
    kPlaneZY = 8,
    kPlaneXZ = 9,
    kScale = 10,
    // any other kind selects the inert TrackMode
};
} // namespace HandModeKind

class TrackHand : public Hand
{
public:
    struct MyMode {
        std::uint8_t kind; // HandModeKind
        std::int16_t space;
        std::uint8_t target;
        std::int32_t mask; // the button code that selects the row
    };

    // Set only by the handle hit test.
    static constexpr std::int32_t HANDLE_BIT = HandButton::kHandle;

    std::int32_t button_state = 0;
    MyMode default_mapping{HandModeKind::kSphere, VIEW_SPACE, MODEL, HandButton::kLeft};
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
