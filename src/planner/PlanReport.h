#pragma once
// What a plan is worth before the first photograph. Per position: where the
// light comes from and what is in its way. For the whole plan: how evenly
// the usable directions cover the hemisphere in front of the object, how well
// the least-squares systems of RTI fitters are conditioned on them, and, when
// sensor and lens are known, how the camera frames the object. No Qt in here:
// the window's dialog and quorvel-cli report share it. Lengths are mm, angles
// degrees.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "nuk/Point3.h"
#include "planner/Pattern.h"
#include "planner/Stage.h"

namespace planner
{

struct Framing {
    double sensorWidth = 36.0;  // mm
    double sensorHeight = 24.0; // mm
    double focalLength = 50.0;  // mm
};

// Width in mm of what the camera sees across its sensor at the object's
// centre plane, cameraDistance mm in front of the lens (pinhole).
inline double FieldWidth(const Framing &f, double cameraDistance)
{
    return f.sensorWidth * cameraDistance / f.focalLength;
}

struct ReportOptions {
    double grazingBelow = 10.0; // degrees of elevation
    std::optional<Framing> framing;
};

// Limits of the report's own inputs, shared by the command line and the window.
inline constexpr double kMinGrazing = 0.0, kMaxGrazing = 89.0;        // degrees
inline constexpr double kMinSensorSide = 1.0, kMaxSensorSide = 200.0; // mm
inline constexpr double kMinFocal = 1.0, kMaxFocal = 2000.0;          // mm

enum PositionFlag : unsigned {
    kBelowFloor = 1u << 0,      // no stand reaches below the floor
    kBlockedByCamera = 1u << 1, // the camera's body stands between light and object
    kInPicture = 1u << 2,       // the lamp itself is in the frame (flare)
    kGrazing = 1u << 3,         // too low over the base plane
};

// How the plot marks a position.
enum class MarkShape { Circle, TriangleUp, TriangleDown, Square, Diamond };
struct Rgb {
    unsigned char r, g, b;
};

// Every flag in one table, in the order the report lists them: the key of
// the JSON, the words of the text and the legend, the mark of the plot.
struct FlagInfo {
    PositionFlag flag;
    const char *key;   // "below_floor"
    const char *label; // "below the floor"
    Rgb colour;
    MarkShape shape;
    int markRank;      // a position with several flags takes the mark of the lowest rank
    bool needsFraming; // only judged when sensor and lens are known
};
extern const std::array<FlagInfo, 4> kPositionFlags;
// The mark of a usable position.
inline constexpr Rgb kUsableColour{31, 95, 191};
// The flag whose mark a position with these flags takes; null for none.
const FlagInfo *MarkFlag(unsigned flags);

struct PositionReport {
    int number = 0;         // shooting order, from 1
    nuk::Point3d position;  // mm, from the object's centre
    nuk::Point3d direction; // unit vector
    double elevation = 0;   // degrees above the base plane, 90 toward the camera
    double azimuth = 0;     // degrees in [0, 360), counter-clockwise from the right as the camera sees it
    double height = 0;      // mm above the floor
    unsigned flags = 0;
    bool usable() const { return flags == 0; }
};

struct NeighbourAngles {
    double min = 0, median = 0, max = 0; // degrees
    // max / min; infinite when two directions coincide.
    double evenness() const;
};

struct FitCondition {
    const char *name; // "PTM", "HSH order 2", "HSH order 3"
    int terms;
    bool canFit = false;  // false when the system is rank-deficient (condition above a million)
    double condition = 0; // largest over smallest singular value, when canFit
};

struct ElevationBand {
    int from, to; // degrees; the last band includes 90
    int positions = 0;
    int usable = 0;
};

struct FramingReport {
    Framing framing;
    double fieldWidth = 0, fieldHeight = 0; // mm, at the object's centre plane
    double widthShare = 0, heightShare = 0; // object size over the field, 1 = fills it
    double focalFor80 = 0;                  // mm: the object fills 80 % of the shorter side
};

struct PlanReport {
    PatternInput input; // the set-up the positions are judged against
    std::string layout; // what made the positions (PatternLists::layout); empty for the grid
    ReportOptions options;
    std::vector<PositionReport> positions;
    int usable = 0;
    int belowFloor = 0, blockedByCamera = 0, inPicture = 0, grazing = 0;
    std::optional<NeighbourAngles> neighbours; // needs two usable directions
    std::optional<double> largestEmptyCap;     // degrees, to 0.1; needs one usable direction
    std::array<ElevationBand, 6> bands{};      // every 15 degrees
    std::array<FitCondition, 3> fits{};        // PTM, HSH order 2, HSH order 3
    std::optional<FramingReport> framing;

    // The number of positions with this flag.
    int count(PositionFlag f) const;
};

// Per position, whether it carries no flag: what the coverage analysis and
// other users of a plan count.
std::vector<bool> UsableMask(const PlanReport &report);

// Judges the positions (as the generator placed them, relative to the
// object's centre) against the set-up in `in`: its object height, camera
// distance and object size; its steps and view distance only label the plan.
PlanReport ComputePlanReport(const PatternInput &in, const std::vector<nuk::Point3f> &positions,
                             const ReportOptions &options = {});
// The same for a generated pattern's positions, the report named by its layout.
PlanReport ComputePlanReport(const PatternInput &in, const PatternLists &lists, const ReportOptions &options = {});

// The readable summary quorvel-cli report prints and the window shows.
std::string ReportText(const PlanReport &r);

// "4, 7-9, 12": position numbers with a flag, runs written as ranges.
std::string NumberRanges(const std::vector<int> &sortedNumbers);

// The pieces, for the plot and for tests.

// The segment from the light to the object's centre passes through the camera's body.
bool BlockedByCamera(const nuk::Point3d &light, double cameraDistance);
// The flags the set-up alone gives a light, whatever the report's options:
// kBelowFloor (objectHeight + y under 0) and kBlockedByCamera. The layouts
// leave out such lights by this same rule when asked to.
unsigned SetUpFlags(const nuk::Point3d &light, double objectHeight, double cameraDistance);
// The light is inside the camera's field of view.
bool InPicture(const nuk::Point3d &light, double cameraDistance, const Framing &f);

// Nearest-neighbour angles of a set of unit directions; none for fewer than two.
std::optional<NeighbourAngles> NearestNeighbourAngles(const std::vector<nuk::Point3d> &directions);

// The angular radius in degrees of the largest circle centred on the
// hemisphere in front of the base plane, no lower than minElevation, with
// none of the directions inside; within 0.05 degrees. None without directions.
std::optional<double> LargestEmptyCap(const std::vector<nuk::Point3d> &directions, double minElevation);

// Rows of the fitting systems for one unit direction: PTM (lu^2, lv^2,
// lu*lv, lu, lv, 1 with lu, lv the components across the picture) and
// hemispherical harmonics of the given order (order^2 terms).
std::array<double, 6> PtmRow(const nuk::Point3d &direction);
std::vector<double> HshRow(const nuk::Point3d &direction, int order);

// Condition number of a rows x cols matrix given row by row.
FitCondition Condition(const char *name, int cols, const std::vector<double> &rowMajor);

} // namespace planner
