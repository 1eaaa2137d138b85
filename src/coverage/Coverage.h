#pragma once
// Light coverage of the reference model under a plan: which parts of the
// object each acquisition position lights, shadows included, as far as the
// camera sees them. A point of the surface that too few positions reach
// cannot be fitted: a PTM needs at least 6 lights per pixel, order-3
// hemispherical harmonics 9.
//
// A sample (a vertex of the scene, with a third of the area of its faces)
// counts when the camera at (0, 0, camera distance) sees it: its normal
// faces the camera and no face of the model lies between. A position, taken
// as a point light, lights a counted sample when the normal faces it and no
// face lies between. Segments start a little off the surface, along the
// normal (CoverageScene::surfaceOffset).
//
// Lengths are millimetres, areas square millimetres, in the plan's frame
// (after the placement). Qt-free; the window runs it on a worker thread,
// quorvel-cli in the foreground.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "coverage/CoverageScene.h"
#include "coverage/Placement.h"
#include "nuk/Point3.h"

namespace coverage
{

// Light counts that make the bands of the results: none, too few for a PTM
// (1-5), enough for a PTM but not for order-3 harmonics (6-8), enough (9+).
enum Band { kBandNone, kBandFew, kBandPtm, kBandHsh, kBandCount };
inline constexpr int kPtmLights = 6;
inline constexpr int kHshLights = 9;
Band BandOf(int lights);
const char *BandLabel(Band b); // "0", "1-5", "6-8", ">= 9"

struct CoverageInput {
    // The plan's acquisition positions, in the dome's frame (mm).
    std::vector<nuk::Point3f> positions;
    // Which positions count; empty means all. A position that does not
    // count, or whose coordinates are not finite, lights nothing and is
    // left out of every figure.
    std::vector<bool> usable;
    float cameraDistance = 1000; // mm; the camera stands at (0, 0, this)
    Placement placement;         // the model in the plan's frame; an invalid one counts as none
    // A position lighting less than this share of the visible area is a
    // candidate to drop.
    double weakShare = 0.01;
    unsigned threads = 0; // 0: one per core
};

struct PositionCoverage {
    bool usable = false;
    double litArea = 0;  // mm² of the visible area this position lights
    double litShare = 0; // litArea / visible area; 0 when nothing is visible
};

// Per vertex of the scene's geometry, in CoverageResult::lights: not seen by
// the camera, or without area.
inline constexpr std::int32_t kNotSeen = -1;

struct CoverageResult {
    bool cancelled = false; // stopped early: the figures are incomplete
    std::size_t samples = 0;
    std::size_t visibleSamples = 0;
    double modelArea = 0;   // mm², the whole surface
    double visibleArea = 0; // mm², the part the camera sees
    std::size_t usablePositions = 0;
    std::vector<PositionCoverage> positions; // one per input position
    // Per vertex of the geometry: how many positions light it, or kNotSeen.
    std::vector<std::int32_t> lights;
    // Visible area lit by a number of positions in each band, in mm² and
    // as shares of the visible area (all 0 when nothing is visible).
    std::array<double, kBandCount> bandArea{};
    std::array<double, kBandCount> bandShare{};
    // Usable positions lighting less than weakShare of the visible area.
    std::vector<std::size_t> weakPositions;
    std::uint64_t segments = 0; // segments queried
};

// Called now and then with the share done (0..1) on the calling thread;
// returning false stops the analysis, which then returns what it has with
// cancelled set.
using Progress = std::function<bool(double done)>;

CoverageResult Analyse(const CoverageScene &scene, const CoverageInput &input, const Progress &progress = {});

} // namespace coverage
