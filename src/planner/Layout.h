#pragma once
// Layouts of the acquisition positions beside the grid. The grid's rows are
// parallels about the vertical axis, whose poles lie in the base plane: seen
// from the object it crowds the two grazing poles and leaves the middle of
// the hemisphere sparse. These layouts spread the directions about the
// camera's axis instead, as RTI domes are built:
//
//   rings     rings around the camera axis from a minimum elevation to near
//             the top, each with lights in proportion to the cosine of its
//             elevation (so the spacing along and between rings is about the
//             same), each turned against the one below so that lights do not
//             line up, and an optional light on the axis;
//   spiral    N directions on a golden-angle (Fibonacci) spiral over the cap
//             above the minimum elevation, even by area;
//   geodesic  the vertices of a subdivided icosahedron, one vertex on the
//             camera axis, at or above the minimum elevation;
//   suggested positions chosen from the usable positions of another plan
//             (planner/Suggestion.h); the plan keeps them as they are, in
//             whole millimetres, whatever the view distance.
//
// All are placed at the view distance from the object's centre, in the
// pattern's frame (x right, y up, z toward the camera; mm). Elevation is
// measured from the base plane (90: toward the camera), azimuth counter-
// clockwise from the right as the camera sees it, both in degrees, as the
// plan report measures them.
//
// Shooting order: by ring from the top down, within a ring by azimuth from
// 0 up to 360. A ring is a set of directions of the same elevation: the rings
// of the rings layout (the top light first), the rings of equal elevation of
// the geodesic layout, a single direction of the spiral (which then runs from
// the top down). The order depends on the options only, so a plan shot
// twice is shot the same way.
//
// No Qt in here: the window and quorvel-cli share it.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "planner/Parameters.h"
#include "planner/Pattern.h"

namespace planner
{

enum class LayoutKind { Grid, Rings, Spiral, Geodesic, Suggested };

// The layouts made from their options alone: the ones --layout and the
// layout dialog offer. A suggested plan is made by choosing, not by options.
inline constexpr LayoutKind kLayoutKinds[] = {LayoutKind::Grid, LayoutKind::Rings, LayoutKind::Spiral,
                                              LayoutKind::Geodesic};
// Every kind a plan can be of.
inline constexpr LayoutKind kPlanKinds[] = {LayoutKind::Grid, LayoutKind::Rings, LayoutKind::Spiral,
                                            LayoutKind::Geodesic, LayoutKind::Suggested};

// "grid", "rings", "spiral", "geodesic", "suggested": the names the command
// line and the plan file take.
const char *LayoutName(LayoutKind k);
// Any of kPlanKinds.
std::optional<LayoutKind> ParseLayoutKind(std::string_view name);

// The layouts' whole-number parameters, in the form of the planner's table
// (their id is Param::Count: none of them is the grid's).
enum class LayoutParam { Rings, Count, Frequency, MinElevation };
inline constexpr std::size_t kLayoutParamCount = 4;
extern const std::array<ParameterSpec, kLayoutParamCount> kLayoutParameters;
inline const ParameterSpec &LayoutSpec(LayoutParam p) { return kLayoutParameters[static_cast<std::size_t>(p)]; }

// The defaults come from the table.
struct LayoutInput {
    LayoutKind kind = LayoutKind::Grid;
    int rings = LayoutSpec(LayoutParam::Rings).defaultValue;               // rings: number of rings
    bool topLight = true;                                                  // rings: a light on the camera axis
    int count = LayoutSpec(LayoutParam::Count).defaultValue;               // spiral: number of directions
    int frequency = LayoutSpec(LayoutParam::Frequency).defaultValue;       // geodesic: divisions of an edge
    int minElevation = LayoutSpec(LayoutParam::MinElevation).defaultValue; // degrees; not the grid's
    bool skipFlagged = false; // leave out lights below the floor or blocked by the camera; not the grid's
    // suggested: the chosen positions in the pattern's frame, whole mm, in
    // shooting order.
    std::vector<nuk::Point3f> positions;
};

// No suggested plan holds more positions than a spiral can.
inline constexpr std::size_t kMaxSuggestedPositions = 10000;

// Every option of a layout, for telling which apply to which layout.
enum class LayoutOption { Rings, TopLight, Count, Frequency, MinElevation, SkipFlagged };
bool LayoutTakes(LayoutKind k, LayoutOption o);

// What the layout is, in a few words: "7 rings from 15 degrees up and a top
// light", "spiral of 145 directions from 15 degrees up"; empty for the grid.
std::string LayoutDescription(const LayoutInput &layout);

// One direction of a layout, before it is placed at the view distance.
struct LayoutDirection {
    double elevation = 0; // degrees
    double azimuth = 0;   // degrees, 0 <= azimuth < 360
    int ring = 0;         // 0 for the top ring
    int index = 0;        // within the ring, in shooting order
};

// The layout's directions in shooting order, none left out. Empty for the
// grid.
std::vector<LayoutDirection> LayoutDirections(const LayoutInput &layout);

// Direction i of the spiral (0 at the top), the i-th of LayoutDirections
// without working out the others: the spiral runs from the top down. Its
// elevation rises as the count grows, for the same i.
LayoutDirection SpiralDirection(const LayoutInput &spiral, int i);

// Where BuildLayout places a direction: at the view distance from the
// object's centre, in the pattern's frame, in single precision.
nuk::Point3f LayoutPosition(const LayoutDirection &direction, double viewDistance);

// Nominal spacing of neighbouring directions in degrees: along the lowest
// ring and between rings for the rings layout, the spacing of an even
// covering of the cap for the spiral, an edge of the subdivided icosahedron
// for the geodesic layout, the smallest and the largest nearest-neighbour
// angle of a suggested plan. The file's two angle lines give these.
struct LayoutSpacing {
    double along = 0;  // the "horizontal angle" line
    double across = 0; // the "vertical angle" line
};
LayoutSpacing NominalSpacing(const LayoutInput &layout);

// Clears and refills the lists and returns the whole text of the file; the
// grid's exactly as BuildPattern. The file has the grid's eleven header
// lines (the two angles the nominal spacing, "parallels" the number of rows,
// "meridiens" the largest row), then one row per ring (its "height" that of
// the ring's centre above the floor, its "distance" the ring's radius) for
// the rings layout, one row per position (its height above the floor and its
// horizontal distance from the vertical axis, as for the grid) for the
// others. A suggested plan's positions are written where the plan holds
// them, in shooting order. Row numbers count the rings or positions from the top, point
// numbers the lights of a ring in shooting order; lights left out leave
// gaps, as in the grid.
std::string BuildLayout(const PatternInput &in, const LayoutInput &layout, PatternLists &out);

// BuildLayout, then the file written atomically; the grid's through Generate.
WriteResult GenerateLayout(const PatternInput &in, const LayoutInput &layout, PatternLists &out,
                           const std::string &path = kAcquisitionFile);

} // namespace planner
